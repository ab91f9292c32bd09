// The tool bar and its buttons.
#include <vcl/comctrls.h>

#include <algorithm>

#include "../stdctrls/ctlpaint.h"

TToolButton::TToolButton(TComponent* owner) : TGraphicControl(owner) {
  SetControlStyle((ControlStyle() | csCaptureMouse) & ~csDoubleClicks);
  SetBounds(0, 0, 23, 22);
}

TToolButton::~TToolButton() {
  if (menu_item_) menu_item_->RemoveFreeNotification(this);
}

TToolBar* TToolButton::ToolBar() const { return dynamic_cast<TToolBar*>(Parent()); }

int TToolButton::Index() const {
  TToolBar* bar = ToolBar();
  if (!bar) return -1;
  auto it = std::find(bar->buttons_.begin(), bar->buttons_.end(), this);
  return it == bar->buttons_.end() ? -1 : static_cast<int>(it - bar->buttons_.begin());
}

void TToolButton::SetStyle(TToolButtonStyle v) {
  style_ = v;
  if (TToolBar* b = ToolBar()) b->ArrangeButtons();
  Invalidate();
}

void TToolButton::SetImageIndex(int v) {
  image_index_ = v;
  Invalidate();
}

void TToolButton::SetDown(bool v) {
  if (v == down_) return;
  down_ = v;
  // A grouped check button releases the others of its run of grouped buttons.
  if (v && Grouped && ToolBar())
    for (TToolButton* o : ToolBar()->buttons_)
      if (o != this && o->Grouped && o->style_ == tbsCheck && o->down_) {
        o->down_ = false;
        o->Invalidate();
      }
  Invalidate();
}

void TToolButton::SetMenuItem(TMenuItem* v) {
  if (menu_item_) menu_item_->RemoveFreeNotification(this);
  menu_item_ = v;
  if (v) {
    v->FreeNotification(this);
    SetCaption(v->Caption());
    image_index_ = v->ImageIndex();
  }
  Invalidate();
}

void TToolButton::Notification(TComponent* component, TOperation operation) {
  TGraphicControl::Notification(component, operation);
  if (operation == opRemove && component == menu_item_) menu_item_ = nullptr;
}

void TToolButton::SetAutoSize(bool v) {
  TGraphicControl::SetAutoSize(v);
  if (TToolBar* b = ToolBar()) b->ArrangeButtons();
}

void TToolButton::Click() {
  if (menu_item_ && menu_item_->Count() == 0 && menu_item_->Enabled()) menu_item_->Click();
  TGraphicControl::Click();
}

void TToolButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseDown(button, shift, x, y);
  if (button != mbLeft || !Enabled() || style_ == tbsSeparator || style_ == tbsDivider) return;
  if (menu_item_ && menu_item_->Count() > 0) {
    // The button stays down while its item's submenu is open.
    pressed_ = true;
    Invalidate();
    SetControlState(ControlState() & ~csClicked);
    SetMouseCapture(false);
    TPoint p = ClientToScreen(TPoint(0, Height()));
    TrackMenuItems(menu_item_, p.X, p.Y, this);
    pressed_ = false;
    Invalidate();
    return;
  }
  tracking_ = pressed_ = true;
  Invalidate();
}

void TToolButton::MouseMove(TShiftState shift, int x, int y) {
  TGraphicControl::MouseMove(shift, x, y);
  if (!tracking_) return;
  bool in = ClientRect().Contains(x, y);
  if (in != pressed_) {
    pressed_ = in;
    Invalidate();
  }
}

void TToolButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft && tracking_) {
    tracking_ = false;
    bool in = pressed_;
    pressed_ = false;
    if (in && style_ == tbsCheck) SetDown(Grouped ? true : !down_);
    Invalidate();
  }
  TGraphicControl::MouseUp(button, shift, x, y);
}

void TToolButton::CMMouseEnter(TMessage& m) {
  TGraphicControl::CMMouseEnter(m);
  hot_ = true;
  Invalidate();
}

void TToolButton::CMMouseLeave(TMessage& m) {
  TGraphicControl::CMMouseLeave(m);
  hot_ = false;
  Invalidate();
}

void TToolButton::CMTextChanged(TMessage& m) {
  TGraphicControl::CMTextChanged(m);
  if (TToolBar* b = ToolBar()) b->ArrangeButtons();
  Invalidate();
}

// ---------------------------------------------------------------------------
TToolBar::TToolBar(TComponent* owner) : TCustomControl(owner) {
  SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csDoubleClicks | csOpaque | csMenuEvents);
  SetBounds(0, 0, 150, 29);
  SetColor(clBtnFace);
  SetAlign(alTop);
}

TToolBar::~TToolBar() {
  if (images_) images_->RemoveFreeNotification(this);
}

void TToolBar::SetFlat(bool v) {
  flat_ = v;
  Invalidate();
}

void TToolBar::SetEdgeBorders(TEdgeBorders v) {
  edges_ = v;
  ArrangeButtons();
  Invalidate();
}

void TToolBar::SetShowCaptions(bool v) {
  show_captions_ = v;
  ArrangeButtons();
}

