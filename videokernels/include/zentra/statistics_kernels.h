// Block and picture statistics: variances, the macroblock activity, the 4x4
// decimation with its deviation, and the psychoacoustic transform step.
#pragma once

#include <zentra/engine_dispatch.h>
#include <zentra/video_blocks.h>

#include <cstdint>

namespace zentra {

using U8 = std::uint8_t;
using I32 = std::int32_t;

I32 Variance16x16_MmxA(const U8* src, I32 step);
I32 Variance16x16_MmxB(const U8* src, I32 step);
I32 Variance16x16_C(const U8* src, I32 step);
I32 Variance16x16_Ipp(const U8* src, I32 step);
I32 Variance16xN_Mmx(const U8* src, I32 step, I32 rows);
I32 Variance16xN_C(const U8* src, I32 step, I32 rows);

// *var = Σx² - (Σx)² / 256 with the square unsigned in 32 bits.
PrimitiveStatus BlockVariance16x16(const U8* src, I32 step, I32* var);

// 8x8 32-bit samples, rows `step` samples apart: (Q >> 6) - (S >> 6)², wrapping.
I32 Variance8x8Int32(const std::uint32_t* p, I32 step);
I32 MacroblockActivity_C(const std::uint32_t* p, I32 step, I32 lowerOffset);

I32 Decimate4x4_MmxExt(const U8* src, U8* dst, I32 w, I32 h);
I32 Decimate4x4_C(const U8* src, U8* dst, I32 w, I32 h);
I32 Decimate4x4_CB(const U8* src, U8* dst, I32 w, I32 h);
I32 DecimatedDeviation_Mmx(const U8* src, U8* buf, I32 w, I32 h);
I32 DecimatedDeviation_C(const U8* src, U8* buf, I32 w, I32 h);

// 1024-point fast Hartley transform in place, unscaled.
void Fht1024(double* x);
void PsychoEnergyPhase(double* x, double* energy, double* phase);
void PsychoAcousticFft_C(double* x, double* energy, double* phase);

}  // namespace zentra
