// The AVI encoder's bitmap rows back to YUV 4:2:0 planes: the SSSE3 build against the plain
// code, and both against the scaler conversion they replaced, on the picture server's own
// bitmaps of YUV pictures.
#include "encoders/bitmap_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include <zentra/conversions.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include "kernel_test.h"

namespace {

using outside::BitmapToPlanes;
using zentra_test::Bytes;

// Planes with room past each row, so that a write past the width shows.
struct Planes {
  Planes(int width, int height)
      : width(width), height(height), yStride(width + 16), cStride(width / 2 + 16),
        y(static_cast<std::size_t>(yStride) * height, 0xA5), u(static_cast<std::size_t>(cStride) * height / 2, 0xA5),
        v(u.size(), 0xA5) {}
  int width, height, yStride, cStride;
  Bytes y, u, v;
  BitmapToPlanes For(const std::uint8_t* top, std::ptrdiff_t stride) {
    BitmapToPlanes p;
    p.top = top;
    p.stride = stride;
    p.width = width;
    p.y = y.data();
    p.u = u.data();
    p.v = v.data();
    p.yStride = yStride;
    p.uStride = p.vStride = cStride;
    return p;
  }
  bool operator==(const Planes& o) const { return y == o.y && u == o.u && v == o.v; }
};

// Rows of B, G, R at a given stride, the first row at `first` bytes in; top-down when the
// stride is positive, bottom-up (the first row last in memory) when negative.
struct Rows {
  Rows(const Bytes& pixels, int width, int height, std::ptrdiff_t stride) : memory(std::abs(stride) * height + 8, 0x5A) {
    for (int r = 0; r < height; ++r) {
      const std::ptrdiff_t at = stride > 0 ? stride * r : -stride * (height - 1 - r);
      std::copy_n(pixels.begin() + 3 * width * r, 3 * width, memory.begin() + at);
    }
    top = memory.data() + (stride > 0 ? 0 : -stride * (height - 1));
  }
  Bytes memory;
  const std::uint8_t* top;
};

// Edge values in every mix of channels: black, white, one step off each, mid grey, the
// saturated primaries, where clamping and rounding show.
Bytes EdgePixels(std::size_t count) {
  constexpr std::uint8_t kValues[] = {0, 1, 127, 128, 254, 255};
  Bytes b(3 * count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t k = i % (6 * 6 * 6);
    b[3 * i] = kValues[k % 6];
    b[3 * i + 1] = kValues[k / 6 % 6];
    b[3 * i + 2] = kValues[k / 36];
  }
  return b;
}

TEST(BitmapRows, TheSsse3BuildGivesThePlainCodesBytesForAnyWidthStrideAndBand) {
  std::mt19937 rng(27);
  for (const int width : {2, 14, 16, 18, 46, 720}) {
    const int height = 6;
    for (const bool edges : {false, true}) {
      const Bytes pixels = edges ? EdgePixels(static_cast<std::size_t>(width) * height)
                                 : zentra_test::RandomBytes(rng, 3u * width * height);
      const std::ptrdiff_t tight = 3 * width, padded = (3 * width + 3) & ~3;
      for (const std::ptrdiff_t stride : {tight, tight + 1, -padded, -(tight + 1)}) {
        SCOPED_TRACE(testing::Message() << "width " << width << ", stride " << stride << (edges ? ", edges" : ""));
        const Rows rows(pixels, width, height, stride);
        Planes plain(width, height), simd(width, height), bands(width, height);
        outside::Bgr24RowsToYuv420Plain(plain.For(rows.top, stride), 0, height);
        outside::Bgr24RowsToYuv420(simd.For(rows.top, stride), 0, height);
        // Bands of one picture converted apart, the later one first.
        outside::Bgr24RowsToYuv420(bands.For(rows.top, stride), 4, 2);
        outside::Bgr24RowsToYuv420(bands.For(rows.top, stride), 0, 4);
        EXPECT_TRUE(simd == plain);
        EXPECT_TRUE(bands == plain);
        // Nothing written past the width of a row.
        for (int r = 0; r < height; ++r)
          EXPECT_EQ(plain.y[static_cast<std::size_t>(r) * plain.yStride + width], 0xA5) << "row " << r;
        EXPECT_EQ(plain.u[static_cast<std::size_t>(width / 2)], 0xA5);
      }
    }
  }
}

// The conversion the encoder ran before: the scaler's exact path with the unscaled BT.601
// matrix, on a bottom-up bitmap.
Planes ScalerPlanes(const std::uint8_t* bottomUpTop, int stride, int width, int height) {
  SwsContext* sws = sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, AV_PIX_FMT_YUV420P,
                                   SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
  const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(sws, bt601, 1, bt601, 1, 0, 1 << 16, 1 << 16);
  Planes p(width, height);
  const std::uint8_t* src[4] = {bottomUpTop, nullptr, nullptr, nullptr};
  const int srcStrides[4] = {-stride, 0, 0, 0};
  std::uint8_t* dst[4] = {p.y.data(), p.u.data(), p.v.data(), nullptr};
  const int dstStrides[4] = {p.yStride, p.cStride, p.cStride, 0};
  sws_scale(sws, src, srcStrides, 0, height, dst, dstStrides);
  sws_freeContext(sws);
  return p;
}

TEST(BitmapRows, ThePictureServersBitmapsComeBackAsTheScalerGaveThemWithEveryLumaExact) {
  // YUV pictures of studio levels: noise over smooth ramps, and the levels' own extremes.
  constexpr int kWidth = 96, kHeight = 64;
  std::mt19937 rng(2027);
  std::uniform_int_distribution<int> noise(-24, 24);
  for (const bool extremes : {false, true}) {
    SCOPED_TRACE(extremes ? "extremes" : "ramps with noise");
    Bytes y(kWidth * kHeight), u(kWidth * kHeight / 4), v(u.size());
    for (int r = 0; r < kHeight; ++r)
      for (int x = 0; x < kWidth; ++x)
        y[r * kWidth + x] = static_cast<std::uint8_t>(
            extremes ? ((x + r) % 3 == 0 ? 16 : (x + r) % 3 == 1 ? 235 : 128) : std::clamp(40 + 2 * x + noise(rng), 16, 235));
    for (std::size_t i = 0; i < u.size(); ++i) {
      const int x = static_cast<int>(i % (kWidth / 2)), r = static_cast<int>(i / (kWidth / 2));
      u[i] = static_cast<std::uint8_t>(extremes ? (i % 2 ? 16 : 240) : std::clamp(90 + 2 * r + noise(rng) / 3, 16, 240));
      v[i] = static_cast<std::uint8_t>(extremes ? (i % 3 ? 240 : 16) : std::clamp(170 - x + noise(rng) / 3, 16, 240));
    }
    const int stride = static_cast<int>(zentra::Dib24Stride(kWidth));
    Bytes dib(40 + static_cast<std::size_t>(stride) * kHeight);
    ASSERT_FALSE(zentra::YuvPlanesToDib(kWidth, kHeight, y.data(), u.data(), v.data(), dib.data()).Failed());
    const std::uint8_t* top = dib.data() + 40 + static_cast<std::ptrdiff_t>(stride) * (kHeight - 1);

    Planes ours(kWidth, kHeight);
    outside::Bgr24RowsToYuv420(ours.For(top, -stride), 0, kHeight);
    const Planes scaler = ScalerPlanes(top, stride, kWidth, kHeight);
    int unclamped = 0, lumaOff = 0, chromaOff = 0;
    for (int r = 0; r < kHeight; ++r)
      for (int x = 0; x < kWidth; ++x) {
        const std::uint8_t* px = top - static_cast<std::ptrdiff_t>(stride) * r + 3 * x;
        const int a = ours.y[r * ours.yStride + x], b = scaler.y[r * scaler.yStride + x];
        lumaOff = std::max(lumaOff, std::abs(a - b));
        if (std::all_of(px, px + 3, [](std::uint8_t c) { return c != 0 && c != 255; })) {
          ++unclamped;
          EXPECT_EQ(a, y[r * kWidth + x]) << "luma at " << x << "," << r;
        }
      }
    // Chroma: the mean of each 2x2 block instead of the scaler's wider filter, which rings
    // at sharp edges; at least as near the source's chroma.
    double oursFromSource = 0, scalerFromSource = 0;
    for (int r = 0; r < kHeight / 2; ++r)
      for (int x = 0; x < kWidth / 2; ++x) {
        const std::size_t at = static_cast<std::size_t>(r) * ours.cStride + x, source = r * kWidth / 2 + x;
        chromaOff = std::max({chromaOff, std::abs(ours.u[at] - scaler.u[at]), std::abs(ours.v[at] - scaler.v[at])});
        oursFromSource += std::abs(ours.u[at] - u[source]) + std::abs(ours.v[at] - v[source]);
        scalerFromSource += std::abs(scaler.u[at] - u[source]) + std::abs(scaler.v[at] - v[source]);
      }
    std::printf("[ measured ] luma unclamped %d of %d, off the scaler's by %d; chroma off by %d, "
                "from the source %.3f (scaler %.3f) on average\n",
                unclamped, kWidth * kHeight, lumaOff, chromaOff, oursFromSource / u.size() / 2,
                scalerFromSource / u.size() / 2);
    EXPECT_GT(unclamped, kWidth * kHeight / 4);
    EXPECT_LE(lumaOff, 1);
    if (!extremes) {  // the extremes' chroma leaves most colours clamped, for both alike
      EXPECT_LE(chromaOff, 2);
      EXPECT_LE(oursFromSource, scalerFromSource);
    }
  }
}

}  // namespace
