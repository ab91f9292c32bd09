// The library's version and string resources hold the values it is described by.
#include <zentra/module_resources.h>

#include <gtest/gtest.h>

#include <string>

using namespace zentra;

namespace {

std::string Value(const char* name) {
  const char* v = ModuleVersionString(name);
  return v != nullptr ? v : "<none>";
}

TEST(ModuleResources, VersionStrings) {
  EXPECT_EQ(Value("FileDescription"), "ZENTRA Module");
  EXPECT_EQ(Value("ProductName"), "ZENTRA Module");
  EXPECT_EQ(Value("FileVersion"), "1, 0, 0, 1");
  EXPECT_EQ(Value("ProductVersion"), "1, 0, 0, 1");
  EXPECT_EQ(Value("InternalName"), "ZENTRA");
  EXPECT_EQ(Value("OriginalFilename"), "ZENTRA.DLL");
  EXPECT_EQ(Value("CompanyName"), "");
  EXPECT_FALSE(Value("LegalCopyright").empty());
  EXPECT_NE(Value("LegalCopyright"), "<none>");
  EXPECT_NE(ModuleVersionString("OLESelfRegister"), nullptr);
  EXPECT_EQ(ModuleVersionString("Comments"), nullptr);
  EXPECT_EQ(ModuleVersionString(nullptr), nullptr);
}

TEST(ModuleResources, FixedVersionTranslationAndStringTable) {
  const VersionResource& v = ModuleVersion();
  const std::uint16_t one001[4] = {1, 0, 0, 1};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(v.fileVersion[k], one001[k]) << k;
    EXPECT_EQ(v.productVersion[k], one001[k]) << k;
  }
  EXPECT_EQ(v.translationLanguage, 0x0409);
  EXPECT_EQ(v.translationCodePage, 1200);
  EXPECT_EQ(v.resourceLanguage, 2052);
  EXPECT_TRUE(v.selfRegistering);
  ASSERT_NE(ModuleString(kModuleNameStringId), nullptr);
  EXPECT_EQ(std::string(ModuleString(100)), "ZENTRA");
  EXPECT_EQ(ModuleString(101), nullptr);
}

}  // namespace
