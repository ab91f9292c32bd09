// ResizeImage and its interpolating core: argument checks, position tables built
// once per call, and the row drivers that walk the destination.
#include <zentra/resize.h>
#include <zentra/server_builds.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace zentra {

namespace {

constexpr double kPositionEpsilon = 1e-7;

using NearestDriver = void (*)(const void* src, void* dst, std::int32_t dstStep, std::int32_t width,
                               std::int32_t height, const std::int32_t* yOffsets,
                               const std::int32_t* xOffsets, std::int32_t pixelStride);
using LinearDriver = void (*)(const ResizeLinear8uKernels& kernels, const void* src, void* dst,
                              std::int32_t srcStep, std::int32_t dstStep, std::int32_t width,
                              std::int32_t height, const std::int32_t* yOffsets,
                              const std::int32_t* xOffsets, const std::int16_t* yWeights,
                              const std::int16_t* xWeights, std::int16_t* rowA, std::int16_t* rowB,
                              std::int32_t pixelStride, std::int32_t channels);
using CubicDriver = void (*)();

// Copies one sample per column; offsets are in samples from the region origin.
void ResizeNearest8uC1(const void* src, void* dst, std::int32_t dstStep, std::int32_t width,
                       std::int32_t height, const std::int32_t* yOffsets,
                       const std::int32_t* xOffsets, std::int32_t /*pixelStride*/) {
  auto* out = static_cast<std::uint8_t*>(dst);
  for (std::int32_t i = 0; i < height; ++i, out += dstStep) {
    const std::uint8_t* row = static_cast<const std::uint8_t*>(src) + yOffsets[i];
    for (std::int32_t k = 0; k < width; ++k) out[k] = row[xOffsets[k]];
  }
}

// Rolling pair of horizontally interpolated rows: the upper buffer holds the row
// held, the lower one the row below it, so each source row is interpolated once.
void ResizeLinear8uC1(const ResizeLinear8uKernels& kernels, const void* srcVoid, void* dstVoid,
                      std::int32_t srcStep, std::int32_t dstStep, std::int32_t width,
                      std::int32_t height, const std::int32_t* yOffsets,
                      const std::int32_t* xOffsets, const std::int16_t* yWeights,
                      const std::int16_t* xWeights, std::int16_t* rowA, std::int16_t* rowB,
                      std::int32_t /*pixelStride*/, std::int32_t /*channels*/) {
  const auto* src = static_cast<const std::uint8_t*>(srcVoid);
  auto* dst = static_cast<std::uint8_t*>(dstVoid);
  std::int16_t* upper = rowA;
  std::int16_t* lower = rowB;
  kernels.interpolateRow(src, width, xOffsets, xWeights, lower);
  std::int64_t held = std::int64_t{yOffsets[0]} - srcStep;
  for (std::int32_t i = 0; i < height; ++i, dst += dstStep) {
    const std::int64_t y = yOffsets[i];
    if (y > held) {
      std::swap(upper, lower);
      kernels.interpolateRow(src + y + srcStep, width, xOffsets, xWeights, lower);
      if (y > held + srcStep) kernels.interpolateRow(src + y, width, xOffsets, xWeights, upper);
      held = y;
    }
    kernels.blendRows(dst, width, yWeights[i], upper, lower);
  }
}

// One row per interpolation and layout, one column per sample type (8-bit,
// 16-bit, float). Slots without a driver are refused by the core.
struct ResizeRowKernelTableLayout {
  NearestDriver nearest[3][3];  // interleaved 3 channels, one channel, 4 channels
  LinearDriver linear[2][3];    // interleaved channels other than 1, one channel
  CubicDriver cubic[2][3];
  DataMarker end;
};

const ResizeRowKernelTableLayout ResizeRowKernelTable = {
    {{nullptr, nullptr, nullptr}, {&ResizeNearest8uC1, nullptr, nullptr}, {nullptr, nullptr, nullptr}},
    {{nullptr, nullptr, nullptr}, {&ResizeLinear8uC1, nullptr, nullptr}},
    {{nullptr, nullptr, nullptr}, {nullptr, nullptr, nullptr}},
    kDataMarker,
};

// Bytes of a table of n elements of elementSize, or -1 when it does not fit the
// allocator's signed 32-bit count.
std::int32_t TableBytes(std::int64_t n, std::int64_t elementSize) {
  std::int64_t bytes = n * elementSize;
  return bytes > std::numeric_limits<std::int32_t>::max() ? -1 : static_cast<std::int32_t>(bytes);
}

// Frees every aligned block of one call, whichever were allocated.
struct CallBlocks {
  void* blocks[6] = {};
  int count = 0;
  void* Take(std::int32_t bytes) {
    void* p = bytes > 0 ? AllocAligned(bytes) : nullptr;
    blocks[count++] = p;
    return p;
  }
  ~CallBlocks() {
    for (int i = 0; i < count; ++i) FreeAligned(blocks[i]);
  }
};

// Destination count for one axis: trunc(size*factor + 1e-7) when that is below
// the space available, but at least 1.
std::int32_t ClippedCount(std::int32_t available, double scaled) {
  double n = std::trunc(scaled + kPositionEpsilon);
  if (n < available) return n < 1.0 ? 1 : static_cast<std::int32_t>(n);
  return available;
}

// Linear step: the first and last destination samples fall on the region's ends.
double LinearStep(std::int32_t regionSize, double scaled) {
  return scaled > 1.0 ? (regionSize - 1) * (1.0 / (scaled - 1.0)) : 0.0;
}

// Q14 offsets and weights of one axis. edge is the image's last index relative
// to the region origin; a position on it keeps the pair inside the image.
void BuildLinearAxis(std::int32_t count, double step, std::int32_t edge, std::int64_t scale,
                     std::int32_t* offsets, std::int16_t* weights, bool pairs) {
  double p = 0.0;
  for (std::int32_t i = 0; i < count; ++i, p += step) {
    std::int32_t j = static_cast<std::int32_t>(std::trunc(p + kPositionEpsilon));
    std::int32_t f;
    if (j == edge) {
      j -= 1;
      f = 16384;
    } else {
      f = static_cast<std::int32_t>(std::trunc((p - j) * 16384.0 + kPositionEpsilon));
    }
    offsets[i] = static_cast<std::int32_t>(j * scale);
    if (pairs) {
      weights[2 * i] = static_cast<std::int16_t>(16384 - f);
      weights[2 * i + 1] = static_cast<std::int16_t>(f);
    } else {
      weights[i] = static_cast<std::int16_t>(f);
    }
  }
}

// Nearest-neighbour positions of one axis.
void BuildNearestAxis(std::int32_t count, double factor, std::int32_t regionSize, double scaled,
                      std::int64_t scale, std::int32_t* offsets) {
  double q = factor >= 1.0 ? factor : 1.0 / factor;
  double step;
  double p;
  if (q - std::trunc(q) == 0.0) {
    step = 1.0 / factor;
    p = 0.0;
  } else {
    step = LinearStep(regionSize, scaled);
    p = 0.5;
  }
  for (std::int32_t i = 0; i < count; ++i, p += step)
    offsets[i] = static_cast<std::int32_t>(std::trunc(p + kPositionEpsilon) * scale);
}

}  // namespace

