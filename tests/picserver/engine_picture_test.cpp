// The engine's picture helpers: the RGB-to-YUV 4:2:0 primitives against their
// fixed-point formulas, the bitmap wrappers' colours, row copies, the picture
// resize and the table and BGRX converters, with guard pages behind the planes.
#include <zentra/conversions.h>
#include <zentra/engine_dispatch.h>
#include <zentra/engine_picture.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "models.h"
#include "test_heap.h"

using namespace zentra;
using namespace zentra_test;

namespace {

int Sat(int v) { return std::clamp(v, 0, 255); }

// The RGB-to-YUV 4:2:0 formulas sample by sample: Y of every pixel, and the
// chroma of every block, pair or single pixel, into planes of the full
// (w+1)/2 x (h+1)/2 chroma size. pixel(x, r) gives {r, g, b}.
struct YuvModel {
  Bytes y, u, v;
};
template <typename Pixel>
YuvModel ModelRgbToYuv420(int w, int h, Pixel pixel) {
  const int cw = (w + 1) / 2, ch = (h + 1) / 2, n = w / 2, grouped = n & ~3;
  YuvModel m{Bytes(w * h), Bytes(cw * ch), Bytes(cw * ch)};
  auto y2 = [&](int x, int r) {
    const auto p = pixel(x, r);
    const int R = p[0], G = p[1], B = p[2];
    return x / 2 < grouped ? ((9798 * R + 19235 * G) >> 14) + ((3736 * B) >> 14) : (9798 * R + 19235 * G + 3736 * B) >> 14;
  };
  auto t = [&](int x, int r) {
    const auto p = pixel(x, r);
    return 19595 * p[0] + 38470 * p[1] + 7471 * p[2];
  };
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) {
      const bool wide = r < h / 2 * 2 && x < n * 2;
      m.y[r * w + x] = static_cast<std::uint8_t>(Sat(wide ? y2(x, r) >> 1 : t(x, r) >> 16));
    }
  for (int j = 0; j < ch; ++j)
    for (int i = 0; i < cw; ++i) {
      int U, V;
      if (2 * j + 1 < h && 2 * i + 1 < w) {  // a 2x2 block of the wide core
        int sy = 0, sr = 0, sb = 0;
        for (int r = 2 * j; r < 2 * j + 2; ++r)
          for (int x = 2 * i; x < 2 * i + 2; ++x) sy += y2(x, r), sr += pixel(x, r)[0], sb += pixel(x, r)[2];
        U = (((sb >> 1) - (sy >> 2)) * 16121) >> 16;
        V = (((sr >> 1) - (sy >> 2)) * 28737) >> 16;
      } else if (2 * j + 1 < h || 2 * i + 1 < w) {  // a pair: the last column, or the last row
        const int x0 = 2 * i, r0 = 2 * j, x1 = 2 * i + 1 < w ? 2 * i + 1 : 2 * i, r1 = 2 * i + 1 < w ? 2 * j : 2 * j + 1;
        const int ts = t(x0, r0) + t(x1, r1);
        U = (((((pixel(x0, r0)[2] + pixel(x1, r1)[2]) << 16) - ts) >> 16) * 32244) >> 17;
        V = (((((pixel(x0, r0)[0] + pixel(x1, r1)[0]) << 16) - ts) >> 16) * 57475) >> 17;
      } else {  // the single last pixel
        U = ((((pixel(2 * i, 2 * j)[2] << 16) - t(2 * i, 2 * j)) >> 16) * 32244) >> 16;
        V = ((((pixel(2 * i, 2 * j)[0] << 16) - t(2 * i, 2 * j)) >> 16) * 57475) >> 16;
      }
      m.u[j * cw + i] = static_cast<std::uint8_t>(Sat(U + 128));
      m.v[j * cw + i] = static_cast<std::uint8_t>(Sat(V + 128));
    }
  return m;
}

struct Rgb3 {
  int c[3];
  int operator[](int k) const { return c[k]; }
};

