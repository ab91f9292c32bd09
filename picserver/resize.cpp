// ResizeImage and its interpolating core: argument checks, position tables built
// once per call, and the row drivers that walk the destination.
#include <zentra/resize.h>
#include <zentra/resize_drivers.h>
#include <zentra/server_builds.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace zentra {

namespace {

constexpr double kPositionEpsilon = 1e-7;

using namespace resize_detail;

// One row per interpolation and layout, one column per sample type (8-bit,
// 16-bit, float).
struct ResizeRowKernelTableLayout {
  NearestDriver nearest[3][3];  // interleaved 3 channels, one channel, 4 channels
  LinearDriver linear[2][3];    // interleaved channels other than 1, one channel
  CubicDriver cubic[2][3];
  DataMarker end;
};

const ResizeRowKernelTableLayout ResizeRowKernelTable = {
    {{ResizeNearest8uC3, ResizeNearest16uC3, ResizeNearest32fC3},
     {ResizeNearest8uC1, ResizeNearest16uC1, ResizeNearest32fC1},
     {ResizeNearest8uC4, ResizeNearest16uC4, ResizeNearest32fC4}},
    {{ResizeLinear8uCn, ResizeLinear16uCn, ResizeLinear32fCn},
     {ResizeLinear8uC1, ResizeLinear16uC1, ResizeLinear32fC1}},
    {{ResizeCubic8uCn, ResizeCubic16uCn, ResizeCubic32fCn},
     {ResizeCubic8uC1, ResizeCubic16uC1, ResizeCubic32fC1}},
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
  void* blocks[8] = {};
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

// Linear step: the first and last destination samples fall on the region's ends.
double LinearStep(std::int32_t regionSize, double scaled) {
  return scaled > 1.0 ? (regionSize - 1) * (1.0 / (scaled - 1.0)) : 0.0;
}

// Q14 offsets and weights of one axis. edge is the image's last index relative
// to the region origin; a position on it keeps the pair inside the image.
template <typename Offset>
void BuildLinearAxis(std::int32_t count, double step, std::int32_t edge, std::int64_t scale,
                     Offset* offsets, std::int16_t* weights, bool pairs) {
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
    offsets[i] = static_cast<Offset>(j * scale);
    if (pairs) {
      weights[2 * i] = static_cast<std::int16_t>(16384 - f);
      weights[2 * i + 1] = static_cast<std::int16_t>(f);
    } else {
      weights[i] = static_cast<std::int16_t>(f);
    }
  }
}

// Nearest-neighbour positions of one axis.
template <typename Offset>
void BuildNearestAxis(std::int32_t count, double factor, std::int32_t regionSize, double scaled,
                      std::int64_t scale, Offset* offsets) {
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
    offsets[i] = static_cast<Offset>(static_cast<std::int64_t>(std::trunc(p + kPositionEpsilon)) * scale);
}

}  // namespace

