#include <gtest/gtest.h>
#include <win32/drives.h>
#include <win32/errors.h>
#include <win32/module.h>
#include <win32/shell.h>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

using testutil::ScopedEnv;
using testutil::TempDir;
using Strings = std::vector<std::string>;

TEST(ModulePath, ExecutablePathWithWindowsTruncation) {
  std::string exe = std::filesystem::canonical("/proc/self/exe").string();
  EXPECT_EQ(ModuleFileName(), exe);
  EXPECT_EQ(exe.substr(exe.rfind('/') + 1), "win32_test");

  std::vector<char> buf(exe.size() + 1, '#');
  EXPECT_EQ(GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size())), exe.size());
  EXPECT_EQ(std::string(buf.data()), exe);

  // One character short: cut to size-1, still NUL-terminated, result size.
  std::vector<char> small(exe.size(), '#');
  EXPECT_EQ(GetModuleFileNameA(nullptr, small.data(), static_cast<DWORD>(small.size())), small.size());
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::string(small.data()), exe.substr(0, exe.size() - 1));
  char one = '#';
  EXPECT_EQ(GetModuleFileNameA(nullptr, &one, 1), 1u);
  EXPECT_EQ(one, '\0');
  EXPECT_EQ(GetModuleFileNameA(nullptr, nullptr, 0), 0u);
}

