#include "suigroupbox.h"

#include <cstdlib>

#include "suisetter.h"

namespace {

[[maybe_unused]] const bool kApplyRows = [] {
  // A plain group box takes the style's colours; its children are reached through
  // its own update. The button groups have their own row.
  RegisterContainerApplier(TsuiApplyRow::GroupBox, [](TControl* child, TsuiUIStyle style) {
    if (auto* g = dynamic_cast<TsuiGroupBox*>(child)) {
      g->SetBorderColor(GetThemeColor(style, 7));
      g->Font()->SetColor(GetThemeColor(style, 9));
      g->SetColor(GetThemeColor(style, 8));
    }
  });
  RegisterSubContainerApplier(TsuiSubApplyRow::GroupBox, &UpdateStyleOf<TsuiGroupBox>);
  return true;
}();

}  // namespace

TsuiCustomGroupBox::TsuiCustomGroupBox(TComponent* owner) : TsuiCustomPanel(owner) {
  SetBevelOuter(bvNone);
  SetBevelInner(bvNone);
  SetBounds(Left(), Top(), 185, 105);
  TsuiUIStyle style = GetSUIFormStyle(owner);
  border_color_ = GetThemeColor(style, 7);
  Font()->SetColor(GetThemeColor(style, 9));
  TCustomPanel::SetText(" ");
  caption_ = "suiGroupBox";
  SetTransparent(true);
}

void TsuiCustomGroupBox::SetEnabled(bool v) {
  TsuiCustomPanel::SetEnabled(v);
  for (int i = 0; i < ControlCount(); ++i) Controls(i)->SetEnabled(v);
  Repaint();
}

void TsuiCustomGroupBox::SetBorderColor(TColor v) { StoreAndRepaint(this, border_color_, v); }
void TsuiCustomGroupBox::SetCaption(const std::string& v) { StoreAndRepaint(this, caption_, v); }
void TsuiCustomGroupBox::CMFontChanged(TMessage& m) {
  TsuiCustomPanel::CMFontChanged(m);
  Repaint();
}

void TsuiCustomGroupBox::UpdateUIStyle(TsuiUIStyle style) { ContainerApplyUIStyle(this, style); }

TRect TsuiCustomGroupBox::GetClient() const {
  TRect r = ClientRect();
  return TRect(r.Left + 3, r.Top + std::abs(Font()->Height()), r.Right - 2, r.Bottom - 2);
}

void TsuiCustomGroupBox::Paint() {
  TsuiCustomPanel::Paint();
  TCanvas* c = Canvas();
  c->Font()->Assign(Font());
  TRect r = ClientRect();
  const int y = r.Top + std::abs(Font()->Height()) / 2 + 1;
  c->Pen()->SetColor(border_color_);
  c->Polyline({TPoint(r.Left + 2, y), TPoint(r.Left, y), TPoint(r.Left, r.Bottom - 1), TPoint(r.Right - 1, r.Bottom - 1),
               TPoint(r.Right - 1, y), TPoint(r.Left + c->TextWidth(caption_) + 6, y)});
  if (!Enabled()) c->Font()->SetColor(static_cast<TColor>(0x808080));
  c->Brush()->SetStyle(bsClear);
  c->TextOut(5, 0, caption_);
}
