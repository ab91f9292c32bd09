// Registration scripts and the type-library lookup.
#include <com/guid.h>
#include <com/registry.h>
#include <com/server.h>

#include <cstdio>
#include <optional>

namespace qcom {
namespace {

struct Token {
  enum Kind { kWord, kQuoted, kOpen, kClose, kEquals, kEnd } kind;
  std::string text;
  int line;
};

struct Item {
  bool isValue = false;  // "val name = s 'text'"
  bool noRemove = false;
  bool forceRemove = false;
  std::string name;
  std::optional<std::string> value;
  std::vector<Item> kids;
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

class Parser {
 public:
  Parser(std::string_view text, const std::map<std::string, std::string>& vars) : s_(text), vars_(vars) {}

  bool Run(std::vector<Item>* items) {
    if (!Advance()) return false;
    while (tok_.kind != Token::kEnd) {
      if (tok_.kind == Token::kWord && IsRootName(tok_.text)) {
        if (!SameWord(tok_.text, "HKCR") && !SameWord(tok_.text, "HKEY_CLASSES_ROOT"))
          return Fail("only HKEY_CLASSES_ROOT exists, not '" + tok_.text + "'");
        if (!Advance()) return false;
        if (tok_.kind != Token::kOpen) return Fail("'{' expected after the root key");
        if (!Advance() || !ParseItems(items, false, 0)) return false;
        if (!Advance()) return false;
        continue;
      }
      if (!ParseItem(items, false, 0)) return false;
    }
    return true;
  }

  const std::string& error() const { return error_; }

 private:
  static bool IsRootName(std::string_view w) {
    return SameWord(w, "HKCR") || SameWord(w, "HKLM") || SameWord(w, "HKCU") || SameWord(w, "HKU") ||
           SameWord(w, "HKCC") || (w.size() > 5 && SameWord(w.substr(0, 5), "HKEY_"));
  }

  bool Fail(const std::string& message) {
    if (error_.empty()) error_ = "line " + std::to_string(tok_.line) + ": " + message;
    return false;
  }

  // Items up to the '}' that closes a block (left as the current token) or the end.
  bool ParseItems(std::vector<Item>* items, bool inKey, int depth) {
    while (tok_.kind != Token::kClose) {
      if (tok_.kind == Token::kEnd) return Fail("'}' missing");
      if (!ParseItem(items, inKey, depth)) return false;
    }
    return true;
  }

  bool ParseItem(std::vector<Item>* items, bool inKey, int depth) {
    Item item;
    while (tok_.kind == Token::kWord &&
           (SameWord(tok_.text, "NoRemove") || SameWord(tok_.text, "ForceRemove"))) {
      (SameWord(tok_.text, "NoRemove") ? item.noRemove : item.forceRemove) = true;
      if (!Advance()) return false;
    }
    if (item.noRemove && item.forceRemove) return Fail("a key cannot be both NoRemove and ForceRemove");
    if (tok_.kind == Token::kWord && SameWord(tok_.text, "val")) {
      if (!inKey || depth == 0) return Fail("'val' outside a key");
      if (item.forceRemove) return Fail("ForceRemove applies to keys, not values");
      item.isValue = true;
      if (!Advance()) return false;
      if (tok_.kind != Token::kWord && tok_.kind != Token::kQuoted) return Fail("value name expected");
      item.name = tok_.text;
      if (!Advance()) return false;
      if (tok_.kind != Token::kEquals) return Fail("'=' expected after the value name");
      if (!ParseTypedValue(&item)) return false;
      items->push_back(std::move(item));
      return true;
    }
    if (tok_.kind == Token::kOpen) return Fail("'{' without a key name");
    if (tok_.kind == Token::kClose) return Fail("unexpected '}'");
    if (tok_.kind == Token::kEquals) return Fail("'=' without a key name");
    if (tok_.kind == Token::kEnd) return Fail("key name expected");
    item.name = tok_.text;
    if (!ValidName(item.name)) return Fail("bad key name '" + item.name + "'");
    if (!Advance()) return false;
    if (tok_.kind == Token::kEquals && !ParseTypedValue(&item)) return false;
    if (tok_.kind == Token::kOpen) {
      if (!Advance() || !ParseItems(&item.kids, true, depth + 1) || !Advance()) return false;
    }
    items->push_back(std::move(item));
    return true;
  }

  // After '=': the type letter and the text; leaves the next token current.
  bool ParseTypedValue(Item* item) {
    if (!Advance()) return false;
    if (tok_.kind != Token::kWord) return Fail("value type expected after '='");
    if (!SameWord(tok_.text, "s")) return Fail("unsupported value type '" + tok_.text + "' (only s)");
    if (!Advance()) return false;
    if (tok_.kind != Token::kQuoted && tok_.kind != Token::kWord) return Fail("value text expected");
    item->value = tok_.text;
    return Advance();
  }

  static bool ValidName(std::string_view n) {
    if (n.empty() || n.front() == '\\' || n.back() == '\\' || n.find("\\\\") != std::string_view::npos)
      return false;
    for (unsigned char c : n)
      if (c < 0x20) return false;
    return true;
  }

