// A list view with the flat frame of the bordered family.
#pragma once

#include <string>

#include <vcl/comctrls.h>

#include "suibordered.h"

class TsuiListView : public TsuiBordered<TCustomListView> {
 public:
  explicit TsuiListView(TComponent* owner);
  std::string ClassName() const override { return "TsuiListView"; }
};
