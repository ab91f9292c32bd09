// The video-coding kernels timed in one run: each running build and each build
// of the two SAD and squared-difference primitives, beside a plain reference of
// the same formula and a straightforward SSE2 reference (psadbw for SAD,
// unpack-and-madd for squared differences, a matrix-product 8x8 DCT). Every case
// processes the same blocks; at the end, per case: ns per block, how many times
// faster than the plain reference, and its time over the SSE2 reference's.
#include "block_models.h"
#include "dct_models.h"

#include <zentra/dct_kernels.h>
#include <zentra/sad_kernels.h>
#include <zentra/squared_difference_kernels.h>
#include <zentra/statistics_kernels.h>

#include "median_reporter.h"

#include <benchmark/benchmark.h>
#include <emmintrin.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace zentra;
using zentra_test::Block;
using zentra_test::Pred;

constexpr int kStep = 736, kRows = 600, kBlocks = 256;

struct Data {
  zentra_test::Bytes ref, ref2, cur;
  std::vector<int> offsets;
  std::vector<Block> coefficients, pixels;
  Data() {
    std::mt19937 rng(2024);
    ref = zentra_test::RandomBytes(rng, kStep * kRows);
    ref2 = zentra_test::RandomBytes(rng, kStep * kRows);
    cur = zentra_test::RandomBytes(rng, kStep * kRows);
    for (int i = 0; i < kBlocks; ++i) offsets.push_back(static_cast<int>(rng() % 560) * kStep + static_cast<int>(rng() % 700));
    for (int i = 0; i < kBlocks; ++i) {
      pixels.push_back(zentra_test::RandomBlock(rng, -256, 255));
      Block c = zentra_test::RandomBlock(rng, -60, 60);
      c[0] = static_cast<std::int16_t>(rng() % 2048 - 1024);
      coefficients.push_back(c);
    }
  }
};

const Data& D() {
  static const Data d;
  return d;
}

// ---- SSE2 references, as anyone would first write them.

__m128i L16(const U8* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

__m128i PredictSse2(const U8* r, int step, Pred pred) {
  switch (pred) {
    case Pred::HalfX: return _mm_avg_epu8(L16(r), L16(r + 1));
    case Pred::HalfY: return _mm_avg_epu8(L16(r), L16(r + step));
    case Pred::DiagExact: {
      // Widened to 16 bits: (a + b + c + d + 2) >> 2 exactly.
      const __m128i z = _mm_setzero_si128(), two = _mm_set1_epi16(2);
      const __m128i a = L16(r), b = L16(r + 1), c = L16(r + step), d = L16(r + step + 1);
      auto sum = [&](auto unpack) {
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(_mm_add_epi16(unpack(a, z), unpack(b, z)),
                                                          _mm_add_epi16(unpack(c, z), unpack(d, z))), two), 2);
      };
      return _mm_packus_epi16(sum([](__m128i x, __m128i y) { return _mm_unpacklo_epi8(x, y); }),
                              sum([](__m128i x, __m128i y) { return _mm_unpackhi_epi8(x, y); }));
    }
    case Pred::DiagUpVertical:
    case Pred::DiagUpHorizontal:
      return _mm_avg_epu8(_mm_avg_epu8(L16(r), L16(r + 1)), _mm_avg_epu8(L16(r + step), L16(r + step + 1)));
    default: return L16(r);
  }
}

I32 SadSse2(const U8* ref, const U8* cur, int step, int rows, Pred pred) {
  __m128i acc = _mm_setzero_si128();
  for (int y = 0; y < rows; ++y) acc = _mm_add_epi64(acc, _mm_sad_epu8(PredictSse2(ref + y * step, step, pred), L16(cur + y * step)));
  return _mm_cvtsi128_si32(acc) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(acc, acc));
}

