// The SDL2 backend's operations on a private Xvfb server: what reaches the screen is
// read back from the X server's root window.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include <vcl/controls.h>
#include <vcl/messages.h>
#include <vcl/resources.h>

#include "sdl_backend.h"
#include "window_desc.h"
#include "xvfb.h"

namespace {

// A 4x2 24-bit picture as the program's icon: magenta in its top-left corner.
const std::uint8_t kIconBmp[] = {
    'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,                      // file header
    40, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 24, 0, 0, 0,  // info header
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // bottom row, B G R: blue, white, magenta, black
    255, 0, 0, 255, 255, 255, 255, 0, 255, 0, 0, 0,
    // top row: magenta, red, green, magenta
    255, 0, 255, 0, 0, 255, 0, 255, 0, 255, 0, 255};
const bool kIconRegistered = (RegisterBitmapResource("MAINICON", kIconBmp, sizeof kIconBmp), true);

HWND Handle(int n) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x7000 + n)); }

std::uint32_t Pattern(int x, int y) {
  return (static_cast<std::uint32_t>(x * 3 & 0xFF) << 16) | (static_cast<std::uint32_t>(y * 5 & 0xFF) << 8) | 0x40;
}

class SdlBackend : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(xvfb_.Start(&why)) << why;
    std::string error;
    ASSERT_TRUE(ops().Init(&error)) << error;
    started_ = true;
  }
  void TearDown() override {
    if (started_) ops().Shutdown();
  }

  static const BackendOps& ops() { return SdlBackendOps(); }

  HWND Create(int n, int x, int y, int w, int h, bool popup = false, bool bordered = false) {
    const BackendWindowDesc d = sdl_test::WindowDesc(Handle(n), x, y, w, h, bordered, popup);
    EXPECT_TRUE(ops().CreateWindow(d));
    return d.handle;
  }

  // Shows a window filled by `paint` and presents it whole.
  void ShowFilled(HWND h, TSurface& s, const std::function<std::uint32_t(int, int)>& paint) {
    for (int y = 0; y < s.Height; ++y)
      for (int x = 0; x < s.Width; ++x) s.Set(x, y, paint(x, y));
    ops().SetVisible(h, true);
    ops().Present(h, s, RECT{0, 0, s.Width, s.Height});
  }

  // Shows the window, drops the events that showing it brought, and answers SDL's id of
  // it for events pushed to it.
  Uint32 ShowForInput(HWND h) {
    ops().SetVisible(h, true);
    Pump(50);
    Take();
    return SDL_GetWindowID(SdlWindowOf(h));
  }

  // Serves events for ms milliseconds and keeps them.
  void Pump(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    BackendEvent e;
    while (std::chrono::steady_clock::now() < end)
      if (ops().WaitEvent(&e, 10)) events_.push_back(e);
  }

  // Waits until the screen rectangle satisfies `ok` (serving events meanwhile).
  bool WaitScreen(int x, int y, int w, int h, const std::function<bool(int, int, std::uint32_t)>& ok) {
    for (int tries = 0; tries < 150; ++tries) {
      Pump(20);
      auto px = ReadScreen(xvfb_.Display(), x, y, w, h);
      if (px.size() != static_cast<std::size_t>(w) * h) continue;
      bool all = true;
      for (int row = 0; row < h && all; ++row)
        for (int col = 0; col < w && all; ++col) all = ok(col, row, px[static_cast<std::size_t>(row) * w + col]);
      if (all) return true;
    }
    return false;
  }

  std::vector<BackendEvent> Take() {
    std::vector<BackendEvent> out;
    out.swap(events_);
    return out;
  }

  static void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }

  // A key as SDL reports it: `mod` is the modifier state once this key is in.
  static void PushKey(Uint32 window, Uint32 type, SDL_Keycode sym, Uint16 mod) {
    SDL_Event e{};
    e.type = type;
    e.key.windowID = window;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
    Push(e);
  }

  XvfbServer xvfb_;
  bool started_ = false;
  std::vector<BackendEvent> events_;
};

