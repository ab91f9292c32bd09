// The bordered family: the two one-pixel frames, their colour from the theme and
// the container walk, and the standard behaviour underneath (a large multi-select
// list driven by mouse, Shift and Ctrl).
#include <string>

#include <vcl/extctrls.h>

#include "suichecklistbox.h"
#include "suiedit.h"
#include "suilistbox.h"
#include "suilistview.h"
#include "suimemo.h"
#include "suitreeview.h"
#include "themed_harness.h"

namespace {

class Bordered : public ThemedTest {
 protected:
  template <class T>
  T* Make(int x, int y, int w, int h) {
    auto* c = new T(form);
    c->SetParent(form);
    c->SetBounds(x, y, w, h);
    return c;
  }
  // Outer ring in `outer`, the ring inside it in `inner`, for a control at (x, y).
  void ExpectFrames(TControl* c, TColor outer, TColor inner) {
    TPoint p = At(c);
    int r = p.X + c->Width() - 1, b = p.Y + c->Height() - 1;
    for (TPoint q : {TPoint(p.X, p.Y), TPoint(r, p.Y), TPoint(p.X, b), TPoint(r, b), TPoint((p.X + r) / 2, p.Y),
                     TPoint(p.X, (p.Y + b) / 2)})
      EXPECT_EQ(Pixel(q.X, q.Y), ColorToRGB(outer)) << c->ClassName() << " outer " << q.X << "," << q.Y;
    for (TPoint q : {TPoint(p.X + 1, p.Y + 1), TPoint(r - 1, p.Y + 1), TPoint(p.X + 1, b - 1), TPoint(r - 1, b - 1)})
      EXPECT_EQ(Pixel(q.X, q.Y), ColorToRGB(inner)) << c->ClassName() << " inner " << q.X << "," << q.Y;
  }
};

TEST_F(Bordered, EachMemberStartsFlatWithABlackFrame) {
  auto* edit = Make<TsuiEdit>(5, 5, 100, 21);
  auto* list = Make<TsuiListBox>(5, 30, 100, 60);
  auto* memo = Make<TsuiMemo>(110, 5, 100, 60);
  auto* checks = Make<TsuiCheckListBox>(110, 70, 100, 60);
  auto* view = Make<TsuiListView>(5, 140, 100, 60);
  auto* tree = Make<TsuiTreeView>(110, 140, 100, 60);
  for (TWinControl* c : {static_cast<TWinControl*>(edit), static_cast<TWinControl*>(list),
                         static_cast<TWinControl*>(memo), static_cast<TWinControl*>(view),
                         static_cast<TWinControl*>(tree)}) {
    EXPECT_EQ(c->BorderWidth(), 2) << c->ClassName();
    EXPECT_TRUE(c->ControlStyle() & csOpaque) << c->ClassName();
  }
  EXPECT_EQ(edit->BorderStyle(), bsNone);
  EXPECT_EQ(list->BorderStyle(), bsNone);
  EXPECT_EQ(edit->BorderColor(), clBlack);
  EXPECT_TRUE(checks->Flat());
  edit->SetText("Text");
  list->Items()->Add("One");
  memo->Lines()->Add("Line");
  checks->Items()->Add("Check");
  view->Items()->Add()->Caption = "Row";
  tree->Items()->Add(nullptr, "Node");
  Show();
  for (TControl* c : {static_cast<TControl*>(edit), static_cast<TControl*>(list), static_cast<TControl*>(memo),
                      static_cast<TControl*>(checks), static_cast<TControl*>(view), static_cast<TControl*>(tree)})
    ExpectFrames(c, clBlack, c->Color());
}

TEST_F(Bordered, FramesStayAfterItemsSelectionAndScrolling) {
  auto* list = Make<TsuiListBox>(10, 10, 217, 163);
  list->SetItemHeight(13);
  list->SetMultiSelect(true);
  Show();
  for (int i = 0; i < 40; ++i) list->Items()->Add("Chapter " + std::to_string(i + 1));
  list->SetSelected(3, true);
  list->SetTopIndex(20);
  ExpectFrames(list, clBlack, list->Color());
  list->SetBorderColor(clRed);
  ExpectFrames(list, clRed, list->Color());
  list->SetColor(clYellow);
  ExpectFrames(list, clRed, clYellow);
}

TEST_F(Bordered, ContainerWalkSetsTheThemeBorderColour) {
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  panel->SetBounds(0, 0, 300, 200);
  auto* list = new TsuiListBox(form);
  list->SetParent(panel);
  list->SetBorderColor(clRed);
  auto* edit = new TsuiEdit(form);
  edit->SetParent(panel);
  auto* memo = new TsuiMemo(form);
  memo->SetParent(panel);
  auto* checks = new TsuiCheckListBox(form);
  checks->SetParent(panel);
  auto* view = new TsuiListView(form);
  view->SetParent(panel);
  auto* tree = new TsuiTreeView(form);
  tree->SetParent(panel);
  ContainerApplyUIStyle(panel, TsuiUIStyle::WinXP);
  EXPECT_EQ(list->BorderColor(), 0x686868);
  EXPECT_EQ(edit->BorderColor(), 0x686868);
  EXPECT_EQ(memo->BorderColor(), 0x686868);
  EXPECT_EQ(checks->BorderColor(), 0x686868);
  EXPECT_EQ(view->BorderColor(), 0x686868);
  EXPECT_EQ(tree->BorderColor(), 0x686868);
  ContainerApplyUIStyle(panel, TsuiUIStyle::MacOS);
  EXPECT_EQ(list->BorderColor(), 0x7F7F7F);
}

TEST_F(Bordered, CheckListBoxPinsItsBorder) {
  auto* checks = Make<TsuiCheckListBox>(10, 10, 120, 80);
  EXPECT_EQ(checks->BorderWidth(), 1);
  EXPECT_EQ(checks->BorderStyle(), bsSingle);
  checks->SetBorderWidth(5);
  EXPECT_EQ(checks->BorderWidth(), 1);
  EXPECT_EQ(checks->TWinControl::BorderWidth(), 1);
  checks->SetBorderStyle(bsSingle);
  EXPECT_EQ(checks->BorderStyle(), bsSingle);
  EXPECT_EQ(checks->TCheckListBox::BorderStyle(), bsNone);
  checks->Items()->Add("First");
  checks->Items()->Add("Second");
  Show();
  ExpectFrames(checks, clBlack, checks->Color());
  // The boxes still work under the frame.
  Click(10 + 1 + 2 + 6, 10 + 1 + 6);
  EXPECT_TRUE(checks->Checked(0));
}

TEST_F(Bordered, FiveThousandItemsWithMouseShiftAndCtrl) {
  auto* list = Make<TsuiListBox>(10, 10, 217, 163);
  list->SetItemHeight(13);
  list->SetMultiSelect(true);
  for (int i = 0; i < 5000; ++i) list->Items()->Add("Chapter " + std::to_string(i + 1));
  Show();
  auto rowY = [&](int index) { return 10 + 2 + (index - list->TopIndex()) * 13 + 6; };
  Click(60, rowY(2));
  EXPECT_EQ(list->ItemIndex(), 2);
  EXPECT_EQ(list->SelCount(), 1);
  Click(60, rowY(8), BackendShift);
  EXPECT_EQ(list->SelCount(), 7);
  EXPECT_TRUE(list->Selected(2));
  EXPECT_TRUE(list->Selected(8));
  Click(60, rowY(5), BackendCtrl);
  EXPECT_FALSE(list->Selected(5));
  EXPECT_EQ(list->SelCount(), 6);
  // Arrow keys move the focus; with Shift they extend from the anchor.
  Key(VK_DOWN);
  EXPECT_EQ(list->ItemIndex(), 6);
  EXPECT_EQ(list->SelCount(), 1);
  Key(VK_DOWN, BackendShift);
  Key(VK_DOWN, BackendShift);
  EXPECT_EQ(list->ItemIndex(), 8);
  EXPECT_EQ(list->SelCount(), 3);
  Key(VK_UP);
  EXPECT_EQ(list->ItemIndex(), 7);
  EXPECT_EQ(list->SelCount(), 1);
  // Far down the list: the keyboard and the mouse reach the last items.
  Key(VK_END);
  EXPECT_EQ(list->ItemIndex(), 4999);
  EXPECT_GT(list->TopIndex(), 4980);
  Click(60, rowY(4995), BackendShift);
  EXPECT_EQ(list->ItemIndex(), 4995);
  EXPECT_TRUE(list->Selected(4995));
  Click(60, rowY(4990));
  EXPECT_EQ(list->SelCount(), 1);
  EXPECT_TRUE(list->Selected(4990));
  list->SelectAll();
  EXPECT_EQ(list->SelCount(), 5000);
  ExpectFrames(list, clBlack, list->Color());
}

TEST_F(Bordered, EditAndMemoTakeTyping) {
  auto* edit = Make<TsuiEdit>(10, 10, 120, 21);
  auto* memo = Make<TsuiMemo>(10, 40, 120, 80);
  Show();
  Click(40, 20);
  Type("abc");
  EXPECT_EQ(edit->Text(), "abc");
  Click(40, 60);
  Type("one");
  Key(VK_RETURN);
  Type("two");
  EXPECT_EQ(memo->Lines()->Count(), 2);
  EXPECT_EQ(memo->Lines()->Get(1), "two");
  ExpectFrames(edit, clBlack, edit->Color());
  ExpectFrames(memo, clBlack, memo->Color());
}

TEST_F(Bordered, ViewsTakeClicksAndKeysInsideTheFrame) {
  auto* view = Make<TsuiListView>(10, 10, 150, 100);
  auto* tree = Make<TsuiTreeView>(170, 10, 140, 100);
  for (const char* s : {"Title 1", "Title 2", "Title 3"}) view->Items()->Add()->Caption = s;
  TTreeNode* disc = tree->Items()->Add(nullptr, "Disc");
  tree->Items()->AddChild(disc, "Title 1");
  tree->Items()->AddChild(disc, "Title 2");
  disc->Expand(false);
  Show();
  // The first row starts right inside the two-pixel frame.
  Click(60, 10 + 2 + 3);
  EXPECT_EQ(view->ItemIndex(), 0);
  Key(VK_DOWN);
  Key(VK_DOWN);
  EXPECT_EQ(view->ItemIndex(), 2);
  Click(240, 10 + 2 + 3);
  EXPECT_EQ(tree->Selected(), disc);
  Key(VK_DOWN);
  EXPECT_EQ(tree->Selected(), disc->Item(0));
  ExpectFrames(view, clBlack, view->Color());
  ExpectFrames(tree, clBlack, tree->Color());
}

}  // namespace
