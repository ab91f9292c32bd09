// IMpegEnc through the COM runtime: the calls of a VCD or SVCD run, checked
// with ffprobe, the size limit, and the ways a run can fail.
#include <outside/encoders.h>

#include <csignal>
#include <cstdio>
#include <fstream>

#include <sys/resource.h>

#include <support/disc_checks.h>

#include "encoders_support.h"

using namespace enctest;

namespace {

constexpr HRESULT kFileTooLarge = HRESULT_FROM_WIN32(223);

void ConfigureVcd(IMpegEnc* e, const std::string& path, int height, double fps) {
  Bstr p(path);
  e->SetOutputFile(p.get());
  e->SetParameter10(1);
  e->SetParameter12(1);
  e->SetHeight(height);
  e->SetWidth(352);
  e->SetFrameRate(fps);
  e->SetSampleRate(44100);
  e->SetParameter26(20);
  e->SetParameter22(0);
  e->SetParameter44(1);
  e->SetParameter34(2600);
  e->SetParameter42(1.4);
}

void ConfigureSvcd(IMpegEnc* e, const std::string& path, int height, double fps) {
  Bstr p(path);
  e->SetOutputFile(p.get());
  e->SetParameter10(3);
  e->SetParameter12(3);
  e->SetHeight(height);
  e->SetWidth(480);
  e->SetFrameRate(fps);
  e->SetSampleRate(48000);
  e->SetParameter26(20);
  e->SetParameter22(0);
  e->SetParameter44(1);
  e->SetParameter32(2376);
  e->SetParameter34(2600);
  e->SetParameter42(5.6);
}

// The program's per-picture loop: encode, ask the size, tell the limit.
struct LoopResult {
  HRESULT hr = S_OK;
  int pictures = 0;
  int limitCalls = 0;
  std::string error;
};

LoopResult EncodeLoop(IMpegEnc* e, int w, int h, double fps, int rate, int count, double limit = 1e9) {
  LoopResult r;
  Yuv pic(w, h);
  for (int n = 0; n < count; ++n) {
    pic.Paint(n);
    std::vector<std::int16_t> sound = Tone(rate, fps, n);
    r.hr = e->EncodeFrame(pic.y.data(), pic.u.data(), pic.v.data(), w, h, reinterpret_cast<INT_PTR>(sound.data()),
                          static_cast<INT>(sound.size() * 2));
    if (r.hr < 0) {
      r.error = qcom::ErrorDescription(e, IID_IMpegEnc);
      return r;
    }
    ++r.pictures;
    double size = 0;
    e->GetFileSize(&size);
    if (size >= limit) {
      ++r.limitCalls;
      const HRESULT hr = e->SizeLimitReached();
      if (hr < 0) {
        r.hr = hr;
        r.error = qcom::ErrorDescription(e, IID_IMpegEnc);
        return r;
      }
    }
  }
  return r;
}

// A VCD or SVCD multiplex is a run of packs of one Mode 2 sector (2324 bytes),
// each starting with a pack header.
void ExpectSectorPacks(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(bytes.size() % 2324, 0u);
  for (std::size_t at = 0; at + 4 <= bytes.size(); at += 2324)
    ASSERT_TRUE(bytes[at] == 0 && bytes[at + 1] == 0 && bytes[at + 2] == 1 && bytes[at + 3] == '\xBA')
        << "no pack header at " << at;
}

class MpegEncTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    enc_ = Create<IMpegEnc>(CLSID_MpegEnc, IID_IMpegEnc);
    ASSERT_TRUE(enc_);
  }
  void TearDown() override {
    enc_.Reset();
    ComTest::TearDown();
  }
  ComPtr<IMpegEnc> enc_;
};

