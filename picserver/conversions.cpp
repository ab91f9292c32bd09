#include <zentra/conversions.h>
#include <zentra/engine_dispatch.h>
#include <zentra/engine_picture.h>
#include <zentra/kernel_arithmetic.h>
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

// Byte-wise truncating mean of two rows.
void AverageRows(const std::uint8_t* a, const std::uint8_t* b, std::int32_t count, std::uint8_t* out) {
  std::int32_t x = 0;
  for (; x + 16 <= count; x += 16) {
    __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
    __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
    __m128i avg = AverageDownEpu8(va, vb);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), avg);
  }
  for (; x < count; ++x) out[x] = static_cast<std::uint8_t>(AverageDown(a[x], b[x]));
}

// The even positions of a chroma row of n samples doubled to full width: the
// samples themselves stand at the odd positions 2k+1, position 2k takes the
// truncated mean of c[k-1] and c[k] (c[0] itself at 0), and the extra column of
// an odd width (evenCount = n + 1) repeats the last sample.
void EvenChroma(const std::uint8_t* c, std::int32_t n, std::int32_t evenCount, std::uint8_t* out) {
  out[0] = c[0];
  AverageRows(c, c + 1, n - 1, out + 1);
  if (evenCount > n) out[n] = c[n - 1];
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

// Works row by row: picture row r takes its full-resolution chroma from the
// doubled chroma row r/2 (even r) or the truncated mean of two doubled rows (odd
// r, taken inside the colour pass); the last row, and any row beyond the chroma
// plane, repeats the last doubled row. A doubled row is kept as its even
// positions (computed once per chroma row) and its odd positions, which are the
// plane's own row. Rows are written at the bitmap's own stride with zeroed
// padding, so sizes outside the multiples of 8 still give a well-formed bitmap.
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
  const std::int64_t evenCount = (std::int64_t{width} + 1) >> 1;  // pixels 0, 2, 4, ...

  // Even positions of two chroma rows per plane, in slots by row parity; without
  // any chroma sample the first two slots hold neutral grey for both parities.
  Scratch scratch(4 * evenCount);
  if (scratch.get() == nullptr) return kNoMemory;
  std::uint8_t* evenU[2] = {scratch.get(), scratch.get() + evenCount};
  std::uint8_t* evenV[2] = {scratch.get() + 2 * evenCount, scratch.get() + 3 * evenCount};
  std::int32_t held[2] = {-1, -1};  // chroma row held in each slot

  auto chromaRow = [&](std::int32_t row) {
    const int slot = row & 1;
    const std::uint8_t* uRow = u + std::int64_t{row} * cw;
    const std::uint8_t* vRow = v + std::int64_t{row} * cw;
    if (held[slot] != row) {
      EvenChroma(uRow, cw, static_cast<std::int32_t>(evenCount), evenU[slot]);
      EvenChroma(vRow, cw, static_cast<std::int32_t>(evenCount), evenV[slot]);
      held[slot] = row;
    }
    return ChromaRow{evenU[slot], uRow, evenV[slot], vRow};
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

  ChromaRow grey{};
  if (!chroma) {
    // No chroma sample at all (a picture one pixel wide or high).
    std::memset(scratch.get(), 128, static_cast<std::size_t>(2 * evenCount));
    grey = {scratch.get(), scratch.get() + evenCount, scratch.get(), scratch.get() + evenCount};
  }
  for (std::int32_t r = 0; r < height; ++r) {
    std::uint8_t* out = pixels + (std::int64_t{height} - 1 - r) * stride;
    const std::uint8_t* luma = y + std::int64_t{r} * width;
    if (!chroma) {
      kernels.colourRow(luma, grey, nullptr, width, out);
    } else if (r >= 2 * ch - 1 || (r & 1) == 0) {
      kernels.colourRow(luma, chromaRow(std::min(r >> 1, ch - 1)), nullptr, width, out);
    } else {
      const ChromaRow above = chromaRow(r >> 1);
      const ChromaRow below = chromaRow((r >> 1) + 1);
      kernels.colourRow(luma, above, &below, width, out);
    }
    for (std::int64_t pad = 3 * std::int64_t{width}; pad < stride; ++pad) out[pad] = 0;
  }
  return kConversionOk;
}

ConversionResult YuvPlanesToDib(std::int32_t width, std::int32_t height, const std::uint8_t* y,
                                const std::uint8_t* u, const std::uint8_t* v, std::uint8_t* dib) {
  return YuvPlanesToDibWith(RunningYuvToDibBuild(), width, height, y, u, v, dib);
}

// ---- RGB to YUV 4:2:0.

// Picture rows are taken in pairs from the top, that is from the last rows in
// memory of the bottom-up input; each pair gives two luma rows and one chroma
// row. An odd last row gives luma only: its pair partner and chroma go to scratch.
ConversionResult RgbToYuvPlanesWith(const RgbToYuvKernels& kernels, const std::uint8_t* pixels,
                                    std::int32_t width, std::int32_t height, std::uint8_t* yOut,
                                    std::uint8_t* vOut, std::uint8_t* uOut) {
  if (pixels == nullptr || yOut == nullptr || vOut == nullptr || uOut == nullptr) return kNullPointer;
  if (!DibSizeOk(width, height)) return kBadSize;
  BuildConversionTables();
  const std::int64_t stride = Dib24Stride(width);
  const std::int32_t cw = width >> 1;
  const std::int32_t ch = height >> 1;
  auto memoryRow = [&](std::int32_t r) { return pixels + (std::int64_t{height} - 1 - r) * stride; };

  for (std::int32_t j = 0; j < ch; ++j) {
    kernels.rowPair(memoryRow(2 * j), memoryRow(2 * j + 1), width, yOut + std::int64_t{2 * j} * width,
                    yOut + std::int64_t{2 * j + 1} * width, uOut + std::int64_t{j} * cw,
                    vOut + std::int64_t{j} * cw);
  }
  if (height & 1) {
    Scratch spare(std::int64_t{width} + 2 * (std::int64_t{cw} + 1));
    if (spare.get() == nullptr) return kNoMemory;
    const std::uint8_t* last = memoryRow(height - 1);
    kernels.rowPair(last, last, width, yOut + std::int64_t{height - 1} * width, spare.get(),
                    spare.get() + width, spare.get() + width + cw + 1);
  }
  return kConversionOk;
}

ConversionResult RgbToYuvPlanes(const std::uint8_t* pixels, std::int32_t width,
                                std::int32_t height, std::uint8_t* yOut, std::uint8_t* vOut,
                                std::uint8_t* uOut) {
  return RgbToYuvPlanesWith(RunningRgbToYuvBuild(), pixels, width, height, yOut, vOut, uOut);
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

// Only errors fail: the warning that a plane had nothing to do is success.
ConversionResult FromResizeStatus(PrimitiveStatus status) {
  switch (status) {
    case StatusNoMemory:
      return kNoMemory;
    case StatusNullPointer:
      return kNullPointer;
    default:
      return status >= 0 ? kConversionOk : Fail(E_INVALIDARG, "The plane resize refused the picture sizes");
  }
}

}  // namespace

// A picture one sample wide or high has empty chroma planes, and an empty
// picture has nothing at all: those planes are skipped, not refused.
ConversionResult ResizeYuvPlanes(std::int32_t srcWidth, std::int32_t srcHeight,
                                 const std::uint8_t* srcY, const std::uint8_t* srcU,
                                 const std::uint8_t* srcV, std::int32_t dstWidth,
                                 std::int32_t dstHeight, std::uint8_t* dstY, std::uint8_t* dstU,
                                 std::uint8_t* dstV) {
  if (srcY == nullptr || srcU == nullptr || srcV == nullptr || dstY == nullptr ||
      dstU == nullptr || dstV == nullptr)
    return kNullPointer;
  const auto sizeOk = [](std::int32_t w, std::int32_t h) {
    return w >= 0 && h >= 0 && std::int64_t{w} * h <= kInt32Max;
  };
  if (!sizeOk(srcWidth, srcHeight) || !sizeOk(dstWidth, dstHeight)) return kBadSize;
  const auto half = [](std::int32_t n) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(n) >> 1); };
  ConversionResult r = FromResizeStatus(ResizePlaneUnlessEmpty(srcY, dstY, srcWidth, srcHeight, dstWidth, dstHeight));
  if (r.Failed()) return r;
  r = FromResizeStatus(ResizePlaneUnlessEmpty(srcU, dstU, half(srcWidth), half(srcHeight), half(dstWidth), half(dstHeight)));
  if (r.Failed()) return r;
  return FromResizeStatus(ResizePlaneUnlessEmpty(srcV, dstV, half(srcWidth), half(srcHeight), half(dstWidth), half(dstHeight)));
}

}  // namespace zentra
