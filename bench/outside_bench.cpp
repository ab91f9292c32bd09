// The harness's VCD conversion of the sample disc's PAL title (DVD data object,
// PICTUREUTL, IMpegEnc) beside ffmpeg converting the same VOB to the same
// target (-target pal-vcd); prints how many times longer ours takes.
#include <benchmark/benchmark.h>

#include "run_times_reporter.h"

#include <cstdio>
#include <filesystem>
#include <map>

#include <sys/wait.h>
#include <unistd.h>

#include "harness_driver.h"

namespace {

std::filesystem::path BuildDir() { return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path(); }
std::string Disc() { return (BuildDir() / "sample-dvd" / "VIDEO_TS").string(); }
std::string Scratch(const char* name) { return (std::filesystem::temp_directory_path() / name).string(); }

void HarnessVcd(benchmark::State& state) {
  CoInitialize(nullptr);
  harness::Job job;
  job.lastChapter = 2;  // the whole PAL title: three chapters, 12 s
  job.output = Scratch("quill-bench-harness.mpg");
  int pictures = 0;
  for (auto _ : state) {
    harness::Outcome r = harness::Convert(Disc(), job, nullptr);
    if (!r.error.empty()) {
      state.SkipWithError(r.error.c_str());
      break;
    }
    pictures = r.pictures;
  }
  state.counters["pictures"] = pictures;
  std::filesystem::remove(job.output);
  CoUninitialize();
}

void FfmpegVcd(benchmark::State& state) {
  const std::string vob = (std::filesystem::path(Disc()) / "VTS_01_1.VOB").string();
  const std::string out = Scratch("quill-bench-ffmpeg.mpg");
  const std::string threads = std::to_string(state.range(0));
  for (auto _ : state) {
    const pid_t pid = fork();
    if (pid == 0) {
      execlp("ffmpeg", "ffmpeg", "-nostdin", "-v", "error", "-y", "-threads", threads.c_str(), "-i", vob.c_str(),
             "-target", "pal-vcd", "-threads", threads.c_str(), out.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("ffmpeg failed");
      break;
    }
  }
  std::filesystem::remove(out);
}

BENCHMARK(HarnessVcd)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
// 0 lets ffmpeg choose its threads; 1 matches our single conversion thread.
BENCHMARK(FfmpegVcd)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);


}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RunTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& t = reporter.seconds;
  const auto ours = t.find("HarnessVcd/iterations:3/real_time");
  for (const char* name : {"FfmpegVcd/0/iterations:3/real_time", "FfmpegVcd/1/iterations:3/real_time"}) {
    const auto theirs = t.find(name);
    if (ours != t.end() && theirs != t.end() && theirs->second > 0)
      std::printf("harness VCD / %s: %.2f\n", name, ours->second / theirs->second);
  }
  benchmark::Shutdown();
  return 0;
}
