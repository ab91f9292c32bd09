// The servers working ahead of the conversion thread against the same servers working in
// its thread (QUILLMERE_SERIAL): the same pictures and sound, the same quality, a stopped
// run that plays, a full disk reported by the call after the failed write, and sizes
// that split after the same picture.
#include <outside/encoders.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/resource.h>

#include <support/disc_checks.h>

#include "encoders_support.h"
#include "harness_driver.h"

using namespace enctest;
using harness::Job;
using harness::Outcome;
using outsidetest::SampleVideoTs;
using outsidetest::SerialServers;

namespace {

constexpr HRESULT kFileTooLarge = HRESULT_FROM_WIN32(223);

INT AviCodecNamed(const std::string& prefix) {
  auto enc = Create<IAVIEncode>(CLSID_AVIEncode, IID_IAVIEncode);
  return enctest::AviCodecNamed(enc.get(), prefix);
}

// The decoded pictures of a file's first video stream, one after another, as ffmpeg gives
// them in the pixel format asked; or its first sound stream as 16-bit samples.
std::string DecodedVideo(const std::string& path, const char* pixelFormat) {
  return Run({"ffmpeg", "-v", "error", "-i", path, "-map", "0:v:0", "-fps_mode", "passthrough", "-f", "rawvideo",
              "-pix_fmt", pixelFormat, "-"})
      .out;
}
std::string DecodedSound(const std::string& path) {
  return Run({"ffmpeg", "-v", "error", "-i", path, "-map", "0:a:0", "-f", "s16le", "-"}).out;
}

// PSNR over every plane of every picture, from the summed squared differences.
double Psnr(const std::string& a, const std::string& b) {
  double sum = 0;
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const double d = static_cast<unsigned char>(a[i]) - static_cast<double>(static_cast<unsigned char>(b[i]));
    sum += d * d;
  }
  return n == 0 || sum == 0 ? 100.0 : 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(n) / sum);
}

// In a forked child: writes past `bytes` fail (a full disk) instead of ending the process.
void LimitFileSize(rlim_t bytes) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{bytes, bytes};
  setrlimit(RLIMIT_FSIZE, &limit);
}

class PipelineTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    ASSERT_TRUE(std::filesystem::exists(SampleVideoTs() + "/VIDEO_TS.IFO")) << "no sample disc (target sample_dvd)";
  }

  // The second chapter of the PAL title (4 s) through the program's calls.
  Outcome Convert(Job job, bool serial) {
    SerialServers mode(serial);
    job.firstChapter = job.lastChapter = 1;
    return harness::Convert(SampleVideoTs(), job, nullptr);
  }

  // The source pictures of that chapter as the conversion resizes them, one after another.
  std::string SourcePictures(int width, int height) {
    SerialServers mode;
    auto info = Create<IDVDInfObj>(CLSID_DVDInfObj, IID_IDVDInfObj);
    auto data = Create<IDVDDataObj>(CLSID_DVDDataObj, IID_IDVDDataObj);
    auto pictures = Create<IPICTUREUTL>(CLSID_PICTUREUTL, IID_IPICTUREUTL);
    if (!info || !data || !pictures) return {};
    Bstr folder(SampleVideoTs());
    INT start = 0, end = 0, chapters = 0;
    info->OpenDvd(folder.get());
    info->SelectTitle(0);
    info->QueryTitle(0, &chapters);
    info->SelectProgramChain(0);
    info->GetChapterStart(1, &start);
    info->GetChapterEnd(1, &end);
    data->SetDvdPath(folder.get());
    data->SetTitle(0);
    data->SetProgramChain(0);
    data->SetSubtitle(-1);
    data->SetAudioStream(0);
    data->SetAngle(0);
    data->SetFrameRate(25.0);
    data->SetSampleRate(44100);
    data->SetForce24(0);
    data->Open();
    data->Seek(start);
    std::vector<BYTE> sy(720 * 576), su(sy.size() / 4), sv(sy.size() / 4);
    std::vector<BYTE> out(static_cast<std::size_t>(width) * height * 3 / 2);
    BYTE* oy = out.data();
    BYTE* ou = oy + width * height;
    BYTE* ov = ou + width * height / 4;
    std::string all;
    for (;;) {
      INT_PTR value1 = 0;
      INT value2 = 0, position = 0;
      if (data->ReadFrame(sy.data(), su.data(), sv.data(), &value1, &value2) != S_OK) break;
      data->GetPosition(&position);
      if (static_cast<DWORD>(position) > static_cast<DWORD>(end)) break;
      EXPECT_GE(pictures->ResizeYuvPlanes(720, 576, sy.data(), su.data(), sv.data(), width, height, oy, ou, ov), 0);
      all.append(reinterpret_cast<const char*>(out.data()), out.size());
    }
    data->Close();
    return all;
  }
};

