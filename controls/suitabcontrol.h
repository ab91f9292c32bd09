// A themed tab strip above a framed page area. The strip paints one tab per line
// of Tabs from the style's tab pictures and selects a tab by mouse; the control
// paints the page's background and frame and reports which tab is active.
#pragma once

#include <array>
#include <functional>
#include <memory>

#include <vcl/extctrls.h>

#include "suithemes.h"

using TTabActiveNotify = std::function<void(TObject* sender, int tabIndex)>;

class TsuiTabControl;

class TsuiTabControlTopPanel : public TCustomPanel {
 public:
  // Only the first kMaxTabWidths - 1 tabs record a width, so only they can be
  // chosen by the mouse.
  static constexpr int kMaxTabWidths = 64;

  TsuiTabControlTopPanel(TComponent* owner, TsuiTabControl* tabControl);
  ~TsuiTabControlTopPanel() override;
  std::string ClassName() const override { return "TsuiTabControlTopPanel"; }

  TStrings* Tabs() const { return tabs_.get(); }
  void SetTabs(TStrings* v) { tabs_->Assign(v); }
  int TabIndex() const { return tab_index_; }
  void SetTabIndex(int i);
  int LeftMargin() const { return left_margin_; }
  void SetLeftMargin(int v);
  TsuiUIStyle UIStyle() const { return ui_style_; }
  void SetUIStyle(TsuiUIStyle style);
  // The width recorded for tab i (0 when none).
  int TabWidth(int i) const { return i >= 0 && i < kMaxTabWidths ? widths_[i] : 0; }
  TTabActiveNotify OnTabActive;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void WMEraseBkgnd(TMessage&) override {}
  void OnTabsChange();

 private:
  // The tab widths from the current texts and font, so that adding or removing a
  // tab never leaves a stale span for the mouse.
  void RebuildWidths(TCanvas* canvas);
  // A plain strip for a style without tab pictures.
  void PaintPlain(TCanvas* canvas);
  TsuiTabControl* tab_control_;
  std::unique_ptr<TStringList> tabs_;
  TsuiUIStyle ui_style_ = TsuiUIStyle::Custom;
  int tab_index_ = 0;
  int left_margin_ = 10;
  std::string active_name_, inactive_name_, line_name_;
  std::array<int, kMaxTabWidths> widths_{};
  int active_height_ = 0;
};

class TsuiTabControl : public TCustomPanel {
 public:
  explicit TsuiTabControl(TComponent* owner);
  ~TsuiTabControl() override;
  std::string ClassName() const override { return "TsuiTabControl"; }

  TsuiTabControlTopPanel* TopPanel() const { return top_; }
  TsuiUIStyle UIStyle() const { return ui_style_; }
  void SetUIStyle(TsuiUIStyle style);
  TColor BorderColor() const { return border_color_; }
  void SetBorderColor(TColor v);
  // The tabs' font.
  TFont* TabFont() const { return font_.get(); }
  void SetTabFont(TFont* v);
  TStrings* Tabs() const { return top_->Tabs(); }
  void SetTabs(TStrings* v) { top_->SetTabs(v); }
  int TabIndex() const { return top_->TabIndex(); }
  void SetTabIndex(int i) { top_->SetTabIndex(i); }
  int LeftMargin() const { return top_->LeftMargin(); }
  void SetLeftMargin(int v) { top_->SetLeftMargin(v); }
  TTabActiveNotify OnTabActive() const { return top_->OnTabActive; }
  void SetOnTabActive(TTabActiveNotify v) { top_->OnTabActive = std::move(v); }

 protected:
  void Paint() override;

 private:
  TsuiTabControlTopPanel* top_;
  std::unique_ptr<TFont> font_;
  TsuiUIStyle ui_style_ = TsuiUIStyle::Custom;
  TColor border_color_ = clBlack;
};
