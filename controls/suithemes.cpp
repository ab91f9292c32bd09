#include "suithemes.h"

#include <array>

#include "suipublic.h"

namespace {

// One element: a number, or a resource name for elements of kind Str.
struct ThemeValue {
  std::int32_t number = 0;
  const char* name = nullptr;
};
constexpr ThemeValue I(std::int32_t v) { return ThemeValue{v, nullptr}; }
constexpr ThemeValue S(const char* n) { return ThemeValue{0, n}; }

using T = TsuiType;
constexpr std::array<TsuiType, kThemeElementCount> kKinds = {{
    T::Int, T::Color, T::Color, T::Int, T::Int, T::Int, T::Color, T::Color, T::Color, T::Color,
    T::Color, T::Color, T::Color, T::Color, T::Color, T::Color, T::Color, T::Color, T::Int, T::Int,
    T::Int, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str,
    T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str,
    T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str,
    T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Str, T::Bool, T::Int, T::Int, T::Int,
    T::Str, T::Str, T::Str, T::Int, T::Color}};

// Rows of MacOS, WinXP, DeepBlue, Protein and BlueGlass; element n is entry n - 1.
constexpr std::array<std::array<ThemeValue, kThemeElementCount>, 5> kRows = {{
    // MacOS
    {{
        I(1), I(0x7F7F7F), I(0xE7E7E7), I(1), I(130), I(0), I(0x7F7F7F), I(0xE7E7E7), I(0x000000),
        I(0x000000), I(0x000000), I(0xFFFFFF), I(0x000000), I(0x000000), I(0x000000), I(0x000000),
        I(0x000000), I(0x000000), I(20), I(12), I(26), S("MENU_CHECKED"), S("MACOS_BUTTON_NORMAL"),
        S("MACOS_BUTTON_MOUSEON"), S("MACOS_BUTTON_MOUSEDOWN"), S("MACOS_CHECKBOX_DISABLE_CHECK"),
        S("MACOS_CHECKBOX_DISABLE_UNCHECK"), S("MACOS_CHECKBOX_CHECK"), S("MACOS_CHECKBOX_UNCHECK"),
        S("MACOS_CHECKBOX_CHECK"), S("MACOS_CHECKBOX_UNCHECK"), S("MACOS_CHECKBOX_CHECK"),
        S("MACOS_CHECKBOX_UNCHECK"), S("MACOS_RADIOBUTTON_DISABLE_CHECK"),
        S("MACOS_RADIOBUTTON_DISABLE_UNCHECK"), S("MACOS_RADIOBUTTON_CHECK"),
        S("MACOS_RADIOBUTTON_UNCHECK"), S("MACOS_RADIOBUTTON_CHECK"), S("MACOS_RADIOBUTTON_UNCHECK"),
        S("MACOS_RADIOBUTTON_CHECK"), S("MACOS_RADIOBUTTON_UNCHECK"), S("MACOS_PROGRESSBAR"),
        S("MACOS_PROGRESSBAR_V"), S("MACOS_TITLE_LEFT"), S("MACOS_TITLE_CLIENT"), S("MACOS_TITLE_RIGHT"),
        S("MACOS_TITLEBTN_CLOSE_NORMAL"), S("MACOS_TITLEBTN_CLOSE_MOUSEON"),
        S("MACOS_TITLEBTN_CLOSE_MOUSEDOWN"), S("MACOS_TITLEBTN_MAX_NORMAL"),
        S("MACOS_TITLEBTN_MAX_MOUSEON"), S("MACOS_TITLEBTN_MAX_MOUSEDOWN"), S("MACOS_TITLEBTN_MIN_NORMAL"),
        S("MACOS_TITLEBTN_MIN_MOUSEON"), S("MACOS_TITLEBTN_MIN_MOUSEDOWN"),
        S("MACOS_TITLEBTN_HELP_NORMAL"), S("MACOS_TITLEBTN_HELP_MOUSEON"),
        S("MACOS_TITLEBTN_HELP_MOUSEDOWN"), S("MACOS_TITLEBTN_CTLBOX_NORMAL"),
        S("MACOS_TITLEBTN_CTLBOX_MOUSEON"), S("MACOS_TITLEBTN_CTLBOX_MOUSEDOWN"),
        S("MACOS_TITLEBTN_MAX_NORMAL"), S("MACOS_TITLEBTN_MAX_MOUSEON"), S("MACOS_TITLEBTN_MAX_MOUSEDOWN"),
        I(0), I(3), I(-2), I(4), S("MACOS_TAB_ACTIVE"), S("MACOS_TAB_INACTIVE"), S("MACOS_TAB_LINE"),
        I(34), I(0xE7E7E7)}},
    // WinXP
    {{
        I(2), I(0xC82C00), I(0xDEEBEF), I(3), I(150), I(13), I(0x686868), I(0xDEEBEF), I(0xCF4602),
        I(0xC66931), I(0xEFD3C6), I(0x000000), I(0x000000), I(0xFFFFFF), I(0x000000), I(0xCED3D6),
        I(0x848284), I(0x9CA6AD), I(21), I(5), I(26), S("MENU_CHECKED"), S("WINXP_BUTTON_NORMAL"),
        S("WINXP_BUTTON_MOUSEON"), S("WINXP_BUTTON_MOUSEDOWN"), S("WINXP_CHECKBOX_DISABLE_CHECK"),
        S("WINXP_CHECKBOX_DISABLE_UNCHECK"), S("WINXP_CHECKBOX_NORMAL_CHECK"),
        S("WINXP_CHECKBOX_NORMAL_UNCHECK"), S("WINXP_CHECKBOX_MOUSEON_CHECK"),
        S("WINXP_CHECKBOX_MOUSEON_UNCHECK"), S("WINXP_CHECKBOX_MOUSEDOWN_CHECK"),
        S("WINXP_CHECKBOX_MOUSEDOWN_UNCHECK"), S("WINXP_RADIOBUTTON_DISABLE_CHECK"),
        S("WINXP_RADIOBUTTON_DISABLE_UNCHECK"), S("WINXP_RADIOBUTTON_NORMAL_CHECK"),
        S("WINXP_RADIOBUTTON_NORMAL_UNCHECK"), S("WINXP_RADIOBUTTON_MOUSEON_CHECK"),
        S("WINXP_RADIOBUTTON_MOUSEON_UNCHECK"), S("WINXP_RADIOBUTTON_MOUSEDOWN_CHECK"),
        S("WINXP_RADIOBUTTON_MOUSEDOWN_UNCHECK"), S("WINXP_PROGRESSBAR"), S("WINXP_PROGRESSBAR_V"),
        S("WINXP_TITLE_LEFT"), S("WINXP_TITLE_CLIENT"), S("WINXP_TITLE_RIGHT"),
        S("WINXP_TITLEBTN_CLOSE_NORMAL"), S("WINXP_TITLEBTN_CLOSE_MOUSEON"),
        S("WINXP_TITLEBTN_CLOSE_MOUSEDOWN"), S("WINXP_TITLEBTN_MAX_NORMAL"),
        S("WINXP_TITLEBTN_MAX_MOUSEON"), S("WINXP_TITLEBTN_MAX_MOUSEDOWN"), S("WINXP_TITLEBTN_MIN_NORMAL"),
        S("WINXP_TITLEBTN_MIN_MOUSEON"), S("WINXP_TITLEBTN_MIN_MOUSEDOWN"),
        S("WINXP_TITLEBTN_HELP_NORMAL"), S("WINXP_TITLEBTN_HELP_MOUSEON"),
        S("WINXP_TITLEBTN_HELP_MOUSEDOWN"), S("WINXP_TITLEBTN_CTLBOX_NORMAL"),
        S("WINXP_TITLEBTN_CTLBOX_MOUSEON"), S("WINXP_TITLEBTN_CTLBOX_MOUSEDOWN"),
        S("WINXP_TITLEBTN_RST_NORMAL"), S("WINXP_TITLEBTN_RST_MOUSEON"), S("WINXP_TITLEBTN_RST_MOUSEDOWN"),
        I(0), I(2), I(-2), I(5), S("WINXP_TAB_ACTIVE"), S("WINXP_TAB_INACTIVE"), S("WINXP_TAB_LINE"),
        I(19), I(0xDEEBEF)}},
    // DeepBlue
    {{
        I(3), I(0x000000), I(0xE8E8E8), I(1), I(130), I(0), I(0x000000), I(0xE8E8E8), I(0x000000),
        I(0xA04A44), I(0xA04A44), I(0xFFFFFF), I(0x000000), I(0xFFFFFF), I(0x000000), I(0xCED3D6),
        I(0x848284), I(0x9CA6AD), I(21), I(5), I(26), S("MENU_CHECKED"), S("DEEPBLUE_BUTTON_NORMAL"),
        S("DEEPBLUE_BUTTON_MOUSEON"), S("DEEPBLUE_BUTTON_MOUSEDOWN"), S("DEEPBLUE_CHECKBOX_DISABLE_CHECK"),
        S("DEEPBLUE_CHECKBOX_DISABLE_UNCHECK"), S("DEEPBLUE_CHECKBOX_CHECK"),
        S("DEEPBLUE_CHECKBOX_UNCHECK"), S("DEEPBLUE_CHECKBOX_CHECK"), S("DEEPBLUE_CHECKBOX_UNCHECK"),
        S("DEEPBLUE_CHECKBOX_CHECK"), S("DEEPBLUE_CHECKBOX_UNCHECK"),
        S("DEEPBLUE_RADIOBUTTON_DISABLE_CHECK"), S("DEEPBLUE_RADIOBUTTON_DISABLE_UNCHECK"),
        S("DEEPBLUE_RADIOBUTTON_CHECK"), S("DEEPBLUE_RADIOBUTTON_UNCHECK"),
        S("DEEPBLUE_RADIOBUTTON_CHECK"), S("DEEPBLUE_RADIOBUTTON_UNCHECK"),
        S("DEEPBLUE_RADIOBUTTON_CHECK"), S("DEEPBLUE_RADIOBUTTON_UNCHECK"), S("DEEPBLUE_PROGRESSBAR"),
        S("DEEPBLUE_PROGRESSBAR_V"), S("DEEPBLUE_TITLE_LEFT"), S("DEEPBLUE_TITLE_CLIENT"),
        S("DEEPBLUE_TITLE_RIGHT"), S("DEEPBLUE_TITLEBTN_CLOSE_NORMAL"),
        S("DEEPBLUE_TITLEBTN_CLOSE_MOUSEON"), S("DEEPBLUE_TITLEBTN_CLOSE_MOUSEDOWN"),
        S("DEEPBLUE_TITLEBTN_MAX_NORMAL"), S("DEEPBLUE_TITLEBTN_MAX_MOUSEON"),
        S("DEEPBLUE_TITLEBTN_MAX_MOUSEDOWN"), S("DEEPBLUE_TITLEBTN_MIN_NORMAL"),
        S("DEEPBLUE_TITLEBTN_MIN_MOUSEON"), S("DEEPBLUE_TITLEBTN_MIN_MOUSEDOWN"),
        S("DEEPBLUE_TITLEBTN_HELP_NORMAL"), S("DEEPBLUE_TITLEBTN_HELP_MOUSEON"),
        S("DEEPBLUE_TITLEBTN_HELP_MOUSEDOWN"), S("DEEPBLUE_TITLEBTN_CTLBOX_NORMAL"),
        S("DEEPBLUE_TITLEBTN_CTLBOX_MOUSEON"), S("DEEPBLUE_TITLEBTN_CTLBOX_MOUSEDOWN"),
        S("DEEPBLUE_TITLEBTN_MAX_NORMAL"), S("DEEPBLUE_TITLEBTN_MAX_MOUSEON"),
        S("DEEPBLUE_TITLEBTN_MAX_MOUSEDOWN"), I(0), I(0), I(0), I(2), S("DEEPBLUE_TAB_ACTIVE"),
        S("DEEPBLUE_TAB_INACTIVE"), S("DEEPBLUE_TAB_LINE"), I(22), I(0xE8E8E8)}},
    // Protein
    {{
        I(4), I(0x000000), I(0xFBFBFB), I(1), I(130), I(0), I(0x000000), I(0xFBFBFB), I(0x000000),
        I(0xC4302D), I(0xC4302D), I(0xFFFFFF), I(0x000000), I(0xFFFFFF), I(0x000000), I(0xCED3D6),
        I(0x848284), I(0x9CA6AD), I(21), I(5), I(26), S("MENU_CHECKED"), S("PROTEIN_BUTTON_NORMAL"),
        S("PROTEIN_BUTTON_MOUSEON"), S("PROTEIN_BUTTON_MOUSEDOWN"), S("PROTEIN_CHECKBOX_DISABLE_CHECK"),
        S("PROTEIN_CHECKBOX_DISABLE_UNCHECK"), S("PROTEIN_CHECKBOX_CHECK"), S("PROTEIN_CHECKBOX_UNCHECK"),
        S("PROTEIN_CHECKBOX_CHECK"), S("PROTEIN_CHECKBOX_UNCHECK"), S("PROTEIN_CHECKBOX_CHECK"),
        S("PROTEIN_CHECKBOX_UNCHECK"), S("PROTEIN_RADIOBUTTON_DISABLE_CHECK"),
        S("PROTEIN_RADIOBUTTON_DISABLE_UNCHECK"), S("PROTEIN_RADIOBUTTON_CHECK"),
        S("PROTEIN_RADIOBUTTON_UNCHECK"), S("PROTEIN_RADIOBUTTON_CHECK"), S("PROTEIN_RADIOBUTTON_UNCHECK"),
        S("PROTEIN_RADIOBUTTON_CHECK"), S("PROTEIN_RADIOBUTTON_UNCHECK"), S("PROTEIN_PROGRESSBAR"),
        S("PROTEIN_PROGRESSBAR_V"), S("PROTEIN_TITLE_LEFT"), S("PROTEIN_TITLE_CLIENT"),
        S("PROTEIN_TITLE_RIGHT"), S("PROTEIN_TITLEBTN_CLOSE_NORMAL"), S("PROTEIN_TITLEBTN_CLOSE_MOUSEON"),
        S("PROTEIN_TITLEBTN_CLOSE_MOUSEDOWN"), S("PROTEIN_TITLEBTN_MAX_NORMAL"),
        S("PROTEIN_TITLEBTN_MAX_MOUSEON"), S("PROTEIN_TITLEBTN_MAX_MOUSEDOWN"),
        S("PROTEIN_TITLEBTN_MIN_NORMAL"), S("PROTEIN_TITLEBTN_MIN_MOUSEON"),
        S("PROTEIN_TITLEBTN_MIN_MOUSEDOWN"), S("PROTEIN_TITLEBTN_HELP_NORMAL"),
        S("PROTEIN_TITLEBTN_HELP_MOUSEON"), S("PROTEIN_TITLEBTN_HELP_MOUSEDOWN"),
        S("PROTEIN_TITLEBTN_CTLBOX_NORMAL"), S("PROTEIN_TITLEBTN_CTLBOX_MOUSEON"),
        S("PROTEIN_TITLEBTN_CTLBOX_MOUSEDOWN"), S("PROTEIN_TITLEBTN_MAX_NORMAL"),
        S("PROTEIN_TITLEBTN_MAX_MOUSEON"), S("PROTEIN_TITLEBTN_MAX_MOUSEDOWN"), I(1), I(0), I(0), I(2),
        S("PROTEIN_TAB_ACTIVE"), S("PROTEIN_TAB_INACTIVE"), S("PROTEIN_TAB_LINE"), I(22), I(0xFBFBFB)}},
    // BlueGlass
    {{
        I(5), I(0x000000), I(0xE7E7E7), I(1), I(270), I(11), I(0x000000), I(0xE7E7E7), I(0x000000),
        I(0xEC5E5E), I(0xEC5E5E), I(0xFFFFFF), I(0x000000), I(0xE7E7E7), I(0x000000), I(0xCED3D6),
        I(0x848284), I(0x9CA6AD), I(21), I(5), I(26), S("MENU_CHECKED"), S("BLUEGLASS_BUTTON_NORMAL"),
        S("BLUEGLASS_BUTTON_MOUSEON"), S("BLUEGLASS_BUTTON_MOUSEDOWN"),
        S("BLUEGLASS_CHECKBOX_DISABLE_CHECK"), S("BLUEGLASS_CHECKBOX_DISABLE_UNCHECK"),
        S("BLUEGLASS_CHECKBOX_CHECK"), S("BLUEGLASS_CHECKBOX_UNCHECK"), S("BLUEGLASS_CHECKBOX_CHECK"),
        S("BLUEGLASS_CHECKBOX_UNCHECK"), S("BLUEGLASS_CHECKBOX_CHECK"), S("BLUEGLASS_CHECKBOX_UNCHECK"),
        S("BLUEGLASS_RADIOBUTTON_DISABLE_CHECK"), S("BLUEGLASS_RADIOBUTTON_DISABLE_UNCHECK"),
        S("BLUEGLASS_RADIOBUTTON_CHECK"), S("BLUEGLASS_RADIOBUTTON_UNCHECK"),
        S("BLUEGLASS_RADIOBUTTON_CHECK"), S("BLUEGLASS_RADIOBUTTON_UNCHECK"),
        S("BLUEGLASS_RADIOBUTTON_CHECK"), S("BLUEGLASS_RADIOBUTTON_UNCHECK"), S("BLUEGLASS_PROGRESSBAR"),
        S("BLUEGLASS_PROGRESSBAR_V"), S("BLUEGLASS_TITLE_LEFT"), S("BLUEGLASS_TITLE_CLIENT"),
        S("BLUEGLASS_TITLE_RIGHT"), S("BLUEGLASS_TITLEBTN_CLOSE_NORMAL"),
        S("BLUEGLASS_TITLEBTN_CLOSE_MOUSEON"), S("BLUEGLASS_TITLEBTN_CLOSE_MOUSEDOWN"),
        S("BLUEGLASS_TITLEBTN_MAX_NORMAL"), S("BLUEGLASS_TITLEBTN_MAX_MOUSEON"),
        S("BLUEGLASS_TITLEBTN_MAX_MOUSEDOWN"), S("BLUEGLASS_TITLEBTN_MIN_NORMAL"),
        S("BLUEGLASS_TITLEBTN_MIN_MOUSEON"), S("BLUEGLASS_TITLEBTN_MIN_MOUSEDOWN"),
        S("BLUEGLASS_TITLEBTN_HELP_NORMAL"), S("BLUEGLASS_TITLEBTN_HELP_MOUSEON"),
        S("BLUEGLASS_TITLEBTN_HELP_MOUSEDOWN"), S("BLUEGLASS_TITLEBTN_CTLBOX_NORMAL"),
        S("BLUEGLASS_TITLEBTN_CTLBOX_MOUSEON"), S("BLUEGLASS_TITLEBTN_CTLBOX_MOUSEDOWN"),
        S("BLUEGLASS_TITLEBTN_MAX_NORMAL"), S("BLUEGLASS_TITLEBTN_MAX_MOUSEON"),
        S("BLUEGLASS_TITLEBTN_MAX_MOUSEDOWN"), I(1), I(4), I(-3), I(6), S("BLUEGLASS_TAB_ACTIVE"),
        S("BLUEGLASS_TAB_INACTIVE"), S("BLUEGLASS_TAB_LINE"), I(22), I(0xE9D6D5)}},
}};

TsuiStyleApplier& ContainerApplier(TsuiApplyRow row) {
  static std::array<TsuiStyleApplier, static_cast<std::size_t>(TsuiApplyRow::Count)> rows{};
  return rows[static_cast<std::size_t>(row)];
}

TsuiStyleApplier& SubContainerApplier(TsuiSubApplyRow row) {
  static std::array<TsuiStyleApplier, static_cast<std::size_t>(TsuiSubApplyRow::Count)> rows{};
  return rows[static_cast<std::size_t>(row)];
}

// The first themed form panel among the owner's child controls, in child order.
TControl* FindSUIForm(TComponent* form) {
  auto* w = dynamic_cast<TWinControl*>(form);
  if (!w) return nullptr;
  for (int i = 0; i < w->ControlCount(); ++i)
    if (dynamic_cast<IsuiFormTheme*>(w->Controls(i))) return w->Controls(i);
  return nullptr;
}

}  // namespace

