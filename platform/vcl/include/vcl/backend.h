// The display backend: a small table of operations between the class library and
// whatever shows its windows (nothing at all for the headless backend, SDL2 for the
// desktop). One backend window per top-level form; it shows the form's client area,
// whose pixels live in a surface the class library paints.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <vcl/export.h>
#include <vcl/surface.h>
#include <win32/clipboard.h>
#include <win32/types.h>


enum class BackendEventKind {
  None,
  MouseMove,
  MouseDown,
  MouseUp,
  MouseWheel,
  KeyDown,
  KeyUp,
  Char,       // a typed character (after keyboard layout), in `key`
  Close,      // the user asked to close the window
  Expose,     // the window must be shown again
  Moved,      // the window manager moved the window: x, y = client origin on screen
  Resized,    // new client size: x, y = width, height
  Activate,   // the window gained (key != 0) or lost input focus
  Wake,       // another thread woke the loop
};

enum BackendButton { BackendLeft = 0, BackendRight = 1, BackendMiddle = 2 };

// Modifier bits of an event.
inline constexpr unsigned BackendShift = 1, BackendCtrl = 2, BackendAlt = 4;

struct BackendEvent {
  BackendEventKind kind = BackendEventKind::None;
  HWND window = nullptr;  // the top-level form's handle
  int x = 0, y = 0;       // client coordinates of that window
  int button = 0;         // BackendButton
  unsigned key = 0;       // virtual key (KeyDown/KeyUp) or character (Char)
  unsigned modifiers = 0;
  int wheel = 0;          // wheel delta in steps of 120
};

// Description of a top-level window when it is created.
struct BackendWindowDesc {
  HWND handle = nullptr;
  HWND owner = nullptr;   // the owner form's handle (dialogs, pop-ups)
  int x = 0, y = 0;       // client origin on the screen
  int width = 0, height = 0;
  bool bordered = true;   // false: no frame or title of the window manager
  bool popup = false;     // menus, drop-down lists and hints
  bool tooltip = false;   // a pop-up that shows a hint
  bool topmost = false;
  std::string title;
};

struct BackendOps {
  const char* name;
  // False when the backend cannot run (no display); `error` says why.
  bool (*Init)(std::string* error);
  void (*Shutdown)();
  bool (*CreateWindow)(const BackendWindowDesc& desc);
  void (*DestroyWindow)(HWND window);
  void (*SetTitle)(HWND window, const std::string& title);
  // Client origin on the screen and client size.
  void (*SetBounds)(HWND window, int x, int y, int width, int height);
  void (*SetVisible)(HWND window, bool visible);
  void (*SetMinimized)(HWND window, bool minimized);
  // Window shape as the rectangles of a region in client coordinates; an empty
  // pointer (count < 0) makes the window rectangular again.
  void (*SetShape)(HWND window, const RECT* rects, int count);
  // Shows the surface (the whole client area); dirty is the part that changed.
  void (*Present)(HWND window, const TSurface& surface, const RECT& dirty);
  // Next event: timeoutMs 0 polls, < 0 waits without limit. False on timeout.
  bool (*WaitEvent)(BackendEvent* event, int timeoutMs);
  // Makes a waiting WaitEvent return; callable from any thread.
  void (*Wake)();
  // Milliseconds of the backend's clock.
  std::uint64_t (*Clock)();
  void (*SetCapture)(HWND window, bool capture);
  void (*SetCursor)(int cursor);
  void (*ScreenSize)(int* width, int* height);
  void (*WorkArea)(RECT* area);
  // The clipboard store the backend offers (null: the process-wide built-in one).
  std::shared_ptr<ClipboardProvider> (*Clipboard)();
};

// The backend in use, chosen on first use: QUILLMERE_BACKEND (headless | sdl) when set,
// otherwise the default one. Throws Exception when it cannot be started.
QVCL_API const BackendOps& Backend();
// Registers a backend under its name (the SDL2 backend registers itself this way).
QVCL_API void RegisterBackend(const BackendOps* ops, bool makeDefault);
QVCL_API const BackendOps& HeadlessBackendOps();
