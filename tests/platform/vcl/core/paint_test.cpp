// Painting: erase and paint through the form's buffer, children in z-order with
// their origin and clip, opaque controls, invalidation, painting from another
// thread, window shapes and captures.
#include <gtest/gtest.h>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <support/scratch_dir.h>
#include <vcl/forms.h>
#include <vcl/headless.h>
#include <win32/region.h>

namespace {

constexpr std::uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00, kYellow = 0xFFFF00;

// A windowed control that fills a 2x2 corner green and tries to paint far outside
// itself in yellow first (the clip must stop that).
class Panel : public TCustomControl {
 public:
  explicit Panel(TComponent* owner) : TCustomControl(owner) {}
  int paints = 0;
  bool scribble = true;
  using TCustomControl::ControlStyle;

 protected:
  void Paint() override {
    ++paints;
    if (!scribble) return;
    Canvas()->Brush()->SetColor(clYellow);
    Canvas()->FillRect(TRect(-50, -50, -1, 200));  // left of the control: clipped away
    Canvas()->Brush()->SetColor(clLime);
    Canvas()->FillRect(TRect(0, 0, 2, 2));
  }
};

class Spot : public TGraphicControl {
 public:
  explicit Spot(TComponent* owner) : TGraphicControl(owner) {}
  int paints = 0;

 protected:
  void Paint() override {
    ++paints;
    Canvas()->Brush()->SetColor(Color());
    Canvas()->FillRect(TRect(0, 0, Width(), Height()));
  }
};

class PaintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    form = new TForm(nullptr);
    form->SetBorderStyle(bsNone);
    form->SetBounds(0, 0, 100, 80);
    form->SetColor(clRed);
  }
  void TearDown() override { FreeComponent(form); }
  std::uint32_t At(int x, int y) {
    TSurface s;
    EXPECT_TRUE(HeadlessCapture(form->Handle(), s));
    if (!s.Contains(x, y)) return 0xDEADBEEF;
    return s.At(x, y);
  }
  TForm* form;
};

TEST_F(PaintTest, FormEraseChildPaintWithOriginAndClip) {
  auto* p = new Panel(form);
  p->SetBounds(20, 10, 30, 20);
  p->SetColor(clBlue);
  p->SetParent(form);
  form->Show();
  Application->ProcessMessages();
  EXPECT_EQ(At(0, 0), kRed);
  EXPECT_EQ(At(20, 10), kGreen);  // the control's own (0, 0)
  EXPECT_EQ(At(21, 11), kGreen);
  EXPECT_EQ(At(22, 12), kBlue);   // erased in its colour
  EXPECT_EQ(At(49, 29), kBlue);
  EXPECT_EQ(At(50, 29), kRed);    // right edge is outside
  EXPECT_EQ(At(19, 15), kRed) << "the scribble left of the control is clipped";
}

TEST_F(PaintTest, OpaqueControlsAreNotErasedAndSubclassesPaintOverTheStandardPainting) {
  auto* p = new Panel(form);
  p->SetBounds(10, 10, 20, 20);
  p->SetColor(clBlue);
  p->scribble = false;
  p->SetControlStyle(p->ControlStyle() | csOpaque);
  p->SetParent(form);
  form->Show();
  Application->ProcessMessages();
  EXPECT_EQ(At(15, 15), kRed) << "csOpaque: the control must paint every pixel itself";
  p->SetControlStyle(p->ControlStyle() & ~csOpaque);
  p->Repaint();
  EXPECT_EQ(At(15, 15), kBlue);
}

TEST_F(PaintTest, GraphicChildrenPaintBelowWindowedOnesAndInZOrder) {
  auto* low = new Spot(form);
  low->SetBounds(0, 0, 40, 40);
  low->SetColor(clYellow);
  low->SetParent(form);
  auto* high = new Spot(form);
  high->SetBounds(20, 20, 40, 40);
  high->SetColor(clLime);
  high->SetParent(form);
  auto* win = new Panel(form);
  win->scribble = false;
  win->SetColor(clBlue);
  win->SetBounds(30, 30, 10, 10);
  win->SetParent(form);
  form->Show();
  Application->ProcessMessages();
  EXPECT_EQ(At(5, 5), kYellow);
  EXPECT_EQ(At(25, 25), kGreen);  // the later sibling lies above
  EXPECT_EQ(At(35, 35), kBlue);   // windowed children lie above graphic ones
  low->BringToFront();
  Application->ProcessMessages();
  EXPECT_EQ(At(25, 25), kYellow);
  EXPECT_EQ(At(35, 35), kBlue);
  high->SetVisible(false);
  Application->ProcessMessages();
  EXPECT_EQ(At(50, 50), kRed);
}

