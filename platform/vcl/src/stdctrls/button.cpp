// Push button, check box, radio button and group box.
#include <algorithm>

#include <vcl/stdctrls.h>

#include "ctlpaint.h"

namespace {

bool NoModifiers() {
  return GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_MENU) >= 0;
}

}  // namespace

TButtonControl::TButtonControl(TComponent* owner) : TCustomControl(owner) {
  // A second quick press is a press like any other for buttons.
  SetControlStyle((ControlStyle() | csOpaque | csSetCaption) & ~csDoubleClicks);
  SetTabStop(true);
}

void TButtonControl::WMSetFocus(TMessage& m) {
  TCustomControl::WMSetFocus(m);
  Invalidate();
}

void TButtonControl::WMKillFocus(TMessage& m) {
  TCustomControl::WMKillFocus(m);
  if (space_down_ || tracking_) {
    space_down_ = tracking_ = pressed_ = false;
    if (MouseCapture()) SetMouseCapture(false);
  }
  Invalidate();
}

void TButtonControl::CMTextChanged(TMessage& m) {
  TCustomControl::CMTextChanged(m);
  Invalidate();
}

void TButtonControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    if (!Focused() && CanFocus()) SetFocus();
    tracking_ = pressed_ = true;
    Invalidate();
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TButtonControl::MouseMove(TShiftState shift, int x, int y) {
  if (tracking_) {
    bool in = ClientRect().Contains(x, y);
    if (in != pressed_) {
      pressed_ = in;
      Invalidate();
    }
  }
  TCustomControl::MouseMove(shift, x, y);
}

void TButtonControl::KeyDown(WORD& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  if (key == VK_SPACE && !space_down_) {
    space_down_ = pressed_ = true;
    Invalidate();
  }
}

bool TButtonControl::EndMousePress(TMouseButton button) {
  if (button != mbLeft || !tracking_) return false;
  bool in = pressed_;
  tracking_ = pressed_ = false;
  Invalidate();
  return in;
}

bool TButtonControl::EndSpacePress(WORD key) {
  if (key != VK_SPACE || !space_down_) return false;
  space_down_ = pressed_ = false;
  Invalidate();
  return true;
}

// ---------------------------------------------------------------------------
TButton::TButton(TComponent* owner) : TButtonControl(owner) {
  SetBounds(Left(), Top(), 75, 25);
}

void TButton::SetDefault(bool v) {
  if (v == default_) return;
  default_ = v;
  auto* focused = dynamic_cast<TButton*>(FindControl(GetFocus()));
  if (!focused || GetParentForm(focused) != GetParentForm(this)) active_ = v;
  Invalidate();
}

void TButton::Click() {
  if (TCustomForm* f = GetParentForm(this)) f->SetModalResult(modal_result_);
  TButtonControl::Click();
}

void TButton::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  bool down = pressed_;
  if (active_) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(clWindowFrame);
    c->FrameRect(r);
    r.Inflate(-1, -1);
  }
  if (down) {
    Frame3D(c, r, clBtnShadow, clBtnShadow, 1);
  } else {
    ctl::RaisedEdge(c, r);
  }
  ctl::Fill(c, r, clBtnFace);
  PaintFace(c, r, down);
  if (Focused()) {
    TRect fr = ClientRect();
    fr.Inflate(-4, -4);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(clBtnFace);
    c->Font()->SetColor(clBtnText);
    c->DrawFocusRect(fr);
  }
}

void TButton::PaintFace(TCanvas* c, TRect r, bool down) {
  c->SetFont(Font());
  if (down) r.Offset(1, 1);
  ctl::Caption(c, r, Caption(), DT_CENTER | DT_VCENTER | DT_SINGLELINE, Enabled(), Font()->Color());
}

void TButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  EndMousePress(button);
  // The class library's click rule (press and release on the control) clicks.
  TButtonControl::MouseUp(button, shift, x, y);
}

void TButton::KeyUp(WORD& key, TShiftState shift) {
  TButtonControl::KeyUp(key, shift);
  if (EndSpacePress(key)) Click();
}

