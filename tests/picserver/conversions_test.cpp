#include <zentra/conversions.h>
#include <zentra/engine_dispatch.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "models.h"
#include "test_heap.h"

using namespace zentra;
using namespace zentra_test;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::mt19937& rng, std::size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  for (std::size_t i = 0; i < n; i += 11) b[i] = (i / 11) % 2 ? 255 : 0;
  return b;
}

BitmapInfoHeader HeaderOf(const Bytes& dib) {
  BitmapInfoHeader h;
  std::memcpy(&h, dib.data(), sizeof h);
  return h;
}

Bytes ToDib(int w, int h, const Bytes& y, const Bytes& u, const Bytes& v,
            const YuvToDibKernels& k = YuvToDibBuilds[kYuvToDibRunningBuild]) {
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

// Both builds of the colour pass, on sizes inside the limits and on even sizes
// outside them (rows at the true stride), against the step-by-step model.
TEST(YuvToDib, BuildsMatchTheModel) {
  std::mt19937 rng(22);
  const int sizes[][2] = {{16, 4}, {24, 6}, {720, 576}, {352, 288}, {10, 4}, {2, 2}, {14, 8}, {30, 2}, {4, 10}};
  for (auto [w, h] : sizes) {
    Bytes y = RandomBytes(rng, w * h), u = RandomBytes(rng, w * h / 4), v = RandomBytes(rng, w * h / 4);
    Bytes model = ModelYuvToDib(w, h, y, u, v);
    for (const auto& build : YuvToDibBuilds) {
      Bytes dib = ToDib(w, h, y, u, v, build);
      std::memset(model.data(), 0, 40);
      std::memset(dib.data(), 0, 40);
      EXPECT_EQ(dib, model) << build.name << " " << w << "x" << h;
    }
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
  EXPECT_EQ(RgbToYuvPlanes(px.data(), 4, 4, y.data(), v.data(), u.data()).hr, E_OUTOFMEMORY);
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

TEST(ResizeYuvPlanesTest, FailuresOfTheResizeAreReported) {
  Bytes s(64, 1), d(64, 2);
  // A one-pixel-wide picture has chroma planes of width 0, which the resize refuses.
  EXPECT_EQ(ResizeYuvPlanes(1, 8, s.data(), s.data(), s.data(), 4, 4, d.data(), d.data(), d.data()).hr, E_INVALIDARG);
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
