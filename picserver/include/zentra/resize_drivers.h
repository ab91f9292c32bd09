// Row drivers of the interpolating resize core and the table builders they need.
// One generic driver per interpolation, instantiated per sample type and channel
// layout; the core picks them from its row-driver table.
#pragma once

#include <zentra/resize.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zentra::resize_detail {

// Row offsets (row index times the source step, in samples) run past 2^31 in
// images over 2 GiB, so they are 64-bit; column offsets stay within one row.
using RowOffset = std::int64_t;

// nearest: region origin, destination, destination step (samples), width,
// height, row offsets, column offsets, pixel stride.
using NearestDriver = void (*)(const void* src, void* dst, std::int32_t dstStep, std::int32_t width,
                               std::int32_t height, const RowOffset* yOffsets,
                               const std::int32_t* xOffsets, std::int32_t pixelStride);
// linear: the weight tables are Q14 16-bit for 8-bit and 16-bit samples and
// float for float samples; the two row buffers hold the intermediate rows.
using LinearDriver = void (*)(const ResizeLinear8uKernels& kernels, const void* src, void* dst,
                              std::int32_t srcStep, std::int32_t dstStep, std::int32_t width,
                              std::int32_t height, const RowOffset* yOffsets,
                              const std::int32_t* xOffsets, const void* yWeights,
                              const void* xWeights, void* rowA, void* rowB,
                              std::int32_t pixelStride, std::int32_t channels);
// cubic: float weight tables and four float row buffers.
using CubicDriver = void (*)(const void* src, void* dst, std::int32_t srcStep, std::int32_t dstStep,
                             std::int32_t width, std::int32_t height, const RowOffset* yOffsets,
                             const std::int32_t* xOffsets, const float* yWeights,
                             const float* xWeights, float* rows[4], std::int32_t pixelStride,
                             std::int32_t channels);

// The generic drivers. Channels is 1 (one channel, or one plane of a planar
// image), 3 (three channels in pixels of pixelStride samples, 3 or 4) or 4.
template <typename T, int Channels>
void ResizeNearest(const void* src, void* dst, std::int32_t dstStep, std::int32_t width,
                   std::int32_t height, const RowOffset* yOffsets, const std::int32_t* xOffsets,
                   std::int32_t pixelStride);
// Linear, one channel (Multi false) or interleaved three or four channels.
template <typename T, bool Multi>
void ResizeLinear(const ResizeLinear8uKernels& kernels, const void* src, void* dst,
                  std::int32_t srcStep, std::int32_t dstStep, std::int32_t width,
                  std::int32_t height, const RowOffset* yOffsets, const std::int32_t* xOffsets,
                  const void* yWeights, const void* xWeights, void* rowA, void* rowB,
                  std::int32_t pixelStride, std::int32_t channels);
template <typename T, bool Multi>
void ResizeCubic(const void* src, void* dst, std::int32_t srcStep, std::int32_t dstStep,
                 std::int32_t width, std::int32_t height, const RowOffset* yOffsets,
                 const std::int32_t* xOffsets, const float* yWeights, const float* xWeights,
                 float* rows[4], std::int32_t pixelStride, std::int32_t channels);

// The drivers under their table names; each is explicitly instantiated beside
// the templates.
inline constexpr NearestDriver ResizeNearest8uC1 = &ResizeNearest<std::uint8_t, 1>;
inline constexpr NearestDriver ResizeNearest16uC1 = &ResizeNearest<std::uint16_t, 1>;
inline constexpr NearestDriver ResizeNearest32fC1 = &ResizeNearest<float, 1>;
inline constexpr NearestDriver ResizeNearest8uC3 = &ResizeNearest<std::uint8_t, 3>;
inline constexpr NearestDriver ResizeNearest16uC3 = &ResizeNearest<std::uint16_t, 3>;
inline constexpr NearestDriver ResizeNearest32fC3 = &ResizeNearest<float, 3>;
inline constexpr NearestDriver ResizeNearest8uC4 = &ResizeNearest<std::uint8_t, 4>;
inline constexpr NearestDriver ResizeNearest16uC4 = &ResizeNearest<std::uint16_t, 4>;
inline constexpr NearestDriver ResizeNearest32fC4 = &ResizeNearest<float, 4>;
inline constexpr LinearDriver ResizeLinear8uC1 = &ResizeLinear<std::uint8_t, false>;
inline constexpr LinearDriver ResizeLinear16uC1 = &ResizeLinear<std::uint16_t, false>;
inline constexpr LinearDriver ResizeLinear32fC1 = &ResizeLinear<float, false>;
inline constexpr LinearDriver ResizeLinear8uCn = &ResizeLinear<std::uint8_t, true>;
inline constexpr LinearDriver ResizeLinear16uCn = &ResizeLinear<std::uint16_t, true>;
inline constexpr LinearDriver ResizeLinear32fCn = &ResizeLinear<float, true>;
inline constexpr CubicDriver ResizeCubic8uC1 = &ResizeCubic<std::uint8_t, false>;
inline constexpr CubicDriver ResizeCubic16uC1 = &ResizeCubic<std::uint16_t, false>;
inline constexpr CubicDriver ResizeCubic32fC1 = &ResizeCubic<float, false>;
inline constexpr CubicDriver ResizeCubic8uCn = &ResizeCubic<std::uint8_t, true>;
inline constexpr CubicDriver ResizeCubic16uCn = &ResizeCubic<std::uint16_t, true>;
inline constexpr CubicDriver ResizeCubic32fCn = &ResizeCubic<float, true>;

