#include <win32/drives.h>

#include "spawn.h"

#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

namespace {

std::mutex g_mountsMutex;
std::string g_mountsFile;  // empty: the process's own mounts table

std::string MountsFile() {
  std::lock_guard lock(g_mountsMutex);
  return g_mountsFile.empty() ? "/proc/self/mounts" : g_mountsFile;
}

// The mounts table writes blanks and backslashes in paths as \ooo octal escapes.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
        s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
      out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SameText(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// The entry of a folder whose name is `name` in any case, as a full path; "" when none.
std::string FindEntry(const std::string& folder, const char* name, bool directory) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code kind;
    if (SameText(it->path().filename().string(), name) &&
        (directory ? it->is_directory(kind) : it->is_regular_file(kind)))
      return it->path().string();
  }
  return {};
}

// A folder of QUILLMERE_DVD that cannot be a disc is said once, on standard error:
// the drive list shows it, and the lists of a disc that cannot be read stay empty.
void WarnIfNoDisc(const std::string& root) {
  static std::mutex mu;
  static std::set<std::string> warned;
  const std::string folder = root.size() > 1 ? root.substr(0, root.size() - 1) : root;
  const bool isFolder = IsDirectory(folder);
  if (isFolder && IsDirectory(VideoFolderOf(root))) return;
  std::lock_guard lock(mu);
  if (!warned.insert(root).second) return;
  struct stat st {};
  const char* what = isFolder ? "holds no VIDEO_TS folder and no VIDEO_TS.IFO; name the folder a disc was "
                                "copied into or its VIDEO_TS folder"
                     : stat(folder.c_str(), &st) == 0 ? "is not a folder (a disc image must be mounted first)"
                                                      : "does not exist";
  std::fprintf(stderr, "QUILLMERE_DVD: \"%s\" %s.\n", folder.c_str(), what);
}

}  // namespace

std::string VideoFolderOf(const std::string& root) {
  const std::string folder = WithSlash(root);
  if (IsDirectory(folder + "VIDEO_TS")) return folder + "VIDEO_TS";
  if (std::string sub = FindEntry(folder, "VIDEO_TS", true); !sub.empty()) return sub;
  // The VIDEO_TS folder itself (what is usually copied off a disc), by what it holds.
  if (!FindEntry(folder, "VIDEO_TS.IFO", false).empty())
    return folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder;
  return folder + "VIDEO_TS";
}

void SetMountsFile(const std::string& path) {
  std::lock_guard lock(g_mountsMutex);
  g_mountsFile = path;
}

std::vector<std::string> LogicalDrives() {
  std::vector<std::string> roots;
  auto add = [&roots](std::string root) {
    root = WithSlash(std::move(root));
    for (const std::string& r : roots)
      if (r == root) return;
    roots.push_back(std::move(root));
  };
  std::ifstream mounts(MountsFile());
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string device, mountPoint, type;
    if (!(fields >> device >> mountPoint >> type)) continue;
    bool optical = type == "iso9660" || type == "udf" || device.compare(0, 7, "/dev/sr") == 0;
    if (optical) add(Unescape(mountPoint));
  }
  if (const char* env = std::getenv("QUILLMERE_DVD")) {
    std::string list = env;
    size_t start = 0;
    while (start <= list.size()) {
      size_t colon = list.find(':', start);
      if (colon == std::string::npos) colon = list.size();
      if (colon > start) {
        add(list.substr(start, colon - start));
        WarnIfNoDisc(WithSlash(list.substr(start, colon - start)));
      }
      start = colon + 1;
    }
  }
  return roots;
}

DWORD GetLogicalDriveStringsA(DWORD size, LPSTR buffer) {
  std::string content;
  for (const std::string& root : LogicalDrives()) {
    content += root;
    content += '\0';
  }
  if (buffer == nullptr || content.size() + 1 > size) return static_cast<DWORD>(content.size() + 1);
  std::memcpy(buffer, content.data(), content.size());
  buffer[content.size()] = '\0';
  return static_cast<DWORD>(content.size());
}

UINT GetDriveTypeA(LPCSTR root) {
  std::string path;
  if (root == nullptr || root[0] == '\0') {
    char* cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) return DRIVE_UNKNOWN;
    path = cwd;
    std::free(cwd);
  } else {
    path = root;
  }
  std::string withSlash = WithSlash(path);
  for (const std::string& r : LogicalDrives())
    if (r == withSlash) return DRIVE_CDROM;
  return IsDirectory(path) ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
}

std::string UserVideosFolder() {
  using namespace std::chrono_literals;
  if (auto out = qwin32::RunAndCapture({"xdg-user-dir", "VIDEOS"}, 5000ms)) {
    std::string dir = *out;
    while (!dir.empty() && (dir.back() == '\n' || dir.back() == '\r')) dir.pop_back();
    if (!dir.empty() && dir.front() == '/' && IsDirectory(dir)) return WithSlash(dir);
  }
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return WithSlash(home);
  if (passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) return WithSlash(pw->pw_dir);
  return "/";
}
