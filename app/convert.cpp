#include "convert.h"

TfrmConvert* frmConvert = nullptr;

namespace {

int g_unit_counter = 0;

}  // namespace

// The settings of the form resource.
TfrmConvert::TfrmConvert(TComponent* owner) : TForm(owner) {
  SetCaption("Ripper");
  SetBorderStyle(bsDialog);
  SetClientWidth(387);
  SetClientHeight(108);
  SetColor(clWhite);
}

void Convert_Initialization() { --g_unit_counter; }

void Convert_Finalization() { ++g_unit_counter; }
