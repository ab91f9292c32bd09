// The program converting each title of the detailed disc (tools/make-sample-dvd --detailed):
// the detailed 60 s 16:9 PAL title and the smooth, camera-like 60 s 4:3 NTSC one, to VCD,
// SVCD and DivX, beside ffmpeg making the same kind of file from the same VOB in the same
// run, with its default threads and with one thread:
// - the conversion thread alone, started as the conversion window starts it, in this
//   process on the headless backend; it also says how much of the processor time is our
//   own code (the thread and PICTUREUTL) as opposed to the servers outside the program,
//   whose calls are timed by wrapping their objects;
// - the whole program road: the program on a private X server with the SDL2 backend,
//   driven through its windows, from the click on OK to the encoder's last write. The gap
//   between the two is time the program's GUI thread costs the conversion.
// Prints, for each title, the ratios beside their goals and the program's peak memory, and
// the processor count. Each run stands alone: ffmpeg's DivX is asked for our codec's
// default rate, not for the rate of an earlier run of ours.
#include <benchmark/benchmark.h>

#include <outside/dvd.h>
#include <outside/encoders.h>
#include <zentra/picture_util.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include <com/comptr.h>
#include <com/strings.h>
#include <vcl/forms.h>

#include "convert.h"
#include "cvtthread.h"
#include "preview.h"
#include "program_road.h"
#include "server_slots.h"
#include "server_wrapping.h"
#include "xvfb.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path BuildDir() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path(); }
fs::path DiscFolder() { return BuildDir() / "detailed-dvd"; }
std::string Disc() { return (DiscFolder() / "VIDEO_TS").string(); }
std::string Scratch(const std::string& name) { return (fs::temp_directory_path() / name).string(); }

// --- Time spent inside the outside servers ------------------------------------------
// Each object the thread creates is wrapped (server_wrapping.h) so that its per-picture
// methods are timed in processor time of the calling thread.
using wrapping::ThreadCpuNs;

long long ProcessCpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

std::atomic<long long> g_outsideNs{0};
// PICTUREUTL's part of our own time, timed the same way.
std::atomic<long long> g_pictureServerNs{0};
// The conversion thread's processor time from the DVD data object's creation (the
// run's first step) to its release (the last).
std::atomic<long long> g_runStartNs{0}, g_runEndNs{0};
// The wrapped classes' tags.
constexpr int kDataTag = 1, kMpegTag = 2, kAviTag = 3, kPainterTag = 4, kPictureServerTag = 5;

void Charge(int tag, long long since) {
  (tag == kPictureServerTag ? g_pictureServerNs : g_outsideNs) += ThreadCpuNs() - since;
}
template <int Tag>
void ChargeTo(long long since) {
  Charge(Tag, since);
}
// Making and destroying the objects is the servers' work too.
void Created(int tag, long long since) {
  if (tag == kDataTag) g_runStartNs = since;
  Charge(tag, since);
}
void Released(int tag, long long since, bool destroyed) {
  Charge(tag, since);
  if (destroyed && tag == kDataTag) g_runEndNs = ThreadCpuNs();
}

// Each watched method of a server, timed and charged to its tag.
template <int Tag, class... S>
void Time(void** table) {
  (wrapping::Hook<Tag, S>(table, ThreadCpuNs, ChargeTo<Tag>), ...);
}

void InstallData(void** t) {
  using namespace slots;
  Time<kDataTag, DataOpen, DataSeek, DataReadFrame, DataGetPosition, DataClose>(t);
}
void InstallMpeg(void** t) {
  using namespace slots;
  Time<kMpegTag, MpegStart, MpegEncodeFrame, MpegGetFileSize, MpegSizeLimitReached, MpegFinish>(t);
}
void InstallAvi(void** t) {
  using namespace slots;
  Time<kAviTag, AviStart, AviGetFileSize, AviWriteFrame, AviSizeLimitReached, AviFinish>(t);
}
void InstallPictureServer(void** t) {
  Time<kPictureServerTag, slots::PicturesYuvPlanesToDib, slots::PicturesResizeYuvPlanes>(t);
}
void InstallPainter(void** t) { Time<kPainterTag, slots::PainterOpen, slots::PainterShowFrame>(t); }

// --- The disc -----------------------------------------------------------------------
// The titles of the detailed disc that are converted, counted from 0.
struct TitleCase {
  int index;
  const char* name;
};
constexpr TitleCase kTitles[] = {{0, "detailed 16:9 PAL title"}, {1, "smooth 4:3 NTSC title"}};
const char* const kNames[] = {"VCD", "SVCD", "DivX"};

