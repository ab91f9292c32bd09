// The single-precision engine and the image transform: accuracy against a
// long-double reference, agreement of the builds, every normalisation, the
// argument checks, the image's row padding and the work buffer's limits.
#include <zentra/fft_primitives.h>
#include <zentra/fft_spec32fc.h>

#include "test_heap.h"
#include "fft_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using namespace zentra;
using zentra_test::LongComplex;
using zentra_test::ForcedBuild;
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
  FftSpec32fc* record = nullptr;
  EXPECT_EQ(kInitSpec[index()](nullptr, 31, 3, 0), StatusNullPointer);
  EXPECT_EQ(kInitSpec[index()](&record, 31, 3, 0), StatusFftOrderError);
  EXPECT_EQ(kInitSpec[index()](&record, -1, 2, 0), StatusFftOrderError);
  EXPECT_EQ(kInitSpec[index()](&record, 5, 3, 0), StatusFftFlagError);
  EXPECT_EQ(record, nullptr);
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
  // Build 1: the widest level's four column vectors and 16 bytes; builds 2 to 4
  // add a whole 1024-point row and keep a row's room below the plans.
  const std::int32_t sizes[][3] = {{4, 0, 144},       {10, 0, 8208},        {11, 16, 8208},
                                   {12, 16, 8208},    {13, 1040, 9232},     {16, 8208, 16400},
                                   {17, 8208, 16400}, {19, 32784, 40976},  {21, 32784, 40976}};
  for (auto [order, v1, v234] : sizes) {
    Spec1D s(index(), order, 8);
    EXPECT_EQ(s.record->workBytes, index() == 1 ? v1 : v234) << order;
    EXPECT_EQ(s.record->scaleInverse, 0);
  }
  EXPECT_EQ(Outstanding(), 0u);
  // The combine table of order 28 needs 2^31 bytes: refused, nothing kept.
  EXPECT_EQ(kInitSpec[index()](&record, 28, 2, 0), StatusNoMemory);
  EXPECT_EQ(Outstanding(), 0u);
}

// Orders 11 and 12 have no four-step level and need no buffer: no allocation
// can fail them, and a failing one is refused before anything is written.
TEST_P(Fft32fcTest, WorkBufferAllocation) {
  for (std::int32_t order : {11, 12, 13}) {
    Spec1D s(index(), order, 8);
    const std::size_t points = std::size_t{1} << order;
    const std::vector<float> x = RandomInterleaved(points, 1);
    std::vector<float> y(2 * points, 5.0f);
    ScopedHeap heap(0);
    const PrimitiveStatus status = kInv1D[index()](x.data(), y.data(), s.record, nullptr);
    if (order < 13) {
      EXPECT_EQ(status, StatusOk);
    } else {
      EXPECT_EQ(status, StatusNoMemory);
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

INSTANTIATE_TEST_SUITE_P(Builds, Fft32fcTest, ::testing::ValuesIn(zentra_test::kFftBuilds),
                         zentra_test::BuildName());

// ---- Image transform.

constexpr float kPad = -12345.0f;

// An image with `pad` complex values of padding after every row.
struct Image {
  std::int32_t width, height, pad;
  std::vector<Complex32fc> v;
  Image(std::int32_t w, std::int32_t h, std::int32_t p) : width(w), height(h), pad(p), v(std::size_t(w + p) * h, {kPad, kPad}) {}
  std::int32_t step() const { return 8 * (width + pad); }
  Complex32fc& at(std::int32_t r, std::int32_t c) { return v[std::size_t(r) * (width + pad) + c]; }
  bool PaddingUntouched() const {
    for (std::int32_t r = 0; r < height; ++r)
      for (std::int32_t c = width; c < width + pad; ++c) {
        const Complex32fc& z = v[std::size_t(r) * (width + pad) + c];
        if (z.re != kPad || z.im != kPad) return false;
      }
    return true;
  }
};

Image RandomImage(std::int32_t w, std::int32_t h, std::int32_t pad, unsigned seed) {
  Image im(w, h, pad);
  const std::vector<float> x = RandomInterleaved(std::size_t(w) * h, seed);
  for (std::int32_t r = 0; r < h; ++r)
    for (std::int32_t c = 0; c < w; ++c) im.at(r, c) = {x[2 * (std::size_t(r) * w + c)], x[2 * (std::size_t(r) * w + c) + 1]};
  return im;
}

// Relative RMS error of an image against the long-double 2-D inverse DFT of `in`.
double ImageError(Image& in, Image& out, long double scale) {
  const int w = in.width, h = in.height;
  auto* buf = static_cast<fftwl_complex*>(fftwl_malloc(sizeof(fftwl_complex) * w * h));
  fftwl_plan plan = fftwl_plan_dft_2d(h, w, buf, buf, FFTW_BACKWARD, FFTW_ESTIMATE);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) buf[r * w + c][0] = in.at(r, c).re, buf[r * w + c][1] = in.at(r, c).im;
  fftwl_execute(plan);
  long double err = 0, norm = 0;
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      const LongComplex ref = LongComplex(buf[r * w + c][0], buf[r * w + c][1]) * scale;
      err += std::norm(LongComplex(out.at(r, c).re, out.at(r, c).im) - ref);
      norm += std::norm(ref);
    }
  fftwl_destroy_plan(plan);
  fftwl_free(buf);
  return std::sqrt(static_cast<double>(err / norm));
}

struct Spec2D {
  FftSpec2D32fc* record = nullptr;
  Spec2D(std::int32_t ox, std::int32_t oy, std::int32_t flag) {
    EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&record, ox, oy, flag, 0), StatusOk);
  }
  ~Spec2D() { ippiFFTFree_C_32fc(record); }
};

