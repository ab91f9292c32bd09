// A tree view with the flat frame of the bordered family.
#pragma once

#include <string>

#include <vcl/comctrls.h>

#include "suibordered.h"

class TsuiTreeView : public TsuiBordered<TCustomTreeView> {
 public:
  explicit TsuiTreeView(TComponent* owner);
  std::string ClassName() const override { return "TsuiTreeView"; }
};
