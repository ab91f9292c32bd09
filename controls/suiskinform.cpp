#include "suiskinform.h"

#include <vcl/messages.h>
#include <vcl/winuser.h>

#include "suipublic.h"
#include "suisetter.h"

// The glyph is created whatever the owner, so that a control placed on a panel or
// frame still draws and keeps its picture; only the shaping needs a form.
TsuiSkinForm::TsuiSkinForm(TComponent* owner)
    : TGraphicControl(owner), form_(dynamic_cast<TForm*>(owner)), glyph_(std::make_unique<TBitmap>()) {
  if (form_) form_->SetBorderStyle(bsNone);
  SetBounds(Left(), Top(), 200, 100);
}

TsuiSkinForm::~TsuiSkinForm() = default;

void TsuiSkinForm::SetPicture(TBitmap* v) {
  glyph_->Assign(v);
  ReSetWndRgn();
  Repaint();
}

void TsuiSkinForm::SetColor(TColor v) {
  StoreAndRepaint(this, transparent_color_, v, [this] { ReSetWndRgn(); });
}

void TsuiSkinForm::ReSetWndRgn() {
  if (glyph_->Empty()) return;
  if (form_) SetBitmapWindow(form_->Handle(), glyph_.get(), transparent_color_);
  if (glyph_->Height() > 0 && glyph_->Width() > 0) SetBounds(Left(), Top(), glyph_->Width(), glyph_->Height());
  SetBounds(0, 0, Width(), Height());
  if (form_) form_->SetClientSize(Width(), Height());
  if (OnRegionChanged) OnRegionChanged(this);
}

void TsuiSkinForm::Paint() {
  TCanvas* c = Canvas();
  if (glyph_->Width() > 0 && glyph_->Height() > 0) {
    c->Draw(0, 0, glyph_.get());
    return;
  }
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(clBlack);
  c->FrameRect(ClientRect());
}

void TsuiSkinForm::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseDown(button, shift, x, y);
  if (!form_) return;
  ReleaseCapture();
  form_->Perform(WM_NCLBUTTONDOWN, HTCAPTION, 0);
}
