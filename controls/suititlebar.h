// A themed caption bar for a borderless form: bitmap sections (left piece,
// stretched middle, right piece), a caption, caption buttons drawn from pictures
// per state, dragging the form by the bar, double click to maximise, and the
// rounded top corners of the form's window shape.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <vcl/extctrls.h>
#include <vcl/menus.h>

#include "suithemes.h"

// Scoped, so that a unit can also use the side channel's suiLeft and suiRight:
// TsuiTitleBarAlign::suiLeft, or `using enum TsuiTitleBarAlign;` where only this one is meant.
enum class TsuiTitleBarAlign : std::uint8_t { suiLeft, suiRight, suiClient };
enum TsuiTitleBarBtnType : std::uint8_t { suiMax, suiMin, suiClose, suiHelp, suiControlBox, suiCustom };

class TsuiTitleBar;
using TsuiTitleBarButtonClickEvent = std::function<void(TObject* sender, int buttonIndex)>;

class TsuiTitleBarSection : public TCollectionItem {
 public:
  explicit TsuiTitleBarSection(TCollection* collection);
  ~TsuiTitleBarSection() override;
  std::string ClassName() const override { return "TsuiTitleBarSection"; }
  void Assign(TPersistent* source) override;

  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool v);
  int Width() const { return width_; }
  void SetWidth(int v);
  TsuiTitleBarAlign Align() const { return align_; }
  void SetAlign(TsuiTitleBarAlign v);
  TPicture* Picture() const { return picture_.get(); }
  void SetPicture(TPicture* v);
  bool Stretch() const { return stretch_; }
  void SetStretch(bool v);

 private:
  void Repaint();
  bool auto_size_ = false;
  int width_ = 10;
  TsuiTitleBarAlign align_ = TsuiTitleBarAlign::suiLeft;
  std::unique_ptr<TPicture> picture_;
  bool stretch_ = false;
};

class TsuiTitleBarSections : public TCollection {
 public:
  explicit TsuiTitleBarSections(TsuiTitleBar* bar);
  std::string ClassName() const override { return "TsuiTitleBarSections"; }
  TsuiTitleBarSection* Add() { return static_cast<TsuiTitleBarSection*>(TCollection::Add()); }
  TsuiTitleBarSection* Items(int i) const { return static_cast<TsuiTitleBarSection*>(TCollection::Items(i)); }
  TsuiTitleBar* Bar() const { return bar_; }

 protected:
  void Update(TCollectionItem* item) override;

 private:
  TsuiTitleBar* bar_;
};

class TsuiTitleBarButton : public TCollectionItem {
 public:
  explicit TsuiTitleBarButton(TCollection* collection);
  ~TsuiTitleBarButton() override;
  std::string ClassName() const override { return "TsuiTitleBarButton"; }
  void Assign(TPersistent* source) override;

  TsuiTitleBarBtnType ButtonType() const { return type_; }
  void SetButtonType(TsuiTitleBarBtnType v);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  int Top() const { return top_; }
  void SetTop(int v);
  TsuiUIStyle UIStyle() const { return ui_style_; }
  void SetUIStyle(TsuiUIStyle v);
  TPopupMenu* ControlBoxMenu = nullptr;
  TPicture* PicNormal() const { return pic_normal_.get(); }
  void SetPicNormal(TPicture* v);
  TPicture* PicMouseOn() const { return pic_mouse_on_.get(); }
  void SetPicMouseOn(TPicture* v);
  TPicture* PicMouseDown() const { return pic_mouse_down_.get(); }
  void SetPicMouseDown(TPicture* v);

  void UpdateUIStyle();
  void DoClick();
  void ProcessMaxBtn();

