// Image panels, group boxes, button groups and the progress panel, driven by
// injected input on the headless backend and checked by their pixels.
#include <vcl/extctrls.h>

#include "progresspanel.h"
#include "suigroupbox.h"
#include "suiimagepanel.h"
#include "suiradiogroup.h"
#include "themed_harness.h"

namespace {

class Panels : public ThemedTest {
 protected:
  // Pixels of the rectangle not in the colour: ink of a caption on a plain face.
  int Ink(const TRect& r, TColor background) {
    return r.Width() * r.Height() - Count(r, background);
  }
};

const TsuiUIStyle kStyles[] = {TsuiUIStyle::Custom, TsuiUIStyle::MacOS, TsuiUIStyle::WinXP,
                               TsuiUIStyle::DeepBlue, TsuiUIStyle::Protein, TsuiUIStyle::BlueGlass};

std::unique_ptr<TBitmap> Solid(int w, int h, TColor color) {
  auto b = std::make_unique<TBitmap>(w, h);
  b->Canvas()->Brush()->SetColor(color);
  b->Canvas()->FillRect(TRect(0, 0, w, h));
  return b;
}

TEST_F(Panels, ImagePanelDrawsItsPictureNormalStretchedAndTiled) {
  auto* p = Place<TsuiImagePanel>(form, 10, 10, 60, 40);
  p->SetColor(clBlue);
  auto pic = Solid(10, 10, clRed);
  pic->Canvas()->SetPixels(0, 0, clLime);
  TPicture picture;
  picture.SetBitmap(pic.get());
  p->SetPicture(&picture);
  Show();
  EXPECT_EQ(Pixel(10, 10), clLime);
  EXPECT_EQ(Pixel(15, 15), clRed);
  EXPECT_EQ(Pixel(40, 30), clBlue);  // beyond the picture: what the panel had
  p->SetDrawStyle(suiTile);
  EXPECT_EQ(Pixel(20, 20), clLime);  // the second tile's corner
  EXPECT_EQ(Pixel(60, 40), clLime);
  p->SetDrawStyle(suiStretch);
  EXPECT_EQ(Count(TRect(10, 10, 70, 50), clRed), 60 * 40 - Count(TRect(10, 10, 70, 50), clLime));
  EXPECT_GT(Count(TRect(10, 10, 70, 50), clLime), 20);  // the corner pixel grown sixfold
  // A 1x1 picture stretched fills the panel.
  TPicture one;
  one.SetBitmap(Solid(1, 1, clYellow).get());
  p->SetPicture(&one);
  EXPECT_EQ(Count(TRect(10, 10, 70, 50), clYellow), 60 * 40);
}

TEST_F(Panels, ImagePanelCaptionIsAlignedUnlessBothPositionsAreSet) {
  auto* p = Place<TsuiImagePanel>(form, 0, 0, 200, 40);
  p->SetColor(clWhite);
  p->Font()->SetColor(clBlack);
  p->SetCaption("Quill");
  Show();
  auto inkIn = [&](int l, int r) { return Ink(TRect(l, 0, r, 40), clWhite); };
  EXPECT_GT(inkIn(80, 120), 5);
  EXPECT_EQ(inkIn(0, 60), 0);
  p->SetAlignment(taLeftJustify);
  EXPECT_GT(inkIn(0, 40), 5);
  EXPECT_EQ(p->CaptionRect(), p->ClientRect());
  p->SetCaptionPosX(150);  // one position alone still aligns
  EXPECT_GT(inkIn(0, 40), 5);
  EXPECT_EQ(inkIn(150, 200), 0);
  p->SetCaptionPosY(2);
  EXPECT_EQ(inkIn(0, 140), 0);
  EXPECT_GT(inkIn(150, 200), 5);
  EXPECT_EQ(p->CaptionRect().Left, 150);
  EXPECT_EQ(p->CaptionRect().Top, 2);
  p->SetCaption("    ");
  EXPECT_EQ(inkIn(0, 200), 0);
}

TEST_F(Panels, TransparentPanelWithoutPictureShowsItsParentAndCaption) {
  form->SetColor(clYellow);
  auto* p = Place<TsuiImagePanel>(form, 10, 10, 100, 30);
  p->SetColor(clBlue);
  p->SetTransparent(true);
  p->Font()->SetColor(clBlack);
  p->SetCaption("x");
  Show();
  EXPECT_EQ(Count(TRect(10, 10, 110, 40), clBlue), 0);
  EXPECT_GT(Count(TRect(10, 10, 110, 40), clYellow), 2500);
  EXPECT_GT(Ink(TRect(10, 10, 110, 40), clYellow), 3);
}

TEST_F(Panels, AutoSizeFollowsThePictureUnlessTheAlignmentFixesTheSide) {
  auto* p = Place<TsuiImagePanel>(form, 0, 0, 50, 50);
  p->SetAutoSize(true);
  TPicture picture;
  picture.SetBitmap(Solid(33, 21, clRed).get());
  p->SetPicture(&picture);
  EXPECT_EQ(p->Width(), 33);
  EXPECT_EQ(p->Height(), 21);
  auto* q = Place<TsuiImagePanel>(form, 0, 0, 50, 50);
  q->SetAlign(alClient);
  int w = q->Width(), h = q->Height();
  q->SetAutoSize(true);
  q->SetPicture(&picture);
  EXPECT_EQ(q->Width(), w);
  EXPECT_EQ(q->Height(), h);
  // Zero and negative sizes paint nothing and break nothing.
  p->SetBounds(0, 0, 0, -5);
  q->SetAlign(alNone);
  q->SetBounds(0, 0, -3, 0);
  Show();
}

TEST_F(Panels, GroupBoxFrameCaptionAndDisabling) {
  form->SetColor(clWhite);
  auto* g = Place<TsuiGroupBox>(form, 10, 10, 150, 80);
  EXPECT_EQ(g->Caption(), "suiGroupBox");
  EXPECT_TRUE(g->Transparent());
  g->SetBorderColor(clRed);
  g->Font()->SetColor(clBlue);
  g->SetCaption("Audio");
  auto* inner = Place<TsuiCheckBox>(g, 10, 30, 100, 17);
  Show();
  const int y = 10 + std::abs(g->Font()->Height()) / 2 + 1;
  EXPECT_EQ(Pixel(10, 50), clRed);       // left side
  EXPECT_EQ(Pixel(159, 50), clRed);      // right side
  EXPECT_EQ(Pixel(80, 89), clRed);       // bottom
  EXPECT_EQ(Pixel(140, y), clRed);       // top line right of the caption
  EXPECT_NE(Pixel(20, y), clRed);        // the caption's gap
  EXPECT_GT(Count(TRect(10, 10, 60, 25), clBlue), 1);
  g->SetEnabled(false);
  EXPECT_FALSE(inner->Enabled());
  EXPECT_EQ(Count(TRect(10, 10, 60, 25), clBlue), 0);
  EXPECT_GT(Count(TRect(10, 10, 60, 25), clGray), 1);
  EXPECT_EQ(g->GetClient(), TRect(3, std::abs(g->Font()->Height()), 148, 78));
}

TEST_F(Panels, StylesReachGroupBoxesAndTheControlsInsideThem) {
  for (TsuiUIStyle style : kStyles) {
    SCOPED_TRACE(static_cast<int>(style));
    auto* g = Place<TsuiGroupBox>(form, 10, 10, 150, 80);
    auto* box = Place<TsuiCheckBox>(g, 10, 30, 100, 17);
    box->SetUIStyle(TsuiUIStyle::DeepBlue);
    ContainerApplyUIStyle(form, style);
    EXPECT_EQ(g->BorderColor(), GetThemeColor(style, 7));
    EXPECT_EQ(g->Font()->Color(), GetThemeColor(style, 9));
    EXPECT_EQ(g->Color(), GetThemeColor(style, 8));
    EXPECT_EQ(box->UIStyle(), TsuiUIStyle::DeepBlue);  // only immediate children
    SubContainerApplyUIStyle(form, style);
    EXPECT_EQ(box->UIStyle(), style);
    Show();
    EXPECT_EQ(Pixel(10, 60), GetThemeColor(style, 7));
    FreeComponent(g);
  }
}

TEST_F(Panels, FiveItemsInTwoColumnsFillTheFirstColumnFirst) {
  auto* g = Place<TsuiCheckGroup>(form, 0, 0, 210, 105);
  EXPECT_EQ(g->Caption(), "suiCheckGroup");
  g->Items()->SetCommaText("a,b,c,d,e");
  g->SetColumns(2);
  ASSERT_EQ(g->ButtonCount(), 5);
  const TRect client = g->GetClient();
  const int top = client.Top + 8, h = client.Bottom - top, rowH = h / 3, y0 = (h % 3) / 2 + top;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(g->Button(i)->Left(), (i / 3) * 100 + 8) << i;
    EXPECT_EQ(g->Button(i)->Top(), (i % 3) * rowH + y0) << i;
    EXPECT_EQ(g->Button(i)->Caption(), std::string(1, char('a' + i)));
  }
  g->SetColumns(0);
  g->SetColumns(-4);
  g->SetTopMargin(-1);
  EXPECT_EQ(g->Columns(), 2);
  EXPECT_EQ(g->TopMargin(), 8);
  EXPECT_EQ(g->Button(3)->Left(), 108);
}

