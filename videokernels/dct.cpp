// The 8x8 forward and inverse DCT: every build side by side and their tables.
//
// The fixed-point kernels work on 16-bit lanes with saturating additions: the
// column stages on whole rows (eight columns a register), the row stages as
// multiply-add matrix products on the transposed block (eight rows a register),
// so that each row's coefficient class sits in its own lanes.
#include <zentra/dct_kernels.h>

#include <emmintrin.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace zentra {

const I16 kDctRowCoefficients[4][8][8] = {
    {{16384, 16384, 16384, 16384, 16384, 16384, 16384, 16384},
     {22725, 19266, 12873, 4520, -4520, -12873, -19266, -22725},
     {21407, 8867, -8867, -21407, -21407, -8867, 8867, 21407},
     {19266, -4520, -22725, -12873, 12873, 22725, 4520, -19266},
     {16384, -16384, -16384, 16384, 16384, -16384, -16384, 16384},
     {12873, -22725, 4520, 19266, -19266, -4520, 22725, -12873},
     {8867, -21407, 21407, -8867, -8867, 21407, -21407, 8867},
     {4520, -12873, 19266, -22725, 22725, -19266, 12873, -4520}},
    {{22725, 22725, 22725, 22725, 22725, 22725, 22725, 22725},
     {31521, 26722, 17855, 6270, -6270, -17855, -26722, -31521},
     {29692, 12299, -12299, -29692, -29692, -12299, 12299, 29692},
     {26722, -6270, -31521, -17855, 17855, 31521, 6270, -26722},
     {22725, -22725, -22725, 22725, 22725, -22725, -22725, 22725},
     {17855, -31521, 6270, 26722, -26722, -6270, 31521, -17855},
     {12299, -29692, 29692, -12299, -12299, 29692, -29692, 12299},
     {6270, -17855, 26722, -31521, 31521, -26722, 17855, -6270}},
    {{21407, 21407, 21407, 21407, 21407, 21407, 21407, 21407},
     {29692, 25172, 16819, 5906, -5906, -16819, -25172, -29692},
     {27969, 11585, -11585, -27969, -27969, -11585, 11585, 27969},
     {25172, -5906, -29692, -16819, 16819, 29692, 5906, -25172},
     {21407, -21407, -21407, 21407, 21407, -21407, -21407, 21407},
     {16819, -29692, 5906, 25172, -25172, -5906, 29692, -16819},
     {11585, -27969, 27969, -11585, -11585, 27969, -27969, 11585},
     {5906, -16819, 25172, -29692, 29692, -25172, 16819, -5906}},
    {{19266, 19266, 19266, 19266, 19266, 19266, 19266, 19266},
     {26722, 22654, 15137, 5315, -5315, -15137, -22654, -26722},
     {25172, 10426, -10426, -25172, -25172, -10426, 10426, 25172},
     {22654, -5315, -26722, -15137, 15137, 26722, 5315, -22654},
     {19266, -19266, -19266, 19266, 19266, -19266, -19266, 19266},
     {15137, -26722, 5315, 22654, -22654, -5315, 26722, -15137},
     {10426, -25172, 25172, -10426, -10426, 25172, -25172, 10426},
     {5315, -15137, 22654, -26722, 26722, -22654, 15137, -5315}},
};

