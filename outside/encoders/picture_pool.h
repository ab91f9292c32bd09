// Buffers for the pictures that wait in runs of GOPs. Hundreds are held at once, so they
// are carved from large blocks that the system may back with huge pages: faulting each new
// picture's pages in 4 KB at a time cost the converting thread more than copying the
// picture into them.
#pragma once

#include <cstddef>

extern "C" {
struct AVBufferPool;
struct AVBufferRef;
}

namespace outside {

class PicturePool {
 public:
  explicit PicturePool(std::size_t pictureBytes);
  // The blocks go once the last picture taken from them has been released.
  ~PicturePool();
  PicturePool(const PicturePool&) = delete;
  PicturePool& operator=(const PicturePool&) = delete;

  // A buffer of at least pictureBytes, its data aligned to 64 bytes; nullptr when the
  // memory is not there.
  AVBufferRef* Get();

 private:
  AVBufferPool* pool_ = nullptr;
};

}  // namespace outside
