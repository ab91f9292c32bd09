// Sums of absolute differences: every build side by side and their tables. The
// MMX-family builds are written with SSE2 on whole 16-byte rows; each keeps the
// averaging its formula names: rounding-up byte averages, or exact averages,
// which the byte forms give bit for bit as the 16-bit lanes of the exact builds did.
#include <zentra/sad_kernels.h>

#include <emmintrin.h>

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace zentra {

namespace {

using P = std::ptrdiff_t;

inline __m128i Load16(const U8* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

inline __m128i Load4(const U8* p) {
  std::int32_t v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(v);
}

// The two 64-bit halves of a psadbw accumulator (each fits 32 bits).
inline I32 Total(__m128i acc) {
  return _mm_cvtsi128_si32(acc) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(acc, acc));
}

// The four 32-bit lanes of an accumulator.
inline I32 Total32(__m128i acc) {
  acc = _mm_add_epi32(acc, _mm_unpackhi_epi64(acc, acc));
  acc = _mm_add_epi32(acc, _mm_srli_si128(acc, 4));
  return _mm_cvtsi128_si32(acc);
}

// ---- Predictions of one 16-byte reference row with the rounding-up byte average.

struct Full {
  static __m128i Row(const U8* r, P) { return Load16(r); }
};
struct HalfX {
  static __m128i Row(const U8* r, P) { return _mm_avg_epu8(Load16(r), Load16(r + 1)); }
};
struct HalfY {
  static __m128i Row(const U8* r, P step) { return _mm_avg_epu8(Load16(r), Load16(r + step)); }
};
// avg(avg(r, below), avg(right, below-right)).
struct HalfXYVerticalFirst {
  static __m128i Row(const U8* r, P step) {
    return AverageUpTwiceEpu8(Load16(r), Load16(r + step), Load16(r + 1), Load16(r + 1 + step));
  }
};
// avg(avg(r, right), avg(below, below-right)).
struct HalfXYHorizontalFirst {
  static __m128i Row(const U8* r, P step) {
    return AverageUpTwiceEpu8(Load16(r), Load16(r + 1), Load16(r + step), Load16(r + step + 1));
  }
};

// psadbw SAD of `rows` rows, `perStep` rows per iteration.
template <class Pred, int perStep>
I32 SadRows(const U8* ref, const U8* cur, P step, I32 rows) {
  __m128i acc = _mm_setzero_si128();
  for (I32 y = 0; y < rows; y += perStep) {
    for (int k = 0; k < perStep; ++k) {
      const P o = (y + k) * step;
      acc = _mm_add_epi64(acc, _mm_sad_epu8(Pred::Row(ref + o, step), Load16(cur + o)));
    }
  }
  return Total(acc);
}

// SAD of two rows at a time, returning the running sum once it reaches limit.
template <class Pred>
I32 SadRowsLimit(const U8* ref, const U8* cur, P step, I32 rows, I32 limit) {
  I32 sum = 0;
  for (I32 y = 0; y < rows; y += 2) {
    const P o = y * step;
    const __m128i pair = _mm_add_epi64(_mm_sad_epu8(Pred::Row(ref + o, step), Load16(cur + o)),
                                       _mm_sad_epu8(Pred::Row(ref + o + step, step), Load16(cur + o + step)));
    sum += Total(pair);
    if (sum >= limit) return sum;
  }
  return sum;
}

// The exact prediction of the full and two-sample positions; pavgb is exact
// for two samples.
template <I32 kMode>
using ExactPred = std::conditional_t<kMode == kHalfPelFull, Full, std::conditional_t<kMode == kHalfPelVertical, HalfY, HalfX>>;

// Exact diagonal SAD, one row a step: each row's lower pair of samples is the
// next row's upper pair, so its loads and pair average carry over.
I32 SadRowsDiagonalExact(const U8* ref, P refStep, const U8* cur, P curStep, I32 rows) {
  __m128i acc = _mm_setzero_si128();
  __m128i a = Load16(ref), b = Load16(ref + 1);
  __m128i ab = _mm_avg_epu8(a, b), oddAb = _mm_xor_si128(a, b);
  const __m128i one = _mm_set1_epi8(1);
  for (I32 y = 0; y < rows; ++y) {
    const U8* below = ref + (y + 1) * refStep;
    const __m128i c = Load16(below), d = Load16(below + 1);
    const __m128i cd = _mm_avg_epu8(c, d), oddCd = _mm_xor_si128(c, d);
    // As AverageExact4Epu8: one too high where a pair sum was odd and the pair averages' low bits differ.
    const __m128i fix = _mm_and_si128(_mm_and_si128(_mm_or_si128(oddAb, oddCd), _mm_xor_si128(ab, cd)), one);
    const __m128i pred = _mm_sub_epi8(_mm_avg_epu8(ab, cd), fix);
    acc = _mm_add_epi64(acc, _mm_sad_epu8(pred, Load16(cur + y * curStep)));
    ab = cd;
    oddAb = oddCd;
  }
  return Total(acc);
}

template <I32 kMode>
I32 SadRowsExact(const U8* ref, const U8* cur, P step, I32 rows) {
  if constexpr (kMode == kHalfPelBoth) return SadRowsDiagonalExact(ref, step, cur, step, rows);
  else return SadRows<ExactPred<kMode>, 1>(ref, cur, step, rows);
}

inline __m128i WidenLo(__m128i v) { return _mm_unpacklo_epi8(v, _mm_setzero_si128()); }
inline __m128i WidenHi(__m128i v) { return _mm_unpackhi_epi8(v, _mm_setzero_si128()); }

// Plain MMX absolute differences: two saturating subtractions, widened and summed.
I32 SadRowsSubtract(const U8* ref, const U8* cur, P step, I32 rows) {
  __m128i acc = _mm_setzero_si128();
  const __m128i ones = _mm_set1_epi16(1);
  for (I32 y = 0; y < rows; ++y) {
    const __m128i r = Load16(ref + y * step), c = Load16(cur + y * step);
    const __m128i d = _mm_or_si128(_mm_subs_epu8(r, c), _mm_subs_epu8(c, r));
    acc = _mm_add_epi32(acc, _mm_madd_epi16(_mm_add_epi16(WidenLo(d), WidenHi(d)), ones));
  }
  return Total32(acc);
}

constexpr std::array<U8, 65536> MakeAbsDiffTable() {
  std::array<U8, 65536> t{};
  for (int b = 0; b < 256; ++b)
    for (int a = 0; a < 256; ++a) t[a + 256 * b] = static_cast<U8>(a > b ? a - b : b - a);
  return t;
}

}  // namespace

constexpr std::array<U8, 65536> AbsDiffTable = MakeAbsDiffTable();

// ---- Full position.

I32 Sad16x16_MmxExt(const U8* ref, const U8* cur, I32 step) { return SadRows<Full, 2>(ref, cur, step, 16); }

I32 Sad16xN_MmxExt(const U8* ref, const U8* cur, I32 step, I32 rows) {
  return SadRows<Full, 2>(ref, cur, step, rows);
}

I32 Sad16xN_Mmx(const U8* ref, const U8* cur, I32 step, I32 rows) { return SadRowsSubtract(ref, cur, step, rows); }

// Knows only 16 and 8 rows; any other count is taken as 8.
I32 Sad16xN_Sse2(const U8* ref, const U8* cur, I32 step, I32 rows) {
  return SadRows<Full, 4>(ref, cur, step, rows == 16 ? 16 : 8);
}

I32 Sad16x16Limit_MmxExt(const U8* ref, const U8* cur, I32 step, I32 limit) {
  return SadRowsLimit<Full>(ref, cur, step, 16, limit);
}

I32 Sad16xNLimit_MmxExt(const U8* ref, const U8* cur, I32 step, I32 rows, I32 limit) {
  return SadRowsLimit<Full>(ref, cur, step, rows, limit);
}

// ---- Half positions.

I32 Sad16xNHalfX_MmxExt(const U8* ref, const U8* cur, I32 step, I32 rows) {
  return SadRows<HalfX, 2>(ref, cur, step, rows);
}

I32 Sad16xNHalfY_MmxExt(const U8* ref, const U8* cur, I32 step, I32 rows) {
  return SadRows<HalfY, 2>(ref, cur, step, rows);
}

I32 Sad16xNHalfY_Mmx(const U8* ref, const U8* cur, I32 step, I32 rows) {
  return SadRowsExact<kHalfPelVertical>(ref, cur, step, rows);
}

// SSE2 builds of the two half positions that no table selects.
I32 Sad16xNHalfX_Sse2(const U8* ref, const U8* cur, I32 step, I32 rows) { return SadRows<HalfX, 1>(ref, cur, step, rows); }
I32 Sad16xNHalfY_Sse2(const U8* ref, const U8* cur, I32 step, I32 rows) { return SadRows<HalfY, 1>(ref, cur, step, rows); }

I32 Sad16x16HalfXY_MmxExtA(const U8* ref, const U8* cur, I32 step) {
  return SadRows<HalfXYVerticalFirst, 2>(ref, cur, step, 16);
}

I32 Sad16x16HalfXY_MmxExtB(const U8* ref, const U8* cur, I32 step) {
  return SadRows<HalfXYVerticalFirst, 4>(ref, cur, step, 16);
}

// Always 16 rows, whatever `rows` says; reads the 17 reference rows the diagonal
// position needs and nothing beyond them.
I32 Sad16xNHalfXY_MmxExt(const U8* ref, const U8* cur, I32 step, I32 /*rows*/) {
  return SadRows<HalfXYVerticalFirst, 2>(ref, cur, step, 16);
}

I32 Sad16xNHalfXY_Mmx(const U8* ref, const U8* cur, I32 step, I32 rows) {
  return SadRowsExact<kHalfPelBoth>(ref, cur, step, rows);
}

I32 Sad16xNHalfXY_Sse2(const U8* ref, const U8* cur, I32 step, I32 rows) {
  return SadRows<HalfXYVerticalFirst, 1>(ref, cur, step, rows);
}

I32 Sad16xNHalfPel_MmxExt(const U8* ref, const U8* cur, I32 step, I32 rows, I32 mode) {
  if (rows <= 0) return 0;
  switch (mode) {
    case kHalfPelHorizontal: return SadRowsExact<kHalfPelHorizontal>(ref, cur, step, rows);
    case kHalfPelVertical: return SadRowsExact<kHalfPelVertical>(ref, cur, step, rows);
    case kHalfPelBoth: return SadRowsExact<kHalfPelBoth>(ref, cur, step, rows);
    default: return SadRowsExact<kHalfPelFull>(ref, cur, step, rows);
  }
}

// Mode 0 full, 8 horizontal, 4 vertical, any other value diagonal.
I32 Sad16xNHalfPel_C(const U8* ref, const U8* cur, I32 step, I32 rows, I32 mode) {
  const bool full = mode == kHalfPelFull;
  const P h = full || mode == kHalfPelVertical ? 0 : 1;
  const P v = full || mode == kHalfPelHorizontal ? 0 : step;
  I32 sum = 0;
  for (I32 y = 0; y < rows; ++y) {
    const U8* r = ref + y * P{step};
    const U8* c = cur + y * P{step};
    for (int x = 0; x < 16; ++x) sum += AbsDiffTable[AverageExact4(r[x], r[x + h], r[x + v], r[x + v + h]) + 256 * c[x]];
  }
  return sum;
}

// ---- 4x4.

I32 Sad4x4_MmxExt(const U8* ref, const U8* cur, I32 step) {
  auto rows = [step](const U8* p) {
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(Load4(p), Load4(p + step)),
                              _mm_unpacklo_epi32(Load4(p + 2 * P{step}), Load4(p + 3 * P{step})));
  };
  return Total(_mm_sad_epu8(rows(ref), rows(cur)));
}