namespace {

// ---- Multiply-add weights of the row stages, on the transposed block: lane
// pair p of half h belongs to block row 4h + p, and holds the coefficients of
// the two inputs that one madd pairs.

struct alignas(16) Lanes {
  I16 v[8];
};

// Forward: output k from inputs (i, i+1), i = 0 or 2, of the mirrored sums or differences.
struct ForwardWeights {
  Lanes w[8][2][2];  // [k][input pair][half]
};
// Inverse: output j (0..3) from inputs (k, k+2) of the even (0, 2 / 4, 6) or odd (1, 3 / 5, 7) rows.
struct InverseWeights {
  Lanes even[4][2][2];  // [j][pair: (0,2) (4,6)][half]
  Lanes odd[4][2][2];   // [j][pair: (1,3) (5,7)][half]
};

ForwardWeights MakeForwardWeights() {
  ForwardWeights t{};
  for (int k = 0; k < 8; ++k)
    for (int pair = 0; pair < 2; ++pair)
      for (int h = 0; h < 2; ++h)
        for (int p = 0; p < 4; ++p) {
          const auto& m = kDctRowCoefficients[kDctRowClass[4 * h + p]][k];
          t.w[k][pair][h].v[2 * p] = m[2 * pair];
          t.w[k][pair][h].v[2 * p + 1] = m[2 * pair + 1];
        }
  return t;
}

InverseWeights MakeInverseWeights() {
  InverseWeights t{};
  for (int j = 0; j < 4; ++j)
    for (int pair = 0; pair < 2; ++pair)
      for (int h = 0; h < 2; ++h)
        for (int p = 0; p < 4; ++p) {
          const auto& m = kDctRowCoefficients[kDctRowClass[4 * h + p]];
          t.even[j][pair][h].v[2 * p] = m[4 * pair][j];
          t.even[j][pair][h].v[2 * p + 1] = m[4 * pair + 2][j];
          t.odd[j][pair][h].v[2 * p] = m[4 * pair + 1][j];
          t.odd[j][pair][h].v[2 * p + 1] = m[4 * pair + 3][j];
        }
  return t;
}

const ForwardWeights kForward = MakeForwardWeights();
const InverseWeights kInverse = MakeInverseWeights();

inline __m128i L(const Lanes& l) { return _mm_load_si128(reinterpret_cast<const __m128i*>(l.v)); }

inline __m128i Hi(__m128i x, I16 m) { return _mm_mulhi_epi16(x, _mm_set1_epi16(m)); }

inline void Transpose8x8(__m128i r[8]) {
  const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
  const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
  const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
  const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
  const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
  const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
  const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
  const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
  r[0] = _mm_unpacklo_epi64(b0, b4);
  r[1] = _mm_unpackhi_epi64(b0, b4);
  r[2] = _mm_unpacklo_epi64(b1, b5);
  r[3] = _mm_unpackhi_epi64(b1, b5);
  r[4] = _mm_unpacklo_epi64(b2, b6);
  r[5] = _mm_unpackhi_epi64(b2, b6);
  r[6] = _mm_unpacklo_epi64(b3, b7);
  r[7] = _mm_unpackhi_epi64(b3, b7);
}

inline void LoadBlock(const I16* src, __m128i r[8]) {
  for (int i = 0; i < 8; ++i) r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8 * i));
}

inline void StoreBlock(I16* dst, const __m128i r[8]) {
  for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8 * i), r[i]);
}

// (p + q + 2^19) >> 20 of two 32-bit partial sums without forming p + q, which
// wraps for inputs outside the pixel domain: whole parts and remainders apart.
inline __m128i RoundShift20(__m128i p, __m128i q) {
  const __m128i mask = _mm_set1_epi32((1 << 20) - 1);
  const __m128i whole = _mm_add_epi32(_mm_srai_epi32(p, 20), _mm_srai_epi32(q, 20));
  const __m128i rest = _mm_add_epi32(_mm_add_epi32(_mm_and_si128(p, mask), _mm_and_si128(q, mask)),
                                     _mm_set1_epi32(1 << 19));
  return _mm_add_epi32(whole, _mm_srli_epi32(rest, 20));
}

