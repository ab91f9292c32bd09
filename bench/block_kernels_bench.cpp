// Block kernels (prediction, residual, motion compensation, inverse quantisation)
// in ns per block: each build beside a plain reference of the same formula and,
// for the pixel kernels, a straightforward SSE2 reference, in one run. At the end
// the ratios are printed: build time / SSE2 reference time and plain time / build
// time, per operation.
#include <zentra/engine_dispatch.h>
#include <zentra/quant_kernels.h>
#include <zentra/residual_kernels.h>
#include <zentra/video_primitives.h>

#include <benchmark/benchmark.h>

#include "run_times_reporter.h"
#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace zentra;

namespace {

constexpr int kStep = 64;

struct Data {
  std::vector<std::uint8_t> f, b, cur, dst;
  std::vector<std::int16_t> res, block;
  Data() : f(kStep * 40), b(kStep * 40), cur(kStep * 40), dst(kStep * 40), res(16 * 16), block(64) {
    std::mt19937 rng(9);
    for (auto* v : {&f, &b, &cur})
      for (auto& x : *v) x = static_cast<std::uint8_t>(rng());
    for (auto& r : res) r = static_cast<std::int16_t>(static_cast<int>(rng() % 200) - 100);
  }
};
Data& D() {
  static Data d;
  return d;
}

// ---- Plain references.

int Exact4(const std::uint8_t* r, int step) { return (r[0] + r[1] + r[step] + r[step + 1] + 2) >> 2; }

void PlainPredict16(const std::uint8_t* ref, std::uint8_t* dst, int step) {
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) dst[y * step + x] = static_cast<std::uint8_t>(Exact4(ref + y * step + x, step));
}
void PlainGetDiff(const std::uint8_t* cur, const std::uint8_t* ref, std::int16_t* diff, int step) {
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) diff[8 * y + x] = static_cast<std::int16_t>(cur[y * step + x] - Exact4(ref + y * step + x, step));
}
template <int size>
void PlainMc(const std::uint8_t* f, const std::uint8_t* b, const std::int16_t* res, std::uint8_t* dst, int step) {
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const int v = (2 * res[y * size + x] + Exact4(f + y * step + x, step) + Exact4(b + y * step + x, step) + 1) >> 1;
      dst[y * step + x] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
    }
}
void PlainQuantInv(std::int16_t* block, int q, const std::int16_t* w) {
  long long sum = 0;
  for (int i = 0; i < 64; ++i) {
    const int v = block[i];
    if (v == 0) continue;
    const long long f = ((2LL * v + (v > 0 ? 1 : -1)) * w[i] * q) / 32;
    block[i] = static_cast<std::int16_t>(std::clamp<long long>(f, -2048, 2047));
    sum += block[i];
  }
  if ((sum & 1) == 0) block[63] ^= 1;
}

// ---- Straightforward SSE2 references (pavgb predictions, 16-bit combine).

inline __m128i L(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i Avg4(const std::uint8_t* r, int step) {
  return _mm_avg_epu8(_mm_avg_epu8(L(r), L(r + 1)), _mm_avg_epu8(L(r + step), L(r + step + 1)));
}
// The exact four-sample average in 16-bit lanes.
void Sse2Predict16(const std::uint8_t* ref, std::uint8_t* dst, int step) {
  const __m128i z = _mm_setzero_si128(), two = _mm_set1_epi16(2);
  for (int y = 0; y < 16; ++y) {
    const std::uint8_t* r = ref + y * step;
    const __m128i a = L(r), b = L(r + 1), c = L(r + step), d = L(r + step + 1);
    __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, z), _mm_unpacklo_epi8(b, z)),
                               _mm_add_epi16(_mm_unpacklo_epi8(c, z), _mm_unpacklo_epi8(d, z)));
    __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, z), _mm_unpackhi_epi8(b, z)),
                               _mm_add_epi16(_mm_unpackhi_epi8(c, z), _mm_unpackhi_epi8(d, z)));
    lo = _mm_srli_epi16(_mm_add_epi16(lo, two), 2);
    hi = _mm_srli_epi16(_mm_add_epi16(hi, two), 2);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + y * step), _mm_packus_epi16(lo, hi));
  }
}
void Sse2GetDiff(const std::uint8_t* cur, const std::uint8_t* ref, std::int16_t* diff, int step) {
  const __m128i z = _mm_setzero_si128();
  for (int y = 0; y < 8; ++y) {
    const __m128i p = _mm_unpacklo_epi8(Avg4(ref + y * step, step), z);
    const __m128i c = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cur + y * step)), z);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(diff + 8 * y), _mm_sub_epi16(c, p));
  }
}
void Sse2Mc16(const std::uint8_t* f, const std::uint8_t* b, const std::int16_t* res, std::uint8_t* dst, int step) {
  const __m128i z = _mm_setzero_si128();
  for (int y = 0; y < 16; ++y) {
    const __m128i pf = Avg4(f + y * step, step), pb = Avg4(b + y * step, step);
    const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(res + 16 * y));
    const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(res + 16 * y + 8));
    __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(pf, z), _mm_unpacklo_epi8(pb, z)), _mm_add_epi16(r0, r0));
    __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(pf, z), _mm_unpackhi_epi8(pb, z)), _mm_add_epi16(r1, r1));
    lo = _mm_avg_epu16(_mm_max_epi16(lo, z), z);
    hi = _mm_avg_epu16(_mm_max_epi16(hi, z), z);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + y * step), _mm_packus_epi16(lo, hi));
  }
}