I32 Sad4x4_C(const U8* ref, const U8* cur, I32 step) {
  I32 sum = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      const I32 d = ref[y * P{step} + x] - cur[y * P{step} + x];
      sum += d < 0 ? -d : d;
    }
  return sum;
}

// The limit is looked at after each of the first three rows; the fourth is
// always added once reached.
I32 Sad4x4Limit_MmxExt(const U8* ref, const U8* cur, I32 step, I32 limit) {
  // Each row alone in its 64-bit half, so psadbw gives the rows' sums apart.
  auto pair = [step](const U8* p, int y) { return _mm_unpacklo_epi64(Load4(p + y * P{step}), Load4(p + (y + 1) * P{step})); };
  const __m128i top = _mm_sad_epu8(pair(ref, 0), pair(cur, 0));
  const __m128i bottom = _mm_sad_epu8(pair(ref, 2), pair(cur, 2));
  const I32 row[4] = {_mm_cvtsi128_si32(top), _mm_cvtsi128_si32(_mm_unpackhi_epi64(top, top)),
                      _mm_cvtsi128_si32(bottom), _mm_cvtsi128_si32(_mm_unpackhi_epi64(bottom, bottom))};
  I32 sum = 0;
  for (int y = 0; y < 3; ++y) {
    sum += row[y];
    if (sum >= limit) return sum;
  }
  return sum + row[3];
}

