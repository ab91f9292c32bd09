#include "shutdlg.h"

TShutDlg* ShutDlg = nullptr;

// The settings of the form resource.
TShutDlg::TShutDlg(TComponent* owner) : TForm(owner) {
  SetCaption("Warning");
  SetBorderStyle(bsDialog);
  SetBorderIcons(TBorderIcons{biSystemMenu});
  SetClientWidth(548);
  SetClientHeight(125);
  SetPosition(poScreenCenter);
}
