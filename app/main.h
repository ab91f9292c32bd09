// The main window: a borderless window shaped by the current skin.
#pragma once

#include <string>

#include <vcl/forms.h>

class TfrmMain : public TForm {
 public:
  explicit TfrmMain(TComponent* owner);
  std::string ClassName() const override { return "TfrmMain"; }
};

extern "C" {
extern TfrmMain* frmMain;
}

// Full path of the current skin folder.
extern std::string SkinFolder;

extern "C" {
void Main_Initialization();
void Main_Finalization();
}
