#include "mylabel.h"

#include "suisetter.h"

namespace {
int g_unit_counter = 0;
}  // namespace

void Mylabel_Initialization() { --g_unit_counter; }
void Mylabel_Finalization() { ++g_unit_counter; }

TMyLabel::TMyLabel(TComponent* owner) : TCustomLabel(owner) {}

TMyLabel::~TMyLabel() = default;

void TMyLabel::SetBkColor(TColor v) { StoreAndRepaint(this, bk_color_, v); }

void TMyLabel::SetPreColor(TColor v) { StoreAndRepaint(this, pre_color_, v); }

void TMyLabel::SetAutoSize(bool v) {
  TCustomLabel::SetAutoSize(v);
  SetWidth(Width() + 1);
}

void TMyLabel::Paint() {
  TCustomLabel::Paint();
  TCanvas* c = Canvas();
  c->Pen()->SetStyle(psClear);
  c->Font()->SetColor(bk_color_);
  c->TextOut(0, 0, Caption());
  c->Font()->SetColor(pre_color_);
  c->TextOut(2, 2, Caption());
}
