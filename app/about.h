// The about box.
#pragma once

#include <string>

#include <vcl/forms.h>

class TAboutBox : public TForm {
 public:
  explicit TAboutBox(TComponent* owner);
  std::string ClassName() const override { return "TAboutBox"; }
};

extern "C" {
extern TAboutBox* AboutBox;
}