TEST(RgbToYuv420, ChecksInOrderBeforeWriting) {
  Bytes src(64, 1), y(64, 0xEE), u(64, 0xEE), v(64, 0xEE);
  std::uint8_t* planes[3] = {y.data(), u.data(), v.data()};
  std::uint8_t* noV[3] = {y.data(), u.data(), nullptr};
  const std::int32_t steps[3] = {4, 2, 2}, zeroV[3] = {4, 2, 0};
  EXPECT_EQ(RgbToYuv420P3(nullptr, 12, planes, steps, 4, 4), StatusNullPointer);
  EXPECT_EQ(RgbToYuv420P3(src.data(), 12, nullptr, steps, 4, 4), StatusNullPointer);
  EXPECT_EQ(RgbToYuv420P3(src.data(), 12, noV, steps, 0, 4), StatusSizeError) << "size before the planes";
  EXPECT_EQ(RgbToYuv420P3(src.data(), 12, noV, steps, 4, 4), StatusNullPointer);
  EXPECT_EQ(RgbToYuv420P3(src.data(), 0, planes, steps, 4, 4), StatusStepError);
  EXPECT_EQ(RgbToYuv420P3(src.data(), 12, planes, zeroV, 4, 4), StatusStepError);
  for (auto* p : {&y, &u, &v})
    for (auto b : *p) ASSERT_EQ(b, 0xEE);
}

TEST(RgbToYuv420, WhiteGives254InTheGroupsAnd255After) {
  Bytes white(3 * 10 * 2, 255), y(20), u(5), v(5);
  RgbToYuv420(white.data(), y.data(), u.data(), v.data(), 10, 2, 30, 10, 5, 5);
  for (int r = 0; r < 2; ++r)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(y[r * 10 + x], x < 8 ? 254 : 255) << x;
}

// Random sizes, odd ones included, with rows read upward through a negative step.
TEST(RgbToYuv420, MatchesTheFormulasOnRandomPictures) {
  std::mt19937 rng(61);
  for (int trial = 0; trial < 60; ++trial) {
    const int w = 1 + static_cast<int>(rng() % 37), h = 1 + static_cast<int>(rng() % 19);
    const int step = 3 * w + static_cast<int>(rng() % 4);
    Bytes src = RandomBytes(rng, static_cast<std::size_t>(step * h));
    const bool upward = trial % 2 == 1;
    auto pixel = [&](int x, int r) {
      const std::uint8_t* p = &src[(upward ? h - 1 - r : r) * step + 3 * x];
      return Rgb3{{p[0], p[1], p[2]}};
    };
    YuvModel m = ModelRgbToYuv420(w, h, pixel);
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    Bytes y(w * h), u(cw * ch), v(cw * ch);
    if (upward) {
      RgbToYuv420(src.data() + (h - 1) * step, y.data(), u.data(), v.data(), w, h, -step, w, cw, cw);
    } else {
      std::uint8_t* planes[3] = {y.data(), u.data(), v.data()};
      const std::int32_t steps[3] = {w, cw, cw};
      ASSERT_EQ(RgbToYuv420P3(src.data(), step, planes, steps, w, h), StatusOk);
    }
    ASSERT_EQ(y, m.y) << w << "x" << h;
    ASSERT_EQ(u, m.u) << w << "x" << h;
    ASSERT_EQ(v, m.v) << w << "x" << h;
  }
}

// A picture whose planes end at guard pages.
struct GuardedPicture {
  std::unique_ptr<GuardedBuffer> y, u, v;
  YuvPicture picture;
  GuardedPicture(int w, int h)
      : y(std::make_unique<GuardedBuffer>(std::max(1, w * h))),
        u(std::make_unique<GuardedBuffer>(std::max(1, (w / 2) * (h / 2)))),
        v(std::make_unique<GuardedBuffer>(std::max(1, (w / 2) * (h / 2)))),
        picture{w, h, 1, y->data(), u->data(), v->data()} {}
  Bytes Y() { return Bytes(y->data(), y->data() + picture.width * picture.height); }
  Bytes U() { return Bytes(u->data(), u->data() + (picture.width / 2) * (picture.height / 2)); }
  Bytes V() { return Bytes(v->data(), v->data() + (picture.width / 2) * (picture.height / 2)); }
};

// The bitmap wrappers: blue-first pixels, blue difference into U, red
// difference into V, chroma only inside the picture's half-size planes.
TEST(DibToYuvPictureWrappers, ColoursLandOnTheirPlanes) {
  for (int bits : {24, 32}) {
    const int w = 8, h = 4, px = bits / 8, stride = bits == 24 ? 24 : 32;
    Bytes blue(stride * h, 0), red(stride * h, 0);
    for (int r = 0; r < h; ++r)
      for (int x = 0; x < w; ++x) blue[r * stride + px * x] = 255, red[r * stride + px * x + 2] = 255;
    GuardedPicture b(w, h), rd(w, h);
    auto convert = bits == 24 ? Dib24ToYuvPicture : Dib32ToYuvPicture;
    ASSERT_EQ(convert(blue.data(), &b.picture), StatusOk);
    ASSERT_EQ(convert(red.data(), &rd.picture), StatusOk);
    EXPECT_GT(b.U()[0], 170) << bits;
    EXPECT_LT(b.V()[0], 128) << bits;
    EXPECT_GT(rd.V()[0], 200) << bits;
    EXPECT_LT(rd.U()[0], 128) << bits;
    EXPECT_LT(b.Y()[0], 40) << bits;
    EXPECT_GT(rd.Y()[0], 70) << bits;
  }
}

