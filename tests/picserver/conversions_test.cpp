#include <zentra/conversions.h>
#include <zentra/engine_dispatch.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "models.h"
#include "test_heap.h"

using namespace zentra;
using namespace zentra_test;

namespace {

Bytes RandomBytes(std::mt19937& rng, std::size_t n) { return zentra_test::RandomBytes(rng, n, 11); }

BitmapInfoHeader HeaderOf(const Bytes& dib) {
  BitmapInfoHeader h;
  std::memcpy(&h, dib.data(), sizeof h);
  return h;
}

Bytes ToDib(int w, int h, const Bytes& y, const Bytes& u, const Bytes& v,
            const YuvToDibKernels& k = RunningYuvToDibBuild()) {
  Bytes dib(static_cast<std::size_t>(((3 * w + 3) & ~3) * h + 40), 0xEE);
  ConversionResult r = YuvPlanesToDibWith(k, w, h, y.data(), u.data(), v.data(), dib.data());
  EXPECT_EQ(r.hr, S_OK);
  return dib;
}

TEST(BufferSizes, PlaneSizes) {
  std::int32_t a = -1, b = -1, c = -1;
  ASSERT_EQ(GetYuvPlaneSizes(720, 576, &a, &b, &c).hr, S_OK);
  EXPECT_EQ(a, 414720);
  EXPECT_EQ(b, 103680);
  EXPECT_EQ(c, 103680);
  ASSERT_EQ(GetYuvPlaneSizes(5, 3, &a, &b, &c).hr, S_OK);
  EXPECT_EQ(a, 15);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 2);
  EXPECT_EQ(GetYuvPlaneSizes(5, 3, &a, nullptr, &c).hr, E_POINTER);
  a = b = c = 77;
  EXPECT_EQ(GetYuvPlaneSizes(-2, 3, &a, &b, &c).hr, E_INVALIDARG);
  EXPECT_EQ(GetYuvPlaneSizes(50000, 50000, &a, &b, &c).hr, E_INVALIDARG) << "product past 32 bits";
  EXPECT_EQ(a, 77) << "nothing written on failure";
}

TEST(BufferSizes, DibSize) {
  std::int32_t size = -1;
  ASSERT_EQ(GetDibSize(352, 288, 24, &size).hr, S_OK);
  EXPECT_EQ(size, 304168);
  ASSERT_EQ(GetDibSize(1, 1, 24, &size).hr, S_OK);
  EXPECT_EQ(size, 44);
  size = 5;
  ConversionResult r = GetDibSize(352, 288, 32, &size);
  EXPECT_EQ(r.hr, DISP_E_EXCEPTION);
  EXPECT_STREQ(r.description, "Can get bitmap size only 24 bit count");
  EXPECT_EQ(size, 5);
  EXPECT_EQ(GetDibSize(352, 288, 24, nullptr).hr, E_POINTER);
  EXPECT_EQ(GetDibSize(30000, 30000, 24, &size).hr, E_INVALIDARG) << "size past 32 bits";
  EXPECT_EQ(GetDibSize(-4, 8, 24, &size).hr, E_INVALIDARG);
  EXPECT_EQ(size, 5);
}

TEST(YuvToDib, KnownColoursAndNoLumaOffset) {
  const int w = 16, h = 4;
  auto single = [&](int Y, int U, int V) {
    Bytes y(w * h, static_cast<std::uint8_t>(Y)), u(w * h / 4, static_cast<std::uint8_t>(U)),
        v(w * h / 4, static_cast<std::uint8_t>(V));
    Bytes dib = ToDib(w, h, y, u, v);
    return std::vector<int>{dib[40], dib[41], dib[42]};
  };
  EXPECT_EQ(single(128, 128, 128), (std::vector<int>{128, 128, 128}));
  EXPECT_EQ(single(16, 128, 128), (std::vector<int>{16, 16, 16}));
  EXPECT_EQ(single(255, 255, 128), (std::vector<int>{255, 211, 255}));
  EXPECT_EQ(single(0, 0, 128), (std::vector<int>{0, 44, 0}));
}

