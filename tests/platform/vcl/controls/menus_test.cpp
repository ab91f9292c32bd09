// Pop-up menus driven by injected input: owner-drawn measuring and drawing,
// columns, submenus, keyboard, check marks, shortcuts and empty menus.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <support/popup_menus.h>

#include <vcl/menus.h>
#include <vcl/stdctrls.h>

#include "harness.h"

namespace {

class MenuTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    menu = new TPopupMenu(form);
    Show();
  }
  TMenuItem* Add(TMenuItem* parent, const std::string& caption) {
    auto* it = new TMenuItem(form);
    it->SetCaption(caption);
    it->OnClick = [this, caption](TObject*) { log += caption + ";"; };
    parent->Add(it);
    return it;
  }
  std::vector<TCustomForm*> MenuWindows() { return menu_test::MenuWindows(form); }
  void PopupWith(int x, int y, std::vector<std::function<void()>> steps) {
    menu_test::PopupWith(menu, form, x, y, std::move(steps));
  }
  TPopupMenu* menu = nullptr;
  std::string log;
};

TEST_F(MenuTest, OwnerDrawnBannerColumnMeasuresAndDraws) {
  menu->SetOwnerDraw(true);
  TRect bannerRect;
  auto* banner = Add(menu->Items(), "");
  banner->SetEnabled(false);
  banner->OnMeasureItem = [](TObject*, TCanvas*, int& w, int& h) {
    w = 6;
    h = 6 * h + 24;
  };
  banner->OnDrawItem = [&](TObject*, TCanvas* c, TRect r, bool) {
    bannerRect = r;
    c->Brush()->SetColor(clBlue);
    c->FillRect(TRect(0, 0, r.Width(), r.Height()));
  };
  auto* ripper = Add(menu->Items(), "Ripper");
  ripper->SetBreak(mbBreak);
  Add(ripper, "DVD to VCD");
  for (const char* c : {"-", "HomePage", "-", "SelectSkin   ", "Help", "About", "-", "Exit"}) {
    auto* it = Add(menu->Items(), c);
    if (std::string(c) == "-")
      it->OnDrawItem = [](TObject*, TCanvas* c, TRect r, bool) {
        c->MoveTo(r.Left, r.Top + 2);
        c->LineTo(r.Right, r.Top + 2);
      };
  }
  int shownW = 0, shownH = 0;
  TColor topLeft = 0;
  PopupWith(40, 30, {[&] {
    auto w = MenuWindows();
    ASSERT_EQ(w.size(), 1u);
    shownW = w[0]->Width();
    shownH = w[0]->Height();
    TSurface s;
    HeadlessCapture(w[0]->Handle(), s);
    topLeft = static_cast<TColor>(PixelToColorRef(s.At(3, 3)));
  }});
  // Six text items of 18 and three separators of 8: the banner is as high as the
  // second column; its column is its width plus the check area.
  EXPECT_EQ(bannerRect, TRect(0, 0, 18, 132));
  EXPECT_EQ(shownH, 132 + 6);
  EXPECT_GT(shownW, 18 + 40);
  EXPECT_EQ(topLeft, clBlue);  // the handler's (0, 0) is inside the menu frame
  EXPECT_EQ(log, "");
}

TEST_F(MenuTest, ClickRunsTheItemBeforePopupReturnsAndSubmenusOpenOnHover) {
  Add(menu->Items(), "First");
  auto* sub = Add(menu->Items(), "More");
  Add(sub, "Inner");
  auto* off = Add(menu->Items(), "Off");
  off->SetEnabled(false);
  PopupWith(100, 100, {
                          [&] {  // the disabled item takes no click; the menu stays
                            auto w = MenuWindows();
                            HeadlessClick(w[0], 20, 3 + 36 + 9);
                          },
                          [&] {
                            auto w = MenuWindows();
                            ASSERT_EQ(w.size(), 1u);
                            HeadlessMouseMove(w[0], 20, 3 + 18 + 9);  // over "More"
                          },
                          [&] {
                            auto w = MenuWindows();
                            ASSERT_EQ(w.size(), 2u);
                            EXPECT_EQ(w[1]->Left(), w[0]->Left() + w[0]->Width() - 3);
                            HeadlessMouseMove(w[1], 20, 3 + 9);
                            HeadlessClick(w[1], 20, 3 + 9);
                          },
                      });
  EXPECT_EQ(log, "Inner;");
  EXPECT_TRUE(MenuWindows().empty());
  EXPECT_FALSE(MenuLoopActive());
}

