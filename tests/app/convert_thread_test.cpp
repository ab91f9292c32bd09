// The conversion thread against the sample disc: the three output kinds checked by
// ffprobe, stop, log-off, and every failing server ending in the error box.
#include "conversion_support.h"
#include "stuck_reads.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <csignal>

#include <com/errorinfo.h>

using namespace convtest;

namespace {

constexpr const char* kProgramException = "Program Exception ,have to stop!";

class ConvertThreadTest : public ConversionTest {
 protected:
  // A failed run: one error box on the conversion window, the window idle again,
  // nothing reported as done.
  void ExpectFailure(TConvertThread* t, const std::string& text) {
    EXPECT_EQ(t->Outcome(), TConvertOutcome::Failed);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, text);
    EXPECT_EQ(boxes_[0].caption, "Error");
    EXPECT_EQ(boxes_[0].type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(boxes_[0].owner, frmConvert->Handle());
    EXPECT_LT(frmConvert->suiProgressBar1->Position(), 100);
    ExpectIdleWindow();
  }
};

TEST_F(ConvertThreadTest, ChaptersTwoAndThreeOfThePalTitleBecomeAVcd) {
  const auto s = Settings(0, 0, 1, 2, Path("pal.mpg"));
  TConvertThread* t = Run(s);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(frmConvert->suiProgressBar1->Position(), 100);
  ExpectIdleWindow();
  EXPECT_NEAR(t->Pictures(), range_.seconds * 25, 1);
  EXPECT_EQ(t->Previews(), t->Pictures() / 25) << "every 25th picture";
  EXPECT_TRUE(logoffs_.empty());
  ExpectConvertedFile(s.outputFile, "mpeg", "mpeg1video", 352, 288, "mp2", 44100, 25, range_.seconds);
}

TEST_F(ConvertThreadTest, ThePalTitleBecomesAnSvcd) {
  const auto s = Settings(1, 0, 0, 0, Path("pal-svcd.mpg"));
  TConvertThread* t = Run(s);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
  EXPECT_TRUE(boxes_.empty());
  // The data object delivers 48 kHz; an SVCD's sound is 44.1 kHz.
  ExpectConvertedFile(s.outputFile, "mpeg", "mpeg2video", 480, 576, "mp2", 44100, 25, range_.seconds);
}

TEST_F(ConvertThreadTest, TheNtscTitleBecomesADivxAviAtItsOwnSizeAndAtAnotherHeight) {
  auto s = Settings(2, 1, 0, 0, Path("ntsc.avi"));
  ASSERT_GE(s.codec, 0);
  TConvertThread* t = Run(s);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
  EXPECT_TRUE(boxes_.empty());
  ExpectConvertedFile(s.outputFile, "avi", "mpeg4", 720, 480, "mp3", 44100, 30000.0 / 1001, range_.seconds);

  // Only the height differs: resized, then converted at the output size.
  s.outputFile = Path("ntsc-low.avi");
  s.outputHeight = 240;
  t = Run(s);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
  ExpectConvertedFile(s.outputFile, "avi", "mpeg4", 720, 240, "mp3", 44100, 30000.0 / 1001, range_.seconds);
}

TEST_F(ConvertThreadTest, StopInTheMiddleFinishesAClosedPlayableFile) {
  const auto s = Settings(0, 0, 0, 2, Path("stopped.mpg"));
  int stoppedAt = -1;
  TConvertThread* t = Run(s, [&](TConvertThread* run) {
    if (stoppedAt < 0 && run->Pictures() >= 30) {
      stoppedAt = run->Pictures();
      frmConvert->btnPlayClick(frmConvert->btnPlay);  // the stop button waits for the end
      EXPECT_EQ(frmConvert->LastThread(), nullptr) << "and frees the ended thread";
    }
  });
  ASSERT_GE(stoppedAt, 30);
  EXPECT_EQ(t, nullptr) << "the stop button freed the ended run";
  EXPECT_TRUE(boxes_.empty());
  ExpectIdleWindow();
  EXPECT_LT(frmConvert->suiProgressBar1->Position(), 100) << "a stopped run is not shown as done";
  auto probe = Probe(s.outputFile);
  ASSERT_FALSE(probe.is_null());
  const double pictures = JsonNumber(*StreamOfType(probe, "video"), "nb_read_frames");
  EXPECT_GE(pictures, stoppedAt);
  EXPECT_LT(pictures, range_.seconds * 25 - 10);
  EXPECT_TRUE(StreamOfType(probe, "audio"));
}

TEST_F(ConvertThreadTest, TheShutDownBoxClickedDuringARunLogsOffAfterItWithFlagsZero) {
  // Clicked while idle: no thread takes it.
  ClickOn(frmConvert->ckbShut);
  ASSERT_TRUE(frmConvert->ckbShut->Checked());
  auto s = Settings(0, 0, 0, 0, Path("logoff.mpg"));
  TConvertThread* t = Run(s);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
  EXPECT_TRUE(logoffs_.empty()) << "a new thread starts with its flag false";

  bool clicked = false;
  s.outputFile = Path("logoff2.mpg");
  Run(s, [&](TConvertThread*) {
    if (clicked) return;
    clicked = true;
    ClickOn(frmConvert->ckbShut);  // off
    ClickOn(frmConvert->ckbShut);  // on again
    EXPECT_TRUE(frmConvert->ckbShut->Checked());
  });
  ASSERT_EQ(logoffs_.size(), 1u);
  EXPECT_EQ(logoffs_[0].first, 0u);
  EXPECT_EQ(logoffs_[0].second, 0xFFFFFFFFu);

  // Also after a failed run.
  logoffs_.clear();
  s.dvdPath = Path("no-disc/VIDEO_TS");
  Run(s, [&](TConvertThread* run) { run->SetLogOff(true); });
  EXPECT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(logoffs_.size(), 1u);
}

TEST_F(ConvertThreadTest, AnUnreadableDiscEndsInTheErrorBoxBeforeAnythingIsWritten) {
  fs::create_directories(Path("empty/VIDEO_TS"));
  auto s = Settings(0, 0, 0, 0, Path("never.mpg"));
  s.dvdPath = Path("empty/VIDEO_TS");
  TConvertThread* t = Run(s);
  ASSERT_FALSE(boxes_.empty());
  EXPECT_NE(boxes_[0].text, "");
  ExpectFailure(t, boxes_[0].text);
  EXPECT_FALSE(fs::exists(s.outputFile));
}

TEST_F(ConvertThreadTest, EachServerThatCannotBeCreatedEndsTheRunWithNothingWritten) {
  const struct {
    const CLSID* clsid;
    const char* text;
  } cases[] = {
      {&CLSID_DVDDataObj, "Can not Create the DVD Data Object!please re-install the software."},
      {&CLSID_MpegEnc, "Can not Create the MPEG Encoder Object!please re-install the software."},
      {&CLSID_PICTUREUTL, "Can not Create the Picture Server Object!please re-install the software."},
  };
  auto s = Settings(0, 0, 0, 0, "");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    boxes_.clear();
    Unregister(*c.clsid);
    s.outputFile = Path("unregistered.mpg");
    TConvertThread* t = Run(s);
    ExpectFailure(t, c.text);
    EXPECT_FALSE(fs::exists(s.outputFile));
  }
}