TEST(YuvToDib, HeaderAndRowOrderAt720x576) {
  std::mt19937 rng(21);
  const int w = 720, h = 576;
  Bytes y = RandomBytes(rng, w * h), u = RandomBytes(rng, w * h / 4), v = RandomBytes(rng, w * h / 4);
  Bytes dib = ToDib(w, h, y, u, v);
  BitmapInfoHeader hd = HeaderOf(dib);
  EXPECT_EQ(hd.biSize, 40u);
  EXPECT_EQ(hd.biWidth, 720);
  EXPECT_EQ(hd.biHeight, 576);
  EXPECT_EQ(hd.biPlanes, 1);
  EXPECT_EQ(hd.biBitCount, 24);
  EXPECT_EQ(hd.biCompression, 0u);
  EXPECT_EQ(hd.biSizeImage, 1244160u);
  EXPECT_EQ(hd.biXPelsPerMeter | hd.biYPelsPerMeter | static_cast<std::int32_t>(hd.biClrUsed | hd.biClrImportant), 0);
  Bytes model = ModelYuvToDib(w, h, y, u, v);
  EXPECT_TRUE(std::equal(dib.begin() + 40, dib.end(), model.begin() + 40));
  // The first row in memory is picture row 575: its Y shows through with neutral chroma.
  Bytes grey(w * h / 4, 128);
  Bytes flat = ToDib(w, h, y, grey, grey);
  EXPECT_EQ(flat[40], y[575 * w]);
  EXPECT_EQ(flat[40 + 2160], y[574 * w]);
}

TEST(YuvToDib, LastChromaRowRepeatsTheRowAbove) {
  const int w = 16, h = 6;
  Bytes y(w * h, 128), u(w / 2 * h / 2, 128), v(w / 2 * h / 2, 128);
  for (int k = 0; k < w / 2; ++k) u[2 * (w / 2) + k] = 228;  // last chroma row
  Bytes dib = ToDib(w, h, y, u, v);
  const int stride = 3 * w;
  // Rows 4 and 5 (memory rows 1 and 0) both carry the last chroma row; row 3 the average.
  EXPECT_EQ(dib[40 + 0 * stride + 3], dib[40 + 1 * stride + 3]);
  EXPECT_EQ(dib[40 + 0 * stride + 3], 255);  // B from Cb = +100
  EXPECT_LT(dib[40 + 2 * stride + 3], 255);
}

// Each build of a conversion's row kernels as a test parameter; a build the
// processor does not run is skipped.
template <class Kernels>
class ConversionBuildTest : public ::testing::TestWithParam<const Kernels*> {
 protected:
  void SetUp() override {
    if (!ConversionBuildRuns(this->GetParam()->build))
      GTEST_SKIP() << "build " << this->GetParam()->name << " does not run on this processor";
  }
  const Kernels& build() const { return *this->GetParam(); }
};

class YuvToDibBuildTest : public ConversionBuildTest<YuvToDibKernels> {};
class RgbToYuvBuildTest : public ConversionBuildTest<RgbToYuvKernels> {};

struct KernelsName {
  template <class P>
  std::string operator()(const ::testing::TestParamInfo<P>& info) const {
    return info.param->name;
  }
};

INSTANTIATE_TEST_SUITE_P(Builds, YuvToDibBuildTest,
                         ::testing::Values(&YuvToDibBuilds[0], &YuvToDibBuilds[1], &YuvToDibBuilds[2]), KernelsName());
INSTANTIATE_TEST_SUITE_P(Builds, RgbToYuvBuildTest, ::testing::Values(&RgbToYuvBuilds[0], &RgbToYuvBuilds[1]),
                         KernelsName());

TEST(ConversionBuilds, RunningBuildsAreTheWidestThatRun) {
  EXPECT_TRUE(ConversionBuildRuns(kConversionBuildC));
  EXPECT_TRUE(ConversionBuildRuns(kConversionBuildSse2));
  EXPECT_FALSE(ConversionBuildRuns(7));
  const int expected = ConversionBuildRuns(kConversionBuildAvx2) ? kConversionBuildAvx2 : kConversionBuildSse2;
  EXPECT_EQ(RunningYuvToDibBuild().build, expected);
  EXPECT_EQ(RunningRgbToYuvBuild().build, kConversionBuildSse2);
  for (int b = 0; b < 3; ++b) EXPECT_EQ(YuvToDibBuilds[b].build, b);
  for (int b = 0; b < 2; ++b) EXPECT_EQ(RgbToYuvBuilds[b].build, b);
}

