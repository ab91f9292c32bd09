// The transform step of the psychoacoustic model: a 1024-point fast Hartley
// transform and the energy and phase of each spectral line.
#include <zentra/statistics_kernels.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <utility>

namespace zentra {

namespace {

constexpr int kFhtSize = 1024;

constexpr int Reverse10(int i) {
  int r = 0;
  for (int b = 0; b < 10; ++b) r |= ((i >> b) & 1) << (9 - b);
  return r;
}

// The index pairs that the bit reversal swaps, each once.
constexpr auto MakeSwapPairs() {
  std::array<std::pair<std::uint16_t, std::uint16_t>, 496> pairs{};
  int n = 0;
  for (int i = 0; i < kFhtSize; ++i) {
    const int j = Reverse10(i);
    if (i < j) pairs[n++] = {static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(j)};
  }
  return pairs;
}
constexpr auto kSwapPairs = MakeSwapPairs();

// cos and sin of pi / 2^(n+1), n = 0..9.
const std::array<double, 10> kCosTable = [] {
  std::array<double, 10> t{};
  for (int n = 0; n < 10; ++n) t[n] = std::cos(M_PI / std::ldexp(1.0, n + 1));
  return t;
}();
const std::array<double, 10> kSinTable = [] {
  std::array<double, 10> t{};
  for (int n = 0; n < 10; ++n) t[n] = std::sin(M_PI / std::ldexp(1.0, n + 1));
  return t;
}();

constexpr double kSqrt2 = 1.4142135623730951;

}  // namespace

void Fht1024(double* x) {
  for (const auto& [i, j] : kSwapPairs) std::swap(x[i], x[j]);
  for (int g = 0; g < kFhtSize; g += 4) {
    const double e = x[g] + x[g + 1], f = x[g + 2] + x[g + 3];
    const double gg = x[g] - x[g + 1], h = x[g + 2] - x[g + 3];
    x[g] = e + f;
    x[g + 1] = gg + h;
    x[g + 2] = e - f;
    x[g + 3] = gg - h;
  }
  for (int stage = 0, q = 4; q <= 256; ++stage, q *= 4) {
    const int k = q / 2;
    for (int F = 0; F < kFhtSize; F += 4 * q) {
      const double f0 = x[F] + x[F + q], f1 = x[F] - x[F + q];
      const double f2 = x[F + 2 * q] + x[F + 3 * q], f3 = x[F + 2 * q] - x[F + 3 * q];
      x[F] = f0 + f2;
      x[F + 2 * q] = f0 - f2;
      x[F + q] = f1 + f3;
      x[F + 3 * q] = f1 - f3;
      const int G = F + k;
      const double g0 = x[G] + x[G + q], g1 = x[G] - x[G + q];
      const double g2 = kSqrt2 * x[G + 2 * q], g3 = kSqrt2 * x[G + 3 * q];
      x[G] = g0 + g2;
      x[G + 2 * q] = g0 - g2;
      x[G + q] = g1 + g3;
      x[G + 3 * q] = g1 - g3;
    }
    const double c = kCosTable[2 + 2 * stage], s = kSinTable[2 + 2 * stage];
    double c1 = 1.0, s1 = 0.0;
    for (int i = 1; i < k; ++i) {
      const double t = c1;
      c1 = t * c - s1 * s;
      s1 = t * s + s1 * c;
      const double c2 = c1 * c1 - s1 * s1, s2 = 2.0 * c1 * s1;
      for (int F = 0; F < kFhtSize; F += 4 * q) {
        const int Pi = F + i, Qi = F + q - i;
        double a = c2 * x[Pi + q] + s2 * x[Qi + q];
        double b = s2 * x[Pi + q] - c2 * x[Qi + q];
        const double f0 = x[Pi] + a, f1 = x[Pi] - a, g0 = x[Qi] + b, g1 = x[Qi] - b;
        a = c2 * x[Pi + 3 * q] + s2 * x[Qi + 3 * q];
        b = s2 * x[Pi + 3 * q] - c2 * x[Qi + 3 * q];
        const double f2 = x[Pi + 2 * q] + a, f3 = x[Pi + 2 * q] - a;
        const double g2 = x[Qi + 2 * q] + b, g3 = x[Qi + 2 * q] - b;
        a = c1 * f2 + s1 * g3;
        b = s1 * f2 - c1 * g3;
        x[Pi] = f0 + a;
        x[Pi + 2 * q] = f0 - a;
        x[Qi + q] = g1 + b;
        x[Qi + 3 * q] = g1 - b;
        a = s1 * g2 + c1 * f3;
        b = c1 * g2 - s1 * f3;
        x[Qi] = g0 + a;
        x[Qi + 2 * q] = g0 - a;
        x[Pi + q] = f1 + b;
        x[Pi + 3 * q] = f1 - b;
      }
    }
  }
}

// phase[0] is left as the caller had it.
void PsychoEnergyPhase(double* x, double* energy, double* phase) {
  Fht1024(x);
  energy[0] = x[0] * x[0];
  for (int k = 1; k < 512; ++k) {
    const double e = (x[k] * x[k] + x[kFhtSize - k] * x[kFhtSize - k]) * 0.5;
    if (e < 0.0005) {
      energy[k] = 0.0005;
      phase[k] = 0.0;
    } else {
      energy[k] = e;
      phase[k] = std::atan2(-x[k], x[kFhtSize - k]) + 0.7853981634;
    }
  }
  energy[512] = x[512] * x[512];
  phase[512] = std::atan2(0.0, x[512]);
  for (int i = 0; i <= 510; ++i) {
    energy[513 + i] = energy[511 - i];
    phase[513 + i] = -phase[511 - i];
  }
}

void PsychoAcousticFft_C(double* x, double* energy, double* phase) { PsychoEnergyPhase(x, energy, phase); }

ZENTRA_ENGINE_TABLE_ONE_BUILD(PsychoAcousticFft, PsychoAcousticFft_C);

}  // namespace zentra
