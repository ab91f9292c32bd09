// The single-precision engine (1-D) and the image transform (2-D) in each build
// beside FFTW's single-precision transform (FFTW_MEASURE plans) in one run; at
// the end the ratios ZENTRA time / FFTW time are printed (below 1: ZENTRA
// faster), from the medians when repetitions are asked for.
#include <zentra/fft_primitives.h>
#include <zentra/fft_spec32fc.h>

#include "median_reporter.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace zentra;

constexpr int kOrders1D[] = {10, 16, 20};
constexpr int kOrders2D[] = {8, 9, 10};  // square images of 2^k by 2^k

using Inv1DFn = PrimitiveStatus (*)(const float*, float*, const FftSpec32fc*, std::uint8_t*);
using InitSpecFn = PrimitiveStatus (*)(FftSpec32fc**, std::int32_t, std::int32_t, std::int32_t);
const Inv1DFn kInv1D[] = {nullptr, FftInv1D32fc_V1, FftInv1D32fc_V2, FftInv1D32fc_V3, FftInv1D32fc_V4};
const InitSpecFn kInitSpec[] = {nullptr, FftInitSpec32fc_V1, FftInitSpec32fc_V2, FftInitSpec32fc_V3,
                                FftInitSpec32fc_V4};

std::vector<float> Signal(std::size_t points) {
  std::vector<float> v(2 * points);
  std::mt19937 rng(static_cast<unsigned>(points));
  std::uniform_real_distribution<float> d(-1, 1);
  for (float& f : v) f = d(rng);
  return v;
}

void Zentra1D(benchmark::State& state, std::int32_t build, int order) {
  FftSpec32fc* record = nullptr;
  if (kInitSpec[build](&record, order, 8, 0) != StatusOk) {
    state.SkipWithError("no record");
    return;
  }
  const std::vector<float> x = Signal(std::size_t{1} << order);
  std::vector<float> y(x.size());
  std::vector<std::uint8_t> work(record->workBytes > 0 ? record->workBytes : 1);
  for (auto _ : state) {
    kInv1D[build](x.data(), y.data(), record, work.data());
    benchmark::DoNotOptimize(y.data());
  }
  FftSpecFree32fc(record);
}

void Zentra2D(benchmark::State& state, std::int32_t build, int order) {
  const std::int32_t saved = CpuDispatchIndex;
  CpuDispatchIndex = build;
  FftSpec2D32fc* record = nullptr;
  if (ippiFFTInitAlloc_C_32fc(&record, order, order, 8, 0) == StatusOk) {
    const std::size_t side = std::size_t{1} << order;
    const std::vector<float> x = Signal(side * side);
    std::vector<float> y(x.size());
    std::vector<std::uint8_t> work(record->workBytes);
    const auto step = static_cast<std::int32_t>(8 * side);
    for (auto _ : state) {
      ippiFFTInv_CToC_32fc_C1R(reinterpret_cast<const Complex32fc*>(x.data()), step,
                               reinterpret_cast<Complex32fc*>(y.data()), step, record, work.data());
      benchmark::DoNotOptimize(y.data());
    }
    ippiFFTFree_C_32fc(record);
  } else {
    state.SkipWithError("no record");
  }
  CpuDispatchIndex = saved;
}

void Fftwf(benchmark::State& state, int rows, int columns) {
  const std::size_t points = std::size_t(rows) * columns;
  auto* in = fftwf_alloc_complex(points);
  auto* out = fftwf_alloc_complex(points);
  fftwf_plan plan = rows == 1 ? fftwf_plan_dft_1d(columns, in, out, FFTW_BACKWARD, FFTW_MEASURE)
                              : fftwf_plan_dft_2d(rows, columns, in, out, FFTW_BACKWARD, FFTW_MEASURE);
  const std::vector<float> x = Signal(points);
  std::memcpy(in, x.data(), 4 * x.size());
  for (auto _ : state) {
    fftwf_execute(plan);
    benchmark::DoNotOptimize(out);
  }
  fftwf_destroy_plan(plan);
  fftwf_free(in);
  fftwf_free(out);
}

std::string Label(bool image, int order) {
  return image ? std::to_string(1 << order) + "x" + std::to_string(1 << order) : "order" + std::to_string(order);
}

class RatioReporter : public MedianReporter {
 public:
  void PrintRatios() const {
    std::printf("\ntime ratio (ZENTRA / fftwf; below 1: ZENTRA faster)\n  %-10s", "size");
    for (int b = 1; b <= 4; ++b) std::printf("      V%d", b);
    std::printf("\n");
    for (bool image : {false, true})
      for (int order : image ? kOrders2D : kOrders1D) {
        const double fftw = Time("Fftwf/" + Label(image, order));
        std::printf("  %-10s", Label(image, order).c_str());
        for (int b = 1; b <= 4; ++b) {
          const double z = Time("Zentra/V" + std::to_string(b) + "/" + Label(image, order));
          if (z > 0 && fftw > 0) std::printf("  %6.2f", z / fftw);
          else std::printf("       -");
        }
        std::printf("\n");
      }
  }
};

}  // namespace

int main(int argc, char** argv) {
  for (bool image : {false, true})
    for (int order : image ? kOrders2D : kOrders1D) {
      const std::string label = Label(image, order);
      benchmark::RegisterBenchmark(("Fftwf/" + label).c_str(), &Fftwf, image ? 1 << order : 1, 1 << order);
      for (std::int32_t b = 1; b <= 4; ++b) {
        const std::string name = "Zentra/V" + std::to_string(b) + "/" + label;
        if (image) benchmark::RegisterBenchmark(name.c_str(), &Zentra2D, b, order);
        else benchmark::RegisterBenchmark(name.c_str(), &Zentra1D, b, order);
      }
    }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
