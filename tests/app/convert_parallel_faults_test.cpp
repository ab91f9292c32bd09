// The conversion thread with the real servers, its MPEG encoder coding on its workers,
// when the run fails in the middle: a full disk, or an encoder instance that fails
// (QUILLMERE_TEST_FAIL_PICTURE). Each run ends in one error box, never as done, and the
// file written until then plays; a hang fails the test rather than stalling the suite.
#include "conversion_support.h"
#include "watchdog.h"

#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>

using namespace convtest;

namespace {

constexpr const char* kProgramException = "Program Exception ,have to stop!";

#if defined(__SANITIZE_ADDRESS__)
constexpr std::chrono::seconds kRunLimit{900};
#else
constexpr std::chrono::seconds kRunLimit{300};
#endif

// ffmpeg decodes the whole file without a complaint; the pictures it holds, -1 when it
// does not play. A file that a full disk cut short may end in a picture cut short, which
// ffmpeg names.
int PlayablePictures(const std::string& path, bool cutShort = false) {
  if (!fs::exists(path)) return -1;
  const enctest::ProcessResult r = enctest::Run({"ffmpeg", "-v", "error", "-nostdin", "-i", path, "-f", "null", "-"}, true);
  const std::string& complaints = r.out;
  if (r.status != 0 || (!cutShort && !complaints.empty())) {
    std::fprintf(stderr, "ffmpeg on %s: %s\n", path.c_str(), complaints.c_str());
    return -1;
  }
  const auto probe = Probe(path);
  const auto* v = probe.is_null() ? nullptr : StreamOfType(probe, "video");
  if (!v || !StreamOfType(probe, "audio")) return -1;
  return static_cast<int>(JsonNumber(*v, "nb_read_frames"));
}

class ConvertParallelFaultsTest : public ConversionTest {
 protected:
  // The PAL title of the sample disc as an SVCD, every chapter.
  TConversionSettings WholeSvcd(const std::string& name) {
    const int chapters = ChapterCount(videoTs_, 0);
    EXPECT_GT(chapters, 0);
    return Settings(1, 0, 0, std::max(0, chapters - 1), Path(name));
  }
};

TEST_F(ConvertParallelFaultsTest, AFullDiskInTheMiddleOfAnSvcdEndsInTheErrorBoxWithAPlayableFile) {
  const auto s = WholeSvcd("full.mpg");
  constexpr rlim_t kLimit = 1000000;
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // In a process of its own: the limit and the ignored signal must not reach other cases.
  auto run = [&] {
    outsidetest::Watchdog watchdog(kRunLimit, "The run on a full disk");
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{kLimit, kLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
    TConvertThread* t = Run(s);
    int code = 0;
    if (t->Outcome() != TConvertOutcome::Failed) code = 3;
    else if (boxes_.size() != 1 || boxes_[0].text.find("File too large") == std::string::npos) code = 4;
    else if (fs::file_size(s.outputFile) > kLimit) code = 5;
    else if (PlayablePictures(s.outputFile, true) < 1) code = 6;
    if (!boxes_.empty()) std::fprintf(stderr, "box: %s\n", boxes_[0].text.c_str());
    fs::remove_all(scratch_.path());  // _Exit skips the folder's own clean-up
    std::_Exit(code);
  };
  // 3: not a failure; 4: no box, or another reason; 5: past the limit; 6: does not play.
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

TEST_F(ConvertParallelFaultsTest, AnEncoderInstanceFailingMidRunEndsInTheErrorBoxWithAPlayableFile) {
  const auto s = WholeSvcd("failed.mpg");
  ASSERT_GT(range_.seconds * 25, 250) << "the title is too short to fail in the middle";
  constexpr int kFailing = 200;  // counted from 1
  setenv("QUILLMERE_TEST_FAIL_PICTURE", std::to_string(kFailing).c_str(), 1);
  TConvertThread* t = nullptr;
  {
    outsidetest::Watchdog watchdog(kRunLimit, "The run with a failing encoder instance");
    t = Run(s);
  }
  unsetenv("QUILLMERE_TEST_FAIL_PICTURE");
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Failed);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_NE(boxes_[0].text, "");
  EXPECT_NE(boxes_[0].text, kProgramException) << "the encoder gave no reason";
  EXPECT_EQ(boxes_[0].caption, "Error");
  ExpectIdleWindow();
  const int pictures = PlayablePictures(s.outputFile);
  EXPECT_GE(pictures, 1) << "the file written before the failure does not play";
  EXPECT_LT(pictures, kFailing) << "pictures from the failing one on are in the file";
}

}  // namespace
