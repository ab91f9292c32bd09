// Prediction and block transfer: every build side by side and their tables.
#include "half_pel_rows.h"

#include <zentra/engine_dispatch.h>
#include <zentra/residual_kernels.h>
#include <zentra/video_blocks.h>
#include <zentra/video_primitives.h>

#include <emmintrin.h>

#include <cstdint>

namespace zentra {

namespace {

// Writes the prediction of a width x height block row by row with the row form
// `Row` (exact or rounding-up averages).
template <int width, template <int, int> class Row>
void PredictRows(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode) {
  rows::ForMode(rows::PredictionMode(mode), [&]<int m>() {
    for (int y = 0; y < width; ++y) rows::Store<width>(dst + y * step, Row<width, m>::Get(ref + y * step, step));
  });
}

template <int width, int mode>
struct Exact {
  static __m128i Get(const std::uint8_t* r, std::ptrdiff_t step) { return rows::ExactRow<width, mode>(r, step); }
};
template <int width, int mode>
struct AverageUpForm {
  static __m128i Get(const std::uint8_t* r, std::ptrdiff_t step) { return rows::AverageUpRow<width, mode>(r, step); }
};

template <int width>
void AverageBlock(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode) {
  rows::ForMode(rows::PredictionMode(mode), [&]<int m>() {
    for (int y = 0; y < width; ++y) {
      std::uint8_t* d = dst + y * step;
      rows::Store<width>(d, _mm_avg_epu8(rows::Load<width>(d), rows::ExactRow<width, m>(ref + y * step, step)));
    }
  });
}

}  // namespace

void PredictBlock_C(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t width,
                    std::int32_t height, std::int32_t mode) {
  const std::int32_t m = rows::PredictionMode(mode);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x)
      dst[y * step + x] = static_cast<std::uint8_t>(rows::ExactSample(ref + y * step + x, step, m, 0));
}

void PredictBlockAverage_C(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t width,
                           std::int32_t height, std::int32_t mode) {
  const std::int32_t m = rows::PredictionMode(mode);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t& d = dst[y * step + x];
      d = static_cast<std::uint8_t>(AverageUp(d, rows::ExactSample(ref + y * step + x, step, m, 0)));
    }
}

void AverageBlock8x8_Mmx(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode) {
  AverageBlock<8>(ref, dst, step, mode);
}
void AverageBlock16x16_Mmx(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode) {
  AverageBlock<16>(ref, dst, step, mode);
}

void Predict8x8_C(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode) {
  PredictBlock_C(ref, dst, step, 8, 8, mode);
}
void Predict8x8_Mmx(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode) {
  PredictRows<8, Exact>(ref, dst, step, mode);
}
void Predict8x8_MmxExt(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode) {
  PredictRows<8, AverageUpForm>(ref, dst, step, mode);
}
void Predict16x16_C(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode) {
  PredictBlock_C(ref, dst, step, 16, 16, mode);
}
void Predict16x16_Mmx(const std::uint8_t* ref, std::uint8_t* dst, std::int32_t step, std::int32_t mode) {
  PredictRows<16, Exact>(ref, dst, step, mode);
}

void PredictBidir8x8_C(const std::uint8_t* fwdRef, const std::uint8_t* bwdRef, std::uint8_t* dst,
                       std::int32_t step, std::int32_t fwdMode, std::int32_t bwdMode) {
  PredictBlock_C(fwdRef, dst, step, 8, 8, fwdMode);
  PredictBlockAverage_C(bwdRef, dst, step, 8, 8, bwdMode);
}
void PredictBidir8x8_Mmx(const std::uint8_t* fwdRef, const std::uint8_t* bwdRef, std::uint8_t* dst,
                         std::int32_t step, std::int32_t fwdMode, std::int32_t bwdMode) {
  Predict8x8(fwdRef, dst, step, fwdMode);
  AverageBlock8x8_Mmx(bwdRef, dst, step, bwdMode);
}
void PredictBidir16x16_C(const std::uint8_t* fwdRef, const std::uint8_t* bwdRef, std::uint8_t* dst,
                         std::int32_t step, std::int32_t fwdMode, std::int32_t bwdMode) {
  PredictBlock_C(fwdRef, dst, step, 16, 16, fwdMode);
  PredictBlockAverage_C(bwdRef, dst, step, 16, 16, bwdMode);
}
void PredictBidir16x16_Mmx(const std::uint8_t* fwdRef, const std::uint8_t* bwdRef, std::uint8_t* dst,
                           std::int32_t step, std::int32_t fwdMode, std::int32_t bwdMode) {
  Predict16x16(fwdRef, dst, step, fwdMode);
  AverageBlock16x16_Mmx(bwdRef, dst, step, bwdMode);
}