// A 32-bit picture converts to what the same pixels as 24-bit rows give,
// whatever the fourth bytes hold; odd sizes write nothing past the planes.
TEST(DibToYuvPictureWrappers, ThirtyTwoBitPixelsAreReadAsThirtyTwoBit) {
  std::mt19937 rng(62);
  for (auto [w, h] : {std::pair{16, 8}, {7, 5}, {9, 3}, {3, 1}}) {
    const int stride24 = (3 * w + 3) & ~3;
    Bytes p24 = RandomBytes(rng, static_cast<std::size_t>(stride24 * h)), p32(4 * w * h);
    for (int r = 0; r < h; ++r)
      for (int x = 0; x < w; ++x) {
        std::memcpy(&p32[(r * w + x) * 4], &p24[r * stride24 + 3 * x], 3);
        p32[(r * w + x) * 4 + 3] = static_cast<std::uint8_t>(rng());
      }
    GuardedPicture a(w, h), b(w, h);
    GuardedBuffer s24(p24.size()), s32(p32.size());
    s24.Fill(p24), s32.Fill(p32);
    ASSERT_EQ(Dib24ToYuvPicture(s24.data(), &a.picture), StatusOk);
    ASSERT_EQ(Dib32ToYuvPicture(s32.data(), &b.picture), StatusOk);
    EXPECT_EQ(a.Y(), b.Y()) << w << "x" << h;
    EXPECT_EQ(a.U(), b.U()) << w << "x" << h;
    EXPECT_EQ(a.V(), b.V()) << w << "x" << h;
    // And against the formulas, blue first, chroma of the picture's own blocks.
    YuvModel m = ModelRgbToYuv420(w, h, [&](int x, int r) {
      const std::uint8_t* p = &p24[r * stride24 + 3 * x];
      return Rgb3{{p[2], p[1], p[0]}};
    });
    EXPECT_EQ(a.Y(), m.y);
    for (int j = 0; j < h / 2; ++j)
      for (int i = 0; i < w / 2; ++i) {
        ASSERT_EQ(a.U()[j * (w / 2) + i], m.u[j * ((w + 1) / 2) + i]);
        ASSERT_EQ(a.V()[j * (w / 2) + i], m.v[j * ((w + 1) / 2) + i]);
      }
  }
}

// The chroma planes of a picture one sample wide have a row step of 0, which
// the converter refuses before writing.
TEST(DibToYuvPictureWrappers, OneSampleWidePicturesAreRefused) {
  Bytes px(4, 100), y(1, 0xEE);
  YuvPicture p{1, 1, 1, y.data(), y.data(), y.data()};
  EXPECT_EQ(Dib24ToYuvPicture(px.data(), &p), StatusStepError);
  EXPECT_EQ(y[0], 0xEE);
}

TEST(DibToYuvPictureWrappers, FlippedTakesTheLastRowInMemoryAsTop) {
  std::mt19937 rng(63);
  const int w = 12, h = 6, stride = 36;
  Bytes px = RandomBytes(rng, stride * h), flipped(stride * h);
  for (int r = 0; r < h; ++r) std::memcpy(&flipped[r * stride], &px[(h - 1 - r) * stride], stride);
  GuardedPicture a(w, h), b(w, h);
  Dib24ToYuvPictureFlipped(px.data(), &a.picture);
  ASSERT_EQ(Dib24ToYuvPicture(flipped.data(), &b.picture), StatusOk);
  EXPECT_EQ(a.Y(), b.Y());
  EXPECT_EQ(a.U(), b.U());
  EXPECT_EQ(a.V(), b.V());
}

BitmapInfoHeader Header(int w, int h, int bits) {
  BitmapInfoHeader hd{};
  hd.biSize = 40, hd.biWidth = w, hd.biHeight = h, hd.biPlanes = 1, hd.biBitCount = static_cast<std::uint16_t>(bits);
  return hd;
}

