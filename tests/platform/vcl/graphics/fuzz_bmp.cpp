// libFuzzer target of the BMP reader: any input either decodes into a consistent
// surface or raises EInvalidGraphic; nothing else may happen.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <vcl/graphics.h>

namespace {

void Put(std::vector<std::uint8_t>& v, std::uint32_t x, int n) {
  for (int i = 0; i < n; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}

// A small valid file of the given depth, to start the corpus from.
std::vector<std::uint8_t> Seed(int bpp, int height, std::uint32_t compression) {
  const int width = 3;
  std::vector<std::uint8_t> h;
  Put(h, 40, 4);
  Put(h, width, 4);
  Put(h, static_cast<std::uint32_t>(height), 4);
  Put(h, 1, 2);
  Put(h, bpp, 2);
  Put(h, compression, 4);
  for (int i = 0; i < 5; ++i) Put(h, 0, 4);
  if (compression == 3)
    for (std::uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) Put(h, bpp == 16 ? m : m << 8, 4);
  if (bpp <= 8)
    for (int i = 0; i < (1 << bpp); ++i) Put(h, 0x010101u * (i * 255 / ((1 << bpp) - 1)), 4);
  const int rows = height < 0 ? -height : height;
  const int stride = ((width * bpp + 31) / 32) * 4;
  std::vector<std::uint8_t> f{'B', 'M'};
  Put(f, static_cast<std::uint32_t>(14 + h.size() + stride * rows), 4);
  Put(f, 0, 4);
  Put(f, static_cast<std::uint32_t>(14 + h.size()), 4);
  f.insert(f.end(), h.begin(), h.end());
  for (int i = 0; i < stride * rows; ++i) f.push_back(static_cast<std::uint8_t>(i * 37));
  return f;
}

}  // namespace

// Writes small made-up files of every depth into the corpus folder (the first argument
// that is no option; the folders after it hold real pictures to start from).
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  std::string dir;
  for (int i = 1; i < *argc && dir.empty(); ++i)
    if ((*argv)[i][0] != '-') dir = (*argv)[i];
  if (dir.empty()) return 0;
  int n = 0;
  for (int bpp : {1, 4, 8, 16, 24, 32})
    for (int height : {2, -2}) {
      std::vector<std::uint8_t> f = Seed(bpp, height, 0);
      std::string path = dir + "/seed" + std::to_string(n++) + ".bmp";
      if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(f.data(), 1, f.size(), out);
        std::fclose(out);
      }
    }
  for (int bpp : {16, 32}) {
    std::vector<std::uint8_t> f = Seed(bpp, 2, 3);
    std::string path = dir + "/seed" + std::to_string(n++) + ".bmp";
    if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
      std::fwrite(f.data(), 1, f.size(), out);
      std::fclose(out);
    }
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TSurface surface;
  TPixelFormat format = pfDevice;
  try {
    ReadBmp(data, size, surface, &format);
  } catch (const EInvalidGraphic&) {
    return 0;
  }
  if (surface.Width <= 0 || surface.Height <= 0 ||
      surface.Pixels.size() != static_cast<std::size_t>(surface.Width) * surface.Height)
    std::abort();
  for (std::uint32_t p : surface.Pixels)
    if (p > 0xFFFFFF) std::abort();
  return 0;
}
