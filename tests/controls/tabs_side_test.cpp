// Tab control, side channel and skin form, driven by injected input on the
// headless backend and checked by their pixels.
#include <algorithm>
#include <string>
#include <vector>

#include <vcl/extctrls.h>
#include <vcl/winuser.h>
#include <win32/region.h>

#include "suisidechannel.h"
#include "suiskinform.h"
#include "suitabcontrol.h"
#include "themed_harness.h"

namespace {

const TsuiUIStyle kNamed[] = {TsuiUIStyle::MacOS, TsuiUIStyle::WinXP, TsuiUIStyle::DeepBlue, TsuiUIStyle::Protein,
                              TsuiUIStyle::BlueGlass};

class Tabs : public ThemedTest {
 protected:
  TsuiTabControl* NewTabs(const std::string& comma = "Video,Audio,Output") {
    auto* t = new TsuiTabControl(form);
    t->SetParent(form);
    t->SetBounds(0, 0, 300, 120);
    t->Tabs()->SetCommaText(comma);
    t->SetOnTabActive([this](TObject* sender, int index) {
      fired.push_back(index);
      last_sender = sender;
    });
    return t;
  }
  // Centre of tab i's span, by the recorded widths.
  TPoint TabCentre(TsuiTabControl* t, int i) {
    int x = t->LeftMargin();
    for (int k = 0; k < i; ++k) x += t->TopPanel()->TabWidth(k);
    return TPoint(x + t->TopPanel()->TabWidth(i) / 2, 6);
  }
  std::vector<int> fired;
  TObject* last_sender = nullptr;
};

TEST_F(Tabs, DefaultsAndTheLookOfEachStyle) {
  for (TsuiUIStyle style : kNamed) {
    SCOPED_TRACE(static_cast<int>(style));
    TsuiTabControl* t = NewTabs();
    t->SetUIStyle(style);
    Show();
    EXPECT_EQ(t->Height(), 120);
    EXPECT_EQ(t->TopPanel()->Height(), GetThemeInt(style, 72));
    EXPECT_EQ(t->BorderColor(), GetThemeColor(style, 7));
    EXPECT_EQ(t->Color(), style == TsuiUIStyle::WinXP ? clWhite : GetThemeColor(style, 8));
    const int th = t->TopPanel()->Height();
    // The page: its colour inside, the border colour on the frame.
    EXPECT_EQ(Pixel(150, 80), t->Color());
    EXPECT_EQ(Pixel(0, 80), t->BorderColor());
    EXPECT_EQ(Pixel(299, 80), t->BorderColor());
    EXPECT_EQ(Pixel(150, 119), t->BorderColor());
    // The active tab's left end is its picture's left third, at (margin, 1).
    const std::string active = GetThemeString(style, 69);
    const int third = PictureWidth(active) / 3, hi = PictureHeight(GetThemeString(style, 70));
    int wrong = 0, seen = 0;
    for (int y = 0; y < std::min(hi, th - 1); ++y)
      for (int x = 0; x < third; ++x) {
        TColor want = PictureColor(active, x, y);
        if (want == static_cast<TColor>(0xFF00FF) || want == PictureColor(active, 0, 0)) continue;
        ++seen;
        if (Pixel(10 + x, 1 + y) != want) ++wrong;
      }
    EXPECT_GT(seen, 0);
    EXPECT_EQ(wrong, 0);
    // The line picture under the inactive tabs, right of the last tab.
    const std::string line = GetThemeString(style, 71);
    EXPECT_EQ(Pixel(290, hi), PictureColor(line, 5, 0));
    FreeComponent(t);
  }
}

TEST_F(Tabs, ClicksSelectAndFireEvenOnTheActiveTab) {
  TsuiTabControl* t = NewTabs();
  Show();
  TPoint p = TabCentre(t, 1);
  Click(p.X, p.Y);
  EXPECT_EQ(t->TabIndex(), 1);
  Click(p.X, p.Y);
  EXPECT_EQ(fired, (std::vector<int>{1, 1}));
  EXPECT_EQ(last_sender, t);
  p = TabCentre(t, 2);
  Click(p.X, p.Y);
  EXPECT_EQ(t->TabIndex(), 2);
  // Left of the first tab and below the tabs: nothing.
  Click(5, 6);
  Click(p.X, 60);
  EXPECT_EQ(fired.size(), 3u);
}

TEST_F(Tabs, IndexSetterEmptyTextsAndNoTabs) {
  TsuiTabControl* t = NewTabs("a,,b");
  Show();
  EXPECT_EQ(t->TopPanel()->TabWidth(1), 80);
  t->SetTabIndex(-1);
  EXPECT_EQ(t->TabIndex(), -1);
  EXPECT_EQ(fired, (std::vector<int>{-1}));
  t->SetTabIndex(3);
  t->SetTabIndex(-2);
  EXPECT_EQ(t->TabIndex(), -1);
  EXPECT_EQ(fired.size(), 1u);
  t->Tabs()->Clear();
  t->SetTabIndex(0);
  EXPECT_EQ(t->TabIndex(), -1);
  EXPECT_EQ(fired.size(), 1u);
  Show();
}

TEST_F(Tabs, OnlyTheFirst63OfAThousandTabsAnswerTheMouse) {
  TsuiTabControl* t = NewTabs("");
  t->SetBounds(0, 0, 300, 120);
  t->Tabs()->BeginUpdate();
  for (int i = 0; i < 1000; ++i) t->Tabs()->Add("");
  t->Tabs()->EndUpdate();
  t->SetLeftMargin(0);
  Show();
  EXPECT_EQ(t->TopPanel()->TabWidth(62), 80);
  EXPECT_EQ(t->TopPanel()->TabWidth(63), 0);
  t->SetTabIndex(999);
  EXPECT_EQ(t->TabIndex(), 999);
  Click(100, 6);
  EXPECT_EQ(t->TabIndex(), 1);
}

TEST_F(Tabs, RemovedTabsLeaveNoStaleSpans) {
  TsuiTabControl* t = NewTabs("one,two,three");
  Show();
  TPoint third = TabCentre(t, 2);
  t->Tabs()->Delete(2);
  t->Tabs()->Delete(1);
  EXPECT_EQ(t->TopPanel()->TabWidth(1), 0);
  Click(third.X, third.Y);
  EXPECT_TRUE(fired.empty());
  EXPECT_EQ(t->TabIndex(), 0);
  // An added tab is clickable at once, with its own width.
  t->Tabs()->Add("a much longer caption here");
  Show();
  TPoint added = TabCentre(t, 1);
  EXPECT_GT(t->TopPanel()->TabWidth(1), 100);
  Click(added.X, added.Y);
  EXPECT_EQ(t->TabIndex(), 1);
}

TEST_F(Tabs, CustomKeepsTheLookAndAStripWithoutPicturesDrawsPlainTabs) {
  TsuiTabControl* t = NewTabs();
  t->SetUIStyle(TsuiUIStyle::WinXP);
  t->SetUIStyle(TsuiUIStyle::Custom);
  EXPECT_EQ(t->UIStyle(), TsuiUIStyle::WinXP);
  EXPECT_EQ(t->Color(), clWhite);
  ContainerApplyUIStyle(form, TsuiUIStyle::Custom);
  EXPECT_EQ(t->UIStyle(), TsuiUIStyle::WinXP);
  ContainerApplyUIStyle(form, TsuiUIStyle::Protein);
  EXPECT_EQ(t->UIStyle(), TsuiUIStyle::Protein);
  // The strip itself in Custom: no picture names; every paint still works.
  t->TopPanel()->SetUIStyle(TsuiUIStyle::Custom);
  t->SetBorderColor(clRed);
  Show();
  EXPECT_EQ(t->TopPanel()->Height(), GetThemeInt(TsuiUIStyle::Protein, 72));
  EXPECT_GT(Count(TRect(0, 0, 300, t->TopPanel()->Height()), clRed), 50);
  TPoint p = TabCentre(t, 2);
  Click(p.X, p.Y);
  EXPECT_EQ(t->TabIndex(), 2);
}

TEST_F(Tabs, ACloseFromTheTabHandlerWaitsUntilTheHandlerReturns) {
  auto* other = new TForm(nullptr);
  other->SetBorderStyle(bsNone);
  other->SetBounds(400, 50, 320, 200);
  bool freed = false;
  other->OnClose = [&](TObject*, TCloseAction& a) { a = caFree; };
  auto* t = new TsuiTabControl(other);
  t->SetParent(other);
  t->SetBounds(0, 0, 300, 120);
  t->Tabs()->SetCommaText("a,b");
  struct Watch : TComponent {
    using TComponent::TComponent;
    bool* flag = nullptr;
    ~Watch() override { *flag = true; }
  };
  auto* w = new Watch(other);
  w->flag = &freed;
  bool aliveInHandler = false;
  t->SetOnTabActive([&](TObject*, int) {
    other->Close();
    aliveInHandler = !freed && t->Tabs()->Count() == 2;
  });
  other->Show();
  Pump();
  HeadlessClick(other, TabCentre(t, 1).X, 6, BackendLeft, 0);
  Pump();
  EXPECT_TRUE(aliveInHandler);
  EXPECT_TRUE(freed);
}

// --- Side channel -------------------------------------------------------------------

class Side : public ThemedTest {
 protected:
  void SetUp() override {
    ThemedTest::SetUp();
    HeadlessUseFakeClock(50000);
  }
  TsuiSideChannel* NewChannel() {
    auto* s = new TsuiSideChannel(form);
    s->SetParent(form);
    s->SetWidth(130);
    s->SetCaption("Tools");
    s->OnResize = [this, s](TObject*) { widths.push_back(s->Width()); };
    return s;
  }
  void Wait(int ms) {
    HeadlessAdvanceClock(ms);
    Pump();
  }
  std::vector<int> widths;
};

TEST_F(Side, HoverSlidesOutAndLeavingPushesBackWithinHalfASecond) {
  TsuiSideChannel* s = NewChannel();
  Show();
  EXPECT_EQ(s->Width(), 10);
  EXPECT_FALSE(s->PoppedOut());
  EXPECT_EQ(s->Align(), alLeft);
  MouseMove(3, 100);
  EXPECT_EQ(s->Width(), 130);
  EXPECT_TRUE(s->PoppedOut());
  EXPECT_TRUE(s->Timer()->Enabled());
  EXPECT_EQ(s->CaptionStrip()->Caption(), "Tools");
  // Slid in steps of 15.
  ASSERT_GE(widths.size(), 8u);
  EXPECT_EQ(widths[0], 25);
  EXPECT_EQ(widths[1], 40);
  EXPECT_EQ(widths.back(), 130);
  MouseMove(60, 100);  // still inside
  Wait(500);
  EXPECT_EQ(s->Width(), 130);
  MouseMove(250, 100);
  Wait(500);
  EXPECT_EQ(s->Width(), 10);
  EXPECT_FALSE(s->PoppedOut());
  EXPECT_EQ(s->CaptionStrip()->Caption(), "");
}

TEST_F(Side, QuickMoveJumpsAndThePinKeepsItOpen) {
  TsuiSideChannel* s = NewChannel();
  s->SetQuickMove(true);
  Show();
  widths.clear();
  MouseMove(3, 100);
  EXPECT_EQ(widths, (std::vector<int>{130}));
  // A click on the pin holds it open.
  TPoint pin = At(s->PinButton());
  Click(pin.X + 5, pin.Y + 5);
  EXPECT_TRUE(s->StayOn());
  EXPECT_FALSE(s->Timer()->Enabled());
  MouseMove(250, 100);
  Wait(1500);
  EXPECT_EQ(s->Width(), 130);
  Click(pin.X + 5, pin.Y + 5);
  EXPECT_FALSE(s->StayOn());
  Wait(500);
  EXPECT_EQ(s->Width(), 130);  // the pointer is still on it
  MouseMove(250, 100);
  Wait(500);
  EXPECT_EQ(s->Width(), 10);
  s->SetStayOn(true);
  EXPECT_EQ(s->Width(), 130);
  EXPECT_TRUE(s->PinButton()->Down());
  s->SetStayOn(false);
  EXPECT_EQ(s->Width(), 10);
}

TEST_F(Side, AnOpenChannelKeepsAtLeastFiftyPixelsAndRemembersAUsersWidth) {
  TsuiSideChannel* s = NewChannel();
  s->SetQuickMove(true);
  Show();
  s->Pop(true);
  s->SetBounds(s->Left(), s->Top(), 40, s->Height());
  EXPECT_EQ(s->Width(), 130);
  s->SetBounds(s->Left(), s->Top(), 90, s->Height());
  EXPECT_EQ(s->PoppedWidth(), 90);
  s->Push(true);
  s->Pop(true);
  EXPECT_EQ(s->Width(), 90);
}

TEST_F(Side, ClickModeIgnoresHoverAndOpensOnAClick) {
  TsuiSideChannel* s = NewChannel();
  s->SetPopupMode(suiMouseClick);
  s->SetChannelAlign(TsuiSideChannelAlign::suiRight);
  Show();
  EXPECT_EQ(s->Align(), alRight);
  TPoint bar = At(s->SideBar());
  MouseMove(bar.X + 3, 100);
  EXPECT_EQ(s->Width(), 10);
  Click(bar.X + 3, 100);
  EXPECT_EQ(s->Width(), 130);
  EXPECT_EQ(s->Left(), form->ClientWidth() - 130);
}

TEST_F(Side, ASlideRequestedDuringASlideWaitsForItsEnd) {
  TsuiSideChannel* s = NewChannel();
  Show();
  std::string events;
  s->OnPush = [&](TObject*) { events += "push " + std::to_string(s->Width()) + ";"; };
  s->OnPop = [&](TObject*) { events += "pop " + std::to_string(s->Width()) + ";"; };
  // A push asked for from inside the slide's own message pumping, once.
  s->OnResize = [&](TObject*) {
    widths.push_back(s->Width());
    if (widths.size() == 2) s->Push(false);
  };
  s->Pop(false);
  // The slide out ends first; then the channel slides back in.
  EXPECT_EQ(events, "pop 130;push 10;");
  EXPECT_EQ(s->Width(), 10);
  EXPECT_FALSE(s->PoppedOut());
  const auto top = std::max_element(widths.begin(), widths.end());
  ASSERT_NE(top, widths.end());
  EXPECT_EQ(*top, 130);
  for (auto it = widths.begin() + 1; it <= top; ++it) EXPECT_GT(*it, *(it - 1));
  for (auto it = top + 1; it != widths.end(); ++it) EXPECT_LT(*it, *(it - 1));
  EXPECT_EQ(widths.back(), 10);
  // Of requests for both ways during a slide the last one counts: out stays out.
  events.clear();
  widths.clear();
  s->OnResize = [&](TObject*) {
    widths.push_back(s->Width());
    s->Push(false);
    s->Pop(false);
  };
  s->Pop(false);
  EXPECT_EQ(events, "pop 130;");
  EXPECT_EQ(s->Width(), 130);
  for (size_t i = 1; i < widths.size(); ++i) EXPECT_GT(widths[i], widths[i - 1]);
}

TEST_F(Side, TheBarShowsItsPicturesAndTheStyleColoursTheStrip) {
  TsuiSideChannel* s = NewChannel();
  Show();
  // The pushed-in channel shows the whole bar picture below the caption strip: it is
  // exactly as wide as the bar, chevron and frame included.
  EXPECT_EQ(PictureWidth("SIDECHANNEL_BAR_NORMAL"), s->SideBarWidth());
  EXPECT_EQ(PictureWidth("SIDECHANNEL_BAR_MOUSEON"), s->SideBarWidth());
  EXPECT_EQ(PictureMismatches(0, 16, "SIDECHANNEL_BAR_NORMAL"), 0);
  // The bar's right edge is the picture's frame, not a cut through it.
  EXPECT_EQ(Pixel(9, 16 + 60), PictureColor("SIDECHANNEL_BAR_NORMAL", 0, 60));
  s->SetQuickMove(true);
  for (TsuiUIStyle style : kNamed) {
    ContainerApplyUIStyle(form, style);
    s->Pop(true);
    EXPECT_EQ(s->SideBarColor(), GetThemeColor(style, 8));
    EXPECT_EQ(Pixel(60, 2), GetThemeColor(style, 8));
    s->Push(true);
  }
  ContainerApplyUIStyle(form, TsuiUIStyle::Custom);
  EXPECT_EQ(s->SideBarColor(), clBlack);  // Custom has no colours: black, as for every container child
}

TEST_F(Side, AZeroWideBarAndAZeroOpenWidthKeepTheChannelWorking) {
  form->SetColor(clRed);
  TsuiSideChannel* s = NewChannel();
  Show();
  s->SetSideBarWidth(0);
  EXPECT_EQ(s->SideBarWidth(), 0);
  EXPECT_EQ(s->Width(), 0);
  // Nothing of the channel shows: the form's colour where it was.
  EXPECT_EQ(Count(TRect(0, 0, 20, 240), clRed), 20 * 240);
  s->SetWidth(0);
  int pops = 0, pushes = 0;
  s->OnPop = [&](TObject*) { ++pops; };
  s->OnPush = [&](TObject*) { ++pushes; };
  s->Pop(false);
  EXPECT_EQ(pops, 1);
  EXPECT_TRUE(s->PoppedOut());
  EXPECT_EQ(s->Width(), 0);
  s->Push(false);
  EXPECT_EQ(pushes, 1);
  EXPECT_FALSE(s->PoppedOut());
  EXPECT_EQ(s->Width(), 0);
  // A bar again: the channel comes back to it and opens to a new width.
  s->SetSideBarWidth(10);
  EXPECT_EQ(s->Width(), 10);
  s->SetWidth(90);
  s->Pop(true);
  EXPECT_EQ(s->Width(), 90);
  EXPECT_EQ(Pixel(60, 2), ColorToRGB(s->SideBarColor()));
}

// --- Skin form ----------------------------------------------------------------------

class Skin : public ThemedTest {
 protected:
  // 300 by 200 with a magenta left quarter.
  static std::unique_ptr<TBitmap> Face() {
    auto b = std::make_unique<TBitmap>(300, 200);
    b->Canvas()->Brush()->SetColor(clNavy);
    b->Canvas()->FillRect(TRect(0, 0, 300, 200));
    b->Canvas()->Brush()->SetColor(static_cast<TColor>(0xFF00FF));
    b->Canvas()->FillRect(TRect(0, 0, 75, 200));
    return b;
  }
  bool InShape(int x, int y) {
    HRGN r = CreateRectRgn(0, 0, 0, 0);
    bool in = GetWindowRgn(form->Handle(), r) != 0 && PtInRegion(r, x, y);
    DeleteObject(r);
    return in;
  }
};

TEST_F(Skin, TheGlyphShapesAndSizesTheForm) {
  form->SetBorderStyle(bsSizeable);
  auto* k = new TsuiSkinForm(form);
  k->SetParent(form);
  EXPECT_EQ(form->BorderStyle(), bsNone);
  EXPECT_EQ(k->Width(), 200);
  EXPECT_EQ(k->Height(), 100);
  int changes = 0;
  k->OnRegionChanged = [&](TObject*) { ++changes; };
  k->SetPicture(Face().get());
  Show();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(form->ClientWidth(), 300);
  EXPECT_EQ(form->ClientHeight(), 200);
  EXPECT_FALSE(InShape(10, 10));
  EXPECT_TRUE(InShape(100, 10));
  EXPECT_EQ(Pixel(150, 100), clNavy);
  // A new transparent colour reshapes at once.
  k->SetColor(clNavy);
  EXPECT_TRUE(InShape(10, 10));
  EXPECT_FALSE(InShape(100, 10));
  EXPECT_EQ(changes, 2);
}

TEST_F(Skin, WithoutAGlyphAnOutlineAndTheFormKeepsItsShape) {
  form->SetColor(clWhite);
  auto* k = new TsuiSkinForm(form);
  k->SetParent(form);
  k->SetBounds(10, 10, 50, 30);
  k->SetColor(clRed);
  Show();
  EXPECT_EQ(Pixel(10, 10), clBlack);
  EXPECT_EQ(Pixel(59, 39), clBlack);
  EXPECT_EQ(Pixel(30, 25), clWhite);
  EXPECT_EQ(form->ClientWidth(), 320);
  // A 1x1 glyph: a one-pixel control, and the last column never belongs to the shape.
  TBitmap one(1, 1);
  one.Canvas()->SetPixels(0, 0, clRed);
  k->SetPicture(&one);
  EXPECT_EQ(k->Width(), 1);
  EXPECT_EQ(form->ClientWidth(), 1);
}

TEST_F(Skin, PressingTheGlyphDragsTheForm) {
  auto* k = new TsuiSkinForm(form);
  k->SetParent(form);
  k->SetPicture(Face().get());
  Show();
  const int left = form->Left(), top = form->Top();
  MouseDown(150, 100);
  HeadlessMouseMove(form, 170, 130);
  Pump();
  HeadlessMouseUp(form, 170, 130);
  Pump();
  EXPECT_EQ(form->Left(), left + 20);
  EXPECT_EQ(form->Top(), top + 30);
}

TEST_F(Skin, AnOwnerThatIsNotAFormStillDrawsTheGlyph) {
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  panel->SetBounds(0, 0, 320, 240);
  auto* k = new TsuiSkinForm(panel);
  k->SetParent(panel);
  EXPECT_EQ(k->Form(), nullptr);
  EXPECT_EQ(form->BorderStyle(), bsNone);
  k->SetPicture(Face().get());
  k->SetColor(clNavy);
  Show();
  EXPECT_EQ(k->Width(), 300);
  EXPECT_EQ(form->ClientWidth(), 320);
  EXPECT_FALSE(InShape(10, 10));
  TPoint at = At(k);
  EXPECT_EQ(Pixel(at.X + 150, at.Y + 100), clNavy);
  MouseDown(at.X + 150, at.Y + 100);
  MouseUp(at.X + 150, at.Y + 100);
}

}  // namespace

