// The real program on a private X server, driven by synthetic mouse clicks into a
// conversion of the sample disc, then sent SIGTERM, SIGHUP or SIGINT (once, or twice in
// a row): it must stop the run, close a file that decodes cleanly, store its settings
// and exit on its own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <support/files.h>
#include <support/scratch_dir.h>
#include <vcl/graphics.h>

#include "encoders_support.h"
#include "main.h"
#include "option.h"
#include "xclick.h"
#include "xvfb.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Waits (generously: the machine may be loaded) until `ready` answers true.
template <class F>
bool WaitFor(F ready, int seconds = 30) {
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  while (Clock::now() < end) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// The mapped top-level window of that client size, if there is one.
bool FindWindow(const std::string& display, int width, int height, TopWindow* found) {
  for (const TopWindow& w : TopWindows(display))
    if (w.mapped && w.width == width && w.height == height) {
      *found = w;
      return true;
    }
  return false;
}

// Where a control lies in its form's client area.
TPoint CentreInForm(TControl* c, TCustomForm* form) {
  const TPoint a = c->ClientOrigin(), f = form->ClientOrigin();
  return TPoint(a.X - f.X + c->Width() / 2, a.Y - f.Y + c->Height() / 2);
}

struct Case {
  const char* name;
  int button;       // the main window's mode button: 6 VCD, 4 DivX
  const char* ext;  // of the output file
  std::vector<int> signals;
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// What is on the screen, for a failure's message.
std::string Windows(const std::string& display) {
  std::string out;
  for (const TopWindow& w : TopWindows(display))
    out += std::to_string(w.width) + "x" + std::to_string(w.height) + "+" + std::to_string(w.x) + "+" +
           std::to_string(w.y) + (w.mapped ? " mapped" : "") + "; ";
  return out;
}

class SignalsTest : public ::testing::TestWithParam<Case> {};

TEST_P(SignalsTest, TheRunIsStoppedItsFileClosedAndTheSettingsStored) {
  const Case& c = GetParam();
  setenv("QUILLMERE_BACKEND", "headless", 1);  // this process only lays forms out
  IgnoreVanishedWindows();
  const fs::path bin = quill_test::BuildBin();
  XvfbServer xvfb;
  std::string why;
  ASSERT_TRUE(xvfb.Start(&why)) << why;

  const quill_test::ScratchDir scratch("quill-signals");
  const fs::path& dir = scratch.path();
  fs::copy_file(bin / "Quillmere", dir / "Quillmere");
  fs::copy(bin / "SKIN0", dir / "SKIN0", fs::copy_options::recursive);
  fs::create_directories(dir / "out");
  std::ofstream(dir / "config.ini") << "[INI]\nIndex=0\nDefMediaPath=" << (dir / "out" / "last.mpg").string() << "\n";
  const std::string output = (dir / "out" / (std::string("KORVEX_Quillmere.") + c.ext)).string();
  const std::string sampleDisc = (bin.parent_path() / "sample-dvd").string();

  // Started as a desktop would start it: default signal actions, none blocked (the
  // test itself may run with SIGINT ignored, which a child would otherwise inherit).
  std::vector<std::string> env = {"DISPLAY=" + xvfb.Display(), "QUILLMERE_BACKEND=sdl",
                                  "QUILLMERE_REGISTRY=" + (bin / "registry.txt").string(),
                                  "QUILLMERE_DVD=" + sampleDisc};
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (size_t i = 0; i < 4; ++i) {
      const size_t name = env[i].find('=') + 1;
      replaced |= entry.compare(0, name, env[i], 0, name) == 0;
    }
    if (!replaced) env.push_back(entry);
  }
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, (dir / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string program = (dir / "Quillmere").string();
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  ASSERT_EQ(chdir(dir.c_str()), 0);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, &attr, argv, envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  int status = 0;
  bool ended = false;
  auto reap = [&] {
    if (!ended && waitpid(pid, &status, WNOHANG) == pid) ended = true;
    return ended;
  };
  // Whatever fails below, no program is left running.
  struct Reaper {
    pid_t pid;
    bool* ended;
    ~Reaper() {
      if (*ended) return;
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  } reaper{pid, &ended};

  // The places to click, from the skin and the forms' own layout.
  TBitmap face, strip;
  face.LoadFromFile((dir / "SKIN0" / "face.bmp").string());
  const std::string stripName = "ctrl" + std::to_string(c.button) + ".bmp";
  strip.LoadFromFile((dir / "SKIN0" / stripName).string());
  TPoint modeButton;
  for (const SkinControlEntry& e : ReadSkinControls((dir / "SKIN0" / "skin.ini").string()))
    if (e.number == c.button) modeButton = TPoint(e.left + strip.Width() / 8, e.top + strip.Height() / 2);
  auto* layout = new TfrmOption(nullptr);  // the constructor lays the controls out; nothing is read
  const TPoint disk = CentreInForm(layout->radioDisk, layout);
  const TPoint ok = CentreInForm(layout->btnOk, layout);
  const int dialogWidth = layout->ClientWidth(), dialogHeight = layout->ClientHeight();
  FreeComponent(layout);

  TopWindow main{}, dialog{};
  ASSERT_TRUE(WaitFor([&] { return reap() || FindWindow(xvfb.Display(), face.Width(), face.Height(), &main); }))
      << Windows(xvfb.Display());
  ASSERT_FALSE(ended) << quill_test::ReadFile(dir / "stderr.txt");
  ASSERT_TRUE(ClickAt(xvfb.Display(), main.x + modeButton.X, main.y + modeButton.Y));
  ASSERT_TRUE(WaitFor([&] { return reap() || FindWindow(xvfb.Display(), dialogWidth, dialogHeight, &dialog); }))
      << Windows(xvfb.Display());
  ASSERT_FALSE(ended);
  ASSERT_TRUE(ClickAt(xvfb.Display(), dialog.x + disk.X, dialog.y + disk.Y));  // the whole title
  ASSERT_TRUE(ClickAt(xvfb.Display(), dialog.x + ok.X, dialog.y + ok.Y));

  // Mid-run: the file has grown past its first pictures.
  std::error_code ec;
  ASSERT_TRUE(WaitFor([&] {
    const auto size = fs::file_size(output, ec);
    return reap() || (!ec && size > 32768);
  }))
      << "no conversion started: " << quill_test::ReadFile(dir / "stderr.txt");
  ASSERT_FALSE(ended);
  for (size_t i = 0; i < c.signals.size(); ++i) {
    // A second one a moment later, while the first is being handled: both at once
    // would reach the program lower number first, or as one.
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    kill(pid, c.signals[i]);
  }

  ASSERT_TRUE(WaitFor(reap)) << "the program did not end on its own";
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 128 + c.signals.front());

  // Closed properly: ffmpeg decodes it without a word, and it holds pictures of a run
  // that was cut short.
  std::string errors;
  EXPECT_EQ(RunProgram({"/usr/bin/ffmpeg", "-v", "error", "-i", output, "-f", "null", "-"}, {}, {}, &errors), 0);
  EXPECT_EQ(errors, "");
  const auto probe = enctest::Probe(output);
  ASSERT_FALSE(probe.is_null());
  const double pictures = enctest::JsonNumber(*enctest::StreamOfType(probe, "video"), "nb_read_frames");
  const auto title = enctest::Probe(sampleDisc + "/VIDEO_TS/VTS_01_1.VOB");
  ASSERT_FALSE(title.is_null());
  const double titleSeconds = enctest::JsonNumber(title["format"], "duration");
  std::printf("%s: %.0f of %.0f pictures\n", c.name, pictures, titleSeconds * 25);
  EXPECT_GT(pictures, 0);
  EXPECT_LT(pictures, titleSeconds * 25 - 5) << "the signal came after the run had ended";
  EXPECT_TRUE(enctest::StreamOfType(probe, "audio"));

  // The settings were stored on the way out.
  const std::string config = quill_test::ReadFile(dir / "config.ini");
  EXPECT_NE(config.find("DefMediaPath=" + output), std::string::npos) << config;
}

INSTANTIATE_TEST_SUITE_P(
    EachSignal, SignalsTest,
    ::testing::Values(Case{"TermDuringVcd", 6, "mpg", {SIGTERM}}, Case{"TermDuringAvi", 4, "avi", {SIGTERM}},
                      Case{"HupDuringVcd", 6, "mpg", {SIGHUP}}, Case{"HupDuringAvi", 4, "avi", {SIGHUP}},
                      Case{"IntDuringVcd", 6, "mpg", {SIGINT}}, Case{"IntDuringAvi", 4, "avi", {SIGINT}},
                      // A second signal while the file is being closed cuts nothing short.
                      Case{"TermThenIntDuringVcd", 6, "mpg", {SIGTERM, SIGINT}},
                      Case{"IntTwiceDuringAvi", 4, "avi", {SIGINT, SIGINT}}),
    CaseName);

}  // namespace
