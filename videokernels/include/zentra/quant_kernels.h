// Quantisation and inverse quantisation of one coefficient block: every build of
// the engine operations, the default weight matrices and the two named
// inverse-quantisation primitives with their four processor builds.
#pragma once

#include <zentra/engine_dispatch.h>
#include <zentra/primitive_runtime.h>

#include <cstdint>

namespace zentra {

extern const std::int16_t DefaultIntraMatrix[64];
extern const std::int16_t DefaultNonIntraMatrix[64];

// Levels back to coefficients.
void QuantInvInterMpeg2_Ipp(std::int16_t* block, std::int32_t q);
void QuantInvInterMpeg2_Mmx(std::int16_t* block, std::int32_t q);
void QuantInvInterMpeg2_C(std::int16_t* block, std::int32_t q);
void QuantInvIntraMpeg1_Mmx(std::int16_t* block, std::int32_t q);
void QuantInvIntraMpeg1_C(std::int16_t* block, std::int32_t q);
void QuantInvIntraMpeg2_Mmx(std::int16_t* block, std::int32_t dcPrecision, const std::int16_t* matrix,
                            std::int32_t q);
void QuantInvIntraMpeg2_C(std::int16_t* block, std::int32_t dcPrecision, const std::int16_t* matrix,
                          std::int32_t q);
PrimitiveStatus QuantInvIntraAcMpeg2_Ipp(std::int16_t* block, std::int32_t q);
PrimitiveStatus QuantInvIntraAcMpeg2_C(std::int16_t* block, std::int32_t q);
void QuantInvInterMpeg1_Mmx(std::int16_t* block, std::int32_t q);
void QuantInvInterMpeg1_C(std::int16_t* block, std::int32_t q);

// Coefficients to levels.
std::int32_t QuantInterAnyNonZero_CB(std::int16_t* block, std::int32_t q);
std::int32_t QuantInterAnyNonZero_C(std::int16_t* block, std::int32_t q);
void QuantInterCount255_MmxExt(std::int16_t* block, std::int32_t q, const std::int16_t* matrix,
                               std::int32_t* count);
void QuantInterCount255_C(std::int16_t* block, std::int32_t q, const std::int16_t* matrix,
                          std::int32_t* count);
void QuantInterCount2047_C(std::int16_t* block, std::int32_t q, const std::int16_t* matrix,
                           std::int32_t* count);
void QuantWeightedFloat_Sse2(std::int16_t* block, std::int32_t q, const float* weights,
                             std::int32_t* count);
void QuantWeightedFloat2047_Sse2(std::int16_t* block, std::int32_t q, const float* weights,
                                 std::int32_t* count);
void QuantIntraAc2047_C(std::int16_t* block, std::int32_t q);
void QuantIntraAc255_C(std::int16_t* block, std::int32_t q);
void QuantIntra_Mmx(std::int16_t* block, std::int32_t dcPrecision, const std::int16_t* matrix,
                    std::int32_t q);
void QuantIntra_C(std::int16_t* block, std::int32_t dcPrecision, const std::int16_t* matrix,
                  std::int32_t q);

// The named inverse-quantisation primitives: separate compilations of one
// algorithm, selected by CpuDispatchIndex through their dispatch entries.
PrimitiveStatus ippiQuantInv_MPEG2_16s_C1I_V1(std::int16_t* block, std::int32_t q, const std::int16_t* matrix);
PrimitiveStatus ippiQuantInv_MPEG2_16s_C1I_V2(std::int16_t* block, std::int32_t q, const std::int16_t* matrix);
PrimitiveStatus ippiQuantInv_MPEG2_16s_C1I_V3(std::int16_t* block, std::int32_t q, const std::int16_t* matrix);
PrimitiveStatus ippiQuantInv_MPEG2_16s_C1I_V4(std::int16_t* block, std::int32_t q, const std::int16_t* matrix);
PrimitiveStatus ippiQuantInvIntra_MPEG2_16s_C1I_V1(std::int16_t* block, std::int32_t q, const std::int16_t* matrix);
PrimitiveStatus ippiQuantInvIntra_MPEG2_16s_C1I_V2(std::int16_t* block, std::int32_t q, const std::int16_t* matrix);
PrimitiveStatus ippiQuantInvIntra_MPEG2_16s_C1I_V3(std::int16_t* block, std::int32_t q, const std::int16_t* matrix);
PrimitiveStatus ippiQuantInvIntra_MPEG2_16s_C1I_V4(std::int16_t* block, std::int32_t q, const std::int16_t* matrix);

}  // namespace zentra
