#include "sdl_x11.h"

#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>

#include <atomic>
#include <mutex>
#include <unordered_set>

namespace sdl_x11 {
namespace {

using ErrorHandler = int (*)(Display*, XErrorEvent*);

Display* g_display = nullptr;  // SDL's connection; GUI thread only
// Read by the handler on whichever thread Xlib reports an error.
std::atomic<ErrorHandler> g_previous{nullptr};
bool g_installed = false;

// Xlib may report an error on whichever thread reads the connection.
std::mutex g_mu;
std::unordered_set<XID> g_live;

bool IsLive(XID id) {
  std::lock_guard lock(g_mu);
  return g_live.count(id) != 0;
}

// Windows come and go under a window manager between a request and its error: SDL asks
// for the parent frame and translates coordinates through it while the manager is
// destroying it, or sets the focus on a window whose frame was just unmapped. Such a
// request had nothing left to act on; anything else is a fault that must show.
bool IsRaceWithVanishedWindow(const XErrorEvent& e) {
  switch (e.error_code) {
    case BadWindow:
    case BadDrawable:
      // A window of ours that is still alive cannot vanish by a race.
      return !IsLive(e.resourceid);
    case BadMatch:
      // The focus target is not viewable (any more).
      return e.request_code == X_SetInputFocus;
    default:
      return false;
  }
}

int OnXError(Display* display, XErrorEvent* e) {
  if (IsRaceWithVanishedWindow(*e)) return 0;
  // Xlib's own handler prints the error and ends the program, as for any real fault.
  const ErrorHandler previous = g_previous.load();
  return previous ? previous(display, e) : 0;
}

XID WindowId(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
  return info.info.x11.window;
}

}  // namespace

bool Connect(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  g_display = info.info.x11.display;
  if (!g_installed) {
    g_previous = XSetErrorHandler(&OnXError);
    g_installed = true;
  }
  return true;
}

void Disconnect() {
  if (g_installed) {
    const ErrorHandler current = XSetErrorHandler(g_previous.load());
    if (current == &OnXError) {
      g_installed = false;
    } else {
      // Someone put a handler above ours and may pass errors down to it: stay below.
      XSetErrorHandler(current);
    }
  }
  g_display = nullptr;
  std::lock_guard lock(g_mu);
  g_live.clear();
}

int Socket() { return g_display ? ConnectionNumber(g_display) : -1; }

bool EventsWaiting() { return g_display && XEventsQueued(g_display, QueuedAfterFlush) > 0; }

bool ClientOrigin(SDL_Window* window, int* x, int* y) {
  const XID id = g_display ? WindowId(window) : 0;
  Window child = 0;
  return id && XTranslateCoordinates(g_display, id, DefaultRootWindow(g_display), 0, 0, x, y, &child);
}

void WindowCreated(SDL_Window* window) {
  if (!g_display) return;
  if (const XID id = WindowId(window)) {
    std::lock_guard lock(g_mu);
    g_live.insert(id);
  }
}

void WindowDestroyed(SDL_Window* window) {
  if (!g_display) return;
  if (const XID id = WindowId(window)) {
    std::lock_guard lock(g_mu);
    g_live.erase(id);
  }
}

int ButtonEventMods(const SDL_Event& e) {
  if (e.type != SDL_SYSWMEVENT || !e.syswm.msg || e.syswm.msg->subsystem != SDL_SYSWM_X11) return -1;
  const XEvent& x = e.syswm.msg->msg.x11.event;
  if (x.type != ButtonPress && x.type != ButtonRelease) return -1;
  int mods = 0;
  if (x.xbutton.state & ShiftMask) mods |= KMOD_LSHIFT;
  if (x.xbutton.state & ControlMask) mods |= KMOD_LCTRL;
  if (x.xbutton.state & Mod1Mask) mods |= KMOD_LALT;
  return mods;
}

}  // namespace sdl_x11