// ---- The primitive ippiSAD16x16_8u32s.

namespace {

template <class Pred>
void SadKernelMmxExt(const U8* cur, I32 curStep, const U8* ref, I32 refStep, I32* sad) {
  __m128i acc = _mm_setzero_si128();
  for (I32 y = 0; y < 16; y += 2) {
    acc = _mm_add_epi64(acc, _mm_sad_epu8(Pred::Row(ref + y * P{refStep}, refStep), Load16(cur + y * P{curStep})));
    acc = _mm_add_epi64(acc, _mm_sad_epu8(Pred::Row(ref + (y + 1) * P{refStep}, refStep),
                                          Load16(cur + (y + 1) * P{curStep})));
  }
  *sad = Total(acc);
}

// Exact predictions, one row a step.
template <I32 kMode>
void SadKernelMmx(const U8* cur, I32 curStep, const U8* ref, I32 refStep, I32* sad) {
  if constexpr (kMode == kHalfPelBoth) {
    *sad = SadRowsDiagonalExact(ref, refStep, cur, curStep, 16);
  } else {
    __m128i acc = _mm_setzero_si128();
    for (I32 y = 0; y < 16; ++y)
      acc = _mm_add_epi64(acc, _mm_sad_epu8(ExactPred<kMode>::Row(ref + y * P{refStep}, refStep), Load16(cur + y * P{curStep})));
    *sad = Total(acc);
  }
}

PrimitiveStatus RunSadKernel(const IppKernelTable<SadKernel16x16>& table, const U8* cur, I32 curStep,
                             const U8* ref, I32 refStep, I32* sad, I32 mode) {
  if (cur == nullptr || ref == nullptr || sad == nullptr) return StatusNullPointer;
  // A mode with no kernel is refused with *sad untouched, never reported as a
  // measured block.
  if (!IsHalfPelMode(mode)) return StatusInterpolationError;
  table.kernel[HalfPelIndex(mode)](cur, curStep, ref, refStep, sad);
  return StatusOk;
}

}  // namespace

