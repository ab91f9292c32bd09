// The single-precision 1-D engine: accuracy against a long-double reference,
// agreement of the builds, every normalisation, the argument checks, the work
// buffer's limits, each build's plans and tables, the small-order kernels and
// the permutations, layouts and scaling of the passes. The image transform has
// its own file.
#include <zentra/fft_primitives.h>
#include <zentra/fft_spec32fc.h>

#include "test_heap.h"
#include "fft_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace zentra;
using zentra_test::ForcedBuild;
using zentra_test::LongComplex;
using zentra_test::Log;
using zentra_test::ScopedHeap;

std::size_t Outstanding() { return Log().blocks.size() - Log().released.size(); }

using InitSpecFn = PrimitiveStatus (*)(FftSpec32fc**, std::int32_t, std::int32_t, std::int32_t);
using Inv1DFn = PrimitiveStatus (*)(const float*, float*, const FftSpec32fc*, std::uint8_t*);
const InitSpecFn kInitSpec[] = {nullptr, FftInitSpec32fc_V1, FftInitSpec32fc_V2, FftInitSpec32fc_V3,
                                FftInitSpec32fc_V4};
const Inv1DFn kInv1D[] = {nullptr, FftInv1D32fc_V1, FftInv1D32fc_V2, FftInv1D32fc_V3, FftInv1D32fc_V4};

std::vector<float> RandomInterleaved(std::size_t points, unsigned seed) {
  const zentra_test::SplitSignal s = zentra_test::RandomSignal(points, seed);
  std::vector<float> v(2 * points);
  for (std::size_t i = 0; i < points; ++i) v[2 * i] = static_cast<float>(s.re[i]), v[2 * i + 1] = static_cast<float>(s.im[i]);
  return v;
}

zentra_test::SplitSignal Split(const std::vector<float>& v) {
  zentra_test::SplitSignal s(v.size() / 2);
  for (std::size_t i = 0; i < s.size(); ++i) s.re[i] = v[2 * i], s.im[i] = v[2 * i + 1];
  return s;
}

long double FactorOf(std::int32_t flag, std::size_t points) {
  if (flag == FftDivInverseByN) return 1.0L / points;
  if (flag == FftDivBySqrtN) return 1.0L / std::sqrt(static_cast<long double>(points));
  return 1.0L;
}

// Owns a 1-D record of one build.
struct Spec1D {
  FftSpec32fc* record = nullptr;
  Spec1D(std::int32_t build, std::int32_t order, std::int32_t flag) {
    EXPECT_EQ(kInitSpec[build](&record, order, flag, 0), StatusOk);
  }
  ~Spec1D() { FftSpecFree32fc(record); }
};

class Fft32fcTest : public zentra_test::FftBuildTest {
 protected:
  std::vector<float> Inverse(const std::vector<float>& x, std::int32_t order, std::int32_t flag,
                             std::int32_t build = 0) {
    if (build == 0) build = index();
    Spec1D s(build, order, flag);
    std::vector<float> y(x.size());
    EXPECT_EQ(kInv1D[build](x.data(), y.data(), s.record, nullptr), StatusOk);
    return y;
  }
};

TEST_P(Fft32fcTest, OrdersUpTo20MatchTheReference) {
  for (std::int32_t order = 0; order <= 20; ++order) {
    const std::size_t points = std::size_t{1} << order;
    const std::vector<float> x = RandomInterleaved(points, 100 + order);
    const auto ref = zentra_test::ReferenceInverseDft(Split(x));
    const double bound = 3e-7 * std::max(order, 1);
    for (std::int32_t flag : {8, 1, 2, 4}) {
      if (order > 14 && (flag == 1 || flag == 4)) continue;  // the scaled paths are the same code
      const double err = zentra_test::RelativeRmsError(Split(Inverse(x, order, flag)), ref, FactorOf(flag, points));
      EXPECT_LE(err, bound) << "order " << order << " flag " << flag;
    }
  }
}

TEST_P(Fft32fcTest, BuildsAgreeWithBuild1) {
  if (index() == 1) GTEST_SKIP() << "the reference build";
  for (std::int32_t order = 0; order <= 20; ++order) {
    const std::size_t points = std::size_t{1} << order;
    const std::vector<float> x = RandomInterleaved(points, 7 + order);
    const std::vector<float> v1 = Inverse(x, order, 2, 1), vk = Inverse(x, order, 2);
    // Only the roundings differ: a few units in the last place of the result's scale.
    EXPECT_LE(zentra_test::RelativeRmsDifference(Split(vk), Split(v1)), 1.5e-7 * std::max(order, 1)) << order;
  }
}

TEST_P(Fft32fcTest, InPlaceAndCallerBufferGiveTheSameBits) {
  for (std::int32_t order : {0, 1, 2, 3, 4, 5, 10, 11, 12, 13, 17, 21}) {
    const std::size_t points = std::size_t{1} << order;
    const std::vector<float> x = RandomInterleaved(points, 3 + order);
    Spec1D s(index(), order, 4);
    std::vector<float> out(2 * points), inPlace = x;
    ASSERT_EQ(kInv1D[index()](x.data(), out.data(), s.record, nullptr), StatusOk);
    std::vector<std::uint8_t> buffer(std::max(s.record->workBytes, 1) + 1);
    ASSERT_EQ(kInv1D[index()](inPlace.data(), inPlace.data(), s.record, buffer.data() + 1), StatusOk);
    EXPECT_EQ(std::memcmp(out.data(), inPlace.data(), 4 * out.size()), 0) << order;
  }
}

