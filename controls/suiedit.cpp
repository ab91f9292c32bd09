#include "suiedit.h"

namespace {
[[maybe_unused]] const bool kApplyRow = RegisterBorderedRow<TsuiEdit>(TsuiApplyRow::Edit);
}  // namespace

TsuiEdit::TsuiEdit(TComponent* owner) : TsuiBordered(owner) { MakeBordered(); }