// Every (Y, Cb, Cr) through each build's colour row, alone and as the mean of
// two chroma rows, at counts that leave every tail length, against the 13-bit
// formulas computed here.
TEST_P(YuvToDibBuildTest, RowKernelsOnEveryColour) {
  auto clamp = [](int t) { return static_cast<std::uint8_t>(std::clamp(t, 0, 255)); };
  Bytes y(256), out(3 * 256), expect(3 * 256);
  Bytes cbE(128), cbO(128), crE(128), crO(128), cbE2(128), cbO2(128), crE2(128), crO2(128);
  const ChromaRow chroma{cbE.data(), cbO.data(), crE.data(), crO.data()};
  const ChromaRow below{cbE2.data(), cbO2.data(), crE2.data(), crO2.data()};
  long mismatches = 0;
  for (int cb = 0; cb < 256; ++cb)
    for (int cr = 0; cr < 256; ++cr) {
      // Luma runs through every value; the two parities get different chroma.
      const int count = 129 + (cb * 7 + cr) % 128;
      const bool mean = ((cb ^ cr) & 1) != 0;
      for (int i = 0; i < 256; ++i) y[i] = static_cast<std::uint8_t>(i + cr);
      for (int k = 0; k < 128; ++k) {
        cbE[k] = static_cast<std::uint8_t>(cb);
        crE[k] = static_cast<std::uint8_t>(cr);
        cbO[k] = static_cast<std::uint8_t>(cb + 3 * k);
        crO[k] = static_cast<std::uint8_t>(cr ^ k);
        cbE2[k] = static_cast<std::uint8_t>(cr + k);
        crE2[k] = static_cast<std::uint8_t>(cb * 5);
        cbO2[k] = static_cast<std::uint8_t>(255 - cb);
        crO2[k] = static_cast<std::uint8_t>(k * 9);
      }
      for (int x = 0; x < count; ++x) {
        const bool odd = (x & 1) != 0;
        int b = (odd ? cbO : cbE)[x / 2], r = (odd ? crO : crE)[x / 2];
        if (mean) {
          b = (b + (odd ? cbO2 : cbE2)[x / 2]) >> 1;
          r = (r + (odd ? crO2 : crE2)[x / 2]) >> 1;
        }
        const int Y = y[x];
        b -= 128;
        r -= 128;
        expect[3 * x] = clamp((8192 * Y + 4096 + 14516 * b) >> 13);
        expect[3 * x + 1] = clamp((8192 * Y + 4096 - 2819 * b - 5850 * r) >> 13);
        expect[3 * x + 2] = clamp((8192 * Y + 4096 + 11485 * r) >> 13);
      }
      std::fill(out.begin(), out.end(), 0xEE);
      build().colourRow(y.data(), chroma, mean ? &below : nullptr, count, out.data());
      mismatches += !std::equal(out.begin(), out.begin() + 3 * count, expect.begin());
      mismatches += std::count(out.begin() + 3 * count, out.end(), 0xEE) != 3 * (256 - count);
    }
  EXPECT_EQ(mismatches, 0);
}

// Each build against the step-by-step model, on sizes inside the limits and on
// even sizes outside them (rows at the true stride), fixed and random.
TEST_P(YuvToDibBuildTest, MatchesTheModel) {
  std::mt19937 rng(22);
  std::vector<std::pair<int, int>> sizes = {{16, 4}, {24, 6}, {720, 576}, {352, 288}, {10, 4},
                                            {2, 2},  {14, 8}, {30, 2},    {4, 10},    {200, 6}};
  for (int i = 0; i < 24; ++i)
    sizes.emplace_back(2 * static_cast<int>(1 + rng() % 200), 2 * static_cast<int>(1 + rng() % 12));
  for (auto [w, h] : sizes) {
    Bytes y = RandomBytes(rng, w * h), u = RandomBytes(rng, w * h / 4), v = RandomBytes(rng, w * h / 4);
    Bytes model = ModelYuvToDib(w, h, y, u, v);
    std::memset(model.data(), 0, 40);
    Bytes dib = ToDib(w, h, y, u, v, build());
    std::memset(dib.data(), 0, 40);
    EXPECT_EQ(dib, model) << w << "x" << h;
  }
}

