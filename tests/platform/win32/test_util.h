// Temporary folders, files and environment changes for the stand-in tests.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include <support/files.h>
#include <support/scratch_dir.h>

namespace testutil {

// A scratch folder whose path is text, as these tests join it.
class TempDir {
 public:
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  quill_test::ScratchDir dir_{"qwin32"};
  std::string path_ = dir_.str();
};

using quill_test::ReadFile;
using quill_test::WriteFile;

inline void WriteScript(const std::string& path, const std::string& body) {
  WriteFile(path, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
}

// Sets an environment variable for the scope of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_.c_str(), old_->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Waits until a file written by a child process has content.
inline std::string WaitForFile(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    std::string s = ReadFile(path);
    if (!s.empty() && s.back() == '\n') return s;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ReadFile(path);
}

}  // namespace testutil
