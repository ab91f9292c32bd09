// BMP files: a reader that validates every size and offset before use, and a
// 24-bit writer.
#include <cstring>
#include <string>

#include <vcl/graphics.h>

namespace {

constexpr std::int64_t kMaxSide = 32768;
constexpr std::int64_t kMaxBytes = 256LL << 20;  // decoded 32-bit image

[[noreturn]] void Bad(const std::string& why) { throw EInvalidGraphic("Bitmap image is not valid: " + why); }

std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::int32_t S32(const std::uint8_t* p) { return static_cast<std::int32_t>(U32(p)); }

// One channel of a bit-field pixel, scaled to 0..255.
struct Field {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  explicit Field(std::uint32_t m = 0) : mask(m) {
    if (!m) return;
    while (!((m >> shift) & 1)) ++shift;
    std::uint32_t v = m >> shift;
    while (v & 1) {
      ++bits;
      v >>= 1;
    }
    if (v) Bad("bit-field mask is not contiguous");
  }
  std::uint32_t Get(std::uint32_t px) const {
    if (!bits) return 0;
    std::uint32_t v = (px & mask) >> shift;
    if (bits >= 8) return v >> (bits - 8);
    std::uint32_t max = (1u << bits) - 1;
    return (v * 255 + max / 2) / max;
  }
};

}  // namespace

