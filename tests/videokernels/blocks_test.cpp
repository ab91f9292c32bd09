// Prediction, block transfer, residual and motion-compensation kernels: every build
// against a plain model of its own formula (exact averages with the round control,
// or the byte-average forms of the SIMD builds), and the primitives' statuses.
#include <support/kernel_test.h>
#include <zentra/engine_dispatch.h>
#include <zentra/quant_kernels.h>
#include <zentra/residual_kernels.h>
#include <zentra/video_primitives.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

using namespace zentra;
using zentra_test::Bytes;
using zentra_test::GuardedBuffer;

namespace {

int Avg(int a, int b) { return (a + b + 1) >> 1; }

// The exact half-sample prediction with a round control, bits 2-3 of the mode.
int ExactModel(const std::uint8_t* r, int step, int mode, int rc) {
  switch (mode & 12) {
    case 0: return r[0];
    case 4: return (r[0] + r[step] + 1 - rc) >> 1;
    case 8: return (r[0] + r[1] + 1 - rc) >> 1;
    default: return (r[0] + r[1] + r[step] + r[step + 1] + 2 - rc) >> 2;
  }
}

// Two levels of rounding-up byte averages.
int AverageUpModel(const std::uint8_t* r, int step, int mode) {
  if ((mode & 12) == 12) return Avg(Avg(r[0], r[1]), Avg(r[step], r[step + 1]));
  return ExactModel(r, step, mode, 0);
}

// The byte-average forms of the motion-compensation SIMD builds.
int RoundedModel(const std::uint8_t* r, int step, int mode, int rc) {
  switch (mode & 12) {
    case 0: return r[0];
    case 4: return Avg(std::max(r[0] - rc, 0), r[step]);
    case 8: return Avg(std::max(r[0] - rc, 0), r[1]);
    default: return Avg(Avg(r[0], r[1]), std::max(Avg(r[step], r[step + 1]) - (1 + rc), 0));
  }
}

int Sat16(int v) { return std::clamp(v, -32768, 32767); }

// t = F + 2r + B with saturating 16-bit adds, max(t, 0), (t + 1) >> 1, clamped to 255.
int SimdCombineModel(int f, int b, int r) {
  int t = Sat16(Sat16(f + Sat16(r + r)) + b);
  t = std::max(t, 0);
  return std::min((t + 1) >> 1, 255);
}

int PredictionModeModel(int mode) { return mode == 0 || mode == 4 || mode == 8 ? mode : 12; }

// A reference of (size + 1) rows of `step` bytes, with a margin of one row and one
// column that half-sample modes read.
struct Picture {
  int step;
  Bytes bytes;
  Picture(std::mt19937& rng, int size, int extraStep = 0) : step(size + 1 + extraStep),
      bytes(zentra_test::RandomBytes(rng, static_cast<std::size_t>(step) * (size + 1), 5)) {}
  const std::uint8_t* data() const { return bytes.data(); }
};

std::vector<std::int16_t> RandomResidual(std::mt19937& rng, int n, int lo, int hi) {
  return zentra_test::RandomShorts(rng, static_cast<std::size_t>(n), lo, hi);
}

// ---- Engine operations.

TEST(Prediction, EngineBuildsFollowTheirFormulasForEveryModeValue) {
  std::mt19937 rng(31);
  for (int n = 0; n < 400; ++n) {
    for (int mode = 0; mode < 16; ++mode) {
      for (int size : {8, 16}) {
        Picture ref(rng, size, static_cast<int>(rng() % 9));
        std::vector<std::uint8_t> running(static_cast<std::size_t>(ref.step) * size), plain(running.size()),
            roundedUp(running.size());
        if (size == 8) {
          Predict8x8(ref.data(), running.data(), ref.step, mode);
          Predict8x8_C(ref.data(), plain.data(), ref.step, mode);
          Predict8x8_MmxExt(ref.data(), roundedUp.data(), ref.step, mode);
        } else {
          Predict16x16(ref.data(), running.data(), ref.step, mode);
          Predict16x16_C(ref.data(), plain.data(), ref.step, mode);
        }
        const int m = PredictionModeModel(mode);
        for (int y = 0; y < size; ++y)
          for (int x = 0; x < size; ++x) {
            const std::uint8_t* r = ref.data() + y * ref.step + x;
            const int expected = ExactModel(r, ref.step, m, 0);
            ASSERT_EQ(running[y * ref.step + x], expected) << mode << " " << size;
            if (size == 8) { ASSERT_EQ(roundedUp[y * ref.step + x], AverageUpModel(r, ref.step, m)) << mode; }
          }
      }
    }
  }
}

TEST(Prediction, TwoReferenceBuildsAverageTheBackwardPredictionIn) {
  std::mt19937 rng(32);
  using Fn = void (*)(const std::uint8_t*, const std::uint8_t*, std::uint8_t*, std::int32_t, std::int32_t, std::int32_t);
  const struct {
    int size;
    Fn fn;
  } builds[] = {{8, PredictBidir8x8}, {8, PredictBidir8x8_C}, {16, PredictBidir16x16}, {16, PredictBidir16x16_C}};
  for (int n = 0; n < 300; ++n) {
    for (const auto& b : builds) {
      Picture fwd(rng, b.size), bwd(rng, b.size);
      const int fm = static_cast<int>(rng() % 16), bm = static_cast<int>(rng() % 16);
      std::vector<std::uint8_t> dst(static_cast<std::size_t>(fwd.step) * b.size);
      b.fn(fwd.data(), bwd.data(), dst.data(), fwd.step, fm, bm);
      for (int y = 0; y < b.size; ++y)
        for (int x = 0; x < b.size; ++x) {
          const int f = ExactModel(fwd.data() + y * fwd.step + x, fwd.step, PredictionModeModel(fm), 0);
          const int k = ExactModel(bwd.data() + y * fwd.step + x, fwd.step, PredictionModeModel(bm), 0);
          ASSERT_EQ(dst[y * fwd.step + x], Avg(f, k));
        }
    }
  }
  // Forward 10 and backward 11 at a sample give 11 whatever the modes.
  std::vector<std::uint8_t> ten(17 * 17, 10), eleven(17 * 17, 11), dst(17 * 16);
  PredictBidir8x8(ten.data(), eleven.data(), dst.data(), 17, 12, 4);
  EXPECT_EQ(dst[0], 11);
}

TEST(BlockTransfer, DifferenceReconstructionAndLevelShift) {
  std::mt19937 rng(33);
  for (int n = 0; n < 2000; ++n) {
    const int step = 8 + static_cast<int>(rng() % 9);
    const Bytes pred = zentra_test::RandomBytes(rng, static_cast<std::size_t>(step) * 8);
    const Bytes cur = zentra_test::RandomBytes(rng, pred.size());
    std::int16_t diffs[3][64];
    DiffBlock8x8(pred.data(), cur.data(), step, diffs[0]);
    DiffBlock8x8_C(pred.data(), cur.data(), step, diffs[1]);
    DiffBlock8x8_Ipp(pred.data(), cur.data(), step, diffs[2]);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        for (auto& d : diffs) ASSERT_EQ(d[8 * y + x], cur[y * step + x] - pred[y * step + x]);

    const auto residual = RandomResidual(rng, 64, -32768, 32767 - 255);
    std::vector<std::uint8_t> running(pred.size()), plain(pred.size()), ipp(pred.size());
    ReconstructBlock8x8(pred.data(), running.data(), step, residual.data());
    ReconstructBlock8x8_C(pred.data(), plain.data(), step, residual.data());
    ReconstructBlock8x8_Ipp(pred.data(), ipp.data(), step, residual.data());
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        const int full = std::clamp(pred[y * step + x] + residual[8 * y + x], 0, 255);
        ASSERT_EQ(running[y * step + x], full);
        ASSERT_EQ(plain[y * step + x], full);
        ASSERT_EQ(ipp[y * step + x], full);
      }

    std::int16_t levels[2][64];
    GetBlock8x8(cur.data(), step, levels[0]);
    GetBlock8x8_C(cur.data(), step, levels[1]);
    const auto src = RandomResidual(rng, 64, -32768, 32767);
    std::vector<std::uint8_t> put(pred.size()), putC(pred.size());
    PutBlock8x8(put.data(), step, src.data());
    PutBlock8x8_C(putC.data(), step, src.data());
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        ASSERT_EQ(levels[0][8 * y + x], cur[y * step + x] - 128);
        ASSERT_EQ(levels[1][8 * y + x], cur[y * step + x] - 128);
        const int s = src[8 * y + x];
        // The running build adds in 16 bits, so inputs above 32639 wrap.
        const int wrapped = static_cast<std::int16_t>(s + 128);
        ASSERT_EQ(put[y * step + x], std::clamp(wrapped, 0, 255));
        ASSERT_EQ(putC[y * step + x], std::clamp(s + 128, 0, 255));
      }
  }
}

