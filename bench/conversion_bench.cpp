// The program's conversion thread converting the sample disc's longest title to
// VCD, SVCD and AVI, beside ffmpeg making the same kind of file from the same VOBs
// in the same run. Prints our time over ffmpeg's, and the share of each picture's
// processor time spent in our own code (the thread and PICTUREUTL) as opposed to the
// servers outside the program (DVD reading and decoding, encoding, preview painting),
// whose calls are timed by wrapping their objects.
#include <benchmark/benchmark.h>

#include "run_times_reporter.h"

#include <outside/dvd.h>
#include <outside/encoders.h>
#include <zentra/picture_util.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <com/comptr.h>
#include <com/strings.h>
#include <vcl/forms.h>

#include "convert.h"
#include "cvtthread.h"
#include "preview.h"

namespace {

namespace fs = std::filesystem;

fs::path BuildDir() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path(); }
std::string Disc() { return (BuildDir() / "sample-dvd" / "VIDEO_TS").string(); }
std::string Scratch(const std::string& name) { return (fs::temp_directory_path() / name).string(); }

// --- Time spent inside the outside servers ------------------------------------------
// Each object the thread creates gets a copy of its table of methods in which the
// per-picture methods are wrapped by a timer; Release puts the real table back while
// it runs, so the object is destroyed through its own table. Times are processor
// time of the calling thread, so other work on the machine does not count.
long long ThreadCpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}
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

template <int Tag, int Slot, class Sig>
struct Timed;
template <int Tag, int Slot, class R, class... A>
struct Timed<Tag, Slot, R(A...)> {
  static inline R(STDMETHODCALLTYPE* real)(void*, A...) = nullptr;
  static R STDMETHODCALLTYPE Call(void* self, A... a) {
    const long long t0 = ThreadCpuNs();
    R r = real(self, a...);
    Charge(Tag, t0);
    return r;
  }
  static void Install(void** table) {
    real = reinterpret_cast<R(STDMETHODCALLTYPE*)(void*, A...)>(table[Slot]);
    table[Slot] = reinterpret_cast<void*>(&Call);
  }
};

template <int Tag>
struct Wrapped {
  static inline void** realTable = nullptr;
  static inline std::vector<void*> copy;  // two entries before the table (offset, type), then the slots
  static void** Table() { return copy.data() + 2; }
  // Destroying the object is the server's work too.
  static ULONG STDMETHODCALLTYPE Release(void* self) {
    const long long t0 = ThreadCpuNs();
    *static_cast<void***>(self) = realTable;
    const ULONG left = reinterpret_cast<ULONG(STDMETHODCALLTYPE*)(void*)>(realTable[2])(self);
    if (left) *static_cast<void***>(self) = Table();
    Charge(Tag, t0);
    if (!left && Tag == kDataTag) g_runEndNs = ThreadCpuNs();
    return left;
  }
};

// A class factory that makes the real object and wraps it.
template <int Tag, int Slots>
class WrappingFactory : public IClassFactory {
 public:
  using Installer = void (*)(void** table);
  WrappingFactory(REFCLSID clsid, Installer install) : install_(install) {
    CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, real_.put_void());
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IClassFactory ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override { return real_->LockServer(lock); }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    const long long t0 = ThreadCpuNs();
    if (Tag == kDataTag) g_runStartNs = t0;
    const HRESULT hr = real_->CreateInstance(outer, iid, out);
    Charge(Tag, t0);
    if (hr < 0 || !*out || iid == IID_IUnknown) return hr;
    void**& vptr = *static_cast<void***>(*out);
    if (!Wrapped<Tag>::realTable) {
      Wrapped<Tag>::realTable = vptr;
      Wrapped<Tag>::copy.assign(vptr - 2, vptr + Slots);
      Wrapped<Tag>::Table()[2] = reinterpret_cast<void*>(&Wrapped<Tag>::Release);
      install_(Wrapped<Tag>::Table());
    }
    if (vptr == Wrapped<Tag>::realTable) vptr = Wrapped<Tag>::Table();
    return hr;
  }
  bool ok() const { return static_cast<bool>(real_); }

 private:
  ComPtr<IClassFactory> real_;
  Installer install_;
};

