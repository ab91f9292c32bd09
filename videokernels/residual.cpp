// Residual of an 8x8 block against its half-sample prediction, and the
// reconstruction from prediction plus residual: kernels, tables and primitives.
#include "half_pel_rows.h"

#include <zentra/residual_kernels.h>
#include <zentra/video_blocks.h>

#include <emmintrin.h>

#include <cstdint>

namespace zentra {

namespace {

const std::uint8_t* Advance(const std::uint8_t* p, std::int32_t step) { return p + step; }
template <typename T>
T* AdvanceBytes(T* p, std::int32_t stepBytes) {
  return reinterpret_cast<T*>(reinterpret_cast<std::uintptr_t>(p) + static_cast<std::intptr_t>(stepBytes));
}

// Plain residual kernel of one mode: exact prediction with the round control;
// the prediction output is written when given.
template <int mode>
void GetDiffPlain(const std::uint8_t* ref, std::int32_t refStep, const std::uint8_t* cur, std::int32_t curStep,
                  std::int16_t* diff, std::int32_t diffStep, std::int16_t* pred, std::int32_t predStep,
                  std::int32_t rc) {
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const std::int32_t p = HalfPelExact(ref + x, refStep, mode, rc);
      diff[x] = static_cast<std::int16_t>(cur[x] - p);
      if (pred != nullptr) pred[x] = static_cast<std::int16_t>(p);
    }
    ref = Advance(ref, refStep);
    cur = Advance(cur, curStep);
    diff = AdvanceBytes(diff, diffStep);
    if (pred != nullptr) pred = AdvanceBytes(pred, predStep);
  }
}

// SIMD residual kernel of one mode: rounding-up byte averages, the round control
// ignored, the difference by saturating 16-bit subtraction.
template <int mode, bool withPred>
void GetDiffSimd(const std::uint8_t* ref, std::int32_t refStep, const std::uint8_t* cur, std::int32_t curStep,
                 std::int16_t* diff, std::int32_t diffStep, std::int16_t* pred, std::int32_t predStep,
                 std::int32_t) {
  const __m128i zero = _mm_setzero_si128();
  for (int y = 0; y < 8; ++y) {
    const __m128i p = _mm_unpacklo_epi8(rows::AverageUpRow<8, mode>(ref, refStep), zero);
    const __m128i c = _mm_unpacklo_epi8(rows::Load<8>(cur), zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(diff), _mm_subs_epi16(c, p));
    if constexpr (withPred) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(pred), p);
      pred = AdvanceBytes(pred, predStep);
    }
    ref = Advance(ref, refStep);
    cur = Advance(cur, curStep);
    diff = AdvanceBytes(diff, diffStep);
  }
}

#define ZENTRA_PLAIN_MODE(m) &GetDiffPlain<m>, &GetDiffPlain<m>, &GetDiffPlain<m>, &GetDiffPlain<m>
#define ZENTRA_SIMD_MODE(m) &GetDiffSimd<m, false>, &GetDiffSimd<m, true>, &GetDiffSimd<m, false>, &GetDiffSimd<m, false>
constexpr GetDiffKernelTable kPlainGetDiff = {{ZENTRA_PLAIN_MODE(0), ZENTRA_PLAIN_MODE(4), ZENTRA_PLAIN_MODE(8),
                                               ZENTRA_PLAIN_MODE(12)}};
constexpr GetDiffKernelTable kSimdGetDiff = {{ZENTRA_SIMD_MODE(0), ZENTRA_SIMD_MODE(4), ZENTRA_SIMD_MODE(8),
                                              ZENTRA_SIMD_MODE(12)}};
#undef ZENTRA_PLAIN_MODE
#undef ZENTRA_SIMD_MODE

PrimitiveStatus GetDiff(const GetDiffKernelTable& table, const std::uint8_t* cur, std::int32_t curStep,
                        const std::uint8_t* ref, std::int32_t refStep, std::int16_t* diff, std::int32_t diffStep,
                        std::int16_t* pred, std::int32_t predStep, std::int32_t mode, std::int32_t rc) {
  if (cur == nullptr || ref == nullptr || diff == nullptr) return StatusNullPointer;
  table.slot[(mode & kHalfPelBits) + (pred != nullptr ? 1 : 0)](ref, refStep, cur, curStep, diff, diffStep, pred,
                                                                predStep, rc);
  return StatusOk;
}

}  // namespace

// Each build has a table of its own; V1 and V2 hold the same plain kernels, V3
// and V4 the same SIMD kernels.
const GetDiffKernelTable GetDiffKernels_V1 = kPlainGetDiff;
const GetDiffKernelTable GetDiffKernels_V2 = kPlainGetDiff;
const GetDiffKernelTable GetDiffKernels_V3 = kSimdGetDiff;
const GetDiffKernelTable GetDiffKernels_V4 = kSimdGetDiff;

#define ZENTRA_GETDIFF_BUILD(k)                                                                                \
  PrimitiveStatus ippiGetDiff8x8_8u16s_C1_V##k(const std::uint8_t* cur, std::int32_t curStep,                 \
                                               const std::uint8_t* ref, std::int32_t refStep, std::int16_t* diff, \
                                               std::int32_t diffStep, std::int16_t* pred, std::int32_t predStep,  \
                                               std::int32_t mode, std::int32_t roundControl) {                   \
    return GetDiff(GetDiffKernels_V##k, cur, curStep, ref, refStep, diff, diffStep, pred, predStep, mode,       \
                   roundControl);                                                                              \
  }
ZENTRA_GETDIFF_BUILD(1)
ZENTRA_GETDIFF_BUILD(2)
ZENTRA_GETDIFF_BUILD(3)
ZENTRA_GETDIFF_BUILD(4)
#undef ZENTRA_GETDIFF_BUILD

PrimitiveStatus PredictAddResidual8x8(const std::uint8_t* ref, std::int32_t refStep, const std::int16_t* residual,
                                      std::int32_t resStep, std::uint8_t* dst, std::int32_t dstStep,
                                      std::int32_t mode, std::int32_t roundControl) {
  if (ref == nullptr || residual == nullptr || dst == nullptr) return StatusNullPointer;
  Mc8x8Kernels_V2.oneRef[mode & kHalfPelBits](ref, refStep, residual, resStep, dst, dstStep, roundControl);
  return StatusOk;
}

}  // namespace zentra
