// A fixed ring of slots between one producing and one consuming thread, and the switch that
// makes the servers do their work in the calling thread instead.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace outside {

// QUILLMERE_SERIAL=1 makes the DVD data object and the encoders work one picture at a time in
// the calling thread with single-threaded codecs, as a reference to compare the pipelined
// servers with. Read when a run starts.
inline bool SerialServers() {
  const char* v = std::getenv("QUILLMERE_SERIAL");
  return v && *v && std::strcmp(v, "0") != 0;
}

// Threads a codec may use beside its caller: the machine's processors, at most 8 (more
// slices only cost bits on pictures of DVD size).
inline int CodecThreads() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int>(n < 8 ? n : 8);
}

// The producer fills the next free slot and puts it; the consumer takes filled slots in
// the order they were put and releases each when done with it, which frees it for the
// producer. Slots are reused, so once their buffers have grown nothing more is allocated;
// at most `depth` items are ever held. Close wakes both sides for good.
template <class Slot>
class BoundedPipe {
 public:
  explicit BoundedPipe(std::size_t depth) : slots_(depth ? depth : 1) {}
  BoundedPipe(const BoundedPipe&) = delete;
  BoundedPipe& operator=(const BoundedPipe&) = delete;

  // The slot to fill next, once one is free; null after Close.
  Slot* BeginPut() {
    std::unique_lock lock(mu_);
    changed_.wait(lock, [&] { return closed_ || put_ - released_ < slots_.size(); });
    return closed_ ? nullptr : &slots_[put_ % slots_.size()];
  }
  void EndPut() {
    {
      std::lock_guard lock(mu_);
      ++put_;
    }
    changed_.notify_all();
  }

  // The oldest slot put and not yet taken, once there is one; null after Close.
  Slot* BeginTake() {
    std::unique_lock lock(mu_);
    changed_.wait(lock, [&] { return closed_ || released_ < put_; });
    return closed_ ? nullptr : &slots_[released_ % slots_.size()];
  }
  void EndTake() {
    {
      std::lock_guard lock(mu_);
      ++released_;
    }
    changed_.notify_all();
  }

  // Waits until no more than `atMost` of the slots put are not yet released; false when
  // closed first.
  bool Drain(std::size_t atMost = 0) {
    std::unique_lock lock(mu_);
    changed_.wait(lock, [&] { return closed_ || put_ - released_ <= atMost; });
    return !closed_;
  }

  void Close() {
    {
      std::lock_guard lock(mu_);
      closed_ = true;
    }
    changed_.notify_all();
  }
  bool Closed() const {
    std::lock_guard lock(mu_);
    return closed_;
  }
  // Items put and not yet released.
  std::size_t Held() const {
    std::lock_guard lock(mu_);
    return put_ - released_;
  }
  std::size_t Depth() const { return slots_.size(); }

 private:
  mutable std::mutex mu_;
  std::condition_variable changed_;
  std::vector<Slot> slots_;
  std::size_t put_ = 0;       // slots put so far
  std::size_t released_ = 0;  // slots taken and released so far
  bool closed_ = false;
};

}  // namespace outside
