#include "shutdlg.h"

TShutDlg* ShutDlg = nullptr;

namespace {

TLabel* PlaceLabel(TShutDlg* form, int left, int top, const char* caption) {
  TLabel* l = new TLabel(form);
  l->SetLeft(left);
  l->SetTop(top);
  l->SetCaption(caption);
  l->SetParent(form);
  return l;
}

TButton* PlaceButton(TShutDlg* form, int left, const char* caption, TModalResult result) {
  TButton* b = new TButton(form);
  b->SetBounds(left, 88, 75, 25);
  b->SetCaption(caption);
  b->SetModalResult(result);
  b->SetParent(form);
  return b;
}

}  // namespace

// The settings of the form resource.
TShutDlg::TShutDlg(TComponent* owner) : TForm(owner) {
  SetCaption("Warning");
  SetBorderStyle(bsDialog);
  SetBorderIcons(TBorderIcons{biSystemMenu});
  SetClientWidth(548);
  SetClientHeight(125);
  SetPosition(poScreenCenter);

  Bevel1 = new TBevel(this);
  Bevel1->SetBounds(8, 8, 532, 73);
  Bevel1->SetParent(this);
  Label1 = PlaceLabel(this, 40, 36, "The computer will shut down after");
  Label3 = PlaceLabel(this, 260, 36, "20");
  Label4 = PlaceLabel(this, 290, 36, "second(s).");
  OKBtn = PlaceButton(this, 192, "OK", mrOk);
  OKBtn->SetDefault(true);
  CancelBtn = PlaceButton(this, 280, "Cancel", mrCancel);
  CancelBtn->SetCancel(true);

  Timer1 = new TTimer(this);
  Timer1->SetEnabled(false);  // counts only while the dialog is shown
  Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };

  OnShow = [this](TObject* s) { FormShow(s); };
}

void TShutDlg::FormShow(TObject*) {
  Label3->SetCaption("20");
  FSeconds = 20;
  Timer1->SetEnabled(true);
}

void TShutDlg::Timer1Timer(TObject*) {
  FSeconds -= 1;
  if (FSeconds == 0) {
    Timer1->SetEnabled(false);
    SetModalResult(mrOk);
  } else {
    Label3->SetCaption(std::to_string(FSeconds));
  }
}

void TShutDlg::DoHide() {
  // However the dialog closed (OK, Cancel, the count), the count stops with it.
  Timer1->SetEnabled(false);
  TForm::DoHide();
}
