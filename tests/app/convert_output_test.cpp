// What the conversion thread's files hold, judged from the files themselves: on the
// detailed 16:9 title the luma against the source pictures, the shape, the VCD and SVCD
// multiplex against ffmpeg's own -target files of the same VOB, the AVI codecs' rates and
// a terminal left quiet; on the sample disc's 4:3 titles the shape of every kind of file.
#include <support/disc_checks.h>

#include "conversion_support.h"
#include "output_checks.h"

#include <cstdio>

using namespace convtest;

namespace {

constexpr double kPal = 25.0;
// Pictures spread over the minute, for the luma fits.
const std::vector<int> kSpread = {100, 400, 700, 1000, 1300};

// Bit rate of a file's picture stream from its packets, over `seconds`.
double PictureStreamRate(const std::string& path, double seconds) {
  const auto r = enctest::Run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "packet=size",
                               "-of", "csv=p=0", path});
  double bytes = 0;
  for (std::size_t at = 0, next; at < r.out.size(); at = next + 1) {
    next = r.out.find('\n', at);
    if (next == std::string::npos) next = r.out.size();
    bytes += std::atof(r.out.substr(at, next - at).c_str());
  }
  return bytes * 8 / seconds;
}

double FileRate(const std::string& path) {
  auto probe = Probe(path);
  const double seconds = probe.is_null() ? 0 : JsonNumber(probe["format"], "duration");
  return seconds > 0 ? fs::file_size(path) * 8.0 / seconds : 0;
}

