#include "block_models.h"

#include <zentra/squared_difference_kernels.h>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace zentra;
using namespace zentra_test;

namespace {

constexpr int kStep = 36;

// ---- One reference.

using SsdFn = I32 (*)(const U8* ref, const U8* cur, I32 step, I32 rows, I32 mode);
struct SsdFormula {
  std::optional<Pred> (*pred)(int mode);  // none: the build measures 0
  int fixedRows;
};
using SsdBuild = Build<SsdFn, SsdFormula>;

std::optional<Pred> RunningSsd16x16Pred(int mode) {
  return mode == 0 ? Pred::Full : mode == 4 ? Pred::HalfY : mode == 12 ? Pred::DiagExact : Pred::HalfX;
}
std::optional<Pred> RunningSsd16xNPred(int mode) {
  return mode == 4 ? Pred::HalfY : mode == 8 ? Pred::HalfX : mode == 12 ? Pred::DiagExact : Pred::Full;
}
std::optional<Pred> PlainSsdPred(int mode) { return mode == 0 ? Pred::Full : Pred::HalfX; }
std::optional<Pred> DelegatingSsdPred(int mode) {
  if (mode != 0 && mode != 4 && mode != 8 && mode != 12) return std::nullopt;
  return PredOfModeBits(mode);
}

class SsdTest : public BuildTest<SsdBuild> {};

TEST_P(SsdTest, EveryModeValueAgainstItsPrediction) {
  std::mt19937 rng(2200);
  for (int n = 0; n < 4000; ++n) {
    const int mode = n % 16;
    const int rows = build().formula.fixedRows != 0 ? build().formula.fixedRows : 1 + static_cast<int>(rng() % 20);
    const Bytes ref = RandomPlane(rng, kStep * 22), cur = RandomPlane(rng, kStep * 22);
    const auto pred = build().formula.pred(mode);
    const I32 expected = pred ? ModelSsd(ref.data(), cur.data(), kStep, rows, *pred) : 0;
    ASSERT_EQ(build().fn(ref.data(), cur.data(), kStep, rows, mode), expected) << "mode " << mode << " rows " << rows;
  }
}

TEST_P(SsdTest, ReadsOnlyTheBlockAndItsMargin) {
  std::mt19937 rng(8);
  for (int mode : {0, 4, 8, 12, 2}) {
    const auto pred = build().formula.pred(mode);
    const Pred p = pred.value_or(Pred::Full);
    GuardedBuffer ref((15 + ExtraRows(p)) * kStep + 16 + ExtraColumns(p)), cur(15 * kStep + 16);
    ref.Fill(RandomBytes(rng, ref.size()));
    cur.Fill(RandomBytes(rng, cur.size()));
    EXPECT_EQ(build().fn(ref.data(), cur.data(), kStep, 16, mode), pred ? ModelSsd(ref.data(), cur.data(), kStep, 16, p) : 0);
  }
}

I32 Ssd16x16MmxRows(const U8* r, const U8* c, I32 s, I32, I32 m) { return Ssd16x16_Mmx(r, c, s, m); }
I32 Ssd16x16CRows(const U8* r, const U8* c, I32 s, I32, I32 m) { return Ssd16x16_C(r, c, s, m); }
I32 Ssd16x16IppRows(const U8* r, const U8* c, I32 s, I32, I32 m) { return Ssd16x16_Ipp(r, c, s, m); }

INSTANTIATE_TEST_SUITE_P(
    Builds, SsdTest,
    ::testing::Values(SsdBuild{"Ssd16x16_Mmx", &Ssd16x16MmxRows, Isa::Sse2, {&RunningSsd16x16Pred, 16}},
                      SsdBuild{"Ssd16x16_C", &Ssd16x16CRows, Isa::Plain, {&PlainSsdPred, 16}},
                      SsdBuild{"Ssd16x16_Ipp", &Ssd16x16IppRows, Isa::Sse2, {&DelegatingSsdPred, 16}},
                      SsdBuild{"Ssd16xN_Mmx", &Ssd16xN_Mmx, Isa::Sse2, {&RunningSsd16xNPred, 0}},
                      SsdBuild{"Ssd16xN_C", &Ssd16xN_C, Isa::Plain, {&PlainSsdPred, 0}}),
    BuildName());

// ---- Two references.

using BidirFn = I32 (*)(const U8* f, const U8* b, const U8* cur, I32 step, I32 rows, I32 fm, I32 bm);
// The prediction of each reference for a pair of mode values.
struct BidirFormula {
  std::pair<Pred, Pred> (*preds)(int fwdMode, int bwdMode);
  int fixedRows;
};
using BidirBuild = Build<BidirFn, BidirFormula>;

Pred UpPred(int mode) {
  return mode == 0 ? Pred::Full : mode == 4 ? Pred::HalfY : mode == 8 ? Pred::HalfX : Pred::DiagUpHorizontal;
}
std::pair<Pred, Pred> RunningBidirPreds(int f, int b) {
  const bool fOk = f == 0 || f == 4 || f == 8;
  const bool bOk = b == 0 || b == 4 || b == 8;
  if (fOk && (bOk || b == 12)) return {UpPred(f), UpPred(b)};
  return {UpPred(12), UpPred(bOk ? b : 12)};
}
std::pair<Pred, Pred> BitBidirPreds(int f, int b) { return {PredOfModeBits(f), PredOfModeBits(b)}; }

class SsdBidirTest : public BuildTest<BidirBuild> {};

TEST_P(SsdBidirTest, EveryPairOfModeValuesAgainstItsPredictions) {
  std::mt19937 rng(3300);
  for (int n = 0; n < 4096; ++n) {
    const int fm = n % 16, bm = (n / 16) % 16;
    const int rows = build().formula.fixedRows != 0 ? build().formula.fixedRows : 1 + static_cast<int>(rng() % 20);
    const Bytes f = RandomPlane(rng, kStep * 22), b = RandomPlane(rng, kStep * 22), cur = RandomPlane(rng, kStep * 22);
    const auto [pf, pb] = build().formula.preds(fm, bm);
    ASSERT_EQ(build().fn(f.data(), b.data(), cur.data(), kStep, rows, fm, bm),
              ModelBidir(f.data(), kStep, pf, b.data(), kStep, pb, cur.data(), kStep, rows))
        << fm << " " << bm;
  }
}

TEST_P(SsdBidirTest, ReadsOnlyTheBlocksAndTheirMargins) {
  std::mt19937 rng(4);
  for (auto [fm, bm] : {std::pair{0, 0}, {12, 12}, {8, 4}, {0, 2}, {2, 4}}) {
    const auto [pf, pb] = build().formula.preds(fm, bm);
    GuardedBuffer f((15 + ExtraRows(pf)) * kStep + 16 + ExtraColumns(pf));
    GuardedBuffer b((15 + ExtraRows(pb)) * kStep + 16 + ExtraColumns(pb));
    GuardedBuffer cur(15 * kStep + 16);
    f.Fill(RandomBytes(rng, f.size()));
    b.Fill(RandomBytes(rng, b.size()));
    cur.Fill(RandomBytes(rng, cur.size()));
    EXPECT_EQ(build().fn(f.data(), b.data(), cur.data(), kStep, 16, fm, bm),
              ModelBidir(f.data(), kStep, pf, b.data(), kStep, pb, cur.data(), kStep, 16));
  }
}

I32 BidirMmxExt(const U8* f, const U8* b, const U8* c, I32 s, I32, I32 fm, I32 bm) { return SsdBidir16x16_MmxExt(f, b, c, s, fm, bm); }
I32 BidirMmx(const U8* f, const U8* b, const U8* c, I32 s, I32, I32 fm, I32 bm) { return SsdBidir16x16_Mmx(f, b, c, s, fm, bm); }
I32 BidirC(const U8* f, const U8* b, const U8* c, I32 s, I32, I32 fm, I32 bm) { return SsdBidir16x16_C(f, b, c, s, fm, bm); }
I32 BidirIpp(const U8* f, const U8* b, const U8* c, I32 s, I32, I32 fm, I32 bm) { return SsdBidir16x16_Ipp(f, b, c, s, fm, bm); }

INSTANTIATE_TEST_SUITE_P(
    Builds, SsdBidirTest,
    ::testing::Values(BidirBuild{"SsdBidir16x16_MmxExt", &BidirMmxExt, Isa::Sse2, {&RunningBidirPreds, 16}},
                      BidirBuild{"SsdBidir16x16_Mmx", &BidirMmx, Isa::Sse2, {&BitBidirPreds, 16}},
                      BidirBuild{"SsdBidir16x16_C", &BidirC, Isa::Plain, {&BitBidirPreds, 16}},
                      BidirBuild{"SsdBidir16x16_Ipp", &BidirIpp, Isa::Plain, {&BitBidirPreds, 16}},
                      BidirBuild{"SsdBidir16xN_Mmx", &SsdBidir16xN_Mmx, Isa::Sse2, {&BitBidirPreds, 0}}),
    BuildName());

TEST(SsdBidir, ModeChoiceOfTheRunningBuild) {
  // Forward 0 with backward 2: both references at 12; forward 2 with backward 4:
  // forward at 12, backward at 4.
  std::mt19937 rng(12);
  const Bytes f = RandomBytes(rng, 17 * 17), b = RandomBytes(rng, 17 * 17), cur = RandomBytes(rng, 17 * 17);
  EXPECT_EQ(SsdBidir16x16(f.data(), b.data(), cur.data(), 17, 0, 2),
            ModelBidir(f.data(), 17, Pred::DiagUpHorizontal, b.data(), 17, Pred::DiagUpHorizontal, cur.data(), 17, 16));
  EXPECT_EQ(SsdBidir16x16(f.data(), b.data(), cur.data(), 17, 2, 4),
            ModelBidir(f.data(), 17, Pred::DiagUpHorizontal, b.data(), 17, Pred::HalfY, cur.data(), 17, 16));
}

TEST(Ssd, OddModesOfTheRunningBuilds) {
  std::mt19937 rng(13);
  const Bytes ref = RandomBytes(rng, 17 * 17), cur = RandomBytes(rng, 17 * 17);
  EXPECT_EQ(Ssd16x16(ref.data(), cur.data(), 17, 2), ModelSsd(ref.data(), cur.data(), 17, 16, Pred::HalfX));
  EXPECT_EQ(Ssd16xN(ref.data(), cur.data(), 17, 16, 2), ModelSsd(ref.data(), cur.data(), 17, 16, Pred::Full));
}

// ---- The primitive and the one-reference form.

using SqrDiffFn = PrimitiveStatus (*)(const U8*, I32, const U8*, I32, I32, const U8*, I32, I32, I32*);
using SqrDiffBuild = Build<SqrDiffFn>;
class SqrDiffPrimitiveTest : public BuildTest<SqrDiffBuild> {};

TEST_P(SqrDiffPrimitiveTest, EveryPairOfModesWithOwnSteps) {
  std::mt19937 rng(4400);
  for (int n = 0; n < 4096; ++n) {
    const int fm = n % 16, bm = (n / 16) % 16;
    const I32 cs = 16 + static_cast<I32>(rng() % 20), fs = 17 + static_cast<I32>(rng() % 30), bs = 17 + static_cast<I32>(rng() % 30);
    const Bytes f = RandomPlane(rng, fs * 17 + 1), b = RandomPlane(rng, bs * 17 + 1), cur = RandomPlane(rng, cs * 16);
    I32 ssd = -1;
    ASSERT_EQ(build().fn(cur.data(), cs, f.data(), fs, fm, b.data(), bs, bm, &ssd), StatusOk);
    ASSERT_EQ(ssd, ModelBidir(f.data(), fs, PredOfModeBits(fm), b.data(), bs, PredOfModeBits(bm), cur.data(), cs, 16))
        << fm << " " << bm;
  }
}

TEST_P(SqrDiffPrimitiveTest, NullPointersAreRefusedBeforeAnythingIsWritten) {
  const U8 block[17 * 17] = {};
  I32 ssd = 99;
  EXPECT_EQ(build().fn(nullptr, 16, block, 17, 0, block, 17, 0, &ssd), StatusNullPointer);
  EXPECT_EQ(build().fn(block, 16, nullptr, 17, 0, block, 17, 0, &ssd), StatusNullPointer);
  EXPECT_EQ(build().fn(block, 16, block, 17, 0, nullptr, 17, 0, &ssd), StatusNullPointer);
  EXPECT_EQ(build().fn(block, 16, block, 17, 0, block, 17, 0, nullptr), StatusNullPointer);
  EXPECT_EQ(ssd, 99);
}

TEST_P(SqrDiffPrimitiveTest, GuardPagesWithNegativeSteps) {
  std::mt19937 rng(5);
  for (auto [fm, bm] : {std::pair{0, 0}, {12, 4}, {8, 12}}) {
    GuardedBuffer f(16 * 20 + 17, GuardedBuffer::Guard::Before), b(16 * 24 + 17, GuardedBuffer::Guard::Before);
    GuardedBuffer cur(15 * 16 + 16, GuardedBuffer::Guard::Before);
    f.Fill(RandomBytes(rng, f.size()));
    b.Fill(RandomBytes(rng, b.size()));
    cur.Fill(RandomBytes(rng, cur.size()));
    const U8* fTop = f.data() + 16 * 20;
    const U8* bTop = b.data() + 16 * 24;
    const U8* cTop = cur.data() + 15 * 16;
    I32 ssd = -1;
    ASSERT_EQ(build().fn(cTop, -16, fTop, -20, fm, bTop, -24, bm, &ssd), StatusOk);
    EXPECT_EQ(ssd, ModelBidir(fTop, -20, PredOfModeBits(fm), bTop, -24, PredOfModeBits(bm), cTop, -16, 16));
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, SqrDiffPrimitiveTest,
                         ::testing::Values(SqrDiffBuild{"V1", &ippiSqrDiff16x16B_8u32s_V1},
                                           SqrDiffBuild{"V2", &ippiSqrDiff16x16B_8u32s_V2, Isa::Sse2},
                                           SqrDiffBuild{"V3", &ippiSqrDiff16x16B_8u32s_V3, Isa::Sse2},
                                           SqrDiffBuild{"V4", &ippiSqrDiff16x16B_8u32s_V4, Isa::Sse2},
                                           SqrDiffBuild{"Entry", &ippiSqrDiff16x16B_8u32s}),
                         BuildName());

TEST(SqrDiffPrimitive, RoundedMeanOfTheTwoPredictions) {
  // pF 10, pB 11, cur 10: (21 + 1) >> 1 = 11, one squared.
  std::vector<U8> f(16 * 16, 10), b(16 * 16, 11), cur(16 * 16, 10);
  I32 ssd = -1;
  ippiSqrDiff16x16B_8u32s_V1(cur.data(), 16, f.data(), 16, 0, b.data(), 16, 0, &ssd);
  EXPECT_EQ(ssd, 256);
  ippiSqrDiff16x16B_8u32s_V3(cur.data(), 16, f.data(), 16, 0, b.data(), 16, 0, &ssd);
  EXPECT_EQ(ssd, 256);
}

TEST(SqrDiffHalfPel, DefinedModesAgainstTheExactPrediction) {
  std::mt19937 rng(6);
  for (int n = 0; n < 2000; ++n) {
    const int mode = 4 * (n % 4);
    const Bytes ref = RandomPlane(rng, 720 * 17 + 1), cur = RandomPlane(rng, 16 * 16);
    I32 ssd = -1;
    ASSERT_EQ(SqrDiffHalfPel16x16(cur.data(), 16, ref.data(), 720, mode, &ssd), StatusOk);
    I32 expected = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const int d = Predict(ref.data() + y * 720 + x, 720, PredOfModeBits(mode)) - cur[16 * y + x];
        expected += d * d;
      }
    ASSERT_EQ(ssd, expected);
  }
}

// A mode outside 0, 4, 8, 12 used to return success with the sum unwritten, so
// the delegating engine build returned whatever its variable held.
TEST(SqrDiffHalfPel, UndefinedModesAreRefusedAndMeasureZeroThroughTheEngine) {
  std::mt19937 rng(7);
  const Bytes ref = RandomBytes(rng, 17 * 17), cur = RandomBytes(rng, 17 * 17);
  for (int mode : {1, 2, 3, 5, 13, 16, -4}) {
    I32 ssd = 1234;
    EXPECT_EQ(SqrDiffHalfPel16x16(cur.data(), 17, ref.data(), 17, mode, &ssd), StatusInterpolationError) << mode;
    EXPECT_EQ(ssd, 1234);
    EXPECT_EQ(Ssd16x16_Ipp(ref.data(), cur.data(), 17, mode), 0) << mode;
  }
  I32 ssd = 5;
  EXPECT_EQ(SqrDiffHalfPel16x16(nullptr, 17, ref.data(), 17, 0, &ssd), StatusNullPointer);
  EXPECT_EQ(SqrDiffHalfPel16x16(cur.data(), 17, nullptr, 17, 0, &ssd), StatusNullPointer);
  EXPECT_EQ(SqrDiffHalfPel16x16(cur.data(), 17, ref.data(), 17, 7, nullptr), StatusNullPointer);
  EXPECT_EQ(ssd, 5);
}

TEST(SsdTables, RunningBuildsSitInSlotOne) {
  EXPECT_EQ(Ssd16x16Table.slot[kEngineSlotRunning], &Ssd16x16_Mmx);
  EXPECT_EQ(Ssd16xNTable.slot[kEngineSlotRunning], &Ssd16xN_Mmx);
  EXPECT_EQ(SsdBidir16x16Table.slot[kEngineSlotRunning], &SsdBidir16x16_MmxExt);
  EXPECT_EQ(SsdBidir16x16Table.slot[5], &SsdBidir16x16_Mmx);
  EXPECT_EQ(SsdBidir16xNTable.slot[kEngineSlotRunning], &SsdBidir16xN_Mmx);
  EXPECT_EQ(VideoPrimitives.sqrDiff16x16BBuilds.slot[kBuildAnyCpu], &ippiSqrDiff16x16B_8u32s_V1);
}

}  // namespace