TEST(ModulePath, LoadedLibraryPath) {
  void* lib = dlopen("libqwin32.so", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(lib, nullptr);
  char buf[4096];
  DWORD n = GetModuleFileNameA(lib, buf, sizeof buf);
  ASSERT_GT(n, 0u);
  std::string path(buf, n);
  EXPECT_EQ(path.substr(path.rfind('/') + 1), "libqwin32.so");
  EXPECT_TRUE(std::filesystem::exists(path));
  dlclose(lib);
}

class Drives : public ::testing::Test {
 protected:
  TempDir dir;
  std::string mounts = dir / "mounts";
  void SetUp() override { SetMountsFile(mounts); }
  void TearDown() override { SetMountsFile(""); }
};

TEST_F(Drives, OpticalMountsThenFoldersFromTheEnvironment) {
  testutil::WriteFile(mounts,
                      "sysfs /sys sysfs rw 0 0\n"
                      "/dev/sda1 / ext4 rw,relatime 0 0\n"
                      "/dev/sr0 /media/user/MOVIE_DISC iso9660 ro,nosuid 0 0\n"
                      "/dev/loop3 /mnt/my\\040disc udf ro 0 0\n"
                      "server:/share /net nfs rw 0 0\n"
                      "/dev/sr1 /media/dvd2/ auto ro 0 0\n"
                      "garbage line\n"
                      "\n");
  ScopedEnv env("QUILLMERE_DVD", "/copies/one:/copies/two/::/copies/one");
  EXPECT_EQ(LogicalDrives(),
            (Strings{"/media/user/MOVIE_DISC/", "/mnt/my disc/", "/media/dvd2/", "/copies/one/", "/copies/two/"}));

  std::string expected = std::string("/media/user/MOVIE_DISC/\0/mnt/my disc/\0/media/dvd2/\0/copies/one/\0/copies/two/\0", 77);
  std::vector<char> buf(100, '#');
  EXPECT_EQ(GetLogicalDriveStringsA(static_cast<DWORD>(buf.size()), buf.data()), 77u);
  EXPECT_EQ(std::string(buf.data(), 79), expected + '\0' + '#');
  // Too small by one: the needed size, nothing written.
  std::fill(buf.begin(), buf.end(), '#');
  EXPECT_EQ(GetLogicalDriveStringsA(77, buf.data()), 78u);
  EXPECT_EQ(buf[0], '#');
  EXPECT_EQ(GetLogicalDriveStringsA(78, buf.data()), 77u);

  EXPECT_EQ(GetDriveTypeA("/media/user/MOVIE_DISC/"), DRIVE_CDROM);
  EXPECT_EQ(GetDriveTypeA("/media/user/MOVIE_DISC"), DRIVE_CDROM);
  EXPECT_EQ(GetDriveTypeA("/copies/two/"), DRIVE_CDROM);
  EXPECT_EQ(GetDriveTypeA(dir.path().c_str()), DRIVE_FIXED);
  EXPECT_EQ(GetDriveTypeA("/no/such/folder/"), DRIVE_NO_ROOT_DIR);
}

TEST_F(Drives, NoDiscsAndNoEnvironmentGiveAnEmptyList) {
  SetMountsFile(dir / "missing");  // an unreadable table lists no discs
  ScopedEnv env("QUILLMERE_DVD", std::nullopt);
  char buf[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(GetLogicalDriveStringsA(sizeof buf, buf), 0u);
  EXPECT_EQ(buf[0], '\0');
}

TEST_F(Drives, TheVideoFolderOfADiscCopyOrOfTheVideoTsFolderItself) {
  namespace fs = std::filesystem;
  // A disc copied with its folder, one with a lower-case name, the VIDEO_TS folder
  // itself (under its own name or another), and a folder with neither.
  fs::create_directories(dir / "copy/VIDEO_TS");
  fs::create_directories(dir / "lower/video_ts");
  fs::create_directories(dir / "plain/VIDEO_TS");
  testutil::WriteFile(dir / "plain/VIDEO_TS/VIDEO_TS.IFO", "x");
  fs::create_directories(dir / "renamed");
  testutil::WriteFile(dir / "renamed/video_ts.ifo", "x");
  fs::create_directories(dir / "empty");
  fs::create_directories(dir / "fileonly");
  testutil::WriteFile(dir / "fileonly/VIDEO_TS", "not a folder");

  EXPECT_EQ(VideoFolderOf(dir / "copy/"), dir / "copy/VIDEO_TS");
  EXPECT_EQ(VideoFolderOf(dir / "copy"), dir / "copy/VIDEO_TS");
  EXPECT_EQ(VideoFolderOf(dir / "lower/"), dir / "lower/video_ts");
  EXPECT_EQ(VideoFolderOf(dir / "plain/"), dir / "plain/VIDEO_TS");  // the disc's root
  EXPECT_EQ(VideoFolderOf(dir / "plain/VIDEO_TS/"), dir / "plain/VIDEO_TS");
  EXPECT_EQ(VideoFolderOf(dir / "renamed/"), dir / "renamed");
  // Nothing found: the disc's usual path, which opening then reports.
  EXPECT_EQ(VideoFolderOf(dir / "empty/"), dir / "empty/VIDEO_TS");
  EXPECT_EQ(VideoFolderOf(dir / "fileonly/"), dir / "fileonly/VIDEO_TS");
  EXPECT_EQ(VideoFolderOf("/no/such/folder/"), "/no/such/folder/VIDEO_TS");

  // Folders of QUILLMERE_DVD that can be no disc are said on standard error, once.
  testutil::WriteFile(dir / "disc.iso", "not mounted");
  ScopedEnv env("QUILLMERE_DVD", (dir / "copy") + ":" + (dir / "plain/VIDEO_TS") + ":" + (dir / "empty") + ":" +
                                     (dir / "missing") + ":" + (dir / "disc.iso"));
  testing::internal::CaptureStderr();
  const Strings drives = LogicalDrives();
  LogicalDrives();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(drives, (Strings{dir / "copy/", dir / "plain/VIDEO_TS/", dir / "empty/", dir / "missing/",
                             dir / "disc.iso/"}));
  EXPECT_EQ(said, "QUILLMERE_DVD: \"" + (dir / "empty") +
                      "\" holds no VIDEO_TS folder and no VIDEO_TS.IFO; name the folder a disc was copied into or "
                      "its VIDEO_TS folder.\n"
                      "QUILLMERE_DVD: \"" +
                      (dir / "missing") + "\" does not exist.\n" + "QUILLMERE_DVD: \"" + (dir / "disc.iso") +
                      "\" is not a folder (a disc image must be mounted first).\n");
}

TEST(VideosFolder, AsksXdgUserDirAndFallsBackToHome) {
  TempDir dir;
  std::string videos = dir / "Videos";
  std::filesystem::create_directory(videos);
  std::string bin = dir / "bin";
  std::filesystem::create_directory(bin);
  testutil::WriteScript(bin + "/xdg-user-dir", "[ \"$1\" = VIDEOS ] && echo '" + videos + "'\n");
  ScopedEnv path("PATH", bin);
  ScopedEnv home("HOME", dir.path());
  EXPECT_EQ(UserVideosFolder(), videos + "/");

  // Not configured (xdg-user-dir answers a folder that is not there), or failing: $HOME.
  testutil::WriteScript(bin + "/xdg-user-dir", "echo '" + dir.path() + "/Gone'\n");
  EXPECT_EQ(UserVideosFolder(), dir.path() + "/");
  testutil::WriteScript(bin + "/xdg-user-dir", "exit 1\n");
  EXPECT_EQ(UserVideosFolder(), dir.path() + "/");
  std::filesystem::remove(bin + "/xdg-user-dir");
  EXPECT_EQ(UserVideosFolder(), dir.path() + "/");
}

class Shell : public ::testing::Test {
 protected:
  TempDir dir;
  std::string bin = dir / "bin";
  std::string log = dir / "log";
  std::optional<ScopedEnv> path;
  void SetUp() override {
    std::filesystem::create_directory(bin);
    // A stand-in xdg-open records its arguments and working folder, one per line.
    testutil::WriteScript(bin + "/xdg-open", "printf '%s|' \"$@\" \"$(pwd)\" >> '" + log + "'; echo >> '" + log + "'\n");
    path.emplace("PATH", bin);
  }
  static INT_PTR Result(HINSTANCE h) { return reinterpret_cast<INT_PTR>(h); }
};

TEST_F(Shell, OpensFilesAndAddressesWithXdgOpen) {
  std::string help = dir / "help.chm";
  testutil::WriteFile(help, "x");
  EXPECT_GT(Result(ShellExecuteA(nullptr, "Open", help.c_str(), nullptr, nullptr, SW_SHOW)), 32);
  EXPECT_EQ(testutil::WaitForFile(log), help + "|" + std::filesystem::current_path().string() + "|\n");

  std::filesystem::remove(log);
  // The address travels as one argument, untouched by any shell.
  const char* url = "https://example.org/a b;$(touch x)";
  EXPECT_GT(Result(ShellExecuteA(nullptr, nullptr, url, nullptr, dir.path().c_str(), SW_SHOWNORMAL)), 32);
  EXPECT_EQ(testutil::WaitForFile(log), std::string(url) + "|" + dir.path() + "|\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "x"));

  std::filesystem::remove(log);
  testutil::WriteFile(dir / "-n", "x");
  EXPECT_GT(Result(ShellExecuteA(nullptr, "open", "-n", nullptr, dir.path().c_str(), SW_SHOW)), 32);
  EXPECT_EQ(testutil::WaitForFile(log), "./-n|" + dir.path() + "|\n");
}

TEST_F(Shell, FailuresAreSmallNumbers) {
  EXPECT_EQ(Result(ShellExecuteA(nullptr, "open", (dir / "missing.chm").c_str(), nullptr, nullptr, SW_SHOW)),
            SE_ERR_FNF);
  EXPECT_EQ(Result(ShellExecuteA(nullptr, "open", nullptr, nullptr, nullptr, SW_SHOW)), SE_ERR_FNF);
  testutil::WriteFile(dir / "doc.txt", "x");
  EXPECT_EQ(Result(ShellExecuteA(nullptr, "print", (dir / "doc.txt").c_str(), nullptr, nullptr, SW_SHOW)),
            SE_ERR_NOASSOC);
  // A FIFO would keep the viewer reading forever: it is not handed on.
  const std::string fifo = dir / "README.md";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(Result(ShellExecuteA(nullptr, "open", fifo.c_str(), nullptr, nullptr, SW_SHOW)), SE_ERR_ACCESSDENIED);
  std::filesystem::remove(bin + "/xdg-open");
  EXPECT_LE(Result(ShellExecuteA(nullptr, "open", (dir / "doc.txt").c_str(), nullptr, nullptr, SW_SHOW)), 32);
  EXPECT_FALSE(std::filesystem::exists(log));
}

TEST(ExitWindows, TheSeamReceivesTheCallAndIsRestored) {
  std::vector<std::pair<UINT, DWORD>> calls;
  ExitWindowsHandler previous = SetExitWindowsHandler([&](UINT f, DWORD r) {
    calls.emplace_back(f, r);
    return TRUE;
  });
  EXPECT_TRUE(ExitWindowsEx(EWX_LOGOFF, 0xFFFFFFFF));
  EXPECT_EQ(calls, (std::vector<std::pair<UINT, DWORD>>{{EWX_LOGOFF, 0xFFFFFFFFu}}));
  SetExitWindowsHandler([](UINT, DWORD) { return FALSE; });
  EXPECT_FALSE(ExitWindowsEx(EWX_LOGOFF, 0));
  SetExitWindowsHandler(previous);
}

// The default asks the running desktop's session manager; here only stand-ins exist on
// PATH, so nobody is logged out.
TEST(ExitWindows, DefaultAsksTheDesktopSessionManagerToLogOut) {
  TempDir dir;
  std::string bin = dir / "bin", log = dir / "log";
  std::filesystem::create_directory(bin);
  for (const char* tool : {"gnome-session-quit", "xfce4-session-logout", "qdbus"})
    testutil::WriteScript(bin + "/" + tool,
                          std::string("echo ") + tool + " \"$@\" >> '" + log + "'\n");
  ScopedEnv path("PATH", bin);
  SetExitWindowsHandler(nullptr);

  {
    ScopedEnv desktop("XDG_CURRENT_DESKTOP", "XFCE");
    EXPECT_TRUE(ExitWindowsEx(EWX_LOGOFF, 0xFFFFFFFF));
    EXPECT_EQ(testutil::ReadFile(log), "xfce4-session-logout --logout\n");
  }
  std::filesystem::remove(log);
  {
    ScopedEnv desktop("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    EXPECT_TRUE(ExitWindowsEx(EWX_LOGOFF | EWX_FORCE, 0));
    EXPECT_EQ(testutil::ReadFile(log), "gnome-session-quit --logout --no-prompt\n");
  }
  std::filesystem::remove(log);
  {
    // Unknown desktop: the first session manager that is there and succeeds.
    ScopedEnv desktop("XDG_CURRENT_DESKTOP", std::nullopt);
    testutil::WriteScript(bin + "/gnome-session-quit", "exit 1\n");
    EXPECT_TRUE(ExitWindowsEx(EWX_LOGOFF, 0));
    EXPECT_EQ(testutil::ReadFile(log), "qdbus org.kde.ksmserver /KSMServer logout 0 0 0\n");
  }
  std::filesystem::remove(log);
  // Shutting the machine down is not something this program asks for.
  EXPECT_FALSE(ExitWindowsEx(EWX_SHUTDOWN, 0));
  EXPECT_FALSE(std::filesystem::exists(log));
  // No session manager at all: FALSE.
  std::filesystem::remove_all(bin);
  std::filesystem::create_directory(bin);
  EXPECT_FALSE(ExitWindowsEx(EWX_LOGOFF, 0));
}

}  // namespace
