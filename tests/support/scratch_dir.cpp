#include <support/scratch_dir.h>

#include <stdlib.h>

#include <cerrno>
#include <system_error>

namespace quill_test {

ScratchDir::ScratchDir(std::string_view prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr)
    throw std::system_error(errno, std::generic_category(), "cannot make a scratch folder " + pattern);
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace quill_test
