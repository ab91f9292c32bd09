// The whole program on the SDL2 backend on a private X server with a window manager
// (QUILL_TEST_WM), used as a person would: the real pointer and keyboard (xdotool) and
// the window manager's close request (wmctrl). Rounds of a mode button, chapters 2 and
// 3 in the options dialog, OK, the run to its end, the conversion window closed through
// the manager: the program lives through every round, and every round's file plays.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <vcl/backend.h>
#include <win32/shell.h>

#include "conversion_support.h"
#include "convert.h"
#include "cvtthread.h"
#include "interface.h"
#include "main.h"
#include "option.h"
#include "sdl_backend.h"
#include "winmain.h"
#include "xvfb.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A user at the keyboard and mouse of the X server, who looks at the program's forms
// through Synchronize (on the GUI thread) to know where to click and when.
class User {
 public:
  explicit User(std::string display) : display_(std::move(display)) {}

  // Runs `f` on the GUI thread; not once the program has ended.
  template <class F>
  auto OnGui(F f) -> decltype(f()) {
    decltype(f()) out{};
    if (!ended_) TThread::Synchronize(nullptr, [&] { out = f(); });
    return out;
  }

  // Waits until `f` (on the GUI thread) holds; false and a failure after `seconds`.
  bool WaitFor(const char* what, const std::function<bool()>& f, int seconds = 30) {
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end && !ended_) {
      if (OnGui(f)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    ADD_FAILURE() << "waited in vain for " << what;
    return false;
  }

  // Waits until the form is on screen where the class library has it: the window
  // manager has framed, placed and mapped it, and the backend knows where.
  bool WaitOnScreen(const char* what, const std::function<TCustomForm*()>& form) {
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < end && !ended_) {
      struct Seen {
        unsigned long window = 0;
        TPoint origin;
      };
      const Seen seen = OnGui([&] {
        Seen s;
        TCustomForm* f = form();
        if (!f || !f->Visible()) return s;
        s.window = XWindowOf(SdlWindowOf(f->Handle()));
        s.origin = f->ClientOrigin();
        return s;
      });
      if (seen.window && ShownAt(display_, seen.window, seen.origin.X, seen.origin.Y)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    ADD_FAILURE() << what << " is not on screen where the program has it";
    return false;
  }

  unsigned long ActiveWindow() { return ::ActiveWindow(display_); }

  // A left click in the middle of a control (or at `at` in its client area).
  void Click(const std::function<TControl*()>& control, const std::function<TPoint(TControl*)>& at = {},
             bool ctrl = false) {
    const TPoint p = OnGui([&] {
      TControl* c = control();
      if (!c) return TPoint(-1, -1);
      const TPoint o = c->ClientOrigin();
      const TPoint in = at ? at(c) : TPoint(c->Width() / 2, c->Height() / 2);
      return TPoint(o.X + in.X, o.Y + in.Y);
    });
    ASSERT_GE(p.X, 0);
    std::vector<std::string> args = {"xdotool", "mousemove", "--sync", std::to_string(p.X), std::to_string(p.Y)};
    if (ctrl) args.insert(args.end(), {"keydown", "ctrl"});
    args.insert(args.end(), {"click", "1"});
    if (ctrl) args.insert(args.end(), {"keyup", "ctrl"});
    Tool(args);
  }

  void Tool(const std::vector<std::string>& args) {
    std::string errors;
    EXPECT_EQ(RunProgram(args, {"DISPLAY=" + display_}, {}, &errors), 0) << args[0] << ": " << errors;
  }

  // Asks the window manager to close the window with this title (what its close
  // button does), once the manager lists the window.
  void CloseThroughTheWindowManager(const std::string& title) {
    std::string errors;
    const auto end = Clock::now() + std::chrono::seconds(10);
    int rc = -1;
    while ((rc = RunProgram({"wmctrl", "-F", "-c", title}, {"DISPLAY=" + display_}, {}, &errors)) != 0 &&
           Clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(rc, 0) << "wmctrl -c " << title << ": " << errors;
  }

  void ProgramEnded() { ended_ = true; }
  bool WaitForEnd(int seconds) {
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (!ended_ && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return ended_;
  }

 private:
  std::string display_;
  std::atomic<bool> ended_{false};
};

TCustomForm* VisibleFormCaptioned(const std::string& caption) {
  for (int i = 0; i < Screen->FormCount(); ++i)
    if (Screen->Forms(i)->Visible() && Screen->Forms(i)->Caption() == caption) return Screen->Forms(i);
  return nullptr;
}

struct Round {
  int button;       // the mode button
  const char* ext;  // the output's extension
  bool missingFolderFirst = false;  // OK first with an output folder that is not there
};

class Desktop : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = GetModulePath();  // a folder of this test's own (see isolated_main.cpp)
    convtest::PrepareProgramFolder(dir_);
    previousExit_ = SetExitWindowsHandler([](UINT, DWORD) { return TRUE; });
  }
  void TearDown() override { SetExitWindowsHandler(previousExit_); }

  // One round as the user does it; false when the program did not follow.
  bool PlayRound(User& user, const Round& round, int number) {
    SCOPED_TRACE("round " + std::to_string(number));
    if (!user.WaitOnScreen("the main window", [] { return frmMain; })) return false;
    user.Click([&] { return frmMain->Button(round.button); });
    if (!user.WaitOnScreen("the options dialog", [] { return frmOption; })) return false;
    if (!user.WaitFor("the sample disc's chapters", [] { return frmOption->lstChapter->Items()->Count() >= 3; }))
      return false;
    for (int item : {1, 2}) {
      user.Click([] { return frmOption->lstChapter; },
                 [item](TControl*) {
                   const TRect r = frmOption->lstChapter->ItemRect(item);
                   return TPoint(r.Left + 10, (r.Top + r.Bottom) / 2);
                 },
                 item == 2);
    }
    const std::string output = user.OnGui([] { return frmOption->edtOutput->Text(); });
    EXPECT_EQ(fs::path(output).extension(), round.ext);
    const bool replaces = fs::exists(output);
    TConvertThread* before = user.OnGui([] { return frmConvert->LastThread(); });

    if (round.missingFolderFirst) {
      // A folder that is not there: OK says so in a box naming it and the dialog stays;
      // the output put right, OK goes on. (The field is filled on the GUI thread: typed
      // keys would add nothing here but a dependence on the keyboard layout.)
      const fs::path gone = dir_ / "gone";
      user.OnGui([&] { return (frmOption->edtOutput->SetText((gone / "film.mpg").string()), true); });
      user.Click([] { return frmOption->btnOk; });
      if (!AnswerWithEnter(user, "Stop")) return false;
      if (!user.WaitFor("the refusal to close", [] { return !VisibleFormCaptioned("Stop"); })) return false;
      EXPECT_EQ(user.OnGui([this] { return boxes_; }),
                std::vector<std::string>{"The folder " + gone.string() +
                                         " does not exist! Please select another file to output!"});
      EXPECT_TRUE(user.OnGui([] { return frmOption->Visible() && !frmConvert->Visible(); }));
      user.OnGui([&] { return (frmOption->edtOutput->SetText(output), true); });
    }
    user.Click([] { return frmOption->btnOk; });

    // The question comes up in front, with the keyboard: Enter answers Yes.
    if (replaces && !AnswerWithEnter(user, "Confirm please")) return false;

    bool sawRun = false;
    if (!user.WaitFor("the run to end", [&] {
          sawRun |= frmConvert->Running();
          TConvertThread* t = frmConvert->LastThread();
          return !frmConvert->Running() && t && (sawRun || t != before) && t->Finished();
        }))
      return false;
    EXPECT_EQ(user.OnGui([] { return frmConvert->LastThread()->Outcome(); }), TConvertOutcome::Completed);
    EXPECT_EQ(user.OnGui([] { return frmConvert->suiProgressBar1->Position(); }), 100);
    const fs::path kept = dir_ / "out" / ("round" + std::to_string(number) + round.ext);
    std::error_code ec;
    fs::copy_file(output, kept, fs::copy_options::overwrite_existing, ec);
    EXPECT_FALSE(ec) << output << ": " << ec.message();
    outputs_.push_back(kept.string());

    // The conversion window is closed through the window manager; the main window
    // comes back.
    if (!user.WaitOnScreen("the conversion window", [] { return frmConvert; })) return false;
    user.CloseThroughTheWindowManager("Ripper");
    return user.WaitFor("the main window after the run", [] { return frmMain->Visible() && !frmConvert->Visible(); });
  }

  // Waits for the box with this caption to be on screen and active, then presses Enter
  // (its default button).
  static bool AnswerWithEnter(User& user, const std::string& caption) {
    if (!user.WaitOnScreen(caption.c_str(), [&] { return VisibleFormCaptioned(caption); })) return false;
    const unsigned long box = user.OnGui([&] {
      TCustomForm* f = VisibleFormCaptioned(caption);
      return f ? XWindowOf(SdlWindowOf(f->Handle())) : 0ul;
    });
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (user.ActiveWindow() != box && Clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_EQ(user.ActiveWindow(), box) << caption << " is not the active window";
    user.Tool({"xdotool", "key", "Return"});
    return true;
  }

  fs::path dir_;
  std::vector<std::string> outputs_;
  std::vector<std::string> boxes_;  // the texts of the boxes shown, on the GUI thread
  ExitWindowsHandler previousExit_;
};

TEST_F(Desktop, RoundsOfConversionsWithTheConversionWindowClosedThroughTheWindowManager) {
  const std::string wm = RequestedWindowManager();
  ASSERT_FALSE(wm.empty()) << "this test runs under a window manager: QUILL_TEST_WM=openbox or fluxbox";
  XvfbServer xvfb;
  std::string why;
  ASSERT_TRUE(xvfb.Start(&why)) << why;
  ASSERT_EQ(xvfb.WindowManager(), wm);
  setenv("QUILLMERE_BACKEND", "sdl", 1);
  User user(xvfb.Display());

  // VCD (OK first refused a missing folder), SVCD into the same file (so the program
  // asks before replacing it), DivX, VCD.
  const std::vector<Round> rounds = {{6, ".mpg", true}, {7, ".mpg"}, {4, ".avi"}, {6, ".mpg"}};
  // The boxes stay on screen for the person to answer; their texts are kept.
  SetMessageBoxRecorder([this](const MessageBoxInfo& box) {
    boxes_.push_back(box.text);
    return 0;
  });
  int played = 0;
  std::atomic<bool> done{false};
  std::thread person([&] {
    for (const Round& r : rounds) {
      if (!PlayRound(user, r, played + 1)) break;
      ++played;
    }
    // Done, or stuck: the main window is closed through the window manager too; a
    // program that does not end then is told to.
    user.CloseThroughTheWindowManager("Korvex Quillmere");
    if (!user.WaitForEnd(20)) {
      ADD_FAILURE() << "the program did not end when its main window was closed";
      user.OnGui([] { return (Application->Terminate(), true); });
    }
    done = true;
  });
  InitApplication();
  const int result = WinMain(nullptr, nullptr, nullptr, 0);
  user.ProgramEnded();
  // A look the person was taking when the program ended still gets its answer.
  while (!done) {
    TThread::CheckSynchronize();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  person.join();
  SetMessageBoxRecorder(nullptr);
  DoneApplication();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(played, static_cast<int>(rounds.size())) << "under " << wm;

  const convtest::ChapterRange range = convtest::ReadRange(outsidetest::SampleVideoTs(), 0, 1, 2);
  ASSERT_EQ(outputs_.size(), static_cast<std::size_t>(played));
  for (std::size_t i = 0; i < outputs_.size(); ++i) {
    if (rounds[i].button == 6)
      convtest::ExpectConvertedFile(outputs_[i], "mpeg", "mpeg1video", 352, 288, "mp2", 44100, 25, range.seconds);
    else if (rounds[i].button == 7)
      convtest::ExpectConvertedFile(outputs_[i], "mpeg", "mpeg2video", 480, 576, "mp2", 44100, 25, range.seconds);
    else
      convtest::ExpectConvertedFile(outputs_[i], "avi", "mpeg4", 720, 576, "mp3", 44100, 25, range.seconds);
  }
}

}  // namespace
