#include <gtest/gtest.h>
#include <win32/errors.h>
#include <win32/profile.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

using testutil::ReadFile;
using testutil::WriteFile;

class Profile : public ::testing::Test {
 protected:
  testutil::TempDir dir;
  std::string file = dir / "test.ini";

  std::string Get(const char* section, const char* key, const char* def = "<def>", DWORD size = 4096) {
    std::vector<char> buf(size + 1, '#');
    DWORD n = GetPrivateProfileStringA(section, key, def, buf.data(), size, file.c_str());
    EXPECT_EQ(buf[n], '\0');
    return std::string(buf.data(), n);
  }
  // A NUL-separated list as its items.
  std::vector<std::string> List(const char* section, const char* key, DWORD size = 4096) {
    std::vector<char> buf(size, '#');
    DWORD n = GetPrivateProfileStringA(section, key, nullptr, buf.data(), size, file.c_str());
    return Split(buf.data(), n);
  }
  static std::vector<std::string> Split(const char* p, DWORD n) {
    std::vector<std::string> items;
    EXPECT_EQ(p[n], '\0');
    for (DWORD i = 0; i < n;) {
      std::string s(p + i);
      i += static_cast<DWORD>(s.size()) + 1;
      items.push_back(s);
    }
    return items;
  }
};

using Strings = std::vector<std::string>;

TEST_F(Profile, MissingFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(Get("INI", "Index", "0"), "0");
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Get("INI", "Index", nullptr), "");
  EXPECT_EQ(Get("INI", "Index", "dflt   "), "dflt");  // trailing blanks of the default are cut
  EXPECT_EQ(List(nullptr, nullptr), Strings{});

  WriteFile(file, "[INI]\nIndex=3\n");
  EXPECT_EQ(Get("INI", "Other", "x"), "x");
  EXPECT_EQ(Get("Missing", "Index", "y"), "y");
  EXPECT_EQ(Get("INI", "Index", "y"), "3");
}

TEST_F(Profile, ValuesAreTrimmedAndUnquotedAndKeysMayHoldBlanks) {
  WriteFile(file,
            "[ Main Section ]\n"
            "  my key  =  two  words  \n"
            "quoted=\"  padded  \"\n"
            "single='x'\n"
            "unbalanced=\"abc\n"
            "mixed=\"abc'\n"
            "empty=\n"
            "equals=a=b\n"
            "\ttabbed\t=\tv\t\n");
  EXPECT_EQ(Get("Main Section", "my key"), "two  words");
  EXPECT_EQ(Get("Main Section", "  my key "), "two  words");
  EXPECT_EQ(Get("Main Section", "quoted"), "  padded  ");
  EXPECT_EQ(Get("Main Section", "single"), "x");
  EXPECT_EQ(Get("Main Section", "unbalanced"), "\"abc");
  EXPECT_EQ(Get("Main Section", "mixed"), "\"abc'");
  EXPECT_EQ(Get("Main Section", "empty"), "");  // found: no default
  EXPECT_EQ(Get("Main Section", "equals"), "a=b");
  EXPECT_EQ(Get("Main Section", "tabbed"), "v");
}

TEST_F(Profile, NamesCompareWithoutLetterCase) {
  WriteFile(file, "[Ini]\nDefMediaPath=/home/u/film.avi\n");
  EXPECT_EQ(Get("INI", "defmediapath"), "/home/u/film.avi");
  EXPECT_EQ(Get("ini", "DEFMEDIAPATH"), "/home/u/film.avi");
  ASSERT_TRUE(WritePrivateProfileStringA("INI", "DEFMEDIAPATH", "x", file.c_str()));
  // The file keeps its own spelling of section and key.
  EXPECT_EQ(ReadFile(file), "[Ini]\nDefMediaPath=x\n");
}

TEST_F(Profile, FirstOfDuplicateKeysAndSectionsWins) {
  WriteFile(file, "[a]\nk=1\nK=2\n[A]\nk=3\nonly=4\n");
  EXPECT_EQ(Get("a", "k"), "1");
  EXPECT_EQ(Get("a", "only"), "<def>");
  EXPECT_EQ(List(nullptr, nullptr), (Strings{"a"}));
  EXPECT_EQ(List("a", nullptr), (Strings{"k"}));
  ASSERT_TRUE(WritePrivateProfileStringA("a", "k", "9", file.c_str()));
  EXPECT_EQ(ReadFile(file), "[a]\nk=9\nK=2\n[A]\nk=3\nonly=4\n");
}

