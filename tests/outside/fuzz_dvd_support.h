// What the DVD fuzzers share: a scratch disc folder made from the sample disc, into which
// each input is written as one or more of its files, and seed files for the corpus.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fuzzdvd {

namespace fs = std::filesystem;

using Bytes = std::vector<std::uint8_t>;

// <build>/sample-dvd/VIDEO_TS; the fuzzers live in <build>/bin.
inline fs::path SampleVideoTs() {
  return (fs::read_symlink("/proc/self/exe").parent_path() / ".." / "sample-dvd" / "VIDEO_TS").lexically_normal();
}

inline Bytes ReadFile(const fs::path& p, std::size_t limit = SIZE_MAX, std::size_t from = 0) {
  std::ifstream in(p, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from));
  Bytes b;
  char c;
  while (b.size() < limit && in.get(c)) b.push_back(static_cast<std::uint8_t>(c));
  return b;
}

inline void WriteFile(const fs::path& p, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// A disc folder of this process with the sample disc's IFO files; removed at exit.
inline const fs::path& ScratchDisc() {
  // Never destroyed: the exit handler that removes it runs after static destructors.
  static const fs::path* const root = [] {
    std::string pattern = (fs::temp_directory_path() / "quill-fuzz-dvd-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    const auto* dir = new fs::path(fs::path(pattern) / "VIDEO_TS");
    fs::create_directories(*dir);
    for (const auto& e : fs::directory_iterator(SampleVideoTs()))
      if (e.path().extension() != ".VOB") fs::copy_file(e.path(), *dir / e.path().filename());
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(ScratchDisc().parent_path(), ec);
    });
    return dir;
  }();
  return *root;
}

// The corpus folder: the last argument that is no option.
inline std::string CorpusDir(int argc, char** argv) {
  if (argc < 2) return {};
  const std::string dir = argv[argc - 1];
  return dir.empty() || dir[0] == '-' ? std::string() : dir;
}

inline void WriteSeed(const std::string& dir, const std::string& name, const Bytes& b) {
  if (!dir.empty() && !b.empty()) WriteFile(fs::path(dir) / name, b.data(), b.size());
}

}  // namespace fuzzdvd