const IppKernelTable<SadKernel16x16> SadKernels16x16_Mmx = {
    {&SadKernelMmx<kHalfPelFull>, &SadKernelMmx<kHalfPelVertical>, &SadKernelMmx<kHalfPelHorizontal>,
     &SadKernelMmx<kHalfPelBoth>}};

const IppKernelTable<SadKernel16x16> SadKernels16x16_MmxExt = {
    {&SadKernelMmxExt<Full>, &SadKernelMmxExt<HalfY>, &SadKernelMmxExt<HalfX>,
     &SadKernelMmxExt<HalfXYHorizontalFirst>}};

// Plain code, any processor: only bits 2-3 of mode count.
PrimitiveStatus ippiSAD16x16_8u32s_V1(const U8* cur, I32 curStep, const U8* ref, I32 refStep,
                                      I32* sad, I32 mode) {
  if (cur == nullptr || ref == nullptr || sad == nullptr) return StatusNullPointer;
  const P h = (mode & kHalfPelHorizontal) ? 1 : 0;
  const P v = (mode & kHalfPelVertical) ? refStep : 0;
  I32 sum = 0;
  for (I32 y = 0; y < 16; ++y) {
    const U8* r = ref + y * P{refStep};
    const U8* c = cur + y * P{curStep};
    for (int x = 0; x < 16; ++x) {
      const I32 d = AverageExact4(r[x], r[x + h], r[x + v], r[x + v + h]) - c[x];
      sum += d < 0 ? -d : d;
    }
  }
  *sad = sum;
  return StatusOk;
}

PrimitiveStatus ippiSAD16x16_8u32s_V2(const U8* cur, I32 curStep, const U8* ref, I32 refStep,
                                      I32* sad, I32 mode) {
  return RunSadKernel(SadKernels16x16_Mmx, cur, curStep, ref, refStep, sad, mode);
}

PrimitiveStatus ippiSAD16x16_8u32s_V3(const U8* cur, I32 curStep, const U8* ref, I32 refStep,
                                      I32* sad, I32 mode) {
  return RunSadKernel(SadKernels16x16_MmxExt, cur, curStep, ref, refStep, sad, mode);
}

PrimitiveStatus ippiSAD16x16_8u32s_V4(const U8* cur, I32 curStep, const U8* ref, I32 refStep,
                                      I32* sad, I32 mode) {
  return RunSadKernel(SadKernels16x16_MmxExt, cur, curStep, ref, refStep, sad, mode);
}

