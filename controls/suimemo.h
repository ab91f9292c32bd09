// A multi-line edit with the flat frame of the bordered family.
#pragma once

#include <string>

#include <vcl/stdctrls.h>

#include "suibordered.h"

class TsuiMemo : public TsuiBordered<TCustomMemo> {
 public:
  explicit TsuiMemo(TComponent* owner);
  std::string ClassName() const override { return "TsuiMemo"; }
};
