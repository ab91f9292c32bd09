// The drawing helpers by pixels: tiling, the edge-preserving stretches, the control
// border, the window shape from a bitmap, the parent's background, and geometry.
#include <gtest/gtest.h>

#include <vcl/extctrls.h>
#include <vcl/forms.h>
#include <vcl/stdctrls.h>
#include <vcl/headless.h>
#include <vcl/winuser.h>
#include <win32/region.h>

#include "suipublic.h"

namespace {

// A bitmap whose every pixel tells where it came from: red = x, green = y.
std::unique_ptr<TBitmap> Coded(int w, int h) {
  auto b = std::make_unique<TBitmap>(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->Canvas()->SetPixels(x, y, RGB(x, y, 77));
  return b;
}

std::unique_ptr<TBitmap> Blank(int w, int h, TColor c = clWhite) {
  auto b = std::make_unique<TBitmap>(w, h);
  b->Canvas()->Brush()->SetColor(c);
  b->Canvas()->FillRect(TRect(0, 0, w, h));
  return b;
}

TEST(InRect, AllFourEdgesCountAsInside) {
  TRect r(10, 5, 20, 15);
  EXPECT_TRUE(InRect(10, 5, r));
  EXPECT_TRUE(InRect(20, 15, r));
  EXPECT_FALSE(InRect(21, 15, r));
  EXPECT_FALSE(InRect(9, 5, r));
  EXPECT_FALSE(InRect(10, 16, r));
  EXPECT_TRUE(InRect(TPoint(15, 10), r));
  EXPECT_FALSE(InRect(TPoint(15, 4), r));
}

TEST(TileDraw, TilesFromTheOriginUpToOnePictureBeyondTheRectangle) {
  TPicture pic;
  pic.SetGraphic(Coded(10, 10).get());
  auto canvas = Blank(45, 35);
  TileDraw(canvas->Canvas(), &pic, TRect(5, 5, 30, 17));  // 25 by 12
  // Columns at x = 0, 10, 20, 30 and rows at y = 0, 10, 20: 12 tiles.
  for (int y = 0; y < 35; ++y)
    for (int x = 0; x < 45; ++x) {
      TColor want = (x < 40 && y < 30) ? RGB(x % 10, y % 10, 77) : clWhite;
      ASSERT_EQ(canvas->Canvas()->Pixels(x, y), want) << x << "," << y;
    }
}

TEST(TileDraw, AHugeRectangleEndsAtWhatTheCanvasShows) {
  TPicture pic;
  pic.SetGraphic(Coded(1, 1).get());
  auto canvas = Blank(30, 20);
  TileDraw(canvas->Canvas(), &pic, TRect(-2000000000, -2000000000, 2000000000, 2000000000));
  EXPECT_EQ(canvas->Canvas()->Pixels(29, 19), RGB(0, 0, 77));
}

TEST(TileDraw, AnEmptyPictureDrawsNothingAndEnds) {
  auto canvas = Blank(20, 20);
  TPicture none;
  TileDraw(canvas->Canvas(), &none, TRect(0, 0, 20, 20));
  TPicture empty;
  TBitmap zero;
  empty.SetGraphic(&zero);
  TileDraw(canvas->Canvas(), &empty, TRect(0, 0, 20, 20));
  TPicture thin;
  TBitmap line(5, 0);
  thin.SetGraphic(&line);
  TileDraw(canvas->Canvas(), &thin, TRect(0, 0, 20, 20));
  TileDraw(canvas->Canvas(), nullptr, TRect(0, 0, 20, 20));
  EXPECT_EQ(canvas->Canvas()->Pixels(0, 0), clWhite);
  EXPECT_EQ(canvas->Canvas()->Pixels(19, 19), clWhite);
}

int ExpectedSourceRow(int r) { return r <= 9 ? r : (r <= 15 ? 10 : r - 6); }
int ExpectedSourceColumn(int c) { return c <= 36 ? c : (c <= 82 ? 37 : c - 46); }

TEST(SpitDraw, KeepsTheHalvesAndStretchesTheMiddleColumnAndRow) {
  auto src = Coded(74, 21);
  auto canvas = Blank(130, 40);
  SpitDraw(src.get(), canvas->Canvas(), TRect(5, 7, 125, 34), false);  // 120 by 27
  for (int r = 0; r < 27; ++r)
    for (int c = 0; c < 120; ++c)
      ASSERT_EQ(canvas->Canvas()->Pixels(5 + c, 7 + r), RGB(ExpectedSourceColumn(c), ExpectedSourceRow(r), 77))
          << c << "," << r;
  EXPECT_EQ(canvas->Canvas()->Pixels(4, 7), clWhite);
  EXPECT_EQ(canvas->Canvas()->Pixels(125, 7), clWhite);
  EXPECT_EQ(canvas->Canvas()->Pixels(5, 34), clWhite);
}

TEST(SpitDraw, TransparentLeavesThePixelsOfTheTopLeftColour) {
  auto src = Blank(10, 10, clBlue);
  src->Canvas()->SetPixels(5, 5, clRed);
  auto canvas = Blank(20, 20, clLime);
  SpitDraw(src.get(), canvas->Canvas(), TRect(0, 0, 20, 20), true);
  EXPECT_EQ(canvas->Canvas()->Pixels(0, 0), clLime);
  EXPECT_EQ(canvas->Canvas()->Pixels(19, 19), clLime);
  // The red pixel sits on the middle row and column: it is stretched with them.
  EXPECT_EQ(canvas->Canvas()->Pixels(10, 10), clRed);
  EXPECT_EQ(canvas->Canvas()->Pixels(15, 14), clRed);
  EXPECT_EQ(canvas->Canvas()->Pixels(15, 15), clLime);  // blue is the key
  SpitDraw(src.get(), canvas->Canvas(), TRect(0, 0, 20, 20), false);
  EXPECT_EQ(canvas->Canvas()->Pixels(0, 0), clBlue);
}

TEST(SpitDraw, EmptyOrInvertedRectanglesAndEmptySourcesDrawNothing) {
  auto src = Coded(74, 21);
  auto canvas = Blank(60, 60);
  SpitDraw(src.get(), canvas->Canvas(), TRect(50, 50, 10, 10), false);
  SpitDraw(src.get(), canvas->Canvas(), TRect(10, 10, 10, 40), false);
  SpitDraw(src.get(), canvas->Canvas(), TRect(10, 10, 40, 10), true);
  TBitmap empty;
  SpitDraw(&empty, canvas->Canvas(), TRect(0, 0, 60, 60), false);
  SpitDraw(nullptr, canvas->Canvas(), TRect(0, 0, 60, 60), false);
  for (int y = 0; y < 60; y += 3)
    for (int x = 0; x < 60; x += 3) ASSERT_EQ(canvas->Canvas()->Pixels(x, y), clWhite) << x << "," << y;
}

TEST(SpitDraw, ARectangleSmallerThanTheSourceStaysInsideIt) {
  auto src = Coded(74, 21);
  auto canvas = Blank(60, 30);
  SpitDraw(src.get(), canvas->Canvas(), TRect(10, 10, 30, 18), false);  // 20 by 8
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 60; ++x) {
      if (!TRect(10, 10, 30, 18).Contains(x, y)) {
        ASSERT_EQ(canvas->Canvas()->Pixels(x, y), clWhite) << x << "," << y;
      }
    }
  // The source's left half is drawn last and covers the narrow strip.
  EXPECT_EQ(GetRValue(canvas->Canvas()->Pixels(10, 10)), 0);
  EXPECT_EQ(GetRValue(canvas->Canvas()->Pixels(29, 10)), 19);
}

TEST(SpitDrawHorizontal, EndsAtTheirSizeAndTheMiddleStretched) {
  auto src = Blank(30, 5, clRed);
  src->Canvas()->Brush()->SetColor(clBlue);
  src->Canvas()->FillRect(TRect(10, 0, 20, 5));
  src->Canvas()->Brush()->SetColor(clLime);
  src->Canvas()->FillRect(TRect(20, 0, 30, 5));
  src->Canvas()->SetPixels(0, 0, clYellow);  // the key of the masked form
  auto canvas = Blank(60, 10);
  SpitDrawHorizontal(src.get(), canvas->Canvas(), TRect(5, 2, 55, 7), true);
  EXPECT_EQ(canvas->Canvas()->Pixels(5, 2), clWhite);  // keyed out
  EXPECT_EQ(canvas->Canvas()->Pixels(6, 2), clRed);
  EXPECT_EQ(canvas->Canvas()->Pixels(14, 6), clRed);
  EXPECT_EQ(canvas->Canvas()->Pixels(15, 2), clBlue);
  EXPECT_EQ(canvas->Canvas()->Pixels(44, 6), clBlue);
  EXPECT_EQ(canvas->Canvas()->Pixels(45, 2), clLime);
  EXPECT_EQ(canvas->Canvas()->Pixels(54, 6), clLime);
  EXPECT_EQ(canvas->Canvas()->Pixels(55, 2), clWhite);
  // A source narrower than three pixels has no parts to draw.
  auto thin = Blank(2, 5, clRed);
  SpitDrawHorizontal(thin.get(), canvas->Canvas(), TRect(0, 0, 60, 10), false);
  EXPECT_EQ(canvas->Canvas()->Pixels(0, 0), clWhite);
}

class OnForm : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    form = new TForm(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(40, 40, 200, 150);
    form->SetColor(clBlue);
  }
  void TearDown() override { FreeComponent(form); }
  void Pump() { Application->ProcessMessages(); }
  TColor Pixel(int x, int y) {
    Pump();
    TSurface s;
    EXPECT_TRUE(HeadlessCapture(form->Handle(), s));
    return s.Contains(x, y) ? static_cast<TColor>(PixelToColorRef(s.At(x, y))) : -1;
  }
  TForm* form = nullptr;
};

