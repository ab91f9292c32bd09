#include <win32/errors.h>
#include <win32/profile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Reads and writes of one process do not interleave; each read still goes to the file.
std::mutex g_profileMutex;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

DWORD ErrnoToWin32(int e) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_WRITE_FAULT;
  }
}

// A profile file as its lines (line ends removed) plus what it takes to write it back.
struct ProfileFile {
  bool exists = false;
  bool bom = false;
  bool crlf = false;
  std::vector<std::string> lines;
};

enum class LineKind { Blank, Comment, Section, Entry };

struct ParsedLine {
  LineKind kind = LineKind::Blank;
  std::string_view name;   // section name or key, trimmed
  bool hasValue = false;   // an entry line with '='
  std::string_view value;  // trimmed, quotes kept
};

ParsedLine ParseLine(const std::string& raw) {
  ParsedLine p;
  // Whatever follows a NUL byte in a damaged file is not part of the line.
  std::string_view line(raw.c_str());
  std::string_view t = Trim(line);
  if (t.empty()) return p;
  if (t.front() == ';') {
    p.kind = LineKind::Comment;
    return p;
  }
  if (t.front() == '[') {
    p.kind = LineKind::Section;
    std::string_view rest = t.substr(1);
    size_t close = rest.find(']');
    p.name = Trim(close == std::string_view::npos ? rest : rest.substr(0, close));
    return p;
  }
  p.kind = LineKind::Entry;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) {
    p.name = t;
  } else {
    p.name = Trim(t.substr(0, eq));
    p.hasValue = true;
    p.value = Trim(t.substr(eq + 1));
  }
  return p;
}

std::optional<ProfileFile> LoadProfile(const char* path) {
  ProfileFile f;
  // Without blocking: a FIFO in place of the file must not hang the caller before
  // the type test below refuses it.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(ErrnoToWin32(errno));
    if (errno == ENOENT) return f;  // a missing file reads as an empty one
    return std::nullopt;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return std::nullopt;
  }
  std::string data;
  char chunk[65536];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      close(fd);
      SetLastError(ErrnoToWin32(errno));
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  f.exists = true;
  size_t pos = 0;
  if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    f.bom = true;
    pos = 3;
  }
  while (pos < data.size()) {
    size_t nl = data.find('\n', pos);
    size_t end = nl == std::string::npos ? data.size() : nl;
    std::string line = data.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      if (f.lines.empty()) f.crlf = true;  // the first line decides the file's line ends
    }
    f.lines.push_back(std::move(line));
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  return f;
}

// Line range [header, end) of the first section of that name; header is npos when absent.
struct SectionRange {
  size_t header = std::string::npos;
  size_t end = 0;
};

SectionRange FindSection(const ProfileFile& f, std::string_view name) {
  SectionRange r;
  for (size_t i = 0; i < f.lines.size(); ++i) {
    ParsedLine p = ParseLine(f.lines[i]);
    if (p.kind != LineKind::Section) continue;
    if (r.header != std::string::npos) {
      r.end = i;
      return r;
    }
    if (SameName(p.name, name)) r.header = i;
  }
  r.end = f.lines.size();
  return r;
}

size_t FindKey(const ProfileFile& f, const SectionRange& r, std::string_view key) {
  if (r.header == std::string::npos) return std::string::npos;
  for (size_t i = r.header + 1; i < r.end; ++i) {
    ParsedLine p = ParseLine(f.lines[i]);
    if (p.kind == LineKind::Entry && SameName(p.name, key)) return i;
  }
  return std::string::npos;
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && v.front() == v.back() && (v.front() == '"' || v.front() == '\''))
    return v.substr(1, v.size() - 2);
  return v;
}

DWORD CopyValue(std::string_view s, char* buf, DWORD size) {
  if (buf == nullptr || size == 0) return 0;
  if (s.size() < size) {
    std::memcpy(buf, s.data(), s.size());
    buf[s.size()] = '\0';
    return static_cast<DWORD>(s.size());
  }
  std::memcpy(buf, s.data(), size - 1);
  buf[size - 1] = '\0';
  return size - 1;
}