TEST_P(Fft32fcTest, ImpulsesAndTones) {
  // Order 2, impulse at 1: (1, i, -1, -i), the positive exponent.
  std::vector<float> x(8, 0.0f);
  x[2] = 1.0f;
  EXPECT_EQ(Inverse(x, 2, 8), (std::vector<float>{1, 0, 0, 1, -1, 0, 0, -1}));
  // Order 3: the eighth roots of unity, c being 1/sqrt(2) rounded to single.
  const float c = 0.70710677f;
  x.assign(16, 0.0f);
  x[2] = 1.0f;
  EXPECT_EQ(Inverse(x, 3, 8), (std::vector<float>{1, 0, c, c, 0, 1, -c, c, -1, 0, -c, -c, 0, -1, c, -c}));
  for (std::int32_t order : {6, 11, 14}) {
    const std::size_t points = std::size_t{1} << order;
    // Impulse at 0: all values equal the factor.
    std::vector<float> impulse(2 * points, 0.0f);
    impulse[0] = 1.0f;
    const std::vector<float> flat = Inverse(impulse, order, 2);
    const float f = 1.0f / static_cast<float>(points);
    for (std::size_t k = 0; k < points; ++k) ASSERT_TRUE(flat[2 * k] == f && flat[2 * k + 1] == 0.0f) << k;
    // A tone e^(-2 pi i 5 n / N) lands on bin 5 with height N.
    std::vector<float> tone(2 * points);
    for (std::size_t n = 0; n < points; ++n) {
      const double t = -2.0 * M_PI * static_cast<double>(5 * n % points) / points;
      tone[2 * n] = static_cast<float>(std::cos(t)), tone[2 * n + 1] = static_cast<float>(std::sin(t));
    }
    const std::vector<float> y = Inverse(tone, order, 8);
    for (std::size_t k = 0; k < points; ++k) {
      const double want = k == 5 ? static_cast<double>(points) : 0.0;
      ASSERT_NEAR(y[2 * k], want, 2e-5 * points) << order << " " << k;
      ASSERT_NEAR(y[2 * k + 1], 0.0, 2e-5 * points) << order << " " << k;
    }
  }
}

TEST_P(Fft32fcTest, RecordsSizesAndFlags) {
  ScopedHeap heap;
  FftSpec32fc* const unwritten = reinterpret_cast<FftSpec32fc*>(0x5A5A5A5A);
  FftSpec32fc* record = unwritten;
  EXPECT_EQ(kInitSpec[index()](nullptr, 31, 3, 0), StatusNullPointer);
  EXPECT_EQ(kInitSpec[index()](&record, 31, 3, 0), StatusFftOrderError);
  EXPECT_EQ(kInitSpec[index()](&record, -1, 2, 0), StatusFftOrderError);
  EXPECT_EQ(kInitSpec[index()](&record, 5, 3, 0), StatusFftFlagError);
  EXPECT_EQ(record, unwritten);
  EXPECT_EQ(Outstanding(), 0u);
  ASSERT_EQ(kInitSpec[index()](&record, 3, 4, 7), StatusOk);
  EXPECT_EQ(record->scaleFactor, 0.35355338f);
  EXPECT_EQ(record->workBytes, 0);
  EXPECT_EQ(record->bitReverseTable, nullptr);
  std::int32_t size = -1;
  EXPECT_EQ(FftGetBufSize32fc(record, &size), StatusOk);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(FftGetBufSize32fc(record, nullptr), StatusNullPointer);
  EXPECT_EQ(FftReservedSpecFree32fc(record), StatusContextMismatch);
  EXPECT_EQ(FftSpecFree32fc(record), StatusOk);
  EXPECT_EQ(FftSpecFree32fc(nullptr), StatusNullPointer);
  // Build 1: the widest level's four column vectors and 16 bytes; build 2 adds
  // a 1024-point row, builds 3 and 4 a 16384-point row and plan from order 15;
  // builds 2 to 4 keep a whole row's room below their plans.
  const std::int32_t sizes[][4] = {
      {4, 0, 144, 144},             {9, 0, 4112, 4112},           {10, 0, 8208, 8208},
      {11, 16, 8208, 16400},        {12, 16, 8208, 32784},        {13, 1040, 9232, 65552},
      {14, 2064, 10256, 131088},    {15, 4112, 12304, 132112},    {16, 8208, 16400, 131600},
      {17, 8208, 16400, 131344},    {18, 8208, 16400, 131600},    {19, 32784, 40976, 196624},
      {20, 32784, 40976, 262160},   {21, 32784, 40976, 196624},   {22, 32784, 40976, 262160}};
  for (auto [order, v1, v2, v34] : sizes) {
    Spec1D s(index(), order, 8);
    EXPECT_EQ(s.record->workBytes, index() == 1 ? v1 : index() == 2 ? v2 : v34) << order;
    EXPECT_EQ(s.record->scaleInverse, 0);
  }
  EXPECT_EQ(Outstanding(), 0u);
  // The combine table of orders 28 to 30 needs 2^31 bytes or more: refused,
  // the caller's pointer not written, nothing kept.
  for (std::int32_t order = 28; order <= 30; ++order) {
    record = unwritten;
    EXPECT_EQ(kInitSpec[index()](&record, order, 2, 0), StatusNoMemory) << order;
    EXPECT_EQ(record, unwritten) << order;
    EXPECT_EQ(Outstanding(), 0u);
  }
}

