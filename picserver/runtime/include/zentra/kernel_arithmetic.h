// Arithmetic the kernels and the picture conversions share, so that builds of one
// operation differ only where their formulas differ: byte averages in their
// rounding forms, saturation and clamps, in plain and SSE2 form.
#pragma once

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>

namespace zentra {

// Exact two-sample average; a round control of 1 takes the half down.
constexpr std::int32_t AverageExact(std::int32_t a, std::int32_t b, std::int32_t roundControl = 0) {
  return (a + b + 1 - roundControl) >> 1;
}

// Exact four-sample average.
constexpr std::int32_t AverageExact4(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d,
                                     std::int32_t roundControl = 0) {
  return (a + b + c + d + 2 - roundControl) >> 2;
}

// The rounding-up byte average of the SIMD instruction sets (pavgb).
constexpr std::int32_t AverageUp(std::int32_t a, std::int32_t b) { return (a + b + 1) >> 1; }

// Four samples as two rounding-up pair averages averaged again: the exact value
// or one more.
constexpr std::int32_t AverageUpTwice(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
  return AverageUp(AverageUp(a, b), AverageUp(c, d));
}

// Truncating mean of two samples.
constexpr std::int32_t AverageDown(std::int32_t a, std::int32_t b) { return (a + b) >> 1; }

template <typename T>
constexpr T Clamp(T v, T lo, T hi) {
  return std::min(std::max(v, lo), hi);
}

constexpr std::uint8_t SaturateU8(std::int32_t v) { return static_cast<std::uint8_t>(Clamp(v, 0, 255)); }

constexpr std::int16_t SaturateS16(std::int64_t v) {
  return static_cast<std::int16_t>(Clamp<std::int64_t>(v, -32768, 32767));
}

// 16-bit lane arithmetic of the SIMD builds, one lane at a time.
constexpr std::int16_t AddSat16(std::int32_t a, std::int32_t b) { return SaturateS16(std::int64_t{a} + b); }
constexpr std::int16_t SubSat16(std::int32_t a, std::int32_t b) { return SaturateS16(std::int64_t{a} - b); }
// High half of the signed 16x16-bit product (pmulhw): floor(x*m / 65536).
constexpr std::int16_t MulHigh16(std::int16_t x, std::int16_t m) {
  return static_cast<std::int16_t>((std::int32_t{x} * m) >> 16);
}

// ---- SSE2 forms, 16 bytes at a time.

// Truncating byte mean: pavgb rounds up, so the odd bit of a^b comes off.
inline __m128i AverageDownEpu8(__m128i a, __m128i b) {
  return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

inline __m128i AverageUpTwiceEpu8(__m128i a, __m128i b, __m128i c, __m128i d) {
  return _mm_avg_epu8(_mm_avg_epu8(a, b), _mm_avg_epu8(c, d));
}

// Exact (a+b+c+d+2)>>2 of bytes through the rounding-up average: the doubly
// rounded value is one too high exactly when a pair sum was odd and the two pair
// averages differ in their low bit.
inline __m128i AverageExact4Epu8(__m128i a, __m128i b, __m128i c, __m128i d) {
  const __m128i ab = _mm_avg_epu8(a, b);
  const __m128i cd = _mm_avg_epu8(c, d);
  const __m128i oddPair = _mm_or_si128(_mm_xor_si128(a, b), _mm_xor_si128(c, d));
  const __m128i fix = _mm_and_si128(_mm_and_si128(oddPair, _mm_xor_si128(ab, cd)), _mm_set1_epi8(1));
  return _mm_sub_epi8(_mm_avg_epu8(ab, cd), fix);
}

}  // namespace zentra
