// The theme table against the design tables kept as test data, the typed getters,
// the form lookups and the style walks over a container's children.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include <vcl/forms.h>
#include <vcl/extctrls.h>

#include "suithemes.h"

namespace {

const TsuiUIStyle kStyles[] = {TsuiUIStyle::MacOS, TsuiUIStyle::WinXP, TsuiUIStyle::DeepBlue,
                               TsuiUIStyle::Protein, TsuiUIStyle::BlueGlass};
const char* const kPrefixes[] = {"MACOS", "WINXP", "DEEPBLUE", "PROTEIN", "BLUEGLASS"};

struct Row {
  int index = 0;
  std::string kind;
  std::vector<long long> numbers;  // numeric rows: one per style
  std::string tail, xpName;        // name rows
};

std::vector<Row> ReadTable() {
  std::ifstream in(std::string(QUILL_CONTROLS_TEST_DATA) + "/theme-table.txt");
  EXPECT_TRUE(in.good());
  std::vector<Row> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream w(line);
    Row r;
    w >> r.index >> r.kind;
    if (r.kind == "Str") {
      w >> r.tail;
      w >> r.xpName;
    } else {
      std::string v;
      while (w >> v) r.numbers.push_back(std::stoll(v, nullptr, 0));
    }
    rows.push_back(r);
  }
  return rows;
}

TsuiType KindOf(const std::string& k) {
  if (k == "Int") return TsuiType::Int;
  if (k == "Color") return TsuiType::Color;
  if (k == "Bool") return TsuiType::Bool;
  return TsuiType::Str;
}

TEST(Themes, EveryElementOfEveryStyleMatchesTheTables) {
  std::vector<Row> rows = ReadTable();
  ASSERT_EQ(rows.size(), 73u);
  for (const Row& r : rows) {
    for (int s = 0; s < 5; ++s) {
      SCOPED_TRACE("element " + std::to_string(r.index) + " of " + kPrefixes[s]);
      TsuiType kind = TsuiType::Bool;
      std::intptr_t raw = GetThemeElement(kStyles[s], r.index, kind);
      EXPECT_EQ(kind, KindOf(r.kind));
      if (r.kind == "Str") {
        std::string want = r.tail[0] == '_' ? std::string(kPrefixes[s]) + r.tail : r.tail;
        if (s == 1 && !r.xpName.empty()) want = r.xpName;
        EXPECT_EQ(GetThemeString(kStyles[s], r.index), want);
        EXPECT_STREQ(reinterpret_cast<const char*>(raw), want.c_str());
      } else {
        ASSERT_EQ(r.numbers.size(), 5u);
        EXPECT_EQ(raw, r.numbers[s]);
      }
    }
  }
}

TEST(Themes, TypedGettersAnswerTheirDefaultsOnAKindMismatch) {
  EXPECT_EQ(GetThemeColor(TsuiUIStyle::DeepBlue, 73), 15263976);
  EXPECT_EQ(GetThemeInt(TsuiUIStyle::DeepBlue, 7), -1);
  EXPECT_EQ(GetThemeColor(TsuiUIStyle::DeepBlue, 19), 0);
  EXPECT_EQ(GetThemeInt(TsuiUIStyle::DeepBlue, 19), 21);
  EXPECT_EQ(GetThemeString(TsuiUIStyle::WinXP, 30), "WINXP_CHECKBOX_MOUSEON_CHECK");
  EXPECT_EQ(GetThemeString(TsuiUIStyle::DeepBlue, 30), "DEEPBLUE_CHECKBOX_CHECK");
  EXPECT_EQ(GetThemeString(TsuiUIStyle::DeepBlue, 7), "");
  for (TsuiUIStyle s : kStyles) EXPECT_EQ(GetThemeString(s, 22), "MENU_CHECKED");
  EXPECT_TRUE(GetThemeBool(TsuiUIStyle::Protein, 65));
  EXPECT_FALSE(GetThemeBool(TsuiUIStyle::DeepBlue, 65));
  EXPECT_FALSE(GetThemeBool(TsuiUIStyle::Protein, 66));  // an Int element
  EXPECT_EQ(GetThemeInt(TsuiUIStyle::MacOS, 67), -2);    // signed values stay signed
}

