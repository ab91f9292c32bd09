// The SDL2 backend: each top-level form is one SDL window whose client area shows the
// form's surface. Every SDL video call runs on the thread that called Init (the GUI
// thread); other threads only wake its loop, through a descriptor of our own.
#include <SDL2/SDL_shape.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <deque>
#include <map>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <vcl/controls.h>
#include <vcl/resources.h>

#include "sdl_backend.h"
#include "sdl_x11.h"

namespace {

// X11 carries window positions and sizes in 16 bits; keep far inside that.
constexpr int kCoordLimit = 30000;
constexpr int kSizeLimit = 16384;
// How long a move or resize we asked for may take before the window manager's own
// placement counts as the window's new bounds.
constexpr std::uint64_t kSettleMs = 500;
// How long a window that lost the keyboard may take to get it back unnoticed.
constexpr std::uint64_t kFocusSettleMs = 60;
// Without an X connection to wait on (another video driver), how often the loop looks
// for input while it waits.
constexpr int kPollSliceMs = 10;

struct SdlWin {
  HWND handle = nullptr;
  HWND owner = nullptr;
  SDL_Window* window = nullptr;
  Uint32 id = 0;
  int x = 0, y = 0, width = 0, height = 0;  // client bounds as the class library set them
  bool bordered = true, popup = false, tooltip = false, topmost = false;
  bool visible = false, minimized = false;
  std::string title;
  bool shaped = false;     // created as an SDL shaped window
  bool has_shape = false;  // a region is set; otherwise the whole rectangle shows
  std::vector<RECT> shape;
  bool presented = false;  // SDL's window surface holds the last picture
  bool move_pending = false, size_pending = false;
  bool place_on_show = false;  // moved while hidden
  std::uint64_t move_since = 0, size_since = 0;
};

struct State {
  // Read by other threads (the clipboard asks whether it runs on the GUI thread).
  std::atomic<bool> initialized{false};
  std::thread::id gui;
  std::unordered_map<HWND, std::unique_ptr<SdlWin>> windows;
  std::unordered_map<Uint32, SdlWin*> by_id;
  std::deque<BackendEvent> pending;
  HWND capture = nullptr;
  std::map<int, SDL_Cursor*> cursors;
  SDL_Surface* icon = nullptr;
  bool shape_unsupported = false;
  std::shared_ptr<ClipboardProvider> clipboard;
  HWND lost_focus = nullptr;  // lost the keyboard, not reported yet
  std::uint64_t lost_at = 0;
  Uint16 mods = 0;  // the modifier keys as of the last event translated
  int button_mods = -1;  // those of the X button event just before, for SDL's copy of it
};

State& S() {
  static State state;
  return state;
}

// SDL user event type; 0 while the backend is not running.
std::atomic<Uint32> g_clipboard_type{0};
// Other threads wake the GUI thread through this descriptor, which its wait polls beside
// the X connection. SDL's own wake-up of SDL_WaitEvent goes through a window of SDL's
// choosing and a second X connection, and races with that window's destruction. Made
// once and never closed: a late Wake must not write into a reused descriptor.
std::atomic<int> g_wake_fd{-1};
std::atomic<bool> g_running{false};
// One Wake event is enough however many threads ask before the loop looks.
std::atomic<bool> g_wake_pending{false};

int ClampCoord(int v) { return std::clamp(v, -kCoordLimit, kCoordLimit); }
int ClampSize(int v) { return std::clamp(v, 0, kSizeLimit); }
// SDL windows are at least one pixel wide and high.
int SdlSize(int v) { return std::max(v, 1); }

bool OnGuiThread() {
  return S().initialized && std::this_thread::get_id() == S().gui;
}

void SignalWakeFd() {
  const int fd = g_wake_fd.load();
  const std::uint64_t one = 1;
  if (fd >= 0 && write(fd, &one, sizeof one) < 0) {
    // Only a counter at its limit refuses, and that still wakes the poll.
  }
}

void PushUserEvent(Uint32 type) {
  if (type == 0) return;
  SDL_Event e{};
  e.type = type;
  if (SDL_PushEvent(&e) == 1) SignalWakeFd();
}

void PostClipboard() { PushUserEvent(g_clipboard_type.load()); }

SdlWin* Find(HWND h) {
  auto it = S().windows.find(h);
  return it == S().windows.end() ? nullptr : it->second.get();
}

SdlWin* ById(Uint32 id) {
  auto it = S().by_id.find(id);
  return it == S().by_id.end() ? nullptr : it->second;
}

// The modifier keys when the event being translated happened. SDL's own state is that
// after every event it has read off the X connection, which can hold a later key release
// (Ctrl+click sent at once): while key events wait in the queue, the last translated key
// event's state stands.
Uint16 ModsOfThisEvent() {
  State& s = S();
  if (!SDL_HasEvents(SDL_KEYDOWN, SDL_KEYUP)) s.mods = static_cast<Uint16>(SDL_GetModState());
  return s.mods;
}

unsigned Modifiers(Uint16 mod) {
  unsigned m = 0;
  if (mod & KMOD_SHIFT) m |= BackendShift;
  if (mod & KMOD_CTRL) m |= BackendCtrl;
  if (mod & KMOD_ALT) m |= BackendAlt;
  return m;
}

Uint32 WindowFlags(const SdlWin& w) {
  Uint32 flags = SDL_WINDOW_HIDDEN;
  if (!w.bordered || w.popup) flags |= SDL_WINDOW_BORDERLESS;
  // Menus, drop-down lists and hints: no frame, no taskbar entry, above everything.
  if (w.popup)
    flags |= (w.tooltip ? SDL_WINDOW_TOOLTIP : SDL_WINDOW_POPUP_MENU) | SDL_WINDOW_SKIP_TASKBAR |
             SDL_WINDOW_ALWAYS_ON_TOP;
  if (w.topmost) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
  return flags;
}

// The program's icon "MAINICON"; its top-left pixel's colour is transparent, as for
// every masked picture of the program.
SDL_Surface* LoadProgramIcon() {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  if (!FindBitmapResource(nullptr, "MAINICON", &data, &size) || size > 0x7FFFFFFF) return nullptr;
  SDL_Surface* bmp = SDL_LoadBMP_RW(SDL_RWFromConstMem(data, static_cast<int>(size)), 1);
  if (!bmp) return nullptr;
  SDL_Surface* icon = SDL_ConvertSurfaceFormat(bmp, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(bmp);
  if (!icon || icon->w <= 0 || icon->h <= 0) return icon;
  SDL_LockSurface(icon);
  auto* base = static_cast<std::uint8_t*>(icon->pixels);
  const std::uint32_t key = *reinterpret_cast<std::uint32_t*>(base) & 0xFFFFFFu;
  for (int y = 0; y < icon->h; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(base + static_cast<std::size_t>(y) * icon->pitch);
    for (int x = 0; x < icon->w; ++x)
      row[x] = (row[x] & 0xFFFFFFu) == key ? 0 : (row[x] | 0xFF000000u);
  }
  SDL_UnlockSurface(icon);
  return icon;
}

void Attach(SdlWin& w, SDL_Window* window) {
  w.window = window;
  w.id = SDL_GetWindowID(window);
  sdl_x11::WindowCreated(window);
  w.presented = false;
  S().by_id[w.id] = &w;
  if (w.popup) return;
  if (S().icon) SDL_SetWindowIcon(window, S().icon);
  // Dialogs stay above the window that owns them.
  if (SdlWin* owner = w.owner ? Find(w.owner) : nullptr) SDL_SetWindowModalFor(window, owner->window);
}

void QueueEvent(BackendEventKind kind, HWND h, int x = 0, int y = 0) {
  BackendEvent e;
  e.kind = kind;
  e.window = h;
  e.x = x;
  e.y = y;
  S().pending.push_back(e);
}

// Where a window's client area is on the screen: from the X server where there is one
// (SDL's own figure can be stale under a window manager).
void ScreenOrigin(const SdlWin& w, int* x, int* y) {
  if (!sdl_x11::ClientOrigin(w.window, x, y)) SDL_GetWindowPosition(w.window, x, y);
}

void RequestPosition(SdlWin& w) {
  // A hidden window goes to its place when it is shown: a window manager that is just
  // taking a hidden window out of its frame answers a move with events that SDL looks
  // up through that vanishing frame.
  if (!w.visible) {
    w.place_on_show = true;
    return;
  }
  w.place_on_show = false;
  SDL_SetWindowPosition(w.window, w.x, w.y);
  w.move_pending = true;
  w.move_since = SDL_GetTicks64();
}

// Sets the window's mask from its region (or the whole rectangle) at its current size.
void ApplyShape(SdlWin& w) {
  const int width = SdlSize(w.width), height = SdlSize(w.height);
  SDL_Surface* mask = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
  if (!mask) return;
  const Uint32 opaque = 0xFF000000u;
  const bool whole = !w.has_shape && w.width > 0 && w.height > 0;
  SDL_FillRect(mask, nullptr, whole ? opaque : 0);
  if (w.has_shape) {
    for (const RECT& r : w.shape) {
      const int l = std::max<int>(r.left, 0), t = std::max<int>(r.top, 0);
      const int rr = std::min<int>(r.right, w.width), b = std::min<int>(r.bottom, w.height);
      if (rr <= l || b <= t) continue;
      SDL_Rect fill{l, t, rr - l, b - t};
      SDL_FillRect(mask, &fill, opaque);
    }
  }
  SDL_WindowShapeMode mode{};
  mode.mode = ShapeModeBinarizeAlpha;
  mode.parameters.binarizationCutoff = 128;
  SDL_SetWindowShape(w.window, mask, &mode);
  SDL_FreeSurface(mask);
  // SDL parks a shaped window off-screen until it has a mask and brings it back only
  // when neither coordinate is 0: put it where the form is.
  RequestPosition(w);
}

// SDL shapes only windows created as shaped ones: the first region replaces the
// window with a shaped window of the same state.
bool MakeShaped(SdlWin& w) {
  SDL_Window* shaped = SDL_CreateShapedWindow(w.title.c_str(), w.x, w.y, SdlSize(w.width),
                                              SdlSize(w.height), WindowFlags(w));
  if (!shaped) {
    // No shape extension: such windows stay rectangular.
    S().shape_unsupported = true;
    return false;
  }
  SDL_Window* old = w.window;
  S().by_id.erase(w.id);
  Attach(w, shaped);
  w.shaped = true;
  for (auto& [h, other] : S().windows)
    if (other->owner == w.handle && !other->popup) SDL_SetWindowModalFor(other->window, shaped);
  if (S().capture == w.handle) SDL_CaptureMouse(SDL_FALSE);
  sdl_x11::WindowDestroyed(old);
  SDL_DestroyWindow(old);
  // The new window has no picture yet.
  QueueEvent(BackendEventKind::Expose, w.handle);
  return true;
}

// --- operations ------------------------------------------------------------------

void ShutdownOp();

bool InitOp(std::string* error) {
  State& s = S();
  if (s.initialized) return true;
  // The X11 window system first (window shapes need it); SDL_VIDEODRIVER still wins.
  // Wayland only when a compositor is announced: probing for one prints noise.
  const char* compositor = std::getenv("WAYLAND_DISPLAY");
  SDL_SetHint(SDL_HINT_VIDEODRIVER, compositor && *compositor ? "x11,wayland" : "x11");
  // Window surfaces straight through X11: a texture-backed surface would make SDL
  // recreate the window for OpenGL, dropping its shape and place.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    if (error) {
      const char* display = std::getenv("DISPLAY");
      const char* wayland = std::getenv("WAYLAND_DISPLAY");
      std::string why = SDL_GetError();
      *error = "cannot open a display";
      if ((!display || !*display) && (!wayland || !*wayland))
        *error += ": DISPLAY is not set, no desktop session to show windows in";
      else if (display && *display)
        *error += std::string(": the X server at DISPLAY=") + display + " cannot be reached";
      if (!why.empty()) *error += " (" + why + ")";
    }
    SDL_Quit();
    return false;
  }
  s.gui = std::this_thread::get_id();
  s.initialized = true;
  // X's own events as well, for the modifier keys of each click.
  SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
  const Uint32 base = SDL_RegisterEvents(1);
  if (base == static_cast<Uint32>(-1)) {
    if (error) *error = std::string("cannot register SDL user events: ") + SDL_GetError();
    ShutdownOp();
    return false;
  }
  if (g_wake_fd < 0) g_wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (g_wake_fd < 0) {
    if (error) *error = "cannot make the descriptor that wakes the GUI thread";
    ShutdownOp();
    return false;
  }
  // SDL's X connection, for waiting on it and for our X error handler; SDL names it
  // only through a window.
  if (SDL_Window* probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN)) {
    sdl_x11::Connect(probe);
    SDL_DestroyWindow(probe);
  }
  g_wake_pending = false;
  g_clipboard_type = base;
  g_running = true;
  SDL_StartTextInput();
  s.icon = LoadProgramIcon();
  s.clipboard = MakeSdlClipboard(&OnGuiThread, &PostClipboard);
  return true;
}