class FftImageTest : public zentra_test::FftBuildTest {};

TEST_P(FftImageTest, EveryShapeAgainstTheReference) {
  for (std::int32_t oy = 0; oy <= 10; ++oy)
    for (std::int32_t ox = 0; ox <= 10; ++ox) {
      const std::int32_t w = 1 << ox, h = 1 << oy;
      const std::int32_t flag = (ox + oy) % 2 == 0 ? FftDivInverseByN : FftNoScaling;
      Spec2D s(ox, oy, flag);
      Image in = RandomImage(w, h, 3, ox * 31 + oy), out(w, h, 5);
      ASSERT_EQ(ippiFFTInv_CToC_32fc_C1R(in.v.data(), in.step(), out.v.data(), out.step(), s.record, nullptr), StatusOk);
      EXPECT_TRUE(out.PaddingUntouched()) << w << "x" << h;
      // In place, through an unaligned caller buffer: the same bits.
      Image same = in;
      std::vector<std::uint8_t> buffer(s.record->workBytes + 3);
      ASSERT_EQ(ippiFFTInv_CToC_32fc_C1R(same.v.data(), same.step(), same.v.data(), same.step(), s.record,
                                         buffer.data() + 3), StatusOk);
      EXPECT_TRUE(same.PaddingUntouched());
      for (std::int32_t r = 0; r < h; ++r)
        ASSERT_EQ(std::memcmp(&same.at(r, 0), &out.at(r, 0), 8 * std::size_t(w)), 0) << w << "x" << h;
      if (index() == 1 || (ox + oy) % 3 == 0) {  // the other builds also agree with build 1 below
        const long double scale = flag == FftDivInverseByN ? 1.0L / (static_cast<long double>(w) * h) : 1.0L;
        EXPECT_LE(ImageError(in, out, scale), 3e-7 * std::max(ox + oy, 1)) << w << "x" << h;
      }
    }
}

// Rows and columns each carry their own factor: 1/sqrt(W) 1/sqrt(H) for flag 4,
// none for flag 1 (it asks for a scaled forward transform only).
TEST_P(FftImageTest, EveryFlag) {
  for (auto [ox, oy] : {std::pair{3, 6}, {7, 2}, {5, 5}})
    for (std::int32_t flag : {1, 2, 4, 8}) {
      const std::int32_t w = 1 << ox, h = 1 << oy;
      Spec2D s(ox, oy, flag);
      Image in = RandomImage(w, h, 2, flag), out(w, h, 1);
      ASSERT_EQ(ippiFFTInv_CToC_32fc_C1R(in.v.data(), in.step(), out.v.data(), out.step(), s.record, nullptr), StatusOk);
      const long double scale = FactorOf(flag, w) * FactorOf(flag, h);
      EXPECT_LE(ImageError(in, out, scale), 3e-7 * (ox + oy)) << w << "x" << h << " flag " << flag;
      EXPECT_TRUE(out.PaddingUntouched());
    }
}

TEST_P(FftImageTest, BuildsAgreeWithBuild1) {
  if (index() == 1) GTEST_SKIP() << "the reference build";
  for (auto [ox, oy] : {std::pair{0, 7}, {1, 9}, {5, 5}, {9, 4}, {10, 10}, {6, 0}}) {
    const std::int32_t w = 1 << ox, h = 1 << oy;
    Image in = RandomImage(w, h, 0, 9), a(w, h, 0), b(w, h, 0);
    {
      ForcedBuild v1(1);
      Spec2D s(ox, oy, 4);
      ASSERT_EQ(ippiFFTInv_CToC_32fc_C1R(in.v.data(), in.step(), a.v.data(), a.step(), s.record, nullptr), StatusOk);
    }
    Spec2D s(ox, oy, 4);
    ASSERT_EQ(ippiFFTInv_CToC_32fc_C1R(in.v.data(), in.step(), b.v.data(), b.step(), s.record, nullptr), StatusOk);
    zentra_test::SplitSignal sa(a.v.size()), sb(b.v.size());
    for (std::size_t i = 0; i < a.v.size(); ++i) sa.re[i] = a.v[i].re, sa.im[i] = a.v[i].im, sb.re[i] = b.v[i].re, sb.im[i] = b.v[i].im;
    EXPECT_LE(zentra_test::RelativeRmsDifference(sb, sa), 1.5e-7 * std::max(ox + oy, 1)) << w << "x" << h;
  }
}

