// A private X server for real-window tests, and reading its screen back.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

class XvfbServer {
 public:
  XvfbServer() = default;
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;
  ~XvfbServer();

  // The Xvfb program, or empty when it is not installed.
  static std::string Program();
  // Starts a 1024x768x24 server with a black root window on a free display number
  // and sets DISPLAY to it; false with the reason when it cannot.
  bool Start(std::string* why);
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// A window manager (openbox, fluxbox, ...) on a display, ended with the object.
class WindowManagerProcess {
 public:
  WindowManagerProcess() = default;
  WindowManagerProcess(const WindowManagerProcess&) = delete;
  WindowManagerProcess& operator=(const WindowManagerProcess&) = delete;
  ~WindowManagerProcess();
  // Starts the program and waits until it manages the display (it has announced
  // itself on the root window); false with the reason when it does not.
  bool Start(const std::string& program, const std::string& display, std::string* why);

 private:
  pid_t pid_ = -1;
};

// Pixels 0x00RRGGBB of a rectangle of the screen (root window), row by row; empty when
// the display cannot be read.
std::vector<std::uint32_t> ReadScreen(const std::string& display, int x, int y, int width, int height);

// Windows directly under the root: position, size, mapped, override-redirect.
struct TopWindow {
  int x, y, width, height;
  bool mapped;
  bool override_redirect;
};
std::vector<TopWindow> TopWindows(const std::string& display);

// Runs a program with the environment changed (set: NAME=value, unset: NAME) and
// waits for it; answers its exit code (-1 when it could not run or was killed) and
// what it wrote on standard error.
int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& set,
               const std::vector<std::string>& unset, std::string* errors);

// The icon (_NET_WM_ICON: width, height, then 0xAARRGGBB pixels) of the top-level
// window with the given place and size; empty when there is none.
std::vector<unsigned long> WindowIcon(const std::string& display, int x, int y, int width, int height);