TEST_F(PipelineTest, ALosslessAviOfThePipelinedServersHoldsTheSerialRunsPicturesAndSound) {
  // FFV1 codes slices on several threads in the pipelined run: other bits, the same pictures.
  const INT ffv1 = AviCodecNamed("FFV1");
  ASSERT_GE(ffv1, 0) << "no FFV1 encoder in this libavcodec";
  Job job{.kind = harness::kAvi, .outWidth = 720, .outHeight = 576, .codec = ffv1, .output = Path("serial.avi")};
  Outcome serial = Convert(job, true);
  job.output = Path("ahead.avi");
  Outcome ahead = Convert(job, false);
  ASSERT_EQ(serial.error, "");
  ASSERT_EQ(ahead.error, "");
  EXPECT_EQ(serial.pictures, 100);
  EXPECT_EQ(ahead.pictures, serial.pictures);

  const std::string serialPictures = DecodedVideo(Path("serial.avi"), "yuv420p");
  const std::string aheadPictures = DecodedVideo(Path("ahead.avi"), "yuv420p");
  EXPECT_EQ(serialPictures.size(), 100u * 720 * 576 * 3 / 2);
  EXPECT_TRUE(aheadPictures == serialPictures) << "the decoded pictures differ";
  const std::string serialSound = DecodedSound(Path("serial.avi"));
  EXPECT_GT(serialSound.size(), 3u * 44100 * 4);
  EXPECT_TRUE(DecodedSound(Path("ahead.avi")) == serialSound) << "the decoded sound differs";
}

TEST_F(PipelineTest, VcdAndSvcdOfThePipelinedServersHaveTheSerialRunsPicturesAndNoLessQuality) {
  struct Case {
    harness::Kind kind;
    int width, height;
  };
  for (const Case c : {Case{harness::kVcd, 352, 288}, Case{harness::kSvcd, 480, 576}}) {
    SCOPED_TRACE(c.kind == harness::kVcd ? "VCD" : "SVCD");
    const std::string source = SourcePictures(c.width, c.height);
    const std::size_t pictureBytes = static_cast<std::size_t>(c.width) * c.height * 3 / 2;
    ASSERT_EQ(source.size(), 100u * pictureBytes);
    double psnr[2] = {};
    for (bool serial : {true, false}) {
      Job job{.kind = c.kind, .outWidth = c.width, .outHeight = c.height, .output = Path(serial ? "serial.mpg" : "ahead.mpg")};
      const Outcome r = Convert(job, serial);
      ASSERT_EQ(r.error, "");
      quill_test::ExpectDiscPlayable(job.output);
      const std::string decoded = DecodedVideo(job.output, "yuv420p");
      EXPECT_EQ(decoded.size(), source.size()) << (serial ? "serial" : "ahead") << ": another picture count";
      psnr[serial] = Psnr(decoded, source);
    }
    std::printf("[ measured ] PSNR against the source: serial %.3f dB, pipelined %.3f dB\n", psnr[1], psnr[0]);
    EXPECT_GT(psnr[1], 25.0) << "the serial run itself is poor";
    // Runs of GOPs coded apart may come out a little better or worse than one encoder's
    // run; they may not lose more than a tenth of a decibel.
    EXPECT_GE(psnr[0], psnr[1] - 0.1);
  }
}

TEST_F(PipelineTest, AStoppedPipelinedRunLeavesAFileThatPlaysThePicturesGiven) {
  const INT divx = AviCodecNamed("DIVX");
  ASSERT_GE(divx, 0);
  const std::string mpg = Path("stopped.mpg"), avi = Path("stopped.avi");
  for (const Job& job : {Job{.kind = harness::kVcd, .stopAfter = 40, .output = mpg},
                         Job{.kind = harness::kSvcd, .outWidth = 480, .outHeight = 576, .stopAfter = 40, .output = mpg},
                         Job{.kind = harness::kAvi, .outWidth = 720, .outHeight = 576, .codec = divx, .stopAfter = 40,
                             .output = avi}}) {
    SCOPED_TRACE(job.output);
    ASSERT_EQ(Convert(job, false).error, "");
    auto probe = Probe(job.output);
    ASSERT_FALSE(probe.is_null());
    ASSERT_TRUE(StreamOfType(probe, "video"));
    EXPECT_EQ(JsonNumber(*StreamOfType(probe, "video"), "nb_read_frames"), 40);
    ASSERT_TRUE(StreamOfType(probe, "audio"));
    EXPECT_NEAR(JsonNumber(*StreamOfType(probe, "audio"), "duration"), 40 / 25.0, 0.1);
    if (job.kind != harness::kAvi) quill_test::ExpectDiscPlayable(job.output);
  }
}

