// Block types every video-coding kernel shares: the 8x8 coefficient block, the
// half-sample positions of a reference block and the round control.
#pragma once

#include <zentra/kernel_arithmetic.h>

#include <cstddef>
#include <cstdint>

namespace zentra {

// 64 signed 16-bit values of one 8x8 block, row-major, row step 16 bytes.
inline constexpr std::int32_t kCoefBlockValues = 64;
inline constexpr std::int32_t kCoefBlockStep = 16;

// Half-sample position of a reference block (the primitives look only at these
// two bits of their mode argument).
enum HalfPelMode : std::int32_t {
  kHalfPelFull = 0,
  kHalfPelVertical = 4,    // the sample and the one a row step below
  kHalfPelHorizontal = 8,  // the sample and its right neighbour
  kHalfPelBoth = 12,       // the four samples
};
inline constexpr std::int32_t kHalfPelBits = 12;

// Subtracted from the rounding term of half-sample averages: 0 or 1.
using RoundControl = std::int32_t;

// The exact prediction of the sample at r for a mode whose bits 2-3 select the
// position. One formula serves all four: the full and two-sample positions
// count their samples twice, (4a + 2 - rc) >> 2 = a and
// (2a + 2b + 2 - rc) >> 2 = (a + b + 1 - rc) >> 1.
inline std::int32_t HalfPelExact(const std::uint8_t* r, std::ptrdiff_t step, std::int32_t mode,
                                 RoundControl rc = 0) {
  const std::ptrdiff_t h = (mode & kHalfPelHorizontal) ? 1 : 0;
  const std::ptrdiff_t v = (mode & kHalfPelVertical) ? step : 0;
  return AverageExact4(r[0], r[h], r[v], r[v + h], rc);
}

// Per processor build of a primitive, its kernels indexed by half-sample mode
// (HalfPelIndex), or by a pair of modes where a kernel takes two references.
template <typename Kernel, int N = 4>
struct IppKernelTable {
  Kernel kernel[N];
};

// 0, 4, 8, 12 (bits 2-3 of a mode) as 0..3.
constexpr std::int32_t HalfPelIndex(std::int32_t mode) { return (mode & kHalfPelBits) >> 2; }

constexpr bool IsHalfPelMode(std::int32_t mode) {
  return mode == kHalfPelFull || mode == kHalfPelVertical || mode == kHalfPelHorizontal ||
         mode == kHalfPelBoth;
}

}  // namespace zentra
