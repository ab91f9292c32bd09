#include "block_models.h"

#include <zentra/statistics_kernels.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace zentra;
using namespace zentra_test;

namespace {

// ---- Variances.

struct Sums {
  std::uint64_t s = 0, q = 0;
};
Sums SumsOf(const U8* src, P step, int rows) {
  Sums r;
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < 16; ++x) {
      r.s += src[y * step + x];
      r.q += src[y * step + x] * src[y * step + x];
    }
  return r;
}

using VarianceFn = I32 (*)(const U8* src, I32 step, I32 rows);
// The variance a build forms from the two sums and the row count.
using VarianceBuild = Build<VarianceFn, I32 (*)(Sums, int rows)>;

I32 Var16x16(Sums v, int) { return static_cast<I32>(static_cast<std::uint32_t>(v.q) - static_cast<std::uint32_t>((v.s * v.s) >> 8)); }
I32 Var16xNSigned(Sums v, int rows) {
  const std::int64_t sq = static_cast<std::int64_t>(v.s) * static_cast<std::int64_t>(v.s);
  return static_cast<I32>(static_cast<std::uint32_t>(v.q) - static_cast<std::uint32_t>(sq / (16 * rows)));
}
I32 Var16xNWrapping(Sums v, int rows) {
  const std::uint32_t sq = static_cast<std::uint32_t>(v.s) * static_cast<std::uint32_t>(v.s);
  return static_cast<I32>(static_cast<std::uint32_t>(v.q) - sq / static_cast<std::uint32_t>(16 * rows));
}

class VarianceTest : public BuildTest<VarianceBuild> {};

TEST_P(VarianceTest, RandomBlocksAndGuardPages) {
  std::mt19937 rng(55);
  const bool fixed = build().formula == &Var16x16;
  for (int n = 0; n < 4000; ++n) {
    const int rows = fixed ? 16 : 1 + static_cast<int>(rng() % 40);
    const Bytes src = RandomPlane(rng, 24 * rows);
    ASSERT_EQ(build().fn(src.data(), 24, rows), build().formula(SumsOf(src.data(), 24, rows), rows)) << rows;
  }
  GuardedBuffer src(15 * 24 + 16);
  src.Fill(RandomBytes(rng, src.size()));
  EXPECT_EQ(build().fn(src.data(), 24, 16), build().formula(SumsOf(src.data(), 24, 16), 16));
  std::vector<U8> white(16 * 16, 255);
  EXPECT_EQ(build().fn(white.data(), 16, 16), 0);
}

I32 MmxA(const U8* s, I32 st, I32) { return Variance16x16_MmxA(s, st); }
I32 MmxB(const U8* s, I32 st, I32) { return Variance16x16_MmxB(s, st); }
I32 PlainVar(const U8* s, I32 st, I32) { return Variance16x16_C(s, st); }
I32 IppVar(const U8* s, I32 st, I32) { return Variance16x16_Ipp(s, st); }

INSTANTIATE_TEST_SUITE_P(Builds, VarianceTest,
                         ::testing::Values(VarianceBuild{"Variance16x16_MmxA", &MmxA, Isa::Sse2, &Var16x16},
                                           VarianceBuild{"Variance16x16_MmxB", &MmxB, Isa::Sse2, &Var16x16},
                                           VarianceBuild{"Variance16x16_C", &PlainVar, Isa::Plain, &Var16x16},
                                           VarianceBuild{"Variance16x16_Ipp", &IppVar, Isa::Plain, &Var16x16},
                                           VarianceBuild{"Variance16xN_Mmx", &Variance16xN_Mmx, Isa::Sse2, &Var16xNSigned},
                                           VarianceBuild{"Variance16xN_C", &Variance16xN_C, Isa::Plain, &Var16xNWrapping}),
                         BuildName());

