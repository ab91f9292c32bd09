#include <zentra/resize.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "models.h"
#include "test_heap.h"

using namespace zentra;
using namespace zentra_test;

namespace {


PrimitiveStatus Resize(const Bytes& src, ImageSize size, int srcStep, ImageRect roi, Bytes& dst,
                       int dstStep, ImageSize dstSize, double xf, double yf, int interpolation = 2) {
  return ResizeImage(src.data(), size, srcStep, roi, dst.data(), dstStep, dstSize, xf, yf, interpolation);
}

TEST(ResizeImage, ArgumentChecksInOrderWriteNothing) {
  Bytes src(64, 7), dst(64, 0xEE);
  const ImageSize s{8, 8};
  const ImageRect r{0, 0, 8, 8};
  auto call = [&](const std::uint8_t* ps, std::uint8_t* pd, ImageSize size, int ss, ImageRect roi,
                  int ds, ImageSize dsz, double xf, double yf, int ip) {
    return ResizeImage(ps, size, ss, roi, pd, ds, dsz, xf, yf, ip);
  };
  // A null pointer is found before every other fault.
  EXPECT_EQ(call(nullptr, dst.data(), {0, 0}, 0, {-1, -1, 0, 0}, 0, {0, 0}, 0, 0, 3), StatusNullPointer);
  EXPECT_EQ(call(src.data(), nullptr, s, 8, r, 8, s, 1, 1, 2), StatusNullPointer);
  EXPECT_EQ(call(src.data(), dst.data(), {0, 8}, 0, r, 8, s, 1, 1, 2), StatusSizeError);
  EXPECT_EQ(call(src.data(), dst.data(), s, 0, r, 8, s, 1, 1, 2), StatusStepError);
  EXPECT_EQ(call(src.data(), dst.data(), s, 8, r, -8, s, 1, 1, 2), StatusStepError);
  EXPECT_EQ(call(src.data(), dst.data(), s, 8, {-1, 0, 8, 8}, 8, s, 0, 1, 2), StatusSizeError);
  EXPECT_EQ(call(src.data(), dst.data(), s, 8, {0, 0, 0, 8}, 8, s, 1, 1, 2), StatusSizeError);
  EXPECT_EQ(call(src.data(), dst.data(), s, 8, r, 8, {8, 0}, 1, 1, 2), StatusSizeError);
  EXPECT_EQ(call(src.data(), dst.data(), s, 8, {8, 0, 4, 4}, 8, s, 0, 1, 3), StatusRoiOutside);
  EXPECT_EQ(call(src.data(), dst.data(), s, 8, {0, 9, 4, 4}, 8, s, 1, 1, 2), StatusRoiOutside);
  EXPECT_EQ(call(src.data(), dst.data(), s, 8, r, 8, s, 0.0, 1, 3), StatusResizeFactorError);
  EXPECT_EQ(call(src.data(), dst.data(), s, 8, r, 8, s, 1, -2.0, 2), StatusResizeFactorError);
  EXPECT_EQ(call(src.data(), dst.data(), s, 8, r, 8, s, std::nan(""), 1, 2), StatusResizeFactorError);
  EXPECT_EQ(call(src.data(), dst.data(), s, 8, r, 8, s, 1, 1, 3), StatusInterpolationError);
  EXPECT_EQ(call(src.data(), dst.data(), s, 8, r, 8, s, 1.5, 1, 8), StatusInterpolationError);
  for (auto b : dst) ASSERT_EQ(b, 0xEE);
}

TEST(ResizeImage, FactorOneCopiesTheRegion) {
  std::mt19937 rng(1);
  Bytes src = RandomBytes(rng, 37 * 23), dst(37 * 23, 0);
  ASSERT_EQ(Resize(src, {37, 23}, 37, {0, 0, 37, 23}, dst, 37, {37, 23}, 1.0, 1.0), StatusOk);
  EXPECT_EQ(dst, src);
}

TEST(ResizeImage, OneColumnOrRowSamplesTheRegionStart) {
  std::mt19937 rng(2);
  Bytes src = RandomBytes(rng, 20 * 10), dst(10, 0);
  ASSERT_EQ(Resize(src, {20, 10}, 20, {3, 0, 10, 10}, dst, 1, {1, 10}, 0.05, 1.0), StatusOk);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(dst[i], src[i * 20 + 3]) << i;
  Bytes row(20, 0);
  ASSERT_EQ(Resize(src, {20, 10}, 20, {0, 2, 20, 8}, row, 20, {20, 1}, 1.0, 0.1), StatusOk);
  for (int k = 0; k < 20; ++k) EXPECT_EQ(row[k], src[2 * 20 + k]) << k;
}

TEST(ResizeImage, TinySourcesUseNearestNeighbour) {
  Bytes src = {10, 20, 30, 40};  // one column, four rows
  Bytes dst(6 * 8, 0);
  ASSERT_EQ(Resize(src, {1, 4}, 1, {0, 0, 1, 4}, dst, 6, {6, 8}, 6.0, 2.0), StatusOk);
  for (int i = 0; i < 8; ++i)
    for (int k = 0; k < 6; ++k) EXPECT_EQ(dst[i * 6 + k], src[i / 2]) << i << "," << k;
}

TEST(ResizeImage, WritesOnlyTheScaledCountOfColumnsAndRows) {
  std::mt19937 rng(3);
  Bytes src = RandomBytes(rng, 10 * 10), dst(30 * 30, 0xEE);
  ASSERT_EQ(Resize(src, {10, 10}, 10, {0, 0, 10, 10}, dst, 30, {30, 30}, 1.5, 2.0), StatusOk);
  for (int i = 0; i < 30; ++i)
    for (int k = 0; k < 30; ++k) {
      bool written = k < 15 && i < 20;
      if (!written) {
        EXPECT_EQ(dst[i * 30 + k], 0xEE) << i << "," << k;
      }
    }
}

TEST(ResizeImage, UpscaleEndsOnTheLastSourceSample) {
  std::mt19937 rng(4);
  Bytes src = RandomBytes(rng, 352 * 2), dst(720 * 2, 0);
  double f = 720.0 / 352.0;
  ASSERT_EQ(Resize(src, {352, 2}, 352, {0, 0, 352, 2}, dst, 720, {720, 2}, f, 1.0), StatusOk);
  EXPECT_EQ(dst[719], src[351]);
  EXPECT_EQ(dst[720 + 719], src[352 + 351]);
  EXPECT_EQ(dst[0], src[0]);
}

TEST(ResizeImage, RegionsPastTheEdgeAreClipped) {
  std::mt19937 rng(5);
  Bytes src = RandomBytes(rng, 16 * 12);
  Bytes clipped(16 * 12, 0);
  ASSERT_EQ(Resize(src, {16, 12}, 16, {4, 3, 100, 100}, clipped, 16, {16, 12}, 1.0, 1.0), StatusOk);
  for (int i = 0; i < 9; ++i)
    for (int k = 0; k < 12; ++k) EXPECT_EQ(clipped[i * 16 + k], src[(i + 3) * 16 + k + 4]);
  EXPECT_EQ(clipped[9 * 16], 0) << "rows beyond the clipped region stay untouched";
}

TEST(ResizeImage, AllocationFailureReturnsNoMemoryAndWritesNothing) {
  std::mt19937 rng(6);
  Bytes src = RandomBytes(rng, 64 * 64);
  for (int allowed = 0; allowed < 6; ++allowed) {
    Bytes dst(32 * 32, 0xEE);
    zentra_test::ScopedHeap heap(allowed);
    EXPECT_EQ(Resize(src, {64, 64}, 64, {0, 0, 64, 64}, dst, 32, {32, 32}, 0.5, 0.5), StatusNoMemory);
    for (auto b : dst) ASSERT_EQ(b, 0xEE);
    EXPECT_EQ(zentra_test::Log().released.size(), zentra_test::Log().blocks.size()) << "every block freed";
  }
}

// The two builds of the linear kernels against each other and against the model,
// on random pictures, regions and factors, including regions on the last row or
// column and destination sizes that cut the scaled picture.
TEST(ResizeImage, BuildsMatchEachOtherAndTheFormula) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> side(2, 90);
  std::uniform_real_distribution<double> factor(0.05, 4.0);
  for (int trial = 0; trial < 400; ++trial) {
    ImageSize size{side(rng), side(rng)};
    int srcStep = size.width + std::uniform_int_distribution<int>(0, 5)(rng);
    Bytes src = RandomBytes(rng, static_cast<std::size_t>(srcStep * size.height + 2));
    ImageRect roi{std::uniform_int_distribution<int>(0, size.width - 1)(rng),
                  std::uniform_int_distribution<int>(0, size.height - 1)(rng), side(rng), side(rng)};
    double xf = trial % 10 == 0 ? 1.0 : factor(rng);
    double yf = trial % 13 == 0 ? 0.5 : factor(rng);
    ImageSize dstSize{std::uniform_int_distribution<int>(1, 120)(rng),
                      std::uniform_int_distribution<int>(1, 120)(rng)};
    int dstStep = dstSize.width + 3;
    Bytes model(static_cast<std::size_t>(dstStep * dstSize.height), 0x5A);
    ModelLinear(src, size, srcStep, roi, model, dstStep, dstSize, xf, yf);
    for (const auto& build : ResizeLinear8uBuilds) {
      Bytes dst(model.size(), 0x5A);
      ASSERT_EQ(ResizeInterpolatedWith(build, src.data(), size, srcStep, roi, dst.data(), dstStep,
                                       dstSize, xf, yf, 1, 1, 0, 0, 2),
                StatusOk);
      ASSERT_EQ(dst, model) << build.name << " trial " << trial << " size " << size.width << "x"
                            << size.height << " roi " << roi.x << "," << roi.y << " factors " << xf
                            << "," << yf;
    }
  }
}