void TToolBar::SetButtonWidth(int v) {
  button_width_ = std::max(1, v);
  ArrangeButtons();
}

void TToolBar::SetButtonHeight(int v) {
  button_height_ = std::max(1, v);
  ArrangeButtons();
}

void TToolBar::SetImages(TCustomImageList* v) {
  if (images_) images_->RemoveFreeNotification(this);
  images_ = v;
  if (v) v->FreeNotification(this);
  Invalidate();
}

void TToolBar::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation == opRemove && component == images_) images_ = nullptr;
}

void TToolBar::Resize() {
  TCustomControl::Resize();
  ArrangeButtons();
}

int TToolBar::ButtonSize(TToolButton* b) {
  if (b->style_ == tbsSeparator || b->style_ == tbsDivider) return 8;
  if (show_captions_ && b->AutoSize()) {
    TCanvas* c = ctl::Measure(Font());
    RECT r{0, 0, 0, 0};
    DrawTextA(c->Handle(), b->Caption().c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE);
    return r.right - r.left + 14;
  }
  return button_width_;
}

void TToolBar::ArrangeButtons() {
  if (arranging_) return;
  arranging_ = true;
  int x = edges_.Contains(ebLeft) ? 2 : 0;
  int y = edges_.Contains(ebTop) ? 2 : 0;
  for (TToolButton* b : buttons_) {
    if (!b->Visible()) continue;
    int w = ButtonSize(b);
    b->SetBounds(x, y, w, button_height_);
    x += w;
  }
  arranging_ = false;
  Invalidate();
}

void TToolBar::WndProc(TMessage& m) {
  if (m.Msg == CM_CONTROLLISTCHANGE) {
    if (auto* b = dynamic_cast<TToolButton*>(reinterpret_cast<TControl*>(m.WParam))) {
      if (m.LParam) {
        // A new button goes before the first one that is not left of it.
        auto pos = std::find_if(buttons_.begin(), buttons_.end(), [&](TToolButton* o) { return o->Left() >= b->Left(); });
        buttons_.insert(pos, b);
      } else {
        buttons_.erase(std::remove(buttons_.begin(), buttons_.end(), b), buttons_.end());
      }
      TCustomControl::WndProc(m);
      if (!HasState(csDestroying)) ArrangeButtons();
      return;
    }
  }
  TCustomControl::WndProc(m);
}

void TToolBar::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  c->SetFont(Font());
  bool dd = true;
  if (OnCustomDraw) OnCustomDraw(this, r, dd);
  if (dd) {
    ctl::Fill(c, r, Color());
    if (edges_.Contains(ebTop)) {
      c->Pen()->SetColor(clBtnShadow);
      c->MoveTo(0, 0);
      c->LineTo(r.Right, 0);
      c->Pen()->SetColor(clBtnHighlight);
      c->MoveTo(0, 1);
      c->LineTo(r.Right, 1);
    }
  }
  for (TToolButton* b : buttons_) {
    if (!b->Visible()) continue;
    TCustomDrawState st;
    if (b->hot_) st.Include(cdsHot);
    if (b->pressed_) st.Include(cdsSelected);
    if (b->down_) st.Include(cdsChecked);
    if (!b->Enabled()) st.Include(cdsDisabled);
    c->SetFont(Font());
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(Color());
    c->Pen()->SetColor(clBlack);
    bool bd = true;
    if (OnCustomDrawButton) OnCustomDrawButton(this, b, st, bd);
    if (bd) DefaultDrawButton(b, st);
  }
}

void TToolBar::DefaultDrawButton(TToolButton* b, TCustomDrawState st) {
  TCanvas* c = Canvas();
  TRect r = b->BoundsRect();
  if (b->style_ == tbsSeparator || b->style_ == tbsDivider) {
    if (b->style_ == tbsDivider) {
      int x = r.Left + r.Width() / 2 - 1;
      c->Pen()->SetColor(clBtnShadow);
      c->MoveTo(x, r.Top);
      c->LineTo(x, r.Bottom);
      c->Pen()->SetColor(clBtnHighlight);
      c->MoveTo(x + 1, r.Top);
      c->LineTo(x + 1, r.Bottom);
    }
    return;
  }
  bool down = st.Contains(cdsSelected) || st.Contains(cdsChecked);
  TRect f = r;
  if (down) Frame3D(c, f, clBtnShadow, clBtnHighlight, 1);
  else if (!flat_ || (st.Contains(cdsHot) && b->Enabled())) Frame3D(c, f, clBtnHighlight, clBtnShadow, 1);
  bool enabled = b->Enabled();
  int dx = down ? 1 : 0;
  if (images_ && b->image_index_ >= 0 && b->image_index_ < images_->Count() && !show_captions_) {
    images_->Draw(c, r.Left + (r.Width() - images_->Width()) / 2 + dx, r.Top + (r.Height() - images_->Height()) / 2 + dx,
                  b->image_index_, enabled);
  }
  if (show_captions_) {
    TRect tr = r;
    tr.Offset(dx, dx);
    ctl::Caption(c, tr, b->Caption(), DT_CENTER | DT_VCENTER | DT_SINGLELINE, enabled, Font()->Color());
  }
}
