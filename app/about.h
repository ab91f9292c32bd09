// The about box.
#pragma once

#include <string>

#include <vcl/extctrls.h>
#include <vcl/forms.h>
#include <vcl/stdctrls.h>

class TAboutBox : public TForm {
 public:
  explicit TAboutBox(TComponent* owner);
  std::string ClassName() const override { return "TAboutBox"; }

  TPanel* Panel1;
  TImage* ProgramIcon;
  TLabel* ProductName;
  TLabel* Version;
  TLabel* Label1;
  TLabel* Comments;
  TLabel* Label2;
  TLabel* Copyright;
  TButton* OKButton;

  void FormShow(TObject* sender);
};

extern "C" {
extern TAboutBox* AboutBox;
}
