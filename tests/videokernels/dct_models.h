// Plain models of the 8x8 transforms: the fixed-point kernels' formulas one
// value at a time, and long-double reference transforms.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <random>

namespace zentra_test {

using Block = std::array<std::int16_t, 64>;

// ---- Lane arithmetic of the fixed-point kernels, one value at a time.

inline int Sat16(std::int64_t v) { return v < -32768 ? -32768 : v > 32767 ? 32767 : static_cast<int>(v); }
inline int AddS(int a, int b) { return Sat16(std::int64_t{a} + b); }
inline int SubS(int a, int b) { return Sat16(std::int64_t{a} - b); }
inline int HiM(int x, int m) { return (x * m) >> 16; }
inline int Shl16(int x, int n) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(x << n)); }

// The coefficient matrices, computed here from their definition.
struct CoefficientTable {
  int m[4][8][8];
  CoefficientTable() {
    for (int cls = 0; cls < 4; ++cls)
      for (int k = 0; k < 8; ++k)
        for (int n = 0; n < 8; ++n) {
          const double s = cls == 0 ? 1.0 : std::sqrt(2.0) * std::cos(cls * M_PI / 16.0);
          const double c = k == 0 ? 1.0 : std::sqrt(2.0) * std::cos((2 * n + 1) * k * M_PI / 16.0);
          m[cls][k][n] = static_cast<int>(std::lround(16384.0 * s * c));
        }
  }
};
inline int Coefficient(int cls, int k, int n) {
  static const CoefficientTable table;
  return table.m[cls][k][n];
}
inline constexpr int kClass[8] = {0, 1, 2, 3, 0, 3, 2, 1};
inline constexpr int kRounder[8] = {65536, 5802, 4520, 3408, 2048, 910, 1024, 746};

// Forward transform from its formulas; the row sums are exact (the kernel keeps
// them from wrapping), then narrowed with saturation.
inline Block ModelForward(const Block& in) {
  int t[8][8];
  for (int c = 0; c < 8; ++c) {
    int x[8];
    for (int i = 0; i < 8; ++i) x[i] = in[8 * i + c];
    const int t0 = Shl16(AddS(x[0], x[7]), 3), t1 = Shl16(AddS(x[1], x[6]), 3);
    const int t2 = Shl16(AddS(x[2], x[5]), 3), t3 = Shl16(AddS(x[3], x[4]), 3);
    const int d0 = Shl16(SubS(x[0], x[7]), 3), d3 = Shl16(SubS(x[3], x[4]), 3);
    const int d1 = Shl16(SubS(x[1], x[6]), 4), d2 = Shl16(SubS(x[2], x[5]), 4);
    t[0][c] = AddS(AddS(t0, t3), AddS(t1, t2));
    t[4][c] = SubS(AddS(t0, t3), AddS(t1, t2));
    t[2][c] = AddS(SubS(t0, t3), HiM(SubS(t1, t2), 27146)) | 1;
    t[6][c] = SubS(HiM(SubS(t0, t3), 27146), SubS(t1, t2)) | 1;
    const int p = HiM(AddS(d1, d2), 23170) | 1, q = HiM(SubS(d1, d2), 23170);
    const int m = AddS(d3, q), n = SubS(d3, q), s = AddS(d0, p), r = SubS(d0, p);
    t[1][c] = AddS(HiM(m, 13036), s) | 1;
    t[7][c] = SubS(HiM(s, 13036), m);
    t[3][c] = SubS(r, AddS(HiM(n, -21746), n));
    t[5][c] = AddS(AddS(HiM(r, -21746), r), n);
  }
  Block out{};
  for (int row = 0; row < 8; ++row) {
    const int* x = t[row];
    for (int k = 0; k < 8; ++k) {
      std::int64_t y = 0;
      for (int i = 0; i < 4; ++i) {
        const int v = (k % 2 == 0) ? AddS(x[i], x[7 - i]) : SubS(x[i], x[7 - i]);
        y += std::int64_t{Coefficient(kClass[row], k, i)} * v;
      }
      out[8 * row + k] = static_cast<std::int16_t>(Sat16((y + 524288) >> 20));
    }
  }
  return out;
}