TEST_F(SdlBackend, PresentPutsTheSurfaceOnScreenAndDirtyUpdatesOnlyThatPart) {
  HWND h = Create(1, 100, 80, 60, 40);
  TSurface s(60, 40);
  ShowFilled(h, s, Pattern);
  EXPECT_TRUE(WaitScreen(100, 80, 60, 40, [](int x, int y, std::uint32_t p) { return p == Pattern(x, y); }));

  // A changed part presented alone reaches the screen; the rest stays as it was.
  for (int y = 10; y < 20; ++y)
    for (int x = 5; x < 25; ++x) s.Set(x, y, 0x00FF8000);
  ops().Present(h, s, RECT{5, 10, 25, 20});
  EXPECT_TRUE(WaitScreen(100, 80, 60, 40, [](int x, int y, std::uint32_t p) {
    const bool in = x >= 5 && x < 25 && y >= 10 && y < 20;
    return p == (in ? 0x00FF8000u : Pattern(x, y));
  }));

  // A dirty rectangle beyond the window and a surface larger than it are clipped.
  TSurface big(200, 200, 0x00123456);
  ops().Present(h, big, RECT{-50, -50, 500, 500});
  EXPECT_TRUE(WaitScreen(100, 80, 60, 40, [](int, int, std::uint32_t p) { return p == 0x00123456u; }));
}

TEST_F(SdlBackend, RegionShapesTheWindowAndFollowsMovesAndResizes) {
  // What lies behind: a coloured desktop, and another window under the right part.
  constexpr std::uint32_t kDesktop = 0x2E8B57, kBehind = 0xD2691E;
  ASSERT_TRUE(PaintDesktop(xvfb_.Display(), kDesktop));
  const Backdrop behind(xvfb_.Display(), 250, 0, 200, 300, kBehind);
  ASSERT_TRUE(behind.Shown());
  auto under = [&](int sx, int) { return sx >= 250 && sx < 450 ? kBehind : kDesktop; };

  HWND h = Create(1, 200, 100, 80, 60);
  TSurface s(80, 60);
  ShowFilled(h, s, [](int, int) { return 0x00C04020u; });
  // An L-shaped region: the left half and a bar to the right; the rest shows what is
  // behind the window.
  const RECT rects[] = {{0, 0, 40, 60}, {40, 20, 80, 40}};
  ops().SetShape(h, rects, 2);
  ops().Present(h, s, RECT{0, 0, 80, 60});
  auto inL = [](int x, int y) { return x < 40 || (x < 80 && y >= 20 && y < 40); };
  EXPECT_TRUE(WaitScreen(190, 90, 100, 80, [&](int x, int y, std::uint32_t p) {
    const int cx = x - 10, cy = y - 10;
    const bool in = cx >= 0 && cy >= 0 && cx < 80 && cy < 60 && inL(cx, cy);
    return p == (in ? 0x00C04020u : under(190 + x, 90 + y));
  })) << "the shaped window is not in place or not masked";

  // Moved to the left edge and made wider: the same region at the new place.
  ops().SetBounds(h, 0, 30, 100, 60);
  s.Resize(100, 60, 0x00C04020u);
  ops().Present(h, s, RECT{0, 0, 100, 60});
  EXPECT_TRUE(WaitScreen(0, 20, 120, 80, [&](int x, int y, std::uint32_t p) {
    const int cx = x, cy = y - 10;
    const bool in = cx >= 0 && cy >= 0 && cx < 100 && cy < 60 && inL(cx, cy);
    return p == (in ? 0x00C04020u : under(x, 20 + y));
  }));

  // Over the window behind, with a hole: the window behind shows through it.
  const RECT ring[] = {{0, 0, 100, 20}, {0, 20, 30, 40}, {70, 20, 100, 40}, {0, 40, 100, 60}};
  ops().SetShape(h, ring, 4);
  ops().SetBounds(h, 300, 30, 100, 60);
  ops().Present(h, s, RECT{0, 0, 100, 60});
  EXPECT_TRUE(WaitScreen(300, 30, 100, 60, [&](int x, int y, std::uint32_t p) {
    const bool hole = x >= 30 && x < 70 && y >= 20 && y < 40;
    return p == (hole ? kBehind : 0x00C04020u);
  })) << "the hole does not show the window behind";

  // No region: the whole rectangle shows again.
  ops().SetShape(h, nullptr, -1);
  ops().Present(h, s, RECT{0, 0, 100, 60});
  EXPECT_TRUE(WaitScreen(300, 30, 100, 60, [](int, int, std::uint32_t p) { return p == 0x00C04020u; }));

  // An empty region hides every pixel, without any failure.
  ops().SetShape(h, rects, 0);
  EXPECT_TRUE(WaitScreen(300, 30, 100, 60, [](int, int, std::uint32_t p) { return p == kBehind; }));
}

