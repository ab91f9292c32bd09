// Rows of half-sample predictions shared by the prediction, residual and
// motion-compensation kernels: the exact plain form, and the byte-average forms
// of the SIMD builds, 8 or 16 samples at a time.
#pragma once

#include <zentra/kernel_arithmetic.h>
#include <zentra/video_blocks.h>

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace zentra::rows {

// Loads 8 or 16 bytes; `aligned` only where the caller has checked pointer and step.
template <int width, bool aligned = false>
inline __m128i Load(const std::uint8_t* p) {
  if constexpr (width == 8) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  } else if constexpr (aligned) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
  } else {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
}

template <int width, bool aligned = false>
inline void Store(std::uint8_t* p, __m128i v) {
  if constexpr (width == 8) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
  } else if constexpr (aligned) {
    _mm_store_si128(reinterpret_cast<__m128i*>(p), v);
  } else {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
  }
}

inline __m128i Load16s(const std::int16_t* p, bool aligned = false) {
  return aligned ? _mm_load_si128(reinterpret_cast<const __m128i*>(p))
                 : _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Exact half-sample prediction of a row (the plain formulas), any mode 0/4/8/12.
template <int width, int mode>
inline __m128i ExactRow(const std::uint8_t* r, std::ptrdiff_t step) {
  const __m128i a = Load<width>(r);
  if constexpr (mode == kHalfPelFull) return a;
  if constexpr (mode == kHalfPelVertical) return _mm_avg_epu8(a, Load<width>(r + step));
  if constexpr (mode == kHalfPelHorizontal) return _mm_avg_epu8(a, Load<width>(r + 1));
  if constexpr (mode == kHalfPelBoth)
    return AverageExact4Epu8(a, Load<width>(r + 1), Load<width>(r + step), Load<width>(r + step + 1));
}

// Two levels of rounding-up byte averages: exact for modes 0, 4, 8, the exact
// value or one more for mode 12.
template <int width, int mode>
inline __m128i AverageUpRow(const std::uint8_t* r, std::ptrdiff_t step) {
  if constexpr (mode == kHalfPelBoth) {
    return AverageUpTwiceEpu8(Load<width>(r), Load<width>(r + 1), Load<width>(r + step), Load<width>(r + step + 1));
  } else {
    return ExactRow<width, mode>(r, step);
  }
}

// The byte-average forms of the motion-compensation builds with a round control:
// modes 4 and 8 average max(a - rc, 0) with the neighbour; mode 12 averages the
// upper pair average with the lower one less 1 + rc, saturated at 0.
template <int width, int mode, bool aligned = false>
inline __m128i RoundedRow(const std::uint8_t* r, std::ptrdiff_t step, __m128i rcBytes, __m128i kBytes) {
  const __m128i a = Load<width, aligned>(r);
  if constexpr (mode == kHalfPelFull) return a;
  if constexpr (mode == kHalfPelVertical) return _mm_avg_epu8(_mm_subs_epu8(a, rcBytes), Load<width, aligned>(r + step));
  if constexpr (mode == kHalfPelHorizontal) return _mm_avg_epu8(_mm_subs_epu8(a, rcBytes), Load<width>(r + 1));
  if constexpr (mode == kHalfPelBoth) {
    const __m128i upper = _mm_avg_epu8(a, Load<width>(r + 1));
    const __m128i lower = _mm_avg_epu8(Load<width, aligned>(r + step), Load<width>(r + step + 1));
    return _mm_avg_epu8(upper, _mm_subs_epu8(lower, kBytes));
  }
}

// The plain exact prediction of one sample with a round control.
inline std::int32_t ExactSample(const std::uint8_t* r, std::ptrdiff_t step, std::int32_t mode, std::int32_t rc) {
  return HalfPelExact(r, step, mode, rc);
}

// A mode of the engine's prediction operations: any value but 0, 4 and 8 is 12.
constexpr std::int32_t PredictionMode(std::int32_t mode) {
  return (mode == kHalfPelFull || mode == kHalfPelVertical || mode == kHalfPelHorizontal) ? mode : kHalfPelBoth;
}

// Runs body.template operator()<mode>() for a run-time mode 0/4/8/12.
template <typename Body>
inline void ForMode(std::int32_t mode, Body&& body) {
  switch (mode) {
    case kHalfPelFull: body.template operator()<kHalfPelFull>(); break;
    case kHalfPelVertical: body.template operator()<kHalfPelVertical>(); break;
    case kHalfPelHorizontal: body.template operator()<kHalfPelHorizontal>(); break;
    default: body.template operator()<kHalfPelBoth>(); break;
  }
}

}  // namespace zentra::rows
