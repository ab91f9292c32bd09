// Plain models of the 8x8 transforms: the fixed-point kernels' formulas one
// value at a time, and long-double reference transforms.
#pragma once

#include <algorithm>
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

// ---- The integer forward builds: the Loeffler-Ligtenberg-Moschytz flowgraph
// folded into one integer matrix per constant set, then the rounding of each pass.

// The twelve multipliers, named by the factor each stands for (value = the
// factor times 2^bits).
struct LlmMultipliers {
  std::int64_t f0298, f0390, f0541, f0765, f0899, f1175, f1501, f1847, f1961, f2053, f2562, f3072;
};

using Matrix8 = std::array<std::array<std::int64_t, 8>, 8>;

// Output k of the flowgraph as Σ_n m[k][n]·x_n. Outputs 0 and 4 are the unscaled
// butterfly; the others sum the products of the mirrored sums (even outputs) or
// differences (odd outputs) with their multipliers, and carry the factor 2^bits.
inline Matrix8 LlmMatrix(const LlmMultipliers& c) {
  // Weights of x_n for n = 0..3; x_(7-n) takes the same weight in even outputs
  // and its negation in odd ones.
  const std::int64_t half[8][4] = {
      {1, 1, 1, 1},
      {c.f1175 + c.f1501 - c.f0899 - c.f0390, c.f1175, c.f1175 - c.f0390, c.f1175 - c.f0899},
      {c.f0541 + c.f0765, c.f0541, -c.f0541, -(c.f0541 + c.f0765)},
      {c.f1175, c.f1175 + c.f3072 - c.f2562 - c.f1961, c.f1175 - c.f2562, c.f1175 - c.f1961},
      {1, -1, -1, 1},
      {c.f1175 - c.f0390, c.f1175 - c.f2562, c.f1175 + c.f2053 - c.f2562 - c.f0390, c.f1175},
      {c.f0541, c.f0541 - c.f1847, c.f1847 - c.f0541, -c.f0541},
      {c.f1175 - c.f0899, c.f1175 - c.f1961, c.f1175, c.f1175 + c.f0298 - c.f0899 - c.f1961},
  };
  Matrix8 m{};
  for (int k = 0; k < 8; ++k)
    for (int n = 0; n < 4; ++n) {
      m[k][n] = half[k][n];
      m[k][7 - n] = k % 2 == 0 ? half[k][n] : -half[k][n];
    }
  return m;
}

// A build's rounding: rotated row outputs (S + rowRound) >> rowShift, outputs 0 and
// 4 of the rows S << 2; column outputs 0 and 4 (S + evenRound) >> evenShift, the
// rotated ones (S + oddRound) >> oddShift; then, when finalShift is not 0, every
// output (y + finalRound) >> finalShift.
struct LlmRecipe {
  LlmMultipliers c;
  std::int64_t rowRound;
  int rowShift;
  std::int64_t evenRound;
  int evenShift;
  std::int64_t oddRound;
  int oddShift;
  std::int64_t finalRound = 0;
  int finalShift = 0;
};

// Fdct8x8_CA: 16-bit-scaled constants.
inline constexpr LlmRecipe kRecipeCA = {
    {19571, 25571, 35468, 50159, 58981, 77062, 98391, 121095, 128553, 134553, 167963, 201373},
    8192, 14, 15, 5, 1048576, 21};
// Fdct8x8_CB: 13-bit constants and a final division by 8.
inline constexpr LlmRecipe kRecipeCB = {
    {2446, 3196, 4433, 6270, 7373, 9633, 12299, 15137, 16069, 16819, 20995, 25172},
    1024, 11, 2, 2, 0x4000, 15, 4, 3};

// Row output k from its sum S over the row's inputs.
inline std::int64_t LlmRowOutput(std::int64_t s, int k, const LlmRecipe& r) {
  return k % 4 == 0 ? s * 4 : (s + r.rowRound) >> r.rowShift;
}

