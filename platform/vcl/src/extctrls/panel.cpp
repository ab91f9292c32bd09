// Panel, bevel and image.
#include <algorithm>

#include <vcl/extctrls.h>

#include "../stdctrls/ctlpaint.h"

namespace {

void BevelFrame(TCanvas* c, TRect& r, TBevelCut cut, int width) {
  if (cut == bvNone) return;
  if (cut == bvSpace) {
    r.Inflate(-width, -width);
    return;
  }
  TColor top = cut == bvLowered ? clBtnShadow : clBtnHighlight;
  TColor bottom = cut == bvLowered ? clBtnHighlight : clBtnShadow;
  Frame3D(c, r, top, bottom, width);
}

}  // namespace

TCustomPanel::TCustomPanel(TComponent* owner) : TCustomControl(owner) {
  SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csOpaque |
                  csDoubleClicks | csReplicatable);
  SetBounds(Left(), Top(), 185, 41);
  SetColor(clBtnFace);
}

void TCustomPanel::Changed() {
  Realign();
  Invalidate();
}

void TCustomPanel::SetBevelInner(TBevelCut v) {
  if (v == bevel_inner_) return;
  bevel_inner_ = v;
  Changed();
}

void TCustomPanel::SetBevelOuter(TBevelCut v) {
  if (v == bevel_outer_) return;
  bevel_outer_ = v;
  Changed();
}

void TCustomPanel::SetBevelWidth(int v) {
  v = std::max(1, v);
  if (v == bevel_width_) return;
  bevel_width_ = v;
  Changed();
}

void TCustomPanel::SetBorderStyle(TBorderStyle v) {
  if (v == border_style_) return;
  border_style_ = v;
  Changed();
}

void TCustomPanel::SetAlignment(TAlignment v) {
  if (v == alignment_) return;
  alignment_ = v;
  Invalidate();
}

void TCustomPanel::AdjustClientRect(TRect& rect) const {
  int inset = (border_style_ == bsSingle ? 1 : 0) + (bevel_outer_ != bvNone ? bevel_width_ : 0) +
              (bevel_inner_ != bvNone ? bevel_width_ : 0);
  rect.Inflate(-inset, -inset);
}

void TCustomPanel::AlignControls(TControl* control, TRect& rect) {
  AdjustClientRect(rect);
  TCustomControl::AlignControls(control, rect);
}

void TCustomPanel::CMTextChanged(TMessage& m) {
  TCustomControl::CMTextChanged(m);
  Invalidate();
}

void TCustomPanel::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (border_style_ == bsSingle) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(clWindowFrame);
    c->FrameRect(r);
    r.Inflate(-1, -1);
  }
  BevelFrame(c, r, bevel_outer_, bevel_width_);
  BevelFrame(c, r, bevel_inner_, bevel_width_);
  ctl::Fill(c, r, Color());
  std::string text = Caption();
  if (text.empty()) return;
  c->SetFont(Font());
  static const UINT kAlign[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
  ctl::Caption(c, r, text, DT_VCENTER | DT_SINGLELINE | DT_EXPANDTABS | kAlign[alignment_], Enabled(),
               Font()->Color());
}

// ---------------------------------------------------------------------------
TBevel::TBevel(TComponent* owner) : TGraphicControl(owner) {
  SetControlStyle(ControlStyle() | csReplicatable);
  SetBounds(Left(), Top(), 50, 50);
}

void TBevel::SetShape(TBevelShape v) {
  if (v == shape_) return;
  shape_ = v;
  Invalidate();
}

void TBevel::SetStyle(TBevelStyle v) {
  if (v == style_) return;
  style_ = v;
  Invalidate();
}

void TBevel::Paint() {
  TCanvas* c = Canvas();
  TColor c1 = style_ == bsLowered ? clBtnShadow : clBtnHighlight;
  TColor c2 = style_ == bsLowered ? clBtnHighlight : clBtnShadow;
  int w = Width(), h = Height();
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetWidth(1);
  auto line = [&](int x0, int y0, int x1, int y1, TColor col) {
    c->Pen()->SetColor(col);
    c->MoveTo(x0, y0);
    c->LineTo(x1, y1);
  };
  TRect r(0, 0, w, h);
  switch (shape_) {
    case bsBox: Frame3D(c, r, c1, c2, 1); break;
    case bsFrame: {
      TRect a(0, 0, w - 1, h - 1), b(1, 1, w, h);
      c->Brush()->SetStyle(bsSolid);
      c->Brush()->SetColor(c2);
      c->FrameRect(b);
      c->Brush()->SetColor(c1);
      c->FrameRect(a);
      break;
    }
    case bsTopLine: line(0, 0, w, 0, c1); line(0, 1, w, 1, c2); break;
    case bsBottomLine: line(0, h - 2, w, h - 2, c1); line(0, h - 1, w, h - 1, c2); break;
    case bsLeftLine: line(0, 0, 0, h, c1); line(1, 0, 1, h, c2); break;
    case bsRightLine: line(w - 2, 0, w - 2, h, c1); line(w - 1, 0, w - 1, h, c2); break;
    case bsSpacer: break;
  }
}

// ---------------------------------------------------------------------------
TImage::TImage(TComponent* owner) : TGraphicControl(owner), picture_(std::make_unique<TPicture>()) {
  SetControlStyle(ControlStyle() | csReplicatable);
  SetBounds(Left(), Top(), 105, 105);
  picture_->OnChange = [this](TObject*) { PictureChanged(); };
}

TImage::~TImage() { picture_->OnChange = nullptr; }

void TImage::SetStretch(bool v) {
  if (v == stretch_) return;
  stretch_ = v;
  Invalidate();
}

void TImage::SetCenter(bool v) {
  if (v == center_) return;
  center_ = v;
  Invalidate();
}

void TImage::SetTransparent(bool v) {
  if (v == transparent_) return;
  transparent_ = v;
  if (TGraphic* g = picture_->Graphic()) g->SetTransparent(v);
  Invalidate();
}

void TImage::SetAutoSize(bool v) {
  TGraphicControl::SetAutoSize(v);
  if (v) PictureChanged();
}

void TImage::PictureChanged() {
  TGraphic* g = picture_->Graphic();
  if (g && transparent_ && !g->Transparent()) g->SetTransparent(true);
  // A control aligned to its parent keeps the size the alignment gives it.
  if (AutoSize() && g && !g->Empty()) {
    int w = Align() == alTop || Align() == alBottom || Align() == alClient ? Width() : g->Width();
    int h = Align() == alLeft || Align() == alRight || Align() == alClient ? Height() : g->Height();
    SetBounds(Left(), Top(), w, h);
  }
  Invalidate();
}

void TImage::Paint() {
  TCanvas* c = Canvas();
  TGraphic* g = picture_->Graphic();
  if (!g || g->Empty()) return;
  if (stretch_) {
    c->StretchDraw(ClientRect(), g);
    return;
  }
  int x = center_ ? (Width() - g->Width()) / 2 : 0;
  int y = center_ ? (Height() - g->Height()) / 2 : 0;
  c->Draw(x, y, g);
}
