#include "suichecklistbox.h"

TsuiCheckListBox::TsuiCheckListBox(TComponent* owner) : TsuiBordered(owner) {
  SetFlat(true);
  SetBorderStyle(bsNone);
  SetBorderWidth(1);
}