// The row pass: row v's outputs at [8v + k].
inline std::array<std::int64_t, 64> LlmRows(const Block& in, const LlmRecipe& r) {
  const Matrix8 m = LlmMatrix(r.c);
  std::array<std::int64_t, 64> rows{};
  for (int v = 0; v < 8; ++v)
    for (int k = 0; k < 8; ++k) {
      std::int64_t s = 0;
      for (int n = 0; n < 8; ++n) s += m[k][n] * in[8 * v + n];
      rows[8 * v + k] = LlmRowOutput(s, k, r);
    }
  return rows;
}

// Column output k from its sum S over the rows.
inline std::int64_t LlmColumnOutput(std::int64_t s, int k, const LlmRecipe& r) {
  std::int64_t y = k % 4 == 0 ? (s + r.evenRound) >> r.evenShift : (s + r.oddRound) >> r.oddShift;
  if (r.finalShift) y = (y + r.finalRound) >> r.finalShift;
  return y;
}

// The whole transform. Inputs of 13 bits (-4096..4095) keep every output within 16 bits.
inline Block ModelLlmForward(const Block& in, const LlmRecipe& r) {
  const Matrix8 m = LlmMatrix(r.c);
  const auto rows = LlmRows(in, r);
  Block out{};
  for (int c = 0; c < 8; ++c)
    for (int k = 0; k < 8; ++k) {
      std::int64_t s = 0;
      for (int v = 0; v < 8; ++v) s += m[k][v] * rows[8 * v + c];
      out[8 * k + c] = static_cast<std::int16_t>(LlmColumnOutput(s, k, r));
    }
  return out;
}

// ---- The floating-point builds, step by step in double (the order of every
// operation decides the last bit).

inline constexpr double kAanFactors[8] = {1.0,      1.387039845, 1.306562965, 1.175875602,
                                          1.0,      0.785694958, 0.5411961,   0.275899379};

// Arai-Agui-Nakajima on eight values.
inline std::array<double, 8> Aan(const std::array<double, 8>& x) {
  const double t0 = x[0] + x[7], t7 = x[0] - x[7];
  const double t1 = x[1] + x[6], t6 = x[1] - x[6];
  const double t2 = x[2] + x[5], t5 = x[2] - x[5];
  const double t3 = x[3] + x[4], t4 = x[3] - x[4];
  const double t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;
  std::array<double, 8> y{};
  y[0] = t10 + t11;
  y[4] = t10 - t11;
  const double z1 = (t12 + t13) * 0.707106781;
  y[2] = t13 + z1;
  y[6] = t13 - z1;
  const double s10 = t4 + t5, s11 = t5 + t6, s12 = t6 + t7;
  const double z5 = (s10 - s12) * 0.382683433;
  const double z2 = 0.5411961 * s10 + z5;
  const double z4 = 1.306562965 * s12 + z5;
  const double z3 = s11 * 0.707106781;
  const double z11 = t7 + z3, z13 = t7 - z3;
  y[5] = z13 + z2;
  y[3] = z13 - z2;
  y[1] = z11 + z4;
  y[7] = z11 - z4;
  return y;
}

// Fdct8x8_Fpu before its rounding: rows, then columns, then each output scaled
// by 1/(a_i·a_j·8).
inline std::array<double, 64> ForwardFpuScaled(const Block& in) {
  std::array<double, 64> d;
  for (int i = 0; i < 64; ++i) d[i] = in[i];
  for (int r = 0; r < 8; ++r) {
    std::array<double, 8> x;
    for (int n = 0; n < 8; ++n) x[n] = d[8 * r + n];
    const auto y = Aan(x);
    for (int n = 0; n < 8; ++n) d[8 * r + n] = y[n];
  }
  for (int c = 0; c < 8; ++c) {
    std::array<double, 8> x;
    for (int n = 0; n < 8; ++n) x[n] = d[8 * n + c];
    const auto y = Aan(x);
    for (int n = 0; n < 8; ++n) d[8 * n + c] = y[n];
  }
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) d[8 * i + j] *= 1.0 / (kAanFactors[i] * kAanFactors[j] * 8.0);
  return d;
}