void ForwardColumns(__m128i x[8]) {
  const __m128i one = _mm_set1_epi16(1);
  const __m128i t0 = _mm_slli_epi16(_mm_adds_epi16(x[0], x[7]), 3);
  const __m128i t1 = _mm_slli_epi16(_mm_adds_epi16(x[1], x[6]), 3);
  const __m128i t2 = _mm_slli_epi16(_mm_adds_epi16(x[2], x[5]), 3);
  const __m128i t3 = _mm_slli_epi16(_mm_adds_epi16(x[3], x[4]), 3);
  const __m128i d0 = _mm_slli_epi16(_mm_subs_epi16(x[0], x[7]), 3);
  const __m128i d3 = _mm_slli_epi16(_mm_subs_epi16(x[3], x[4]), 3);
  const __m128i d1 = _mm_slli_epi16(_mm_subs_epi16(x[1], x[6]), 4);
  const __m128i d2 = _mm_slli_epi16(_mm_subs_epi16(x[2], x[5]), 4);
  const __m128i s03 = _mm_adds_epi16(t0, t3), s12 = _mm_adds_epi16(t1, t2);
  const __m128i m03 = _mm_subs_epi16(t0, t3), m12 = _mm_subs_epi16(t1, t2);
  x[0] = _mm_adds_epi16(s03, s12);
  x[4] = _mm_subs_epi16(s03, s12);
  x[2] = _mm_or_si128(_mm_adds_epi16(m03, Hi(m12, kDctTan2)), one);
  x[6] = _mm_or_si128(_mm_subs_epi16(Hi(m03, kDctTan2), m12), one);
  const __m128i p = _mm_or_si128(Hi(_mm_adds_epi16(d1, d2), kDctCos4), one);
  const __m128i q = Hi(_mm_subs_epi16(d1, d2), kDctCos4);
  const __m128i m = _mm_adds_epi16(d3, q), n = _mm_subs_epi16(d3, q);
  const __m128i s = _mm_adds_epi16(d0, p), r = _mm_subs_epi16(d0, p);
  x[1] = _mm_or_si128(_mm_adds_epi16(Hi(m, kDctTan1), s), one);
  x[7] = _mm_subs_epi16(Hi(s, kDctTan1), m);
  x[3] = _mm_subs_epi16(r, _mm_adds_epi16(Hi(n, kDctTan3m1), n));
  x[5] = _mm_adds_epi16(_mm_adds_epi16(Hi(r, kDctTan3m1), r), n);
}

// On the transposed block: x[n] holds input n of every row.
void ForwardRows(__m128i x[8]) {
  __m128i a[4], b[4];
  for (int i = 0; i < 4; ++i) {
    a[i] = _mm_adds_epi16(x[i], x[7 - i]);
    b[i] = _mm_subs_epi16(x[i], x[7 - i]);
  }
  for (int k = 0; k < 8; ++k) {
    const __m128i* in = (k & 1) ? b : a;
    const auto& w = kForward.w[k];
    const __m128i lo = RoundShift20(_mm_madd_epi16(_mm_unpacklo_epi16(in[0], in[1]), L(w[0][0])),
                                    _mm_madd_epi16(_mm_unpacklo_epi16(in[2], in[3]), L(w[1][0])));
    const __m128i hi = RoundShift20(_mm_madd_epi16(_mm_unpackhi_epi16(in[0], in[1]), L(w[0][1])),
                                    _mm_madd_epi16(_mm_unpackhi_epi16(in[2], in[3]), L(w[1][1])));
    x[k] = _mm_packs_epi32(lo, hi);
  }
}

// On the transposed block: x[k] holds coefficient k of every row.
void InverseRows(__m128i x[8]) {
  const __m128i roundLo = _mm_setr_epi32(kIdctRowRounders[0], kIdctRowRounders[1], kIdctRowRounders[2], kIdctRowRounders[3]);
  const __m128i roundHi = _mm_setr_epi32(kIdctRowRounders[4], kIdctRowRounders[5], kIdctRowRounders[6], kIdctRowRounders[7]);
  const __m128i e02[2] = {_mm_unpacklo_epi16(x[0], x[2]), _mm_unpackhi_epi16(x[0], x[2])};
  const __m128i e46[2] = {_mm_unpacklo_epi16(x[4], x[6]), _mm_unpackhi_epi16(x[4], x[6])};
  const __m128i o13[2] = {_mm_unpacklo_epi16(x[1], x[3]), _mm_unpackhi_epi16(x[1], x[3])};
  const __m128i o57[2] = {_mm_unpacklo_epi16(x[5], x[7]), _mm_unpackhi_epi16(x[5], x[7])};
  for (int j = 0; j < 4; ++j) {
    __m128i plus[2], minus[2];
    for (int h = 0; h < 2; ++h) {
      const __m128i e = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(e02[h], L(kInverse.even[j][0][h])),
                                                    _mm_madd_epi16(e46[h], L(kInverse.even[j][1][h]))),
                                      h == 0 ? roundLo : roundHi);
      const __m128i o = _mm_add_epi32(_mm_madd_epi16(o13[h], L(kInverse.odd[j][0][h])),
                                      _mm_madd_epi16(o57[h], L(kInverse.odd[j][1][h])));
      plus[h] = _mm_srai_epi32(_mm_add_epi32(e, o), 12);
      minus[h] = _mm_srai_epi32(_mm_sub_epi32(e, o), 12);
    }
    x[j] = _mm_packs_epi32(plus[0], plus[1]);
    x[7 - j] = _mm_packs_epi32(minus[0], minus[1]);
  }
}

