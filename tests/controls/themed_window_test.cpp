// The themed controls on a real window: a form with one of each control in
// DeepBlue, shown through the SDL2 backend on a private X server, must show what
// the headless backend rendered of the same form.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include <support/scratch_dir.h>
#include <vcl/backend.h>

#include "scene.h"
#include "sdl_application.h"
#include "xvfb.h"
#include "sdl_events.h"
#include "sdl_backend.h"
#include "themed_scene.h"

namespace {

using sdl_test::BinDir;
using sdl_test::PushMotion;
using sdl_test::Settle;


// The headless capture of a moment: its size and pixels.
struct Capture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
};

// Waits until the screen under the form's client area shows the capture; answers
// the pixels that still differ and where the first one is.
int Differences(const std::string& display, TCustomForm* form, const Capture& want, TPoint* first) {
  const TPoint origin = form->ClientOrigin();
  int wrong = 0;
  for (int attempt = 0; attempt < 60; ++attempt) {
    Application->ProcessMessages();
    const auto screen = ReadScreen(display, origin.X, origin.Y, want.width, want.height);
    if (screen.size() != want.pixels.size()) return -1;
    wrong = 0;
    for (std::size_t i = 0; i < screen.size(); ++i)
      if ((screen[i] & 0xFFFFFF) != (want.pixels[i] & 0xFFFFFF) && wrong++ == 0)
        *first = TPoint(static_cast<int>(i % want.width), static_cast<int>(i / want.width));
    if (wrong == 0) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return wrong;
}



// A left click, then time for it to land.
void PushClick(TCustomForm* form, TPoint p) {
  sdl_test::PushClick(form, p);
  sdl_test::Settle();
}

TEST(ThemedWindow, DeepBlueControlsOnARealWindowMatchTheHeadlessRendering) {
  const quill_test::ScratchDir scratch("quill-themed");
  const std::string dir = scratch.str();
  std::string errors;
  ASSERT_EQ(RunProgram({BinDir() + "/themed_window_headless", dir}, {"QUILLMERE_BACKEND=headless"}, {}, &errors), 0)
      << errors;
  Capture shown, clicked;
  const std::string file = std::string(dir) + "/themed.raw", after = std::string(dir) + "/themed-clicked.raw";
  ASSERT_TRUE(ReadCapture(file, &shown.width, &shown.height, &shown.pixels));
  ASSERT_TRUE(ReadCapture(after, &clicked.width, &clicked.height, &clicked.pixels));

  XvfbServer xvfb;
  ASSERT_TRUE(StartSdlApplication(xvfb));
  auto* form = new TForm(nullptr);
  form->SetBounds(60, 60, kThemedSceneWidth, kThemedSceneHeight);
  ThemedScene scene;
  BuildThemedScene(form, TsuiUIStyle::DeepBlue, scene);
  form->Show();
  ASSERT_EQ(shown.width, form->ClientWidth());
  ASSERT_EQ(shown.height, form->ClientHeight());
  TPoint first(-1, -1);
  EXPECT_EQ(Differences(xvfb.Display(), form, shown, &first), 0)
      << "first difference at (" << first.X << ", " << first.Y << ")";

  // SDL's mouse events reach the controls, which repaint as they do headless.
  int clicks = 0;
  scene.button->OnClick = [&](TObject*) { ++clicks; };
  for (TPoint p : ThemedSceneClicks(scene)) PushClick(form, p);
  EXPECT_FALSE(scene.check->Checked());
  EXPECT_EQ(scene.list->ItemIndex(), 3);
  EXPECT_EQ(clicks, 1);
  PushMotion(form, ThemedSceneRest());
  Settle();
  EXPECT_EQ(Differences(xvfb.Display(), form, clicked, &first), 0)
      << "after the clicks, first difference at (" << first.X << ", " << first.Y << ")";
  FreeComponent(form);
}

}  // namespace
