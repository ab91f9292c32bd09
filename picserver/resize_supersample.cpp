// Area-averaging reduction: each destination sample is the mean of the source
// area it covers, source samples covered in part weighted by the covered
// fraction. The selector fixes the geometry; one generic core, instantiated per
// sample type and channel layout, walks the destination row by row.
#include <zentra/resize.h>
#include <zentra/resize_drivers.h>

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

namespace zentra {

namespace {

constexpr double kFractionEpsilon = 1e-7;

// The source samples (or rows) that the destination samples of one axis cover:
// taps begin[d] .. begin[d+1]-1 with their indices and weights, and the factor
// that turns a destination's weighted sum into its mean.
struct AxisTaps {
  std::int32_t* begin = nullptr;
  std::int32_t* index = nullptr;
  double* weight = nullptr;
  double* scale = nullptr;
  std::int32_t span = 0;  // highest index read + 1
};

// Walks r source samples per destination sample: whole samples with weight 1, a
// sample shared by two destinations split by its fractions, fractions of 1e-7
// or less skipped. visit(d, index, weight) sees every tap, also those past the
// region's end (limit), which the caller drops.
template <typename Visit>
void WalkAxis(std::int32_t count, double r, std::int32_t limit, Visit visit) {
  // A factor so small that its ratio is not finite covers the whole region
  // anyway; beyond 1e18 samples no region reaches.
  r = std::min(r, 1e18);
  std::int64_t at = 0;
  // k whole samples from `at`: those inside the region one by one, the rest,
  // all past its end, as one visit (they are dropped all the same).
  auto wholeRun = [&](std::int32_t d, double k) {
    const double room = static_cast<double>(std::max<std::int64_t>(limit - at, 0));
    const auto inside = static_cast<std::int64_t>(std::min(k, room));
    for (std::int64_t n = 0; n < inside; ++n) visit(d, at++, 1.0);
    if (k > static_cast<double>(inside)) {
      visit(d, std::max<std::int64_t>(at, limit), 1.0);
      at = std::max<std::int64_t>(at, limit) + 1;
    }
  };
  const double whole = std::floor(r);
  wholeRun(0, whole);
  double carried = r - whole;
  if (carried > kFractionEpsilon) visit(0, at, carried);
  for (std::int32_t d = 1; d < count; ++d) {
    const double rem = 1.0 - carried;
    if (rem > kFractionEpsilon) visit(d, at, rem);
    ++at;
    const double k = std::floor(r - rem + kFractionEpsilon);
    wholeRun(d, k);
    carried = (r - rem) - k;
    if (carried > kFractionEpsilon) visit(d, at, carried);
  }
}

// Fills the taps of one axis from blocks of the aligned allocator; false when
// one cannot be had. Taps past the region are dropped, and a destination that
// lost some takes the mean of what remains (factor 1/weight) instead of factor.
bool BuildAxisTaps(std::int32_t count, double r, double factor, std::int32_t limit, AxisTaps& a,
                   void* (*take)(void*, std::int64_t), void* owner) {
  // Room for every tap: a sample of the region serves at most two
  // destinations, and a destination left without taps takes one.
  const std::int64_t total = std::int64_t{limit} + 2 * std::int64_t{count};
  a.begin = static_cast<std::int32_t*>(take(owner, (std::int64_t{count} + 1) * 4));
  a.index = static_cast<std::int32_t*>(take(owner, total * 4));
  a.weight = static_cast<double*>(take(owner, total * 8));
  a.scale = static_cast<double*>(take(owner, std::int64_t{count} * 8));
  if (a.begin == nullptr || a.index == nullptr || a.weight == nullptr || a.scale == nullptr) return false;
  std::int32_t n = 0;
  std::int32_t current = -1;
  double kept = 0.0;
  bool cut = false;
  auto close = [&](std::int32_t d) {
    if (d < 0) return;
    if (n == a.begin[d]) {  // everything lay past the region: take its last sample
      a.index[n] = limit - 1;
      a.weight[n++] = 1.0;
      kept = 1.0;
      cut = true;
    }
    a.scale[d] = cut ? 1.0 / kept : factor;
  };
  WalkAxis(count, r, limit, [&](std::int32_t d, std::int64_t index, double w) {
    while (current < d) {
      close(current);
      a.begin[++current] = n;
      kept = 0.0;
      cut = false;
    }
    if (index >= limit) {
      cut = true;
      return;
    }
    a.index[n] = static_cast<std::int32_t>(index);
    a.weight[n++] = w;
    kept += w;
    a.span = std::max(a.span, static_cast<std::int32_t>(index) + 1);
  });
  while (current < count - 1) {  // destinations the walk never reached
    close(current);
    a.begin[++current] = n;
    kept = 0.0;
    cut = false;
  }
  close(current);
  a.begin[count] = n;
  a.span = std::max(a.span, a.index[n - 1] + 1);
  return true;
}

// The x taps of the 8-bit one-channel core laid out for whole vectors: every
// column reads `count` (a multiple of 4) accumulator values from its first
// index, with zero weights past its own taps.
struct FixedTaps {
  bool avx2 = false;  // the build of the two passes: 256-bit or 128-bit
  std::int32_t count = 0;
  std::int32_t* first = nullptr;
  float* weight = nullptr;  // weight[k * count + t]
  // The 256-bit build's copy for whole blocks of eight columns: per block and
  // group of four taps, four vectors, each the taps of column l and column l+4.
  float* paired = nullptr;
  bool uniformScale = true;  // no column lost taps at the region's end
};

// The byte core's columns-first plan: columns in groups of four whose taps all
// lie in one 16-byte window from `base`. Each column's taps that weigh 1 are
// summed as integers, its (at most two) fractional taps, the first F and the
// last L, are weighted in float: per step of eight columns (two groups side by
// side, as a 256-bit register holds them; the last step padded with empty
// columns) three byte shuffles of 32 bytes, group h and column l at
// 16h + 4l: the whole taps' bytes of each column, F's byte and L's byte
// (0x80: none, zero), and F's and L's weights as eight floats each.
struct ByteWindows {
  std::int32_t steps = 0;           // 0: the columns do not fit windows
  std::int32_t* base = nullptr;     // per group of four
  std::uint8_t* shuffle = nullptr;  // per step 3 x 32 bytes
  float* weight = nullptr;          // per step 2 x 8 floats
  // The same per column for the 128-bit pass, which has no byte shuffle: the
  // first whole tap's offset in the window, the count of whole taps, F's and
  // L's offsets (-1: none).
  std::int8_t* column = nullptr;
  std::int32_t direct = 0;          // leading groups whose window lies inside the span; later ones are copied out
};

// What the byte core of one channel works from.
struct ByteTaps {
  FixedTaps fixed;
  ByteWindows windows;
  const std::uint8_t** wholeRows = nullptr;  // room for the tallest destination row's rows
  // Every tap weighs 1 (whole ratios both ways): exact integer sums, as the
  // integral reductions are defined.
  bool integral = false;
};

bool BuildFixedTaps(const AxisTaps& x, std::int32_t width, FixedTaps& f,
                    void* (*take)(void*, std::int64_t), void* owner) {
  for (std::int32_t k = 0; k < width; ++k) {
    const std::int32_t lo = x.index[x.begin[k]], hi = x.index[x.begin[k + 1] - 1];
    f.count = std::max(f.count, (hi - lo + 4) & ~3);
  }
  f.first = static_cast<std::int32_t*>(take(owner, std::int64_t{width} * 4));
  f.weight = static_cast<float*>(take(owner, std::int64_t{width} * f.count * 4));
  if (f.first == nullptr || f.weight == nullptr) return false;
  std::fill_n(f.weight, std::int64_t{width} * f.count, 0.0f);
  for (std::int32_t k = 0; k < width; ++k) {
    f.first[k] = x.index[x.begin[k]];
    for (std::int32_t t = x.begin[k]; t < x.begin[k + 1]; ++t)
      f.weight[std::int64_t{k} * f.count + x.index[t] - f.first[k]] = static_cast<float>(x.weight[t]);
  }
  for (std::int32_t k = 1; k < width; ++k) f.uniformScale = f.uniformScale && x.scale[k] == x.scale[0];
  if (!f.avx2 || width < 8) return true;
  f.paired = static_cast<float*>(take(owner, std::int64_t{width / 8} * 8 * f.count * 4));
  if (f.paired == nullptr) return false;
  float* out = f.paired;
  for (std::int32_t k = 0; k + 8 <= width; k += 8)
    for (std::int32_t t = 0; t < f.count; t += 4)
      for (int l = 0; l < 4; ++l, out += 8) {
        std::copy_n(f.weight + std::int64_t{k + l} * f.count + t, 4, out);
        std::copy_n(f.weight + std::int64_t{k + l + 4} * f.count + t, 4, out + 4);
      }
  return true;
}

// Lays the fixed taps out as byte windows; steps stay 0 when some column has
// taps over more than four bytes or more than two fractional ones, or four
// columns span more than 16 bytes.
bool BuildByteWindows(const FixedTaps& f, std::int32_t width, std::int32_t span, ByteWindows& b,
                      void* (*take)(void*, std::int64_t), void* owner) {
  if (f.count != 4) return true;
  const std::int32_t groups = (width + 3) / 4;
  for (std::int32_t g = 0; g < groups; ++g) {
    const std::int32_t last = std::min(4 * g + 3, width - 1);
    if (f.first[last] + 3 - f.first[4 * g] > 15) return true;
  }
  for (std::int64_t k = 0; k < width; ++k) {
    const float* w = f.weight + 4 * k;
    if ((w[0] != 0.0f && w[0] != 1.0f) + (w[1] != 0.0f && w[1] != 1.0f) + (w[2] != 0.0f && w[2] != 1.0f) +
            (w[3] != 0.0f && w[3] != 1.0f) > 2)
      return true;
  }
  const std::int32_t steps = (groups + 1) / 2;
  b.base = static_cast<std::int32_t*>(take(owner, std::int64_t{steps} * 2 * 4));
  b.shuffle = static_cast<std::uint8_t*>(take(owner, std::int64_t{steps} * 96));
  b.weight = static_cast<float*>(take(owner, std::int64_t{steps} * 64));
  b.column = static_cast<std::int8_t*>(take(owner, std::int64_t{steps} * 32));
  if (b.base == nullptr || b.shuffle == nullptr || b.weight == nullptr || b.column == nullptr) return false;
  std::fill_n(b.shuffle, std::int64_t{steps} * 96, std::uint8_t{0x80});
  std::fill_n(b.weight, std::int64_t{steps} * 16, 0.0f);
  for (std::int64_t k = 0; k < std::int64_t{steps} * 8; ++k) {
    const std::int8_t none[4] = {0, 0, -1, -1};
    std::memcpy(b.column + 4 * k, none, 4);
  }
  for (std::int32_t g = 0; g < 2 * steps; ++g) {
    b.base[g] = g < groups ? f.first[4 * g] : b.base[g - 1];
    for (std::int32_t l = 0; l < 4 && 4 * g + l < width; ++l) {
      const std::int32_t k = 4 * g + l;
      std::uint8_t* shuffle = b.shuffle + std::int64_t{g / 2} * 96 + 16 * (g % 2) + 4 * l;
      float* weight = b.weight + std::int64_t{g / 2} * 16 + 4 * (g % 2) + l;
      std::int8_t* column = b.column + 4 * std::int64_t{k};
      int whole = 0, fractional = 0;
      for (std::int32_t t = 0; t < 4; ++t) {
        const float w = f.weight[std::int64_t{k} * 4 + t];
        const auto at = static_cast<std::uint8_t>(f.first[k] - b.base[g] + t);
        if (w == 1.0f) {
          if (whole == 0) column[0] = static_cast<std::int8_t>(at);
          shuffle[whole++] = at;
          column[1] = static_cast<std::int8_t>(whole);
        } else if (w != 0.0f) {
          column[2 + fractional] = static_cast<std::int8_t>(at);
          shuffle[32 * (1 + fractional)] = at;
          weight[8 * fractional++] = w;
        }
      }
    }
  }
  while (b.direct < 2 * steps && b.base[b.direct] + 16 <= span) ++b.direct;
  b.steps = steps;
  return true;
}

// The 16 bytes of a window; one that reaches past the span is copied out, the
// bytes past it zero (no tap reads them).
inline const std::uint8_t* Window(const std::uint8_t* row, std::int32_t span, const ByteWindows& b,
                                  std::int32_t group, std::uint8_t* copy) {
  const std::int32_t from = b.base[group];
  if (group < b.direct) return row + from;
  std::memset(copy, 0, 16);
  if (span > from) std::memcpy(copy, row + from, static_cast<std::size_t>(std::min(16, span - from)));
  return copy;
}

// A group of source rows of one weight entering a destination row in the
// columns-first pass: the rows, their weight (every row weighing 1 forms one
// group; a fractional row is a group of its own), whether the group comes
// first (its products are stored, not added), the weight with which the next
// destination row starts from the group's row when the two share it (`next`
// then receives those products), and, for the last group, where the
// destination row goes.
template <typename Acc>
struct RowGroup {
  const std::uint8_t* const* rows = nullptr;
  std::int32_t count = 0;
  float weight = 1.0f;
  bool first = true;
  Acc* next = nullptr;
  float nextWeight = 1.0f;
  std::uint8_t* out = nullptr;
  double rowScale = 1.0;
};

// The mean of a destination sample from its sum: sum x area + 0.5 in double,
// truncated.
inline std::uint8_t MeanByte(double sum, double area) {
  return static_cast<std::uint8_t>(std::clamp(std::trunc(sum * area + 0.5), 0.0, 255.0));
}

template <typename Acc>
void MeanBytes(const Acc* sums, const AxisTaps& x, std::int32_t k, std::int32_t n, std::int32_t width,
               double rowScale, std::uint8_t* out) {
  for (std::int32_t l = 0; l < n && k + l < width; ++l)
    out[k + l] = MeanByte(static_cast<double>(sums[l]), rowScale * x.scale[k + l]);
}

// A group's contribution, four columns a step: over its rows the integer sums
// I of the whole taps and of the F and L bytes, then the sum
// float(I) + (wF float(F) + wL float(L)) (integral: I alone) times the group's
// weight, added into acc (or stored there for the first group).
template <typename Acc>
void GroupRow(const RowGroup<Acc>& group, std::int32_t span, const ByteWindows& b, const AxisTaps& x,
              std::int32_t width, Acc* acc) {
  alignas(16) std::uint8_t copy[16];
  const __m128 weight = _mm_set1_ps(group.weight), nextWeight = _mm_set1_ps(group.nextWeight);
  for (std::int32_t g = 0; g < 2 * b.steps; ++g) {
    const std::int8_t* column = b.column + 16 * std::int64_t{g};
    alignas(16) std::int32_t sums[3][4] = {};
    for (std::int32_t r = 0; r < group.count; ++r) {
      const std::uint8_t* window = Window(group.rows[r], span, b, g, copy);
      for (int l = 0; l < 4; ++l) {
        const std::int8_t* c = column + 4 * l;
        for (int t = 0; t < c[1]; ++t) sums[0][l] += window[c[0] + t];
        if (c[2] >= 0) sums[1][l] += window[c[2]];
        if (c[3] >= 0) sums[2][l] += window[c[3]];
      }
    }
    const __m128i whole = _mm_load_si128(reinterpret_cast<const __m128i*>(sums[0]));
    alignas(16) Acc out[4];
    if constexpr (std::is_same_v<Acc, float>) {
      const float* wt = b.weight + std::int64_t{g / 2} * 16 + 4 * (g % 2);
      const __m128 f = _mm_mul_ps(_mm_cvtepi32_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(sums[1]))),
                                  _mm_load_ps(wt));
      const __m128 l = _mm_mul_ps(_mm_cvtepi32_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(sums[2]))),
                                  _mm_load_ps(wt + 8));
      const __m128 h = _mm_add_ps(_mm_cvtepi32_ps(whole), _mm_add_ps(f, l));
      if (group.next != nullptr) _mm_storeu_ps(group.next + 4 * g, _mm_mul_ps(h, nextWeight));
      const __m128 wh = _mm_mul_ps(h, weight);
      _mm_store_ps(out, group.first ? wh : _mm_add_ps(_mm_loadu_ps(acc + 4 * g), wh));
    } else {
      if (group.next != nullptr) _mm_storeu_si128(reinterpret_cast<__m128i*>(group.next + 4 * g), whole);
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(acc + 4 * g));
      _mm_store_si128(reinterpret_cast<__m128i*>(out), group.first ? whole : _mm_add_epi32(a, whole));
    }
    if (group.out != nullptr) MeanBytes(out, x, 4 * g, 4, width, group.rowScale, group.out);
    else std::memcpy(acc + 4 * g, out, sizeof out);
  }
}