// Odd sizes have no model here; the builds must agree with the plain one.
TEST_P(YuvToDibBuildTest, AgreesWithThePlainBuildOnRandomOddSizes) {
  std::mt19937 rng(28);
  for (int i = 0; i < 40; ++i) {
    const int w = static_cast<int>(1 + rng() % 300), h = static_cast<int>(1 + rng() % 9);
    Bytes y = RandomBytes(rng, w * h), u = RandomBytes(rng, std::max(1, (w / 2) * (h / 2))),
          v = RandomBytes(rng, std::max(1, (w / 2) * (h / 2)));
    Bytes plain = ToDib(w, h, y, u, v, YuvToDibBuilds[kConversionBuildC]);
    EXPECT_EQ(ToDib(w, h, y, u, v, build()), plain) << w << "x" << h;
  }
}

TEST(YuvToDib, OddSizesStayInsideThePlanesAndZeroThePadding) {
  const int sizes[][2] = {{1, 1}, {1, 5}, {3, 3}, {5, 7}, {9, 1}, {17, 5}};
  for (auto [w, h] : sizes) {
    // Exactly sized planes, so that any read past them shows under the sanitizers.
    Bytes y(w * h, 90), u(std::max(1, (w / 2) * (h / 2)), 128), v(std::max(1, (w / 2) * (h / 2)), 128);
    Bytes dib = ToDib(w, h, y, u, v);
    const int stride = (3 * w + 3) & ~3;
    EXPECT_EQ(HeaderOf(dib).biSizeImage, static_cast<std::uint32_t>(stride * h));
    for (int r = 0; r < h; ++r) {
      for (int x = 0; x < 3 * w; ++x) EXPECT_EQ(dib[40 + r * stride + x], 90) << w << "x" << h;
      for (int x = 3 * w; x < stride; ++x) EXPECT_EQ(dib[40 + r * stride + x], 0) << "padding";
    }
  }
}

TEST(YuvToDib, BadArgumentsAndMemory) {
  Bytes y(64, 0), u(16, 0), v(16, 0), dib(300, 0);
  EXPECT_EQ(YuvPlanesToDib(8, 8, nullptr, u.data(), v.data(), dib.data()).hr, E_POINTER);
  EXPECT_EQ(YuvPlanesToDib(8, 8, y.data(), u.data(), v.data(), nullptr).hr, E_POINTER);
  EXPECT_EQ(YuvPlanesToDib(-8, 8, y.data(), u.data(), v.data(), dib.data()).hr, E_INVALIDARG);
  EXPECT_EQ(YuvPlanesToDib(8, 0, y.data(), u.data(), v.data(), dib.data()).hr, E_INVALIDARG);
  EXPECT_EQ(YuvPlanesToDib(40000, 40000, y.data(), u.data(), v.data(), dib.data()).hr, E_INVALIDARG);
  zentra_test::ScopedHeap heap(0);
  EXPECT_EQ(YuvPlanesToDib(8, 8, y.data(), u.data(), v.data(), dib.data()).hr, E_OUTOFMEMORY);
}

TEST(RgbToYuv, TablesHoldTheSinglePrecisionProducts) {
  const RgbToYuvTables& t = BuildConversionTables();
  EXPECT_EQ(t.y65481[1], static_cast<std::int32_t>(256 * 65.48100280761719));
  EXPECT_EQ(t.y65481[255], static_cast<std::int32_t>(std::trunc(256.0 * 255 * 65.48100280761719)));
  EXPECT_EQ(t.c112[255], 256 * 255 * 112);
  EXPECT_EQ(t.cb37797[0], 0);
  EXPECT_EQ(t.cr18214[200], static_cast<std::int32_t>(std::trunc(256.0 * 200 * double(18.214f))));
}

TEST(RgbToYuv, BlackWhiteAndPlaneOrder) {
  auto convert = [](int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const int stride = (3 * w + 3) & ~3;
    Bytes px(static_cast<std::size_t>(stride * h), 0);
    for (int row = 0; row < h; ++row)
      for (int x = 0; x < w; ++x) {
        px[row * stride + 3 * x] = r;
        px[row * stride + 3 * x + 1] = g;
        px[row * stride + 3 * x + 2] = b;
      }
    Bytes y(w * h), v(w * h / 4), u(w * h / 4);
    EXPECT_EQ(RgbToYuvPlanes(px.data(), w, h, y.data(), v.data(), u.data()).hr, S_OK);
    return std::vector<int>{y[0], u[0], v[0]};
  };
  EXPECT_EQ(convert(6, 4, 0, 0, 0), (std::vector<int>{16, 128, 128}));
  EXPECT_EQ(convert(6, 4, 255, 255, 255), (std::vector<int>{234, 128, 128}));
  // Byte 0 is red: red raises Cr, which goes to the fifth argument.
  std::vector<int> red = convert(4, 2, 255, 0, 0);
  EXPECT_GT(red[2], 200);
  EXPECT_LT(red[1], 128);
}

