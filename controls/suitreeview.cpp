#include "suitreeview.h"

namespace {
[[maybe_unused]] const bool kApplyRow = RegisterBorderedRow<TsuiTreeView>(TsuiApplyRow::TreeView);
}  // namespace

TsuiTreeView::TsuiTreeView(TComponent* owner) : TsuiBordered(owner) { MakeBordered(); }