// Sum of weighted rows of bytes into acc, sixteen columns a step, each column's
// sum kept in registers over all the rows.
void AccumulateRows8u(const std::uint8_t* const* rows, const float* weights, std::int32_t count,
                      std::int64_t n, float* acc) {
  const __m128i zero = _mm_setzero_si128();
  std::int64_t j = 0;
  for (; j + 16 <= n; j += 16) {
    __m128 s[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    for (std::int32_t r = 0; r < count; ++r) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + j));
      const __m128i lo = _mm_unpacklo_epi8(bytes, zero), hi = _mm_unpackhi_epi8(bytes, zero);
      const __m128 w = _mm_set1_ps(weights[r]);
      s[0] = _mm_add_ps(s[0], _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)), w));
      s[1] = _mm_add_ps(s[1], _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero)), w));
      s[2] = _mm_add_ps(s[2], _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero)), w));
      s[3] = _mm_add_ps(s[3], _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero)), w));
    }
    for (int q = 0; q < 4; ++q) _mm_storeu_ps(acc + j + 4 * q, s[q]);
  }
  for (; j < n; ++j) {
    float sum = 0.0f;
    for (std::int32_t r = 0; r < count; ++r) sum += static_cast<float>(rows[r][j]) * weights[r];
    acc[j] = sum;
  }
}

