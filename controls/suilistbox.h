// A list box with the flat frame of the bordered family.
#pragma once

#include <string>

#include <vcl/stdctrls.h>

#include "suibordered.h"

class TsuiListBox : public TsuiBordered<TCustomListBox> {
 public:
  explicit TsuiListBox(TComponent* owner);
  std::string ClassName() const override { return "TsuiListBox"; }
};
