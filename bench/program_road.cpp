#include "program_road.h"

#include <outside/encoders.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>

#include <ksini.h>
#include <vcl/backend.h>
#include <vcl/forms.h>
#include <win32/drives.h>

#include "convert.h"
#include "main.h"
#include "option.h"
#include "sdl_events.h"
#include "server_slots.h"
#include "server_wrapping.h"
#include "winmain.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

long long ProcessCpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// --- The child: the program and its driver -------------------------------------------

// When the encoder's Finish returned: the last write of the run.
std::mutex g_mu;
std::condition_variable g_finished;
bool g_done = false;
Clock::time_point g_lastWrite;
long long g_lastWriteCpu = 0;

long long NoTime() { return 0; }
void Finished(long long) {
  std::lock_guard lock(g_mu);
  g_done = true;
  g_lastWrite = Clock::now();
  g_lastWriteCpu = ProcessCpuNs();
  g_finished.notify_all();
}
void WatchMpegFinish(void** t) { wrapping::Hook<2, slots::MpegFinish>(t, NoTime, Finished); }
void WatchAviFinish(void** t) { wrapping::Hook<3, slots::AviFinish>(t, NoTime, Finished); }

// The limit in words, for the failures that name it.
std::string LimitText() { return std::to_string(kProgramRoadLimit.count()) + " s"; }

// Runs f on the GUI thread and waits for it.
void OnGui(const std::function<void()>& f) { TThread::Synchronize(nullptr, f); }

// Waits until `test`, asked on the GUI thread every 50 ms, answers true; false after the
// road's time limit.
bool WaitFor(const std::function<bool()>& test) {
  const auto end = Clock::now() + kProgramRoadLimit;
  while (Clock::now() < end) {
    bool yes = false;
    OnGui([&] { yes = test(); });
    if (yes) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// A click in the middle of a control, as SDL reports one (GUI thread).
void Click(TControl* c, TCustomForm* form) {
  const TPoint a = c->ClientOrigin(), f = form->ClientOrigin();
  sdl_test::PushClick(form, TPoint(a.X - f.X + c->Width() / 2, a.Y - f.Y + c->Height() / 2));
}

void Report(int fd, const std::string& line) {
  const std::string text = line + "\n";
  if (write(fd, text.data(), text.size()) < 0) std::perror("program road report");
}

// The user: mode button, the title, "Disk" (the whole title, no question asked), OK; then,
// once the file is written, the conversion window and the main window closed.
void Drive(int button, int title, int fd) {
  if (!WaitFor([] { return frmMain && frmMain->Visible(); })) return Report(fd, "fail the main window never showed");
  OnGui([&] { Click(frmMain->Button(button), frmMain); });
  if (!WaitFor([] { return frmOption && frmOption->Visible(); }))
    return Report(fd, "fail the options dialog never showed");
  if (!WaitFor([&] { return frmOption->cmbTittle->Items()->Count() > title; }))
    return Report(fd, "fail the disc has no title " + std::to_string(title + 1));
  // Chosen as the lists' changes do it: the title, then for NTSC pictures (480 lines) the
  // "29.97 (NTSC)" rate, as its user would, which also sets a VCD's or SVCD's NTSC size.
  OnGui([&] {
    if (title != 0) {
      frmOption->cmbTittle->SetItemIndex(title);
      frmOption->cmbTittleChange(frmOption->cmbTittle);
    }
    INT height = 0;
    if (frmOption->FDvdInfo) frmOption->FDvdInfo->GetPictureHeight(&height);
    if (height == 480) {
      frmOption->cmbRate->SetItemIndex(3);
      frmOption->cmbRateChange(frmOption->cmbRate);
    }
  });
  OnGui([] { Click(frmOption->radioDisk, frmOption); });
  if (!WaitFor([] { return frmOption->radioDisk->Checked(); })) return Report(fd, "fail \"Disk\" was not chosen");
  const Clock::time_point start = Clock::now();
  const long long startCpu = ProcessCpuNs();
  OnGui([] { Click(frmOption->btnOk, frmOption); });
  {
    std::unique_lock lock(g_mu);
    if (!g_finished.wait_for(lock, kProgramRoadLimit, [] { return g_done; }))
      return Report(fd, "fail the file was not finished within " + LimitText());
    char line[128];
    std::snprintf(line, sizeof line, "ok %.6f %.6f", std::chrono::duration<double>(g_lastWrite - start).count(),
                  (g_lastWriteCpu - startCpu) / 1e9);
    Report(fd, line);
  }
  // Closing is no longer timed.
  WaitFor([] { return !frmConvert->Running(); });
  OnGui([] { frmConvert->Close(); });
  WaitFor([] { return frmMain->Visible(); });
  OnGui([] { frmMain->Close(); });
}

// --- The benchmark's side ----------------------------------------------------------

fs::path BuildDir() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path(); }

bool g_childFolderMade = false;

// A folder with a copy of this program and the first skin, made once.
const fs::path& ChildFolder() {
  static const fs::path folder = [] {
    char pattern[] = "/tmp/quill-road-XXXXXX";
    const char* made = mkdtemp(pattern);
    fs::path dir = made ? made : fs::temp_directory_path() / "quill-road";
    fs::create_directories(dir);
    fs::copy_file(fs::read_symlink("/proc/self/exe"), dir / "road", fs::copy_options::overwrite_existing);
    fs::copy(BuildDir() / "bin" / "SKIN0", dir / "SKIN0",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    std::ofstream(dir / "mounts").close();
    return dir;
  }();
  g_childFolderMade = true;
  return folder;
}

// Reads one line from fd within the time limit; empty when none came.
std::string ReadLine(int fd, std::chrono::seconds limit) {
  std::string line;
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char c = 0;
    if (read(fd, &c, 1) != 1) break;
    if (c == '\n') return line;
    line += c;
  }
  return line;
}

}  // namespace

