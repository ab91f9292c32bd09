// The picture library's resize primitive and the interpolating core behind it.
#pragma once

#include <zentra/primitive_runtime.h>

#include <cstdint>

namespace zentra {

struct ImageSize {
  std::int32_t width;
  std::int32_t height;
};

struct ImageRect {
  std::int32_t x;
  std::int32_t y;
  std::int32_t width;
  std::int32_t height;
};

enum InterpolationMode : std::int32_t {
  InterpolationNearest = 1,
  InterpolationLinear = 2,
  InterpolationCubic = 4,
  InterpolationSuperSample = 8,
};

// Scales srcRoi of an 8-bit one-channel image into pDst by xFactor/yFactor.
PrimitiveStatus ResizeImage(const std::uint8_t* pSrc, ImageSize srcSize, std::int32_t srcStep,
                            ImageRect srcRoi, std::uint8_t* pDst, std::int32_t dstStep,
                            ImageSize dstRoiSize, double xFactor, double yFactor,
                            std::int32_t interpolation);

// The core: pSrc/pDst are image pointers, or arrays of 3 or 4 plane pointers
// when planar is non-zero. sampleType 0 = 8-bit, 1 = 16-bit, 2 = 32-bit float.
PrimitiveStatus ResizeInterpolated(const void* pSrc, ImageSize srcSize, std::int32_t srcStep,
                                   ImageRect srcRoi, void* pDst, std::int32_t dstStep,
                                   ImageSize dstRoiSize, double xFactor, double yFactor,
                                   std::int32_t pixelStride, std::int32_t channels,
                                   std::int32_t sampleType, std::int32_t planar,
                                   std::int32_t interpolation);

// Area-averaging reduction (interpolation 8 with neither factor above 1.0):
// every destination sample is the mean of the source area it covers. Arguments
// as for ResizeInterpolated, without the interpolation.
PrimitiveStatus ResizeSuperSample(const void* pSrc, ImageSize srcSize, std::int32_t srcStep,
                                  ImageRect srcRoi, void* pDst, std::int32_t dstStep,
                                  ImageSize dstRoiSize, double xFactor, double yFactor,
                                  std::int32_t pixelStride, std::int32_t channels,
                                  std::int32_t sampleType, std::int32_t planar);

// The area-averaging passes over bytes of one channel come in a 128-bit (SSE2)
// and a 256-bit (AVX2) build with the same results; ResizeSuperSample runs the
// widest one the processor has, ResizeSuperSampleWith a chosen one.
inline constexpr int kSuperSampleBuildSse2 = 0;
inline constexpr int kSuperSampleBuildAvx2 = 1;
bool SuperSampleBuildRuns(int build);
PrimitiveStatus ResizeSuperSampleWith(int build, const void* pSrc, ImageSize srcSize,
                                      std::int32_t srcStep, ImageRect srcRoi, void* pDst,
                                      std::int32_t dstStep, ImageSize dstRoiSize, double xFactor,
                                      double yFactor, std::int32_t pixelStride,
                                      std::int32_t channels, std::int32_t sampleType,
                                      std::int32_t planar);

// ---- Linear 8-bit one-channel kernels: every build side by side, one table.

// Horizontal pass: out[k] = (a*wL + b*wR) >> 8 with a, b the samples at
// xOffsets[k] and xOffsets[k]+1 and (wL, wR) the Q14 pair xWeights[2k..2k+1].
using InterpolateRowLinear8uFn = void (*)(const std::uint8_t* src, std::int32_t count,
                                          const std::int32_t* xOffsets,
                                          const std::int16_t* xWeights, std::int16_t* out);
// Vertical pass: out[k] = ((16384-w)*upper[k] + w*lower[k]) >> 20, saturated to 0..255.
using BlendRowsLinear8uFn = void (*)(std::uint8_t* dst, std::int32_t count, std::int32_t weight,
                                     const std::int16_t* upper, const std::int16_t* lower);

struct ResizeLinear8uKernels {
  const char* name;
  InterpolateRowLinear8uFn interpolateRow;
  BlendRowsLinear8uFn blendRows;
};

void InterpolateRowLinear8u_C(const std::uint8_t* src, std::int32_t count,
                              const std::int32_t* xOffsets, const std::int16_t* xWeights,
                              std::int16_t* out);
void InterpolateRowLinear8u_Sse2(const std::uint8_t* src, std::int32_t count,
                                 const std::int32_t* xOffsets, const std::int16_t* xWeights,
                                 std::int16_t* out);
void BlendRowsLinear8u_C(std::uint8_t* dst, std::int32_t count, std::int32_t weight,
                         const std::int16_t* upper, const std::int16_t* lower);
void BlendRowsLinear8u_Sse2(std::uint8_t* dst, std::int32_t count, std::int32_t weight,
                            const std::int16_t* upper, const std::int16_t* lower);

inline constexpr int kResizeLinear8uBuildC = 0;
inline constexpr int kResizeLinear8uBuildSse2 = 1;
extern const ResizeLinear8uKernels ResizeLinear8uBuilds[2];
// The build the core runs: SSE2, which every processor this library runs on has.
inline constexpr int kResizeLinear8uRunningBuild = kResizeLinear8uBuildSse2;

// ResizeInterpolated with a chosen build of the linear 8-bit kernels, so that the
// builds can be run against each other on whole pictures.
PrimitiveStatus ResizeInterpolatedWith(const ResizeLinear8uKernels& kernels, const void* pSrc,
                                       ImageSize srcSize, std::int32_t srcStep, ImageRect srcRoi,
                                       void* pDst, std::int32_t dstStep, ImageSize dstRoiSize,
                                       double xFactor, double yFactor, std::int32_t pixelStride,
                                       std::int32_t channels, std::int32_t sampleType,
                                       std::int32_t planar, std::int32_t interpolation);

}  // namespace zentra