I32 Sad4x4Sse2(const U8* ref, const U8* cur, int step) {
  auto rows = [step](const U8* p) {
    int a[4];
    for (int y = 0; y < 4; ++y) std::memcpy(&a[y], p + y * step, 4);
    return _mm_setr_epi32(a[0], a[1], a[2], a[3]);
  };
  const __m128i s = _mm_sad_epu8(rows(ref), rows(cur));
  return _mm_cvtsi128_si32(s) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(s, s));
}

__m128i Squares(__m128i p, __m128i c) {
  const __m128i z = _mm_setzero_si128();
  const __m128i lo = _mm_sub_epi16(_mm_unpacklo_epi8(p, z), _mm_unpacklo_epi8(c, z));
  const __m128i hi = _mm_sub_epi16(_mm_unpackhi_epi8(p, z), _mm_unpackhi_epi8(c, z));
  return _mm_add_epi32(_mm_madd_epi16(lo, lo), _mm_madd_epi16(hi, hi));
}

I32 Sum32(__m128i a) {
  alignas(16) I32 v[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(v), a);
  return v[0] + v[1] + v[2] + v[3];
}

I32 SsdSse2(const U8* ref, const U8* cur, int step, int rows, Pred pred) {
  __m128i acc = _mm_setzero_si128();
  for (int y = 0; y < rows; ++y) acc = _mm_add_epi32(acc, Squares(PredictSse2(ref + y * step, step, pred), L16(cur + y * step)));
  return Sum32(acc);
}

I32 SsdBidirSse2(const U8* f, const U8* b, const U8* cur, int step, Pred pf, Pred pb) {
  __m128i acc = _mm_setzero_si128();
  for (int y = 0; y < 16; ++y) {
    const __m128i p = _mm_avg_epu8(PredictSse2(f + y * step, step, pf), PredictSse2(b + y * step, step, pb));
    acc = _mm_add_epi32(acc, Squares(p, L16(cur + y * step)));
  }
  return Sum32(acc);
}

I32 VarianceSse2(const U8* src, int step) {
  const __m128i z = _mm_setzero_si128();
  __m128i s = z, q = z;
  for (int y = 0; y < 16; ++y) {
    const __m128i v = L16(src + y * step);
    s = _mm_add_epi64(s, _mm_sad_epu8(v, z));
    q = _mm_add_epi32(q, Squares(v, z));
  }
  const std::uint32_t sum = static_cast<std::uint32_t>(_mm_cvtsi128_si32(s) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(s, s)));
  return static_cast<I32>(static_cast<std::uint32_t>(Sum32(q)) - ((sum * sum) >> 8));
}

// 8x8 DCT as two matrix products with a Q14 cosine matrix: each pass
// transposes and forms every output as eight products summed by madd.
struct CosineMatrix {
  alignas(16) std::int16_t forward[8][8];  // [k][n]
  alignas(16) std::int16_t inverse[8][8];  // [n][k]
  CosineMatrix() {
    for (int k = 0; k < 8; ++k)
      for (int n = 0; n < 8; ++n) {
        const double c = (k == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * n + 1) * k * M_PI / 16);
        forward[k][n] = static_cast<std::int16_t>(std::lround(c * 16384 * 1.4142135));
        inverse[n][k] = forward[k][n];
      }
  }
};
const CosineMatrix kMatrix;

void Transpose(__m128i r[8]) {
  __m128i a[8], b[8];
  for (int i = 0; i < 4; ++i) {
    a[2 * i] = _mm_unpacklo_epi16(r[2 * i], r[2 * i + 1]);
    a[2 * i + 1] = _mm_unpackhi_epi16(r[2 * i], r[2 * i + 1]);
  }
  for (int i = 0; i < 2; ++i) {
    b[4 * i] = _mm_unpacklo_epi32(a[4 * i], a[4 * i + 2]);
    b[4 * i + 1] = _mm_unpackhi_epi32(a[4 * i], a[4 * i + 2]);
    b[4 * i + 2] = _mm_unpacklo_epi32(a[4 * i + 1], a[4 * i + 3]);
    b[4 * i + 3] = _mm_unpackhi_epi32(a[4 * i + 1], a[4 * i + 3]);
  }
  for (int i = 0; i < 4; ++i) {
    r[2 * i] = _mm_unpacklo_epi64(b[i], b[i + 4]);
    r[2 * i + 1] = _mm_unpackhi_epi64(b[i], b[i + 4]);
  }
}

