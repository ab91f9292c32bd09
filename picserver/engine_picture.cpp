// The engine's picture helpers: RGB to YUV 4:2:0 in fixed point (a wide core
// over row pairs and scalar edges for odd sizes), the bitmap wrappers, row
// copies, the picture resize, and the table and BGRX converters.
#include <zentra/conversions.h>
#include <zentra/engine_picture.h>
#include <zentra/kernel_arithmetic.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zentra {

namespace {

// Where the three colours sit in a pixel of pixelBytes bytes.
struct PixelLayout {
  std::int32_t pixelBytes;
  std::int32_t red;
  std::int32_t blue;
};
constexpr PixelLayout kRgb24 = {3, 0, 2};
constexpr PixelLayout kBgr24 = {3, 2, 0};
constexpr PixelLayout kBgrx32 = {4, 2, 0};

struct Rgb {
  std::int32_t r, g, b;
};
inline Rgb PixelAt(const std::uint8_t* row, std::int32_t x, const PixelLayout& l) {
  const std::uint8_t* p = row + static_cast<std::int64_t>(x) * l.pixelBytes;
  return {p[l.red], p[1], p[l.blue]};
}

// Doubled luma of the wide core: in the groups of four blocks the red-green and
// blue sums are shifted apart, in the blocks after them together.
inline std::int32_t DoubledLumaGrouped(const Rgb& p) {
  return ((9798 * p.r + 19235 * p.g) >> 14) + ((3736 * p.b) >> 14);
}
inline std::int32_t DoubledLumaSingle(const Rgb& p) { return (9798 * p.r + 19235 * p.g + 3736 * p.b) >> 14; }
// The 16-bit luma sum of the scalar edges, before its shift.
inline std::int32_t LumaSum(const Rgb& p) { return 19595 * p.r + 38470 * p.g + 7471 * p.b; }

struct Planes {
  std::uint8_t* y;
  std::uint8_t* u;
  std::uint8_t* v;
  std::int32_t yStep, uStep, vStep;
  std::int32_t chromaWidth, chromaHeight;  // chroma samples that have room
};

inline void PutChroma(const Planes& o, std::int32_t row, std::int32_t col, std::int32_t u, std::int32_t v) {
  if (row >= o.chromaHeight || col >= o.chromaWidth) return;
  o.u[static_cast<std::int64_t>(row) * o.uStep + col] = SaturateU8(u + 128);
  o.v[static_cast<std::int64_t>(row) * o.vStep + col] = SaturateU8(v + 128);
}

// Chroma of a pair of pixels from their byte sums and luma sums (scalar edges).
inline void PairChroma(const Planes& o, std::int32_t row, std::int32_t col, const Rgb& a, std::int32_t ta,
                       const Rgb& b, std::int32_t tb) {
  const std::int32_t bd = ((((a.b + b.b) << 16) - ta - tb) >> 16);
  const std::int32_t rd = ((((a.r + b.r) << 16) - ta - tb) >> 16);
  PutChroma(o, row, col, (bd * 32244) >> 17, (rd * 57475) >> 17);
}

void ConvertRgbToYuv420(const std::uint8_t* src, std::int64_t srcStep, const Planes& o,
                        std::int32_t width, std::int32_t height, const PixelLayout& l) {
  const std::int32_t blocks = width / 2;
  const std::int32_t grouped = blocks & ~3;
  for (std::int32_t pair = 0; pair < height / 2; ++pair) {
    const std::uint8_t* rows[2] = {src + (2 * pair) * srcStep, src + (2 * pair + 1) * srcStep};
    std::uint8_t* yRows[2] = {o.y + static_cast<std::int64_t>(2 * pair) * o.yStep,
                              o.y + static_cast<std::int64_t>(2 * pair + 1) * o.yStep};
    for (std::int32_t b = 0; b < blocks; ++b) {
      std::int32_t sy = 0, sr = 0, sb = 0;
      for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c) {
          const Rgb p = PixelAt(rows[r], 2 * b + c, l);
          const std::int32_t y2 = b < grouped ? DoubledLumaGrouped(p) : DoubledLumaSingle(p);
          yRows[r][2 * b + c] = SaturateU8(y2 >> 1);
          sy += y2, sr += p.r, sb += p.b;
        }
      PutChroma(o, pair, b, (((sb >> 1) - (sy >> 2)) * 16121) >> 16, (((sr >> 1) - (sy >> 2)) * 28737) >> 16);
    }
    if (width % 2 != 0) {
      const Rgb a = PixelAt(rows[0], width - 1, l), c = PixelAt(rows[1], width - 1, l);
      const std::int32_t ta = LumaSum(a), tc = LumaSum(c);
      yRows[0][width - 1] = SaturateU8(ta >> 16);
      yRows[1][width - 1] = SaturateU8(tc >> 16);
      PairChroma(o, pair, blocks, a, ta, c, tc);
    }
  }
  if (height % 2 != 0) {
    const std::uint8_t* row = src + static_cast<std::int64_t>(height - 1) * srcStep;
    std::uint8_t* yRow = o.y + static_cast<std::int64_t>(height - 1) * o.yStep;
    for (std::int32_t b = 0; b < blocks; ++b) {
      const Rgb a = PixelAt(row, 2 * b, l), c = PixelAt(row, 2 * b + 1, l);
      const std::int32_t ta = LumaSum(a), tc = LumaSum(c);
      yRow[2 * b] = SaturateU8(ta >> 16);
      yRow[2 * b + 1] = SaturateU8(tc >> 16);
      PairChroma(o, height / 2, b, a, ta, c, tc);
    }
    if (width % 2 != 0) {
      const Rgb a = PixelAt(row, width - 1, l);
      const std::int32_t t = LumaSum(a);
      yRow[width - 1] = SaturateU8(t >> 16);
      PutChroma(o, height / 2, blocks, ((((a.b << 16) - t) >> 16) * 32244) >> 16,
                ((((a.r << 16) - t) >> 16) * 57475) >> 16);
    }
  }
}

