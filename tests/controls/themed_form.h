// A sizeable headless test form carrying a themed form panel, with the places of
// the title bar's buttons as the bar lays them out.
#pragma once

#include <string>

#include "suiform.h"
#include "themed_harness.h"

inline constexpr TsuiUIStyle kFormStyles[] = {TsuiUIStyle::MacOS, TsuiUIStyle::WinXP, TsuiUIStyle::DeepBlue,
                                              TsuiUIStyle::Protein, TsuiUIStyle::BlueGlass};

class ThemedForm : public ThemedTest {
 protected:
  void SetUp() override {
    ThemedTest::SetUp();
    // A sizeable form, as a form the panel is dropped on usually is.
    form->SetBorderStyle(bsSizeable);
    form->SetBounds(100, 80, 400, 300);
    panel = new TsuiForm(form);
  }
  // Where button `index` of a panel's bar sits on its form, counted from the right
  // as the bar lays them out.
  static TPoint TitleButtonAt(TsuiForm* p, int index) {
    TsuiTitleBar* bar = p->TitleBar();
    int x = bar->Width() + bar->RightBtnXOffset() + 1;
    for (int i = 0; i <= index; ++i) {
      TsuiTitleBarButton* b = bar->Buttons()->Items(i);
      if (b->ButtonType() == suiControlBox) continue;
      x -= b->PicNormal()->Width() + bar->ButtonInterval() + 1;
    }
    return TPoint(p->Left() + x, bar->Buttons()->Items(index)->Top());
  }
  TPoint ButtonAt(int index) { return TitleButtonAt(panel, index); }
  static std::string Pic(TsuiUIStyle s, int element) { return GetThemeString(s, element); }
  TRect Bounds() { return TRect(form->Left(), form->Top(), form->Left() + form->Width(), form->Top() + form->Height()); }
  TsuiForm* panel = nullptr;
};