// Horizontal pass of the 8-bit one-channel core, four columns a step: each
// column's taps as one vector times its weights, the four products transposed
// and added; the sums in float, their product with the area in double, rounded
// half up.
void WriteRow8u(const float* acc, const FixedTaps& f, const AxisTaps& x, std::int32_t width,
                double rowScale, std::uint8_t* out) {
  std::int32_t k = 0;
  const __m128d half = _mm_set1_pd(0.5), rs = _mm_set1_pd(rowScale);
  for (; k + 4 <= width; k += 4) {
    const float* w = f.weight + std::int64_t{k} * f.count;
    __m128 s = _mm_setzero_ps();
    for (std::int32_t t = 0; t < f.count; t += 4) {
      __m128 c0 = _mm_mul_ps(_mm_loadu_ps(acc + f.first[k] + t), _mm_loadu_ps(w + t));
      __m128 c1 = _mm_mul_ps(_mm_loadu_ps(acc + f.first[k + 1] + t), _mm_loadu_ps(w + f.count + t));
      __m128 c2 = _mm_mul_ps(_mm_loadu_ps(acc + f.first[k + 2] + t), _mm_loadu_ps(w + 2 * f.count + t));
      __m128 c3 = _mm_mul_ps(_mm_loadu_ps(acc + f.first[k + 3] + t), _mm_loadu_ps(w + 3 * f.count + t));
      _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
      s = _mm_add_ps(s, _mm_add_ps(_mm_add_ps(c0, c1), _mm_add_ps(c2, c3)));
    }
    const __m128d lo = _mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(s), _mm_mul_pd(rs, _mm_loadu_pd(x.scale + k))), half);
    const __m128d hi = _mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(s, s)), _mm_mul_pd(rs, _mm_loadu_pd(x.scale + k + 2))), half);
    const __m128i n = _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
    const __m128i words = _mm_packs_epi32(n, n);
    const std::int32_t four = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
    std::memcpy(out + k, &four, 4);
  }
  for (; k < width; ++k) {
    const float* w = f.weight + std::int64_t{k} * f.count;
    // Each group of four taps added in pairs, as the vector lanes add them.
    const float* a = acc + f.first[k];
    float sum = 0.0f;
    for (std::int32_t t = 0; t < f.count; t += 4)
      sum += (a[t] * w[t] + a[t + 1] * w[t + 1]) + (a[t + 2] * w[t + 2] + a[t + 3] * w[t + 3]);
    out[k] = static_cast<std::uint8_t>(std::clamp(std::trunc(static_cast<double>(sum) * (rowScale * x.scale[k]) + 0.5), 0.0, 255.0));
  }
}