TEST(BlockTransfer, PinnedEdgeCases) {
  std::uint8_t pred[64], dst[64];
  std::int16_t res[64];
  std::fill(pred, pred + 64, 250);
  std::fill(res, res + 64, 10);
  ReconstructBlock8x8(pred, dst, 8, res);
  EXPECT_EQ(dst[0], 255);
  std::fill(pred, pred + 64, 5);
  std::fill(res, res + 64, -10);
  ReconstructBlock8x8(pred, dst, 8, res);
  EXPECT_EQ(dst[63], 0);

  std::uint8_t src[64] = {0, 255};
  std::int16_t out[64];
  GetBlock8x8(src, 8, out);
  EXPECT_EQ(out[0], -128);
  EXPECT_EQ(out[1], 127);
  std::int16_t levels[64] = {-129, 128};
  PutBlock8x8(dst, 8, levels);
  EXPECT_EQ(dst[0], 0);
  EXPECT_EQ(dst[1], 255);

  std::int16_t diff[64];
  DiffBlock8x8(src, src, 8, diff);
  EXPECT_TRUE(std::all_of(diff, diff + 64, [](std::int16_t v) { return v == 0; }));
}

// ---- The residual primitive.

using GetDiffFn = PrimitiveStatus (*)(const std::uint8_t*, std::int32_t, const std::uint8_t*, std::int32_t,
                                      std::int16_t*, std::int32_t, std::int16_t*, std::int32_t, std::int32_t,
                                      std::int32_t);
