#include <vcl/checklst.h>

#include "ctlpaint.h"

namespace {
constexpr int kBoxArea = 16;
}

TCheckListBox::TCheckListBox(TComponent* owner) : TCustomListBox(owner) {}

TCheckBoxState TCheckListBox::State(int index) const {
  ctl::CheckIndex(index, Count());
  return states_[index].state;
}

void TCheckListBox::SetState(int index, TCheckBoxState v) {
  ctl::CheckIndex(index, Count());
  states_[index].state = v;
  Invalidate();
}

bool TCheckListBox::ItemEnabled(int index) const {
  ctl::CheckIndex(index, Count());
  return states_[index].enabled;
}

void TCheckListBox::SetItemEnabled(int index, bool v) {
  ctl::CheckIndex(index, Count());
  states_[index].enabled = v;
  Invalidate();
}

void TCheckListBox::SetFlat(bool v) {
  flat_ = v;
  Invalidate();
}

void TCheckListBox::ItemInserted(int index) {
  states_.insert(states_.begin() + index, ItemState{});
  TCustomListBox::ItemInserted(index);
}

void TCheckListBox::ItemDeleted(int index) {
  states_.erase(states_.begin() + index);
  TCustomListBox::ItemDeleted(index);
}

void TCheckListBox::ItemsCleared() {
  states_.clear();
  TCustomListBox::ItemsCleared();
}

void TCheckListBox::Toggle(int index) {
  if (index < 0 || index >= Count() || !states_[index].enabled || !Enabled()) return;
  TCheckBoxState& s = states_[index].state;
  s = s == cbUnchecked ? cbChecked : (s == cbChecked && AllowGrayed) ? cbGrayed : cbUnchecked;
  Invalidate();
  if (OnClickCheck) OnClickCheck(this);
}

void TCheckListBox::DrawItem(int index, TRect rect, TOwnerDrawState state) {
  TCanvas* c = Canvas();
  ctl::Fill(c, TRect(rect.Left, rect.Top, rect.Left + kBoxArea, rect.Bottom), Color());
  bool enabled = Enabled() && states_[index].enabled;
  int x = rect.Left + 1, y = rect.Top + (rect.Height() - 13) / 2;
  ctl::CheckGlyph(c, x, y, states_[index].state, enabled, false);
  if (flat_) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(enabled ? clBtnShadow : clGrayText);
    c->FrameRect(TRect(x, y, x + 13, y + 13));
  }
  rect.Left += kBoxArea;
  if (!states_[index].enabled) state.Include(odDisabled);
  TCustomListBox::DrawItem(index, rect, state);
}

void TCheckListBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomListBox::MouseDown(button, shift, x, y);
  if (button != mbLeft || shift.Contains(ssDouble)) return;
  int i = ItemAtPos(TPoint(x, y), true);
  if (i >= 0 && x - ItemArea().Left < kBoxArea) Toggle(i);
}

void TCheckListBox::KeyPress(char& key) {
  if (key == ' ') {
    Toggle(ItemIndex());
    key = 0;
    return;
  }
  TCustomListBox::KeyPress(key);
}
