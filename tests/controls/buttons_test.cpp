// Themed push buttons, check boxes and radio buttons driven by injected input on
// the headless backend: pictures per state, clicks and their events, groups.
#include <vector>

#include <vcl/extctrls.h>

#include "suibutton.h"
#include "themed_harness.h"

namespace {

class ThemedButtons : public ThemedTest {};

TsuiCheckBox* NewCheckBox(TWinControl* parent, int x, int y, TsuiUIStyle style = TsuiUIStyle::DeepBlue) {
  auto* c = new TsuiCheckBox(parent);
  c->SetParent(parent);
  c->SetLeft(x);
  c->SetTop(y);
  c->SetUIStyle(style);
  return c;
}

TsuiRadioButton* NewRadio(TWinControl* parent, int x, int y, int group = 0) {
  auto* r = new TsuiRadioButton(parent);
  r->SetParent(parent);
  r->SetBounds(x, y, 93, 17);
  r->SetGroupIndex(group);
  return r;
}

TEST_F(ThemedButtons, CheckBoxDefaultsAndItsPictureForEachState) {
  TsuiCheckBox* box = NewCheckBox(form, 10, 10);
  EXPECT_EQ(box->Caption(), "suiCheckBox");
  EXPECT_EQ(box->Width(), 93);
  EXPECT_EQ(box->Height(), 17);
  EXPECT_FALSE(box->Checked());
  EXPECT_TRUE(box->TabStop());
  EXPECT_FALSE(box->Transparent());
  EXPECT_FALSE(box->PicTransparent());
  Show();
  // The 13 by 13 picture sits at x 1, centred in the 17-pixel height.
  EXPECT_EQ(PictureMismatches(11, 12, "DEEPBLUE_CHECKBOX_UNCHECK"), 0);
  box->SetChecked(true);
  EXPECT_EQ(PictureMismatches(11, 12, "DEEPBLUE_CHECKBOX_CHECK"), 0);
  box->SetEnabled(false);
  EXPECT_EQ(box->GetPicNormal(), "DEEPBLUE_CHECKBOX_DISABLE_CHECK");
  EXPECT_EQ(PictureMismatches(11, 12, "DEEPBLUE_CHECKBOX_DISABLE_CHECK"), 0);
  box->SetChecked(false);
  EXPECT_EQ(PictureMismatches(11, 12, "DEEPBLUE_CHECKBOX_DISABLE_UNCHECK"), 0);
  // A disabled caption is grey.
  EXPECT_GT(Count(TRect(26, 10, 103, 27), clGray), 5);
}

TEST_F(ThemedButtons, TransparentCheckBoxShowsWhatLiesUnderIt) {
  form->SetColor(clYellow);
  TsuiCheckBox* box = NewCheckBox(form, 10, 10);
  box->SetParentColor(false);
  box->SetColor(clRed);
  box->SetCaption("");
  Show();
  EXPECT_EQ(Pixel(80, 15), clRed);
  box->SetTransparent(true);
  EXPECT_FALSE(box->PicTransparent());  // check-box pictures stay plain
  EXPECT_EQ(Pixel(80, 15), clYellow);
  EXPECT_EQ(PictureMismatches(11, 12, "DEEPBLUE_CHECKBOX_UNCHECK"), 0);
}

TEST_F(ThemedButtons, WinXpMouseOverAndPressedPictures) {
  TsuiCheckBox* box = NewCheckBox(form, 10, 10, TsuiUIStyle::WinXP);
  Show();
  EXPECT_EQ(PictureMismatches(11, 12, "WINXP_CHECKBOX_NORMAL_UNCHECK"), 0);
  MouseMove(50, 18);
  EXPECT_TRUE(box->MouseOver());
  EXPECT_EQ(PictureMismatches(11, 12, "WINXP_CHECKBOX_MOUSEON_UNCHECK"), 0);
  MouseDown(50, 18);
  EXPECT_TRUE(box->Pressed());
  EXPECT_EQ(PictureMismatches(11, 12, "WINXP_CHECKBOX_MOUSEDOWN_UNCHECK"), 0);
  MouseUp(50, 18);
  EXPECT_TRUE(box->Checked());
  EXPECT_EQ(PictureMismatches(11, 12, "WINXP_CHECKBOX_MOUSEON_CHECK"), 0);
  MouseMove(200, 200);
  EXPECT_FALSE(box->MouseOver());
  EXPECT_EQ(PictureMismatches(11, 12, "WINXP_CHECKBOX_NORMAL_CHECK"), 0);
}

TEST_F(ThemedButtons, ClickPathsAndTheStateTheirOnClickSees) {
  TsuiCheckBox* box = NewCheckBox(form, 10, 10);
  box->SetCaption("&Force24");
  std::vector<bool> seen;
  box->OnClick = [&](TObject*) { seen.push_back(box->Checked()); };
  Show();
  // Mouse: the new state.
  Click(50, 18);
  EXPECT_TRUE(box->Checked());
  EXPECT_TRUE(box->Focused());
  // Space and Enter while focused: the new state again.
  Key(VK_SPACE);
  EXPECT_FALSE(box->Checked());
  Key(VK_RETURN);
  EXPECT_TRUE(box->Checked());
  // The right button toggles without OnClick.
  HeadlessClick(form, 50, 18, BackendRight);
  Pump();
  EXPECT_FALSE(box->Checked());
  EXPECT_EQ(seen, (std::vector<bool>{true, false, true}));
  // The accelerator: OnClick comes first and sees the old state.
  TMessage m{CM_DIALOGCHAR, 'f', 0, 0};
  form->Broadcast(m);
  EXPECT_EQ(m.Result, 1);
  EXPECT_TRUE(box->Checked());
  EXPECT_EQ(seen, (std::vector<bool>{true, false, true, false}));
  // A disabled box ignores all of them.
  box->SetEnabled(false);
  Click(50, 18);
  TMessage again{CM_DIALOGCHAR, 'f', 0, 0};
  form->Broadcast(again);
  EXPECT_EQ(again.Result, 0);
  EXPECT_EQ(seen.size(), 4u);
}

TEST_F(ThemedButtons, FocusRectangleAroundTheCaptionOnceFocused) {
  TsuiCheckBox* other = NewCheckBox(form, 10, 40);
  TsuiCheckBox* box = NewCheckBox(form, 10, 10);
  Show();
  other->SetFocus();
  Pump();
  TColor face = Pixel(100, 26);
  // Nothing dotted left of the caption while unfocused.
  EXPECT_EQ(Count(TRect(26, 12, 27, 27), face), 15);
  box->SetFocus();
  Pump();
  EXPECT_LT(Count(TRect(26, 12, 27, 27), face), 15);
  // The caption paints after the focus mark and puts its rectangle back.
  EXPECT_EQ(box->CaptionRect().Left, 13 + 4);
}

TEST_F(ThemedButtons, FocusMarkDoesNotCreepOnceTheCaptionIsBlank) {
  TsuiCheckBox* box = NewCheckBox(form, 100, 10);
  Show();
  box->SetFocus();
  Pump();
  box->SetCaption("");
  for (int i = 0; i < 30; ++i) box->Repaint();
  // Nothing dotted over the picture or left of it.
  EXPECT_EQ(PictureMismatches(101, 12, "DEEPBLUE_CHECKBOX_UNCHECK"), 0);
  EXPECT_EQ(Count(TRect(80, 10, 101, 27), Pixel(90, 30)), 21 * 17);
}

TEST_F(ThemedButtons, AutoSizeTakesPictureAndCaption) {
  TsuiCheckBox* box = NewCheckBox(form, 10, 10);
  box->SetAutoSize(true);
  TCanvas* c = box->Canvas();
  c->SetFont(box->Font());
  EXPECT_EQ(box->ClientHeight(), 17);
  EXPECT_EQ(box->ClientWidth(), 13 + c->TextWidth("suiCheckBox") + 8);
  box->SetCaption("A much longer caption");
  EXPECT_EQ(box->ClientWidth(), 13 + c->TextWidth("A much longer caption") + 8);
}

TEST_F(ThemedButtons, CustomStyleHasNoPicturesAndPaintsTheEmptyOne) {
  TsuiCheckBox* box = NewCheckBox(form, 10, 10, TsuiUIStyle::Custom);
  box->SetAutoSize(false);
  box->SetBounds(10, 10, 93, 17);
  EXPECT_EQ(box->GetPicNormal(), "");
  Show();
  // The empty 74 by 21 picture is white; painting goes on.
  EXPECT_EQ(Pixel(12, 20), clWhite);
  TsuiCheckBox* styled = NewCheckBox(form, 10, 40, TsuiUIStyle::MacOS);
  EXPECT_TRUE(styled->Transparent());
  styled->SetUIStyle(TsuiUIStyle::Custom);
  EXPECT_TRUE(styled->Transparent());  // Custom leaves it as it was
}

TEST_F(ThemedButtons, RadioGroupsArePerParentAndGroupIndex) {
  auto* left = new TPanel(form);
  left->SetParent(form);
  left->SetBounds(0, 0, 150, 200);
  auto* right = new TPanel(form);
  right->SetParent(form);
  right->SetBounds(160, 0, 150, 200);
  TsuiRadioButton* a = NewRadio(left, 5, 5);
  // Controls of other classes in the same parent are passed over.
  TsuiCheckBox* box = NewCheckBox(left, 5, 25);
  auto* plain = new TButton(left);
  plain->SetParent(left);
  plain->SetBounds(5, 45, 60, 20);
  TsuiRadioButton* b = NewRadio(left, 5, 70);
  TsuiRadioButton* other = NewRadio(left, 5, 90, 1);
  TsuiRadioButton* far = NewRadio(right, 5, 5);
  EXPECT_EQ(a->Caption(), "suiRadioButton");
  EXPECT_TRUE(a->PicTransparent());
  box->SetChecked(true);
  other->SetChecked(true);
  far->SetChecked(true);
  a->SetChecked(true);
  b->SetChecked(true);
  EXPECT_FALSE(a->Checked());
  EXPECT_TRUE(b->Checked());
  EXPECT_TRUE(box->Checked());
  EXPECT_TRUE(other->Checked());
  EXPECT_TRUE(far->Checked());
  // A click on a checked radio button changes nothing; on another it moves the check.
  Show();
  int clicks = 0;
  b->OnClick = [&](TObject*) { ++clicks; };
  TPoint pb = At(b);
  Click(pb.X + 40, pb.Y + 8);
  EXPECT_TRUE(b->Checked());
  EXPECT_EQ(clicks, 1);
  TPoint pa = At(a);
  Click(pa.X + 40, pa.Y + 8);
  EXPECT_TRUE(a->Checked());
  EXPECT_FALSE(b->Checked());
  EXPECT_TRUE(far->Checked());
}

TEST_F(ThemedButtons, ALargeGroupLeavesExactlyOneChecked) {
  std::vector<TsuiRadioButton*> radios;
  for (int i = 0; i < 60; ++i) radios.push_back(NewRadio(form, (i % 3) * 100, (i / 3) * 11));
  for (TsuiRadioButton* r : radios) r->SetChecked(true);
  radios[17]->SetChecked(true);
  int checked = 0;
  for (TsuiRadioButton* r : radios) checked += r->Checked();
  EXPECT_EQ(checked, 1);
  EXPECT_TRUE(radios[17]->Checked());
}

TEST_F(ThemedButtons, RadioPicturesAreMaskedByTheirCornerColour) {
  TsuiRadioButton* r = NewRadio(form, 10, 10);
  r->SetChecked(true);
  Show();
  EXPECT_EQ(PictureMismatches(11, 12, "DEEPBLUE_RADIOBUTTON_CHECK", true), 0);
  // The corner shows the control's colour, not the picture's key colour.
  EXPECT_EQ(Pixel(11, 12), ColorToRGB(r->Color()));
}

// --- TsuiButton ---------------------------------------------------------------------
TsuiButton* NewButton(TWinControl* parent, int x, int y, TsuiUIStyle style = TsuiUIStyle::DeepBlue) {
  auto* b = new TsuiButton(parent);
  b->SetParent(parent);
  b->SetLeft(x);
  b->SetTop(y);
  b->SetUIStyle(style);
  return b;
}

TEST_F(ThemedButtons, ButtonStatesShowTheThemePictures) {
  TsuiButton* b = NewButton(form, 10, 10);
  EXPECT_EQ(b->Width(), 80);
  EXPECT_EQ(b->Height(), 27);
  b->SetBounds(10, 10, 74, 21);  // the picture's own size: drawn unstretched
  Show();
  EXPECT_EQ(PictureMismatches(10, 10, "DEEPBLUE_BUTTON_NORMAL"), 0);
  MouseMove(40, 20);
  EXPECT_EQ(PictureMismatches(10, 10, "DEEPBLUE_BUTTON_MOUSEON"), 0);
  MouseDown(40, 20);
  EXPECT_EQ(PictureMismatches(10, 10, "DEEPBLUE_BUTTON_MOUSEDOWN"), 0);
  MouseUp(40, 20);
  EXPECT_EQ(PictureMismatches(10, 10, "DEEPBLUE_BUTTON_MOUSEON"), 0);
}

TEST_F(ThemedButtons, OneClickPerReleaseOverTheButton) {
  TsuiButton* b = NewButton(form, 10, 10);
  b->SetCaption("Go");
  b->SetModalResult(mrOk);
  int clicks = 0;
  b->OnClick = [&](TObject*) { ++clicks; };
  Show();
  Click(40, 20);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(b->MouseOver());
  EXPECT_EQ(form->ModalResult(), mrOk);
  form->SetModalResult(mrNone);
  // Pressed inside, released outside: moving out cleared the pressed flag.
  MouseDown(40, 20);
  MouseMove(200, 150);
  EXPECT_FALSE(b->Pressed());
  MouseUp(200, 150);
  EXPECT_EQ(clicks, 1);
  // Space and Enter while focused.
  b->SetFocus();
  Key(VK_SPACE);
  Key(VK_RETURN);
  EXPECT_EQ(clicks, 3);
  // The accelerator-less caption takes no dialog character.
  TMessage m{CM_DIALOGCHAR, 'g', 0, 0};
  b->Perform(m.Msg, m.WParam, m.LParam);
  EXPECT_EQ(clicks, 3);
}

TEST_F(ThemedButtons, DisabledCaptionIsEngraved) {
  TsuiButton* b = NewButton(form, 10, 10);
  b->SetBounds(10, 10, 120, 27);
  // Large upright strokes cover whole pixels: their colours are exact.
  b->Font()->SetHeight(-20);
  b->Font()->SetStyle({fsBold});
  b->SetCaption("HHH");
  b->SetEnabled(false);
  Show();
  EXPECT_GT(Count(TRect(10, 10, 130, 37), clWhite), 5);
  EXPECT_GT(Count(TRect(10, 10, 130, 37), clGray), 5);
}

TEST_F(ThemedButtons, MacOsKeepsItsHeightAndPictureNamesMakeCustom) {
  TsuiButton* mac = NewButton(form, 10, 10, TsuiUIStyle::MacOS);
  EXPECT_EQ(mac->Height(), 23);
  mac->SetHeight(40);
  EXPECT_EQ(mac->Height(), 23);
  mac->SetWidth(120);
  EXPECT_EQ(mac->Width(), 120);
  TsuiButton* glass = NewButton(form, 10, 50, TsuiUIStyle::BlueGlass);
  EXPECT_TRUE(glass->Transparent());
  TsuiButton* deep = NewButton(form, 10, 90);
  EXPECT_EQ(deep->GetPicNormal(), "");
  bool autoSize = deep->AutoSize();
  deep->SetPicNormal("DEEPBLUE_BUTTON_MOUSEON");
  EXPECT_EQ(deep->UIStyle(), TsuiUIStyle::Custom);
  EXPECT_FALSE(deep->Transparent());
  EXPECT_EQ(deep->AutoSize(), autoSize);
  EXPECT_EQ(deep->GetPicNormal(), "DEEPBLUE_BUTTON_MOUSEON");
}

TEST_F(ThemedButtons, MissingPictureIsAnEmpty74By21One) {
  TsuiButton* b = NewButton(form, 10, 10);
  b->SetPicNormal("NO_SUCH_PICTURE");
  b->SetAutoSize(true);
  EXPECT_EQ(b->Width(), 74);
  EXPECT_EQ(b->Height(), 21);
  Show();  // paints without raising
  EXPECT_EQ(Pixel(20, 20), clWhite);
}

TEST_F(ThemedButtons, GlyphBesideTheCaption) {
  TsuiButton* b = NewButton(form, 10, 10);
  b->SetBounds(10, 10, 120, 30);
  b->SetCaption("Open");
  TBitmap glyph(16, 16);
  glyph.Canvas()->Brush()->SetColor(clFuchsia);
  glyph.Canvas()->FillRect(TRect(0, 0, 16, 16));
  glyph.Canvas()->Brush()->SetColor(clRed);
  glyph.Canvas()->FillRect(TRect(4, 4, 12, 12));
  b->SetGlyph(&glyph);
  Show();
  TCanvas* c = b->Canvas();
  c->SetFont(b->Font());
  int tw = c->TextWidth("Open");
  int gx = (120 - (tw + 16 + 4)) / 2, gy = (30 - 16) / 2;
  EXPECT_EQ(b->CaptionPos().X, gx + 16 + 4);
  EXPECT_EQ(Pixel(10 + gx + 8, 10 + gy + 8), clRed);
  // The glyph's corner colour is its mask.
  EXPECT_NE(Pixel(10 + gx, 10 + gy), clFuchsia);
}

TEST_F(ThemedButtons, LinkedActionGivesCaptionStateAndTheClick) {
  TsuiButton* b = NewButton(form, 10, 10);
  auto* action = new TAction(form);
  action->SetCaption("Convert");
  int runs = 0, clicks = 0;
  action->OnExecute = [&](TObject*) { ++runs; };
  b->SetAction(action);
  EXPECT_EQ(b->Caption(), "Convert");
  Show();
  Click(40, 20);
  EXPECT_EQ(runs, 1);
  // The button's own handler wins over the action's.
  b->OnClick = [&](TObject*) { ++clicks; };
  Click(40, 20);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(clicks, 1);
  action->SetEnabled(false);
  EXPECT_FALSE(b->Enabled());
  action->SetCaption("Stop");
  EXPECT_EQ(b->Caption(), "Stop");
  // A freed action unlinks itself.
  FreeComponent(action);
  EXPECT_EQ(b->Action(), nullptr);
}

TEST_F(ThemedButtons, ImageButtonShowsItsNormalPictureInEveryState) {
  auto* b = new TsuiImageButton(form);
  b->SetParent(form);
  b->SetLeft(10);
  b->SetTop(10);
  TPicture pic;
  pic.Bitmap()->SetSize(30, 20);
  pic.Bitmap()->Canvas()->Brush()->SetColor(clTeal);
  pic.Bitmap()->Canvas()->FillRect(TRect(0, 0, 30, 20));
  b->SetPicNormal(&pic);
  EXPECT_TRUE(b->AutoSize());
  EXPECT_EQ(b->Width(), 30);
  EXPECT_EQ(b->Height(), 20);
  Show();
  EXPECT_EQ(Pixel(20, 20), clTeal);
  MouseMove(20, 20);
  MouseDown(20, 20);
  EXPECT_EQ(Pixel(20, 20), clTeal);
  MouseUp(20, 20);
}

}  // namespace
