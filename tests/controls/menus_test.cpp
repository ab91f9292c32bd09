// The themed menus: sizes and colours from the theme table, check marks and
// images, the Custom style's text colour, and a themed pop-up menu driven by the
// mouse and the keyboard on the headless backend.
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <support/popup_menus.h>

#include "suiform.h"
#include "suimainmenu.h"
#include "suipopupmenu.h"
#include "themed_harness.h"

namespace {

class ThemedMenus : public ThemedTest {
 protected:
  void SetUp() override {
    ThemedTest::SetUp();
    Suipopupmenu_Initialization();
    menu = new TsuiPopupMenu(form);
  }
  void TearDown() override {
    ThemedTest::TearDown();
    Suipopupmenu_Finalization();
  }
  TMenuItem* Add(TMenuItem* parent, const std::string& caption) {
    auto* it = new TMenuItem(form);
    it->SetCaption(caption);
    it->OnClick = [this, caption](TObject*) { log += caption + ";"; };
    parent->Add(it);
    return it;
  }
  // One item drawn alone into a bitmap of 120 by its measured height.
  std::unique_ptr<TBitmap> DrawOne(TMenuItem* item, bool selected, TCustomImageList* images = nullptr) {
    auto bmp = std::make_unique<TBitmap>(120, 24);
    bmp->Canvas()->Brush()->SetColor(clLime);
    bmp->Canvas()->FillRect(TRect(0, 0, 120, 24));
    menu->DrawItem(item, bmp->Canvas(), TRect(0, 0, 120, menu->MenuItemHeight()), selected, images,
                   SharedCheckMarkList());
    return bmp;
  }
  static TColor Px(TBitmap* b, int x, int y) { return static_cast<TColor>(PixelToColorRef(b->Surface().At(x, y))); }
  static int CountIn(TBitmap* b, const TRect& r, const std::function<bool(TColor)>& match) {
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) n += match(Px(b, x, y)) ? 1 : 0;
    return n;
  }
  // Pixels of the check-mark picture (white is its mask) not shown at (x, y).
  static int CheckMarkMismatches(TBitmap* b, int x, int y) {
    std::unique_ptr<TBitmap> pic = LoadBitmapResource("MENU_CHECKED");
    int wrong = 0;
    for (int py = 0; py < pic->Height(); ++py)
      for (int px = 0; px < pic->Width(); ++px) {
        TColor want = static_cast<TColor>(PixelToColorRef(pic->Surface().At(px, py)));
        if (want == 0xFFFFFF) continue;
        if (Px(b, x + px, y + py) != want) ++wrong;
      }
    return wrong;
  }
  std::vector<TCustomForm*> MenuWindows() { return menu_test::MenuWindows(form); }
  void PopupWith(int x, int y, std::vector<std::function<void()>> steps) {
    menu_test::PopupWith(menu, form, x, y, std::move(steps));
  }
  TsuiPopupMenu* menu = nullptr;
  std::string log;
};

TEST_F(ThemedMenus, SizesComeFromTheThemeTable) {
  EXPECT_TRUE(menu->OwnerDraw());
  EXPECT_TRUE(menu->TPopupMenu::OwnerDraw());
  EXPECT_EQ(menu->UIStyle(), TsuiUIStyle::DeepBlue);
  TMenuItem* open = Add(menu->Items(), "Open");
  open->SetShortCut(ShortCut('O', TShiftState{ssCtrl}));
  TMenuItem* line = Add(menu->Items(), "-");
  TBitmap b(10, 10);
  int w = 0, h = 0;
  menu->MeasureItem(open, b.Canvas(), w, h);
  EXPECT_EQ(h, 21);
  EXPECT_EQ(w, b.Canvas()->TextWidth("Open") + b.Canvas()->TextWidth("Ctrl+O") + 26 + 40);
  menu->MeasureItem(line, b.Canvas(), w, h);
  EXPECT_EQ(h, 5);
  menu->SetMenuItemHeight(30);
  menu->MeasureItem(open, b.Canvas(), w, h);
  EXPECT_EQ(h, 30);
  // MacOS: the heights are the style's and the setters do nothing.
  menu->SetUIStyle(TsuiUIStyle::MacOS);
  menu->SetMenuItemHeight(40);
  menu->SetSeparatorHeight(40);
  menu->MeasureItem(open, b.Canvas(), w, h);
  EXPECT_EQ(h, 20);
  menu->MeasureItem(line, b.Canvas(), w, h);
  EXPECT_EQ(h, 12);
  // Custom keeps what was there.
  menu->SetUIStyle(TsuiUIStyle::Custom);
  EXPECT_EQ(menu->MenuItemHeight(), 20);
  EXPECT_EQ(menu->BarWidth, 26);
}