TEST(RgbToYuv, RandomPictureAgainstTheFormula) {
  std::mt19937 rng(23);
  for (auto [w, h] : {std::pair{7, 5}, std::pair{16, 16}, std::pair{33, 9}}) {
    const int stride = (3 * w + 3) & ~3;
    Bytes px = RandomBytes(rng, static_cast<std::size_t>(stride * h));
    Bytes y(w * h), v(w / 2 * (h / 2) + 1, 0xEE), u(w / 2 * (h / 2) + 1, 0xEE);
    ASSERT_EQ(RgbToYuvPlanes(px.data(), w, h, y.data(), v.data(), u.data()).hr, S_OK);
    auto term = [](int i, float c) { return static_cast<long long>(std::trunc(256.0L * i * c)); };
    std::vector<int> cb(w * h), cr(w * h);
    for (int r = 0; r < h; ++r)
      for (int x = 0; x < w; ++x) {
        const std::uint8_t* p = &px[(h - 1 - r) * stride + 3 * x];
        long long Y = (1048576 + term(p[0], 65.481f) + term(p[1], 128.553f) + term(p[2], 24.966f)) >> 16;
        cb[r * w + x] = static_cast<int>((8388608 - term(p[0], 37.797f) - term(p[1], 74.203f) + term(p[2], 112.0f)) >> 16);
        cr[r * w + x] = static_cast<int>((8388608 + term(p[0], 112.0f) - term(p[1], 93.786f) - term(p[2], 18.214f)) >> 16);
        ASSERT_EQ(y[r * w + x], Y) << r << "," << x;
      }
    for (int j = 0; j < h / 2; ++j)
      for (int i = 0; i < w / 2; ++i) {
        auto avg = [&](const std::vector<int>& c) {
          return (c[2 * j * w + 2 * i] + c[2 * j * w + 2 * i + 1] + c[(2 * j + 1) * w + 2 * i] + c[(2 * j + 1) * w + 2 * i + 1]) >> 2;
        };
        ASSERT_EQ(u[j * (w / 2) + i], avg(cb));
        ASSERT_EQ(v[j * (w / 2) + i], avg(cr));
      }
    EXPECT_EQ(u.back(), 0xEE);
    EXPECT_EQ(v.back(), 0xEE);
  }
}

TEST(RgbToYuv, BadArgumentsAndMemory) {
  Bytes px(100, 0), y(16), u(4), v(4);
  EXPECT_EQ(RgbToYuvPlanes(px.data(), 4, 4, y.data(), nullptr, u.data()).hr, E_POINTER);
  EXPECT_EQ(RgbToYuvPlanes(px.data(), 0, 4, y.data(), v.data(), u.data()).hr, E_INVALIDARG);
  EXPECT_EQ(RgbToYuvPlanes(px.data(), 4, -4, y.data(), v.data(), u.data()).hr, E_INVALIDARG);
  zentra_test::ScopedHeap heap(0);
  // Rows in pairs need no scratch; an odd last row needs a spare row for its partner.
  EXPECT_EQ(RgbToYuvPlanes(px.data(), 4, 4, y.data(), v.data(), u.data()).hr, S_OK);
  EXPECT_EQ(y[0], 16);
  EXPECT_EQ(RgbToYuvPlanes(px.data(), 4, 3, y.data(), v.data(), u.data()).hr, E_OUTOFMEMORY);
}

