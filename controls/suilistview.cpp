#include "suilistview.h"

TsuiListView::TsuiListView(TComponent* owner) : TsuiBordered(owner) { MakeBordered(); }