// Without a caller buffer a record that asks for work allocates it; when that
// fails nothing is written. Build 1 needs none below order 11.
TEST_P(Fft32fcTest, WorkBufferAllocation) {
  for (std::int32_t order : {4, 9, 10, 11, 12, 13, 15}) {
    Spec1D s(index(), order, 8);
    const std::size_t points = std::size_t{1} << order;
    const std::vector<float> x = RandomInterleaved(points, 1);
    std::vector<float> y(2 * points, 5.0f);
    ScopedHeap heap(0);
    const PrimitiveStatus status = kInv1D[index()](x.data(), y.data(), s.record, nullptr);
    if (index() == 1 && order <= 10) {
      EXPECT_EQ(status, StatusOk);
    } else {
      EXPECT_EQ(status, StatusNoMemory) << order;
      EXPECT_TRUE(std::all_of(y.begin(), y.end(), [](float v) { return v == 5.0f; }));
    }
    EXPECT_EQ(Outstanding(), 0u);
  }
  Spec1D s(index(), 4, 8);
  float v[32] = {};
  EXPECT_EQ(kInv1D[index()](v, v, nullptr, nullptr), StatusNullPointer);
  s.record->contextId = 8;
  EXPECT_EQ(kInv1D[index()](nullptr, v, s.record, nullptr), StatusContextMismatch);
  s.record->contextId = 4;
  EXPECT_EQ(kInv1D[index()](nullptr, v, s.record, nullptr), StatusNullPointer);
}

// Build 1 and builds 2 to 4 lay out their radix tables differently: a record
// of the other family is refused, by the 1-D engine and by the image transform.
TEST_P(Fft32fcTest, RecordOfTheOtherFamilyIsRefused) {
  const std::int32_t other = index() == 1 ? 3 : 1;
  for (std::int32_t order : {4, 10, 11, 16}) {
    Spec1D s(other, order, 8);
    std::vector<float> v(std::size_t{2} << order, 1.0f);
    EXPECT_EQ(kInv1D[index()](v.data(), v.data(), s.record, nullptr), StatusContextMismatch) << order;
  }
  FftSpec2D32fc* image = nullptr;
  {
    ForcedBuild made(other);
    ASSERT_EQ(ippiFFTInitAlloc_C_32fc(&image, 5, 4, 8, 0), StatusOk);
  }
  std::vector<Complex32fc> pixels(32 * 16);
  EXPECT_EQ(ippiFFTInv_CToC_32fc_C1R(pixels.data(), 256, pixels.data(), 256, image, nullptr), StatusContextMismatch);
  EXPECT_EQ(ippiFFTFree_C_32fc(image), StatusOk);
}

// The tables of each build's plans: which levels, block tables and form of
// bit-reversal table an order gets.
TEST_P(Fft32fcTest, PlansOfEachBuild) {
  // The outer orders of the plans from their first planned order (11 in
  // builds 1 and 2, 15 in builds 3 and 4); 0: joined from blocks.
  constexpr std::int32_t kSplitX87[31] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 6, 7,
                                          8, 8, 8, 10, 10, 10, 10, 8, 8, 10, 10, 10, 10, 10, 10};
  constexpr std::int32_t kSplitSse2[31] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5,
                                           4, 3, 4, 11, 12, 11, 12, 12, 12, 11, 12, 13, 14, 10, 10};
  const FftBuildPlan32fc& plan = FftBuildPlanOf32fc(index());
  const std::int32_t* split = index() <= 2 ? kSplitX87 : kSplitSse2;
  for (std::int32_t order = index() <= 2 ? 11 : 15; order <= FftMaxOrder; ++order)
    EXPECT_EQ(plan.split[order], split[order]) << order;
  EXPECT_EQ(PlanSplitTable32fc_V12, FftBuildPlanOf32fc(1).split);  // the record builder's copy
  EXPECT_EQ(PlanSplitTable32fc_V34, FftBuildPlanOf32fc(3).split);
  for (std::int32_t order = 4; order <= 22; ++order) {
    Spec1D s(index(), order, 8);
    const FftSpec32fc& r = *s.record;
    const bool planned = order >= (index() <= 2 ? 11 : 15);
    const bool blocked = index() <= 2 && (order == 11 || order == 12 || order == 21 || order == 22);
    EXPECT_EQ(r.levelTwiddles[0] != nullptr, planned && !(index() <= 2 && order <= 12)) << order;
    EXPECT_EQ(r.levelCombineTwiddles[0] != nullptr, r.levelTwiddles[0] != nullptr) << order;
    EXPECT_EQ(r.levelTwiddles[1], nullptr) << order;
    EXPECT_EQ(r.blockTwiddles != nullptr, blocked) << order;
    EXPECT_NE(r.radixTwiddles, nullptr);
    // The fused pass reads the index table (0 first), the permutations the swap pairs.
    const std::int32_t lastFused = index() == 1 ? 3 : index() == 2 ? 9 : 13;
    EXPECT_EQ(r.bitReverseTable[0] == 0, order <= lastFused) << order;
  }
}