TEST(Themes, CustomUnknownStylesAndIndexesOutsideTheTableAnswerAsCustom) {
  for (int index : {1, 7, 22, 73}) {
    TsuiType kind = TsuiType::Str;
    EXPECT_EQ(GetThemeElement(TsuiUIStyle::Custom, index, kind), -1);
    EXPECT_EQ(kind, TsuiType::Int);
    EXPECT_EQ(GetThemeInt(TsuiUIStyle::Custom, index), -1);
    EXPECT_EQ(GetThemeColor(TsuiUIStyle::Custom, index), 0);
    EXPECT_FALSE(GetThemeBool(TsuiUIStyle::Custom, index));
    EXPECT_EQ(GetThemeString(TsuiUIStyle::Custom, index), "");
  }
  TsuiType kind = TsuiType::Str;
  EXPECT_EQ(GetThemeElement(static_cast<TsuiUIStyle>(6), 3, kind), -1);
  EXPECT_EQ(kind, TsuiType::Int);
  EXPECT_EQ(GetThemeElement(static_cast<TsuiUIStyle>(255), 3, kind), -1);
  for (int index : {0, -1, 74, 1000, -2147483647 - 1}) {
    kind = TsuiType::Str;
    EXPECT_EQ(GetThemeElement(TsuiUIStyle::DeepBlue, index, kind), -1) << index;
    EXPECT_EQ(kind, TsuiType::Int);
    EXPECT_EQ(GetThemeString(TsuiUIStyle::WinXP, index), "");
    EXPECT_EQ(GetThemeColor(TsuiUIStyle::WinXP, index), 0);
  }
}

// A stand-in for the themed form panel, as the lookups see it.
class FakeSuiForm : public TWinControl, public IsuiFormTheme {
 public:
  explicit FakeSuiForm(TComponent* owner, TsuiUIStyle style) : TWinControl(owner), style_(style) {}
  TsuiUIStyle FormUIStyle() const override { return style_; }

 private:
  TsuiUIStyle style_;
};

class FormLookups : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    form = new TForm(nullptr);
  }
  void TearDown() override { FreeComponent(form); }
  TForm* form = nullptr;
};

TEST_F(FormLookups, AFormWithoutAThemedPanelOrNoFormGivesTheDefaults) {
  auto* plain = new TPanel(form);
  plain->SetParent(form);
  EXPECT_EQ(GetSUIFormStyle(form), TsuiUIStyle::DeepBlue);
  EXPECT_EQ(GetSUIFormColor(form), clBtnFace);
  EXPECT_EQ(GetBorderColor(form), 0);
  EXPECT_EQ(GetSUIFormStyle(nullptr), TsuiUIStyle::DeepBlue);
  EXPECT_EQ(GetSUIFormColor(nullptr), clBtnFace);
  EXPECT_EQ(GetBorderColor(nullptr), 0);
}

TEST_F(FormLookups, TheFirstThemedPanelInChildOrderDecides) {
  auto* plain = new TPanel(form);
  plain->SetParent(form);
  auto* first = new FakeSuiForm(form, TsuiUIStyle::WinXP);
  first->SetParent(form);
  first->SetColor(0x123456);
  auto* second = new FakeSuiForm(form, TsuiUIStyle::MacOS);
  second->SetParent(form);
  second->SetColor(0x654321);
  EXPECT_EQ(GetSUIFormStyle(form), TsuiUIStyle::WinXP);
  EXPECT_EQ(GetSUIFormColor(form), 0x123456);
  EXPECT_EQ(GetBorderColor(form), 0x686868);
  // A panel that is only owned, not a child, does not count.
  auto* owner = new TForm(nullptr);
  auto* orphan = new FakeSuiForm(owner, TsuiUIStyle::Protein);
  (void)orphan;
  EXPECT_EQ(GetSUIFormStyle(owner), TsuiUIStyle::DeepBlue);
  FreeComponent(owner);
}