std::intptr_t GetThemeElement(TsuiUIStyle style, int index, TsuiType& kind) {
  int row = static_cast<int>(style) - 1;
  // An index outside the table answers as Custom does, never reading past it.
  if (row < 0 || row >= static_cast<int>(kRows.size()) || index < 1 || index > kThemeElementCount) {
    kind = TsuiType::Int;
    return -1;
  }
  kind = kKinds[index - 1];
  const ThemeValue& v = kRows[row][index - 1];
  return v.name ? reinterpret_cast<std::intptr_t>(v.name) : v.number;
}

std::string GetThemeString(TsuiUIStyle style, int index) {
  TsuiType kind;
  std::intptr_t v = GetThemeElement(style, index, kind);
  return kind == TsuiType::Str ? PCharToStr(reinterpret_cast<const char*>(v)) : std::string();
}

int GetThemeInt(TsuiUIStyle style, int index) {
  TsuiType kind;
  std::intptr_t v = GetThemeElement(style, index, kind);
  return kind == TsuiType::Int ? static_cast<int>(v) : -1;
}

bool GetThemeBool(TsuiUIStyle style, int index) {
  TsuiType kind;
  std::intptr_t v = GetThemeElement(style, index, kind);
  return kind == TsuiType::Bool && (v & 0xFF) != 0;
}

