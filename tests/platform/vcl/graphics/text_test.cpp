// Text: widths and heights, placement, background modes, DrawText's layout flags,
// accelerator prefixes, rotation and font handles.
#include <gtest/gtest.h>

#include <cstring>

#include "pixels.h"

using namespace gfxtest;

namespace {
int Advance(TCanvas& c, const std::string& s) { return c.TextWidth(s); }
}  // namespace

TEST(Text, WidthIsTheSumOfAdvancesAndHeightFollowsTheFontHeight) {
  Board b(10, 10);
  b.canvas.Font()->SetName("MS Sans Serif");
  b.canvas.Font()->SetHeight(-11);
  const int h = Advance(b.canvas, "H"), i = Advance(b.canvas, "i");
  EXPECT_GT(h, 0);
  EXPECT_GT(h, i);
  EXPECT_EQ(Advance(b.canvas, "HiHi"), 2 * h + 2 * i);
  EXPECT_EQ(Advance(b.canvas, ""), 0);
  // Negative height: the em square; the cell (ascent + descent) is taller.
  const int cell = b.canvas.TextHeight("x");
  EXPECT_GT(cell, 11);
  EXPECT_LE(cell, 16);
  // Positive height: the cell itself.
  b.canvas.Font()->SetHeight(20);
  EXPECT_EQ(b.canvas.TextHeight("x"), 20);
  // Larger fonts are wider.
  b.canvas.Font()->SetHeight(-22);
  EXPECT_GT(Advance(b.canvas, "HiHi"), 2 * (2 * h + 2 * i) - 4);
  // Bold is at least as wide.
  b.canvas.Font()->SetHeight(-11);
  b.canvas.Font()->SetStyle({fsBold});
  EXPECT_GE(Advance(b.canvas, "HiHi"), 2 * h + 2 * i);
}

TEST(Text, PointSizeAndPixelHeightConvert) {
  TFont f;
  EXPECT_EQ(f.Height(), -11);
  EXPECT_EQ(f.Size(), 8);
  f.SetSize(10);
  EXPECT_EQ(f.Height(), -13);
  f.SetHeight(-16);
  EXPECT_EQ(f.Size(), 12);
}

TEST(Text, TextOutInksInsideItsCellInTheFontColour) {
  // Large enough that the stems cover whole pixels whatever the face's hinting.
  Board b(80, 30);
  b.canvas.Brush()->SetStyle(bsClear);
  b.canvas.Font()->SetColor(clRed);
  b.canvas.Font()->SetHeight(-16);
  b.canvas.TextOut(10, 5, "Hello");
  const int w = b.canvas.TextWidth("Hello"), h = b.canvas.TextHeight("Hello");
  TRect ink = InkBox(b.surface);
  ASSERT_FALSE(ink.IsEmpty());
  EXPECT_GE(ink.Left, 10);
  EXPECT_LE(ink.Right, 10 + w);
  EXPECT_GE(ink.Top, 5);
  EXPECT_LE(ink.Bottom, 5 + h);
  EXPECT_GT(Count(b.surface, kRed), 10);  // fully covered pixels are the pure colour
  // Edges blend red into white: red stays full, green and blue fade together.
  for (std::uint32_t p : b.surface.Pixels) {
    EXPECT_EQ(p >> 16, 0xFFu);
    EXPECT_EQ((p >> 8) & 255, p & 255);
  }
  EXPECT_EQ(b.canvas.PenPos(), TPoint(10 + w, 5));
  // Nothing drawn: the same text twice gives the same pixels (deterministic).
  Board c(80, 30);
  c.canvas.Brush()->SetStyle(bsClear);
  c.canvas.Font()->SetColor(clRed);
  c.canvas.Font()->SetHeight(-16);
  c.canvas.TextOut(10, 5, "Hello");
  EXPECT_EQ(b.surface.Pixels, c.surface.Pixels);
}