void ShutdownOp() {
  State& s = S();
  if (!s.initialized) return;
  g_running = false;
  g_clipboard_type = 0;
  if (s.capture) SDL_CaptureMouse(SDL_FALSE);
  for (auto& [h, w] : s.windows) {
    sdl_x11::WindowDestroyed(w->window);
    SDL_DestroyWindow(w->window);
  }
  s.windows.clear();
  s.by_id.clear();
  s.pending.clear();
  s.capture = nullptr;
  s.lost_focus = nullptr;
  s.mods = 0;
  s.button_mods = -1;
  for (auto& [id, cursor] : s.cursors) SDL_FreeCursor(cursor);
  s.cursors.clear();
  if (s.icon) SDL_FreeSurface(s.icon);
  s.icon = nullptr;
  s.clipboard.reset();
  s.shape_unsupported = false;
  sdl_x11::Disconnect();
  SDL_Quit();
  s.initialized = false;
}

bool CreateWindowOp(const BackendWindowDesc& desc) {
  State& s = S();
  if (!OnGuiThread() || !desc.handle || s.windows.count(desc.handle)) return false;
  auto w = std::make_unique<SdlWin>();
  w->handle = desc.handle;
  w->owner = desc.owner;
  w->x = ClampCoord(desc.x);
  w->y = ClampCoord(desc.y);
  w->width = ClampSize(desc.width);
  w->height = ClampSize(desc.height);
  w->bordered = desc.bordered;
  w->popup = desc.popup;
  w->tooltip = desc.tooltip;
  w->topmost = desc.topmost;
  w->title = desc.title;
  SDL_Window* window = SDL_CreateWindow(w->title.c_str(), w->x, w->y, SdlSize(w->width),
                                        SdlSize(w->height), WindowFlags(*w));
  if (!window) return false;
  Attach(*w, window);
  s.windows.emplace(desc.handle, std::move(w));
  return true;
}