void DiffBlock8x8_Ipp(const std::uint8_t* pred, const std::uint8_t* cur, std::int32_t step, std::int16_t* diff) {
  ippiGetDiff8x8_8u16s_C1(cur, step, pred, step, diff, kCoefBlockStep, nullptr, 0, kHalfPelFull, 0);
}
void DiffBlock8x8_Mmx(const std::uint8_t* pred, const std::uint8_t* cur, std::int32_t step, std::int16_t* diff) {
  const __m128i zero = _mm_setzero_si128();
  for (int y = 0; y < 8; ++y) {
    const __m128i c = _mm_unpacklo_epi8(rows::Load<8>(cur + y * step), zero);
    const __m128i p = _mm_unpacklo_epi8(rows::Load<8>(pred + y * step), zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(diff + 8 * y), _mm_sub_epi16(c, p));
  }
}
void DiffBlock8x8_C(const std::uint8_t* pred, const std::uint8_t* cur, std::int32_t step, std::int16_t* diff) {
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) diff[8 * y + x] = static_cast<std::int16_t>(cur[y * step + x] - pred[y * step + x]);
}

void ReconstructBlock8x8_Ipp(const std::uint8_t* pred, std::uint8_t* dst, std::int32_t step,
                             const std::int16_t* residual) {
  PredictAddResidual8x8(pred, step, residual, kCoefBlockStep, dst, step, kHalfPelFull, 0);
}
void ReconstructBlock8x8_Mmx(const std::uint8_t* pred, std::uint8_t* dst, std::int32_t step,
                             const std::int16_t* residual) {
  const __m128i zero = _mm_setzero_si128();
  for (int y = 0; y < 8; ++y) {
    const __m128i p = _mm_unpacklo_epi8(rows::Load<8>(pred + y * step), zero);
    const __m128i sum = _mm_add_epi16(p, rows::Load16s(residual + 8 * y));  // wraps in 16 bits
    rows::Store<8>(dst + y * step, _mm_packus_epi16(sum, sum));
  }
}
void ReconstructBlock8x8_C(const std::uint8_t* pred, std::uint8_t* dst, std::int32_t step,
                           const std::int16_t* residual) {
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) dst[y * step + x] = SaturateU8(pred[y * step + x] + residual[8 * y + x]);
}

void GetBlock8x8_Mmx(const std::uint8_t* src, std::int32_t step, std::int16_t* dst) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i shift = _mm_set1_epi16(128);
  for (int y = 0; y < 8; ++y) {
    const __m128i s = _mm_unpacklo_epi8(rows::Load<8>(src + y * step), zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8 * y), _mm_sub_epi16(s, shift));
  }
}
void GetBlock8x8_C(const std::uint8_t* src, std::int32_t step, std::int16_t* dst) {
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) dst[8 * y + x] = static_cast<std::int16_t>(src[y * step + x] - 128);
}

void PutBlock8x8_Mmx(std::uint8_t* dst, std::int32_t step, const std::int16_t* src) {
  const __m128i shift = _mm_set1_epi16(128);
  for (int y = 0; y < 8; ++y) {
    const __m128i v = _mm_add_epi16(rows::Load16s(src + 8 * y), shift);  // wraps in 16 bits
    rows::Store<8>(dst + y * step, _mm_packus_epi16(v, v));
  }
}
void PutBlock8x8_C(std::uint8_t* dst, std::int32_t step, const std::int16_t* src) {
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) dst[y * step + x] = SaturateU8(src[8 * y + x] + 128);
}

// ---- Tables.

ZENTRA_ENGINE_TABLE(ReconstructBlock8x8, &ReconstructBlock8x8_Ipp, &ReconstructBlock8x8_Mmx,
                    &ReconstructBlock8x8_C, &ReconstructBlock8x8_Mmx);
ZENTRA_ENGINE_TABLE(DiffBlock8x8, &DiffBlock8x8_Ipp, &DiffBlock8x8_Mmx, &DiffBlock8x8_Mmx, &DiffBlock8x8_Mmx,
                    &DiffBlock8x8_C);
ZENTRA_ENGINE_TABLE(GetBlock8x8, &GetBlock8x8_C, &GetBlock8x8_Mmx, &GetBlock8x8_C, &GetBlock8x8_Mmx,
                    &GetBlock8x8_C);
ZENTRA_ENGINE_TABLE(PutBlock8x8, &PutBlock8x8_C, &PutBlock8x8_Mmx, &PutBlock8x8_C, &PutBlock8x8_Mmx,
                    &PutBlock8x8_C);
ZENTRA_ENGINE_TABLE(Predict8x8, &Predict8x8_C, &Predict8x8_Mmx, &Predict8x8_MmxExt, &Predict8x8_Mmx,
                    &Predict8x8_Mmx);
ZENTRA_ENGINE_TABLE(Predict16x16, &Predict16x16_C, &Predict16x16_Mmx, &Predict16x16_Mmx, &Predict16x16_Mmx,
                    &Predict16x16_Mmx);
ZENTRA_ENGINE_TABLE(PredictBidir8x8, &PredictBidir8x8_C, &PredictBidir8x8_Mmx, &PredictBidir8x8_C,
                    &PredictBidir8x8_C, &PredictBidir8x8_C);
ZENTRA_ENGINE_TABLE(PredictBidir16x16, &PredictBidir16x16_C, &PredictBidir16x16_Mmx, &PredictBidir16x16_C,
                    &PredictBidir16x16_C, &PredictBidir16x16_C);

}  // namespace zentra
