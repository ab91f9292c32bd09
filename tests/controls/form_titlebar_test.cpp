// The themed form panel and its title bar driven by injected input on the headless
// backend: buttons per state and style, dragging, sizing by every edge and corner,
// maximise and restore with the work area, double click, rounded corners, and the
// form outliving its panel.
#include <string>
#include <vector>

#include <vcl/winuser.h>

#include "suiform.h"
#include "suipublic.h"
#include "themed_harness.h"

namespace {

constexpr TsuiUIStyle kStyles[] = {TsuiUIStyle::MacOS, TsuiUIStyle::WinXP, TsuiUIStyle::DeepBlue,
                                   TsuiUIStyle::Protein, TsuiUIStyle::BlueGlass};

class ThemedForm : public ThemedTest {
 protected:
  void SetUp() override {
    ThemedTest::SetUp();
    // A sizeable form, as a form the panel is dropped on usually is.
    form->SetBorderStyle(bsSizeable);
    form->SetBounds(100, 80, 400, 300);
    panel = new TsuiForm(form);
  }
  // Where button `index` of the bar sits on the form, counted from the right as
  // the bar lays them out.
  TPoint ButtonAt(int index) {
    TsuiTitleBar* bar = panel->TitleBar();
    int x = bar->Width() + bar->RightBtnXOffset() + 1;
    for (int i = 0; i <= index; ++i) {
      TsuiTitleBarButton* b = bar->Buttons()->Items(i);
      if (b->ButtonType() == suiControlBox) continue;
      x -= b->PicNormal()->Width() + bar->ButtonInterval() + 1;
    }
    return TPoint(panel->Left() + x, bar->Buttons()->Items(index)->Top());
  }
  std::string Pic(TsuiUIStyle s, int element) { return GetThemeString(s, element); }
  TRect Bounds() { return TRect(form->Left(), form->Top(), form->Left() + form->Width(), form->Top() + form->Height()); }
  TsuiForm* panel = nullptr;
};

TEST_F(ThemedForm, PanelTakesOverTheFormAndPlacesItself) {
  EXPECT_EQ(form->BorderStyle(), bsNone);
  EXPECT_EQ(panel->UIStyle(), TsuiUIStyle::DeepBlue);
  EXPECT_EQ(GetSUIFormStyle(form), TsuiUIStyle::DeepBlue);
  EXPECT_EQ(panel->BorderWidth(), 1);
  EXPECT_EQ(panel->Left(), 1);
  EXPECT_EQ(panel->Top(), 0);
  EXPECT_EQ(panel->Width(), form->ClientWidth() - 2);
  EXPECT_EQ(panel->Height(), form->ClientHeight() - 1);
  EXPECT_EQ(form->Constraints()->MaxWidth(), 1280);
  EXPECT_EQ(form->Constraints()->MaxHeight(), 984);
  EXPECT_EQ(form->Constraints()->MinWidth(), 130);  // the title bar's style minimum
  // A second panel on the same form is refused.
  EXPECT_THROW(new TsuiForm(form), Exception);
  panel->SetUIStyle(TsuiUIStyle::WinXP);
  EXPECT_EQ(panel->BorderWidth(), 3);
  EXPECT_EQ(panel->Left(), 3);
  Show();
  // The border strips in the style's border colour, the face in its colour.
  EXPECT_EQ(Pixel(1, 150), GetThemeColor(TsuiUIStyle::WinXP, 2));
  EXPECT_EQ(Pixel(200, form->ClientHeight() - 2), GetThemeColor(TsuiUIStyle::WinXP, 2));
  EXPECT_EQ(Pixel(200, 150), GetThemeColor(TsuiUIStyle::WinXP, 3));
  // Custom changes nothing but the style.
  panel->SetUIStyle(TsuiUIStyle::Custom);
  EXPECT_EQ(panel->BorderWidth(), 3);
  EXPECT_EQ(panel->TitleBar()->UIStyle(), TsuiUIStyle::WinXP);
}

TEST_F(ThemedForm, TitleBarButtonsInEveryStateAndStyle) {
  Show();
  for (TsuiUIStyle s : kStyles) {
    SCOPED_TRACE(static_cast<int>(s));
    panel->SetUIStyle(s);
    TsuiTitleBar* bar = panel->TitleBar();
    EXPECT_EQ(bar->Height(), PictureHeight(Pic(s, 44)));
    const bool masked = GetThemeBool(s, 65);
    // Right to left: close, maximise, minimise (collection order 1, 2, 3).
    const int normal[] = {47, 50, 53};
    for (int i = 1; i <= 3; ++i) {
      TPoint p = ButtonAt(i);
      EXPECT_EQ(p.Y, GetThemeInt(s, 68));
      EXPECT_EQ(PictureMismatches(p.X, p.Y, Pic(s, normal[i - 1]), masked), 0) << i;
    }
    EXPECT_LT(ButtonAt(1).X, panel->Left() + bar->Width());
    EXPECT_LT(ButtonAt(2).X, ButtonAt(1).X);
    EXPECT_LT(ButtonAt(3).X, ButtonAt(2).X);
    // Mouse over the minimise button, then pressed on it.
    TPoint m = ButtonAt(3);
    MouseMove(m.X + 3, m.Y + 3);
    EXPECT_EQ(PictureMismatches(m.X, m.Y, Pic(s, 54), masked), 0);
    EXPECT_EQ(bar->HotIndex(), 3);
    MouseDown(m.X + 3, m.Y + 3);
    EXPECT_EQ(PictureMismatches(m.X, m.Y, Pic(s, 55), masked), 0);
    // Released elsewhere: no click, back to normal.
    MouseMove(200, 150);
    MouseUp(200, 150);
    EXPECT_EQ(PictureMismatches(m.X, m.Y, Pic(s, 53), masked), 0);
    EXPECT_EQ(form->WindowState(), wsNormal);
    // The control box at the left, at the style's offset.
    EXPECT_EQ(PictureMismatches(panel->Left() + GetThemeInt(s, 66), GetThemeInt(s, 68), Pic(s, 59), masked), 0);
  }
}

TEST_F(ThemedForm, CaptionIsShortenedWhenItDoesNotFit) {
  panel->SetCaption("Korvex");
  EXPECT_EQ(form->GetText(), "Korvex");
  Show();
  TsuiTitleBar* bar = panel->TitleBar();
  // Light pixels: the white caption on the dark title picture.
  auto light = [&](const TRect& r) {
    Pump();
    TSurface s;
    HeadlessCapture(form->Handle(), s);
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) {
        COLORREF c = PixelToColorRef(s.At(x, y));
        if ((c & 0xFF) > 0xB0 && ((c >> 8) & 0xFF) > 0xB0 && ((c >> 16) & 0xFF) > 0xB0) ++n;
      }
    return n;
  };
  const int lx = panel->Left() + 21 + GetThemeInt(TsuiUIStyle::DeepBlue, 66);
  const TRect text(lx, 2, lx + 300, bar->Height() - 2);
  const int title = light(text);
  EXPECT_GT(title, 20);
  panel->SetCaption(std::string(200, 'W'));
  // Two letters and "...", nothing further right.
  const int shortened = light(text);
  EXPECT_GT(shortened, 10);
  EXPECT_EQ(light(TRect(lx + 60, 2, lx + 300, bar->Height() - 2)), 0);
  panel->SetCaption("Korvex");
  EXPECT_EQ(light(text), title);
  // An inactive form draws its caption in another colour.
  bar->SetActive(false);
  EXPECT_NE(light(text), title);
}