class ConvertOutputTest : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    quick_ = videoTs_;
    detailed_ = outsidetest::DetailedVideoTs();
    ASSERT_TRUE(fs::exists(detailed_ + "/VTS_01_1.VOB")) << "no detailed disc (target detailed_dvd)";
    std::string vobs;
    for (int n = 1; n <= 9; ++n) {
      const std::string vob = detailed_ + "/VTS_01_" + std::to_string(n) + ".VOB";
      if (fs::exists(vob)) vobs += (vobs.empty() ? "" : "|") + vob;
    }
    titleVobs_ = "concat:" + vobs;
  }

  // The whole detailed title as the options dialog sets it for `kind`; for AVI with the
  // codec whose name starts with `codec`.
  TConversionSettings Detailed(int kind, const std::string& name, const std::string& codec = "") {
    videoTs_ = detailed_;
    const int chapters = ChapterCount(detailed_, 0);
    EXPECT_GT(chapters, 0);
    TConversionSettings s = Settings(kind, 0, 0, std::max(0, chapters - 1), Path(name));
    videoTs_ = quick_;
    if (kind == 2) {
      s.codec = CodecIdNamed(codec);
      EXPECT_GE(s.codec, 0) << codec << " is not in the codec list";
    }
    return s;
  }

  // A run whose standard error is kept: libraries' warnings and statistics have no place
  // on a GUI program's terminal, and a failure is said in the error box.
  TConvertThread* RunQuietly(const TConversionSettings& s, const std::function<void(TConvertThread*)>& during = {}) {
    // GoogleTest's capture takes over the descriptor itself, so the libraries' output is caught too.
    ::testing::internal::CaptureStderr();
    TConvertThread* t = Run(s, during);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "the run wrote on the terminal";
    return t;
  }

  // Output luma against the source's over pictures `numbers`, in means of blocks of
  // block x block pixels: the source decoded from the VOBs and scaled to the output size by
  // the picture server, as the conversion scales it. On the AVI road only where the 24-bit
  // bitmap holds the colour: the picture server clamps R, G and B to 0..255, which takes
  // luma from saturated colours that no encoder gets back.
  outcheck::LumaFit FitToSource(const std::string& output, const std::vector<int>& numbers, int w, int h,
                                bool bitmapRoad, int block = 8) {
    auto source = outcheck::DecodePictures(titleVobs_, numbers, 720, 576);
    const auto out = outcheck::DecodePictures(output, numbers, w, h);
    EXPECT_EQ(source.size(), numbers.size());
    EXPECT_EQ(out.size(), numbers.size());
    ComPtr<IPICTUREUTL> pictures;
    CoCreateInstance(CLSID_PICTUREUTL, nullptr, CLSCTX_ALL, IID_IPICTUREUTL, pictures.put_void());
    EXPECT_TRUE(pictures);
    if (!pictures) return {};
    const std::size_t luma = static_cast<std::size_t>(w) * h;
    std::vector<std::vector<bool>> keep;
    for (auto& p : source) {
      if (w != 720 || h != 576) {
        std::vector<std::uint8_t> scaled(luma * 3 / 2);
        EXPECT_GE(pictures->ResizeYuvPlanes(720, 576, p.data(), p.data() + 720 * 576, p.data() + 720 * 576 * 5 / 4,
                                            w, h, scaled.data(), scaled.data() + luma, scaled.data() + luma * 5 / 4),
                  0);
        p = std::move(scaled);
      }
      if (!bitmapRoad) continue;
      std::vector<std::uint8_t> dib(luma * 3 + 40);
      EXPECT_GE(pictures->YuvPlanesToDib(w, h, p.data(), p.data() + luma, p.data() + luma * 5 / 4, dib.data()), 0);
      std::vector<bool> k(luma);
      for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
          const std::uint8_t* px = &dib[40 + static_cast<std::size_t>(h - 1 - r) * 3 * w + 3 * c];
          k[static_cast<std::size_t>(r) * w + c] = std::none_of(px, px + 3, [](int v) { return v == 0 || v == 255; });
        }
      keep.push_back(std::move(k));
    }
    const outcheck::LumaFit fit = outcheck::FitLuma(source, out, w, h, block, bitmapRoad ? &keep : nullptr);
    std::printf("[ measured ] %s: luma out = %.4f * source %+.2f in blocks of %dx%d over %.1f%% of the pixels, "
                "mean difference %.2f\n",
                fs::path(output).filename().c_str(), fit.a, fit.b, block, block,
                100.0 * fit.pixels / (luma * numbers.size()), fit.meanAbsDifference);
    return fit;
  }

  static void ExpectLevelsKept(const outcheck::LumaFit& fit) {
    EXPECT_GE(fit.a, 0.96);
    EXPECT_LE(fit.a, 1.04);
    EXPECT_LE(std::abs(fit.b), 3.0);
  }

  // The multiplex against ffmpeg's -target file of the same VOBs, both read from their
  // pack headers: the same mux rate, file rate and last clock reference within 1 %, and
  // no picture late at the decoder or over its buffer where ffmpeg's has none.
  void ExpectMultiplexLikeFfmpeg(const std::string& ours, const std::string& target) {
    const std::string theirs = Path("ffmpeg-" + target + ".mpg");
    ASSERT_EQ(enctest::Run({"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", titleVobs_, "-target", target, theirs})
                  .status,
              0);
    const quill_test::DecoderBufferResult a = quill_test::CheckDecoderBuffer(ours);
    const quill_test::DecoderBufferResult b = quill_test::CheckDecoderBuffer(theirs);
    ASSERT_EQ(a.error, "");
    ASSERT_EQ(b.error, "");
    EXPECT_EQ(a.muxRate, b.muxRate);
    const double ourRate = FileRate(ours), theirRate = FileRate(theirs);
    // A VCD's rate is constant. An SVCD's pictures have a variable rate whose mean each run
    // of GOPs reaches on its own, a little below what one encoder reaches over the whole
    // title: never above ffmpeg's, at most 4 % below it.
    if (target.find("svcd") == std::string::npos)
      EXPECT_NEAR(ourRate / theirRate, 1.0, 0.01) << ourRate << " against " << theirRate << " bit/s";
    else
      EXPECT_TRUE(ourRate / theirRate <= 1.01 && ourRate / theirRate >= 0.96)
          << ourRate << " against " << theirRate << " bit/s";
    EXPECT_NEAR(a.lastScr / b.lastScr, 1.0, 0.01) << a.lastScr << " s against " << b.lastScr << " s";
    EXPECT_LE(a.latePictures.count, b.latePictures.count);
    EXPECT_GT(a.pictures, 0);
    EXPECT_GT(a.bufferBits, 0);
    EXPECT_LE(a.underflows.count, b.underflows.count);
    std::printf("[ measured ] %s: %.0f bit/s (ffmpeg %.0f, ratio %.4f), last clock %.3f s (ffmpeg %.3f, ratio %.4f), "
                "mux %lld bit/s, buffer underflows %d (ffmpeg %d), late pictures %d (ffmpeg %d)\n",
                target.c_str(), ourRate, theirRate, ourRate / theirRate, a.lastScr, b.lastScr, a.lastScr / b.lastScr,
                static_cast<long long>(a.muxRate), a.underflows.count, b.underflows.count, a.latePictures.count,
                b.latePictures.count);
    // ffmpeg's choice of MPEG-1 pixel shape for the same size and title.
    EXPECT_EQ((*StreamOfType(Probe(ours), "video"))["display_aspect_ratio"],
              (*StreamOfType(Probe(theirs), "video"))["display_aspect_ratio"]);
  }

  // The display shape as ffprobe reads it, and for AVI the header's video properties too.
  static void ExpectShape(const std::string& path, double wanted, double tolerance, bool avi) {
    SCOPED_TRACE(path);
    auto probe = Probe(path);
    ASSERT_FALSE(probe.is_null());
    EXPECT_NEAR(outcheck::DisplayAspect(probe), wanted, tolerance);
    if (avi) {
      const auto [x, y] = outcheck::AviFrameAspect(path);
      ASSERT_GT(y, 0) << "no video properties in the AVI header";
      EXPECT_NEAR(static_cast<double>(x) / y, wanted, 1e-9);
    }
  }

  // AVI picture rate (from the picture packets) and file rate against the codec's default
  // and the sound's 192 kbit/s, within 20 %.
  void ExpectAviRates(const std::string& path, double pictureRate) {
    const double seconds = range_.seconds;
    const double pictures = PictureStreamRate(path, seconds), file = FileRate(path);
    EXPECT_NEAR(pictures / pictureRate, 1.0, 0.2) << pictures << " bit/s";
    EXPECT_NEAR(file / (pictureRate + 192000), 1.0, 0.2) << file << " bit/s";
    std::printf("[ measured ] %s: pictures %.0f bit/s (default %.0f, ratio %.3f), file %.0f bit/s\n",
                fs::path(path).filename().c_str(), pictures, pictureRate, pictures / pictureRate, file);
  }

  // The whole wide title to VCD (kind 0) or SVCD (1): levels, shape, and the multiplex
  // beside ffmpeg's `target` file.
  void ConvertWideMpeg(int kind, const char* codec, int w, int h, const std::string& target, double shapeTolerance) {
    const auto s = Detailed(kind, "wide-" + target + ".mpg");
    TConvertThread* t = RunQuietly(s);
    EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
    EXPECT_TRUE(boxes_.empty());
    ExpectConvertedFile(s.outputFile, "mpeg", codec, w, h, "mp2", 44100, kPal, range_.seconds);
    ExpectLevelsKept(FitToSource(s.outputFile, kSpread, w, h, false));
    ExpectShape(s.outputFile, 16.0 / 9, shapeTolerance, false);
    ExpectMultiplexLikeFfmpeg(s.outputFile, target);
    quill_test::ExpectDiscPlayable(s.outputFile);
  }

  // The whole wide title to an AVI of a lossy codec: levels, shape and the codec's rate.
  void ConvertWideAvi(const std::string& codec, const char* codecName, double defaultRate) {
    const auto s = Detailed(2, "wide-" + std::string(codecName) + ".avi", codec);
    TConvertThread* t = RunQuietly(s);
    EXPECT_EQ(t->Outcome(), TConvertOutcome::Completed);
    EXPECT_TRUE(boxes_.empty());
    ExpectConvertedFile(s.outputFile, "avi", codecName, 720, 576, "mp3", 44100, kPal, range_.seconds);
    ExpectLevelsKept(FitToSource(s.outputFile, kSpread, 720, 576, true));
    ExpectShape(s.outputFile, 16.0 / 9, 1e-9, true);
    ExpectAviRates(s.outputFile, defaultRate);
  }

  std::string quick_, detailed_, titleVobs_;
};