void InverseColumns(__m128i x[8]) {
  const __m128i u = _mm_adds_epi16(x[3], _mm_adds_epi16(Hi(x[5], kDctTan3m1), x[5]));
  const __m128i v = _mm_subs_epi16(x[5], _mm_adds_epi16(Hi(x[3], kDctTan3m1), x[3]));
  const __m128i z = _mm_adds_epi16(x[1], Hi(x[7], kDctTan1));
  const __m128i w = _mm_subs_epi16(Hi(x[1], kDctTan1), x[7]);
  const __m128i a = _mm_adds_epi16(z, u), b = _mm_subs_epi16(z, u);
  const __m128i c = _mm_subs_epi16(w, v), d = _mm_adds_epi16(w, v);
  const __m128i bc = _mm_adds_epi16(b, c), bmc = _mm_subs_epi16(b, c);
  const __m128i g = _mm_adds_epi16(bc, Hi(bc, kDctCos4m1));
  const __m128i h = _mm_adds_epi16(bmc, Hi(bmc, kDctCos4m1));
  const __m128i e = _mm_adds_epi16(x[2], Hi(x[6], kDctTan2));
  const __m128i f = _mm_subs_epi16(Hi(x[2], kDctTan2), x[6]);
  const __m128i s04 = _mm_adds_epi16(x[0], x[4]), d04 = _mm_subs_epi16(x[0], x[4]);
  const __m128i e0 = _mm_adds_epi16(s04, e), e3 = _mm_subs_epi16(s04, e);
  const __m128i e1 = _mm_adds_epi16(d04, f), e2 = _mm_subs_epi16(d04, f);
  x[0] = _mm_srai_epi16(_mm_adds_epi16(e0, a), 5);
  x[1] = _mm_srai_epi16(_mm_adds_epi16(e1, g), 5);
  x[2] = _mm_srai_epi16(_mm_adds_epi16(e2, h), 5);
  x[3] = _mm_srai_epi16(_mm_adds_epi16(e3, d), 5);
  x[4] = _mm_srai_epi16(_mm_subs_epi16(e3, d), 5);
  x[5] = _mm_srai_epi16(_mm_subs_epi16(e2, h), 5);
  x[6] = _mm_srai_epi16(_mm_subs_epi16(e1, g), 5);
  x[7] = _mm_srai_epi16(_mm_subs_epi16(e0, a), 5);
}

void Inverse(const I16* src, I16* dst) {
  __m128i x[8];
  LoadBlock(src, x);
  Transpose8x8(x);
  InverseRows(x);
  Transpose8x8(x);
  InverseColumns(x);
  StoreBlock(dst, x);
}

}  // namespace

void Dct8x8Forward(const I16* src, I16* dst) {
  __m128i x[8];
  LoadBlock(src, x);
  ForwardColumns(x);
  Transpose8x8(x);
  ForwardRows(x);
  Transpose8x8(x);
  StoreBlock(dst, x);
}

// The MMX kernel and the SSE2 kernel compute the same arithmetic; with the whole
// block in registers neither needs an aligned scratch block or aligned operands.
void Dct8x8Inverse(const I16* src, I16* dst) { Inverse(src, dst); }
void Dct8x8InverseSse2(const I16* src, I16* dst) { Inverse(src, dst); }

PrimitiveStatus Dct8x8ForwardInPlace(I16* block) {
  if (block == nullptr) return StatusNullPointer;
  Dct8x8Forward(block, block);
  return StatusOk;
}