// out[k] of every row = (Σ_n m[k][n] * x[n] + round) >> shift, on the transposed block.
void MatrixPass(__m128i x[8], const std::int16_t (*m)[8], int shift) {
  Transpose(x);
  const __m128i round = _mm_set1_epi32(1 << (shift - 1));
  __m128i pairsLo[4], pairsHi[4];
  for (int p = 0; p < 4; ++p) {
    pairsLo[p] = _mm_unpacklo_epi16(x[2 * p], x[2 * p + 1]);
    pairsHi[p] = _mm_unpackhi_epi16(x[2 * p], x[2 * p + 1]);
  }
  __m128i out[8];
  for (int k = 0; k < 8; ++k) {
    __m128i lo = round, hi = round;
    for (int p = 0; p < 4; ++p) {
      const __m128i w = _mm_set1_epi32(static_cast<int>(static_cast<std::uint16_t>(m[k][2 * p]) |
                                                        (static_cast<std::uint32_t>(static_cast<std::uint16_t>(m[k][2 * p + 1])) << 16)));
      lo = _mm_add_epi32(lo, _mm_madd_epi16(pairsLo[p], w));
      hi = _mm_add_epi32(hi, _mm_madd_epi16(pairsHi[p], w));
    }
    out[k] = _mm_packs_epi32(_mm_srai_epi32(lo, shift), _mm_srai_epi32(hi, shift));
  }
  for (int k = 0; k < 8; ++k) x[k] = out[k];
  Transpose(x);
}

void MatrixDctSse2(std::int16_t* block, const std::int16_t (*m)[8]) {
  __m128i x[8];
  for (int i = 0; i < 8; ++i) x[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * i));
  MatrixPass(x, m, 12);
  // Columns: transposing the whole block lets the same pass run on them.
  Transpose(x);
  MatrixPass(x, m, 16);
  Transpose(x);
  for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * i), x[i]);
}

// ---- The cases.

struct Case {
  std::string group;  // cases of one group share their two references
  std::string name;
  std::function<I32()> run;  // all blocks once
};

template <typename F>
std::function<I32()> OverBlocks(F f) {
  return [f] {
    const Data& d = D();
    I32 acc = 0;
    for (int o : d.offsets) acc += f(d.ref.data() + o, d.ref2.data() + o, d.cur.data() + o);
    return acc;
  };
}

template <typename F>
std::function<I32()> OverCoefficientBlocks(F f, bool pixels) {
  return [f, pixels] {
    const Data& d = D();
    I32 acc = 0;
    for (const Block& b : pixels ? d.pixels : d.coefficients) {
      Block work = b;
      f(work.data());
      acc += work[0];
    }
    return acc;
  };
}