// The same two passes eight and thirty-two columns a step with 256-bit
// registers, in the same order of operations, so the results are the same.
#define ZENTRA_AVX2 __attribute__((target("avx2")))

ZENTRA_AVX2 void AccumulateRows8uAvx2(const std::uint8_t* const* rows, const float* weights,
                                      std::int32_t count, std::int64_t n, float* acc) {
  std::int64_t j = 0;
  for (; j + 32 <= n; j += 32) {
    __m256 s[4] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
    for (std::int32_t r = 0; r < count; ++r) {
      const __m256 w = _mm256_set1_ps(weights[r]);
      const bool whole = weights[r] == 1.0f;  // x * 1 is x: the multiply can go
      for (int q = 0; q < 4; ++q) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[r] + j + 8 * q));
        const __m256 v = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes));
        s[q] = _mm256_add_ps(s[q], whole ? v : _mm256_mul_ps(v, w));
      }
    }
    for (int q = 0; q < 4; ++q) _mm256_storeu_ps(acc + j + 8 * q, s[q]);
  }
  if (j < n) {
    const std::uint8_t* rest[64];
    for (std::int32_t r = 0; r < count; ++r) rest[r] = rows[r] + j;
    AccumulateRows8u(rest, weights, count, n - j, acc + j);
  }
}

// Four floats at lo in the low half, four at hi in the high half.
ZENTRA_AVX2 inline __m256 LoadPair(const float* lo, const float* hi) {
  return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(lo)), _mm_loadu_ps(hi), 1);
}

ZENTRA_AVX2 void WriteRow8uAvx2(const float* acc, const FixedTaps& f, const AxisTaps& x,
                                std::int32_t width, double rowScale, std::uint8_t* out) {
  std::int32_t k = 0;
  const __m256d half = _mm256_set1_pd(0.5), rs = _mm256_set1_pd(rowScale);
  const __m256d area = _mm256_set1_pd(rowScale * x.scale[0]);
  for (; k + 8 <= width; k += 8) {
    const float* w = f.paired + std::int64_t{k} * f.count;
    const std::int32_t* first = f.first + k;
    __m256 s = _mm256_setzero_ps();
    for (std::int32_t t = 0; t < f.count; t += 4, w += 32) {
      const __m256 p0 = _mm256_mul_ps(LoadPair(acc + first[0] + t, acc + first[4] + t), _mm256_loadu_ps(w));
      const __m256 p1 = _mm256_mul_ps(LoadPair(acc + first[1] + t, acc + first[5] + t), _mm256_loadu_ps(w + 8));
      const __m256 p2 = _mm256_mul_ps(LoadPair(acc + first[2] + t, acc + first[6] + t), _mm256_loadu_ps(w + 16));
      const __m256 p3 = _mm256_mul_ps(LoadPair(acc + first[3] + t, acc + first[7] + t), _mm256_loadu_ps(w + 24));
      s = _mm256_add_ps(s, _mm256_hadd_ps(_mm256_hadd_ps(p0, p1), _mm256_hadd_ps(p2, p3)));
    }
    const __m256d areaLo = f.uniformScale ? area : _mm256_mul_pd(rs, _mm256_loadu_pd(x.scale + k));
    const __m256d areaHi = f.uniformScale ? area : _mm256_mul_pd(rs, _mm256_loadu_pd(x.scale + k + 4));
    const __m256d lo = _mm256_add_pd(_mm256_mul_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(s)), areaLo), half);
    const __m256d hi = _mm256_add_pd(_mm256_mul_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(s, 1)), areaHi), half);
    const __m128i words = _mm_packs_epi32(_mm256_cvttpd_epi32(lo), _mm256_cvttpd_epi32(hi));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(words, words));
  }
  if (k < width) {
    // The last columns by the 128-bit pass, on shifted views of the tables.
    FixedTaps rest = f;
    rest.first += k;
    rest.weight += std::int64_t{k} * f.count;
    AxisTaps restX = x;
    restX.scale += k;
    WriteRow8u(acc, rest, restX, width - k, rowScale, out + k);
  }
}