void DestroyWindowOp(HWND h) {
  State& s = S();
  SdlWin* w = OnGuiThread() ? Find(h) : nullptr;
  if (!w) return;
  if (s.capture == h) {
    s.capture = nullptr;
    SDL_CaptureMouse(SDL_FALSE);
  }
  if (s.lost_focus == h) s.lost_focus = nullptr;
  s.by_id.erase(w->id);
  sdl_x11::WindowDestroyed(w->window);
  SDL_DestroyWindow(w->window);
  std::erase_if(s.pending, [h](const BackendEvent& e) { return e.window == h; });
  s.windows.erase(h);
}

void SetTitleOp(HWND h, const std::string& title) {
  SdlWin* w = OnGuiThread() ? Find(h) : nullptr;
  if (!w) return;
  w->title = title;
  SDL_SetWindowTitle(w->window, title.c_str());
}

void SetBoundsOp(HWND h, int x, int y, int width, int height) {
  SdlWin* w = OnGuiThread() ? Find(h) : nullptr;
  if (!w) return;
  x = ClampCoord(x);
  y = ClampCoord(y);
  width = ClampSize(width);
  height = ClampSize(height);
  const bool moved = x != w->x || y != w->y;
  const bool resized = width != w->width || height != w->height;
  w->x = x;
  w->y = y;
  if (resized) {
    w->width = width;
    w->height = height;
    SDL_SetWindowSize(w->window, SdlSize(width), SdlSize(height));
    w->size_pending = true;
    w->size_since = SDL_GetTicks64();
    w->presented = false;
    // The mask follows the size (and puts the window in place).
    if (w->shaped) {
      ApplyShape(*w);
      return;
    }
  }
  if (moved) RequestPosition(*w);
}

