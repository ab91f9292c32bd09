#include <zentra/conversions.h>
#include <zentra/engine_dispatch.h>
#include <zentra/primitive_runtime.h>

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

namespace zentra {

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

constexpr ConversionResult Fail(HRESULT hr, const char* description) { return {hr, description}; }

const ConversionResult kNullPointer = Fail(E_POINTER, "A required pointer is null");
const ConversionResult kBadSize = Fail(E_INVALIDARG, "The picture size is not positive or too large");
const ConversionResult kNoMemory = Fail(E_OUTOFMEMORY, "Not enough memory for the conversion");

// A per-call scratch block from the library heap, freed on every return path.
class Scratch {
 public:
  explicit Scratch(std::int64_t bytes)
      : p_(bytes > 0 ? static_cast<std::uint8_t*>(HeapAllocate(static_cast<std::size_t>(bytes))) : nullptr) {}
  ~Scratch() {
    if (p_ != nullptr) HeapRelease(p_);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  std::uint8_t* get() const { return p_; }

 private:
  std::uint8_t* p_;
};

// Positive sizes whose sample count fits the 32-bit sizes callers allocate with.
bool PictureSizeOk(std::int32_t width, std::int32_t height) {
  return width > 0 && height > 0 && std::int64_t{width} * height <= kInt32Max;
}

bool DibSizeOk(std::int32_t width, std::int32_t height) {
  return PictureSizeOk(width, height) && Dib24Stride(width) * height + 40 <= kInt32Max;
}

void FillTable(std::int32_t* table, float coefficient) {
  // 256*i*c is exact in double: a 16-bit integer times a 24-bit mantissa.
  for (int i = 0; i < 256; ++i)
    table[i] = static_cast<std::int32_t>(std::trunc(256.0 * i * static_cast<double>(coefficient)));
}

RgbToYuvTables g_rgbToYuvTables;
std::once_flag g_rgbToYuvTablesOnce;

inline std::uint8_t Clamp255(std::int32_t v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// Horizontal doubling of one chroma row of n samples into width samples: each
// sample stands at the odd position 2k+1, the even position 2k takes the
// truncated average of c[k-1] and c[k] (c[0] itself at 0); columns beyond 2n,
// which odd widths have, repeat the last sample.
void DoubleChromaRow(const std::uint8_t* c, std::int32_t n, std::int32_t width, std::uint8_t* out) {
  out[0] = c[0];
  if (width > 1) out[1] = c[0];
  const __m128i one = _mm_set1_epi8(1);
  std::int32_t k = 1;
  for (; k + 16 <= n; k += 16) {
    __m128i prev = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + k - 1));
    __m128i cur = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + k));
    __m128i avg = _mm_sub_epi8(_mm_avg_epu8(prev, cur), _mm_and_si128(_mm_xor_si128(prev, cur), one));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * k), _mm_unpacklo_epi8(avg, cur));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * k + 16), _mm_unpackhi_epi8(avg, cur));
  }
  for (; k < n; ++k) {
    out[2 * k] = static_cast<std::uint8_t>((c[k - 1] + c[k]) >> 1);
    out[2 * k + 1] = c[k];
  }
  for (std::int32_t x = 2 * n; x < width; ++x) out[x] = c[n - 1];
}

// Byte-wise truncating average of two rows.
void AverageRows(const std::uint8_t* a, const std::uint8_t* b, std::int32_t count, std::uint8_t* out) {
  const __m128i one = _mm_set1_epi8(1);
  std::int32_t x = 0;
  for (; x + 16 <= count; x += 16) {
    __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
    __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
    // pavgb rounds up; taking the odd bit of a^b off gives the truncated average.
    __m128i avg = _mm_sub_epi8(_mm_avg_epu8(va, vb), _mm_and_si128(_mm_xor_si128(va, vb), one));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), avg);
  }
  for (; x < count; ++x) out[x] = static_cast<std::uint8_t>((a[x] + b[x]) >> 1);
}

inline void ColourPixel(std::int32_t y, std::int32_t cb, std::int32_t cr, std::uint8_t* out) {
  cb -= 128;
  cr -= 128;
  out[0] = Clamp255((8192 * y + 4096 + 14516 * cb) >> 13);
  out[1] = Clamp255((8192 * y + 4096 - 2819 * cb - 5850 * cr) >> 13);
  out[2] = Clamp255((8192 * y + 4096 + 11485 * cr) >> 13);
}

}  // namespace