TEST_F(SdlBackend, PopupWindowIsAboveWithoutWindowManagerCare) {
  HWND main = Create(1, 50, 50, 200, 150);
  TSurface ms(200, 150);
  ShowFilled(main, ms, [](int, int) { return 0x000000FFu; });
  HWND popup = Create(2, 100, 100, 50, 40, true);
  TSurface ps(50, 40);
  ShowFilled(popup, ps, [](int, int) { return 0x0000FF00u; });
  EXPECT_TRUE(WaitScreen(50, 50, 200, 150, [](int x, int y, std::uint32_t p) {
    const bool in = x >= 50 && x < 100 && y >= 50 && y < 90;
    return p == (in ? 0x0000FF00u : 0x000000FFu);
  }));
  // The pop-up is an override-redirect window: no frame, no taskbar, placed exactly.
  bool found = false;
  for (const TopWindow& w : TopWindows(xvfb_.Display()))
    if (w.mapped && w.x == 100 && w.y == 100 && w.width == 50 && w.height == 40) {
      found = true;
      EXPECT_TRUE(w.override_redirect);
    }
  EXPECT_TRUE(found);

  // Closing the pop-up uncovers the main window.
  ops().DestroyWindow(popup);
  EXPECT_TRUE(WaitScreen(50, 50, 200, 150, [](int, int, std::uint32_t p) { return p == 0x000000FFu; }));
}

TEST_F(SdlBackend, MovesAskedForAreNotEchoedBackAndOffScreenIsHarmless) {
  HWND h = Create(1, 10, 10, 30, 30);
  TSurface s(30, 30);
  ShowFilled(h, s, [](int, int) { return 0x00FFFFFFu; });
  ASSERT_TRUE(WaitScreen(10, 10, 30, 30, [](int, int, std::uint32_t p) { return p == 0x00FFFFFFu; }));
  // A drag moves the window in many small steps; stale positions must not come back
  // as Moved events, or the form would jump back.
  for (int step = 1; step <= 20; ++step) ops().SetBounds(h, 10 + step * 10, 10 + step * 5, 30, 30);
  EXPECT_TRUE(WaitScreen(210, 110, 30, 30, [](int, int, std::uint32_t p) { return p == 0x00FFFFFFu; }));
  Pump(100);
  for (const BackendEvent& e : Take()) {
    EXPECT_NE(e.kind, BackendEventKind::Moved) << "at " << e.x << "," << e.y;
    EXPECT_NE(e.kind, BackendEventKind::Resized);
  }
  // Dragged far off the screen and back, and absurd bounds: clamped, still working.
  ops().SetBounds(h, -100000, -5000, 30, 30);
  Pump(50);
  ops().SetBounds(h, 5, 5, -10, 1 << 30);
  ops().SetBounds(h, 300, 300, 30, 30);
  ops().Present(h, s, RECT{0, 0, 30, 30});
  EXPECT_TRUE(WaitScreen(300, 300, 30, 30, [](int, int, std::uint32_t p) { return p == 0x00FFFFFFu; }));
}