TEST_F(Profile, CrlfFilesReadCleanlyAndKeepTheirLineEnds) {
  WriteFile(file, "[INI]\r\nIndex=2\r\nPath=/a b/c\r\n\r\n[Other]\r\nx=1\r\n");
  EXPECT_EQ(Get("INI", "Index"), "2");
  EXPECT_EQ(Get("INI", "Path"), "/a b/c");
  EXPECT_EQ(List(nullptr, nullptr), (Strings{"INI", "Other"}));
  ASSERT_TRUE(WritePrivateProfileStringA("INI", "New", "n", file.c_str()));
  EXPECT_EQ(ReadFile(file), "[INI]\r\nIndex=2\r\nPath=/a b/c\r\nNew=n\r\n\r\n[Other]\r\nx=1\r\n");
}

TEST_F(Profile, LongValuesAndTruncationToTheBuffer) {
  std::string longValue(10000, 'v');
  longValue[0] = 'A';
  longValue.back() = 'Z';
  ASSERT_TRUE(WritePrivateProfileStringA("S", "long", longValue.c_str(), file.c_str()));
  EXPECT_EQ(Get("S", "long", "", 20000), longValue);

  // A cut value: size-1 characters and the NUL.
  EXPECT_EQ(Get("S", "long", "", 10), longValue.substr(0, 9));
  WriteFile(file, "[S]\nk=12345\n");
  EXPECT_EQ(Get("S", "k", "", 6), "12345");  // exactly fits
  EXPECT_EQ(Get("S", "k", "", 5), "1234");
  EXPECT_EQ(Get("S", "missing", "abcdef", 4), "abc");  // the default is cut the same way

  char one[1] = {'#'};
  EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", one, 1, file.c_str()), 0u);
  EXPECT_EQ(one[0], '\0');
  char untouched = '#';
  EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", &untouched, 0, file.c_str()), 0u);
  EXPECT_EQ(untouched, '#');
}

TEST_F(Profile, ListsOfSectionsAndKeysAndTheirTruncation) {
  WriteFile(file, "[first]\nalpha=1\nbeta\n; note=no\n[second]\n[third]\ngamma=3\n");
  EXPECT_EQ(List(nullptr, nullptr), (Strings{"first", "second", "third"}));
  EXPECT_EQ(List("FIRST", nullptr), (Strings{"alpha", "beta"}));
  EXPECT_EQ(List("second", nullptr), Strings{});
  EXPECT_EQ(List("none", nullptr), Strings{});

  // "first\0second\0third\0" is 19 characters: with 20 it fits, below it is cut and ends
  // with two NULs, returning size-2.
  char buf[32];
  std::fill(std::begin(buf), std::end(buf), '#');
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buf, 20, file.c_str()), 19u);
  EXPECT_EQ(buf[19], '\0');
  std::fill(std::begin(buf), std::end(buf), '#');
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buf, 19, file.c_str()), 17u);
  EXPECT_EQ(std::string(buf, 19), std::string("first\0second\0thir\0\0", 19));
  EXPECT_EQ(buf[19], '#');
  std::fill(std::begin(buf), std::end(buf), '#');
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buf, 2, file.c_str()), 0u);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(buf[1], '\0');
  EXPECT_EQ(buf[2], '#');
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buf, 1, file.c_str()), 0u);
  EXPECT_EQ(buf[0], '\0');
}

TEST_F(Profile, SectionLinesAreNulSeparated) {
  WriteFile(file, "[Controls]\n1 = 10,20\n2=30,40\nflag\n\n; comment\n[Next]\n3=0,0\n");
  char buf[64];
  DWORD n = GetPrivateProfileSectionA("controls", buf, sizeof buf, file.c_str());
  EXPECT_EQ(Split(buf, n), (Strings{"1=10,20", "2=30,40", "flag"}));
  EXPECT_EQ(n, 21u);
  // Cut to the buffer: two NULs, size-2.
  std::fill(std::begin(buf), std::end(buf), '#');
  n = GetPrivateProfileSectionA("Controls", buf, 12, file.c_str());
  EXPECT_EQ(n, 10u);
  EXPECT_EQ(std::string(buf, 12), std::string("1=10,20\0002=\0\0", 12));
  n = GetPrivateProfileSectionA("Missing", buf, sizeof buf, file.c_str());
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(buf[0], '\0');
}

