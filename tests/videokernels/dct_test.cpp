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

using Block = std::array<std::int16_t, 64>;

// ---- Lane arithmetic of the fixed-point kernels, one value at a time.

int Sat16(std::int64_t v) { return v < -32768 ? -32768 : v > 32767 ? 32767 : static_cast<int>(v); }
int AddS(int a, int b) { return Sat16(std::int64_t{a} + b); }
int SubS(int a, int b) { return Sat16(std::int64_t{a} - b); }
int HiM(int x, int m) { return (x * m) >> 16; }
int Shl16(int x, int n) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(x << n)); }

// The coefficient matrices, computed here from their definition.
int Coefficient(int cls, int k, int n) {
  const double s = cls == 0 ? 1.0 : std::sqrt(2.0) * std::cos(cls * M_PI / 16.0);
  const double c = k == 0 ? 1.0 : std::sqrt(2.0) * std::cos((2 * n + 1) * k * M_PI / 16.0);
  return static_cast<int>(std::lround(16384.0 * s * c));
}
constexpr int kClass[8] = {0, 1, 2, 3, 0, 3, 2, 1};
constexpr int kRounder[8] = {65536, 5802, 4520, 3408, 2048, 910, 1024, 746};

// Forward transform from its formulas; the row sums are exact (the kernel keeps
// them from wrapping), then narrowed with saturation.
Block ModelForward(const Block& in) {
  int t[8][8];
  for (int c = 0; c < 8; ++c) {
    int x[8];
    for (int i = 0; i < 8; ++i) x[i] = in[8 * i + c];
    const int t0 = Shl16(AddS(x[0], x[7]), 3), t1 = Shl16(AddS(x[1], x[6]), 3);
    const int t2 = Shl16(AddS(x[2], x[5]), 3), t3 = Shl16(AddS(x[3], x[4]), 3);
    const int d0 = Shl16(SubS(x[0], x[7]), 3), d3 = Shl16(SubS(x[3], x[4]), 3);
    const int d1 = Shl16(SubS(x[1], x[6]), 4), d2 = Shl16(SubS(x[2], x[5]), 4);
    t[0][c] = AddS(AddS(t0, t3), AddS(t1, t2));
    t[4][c] = SubS(AddS(t0, t3), AddS(t1, t2));
    t[2][c] = AddS(SubS(t0, t3), HiM(SubS(t1, t2), 27146)) | 1;
    t[6][c] = SubS(HiM(SubS(t0, t3), 27146), SubS(t1, t2)) | 1;
    const int p = HiM(AddS(d1, d2), 23170) | 1, q = HiM(SubS(d1, d2), 23170);
    const int m = AddS(d3, q), n = SubS(d3, q), s = AddS(d0, p), r = SubS(d0, p);
    t[1][c] = AddS(HiM(m, 13036), s) | 1;
    t[7][c] = SubS(HiM(s, 13036), m);
    t[3][c] = SubS(r, AddS(HiM(n, -21746), n));
    t[5][c] = AddS(AddS(HiM(r, -21746), r), n);
  }
  Block out{};
  for (int row = 0; row < 8; ++row) {
    const int* x = t[row];
    for (int k = 0; k < 8; ++k) {
      std::int64_t y = 0;
      for (int i = 0; i < 4; ++i) {
        const int v = (k % 2 == 0) ? AddS(x[i], x[7 - i]) : SubS(x[i], x[7 - i]);
        y += std::int64_t{Coefficient(kClass[row], k, i)} * v;
      }
      out[8 * row + k] = static_cast<std::int16_t>(Sat16((y + 524288) >> 20));
    }
  }
  return out;
}

// Inverse transform from its formulas; its 32-bit row sums wrap as the kernel's do.
Block ModelInverse(const Block& in) {
  int X[8][8];
  for (int row = 0; row < 8; ++row) {
    for (int j = 0; j < 4; ++j) {
      std::int64_t e = 0, o = 0;
      for (int k = 0; k < 8; k += 2) e += std::int64_t{Coefficient(kClass[row], k, j)} * in[8 * row + k];
      for (int k = 1; k < 8; k += 2) o += std::int64_t{Coefficient(kClass[row], k, j)} * in[8 * row + k];
      auto wrap = [](std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); };
      X[row][j] = Sat16(wrap(e + kRounder[row] + o) >> 12);
      X[row][7 - j] = Sat16(wrap(e + kRounder[row] - o) >> 12);
    }
  }
  Block out{};
  for (int c = 0; c < 8; ++c) {
    int x[8];
    for (int i = 0; i < 8; ++i) x[i] = X[i][c];
    const int u = AddS(x[3], AddS(HiM(x[5], -21746), x[5]));
    const int v = SubS(x[5], AddS(HiM(x[3], -21746), x[3]));
    const int z = AddS(x[1], HiM(x[7], 13036)), w = SubS(HiM(x[1], 13036), x[7]);
    const int a = AddS(z, u), b = SubS(z, u), cc = SubS(w, v), d = AddS(w, v);
    const int g = AddS(AddS(b, cc), HiM(AddS(b, cc), -19195));
    const int h = AddS(SubS(b, cc), HiM(SubS(b, cc), -19195));
    const int e = AddS(x[2], HiM(x[6], 27146)), f = SubS(HiM(x[2], 27146), x[6]);
    const int e0 = AddS(AddS(x[0], x[4]), e), e3 = SubS(AddS(x[0], x[4]), e);
    const int e1 = AddS(SubS(x[0], x[4]), f), e2 = SubS(SubS(x[0], x[4]), f);
    const int r[8] = {AddS(e0, a), AddS(e1, g), AddS(e2, h), AddS(e3, d),
                      SubS(e3, d), SubS(e2, h), SubS(e1, g), SubS(e0, a)};
    for (int i = 0; i < 8; ++i) out[8 * i + c] = static_cast<std::int16_t>(r[i] >> 5);
  }
  return out;
}

