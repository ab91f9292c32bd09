// The themed form panel and its title bar driven by injected input on the headless
// backend: buttons per state and style, dragging, sizing by every edge and corner,
// maximise and restore with the work area, double click, rounded corners, readable
// captions, button spacing, the application icon, the control box's menu, and the
// form outliving its panel.
#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <support/popup_menus.h>
#include <vcl/winuser.h>
#include <win32/region.h>

#include "suipublic.h"
#include "themed_form.h"

namespace {

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
  for (TsuiUIStyle s : kFormStyles) {
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

// The pixels of a form w by h whose top corners only are rounded with an r by r
// ellipse: a top corner pixel stays when its centre lies inside the corner's circle.
std::set<std::pair<int, int>> TopRounded(int w, int h, int r) {
  std::set<std::pair<int, int>> out;  // (x, y)
  const double a = r / 2.0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double cx = x + 0.5, cy = y + 0.5;
      bool in = true;
      if (r >= 2 && cy < a) {
        const double dx = (cx - std::clamp(cx, a, w - a)) / a, dy = (cy - a) / a;
        in = dx * dx + dy * dy <= 1.0 + 1e-12;
      }
      if (in) out.insert({x, y});
    }
  return out;
}

// The pixels of the form's window region, looked for a little beyond the form.
std::set<std::pair<int, int>> RegionPixels(TCustomForm* f) {
  std::set<std::pair<int, int>> out;
  HRGN r = CreateRectRgn(0, 0, 0, 0);
  EXPECT_NE(GetWindowRgn(f->Handle(), r), ERROR);
  for (int y = -3; y < f->Height() + 3; ++y)
    for (int x = -3; x < f->Width() + 3; ++x)
      if (PtInRegion(r, x, y)) out.insert({x, y});
  DeleteObject(r);
  return out;
}

using Pixels = std::set<std::pair<int, int>>;

// The first few pixels in one set only, for a readable failure.
std::string Difference(const Pixels& got, const Pixels& want) {
  std::string out;
  int n = 0;
  for (auto [x, y] : got)
    if (!want.count({x, y}) && n++ < 8) out += " extra " + std::to_string(x) + "," + std::to_string(y);
  for (auto [x, y] : want)
    if (!got.count({x, y}) && n++ < 16) out += " missing " + std::to_string(x) + "," + std::to_string(y);
  return out;
}

TEST_F(ThemedForm, RoundedTopCornersFollowTheStyle) {
  Show();
  // Radius 0: exactly the form's rectangle.
  Pixels shape = RegionPixels(form);
  EXPECT_TRUE(shape == TopRounded(400, 300, 0)) << Difference(shape, TopRounded(400, 300, 0));
  panel->SetUIStyle(TsuiUIStyle::WinXP);
  Pump();
  const Pixels rounded = RegionPixels(form);
  EXPECT_TRUE(rounded == TopRounded(400, 300, 13)) << Difference(rounded, TopRounded(400, 300, 13));
  // Both top corners lose the same pixels: the right edge is not a pixel further out.
  EXPECT_FALSE(rounded.count({0, 0}));
  EXPECT_FALSE(rounded.count({399, 0}));
  EXPECT_FALSE(rounded.count({400, 150}));
  EXPECT_FALSE(rounded.count({200, 300}));
  EXPECT_TRUE(rounded.count({0, 299}));
  EXPECT_TRUE(rounded.count({399, 299}));
  // Resizing keeps the shape in step.
  form->SetBounds(form->Left(), form->Top(), 500, 350);
  Pump();
  shape = RegionPixels(form);
  EXPECT_TRUE(shape == TopRounded(500, 350, 13)) << Difference(shape, TopRounded(500, 350, 13));
}

// Relative luminance and contrast ratio of two colours (0x00BBGGRR).
double Luminance(TColor c) {
  auto lin = [](int v) {
    const double s = v / 255.0;
    return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * lin(c & 0xFF) + 0.7152 * lin((c >> 8) & 0xFF) + 0.0722 * lin((c >> 16) & 0xFF);
}
double Contrast(TColor a, TColor b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST_F(ThemedForm, CaptionsReadOnEveryStylesTitle) {
  Show();
  for (TsuiUIStyle s : kFormStyles) {
    SCOPED_TRACE(static_cast<int>(s));
    panel->SetUIStyle(s);
    const int h = panel->TitleBar()->Height();
    auto shot = [&] {
      Pump();
      TSurface out;
      HeadlessCapture(form->Handle(), out);
      return out;
    };
    panel->SetCaption("");
    const TSurface plain = shot();
    panel->SetCaption("MWMWMWMW");
    const TSurface text = shot();
    // The caption's ink: of the pixels the caption changed, the one that stands out
    // most from the title behind it (the others are its blended edges).
    TColor inkColor = 0;
    double strongest = 0;
    TRect box(1000, 1000, -1, -1);
    for (int y = 0; y < h; ++y)
      for (int x = 30; x < 200; ++x)
        if (text.At(x, y) != plain.At(x, y)) {
          const TColor c = static_cast<TColor>(PixelToColorRef(text.At(x, y)));
          const double k = Contrast(c, static_cast<TColor>(PixelToColorRef(plain.At(x, y))));
          if (k > strongest) {
            strongest = k;
            inkColor = c;
          }
          box = TRect(std::min(box.Left, x), std::min(box.Top, y), std::max(box.Right, x + 1), std::max(box.Bottom, y + 1));
        }
    ASSERT_GT(strongest, 0);
    // Readable text: at least 4.5:1 against every pixel of the title behind it.
    double worst = 100;
    for (int y = box.Top; y < box.Bottom; ++y)
      for (int x = box.Left; x < box.Right; ++x)
        worst = std::min(worst, Contrast(inkColor, static_cast<TColor>(PixelToColorRef(plain.At(x, y)))));
    EXPECT_GE(worst, 4.5);
  }
}

TEST_F(ThemedForm, ButtonIntervalSpacesTheButtons) {
  Show();
  // DeepBlue: a 398-pixel bar from x = 1, 18-pixel buttons at the top 2, right offset 0.
  const std::string close = Pic(TsuiUIStyle::DeepBlue, 47), max = Pic(TsuiUIStyle::DeepBlue, 50),
                    min = Pic(TsuiUIStyle::DeepBlue, 53);
  EXPECT_EQ(panel->TitleBar()->ButtonInterval(), 0);
  EXPECT_EQ(PictureMismatches(1 + 380, 2, close), 0);
  EXPECT_EQ(PictureMismatches(1 + 361, 2, max), 0);
  EXPECT_EQ(PictureMismatches(1 + 342, 2, min), 0);
  panel->TitleBar()->SetButtonInterval(6);
  EXPECT_EQ(PictureMismatches(1 + 374, 2, close), 0);
  EXPECT_EQ(PictureMismatches(1 + 349, 2, max), 0);
  EXPECT_EQ(PictureMismatches(1 + 324, 2, min), 0);
  // The minimise button answers the mouse where it is now drawn.
  MouseMove(1 + 324 + 9, 2 + 9);
  EXPECT_EQ(panel->TitleBar()->HotIndex(), 3);
  EXPECT_EQ(PictureMismatches(1 + 324, 2, Pic(TsuiUIStyle::DeepBlue, 54)), 0);
}

TEST_F(ThemedForm, DrawAppIconShowsTheProgramsIconForTheControlBox) {
  Show();
  const std::string box = Pic(TsuiUIStyle::DeepBlue, 59);
  EXPECT_FALSE(panel->TitleBarDrawAppIcon());
  EXPECT_EQ(PictureMismatches(1, 2, box), 0);
  // Colours of the icon, but for its see-through key.
  std::unique_ptr<TBitmap> icon = LoadBitmapResource("MAINICON");
  std::set<TColor> iconColours;
  for (int y = 0; y < icon->Height(); ++y)
    for (int x = 0; x < icon->Width(); ++x) iconColours.insert(static_cast<TColor>(PixelToColorRef(icon->Surface().At(x, y))));
  iconColours.erase(static_cast<TColor>(PixelToColorRef(icon->Surface().At(0, 0))));
  auto iconPixels = [&] {
    int n = 0;
    for (int y = 2; y < 18; ++y)
      for (int x = 4; x < 20; ++x) n += iconColours.count(Pixel(x, y)) ? 1 : 0;
    return n;
  };
  const int before = iconPixels();
  panel->SetDrawAppIcon(true);
  EXPECT_TRUE(panel->TitleBarDrawAppIcon());
  EXPECT_TRUE(panel->TitleBar()->DrawAppIcon());
  // The icon, 16 by 16 at three pixels in, where the control box was.
  EXPECT_GT(PictureMismatches(1, 2, box), 50);
  EXPECT_GT(iconPixels(), before + 100);
  EXPECT_EQ(Pixel(1 + 3 + 16 + 1, 10), Pixel(200, 10));  // the title shows beside it
  panel->SetDrawAppIcon(false);
  EXPECT_EQ(PictureMismatches(1, 2, box), 0);
}

TEST_F(ThemedForm, TheControlBoxOpensItsMenuUnderTheBar) {
  Show();
  TsuiTitleBar* bar = panel->TitleBar();
  auto* menu = new TPopupMenu(form);
  auto* item = new TMenuItem(form);
  item->SetCaption("Restore");
  menu->Items()->Add(item);
  int popups = 0;
  menu->OnPopup = [&](TObject*) { ++popups; };
  // Without a menu the control box does nothing.
  Click(1 + 5, 2 + 5);
  EXPECT_EQ(popups, 0);
  bar->Buttons()->Items(0)->ControlBoxMenu = menu;
  TPoint at(-1, -1);
  HeadlessSetIdleHook([&] {
    auto open = menu_test::MenuWindows(form);
    if (open.empty()) return false;
    if (at.X < 0) at = TPoint(open[0]->Left(), open[0]->Top());
    HeadlessKey(form, VK_ESCAPE);
    return true;
  });
  Click(1 + 5, 2 + 5);
  HeadlessSetIdleHook(nullptr);
  EXPECT_EQ(popups, 1);
  // At the bar's bottom-left corner on the screen.
  EXPECT_EQ(at.X, form->Left() + 1);
  EXPECT_EQ(at.Y, form->Top() + bar->Height());
  EXPECT_TRUE(menu_test::MenuWindows(form).empty());
  EXPECT_EQ(form->WindowState(), wsNormal);
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
  bar->Sections()->Items(0)->SetAlign(TsuiTitleBarAlign::suiClient);
  EXPECT_EQ(bar->Sections()->Items(0)->Align(), TsuiTitleBarAlign::suiLeft);
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