// Fdct8x8_Fpu: floor(· + bias) of the scaled outputs, kept in 16 bits without saturation.
inline Block ModelForwardFpu(const Block& in, double bias = 0.499999) {
  const auto scaled = ForwardFpuScaled(in);
  Block out{};
  for (int i = 0; i < 64; ++i) {
    const auto v = static_cast<std::int32_t>(std::floor(scaled[i] + bias));
    out[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
  }
  return out;
}

// Rounding to the nearest integer with halves to the even one, as the x87 stores.
inline double RoundHalfEven(double v) {
  const double f = std::floor(v), rest = v - f;
  if (rest > 0.5 || (rest == 0.5 && std::fmod(f, 2.0) != 0)) return f + 1;
  return f;
}

// Idct8x8_Fpu: the Chen-Wang flowgraph with w_k = √2·cos(kπ/16), rows with the
// multipliers as they are, columns with each of them (and the weight of inputs 0
// and 4) times 1/8; 1/√2 in both.
struct ChenWangMultipliers {
  double dc, w7, w1m7, w1p7, w3, w3m5, w3p5, w6, w2p6, w2m6;
};

inline ChenWangMultipliers ChenWangRow() {
  auto w = [](int k) { return std::sqrt(2.0) * std::cos(k * M_PI / 16.0); };
  return {1.0, w(7), w(1) - w(7), w(1) + w(7), w(3), w(3) - w(5), w(3) + w(5), w(6), w(2) + w(6), w(2) - w(6)};
}

inline ChenWangMultipliers Eighths(const ChenWangMultipliers& m) {
  return {m.dc / 8, m.w7 / 8, m.w1m7 / 8, m.w1p7 / 8, m.w3 / 8, m.w3m5 / 8, m.w3p5 / 8, m.w6 / 8, m.w2p6 / 8, m.w2m6 / 8};
}

// X: the eight coefficients, frequency 0 first; the result: samples 0..7.
inline std::array<double, 8> ChenWang(const std::array<double, 8>& X, const ChenWangMultipliers& m) {
  const double r2 = 1.0 / std::sqrt(2.0);
  // Rotation of frequencies 1 and 7, and of 5 and 3.
  const double p17 = m.w7 * (X[1] + X[7]);
  const double a = p17 + m.w1m7 * X[1];
  const double b = p17 - m.w1p7 * X[7];
  const double p53 = m.w3 * (X[5] + X[3]);
  const double c = p53 - m.w3m5 * X[5];
  const double d = p53 - m.w3p5 * X[3];
  // Frequencies 0 and 4, and the rotation of 2 and 6.
  const double s04 = m.dc * X[0] + m.dc * X[4];
  const double d04 = m.dc * X[0] - m.dc * X[4];
  const double p26 = m.w6 * (X[2] + X[6]);
  const double e6 = p26 - m.w2p6 * X[6];
  const double e2 = p26 + m.w2m6 * X[2];
  const double ac = a + c, amc = a - c, bd = b + d, bmd = b - d;
  const double g0 = s04 + e2, g3 = s04 - e2, g1 = d04 + e6, g2 = d04 - e6;
  const double h1 = r2 * (amc + bmd), h2 = r2 * (amc - bmd);
  return {g0 + ac, g1 + h1, g2 + h2, g3 + bd, g3 - bd, g2 - h2, g1 - h1, g0 - ac};
}

inline Block ModelInverseFpu(const Block& in) {
  bool onlyLast = in[63] == 0 || in[63] == 1;
  for (int i = 0; i < 63; ++i) onlyLast = onlyLast && in[i] == 0;
  if (onlyLast) return Block{};
  const ChenWangMultipliers row = ChenWangRow(), column = Eighths(row);
  double rows[8][8];
  for (int v = 0; v < 8; ++v) {
    std::array<double, 8> X;
    for (int u = 0; u < 8; ++u) X[u] = in[8 * v + u];
    const auto y = ChenWang(X, row);
    for (int x = 0; x < 8; ++x) rows[v][x] = y[x];
  }
  Block out{};
  for (int x = 0; x < 8; ++x) {
    std::array<double, 8> X;
    for (int v = 0; v < 8; ++v) X[v] = rows[v][x];
    const auto y = ChenWang(X, column);
    for (int v = 0; v < 8; ++v) out[8 * v + x] = static_cast<std::int16_t>(std::clamp(RoundHalfEven(y[v]), -256.0, 255.0));
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