TEST_F(MpegEncTest, MethodsSitAtTheirSlots) {
  for (int slot : {7, 9, 11, 13, 14, 15, 17, 19, 20, 21, 23, 24, 25, 27, 28, 29, 31, 33, 35, 36, 37, 38, 39, 40,
                   41, 43, 45, 46, 47})
    EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), slot), E_NOTIMPL) << "slot " << slot;
  // Start (49) before any setting fails and says why; GetFileSize (51) answers 0.
  EXPECT_LT(CallSlot<HRESULT>(enc_.get(), 49), 0);
  EXPECT_NE(qcom::ErrorDescription(enc_.get(), IID_IMpegEnc), "");
  double size = -1;
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 51, &size), S_OK);
  EXPECT_EQ(size, 0.0);
  // SizeLimitReached (52) without a run repeats why; Finish (53) without a run is harmless.
  EXPECT_LT(CallSlot<HRESULT>(enc_.get(), 52), 0);
  EXPECT_NE(qcom::ErrorDescription(enc_.get(), IID_IMpegEnc), "");
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 53), S_OK);

  // Setters by slot: width 16, height 18, frame rate 30, then Start 49 and EncodeFrame 50.
  Bstr path(Path("slots.mpg"));
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 8, path.get()), S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 16, INT{352}), S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 18, INT{240}), S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 30, 29.97), S_OK);
  for (int slot : {10, 12}) EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), slot, INT{1}), S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 42, 1.4), S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 48, INT{44100}), S_OK);
  ASSERT_EQ(CallSlot<HRESULT>(enc_.get(), 49), S_OK) << qcom::ErrorDescription(enc_.get(), IID_IMpegEnc);
  Yuv pic(352, 240);
  pic.Paint(0);
  EXPECT_EQ((CallSlot<HRESULT, BYTE*, BYTE*, BYTE*, INT, INT, INT_PTR, INT>(
                enc_.get(), 50, pic.y.data(), pic.u.data(), pic.v.data(), 352, 240, 0, 0)),
            S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(enc_.get(), 53), S_OK);
  auto probe = Probe(Path("slots.mpg"));
  ASSERT_FALSE(probe.is_null());
  EXPECT_EQ(JsonNumber(*StreamOfType(probe, "video"), "height"), 240);
  // One picture: too short for a disc track, sound otherwise.
  quill_test::ExpectDiscPlayable(Path("slots.mpg"), quill_test::DiscChecks::kShortTrack);
}

TEST_F(MpegEncTest, VcdIsMpeg1WithLayerIISoundInAVcdMultiplex) {
  ConfigureVcd(enc_.get(), Path("vcd.mpg"), 288, 25.0);
  ASSERT_EQ(enc_->Start(), S_OK) << qcom::ErrorDescription(enc_.get(), IID_IMpegEnc);
  LoopResult r = EncodeLoop(enc_.get(), 352, 288, 25.0, 44100, 75);
  ASSERT_EQ(r.hr, S_OK) << r.error;
  ASSERT_EQ(enc_->Finish(), S_OK);

  auto probe = Probe(Path("vcd.mpg"));
  ASSERT_FALSE(probe.is_null());
  EXPECT_EQ(probe["format"]["format_name"], "mpeg");
  const auto* v = StreamOfType(probe, "video");
  const auto* a = StreamOfType(probe, "audio");
  ASSERT_TRUE(v && a);
  ExpectVideoStream(*v, "mpeg1video", 352, 288, "25/1", 75);
  EXPECT_NEAR(JsonNumber(*v, "duration"), 3.0, 0.04);
  // MPEG-1 has a table of pixel shapes; the nearest to a 4:3 television is close to 4:3.
  const std::string dar = (*v)["display_aspect_ratio"];
  EXPECT_NEAR(std::atof(dar.c_str()) / std::atof(dar.substr(dar.find(':') + 1).c_str()), 4.0 / 3.0, 0.01) << dar;
  EXPECT_EQ((*a)["codec_name"], "mp2");
  EXPECT_EQ(JsonNumber(*a, "sample_rate"), 44100);
  EXPECT_EQ(JsonNumber(*a, "channels"), 2);
  EXPECT_EQ(JsonNumber(*a, "bit_rate"), 224000);
  EXPECT_NEAR(JsonNumber(*a, "duration"), 3.0, 0.06);
  // The sequence header carries the constant rate of a VCD.
  EXPECT_EQ(JsonNumber(*v, "bit_rate"), 1150000);
  ExpectSectorPacks(Path("vcd.mpg"));
  quill_test::ExpectDiscPlayable(Path("vcd.mpg"));
}

TEST_F(MpegEncTest, SvcdNtscIsMpeg2AndItsSoundIsResampledTo44100) {
  ConfigureSvcd(enc_.get(), Path("svcd.mpg"), 480, 29.97);
  ASSERT_EQ(enc_->Start(), S_OK) << qcom::ErrorDescription(enc_.get(), IID_IMpegEnc);
  LoopResult r = EncodeLoop(enc_.get(), 480, 480, 29.97, 48000, 60);
  ASSERT_EQ(r.hr, S_OK) << r.error;
  ASSERT_EQ(enc_->Finish(), S_OK);

  auto probe = Probe(Path("svcd.mpg"));
  ASSERT_FALSE(probe.is_null());
  EXPECT_EQ(probe["format"]["format_name"], "mpeg");
  const auto* v = StreamOfType(probe, "video");
  const auto* a = StreamOfType(probe, "audio");
  ASSERT_TRUE(v && a);
  ExpectVideoStream(*v, "mpeg2video", 480, 480, "30000/1001", 60);
  EXPECT_EQ((*a)["codec_name"], "mp2");
  EXPECT_EQ(JsonNumber(*a, "sample_rate"), 44100);
  // 48 kHz sound taken as 44.1 kHz would last 9% longer than the pictures.
  EXPECT_NEAR(JsonNumber(*a, "duration"), 60 / 29.97, 0.06);
  ExpectSectorPacks(Path("svcd.mpg"));
  quill_test::ExpectDiscPlayable(Path("svcd.mpg"));
}