const RgbToYuvTables& BuildConversionTables() {
  std::call_once(g_rgbToYuvTablesOnce, [] {
    FillTable(g_rgbToYuvTables.y65481, 65.481f);
    FillTable(g_rgbToYuvTables.y128553, 128.553f);
    FillTable(g_rgbToYuvTables.y24966, 24.966f);
    FillTable(g_rgbToYuvTables.cb37797, 37.797f);
    FillTable(g_rgbToYuvTables.cb74203, 74.203f);
    FillTable(g_rgbToYuvTables.c112, 112.0f);
    FillTable(g_rgbToYuvTables.cr93786, 93.786f);
    FillTable(g_rgbToYuvTables.cr18214, 18.214f);
  });
  return g_rgbToYuvTables;
}

// ---- Buffer sizes.

ConversionResult GetYuvPlaneSizes(std::int32_t width, std::int32_t height, std::int32_t* ySize,
                                  std::int32_t* uSize, std::int32_t* vSize) {
  if (ySize == nullptr || uSize == nullptr || vSize == nullptr) return kNullPointer;
  if (width < 0 || height < 0 || std::int64_t{width} * height > kInt32Max) return kBadSize;
  *ySize = width * height;
  *uSize = *vSize = (width >> 1) * (height >> 1);
  return kConversionOk;
}

ConversionResult GetDibSize(std::int32_t width, std::int32_t height, std::int32_t bitCount,
                            std::int32_t* size) {
  if (size == nullptr) return kNullPointer;
  if (bitCount != 24) return Fail(DISP_E_EXCEPTION, kDibSizeOnly24Bit);
  if (width < 0 || height < 0) return kBadSize;
  const std::int64_t bytes = Dib24Stride(width) * height + 40;
  if (bytes > kInt32Max) return kBadSize;
  *size = static_cast<std::int32_t>(bytes);
  return kConversionOk;
}

// ---- YUV 4:2:0 to 24-bit rows.

void YuvRowToBgr24_C(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                     std::int32_t count, std::uint8_t* out) {
  for (std::int32_t x = 0; x < count; ++x) ColourPixel(y[x], cb[x], cr[x], out + 3 * x);
}

namespace {

// floor((c * k + 4096) / 8192) for signed 16-bit c, exactly, in 16-bit lanes:
// the 32-bit product is hi*65536 + lo, and hi*65536 divides out of the shift.
inline __m128i ScaledTerm(__m128i c, __m128i k) {
  const __m128i hi = _mm_mulhi_epi16(c, k);
  const __m128i lo = _mm_mullo_epi16(c, k);
  const __m128i frac = _mm_srli_epi16(_mm_add_epi16(_mm_srli_epi16(lo, 1), _mm_set1_epi16(2048)), 12);
  return _mm_add_epi16(_mm_slli_epi16(hi, 3), frac);
}

}  // namespace

// Eight pixels per step. Since 8192*Y leaves the shift whole, each colour is
// Y plus a scaled chroma term: B and R in 16-bit lanes, G (two chroma terms)
// through 32-bit multiply-adds.
void YuvRowToBgr24_Sse2(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                        std::int32_t count, std::uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bias128 = _mm_set1_epi16(128);
  const __m128i kB = _mm_set1_epi16(14516);
  const __m128i kR = _mm_set1_epi16(11485);
  const __m128i kG = _mm_set1_epi32(static_cast<std::int32_t>(
      (static_cast<std::uint32_t>(static_cast<std::uint16_t>(-5850)) << 16) | static_cast<std::uint16_t>(-2819)));
  const __m128i round = _mm_set1_epi32(4096);
  const __m128i low3 = _mm_set1_epi64x(0x0000000000FFFFFF);
  const __m128i high3 = _mm_set1_epi64x(0x00FFFFFF00000000);
  std::int32_t x = 0;
  // The last store of a step writes two bytes past the step's 24; at least one
  // more pixel must follow to overwrite them.
  for (; x + 9 <= count; x += 8) {
    __m128i vy = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(y + x)), zero);
    __m128i vb = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + x)), zero), bias128);
    __m128i vr = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + x)), zero), bias128);
    __m128i b16 = _mm_add_epi16(vy, ScaledTerm(vb, kB));
    __m128i r16 = _mm_add_epi16(vy, ScaledTerm(vr, kR));
    __m128i g_lo = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(vb, vr), kG), round), 13);
    __m128i g_hi = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(vb, vr), kG), round), 13);
    __m128i g16 = _mm_add_epi16(vy, _mm_packs_epi32(g_lo, g_hi));

    // Saturate to bytes, then interleave into (B, G, R, 0) 32-bit pixels.
    __m128i b8 = _mm_packus_epi16(b16, zero);
    __m128i g8 = _mm_packus_epi16(g16, zero);
    __m128i r8 = _mm_packus_epi16(r16, zero);
    __m128i bg = _mm_unpacklo_epi8(b8, g8);
    __m128i r0 = _mm_unpacklo_epi8(r8, zero);
    __m128i p03 = _mm_unpacklo_epi16(bg, r0);
    __m128i p47 = _mm_unpackhi_epi16(bg, r0);

    // Squeeze each pair of (B, G, R, 0) pixels into six bytes at the bottom of
    // its 64-bit lane; the 8-byte stores overlap, each one's two spare bytes
    // being overwritten by the next pixels.
    std::uint8_t* o = out + 3 * x;
    const __m128i squeeze03 = _mm_or_si128(_mm_and_si128(p03, low3), _mm_srli_epi64(_mm_and_si128(p03, high3), 8));
    const __m128i squeeze47 = _mm_or_si128(_mm_and_si128(p47, low3), _mm_srli_epi64(_mm_and_si128(p47, high3), 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), squeeze03);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 6), _mm_unpackhi_epi64(squeeze03, squeeze03));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 12), squeeze47);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 18), _mm_unpackhi_epi64(squeeze47, squeeze47));
  }
  for (; x < count; ++x) ColourPixel(y[x], cb[x], cr[x], out + 3 * x);
}

