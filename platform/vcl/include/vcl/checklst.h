// A list box with a check box in front of every item.
#pragma once

#include <vcl/export.h>
#include <vcl/stdctrls.h>

class QVCL_API TCheckListBox : public TCustomListBox {
 public:
  explicit TCheckListBox(TComponent* owner);
  std::string ClassName() const override { return "TCheckListBox"; }
  bool Checked(int index) const { return State(index) == cbChecked; }
  void SetChecked(int index, bool v) { SetState(index, v ? cbChecked : cbUnchecked); }
  TCheckBoxState State(int index) const;
  void SetState(int index, TCheckBoxState v);
  bool ItemEnabled(int index) const;
  void SetItemEnabled(int index, bool v);
  bool AllowGrayed = false;
  // Flat boxes have a one-pixel frame instead of the sunken edge.
  bool Flat() const { return flat_; }
  void SetFlat(bool v);
  // A user's click on a box (mouse or Space).
  TNotifyEvent OnClickCheck;

 protected:
  void DrawItem(int index, TRect rect, TOwnerDrawState state) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyPress(char& key) override;
  void ItemInserted(int index) override;
  void ItemDeleted(int index) override;
  void ItemsCleared() override;

 private:
  void Toggle(int index);
  struct ItemState {
    TCheckBoxState state = cbUnchecked;
    bool enabled = true;
  };
  std::vector<ItemState> states_;
  bool flat_ = false;
};