// The columns-first pass eight columns a step: two windows in the two halves
// of a 256-bit register, byte shuffles for the whole taps (summed by two
// multiply-adds with ones) and for F and L; the same sums as the four-column
// pass.
// Rows is the group's row count when known at compile time (1 or 2), else 0;
// Out whether the group is the destination row's last.
template <typename Acc, int Rows, bool Out>
ZENTRA_AVX2 void GroupRowAvx2(const RowGroup<Acc>& group, std::int32_t span, const ByteWindows& b,
                              const AxisTaps& x, bool uniform, std::int32_t width, Acc* acc) {
  alignas(16) std::uint8_t copy[2][16];
  const __m256 weight = _mm256_set1_ps(group.weight), nextWeight = _mm256_set1_ps(group.nextWeight);
  const __m256d half = _mm256_set1_pd(0.5), rs = _mm256_set1_pd(group.rowScale);
  const __m256d area = _mm256_set1_pd(group.rowScale * x.scale[0]);
  const __m256i ones8 = _mm256_set1_epi8(1), ones16 = _mm256_set1_epi16(1);
  const std::int32_t steps = b.steps, direct = b.direct, count = Rows > 0 ? Rows : group.count;
  const std::int32_t* base = b.base;
  const std::uint8_t* const* rows = group.rows;
  const bool first = group.first;
  Acc* next = group.next;
  std::uint8_t* out = group.out;
  for (std::int32_t step = 0; step < steps; ++step) {
    const std::int32_t g = 2 * step;
    const auto* shuffle = reinterpret_cast<const __m256i*>(b.shuffle + std::int64_t{step} * 96);
    const __m256i wholeShuffle = _mm256_load_si256(shuffle), fShuffle = _mm256_load_si256(shuffle + 1);
    const __m256i lShuffle = _mm256_load_si256(shuffle + 2);
    __m256i whole = _mm256_setzero_si256(), fBytes = _mm256_setzero_si256(), lBytes = _mm256_setzero_si256();
    for (std::int32_t r = 0; r < count; ++r) {
      const std::uint8_t* row = rows[r];
      const __m128i lo = _mm_loadu_si128(
          reinterpret_cast<const __m128i*>(g < direct ? row + base[g] : Window(row, span, b, g, copy[0])));
      const __m128i up = _mm_loadu_si128(reinterpret_cast<const __m128i*>(
          g + 1 < direct ? row + base[g + 1] : Window(row, span, b, g + 1, copy[1])));
      const __m256i bytes = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), up, 1);
      const __m256i pairs = _mm256_maddubs_epi16(_mm256_shuffle_epi8(bytes, wholeShuffle), ones8);
      whole = _mm256_add_epi32(whole, _mm256_madd_epi16(pairs, ones16));
      fBytes = _mm256_add_epi32(fBytes, _mm256_shuffle_epi8(bytes, fShuffle));
      lBytes = _mm256_add_epi32(lBytes, _mm256_shuffle_epi8(bytes, lShuffle));
    }
    Acc* a = acc + 8 * step;
    __m256 sum;
    __m256i sumWhole;
    __m256d sumLo, sumUp;
    if constexpr (std::is_same_v<Acc, float>) {
      const float* wt = b.weight + std::int64_t{step} * 16;
      const __m256 f = _mm256_mul_ps(_mm256_cvtepi32_ps(fBytes), _mm256_load_ps(wt));
      const __m256 l = _mm256_mul_ps(_mm256_cvtepi32_ps(lBytes), _mm256_load_ps(wt + 8));
      const __m256 h = _mm256_add_ps(_mm256_cvtepi32_ps(whole), _mm256_add_ps(f, l));
      if (next != nullptr) _mm256_storeu_ps(next + 8 * step, _mm256_mul_ps(h, nextWeight));
      const __m256 wh = _mm256_mul_ps(h, weight);
      sum = first ? wh : _mm256_add_ps(_mm256_loadu_ps(a), wh);
      if constexpr (!Out) {
        _mm256_storeu_ps(a, sum);
        continue;
      }
      sumLo = _mm256_cvtps_pd(_mm256_castps256_ps128(sum)), sumUp = _mm256_cvtps_pd(_mm256_extractf128_ps(sum, 1));
    } else {
      if (next != nullptr) _mm256_storeu_si256(reinterpret_cast<__m256i*>(next + 8 * step), whole);
      sumWhole = first ? whole : _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a)), whole);
      if constexpr (!Out) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(a), sumWhole);
        continue;
      }
      sumLo = _mm256_cvtepi32_pd(_mm256_castsi256_si128(sumWhole));
      sumUp = _mm256_cvtepi32_pd(_mm256_extracti128_si256(sumWhole, 1));
    }
    // The last group of the destination row: its bytes.
    const std::int32_t k = 8 * step;
    if (k + 8 > width) {
      alignas(32) Acc sums[8];
      if constexpr (std::is_same_v<Acc, float>) _mm256_store_ps(sums, sum);
      else _mm256_store_si256(reinterpret_cast<__m256i*>(sums), sumWhole);
      MeanBytes(sums, x, k, 8, width, group.rowScale, out);
      continue;
    }
    const __m256d areaLo = uniform ? area : _mm256_mul_pd(rs, _mm256_loadu_pd(x.scale + k));
    const __m256d areaUp = uniform ? area : _mm256_mul_pd(rs, _mm256_loadu_pd(x.scale + k + 4));
    sumLo = _mm256_add_pd(_mm256_mul_pd(sumLo, areaLo), half);
    sumUp = _mm256_add_pd(_mm256_mul_pd(sumUp, areaUp), half);
    const __m128i words = _mm_packs_epi32(_mm256_cvttpd_epi32(sumLo), _mm256_cvttpd_epi32(sumUp));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(words, words));
  }
}