TEST_F(OnForm, DrawControlBorderFramesTheWholeWindowInTwoColours) {
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  panel->SetBevelOuter(bvNone);
  panel->SetColor(clWhite);
  panel->SetBounds(20, 30, 50, 40);
  form->Show();
  Pump();
  DrawControlBorder(panel, clRed, clYellow);
  EXPECT_EQ(Pixel(20, 30), clRed);
  EXPECT_EQ(Pixel(69, 69), clRed);
  EXPECT_EQ(Pixel(21, 31), clYellow);
  EXPECT_EQ(Pixel(68, 68), clYellow);
  EXPECT_EQ(Pixel(22, 32), clWhite);
  EXPECT_EQ(Pixel(19, 30), clBlue);
  EXPECT_EQ(Pixel(70, 69), clBlue);
}

TEST_F(OnForm, SetBitmapWindowLeavesOutTheKeyAndTheLastColumn) {
  TBitmap shape(6, 3);
  shape.Canvas()->Brush()->SetColor(clRed);
  shape.Canvas()->FillRect(TRect(0, 0, 6, 3));
  shape.Canvas()->SetPixels(2, 1, clFuchsia);
  SetBitmapWindow(form->Handle(), &shape, clFuchsia);
  HRGN got = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(form->Handle(), got), ERROR);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 7; ++x) {
      bool want = y < 3 && x < 5 && !(x == 2 && y == 1);
      EXPECT_EQ(PtInRegion(got, x, y) != FALSE, want) << x << "," << y;
    }
  DeleteObject(got);
}

