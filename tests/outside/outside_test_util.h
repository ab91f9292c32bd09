// Helpers of the outside servers' tests: an apartment per test, the sample disc, scratch
// folders and copies of the disc, open descriptors.
#pragma once

#include <com/com.h>
#include <com/comptr.h>
#include <com/errorinfo.h>
#include <com/strings.h>

#include <gtest/gtest.h>
#include <support/files.h>
#include <support/scratch_dir.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

namespace outsidetest {

namespace fs = std::filesystem;

// <build>/sample-dvd, built by the sample_dvd target; tests live in <build>/bin.
inline fs::path SampleDisc() { return (quill_test::BuildBin() / ".." / "sample-dvd").lexically_normal(); }
inline std::string SampleVideoTs() { return (SampleDisc() / "VIDEO_TS").lexically_normal().string(); }
// <build>/detailed-dvd/VIDEO_TS: title 1 (VTS_01) a 16:9 PAL minute of detailed, noisy pictures,
// title 2 (VTS_02) a 4:3 NTSC minute of a slow pan over a detailed still (target detailed_dvd).
inline std::string DetailedVideoTs() {
  return (quill_test::BuildBin() / ".." / "detailed-dvd" / "VIDEO_TS").lexically_normal().string();
}

using quill_test::OpenDescriptors;

// A scratch folder removed when the test ends.
class ScratchDir : public quill_test::ScratchDir {
 public:
  ScratchDir() : quill_test::ScratchDir("quill-outside") {}
  // A copy of the sample disc's VIDEO_TS inside this folder; returns its path.
  fs::path CopySample() const {
    fs::create_directories(path() / "VIDEO_TS");
    fs::copy(SampleDisc() / "VIDEO_TS", path() / "VIDEO_TS",
             fs::copy_options::overwrite_existing | fs::copy_options::recursive);
    return path() / "VIDEO_TS";
  }
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

// While it lives, runs started set QUILLMERE_SERIAL: the servers do their work one picture
// at a time in the calling thread, as the reference for their pipelined runs.
class SerialServers {
 public:
  explicit SerialServers(bool serial = true) {
    if (serial) setenv("QUILLMERE_SERIAL", "1", 1);
    else unsetenv("QUILLMERE_SERIAL");
  }
  ~SerialServers() { unsetenv("QUILLMERE_SERIAL"); }
  SerialServers(const SerialServers&) = delete;
  SerialServers& operator=(const SerialServers&) = delete;
};

// Resident memory of this process, in bytes.
inline std::size_t ResidentBytes() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<std::size_t>(resident) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// A 64-bit FNV-1a digest of the bytes, to compare long runs of pictures without keeping them.
inline std::uint64_t Digest(const void* data, std::size_t bytes, std::uint64_t h = 1469598103934665603ull) {
  const auto* p = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < bytes; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

template <class I>
ComPtr<I> Create(REFCLSID clsid, REFIID iid) {
  ComPtr<I> p;
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, p.put_void());
  EXPECT_GE(hr, 0) << "CoCreateInstance failed";
  return p;
}

// Runs body on a thread of its own, in an apartment of its own, and waits for it at most
// `limit`: reading that goes round in circles or waits for good must fail the test at once
// (the process ends, since such a thread cannot be stopped), not stall the suite.
inline void EndsWithin(std::chrono::seconds limit, std::function<void()> body) {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> ended = done->get_future();
  std::thread([done, body = std::move(body)] {
    CoInitialize(nullptr);
    body();
    CoUninitialize();
    done->set_value();
  }).detach();
  if (ended.wait_for(limit) != std::future_status::ready) {
    std::fprintf(stderr, "The test's reading did not end within %lld seconds: it loops or hangs.\n",
                 static_cast<long long>(limit.count()));
    std::_Exit(1);
  }
}

inline std::string TakeString(BSTR b) {
  std::string s = BstrToUtf8(b);
  SysFreeString(b);
  return s;
}

}  // namespace outsidetest
