// Program start-up: the six forms in order, the exception guard, the unit routines
// and the program directory; also the real executable, headless.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>

#include <support/files.h>
#include <support/scratch_dir.h>
#include <vcl/headless.h>
#include <vcl/winuser.h>

#include "about.h"
#include "convert.h"
#include "fresh_application.h"
#include "interface.h"
#include "main.h"
#include "option.h"
#include "preview.h"
#include "shutdlg.h"
#include "signals.h"
#include "winmain.h"

namespace {

namespace fs = std::filesystem;

// Every case lives a program's life of its own: it finds an application object,
// and leaves a fresh one behind with no forms, hooks or recorders of its own.
class StartUp : public ::testing::Test {
 protected:
  void SetUp() override { InitApplication(); }
  void TearDown() override {
    HeadlessSetIdleHook(nullptr);
    SetMessageBoxRecorder(nullptr);
    SetMessageBoxesUnattended(false);
    apptest::FreshApplication();
  }
};

TEST_F(StartUp, CreatesTheSixFormsInOrderAndEndsWithZeroWhenTheMainFormCloses) {
  int boxes = 0;
  SetMessageBoxRecorder([&](const MessageBoxInfo&) {
    ++boxes;
    return IDOK;
  });
  bool closeAsked = false;
  HeadlessSetIdleHook([&]() -> bool {
    if (closeAsked || !frmMain || !frmMain->Visible()) return false;
    closeAsked = true;
    HeadlessCloseRequest(frmMain);  // the user closes the main window
    return true;
  });
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
  HeadlessSetIdleHook(nullptr);
  EXPECT_TRUE(closeAsked);
  EXPECT_EQ(boxes, 0);
  EXPECT_EQ(Application->Title(), "Korvex Quillmere");
  EXPECT_TRUE(Application->Terminated());

  ASSERT_EQ(Application->ComponentCount(), 6);
  const char* order[] = {"TfrmMain", "TfrmOption", "TfrmPreview", "TAboutBox", "TfrmConvert", "TShutDlg"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Application->Components(i)->ClassName(), order[i]);
  EXPECT_EQ(Application->Components(0), frmMain);
  EXPECT_EQ(Application->Components(1), frmOption);
  EXPECT_EQ(Application->Components(2), frmPreview);
  EXPECT_EQ(Application->Components(3), AboutBox);
  EXPECT_EQ(Application->Components(4), frmConvert);
  EXPECT_EQ(Application->Components(5), ShutDlg);
  EXPECT_EQ(Application->MainForm(), frmMain);
  // Only the main window was shown.
  EXPECT_FALSE(frmOption->Visible() || frmPreview->Visible() || AboutBox->Visible() || frmConvert->Visible() ||
               ShutDlg->Visible());
  DoneApplication();
}

TEST_F(StartUp, FormsCarryTheirResourceSettings) {
  Application->Initialize();
  CreateForms();

  EXPECT_EQ(frmMain->Caption(), "Korvex Quillmere");
  EXPECT_EQ(frmMain->BorderStyle(), bsNone);
  EXPECT_TRUE(frmMain->BorderIcons().Empty());
  EXPECT_TRUE(frmMain->AutoSize());
  EXPECT_EQ(frmMain->ClientWidth(), 513);
  EXPECT_EQ(frmMain->ClientHeight(), 233);
  EXPECT_EQ(frmMain->Font()->Height(), -11);
  EXPECT_EQ(frmMain->Color(), clBtnFace);

  EXPECT_EQ(frmOption->Caption(), "Options");
  EXPECT_EQ(frmOption->BorderStyle(), bsDialog);
  EXPECT_EQ(frmOption->ClientWidth(), 532);
  EXPECT_EQ(frmOption->ClientHeight(), 543);

  EXPECT_EQ(frmPreview->Caption(), "Preview");
  EXPECT_EQ(frmPreview->BoundsRect(), Bounds(273, 90, 502, 389));
  EXPECT_EQ(frmPreview->BorderIcons(), TBorderIcons{biMaximize});

  EXPECT_EQ(AboutBox->Caption(), "About");
  EXPECT_EQ(AboutBox->BorderStyle(), bsDialog);
  EXPECT_EQ(AboutBox->ClientWidth(), 298);
  EXPECT_EQ(AboutBox->ClientHeight(), 213);

  EXPECT_EQ(frmConvert->Caption(), "Ripper");
  EXPECT_EQ(frmConvert->ClientWidth(), 387);
  EXPECT_EQ(frmConvert->ClientHeight(), 108);
  EXPECT_EQ(frmConvert->Color(), clWhite);

  EXPECT_EQ(ShutDlg->Caption(), "Warning");
  EXPECT_EQ(ShutDlg->BorderIcons(), TBorderIcons{biSystemMenu});
  EXPECT_EQ(ShutDlg->ClientWidth(), 548);
  EXPECT_EQ(ShutDlg->ClientHeight(), 125);

  // Centred when first shown: the main window on the desktop, the about box on the screen.
  frmMain->Show();
  EXPECT_EQ(frmMain->Left(), (Screen->Width() - frmMain->Width()) / 2);
  EXPECT_EQ(frmMain->Top(), (Screen->Height() - frmMain->Height()) / 2);
  AboutBox->Show();
  EXPECT_EQ(AboutBox->Left(), (Screen->Width() - AboutBox->Width()) / 2);
  frmPreview->Show();
  EXPECT_EQ(frmPreview->Left(), 273) << "a designed position stays";
  DoneApplication();
  EXPECT_EQ(Application, nullptr);
}

TEST_F(StartUp, ExceptionsEscapingStartUpAreShownAndTheGuardAnswersZero) {
  Application->Initialize();
  std::vector<std::string> texts;
  SetMessageBoxRecorder([&](const MessageBoxInfo& info) {
    texts.push_back(info.text);
    EXPECT_EQ(info.caption, Application->Title());
    EXPECT_EQ(info.type & MB_ICONMASK, MB_ICONSTOP);
    return IDOK;
  });
  bool after = false;
  EXPECT_EQ(RunGuarded([&] {
              throw EConvertError("Bitmap image is not valid");
              after = true;
            }),
            0);
  EXPECT_EQ(RunGuarded([] { throw 42; }), 0);
  EXPECT_EQ(RunGuarded([] { throw std::runtime_error("not a library exception"); }), 0);
  EXPECT_EQ(RunGuarded([] {}), 0);
  EXPECT_FALSE(after);
  EXPECT_EQ(texts, (std::vector<std::string>{"Bitmap image is not valid", "", ""}));
}

TEST_F(StartUp, ExceptionInOnCreateIsShownAndLaterFormsAreStillCreated) {
  Application->Initialize();
  std::vector<std::string> texts;
  SetMessageBoxRecorder([&](const MessageBoxInfo& info) {
    texts.push_back(info.text);
    return IDOK;
  });
  struct Failing : TForm {
    explicit Failing(TComponent* o) : TForm(o) {
      OnCreate = [](TObject*) { throw Exception("Cannot open file"); };
    }
  };
  Failing* first = nullptr;
  TForm* second = nullptr;
  EXPECT_EQ(RunGuarded([&] {
              Application->CreateForm(first);
              Application->CreateForm(second);
            }),
            0);
  EXPECT_NE(first, nullptr);
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(Application->MainForm(), first);
  EXPECT_EQ(texts, (std::vector<std::string>{"Cannot open file"}));
}

TEST_F(StartUp, ModulePathIsTheProgramDirectoryAndIsLookedUpOnce) {
  const char* first = GetModulePath();
  std::string expected = fs::canonical("/proc/self/exe").parent_path().string();
  EXPECT_EQ(std::string(first), expected);
  EXPECT_EQ(GetModulePath(), first) << "the same buffer";
  EXPECT_NE(std::string(first).back(), '/');
}

// The same check from a copy of this test program in a folder whose path is far
// longer than the 260 characters of the old fixed buffers.
TEST_F(StartUp, ModulePathOfAProgramInAVeryDeepFolder) {
  const quill_test::ScratchDir dir("quill-deep");
  fs::path deep = dir.path();
  for (int i = 0; i < 12; ++i) deep /= "a-rather-long-folder-name-" + std::to_string(i);
  ASSERT_GT(deep.string().size(), 300u);
  fs::create_directories(deep);
  fs::copy_file("/proc/self/exe", deep / "startup_copy", fs::copy_options::overwrite_existing);
  fs::permissions(deep / "startup_copy", fs::perms::owner_all);
  std::string cmd = "'" + (deep / "startup_copy").string() +
                    "' --gtest_filter=StartUp.ModulePathIsTheProgramDirectoryAndIsLookedUpOnce > /dev/null 2>&1";
  int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(StartUp, UnitRoutinesCreateAndFreeTheirTextOnTheOutermostCalls) {
  Main_Initialization();
  EXPECT_TRUE(SkinFolder.empty());
  SkinFolder = "/skins/SKIN3";
  Main_Initialization();  // nested: the text stays
  EXPECT_EQ(SkinFolder, "/skins/SKIN3");
  Main_Finalization();
  EXPECT_EQ(SkinFolder, "/skins/SKIN3");
  Main_Finalization();  // back to zero: freed
  EXPECT_TRUE(SkinFolder.empty());

  Interface_Initialization();
  EXPECT_TRUE(StatusText.empty());
  Interface_Finalization();
}

// Start-ups with skins beside the program: the drawn skins copied, some of them broken.
class StartUpWithSkins : public StartUp {
 protected:
  void SetUp() override {
    StartUp::SetUp();
    dir_ = GetModulePath();
    Clean();
    SetMessageBoxRecorder([this](const MessageBoxInfo& info) {
      boxes_.push_back(info.caption + ": " + info.text);
      return IDOK;
    });
  }
  void TearDown() override {
    StartUp::TearDown();
    Clean();
  }
  void Clean() {
    std::error_code ec;
    fs::remove(dir_ / "config.ini", ec);
    for (int n = 0; n < 4; ++n) fs::remove_all(dir_ / ("SKIN" + std::to_string(n)), ec);
  }
  void CopySkin(int n) {
    const std::string name = "SKIN" + std::to_string(n);
    fs::copy(quill_test::BuildBin() / name, dir_ / name, fs::copy_options::recursive);
  }
  // One life of the program: WinMain until the main window shows, `whileShown` on it,
  // then the user closes it. What the window was like is kept for the checks.
  void Start(const std::function<void()>& whileShown = {}) {
    bool closeAsked = false;
    HeadlessSetIdleHook([&]() -> bool {
      if (closeAsked || !frmMain || !frmMain->Visible()) return false;
      if (whileShown) whileShown();
      skinIndex_ = frmMain->SkinIndex();
      shaped_ = frmMain->WindowRegion() != nullptr;
      width_ = frmMain->ClientWidth();
      skinItems_ = 0;
      for (int i = 0; i < frmMain->pupSelectSkin->Count(); ++i)
        skinItems_ += !frmMain->pupSelectSkin->Items(i)->IsLine();
      closeAsked = true;
      HeadlessCloseRequest(frmMain);
      return true;
    });
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    HeadlessSetIdleHook(nullptr);
    EXPECT_TRUE(closeAsked) << "the main window never showed";
    apptest::FreshApplication();
  }
  std::string Config() const { return quill_test::ReadFile(dir_ / "config.ini"); }
  int FaceWidth(int n) const {
    TBitmap face;
    face.LoadFromFile((dir_ / ("SKIN" + std::to_string(n)) / "face.bmp").string());
    return face.Width();
  }

  fs::path dir_;
  std::vector<std::string> boxes_;
  int skinIndex_ = -1, width_ = 0, skinItems_ = 0;
  bool shaped_ = false;
};

// A layout place beyond 32 bits once took the start down (and, the number being
// stored, every later start): the skin is refused, the next one shows, each time.
TEST_F(StartUpWithSkins, AHugeLayoutPlaceIsRefusedAndTheNextSkinShows) {
  CopySkin(0);
  CopySkin(1);
  quill_test::WriteFile(dir_ / "SKIN0" / "skin.ini", "[Controls]\n1=99999999999,1\n2=433,12\n");
  quill_test::WriteFile(dir_ / "config.ini", "[INI]\nIndex=0\n");
  for (int start = 0; start < 2; ++start) {
    SCOPED_TRACE(start);
    boxes_.clear();
    Start();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], "Error: The skin in " + SkinFolderPath(0) +
                             " cannot be used: skin.ini: button 1 at 2147483647,1 lies outside what a screen "
                             "can show.");
    EXPECT_EQ(skinIndex_, 1);
    EXPECT_TRUE(shaped_);
    EXPECT_EQ(width_, FaceWidth(1));
    EXPECT_EQ(skinItems_, 2);
  }
  EXPECT_NE(Config().find("Index=0"), std::string::npos) << "the user's choice is kept until another is made";
}

