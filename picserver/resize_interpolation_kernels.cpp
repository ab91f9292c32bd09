// The interpolating resize's row drivers for every sample type and channel
// layout: one generic driver per interpolation (nearest, linear, cubic) with the
// arithmetic of each sample type in a small traits class, instantiated below.
#include <zentra/kernel_arithmetic.h>
#include <zentra/resize_drivers.h>

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace zentra::resize_detail {

namespace {

constexpr double kPositionEpsilon = 1e-7;

template <typename T>
inline T* Row(void* base, std::int64_t offset) {
  return static_cast<T*>(base) + offset;
}
template <typename T>
inline const T* Row(const void* base, std::int64_t offset) {
  return static_cast<const T*>(base) + offset;
}

// Linear arithmetic per sample type. Mid is the intermediate row's type; 8-bit
// and 16-bit samples take Q14 weight pairs per column and a Q14 lower-row weight.
template <typename T>
struct LinearArith;

template <>
struct LinearArith<std::uint8_t> {
  using Mid = std::int16_t;
  // Scale 64 per sample unit; never above 16320.
  static Mid Horizontal(std::int32_t a, std::int32_t b, const std::int16_t* w) {
    return static_cast<Mid>(std::min((a * w[0] + b * w[1]) >> 8, 32767));
  }
  static std::uint8_t Vertical(std::int32_t upper, std::int32_t lower, std::int32_t w) {
    return SaturateU8(((16384 - w) * upper + w * lower) >> 20);
  }
};

// A 16-bit sample does not fit a signed 16-bit multiply: its upper fifteen bits
// and its lowest bit are weighted apart and the two sums added.
inline std::uint16_t SplitBlend(std::uint32_t a, std::uint32_t b, std::int32_t wa, std::int32_t wb) {
  const std::int32_t high = (static_cast<std::int32_t>(a >> 1) * wa + static_cast<std::int32_t>(b >> 1) * wb) >> 13;
  const std::int32_t low = (static_cast<std::int32_t>(a & 1) * wa + static_cast<std::int32_t>(b & 1) * wb) >> 14;
  return static_cast<std::uint16_t>(high + low);
}

template <>
struct LinearArith<std::uint16_t> {
  using Mid = std::uint16_t;
  static Mid Horizontal(std::uint32_t a, std::uint32_t b, const std::int16_t* w) {
    return SplitBlend(a, b, w[0], w[1]);
  }
  static std::uint16_t Vertical(std::uint32_t upper, std::uint32_t lower, std::int32_t w) {
    return SplitBlend(upper, lower, 16384 - w, w);
  }
};

template <>
struct LinearArith<float> {
  using Mid = float;
  static Mid Horizontal(float a, float b, const float* t) { return (b - a) * *t + a; }
  static float Vertical(float upper, float lower, float w) { return upper * (1.0f - w) + lower * w; }
};

// Column weights: a Q14 pair per column for integer samples, one float otherwise.
template <typename T>
using ColumnWeight = std::conditional_t<std::is_same_v<T, float>, float, std::int16_t>;
template <typename T>
constexpr int kWeightsPerColumn = std::is_same_v<T, float> ? 1 : 2;

// Cubic results stored as samples: integer samples round to nearest after a
// small bias and clamp to their range; floats are kept as they are.
template <typename T>
inline T StoreCubic(float v) {
  if constexpr (std::is_same_v<T, float>) {
    return v;
  } else {
    constexpr float kMax = std::is_same_v<T, std::uint8_t> ? 255.0f : 65535.0f;
    const float r = std::clamp(v + 1e-5f, -1.0f, kMax + 1.0f);
    const std::int32_t n = _mm_cvtss_si32(_mm_set_ss(r));  // to nearest, ties to even
    return static_cast<T>(std::clamp(n, 0, static_cast<std::int32_t>(kMax)));
  }
}

// Vertical cubic pass over count values, four at a time: the polynomial of each
// column's four intermediate values at the row weight t.
template <typename T>
void CubicVertical(T* out, std::int32_t count, std::int32_t outStride, const float* r0,
                   const float* r1, const float* r2, const float* r3, float t) {
  std::int32_t k = 0;
  if (outStride == 1) {
    const __m128 s = _mm_set1_ps(t + 1.0f);
    const float c2f = (t + 1.0f) * t * 0.5f;
    const __m128 c2 = _mm_set1_ps(c2f);
    const __m128 c3 = _mm_set1_ps(c2f * (t - 1.0f) * (1.0f / 3.0f));
    for (; k + 4 <= count; k += 4) {
      const __m128 fm = _mm_loadu_ps(r0 + k), f0 = _mm_loadu_ps(r1 + k);
      const __m128 f1 = _mm_loadu_ps(r2 + k), f2 = _mm_loadu_ps(r3 + k);
      const __m128 d1 = _mm_sub_ps(f0, fm);
      const __m128 d2 = _mm_sub_ps(_mm_sub_ps(f1, f0), d1);
      const __m128 d3 = _mm_sub_ps(_mm_add_ps(_mm_sub_ps(_mm_sub_ps(f2, f1), f1), f0), d2);
      __m128 v = _mm_add_ps(_mm_add_ps(_mm_add_ps(fm, _mm_mul_ps(d1, s)), _mm_mul_ps(d2, c2)),
                            _mm_mul_ps(d3, c3));
      if constexpr (std::is_same_v<T, float>) {
        _mm_storeu_ps(out + k, v);
      } else {
        const __m128i n = _mm_cvtps_epi32(_mm_add_ps(v, _mm_set1_ps(1e-5f)));
        if constexpr (std::is_same_v<T, std::uint8_t>) {
          const __m128i words = _mm_packs_epi32(n, n);
          const std::int32_t four = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
          std::memcpy(out + k, &four, 4);
        } else {
          // Clamp to 0..65535 in 32 bits, then keep the low halves.
          __m128i c = _mm_andnot_si128(_mm_cmplt_epi32(n, _mm_setzero_si128()), n);
          const __m128i over = _mm_cmpgt_epi32(c, _mm_set1_epi32(65535));
          c = _mm_or_si128(_mm_andnot_si128(over, c), _mm_and_si128(over, _mm_set1_epi32(65535)));
          c = _mm_shufflelo_epi16(c, _MM_SHUFFLE(3, 3, 2, 0));
          c = _mm_shufflehi_epi16(c, _MM_SHUFFLE(3, 3, 2, 0));
          c = _mm_shuffle_epi32(c, _MM_SHUFFLE(3, 3, 2, 0));
          _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), c);
        }
      }
    }
  }
  for (; k < count; ++k)
    out[static_cast<std::int64_t>(k) * outStride] = StoreCubic<T>(CubicValue(r0[k], r1[k], r2[k], r3[k], t));
}

}  // namespace