struct GetDiffBuild {
  const char* name;
  GetDiffFn fn;
  bool exact;  // plain kernels honour the round control; SIMD ones use rounding-up averages
};
class GetDiffPrimitive : public ::testing::TestWithParam<GetDiffBuild> {};

TEST_P(GetDiffPrimitive, FollowsItsFormulaForEveryModeAndRoundControl) {
  std::mt19937 rng(41);
  for (int n = 0; n < 300; ++n) {
    for (int mode = 0; mode < 32; ++mode) {
      const int rc = static_cast<int>(rng() & 1);
      Picture ref(rng, 8, static_cast<int>(rng() % 5));
      const int curStep = 8 + static_cast<int>(rng() % 7);
      const Bytes cur = zentra_test::RandomBytes(rng, static_cast<std::size_t>(curStep) * 8);
      const int diffStep = rng() & 1 ? 16 : 32;  // in bytes
      std::vector<std::int16_t> diff(static_cast<std::size_t>(diffStep / 2) * 8, 0x5555), pred(diff.size(), 0x5555);
      const bool withPred = rng() & 1;
      ASSERT_EQ(GetParam().fn(cur.data(), curStep, ref.data(), ref.step, diff.data(), diffStep,
                              withPred ? pred.data() : nullptr, diffStep, mode, rc),
                StatusOk);
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          const std::uint8_t* r = ref.data() + y * ref.step + x;
          const int p = GetParam().exact ? ExactModel(r, ref.step, mode, rc) : AverageUpModel(r, ref.step, mode);
          ASSERT_EQ(diff[y * diffStep / 2 + x], cur[y * curStep + x] - p) << mode << " rc " << rc;
          ASSERT_EQ(pred[y * diffStep / 2 + x], withPred ? p : 0x5555);
        }
    }
  }
}

