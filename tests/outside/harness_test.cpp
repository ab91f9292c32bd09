// End-to-end: a chapter range of the sample disc converted to VCD, SVCD and AVI
// by driving the servers through the COM runtime in the conversion thread's
// order (DVD data object, preview painter, picture server, encoder), then
// checked with ffprobe.
#include "encoders_support.h"
#include "encoders_surfaces.h"
#include "harness_driver.h"

using namespace enctest;
using namespace harness;

using outsidetest::SampleVideoTs;

namespace {

class HarnessTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    ASSERT_TRUE(std::filesystem::exists(SampleVideoTs() + "/VIDEO_TS.IFO"))
        << "no sample disc at " << SampleVideoTs() << " (target sample_dvd)";
    surfaces_ = std::make_shared<MemorySurfaces>(Preview(), 360, 288, 360);
    previous_ = SetWindowSurfaceProvider(surfaces_);
  }
  void TearDown() override {
    if (surfaces_) SetWindowSurfaceProvider(previous_);
    ComTest::TearDown();
  }
  static HWND Preview() { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x7e57)); }
  static Outcome Run(const Job& job) { return Convert(SampleVideoTs(), job, Preview()); }

  // ffprobe's verdict on one output file.
  void ExpectFile(const std::string& path, const char* format, const char* videoCodec, const char* audioCodec,
                  int width, int height, const char* rate, int pictures, double fps) {
    SCOPED_TRACE(path);
    auto probe = Probe(path);
    ASSERT_FALSE(probe.is_null()) << "ffprobe can not read it";
    EXPECT_EQ(probe["format"]["format_name"], format);
    const auto* v = StreamOfType(probe, "video");
    const auto* a = StreamOfType(probe, "audio");
    ASSERT_TRUE(v) << "no pictures";
    ASSERT_TRUE(a) << "no sound";
    ExpectVideoStream(*v, videoCodec, width, height, rate, pictures);
    EXPECT_EQ((*a)["codec_name"], audioCodec);
    EXPECT_NEAR(JsonNumber(*v, "duration"), pictures / fps, 1.0 / fps);
    EXPECT_GT(JsonNumber(*a, "nb_read_frames"), 0);
    EXPECT_NEAR(JsonNumber(*a, "duration"), pictures / fps, 0.1);
  }

  std::shared_ptr<MemorySurfaces> surfaces_;
  std::shared_ptr<WindowSurfaceProvider> previous_;
};

TEST_F(HarnessTest, ChaptersTwoAndThreeOfThePalTitleBecomeAVcd) {
  const Job job{.firstChapter = 1, .lastChapter = 2, .output = Path("pal.mpg")};
  Outcome r = Run(job);
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.sourceWidth, 720);
  EXPECT_EQ(r.sourceHeight, 576);
  // Two chapters of 4 s at 25 pictures a second.
  EXPECT_NEAR(r.pictures, r.chapterSeconds * 25, 2);
  EXPECT_EQ(r.previews, r.pictures / 25);
  EXPECT_TRUE(surfaces_->repainted);
  ExpectFile(job.output, "mpeg", "mpeg1video", "mp2", 352, 288, "25/1", r.pictures, 25.0);
  RecordProperty("picture_server", r.usedPictureServer ? "PICTUREUTL" : "own resize");
}

TEST_F(HarnessTest, ThePalTitleBecomesAnSvcdWithItsGermanSound) {
  const Job job{.kind = kSvcd,
                .audio = 1,  // MPEG layer II "de"
                .firstChapter = 0,
                .lastChapter = 1,
                .outWidth = 480,
                .outHeight = 576,
                .output = Path("pal-svcd.mpg")};
  Outcome r = Run(job);
  ASSERT_EQ(r.error, "");
  EXPECT_NEAR(r.pictures, r.chapterSeconds * 25, 2);
  ExpectFile(job.output, "mpeg", "mpeg2video", "mp2", 480, 576, "25/1", r.pictures, 25.0);
}

TEST_F(HarnessTest, TheNtscTitleBecomesADivxAviAtItsOwnSize) {
  ComPtr<IAVIEncode> list = Create<IAVIEncode>(CLSID_AVIEncode, IID_IAVIEncode);
  ASSERT_TRUE(list);
  INT divx = -1;
  ASSERT_EQ(list->GetCodecId(0, &divx), S_OK);  // "DIVX MPEG-4" comes first
  const Job job{.kind = kAvi,
                .title = 1,
                .lastChapter = 1,
                .fps = 29.97,
                .outWidth = 720,
                .outHeight = 480,
                .codec = divx,
                .lameBitrate = 160,
                .output = Path("ntsc.avi")};
  Outcome r = Run(job);
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.sourceWidth, 720);
  EXPECT_EQ(r.sourceHeight, 480);
  EXPECT_NEAR(r.pictures, r.chapterSeconds * 29.97, 2);
  ExpectFile(job.output, "avi", "mpeg4", "mp3", 720, 480, "30000/1001", r.pictures, 30000.0 / 1001);
}

TEST_F(HarnessTest, TheNtscTitleBecomesAVcdOf352x240) {
  const Job job{.title = 1, .lastChapter = 1, .fps = 29.97, .outHeight = 240, .output = Path("ntsc.mpg")};
  Outcome r = Run(job);
  ASSERT_EQ(r.error, "");
  ExpectFile(job.output, "mpeg", "mpeg1video", "mp2", 352, 240, "30000/1001", r.pictures, 30000.0 / 1001);
}

TEST_F(HarnessTest, AFileSizeLimitSplitsTheVcdIntoFilesEachUnderIt) {
  const Job job{.lastChapter = 2,
                .fileSizeLimit = 1,  // megabyte; the whole title is about 2 MB
                .output = Path("split.mpg")};
  Outcome r = Run(job);
  ASSERT_EQ(r.error, "");
  EXPECT_GE(r.limitCalls, 1);
  double pictures = 0;
  for (const char* name : {"split.mpg", "split_2.mpg"})
    ASSERT_NO_FATAL_FAILURE(ExpectPartUnderOneMegabyte(Path(name), &pictures));
  if (std::filesystem::exists(Path("split_3.mpg")))
    pictures += JsonNumber(*StreamOfType(Probe(Path("split_3.mpg")), "video"), "nb_read_frames");
  EXPECT_EQ(pictures, r.pictures);
}

TEST_F(HarnessTest, StopInTheMiddleLeavesAClosedPlayableFile) {
  const int descriptors = OpenDescriptors();
  const Job job{.kind = kSvcd,
                .lastChapter = 2,
                .outWidth = 480,
                .outHeight = 576,
                .stopAfter = 40,
                .output = Path("stopped.mpg")};
  Outcome r = Run(job);
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.pictures, 40);
  EXPECT_EQ(OpenDescriptors(), descriptors);
  ExpectFile(job.output, "mpeg", "mpeg2video", "mp2", 480, 576, "25/1", 40, 25.0);
}

TEST_F(HarnessTest, AnUnwritableOutputEndsTheRunWithTheEncodersReason) {
  const int descriptors = OpenDescriptors();
  const Job job{.output = Path("missing-folder/out.mpg")};
  Outcome r = Run(job);
  EXPECT_NE(r.error.find("missing-folder/out.mpg"), std::string::npos) << r.error;
  EXPECT_EQ(r.pictures, 1) << "the first picture's encoding fails";
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

}  // namespace