// Columns first: the source rows of a destination row in groups (all rows that
// weigh 1 together, each fractional row alone; the row shared with the
// previous destination row has already started its sums), each summed over
// the destination columns' taps in one pass; a row shared with the next
// destination row also starts that row's sums. Two rows of sums take turns.
template <typename Acc>
void ColumnsFirst8u(const std::uint8_t* src, std::uint8_t* dst, std::int32_t srcStep, std::int32_t dstStep,
                    std::int32_t width, std::int32_t height, const AxisTaps& x, const AxisTaps& y,
                    const ByteTaps& taps, Acc* acc, Acc* started) {
  const ByteWindows& b = taps.windows;
  const bool avx2 = taps.fixed.avx2;
  auto run = [&](const RowGroup<Acc>& group) {
    const bool uniform = taps.fixed.uniformScale;
    const bool out = group.out != nullptr;
    if (!avx2) GroupRow(group, x.span, b, x, width, acc);
    else if (group.count == 1) (out ? GroupRowAvx2<Acc, 1, true> : GroupRowAvx2<Acc, 1, false>)(group, x.span, b, x, uniform, width, acc);
    else if (group.count == 2) (out ? GroupRowAvx2<Acc, 2, true> : GroupRowAvx2<Acc, 2, false>)(group, x.span, b, x, uniform, width, acc);
    else (out ? GroupRowAvx2<Acc, 0, true> : GroupRowAvx2<Acc, 0, false>)(group, x.span, b, x, uniform, width, acc);
  };
  bool begun = false;  // acc holds the products of this destination row's shared first row
  for (std::int32_t i = 0; i < height; ++i) {
    const std::int32_t from = begun ? y.begin[i] + 1 : y.begin[i], to = y.begin[i + 1];
    const bool shared = i + 1 < height && to < y.begin[i + 2] && y.index[to] == y.index[to - 1];
    std::uint8_t* out = dst + std::int64_t{i} * dstStep;
    // The rows that weigh 1, then each fractional row, in row order.
    std::int32_t whole = 0;
    for (std::int32_t t = from; t < to; ++t)
      if (y.weight[t] == 1.0) taps.wholeRows[whole++] = src + std::int64_t{y.index[t]} * srcStep;
    const std::int32_t fractional = (to - from) - whole;
    bool first = !begun;
    if (whole > 0) {
      RowGroup<Acc> group;
      group.rows = taps.wholeRows;
      group.count = whole;
      group.first = first;
      if (fractional == 0) group.out = out, group.rowScale = y.scale[i];
      run(group);
      first = false;
    }
    for (std::int32_t t = from, left = fractional; t < to; ++t) {
      if (y.weight[t] == 1.0) continue;
      const std::uint8_t* row = src + std::int64_t{y.index[t]} * srcStep;
      RowGroup<Acc> group;
      group.rows = &row;
      group.count = 1;
      group.weight = static_cast<float>(y.weight[t]);
      group.first = first;
      if (--left == 0) {
        group.out = out, group.rowScale = y.scale[i];
        if (shared && t == to - 1) group.next = started, group.nextWeight = static_cast<float>(y.weight[to]);
      }
      run(group);
      first = false;
    }
    if (first) {
      // Nothing but the shared row: its products are the sums.
      for (std::int32_t k = 0; k < width; k += 8) MeanBytes(acc + k, x, k, 8, width, y.scale[i], out);
    }
    std::swap(acc, started);
    begun = shared;
  }
}

// Accumulates source rows into the accumulator row: integer sums when every
// row weighs 1, float sums of sample x weight otherwise.
template <typename T>
using IntegerSum = std::conditional_t<std::is_same_v<T, std::uint8_t>, std::uint32_t, std::uint64_t>;

template <typename T>
void AddRowWhole(const T* row, std::int64_t n, IntegerSum<T>* acc) {
  std::int64_t j = 0;
  if constexpr (std::is_same_v<T, std::uint8_t>) {
    const __m128i zero = _mm_setzero_si128();
    for (; j + 16 <= n; j += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + j));
      const __m128i lo = _mm_unpacklo_epi8(bytes, zero), hi = _mm_unpackhi_epi8(bytes, zero);
      __m128i* a = reinterpret_cast<__m128i*>(acc + j);
      _mm_storeu_si128(a + 0, _mm_add_epi32(_mm_loadu_si128(a + 0), _mm_unpacklo_epi16(lo, zero)));
      _mm_storeu_si128(a + 1, _mm_add_epi32(_mm_loadu_si128(a + 1), _mm_unpackhi_epi16(lo, zero)));
      _mm_storeu_si128(a + 2, _mm_add_epi32(_mm_loadu_si128(a + 2), _mm_unpacklo_epi16(hi, zero)));
      _mm_storeu_si128(a + 3, _mm_add_epi32(_mm_loadu_si128(a + 3), _mm_unpackhi_epi16(hi, zero)));
    }
  }
  for (; j < n; ++j) acc[j] += row[j];
}

template <typename T>
void AddRowWeighted(const T* row, std::int64_t n, float w, float* acc) {
  std::int64_t j = 0;
  if constexpr (std::is_same_v<T, std::uint8_t>) {
    const __m128i zero = _mm_setzero_si128();
    const __m128 weight = _mm_set1_ps(w);
    for (; j + 16 <= n; j += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + j));
      const __m128i lo = _mm_unpacklo_epi8(bytes, zero), hi = _mm_unpackhi_epi8(bytes, zero);
      const __m128i words[4] = {_mm_unpacklo_epi16(lo, zero), _mm_unpackhi_epi16(lo, zero),
                                _mm_unpacklo_epi16(hi, zero), _mm_unpackhi_epi16(hi, zero)};
      for (int q = 0; q < 4; ++q) {
        float* a = acc + j + 4 * q;
        _mm_storeu_ps(a, _mm_add_ps(_mm_loadu_ps(a), _mm_mul_ps(_mm_cvtepi32_ps(words[q]), weight)));
      }
    }
  }
  for (; j < n; ++j) acc[j] += static_cast<float>(row[j]) * w;
}

template <typename T>
T StoreMean(double value) {
  if constexpr (std::is_same_v<T, float>) {
    return static_cast<float>(value);
  } else {
    constexpr double kMax = std::numeric_limits<T>::max();
    return static_cast<T>(std::clamp(std::trunc(value + 0.5), 0.0, kMax));
  }
}