void SetVisibleOp(HWND h, bool visible) {
  SdlWin* w = OnGuiThread() ? Find(h) : nullptr;
  if (!w || w->visible == visible) return;
  w->visible = visible;
  if (visible) {
    SDL_Window* focused = SDL_GetKeyboardFocus();
    if (w->place_on_show) RequestPosition(*w);
    SDL_ShowWindow(w->window);
    if (w->minimized) SDL_MinimizeWindow(w->window);
    // Without a window manager SDL gives a shown window the keyboard; menus and lists
    // leave it with the form that opened them.
    if (w->popup && focused && focused != w->window) SDL_SetWindowInputFocus(focused);
    // A window that comes up while the user works in the program comes up in front and
    // takes the keyboard, as a dialog or box opened from it should: window managers
    // that guard the focus otherwise put it under the window that has it.
    if (!w->popup && !w->minimized && focused && focused != w->window) SDL_RaiseWindow(w->window);
  } else {
    SDL_HideWindow(w->window);
  }
}

void SetMinimizedOp(HWND h, bool minimized) {
  SdlWin* w = OnGuiThread() ? Find(h) : nullptr;
  if (!w || w->minimized == minimized) return;
  w->minimized = minimized;
  if (!w->visible) return;
  if (minimized)
    SDL_MinimizeWindow(w->window);
  else
    SDL_RestoreWindow(w->window);
}

void SetShapeOp(HWND h, const RECT* rects, int count) {
  SdlWin* w = OnGuiThread() ? Find(h) : nullptr;
  if (!w) return;
  if (count < 0 || (count > 0 && !rects)) {
    w->has_shape = false;
    w->shape.clear();
    if (w->shaped) ApplyShape(*w);
    return;
  }
  w->has_shape = true;
  w->shape.assign(rects, rects + count);
  if (!w->shaped) {
    if (S().shape_unsupported || !MakeShaped(*w)) return;
    if (w->visible) {
      SDL_ShowWindow(w->window);
      if (w->minimized) SDL_MinimizeWindow(w->window);
    }
  }
  ApplyShape(*w);
}

