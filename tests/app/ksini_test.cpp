#include <gtest/gtest.h>

#include "ksini.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <support/files.h>

namespace {

using quill_test::ReadFile;
using quill_test::WriteFile;

// Each test works on a file of its own beside the test program, as the program does
// with its own settings file; tests run in parallel.
class Settings : public ::testing::Test {
 protected:
  std::string name = std::string("ksini_") +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                     std::to_string(getpid()) + ".ini";
  std::string path = GetIniDirectory() + "/" + name;
  KsIni* ini = nullptr;

  void SetUp() override {
    ini = NEW_KSINI();
    ASSERT_NE(ini, nullptr);
    ASSERT_TRUE(ini->Open(name.c_str()));
  }
  void TearDown() override {
    ini->Release();
    std::filesystem::remove(path);
  }
  std::string Read(const char* key, const char* def, unsigned size) {
    std::string buf(size + 4, '#');
    EXPECT_TRUE(ini->ReadString(key, def, buf.data(), size));
    return buf.c_str();
  }
};

TEST_F(Settings, FileLiesBesideTheProgram) {
  std::string exe = std::filesystem::canonical("/proc/self/exe").string();
  EXPECT_EQ(GetIniDirectory(), exe.substr(0, exe.rfind('/')));
  EXPECT_EQ(ini->Path(), path);
  EXPECT_EQ(&GetIniDirectory(), &GetIniDirectory());  // looked up once
}

TEST_F(Settings, MissingFileGivesTheDefaults) {
  EXPECT_EQ(Read("Index", "0", 9), "0");
  EXPECT_EQ(Read("DefMediaPath", "", 260), "");
  EXPECT_FALSE(std::filesystem::exists(path));  // reading creates nothing
}

TEST_F(Settings, IndexIsCutToItsBuffer) {
  WriteFile(path, "[INI]\nIndex=123456789\n");
  EXPECT_EQ(Read("Index", "0", 9), "12345678");
  WriteFile(path, "[INI]\nIndex=abc\n");
  EXPECT_EQ(Read("Index", "0", 9), "abc");
  EXPECT_EQ(std::atol(Read("Index", "0", 9).c_str()), 0);
}

TEST_F(Settings, WriteCreatesTheFileAndReadsBack) {
  ASSERT_TRUE(ini->WriteString("Index", "2"));
  ASSERT_TRUE(ini->WriteString("DefMediaPath", "/home/user/Videos/film.avi"));
  EXPECT_EQ(ReadFile(path), "[INI]\nIndex=2\nDefMediaPath=/home/user/Videos/film.avi\n");
  // A fresh object reads what the last one wrote: nothing is cached.
  KsIni* other = NEW_KSINI();
  ASSERT_TRUE(other->Open(name.c_str()));
  char buf[260];
  other->ReadString("defmediapath", "", buf, sizeof buf);
  EXPECT_STREQ(buf, "/home/user/Videos/film.avi");
  other->Release();
}

TEST_F(Settings, IntegersTravelAsHexText) {
  EXPECT_EQ(ini->ReadInt("missing", 8), 8);
  ASSERT_TRUE(ini->WriteInt("a", 255));
  ASSERT_TRUE(ini->WriteInt("b", -1));
  EXPECT_EQ(Read("a", "", 20), "0xff");
  EXPECT_EQ(Read("b", "", 20), "0xffffffff");
  EXPECT_EQ(ini->ReadInt("a", 8), 255);
  EXPECT_EQ(ini->ReadInt("b", 8), -1);
  ASSERT_TRUE(ini->WriteString("c", "5"));
  ASSERT_TRUE(ini->WriteString("d", "0x1F"));
  ASSERT_TRUE(ini->WriteString("e", "0X1F"));
  EXPECT_EQ(ini->ReadInt("c", 8), 0);
  EXPECT_EQ(ini->ReadInt("d", 8), 31);
  EXPECT_EQ(ini->ReadInt("e", 8), 0);
}

TEST(HexText, FormatAndScan) {
  EXPECT_STREQ(FormatHexInt(0), "0x0");
  EXPECT_STREQ(FormatHexInt(23499), "0x5bcb");
  EXPECT_STREQ(FormatHexInt(INT32_MIN), "0x80000000");
  EXPECT_EQ(ScanHexInt("0x5bcb"), 23499);
  EXPECT_EQ(ScanHexInt("0x80000000"), INT32_MIN);
  EXPECT_EQ(ScanHexInt("0x1fz"), 31);
  EXPECT_EQ(ScanHexInt("0x"), 0);
  EXPECT_EQ(ScanHexInt("0xg"), 0);
  EXPECT_EQ(ScanHexInt(" 0x1"), 0);
  EXPECT_EQ(ScanHexInt(""), 0);
  EXPECT_EQ(ScanHexInt(nullptr), 0);
  // More digits than 32 bits hold wrap instead of being undefined.
  EXPECT_EQ(ScanHexInt("0x123456789"), 0x23456789);
}

TEST_F(Settings, LongPathsAndLongValuesWork) {
  // Nested folders that together pass the old 260-character limit.
  std::string top = "ksini_long_" + std::to_string(getpid());
  std::string folder = top + "/" + std::string(150, 'd') + "/" + std::string(150, 'e');
  std::filesystem::create_directories(GetIniDirectory() + "/" + folder);
  KsIni* deep = NEW_KSINI();
  ASSERT_TRUE(deep->Open((folder + "/config.ini").c_str()));
  EXPECT_GT(deep->Path().size(), 300u);
  std::string value = "/media/" + std::string(1000, 'v') + "/film.mpg";
  ASSERT_TRUE(deep->WriteString("DefMediaPath", value.c_str()));
  EXPECT_EQ(deep->ReadString("DefMediaPath", ""), value);
  EXPECT_EQ(deep->ReadString("Index", "0"), "0");
  std::string cut(300, '#');
  deep->ReadString("DefMediaPath", "", cut.data(), 260);
  EXPECT_EQ(std::string(cut.c_str()), value.substr(0, 259));
  deep->Release();
  std::filesystem::remove_all(GetIniDirectory() + "/" + top);
}

TEST_F(Settings, FailedWriteIsReportedAsFalse) {
  KsIni* bad = NEW_KSINI();
  ASSERT_TRUE(bad->Open("no_such_folder_for_ksini/config.ini"));
  EXPECT_FALSE(bad->WriteString("Index", "1"));
  EXPECT_FALSE(bad->WriteInt("Index", 1));
  bad->Release();
  KsIni* unopened = NEW_KSINI();
  EXPECT_FALSE(unopened->WriteString("Index", "1"));
  char buf[8];
  EXPECT_TRUE(unopened->ReadString("Index", "7", buf, sizeof buf));
  EXPECT_STREQ(buf, "7");
  EXPECT_FALSE(unopened->Open(nullptr));
  unopened->Release();
}

TEST(SettingsSelfTest, WritesNameAndPrintsBothReads) {
  std::string file = GetIniDirectory() + "/IniFile.ini";
  std::filesystem::remove(file);
  KsIni* ini = NEW_KSINI();
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(ini->SelfTest());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "I get 8\nI get 23499\n");
  EXPECT_EQ(ReadFile(file), "[INI]\nname=0x5bcb\n");
  ini->Release();
  std::filesystem::remove(file);
}

TEST(SettingsFactories, NewObjectsAndTheStaticOne) {
  KsIni* a = NEW_KSINI();
  KsIni* b = NEW_KSINI();
  ASSERT_NE(a, nullptr);
  EXPECT_NE(a, b);
  EXPECT_TRUE(a->Path().empty());
  a->Release();
  b->Release();

  KsIni* s = NEW_00_KSINI();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(NEW_00_KSINI(), s);
  ASSERT_TRUE(s->Open("static.ini"));
  // Releasing the process-wide object by mistake leaves it intact.
  s->Release();
  EXPECT_EQ(NEW_00_KSINI(), s);
  EXPECT_EQ(s->Path(), GetIniDirectory() + "/static.ini");
  FreeStaticKsIni();
  FreeStaticKsIni();  // a second run finds nothing to destroy
  KsIni* again = NEW_00_KSINI();
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(again->Path().empty());

  // The factories are visible symbols of the program.
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "NEW_KSINI"), reinterpret_cast<void*>(&NEW_KSINI));
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "NEW_00_KSINI"), reinterpret_cast<void*>(&NEW_00_KSINI));
}

}  // namespace