// ---- Builds that delegate to the primitive.

namespace {

I32 SadOfPrimitiveV3(const U8* ref, const U8* cur, I32 step, I32 mode) {
  I32 sad = 0;
  ippiSAD16x16_8u32s_V3(cur, step, ref, step, &sad, mode);
  return sad;
}

}  // namespace

I32 Sad16x16_Ipp(const U8* ref, const U8* cur, I32 step) { return SadOfPrimitiveV3(ref, cur, step, kHalfPelFull); }

I32 Sad16x16HalfXY_Ipp(const U8* ref, const U8* cur, I32 step) {
  I32 sad = 0;
  ippiSAD16x16_8u32s(cur, step, ref, step, &sad, kHalfPelBoth);
  return sad;
}

I32 Sad16xNHalfXY_Ipp(const U8* ref, const U8* cur, I32 step, I32 rows) {
  return rows == 16 ? SadOfPrimitiveV3(ref, cur, step, kHalfPelBoth) : Sad16xNHalfXY_MmxExt(ref, cur, step, 16);
}

I32 Sad16xNHalfX_Ipp(const U8* ref, const U8* cur, I32 step, I32 rows) {
  return rows == 16 ? SadOfPrimitiveV3(ref, cur, step, kHalfPelHorizontal) : Sad16xNHalfX_MmxExt(ref, cur, step, rows);
}

I32 Sad16xNHalfY_Ipp(const U8* ref, const U8* cur, I32 step, I32 rows) {
  return rows == 16 ? SadOfPrimitiveV3(ref, cur, step, kHalfPelVertical) : Sad16xNHalfY_MmxExt(ref, cur, step, rows);
}

// ---- Tables.

ZENTRA_ENGINE_TABLE(Sad16x16, &Sad16x16_Ipp, &Sad16x16_MmxExt, &Sad16x16_MmxExt, &Sad16x16_MmxExt, &Sad16x16_MmxExt);
ZENTRA_ENGINE_TABLE_ONE_BUILD(Sad16x16Limit, Sad16x16Limit_MmxExt);
ZENTRA_ENGINE_TABLE(Sad16x16HalfXY, &Sad16x16HalfXY_Ipp, &Sad16x16HalfXY_MmxExtA, &Sad16x16HalfXY_MmxExtB,
                    &Sad16x16HalfXY_MmxExtA, &Sad16x16HalfXY_MmxExtA);
ZENTRA_ENGINE_TABLE(Sad16xNHalfXY, &Sad16xNHalfXY_Ipp, &Sad16xNHalfXY_MmxExt, &Sad16xNHalfXY_Mmx,
                    &Sad16xNHalfXY_MmxExt, &Sad16xNHalfXY_Sse2);
ZENTRA_ENGINE_TABLE_ONE_BUILD(Sad16xNLimit, Sad16xNLimit_MmxExt);
ZENTRA_ENGINE_TABLE(Sad16xN, &Sad16xN_Sse2, &Sad16xN_MmxExt, &Sad16xN_Mmx, &Sad16xN_MmxExt, &Sad16xN_Sse2);
ZENTRA_ENGINE_TABLE(Sad16xNHalfX, &Sad16xNHalfX_Ipp, &Sad16xNHalfX_MmxExt, &Sad16xNHalfX_MmxExt,
                    &Sad16xNHalfX_MmxExt, &Sad16xNHalfX_MmxExt);
ZENTRA_ENGINE_TABLE(Sad16xNHalfY, &Sad16xNHalfY_Ipp, &Sad16xNHalfY_MmxExt, &Sad16xNHalfY_Mmx,
                    &Sad16xNHalfY_MmxExt, &Sad16xNHalfY_MmxExt);
ZENTRA_ENGINE_TABLE(Sad16xNHalfPel, &Sad16xNHalfPel_C, &Sad16xNHalfPel_MmxExt, &Sad16xNHalfPel_MmxExt,
                    &Sad16xNHalfPel_MmxExt, &Sad16xNHalfPel_MmxExt);
ZENTRA_ENGINE_TABLE(Sad4x4, &Sad4x4_C, &Sad4x4_MmxExt, &Sad4x4_MmxExt, &Sad4x4_MmxExt, &Sad4x4_MmxExt);
ZENTRA_ENGINE_TABLE_ONE_BUILD(Sad4x4Limit, Sad4x4Limit_MmxExt);

}  // namespace zentra