void PresentOp(HWND h, const TSurface& surface, const RECT& dirty) {
  SdlWin* w = OnGuiThread() ? Find(h) : nullptr;
  if (!w) return;
  SDL_Surface* target = SDL_GetWindowSurface(w->window);
  if (!target) return;
  std::lock_guard lock(surface.Lock);
  const int width = std::min(target->w, surface.Width);
  const int height = std::min(target->h, surface.Height);
  if (width <= 0 || height <= 0) return;
  // A new window surface starts black: the first picture goes in whole.
  RECT r = w->presented ? dirty : RECT{0, 0, width, height};
  r.left = std::max<LONG>(r.left, 0);
  r.top = std::max<LONG>(r.top, 0);
  r.right = std::min<LONG>(r.right, width);
  r.bottom = std::min<LONG>(r.bottom, height);
  if (r.right <= r.left || r.bottom <= r.top) return;
  const int rw = r.right - r.left, rh = r.bottom - r.top;

  if (SDL_MUSTLOCK(target) && SDL_LockSurface(target) != 0) return;
  const std::uint32_t* src = surface.Row(r.top) + r.left;
  auto* dst = static_cast<std::uint8_t*>(target->pixels) + static_cast<std::size_t>(r.top) * target->pitch +
              static_cast<std::size_t>(r.left) * 4;
  const Uint32 format = target->format->format;
  if (format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888) {
    // Our pixels are 0x00RRGGBB already; an alpha channel must say opaque.
    const std::uint32_t alpha = format == SDL_PIXELFORMAT_ARGB8888 ? 0xFF000000u : 0;
    for (int y = 0; y < rh; ++y) {
      auto* out = reinterpret_cast<std::uint32_t*>(dst + static_cast<std::size_t>(y) * target->pitch);
      const std::uint32_t* in = src + static_cast<std::size_t>(y) * surface.Width;
      for (int x = 0; x < rw; ++x) out[x] = in[x] | alpha;
    }
  } else {
    auto* out = static_cast<std::uint8_t*>(target->pixels) + static_cast<std::size_t>(r.top) * target->pitch +
                static_cast<std::size_t>(r.left) * target->format->BytesPerPixel;
    SDL_ConvertPixels(rw, rh, SDL_PIXELFORMAT_RGB888, src, surface.Width * 4, format, out, target->pitch);
  }
  if (SDL_MUSTLOCK(target)) SDL_UnlockSurface(target);
  SDL_Rect update{r.left, r.top, rw, rh};
  SDL_UpdateWindowSurfaceRects(w->window, &update, 1);
  w->presented = true;
}

// --- events ----------------------------------------------------------------------

// Mouse input goes to the window holding the capture, in its client coordinates,
// wherever the pointer is.
void QueueMouse(BackendEventKind kind, Uint32 windowId, int x, int y, int button, int wheel) {
  State& s = S();
  SdlWin* w = ById(windowId);
  SdlWin* target = w;
  if (s.capture && (!w || w->handle != s.capture)) {
    target = Find(s.capture);
    if (!target) return;
    int sx, sy, tx, ty;
    if (w) {
      int wx, wy;
      ScreenOrigin(*w, &wx, &wy);
      sx = wx + x;
      sy = wy + y;
    } else {
      SDL_GetGlobalMouseState(&sx, &sy);
    }
    ScreenOrigin(*target, &tx, &ty);
    x = sx - tx;
    y = sy - ty;
  }
  if (!target) return;
  BackendEvent e;
  e.kind = kind;
  e.window = target->handle;
  e.x = x;
  e.y = y;
  e.button = button;
  e.wheel = wheel;
  const bool click = kind == BackendEventKind::MouseDown || kind == BackendEventKind::MouseUp;
  const int xMods = click ? std::exchange(s.button_mods, -1) : -1;
  e.modifiers = Modifiers(xMods >= 0 ? static_cast<Uint16>(xMods) : ModsOfThisEvent());
  s.pending.push_back(e);
}

void QueueKey(BackendEventKind kind, Uint32 windowId, unsigned key, Uint16 mod) {
  SdlWin* w = ById(windowId);
  if (!w) w = ById(SDL_GetKeyboardFocus() ? SDL_GetWindowID(SDL_GetKeyboardFocus()) : 0);
  // Keys typed while a pop-up holds the keyboard belong to the form that opened it.
  if (w && w->popup && w->owner) w = Find(w->owner);
  if (!w) return;
  BackendEvent e;
  e.kind = kind;
  e.window = w->handle;
  e.key = key;
  e.modifiers = Modifiers(mod);
  S().pending.push_back(e);
}

// Code points of a UTF-8 text; a malformed sequence becomes U+FFFD.
std::vector<unsigned> DecodeUtf8(const char* text) {
  std::vector<unsigned> out;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    unsigned c = *p++;
    int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0) {
      out.push_back(0xFFFD);
      continue;
    }
    c &= extra == 0 ? 0x7F : (0x3F >> extra);
    bool ok = true;
    for (int i = 0; i < extra; ++i) {
      if ((*p & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (*p++ & 0x3F);
    }
    const unsigned min = extra == 1 ? 0x80 : extra == 2 ? 0x800 : extra == 3 ? 0x10000 : 0;
    if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    out.push_back(c);
  }
  return out;
}

