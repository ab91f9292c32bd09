// The class library's combo box with a flat look: a one-colour drop-down button
// with a small arrow and a one-pixel frame, painted over the standard control.
#pragma once

#include <string>

#include <vcl/stdctrls.h>

#include "suithemes.h"

class TsuiComboBox : public TCustomComboBox {
 public:
  explicit TsuiComboBox(TComponent* owner);
  std::string ClassName() const override { return "TsuiComboBox"; }

  TColor BorderColor() const { return border_color_; }
  void SetBorderColor(TColor v);
  TColor ButtonColor() const { return button_color_; }
  void SetButtonColor(TColor v);
  TColor ArrowColor() const { return arrow_color_; }
  void SetArrowColor(TColor v);
  TsuiUIStyle UIStyle() const { return ui_style_; }
  void SetUIStyle(TsuiUIStyle v);
  void SetEnabled(bool v) override;

 protected:
  void WMPaint(TMessage& m) override;
  void WMEraseBkgnd(TMessage& m) override;
  // The flat button over the rightmost 18 pixels, drawn on the paint context.
  void DrawButton(HDC dc);
  void DrawArrow(TCanvas* canvas, int x, int y);

 private:
  TColor border_color_ = clBlack;
  TColor button_color_ = clBlack;
  TColor arrow_color_ = clBlack;
  TsuiUIStyle ui_style_ = TsuiUIStyle::Custom;
};
