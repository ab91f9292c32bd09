// PNG writer for captures: 8-bit RGB, no interlace, rows unfiltered, zlib-compressed.
#include <zlib.h>

#include <cstdio>

#include <vcl/graphics.h>

namespace {
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 24));
  out.push_back(static_cast<std::uint8_t>(v >> 16));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

void Chunk(std::vector<std::uint8_t>& out, const char type[4], const std::vector<std::uint8_t>& body) {
  Put32(out, static_cast<std::uint32_t>(body.size()));
  std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), body.begin(), body.end());
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, out.data() + start, static_cast<uInt>(out.size() - start));
  Put32(out, static_cast<std::uint32_t>(crc));
}
}  // namespace

std::vector<std::uint8_t> EncodePng(const TSurface& s) {
  if (s.Width <= 0 || s.Height <= 0) throw EInvalidGraphic("Cannot write an empty image as PNG");
  std::vector<std::uint8_t> raw;
  raw.reserve((static_cast<std::size_t>(s.Width) * 3 + 1) * s.Height);
  for (int y = 0; y < s.Height; ++y) {
    raw.push_back(0);  // filter: none
    const std::uint32_t* row = s.Row(y);
    for (int x = 0; x < s.Width; ++x) {
      raw.push_back(static_cast<std::uint8_t>(row[x] >> 16));
      raw.push_back(static_cast<std::uint8_t>(row[x] >> 8));
      raw.push_back(static_cast<std::uint8_t>(row[x]));
    }
  }
  uLongf zsize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> z(zsize);
  if (compress2(z.data(), &zsize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK)
    throw EInvalidGraphic("PNG compression failed");
  z.resize(zsize);

  std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<std::uint8_t> ihdr;
  Put32(ihdr, static_cast<std::uint32_t>(s.Width));
  Put32(ihdr, static_cast<std::uint32_t>(s.Height));
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // depth 8, RGB, deflate, no filter set, no interlace
  Chunk(out, "IHDR", ihdr);
  Chunk(out, "IDAT", z);
  Chunk(out, "IEND", {});
  return out;
}

void WritePngFile(const TSurface& s, const std::string& path) {
  std::vector<std::uint8_t> png = EncodePng(s);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw EFOpenError("Cannot create file \"" + path + "\"");
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) throw EFOpenError("Cannot write file \"" + path + "\"");
}
