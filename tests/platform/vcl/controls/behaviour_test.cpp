// Scroll bars, edit and list messages, glyph layout, and what degenerate input
// (zero-sized controls, empty window regions, disabled parents) does.
#include <string>
#include <vector>

#include <vcl/buttons.h>
#include <vcl/checklst.h>
#include <vcl/comctrls.h>
#include <vcl/extctrls.h>
#include <vcl/menus.h>
#include <win32/region.h>

#include "harness.h"

namespace {

class ScrollTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    bar = new TScrollBar(form);
    bar->SetKind(sbVertical);
    bar->SetBounds(10, 10, 16, 116);  // arrows of 16, a track of 84
    bar->SetParams(0, 0, 10);
    bar->LargeChange = 3;
    bar->SetParent(form);
    bar->OnScroll = [this](TObject*, TScrollCode code, int& pos) {
      codes.push_back(code);
      if (clamp_at >= 0 && pos > clamp_at) pos = clamp_at;  // a handler may change the position
    };
    bar->OnChange = [this](TObject*) { ++changes; };
    Show();
  }
  TScrollBar* bar = nullptr;
  std::vector<TScrollCode> codes;
  int changes = 0;
  int clamp_at = -1;
};

TEST_F(ScrollTest, ArrowsPagesThumbAndKeys) {
  Click(18, 120);  // lower arrow
  EXPECT_EQ(bar->Position(), 1);
  Click(18, 100);  // the track below the thumb: a page
  EXPECT_EQ(bar->Position(), 4);
  ASSERT_GE(codes.size(), 4u);
  EXPECT_EQ(codes[0], scLineDown);
  EXPECT_EQ(codes[1], scEndScroll);
  EXPECT_EQ(codes[2], scPageDown);
  // Dragging the thumb to the bottom of the track reaches the maximum.
  int thumbY = 10 + 16 + (84 - 16) * 4 / 10 + 4;
  HeadlessMouseDown(form, 18, thumbY);
  HeadlessMouseMove(form, 18, thumbY + 200);
  HeadlessMouseUp(form, 18, thumbY + 200);
  Pump();
  EXPECT_EQ(bar->Position(), 10);
  EXPECT_EQ(codes.back(), scEndScroll);
  bar->SetFocus();
  Key(VK_HOME);
  EXPECT_EQ(bar->Position(), 0);
  Key(VK_DOWN);
  EXPECT_EQ(bar->Position(), 1);
  // The handler's position wins.
  clamp_at = 2;
  Key(VK_END);
  EXPECT_EQ(bar->Position(), 2);
  int before = changes;
  bar->SetPosition(2);
  EXPECT_EQ(changes, before);  // no change, no event
  bar->SetPosition(50);
  EXPECT_EQ(bar->Position(), 10);
  EXPECT_THROW(bar->SetParams(0, 5, 1), EInvalidOperation);
  // A disabled scroll bar ignores the mouse.
  bar->SetEnabled(false);
  Click(18, 120);
  EXPECT_EQ(bar->Position(), 10);
}

TEST_F(ScrollTest, PageSizeLimitsThePositionAndHoldingAnArrowRepeats) {
  HeadlessUseFakeClock(10000);
  bar->SetPageSize(4);
  bar->SetPosition(10);
  EXPECT_EQ(bar->Position(), 7);
  bar->SetPosition(0);
  HeadlessMouseDown(form, 18, 120);
  Pump();
  EXPECT_EQ(bar->Position(), 1);
  HeadlessAdvanceClock(300);
  Pump();
  HeadlessAdvanceClock(60);
  Pump();
  HeadlessAdvanceClock(60);
  Pump();
  EXPECT_GE(bar->Position(), 3);
  HeadlessMouseUp(form, 18, 120);
  Pump();
  int at = bar->Position();
  HeadlessAdvanceClock(500);
  Pump();
  EXPECT_EQ(bar->Position(), at);
}

