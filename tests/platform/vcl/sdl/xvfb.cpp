#include "xvfb.h"

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

#include <cstdlib>
#include <sstream>

extern char** environ;

namespace {

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

}  // namespace

XvfbServer::~XvfbServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
}

std::string XvfbServer::Program() {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    std::string candidate = (dir.empty() ? "." : dir) + "/Xvfb";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

bool XvfbServer::Start(std::string* why) {
  const std::string program = Program();
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
  return true;
}

WindowManagerProcess::~WindowManagerProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
}

bool WindowManagerProcess::Start(const std::string& program, const std::string& display, std::string* why) {
  setenv("DISPLAY", display.c_str(), 1);
  pid_ = SpawnQuietly({program});
  if (pid_ < 0) {
    *why = "cannot start " + program + " (tools/install-deps installs it)";
    return false;
  }
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) {
    *why = "cannot open " + display;
    return false;
  }
  const Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
  bool up = false;
  for (int i = 0; i < 300 && !up; ++i) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    up = XGetWindowProperty(dpy, DefaultRootWindow(dpy), check, 0, 1, False, XA_WINDOW, &type, &format, &items,
                            &after, &data) == Success &&
         items == 1;
    if (data) XFree(data);
    if (!up) usleep(50000);
  }
  XCloseDisplay(dpy);
  if (!up) *why = program + " did not take over the display";
  return up;
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

std::vector<TopWindow> TopWindows(const std::string& display) {
  std::vector<TopWindow> out;
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return out;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count; ++i) {
      XWindowAttributes a;
      if (!XGetWindowAttributes(dpy, children[i], &a)) continue;
      out.push_back({a.x, a.y, a.width, a.height, a.map_state == IsViewable, a.override_redirect != 0});
    }
    XFree(children);
  }
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
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
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

std::vector<unsigned long> WindowIcon(const std::string& display, int x, int y, int width, int height) {
  std::vector<unsigned long> out;
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return out;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  const Atom icon = XInternAtom(dpy, "_NET_WM_ICON", False);
  if (XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count && out.empty(); ++i) {
      XWindowAttributes a;
      if (!XGetWindowAttributes(dpy, children[i], &a) || a.x != x || a.y != y || a.width != width ||
          a.height != height)
        continue;
      Atom type = 0;
      int format = 0;
      unsigned long items = 0, after = 0;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(dpy, children[i], icon, 0, 1 << 20, False, XA_CARDINAL, &type, &format, &items, &after,
                             &data) == Success &&
          data && format == 32) {
        // Format-32 properties come back as longs, possibly sign-extended.
        auto* values = reinterpret_cast<unsigned long*>(data);
        for (unsigned long k = 0; k < items; ++k) out.push_back(values[k] & 0xFFFFFFFFul);
      }
      if (data) XFree(data);
    }
    XFree(children);
  }
  XCloseDisplay(dpy);
  return out;
}

// In the sanitizer build: what SDL's desktop services (D-Bus, fontconfig, Xlib) keep
// until exit is theirs, not a leak of ours.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\nleak:libSDL2-2.0.so\nleak:libfontconfig.so\nleak:libX11.so\n";
}
