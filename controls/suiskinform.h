// Gives its form the shape and face of a bitmap: the form loses its frame, its
// window region becomes the bitmap's pixels other than a transparent colour, its
// client area takes the bitmap's size, and pressing the mouse on it drags the form.
#pragma once

#include <memory>

#include <vcl/controls.h>
#include <vcl/forms.h>

class TsuiSkinForm : public TGraphicControl {
 public:
  explicit TsuiSkinForm(TComponent* owner);
  ~TsuiSkinForm() override;
  std::string ClassName() const override { return "TsuiSkinForm"; }

  TBitmap* Glyph() const { return glyph_.get(); }
  void SetPicture(TBitmap* v);
  TColor TransparentColor() const { return transparent_color_; }
  void SetColor(TColor v);
  // The owner when it is a form; null otherwise (the control then shapes nothing).
  TForm* Form() const { return form_; }
  void ReSetWndRgn();

  TNotifyEvent OnRegionChanged;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;

 private:
  TForm* form_ = nullptr;
  std::unique_ptr<TBitmap> glyph_;
  TColor transparent_color_ = static_cast<TColor>(0xFF00FF);
};
