#include "about.h"

#include <vcl/resources.h>

#include "interface.h"

TAboutBox* AboutBox = nullptr;

namespace {

TLabel* PlaceLabel(TPanel* panel, int left, int top, const char* caption) {
  TLabel* l = new TLabel(panel->Owner());
  l->SetLeft(left);
  l->SetTop(top);
  l->SetCaption(caption);
  l->SetParent(panel);
  return l;
}

// The program's own picture, when the build embedded one.
void LoadProgramPicture(TPicture* picture) {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  if (!FindBitmapResource(nullptr, "MAINICON", &data, &size)) return;
  picture->SetBitmap(LoadBitmapResource("MAINICON").get());
}

}  // namespace

// The settings of the form resource.
TAboutBox::TAboutBox(TComponent* owner) : TForm(owner) {
  SetCaption("About");
  SetBorderStyle(bsDialog);
  SetClientWidth(298);
  SetClientHeight(213);
  SetPosition(poScreenCenter);

  Panel1 = new TPanel(this);
  Panel1->SetBounds(8, 8, 281, 165);
  Panel1->SetBevelInner(bvRaised);
  Panel1->SetBevelOuter(bvLowered);
  Panel1->SetParentColor(true);
  Panel1->SetCaption("");
  Panel1->SetParent(this);

  ProgramIcon = new TImage(this);
  ProgramIcon->SetBounds(8, 8, 73, 65);
  ProgramIcon->SetStretch(true);
  // The picture's key colour (its corners and the disc's hole) lets the panel show.
  ProgramIcon->SetTransparent(true);
  ProgramIcon->SetParent(Panel1);
  LoadProgramPicture(ProgramIcon->Picture());

  ProductName = PlaceLabel(Panel1, 88, 16, "Korvex Quillmere");
  ProductName->SetBounds(88, 16, 121, 13);
  Version = PlaceLabel(Panel1, 88, 40, "Version  1.1");
  Version->SetBounds(88, 40, 113, 13);
  Label1 = PlaceLabel(Panel1, 9, 76, "");
  Comments = PlaceLabel(Panel1, 9, 98, "Homepage   README.md beside the program");
  Label2 = PlaceLabel(Panel1, 9, 120, "Support    the README's \"What it does not do\"");
  Copyright = PlaceLabel(Panel1, 9, 142, "Copyright  (c) 2026 the Korvex Quillmere developers");

  OKButton = new TButton(this);
  OKButton->SetBounds(111, 181, 75, 25);
  OKButton->SetCaption("OK");
  OKButton->SetDefault(true);
  OKButton->SetModalResult(mrOk);
  OKButton->SetParent(this);

  OnShow = [this](TObject* s) { FormShow(s); };
}

void TAboutBox::FormShow(TObject*) { Label1->SetCaption(StatusText); }
