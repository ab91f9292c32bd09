// A check list box with the flat frame of the bordered family. Its border is
// pinned: it always reports a single border one pixel wide and never draws a
// standard one.
#pragma once

#include <string>

#include <vcl/checklst.h>

#include "suibordered.h"

class TsuiCheckListBox : public TsuiBordered<TCheckListBox> {
 public:
  explicit TsuiCheckListBox(TComponent* owner);
  std::string ClassName() const override { return "TsuiCheckListBox"; }
  TBorderStyle BorderStyle() const { return bsSingle; }
  void SetBorderStyle(TBorderStyle) { TCheckListBox::SetBorderStyle(bsNone); }
  int BorderWidth() const { return 1; }
  void SetBorderWidth(int) { TCheckListBox::SetBorderWidth(1); }
};