TEST_F(ConvertThreadTest, AnUnregisteredAviEncoderIsSaidAsSuch) {
  auto s = Settings(2, 1, 0, 0, Path("unregistered.avi"));
  Unregister(CLSID_AVIEncode);
  ExpectFailure(Run(s), "Can not Create the AVI Encoder Object!please re-install the software.");
  EXPECT_FALSE(fs::exists(s.outputFile));
}

TEST_F(ConvertThreadTest, WithoutAPreviewPainterTheRunGoesOnAndSaysSoOnce) {
  Unregister(CLSID_PicShowObj);
  const auto s = Settings(0, 0, 0, 0, Path("no-preview.mpg"));
  TConvertThread* t = Run(s);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, "Preview can not create directdraw Object,can not show pictures!");
  EXPECT_EQ(t->Previews(), 0);
  EXPECT_EQ(frmConvert->suiProgressBar1->Position(), 100);
  EXPECT_TRUE(Probe(s.outputFile).is_object());
}

TEST_F(ConvertThreadTest, AFullDiskIsAFailureNeverADoneRun) {
  const auto s = Settings(0, 0, 0, 0, "/dev/full");
  TConvertThread* t = Run(s);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_NE(boxes_[0].text.find("No space left"), std::string::npos) << boxes_[0].text;
  ExpectFailure(t, boxes_[0].text);
}