std::vector<Case> Cases() {
  using zentra_test::ModelSad;
  using zentra_test::ModelSsd;
  using zentra_test::ModelBidir;
  std::vector<Case> c;
  auto add = [&](const std::string& g, const std::string& n, std::function<I32()> f) { c.push_back({g, n, std::move(f)}); };
  const int s = kStep;
  auto primSad = [s](PrimitiveStatus (*fn)(const U8*, I32, const U8*, I32, I32*, I32), int mode) {
    return OverBlocks([fn, s, mode](const U8* r, const U8*, const U8* cur) { I32 v = 0; fn(cur, s, r, s, &v, mode); return v; });
  };

  add("SAD 16x16", "plain", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return ModelSad(r, cur, s, 16, 16, Pred::Full); }));
  add("SAD 16x16", "sse2", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return SadSse2(r, cur, s, 16, Pred::Full); }));
  add("SAD 16x16", "Sad16x16_MmxExt", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return Sad16x16_MmxExt(r, cur, s); }));
  add("SAD 16x16", "Sad16xN_MmxExt", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return Sad16xN_MmxExt(r, cur, s, 16); }));
  add("SAD 16x16", "Sad16x16Limit_MmxExt", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return Sad16x16Limit_MmxExt(r, cur, s, 1 << 30); }));
  add("SAD 16x16", "Sad16xNLimit_MmxExt", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return Sad16xNLimit_MmxExt(r, cur, s, 16, 1 << 30); }));
  add("SAD 16x16", "ippiSAD16x16_8u32s_V1", primSad(&ippiSAD16x16_8u32s_V1, 0));
  add("SAD 16x16", "ippiSAD16x16_8u32s_V2", primSad(&ippiSAD16x16_8u32s_V2, 0));
  add("SAD 16x16", "ippiSAD16x16_8u32s_V3", primSad(&ippiSAD16x16_8u32s_V3, 0));
  add("SAD 16x16", "ippiSAD16x16_8u32s_V4", primSad(&ippiSAD16x16_8u32s_V4, 0));

  add("SAD 16x16 half X", "plain", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return ModelSad(r, cur, s, 16, 16, Pred::HalfX); }));
  add("SAD 16x16 half X", "sse2", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return SadSse2(r, cur, s, 16, Pred::HalfX); }));
  add("SAD 16x16 half X", "Sad16xNHalfX_MmxExt", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return Sad16xNHalfX_MmxExt(r, cur, s, 16); }));
  add("SAD 16x16 half X", "ippiSAD16x16_8u32s_V1", primSad(&ippiSAD16x16_8u32s_V1, 8));
  add("SAD 16x16 half X", "ippiSAD16x16_8u32s_V2", primSad(&ippiSAD16x16_8u32s_V2, 8));
  add("SAD 16x16 half X", "ippiSAD16x16_8u32s_V3", primSad(&ippiSAD16x16_8u32s_V3, 8));
  add("SAD 16x16 half X", "ippiSAD16x16_8u32s_V4", primSad(&ippiSAD16x16_8u32s_V4, 8));

  add("SAD 16x16 half Y", "plain", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return ModelSad(r, cur, s, 16, 16, Pred::HalfY); }));
  add("SAD 16x16 half Y", "sse2", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return SadSse2(r, cur, s, 16, Pred::HalfY); }));
  add("SAD 16x16 half Y", "Sad16xNHalfY_MmxExt", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return Sad16xNHalfY_MmxExt(r, cur, s, 16); }));

  add("SAD 16x16 diagonal", "plain", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return ModelSad(r, cur, s, 16, 16, Pred::DiagExact); }));
  add("SAD 16x16 diagonal", "sse2", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return SadSse2(r, cur, s, 16, Pred::DiagUpHorizontal); }));
  add("SAD 16x16 diagonal", "Sad16x16HalfXY_MmxExtA", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return Sad16x16HalfXY_MmxExtA(r, cur, s); }));
  add("SAD 16x16 diagonal", "Sad16xNHalfXY_MmxExt", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return Sad16xNHalfXY_MmxExt(r, cur, s, 16); }));
  add("SAD 16x16 diagonal", "Sad16xNHalfPel_MmxExt", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return Sad16xNHalfPel_MmxExt(r, cur, s, 16, 12); }));
  add("SAD 16x16 diagonal", "ippiSAD16x16_8u32s_V1", primSad(&ippiSAD16x16_8u32s_V1, 12));
  add("SAD 16x16 diagonal", "ippiSAD16x16_8u32s_V2", primSad(&ippiSAD16x16_8u32s_V2, 12));
  add("SAD 16x16 diagonal", "ippiSAD16x16_8u32s_V3", primSad(&ippiSAD16x16_8u32s_V3, 12));
  add("SAD 16x16 diagonal", "ippiSAD16x16_8u32s_V4", primSad(&ippiSAD16x16_8u32s_V4, 12));

  add("SAD 4x4", "plain", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return ModelSad(r, cur, s, 4, 4, Pred::Full); }));
  add("SAD 4x4", "sse2", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return Sad4x4Sse2(r, cur, s); }));
  add("SAD 4x4", "Sad4x4_MmxExt", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return Sad4x4_MmxExt(r, cur, s); }));
  add("SAD 4x4", "Sad4x4Limit_MmxExt", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return Sad4x4Limit_MmxExt(r, cur, s, 1 << 30); }));

  add("SSD 16x16 diagonal", "plain", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return ModelSsd(r, cur, s, 16, Pred::DiagExact); }));
  add("SSD 16x16 diagonal", "sse2", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return SsdSse2(r, cur, s, 16, Pred::DiagExact); }));
  add("SSD 16x16 diagonal", "Ssd16x16_Mmx", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return Ssd16x16_Mmx(r, cur, s, 12); }));
  add("SSD 16x16 diagonal", "Ssd16xN_Mmx", OverBlocks([s](const U8* r, const U8*, const U8* cur) { return Ssd16xN_Mmx(r, cur, s, 16, 12); }));

  add("SSD 16x16 two refs", "plain", OverBlocks([s](const U8* r, const U8* b, const U8* cur) {
        return ModelBidir(r, s, Pred::DiagExact, b, s, Pred::HalfY, cur, s, 16); }));
  add("SSD 16x16 two refs", "sse2", OverBlocks([s](const U8* r, const U8* b, const U8* cur) { return SsdBidirSse2(r, b, cur, s, Pred::DiagExact, Pred::HalfY); }));
  add("SSD 16x16 two refs", "SsdBidir16x16_MmxExt", OverBlocks([s](const U8* r, const U8* b, const U8* cur) { return SsdBidir16x16_MmxExt(r, b, cur, s, 12, 4); }));
  add("SSD 16x16 two refs", "SsdBidir16xN_Mmx", OverBlocks([s](const U8* r, const U8* b, const U8* cur) { return SsdBidir16xN_Mmx(r, b, cur, s, 16, 12, 4); }));
  for (auto [n, fn] : {std::pair{"ippiSqrDiff16x16B_8u32s_V1", &ippiSqrDiff16x16B_8u32s_V1}, {"ippiSqrDiff16x16B_8u32s_V2", &ippiSqrDiff16x16B_8u32s_V2},
                       {"ippiSqrDiff16x16B_8u32s_V3", &ippiSqrDiff16x16B_8u32s_V3}, {"ippiSqrDiff16x16B_8u32s_V4", &ippiSqrDiff16x16B_8u32s_V4}}) {
    add("SSD 16x16 two refs", n, OverBlocks([s, fn](const U8* r, const U8* b, const U8* cur) { I32 v = 0; fn(cur, s, r, s, 12, b, s, 4, &v); return v; }));
  }
  add("SSD 16x16 two refs full", "plain", OverBlocks([s](const U8* r, const U8* b, const U8* cur) {
        return ModelBidir(r, s, Pred::Full, b, s, Pred::Full, cur, s, 16); }));
  add("SSD 16x16 two refs full", "sse2", OverBlocks([s](const U8* r, const U8* b, const U8* cur) { return SsdBidirSse2(r, b, cur, s, Pred::Full, Pred::Full); }));
  for (auto [n, fn] : {std::pair{"ippiSqrDiff16x16B_8u32s_V1", &ippiSqrDiff16x16B_8u32s_V1}, {"ippiSqrDiff16x16B_8u32s_V2", &ippiSqrDiff16x16B_8u32s_V2},
                       {"ippiSqrDiff16x16B_8u32s_V3", &ippiSqrDiff16x16B_8u32s_V3}, {"ippiSqrDiff16x16B_8u32s_V4", &ippiSqrDiff16x16B_8u32s_V4}}) {
    add("SSD 16x16 two refs full", n, OverBlocks([s, fn](const U8* r, const U8* b, const U8* cur) { I32 v = 0; fn(cur, s, r, s, 0, b, s, 0, &v); return v; }));
  }

  add("Variance 16x16", "plain", OverBlocks([s](const U8* r, const U8*, const U8*) {
        std::uint32_t sum = 0, squares = 0;
        for (int y = 0; y < 16; ++y)
          for (int x = 0; x < 16; ++x) {
            sum += r[y * s + x];
            squares += r[y * s + x] * r[y * s + x];
          }
        return static_cast<I32>(squares - ((sum * sum) >> 8)); }));
  add("Variance 16x16", "sse2", OverBlocks([s](const U8* r, const U8*, const U8*) { return VarianceSse2(r, s); }));
  add("Variance 16x16", "Variance16x16_MmxA", OverBlocks([s](const U8* r, const U8*, const U8*) { return Variance16x16_MmxA(r, s); }));
  add("Variance 16x16", "Variance16xN_Mmx", OverBlocks([s](const U8* r, const U8*, const U8*) { return Variance16xN_Mmx(r, s, 16); }));

  add("Forward DCT", "plain", OverCoefficientBlocks([](std::int16_t* b) {
        Block in;
        std::copy(b, b + 64, in.begin());
        const Block out = zentra_test::ModelForward(in);
        std::copy(out.begin(), out.end(), b); }, true));
  add("Forward DCT", "sse2", OverCoefficientBlocks([](std::int16_t* b) { MatrixDctSse2(b, kMatrix.forward); }, true));
  add("Forward DCT", "Fdct8x8_Ipp", OverCoefficientBlocks([](std::int16_t* b) { Fdct8x8_Ipp(b); }, true));
  add("Inverse DCT", "plain", OverCoefficientBlocks([](std::int16_t* b) {
        Block in;
        std::copy(b, b + 64, in.begin());
        const Block out = zentra_test::ModelInverse(in);
        std::copy(out.begin(), out.end(), b); }, false));
  add("Inverse DCT", "sse2", OverCoefficientBlocks([](std::int16_t* b) { MatrixDctSse2(b, kMatrix.inverse); }, false));
  add("Inverse DCT", "Idct8x8_IppSse2", OverCoefficientBlocks([](std::int16_t* b) { Idct8x8_IppSse2(b); }, false));
  add("Inverse DCT", "Idct8x8_IppMmx", OverCoefficientBlocks([](std::int16_t* b) { Idct8x8_IppMmx(b); }, false));
  return c;
}

// Per case: ns per block, times faster than the plain reference, time over the SSE2 reference.
class RatioReporter : public MedianReporter {
 public:
  void PrintRatios(const std::vector<Case>& cases) const {
    std::printf("\n%-26s %-28s %9s %12s %12s\n", "operation", "build", "ns/block", "x plain", "/ sse2 ref");
    for (const Case& c : cases) {
      if (c.name == "plain" || c.name == "sse2") continue;
      const double t = Time(c.group + "/" + c.name), plain = Time(c.group + "/plain"), sse2 = Time(c.group + "/sse2");
      if (t <= 0) continue;
      std::printf("%-26s %-28s %9.1f %12.1f %12.2f\n", c.group.c_str(), c.name.c_str(), t / kBlocks, plain / t, t / sse2);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::vector<Case> cases = Cases();
  for (const Case& c : cases) {
    benchmark::RegisterBenchmark((c.group + "/" + c.name).c_str(), [run = c.run](benchmark::State& state) {
      for (auto _ : state) benchmark::DoNotOptimize(run());
    });
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios(cases);
  benchmark::Shutdown();
  return 0;
}
