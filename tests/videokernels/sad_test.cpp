#include "block_models.h"

#include <zentra/sad_kernels.h>

#include <gtest/gtest.h>

#include <vector>

using namespace zentra;
using namespace zentra_test;

namespace {

constexpr int kStep = 40;

// ---- 16-wide SAD builds with a row count: each against its formula.

using Sad16Fn = I32 (*)(const U8* ref, const U8* cur, I32 step, I32 rows);

struct Sad16Formula {
  Pred pred;
  Pred pred16 = pred;  // the prediction when rows is 16 (delegating builds)
  int fixedRows = 0;   // a row count the build uses whatever it is given
  bool evenRows = true;
  bool eightOr16 = false;
};
using Sad16Build = Build<Sad16Fn, Sad16Formula>;

I32 ModelOf(const Sad16Formula& f, const U8* ref, const U8* cur, int rows) {
  const int n = f.fixedRows != 0 ? f.fixedRows : f.eightOr16 && rows != 16 ? 8 : rows;
  return ModelSad(ref, cur, kStep, n, 16, rows == 16 ? f.pred16 : f.pred);
}

class Sad16Test : public BuildTest<Sad16Build> {};

TEST_P(Sad16Test, RandomBlocksMatchTheFormula) {
  std::mt19937 rng(1601);
  for (int n = 0; n < 3000; ++n) {
    const Bytes ref = RandomPlane(rng, kStep * 18), cur = RandomPlane(rng, kStep * 18);
    int rows = build().formula.eightOr16 ? (n % 2 ? 8 : 16) : 2 + 2 * static_cast<int>(rng() % 8);
    if (!build().formula.evenRows && n % 3 == 0) rows = 1 + static_cast<int>(rng() % 16);
    ASSERT_EQ(build().fn(ref.data(), cur.data(), kStep, rows), ModelOf(build().formula, ref.data(), cur.data(), rows))
        << "block " << n << " rows " << rows;
  }
}

// The reference ends at the last sample the prediction may read, the current
// block at its last sample; a read beyond either faults.
TEST_P(Sad16Test, ReadsNothingBeyondTheBlockAndItsMargin) {
  const Sad16Formula& f = build().formula;
  for (int rows : {8, 16}) {
    const int n = f.fixedRows != 0 ? f.fixedRows : rows;
    const Pred pred = rows == 16 ? f.pred16 : f.pred;
    std::mt19937 rng(rows);
    GuardedBuffer ref((n - 1 + ExtraRows(pred)) * kStep + 16 + ExtraColumns(pred));
    GuardedBuffer cur((n - 1) * kStep + 16);
    ref.Fill(RandomBytes(rng, ref.size()));
    cur.Fill(RandomBytes(rng, cur.size()));
    EXPECT_EQ(build().fn(ref.data(), cur.data(), kStep, rows), ModelSad(ref.data(), cur.data(), kStep, n, 16, pred));
  }
}

I32 Sad16x16Rows(const U8* r, const U8* c, I32 s, I32) { return Sad16x16_MmxExt(r, c, s); }
I32 Sad16x16IppRows(const U8* r, const U8* c, I32 s, I32) { return Sad16x16_Ipp(r, c, s); }
I32 HalfXYARows(const U8* r, const U8* c, I32 s, I32) { return Sad16x16HalfXY_MmxExtA(r, c, s); }
I32 HalfXYBRows(const U8* r, const U8* c, I32 s, I32) { return Sad16x16HalfXY_MmxExtB(r, c, s); }
I32 HalfXYIppRows(const U8* r, const U8* c, I32 s, I32) { return Sad16x16HalfXY_Ipp(r, c, s); }

INSTANTIATE_TEST_SUITE_P(
    Builds, Sad16Test,
    ::testing::Values(
        Sad16Build{"Sad16xN_MmxExt", &Sad16xN_MmxExt, Isa::Sse2, {Pred::Full}},
        Sad16Build{"Sad16xN_Mmx", &Sad16xN_Mmx, Isa::Sse2, {Pred::Full, Pred::Full, 0, false}},
        Sad16Build{"Sad16xN_Sse2", &Sad16xN_Sse2, Isa::Sse2, {Pred::Full, Pred::Full, 0, true, true}},
        Sad16Build{"Sad16x16_MmxExt", &Sad16x16Rows, Isa::Sse2, {Pred::Full, Pred::Full, 16}},
        Sad16Build{"Sad16x16_Ipp", &Sad16x16IppRows, Isa::Sse2, {Pred::Full, Pred::Full, 16}},
        Sad16Build{"Sad16xNHalfX_MmxExt", &Sad16xNHalfX_MmxExt, Isa::Sse2, {Pred::HalfX}},
        Sad16Build{"Sad16xNHalfX_Ipp", &Sad16xNHalfX_Ipp, Isa::Sse2, {Pred::HalfX}},
        Sad16Build{"Sad16xNHalfX_Sse2", &Sad16xNHalfX_Sse2, Isa::Sse2, {Pred::HalfX, Pred::HalfX, 0, false}},
        Sad16Build{"Sad16xNHalfY_Sse2", &Sad16xNHalfY_Sse2, Isa::Sse2, {Pred::HalfY, Pred::HalfY, 0, false}},
        Sad16Build{"Sad16xNHalfY_MmxExt", &Sad16xNHalfY_MmxExt, Isa::Sse2, {Pred::HalfY}},
        Sad16Build{"Sad16xNHalfY_Mmx", &Sad16xNHalfY_Mmx, Isa::Sse2, {Pred::HalfY, Pred::HalfY, 0, false}},
        Sad16Build{"Sad16xNHalfY_Ipp", &Sad16xNHalfY_Ipp, Isa::Sse2, {Pred::HalfY}},
        Sad16Build{"Sad16xNHalfXY_MmxExt", &Sad16xNHalfXY_MmxExt, Isa::Sse2,
                   {Pred::DiagUpVertical, Pred::DiagUpVertical, 16, false}},
        Sad16Build{"Sad16xNHalfXY_Mmx", &Sad16xNHalfXY_Mmx, Isa::Sse2, {Pred::DiagExact, Pred::DiagExact, 0, false}},
        Sad16Build{"Sad16xNHalfXY_Sse2", &Sad16xNHalfXY_Sse2, Isa::Sse2,
                   {Pred::DiagUpVertical, Pred::DiagUpVertical, 0, false}},
        // 16 rows through build 3 of the primitive (horizontal pairs first), else 16 rows of the running build.
        Sad16Build{"Sad16xNHalfXY_Ipp", &Sad16xNHalfXY_Ipp, Isa::Sse2,
                   {Pred::DiagUpVertical, Pred::DiagUpHorizontal, 16}},
        Sad16Build{"Sad16x16HalfXY_MmxExtA", &HalfXYARows, Isa::Sse2, {Pred::DiagUpVertical, Pred::DiagUpVertical, 16}},
        Sad16Build{"Sad16x16HalfXY_MmxExtB", &HalfXYBRows, Isa::Sse2, {Pred::DiagUpVertical, Pred::DiagUpVertical, 16}},
        // Through the primitive's entry, whose build 1 averages exactly.
        Sad16Build{"Sad16x16HalfXY_Ipp", &HalfXYIppRows, Isa::Sse2, {Pred::DiagExact, Pred::DiagExact, 16}}),
    BuildName());

// ---- Early stop.

using SadLimitFn = I32 (*)(const U8* ref, const U8* cur, I32 step, I32 rows, I32 limit);
struct LimitFormula {
  int width;
  int rowsPerCheck;
  int fixedRows;
};
using SadLimitBuild = Build<SadLimitFn, LimitFormula>;

I32 ModelLimit(const LimitFormula& f, const U8* ref, const U8* cur, int rows, I32 limit) {
  I32 sum = 0;
  for (int y = 0; y < rows; ++y) {
    sum += ModelSad(ref + y * kStep, cur + y * kStep, kStep, 1, f.width, Pred::Full);
    const bool checked = f.rowsPerCheck == 2 ? y % 2 == 1 : y < 3;
    if (checked && sum >= limit) return sum;
  }
  return sum;
}

class SadLimitTest : public BuildTest<SadLimitBuild> {};

TEST_P(SadLimitTest, StopsWhereTheFormulaStops) {
  std::mt19937 rng(77);
  const LimitFormula& f = build().formula;
  for (int n = 0; n < 4000; ++n) {
    const Bytes ref = RandomPlane(rng, kStep * 16), cur = RandomPlane(rng, kStep * 16);
    const int rows = f.fixedRows != 0 ? f.fixedRows : 2 + 2 * static_cast<int>(rng() % 8);
    const I32 full = ModelSad(ref.data(), cur.data(), kStep, rows, f.width, Pred::Full);
    const I32 limit = n % 5 == 0 ? static_cast<I32>(rng() % 3) - 1 : static_cast<I32>(rng() % (full + 2));
    ASSERT_EQ(build().fn(ref.data(), cur.data(), kStep, rows, limit), ModelLimit(f, ref.data(), cur.data(), rows, limit));
  }
}

TEST_P(SadLimitTest, LimitZeroStopsAtTheFirstCheckAndAHighLimitNever) {
  std::mt19937 rng(5);
  const LimitFormula& f = build().formula;
  const Bytes ref = RandomBytes(rng, kStep * 16), cur = RandomBytes(rng, kStep * 16);
  const int rows = f.fixedRows != 0 ? f.fixedRows : 16;
  EXPECT_EQ(build().fn(ref.data(), cur.data(), kStep, rows, 0),
            ModelSad(ref.data(), cur.data(), kStep, f.rowsPerCheck, f.width, Pred::Full));
  EXPECT_EQ(build().fn(ref.data(), cur.data(), kStep, rows, 16 * 16 * 255 + 1),
            ModelSad(ref.data(), cur.data(), kStep, rows, f.width, Pred::Full));
}

TEST_P(SadLimitTest, ReadsOnlyTheBlock) {
  std::mt19937 rng(6);
  const LimitFormula& f = build().formula;
  const int rows = f.fixedRows != 0 ? f.fixedRows : 8;
  GuardedBuffer ref((rows - 1) * kStep + f.width), cur((rows - 1) * kStep + f.width);
  ref.Fill(RandomBytes(rng, ref.size()));
  cur.Fill(RandomBytes(rng, cur.size()));
  EXPECT_EQ(build().fn(ref.data(), cur.data(), kStep, rows, 1 << 30),
            ModelSad(ref.data(), cur.data(), kStep, rows, f.width, Pred::Full));
}

I32 Limit16x16(const U8* r, const U8* c, I32 s, I32, I32 limit) { return Sad16x16Limit_MmxExt(r, c, s, limit); }
I32 Limit4x4(const U8* r, const U8* c, I32 s, I32, I32 limit) { return Sad4x4Limit_MmxExt(r, c, s, limit); }

INSTANTIATE_TEST_SUITE_P(Builds, SadLimitTest,
                         ::testing::Values(SadLimitBuild{"Sad16x16Limit_MmxExt", &Limit16x16, Isa::Sse2, {16, 2, 16}},
                                           SadLimitBuild{"Sad16xNLimit_MmxExt", &Sad16xNLimit_MmxExt, Isa::Sse2, {16, 2, 0}},
                                           SadLimitBuild{"Sad4x4Limit_MmxExt", &Limit4x4, Isa::Sse2, {4, 1, 4}}),
                         BuildName());

// ---- 4x4 and the mode-driven 16xN SAD.

using Sad4x4Build = Build<I32 (*)(const U8*, const U8*, I32)>;
class Sad4x4Test : public BuildTest<Sad4x4Build> {};

TEST_P(Sad4x4Test, RandomBlocksAndGuardPages) {
  std::mt19937 rng(44);
  for (int n = 0; n < 5000; ++n) {
    const Bytes ref = RandomPlane(rng, kStep * 4), cur = RandomPlane(rng, kStep * 4);
    ASSERT_EQ(build().fn(ref.data(), cur.data(), kStep), ModelSad(ref.data(), cur.data(), kStep, 4, 4, Pred::Full));
  }
  GuardedBuffer ref(3 * kStep + 4), cur(3 * kStep + 4);
  ref.Fill(RandomBytes(rng, ref.size()));
  EXPECT_EQ(build().fn(ref.data(), cur.data(), kStep), ModelSad(ref.data(), cur.data(), kStep, 4, 4, Pred::Full));
}

INSTANTIATE_TEST_SUITE_P(Builds, Sad4x4Test,
                         ::testing::Values(Sad4x4Build{"Sad4x4_MmxExt", &Sad4x4_MmxExt, Isa::Sse2},
                                           Sad4x4Build{"Sad4x4_C", &Sad4x4_C}),
                         BuildName());

using HalfPelFn = I32 (*)(const U8*, const U8*, I32, I32, I32);
// The prediction each build makes of a mode value.
using HalfPelBuild = Build<HalfPelFn, Pred (*)(int mode)>;

Pred RunningHalfPelPred(int mode) {
  return mode == 8 ? Pred::HalfX : mode == 4 ? Pred::HalfY : mode == 12 ? Pred::DiagExact : Pred::Full;
}
Pred PlainHalfPelPred(int mode) {
  return mode == 0 ? Pred::Full : mode == 8 ? Pred::HalfX : mode == 4 ? Pred::HalfY : Pred::DiagExact;
}

class SadHalfPelTest : public BuildTest<HalfPelBuild> {};

TEST_P(SadHalfPelTest, EveryModeValueAgainstItsPrediction) {
  std::mt19937 rng(1212);
  for (int n = 0; n < 4000; ++n) {
    const int mode = n % 16;
    const int rows = 1 + static_cast<int>(rng() % 17);
    const Bytes ref = RandomPlane(rng, kStep * 19), cur = RandomPlane(rng, kStep * 19);
    ASSERT_EQ(build().fn(ref.data(), cur.data(), kStep, rows, mode),
              ModelSad(ref.data(), cur.data(), kStep, rows, 16, build().formula(mode)))
        << "mode " << mode << " rows " << rows;
  }
}

TEST_P(SadHalfPelTest, GuardPagesAtEveryPosition) {
  std::mt19937 rng(3);
  for (int mode : {0, 4, 8, 12, 2}) {
    const Pred pred = build().formula(mode);
    GuardedBuffer ref((15 + ExtraRows(pred)) * kStep + 16 + ExtraColumns(pred)), cur(15 * kStep + 16);
    ref.Fill(RandomBytes(rng, ref.size()));
    cur.Fill(RandomBytes(rng, cur.size()));
    EXPECT_EQ(build().fn(ref.data(), cur.data(), kStep, 16, mode), ModelSad(ref.data(), cur.data(), kStep, 16, 16, pred));
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, SadHalfPelTest,
                         ::testing::Values(HalfPelBuild{"Sad16xNHalfPel_MmxExt", &Sad16xNHalfPel_MmxExt, Isa::Sse2, &RunningHalfPelPred},
                                           HalfPelBuild{"Sad16xNHalfPel_C", &Sad16xNHalfPel_C, Isa::Plain, &PlainHalfPelPred}),
                         BuildName());

TEST(SadHalfPel, NoRowsGiveZero) {
  const U8 block[16] = {};
  EXPECT_EQ(Sad16xNHalfPel_MmxExt(block, block, 16, 0, 0), 0);
  EXPECT_EQ(Sad16xNHalfPel_MmxExt(block, block, 16, -2, 12), 0);
}

// ---- The primitive ippiSAD16x16_8u32s, each build.

using SadPrimitiveFn = PrimitiveStatus (*)(const U8*, I32, const U8*, I32, I32*, I32);
enum class SadV { Plain, Exact, PavgbUp };
using SadPrimitiveBuild = Build<SadPrimitiveFn, SadV>;

class SadPrimitiveTest : public BuildTest<SadPrimitiveBuild> {};

TEST_P(SadPrimitiveTest, AllSixteenModeValuesAgainstTheFormula) {
  std::mt19937 rng(16);
  const SadV v = build().formula;
  for (int n = 0; n < 4000; ++n) {
    const int mode = n % 16;
    const I32 curStep = 16 + static_cast<I32>(rng() % 24), refStep = 17 + static_cast<I32>(rng() % 40);
    const Bytes ref = RandomPlane(rng, refStep * 17 + 1), cur = RandomPlane(rng, curStep * 16);
    Pred pred = PredOfModeBits(mode);
    if (v == SadV::PavgbUp && pred == Pred::DiagExact) pred = Pred::DiagUpHorizontal;
    const bool defined = v == SadV::Plain || (mode & ~12) == 0;
    I32 sad = -7;
    ASSERT_EQ(build().fn(cur.data(), curStep, ref.data(), refStep, &sad, mode),
              defined ? StatusOk : StatusInterpolationError)
        << "mode " << mode;
    I32 expected = -7;
    if (defined) {
      expected = 0;
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
          expected += std::abs(Predict(ref.data() + y * refStep + x, refStep, pred) - cur[y * curStep + x]);
    }
    ASSERT_EQ(sad, expected) << "mode " << mode;
  }
}

// Rows walk upwards with a negative step; the guard sits before the top row.
TEST_P(SadPrimitiveTest, NegativeStepsAndGuardPages) {
  std::mt19937 rng(9);
  for (int mode : {0, 4, 8, 12}) {
    Pred pred = PredOfModeBits(mode);
    if (build().formula == SadV::PavgbUp && pred == Pred::DiagExact) pred = Pred::DiagUpHorizontal;
    GuardedBuffer ref(16 * 32 + 17, GuardedBuffer::Guard::Before), cur(15 * 24 + 16, GuardedBuffer::Guard::Before);
    ref.Fill(RandomBytes(rng, ref.size()));
    cur.Fill(RandomBytes(rng, cur.size()));
    // Top row at the end, each row one step back; the row "below" is 32 bytes before.
    const U8* refTop = ref.data() + 16 * 32;
    const U8* curTop = cur.data() + 15 * 24;
    I32 sad = -1;
    ASSERT_EQ(build().fn(curTop, -24, refTop, -32, &sad, mode), StatusOk);
    I32 expected = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) expected += std::abs(Predict(refTop - y * 32 + x, -32, pred) - curTop[-y * 24 + x]);
    EXPECT_EQ(sad, expected) << mode;
  }
}

// The kernel builds have no kernel for a mode outside 0, 4, 8, 12: they used to
// report success with the sum unwritten, so a caller read whatever its
// variable held. Now they refuse, write nothing; the plain build reads only
// bits 2-3 of any mode and measures.
TEST_P(SadPrimitiveTest, UndefinedModesAreRefusedWithNothingWritten) {
  std::mt19937 rng(17);
  const Bytes ref = RandomPlane(rng, 17 * 17), cur = RandomPlane(rng, 16 * 16);
  const bool plain = build().formula == SadV::Plain;
  std::vector<I32> modes;
  for (I32 mode = -16; mode < 64; ++mode)
    if (!IsHalfPelMode(mode)) modes.push_back(mode);
  for (I32 mode : {0x7FFFFFFF, static_cast<I32>(0x80000000), 0x7FFFFFFC, static_cast<I32>(0x8000000C), 1 << 16 | 4})
    modes.push_back(mode);
  for (I32 mode : modes) {
    I32 sad = -7;
    const PrimitiveStatus status = build().fn(cur.data(), 16, ref.data(), 17, &sad, mode);
    if (plain) {
      ASSERT_EQ(status, StatusOk) << mode;
      I32 expected = 0;
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
          expected += std::abs(Predict(ref.data() + y * 17 + x, 17, PredOfModeBits(mode)) - cur[y * 16 + x]);
      ASSERT_EQ(sad, expected) << mode;
    } else {
      ASSERT_EQ(status, StatusInterpolationError) << mode;
      ASSERT_EQ(sad, -7) << mode;
    }
  }
}

TEST_P(SadPrimitiveTest, NullPointersAreRefusedBeforeAnythingIsWritten) {
  const U8 block[17 * 17] = {};
  I32 sad = 1234;
  EXPECT_EQ(build().fn(nullptr, 16, block, 17, &sad, 0), StatusNullPointer);
  EXPECT_EQ(build().fn(block, 16, nullptr, 17, &sad, 0), StatusNullPointer);
  EXPECT_EQ(build().fn(block, 16, block, 17, nullptr, 0), StatusNullPointer);
  EXPECT_EQ(sad, 1234);
}

INSTANTIATE_TEST_SUITE_P(Builds, SadPrimitiveTest,
                         ::testing::Values(SadPrimitiveBuild{"V1", &ippiSAD16x16_8u32s_V1, Isa::Plain, SadV::Plain},
                                           SadPrimitiveBuild{"V2", &ippiSAD16x16_8u32s_V2, Isa::Sse2, SadV::Exact},
                                           SadPrimitiveBuild{"V3", &ippiSAD16x16_8u32s_V3, Isa::Sse2, SadV::PavgbUp},
                                           SadPrimitiveBuild{"V4", &ippiSAD16x16_8u32s_V4, Isa::Sse2, SadV::PavgbUp},
                                           SadPrimitiveBuild{"Entry", &ippiSAD16x16_8u32s, Isa::Plain, SadV::Plain}),
                         BuildName());

TEST(SadPrimitive, DiagonalRoundingPartsBetweenBuildOneAndThree) {
  // One 1 among zeros: each of the four predictions it enters is exactly
  // (1 + 2) >> 2 = 0, and 1 when doubly rounded.
  U8 ref[17 * 17] = {};
  ref[17 + 1] = 1;
  const U8 cur[16 * 16] = {};
  I32 v1 = -1, v3 = -1;
  ippiSAD16x16_8u32s_V1(cur, 16, ref, 17, &v1, 12);
  ippiSAD16x16_8u32s_V3(cur, 16, ref, 17, &v3, 12);
  EXPECT_EQ(v1, 0);
  EXPECT_EQ(v3, 4);
}

TEST(SadTables, RunningBuildsSitInSlotOne) {
  EXPECT_EQ(Sad16x16Table.slot[kEngineSlotRunning], &Sad16x16_MmxExt);
  EXPECT_EQ(Sad16x16HalfXYTable.slot[kEngineSlotRunning], &Sad16x16HalfXY_MmxExtA);
  EXPECT_EQ(Sad16xNHalfXYTable.slot[kEngineSlotRunning], &Sad16xNHalfXY_MmxExt);
  EXPECT_EQ(Sad16xNHalfPelTable.slot[kEngineSlotRunning], &Sad16xNHalfPel_MmxExt);
  EXPECT_EQ(Sad4x4Table.slot[0], &Sad4x4_C);
  EXPECT_EQ(VideoPrimitives.sad16x16Builds.slot[kBuildAnyCpu], &ippiSAD16x16_8u32s_V1);
  EXPECT_EQ(VideoPrimitives.sad16x16Builds.slot[kBuildSse3], &ippiSAD16x16_8u32s_V4);
  // The entry runs slot 1.
  const std::vector<U8> ref(16 * 16, 3), cur(16 * 16, 1);
  EXPECT_EQ(Sad16x16(ref.data(), cur.data(), 16), 16 * 16 * 2);
}

}  // namespace