TEST_F(MenuTest, KeyboardMovesChoosesAndDismisses) {
  Add(menu->Items(), "&Open");
  Add(menu->Items(), "-");
  Add(menu->Items(), "&Save");
  auto* sub = Add(menu->Items(), "&Recent");
  Add(sub, "one");
  PopupWith(10, 10, {[&] { HeadlessKey(form, VK_DOWN); }, [&] { HeadlessKey(form, VK_DOWN); },
                     [&] { HeadlessKey(form, VK_RETURN); }});
  EXPECT_EQ(log, "&Save;");  // the separator is skipped
  PopupWith(10, 10, {[&] { HeadlessChar(form, 'o'); }});
  EXPECT_EQ(log, "&Save;&Open;");
  PopupWith(10, 10, {[&] { HeadlessChar(form, 'r'); }, [&] {
                       EXPECT_EQ(MenuWindows().size(), 2u);
                       HeadlessKey(form, VK_LEFT);
                     },
                     [&] {
                       EXPECT_EQ(MenuWindows().size(), 1u);
                       HeadlessKey(form, VK_ESCAPE);
                     }});
  EXPECT_EQ(log, "&Save;&Open;");
  // A press outside every menu window dismisses it.
  PopupWith(10, 10, {[&] { HeadlessClick(form, 300, 230); }});
  EXPECT_EQ(log, "&Save;&Open;");
}

TEST_F(MenuTest, CheckedAndRadioItemsShortcutsAndDefaultDrawing) {
  auto* a = Add(menu->Items(), "A");
  auto* b = Add(menu->Items(), "B");
  auto* c = Add(menu->Items(), "C");
  for (auto* it : {a, b}) {
    it->SetRadioItem(true);
    it->SetGroupIndex(1);
  }
  a->SetChecked(true);
  b->SetChecked(true);
  EXPECT_FALSE(a->Checked());
  c->SetChecked(true);
  EXPECT_TRUE(b->Checked());
  c->SetShortCut(ShortCut('S', {ssCtrl}));
  EXPECT_EQ(ShortCutToText(c->ShortCut()), "Ctrl+S");
  EXPECT_TRUE(menu->IsShortCut('S', {ssCtrl}));
  EXPECT_FALSE(menu->IsShortCut('S', {}));
  EXPECT_TRUE(IsFormShortCut(form, 'S', {ssCtrl}));
  auto* main = new TMainMenu(form);
  auto* m = Add(main->Items(), "Main");
  m->SetShortCut(ShortCut(VK_F2, {}));
  form->SetMenu(main);
  EXPECT_TRUE(IsFormShortCut(form, VK_F2, {}));
  c->SetEnabled(false);
  EXPECT_FALSE(menu->IsShortCut('S', {ssCtrl}));
  EXPECT_FALSE(IsFormShortCut(form, 'S', {ssCtrl}));
  EXPECT_EQ(log, "C;C;Main;");
  form->SetMenu(nullptr);
  int marks = 0, highlight = 0;
  PopupWith(10, 10, {[&] {
    auto w = MenuWindows();
    HeadlessMouseMove(w[0], 30, 3 + 18 + 9);  // over B
  },
                     [&] {
                       auto w = MenuWindows();
                       TSurface s;
                       HeadlessCapture(w[0]->Handle(), s);
                       // Item A: no mark; item C: a tick in the menu text colour.
                       for (int y = 3 + 36; y < 3 + 54; ++y)
                         for (int x = 3; x < 16; ++x)
                           marks += PixelToColorRef(s.At(x, y)) == static_cast<COLORREF>(ColorToRGB(clGrayText));
                       for (int y = 3 + 18; y < 3 + 36; ++y)
                         highlight += PixelToColorRef(s.At(40, y)) == static_cast<COLORREF>(ColorToRGB(clHighlight));
                     }});
  EXPECT_GE(marks, 15);  // C is disabled: its tick is grey
  EXPECT_GE(highlight, 10);
}