TEST_F(ThemedForm, DraggingTheCaptionMovesTheForm) {
  Show();
  const TRect before = Bounds();
  MouseDown(150, 8);
  MouseMove(190, 38);
  MouseUp(190, 38);
  EXPECT_EQ(form->Left(), before.Left + 40);
  EXPECT_EQ(form->Top(), before.Top + 30);
  EXPECT_EQ(form->Width(), before.Width());
  EXPECT_FALSE(panel->TitleBar()->Pressed());
}

TEST_F(ThemedForm, EveryEdgeAndCornerSizesTheForm) {
  Show();
  struct Case {
    int x, y;
    LRESULT hit;
    int dl, dt, dr, db;  // change of each edge for a move of (+10, +10)
  };
  const int w = 400, h = 300;
  const Case cases[] = {
      {2, 2, HTTOPLEFT, 10, 10, 0, 0},         {w - 2, 2, HTTOPRIGHT, 0, 10, 10, 0},
      {w - 2, h - 2, HTBOTTOMRIGHT, 0, 0, 10, 10}, {2, h - 2, HTBOTTOMLEFT, 10, 0, 0, 10},
      {2, 150, HTLEFT, 10, 0, 0, 0},           {200, 2, HTTOP, 0, 10, 0, 0},
      {w - 2, 150, HTRIGHT, 0, 0, 10, 0},      {200, h - 2, HTBOTTOM, 0, 0, 0, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hit);
    form->SetBounds(100, 80, w, h);
    Pump();
    TPoint sp = form->ClientToScreen(TPoint(c.x, c.y));
    EXPECT_EQ(SendMessageA(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(sp.X, sp.Y)), c.hit);
    const TRect before = Bounds();
    MouseDown(c.x, c.y);
    MouseMove(c.x + 10, c.y + 10);
    MouseUp(c.x + 10, c.y + 10);
    const TRect after = Bounds();
    EXPECT_EQ(after.Left - before.Left, c.dl);
    EXPECT_EQ(after.Top - before.Top, c.dt);
    EXPECT_EQ(after.Right - before.Right, c.dr);
    EXPECT_EQ(after.Bottom - before.Bottom, c.db);
  }
  // The band is 4 pixels: at 5 and 5 the form's own answer stays.
  TPoint in = form->ClientToScreen(TPoint(5, 5));
  EXPECT_EQ(SendMessageA(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(in.X, in.Y)), HTCLIENT);
  TPoint corner = form->ClientToScreen(TPoint(4, 4));
  EXPECT_EQ(SendMessageA(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(corner.X, corner.Y)), HTTOPLEFT);
}

