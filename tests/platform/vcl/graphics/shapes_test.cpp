// Shapes on small surfaces: GDI's edge rules, pens and brushes, clipping and origin.
#include <gtest/gtest.h>

#include <cstdlib>

#include "pixels.h"

using namespace gfxtest;

TEST(Shapes, RectangleExcludesRightAndBottomAndDrawsPenInside) {
  Board b(8, 7);
  b.canvas.Pen()->SetColor(clBlack);
  b.canvas.Brush()->SetColor(clRed);
  b.canvas.Rectangle(1, 1, 6, 5);
  EXPECT_EQ(Picture(b.surface, kWhite),
            "........\n"
            ".#####..\n"
            ".#####..\n"
            ".#####..\n"
            ".#####..\n"
            "........\n"
            "........\n");
  // Outline in the pen, interior in the brush.
  EXPECT_EQ(b.At(1, 1), kBlack);
  EXPECT_EQ(b.At(5, 4), kBlack);
  EXPECT_EQ(b.At(2, 2), kRed);
  EXPECT_EQ(b.At(4, 3), kRed);
  EXPECT_EQ(Count(b.surface, kRed), 3 * 2);
}

TEST(Shapes, WidePenStaysInsideTheRectangle) {
  Board b(10, 10);
  b.canvas.Pen()->SetWidth(2);
  b.canvas.Brush()->SetColor(clRed);
  b.canvas.Rectangle(1, 1, 9, 9);
  EXPECT_EQ(InkBox(b.surface), TRect(1, 1, 9, 9));
  EXPECT_EQ(b.At(2, 2), kBlack);
  EXPECT_EQ(b.At(3, 3), kRed);
  EXPECT_EQ(b.At(7, 7), kBlack);
  EXPECT_EQ(Count(b.surface, kRed), 4 * 4);
}

TEST(Shapes, ClearPenMakesTheRectangleOnePixelSmaller) {
  Board b(8, 8);
  b.canvas.Pen()->SetStyle(psClear);
  b.canvas.Brush()->SetColor(clRed);
  b.canvas.Rectangle(1, 1, 6, 5);
  EXPECT_EQ(InkBox(b.surface), TRect(1, 1, 5, 4));
  EXPECT_EQ(Count(b.surface, kRed), 4 * 3);
}

TEST(Shapes, ClearBrushLeavesTheInsideAndReversedCornersNormalise) {
  Board b(8, 8);
  b.canvas.Brush()->SetStyle(bsClear);
  b.canvas.Rectangle(6, 5, 1, 1);
  EXPECT_EQ(InkBox(b.surface), TRect(1, 1, 6, 5));
  EXPECT_EQ(b.At(3, 3), kWhite);
}

TEST(Shapes, FillRectAndFrameRectUseTheBrushOnly) {
  Board b(6, 6);
  b.canvas.Pen()->SetColor(clRed);
  b.canvas.Brush()->SetColor(clBlue);
  b.canvas.FillRect(TRect(1, 1, 4, 3));
  EXPECT_EQ(Count(b.surface, kBlue), 6);
  EXPECT_EQ(InkBox(b.surface), TRect(1, 1, 4, 3));
  Board f(6, 6);
  f.canvas.Brush()->SetColor(clGreen);
  f.canvas.FrameRect(TRect(0, 0, 5, 4));
  EXPECT_EQ(Picture(f.surface),
            "#####.\n"
            "#...#.\n"
            "#...#.\n"
            "#####.\n"
            "......\n"
            "......\n");
  // An empty or inverted rectangle paints nothing.
  Board e(4, 4);
  e.canvas.Brush()->SetColor(clBlack);
  e.canvas.FillRect(TRect(3, 3, 1, 1));
  EXPECT_EQ(Count(e.surface, kBlack), 0);
}

