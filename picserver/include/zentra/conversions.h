// The picture conversions behind PICTUREUTL: planar YUV 4:2:0 to 24-bit bitmap
// rows, RGB to planar YUV 4:2:0, bitmap and plane resize, and the buffer sizes.
// Each returns S_OK or a failure HRESULT with the text the caller's error
// information carries.
#pragma once

#include <win32/types.h>

#include <cstdint>

namespace zentra {

// The 40-byte header in front of a packed bitmap.
struct BitmapInfoHeader {
  std::uint32_t biSize;
  std::int32_t biWidth;
  std::int32_t biHeight;
  std::uint16_t biPlanes;
  std::uint16_t biBitCount;
  std::uint32_t biCompression;
  std::uint32_t biSizeImage;
  std::int32_t biXPelsPerMeter;
  std::int32_t biYPelsPerMeter;
  std::uint32_t biClrUsed;
  std::uint32_t biClrImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

struct ConversionResult {
  HRESULT hr;
  const char* description;  // null on success
  bool Failed() const { return hr < 0; }
};

inline constexpr ConversionResult kConversionOk = {S_OK, nullptr};
inline constexpr char kDibSizeOnly24Bit[] = "Can get bitmap size only 24 bit count";

// Row stride of a 24-bit bitmap: (3w + 3) & ~3, in 64-bit so that no width wraps.
inline std::int64_t Dib24Stride(std::int64_t width) { return (3 * width + 3) & ~std::int64_t{3}; }

// RGB-to-YUV tables: eight tables of 256 entries, 256*i*c truncated, c the
// single-precision BT.601 studio-range coefficients.
struct RgbToYuvTables {
  std::int32_t y65481[256], y128553[256], y24966[256];
  std::int32_t cb37797[256], cb74203[256], c112[256];
  std::int32_t cr93786[256], cr18214[256];
};

// Builds the tables on the first call (from any thread) and returns them.
const RgbToYuvTables& BuildConversionTables();

ConversionResult GetYuvPlaneSizes(std::int32_t width, std::int32_t height, std::int32_t* ySize,
                                  std::int32_t* uSize, std::int32_t* vSize);
ConversionResult GetDibSize(std::int32_t width, std::int32_t height, std::int32_t bitCount,
                            std::int32_t* size);
ConversionResult YuvPlanesToDib(std::int32_t width, std::int32_t height, const std::uint8_t* y,
                                const std::uint8_t* u, const std::uint8_t* v, std::uint8_t* dib);
ConversionResult RgbToYuvPlanes(const std::uint8_t* pixels, std::int32_t width,
                                std::int32_t height, std::uint8_t* yOut, std::uint8_t* vOut,
                                std::uint8_t* uOut);
ConversionResult ResizeDib(const std::uint8_t* srcDib, std::int32_t newWidth,
                           std::int32_t newHeight, std::uint8_t* dstDib);
ConversionResult ResizeYuvPlanes(std::int32_t srcWidth, std::int32_t srcHeight,
                                 const std::uint8_t* srcY, const std::uint8_t* srcU,
                                 const std::uint8_t* srcV, std::int32_t dstWidth,
                                 std::int32_t dstHeight, std::uint8_t* dstY, std::uint8_t* dstU,
                                 std::uint8_t* dstV);

// ---- Row kernels of the two per-picture conversions, in builds side by side.
// The plain build runs everywhere; the vector builds give bit-identical rows.
// The tables below are the only place that names them, and the Running...Build()
// functions pick, once, the widest build of each family the processor runs.
inline constexpr int kConversionBuildC = 0;
inline constexpr int kConversionBuildSse2 = 1;
inline constexpr int kConversionBuildAvx2 = 2;

// Whether this processor can run a build (the plain and SSE2 builds always can).
bool ConversionBuildRuns(int build);

// The colour pass of YuvPlanesToDib: one row of count pixels from Y and the
// row's full-resolution chroma, stored as B, G, R bytes. The chroma comes split
// by pixel parity (cbEven[k] is the Cb of pixel 2k, cbOdd[k] that of pixel
// 2k+1); when below is given, the row's chroma is the truncated byte mean of
// chroma and below.
struct ChromaRow {
  const std::uint8_t* cbEven;
  const std::uint8_t* cbOdd;
  const std::uint8_t* crEven;
  const std::uint8_t* crOdd;
};
using YuvRowToBgr24Fn = void (*)(const std::uint8_t* y, const ChromaRow& chroma,
                                 const ChromaRow* below, std::int32_t count, std::uint8_t* out);
void YuvRowToBgr24_C(const std::uint8_t* y, const ChromaRow& chroma, const ChromaRow* below,
                     std::int32_t count, std::uint8_t* out);
void YuvRowToBgr24_Sse2(const std::uint8_t* y, const ChromaRow& chroma, const ChromaRow* below,
                        std::int32_t count, std::uint8_t* out);
void YuvRowToBgr24_Avx2(const std::uint8_t* y, const ChromaRow& chroma, const ChromaRow* below,
                        std::int32_t count, std::uint8_t* out);
struct YuvToDibKernels {
  const char* name;
  int build;
  YuvRowToBgr24Fn colourRow;
};
extern const YuvToDibKernels YuvToDibBuilds[3];

// The luma and chroma pass of RgbToYuvPlanes over two picture rows (top and
// bottom, R, G, B bytes): Y of both rows and the row of width/2 chroma samples,
// each the truncated mean of its 2x2 block.
using RgbRowPairToYuv420Fn = void (*)(const std::uint8_t* top, const std::uint8_t* bottom,
                                      std::int32_t width, std::uint8_t* yTop,
                                      std::uint8_t* yBottom, std::uint8_t* u, std::uint8_t* v);
void RgbRowPairToYuv420_C(const std::uint8_t* top, const std::uint8_t* bottom, std::int32_t width,
                          std::uint8_t* yTop, std::uint8_t* yBottom, std::uint8_t* u,
                          std::uint8_t* v);
void RgbRowPairToYuv420_Sse2(const std::uint8_t* top, const std::uint8_t* bottom,
                             std::int32_t width, std::uint8_t* yTop, std::uint8_t* yBottom,
                             std::uint8_t* u, std::uint8_t* v);
struct RgbToYuvKernels {
  const char* name;
  int build;
  RgbRowPairToYuv420Fn rowPair;
};
extern const RgbToYuvKernels RgbToYuvBuilds[2];

// The builds the conversions run, decided once from the processor.
const YuvToDibKernels& RunningYuvToDibBuild();
const RgbToYuvKernels& RunningRgbToYuvBuild();

// YuvPlanesToDib and RgbToYuvPlanes with a chosen build of their row kernels.
ConversionResult YuvPlanesToDibWith(const YuvToDibKernels& kernels, std::int32_t width,
                                    std::int32_t height, const std::uint8_t* y,
                                    const std::uint8_t* u, const std::uint8_t* v,
                                    std::uint8_t* dib);
ConversionResult RgbToYuvPlanesWith(const RgbToYuvKernels& kernels, const std::uint8_t* pixels,
                                    std::int32_t width, std::int32_t height, std::uint8_t* yOut,
                                    std::uint8_t* vOut, std::uint8_t* uOut);

}  // namespace zentra