TEST_F(MpegEncTest, SizeLimitSplitsIntoNumberedFilesEachUnderTheLimit) {
  ConfigureVcd(enc_.get(), Path("big.mpg"), 288, 25.0);
  ASSERT_EQ(enc_->Start(), S_OK);
  LoopResult r = EncodeLoop(enc_.get(), 352, 288, 25.0, 44100, 400, 1.0);  // 16 s, about 2.8 MB
  ASSERT_EQ(r.hr, S_OK) << r.error;
  ASSERT_EQ(enc_->Finish(), S_OK);
  EXPECT_GE(r.limitCalls, 2);

  double frames = 0;
  for (const char* name : {"big.mpg", "big_2.mpg", "big_3.mpg"}) {
    ASSERT_NO_FATAL_FAILURE(ExpectPartUnderOneMegabyte(Path(name), &frames));
    quill_test::ExpectDiscPlayable(Path(name));
  }
  EXPECT_FALSE(std::filesystem::exists(Path("big_4.mpg")));
  EXPECT_EQ(frames, 400) << "every picture lands in exactly one part";
}

TEST_F(MpegEncTest, LimitOfZeroMakesPartsOfOneSecondNotOfOnePicture) {
  ConfigureVcd(enc_.get(), Path("zero.mpg"), 288, 25.0);
  ASSERT_EQ(enc_->Start(), S_OK);
  LoopResult r = EncodeLoop(enc_.get(), 352, 288, 25.0, 44100, 60, 0.0);
  ASSERT_EQ(r.hr, S_OK) << r.error;
  ASSERT_EQ(enc_->Finish(), S_OK);
  EXPECT_EQ(r.limitCalls, 60);
  EXPECT_TRUE(std::filesystem::exists(Path("zero_2.mpg")));
  EXPECT_FALSE(std::filesystem::exists(Path("zero_4.mpg")));
  EXPECT_EQ(JsonNumber(*StreamOfType(Probe(Path("zero.mpg")), "video"), "nb_read_frames"), 25);
  // Parts of one second hold a little under 75 sectors, which vcdimager finds short for a
  // disc track; the buffer of each must still be sound.
  for (const char* name : {"zero.mpg", "zero_2.mpg", "zero_3.mpg"})
    if (std::filesystem::exists(Path(name)))
      quill_test::ExpectDiscPlayable(Path(name), quill_test::DiscChecks::kShortTrack);
}

TEST_F(MpegEncTest, SettingsAPlayerWouldRefuseFailAtStartAndAgainAtEachPicture) {
  ConfigureVcd(enc_.get(), Path("bad.mpg"), 288, 29.97);  // 352x288 is the PAL size
  EXPECT_EQ(enc_->Start(), E_INVALIDARG);
  EXPECT_NE(qcom::ErrorDescription(enc_.get(), IID_IMpegEnc).find("352x240"), std::string::npos);
  LoopResult r = EncodeLoop(enc_.get(), 352, 288, 29.97, 44100, 1);
  EXPECT_EQ(r.hr, E_INVALIDARG);
  EXPECT_NE(r.error.find("could not be started"), std::string::npos) << r.error;
  EXPECT_FALSE(std::filesystem::exists(Path("bad.mpg")));

  enc_->SetParameter10(1);
  enc_->SetParameter12(3);
  enc_->SetFrameRate(25.0);
  EXPECT_EQ(enc_->Start(), E_INVALIDARG) << "MPEG-1 pictures in an SVCD multiplex";
  enc_->SetParameter12(1);
  enc_->SetParameter42(1.0);
  EXPECT_EQ(enc_->Start(), E_INVALIDARG) << "a VCD needs 1.4 Mbit/s";
  EXPECT_EQ(qcom::ErrorDescription(enc_.get(), IID_IMpegEnc),
            "A VCD is read at 1.4112 Mbit/s, more than the limit of 1 Mbit/s.");

  // Numbers in the texts stay readable whatever their size.
  enc_->SetParameter42(1.4);
  for (double fps : {1e308, 50.0}) {
    enc_->SetFrameRate(fps);
    EXPECT_EQ(enc_->Start(), E_INVALIDARG);
    const std::string error = qcom::ErrorDescription(enc_.get(), IID_IMpegEnc);
    EXPECT_LT(error.size(), 100u) << error;
    EXPECT_NE(error.find(fps == 50.0 ? " 50." : " 1e+308 "), std::string::npos) << error;
  }
}

