#include "suiimagepanel.h"

#include <algorithm>

#include "suipublic.h"
#include "suisetter.h"

namespace {

[[maybe_unused]] const bool kApplyRow = [] {
  RegisterSubContainerApplier(TsuiSubApplyRow::ImagePanel, &UpdateStyleOf<TsuiImagePanel>);
  return true;
}();

bool Blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

}  // namespace

TsuiCustomPanel::TsuiCustomPanel(TComponent* owner)
    : TCustomPanel(owner), picture_(std::make_unique<TPicture>()) {
  picture_->OnChange = [this](TObject* sender) { PictureChanged(sender); };
  Repaint();
}

TsuiCustomPanel::~TsuiCustomPanel() { picture_->OnChange = nullptr; }

void TsuiCustomPanel::SetPicture(TPicture* v) {
  picture_->Assign(v);
  ClearPanel();
  Repaint();
}

void TsuiCustomPanel::SetDrawStyle(TsuiDrawStyle v) {
  StoreAndRepaint(this, draw_style_, v, [this] { ClearPanel(); });
}

void TsuiCustomPanel::SetTransparent(bool v) {
  transparent_ = v;
  if (picture_->Graphic()) ApplyTransparent();
  Repaint();
}

void TsuiCustomPanel::SetAutoSize(bool v) {
  auto_size_ = v;
  if (picture_->Graphic()) ApplyAutoSize();
}

void TsuiCustomPanel::SetCaptionPosX(int v) { StoreAndRepaint(this, caption_x_, v); }
void TsuiCustomPanel::SetCaptionPosY(int v) { StoreAndRepaint(this, caption_y_, v); }

void TsuiCustomPanel::UpdateUIStyle(TsuiUIStyle style) { ContainerApplyUIStyle(this, style); }

void TsuiCustomPanel::ClearPanel() {
  TCanvas* c = Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FillRect(ClientRect());
}

void TsuiCustomPanel::ApplyAutoSize() {
  if (!auto_size_ || !picture_->Graphic()) return;
  TAlign a = Align();
  int w = Width(), h = Height();
  if (a != alTop && a != alBottom && a != alClient) w = picture_->Width();
  if (a != alLeft && a != alRight && a != alClient) h = picture_->Height();
  SetBounds(Left(), Top(), w, h);
}

void TsuiCustomPanel::ApplyTransparent() {
  TGraphic* g = picture_->Graphic();
  if (g && g->Transparent() != transparent_) g->SetTransparent(transparent_);
}

void TsuiCustomPanel::PictureChanged(TObject*) {
  if (picture_->Graphic()) {
    if (auto_size_) ApplyAutoSize();
    ApplyTransparent();
  }
  ClearPanel();
  Repaint();
}

void TsuiCustomPanel::Resize() {
  TCustomPanel::Resize();
  Repaint();
}

void TsuiCustomPanel::CMTextChanged(TMessage&) {
  RepaintText(caption_rect_);
  Repaint();
}

void TsuiCustomPanel::Paint() {
  TBitmap buffer(std::max(0, Width()), std::max(0, Height()));
  TCanvas* c = buffer.Canvas();
  TRect client = ClientRect();
  c->Font()->Assign(Font());
  // What the picture leaves uncovered shows the panel's colour (ClearPanel's look).
  PaintBackground(c, this, transparent_, client);
  TGraphic* g = picture_->Graphic();
  if (g && !g->Empty()) {
    if (draw_style_ == suiStretch)
      c->StretchDraw(client, g);
    else if (draw_style_ == suiTile)
      TileDraw(c, picture_.get(), client);
    else
      c->Draw(0, 0, g);
  }
  std::string text = PanelCaption();
  if (!Blank(text)) {
    c->Brush()->SetStyle(bsClear);
    if (caption_x_ == -1 || caption_y_ == -1) {
      int tw = c->TextWidth(text), th = c->TextHeight(text);
      int x = client.Left;
      if (Alignment() == taRightJustify) x = client.Right - tw;
      else if (Alignment() == taCenter) x = client.Left + (client.Width() - tw) / 2;
      c->TextOut(x, client.Top + (client.Height() - th) / 2, text);
      caption_rect_ = client;
    } else {
      c->TextOut(caption_x_, caption_y_, text);
      caption_rect_ = TRect(caption_x_, caption_y_, caption_x_ + c->TextWidth(text), caption_y_ + c->TextHeight(text));
    }
  }
  Canvas()->CopyRect(TRect(0, 0, buffer.Width(), buffer.Height()), c, TRect(0, 0, buffer.Width(), buffer.Height()));
}