// Under a window manager a window goes where the manager puts it (its frame where the
// window was asked to be, or kept partly on the screen); the backend must say where.
TEST_F(SdlBackend, WindowsAreWhereTheBackendReportsThemAlsoAfterHidingAndMoving) {
  HWND h = Create(1, 200, 150, 160, 120, false, true);
  int x = 200, y = 150;
  auto follow = [&] {
    Pump(700);  // beyond the time a move we asked for may take
    for (const BackendEvent& e : Take())
      if (e.kind == BackendEventKind::Moved && e.window == h) {
        x = e.x;
        y = e.y;
      }
  };
  const unsigned long window = XWindowOf(SdlWindowOf(h));
  ops().SetVisible(h, true);
  follow();
  EXPECT_TRUE(ShownAt(xvfb_.Display(), window, x, y)) << x << "," << y;

  // Hidden and shown again, it comes back to the same place.
  const int shownX = x, shownY = y;
  for (int round = 0; round < 2; ++round) {
    ops().SetVisible(h, false);
    follow();
    ops().SetVisible(h, true);
    follow();
  }
  EXPECT_EQ(x, shownX);
  EXPECT_EQ(y, shownY);
  EXPECT_TRUE(ShownAt(xvfb_.Display(), window, x, y)) << x << "," << y;

  // Moved far above the screen and beyond its right edge.
  x = 300;
  y = -400;
  ops().SetBounds(h, x, y, 160, 120);
  follow();
  EXPECT_TRUE(ShownAt(xvfb_.Display(), window, x, y)) << x << "," << y;
  x = 2000;
  y = 300;
  ops().SetBounds(h, x, y, 160, 120);
  follow();
  EXPECT_TRUE(ShownAt(xvfb_.Display(), window, x, y)) << x << "," << y;
}

TEST_F(SdlBackend, MouseEventsArriveInClientCoordinatesOfTheCapturingWindow) {
  HWND a = Create(1, 100, 100, 100, 100);
  HWND b = Create(2, 300, 150, 100, 100);
  ops().SetVisible(a, true);
  ops().SetVisible(b, true);
  Pump(50);
  Take();
  const Uint32 ida = SDL_GetWindowID(SdlWindowOf(a)), idb = SDL_GetWindowID(SdlWindowOf(b));

  SDL_Event e{};
  e.type = SDL_MOUSEBUTTONDOWN;
  e.button.windowID = ida;
  e.button.button = SDL_BUTTON_RIGHT;
  e.button.state = SDL_PRESSED;
  e.button.x = 10;
  e.button.y = 12;
  Push(e);
  e = SDL_Event{};
  e.type = SDL_MOUSEWHEEL;
  e.wheel.windowID = ida;
  e.wheel.y = -2;
  e.wheel.mouseX = 7;
  e.wheel.mouseY = 8;
  Push(e);

  // With capture on a, motion over b reaches a, relative to a's client area.
  ops().SetCapture(a, true);
  e = SDL_Event{};
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = idb;
  e.motion.x = 5;
  e.motion.y = 6;
  Push(e);
  Pump(50);
  ops().SetCapture(a, false);
  Push(e);
  Pump(50);

  // SDL reports where the real pointer is when capture begins and ends: skip those.
  int gx, gy;
  SDL_GetGlobalMouseState(&gx, &gy);
  auto atPointer = [&](const BackendEvent& ev) {
    const int ox = ev.window == a ? 100 : 300, oy = ev.window == a ? 100 : 150;
    return ev.kind == BackendEventKind::MouseMove && ev.x + ox == gx && ev.y + oy == gy;
  };
  std::vector<BackendEvent> mouse;
  for (const BackendEvent& ev : Take())
    if ((ev.kind == BackendEventKind::MouseDown || ev.kind == BackendEventKind::MouseWheel ||
         ev.kind == BackendEventKind::MouseMove) && !atPointer(ev))
      mouse.push_back(ev);
  ASSERT_EQ(mouse.size(), 4u);
  EXPECT_EQ(mouse[0].kind, BackendEventKind::MouseDown);
  EXPECT_EQ(mouse[0].window, a);
  EXPECT_EQ(mouse[0].button, BackendRight);
  EXPECT_EQ(mouse[0].x, 10);
  EXPECT_EQ(mouse[0].y, 12);
  EXPECT_EQ(mouse[1].kind, BackendEventKind::MouseWheel);
  EXPECT_EQ(mouse[1].wheel, -240);
  EXPECT_EQ(mouse[1].x, 7);
  EXPECT_EQ(mouse[1].y, 8);
  EXPECT_EQ(mouse[2].window, a);
  EXPECT_EQ(mouse[2].x, 205);
  EXPECT_EQ(mouse[2].y, 56);
  EXPECT_EQ(mouse[3].window, b);
  EXPECT_EQ(mouse[3].x, 5);
  EXPECT_EQ(mouse[3].y, 6);
}

