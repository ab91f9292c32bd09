// A stand-in for the library heap: records requests and can refuse them.
#pragma once

#include <zentra/primitive_runtime.h>

#include <cstdlib>
#include <vector>

namespace zentra_test {

struct HeapLog {
  std::vector<std::size_t> requests;
  std::vector<void*> blocks;
  std::vector<void*> released;
  int failAfter = -1;  // allocations that succeed before every further one fails
};

inline HeapLog& Log() {
  static HeapLog log;
  return log;
}

inline void* LoggedAllocate(std::size_t bytes) {
  HeapLog& log = Log();
  log.requests.push_back(bytes);
  if (log.failAfter == 0) return nullptr;
  if (log.failAfter > 0) --log.failAfter;
  void* p = std::malloc(bytes);
  log.blocks.push_back(p);
  return p;
}

inline void LoggedRelease(void* p) {
  Log().released.push_back(p);
  std::free(p);
}

// Installs the logging heap for one scope.
class ScopedHeap {
 public:
  explicit ScopedHeap(int failAfter = -1) : saved_(zentra::LibraryHeap) {
    Log() = HeapLog{};
    Log().failAfter = failAfter;
    zentra::LibraryHeap = {&LoggedAllocate, &LoggedRelease};
  }
  ~ScopedHeap() { zentra::LibraryHeap = saved_; }
  ScopedHeap(const ScopedHeap&) = delete;
  ScopedHeap& operator=(const ScopedHeap&) = delete;

 private:
  zentra::CHeap saved_;
};

}  // namespace zentra_test
