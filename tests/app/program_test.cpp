// The whole program on the headless backend, driven by injected input as a user
// would: the shaped main window of SKIN0, a mode button, the options dialog on the
// sample disc with chapters 2 and 3 chosen, OK, the conversion to its end (or to
// the stop button), the windows closed; the file checked with ffprobe.
#include <gtest/gtest.h>

#include <outside/dvd.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <support/files.h>
#include <vcl/graphics.h>
#include <vcl/headless.h>
#include <vcl/winuser.h>
#include <win32/shell.h>

#include "convert.h"
#include "about.h"
#include "cvtthread.h"
#include "conversion_support.h"
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
using enctest::JsonNumber;
using enctest::Probe;
using enctest::StreamOfType;

// Where a control of a form lies in the form's client coordinates.
TPoint InForm(TControl* c, TCustomForm* form, int x, int y) {
  const TPoint a = c->ClientOrigin(), f = form->ClientOrigin();
  return TPoint(a.X - f.X + x, a.Y - f.Y + y);
}

void ClickControl(TControl* c, TCustomForm* form, unsigned modifiers = 0) {
  const TPoint p = InForm(c, form, c->Width() / 2, c->Height() / 2);
  HeadlessClick(form, p.X, p.Y, BackendLeft, modifiers);
}

struct Box {
  std::string text, caption;
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = GetModulePath();  // a folder of this test's own (see isolated_main.cpp)
    convtest::PrepareProgramFolder(dir_);
    InitApplication();
    SetMessageBoxRecorder([this](const MessageBoxInfo& info) {
      boxes_.push_back({info.text, info.caption});
      return IDOK;
    });
    previousExit_ = SetExitWindowsHandler([](UINT, DWORD) { return TRUE; });
  }
  void TearDown() override {
    HeadlessSetIdleHook(nullptr);
    SetMessageBoxRecorder(nullptr);
    SetMessageBoxesUnattended(false);
    SetExitWindowsHandler(previousExit_);
    apptest::ForgetForms();
    InitApplication();
  }

  // The user's session: press mode button `button`, choose chapters 2 and 3, OK;
  // `whileRunning` is asked on every idle turn of the run and answers true to press
  // the stop button; then both windows are closed. Returns the output path.
  std::string Session(int button, const std::function<bool(TConvertThread*)>& whileRunning = {}) {
    enum Step { Main, Options, Running, Closing, Done } step = Main;
    bool stopPressed = false;
    HeadlessSetIdleHook([&]() -> bool {
      switch (step) {
        case Main:
          if (!frmMain || !frmMain->Visible()) return false;
          CheckShape();
          ClickControl(frmMain->Button(button), frmMain);
          step = Options;
          return true;
        case Options: {
          if (!frmOption->Visible()) return false;
          if (frmOption->lstChapter->Items()->Count() < 3) {
            ADD_FAILURE() << "the sample disc's chapters are not listed";
            ClickControl(frmOption->btnCancel, frmOption);
            step = Closing;
            return true;
          }
          for (int item : {1, 2}) {
            const TRect r = frmOption->lstChapter->ItemRect(item);
            const TPoint p = InForm(frmOption->lstChapter, frmOption, r.Left + 10, (r.Top + r.Bottom) / 2);
            HeadlessClick(frmOption, p.X, p.Y, BackendLeft, item == 1 ? 0 : BackendCtrl);
          }
          output_ = frmOption->edtOutput->Text();
          ClickControl(frmOption->btnOk, frmOption);
          step = Running;
          return true;
        }
        case Running: {
          if (frmOption->Visible()) return false;
          if (frmConvert->Running()) {
            TConvertThread* t = frmConvert->LastThread();
            if (whileRunning && t && !stopPressed && whileRunning(t)) {
              stopPressed = true;
              ClickControl(frmConvert->btnPlay, frmConvert);
              return true;
            }
            return false;
          }
          // A stopped run's thread is freed by the stop button once it has ended.
          if (TConvertThread* t = frmConvert->LastThread()) {
            if (!t->Finished()) return false;
            outcome_ = t->Outcome();
          }
          progress_ = frmConvert->suiProgressBar1->Position();
          HeadlessCloseRequest(frmConvert);
          step = Closing;
          return true;
        }
        case Closing:
          if (!frmMain->Visible()) return false;
          HeadlessCloseRequest(frmMain);
          step = Done;
          return true;
        case Done:
          return false;
      }
      return false;
    });
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    HeadlessSetIdleHook(nullptr);
    EXPECT_EQ(step, Done);
    DoneApplication();
    return output_;
  }

  // The window's shape is the face picture without its magenta pixels.
  void CheckShape() {
    TBitmap face;
    face.LoadFromFile((dir_ / "SKIN0" / "face.bmp").string());
    ASSERT_EQ(frmMain->ClientWidth(), face.Width());
    const std::vector<RECT> shape = HeadlessWindowShape(frmMain->Handle());
    ASSERT_FALSE(shape.empty()) << "the main window is not shaped";
    auto inside = [&](int x, int y) {
      for (const RECT& r : shape)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
      return false;
    };
    auto magentaAt = [&](int x, int y) { return face.Canvas()->Pixels(x, y) == RGB(255, 0, 255); };
    // The outline is a polygon through the rows' edge pixels: within two pixels of an
    // edge the shape may differ by the polygon's own rule, so those points are left out.
    auto nearEdge = [&](int x, int y) {
      for (int d = -2; d <= 2; ++d)
        for (auto [px, py] : {std::pair{x + d, y}, std::pair{x, y + d}})
          if (px >= 0 && py >= 0 && px < face.Width() && py < face.Height() && magentaAt(px, py) != magentaAt(x, y))
            return true;
      return false;
    };
    int magenta = 0, mismatches = 0;
    for (int y = 0; y < face.Height(); y += 3)
      for (int x = 0; x < face.Width(); x += 3) {
        if (nearEdge(x, y)) continue;
        const bool cut = magentaAt(x, y);
        magenta += cut;
        if (cut == inside(x, y) && ++mismatches < 5)
          ADD_FAILURE() << "at " << x << "," << y << (cut ? " magenta inside the shape" : " face outside the shape");
      }
    EXPECT_GT(magenta, 0);
    EXPECT_EQ(mismatches, 0);
  }

  static double ChaptersSeconds() {
    ComPtr<IDVDInfObj> info;
    CoInitialize(nullptr);
    CoCreateInstance(CLSID_DVDInfObj, nullptr, CLSCTX_ALL, IID_IDVDInfObj, info.put_void());
    double total = 0;
    if (info) {
      Bstr folder(outsidetest::SampleVideoTs());
      info->OpenDvd(folder.get());
      INT value = 0;
      info->SelectTitle(0);
      info->QueryTitle(0, &value);
      info->SelectProgramChain(0);
      for (int c : {1, 2}) {
        double s = 0;
        info->GetChapterSeconds(c, &s);
        total += s;
      }
    }
    info.Reset();
    CoUninitialize();
    return total;
  }

  fs::path dir_;
  std::string output_;
  std::vector<Box> boxes_;
  TConvertOutcome outcome_ = TConvertOutcome::NotRun;
  int progress_ = -1;
  ExitWindowsHandler previousExit_;
};

