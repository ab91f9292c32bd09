// BMP reading of every common depth, refusal of broken files, the 24-bit writer,
// the PNG writer and pictures loaded from files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "pixels.h"

using namespace gfxtest;

namespace {

struct BmpSpec {
  int width = 2;
  int height = 2;  // negative: top-down
  int bpp = 24;
  std::uint32_t compression = 0;
  std::uint32_t headerSize = 40;
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB
  std::uint32_t clrUsed = 0;
  std::vector<std::uint32_t> masks;    // bit fields (after a 40-byte header)
  // Rows as stored in the file (bottom row first for bottom-up files), unpadded.
  std::vector<std::vector<std::uint8_t>> rows;
};

void Put(std::vector<std::uint8_t>& v, std::uint32_t x, int n) {
  for (int i = 0; i < n; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}

std::vector<std::uint8_t> MakeBmp(const BmpSpec& s) {
  std::vector<std::uint8_t> h;
  Put(h, s.headerSize, 4);
  if (s.headerSize == 12) {
    Put(h, s.width, 2);
    Put(h, s.height, 2);
    Put(h, 1, 2);
    Put(h, s.bpp, 2);
  } else {
    Put(h, s.width, 4);
    Put(h, static_cast<std::uint32_t>(s.height), 4);
    Put(h, 1, 2);
    Put(h, s.bpp, 2);
    Put(h, s.compression, 4);
    Put(h, 0, 4);
    Put(h, 2835, 4);
    Put(h, 2835, 4);
    Put(h, s.clrUsed, 4);
    Put(h, 0, 4);
    if (s.headerSize > 40) {
      for (std::size_t i = 0; i < 3; ++i) Put(h, i < s.masks.size() ? s.masks[i] : 0, 4);
      while (h.size() < s.headerSize) h.push_back(0);
    }
  }
  if (s.headerSize == 40)
    for (std::uint32_t m : s.masks) Put(h, m, 4);
  for (std::uint32_t c : s.palette) {
    Put(h, c & 0xFFFFFF, 3);
    if (s.headerSize != 12) h.push_back(0);
  }
  const std::size_t stride = ((static_cast<std::size_t>(s.width) * s.bpp + 31) / 32) * 4;
  std::vector<std::uint8_t> px;
  for (const auto& r : s.rows) {
    std::vector<std::uint8_t> row = r;
    row.resize(stride, 0);
    px.insert(px.end(), row.begin(), row.end());
  }
  std::vector<std::uint8_t> f{'B', 'M'};
  Put(f, static_cast<std::uint32_t>(14 + h.size() + px.size()), 4);
  Put(f, 0, 4);
  Put(f, static_cast<std::uint32_t>(14 + h.size()), 4);
  f.insert(f.end(), h.begin(), h.end());
  f.insert(f.end(), px.begin(), px.end());
  return f;
}

TSurface Read(const std::vector<std::uint8_t>& f, TPixelFormat* fmt = nullptr) {
  TSurface s;
  ReadBmp(f.data(), f.size(), s, fmt);
  return s;
}

// 2x2 picture: top row red, green; bottom row blue, white.
const std::vector<std::uint32_t> kTopDown{kRed, kGreen, kBlue, kWhite};

void Patch32(std::vector<std::uint8_t>& f, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) f.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

TEST(Bmp, ReadsEveryCommonDepth) {
  TPixelFormat fmt;
  BmpSpec s24;
  s24.rows = {{0xFF, 0, 0, 0xFF, 0xFF, 0xFF}, {0, 0, 0xFF, 0, 0xFF, 0}};  // BGR, bottom row first
  EXPECT_EQ(Read(MakeBmp(s24), &fmt).Pixels, kTopDown);
  EXPECT_EQ(fmt, pf24bit);

  BmpSpec top = s24;
  top.height = -2;
  top.rows = {{0, 0, 0xFF, 0, 0xFF, 0}, {0xFF, 0, 0, 0xFF, 0xFF, 0xFF}};
  EXPECT_EQ(Read(MakeBmp(top)).Pixels, kTopDown);

  BmpSpec s32;
  s32.bpp = 32;
  s32.rows = {{0xFF, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0}, {0, 0, 0xFF, 0, 0, 0xFF, 0, 0x12}};
  EXPECT_EQ(Read(MakeBmp(s32), &fmt).Pixels, kTopDown);
  EXPECT_EQ(fmt, pf32bit);

  BmpSpec s8;
  s8.bpp = 8;
  s8.palette = {kRed, kGreen, kBlue, kWhite};
  s8.clrUsed = 4;
  s8.rows = {{2, 3}, {0, 1}};
  EXPECT_EQ(Read(MakeBmp(s8), &fmt).Pixels, kTopDown);
  EXPECT_EQ(fmt, pf8bit);

  BmpSpec s4 = s8;
  s4.bpp = 4;
  s4.rows = {{0x23}, {0x01}};
  EXPECT_EQ(Read(MakeBmp(s4), &fmt).Pixels, kTopDown);
  EXPECT_EQ(fmt, pf4bit);

  BmpSpec s1;
  s1.bpp = 1;
  s1.palette = {kBlack, kWhite};
  s1.rows = {{0x40}, {0x80}};  // bottom: black, white; top: white, black
  EXPECT_EQ(Read(MakeBmp(s1), &fmt).Pixels, (std::vector<std::uint32_t>{kWhite, kBlack, kBlack, kWhite}));
  EXPECT_EQ(fmt, pf1bit);

  BmpSpec s555;
  s555.bpp = 16;
  // 0x7C00 red, 0x03E0 green, 0x001F blue, 0x7FFF white
  s555.rows = {{0x1F, 0x00, 0xFF, 0x7F}, {0x00, 0x7C, 0xE0, 0x03}};
  EXPECT_EQ(Read(MakeBmp(s555), &fmt).Pixels, kTopDown);
  EXPECT_EQ(fmt, pf15bit);

  BmpSpec s565 = s555;
  s565.compression = 3;
  s565.masks = {0xF800, 0x07E0, 0x001F};
  s565.rows = {{0x1F, 0x00, 0xFF, 0xFF}, {0x00, 0xF8, 0xE0, 0x07}};
  EXPECT_EQ(Read(MakeBmp(s565), &fmt).Pixels, kTopDown);
  EXPECT_EQ(fmt, pf16bit);

  // Bit fields inside a version-5 header, 32 bits in RGBX order.
  BmpSpec v5;
  v5.headerSize = 124;
  v5.bpp = 32;
  v5.compression = 3;
  v5.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
  v5.rows = {{0, 0, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0}, {0xFF, 0, 0, 0, 0, 0xFF, 0, 0}};
  EXPECT_EQ(Read(MakeBmp(v5)).Pixels, kTopDown);

  // The old 12-byte header with a 3-byte palette.
  BmpSpec core;
  core.headerSize = 12;
  core.bpp = 8;
  core.palette = {kRed, kGreen, kBlue, kWhite};
  core.rows = {{2, 3}, {0, 1}};
  core.palette.resize(256, 0);
  EXPECT_EQ(Read(MakeBmp(core)).Pixels, kTopDown);
}

TEST(Bmp, OddWidthsUsePaddedRows) {
  BmpSpec s;
  s.width = 3;
  s.height = 2;
  s.rows = {{0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF}, {0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0}};
  TSurface img = Read(MakeBmp(s));
  EXPECT_EQ(img.Pixels, (std::vector<std::uint32_t>{kBlue, kBlue, kBlue, kRed, kRed, kRed}));
}

TEST(Bmp, IndexesBeyondAShortPaletteReadAsBlack) {
  BmpSpec s;
  s.bpp = 8;
  s.width = 2;
  s.height = 1;
  s.palette = {kRed, kGreen};
  s.clrUsed = 2;
  s.rows = {{1, 200}};
  EXPECT_EQ(Read(MakeBmp(s)).Pixels, (std::vector<std::uint32_t>{kGreen, kBlack}));
}

TEST(Bmp, RefusesEveryTruncation) {
  BmpSpec s;
  s.bpp = 8;
  s.palette = {kRed, kGreen, kBlue, kWhite};
  s.clrUsed = 4;
  s.rows = {{2, 3}, {0, 1}};
  const std::vector<std::uint8_t> f = MakeBmp(s);
  for (std::size_t n = 0; n < f.size(); ++n) {
    std::vector<std::uint8_t> cut(f.begin(), f.begin() + n);
    TSurface out;
    EXPECT_THROW(ReadBmp(cut.data(), cut.size(), out, nullptr), EInvalidGraphic) << n << " bytes";
  }
  TSurface out;
  EXPECT_THROW(ReadBmp(nullptr, 0, out, nullptr), EInvalidGraphic);
  EXPECT_NO_THROW(ReadBmp(f.data(), f.size(), out, nullptr));
}

TEST(Bmp, RefusesZeroSizedOversizedAndLyingHeaders) {
  BmpSpec good;
  good.rows = {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}};
  const std::vector<std::uint8_t> base = MakeBmp(good);
  auto expectBad = [](std::vector<std::uint8_t> f, const char* what) {
    TSurface out;
    EXPECT_THROW(ReadBmp(f.data(), f.size(), out, nullptr), EInvalidGraphic) << what;
  };
  auto patched = [&](std::size_t at, std::uint32_t v) {
    std::vector<std::uint8_t> f = base;
    Patch32(f, at, v);
    return f;
  };
  expectBad(patched(18, 0), "zero width");
  expectBad(patched(22, 0), "zero height");
  expectBad(patched(18, 0xFFFFFFFF), "negative width");
  expectBad(patched(18, 40000), "too wide");
  expectBad(patched(22, static_cast<std::uint32_t>(-40000)), "too tall top-down");
  {
    std::vector<std::uint8_t> f = patched(18, 30000);
    Patch32(f, 22, 30000);
    expectBad(f, "over the byte limit");
  }
  expectBad(patched(10, 1000), "pixel offset beyond the file");
  expectBad(patched(10, 20), "pixel offset inside the header");
  expectBad(patched(14, 20), "unknown header size");
  expectBad(patched(14, 0xFFFFFFF0), "header larger than the file");
  {
    std::vector<std::uint8_t> f = base;
    f[26] = 2;  // planes
    expectBad(f, "two planes");
    f = base;
    f[28] = 7;  // depth
    expectBad(f, "depth 7");
    f = base;
    f[0] = 'X';
    expectBad(f, "signature");
  }
  expectBad(patched(30, 1), "run-length encoded");
  expectBad(patched(30, 9), "unknown compression");
  expectBad(patched(30, 3), "bit fields on 24 bits");

  BmpSpec pal;
  pal.bpp = 8;
  pal.palette = {kRed, kGreen};
  pal.clrUsed = 2;
  pal.rows = {{0, 1}, {1, 0}};
  std::vector<std::uint8_t> p = MakeBmp(pal);
  std::vector<std::uint8_t> lie = p;
  Patch32(lie, 46, 300);  // more colours than 8 bits allow
  expectBad(lie, "palette count above 256");
  lie = p;
  Patch32(lie, 46, 200);  // a palette that runs into the pixels / past the end
  expectBad(lie, "palette count lying about the file");

  BmpSpec bf;
  bf.bpp = 16;
  bf.compression = 3;
  bf.masks = {0xF0F0, 0x0F00, 0x000F};
  bf.rows = {{0, 0, 0, 0}, {0, 0, 0, 0}};
  expectBad(MakeBmp(bf), "mask with holes");
  bf.masks = {0x1F0000, 0x07E0, 0x001F};
  expectBad(MakeBmp(bf), "mask wider than 16 bits");
}

TEST(Bmp, WriterRoundTripsThroughTheReader) {
  TSurface s(3, 2);
  s.Pixels = {kRed, kGreen, kBlue, 0x123456, kWhite, kBlack};
  std::vector<std::uint8_t> f = WriteBmp24(s);
  EXPECT_EQ(f.size(), 14u + 40u + 2u * 12u);
  TPixelFormat fmt;
  TSurface back = Read(f, &fmt);
  EXPECT_EQ(back.Width, 3);
  EXPECT_EQ(back.Pixels, s.Pixels);
  EXPECT_EQ(fmt, pf24bit);
}

TEST(Bmp, BitmapFilesLoadSaveAndFailCleanly) {
  const std::string dir = ::testing::TempDir();
  const std::string path = dir + "/gfx_roundtrip.bmp";
  TBitmap a(4, 3);
  a.Canvas()->Brush()->SetColor(clRed);
  a.Canvas()->FillRect(TRect(0, 0, 2, 2));
  a.SaveToFile(path);
  TBitmap b;
  b.LoadFromFile(path);
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(b.Height(), 3);
  EXPECT_EQ(b.Surface().Pixels, a.Surface().Pixels);

  // A broken file leaves the bitmap as it was.
  {
    std::ofstream bad(dir + "/gfx_broken.bmp", std::ios::binary);
    bad << "BM this is not a bitmap";
  }
  EXPECT_THROW(b.LoadFromFile(dir + "/gfx_broken.bmp"), EInvalidGraphic);
  EXPECT_EQ(b.Width(), 4);
  EXPECT_THROW(b.LoadFromFile(dir + "/no_such_file.bmp"), EFOpenError);
  // Only regular files are read: a FIFO would wait for a writer, a device never end.
  const std::string fifo = dir + "/gfx_fifo.bmp";
  std::filesystem::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_THROW(b.LoadFromFile(fifo), EFOpenError);
  EXPECT_THROW(b.LoadFromFile("/dev/zero"), EFOpenError);
  EXPECT_EQ(b.Width(), 4);
  std::filesystem::remove(fifo);

  TPicture pic;
  int changes = 0;
  pic.OnChange = [&](TObject*) { ++changes; };
  pic.LoadFromFile(path);
  EXPECT_EQ(pic.Width(), 4);
  EXPECT_GE(changes, 1);
  ASSERT_NE(pic.Bitmap(), nullptr);
  EXPECT_EQ(pic.Bitmap()->Surface().Pixels, a.Surface().Pixels);
  EXPECT_THROW(pic.LoadFromFile(dir + "/picture.gif"), EInvalidGraphic);
  EXPECT_EQ(pic.Width(), 4);
  pic.Assign(nullptr);
  EXPECT_EQ(pic.Graphic(), nullptr);
  std::filesystem::remove(path);
  std::filesystem::remove(dir + "/gfx_broken.bmp");
}

TEST(Bmp, BitmapSizeChangesKeepTheTopLeft) {
  TBitmap b(2, 2);
  b.Surface().Pixels = {kRed, kGreen, kBlue, kBlack};
  b.SetWidth(3);
  EXPECT_EQ(b.Surface().Pixels, (std::vector<std::uint32_t>{kRed, kGreen, kWhite, kBlue, kBlack, kWhite}));
  b.SetHeight(1);
  EXPECT_EQ(b.Surface().Pixels, (std::vector<std::uint32_t>{kRed, kGreen, kWhite}));
  EXPECT_THROW(b.ScanLine(1), EInvalidGraphic);
  EXPECT_EQ(b.ScanLine(0)[1], kGreen);
  TBitmap copy;
  copy.Assign(&b);
  EXPECT_EQ(copy.Surface().Pixels, b.Surface().Pixels);
}

TEST(Png, WritesAValidRgbImage) {
  TSurface s(3, 2);
  s.Pixels = {kRed, kGreen, kBlue, 0x010203, kWhite, kBlack};
  std::vector<std::uint8_t> png = EncodePng(s);
  const std::uint8_t sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  ASSERT_GT(png.size(), 8u);
  EXPECT_TRUE(std::equal(sig, sig + 8, png.begin()));
  // Walk the chunks, checking each CRC; inflate IDAT.
  std::size_t at = 8;
  std::vector<std::uint8_t> idat;
  std::vector<std::string> names;
  auto be32 = [&](std::size_t i) {
    return (std::uint32_t(png[i]) << 24) | (std::uint32_t(png[i + 1]) << 16) | (std::uint32_t(png[i + 2]) << 8) |
           png[i + 3];
  };
  while (at + 12 <= png.size()) {
    std::uint32_t len = be32(at);
    std::string name(png.begin() + at + 4, png.begin() + at + 8);
    names.push_back(name);
    uLong crc = crc32(0, png.data() + at + 4, len + 4);
    EXPECT_EQ(crc, be32(at + 8 + len)) << name;
    if (name == "IHDR") {
      EXPECT_EQ(be32(at + 8), 3u);
      EXPECT_EQ(be32(at + 12), 2u);
      EXPECT_EQ(png[at + 16], 8);
      EXPECT_EQ(png[at + 17], 2);
    }
    if (name == "IDAT") idat.insert(idat.end(), png.begin() + at + 8, png.begin() + at + 8 + len);
    at += 12 + len;
  }
  EXPECT_EQ(at, png.size());
  EXPECT_EQ(names, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  std::vector<std::uint8_t> raw(2 * (1 + 9));
  uLongf rawLen = raw.size();
  ASSERT_EQ(uncompress(raw.data(), &rawLen, idat.data(), idat.size()), Z_OK);
  EXPECT_EQ(rawLen, raw.size());
  EXPECT_EQ(raw, (std::vector<std::uint8_t>{0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 1, 2, 3, 255, 255, 255, 0, 0, 0}));
  TSurface empty;
  EXPECT_THROW(EncodePng(empty), EInvalidGraphic);
}
