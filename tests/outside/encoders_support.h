// Helpers of the encoder tests: a COM apartment per test, a scratch folder,
// synthetic pictures and sound, and ffprobe/ffmpeg run as processes.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <com/com.h>
#include <com/comptr.h>
#include <com/errorinfo.h>
#include <com/strings.h>

namespace enctest {

// Output of a child process (stdout only) and its exit status.
struct ProcessResult {
  int status = -1;
  std::string out;
};

inline ProcessResult Run(const std::vector<std::string>& argv) {
  ProcessResult r;
  int fds[2];
  if (pipe(fds) != 0) return r;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  char buf[65536];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) r.out.append(buf, static_cast<std::size_t>(n));
  close(fds[0]);
  int st = 0;
  waitpid(pid, &st, 0);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// ffprobe's view of a file: format and streams, with frames counted.
inline nlohmann::json Probe(const std::string& path) {
  ProcessResult r = Run({"ffprobe", "-v", "error", "-print_format", "json", "-show_format", "-show_streams",
                         "-count_frames", path});
  if (r.status != 0) return nullptr;
  return nlohmann::json::parse(r.out, nullptr, false);
}

inline const nlohmann::json* StreamOfType(const nlohmann::json& probe, const std::string& type) {
  for (const auto& s : probe["streams"])
    if (s.value("codec_type", "") == type) return &s;
  return nullptr;
}

inline double JsonNumber(const nlohmann::json& j, const char* key) {
  if (!j.contains(key)) return -1;
  return j[key].is_string() ? std::atof(j[key].get<std::string>().c_str()) : j[key].get<double>();
}

// The first picture of a video file as top-down RGB bytes.
inline std::vector<std::uint8_t> FirstPictureRgb(const std::string& path) {
  ProcessResult r = Run({"ffmpeg", "-v", "error", "-i", path, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt",
                         "rgb24", "-"});
  return {r.out.begin(), r.out.end()};
}

// Calls the method at a vtable slot directly, as a client compiled against the
// slot table would.
template <class R, class... A>
R CallSlot(void* iface, int slot, A... args) {
  void** vtable = *static_cast<void***>(iface);
  return reinterpret_cast<R (*)(void*, A...)>(vtable[slot])(iface, args...);
}

// Open file descriptors of this process, to see that a failed run leaves none behind.
inline int OpenDescriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

class ComTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GE(CoInitialize(nullptr), 0);
    char tmpl[] = "/tmp/quill-enc-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    CoUninitialize();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  template <class I>
  ComPtr<I> Create(REFCLSID clsid, REFIID iid) {
    ComPtr<I> p;
    EXPECT_GE(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid, p.put_void()), 0);
    return p;
  }

  std::string dir_;
};

// A moving test picture as Y, U, V planes.
struct Yuv {
  int w, h;
  std::vector<std::uint8_t> y, u, v;
  Yuv(int width, int height) : w(width), h(height), y(width * height), u(width * height / 4), v(width * height / 4) {}
  void Paint(int n) {
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) y[r * w + c] = static_cast<std::uint8_t>(16 + (c + r + 3 * n) % 200);
    for (int i = 0; i < w * h / 4; ++i) {
      u[i] = static_cast<std::uint8_t>(96 + n % 64);
      v[i] = 160;
    }
  }
};

// One picture's worth of a 440 Hz tone, 16-bit interleaved stereo.
inline std::vector<std::int16_t> Tone(int sampleRate, double fps, int picture) {
  const long first = std::lround(picture * sampleRate / fps), next = std::lround((picture + 1) * sampleRate / fps);
  std::vector<std::int16_t> s;
  for (long i = first; i < next; ++i) {
    const auto x = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440.0 * i / sampleRate));
    s.push_back(x);
    s.push_back(x);
  }
  return s;
}

}  // namespace enctest