TEST_P(GetDiffPrimitive, EdgeCasesStatusesAndMargins) {
  const auto fn = GetParam().fn;
  // Neighbours 3 and 4 in mode 8: 4 with rc 0, 3 with rc 1 in the exact builds, 4 in the SIMD ones.
  std::uint8_t ref[9 * 9] = {};
  for (int y = 0; y < 9; ++y) {
    ref[y * 9] = 3;
    ref[y * 9 + 1] = 4;
  }
  std::uint8_t cur[64] = {};
  std::int16_t diff[64], pred[64];
  ASSERT_EQ(fn(cur, 8, ref, 9, diff, 16, pred, 16, 8, 0), StatusOk);
  EXPECT_EQ(pred[0], 4);
  ASSERT_EQ(fn(cur, 8, ref, 9, diff, 16, pred, 16, 8, 1), StatusOk);
  EXPECT_EQ(pred[0], GetParam().exact ? 3 : 4);

  std::int16_t untouched[64];
  std::fill(untouched, untouched + 64, 7);
  EXPECT_EQ(fn(nullptr, 8, ref, 9, untouched, 16, nullptr, 0, 0, 0), StatusNullPointer);
  EXPECT_EQ(fn(cur, 8, nullptr, 9, untouched, 16, nullptr, 0, 0, 0), StatusNullPointer);
  EXPECT_EQ(fn(cur, 8, ref, 9, nullptr, 16, nullptr, 0, 0, 0), StatusNullPointer);
  EXPECT_TRUE(std::all_of(untouched, untouched + 64, [](std::int16_t v) { return v == 7; }));

  // Reads stay within the block and its one-row, one-column margin; writes within the block.
  GuardedBuffer r(9 * 9), c(64), d(128), p(128);
  std::mt19937 rng(42);
  r.Fill(zentra_test::RandomBytes(rng, 81));
  c.Fill(zentra_test::RandomBytes(rng, 64));
  for (int mode : {0, 4, 8, 12}) {
    EXPECT_EQ(fn(c.data(), 8, r.data(), 9, d.as<std::int16_t>(), 16, p.as<std::int16_t>(), 16, mode, 1), StatusOk);
  }
  // Mode 0 with no prediction output reads only the block itself.
  GuardedBuffer exact(64);
  EXPECT_EQ(fn(c.data(), 8, exact.data(), 8, d.as<std::int16_t>(), 16, nullptr, 0, 0, 0), StatusOk);
}

INSTANTIATE_TEST_SUITE_P(Builds, GetDiffPrimitive,
                         ::testing::Values(GetDiffBuild{"V1", ippiGetDiff8x8_8u16s_C1_V1, true},
                                           GetDiffBuild{"V2", ippiGetDiff8x8_8u16s_C1_V2, true},
                                           GetDiffBuild{"V3", ippiGetDiff8x8_8u16s_C1_V3, false},
                                           GetDiffBuild{"V4", ippiGetDiff8x8_8u16s_C1_V4, false},
                                           GetDiffBuild{"Entry", ippiGetDiff8x8_8u16s_C1, true}),
                         zentra_test::BuildName());

TEST(PredictAddResidual, ExactPredictionPlusResidualClipped) {
  std::mt19937 rng(43);
  for (int n = 0; n < 2000; ++n) {
    const int mode = static_cast<int>(rng() % 32), rc = static_cast<int>(rng() & 1);
    Picture ref(rng, 8, static_cast<int>(rng() % 4));
    const auto res = RandomResidual(rng, 64, -400, 400);
    std::vector<std::uint8_t> dst(8 * 11);
    ASSERT_EQ(PredictAddResidual8x8(ref.data(), ref.step, res.data(), 16, dst.data(), 11, mode, rc), StatusOk);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        ASSERT_EQ(dst[y * 11 + x],
                  std::clamp(res[8 * y + x] + ExactModel(ref.data() + y * ref.step + x, ref.step, mode, rc), 0, 255));
  }
  std::uint8_t p[81], d[64];
  std::int16_t r[64];
  std::fill(p, p + 81, 250);
  std::fill(r, r + 64, 10);
  ASSERT_EQ(PredictAddResidual8x8(p, 9, r, 16, d, 8, 0, 0), StatusOk);
  EXPECT_EQ(d[0], 255);
  EXPECT_EQ(PredictAddResidual8x8(nullptr, 9, r, 16, d, 8, 0, 0), StatusNullPointer);
  EXPECT_EQ(PredictAddResidual8x8(p, 9, nullptr, 16, d, 8, 0, 0), StatusNullPointer);
  EXPECT_EQ(PredictAddResidual8x8(p, 9, r, 16, nullptr, 8, 0, 0), StatusNullPointer);
}