// Horizontal cubic pass over bytes of one channel, four columns a step: each
// column's four taps are one 32-bit word, split into a vector per tap; the
// polynomial is evaluated as in CubicValue.
void CubicRow8u_Sse2(const std::uint8_t* row, std::int32_t width, const std::int32_t* xOffsets,
                     const float* xWeights, float* out) {
  std::int32_t k = 0;
  const __m128i low = _mm_set1_epi32(0xFF);
  auto word = [&](std::int32_t column) {
    std::int32_t w;
    std::memcpy(&w, row + xOffsets[column] - 1, 4);  // the four taps, all inside the image
    return w;
  };
  for (; k + 4 <= width; k += 4) {
    const __m128i taps = _mm_setr_epi32(word(k), word(k + 1), word(k + 2), word(k + 3));
    const __m128 fm = _mm_cvtepi32_ps(_mm_and_si128(taps, low));
    const __m128 f0 = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(taps, 8), low));
    const __m128 f1 = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(taps, 16), low));
    const __m128 f2 = _mm_cvtepi32_ps(_mm_srli_epi32(taps, 24));
    const __m128 t = _mm_loadu_ps(xWeights + k);
    const __m128 s = _mm_add_ps(t, _mm_set1_ps(1.0f));
    const __m128 c2 = _mm_mul_ps(_mm_mul_ps(s, t), _mm_set1_ps(0.5f));
    const __m128 c3 = _mm_mul_ps(_mm_mul_ps(c2, _mm_sub_ps(t, _mm_set1_ps(1.0f))), _mm_set1_ps(1.0f / 3.0f));
    const __m128 d1 = _mm_sub_ps(f0, fm);
    const __m128 d2 = _mm_sub_ps(_mm_sub_ps(f1, f0), d1);
    const __m128 d3 = _mm_sub_ps(_mm_add_ps(_mm_sub_ps(_mm_sub_ps(f2, f1), f1), f0), d2);
    _mm_storeu_ps(out + k, _mm_add_ps(_mm_add_ps(_mm_add_ps(fm, _mm_mul_ps(d1, s)), _mm_mul_ps(d2, c2)),
                                      _mm_mul_ps(d3, c3)));
  }
  for (; k < width; ++k) {
    const std::uint8_t* a = row + xOffsets[k];
    out[k] = CubicValue(a[-1], a[0], a[1], a[2], xWeights[k]);
  }
}

