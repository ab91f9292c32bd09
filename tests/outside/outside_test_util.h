// Helpers of the outside servers' tests: an apartment per test, the sample disc, scratch
// folders and copies of the disc, open descriptors.
#pragma once

#include <com/com.h>
#include <com/comptr.h>
#include <com/errorinfo.h>
#include <com/strings.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace outsidetest {

namespace fs = std::filesystem;

// <build>/sample-dvd, built by the sample_dvd target; tests live in <build>/bin.
inline fs::path SampleDisc() {
  const char* bin = std::getenv("QUILLMERE_BUILD_BIN");
  const fs::path dir = bin && *bin ? fs::path(bin) : fs::read_symlink("/proc/self/exe").parent_path();
  return (dir / ".." / "sample-dvd").lexically_normal();
}
inline std::string SampleVideoTs() { return (SampleDisc() / "VIDEO_TS").lexically_normal().string(); }

// Open file descriptors of this process, to see that a run leaves none behind.
inline int OpenDescriptors() {
  int n = 0;
  for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it) ++n;
  return n;
}

// A scratch folder removed when the test ends.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "quill-outside-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  // A copy of the sample disc's VIDEO_TS inside this folder; returns its path.
  fs::path CopySample() const {
    fs::create_directories(path_ / "VIDEO_TS");
    fs::copy(SampleDisc() / "VIDEO_TS", path_ / "VIDEO_TS",
             fs::copy_options::overwrite_existing | fs::copy_options::recursive);
    return path_ / "VIDEO_TS";
  }

 private:
  fs::path path_;
};

// Cuts an IFO file ("VTS_01_0") and its backup copy short, as on a damaged disc.
inline void TruncateIfo(const fs::path& disc, const std::string& name, std::uintmax_t size) {
  fs::resize_file(disc / (name + ".IFO"), size);
  fs::resize_file(disc / (name + ".BUP"), size);
}

// Each test runs in its own apartment.
class ComTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_GE(CoInitialize(nullptr), 0); }
  void TearDown() override { CoUninitialize(); }
};

template <class I>
ComPtr<I> Create(REFCLSID clsid, REFIID iid) {
  ComPtr<I> p;
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, p.put_void());
  EXPECT_GE(hr, 0) << "CoCreateInstance failed";
  return p;
}

inline std::string TakeString(BSTR b) {
  std::string s = BstrToUtf8(b);
  SysFreeString(b);
  return s;
}

}  // namespace outsidetest
