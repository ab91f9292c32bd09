#include "suilistview.h"

namespace {
[[maybe_unused]] const bool kApplyRow = RegisterBorderedRow<TsuiListView>(TsuiApplyRow::ListView);
}  // namespace

TsuiListView::TsuiListView(TComponent* owner) : TsuiBordered(owner) { MakeBordered(); }