#define ZENTRA_AVX2 __attribute__((target("avx2")))

// The same eight columns a step; the same operations in the same order, so the
// same values.
ZENTRA_AVX2 void CubicRow8u_Avx2(const std::uint8_t* row, std::int32_t width,
                                 const std::int32_t* xOffsets, const float* xWeights, float* out) {
  std::int32_t k = 0;
  const __m256i low = _mm256_set1_epi32(0xFF);
  for (; k + 8 <= width; k += 8) {
    std::int32_t w[8];
    for (int l = 0; l < 8; ++l) std::memcpy(&w[l], row + xOffsets[k + l] - 1, 4);
    const __m256i taps = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w));
    const __m256 fm = _mm256_cvtepi32_ps(_mm256_and_si256(taps, low));
    const __m256 f0 = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(taps, 8), low));
    const __m256 f1 = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(taps, 16), low));
    const __m256 f2 = _mm256_cvtepi32_ps(_mm256_srli_epi32(taps, 24));
    const __m256 t = _mm256_loadu_ps(xWeights + k);
    const __m256 s = _mm256_add_ps(t, _mm256_set1_ps(1.0f));
    const __m256 c2 = _mm256_mul_ps(_mm256_mul_ps(s, t), _mm256_set1_ps(0.5f));
    const __m256 c3 = _mm256_mul_ps(_mm256_mul_ps(c2, _mm256_sub_ps(t, _mm256_set1_ps(1.0f))), _mm256_set1_ps(1.0f / 3.0f));
    const __m256 d1 = _mm256_sub_ps(f0, fm);
    const __m256 d2 = _mm256_sub_ps(_mm256_sub_ps(f1, f0), d1);
    const __m256 d3 = _mm256_sub_ps(_mm256_add_ps(_mm256_sub_ps(_mm256_sub_ps(f2, f1), f1), f0), d2);
    _mm256_storeu_ps(out + k, _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(fm, _mm256_mul_ps(d1, s)), _mm256_mul_ps(d2, c2)),
                                            _mm256_mul_ps(d3, c3)));
  }
  if (k < width) CubicRow8u_Sse2(row, width - k, xOffsets + k, xWeights + k, out + k);
}

bool CubicRow8uBuildRuns(int build) {
  if (build == kCubicRow8uBuildSse2) return true;
  if (build != kCubicRow8uBuildAvx2) return false;
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}

// ---- Nearest neighbour.