// ---- Motion compensation.

using McFn = PrimitiveStatus (*)(const std::uint8_t*, std::int32_t, std::int32_t, const std::uint8_t*, std::int32_t,
                                 std::int32_t, const std::int16_t*, std::int32_t, std::uint8_t*, std::int32_t,
                                 std::int32_t);
enum class McForm { Plain, Simd, SimdNoRc };
struct McBuild {
  const char* name;
  McFn fn;
  int size;
  McForm form;
};
class McPrimitive : public ::testing::TestWithParam<McBuild> {};

int McModel(const McBuild& b, const std::uint8_t* f, int stepF, int modeF, const std::uint8_t* k, int stepB,
            int modeB, int residual, int rc) {
  if (b.form == McForm::Plain) {
    const int v = (2 * residual + ExactModel(f, stepF, modeF, rc) + ExactModel(k, stepB, modeB, rc) + 1) >> 1;
    return std::clamp(v, 0, 255);
  }
  const int r = b.form == McForm::Simd ? rc : 0;
  return SimdCombineModel(RoundedModel(f, stepF, modeF, r), RoundedModel(k, stepB, modeB, r), residual);
}

void CheckMc(const McBuild& b, std::mt19937& rng, bool aligned) {
  const int size = b.size;
  const int stepF = aligned ? 32 : size + 1 + static_cast<int>(rng() % 5);
  const int stepB = aligned ? 48 : size + 1 + static_cast<int>(rng() % 5);
  // Over-allocate and offset so aligned runs start on 16-byte boundaries.
  alignas(16) static std::uint8_t fBuf[64 * 20], bBuf[64 * 20], dBuf[64 * 20];
  alignas(16) static std::int16_t rBuf[32 * 20];
  const Bytes fb = zentra_test::RandomBytes(rng, static_cast<std::size_t>(stepF) * (size + 1), 5);
  const Bytes bb = zentra_test::RandomBytes(rng, static_cast<std::size_t>(stepB) * (size + 1), 3);
  std::uint8_t* f = fBuf + (aligned ? 0 : 1);
  std::uint8_t* k = bBuf + (aligned ? 0 : 3);
  std::memcpy(f, fb.data(), fb.size());
  std::memcpy(k, bb.data(), bb.size());
  const int resStep = aligned ? 2 * 16 : 2 * size + 2 * static_cast<int>(rng() % 3);
  const auto res = RandomResidual(rng, resStep / 2 * size, rng() % 4 == 0 ? -32768 : -300,
                                  rng() % 4 == 0 ? 32767 : 300);
  std::int16_t* residual = rBuf + (aligned ? 0 : 1);
  std::memcpy(residual, res.data(), res.size() * 2);
  const int dstStep = aligned ? 32 : size + 3;
  std::uint8_t* dst = dBuf + (aligned ? 0 : 5);
  const int modeF = static_cast<int>(rng() % 64), modeB = static_cast<int>(rng() % 64), rc = static_cast<int>(rng() & 1);
  ASSERT_EQ(b.fn(f, stepF, modeF, k, stepB, modeB, residual, resStep, dst, dstStep, rc), StatusOk);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      ASSERT_EQ(dst[y * dstStep + x], McModel(b, f + y * stepF + x, stepF, modeF, k + y * stepB + x, stepB, modeB,
                                               residual[y * resStep / 2 + x], rc))
          << b.name << " modes " << modeF << "/" << modeB << " rc " << rc << " at " << x << "," << y;
}