TEST_F(OnForm, SetBitmapWindowWithoutTheKeyTakesEveryRowButTheLastColumn) {
  TBitmap shape(4, 3);
  shape.Canvas()->Brush()->SetColor(clRed);
  shape.Canvas()->FillRect(TRect(0, 0, 4, 3));
  SetBitmapWindow(form->Handle(), &shape, clFuchsia);
  HRGN got = CreateRectRgn(0, 0, 0, 0);
  GetWindowRgn(form->Handle(), got);
  HRGN want = CreateRectRgn(0, 0, 3, 3);
  EXPECT_TRUE(EqualRgn(got, want));
  DeleteObject(got);
  DeleteObject(want);
}

TEST_F(OnForm, DoTransPaintsTheParentsBackgroundAtTheControlsPlace) {
  auto* panel = new TPanel(form);
  panel->SetBounds(30, 20, 40, 30);
  auto canvas = Blank(40, 30, clLime);
  // Without a parent nothing is drawn.
  DoTrans(canvas->Canvas(), panel);
  EXPECT_EQ(canvas->Canvas()->Pixels(0, 0), clLime);
  panel->SetParent(form);
  auto* patch = new TPanel(form);
  patch->SetParent(form);
  patch->SetBevelOuter(bvNone);
  patch->SetColor(clRed);
  patch->SetBounds(60, 40, 20, 20);  // overlaps the panel's lower right corner
  auto* label = new TLabel(form);
  label->SetParent(form);
  label->SetAutoSize(false);
  label->SetTransparent(false);
  label->SetCaption("");
  label->SetColor(clYellow);
  label->SetBounds(50, 30, 10, 10);  // a graphic control: part of the parent's painting
  form->OnPaint = [this](TObject*) {
    form->Canvas()->Brush()->SetColor(clAqua);
    form->Canvas()->FillRect(TRect(30, 45, 34, 49));
  };
  form->Show();
  Pump();
  DoTrans(canvas->Canvas(), panel);
  EXPECT_EQ(canvas->Canvas()->Pixels(0, 0), clBlue);
  EXPECT_EQ(canvas->Canvas()->Pixels(39, 29), clBlue);  // windowed siblings are not the parent's painting
  EXPECT_EQ(canvas->Canvas()->Pixels(20, 10), clYellow);
  EXPECT_EQ(canvas->Canvas()->Pixels(29, 19), clYellow);
  EXPECT_EQ(canvas->Canvas()->Pixels(30, 19), clBlue);
  EXPECT_EQ(canvas->Canvas()->Pixels(0, 25), clAqua);  // the form's own painting
  EXPECT_EQ(canvas->Canvas()->Pixels(3, 28), clAqua);
  EXPECT_EQ(canvas->Canvas()->Pixels(4, 28), clBlue);
  // The canvas's own state is restored.
  POINT org{1, 1};
  GetViewportOrgEx(canvas->Canvas()->Handle(), &org);
  EXPECT_EQ(org.x, 0);
  EXPECT_EQ(org.y, 0);
}