// Each build against the formula model on random sizes, odd ones included.
TEST_P(RgbToYuvBuildTest, MatchesTheModelOnRandomSizes) {
  std::mt19937 rng(29);
  std::vector<std::pair<int, int>> sizes = {{720, 576}, {1, 1}, {1, 2}, {2, 1}, {31, 3}, {32, 2}, {33, 5}, {64, 4}};
  for (int i = 0; i < 30; ++i)
    sizes.emplace_back(static_cast<int>(1 + rng() % 260), static_cast<int>(1 + rng() % 9));
  for (auto [w, h] : sizes) {
    const int stride = (3 * w + 3) & ~3, cw = w / 2, ch = h / 2;
    Bytes px = RandomBytes(rng, static_cast<std::size_t>(stride * h));
    Bytes my, mu, mv;
    ModelRgbToYuv(px, w, h, my, mu, mv);
    // One guard byte past each plane shows any write beyond it.
    Bytes y(w * h + 1, 0xEE), u(cw * ch + 1, 0xEE), v(cw * ch + 1, 0xEE);
    ASSERT_EQ(RgbToYuvPlanesWith(build(), px.data(), w, h, y.data(), v.data(), u.data()).hr, S_OK);
    EXPECT_TRUE(std::equal(my.begin(), my.end(), y.begin())) << "Y " << w << "x" << h;
    EXPECT_TRUE(std::equal(mu.begin(), mu.end(), u.begin())) << "U " << w << "x" << h;
    EXPECT_TRUE(std::equal(mv.begin(), mv.end(), v.begin())) << "V " << w << "x" << h;
    EXPECT_EQ(y.back(), 0xEE);
    EXPECT_EQ(u.back(), 0xEE);
    EXPECT_EQ(v.back(), 0xEE);
  }
}

// Every RGB colour through each build's row-pair kernel, against the formulas
// with products formed here in long double: the vector build splits the table
// products into a 16-bit multiple and a floor term, which must hold for all.
TEST_P(RgbToYuvBuildTest, RowKernelsOnEveryColour) {
  auto table = [](float c) {
    std::vector<long long> t(256);
    for (int i = 0; i < 256; ++i) t[i] = static_cast<long long>(std::trunc(256.0L * i * c));
    return t;
  };
  const auto yR = table(65.481f), yG = table(128.553f), yB = table(24.966f), cbR = table(37.797f),
             cbG = table(74.203f), c112 = table(112.0f), crG = table(93.786f), crB = table(18.214f);
  const int w = 65536;  // one row holds every (green, blue) for one red
  Bytes top(3 * w), bottom(3 * w), yTop(w), yBottom(w), u(w / 2), v(w / 2);
  long mismatches = 0;
  for (int red = 0; red < 256; ++red) {
    for (int i = 0; i < w; ++i) {
      top[3 * i] = static_cast<std::uint8_t>(red);
      top[3 * i + 1] = static_cast<std::uint8_t>(i >> 8);
      top[3 * i + 2] = static_cast<std::uint8_t>(i);
      // The bottom row mixes other colours into each 2x2 block.
      bottom[3 * i] = static_cast<std::uint8_t>(255 - red);
      bottom[3 * i + 1] = static_cast<std::uint8_t>(i);
      bottom[3 * i + 2] = static_cast<std::uint8_t>(i * 7 + red);
    }
    build().rowPair(top.data(), bottom.data(), w, yTop.data(), yBottom.data(), u.data(), v.data());
    auto luma = [&](const std::uint8_t* p) { return (1048576 + yR[p[0]] + yG[p[1]] + yB[p[2]]) >> 16; };
    auto cb = [&](const std::uint8_t* p) { return (8388608 - cbR[p[0]] - cbG[p[1]] + c112[p[2]]) >> 16; };
    auto cr = [&](const std::uint8_t* p) { return (8388608 + c112[p[0]] - crG[p[1]] - crB[p[2]]) >> 16; };
    for (int i = 0; i < w; ++i) {
      mismatches += yTop[i] != luma(&top[3 * i]);
      mismatches += yBottom[i] != luma(&bottom[3 * i]);
    }
    for (int k = 0; k < w / 2; ++k) {
      const std::uint8_t* a = &top[6 * k];
      const std::uint8_t* b = &bottom[6 * k];
      mismatches += u[k] != ((cb(a) + cb(a + 3) + cb(b) + cb(b + 3)) >> 2);
      mismatches += v[k] != ((cr(a) + cr(a + 3) + cr(b) + cr(b + 3)) >> 2);
    }
  }
  EXPECT_EQ(mismatches, 0);
}

Bytes MakeDib(std::mt19937& rng, int w, int h) {
  const int stride = (3 * w + 3) & ~3;
  Bytes dib = RandomBytes(rng, static_cast<std::size_t>(stride * h + 40));
  BitmapInfoHeader hd{40, w, h, 1, 24, 0, static_cast<std::uint32_t>(stride * h), 0, 0, 0, 0};
  std::memcpy(dib.data(), &hd, 40);
  return dib;
}

