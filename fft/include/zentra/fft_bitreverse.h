// Bit-reversal tables and the permutations they drive, shared by both
// transform families. An element of the 64-bit routines is 8 opaque bytes (one
// double of a split array or one complex float); they are moved, never computed.
#pragma once

#include <cstdint>

namespace zentra {

// One complex double, real first (the 128-bit element of the twiddle builders).
struct Complex64fc {
  double re;
  double im;
};

// Swap-pair table of order n (N/4 + 1 entries): the pairs (4k, 4r(k)) with
// k < r(k), a 0, the self-reversed 4k descending, a closing 0. r is the
// reversal over n - 2 bits. Null when the allocation fails.
std::int32_t* BuildBitReverseTable(std::int32_t n);

// Index table of order n (N/4 + 1 entries): 0, then 2r(k) for k = 1..N/4-1, then 0.
std::int32_t* BuildBitReverseIndexTable(std::int32_t n);

// dst[rev(x)] = src[x]; src and dst are separate arrays of N 8-byte elements.
void BitReversePermute_V1(const std::uint64_t* src, std::uint64_t* dst, std::int32_t count,
                          const std::int32_t* pairs);
void BitReversePermute_V2(const double* src, double* dst, std::int32_t count,
                          const std::int32_t* pairs);

// The same reordering inside one array.
void BitReversePermuteInPlace_V1(std::uint64_t* data, std::int32_t count, const std::int32_t* pairs);
void BitReversePermuteInPlace_V2(double* data, std::int32_t count, const std::int32_t* pairs);
void BitReversePermuteInPlace_V3(double* data, std::int32_t count, const std::int32_t* pairs);

void BitReversePermuteInPlace64fc(Complex64fc* data, std::int32_t count, const std::int32_t* pairs);

// Reversal of the low `bits` bits of value (for tests and table builders).
constexpr std::uint32_t ReverseBits(std::uint32_t value, int bits) {
  std::uint32_t r = 0;
  for (int b = 0; b < bits; ++b) r = (r << 1) | ((value >> b) & 1u);
  return r;
}

}  // namespace zentra