RoadRun RunProgramRoad(int button, int title, const fs::path& disc, const std::string& display) {
  RoadRun run;
  const fs::path& dir = ChildFolder();
  std::error_code ec;
  fs::remove_all(dir / "out", ec);
  fs::create_directories(dir / "out");
  std::ofstream(dir / "config.ini") << "[INI]\nIndex=0\nDefMediaPath=" << (dir / "out" / "last.mpg").string() << "\n";
  int fds[2];
  if (pipe(fds) != 0) return {0, 0, 0, "no pipe"};
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    setenv("DISPLAY", display.c_str(), 1);
    setenv("QUILLMERE_BACKEND", "sdl", 1);
    setenv("QUILLMERE_DVD", disc.c_str(), 1);
    setenv("QUILLMERE_REGISTRY", (BuildDir() / "bin" / "registry.txt").c_str(), 1);
    if (chdir(dir.c_str()) != 0) _exit(126);
    const std::string b = "--program-road=" + std::to_string(button), t = "--title=" + std::to_string(title),
                      f = "--report-fd=" + std::to_string(fds[1]);
    execl((dir / "road").c_str(), "road", b.c_str(), t.c_str(), f.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  if (child < 0) {
    close(fds[0]);
    return {0, 0, 0, "no child process"};
  }
  const std::string line = ReadLine(fds[0], kProgramRoadLimit);
  // The program closes its windows by itself; one that hangs there is ended.
  rusage usage{};
  int status = 0;
  bool ended = false;
  for (const auto end = Clock::now() + kProgramRoadLimit; !ended && Clock::now() < end;) {
    ended = wait4(child, &status, WNOHANG, &usage) == child;
    if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!ended) {
    kill(child, SIGKILL);
    wait4(child, &status, 0, &usage);
    run.failure = "the program did not close";
  }
  close(fds[0]);
  run.peakKilobytes = usage.ru_maxrss;
  double seconds = 0, cpu = 0;
  if (std::sscanf(line.c_str(), "ok %lf %lf", &seconds, &cpu) == 2) {
    run.seconds = seconds;
    run.cpuSeconds = cpu;
  } else {
    run.failure = line.empty() ? "the run did not finish within " + LimitText() : line;
  }
  return run;
}

void RemoveProgramRoadFolder() {
  std::error_code ec;
  if (g_childFolderMade) fs::remove_all(ChildFolder(), ec);
}

bool ProgramRoadChild(int argc, char** argv, int* code) {
  int button = 0, title = 0, fd = -1;
  for (int i = 1; i < argc; ++i) {
    std::sscanf(argv[i], "--program-road=%d", &button);
    std::sscanf(argv[i], "--title=%d", &title);
    std::sscanf(argv[i], "--report-fd=%d", &fd);
  }
  if (button == 0 || fd < 0) return false;
  *code = 1;
  SetMountsFile((fs::current_path() / "mounts").string());
  try {
    Backend();
  } catch (const Exception& e) {
    Report(fd, "fail " + e.Message);
    return true;
  }
  // The encoders made through COM are watched for the end of their file.
  CoInitialize(nullptr);
  wrapping::WrappingFactory<2, slots::kMpegSlots> mpeg(CLSID_MpegEnc, WatchMpegFinish);
  wrapping::WrappingFactory<3, slots::kAviSlots> avi(CLSID_AVIEncode, WatchAviFinish);
  const DWORD cookies[] = {mpeg.Register(CLSID_MpegEnc), avi.Register(CLSID_AVIEncode)};
  InitializeUnits();
  std::thread driver(Drive, button, title, fd);
  *code = WinMain(nullptr, nullptr, nullptr, 0);
  driver.join();
  DoneApplication();
  FreeStaticKsIni();
  FinalizeUnits();
  for (DWORD c : cookies)
    if (c) CoRevokeClassObject(c);
  CoUninitialize();
  close(fd);
  return true;
}