// Horizontal pass of one destination row: the weighted sum of the accumulated
// columns that each destination pixel covers, times its scale.
template <typename T, typename Acc>
void WriteRow(const Acc* acc, const AxisTaps& x, std::int32_t width, std::int32_t channels,
              std::int32_t pixel, double rowScale, T* out) {
  for (std::int32_t k = 0; k < width; ++k) {
    const double scale = rowScale * x.scale[k];
    const std::int32_t from = x.begin[k], to = x.begin[k + 1];
    for (std::int32_t c = 0; c < channels; ++c) {
      double sum = 0.0;
      for (std::int32_t t = from; t < to; ++t)
        sum += x.weight[t] * static_cast<double>(acc[std::int64_t{x.index[t]} * pixel + c]);
      out[std::int64_t{k} * pixel + c] = StoreMean<T>(sum * scale);
    }
  }
}

// The core: Channels is 1 (one channel or a plane), 3 (pixels of pixelStride
// samples) or 4. Steps are in samples.
template <typename T, int Channels>
void SuperSampleCore(const T* src, T* dst, std::int32_t srcStep, std::int32_t dstStep,
                     std::int32_t width, std::int32_t height, const AxisTaps& x, const AxisTaps& y,
                     const ByteTaps& taps, std::int32_t pixelStride, void* accumulator) {
  const FixedTaps& fixed = taps.fixed;
  // Bytes of one channel: columns first where the taps fit byte windows, else
  // rows first in float; whole ratios with wide taps take the integer sums below.
  if constexpr (std::is_same_v<T, std::uint8_t> && Channels == 1) {
    if (taps.windows.steps > 0) {
      const std::int64_t n = std::int64_t{taps.windows.steps} * 8;
      if (taps.integral) {
        auto* acc = static_cast<std::int32_t*>(accumulator);
        ColumnsFirst8u(src, dst, srcStep, dstStep, width, height, x, y, taps, acc, acc + n);
      } else {
        auto* acc = static_cast<float*>(accumulator);
        ColumnsFirst8u(src, dst, srcStep, dstStep, width, height, x, y, taps, acc, acc + n);
      }
      return;
    }
    if (!taps.integral) {
    auto* acc = static_cast<float*>(accumulator);
    float* more = acc + x.span + fixed.count;  // a second row of sums for tall areas
    std::fill_n(acc + x.span, fixed.count, 0.0f);  // read with zero weights only
    const std::uint8_t* rows[64];
    float weights[64];
    for (std::int32_t i = 0; i < height; ++i) {
      for (std::int32_t from = y.begin[i], to = y.begin[i + 1]; from < to;) {
        const std::int32_t n = std::min<std::int32_t>(to - from, 64);
        for (std::int32_t r = 0; r < n; ++r) {
          rows[r] = src + std::int64_t{y.index[from + r]} * srcStep;
          weights[r] = static_cast<float>(y.weight[from + r]);
        }
        const bool firstBatch = from == y.begin[i];
        (fixed.avx2 ? AccumulateRows8uAvx2 : AccumulateRows8u)(rows, weights, n, x.span, firstBatch ? acc : more);
        if (!firstBatch)
          for (std::int32_t j = 0; j < x.span; ++j) acc[j] += more[j];
        from += n;
      }
      (fixed.avx2 ? WriteRow8uAvx2 : WriteRow8u)(acc, fixed, x, width, y.scale[i], dst + std::int64_t{i} * dstStep);
    }
    return;
    }
  }
  const std::int32_t pixel = Channels == 1 ? 1 : (Channels == 3 ? pixelStride : 4);
  const std::int64_t values = std::int64_t{x.span} * pixel;
  for (std::int32_t i = 0; i < height; ++i) {
    const std::int32_t from = y.begin[i], to = y.begin[i + 1];
    bool whole = !std::is_same_v<T, float>;
    for (std::int32_t t = from; t < to && whole; ++t) whole = y.weight[t] == 1.0;
    T* out = dst + std::int64_t{i} * dstStep;
    if constexpr (!std::is_same_v<T, float>) {
      if (whole) {
        auto* acc = static_cast<IntegerSum<T>*>(accumulator);
        std::memset(acc, 0, static_cast<std::size_t>(values) * sizeof(*acc));
        for (std::int32_t t = from; t < to; ++t)
          AddRowWhole(src + std::int64_t{y.index[t]} * srcStep, values, acc);
        WriteRow(acc, x, width, Channels, pixel, y.scale[i], out);
        continue;
      }
    }
    auto* acc = static_cast<float*>(accumulator);
    std::memset(acc, 0, static_cast<std::size_t>(values) * sizeof(float));
    for (std::int32_t t = from; t < to; ++t)
      AddRowWeighted(src + std::int64_t{y.index[t]} * srcStep, values, static_cast<float>(y.weight[t]), acc);
    WriteRow(acc, x, width, Channels, pixel, y.scale[i], out);
  }
}

using SuperSampleCoreFn = void (*)(const void* src, void* dst, std::int32_t srcStep,
                                   std::int32_t dstStep, std::int32_t width, std::int32_t height,
                                   const AxisTaps& x, const AxisTaps& y, const ByteTaps& taps,
                                   std::int32_t pixelStride, void* accumulator);

template <typename T, int Channels>
void RunCore(const void* src, void* dst, std::int32_t srcStep, std::int32_t dstStep,
             std::int32_t width, std::int32_t height, const AxisTaps& x, const AxisTaps& y,
             const ByteTaps& taps, std::int32_t pixelStride, void* accumulator) {
  SuperSampleCore<T, Channels>(static_cast<const T*>(src), static_cast<T*>(dst), srcStep, dstStep,
                               width, height, x, y, taps, pixelStride, accumulator);
}

// The nine cores: one channel, three channels, four channels by sample type.
const SuperSampleCoreFn kSuperSampleCores[3][3] = {
    {&RunCore<std::uint8_t, 1>, &RunCore<std::uint16_t, 1>, &RunCore<float, 1>},
    {&RunCore<std::uint8_t, 3>, &RunCore<std::uint16_t, 3>, &RunCore<float, 3>},
    {&RunCore<std::uint8_t, 4>, &RunCore<std::uint16_t, 4>, &RunCore<float, 4>},
};

