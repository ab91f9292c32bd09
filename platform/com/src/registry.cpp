// The class registry file.
//
// Format: one line per key, "[path]", followed by its values, '@="text"' for the
// default value and '"name"="text"' for named ones. Text is quoted with backslash
// escapes for '\', '"' and control characters, so every line is printable and a
// damaged line can be told from a good one.
#include <com/registry.h>
#include <win32/hexdigit.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace qcom {

struct RegistryTree::Node {
  std::string name;
  std::optional<std::string> def;
  std::vector<std::pair<std::string, std::string>> values;
  std::vector<std::unique_ptr<Node>> kids;

  std::unique_ptr<Node> Clone() const {
    auto n = std::make_unique<Node>();
    n->name = name;
    n->def = def;
    n->values = values;
    for (const auto& k : kids) n->kids.push_back(k->Clone());
    return n;
  }
};

namespace {

using Node = RegistryTree::Node;

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

bool ValidKeyName(std::string_view n) {
  if (n.empty()) return false;
  for (unsigned char c : n)
    if (c < 0x20 || c == 0x7F || c == '\\') return false;
  return true;
}

// Splits "A\\B\\C"; false when a component is empty or unprintable. "" is the root.
bool SplitPath(std::string_view path, std::vector<std::string_view>* parts) {
  parts->clear();
  if (path.empty()) return true;
  std::size_t start = 0;
  while (true) {
    std::size_t end = path.find('\\', start);
    std::string_view part = path.substr(start, end == std::string_view::npos ? end : end - start);
    if (!ValidKeyName(part)) return false;
    parts->push_back(part);
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

Node* Child(Node* n, std::string_view name) {
  for (auto& k : n->kids)
    if (SameName(k->name, name)) return k.get();
  return nullptr;
}

const Node* Find(const Node* root, std::string_view path) {
  std::vector<std::string_view> parts;
  if (!SplitPath(path, &parts)) return nullptr;
  const Node* n = root;
  for (auto p : parts) {
    n = Child(const_cast<Node*>(n), p);
    if (!n) return nullptr;
  }
  return n;
}

Node* Create(Node* root, std::string_view path) {
  std::vector<std::string_view> parts;
  if (!SplitPath(path, &parts)) return nullptr;
  Node* n = root;
  for (auto p : parts) {
    Node* c = Child(n, p);
    if (!c) {
      n->kids.push_back(std::make_unique<Node>());
      c = n->kids.back().get();
      c->name = std::string(p);
    }
    n = c;
  }
  return n;
}

void Quote(std::string& out, std::string_view s) {
  static const char kHex[] = "0123456789ABCDEF";
  out += '"';
  for (unsigned char c : s) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

// Reads a quoted string at s[*pos]; advances past the closing quote.
bool Unquote(std::string_view s, std::size_t* pos, std::string* out) {
  std::size_t i = *pos;
  if (i >= s.size() || s[i] != '"') return false;
  out->clear();
  for (++i; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c != '\\') {
      out->push_back(c);
      continue;
    }
    if (++i >= s.size()) return false;
    if (s[i] == '\\' || s[i] == '"') {
      out->push_back(s[i]);
    } else if (s[i] == 'x' && i + 2 < s.size()) {
      int hi = HexDigitValue(s[i + 1]), lo = HexDigitValue(s[i + 2]);
      if (hi < 0 || lo < 0) return false;
      out->push_back(static_cast<char>(hi << 4 | lo));
      i += 2;
    } else {
      return false;
    }
  }
  return false;
}

void Write(const Node& n, const std::string& path, std::string& out) {
  if (!path.empty()) {
    out += '[';
    out += path;
    out += "]\n";
    if (n.def) {
      out += '@';
      out += '=';
      Quote(out, *n.def);
      out += '\n';
    }
    for (const auto& [name, value] : n.values) {
      Quote(out, name);
      out += '=';
      Quote(out, value);
      out += '\n';
    }
  }
  for (const auto& k : n.kids) Write(*k, path.empty() ? k->name : path + '\\' + k->name, out);
}

void SetNamed(Node* n, std::string_view name, std::string_view value) {
  for (auto& [k, v] : n->values)
    if (SameName(k, name)) {
      v = value;
      return;
    }
  n->values.emplace_back(std::string(name), std::string(value));
}

std::string ExecutableDir() {
  char buf[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
  if (n <= 0) return ".";
  std::string p(buf, static_cast<std::size_t>(n));
  std::size_t slash = p.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
}

// Reads a whole file. 1 = read, 0 = absent, -1 = present but unreadable.
int ReadFile(const std::string& path, std::string* text) {
  // Only a regular file is read; a FIFO must not hang the caller on open.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? 0 : -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  text->clear();
  char buf[65536];
  while (true) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return -1;
    }
    if (n == 0) break;
    text->append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return 1;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Writes a temporary file beside target and renames it over target, so that readers
// never see a half-written file.
bool ReplaceFile(const std::string& target, std::string_view data) {
  static std::atomic<unsigned> counter{0};
  std::string tmp = target + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter++);
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(tmp.c_str(), target.c_str()) == 0;
  if (!ok) unlink(tmp.c_str());
  return ok;
}

}  // namespace

std::string RegistryFilePath() {
  const char* env = std::getenv("QUILLMERE_REGISTRY");
  if (env && *env) return env;
  return ExecutableDir() + "/registry.txt";
}

RegistryTree::RegistryTree() : root_(std::make_unique<Node>()) {}
RegistryTree::~RegistryTree() = default;
RegistryTree::RegistryTree(const RegistryTree& o) : root_(o.root_->Clone()) {}
RegistryTree& RegistryTree::operator=(const RegistryTree& o) {
  if (this != &o) root_ = o.root_->Clone();
  return *this;
}
RegistryTree::RegistryTree(RegistryTree&& o) noexcept : root_(std::exchange(o.root_, std::make_unique<Node>())) {}
RegistryTree& RegistryTree::operator=(RegistryTree&& o) noexcept {
  std::swap(root_, o.root_);
  return *this;
}

bool RegistryTree::KeyExists(std::string_view path) const { return Find(root_.get(), path) != nullptr; }

std::optional<std::string> RegistryTree::GetValue(std::string_view path, std::string_view name) const {
  const Node* n = Find(root_.get(), path);
  if (!n) return std::nullopt;
  if (name.empty()) return n->def;
  for (const auto& [k, v] : n->values)
    if (SameName(k, name)) return v;
  return std::nullopt;
}

std::vector<std::string> RegistryTree::SubKeys(std::string_view path) const {
  std::vector<std::string> out;
  if (const Node* n = Find(root_.get(), path))
    for (const auto& k : n->kids) out.push_back(k->name);
  return out;
}

std::vector<std::string> RegistryTree::ValueNames(std::string_view path) const {
  std::vector<std::string> out;
  if (const Node* n = Find(root_.get(), path))
    for (const auto& v : n->values) out.push_back(v.first);
  return out;
}

bool RegistryTree::HasDefaultValue(std::string_view path) const {
  const Node* n = Find(root_.get(), path);
  return n && n->def.has_value();
}

bool RegistryTree::CreateKey(std::string_view path) { return Create(root_.get(), path) != nullptr; }

bool RegistryTree::SetValue(std::string_view path, std::string_view name, std::string_view value) {
  Node* n = Create(root_.get(), path);
  if (!n) return false;
  if (name.empty())
    n->def = std::string(value);
  else
    SetNamed(n, name, value);
  return true;
}

bool RegistryTree::DeleteValue(std::string_view path, std::string_view name) {
  Node* n = const_cast<Node*>(Find(root_.get(), path));
  if (!n) return false;
  if (name.empty()) {
    bool had = n->def.has_value();
    n->def.reset();
    return had;
  }
  for (auto it = n->values.begin(); it != n->values.end(); ++it)
    if (SameName(it->first, name)) {
      n->values.erase(it);
      return true;
    }
  return false;
}

bool RegistryTree::DeleteKey(std::string_view path) {
  std::vector<std::string_view> parts;
  if (!SplitPath(path, &parts) || parts.empty()) return false;
  Node* parent = root_.get();
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    parent = Child(parent, parts[i]);
    if (!parent) return false;
  }
  for (auto it = parent->kids.begin(); it != parent->kids.end(); ++it)
    if (SameName((*it)->name, parts.back())) {
      parent->kids.erase(it);
      return true;
    }
  return false;
}

bool RegistryTree::IsEmptyKey(std::string_view path) const {
  const Node* n = Find(root_.get(), path);
  return n && n->kids.empty() && n->values.empty() && !n->def;
}

std::string RegistryTree::Serialize() const {
  std::string out = "# Quillmere class registry (HKEY_CLASSES_ROOT)\n";
  Write(*root_, {}, out);
  return out;
}

RegistryTree RegistryTree::Parse(std::string_view text, bool* damaged) {
  RegistryTree tree;
  bool bad = false;
  Node* current = nullptr;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    std::string_view line = text.substr(pos, eol == std::string_view::npos ? eol : eol - pos);
    pos = eol == std::string_view::npos ? text.size() : eol + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    bool printable = true;
    for (unsigned char c : line)
      if (c < 0x20 && c != '\t') printable = false;
    if (!printable) {
      bad = true;
      if (line[0] == '[') current = nullptr;  // the values that follow belong to a lost key
      continue;
    }
    if (line[0] == '[') {
      current = nullptr;
      if (line.size() < 3 || line.back() != ']' ||
          !(current = Create(tree.root_.get(), line.substr(1, line.size() - 2))))
        bad = true;
      continue;
    }
    std::string name, value;
    std::size_t i = 0;
    bool isDefault = line[0] == '@';
    bool ok = isDefault ? (i = 1, true) : Unquote(line, &i, &name) && !name.empty();
    ok = ok && i < line.size() && line[i] == '=';
    ++i;
    ok = ok && Unquote(line, &i, &value) && i == line.size() && current;
    if (!ok) {
      bad = true;
      continue;
    }
    if (isDefault)
      current->def = value;
    else
      SetNamed(current, name, value);
  }
  if (damaged) *damaged = bad;
  return tree;
}

