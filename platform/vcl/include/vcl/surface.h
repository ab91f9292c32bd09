// 32-bit software surfaces: what every window, bitmap and device context draws on.
//
// Pixel format: one uint32_t per pixel, 0x00RRGGBB (the top byte is always 0),
// rows top-down, stride == Width. This is the layout of SDL's RGB888/XRGB8888, so a
// backend can present a surface without converting it. Colours of the class library
// (TColor / COLORREF) are 0x00BBGGRR; convert at the boundary with the helpers below.
#pragma once

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include <win32/types.h>

// COLORREF (0x00BBGGRR) -> surface pixel (0x00RRGGBB) and back.
inline constexpr std::uint32_t ColorRefToPixel(COLORREF c) {
  return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
inline constexpr COLORREF PixelToColorRef(std::uint32_t p) {
  return ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
}

struct TSurface {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint32_t> Pixels;  // Width * Height pixels, 0x00RRGGBB
  // A monochrome surface holds only 0x000000 and 0xFFFFFF; blits from it map
  // black to the destination's text colour and white to its background colour.
  bool Monochrome = false;
  // Held while another thread paints into a window's surface.
  mutable std::recursive_mutex Lock;

  TSurface() = default;
  TSurface(int width, int height, std::uint32_t fill = 0) { Resize(width, height, fill); }
  TSurface(const TSurface&) = delete;
  TSurface& operator=(const TSurface&) = delete;
  // Moving takes the pixels; the lock stays with each object.
  TSurface(TSurface&& o) noexcept
      : Width(o.Width), Height(o.Height), Pixels(std::move(o.Pixels)), Monochrome(o.Monochrome) {
    o.Width = o.Height = 0;
    o.Pixels.clear();
  }
  TSurface& operator=(TSurface&& o) noexcept {
    if (this != &o) {
      Width = o.Width;
      Height = o.Height;
      Pixels = std::move(o.Pixels);
      Monochrome = o.Monochrome;
      o.Width = o.Height = 0;
      o.Pixels.clear();
    }
    return *this;
  }

  // New size with every pixel set to fill (the old content is dropped). When the
  // pixels cannot be allocated the exception leaves the surface as it was, so its
  // size never claims pixels it does not have.
  void Resize(int width, int height, std::uint32_t fill = 0) {
    const int w = width > 0 ? width : 0;
    const int h = height > 0 ? height : 0;
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    if (count <= Pixels.capacity()) {
      Pixels.assign(count, fill);  // within the capacity: cannot throw
    } else {
      std::vector<std::uint32_t> pixels(count, fill);
      Pixels.swap(pixels);
    }
    Width = w;
    Height = h;
  }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < Width && y < Height; }
  std::uint32_t* Row(int y) { return Pixels.data() + static_cast<std::size_t>(y) * Width; }
  const std::uint32_t* Row(int y) const { return Pixels.data() + static_cast<std::size_t>(y) * Width; }
  std::uint32_t At(int x, int y) const { return Row(y)[x]; }
  void Set(int x, int y, std::uint32_t p) { Row(y)[x] = p; }
  void Fill(std::uint32_t p) { Pixels.assign(Pixels.size(), p); }
  // Like Resize: a failed copy leaves the surface as it was.
  void CopyFrom(const TSurface& other) {
    if (this == &other) return;
    Pixels = other.Pixels;  // copy-assignment of a vector gives the strong guarantee
    Width = other.Width;
    Height = other.Height;
    Monochrome = other.Monochrome;
  }
};
