#include "title_shape.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace outside {

namespace {

struct Announcement {
  std::thread::id thread;
  const void* reader;
  AVRational displayAspect;
};

// Process-wide rather than thread-local: an object may be closed or released on another
// thread than the one it was opened on, and must still withdraw.
std::mutex g_lock;
std::vector<Announcement> g_open;  // in the order of announcement

void Remove(const void* reader) {
  std::erase_if(g_open, [&](const Announcement& a) { return a.reader == reader; });
}

}  // namespace

void AnnounceTitleShape(const void* reader, AVRational displayAspect) {
  std::lock_guard<std::mutex> hold(g_lock);
  Remove(reader);
  g_open.push_back({std::this_thread::get_id(), reader, displayAspect});
}

void WithdrawTitleShape(const void* reader) {
  std::lock_guard<std::mutex> hold(g_lock);
  Remove(reader);
}

AVRational OpenTitleShape() {
  std::lock_guard<std::mutex> hold(g_lock);
  const auto here = std::this_thread::get_id();
  const auto last = std::find_if(g_open.rbegin(), g_open.rend(), [&](const Announcement& a) { return a.thread == here; });
  return last == g_open.rend() ? AVRational{0, 1} : last->displayAspect;
}

}  // namespace outside