void TButton::WMGetDlgCode(TMessage& m) {
  m.Result = DLGC_BUTTON | (active_ ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
}

void TButton::CMDialogKey(TMessage& m) {
  WORD key = m.CharCode();
  // Enter clicks the active button (the focused one, else the default one); Esc
  // clicks the cancel button.
  if (((key == VK_RETURN && active_) || (key == VK_ESCAPE && cancel_)) && NoModifiers() && CanFocus()) {
    Click();
    m.Result = 1;
    return;
  }
  TButtonControl::CMDialogKey(m);
}

void TButton::CMDialogChar(TMessage& m) {
  if (IsAccel(m.CharCode(), Caption()) && CanFocus()) {
    Click();
    m.Result = 1;
    return;
  }
  TButtonControl::CMDialogChar(m);
}

void TButton::CMFocusChanged(TMessage& m) {
  auto* sender = reinterpret_cast<TWinControl*>(m.LParam);
  bool was = active_;
  if (dynamic_cast<TButton*>(sender)) active_ = sender == this;
  else active_ = default_;
  if (was != active_) Invalidate();
  TButtonControl::CMFocusChanged(m);
}

void TButton::CMEnabledChanged(TMessage& m) {
  TButtonControl::CMEnabledChanged(m);
  tracking_ = pressed_ = space_down_ = false;
  Invalidate();
}

// ---------------------------------------------------------------------------
TCustomCheckBox::TCustomCheckBox(TComponent* owner) : TButtonControl(owner) {
  SetControlStyle(ControlStyle() & ~csClickEvents);  // the state change raises the click
  SetBounds(Left(), Top(), 97, 17);
}

void TCustomCheckBox::SetChecked(bool v) { SetState(v ? cbChecked : cbUnchecked); }

void TCustomCheckBox::SetState(TCheckBoxState v) {
  if (v == state_) return;
  state_ = v;
  Invalidate();
  StateChanged();
}

void TCustomCheckBox::SetAlignment(TAlignment v) {
  if (v == alignment_) return;
  alignment_ = v;
  Invalidate();
}

void TCustomCheckBox::StateChanged() {
  if (!clicks_disabled_) Click();
}

void TCustomCheckBox::Toggle() {
  switch (state_) {
    case cbUnchecked: SetState(cbChecked); break;
    case cbChecked: SetState(AllowGrayed ? cbGrayed : cbUnchecked); break;
    case cbGrayed: SetState(cbUnchecked); break;
  }
}

void TCustomCheckBox::PaintGlyph(TCanvas* c, const TRect& r) {
  ctl::CheckGlyph(c, r.Left, r.Top, state_, Enabled(), pressed_);
}

void TCustomCheckBox::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  ctl::Fill(c, r, Color());
  int gy = (r.Height() - 13) / 2;
  bool left = alignment_ == taRightJustify;  // the caption right of the box
  TRect glyph = left ? Bounds(0, gy, 13, 13) : Bounds(r.Right - 13, gy, 13, 13);
  PaintGlyph(c, glyph);
  c->SetFont(Font());
  RECT calc{0, 0, 0, 0};
  DrawTextA(c->Handle(), Caption().c_str(), -1, &calc, DT_CALCRECT | DT_SINGLELINE);
  int th = calc.bottom - calc.top;
  int x = left ? 17 : 1;
  int right = left ? r.Right : r.Right - 17;
  caption_rect_ = TRect(x, (r.Height() - th) / 2, std::min(right, x + static_cast<int>(calc.right) + 1),
                        (r.Height() - th) / 2 + th);
  ctl::Caption(c, TRect(x, r.Top, right, r.Bottom), Caption(), DT_VCENTER | DT_SINGLELINE, Enabled(),
               Font()->Color());
  if (Focused()) {
    TRect fr = caption_rect_;
    fr.Inflate(1, 1);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(Color());
    c->DrawFocusRect(fr);
  }
}

void TCustomCheckBox::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (EndMousePress(button)) Toggle();
  TButtonControl::MouseUp(button, shift, x, y);
}

void TCustomCheckBox::KeyUp(WORD& key, TShiftState shift) {
  TButtonControl::KeyUp(key, shift);
  if (EndSpacePress(key)) Toggle();
}

void TCustomCheckBox::WMGetDlgCode(TMessage& m) { m.Result = DLGC_BUTTON; }

void TCustomCheckBox::CMDialogChar(TMessage& m) {
  if (IsAccel(m.CharCode(), Caption()) && CanFocus()) {
    SetFocus();
    Toggle();
    m.Result = 1;
    return;
  }
  TButtonControl::CMDialogChar(m);
}

