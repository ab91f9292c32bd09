// The window manager's calls: window handles, message queues, window procedures,
// capture, focus, timers, message boxes and rectangles. Every window of the class
// library has a handle (HWND) from its creation; the handle can be read and used
// with SendMessageA/PostMessageA/IsWindow from any thread.
#pragma once

#include <functional>

#include <vcl/export.h>
#include <vcl/gdi.h>
#include <vcl/messages.h>
#include <win32/constants.h>
#include <win32/rect.h>
#include <win32/types.h>
#include <win32/winsurface.h>


struct TMessage;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);
// A window procedure that is a bound method (an object's handler).
using TWndMethod = std::function<void(TMessage&)>;

// System metrics and parameters.
inline constexpr int SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CXVSCROLL = 2, SM_CYHSCROLL = 3,
                     SM_CYCAPTION = 4, SM_CXBORDER = 5, SM_CYBORDER = 6, SM_CXDLGFRAME = 7,
                     SM_CYDLGFRAME = 8, SM_CYMENU = 15, SM_CXFRAME = 32, SM_CYFRAME = 33,
                     SM_CXDOUBLECLK = 36, SM_CYDOUBLECLK = 37, SM_CYSMCAPTION = 51;
inline constexpr UINT SPI_GETWORKAREA = 0x0030;
inline constexpr UINT SPI_GETNONCLIENTMETRICS = 0x0029;

// What SPI_GETNONCLIENTMETRICS fills (the Windows layout, 340 bytes); the caller
// sets cbSize to its size first.
struct NONCLIENTMETRICSA {
  UINT cbSize;
  int iBorderWidth;
  int iScrollWidth;
  int iScrollHeight;
  int iCaptionWidth;
  int iCaptionHeight;
  LOGFONTA lfCaptionFont;
  int iSmCaptionWidth;
  int iSmCaptionHeight;
  LOGFONTA lfSmCaptionFont;
  int iMenuWidth;
  int iMenuHeight;
  LOGFONTA lfMenuFont;
  LOGFONTA lfStatusFont;
  LOGFONTA lfMessageFont;
};
static_assert(sizeof(NONCLIENTMETRICSA) == 340);

// Sent messages are run at once on the GUI thread; from another thread the call
// waits until the GUI thread has run it (through its message loop).
QVCL_API LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Queues the message for the GUI thread's loop; safe from any thread. FALSE for an
// unknown window.
QVCL_API BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
QVCL_API void PostQuitMessage(int exitCode);
// Queued messages for hwnd (null: any window of the thread) between min and max
// (both 0: all). Input waiting in the backend is queued first. GUI thread only.
QVCL_API BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT min, UINT max, UINT remove);
QVCL_API LRESULT DispatchMessageA(const MSG* msg);
QVCL_API BOOL TranslateMessage(const MSG* msg);
QVCL_API LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
QVCL_API LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// GWL_WNDPROC replaces the window procedure (subclassing) and answers the old one;
// values are pointer-sized on this platform.
QVCL_API LONG_PTR SetWindowLongA(HWND hwnd, int index, LONG_PTR value);
QVCL_API LONG_PTR GetWindowLongA(HWND hwnd, int index);
inline LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) { return SetWindowLongA(hwnd, index, value); }
inline LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) { return GetWindowLongA(hwnd, index); }

// Order of the window procedures: a message sent or dispatched to a window goes
// first through the procedure chain of GWL_WNDPROC (the newest subclass outermost,
// each calling the one it replaced with CallWindowProcA); at the bottom of that
// chain the library's own procedure hands it to the control's WindowProc, which
// ends in WndProc. Perform goes straight to WindowProc, past any GWL_WNDPROC subclass.
//
// A window procedure that calls a method (a subclass with state of its own):
// SetWindowLongA(h, GWL_WNDPROC, (LONG_PTR)MakeObjectInstance(method)). The method
// gets the message record; its Result is what the procedure answers. Free the
// instance with FreeObjectInstance once no window uses it; freeing it while it runs
// is safe. Raises EOutOfResources when every one of the 1024 instances is in use.
QVCL_API WNDPROC MakeObjectInstance(TWndMethod method);
QVCL_API void FreeObjectInstance(WNDPROC instance);

