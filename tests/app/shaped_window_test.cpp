// The real program on a private X server: the main window comes up shaped by the
// first skin's face, the desktop showing through outside the outline and in the hole.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <support/scratch_dir.h>
#include <vcl/graphics.h>
#include <win32/region.h>

#include "main.h"
#include "xvfb.h"

namespace {

namespace fs = std::filesystem;

TEST(ShapedWindow, TheProgramOpensItsSkinnedShapedWindowOnARealDisplay) {
  fs::path bin = std::getenv("QUILLMERE_BUILD_BIN");
  XvfbServer xvfb;
  std::string why;
  ASSERT_TRUE(xvfb.Start(&why)) << why;

  // A folder of its own, so that no stored skin number or output path applies.
  const quill_test::ScratchDir scratch("quill-shaped");
  const fs::path& dir = scratch.path();
  fs::copy_file(bin / "Quillmere", dir / "Quillmere");
  fs::copy(bin / "SKIN0", dir / "SKIN0", fs::copy_options::recursive);

  pid_t child = fork();
  if (child == 0) {
    setenv("DISPLAY", xvfb.Display().c_str(), 1);
    setenv("QUILLMERE_BACKEND", "sdl", 1);
    setenv("QUILLMERE_REGISTRY", (bin / "registry.txt").c_str(), 1);
    unsetenv("QUILLMERE_DVD");
    if (chdir(dir.c_str()) != 0) _exit(126);
    execl((dir / "Quillmere").c_str(), "Quillmere", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(child, 0);

  TBitmap face;
  face.LoadFromFile((dir / "SKIN0" / "face.bmp").string());
  const int W = face.Width(), H = face.Height();
  // Centred on the 1024x768 screen once shown.
  const int left = (1024 - W) / 2, top = (768 - H) / 2;
  HRGN region = FaceRegion(&face);
  std::vector<std::uint32_t> screen;
  bool shaped = false;
  for (int attempt = 0; attempt < 100 && !shaped; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    screen = ReadScreen(xvfb.Display(), left, top, W, H);
    if (screen.size() != size_t(W) * size_t(H)) continue;
    // Drawn: the face's title area shows; shaped: the corner stays desktop black.
    shaped = screen[size_t(60 * W + 100)] != 0 && screen[0] == 0;
  }
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(shaped) << "no shaped window appeared";

  int outsideLit = 0, inside = 0, insideLit = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      bool lit = screen[size_t(y * W + x)] != 0;
      if (PtInRegion(region, x, y)) {
        ++inside;
        insideLit += lit;
      } else {
        outsideLit += lit;
      }
    }
  DeleteObject(region);
  EXPECT_EQ(outsideLit, 0) << "pixels outside the outline or in the hole belong to the desktop";
  EXPECT_GT(insideLit, inside * 95 / 100) << "the window's own pixels show inside";
  // The hole of the first skin (a circle right of the buttons) lets the desktop through.
  EXPECT_EQ(screen[size_t(176 * W + 444)], 0u);
}

}  // namespace