const YuvToDibKernels YuvToDibBuilds[2] = {
    {"C", &YuvRowToBgr24_C},
    {"Sse2", &YuvRowToBgr24_Sse2},
};

// Works row by row: the full-resolution chroma row of picture row r is a doubled
// chroma row (even r) or the truncated average of two (odd r); the last row,
// and any row beyond the chroma plane, repeats the last doubled row. Rows are
// written at the bitmap's own stride with zeroed padding, so sizes outside the
// multiples of 8 still give a well-formed bitmap.
ConversionResult YuvPlanesToDibWith(const YuvToDibKernels& kernels, std::int32_t width,
                                    std::int32_t height, const std::uint8_t* y,
                                    const std::uint8_t* u, const std::uint8_t* v,
                                    std::uint8_t* dib) {
  if (y == nullptr || u == nullptr || v == nullptr || dib == nullptr) return kNullPointer;
  if (!DibSizeOk(width, height)) return kBadSize;
  const std::int64_t stride = Dib24Stride(width);
  const std::int32_t cw = width >> 1;
  const std::int32_t ch = height >> 1;
  const bool chroma = cw > 0 && ch > 0;

  // Two doubled rows per plane (the pair averaged for odd rows) and the averages.
  Scratch scratch(std::int64_t{width} * 6);
  if (scratch.get() == nullptr) return kNoMemory;
  std::uint8_t* du[2] = {scratch.get(), scratch.get() + width};
  std::uint8_t* dv[2] = {scratch.get() + 2 * std::int64_t{width}, scratch.get() + 3 * std::int64_t{width}};
  std::uint8_t* au = scratch.get() + 4 * std::int64_t{width};
  std::uint8_t* av = scratch.get() + 5 * std::int64_t{width};
  std::int32_t held[2] = {-1, -1};  // chroma row held in each slot

  // Both planes' rows of one chroma row are doubled together into the slot of
  // the row's parity, so an odd picture row finds its two rows in the two slots.
  auto doubled = [&](std::int32_t row, int plane) -> const std::uint8_t* {
    const int slot = row & 1;
    if (held[slot] != row) {
      DoubleChromaRow(u + std::int64_t{row} * cw, cw, width, du[slot]);
      DoubleChromaRow(v + std::int64_t{row} * cw, cw, width, dv[slot]);
      held[slot] = row;
    }
    return plane == 0 ? du[slot] : dv[slot];
  };

  BitmapInfoHeader header{};
  header.biSize = 40;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = 0;
  header.biSizeImage = static_cast<std::uint32_t>(stride * height);
  std::memcpy(dib, &header, sizeof header);
  std::uint8_t* pixels = dib + 40;

  if (!chroma) {
    // No chroma sample at all (a picture one pixel wide or high): neutral grey.
    std::memset(au, 128, static_cast<std::size_t>(width));
    std::memset(av, 128, static_cast<std::size_t>(width));
  }
  for (std::int32_t r = 0; r < height; ++r) {
    const std::uint8_t* cbRow = au;
    const std::uint8_t* crRow = av;
    if (chroma) {
      if (r >= 2 * ch - 1) {
        cbRow = doubled(ch - 1, 0);
        crRow = doubled(ch - 1, 1);
      } else if ((r & 1) == 0) {
        cbRow = doubled(r >> 1, 0);
        crRow = doubled(r >> 1, 1);
      } else {
        const std::uint8_t* u0 = doubled(r >> 1, 0);
        const std::uint8_t* v0 = doubled(r >> 1, 1);
        const std::uint8_t* u1 = doubled((r >> 1) + 1, 0);
        const std::uint8_t* v1 = doubled((r >> 1) + 1, 1);
        AverageRows(u0, u1, width, au);
        AverageRows(v0, v1, width, av);
      }
    }
    std::uint8_t* out = pixels + (std::int64_t{height} - 1 - r) * stride;
    kernels.colourRow(y + std::int64_t{r} * width, cbRow, crRow, width, out);
    for (std::int64_t pad = 3 * std::int64_t{width}; pad < stride; ++pad) out[pad] = 0;
  }
  return kConversionOk;
}