void QueueActivate(HWND h, bool active) {
  BackendEvent out;
  out.kind = BackendEventKind::Activate;
  out.window = h;
  out.key = active ? 1 : 0;
  S().pending.push_back(out);
}

// A window that lost the keyboard is reported a little later, unless it gets it back
// meanwhile (a pop-up shown without a window manager takes it for a moment).
void ReportLostFocus() {
  if (!S().lost_focus) return;
  QueueActivate(S().lost_focus, false);
  S().lost_focus = nullptr;
}

// A move or resize that the class library asked for reports nothing back; only the
// window manager's own placements do.
bool Settled(bool& pending, std::uint64_t since, bool matches) {
  if (!pending) return !matches;
  if (matches) {
    pending = false;
    return false;
  }
  if (SDL_GetTicks64() - since < kSettleMs) return false;
  pending = false;
  return true;
}

void ReportMoved(SdlWin& w, int x, int y) {
  w.x = x;
  w.y = y;
  QueueEvent(BackendEventKind::Moved, w.handle, x, y);
}

void ReportResized(SdlWin& w, int width, int height) {
  w.width = ClampSize(width);
  w.height = ClampSize(height);
  w.presented = false;
  if (w.shaped) ApplyShape(w);
  QueueEvent(BackendEventKind::Resized, w.handle, w.width, w.height);
}

// A move or resize we asked for that a window manager did otherwise, with no event
// after it (it placed the frame where we meant the client, or kept the window on the
// screen), is reported as it came out once the settling time is over. Answers when the
// next one is due (0: none).
std::uint64_t SettleRequests(std::uint64_t now) {
  std::uint64_t next = 0;
  auto due = [&](bool& pending, std::uint64_t since) {
    if (!pending) return false;
    if (now >= since + kSettleMs) {
      pending = false;
      return true;
    }
    next = next ? std::min(next, since + kSettleMs) : since + kSettleMs;
    return false;
  };
  for (auto& [h, w] : S().windows) {
    // A minimized window has no place on the screen to report.
    if (!w->visible || w->minimized) continue;
    if (due(w->move_pending, w->move_since)) {
      int x = w->x, y = w->y;
      ScreenOrigin(*w, &x, &y);
      if (x != w->x || y != w->y) ReportMoved(*w, x, y);
    }
    if (due(w->size_pending, w->size_since)) {
      int width = 0, height = 0;
      SDL_GetWindowSize(w->window, &width, &height);
      if (width != SdlSize(w->width) || height != SdlSize(w->height)) ReportResized(*w, width, height);
    }
  }
  return next;
}

void TranslateWindowEvent(const SDL_WindowEvent& e) {
  SdlWin* w = ById(e.windowID);
  if (!w) return;
  switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE:
      QueueEvent(BackendEventKind::Close, w->handle);
      break;
    case SDL_WINDOWEVENT_EXPOSED:
      if (w->presented) SDL_UpdateWindowSurface(w->window);
      QueueEvent(BackendEventKind::Expose, w->handle);
      break;
    case SDL_WINDOWEVENT_MOVED: {
      int x = e.data1, y = e.data2;
      ScreenOrigin(*w, &x, &y);
      if (Settled(w->move_pending, w->move_since, x == w->x && y == w->y)) ReportMoved(*w, x, y);
      break;
    }
    case SDL_WINDOWEVENT_RESIZED:
      if (Settled(w->size_pending, w->size_since, e.data1 == SdlSize(w->width) && e.data2 == SdlSize(w->height)))
        ReportResized(*w, e.data1, e.data2);
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      if (w->popup) break;  // pop-ups never become the active window
      if (S().lost_focus == w->handle) {
        // It got the keyboard back at once (from a pop-up): nothing changed.
        S().lost_focus = nullptr;
        break;
      }
      ReportLostFocus();
      QueueActivate(w->handle, true);
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      if (w->popup) break;
      ReportLostFocus();
      S().lost_focus = w->handle;
      S().lost_at = SDL_GetTicks64();
      break;
    case SDL_WINDOWEVENT_LEAVE:
      // The pointer left the window: a move to where it is now ends hovering there.
      if (!S().capture) {
        int gx, gy, wx, wy, ww, wh;
        SDL_GetGlobalMouseState(&gx, &gy);
        ScreenOrigin(*w, &wx, &wy);
        SDL_GetWindowSize(w->window, &ww, &wh);
        int x = gx - wx, y = gy - wy;
        if (x >= 0 && y >= 0 && x < ww && y < wh) x = y = -kCoordLimit;
        QueueMouse(BackendEventKind::MouseMove, e.windowID, x, y, 0, 0);
      }
      break;
    default:
      break;
  }
}

