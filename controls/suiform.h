// A panel that turns the form it is dropped on into a themed window: no frame of
// the form's own, a border drawn round the client area, a themed title bar at the
// top, the main menu as a bar of flat buttons under it, and a hook on the form's
// window procedure for sizing by the edges, activation and keyboard shortcuts.
#pragma once

#include <memory>
#include <string>

#include <vcl/comctrls.h>
#include <vcl/extctrls.h>
#include <vcl/forms.h>
#include <vcl/menus.h>

#include "suithemes.h"
#include "suititlebar.h"

class TsuiForm : public TCustomPanel, public IsuiFormTheme {
 public:
  explicit TsuiForm(TComponent* owner);
  ~TsuiForm() override;
  std::string ClassName() const override { return "TsuiForm"; }
  TsuiUIStyle FormUIStyle() const override { return ui_style_; }

  TsuiUIStyle UIStyle() const { return ui_style_; }
  void SetUIStyle(TsuiUIStyle v);
  TColor BorderColor() const { return border_color_; }
  void SetBorderColor(TColor v);
  int BorderWidth() const { return border_width_; }
  void SetBorderWidth(int v);
  // Without a title bar (an owner that is not a form, or a bar freed by its user)
  // the title-bar properties answer from the panel: the caption it was given, no
  // buttons or sections, no icon, the panel's own font; setting them changes nothing else.
  std::string Caption() const;
  void SetCaption(const std::string& v);
  TCustomPanel* FormPanel() const { return form_panel_; }
  void SetPanel(TCustomPanel* p);
  TsuiTitleBarButtons* TitleBarButtons() const { return title_bar_ ? title_bar_->Buttons() : nullptr; }
  void SetButtons(TsuiTitleBarButtons* v);
  TsuiTitleBarSections* TitleBarSections() const { return title_bar_ ? title_bar_->Sections() : nullptr; }
  void SetSections(TsuiTitleBarSections* v);
  bool TitleBarDrawAppIcon() const { return title_bar_ && title_bar_->DrawAppIcon(); }
  void SetDrawAppIcon(bool v);
  TFont* TitleFont() const;
  void SetFont(TFont* v);
  TMainMenu* Menu() const { return menu_; }
  void SetMenu(TMainMenu* m);
  TColor MenuBarColor() const { return menu_bar_color_; }
  void SetMenuBarColor(TColor v);
  int MenuBarHeight() const { return menu_bar_height_; }
  void SetMenuBarHeight(int h);
  void SetHeight(int h);
  void SetWidth(int w);
  void SetOnBtnClick(TsuiTitleBarButtonClickEvent e);
  void SetOnHelpBtnClick(TsuiTitleBarButtonClickEvent e);

  TsuiTitleBar* TitleBar() const { return title_bar_; }
  TToolBar* MenuBar() const { return menu_bar_; }
  TCustomForm* SkinnedForm() const { return form_; }

  void CreateMenuBar();
  void DestroyMenuBar();
  void UpdateMenu();
  void RepaintMenuBar();
  void AlignSelf();
  void PaintFormBorder();
  // The sizing code for a screen point in the form's 5-pixel band; HTNOWHERE
  // outside it, while the form is maximised or when it was not sizeable.
  LRESULT SizingHit(int screenX, int screenY) const;

 protected:
  void Paint() override;
  void Notification(TComponent* component, TOperation operation) override;
  void WndProc(TMessage& m) override;
  void WMEraseBkgnd(TMessage& m) override;
  void WMNCHitTest(TMessage& m) override;
  void NewParentWndProc(TMessage& m);
  void OnApplicationMessage(MSG& msg, bool& handled);
  bool ProcessKeyPress(TMessage& m);
  void DrawButton(TToolBar* bar, TToolButton* button, TCustomDrawState state, bool& defaultDraw);
  void DrawMenuBar(TToolBar* bar, const TRect& rect, bool& defaultDraw);

 private:
  struct Hook;
  TsuiUIStyle MenuStyle() const;
  TCustomForm* form_ = nullptr;
  TsuiTitleBar* title_bar_ = nullptr;
  TToolBar* menu_bar_ = nullptr;
  std::shared_ptr<Hook> hook_;
  bool installed_app_hook_ = false;
  TRect form_bounds_;
  bool form_maximized_ = false;
  TFormBorderStyle form_border_style_ = bsSizeable;
  TsuiUIStyle ui_style_ = TsuiUIStyle::Custom;
  TColor border_color_ = clBlack;
  int border_width_ = 1;
  TColor menu_bar_color_ = clBtnFace;
  int menu_bar_height_ = 22;
  TMainMenu* menu_ = nullptr;
  TCustomPanel* form_panel_ = nullptr;
  std::string caption_;
};
