#include "suilistbox.h"

namespace {
[[maybe_unused]] const bool kApplyRow = RegisterBorderedRow<TsuiListBox>(TsuiApplyRow::ListBox);
}  // namespace

TsuiListBox::TsuiListBox(TComponent* owner) : TsuiBordered(owner) { MakeBordered(); }
