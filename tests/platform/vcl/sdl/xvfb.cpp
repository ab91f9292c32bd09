#include "xvfb.h"

#include <SDL2/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <support/files.h>

extern char** environ;

namespace {

// A program on PATH; empty when it is not there.
std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// The window a window manager names as its own on the root (_NET_SUPPORTING_WM_CHECK),
// when that window names itself too, as the manager sets both once it runs.
bool ManagerHasTakenTheScreen(Display* dpy) {
  const Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
  auto windowProperty = [&](Window w) -> Window {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    Window out = 0;
    if (XGetWindowProperty(dpy, w, check, 0, 1, False, XA_WINDOW, &type, &format, &items, &after, &data) ==
            Success &&
        data && format == 32 && items == 1)
      out = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
    if (data) XFree(data);
    return out;
  };
  const Window own = windowProperty(DefaultRootWindow(dpy));
  return own != 0 && windowProperty(own) == own;
}

// Whether the manager frames a new window now: a manager that has only begun to start
// may let a window's first map request go unanswered.
bool ManagerFramesWindows(Display* dpy) {
  const Window root = DefaultRootWindow(dpy);
  const Window probe = XCreateSimpleWindow(dpy, root, 0, 0, 16, 16, 0, 0, 0);
  XMapWindow(dpy, probe);
  XSync(dpy, False);
  bool framed = false;
  for (int i = 0; i < 25 && !framed; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Window r = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(dpy, probe, &r, &parent, &children, &count)) framed = parent != root;
    if (children) XFree(children);
  }
  XDestroyWindow(dpy, probe);
  XSync(dpy, False);
  return framed;
}