// --- The encoder alone, on pictures of our own ----------------------------------------

// Bottom-up 24-bit rows of a moving pattern with some grain, so that pictures differ in size.
std::vector<std::uint8_t> MovingRows(int w, int h, int n) {
  const int stride = (3 * w + 3) & ~3;
  std::vector<std::uint8_t> rows(static_cast<std::size_t>(stride) * h, 0);
  std::uint32_t seed = 77u + static_cast<std::uint32_t>(n);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      std::uint8_t* p = &rows[static_cast<std::size_t>(r) * stride + 3 * c];
      seed = seed * 1103515245u + 12345u;
      const int grain = static_cast<int>(seed >> 28) * ((n % 7) + 1);
      p[0] = static_cast<std::uint8_t>((c + 3 * n + grain) & 255);
      p[1] = static_cast<std::uint8_t>((r * 2 + n + grain) & 255);
      p[2] = static_cast<std::uint8_t>((c + r + grain) & 255);
    }
  return rows;
}

// Every call of the program's loop and what it answered, for pictures of 352x288 into a
// Huffyuv AVI (one thread in both runs: the same bits).
struct Calls {
  std::vector<HRESULT> results;  // WriteFrame, GetFileSize, [SizeLimitReached], ... Finish
  std::vector<double> sizes;
  std::vector<int> splitsAfter;  // pictures written when SizeLimitReached was called
  std::string error;             // the first failure's text
  int firstFailure = -1;         // its call's index in results
};

Calls WriteHuffyuv(const std::string& path, int pictures, double limit, bool serial) {
  SerialServers mode(serial);
  Calls c;
  auto enc = Create<IAVIEncode>(CLSID_AVIEncode, IID_IAVIEncode);
  const INT huffyuv = AviCodecNamed("Huffyuv");
  if (!enc || huffyuv < 0) {
    c.error = "no Huffyuv encoder";
    return c;
  }
  Bstr p(path);
  enc->SetOutputFile(p.get());
  enc->SetHeight(288);
  enc->SetWidth(352);
  enc->SetFrameRate(25.0);
  enc->SetSampleRate(44100);
  enc->SetParameter23(1);
  enc->SetParameter21(1);
  enc->SetCodec(huffyuv);
  enc->SetLameBitrate(128);
  enc->SetLameQuality(5);
  if (enc->Start() < 0) {
    c.error = qcom::ErrorDescription(enc.get(), IID_IAVIEncode);
    return c;
  }
  auto note = [&](HRESULT hr) {
    c.results.push_back(hr);
    if (hr < 0 && c.firstFailure < 0) {
      c.firstFailure = static_cast<int>(c.results.size()) - 1;
      c.error = qcom::ErrorDescription(enc.get(), IID_IAVIEncode);
    }
  };
  for (int n = 0; n < pictures; ++n) {
    std::vector<std::uint8_t> rows = MovingRows(352, 288, n);
    std::vector<std::int16_t> sound = Tone(44100, 25.0, n);
    note(enc->WriteFrame(rows.data(), reinterpret_cast<INT_PTR>(sound.data()), static_cast<INT>(sound.size() * 2)));
    double size = 0;
    note(enc->GetFileSize(&size));
    c.sizes.push_back(size);
    if (c.firstFailure >= 0 && n > c.firstFailure / 2 + 4) break;  // a few calls past the failure
    if (size >= limit) {
      c.splitsAfter.push_back(n + 1);
      note(enc->SizeLimitReached());
    }
  }
  note(enc->Finish());
  return c;
}

