// Internal state of the window manager: handles, queues, capture, focus, painting.
// Its parts live beside this header: window_manager.cpp (handles, queue), input_capture.cpp,
// timers.cpp, painting.cpp, surface_provider.cpp and window_calls.cpp (the Win32 calls).
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include <vcl/backend.h>
#include <vcl/classes.h>
#include <vcl/forms.h>

struct WindowRecord {
  HWND handle = nullptr;
  TWinControl* control = nullptr;  // null for AllocateHWnd windows
  TWndMethod method;               // AllocateHWnd windows
  WNDPROC proc = nullptr;
  LONG_PTR userdata = 0;
  LONG_PTR id = 0;
  LONG_PTR exstyle = 0;  // extended style bits set through SetWindowLongA
  HRGN region = nullptr;  // top-level windows: the window's shape
  bool backend_window = false;
};

struct TimerRecord {
  HWND hwnd;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC proc;
  std::uint64_t due;
};

struct WindowManager {
  static WindowManager& Get();

  // --- handles (any thread) ---
  HWND Register(TWinControl* control, TWndMethod method);
  void Unregister(HWND h);
  std::shared_ptr<WindowRecord> Find(HWND h);

  // --- posted messages (any thread) ---
  void Post(const MSG& msg);
  bool PeekPosted(MSG* out, HWND hwnd, UINT min, UINT max, bool remove);
  void RemovePostedFor(HWND hwnd);
  void RemovePosted(HWND hwnd, UINT message);

  // --- loop (GUI thread) ---
  // Turns waiting input into messages without waiting, one event at a time until a
  // message is queued.
  void PollInput();
  // The loop's only blocking wait: for one backend event (a wake-up counts), at most
  // timeoutMs (-1: no limit); the event is turned into messages.
  void WaitForInput(int timeoutMs);
  void TranslateEvent(const BackendEvent& e);
  void UpdateHover(HWND window, TPoint screen);
  // Posts WM_TIMER for timers that are due.
  void RunTimers();
  // Milliseconds until the next timer is due: 0 when one is, -1 without timers.
  int NextTimerDue();
  // Drops the queued tick of a timer that is gone: it must not arrive after KillTimer.
  void RemoveTick(HWND hwnd, UINT_PTR id);
  void PaintAll();
  void PaintForm(TCustomForm* form);
  void Present(TCustomForm* form, const RECT& dirty);
  void Wake();

  // --- invalidation ---
  void InvalidateFormRect(TCustomForm* form, const TRect& r);
  bool HasPendingPaint();

  // --- capture, mouse, focus ---
  void ControlDestroyed(TControl* c);
  void SetMouseCaptureControl(TControl* c);
  HWND SetCaptureWindow(HWND h);
  TPoint cursor{0, 0};
  TControl* capture_control = nullptr;
  HWND capture_hwnd = nullptr;
  TControl* mouse_control = nullptr;
  TCursor shown_cursor = crDefault;
  HWND focus = nullptr;
  TCustomForm* active_form = nullptr;
  unsigned buttons = 0;    // MK_* bits held
  char swallow_char = 0;   // the character of a key the dialog handling used
  unsigned modifiers = 0;  // BackendShift/Ctrl/Alt
  // Double clicks.
  std::uint64_t last_down_time = 0;
  int last_down_button = -1;
  HWND last_down_hwnd = nullptr;
  TPoint last_down_pos{-100, -100};

  // Moving and sizing a top-level window (from WM_NCLBUTTONDOWN).
  struct MoveSize {
    TCustomForm* form = nullptr;
    LRESULT hit = 0;
    TPoint start;
    TRect bounds;
  } movesize;
  void BeginMoveSize(TCustomForm* form, LRESULT hit);

  // Modal loops: only the innermost modal form (and what it owns) takes input.
  std::vector<TCustomForm*> modal_stack;
  bool InputAllowed(TCustomForm* form) const;

  std::vector<TimerRecord> timers;
  std::vector<TCustomForm*> forms;  // every live form

  // Present requests from other threads (window surfaces painted there).
  std::mutex present_mu;
  std::vector<HWND> present_requests;

 private:
  std::mutex mu_;
  std::unordered_map<HWND, std::shared_ptr<WindowRecord>> table_;
  std::uintptr_t next_handle_ = 0x10000;
  std::mutex queue_mu_;
  std::deque<MSG> queue_;
  struct Dirty {
    bool any = false;
    TRect rect;
  };
  std::map<TCustomForm*, Dirty> dirty_;
};

TCustomForm* TopLevelForm(TControl* c);
// The rectangle moved (not resized) so that it lies wholly inside area; when it is
// larger than area its left and top edges stay on screen.
TRect KeepInside(TRect r, const TRect& area);
// The screen's work area (a fixed size before the application has a screen).
TRect WorkArea();
// Gives a borderless form a pop-up backend window (menus, drop-down lists, hints): no
// frame, no taskbar entry, above everything; kept above its owner's form when given.
void MakePopupWindow(TCustomForm* form, TCustomForm* owner, bool tooltip);
// Position of a control's client area relative to its form's client area.
TPoint OffsetInForm(const TControl* c);
LRESULT StdWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Lets other threads paint into windows (the preview painter); installed once by the
// application.
void InstallWindowSurfaceProvider();

// Window state belongs to the GUI thread: calls from other threads run there and
// wait for it (as a message sent across threads does).
template <class F>
auto OnGuiThread(F&& f) -> decltype(f()) {
  if (TThread::IsMainThread()) return f();
  decltype(f()) r{};
  TThread::Synchronize(nullptr, [&] { r = f(); });
  return r;
}