// A window without a control whose messages go to the method (timers and the like).
QVCL_API HWND AllocateHWnd(TWndMethod method);
QVCL_API void DeallocateHWnd(HWND hwnd);

QVCL_API HWND GetParent(HWND hwnd);
QVCL_API BOOL IsWindowVisible(HWND hwnd);
QVCL_API BOOL IsWindowEnabled(HWND hwnd);
QVCL_API BOOL EnableWindow(HWND hwnd, BOOL enable);
QVCL_API BOOL ShowWindow(HWND hwnd, int cmd);
QVCL_API BOOL GetClientRect(HWND hwnd, RECT* rect);
QVCL_API BOOL GetWindowRect(HWND hwnd, RECT* rect);  // screen coordinates
QVCL_API BOOL ScreenToClient(HWND hwnd, POINT* point);
QVCL_API BOOL ClientToScreen(HWND hwnd, POINT* point);
// rect null: the whole client area. Painting happens when the loop is next idle.
QVCL_API BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
QVCL_API BOOL UpdateWindow(HWND hwnd);
// The window takes the region (the caller must not use or delete it afterwards);
// null makes the window rectangular again. Coordinates are the window's.
QVCL_API int SetWindowRgn(HWND hwnd, HRGN region, BOOL redraw);
// Copies the window's region into region; ERROR when it has none.
QVCL_API int GetWindowRgn(HWND hwnd, HRGN region);

// Device contexts of windows. GetDC draws on the window's client area, GetWindowDC
// on the whole window (its border too); both draw into the form's buffer, which
// reaches the screen after ReleaseDC at the next present. A null window (or the
// desktop window) gives a context that draws nothing. Each context must be given
// back with ReleaseDC (answers 1, or 0 for a context GetDC did not hand out).
QVCL_API HDC GetDC(HWND hwnd);
QVCL_API HDC GetWindowDC(HWND hwnd);
QVCL_API int ReleaseDC(HWND hwnd, HDC dc);
// The window of a context that GetDC or GetWindowDC handed out, or of the context a
// window is painting through in its WM_ERASEBKGND or WM_PAINT; null otherwise.
QVCL_API HWND WindowFromDC(HDC dc);
QVCL_API HWND GetDesktopWindow();

QVCL_API HWND SetCapture(HWND hwnd);
QVCL_API BOOL ReleaseCapture();
QVCL_API HWND GetCapture();
QVCL_API HWND SetFocus(HWND hwnd);
QVCL_API HWND GetFocus();
QVCL_API HWND GetActiveWindow();
QVCL_API BOOL GetCursorPos(POINT* point);
QVCL_API BOOL SetCursorPos(int x, int y);
// High bit set while the key or button is down (as far as the input seen says).
QVCL_API SHORT GetKeyState(int vk);
QVCL_API SHORT GetAsyncKeyState(int vk);

// Timers on the backend's clock; WM_TIMER (or proc) on the GUI thread.
QVCL_API UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc);
QVCL_API BOOL KillTimer(HWND hwnd, UINT_PTR id);
// Milliseconds of the backend's clock (injectable in the headless backend).
QVCL_API DWORD GetTickCount();
QVCL_API UINT GetDoubleClickTime();

QVCL_API int GetSystemMetrics(int index);
QVCL_API BOOL SystemParametersInfoA(UINT action, UINT param, void* out, UINT winIni);

// A modal message box owned by hwnd (may be null): the text, the caption, an icon
// and OK, OK/Cancel, Yes/No or Yes/No/Cancel buttons. Answers IDOK, IDCANCEL, IDYES
// or IDNO. Runs a modal loop, which keeps running queued Synchronize calls.
QVCL_API int MessageBoxA(HWND hwnd, LPCSTR text, LPCSTR caption, UINT type);
// For a program that ends with nobody to answer (a logout, a closed terminal): while
// set, message boxes answer at once with their safest answer (Cancel, else No, else
// Abort, else OK) and write their text to standard error instead; setting it ends
// the boxes open now the same way. GUI thread only.
QVCL_API void SetMessageBoxesUnattended(bool unattended);
QVCL_API BOOL MessageBeep(UINT type);