PrimitiveStatus Dct8x8InverseInPlace(I16* block) {
  if (block == nullptr) return StatusNullPointer;
  Dct8x8Inverse(block, block);
  return StatusOk;
}

PrimitiveStatus Dct8x8InverseInPlaceSse2(I16* block) {
  if (block == nullptr) return StatusNullPointer;
  Dct8x8InverseSse2(block, block);
  return StatusOk;
}

PrimitiveStatus Fdct8x8_Ipp(I16* block) { return Dct8x8ForwardInPlace(block); }
PrimitiveStatus Idct8x8_IppMmx(I16* block) { return Dct8x8InverseInPlace(block); }
PrimitiveStatus Idct8x8_IppSse2(I16* block) { return Dct8x8InverseInPlaceSse2(block); }

// ---- Other integer builds.

namespace {

// One pass of the product with the class-0 matrix on the transposed block:
// out[n] = (Σ_k M[0][k][n] * x[k] + round) >> shift in every lane, narrowed
// with saturation.
template <int kShift>
void ClassZeroProduct(__m128i x[8], std::int32_t round) {
  const __m128i r = _mm_set1_epi32(round);
  __m128i lo[4], hi[4];
  for (int p = 0; p < 4; ++p) {
    lo[p] = _mm_unpacklo_epi16(x[2 * p], x[2 * p + 1]);
    hi[p] = _mm_unpackhi_epi16(x[2 * p], x[2 * p + 1]);
  }
  for (int n = 0; n < 8; ++n) {
    __m128i sumLo = r, sumHi = r;
    for (int p = 0; p < 4; ++p) {
      const std::uint32_t pair =
          static_cast<std::uint16_t>(kDctRowCoefficients[0][2 * p][n]) |
          static_cast<std::uint32_t>(static_cast<std::uint16_t>(kDctRowCoefficients[0][2 * p + 1][n])) << 16;
      const __m128i w = _mm_set1_epi32(static_cast<std::int32_t>(pair));
      sumLo = _mm_add_epi32(sumLo, _mm_madd_epi16(lo[p], w));
      sumHi = _mm_add_epi32(sumHi, _mm_madd_epi16(hi[p], w));
    }
    x[n] = _mm_packs_epi32(_mm_srai_epi32(sumLo, kShift), _mm_srai_epi32(sumHi, kShift));
  }
}

// The jpeg-style integer flowgraph of Loeffler, Ligtenberg and Moschytz on
// eight values: even outputs 0 and 4 unscaled, the rotated outputs multiplied
// by constants of `bits` fraction bits.
struct LlmConstants {
  std::int64_t c0_298, c0_390, c0_541, c0_765, c0_899, c1_175, c1_501, c1_847, c1_961, c2_053, c2_562, c3_072;
};

struct LlmOutputs {
  std::int64_t even0, even4;  // unscaled
  std::int64_t rotated[8];    // indices 1, 2, 3, 5, 6, 7, scaled by the constants
};

LlmOutputs Llm(const std::int64_t* d, int stride, const LlmConstants& k) {
  const std::int64_t t0 = d[0] + d[7 * stride], t7 = d[0] - d[7 * stride];
  const std::int64_t t1 = d[stride] + d[6 * stride], t6 = d[stride] - d[6 * stride];
  const std::int64_t t2 = d[2 * stride] + d[5 * stride], t5 = d[2 * stride] - d[5 * stride];
  const std::int64_t t3 = d[3 * stride] + d[4 * stride], t4 = d[3 * stride] - d[4 * stride];
  const std::int64_t t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;
  LlmOutputs o{};
  o.even0 = t10 + t11;
  o.even4 = t10 - t11;
  const std::int64_t z1 = (t12 + t13) * k.c0_541;
  o.rotated[2] = z1 + t13 * k.c0_765;
  o.rotated[6] = z1 - t12 * k.c1_847;
  const std::int64_t z5 = (t4 + t6 + t5 + t7) * k.c1_175;
  const std::int64_t a1 = -(t4 + t7) * k.c0_899, a2 = -(t5 + t6) * k.c2_562;
  const std::int64_t a3 = -(t4 + t6) * k.c1_961 + z5, a4 = -(t5 + t7) * k.c0_390 + z5;
  o.rotated[7] = t4 * k.c0_298 + a1 + a3;
  o.rotated[5] = t5 * k.c2_053 + a2 + a4;
  o.rotated[3] = t6 * k.c3_072 + a2 + a3;
  o.rotated[1] = t7 * k.c1_501 + a1 + a4;
  return o;
}

constexpr std::int64_t Descale(std::int64_t x, int n) { return (x + (std::int64_t{1} << (n - 1))) >> n; }

// Rows, then columns; `row` and `column` turn each pass's outputs into the values kept.
template <typename Row, typename Column>
void LlmForward(I16* block, const LlmConstants& k, Row row, Column column) {
  std::int64_t w[64];
  for (int i = 0; i < 64; ++i) w[i] = block[i];
  std::int64_t rows[64];
  for (int r = 0; r < 8; ++r) {
    const LlmOutputs o = Llm(w + 8 * r, 1, k);
    row(o, rows + 8 * r);
  }
  for (int c = 0; c < 8; ++c) {
    const LlmOutputs o = Llm(rows + c, 8, k);
    std::int64_t out[8];
    column(o, out);
    for (int v = 0; v < 8; ++v) block[8 * v + c] = static_cast<I16>(out[v]);
  }
}

constexpr LlmConstants kLlm13 = {2446, 3196, 4433, 6270, 7373, 9633, 12299, 15137, 16069, 16819, 20995, 25172};
constexpr LlmConstants kLlm16 = {19571, 25571, 35468, 50159, 58981, 77062, 98391, 121095, 128553, 134553, 167963, 201373};

}  // namespace

