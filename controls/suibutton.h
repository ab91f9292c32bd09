// Themed push buttons, check boxes and radio buttons: owner-painted windowed
// controls that draw a picture per state (normal, mouse over, pressed, disabled)
// and their caption through an off-screen bitmap, with their own mouse and
// keyboard handling.
#pragma once

#include <memory>
#include <string>

#include <vcl/actnlist.h>
#include <vcl/buttons.h>
#include <vcl/controls.h>
#include <vcl/forms.h>
#include <vcl/graphics.h>
#include <vcl/resources.h>

#include "suisetter.h"
#include "suithemes.h"

class TsuiCustomButton : public TCustomControl {
 public:
  explicit TsuiCustomButton(TComponent* owner);
  ~TsuiCustomButton() override;
  std::string ClassName() const override { return "TsuiCustomButton"; }

  // The painted caption, kept apart from the control's text.
  std::string Caption() const { return caption_; }
  void SetCaption(const std::string& v);
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool v) override;
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  TModalResult ModalResult() const { return modal_result_; }
  void SetModalResult(TModalResult v) { modal_result_ = v; }
  TsuiUIStyle UIStyle() const { return ui_style_; }
  void SetUIStyle(TsuiUIStyle v);
  bool TabStop() const { return tab_stop_; }
  void SetTabStop(bool v);
  void SetEnabled(bool v) override;
  // Draw the state picture masked by its top-left pixel colour.
  bool PicTransparent() const { return pic_transparent_; }
  void SetPicTransparent(bool v);
  // 0 stands for the program's own module, the only one that holds pictures.
  HINSTANCE ResHandle() const { return res_handle_ == HInstance ? nullptr : res_handle_; }
  virtual void SetResHandle(HINSTANCE v);

  virtual void SetPicMouseDown(const std::string& name);
  virtual void SetPicMouseOn(const std::string& name);
  virtual void SetPicNormal(const std::string& name);
  virtual std::string GetPicMouseDown() const { return pic_down_; }
  virtual std::string GetPicMouseOn() const { return pic_on_; }
  virtual std::string GetPicNormal() const { return pic_normal_; }

  // The state flags, for whoever paints or tests the control.
  bool MouseOver() const { return mouse_over_; }
  bool Pressed() const { return pressed_; }

  // A linked action gives the control its caption and enabled state; a click
  // runs it unless the control has its own OnClick.
  TBasicAction* Action() const { return action_; }
  void SetAction(TBasicAction* v);

  void Click() override;

  // The control's own click event (not the base control's).
  TNotifyEvent OnClick;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseExit;

 protected:
  virtual void AutoSizeChanged();
  virtual void CaptionChanged() {}
  virtual void FontChanged();
  virtual void TransparentChanged();
  virtual void EnableChanged() {}
  virtual void UIStyleChanged();
  virtual void PaintPic(TCanvas* canvas, TBitmap* bitmap);
  virtual void PaintText(TCanvas* canvas, const std::string& text);
  virtual void PaintFocus(TCanvas* canvas);
  virtual void PaintButtonNormal(TBitmap* bitmap);
  virtual void PaintButtonMouseOn(TBitmap* bitmap);
  virtual void PaintButtonMouseDown(TBitmap* bitmap);
  virtual void PaintButtonDisabled(TBitmap* bitmap);
  // Fills the three picture names for a style.
  virtual void SetButtonPic(TsuiUIStyle style) = 0;

  virtual void ActionChange();
  void Notification(TComponent* component, TOperation operation) override;
  void Paint() override;
  void CMMouseEnter(TMessage& m) override;
  void CMMouseLeave(TMessage& m) override;
  void CMFontChanged(TMessage& m) override;
  void WMEraseBkgnd(TMessage& m) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void CMDialogChar(TMessage& m) override;
  void WMKeyDown(TMessage& m) override;
  void WMKeyUp(TMessage& m) override;
  void WMKillFocus(TMessage& m) override;
  void WMSetFocus(TMessage& m) override;
  void CMFocusChanged(TMessage& m) override;

  // Loads a named picture of the resource module into bitmap (raises when missing).
  void LoadPicture(TBitmap* bitmap, const std::string& name) const;
  // Runs Click as a click in progress (mouse, key or accelerator).
  void ClickNow();

 private:
  std::string pic_normal_, pic_down_, pic_on_;
  bool auto_size_ = false;
  std::string caption_;
  bool tab_stop_ = false;
  bool transparent_ = false;
  TModalResult modal_result_ = mrNone;
  TsuiUIStyle ui_style_ = TsuiUIStyle::Custom;
  bool pic_transparent_ = false;
  bool mouse_over_ = false;
  bool pressed_ = false;
  bool click_in_progress_ = false;
  HINSTANCE res_handle_ = nullptr;
  TBasicAction* action_ = nullptr;
};

// A push button whose pictures come from the theme and stretch to any size, with
// an optional glyph beside the caption.
class TsuiButton : public TsuiCustomButton {
 public:
  explicit TsuiButton(TComponent* owner);
  ~TsuiButton() override;
  std::string ClassName() const override { return "TsuiButton"; }

