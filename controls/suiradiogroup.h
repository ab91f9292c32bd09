// Button groups: a group box holding one themed check box (or radio button) per
// line of its Items, laid out in columns.
#pragma once

#include <memory>
#include <vector>

#include "suibutton.h"
#include "suigroupbox.h"

class TsuiCheckGroup : public TsuiCustomGroupBox {
 public:
  explicit TsuiCheckGroup(TComponent* owner);
  ~TsuiCheckGroup() override;
  std::string ClassName() const override { return "TsuiCheckGroup"; }

  TStrings* Items() const { return items_.get(); }
  void SetItems(TStrings* v) { items_->Assign(v); }
  int Columns() const { return columns_; }
  void SetColumns(int v);
  int TopMargin() const { return top_margin_; }
  void SetTopMargin(int v);
  TsuiUIStyle UIStyle() const { return ui_style_; }
  void SetUIStyle(TsuiUIStyle v);
  void SetTransparent(bool v) override;
  void UpdateUIStyle(TsuiUIStyle style) override;
  // Outside the buttons: false, and setting does nothing.
  bool GetChecked(int index) const;
  void SetChecked(int index, bool value);
  int ButtonCount() const { return static_cast<int>(buttons_.size()); }
  TsuiCheckBox* Button(int index) const { return buttons_.at(index); }

  // Runs whether the group itself or one of its buttons was clicked.
  TNotifyEvent OnClick;

 protected:
  virtual TsuiCheckBox* CreateAButton();
  void Notification(TComponent* component, TOperation operation) override;
  void Resize() override;
  bool UpdateButtons();
  void ArrangeButtons();
  void ItemChanged();
  void DoClick();

 private:
  std::unique_ptr<TStringList> items_;
  std::vector<TsuiCheckBox*> buttons_;
  int columns_ = 1;
  int top_margin_ = 8;
  TsuiUIStyle ui_style_ = TsuiUIStyle::DeepBlue;
};

class TsuiRadioGroup : public TsuiCheckGroup {
 public:
  explicit TsuiRadioGroup(TComponent* owner);
  std::string ClassName() const override { return "TsuiRadioGroup"; }
  // The first checked button, -1 when none.
  int ItemIndex() const;
  // -1 clears the group; a value outside -1 .. Items-1 changes nothing.
  void SetItemIndex(int i);

 protected:
  TsuiCheckBox* CreateAButton() override;
};