template <typename T, int Channels>
void ResizeNearest(const void* src, void* dst, std::int32_t dstStep, std::int32_t width,
                   std::int32_t height, const RowOffset* yOffsets, const std::int32_t* xOffsets,
                   std::int32_t pixelStride) {
  const std::int32_t dstPixel = Channels == 1 ? 1 : (Channels == 3 ? pixelStride : 4);
  for (std::int32_t i = 0; i < height; ++i) {
    const T* row = Row<T>(src, yOffsets[i]);
    T* out = Row<T>(dst, std::int64_t{i} * dstStep);
    for (std::int32_t k = 0; k < width; ++k)
      for (int c = 0; c < Channels; ++c) out[std::int64_t{k} * dstPixel + c] = row[xOffsets[k] + c];
  }
}

// ---- Linear.

template <typename T, bool Multi>
void ResizeLinear(const ResizeLinear8uKernels& kernels, const void* src, void* dst,
                  std::int32_t srcStep, std::int32_t dstStep, std::int32_t width,
                  std::int32_t height, const RowOffset* yOffsets, const std::int32_t* xOffsets,
                  const void* yWeights, const void* xWeights, void* rowA, void* rowB,
                  std::int32_t pixelStride, std::int32_t channels) {
  using Arith = LinearArith<T>;
  using Mid = typename Arith::Mid;
  using W = ColumnWeight<T>;
  constexpr int wpc = kWeightsPerColumn<T>;
  const auto* xw = static_cast<const W*>(xWeights);
  const auto* yw = static_cast<const W*>(yWeights);
  const std::int32_t chans = Multi ? channels : 1;
  // Neighbours are one pixel apart: the pixel stride for three channels, 4 for four.
  const std::int32_t next = Multi ? (channels == 4 ? 4 : pixelStride) : 1;
  const std::int32_t dstPixel = Multi ? (channels == 4 ? 4 : pixelStride) : 1;
  const bool packed = dstPixel == chans;

  auto interpolate = [&](std::int64_t rowOffset, void* outVoid) {
    const T* row = Row<T>(src, rowOffset);
    if constexpr (std::is_same_v<T, std::uint8_t> && !Multi) {
      kernels.interpolateRow(row, width, xOffsets, static_cast<const std::int16_t*>(xWeights),
                             static_cast<std::int16_t*>(outVoid));
    } else {
      Mid* out = static_cast<Mid*>(outVoid);
      for (std::int32_t k = 0; k < width; ++k) {
        const T* a = row + xOffsets[k];
        for (std::int32_t c = 0; c < chans; ++c)
          out[std::int64_t{k} * chans + c] = Arith::Horizontal(a[c], a[c + next], xw + wpc * k);
      }
    }
  };
  auto blend = [&](std::int32_t i, const void* upperVoid, const void* lowerVoid) {
    T* out = Row<T>(dst, std::int64_t{i} * dstStep);
    if constexpr (std::is_same_v<T, std::uint8_t> && !Multi) {
      kernels.blendRows(out, width, yw[i], static_cast<const std::int16_t*>(upperVoid),
                        static_cast<const std::int16_t*>(lowerVoid));
    } else {
      const Mid* upper = static_cast<const Mid*>(upperVoid);
      const Mid* lower = static_cast<const Mid*>(lowerVoid);
      if (packed) {
        const std::int64_t n = std::int64_t{width} * chans;
        for (std::int64_t k = 0; k < n; ++k) out[k] = Arith::Vertical(upper[k], lower[k], yw[i]);
      } else {
        // Three channels in four-sample pixels: the fourth sample keeps its value.
        for (std::int32_t k = 0; k < width; ++k)
          for (std::int32_t c = 0; c < chans; ++c)
            out[std::int64_t{k} * dstPixel + c] =
                Arith::Vertical(upper[std::int64_t{k} * chans + c], lower[std::int64_t{k} * chans + c], yw[i]);
      }
    }
  };
  WalkLinearRows(srcStep, height, yOffsets, rowA, rowB, interpolate, blend);
}

// ---- Cubic.

