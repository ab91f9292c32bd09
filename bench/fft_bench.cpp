// The double-precision inverse FFT in each build beside FFTW on the same split
// arrays (guru interface, FFTW_MEASURE plans), timed in one run. At the end the
// ratios ZENTRA time / FFTW time are printed (below 1: ZENTRA faster), from the
// medians when repetitions are asked for.
#include <zentra/fft_primitives.h>
#include <zentra/fft_spec64f.h>

#include "median_reporter.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace zentra;

constexpr int kOrders[] = {6, 10, 16, 20};

struct Signal {
  std::vector<double> re, im;
  explicit Signal(int order) : re(std::size_t{1} << order), im(re.size()) {
    std::mt19937 rng(order);
    std::uniform_real_distribution<double> d(-1, 1);
    for (std::size_t i = 0; i < re.size(); ++i) re[i] = d(rng), im[i] = d(rng);
  }
};

void Zentra(benchmark::State& state, std::int32_t build, int order) {
  const std::int32_t saved = CpuDispatchIndex;
  CpuDispatchIndex = build;
  FftSpec64f* spec = nullptr;
  if (ippsFFTInitAlloc_C_64f(&spec, order, 8, 0) != StatusOk) {
    state.SkipWithError("no record");
    CpuDispatchIndex = saved;
    return;
  }
  const Signal x(order);
  Signal y(order);
  std::vector<std::uint8_t> work(spec->workBytes > 0 ? spec->workBytes : 1);
  for (auto _ : state) {
    ippsFFTInv_CToC_64f(x.re.data(), x.im.data(), y.re.data(), y.im.data(), spec, work.data());
    benchmark::DoNotOptimize(y.re.data());
  }
  ippsFFTFree_C_64f(spec);
  CpuDispatchIndex = saved;
}

// FFTW's split-array transform computes the inverse with real and imaginary
// arrays exchanged.
void Fftw(benchmark::State& state, int order) {
  const int n = 1 << order;
  double* in = fftw_alloc_real(2 * n);
  double* out = fftw_alloc_real(2 * n);
  fftw_iodim dim = {n, 1, 1};
  fftw_plan plan = fftw_plan_guru_split_dft(1, &dim, 0, nullptr, in + n, in, out + n, out, FFTW_MEASURE);
  const Signal x(order);
  std::copy(x.re.begin(), x.re.end(), in);
  std::copy(x.im.begin(), x.im.end(), in + n);
  for (auto _ : state) {
    fftw_execute_split_dft(plan, in + n, in, out + n, out);
    benchmark::DoNotOptimize(out);
  }
  fftw_destroy_plan(plan);
  fftw_free(in);
  fftw_free(out);
}

class RatioReporter : public MedianReporter {
 public:
  void PrintRatios() const {
    std::printf("\ntime ratio (ZENTRA / FFTW; below 1: ZENTRA faster)\n  order");
    for (int b = 1; b <= 4; ++b) std::printf("      V%d", b);
    std::printf("\n");
    for (int order : kOrders) {
      const double fftw = Time("Fftw/" + std::to_string(order));
      std::printf("  %5d", order);
      for (int b = 1; b <= 4; ++b) {
        const double z = Time("Zentra/V" + std::to_string(b) + "/" + std::to_string(order));
        if (z > 0 && fftw > 0) std::printf("  %6.2f", z / fftw);
        else std::printf("       -");
      }
      std::printf("\n");
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  for (int order : kOrders) {
    benchmark::RegisterBenchmark(("Fftw/" + std::to_string(order)).c_str(), &Fftw, order);
    for (std::int32_t b = 1; b <= 4; ++b) {
      benchmark::RegisterBenchmark(("Zentra/V" + std::to_string(b) + "/" + std::to_string(order)).c_str(),
                                   &Zentra, b, order);
    }
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
