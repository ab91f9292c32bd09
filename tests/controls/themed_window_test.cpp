// The themed controls on a real window: a form with one of each control in
// DeepBlue, shown through the SDL2 backend on a private X server, must show what
// the headless backend rendered of the same form.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include <vcl/backend.h>

#include "../platform/vcl/sdl/scene.h"
#include "../platform/vcl/sdl/xvfb.h"
#include "themed_scene.h"

namespace {

std::string BinDir() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string exe(path, static_cast<std::size_t>(n));
  return exe.substr(0, exe.rfind('/'));
}

TEST(ThemedWindow, DeepBlueControlsOnARealWindowMatchTheHeadlessRendering) {
  if (XvfbServer::Program().empty()) GTEST_SKIP() << "Xvfb is not installed";
  char dir[] = "/tmp/quill-themed-XXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  std::string errors;
  ASSERT_EQ(RunProgram({BinDir() + "/themed_window_headless", dir}, {"QUILLMERE_BACKEND=headless"}, {}, &errors), 0)
      << errors;
  int width = 0, height = 0;
  std::vector<std::uint32_t> want;
  const std::string file = std::string(dir) + "/themed.raw";
  ASSERT_TRUE(ReadCapture(file, &width, &height, &want));
  std::remove(file.c_str());
  rmdir(dir);

  XvfbServer xvfb;
  std::string why;
  ASSERT_TRUE(xvfb.Start(&why)) << why;
  setenv("QUILLMERE_BACKEND", "sdl", 1);
  Application->Initialize();
  ASSERT_STREQ(Backend().name, "sdl");
  auto* form = new TForm(nullptr);
  form->SetBounds(60, 60, kThemedSceneWidth, kThemedSceneHeight);
  ThemedScene scene;
  BuildThemedScene(form, TsuiUIStyle::DeepBlue, scene);
  form->Show();
  ASSERT_EQ(width, form->ClientWidth());
  ASSERT_EQ(height, form->ClientHeight());

  const TPoint origin = form->ClientOrigin();
  int wrong = 0, fx = -1, fy = -1;
  for (int attempt = 0; attempt < 60; ++attempt) {
    Application->ProcessMessages();
    const auto screen = ReadScreen(xvfb.Display(), origin.X, origin.Y, width, height);
    ASSERT_EQ(screen.size(), want.size());
    wrong = 0;
    for (std::size_t i = 0; i < want.size(); ++i)
      if ((screen[i] & 0xFFFFFF) != (want[i] & 0xFFFFFF) && wrong++ == 0) {
        fx = static_cast<int>(i % width);
        fy = static_cast<int>(i / width);
      }
    if (wrong == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(wrong, 0) << "first difference at (" << fx << ", " << fy << ")";
  FreeComponent(form);
}

}  // namespace
