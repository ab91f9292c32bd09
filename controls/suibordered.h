// The bordered family: standard controls whose own border is replaced by two
// one-pixel frames, the outer one in BorderColor and the inner one in the
// control's colour. Each member is one of these over its standard base.
#pragma once

#include <vcl/forms.h>

#include "suipublic.h"
#include "suisetter.h"
#include "suithemes.h"

template <class Base>
class TsuiBordered : public Base {
 public:
  // The frame colour starts as the owning form's theme border colour.
  explicit TsuiBordered(TComponent* owner)
      : Base(owner), border_color_(GetBorderColor(owner)) {}

  TColor BorderColor() const { return border_color_; }
  void SetBorderColor(TColor v) { StoreAndRepaint(this, border_color_, v); }

 protected:
  // The standard constructor work of all but the check list box: opaque, no own
  // border, two pixels left free for the frames.
  void MakeBordered() {
    this->SetControlStyle(this->ControlStyle() | csOpaque);
    this->SetBorderStyle(bsNone);
    this->SetBorderWidth(2);
  }
  void WMPaint(TMessage& m) override {
    Base::WMPaint(m);
    if (m.DC()) DrawControlBorder(this, border_color_, this->Color());
  }
  void WMEraseBkgnd(TMessage& m) override {
    TWinControl::WMEraseBkgnd(m);
    DrawControlBorder(this, border_color_, this->Color());
  }

 private:
  TColor border_color_;
};

// Registers the family member's row of ContainerApplyUIStyle: the frame takes the
// style's border colour, whatever it was.
template <class T>
bool RegisterBorderedRow(TsuiApplyRow row) {
  RegisterContainerApplier(row, [](TControl* child, TsuiUIStyle style) {
    if (auto* c = dynamic_cast<T*>(child)) c->SetBorderColor(GetThemeColor(style, 7));
  });
  return true;
}