TEST_F(ConvertThreadTest, AFileSizeCapOfTheProcessIsAFailureWithoutACrash) {
  const auto s = Settings(0, 0, 0, 2, Path("capped.mpg"));
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // In a process of its own: the cap and the ignored signal must not reach other cases.
  auto capped = [&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{300000, 300000};
    setrlimit(RLIMIT_FSIZE, &limit);
    TConvertThread* t = Run(s);
    const bool said = boxes_.size() == 1 && boxes_[0].text.find("File too large") != std::string::npos;
    const bool kept = fs::file_size(s.outputFile) <= 300000u;
    const bool failed = t->Outcome() == TConvertOutcome::Failed;
    fs::remove_all(scratch_.path());  // _Exit skips the folder's own clean-up
    std::_Exit(!failed ? 3 : !said ? 4 : !kept ? 5 : 0);
  };
  EXPECT_EXIT(capped(), ::testing::ExitedWithCode(0), "");
}

TEST_F(ConvertThreadTest, ADiscCutShortWhileReadingIsAFailure) {
  const fs::path disc = scratch_.CopySample();
  auto s = Settings(0, 0, 0, 2, Path("removed.mpg"));
  s.dvdPath = disc.string();
  bool removed = false;
  TConvertThread* t = Run(s, [&](TConvertThread* run) {
    if (removed || run->Pictures() < 10) return;
    removed = true;
    // The title's video files lose their content, as when a disc is taken out.
    for (const auto& e : fs::directory_iterator(disc))
      if (e.path().filename().string().starts_with("VTS_01_") && e.path().extension() == ".VOB")
        fs::resize_file(e.path(), 0);
  });
  ASSERT_TRUE(removed);
  ASSERT_EQ(boxes_.size(), 1u);
  ExpectFailure(t, boxes_[0].text);
}

// The error box waits for the user, who may open the file meanwhile: it is finished
// before the box shows (an MPEG with its end, an AVI with its index, which players need).
TEST_F(ConvertThreadTest, TheErrorBoxOfADiscCutWhileReadingShowsOnceTheFileIsFinished) {
  for (int kind : {0, 2}) {
    SCOPED_TRACE(kind == 0 ? "VCD" : "AVI");
    const fs::path disc = scratch_.CopySample();
    auto s = Settings(kind, 0, 0, 2, Path(kind == 0 ? "cut.mpg" : "cut.avi"));
    s.dvdPath = disc.string();
    std::string atBox = "no box";
    SetMessageBoxRecorder([&](const MessageBoxInfo& info) {
      boxes_.push_back({info.text, info.caption, info.type, info.owner});
      atBox = enctest::Run({"sh", "-c", "ffmpeg -v error -nostdin -i \"$0\" -f null - 2>&1; echo status $?",
                            s.outputFile})
                  .out;
      return IDOK;
    });
    bool cut = false;
    TConvertThread* t = Run(s, [&](TConvertThread* run) {
      if (cut || run->Pictures() < 10) return;
      cut = true;
      for (const auto& e : fs::directory_iterator(disc))
        if (e.path().filename().string().starts_with("VTS_01_") && e.path().extension() == ".VOB")
          fs::resize_file(e.path(), 0);
    });
    ASSERT_TRUE(cut);
    ASSERT_EQ(boxes_.size(), 1u);
    ExpectFailure(t, boxes_[0].text);
    EXPECT_EQ(atBox, "status 0\n") << "the file as it stood while the box was up";
    EXPECT_GE(JsonNumber(*StreamOfType(Probe(s.outputFile), "video"), "nb_read_frames"), 10);
    boxes_.clear();
  }
}

