// The MPEG encoder coding on its own workers against the same encoder in the caller's
// thread with one encoder instance (QUILLMERE_SERIAL), on the detailed disc's titles:
// the same pictures in the same order at the same quality, the same sizes answered and
// so the same splits, a stop that leaves every picture given, and failures (a full disk,
// an encoder instance that fails) reported and never taken for success. Everything is
// judged from the files, decoded by ffmpeg, against the pictures given.
#include <outside/encoders.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>

#include <support/disc_checks.h>

#include "encoders_support.h"
#include "watchdog.h"

using namespace enctest;
using outsidetest::SerialServers;
using outsidetest::Watchdog;
namespace fs = std::filesystem;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Finish of a stopped run waits only for the pictures in hand. The sanitizer build's
// timing says nothing about that, so it has no bound there.
constexpr double kFinishBoundSeconds = 2.0;

// A child process's output, standard error included.
ProcessResult RunAll(const std::vector<std::string>& argv) { return enctest::Run(argv, true); }

// A title of the detailed disc: its VOBs and what ffprobe says of its pictures.
struct Title {
  std::string name;  // "VTS_01"
  std::string vobs;  // "concat:a|b" for ffmpeg
  int width = 0, height = 0;
  bool pal = true;
  double fps = 25.0;
  double seconds = 0;  // as ffprobe reckons it from the VOBs' time stamps

  // Pictures of the title to use: `wanted` seconds' worth, or as many as a shorter title
  // surely has.
  int Pictures(double wanted) const {
    return static_cast<int>(std::lround(std::min(wanted, std::max(0.0, seconds - 1.0)) * fps));
  }
};

// Every title set of the detailed disc, in order.
std::vector<Title> DetailedTitles() {
  std::vector<Title> titles;
  const std::string videoTs = outsidetest::DetailedVideoTs();
  for (int set = 1; set <= 99; ++set) {
    char name[8];
    std::snprintf(name, sizeof name, "VTS_%02d", set);
    Title t;
    t.name = name;
    for (int part = 1; part <= 9; ++part) {
      const std::string vob = videoTs + "/" + name + "_" + std::to_string(part) + ".VOB";
      if (fs::exists(vob)) t.vobs += (t.vobs.empty() ? "concat:" : "|") + vob;
    }
    if (t.vobs.empty()) continue;
    const auto probe = Probe(t.vobs);
    const auto* v = probe.is_null() ? nullptr : StreamOfType(probe, "video");
    if (!v) {
      ADD_FAILURE() << "ffprobe reads no pictures in " << t.vobs;
      continue;
    }
    t.width = static_cast<int>(JsonNumber(*v, "width"));
    t.height = static_cast<int>(JsonNumber(*v, "height"));
    t.pal = (*v)["r_frame_rate"] == "25/1";
    t.fps = t.pal ? 25.0 : 29.97;
    t.seconds = JsonNumber(probe["format"], "duration");
    titles.push_back(t);
  }
  return titles;
}

enum class Kind { Vcd, Svcd };
const char* KindName(Kind k) { return k == Kind::Vcd ? "VCD" : "SVCD"; }
int PictureWidth(Kind k) { return k == Kind::Vcd ? 352 : 480; }
int PictureHeight(Kind k, bool pal) { return k == Kind::Vcd ? (pal ? 288 : 240) : (pal ? 576 : 480); }
constexpr int kSoundRate = 48000;  // as a DVD's sound comes from the data object