// Ctrl+click sent at once (as a fast hand or a loaded machine delivers it): SDL has read
// the key's release before the click is translated, and the click still carries Ctrl.
TEST_F(SdlBackend, AClickCarriesTheModifiersOfItsMomentNotThoseOfLaterKeys) {
  HWND h = Create(1, 100, 100, 100, 100);
  const Uint32 id = ShowForInput(h);
  auto key = [&](Uint32 type, Uint16 mod) { PushKey(id, type, SDLK_LCTRL, mod); };
  auto button = [&](Uint32 type, int x) {
    SDL_Event e{};
    e.type = type;
    e.button.windowID = id;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = x;
    e.button.y = 10;
    Push(e);
  };
  key(SDL_KEYDOWN, KMOD_LCTRL);
  button(SDL_MOUSEBUTTONDOWN, 10);
  button(SDL_MOUSEBUTTONUP, 10);
  key(SDL_KEYUP, KMOD_NONE);
  button(SDL_MOUSEBUTTONDOWN, 20);
  button(SDL_MOUSEBUTTONUP, 20);
  Pump(50);

  std::vector<std::pair<int, bool>> clicks;  // where, and whether Ctrl was down
  for (const BackendEvent& e : Take())
    if (e.kind == BackendEventKind::MouseDown || e.kind == BackendEventKind::MouseUp)
      clicks.emplace_back(e.x, (e.modifiers & BackendCtrl) != 0);
  const std::vector<std::pair<int, bool>> want = {{10, true}, {10, true}, {20, false}, {20, false}};
  EXPECT_EQ(clicks, want);
}

// Ctrl held over a window that does not have the keyboard (a dialog the window manager has
// not focused yet): SDL sees no key, and the click still carries Ctrl, as the X server
// reports it with the click.
TEST_F(SdlBackend, AClickCarriesCtrlAlsoWhenNoWindowOfOursHasTheKeyboard) {
  HWND h = Create(1, 100, 100, 100, 100);
  TSurface s(100, 100);
  ShowFilled(h, s, [](int, int) { return 0x808080u; });
  Pump(100);
  ASSERT_TRUE(FocusNoWindow(xvfb_.Display()));
  Pump(50);
  Take();
  std::string errors;
  ASSERT_EQ(RunProgram({"xdotool", "mousemove", "--sync", "150", "160", "keydown", "ctrl", "click", "1", "keyup",
                        "ctrl", "click", "1"},
                       {"DISPLAY=" + xvfb_.Display()}, {}, &errors),
            0)
      << errors;
  Pump(200);

  std::vector<bool> ctrl;  // each press and release: whether Ctrl was down
  for (const BackendEvent& e : Take())
    if ((e.kind == BackendEventKind::MouseDown || e.kind == BackendEventKind::MouseUp) && e.window == h) {
      EXPECT_EQ(e.x, 50);
      EXPECT_EQ(e.y, 60);
      ctrl.push_back((e.modifiers & BackendCtrl) != 0);
    }
  EXPECT_EQ(ctrl, (std::vector<bool>{true, true, false, false}));
}