void ReadBmp(const std::uint8_t* data, std::size_t size, TSurface& out, TPixelFormat* format) {
  if (!data || size < 14 + 12) Bad("file too short");
  if (data[0] != 'B' || data[1] != 'M') Bad("missing BM signature");
  const std::uint32_t offBits = U32(data + 10);
  const std::uint32_t headerSize = U32(data + 14);
  if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 &&
      headerSize != 124)
    Bad("unknown header size " + std::to_string(headerSize));
  if (14ull + headerSize > size) Bad("truncated header");
  const std::uint8_t* h = data + 14;

  std::int64_t width, height;
  int bpp;
  std::uint32_t compression = 0, clrUsed = 0;
  const bool core = headerSize == 12;
  if (core) {
    width = U16(h + 4);
    height = static_cast<std::int16_t>(U16(h + 6));
    if (U16(h + 8) != 1) Bad("planes must be 1");
    bpp = U16(h + 10);
  } else {
    width = S32(h + 4);
    height = S32(h + 8);
    if (U16(h + 12) != 1) Bad("planes must be 1");
    bpp = U16(h + 14);
    compression = U32(h + 16);
    clrUsed = U32(h + 32);
  }
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) Bad("unsupported depth");
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0) Bad("zero or negative size");
  if (width > kMaxSide || height > kMaxSide) Bad("image too large");
  if (width * height * 4 > kMaxBytes) Bad("image too large");
  if (topDown && core) Bad("top-down core header");

  // Compression: plain rows or bit fields; run-length encodings are refused.
  std::uint32_t masks[3] = {0, 0, 0};
  std::size_t afterHeader = 14 + headerSize;
  if (compression == 3 || compression == 6) {
    if (bpp != 16 && bpp != 32) Bad("bit fields need 16 or 32 bits");
    if (headerSize == 40) {
      std::size_t n = compression == 6 ? 16 : 12;
      if (afterHeader + n > size) Bad("truncated bit-field masks");
      for (int i = 0; i < 3; ++i) masks[i] = U32(data + afterHeader + 4 * i);
      afterHeader += n;
    } else {
      for (int i = 0; i < 3; ++i) masks[i] = U32(h + 40 + 4 * i);
    }
    if (bpp == 16)
      for (std::uint32_t m : masks)
        if (m > 0xFFFF) Bad("bit-field mask wider than the pixel");
  } else if (compression != 0) {
    Bad(compression == 1 || compression == 2 ? "run-length encoding is not supported" : "unknown compression");
  }

  // Palette.
  std::vector<std::uint32_t> palette;
  if (bpp <= 8) {
    const std::uint32_t maxColors = 1u << bpp;
    if (clrUsed > maxColors) Bad("palette larger than the depth allows");
    const std::uint32_t count = clrUsed ? clrUsed : maxColors;
    const std::size_t entry = core ? 3 : 4;
    const std::size_t end = afterHeader + std::size_t(count) * entry;
    if (end > size) Bad("truncated palette");
    if (end > offBits) Bad("palette overlaps the pixels");
    palette.resize(maxColors, 0);  // indexes beyond the palette read as black
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint8_t* e = data + afterHeader + i * entry;
      palette[i] = (std::uint32_t(e[2]) << 16) | (std::uint32_t(e[1]) << 8) | e[0];
    }
    afterHeader = end;
  }
  if (offBits < afterHeader) Bad("pixel offset inside the header");
  const std::int64_t stride = ((width * bpp + 31) / 32) * 4;
  if (static_cast<std::int64_t>(offBits) + stride * height > static_cast<std::int64_t>(size)) Bad("truncated pixels");

  if (compression == 0 && bpp == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  }
  if (compression == 0 && bpp == 32) {
    masks[0] = 0x00FF0000;
    masks[1] = 0x0000FF00;
    masks[2] = 0x000000FF;
  }
  const Field fr(masks[0]), fg(masks[1]), fb(masks[2]);

  TSurface img(static_cast<int>(width), static_cast<int>(height));
  for (std::int64_t row = 0; row < height; ++row) {
    const std::uint8_t* src = data + offBits + row * stride;
    const int y = static_cast<int>(topDown ? row : height - 1 - row);
    std::uint32_t* dst = img.Row(y);
    for (std::int64_t x = 0; x < width; ++x) {
      std::uint32_t p;
      switch (bpp) {
        case 1: p = palette[(src[x >> 3] >> (7 - (x & 7))) & 1]; break;
        case 4: p = palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15]; break;
        case 8: p = palette[src[x]]; break;
        case 16: {
          std::uint32_t v = U16(src + 2 * x);
          p = (fr.Get(v) << 16) | (fg.Get(v) << 8) | fb.Get(v);
          break;
        }
        case 24: p = (std::uint32_t(src[3 * x + 2]) << 16) | (std::uint32_t(src[3 * x + 1]) << 8) | src[3 * x]; break;
        default: {
          std::uint32_t v = U32(src + 4 * x);
          p = (fr.Get(v) << 16) | (fg.Get(v) << 8) | fb.Get(v);
          break;
        }
      }
      dst[x] = p;
    }
  }
  out.Width = img.Width;
  out.Height = img.Height;
  out.Pixels = std::move(img.Pixels);
  out.Monochrome = false;
  if (format) {
    switch (bpp) {
      case 1: *format = pf1bit; break;
      case 4: *format = pf4bit; break;
      case 8: *format = pf8bit; break;
      case 16: *format = (masks[1] == 0x07E0) ? pf16bit : pf15bit; break;
      case 24: *format = pf24bit; break;
      default: *format = pf32bit; break;
    }
  }
}

std::vector<std::uint8_t> WriteBmp24(const TSurface& s) {
  const std::size_t stride = ((static_cast<std::size_t>(s.Width) * 24 + 31) / 32) * 4;
  const std::size_t imageSize = stride * s.Height;
  const std::size_t total = 14 + 40 + imageSize;
  std::vector<std::uint8_t> out(total, 0);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  auto put16 = [&](std::size_t at, std::uint16_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, static_cast<std::uint32_t>(total));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(s.Width));
  put32(22, static_cast<std::uint32_t>(s.Height));
  put16(26, 1);
  put16(28, 24);
  put32(34, static_cast<std::uint32_t>(imageSize));
  put32(38, 3780);  // 96 dots per inch
  put32(42, 3780);
  for (int y = 0; y < s.Height; ++y) {
    std::uint8_t* dst = out.data() + 54 + static_cast<std::size_t>(s.Height - 1 - y) * stride;
    const std::uint32_t* src = s.Row(y);
    for (int x = 0; x < s.Width; ++x) {
      dst[3 * x] = static_cast<std::uint8_t>(src[x]);
      dst[3 * x + 1] = static_cast<std::uint8_t>(src[x] >> 8);
      dst[3 * x + 2] = static_cast<std::uint8_t>(src[x] >> 16);
    }
  }
  return out;
}
