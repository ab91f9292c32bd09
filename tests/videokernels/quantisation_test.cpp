// Quantisers and inverse quantisers: each build against a plain model of its own
// formula, the conformant ones against the MPEG-1 and MPEG-2 reconstruction rules
// written from the standards, and the named primitives' four builds.
#include <support/kernel_test.h>
#include <zentra/engine_dispatch.h>
#include <zentra/quant_kernels.h>
#include <zentra/video_primitives.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

using namespace zentra;

namespace {

using Block = std::array<std::int16_t, 64>;

Block RandomBlock(std::mt19937& rng, int lo, int hi, int zeroPercent = 30) {
  Block b{};
  std::uniform_int_distribution<int> d(lo, hi);
  for (auto& v : b) v = static_cast<std::int16_t>(static_cast<int>(rng() % 100) < zeroPercent ? 0 : d(rng));
  return b;
}

int Sgn(long long v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }
std::int16_t Sat2048(long long v) { return static_cast<std::int16_t>(v < -2048 ? -2048 : (v > 2047 ? 2047 : v)); }

// ---- Reconstruction rules of the standards.

// ISO/IEC 13818-2 7.4.2-7.4.4, non-intra: F'' = ((2 QF + k) W q) / 32 with k = Sign(QF),
// saturation to -2048..2047, mismatch control on F[7][7] when the sum is even.
Block Mpeg2NonIntra(Block qf, int q, const std::int16_t* w) {
  Block f{};
  long long sum = 0;
  for (int i = 0; i < 64; ++i) {
    const long long weight = w ? w[i] : 16;
    const long long v = qf[i] == 0 ? 0 : ((2LL * qf[i] + Sgn(qf[i])) * weight * q) / 32;
    f[i] = Sat2048(v);
    sum += f[i];
  }
  if (sum % 2 == 0) f[63] = static_cast<std::int16_t>((f[63] & 1) ? f[63] - 1 : f[63] + 1);
  return f;
}

// The same for the AC coefficients of an intra block: F'' = (QF W 2 q) / 32; the
// DC value is the caller's and counts in the sum.
Block Mpeg2Intra(Block qf, int q, const std::int16_t* w) {
  Block f = qf;
  long long sum = f[0];
  for (int i = 1; i < 64; ++i) {
    f[i] = Sat2048((static_cast<long long>(qf[i]) * w[i] * 2 * q) / 32);
    sum += f[i];
  }
  if (sum % 2 == 0) f[63] = static_cast<std::int16_t>((f[63] & 1) ? f[63] - 1 : f[63] + 1);
  return f;
}

// ISO/IEC 11172-2 2.4.4.1 (intra): dct_recon = (2 zz qs W) / 16, even values one step
// toward zero, clamp; here q = 2 qs. The DC coefficient is not touched.
Block Mpeg1Intra(Block zz, int qs) {
  Block f = zz;
  for (int i = 1; i < 64; ++i) {
    long long v = (2LL * zz[i] * qs * DefaultIntraMatrix[i]) / 16;
    if ((v & 1) == 0) v -= Sgn(v);
    f[i] = Sat2048(v);
  }
  return f;
}

// ISO/IEC 11172-2 2.4.4.2 (non-intra): ((2 zz + Sign(zz)) qs W) / 16, oddified, clamped.
Block Mpeg1NonIntra(Block zz, int qs) {
  Block f{};
  for (int i = 0; i < 64; ++i) {
    long long v = ((2LL * zz[i] + Sgn(zz[i])) * qs * DefaultNonIntraMatrix[i]) / 16;
    if ((v & 1) == 0) v -= Sgn(v);
    f[i] = zz[i] == 0 ? 0 : Sat2048(v);
  }
  return f;
}

// ---- The 16-bit lane arithmetic of the MMX-era inverse builds, one lane at a time.

std::int16_t MmxInverseLane(std::int16_t l, std::int16_t w, std::int32_t q, int shift, bool doubled) {
  std::int16_t a = static_cast<std::int16_t>(l < 0 ? -static_cast<int>(l) : l);
  if (doubled) a = static_cast<std::int16_t>(2 * a);
  const std::int16_t p = static_cast<std::int16_t>(static_cast<int>(a) * w);
  const std::int32_t product = static_cast<std::int32_t>(p) * static_cast<std::int16_t>(q);
  std::int16_t r = static_cast<std::int16_t>(static_cast<std::uint32_t>(product) >> shift);
  if (l < 0) r = static_cast<std::int16_t>(-r);
  return Sat2048(r);
}

long long Sum(const Block& b) {
  long long s = 0;
  for (auto v : b) s += v;
  return s;
}

// ---- Forward models.

std::uint16_t RecipModel(double w) {
  const double r = (0.5 * w + 16384.0) / w;
  return r < 0 ? 0 : (r > 65535 ? 65535 : static_cast<std::uint16_t>(r));
}

// Reciprocal lanes: a = min(|x|, 32767) << shiftIn in 16 bits, t = bits shiftR.. of a*R
// (+ k), u = bits 15.. of t*Rq, min(u, 255) with the sign.
std::int16_t ReciprocalLane(std::int16_t x, std::uint16_t r, std::uint16_t rq, std::uint16_t k, int shiftIn, int shiftR) {
  const std::uint16_t mag = static_cast<std::uint16_t>(x == -32768 ? 32767 : std::abs(x));
  const std::uint16_t a = static_cast<std::uint16_t>(mag << shiftIn);
  const std::uint16_t t = static_cast<std::uint16_t>((static_cast<std::uint32_t>(a) * r >> shiftR) + k);
  const std::uint16_t u = static_cast<std::uint16_t>(static_cast<std::uint32_t>(t) * rq >> 15);
  const int level = u > 255 ? 255 : u;
  return static_cast<std::int16_t>(x < 0 ? -level : level);
}

std::int16_t DcModel(int dc, int prec) {
  const int d = 8 >> prec;
  return static_cast<std::int16_t>(dc >= 0 ? (dc + d / 2) / d : -((d / 2 - dc) / d));
}

// ---- Inverse quantisers.

TEST(InverseQuantisers, RunningMmxBuildsFollowTheirLaneArithmetic) {
  std::mt19937 rng(11);
  for (int n = 0; n < 4000; ++n) {
    const Block in = RandomBlock(rng, -300, 300);
    const int q = 1 + static_cast<int>(rng() % 62);
    const int prec = static_cast<int>(rng() % 4);
    Block m[4] = {};
    Block interMpeg2 = in, intraMpeg1 = in, intraMpeg2 = in, interMpeg1 = in;
    QuantInvInterMpeg2(interMpeg2.data(), q);
    QuantInvIntraMpeg1(intraMpeg1.data(), q);
    QuantInvIntraMpeg2(intraMpeg2.data(), prec, DefaultNonIntraMatrix, q);
    QuantInvInterMpeg1(interMpeg1.data(), q);
    for (int i = 0; i < 64; ++i) {
      m[0][i] = MmxInverseLane(in[i], DefaultNonIntraMatrix[i], q, 5, true);
      m[1][i] = i == 0 ? in[0] : MmxInverseLane(in[i], DefaultIntraMatrix[i], q, 4, false);
      m[2][i] = MmxInverseLane(in[i], DefaultNonIntraMatrix[i], q, 4, false);
      m[3][i] = MmxInverseLane(in[i], DefaultNonIntraMatrix[i], q, 5, true);
    }
    if (Sum(m[0]) % 2 == 0) m[0][63] ^= 1;
    m[2][0] = static_cast<std::int16_t>(static_cast<std::uint16_t>(in[0]) << (3 - prec));
    ASSERT_EQ(interMpeg2, m[0]) << n;
    ASSERT_EQ(intraMpeg1, m[1]) << n;
    ASSERT_EQ(intraMpeg2, m[2]) << n;
    ASSERT_EQ(interMpeg1, m[3]) << n;
  }
}

TEST(InverseQuantisers, PinnedEdgeCases) {
  Block b{};
  QuantInvInterMpeg2(b.data(), 5);
  Block expected{};
  expected[63] = 1;
  EXPECT_EQ(b, expected);

  // Running MPEG-1 build: no term for the sign, no oddification; the plain build has both.
  Block one{};
  one[0] = 1;
  Block plain = one;
  // DefaultNonIntraMatrix[0] is 16: (2*16*2) >> 5 = 2, plain (3*16*2)/32 = 3.
  QuantInvInterMpeg1(one.data(), 2);
  QuantInvInterMpeg1_C(plain.data(), 2);
  EXPECT_EQ(one[0], 2);
  EXPECT_EQ(plain[0], 3);

  Block dc{};
  dc[0] = 100;
  QuantInvIntraMpeg2(dc.data(), 0, DefaultIntraMatrix, 4);
  EXPECT_EQ(dc[0], 800);
  EXPECT_EQ(dc[63], 0);  // no mismatch toggle in the running build
}

TEST(InverseQuantisers, PlainBuildsFollowTheirFormulas) {
  std::mt19937 rng(12);
  for (int n = 0; n < 3000; ++n) {
    const Block in = RandomBlock(rng, -2048, 2047);
    const int q = 1 + static_cast<int>(rng() % 112);
    const int prec = static_cast<int>(rng() % 4);
    Block interMpeg2 = in, intraMpeg2 = in, intraAc = in;
    QuantInvInterMpeg2_C(interMpeg2.data(), q);
    QuantInvIntraMpeg2_C(intraMpeg2.data(), prec, DefaultIntraMatrix, q);
    ASSERT_EQ(QuantInvIntraAcMpeg2_C(intraAc.data(), q), StatusOk);

    Block m = Mpeg2NonIntra(in, q, DefaultNonIntraMatrix);
    // The plain build toggles by inverting bit 0, which is the same as the standard's rule.
    ASSERT_EQ(interMpeg2, m) << n;

    Block mi = in;
    mi[0] = static_cast<std::int16_t>(static_cast<std::uint16_t>(in[0]) << (3 - prec));
    long long s = mi[0];
    for (int i = 1; i < 64; ++i) {
      mi[i] = Sat2048((static_cast<long long>(in[i]) * DefaultIntraMatrix[i] * q) / 16);
      s += mi[i];
    }
    if (s != 0 && s % 2 == 0) mi[63] ^= 1;  // pinned: a zero sum toggles nothing
    ASSERT_EQ(intraMpeg2, mi) << n;

    Block ma = in;
    long long sa = ma[0];
    for (int i = 1; i < 64; ++i) {
      ma[i] = Sat2048((static_cast<long long>(in[i]) * DefaultIntraMatrix[i] * q) / 16);
      sa += ma[i];
    }
    if (sa % 2 == 0) ma[63] ^= 1;
    ASSERT_EQ(intraAc, ma) << n;
  }
  EXPECT_EQ(QuantInvIntraAcMpeg2_C(nullptr, 3), StatusNullPointer);
}

TEST(InverseQuantisers, Mpeg1PlainBuildsMeetTheStandardsReconstruction) {
  std::mt19937 rng(13);
  for (int n = 0; n < 5000; ++n) {
    const Block in = RandomBlock(rng, -255, 255);
    const int qs = 1 + static_cast<int>(rng() % 31);
    Block intra = in, inter = in;
    QuantInvIntraMpeg1_C(intra.data(), 2 * qs);
    QuantInvInterMpeg1_C(inter.data(), 2 * qs);
    ASSERT_EQ(intra, Mpeg1Intra(in, qs)) << n;
    ASSERT_EQ(inter, Mpeg1NonIntra(in, qs)) << n;
  }
}

using QuantInvFn = PrimitiveStatus (*)(std::int16_t*, std::int32_t, const std::int16_t*);
struct InvBuild {
  const char* name;
  QuantInvFn inter;
  QuantInvFn intra;
};
class QuantInvPrimitive : public ::testing::TestWithParam<InvBuild> {};

TEST_P(QuantInvPrimitive, MeetsTheMpeg2ReconstructionRules) {
  std::mt19937 rng(14);
  std::uniform_int_distribution<int> weight(1, 255);
  for (int n = 0; n < 5000; ++n) {
    const Block in = RandomBlock(rng, -2048, 2047);
    std::int16_t w[64];
    for (auto& x : w) x = static_cast<std::int16_t>(weight(rng));
    const int q = 1 + static_cast<int>(rng() % 112);
    Block a = in, b = in, c = in;
    ASSERT_EQ(GetParam().inter(a.data(), q, w), StatusOk);
    ASSERT_EQ(GetParam().inter(b.data(), q, nullptr), StatusOk);
    ASSERT_EQ(GetParam().intra(c.data(), q, w), StatusOk);
    ASSERT_EQ(a, Mpeg2NonIntra(in, q, w)) << n;
    ASSERT_EQ(b, Mpeg2NonIntra(in, q, nullptr)) << n;
    ASSERT_EQ(c, Mpeg2Intra(in, q, w)) << n;
  }
}

TEST_P(QuantInvPrimitive, EdgeCasesAndBadArguments) {
  const auto& p = GetParam();
  std::int16_t w16[64];
  for (auto& x : w16) x = 16;
  Block zero{};
  ASSERT_EQ(p.inter(zero.data(), 7, w16), StatusOk);
  EXPECT_EQ(zero[63], 1);

  Block one{};
  one[5] = 1;
  one[6] = -1;
  one[7] = 1;  // keep the sum odd so no toggle interferes
  ASSERT_EQ(p.inter(one.data(), 2, w16), StatusOk);
  EXPECT_EQ(one[5], 3);
  EXPECT_EQ(one[6], -3);

  std::int16_t w40[64];
  for (auto& x : w40) x = 40;
  Block big{};
  big[1] = 2047;
  big[2] = -2047;
  ASSERT_EQ(p.inter(big.data(), 62, w40), StatusOk);
  EXPECT_EQ(big[1], 2047);
  EXPECT_EQ(big[2], -2048);

  Block dcOnly{};
  dcOnly[0] = 1;
  ASSERT_EQ(p.intra(dcOnly.data(), 9, w16), StatusOk);
  Block expected{};
  expected[0] = 1;
  EXPECT_EQ(dcOnly, expected);

  // An even sum toggles coefficient 63.
  Block evenSum{};
  evenSum[0] = 2;
  ASSERT_EQ(p.intra(evenSum.data(), 1, w16), StatusOk);
  EXPECT_EQ(evenSum[63], 1);

  // Products that overflow 32 bits saturate instead of wrapping.
  Block huge{};
  huge[0] = 32767;
  huge[1] = -32768;
  ASSERT_EQ(p.inter(huge.data(), 1 << 30, w40), StatusOk);
  EXPECT_EQ(huge[0], 2047);
  EXPECT_EQ(huge[1], -2048);
  Block hugeIntra{};
  hugeIntra[1] = 32767;
  ASSERT_EQ(p.intra(hugeIntra.data(), 0x7fffffff, w40), StatusOk);
  EXPECT_EQ(hugeIntra[1], 2047);

  // Null pointers: status, nothing written.
  Block untouched{};
  untouched[3] = 9;
  EXPECT_EQ(p.inter(nullptr, 3, w16), StatusNullPointer);
  EXPECT_EQ(p.intra(nullptr, 3, w16), StatusNullPointer);
  EXPECT_EQ(p.intra(untouched.data(), 3, nullptr), StatusNullPointer);
  EXPECT_EQ(untouched[3], 9);
  EXPECT_EQ(untouched[63], 0);
}

TEST_P(QuantInvPrimitive, TouchesNothingOutsideTheBlock) {
  zentra_test::GuardedBuffer after(128, zentra_test::GuardedBuffer::Guard::After);
  zentra_test::GuardedBuffer before(128, zentra_test::GuardedBuffer::Guard::Before);
  for (auto* buf : {&after, &before}) {
    std::int16_t* b = buf->as<std::int16_t>();
    for (int i = 0; i < 64; ++i) b[i] = static_cast<std::int16_t>(i - 30);
    EXPECT_EQ(GetParam().inter(b, 5, DefaultNonIntraMatrix), StatusOk);
    EXPECT_EQ(GetParam().intra(b, 5, DefaultIntraMatrix), StatusOk);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Builds, QuantInvPrimitive,
    ::testing::Values(InvBuild{"V1", ippiQuantInv_MPEG2_16s_C1I_V1, ippiQuantInvIntra_MPEG2_16s_C1I_V1},
                      InvBuild{"V2", ippiQuantInv_MPEG2_16s_C1I_V2, ippiQuantInvIntra_MPEG2_16s_C1I_V2},
                      InvBuild{"V3", ippiQuantInv_MPEG2_16s_C1I_V3, ippiQuantInvIntra_MPEG2_16s_C1I_V3},
                      InvBuild{"V4", ippiQuantInv_MPEG2_16s_C1I_V4, ippiQuantInvIntra_MPEG2_16s_C1I_V4},
                      InvBuild{"Entry", ippiQuantInv_MPEG2_16s_C1I, ippiQuantInvIntra_MPEG2_16s_C1I}),
    zentra_test::BuildName());

TEST(InverseQuantisers, IppBuildsPassOnThePrimitivesResults) {
  std::mt19937 rng(15);
  const Block in = RandomBlock(rng, -500, 500);
  Block a = in, b = in;
  QuantInvInterMpeg2_Ipp(a.data(), 9);
  EXPECT_EQ(a, Mpeg2NonIntra(in, 9, DefaultNonIntraMatrix));
  EXPECT_EQ(QuantInvIntraAcMpeg2(b.data(), 9), StatusOk);  // the running build is the delegating one
  EXPECT_EQ(b, Mpeg2Intra(in, 9, DefaultIntraMatrix));
  EXPECT_EQ(QuantInvIntraAcMpeg2(nullptr, 9), StatusNullPointer);
}

// ---- Forward quantisers.

TEST(ForwardQuantisers, RunningBuildsFollowTheirFormulas) {
  std::mt19937 rng(21);
  std::uniform_int_distribution<int> weight(1, 255);
  for (int n = 0; n < 3000; ++n) {
    const Block in = RandomBlock(rng, -4095, 4095);
    const int q = 1 + static_cast<int>(rng() % 62);
    std::int16_t w[64];
    for (auto& x : w) x = static_cast<std::int16_t>(weight(rng));

    // QuantInterAnyNonZero, running build: ((32|x| + 8) >> 4) / q, 255 up, 2047 down.
    Block any = in;
    const int anyResult = QuantInterAnyNonZero(any.data(), q);
    Block mAny{};
    int mAnyResult = 0;
    for (int i = 0; i < 64; ++i) {
      const unsigned t = ((32u * std::abs(in[i]) + 8u) >> 4) / q;
      mAny[i] = static_cast<std::int16_t>(in[i] < 0 ? -static_cast<int>(std::min(t, 2047u)) : static_cast<int>(std::min(t, 255u)));
      mAnyResult |= mAny[i] != 0;
    }
    ASSERT_EQ(any, mAny);
    ASSERT_EQ(anyResult, mAnyResult);

    // QuantInterCount2047: two truncating divisions.
    Block c2047 = in;
    std::int32_t count = -1;
    QuantInterCount2047(c2047.data(), q, w, &count);
    int mCount = 0;
    for (int i = 0; i < 64; ++i) {
      const int t = std::min((std::abs(in[i]) * 16 / w[i]) / q, 2047);
      ASSERT_EQ(c2047[i], in[i] < 0 ? -t : t);
      mCount += t != 0;
    }
    ASSERT_EQ(count, mCount);

    // QuantIntraAc2047 / 255: low byte of the intra weight, rounding term (3q+2)>>2.
    for (int limit : {2047, 255}) {
      Block ac = in;
      (limit == 2047 ? QuantIntraAc2047 : QuantIntraAc255)(ac.data(), q);
      ASSERT_EQ(ac[0], in[0]);
      for (int i = 1; i < 64; ++i) {
        const int wl = DefaultIntraMatrix[i] & 0xFF;
        const int t = std::min((((32 * std::abs(in[i]) + (wl >> 1)) / wl) + ((3 * q + 2) >> 2)) / (2 * q), limit);
        ASSERT_EQ(ac[i], in[i] < 0 ? -t : t) << limit;
      }
    }

    // QuantInterCount255 running build; a fresh q each round so the cache rebuilds.
    Block c255 = in;
    QuantInterCount255(c255.data(), 1000 + n, w, &count);
    mCount = 0;
    for (int i = 0; i < 64; ++i) {
      const auto l = ReciprocalLane(in[i], RecipModel(w[i]), RecipModel(1000 + n), 0, 4, 13);
      ASSERT_EQ(c255[i], l) << i;
      mCount += l != 0;
    }
    ASSERT_EQ(count, mCount);

    // QuantIntra running build, then its DC rule.
    const int prec = static_cast<int>(rng() % 4);
    Block intra = in;
    QuantIntra(intra.data(), prec, w, 2000 + n);
    const auto k = static_cast<std::uint16_t>((3 * (2000 + n) + 2) >> 2);
    for (int i = 1; i < 64; ++i)
      ASSERT_EQ(intra[i], ReciprocalLane(in[i], RecipModel(w[i]), RecipModel(2000 + n), k, 5, 14)) << i;
    ASSERT_EQ(intra[0], DcModel(in[0], prec));
  }
}

TEST(ForwardQuantisers, OtherBuildsFollowTheirFormulas) {
  std::mt19937 rng(22);
  for (int n = 0; n < 3000; ++n) {
    const Block in = RandomBlock(rng, -4095, 4095);
    const int q = 1 + static_cast<int>(rng() % 62);
    Block a = in;
    const int any = QuantInterAnyNonZero_C(a.data(), q);
    int mAny = 0;
    for (int i = 0; i < 64; ++i) {
      const long long w = DefaultNonIntraMatrix[i];
      const long long t = std::min<long long>((32LL * std::abs(in[i]) + (w >> 1)) / (q * w), 2047);
      ASSERT_EQ(a[i], in[i] < 0 ? -t : t);
      mAny |= t != 0;
    }
    ASSERT_EQ(any, mAny);

    Block c = in;
    std::int32_t count = 0;
    QuantInterCount255_C(c.data(), q, DefaultIntraMatrix, &count);
    for (int i = 0; i < 64; ++i) {
      const int t = std::min((std::abs(in[i]) * 16 / DefaultIntraMatrix[i]) / q, 255);
      ASSERT_EQ(c[i], in[i] < 0 ? -t : t);
    }

    const int prec = static_cast<int>(rng() % 4);
    Block intra = in;
    QuantIntra_C(intra.data(), prec, DefaultIntraMatrix, q);
    ASSERT_EQ(intra[0], DcModel(in[0], prec));
    for (int i = 1; i < 64; ++i) {
      const int t = in[i] == 0 ? 0 : std::min((((3 * q + 2) / 4 + std::abs(in[i]) * 32 / DefaultIntraMatrix[i]) >> 1) / q, 255);
      ASSERT_EQ(intra[i], in[i] < 0 ? -t : t);
    }
  }
}

TEST(ForwardQuantisers, WeightedFloatBuilds) {
  std::mt19937 rng(23);
  std::uniform_real_distribution<float> wd(0.0f, 2.0f);
  for (int n = 0; n < 2000; ++n) {
    const Block in = RandomBlock(rng, -4095, 4095);
    const int q = 1 + static_cast<int>(rng() % 62);
    float w[64];
    for (auto& x : w) x = wd(rng);
    Block a = in, b = in;
    std::int32_t ca = 0, cb = 0;
    QuantWeightedFloat(a.data(), q, w, &ca);
    QuantWeightedFloat2047_Sse2(b.data(), q, w, &cb);
    const float k = 1.0f / static_cast<float>(q);
    int ma = 0, mb = 0;
    for (int i = 0; i < 64; ++i) {
      volatile float scaled = static_cast<float>(16 * in[i]) * k;
      volatile float t = scaled * w[i];
      const long long lv = static_cast<long long>(t);
      ASSERT_EQ(a[i], std::max(-255LL, std::min(255LL, lv)));
      ASSERT_EQ(b[i], std::max(-2047LL, std::min(2047LL, lv)));
      ma += a[i] != 0;
      mb += b[i] != 0;
    }
    ASSERT_EQ(ca, ma);
    ASSERT_EQ(cb, mb);
  }
  float zeros[64] = {};
  Block z = RandomBlock(rng, -1000, 1000);
  std::int32_t count = -1;
  QuantWeightedFloat(z.data(), 3, zeros, &count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(z, Block{});
}

TEST(ForwardQuantisers, PinnedEdgeCases) {
  Block b{};
  b[0] = 200;
  b[1] = -200;
  EXPECT_EQ(QuantInterAnyNonZero(b.data(), 1), 1);
  EXPECT_EQ(b[0], 255);
  EXPECT_EQ(b[1], -400);
  Block zero{};
  EXPECT_EQ(QuantInterAnyNonZero(zero.data(), 1), 0);

  for (auto [dc, out] : {std::pair{12, 2}, {-12, -2}, {4, 1}, {-4, -1}}) {
    Block i{};
    i[0] = static_cast<std::int16_t>(dc);
    QuantIntra(i.data(), 0, DefaultIntraMatrix, 3);
    EXPECT_EQ(i[0], out) << dc;
    Block c{};
    c[0] = static_cast<std::int16_t>(dc);
    QuantIntra_C(c.data(), 0, DefaultIntraMatrix, 3);
    EXPECT_EQ(c[0], out) << dc;
  }
}

TEST(ForwardQuantisers, ReciprocalCacheKeepsTheFirstMatrixForOneQ) {
  std::int16_t w1[64], w2[64];
  for (int i = 0; i < 64; ++i) {
    w1[i] = 16;
    w2[i] = 64;
  }
  Block in{};
  for (int i = 0; i < 64; ++i) in[i] = static_cast<std::int16_t>(100 + i);
  std::int32_t count = 0;
  Block a = in, b = in, c = in;
  QuantInterCount255(a.data(), 3, w1, &count);
  QuantInterCount255(b.data(), 3, w2, &count);  // same q: the reciprocals of w1 stay
  EXPECT_EQ(a, b);
  QuantInterCount255(c.data(), 5, w2, &count);  // another q rebuilds from w2
  EXPECT_NE(a, c);
}

TEST(ForwardQuantisers, ReciprocalCachesAreSafeAcrossThreads) {
  // Every thread uses one matrix; q changes on every call, so without the lock a
  // rebuild would mix tables of two q values into one call's result.
  std::mt19937 rng(24);
  const Block in = RandomBlock(rng, -2000, 2000, 0);
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int n = 0; n < 3000; ++n) {
        const int q = 1 + (n * 8 + t) % 60;
        Block a = in, b = in;
        std::int32_t count = 0;
        QuantInterCount255(a.data(), q, DefaultNonIntraMatrix, &count);
        QuantIntra(b.data(), 1, DefaultNonIntraMatrix, q);
        for (int i = 0; i < 64; ++i) {
          if (a[i] != ReciprocalLane(in[i], RecipModel(DefaultNonIntraMatrix[i]), RecipModel(q), 0, 4, 13)) ++failures[t];
          if (i > 0 && b[i] != ReciprocalLane(in[i], RecipModel(DefaultNonIntraMatrix[i]), RecipModel(q),
                                              static_cast<std::uint16_t>((3 * q + 2) >> 2), 5, 14))
            ++failures[t];
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(failures[t], 0) << t;
}

TEST(QuantisationTables, SlotsHoldTheirBuilds) {
  EXPECT_EQ(QuantInvInterMpeg2Table.slot[0], &QuantInvInterMpeg2_Ipp);
  EXPECT_EQ(QuantInvInterMpeg2Table.slot[1], &QuantInvInterMpeg2_Mmx);
  EXPECT_EQ(QuantInvInterMpeg2Table.slot[4], &QuantInvInterMpeg2_C);
  EXPECT_EQ(QuantInvIntraAcMpeg2Table.slot[1], &QuantInvIntraAcMpeg2_Ipp);
  EXPECT_EQ(QuantInterAnyNonZeroTable.slot[0], &QuantInterAnyNonZero_C);
  EXPECT_EQ(QuantInterAnyNonZeroTable.slot[1], &QuantInterAnyNonZero_CB);
  EXPECT_EQ(QuantInterCount255Table.slot[2], &QuantInterCount255_C);
  EXPECT_EQ(QuantIntraTable.slot[1], &QuantIntra_Mmx);
  EXPECT_EQ(QuantIntraTable.slot[5], nullptr);
  EXPECT_EQ(DefaultIntraMatrix[63], 83);
  EXPECT_EQ(DefaultNonIntraMatrix[31], 27);
}

}  // namespace
