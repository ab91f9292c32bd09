// The main window's skin buttons show their hints on a real display: the pointer
// resting on a button brings up a hint window below it, in the hint colour, and
// leaving the window takes it away again.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <filesystem>

#include <vcl/backend.h>

#include "fresh_application.h"
#include "interface.h"
#include "sdl_events.h"
#include "xvfb.h"

namespace {

using sdl_test::ServeUntil;

namespace fs = std::filesystem;

constexpr std::uint32_t kHintColour = 0xFFFFE1;  // the info colour, 0x00RRGGBB

int CountColour(const std::vector<std::uint32_t>& pixels, std::uint32_t colour) {
  int n = 0;
  for (std::uint32_t p : pixels) n += (p & 0xFFFFFFu) == colour;
  return n;
}

THintWindow* ShownHint() {
  for (int i = 0; i < Screen->FormCount(); ++i)
    if (auto* h = dynamic_cast<THintWindow*>(Screen->Forms(i)); h && h->Visible()) return h;
  return nullptr;
}

TEST(HintWindow, HoveringASkinButtonShowsItsHintOnTheScreenAndLeavingHidesIt) {
  XvfbServer xvfb;
  std::string why;
  ASSERT_TRUE(xvfb.Start(&why)) << why;
  // The first skin beside the program, which runs from a folder of its own.
  const fs::path bin = std::getenv("QUILLMERE_BUILD_BIN");
  const fs::path dir = GetModulePath();
  fs::copy(bin / "SKIN0", dir / "SKIN0", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  fs::remove(dir / "config.ini");

  setenv("QUILLMERE_BACKEND", "sdl", 1);
  Application->Initialize();
  ASSERT_STREQ(Backend().name, "sdl");
  // Shown until the pointer leaves: what hides it below is the leaving.
  Application->HintHidePause = 0;
  Application->CreateForm(frmMain);
  frmMain->Show();

  // The "DVD to VCD" button, once the window is on the screen.
  TControl* button = frmMain->Button_Ctrl[5];
  ASSERT_EQ(button->Hint(), "DVD to VCD");
  const TPoint centre = button->ClientToScreen(TPoint(button->Width() / 2, button->Height() / 2));
  ASSERT_TRUE(ServeUntil([&] {
    const auto face = ReadScreen(xvfb.Display(), centre.X - 2, centre.Y - 2, 4, 4);
    return !face.empty() && CountColour(face, 0) == 0;
  })) << "the main window did not show";
  // Below and right of the pointer, where the hint will be: no hint colour yet.
  auto below = [&] { return ReadScreen(xvfb.Display(), centre.X, centre.Y + 20, 60, 16); };
  ASSERT_EQ(CountColour(below(), kHintColour), 0);

  SDL_WarpMouseGlobal(centre.X, centre.Y);
  THintWindow* hint = nullptr;
  ASSERT_TRUE(ServeUntil([&] {
    hint = ShownHint();
    return hint && CountColour(below(), kHintColour) > 200;
  })) << "no hint came up under the pointer";
  EXPECT_EQ(hint->Caption(), "DVD to VCD");
  EXPECT_EQ(hint->Left(), centre.X);
  EXPECT_EQ(hint->Top(), centre.Y + 20);
  // The hint's own window: on top of the main window, framed in black, lettered.
  const auto shown = ReadScreen(xvfb.Display(), hint->Left(), hint->Top(), hint->Width(), hint->Height());
  ASSERT_EQ(shown.size(), std::size_t(hint->Width()) * std::size_t(hint->Height()));
  EXPECT_EQ(shown[0] & 0xFFFFFFu, 0u);
  EXPECT_EQ(shown.back() & 0xFFFFFFu, 0u);
  EXPECT_GT(CountColour(shown, kHintColour), int(shown.size()) / 2);
  EXPECT_GT(int(shown.size()) - CountColour(shown, kHintColour) - 2 * (hint->Width() + hint->Height()), 20)
      << "no text in the hint";
  bool mapped = false;
  for (const TopWindow& w : TopWindows(xvfb.Display()))
    mapped |= w.mapped && w.override_redirect && w.x == hint->Left() && w.y == hint->Top();
  EXPECT_TRUE(mapped) << "the hint is an override-redirect window of its own";
  // It took neither the activation nor the keyboard.
  EXPECT_EQ(Screen->ActiveForm(), frmMain);

  // The pointer leaves the window for the desktop: the hint goes.
  SDL_WarpMouseGlobal(4, 4);
  EXPECT_TRUE(ServeUntil([&] { return !ShownHint() && CountColour(below(), kHintColour) == 0; }))
      << "the hint stayed after the pointer left";

  apptest::FreshApplication();
  SDL_Quit();
}

}  // namespace
