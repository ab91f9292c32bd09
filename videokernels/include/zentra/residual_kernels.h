// Prediction, residual and motion-compensated reconstruction of blocks: the engine
// operations' builds, the residual primitive ippiGetDiff8x8_8u16s_C1, the
// reconstruction routine PredictAddResidual8x8 and the two-reference
// motion-compensation primitives, with the kernel tables the primitives select
// their kernels from by half-sample mode.
#pragma once

#include <zentra/engine_dispatch.h>
#include <zentra/primitive_runtime.h>
#include <zentra/video_blocks.h>

#include <cstdint>

namespace zentra {

// ---- Engine operations.

void PredictBlock_C(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t width,
                    std::int32_t height, std::int32_t mode);
void PredictBlockAverage_C(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t width,
                           std::int32_t height, std::int32_t mode);
void AverageBlock8x8_Mmx(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode);
void AverageBlock16x16_Mmx(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode);

void Predict8x8_C(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode);
void Predict8x8_Mmx(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode);
void Predict8x8_MmxExt(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode);
void Predict16x16_C(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode);
void Predict16x16_Mmx(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode);
void PredictBidir8x8_C(const std::uint8_t* fwdRef, const std::uint8_t* bwdRef, std::uint8_t* dst,
                       std::int32_t step, std::int32_t fwdMode, std::int32_t bwdMode);
void PredictBidir8x8_Mmx(const std::uint8_t* fwdRef, const std::uint8_t* bwdRef, std::uint8_t* dst,
                         std::int32_t step, std::int32_t fwdMode, std::int32_t bwdMode);
void PredictBidir16x16_C(const std::uint8_t* fwdRef, const std::uint8_t* bwdRef, std::uint8_t* dst,
                         std::int32_t step, std::int32_t fwdMode, std::int32_t bwdMode);
void PredictBidir16x16_Mmx(const std::uint8_t* fwdRef, const std::uint8_t* bwdRef, std::uint8_t* dst,
                           std::int32_t step, std::int32_t fwdMode, std::int32_t bwdMode);
void DiffBlock8x8_Ipp(const std::uint8_t* pred, const std::uint8_t* cur, std::int32_t step, std::int16_t* diff);
void DiffBlock8x8_Mmx(const std::uint8_t* pred, const std::uint8_t* cur, std::int32_t step, std::int16_t* diff);
void DiffBlock8x8_C(const std::uint8_t* pred, const std::uint8_t* cur, std::int32_t step, std::int16_t* diff);
void ReconstructBlock8x8_Ipp(const std::uint8_t* pred, std::uint8_t* dst, std::int32_t step,
                             const std::int16_t* residual);
void ReconstructBlock8x8_Mmx(const std::uint8_t* pred, std::uint8_t* dst, std::int32_t step,
                             const std::int16_t* residual);
void ReconstructBlock8x8_C(const std::uint8_t* pred, std::uint8_t* dst, std::int32_t step,
                           const std::int16_t* residual);
void GetBlock8x8_Mmx(const std::uint8_t* src, std::int32_t step, std::int16_t* dst);
void GetBlock8x8_C(const std::uint8_t* src, std::int32_t step, std::int16_t* dst);
void PutBlock8x8_Mmx(std::uint8_t* dst, std::int32_t step, const std::int16_t* src);
void PutBlock8x8_C(std::uint8_t* dst, std::int32_t step, const std::int16_t* src);

// ---- Kernels and their tables.

// One-reference residual: diff = cur - prediction (and the prediction itself
// when pred is given). Steps in bytes.
using GetDiffKernel8x8 = void (*)(const std::uint8_t* ref, std::int32_t refStep, const std::uint8_t* cur,
                                  std::int32_t curStep, std::int16_t* diff, std::int32_t diffStep,
                                  std::int16_t* pred, std::int32_t predStep, std::int32_t roundControl);
// One-reference reconstruction: dst = clip(residual + prediction).
using McKernel = void (*)(const std::uint8_t* ref, std::int32_t refStep, const std::int16_t* residual,
                          std::int32_t resStep, std::uint8_t* dst, std::int32_t dstStep,
                          std::int32_t roundControl);
// Two-reference reconstruction, with the primitive's eleven arguments.
using McBidirKernel = void (*)(const std::uint8_t* refF, std::int32_t stepF, std::int32_t modeF,
                               const std::uint8_t* refB, std::int32_t stepB, std::int32_t modeB,
                               const std::int16_t* residual, std::int32_t resStep, std::uint8_t* dst,
                               std::int32_t dstStep, std::int32_t roundControl);

// Residual table: slot (mode & 12) + (1 when a prediction output is given).
struct GetDiffKernelTable {
  GetDiffKernel8x8 slot[16];
};
// 16x16 motion compensation: slots 0-7 one reference ((mode & 12) / 2, two per
// mode), slots 8-71 two references (8 + 4 * (fwd + 4 * bwd) + alignment variant).
struct McKernelTable16x16 {
  McKernel oneRef[8];
  McBidirKernel twoRef[64];
};
// 8x8 motion compensation: slots 0-15 one reference (mode & 12, four per mode),
// slots 16-31 two references (16 + fwd + 4 * bwd).
struct McKernelTable8x8 {
  McKernel oneRef[16];
  McBidirKernel twoRef[16];
};

extern const GetDiffKernelTable GetDiffKernels_V1, GetDiffKernels_V2, GetDiffKernels_V3, GetDiffKernels_V4;
extern const McKernelTable16x16 Mc16x16Kernels_V1, Mc16x16Kernels_V2, Mc16x16Kernels_V3, Mc16x16Kernels_V4;
extern const McKernelTable8x8 Mc8x8Kernels_V1, Mc8x8Kernels_V2, Mc8x8Kernels_V3, Mc8x8Kernels_V4;

// ---- Primitives.

PrimitiveStatus PredictAddResidual8x8(const std::uint8_t* ref, std::int32_t refStep, const std::int16_t* residual,
                                      std::int32_t resStep, std::uint8_t* dst, std::int32_t dstStep,
                                      std::int32_t mode, std::int32_t roundControl);

#define ZENTRA_DECLARE_GETDIFF_BUILD(k)                                                                   \
  PrimitiveStatus ippiGetDiff8x8_8u16s_C1_V##k(const std::uint8_t* cur, std::int32_t curStep,            \
                                               const std::uint8_t* ref, std::int32_t refStep,            \
                                               std::int16_t* diff, std::int32_t diffStep,                \
                                               std::int16_t* pred, std::int32_t predStep,                \
                                               std::int32_t mode, std::int32_t roundControl);
