// Sums of squared differences: every build side by side and their tables. The
// MMX-family builds are written with SSE2 on whole 16-byte rows; differences are
// squared and summed by 16-bit multiply-add into 32-bit lanes.
#include <zentra/squared_difference_kernels.h>

#include <emmintrin.h>

#include <cstddef>

namespace zentra {

namespace {

using P = std::ptrdiff_t;

inline __m128i Load16(const U8* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

inline I32 Total32(__m128i acc) {
  acc = _mm_add_epi32(acc, _mm_unpackhi_epi64(acc, acc));
  acc = _mm_add_epi32(acc, _mm_srli_si128(acc, 4));
  return _mm_cvtsi128_si32(acc);
}

// Σ (p - c)² of 16 bytes as four 32-bit partial sums.
inline __m128i RowSquares(__m128i p, __m128i c) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_sub_epi16(_mm_unpacklo_epi8(p, zero), _mm_unpacklo_epi8(c, zero));
  const __m128i hi = _mm_sub_epi16(_mm_unpackhi_epi8(p, zero), _mm_unpackhi_epi8(c, zero));
  return _mm_add_epi32(_mm_madd_epi16(lo, lo), _mm_madd_epi16(hi, hi));
}

// Exact prediction of one 16-byte row: pavgb is exact for two samples.
template <I32 kMode>
inline __m128i PredictExact(const U8* r, P step) {
  if constexpr (kMode == kHalfPelFull) return Load16(r);
  else if constexpr (kMode == kHalfPelVertical) return _mm_avg_epu8(Load16(r), Load16(r + step));
  else if constexpr (kMode == kHalfPelHorizontal) return _mm_avg_epu8(Load16(r), Load16(r + 1));
  else return AverageExact4Epu8(Load16(r), Load16(r + 1), Load16(r + step), Load16(r + step + 1));
}

// Prediction with the rounding-up average: the diagonal as avg(avg(r, right), avg(below, below-right)).
template <I32 kMode>
inline __m128i PredictUp(const U8* r, P step) {
  if constexpr (kMode == kHalfPelBoth)
    return AverageUpTwiceEpu8(Load16(r), Load16(r + 1), Load16(r + step), Load16(r + step + 1));
  else return PredictExact<kMode>(r, step);
}

template <I32 kMode>
I32 SsdRows(const U8* ref, P refStep, const U8* cur, P curStep, I32 rows) {
  __m128i acc = _mm_setzero_si128();
  for (I32 y = 0; y < rows; ++y)
    acc = _mm_add_epi32(acc, RowSquares(PredictExact<kMode>(ref + y * refStep, refStep), Load16(cur + y * curStep)));
  return Total32(acc);
}

I32 SsdRowsPlain(const U8* ref, const U8* cur, P step, I32 rows, I32 mode) {
  I32 sum = 0;
  for (I32 y = 0; y < rows; ++y)
    for (int x = 0; x < 16; ++x) {
      const U8* r = ref + y * step + x;
      const I32 d = HalfPelExact(r, step, mode) - cur[y * step + x];
      sum += d * d;
    }
  return sum;
}

// Each reference's exact four-sample average by its mode bits, their rounded
// mean against the current block, plain code.
I32 SsdBidirPlain(const U8* cur, P curStep, const U8* refF, P stepF, I32 modeF, const U8* refB, P stepB, I32 modeB) {
  const P fh = (modeF & kHalfPelHorizontal) ? 1 : 0, fv = (modeF & kHalfPelVertical) ? stepF : 0;
  const P bh = (modeB & kHalfPelHorizontal) ? 1 : 0, bv = (modeB & kHalfPelVertical) ? stepB : 0;
  I32 sum = 0;
  for (I32 y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const U8* f = refF + y * stepF + x;
      const U8* b = refB + y * stepB + x;
      const I32 pF = AverageExact4(f[0], f[fh], f[fv], f[fv + fh]);
      const I32 pB = AverageExact4(b[0], b[bh], b[bv], b[bv + bh]);
      const I32 d = AverageExact(pF, pB) - cur[y * curStep + x];
      sum += d * d;
    }
  return sum;
}

}  // namespace

// ---- One reference.

// Mode 0 full; 4, 8, 12 their positions; any other value the horizontal half.
I32 Ssd16x16_Mmx(const U8* ref, const U8* cur, I32 step, I32 mode) {
  switch (mode) {
    case kHalfPelFull: return SsdRows<kHalfPelFull>(ref, step, cur, step, 16);
    case kHalfPelVertical: return SsdRows<kHalfPelVertical>(ref, step, cur, step, 16);
    case kHalfPelBoth: return SsdRows<kHalfPelBoth>(ref, step, cur, step, 16);
    default: return SsdRows<kHalfPelHorizontal>(ref, step, cur, step, 16);
  }
}

// Mode 4, 8, 12 their positions; any other value, 0 included, the full position.
I32 Ssd16xN_Mmx(const U8* ref, const U8* cur, I32 step, I32 rows, I32 mode) {
  switch (mode) {
    case kHalfPelVertical: return SsdRows<kHalfPelVertical>(ref, step, cur, step, rows);
    case kHalfPelHorizontal: return SsdRows<kHalfPelHorizontal>(ref, step, cur, step, rows);
    case kHalfPelBoth: return SsdRows<kHalfPelBoth>(ref, step, cur, step, rows);
    default: return SsdRows<kHalfPelFull>(ref, step, cur, step, rows);
  }
}

// Mode 0 full, any other value the horizontal half.
I32 Ssd16xN_C(const U8* ref, const U8* cur, I32 step, I32 rows, I32 mode) {
  return SsdRowsPlain(ref, cur, step, rows, mode == 0 ? kHalfPelFull : kHalfPelHorizontal);
}

I32 Ssd16x16_C(const U8* ref, const U8* cur, I32 step, I32 mode) { return Ssd16xN_C(ref, cur, step, 16, mode); }

// A mode the primitive refuses measures 0.
I32 Ssd16x16_Ipp(const U8* ref, const U8* cur, I32 step, I32 mode) {
  I32 ssd = 0;
  SqrDiffHalfPel16x16(cur, step, ref, step, mode, &ssd);
  return ssd;
}

// ---- Two references.

namespace {

template <I32 kFwd, I32 kBwd>
I32 SsdBidirKernel(const U8* fwdRef, const U8* bwdRef, const U8* cur, I32 step) {
  __m128i acc = _mm_setzero_si128();
  for (I32 y = 0; y < 16; ++y) {
    const P o = y * P{step};
    const __m128i pred = _mm_avg_epu8(PredictUp<kFwd>(fwdRef + o, step), PredictUp<kBwd>(bwdRef + o, step));
    acc = _mm_add_epi32(acc, RowSquares(pred, Load16(cur + o)));
  }
  return Total32(acc);
}

template <I32 kFwd>
constexpr SsdBidirKernel16x16 KernelRow[4] = {&SsdBidirKernel<kFwd, 0>, &SsdBidirKernel<kFwd, 4>,
                                              &SsdBidirKernel<kFwd, 8>, &SsdBidirKernel<kFwd, 12>};

bool IsFullOrTwoSample(I32 mode) { return mode == 0 || mode == 4 || mode == 8; }

// Exact four-sample averages of each reference by its mode bits (pavgb where
// two samples suffice), then their rounded mean.
template <I32 kFwd, I32 kBwd>
I32 SsdBidirRowsExact(const U8* fwdRef, const U8* bwdRef, const U8* cur, P step, I32 rows) {
  __m128i acc = _mm_setzero_si128();
  for (I32 y = 0; y < rows; ++y) {
    const P o = y * step;
    const __m128i pred = _mm_avg_epu8(PredictExact<kFwd>(fwdRef + o, step), PredictExact<kBwd>(bwdRef + o, step));
    acc = _mm_add_epi32(acc, RowSquares(pred, Load16(cur + o)));
  }
  return Total32(acc);
}

using SsdBidirRows = I32 (*)(const U8*, const U8*, const U8*, P, I32);
template <I32 kFwd>
constexpr SsdBidirRows ExactRow[4] = {&SsdBidirRowsExact<kFwd, 0>, &SsdBidirRowsExact<kFwd, 4>,
                                      &SsdBidirRowsExact<kFwd, 8>, &SsdBidirRowsExact<kFwd, 12>};
constexpr const SsdBidirRows* kExactRows[4] = {ExactRow<0>, ExactRow<4>, ExactRow<8>, ExactRow<12>};

I32 SsdBidirExact(const U8* fwdRef, const U8* bwdRef, const U8* cur, P step, I32 rows, I32 fwdMode, I32 bwdMode) {
  return kExactRows[HalfPelIndex(fwdMode)][HalfPelIndex(bwdMode)](fwdRef, bwdRef, cur, step, rows);
}

}  // namespace

const IppKernelTable<SsdBidirKernel16x16, 16> SsdBidirKernels16x16 = {
    {KernelRow<0>[0], KernelRow<0>[1], KernelRow<0>[2], KernelRow<0>[3], KernelRow<4>[0], KernelRow<4>[1],
     KernelRow<4>[2], KernelRow<4>[3], KernelRow<8>[0], KernelRow<8>[1], KernelRow<8>[2], KernelRow<8>[3],
     KernelRow<12>[0], KernelRow<12>[1], KernelRow<12>[2], KernelRow<12>[3]}};

// A forward mode of 0, 4 or 8 with a defined backward mode picks that pair's
// kernel; anything else measures the forward reference at 12 and the backward
// one at its mode when that is 0, 4 or 8, else at 12.
I32 SsdBidir16x16_MmxExt(const U8* fwdRef, const U8* bwdRef, const U8* cur, I32 step, I32 fwdMode, I32 bwdMode) {
  I32 f, b;
  if (IsFullOrTwoSample(fwdMode) && (IsFullOrTwoSample(bwdMode) || bwdMode == 12)) {
    f = fwdMode;
    b = bwdMode;
  } else {
    f = 12;
    b = IsFullOrTwoSample(bwdMode) ? bwdMode : 12;
  }
  return SsdBidirKernels16x16.kernel[4 * HalfPelIndex(f) + HalfPelIndex(b)](fwdRef, bwdRef, cur, step);
}

I32 SsdBidir16xN_Mmx(const U8* fwdRef, const U8* bwdRef, const U8* cur, I32 step, I32 rows, I32 fwdMode,
                     I32 bwdMode) {
  return SsdBidirExact(fwdRef, bwdRef, cur, step, rows, fwdMode, bwdMode);
}

I32 SsdBidir16x16_Mmx(const U8* fwdRef, const U8* bwdRef, const U8* cur, I32 step, I32 fwdMode, I32 bwdMode) {
  return SsdBidirExact(fwdRef, bwdRef, cur, step, 16, fwdMode, bwdMode);
}

I32 SsdBidir16x16_C(const U8* fwdRef, const U8* bwdRef, const U8* cur, I32 step, I32 fwdMode, I32 bwdMode) {
  return SsdBidirPlain(cur, step, fwdRef, step, fwdMode, bwdRef, step, bwdMode);
}

I32 SsdBidir16x16_Ipp(const U8* fwdRef, const U8* bwdRef, const U8* cur, I32 step, I32 fwdMode, I32 bwdMode) {
  I32 ssd = 0;
  ippiSqrDiff16x16B_8u32s(cur, step, fwdRef, step, fwdMode, bwdRef, step, bwdMode, &ssd);
  return ssd;
}

// ---- The primitive ippiSqrDiff16x16B_8u32s and the one-reference form.

PrimitiveStatus ippiSqrDiff16x16B_8u32s_V1(const U8* cur, I32 curStep, const U8* refF, I32 stepF, I32 modeF,
                                           const U8* refB, I32 stepB, I32 modeB, I32* ssd) {
  if (cur == nullptr || refF == nullptr || refB == nullptr || ssd == nullptr) return StatusNullPointer;
  const I32 sum = SsdBidirPlain(cur, curStep, refF, stepF, modeF, refB, stepB, modeB);
  *ssd = sum;
  return StatusOk;
}

void SqrDiffBidirFullPelKernel16x16(const U8* cur, I32 curStep, const U8* refF, I32 stepF, I32 /*modeF*/,
                                    const U8* refB, I32 stepB, I32 /*modeB*/, I32* ssd) {
  __m128i acc = _mm_setzero_si128();
  for (I32 y = 0; y < 16; ++y) {
    const __m128i pred = _mm_avg_epu8(Load16(refF + y * P{stepF}), Load16(refB + y * P{stepB}));
    acc = _mm_add_epi32(acc, RowSquares(pred, Load16(cur + y * P{curStep})));
  }
  *ssd = Total32(acc);
}

namespace {

PrimitiveStatus SqrDiffBidirSimd(const U8* cur, I32 curStep, const U8* refF, I32 stepF, I32 modeF, const U8* refB,
                                 I32 stepB, I32 modeB, I32* ssd) {
  if (cur == nullptr || refF == nullptr || refB == nullptr || ssd == nullptr) return StatusNullPointer;
  if (modeF == 0 && modeB == 0) {
    SqrDiffBidirFullPelKernel16x16(cur, curStep, refF, stepF, modeF, refB, stepB, modeB, ssd);
    return StatusOk;
  }
  return ippiSqrDiff16x16B_8u32s_V1(cur, curStep, refF, stepF, modeF, refB, stepB, modeB, ssd);
}

template <I32 kMode>
void SqrDiffKernel(const U8* cur, I32 curStep, const U8* ref, I32 refStep, I32* ssd) {
  *ssd = SsdRows<kMode>(ref, refStep, cur, curStep, 16);
}

}  // namespace

PrimitiveStatus ippiSqrDiff16x16B_8u32s_V2(const U8* cur, I32 curStep, const U8* refF, I32 stepF, I32 modeF,
                                           const U8* refB, I32 stepB, I32 modeB, I32* ssd) {
  return SqrDiffBidirSimd(cur, curStep, refF, stepF, modeF, refB, stepB, modeB, ssd);
}
PrimitiveStatus ippiSqrDiff16x16B_8u32s_V3(const U8* cur, I32 curStep, const U8* refF, I32 stepF, I32 modeF,
                                           const U8* refB, I32 stepB, I32 modeB, I32* ssd) {
  return SqrDiffBidirSimd(cur, curStep, refF, stepF, modeF, refB, stepB, modeB, ssd);
}
PrimitiveStatus ippiSqrDiff16x16B_8u32s_V4(const U8* cur, I32 curStep, const U8* refF, I32 stepF, I32 modeF,
                                           const U8* refB, I32 stepB, I32 modeB, I32* ssd) {
  return SqrDiffBidirSimd(cur, curStep, refF, stepF, modeF, refB, stepB, modeB, ssd);
}

const IppKernelTable<SqrDiffKernel16x16> SqrDiffKernels16x16 = {
    {&SqrDiffKernel<kHalfPelFull>, &SqrDiffKernel<kHalfPelVertical>, &SqrDiffKernel<kHalfPelHorizontal>,
     &SqrDiffKernel<kHalfPelBoth>}};

PrimitiveStatus SqrDiffHalfPel16x16(const U8* cur, I32 curStep, const U8* ref, I32 refStep, I32 mode, I32* ssd) {
  if (cur == nullptr || ref == nullptr || ssd == nullptr) return StatusNullPointer;
  if (!IsHalfPelMode(mode)) return StatusInterpolationError;
  SqrDiffKernels16x16.kernel[HalfPelIndex(mode)](cur, curStep, ref, refStep, ssd);
  return StatusOk;
}

// ---- Tables.

ZENTRA_ENGINE_TABLE(Ssd16x16, &Ssd16x16_Ipp, &Ssd16x16_Mmx, &Ssd16x16_Mmx, &Ssd16x16_Mmx, &Ssd16x16_C);
ZENTRA_ENGINE_TABLE(Ssd16xN, &Ssd16xN_C, &Ssd16xN_Mmx, &Ssd16xN_C, &Ssd16xN_C, &Ssd16xN_C);
ZENTRA_ENGINE_TABLE(SsdBidir16x16, &SsdBidir16x16_Ipp, &SsdBidir16x16_MmxExt, &SsdBidir16x16_C,
                    &SsdBidir16x16_MmxExt, &SsdBidir16x16_MmxExt, &SsdBidir16x16_Mmx);
ZENTRA_ENGINE_TABLE_ONE_BUILD(SsdBidir16xN, SsdBidir16xN_Mmx);

}  // namespace zentra