TEST_F(SdlBackend, KeysBecomeVirtualKeysAndTextBecomesCharacters) {
  HWND h = Create(1, 0, 0, 50, 50);
  const Uint32 id = ShowForInput(h);
  auto key = [&](SDL_Keycode sym, Uint16 mod) { PushKey(id, SDL_KEYDOWN, sym, mod); };
  key(SDLK_RETURN, 0);
  key(SDLK_c, KMOD_LCTRL);
  SDL_Event t{};
  t.type = SDL_TEXTINPUT;
  t.text.windowID = id;
  std::strcpy(t.text.text, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xC3");
  Push(t);
  Pump(50);

  std::vector<std::pair<BackendEventKind, unsigned>> got;
  for (const BackendEvent& e : Take())
    if (e.kind == BackendEventKind::KeyDown || e.kind == BackendEventKind::Char) {
      EXPECT_EQ(e.window, h);
      got.emplace_back(e.kind, e.key);
    }
  const std::vector<std::pair<BackendEventKind, unsigned>> want = {
      {BackendEventKind::KeyDown, VK_RETURN}, {BackendEventKind::Char, 13},
      {BackendEventKind::KeyDown, 'C'},       {BackendEventKind::Char, 3},
      {BackendEventKind::Char, 'a'},          {BackendEventKind::Char, 0xE9},
      {BackendEventKind::Char, 0x20AC},       {BackendEventKind::Char, 0x1F600},
      {BackendEventKind::Char, 0xFFFD},  // a cut-off sequence
  };
  EXPECT_EQ(got, want);
}

TEST_F(SdlBackend, PopupsLeaveActivationAndKeysWithTheFormThatOpenedThem) {
  HWND main = Create(1, 0, 0, 100, 100);
  ops().SetVisible(main, true);
  Pump(100);
  BackendWindowDesc d;
  d.handle = Handle(2);
  d.owner = main;
  d.x = 20;
  d.y = 20;
  d.width = d.height = 30;
  d.popup = true;
  d.bordered = false;
  ASSERT_TRUE(ops().CreateWindow(d));
  ops().SetVisible(d.handle, true);
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.windowID = SDL_GetWindowID(SdlWindowOf(d.handle));
  e.key.keysym.sym = SDLK_DOWN;
  Push(e);
  Pump(200);
  bool key = false;
  for (const BackendEvent& ev : Take()) {
    EXPECT_FALSE(ev.kind == BackendEventKind::Activate && ev.window == d.handle);
    EXPECT_FALSE(ev.kind == BackendEventKind::Activate && ev.window == main && ev.key == 0)
        << "the opening form lost the activation";
    if (ev.kind == BackendEventKind::KeyDown) {
      key = true;
      EXPECT_EQ(ev.window, main);
      EXPECT_EQ(ev.key, VK_DOWN);
    }
  }
  EXPECT_TRUE(key);
}

TEST_F(SdlBackend, WindowsCarryTheProgramIconWithItsBackgroundTransparent) {
  ASSERT_TRUE(kIconRegistered);
  HWND h = Create(1, 40, 40, 64, 64);
  ops().SetVisible(h, true);
  Pump(50);
  const std::vector<unsigned long> icon = WindowIcon(xvfb_.Display(), 40, 40, 64, 64);
  const std::vector<unsigned long> want = {4,          2,          0,          0xFFFF0000, 0xFF00FF00, 0,
                                           0xFF0000FF, 0xFFFFFFFF, 0,          0xFF000000};
  EXPECT_EQ(icon, want);
}

TEST(SdlKeyMap, KeysMapAsOnTheKeyboardTheControlsExpect) {
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_a, 0), 'A');
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_z, KMOD_SHIFT), 'Z');
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_7, 0), '7');
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_F1, 0), VK_F1);
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_F12, 0), VK_F12);
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_F13, 0), VK_F12 + 1u);
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_RSHIFT, 0), VK_SHIFT);
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_LCTRL, 0), VK_CONTROL);
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_RALT, 0), VK_MENU);
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_KP_ENTER, 0), VK_RETURN);
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_PAGEDOWN, 0), VK_NEXT);
  // The keypad: digits with Num Lock, the printed navigation keys without it.
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_KP_0, KMOD_NUM), 0x60u);
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_KP_1, KMOD_NUM), 0x61u);
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_KP_9, KMOD_NUM), 0x69u);
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_KP_PERIOD, KMOD_NUM), 0x6Eu);
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_KP_4, 0), VK_LEFT);
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_KP_9, 0), VK_PRIOR);
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_KP_PERIOD, 0), VK_DELETE);
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_MINUS, 0), 0xBDu);
  EXPECT_EQ(SdlKeyToVirtualKey(SDLK_AUDIONEXT, 0), 0u);

  EXPECT_EQ(SdlKeyControlChar(SDLK_BACKSPACE, 0), 8u);
  EXPECT_EQ(SdlKeyControlChar(SDLK_TAB, 0), 9u);
  EXPECT_EQ(SdlKeyControlChar(SDLK_TAB, KMOD_CTRL), 0u);
  EXPECT_EQ(SdlKeyControlChar(SDLK_ESCAPE, 0), 27u);
  EXPECT_EQ(SdlKeyControlChar(SDLK_z, KMOD_RCTRL), 26u);
  EXPECT_EQ(SdlKeyControlChar(SDLK_z, KMOD_CTRL | KMOD_ALT), 0u);
  // Printable keys come as text input, not from here.
  EXPECT_EQ(SdlKeyControlChar(SDLK_a, 0), 0u);
}

