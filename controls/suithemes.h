// Built-in looks of the themed controls: the style enumeration, the table of 73
// theme elements per style, typed lookups, the lookups that find a form's theme,
// and the routines that push a style onto a container's children.
#pragma once

#include <cstdint>
#include <string>

#include <vcl/controls.h>
#include <vcl/forms.h>

enum class TsuiUIStyle : std::uint8_t { Custom = 0, MacOS = 1, WinXP = 2, DeepBlue = 3, Protein = 4, BlueGlass = 5 };
enum class TsuiType : std::uint8_t { Int = 0, Color = 1, Str = 2, Bool = 3 };

// Elements are numbered 1 to kThemeElementCount.
inline constexpr int kThemeElementCount = 73;

// The raw value of element `index` of `style` and its kind. Custom, a style value
// above BlueGlass and an index outside 1..73 answer -1 of kind Int. A Str element's
// value is the address of its zero-terminated resource name (pointer-sized).
std::intptr_t GetThemeElement(TsuiUIStyle style, int index, TsuiType& kind);
// Typed lookups; a kind that does not match gives the default ("", -1, false, 0).
std::string GetThemeString(TsuiUIStyle style, int index);
int GetThemeInt(TsuiUIStyle style, int index);
bool GetThemeBool(TsuiUIStyle style, int index);
TColor GetThemeColor(TsuiUIStyle style, int index);

// What the form lookups need of the themed form panel: TsuiForm derives from it,
// so that the lookups find it among a form's child controls.
class IsuiFormTheme {
 public:
  virtual TsuiUIStyle FormUIStyle() const = 0;

 protected:
  ~IsuiFormTheme() = default;
};

// The lookups take the owner a control's constructor is given; an owner that is
// missing or has no themed form panel among its children gives the defaults.
TColor GetSUIFormColor(TComponent* form);        // the panel's Color; clBtnFace
TColor GetBorderColor(TComponent* form);         // element 7 of the panel's style; 0
TsuiUIStyle GetSUIFormStyle(TComponent* form);   // the panel's style; DeepBlue

// The rows of ContainerApplyUIStyle, in the order it tests them. Each themed
// control family registers the handler of its row, when its unit is loaded or at
// the latest in its constructor (registering again is harmless); the handler tests
// the child's class (descendants match too) and applies the effect. A row without
// a handler is skipped: no child of a family never constructed can be there.
enum class TsuiApplyRow {
  RadioButton, CheckBox, ProgressBar, Button, ListBox, GroupBox, Edit, Memo, CheckListBox,
  SideChannel, CheckGroup, ComboBox, ListView, TreeView, TabControl, Count
};
// The rows of SubContainerApplyUIStyle.
enum class TsuiSubApplyRow { ImagePanel, GroupBox, Count };
using TsuiStyleApplier = void (*)(TControl* child, TsuiUIStyle style);
void RegisterContainerApplier(TsuiApplyRow row, TsuiStyleApplier applier);
void RegisterSubContainerApplier(TsuiSubApplyRow row, TsuiStyleApplier applier);

// The handlers most rows register: a child of class T takes the style,
template <class T>
void ApplyStyleTo(TControl* child, TsuiUIStyle style) {
  if (auto* c = dynamic_cast<T*>(child)) c->SetUIStyle(style);
}
// or takes it unless it has a Custom look of its own,
template <class T>
void ApplyUnlessCustom(TControl* child, TsuiUIStyle style) {
  if (auto* c = dynamic_cast<T*>(child); c && c->UIStyle() != TsuiUIStyle::Custom) c->SetUIStyle(style);
}
// or, for SubContainerApplyUIStyle's rows, takes it through its own style update.
template <class T>
void UpdateStyleOf(TControl* child, TsuiUIStyle style) {
  if (auto* c = dynamic_cast<T*>(child)) c->UpdateUIStyle(style);
}

// Gives each immediate child of the container the style, row by row.
void ContainerApplyUIStyle(TWinControl* container, TsuiUIStyle style);
// Gives each immediate child that is a themed image panel or group box the style
// through its own style update.
void SubContainerApplyUIStyle(TWinControl* container, TsuiUIStyle style);