TEST_F(ThemedForm, NoSizingEdgesForAFixedOrMaximisedForm) {
  Show();
  form->SetWindowState(wsMaximized);
  Pump();
  TPoint sp = form->ClientToScreen(TPoint(2, 2));
  EXPECT_EQ(SendMessageA(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(sp.X, sp.Y)), HTCLIENT);
  form->SetWindowState(wsNormal);
  FreeComponent(panel);
  // A form that was not sizeable when the panel came gets no edges.
  form->SetBorderStyle(bsSingle);
  panel = new TsuiForm(form);
  Pump();
  sp = form->ClientToScreen(TPoint(2, 2));
  EXPECT_EQ(SendMessageA(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(sp.X, sp.Y)), HTCLIENT);
}

TEST_F(ThemedForm, MaximiseFillsTheWorkAreaAndRestoreGoesBack) {
  panel->SetUIStyle(TsuiUIStyle::WinXP);
  Show();
  const TRect before = Bounds();
  TPoint max = ButtonAt(2);
  EXPECT_EQ(PictureMismatches(max.X, max.Y, Pic(TsuiUIStyle::WinXP, 50)), 0);
  Click(max.X + 4, max.Y + 4);
  EXPECT_EQ(form->WindowState(), wsMaximized);
  EXPECT_EQ(Bounds(), GetWorkAreaRect());
  EXPECT_EQ(panel->Width(), form->ClientWidth() - 6);
  // WinXP shows its restore pictures while maximised (the cursor is on it).
  max = ButtonAt(2);
  MouseMove(0, 500);
  EXPECT_EQ(PictureMismatches(max.X, max.Y, Pic(TsuiUIStyle::WinXP, 62)), 0);
  Click(max.X + 4, max.Y + 4);
  EXPECT_EQ(form->WindowState(), wsNormal);
  EXPECT_EQ(Bounds(), before);
  MouseMove(200, 150);
  EXPECT_EQ(PictureMismatches(ButtonAt(2).X, max.Y, Pic(TsuiUIStyle::WinXP, 50)), 0);
}

TEST_F(ThemedForm, DoubleClickOnTheCaptionMaximisesButNotOnAButton) {
  HeadlessUseFakeClock();
  Show();
  TPoint min = ButtonAt(3);
  Click(min.X + 3, min.Y + 3);
  // Minimising the form (it is not the main form) shows it minimised; back.
  EXPECT_EQ(form->WindowState(), wsMinimized);
  form->SetWindowState(wsNormal);
  Pump();
  // A double click on the control box (hot, no menu) does not maximise.
  const int box = panel->Left() + GetThemeInt(TsuiUIStyle::DeepBlue, 66) + 3;
  HeadlessClick(form, box, 6);
  HeadlessClick(form, box, 6);
  Pump();
  EXPECT_EQ(form->WindowState(), wsNormal);
  HeadlessClick(form, 150, 8);
  HeadlessClick(form, 150, 8);
  Pump();
  EXPECT_EQ(form->WindowState(), wsMaximized);
}