// Every octant: the start pixel is drawn, the end pixel is not, one pixel per step
// of the major axis, and every pixel lies within one pixel of the true line.
TEST(Shapes, LinesInAllOctantsExcludeTheLastPoint) {
  const int cx = 10, cy = 10;
  const int ends[][2] = {{18, 13}, {13, 18}, {7, 18}, {2, 13}, {2, 7}, {7, 2}, {13, 2}, {18, 7},
                         {18, 10}, {10, 18}, {2, 10}, {10, 2}, {18, 18}, {2, 2}, {18, 2}, {2, 18}};
  for (const auto& e : ends) {
    Board b(21, 21);
    b.canvas.MoveTo(cx, cy);
    b.canvas.LineTo(e[0], e[1]);
    SCOPED_TRACE(::testing::Message() << "to " << e[0] << "," << e[1]);
    const int dx = e[0] - cx, dy = e[1] - cy;
    const int steps = std::max(std::abs(dx), std::abs(dy));
    EXPECT_EQ(Count(b.surface, kBlack), steps);
    EXPECT_EQ(b.At(cx, cy), kBlack);
    EXPECT_EQ(b.At(e[0], e[1]), kWhite);
    for (int y = 0; y < 21; ++y)
      for (int x = 0; x < 21; ++x) {
        if (b.At(x, y) != kBlack) continue;
        // Distance from the ideal line, measured along the minor axis.
        double t = std::abs(dx) >= std::abs(dy) ? double(x - cx) / dx : double(y - cy) / dy;
        EXPECT_GE(t, 0.0);
        EXPECT_LT(t, 1.0);
        double ix = cx + t * dx, iy = cy + t * dy;
        EXPECT_LE(std::abs(ix - x) + std::abs(iy - y), 0.5 + 1e-9);
      }
    EXPECT_EQ(b.canvas.PenPos(), TPoint(e[0], e[1]));
  }
}

TEST(Shapes, PolylineJoinsSegmentsAndSkipsOnlyTheFinalPoint) {
  Board b(6, 6);
  b.canvas.Polyline({TPoint(1, 1), TPoint(4, 1), TPoint(4, 4)});
  EXPECT_EQ(Picture(b.surface),
            "......\n"
            ".####.\n"
            "....#.\n"
            "....#.\n"
            "......\n"
            "......\n");
}

// A pixel is inside a polygon when its top-left corner is: left and top edges in,
// right and bottom edges out, exactly as for rectangles.
TEST(Shapes, PolygonFillFollowsTheRectangleRule) {
  Board b(8, 8);
  b.canvas.Pen()->SetStyle(psClear);
  b.canvas.Brush()->SetColor(clBlack);
  b.canvas.Polygon({TPoint(1, 1), TPoint(5, 1), TPoint(5, 4), TPoint(1, 4)});
  EXPECT_EQ(InkBox(b.surface), TRect(1, 1, 5, 4));
  EXPECT_EQ(Count(b.surface, kBlack), 12);
}

TEST(Shapes, PolygonUsesTheAlternateFillForSelfCrossingOutlines) {
  // Two overlapping squares drawn as one outline: the overlap is crossed twice
  // and stays empty under the alternate rule.
  Board b(12, 12);
  b.canvas.Pen()->SetStyle(psClear);
  b.canvas.Brush()->SetColor(clBlack);
  b.canvas.Polygon({TPoint(0, 0), TPoint(8, 0), TPoint(8, 8), TPoint(4, 8), TPoint(4, 4), TPoint(11, 4),
                    TPoint(11, 11), TPoint(0, 11)});
  EXPECT_EQ(b.At(1, 1), kBlack);
  EXPECT_EQ(b.At(6, 6), kWhite);   // inside both squares
  EXPECT_EQ(b.At(9, 9), kBlack);
  EXPECT_EQ(b.At(10, 1), kWhite);  // outside both
}

TEST(Shapes, PolygonOutlineCoversEveryVertexAndTriangleIsInsideItsBox) {
  Board b(12, 12);
  b.canvas.Brush()->SetColor(clRed);
  b.canvas.Polygon({TPoint(1, 10), TPoint(6, 1), TPoint(10, 10)});
  EXPECT_EQ(b.At(1, 10), kBlack);
  EXPECT_EQ(b.At(6, 1), kBlack);
  EXPECT_EQ(b.At(10, 10), kBlack);
  EXPECT_EQ(b.At(6, 7), kRed);
  EXPECT_EQ(InkBox(b.surface), TRect(1, 1, 11, 11));
}

TEST(Shapes, EllipseIsSymmetricAndTouchesItsBoxWithoutLeavingIt) {
  for (int w : {2, 5, 10, 11}) {
    for (int h : {3, 8, 9}) {
      Board b(16, 16);
      b.canvas.Brush()->SetColor(clRed);
      b.canvas.Ellipse(2, 3, 2 + w, 3 + h);
      SCOPED_TRACE(::testing::Message() << w << "x" << h);
      EXPECT_EQ(InkBox(b.surface), TRect(2, 3, 2 + w, 3 + h));
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          EXPECT_EQ(b.At(2 + x, 3 + y), b.At(2 + w - 1 - x, 3 + y));
          EXPECT_EQ(b.At(2 + x, 3 + y), b.At(2 + x, 3 + h - 1 - y));
        }
    }
  }
  Board b(12, 12);
  b.canvas.Brush()->SetColor(clRed);
  b.canvas.Ellipse(0, 0, 10, 10);
  EXPECT_EQ(b.At(0, 0), kWhite);  // corners are outside
  EXPECT_EQ(b.At(9, 9), kWhite);
  EXPECT_EQ(b.At(0, 5), kBlack);  // outline at the middle of each side
  EXPECT_EQ(b.At(9, 4), kBlack);
  EXPECT_EQ(b.At(5, 5), kRed);
}