  bool Substitute(std::string* text) {
    std::string out;
    for (std::size_t i = 0; i < text->size(); ++i) {
      if ((*text)[i] != '%') {
        out += (*text)[i];
        continue;
      }
      std::size_t end = text->find('%', i + 1);
      if (end == std::string::npos) return Fail("'%' without its closing '%'");
      std::string name = text->substr(i + 1, end - i - 1);
      if (name.empty()) {
        out += '%';
      } else {
        auto it = vars_.find(name);
        if (it == vars_.end()) return Fail("unknown variable %" + name + "%");
        out += it->second;
      }
      i = end;
    }
    *text = std::move(out);
    return true;
  }

  bool Advance() {
    while (pos_ < s_.size() && IsSpace(s_[pos_])) {
      if (s_[pos_] == '\n') ++line_;
      ++pos_;
    }
    tok_ = {Token::kEnd, {}, line_};
    if (pos_ >= s_.size()) return true;
    char c = s_[pos_];
    auto delimiter = [&](std::size_t i) { return i >= s_.size() || IsSpace(s_[i]) || s_[i] == '\'' || s_[i] == '='; };
    if (c == '\'') {
      std::string text;
      for (++pos_;; ++pos_) {
        if (pos_ >= s_.size()) return Fail("unterminated quote");
        if (s_[pos_] == '\n') ++line_;
        if (s_[pos_] == '\'') {
          if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '\'') {
            text += '\'';
            ++pos_;
            continue;
          }
          ++pos_;
          break;
        }
        text += s_[pos_];
      }
      tok_ = {Token::kQuoted, std::move(text), tok_.line};
      return Substitute(&tok_.text);
    }
    if (c == '=') {
      ++pos_;
      tok_.kind = Token::kEquals;
      return true;
    }
    if (c == '}') {
      ++pos_;
      tok_.kind = Token::kClose;
      return true;
    }
    if (c == '{' && (delimiter(pos_ + 1) || s_[pos_ + 1] == '{' || s_[pos_ + 1] == '}')) {
      ++pos_;
      tok_.kind = Token::kOpen;
      return true;
    }
    // A bare word; one that begins with '{' (a GUID) keeps its closing brace.
    bool braced = c == '{';
    std::size_t start = pos_;
    while (!delimiter(pos_) && (braced || (s_[pos_] != '}' && s_[pos_] != '{'))) {
      if (braced && s_[pos_] == '}') {
        ++pos_;
        break;
      }
      ++pos_;
    }
    tok_ = {Token::kWord, std::string(s_.substr(start, pos_ - start)), tok_.line};
    return Substitute(&tok_.text);
  }

  std::string_view s_;
  const std::map<std::string, std::string>& vars_;
  std::size_t pos_ = 0;
  int line_ = 1;
  Token tok_{Token::kEnd, {}, 1};
  std::string error_;
};

std::string Join(const std::string& base, const std::string& name) {
  return base.empty() ? name : base + '\\' + name;
}

void Register(RegistryTree& tree, const std::vector<Item>& items, const std::string& base) {
  for (const Item& item : items) {
    if (item.isValue) {
      tree.SetValue(base, item.name, item.value.value_or(""));
      continue;
    }
    std::string path = Join(base, item.name);
    if (item.forceRemove) tree.DeleteKey(path);
    tree.CreateKey(path);
    if (item.value) tree.SetValue(path, "", *item.value);
    Register(tree, item.kids, path);
  }
}

void Unregister(RegistryTree& tree, const std::vector<Item>& items, const std::string& base) {
  for (const Item& item : items) {
    if (item.isValue) {
      if (!item.noRemove) tree.DeleteValue(base, item.name);
      continue;
    }
    std::string path = Join(base, item.name);
    if (!tree.KeyExists(path)) continue;
    if (item.forceRemove) {
      tree.DeleteKey(path);
      continue;
    }
    Unregister(tree, item.kids, path);
    if (item.noRemove) continue;
    if (item.value) tree.DeleteValue(path, "");
    // Subkeys the script did not name belong to someone else: keep the key for them.
    if (tree.SubKeys(path).empty()) tree.DeleteKey(path);
  }
}

}  // namespace

HRESULT RunRegistrationScript(std::string_view script, bool registering,
                              const std::map<std::string, std::string>& vars, std::string* error) {
  std::vector<Item> items;
  Parser parser(script, vars);
  if (!parser.Run(&items)) {
    if (error) *error = parser.error();
    return E_INVALIDARG;
  }
  return RegistryEdit([&](RegistryTree& tree) {
    if (registering)
      Register(tree, items, {});
    else
      Unregister(tree, items, {});
    return S_OK;
  });
}

HRESULT LoadRegTypeInfo(REFGUID libid, WORD major, WORD minor, REFIID, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  char version[16];
  std::snprintf(version, sizeof version, "%x.%x", major, minor);
  if (!RegistryKeyExists("TypeLib\\" + GuidToString(libid) + "\\" + version)) return TYPE_E_LIBNOTREGISTERED;
  return TYPE_E_CANTLOADLIBRARY;
}

}  // namespace qcom