TEST_F(MpegEncTest, PicturesAndSoundThatDoNotFitAreRefused) {
  ConfigureVcd(enc_.get(), Path("fit.mpg"), 288, 25.0);
  ASSERT_EQ(enc_->Start(), S_OK);
  Yuv pic(352, 288);
  pic.Paint(0);
  std::vector<std::int16_t> sound(1764 * 2);
  auto encode = [&](int w, int h, INT_PTR v1, INT v2) {
    return enc_->EncodeFrame(pic.y.data(), pic.u.data(), pic.v.data(), w, h, v1, v2);
  };
  EXPECT_EQ(encode(352, 240, 0, 0), E_INVALIDARG);
  EXPECT_EQ(encode(352, 288, reinterpret_cast<INT_PTR>(sound.data()), 7), E_INVALIDARG);
  EXPECT_EQ(encode(352, 288, reinterpret_cast<INT_PTR>(sound.data()), -4), E_INVALIDARG);
  EXPECT_EQ(encode(352, 288, 0, 4), E_POINTER);
  EXPECT_EQ(enc_->EncodeFrame(nullptr, pic.u.data(), pic.v.data(), 352, 288, 0, 0), E_POINTER);
  EXPECT_NE(qcom::ErrorDescription(enc_.get(), IID_IMpegEnc), "");
  // None of that harmed the run.
  EXPECT_EQ(encode(352, 288, reinterpret_cast<INT_PTR>(sound.data()), static_cast<INT>(sound.size() * 2)), S_OK);
  EXPECT_EQ(enc_->Finish(), S_OK);
  quill_test::ExpectDiscPlayable(Path("fit.mpg"), quill_test::DiscChecks::kShortTrack);  // one picture
}

TEST_F(MpegEncTest, UnwritableOutputPathIsReportedWithThePath) {
  const std::string path = Path("no/such/folder/x.mpg");
  ConfigureVcd(enc_.get(), path, 288, 25.0);
  EXPECT_LT(enc_->Start(), 0);
  EXPECT_NE(qcom::ErrorDescription(enc_.get(), IID_IMpegEnc).find(path), std::string::npos);
  LoopResult r = EncodeLoop(enc_.get(), 352, 288, 25.0, 44100, 1);
  EXPECT_LT(r.hr, 0);
  EXPECT_NE(r.error.find(path), std::string::npos) << r.error;
  EXPECT_EQ(enc_->Finish(), S_OK);
}