// The first pictures of a title scaled by ffmpeg to the disc's size, and their sound, in
// files of the test's scratch folder: pictures are read back one at a time, since a title
// of SVCD pictures held at once would take hundreds of megabytes.
class Source {
 public:
  Source(const Title& t, Kind kind, int pictures, const fs::path& folder)
      : w_(PictureWidth(kind)), h_(PictureHeight(kind, t.pal)), fps_(t.fps) {
    const std::string base = (folder / (t.name + "-" + KindName(kind))).string();
    const std::string yuv = base + ".yuv", pcm = base + ".pcm";
    const ProcessResult r = RunAll({"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", t.vobs, "-map", "0:v:0",
                                    "-frames:v", std::to_string(pictures), "-vf",
                                    "scale=" + std::to_string(w_) + ":" + std::to_string(h_), "-fps_mode",
                                    "passthrough", "-pix_fmt", "yuv420p", "-f", "rawvideo", yuv, "-map", "0:a:0",
                                    "-t", std::to_string((pictures + 2) / fps_), "-ac", "2", "-ar",
                                    std::to_string(kSoundRate), "-f", "s16le", pcm});
    EXPECT_EQ(r.status, 0) << r.out;
    fd_ = open(yuv.c_str(), O_RDONLY | O_CLOEXEC);
    pictures_ = fd_ < 0 ? 0 : static_cast<int>(fs::file_size(yuv) / PictureBytes());
    EXPECT_EQ(pictures_, pictures) << "the title is shorter than the test needs";
    std::ifstream in(pcm, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    sound_.resize(bytes.size() / 2);
    std::memcpy(sound_.data(), bytes.data(), sound_.size() * 2);
  }
  ~Source() {
    if (fd_ >= 0) close(fd_);
  }
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;

  int width() const { return w_; }
  int height() const { return h_; }
  double fps() const { return fps_; }
  int pictures() const { return pictures_; }
  std::size_t PictureBytes() const { return static_cast<std::size_t>(w_) * h_ * 3 / 2; }

  // Picture n (from 0) as Y, U and V planes one after another.
  void Read(int n, std::vector<std::uint8_t>* out) const {
    out->assign(PictureBytes(), 0);
    const ssize_t got = pread(fd_, out->data(), out->size(), static_cast<off_t>(n * PictureBytes()));
    EXPECT_EQ(got, static_cast<ssize_t>(out->size())) << "picture " << n;
  }
  // The sound that goes with picture n: 16-bit stereo, whatever the file has of it.
  std::pair<const std::int16_t*, int> Sound(int n) const {
    const auto frame = [&](int k) {
      return std::min<std::size_t>(sound_.size() / 2, static_cast<std::size_t>(std::llround(k * kSoundRate / fps_)));
    };
    const std::size_t first = frame(n), next = frame(n + 1);
    return {sound_.data() + 2 * first, static_cast<int>((next - first) * 4)};
  }

 private:
  int w_, h_;
  double fps_;
  int fd_ = -1;
  int pictures_ = 0;
  std::vector<std::int16_t> sound_;
};

void Configure(IMpegEnc* e, Kind kind, const Source& s, const std::string& path) {
  Bstr p(path);
  const bool vcd = kind == Kind::Vcd;
  e->SetOutputFile(p.get());
  e->SetParameter10(vcd ? 1 : 3);
  e->SetParameter12(vcd ? 1 : 3);
  e->SetWidth(s.width());
  e->SetHeight(s.height());
  e->SetFrameRate(s.fps());
  e->SetSampleRate(kSoundRate);
  e->SetParameter26(20);
  e->SetParameter22(0);
  e->SetParameter44(1);
  if (!vcd) e->SetParameter32(2376);
  e->SetParameter34(2600);
  e->SetParameter42(vcd ? 1.4 : 5.6);
}

// Every call of the conversion thread's loop and what it answered: EncodeFrame,
// GetFileSize, and SizeLimitReached when the size reached the limit, then Finish.
struct Calls {
  std::vector<HRESULT> results;
  std::vector<double> sizes;     // answered after each picture
  std::vector<int> splitsAfter;  // pictures given when SizeLimitReached was called
  int given = 0;                 // pictures EncodeFrame took
  int firstFailure = -1;         // index in results
  std::string error;             // the first failure's text
  HRESULT finish = E_UNEXPECTED;
  std::string finishError;
  double finishSeconds = 0;
  bool startFailed = false;
};

// The run of `pictures` pictures of s as the conversion thread drives it, into path.
// After a failure it goes on for a few more pictures, as a caller that does not look
// would, to see that no later call answers success.
Calls Drive(Kind kind, const Source& s, int pictures, const std::string& path, bool serial, double limit = 1e9) {
  SerialServers mode(serial);
  Calls c;
  auto enc = outsidetest::Create<IMpegEnc>(CLSID_MpegEnc, IID_IMpegEnc);
  if (!enc) return c;
  Configure(enc.get(), kind, s, path);
  if (enc->Start() < 0) {
    c.startFailed = true;
    c.error = qcom::ErrorDescription(enc.get(), IID_IMpegEnc);
    return c;
  }
  auto note = [&](HRESULT hr) {
    c.results.push_back(hr);
    if (hr < 0 && c.firstFailure < 0) {
      c.firstFailure = static_cast<int>(c.results.size()) - 1;
      c.error = qcom::ErrorDescription(enc.get(), IID_IMpegEnc);
    }
  };
  std::vector<std::uint8_t> pic;
  int afterFailure = 0;
  for (int n = 0; n < pictures && afterFailure < 4; ++n) {
    if (c.firstFailure >= 0) ++afterFailure;
    s.Read(n, &pic);
    BYTE* y = pic.data();
    BYTE* u = y + s.width() * s.height();
    BYTE* v = u + s.width() * s.height() / 4;
    const auto [sound, soundBytes] = s.Sound(n);
    const HRESULT hr = enc->EncodeFrame(y, u, v, s.width(), s.height(), reinterpret_cast<INT_PTR>(sound), soundBytes);
    note(hr);
    if (hr >= 0) ++c.given;
    double size = 0;
    note(enc->GetFileSize(&size));
    c.sizes.push_back(size);
    if (size >= limit) {
      c.splitsAfter.push_back(n + 1);
      note(enc->SizeLimitReached());
    }
  }
  const auto began = std::chrono::steady_clock::now();
  c.finish = enc->Finish();
  c.finishSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  if (c.finish < 0) c.finishError = qcom::ErrorDescription(enc.get(), IID_IMpegEnc);
  return c;
}

// The decoded pictures of a file against the pictures given, one at a time as ffmpeg
// decodes them.
struct Judged {
  int pictures = 0;
  std::vector<int> misplaced;  // decoded pictures nearer another given picture than their own
  std::vector<double> psnr;    // luma PSNR of each decoded picture against its own
  bool lastIsLastGiven = false;
  double MeanPsnr() const {
    double sum = 0;
    for (double p : psnr) sum += p;
    return psnr.empty() ? 0 : sum / static_cast<double>(psnr.size());
  }
};

double LumaMse(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    sum += d * d;
  }
  return sum / static_cast<double>(n);
}

