// The named video-coding primitives: their build tables, dispatch records and
// load-time registrars. Builds 1 to 4 of each primitive fill the tables.
#pragma once

#include <zentra/primitive_runtime.h>

#include <cstdint>

namespace zentra {

using ippiSAD16x16_8u32s_Build = PrimitiveStatus (*)(const std::uint8_t* cur, std::int32_t curStep,
                                                     const std::uint8_t* ref, std::int32_t refStep,
                                                     std::int32_t* sad, std::int32_t mode);
using ippiGetDiff8x8_8u16s_C1_Build = PrimitiveStatus (*)(
    const std::uint8_t* cur, std::int32_t curStep, const std::uint8_t* ref, std::int32_t refStep,
    std::int16_t* diff, std::int32_t diffStep, std::int16_t* pred, std::int32_t predStep,
    std::int32_t mode, std::int32_t roundControl);
using ippiSqrDiff16x16B_8u32s_Build = PrimitiveStatus (*)(
    const std::uint8_t* cur, std::int32_t curStep, const std::uint8_t* refF, std::int32_t stepF,
    std::int32_t modeF, const std::uint8_t* refB, std::int32_t stepB, std::int32_t modeB,
    std::int32_t* ssd);
using ippiQuantInv_MPEG2_16s_C1I_Build = PrimitiveStatus (*)(std::int16_t* block, std::int32_t q,
                                                             const std::int16_t* matrix);
using ippiQuantInvIntra_MPEG2_16s_C1I_Build = PrimitiveStatus (*)(std::int16_t* block,
                                                                  std::int32_t q,
                                                                  const std::int16_t* matrix);
using ippiMC16x16B_8u_C1_Build = PrimitiveStatus (*)(
    const std::uint8_t* refF, std::int32_t stepF, std::int32_t modeF, const std::uint8_t* refB,
    std::int32_t stepB, std::int32_t modeB, const std::int16_t* residual, std::int32_t resStep,
    std::uint8_t* dst, std::int32_t dstStep, std::int32_t roundControl);
using ippiMC8x8B_8u_C1_Build = ippiMC16x16B_8u_C1_Build;

// The group's tables and records, laid out one after the other between markers.
struct VideoPrimitiveData {
  DataMarker before;
  PrimitiveBuildTable<ippiSAD16x16_8u32s_Build> sad16x16Builds;
  DispatchRecord sad16x16Record;
  PrimitiveBuildTable<ippiGetDiff8x8_8u16s_C1_Build> getDiff8x8Builds;
  DispatchRecord getDiff8x8Record;
  PrimitiveBuildTable<ippiSqrDiff16x16B_8u32s_Build> sqrDiff16x16BBuilds;
  DispatchRecord sqrDiff16x16BRecord;
  PrimitiveBuildTable<ippiQuantInv_MPEG2_16s_C1I_Build> quantInvBuilds;
  DispatchRecord quantInvRecord;
  PrimitiveBuildTable<ippiQuantInvIntra_MPEG2_16s_C1I_Build> quantInvIntraBuilds;
  DispatchRecord quantInvIntraRecord;
  PrimitiveBuildTable<ippiMC16x16B_8u_C1_Build> mc16x16BBuilds;
  DispatchRecord mc16x16BRecord;
  PrimitiveBuildTable<ippiMC8x8B_8u_C1_Build> mc8x8BBuilds;
  DispatchRecord mc8x8BRecord;
  DataMarker after;
};
extern VideoPrimitiveData VideoPrimitives;

// ---- Dispatch entries: each runs the build that CpuDispatchIndex selects.

inline PrimitiveStatus ippiSAD16x16_8u32s(const std::uint8_t* cur, std::int32_t curStep,
                                          const std::uint8_t* ref, std::int32_t refStep,
                                          std::int32_t* sad, std::int32_t mode) {
  return CallSelectedBuild(VideoPrimitives.sad16x16Builds, cur, curStep, ref, refStep, sad, mode);
}
inline PrimitiveStatus ippiGetDiff8x8_8u16s_C1(const std::uint8_t* cur, std::int32_t curStep,
                                               const std::uint8_t* ref, std::int32_t refStep,
                                               std::int16_t* diff, std::int32_t diffStep,
                                               std::int16_t* pred, std::int32_t predStep,
                                               std::int32_t mode, std::int32_t roundControl) {
  return CallSelectedBuild(VideoPrimitives.getDiff8x8Builds, cur, curStep, ref, refStep, diff,
                           diffStep, pred, predStep, mode, roundControl);
}
inline PrimitiveStatus ippiSqrDiff16x16B_8u32s(const std::uint8_t* cur, std::int32_t curStep,
                                               const std::uint8_t* refF, std::int32_t stepF,
                                               std::int32_t modeF, const std::uint8_t* refB,
                                               std::int32_t stepB, std::int32_t modeB,
                                               std::int32_t* ssd) {
  return CallSelectedBuild(VideoPrimitives.sqrDiff16x16BBuilds, cur, curStep, refF, stepF, modeF,
                           refB, stepB, modeB, ssd);
}
inline PrimitiveStatus ippiQuantInv_MPEG2_16s_C1I(std::int16_t* block, std::int32_t q,
                                                  const std::int16_t* matrix) {
  return CallSelectedBuild(VideoPrimitives.quantInvBuilds, block, q, matrix);
}
inline PrimitiveStatus ippiQuantInvIntra_MPEG2_16s_C1I(std::int16_t* block, std::int32_t q,
                                                       const std::int16_t* matrix) {
  return CallSelectedBuild(VideoPrimitives.quantInvIntraBuilds, block, q, matrix);
}
inline PrimitiveStatus ippiMC16x16B_8u_C1(const std::uint8_t* refF, std::int32_t stepF,
                                          std::int32_t modeF, const std::uint8_t* refB,
                                          std::int32_t stepB, std::int32_t modeB,
                                          const std::int16_t* residual, std::int32_t resStep,
                                          std::uint8_t* dst, std::int32_t dstStep,
                                          std::int32_t roundControl) {
  return CallSelectedBuild(VideoPrimitives.mc16x16BBuilds, refF, stepF, modeF, refB, stepB, modeB,
                           residual, resStep, dst, dstStep, roundControl);
}
inline PrimitiveStatus ippiMC8x8B_8u_C1(const std::uint8_t* refF, std::int32_t stepF,
                                        std::int32_t modeF, const std::uint8_t* refB,
                                        std::int32_t stepB, std::int32_t modeB,
                                        const std::int16_t* residual, std::int32_t resStep,
                                        std::uint8_t* dst, std::int32_t dstStep,
                                        std::int32_t roundControl) {
  return CallSelectedBuild(VideoPrimitives.mc8x8BBuilds, refF, stepF, modeF, refB, stepB, modeB,
                           residual, resStep, dst, dstStep, roundControl);
}

void Register_ippiSAD16x16_8u32s();
void Register_ippiGetDiff8x8_8u16s_C1();
void Register_ippiSqrDiff16x16B_8u32s();
void Register_ippiQuantInv_MPEG2_16s_C1I();
void Register_ippiQuantInvIntra_MPEG2_16s_C1I();
void Register_ippiMC16x16B_8u_C1();
void Register_ippiMC8x8B_8u_C1();

}  // namespace zentra