template <typename T, bool Multi>
void ResizeCubic(const void* src, void* dst, std::int32_t srcStep, std::int32_t dstStep,
                 std::int32_t width, std::int32_t height, const RowOffset* yOffsets,
                 const std::int32_t* xOffsets, const float* yWeights, const float* xWeights,
                 float* rows[4], std::int32_t pixelStride, std::int32_t channels) {
  const std::int32_t chans = Multi ? channels : 1;
  const std::int32_t next = Multi ? (channels == 4 ? 4 : pixelStride) : 1;
  const std::int32_t dstPixel = Multi ? (channels == 4 ? 4 : pixelStride) : 1;

  auto interpolate = [&](std::int64_t rowOffset, float* out) {
    const T* row = Row<T>(src, rowOffset);
    if constexpr (!Multi && std::is_same_v<T, std::uint8_t>) {
      static const CubicRow8uFn rowPass = CubicRow8uBuildRuns(kCubicRow8uBuildAvx2) ? &CubicRow8u_Avx2 : &CubicRow8u_Sse2;
      rowPass(row, width, xOffsets, xWeights, out);
    } else {
      for (std::int32_t k = 0; k < width; ++k) {
        const T* a = row + xOffsets[k];
        for (std::int32_t c = 0; c < chans; ++c)
          out[std::int64_t{k} * chans + c] =
              CubicValue(static_cast<float>(a[c - next]), static_cast<float>(a[c]),
                         static_cast<float>(a[c + next]), static_cast<float>(a[c + 2 * next]), xWeights[k]);
      }
    }
  };

  // Window of four intermediate rows, source rows top .. top + 3 (offsets in
  // samples); rows already in the window are reused when it moves down.
  float* window[4] = {rows[0], rows[1], rows[2], rows[3]};
  std::int64_t top = yOffsets[0] - 2 * std::int64_t{srcStep};
  for (int r = 1; r < 4; ++r) interpolate(top + r * std::int64_t{srcStep}, window[r]);
  for (std::int32_t i = 0; i < height; ++i) {
    const std::int64_t wanted = yOffsets[i] - srcStep;
    if (wanted != top) {
      const std::int64_t moved = (wanted - top) / srcStep;
      const int keep = moved > 0 && moved < 4 ? 4 - static_cast<int>(moved) : 0;
      float* old[4] = {window[0], window[1], window[2], window[3]};
      for (int r = 0; r < 4; ++r) window[r] = old[(r + 4 - keep) % 4];
      top = wanted;
      for (int r = keep; r < 4; ++r) interpolate(top + r * std::int64_t{srcStep}, window[r]);
    }
    T* out = Row<T>(dst, std::int64_t{i} * dstStep);
    if (dstPixel == chans) {
      CubicVertical<T>(out, width * chans, 1, window[0], window[1], window[2], window[3], yWeights[i]);
    } else {
      // Three channels in four-sample pixels: the fourth sample keeps its value.
      for (std::int32_t c = 0; c < chans; ++c) {
        // Each channel is every chans-th intermediate value; gather it by column.
        for (std::int32_t k = 0; k < width; ++k) {
          const std::int64_t m = std::int64_t{k} * chans + c;
          out[std::int64_t{k} * dstPixel + c] =
              StoreCubic<T>(CubicValue(window[0][m], window[1][m], window[2][m], window[3][m], yWeights[i]));
        }
      }
    }
  }
}

// ---- Tables.

template <typename Offset>
void BuildLinearAxisFloat(std::int32_t count, double step, std::int32_t edge, std::int64_t scale,
                          Offset* offsets, float* weights) {
  double p = 0.0;
  for (std::int32_t i = 0; i < count; ++i, p += step) {
    std::int32_t j = static_cast<std::int32_t>(std::trunc(p + kPositionEpsilon));
    float w;
    if (j == edge) {
      j -= 1;
      w = 1.0f;
    } else {
      w = static_cast<float>(p - j);
    }
    offsets[i] = static_cast<Offset>(j * scale);
    weights[i] = w;
  }
}