// Aligned blocks of one call, all freed when it returns.
struct Blocks {
  void* block[24] = {};
  int count = 0;
  static void* Take(void* self, std::int64_t bytes) {
    auto* b = static_cast<Blocks*>(self);
    void* p = bytes > 0 && bytes <= std::numeric_limits<std::int32_t>::max()
                  ? AllocAligned(static_cast<std::int32_t>(bytes))
                  : nullptr;
    b->block[b->count++] = p;
    return p;
  }
  ~Blocks() {
    for (int i = 0; i < count; ++i) FreeAligned(block[i]);
  }
};

}  // namespace

bool SuperSampleBuildRuns(int build) {
  if (build == kSuperSampleBuildSse2) return true;
  if (build != kSuperSampleBuildAvx2) return false;
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}

PrimitiveStatus ResizeSuperSample(const void* pSrc, ImageSize srcSize, std::int32_t srcStep,
                                  ImageRect srcRoi, void* pDst, std::int32_t dstStep,
                                  ImageSize dstRoiSize, double xFactor, double yFactor,
                                  std::int32_t pixelStride, std::int32_t channels,
                                  std::int32_t sampleType, std::int32_t planar) {
  static const int running = SuperSampleBuildRuns(kSuperSampleBuildAvx2) ? kSuperSampleBuildAvx2 : kSuperSampleBuildSse2;
  return ResizeSuperSampleWith(running, pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize,
                               xFactor, yFactor, pixelStride, channels, sampleType, planar);
}

PrimitiveStatus ResizeSuperSampleWith(int build, const void* pSrc, ImageSize srcSize,
                                      std::int32_t srcStep, ImageRect srcRoi, void* pDst,
                                      std::int32_t dstStep, ImageSize dstRoiSize, double xFactor,
                                      double yFactor, std::int32_t pixelStride,
                                      std::int32_t channels, std::int32_t sampleType,
                                      std::int32_t planar) {
  if (const PrimitiveStatus s = resize_detail::CheckResizeArguments(
          pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor);
      s != StatusOk)
    return s;
  // Averaging only reduces; an enlargement, like an unknown layout, is not ours.
  if (xFactor > 1.0 || yFactor > 1.0 || sampleType < 0 || sampleType > 2)
    return StatusInterpolationError;
  if (!resize_detail::KnownLayout(pixelStride, channels, planar)) return StatusInterpolationError;

  const std::int32_t regionW = resize_detail::ClippedRegion(srcRoi.x, srcRoi.width, srcSize.width);
  const std::int32_t regionH = resize_detail::ClippedRegion(srcRoi.y, srcRoi.height, srcSize.height);
  const std::int32_t dstW = resize_detail::ClippedCount(dstRoiSize.width, regionW * xFactor);
  const std::int32_t dstH = resize_detail::ClippedCount(dstRoiSize.height, regionH * yFactor);
  const double rx = 1.0 / xFactor;
  const double ry = 1.0 / yFactor;

  Blocks blocks;
  AxisTaps x, y;
  if (!BuildAxisTaps(dstW, rx, xFactor, regionW, x, &Blocks::Take, &blocks) ||
      !BuildAxisTaps(dstH, ry, yFactor, regionH, y, &Blocks::Take, &blocks))
    return StatusNoMemory;

  const int layout = planar != 0 || channels == 1 ? 0 : (channels == 3 ? 1 : 2);
  const std::int32_t pixel = layout == 0 ? 1 : (layout == 1 ? pixelStride : 4);
  ByteTaps taps;
  taps.fixed.avx2 = build == kSuperSampleBuildAvx2;
  if (layout == 0 && sampleType == 0) {
    // Whole ratios sum in 32-bit integers, exact; the columns-first sums of a
    // destination row must then stay below 2^31.
    std::int32_t tallest = 0;
    for (std::int32_t i = 0; i < dstH; ++i) tallest = std::max(tallest, y.begin[i + 1] - y.begin[i]);
    taps.integral = std::all_of(x.weight, x.weight + x.begin[dstW], [](double w) { return w == 1.0; }) &&
                    std::all_of(y.weight, y.weight + y.begin[dstH], [](double w) { return w == 1.0; });
    if (!BuildFixedTaps(x, dstW, taps.fixed, &Blocks::Take, &blocks)) return StatusNoMemory;
    if ((!taps.integral || std::int64_t{tallest} * 4 * 255 < (std::int64_t{1} << 31)) &&
        !BuildByteWindows(taps.fixed, dstW, x.span, taps.windows, &Blocks::Take, &blocks))
      return StatusNoMemory;
    if (taps.windows.steps > 0) {
      taps.wholeRows = static_cast<const std::uint8_t**>(Blocks::Take(&blocks, std::int64_t{tallest} * 8));
      if (taps.wholeRows == nullptr) return StatusNoMemory;
    }
  }
  // Room for 64-bit integer sums, the widest accumulator a core uses; the byte
  // core's rows first take two rows of float sums and the padding their fixed
  // taps read, its columns first a row of sums and a kept row.
  const std::int64_t accumulatorBytes =
      std::max((std::int64_t{x.span} * pixel + taps.fixed.count) * 8, std::int64_t{taps.windows.steps} * 64);
  void* accumulator = Blocks::Take(&blocks, accumulatorBytes);
  if (accumulator == nullptr) return StatusNoMemory;

  const int sampleShift = sampleType == 0 ? 0 : (sampleType == 1 ? 1 : 2);
  const std::int64_t regionOffset =
      std::int64_t{srcRoi.y} * srcStep + (std::int64_t{srcRoi.x} * (planar != 0 ? 1 : pixelStride) << sampleShift);
  const SuperSampleCoreFn core = kSuperSampleCores[layout][sampleType];
  const int planes = planar != 0 ? channels : 1;
  for (int plane = 0; plane < planes; ++plane) {
    const auto* base = planar != 0 ? static_cast<const std::uint8_t* const*>(pSrc)[plane]
                                   : static_cast<const std::uint8_t*>(pSrc);
    void* out = planar != 0 ? static_cast<void* const*>(pDst)[plane] : pDst;
    core(base + regionOffset, out, srcStep >> sampleShift, dstStep >> sampleShift, dstW, dstH, x, y,
         taps, pixelStride, accumulator);
  }
  return StatusOk;
}

}  // namespace zentra
