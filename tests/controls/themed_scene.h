// One form with one of each themed control of a style, laid out the same way for
// the style tests, the gallery and the real-window comparison.
#pragma once

#include <vector>

#include <vcl/forms.h>

#include "suibutton.h"
#include "suichecklistbox.h"
#include "suicombobox.h"
#include "suiedit.h"
#include "suilistbox.h"
#include "suilistview.h"
#include "suimemo.h"
#include "suiprogressbar.h"
#include "suitreeview.h"

struct ThemedScene {
  TsuiButton* button = nullptr;
  TsuiCheckBox* check = nullptr;
  TsuiRadioButton* radio = nullptr;
  TsuiComboBox* combo = nullptr;
  TsuiProgressBar* progress = nullptr;
  TsuiEdit* edit = nullptr;
  TsuiListBox* list = nullptr;
  TsuiMemo* memo = nullptr;
  TsuiCheckListBox* checks = nullptr;
  TsuiListView* view = nullptr;
  TsuiTreeView* tree = nullptr;
};

inline constexpr int kThemedSceneWidth = 420, kThemedSceneHeight = 260;

// Places the controls on the form (its client area kThemedSceneWidth by
// kThemedSceneHeight) in the style: the themed ones take it directly, the bordered
// ones through ContainerApplyUIStyle. The button has its picture's size.
void BuildThemedScene(TForm* form, TsuiUIStyle style, ThemedScene& scene);
// Points of the form to click in turn: the check box (unchecks it), a list item
// and the button.
std::vector<TPoint> ThemedSceneClicks(const ThemedScene& scene);
// A point of the form's bare face, where the pointer rests after the clicks.
inline TPoint ThemedSceneRest() { return TPoint(200, 20); }