TEST_F(Panels, CheckGroupClicksAndRemovingItemsKeepsTheRest) {
  auto* g = Place<TsuiCheckGroup>(form, 10, 10, 185, 105);
  int clicks = 0;
  TObject* sender = nullptr;
  g->OnClick = [&](TObject* s) {
    ++clicks;
    sender = s;
  };
  g->Items()->SetCommaText("one,two,three,four");
  Show();
  TPoint at = At(g->Button(1));
  Click(at.X + 5, at.Y + 8);
  EXPECT_TRUE(g->GetChecked(1));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(sender, g);
  g->SetChecked(0, true);
  g->Items()->Delete(3);
  g->Items()->Delete(2);
  ASSERT_EQ(g->ButtonCount(), 2);
  EXPECT_TRUE(g->GetChecked(0));
  EXPECT_TRUE(g->GetChecked(1));
  // Out of range: ignored, never outside the buttons.
  g->SetChecked(2, true);
  g->SetChecked(-1, true);
  g->SetChecked(1000000, false);
  EXPECT_FALSE(g->GetChecked(2));
  EXPECT_FALSE(g->GetChecked(-1));
  g->Items()->Clear();
  EXPECT_EQ(g->ButtonCount(), 0);
  g->SetChecked(0, true);
}

TEST_F(Panels, RadioGroupItemIndexByClickAndBySetter) {
  auto* g = Place<TsuiRadioGroup>(form, 10, 10, 185, 105);
  EXPECT_EQ(g->Caption(), "suiRadioGroup");
  g->Items()->SetCommaText("VCD,SVCD,AVI");
  EXPECT_EQ(g->ItemIndex(), -1);
  Show();
  TPoint at = At(g->Button(2));
  Click(at.X + 5, at.Y + 8);
  EXPECT_EQ(g->ItemIndex(), 2);
  g->SetItemIndex(0);
  EXPECT_EQ(g->ItemIndex(), 0);
  EXPECT_FALSE(g->GetChecked(2));
  g->SetItemIndex(3);
  g->SetItemIndex(-2);
  EXPECT_EQ(g->ItemIndex(), 0);
  g->SetItemIndex(-1);
  EXPECT_EQ(g->ItemIndex(), -1);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(g->GetChecked(i));
}

