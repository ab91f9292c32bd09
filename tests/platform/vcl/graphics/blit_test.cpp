// Blits: raster operations, stretching and mirroring, transparent pictures and the
// monochrome conversions.
#include <gtest/gtest.h>

#include "pixels.h"

using namespace gfxtest;

namespace {
// A 1x1 source of colour s blitted onto a 1x1 destination d with pattern p.
std::uint32_t Op(DWORD rop, std::uint32_t s, std::uint32_t d, std::uint32_t p = 0) {
  TBitmap src(1, 1), dst(1, 1);
  src.Surface().Set(0, 0, s);
  dst.Surface().Set(0, 0, d);
  dst.Canvas()->Brush()->SetColor(static_cast<TColor>(PixelToColorRef(p)));
  HDC dc = dst.Canvas()->Handle();
  EXPECT_TRUE(BitBlt(dc, 0, 0, 1, 1, src.Canvas()->Handle(), 0, 0, rop));
  return dst.Surface().At(0, 0);
}
}  // namespace

TEST(Blit, NamedRasterOperations) {
  const std::uint32_t s = 0x0F33CC, d = 0x5A5A0F, p = 0xFF00F0;
  EXPECT_EQ(Op(SRCCOPY, s, d), s);
  EXPECT_EQ(Op(SRCPAINT, s, d), s | d);
  EXPECT_EQ(Op(SRCAND, s, d), s & d);
  EXPECT_EQ(Op(SRCINVERT, s, d), s ^ d);
  EXPECT_EQ(Op(SRCERASE, s, d), s & (~d & 0xFFFFFF));
  EXPECT_EQ(Op(NOTSRCCOPY, s, d), ~s & 0xFFFFFF);
  EXPECT_EQ(Op(NOTSRCERASE, s, d), ~(s | d) & 0xFFFFFF);
  EXPECT_EQ(Op(MERGECOPY, s, d, p), s & p);
  EXPECT_EQ(Op(MERGEPAINT, s, d), (~s | d) & 0xFFFFFF);
  EXPECT_EQ(Op(PATCOPY, s, d, p), p);
  EXPECT_EQ(Op(PATINVERT, s, d, p), p ^ d);
  EXPECT_EQ(Op(PATPAINT, s, d, p), (p | ~s | d) & 0xFFFFFF);
  EXPECT_EQ(Op(DSTINVERT, s, d), ~d & 0xFFFFFF);
  EXPECT_EQ(Op(BLACKNESS, s, d), 0u);
  EXPECT_EQ(Op(WHITENESS, s, d), 0xFFFFFFu);
}

TEST(Blit, TernaryCodeForTheEtchedLook) {
  // 0xE20746: where the source is white the brush is painted, where it is black
  // the destination stays.
  const std::uint32_t d = 0x123456, p = 0xABCDEF;
  EXPECT_EQ(Op(0x00E20746, 0xFFFFFF, d, p), p);
  EXPECT_EQ(Op(0x00E20746, 0x000000, d, p), d);
}

TEST(Blit, PatBltUsesTheBrushAndRefusesSourceOperations) {
  Board b(4, 4);
  b.canvas.Brush()->SetColor(clBlue);
  HDC dc = b.canvas.Handle();
  EXPECT_TRUE(PatBlt(dc, 1, 1, 2, 2, PATCOPY));
  EXPECT_EQ(Count(b.surface, kBlue), 4);
  EXPECT_TRUE(PatBlt(dc, 0, 0, 4, 4, DSTINVERT));
  EXPECT_EQ(Count(b.surface, 0xFFFF00), 4);
  EXPECT_FALSE(PatBlt(dc, 0, 0, 4, 4, SRCCOPY));
}

TEST(Blit, StretchDoublesAndShrinksByNearestPixel) {
  TBitmap src(2, 2);
  src.Surface().Pixels = {kRed, kGreen, kBlue, kBlack};
  Board b(4, 4);
  b.canvas.StretchDraw(TRect(0, 0, 4, 4), &src);
  EXPECT_EQ(b.At(0, 0), kRed);
  EXPECT_EQ(b.At(1, 1), kRed);
  EXPECT_EQ(b.At(2, 0), kGreen);
  EXPECT_EQ(b.At(3, 1), kGreen);
  EXPECT_EQ(b.At(0, 3), kBlue);
  EXPECT_EQ(b.At(3, 3), kBlack);

  TBitmap big(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) big.Surface().Set(x, y, (x < 2) == (y < 2) ? kRed : kBlue);
  Board s(2, 2);
  s.canvas.StretchDraw(TRect(0, 0, 2, 2), &big);
  EXPECT_EQ(s.surface.Pixels, (std::vector<std::uint32_t>{kRed, kBlue, kBlue, kRed}));
}

