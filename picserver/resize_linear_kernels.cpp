// Linear 8-bit one-channel row kernels of the resize: plain and SSE2 builds of
// each pass, bit-identical; the table at the end is the only place that names them.
#include <zentra/kernel_arithmetic.h>
#include <zentra/resize.h>

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

namespace zentra {

namespace {

inline std::int16_t InterpolateOne(const std::uint8_t* src, std::int32_t offset, std::int16_t wL,
                                   std::int16_t wR) {
  std::int32_t sum = src[offset] * wL + src[offset + 1] * wR;
  return static_cast<std::int16_t>(std::min(sum >> 8, 32767));
}

inline std::uint8_t BlendOne(std::int32_t weight, std::int16_t upper, std::int16_t lower) {
  std::int32_t v = ((16384 - weight) * upper + weight * lower) >> 20;
  return SaturateU8(v);
}

inline std::uint16_t LoadPair(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

}  // namespace

void InterpolateRowLinear8u_C(const std::uint8_t* src, std::int32_t count,
                              const std::int32_t* xOffsets, const std::int16_t* xWeights,
                              std::int16_t* out) {
  for (std::int32_t k = 0; k < count; ++k)
    out[k] = InterpolateOne(src, xOffsets[k], xWeights[2 * k], xWeights[2 * k + 1]);
}

void InterpolateRowLinear8u_Sse2(const std::uint8_t* src, std::int32_t count,
                                 const std::int32_t* xOffsets, const std::int16_t* xWeights,
                                 std::int16_t* out) {
  const __m128i zero = _mm_setzero_si128();
  std::int32_t k = 0;
  for (; k + 8 <= count; k += 8) {
    // Each column's two neighbours are one 16-bit load; widening the bytes gives
    // (a, b) pairs lined up with the (wL, wR) weight pairs.
    __m128i pairs = _mm_cvtsi32_si128(LoadPair(src + xOffsets[k]));
    pairs = _mm_insert_epi16(pairs, LoadPair(src + xOffsets[k + 1]), 1);
    pairs = _mm_insert_epi16(pairs, LoadPair(src + xOffsets[k + 2]), 2);
    pairs = _mm_insert_epi16(pairs, LoadPair(src + xOffsets[k + 3]), 3);
    pairs = _mm_insert_epi16(pairs, LoadPair(src + xOffsets[k + 4]), 4);
    pairs = _mm_insert_epi16(pairs, LoadPair(src + xOffsets[k + 5]), 5);
    pairs = _mm_insert_epi16(pairs, LoadPair(src + xOffsets[k + 6]), 6);
    pairs = _mm_insert_epi16(pairs, LoadPair(src + xOffsets[k + 7]), 7);
    __m128i w0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(xWeights + 2 * k));
    __m128i w1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(xWeights + 2 * k + 8));
    __m128i lo = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(pairs, zero), w0), 8);
    __m128i hi = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi8(pairs, zero), w1), 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_packs_epi32(lo, hi));
  }
  for (; k < count; ++k)
    out[k] = InterpolateOne(src, xOffsets[k], xWeights[2 * k], xWeights[2 * k + 1]);
}

void BlendRowsLinear8u_C(std::uint8_t* dst, std::int32_t count, std::int32_t weight,
                         const std::int16_t* upper, const std::int16_t* lower) {
  for (std::int32_t k = 0; k < count; ++k) dst[k] = BlendOne(weight, upper[k], lower[k]);
}

void BlendRowsLinear8u_Sse2(std::uint8_t* dst, std::int32_t count, std::int32_t weight,
                            const std::int16_t* upper, const std::int16_t* lower) {
  // (16384 - w, w) as one 16-bit pair per 32-bit lane, so that one multiply-add
  // on interleaved (upper, lower) values gives the blended sum.
  const __m128i weights = _mm_set1_epi32(static_cast<std::int32_t>(
      (static_cast<std::uint32_t>(weight) << 16) | static_cast<std::uint16_t>(16384 - weight)));
  std::int32_t k = 0;
  for (; k + 8 <= count; k += 8) {
    __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + k));
    __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + k));
    __m128i lo = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(u, l), weights), 20);
    __m128i hi = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(u, l), weights), 20);
    __m128i words = _mm_packs_epi32(lo, hi);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + k), _mm_packus_epi16(words, words));
  }
  for (; k < count; ++k) dst[k] = BlendOne(weight, upper[k], lower[k]);
}

const ResizeLinear8uKernels ResizeLinear8uBuilds[2] = {
    {"C", &InterpolateRowLinear8u_C, &BlendRowsLinear8u_C},
    {"Sse2", &InterpolateRowLinear8u_Sse2, &BlendRowsLinear8u_Sse2},
};

}  // namespace zentra
