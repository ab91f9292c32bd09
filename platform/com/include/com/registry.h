// The class registry: one HKEY_CLASSES_ROOT tree of keys, each with an optional
// default value and named string values, kept in a text file.
//
// Paths are relative to HKEY_CLASSES_ROOT and separated by backslashes, e.g.
// "CLSID\\{A7220B29-6598-499A-948E-70FF65FE662E}\\InprocServer32". Key and value names
// compare case-insensitively (ASCII) and keep the case they were created with.
// Value name "" is the default value.
//
// Readers load the file without locking (writers replace it by rename, so a reader
// sees the old or the new file whole). Writers go through RegistryEdit, which holds
// an exclusive lock on "<file>.lock" from load to rename.
#pragma once

#include <com/com.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qcom {

// $QUILLMERE_REGISTRY when set and not empty, else registry.txt beside the running executable.
QCOM_API std::string RegistryFilePath();

class QCOM_API RegistryTree {
 public:
  RegistryTree();
  ~RegistryTree();
  RegistryTree(const RegistryTree&);
  RegistryTree& operator=(const RegistryTree&);
  RegistryTree(RegistryTree&&) noexcept;
  RegistryTree& operator=(RegistryTree&&) noexcept;

  bool KeyExists(std::string_view path) const;
  // The value, or nullopt when the key or the value does not exist.
  std::optional<std::string> GetValue(std::string_view path, std::string_view name = {}) const;
  std::vector<std::string> SubKeys(std::string_view path) const;      // names, in file order
  std::vector<std::string> ValueNames(std::string_view path) const;   // named values only
  bool HasDefaultValue(std::string_view path) const;

  // Creating or setting creates every missing key on the way. An empty path is the root.
  // A path with an empty component ("A\\\\B") is refused (false).
  bool CreateKey(std::string_view path);
  bool SetValue(std::string_view path, std::string_view name, std::string_view value);
  bool DeleteValue(std::string_view path, std::string_view name);  // false if absent
  bool DeleteKey(std::string_view path);  // the whole subtree; false if absent or root
  bool IsEmptyKey(std::string_view path) const;  // exists, no subkeys, no values

  // The file text, and its reading. Parse keeps every entry it can read; *damaged
  // tells whether anything could not be read.
  std::string Serialize() const;
  static RegistryTree Parse(std::string_view text, bool* damaged);

  struct Node;  // opaque

 private:
  std::unique_ptr<Node> root_;
};

// Loads the registry file. A missing file is an empty registry (S_OK). A file that
// could not be read whole gives REGDB_E_READREGDB, with *tree holding what was readable.
QCOM_API HRESULT RegistryLoad(RegistryTree* tree);

// Convenience readers over a fresh load of the file.
QCOM_API bool RegistryKeyExists(std::string_view path);
// S_OK; REGDB_E_KEYMISSING when the key or value is absent (REGDB_E_READREGDB instead
// when the file is damaged, since the entry may be in the unreadable part).
QCOM_API HRESULT RegistryGetValue(std::string_view path, std::string_view name, std::string* value);
QCOM_API std::vector<std::string> RegistrySubKeys(std::string_view path);

// One atomic change: lock, load, change(tree), and when change succeeds write a temporary
// file and rename it over the registry. A damaged file is first copied to "<file>.bad";
// the rewrite keeps every entry that could be read. Returns change's result, or
// REGDB_E_WRITEREGDB when the file cannot be locked or written.
QCOM_API HRESULT RegistryEdit(const std::function<HRESULT(RegistryTree&)>& change);

}  // namespace qcom