TEST_F(Panels, ButtonGroupsInEachStyle) {
  for (TsuiUIStyle style : kStyles) {
    auto* g = Place<TsuiRadioGroup>(form, 10, 10, 185, 105);
    g->Items()->SetCommaText("x,y");
    g->SetUIStyle(style);
    g->SetItemIndex(1);
    Show();
    SCOPED_TRACE(static_cast<int>(style));
    if (style == TsuiUIStyle::Custom) {
      EXPECT_EQ(g->Button(0)->UIStyle(), TsuiUIStyle::Custom);
    } else {
      EXPECT_EQ(g->Color(), GetThemeColor(style, 8));
      EXPECT_EQ(g->BorderColor(), GetThemeColor(style, 7));
      EXPECT_EQ(Pixel(10, 60), GetThemeColor(style, 7));  // the frame's left side
      TPoint at = At(g->Button(1));
      const std::string name = GetThemeString(style, 33);
      const int pic_h = PictureHeight(g->Button(1)->GetPicNormal());
      EXPECT_EQ(PictureMismatches(at.X + 1, at.Y + (g->Button(1)->Height() - pic_h) / 2, g->Button(1)->GetPicNormal(), true), 0)
          << name;
    }
    FreeComponent(g);
  }
}

// --- Progress panel -----------------------------------------------------------------