ConversionResult YuvPlanesToDib(std::int32_t width, std::int32_t height, const std::uint8_t* y,
                                const std::uint8_t* u, const std::uint8_t* v, std::uint8_t* dib) {
  return YuvPlanesToDibWith(YuvToDibBuilds[kYuvToDibRunningBuild], width, height, y, u, v, dib);
}

// ---- RGB to YUV 4:2:0.

ConversionResult RgbToYuvPlanes(const std::uint8_t* pixels, std::int32_t width,
                                std::int32_t height, std::uint8_t* yOut, std::uint8_t* vOut,
                                std::uint8_t* uOut) {
  if (pixels == nullptr || yOut == nullptr || vOut == nullptr || uOut == nullptr) return kNullPointer;
  if (!DibSizeOk(width, height)) return kBadSize;
  const RgbToYuvTables& t = BuildConversionTables();
  const std::int64_t stride = Dib24Stride(width);
  const std::int64_t samples = std::int64_t{width} * height;

  // Full-resolution Cb and Cr; the luma goes straight to the caller's plane.
  Scratch chroma(2 * samples);
  if (chroma.get() == nullptr) return kNoMemory;
  std::uint8_t* cbFull = chroma.get();
  std::uint8_t* crFull = chroma.get() + samples;

  for (std::int32_t r = 0; r < height; ++r) {
    const std::uint8_t* row = pixels + (std::int64_t{height} - 1 - r) * stride;
    const std::int64_t base = std::int64_t{r} * width;
    for (std::int32_t x = 0; x < width; ++x) {
      const int red = row[3 * x], green = row[3 * x + 1], blue = row[3 * x + 2];
      yOut[base + x] = static_cast<std::uint8_t>((1048576 + t.y65481[red] + t.y128553[green] + t.y24966[blue]) >> 16);
      cbFull[base + x] = static_cast<std::uint8_t>((8388608 - t.cb37797[red] - t.cb74203[green] + t.c112[blue]) >> 16);
      crFull[base + x] = static_cast<std::uint8_t>((8388608 + t.c112[red] - t.cr93786[green] - t.cr18214[blue]) >> 16);
    }
  }
  const std::int32_t cw = width >> 1;
  const std::int32_t ch = height >> 1;
  for (std::int32_t j = 0; j < ch; ++j) {
    const std::uint8_t* cb0 = cbFull + std::int64_t{2 * j} * width;
    const std::uint8_t* cr0 = crFull + std::int64_t{2 * j} * width;
    const std::uint8_t* cb1 = cb0 + width;
    const std::uint8_t* cr1 = cr0 + width;
    for (std::int32_t i = 0; i < cw; ++i) {
      uOut[std::int64_t{j} * cw + i] = static_cast<std::uint8_t>((cb0[2 * i] + cb0[2 * i + 1] + cb1[2 * i] + cb1[2 * i + 1]) >> 2);
      vOut[std::int64_t{j} * cw + i] = static_cast<std::uint8_t>((cr0[2 * i] + cr0[2 * i + 1] + cr1[2 * i] + cr1[2 * i + 1]) >> 2);
    }
  }
  return kConversionOk;
}

// ---- Bitmap resize.