TEST(BlockVariance, WhiteBlockAndNullPointers) {
  std::vector<U8> white(16 * 16, 255);
  I32 var = -1;
  EXPECT_EQ(BlockVariance16x16(white.data(), 16, &var), StatusOk);
  EXPECT_EQ(var, 0);
  var = 7;
  EXPECT_EQ(BlockVariance16x16(nullptr, 16, &var), StatusNullPointer);
  EXPECT_EQ(BlockVariance16x16(white.data(), 16, nullptr), StatusNullPointer);
  EXPECT_EQ(var, 7);
}

// ---- Macroblock activity.

I32 ModelVariance8x8(const U8* p, P rowBytes) {
  std::uint32_t s = 0, q = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      std::uint32_t v;
      std::memcpy(&v, p + y * rowBytes + 4 * x, 4);
      s += v;
      q += v * v;
    }
  return static_cast<I32>((q >> 6) - (s >> 6) * (s >> 6));
}

TEST(MacroblockActivity, SmallestOfTheFourWindows) {
  std::mt19937 rng(8);
  const I32 step = 24;  // samples per row
  for (int n = 0; n < 2000; ++n) {
    std::vector<std::uint32_t> samples(step * 20);
    for (auto& s : samples) s = rng() % (n % 2 ? 256 : 65536);
    const I32 lowerOffset = 8 * step * 4;
    const U8* base = reinterpret_cast<const U8*>(samples.data());
    I32 expected = ModelVariance8x8(base, step * 4);
    for (const U8* w : {base + 8, base + lowerOffset, base + lowerOffset + 8}) expected = std::min(expected, ModelVariance8x8(w, step * 4));
    ASSERT_EQ(MacroblockActivity(samples.data(), step, lowerOffset), expected);
  }
}

// The lower right window ends 8 bytes past the last row of the lower left one.
TEST(MacroblockActivity, ReadsOnlyItsFourWindows) {
  const I32 step = 16, lowerOffset = 8 * step * 4;
  GuardedBuffer samples(lowerOffset + 7 * step * 4 + 8 * 4 + 8);
  std::mt19937 rng(9);
  samples.Fill(RandomBytes(rng, samples.size()));
  const U8* base = samples.data();
  I32 expected = ModelVariance8x8(base, step * 4);
  for (const U8* w : {base + 8, base + lowerOffset, base + lowerOffset + 8}) expected = std::min(expected, ModelVariance8x8(w, step * 4));
  EXPECT_EQ(MacroblockActivity(samples.as<std::uint32_t>(), step, lowerOffset), expected);
}

TEST(MacroblockActivity, EqualAndAlternatingSamples) {
  std::vector<std::uint32_t> flat(64, 77);
  EXPECT_EQ(Variance8x8Int32(flat.data(), 8), 0);
  std::vector<std::uint32_t> alternating(64);
  for (int i = 0; i < 64; ++i) alternating[i] = i % 2 ? 2 : 0;
  EXPECT_EQ(Variance8x8Int32(alternating.data(), 8), 1);
}

// ---- Decimation.

// The running build: doubly rounded column averages, then (c + 2) >> 2; the mean
// from the unrounded sums.
I32 ModelDecimateRunning(const Bytes& src, int w, int h, Bytes& out) {
  out.clear();
  std::int32_t total = 0;
  for (int y = 0; y < h; y += 4) {
    int x = 0;
    do {
      for (int half = 0; half < 2; ++half) {
        int c = 0;
        for (int col = x + 4 * half; col < x + 4 * half + 4; ++col) {
          auto s = [&](int r) { return src[(y + r) * w + col]; };
          c += Up(Up(s(0), s(1)), Up(s(2), s(3)));
        }
        out.push_back(static_cast<U8>((c + 2) >> 2));
        total += c;
      }
      x += 8;
    } while (x < w);
  }
  return ((total / 4) / (w >> 2)) / (h >> 2);
}

I32 ModelDecimatePlain(const Bytes& src, int w, int h, Bytes& out) {
  out.clear();
  int total = 0;
  for (int b = 0; b < h / 4; ++b)
    for (int k = 0; k < w / 4; ++k) {
      int sum = 0;
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) sum += src[(4 * b + y) * w + 4 * k + x];
      out.push_back(static_cast<U8>((sum + 8) >> 4));
      total += (sum + 8) >> 4;
    }
  return total / ((w / 4) * (h / 4));
}