int ButtonOf(Uint8 sdl) {
  switch (sdl) {
    case SDL_BUTTON_LEFT: return BackendLeft;
    case SDL_BUTTON_RIGHT: return BackendRight;
    case SDL_BUTTON_MIDDLE: return BackendMiddle;
    default: return -1;
  }
}

void Translate(const SDL_Event& e) {
  if (e.type == g_clipboard_type.load() && e.type != 0) {
    FlushSdlClipboard(S().clipboard.get());
    return;
  }
  // SDL passes on each X event before what it makes of it: a button event's modifiers
  // wait there for the click that follows.
  if (e.type == SDL_SYSWMEVENT) {
    const int mods = sdl_x11::ButtonEventMods(e);
    if (mods >= 0) S().button_mods = mods;
    return;
  }
  if (e.type != SDL_MOUSEMOTION && e.type != SDL_MOUSEBUTTONDOWN && e.type != SDL_MOUSEBUTTONUP)
    S().button_mods = -1;
  switch (e.type) {
    case SDL_WINDOWEVENT:
      TranslateWindowEvent(e.window);
      break;
    case SDL_MOUSEMOTION:
      QueueMouse(BackendEventKind::MouseMove, e.motion.windowID, e.motion.x, e.motion.y, 0, 0);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const int button = ButtonOf(e.button.button);
      if (button < 0) break;
      QueueMouse(e.type == SDL_MOUSEBUTTONDOWN ? BackendEventKind::MouseDown : BackendEventKind::MouseUp,
                 e.button.windowID, e.button.x, e.button.y, button, 0);
      break;
    }
    case SDL_MOUSEWHEEL: {
      int steps = e.wheel.y;
      if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) steps = -steps;
      if (steps == 0) break;
      QueueMouse(BackendEventKind::MouseWheel, e.wheel.windowID, e.wheel.mouseX, e.wheel.mouseY, 0, steps * 120);
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const SDL_Keysym& k = e.key.keysym;
      S().mods = k.mod;
      const unsigned vk = SdlKeyToVirtualKey(k.sym, k.mod);
      if (vk == 0) break;
      QueueKey(e.type == SDL_KEYDOWN ? BackendEventKind::KeyDown : BackendEventKind::KeyUp, e.key.windowID, vk,
               k.mod);
      // SDL reports no text for these keys; the controls expect their characters.
      if (e.type == SDL_KEYDOWN)
        if (const unsigned ch = SdlKeyControlChar(k.sym, k.mod))
          QueueKey(BackendEventKind::Char, e.key.windowID, ch, k.mod);
      break;
    }
    case SDL_TEXTINPUT:
      for (unsigned ch : DecodeUtf8(e.text.text))
        QueueKey(BackendEventKind::Char, e.text.windowID, ch, ModsOfThisEvent());
      break;
    default:
      break;
  }
}

// Blocks until the X connection has something to read, another thread woke the loop,
// or `ms` pass (-1: no limit).
void WaitForInput(int ms) {
  const int x = sdl_x11::Socket();
  // Xlib may have read events off the socket already (while answering a request).
  if (x >= 0 && sdl_x11::EventsWaiting()) return;
  if (x < 0) ms = ms < 0 ? kPollSliceMs : std::min(ms, kPollSliceMs);
  pollfd fds[2] = {{g_wake_fd.load(), POLLIN, 0}, {x, POLLIN, 0}};
  if (poll(fds, x >= 0 ? 2 : 1, ms) > 0 && (fds[0].revents & POLLIN)) {
    std::uint64_t count = 0;
    if (read(fds[0].fd, &count, sizeof count) < 0) {
      // Another reader drained it first: nothing is lost, the loop looks again.
    }
  }
}

