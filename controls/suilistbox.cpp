#include "suilistbox.h"

TsuiListBox::TsuiListBox(TComponent* owner) : TsuiBordered(owner) { MakeBordered(); }