TEST(Blit, NegativeSizesMirror) {
  TBitmap src(3, 2);
  src.Surface().Pixels = {kRed, kGreen, kBlue, kBlack, kWhite, 0x808080};
  Board h(3, 2);
  // A mirrored rectangle (Left > Right) flips left and right in the same place.
  h.canvas.StretchDraw(TRect(3, 0, 0, 2), &src);
  EXPECT_EQ(h.surface.Pixels, (std::vector<std::uint32_t>{kBlue, kGreen, kRed, 0x808080, kWhite, kBlack}));

  Board v(3, 2);
  HDC dc = v.canvas.Handle();
  EXPECT_TRUE(StretchBlt(dc, 0, 2, 3, -2, src.Canvas()->Handle(), 0, 0, 3, 2, SRCCOPY));
  EXPECT_EQ(v.surface.Pixels, (std::vector<std::uint32_t>{kBlack, kWhite, 0x808080, kRed, kGreen, kBlue}));

  // Negative on both sides cancels out.
  Board n(3, 2);
  EXPECT_TRUE(StretchBlt(n.canvas.Handle(), 3, 0, -3, 2, src.Canvas()->Handle(), 3, 0, -3, 2, SRCCOPY));
  EXPECT_EQ(n.surface.Pixels, src.Surface().Pixels);
}

TEST(Blit, TransparentBitmapsSkipTheirTransparentColour) {
  TBitmap src(3, 3);
  src.Surface().Fill(0xFF00FF);
  src.Surface().Set(1, 1, kBlue);
  src.Surface().Set(0, 0, kGreen);
  // Default: the bottom-left pixel's colour.
  EXPECT_EQ(src.TransparentColor(), static_cast<TColor>(0xFF00FF));
  src.SetTransparent(true);
  Board b(3, 3, kWhite);
  b.canvas.Draw(0, 0, &src);
  EXPECT_EQ(Count(b.surface, kWhite), 7);
  EXPECT_EQ(b.At(1, 1), kBlue);
  EXPECT_EQ(b.At(0, 0), kGreen);

  // A fixed colour instead: now magenta shows and green is left out.
  src.SetTransparentColor(static_cast<TColor>(PixelToColorRef(kGreen)));
  EXPECT_EQ(src.TransparentMode(), tmFixed);
  Board c(3, 3, kWhite);
  c.canvas.Draw(0, 0, &src);
  EXPECT_EQ(c.At(0, 0), kWhite);
  EXPECT_EQ(c.At(2, 2), 0xFF00FF);

  // Stretched transparent drawing keeps the key.
  src.SetTransparentMode(tmAuto);
  Board s(6, 6, kWhite);
  s.canvas.StretchDraw(TRect(0, 0, 6, 6), &src);
  EXPECT_EQ(Count(s.surface, kBlue), 4);
  EXPECT_EQ(Count(s.surface, 0xFF00FF), 0);
}

TEST(Blit, OpaqueDrawIgnoresTheTransparentColour) {
  TBitmap src(2, 1);
  src.Surface().Pixels = {0xFF00FF, kBlue};
  Board b(2, 1);
  b.canvas.Draw(0, 0, &src);
  EXPECT_EQ(b.At(0, 0), 0xFF00FF);
}

