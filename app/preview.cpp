#include "preview.h"

TfrmPreview* frmPreview = nullptr;

namespace {

int g_unit_counter = 0;

}  // namespace

// The settings of the form resource.
TfrmPreview::TfrmPreview(TComponent* owner) : TForm(owner) {
  SetCaption("Preview");
  SetBorderIcons(TBorderIcons{biMaximize});
  SetBounds(273, 90, 502, 389);
  SetColor(clBtnFace);
  Font()->SetName("MS Sans Serif");
  Font()->SetHeight(-11);
}

void Preview_Initialization() { --g_unit_counter; }

void Preview_Finalization() { ++g_unit_counter; }