// The argument checks both resize cores make first, in their order: StatusOk
// when all pass, else the status to return (1 when the region starts outside
// the image).
inline PrimitiveStatus CheckResizeArguments(const void* pSrc, ImageSize srcSize, std::int32_t srcStep,
                                            ImageRect srcRoi, const void* pDst, std::int32_t dstStep,
                                            ImageSize dstRoiSize, double xFactor, double yFactor) {
  if (pSrc == nullptr || pDst == nullptr) return StatusNullPointer;
  if (srcSize.width <= 0 || srcSize.height <= 0) return StatusSizeError;
  if (srcStep <= 0 || dstStep <= 0) return StatusStepError;
  if (srcRoi.x < 0 || srcRoi.y < 0 || srcRoi.width <= 0 || srcRoi.height <= 0 ||
      dstRoiSize.width <= 0 || dstRoiSize.height <= 0)
    return StatusSizeError;
  if (srcRoi.x >= srcSize.width || srcRoi.y >= srcSize.height) return StatusRoiOutside;
  if (!(xFactor > 0.0) || !(yFactor > 0.0)) return StatusResizeFactorError;
  return StatusOk;
}

// Layouts the drivers know: one channel, three channels in pixels of 3 or 4
// samples, four channels in pixels of 4; planar images of 3 or 4 planes.
inline bool KnownLayout(std::int32_t pixelStride, std::int32_t channels, std::int32_t planar) {
  if (planar != 0) return channels == 3 || channels == 4;
  return channels == 1 || (channels == 3 && (pixelStride == 3 || pixelStride == 4)) ||
         (channels == 4 && pixelStride == 4);
}

// Destination count for one axis: trunc(size*factor + 1e-7) when that is below
// the space available, but at least 1.
inline std::int32_t ClippedCount(std::int32_t available, double scaled) {
  double n = std::trunc(scaled + 1e-7);
  if (n < available) return n < 1.0 ? 1 : static_cast<std::int32_t>(n);
  return available;
}

// Size of a region clipped to the image's right or bottom edge.
inline std::int32_t ClippedRegion(std::int32_t origin, std::int32_t size, std::int32_t imageSize) {
  return origin > imageSize - size ? imageSize - origin : size;
}

// Walks the destination rows of a linear resize with a rolling pair of
// horizontally interpolated rows: the upper one holds the row held, the lower
// one the row below it, so no source row is interpolated twice in a call.
// interpolate(rowOffset, out) fills a buffer; blend(i, upper, lower) writes row i.
template <typename Interpolate, typename Blend>
void WalkLinearRows(std::int32_t srcStep, std::int32_t height, const RowOffset* yOffsets,
                    void* rowA, void* rowB, Interpolate interpolate, Blend blend) {
  void* upper = rowA;
  void* lower = rowB;
  interpolate(std::int64_t{0}, lower);
  std::int64_t held = yOffsets[0] - srcStep;
  for (std::int32_t i = 0; i < height; ++i) {
    const std::int64_t y = yOffsets[i];
    if (y > held) {
      std::swap(upper, lower);
      interpolate(y + srcStep, lower);
      if (y > held + srcStep) interpolate(y, upper);
      held = y;
    }
    blend(i, static_cast<const void*>(upper), static_cast<const void*>(lower));
  }
}

// Float axis tables of linear interpolation: the fraction p - j, or 1.0 with j
// lowered by one when the position falls on the image's last sample. Offset is
// RowOffset for rows, std::int32_t for columns.
template <typename Offset>
void BuildLinearAxisFloat(std::int32_t count, double step, std::int32_t edge, std::int64_t scale,
                          Offset* offsets, float* weights);
// Cubic axis tables: offsets of tap j (taps j-1..j+2) and the position p - j,
// adjusted at the image's first and last two samples so all taps stay inside.
// first is the region's offset in the image, last the image's last index.
template <typename Offset>
void BuildCubicAxis(std::int32_t count, double step, std::int32_t first, std::int32_t last,
                    std::int64_t scale, Offset* offsets, float* weights);

// The horizontal cubic pass over bytes of one channel, in a 128-bit and a
// 256-bit build with the same values; the driver runs the widest one the
// processor has.
using CubicRow8uFn = void (*)(const std::uint8_t* row, std::int32_t width,
                              const std::int32_t* xOffsets, const float* xWeights, float* out);
void CubicRow8u_Sse2(const std::uint8_t* row, std::int32_t width, const std::int32_t* xOffsets,
                     const float* xWeights, float* out);
void CubicRow8u_Avx2(const std::uint8_t* row, std::int32_t width, const std::int32_t* xOffsets,
                     const float* xWeights, float* out);
inline constexpr int kCubicRow8uBuildSse2 = 0;
inline constexpr int kCubicRow8uBuildAvx2 = 1;
bool CubicRow8uBuildRuns(int build);

// The cubic polynomial through four taps at weight t (the position relative to
// tap 0), in single precision, by forward differences.
inline float CubicValue(float fm, float f0, float f1, float f2, float t) {
  const float s = t + 1.0f;
  const float d1 = f0 - fm;
  const float d2 = f1 - f0 - d1;
  const float d3 = f2 - f1 - f1 + f0 - d2;
  const float c2 = s * t * 0.5f;
  const float c3 = c2 * (t - 1.0f) * (1.0f / 3.0f);
  return fm + d1 * s + d2 * c2 + d3 * c3;
}

}  // namespace zentra::resize_detail