// ---- Cases: "operation/build".

template <typename Fn>
void Run(benchmark::State& state, Fn fn) {
  for (auto _ : state) {
    fn();
    benchmark::ClobberMemory();
  }
}

void Register() {
  Data& d = D();
  auto* f = d.f.data() + kStep + 3;
  auto* b = d.b.data() + kStep + 5;
  auto* cur = d.cur.data();
  auto* dst = d.dst.data();
  auto* res = d.res.data();
  std::int16_t* diff = d.block.data();
  auto add = [](const std::string& name, auto fn) {
    benchmark::RegisterBenchmark(name.c_str(), [fn](benchmark::State& s) { Run(s, fn); });
  };

  add("Predict16x16/plain", [=] { PlainPredict16(f, dst, kStep); });
  add("Predict16x16/sse2ref", [=] { Sse2Predict16(f, dst, kStep); });
  add("Predict16x16/running", [=] { Predict16x16(f, dst, kStep, 12); });

  add("GetDiff8x8/plain", [=] { PlainGetDiff(cur, f, diff, kStep); });
  add("GetDiff8x8/sse2ref", [=] { Sse2GetDiff(cur, f, diff, kStep); });
  add("GetDiff8x8/V1", [=] { ippiGetDiff8x8_8u16s_C1_V1(cur, kStep, f, kStep, diff, 16, nullptr, 0, 12, 0); });
  add("GetDiff8x8/V3", [=] { ippiGetDiff8x8_8u16s_C1_V3(cur, kStep, f, kStep, diff, 16, nullptr, 0, 12, 0); });

  add("MC16x16B/plain", [=] { PlainMc<16>(f, b, res, dst, kStep); });
  add("MC16x16B/sse2ref", [=] { Sse2Mc16(f, b, res, dst, kStep); });
  add("MC16x16B/V1", [=] { ippiMC16x16B_8u_C1_V1(f, kStep, 12, b, kStep, 12, res, 32, dst, kStep, 0); });
  add("MC16x16B/V2", [=] { ippiMC16x16B_8u_C1_V2(f, kStep, 12, b, kStep, 12, res, 32, dst, kStep, 0); });
  add("MC16x16B/V3", [=] { ippiMC16x16B_8u_C1_V3(f, kStep, 12, b, kStep, 12, res, 32, dst, kStep, 0); });

  add("MC8x8B/plain", [=] { PlainMc<8>(f, b, res, dst, kStep); });
  add("MC8x8B/V1", [=] { ippiMC8x8B_8u_C1_V1(f, kStep, 12, b, kStep, 12, res, 16, dst, kStep, 0); });
  add("MC8x8B/V2", [=] { ippiMC8x8B_8u_C1_V2(f, kStep, 12, b, kStep, 12, res, 16, dst, kStep, 0); });

  static std::int16_t levels[64], source[64];
  for (int i = 0; i < 64; ++i) source[i] = static_cast<std::int16_t>((i * 37) % 41 - 20);
  auto fill = [] { std::copy(source, source + 64, levels); };
  add("QuantInvMpeg2/plain", [=] { fill(); PlainQuantInv(levels, 9, DefaultNonIntraMatrix); });
  add("QuantInvMpeg2/V1", [=] { fill(); ippiQuantInv_MPEG2_16s_C1I_V1(levels, 9, DefaultNonIntraMatrix); });
  add("QuantInvMpeg2/V3", [=] { fill(); ippiQuantInv_MPEG2_16s_C1I_V3(levels, 9, DefaultNonIntraMatrix); });
  add("QuantInvInterMpeg2/running", [=] { fill(); QuantInvInterMpeg2(levels, 9); });
  add("QuantInvInterMpeg2/plain", [=] { fill(); QuantInvInterMpeg2_C(levels, 9); });
}

// Prints, after the run, each build's ratios against the references of its operation.
void PrintRatios(const std::map<std::string, double>& times) {
  std::printf("\nratios per operation: build / sse2ref (goal <= 1.5), plain / build (goal >= 4)\n");
  for (const auto& [name, t] : times) {
    const auto slash = name.find('/');
    const std::string op = name.substr(0, slash), build = name.substr(slash + 1);
    if (build == "plain" || build == "sse2ref") continue;
    const auto plain = times.find(op + "/plain");
    const auto ref = times.find(op + "/sse2ref");
    std::printf("  %-30s", name.c_str());
    if (ref != times.end()) std::printf("  vs sse2ref %5.2f", t / ref->second);
    if (plain != times.end()) std::printf("  plain speed-up %6.2f", plain->second / t);
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Register();
  RunTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter.seconds);
  benchmark::Shutdown();
  return 0;
}
