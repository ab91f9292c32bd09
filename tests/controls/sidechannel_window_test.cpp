// The side channel on a real window: through the SDL2 backend on a private X
// server, the pointer on the bar slides the channel out in steps, the screen shows
// the open channel, and the 500 ms check slides it back once the pointer leaves.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include <vcl/backend.h>

#include "sdl_application.h"
#include "xvfb.h"
#include "sdl_events.h"
#include "sdl_backend.h"
#include "suisidechannel.h"

namespace {

void Motion(TCustomForm* form, int x, int y) { sdl_test::PushMotion(form, TPoint(x, y)); }

// Serves messages until the condition holds or the time is up.
template <class Cond>
bool PumpUntil(Cond cond, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    Application->ProcessMessages();
    if (cond()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return cond();
}

TEST(SideChannelWindow, SlidesOutAndBackOnARealWindow) {
  XvfbServer xvfb;
  ASSERT_TRUE(StartSdlApplication(xvfb));
  auto* form = new TForm(nullptr);
  form->SetBorderStyle(bsNone);
  form->SetBounds(40, 40, 300, 200);
  form->SetColor(clWhite);
  auto* side = new TsuiSideChannel(form);
  side->SetParent(form);
  side->SetWidth(160);
  side->SetSideBarColor(clRed);
  std::vector<int> widths;
  side->OnResize = [&](TObject*) { widths.push_back(side->Width()); };
  form->Show();
  PumpUntil([] { return false; }, 200);  // let the window settle
  EXPECT_EQ(side->Width(), 10);

  Motion(form, 4, 100);
  ASSERT_TRUE(PumpUntil([&] { return side->Width() == 160; }, 3000));
  ASSERT_GE(widths.size(), 10u);
  EXPECT_EQ(widths.front(), 25);
  // The open channel's caption strip, red, on the screen.
  const TPoint o = form->ClientOrigin();
  bool shown = PumpUntil(
      [&] {
        auto px = ReadScreen(xvfb.Display(), o.X + 100, o.Y + 4, 1, 1);
        return px.size() == 1 && (px[0] & 0xFFFFFF) == 0xFF0000;
      },
      2000);
  EXPECT_TRUE(shown);

  Motion(form, 250, 100);
  const auto left = std::chrono::steady_clock::now();
  ASSERT_TRUE(PumpUntil([&] { return side->Width() == 10; }, 3000));
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - left);
  EXPECT_LE(took.count(), 1500);
  FreeComponent(form);
}

}  // namespace