// Items each ended by NUL, then one more NUL; a cut list ends with two NULs.
DWORD CopyList(const std::vector<std::string>& items, char* buf, DWORD size) {
  if (buf == nullptr || size == 0) return 0;
  std::string content;
  for (const std::string& s : items) {
    content += s;
    content += '\0';
  }
  if (content.size() + 1 <= size) {
    std::memcpy(buf, content.data(), content.size());
    buf[content.size()] = '\0';
    if (content.empty() && size > 1) buf[1] = '\0';
    return static_cast<DWORD>(content.size());
  }
  if (size == 1) {
    buf[0] = '\0';
    return 0;
  }
  std::memcpy(buf, content.data(), size - 2);
  buf[size - 2] = '\0';
  buf[size - 1] = '\0';
  return size - 2;
}

void AddUnique(std::vector<std::string>& names, std::string_view name) {
  if (name.empty()) return;  // an empty name would end the list early
  for (const std::string& n : names)
    if (SameName(n, name)) return;
  names.emplace_back(name);
}

mode_t CurrentUmask() {
  // umask() cannot be read without changing it, which would race with other threads.
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, 6, "Umask:") == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  return 022;
}

bool SaveProfile(const char* fileName, const ProfileFile& f) {
  // Write beside the real file (not beside a symbolic link to it) so the rename is atomic
  // and the link stays.
  std::string target = fileName;
  if (char* real = realpath(fileName, nullptr)) {
    target = real;
    std::free(real);
  }
  size_t slash = target.rfind('/');
  std::string dir = slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string tmpl = dir + "/." + base + ".XXXXXX";
  std::vector<char> tmpPath(tmpl.begin(), tmpl.end());
  tmpPath.push_back('\0');

  mode_t mode = 0666 & ~CurrentUmask();
  struct stat st {};
  if (stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;

  int fd = mkostemp(tmpPath.data(), O_CLOEXEC);
  if (fd < 0) {
    SetLastError(ErrnoToWin32(errno));
    return false;
  }
  std::string out;
  if (f.bom) out = "\xEF\xBB\xBF";
  const char* eol = f.crlf ? "\r\n" : "\n";
  for (const std::string& line : f.lines) {
    out += line;
    out += eol;
  }
  bool ok = true;
  size_t done = 0;
  while (ok && done < out.size()) {
    ssize_t n = write(fd, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<size_t>(n);
  }
  int err = errno;
  // The replacement keeps the old file's permissions (mkstemp made it private); a failure
  // here only leaves it private.
  if (ok) fchmod(fd, mode);
  if (ok && fsync(fd) != 0) {
    ok = false;
    err = errno;
  }
  if (close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && rename(tmpPath.data(), target.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(tmpPath.data());
    SetLastError(ErrnoToWin32(err));
  }
  return ok;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                               DWORD size, LPCSTR fileName) {
  if (buffer == nullptr || size == 0) return 0;
  std::string_view def = defaultValue ? defaultValue : "";
  while (!def.empty() && def.back() == ' ') def.remove_suffix(1);

  std::optional<ProfileFile> f;
  {
    std::lock_guard lock(g_profileMutex);
    if (fileName != nullptr) f = LoadProfile(fileName);
  }
  if (!f) f = ProfileFile{};

  if (section == nullptr) {
    std::vector<std::string> names;
    for (const std::string& line : f->lines) {
      ParsedLine p = ParseLine(line);
      if (p.kind == LineKind::Section) AddUnique(names, p.name);
    }
    return CopyList(names, buffer, size);
  }
  SectionRange r = FindSection(*f, Trim(section));
  if (key == nullptr) {
    std::vector<std::string> keys;
    if (r.header != std::string::npos)
      for (size_t i = r.header + 1; i < r.end; ++i) {
        ParsedLine p = ParseLine(f->lines[i]);
        if (p.kind == LineKind::Entry) AddUnique(keys, p.name);
      }
    return CopyList(keys, buffer, size);
  }
  size_t at = FindKey(*f, r, Trim(key));
  if (at != std::string::npos) {
    ParsedLine p = ParseLine(f->lines[at]);
    // A line without '=' names no value: the default stands in for it.
    if (p.hasValue) return CopyValue(Unquote(p.value), buffer, size);
  }
  return CopyValue(def, buffer, size);
}

DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size, LPCSTR fileName) {
  if (buffer == nullptr || size == 0) return 0;
  std::optional<ProfileFile> f;
  {
    std::lock_guard lock(g_profileMutex);
    if (fileName != nullptr && section != nullptr) f = LoadProfile(fileName);
  }
  std::vector<std::string> lines;
  if (f) {
    SectionRange r = FindSection(*f, Trim(section));
    if (r.header != std::string::npos)
      for (size_t i = r.header + 1; i < r.end; ++i) {
        ParsedLine p = ParseLine(f->lines[i]);
        if (p.kind != LineKind::Entry || p.name.empty()) continue;
        std::string line(p.name);
        if (p.hasValue) {
          line += '=';
          line += p.value;
        }
        lines.push_back(std::move(line));
      }
  }
  return CopyList(lines, buffer, size);
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName) {
  if (section == nullptr || key == nullptr) return static_cast<UINT>(defaultValue);
  std::vector<char> buf(64);
  // Grow until the whole value fits, so a long value cannot be misread as a short one.
  for (;;) {
    DWORD n = GetPrivateProfileStringA(section, key, "", buf.data(), static_cast<DWORD>(buf.size()), fileName);
    if (n + 1 < buf.size()) break;
    buf.resize(buf.size() * 2);
  }
  const char* s = buf.data();
  if (*s == '\0') return static_cast<UINT>(defaultValue);
  while (IsBlank(*s)) ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  UINT value = 0;
  for (; *s >= '0' && *s <= '9'; ++s) value = value * 10u + static_cast<UINT>(*s - '0');
  return negative ? 0u - value : value;
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
  if (section == nullptr || fileName == nullptr || fileName[0] == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string_view sec = Trim(section);
  std::string_view k = key ? Trim(key) : std::string_view();
  bool badSection = HasLineBreak(sec) || sec.find(']') != std::string_view::npos;
  bool badKey = key != nullptr && (k.empty() || HasLineBreak(k) || k.find('=') != std::string_view::npos ||
                                   k.front() == '[' || k.front() == ';');
  bool badValue = value != nullptr && HasLineBreak(value);
  if (badSection || badKey || badValue) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }

  std::lock_guard lock(g_profileMutex);
  std::optional<ProfileFile> loaded = LoadProfile(fileName);
  if (!loaded) return FALSE;
  ProfileFile& f = *loaded;
  SectionRange r = FindSection(f, sec);

  if (key == nullptr) {
    if (r.header == std::string::npos) return TRUE;
    bool last = r.end == f.lines.size();
    f.lines.erase(f.lines.begin() + static_cast<std::ptrdiff_t>(r.header),
                  f.lines.begin() + static_cast<std::ptrdiff_t>(r.end));
    // The blank line that separated the removed last section goes with it.
    if (last)
      while (!f.lines.empty() && Trim(f.lines.back()).empty()) f.lines.pop_back();
    return SaveProfile(fileName, f) ? TRUE : FALSE;
  }

  size_t at = FindKey(f, r, k);
  if (value == nullptr) {
    if (at == std::string::npos) return TRUE;
    f.lines.erase(f.lines.begin() + static_cast<std::ptrdiff_t>(at));
    return SaveProfile(fileName, f) ? TRUE : FALSE;
  }

  if (at != std::string::npos) {
    // Keep the key as the file spells it.
    std::string line(ParseLine(f.lines[at]).name);
    f.lines[at] = line + "=" + value;
  } else if (r.header != std::string::npos) {
    size_t insert = r.header + 1;
    for (size_t i = r.header + 1; i < r.end; ++i)
      if (ParseLine(f.lines[i]).kind == LineKind::Entry) insert = i + 1;
    f.lines.insert(f.lines.begin() + static_cast<std::ptrdiff_t>(insert), std::string(k) + "=" + value);
  } else {
    while (!f.lines.empty() && f.lines.back().empty()) f.lines.pop_back();
    if (!f.lines.empty()) f.lines.emplace_back();
    f.lines.push_back("[" + std::string(sec) + "]");
    f.lines.push_back(std::string(k) + "=" + value);
  }
  return SaveProfile(fileName, f) ? TRUE : FALSE;
}
