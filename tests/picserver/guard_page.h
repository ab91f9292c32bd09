// A buffer whose last byte sits just before an inaccessible page, so that a
// read or write one byte past it faults at once.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace zentra_test {

class GuardedBuffer {
 public:
  explicit GuardedBuffer(std::size_t bytes) : bytes_(bytes) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    mapped_ = (bytes + page - 1) / page * page + page;
    void* m = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) throw std::runtime_error("mmap");
    base_ = static_cast<std::uint8_t*>(m);
    if (mprotect(base_ + mapped_ - page, page, PROT_NONE) != 0) throw std::runtime_error("mprotect");
    data_ = base_ + mapped_ - page - bytes;
  }
  ~GuardedBuffer() { munmap(base_, mapped_); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  std::uint8_t* data() { return data_; }
  std::size_t size() const { return bytes_; }
  void Fill(const void* from) { std::memcpy(data_, from, bytes_); }

 private:
  std::uint8_t* base_ = nullptr;
  std::uint8_t* data_ = nullptr;
  std::size_t mapped_ = 0;
  std::size_t bytes_ = 0;
};

}  // namespace zentra_test
