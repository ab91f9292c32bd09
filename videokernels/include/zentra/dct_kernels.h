// The 8x8 forward and inverse DCT on CoefBlock8x8 blocks in place: the fixed-point
// transform kernels the running builds use, their in-place wrappers and the builds.
#pragma once

#include <zentra/engine_dispatch.h>
#include <zentra/video_blocks.h>

#include <cstdint>

namespace zentra {

using I16 = std::int16_t;

// Row coefficients M[class][k][n] = round(16384 * s(class) * c(k, n)); rows 0
// and 4 use class 0, 1 and 7 class 1, 2 and 6 class 2, 3 and 5 class 3.
extern const I16 kDctRowCoefficients[4][8][8];
inline constexpr int kDctRowClass[8] = {0, 1, 2, 3, 0, 3, 2, 1};
// Added before the inverse row shift, by block row.
inline constexpr std::int32_t kIdctRowRounders[8] = {65536, 5802, 4520, 3408, 2048, 910, 1024, 746};
// Column-stage multipliers, high-half products.
inline constexpr I16 kDctTan1 = 13036, kDctTan2 = 27146, kDctTan3m1 = -21746;
inline constexpr I16 kDctCos4 = 23170, kDctCos4m1 = -19195;

// src and dst may be the same block.
void Dct8x8Forward(const I16* src, I16* dst);
void Dct8x8Inverse(const I16* src, I16* dst);
void Dct8x8InverseSse2(const I16* src, I16* dst);

// Null gives StatusNullPointer and touches nothing.
PrimitiveStatus Dct8x8ForwardInPlace(I16* block);
PrimitiveStatus Dct8x8InverseInPlace(I16* block);
PrimitiveStatus Dct8x8InverseInPlaceSse2(I16* block);

PrimitiveStatus Fdct8x8_Ipp(I16* block);
PrimitiveStatus Fdct8x8_Fpu(I16* block);
PrimitiveStatus Fdct8x8_CA(I16* block);
PrimitiveStatus Fdct8x8_CB(I16* block);
PrimitiveStatus Idct8x8_IppSse2(I16* block);
PrimitiveStatus Idct8x8_IppMmx(I16* block);
PrimitiveStatus Idct8x8_Fpu(I16* block);
PrimitiveStatus Idct8x8_Mmx(I16* block);

}  // namespace zentra