// Only 24-bit and 32-bit bitmaps of the picture's own size convert; anything
// else reports failure and writes nothing.
TEST(DibToYuvPicture, ReportsWhatItDoesNotConvert) {
  Bytes px(4 * 8 * 4, 200);
  GuardedPicture p(8, 4);
  std::memset(p.y->data(), 0xEE, 32);
  BitmapInfoHeader h16 = Header(8, 4, 16), h24 = Header(8, 4, 24), big = Header(16, 4, 24);
  EXPECT_EQ(DibToYuvPicture(&h16, px.data(), &p.picture), 0);
  EXPECT_EQ(DibToYuvPicture(&big, px.data(), &p.picture), 0);
  p.picture.format = 0;
  EXPECT_EQ(DibToYuvPicture(&h24, px.data(), &p.picture), 0);
  EXPECT_EQ(p.Y(), Bytes(32, 0xEE));
  p.picture.format = 1;
  EXPECT_EQ(DibToYuvPicture(&h24, px.data(), &p.picture), 1);
  BitmapInfoHeader h32 = Header(8, 4, 32);
  EXPECT_EQ(DibToYuvPicture(&h32, px.data(), &p.picture), 1);
}

// The chroma tables are filled: a colour bitmap converts with its chroma, white
// stays neutral, every sample by the formulas.
TEST(Bgr24ToYuv420Tables, ConvertsWithChroma) {
  const RgbToYuvTables& t = BuildConversionTables();
  std::mt19937 rng(64);
  for (auto [w, h] : {std::pair{8, 4}, {7, 5}, {1, 1}, {30, 10}}) {
    const int stride = (3 * w + 3) & ~3, hw = w / 2;
    Bytes px = RandomBytes(rng, static_cast<std::size_t>(stride * h));
    GuardedPicture p(w, h);
    ASSERT_EQ(Bgr24ToYuv420Tables(w, h, px.data(), p.picture.y, p.picture.u, p.picture.v), StatusOk);
    auto at = [&](int x, int r) { return &px[(h - 1 - r) * stride + 3 * x]; };
    for (int r = 0; r < h; ++r)
      for (int x = 0; x < w; ++x) ASSERT_EQ(p.Y()[r * w + x], (at(x, r)[0] + 6 * at(x, r)[1] + 3 * at(x, r)[2]) / 10);
    for (int j = 0; j < h / 2; ++j)
      for (int i = 0; i < hw; ++i) {
        int su = 0, sv = 0;
        for (int r = 2 * j; r < 2 * j + 2; ++r)
          for (int x = 2 * i; x < 2 * i + 2; ++x) {
            const int B = at(x, r)[0], G = at(x, r)[1], R = at(x, r)[2];
            su += (t.c112[B] - t.cb37797[R] - t.cb74203[G] + 8388608) >> 16;
            sv += (t.c112[R] - t.cr93786[G] - t.cr18214[B] + 8388608) >> 16;
          }
        ASSERT_EQ(p.U()[j * hw + i], su >> 2);
        ASSERT_EQ(p.V()[j * hw + i], sv >> 2);
      }
  }
  Bytes white(24 * 2, 255), red(24 * 2, 0);
  for (int k = 2; k < 48; k += 3) red[k] = 255;
  GuardedPicture a(8, 2), b(8, 2);
  ASSERT_EQ(Bgr24ToYuv420Tables(8, 2, white.data(), a.picture.y, a.picture.u, a.picture.v), StatusOk);
  EXPECT_EQ(a.Y()[0], 255);
  EXPECT_EQ(a.U()[0], 128);
  EXPECT_EQ(a.V()[0], 128);
  ASSERT_EQ(Bgr24ToYuv420Tables(8, 2, red.data(), b.picture.y, b.picture.u, b.picture.v), StatusOk);
  EXPECT_GT(b.V()[0], 200) << "red has its chroma";
  EXPECT_LT(b.U()[0], 110);
  ScopedHeap heap(0);
  EXPECT_EQ(Bgr24ToYuv420Tables(8, 2, red.data(), b.picture.y, b.picture.u, b.picture.v), StatusNoMemory);
}

