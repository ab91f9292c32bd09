#include <win32/errors.h>
#include <win32/shell.h>

#include "spawn.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// "https://...", "mailto:..." and the like: a scheme of two or more characters and a colon.
bool IsAddress(std::string_view s) {
  size_t colon = s.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;
  if (!std::isalpha(static_cast<unsigned char>(s[0]))) return false;
  for (size_t i = 1; i < colon; ++i) {
    char c = s[i];
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

HINSTANCE ShellResult(int code) { return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(code)); }

// Candidates in the order tried: the running desktop's own session manager first.
struct LogoutCommand {
  const char* desktop;  // token of XDG_CURRENT_DESKTOP
  std::vector<std::string> argv;
};

const std::vector<LogoutCommand>& LogoutCommands() {
  static const std::vector<LogoutCommand> commands = {
      {"GNOME", {"gnome-session-quit", "--logout", "--no-prompt"}},
      {"KDE", {"qdbus", "org.kde.ksmserver", "/KSMServer", "logout", "0", "0", "0"}},
      {"KDE", {"qdbus6", "org.kde.ksmserver", "/KSMServer", "logout", "0", "0", "0"}},
      {"XFCE", {"xfce4-session-logout", "--logout"}},
      {"MATE", {"mate-session-save", "--logout"}},
      {"X-Cinnamon", {"cinnamon-session-quit", "--logout", "--no-prompt"}},
      {"LXQt", {"lxqt-leave", "--logout"}},
  };
  return commands;
}

bool DesktopIs(const char* token) {
  const char* env = std::getenv("XDG_CURRENT_DESKTOP");
  if (env == nullptr) return false;
  std::string_view list = env;
  while (!list.empty()) {
    size_t colon = list.find(':');
    if (SameText(list.substr(0, colon), token)) return true;
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
  return false;
}

BOOL DefaultExitWindows(UINT flags, DWORD) {
  // Only logging out is asked of us; whatever happens it is graceful (no forcing).
  if ((flags & ~(EWX_FORCE | EWX_FORCEIFHUNG)) != EWX_LOGOFF) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  std::vector<const LogoutCommand*> order;
  for (const LogoutCommand& c : LogoutCommands())
    if (DesktopIs(c.desktop)) order.push_back(&c);
  for (const LogoutCommand& c : LogoutCommands())
    if (!DesktopIs(c.desktop)) order.push_back(&c);
  using namespace std::chrono_literals;
  for (const LogoutCommand* c : order) {
    pid_t pid = qwin32::Spawn(c->argv, nullptr);
    if (pid < 0) continue;  // not installed
    std::optional<int> code = qwin32::WaitFor(pid, 10s);
    // A session manager that takes long is busy logging out.
    if (!code || *code == 0) return TRUE;
  }
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

std::mutex g_exitMutex;
ExitWindowsHandler g_exitHandler;

}  // namespace

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR dir, INT) {
  if (verb != nullptr && verb[0] != '\0' && !SameText(verb, "open") && !SameText(verb, "explore"))
    return ShellResult(SE_ERR_NOASSOC);
  if (file == nullptr || file[0] == '\0') return ShellResult(SE_ERR_FNF);
  std::string target = file;
  if (!IsAddress(target)) {
    std::string full = target;
    if (full.front() != '/' && dir != nullptr && dir[0] != '\0') full = std::string(dir) + "/" + full;
    struct stat st {};
    if (stat(full.c_str(), &st) != 0) return ShellResult(errno == ENOTDIR ? SE_ERR_PNF : SE_ERR_FNF);
    // A FIFO or a device would leave the viewer waiting for data that never ends.
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return ShellResult(SE_ERR_ACCESSDENIED);
    // A name beginning with '-' must not be taken for an option of xdg-open.
    if (target.front() == '-') target = "./" + target;
  }
  pid_t pid = qwin32::Spawn({"xdg-open", target}, dir);
  if (pid < 0) return ShellResult(errno == ENOMEM ? SE_ERR_OOM : SE_ERR_NOASSOC);
  qwin32::ReapLater(pid);
  return ShellResult(42);
}

BOOL ExitWindowsEx(UINT flags, DWORD reason) {
  ExitWindowsHandler handler;
  {
    std::lock_guard lock(g_exitMutex);
    handler = g_exitHandler;
  }
  return handler ? handler(flags, reason) : DefaultExitWindows(flags, reason);
}

ExitWindowsHandler SetExitWindowsHandler(ExitWindowsHandler handler) {
  std::lock_guard lock(g_exitMutex);
  ExitWindowsHandler previous = std::move(g_exitHandler);
  g_exitHandler = std::move(handler);
  return previous;
}