// Rows (+2048) >> 12 saturated, columns (+0x40000) >> 19, both with the class-0 matrix.
PrimitiveStatus Idct8x8_Mmx(I16* block) {
  __m128i x[8];
  LoadBlock(block, x);
  Transpose8x8(x);
  ClassZeroProduct<12>(x, 2048);
  Transpose8x8(x);
  ClassZeroProduct<19>(x, 0x40000);
  StoreBlock(block, x);
  return StatusOk;
}

// 13-bit constants: rows keep outputs 0 and 4 << 2 and descale the rest by 11;
// columns descale 0 and 4 by 2 and the rest by 15; every output then (x + 4) >> 3.
PrimitiveStatus Fdct8x8_CB(I16* block) {
  LlmForward(
      block, kLlm13,
      [](const LlmOutputs& o, std::int64_t* out) {
        out[0] = o.even0 << 2;
        out[4] = o.even4 << 2;
        for (int i : {1, 2, 3, 5, 6, 7}) out[i] = Descale(o.rotated[i], 11);
      },
      [](const LlmOutputs& o, std::int64_t* out) {
        out[0] = (Descale(o.even0, 2) + 4) >> 3;
        out[4] = (Descale(o.even4, 2) + 4) >> 3;
        for (int i : {1, 2, 3, 5, 6, 7}) out[i] = (Descale(o.rotated[i], 15) + 4) >> 3;
      });
  return StatusOk;
}

// 16-bit constants: rows keep outputs 0 and 4 << 2 and round the rest
// (+8192) >> 14; columns take 0 and 4 as (x + 15) >> 5 and the rest (+1048576) >> 21.
// Sums are 64-bit: the column products of 16-bit constants outgrow 32 bits.
PrimitiveStatus Fdct8x8_CA(I16* block) {
  LlmForward(
      block, kLlm16,
      [](const LlmOutputs& o, std::int64_t* out) {
        out[0] = o.even0 << 2;
        out[4] = o.even4 << 2;
        for (int i : {1, 2, 3, 5, 6, 7}) out[i] = (o.rotated[i] + 8192) >> 14;
      },
      [](const LlmOutputs& o, std::int64_t* out) {
        out[0] = (o.even0 + 15) >> 5;
        out[4] = (o.even4 + 15) >> 5;
        for (int i : {1, 2, 3, 5, 6, 7}) out[i] = (o.rotated[i] + 1048576) >> 21;
      });
  return StatusOk;
}