bool NextSdlEvent(SDL_Event* e) {
  if (SDL_PeepEvents(e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) return true;
  SDL_PumpEvents();
  return SDL_PeepEvents(e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0;
}

bool WaitEventOp(BackendEvent* event, int timeoutMs) {
  State& s = S();
  if (!OnGuiThread() || !event) return false;
  const std::uint64_t deadline = SDL_GetTicks64() + static_cast<std::uint64_t>(std::max(timeoutMs, 0));
  for (;;) {
    if (!s.pending.empty()) {
      *event = s.pending.front();
      s.pending.pop_front();
      return true;
    }
    const std::uint64_t now = SDL_GetTicks64();
    if (s.lost_focus && now >= s.lost_at + kFocusSettleMs) {
      ReportLostFocus();
      continue;
    }
    const std::uint64_t settle = SettleRequests(now);
    if (!s.pending.empty()) continue;
    if (g_wake_pending.exchange(false)) {
      *event = BackendEvent{};
      event->kind = BackendEventKind::Wake;
      return true;
    }
    SDL_Event e;
    if (NextSdlEvent(&e)) {
      Translate(e);
      continue;
    }
    // -1: without limit.
    std::int64_t wait = timeoutMs < 0 ? -1 : static_cast<std::int64_t>(deadline > now ? deadline - now : 0);
    auto until = [&](std::uint64_t when) {
      const auto left = static_cast<std::int64_t>(when > now ? when - now : 0);
      wait = wait < 0 ? left : std::min(wait, left);
    };
    if (s.lost_focus) until(s.lost_at + kFocusSettleMs);
    if (settle) until(settle);
    if (wait == 0) return false;
    WaitForInput(static_cast<int>(std::min<std::int64_t>(wait, 0x7FFFFFFF)));
  }
}

void WakeOp() {
  if (!g_running || g_wake_pending.exchange(true)) return;
  SignalWakeFd();
}

std::uint64_t ClockOp() { return SDL_GetTicks64(); }

void SetCaptureOp(HWND h, bool capture) {
  State& s = S();
  if (!OnGuiThread()) return;
  if (capture) {
    if (!Find(h)) return;
    s.capture = h;
    // Fails without keyboard focus (no window manager); events are still redirected.
    SDL_CaptureMouse(SDL_TRUE);
  } else if (!h || s.capture == h) {
    s.capture = nullptr;
    SDL_CaptureMouse(SDL_FALSE);
  }
}

SDL_SystemCursor SystemCursorOf(int cursor) {
  switch (cursor) {
    case crIBeam: return SDL_SYSTEM_CURSOR_IBEAM;
    case crCross: return SDL_SYSTEM_CURSOR_CROSSHAIR;
    case crSizeNESW: return SDL_SYSTEM_CURSOR_SIZENESW;
    case crSizeNWSE: return SDL_SYSTEM_CURSOR_SIZENWSE;
    case crSizeNS:
    case crVSplit: return SDL_SYSTEM_CURSOR_SIZENS;
    case crSizeWE:
    case crHSplit: return SDL_SYSTEM_CURSOR_SIZEWE;
    case crSizeAll:
    case crDrag:
    case crMultiDrag: return SDL_SYSTEM_CURSOR_SIZEALL;
    case crHourGlass:
    case crSQLWait: return SDL_SYSTEM_CURSOR_WAIT;
    case crAppStart: return SDL_SYSTEM_CURSOR_WAITARROW;
    case crNo:
    case crNoDrop: return SDL_SYSTEM_CURSOR_NO;
    case crHandPoint: return SDL_SYSTEM_CURSOR_HAND;
    default: return SDL_SYSTEM_CURSOR_ARROW;
  }
}

void SetCursorOp(int cursor) {
  State& s = S();
  if (!OnGuiThread()) return;
  if (cursor == crNone) {
    SDL_ShowCursor(SDL_DISABLE);
    return;
  }
  SDL_ShowCursor(SDL_ENABLE);
  const SDL_SystemCursor id = SystemCursorOf(cursor);
  SDL_Cursor*& c = s.cursors[static_cast<int>(id)];
  if (!c) c = SDL_CreateSystemCursor(id);
  if (c) SDL_SetCursor(c);
}

void ScreenSizeOp(int* width, int* height) {
  SDL_Rect r{0, 0, 0, 0};
  if (OnGuiThread()) SDL_GetDisplayBounds(0, &r);
  if (width) *width = r.w;
  if (height) *height = r.h;
}

void WorkAreaOp(RECT* area) {
  if (!area) return;
  SDL_Rect r{0, 0, 0, 0};
  if (OnGuiThread() && SDL_GetDisplayUsableBounds(0, &r) != 0) SDL_GetDisplayBounds(0, &r);
  *area = RECT{r.x, r.y, r.x + r.w, r.y + r.h};
}

std::shared_ptr<ClipboardProvider> ClipboardOp() { return S().clipboard; }

const BackendOps kSdlOps = {
    "sdl",          &InitOp,         &ShutdownOp,   &CreateWindowOp, &DestroyWindowOp, &SetTitleOp,
    &SetBoundsOp,   &SetVisibleOp,   &SetMinimizedOp, &SetShapeOp,   &PresentOp,       &WaitEventOp,
    &WakeOp,        &ClockOp,        &SetCaptureOp, &SetCursorOp,    &ScreenSizeOp,    &WorkAreaOp,
    &ClipboardOp,
};

}  // namespace

const BackendOps& SdlBackendOps() { return kSdlOps; }

SDL_Window* SdlWindowOf(HWND window) {
  SdlWin* w = OnGuiThread() ? Find(window) : nullptr;
  return w ? w->window : nullptr;
}