// Builds 2 to 4 hold the same values as build 1, regrouped by four (four real
// parts, then four imaginary parts); build 2's block table holds the first
// quadrants of every halving length, longest first.
TEST_P(Fft32fcTest, GroupedTablesHoldBuild1sValues) {
  if (index() == 1) GTEST_SKIP() << "the reference build";
  auto grouped = [](const float* four, const float* pairs, std::int64_t values, std::int64_t step = 1) {
    for (std::int64_t i = 0; i < values; ++i) {
      const float* g = four + 8 * (i / 4);
      const float re = pairs[2 * i * step], im = pairs[2 * i * step + 1];
      if (std::memcmp(&g[i % 4], &re, 4) != 0 || std::memcmp(&g[4 + i % 4], &im, 4) != 0) return false;
    }
    return true;
  };
  if (index() == 2) {
    Spec1D v1(1, 13, 8), vk(2, 13, 8);
    EXPECT_TRUE(grouped(vk.record->levelCombineTwiddles[0], v1.record->levelCombineTwiddles[0], 1 << 13));
    Spec1D b1(1, 12, 8), bk(2, 12, 8);
    EXPECT_TRUE(grouped(bk.record->blockTwiddles, b1.record->blockTwiddles, 1024));
    EXPECT_TRUE(grouped(bk.record->blockTwiddles + 2048, b1.record->blockTwiddles, 512, 2));
  } else {
    // Builds 3 and 4 split order 15 as 32 rows of 1024; build 1's order-15
    // plan differs, so compare with the twiddles it would hold: W(rev5(r) * k).
    Spec1D vk(index(), 15, 8);
    const float* t = vk.record->levelCombineTwiddles[0];
    for (std::int64_t g : {0, 1, 100, 255})
      for (std::uint32_t row : {0u, 1u, 17u, 31u}) {
        const float* e = t + 8 * (g * 32 + row);
        for (int j = 0; j < 4; ++j) {
          const double angle = 2 * M_PI * static_cast<double>(ReverseBits(row, 5) * (4 * g + j)) / (1 << 15);
          EXPECT_NEAR(e[j], std::cos(angle), 1e-7);
          EXPECT_NEAR(e[4 + j], -std::sin(angle), 1e-7);
        }
      }
  }
}