namespace {

TEST_F(Tabs, ZeroAndNegativeSizesAndEmptyCaptions) {
  TsuiTabControl* t = NewTabs(",,");
  for (TRect r : {TRect(0, 0, 0, 0), TRect(5, 5, 3, 2), TRect(0, 0, -40, -40)}) {
    t->SetBounds(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    Show();
    Click(2, 2);
  }
  t->SetLeftMargin(-500);
  t->SetBounds(0, 0, 200, 60);
  Show();
  Click(2, 6);
  EXPECT_LE(fired.size(), 1u);
  EXPECT_EQ(t->TopPanel()->TabWidth(0), 80);
}

}  // namespace

namespace {

TEST_F(Side, AFormClosedDuringASlideIsFreedOnlyAfterTheSlide) {
  auto* other = new TForm(nullptr);
  other->SetBorderStyle(bsNone);
  other->SetBounds(400, 50, 320, 200);
  other->OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
  auto* s = new TsuiSideChannel(other);
  s->SetParent(other);
  s->SetWidth(130);
  other->Show();
  Pump();
  bool closed = false, finished = false;
  // A close requested while the channel slides, as a click on a close button would.
  s->OnResize = [&](TObject*) {
    if (!closed && s->Width() > 50) {
      closed = true;
      other->Close();
    }
  };
  s->OnPop = [&](TObject*) { finished = true; };
  HeadlessMouseMove(other, 3, 100);
  Pump();
  EXPECT_TRUE(closed);
  EXPECT_TRUE(finished);
  // The form is gone now: a new search for it finds nothing.
  EXPECT_EQ(Screen->FormCount(), 1);
}

}  // namespace
