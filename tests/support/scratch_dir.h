// A scratch folder of a test's own: made under the system's temporary folder ($TMPDIR,
// else /tmp) with a name no other run shares, and removed with all it holds when the
// object goes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quill_test {

class ScratchDir {
 public:
  // The folder's name starts with `prefix`; a folder that cannot be made throws.
  explicit ScratchDir(std::string_view prefix = "quill-test");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace quill_test