#define ZENTRA_DECLARE_MC_BUILD(name, k)                                                                  \
  PrimitiveStatus name##_V##k(const std::uint8_t* refF, std::int32_t stepF, std::int32_t modeF,           \
                              const std::uint8_t* refB, std::int32_t stepB, std::int32_t modeB,           \
                              const std::int16_t* residual, std::int32_t resStep, std::uint8_t* dst,      \
                              std::int32_t dstStep, std::int32_t roundControl);
ZENTRA_DECLARE_GETDIFF_BUILD(1)
ZENTRA_DECLARE_GETDIFF_BUILD(2)
ZENTRA_DECLARE_GETDIFF_BUILD(3)
ZENTRA_DECLARE_GETDIFF_BUILD(4)
ZENTRA_DECLARE_MC_BUILD(ippiMC16x16B_8u_C1, 1)
ZENTRA_DECLARE_MC_BUILD(ippiMC16x16B_8u_C1, 2)
ZENTRA_DECLARE_MC_BUILD(ippiMC16x16B_8u_C1, 3)
ZENTRA_DECLARE_MC_BUILD(ippiMC16x16B_8u_C1, 4)
ZENTRA_DECLARE_MC_BUILD(ippiMC8x8B_8u_C1, 1)
ZENTRA_DECLARE_MC_BUILD(ippiMC8x8B_8u_C1, 2)
ZENTRA_DECLARE_MC_BUILD(ippiMC8x8B_8u_C1, 3)
ZENTRA_DECLARE_MC_BUILD(ippiMC8x8B_8u_C1, 4)
#undef ZENTRA_DECLARE_GETDIFF_BUILD
#undef ZENTRA_DECLARE_MC_BUILD

}  // namespace zentra
