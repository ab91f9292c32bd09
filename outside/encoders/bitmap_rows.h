// 24-bit bitmap rows back to YUV 4:2:0 planes for the AVI encoder.
#pragma once

#include <cstddef>
#include <cstdint>

namespace outside {

// Where the rows and the planes are: `top` is the picture's first row and `stride` the step
// to the next (negative for a bottom-up bitmap).
struct BitmapToPlanes {
  const std::uint8_t* top = nullptr;
  std::ptrdiff_t stride = 0;
  int width = 0;  // even
  std::uint8_t* y = nullptr;
  std::uint8_t* u = nullptr;
  std::uint8_t* v = nullptr;
  std::ptrdiff_t yStride = 0, uStride = 0, vStride = 0;
};

// Rows `firstRow` to `firstRow + rows` (both even) of B, G, R bytes to Y, U and V with the
// full-range BT.601 matrix: the inverse of the picture server's conversion, which keeps
// studio levels in the RGB, so every luma comes back as it was wherever R, G and B were not
// clamped. Each chroma sample is the mean of its 2x2 pixels. Bands of one picture may be
// converted apart, at the same time.
void Bgr24RowsToYuv420(const BitmapToPlanes& p, int firstRow, int rows);

// The same in plain code, which the processors without SSSE3 run.
void Bgr24RowsToYuv420Plain(const BitmapToPlanes& p, int firstRow, int rows);

}  // namespace outside