// "Next skin" onto a broken skin once stored its number first, so that every later
// start was an unshaped grey window with an empty skin menu.
TEST_F(StartUpWithSkins, NextSkinOntoABrokenSkinLeavesNoBrokenStartBehind) {
  for (int n = 0; n < 3; ++n) CopySkin(n);
  fs::resize_file(dir_ / "SKIN1" / "ctrl4.bmp", 300);
  const std::string broken = "Error: The skin in " + SkinFolderPath(1) +
                             " cannot be used: ctrl4.bmp: Bitmap image is not valid: truncated pixels";
  Start([] {
    TTransparentButton* next = frmMain->Button(2);
    HeadlessClick(frmMain, next->Left() + next->Width() / 2, next->Top() + next->Height() / 2);
    Application->ProcessMessages();
  });
  EXPECT_EQ(boxes_, std::vector<std::string>{broken});
  EXPECT_EQ(skinIndex_, 2) << "passed over to the next skin";
  EXPECT_NE(Config().find("Index=2"), std::string::npos) << Config();

  // A start that finds the broken skin stored (as the old fault left it) falls back to
  // the first skin that loads, says which file is at fault, and builds the whole menu.
  quill_test::WriteFile(dir_ / "config.ini", "[INI]\nIndex=1\n");
  boxes_.clear();
  Start();
  EXPECT_EQ(boxes_, std::vector<std::string>{broken});
  EXPECT_EQ(skinIndex_, 0);
  EXPECT_TRUE(shaped_);
  EXPECT_EQ(width_, FaceWidth(0));
  EXPECT_EQ(skinItems_, 3);
}

