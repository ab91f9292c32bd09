#include "stuck_reads.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>

namespace {

std::atomic<bool> g_holding{false};
std::mutex g_lock;
std::condition_variable g_changed;
dev_t g_device = 0;
ino_t g_inode = 0;
int g_waiting = 0;
unsigned g_releases = 0;

using ReadFn = ssize_t (*)(int, void*, size_t);

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t size) {
  static const auto real = reinterpret_cast<ReadFn>(dlsym(RTLD_NEXT, "read"));
  struct stat st {};
  if (g_holding.load() && ::fstat(fd, &st) == 0) {
    std::unique_lock<std::mutex> hold(g_lock);
    if (g_holding.load() && st.st_dev == g_device && st.st_ino == g_inode) {
      ++g_waiting;
      g_changed.notify_all();
      const unsigned release = g_releases;
      g_changed.wait(hold, [&] { return g_releases != release; });
      --g_waiting;
      errno = EIO;
      return -1;
    }
  }
  return real(fd, buffer, size);
}

namespace outsidetest {

bool HoldReads(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  std::lock_guard<std::mutex> hold(g_lock);
  g_device = st.st_dev;
  g_inode = st.st_ino;
  g_holding = true;
  return true;
}

void ReleaseReads() {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_holding = false;
    ++g_releases;
  }
  g_changed.notify_all();
}

int HeldReads() {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_waiting;
}

}  // namespace outsidetest