// ---- Floating-point builds.

namespace {

// Arai-Agui-Nakajima on eight doubles, outputs scaled by the factors a_k.
void ForwardAan(double* d, int stride) {
  const double t0 = d[0] + d[7 * stride], t7 = d[0] - d[7 * stride];
  const double t1 = d[stride] + d[6 * stride], t6 = d[stride] - d[6 * stride];
  const double t2 = d[2 * stride] + d[5 * stride], t5 = d[2 * stride] - d[5 * stride];
  const double t3 = d[3 * stride] + d[4 * stride], t4 = d[3 * stride] - d[4 * stride];
  const double t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;
  d[0] = t10 + t11;
  d[4 * stride] = t10 - t11;
  const double z1 = (t12 + t13) * 0.707106781;
  d[2 * stride] = t13 + z1;
  d[6 * stride] = t13 - z1;
  const double o10 = t4 + t5, o11 = t5 + t6, o12 = t6 + t7;
  const double z5 = (o10 - o12) * 0.382683433;
  const double z2 = 0.5411961 * o10 + z5;
  const double z4 = 1.306562965 * o12 + z5;
  const double z3 = o11 * 0.707106781;
  const double z11 = t7 + z3, z13 = t7 - z3;
  d[5 * stride] = z13 + z2;
  d[3 * stride] = z13 - z2;
  d[stride] = z11 + z4;
  d[7 * stride] = z11 - z4;
}

struct FdctScale {
  double entry[64];
};

FdctScale BuildFdctScaleTable() {
  static constexpr double a[8] = {1.0, 1.387039845, 1.306562965, 1.175875602, 1.0, 0.785694958, 0.5411961, 0.275899379};
  FdctScale t{};
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) t.entry[8 * i + j] = 1.0 / (a[i] * a[j] * 8.0);
  return t;
}

// The inverse's multipliers: w[k] = sqrt(2) cos(k pi / 16) with the sums and
// differences its rotations take, once as they are for the row pass and once
// times 1/8 for the column pass, which thereby gives the final values; and the
// clamp to -256..255, indexed by value + 1024.
struct IdctMultipliers {
  double dc;                       // the weight of inputs 0 and 4
  double w7, w1MinusW7, w1PlusW7;  // rotation of inputs 1 and 7
  double w3, w3MinusW5, w3PlusW5;  // rotation of inputs 5 and 3
  double w6, w2PlusW6, w2MinusW6;  // rotation of inputs 2 and 6
};

struct IdctFloatConstants {
  double invSqrt2;
  IdctMultipliers row, column;
  std::int16_t clamp[2048];
};

IdctFloatConstants BuildIdctFloatConstants() {
  IdctFloatConstants t{};
  double w[8];
  for (int k = 1; k < 8; ++k) w[k] = std::sqrt(2.0) * std::cos(k * M_PI / 16.0);
  t.invSqrt2 = 1.0 / std::sqrt(2.0);
  t.row = {1.0, w[7], w[1] - w[7], w[1] + w[7], w[3], w[3] - w[5], w[3] + w[5], w[6], w[2] + w[6], w[2] - w[6]};
  const IdctMultipliers& r = t.row;
  t.column = {r.dc / 8,         r.w7 / 8,       r.w1MinusW7 / 8, r.w1PlusW7 / 8,  r.w3 / 8,
              r.w3MinusW5 / 8, r.w3PlusW5 / 8, r.w6 / 8,        r.w2PlusW6 / 8, r.w2MinusW6 / 8};
  for (int i = 0; i < 2048; ++i) t.clamp[i] = static_cast<std::int16_t>(Clamp(i - 1024, -256, 255));
  return t;
}

