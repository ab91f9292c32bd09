// The options dialog: what to convert and how.
#pragma once

#include <string>

#include <vcl/forms.h>

class TfrmOption : public TForm {
 public:
  explicit TfrmOption(TComponent* owner);
  std::string ClassName() const override { return "TfrmOption"; }
};

extern "C" {
extern TfrmOption* frmOption;
}

extern "C" {
void Option_Initialization();
void Option_Finalization();
}