TEST(ResizeLinearKernels, BuildsAgreeOnRandomRows) {
  std::mt19937 rng(8);
  for (int count = 1; count <= 41; ++count) {
    Bytes src = RandomBytes(rng, static_cast<std::size_t>(count * 2 + 2));
    std::vector<std::int32_t> offsets(count);
    std::vector<std::int16_t> weights(2 * count);
    for (int k = 0; k < count; ++k) {
      offsets[k] = std::uniform_int_distribution<int>(0, count * 2)(rng);
      int f = k % 5 == 0 ? (k % 2 ? 16384 : 0) : std::uniform_int_distribution<int>(0, 16384)(rng);
      weights[2 * k] = static_cast<std::int16_t>(16384 - f);
      weights[2 * k + 1] = static_cast<std::int16_t>(f);
    }
    std::vector<std::int16_t> a(count), b(count);
    InterpolateRowLinear8u_C(src.data(), count, offsets.data(), weights.data(), a.data());
    InterpolateRowLinear8u_Sse2(src.data(), count, offsets.data(), weights.data(), b.data());
    ASSERT_EQ(a, b) << count;

    std::vector<std::int16_t> upper(count), lower(count);
    for (int k = 0; k < count; ++k) {
      upper[k] = static_cast<std::int16_t>(std::uniform_int_distribution<int>(0, 16320)(rng));
      lower[k] = static_cast<std::int16_t>(k % 3 ? 16320 : 0);
    }
    for (int w : {0, 1, 8191, 16383, 16384}) {
      Bytes c(count + 1, 0xEE), s(count + 1, 0xEE);
      BlendRowsLinear8u_C(c.data(), count, w, upper.data(), lower.data());
      BlendRowsLinear8u_Sse2(s.data(), count, w, upper.data(), lower.data());
      ASSERT_EQ(c, s) << count << " weight " << w;
      EXPECT_EQ(s[count], 0xEE) << "nothing past the row";
    }
  }
}

}  // namespace