TEST_F(ThemedForm, RoundedTopCornersFollowTheStyle) {
  Show();
  // Radius 0: the plain client rectangle.
  auto inside = [&](int x, int y) {
    std::vector<RECT> shape = HeadlessWindowShape(form->Handle());
    if (shape.empty()) return x >= 0 && y >= 0 && x < form->Width() && y < form->Height();
    for (const RECT& r : shape)
      if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
  };
  EXPECT_TRUE(inside(0, 0));
  EXPECT_TRUE(inside(399, 299));
  panel->SetUIStyle(TsuiUIStyle::WinXP);
  Pump();
  EXPECT_FALSE(inside(0, 0));
  EXPECT_FALSE(inside(399, 0));
  EXPECT_TRUE(inside(0, 299));
  EXPECT_TRUE(inside(399, 299));
  EXPECT_TRUE(inside(200, 0));
  // Resizing keeps the shape in step.
  form->SetBounds(form->Left(), form->Top(), 500, 350);
  Pump();
  EXPECT_TRUE(inside(499, 349));
  EXPECT_FALSE(inside(499, 0));
}

TEST_F(ThemedForm, CustomAndHelpButtonsRaiseTheirEvents) {
  Show();
  TsuiTitleBar* bar = panel->TitleBar();
  std::vector<int> custom, help;
  panel->SetOnBtnClick([&](TObject*, int i) { custom.push_back(i); });
  panel->SetOnHelpBtnClick([&](TObject*, int i) { help.push_back(i); });
  TsuiTitleBarButton* h = bar->Buttons()->Add();
  h->SetButtonType(suiHelp);
  TsuiTitleBarButton* c = bar->Buttons()->Add();
  c->SetPicNormal(panel->TitleBarButtons()->Items(1)->PicNormal());
  c->SetPicMouseOn(panel->TitleBarButtons()->Items(1)->PicMouseOn());
  c->SetPicMouseDown(panel->TitleBarButtons()->Items(1)->PicMouseDown());
  Pump();
  Click(ButtonAt(4).X + 3, ButtonAt(4).Y + 3);
  Click(ButtonAt(5).X + 3, ButtonAt(5).Y + 3);
  EXPECT_EQ(help, std::vector<int>{4});
  EXPECT_EQ(custom, std::vector<int>{5});
  // A picture for a built-in button and a second control box are refused.
  std::vector<std::string> boxes;
  SetMessageBoxRecorder([&](const MessageBoxInfo& i) {
    boxes.push_back(i.text);
    return IDOK;
  });
  TPicture none;
  h->SetPicNormal(&none);
  EXPECT_FALSE(h->PicNormal()->Graphic() == nullptr);
  c->SetButtonType(suiControlBox);
  EXPECT_EQ(c->ButtonType(), suiCustom);
  bar->Sections()->Items(0)->SetAlign(suiClient);
  EXPECT_EQ(bar->Sections()->Items(0)->Align(), suiLeft);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[1], "Sorry, only one button's ButtonType property can be \"suiControlBox\"");
  EXPECT_EQ(boxes[2], "Sorry, only one section's Align property can be \"suiClient\"");
}

TEST_F(ThemedForm, FormOutlivesItsPanelAndTheSubclassChainStaysRight) {
  Show();
  const LONG_PTR original = GetWindowLongA(form->Handle(), GWL_WNDPROC);
  // Another subclass on the same form, above the panel's.
  static WNDPROC below = nullptr;
  static int seen = 0;
  seen = 0;
  auto outer = [](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
    ++seen;
    return CallWindowProcA(below, hwnd, msg, wp, lp);
  };
  below = reinterpret_cast<WNDPROC>(SetWindowLongA(form->Handle(), GWL_WNDPROC, reinterpret_cast<LONG_PTR>(+outer)));
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(below), original);
  // The panel goes first; the form keeps getting messages through both procedures.
  FreeComponent(panel);
  panel = nullptr;
  form->SetBounds(120, 90, 420, 310);
  SendMessageA(form->Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
  SendMessageA(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(121, 91));
  SendMessageA(form->Handle(), WM_ERASEBKGND, 0, 0);
  Pump();
  EXPECT_GT(seen, 3);
  // The outer subclass leaves; then a new panel hooks and unhooks cleanly.
  SetWindowLongA(form->Handle(), GWL_WNDPROC, reinterpret_cast<LONG_PTR>(below));
  const LONG_PTR plain = GetWindowLongA(form->Handle(), GWL_WNDPROC);
  panel = new TsuiForm(form);
  EXPECT_NE(GetWindowLongA(form->Handle(), GWL_WNDPROC), plain);
  FreeComponent(panel);
  panel = nullptr;
  EXPECT_EQ(GetWindowLongA(form->Handle(), GWL_WNDPROC), plain);
  form->SetBounds(130, 95, 380, 280);
  SendMessageA(form->Handle(), WM_SIZE, 0, 0);
  SendMessageA(form->Handle(), WM_KEYDOWN, VK_F5, 0);
  Pump();
  EXPECT_EQ(Application->OnMessage, nullptr);
}

}  // namespace