// Each decoded picture k is held against given pictures k-2 .. k+2: its own must be the
// nearest, so a picture lost, repeated or put out of order at a seam shows.
Judged Judge(const std::string& path, const Source& s, int given) {
  Judged j;
  int fds[2];
  if (pipe(fds) != 0) return j;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    execlp("ffmpeg", "ffmpeg", "-v", "error", "-nostdin", "-i", path.c_str(), "-map", "0:v:0", "-fps_mode",
           "passthrough", "-f", "rawvideo", "-pix_fmt", "yuv420p", "-", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  const std::size_t bytes = s.PictureBytes(), luma = static_cast<std::size_t>(s.width()) * s.height();
  std::vector<std::uint8_t> out(bytes), src;
  for (;;) {
    std::size_t got = 0;
    while (got < bytes) {
      const ssize_t n = read(fds[0], out.data() + got, bytes - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (got < bytes) break;
    const int k = j.pictures++;
    if (k >= given) continue;  // counted; more pictures than given is its own failure
    double own = 0, nearestOther = 1e30;
    std::vector<std::uint8_t> mine;
    s.Read(k, &mine);
    own = LumaMse(out.data(), mine.data(), luma);
    for (int m = std::max(0, k - 2); m <= std::min(given - 1, k + 2); ++m) {
      if (m == k) continue;
      s.Read(m, &src);
      // A neighbour that differs from the picture less than the coding does (a slow pan
      // of a still) cannot tell the order: only those that differ more take part.
      if (LumaMse(mine.data(), src.data(), luma) <= own) continue;
      nearestOther = std::min(nearestOther, LumaMse(out.data(), src.data(), luma));
    }
    if (own > nearestOther) j.misplaced.push_back(k);
    j.psnr.push_back(own <= 0 ? 100.0 : 10.0 * std::log10(255.0 * 255.0 / own));
    if (k == given - 1) j.lastIsLastGiven = own <= nearestOther;
  }
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "ffmpeg could not decode " << path;
  return j;
}

// A file plays: ffmpeg decodes all of it without a complaint, and it has sound. A file
// that a full disk cut short may end in a picture cut short, which ffmpeg names.
void ExpectPlays(const std::string& path, bool cutShort = false) {
  SCOPED_TRACE(path);
  ASSERT_TRUE(fs::exists(path));
  const ProcessResult r = RunAll({"ffmpeg", "-v", "error", "-nostdin", "-i", path, "-f", "null", "-"});
  EXPECT_EQ(r.status, 0);
  if (!cutShort) {
    EXPECT_EQ(r.out, "") << "ffmpeg's complaints";
  }
  const auto probe = Probe(path);
  ASSERT_FALSE(probe.is_null());
  EXPECT_TRUE(StreamOfType(probe, "audio")) << "no sound";
}

double PicturesInFile(const std::string& path) {
  const auto probe = Probe(path);
  const auto* v = probe.is_null() ? nullptr : StreamOfType(probe, "video");
  return v ? JsonNumber(*v, "nb_read_frames") : -1;
}

std::string PartPath(const std::string& first, std::size_t part) {
  if (part == 1) return first;
  const fs::path p(first);
  return (p.parent_path() / (p.stem().string() + "_" + std::to_string(part) + p.extension().string())).string();
}

class MpegParallelTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    ASSERT_TRUE(fs::exists(outsidetest::DetailedVideoTs() + "/VTS_01_1.VOB")) << "no detailed disc (target detailed_dvd)";
  }
  fs::path Folder() const { return fs::path(Path("x")).parent_path(); }
};

// ---- Quality --------------------------------------------------------------------------

// Every title of the detailed disc, as VCD and as SVCD, coded on the workers and serially:
// the same pictures in the same order, the same mean quality, and no picture much worse
// than the serial run's same picture (where runs of GOPs meet, a fresh encoder instance
// starts without the rate control's history).
TEST_F(MpegParallelTest, EveryTitleHasTheSerialRunsPicturesInOrderAndItsQuality) {
  Watchdog watchdog(std::chrono::seconds(kSanitized ? 1500 : 500), "The quality runs");
  const std::vector<Title> titles = DetailedTitles();
  ASSERT_FALSE(titles.empty());
  for (const Title& t : titles) {
    for (Kind kind : {Kind::Vcd, Kind::Svcd}) {
      SCOPED_TRACE(t.name + " " + KindName(kind));
      // Whole GOPs and some: enough runs of GOPs for several seams on eight processors.
      const int pictures = t.Pictures(kSanitized ? 12 : 24);
      const std::size_t gop = t.pal ? 15 : 18;
      const Source source(t, kind, pictures, Folder());
      ASSERT_EQ(source.pictures(), pictures);
      Judged judged[2];  // [serial]
      for (bool serial : {true, false}) {
        const std::string path = Path(t.name + (serial ? "-serial.mpg" : "-parallel.mpg"));
        const Calls c = Drive(kind, source, pictures, path, serial);
        ASSERT_EQ(c.error, "") << (serial ? "serial" : "parallel");
        ASSERT_EQ(c.finish, S_OK) << c.finishError;
        judged[serial] = Judge(path, source, pictures);
        const Judged& j = judged[serial];
        EXPECT_EQ(j.pictures, pictures) << (serial ? "serial" : "parallel") << ": another picture count";
        EXPECT_TRUE(j.misplaced.empty()) << (serial ? "serial" : "parallel") << ": " << j.misplaced.size()
                                         << " pictures out of place, the first is " << j.misplaced.front();
      }
      const Judged& serial = judged[1];
      const Judged& parallel = judged[0];
      // The groups open at the same pictures and count on across the seams: where runs
      // meet and whatever their encoder instances coded before.
      const std::vector<std::int64_t> serialGroups = quill_test::GroupTimeCodes(Path(t.name + "-serial.mpg"));
      ASSERT_GE(serialGroups.size(), 2u);
      EXPECT_EQ(serialGroups.front(), 0);
      EXPECT_EQ(quill_test::GroupTimeCodes(Path(t.name + "-parallel.mpg")), serialGroups);
      std::printf("[ measured ] %s %s (%dx%d, %d pictures): mean luma PSNR serial %.3f dB, parallel %.3f dB\n",
                  t.name.c_str(), KindName(kind), source.width(), source.height(), pictures, serial.MeanPsnr(),
                  parallel.MeanPsnr());
      EXPECT_GT(serial.MeanPsnr(), 20.0) << "the serial run itself is poor";
      EXPECT_NEAR(parallel.MeanPsnr(), serial.MeanPsnr(), 0.1);
      // Where runs of GOPs meet, an encoder instance starts without the rate control's
      // history; a seam that starves the pictures after it shows as a GOP well below the
      // serial run's same GOP. Where the seams are is the encoder's business: every GOP's
      // length of pictures is held to it. Single pictures are not: once the rate control's
      // path parts from the serial run's, a picture here and there differs by several dB
      // either way, far from any seam too, while a GOP's mean stays within about 0.9 dB.
      const std::size_t count = std::min(serial.psnr.size(), parallel.psnr.size());
      double worstPicture = 0, worstGop = 0;
      int worstGopAt = -1;
      for (std::size_t k = 0; k < count; ++k) worstPicture = std::max(worstPicture, serial.psnr[k] - parallel.psnr[k]);
      for (std::size_t g = 0; (g + 1) * gop <= count; ++g) {
        double drop = 0;
        for (std::size_t k = g * gop; k < (g + 1) * gop; ++k) drop += serial.psnr[k] - parallel.psnr[k];
        drop /= gop;
        if (drop > worstGop) {
          worstGop = drop;
          worstGopAt = static_cast<int>(g * gop);
        }
      }
      std::printf("[ measured ] %s %s: below the serial run by at most %.3f dB in a GOP, %.3f dB in a picture\n",
                  t.name.c_str(), KindName(kind), worstGop, worstPicture);
      EXPECT_LE(worstGop, 1.0) << "the GOP from picture " << worstGopAt << " (counted from 0) is " << worstGop
                               << " dB below the serial run's";
    }
  }
}

// ---- Splitting at the size limit ------------------------------------------------------

TEST_F(MpegParallelTest, AtALimitOf3MegabytesThePartsSplitAtTheSerialRunsPicturesAndEachPlays) {
  Watchdog watchdog(std::chrono::seconds(kSanitized ? 1200 : 400), "The split runs");
  const std::vector<Title> titles = DetailedTitles();
  ASSERT_FALSE(titles.empty());
  const Title& t = titles.front();
  const double limit = 3;  // megabytes of 1048576 bytes; an SVCD second is about 0.3 MB
  const int pictures = t.Pictures(kSanitized ? 24 : 40);
  const Source source(t, Kind::Svcd, pictures, Folder());
  ASSERT_EQ(source.pictures(), pictures);
  const Calls serial = Drive(Kind::Svcd, source, pictures, Path("serial.mpg"), true, limit);
  const Calls parallel = Drive(Kind::Svcd, source, pictures, Path("parallel.mpg"), false, limit);
  ASSERT_EQ(serial.error, "");
  ASSERT_EQ(parallel.error, "");
  ASSERT_EQ(serial.finish, S_OK) << serial.finishError;
  ASSERT_EQ(parallel.finish, S_OK) << parallel.finishError;
  ASSERT_GE(serial.splitsAfter.size(), 2u) << "the run is too short to split twice";
  EXPECT_EQ(parallel.splitsAfter, serial.splitsAfter);
  EXPECT_EQ(parallel.results, serial.results);
  // Answered whatever the workers' timing: the same numbers, not merely the same splits.
  ASSERT_EQ(parallel.sizes.size(), serial.sizes.size());
  for (std::size_t n = 0; n < serial.sizes.size(); ++n)
    ASSERT_EQ(parallel.sizes[n], serial.sizes[n]) << "the size answered after picture " << n + 1;

  std::vector<int> bounds = parallel.splitsAfter;
  bounds.insert(bounds.begin(), 0);
  bounds.push_back(pictures);
  for (std::size_t part = 1; part < bounds.size(); ++part) {
    const std::string path = PartPath(Path("parallel.mpg"), part);
    SCOPED_TRACE(path);
    ASSERT_TRUE(fs::exists(path));
    EXPECT_LT(fs::file_size(path), limit * 1048576);
    std::printf("[ measured ] part %zu: %d pictures, %.0f %% of the limit\n", part, bounds[part] - bounds[part - 1],
                100.0 * static_cast<double>(fs::file_size(path)) / (limit * 1048576));
    ASSERT_NO_FATAL_FAILURE(ExpectPlays(path));
    EXPECT_EQ(PicturesInFile(path), bounds[part] - bounds[part - 1]) << "the pictures given to the part";
  }
  EXPECT_FALSE(fs::exists(PartPath(Path("parallel.mpg"), bounds.size())));
}

// ---- Stop -----------------------------------------------------------------------------

// Stopped early in the first run of GOPs, in the middle, and just after a GOP boundary
// (PAL GOPs are of 15 pictures: 181 is the first picture of the thirteenth): Finish
// returns soon, and the file plays to the last picture given.
TEST_F(MpegParallelTest, AStopAnywhereEndsSoonWithEveryPictureGivenPlayable) {
  Watchdog watchdog(std::chrono::seconds(kSanitized ? 900 : 300), "The stopped runs");
  const std::vector<Title> titles = DetailedTitles();
  ASSERT_FALSE(titles.empty());
  const Title& t = titles.front();
  for (Kind kind : {Kind::Vcd, Kind::Svcd}) {
    const Source source(t, kind, 181, Folder());
    ASSERT_EQ(source.pictures(), 181);
    for (int stopAt : {7, 100, 181}) {
      SCOPED_TRACE(std::string(KindName(kind)) + ", stopped after " + std::to_string(stopAt));
      const std::string path = Path(std::string("stop-") + KindName(kind) + std::to_string(stopAt) + ".mpg");
      const Calls c = Drive(kind, source, stopAt, path, false);
      ASSERT_EQ(c.error, "");
      ASSERT_EQ(c.finish, S_OK) << c.finishError;
      std::printf("[ measured ] %s stopped after %d pictures: Finish took %.3f s\n", KindName(kind), stopAt,
                  c.finishSeconds);
      if (!kSanitized) {
        EXPECT_LE(c.finishSeconds, kFinishBoundSeconds);
      }
      ASSERT_NO_FATAL_FAILURE(ExpectPlays(path));
      const Judged j = Judge(path, source, stopAt);
      EXPECT_EQ(j.pictures, stopAt);
      EXPECT_TRUE(j.misplaced.empty()) << j.misplaced.size() << " pictures out of place";
      EXPECT_TRUE(j.lastIsLastGiven) << "the last picture decoded is not the last given";
    }
  }
}

// ---- Failures -------------------------------------------------------------------------

// What a run in a child process saw, written for the parent to judge.
struct FaultReport {
  int given = 0, calls = 0, firstFailure = -1;
  long firstHr = 0, finishHr = 0;
  int laterSuccesses = 0;  // calls after the first failure that answered success
  std::string error, finishError;

  void Write(const std::string& path) const {
    std::ofstream out(path);
    out << given << ' ' << calls << ' ' << firstFailure << ' ' << firstHr << ' ' << finishHr << ' '
        << laterSuccesses << '\n'
        << error << '\n'
        << finishError << '\n';
  }
  static FaultReport Read(const std::string& path) {
    FaultReport r;
    std::istringstream in(quill_test::ReadFile(path));
    in >> r.given >> r.calls >> r.firstFailure >> r.firstHr >> r.finishHr >> r.laterSuccesses;
    in.ignore(1);
    std::getline(in, r.error);
    std::getline(in, r.finishError);
    return r;
  }
};

// Runs `run` in a child process, which reports to `report`; a child that has not ended
// within `limit` hangs and is killed. True when it ended by itself.
bool RunInChild(const std::function<FaultReport()>& run, const std::string& report, std::chrono::seconds limit) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    run().Write(report);
    _exit(0);
  }
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool ended = false;
  while (!(ended = waitpid(pid, &status, WNOHANG) == pid) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ADD_FAILURE() << "the run did not end within " << limit.count() << " s: it hangs";
    return false;
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the encoding process died";
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

FaultReport ReportOf(const Calls& c) {
  FaultReport r;
  r.given = c.given;
  r.calls = static_cast<int>(c.results.size());
  r.firstFailure = c.firstFailure;
  r.firstHr = c.firstFailure >= 0 ? c.results[c.firstFailure] : 0;
  r.finishHr = c.finish;
  for (std::size_t i = c.firstFailure < 0 ? c.results.size() : c.firstFailure; i < c.results.size(); ++i)
    r.laterSuccesses += c.results[i] >= 0;
  r.error = c.error;
  r.finishError = c.finishError;
  return r;
}

// The run failed and said so at every call from its failure on, Finish included, with
// one reason; the file holds pictures given before the failure, in order, and plays.
void ExpectFailedRunWithPlayableFile(const FaultReport& r, const std::string& path, const Source& source,
                                     const std::string& reason, bool cutShort) {
  // Finish is the next call when the failure came while it joined the last pictures.
  EXPECT_LT(r.finishHr, 0) << "Finish answered success";
  EXPECT_EQ(r.laterSuccesses, 0) << "a call after the failure answered success";
  const std::string& said = r.firstFailure >= 0 ? r.error : r.finishError;
  EXPECT_NE(said, "") << "the failure has no text";
  EXPECT_NE(said.find(reason), std::string::npos) << said;
  if (r.firstFailure >= 0) {
    EXPECT_EQ(r.finishError, r.error) << "Finish gives another reason";
  }
  ASSERT_NO_FATAL_FAILURE(ExpectPlays(path, cutShort));
  const Judged j = Judge(path, source, r.given);
  EXPECT_GE(j.pictures, 1) << "nothing written before the failure plays";
  // A file cut where the disk filled up can end in the middle of a picture's packs: the
  // players conceal the rest of that one from the picture before, so only it may look
  // like its neighbour.
  std::vector<int> misplaced = j.misplaced;
  if (cutShort && !misplaced.empty() && misplaced.back() == j.pictures - 1) misplaced.pop_back();
  EXPECT_TRUE(misplaced.empty()) << misplaced.size() << " pictures out of place, the first is " << (misplaced.empty() ? -1 : misplaced.front());
  EXPECT_GT(j.MeanPsnr(), 20.0) << "the pictures written are damaged";
  std::printf("[ measured ] %s: %d pictures given, the first failure at call %d, %d pictures in the file\n",
              fs::path(path).filename().c_str(), r.given, r.firstFailure, j.pictures);
}

// The disk fills up in the middle of an SVCD run on the workers (a file-size limit of
// the process makes writes past it fail).
TEST_F(MpegParallelTest, AFullDiskMidRunIsReportedNeverAsSuccessAndTheFileWrittenPlays) {
  const Title t = DetailedTitles().at(0);
  const int pictures = 400;  // 16 s; the limit comes after about 5
  const Source source(t, Kind::Svcd, pictures, Folder());
  ASSERT_EQ(source.pictures(), pictures);
  const std::string path = Path("full.mpg"), report = Path("full.txt");
  constexpr rlim_t kLimit = 1500000;
  const bool ended = RunInChild(
      [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{kLimit, kLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        return ReportOf(Drive(Kind::Svcd, source, pictures, path, false));
      },
      report, std::chrono::seconds(kSanitized ? 600 : 120));
  ASSERT_TRUE(ended);
  const FaultReport r = FaultReport::Read(report);
  EXPECT_LE(fs::file_size(path), kLimit);
  ExpectFailedRunWithPlayableFile(r, path, source, "File too large", true);
}

// An encoder instance that fails in the middle of the run (QUILLMERE_TEST_FAIL_PICTURE
// makes the one given that picture fail), on the workers and serially.
TEST_F(MpegParallelTest, AnEncoderInstanceFailingMidRunIsReportedNeverAsSuccessAndTheFileWrittenPlays) {
  const Title t = DetailedTitles().at(0);
  struct Case {
    Kind kind;
    bool serial;
    int failAt;  // counted from 1
  };
  for (const Case c : {Case{Kind::Svcd, false, 300}, Case{Kind::Vcd, false, 301}, Case{Kind::Svcd, true, 300}}) {
    const std::string what = std::string(KindName(c.kind)) + (c.serial ? " serial" : " parallel");
    SCOPED_TRACE(what + ", picture " + std::to_string(c.failAt) + " fails");
    const int pictures = c.failAt + 100;
    const Source source(t, c.kind, pictures, Folder());
    ASSERT_EQ(source.pictures(), pictures);
    const std::string path = Path("fail-" + std::string(KindName(c.kind)) + (c.serial ? "-serial" : "") + ".mpg");
    const std::string report = path + ".txt";
    const bool ended = RunInChild(
        [&] {
          setenv("QUILLMERE_TEST_FAIL_PICTURE", std::to_string(c.failAt).c_str(), 1);
          return ReportOf(Drive(c.kind, source, pictures, path, c.serial));
        },
        report, std::chrono::seconds(kSanitized ? 600 : 120));
    ASSERT_TRUE(ended);
    const FaultReport r = FaultReport::Read(report);
    ExpectFailedRunWithPlayableFile(r, path, source, "", false);
    // No picture from the failing one on can have been written.
    EXPECT_LT(PicturesInFile(path), c.failAt);
  }
}

}  // namespace