TEST(ResizeDibTest, SameSizeCopiesAndScaledMatchesTheFormula) {
  std::mt19937 rng(24);
  Bytes src = MakeDib(rng, 13, 7);
  Bytes same(src.size(), 0);
  ASSERT_EQ(ResizeDib(src.data(), 13, 7, same.data()).hr, S_OK);
  const int stride = (3 * 13 + 3) & ~3;
  for (int r = 0; r < 7; ++r)
    EXPECT_TRUE(std::equal(&src[40 + r * stride], &src[40 + r * stride + 39], &same[40 + r * stride]));

  for (auto [dw, dh] : {std::pair{20, 3}, std::pair{5, 11}, std::pair{1, 1}}) {
    const int dstStride = (3 * dw + 3) & ~3;
    Bytes dst(static_cast<std::size_t>(dstStride * dh + 40), 0);
    ASSERT_EQ(ResizeDib(src.data(), dw, dh, dst.data()).hr, S_OK);
    BitmapInfoHeader hd = HeaderOf(dst);
    EXPECT_EQ(hd.biWidth, dw);
    EXPECT_EQ(hd.biHeight, dh);
    EXPECT_EQ(hd.biSizeImage, static_cast<std::uint32_t>(dstStride * dh));
    for (int i = 0; i < dh; ++i)
      for (int j = 0; j < dw; ++j) {
        double p = i * (7.0 / dh), q = j * (13.0 / dw);
        int y0 = static_cast<int>(p), x0 = static_cast<int>(q);
        int fy = static_cast<int>((p - y0) * 256), fx = static_cast<int>((q - x0) * 256);
        int y1 = y0 < 6 ? y0 + 1 : y0, x1 = x0 < 12 ? x0 + 1 : x0;
        for (int c = 0; c < 3; ++c) {
          auto s = [&](int yy, int xx) { return src[40 + yy * stride + 3 * xx + c]; };
          int expect = ((256 - fx) * (256 - fy) * s(y0, x0) + fx * (256 - fy) * s(y0, x1) +
                        (256 - fx) * fy * s(y1, x0) + fx * fy * s(y1, x1)) >> 16;
          ASSERT_EQ(dst[40 + i * dstStride + 3 * j + c], expect) << i << "," << j << "," << c;
        }
      }
  }
}

TEST(ResizeDibTest, BadArguments) {
  std::mt19937 rng(25);
  Bytes src = MakeDib(rng, 4, 4), dst(200, 0);
  EXPECT_EQ(ResizeDib(nullptr, 4, 4, dst.data()).hr, E_POINTER);
  EXPECT_EQ(ResizeDib(src.data(), 0, 4, dst.data()).hr, E_INVALIDARG);
  BitmapInfoHeader hd = HeaderOf(src);
  hd.biWidth = 0;
  std::memcpy(src.data(), &hd, 40);
  EXPECT_EQ(ResizeDib(src.data(), 4, 4, dst.data()).hr, E_INVALIDARG);
}

TEST(ResizeYuvPlanesTest, EachPlaneThroughResizePlane) {
  std::mt19937 rng(26);
  Bytes sy = RandomBytes(rng, 720 * 576), su = RandomBytes(rng, 360 * 288), sv = RandomBytes(rng, 360 * 288);
  Bytes dy(352 * 288 + 1, 0xEE), du(176 * 144 + 1, 0xEE), dv(176 * 144 + 1, 0xEE);
  ASSERT_EQ(ResizeYuvPlanes(720, 576, sy.data(), su.data(), sv.data(), 352, 288, dy.data(), du.data(), dv.data()).hr, S_OK);
  Bytes ey(352 * 288), eu(176 * 144), ev(176 * 144);
  ResizePlane(sy.data(), ey.data(), 720, 576, 352, 288);
  ResizePlane(su.data(), eu.data(), 360, 288, 176, 144);
  ResizePlane(sv.data(), ev.data(), 360, 288, 176, 144);
  EXPECT_TRUE(std::equal(ey.begin(), ey.end(), dy.begin()));
  EXPECT_TRUE(std::equal(eu.begin(), eu.end(), du.begin()));
  EXPECT_TRUE(std::equal(ev.begin(), ev.end(), dv.begin()));
  EXPECT_EQ(du.back(), 0xEE) << "chroma planes are 176x144";
}