TEST_F(ProgramTest, DvdToVcdFromTheSkinnedWindowToAPlayableMpeg) {
  const std::string out = Session(6);  // "VCD"
  EXPECT_EQ(out, (dir_ / "out" / "KORVEX_Quillmere.mpg").string());
  EXPECT_TRUE(boxes_.empty()) << boxes_[0].text;
  EXPECT_EQ(outcome_, TConvertOutcome::Completed);
  EXPECT_EQ(progress_, 100);
  convtest::ExpectConvertedFile(out, "mpeg", "mpeg1video", 352, 288, "mp2", 44100, 25, ChaptersSeconds());
}

TEST_F(ProgramTest, DvdToSvcd) {
  const std::string out = Session(7);  // "SVCD"
  EXPECT_TRUE(boxes_.empty()) << boxes_[0].text;
  EXPECT_EQ(progress_, 100);
  convtest::ExpectConvertedFile(out, "mpeg", "mpeg2video", 480, 576, "mp2", 44100, 25, ChaptersSeconds());
}

TEST_F(ProgramTest, DvdToDivxAvi) {
  const std::string out = Session(4);  // "DivX"
  EXPECT_EQ(fs::path(out).extension(), ".avi");
  EXPECT_TRUE(boxes_.empty()) << boxes_[0].text;
  EXPECT_EQ(progress_, 100);
  convtest::ExpectConvertedFile(out, "avi", "mpeg4", 720, 576, "mp3", 44100, 25, ChaptersSeconds());
  auto probe = Probe(out);
  ASSERT_FALSE(probe.is_null());
  const std::string tag = (*StreamOfType(probe, "video"))["codec_tag_string"];
  EXPECT_TRUE(tag == "DIVX" || tag == "DX50" || tag == "XVID") << tag;
}