TEST(Shapes, RoundRectHasRoundCornersAndStraightSides) {
  Board b(14, 14);
  b.canvas.Brush()->SetColor(clRed);
  b.canvas.RoundRect(1, 1, 13, 11, 6, 6);
  EXPECT_EQ(InkBox(b.surface), TRect(1, 1, 13, 11));
  EXPECT_EQ(b.At(1, 1), kWhite);
  EXPECT_EQ(b.At(12, 10), kWhite);
  EXPECT_EQ(b.At(1, 6), kBlack);   // straight left side
  EXPECT_EQ(b.At(7, 1), kBlack);   // straight top
  EXPECT_EQ(b.At(7, 6), kRed);
  // Corners that are too small make a plain rectangle.
  Board r(8, 8);
  r.canvas.RoundRect(1, 1, 6, 6, 0, 0);
  EXPECT_EQ(r.At(1, 1), kBlack);
}

TEST(Shapes, OriginMovesAndClipLimitsEveryDrawing) {
  Board b(10, 10);
  b.canvas.SetOrigin(3, 2);
  b.canvas.Brush()->SetColor(clBlack);
  b.canvas.FillRect(TRect(0, 0, 2, 2));
  EXPECT_EQ(InkBox(b.surface), TRect(3, 2, 5, 4));

  Board c(10, 10);
  c.canvas.SetClipRect(TRect(2, 2, 6, 6));  // device pixels
  c.canvas.Brush()->SetColor(clBlack);
  c.canvas.FillRect(TRect(0, 0, 10, 10));
  c.canvas.MoveTo(0, 8);
  c.canvas.LineTo(10, 8);
  c.canvas.SetPixels(0, 0, clRed);
  EXPECT_EQ(InkBox(c.surface), TRect(2, 2, 6, 6));
  EXPECT_EQ(Count(c.surface, kBlack), 16);
  EXPECT_EQ(c.canvas.ClipRect(), TRect(2, 2, 6, 6));

  // A child-control set-up: origin at the child, clip to its bounds.
  Board d(10, 10);
  d.canvas.SetOrigin(4, 4);
  d.canvas.SetClipRect(TRect(4, 4, 7, 7));
  EXPECT_EQ(d.canvas.ClipRect(), TRect(0, 0, 3, 3));
  d.canvas.Brush()->SetColor(clBlack);
  d.canvas.Rectangle(-5, -5, 20, 20);
  EXPECT_EQ(InkBox(d.surface), TRect(4, 4, 7, 7));
  d.canvas.ClearClip();
  d.canvas.FillRect(TRect(-4, -4, -3, -3));
  EXPECT_EQ(d.At(0, 0), kBlack);
}

TEST(Shapes, ClipRegionsAndSavedStates) {
  Board b(10, 4);
  HDC dc = b.canvas.Handle();
  SaveDC(dc);
  IntersectClipRect(dc, 0, 0, 8, 4);
  ExcludeClipRect(dc, 2, 0, 4, 4);
  b.canvas.Brush()->SetColor(clBlack);
  b.canvas.FillRect(TRect(0, 0, 10, 1));
  EXPECT_EQ(Picture(b.surface).substr(0, 10), "##..####..");
  RestoreDC(dc, -1);
  b.canvas.FillRect(TRect(0, 1, 10, 2));
  EXPECT_EQ(Picture(b.surface).substr(11, 10), "##########");

  HRGN rgn = CreateRectRgn(1, 2, 3, 4);
  HRGN other = CreateRectRgn(6, 2, 8, 4);
  CombineRgn(rgn, rgn, other, RGN_OR);
  EXPECT_EQ(SelectClipRgn(dc, rgn), COMPLEXREGION);
  b.canvas.FillRect(TRect(0, 2, 10, 4));
  EXPECT_EQ(Picture(b.surface).substr(22, 10), ".##...##..");
  EXPECT_EQ(SelectClipRgn(dc, nullptr), SIMPLEREGION);
  DeleteObject(rgn);
  DeleteObject(other);
}