 private:
  TsuiTitleBar* Bar() const;
  bool SetPic(TPicture* target, TPicture* v);
  void LoadPictures(int normal, int mouseOn, int mouseDown);
  void Repaint();
  TsuiTitleBarBtnType type_ = suiCustom;
  bool transparent_ = false;
  int top_ = 2;
  TsuiUIStyle ui_style_ = TsuiUIStyle::DeepBlue;
  std::unique_ptr<TPicture> pic_normal_, pic_mouse_on_, pic_mouse_down_;
};

class TsuiTitleBarButtons : public TCollection {
 public:
  explicit TsuiTitleBarButtons(TsuiTitleBar* bar);
  std::string ClassName() const override { return "TsuiTitleBarButtons"; }
  TsuiTitleBarButton* Add() { return static_cast<TsuiTitleBarButton*>(TCollection::Add()); }
  TsuiTitleBarButton* Items(int i) const { return static_cast<TsuiTitleBarButton*>(TCollection::Items(i)); }
  TsuiTitleBar* Bar() const { return bar_; }

 protected:
  void Update(TCollectionItem* item) override;

 private:
  TsuiTitleBar* bar_;
};

class TsuiTitleBar : public TCustomPanel {
 public:
  explicit TsuiTitleBar(TComponent* owner);
  ~TsuiTitleBar() override;
  std::string ClassName() const override { return "TsuiTitleBar"; }

  bool AutoSize() const { return auto_size_; }
  void FSetAutoSize(bool v);
  TsuiTitleBarSections* Sections() const { return sections_.get(); }
  void SetSections(TsuiTitleBarSections* v);
  TsuiUIStyle UIStyle() const { return ui_style_; }
  void SetUIStyle(TsuiUIStyle v);
  TsuiTitleBarButtons* Buttons() const { return buttons_.get(); }
  void SetButtons(TsuiTitleBarButtons* v);
  int ButtonInterval() const { return button_interval_; }
  void SetButtonInterval(int v);
  std::string Caption() const { return caption_; }
  void SetCaption(const std::string& v);
  void SetFont(TFont* v);
  bool FormActive() const { return form_active_; }
  void SetActive(bool v);
  int LeftBtnXOffset() const { return left_offset_; }
  void SetLeftBtnXOffset(int v);
  int RightBtnXOffset() const { return right_offset_; }
  void SetRightBtnXOffset(int v);
  bool DrawAppIcon() const { return draw_app_icon_; }
  void SetDrawAppIcon(bool v);
  TsuiTitleBarButtonClickEvent OnCustomBtnsClick;
  TsuiTitleBarButtonClickEvent OnHelpBtnClick;

  // True when the bar's parent is a themed form panel.
  bool InForm() const;
  // After each resize of the skinned form: the rounded corners again.
  void OnFormReSize();
  // Only the top corners of the parent form's window shape are rounded by r.
  void SetFormRoundCorner(int r);
  // The button under the mouse at the last paint, -1 for none.
  int HotIndex() const { return hot_index_; }
  bool Pressed() const { return pressed_; }

 protected:
  void Paint() override;
  virtual void DrawSectionsTo(TBitmap* buffer);
  virtual void DrawButtons(TBitmap* buffer);
  void DblClick() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void CMMouseLeave(TMessage& m) override;
  void WMEraseBkgnd(TMessage& m) override;
  void WMNCHitTest(TMessage& m) override;

 private:
  // The picture of a button for the cursor and pressed state; marks it hot.
  TPicture* StatePicture(TsuiTitleBarButton* b, int index, const TRect& r, TPoint cursor);
  bool auto_size_ = false;
  std::unique_ptr<TsuiTitleBarSections> sections_;
  std::unique_ptr<TsuiTitleBarButtons> buttons_;
  TsuiUIStyle ui_style_ = TsuiUIStyle::DeepBlue;
  int button_interval_ = 0;
  std::string caption_;
  bool form_active_ = true;
  int left_offset_ = 0, right_offset_ = 0;
  bool draw_app_icon_ = false;
  bool pressed_ = false;
  int hot_index_ = -1;
  int radius_ = 0;
};