PrimitiveStatus CheckedRgbToYuv420(const std::uint8_t* src, std::int32_t srcStep,
                                   std::uint8_t* const dst[3], const std::int32_t dstStep[3],
                                   std::int32_t width, std::int32_t height, const PixelLayout& l,
                                   std::int32_t chromaWidth, std::int32_t chromaHeight) {
  if (src == nullptr || dst == nullptr) return StatusNullPointer;
  if (width <= 0 || height <= 0) return StatusSizeError;
  if (dst[0] == nullptr || dst[1] == nullptr || dst[2] == nullptr) return StatusNullPointer;
  if (srcStep <= 0 || dstStep[0] <= 0 || dstStep[1] <= 0 || dstStep[2] <= 0) return StatusStepError;
  ConvertRgbToYuv420(src, srcStep, {dst[0], dst[1], dst[2], dstStep[0], dstStep[1], dstStep[2], chromaWidth, chromaHeight},
                     width, height, l);
  return StatusOk;
}

// The picture's planes as the converter's outputs: blue difference to U.
PrimitiveStatus DibToPicture(const std::uint8_t* pixels, std::int32_t step, YuvPicture* picture,
                             const PixelLayout& l) {
  if (picture == nullptr) return StatusNullPointer;
  const std::int32_t w = picture->width, h = picture->height;
  std::uint8_t* const planes[3] = {picture->y, picture->u, picture->v};
  const std::int32_t steps[3] = {w, w / 2, w / 2};
  return CheckedRgbToYuv420(pixels, step, planes, steps, w, h, l, w / 2, h / 2);
}

std::int32_t Dib24Step(std::int32_t width) { return static_cast<std::int32_t>(Dib24Stride(width)); }

// Each source row from the last in memory to the first, its pixels' three bytes
// copied into output pixels of outPixel bytes (the fourth byte of a 32-bit
// pixel and the row padding set to 0).
void FlipRows(std::int32_t width, std::int32_t height, const std::uint8_t* src, std::uint8_t* dst,
              std::int32_t outPixel, std::int64_t outStride) {
  if (width <= 0 || height <= 0) return;
  const std::int64_t stride = Dib24Stride(width);
  for (std::int32_t r = 0; r < height; ++r) {
    const std::uint8_t* in = src + (height - 1 - r) * stride;
    std::uint8_t* out = dst + r * outStride;
    std::memset(out, 0, static_cast<std::size_t>(outStride));
    for (std::int32_t x = 0; x < width; ++x) std::memcpy(out + std::int64_t{x} * outPixel, in + 3 * std::int64_t{x}, 3);
  }
}

}  // namespace

