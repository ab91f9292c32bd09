#include "themed_scene.h"

#include <string>

#include <vcl/resources.h>

namespace {

template <class T>
T* Place(TForm* form, int x, int y, int w, int h) {
  auto* c = new T(form);
  c->SetParent(form);
  c->SetBounds(x, y, w, h);
  return c;
}

}  // namespace

void BuildThemedScene(TForm* form, TsuiUIStyle style, ThemedScene& s) {
  form->SetBorderStyle(bsNone);
  form->SetClientWidth(kThemedSceneWidth);
  form->SetClientHeight(kThemedSceneHeight);
  form->SetColor(clBtnFace);

  s.button = new TsuiButton(form);
  s.button->SetParent(form);
  s.button->SetUIStyle(style);
  std::string pic = GetThemeString(style, 23);
  int bw = 74, bh = 21;
  if (!pic.empty()) {
    std::unique_ptr<TBitmap> b = LoadBitmapResource(pic);
    bw = b->Width();
    bh = b->Height();
  }
  s.button->SetBounds(10, 10, bw, bh);
  s.button->SetCaption("OK");

  s.check = new TsuiCheckBox(form);
  s.check->SetParent(form);
  s.check->SetBounds(10, 45, 100, 17);
  s.check->SetUIStyle(style);
  s.check->SetChecked(true);
  s.check->SetCaption("Preview");

  s.radio = new TsuiRadioButton(form);
  s.radio->SetParent(form);
  s.radio->SetBounds(10, 70, 100, 17);
  s.radio->SetUIStyle(style);
  s.radio->SetChecked(true);
  s.radio->SetCaption("SVCD");

  s.combo = Place<TsuiComboBox>(form, 10, 95, 128, 21);
  s.combo->SetStyle(csDropDownList);
  s.combo->Items()->Add("4:3");
  s.combo->Items()->Add("16:9");
  s.combo->SetItemIndex(1);
  s.combo->SetUIStyle(style);

  s.progress = Place<TsuiProgressBar>(form, 10, 125, 244, 12);
  s.progress->SetUIStyle(style);
  s.progress->SetPosition(40);

  s.edit = Place<TsuiEdit>(form, 10, 145, 128, 21);
  s.edit->SetText("C:/Video");
  s.list = Place<TsuiListBox>(form, 10, 175, 128, 75);
  s.list->SetMultiSelect(true);
  for (int i = 1; i <= 8; ++i) s.list->Items()->Add("Chapter " + std::to_string(i));
  s.list->SetSelected(1, true);
  s.memo = Place<TsuiMemo>(form, 150, 145, 120, 50);
  s.memo->Lines()->Add("Memo");
  s.checks = Place<TsuiCheckListBox>(form, 150, 200, 120, 50);
  s.checks->Items()->Add("One");
  s.checks->Items()->Add("Two");
  s.checks->SetChecked(1, true);
  s.view = Place<TsuiListView>(form, 280, 10, 130, 110);
  s.view->Items()->Add()->Caption = "Row";
  s.tree = Place<TsuiTreeView>(form, 280, 130, 130, 120);
  TTreeNode* root = s.tree->Items()->Add(nullptr, "Disc");
  s.tree->Items()->AddChild(root, "Title 1");
  root->Expand(false);
  ContainerApplyUIStyle(form, style);
}

std::vector<TPoint> ThemedSceneClicks(const ThemedScene& s) {
  return {TPoint(s.check->Left() + 30, s.check->Top() + 8), TPoint(s.list->Left() + 30, s.list->Top() + 2 + 13 * 3 + 6),
          TPoint(s.button->Left() + 10, s.button->Top() + 5)};
}