TEST_F(MenuTest, ShortcutKeysRunTheirItemsBeforeTheFocusedControlSeesThem) {
  auto* edit = new TEdit(form);
  edit->SetBounds(10, 10, 120, 22);
  edit->SetParent(form);
  std::string downs, presses;
  edit->OnKeyDown = [&](TObject*, WORD& key, TShiftState) { downs += std::to_string(key) + ";"; };
  edit->OnKeyPress = [&](TObject*, char& ch) { presses += std::to_string(static_cast<int>(ch)) + ";"; };
  auto* main = new TMainMenu(form);
  auto* file = Add(main->Items(), "&File");
  auto* save = Add(file, "&Save");
  save->SetShortCut(ShortCut('S', {ssCtrl}));
  auto* help = Add(menu->Items(), "Help");  // the form's pop-up menu
  help->SetShortCut(ShortCut(VK_F1, {}));
  form->SetMenu(main);
  edit->SetFocus();
  Pump();

  // Ctrl+S as a desktop backend sends it: key down, its control character, key up.
  HeadlessKeyDown(form, 'S', BackendCtrl);
  HeadlessChar(form, 0x13, BackendCtrl);
  HeadlessKeyUp(form, 'S', BackendCtrl);
  Pump();
  EXPECT_EQ(log, "&Save;");
  EXPECT_EQ(downs, "");
  EXPECT_EQ(presses, "");
  Key(VK_F1);
  EXPECT_EQ(log, "&Save;Help;");
  EXPECT_EQ(downs, "");

  // Keys that are no shortcut reach the edit.
  Key('A');
  Key('S');  // S without Ctrl
  EXPECT_EQ(edit->Text(), "as");
  EXPECT_EQ(downs, "65;83;");
  EXPECT_EQ(log, "&Save;Help;");

  // A disabled item, or one under a disabled parent, is no shortcut.
  save->SetEnabled(false);
  Key('S', BackendCtrl);
  file->SetEnabled(false);
  save->SetEnabled(true);
  Key('S', BackendCtrl);
  EXPECT_EQ(log, "&Save;Help;");
  EXPECT_EQ(downs, "65;83;83;83;");

  // A freed main menu leaves the form; its keys go to the edit again.
  FreeComponent(main);
  EXPECT_EQ(form->Menu(), nullptr);
  Key('S', BackendCtrl);
  EXPECT_EQ(downs, "65;83;83;83;83;");
  EXPECT_EQ(log, "&Save;Help;");
}

TEST_F(MenuTest, EmptyMenuReturnsAtOnceAndRightClickOpensAControlsMenu) {
  int popups = 0;
  menu->OnPopup = [&](TObject*) { ++popups; };
  menu->Popup(10, 10);
  EXPECT_EQ(popups, 1);
  EXPECT_TRUE(MenuWindows().empty());
  auto* hidden = Add(menu->Items(), "Hidden");
  hidden->SetVisible(false);
  menu->Popup(10, 10);
  EXPECT_TRUE(MenuWindows().empty());

  Add(menu->Items(), "Shown");
  auto* label = new TLabel(form);
  label->SetCaption("Right-click me");
  label->SetBounds(20, 20, 100, 20);
  label->SetParent(form);
  label->SetPopupMenu(menu);
  std::vector<TCustomForm*> seen;
  size_t step = 1;
  HeadlessClick(form, 30, 25, BackendRight);
  HeadlessSetIdleHook([&] {
    if (step == 1 && !MenuWindows().empty()) {
      ++step;
      seen = MenuWindows();
      HeadlessMouseMove(seen[0], 20, 3 + 9);
      HeadlessClick(seen[0], 20, 3 + 9);
      return true;
    }
    return false;
  });
  Pump();
  HeadlessSetIdleHook(nullptr);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(log, "Shown;");
  EXPECT_EQ(popups, 3);
}

TEST_F(MenuTest, MenuStaysOnScreenNearTheEdgeAndItemsLeaveTheirParents) {
  for (int i = 0; i < 5; ++i) Add(menu->Items(), "Item " + std::to_string(i));
  TRect wa = Screen->WorkAreaRect();
  TRect shown;
  PopupWith(wa.Right - 2, wa.Bottom - 2, {[&] { shown = MenuWindows()[0]->BoundsRect(); }});
  EXPECT_LE(shown.Right, wa.Right);
  EXPECT_LE(shown.Bottom, wa.Bottom);
  EXPECT_GT(shown.Width(), 0);
  // Freeing an item takes it out of its menu; deleting frees it.
  TMenuItem* it = menu->Items()->Items(2);
  FreeComponent(it);
  EXPECT_EQ(menu->Items()->Count(), 4);
  menu->Items()->Delete(0);
  EXPECT_EQ(menu->Items()->Count(), 3);
  EXPECT_EQ(menu->Items()->Items(0)->Caption(), "Item 1");
}

}  // namespace