TEST_P(McPrimitive, FollowsItsFormulaForEveryModePairAndRoundControl) {
  std::mt19937 rng(51);
  for (int n = 0; n < 3000; ++n) CheckMc(GetParam(), rng, false);
  for (int n = 0; n < 1000; ++n) CheckMc(GetParam(), rng, true);
}

TEST_P(McPrimitive, EdgeCasesStatusesAndMargins) {
  const auto& b = GetParam();
  const int size = b.size;
  std::vector<std::uint8_t> f(17 * 17, 100), k(17 * 17, 101), dst(16 * 16, 9);
  std::vector<std::int16_t> res(16 * 16, 0);
  ASSERT_EQ(b.fn(f.data(), 17, 0, k.data(), 17, 0, res.data(), 2 * size, dst.data(), size, 0), StatusOk);
  EXPECT_EQ(dst[0], 101);
  std::fill(res.begin(), res.end(), -300);
  ASSERT_EQ(b.fn(f.data(), 17, 12, k.data(), 17, 4, res.data(), 2 * size, dst.data(), size, 1), StatusOk);
  EXPECT_EQ(dst[size * size - 1], 0);
  std::fill(res.begin(), res.end(), 300);
  ASSERT_EQ(b.fn(f.data(), 17, 8, k.data(), 17, 8, res.data(), 2 * size, dst.data(), size, 0), StatusOk);
  EXPECT_EQ(dst[size * size - 1], 255);

  // Forward mode 8 over neighbours 3 and 4 with rc 1: 3 exactly; the 16-sample SSE2 kernels use 4.
  std::vector<std::uint8_t> f34(17 * 17, 0);
  for (int y = 0; y < 17; ++y) {
    f34[y * 17] = 3;
    f34[y * 17 + 1] = 4;
  }
  std::fill(res.begin(), res.end(), 0);
  std::vector<std::uint8_t> k3(17 * 17, 3);
  ASSERT_EQ(b.fn(f34.data(), 17, 8, k3.data(), 17, 0, res.data(), 2 * size, dst.data(), size, 1), StatusOk);
  // pF 3: (3 + 3 + 1) >> 1 = 3; pF 4: (4 + 3 + 1) >> 1 = 4.
  EXPECT_EQ(dst[0], b.form == McForm::SimdNoRc ? 4 : 3);

  // Mode values past the half-sample bits select by those bits only.
  std::vector<std::uint8_t> a1(16 * 16), a2(16 * 16);
  ASSERT_EQ(b.fn(f.data(), 17, 4 + 16 * 7, k.data(), 17, 8 + 48, res.data(), 2 * size, a1.data(), size, 0), StatusOk);
  ASSERT_EQ(b.fn(f.data(), 17, 4, k.data(), 17, 8, res.data(), 2 * size, a2.data(), size, 0), StatusOk);
  EXPECT_EQ(a1, a2);
  ASSERT_EQ(b.fn(f.data(), 17, -1, k.data(), 17, 0x7fffffff, res.data(), 2 * size, a1.data(), size, 0), StatusOk);

  std::vector<std::uint8_t> untouched(16 * 16, 9);
  EXPECT_EQ(b.fn(nullptr, 17, 0, k.data(), 17, 0, res.data(), 32, untouched.data(), 16, 0), StatusNullPointer);
  EXPECT_EQ(b.fn(f.data(), 17, 0, nullptr, 17, 0, res.data(), 32, untouched.data(), 16, 0), StatusNullPointer);
  EXPECT_EQ(b.fn(f.data(), 17, 0, k.data(), 17, 0, nullptr, 32, untouched.data(), 16, 0), StatusNullPointer);
  EXPECT_EQ(b.fn(f.data(), 17, 0, k.data(), 17, 0, res.data(), 32, nullptr, 16, 0), StatusNullPointer);
  EXPECT_TRUE(std::all_of(untouched.begin(), untouched.end(), [](std::uint8_t v) { return v == 9; }));

  // References with exactly one extra row and column, residual and destination
  // exactly the block: every access stays inside.
  const std::size_t refBytes = static_cast<std::size_t>(size + 1) * (size + 1);
  GuardedBuffer gf(refBytes), gk(refBytes), gr(static_cast<std::size_t>(size) * size * 2), gd(static_cast<std::size_t>(size) * size);
  GuardedBuffer bf(refBytes, GuardedBuffer::Guard::Before), bd(static_cast<std::size_t>(size) * size, GuardedBuffer::Guard::Before);
  for (int mf : {0, 4, 8, 12})
    for (int mb : {0, 4, 8, 12}) {
      EXPECT_EQ(b.fn(gf.data(), size + 1, mf, gk.data(), size + 1, mb, gr.as<std::int16_t>(), 2 * size, gd.data(), size, 1), StatusOk);
      EXPECT_EQ(b.fn(bf.data(), size + 1, mf, gk.data(), size + 1, mb, gr.as<std::int16_t>(), 2 * size, bd.data(), size, 0), StatusOk);
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, McPrimitive,
                         ::testing::Values(McBuild{"Mc16x16V1", ippiMC16x16B_8u_C1_V1, 16, McForm::Plain},
                                           McBuild{"Mc16x16V2", ippiMC16x16B_8u_C1_V2, 16, McForm::Simd},
                                           McBuild{"Mc16x16V3", ippiMC16x16B_8u_C1_V3, 16, McForm::SimdNoRc},
                                           McBuild{"Mc16x16V4", ippiMC16x16B_8u_C1_V4, 16, McForm::SimdNoRc},
                                           McBuild{"Mc16x16Entry", ippiMC16x16B_8u_C1, 16, McForm::Plain},
                                           McBuild{"Mc8x8V1", ippiMC8x8B_8u_C1_V1, 8, McForm::Plain},
                                           McBuild{"Mc8x8V2", ippiMC8x8B_8u_C1_V2, 8, McForm::Simd},
                                           McBuild{"Mc8x8V3", ippiMC8x8B_8u_C1_V3, 8, McForm::Simd},
                                           McBuild{"Mc8x8V4", ippiMC8x8B_8u_C1_V4, 8, McForm::Simd},
                                           McBuild{"Mc8x8Entry", ippiMC8x8B_8u_C1, 8, McForm::Plain}),
                         zentra_test::BuildName());

TEST(McTables, VariantsAndOneReferenceSlotsAreLaidOutByMode) {
  // V1 and V2 repeat one kernel in the four variant slots; V3 and V4 carry four.
  for (int pair = 0; pair < 16; ++pair) {
    for (int v = 1; v < 4; ++v) {
      EXPECT_EQ(Mc16x16Kernels_V1.twoRef[4 * pair + v], Mc16x16Kernels_V1.twoRef[4 * pair]);
      EXPECT_NE(Mc16x16Kernels_V3.twoRef[4 * pair + v], Mc16x16Kernels_V3.twoRef[4 * pair]);
    }
    EXPECT_EQ(Mc16x16Kernels_V3.twoRef[4 * pair], Mc16x16Kernels_V4.twoRef[4 * pair]);
    EXPECT_EQ(Mc8x8Kernels_V3.twoRef[pair], Mc8x8Kernels_V2.twoRef[pair]);
  }
  for (int m = 0; m < 4; ++m)
    for (int k = 1; k < 4; ++k) EXPECT_EQ(Mc8x8Kernels_V2.oneRef[4 * m + k], Mc8x8Kernels_V2.oneRef[4 * m]);
  EXPECT_EQ(VideoPrimitives.mc16x16BBuilds.slot[1], &ippiMC16x16B_8u_C1_V1);
  EXPECT_EQ(VideoPrimitives.mc8x8BBuilds.slot[4], &ippiMC8x8B_8u_C1_V4);
  EXPECT_EQ(VideoPrimitives.getDiff8x8Builds.slot[3], &ippiGetDiff8x8_8u16s_C1_V3);
  EXPECT_EQ(VideoPrimitives.quantInvBuilds.slot[2], &ippiQuantInv_MPEG2_16s_C1I_V2);
  EXPECT_EQ(VideoPrimitives.quantInvIntraBuilds.slot[5], nullptr);
}

}  // namespace
