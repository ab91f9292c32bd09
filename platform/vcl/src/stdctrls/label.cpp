// TControlItems and the label.
#include <algorithm>

#include <vcl/stdctrls.h>

#include "ctlpaint.h"

void TControlItems::Check(int index, bool allowEnd) const {
  ctl::CheckIndex(index, allowEnd ? Count() + 1 : Count());
}

std::string TControlItems::Get(int index) const {
  Check(index, false);
  return items_[index].text;
}

void TControlItems::Put(int index, const std::string& s) {
  Check(index, false);
  items_[index].text = s;
  if (listener_.changed) listener_.changed();
}

TObject* TControlItems::GetObject(int index) const {
  Check(index, false);
  return items_[index].obj;
}

void TControlItems::PutObject(int index, TObject* obj) {
  Check(index, false);
  items_[index].obj = obj;
}

void TControlItems::Insert(int index, const std::string& s) { InsertObject(index, s, nullptr); }

void TControlItems::InsertObject(int index, const std::string& s, TObject* obj) {
  Check(index, true);
  items_.insert(items_.begin() + index, Item{s, obj});
  if (listener_.inserted) listener_.inserted(index);
}

void TControlItems::Delete(int index) {
  Check(index, false);
  items_.erase(items_.begin() + index);
  if (listener_.deleted) listener_.deleted(index);
}

void TControlItems::Clear() {
  if (items_.empty()) return;
  items_.clear();
  if (listener_.cleared) listener_.cleared();
}

std::intptr_t TControlItems::Data(int index) const {
  return reinterpret_cast<std::intptr_t>(GetObject(index));
}

void TControlItems::SetData(int index, std::intptr_t data) {
  PutObject(index, reinterpret_cast<TObject*>(data));
}

// ---------------------------------------------------------------------------
TCustomLabel::TCustomLabel(TComponent* owner) : TGraphicControl(owner) {
  SetControlStyle(ControlStyle() | csOpaque | csReplicatable);
  SetBounds(Left(), Top(), 65, 17);
  SetAutoSize(true);
}

void TCustomLabel::SetAlignment(TAlignment v) {
  if (v == alignment_) return;
  alignment_ = v;
  Invalidate();
}

void TCustomLabel::SetLayout(TTextLayout v) {
  if (v == layout_) return;
  layout_ = v;
  Invalidate();
}

void TCustomLabel::SetWordWrap(bool v) {
  if (v == word_wrap_) return;
  word_wrap_ = v;
  AdjustBounds();
  Invalidate();
}

void TCustomLabel::SetTransparent(bool v) {
  if (v == Transparent()) return;
  SetControlStyle(v ? ControlStyle() & ~csOpaque : ControlStyle() | csOpaque);
  Invalidate();
}

void TCustomLabel::SetShowAccelChar(bool v) {
  if (v == show_accel_char_) return;
  show_accel_char_ = v;
  AdjustBounds();
  Invalidate();
}

void TCustomLabel::SetFocusControl(TWinControl* v) {
  if (focus_control_) focus_control_->RemoveFreeNotification(this);
  focus_control_ = v;
  if (v) v->FreeNotification(this);
}

void TCustomLabel::Notification(TComponent* component, TOperation operation) {
  TGraphicControl::Notification(component, operation);
  if (operation == opRemove && component == focus_control_) focus_control_ = nullptr;
}

void TCustomLabel::SetAutoSize(bool v) {
  TGraphicControl::SetAutoSize(v);
  AdjustBounds();
}

void TCustomLabel::DoDrawText(TRect& rect, UINT flags) {
  TCanvas* c = (flags & DT_CALCRECT) ? ctl::Measure(Font()) : Canvas();
  std::string text = Caption();
  if ((flags & DT_CALCRECT) && (text.empty() || (show_accel_char_ && text.front() == '&' && text.size() == 1)))
    text += " ";
  if (!show_accel_char_) flags |= DT_NOPREFIX;
  c->SetFont(Font());
  RECT r = rect;
  if (flags & DT_CALCRECT) {
    DrawTextA(c->Handle(), text.c_str(), -1, &r, flags);
    rect = r;
    return;
  }
  ctl::Caption(c, rect, text, flags, Enabled(), Font()->Color());
}

void TCustomLabel::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (!Transparent()) ctl::Fill(c, r, Color());
  c->Brush()->SetStyle(bsClear);
  static const UINT kAlign[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
  UINT flags = DT_EXPANDTABS | (word_wrap_ ? DT_WORDBREAK : 0) | kAlign[alignment_];
  if (layout_ != tlTop) {
    TRect calc = r;
    DoDrawText(calc, flags | DT_CALCRECT);
    int dy = r.Height() - calc.Height();
    r.Top += layout_ == tlBottom ? dy : dy / 2;
  }
  DoDrawText(r, flags);
}

void TCustomLabel::Loaded() {
  TGraphicControl::Loaded();
  AdjustBounds();
}

void TCustomLabel::AdjustBounds() {
  if (!AutoSize() || HasState(csLoading)) return;
  TRect r = ClientRect();
  if (!word_wrap_) r.Right = r.Left + 10000;
  DoDrawText(r, DT_EXPANDTABS | DT_CALCRECT | (word_wrap_ ? DT_WORDBREAK : 0));
  int x = Left();
  // A right-aligned label keeps its right edge, a centred one its centre.
  if (alignment_ == taRightJustify) x += Width() - r.Width();
  else if (alignment_ == taCenter) x += (Width() - r.Width()) / 2;
  SetBounds(word_wrap_ ? Left() : x, Top(), word_wrap_ ? Width() : r.Width(), r.Height());
}

void TCustomLabel::CMTextChanged(TMessage& m) {
  TGraphicControl::CMTextChanged(m);
  AdjustBounds();
}

void TCustomLabel::CMFontChanged(TMessage& m) {
  TGraphicControl::CMFontChanged(m);
  AdjustBounds();
}

void TCustomLabel::CMDialogChar(TMessage& m) {
  if (focus_control_ && Enabled() && show_accel_char_ && IsAccel(m.CharCode(), Caption()) &&
      focus_control_->CanFocus()) {
    focus_control_->SetFocus();
    m.Result = 1;
    return;
  }
  TGraphicControl::CMDialogChar(m);
}

void TCustomLabel::CMMouseEnter(TMessage& m) {
  TGraphicControl::CMMouseEnter(m);
  if (OnMouseEnter) OnMouseEnter(this);
}

void TCustomLabel::CMMouseLeave(TMessage& m) {
  TGraphicControl::CMMouseLeave(m);
  if (OnMouseLeave) OnMouseLeave(this);
}