TEST_F(ControlTest, EditMessagesPasswordReadOnlyAndCase) {
  auto* edit = new TEdit(form);
  edit->SetBounds(10, 10, 150, 21);
  edit->SetParent(form);
  Show();
  edit->SetFocus();
  edit->SetText("abcdef");
  edit->Perform(EM_SETSEL, 1, 4);
  EXPECT_EQ(edit->SelText(), "bcd");
  DWORD s = 0, e = 0;
  edit->Perform(EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
  EXPECT_EQ(s, 1u);
  EXPECT_EQ(e, 4u);
  edit->Perform(EM_SETSEL, 0, static_cast<LPARAM>(-1));
  EXPECT_EQ(edit->SelLength(), 6);
  edit->SetPasswordChar('*');
  SetClipboard("keep");
  Key('C', BackendCtrl);  // a password is never copied
  EXPECT_EQ(Clipboard(), "keep");
  edit->SetPasswordChar(0);
  edit->SetReadOnly(true);
  Type("zz");
  Key(VK_DELETE);
  EXPECT_EQ(edit->Text(), "abcdef");
  edit->SetReadOnly(false);
  edit->SetCharCase(ecUpperCase);
  EXPECT_EQ(edit->Text(), "ABCDEF");
  edit->SetSelStart(6);
  Type("g");
  EXPECT_EQ(edit->Text(), "ABCDEFG");
  // Ctrl+Left jumps over a word, Ctrl+Shift+Right selects one.
  edit->SetText("one two three");
  edit->SetSelStart(13);
  Key(VK_LEFT, BackendCtrl);
  EXPECT_EQ(edit->SelStart(), 8);
  Key(VK_RIGHT, BackendCtrl | BackendShift);
  EXPECT_EQ(edit->SelText(), "three");
  // WM_GETTEXT answers the text through the window.
  char buf[8];
  EXPECT_EQ(SendMessageA(edit->Handle(), WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf)), 7);
  EXPECT_STREQ(buf, "one two");
}