PrimitiveStatus ResizeInterpolatedWith(const ResizeLinear8uKernels& kernels, const void* pSrc,
                                       ImageSize srcSize, std::int32_t srcStep, ImageRect srcRoi,
                                       void* pDst, std::int32_t dstStep, ImageSize dstRoiSize,
                                       double xFactor, double yFactor, std::int32_t pixelStride,
                                       std::int32_t channels, std::int32_t sampleType,
                                       std::int32_t planar, std::int32_t interpolation) {
  if (pSrc == nullptr || pDst == nullptr) return StatusNullPointer;
  if (srcSize.width <= 0 || srcSize.height <= 0) return StatusSizeError;
  if (srcStep <= 0 || dstStep <= 0) return StatusStepError;
  if (srcRoi.x < 0 || srcRoi.y < 0 || srcRoi.width <= 0 || srcRoi.height <= 0 ||
      dstRoiSize.width <= 0 || dstRoiSize.height <= 0)
    return StatusSizeError;
  if (srcRoi.x >= srcSize.width || srcRoi.y >= srcSize.height) return StatusRoiOutside;
  if (!(xFactor > 0.0) || !(yFactor > 0.0)) return StatusResizeFactorError;
  if (interpolation != InterpolationNearest && interpolation != InterpolationLinear &&
      interpolation != InterpolationCubic)
    return StatusInterpolationError;
  if (sampleType < 0 || sampleType > 2) return StatusInterpolationError;

  if (srcSize.width < 2 || srcSize.height < 2)
    interpolation = InterpolationNearest;
  else if (interpolation == InterpolationCubic && (srcSize.width < 4 || srcSize.height < 4))
    interpolation = InterpolationLinear;

  const bool oneChannel = planar != 0 || channels == 1;
  NearestDriver nearest = nullptr;
  LinearDriver linear = nullptr;
  if (interpolation == InterpolationNearest)
    nearest = ResizeRowKernelTable.nearest[oneChannel ? 1 : (channels == 4 ? 2 : 0)][sampleType];
  else if (interpolation == InterpolationLinear)
    linear = ResizeRowKernelTable.linear[oneChannel ? 1 : 0][sampleType];
  // Interpolations and layouts without a driver in this library are refused
  // before anything is allocated or written.
  if (nearest == nullptr && linear == nullptr) return StatusInterpolationError;

  const std::int32_t regionW = srcRoi.x > srcSize.width - srcRoi.width ? srcSize.width - srcRoi.x : srcRoi.width;
  const std::int32_t regionH = srcRoi.y > srcSize.height - srcRoi.height ? srcSize.height - srcRoi.y : srcRoi.height;
  const double xs = regionW * xFactor;
  const double ys = regionH * yFactor;
  const std::int32_t dstW = ClippedCount(dstRoiSize.width, xs);
  const std::int32_t dstH = ClippedCount(dstRoiSize.height, ys);

  const int sampleShift = sampleType == 0 ? 0 : (sampleType == 1 ? 1 : 2);
  const std::int32_t srcStepSamples = srcStep >> sampleShift;
  const std::int32_t dstStepSamples = dstStep >> sampleShift;
  const std::int64_t regionOffset =
      (std::int64_t{srcRoi.y} * srcStep) +
      (std::int64_t{srcRoi.x} * (planar != 0 ? 1 : pixelStride) << sampleShift);
  const std::int64_t columnScale = oneChannel ? 1 : pixelStride;

  CallBlocks blocks;
  auto* yOffsets = static_cast<std::int32_t*>(blocks.Take(TableBytes(dstH, 4)));
  auto* xOffsets = static_cast<std::int32_t*>(blocks.Take(TableBytes(dstW, 4)));
  if (yOffsets == nullptr || xOffsets == nullptr) return StatusNoMemory;

  const int planes = planar != 0 ? (channels == 4 ? 4 : 3) : 1;
  auto srcPlane = [&](int plane) {
    const auto* base = planar != 0 ? static_cast<const std::uint8_t* const*>(pSrc)[plane]
                                   : static_cast<const std::uint8_t*>(pSrc);
    return base + regionOffset;
  };
  auto dstPlane = [&](int plane) {
    return planar != 0 ? static_cast<std::uint8_t* const*>(pDst)[plane] : static_cast<std::uint8_t*>(pDst);
  };

  if (nearest != nullptr) {
    BuildNearestAxis(dstH, yFactor, regionH, ys, srcStepSamples, yOffsets);
    BuildNearestAxis(dstW, xFactor, regionW, xs, columnScale, xOffsets);
    for (int plane = 0; plane < planes; ++plane)
      nearest(srcPlane(plane), dstPlane(plane), dstStepSamples, dstW, dstH, yOffsets, xOffsets,
              pixelStride);
    return StatusOk;
  }

  const std::int64_t rowValues = oneChannel ? std::int64_t{dstW} + 4
                                            : (channels == 4 ? 4 * std::int64_t{dstW} + 16
                                                             : 3 * std::int64_t{dstW} + 12);
  auto* yWeights = static_cast<std::int16_t*>(blocks.Take(TableBytes(dstH, 2)));
  auto* xWeights = static_cast<std::int16_t*>(blocks.Take(TableBytes(dstW, 4)));
  auto* rowA = static_cast<std::int16_t*>(blocks.Take(TableBytes(rowValues, 2)));
  auto* rowB = static_cast<std::int16_t*>(blocks.Take(TableBytes(rowValues, 2)));
  if (yWeights == nullptr || xWeights == nullptr || rowA == nullptr || rowB == nullptr)
    return StatusNoMemory;

  BuildLinearAxis(dstH, LinearStep(regionH, ys), srcSize.height - 1 - srcRoi.y, srcStepSamples,
                  yOffsets, yWeights, false);
  BuildLinearAxis(dstW, LinearStep(regionW, xs), srcSize.width - 1 - srcRoi.x, columnScale,
                  xOffsets, xWeights, true);
  for (int plane = 0; plane < planes; ++plane)
    linear(kernels, srcPlane(plane), dstPlane(plane), srcStepSamples, dstStepSamples, dstW, dstH,
           yOffsets, xOffsets, yWeights, xWeights, rowA, rowB, planar != 0 ? 0 : pixelStride,
           planar != 0 ? 0 : channels);
  return StatusOk;
}