TEST_F(MpegEncTest, FullDiskEndsTheRunWithItsReasonAndLeavesNothingOpen) {
  const int descriptors = OpenDescriptors();
  ConfigureVcd(enc_.get(), "/dev/full", 288, 25.0);
  HRESULT hr = enc_->Start();
  std::string error;
  if (hr >= 0) {
    LoopResult r = EncodeLoop(enc_.get(), 352, 288, 25.0, 44100, 100);
    hr = r.hr;
    error = r.error;
    // Pictures are written once their run of GOPs is coded: a write that fails after the
    // last picture was given is reported by Finish, never as success.
    if (hr >= 0) {
      hr = enc_->Finish();
      error = qcom::ErrorDescription(enc_.get(), IID_IMpegEnc);
    }
  } else {
    error = qcom::ErrorDescription(enc_.get(), IID_IMpegEnc);
  }
  EXPECT_EQ(hr, HRESULT_DISK_FULL);
  EXPECT_NE(error.find("No space left"), std::string::npos) << error;
  enc_->Finish();
  enc_.Reset();
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(MpegEncTest, FileSizeLimitOfTheProcessEndsTheRunWithoutACrash) {
  const std::string path = Path("capped.mpg");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{300000, 300000};
    setrlimit(RLIMIT_FSIZE, &limit);
    ConfigureVcd(enc_.get(), path, 288, 25.0);
    if (enc_->Start() < 0) _exit(2);
    LoopResult r = EncodeLoop(enc_.get(), 352, 288, 25.0, 44100, 250);
    // Runs are written as they are coded: on a busy machine the limit can be met only
    // by the writes Finish waits for, and then Finish is the call that reports it.
    if (r.hr >= 0) {
      r.hr = enc_->Finish();
      r.error = qcom::ErrorDescription(enc_.get(), IID_IMpegEnc);
    } else {
      enc_->Finish();
    }
    const bool reported = r.hr == kFileTooLarge && r.error.find("File too large") != std::string::npos;
    if (!reported) std::fprintf(stderr, "status %08x: %s\n", unsigned(r.hr), r.error.c_str());
    _exit(reported ? 0 : 3);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "the encoder process died";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_LE(std::filesystem::file_size(path), 300000u);
  // Cut off by the limit, so vcdimager may rightly refuse its last, partial sector; the
  // pictures that were written must still have gone through the buffer.
  quill_test::ExpectDiscPlayable(path, quill_test::DiscChecks::kWithoutImager);
}

TEST_F(MpegEncTest, StopInTheMiddleLeavesAClosedPlayableFile) {
  ConfigureVcd(enc_.get(), Path("stop.mpg"), 240, 23.976);
  ASSERT_EQ(enc_->Start(), S_OK);
  ASSERT_EQ(EncodeLoop(enc_.get(), 352, 240, 23.976, 44100, 31).hr, S_OK);
  ASSERT_EQ(enc_->Finish(), S_OK);
  auto probe = Probe(Path("stop.mpg"));
  ASSERT_FALSE(probe.is_null());
  EXPECT_EQ(JsonNumber(*StreamOfType(probe, "video"), "nb_read_frames"), 31);
  EXPECT_EQ((*StreamOfType(probe, "video"))["r_frame_rate"], "24000/1001");
  EXPECT_TRUE(StreamOfType(probe, "audio"));
  quill_test::ExpectDiscPlayable(Path("stop.mpg"));
  // Once finished, pictures are refused with a reason rather than written nowhere.
  EXPECT_LT(EncodeLoop(enc_.get(), 352, 240, 23.976, 44100, 1).hr, 0);
}

TEST_F(MpegEncTest, RunWithoutAPictureFailsAndLeavesNoFile) {
  struct Case {
    const char* what;
    void (*configure)(IMpegEnc*, const std::string&, int, double);
    int height;
  };
  for (const Case& c : {Case{"VCD", ConfigureVcd, 288}, Case{"SVCD", ConfigureSvcd, 576}}) {
    SCOPED_TRACE(c.what);
    const std::string path = Path(std::string("empty-") + c.what + ".mpg");
    c.configure(enc_.get(), path, c.height, 25.0);
    ASSERT_EQ(enc_->Start(), S_OK) << qcom::ErrorDescription(enc_.get(), IID_IMpegEnc);
    EXPECT_LT(enc_->Finish(), 0) << "an empty run is no success";
    const std::string error = qcom::ErrorDescription(enc_.get(), IID_IMpegEnc);
    EXPECT_NE(error.find("No picture was encoded"), std::string::npos) << error;
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(path));
  }

  // Released without Finish: the same, nothing is left behind.
  const std::string released = Path("empty-released.mpg");
  ConfigureVcd(enc_.get(), released, 288, 25.0);
  ASSERT_EQ(enc_->Start(), S_OK);
  EXPECT_TRUE(std::filesystem::exists(released));
  enc_.Reset();
  EXPECT_FALSE(std::filesystem::exists(released));

  // A device is written to, never removed.
  enc_ = Create<IMpegEnc>(CLSID_MpegEnc, IID_IMpegEnc);
  ASSERT_TRUE(enc_);
  ConfigureVcd(enc_.get(), "/dev/full", 288, 25.0);
  if (enc_->Start() >= 0) {
    EXPECT_LT(enc_->Finish(), 0);
    EXPECT_NE(qcom::ErrorDescription(enc_.get(), IID_IMpegEnc).find("No picture"), std::string::npos);
  }
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

TEST_F(MpegEncTest, ReleasingARunningEncoderClosesItsFile) {
  ConfigureVcd(enc_.get(), Path("released.mpg"), 288, 25.0);
  ASSERT_EQ(enc_->Start(), S_OK);
  ASSERT_EQ(EncodeLoop(enc_.get(), 352, 288, 25.0, 44100, 20).hr, S_OK);
  enc_.Reset();
  auto probe = Probe(Path("released.mpg"));
  ASSERT_FALSE(probe.is_null());
  EXPECT_EQ(JsonNumber(*StreamOfType(probe, "video"), "nb_read_frames"), 20);
  quill_test::ExpectDiscPlayable(Path("released.mpg"), quill_test::DiscChecks::kShortTrack);  // under a second
}

}  // namespace
