#include "suiprogressbar.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include <vcl/forms.h>
#include <vcl/resources.h>

#include "suipublic.h"
#include "suisetter.h"

namespace {

// ContainerApplyUIStyle's row: a themed bar takes the style, a Custom one stays.
[[maybe_unused]] const bool kApplyRow = [] {
  RegisterContainerApplier(TsuiApplyRow::ProgressBar, &ApplyUnlessCustom<TsuiProgressBar>);
  return true;
}();

}  // namespace

TsuiProgressBar::TsuiProgressBar(TComponent* owner)
    : TCustomPanel(owner), picture_(std::make_unique<TPicture>()) {
  // The height first: a horizontal bar accepts no other height than 12.
  SetBounds(Left(), Top(), Width(), 12);
  SetBounds(Left(), Top(), 150, 12);
  SetText("50%");
  SetColor(clBtnFace);
  SetUIStyle(GetSUIFormStyle(owner));
  UpdateProgress();
}

TsuiProgressBar::~TsuiProgressBar() = default;

// Nothing is clamped or compared: the text shows what was set.
void TsuiProgressBar::SetPosition(int v) { StoreAndRepaint(this, position_, v, [this] { UpdateProgress(); }); }
void TsuiProgressBar::SetMax(int v) { StoreAndRepaint(this, max_, v, [this] { UpdateProgress(); }); }
void TsuiProgressBar::SetMin(int v) { StoreAndRepaint(this, min_, v, [this] { UpdateProgress(); }); }

void TsuiProgressBar::SetUIStyle(TsuiUIStyle v) {
  ui_style_ = v;
  UpdatePicture();
}

void TsuiProgressBar::SetOrientation(TsuiProgressBarOrientation v) {
  orientation_ = v;
  UpdatePicture();
  UpdateBar(std::max(Height(), Width()));
}

void TsuiProgressBar::SetPicture(TPicture* v) {
  picture_->Assign(v);
  Repaint();
}

void TsuiProgressBar::SetBorderColor(TColor v) { StoreAndRepaint(this, border_color_, v); }
void TsuiProgressBar::SetCaptionColor(TColor v) { StoreAndRepaint(this, caption_color_, v); }
void TsuiProgressBar::SetColor(TColor v) { StoreAndRepaint(this, color_, v); }
void TsuiProgressBar::SetShowCaption(bool v) { StoreAndRepaint(this, show_caption_, v); }

void TsuiProgressBar::UpdateProgress() { SetText(std::to_string(GetPercentFromPosition()) + "%"); }

void TsuiProgressBar::UpdatePicture() {
  if (ui_style_ != TsuiUIStyle::Custom) {
    std::string name = GetThemeString(ui_style_, orientation_ == suiVertical ? 43 : 42);
    try {
      picture_->Bitmap()->LoadFromResourceName(nullptr, name);
    } catch (const std::exception&) {
      // Without its picture the bar still shows the track, frame and caption.
      picture_->SetGraphic(nullptr);
    }
    SetColor(GetThemeColor(ui_style_, 8));
    SetBorderColor(GetThemeColor(ui_style_, 7));
  }
  Repaint();
}

void TsuiProgressBar::UpdateBar(int length) {
  if (orientation_ == suiVertical)
    SetBounds(Left(), Top(), 12, length);
  else
    SetBounds(Left(), Top(), length, 12);
}

bool TsuiProgressBar::CanResize(int& newWidth, int& newHeight) {
  if (orientation_ == suiHorizontal ? newHeight != 12 : newWidth != 12) return false;
  return TCustomPanel::CanResize(newWidth, newHeight);
}

int TsuiProgressBar::GetPercentFromPosition() const {
  std::int64_t range = std::int64_t(max_) - min_;
  if (range == 0) return 0;
  std::int64_t pct = (std::int64_t(position_) - min_) * 100 / range;
  return static_cast<int>(std::clamp<std::int64_t>(pct, INT_MIN, INT_MAX));
}

int TsuiProgressBar::GetWidthFromPosition(int length) const {
  if (max_ <= min_ || position_ <= min_) return 0;
  if (position_ > max_) return length;
  return static_cast<int>((std::int64_t(position_) - min_) * length / (std::int64_t(max_) - min_));
}

void TsuiProgressBar::Paint() {
  TBitmap buffer(std::max(0, ClientWidth()), std::max(0, ClientHeight()));
  TCanvas* c = buffer.Canvas();
  TGraphic* pic = picture_->Graphic();
  bool hasPic = pic && !pic->Empty();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(color_);
  if (orientation_ == suiHorizontal) {
    if (hasPic) buffer.SetHeight(pic->Height() + 2);
    int w = buffer.Width(), h = buffer.Height();
    int p = GetWidthFromPosition(w - 1);
    if (p == 0) p = 1;
    if (hasPic) c->StretchDraw(TRect(1, 1, p, h - 1), pic);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(color_);
    c->FillRect(TRect(p, 1, w - 1, h - 1));
  } else {
    if (hasPic) buffer.SetWidth(pic->Width() + 2);
    int w = buffer.Width(), h = buffer.Height();
    int p = (h - 1) - GetWidthFromPosition(h - 1);
    if (p == 0) p = 1;
    // Upside down, so that the fill grows from the bottom.
    if (hasPic) c->StretchDraw(TRect(1, h - 2, w - 1, p - 1), pic);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(color_);
    c->FillRect(TRect(1, 1, w - 1, p));
    show_caption_ = false;
  }
  int w = buffer.Width(), h = buffer.Height();
  if (show_caption_) {
    std::string text = GetText();
    c->Font()->SetColor(caption_color_);
    c->Brush()->SetStyle(bsClear);
    c->TextOut((w - c->TextWidth(text)) / 2, (h - c->TextHeight(text)) / 2, text);
  }
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(border_color_);
  c->FrameRect(ClientRect());
  Canvas()->CopyRect(TRect(0, 0, w, h), c, TRect(0, 0, w, h));
}
