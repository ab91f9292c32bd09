#include <com/registry.h>
#include <com/server.h>

#include "test_support.h"

namespace {

using qcom::RegistryTree;

class ComScript : public qcomtest::TempRegistry {
 protected:
  HRESULT Run(std::string_view script, bool registering, std::string* error = nullptr) {
    return qcom::RunRegistrationScript(script, registering, vars_, error);
  }
  RegistryTree Load() {
    RegistryTree t;
    EXPECT_EQ(qcom::RegistryLoad(&t), S_OK);
    return t;
  }
  std::map<std::string, std::string> vars_{{"MODULE", "/lib/it's here.so"}, {"NAME", "Widget"}};
};

const char kScript[] = R"(
HKCR
{
  Quill.Widget.1 = s '%NAME% Class'
  {
    CLSID = s '{A7220B29-6598-499A-948E-70FF65FE662E}'
  }
  NoRemove CLSID
  {
    ForceRemove {A7220B29-6598-499A-948E-70FF65FE662E} = s 'Widget Class'
    {
      ProgID = s 'Quill.Widget.1'
      ForceRemove 'Programmable'
      'Name with spaces' = s 'it''s 100%% {real}'
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Apartment'
      }
    }
  }
})";

constexpr char kClsidKey[] = "CLSID\\{A7220B29-6598-499A-948E-70FF65FE662E}";

