// TMyLabel: a label that draws its caption twice more over the ordinary label, in
// a back colour at the top-left corner and in a front colour two pixels lower and
// to the right, which gives it a shadowed, embossed look.
#pragma once

#include <vcl/stdctrls.h>

class TMyLabel : public TCustomLabel {
 public:
  explicit TMyLabel(TComponent* owner);
  ~TMyLabel() override;
  std::string ClassName() const override { return "TMyLabel"; }

  TColor BKColor() const { return bk_color_; }
  void SetBkColor(TColor v);
  TColor PREColor() const { return pre_color_; }
  void SetPreColor(TColor v);
  // The label's sizing, then one pixel wider.
  void SetAutoSize(bool v) override;

 protected:
  void Paint() override;

 private:
  TColor bk_color_ = 0;
  TColor pre_color_ = 0;
};

// The unit's routines, run with the program's other unit routines: they only count.
void Mylabel_Initialization();
void Mylabel_Finalization();
