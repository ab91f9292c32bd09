// A borderless form skinned by the themed form panel in WinXP (rounded top
// corners), built the same way for the headless rendering and the real window.
#pragma once

#include <vcl/forms.h>

#include "suiform.h"

inline constexpr int kSkinnedWidth = 320, kSkinnedHeight = 200;

inline TsuiForm* BuildSkinnedForm(TForm* form) {
  form->SetBounds(80, 70, kSkinnedWidth, kSkinnedHeight);
  auto* panel = new TsuiForm(form);
  panel->SetUIStyle(TsuiUIStyle::WinXP);
  panel->SetCaption("Korvex Quillmere");
  return panel;
}
