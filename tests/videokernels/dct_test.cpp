#include "dct_models.h"

#include <support/kernel_test.h>
#include <zentra/dct_kernels.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>

using namespace zentra;
using namespace zentra_test;

namespace {

using Kernel = void (*)(const std::int16_t*, std::int16_t*);
struct KernelFormula {
  Block (*model)(const Block&);
  int lo, hi;  // the input range of the random blocks
};
using KernelBuild = Build<Kernel, KernelFormula>;

class DctKernelTest : public BuildTest<KernelBuild> {};

TEST_P(DctKernelTest, RandomBlocksMatchTheFormulaBitForBit) {
  std::mt19937 rng(1180);
  const KernelFormula& f = build().formula;
  for (int n = 0; n < 20000; ++n) {
    // Mostly the working range, sometimes anything a 16-bit value holds.
    const Block in = n % 4 == 3 ? RandomBlock(rng, -32768, 32767) : RandomBlock(rng, f.lo, f.hi);
    Block out{};
    build().fn(in.data(), out.data());
    ASSERT_EQ(out, f.model(in)) << "block " << n;
    Block inPlace = in;
    build().fn(inPlace.data(), inPlace.data());
    ASSERT_EQ(inPlace, out);
  }
}

// Both operands at the end of a page, then at its start: nothing outside the
// 128 bytes is touched.
TEST_P(DctKernelTest, TouchesOnlyTheBlock) {
  std::mt19937 rng(3);
  for (auto guard : {GuardedBuffer::Guard::After, GuardedBuffer::Guard::Before}) {
    GuardedBuffer src(128, guard), dst(128, guard);
    const Block in = RandomBlock(rng, build().formula.lo, build().formula.hi);
    std::memcpy(src.data(), in.data(), 128);
    build().fn(src.as<std::int16_t>(), dst.as<std::int16_t>());
    Block out;
    std::memcpy(out.data(), dst.data(), 128);
    EXPECT_EQ(out, build().formula.model(in));
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, DctKernelTest,
                         ::testing::Values(KernelBuild{"Dct8x8Forward", &Dct8x8Forward, Isa::Sse2, {&ModelForward, -256, 255}},
                                           KernelBuild{"Dct8x8Inverse", &Dct8x8Inverse, Isa::Sse2, {&ModelInverse, -2048, 2047}},
                                           KernelBuild{"Dct8x8InverseSse2", &Dct8x8InverseSse2, Isa::Sse2,
                                                       {&ModelInverse, -2048, 2047}}),
                         BuildName());

TEST(Dct, InverseSse2GivesTheSameAtAlignedAndTwoByteAlignedAddresses) {
  std::mt19937 rng(2);
  alignas(16) std::int16_t buffer[72];
  for (int n = 0; n < 1000; ++n) {
    const Block in = RandomBlock(rng, -2048, 2047);
    std::memcpy(buffer, in.data(), 128);
    Dct8x8InverseInPlaceSse2(buffer);
    std::memcpy(buffer + 1, in.data(), 128);
    Dct8x8InverseInPlaceSse2(buffer + 1);
    ASSERT_EQ(std::memcmp(buffer + 1, ModelInverse(in).data(), 128), 0);
    Block aligned = in;
    Dct8x8InverseSse2(in.data(), aligned.data());
    ASSERT_EQ(aligned, ModelInverse(in));
  }
}

TEST(Dct, ForwardEdgeCases) {
  Block zero{};
  Fdct8x8(zero.data());
  EXPECT_EQ(zero, Block{});
  for (int v : {-256, -1, 1, 100, 255}) {
    Block flat;
    flat.fill(static_cast<std::int16_t>(v));
    EXPECT_EQ(Fdct8x8(flat.data()), StatusOk);
    Block expected{};
    expected[0] = static_cast<std::int16_t>(8 * v);
    EXPECT_EQ(flat, expected) << v;
  }
}

// Flat blocks of 256 and more used to wrap the row stage's 32-bit sums into
// negative DC values; now the stage's saturated inputs give the saturated DC.
TEST(Dct, ForwardRowStageSaturatesAbove255InsteadOfWrapping) {
  for (int v : {256, 300, 1000, 2047}) {
    for (int sign : {1, -1}) {
      Block flat;
      flat.fill(static_cast<std::int16_t>(sign * v));
      Fdct8x8(flat.data());
      Block expected{};
      expected[0] = static_cast<std::int16_t>(sign * 2048);
      EXPECT_EQ(flat, expected) << sign * v;
    }
  }
}

TEST(Dct, ForwardWithinOneOfTheDoublePrecisionTransform) {
  std::mt19937 rng(64);
  for (int n = 0; n < 3000; ++n) {
    const Block in = RandomBlock(rng, -256, 255);
    Block out = in;
    Fdct8x8(out.data());
    const auto ref = ReferenceForward(in);
    for (int i = 0; i < 64; ++i) ASSERT_LE(std::abs(out[i] - ref[i]), 1.0) << "block " << n << " coefficient " << i;
  }
}

TEST(Dct, InverseOfADcAloneIsFlat) {
  for (int v = -1023; v <= 1023; v += 31) {
    Block b{};
    b[0] = static_cast<std::int16_t>(8 * v);
    EXPECT_EQ(Idct8x8(b.data()), StatusOk);
    Block expected;
    expected.fill(static_cast<std::int16_t>(v));
    ASSERT_EQ(b, expected) << v;
  }
}

TEST(Dct, NullBlocksAreRefused) {
  EXPECT_EQ(Fdct8x8(nullptr), StatusNullPointer);
  EXPECT_EQ(Idct8x8(nullptr), StatusNullPointer);
  EXPECT_EQ(Dct8x8ForwardInPlace(nullptr), StatusNullPointer);
  EXPECT_EQ(Dct8x8InverseInPlace(nullptr), StatusNullPointer);
  EXPECT_EQ(Dct8x8InverseInPlaceSse2(nullptr), StatusNullPointer);
}

TEST(Dct, RunningBuildsSitInSlotOne) {
  EXPECT_EQ(Fdct8x8Table.slot[kEngineSlotRunning], &Fdct8x8_Ipp);
  EXPECT_EQ(Idct8x8Table.slot[kEngineSlotRunning], &Idct8x8_IppSse2);
  EXPECT_EQ(Idct8x8Table.slot[3], &Idct8x8_IppMmx);
  EXPECT_EQ(Idct8x8Table.slot[5], &Idct8x8_Fpu);
  EXPECT_EQ(Idct8x8Table.slot[2], &Idct8x8_Mmx);
  EXPECT_EQ(Fdct8x8Table.slot[4], &Fdct8x8_CA);
  EXPECT_EQ(Fdct8x8Table.slot[5], &Fdct8x8_Fpu);
  EXPECT_EQ(Fdct8x8Table.slot[6], &Fdct8x8_CB);
}

// ---- IEEE 1180 accuracy of the running inverse transform.

class Ieee1180Random {
 public:
  int Next(int lo, int hi) {
    randx_ = randx_ * 1103515245 + 12345;
    const long i = static_cast<long>(randx_ & 0x7ffffffe);
    double x = static_cast<double>(i) / static_cast<double>(0x7fffffff);
    x *= lo + hi + 1;
    return static_cast<int>(x) - lo;
  }

 private:
  unsigned long randx_ = 1;
};

struct Ieee1180Case {
  int lo, hi, sign;
};

class Ieee1180Test : public ::testing::TestWithParam<Ieee1180Case> {};

TEST_P(Ieee1180Test, RunningIdctMeetsTheAccuracyLimits) {
  const Ieee1180Case c = GetParam();
  Ieee1180Random rng;
  constexpr int kBlocks = 10000;
  double errSum[64] = {}, errSq[64] = {};
  int peak = 0;
  for (int n = 0; n < kBlocks; ++n) {
    Block spatial{};
    for (auto& v : spatial) v = static_cast<std::int16_t>(c.sign * rng.Next(c.lo, c.hi));
    const auto coef = ReferenceForward(spatial);
    Block in{};
    for (int i = 0; i < 64; ++i) in[i] = static_cast<std::int16_t>(Clamp(std::floor(coef[i] + 0.5), -2048.0, 2047.0));
    const auto ref = ReferenceInverse(in);
    Block out = in;
    ASSERT_EQ(Idct8x8(out.data()), StatusOk);
    for (int i = 0; i < 64; ++i) {
      const int r = static_cast<int>(Clamp(std::floor(ref[i] + 0.5), -256.0, 255.0));
      const int t = Clamp<int>(out[i], -256, 255);
      const int e = t - r;
      peak = std::max(peak, std::abs(e));
      errSum[i] += e;
      errSq[i] += e * e;
    }
  }
  double totalSum = 0, totalSq = 0;
  for (int i = 0; i < 64; ++i) {
    EXPECT_LE(errSq[i] / kBlocks, 0.06) << "mean square error at " << i;
    EXPECT_LE(std::abs(errSum[i]) / kBlocks, 0.015) << "mean error at " << i;
    totalSum += errSum[i];
    totalSq += errSq[i];
  }
  EXPECT_LE(peak, 1);
  EXPECT_LE(totalSq / (64.0 * kBlocks), 0.02);
  EXPECT_LE(std::abs(totalSum) / (64.0 * kBlocks), 0.0015);
}

INSTANTIATE_TEST_SUITE_P(Ranges, Ieee1180Test,
                         ::testing::Values(Ieee1180Case{256, 255, 1}, Ieee1180Case{256, 255, -1}, Ieee1180Case{5, 5, 1},
                                           Ieee1180Case{5, 5, -1}, Ieee1180Case{300, 300, 1},
                                           Ieee1180Case{300, 300, -1}),
                         [](const auto& info) {
                           return "Range" + std::to_string(info.param.hi) + (info.param.sign > 0 ? "Plus" : "Minus");
                         });

TEST(Ieee1180, ZeroInGivesZeroOut) {
  Block b{};
  Idct8x8(b.data());
  EXPECT_EQ(b, Block{});
}

// Both passes with the class-0 matrix: rows (+2048) >> 12 saturated, columns
// (+0x40000) >> 19, 32-bit sums.
Block ModelIdctMmx(const Block& in) {
  auto wrap = [](std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); };
  int rows[64];
  for (int r = 0; r < 8; ++r)
    for (int n = 0; n < 8; ++n) {
      std::int64_t s = 2048;
      for (int k = 0; k < 8; ++k) s += std::int64_t{Coefficient(0, k, n)} * in[8 * r + k];
      rows[8 * r + n] = Sat16(wrap(s) >> 12);
    }
  Block out{};
  for (int c = 0; c < 8; ++c)
    for (int n = 0; n < 8; ++n) {
      std::int64_t s = 0x40000;
      for (int k = 0; k < 8; ++k) s += std::int64_t{Coefficient(0, k, n)} * rows[8 * k + c];
      out[8 * n + c] = static_cast<std::int16_t>(Sat16(wrap(s) >> 19));
    }
  return out;
}

TEST(IdctMmx, RandomBlocksMatchTheFormulaAndStayNearTheExactTransform) {
  if (!IsaAvailable(Isa::Sse2)) GTEST_SKIP();
  std::mt19937 rng(18);
  for (int n = 0; n < 5000; ++n) {
    const Block in = n % 4 == 3 ? RandomBlock(rng, -32768, 32767) : RandomBlock(rng, -2048, 2047);
    Block out = in;
    Idct8x8_Mmx(out.data());
    ASSERT_EQ(out, ModelIdctMmx(in)) << n;
    if (n % 4 != 3 && n % 2 == 0) {
      const Block small = RandomBlock(rng, -40, 40);
      Block got = small;
      Idct8x8_Mmx(got.data());
      const auto ref = ReferenceInverse(small);
      for (int i = 0; i < 64; ++i) ASSERT_LE(std::abs(got[i] - ref[i]), 1.0) << i;
    }
  }
}

}  // namespace
