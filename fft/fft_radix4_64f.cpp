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
// permutation runs and the source is read whole before the destination is written.
void LoadNaturalStage4(const double* re, const double* im, std::int32_t points,
                       const std::int32_t* indexTable, double* work) {
  const std::int64_t half = points / 2, quarter = points / 4;
  for (std::int64_t g = 0; g < quarter; ++g) {
    const std::int64_t b = indexTable[g] / 2;
    fft64::StoreStage4(work + 8 * g, {re[b], im[b]}, {re[b + half], im[b + half]},
                       {re[b + quarter], im[b + quarter]}, {re[b + 3 * quarter], im[b + 3 * quarter]});
  }
}

void LoadReversedStage4(const double* re, const double* im, std::int32_t points, double* work) {
  for (std::int64_t g = 0; g < points; g += 4) {
    fft64::StoreStage4(work + 2 * g, {re[g], im[g]}, {re[g + 1], im[g + 1]}, {re[g + 2], im[g + 2]},
                       {re[g + 3], im[g + 3]});
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
