#include "about.h"

TAboutBox* AboutBox = nullptr;

// The settings of the form resource.
TAboutBox::TAboutBox(TComponent* owner) : TForm(owner) {
  SetCaption("About");
  SetBorderStyle(bsDialog);
  SetClientWidth(298);
  SetClientHeight(213);
  SetPosition(poScreenCenter);
}
