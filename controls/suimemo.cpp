#include "suimemo.h"

TsuiMemo::TsuiMemo(TComponent* owner) : TsuiBordered(owner) { MakeBordered(); }