struct Title {
  int index = 0;
  int start = 0, end = 0, width = 0, height = 0;
  double seconds = 0, fps = 25;
};

// Title `index` read as the options dialog reads it; no seconds when the disc lacks it.
Title ReadTitle(int index) {
  Title c;
  c.index = index;
  ComPtr<IDVDInfObj> info;
  CoCreateInstance(CLSID_DVDInfObj, nullptr, CLSCTX_ALL, IID_IDVDInfObj, info.put_void());
  Bstr folder(Disc());
  INT titles = 0, value = 0, chapters = 0;
  if (!info || info->OpenDvd(folder.get()) < 0 || info->GetTitleCount(&titles) < 0 || index >= titles) return c;
  info->SelectTitle(index);
  info->QueryTitle(index, &value);
  info->SelectProgramChain(0);
  info->GetChapterCount(&chapters);
  if (chapters <= 0) return c;
  info->GetChapterStart(0, &c.start);
  info->GetChapterEnd(chapters - 1, &c.end);
  info->GetPictureWidth(&c.width);
  info->GetPictureHeight(&c.height);
  for (INT i = 0; i < chapters; ++i) {
    double s = 0;
    info->GetChapterSeconds(i, &s);
    c.seconds += s;
  }
  c.fps = c.height == 480 ? 29.97 : 25;
  return c;
}

// The detailed disc has one title per title set, in order.
std::string TitleVobs(const Title& t) {
  std::string list;
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "VTS_%02d_", t.index + 1);
  for (int part = 1; part < 10; ++part) {
    const fs::path vob = fs::path(Disc()) / (prefix + std::to_string(part) + ".VOB");
    if (!fs::exists(vob)) break;
    list += (list.empty() ? "concat:" : "|") + vob.string();
  }
  return list;
}

INT DivxCodec() {
  ComPtr<IAVIEncode> list;
  CoCreateInstance(CLSID_AVIEncode, nullptr, CLSCTX_ALL, IID_IAVIEncode, list.put_void());
  INT id = -1;
  if (list) list->GetCodecId(0, &id);  // "DIVX MPEG-4" comes first
  return id;
}

// The picture rate ffmpeg's DivX file is asked for: our encoder's default for the MPEG-4
// codecs, 1.5 Mbit/s at 720x576 scaled with the picture area, so that ffmpeg's run needs
// nothing from ours. Our file's own rate is measured in the thread's run and shown beside.
long long DivxPictureRate(const Title& t) {
  return static_cast<long long>(std::llround(1500000.0 * t.width * t.height / (720.0 * 576.0)));
}

// What the runs measured, by title and kind (and ffmpeg's threads): mean seconds of a run.
using Key = std::pair<int, int>;
std::map<Key, double> g_threadSeconds, g_roadSeconds;
std::map<std::tuple<int, int, int>, double> g_ffmpegSeconds;

struct Counters {
  int pictures = 0;
  double ownShare = 0, ownUsPerPicture = 0, pictureServerUsPerPicture = 0;
};
std::map<Key, Counters> g_counters;
// By title: our DivX file's picture rate (bit/s) and both DivX files' sizes.
std::map<int, long long> g_divxVideoRate;
std::map<int, std::uintmax_t> g_divxBytes, g_ffmpegDivxBytes;

