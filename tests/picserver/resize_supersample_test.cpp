// Area-averaging reduction against a model that weighs every source sample by
// the exact overlap of its square with the destination sample's area.
#include <zentra/resize.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "models.h"
#include "sample_images.h"
#include "test_heap.h"

using namespace zentra;
using namespace zentra_test;

namespace {

// Overlap of [a, b) with [j, j + 1), ignoring slivers as thin as the rounding
// of the positions.
double Overlap(double a, double b, int j) {
  double o = std::min(b, j + 1.0) - std::max(a, double(j));
  return o > 1e-7 ? o : 0.0;
}

// The mean of the covered area: sum of overlap x sample over sum of overlaps,
// within the region.
std::vector<std::vector<double>> AreaModel(const Problem& p, const std::vector<Bytes>& src) {
  const int sb = kSampleBytes[p.type];
  const int rw = std::min(p.roi.width, p.size.width - p.roi.x);
  const int rh = std::min(p.roi.height, p.size.height - p.roi.y);
  const int dw = ModelCount(p.dst.width, rw, p.xf), dh = ModelCount(p.dst.height, rh, p.yf);
  const double rx = 1.0 / p.xf, ry = 1.0 / p.yf;
  const int chans = p.layout.planar ? 1 : p.layout.channels;
  const int pixel = p.layout.planar ? 1 : p.layout.pixelStride;
  const int dpx = p.layout.planar ? 1 : (chans == 4 ? 4 : pixel);
  const int dstSamples = p.dstStep / sb;
  std::vector<std::vector<double>> out;
  for (const Bytes& plane : src) {
    std::vector<double> o(static_cast<std::size_t>(dstSamples) * p.dst.height, NAN);
    for (int i = 0; i < dh; ++i)
      for (int k = 0; k < dw; ++k)
        for (int c = 0; c < chans; ++c) {
          double sum = 0, area = 0;
          for (int r = static_cast<int>(i * ry); r < std::min(rh, static_cast<int>((i + 1) * ry) + 1); ++r) {
            double wy = Overlap(i * ry, (i + 1) * ry, r);
            for (int x = static_cast<int>(k * rx); x < std::min(rw, static_cast<int>((k + 1) * rx) + 1); ++x) {
              double w = wy * Overlap(k * rx, (k + 1) * rx, x);
              sum += w * Get(plane, p.type, static_cast<std::size_t>(p.roi.y + r) * p.srcStep +
                                                (static_cast<std::size_t>(p.roi.x + x) * pixel + c) * sb);
              area += w;
            }
          }
          o[static_cast<std::size_t>(i) * dstSamples + static_cast<std::size_t>(k) * dpx + c] = sum / area;
        }
    out.push_back(std::move(o));
  }
  return out;
}

// Integer samples are the mean rounded half up; the float accumulators of the
// fractional weights may move a mean by a little.
bool AreaMatches(int type, double model, double got) {
  if (type == 2) return std::fabs(model - got) <= 1e-4 * (1.0 + std::fabs(model));
  return std::fabs(model - got) <= 0.5 + 2e-6 * (1.0 + std::fabs(model));
}

PrimitiveStatus SuperSample(const Problem& p, const void* src, void* dst) {
  return ResizeSuperSample(src, p.size, p.srcStep, p.roi, dst, p.dstStep, p.dst, p.xf, p.yf,
                           p.layout.pixelStride, p.layout.channels, p.type, p.layout.planar ? 1 : 0);
}

void RunAndCompare(const Problem& p, std::mt19937& rng) {
  RunGuarded(
      p, rng, [&](const void* src, void* dst) { return SuperSample(p, src, dst); }, AreaModel,
      [&](double model, double got) { return AreaMatches(p.type, model, got); });
}

// Every core (three sample types by three layouts, and planar images) on random
// pictures, regions and factors, source and destination before guard pages.
TEST(ResizeSuperSample, EveryCoreMatchesTheAreaModelUnderGuardPages) {
  std::mt19937 rng(51);
  for (int type = 0; type < 3; ++type)
    for (const Layout& layout : kLayouts)
      for (int trial = 0; trial < 40; ++trial) {
        Problem p = RandomProblem(rng, type, layout, 8, 1.0);
        RunAndCompare(p, rng);
        if (HasFatalFailure()) return;
      }
}

// Factors 1/n whose reciprocal is not exactly n, regions on the image's last
// rows and columns, one-pixel images, reductions to one pixel: nothing is read
// past the region (the source ends at a guard page) and the means hold.
TEST(ResizeSuperSample, ReadsOnlyInsideTheRegion) {
  std::mt19937 rng(52);
  for (int type = 0; type < 3; ++type)
    for (const Layout& layout : kLayouts) {
      const int sb = kSampleBytes[type];
      const int px = layout.planar ? 1 : layout.pixelStride;
      const int dpx = layout.planar ? 1 : (layout.channels == 4 ? 4 : layout.pixelStride);
      for (int n = 2; n <= 13; ++n) {
        Problem p{type, layout, 8, {n, n}, n * px * sb, {0, 0, n, n}, {1, 1}, dpx * sb, 1.0 / n, 1.0 / n};
        RunAndCompare(p, rng);
        Problem q{type, layout, 8, {3 * n, 2 * n}, 3 * n * px * sb, {n, n, 2 * n, n}, {4, 4}, 4 * dpx * sb, 1.0 / n, 0.3};
        RunAndCompare(q, rng);
      }
      Problem one{type, layout, 8, {1, 1}, px * sb, {0, 0, 1, 1}, {2, 2}, 2 * dpx * sb, 1.0, 1.0};
      RunAndCompare(one, rng);
      Problem tiny{type, layout, 8, {12, 10}, 12 * px * sb, {5, 4, 50, 50}, {3, 3}, 3 * dpx * sb, 0.01, 0.001};
      RunAndCompare(tiny, rng);
      // Destination rows that cover more source rows than the byte core sums at once.
      Problem tall{type, layout, 8, {5, 200}, 5 * px * sb, {0, 0, 5, 200}, {2, 2}, 2 * dpx * sb, 0.2, 0.0075};
      RunAndCompare(tall, rng);
      if (HasFatalFailure()) return;
    }
}

TEST(ResizeSuperSample, HalvingIsTheRoundedMeanOfEachBlock) {
  std::mt19937 rng(53);
  Bytes src = RandomBytes(rng, 720 * 576), dst(360 * 288);
  ASSERT_EQ(ResizeImage(src.data(), {720, 576}, 720, {0, 0, 720, 576}, dst.data(), 360, {360, 288}, 0.5, 0.5, 8), StatusOk);
  for (int i = 0; i < 288; ++i)
    for (int k = 0; k < 360; ++k) {
      int sum = src[2 * i * 720 + 2 * k] + src[2 * i * 720 + 2 * k + 1] + src[(2 * i + 1) * 720 + 2 * k] +
                src[(2 * i + 1) * 720 + 2 * k + 1];
      ASSERT_EQ(dst[i * 360 + k], static_cast<int>(std::trunc(sum * 0.25 + 0.5))) << i << "," << k;
    }
  // Quarter size with 16-bit samples: the same rule over 4x4 blocks.
  Bytes wide = RandomSamples(rng, 1, 64 * 32), quarter(16 * 8 * 2);
  ASSERT_EQ(ResizeSuperSample(wide.data(), {64, 32}, 128, {0, 0, 64, 32}, quarter.data(), 32, {16, 8}, 0.25, 0.25, 1, 1, 1, 0), StatusOk);
  for (int i = 0; i < 8; ++i)
    for (int k = 0; k < 16; ++k) {
      double sum = 0;
      for (int r = 0; r < 4; ++r)
        for (int x = 0; x < 4; ++x) sum += Get(wide, 1, ((4 * i + r) * 64 + 4 * k + x) * 2);
      ASSERT_EQ(Get(quarter, 1, (i * 16 + k) * 2), std::trunc(sum * 0.0625 + 0.5)) << i << "," << k;
    }
}

TEST(ResizeSuperSample, FactorOneCopiesAndSharedColumnsSplit) {
  std::mt19937 rng(54);
  Bytes src = RandomBytes(rng, 31 * 17), dst(31 * 17);
  ASSERT_EQ(ResizeImage(src.data(), {31, 17}, 31, {0, 0, 31, 17}, dst.data(), 31, {31, 17}, 1.0, 1.0, 8), StatusOk);
  EXPECT_EQ(dst, src);
  // 720 to 352 columns: column 2 is shared, 0.04545... to the first destination
  // column and the rest to the second.
  Bytes row(720, 0), out(352, 0);
  row[2] = 220;
  ASSERT_EQ(ResizeImage(row.data(), {720, 1}, 720, {0, 0, 720, 1}, out.data(), 352, {352, 1}, 352.0 / 720, 1.0, 8), StatusOk);
  EXPECT_EQ(out[0], static_cast<int>(220 * (720.0 / 352 - 2) * (352.0 / 720) + 0.5));
  EXPECT_EQ(out[1], static_cast<int>(220 * (3 - 720.0 / 352) * (352.0 / 720) + 0.5));
  EXPECT_EQ(out[2], 0);
}

TEST(ResizeSuperSample, ConstantPicturesStayConstant) {
  std::mt19937 rng(55);
  std::uniform_real_distribution<double> factor(0.003, 1.0);
  for (int trial = 0; trial < 200; ++trial) {
    const int w = 1 + static_cast<int>(rng() % 90), h = 1 + static_cast<int>(rng() % 60);
    const std::uint8_t level = static_cast<std::uint8_t>(rng() % 256);
    Bytes src(static_cast<std::size_t>(w * h), level), dst(static_cast<std::size_t>(w * h), 0);
    const double xf = factor(rng), yf = factor(rng);
    ASSERT_EQ(ResizeImage(src.data(), {w, h}, w, {0, 0, w, h}, dst.data(), w, {w, h}, xf, yf, 8), StatusOk);
    const int dw = ModelCount(w, w, xf), dh = ModelCount(h, h, yf);
    for (int i = 0; i < dh; ++i)
      for (int k = 0; k < dw; ++k)
        ASSERT_EQ(dst[i * w + k], level) << w << "x" << h << " factors " << xf << "," << yf;
  }
}

// Factors far below one pixel of the region (down to a ratio that is not
// finite) give the region's mean at once.
TEST(ResizeSuperSample, VanishingFactorsTakeTheRegionsMean) {
  Bytes src(12 * 10, 77), dst(4, 0);
  for (double f : {1e-9, 1e-200, 4e-320}) {
    dst.assign(4, 0);
    ASSERT_EQ(ResizeImage(src.data(), {12, 10}, 12, {2, 3, 12, 10}, dst.data(), 2, {2, 2}, f, f, 8), StatusOk) << f;
    EXPECT_EQ(dst[0], 77) << f;
    EXPECT_EQ(dst[1], 0) << "one column only";
    for (int interpolation : {1, 2, 4}) {
      ASSERT_EQ(ResizeImage(src.data(), {12, 10}, 12, {2, 3, 12, 10}, dst.data(), 2, {2, 2}, f, f, interpolation), StatusOk);
      EXPECT_EQ(dst[0], 77) << f << " interpolation " << interpolation;
    }
  }
}

TEST(ResizeSuperSample, RoutingAndArgumentChecks) {
  Bytes src(64, 9), dst(64, 0xEE);
  // Interpolation 8 reaches the averaging only when neither factor enlarges.
  EXPECT_EQ(ResizeImage(src.data(), {8, 8}, 8, {0, 0, 8, 8}, dst.data(), 8, {8, 8}, 1.5, 0.5, 8), StatusInterpolationError);
  EXPECT_EQ(ResizeImage(src.data(), {8, 8}, 8, {0, 0, 8, 8}, dst.data(), 8, {8, 8}, 0.0, 0.5, 8), StatusResizeFactorError);
  EXPECT_EQ(ResizeImage(src.data(), {8, 8}, 8, {0, 0, 8, 8}, dst.data(), 8, {8, 8}, std::nan(""), 0.5, 8), StatusResizeFactorError);
  EXPECT_EQ(ResizeImage(src.data(), {8, 8}, 8, {0, 0, 8, 8}, dst.data(), 8, {8, 8}, -1.0, 0.5, 8), StatusResizeFactorError);
  EXPECT_EQ(ResizeImage(nullptr, {0, 0}, 0, {-1, 0, 0, 0}, dst.data(), 0, {0, 0}, 0.5, 0.5, 8), StatusNullPointer);
  EXPECT_EQ(ResizeImage(src.data(), {8, 0}, 8, {0, 0, 8, 8}, dst.data(), 8, {8, 8}, 0.5, 0.5, 8), StatusSizeError);
  EXPECT_EQ(ResizeImage(src.data(), {8, 8}, 8, {0, 0, 8, 8}, dst.data(), 0, {8, 8}, 0.5, 0.5, 8), StatusStepError);
  EXPECT_EQ(ResizeImage(src.data(), {8, 8}, 8, {0, 0, 8, 8}, dst.data(), 8, {0, 8}, 0.5, 0.5, 8), StatusSizeError);
  EXPECT_EQ(ResizeImage(src.data(), {8, 8}, 8, {0, 8, 8, 8}, dst.data(), 8, {8, 8}, 0.0, 0.5, 8), StatusRoiOutside);
  EXPECT_EQ(ResizeSuperSample(src.data(), {8, 8}, 8, {0, 0, 8, 8}, dst.data(), 8, {8, 8}, 2.0, 0.5, 1, 1, 0, 0), StatusInterpolationError);
  for (auto b : dst) ASSERT_EQ(b, 0xEE);
  // A mixed call: x shrinks, y stays; the result is the averaging's.
  ASSERT_EQ(ResizeImage(src.data(), {8, 8}, 8, {0, 0, 8, 8}, dst.data(), 8, {8, 8}, 0.5, 1.0, 8), StatusOk);
  EXPECT_EQ(dst[0], 9);
  EXPECT_EQ(dst[4], 0xEE);
}

// The 128-bit and 256-bit builds of the byte passes give the same bytes.
TEST(ResizeSuperSample, BuildsOfTheBytePassesAgree) {
  if (!SuperSampleBuildRuns(kSuperSampleBuildAvx2)) GTEST_SKIP() << "processor without AVX2";
  std::mt19937 rng(57);
  for (int trial = 0; trial < 150; ++trial) {
    Problem p = RandomProblem(rng, 0, kLayouts[0], 8, 1.0);
    p.size.width += 40 * (trial % 3);  // rows long enough for the 32-column steps
    p.srcStep += 40 * (trial % 3);
    p.roi.width += 40 * (trial % 3);
    Bytes src = RandomBytes(rng, static_cast<std::size_t>(p.srcStep * p.size.height));
    Bytes a(static_cast<std::size_t>(p.dstStep * p.dst.height), 0x5A), b = a;
    for (auto [build, out] : {std::pair{kSuperSampleBuildSse2, &a}, {kSuperSampleBuildAvx2, &b}})
      ASSERT_EQ(ResizeSuperSampleWith(build, src.data(), p.size, p.srcStep, p.roi, out->data(), p.dstStep,
                                      p.dst, p.xf, p.yf, 1, 1, 0, 0),
                StatusOk);
    ASSERT_EQ(a, b) << Describe(p);
  }
}

// Whole ratios both ways are sums of whole samples: exact 32-bit integer sums,
// then trunc(sum x area + 0.5). Each picture's mean is exactly halfway between
// b and b + 1 and its sum lies beyond 2^24, where float sums lose units:
// added up in float, row by row or column by column four columns at a time,
// one of the orders rounds the mean the other way.
TEST(ResizeSuperSample, WholeRatiosSumExactly) {
  struct Case { int w, h; };
  for (const Case c : {Case{300, 300}, Case{4, 24000}, Case{3, 30000}}) {
    // Column j holds 200 in its upper half of rows and 201 in its lower half
    // plus e_j rows; the e_j (one more in columns 280, 284, ..., 296, one
    // fewer in 0, 4, ..., 16) add up to 0.
    Bytes src(static_cast<std::size_t>(c.w) * c.h, 200);
    for (int j = 0; j < c.w; ++j) {
      const int e = c.w < 300 ? 0 : (j % 4 == 0 && j >= 280 ? 1 : (j % 4 == 0 && j < 20 ? -1 : 0));
      for (int r = c.h / 2 - e; r < c.h; ++r) src[static_cast<std::size_t>(r) * c.w + j] = 201;
    }
    std::int64_t sum = 0;
    float byRows = 0.0f, byColumns = 0.0f;
    std::vector<float> columns(static_cast<std::size_t>(c.w), 0.0f);
    for (std::size_t i = 0; i < src.size(); ++i) sum += src[i], byRows += src[i], columns[i % c.w] += src[i];
    for (int j = 0; j < c.w; j += 4) {
      float group = 0.0f;
      for (int t = j; t < std::min(j + 4, c.w); ++t) group += columns[static_cast<std::size_t>(t)];
      byColumns += group;
    }
    const double xf = 1.0 / c.w, yf = 1.0 / c.h, area = yf * xf;
    auto mean = [&](double s) { return static_cast<int>(std::trunc(s * area + 0.5)); };
    const int want = mean(static_cast<double>(sum));
    ASSERT_TRUE(mean(byRows) != want || mean(byColumns) != want) << c.w << "x" << c.h;
    for (int build : {kSuperSampleBuildSse2, kSuperSampleBuildAvx2}) {
      if (!SuperSampleBuildRuns(build)) continue;
      std::uint8_t dst[2] = {0, 0x5A};
      ASSERT_EQ(ResizeSuperSampleWith(build, src.data(), {c.w, c.h}, c.w, {0, 0, c.w, c.h}, dst, 1, {1, 1}, xf, yf,
                                      1, 1, 0, 0),
                StatusOk);
      EXPECT_EQ(dst[0], want) << c.w << "x" << c.h << " build " << build;
      EXPECT_EQ(dst[1], 0x5A);
    }
  }
  // Random pictures and whole ratios, narrow taps and wide: every sample is
  // the rounded exact mean, in both builds.
  std::mt19937 rng(58);
  for (int trial = 0; trial < 60; ++trial) {
    const int nx = 1 + static_cast<int>(rng() % 7), ny = 1 + static_cast<int>(rng() % 7);
    const int dw = 1 + static_cast<int>(rng() % 40), dh = 1 + static_cast<int>(rng() % 20);
    const int w = dw * nx, h = dh * ny;
    const Bytes src = RandomBytes(rng, static_cast<std::size_t>(w) * h);
    const double xf = 1.0 / nx, yf = 1.0 / ny;
    for (int build : {kSuperSampleBuildSse2, kSuperSampleBuildAvx2}) {
      if (!SuperSampleBuildRuns(build)) continue;
      Bytes dst(static_cast<std::size_t>(dw) * dh, 0);
      ASSERT_EQ(ResizeSuperSampleWith(build, src.data(), {w, h}, w, {0, 0, w, h}, dst.data(), dw, {dw, dh}, xf, yf,
                                      1, 1, 0, 0),
                StatusOk);
      for (int i = 0; i < dh; ++i)
        for (int k = 0; k < dw; ++k) {
          std::int64_t sum = 0;
          for (int r = 0; r < ny; ++r)
            for (int x = 0; x < nx; ++x) sum += src[static_cast<std::size_t>(i * ny + r) * w + k * nx + x];
          ASSERT_EQ(dst[static_cast<std::size_t>(i) * dw + k], static_cast<int>(std::trunc(sum * (yf * xf) + 0.5)))
              << nx << "x" << ny << " ratio, sample " << i << "," << k << " build " << build;
        }
    }
  }
}

TEST(ResizeSuperSample, AllocationFailureFreesEverythingAndWritesNothing) {
  std::mt19937 rng(56);
  Bytes src = RandomBytes(rng, 40 * 40);
  ExpectNoMemoryAtEveryAllocation(12, 30 * 30, [&](std::uint8_t* dst) {
    return ResizeImage(src.data(), {40, 40}, 40, {0, 0, 40, 40}, dst, 30, {30, 30}, 0.7, 0.6, 8);
  });
}

}  // namespace