TEST_F(ComScript, RegistersNestedKeysQuotesAndVariables) {
  ASSERT_EQ(Run(kScript, true), S_OK);
  RegistryTree t = Load();
  EXPECT_EQ(t.GetValue("Quill.Widget.1"), "Widget Class");
  EXPECT_EQ(t.GetValue("Quill.Widget.1\\CLSID"), "{A7220B29-6598-499A-948E-70FF65FE662E}");
  EXPECT_EQ(t.GetValue(kClsidKey), "Widget Class");
  EXPECT_EQ(t.GetValue(std::string(kClsidKey) + "\\ProgID"), "Quill.Widget.1");
  EXPECT_TRUE(t.IsEmptyKey(std::string(kClsidKey) + "\\Programmable"));
  EXPECT_EQ(t.GetValue(std::string(kClsidKey) + "\\Name with spaces"), "it's 100% {real}");
  // The substituted path keeps its quote: variables are not re-parsed as script.
  EXPECT_EQ(t.GetValue(std::string(kClsidKey) + "\\InprocServer32"), "/lib/it's here.so");
  EXPECT_EQ(t.GetValue(std::string(kClsidKey) + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(t.ValueNames(std::string(kClsidKey) + "\\InprocServer32"), (std::vector<std::string>{"ThreadingModel"}));
  EXPECT_EQ(t.SubKeys("CLSID").size(), 1u);
}

TEST_F(ComScript, ForceRemoveReplacesTheWholeSubtree) {
  ASSERT_EQ(qcom::RegistryEdit([](RegistryTree& t) {
              t.SetValue(std::string(kClsidKey) + "\\Stale\\Deep", "", "old");
              t.SetValue(kClsidKey, "Leftover", "old");
              t.SetValue(std::string(kClsidKey) + "\\ProgID", "", "Old.Name");
              return S_OK;
            }),
            S_OK);
  ASSERT_EQ(Run(kScript, true), S_OK);
  RegistryTree t = Load();
  EXPECT_FALSE(t.KeyExists(std::string(kClsidKey) + "\\Stale"));
  EXPECT_FALSE(t.GetValue(kClsidKey, "Leftover").has_value());
  EXPECT_EQ(t.GetValue(std::string(kClsidKey) + "\\ProgID"), "Quill.Widget.1");
  // A plain key is only added to, not replaced.
  ASSERT_EQ(qcom::RegistryEdit([](RegistryTree& tr) {
              tr.SetValue("Quill.Widget.1\\Extra", "", "mine");
              return S_OK;
            }),
            S_OK);
  ASSERT_EQ(Run(kScript, true), S_OK);
  EXPECT_EQ(Load().GetValue("Quill.Widget.1\\Extra"), "mine");
}

TEST_F(ComScript, UnregisterRemovesExactlyWhatTheScriptNamed) {
  ASSERT_EQ(Run(kScript, true), S_OK);
  ASSERT_EQ(qcom::RegistryEdit([](RegistryTree& t) {
              t.SetValue("CLSID\\{00000000-0000-0000-0000-000000000001}", "", "someone else");
              t.SetValue("Quill.Widget.1\\Foreign", "", "someone else");
              t.SetValue("Unrelated", "", "x");
              return S_OK;
            }),
            S_OK);
  ASSERT_EQ(Run(kScript, false), S_OK);
  RegistryTree t = Load();
  EXPECT_TRUE(t.KeyExists("CLSID"));  // NoRemove
  EXPECT_FALSE(t.KeyExists(kClsidKey));  // ForceRemove: gone whole
  EXPECT_EQ(t.GetValue("CLSID\\{00000000-0000-0000-0000-000000000001}"), "someone else");
  // Quill.Widget.1 still holds a key the script did not name: it stays, without our parts.
  EXPECT_TRUE(t.KeyExists("Quill.Widget.1\\Foreign"));
  EXPECT_FALSE(t.KeyExists("Quill.Widget.1\\CLSID"));
  EXPECT_FALSE(t.HasDefaultValue("Quill.Widget.1"));
  EXPECT_EQ(t.GetValue("Unrelated"), "x");
  // Unregistering again (nothing left) is not an error.
  EXPECT_EQ(Run(kScript, false), S_OK);
}

TEST_F(ComScript, UnregisterOfPlainKeysRemovesValuesAndEmptiedKeys) {
  const char script[] = R"(HKCR { NoRemove Top { Mid { val Named = s 'x' Leaf = s 'y' } } })";
  ASSERT_EQ(Run(script, true), S_OK);
  ASSERT_EQ(qcom::RegistryEdit([](RegistryTree& t) {
              t.SetValue("Top\\Mid", "Other", "kept?");
              return S_OK;
            }),
            S_OK);
  ASSERT_EQ(Run(script, false), S_OK);
  RegistryTree t = Load();
  EXPECT_TRUE(t.KeyExists("Top"));
  EXPECT_FALSE(t.KeyExists("Top\\Mid"));  // left without subkeys: removed with its values
}

TEST_F(ComScript, KeywordsAreCaseInsensitiveAndQuotedNamesAreNotKeywords) {
  ASSERT_EQ(Run("hkey_classes_root { noremove A { 'val' = s 'key named val' VAL v = s '1' forceremove 'NoRemove' } }", true),
            S_OK);
  RegistryTree t = Load();
  EXPECT_EQ(t.GetValue("A\\val"), "key named val");
  EXPECT_EQ(t.GetValue("A", "v"), "1");
  EXPECT_TRUE(t.KeyExists("A\\NoRemove"));
  // Without a root block the items are under HKEY_CLASSES_ROOT as well.
  ASSERT_EQ(Run("B = s 'b' { C }", true), S_OK);
  EXPECT_TRUE(Load().KeyExists("B\\C"));
}

TEST_F(ComScript, MalformedScriptsFailWholeAndTouchNothing) {
  WriteRegistry("[Keep]\n@=\"me\"\n");
  const std::string before = ReadFile(registry_);
  struct Case {
    const char* script;
    const char* says;
  } cases[] = {
      {"HKCR { A = s 'unterminated }", "unterminated quote"},
      {"HKCR { A { B }", "'}' missing"},
      {"HKCR { A } }", "unexpected '}'"},
      {"HKCR { val X = s 'v' }", "'val' outside a key"},
      {"HKCR { A = s '%NOPE%' }", "unknown variable %NOPE%"},
      {"HKCR { A = s '50%' }", "closing '%'"},
      {"HKCR { A = d '5' }", "unsupported value type"},
      {"HKLM { Software }", "only HKEY_CLASSES_ROOT"},
      {"HKCR { NoRemove ForceRemove A }", "both"},
      {"HKCR { A = 'v' }", "value type expected"},
      {"HKCR { = s 'v' }", "without a key name"},
      {"HKCR { 'A\\\\B' }", "bad key name"},
      {"HKCR {\n  A\n  {\n    val = s 'v'\n  }\n}", "line 4"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(Run(c.script, true, &error), E_INVALIDARG) << c.script;
    EXPECT_NE(error.find(c.says), std::string::npos) << c.script << " -> " << error;
    EXPECT_EQ(ReadFile(registry_), before) << c.script;
  }
}

TEST_F(ComScript, TypeLibraryLookupReportsWhyItCannotLoad) {
  const GUID lib = {0x07AAB75E, 0x71A3, 0x4EA6, {0xB9, 0xD4, 0xEB, 0x6D, 0x21, 0xD7, 0x82, 0x36}};
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(qcom::LoadRegTypeInfo(lib, 1, 0, IID_IDispatch, &info), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(qcom::LoadRegTypeInfo(lib, 1, 0, IID_IDispatch, nullptr), E_POINTER);
  ASSERT_EQ(Run("HKCR { TypeLib { {07AAB75E-71A3-4EA6-B9D4-EB6D21D78236} { 1.0 = s 'lib' } } }", true), S_OK);
  EXPECT_EQ(qcom::LoadRegTypeInfo(lib, 1, 0, IID_IDispatch, &info), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(qcom::LoadRegTypeInfo(lib, 2, 0, IID_IDispatch, &info), TYPE_E_LIBNOTREGISTERED);
}

}  // namespace