using DecimateFn = I32 (*)(const U8*, U8*, I32, I32);
struct DecimateFormula {
  I32 (*model)(const Bytes&, int, int, Bytes&);
  bool anySize;  // not only widths of multiples of 8 and heights of 4
};
using DecimateBuild = Build<DecimateFn, DecimateFormula>;
class DecimateTest : public BuildTest<DecimateBuild> {};

TEST_P(DecimateTest, RandomPicturesIntoAnExactlySizedBuffer) {
  std::mt19937 rng(4040);
  for (int n = 0; n < 1500; ++n) {
    int w = 8 * (1 + static_cast<int>(rng() % 12)), h = 4 * (1 + static_cast<int>(rng() % 10));
    if (build().formula.anySize && n % 2) {
      w = 4 + static_cast<int>(rng() % 60);
      h = 4 + static_cast<int>(rng() % 40);
    }
    const Bytes src = RandomPlane(rng, static_cast<std::size_t>(w) * h);
    Bytes expected;
    const I32 mean = build().formula.model(src, w, h, expected);
    GuardedBuffer dst((w / 4) * (h / 4));
    GuardedBuffer picture(src.size());
    picture.Fill(src);
    ASSERT_EQ(build().fn(picture.data(), dst.data(), w, h), mean) << w << "x" << h;
    ASSERT_EQ(Bytes(dst.data(), dst.data() + dst.size()), expected) << w << "x" << h;
  }
}

