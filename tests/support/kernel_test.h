// Helpers for testing kernels build against build: suites parameterised by the
// build (skipped where the processor lacks its instruction set), buffers that end
// or begin at an inaccessible page, and random samples with the extremes mixed in.
#pragma once

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace zentra_test {

// The newest instruction set a build uses.
enum class Isa { Plain, Sse2, Sse3, Ssse3, Sse41, Avx2 };

inline bool IsaAvailable(Isa isa) {
  __builtin_cpu_init();
  switch (isa) {
    case Isa::Plain: return true;
    case Isa::Sse2: return __builtin_cpu_supports("sse2") != 0;
    case Isa::Sse3: return __builtin_cpu_supports("sse3") != 0;
    case Isa::Ssse3: return __builtin_cpu_supports("ssse3") != 0;
    case Isa::Sse41: return __builtin_cpu_supports("sse4.1") != 0;
    case Isa::Avx2: return __builtin_cpu_supports("avx2") != 0;
  }
  return false;
}

// One build of an operation as a test parameter: its name (the test name
// suffix), the function, the instruction set it needs and the formula it must
// meet, which the suite's model takes to pick the variant it computes.
template <typename Fn, typename Formula = int>
struct Build {
  const char* name;
  Fn fn;
  Isa isa = Isa::Plain;
  Formula formula = {};
};

// Names parameterised tests after the build: INSTANTIATE_TEST_SUITE_P(..., BuildName()).
struct BuildName {
  template <typename P>
  std::string operator()(const ::testing::TestParamInfo<P>& info) const {
    return info.param.name;
  }
};

// A suite whose parameter is a Build: each test is skipped where the processor
// lacks the build's instruction set.
template <typename P>
class BuildTest : public ::testing::TestWithParam<P> {
 protected:
  void SetUp() override {
    if (!IsaAvailable(this->GetParam().isa)) GTEST_SKIP() << "processor lacks the instruction set of " << this->GetParam().name;
  }
  const P& build() const { return this->GetParam(); }
};

// Bytes whose first or last byte touches an inaccessible page, so that a kernel
// reading or writing outside them faults at once.
class GuardedBuffer {
 public:
  enum class Guard { After, Before };

  explicit GuardedBuffer(std::size_t bytes, Guard guard = Guard::After) : bytes_(bytes) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t dataPages = (bytes + page - 1) / page;
    mapped_ = (dataPages + 2) * page;
    void* m = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) throw std::bad_alloc();
    base_ = static_cast<std::uint8_t*>(m);
    mprotect(base_, page, PROT_NONE);
    mprotect(base_ + (dataPages + 1) * page, page, PROT_NONE);
    data_ = guard == Guard::After ? base_ + (dataPages + 1) * page - bytes : base_ + page;
    std::memset(data_, 0, bytes);
  }
  ~GuardedBuffer() { munmap(base_, mapped_); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  std::uint8_t* data() { return data_; }
  std::size_t size() const { return bytes_; }
  template <typename T>
  T* as() {
    return reinterpret_cast<T*>(data_);
  }
  void Fill(const std::vector<std::uint8_t>& bytes) { std::memcpy(data_, bytes.data(), std::min(bytes.size(), bytes_)); }

 private:
  std::size_t bytes_;
  std::size_t mapped_ = 0;
  std::uint8_t* base_ = nullptr;
  std::uint8_t* data_ = nullptr;
};

using Bytes = std::vector<std::uint8_t>;

// Random samples with the extremes mixed in every `extremeStep` bytes, where
// saturation and rounding show.
inline Bytes RandomBytes(std::mt19937& rng, std::size_t n, std::size_t extremeStep = 7) {
  Bytes b(n);
  std::uniform_int_distribution<int> d(0, 255);
  for (auto& x : b) x = static_cast<std::uint8_t>(d(rng));
  for (std::size_t i = 0; i < n; i += extremeStep) b[i] = (i / extremeStep) % 2 ? 255 : 0;
  return b;
}

// Random 16-bit values in lo..hi.
inline std::vector<std::int16_t> RandomShorts(std::mt19937& rng, std::size_t n, int lo, int hi) {
  std::vector<std::int16_t> v(n);
  std::uniform_int_distribution<int> d(lo, hi);
  for (auto& x : v) x = static_cast<std::int16_t>(d(rng));
  return v;
}

}  // namespace zentra_test