// Inverse transform from its formulas; its 32-bit row sums wrap as the kernel's do.
inline Block ModelInverse(const Block& in) {
  int X[8][8];
  for (int row = 0; row < 8; ++row) {
    for (int j = 0; j < 4; ++j) {
      std::int64_t e = 0, o = 0;
      for (int k = 0; k < 8; k += 2) e += std::int64_t{Coefficient(kClass[row], k, j)} * in[8 * row + k];
      for (int k = 1; k < 8; k += 2) o += std::int64_t{Coefficient(kClass[row], k, j)} * in[8 * row + k];
      auto wrap = [](std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); };
      X[row][j] = Sat16(wrap(e + kRounder[row] + o) >> 12);
      X[row][7 - j] = Sat16(wrap(e + kRounder[row] - o) >> 12);
    }
  }
  Block out{};
  for (int c = 0; c < 8; ++c) {
    int x[8];
    for (int i = 0; i < 8; ++i) x[i] = X[i][c];
    const int u = AddS(x[3], AddS(HiM(x[5], -21746), x[5]));
    const int v = SubS(x[5], AddS(HiM(x[3], -21746), x[3]));
    const int z = AddS(x[1], HiM(x[7], 13036)), w = SubS(HiM(x[1], 13036), x[7]);
    const int a = AddS(z, u), b = SubS(z, u), cc = SubS(w, v), d = AddS(w, v);
    const int g = AddS(AddS(b, cc), HiM(AddS(b, cc), -19195));
    const int h = AddS(SubS(b, cc), HiM(SubS(b, cc), -19195));
    const int e = AddS(x[2], HiM(x[6], 27146)), f = SubS(HiM(x[2], 27146), x[6]);
    const int e0 = AddS(AddS(x[0], x[4]), e), e3 = SubS(AddS(x[0], x[4]), e);
    const int e1 = AddS(SubS(x[0], x[4]), f), e2 = SubS(SubS(x[0], x[4]), f);
    const int r[8] = {AddS(e0, a), AddS(e1, g), AddS(e2, h), AddS(e3, d),
                      SubS(e3, d), SubS(e2, h), SubS(e1, g), SubS(e0, a)};
    for (int i = 0; i < 8; ++i) out[8 * i + c] = static_cast<std::int16_t>(r[i] >> 5);
  }
  return out;
}

// cos((2x+1)u*pi/16) * C(u) / 2 at [x][u], in long double.
struct CosTable {
  long double c[8][8];
  CosTable() {
    for (int x = 0; x < 8; ++x)
      for (int u = 0; u < 8; ++u) c[x][u] = std::cos((2 * x + 1) * u * M_PIl / 16) * (u == 0 ? 1 / std::sqrt(2.0L) : 1) / 2;
  }
};
inline const CosTable kCos;

// Double-precision DCT of the standard's normalisation.
// Both passes of a separable transform: forward sums over samples with the
// basis of the output frequency, inverse over frequencies with the basis of the
// output sample.
inline std::array<double, 64> Separable(const Block& in, bool forward) {
  auto basis = [forward](int out, int n) { return forward ? kCos.c[n][out] : kCos.c[out][n]; };
  long double rows[64];
  for (int r = 0; r < 8; ++r)
    for (int o = 0; o < 8; ++o) {
      long double s = 0;
      for (int n = 0; n < 8; ++n) s += in[8 * r + n] * basis(o, n);
      rows[8 * r + o] = s;
    }
  std::array<double, 64> out{};
  for (int o = 0; o < 8; ++o)
    for (int c = 0; c < 8; ++c) {
      long double s = 0;
      for (int n = 0; n < 8; ++n) s += rows[8 * n + c] * basis(o, n);
      out[8 * o + c] = static_cast<double>(s);
    }
  return out;
}

inline std::array<double, 64> ReferenceForward(const Block& in) { return Separable(in, true); }
inline std::array<double, 64> ReferenceInverse(const Block& in) { return Separable(in, false); }

inline Block RandomBlock(std::mt19937& rng, int lo, int hi) {
  Block b{};
  std::uniform_int_distribution<int> d(lo, hi);
  for (auto& v : b) v = static_cast<std::int16_t>(d(rng));
  return b;
}

}  // namespace zentra_test
