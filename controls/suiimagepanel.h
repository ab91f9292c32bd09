// A panel that shows a picture (natural size, stretched or tiled), can take the
// look of what lies under it, can size itself to the picture, and writes its
// caption aligned in the client area or at a fixed position.
#pragma once

#include <cstdint>
#include <memory>

#include <vcl/extctrls.h>

#include "suithemes.h"

enum TsuiDrawStyle : std::uint8_t { suiNormal, suiStretch, suiTile };

class TsuiCustomPanel : public TCustomPanel {
 public:
  explicit TsuiCustomPanel(TComponent* owner);
  ~TsuiCustomPanel() override;
  std::string ClassName() const override { return "TsuiCustomPanel"; }

  TPicture* Picture() const { return picture_.get(); }
  void SetPicture(TPicture* v);
  bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool v);
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool v) override;
  TsuiDrawStyle DrawStyle() const { return draw_style_; }
  void SetDrawStyle(TsuiDrawStyle v);
  // -1 means the position is not set: the caption is then aligned.
  int CaptionPosX() const { return caption_x_; }
  int CaptionPosY() const { return caption_y_; }
  void SetCaptionPosX(int v);
  void SetCaptionPosY(int v);
  TRect CaptionRect() const { return caption_rect_; }
  virtual void UpdateUIStyle(TsuiUIStyle style);

 protected:
  void Paint() override;
  virtual void ClearPanel();
  // A hook for descendants, given the caption's last rectangle.
  virtual void RepaintText(const TRect&) {}
  virtual void PictureChanged(TObject* sender);
  void Resize() override;
  void CMTextChanged(TMessage& m) override;
  void WMEraseBkgnd(TMessage&) override {}
  void ApplyAutoSize();
  void ApplyTransparent();
  // The caption drawn by Paint; descendants that write their own return "".
  virtual std::string PanelCaption() const { return GetText(); }

 private:
  std::unique_ptr<TPicture> picture_;
  bool transparent_ = false;
  bool auto_size_ = false;
  TsuiDrawStyle draw_style_ = suiNormal;
  int caption_x_ = -1, caption_y_ = -1;
  TRect caption_rect_;
};

class TsuiImagePanel : public TsuiCustomPanel {
 public:
  using TsuiCustomPanel::TsuiCustomPanel;
  std::string ClassName() const override { return "TsuiImagePanel"; }
};