TEST_F(ConvertThreadTest, AVideoFileThatIsANamedPipeEndsTheRunAtOnceByName) {
  const fs::path disc = scratch_.CopySample();
  fs::remove(disc / "VTS_01_1.VOB");
  ASSERT_EQ(::mkfifo((disc / "VTS_01_1.VOB").c_str(), 0600), 0);
  auto s = Settings(0, 0, 0, 0, Path("pipe.mpg"));
  s.dvdPath = disc.string();
  // Opening the pipe for reading would wait for a writer for good, and the stop button and
  // the program's end with it.
  ExpectFailure(Run(s), "The video file VTS_01_1.VOB of the title cannot be read: it is a named pipe, not a file.");
  EXPECT_FALSE(fs::exists(s.outputFile));
}

// A read of the disc that never returns (a dead drive, a hung network mount): the stop
// button waits for the run at most the reader's time limit, and the file is closed and plays.
TEST_F(ConvertThreadTest, StopDuringAReadThatNeverReturnsEndsTheRunWithAPlayableFile) {
  const fs::path disc = scratch_.CopySample();
  auto s = Settings(0, 0, 0, 2, Path("stuck.mpg"));
  s.dvdPath = disc.string();
  bool held = false, stopped = false;
  TConvertThread* t = Run(s, [&](TConvertThread* run) {
    if (!held && run->Pictures() >= 20) held = outsidetest::HoldReads((disc / "VTS_01_1.VOB").string());
    if (held && !stopped && outsidetest::HeldReads() > 0) {
      stopped = true;
      frmConvert->btnPlayClick(frmConvert->btnPlay);  // waits for the run to end
    }
  });
  const int waiting = outsidetest::HeldReads();
  outsidetest::ReleaseReads();
  ASSERT_TRUE(stopped);
  EXPECT_EQ(waiting, 1) << "the run ended while its read still hung";
  EXPECT_EQ(t, nullptr) << "the stop button freed the ended run";
  ExpectIdleWindow();
  // The pictures decoded before the read went out; then the stop ended the run, or, had
  // none been left, the read's time-out.
  for (const Box& b : boxes_)
    EXPECT_NE(b.text.find("could not be read within 15 seconds"), std::string::npos) << b.text;
  auto probe = Probe(s.outputFile);
  ASSERT_FALSE(probe.is_null()) << "the file was closed";
  EXPECT_GE(JsonNumber(*StreamOfType(probe, "video"), "nb_read_frames"), 20);
}

TEST_F(ConvertThreadTest, TheTitlesOwnEndEndsTheRunAsDone) {
  // An end position beyond every sector: only the end of the title stops the reader.
  auto s = Settings(0, 0, 0, 0, Path("whole.mpg"));
  const double chapter = range_.seconds;
  s.endPosition = -1;
  TConvertThread* t = Run(s);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_GT(t->Pictures(), chapter * 25 + 10) << "the run went beyond the first chapter to the title's end";
  auto probe = Probe(s.outputFile);
  ASSERT_FALSE(probe.is_null());
  EXPECT_EQ(JsonNumber(*StreamOfType(probe, "video"), "nb_read_frames"), t->Pictures())
      << "the end of the title adds no picture";
}