TEST_F(ControlTest, ListBoxMessagesAndNonExtendedMultiSelect) {
  auto* list = new TListBox(form);
  list->SetBounds(10, 10, 150, 134);
  list->SetItemHeight(13);
  list->SetParent(form);
  Show();
  EXPECT_EQ(list->Perform(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("beta")), 0);
  EXPECT_EQ(list->Perform(LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("alpha")), 0);
  EXPECT_EQ(list->Perform(LB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(list->Perform(LB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("BE")), 1);
  EXPECT_EQ(list->Perform(LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("bet")), LB_ERR);
  EXPECT_EQ(list->Perform(LB_SETCURSEL, 1, 0), 1);
  EXPECT_EQ(list->Perform(LB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(list->Perform(LB_SETCURSEL, 7, 0), LB_ERR);
  EXPECT_EQ(list->ItemIndex(), -1);
  list->Perform(LB_SETITEMDATA, 0, 77);
  EXPECT_EQ(list->Perform(LB_GETITEMDATA, 0, 0), 77);
  EXPECT_EQ(list->Perform(LB_DELETESTRING, 0, 0), 1);
  // Without extended selection every click toggles one item.
  list->SetMultiSelect(true);
  list->ExtendedSelect = false;
  list->Items()->Add("gamma");
  Click(40, 12 + 6);
  Click(40, 12 + 13 + 6);
  EXPECT_EQ(list->SelCount(), 2);
  Click(40, 12 + 6);
  EXPECT_EQ(list->SelCount(), 1);
  EXPECT_EQ(list->Perform(LB_SETSEL, TRUE, static_cast<LPARAM>(-1)), LB_OKAY);
  EXPECT_EQ(list->SelCount(), 2);
  list->Perform(LB_RESETCONTENT, 0, 0);
  EXPECT_EQ(list->SelCount(), 0);
}

TEST_F(ControlTest, OwnerDrawnListAndComboItems) {
  auto* list = new TListBox(form);
  list->SetBounds(10, 10, 100, 60);
  list->SetStyle(lbOwnerDrawFixed);
  list->SetParent(form);
  std::vector<int> drawn;
  list->OnDrawItem = [&](TWinControl*, int index, TRect r, TOwnerDrawState st) {
    drawn.push_back(index);
    list->Canvas()->Brush()->SetColor(st.Contains(odSelected) ? clLime : clYellow);
    list->Canvas()->FillRect(r);
  };
  for (int i = 0; i < 100; ++i) list->Items()->Add("x");
  list->SetItemIndex(0);
  Show();
  // Only the rows in view are drawn.
  EXPECT_LE(drawn.size(), 6u);
  EXPECT_GT(Count(TRect(12, 12, 90, 14), clLime), 50);
  EXPECT_GT(Count(TRect(12, 26, 90, 28), clYellow), 50);
}

TEST(ButtonGlyphLayout, PlacesGlyphAndCaptionTogether) {
  TPoint g;
  TRect t;
  TButtonGlyph::Layout(TRect(0, 0, 100, 30), 16, 16, 40, 13, blGlyphLeft, -1, 4, g, t);
  EXPECT_EQ(g, TPoint(20, 7));
  EXPECT_EQ(t, TRect(40, 8, 80, 21));
  TButtonGlyph::Layout(TRect(0, 0, 100, 30), 16, 16, 40, 13, blGlyphRight, 2, 4, g, t);
  EXPECT_EQ(g, TPoint(82, 7));
  EXPECT_EQ(t.Right, 78);
  TButtonGlyph::Layout(TRect(0, 0, 60, 60), 16, 16, 0, 0, blGlyphTop, -1, 4, g, t);
  EXPECT_EQ(g, TPoint(22, 22));  // no caption: no spacing either
}

TEST_F(ControlTest, DegenerateSizesEmptyRegionsAndDisabledParents) {
  // Controls of no size take paint, keys and clicks without harm.
  auto* edit = new TEdit(form);
  auto* list = new TListBox(form);
  auto* combo = new TComboBox(form);
  auto* panel = new TPanel(form);
  for (TControl* c : std::vector<TControl*>{edit, list, combo, panel}) {
    c->SetBounds(5, 5, 0, 0);
    c->SetParent(form);
  }
  list->Items()->Add("a");
  combo->Items()->Add("a");
  Show();
  edit->SetFocus();
  Type("abc");
  EXPECT_EQ(edit->Text(), "abc");
  list->SetFocus();
  Key(VK_DOWN);
  combo->SetFocus();
  Key(VK_F4);
  Key(VK_RETURN);  // nothing is hot in the list yet
  EXPECT_EQ(combo->ItemIndex(), -1);
  Key(VK_F4);
  Key(VK_DOWN);
  Key(VK_RETURN);
  EXPECT_EQ(combo->ItemIndex(), 0);
  // An empty window region: the form keeps working and painting.
  SetWindowRgn(form->Handle(), CreateRectRgn(0, 0, 0, 0), TRUE);
  edit->SetBounds(5, 5, 100, 21);
  Pump();
  Click(90, 10);
  Type("d");
  EXPECT_EQ(edit->Text(), "abcd");
  // Controls in a disabled panel take no input.
  auto* box = new TPanel(form);
  box->SetBounds(150, 10, 120, 60);
  box->SetParent(form);
  auto* check = new TCheckBox(form);
  check->SetBounds(5, 5, 100, 17);
  check->SetParent(box);
  box->SetEnabled(false);
  Click(165, 22);
  EXPECT_FALSE(check->Checked());
  box->SetEnabled(true);
  Click(165, 22);
  EXPECT_TRUE(check->Checked());
}

TEST_F(ControlTest, MenuBarBreakDrawsABarBetweenColumnsAndRadioItemsDrawADot) {
  auto* menu = new TPopupMenu(form);
  auto* a = new TMenuItem(form);
  a->SetCaption("Left");
  auto* b = new TMenuItem(form);
  b->SetCaption("Right");
  b->SetBreak(mbBarBreak);
  b->SetRadioItem(true);
  b->SetChecked(true);
  menu->Items()->Add(a);
  menu->Items()->Add(b);
  Show();
  TCustomForm* shown = nullptr;
  TSurface s;
  HeadlessSetIdleHook([&] {
    for (int i = 0; i < Screen->FormCount() && !shown; ++i)
      if (Screen->Forms(i) != form && Screen->Forms(i)->Visible()) shown = Screen->Forms(i);
    if (!shown || s.Width) return false;
    Application->ProcessMessages();
    HeadlessCapture(shown->Handle(), s);
    HeadlessKey(form, VK_ESCAPE);
    return true;
  });
  menu->Popup(20, 20);
  HeadlessSetIdleHook(nullptr);
  ASSERT_GT(s.Width, 0);
  // A column of shadow pixels somewhere between the two columns.
  int barColumns = 0;
  for (int x = 10; x < s.Width - 10; ++x) {
    int shadow = 0;
    for (int y = 3; y < s.Height - 3; ++y) shadow += PixelToColorRef(s.At(x, y)) == static_cast<COLORREF>(ColorToRGB(clBtnShadow));
    if (shadow == s.Height - 6) ++barColumns;
  }
  EXPECT_EQ(barColumns, 1);
  int dot = 0;
  for (int y = 3; y < s.Height - 3; ++y)
    for (int x = s.Width / 2; x < s.Width - 3; ++x) dot += PixelToColorRef(s.At(x, y)) == static_cast<COLORREF>(ColorToRGB(clMenuText));
  EXPECT_GT(dot, 10);  // caption and the radio dot
}

}  // namespace
