// Sums of absolute differences: the builds of the engine's SAD operations and of
// the primitive ippiSAD16x16_8u32s with its per-build kernel tables.
#pragma once

#include <zentra/engine_dispatch.h>
#include <zentra/video_blocks.h>
#include <zentra/video_primitives.h>

#include <array>
#include <cstdint>

namespace zentra {

using U8 = std::uint8_t;
using I32 = std::int32_t;

// ---- Engine operation builds (reference first, one row step for both blocks).

I32 Sad16x16_MmxExt(const U8* ref, const U8* cur, I32 step);
I32 Sad16x16_Ipp(const U8* ref, const U8* cur, I32 step);
I32 Sad16x16Limit_MmxExt(const U8* ref, const U8* cur, I32 step, I32 limit);
I32 Sad16x16HalfXY_MmxExtA(const U8* ref, const U8* cur, I32 step);
I32 Sad16x16HalfXY_MmxExtB(const U8* ref, const U8* cur, I32 step);
I32 Sad16x16HalfXY_Ipp(const U8* ref, const U8* cur, I32 step);
I32 Sad16xNHalfXY_MmxExt(const U8* ref, const U8* cur, I32 step, I32 rows);
I32 Sad16xNHalfXY_Mmx(const U8* ref, const U8* cur, I32 step, I32 rows);
I32 Sad16xNHalfXY_Sse2(const U8* ref, const U8* cur, I32 step, I32 rows);
I32 Sad16xNHalfXY_Ipp(const U8* ref, const U8* cur, I32 step, I32 rows);
I32 Sad16xNLimit_MmxExt(const U8* ref, const U8* cur, I32 step, I32 rows, I32 limit);
I32 Sad16xN_MmxExt(const U8* ref, const U8* cur, I32 step, I32 rows);
I32 Sad16xN_Mmx(const U8* ref, const U8* cur, I32 step, I32 rows);
I32 Sad16xN_Sse2(const U8* ref, const U8* cur, I32 step, I32 rows);
I32 Sad16xNHalfX_MmxExt(const U8* ref, const U8* cur, I32 step, I32 rows);
I32 Sad16xNHalfX_Sse2(const U8* ref, const U8* cur, I32 step, I32 rows);
I32 Sad16xNHalfX_Ipp(const U8* ref, const U8* cur, I32 step, I32 rows);
I32 Sad16xNHalfY_MmxExt(const U8* ref, const U8* cur, I32 step, I32 rows);
I32 Sad16xNHalfY_Mmx(const U8* ref, const U8* cur, I32 step, I32 rows);
I32 Sad16xNHalfY_Sse2(const U8* ref, const U8* cur, I32 step, I32 rows);
I32 Sad16xNHalfY_Ipp(const U8* ref, const U8* cur, I32 step, I32 rows);
I32 Sad16xNHalfPel_MmxExt(const U8* ref, const U8* cur, I32 step, I32 rows, I32 mode);
I32 Sad16xNHalfPel_C(const U8* ref, const U8* cur, I32 step, I32 rows, I32 mode);
I32 Sad4x4_MmxExt(const U8* ref, const U8* cur, I32 step);
I32 Sad4x4_C(const U8* ref, const U8* cur, I32 step);
I32 Sad4x4Limit_MmxExt(const U8* ref, const U8* cur, I32 step, I32 limit);

// |a - b| at index a + 256*b.
extern const std::array<U8, 65536> AbsDiffTable;

// ---- The primitive: (cur, curStep, ref, refStep, sad, mode).

PrimitiveStatus ippiSAD16x16_8u32s_V1(const U8* cur, I32 curStep, const U8* ref, I32 refStep,
                                      I32* sad, I32 mode);
PrimitiveStatus ippiSAD16x16_8u32s_V2(const U8* cur, I32 curStep, const U8* ref, I32 refStep,
                                      I32* sad, I32 mode);
PrimitiveStatus ippiSAD16x16_8u32s_V3(const U8* cur, I32 curStep, const U8* ref, I32 refStep,
                                      I32* sad, I32 mode);
PrimitiveStatus ippiSAD16x16_8u32s_V4(const U8* cur, I32 curStep, const U8* ref, I32 refStep,
                                      I32* sad, I32 mode);

using SadKernel16x16 = void (*)(const U8* cur, I32 curStep, const U8* ref, I32 refStep, I32* sad);
// Exact averages in 16-bit lanes (build 2); pavgb and psadbw (builds 3 and 4).
extern const IppKernelTable<SadKernel16x16> SadKernels16x16_Mmx;
extern const IppKernelTable<SadKernel16x16> SadKernels16x16_MmxExt;

}  // namespace zentra