TEST(Text, OpaqueBrushFillsTheTextCell) {
  Board b(60, 30);
  b.canvas.Brush()->SetColor(clBlue);
  b.canvas.TextOut(3, 4, "ab");
  const int w = b.canvas.TextWidth("ab"), h = b.canvas.TextHeight("ab");
  EXPECT_EQ(InkBox(b.surface), TRect(3, 4, 3 + w, 4 + h));
  // SetBkMode transparent on the handle also leaves the background.
  Board t(60, 30);
  HDC dc = t.canvas.Handle();
  SetBkMode(dc, TRANSPARENT);
  TextOutA(dc, 3, 4, "ab", 2);
  EXPECT_EQ(Count(t.surface, kBlue), 0);
  EXPECT_LT(Count(t.surface, kWhite), 60 * 30);
}

TEST(Text, TextRectClipsToItsRectangle) {
  Board b(60, 30);
  b.canvas.Brush()->SetStyle(bsClear);
  b.canvas.TextRect(TRect(5, 5, 15, 12), 5, 5, "WWWWWW");
  TRect ink = InkBox(b.surface);
  ASSERT_FALSE(ink.IsEmpty());
  EXPECT_GE(ink.Left, 5);
  EXPECT_LE(ink.Right, 15);
  EXPECT_LE(ink.Bottom, 12);
  // An opaque brush fills the whole rectangle.
  Board o(30, 30);
  o.canvas.Brush()->SetColor(clBlue);
  o.canvas.TextRect(TRect(2, 2, 20, 20), 2, 2, "W");
  EXPECT_EQ(InkBox(o.surface), TRect(2, 2, 20, 20));
}

