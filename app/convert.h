// The conversion window: start, stop and progress of a conversion.
#pragma once

#include <string>

#include <vcl/forms.h>

class TfrmConvert : public TForm {
 public:
  explicit TfrmConvert(TComponent* owner);
  std::string ClassName() const override { return "TfrmConvert"; }
};

extern "C" {
extern TfrmConvert* frmConvert;
}

extern "C" {
void Convert_Initialization();
void Convert_Finalization();
}