HRESULT RegistryLoad(RegistryTree* tree) {
  if (!tree) return E_POINTER;
  std::string text;
  int r = ReadFile(RegistryFilePath(), &text);
  if (r <= 0) {
    *tree = RegistryTree();
    return r == 0 ? S_OK : REGDB_E_READREGDB;
  }
  bool damaged = false;
  *tree = RegistryTree::Parse(text, &damaged);
  return damaged ? REGDB_E_READREGDB : S_OK;
}

bool RegistryKeyExists(std::string_view path) {
  RegistryTree t;
  RegistryLoad(&t);
  return t.KeyExists(path);
}

HRESULT RegistryGetValue(std::string_view path, std::string_view name, std::string* value) {
  if (!value) return E_POINTER;
  RegistryTree t;
  HRESULT hr = RegistryLoad(&t);
  if (auto v = t.GetValue(path, name)) {
    *value = *v;
    return S_OK;
  }
  return FAILED(hr) ? hr : REGDB_E_KEYMISSING;
}

std::vector<std::string> RegistrySubKeys(std::string_view path) {
  RegistryTree t;
  RegistryLoad(&t);
  return t.SubKeys(path);
}

HRESULT RegistryEdit(const std::function<HRESULT(RegistryTree&)>& change) {
  const std::string path = RegistryFilePath();
  int lock = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock < 0) return REGDB_E_WRITEREGDB;
  while (flock(lock, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(lock);
      return REGDB_E_WRITEREGDB;
    }
  }
  HRESULT hr = S_OK;
  std::string before;
  int r = ReadFile(path, &before);
  if (r < 0) {
    // Writing now would replace a file we could not even read.
    hr = REGDB_E_READREGDB;
  } else {
    bool damaged = false;
    RegistryTree tree = r ? RegistryTree::Parse(before, &damaged) : RegistryTree();
    // Keep the damaged original for whoever wants to recover the unreadable part.
    if (damaged && !ReplaceFile(path + ".bad", before)) hr = REGDB_E_WRITEREGDB;
    if (SUCCEEDED(hr)) hr = change(tree);
    if (SUCCEEDED(hr)) {
      std::string after = tree.Serialize();
      if ((damaged || after != before) && !ReplaceFile(path, after)) hr = REGDB_E_WRITEREGDB;
    }
  }
  flock(lock, LOCK_UN);
  close(lock);
  return hr;
}

}  // namespace qcom