TEST_F(ConvertThreadTest, AKindOutsideTheThreeConvertsNothingAndStillEnds) {
  auto s = Settings(0, 0, 0, 0, Path("nothing.mpg"));
  s.kind = 7;
  TConvertThread* t = Run(s, [](TConvertThread* run) { run->SetLogOff(true); });
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Nothing);
  EXPECT_TRUE(boxes_.empty());
  ExpectIdleWindow();
  EXPECT_FALSE(fs::exists(s.outputFile));
}

TEST_F(ConvertThreadTest, AnAviRunWithoutAPictureSaysSoAndLeavesNoFile) {
  // The range ends before its first picture, as a run stopped at once.
  auto s = Settings(2, 0, 1, 1, Path("empty.avi"));
  s.endPosition = s.startPosition - 1;
  TConvertThread* t = Run(s);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_NE(boxes_[0].text.find("No picture was encoded"), std::string::npos) << boxes_[0].text;
  ExpectFailure(t, boxes_[0].text);
  EXPECT_EQ(t->Pictures(), 0);
  EXPECT_FALSE(fs::exists(s.outputFile)) << "no file that no player opens";
}

TEST_F(ConvertThreadTest, NamesThatAreNotUtf8KeepTheirBytes) {
  // A disc copied into a folder and an output named in Latin-1, as older systems name them.
  const fs::path disc = scratch_.path() / "d\xE9p\xF4t" / "VIDEO_TS";
  fs::create_directories(disc);
  fs::copy(outsidetest::SampleDisc() / "VIDEO_TS", disc, fs::copy_options::recursive);
  videoTs_ = disc.string();
  const auto s = Settings(0, 0, 0, 0, Path("caf\xE9.mpg"));
  ASSERT_GT(range_.end, range_.start) << "the disc's folder was read under its own name";
  TConvertThread* t = Run(s);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
  EXPECT_TRUE(boxes_.empty()) << boxes_[0].text;
  ExpectConvertedFile(s.outputFile, "mpeg", "mpeg1video", 352, 288, "mp2", 44100, 25, range_.seconds);
  for (const auto& e : fs::directory_iterator(scratch_.path()))
    EXPECT_EQ(e.path().filename().string().find("\xEF\xBF\xBD"), std::string::npos)
        << "a replacement character made it into a name";
}

TEST_F(ConvertThreadTest, AFileSizeLimitOfZeroTellsTheEncoderAfterEveryPictureAndKeepsEverything) {
  auto s = Settings(0, 0, 0, 0, Path("limit.mpg"));
  s.fileSizeLimit = 0;
  TConvertThread* t = Run(s);
  EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_TRUE(Probe(s.outputFile).is_object());
}

// The real server with one method of its table made to fail, as a server does whose
// disk fills up at the end: it calls the real method first, then reports a failure
// with error information. The object's table is a copy; Release restores the real one.
template <int Slot, class... A>
struct FailingMethod {
  static inline void** realTable = nullptr;
  static inline std::vector<void*> copy;
  static inline CLSID clsid;
  static inline IID iid;
  static inline std::string text;
  static HRESULT STDMETHODCALLTYPE Fail(void* self, A... a) {
    reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, A...)>(realTable[Slot])(self, a...);
    return qcom::ReportError(E_FAIL, clsid, text, iid);
  }
  static ULONG STDMETHODCALLTYPE Release(void* self) {
    *static_cast<void***>(self) = realTable;
    const ULONG left = reinterpret_cast<ULONG(STDMETHODCALLTYPE*)(void*)>(realTable[2])(self);
    if (left) *static_cast<void***>(self) = copy.data() + 2;
    return left;
  }
};

// Slots: the length of the interface's table.
template <int Slots, int Slot, class... A>
class FailingFactory : public IClassFactory {
  using M = FailingMethod<Slot, A...>;