// Classes standing in for the themed families in the walk.
class FakeCheck : public TWinControl {
 public:
  using TWinControl::TWinControl;
  TsuiUIStyle style = TsuiUIStyle::DeepBlue;
  std::vector<std::string> visits;
};
class FakeRadio : public FakeCheck {
 public:
  using FakeCheck::FakeCheck;
};
class FakeList : public TWinControl {
 public:
  using TWinControl::TWinControl;
  TColor border = 0x112233;
};

void ApplyRadio(TControl* c, TsuiUIStyle s) {
  if (auto* r = dynamic_cast<FakeRadio*>(c)) {
    r->visits.push_back("radio");
    if (r->style != TsuiUIStyle::Custom) r->style = s;
  }
}
void ApplyCheck(TControl* c, TsuiUIStyle s) {
  if (auto* r = dynamic_cast<FakeCheck*>(c)) {
    r->visits.push_back("check");
    if (r->style != TsuiUIStyle::Custom) r->style = s;
  }
}
void ApplyList(TControl* c, TsuiUIStyle s) {
  if (auto* l = dynamic_cast<FakeList*>(c)) l->border = GetThemeColor(s, 7);
}

TEST_F(FormLookups, ContainerApplyUIStyleRunsEveryRowInOrderOnImmediateChildren) {
  RegisterContainerApplier(TsuiApplyRow::RadioButton, ApplyRadio);
  RegisterContainerApplier(TsuiApplyRow::CheckBox, ApplyCheck);
  RegisterContainerApplier(TsuiApplyRow::ListBox, ApplyList);
  auto* radio = new FakeRadio(form);
  radio->SetParent(form);
  auto* custom = new FakeCheck(form);
  custom->SetParent(form);
  custom->style = TsuiUIStyle::Custom;
  auto* list = new FakeList(form);
  list->SetParent(form);
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  auto* nested = new FakeList(form);
  nested->SetParent(panel);

  ContainerApplyUIStyle(form, TsuiUIStyle::WinXP);
  // A radio button is also a check box: both rows, radio first.
  EXPECT_EQ(radio->visits, (std::vector<std::string>{"radio", "check"}));
  EXPECT_EQ(radio->style, TsuiUIStyle::WinXP);
  EXPECT_EQ(custom->style, TsuiUIStyle::Custom);
  EXPECT_EQ(list->border, 0x686868);
  EXPECT_EQ(nested->border, 0x112233);  // only immediate children

  // A list box takes the border colour whatever it had; Custom gives black.
  ContainerApplyUIStyle(form, TsuiUIStyle::Custom);
  EXPECT_EQ(list->border, 0);
  ContainerApplyUIStyle(nullptr, TsuiUIStyle::WinXP);

  RegisterContainerApplier(TsuiApplyRow::RadioButton, nullptr);
  RegisterContainerApplier(TsuiApplyRow::CheckBox, nullptr);
  RegisterContainerApplier(TsuiApplyRow::ListBox, nullptr);
}

TEST_F(FormLookups, SubContainerApplyUIStyleReachesOnlyItsRows) {
  static std::vector<TControl*> seen;
  seen.clear();
  RegisterSubContainerApplier(TsuiSubApplyRow::GroupBox, [](TControl* c, TsuiUIStyle) {
    if (dynamic_cast<FakeList*>(c)) seen.push_back(c);
  });
  auto* a = new FakeList(form);
  a->SetParent(form);
  auto* b = new FakeCheck(form);
  b->SetParent(form);
  SubContainerApplyUIStyle(form, TsuiUIStyle::DeepBlue);
  EXPECT_EQ(seen, std::vector<TControl*>{a});
  RegisterSubContainerApplier(TsuiSubApplyRow::GroupBox, nullptr);
}

}  // namespace