TEST_F(ProgramTest, TheStopButtonLeavesAClosedPlayableFile) {
  int seen = 0;
  const std::string out = Session(6, [&](TConvertThread* t) {
    seen = t->Pictures();
    return seen >= 30;
  });
  EXPECT_TRUE(boxes_.empty()) << boxes_[0].text;
  EXPECT_EQ(outcome_, TConvertOutcome::NotRun) << "the stopped run's thread was freed by the stop";
  EXPECT_LT(progress_, 100);
  auto probe = Probe(out);
  ASSERT_FALSE(probe.is_null()) << "ffprobe can not read the stopped file";
  const double pictures = JsonNumber(*StreamOfType(probe, "video"), "nb_read_frames");
  EXPECT_GE(pictures, 30);
  EXPECT_LT(pictures, ChaptersSeconds() * 25 - 10);
  EXPECT_TRUE(StreamOfType(probe, "audio"));
}

// A signal while a question is open over the options dialog (nobody may be there to
// answer it): the question ends as "No", the dialog as cancelled, nothing is converted
// or replaced, and the program leaves its loop and stores the output path.
TEST_F(ProgramTest, ASignalWhileAQuestionIsOpenEndsTheProgramWithoutARun) {
  const fs::path existing = dir_ / "out" / "KORVEX_Quillmere.mpg";
  std::ofstream(existing) << "keep me";
  InstallSignalHandling(EndOnSignal);
  std::vector<std::string> asked;
  SetMessageBoxRecorder([&](const MessageBoxInfo& info) {
    asked.push_back(info.caption);
    raise(SIGTERM);  // handled at once; the program hears of it through its loop
    return 0;        // the question stays open: nobody answers
  });
  bool okPressed = false;
  HeadlessSetIdleHook([&]() -> bool {
    if (frmMain && frmMain->Visible() && !frmOption->Visible() && !okPressed) {
      ClickControl(frmMain->Button(6), frmMain);
      return true;
    }
    if (frmOption->Visible() && !okPressed) {
      okPressed = true;
      ClickControl(frmOption->btnOk, frmOption);
      return true;
    }
    return false;
  });
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
  HeadlessSetIdleHook(nullptr);
  EXPECT_EQ(asked, std::vector<std::string>{"Confirm please"});
  EXPECT_EQ(TerminationSignal(), SIGTERM);
  EXPECT_EQ(frmConvert->LastThread(), nullptr) << "no run was started";
  DoneApplication();
  RemoveSignalHandling();
  signal(SIGTERM, SIG_DFL);
  EXPECT_EQ(quill_test::ReadFile(existing), "keep me");
  EXPECT_NE(quill_test::ReadFile(dir_ / "config.ini").find("DefMediaPath=" + existing.string()), std::string::npos);
}

// A file-size limit of the process (ulimit -f) once killed the program with SIGXFSZ and
// no word: the write fails like on a full disk and the run ends in the "Error" box.
// The limit is the process's own, so the session runs in a child started for it.
TEST_F(ProgramTest, AFileSizeLimitEndsTheRunInTheErrorBox) {
  constexpr rlim_t kLimit = 200 * 1024;
  if (!std::getenv("QUILL_FILE_SIZE_LIMIT_RUN")) {
    const pid_t child = fork();
    if (child == 0) {
      setenv("QUILL_FILE_SIZE_LIMIT_RUN", "1", 1);
      execl("/proc/self/exe", "program_test", "--gtest_filter=ProgramTest.AFileSizeLimitEndsTheRunInTheErrorBox",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the run in the child failed";
    return;
  }
  InstallSignalHandling(EndOnSignal);  // as the program's own start does
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
  limit.rlim_cur = kLimit;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const std::string out = Session(6);  // "VCD"
  RemoveSignalHandling();
  EXPECT_EQ(outcome_, TConvertOutcome::Failed);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].caption, "Error");
  EXPECT_NE(boxes_[0].text.find(out), std::string::npos) << boxes_[0].text;
  EXPECT_LT(progress_, 100);
  EXPECT_LE(fs::file_size(out), kLimit);
}

}  // namespace
