#include "suicombobox.h"

#include <memory>

#include <vcl/forms.h>
#include <vcl/resources.h>

#include "suipublic.h"
#include "suisetter.h"

namespace {

// ContainerApplyUIStyle's row: the combo box always takes the style.
[[maybe_unused]] const bool kApplyRow = [] {
  RegisterContainerApplier(TsuiApplyRow::ComboBox, &ApplyStyleTo<TsuiComboBox>);
  return true;
}();

}  // namespace

TsuiComboBox::TsuiComboBox(TComponent* owner) : TCustomComboBox(owner) {
  SetControlStyle(ControlStyle() | csOpaque);
  SetBorderWidth(0);
  SetUIStyle(GetSUIFormStyle(owner));
}

void TsuiComboBox::SetUIStyle(TsuiUIStyle v) {
  ui_style_ = v;
  button_color_ = GetThemeColor(v, 73);
  arrow_color_ = GetThemeColor(v, 7);
  border_color_ = GetThemeColor(v, 7);
  Repaint();
}

void TsuiComboBox::SetBorderColor(TColor v) { StoreAndRepaint(this, border_color_, v); }
void TsuiComboBox::SetButtonColor(TColor v) { StoreAndRepaint(this, button_color_, v); }
void TsuiComboBox::SetArrowColor(TColor v) { StoreAndRepaint(this, arrow_color_, v); }

void TsuiComboBox::SetEnabled(bool v) {
  TCustomComboBox::SetEnabled(v);
  Repaint();
}

void TsuiComboBox::WMPaint(TMessage& m) {
  TCustomComboBox::WMPaint(m);
  // Without a context the standard handling has asked for a real paint, which
  // comes back here with one.
  if (!m.DC()) return;
  DrawButton(m.DC());
  DrawControlBorder(this, border_color_, Color());
}

void TsuiComboBox::WMEraseBkgnd(TMessage& m) {
  TCustomComboBox::WMEraseBkgnd(m);
  DrawControlBorder(this, border_color_, Color());
}

void TsuiComboBox::DrawButton(HDC dc) {
  TRect r(Width() - 18, 0, Width(), Height());
  TCanvas canvas;
  canvas.SetHandle(dc);
  if (ui_style_ == TsuiUIStyle::MacOS) {
    // Loaded at every paint: nothing is cached.
    TBitmap pic;
    try {
      pic.LoadFromResourceName(nullptr, "MACOS_COMBOBOX_BUTTON");
      canvas.Draw(r.Left, r.Top + 2, &pic);
    } catch (const std::exception&) {
      // A missing picture leaves the standard button showing.
    }
  } else {
    canvas.Brush()->SetStyle(bsSolid);
    canvas.Brush()->SetColor(button_color_);
    canvas.FillRect(r);
  }
  int x = r.Left + (r.Right - r.Left) / 2 - 5;
  int y = (r.Bottom - r.Top) / 2 - 1;
  DrawArrow(&canvas, x, y);
  canvas.SetHandle(nullptr);
}

void TsuiComboBox::DrawArrow(TCanvas* canvas, int x, int y) {
  auto triangle = [canvas](int x0, int y0, TColor color) {
    canvas->Pen()->SetStyle(psSolid);
    canvas->Pen()->SetWidth(1);
    canvas->Pen()->SetColor(color);
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(color);
    canvas->Polygon({TPoint(x0, y0), TPoint(x0 + 6, y0), TPoint(x0 + 3, y0 + 3)});
  };
  if (Enabled()) {
    triangle(x, y, arrow_color_);
  } else {
    triangle(x + 1, y + 1, clWhite);
    triangle(x, y, clGray);
  }
}
