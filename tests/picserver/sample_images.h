// Images of every sample type and channel layout that the resize primitives
// take, for the tests that run them against their models.
#pragma once

#include <cstdint>
#include <gtest/gtest.h>
#include <zentra/resize.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>


#include "models.h"
#include "test_heap.h"

namespace zentra_test {

using zentra::ImageRect;
using zentra::ImageSize;

// One image layout as the core takes it.
struct Layout {
  const char* name;
  int channels;
  int pixelStride;
  bool planar;
};
inline const Layout kLayouts[] = {{"C1", 1, 1, false}, {"C3", 3, 3, false}, {"C3in4", 3, 4, false},
                           {"C4", 4, 4, false}, {"P3", 3, 1, true},  {"P4", 4, 1, true}};
inline constexpr int kSampleBytes[] = {1, 2, 4};

// A sample of any type as a double.
inline double Get(const Bytes& b, int type, std::size_t byteOffset) {
  if (type == 0) return b[byteOffset];
  if (type == 1) {
    std::uint16_t v;
    std::memcpy(&v, &b[byteOffset], 2);
    return v;
  }
  float f;
  std::memcpy(&f, &b[byteOffset], 4);
  return f;
}

inline Bytes RandomSamples(std::mt19937& rng, int type, std::size_t samples) {
  Bytes b(samples * kSampleBytes[type]);
  for (std::size_t i = 0; i < samples; ++i) {
    if (type == 0) {
      b[i] = static_cast<std::uint8_t>(i % 9 == 0 ? (i % 2 ? 255 : 0) : rng() % 256);
    } else if (type == 1) {
      auto v = static_cast<std::uint16_t>(i % 9 == 0 ? (i % 2 ? 65535 : 0) : rng() % 65536);
      std::memcpy(&b[2 * i], &v, 2);
    } else {
      float f = std::uniform_real_distribution<float>(-50.0f, 300.0f)(rng);
      std::memcpy(&b[4 * i], &f, 4);
    }
  }
  return b;
}

struct Problem {
  int type;
  Layout layout;
  int interpolation;
  ImageSize size;
  int srcStep;  // bytes
  ImageRect roi;
  ImageSize dst;
  int dstStep;  // bytes
  double xf, yf;
};

inline std::string Describe(const Problem& p) {
  return std::string(p.layout.name) + " type " + std::to_string(p.type) + " interp " +
         std::to_string(p.interpolation) + " size " + std::to_string(p.size.width) + "x" +
         std::to_string(p.size.height) + " roi " + std::to_string(p.roi.x) + "," +
         std::to_string(p.roi.y) + " " + std::to_string(p.roi.width) + "x" +
         std::to_string(p.roi.height) + " dst " + std::to_string(p.dst.width) + "x" +
         std::to_string(p.dst.height) + " factors " + std::to_string(p.xf) + "," + std::to_string(p.yf);
}

// Runs a resize on a problem with the source planes at the end of guarded
// buffers and the destination planes too; compares every sample, written or not.
template <typename Call, typename ModelFn, typename Match>
void RunGuarded(const Problem& p, std::mt19937& rng, Call call, ModelFn model, Match match) {
  const int planes = p.layout.planar ? p.layout.channels : 1;
  const int sb = kSampleBytes[p.type];
  const int samplesPerRow = p.layout.planar ? p.size.width : p.size.width * p.layout.pixelStride;
  const std::size_t srcBytes = static_cast<std::size_t>(p.srcStep) * (p.size.height - 1) +
                               static_cast<std::size_t>(samplesPerRow) * sb;
  const std::size_t dstBytes = static_cast<std::size_t>(p.dstStep) * p.dst.height;
  std::vector<Bytes> src;
  std::vector<std::unique_ptr<GuardedBuffer>> srcBuf, dstBuf;
  const void* srcPtrs[4];
  void* dstPtrs[4];
  for (int k = 0; k < planes; ++k) {
    src.push_back(RandomSamples(rng, p.type, srcBytes / sb));
    srcBuf.push_back(std::make_unique<GuardedBuffer>(srcBytes));
    srcBuf.back()->Fill(src.back());
    dstBuf.push_back(std::make_unique<GuardedBuffer>(dstBytes));
    std::memset(dstBuf.back()->data(), 0x5A, dstBytes);
    srcPtrs[k] = srcBuf.back()->data();
    dstPtrs[k] = dstBuf.back()->data();
  }
  const void* srcArg = p.layout.planar ? static_cast<const void*>(srcPtrs) : srcPtrs[0];
  void* dstArg = p.layout.planar ? static_cast<void*>(dstPtrs) : dstPtrs[0];
  ASSERT_EQ(call(srcArg, dstArg), zentra::StatusOk) << Describe(p);
  const auto expected = model(p, src);
  Bytes untouched(static_cast<std::size_t>(sb), 0x5A);
  for (int k = 0; k < planes; ++k) {
    Bytes got(dstBuf[k]->data(), dstBuf[k]->data() + dstBytes);
    for (std::size_t s = 0; s < expected[k].size(); ++s) {
      const std::size_t at = s * sb;
      if (std::isnan(expected[k][s])) {
        ASSERT_TRUE(std::equal(untouched.begin(), untouched.end(), got.begin() + static_cast<long>(at)))
            << "sample " << s << " written, " << Describe(p);
      } else {
        ASSERT_TRUE(match(expected[k][s], Get(got, p.type, at)))
            << "plane " << k << " sample " << s << ": model " << expected[k][s] << " got "
            << Get(got, p.type, at) << ", " << Describe(p);
      }
    }
  }
}

inline Problem RandomProblem(std::mt19937& rng, int type, const Layout& layout, int interpolation,
                             double maxFactor = 3.5) {
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  Problem p;
  p.type = type, p.layout = layout, p.interpolation = interpolation;
  p.size = {uni(1, 40), uni(1, 30)};
  const int sb = kSampleBytes[type];
  const int rowSamples = layout.planar ? p.size.width : p.size.width * layout.pixelStride;
  p.srcStep = (rowSamples + uni(0, 3)) * sb;
  p.roi = {uni(0, p.size.width - 1), uni(0, p.size.height - 1), uni(1, 45), uni(1, 35)};
  const double factors[] = {1.0, 2.0, 0.5, 0.25, 3.0, 0.75};
  auto pick = [&] { double f = factors[uni(0, 5)]; return f > maxFactor ? 1.0 / f : f; };
  auto factor = [&] {
    return uni(0, 2) == 0 ? pick() : std::uniform_real_distribution<double>(0.1, maxFactor)(rng);
  };
  p.xf = factor(), p.yf = factor();
  p.dst = {uni(1, 70), uni(1, 70)};
  const int dstRow = layout.planar ? p.dst.width : p.dst.width * (layout.channels == 4 ? 4 : layout.pixelStride);
  p.dstStep = (dstRow + uni(0, 2)) * sb;
  return p;
}

// Lets the first 0 .. blocks-1 allocations of a call succeed and the next one
// fail: every time the call reports -9, writes nothing into dst and frees what
// it took.
template <typename Call>
void ExpectNoMemoryAtEveryAllocation(int blocks, std::size_t dstBytes, Call call) {
  for (int allowed = 0; allowed < blocks; ++allowed) {
    Bytes dst(dstBytes, 0xEE);
    ScopedHeap heap(allowed);
    EXPECT_EQ(call(dst.data()), zentra::StatusNoMemory) << allowed;
    for (auto b : dst) ASSERT_EQ(b, 0xEE);
    EXPECT_EQ(Log().released.size(), Log().blocks.size()) << "every block freed";
  }
}

}  // namespace zentra_test
