// A 12-pixel-thick themed progress bar, horizontal or vertical: a stretched
// picture over the filled part, a flat track colour over the rest, a one-pixel
// frame and the percentage as a centred caption.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <vcl/extctrls.h>

#include "suithemes.h"

enum TsuiProgressBarOrientation : std::uint8_t { suiHorizontal, suiVertical };

class TsuiProgressBar : public TCustomPanel {
 public:
  explicit TsuiProgressBar(TComponent* owner);
  ~TsuiProgressBar() override;
  std::string ClassName() const override { return "TsuiProgressBar"; }

  int Max() const { return max_; }
  void SetMax(int v);
  int Min() const { return min_; }
  void SetMin(int v);
  int Position() const { return position_; }
  void SetPosition(int v);
  TsuiUIStyle UIStyle() const { return ui_style_; }
  void SetUIStyle(TsuiUIStyle v);
  TsuiProgressBarOrientation Orientation() const { return orientation_; }
  void SetOrientation(TsuiProgressBarOrientation v);
  TColor BorderColor() const { return border_color_; }
  void SetBorderColor(TColor v);
  // The track colour: the bar's own, in place of the panel's.
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  TPicture* Picture() const { return picture_.get(); }
  void SetPicture(TPicture* v);
  bool ShowCaption() const { return show_caption_; }
  void SetShowCaption(bool v);
  TColor CaptionColor() const { return caption_color_; }
  void SetCaptionColor(TColor v);

  // (Position - Min) * 100 div (Max - Min), worked out in 64 bits so that wide
  // ranges cannot overflow; 0 when the range is empty.
  int GetPercentFromPosition() const;
  // How much of `length` is filled: 0 at or below Min, all of it above Max.
  int GetWidthFromPosition(int length) const;

 protected:
  bool CanResize(int& newWidth, int& newHeight) override;
  void Paint() override;
  void UpdateBar(int length);
  void UpdatePicture();
  void UpdateProgress();

 private:
  int max_ = 100, min_ = 0, position_ = 50;
  TsuiUIStyle ui_style_ = TsuiUIStyle::Custom;
  TsuiProgressBarOrientation orientation_ = suiHorizontal;
  TColor border_color_ = clBlack;
  TColor color_ = clBtnFace;
  std::unique_ptr<TPicture> picture_;
  bool show_caption_ = true;
  TColor caption_color_ = clBlack;
};