PrimitiveStatus ResizeInterpolated(const void* pSrc, ImageSize srcSize, std::int32_t srcStep,
                                   ImageRect srcRoi, void* pDst, std::int32_t dstStep,
                                   ImageSize dstRoiSize, double xFactor, double yFactor,
                                   std::int32_t pixelStride, std::int32_t channels,
                                   std::int32_t sampleType, std::int32_t planar,
                                   std::int32_t interpolation) {
  return ResizeInterpolatedWith(ResizeLinear8uBuilds[kResizeLinear8uRunningBuild], pSrc, srcSize,
                                srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor,
                                pixelStride, channels, sampleType, planar, interpolation);
}

// Area averaging (interpolation 8 when the picture only shrinks) has no driver in
// this library; the core refuses interpolation 8 after the other argument checks.
PrimitiveStatus ResizeImage(const std::uint8_t* pSrc, ImageSize srcSize, std::int32_t srcStep,
                            ImageRect srcRoi, std::uint8_t* pDst, std::int32_t dstStep,
                            ImageSize dstRoiSize, double xFactor, double yFactor,
                            std::int32_t interpolation) {
  return ResizeInterpolated(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor,
                            yFactor, 1, 1, 0, 0, interpolation);
}

// ---- The build of the engine operation ResizePlane.

PrimitiveStatus ResizePlaneLinear(const std::uint8_t* src, std::uint8_t* dst,
                                  std::int32_t srcWidth, std::int32_t srcHeight,
                                  std::int32_t dstWidth, std::int32_t dstHeight) {
  return ResizeImage(src, {srcWidth, srcHeight}, srcWidth, {0, 0, srcWidth, srcHeight}, dst,
                     dstWidth, {dstWidth, dstHeight},
                     static_cast<double>(dstWidth) / static_cast<double>(srcWidth),
                     static_cast<double>(dstHeight) / static_cast<double>(srcHeight),
                     InterpolationLinear);
}

PrimitiveStatus ResizePlane_C(const std::uint8_t* src, std::uint8_t* dst, std::int32_t srcWidth,
                              std::int32_t srcHeight, std::int32_t dstWidth,
                              std::int32_t dstHeight) {
  return ResizePlaneLinear(src, dst, srcWidth, srcHeight, dstWidth, dstHeight);
}

}  // namespace zentra