 public:
  FailingFactory(REFCLSID clsid, REFIID iid, const std::string& text) {
    M::clsid = clsid;
    M::iid = iid;
    M::text = text;
    CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, real_.put_void());
    CoRegisterClassObject(clsid, this, CLSCTX_INPROC_SERVER, 0, &cookie_);
  }
  ~FailingFactory() { CoRevokeClassObject(cookie_); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    *out = riid == IID_IUnknown || riid == IID_IClassFactory ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override { return real_->LockServer(lock); }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    const HRESULT hr = real_->CreateInstance(outer, riid, out);
    if (hr < 0 || riid != M::iid) return hr;
    void**& vptr = *static_cast<void***>(*out);
    M::realTable = vptr;
    M::copy.assign(vptr - 2, vptr + Slots);
    M::copy[2 + 2] = reinterpret_cast<void*>(&M::Release);
    M::copy[2 + Slot] = reinterpret_cast<void*>(&M::Fail);
    vptr = M::copy.data() + 2;
    return hr;
  }

 private:
  ComPtr<IClassFactory> real_;
  DWORD cookie_ = 0;
};

TEST_F(ConvertThreadTest, AFailedCloseOfTheFileIsAFailureNotADoneRun) {
  FailingFactory<54, 53> finish(CLSID_MpegEnc, IID_IMpegEnc, "The disk is full; the file could not be closed.");
  TConvertThread* t = Run(Settings(0, 0, 0, 0, Path("unclosed.mpg")));
  ExpectFailure(t, "The disk is full; the file could not be closed.");
}

TEST_F(ConvertThreadTest, AFailedSizeReportEndsTheRunWithTheEncodersText) {
  FailingFactory<42, 38, double*> size(CLSID_AVIEncode, IID_IAVIEncode, "The size of the output is not known.");
  TConvertThread* t = Run(Settings(2, 1, 0, 0, Path("nosize.avi")));
  ExpectFailure(t, "The size of the output is not known.");
  EXPECT_EQ(t->Pictures(), 1) << "the first picture's report ends the run";
}

TEST_F(ConvertThreadTest, AFailedPositionReportEndsTheRunWithoutReadingAnUnsetPosition) {
  FailingFactory<33, 31, INT*> position(CLSID_DVDDataObj, IID_IDVDDataObj, "The position can not be read.");
  TConvertThread* t = Run(Settings(0, 0, 0, 0, Path("noposition.mpg")));
  ExpectFailure(t, "The position can not be read.");
  EXPECT_EQ(t->Pictures(), 0);
}

TEST(ProgressPercent, IsComputedWideAndClampedToTheBar) {
  EXPECT_EQ(ProgressPercent(1000, 1000, 2000), 0);
  EXPECT_EQ(ProgressPercent(1500, 1000, 2000), 50);
  EXPECT_EQ(ProgressPercent(1999, 1000, 2000), 99);
  EXPECT_EQ(ProgressPercent(2000, 1000, 2000), 100);
  // An empty range: no division by zero.
  EXPECT_EQ(ProgressPercent(500, 500, 500), 100);
  EXPECT_EQ(ProgressPercent(499, 500, 500), 0);
  // Before the start (32-bit subtraction would wrap to a huge value).
  EXPECT_EQ(ProgressPercent(10, 1000, 2000), 0);
  // Past the end is never more than the bar holds.
  EXPECT_EQ(ProgressPercent(5000, 1000, 2000), 100);
  // Ranges whose *100 overflows 32 bits.
  EXPECT_EQ(ProgressPercent(0x80000000u, 0, 0xFFFFFFFEu), 50);
  EXPECT_EQ(ProgressPercent(0xFFFFFFF0u, 0x10, 0xFFFFFFFFu), 99);
  EXPECT_EQ(ProgressPercent(0x7FFFFFFFu, 0x7FFFFFF0u, 0x80000010u), 46);
}

}  // namespace