TEST_F(PaintTest, InvalidatingOneControlRepaintsOnlyWhatItCovers) {
  auto* a = new Spot(form);
  a->SetBounds(0, 0, 10, 10);
  a->SetParent(form);
  auto* b = new Spot(form);
  b->SetBounds(50, 50, 10, 10);
  b->SetParent(form);
  form->Show();
  Application->ProcessMessages();
  int pa = a->paints, pb = b->paints;
  EXPECT_GE(pa, 1);
  a->Invalidate();
  a->Invalidate();
  Application->ProcessMessages();
  EXPECT_EQ(a->paints, pa + 1) << "two invalidations, one paint";
  EXPECT_EQ(b->paints, pb);
  // Colour changes repaint by themselves.
  b->SetColor(clBlue);
  Application->ProcessMessages();
  EXPECT_EQ(At(55, 55), kBlue);
}

TEST_F(PaintTest, OnPaintDrawsOnTheFormAndParentColorFollows) {
  form->OnPaint = [&](TObject*) {
    form->Canvas()->Brush()->SetColor(clBlue);
    form->Canvas()->FillRect(TRect(90, 70, 100, 80));
  };
  auto* s = new Spot(form);
  s->SetBounds(0, 0, 5, 5);
  s->SetParent(form);
  EXPECT_TRUE(s->ParentColor());
  form->Show();
  Application->ProcessMessages();
  EXPECT_EQ(At(95, 75), kBlue);
  EXPECT_EQ(At(2, 2), kRed) << "ParentColor: the form's red";
  form->SetColor(clLime);
  Application->ProcessMessages();
  EXPECT_EQ(s->Color(), clLime);
  EXPECT_EQ(At(2, 2), kGreen);
  s->SetColor(clBlue);
  form->SetColor(clRed);
  EXPECT_FALSE(s->ParentColor());
  EXPECT_EQ(s->Color(), clBlue);
}

TEST_F(PaintTest, AnotherThreadPaintsThroughTheWindowSurfaceAndTheWindowShowsIt) {
  auto* view = new Panel(form);
  view->scribble = false;
  view->SetColor(clBlue);
  view->SetBounds(10, 20, 30, 40);
  view->SetParent(form);
  form->Show();
  Application->ProcessMessages();
  int presents = HeadlessPresentCount(form->Handle());
  HWND h = view->Handle();
  std::thread painter([h] {
    WindowSurface ws;
    ASSERT_TRUE(LockWindowSurface(h, &ws));
    EXPECT_EQ(ws.width, 30);
    EXPECT_EQ(ws.height, 40);
    for (int y = 0; y < ws.height; ++y)
      for (int x = 0; x < ws.width; ++x) ws.pixels[y * ws.stride + x] = kYellow;
    UnlockWindowSurface(h, true);
  });
  painter.join();
  Application->ProcessMessages();
  EXPECT_GT(HeadlessPresentCount(form->Handle()), presents);
  EXPECT_EQ(At(10, 20), kYellow);
  EXPECT_EQ(At(39, 59), kYellow);
  EXPECT_EQ(At(40, 59), kRed);
  EXPECT_EQ(At(9, 20), kRed);
  WindowSurface ws;
  EXPECT_FALSE(LockWindowSurface(reinterpret_cast<HWND>(0x42), &ws));
}