// Starts a program (looked up in PATH) with nothing to read and its output thrown away;
// answers its process id, or -1.
pid_t SpawnQuietly(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// Errors of the checks above (the manager's window may come and go while it starts).
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

std::string RequestedWindowManager() {
  const char* wm = std::getenv("QUILL_TEST_WM");
  const std::string name = wm ? wm : "";
  return name == "none" ? std::string() : name;
}

namespace {

// Asks a child to end and makes it end if it does not within a second (fluxbox may
// wait for clients that are still connected).
void StopChild(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
}

}  // namespace

XvfbServer::~XvfbServer() {
  StopChild(wm_pid_);
  StopChild(pid_);
}

bool XvfbServer::Start(std::string* why) {
  const std::string program = FindProgram("Xvfb");
  if (program.empty()) {
    *why = "Xvfb is not installed";
    return false;
  }
  int fds[2];
  if (pipe(fds) != 0) {
    *why = "pipe failed";
    return false;
  }
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  const std::string fd = std::to_string(fds[1]);
  pid_ = SpawnQuietly({program, "-displayfd", fd, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-br",
                       "-noreset"});
  close(fds[1]);
  if (pid_ < 0) {
    close(fds[0]);
    pid_ = -1;
    *why = "cannot start Xvfb";
    return false;
  }
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  while (poll(&p, 1, 15000) > 0) {
    char c;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty()) {
    *why = "Xvfb did not report its display";
    return false;
  }
  display_ = ":" + number;
  setenv("DISPLAY", display_.c_str(), 1);
  const std::string wm = RequestedWindowManager();
  return wm.empty() || StartWindowManager(wm, why);
}

bool XvfbServer::StartWindowManager(const std::string& name, std::string* why) {
  std::vector<std::string> args;
  if (name == "openbox")
    args = {"openbox", "--sm-disable"};
  else if (name == "fluxbox")
    args = {"fluxbox"};
  else {
    *why = "unknown window manager \"" + name + "\" in QUILL_TEST_WM (openbox, fluxbox or none)";
    return false;
  }
  args[0] = FindProgram(args[0]);
  if (args[0].empty()) {
    *why = name + " is not installed (tools/install-deps installs it)";
    return false;
  }
  // A home of its own: no user's configuration applies, and what the manager writes
  // there (fluxbox makes its files on first start) goes with the server.
  wm_home_ = std::make_unique<quill_test::ScratchDir>("quill-wm");
  const std::string home = wm_home_->str();
  const std::string log = home + "/log";
  if (name == "fluxbox") {
    // The desktop stays black, as the tests read it: no wallpaper from the style (it
    // makes the rest of its files from the system's defaults).
    std::filesystem::create_directories(home + "/.fluxbox");
    quill_test::WriteFile(home + "/.fluxbox/overlay", "background: none\n");
    // fluxbox still runs fbsetbg at start; with no wallpaper program installed, that
    // puts a message window over the desktop. A do-nothing one comes first on its path.
    std::filesystem::create_directories(home + "/bin");
    quill_test::WriteFile(home + "/bin/fbsetbg", "#!/bin/sh\nexit 0\n");
    std::filesystem::permissions(home + "/bin/fbsetbg", std::filesystem::perms::owner_all);
  }
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string key = entry.substr(0, entry.find('='));
    if (key == "PATH")
      env.push_back("PATH=" + home + "/bin:" + entry.substr(5));
    else if (key != "HOME" && key != "XDG_CONFIG_HOME" && key != "XDG_CONFIG_DIRS" && key != "DISPLAY")
      env.push_back(entry);
  }
  env.push_back("HOME=" + home);
  env.push_back("XDG_CONFIG_HOME=" + home + "/config");
  env.push_back("DISPLAY=" + display_);
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const int rc = posix_spawn(&wm_pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    wm_pid_ = -1;
    *why = "cannot start " + name;
    return false;
  }
  ::Display* dpy = XOpenDisplay(display_.c_str());
  if (!dpy) {
    *why = "cannot open " + display_;
    return false;
  }
  XErrorHandler previous = XSetErrorHandler(&IgnoreErrors);
  bool ready = false;
  bool ended = false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (!ready && !ended && std::chrono::steady_clock::now() < end) {
    ready = ManagerHasTakenTheScreen(dpy) && ManagerFramesWindows(dpy);
    int status = 0;
    ended = waitpid(wm_pid_, &status, WNOHANG) == wm_pid_;
    if (!ready && !ended) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  XSetErrorHandler(previous);
  XCloseDisplay(dpy);
  if (ended) {
    wm_pid_ = -1;
    *why = name + " ended at start: " + quill_test::ReadFile(log);
    return false;
  }
  if (!ready) {
    *why = name + " did not take the screen within 15 s: " + quill_test::ReadFile(log);
    return false;
  }
  wm_ = name;
  return true;
}

bool PaintDesktop(const std::string& display, std::uint32_t colour) {
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return false;
  // The server's 24-bit true-colour visual takes 0x00RRGGBB as the pixel itself; the
  // root keeps its background after this connection is gone.
  XSetWindowBackground(dpy, DefaultRootWindow(dpy), colour);
  XClearWindow(dpy, DefaultRootWindow(dpy));
  XSync(dpy, False);
  XCloseDisplay(dpy);
  return true;
}

Backdrop::Backdrop(const std::string& display, int x, int y, int width, int height, std::uint32_t colour) {
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return;
  display_ = dpy;
  XSetWindowAttributes a{};
  a.background_pixel = colour;
  a.override_redirect = True;
  const Window w = XCreateWindow(dpy, DefaultRootWindow(dpy), x, y, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                 CWBackPixel | CWOverrideRedirect, &a);
  XMapWindow(dpy, w);
  XLowerWindow(dpy, w);
  XSync(dpy, False);
  window_ = w;
}

Backdrop::~Backdrop() {
  if (!display_) return;
  // Its window goes with the connection.
  XCloseDisplay(static_cast<Display*>(display_));
}

bool FocusNoWindow(const std::string& display) {
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return false;
  XSetInputFocus(dpy, None, RevertToNone, CurrentTime);
  XSync(dpy, False);
  XCloseDisplay(dpy);
  return true;
}

std::vector<std::uint32_t> ReadScreen(const std::string& display, int x, int y, int width, int height) {
  std::vector<std::uint32_t> out;
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return out;
  XImage* image = XGetImage(dpy, DefaultRootWindow(dpy), x, y, width, height, AllPlanes, ZPixmap);
  if (image) {
    out.reserve(static_cast<std::size_t>(width) * height);
    for (int row = 0; row < height; ++row)
      for (int col = 0; col < width; ++col) out.push_back(XGetPixel(image, col, row) & 0xFFFFFFu);
    XDestroyImage(image);
  }
  XCloseDisplay(dpy);
  return out;
}

unsigned long XWindowOf(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  return window && SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11 ? info.info.x11.window : 0;
}

bool ShownAt(const std::string& display, unsigned long window, int* x, int* y) {
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return false;
  // A window that is gone by now is an error the program's own handler lets pass.
  XWindowAttributes a;
  Window child = 0;
  const bool shown = window && XGetWindowAttributes(dpy, window, &a) && a.map_state == IsViewable &&
                     XTranslateCoordinates(dpy, window, DefaultRootWindow(dpy), 0, 0, x, y, &child);
  XCloseDisplay(dpy);
  return shown;
}

bool ShownAt(const std::string& display, unsigned long window, int x, int y) {
  int sx = 0, sy = 0;
  return ShownAt(display, window, &sx, &sy) && sx == x && sy == y;
}

unsigned long ActiveWindow(const std::string& display) {
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return 0;
  const Atom active = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
  Atom type = 0;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  unsigned long out = 0;
  if (XGetWindowProperty(dpy, DefaultRootWindow(dpy), active, 0, 1, False, XA_WINDOW, &type, &format, &items, &after,
                         &data) == Success &&
      data && format == 32 && items == 1)
    out = *reinterpret_cast<unsigned long*>(data);
  if (data) XFree(data);
  XCloseDisplay(dpy);
  return out;
}

namespace {

// The client window inside a window manager's frame: the one that carries WM_STATE.
Window ClientIn(Display* dpy, Window frame, Atom wmState) {
  Atom type = 0;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  const bool client = XGetWindowProperty(dpy, frame, wmState, 0, 0, False, AnyPropertyType, &type, &format, &items,
                                         &after, &data) == Success &&
                      type != 0;
  if (data) XFree(data);
  if (client) return frame;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  Window found = 0;
  if (XQueryTree(dpy, frame, &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count && !found; ++i) found = ClientIn(dpy, children[i], wmState);
    if (children) XFree(children);
  }
  return found;
}

}  // namespace

std::vector<TopWindow> TopWindows(const std::string& display) {
  std::vector<TopWindow> out;
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return out;
  const Atom wmState = XInternAtom(dpy, "WM_STATE", False);
  // One still picture of the windows: a window manager that takes a window into its
  // frame meanwhile would leave it listed under the root with its place in the frame.
  XGrabServer(dpy);
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count; ++i) {
      XWindowAttributes a;
      if (!XGetWindowAttributes(dpy, children[i], &a)) continue;
      // A window manager's frame stands for the program's window inside it; fluxbox
      // makes its frames override-redirect, so that alone does not tell a frame.
      const Window client = ClientIn(dpy, children[i], wmState);
      XWindowAttributes c;
      int x = 0, y = 0;
      Window child = 0;
      if (client && client != children[i] && XGetWindowAttributes(dpy, client, &c) &&
          XTranslateCoordinates(dpy, client, root, 0, 0, &x, &y, &child))
        out.push_back({x, y, c.width, c.height, c.map_state == IsViewable, false});
      else
        out.push_back({a.x, a.y, a.width, a.height, a.map_state == IsViewable, a.override_redirect != 0});
    }
    XFree(children);
  }
  XUngrabServer(dpy);
  XCloseDisplay(dpy);
  return out;
}

int RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& set,
               const std::vector<std::string>& unset, std::string* errors) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool drop = false;
    for (const std::string& u : unset) drop |= u == name;
    for (const std::string& s : set) drop |= s.substr(0, s.find('=')) == name;
    if (!drop) env.push_back(entry);
  }
  env.insert(env.end(), set.begin(), set.end());
  std::vector<char*> envp, argv;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> copy = args;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);

  int fds[2];
  if (pipe(fds) != 0) return -1;
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string text;
  if (rc == 0) {
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  if (errors) *errors = text;
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

namespace {

// The mapped windows with the given place on the screen and size, at any depth: a
// window manager puts the program's windows into frames of its own, which may have
// the same place and size.
void FindWindowsAt(Display* dpy, Window parent, int x, int y, int width, int height, std::vector<Window>* out) {
  Window root = 0, up = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(dpy, parent, &root, &up, &children, &count)) return;
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes a;
    int sx = 0, sy = 0;
    Window child = 0;
    if (XGetWindowAttributes(dpy, children[i], &a) && a.map_state == IsViewable && a.width == width &&
        a.height == height && XTranslateCoordinates(dpy, children[i], root, 0, 0, &sx, &sy, &child) && sx == x &&
        sy == y)
      out->push_back(children[i]);
    FindWindowsAt(dpy, children[i], x, y, width, height, out);
  }
  if (children) XFree(children);
}

}  // namespace

std::vector<unsigned long> WindowIcon(const std::string& display, int x, int y, int width, int height) {
  std::vector<unsigned long> out;
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return out;
  const Atom icon = XInternAtom(dpy, "_NET_WM_ICON", False);
  std::vector<Window> candidates;
  FindWindowsAt(dpy, DefaultRootWindow(dpy), x, y, width, height, &candidates);
  for (const Window w : candidates) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, w, icon, 0, 1 << 20, False, XA_CARDINAL, &type, &format, &items, &after, &data) ==
            Success &&
        data && format == 32) {
      // Format-32 properties come back as longs, possibly sign-extended.
      auto* values = reinterpret_cast<unsigned long*>(data);
      for (unsigned long k = 0; k < items; ++k) out.push_back(values[k] & 0xFFFFFFFFul);
    }
    if (data) XFree(data);
    if (!out.empty()) break;
  }
  XCloseDisplay(dpy);
  return out;
}

// In the sanitizer build: what SDL's desktop services (D-Bus, fontconfig, Xlib) keep
// until exit is theirs, not a leak of ours.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\nleak:libSDL2-2.0.so\nleak:libfontconfig.so\nleak:libX11.so\n";
}
