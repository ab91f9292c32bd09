#include <support/kernel_test.h>
#include <zentra/kernel_arithmetic.h>
#include <zentra/video_blocks.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

using namespace zentra;
using zentra_test::GuardedBuffer;

namespace {

std::uint8_t Lane(__m128i v, int i) {
  alignas(16) std::uint8_t b[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(b), v);
  return b[i];
}

TEST(KernelArithmetic, ByteAveragesOfEveryPairMatchTheirFormulas) {
  for (int a = 0; a < 256; ++a) {
    alignas(16) std::uint8_t bs[256];
    for (int b = 0; b < 256; ++b) bs[b] = static_cast<std::uint8_t>(b);
    for (int k = 0; k < 256; k += 16) {
      const __m128i va = _mm_set1_epi8(static_cast<char>(a));
      const __m128i vb = _mm_load_si128(reinterpret_cast<const __m128i*>(bs + k));
      const __m128i down = AverageDownEpu8(va, vb);
      for (int i = 0; i < 16; ++i) ASSERT_EQ(Lane(down, i), (a + k + i) >> 1) << a << " " << k + i;
    }
  }
}

TEST(KernelArithmetic, ExactFourSampleAverageOfBytesMatchesItsFormula) {
  std::mt19937 rng(4);
  for (int n = 0; n < 20000; ++n) {
    alignas(16) std::uint8_t q[4][16];
    for (auto& row : q)
      for (auto& b : row) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? (rng() & 1) * 255 : rng());
    auto load = [&](int r) { return _mm_load_si128(reinterpret_cast<const __m128i*>(q[r])); };
    const __m128i exact = AverageExact4Epu8(load(0), load(1), load(2), load(3));
    const __m128i twice = AverageUpTwiceEpu8(load(0), load(1), load(2), load(3));
    for (int i = 0; i < 16; ++i) {
      ASSERT_EQ(Lane(exact, i), AverageExact4(q[0][i], q[1][i], q[2][i], q[3][i]));
      ASSERT_EQ(Lane(twice, i), AverageUpTwice(q[0][i], q[1][i], q[2][i], q[3][i]));
    }
  }
  // The pinned case where the two forms part: neighbours 0, 0, 0, 1.
  EXPECT_EQ(AverageExact4(0, 0, 0, 1), 0);
  EXPECT_EQ(AverageUpTwice(0, 0, 0, 1), 1);
}

TEST(KernelArithmetic, SaturationAndHighHalfProducts) {
  EXPECT_EQ(SaturateU8(-1), 0);
  EXPECT_EQ(SaturateU8(256), 255);
  EXPECT_EQ(AddSat16(32767, 1), 32767);
  EXPECT_EQ(SubSat16(-32768, 1), -32768);
  EXPECT_EQ(SaturateS16(-40000), -32768);
  EXPECT_EQ(MulHigh16(-1, 13036), -1);  // floor, as pmulhw
  EXPECT_EQ(MulHigh16(32767, 32767), 16383);
}

TEST(HalfPel, ExactPredictionByModeAndRoundControl) {
  // r[0]=10, right 13, below 20, below-right 1 (row step 4).
  const std::uint8_t r[8] = {10, 13, 0, 0, 20, 1, 0, 0};
  EXPECT_EQ(HalfPelExact(r, 4, kHalfPelFull), 10);
  EXPECT_EQ(HalfPelExact(r, 4, kHalfPelHorizontal), 12);
  EXPECT_EQ(HalfPelExact(r, 4, kHalfPelHorizontal, 1), 11);
  EXPECT_EQ(HalfPelExact(r, 4, kHalfPelVertical), 15);
  EXPECT_EQ(HalfPelExact(r, 4, kHalfPelBoth), 11);     // 44 + 2 >> 2
  EXPECT_EQ(HalfPelExact(r, 4, kHalfPelBoth, 1), 11);  // 44 + 1 >> 2
  EXPECT_EQ(HalfPelExact(r, 4, kHalfPelBoth | 3), 11);  // bits other than 2-3 ignored
}

TEST(GuardedBufferDeathTest, TouchingPastEitherEndFaults) {
  GuardedBuffer after(100);
  after.data()[99] = 1;
  EXPECT_DEATH({ volatile std::uint8_t v = after.data()[100]; (void)v; }, "");
  GuardedBuffer before(100, GuardedBuffer::Guard::Before);
  before.data()[0] = 1;
  EXPECT_DEATH({ volatile std::uint8_t v = before.data()[-1]; (void)v; }, "");
}

}  // namespace
