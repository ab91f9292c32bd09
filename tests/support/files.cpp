#include <support/files.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace quill_test {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

int OpenDescriptors() {
  int n = 0;
  for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it) ++n;
  return n;
}

fs::path ProgramDir() { return fs::read_symlink("/proc/self/exe").parent_path(); }

fs::path BuildBin() {
  const char* bin = std::getenv("QUILLMERE_BUILD_BIN");
  return bin && *bin ? fs::path(bin) : ProgramDir();
}

fs::path SourceDir() {
  const char* src = std::getenv("QUILLMERE_SOURCE_DIR");
  return src && *src ? fs::path(src) : fs::path(".");
}

fs::path GalleryFolder() {
  const fs::path dir = (BuildBin() / ".." / "gallery").lexically_normal();
  fs::create_directories(dir);
  return dir;
}

}  // namespace quill_test
