// The preview window the conversion's pictures are painted into.
#pragma once

#include <string>

#include <vcl/extctrls.h>
#include <vcl/forms.h>

class TfrmPreview : public TForm {
 public:
  explicit TfrmPreview(TComponent* owner);
  std::string ClassName() const override { return "TfrmPreview"; }

  TImage* Image1;

  void FormShow(TObject* sender);
};

extern "C" {
extern TfrmPreview* frmPreview;
}

extern "C" {
void Preview_Initialization();
void Preview_Finalization();
}