// A caller buffer of exactly workBytes, its end against an inaccessible page,
// at every misalignment: any use beyond it faults. The results equal those of
// an internal buffer.
TEST_P(Fft32fcTest, CallerBufferOfExactlyWorkBytes) {
  const long page = sysconf(_SC_PAGESIZE);
  for (std::int32_t order : {4, 9, 10, 13, 14, 15, 16, 17, 19, 21}) {
    Spec1D s(index(), order, 2);
    const std::size_t points = std::size_t{1} << order, bytes = static_cast<std::size_t>(s.record->workBytes);
    const std::size_t span = (bytes + 64 + page - 1) / page * page;
    auto* area = static_cast<std::uint8_t*>(
        mmap(nullptr, span + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(area, MAP_FAILED);
    ASSERT_EQ(mprotect(area + span, page, PROT_NONE), 0);
    const std::vector<float> x = RandomInterleaved(points, 40 + order);
    std::vector<float> expected(2 * points);
    ASSERT_EQ(kInv1D[index()](x.data(), expected.data(), s.record, nullptr), StatusOk);
    for (std::size_t shift : {0, 1, 8, 15}) {
      std::uint8_t* buffer = area + span - bytes - shift;  // `shift` bytes of slack after it
      std::vector<float> out(2 * points), same = x;
      ASSERT_EQ(kInv1D[index()](x.data(), out.data(), s.record, buffer), StatusOk);
      ASSERT_EQ(kInv1D[index()](same.data(), same.data(), s.record, buffer + shift), StatusOk);
      EXPECT_EQ(std::memcmp(out.data(), expected.data(), 4 * out.size()), 0) << order << " " << shift;
      EXPECT_EQ(std::memcmp(same.data(), expected.data(), 4 * out.size()), 0) << order << " " << shift;
    }
    munmap(area, span + page);
  }
}

// Arrays that are 8 but not 16 bytes aligned give the same bits, in place and not.
TEST_P(Fft32fcTest, ArraysOffSixteenByteBoundaries) {
  for (std::int32_t order : {4, 5, 8, 9, 10, 13, 14, 15, 16}) {
    Spec1D s(index(), order, 4);
    const std::size_t points = std::size_t{1} << order;
    const std::vector<float> x = RandomInterleaved(points, 60 + order);
    std::vector<float> aligned(2 * points), from(2 * points + 2), to(2 * points + 2);
    ASSERT_EQ(kInv1D[index()](x.data(), aligned.data(), s.record, nullptr), StatusOk);
    std::copy(x.begin(), x.end(), from.begin() + 2);
    ASSERT_EQ(kInv1D[index()](x.data(), to.data() + 2, s.record, nullptr), StatusOk);
    EXPECT_EQ(std::memcmp(to.data() + 2, aligned.data(), 8 * points), 0) << order;
    ASSERT_EQ(kInv1D[index()](from.data() + 2, from.data() + 2, s.record, nullptr), StatusOk);
    EXPECT_EQ(std::memcmp(from.data() + 2, aligned.data(), 8 * points), 0) << order;
  }
}

// Build 2's halving rows (orders 21, 22) and the two-level plans (order 23).
TEST_P(Fft32fcTest, LargestTestedOrdersAgreeWithBuild1) {
  if (index() == 1) GTEST_SKIP() << "the reference build";
  for (std::int32_t order : {21, 22, 23}) {
    const std::vector<float> x = RandomInterleaved(std::size_t{1} << order, order);
    const std::vector<float> v1 = Inverse(x, order, 4, 1), vk = Inverse(x, order, 4);
    EXPECT_LE(zentra_test::RelativeRmsDifference(Split(vk), Split(v1)), 1.5e-7 * order) << order;
  }
}

// One record serves several threads at once, each with its own arrays and
// work buffer, through the fused, plain and large-order paths.
TEST_P(Fft32fcTest, ThreadsShareOneRecord) {
  for (std::int32_t order : {9, 14, 16}) {
    Spec1D s(index(), order, 4);
    const std::size_t points = std::size_t{1} << order;
    const std::vector<float> x = RandomInterleaved(points, 11);
    std::vector<float> serial(2 * points);
    ASSERT_EQ(kInv1D[index()](x.data(), serial.data(), s.record, nullptr), StatusOk);
    std::vector<std::vector<float>> outs(6, std::vector<float>(2 * points));
    std::vector<PrimitiveStatus> statuses(outs.size(), -1);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < outs.size(); ++t)
      threads.emplace_back([&, t, build = index()] {
        std::vector<std::uint8_t> buffer(std::max(s.record->workBytes, 1));
        for (int round = 0; round < 4; ++round) {
          std::vector<float> in = x;  // odd threads in place
          float* dst = t % 2 == 0 ? outs[t].data() : in.data();
          statuses[t] = kInv1D[build](in.data(), dst, s.record, buffer.data());
          if (t % 2 == 1) outs[t] = in;
        }
      });
    for (auto& th : threads) th.join();
    for (std::size_t t = 0; t < outs.size(); ++t) {
      EXPECT_EQ(statuses[t], StatusOk);
      EXPECT_EQ(outs[t], serial) << order << " " << t;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, Fft32fcTest, ::testing::ValuesIn(zentra_test::kFftBuilds),
                         zentra_test::BuildName());

// The permutations of builds 2 to 4 move the same bits as build 1's, NaN
// payloads included, in place and between arrays, through both the table walk
// and the tiled walk of the large orders.
TEST(Fft32fcPasses, PermutationsMoveTheSameBits) {
  using Permute = void (*)(const float*, float*, std::int32_t, const std::int32_t*);
  using InPlace = void (*)(float*, std::int32_t, const std::int32_t*);
  const Permute permute[] = {BitReversePermute32fc_V2, BitReversePermute32fc_V3, BitReversePermute32fc_V4};
  const InPlace inPlace[] = {BitReversePermuteInPlace32fc_V2, BitReversePermuteInPlace32fc_V3,
                             BitReversePermuteInPlace32fc_V4};
  std::mt19937_64 rng(5);
  for (std::int32_t order = 2; order <= 16; ++order) {
    const std::int32_t count = 1 << order;
    std::int32_t* table = BuildBitReverseTable(order);
    std::vector<std::uint64_t> src(count), expected(count);
    for (auto& v : src) v = rng();
    BitReversePermute_V1(src.data(), expected.data(), count, table);
    for (std::size_t b = 0; b < 3; ++b) {
      std::vector<std::uint64_t> out(count), same = src;
      permute[b](reinterpret_cast<const float*>(src.data()), reinterpret_cast<float*>(out.data()), count, table);
      inPlace[b](reinterpret_cast<float*>(same.data()), count, table);
      EXPECT_EQ(out, expected) << order;
      EXPECT_EQ(same, expected) << order;
    }
    FreeAligned(table);
  }
}

// Final layout 0 leaves the split-four arrangement of layout 1's result.
TEST(Fft32fcPasses, RadixPassLayouts) {
  for (std::int32_t order : {3, 4, 5, 10, 14}) {
    Spec1D s(3, std::max(order, 4), 8);  // 8 points read no table
    const std::size_t points = std::size_t{1} << order;
    const std::vector<float> x = RandomInterleaved(points, order);
    std::vector<float> interleaved = x, split = x;
    const auto n = static_cast<std::int32_t>(points);
    Radix4Pass32fc_V3(interleaved.data(), n, s.record->radixTwiddles, nullptr, 1);
    Radix4Pass32fc_V3(split.data(), n, s.record->radixTwiddles, nullptr, 0);
    for (std::size_t i = 0; i < points; ++i) {
      ASSERT_EQ(split[8 * (i / 4) + i % 4], interleaved[2 * i]) << order << " " << i;
      ASSERT_EQ(split[8 * (i / 4) + 4 + i % 4], interleaved[2 * i + 1]) << order << " " << i;
    }
  }
}

// Every one of `count` floats is scaled and nothing beyond; 0 or less: nothing.
TEST(Fft32fcPasses, ScalingCountsAndAlignment) {
  for (auto scale : {FftScale32fc_V1, FftScale32fc_V2, FftScale32fc_V3, FftScale32fc_V4})
    for (std::int32_t offset : {0, 1, 3})
      for (std::int32_t count : {-4, 0, 1, 7, 8, 13, 2048}) {
        std::vector<float> v(2100, 3.0f);
        scale(0.5f, v.data() + offset, count);
        for (std::int32_t i = 0; i < 2100; ++i) {
          const bool inside = i >= offset && i < offset + count;
          ASSERT_EQ(v[i], inside ? 1.5f : 3.0f) << offset << " " << count << " " << i;
        }
      }
}

// The rows that the driver does not reach: forward and split kernels against a
// long-double DFT of either sign, the packed-real kernels, and what the builds
// share.
TEST(Fft32fcKernels, EveryRowOfEveryBuild) {
  auto dft = [](const std::vector<float>& x, int sign) {
    const std::size_t n = x.size() / 2;
    std::vector<LongComplex> y(n);
    for (std::size_t k = 0; k < n; ++k)
      for (std::size_t j = 0; j < n; ++j)
        y[k] += LongComplex(x[2 * j], x[2 * j + 1]) * std::polar(1.0L, sign * 2 * M_PIl * static_cast<long double>(j * k) / n);
    return y;
  };
  for (std::int32_t build = 1; build <= 4; ++build) {
    const SmallKernelTable32f& t = FftSmallKernelTable32f(build);
    for (int order = 0; order <= 3; ++order) {
      const std::size_t n = std::size_t{1} << order;
      const std::vector<float> x = RandomInterleaved(n, 90 + order);
      for (int sign : {-1, 1}) {
        const std::vector<LongComplex> ref = dft(x, sign);
        std::vector<float> plain(2 * n), scaled(2 * n), re(n), im(n), sre(n), sim(n), srcRe(n), srcIm(n);
        for (std::size_t k = 0; k < n; ++k) srcRe[k] = x[2 * k], srcIm[k] = x[2 * k + 1];
        (sign < 0 ? t.fwdPlain : t.invPlain)[order](x.data(), plain.data());
        (sign < 0 ? t.fwdScaled : t.invScaled)[order](x.data(), scaled.data(), 0.25f);
        (sign < 0 ? t.splitFwdPlain : t.splitInvPlain)[order](srcRe.data(), srcIm.data(), re.data(), im.data());
        (sign < 0 ? t.splitFwdScaled : t.splitInvScaled)[order](srcRe.data(), srcIm.data(), sre.data(), sim.data(), 0.25f);
        for (std::size_t k = 0; k < n; ++k) {
          EXPECT_NEAR(plain[2 * k], static_cast<double>(ref[k].real()), 1e-6) << build << " " << order << " " << sign;
          EXPECT_NEAR(plain[2 * k + 1], static_cast<double>(ref[k].imag()), 1e-6) << build << " " << order;
          EXPECT_NEAR(scaled[2 * k], 0.25 * static_cast<double>(ref[k].real()), 1e-6) << build << " " << order;
          // The split kernels evaluate the same expressions.
          EXPECT_EQ(re[k], plain[2 * k]) << build << " " << order << " " << sign;
          EXPECT_EQ(im[k], plain[2 * k + 1]) << build << " " << order << " " << sign;
          EXPECT_EQ(sre[k], scaled[2 * k]);
          EXPECT_EQ(sim[k], scaled[2 * k + 1]);
        }
      }
      // One and two points: the forward and inverse rows hold the same kernels.
      if (order <= 1) {
        EXPECT_EQ(t.fwdPlain[order], t.invPlain[order]);
        EXPECT_EQ(t.fwdScaled[order], t.invScaled[order]);
        EXPECT_EQ(t.splitFwdPlain[order], t.splitInvPlain[order]);
        EXPECT_EQ(t.realFwdScaled[order], t.realInvScaled[order]);
      }
      // Real samples: the packed spectrum (R_0, R_N/2, Re X_1, Im X_1, ...) and back to N times the samples.
      std::vector<float> samples(n), packed(n), back(n), halved(n);
      for (std::size_t k = 0; k < n; ++k) samples[k] = x[2 * k];
      t.realFwdPlain[order](samples.data(), packed.data());
      std::vector<float> asComplex(2 * n, 0.0f);
      for (std::size_t k = 0; k < n; ++k) asComplex[2 * k] = samples[k];
      const std::vector<LongComplex> spectrum = dft(asComplex, -1);
      EXPECT_NEAR(packed[0], static_cast<double>(spectrum[0].real()), 1e-6);
      if (n >= 2) {
        EXPECT_NEAR(packed[1], static_cast<double>(spectrum[n / 2].real()), 1e-6);
      }
      for (std::size_t k = 1; k < n / 2; ++k) {
        EXPECT_NEAR(packed[2 * k], static_cast<double>(spectrum[k].real()), 1e-6) << build << " " << order;
        EXPECT_NEAR(packed[2 * k + 1], static_cast<double>(spectrum[k].imag()), 1e-6) << build << " " << order;
      }
      t.realInvPlain[order](packed.data(), back.data());
      t.realInvScaled[order](packed.data(), halved.data(), 0.5f);
      for (std::size_t k = 0; k < n; ++k) {
        EXPECT_NEAR(back[k], n * samples[k], 4e-6) << build << " " << order;
        EXPECT_NEAR(halved[k], 0.5 * n * samples[k], 4e-6) << build << " " << order;
      }
    }
    // The 8-point forward impulse response: the conjugates of the inverse one.
    const float c = 0.70710677f;
    std::vector<float> impulse(16, 0.0f), y(16);
    impulse[2] = 1.0f;
    t.fwdPlain[3](impulse.data(), y.data());
    EXPECT_EQ(y, (std::vector<float>{1, 0, c, -c, 0, -1, -c, -c, -1, 0, -c, c, 0, 1, c, c})) << build;
    // A spectrum whose only entry is a_1 = 1 back to samples.
    const float packedOne[8] = {0, 0, 1, 0, 0, 0, 0, 0};
    float samples8[8];
    t.realInvPlain[3](packedOne, samples8);
    const float r = 1.4142135f;
    EXPECT_EQ(std::vector<float>(samples8, samples8 + 8), (std::vector<float>{2, r, 0, -r, -2, -r, 0, r})) << build;
  }
  // Builds 2 to 4 round every operation: bit-identical results, and a factor
  // of 1 changes nothing. In place equals out of place.
  for (int order = 0; order <= 3; ++order) {
    const std::size_t n = std::size_t{1} << order;
    const std::vector<float> x = RandomInterleaved(n, 7);
    std::vector<float> y2(2 * n), y3(2 * n), y4(2 * n), one(2 * n), inPlace = x;
    FftSmallKernelTable32f(2).fwdPlain[order](x.data(), y2.data());
    FftSmallKernelTable32f(3).fwdPlain[order](x.data(), y3.data());
    FftSmallKernelTable32f(4).fwdPlain[order](x.data(), y4.data());
    FftSmallKernelTable32f(3).fwdScaled[order](x.data(), one.data(), 1.0f);
    FftSmallKernelTable32f(3).fwdPlain[order](inPlace.data(), inPlace.data());
    EXPECT_EQ(y2, y3);
    EXPECT_EQ(y3, y4);
    EXPECT_EQ(one, y3);
    EXPECT_EQ(inPlace, y3);
  }
}

// ---- Build 1's precision: its kernels, joins and column factors hold values
// at the x87's extended precision and round to single only where they store.
// The inputs mix values far apart in size, so that a sum rounded to double on
// the way lands on a halfway point between two floats where the extended sum
// lies beside it: a build that computed in double would store other bits.

namespace build_one {

template <typename R>
struct Cx {
  R re, im;
};
template <typename R> Cx<R> operator+(Cx<R> a, Cx<R> b) { return {a.re + b.re, a.im + b.im}; }
template <typename R> Cx<R> operator-(Cx<R> a, Cx<R> b) { return {a.re - b.re, a.im - b.im}; }
template <typename R> Cx<R> PlusI(Cx<R> a, Cx<R> b) { return {a.re - b.im, a.im + b.re}; }   // a + i b
template <typename R> Cx<R> MinusI(Cx<R> a, Cx<R> b) { return {a.re + b.im, a.im - b.re}; }  // a - i b
template <typename R> Cx<R> Park(Cx<R> a) { return {static_cast<float>(a.re), static_cast<float>(a.im)}; }

// The inverse kernels of 2, 4 and 8 points, in R, from their formulas: the
// first-stage values times s when scaled, the 8-point kernel parking E_0.im,
// O_0.re, E_1, E_2, E_3, O_2 and O_3 in single precision before its join.
template <typename R>
std::vector<float> InverseKernel(const std::vector<float>& x, int order, const float* s) {
  const int n = 1 << order;
  std::vector<Cx<R>> v(n);
  for (int k = 0; k < n; ++k) v[k] = {x[2 * k], x[2 * k + 1]};
  auto scale = [&](Cx<R> a) { return s != nullptr ? Cx<R>{a.re * *s, a.im * *s} : a; };
  std::vector<Cx<R>> y(n);
  if (order == 1) {
    y = {scale(v[0] + v[1]), scale(v[0] - v[1])};
  } else if (order == 2) {
    const Cx<R> p0 = scale(v[0] + v[2]), q0 = scale(v[0] - v[2]), p1 = scale(v[1] + v[3]), q1 = scale(v[1] - v[3]);
    y = {p0 + p1, PlusI(q0, q1), p0 - p1, MinusI(q0, q1)};
  } else {
    Cx<R> p[4], q[4];
    for (int k = 0; k < 4; ++k) p[k] = scale(v[k] + v[k + 4]), q[k] = scale(v[k] - v[k + 4]);
    Cx<R> e0 = p[0] + p[2], o0 = p[1] + p[3];
    e0.im = static_cast<float>(e0.im);
    o0.re = static_cast<float>(o0.re);
    const Cx<R> e2 = Park(p[0] - p[2]), o2 = Park(p[1] - p[3]);
    const Cx<R> e1 = Park(PlusI(q[0], q[2])), e3 = Park(MinusI(q[0], q[2]));
    const Cx<R> o1 = PlusI(q[1], q[3]), o3 = Park(MinusI(q[1], q[3]));
    const float c = 0.70710677f, minusC = -0.70710677f;
    const Cx<R> t1 = {c * (o1.re - o1.im), c * (o1.im + o1.re)};
    const Cx<R> t3 = {minusC * (o3.re + o3.im), minusC * (o3.im - o3.re)};
    y = {e0 + o0, e1 + t1, PlusI(e2, o2), e3 + t3, e0 - o0, e1 - t1, MinusI(e2, o2), e3 - t3};
  }
  std::vector<float> out;
  for (const Cx<R>& c : y) out.push_back(static_cast<float>(c.re)), out.push_back(static_cast<float>(c.im));
  return out;
}

// Values of very different sizes: 1, the halfway bits of 1 and 1.5, and
// amounts far below a double's last bit.
std::vector<float> MixedSizes(int points, std::mt19937& rng) {
  const float pool[] = {0.0f, 1.0f, 0x1p-24f, 0x1p-23f, 0x1p-60f, 0x1p-62f, 0x3p-25f, 0.5f, 1.5f, 3.0f};
  std::vector<float> v(2 * static_cast<std::size_t>(points));
  for (float& f : v) f = pool[rng() % 10] * (rng() % 2 ? -1.0f : 1.0f);
  return v;
}

}  // namespace build_one

TEST(Fft32fcBuildOne, KernelsStoreFromExtendedPrecision) {
  using namespace build_one;
  std::mt19937 rng(12);
  const float factors[] = {1.0f, 0.25f, 1.0f / 3, 0x1.000002p0f, 0x1p-40f};
  const SmallKernelTable32f& one = FftSmallKernelTable32f(1);
  for (int order = 1; order <= 3; ++order) {
    int telling = 0;  // inputs on which double arithmetic would store other bits
    for (int trial = 0; trial < 6000; ++trial) {
      const std::vector<float> x = MixedSizes(1 << order, rng);
      const bool scaled = trial % 2 == 1;
      const float s = factors[rng() % 5];
      const std::vector<float> want = InverseKernel<long double>(x, order, scaled ? &s : nullptr);
      std::vector<float> got(x.size());
      if (scaled) one.invScaled[order](x.data(), got.data(), s);
      else one.invPlain[order](x.data(), got.data());
      ASSERT_EQ(std::memcmp(got.data(), want.data(), 4 * want.size()), 0) << "order " << order << " trial " << trial;
      telling += InverseKernel<double>(x, order, scaled ? &s : nullptr) != want;
      // Builds 2 to 4 round every operation.
      for (std::int32_t build = 2; build <= 4; ++build) {
        const SmallKernelTable32f& t = FftSmallKernelTable32f(build);
        if (scaled) t.invScaled[order](x.data(), got.data(), s);
        else t.invPlain[order](x.data(), got.data());
        ASSERT_EQ(got, InverseKernel<float>(x, order, scaled ? &s : nullptr)) << build << " " << order;
      }
    }
    EXPECT_GT(telling, 0) << "order " << order;
  }
}

// Order 11 joins two 1024-point halves; order 13 gathers columns of 32 rows,
// each value times the conjugate of its four-step factor. An impulse
// b = (3, -2^-60) at sample 1 makes one half (one row) b throughout, so each
// output is b times the conjugate of one stored factor w, formed at extended
// precision and rounded once.
TEST(Fft32fcBuildOne, JoinsAndColumnFactorsAtExtendedPrecision) {
  const float b[2] = {3.0f, -0x1p-60f};
  // b * conj(w) for w = (c, s), and i times it, in R, rounded once.
  auto times = [&](auto r, float c, float s, bool turned) {
    using R = decltype(r);
    const R re = R(b[0]) * c + R(b[1]) * s, im = R(b[1]) * c - R(b[0]) * s;
    return turned ? std::pair<float, float>{static_cast<float>(-im), static_cast<float>(re)}
                  : std::pair<float, float>{static_cast<float>(re), static_cast<float>(im)};
  };
  for (std::int32_t order : {11, 13}) {
    Spec1D s(1, order, 8);
    const std::size_t points = std::size_t{1} << order;
    std::vector<float> x(2 * points, 0.0f), y(2 * points);
    x[2] = b[0], x[3] = b[1];
    ASSERT_EQ(FftInv1D32fc_V1(x.data(), y.data(), s.record, nullptr), StatusOk);
    int telling = 0;
    // Order 11: outputs k < 1024 are b times W(k) of 2048 points (the upper
    // quarter turned by i), outputs k + 1024 the negation. Order 13: row 16
    // holds the residue 1 (rev5(16) = 1), so output k < 256 is b times W(k)
    // of 8192 points.
    const std::size_t count = order == 11 ? 1024 : 256;
    for (std::size_t k = 0; k < count; ++k) {
      const float* w = order == 11 ? s.record->blockTwiddles + 2 * (k % 512)
                                   : s.record->levelCombineTwiddles[0] + 2 * (((k / 4) * 32 + 16) * 4 + k % 4);
      const bool turned = order == 11 && k >= 512;
      const auto want = times(0.0L, w[0], w[1], turned);
      ASSERT_EQ(y[2 * k], want.first) << order << " " << k;
      ASSERT_EQ(y[2 * k + 1], want.second) << order << " " << k;
      if (order == 11) {
        ASSERT_EQ(y[2 * (k + 1024)], -want.first) << k;
        ASSERT_EQ(y[2 * (k + 1024) + 1], -want.second) << k;
      }
      telling += times(0.0, w[0], w[1], turned) != want;
    }
    EXPECT_GT(telling, 3) << order;
  }
}

}  // namespace