PrimitiveStatus ResizeInterpolatedWith(const ResizeLinear8uKernels& kernels, const void* pSrc,
                                       ImageSize srcSize, std::int32_t srcStep, ImageRect srcRoi,
                                       void* pDst, std::int32_t dstStep, ImageSize dstRoiSize,
                                       double xFactor, double yFactor, std::int32_t pixelStride,
                                       std::int32_t channels, std::int32_t sampleType,
                                       std::int32_t planar, std::int32_t interpolation) {
  if (const PrimitiveStatus s = resize_detail::CheckResizeArguments(
          pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor);
      s != StatusOk)
    return s;
  if (interpolation != InterpolationNearest && interpolation != InterpolationLinear &&
      interpolation != InterpolationCubic)
    return StatusInterpolationError;
  if (sampleType < 0 || sampleType > 2) return StatusInterpolationError;
  if (!resize_detail::KnownLayout(pixelStride, channels, planar)) return StatusInterpolationError;

  if (srcSize.width < 2 || srcSize.height < 2)
    interpolation = InterpolationNearest;
  else if (interpolation == InterpolationCubic && (srcSize.width < 4 || srcSize.height < 4))
    interpolation = InterpolationLinear;

  const bool oneChannel = planar != 0 || channels == 1;
  const int layout = oneChannel ? 1 : 0;

  const std::int32_t regionW = ClippedRegion(srcRoi.x, srcRoi.width, srcSize.width);
  const std::int32_t regionH = ClippedRegion(srcRoi.y, srcRoi.height, srcSize.height);
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
  auto* yOffsets = static_cast<RowOffset*>(blocks.Take(TableBytes(dstH, sizeof(RowOffset))));
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
  const std::int32_t driverStride = planar != 0 ? 0 : pixelStride;
  const std::int32_t driverChannels = planar != 0 ? 0 : channels;

  if (interpolation == InterpolationNearest) {
    const NearestDriver nearest = ResizeRowKernelTable.nearest[oneChannel ? 1 : (channels == 4 ? 2 : 0)][sampleType];
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
  const double xStep = LinearStep(regionW, xs);
  const double yStep = LinearStep(regionH, ys);
  const std::int32_t xEdge = srcSize.width - 1 - srcRoi.x;
  const std::int32_t yEdge = srcSize.height - 1 - srcRoi.y;

  if (interpolation == InterpolationCubic) {
    auto* yWeights = static_cast<float*>(blocks.Take(TableBytes(dstH, 4)));
    auto* xWeights = static_cast<float*>(blocks.Take(TableBytes(dstW, 4)));
    float* rows[4];
    for (auto& r : rows) r = static_cast<float*>(blocks.Take(TableBytes(rowValues, 4)));
    if (yWeights == nullptr || xWeights == nullptr || rows[0] == nullptr || rows[1] == nullptr ||
        rows[2] == nullptr || rows[3] == nullptr)
      return StatusNoMemory;
    BuildCubicAxis(dstH, yStep, srcRoi.y, srcSize.height - 1, srcStepSamples, yOffsets, yWeights);
    BuildCubicAxis(dstW, xStep, srcRoi.x, srcSize.width - 1, columnScale, xOffsets, xWeights);
    const CubicDriver cubic = ResizeRowKernelTable.cubic[layout][sampleType];
    for (int plane = 0; plane < planes; ++plane)
      cubic(srcPlane(plane), dstPlane(plane), srcStepSamples, dstStepSamples, dstW, dstH, yOffsets,
            xOffsets, yWeights, xWeights, rows, driverStride, driverChannels);
    return StatusOk;
  }

  // Linear: Q14 tables and 16-bit intermediate rows for integer samples, float
  // tables and rows for float samples.
  const bool floats = sampleType == 2;
  const std::int32_t rowBytes = TableBytes(rowValues, floats ? 4 : 2);
  void* yWeights = blocks.Take(TableBytes(dstH, floats ? 4 : 2));
  void* xWeights = blocks.Take(TableBytes(dstW, 4));
  void* rowA = blocks.Take(rowBytes);
  void* rowB = blocks.Take(rowBytes);
  if (yWeights == nullptr || xWeights == nullptr || rowA == nullptr || rowB == nullptr)
    return StatusNoMemory;

  if (floats) {
    BuildLinearAxisFloat(dstH, yStep, yEdge, srcStepSamples, yOffsets, static_cast<float*>(yWeights));
    BuildLinearAxisFloat(dstW, xStep, xEdge, columnScale, xOffsets, static_cast<float*>(xWeights));
  } else {
    BuildLinearAxis(dstH, yStep, yEdge, srcStepSamples, yOffsets, static_cast<std::int16_t*>(yWeights), false);
    BuildLinearAxis(dstW, xStep, xEdge, columnScale, xOffsets, static_cast<std::int16_t*>(xWeights), true);
  }
  const LinearDriver linear = ResizeRowKernelTable.linear[layout][sampleType];
  for (int plane = 0; plane < planes; ++plane)
    linear(kernels, srcPlane(plane), dstPlane(plane), srcStepSamples, dstStepSamples, dstW, dstH,
           yOffsets, xOffsets, yWeights, xWeights, rowA, rowB, driverStride, driverChannels);
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

// Interpolation 8 that only shrinks the picture goes to the area-averaging
// resize; everything else, including interpolation 8 that enlarges, to the
// interpolating core, which refuses what it does not know.
PrimitiveStatus ResizeImage(const std::uint8_t* pSrc, ImageSize srcSize, std::int32_t srcStep,
                            ImageRect srcRoi, std::uint8_t* pDst, std::int32_t dstStep,
                            ImageSize dstRoiSize, double xFactor, double yFactor,
                            std::int32_t interpolation) {
  if (interpolation == InterpolationSuperSample && !(xFactor > 1.0) && !(yFactor > 1.0))
    return ResizeSuperSample(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor,
                             yFactor, 1, 1, 0, 0);
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
