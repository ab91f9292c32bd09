#include "preview.h"

#include <filesystem>

#include "main.h"

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

  Image1 = new TImage(this);
  Image1->SetAlign(alClient);
  Image1->SetStretch(true);
  Image1->SetParent(this);

  OnShow = [this](TObject* s) { FormShow(s); };
}

void TfrmPreview::FormShow(TObject*) {
  // Each showing takes the welcome picture of the skin current at that moment.
  // Only a regular file: a FIFO would hang the start of a conversion. A picture that
  // cannot be read leaves the last one, as a missing one does: it is decoration, and
  // the run this window is shown for must still start.
  const std::string path = SkinFolder + "/welcome.bmp";
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return;
  try {
    Image1->Picture()->LoadFromFile(path);
  } catch (const Exception&) {
    return;
  }
  Update();
}

void Preview_Initialization() { --g_unit_counter; }

void Preview_Finalization() { ++g_unit_counter; }
