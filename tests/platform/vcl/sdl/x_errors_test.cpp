// X errors on the SDL2 backend's connection: those of requests on windows that are gone
// by the time the server sees them (a window manager's frames above all) are harmless;
// any other still reaches the handler that was there before, which by default ends
// the program.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include <vcl/backend.h>

#include "sdl_backend.h"
#include "window_desc.h"
#include "xvfb.h"

// After the class library's headers: X11's macros (None, Bool) would clash with them.
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>

// Request codes of the core protocol (X11/Xproto.h, whose types clash as well).
constexpr int kCreateWindow = 1, kTranslateCoords = 40;

namespace {

struct SeenError {
  int code, request;
};
std::vector<SeenError> g_seen;

int Record(Display*, XErrorEvent* e) {
  g_seen.push_back({e->error_code, e->request_code});
  return 0;
}

HWND Handle(int n) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x7100 + n)); }

class XErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(xvfb_.Start(&why)) << why;
    g_seen.clear();
    // What a program had before the backend started: errors that are faults go there.
    XSetErrorHandler(&Record);
    std::string error;
    ASSERT_TRUE(ops().Init(&error)) << error;
    started_ = true;
  }
  void TearDown() override {
    if (started_) ops().Shutdown();
    // The backend gave the previous handler back.
    EXPECT_EQ(XSetErrorHandler(nullptr), &Record);
  }

  static const BackendOps& ops() { return SdlBackendOps(); }

  HWND Show(int n, int x, int y, int w, int h) {
    const BackendWindowDesc d = sdl_test::WindowDesc(Handle(n), x, y, w, h, true);
    EXPECT_TRUE(ops().CreateWindow(d));
    ops().SetVisible(d.handle, true);
    return d.handle;
  }

  static Display* SdlDisplay(HWND h) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    return SDL_GetWindowWMInfo(SdlWindowOf(h), &info) ? info.info.x11.display : nullptr;
  }
  static Window XWindowOf(HWND h) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    return SDL_GetWindowWMInfo(SdlWindowOf(h), &info) ? info.info.x11.window : 0;
  }

  void Pump(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    BackendEvent e;
    while (std::chrono::steady_clock::now() < end) ops().WaitEvent(&e, 10);
  }

  XvfbServer xvfb_;
  bool started_ = false;
};

TEST_F(XErrors, RequestsOnVanishedWindowsAreHarmlessOthersStillReachThePreviousHandler) {
  HWND h = Show(1, 50, 50, 100, 80);
  HWND hidden = Show(2, 300, 50, 60, 60);
  ops().SetVisible(hidden, false);
  Pump(50);
  Display* dpy = SdlDisplay(h);
  ASSERT_NE(dpy, nullptr);
  const Window root = DefaultRootWindow(dpy);

  // Another client's window (as a window manager's frame) that is gone by now.
  Display* other = XOpenDisplay(xvfb_.Display().c_str());
  ASSERT_NE(other, nullptr);
  const Window frame = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 10, 10, 0, 0, 0);
  XSync(other, False);
  XDestroyWindow(other, frame);
  XSync(other, False);

  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(dpy, frame, root, 0, 0, &x, &y, &child);  // BadWindow
  Window r = 0;
  unsigned w = 0, hh = 0, border = 0, depth = 0;
  XGetGeometry(dpy, frame, &r, &x, &y, &w, &hh, &border, &depth);  // BadDrawable
  XSetInputFocus(dpy, XWindowOf(hidden), RevertToNone, CurrentTime);  // BadMatch: not viewable
  XSync(dpy, False);
  EXPECT_TRUE(g_seen.empty()) << g_seen.size() << " errors passed on, the first of request "
                              << (g_seen.empty() ? 0 : g_seen[0].request);

  // A bad argument is a fault; so is a window of ours that vanished while we still use it.
  g_seen.clear();
  XCreateSimpleWindow(dpy, root, 0, 0, 0, 10, 0, 0, 0);  // BadValue: no width
  XDestroyWindow(other, XWindowOf(h));
  XSync(other, False);
  XTranslateCoordinates(dpy, XWindowOf(h), root, 0, 0, &x, &y, &child);
  XSync(dpy, False);
  ASSERT_EQ(g_seen.size(), 2u);
  EXPECT_EQ(g_seen[0].code, BadValue);
  EXPECT_EQ(g_seen[0].request, kCreateWindow);
  EXPECT_EQ(g_seen[1].code, BadWindow);
  EXPECT_EQ(g_seen[1].request, kTranslateCoords);
  XCloseDisplay(other);
  g_seen.clear();
  ops().DestroyWindow(h);
  ops().DestroyWindow(hidden);
  Pump(20);
  EXPECT_TRUE(g_seen.empty()) << "destroying a window that is gone already is no fault";
}

}  // namespace