TEST_P(FftImageTest, StatusesInTheirOrder) {
  ScopedHeap heap;
  FftSpec2D32fc* record = nullptr;
  EXPECT_EQ(ippiFFTInitAlloc_C_32fc(nullptr, 31, 0, 3, 0), StatusNullPointer);
  EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&record, 5, 31, 2, 0), StatusFftOrderError);
  EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&record, -1, 3, 2, 0), StatusFftOrderError);
  EXPECT_EQ(Log().requests.size(), 0u);
  EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&record, 4, 6, 0, 0), StatusFftFlagError);
  // 64 * 2^26 bytes of column area do not fit a 32-bit count: refused, not wrapped.
  EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&record, 0, 26, 2, 0), StatusNoMemory);
  EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&record, 2, 30, 2, 0), StatusNoMemory);
  EXPECT_EQ(record, nullptr);
  EXPECT_EQ(Outstanding(), 0u);
  ASSERT_EQ(ippiFFTInitAlloc_C_32fc(&record, 3, 3, 8, 0), StatusOk);
  EXPECT_EQ(record->columnSpec, nullptr);  // one record serves rows and columns
  Complex32fc v[64] = {};
  EXPECT_EQ(ippiFFTInv_CToC_32fc_C1R(v, 64, v, 64, nullptr, nullptr), StatusNullPointer);
  EXPECT_EQ(ippiFFTInv_CToC_32fc_C1R(nullptr, 64, v, 64, record, nullptr), StatusNullPointer);
  EXPECT_EQ(ippiFFTInv_CToC_32fc_C1R(v, 0, v, 64, record, nullptr), StatusStepError);
  EXPECT_EQ(ippiFFTInv_CToC_32fc_C1R(v, 64, v, -8, record, nullptr), StatusStepError);
  {
    ScopedHeap refuse(0);
    EXPECT_EQ(ippiFFTInv_CToC_32fc_C1R(v, 64, v, 64, record, nullptr), StatusNoMemory);
  }
  auto* asOneD = reinterpret_cast<FftSpec2D32fc*>(record->rowSpec);
  EXPECT_EQ(ippiFFTInv_CToC_32fc_C1R(v, 64, v, 64, asOneD, nullptr), StatusContextMismatch);
  EXPECT_EQ(ippiFFTFree_C_32fc(asOneD), StatusContextMismatch);
  EXPECT_EQ(ippiFFTFree_C_32fc(nullptr), StatusNullPointer);
  EXPECT_EQ(ippiFFTFree_C_32fc(record), StatusOk);
  // Whichever allocation of a creation fails, nothing stays allocated.
  std::size_t total;
  {
    ScopedHeap count;
    ASSERT_EQ(ippiFFTInitAlloc_C_32fc(&record, 13, 5, 4, 0), StatusOk);
    total = Log().requests.size();
    ippiFFTFree_C_32fc(record);
  }
  for (std::size_t fail = 0; fail < total; ++fail) {
    ScopedHeap failing(static_cast<int>(fail));
    FftSpec2D32fc* none = nullptr;
    EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&none, 13, 5, 4, 0), StatusNoMemory) << fail;
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(Outstanding(), 0u) << fail;
  }
}

// Each thread has its own image and work buffer; the record is shared.
TEST_P(FftImageTest, ThreadsShareOneRecord) {
  Spec2D s(7, 9, 2);
  const Image in = RandomImage(128, 512, 1, 5);
  Image serial(128, 512, 1);
  ASSERT_EQ(ippiFFTInv_CToC_32fc_C1R(in.v.data(), in.step(), serial.v.data(), serial.step(), s.record, nullptr),
            StatusOk);
  std::vector<Image> outs(6, Image(128, 512, 1));
  std::vector<PrimitiveStatus> statuses(outs.size(), -1);
  std::vector<std::thread> threads;
  const std::int32_t build = index();
  for (std::size_t t = 0; t < outs.size(); ++t)
    threads.emplace_back([&, t] {
      std::vector<std::uint8_t> buffer(s.record->workBytes);
      for (int round = 0; round < 3; ++round)
        statuses[t] = FftImagePrimitives.invBuilds.slot[build](in.v.data(), in.step(), outs[t].v.data(),
                                                               outs[t].step(), s.record, buffer.data());
    });
  for (auto& th : threads) th.join();
  for (std::size_t t = 0; t < outs.size(); ++t) {
    EXPECT_EQ(statuses[t], StatusOk);
    EXPECT_EQ(std::memcmp(outs[t].v.data(), serial.v.data(), 8 * serial.v.size()), 0) << t;
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, FftImageTest, ::testing::ValuesIn(zentra_test::kFftBuilds),
                         zentra_test::BuildName());

}  // namespace