// ---------------------------------------------------------------------------
TRadioButton::TRadioButton(TComponent* owner) : TCustomCheckBox(owner) {
  SetBounds(Left(), Top(), 113, 17);
}

void TRadioButton::SetChecked(bool v) {
  if (v == Checked()) return;
  clicks_disabled_ = true;
  SetState(v ? cbChecked : cbUnchecked);
  clicks_disabled_ = false;
  if (!v) return;
  if (TWinControl* p = Parent()) {
    for (int i = 0; i < p->ControlCount(); ++i) {
      auto* sibling = dynamic_cast<TRadioButton*>(p->Controls(i));
      if (sibling && sibling != this) sibling->SetChecked(false);
    }
  }
  Click();
}

void TRadioButton::Toggle() { SetChecked(true); }

void TRadioButton::PaintGlyph(TCanvas* c, const TRect& r) {
  ctl::RadioGlyph(c, r.Left, r.Top, Checked(), Enabled(), pressed_);
}

void TRadioButton::KeyDown(WORD& key, TShiftState shift) {
  TCustomCheckBox::KeyDown(key, shift);
  // Arrow keys move to the next radio button of the group and check it.
  bool fwd = key == VK_DOWN || key == VK_RIGHT;
  bool back = key == VK_UP || key == VK_LEFT;
  if ((!fwd && !back) || !Parent()) return;
  std::vector<TRadioButton*> group;
  for (int i = 0; i < Parent()->ControlCount(); ++i)
    if (auto* r = dynamic_cast<TRadioButton*>(Parent()->Controls(i)); r && r->CanFocus()) group.push_back(r);
  auto it = std::find(group.begin(), group.end(), this);
  if (it == group.end() || group.size() < 2) return;
  int n = static_cast<int>(group.size()), i = static_cast<int>(it - group.begin());
  TRadioButton* next = group[(i + (fwd ? 1 : n - 1)) % n];
  next->SetFocus();
  next->SetChecked(true);
  key = 0;
}

// ---------------------------------------------------------------------------
TCustomGroupBox::TCustomGroupBox(TComponent* owner) : TCustomControl(owner) {
  SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks |
                  csReplicatable);
  SetBounds(Left(), Top(), 185, 105);
}

void TCustomGroupBox::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  ctl::Fill(c, r, Color());
  c->SetFont(Font());
  int th = ctl::LineHeight(c);
  TRect frame(r.Left, r.Top + th / 2, r.Right, r.Bottom);
  // An etched frame: shadow outline with a highlight line inside it.
  c->Brush()->SetStyle(bsSolid);
  TRect outer(frame.Left + 1, frame.Top + 1, frame.Right, frame.Bottom);
  c->Brush()->SetColor(clBtnHighlight);
  c->FrameRect(outer);
  TRect inner(frame.Left, frame.Top, frame.Right - 1, frame.Bottom - 1);
  c->Brush()->SetColor(clBtnShadow);
  c->FrameRect(inner);
  std::string text = Caption();
  if (text.empty()) return;
  RECT calc{0, 0, 0, 0};
  DrawTextA(c->Handle(), text.c_str(), -1, &calc, DT_CALCRECT | DT_SINGLELINE);
  TRect tr(8, r.Top, 8 + calc.right + 2, r.Top + th);
  ctl::Fill(c, tr, Color());
  tr.Left += 1;
  ctl::Caption(c, tr, text, DT_SINGLELINE, Enabled(), Font()->Color());
}

void TCustomGroupBox::AlignControls(TControl* control, TRect& rect) {
  int th = ctl::LineHeight(ctl::Measure(Font()));
  rect.Top += th;
  rect.Inflate(-2, -2);
  TCustomControl::AlignControls(control, rect);
}

void TCustomGroupBox::CMTextChanged(TMessage& m) {
  TCustomControl::CMTextChanged(m);
  Invalidate();
  Realign();
}

void TCustomGroupBox::CMDialogChar(TMessage& m) {
  if (IsAccel(m.CharCode(), Caption()) && CanFocus()) {
    if (TWinControl* first = FindNextControl(nullptr, true, true, false)) {
      first->SetFocus();
      m.Result = 1;
      return;
    }
  }
  TCustomControl::CMDialogChar(m);
}