PrimitiveStatus RgbToYuv420P3(const std::uint8_t* src, std::int32_t srcStep,
                              std::uint8_t* const dst[3], const std::int32_t dstStep[3],
                              std::int32_t width, std::int32_t height) {
  return CheckedRgbToYuv420(src, srcStep, dst, dstStep, width, height, kRgb24, (width + 1) / 2,
                            (height + 1) / 2);
}

void RgbToYuv420(const std::uint8_t* src, std::uint8_t* y, std::uint8_t* u, std::uint8_t* v,
                 std::int32_t width, std::int32_t height, std::int32_t srcStep, std::int32_t yStep,
                 std::int32_t uStep, std::int32_t vStep) {
  ConvertRgbToYuv420(src, srcStep, {y, u, v, yStep, uStep, vStep, (width + 1) / 2, (height + 1) / 2},
                     width, height, kRgb24);
}

PrimitiveStatus Dib24ToYuvPicture_C(const std::uint8_t* pixels, YuvPicture* picture) {
  return DibToPicture(pixels, picture != nullptr ? Dib24Step(picture->width) : 0, picture, kBgr24);
}

void Dib24ToYuvPictureFlipped_C(const std::uint8_t* pixels, YuvPicture* picture) {
  const std::int32_t w = picture->width, h = picture->height;
  if (w <= 0 || h <= 0) return;
  const std::int64_t stride = Dib24Stride(w);
  ConvertRgbToYuv420(pixels + (h - 1) * stride, -stride,
                     {picture->y, picture->u, picture->v, w, w / 2, w / 2, w / 2, h / 2}, w, h, kBgr24);
}

PrimitiveStatus Dib32ToYuvPicture_C(const std::uint8_t* pixels, YuvPicture* picture) {
  return DibToPicture(pixels, picture != nullptr ? 4 * picture->width : 0, picture, kBgrx32);
}

std::int32_t DibToYuvPicture_C(const BitmapInfoHeader* header, const std::uint8_t* pixels,
                               YuvPicture* picture) {
  if (header == nullptr || pixels == nullptr || picture == nullptr || picture->format != 1) return 0;
  // The picture's planes are sized by the picture; a bitmap of another size
  // would be read or written past them.
  if (header->biWidth != picture->width || header->biHeight != picture->height) return 0;
  if (header->biBitCount == 24)
    return Bgr24ToYuv420Tables(header->biWidth, header->biHeight, pixels, picture->y, picture->u,
                               picture->v) == StatusOk;
  if (header->biBitCount == 32) return Dib32ToYuvPicture(pixels, picture) == StatusOk;
  return 0;
}

void Dib24RowsToRgb32_C(std::int32_t width, std::int32_t height, const std::uint8_t* src,
                        std::uint8_t* dst) {
  FlipRows(width, height, src, dst, 4, 4 * std::int64_t{width});
}

void Dib24RowsToRgb24_C(std::int32_t width, std::int32_t height, const std::uint8_t* src,
                        std::uint8_t* dst) {
  FlipRows(width, height, src, dst, 3, Dib24Stride(width));
}

PrimitiveStatus ResizePlaneUnlessEmpty(const std::uint8_t* src, std::uint8_t* dst,
                                       std::int32_t srcWidth, std::int32_t srcHeight,
                                       std::int32_t dstWidth, std::int32_t dstHeight) {
  if (srcWidth == 0 || srcHeight == 0 || dstWidth == 0 || dstHeight == 0) return StatusOk;
  return ResizePlane(src, dst, srcWidth, srcHeight, dstWidth, dstHeight);
}

PrimitiveStatus ResizeYuvPicture_C(const YuvPicture* src, YuvPicture* dst) {
  dst->format = src->format;
  const std::int32_t sw = src->width, sh = src->height, dw = dst->width, dh = dst->height;
  PrimitiveStatus status = ResizePlaneUnlessEmpty(src->y, dst->y, sw, sh, dw, dh);
  if (status < 0) return status;
  status = ResizePlaneUnlessEmpty(src->u, dst->u, sw >> 1, sh >> 1, dw >> 1, dh >> 1);
  if (status < 0) return status;
  return ResizePlaneUnlessEmpty(src->v, dst->v, sw >> 1, sh >> 1, dw >> 1, dh >> 1);
}