TEST(Shapes, PatternAndHatchBrushesTileFromTheDeviceOrigin) {
  TBitmap pattern(2, 2);
  pattern.Canvas()->SetPixels(0, 0, clBlack);
  pattern.Canvas()->SetPixels(1, 1, clBlack);
  Board b(6, 4);
  b.canvas.Brush()->SetBitmap(&pattern);
  b.canvas.FillRect(TRect(1, 0, 6, 4));
  EXPECT_EQ(Picture(b.surface),
            "..#.#.\n"
            ".#.#.#\n"
            "..#.#.\n"
            ".#.#.#\n");

  Board h(8, 8);
  h.canvas.Brush()->SetStyle(bsCross);
  h.canvas.Brush()->SetColor(clRed);
  h.canvas.FillRect(TRect(0, 0, 8, 8));
  EXPECT_EQ(Count(h.surface, kRed), 15);
  EXPECT_EQ(Count(h.surface, kWhite), 49);  // the gaps take the background colour
}

TEST(Shapes, PenModesMixWithTheDestination) {
  Board b(6, 3, kRed);
  b.canvas.Pen()->SetMode(pmXor);
  b.canvas.Pen()->SetColor(clWhite);
  b.canvas.MoveTo(0, 1);
  b.canvas.LineTo(6, 1);
  EXPECT_EQ(b.At(2, 1), 0x00FFFF);
  b.canvas.MoveTo(0, 1);
  b.canvas.LineTo(6, 1);
  EXPECT_EQ(Count(b.surface, kRed), 18);  // XOR twice restores

  Board f(6, 6, kRed);
  f.canvas.DrawFocusRect(TRect(0, 0, 6, 6));
  EXPECT_LT(Count(f.surface, kRed), 36);
  f.canvas.DrawFocusRect(TRect(0, 0, 6, 6));
  EXPECT_EQ(Count(f.surface, kRed), 36);
}

TEST(Shapes, DashedPenLeavesGaps) {
  Board b(40, 1);
  b.canvas.Pen()->SetStyle(psDot);
  b.canvas.Brush()->SetStyle(bsClear);  // transparent gaps
  b.canvas.MoveTo(0, 0);
  b.canvas.LineTo(40, 0);
  int ink = Count(b.surface, kBlack);
  EXPECT_GT(ink, 10);
  EXPECT_LT(ink, 30);
}

TEST(Shapes, PixelsReadBackAndOutsideIsInvalid) {
  Board b(4, 4);
  b.canvas.SetPixels(1, 2, clRed);  // TColor red = 0x0000FF
  EXPECT_EQ(b.canvas.Pixels(1, 2), clRed);
  EXPECT_EQ(b.At(1, 2), kRed);
  EXPECT_EQ(b.canvas.Pixels(4, 0), -1);
  EXPECT_EQ(b.canvas.Pixels(-1, 0), -1);
  b.canvas.SetPixels(9, 9, clRed);  // ignored
  EXPECT_EQ(ColorToRGB(clBtnFace), static_cast<TColor>(GetSysColor(COLOR_BTNFACE)));
  EXPECT_EQ(ColorToRGB(clRed), clRed);
}

TEST(Shapes, CanvasWithoutSurfaceDrawsNothingAndStaleHandlesAreRefused) {
  TCanvas c;
  c.Rectangle(0, 0, 10, 10);
  c.TextOut(0, 0, "x");
  EXPECT_EQ(c.Pixels(0, 0), -1);
  EXPECT_FALSE(c.HandleAllocated());

  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
  EXPECT_FALSE(Rectangle(dc, 0, 0, 1, 1));
  int bogus = 0;
  EXPECT_EQ(SelectObject(c.Handle(), &bogus), nullptr);
}

TEST(Shapes, Frame3DDrawsNestedRingsAndShrinksTheRectangle) {
  Board b(6, 6);
  TRect r(0, 0, 6, 5);
  Frame3D(&b.canvas, r, clRed, clBlue, 2);
  EXPECT_EQ(r, TRect(2, 2, 4, 3));
  // Rows as colours: R red (top/left), B blue (bottom/right), . untouched.
  std::string rows;
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) {
      std::uint32_t p = b.At(x, y);
      rows.push_back(p == kRed ? 'R' : p == kBlue ? 'B' : '.');
    }
    rows.push_back('\n');
  }
  EXPECT_EQ(rows,
            "RRRRRB\n"
            "RRRRBB\n"
            "RR..BB\n"
            "RBBBBB\n"
            "BBBBBB\n"
            "......\n");
  TRect same(0, 0, 6, 6);
  Board z(6, 6);
  Frame3D(&z.canvas, same, clRed, clBlue, 0);
  EXPECT_EQ(same, TRect(0, 0, 6, 6));
  EXPECT_EQ(Count(z.surface, kWhite), 36);
}