TEST_F(ConvertOutputTest, VcdOfTheWideTitleKeepsItsLevelsShapeAndMuxRate) {
  // MPEG-1 has a table of pixel shapes; none gives 16:9 at 352x288 exactly.
  ConvertWideMpeg(0, "mpeg1video", 352, 288, "pal-vcd", 16.0 / 9 * 0.025);
}

TEST_F(ConvertOutputTest, SvcdOfTheWideTitleKeepsItsLevelsShapeAndMuxRate) {
  ConvertWideMpeg(1, "mpeg2video", 480, 576, "pal-svcd", 1e-9);
}

TEST_F(ConvertOutputTest, DivxOfTheWideTitleKeepsItsLevelsAndShapeAtItsDefaultRate) {
  ConvertWideAvi("DIVX", "mpeg4", 1500000);
}

TEST_F(ConvertOutputTest, H264OfTheWideTitleKeepsItsLevelsAndShapeAtItsDefaultRate) {
  ConvertWideAvi("H.264", "h264", 1000000);
}

TEST_F(ConvertOutputTest, LosslessAviOfTheWideTitleGivesEachLumaBack) {
  // A lossless minute would be gigabytes: the stop button ends the run after some pictures.
  const auto s = Detailed(2, "wide-ffv1.avi", "FFV1");
  RunQuietly(s, [](TConvertThread* run) {
    if (run->Pictures() >= 60) frmConvert->btnPlayClick(frmConvert->btnPlay);
  });
  EXPECT_TRUE(boxes_.empty());
  auto probe = Probe(s.outputFile);
  ASSERT_FALSE(probe.is_null());
  EXPECT_GE(JsonNumber(*StreamOfType(probe, "video"), "nb_read_frames"), 60);
  // Pixel by pixel, within the rounding of the conversions.
  const outcheck::LumaFit fit = FitToSource(s.outputFile, {10, 30, 55}, 720, 576, true, 1);
  ExpectLevelsKept(fit);
  EXPECT_NEAR(fit.a, 1.0, 0.005);
  EXPECT_LE(std::abs(fit.b), 0.5);
  EXPECT_LE(fit.meanAbsDifference, 0.5);
  ExpectShape(s.outputFile, 16.0 / 9, 1e-9, true);
}

