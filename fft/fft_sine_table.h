// The quarter-wave sine table that every twiddle of a record is copied from,
// shared by both record families so that their tables hold the same angles.
#pragma once

#include <cmath>
#include <cstdint>

namespace zentra::fft_detail {

// The x87 sine and cosine of a value held at extended precision. The library
// functions for long double are not these instructions and round a few
// entries of the larger tables the other way.
inline long double X87Sine(long double x) {
  long double r;
  asm("fsin" : "=t"(r) : "0"(x));
  return r;
}
inline long double X87Cosine(long double x) {
  long double r;
  asm("fcos" : "=t"(r) : "0"(x));
  return r;
}

// S[j] = sin(2 pi j / M) for j = 0..M/4 (M = 2^m), rounded once to T: the
// first half by the sine of j x, the second by the cosine of (M/4 - j) x,
// where the step x is the double nearest 2 pi divided by M (not the extended
// constant) and j x stays at extended precision.
template <typename T>
void FillSineTable(std::int32_t m, T* table) {
  const std::int64_t quarter = (std::int64_t{1} << m) / 4;
  const long double step = 6.283185307179586 / std::ldexp(1.0, m);
  for (std::int64_t j = 0; j <= quarter; ++j) {
    const bool sine = j <= quarter / 2;
    const long double x = static_cast<long double>(sine ? j : quarter - j) * step;
    table[j] = static_cast<T>(sine ? X87Sine(x) : X87Cosine(x));
  }
}

}  // namespace zentra::fft_detail