TEST_F(SdlBackend, WakeFromOtherThreadsEndsAWaitAndDoesNotFloodTheQueue) {
  std::thread late([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ops().Wake();
  });
  BackendEvent e;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(ops().WaitEvent(&e, -1));
  late.join();
  EXPECT_EQ(e.kind, BackendEventKind::Wake);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(90));

  // Thousands of wakes from several threads before the loop looks: one event.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 2000; ++i) ops().Wake();
    });
  for (auto& t : threads) t.join();
  int wakes = 0;
  while (ops().WaitEvent(&e, 50))
    if (e.kind == BackendEventKind::Wake) ++wakes;
  EXPECT_EQ(wakes, 1);
  // And a wake after that one was served is delivered again.
  ops().Wake();
  ASSERT_TRUE(ops().WaitEvent(&e, 2000));
  EXPECT_EQ(e.kind, BackendEventKind::Wake);
  // A timed wait with nothing to do times out.
  EXPECT_FALSE(ops().WaitEvent(&e, 30));
}

TEST_F(SdlBackend, DesktopClipboardFromTheGuiThreadAndFromOthers) {
  auto clip = ops().Clipboard();
  ASSERT_TRUE(clip);
  ASSERT_TRUE(clip->SetText("Gr\xC3\xBC\xC3\x9F" "e\nline two"));
  EXPECT_EQ(clip->GetText(), std::optional<std::string>("Gr\xC3\xBC\xC3\x9F" "e\nline two"));
  EXPECT_EQ(std::string(SDL_GetClipboardText()), "Gr\xC3\xBC\xC3\x9F" "e\nline two");

  // Text only up to an embedded NUL, as the clipboard keeps it.
  ASSERT_TRUE(clip->SetText(std::string("before\0after", 12)));
  EXPECT_EQ(clip->GetText(), std::optional<std::string>("before"));

  // Another thread sees its own text at once; the desktop gets it through the loop.
  std::optional<std::string> seen;
  std::thread other([&] {
    clip->SetText("from a worker");
    seen = clip->GetText();
  });
  other.join();
  EXPECT_EQ(seen, std::optional<std::string>("from a worker"));
  Pump(50);
  char* desktop = SDL_GetClipboardText();
  EXPECT_EQ(std::string(desktop), "from a worker");
  SDL_free(desktop);
  EXPECT_EQ(clip->GetText(), std::optional<std::string>("from a worker"));

  clip->Clear();
  EXPECT_EQ(clip->GetText(), std::nullopt);
}

TEST_F(SdlBackend, CursorsFollowTheControlsAndHiddenOnesComeBack) {
  SDL_Cursor* arrow = SDL_GetCursor();
  ops().SetCursor(crIBeam);
  SDL_Cursor* ibeam = SDL_GetCursor();
  EXPECT_NE(ibeam, arrow);
  ops().SetCursor(crNone);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  ops().SetCursor(crHandPoint);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
  EXPECT_NE(SDL_GetCursor(), ibeam);
  ops().SetCursor(crIBeam);
  EXPECT_EQ(SDL_GetCursor(), ibeam);
}

TEST_F(SdlBackend, ScreenWorkAreaAndClock) {
  int w = 0, h = 0;
  ops().ScreenSize(&w, &h);
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(h, 768);
  RECT area{};
  ops().WorkArea(&area);
  EXPECT_GE(area.left, 0);
  EXPECT_GE(area.top, 0);
  EXPECT_LE(area.right, 1024);
  EXPECT_LE(area.bottom, 768);
  EXPECT_GT(area.right - area.left, 0);
  EXPECT_GT(area.bottom - area.top, 0);
  const std::uint64_t t0 = ops().Clock();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_GE(ops().Clock() - t0, 25u);
}

TEST(SdlBackendNoDisplay, InitFailsAndSaysWhy) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  std::string error;
  EXPECT_FALSE(SdlBackendOps().Init(&error));
  EXPECT_NE(error.find("cannot open a display"), std::string::npos) << error;
  EXPECT_NE(error.find("DISPLAY is not set"), std::string::npos) << error;
  // Nothing half-started: waking and waiting are harmless.
  SdlBackendOps().Wake();
  BackendEvent e;
  EXPECT_FALSE(SdlBackendOps().WaitEvent(&e, 0));
}

}  // namespace
