// Helpers of the graphics tests: small surfaces and pixel queries.
#pragma once

#include <string>

#include <vcl/graphics.h>

namespace gfxtest {

inline constexpr std::uint32_t kWhite = 0xFFFFFF;
inline constexpr std::uint32_t kBlack = 0x000000;
inline constexpr std::uint32_t kRed = 0xFF0000;    // surface pixel 0x00RRGGBB
inline constexpr std::uint32_t kGreen = 0x00FF00;
inline constexpr std::uint32_t kBlue = 0x0000FF;

// The surface as rows of characters: '.' for `background`, '#' for anything else.
inline std::string Picture(const TSurface& s, std::uint32_t background = kWhite) {
  std::string out;
  for (int y = 0; y < s.Height; ++y) {
    for (int x = 0; x < s.Width; ++x) out.push_back(s.At(x, y) == background ? '.' : '#');
    out.push_back('\n');
  }
  return out;
}

inline int Count(const TSurface& s, std::uint32_t color) {
  int n = 0;
  for (std::uint32_t p : s.Pixels) n += p == color;
  return n;
}

// Bounding box of pixels that differ from `background`; empty when none.
inline TRect InkBox(const TSurface& s, std::uint32_t background = kWhite) {
  TRect r(s.Width, s.Height, 0, 0);
  for (int y = 0; y < s.Height; ++y)
    for (int x = 0; x < s.Width; ++x)
      if (s.At(x, y) != background) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1);
        r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r.IsEmpty() ? TRect() : r;
}

// A canvas drawing on its own white surface.
struct Board {
  TSurface surface;
  TCanvas canvas;
  Board(int w, int h, std::uint32_t fill = kWhite) : surface(w, h, fill) { canvas.SetSurface(&surface); }
  std::uint32_t At(int x, int y) const { return surface.At(x, y); }
};

}  // namespace gfxtest