TEST_F(PaintTest, WindowRegionShapesTheWindowAndBelongsToIt) {
  form->Show();
  HRGN r = CreateRectRgn(0, 0, 50, 40);
  HRGN hole = CreateRectRgn(10, 10, 11, 11);
  CombineRgn(r, r, hole, RGN_XOR);
  DeleteObject(hole);
  EXPECT_NE(SetWindowRgn(form->Handle(), r, TRUE), 0);
  EXPECT_EQ(form->WindowRegion(), r);
  std::vector<RECT> shape = HeadlessWindowShape(form->Handle());
  ASSERT_FALSE(shape.empty());
  int area = 0;
  for (const RECT& s : shape) area += (s.right - s.left) * (s.bottom - s.top);
  EXPECT_EQ(area, 50 * 40 - 1);
  HRGN copy = CreateRectRgn(0, 0, 0, 0);
  EXPECT_NE(GetWindowRgn(form->Handle(), copy), ERROR);
  EXPECT_FALSE(PtInRegion(copy, 10, 10));
  EXPECT_TRUE(PtInRegion(copy, 11, 10));
  DeleteObject(copy);
  SetWindowRgn(form->Handle(), nullptr, TRUE);
  EXPECT_TRUE(HeadlessWindowShape(form->Handle()).empty());
  EXPECT_FALSE(IsRegion(r)) << "the window deleted the region it owned";
}

TEST_F(PaintTest, ANewFrameMakesTheWindowAnewWithoutItsRegion) {
  form->Show();
  HRGN r = CreateRectRgn(0, 0, 50, 40);
  SetWindowRgn(form->Handle(), r, TRUE);
  form->SetBorderStyle(form->BorderStyle() == bsNone ? bsSingle : bsNone);
  Application->ProcessMessages();
  // What the window reports and what it shows agree: rectangular, the region gone.
  EXPECT_EQ(form->WindowRegion(), nullptr);
  HRGN copy = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetWindowRgn(form->Handle(), copy), ERROR);
  DeleteObject(copy);
  EXPECT_TRUE(HeadlessWindowShape(form->Handle()).empty());
  EXPECT_FALSE(IsRegion(r));
}

TEST_F(PaintTest, CapturesAreWrittenAsPngAndBmp) {
  form->Show();
  Application->ProcessMessages();
  const quill_test::ScratchDir dir("quill-capture");
  ASSERT_TRUE(HeadlessCaptureToFile(form->Handle(), (dir / "a.png").string()));
  ASSERT_TRUE(HeadlessCaptureToFile(form->Handle(), (dir / "a.bmp").string()));
  EXPECT_FALSE(HeadlessCaptureToFile(form->Handle(), (dir / "a.gif").string()));
  std::ifstream png(dir / "a.png", std::ios::binary), bmp(dir / "a.bmp", std::ios::binary);
  char sig[8] = {};
  png.read(sig, 8);
  EXPECT_EQ(std::string(sig + 1, 3), "PNG");
  bmp.read(sig, 2);
  EXPECT_EQ(std::string(sig, 2), "BM");
  TBitmap back;
  back.LoadFromFile((dir / "a.bmp").string());
  EXPECT_EQ(back.Width(), 100);
  EXPECT_EQ(back.Canvas()->Pixels(50, 50), clRed);
}

// Canvases, bitmaps, contexts and image lists freed by a destructor at exit still
// free their handles (the program answers 3 otherwise; a sanitizer build reports
// what stays behind and fails the program).
TEST(PaintExitTest, HandlesFreedAtExitAreReleased) {
  const char* bin = std::getenv("QUILLMERE_BUILD_BIN");
  ASSERT_NE(bin, nullptr);
  std::string command = "QUILLMERE_BACKEND=headless '" + std::string(bin) + "/vcl_late_release' 2>&1";
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string output;
  char buf[4096];
  while (size_t n = fread(buf, 1, sizeof buf, p)) output.append(buf, n);
  int status = pclose(p);
  ASSERT_TRUE(WIFEXITED(status)) << output;
  EXPECT_EQ(WEXITSTATUS(status), 0) << output;
}