TEST_F(ThemedMenus, ItemColoursFollowTheStyle) {
  for (TsuiUIStyle s : {TsuiUIStyle::WinXP, TsuiUIStyle::DeepBlue, TsuiUIStyle::Protein, TsuiUIStyle::BlueGlass}) {
    SCOPED_TRACE(static_cast<int>(s));
    menu->SetUIStyle(s);
    TMenuItem* it = Add(menu->Items(), "Item");
    auto plain = DrawOne(it, false);
    EXPECT_EQ(Px(plain.get(), 5, 18), GetThemeColor(s, 16));   // side bar
    EXPECT_EQ(Px(plain.get(), 100, 18), GetThemeColor(s, 14));  // background
    EXPECT_GT(CountIn(plain.get(), TRect(30, 2, 80, 18), [&](TColor c) { return c == GetThemeColor(s, 15); }), 5);
    auto sel = DrawOne(it, true);
    EXPECT_EQ(Px(sel.get(), 0, 0), GetThemeColor(s, 10));     // frame
    EXPECT_EQ(Px(sel.get(), 100, 18), GetThemeColor(s, 11));  // fill
    EXPECT_GT(CountIn(sel.get(), TRect(30, 2, 80, 18), [&](TColor c) { return c == GetThemeColor(s, 12); }), 5);
    // Disabled: grey text, never the selected background.
    it->SetEnabled(false);
    auto off = DrawOne(it, true);
    EXPECT_EQ(Px(off.get(), 100, 18), GetThemeColor(s, 14));
    EXPECT_GT(CountIn(off.get(), TRect(30, 2, 80, 18), [](TColor c) { return c == 0x808080; }), 5);
    // The separator line at the top plus 2, from the bar on.
    TMenuItem* line = Add(menu->Items(), "-");
    auto sep = DrawOne(line, true);
    EXPECT_EQ(Px(sep.get(), 60, 2), GetThemeColor(s, 17));
    EXPECT_EQ(Px(sep.get(), 60, 4), GetThemeColor(s, 14));
  }
}

TEST_F(ThemedMenus, CustomStyleTextIsReadable) {
  menu->SetUIStyle(TsuiUIStyle::Custom);
  EXPECT_EQ(menu->Color, 0xFFFFFF);
  TMenuItem* it = Add(menu->Items(), "Readable");
  auto b = DrawOne(it, false);
  EXPECT_EQ(Px(b.get(), 100, 18), 0xFFFFFF);
  // The text in the menu text colour, not white on white.
  EXPECT_GT(CountIn(b.get(), TRect(4, 2, 80, 18), [](TColor c) { return c == ColorToRGB(clMenuText); }), 5);
}

TEST_F(ThemedMenus, CheckMarksAndImages) {
  TMenuItem* it = Add(menu->Items(), "Checked");
  it->SetChecked(true);
  auto b = DrawOne(it, false);
  EXPECT_EQ(CheckMarkMismatches(b.get(), 4, 3), 0);
  // A checked item with an image: a framed highlighted box and the image.
  TImageList images(nullptr);
  images.SetWidth(16);
  images.SetHeight(16);
  TBitmap red(16, 16);
  red.Canvas()->Brush()->SetColor(clRed);
  red.Canvas()->FillRect(TRect(0, 0, 16, 16));
  images.Add(&red, nullptr);
  it->SetImageIndex(0);
  auto withImage = DrawOne(it, false, &images);
  EXPECT_EQ(Px(withImage.get(), 2, 1), clBlack);
  EXPECT_EQ(Px(withImage.get(), 3, 2), GetThemeColor(TsuiUIStyle::DeepBlue, 11));
  EXPECT_EQ(Px(withImage.get(), 10, 10), clRed);
  // An index beyond the list: the check mark, no image.
  it->SetImageIndex(3);
  auto beyond = DrawOne(it, false, &images);
  EXPECT_EQ(CheckMarkMismatches(beyond.get(), 4, 3), 0);
  EXPECT_EQ(CountIn(beyond.get(), TRect(0, 0, 120, 21), [](TColor c) { return c == clRed; }), 0);
  // An unchecked item with an image shows it alone.
  it->SetChecked(false);
  it->SetImageIndex(0);
  auto plain = DrawOne(it, false, &images);
  EXPECT_EQ(Px(plain.get(), 10, 10), clRed);
  EXPECT_EQ(Px(plain.get(), 2, 1), GetThemeColor(TsuiUIStyle::DeepBlue, 16));
}