TEST_F(Profile, MalformedFilesAreReadWithoutFailing) {
  std::string junk = "orphan=before any section\n"
                     "[unclosed\n"
                     "a=1\n"
                     "no equals sign\n"
                     "=no key\n"
                     "[]\n"
                     "b=2\n"
                     "[x] trailing text\n"
                     "c=3\n";
  junk += std::string("bin\0ary=zz\n", 11);
  junk += "\xEF\xBB\xBF\xFF\xFE=weird\n";
  WriteFile(file, junk);
  EXPECT_EQ(Get("unclosed", "a"), "1");
  EXPECT_EQ(Get("unclosed", "no equals sign", "d"), "d");  // a name without a value
  EXPECT_EQ(Get("", "b"), "2");
  EXPECT_EQ(Get("x", "c"), "3");
  EXPECT_EQ(Get("x", "bin"), "<def>");  // the rest of a line after a NUL byte is ignored
  EXPECT_EQ(Get("unclosed", "orphan"), "<def>");
  EXPECT_EQ(List("unclosed", nullptr), (Strings{"a", "no equals sign"}));

  // A file with a byte-order mark still finds its first section.
  WriteFile(file, "\xEF\xBB\xBF[INI]\nIndex=5\n");
  EXPECT_EQ(Get("INI", "Index"), "5");
  ASSERT_TRUE(WritePrivateProfileStringA("INI", "Index", "6", file.c_str()));
  EXPECT_EQ(ReadFile(file), "\xEF\xBB\xBF[INI]\nIndex=6\n");

  // A folder is not a profile.
  EXPECT_EQ(GetPrivateProfileStringA("INI", "Index", "d", nullptr, 10, file.c_str()), 0u);
  std::string folder = dir.path();
  char buf[8];
  EXPECT_EQ(GetPrivateProfileStringA("INI", "Index", "d", buf, sizeof buf, folder.c_str()), 1u);
  EXPECT_STREQ(buf, "d");
  EXPECT_FALSE(WritePrivateProfileStringA("INI", "Index", "1", folder.c_str()));
}

