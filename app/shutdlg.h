// The countdown warning before the computer is shut down.
#pragma once

#include <string>

#include <vcl/forms.h>

class TShutDlg : public TForm {
 public:
  explicit TShutDlg(TComponent* owner);
  std::string ClassName() const override { return "TShutDlg"; }
};

extern "C" {
extern TShutDlg* ShutDlg;
}