TEST(Blit, MonochromeConversionsUseTheBackgroundAndTextColours) {
  TBitmap bmp(3, 1);
  bmp.Surface().Pixels = {kBlack, kRed, kWhite};
  bmp.Canvas()->Brush()->SetColor(clBlack);
  bmp.SetMonochrome(true);  // the brush colour becomes white, the rest black
  EXPECT_EQ(bmp.Surface().Pixels, (std::vector<std::uint32_t>{kWhite, kBlack, kBlack}));
  EXPECT_EQ(bmp.PixelFormat(), pf1bit);

  // Mono to colour: black takes the text colour, white the background colour.
  Board b(3, 1);
  HDC dc = b.canvas.Handle();
  SetTextColor(dc, 0x0000FF);  // red as COLORREF
  SetBkColor(dc, 0xFF0000);    // blue as COLORREF
  BitBlt(dc, 0, 0, 3, 1, bmp.Canvas()->Handle(), 0, 0, SRCCOPY);
  EXPECT_EQ(b.surface.Pixels, (std::vector<std::uint32_t>{kBlue, kRed, kRed}));

  // Colour to mono through a blit: the source context's background colour is white.
  TBitmap colour(3, 1);
  colour.Surface().Pixels = {kGreen, kRed, kGreen};
  TBitmap mono(3, 1);
  mono.SetPixelFormat(pf1bit);
  HDC src = colour.Canvas()->Handle();
  SetBkColor(src, 0x00FF00);
  BitBlt(mono.Canvas()->Handle(), 0, 0, 3, 1, src, 0, 0, SRCCOPY);
  EXPECT_EQ(mono.Surface().Pixels, (std::vector<std::uint32_t>{kWhite, kBlack, kWhite}));
}

TEST(Blit, OverlappingCopyWithinOneSurfaceReadsTheOldPicture) {
  Board b(5, 1);
  b.surface.Pixels = {1, 2, 3, 4, 5};
  HDC dc = b.canvas.Handle();
  BitBlt(dc, 1, 0, 4, 1, dc, 0, 0, SRCCOPY);
  EXPECT_EQ(b.surface.Pixels, (std::vector<std::uint32_t>{1, 1, 2, 3, 4}));
}

TEST(Blit, SourceOutsideItsSurfaceIsSkippedAndDestinationIsClipped) {
  TBitmap src(2, 2);
  src.Surface().Fill(kBlue);
  Board b(4, 4);
  HDC dc = b.canvas.Handle();
  EXPECT_TRUE(BitBlt(dc, 0, 0, 4, 4, src.Canvas()->Handle(), -1, -1, SRCCOPY));
  EXPECT_EQ(InkBox(b.surface), TRect(1, 1, 3, 3));
  Board c(4, 4);
  c.canvas.SetClipRect(TRect(0, 0, 2, 4));
  c.canvas.Draw(1, 1, &src);
  EXPECT_EQ(Count(c.surface, kBlue), 2);
  // Nothing to copy from: refused.
  EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
}

TEST(Blit, CopyRectBrushCopyAndMemoryContexts) {
  Board from(4, 4, kRed);
  Board to(4, 4);
  to.canvas.CopyRect(TRect(0, 0, 2, 2), &from.canvas, TRect(0, 0, 2, 2));
  EXPECT_EQ(Count(to.surface, kRed), 4);
  to.canvas.SetCopyMode(SRCINVERT);
  to.canvas.CopyRect(TRect(0, 0, 1, 1), &from.canvas, TRect(0, 0, 1, 1));
  EXPECT_EQ(to.At(0, 0), 0u);

  TBitmap strip(2, 1);
  strip.Surface().Pixels = {0xFF00FF, kBlue};
  Board bc(2, 1);
  bc.canvas.Brush()->SetColor(clGreen);  // 0x008000
  bc.canvas.BrushCopy(TRect(0, 0, 2, 1), &strip, TRect(0, 0, 2, 1), clFuchsia);
  EXPECT_EQ(bc.surface.Pixels, (std::vector<std::uint32_t>{0x008000, kBlue}));

  // A bitmap selected into a memory context receives the drawing.
  TBitmap target(3, 3);
  HDC mem = CreateCompatibleDC(nullptr);
  SelectObject(mem, target.Handle());
  HBRUSH brush = CreateSolidBrush(0x0000FF);
  RECT r{0, 0, 2, 2};
  FillRect(mem, &r, brush);
  EXPECT_EQ(Count(target.Surface(), kRed), 4);
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_TRUE(DeleteDC(mem));
  HBITMAP loose = CreateCompatibleBitmap(nullptr, 2, 2);
  BITMAP info{};
  EXPECT_EQ(GetObjectA(loose, sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.bmWidth, 2);
  EXPECT_TRUE(DeleteObject(loose));
  EXPECT_FALSE(DeleteObject(loose));
}