TEST_F(Profile, WriteCreatesFileAndSectionAndKeepsOtherLines) {
  ASSERT_TRUE(WritePrivateProfileStringA("INI", "Index", "1", file.c_str()));
  EXPECT_EQ(ReadFile(file), "[INI]\nIndex=1\n");
  ASSERT_TRUE(WritePrivateProfileStringA("INI", "DefMediaPath", "/v/a.mpg", file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("Other", "k", "v", file.c_str()));
  EXPECT_EQ(ReadFile(file), "[INI]\nIndex=1\nDefMediaPath=/v/a.mpg\n\n[Other]\nk=v\n");

  WriteFile(file, "; settings\n[A]\n  x = 1   ; kept\n\n[B]\ny=2\n");
  ASSERT_TRUE(WritePrivateProfileStringA("A", "z", "3", file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("B", "y", "22", file.c_str()));
  EXPECT_EQ(ReadFile(file), "; settings\n[A]\n  x = 1   ; kept\nz=3\n\n[B]\ny=22\n");
  // Only the renamed file remains in the folder: no temporary files are left behind.
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) entries += e.is_regular_file();
  EXPECT_EQ(entries, 1);
}

TEST_F(Profile, NullValueDeletesKeyAndNullKeyDeletesSection) {
  WriteFile(file, "[A]\nx=1\ny=2\n\n[B]\nz=3\n\n[C]\nw=4\n");
  ASSERT_TRUE(WritePrivateProfileStringA("a", "X", nullptr, file.c_str()));
  EXPECT_EQ(ReadFile(file), "[A]\ny=2\n\n[B]\nz=3\n\n[C]\nw=4\n");
  ASSERT_TRUE(WritePrivateProfileStringA("b", nullptr, nullptr, file.c_str()));
  EXPECT_EQ(ReadFile(file), "[A]\ny=2\n\n[C]\nw=4\n");
  EXPECT_EQ(Get("B", "z"), "<def>");
  // Deleting what is not there succeeds and changes nothing.
  ASSERT_TRUE(WritePrivateProfileStringA("A", "none", nullptr, file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("none", nullptr, nullptr, file.c_str()));
  EXPECT_EQ(ReadFile(file), "[A]\ny=2\n\n[C]\nw=4\n");
  std::string absent = dir / "absent.ini";
  ASSERT_TRUE(WritePrivateProfileStringA("A", "k", nullptr, absent.c_str()));
  EXPECT_FALSE(std::filesystem::exists(absent));
}

TEST_F(Profile, WritesThatWouldCorruptTheFileAreRefused) {
  WriteFile(file, "[INI]\nIndex=1\n");
  EXPECT_FALSE(WritePrivateProfileStringA("INI", "Index", "2\n[Evil]\nx=1", file.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(WritePrivateProfileStringA("INI", "a=b", "1", file.c_str()));
  EXPECT_FALSE(WritePrivateProfileStringA("IN]I", "a", "1", file.c_str()));
  EXPECT_FALSE(WritePrivateProfileStringA("INI", "[a", "1", file.c_str()));
  EXPECT_FALSE(WritePrivateProfileStringA("INI", "  ", "1", file.c_str()));
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "a", "1", file.c_str()));
  EXPECT_FALSE(WritePrivateProfileStringA("INI", "a", "1", nullptr));
  EXPECT_EQ(ReadFile(file), "[INI]\nIndex=1\n");
}

TEST_F(Profile, FailedWritesReportFalse) {
  std::string inMissingFolder = dir / "no/such/folder/x.ini";
  EXPECT_FALSE(WritePrivateProfileStringA("INI", "a", "1", inMissingFolder.c_str()));
  EXPECT_NE(GetLastError(), ERROR_SUCCESS);
  if (geteuid() != 0) {  // root writes anywhere
    std::string locked = dir / "locked";
    std::filesystem::create_directory(locked);
    chmod(locked.c_str(), 0555);
    std::string inLocked = locked + "/x.ini";
    EXPECT_FALSE(WritePrivateProfileStringA("INI", "a", "1", inLocked.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    chmod(locked.c_str(), 0755);
  }
}

// A FIFO in place of the file would block an opening reader until a writer comes: it
// reads as a missing file, a write fails, and the FIFO stays.
TEST_F(Profile, AFifoIsNeitherWaitedOnNorReplaced) {
  ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
  EXPECT_EQ(Get("INI", "Index", "0"), "0");
  char sections[16] = "#";
  EXPECT_EQ(GetPrivateProfileSectionA("INI", sections, sizeof sections, file.c_str()), 0u);
  EXPECT_FALSE(WritePrivateProfileStringA("INI", "Index", "1", file.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  struct stat st {};
  ASSERT_EQ(lstat(file.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(Profile, WritingThroughASymbolicLinkKeepsTheLinkAndTheMode) {
  std::string real = dir / "real.ini";
  WriteFile(real, "[INI]\nIndex=1\n");
  chmod(real.c_str(), 0640);
  std::filesystem::create_symlink(real, file);
  ASSERT_TRUE(WritePrivateProfileStringA("INI", "Index", "7", file.c_str()));
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  EXPECT_EQ(ReadFile(real), "[INI]\nIndex=7\n");
  struct stat st {};
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(Profile, IntegersAreDecimalWithTheDefaultForMissingOrEmptyValues) {
  WriteFile(file, "[S]\na=12abc\nb= -5\nc=abc\nd=\ne=\"42\"\nf=99999999999\n");
  EXPECT_EQ(GetPrivateProfileIntA("S", "a", 7, file.c_str()), 12u);
  EXPECT_EQ(static_cast<INT>(GetPrivateProfileIntA("S", "b", 7, file.c_str())), -5);
  EXPECT_EQ(GetPrivateProfileIntA("S", "c", 7, file.c_str()), 0u);
  EXPECT_EQ(GetPrivateProfileIntA("S", "d", 7, file.c_str()), 7u);
  EXPECT_EQ(GetPrivateProfileIntA("S", "e", 7, file.c_str()), 42u);
  EXPECT_EQ(GetPrivateProfileIntA("S", "missing", 7, file.c_str()), 7u);
  EXPECT_EQ(GetPrivateProfileIntA("S", "f", 7, file.c_str()), static_cast<UINT>(99999999999ULL));
}

}  // namespace
