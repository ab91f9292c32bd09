// The interpolating resize's whole family (nearest, linear, cubic; 8-bit, 16-bit
// and float samples; one, three and four channels and planar images) against
// double-precision models written from the formulas, sample by sample.
#include <zentra/resize.h>
#include <zentra/resize_drivers.h>

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sample_images.h"
#include "models.h"
#include "test_heap.h"

using namespace zentra;
using namespace zentra_test;

namespace {

// ---- Axis models: positions accumulated by the step from the first position.

struct AxisModel {
  std::vector<int> index;      // tap index relative to the region
  std::vector<double> weight;  // Q14 weight, fraction or cubic position
};

double LinearStepModel(int region, double factor) {
  double scaled = region * factor;
  return scaled > 1.0 ? (region - 1) * (1.0 / (scaled - 1.0)) : 0.0;
}

AxisModel NearestModel(int count, int region, double factor) {
  double q = factor >= 1.0 ? factor : 1.0 / factor;
  bool integral = q - std::trunc(q) == 0.0;
  double step = integral ? 1.0 / factor : LinearStepModel(region, factor);
  double p = integral ? 0.0 : 0.5;
  AxisModel a;
  for (int i = 0; i < count; ++i, p += step) a.index.push_back(static_cast<int>(std::trunc(p + 1e-7)));
  return a;
}

// Q14 (q14 true) or fractional weights of linear interpolation; edge is the
// image's last index relative to the region.
AxisModel LinearModel(int count, int region, double factor, int edge, bool q14) {
  AxisModel a;
  if (q14) {
    Axis q = ModelAxis(count, region, factor, edge);
    a.index = q.index;
    a.weight.assign(q.weight.begin(), q.weight.end());
    return a;
  }
  double step = LinearStepModel(region, factor), p = 0.0;
  for (int i = 0; i < count; ++i, p += step) {
    int j = static_cast<int>(std::trunc(p + 1e-7));
    bool onEdge = j == edge;
    a.index.push_back(onEdge ? j - 1 : j);
    a.weight.push_back(onEdge ? 1.0 : p - j);
  }
  return a;
}

AxisModel CubicModel(int count, int region, double factor, int first, int last) {
  double step = LinearStepModel(region, factor), p = 0.0;
  AxisModel a;
  for (int i = 0; i < count; ++i, p += step) {
    int j = static_cast<int>(std::trunc(p + 1e-7));
    int J = j + first;
    double t;
    if (J == last) {
      j -= 2;
      t = 2.0;
    } else {
      if (J == 0) ++j;
      else if (J == last - 1) --j;
      t = p - j;
    }
    a.index.push_back(j);
    a.weight.push_back(t);
  }
  return a;
}

// The cubic through f(-1), f(0), f(1), f(2) at t, in Lagrange form.
double CubicModelValue(double fm, double f0, double f1, double f2, double t) {
  return fm * (-t * (t - 1) * (t - 2) / 6) + f0 * ((t + 1) * (t - 1) * (t - 2) / 2) +
         f1 * (-(t + 1) * t * (t - 2) / 2) + f2 * ((t + 1) * t * (t - 1) / 6);
}

// 16-bit linear: the upper fifteen bits and the lowest bit weighted apart.
long long Split16(long long a, long long b, long long wa, long long wb) {
  return (((a >> 1) * wa + (b >> 1) * wb) >> 13) + (((a & 1) * wa + (b & 1) * wb) >> 14);
}

// Expected destination planes (NaN where nothing may be written) from the
// models. Each plane is resized as one image: interleaved images have one plane.
std::vector<std::vector<double>> Model(const Problem& p, const std::vector<Bytes>& src) {
  const int sb = kSampleBytes[p.type];
  const int rw = std::min(p.roi.width, p.size.width - p.roi.x);
  const int rh = std::min(p.roi.height, p.size.height - p.roi.y);
  const int dw = ModelCount(p.dst.width, rw, p.xf), dh = ModelCount(p.dst.height, rh, p.yf);
  int interp = p.interpolation;
  if (p.size.width < 2 || p.size.height < 2) interp = 1;
  else if (interp == 4 && (p.size.width < 4 || p.size.height < 4)) interp = 2;
  const int chans = p.layout.planar ? 1 : p.layout.channels;
  const int pixel = p.layout.planar ? 1 : p.layout.pixelStride;
  const int next = p.layout.planar ? 1 : (chans == 4 ? 4 : pixel);
  const int dstSamples = p.dstStep / sb;
  const int xEdge = p.size.width - 1 - p.roi.x, yEdge = p.size.height - 1 - p.roi.y;

  AxisModel ax, ay;
  if (interp == 1) {
    ax = NearestModel(dw, rw, p.xf), ay = NearestModel(dh, rh, p.yf);
  } else if (interp == 2) {
    ax = LinearModel(dw, rw, p.xf, xEdge, p.type != 2), ay = LinearModel(dh, rh, p.yf, yEdge, p.type != 2);
  } else {
    ax = CubicModel(dw, rw, p.xf, p.roi.x, p.size.width - 1);
    ay = CubicModel(dh, rh, p.yf, p.roi.y, p.size.height - 1);
  }
  std::vector<std::vector<double>> out;
  for (const Bytes& plane : src) {
    std::vector<double> o(static_cast<std::size_t>(dstSamples) * p.dst.height, NAN);
    auto at = [&](int r, int x, int c) {  // r, x relative to the region; x in pixels
      return Get(plane, p.type, static_cast<std::size_t>(p.roi.y + r) * p.srcStep +
                                    (static_cast<std::size_t>(p.roi.x + x) * pixel + c) * sb);
    };
    // The neighbour one pixel to the right: next samples on.
    auto right = [&](int r, int x, int c, int n) {
      return Get(plane, p.type, static_cast<std::size_t>(p.roi.y + r) * p.srcStep +
                                    (static_cast<std::size_t>(p.roi.x + x) * pixel + c + n * next) * sb);
    };
    for (int i = 0; i < dh; ++i)
      for (int k = 0; k < dw; ++k)
        for (int c = 0; c < chans; ++c) {
          double v;
          int y = ay.index[i], x = ax.index[k];
          if (interp == 1) {
            v = at(y, x, c);
          } else if (interp == 2 && p.type == 0) {
            long long f = static_cast<long long>(ax.weight[k]), w = static_cast<long long>(ay.weight[i]);
            long long up = (static_cast<long long>(at(y, x, c)) * (16384 - f) + static_cast<long long>(right(y, x, c, 1)) * f) >> 8;
            long long lo = (static_cast<long long>(at(y + 1, x, c)) * (16384 - f) + static_cast<long long>(right(y + 1, x, c, 1)) * f) >> 8;
            v = static_cast<double>(((16384 - w) * up + w * lo) >> 20);
          } else if (interp == 2 && p.type == 1) {
            long long f = static_cast<long long>(ax.weight[k]), w = static_cast<long long>(ay.weight[i]);
            long long up = Split16(static_cast<long long>(at(y, x, c)), static_cast<long long>(right(y, x, c, 1)), 16384 - f, f);
            long long lo = Split16(static_cast<long long>(at(y + 1, x, c)), static_cast<long long>(right(y + 1, x, c, 1)), 16384 - f, f);
            v = static_cast<double>(Split16(up, lo, 16384 - w, w) & 0xFFFF);
          } else if (interp == 2) {
            double t = ax.weight[k], w = ay.weight[i];
            double up = at(y, x, c) + (right(y, x, c, 1) - at(y, x, c)) * t;
            double lo = at(y + 1, x, c) + (right(y + 1, x, c, 1) - at(y + 1, x, c)) * t;
            v = up * (1 - w) + lo * w;
          } else {
            double rows[4];
            for (int r = 0; r < 4; ++r)
              rows[r] = CubicModelValue(right(y - 1 + r, x, c, -1), at(y - 1 + r, x, c),
                                        right(y - 1 + r, x, c, 1), right(y - 1 + r, x, c, 2), ax.weight[k]);
            v = CubicModelValue(rows[0], rows[1], rows[2], rows[3], ay.weight[i]);
          }
          o[static_cast<std::size_t>(i) * dstSamples + static_cast<std::size_t>(k) * (chans == 4 ? 4 : pixel) + c] = v;
        }
    out.push_back(std::move(o));
  }
  return out;
}

// Whether a result matches the model: exactly where the arithmetic is integer,
// within the float rounding (and the cubic's rounding to nearest) otherwise.
bool Matches(int type, int interp, double model, double got) {
  if (interp == 1 || (interp == 2 && type != 2)) return model == got;
  if (type == 2) return std::fabs(model - got) <= 2e-4 * (1.0 + std::fabs(model));
  double top = type == 0 ? 255.0 : 65535.0;
  return std::fabs(std::clamp(model, 0.0, top) - got) <= 0.5 + 4e-6 * (1.0 + std::fabs(model));
}

void RunAndCompare(const Problem& p, std::mt19937& rng) {
  RunGuarded(
      p, rng,
      [&](const void* src, void* dst) {
        return ResizeInterpolated(src, p.size, p.srcStep, p.roi, dst, p.dstStep, p.dst, p.xf, p.yf,
                                  p.layout.pixelStride, p.layout.channels, p.type,
                                  p.layout.planar ? 1 : 0, p.interpolation);
      },
      Model, [&](double model, double got) { return Matches(p.type, p.interpolation, model, got); });
}

TEST(ResizeFamily, EveryDriverMatchesItsModelUnderGuardPages) {
  std::mt19937 rng(41);
  for (int type = 0; type < 3; ++type)
    for (const Layout& layout : kLayouts)
      for (int interpolation : {1, 2, 4})
        for (int trial = 0; trial < 25; ++trial) {
          Problem p = RandomProblem(rng, type, layout, interpolation);
          RunAndCompare(p, rng);
          if (HasFatalFailure()) return;
        }
}

// Regions at the image's edges and one-pixel images, every layout and type.
TEST(ResizeFamily, EdgeRegionsAndOnePixelImages) {
  std::mt19937 rng(42);
  for (int type = 0; type < 3; ++type)
    for (const Layout& layout : kLayouts)
      for (int interpolation : {1, 2, 4}) {
        const int sb = kSampleBytes[type];
        const int px = layout.planar ? 1 : layout.pixelStride;
        const int dpx = layout.planar ? 1 : (layout.channels == 4 ? 4 : layout.pixelStride);
        struct Shape { ImageSize size; ImageRect roi; ImageSize dst; double xf, yf; };
        const Shape shapes[] = {
            {{1, 1}, {0, 0, 1, 1}, {3, 2}, 3.0, 2.0},         // one pixel
            {{9, 7}, {8, 6, 5, 5}, {4, 4}, 3.0, 2.5},         // region on the last pixel
            {{9, 7}, {6, 0, 9, 7}, {8, 8}, 2.0, 1.0},         // region past the right edge
            {{12, 10}, {0, 7, 12, 3}, {6, 9}, 0.5, 3.0},      // bottom rows
            {{12, 10}, {0, 0, 12, 10}, {1, 1}, 0.01, 0.01},   // to one pixel
        };
        for (const Shape& s : shapes) {
          Problem p{type, layout, interpolation, s.size, (s.size.width * px) * sb, s.roi, s.dst,
                    s.dst.width * dpx * sb, s.xf, s.yf};
          RunAndCompare(p, rng);
          if (HasFatalFailure()) return;
        }
      }
}

TEST(ResizeFamily, NearestSamplesByTheFactorRule) {
  Bytes src(10);
  for (int i = 0; i < 10; ++i) src[i] = static_cast<std::uint8_t>(10 * i);
  Bytes dst(20, 0);
  ASSERT_EQ(ResizeImage(src.data(), {10, 1}, 10, {0, 0, 10, 1}, dst.data(), 20, {20, 1}, 2.0, 1.0, 1), StatusOk);
  for (int k = 0; k < 20; ++k) EXPECT_EQ(dst[k], src[k / 2]) << k;
  ASSERT_EQ(ResizeImage(src.data(), {10, 1}, 10, {0, 0, 10, 1}, dst.data(), 20, {20, 1}, 0.5, 1.0, 1), StatusOk);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(dst[k], src[2 * k]) << k;
  // 0.75: positions 0.5 + k*(n-1)/(0.75n-1), truncated.
  Bytes big(16);
  for (int i = 0; i < 16; ++i) big[i] = static_cast<std::uint8_t>(i);
  ASSERT_EQ(ResizeImage(big.data(), {16, 1}, 16, {0, 0, 16, 1}, dst.data(), 20, {20, 1}, 0.75, 1.0, 1), StatusOk);
  for (int k = 0; k < 12; ++k) EXPECT_EQ(dst[k], static_cast<int>(0.5 + k * 15.0 / 11.0 + 1e-7)) << k;
}

TEST(ResizeFamily, CubicEdgesAndOvershoot) {
  // A step: the polynomial overshoots below 0 and above 255, which clamp.
  Bytes src(8 * 8);
  for (int r = 0; r < 8; ++r)
    for (int x = 0; x < 8; ++x) src[r * 8 + x] = x < 4 ? 0 : 255;
  Bytes dst(29 * 8, 0x77);
  ASSERT_EQ(ResizeImage(src.data(), {8, 8}, 8, {0, 0, 8, 8}, dst.data(), 29, {29, 8}, 29.0 / 8, 1.0, 4), StatusOk);
  EXPECT_EQ(dst[28], 255) << "the last column reproduces the last sample (weight 2.0)";
  EXPECT_EQ(dst[0], 0) << "column 0 uses taps 0..3 with a negative weight";
  int zeros = 0, tops = 0;
  for (int k = 0; k < 29; ++k) zeros += dst[k] == 0, tops += dst[k] == 255;
  EXPECT_GT(zeros, 1);
  EXPECT_GT(tops, 1);
  // Factor 1 reproduces the picture (weights 0 and 1 and 2 hit the taps).
  std::mt19937 rng(43);
  Bytes pic = RandomBytes(rng, 13 * 11), same(13 * 11);
  ASSERT_EQ(ResizeImage(pic.data(), {13, 11}, 13, {0, 0, 13, 11}, same.data(), 13, {13, 11}, 1.0, 1.0, 4), StatusOk);
  EXPECT_EQ(same, pic);
}

TEST(ResizeFamily, ThreeChannelsInFourSamplePixelsKeepTheFourthSample) {
  std::mt19937 rng(44);
  Bytes src = RandomBytes(rng, 4 * 10 * 6);
  for (int interpolation : {1, 2, 4}) {
    Bytes dst(4 * 15 * 9, 0xC3);
    ASSERT_EQ(ResizeInterpolated(src.data(), {10, 6}, 40, {0, 0, 10, 6}, dst.data(), 60, {15, 9},
                                 1.5, 1.5, 4, 3, 0, 0, interpolation),
              StatusOk);
    for (std::size_t k = 3; k < dst.size(); k += 4) ASSERT_EQ(dst[k], 0xC3) << interpolation << " " << k;
  }
}

TEST(ResizeFamily, LayoutsTheDriversDoNotKnowAreRefused) {
  Bytes src(64, 1), dst(64, 2);
  EXPECT_EQ(ResizeInterpolated(src.data(), {4, 4}, 8, {0, 0, 4, 4}, dst.data(), 8, {4, 4}, 1, 1, 2, 2, 0, 0, 2), StatusInterpolationError);
  EXPECT_EQ(ResizeInterpolated(src.data(), {4, 4}, 12, {0, 0, 4, 4}, dst.data(), 12, {4, 4}, 1, 1, 3, 4, 0, 0, 2), StatusInterpolationError);
  EXPECT_EQ(ResizeInterpolated(src.data(), {4, 4}, 4, {0, 0, 4, 4}, dst.data(), 4, {4, 4}, 1, 1, 1, 1, 3, 0, 2), StatusInterpolationError);
  for (auto b : dst) ASSERT_EQ(b, 2);
}

// The 128-bit and 256-bit builds of the horizontal cubic pass over bytes give
// the same values, also for taps left of the row pointer (regions inside the image).
TEST(ResizeFamily, CubicRowBuildsAgree) {
  if (!resize_detail::CubicRow8uBuildRuns(resize_detail::kCubicRow8uBuildAvx2)) GTEST_SKIP() << "processor without AVX2";
  std::mt19937 rng(46);
  for (int width = 1; width <= 37; ++width) {
    Bytes src = RandomBytes(rng, 80);
    std::vector<std::int32_t> offsets(width);
    std::vector<float> weights(width);
    for (int k = 0; k < width; ++k) {
      offsets[k] = static_cast<std::int32_t>(rng() % 70) - 3;
      weights[k] = std::uniform_real_distribution<float>(-1.0f, 2.0f)(rng);
    }
    std::vector<float> a(width), b(width);
    const std::uint8_t* row = src.data() + 5;
    resize_detail::CubicRow8u_Sse2(row, width, offsets.data(), weights.data(), a.data());
    resize_detail::CubicRow8u_Avx2(row, width, offsets.data(), weights.data(), b.data());
    for (int k = 0; k < width; ++k) ASSERT_EQ(a[k], b[k]) << width << " column " << k;
  }
}

// A 65536 x 40000 plane (2.6 GB, mapped without memory behind it: untouched
// pages read as zero) to 16 x 16: row offsets past 2^31 samples used to wrap,
// so nearest and cubic read outside the image and linear blended the wrong
// rows. Only the rows a method reads are written, each with its own value, so
// a wrong row shows.
TEST(ResizeFamily, ImagesOverTwoGigabytesReadTheirOwnRows) {
  constexpr int kWidth = 65536, kHeight = 40000, kSide = 16;
  const std::size_t bytes = std::size_t{kWidth} * kHeight;
  void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(mapped, MAP_FAILED) << "a sparse mapping of 2.6 GB";
  const std::unique_ptr<void, std::function<void(void*)>> unmap(mapped, [bytes](void* p) { munmap(p, bytes); });
  auto* plane = static_cast<std::uint8_t*>(mapped);
  auto value = [](long long row) { return static_cast<std::uint8_t>((row * 37 + 11) % 251 + 2); };
  const double f = double(kSide) / kWidth, g = double(kSide) / kHeight;
  const AxisModel nearest = NearestModel(kSide, kHeight, g);
  const AxisModel linear = LinearModel(kSide, kHeight, g, kHeight - 1, true);
  const AxisModel cubic = CubicModel(kSide, kHeight, g, 0, kHeight - 1);
  for (const AxisModel* a : {&nearest, &linear, &cubic})
    for (int j : a->index)
      for (int r = std::max(j - 1, 0); r <= std::min(j + 2, kHeight - 1); ++r)
        std::memset(plane + std::size_t(r) * kWidth, value(r), kWidth);
  for (int interpolation : {1, 2, 4}) {
    Bytes dst(kSide * kSide, 0);
    ASSERT_EQ(ResizeImage(plane, {kWidth, kHeight}, kWidth, {0, 0, kWidth, kHeight}, dst.data(), kSide,
                          {kSide, kSide}, f, g, interpolation),
              StatusOk)
        << interpolation;
    for (int i = 0; i < kSide; ++i) {
      double want;
      if (interpolation == 1) {
        want = value(nearest.index[i]);
      } else if (interpolation == 2) {
        // Equal neighbours in a row: the horizontal stage gives 64 times the sample.
        const long long j = linear.index[i], w = static_cast<long long>(linear.weight[i]);
        want = static_cast<double>(((16384 - w) * 64 * value(j) + w * 64 * value(j + 1)) >> 20);
      } else {
        const long long j = cubic.index[i];
        want = std::clamp(CubicModelValue(value(j - 1), value(j), value(j + 1), value(j + 2), cubic.weight[i]), 0.0, 255.0);
      }
      for (int k = 0; k < kSide; ++k)
        ASSERT_NEAR(dst[i * kSide + k], want, interpolation == 4 ? 0.5 + 1e-4 : 0.0)
            << "interpolation " << interpolation << " row " << i << " column " << k;
    }
  }
}

TEST(ResizeFamily, CubicAllocationFailureFreesEverything) {
  std::mt19937 rng(45);
  Bytes src = RandomBytes(rng, 32 * 32);
  ExpectNoMemoryAtEveryAllocation(8, 16 * 16, [&](std::uint8_t* dst) {
    return ResizeImage(src.data(), {32, 32}, 32, {0, 0, 32, 32}, dst, 16, {16, 16}, 0.5, 0.5, 4);
  });
}

}  // namespace