template <typename Offset>
void BuildCubicAxis(std::int32_t count, double step, std::int32_t first, std::int32_t last,
                    std::int64_t scale, Offset* offsets, float* weights) {
  double p = 0.0;
  for (std::int32_t i = 0; i < count; ++i, p += step) {
    std::int32_t j = static_cast<std::int32_t>(std::trunc(p + kPositionEpsilon));
    const std::int32_t absolute = j + first;
    float w;
    if (absolute == last) {
      w = 2.0f;
      j -= 2;
    } else {
      if (absolute == 0)
        j += 1;
      else if (absolute == last - 1)
        j -= 1;
      w = static_cast<float>(p - j);
    }
    offsets[i] = static_cast<Offset>(j * scale);
    weights[i] = w;
  }
}

template void BuildLinearAxisFloat(std::int32_t, double, std::int32_t, std::int64_t, RowOffset*, float*);
template void BuildLinearAxisFloat(std::int32_t, double, std::int32_t, std::int64_t, std::int32_t*, float*);
template void BuildCubicAxis(std::int32_t, double, std::int32_t, std::int32_t, std::int64_t, RowOffset*, float*);
template void BuildCubicAxis(std::int32_t, double, std::int32_t, std::int32_t, std::int64_t, std::int32_t*, float*);

#define ZENTRA_NEAREST_ARGS                                                                  \
  const void*, void*, std::int32_t, std::int32_t, std::int32_t, const RowOffset*, \
      const std::int32_t*, std::int32_t)
#define ZENTRA_LINEAR_ARGS                                                                      \
  const ResizeLinear8uKernels&, const void*, void*, std::int32_t, std::int32_t, std::int32_t, \
      std::int32_t, const RowOffset*, const std::int32_t*, const void*, const void*, void*,  \
      void*, std::int32_t, std::int32_t)
#define ZENTRA_CUBIC_ARGS                                                                         \
  const void*, void*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, const RowOffset*, \
      const std::int32_t*, const float*, const float*, float*[4], std::int32_t, std::int32_t)

template void ResizeNearest<std::uint8_t, 1>(ZENTRA_NEAREST_ARGS;
template void ResizeNearest<std::uint16_t, 1>(ZENTRA_NEAREST_ARGS;
template void ResizeNearest<float, 1>(ZENTRA_NEAREST_ARGS;
template void ResizeNearest<std::uint8_t, 3>(ZENTRA_NEAREST_ARGS;
template void ResizeNearest<std::uint16_t, 3>(ZENTRA_NEAREST_ARGS;
template void ResizeNearest<float, 3>(ZENTRA_NEAREST_ARGS;
template void ResizeNearest<std::uint8_t, 4>(ZENTRA_NEAREST_ARGS;
template void ResizeNearest<std::uint16_t, 4>(ZENTRA_NEAREST_ARGS;
template void ResizeNearest<float, 4>(ZENTRA_NEAREST_ARGS;
template void ResizeLinear<std::uint8_t, false>(ZENTRA_LINEAR_ARGS;
template void ResizeLinear<std::uint16_t, false>(ZENTRA_LINEAR_ARGS;
template void ResizeLinear<float, false>(ZENTRA_LINEAR_ARGS;
template void ResizeLinear<std::uint8_t, true>(ZENTRA_LINEAR_ARGS;
template void ResizeLinear<std::uint16_t, true>(ZENTRA_LINEAR_ARGS;
template void ResizeLinear<float, true>(ZENTRA_LINEAR_ARGS;
template void ResizeCubic<std::uint8_t, false>(ZENTRA_CUBIC_ARGS;
template void ResizeCubic<std::uint16_t, false>(ZENTRA_CUBIC_ARGS;
template void ResizeCubic<float, false>(ZENTRA_CUBIC_ARGS;
template void ResizeCubic<std::uint8_t, true>(ZENTRA_CUBIC_ARGS;
template void ResizeCubic<std::uint16_t, true>(ZENTRA_CUBIC_ARGS;
template void ResizeCubic<float, true>(ZENTRA_CUBIC_ARGS;

}  // namespace zentra::resize_detail