// The Chen-Wang flowgraph on eight coefficients: in[k] for frequency k, out[x]
// for sample x, both `stride` apart.
void InverseChenWang(const double* in, double* out, int stride, const IdctMultipliers& m, double invSqrt2) {
  double x0 = m.dc * in[0], x1 = m.dc * in[4 * stride];
  double x2 = in[6 * stride], x3 = in[2 * stride], x4 = in[stride], x5 = in[7 * stride];
  double x6 = in[5 * stride], x7 = in[3 * stride];
  // Odd part: the rotations of (1, 7) and (5, 3).
  double x8 = m.w7 * (x4 + x5);
  x4 = x8 + m.w1MinusW7 * x4;
  x5 = x8 - m.w1PlusW7 * x5;
  x8 = m.w3 * (x6 + x7);
  x6 = x8 - m.w3MinusW5 * x6;
  x7 = x8 - m.w3PlusW5 * x7;
  // Even part: the butterfly of (0, 4) and the rotation of (2, 6).
  x8 = x0 + x1;
  x0 -= x1;
  x1 = m.w6 * (x3 + x2);
  x2 = x1 - m.w2PlusW6 * x2;
  x3 = x1 + m.w2MinusW6 * x3;
  x1 = x4 + x6;
  x4 -= x6;
  x6 = x5 + x7;
  x5 -= x7;
  x7 = x8 + x3;
  x8 -= x3;
  x3 = x0 + x2;
  x0 -= x2;
  x2 = invSqrt2 * (x4 + x5);
  x4 = invSqrt2 * (x4 - x5);
  out[0] = x7 + x1;
  out[stride] = x3 + x2;
  out[2 * stride] = x0 + x4;
  out[3 * stride] = x8 + x6;
  out[4 * stride] = x8 - x6;
  out[5 * stride] = x0 - x4;
  out[6 * stride] = x3 - x2;
  out[7 * stride] = x7 - x1;
}

}  // namespace

PrimitiveStatus Fdct8x8_Fpu(I16* block) {
  static const FdctScale scale = BuildFdctScaleTable();
  double d[64];
  for (int i = 0; i < 64; ++i) d[i] = block[i];
  for (int r = 0; r < 8; ++r) ForwardAan(d + 8 * r, 1);
  for (int c = 0; c < 8; ++c) ForwardAan(d + c, 8);
  for (int i = 0; i < 64; ++i)
    block[i] = static_cast<I16>(static_cast<std::int32_t>(std::floor(d[i] * scale.entry[i] + 0.499999)));
  return StatusOk;
}

// Outputs are rounded to the nearest integer, halves to even as the x87 rounds,
// and reach the clamp table through an index bounded to its 2048 entries:
// coefficients far outside the pixel range would otherwise index beyond it.
PrimitiveStatus Idct8x8_Fpu(I16* block) {
  bool onlyLast = (block[63] == 0 || block[63] == 1);
  for (int i = 0; i < 63 && onlyLast; ++i) onlyLast = block[i] == 0;
  if (onlyLast) {
    std::memset(block, 0, 64 * sizeof(I16));
    return StatusOk;
  }
  static const IdctFloatConstants k = BuildIdctFloatConstants();
  double in[64], rows[64], out[64];
  for (int i = 0; i < 64; ++i) in[i] = block[i];
  for (int v = 0; v < 8; ++v) InverseChenWang(in + 8 * v, rows + 8 * v, 1, k.row, k.invSqrt2);
  for (int x = 0; x < 8; ++x) InverseChenWang(rows + x, out + x, 8, k.column, k.invSqrt2);
  for (int i = 0; i < 64; ++i) {
    const double index = std::nearbyint(out[i]) + 1024.0;
    block[i] = k.clamp[static_cast<int>(Clamp(index, 0.0, 2047.0))];
  }
  return StatusOk;
}

// ---- Tables. The MMX builds with tables of their own (Fdct8x8_MmxExt,
// Fdct8x8_MmxA, Fdct8x8_MmxB, Idct8x8_Sse2) are not provided; their slots stay
// null, and slot 1 is the only one that runs.

ZENTRA_ENGINE_TABLE(Fdct8x8, nullptr, &Fdct8x8_Ipp, nullptr, nullptr, &Fdct8x8_CA, &Fdct8x8_Fpu, &Fdct8x8_CB, nullptr);
ZENTRA_ENGINE_TABLE(Idct8x8, nullptr, &Idct8x8_IppSse2, &Idct8x8_Mmx, &Idct8x8_IppMmx, &Idct8x8_Mmx, &Idct8x8_Fpu);

}  // namespace zentra
