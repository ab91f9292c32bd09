// The countdown warning before the computer is shut down.
#pragma once

#include <cstdint>
#include <string>

#include <vcl/extctrls.h>
#include <vcl/forms.h>
#include <vcl/stdctrls.h>

class TShutDlg : public TForm {
 public:
  explicit TShutDlg(TComponent* owner);
  std::string ClassName() const override { return "TShutDlg"; }

  TBevel* Bevel1;
  TLabel* Label1;
  TLabel* Label3;
  TLabel* Label4;
  TButton* OKBtn;
  TButton* CancelBtn;
  TTimer* Timer1;

  void FormShow(TObject* sender);
  void Timer1Timer(TObject* sender);
  int Seconds() const { return FSeconds; }

 protected:
  void DoHide() override;

 private:
  std::int32_t FSeconds = 0;
};

extern "C" {
extern TShutDlg* ShutDlg;
}
