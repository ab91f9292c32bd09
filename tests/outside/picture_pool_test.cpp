// The pool the pictures waiting in runs come from: buffers carved from large blocks must
// never overlap, must keep their alignment, come back for reuse, and stay valid while a
// picture still holds one after the pool itself is gone.
#include <gtest/gtest.h>

#include <encoders/picture_pool.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

extern "C" {
#include <libavutil/buffer.h>
}

namespace {

using outside::PicturePool;

struct Unref {
  void operator()(AVBufferRef* b) const { av_buffer_unref(&b); }
};
using Held = std::unique_ptr<AVBufferRef, Unref>;

TEST(PicturePoolTest, BuffersAcrossSeveralBlocksAreAlignedDistinctAndKeepWhatWasWritten) {
  // A picture of odd size, and enough of them to need more than one block.
  constexpr std::size_t kBytes = 1000003;
  PicturePool pool(kBytes);
  std::vector<Held> held;
  for (int i = 0; i < 150; ++i) {
    held.emplace_back(pool.Get());
    ASSERT_TRUE(held.back()) << i;
    AVBufferRef* b = held.back().get();
    EXPECT_GE(b->size, kBytes);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b->data) % 64, 0u) << i;
    std::memset(b->data, i, 64);
    std::memset(b->data + kBytes - 64, i, 64);
  }
  std::vector<std::pair<std::uint8_t*, std::uint8_t*>> ranges;
  for (const Held& b : held) ranges.emplace_back(b->data, b->data + kBytes);
  std::sort(ranges.begin(), ranges.end());
  for (std::size_t i = 1; i < ranges.size(); ++i) EXPECT_LE(ranges[i - 1].second, ranges[i].first) << i;
  for (std::size_t i = 0; i < held.size(); ++i) {
    const std::uint8_t* d = held[i]->data;
    EXPECT_TRUE(std::all_of(d, d + 64, [&](std::uint8_t v) { return v == static_cast<std::uint8_t>(i); })) << i;
    EXPECT_TRUE(std::all_of(d + kBytes - 64, d + kBytes, [&](std::uint8_t v) { return v == static_cast<std::uint8_t>(i); }))
        << i;
  }
}

TEST(PicturePoolTest, ReleasedBuffersAreReusedRatherThanNewOnesCarved) {
  PicturePool pool(4096 * 3);
  std::set<std::uint8_t*> first;
  std::vector<Held> held;
  for (int i = 0; i < 8; ++i) {
    held.emplace_back(pool.Get());
    ASSERT_TRUE(held.back());
    first.insert(held.back()->data);
  }
  held.clear();
  for (int i = 0; i < 8; ++i) {
    held.emplace_back(pool.Get());
    ASSERT_TRUE(held.back());
    EXPECT_EQ(first.count(held.back()->data), 1u) << "a new buffer while released ones were there";
  }
}

TEST(PicturePoolTest, APictureOutlivesThePoolItCameFrom) {
  Held kept;
  {
    PicturePool pool(720 * 576 * 3 / 2);
    Held other(pool.Get());
    kept.reset(pool.Get());
    ASSERT_TRUE(kept && other);
  }
  // The encoder may still hold a picture when the run's session is freed.
  std::memset(kept->data, 0x5a, kept->size);
  EXPECT_EQ(kept->data[kept->size - 1], 0x5a);
  kept.reset();  // the blocks go with the last picture
}

// Pictures share their blocks, so without a gap of its own an overrun of one picture would
// land in the next unseen.
TEST(PicturePoolDeathTest, UnderTheSanitizerWritingPastAPictureIsCaught) {
#if defined(__SANITIZE_ADDRESS__)
  PicturePool pool(1000);
  Held first(pool.Get()), second(pool.Get());
  ASSERT_TRUE(first && second);
  first->data[first->size - 1] = 1;  // the picture's own last byte
  EXPECT_DEATH(
      {
        volatile std::uint8_t* past = first->data + first->size;
        *past = 1;
      },
      "AddressSanitizer");
#else
  GTEST_SKIP() << "only the sanitizer build watches the pictures' bounds";
#endif
}

}  // namespace