TEST(Text, DrawTextAlignsAndMeasures) {
  Board b(100, 40);
  HDC dc = b.canvas.Handle();
  SetBkMode(dc, TRANSPARENT);
  const int w = b.canvas.TextWidth("Abc"), h = b.canvas.TextHeight("Abc");
  RECT calc{0, 0, 100, 40};
  EXPECT_EQ(DrawTextA(dc, "Abc", -1, &calc, DT_SINGLELINE | DT_CALCRECT), h);
  EXPECT_EQ(calc.right, w);
  EXPECT_EQ(calc.bottom, h);
  EXPECT_EQ(Count(b.surface, kWhite), 100 * 40);  // measuring draws nothing

  RECT r{0, 0, 100, 40};
  DrawTextA(dc, "Abc", 3, &r, DT_SINGLELINE | DT_RIGHT | DT_BOTTOM);
  TRect ink = InkBox(b.surface);
  EXPECT_LE(ink.Right, 100);
  EXPECT_GE(ink.Left, 100 - w);
  EXPECT_GE(ink.Top, 40 - h);

  Board c(100, 40);
  HDC dc2 = c.canvas.Handle();
  SetBkMode(dc2, TRANSPARENT);
  RECT r2{0, 0, 100, 40};
  int ret = DrawTextA(dc2, "Abc", -1, &r2, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  EXPECT_EQ(ret, (40 - h) / 2 + h);
  TRect ink2 = InkBox(c.surface);
  EXPECT_GE(ink2.Left, (100 - w) / 2);
  EXPECT_LE(ink2.Right, (100 - w) / 2 + w);
  EXPECT_GE(ink2.Top, (40 - h) / 2);
  EXPECT_LE(ink2.Bottom, (40 - h) / 2 + h);
}

TEST(Text, WordBreakWrapsAtBlanksAndEllipsisShortens) {
  Board b(200, 100);
  HDC dc = b.canvas.Handle();
  const int h = b.canvas.TextHeight("x");
  const int one = b.canvas.TextWidth("word word");
  RECT r{0, 0, one + 2, 100};
  int height = DrawTextA(dc, "word word word word", -1, &r, DT_WORDBREAK | DT_CALCRECT);
  EXPECT_EQ(height, 2 * h);
  // Explicit line breaks count without DT_WORDBREAK; DT_SINGLELINE ignores them.
  RECT m{0, 0, 200, 100};
  EXPECT_EQ(DrawTextA(dc, "a\r\nb\nc", -1, &m, DT_CALCRECT), 3 * h);
  RECT s{0, 0, 200, 100};
  EXPECT_EQ(DrawTextA(dc, "a\r\nb\nc", -1, &s, DT_CALCRECT | DT_SINGLELINE), h);
  // A word wider than the box keeps a line of its own.
  RECT narrow{0, 0, 5, 100};
  EXPECT_EQ(DrawTextA(dc, "abcdefgh ij", -1, &narrow, DT_WORDBREAK | DT_CALCRECT), 2 * h);

  const int dots = b.canvas.TextWidth("...");
  RECT e{0, 0, dots + b.canvas.TextWidth("ab") + 1, 20};
  SetBkMode(dc, TRANSPARENT);
  DrawTextA(dc, "abcdefghijklmnop", -1, &e, DT_SINGLELINE | DT_END_ELLIPSIS);
  TRect ink = InkBox(b.surface);
  EXPECT_LE(ink.Right, e.right);
}

TEST(Text, PrefixUnderlinesTheAcceleratorUnlessNoPrefix) {
  auto draw = [](const char* text, UINT flags, int* width) {
    auto b = std::make_unique<Board>(60, 20);
    HDC dc = b->canvas.Handle();
    SetBkMode(dc, TRANSPARENT);
    RECT r{0, 0, 60, 20};
    DrawTextA(dc, text, -1, &r, DT_SINGLELINE | flags);
    RECT c{0, 0, 60, 20};
    DrawTextA(dc, text, -1, &c, DT_SINGLELINE | DT_CALCRECT | flags);
    *width = c.right;
    return b;
  };
  int wPrefix, wPlain, wNoPrefix;
  auto withPrefix = draw("&Open", 0, &wPrefix);
  auto plain = draw("Open", 0, &wPlain);
  auto noPrefix = draw("&Open", DT_NOPREFIX, &wNoPrefix);
  EXPECT_EQ(wPrefix, wPlain);  // the '&' takes no room
  EXPECT_GT(wNoPrefix, wPlain);
  EXPECT_GT(Count(withPrefix->surface, kBlack), Count(plain->surface, kBlack));  // the underline
  auto hidden = draw("&Open", DT_HIDEPREFIX, &wPrefix);
  EXPECT_EQ(hidden->surface.Pixels, plain->surface.Pixels);
  int wAmp, wA;
  auto amp = draw("a&&b", 0, &wAmp);
  draw("a&b", DT_NOPREFIX, &wA);
  EXPECT_EQ(wAmp, wA);
}

TEST(Text, EscapementOf900RunsTheTextUpwards) {
  Board flat(100, 100);
  flat.canvas.Brush()->SetStyle(bsClear);
  flat.canvas.TextOut(10, 10, "Korvex");
  TRect a = InkBox(flat.surface);

  Board up(100, 100);
  up.canvas.Brush()->SetStyle(bsClear);
  up.canvas.Font()->SetOrientation(900);
  const int w = up.canvas.TextWidth("Korvex"), h = up.canvas.TextHeight("Korvex");
  up.canvas.TextOut(40, 90, "Korvex");
  TRect b = InkBox(up.surface);
  ASSERT_FALSE(b.IsEmpty());
  // The ink is tall and narrow, above the reference point and to its right.
  EXPECT_GT(b.Height(), b.Width());
  EXPECT_LE(b.Bottom, 91);
  EXPECT_GE(b.Top, 90 - w - 1);
  EXPECT_GE(b.Left, 40 - 1);
  EXPECT_LE(b.Right, 40 + h + 1);
  // Rotation keeps the size of the ink (within a pixel of rounding).
  EXPECT_NEAR(b.Height(), a.Width(), 2);
  EXPECT_NEAR(b.Width(), a.Height(), 2);
}

TEST(Text, RotatedFontThroughLogFontAndHandles) {
  Board b(60, 60);
  TFont* font = b.canvas.Font();
  font->SetSize(10);
  LOGFONTA lf{};
  ASSERT_EQ(GetObjectA(font->Handle(), sizeof lf, &lf), 60);
  EXPECT_EQ(lf.lfHeight, -13);
  EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif");
  lf.lfEscapement = 900;
  HFONT rotated = CreateFontIndirectA(&lf);
  ASSERT_NE(rotated, nullptr);
  font->SetColor(clRed);
  font->SetHandle(rotated);
  EXPECT_EQ(font->Orientation(), 900);
  EXPECT_EQ(font->Color(), clRed);  // the colour is not part of the handle
  EXPECT_EQ(font->Handle(), rotated);
  EXPECT_FALSE(DeleteObject(rotated));  // owned by the font now
  b.canvas.Brush()->SetStyle(bsClear);
  b.canvas.TextOut(5, 55, "Ab");
  TRect ink = InkBox(b.surface);
  EXPECT_GT(ink.Height(), 0);
  EXPECT_LE(ink.Bottom, 56);
}

TEST(Text, FaceNamesMapToInstalledFontsAndStylesDiffer) {
  Board b(10, 10);
  for (const char* face : {"MS Sans Serif", "Tahoma", "Arial", "Times New Roman", "No Such Face"}) {
    b.canvas.Font()->SetName(face);
    EXPECT_GT(b.canvas.TextWidth("abc"), 0) << face;
  }
  b.canvas.Font()->SetName("Arial");
  int arial = b.canvas.TextWidth("mmmmmmmmmm");
  b.canvas.Font()->SetName("Courier New");
  int mono = b.canvas.TextWidth("iiiiiiiiii");
  EXPECT_EQ(mono, b.canvas.TextWidth("mmmmmmmmmm"));  // a fixed-pitch face
  b.canvas.Font()->SetName("Arial");
  EXPECT_GT(arial, b.canvas.TextWidth("iiiiiiiiii"));   // a proportional one
}

TEST(Text, UnderlineAndNonAsciiText) {
  Board plain(60, 20), under(60, 20);
  plain.canvas.Brush()->SetStyle(bsClear);
  under.canvas.Brush()->SetStyle(bsClear);
  under.canvas.Font()->SetStyle({fsUnderline});
  plain.canvas.TextOut(2, 2, "ab");
  under.canvas.TextOut(2, 2, "ab");
  EXPECT_GT(Count(under.surface, kBlack), Count(plain.surface, kBlack));
  // UTF-8 text counts one advance per character; invalid bytes still draw.
  const int e = plain.canvas.TextWidth("\xC3\xA9");
  EXPECT_GT(e, 0);
  EXPECT_EQ(plain.canvas.TextWidth("x\xC3\xA9"), plain.canvas.TextWidth("x") + e);
  EXPECT_NE(e, plain.canvas.TextWidth("\xC3") + plain.canvas.TextWidth("\xA9"));
  EXPECT_GT(plain.canvas.TextWidth("\xFF\xFE"), 0);
}

TEST(Text, ExpandTabsMovesToStopsOfEightAverageCharacters) {
  Board b(200, 20);
  HDC dc = b.canvas.Handle();
  TEXTMETRICA tm{};
  ASSERT_TRUE(GetTextMetricsA(dc, &tm));
  const int stop = 8 * tm.tmAveCharWidth;
  RECT r{0, 0, 200, 20};
  DrawTextA(dc, "a\tb", -1, &r, DT_SINGLELINE | DT_CALCRECT | DT_EXPANDTABS);
  EXPECT_EQ(r.right, stop + b.canvas.TextWidth("b"));
  RECT t{0, 0, 200, 20};
  DrawTextA(dc, "a\t\tb", -1, &t, DT_SINGLELINE | DT_CALCRECT | DT_EXPANDTABS);
  EXPECT_EQ(t.right, 2 * stop + b.canvas.TextWidth("b"));
  // Drawn: the "b" starts at the stop.
  SetBkMode(dc, TRANSPARENT);
  RECT d{0, 0, 200, 20};
  DrawTextA(dc, "\tb", -1, &d, DT_SINGLELINE | DT_EXPANDTABS);
  TRect ink = InkBox(b.surface);
  EXPECT_GE(ink.Left, stop);
  EXPECT_LE(ink.Right, stop + b.canvas.TextWidth("b"));
}