TEST_P(DecimateTest, FlatPictureDecimatesToItsValue) {
  for (int v : {0, 1, 128, 255}) {
    const Bytes src(32 * 16, static_cast<U8>(v));
    Bytes dst(8 * 4);
    EXPECT_EQ(build().fn(src.data(), dst.data(), 32, 16), v);
    EXPECT_EQ(dst, Bytes(8 * 4, static_cast<U8>(v)));
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, DecimateTest,
                         ::testing::Values(DecimateBuild{"Decimate4x4_MmxExt", &Decimate4x4_MmxExt, Isa::Sse2, {&ModelDecimateRunning, false}},
                                           DecimateBuild{"Decimate4x4_C", &Decimate4x4_C, Isa::Plain, {&ModelDecimatePlain, true}},
                                           DecimateBuild{"Decimate4x4_CB", &Decimate4x4_CB, Isa::Plain, {&ModelDecimatePlain, true}}),
                         BuildName());

// A 10x6 picture has two whole blocks; counting by ceilings wrote six.
TEST(Decimate, PlainBuildStaysInsideItsBufferForPartialBlocks) {
  GuardedBuffer picture(10 * 6), dst(2);
  std::memset(picture.data(), 40, picture.size());
  EXPECT_EQ(Decimate4x4_C(picture.data(), dst.data(), 10, 6), 40);
  EXPECT_EQ(dst.data()[0], 40);
  EXPECT_EQ(dst.data()[1], 40);
}

using DeviationBuild = Build<DecimateFn>;
class DeviationTest : public BuildTest<DeviationBuild> {};

TEST_P(DeviationTest, SumOfSquaredDeviationsFromTheRunningMean) {
  std::mt19937 rng(606);
  for (int n = 0; n < 1500; ++n) {
    const int w = 32 * (1 + static_cast<int>(rng() % 4)), h = 4 * (1 + static_cast<int>(rng() % 8));
    const Bytes src = RandomPlane(rng, static_cast<std::size_t>(w) * h);
    Bytes decimated;
    const I32 mean = ModelDecimateRunning(src, w, h, decimated);
    I32 expected = 0;
    for (U8 d : decimated) expected += (d - mean) * (d - mean);
    Bytes buf(decimated.size());
    ASSERT_EQ(build().fn(src.data(), buf.data(), w, h), expected);
    ASSERT_EQ(buf, decimated);
  }
  const Bytes flat(64 * 8, 9);
  Bytes buf(32);
  EXPECT_EQ(build().fn(flat.data(), buf.data(), 64, 8), 0);
}

INSTANTIATE_TEST_SUITE_P(Builds, DeviationTest,
                         ::testing::Values(DeviationBuild{"DecimatedDeviation_Mmx", &DecimatedDeviation_Mmx, Isa::Sse2},
                                           DeviationBuild{"DecimatedDeviation_C", &DecimatedDeviation_C}),
                         BuildName());

// ---- The psychoacoustic transform step.

std::vector<long double> DirectHartley(const std::vector<double>& x) {
  std::vector<long double> out(1024);
  for (int k = 0; k < 1024; ++k) {
    long double s = 0;
    for (int n = 0; n < 1024; ++n) {
      const long double a = 2 * M_PIl * ((static_cast<long>(n) * k) % 1024) / 1024;
      s += x[n] * (std::cos(a) + std::sin(a));
    }
    out[k] = s;
  }
  return out;
}

TEST(Fht1024, MatchesTheDirectHartleyTransform) {
  std::mt19937 rng(1024);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  for (int n = 0; n < 3; ++n) {
    std::vector<double> x(1024);
    for (auto& v : x) v = d(rng);
    const auto ref = DirectHartley(x);
    Fht1024(x.data());
    // Ten stages of rounding on sums of up to 1024 terms of magnitude 1.
    for (int k = 0; k < 1024; ++k) ASSERT_NEAR(x[k], static_cast<double>(ref[k]), 1e-10) << k;
  }
}

TEST(Fht1024, RoundTripScalesBy1024) {
  std::mt19937 rng(7);
  std::vector<double> x(1024), original;
  for (auto& v : x) v = static_cast<double>(rng() % 2001) - 1000.0;
  original = x;
  Fht1024(x.data());
  Fht1024(x.data());
  for (int k = 0; k < 1024; ++k) ASSERT_NEAR(x[k] / 1024.0, original[k], 1e-9);
}

TEST(PsychoAcousticFft, UnitImpulseGivesUnitEnergyAndZeroPhase) {
  std::vector<double> x(1024, 0.0), energy(1024, -1.0), phase(1024, -7.0);
  x[0] = 1.0;
  PsychoAcousticFft(x.data(), energy.data(), phase.data());
  for (int k = 0; k < 1024; ++k) ASSERT_NEAR(energy[k], 1.0, 1e-12) << k;
  for (int k = 1; k < 512; ++k) ASSERT_NEAR(phase[k], 0.0, 1e-9) << k;
  EXPECT_EQ(phase[0], -7.0);
}

TEST(PsychoAcousticFft, FloorsQuietLinesAndMirrorsTheUpperHalf) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> d(-0.02, 0.02);
  std::vector<double> x(1024), energy(1024), phase(1024);
  for (int i = 0; i < 1024; ++i) x[i] = d(rng) + 0.3 * std::cos(2 * M_PI * 37 * i / 1024.0);
  std::vector<double> h = x;
  Fht1024(h.data());
  PsychoAcousticFft(x.data(), energy.data(), phase.data());
  int floored = 0;
  for (int k = 1; k < 512; ++k) {
    const double e = (h[k] * h[k] + h[1024 - k] * h[1024 - k]) * 0.5;
    if (e < 0.0005) {
      ++floored;
      EXPECT_EQ(energy[k], 0.0005);
      EXPECT_EQ(phase[k], 0.0);
    } else {
      EXPECT_EQ(energy[k], e);
      EXPECT_EQ(phase[k], std::atan2(-h[k], h[1024 - k]) + 0.7853981634);
    }
  }
  EXPECT_GT(floored, 0);
  EXPECT_EQ(energy[0], h[0] * h[0]);
  EXPECT_EQ(energy[512], h[512] * h[512]);
  for (int i = 0; i <= 510; ++i) {
    ASSERT_EQ(energy[513 + i], energy[511 - i]);
    ASSERT_EQ(phase[513 + i], -phase[511 - i]);
  }
}

}  // namespace
