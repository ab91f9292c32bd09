#include "suitreeview.h"

TsuiTreeView::TsuiTreeView(TComponent* owner) : TsuiBordered(owner) { MakeBordered(); }
