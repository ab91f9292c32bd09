// The radix-4 pass of the double-precision transform and its scaling pass.
#include "fft_pass64f.h"

namespace zentra {

using fft64::Cx;

namespace {

template <typename R>
void ScaleBy(double factor, double* values, std::int32_t count) {
  const R f = factor;
  std::int32_t i = 0;
  for (; i < count - 3; i += 4) {
    values[i] = static_cast<double>(values[i] * f);
    values[i + 1] = static_cast<double>(values[i + 1] * f);
    values[i + 2] = static_cast<double>(values[i + 2] * f);
    values[i + 3] = static_cast<double>(values[i + 3] * f);
  }
  for (; i < count; ++i) values[i] = static_cast<double>(values[i] * f);
}

// Natural-order source to paired work: the first stage gathers group g from
// the positions that bit reversal would bring to 4g .. 4g+3, so no separate
// permutation runs and the source is read whole before the destination is
// written. Group g + N/8 starts one value after group g (g < N/8), so both go
// through the two lanes of one register.
void LoadNaturalStage4(const double* re, const double* im, std::int32_t points,
                       const std::int32_t* indexTable, double* work) {
  const std::int64_t half = points / 2, quarter = points / 4, eighth = points / 8;
  for (std::int64_t g = 0; g < eighth; ++g) {
    const std::int64_t b = indexTable[g] / 2;
    auto at = [&](std::int64_t offset, __m128d& r, __m128d& i) {
      r = _mm_loadu_pd(re + b + offset);
      i = _mm_loadu_pd(im + b + offset);
    };
    __m128d r0, i0, r1, i1, r2, i2, r3, i3;
    at(0, r0, i0);
    at(half, r1, i1);
    at(quarter, r2, i2);
    at(3 * quarter, r3, i3);
    // lane 0 is group g, lane 1 group g + N/8
    const __m128d s01r = _mm_add_pd(r0, r1), d01r = _mm_sub_pd(r0, r1);
    const __m128d s01i = _mm_add_pd(i0, i1), d01i = _mm_sub_pd(i0, i1);
    const __m128d s23r = _mm_add_pd(r2, r3), d23r = _mm_sub_pd(r2, r3);
    const __m128d s23i = _mm_add_pd(i2, i3), d23i = _mm_sub_pd(i2, i3);
    const __m128d y0r = _mm_add_pd(s01r, s23r), y0i = _mm_add_pd(s01i, s23i);
    const __m128d y2r = _mm_sub_pd(s01r, s23r), y2i = _mm_sub_pd(s01i, s23i);
    const __m128d y1r = _mm_sub_pd(d01r, d23i), y1i = _mm_add_pd(d01i, d23r);
    const __m128d y3r = _mm_add_pd(d01r, d23i), y3i = _mm_sub_pd(d01i, d23r);
    double* first = work + 8 * g;
    double* second = work + 8 * (g + eighth);
    _mm_store_pd(first, _mm_unpacklo_pd(y0r, y1r));
    _mm_store_pd(first + 2, _mm_unpacklo_pd(y0i, y1i));
    _mm_store_pd(first + 4, _mm_unpacklo_pd(y2r, y3r));
    _mm_store_pd(first + 6, _mm_unpacklo_pd(y2i, y3i));
    _mm_store_pd(second, _mm_unpackhi_pd(y0r, y1r));
    _mm_store_pd(second + 2, _mm_unpackhi_pd(y0i, y1i));
    _mm_store_pd(second + 4, _mm_unpackhi_pd(y2r, y3r));
    _mm_store_pd(second + 6, _mm_unpackhi_pd(y2i, y3i));
  }
}

void LoadReversedStage4(const double* re, const double* im, std::int32_t points, double* work) {
  for (std::int64_t g = 0; g < points; g += 4) {
    fft64::PairedStage4(work + 2 * g, _mm_loadu_pd(re + g), _mm_loadu_pd(re + g + 2), _mm_loadu_pd(im + g),
                        _mm_loadu_pd(im + g + 2));
  }
}

template <int Build>
void PairedPass(const double* srcRe, const double* srcIm, double* dstRe, double* dstIm,
                std::int32_t points, const double* radixTwiddles, const std::int32_t* indexTable,
                double* work) {
  LoadNaturalStage4(srcRe, srcIm, points, indexTable, work);
  fft64::PairedStages<fft64::PairedConsts<Build>>(work, points, radixTwiddles);
  fft64::StorePaired(work, dstRe, dstIm, points);
}

template <int Build>
void PairedBlockPass(double* re, double* im, std::int32_t points, const double* radixTwiddles, double* work) {
  LoadReversedStage4(re, im, points, work);
  fft64::PairedStages<fft64::PairedConsts<Build>>(work, points, radixTwiddles);
  fft64::StorePaired(work, re, im, points);
}

}  // namespace

void Scale64f_V1(double factor, double* values, std::int32_t count) {
  ScaleBy<long double>(factor, values, count);
}
void Scale64f_V3(double factor, double* values, std::int32_t count) { ScaleBy<double>(factor, values, count); }
void Scale64f_V4(double factor, double* values, std::int32_t count) { ScaleBy<double>(factor, values, count); }

void Radix4Pass64f_V1(double* re, double* im, std::int32_t points, const double* radixTwiddles) {
  fft64::StagesRadix2Last<long double>(fft64::SplitData<long double>{re, im}, points, radixTwiddles);
}

void Radix4Pass64f_V2(double* re, double* im, std::int32_t points, const double* radixTwiddles) {
  fft64::StagesRadix2Second<long double>(fft64::SplitData<long double>{re, im}, points, radixTwiddles);
}

void Radix4Pass64f_V3(const double* srcRe, const double* srcIm, double* dstRe, double* dstIm,
                      std::int32_t points, const double* radixTwiddles,
                      const std::int32_t* indexTable, double* work) {
  PairedPass<3>(srcRe, srcIm, dstRe, dstIm, points, radixTwiddles, indexTable, work);
}

void Radix4Pass64f_V4(const double* srcRe, const double* srcIm, double* dstRe, double* dstIm,
                      std::int32_t points, const double* radixTwiddles,
                      const std::int32_t* indexTable, double* work) {
  PairedPass<4>(srcRe, srcIm, dstRe, dstIm, points, radixTwiddles, indexTable, work);
}

void Radix4BlockPass64f_V3(double* re, double* im, std::int32_t points, const double* radixTwiddles,
                           double* work) {
  PairedBlockPass<3>(re, im, points, radixTwiddles, work);
}

void Radix4BlockPass64f_V4(double* re, double* im, std::int32_t points, const double* radixTwiddles,
                           double* work) {
  PairedBlockPass<4>(re, im, points, radixTwiddles, work);
}

}  // namespace zentra