class ProgressGrid : public Panels {
 protected:
  TProgressPanel* NewGrid(int w = 119, int h = 50) {
    auto* p = Place<TProgressPanel>(form, 0, 0, w, h);
    p->SetColor(clWhite);
    auto did = Solid(10, 10, clRed);
    auto todo = Solid(10, 10, clLime);
    p->SetDidBitmap(did.get());
    p->SetTryBitmap(todo.get());
    return p;
  }
  int WidthOfClient(TProgressPanel* p) { return p->ClientWidth(); }
};

TEST_F(ProgressGrid, LayoutScrollBarAndPages) {
  TProgressPanel* p = NewGrid(119 + 0, 50);
  const int dx = 119 - p->ClientWidth(), dy = 50 - p->ClientHeight();
  p->SetBounds(0, 0, 119 + dx, 50 + dy);
  p->SetTotalCount(30);
  EXPECT_EQ(p->Columns(), 10);
  EXPECT_EQ(p->Rows(), 5);
  EXPECT_FALSE(p->ScrollBar()->Enabled());
  p->SetTotalCount(120);
  EXPECT_TRUE(p->ScrollBar()->Enabled());
  EXPECT_EQ(p->ScrollBar()->Min(), 0);
  EXPECT_EQ(p->ScrollBar()->Max(), 12);
  EXPECT_EQ(p->Buffer()->Height(), 150);
}

TEST_F(ProgressGrid, DoneTilesTotalResetsAndLoweringLeavesThePicture) {
  TProgressPanel* p = NewGrid(140, 60);
  p->SetTotalCount(12);
  Show();
  const TPoint o(p->ClientRect().Left, p->ClientRect().Top);
  EXPECT_EQ(Count(TRect(0, 0, 140, 60), clRed), 0);
  p->SetComedCount(3);
  EXPECT_EQ(Count(TRect(0, 0, 140, 60), clRed), 300);
  p->SetComedCount(1);  // the count drops; the tiles stay until the next full paint
  EXPECT_EQ(p->ComedCount(), 1);
  EXPECT_EQ(Count(TRect(0, 0, 140, 60), clRed), 300);
  p->SetTotalCount(12);
  EXPECT_EQ(p->ComedCount(), 0);
  EXPECT_EQ(Count(TRect(0, 0, 140, 60), clRed), 0);
  EXPECT_EQ(Count(TRect(0, 0, 140, 60), clLime), 1200);
  (void)o;
}

TEST_F(ProgressGrid, MagentaOfTheDonePictureShowsThePanelColourAndKeyingEnds) {
  TProgressPanel* p = NewGrid(140, 60);
  p->SetColor(clYellow);
  auto did = Solid(10, 10, clRed);
  did->Canvas()->Brush()->SetColor(static_cast<TColor>(0xFF00FF));
  did->Canvas()->FillRect(TRect(0, 0, 5, 10));
  // Keying the picture changes it: the handler must not run again without end.
  p->SetDidBitmap(did.get());
  p->SetTotalCount(4);
  p->SetComedCount(4);
  Show();
  EXPECT_EQ(Count(TRect(0, 0, 140, 60), static_cast<TColor>(0xFF00FF)), 0);
  EXPECT_EQ(Count(TRect(0, 0, 140, 60), clRed), 4 * 50);
  EXPECT_EQ(p->DidBitmap()->Canvas()->Pixels(0, 0), clYellow);
}