// cos((2x+1)u*pi/16) * C(u) / 2 at [x][u], in long double.
struct CosTable {
  long double c[8][8];
  CosTable() {
    for (int x = 0; x < 8; ++x)
      for (int u = 0; u < 8; ++u) c[x][u] = std::cos((2 * x + 1) * u * M_PIl / 16) * (u == 0 ? 1 / std::sqrt(2.0L) : 1) / 2;
  }
};
const CosTable kCos;

// Double-precision DCT of the standard's normalisation.
std::array<double, 64> ReferenceForward(const Block& in) {
  long double rows[64];
  for (int y = 0; y < 8; ++y)
    for (int u = 0; u < 8; ++u) {
      long double s = 0;
      for (int x = 0; x < 8; ++x) s += in[8 * y + x] * kCos.c[x][u];
      rows[8 * y + u] = s;
    }
  std::array<double, 64> out{};
  for (int v = 0; v < 8; ++v)
    for (int u = 0; u < 8; ++u) {
      long double s = 0;
      for (int y = 0; y < 8; ++y) s += rows[8 * y + u] * kCos.c[y][v];
      out[8 * v + u] = static_cast<double>(s);
    }
  return out;
}

std::array<double, 64> ReferenceInverse(const Block& in) {
  long double rows[64];
  for (int v = 0; v < 8; ++v)
    for (int x = 0; x < 8; ++x) {
      long double s = 0;
      for (int u = 0; u < 8; ++u) s += in[8 * v + u] * kCos.c[x][u];
      rows[8 * v + x] = s;
    }
  std::array<double, 64> out{};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      long double s = 0;
      for (int v = 0; v < 8; ++v) s += rows[8 * v + x] * kCos.c[y][v];
      out[8 * y + x] = static_cast<double>(s);
    }
  return out;
}

Block RandomBlock(std::mt19937& rng, int lo, int hi) {
  Block b{};
  std::uniform_int_distribution<int> d(lo, hi);
  for (auto& v : b) v = static_cast<std::int16_t>(d(rng));
  return b;
}

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
  EXPECT_EQ(Fdct8x8Table.slot[5], &Fdct8x8_Fpu);
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

// ---- The floating-point builds.

TEST(DctFpu, ForwardWithinOneOfTheDoublePrecisionTransform) {
  std::mt19937 rng(5);
  for (int n = 0; n < 3000; ++n) {
    const Block in = RandomBlock(rng, -256, 255);
    Block out = in;
    Fdct8x8_Fpu(out.data());
    const auto ref = ReferenceForward(in);
    for (int i = 0; i < 64; ++i) ASSERT_LE(std::abs(out[i] - ref[i]), 1.0) << i;
  }
}

TEST(DctFpu, InverseRoundsAndClampsTheExactTransform) {
  std::mt19937 rng(6);
  for (int n = 0; n < 3000; ++n) {
    const Block in = RandomBlock(rng, -400, 400);
    Block out = in;
    Idct8x8_Fpu(out.data());
    const auto ref = ReferenceInverse(in);
    for (int i = 0; i < 64; ++i)
      ASSERT_LE(std::abs(out[i] - Clamp(std::floor(ref[i] + 0.5), -256.0, 255.0)), n % 2 ? 0.0 : 1.0) << i;
  }
}

// The clamp table has 2048 entries; coefficients that drive an output far
// beyond them clamp instead of indexing outside it.
TEST(DctFpu, ExtremeCoefficientsClampToThePixelRange) {
  Block high{};
  high[0] = 32767;
  Idct8x8_Fpu(high.data());
  for (auto v : high) ASSERT_EQ(v, 255);
  Block low{};
  low[0] = -32768;
  low[9] = -32768;
  Idct8x8_Fpu(low.data());
  for (auto v : low) ASSERT_GE(v, -256);
  EXPECT_EQ(low[0], -256);
}

TEST(DctFpu, OnlyTheLastCoefficientAtOneClearsTheBlock) {
  Block b{};
  b[63] = 1;
  Idct8x8_Fpu(b.data());
  EXPECT_EQ(b, Block{});
}

}  // namespace