TEST_F(PipelineTest, TheSizeAnsweredAfterEachPictureAndSoTheSplitsAreThoseOfTheSerialRun) {
  const double limit = 4;  // megabytes; a picture is about 0.2 MB
  const Calls serial = WriteHuffyuv(Path("serial.avi"), 60, limit, true);
  const Calls ahead = WriteHuffyuv(Path("ahead.avi"), 60, limit, false);
  ASSERT_EQ(serial.error, "");
  ASSERT_EQ(ahead.error, "");
  ASSERT_GE(serial.splitsAfter.size(), 2u);
  EXPECT_EQ(ahead.sizes, serial.sizes);
  EXPECT_EQ(ahead.splitsAfter, serial.splitsAfter);
  EXPECT_EQ(ahead.results, serial.results);
  // The same parts, bit for bit, each under the limit.
  for (std::size_t part = 1; part <= serial.splitsAfter.size() + 1; ++part) {
    const std::string serialPart = Path(part == 1 ? "serial.avi" : "serial_" + std::to_string(part) + ".avi");
    const std::string aheadPart = Path(part == 1 ? "ahead.avi" : "ahead_" + std::to_string(part) + ".avi");
    SCOPED_TRACE(part);
    ASSERT_TRUE(std::filesystem::exists(aheadPart));
    EXPECT_LT(std::filesystem::file_size(aheadPart), limit * 1048576);
    EXPECT_TRUE(quill_test::ReadFile(aheadPart) == quill_test::ReadFile(serialPart));
  }
}

TEST_F(PipelineTest, AFullDiskIsReportedByACallJustAfterTheFailedWriteAndByEveryCallAfterIt) {
  const std::string results = Path("results.txt");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    LimitFileSize(3000000);  // about twenty pictures
    std::ofstream out(results);
    for (bool serial : {true, false}) {
      const Calls c = WriteHuffyuv(Path(serial ? "serial.avi" : "ahead.avi"), 100, 1e9, serial);
      out << c.firstFailure << ' ' << static_cast<long>(c.results.size());
      // Every call from the first failure on answers the failure.
      bool allFail = c.firstFailure >= 0;
      for (std::size_t i = c.firstFailure < 0 ? 0 : c.firstFailure; i < c.results.size(); ++i)
        allFail = allFail && c.results[i] == kFileTooLarge;
      out << ' ' << allFail << ' ' << (c.firstFailure >= 0 ? c.results[c.firstFailure] : 0) << ' ' << c.error
          << '\n';
    }
    out.close();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the encoding process died";
  std::istringstream in(quill_test::ReadFile(results));
  struct Line {
    int first = -1;
    long calls = 0;
    int allFail = 0;
    long hr = 0;
    std::string error;
  } serial, ahead;
  for (Line* l : {&serial, &ahead}) {
    in >> l->first >> l->calls >> l->allFail >> l->hr;
    std::getline(in, l->error);
  }
  // In the caller's thread the write of picture j fails at its WriteFrame (call 2j).
  ASSERT_GE(serial.first, 4);
  EXPECT_EQ(serial.first % 2, 0);
  const int j = serial.first / 2;
  // Working ahead, the next calls find it, at the latest the size asked four pictures on,
  // which waits for picture j.
  EXPECT_GT(ahead.first, serial.first);
  EXPECT_LE(ahead.first, 2 * (j + 4) + 1);
  for (const Line* l : {&serial, &ahead}) {
    EXPECT_EQ(l->hr, kFileTooLarge);
    EXPECT_TRUE(l->allFail) << "a call after the failure answered success";
    EXPECT_NE(l->error.find("File too large"), std::string::npos) << l->error;
  }
  // The same text, naming each its own file.
  std::string expected = serial.error;
  expected.replace(expected.find("serial.avi"), 6, "ahead");
  EXPECT_EQ(ahead.error, expected);
}

// A full disk met while the workers are spread over the lanes unevenly (the machine busy
// with other threads) must still end in the failure, never in a wait for a picture that
// no lane passes on. Many short runs, each one cut off by the file-size limit.
TEST_F(PipelineTest, AFailureWhileTheLanesAreUnevenEndsTheRunAndNeverHangs) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    LimitFileSize(1500000);  // about ten pictures
    // Busy threads take the processors away from the converters at random moments.
    std::atomic<bool> busy{true};
    std::vector<std::thread> spinners;
    for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i)
      spinners.emplace_back([&] {
        while (busy.load(std::memory_order_relaxed)) {
        }
      });
    int failed = 0;
    constexpr int kRuns = 60;
    for (int run = 0; run < kRuns; ++run) {
      const Calls c = WriteHuffyuv(Path("uneven.avi"), 40, 1e9, false);
      failed += c.firstFailure >= 0 && c.results.back() == kFileTooLarge;
    }
    busy = false;
    for (std::thread& t : spinners) t.join();
    _exit(failed == kRuns ? 0 : 2);
  }
  int status = 0;
  bool ended = false;
  for (int i = 0; i < 1800 && !ended; ++i) {  // three minutes
    ended = waitpid(pid, &status, WNOHANG) == pid;
    if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  ASSERT_TRUE(ended) << "a run cut off by a full disk never ended";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a run did not report the full disk";
}

}  // namespace
