// A windowless button that shows frames of an image list: frame 0 normal, 2 under
// the mouse, 1 pressed. Stands in for the themed library's image-strip button until
// that library is part of the program.
#pragma once

#include <vcl/controls.h>
#include <vcl/imglist.h>

class TTransparentButton : public TGraphicControl {
 public:
  explicit TTransparentButton(TComponent* owner) : TGraphicControl(owner) {
    SetControlStyle(ControlStyle() & ~(csOpaque | csDoubleClicks));
    SetBounds(0, 0, 40, 40);
  }
  std::string ClassName() const override { return "TTransparentButton"; }

  bool ThreeState() const { return three_state_; }
  void SetThreeState(bool v) { three_state_ = v; }
  int NumGlyphs() const { return num_glyphs_; }
  void SetNumGlyphs(int v) { num_glyphs_ = v; Invalidate(); }
  unsigned BorderWidth() const { return border_width_; }
  void SetBorderWidth(unsigned v) { border_width_ = v; Invalidate(); }
  int ImageIndex() const { return image_index_; }
  void Setimageindex(int v) { image_index_ = v; Invalidate(); }
  TCustomImageList* ImageList() const { return image_list_; }
  void SetImageList(TCustomImageList* v) { image_list_ = v; Invalidate(); }
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v) { transparent_ = v; Invalidate(); }
  bool MouseInside() const { return mouse_inside_; }
  bool Pressed() const { return pressed_; }

  // The frame the button shows now.
  int FrameIndex() const {
    int index = pressed_ ? 1 : mouse_inside_ ? 2 : 0;
    if (num_glyphs_ == 1) index = 0;
    return index + image_index_;
  }

 protected:
  void Paint() override {
    if (!transparent_) {
      Canvas()->Brush()->SetColor(clBtnFace);
      Canvas()->FillRect(TRect(0, 0, Width(), Height()));
    }
    if (image_list_) image_list_->Draw(Canvas(), 0, 0, FrameIndex(), Enabled());
  }
  void CMMouseEnter(TMessage& m) override {
    TGraphicControl::CMMouseEnter(m);
    mouse_inside_ = true;
    Invalidate();
  }
  void CMMouseLeave(TMessage& m) override {
    TGraphicControl::CMMouseLeave(m);
    mouse_inside_ = false;
    Invalidate();
  }
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override {
    TGraphicControl::MouseDown(button, shift, x, y);
    if (button == mbLeft && Enabled()) {
      pressed_ = true;
      Invalidate();
    }
  }
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override {
    pressed_ = false;
    Invalidate();
    TGraphicControl::MouseUp(button, shift, x, y);
  }

 private:
  bool three_state_ = false;
  int num_glyphs_ = 1;
  unsigned border_width_ = 1;
  int image_index_ = 0;
  TCustomImageList* image_list_ = nullptr;
  bool transparent_ = true;
  bool mouse_inside_ = false;
  bool pressed_ = false;
};
