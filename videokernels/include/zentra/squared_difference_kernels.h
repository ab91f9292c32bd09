// Sums of squared differences: the builds of the engine's SSD operations, the
// primitive ippiSqrDiff16x16B_8u32s and the one-reference half-pel form.
#pragma once

#include <zentra/engine_dispatch.h>
#include <zentra/video_blocks.h>
#include <zentra/video_primitives.h>

#include <cstdint>

namespace zentra {

using U8 = std::uint8_t;
using I32 = std::int32_t;

I32 Ssd16x16_Mmx(const U8* ref, const U8* cur, I32 step, I32 mode);
I32 Ssd16x16_C(const U8* ref, const U8* cur, I32 step, I32 mode);
I32 Ssd16x16_Ipp(const U8* ref, const U8* cur, I32 step, I32 mode);
I32 Ssd16xN_Mmx(const U8* ref, const U8* cur, I32 step, I32 rows, I32 mode);
I32 Ssd16xN_C(const U8* ref, const U8* cur, I32 step, I32 rows, I32 mode);
I32 SsdBidir16x16_MmxExt(const U8* fwdRef, const U8* bwdRef, const U8* cur, I32 step, I32 fwdMode, I32 bwdMode);
I32 SsdBidir16x16_Mmx(const U8* fwdRef, const U8* bwdRef, const U8* cur, I32 step, I32 fwdMode, I32 bwdMode);
I32 SsdBidir16x16_C(const U8* fwdRef, const U8* bwdRef, const U8* cur, I32 step, I32 fwdMode, I32 bwdMode);
I32 SsdBidir16x16_Ipp(const U8* fwdRef, const U8* bwdRef, const U8* cur, I32 step, I32 fwdMode, I32 bwdMode);
I32 SsdBidir16xN_Mmx(const U8* fwdRef, const U8* bwdRef, const U8* cur, I32 step, I32 rows, I32 fwdMode,
                     I32 bwdMode);

// One kernel per (forward, backward) pair of positions, at [fwd index][bwd index].
using SsdBidirKernel16x16 = I32 (*)(const U8* fwdRef, const U8* bwdRef, const U8* cur, I32 step);
extern const IppKernelTable<SsdBidirKernel16x16, 16> SsdBidirKernels16x16;

PrimitiveStatus ippiSqrDiff16x16B_8u32s_V1(const U8* cur, I32 curStep, const U8* refF, I32 stepF, I32 modeF,
                                           const U8* refB, I32 stepB, I32 modeB, I32* ssd);
PrimitiveStatus ippiSqrDiff16x16B_8u32s_V2(const U8* cur, I32 curStep, const U8* refF, I32 stepF, I32 modeF,
                                           const U8* refB, I32 stepB, I32 modeB, I32* ssd);
PrimitiveStatus ippiSqrDiff16x16B_8u32s_V3(const U8* cur, I32 curStep, const U8* refF, I32 stepF, I32 modeF,
                                           const U8* refB, I32 stepB, I32 modeB, I32* ssd);
PrimitiveStatus ippiSqrDiff16x16B_8u32s_V4(const U8* cur, I32 curStep, const U8* refF, I32 stepF, I32 modeF,
                                           const U8* refB, I32 stepB, I32 modeB, I32* ssd);

// Both modes 0: squared error against (F + B + 1) >> 1.
void SqrDiffBidirFullPelKernel16x16(const U8* cur, I32 curStep, const U8* refF, I32 stepF, I32 modeF,
                                    const U8* refB, I32 stepB, I32 modeB, I32* ssd);

// Squared error against one prediction at mode 0, 4, 8 or 12, exact rounding.
using SqrDiffKernel16x16 = void (*)(const U8* cur, I32 curStep, const U8* ref, I32 refStep, I32* ssd);
extern const IppKernelTable<SqrDiffKernel16x16> SqrDiffKernels16x16;

// Any other mode value is refused with StatusInterpolationError and nothing is
// written, so a caller never reads a sum that was not formed.
PrimitiveStatus SqrDiffHalfPel16x16(const U8* cur, I32 curStep, const U8* ref, I32 refStep, I32 mode, I32* ssd);

}  // namespace zentra