// The first line a command prints.
std::string FirstLine(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[256];
    if (fgets(buf, sizeof buf, p)) out = buf;
    pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// The rate of a file's pictures: its whole rate less that of its sound.
long long VideoRate(const std::string& path) {
  const double seconds = std::atof(
      FirstLine("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "'").c_str());
  const double sound = std::atof(
      FirstLine("ffprobe -v error -select_streams a:0 -show_entries stream=bit_rate -of csv=p=0 '" + path + "'")
          .c_str());
  if (seconds <= 0) return 0;
  return static_cast<long long>(static_cast<double>(fs::file_size(path)) * 8 / seconds - sound);
}

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// --- The conversion thread alone ----------------------------------------------------
void Thread(benchmark::State& state) {
  const int titleIndex = static_cast<int>(state.range(0)), kind = static_cast<int>(state.range(1));
  const Title title = ReadTitle(titleIndex);
  if (title.seconds <= 0) {
    state.SkipWithError("no such title on the detailed disc (target detailed_dvd)");
    return;
  }
  TConversionSettings s;
  s.dvdPath = Disc();
  s.outputFile = Scratch(kind == 2 ? "quill-bench-thread.avi" : "quill-bench-thread.mpg");
  s.startPosition = title.start;
  s.endPosition = title.end;
  s.title = title.index;
  s.frameRate = title.fps;
  s.sampleRate = kind == 1 ? 48000 : 44100;
  s.sourceWidth = title.width;
  s.sourceHeight = title.height;
  s.kind = kind;
  s.codec = kind == 2 ? DivxCodec() : 0;
  s.outputWidth = kind == 0 ? 352 : kind == 1 ? 480 : title.width;
  s.outputHeight = kind == 0 ? (title.height == 480 ? 240 : 288) : title.height;
  s.lameBitrate = 192;
  s.lameQuality = 3;
  long long process = 0, own = 0, pictureServer = 0;
  double seconds = 0;
  int pictures = 0, runs = 0;
  for (auto _ : state) {
    g_outsideNs = 0;
    g_pictureServerNs = 0;
    const long long cpu0 = ProcessCpuNs();
    const Clock::time_point start = Clock::now();
    frmConvert->StartThread(s);
    TConvertThread* t = frmConvert->LastThread();
    while (!t->Finished()) {
      TThread::CheckSynchronize();
      TThread::WaitForSyncSignal(5);
    }
    TThread::CheckSynchronize();
    seconds += SecondsSince(start);
    process += ProcessCpuNs() - cpu0;
    own += g_runEndNs - g_runStartNs - g_outsideNs;
    pictureServer += g_pictureServerNs.load();
    pictures = t->Pictures();
    if (t->Outcome() != TConvertOutcome::Completed) {
      state.SkipWithError("the conversion failed");
      break;
    }
    ++runs;
  }
  if (runs == 0) return;
  const Key key{titleIndex, kind};
  g_threadSeconds[key] = seconds / runs;
  Counters& c = g_counters[key];
  c.pictures = pictures;
  if (process > 0 && pictures > 0) {
    c.ownShare = double(own) / double(process);
    c.ownUsPerPicture = double(own) / 1000.0 / runs / pictures;
    c.pictureServerUsPerPicture = double(pictureServer) / 1000.0 / runs / pictures;
  }
  state.counters["pictures"] = pictures;
  state.counters["own_share_%"] = 100 * c.ownShare;
  state.counters["cpu_s"] = process / 1e9 / runs;
  if (kind == 2 && fs::exists(s.outputFile)) {
    g_divxVideoRate[titleIndex] = VideoRate(s.outputFile);
    g_divxBytes[titleIndex] = fs::file_size(s.outputFile);
  }
  fs::remove(s.outputFile);
}

// --- The whole program road ---------------------------------------------------------
XvfbServer* g_xvfb = nullptr;
std::string g_xvfbFailure;
std::map<Key, long> g_peakKilobytes;
std::map<Key, std::vector<std::string>> g_roadFailures;

void Road(benchmark::State& state) {
  const int titleIndex = static_cast<int>(state.range(0)), kind = static_cast<int>(state.range(1));
  const Key key{titleIndex, kind};
  if (!g_xvfb) {
    state.SkipWithError(("no X server: " + g_xvfbFailure).c_str());
    return;
  }
  const int button = kind == 0 ? 6 : kind == 1 ? 7 : 4;  // the main window's VCD, SVCD, DivX
  double cpu = 0, seconds = 0;
  int finished = 0;
  for (auto _ : state) {
    const RoadRun r = RunProgramRoad(button, titleIndex, DiscFolder(), g_xvfb->Display());
    g_peakKilobytes[key] = std::max(g_peakKilobytes[key], r.peakKilobytes);
    if (r.seconds <= 0) {
      // Said at the end; the other runs still count.
      g_roadFailures[key].push_back(r.failure);
      state.SetIterationTime(0);
      continue;
    }
    state.SetIterationTime(r.seconds);
    seconds += r.seconds;
    cpu += r.cpuSeconds;
    ++finished;
  }
  if (finished == 0) {
    state.SkipWithError("no run of the program finished");
    return;
  }
  // The time of the runs that finished.
  g_roadSeconds[key] = seconds / finished;
  state.counters["cpu_s"] = cpu / finished;
  state.counters["peak_MB"] = g_peakKilobytes[key] / 1024.0;
}

// --- ffmpeg making the same kind of file ---------------------------------------------
void Ffmpeg(benchmark::State& state) {
  const int titleIndex = static_cast<int>(state.range(0)), kind = static_cast<int>(state.range(1));
  const int threadCount = static_cast<int>(state.range(2));
  const std::string threads = std::to_string(threadCount);
  const Title title = ReadTitle(titleIndex);
  if (title.seconds <= 0) {
    state.SkipWithError("no such title on the detailed disc (target detailed_dvd)");
    return;
  }
  const std::string input = TitleVobs(title);
  const bool ntsc = title.height == 480;
  const std::string out = Scratch(kind == 2 ? "quill-bench-ffmpeg.avi" : "quill-bench-ffmpeg.mpg");
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-threads", threads, "-i", input};
  if (kind == 0) args.insert(args.end(), {"-target", ntsc ? "ntsc-vcd" : "pal-vcd"});
  if (kind == 1) args.insert(args.end(), {"-target", ntsc ? "ntsc-svcd" : "pal-svcd"});
  if (kind == 2)
    args.insert(args.end(), {"-map", "0:v:0", "-map", "0:a:0", "-c:v", "mpeg4", "-vtag", "DIVX", "-b:v",
                             std::to_string(DivxPictureRate(title)), "-c:a", "libmp3lame", "-b:a", "192k", "-ar",
                             "44100", "-ac", "2", "-f", "avi"});
  args.insert(args.end(), {"-threads", threads, out});
  double seconds = 0;
  int runs = 0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execvp("ffmpeg", argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    seconds += SecondsSince(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("ffmpeg failed");
      break;
    }
    ++runs;
  }
  if (runs > 0) g_ffmpegSeconds[{titleIndex, kind, threadCount}] = seconds / runs;
  if (kind == 2 && fs::exists(out)) g_ffmpegDivxBytes[titleIndex] = fs::file_size(out);
  fs::remove(out);
}

// Each kind's runs of ours sit between ffmpeg's of the same title and kind: this machine's
// speed drifts over minutes (ffmpeg's own times by some tenths of a second), and a ratio is
// only as good as the likeness of the moments its two times were taken in.
void RegisterInterleaved() {
  for (int title : {0, 1})
    for (int kind : {0, 1, 2}) {
      // Threads 0 lets ffmpeg choose; 1 keeps it to one thread.
      auto ffmpeg = [&](int threads) {
        benchmark::RegisterBenchmark("Ffmpeg", Ffmpeg)
            ->ArgNames({"title", "kind", "threads"})
            ->Args({title, kind, threads})
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(3);
      };
      ffmpeg(0);
      benchmark::RegisterBenchmark("Thread", Thread)
          ->ArgNames({"title", "kind"})
          ->Args({title, kind})
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->Iterations(3);
      benchmark::RegisterBenchmark("Road", Road)
          ->ArgNames({"title", "kind"})
          ->Args({title, kind})
          ->Unit(benchmark::kMillisecond)
          ->UseManualTime()
          ->Iterations(3);
      ffmpeg(1);
    }
}

// The goals, against ffmpeg with its default threads.
constexpr double kRoadGoal = 0.8, kThreadGoal = 0.6;

template <class M, class K>
double Found(const M& m, const K& k) {
  const auto it = m.find(k);
  return it == m.end() ? 0.0 : it->second;
}

// " (goal at most 0.60: met)" beside a ratio against ffmpeg's default threads.
std::string Goal(int threads, double ratio, double goal) {
  if (threads != 0) return "";
  char text[64];
  std::snprintf(text, sizeof text, "  (goal at most %.2f: %s)", goal, ratio <= goal ? "met" : "missed");
  return text;
}

void PrintRatios() {
  std::printf("\n%u processors\n", std::thread::hardware_concurrency());
  std::printf("goal: the program road at most %.2f of ffmpeg's time with its default threads, the thread alone %.2f\n",
              kRoadGoal, kThreadGoal);
  for (const TitleCase& tc : kTitles) {
    const Title title = ReadTitle(tc.index);
    std::printf("\n%s (title %d, %dx%d, %.2f pictures a second, %.1f s):\n", tc.name, tc.index + 1, title.width,
                title.height, title.fps, title.seconds);
    for (int kind = 0; kind < 3; ++kind) {
      const Key key{tc.index, kind};
      const double thread = Found(g_threadSeconds, key), road = Found(g_roadSeconds, key);
      for (int threads : {0, 1}) {
        const double ffmpeg = Found(g_ffmpegSeconds, std::tuple{tc.index, kind, threads});
        if (ffmpeg <= 0) continue;
        if (thread > 0)
          std::printf("%-4s conversion thread / ffmpeg (threads %d): %.2f%s\n", kNames[kind], threads,
                      thread / ffmpeg, Goal(threads, thread / ffmpeg, kThreadGoal).c_str());
        if (road > 0)
          std::printf("%-4s program road / ffmpeg (threads %d):      %.2f%s\n", kNames[kind], threads, road / ffmpeg,
                      Goal(threads, road / ffmpeg, kRoadGoal).c_str());
      }
      if (thread > 0 && road > 0)
        std::printf("%-4s program road / conversion thread: %.2f (%.2f s against %.2f s)\n", kNames[kind],
                    road / thread, road, thread);
      for (const std::string& failure : g_roadFailures[key])
        std::printf("%-4s a run of the program failed: %s\n", kNames[kind], failure.c_str());
      if (g_peakKilobytes.count(key))
        std::printf("%-4s program's peak memory: %.0f MB\n", kNames[kind], g_peakKilobytes[key] / 1024.0);
      if (g_counters.count(key))
        std::printf("%-4s own code: %.1f%% of the processor time, %.0f us per picture, of them %.0f us in PICTUREUTL"
                    " (%d pictures)\n",
                    kNames[kind], 100 * g_counters[key].ownShare, g_counters[key].ownUsPerPicture,
                    g_counters[key].pictureServerUsPerPicture, g_counters[key].pictures);
    }
    if (g_divxBytes.count(tc.index) || g_ffmpegDivxBytes.count(tc.index))
      std::printf("DivX pictures: ffmpeg's at %.2f Mbit/s (our codec's default), ours came to %.2f Mbit/s; "
                  "our file %.1f MB, ffmpeg's %.1f MB\n",
                  DivxPictureRate(title) / 1e6, Found(g_divxVideoRate, tc.index) / 1e6,
                  Found(g_divxBytes, tc.index) / 1048576.0, Found(g_ffmpegDivxBytes, tc.index) / 1048576.0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Started again as the program of the program road.
  if (int code = 0; ProgramRoadChild(argc, argv, &code)) return code;
  setenv("QUILLMERE_BACKEND", "headless", 0);
  RegisterInterleaved();
  benchmark::Initialize(&argc, argv);
  if (const std::string wrong = slots::SlotMismatches(); !wrong.empty()) {
    std::fprintf(stderr, "bench/server_slots.h does not match the interfaces:\n%s", wrong.c_str());
    return 1;
  }
  XvfbServer xvfb;
  if (xvfb.Start(&g_xvfbFailure)) g_xvfb = &xvfb;
  CoInitialize(nullptr);
  InitApplication();
  Application->Initialize();
  TForm* mainForm = nullptr;
  Application->CreateForm(mainForm);
  Application->CreateForm(frmPreview);
  Application->CreateForm(frmConvert);
  frmConvert->Show();

  wrapping::g_created = Created;
  wrapping::g_released = Released;
  wrapping::WrappingFactory<kDataTag, slots::kDataSlots> data(CLSID_DVDDataObj, InstallData);
  wrapping::WrappingFactory<kMpegTag, slots::kMpegSlots> mpeg(CLSID_MpegEnc, InstallMpeg);
  wrapping::WrappingFactory<kAviTag, slots::kAviSlots> avi(CLSID_AVIEncode, InstallAvi);
  wrapping::WrappingFactory<kPainterTag, slots::kPainterSlots> painter(CLSID_PicShowObj, InstallPainter);
  wrapping::WrappingFactory<kPictureServerTag, slots::kPicturesSlots> pictures(CLSID_PICTUREUTL,
                                                                             InstallPictureServer);
  const DWORD cookies[] = {data.Register(CLSID_DVDDataObj), mpeg.Register(CLSID_MpegEnc),
                           avi.Register(CLSID_AVIEncode), painter.Register(CLSID_PicShowObj),
                           pictures.Register(CLSID_PICTUREUTL)};

  benchmark::RunSpecifiedBenchmarks();
  PrintRatios();
  RemoveProgramRoadFolder();
  for (DWORD c : cookies)
    if (c) CoRevokeClassObject(c);
  DoneApplication();
  CoUninitialize();
  benchmark::Shutdown();
  return 0;
}