TEST(Bgrx32Converters, LumaAndBlockChroma) {
  Bytes black(4 * 4, 0), white(4 * 4, 255), y(4);
  Bgrx32ToLuma(2, 2, black.data(), y.data());
  EXPECT_EQ(y, Bytes(4, 16));
  Bgrx32ToLuma(2, 2, white.data(), y.data());
  EXPECT_EQ(y, Bytes(4, 234));
  std::mt19937 rng(65);
  for (auto [w, h] : {std::pair{8, 6}, {7, 5}, {2, 1}}) {
    Bytes px = RandomBytes(rng, static_cast<std::size_t>(4 * w * h));
    GuardedBuffer src(px.size()), u(std::max(1, (w / 2) * (h / 2))), v(std::max(1, (w / 2) * (h / 2)));
    src.Fill(px);
    Bgrx32ToYuv420Mmx(w, h, src.data(), u.data(), v.data());
    for (int j = 0; j < h / 2; ++j)
      for (int i = 0; i < w / 2; ++i) {
        int su = 0, sv = 0;
        for (int r = 2 * j; r < 2 * j + 2; ++r)
          for (int x = 2 * i; x < 2 * i + 2; ++x) {
            const std::uint8_t* p = &px[(r * w + x) * 4];
            su += (112 * p[0] - 74 * p[1] - 38 * p[2] + 32768) >> 8;
            sv += (-18 * p[0] - 94 * p[1] + 112 * p[2] + 32768) >> 8;
          }
        ASSERT_EQ(u.data()[j * (w / 2) + i], su >> 2);
        ASSERT_EQ(v.data()[j * (w / 2) + i], sv >> 2);
      }
  }
}

// Its scratch is per call: threads converting different pictures at once get
// what each gets alone.
TEST(Bgrx32Converters, ChromaIsReentrant) {
  std::mt19937 rng(66);
  const int w = 64, h = 64;
  std::vector<Bytes> pics, alone, together;
  for (int k = 0; k < 4; ++k) {
    pics.push_back(RandomBytes(rng, 4 * w * h));
    Bytes uv(w * h / 2);
    Bgrx32ToYuv420Mmx(w, h, pics[k].data(), uv.data(), uv.data() + w * h / 4);
    alone.push_back(uv);
    together.emplace_back(w * h / 2);
  }
  std::vector<std::thread> threads;
  for (int k = 0; k < 4; ++k)
    threads.emplace_back([&, k] {
      for (int rep = 0; rep < 50; ++rep)
        Bgrx32ToYuv420Mmx(w, h, pics[k].data(), together[k].data(), together[k].data() + w * h / 4);
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(together, alone);
}

TEST(DibRowCopies, BottomUpRowsBecomeTopDown) {
  std::mt19937 rng(67);
  const int w = 5, h = 3, stride = 16;
  Bytes src = RandomBytes(rng, stride * h);
  GuardedBuffer out32(4 * w * h), out24(stride * h);
  Dib24RowsToRgb32(w, h, src.data(), out32.data());
  Dib24RowsToRgb24(w, h, src.data(), out24.data());
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(out32.data()[(r * w + x) * 4 + c], src[(h - 1 - r) * stride + 3 * x + c]);
        ASSERT_EQ(out24.data()[r * stride + 3 * x + c], src[(h - 1 - r) * stride + 3 * x + c]);
      }
}

// The picture resize takes the format along, resizes the three planes, and a
// failing plane is reported even when a later one succeeds.
TEST(ResizeYuvPictureTest, PlanesAndFailures) {
  std::mt19937 rng(68);
  Bytes sy = RandomBytes(rng, 32 * 16), su = RandomBytes(rng, 16 * 8), sv = RandomBytes(rng, 16 * 8);
  Bytes dy(20 * 10), du(10 * 5), dv(10 * 5);
  YuvPicture src{32, 16, 1, sy.data(), su.data(), sv.data()}, dst{20, 10, 0, dy.data(), du.data(), dv.data()};
  ASSERT_EQ(ResizeYuvPicture(&src, &dst), StatusOk);
  EXPECT_EQ(dst.format, 1);
  Bytes ey(20 * 10), eu(10 * 5);
  ResizePlane(sy.data(), ey.data(), 32, 16, 20, 10);
  ResizePlane(su.data(), eu.data(), 16, 8, 10, 5);
  EXPECT_EQ(dy, ey);
  EXPECT_EQ(du, eu);
  YuvPicture broken = src;
  broken.y = nullptr;
  EXPECT_EQ(ResizeYuvPicture(&broken, &dst), StatusNullPointer);
  // One sample wide: the chroma planes are empty and nothing to do.
  Bytes col(16, 9), out(4 * 4);
  YuvPicture thin{1, 16, 1, col.data(), nullptr, nullptr}, wide{4, 4, 0, out.data(), nullptr, nullptr};
  EXPECT_EQ(ResizeYuvPicture(&thin, &wide), StatusOk);
  EXPECT_EQ(out, Bytes(16, 9));
}

}  // namespace
