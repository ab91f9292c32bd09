// Helpers of the transform tests: the build under test, random signals, a
// long-double reference inverse DFT and error measures.
#pragma once

#include <zentra/primitive_runtime.h>

#include <support/kernel_test.h>

#include <fftw3.h>
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace zentra_test {

using LongComplex = std::complex<long double>;

// Runs the named primitives' build `build` for one scope, as the processor
// set-up would select it.
class ForcedBuild {
 public:
  explicit ForcedBuild(std::int32_t build) : saved_(zentra::CpuDispatchIndex) { zentra::CpuDispatchIndex = build; }
  ~ForcedBuild() { zentra::CpuDispatchIndex = saved_; }
  ForcedBuild(const ForcedBuild&) = delete;
  ForcedBuild& operator=(const ForcedBuild&) = delete;

 private:
  std::int32_t saved_;
};

// A build of the transform primitives as a test parameter: `fn` is the
// CpuDispatchIndex that selects it; every test of the suite runs in that build.
using FftBuild = Build<std::int32_t>;
inline const FftBuild kFftBuilds[] = {
    {"V1", 1, Isa::Plain}, {"V2", 2, Isa::Plain}, {"V3", 3, Isa::Sse2}, {"V4", 4, Isa::Sse2}};

class FftBuildTest : public BuildTest<FftBuild> {
 protected:
  std::int32_t index() const { return GetParam().fn; }

 private:
  ForcedBuild forced_{GetParam().fn};
};

// A complex signal held as split arrays, as the double-precision family takes it.
struct SplitSignal {
  std::vector<double> re, im;
  explicit SplitSignal(std::size_t n = 0) : re(n), im(n) {}
  std::size_t size() const { return re.size(); }
};

// Uniform values in [-1, 1) with some exact edge values mixed in.
inline SplitSignal RandomSignal(std::size_t n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  SplitSignal s(n);
  for (std::size_t i = 0; i < n; ++i) s.re[i] = dist(rng), s.im[i] = dist(rng);
  if (n >= 4) s.re[1] = 0.0, s.im[2] = -1.0, s.re[3] = 1.0;
  return s;
}

// X[k] = sum x[j] e^(+2 pi i jk/N) in long double: direct for small N, FFTW's
// long-double transform (backward sense, no scaling) above.
inline std::vector<LongComplex> ReferenceInverseDft(const SplitSignal& x) {
  const std::size_t n = x.size();
  std::vector<LongComplex> out(n);
  if (n <= 1024) {
    const long double pi2 = 6.283185307179586476925286766559L;
    std::vector<LongComplex> w(n);
    for (std::size_t m = 0; m < n; ++m) w[m] = std::polar(1.0L, pi2 * m / n);
    for (std::size_t k = 0; k < n; ++k) {
      LongComplex sum = 0;
      for (std::size_t j = 0; j < n; ++j) sum += LongComplex(x.re[j], x.im[j]) * w[(j * k) % n];
      out[k] = sum;
    }
    return out;
  }
  auto* buf = static_cast<fftwl_complex*>(fftwl_malloc(sizeof(fftwl_complex) * n));
  fftwl_plan plan = fftwl_plan_dft_1d(static_cast<int>(n), buf, buf, FFTW_BACKWARD, FFTW_ESTIMATE);
  for (std::size_t j = 0; j < n; ++j) buf[j][0] = x.re[j], buf[j][1] = x.im[j];
  fftwl_execute(plan);
  for (std::size_t k = 0; k < n; ++k) out[k] = {buf[k][0], buf[k][1]};
  fftwl_destroy_plan(plan);
  fftwl_free(buf);
  return out;
}

// sqrt(sum |y - ref|^2 / sum |ref|^2), ref scaled by `scale`.
inline double RelativeRmsError(const SplitSignal& y, const std::vector<LongComplex>& ref, long double scale = 1) {
  long double err = 0, norm = 0;
  for (std::size_t k = 0; k < ref.size(); ++k) {
    const LongComplex r = ref[k] * scale;
    err += std::norm(LongComplex(y.re[k], y.im[k]) - r);
    norm += std::norm(r);
  }
  return norm == 0 ? std::sqrt(static_cast<double>(err)) : std::sqrt(static_cast<double>(err / norm));
}

inline double RelativeRmsDifference(const SplitSignal& a, const SplitSignal& b) {
  std::vector<LongComplex> ref(b.size());
  for (std::size_t k = 0; k < b.size(); ++k) ref[k] = {b.re[k], b.im[k]};
  return RelativeRmsError(a, ref);
}

}  // namespace zentra_test
