#include "xclick.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <thread>

bool ClickAt(const std::string& display, int x, int y) {
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return false;
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(dpy, &event, &error, &major, &minor)) {
    XCloseDisplay(dpy);
    return false;
  }
  // A pause between the steps, so that each reaches the program as its own event.
  auto step = [&] {
    XSync(dpy, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  };
  XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
  step();
  XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
  step();
  XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
  step();
  XCloseDisplay(dpy);
  return true;
}

void IgnoreVanishedWindows() {
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
}
