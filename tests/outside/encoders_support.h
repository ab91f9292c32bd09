// Helpers of the encoder tests: a COM apartment and a scratch folder per test,
// synthetic pictures and sound, and ffprobe/ffmpeg run as processes.
#pragma once

#include <gtest/gtest.h>

#include <outside/encoders.h>

#include <nlohmann/json.hpp>
#include <support/vtable.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "outside_test_util.h"

namespace enctest {

using outsidetest::Create;
using outsidetest::OpenDescriptors;

// Output of a child process (stdout only) and its exit status.
struct ProcessResult {
  int status = -1;
  std::string out;
};

// The child's standard output; with withErrors its standard error too.
inline ProcessResult Run(const std::vector<std::string>& argv, bool withErrors = false) {
  ProcessResult r;
  int fds[2];
  if (pipe(fds) != 0) return r;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    if (withErrors) dup2(fds[1], 2);
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

// The picture stream's codec, size, rate and picture count, as ffprobe reports them.
inline void ExpectVideoStream(const nlohmann::json& v, const char* codec, int width, int height, const char* rate,
                              double pictures) {
  EXPECT_EQ(v["codec_name"], codec);
  EXPECT_EQ(JsonNumber(v, "width"), width);
  EXPECT_EQ(JsonNumber(v, "height"), height);
  EXPECT_EQ(v["r_frame_rate"], rate);
  EXPECT_EQ(JsonNumber(v, "nb_read_frames"), pictures);
}

// One file of an output split at a limit of one megabyte: there, under the limit and
// with sound. Adds its pictures to *pictures. Call through ASSERT_NO_FATAL_FAILURE.
inline void ExpectPartUnderOneMegabyte(const std::string& path, double* pictures) {
  SCOPED_TRACE(path);
  ASSERT_TRUE(std::filesystem::exists(path));
  EXPECT_LT(std::filesystem::file_size(path), 1048576u);
  auto probe = Probe(path);
  ASSERT_FALSE(probe.is_null());
  ASSERT_TRUE(StreamOfType(probe, "audio"));
  *pictures += JsonNumber(*StreamOfType(probe, "video"), "nb_read_frames");
}

// The first picture of a video file as top-down RGB bytes.
inline std::vector<std::uint8_t> FirstPictureRgb(const std::string& path) {
  ProcessResult r = Run({"ffmpeg", "-v", "error", "-i", path, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt",
                         "rgb24", "-"});
  return {r.out.begin(), r.out.end()};
}

using quill_test::CallSlot;

// The id of the AVI encoder's first codec whose name begins with prefix; -1 when none.
inline INT AviCodecNamed(IAVIEncode* enc, const std::string& prefix) {
  INT count = 0;
  if (enc) enc->GetCodecCount(&count);
  for (INT i = 0; i < count; ++i) {
    Bstr name;
    enc->GetCodecName(i, name.put());
    INT id = -1;
    enc->GetCodecId(i, &id);
    if (name.Utf8().rfind(prefix, 0) == 0) return id;
  }
  return -1;
}

// An apartment and a scratch folder for the output files.
class ComTest : public outsidetest::ComTest {
 protected:
  void SetUp() override {
    outsidetest::ComTest::SetUp();
    ASSERT_FALSE(scratch_.path().empty());
  }
  std::string Path(const std::string& name) const { return (scratch_.path() / name).string(); }

 private:
  outsidetest::ScratchDir scratch_;
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