  TBitmap* Glyph() const { return glyph_.get(); }
  void SetGlyph(TBitmap* v);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout v);
  int Spacing() const { return spacing_; }
  void SetSpacing(int v);
  TPoint CaptionPos() const { return caption_pos_; }

  // Picture names (published as PicNormalResName and so on): a themed button keeps
  // none; naming a picture makes the button Custom.
  void SetPicMouseDown(const std::string& name) override;
  void SetPicMouseOn(const std::string& name) override;
  void SetPicNormal(const std::string& name) override;
  std::string GetPicMouseDown() const override;
  std::string GetPicMouseOn() const override;
  std::string GetPicNormal() const override;

 protected:
  bool CanResize(int& newWidth, int& newHeight) override;
  void UIStyleChanged() override;
  void PaintPic(TCanvas* canvas, TBitmap* bitmap) override;
  void PaintText(TCanvas* canvas, const std::string& text) override;
  void PaintFocus(TCanvas* canvas) override;
  void SetButtonPic(TsuiUIStyle style) override;

 private:
  std::unique_ptr<TBitmap> glyph_;
  TButtonLayout layout_ = blGlyphLeft;
  TPoint caption_pos_;
  int spacing_ = 4;
};

// A push button showing four pictures its user supplies.
class TsuiImageButton : public TsuiCustomButton {
 public:
  explicit TsuiImageButton(TComponent* owner);
  ~TsuiImageButton() override;
  std::string ClassName() const override { return "TsuiImageButton"; }
  TPicture* PicDisabled() const { return pic_disabled_.get(); }
  TPicture* PicNormal() const { return pic_normal_.get(); }
  TPicture* PicMouseDown() const { return pic_mouse_down_.get(); }
  TPicture* PicMouseOn() const { return pic_mouse_on_.get(); }
  void SetPicDisabled(TPicture* v) { SetPicture(pic_disabled_.get(), v); }
  void SetPicNormal(TPicture* v) { SetPicture(pic_normal_.get(), v); }
  void SetPicMouseDown(TPicture* v) { SetPicture(pic_mouse_down_.get(), v); }
  void SetPicMouseOn(TPicture* v) { SetPicture(pic_mouse_on_.get(), v); }

 protected:
  void AutoSizeChanged() override;
  void PaintPic(TCanvas* canvas, TBitmap* bitmap) override;
  void PaintButtonNormal(TBitmap* bitmap) override;
  void PaintButtonMouseOn(TBitmap* bitmap) override;
  void PaintButtonMouseDown(TBitmap* bitmap) override;
  void PaintButtonDisabled(TBitmap* bitmap) override;
  void SetButtonPic(TsuiUIStyle) override {}

 private:
  void SetPicture(TPicture* own, TPicture* v);
  // The state's own picture, else the normal one, else nothing.
  void CopyState(TPicture* own, TBitmap* bitmap);
  std::unique_ptr<TPicture> pic_disabled_, pic_normal_, pic_mouse_down_, pic_mouse_on_;
};

// The two-state members of the family: a picture at the left, the caption to its
// right, and a Checked state that a click changes.
class TsuiCustomButtonEx : public TsuiCustomButton {
 public:
  explicit TsuiCustomButtonEx(TComponent* owner);
  std::string ClassName() const override { return "TsuiCustomButtonEx"; }
  bool Checked() const { return checked_; }
  // Runs in full even when the value does not change.
  void SetChecked(bool v);
  TRect CaptionRect() const { return caption_rect_; }

 protected:
  virtual void DoClick() {}
  virtual void CheckStateChanged() {}
  virtual int GetPicWidth() = 0;
  virtual int GetPicHeight() = 0;
  void AutoSizeChanged() override;
  void CaptionChanged() override;
  void FontChanged() override;
  void UIStyleChanged() override;
  void PaintPic(TCanvas* canvas, TBitmap* bitmap) override;
  void PaintText(TCanvas* canvas, const std::string& text) override;
  void PaintFocus(TCanvas* canvas) override;
  void CMDialogChar(TMessage& m) override;
  void WMKeyUp(TMessage& m) override;
  void Resize() override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void ReplaceControl();
  // The constructors of the concrete classes take the owner's style through here,
  // once their own overrides are in place.
  void TakeOwnerStyle();

 private:
  bool checked_ = false;
  TRect caption_rect_;
};

class TsuiCheckBox : public TsuiCustomButtonEx {
 public:
  explicit TsuiCheckBox(TComponent* owner);
  std::string ClassName() const override { return "TsuiCheckBox"; }

 protected:
  void TransparentChanged() override;
  void EnableChanged() override;
  void UIStyleChanged() override;
  void SetButtonPic(TsuiUIStyle style) override;
  void DoClick() override;
  void CheckStateChanged() override;
  int GetPicWidth() override;
  int GetPicHeight() override;
  void UpdateCheckState();
  // Sets the three names from the theme elements of the given table row.
  void SetPicsFrom(TsuiUIStyle style, const int (&elements)[6]);
  // Size of the style's unchecked check-box picture (0 by 0 without one).
  TPoint PicSize();
  bool constructed_ = false;
};

// Checking a radio button unchecks the other radio buttons of its parent with the
// same GroupIndex.
class TsuiRadioButton : public TsuiCheckBox {
 public:
  explicit TsuiRadioButton(TComponent* owner);
  std::string ClassName() const override { return "TsuiRadioButton"; }
  int GroupIndex() const { return group_index_; }
  void SetGroupIndex(int v) { group_index_ = v; }

 protected:
  void TransparentChanged() override;
  void SetButtonPic(TsuiUIStyle style) override;
  void DoClick() override;
  void CheckStateChanged() override;
  void UnCheckGroup();

 private:
  int group_index_ = 0;
};
