#include "picture_pool.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/buffer.h>
}

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define QUILL_POOL_RED_ZONE 64
#else
#define QUILL_POOL_RED_ZONE 0
#define ASAN_POISON_MEMORY_REGION(at, bytes) ((void)(at), (void)(bytes))
#define ASAN_UNPOISON_MEMORY_REGION(at, bytes) ((void)(at), (void)(bytes))
#endif

namespace outside {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kAlign = 64;
// Only the pages written to are resident, so a block may be larger than its pictures need.
constexpr std::size_t kBlockBytes = std::size_t{64} << 20;
// Under the address sanitizer a poisoned gap follows each picture, so that reading or
// writing past one is still caught as it is in memory of its own.
constexpr std::size_t kRedZone = QUILL_POOL_RED_ZONE;

// Called by the pool under its own lock, so the blocks need none.
struct Blocks {
  std::size_t pictureBytes = 0;  // a picture's bytes, with its red zone where there is one
  std::vector<std::pair<void*, std::size_t>> mapped;  // base and length, for munmap
  unsigned char* next = nullptr;  // the free rest of the last block
  std::size_t left = 0;

  ~Blocks() {
    for (auto& [base, length] : mapped) {
      ASAN_UNPOISON_MEMORY_REGION(base, length);
      munmap(base, length);
    }
  }

  bool Grow() {
    const std::size_t length = std::max(kBlockBytes, pictureBytes) + kHugePage;
    void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return false;
    mapped.emplace_back(base, length);
    // Start on a huge-page boundary; where the system gives no huge pages the advice is
    // refused and the block works in small pages as any other memory.
    const auto start = (reinterpret_cast<std::uintptr_t>(base) + kHugePage - 1) & ~(kHugePage - 1);
    next = reinterpret_cast<unsigned char*>(start);
    left = length - (start - reinterpret_cast<std::uintptr_t>(base));
    madvise(next, left & ~(kHugePage - 1), MADV_HUGEPAGE);
    return true;
  }
};

void KeepInBlock(void*, std::uint8_t*) {}  // the block is unmapped with the pool

AVBufferRef* Carve(void* opaque, std::size_t size) {
  auto* blocks = static_cast<Blocks*>(opaque);
  if (size + kRedZone > blocks->pictureBytes) return nullptr;
  if (blocks->left < blocks->pictureBytes && !blocks->Grow()) return nullptr;
  AVBufferRef* buffer = av_buffer_create(blocks->next, size, KeepInBlock, nullptr, 0);
  if (!buffer) return nullptr;
  ASAN_POISON_MEMORY_REGION(blocks->next + size, blocks->pictureBytes - size);
  blocks->next += blocks->pictureBytes;
  blocks->left -= blocks->pictureBytes;
  return buffer;
}

void FreeBlocks(void* opaque) { delete static_cast<Blocks*>(opaque); }

}  // namespace

PicturePool::PicturePool(std::size_t pictureBytes) {
  auto* blocks = new (std::nothrow) Blocks;
  if (!blocks) return;
  blocks->pictureBytes = ((pictureBytes + kAlign - 1) & ~(kAlign - 1)) + kRedZone;
  pool_ = av_buffer_pool_init2(pictureBytes, blocks, Carve, FreeBlocks);
  if (!pool_) delete blocks;
}

PicturePool::~PicturePool() { av_buffer_pool_uninit(&pool_); }

AVBufferRef* PicturePool::Get() { return pool_ ? av_buffer_pool_get(pool_) : nullptr; }

}  // namespace outside
