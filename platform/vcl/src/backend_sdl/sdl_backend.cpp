// The SDL2 backend: each top-level form is one SDL window whose client area shows the
// form's surface. Every SDL video call runs on the thread that called Init (the GUI
// thread); other threads only wake the loop through SDL's thread-safe event queue.
#include <SDL2/SDL_shape.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <deque>
#include <map>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <vcl/controls.h>
#include <vcl/resources.h>

#include "sdl_backend.h"

namespace {

// X11 carries window positions and sizes in 16 bits; keep far inside that.
constexpr int kCoordLimit = 30000;
constexpr int kSizeLimit = 16384;
// How long a move or resize we asked for may take before the window manager's own
// placement counts as the window's new bounds.
constexpr std::uint64_t kSettleMs = 500;
// How long a window that lost the keyboard may take to get it back unnoticed.
constexpr std::uint64_t kFocusSettleMs = 60;

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
};

State& S() {
  static State state;
  return state;
}

// SDL user event types; 0 while the backend is not running.
std::atomic<Uint32> g_wake_type{0};
std::atomic<Uint32> g_clipboard_type{0};
// One wake event in the queue is enough however many threads ask.
std::atomic<bool> g_wake_queued{false};

int ClampCoord(int v) { return std::clamp(v, -kCoordLimit, kCoordLimit); }
int ClampSize(int v) { return std::clamp(v, 0, kSizeLimit); }
// SDL windows are at least one pixel wide and high.
int SdlSize(int v) { return std::max(v, 1); }

bool OnGuiThread() {
  return S().initialized && std::this_thread::get_id() == S().gui;
}

void PushUserEvent(Uint32 type) {
  if (type == 0) return;
  SDL_Event e{};
  e.type = type;
  SDL_PushEvent(&e);
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

void RequestPosition(SdlWin& w) {
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
  const Uint32 base = SDL_RegisterEvents(2);
  if (base == static_cast<Uint32>(-1)) {
    if (error) *error = std::string("cannot register SDL user events: ") + SDL_GetError();
    ShutdownOp();
    return false;
  }
  g_wake_queued = false;
  g_wake_type = base;
  g_clipboard_type = base + 1;
  SDL_StartTextInput();
  s.icon = LoadProgramIcon();
  s.clipboard = MakeSdlClipboard(&OnGuiThread, &PostClipboard);
  return true;
}

void ShutdownOp() {
  State& s = S();
  if (!s.initialized) return;
  g_wake_type = 0;
  g_clipboard_type = 0;
  if (s.capture) SDL_CaptureMouse(SDL_FALSE);
  for (auto& [h, w] : s.windows) SDL_DestroyWindow(w->window);
  s.windows.clear();
  s.by_id.clear();
  s.pending.clear();
  s.capture = nullptr;
  s.lost_focus = nullptr;
  for (auto& [id, cursor] : s.cursors) SDL_FreeCursor(cursor);
  s.cursors.clear();
  if (s.icon) SDL_FreeSurface(s.icon);
  s.icon = nullptr;
  s.clipboard.reset();
  s.shape_unsupported = false;
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
    SDL_ShowWindow(w->window);
    if (w->minimized) SDL_MinimizeWindow(w->window);
    // Without a window manager SDL gives a shown window the keyboard; menus and lists
    // leave it with the form that opened them.
    if (w->popup && focused && focused != w->window) SDL_SetWindowInputFocus(focused);
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
      SDL_GetWindowPosition(w->window, &wx, &wy);
      sx = wx + x;
      sy = wy + y;
    } else {
      SDL_GetGlobalMouseState(&sx, &sy);
    }
    SDL_GetWindowPosition(target->window, &tx, &ty);
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
  e.modifiers = Modifiers(SDL_GetModState());
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

// A window manager puts a window where it likes (its frame where the window was asked
// to be, say) and may report that within the settling time, where it is ignored: once
// the move has settled, a window that is not where it was asked to be says so.
void ReportSettledMoves() {
  const std::uint64_t now = SDL_GetTicks64();
  for (auto& [h, w] : S().windows) {
    if (!w->move_pending || !w->visible || w->minimized || now - w->move_since < kSettleMs) continue;
    w->move_pending = false;
    int x = w->x, y = w->y;
    SDL_GetWindowPosition(w->window, &x, &y);
    if (x == w->x && y == w->y) continue;
    w->x = x;
    w->y = y;
    QueueEvent(BackendEventKind::Moved, h, x, y);
  }
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
    case SDL_WINDOWEVENT_MOVED:
      if (Settled(w->move_pending, w->move_since, e.data1 == w->x && e.data2 == w->y)) {
        w->x = e.data1;
        w->y = e.data2;
        QueueEvent(BackendEventKind::Moved, w->handle, w->x, w->y);
      }
      break;
    case SDL_WINDOWEVENT_RESIZED:
      if (Settled(w->size_pending, w->size_since, e.data1 == SdlSize(w->width) && e.data2 == SdlSize(w->height))) {
        w->width = ClampSize(e.data1);
        w->height = ClampSize(e.data2);
        w->presented = false;
        if (w->shaped) ApplyShape(*w);
        QueueEvent(BackendEventKind::Resized, w->handle, w->width, w->height);
      }
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
        SDL_GetWindowPosition(w->window, &wx, &wy);
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
  if (e.type == g_wake_type.load() && e.type != 0) {
    g_wake_queued = false;
    BackendEvent out;
    out.kind = BackendEventKind::Wake;
    S().pending.push_back(out);
    return;
  }
  if (e.type == g_clipboard_type.load() && e.type != 0) {
    FlushSdlClipboard(S().clipboard.get());
    return;
  }
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
        QueueKey(BackendEventKind::Char, e.text.windowID, ch, SDL_GetModState());
      break;
    default:
      break;
  }
}

bool WaitEventOp(BackendEvent* event, int timeoutMs) {
  State& s = S();
  if (!OnGuiThread() || !event) return false;
  const std::uint64_t deadline = SDL_GetTicks64() + static_cast<std::uint64_t>(std::max(timeoutMs, 0));
  for (;;) {
    ReportSettledMoves();
    if (!s.pending.empty()) {
      *event = s.pending.front();
      s.pending.pop_front();
      return true;
    }
    std::uint64_t now = SDL_GetTicks64();
    if (s.lost_focus && now >= s.lost_at + kFocusSettleMs) {
      ReportLostFocus();
      continue;
    }
    // -1: without limit.
    std::int64_t wait = timeoutMs < 0 ? -1 : static_cast<std::int64_t>(deadline > now ? deadline - now : 0);
    if (s.lost_focus) {
      const auto settle = static_cast<std::int64_t>(s.lost_at + kFocusSettleMs - now);
      wait = wait < 0 ? settle : std::min(wait, settle);
    }
    SDL_Event e;
    const int got = wait < 0    ? SDL_WaitEvent(&e)
                    : wait == 0 ? SDL_PollEvent(&e)
                                : SDL_WaitEventTimeout(&e, static_cast<int>(wait));
    if (got) {
      Translate(e);
      continue;
    }
    now = SDL_GetTicks64();
    if (s.lost_focus && now >= s.lost_at + kFocusSettleMs) continue;
    if (timeoutMs < 0 && wait >= 0) continue;  // only the focus settling timed out
    return false;
  }
}

void WakeOp() {
  const Uint32 type = g_wake_type.load();
  if (type == 0 || g_wake_queued.exchange(true)) return;
  PushUserEvent(type);
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