PrimitiveStatus Bgr24ToYuv420Tables(std::int32_t width, std::int32_t height,
                                    const std::uint8_t* pixels, std::uint8_t* y, std::uint8_t* u,
                                    std::uint8_t* v) {
  if (width <= 0 || height <= 0) return StatusOk;
  const RgbToYuvTables& t = BuildConversionTables();
  // Four row buffers: Cb' and Cr' of an even and of an odd row.
  auto* buffers = static_cast<std::uint8_t*>(HeapAllocate(4 * static_cast<std::size_t>(width)));
  if (buffers == nullptr) return StatusNoMemory;
  std::uint8_t* cb[2] = {buffers, buffers + width};
  std::uint8_t* cr[2] = {buffers + 2 * std::int64_t{width}, buffers + 3 * std::int64_t{width}};
  const std::int64_t stride = Dib24Stride(width);
  const std::int32_t half = width / 2;
  for (std::int32_t r = 0; r < height; ++r) {
    const std::uint8_t* row = pixels + (height - 1 - r) * stride;
    std::uint8_t* yRow = y + std::int64_t{r} * width;
    const int parity = r & 1;
    for (std::int32_t x = 0; x < width; ++x) {
      const std::int32_t B = row[3 * x], G = row[3 * x + 1], R = row[3 * x + 2];
      yRow[x] = static_cast<std::uint8_t>((B + 6 * G + 3 * R) / 10);
      cb[parity][x] = SaturateU8((t.c112[B] - t.cb37797[R] - t.cb74203[G] + 8388608) >> 16);
      cr[parity][x] = SaturateU8((t.c112[R] - t.cr93786[G] - t.cr18214[B] + 8388608) >> 16);
    }
    if (parity == 1) {
      std::uint8_t* uRow = u + std::int64_t{r / 2} * half;
      std::uint8_t* vRow = v + std::int64_t{r / 2} * half;
      for (std::int32_t j = 0; j < half; ++j) {
        uRow[j] = static_cast<std::uint8_t>((cb[0][2 * j] + cb[0][2 * j + 1] + cb[1][2 * j] + cb[1][2 * j + 1]) >> 2);
        vRow[j] = static_cast<std::uint8_t>((cr[0][2 * j] + cr[0][2 * j + 1] + cr[1][2 * j] + cr[1][2 * j + 1]) >> 2);
      }
    }
  }
  HeapRelease(buffers);
  return StatusOk;
}

void Bgrx32ToLuma(std::int32_t width, std::int32_t height, const std::uint8_t* src,
                  std::uint8_t* y) {
  const std::int64_t pixels = std::int64_t{width} * std::max(height, 0);
  for (std::int64_t i = 0; i < pixels; ++i) {
    const std::uint8_t* p = src + 4 * i;
    y[i] = static_cast<std::uint8_t>((25 * p[0] + 129 * p[1] + 65 * p[2] + 4096) >> 8);
  }
}

void Bgrx32BlockChroma(const std::uint8_t* src, std::int32_t rowPixels, std::uint8_t* u,
                       std::uint8_t* v) {
  // The block's four chroma pairs, kept per call.
  std::uint8_t cb[4], cr[4];
  const std::uint8_t* px[4] = {src, src + 4, src + 4 * std::int64_t{rowPixels}, src + 4 * std::int64_t{rowPixels} + 4};
  for (int k = 0; k < 4; ++k) {
    const std::int32_t B = px[k][0], G = px[k][1], R = px[k][2];
    cb[k] = static_cast<std::uint8_t>((112 * B - 74 * G - 38 * R + 32768) >> 8);
    cr[k] = static_cast<std::uint8_t>((-18 * B - 94 * G + 112 * R + 32768) >> 8);
  }
  *u = static_cast<std::uint8_t>((cb[0] + cb[1] + cb[2] + cb[3]) >> 2);
  *v = static_cast<std::uint8_t>((cr[0] + cr[1] + cr[2] + cr[3]) >> 2);
}

void Bgrx32ToYuv420Mmx(std::int32_t width, std::int32_t height, const std::uint8_t* src,
                       std::uint8_t* u, std::uint8_t* v) {
  const std::int32_t half = width / 2;
  for (std::int32_t r = 0; r + 1 < height; r += 2)
    for (std::int32_t c = 0; c < half; ++c) {
      const std::int64_t out = std::int64_t{r / 2} * half + c;
      Bgrx32BlockChroma(src + (std::int64_t{r} * width + 2 * c) * 4, width, u + out, v + out);
    }
}

}  // namespace zentra