using Hr = HRESULT;
void InstallData(void** t) {
  Timed<1, 27, Hr()>::Install(t);
  Timed<1, 28, Hr(INT)>::Install(t);
  Timed<1, 29, Hr(BYTE*, BYTE*, BYTE*, INT_PTR*, INT*)>::Install(t);
  Timed<1, 31, Hr(INT*)>::Install(t);
  Timed<1, 32, Hr()>::Install(t);
}
void InstallMpeg(void** t) {
  Timed<2, 49, Hr()>::Install(t);
  Timed<2, 50, Hr(BYTE*, BYTE*, BYTE*, INT, INT, INT_PTR, INT)>::Install(t);
  Timed<2, 51, Hr(double*)>::Install(t);
  Timed<2, 52, Hr()>::Install(t);
  Timed<2, 53, Hr()>::Install(t);
}
void InstallAvi(void** t) {
  Timed<3, 37, Hr()>::Install(t);
  Timed<3, 38, Hr(double*)>::Install(t);
  Timed<3, 39, Hr(BYTE*, INT_PTR, INT)>::Install(t);
  Timed<3, 40, Hr()>::Install(t);
  Timed<3, 41, Hr()>::Install(t);
}
void InstallPictureServer(void** t) {
  Timed<5, 8, Hr(INT, INT, BYTE*, BYTE*, BYTE*, BYTE*)>::Install(t);
  Timed<5, 12, Hr(INT, INT, BYTE*, BYTE*, BYTE*, INT, INT, BYTE*, BYTE*, BYTE*)>::Install(t);
}
void InstallPainter(void** t) {
  Timed<4, 7, Hr(HWND, INT, INT)>::Install(t);
  Timed<4, 8, Hr(INT, INT, BYTE*, BYTE*, BYTE*, HWND)>::Install(t);
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

// The sample disc has one title per title set, in order.
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

// --- Our conversion -----------------------------------------------------------------
void Thread(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const Title title = LongestTitle();
  if (title.seconds <= 0) {
    state.SkipWithError("no sample disc");
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
  fs::remove(s.outputFile);
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
  if (kind == 2)
    args.insert(args.end(), {"-map", "0:v:0", "-map", "0:a:0", "-c:v", "mpeg4", "-vtag", "DIVX", "-c:a",
                             "libmp3lame", "-b:a", "192k", "-ar", "44100", "-ac", "2", "-f", "avi"});
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
  fs::remove(out);
}

BENCHMARK(Thread)->ArgName("kind")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
// Threads 0 lets ffmpeg choose; 1 matches our one conversion thread.
BENCHMARK(Ffmpeg)
    ->ArgNames({"kind", "threads"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);


}  // namespace

int main(int argc, char** argv) {
  setenv("QUILLMERE_BACKEND", "headless", 0);
  benchmark::Initialize(&argc, argv);
  CoInitialize(nullptr);
  InitApplication();
  Application->Initialize();
  TForm* mainForm = nullptr;
  Application->CreateForm(mainForm);
  Application->CreateForm(frmPreview);
  Application->CreateForm(frmConvert);
  frmConvert->Show();

  WrappingFactory<1, 33> data(CLSID_DVDDataObj, InstallData);
  WrappingFactory<2, 54> mpeg(CLSID_MpegEnc, InstallMpeg);
  WrappingFactory<3, 42> avi(CLSID_AVIEncode, InstallAvi);
  WrappingFactory<4, 9> painter(CLSID_PicShowObj, InstallPainter);
  WrappingFactory<kPictureServerTag, 13> pictures(CLSID_PICTUREUTL, InstallPictureServer);
  DWORD cookies[5] = {};
  if (data.ok()) CoRegisterClassObject(CLSID_DVDDataObj, &data, CLSCTX_INPROC_SERVER, 0, &cookies[0]);
  if (mpeg.ok()) CoRegisterClassObject(CLSID_MpegEnc, &mpeg, CLSCTX_INPROC_SERVER, 0, &cookies[1]);
  if (avi.ok()) CoRegisterClassObject(CLSID_AVIEncode, &avi, CLSCTX_INPROC_SERVER, 0, &cookies[2]);
  if (painter.ok()) CoRegisterClassObject(CLSID_PicShowObj, &painter, CLSCTX_INPROC_SERVER, 0, &cookies[3]);
  if (pictures.ok()) CoRegisterClassObject(CLSID_PICTUREUTL, &pictures, CLSCTX_INPROC_SERVER, 0, &cookies[4]);

  RunTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& t = reporter.seconds;
  const char* names[] = {"VCD", "SVCD", "AVI"};
  for (int kind = 0; kind < 3; ++kind) {
    const auto ours = t.find("Thread/kind:" + std::to_string(kind) + "/iterations:3/real_time");
    for (int threads : {0, 1}) {
      const auto theirs = t.find("Ffmpeg/kind:" + std::to_string(kind) + "/threads:" + std::to_string(threads) +
                                 "/iterations:3/real_time");
      if (ours != t.end() && theirs != t.end() && theirs->second > 0)
        std::printf("%-4s conversion thread / ffmpeg (threads %d): %.2f\n", names[kind], threads,
                    ours->second / theirs->second);
    }
    if (g_counters.count(kind))
      std::printf("%-4s own code: %.1f%% of the processor time, %.0f us per picture, of them %.0f us in PICTUREUTL"
                  " (%d pictures)\n",
                  names[kind], 100 * g_counters[kind].ownShare, g_counters[kind].ownUsPerPicture,
                  g_counters[kind].pictureServerUsPerPicture, g_counters[kind].pictures);
  }
  for (DWORD c : cookies)
    if (c) CoRevokeClassObject(c);
  DoneApplication();
  CoUninitialize();
  benchmark::Shutdown();
  return 0;
}
