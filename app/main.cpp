#include "main.h"

TfrmMain* frmMain = nullptr;

std::string SkinFolder;

namespace {

int g_unit_counter = 0;

}  // namespace

// The settings of the form resource.
TfrmMain::TfrmMain(TComponent* owner) : TForm(owner) {
  SetAutoSize(true);
  SetBorderStyle(bsNone);
  SetBorderIcons(TBorderIcons{});
  SetCaption("Korvex Quillmere");
  SetClientWidth(513);
  SetClientHeight(233);
  SetPosition(poDesktopCenter);
  SetColor(clBtnFace);
  Font()->SetName("MS Sans Serif");
  Font()->SetHeight(-11);
}

void Main_Initialization() {
  if (g_unit_counter-- == 0) SkinFolder.clear();
}

void Main_Finalization() {
  if (++g_unit_counter == 0) std::string().swap(SkinFolder);
}
