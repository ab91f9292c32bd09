// The program converting the detailed 60 s 16:9 PAL title (tools/make-sample-dvd
// --detailed) to VCD, SVCD and DivX, beside ffmpeg making the same kind of file from the
// same VOB in the same run, with its default threads and with one thread:
// - the conversion thread alone, started as the conversion window starts it, in this
//   process on the headless backend; it also says how much of the processor time is our
//   own code (the thread and PICTUREUTL) as opposed to the servers outside the program,
//   whose calls are timed by wrapping their objects;
// - the whole program road: the program on a private X server with the SDL2 backend,
//   driven through its windows, from the click on OK to the encoder's last write. The gap
//   between the two is time the program's GUI thread costs the conversion.
// Prints the ratios, the processor count and the program's peak memory.
#include <benchmark/benchmark.h>

#include "run_times_reporter.h"

#include <outside/dvd.h>
#include <outside/encoders.h>
#include <zentra/picture_util.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <com/comptr.h>
#include <com/strings.h>
#include <vcl/forms.h>

#include "convert.h"
#include "cvtthread.h"
#include "preview.h"
#include "program_road.h"
#include "server_wrapping.h"
#include "xvfb.h"

namespace {

namespace fs = std::filesystem;

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
constexpr int kDataTag = 1;
constexpr int kPictureServerTag = 5;

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

template <int Tag, int Slot, class Sig>
void Time(void** table) {
  wrapping::Hooked<Tag, Slot, Sig>::Install(table, ThreadCpuNs, ChargeTo<Tag>);
}

using Hr = HRESULT;
void InstallData(void** t) {
  Time<1, 27, Hr()>(t);
  Time<1, 28, Hr(INT)>(t);
  Time<1, 29, Hr(BYTE*, BYTE*, BYTE*, INT_PTR*, INT*)>(t);
  Time<1, 31, Hr(INT*)>(t);
  Time<1, 32, Hr()>(t);
}
void InstallMpeg(void** t) {
  Time<2, 49, Hr()>(t);
  Time<2, 50, Hr(BYTE*, BYTE*, BYTE*, INT, INT, INT_PTR, INT)>(t);
  Time<2, 51, Hr(double*)>(t);
  Time<2, 52, Hr()>(t);
  Time<2, 53, Hr()>(t);
}
void InstallAvi(void** t) {
  Time<3, 37, Hr()>(t);
  Time<3, 38, Hr(double*)>(t);
  Time<3, 39, Hr(BYTE*, INT_PTR, INT)>(t);
  Time<3, 40, Hr()>(t);
  Time<3, 41, Hr()>(t);
}
void InstallPictureServer(void** t) {
  Time<5, 8, Hr(INT, INT, BYTE*, BYTE*, BYTE*, BYTE*)>(t);
  Time<5, 12, Hr(INT, INT, BYTE*, BYTE*, BYTE*, INT, INT, BYTE*, BYTE*, BYTE*)>(t);
}
void InstallPainter(void** t) {
  Time<4, 7, Hr(HWND, INT, INT)>(t);
  Time<4, 8, Hr(INT, INT, BYTE*, BYTE*, BYTE*, HWND)>(t);
}

// --- The disc -----------------------------------------------------------------------
struct Title {
  int index = 0;
  int start = 0, end = 0, width = 0, height = 0;
  double seconds = 0, fps = 25;
};

// The title with the most seconds, read as the options dialog reads it.
Title LongestTitle() {
  Title best;
  ComPtr<IDVDInfObj> info;
  CoCreateInstance(CLSID_DVDInfObj, nullptr, CLSCTX_ALL, IID_IDVDInfObj, info.put_void());
  Bstr folder(Disc());
  if (!info || info->OpenDvd(folder.get()) < 0) return best;
  INT titles = 0;
  info->GetTitleCount(&titles);
  for (INT t = 0; t < titles; ++t) {
    Title c;
    c.index = t;
    INT value = 0, chapters = 0;
    info->SelectTitle(t);
    info->QueryTitle(t, &value);
    info->SelectProgramChain(0);
    info->GetChapterCount(&chapters);
    if (chapters <= 0) continue;
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
    if (c.seconds > best.seconds) best = c;
  }
  return best;
}

// The sample discs have one title per title set, in order.
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

struct Counters {
  int pictures = 0;
  double ownShare = 0, ownUsPerPicture = 0, pictureServerUsPerPicture = 0;
};
std::map<int, Counters> g_counters;
const char* const kNames[] = {"VCD", "SVCD", "DivX"};
// Our DivX file's rate, which ffmpeg is asked to match (bit/s of pictures), and the files'
// sizes to show that it did.
long long g_divxVideoRate = 0;
std::uintmax_t g_divxBytes = 0, g_ffmpegDivxBytes = 0;

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

// --- The conversion thread alone ----------------------------------------------------
void Thread(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const Title title = LongestTitle();
  if (title.seconds <= 0) {
    state.SkipWithError("no detailed disc (target detailed_dvd)");
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
  int pictures = 0;
  for (auto _ : state) {
    g_outsideNs = 0;
    g_pictureServerNs = 0;
    const long long cpu0 = ProcessCpuNs();
    frmConvert->StartThread(s);
    TConvertThread* t = frmConvert->LastThread();
    while (!t->Finished()) {
      TThread::CheckSynchronize();
      TThread::WaitForSyncSignal(5);
    }
    TThread::CheckSynchronize();
    process += ProcessCpuNs() - cpu0;
    own += g_runEndNs - g_runStartNs - g_outsideNs;
    pictureServer += g_pictureServerNs.load();
    pictures = t->Pictures();
    if (t->Outcome() != TConvertOutcome::Completed) {
      state.SkipWithError("the conversion failed");
      break;
    }
  }
  Counters& c = g_counters[kind];
  c.pictures = pictures;
  if (process > 0 && pictures > 0) {
    c.ownShare = double(own) / double(process);
    c.ownUsPerPicture = double(own) / 1000.0 / double(state.iterations()) / pictures;
    c.pictureServerUsPerPicture = double(pictureServer) / 1000.0 / double(state.iterations()) / pictures;
  }
  state.counters["pictures"] = pictures;
  state.counters["own_share_%"] = 100 * c.ownShare;
  state.counters["cpu_s"] = process / 1e9 / std::max<double>(1, static_cast<double>(state.iterations()));
  if (kind == 2 && fs::exists(s.outputFile)) {
    g_divxVideoRate = VideoRate(s.outputFile);
    g_divxBytes = fs::file_size(s.outputFile);
  }
  fs::remove(s.outputFile);
}

// --- The whole program road ---------------------------------------------------------
XvfbServer* g_xvfb = nullptr;
std::string g_xvfbFailure;
std::map<int, long> g_peakKilobytes;
std::map<int, double> g_roadSeconds;
std::map<int, std::vector<std::string>> g_roadFailures;

void Road(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  if (!g_xvfb) {
    state.SkipWithError(("no X server: " + g_xvfbFailure).c_str());
    return;
  }
  const int button = kind == 0 ? 6 : kind == 1 ? 7 : 4;  // the main window's VCD, SVCD, DivX
  double cpu = 0, seconds = 0;
  int finished = 0;
  for (auto _ : state) {
    const RoadRun r = RunProgramRoad(button, DiscFolder(), g_xvfb->Display());
    g_peakKilobytes[kind] = std::max(g_peakKilobytes[kind], r.peakKilobytes);
    if (r.seconds <= 0) {
      // Said at the end; the other runs still count.
      g_roadFailures[kind].push_back(r.failure);
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
  g_roadSeconds[kind] = seconds / finished;
  state.counters["cpu_s"] = cpu / finished;
  state.counters["peak_MB"] = g_peakKilobytes[kind] / 1024.0;
}

// --- ffmpeg making the same kind of file ---------------------------------------------
void Ffmpeg(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const std::string threads = std::to_string(state.range(1));
  const Title title = LongestTitle();
  const std::string input = TitleVobs(title);
  const bool ntsc = title.height == 480;
  const std::string out = Scratch(kind == 2 ? "quill-bench-ffmpeg.avi" : "quill-bench-ffmpeg.mpg");
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-threads", threads, "-i", input};
  if (kind == 0) args.insert(args.end(), {"-target", ntsc ? "ntsc-vcd" : "pal-vcd"});
  if (kind == 1) args.insert(args.end(), {"-target", ntsc ? "ntsc-svcd" : "pal-svcd"});
  if (kind == 2) {
    if (g_divxVideoRate <= 0) {
      state.SkipWithError("our DivX file's rate is not known (the DivX thread run failed)");
      return;
    }
    args.insert(args.end(), {"-map", "0:v:0", "-map", "0:a:0", "-c:v", "mpeg4", "-vtag", "DIVX", "-b:v",
                             std::to_string(g_divxVideoRate), "-c:a", "libmp3lame", "-b:a", "192k", "-ar", "44100",
                             "-ac", "2", "-f", "avi"});
  }
  args.insert(args.end(), {"-threads", threads, out});
  for (auto _ : state) {
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
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("ffmpeg failed");
      break;
    }
  }
  if (kind == 2 && fs::exists(out)) g_ffmpegDivxBytes = fs::file_size(out);
  fs::remove(out);
}

// Our runs first: ffmpeg's DivX takes the rate of ours.
BENCHMARK(Thread)->ArgName("kind")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(Road)->ArgName("kind")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
// Threads 0 lets ffmpeg choose; 1 keeps it to one thread.
BENCHMARK(Ffmpeg)
    ->ArgNames({"kind", "threads"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

void PrintRatios(const std::map<std::string, double>& t) {
  auto time = [&](const std::string& name) {
    const auto it = t.find(name);
    return it == t.end() ? 0.0 : it->second;
  };
  std::printf("\n%u processors\n", std::thread::hardware_concurrency());
  std::printf("goal: the program road at most 0.80 of ffmpeg's time with its default threads, the thread alone 0.60\n");
  for (int kind = 0; kind < 3; ++kind) {
    const std::string k = std::to_string(kind);
    const double thread = time("Thread/kind:" + k + "/iterations:3/real_time");
    const double road = g_roadSeconds.count(kind) ? g_roadSeconds[kind] * 1000.0 : 0.0;
    for (int threads : {0, 1}) {
      const double ffmpeg = time("Ffmpeg/kind:" + k + "/threads:" + std::to_string(threads) + "/iterations:3/real_time");
      if (ffmpeg <= 0) continue;
      if (thread > 0)
        std::printf("%-4s conversion thread / ffmpeg (threads %d): %.2f\n", kNames[kind], threads, thread / ffmpeg);
      if (road > 0)
        std::printf("%-4s program road / ffmpeg (threads %d):      %.2f\n", kNames[kind], threads, road / ffmpeg);
    }
    if (thread > 0 && road > 0)
      std::printf("%-4s program road / conversion thread: %.2f (%.2f s against %.2f s)\n", kNames[kind],
                  road / thread, road / 1000, thread / 1000);
    for (const std::string& failure : g_roadFailures[kind])
      std::printf("%-4s a run of the program failed: %s\n", kNames[kind], failure.c_str());
    if (g_peakKilobytes.count(kind))
      std::printf("%-4s program's peak memory: %.0f MB\n", kNames[kind], g_peakKilobytes[kind] / 1024.0);
    if (g_counters.count(kind))
      std::printf("%-4s own code: %.1f%% of the processor time, %.0f us per picture, of them %.0f us in PICTUREUTL"
                  " (%d pictures)\n",
                  kNames[kind], 100 * g_counters[kind].ownShare, g_counters[kind].ownUsPerPicture,
                  g_counters[kind].pictureServerUsPerPicture, g_counters[kind].pictures);
  }
  if (g_divxVideoRate > 0)
    std::printf("DivX pictures at %.1f Mbit/s; our file %.1f MB, ffmpeg's %.1f MB\n", g_divxVideoRate / 1e6,
                g_divxBytes / 1048576.0, g_ffmpegDivxBytes / 1048576.0);
}

}  // namespace

int main(int argc, char** argv) {
  // Started again as the program of the program road.
  if (int code = 0; ProgramRoadChild(argc, argv, &code)) return code;
  setenv("QUILLMERE_BACKEND", "headless", 0);
  benchmark::Initialize(&argc, argv);
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
  wrapping::WrappingFactory<1, 33> data(CLSID_DVDDataObj, InstallData);
  wrapping::WrappingFactory<2, 54> mpeg(CLSID_MpegEnc, InstallMpeg);
  wrapping::WrappingFactory<3, 42> avi(CLSID_AVIEncode, InstallAvi);
  wrapping::WrappingFactory<4, 9> painter(CLSID_PicShowObj, InstallPainter);
  wrapping::WrappingFactory<kPictureServerTag, 13> pictures(CLSID_PICTUREUTL, InstallPictureServer);
  const DWORD cookies[] = {data.Register(CLSID_DVDDataObj), mpeg.Register(CLSID_MpegEnc),
                           avi.Register(CLSID_AVIEncode), painter.Register(CLSID_PicShowObj),
                           pictures.Register(CLSID_PICTUREUTL)};

  RunTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter.seconds);
  RemoveProgramRoadFolder();
  for (DWORD c : cookies)
    if (c) CoRevokeClassObject(c);
  DoneApplication();
  CoUninitialize();
  benchmark::Shutdown();
  return 0;
}