TEST_F(ProgressGrid, ACountAboveTheTotalStaysInsideTheGrid) {
  TProgressPanel* p = NewGrid(140, 60);
  p->SetTotalCount(5);
  Show();
  p->SetComedCount(100000);
  EXPECT_EQ(Count(TRect(0, 0, 140, 60), clRed), 500);
  EXPECT_EQ(p->Buffer()->Height(), p->ClientHeight());
  EXPECT_EQ(Count(TRect(0, 0, 140, 60), clLime), 0);
  p->SetComedCount(-7);
  p->SetTotalCount(-3);
  Show();
  // A count whose grid could never be held: the buffer stays bounded.
  p->SetTotalCount(2000000000);
  p->SetComedCount(1500000000);
  EXPECT_LE(std::int64_t(p->Buffer()->Width()) * p->Buffer()->Height(), std::int64_t(1) << 24);
  Show();
  EXPECT_EQ(Pixel(p->ClientRect().Left + 5, p->ClientRect().Top + 5), clRed);

}

TEST_F(ProgressGrid, ScrollingStaysInsideThePicture) {
  TProgressPanel* p = NewGrid(140, 60);
  p->SetTotalCount(95);
  p->SetComedCount(95);
  Show();
  ASSERT_TRUE(p->ScrollBar()->Enabled());
  int pos = 1 << 30;
  p->ScrollBar()->OnScroll(p->ScrollBar(), scPosition, pos);
  const int last = (p->Buffer()->Height() - p->ClientHeight()) / 10;
  EXPECT_LE(p->TopRow(), last);
  pos = -50;
  p->ScrollBar()->OnScroll(p->ScrollBar(), scPosition, pos);
  EXPECT_EQ(p->TopRow(), 0);
  // A click on the bar's lower arrow scrolls one row.
  TPoint sb = At(p->ScrollBar());
  Click(sb.X + 7, sb.Y + p->ScrollBar()->Height() - 4);
  EXPECT_EQ(p->TopRow(), 1);
  EXPECT_GT(Count(TRect(0, 0, 140, 60), clRed), 0);
}

TEST_F(ProgressGrid, PicturesOfOnePixelAndEmptyOnesAndTinyPanels) {
  TProgressPanel* p = NewGrid(140, 60);
  p->SetDidBitmap(Solid(1, 1, clRed).get());
  p->SetTryBitmap(Solid(1, 1, clLime).get());
  p->SetTotalCount(1000);
  p->SetComedCount(500);
  Show();
  EXPECT_EQ(Count(TRect(0, 0, 140, 60), clRed), 500);
  TBitmap empty;
  p->SetDidBitmap(&empty);
  p->SetBounds(0, 0, 0, 0);
  p->SetComedCount(900);
  p->SetBounds(0, 0, -10, -10);
  Show();
}

}  // namespace

namespace {

TEST_F(Panels, GroupsWithZeroAndNegativeSizesAndEmptyCaptions) {
  auto* g = Place<TsuiRadioGroup>(form, 0, 0, 0, 0);
  g->SetCaption("");
  g->Items()->SetCommaText(",,");
  for (TRect r : {TRect(0, 0, 0, 0), TRect(0, 0, -20, -20), TRect(0, 0, 5, 3)}) {
    g->SetBounds(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    Show();
  }
  g->SetColumns(1000);
  g->SetBounds(0, 0, 185, 105);
  Show();
  EXPECT_EQ(g->ButtonCount(), 3);
  g->SetItemIndex(2);
  EXPECT_EQ(g->ItemIndex(), 2);
}

}  // namespace

namespace {

TEST_F(Panels, ButtonGroupsAnswerTheKeyboard) {
  auto* g = Place<TsuiRadioGroup>(form, 10, 10, 185, 105);
  g->Items()->SetCommaText("VCD,SVCD");
  int clicks = 0;
  g->OnClick = [&](TObject*) { ++clicks; };
  Show();
  g->Button(1)->SetFocus();
  Key(VK_SPACE);
  EXPECT_EQ(g->ItemIndex(), 1);
  EXPECT_EQ(clicks, 1);
  auto* c = Place<TsuiCheckGroup>(form, 10, 120, 185, 105);
  c->Items()->SetCommaText("Audio");
  Show();
  c->Button(0)->SetFocus();
  Key(VK_SPACE);
  EXPECT_TRUE(c->GetChecked(0));
  Key(VK_SPACE);
  EXPECT_FALSE(c->GetChecked(0));
}

}  // namespace