// A FIFO as config.ini once hung the start before any window showed: it reads as no
// settings, the program starts and ends, and the FIFO is left as it is.
TEST_F(StartUpWithSkins, AFifoAsTheSettingsFileDoesNotHangTheStart) {
  CopySkin(0);
  ASSERT_EQ(mkfifo((dir_ / "config.ini").c_str(), 0644), 0);
  Start();
  EXPECT_TRUE(boxes_.empty()) << boxes_[0];
  EXPECT_EQ(skinIndex_, 0);
  EXPECT_TRUE(shaped_);
  EXPECT_TRUE(fs::is_fifo(dir_ / "config.ini"));
}

// The handlers hand the first termination signal to the GUI thread, once; a signal the
// program finds ignored stays ignored (nohup); SIGXFSZ is ignored; removal restores.
TEST_F(StartUp, TheFirstTerminationSignalReachesTheGuiThreadOnce) {
  signal(SIGHUP, SIG_IGN);
  std::vector<int> heard;
  InstallSignalHandling([&](int sig) { heard.push_back(sig); });
  struct sigaction now {};
  sigaction(SIGHUP, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
  sigaction(SIGXFSZ, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
  raise(SIGINT);
  raise(SIGTERM);
  raise(SIGHUP);  // ignored: never seen
  for (int turns = 0; heard.empty() && turns < 600; ++turns) {
    TThread::CheckSynchronize();
    TThread::WaitForSyncSignal(100);
  }
  TThread::CheckSynchronize();
  EXPECT_EQ(heard, std::vector<int>{SIGINT});
  EXPECT_EQ(TerminationSignal(), SIGINT);
  // Ending on a signal: the last moments of the process ignore further ones.
  RemoveSignalHandling();
  sigaction(SIGTERM, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
  // Without a signal the handlers found at the start come back.
  InstallSignalHandling([&](int sig) { heard.push_back(sig); });
  EXPECT_EQ(TerminationSignal(), 0);
  RemoveSignalHandling();
  sigaction(SIGTERM, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_IGN) << "as found";
  sigaction(SIGHUP, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
  for (int sig : {SIGTERM, SIGHUP, SIGINT, SIGXFSZ}) signal(sig, SIG_DFL);
  EXPECT_EQ(heard.size(), 1u);
}

// The real program, copied into an empty folder (so there is no config.ini), run
// headless; the backend's test hook closes the main window once it is on screen.
TEST_F(StartUp, ProgramStartsHeadlessWithoutSettingsAndExitsWithZero) {
  const char* bin = std::getenv("QUILLMERE_BUILD_BIN");
  ASSERT_NE(bin, nullptr);
  const quill_test::ScratchDir scratch("quill-startup");
  const fs::path& dir = scratch.path();
  fs::copy_file(fs::path(bin) / "Quillmere", dir / "Quillmere", fs::copy_options::overwrite_existing);
  fs::path log = dir / "backend.log";
  std::string cmd = "cd '" + dir.string() + "' && env QUILLMERE_BACKEND=headless QUILLMERE_HEADLESS_AUTOCLOSE=1 "
                    "QUILLMERE_HEADLESS_LOG='" + log.string() + "' ./Quillmere 2> stderr.txt";
  int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  // Windows in creation order with their last title; those recreated for a new
  // border style count once, in the place of their final creation.
  std::ifstream in(log);
  std::string line;
  std::vector<int> order;
  std::map<int, std::string> title;
  std::vector<int> shown;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string word;
    int serial = 0;
    ls >> word >> serial;
    std::string rest;
    std::getline(ls, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    if (word == "create") {
      order.push_back(serial);
      title[serial] = rest;
    } else if (word == "title") {
      title[serial] = rest;
    } else if (word == "show") {
      shown.push_back(serial);
    } else if (word == "destroy" && shown.empty()) {
      order.erase(std::remove(order.begin(), order.end(), serial), order.end());
    } else if (word == "msgbox") {
      ADD_FAILURE() << "unexpected message box: " << line;
    }
  }
  std::vector<std::string> titles;
  for (int s : order) titles.push_back(title[s]);
  EXPECT_EQ(titles, (std::vector<std::string>{"Korvex Quillmere", "Options", "Preview", "About", "Ripper", "Warning"}));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(title[shown[0]], "Korvex Quillmere");
  // Nothing to store: the output field was never filled (an empty one would wipe a
  // stored folder) and the skin number is written only when the user changes the skin.
  EXPECT_FALSE(fs::exists(dir / "config.ini")) << quill_test::ReadFile(dir / "config.ini");
}

}  // namespace
