// A single-line edit with the flat frame of the bordered family.
#pragma once

#include <string>

#include <vcl/stdctrls.h>

#include "suibordered.h"

class TsuiEdit : public TsuiBordered<TCustomEdit> {
 public:
  explicit TsuiEdit(TComponent* owner);
  std::string ClassName() const override { return "TsuiEdit"; }
};