// The detailed disc's second title, which the conversion benchmark converts beside the
// first: NTSC 4:3 with sound, a minute as the program lists it, and a camera's motion: each
// picture moves a little from the one before, far less than over ten seconds.
TEST_F(ConvertOutputTest, DetailedDiscsSecondTitleIsASmoothNtscMinute) {
  ComPtr<IDVDInfObj> info;
  CoCreateInstance(CLSID_DVDInfObj, nullptr, CLSCTX_ALL, IID_IDVDInfObj, info.put_void());
  ASSERT_TRUE(info);
  Bstr folder = Bstr::FromPath(detailed_);
  ASSERT_GE(info->OpenDvd(folder.get()), 0);
  INT titles = 0, chapters = 0, width = 0, height = 0;
  info->GetTitleCount(&titles);
  ASSERT_EQ(titles, 2);
  info->SelectTitle(1);
  info->SelectProgramChain(0);
  info->GetChapterCount(&chapters);
  info->GetPictureWidth(&width);
  info->GetPictureHeight(&height);
  EXPECT_EQ(chapters, 6);
  EXPECT_EQ(width, 720);
  EXPECT_EQ(height, 480);
  double seconds = 0;
  for (INT c = 0; c < chapters; ++c) {
    double s = 0;
    info->GetChapterSeconds(c, &s);
    seconds += s;
  }
  EXPECT_NEAR(seconds, 60, 0.5);

  const std::string vob = detailed_ + "/VTS_02_1.VOB";
  auto probe = Probe(vob);
  ASSERT_FALSE(probe.is_null());
  const auto* video = StreamOfType(probe, "video");
  const auto* sound = StreamOfType(probe, "audio");
  ASSERT_TRUE(video && sound);
  EXPECT_EQ((*video)["r_frame_rate"], "30000/1001");
  EXPECT_EQ((*video)["display_aspect_ratio"], "4:3");
  EXPECT_EQ((*sound)["codec_name"], "ac3");

  const auto pictures = outcheck::DecodePictures(vob, {900, 901, 1200}, 720, 480);
  ASSERT_EQ(pictures.size(), 3u);
  auto meanDifference = [](const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    double sum = 0;
    for (int i = 0; i < 720 * 480; ++i) sum += std::abs(a[i] - b[i]);
    return sum / (720 * 480);
  };
  const double step = meanDifference(pictures[0], pictures[1]), tenSeconds = meanDifference(pictures[0], pictures[2]);
  std::printf("[ measured ] second title: luma moves %.2f from one picture to the next, %.2f over ten seconds\n",
              step, tenSeconds);
  EXPECT_GT(step, 0.5);
  EXPECT_LT(step * 3, tenSeconds);
}

// The sample disc's titles are 4:3: every kind of file says so, every codec of the list.
TEST_F(ConvertOutputTest, EveryKindOfFileOfA4By3TitleIsShownAt4By3) {
  auto vcd = Settings(0, 0, 0, 0, Path("narrow.mpg"));
  EXPECT_EQ(RunQuietly(vcd)->Outcome(), TConvertOutcome::Completed);
  ExpectShape(vcd.outputFile, 4.0 / 3, 4.0 / 3 * 0.01, false);
  quill_test::ExpectDiscPlayable(vcd.outputFile);
  auto svcd = Settings(1, 1, 0, 0, Path("narrow-ntsc.mpg"));
  EXPECT_EQ(RunQuietly(svcd)->Outcome(), TConvertOutcome::Completed);
  ExpectShape(svcd.outputFile, 4.0 / 3, 1e-9, false);
  quill_test::ExpectDiscPlayable(svcd.outputFile);

  ComPtr<IAVIEncode> list;
  CoCreateInstance(CLSID_AVIEncode, nullptr, CLSCTX_ALL, IID_IAVIEncode, list.put_void());
  ASSERT_TRUE(list);
  INT count = 0;
  list->GetCodecCount(&count);
  ASSERT_GT(count, 0);
  for (INT i = 0; i < count; ++i) {
    auto avi = Settings(2, i % 2, 0, 0, Path("narrow-" + std::to_string(i) + ".avi"));
    list->GetCodecId(i, &avi.codec);
    SCOPED_TRACE("codec " + std::to_string(avi.codec));
    EXPECT_EQ(RunQuietly(avi)->Outcome(), TConvertOutcome::Completed);
    ExpectShape(avi.outputFile, 4.0 / 3, 1e-9, true);
  }
  EXPECT_TRUE(boxes_.empty());
}

}  // namespace
