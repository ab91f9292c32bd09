// A private X server for real-window tests, and reading its screen back.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <support/scratch_dir.h>

class XvfbServer {
 public:
  XvfbServer() = default;
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;
  ~XvfbServer();

  // Starts a 1024x768x24 server with a black root window on a free display number
  // and sets DISPLAY to it; then the window manager that QUILL_TEST_WM names
  // (openbox or fluxbox; unset or "none" for none) and waits until it has taken the
  // screen. False with the reason when any of that fails.
  bool Start(std::string* why);
  const std::string& Display() const { return display_; }
  // The window manager running on the server; empty for none.
  const std::string& WindowManager() const { return wm_; }

 private:
  bool StartWindowManager(const std::string& name, std::string* why);

  pid_t pid_ = -1;
  std::string display_;
  pid_t wm_pid_ = -1;
  std::string wm_;
  std::unique_ptr<quill_test::ScratchDir> wm_home_;  // its configuration and log
};

// The window manager QUILL_TEST_WM names; empty for none.
std::string RequestedWindowManager();


// Paints the desktop (the root window) in one colour 0x00RRGGBB, so that what a shaped
// window lets through can be told from black; false when the display cannot be reached.
bool PaintDesktop(const std::string& display, std::uint32_t colour);

// A window of one colour 0x00RRGGBB below every other one, no window manager's
// business (override-redirect): something for the program's windows to cover or let
// show through. It goes with the object.
class Backdrop {
 public:
  Backdrop(const std::string& display, int x, int y, int width, int height, std::uint32_t colour);
  ~Backdrop();
  Backdrop(const Backdrop&) = delete;
  Backdrop& operator=(const Backdrop&) = delete;
  // Whether it is on the screen.
  bool Shown() const { return window_ != 0; }

 private:
  void* display_ = nullptr;  // its own connection, open while it lives
  unsigned long window_ = 0;
};

// Pixels 0x00RRGGBB of a rectangle of the screen (root window), row by row; empty when
// the display cannot be read.
std::vector<std::uint32_t> ReadScreen(const std::string& display, int x, int y, int width, int height);

struct SDL_Window;
// The X window of an SDL window; 0 when SDL does not run on X11.
unsigned long XWindowOf(SDL_Window* window);
// Whether the window is mapped and viewable, and where its client area's origin is on
// the screen; the second form: whether that is x, y. (For the SDL2 backend's windows:
// it keeps errors over windows that are gone harmless.)
bool ShownAt(const std::string& display, unsigned long window, int* x, int* y);
bool ShownAt(const std::string& display, unsigned long window, int x, int y);
// The window the window manager calls active (_NET_ACTIVE_WINDOW); 0 for none.
unsigned long ActiveWindow(const std::string& display);

// Windows directly under the root: position, size, mapped, override-redirect; a window
// manager's frame is given as the program's window inside it.
struct TopWindow {
  int x, y, width, height;
  bool mapped;
  bool override_redirect;
};
std::vector<TopWindow> TopWindows(const std::string& display);

// Gives the keyboard to no window, as before a window manager focuses a new one.
bool FocusNoWindow(const std::string& display);

// Runs a program (found on PATH when its name has no slash) with the environment
// changed (set: NAME=value, unset: NAME) and
// waits for it; answers its exit code (-1 when it could not run or was killed) and
// what it wrote on standard error.
int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& set,
               const std::vector<std::string>& unset, std::string* errors);

// The icon (_NET_WM_ICON: width, height, then 0xAARRGGBB pixels) of the top-level
// window with the given place and size; empty when there is none.
std::vector<unsigned long> WindowIcon(const std::string& display, int x, int y, int width, int height);
