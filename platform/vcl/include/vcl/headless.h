// The headless backend's controls for tests: a clock that moves only when told,
// mouse and keyboard input in form coordinates, captures of windows, and a recorder
// that answers message boxes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <vcl/export.h>
#include <vcl/backend.h>
#include <vcl/surface.h>
#include <win32/types.h>

class TCustomForm;

// Clock: real (monotonic) time until UseFakeClock; then it moves only by Advance.
QVCL_API void HeadlessUseFakeClock(std::uint64_t startMs = 1000);
QVCL_API void HeadlessAdvanceClock(std::uint64_t ms);
QVCL_API bool HeadlessFakeClock();

// Input in client coordinates of a top-level form. The events are queued; the
// application's loop (ProcessMessages) turns them into messages.
QVCL_API void HeadlessMouseMove(TCustomForm* form, int x, int y, unsigned modifiers = 0);
QVCL_API void HeadlessMouseDown(TCustomForm* form, int x, int y, int button = BackendLeft, unsigned modifiers = 0);
QVCL_API void HeadlessMouseUp(TCustomForm* form, int x, int y, int button = BackendLeft, unsigned modifiers = 0);
// Move, press and release at one point.
QVCL_API void HeadlessClick(TCustomForm* form, int x, int y, int button = BackendLeft, unsigned modifiers = 0);
QVCL_API void HeadlessWheel(TCustomForm* form, int x, int y, int delta);
QVCL_API void HeadlessKeyDown(TCustomForm* form, unsigned vk, unsigned modifiers = 0);
QVCL_API void HeadlessKeyUp(TCustomForm* form, unsigned vk, unsigned modifiers = 0);
QVCL_API void HeadlessChar(TCustomForm* form, char ch, unsigned modifiers = 0);
// Text typed through an input method or a keyboard layout: one character for each code
// point of the UTF-8 text, as the display backend reports them.
QVCL_API void HeadlessText(TCustomForm* form, const std::string& utf8);
// Key down, the character it types (when printable), key up.
QVCL_API void HeadlessKey(TCustomForm* form, unsigned vk, unsigned modifiers = 0);
// The window manager's close button.
QVCL_API void HeadlessCloseRequest(TCustomForm* form);

// Called on the GUI thread whenever a loop has nothing left to do and would wait.
// Return true when the hook did something (queued input, moved the clock).
QVCL_API void HeadlessSetIdleHook(std::function<bool()> hook);

// What the backend last presented of a window (its client area).
QVCL_API bool HeadlessCapture(HWND window, TSurface& out);
// Writes the capture as PNG or BMP (by the file's extension). False on failure.
QVCL_API bool HeadlessCaptureToFile(HWND window, const std::string& path);
// State of the backend windows.
QVCL_API bool HeadlessWindowVisible(HWND window);
QVCL_API std::string HeadlessWindowTitle(HWND window);
QVCL_API RECT HeadlessWindowBounds(HWND window);  // client area on the screen
QVCL_API std::vector<RECT> HeadlessWindowShape(HWND window);  // empty: rectangular
QVCL_API int HeadlessPresentCount(HWND window);

// Message boxes: the recorder sees each box once it is on screen and answers it
// (IDOK, IDYES, ...); answering 0 leaves the box open for input. Without a
// recorder the headless backend answers with the default button and reports the
// box on standard error.
struct MessageBoxInfo {
  HWND owner;
  HWND box;
  std::string text;
  std::string caption;
  UINT type;
};
using MessageBoxRecorder = std::function<int(const MessageBoxInfo&)>;
QVCL_API void SetMessageBoxRecorder(MessageBoxRecorder recorder);
QVCL_API MessageBoxRecorder GetMessageBoxRecorder();