// Pictures one sample wide or high (empty chroma planes), empty pictures and
// one-pixel pictures are resized where there is something to resize and succeed.
TEST(ResizeYuvPlanesTest, EmptyChromaPlanesAreNothingToDo) {
  std::mt19937 rng(28);
  Bytes sy = RandomBytes(rng, 720 * 576), su = RandomBytes(rng, 360 * 288), sv = RandomBytes(rng, 360 * 288);
  Bytes dy(4, 0xEE), du(4, 0xEE), dv(4, 0xEE);
  ASSERT_EQ(ResizeYuvPlanes(720, 576, sy.data(), su.data(), sv.data(), 1, 1, dy.data(), du.data(), dv.data()).hr, S_OK);
  Bytes one(1);
  ResizePlane(sy.data(), one.data(), 720, 576, 1, 1);
  EXPECT_EQ(dy[0], one[0]);
  EXPECT_EQ(dy[1], 0xEE);
  EXPECT_EQ(du[0], 0xEE) << "the chroma planes of a 1x1 picture are empty";
  ASSERT_EQ(ResizeYuvPlanes(720, 576, sy.data(), su.data(), sv.data(), 4, 1, dy.data(), du.data(), dv.data()).hr, S_OK);
  EXPECT_EQ(du[0], 0xEE);
  ASSERT_EQ(ResizeYuvPlanes(720, 576, sy.data(), su.data(), sv.data(), 0, 0, dy.data(), du.data(), dv.data()).hr, S_OK);
  ASSERT_EQ(ResizeYuvPlanes(0, 0, sy.data(), su.data(), sv.data(), 4, 4, dy.data(), du.data(), dv.data()).hr, S_OK);
  Bytes y1 = {77}, out1 = {0};
  ASSERT_EQ(ResizeYuvPlanes(1, 1, y1.data(), su.data(), sv.data(), 1, 1, out1.data(), du.data(), dv.data()).hr, S_OK);
  EXPECT_EQ(out1[0], 77);
  Bytes column(8, 5), wide(16, 0);
  ASSERT_EQ(ResizeYuvPlanes(1, 8, column.data(), su.data(), sv.data(), 4, 4, wide.data(), du.data(), dv.data()).hr, S_OK);
  EXPECT_EQ(wide[0], 5);
  EXPECT_EQ(wide[15], 5);
}

TEST(ResizeYuvPlanesTest, FailuresOfTheResizeAreReported) {
  Bytes s(64, 1), d(64, 2);
  EXPECT_EQ(ResizeYuvPlanes(8, 8, s.data(), nullptr, s.data(), 4, 4, d.data(), d.data(), d.data()).hr, E_POINTER);
  EXPECT_EQ(ResizeYuvPlanes(8, -8, s.data(), s.data(), s.data(), 4, 4, d.data(), d.data(), d.data()).hr, E_INVALIDARG);
  zentra_test::ScopedHeap heap(0);
  EXPECT_EQ(ResizeYuvPlanes(8, 8, s.data(), s.data(), s.data(), 4, 4, d.data(), d.data(), d.data()).hr, E_OUTOFMEMORY);
}

// The conversions keep no state between calls: threads converting different
// pictures at once get what each gets alone.
TEST(Conversions, ConcurrentCallsDoNotInterfere) {
  const int w = 64, h = 48;
  struct Job { Bytes y, u, v, rgb, dib, yOut; };
  std::vector<Job> jobs(4);
  std::mt19937 rng(27);
  for (auto& j : jobs) {
    j.y = RandomBytes(rng, w * h), j.u = RandomBytes(rng, w * h / 4), j.v = RandomBytes(rng, w * h / 4);
    j.rgb = RandomBytes(rng, 3 * w * h);
    j.dib = ToDib(w, h, j.y, j.u, j.v);
    j.yOut.resize(w * h);
    Bytes u(w * h / 4), v(w * h / 4);
    RgbToYuvPlanes(j.rgb.data(), w, h, j.yOut.data(), v.data(), u.data());
  }
  std::vector<int> mismatches(jobs.size(), 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < jobs.size(); ++t)
    threads.emplace_back([&, t] {
      const Job& j = jobs[t];
      for (int round = 0; round < 30; ++round) {
        Bytes dib(j.dib.size()), y(w * h), u(w * h / 4), v(w * h / 4);
        YuvPlanesToDib(w, h, j.y.data(), j.u.data(), j.v.data(), dib.data());
        RgbToYuvPlanes(j.rgb.data(), w, h, y.data(), v.data(), u.data());
        if (dib != j.dib || y != j.yOut) ++mismatches[t];
      }
    });
  for (auto& th : threads) th.join();
  for (int m : mismatches) EXPECT_EQ(m, 0);
}

}  // namespace
