#include "suiedit.h"

TsuiEdit::TsuiEdit(TComponent* owner) : TsuiBordered(owner) { MakeBordered(); }