ConversionResult ResizeDib(const std::uint8_t* srcDib, std::int32_t newWidth,
                           std::int32_t newHeight, std::uint8_t* dstDib) {
  if (srcDib == nullptr || dstDib == nullptr) return kNullPointer;
  BitmapInfoHeader header;
  std::memcpy(&header, srcDib, sizeof header);
  const std::int64_t sw64 = std::abs(std::int64_t{header.biWidth});
  const std::int64_t sh64 = std::abs(std::int64_t{header.biHeight});
  if (sw64 > kInt32Max || sh64 > kInt32Max) return kBadSize;
  const auto sw = static_cast<std::int32_t>(sw64);
  const auto sh = static_cast<std::int32_t>(sh64);
  if (!DibSizeOk(sw, sh) || !DibSizeOk(newWidth, newHeight)) return kBadSize;

  const std::int64_t srcStride = Dib24Stride(sw);
  const std::int64_t dstStride = Dib24Stride(newWidth);
  header.biWidth = newWidth;
  header.biHeight = newHeight;
  header.biSizeImage = static_cast<std::uint32_t>(dstStride * newHeight);
  std::memcpy(dstDib, &header, sizeof header);

  const std::uint8_t* src = srcDib + 40;
  std::uint8_t* dst = dstDib + 40;
  const double xRatio = static_cast<double>(sw) / newWidth;
  const double yRatio = static_cast<double>(sh) / newHeight;
  for (std::int32_t i = 0; i < newHeight; ++i) {
    const double p = i * yRatio;
    const auto y0 = static_cast<std::int32_t>(p);
    const auto fy = static_cast<std::int32_t>((p - y0) * 256);
    const std::int32_t y1 = y0 < sh - 1 ? y0 + 1 : y0;
    const std::uint8_t* row0 = src + y0 * srcStride;
    const std::uint8_t* row1 = src + y1 * srcStride;
    std::uint8_t* out = dst + i * dstStride;
    for (std::int32_t j = 0; j < newWidth; ++j) {
      const double q = j * xRatio;
      const auto x0 = static_cast<std::int32_t>(q);
      const auto fx = static_cast<std::int32_t>((q - x0) * 256);
      const std::int32_t x1 = x0 < sw - 1 ? x0 + 1 : x0;
      const std::int32_t w00 = (256 - fx) * (256 - fy), w01 = fx * (256 - fy);
      const std::int32_t w10 = (256 - fx) * fy, w11 = fx * fy;
      for (int c = 0; c < 3; ++c) {
        out[3 * j + c] = static_cast<std::uint8_t>(
            (w00 * row0[3 * x0 + c] + w01 * row0[3 * x1 + c] + w10 * row1[3 * x0 + c] +
             w11 * row1[3 * x1 + c]) >> 16);
      }
    }
  }
  return kConversionOk;
}

// ---- Plane resize.

namespace {

ConversionResult FromResizeStatus(PrimitiveStatus status) {
  switch (status) {
    case StatusOk:
      return kConversionOk;
    case StatusNoMemory:
      return kNoMemory;
    case StatusNullPointer:
      return kNullPointer;
    default:
      return Fail(E_INVALIDARG, "The plane resize refused the picture sizes");
  }
}

}  // namespace

ConversionResult ResizeYuvPlanes(std::int32_t srcWidth, std::int32_t srcHeight,
                                 const std::uint8_t* srcY, const std::uint8_t* srcU,
                                 const std::uint8_t* srcV, std::int32_t dstWidth,
                                 std::int32_t dstHeight, std::uint8_t* dstY, std::uint8_t* dstU,
                                 std::uint8_t* dstV) {
  if (srcY == nullptr || srcU == nullptr || srcV == nullptr || dstY == nullptr ||
      dstU == nullptr || dstV == nullptr)
    return kNullPointer;
  if (!PictureSizeOk(srcWidth, srcHeight) || !PictureSizeOk(dstWidth, dstHeight)) return kBadSize;
  const auto half = [](std::int32_t n) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(n) >> 1); };
  ConversionResult r = FromResizeStatus(ResizePlane(srcY, dstY, srcWidth, srcHeight, dstWidth, dstHeight));
  if (r.Failed()) return r;
  r = FromResizeStatus(ResizePlane(srcU, dstU, half(srcWidth), half(srcHeight), half(dstWidth), half(dstHeight)));
  if (r.Failed()) return r;
  return FromResizeStatus(ResizePlane(srcV, dstV, half(srcWidth), half(srcHeight), half(dstWidth), half(dstHeight)));
}

}  // namespace zentra