TEST_F(ThemedMenus, PopupNavigatesByKeyboardAndMouseWithRadioItems) {
  Show();
  TMenuItem* a = Add(menu->Items(), "Alpha");
  TMenuItem* b = Add(menu->Items(), "Beta");
  Add(menu->Items(), "-");
  TMenuItem* r1 = Add(menu->Items(), "One");
  TMenuItem* r2 = Add(menu->Items(), "Two");
  for (TMenuItem* r : {r1, r2}) {
    r->SetRadioItem(true);
    r->SetGroupIndex(1);
    r->AutoCheck = true;
  }
  r1->SetChecked(true);
  (void)a;
  (void)b;
  const TColor selected = GetThemeColor(TsuiUIStyle::DeepBlue, 11);
  TColor hotRow = 0, otherRow = 0;
  int markWrong = -1;
  // Keyboard: down twice and Enter picks the second item.
  PopupWith(40, 40, {[&] { HeadlessKey(form, VK_DOWN); },
                     [&] { HeadlessKey(form, VK_DOWN); },
                     [&] {
                       auto w = MenuWindows();
                       ASSERT_EQ(w.size(), 1u);
                       TSurface s;
                       HeadlessCapture(w[0]->Handle(), s);
                       hotRow = static_cast<TColor>(PixelToColorRef(s.At(100, 3 + 21 + 10)));
                       otherRow = static_cast<TColor>(PixelToColorRef(s.At(100, 3 + 10)));
                       // The checked radio item shows the check mark.
                       std::unique_ptr<TBitmap> pic = LoadBitmapResource("MENU_CHECKED");
                       markWrong = 0;
                       const int top = 3 + 21 + 21 + 5 + 3;
                       for (int py = 0; py < pic->Height(); ++py)
                         for (int px = 0; px < pic->Width(); ++px) {
                           TColor want = static_cast<TColor>(PixelToColorRef(pic->Surface().At(px, py)));
                           if (want == 0xFFFFFF) continue;
                           if (static_cast<TColor>(PixelToColorRef(s.At(3 + 4 + px, top + py))) != want) ++markWrong;
                         }
                       HeadlessKey(form, VK_RETURN);
                     }});
  EXPECT_EQ(log, "Beta;");
  EXPECT_EQ(hotRow, selected);
  EXPECT_EQ(otherRow, 0xFFFFFF);
  EXPECT_EQ(markWrong, 0);
  // Mouse: a click on "Two" checks it and unchecks "One".
  log.clear();
  PopupWith(40, 40, {[&] {
    auto w = MenuWindows();
    ASSERT_EQ(w.size(), 1u);
    HeadlessClick(w[0], 30, 3 + 21 + 21 + 5 + 21 + 10);
  }});
  EXPECT_EQ(log, "Two;");
  EXPECT_TRUE(r2->Checked());
  EXPECT_FALSE(r1->Checked());
}

TEST_F(ThemedMenus, FlatMenuDrawsItsOwnBorderRoundTheMenuWindow) {
  Show();
  menu->SetUIStyle(TsuiUIStyle::WinXP);
  Add(menu->Items(), "Open");
  Add(menu->Items(), "-");
  Add(menu->Items(), "Convert");
  const TColor border = GetThemeColor(TsuiUIStyle::WinXP, 2), line = GetThemeColor(TsuiUIStyle::WinXP, 3);
  // What the menu window shows round its items, w by h.
  struct Edges {
    int w = 0, h = 0;
    std::vector<TColor> left, inner, bottom, right, top;
  };
  auto edges = [&] {
    Edges e;
    PopupWith(40, 40, {[&] {
      auto w = MenuWindows();
      ASSERT_EQ(w.size(), 1u);
      TSurface s;
      ASSERT_TRUE(HeadlessCapture(w[0]->Handle(), s));
      e.w = s.Width;
      e.h = s.Height;
      auto px = [&](int x, int y) { return static_cast<TColor>(PixelToColorRef(s.At(x, y))); };
      for (int y = 1; y < e.h - 1; ++y) e.left.push_back(px(0, y));
      for (int y = 2; y < e.h - 2; ++y) e.inner.push_back(px(1, y));
      for (int x = 0; x < e.w - 1; ++x) e.bottom.push_back(px(x, e.h - 1));
      for (int y = 0; y < e.h; ++y) e.right.push_back(px(e.w - 1, y));
      for (int x = 1; x < e.w; ++x) e.top.push_back(px(x, 0));
    }});
    return e;
  };
  auto all = [](const std::vector<TColor>& v, TColor c) {
    return !v.empty() && std::all_of(v.begin(), v.end(), [c](TColor p) { return p == c; });
  };
  // Without FlatMenu the window keeps the class library's raised frame.
  Edges plain = edges();
  ASSERT_GT(plain.h, 20);
  EXPECT_FALSE(all(plain.left, border));
  menu->FlatMenu = true;
  Edges flat = edges();
  EXPECT_EQ(flat.w, plain.w);
  EXPECT_EQ(flat.h, plain.h);
  // A frame in the border colour one pixel below the top, a white one inside it,
  // and the line colour along the bottom, the right and the top.
  EXPECT_TRUE(all(flat.left, border));
  EXPECT_TRUE(all(flat.inner, clWhite));
  EXPECT_TRUE(all(flat.bottom, line));
  EXPECT_TRUE(all(flat.right, line));
  EXPECT_TRUE(all(flat.top, line));
}

