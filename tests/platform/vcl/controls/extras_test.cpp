// Labels, panels, bevels, images, bit and speed buttons, the check list box, the
// tool bar and the list and tree views.
#include <string>

#include <vcl/buttons.h>
#include <vcl/checklst.h>
#include <vcl/comctrls.h>
#include <vcl/extctrls.h>

#include "harness.h"

namespace {

TEST_F(ControlTest, LabelSizesToItsTextAndHandsItsAcceleratorOn) {
  auto* label = new TLabel(form);
  label->SetParent(form);
  label->SetBounds(10, 10, 5, 5);
  label->SetCaption("&File name:");
  int w = label->Width();
  EXPECT_GT(w, 30);
  EXPECT_GT(label->Height(), 8);
  label->SetCaption("&File name: longer");
  EXPECT_GT(label->Width(), w);
  auto* edit = new TEdit(form);
  edit->SetBounds(10, 40, 100, 21);
  edit->SetParent(form);
  auto* other = new TEdit(form);
  other->SetBounds(10, 70, 100, 21);
  other->SetParent(form);
  label->SetFocusControl(edit);
  Show();
  other->SetFocus();
  Key('F', BackendAlt);
  EXPECT_TRUE(edit->Focused());
  FreeComponent(edit);
  EXPECT_EQ(label->FocusControl(), nullptr);
  // A transparent label leaves the form's colour behind its text.
  label->SetTransparent(true);
  form->SetColor(clTeal);
  EXPECT_EQ(Pixel(label->Left() + label->Width() - 1, label->Top()), clTeal);
}

TEST_F(ControlTest, PanelBevelsAndChildrenInsideThem) {
  auto* panel = new TPanel(form);
  panel->SetBounds(10, 10, 100, 60);
  panel->SetBevelOuter(bvLowered);
  panel->SetBevelInner(bvRaised);
  panel->SetBevelWidth(2);
  panel->SetParent(form);
  auto* child = new TPanel(form);
  child->SetAlign(alClient);
  child->SetBevelOuter(bvNone);
  child->SetParent(panel);
  Show();
  EXPECT_EQ(child->BoundsRect(), TRect(4, 4, 96, 56));
  EXPECT_EQ(Pixel(10, 10), ColorToRGB(clBtnShadow));     // outer lowered: shadow at top-left
  EXPECT_EQ(Pixel(12, 12), ColorToRGB(clBtnHighlight));  // inner raised: highlight at top-left
  EXPECT_EQ(Pixel(109, 69), ColorToRGB(clBtnHighlight));
  auto* bevel = new TBevel(form);
  bevel->SetBounds(160, 52, 146, 2);
  bevel->SetShape(bsTopLine);
  bevel->SetParent(form);
  EXPECT_EQ(Pixel(200, 52), ColorToRGB(clBtnShadow));
  EXPECT_EQ(Pixel(200, 53), ColorToRGB(clBtnHighlight));
}

TEST_F(ControlTest, ImageTakesThePicturesSizeAndStretches) {
  auto* image = new TImage(form);
  image->SetParent(form);
  image->SetAutoSize(true);
  TBitmap pic(30, 20);
  pic.Canvas()->Brush()->SetColor(clRed);
  pic.Canvas()->FillRect(TRect(0, 0, 30, 20));
  image->Picture()->SetBitmap(&pic);
  EXPECT_EQ(image->Width(), 30);
  EXPECT_EQ(image->Height(), 20);
  Show();
  EXPECT_EQ(Count(TRect(0, 0, 40, 40), clRed), 600);
  image->SetAutoSize(false);
  image->SetBounds(0, 0, 60, 40);
  image->SetStretch(true);
  EXPECT_EQ(Count(TRect(0, 0, 80, 80), clRed), 2400);
  // An empty picture draws nothing and keeps the size.
  image->Picture()->SetGraphic(nullptr);
  EXPECT_EQ(Count(TRect(0, 0, 80, 80), clRed), 0);
  EXPECT_EQ(image->Width(), 60);
}

TEST_F(ControlTest, SpeedButtonGroupsAndBitButtonKinds) {
  TSpeedButton* b[3];
  int clicks = 0;
  for (int i = 0; i < 3; ++i) {
    b[i] = new TSpeedButton(form);
    b[i]->SetBounds(10 + 30 * i, 10, 23, 22);
    b[i]->SetGroupIndex(1);
    b[i]->SetParent(form);
    b[i]->OnClick = [&](TObject*) { ++clicks; };
  }
  Show();
  Click(20, 20);
  EXPECT_TRUE(b[0]->Down());
  Click(50, 20);
  EXPECT_FALSE(b[0]->Down());
  EXPECT_TRUE(b[1]->Down());
  Click(50, 20);  // without AllowAllUp a down button stays down
  EXPECT_TRUE(b[1]->Down());
  b[1]->SetAllowAllUp(true);
  Click(50, 20);
  EXPECT_FALSE(b[1]->Down());
  EXPECT_EQ(clicks, 4);
  // Flat: no frame until the mouse is over it.
  b[2]->SetFlat(true);
  b[2]->SetGroupIndex(0);
  EXPECT_EQ(Pixel(70, 10), ColorToRGB(clBtnFace));
  HeadlessMouseMove(form, 80, 20);
  EXPECT_EQ(Pixel(70, 10), ColorToRGB(clBtnHighlight));

  auto* cancel = new TBitBtn(form);
  cancel->SetKind(bkCancel);
  cancel->SetBounds(10, 60, 75, 25);
  cancel->SetParent(form);
  EXPECT_EQ(cancel->Caption(), "Cancel");
  EXPECT_EQ(cancel->ModalResult(), mrCancel);
  EXPECT_TRUE(cancel->Cancel());
  EXPECT_GT(Count(TRect(10, 60, 85, 85), clRed), 10);  // the stock glyph
  Key(VK_ESCAPE);
  EXPECT_EQ(form->ModalResult(), mrCancel);
}

TEST_F(ControlTest, GlyphStripFramesFollowTheButtonState) {
  // Two 10 by 10 frames: blue when up, lime when disabled; magenta is transparent.
  TBitmap strip(20, 10);
  TCanvas* c = strip.Canvas();
  c->Brush()->SetColor(clBlue);
  c->FillRect(TRect(0, 0, 10, 10));
  c->Brush()->SetColor(clLime);
  c->FillRect(TRect(10, 0, 20, 10));
  c->Brush()->SetColor(clFuchsia);
  c->FillRect(TRect(0, 9, 20, 10));
  auto* b = new TSpeedButton(form);
  b->SetBounds(10, 10, 30, 30);
  b->SetParent(form);
  b->SetGlyph(&strip);
  EXPECT_EQ(b->NumGlyphs(), 2);
  Show();
  EXPECT_EQ(Count(TRect(10, 10, 40, 40), clBlue), 90);
  EXPECT_EQ(Count(TRect(10, 10, 40, 40), clFuchsia), 0);
  b->SetEnabled(false);
  EXPECT_EQ(Count(TRect(10, 10, 40, 40), clBlue), 0);
  EXPECT_EQ(Count(TRect(10, 10, 40, 40), clLime), 90);
  // An image aligned to fill its parent keeps the aligned size with AutoSize.
  auto* image = new TImage(form);
  image->SetAlign(alClient);
  image->SetParent(form);
  image->SetAutoSize(true);
  image->Picture()->SetBitmap(&strip);
  EXPECT_EQ(image->Width(), form->ClientWidth());
  EXPECT_EQ(image->Height(), form->ClientHeight());
}

TEST_F(ControlTest, CheckListBoxTogglesByBoxAndSpace) {
  auto* list = new TCheckListBox(form);
  list->SetBounds(10, 10, 150, 100);
  list->SetItemHeight(13);
  list->SetParent(form);
  for (const char* s : {"one", "two", "three"}) list->Items()->Add(s);
  int checks = 0;
  list->OnClickCheck = [&](TObject*) { ++checks; };
  Show();
  Click(14, 12 + 13 + 6);  // the box of item 1
  EXPECT_TRUE(list->Checked(1));
  Click(80, 12 + 6);  // the text of item 0 selects without checking
  EXPECT_FALSE(list->Checked(0));
  EXPECT_EQ(list->ItemIndex(), 0);
  Key(VK_SPACE);
  EXPECT_TRUE(list->Checked(0));
  list->SetItemEnabled(2, false);
  Click(14, 12 + 26 + 6);
  EXPECT_FALSE(list->Checked(2));
  EXPECT_EQ(checks, 2);
  list->Items()->Delete(0);
  EXPECT_TRUE(list->Checked(0));  // "two" moved up with its state
  EXPECT_THROW(list->Checked(5), EStringListError);
}

TEST_F(ControlTest, ToolBarCustomDrawAndMenuButtons) {
  auto* bar = new TToolBar(form);
  bar->SetParent(form);
  bar->SetFlat(true);
  bar->SetEdgeBorders({});
  bar->SetShowCaptions(true);
  bar->SetButtonHeight(22);
  auto* menu = new TMainMenu(form);
  std::string log;
  for (const char* caption : {"File", "Help"}) {
    auto* top = new TMenuItem(form);
    top->SetCaption(caption);
    auto* sub = new TMenuItem(form);
    sub->SetCaption(std::string(caption) + " item");
    sub->OnClick = [&log, caption](TObject*) { log += std::string(caption) + " item;"; };
    top->Add(sub);
    menu->Items()->Add(top);
  }
  // Buttons made from the last item to the first each go to the front.
  for (int i = menu->Items()->Count() - 1; i >= 0; --i) {
    auto* b = new TToolButton(form);
    b->SetParent(bar);
    b->Grouped = true;
    b->SetMenuItem(menu->Items()->Items(i));
    b->SetAutoSize(true);
  }
  ASSERT_EQ(bar->ButtonCount(), 2);
  EXPECT_EQ(bar->Buttons(0)->Caption(), "File");
  EXPECT_EQ(bar->Buttons(1)->Left(), bar->Buttons(0)->Width());
  std::vector<std::string> drawn;
  bar->OnCustomDrawButton = [&](TToolBar* sender, TToolButton* button, TCustomDrawState state, bool& dd) {
    drawn.push_back(button->Caption() + (state.Contains(cdsHot) ? "*" : ""));
    if (state.Contains(cdsHot)) {
      dd = false;
      sender->Canvas()->Brush()->SetColor(clRed);
      sender->Canvas()->FillRect(button->BoundsRect());
    }
  };
  Show();
  HeadlessMouseMove(form, bar->Buttons(1)->Left() + 5, 10);
  Pump();
  EXPECT_EQ(drawn.back(), "Help*");
  EXPECT_EQ(Count(bar->Buttons(1)->BoundsRect(), clRed), bar->Buttons(1)->Width() * 22);
  // Pressing a button drops its item's submenu below it; choosing runs the item.
  int step = 0;
  HeadlessSetIdleHook([&] {
    if (step > 0) return false;
    for (int i = 0; i < Screen->FormCount(); ++i) {
      TCustomForm* f = Screen->Forms(i);
      if (f == form || !f->Visible()) continue;
      ++step;
      EXPECT_EQ(f->Top(), form->Top() + 22);
      HeadlessMouseMove(f, 20, 12);
      HeadlessClick(f, 20, 12);
      return true;
    }
    return false;
  });
  HeadlessMouseDown(form, bar->Buttons(1)->Left() + 5, 10);
  Pump();
  HeadlessMouseUp(form, bar->Buttons(1)->Left() + 5, 10);
  Pump();
  EXPECT_EQ(log, "Help item;");
  // Freeing the menu item leaves the button without it.
  FreeComponent(menu);
  EXPECT_EQ(bar->Buttons(0)->MenuItem(), nullptr);
}

TEST_F(ControlTest, ListAndTreeViewsSelectAndKeepBorders) {
  auto* lv = new TListView(form);
  lv->SetBounds(10, 10, 120, 100);
  lv->SetParent(form);
  for (const char* s : {"a", "b", "c"}) lv->Items()->Add()->Caption = s;
  auto* tv = new TTreeView(form);
  tv->SetBounds(150, 10, 150, 150);
  tv->SetParent(form);
  TTreeNode* root = tv->Items()->AddChild(nullptr, "root");
  TTreeNode* kid = tv->Items()->AddChild(root, "kid");
  tv->Items()->AddChild(kid, "grandkid");
  Show();
  lv->SetFocus();
  Key(VK_DOWN);
  Key(VK_DOWN);
  ASSERT_NE(lv->Selected(), nullptr);
  EXPECT_EQ(lv->Selected()->Caption, "b");
  lv->Items()->Delete(1);
  EXPECT_EQ(lv->Selected(), nullptr);
  lv->SetBorderStyle(bsNone);
  EXPECT_EQ(Pixel(10, 10), ColorToRGB(clWindow));
  EXPECT_EQ(tv->VisibleNodes().size(), 1u);
  tv->SetFocus();
  Key(VK_DOWN);
  EXPECT_EQ(tv->Selected(), root);
  Key(VK_RIGHT);
  EXPECT_EQ(tv->VisibleNodes().size(), 2u);
  tv->SetSelected(tv->Items()->Root(0)->Item(0)->Item(0));
  EXPECT_EQ(tv->VisibleNodes().size(), 3u);
  root->Collapse(false);
  EXPECT_EQ(tv->Selected(), root);
  tv->Items()->Delete(root);
  EXPECT_EQ(tv->Selected(), nullptr);
  EXPECT_EQ(tv->Items()->Count(), 0);
  Key(VK_DOWN);
}

}  // namespace