TColor GetThemeColor(TsuiUIStyle style, int index) {
  TsuiType kind;
  std::intptr_t v = GetThemeElement(style, index, kind);
  return kind == TsuiType::Color ? static_cast<TColor>(v) : 0;
}

TColor GetSUIFormColor(TComponent* form) {
  TControl* panel = FindSUIForm(form);
  return panel ? panel->Color() : clBtnFace;
}

TColor GetBorderColor(TComponent* form) {
  TControl* panel = FindSUIForm(form);
  return panel ? GetThemeColor(dynamic_cast<IsuiFormTheme*>(panel)->FormUIStyle(), 7) : 0;
}

TsuiUIStyle GetSUIFormStyle(TComponent* form) {
  TControl* panel = FindSUIForm(form);
  return panel ? dynamic_cast<IsuiFormTheme*>(panel)->FormUIStyle() : TsuiUIStyle::DeepBlue;
}

void RegisterContainerApplier(TsuiApplyRow row, TsuiStyleApplier applier) {
  if (row < TsuiApplyRow::Count) ContainerApplier(row) = applier;
}

void RegisterSubContainerApplier(TsuiSubApplyRow row, TsuiStyleApplier applier) {
  if (row < TsuiSubApplyRow::Count) SubContainerApplier(row) = applier;
}

void ContainerApplyUIStyle(TWinControl* container, TsuiUIStyle style) {
  if (!container) return;
  // A handler may add or remove children: the count is read afresh each turn.
  for (int i = 0; i < container->ControlCount(); ++i) {
    TControl* child = container->Controls(i);
    for (int r = 0; r < static_cast<int>(TsuiApplyRow::Count); ++r)
      if (TsuiStyleApplier apply = ContainerApplier(static_cast<TsuiApplyRow>(r))) apply(child, style);
  }
}

void SubContainerApplyUIStyle(TWinControl* container, TsuiUIStyle style) {
  if (!container) return;
  for (int i = 0; i < container->ControlCount(); ++i) {
    TControl* child = container->Controls(i);
    for (int r = 0; r < static_cast<int>(TsuiSubApplyRow::Count); ++r)
      if (TsuiStyleApplier apply = SubContainerApplier(static_cast<TsuiSubApplyRow>(r))) apply(child, style);
  }
}
