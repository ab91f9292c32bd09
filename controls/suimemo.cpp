#include "suimemo.h"

namespace {
[[maybe_unused]] const bool kApplyRow = RegisterBorderedRow<TsuiMemo>(TsuiApplyRow::Memo);
}  // namespace

TsuiMemo::TsuiMemo(TComponent* owner) : TsuiBordered(owner) { MakeBordered(); }
