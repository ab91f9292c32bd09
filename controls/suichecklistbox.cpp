#include "suichecklistbox.h"

namespace {
[[maybe_unused]] const bool kApplyRow = RegisterBorderedRow<TsuiCheckListBox>(TsuiApplyRow::CheckListBox);
}  // namespace

TsuiCheckListBox::TsuiCheckListBox(TComponent* owner) : TsuiBordered(owner) {
  SetFlat(true);
  SetBorderStyle(bsNone);
  SetBorderWidth(1);
}