TEST_F(ThemedMenus, MainMenuShowsOnTheFormPanelsMenuBar) {
  form->SetBounds(60, 60, 400, 300);
  auto* panel = new TsuiForm(form);
  auto* main = new TsuiMainMenu(form);
  EXPECT_EQ(main->Images(), nullptr);
  EXPECT_NE(main->TMenu::Images(), nullptr);
  TMenuItem* file = Add(main->Items(), "File");
  Add(file, "Quit");
  Add(main->Items(), "Help");
  main->AfterConstruction();
  EXPECT_EQ(panel->Menu(), main);
  ASSERT_NE(panel->MenuBar(), nullptr);
  EXPECT_EQ(panel->MenuBar()->ButtonCount(), 2);
  EXPECT_EQ(panel->MenuBar()->Buttons(0)->MenuItem(), file);
  EXPECT_EQ(panel->MenuBar()->Top(), panel->TitleBar()->Height());
  Show();
  // The bar in the panel's colour; a hot button in the style's menu colours.
  const TPoint bar = At(panel->MenuBar());
  EXPECT_EQ(Pixel(bar.X + 300, bar.Y + 5), panel->Color());
  TToolButton* help = panel->MenuBar()->Buttons(1);
  MouseMove(bar.X + help->Left() + help->Width() / 2, bar.Y + help->Top() + help->Height() / 2);
  EXPECT_EQ(Pixel(bar.X + help->Left(), bar.Y + help->Top()), GetThemeColor(TsuiUIStyle::DeepBlue, 10));
  EXPECT_EQ(Pixel(bar.X + help->Left() + 2, bar.Y + help->Top() + 2), GetThemeColor(TsuiUIStyle::DeepBlue, 11));
  MouseMove(bar.X + 300, bar.Y + 5);
  // A style change reaches the menu; no menu takes the bar away.
  panel->SetUIStyle(TsuiUIStyle::WinXP);
  EXPECT_EQ(main->UIStyle(), TsuiUIStyle::WinXP);
  EXPECT_EQ(main->MenuItemHeight(), 21);
  main->SetImages(nullptr);
  EXPECT_EQ(main->Images(), nullptr);
  panel->SetMenu(nullptr);
  EXPECT_EQ(panel->MenuBar(), nullptr);
  panel->SetMenu(main);
  ASSERT_NE(panel->MenuBar(), nullptr);
  EXPECT_EQ(panel->MenuBar()->ButtonCount(), 2);
}

TEST_F(ThemedMenus, ShortcutsOfTheMenuOnTheBarRunOnce) {
  auto* panel = new TsuiForm(form);
  auto* main = new TsuiMainMenu(form);
  TMenuItem* file = Add(main->Items(), "File");
  TMenuItem* quit = Add(file, "Quit");
  quit->SetShortCut(ShortCut('Q', TShiftState{ssCtrl}));
  main->AfterConstruction();
  EXPECT_EQ(form->Menu(), nullptr);
  EXPECT_EQ(panel->Menu(), main);
  Show();
  Key('Q', BackendCtrl);
  EXPECT_EQ(log, "Quit;");
  // Without the panel the form no longer knows the menu's shortcuts.
  FreeComponent(panel);
  Key('Q', BackendCtrl);
  EXPECT_EQ(log, "Quit;");
}

}  // namespace