TEST_F(PaintTest, ResizingTheFormResizesItsBufferAndRealignsChildren) {
  auto* top = new Spot(form);
  top->SetHeight(10);
  top->SetAlign(alTop);
  top->SetColor(clBlue);
  top->SetParent(form);
  auto* rest = new Spot(form);
  rest->SetAlign(alClient);
  rest->SetColor(clYellow);
  rest->SetParent(form);
  auto* corner = new Spot(form);
  corner->SetBounds(90, 70, 5, 5);
  corner->SetAnchors(TAnchors{akRight, akBottom});
  corner->SetParent(form);
  form->Show();
  Application->ProcessMessages();
  EXPECT_EQ(top->BoundsRect(), TRect(0, 0, 100, 10));
  EXPECT_EQ(rest->BoundsRect(), TRect(0, 10, 100, 80));
  form->SetBounds(0, 0, 160, 120);
  Application->ProcessMessages();
  EXPECT_EQ(top->BoundsRect(), TRect(0, 0, 160, 10));
  EXPECT_EQ(rest->BoundsRect(), TRect(0, 10, 160, 120));
  EXPECT_EQ(corner->BoundsRect(), TRect(150, 110, 155, 115));
  TSurface s;
  ASSERT_TRUE(HeadlessCapture(form->Handle(), s));
  EXPECT_EQ(s.Width, 160);
  EXPECT_EQ(s.Height, 120);
  EXPECT_EQ(s.At(159, 5), kBlue);
  EXPECT_EQ(s.At(159, 119), kYellow);
}

TEST_F(PaintTest, AutoSizeFormFollowsItsChildrenAndSizeLimitsHold) {
  form->SetAutoSize(true);
  auto* s = new Spot(form);
  s->SetBounds(0, 0, 300, 200);
  s->SetParent(form);
  EXPECT_EQ(form->ClientWidth(), 300);
  EXPECT_EQ(form->ClientHeight(), 200);
  s->SetBounds(0, 0, 120, 50);
  EXPECT_EQ(form->ClientWidth(), 120);
  form->SetAutoSize(false);
  form->Constraints()->SetMinWidth(125);
  form->Constraints()->SetMaxHeight(60);
  form->SetBounds(0, 0, 10, 500);
  EXPECT_EQ(form->Width(), 125);
  EXPECT_EQ(form->Height(), 60);
  int asked = 0;
  form->OnCanResize = [&](TObject*, int& w, int&, bool& ok) {
    ++asked;
    ok = w < 400;
  };
  form->SetWidth(500);
  EXPECT_EQ(form->Width(), 125) << "CanResize refused";
  form->SetWidth(300);
  EXPECT_EQ(form->Width(), 300);
  EXPECT_EQ(asked, 2);
}

// Pixels that cannot be had leave a surface as it was: a size claiming pixels it
// lacks would have every later drawing write outside them.
TEST(SurfaceTest, AFailedResizeOrCopyKeepsTheSurfaceWhole) {
  TSurface s(2, 2, 0x123456);
  EXPECT_ANY_THROW(s.Resize(INT_MAX, INT_MAX));  // more than a vector may hold
  EXPECT_EQ(s.Width, 2);
  EXPECT_EQ(s.Height, 2);
  EXPECT_EQ(s.Pixels, std::vector<std::uint32_t>(4, 0x123456));
  s.Resize(3, 1, 7);
  EXPECT_EQ(s.Pixels, std::vector<std::uint32_t>(3, 7));
  s.Resize(-4, 5);
  EXPECT_EQ(s.Width, 0);
  EXPECT_TRUE(s.Pixels.empty());
}

// A child placed far beyond any screen (a skin's wrapped-round number) must not make
// its auto-sized form allocate pixels for all that width.
TEST_F(PaintTest, AFormNeverGrowsBeyondWhatAScreenShows) {
  form->SetAutoSize(true);
  auto* far = new Spot(form);
  far->SetColor(clBlue);
  far->SetBounds(1215752191, 1, 40, 40);
  far->SetParent(form);
  EXPECT_EQ(form->ClientWidth(), kMaxFormExtent - (form->Width() - form->ClientWidth()));
  EXPECT_LE(form->Width(), kMaxFormExtent);
  form->SetBounds(0, 0, 100000, 100000);
  EXPECT_LE(form->Width(), kMaxFormExtent);
  EXPECT_LE(form->Height(), kMaxFormExtent);
  form->Show();
  Application->ProcessMessages();
  TSurface s;
  ASSERT_TRUE(HeadlessCapture(form->Handle(), s));
  EXPECT_EQ(s.Width, form->ClientWidth());
}

}  // namespace