TEST(Geometry, PlaceControlWorkAreaAndStrings) {
  TControl c(nullptr);
  PlaceControl(&c, TPoint(7, 9));
  EXPECT_EQ(c.Left(), 7);
  EXPECT_EQ(c.Top(), 9);
  PlaceControl(&c, TRect(1, 2, 31, 52));
  EXPECT_EQ(c.BoundsRect(), TRect(1, 2, 31, 52));
  RECT wa{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &wa, 0);
  EXPECT_EQ(GetWorkAreaRect(), TRect(wa));
  EXPECT_FALSE(GetWorkAreaRect().IsEmpty());
  EXPECT_EQ(PCharToStr("abc"), "abc");
  EXPECT_EQ(PCharToStr(""), "");
  EXPECT_EQ(PCharToStr(nullptr), "");
}

TEST_F(OnForm, SetWinControlTransparentDropsOpaqueAndSetsTheExtendedStyle) {
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  panel->SetControlStyle(panel->ControlStyle() | csOpaque);
  SetWinControlTransparent(panel);
  EXPECT_EQ(panel->ControlStyle() & csOpaque, 0u);
  EXPECT_NE(GetWindowLongA(panel->Handle(), GWL_EXSTYLE) & WS_EX_TRANSPARENT, 0);
}

TEST(DrawTransparentBitmap, LeavesOutTheTopLeftColour) {
  auto pic = Blank(4, 4, clRed);
  pic->Canvas()->SetPixels(1, 1, clBlue);
  auto canvas = Blank(10, 10);
  DrawTransparentBitmap(canvas->Canvas(), 3, 3, pic.get());
  EXPECT_EQ(canvas->Canvas()->Pixels(3, 3), clWhite);
  EXPECT_EQ(canvas->Canvas()->Pixels(4, 4), clBlue);
  TBitmap empty;
  DrawTransparentBitmap(canvas->Canvas(), 0, 0, &empty);
  DrawTransparentBitmap(canvas->Canvas(), 0, 0, nullptr);
  EXPECT_EQ(canvas->Canvas()->Pixels(0, 0), clWhite);
}

// A combo box that paints over its standard painting, as the themed one does.
class FramedCombo : public TComboBox {
 public:
  using TComboBox::TComboBox;

 protected:
  void WMPaint(TMessage& m) override {
    TComboBox::WMPaint(m);
    DrawControlBorder(this, clRed, clLime);
  }
};

TEST_F(OnForm, DrawControlBorderFromPaintingSurvivesEveryRepaint) {
  auto* combo = new FramedCombo(form);
  combo->SetParent(form);
  combo->SetBounds(10, 10, 120, 21);
  combo->Items()->Add("First");
  combo->SetItemIndex(0);
  form->Show();
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(Pixel(10, 20), clRed);
    EXPECT_EQ(Pixel(129, 20), clRed);
    EXPECT_EQ(Pixel(60, 10), clRed);
    EXPECT_EQ(Pixel(11, 20), clLime);
    EXPECT_EQ(Pixel(60, 29), clLime);
    // Inside, the standard painting is still there (not the form's blue).
    EXPECT_NE(Pixel(30, 20), clBlue);
    form->Invalidate();
  }
}

}  // namespace
