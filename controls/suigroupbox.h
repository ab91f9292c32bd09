// A themed frame with a caption on its top line.
#pragma once

#include "suiimagepanel.h"

class TsuiCustomGroupBox : public TsuiCustomPanel {
 public:
  explicit TsuiCustomGroupBox(TComponent* owner);
  std::string ClassName() const override { return "TsuiCustomGroupBox"; }
  void SetEnabled(bool v) override;
  TColor BorderColor() const { return border_color_; }
  void SetBorderColor(TColor v);
  // The frame's caption, kept apart from the panel's own text (" ").
  std::string Caption() const { return caption_; }
  void SetCaption(const std::string& v);
  // Where the contents go: inside the frame and under the caption.
  TRect GetClient() const;
  void UpdateUIStyle(TsuiUIStyle style) override;

 protected:
  void Paint() override;
  void CMFontChanged(TMessage& m) override;
  void CMTextChanged(TMessage&) override { Repaint(); }
  std::string PanelCaption() const override { return ""; }

 private:
  TColor border_color_ = clBlack;
  std::string caption_;
};

class TsuiGroupBox : public TsuiCustomGroupBox {
 public:
  using TsuiCustomGroupBox::TsuiCustomGroupBox;
  std::string ClassName() const override { return "TsuiGroupBox"; }
};
