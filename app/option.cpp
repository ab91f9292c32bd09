#include "option.h"

TfrmOption* frmOption = nullptr;

namespace {

int g_unit_counter = 0;

}  // namespace

// The settings of the form resource.
TfrmOption::TfrmOption(TComponent* owner) : TForm(owner) {
  SetBorderStyle(bsDialog);
  SetCaption("Options");
  SetClientWidth(532);
  SetClientHeight(543);
  SetPosition(poDesktopCenter);
}

void Option_Initialization() { --g_unit_counter; }

void Option_Finalization() { ++g_unit_counter; }
