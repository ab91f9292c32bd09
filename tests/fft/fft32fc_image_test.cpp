// The image transform: every shape against a long-double 2-D reference, bit
// for bit the rows and then the columns of the 1-D engine, the row padding,
// every normalisation, the statuses in their order, the work buffer's size and
// bounds, and one record shared by several threads.
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
using zentra_test::ForcedBuild;
using zentra_test::Log;
using zentra_test::LongComplex;
using zentra_test::ScopedHeap;

std::size_t Outstanding() { return Log().blocks.size() - Log().released.size(); }

long double FactorOf(std::int32_t flag, std::size_t points) {
  if (flag == FftDivInverseByN) return 1.0L / points;
  if (flag == FftDivBySqrtN) return 1.0L / std::sqrt(static_cast<long double>(points));
  return 1.0L;
}

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
  const zentra_test::SplitSignal x = zentra_test::RandomSignal(std::size_t(w) * h, seed);
  for (std::int32_t r = 0; r < h; ++r)
    for (std::int32_t c = 0; c < w; ++c) {
      const std::size_t i = std::size_t(r) * w + c;
      im.at(r, c) = {static_cast<float>(x.re[i]), static_cast<float>(x.im[i])};
    }
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
  FftSpec2D32fc* const unwritten = reinterpret_cast<FftSpec2D32fc*>(0x5A5A5A5A);
  FftSpec2D32fc* record = unwritten;
  EXPECT_EQ(ippiFFTInitAlloc_C_32fc(nullptr, 31, 0, 3, 0), StatusNullPointer);
  EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&record, 5, 31, 2, 0), StatusFftOrderError);
  EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&record, -1, 3, 2, 0), StatusFftOrderError);
  EXPECT_EQ(Log().requests.size(), 0u);
  EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&record, 4, 6, 0, 0), StatusFftFlagError);
  // 64 * 2^26 bytes of column area do not fit a 32-bit count: refused, not wrapped.
  EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&record, 0, 26, 2, 0), StatusNoMemory);
  EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&record, 2, 30, 2, 0), StatusNoMemory);
  EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&record, 2, 25, 2, 0), StatusNoMemory);  // 2^31 bytes of columns
  // Refused before the 1-D records: no request beyond the 2-D record itself.
  EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&record, 26, 26, 8, 0), StatusNoMemory);
  EXPECT_LE(*std::max_element(Log().requests.begin(), Log().requests.end()), 4096u);
  EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&record, 0, 27, 3, 0), StatusFftFlagError);  // the flag still wins
  EXPECT_EQ(record, unwritten);
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
    FftSpec2D32fc* none = unwritten;
    EXPECT_EQ(ippiFFTInitAlloc_C_32fc(&none, 13, 5, 4, 0), StatusNoMemory) << fail;
    EXPECT_EQ(none, unwritten);
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

using InitSpecFn = PrimitiveStatus (*)(FftSpec32fc**, std::int32_t, std::int32_t, std::int32_t);
using Inv1DFn = PrimitiveStatus (*)(const float*, float*, const FftSpec32fc*, std::uint8_t*);
const InitSpecFn kInitSpec[] = {nullptr, FftInitSpec32fc_V1, FftInitSpec32fc_V2, FftInitSpec32fc_V3,
                                FftInitSpec32fc_V4};
const Inv1DFn kInv1D[] = {nullptr, FftInv1D32fc_V1, FftInv1D32fc_V2, FftInv1D32fc_V3, FftInv1D32fc_V4};

// The image transform is the build's 1-D transform over every row and then
// over every column, nothing more: the same bits as doing that by hand, for
// the one-row, one-column, two-column and wider paths.
TEST_P(FftImageTest, RowsThenColumnsOfThe1DEngineBitForBit) {
  const Inv1DFn inverse = kInv1D[index()];
  for (auto [ox, oy] : {std::pair{0, 0}, {6, 0}, {0, 7}, {1, 5}, {2, 2}, {3, 8}, {8, 3}, {6, 6}, {10, 4}, {4, 10}})
    for (std::int32_t flag : {2, 8}) {
      const std::int32_t w = 1 << ox, h = 1 << oy;
      FftSpec32fc *rowSpec = nullptr, *columnSpec = nullptr;
      ASSERT_EQ(kInitSpec[index()](&rowSpec, ox, flag, 0), StatusOk);
      ASSERT_EQ(kInitSpec[index()](&columnSpec, oy, flag, 0), StatusOk);
      Image in = RandomImage(w, h, 1, ox * 11 + oy);
      Image want = in;
      std::vector<Complex32fc> line(std::max(w, h));
      for (std::int32_t r = 0; r < h; ++r) {
        std::copy_n(&want.at(r, 0), w, line.begin());
        ASSERT_EQ(inverse(&line[0].re, &line[0].re, rowSpec, nullptr), StatusOk);
        std::copy_n(line.begin(), w, &want.at(r, 0));
      }
      for (std::int32_t c = 0; c < w; ++c) {
        for (std::int32_t r = 0; r < h; ++r) line[r] = want.at(r, c);
        ASSERT_EQ(inverse(&line[0].re, &line[0].re, columnSpec, nullptr), StatusOk);
        for (std::int32_t r = 0; r < h; ++r) want.at(r, c) = line[r];
      }
      FftSpecFree32fc(rowSpec);
      FftSpecFree32fc(columnSpec);
      Spec2D s(ox, oy, flag);
      for (std::int32_t pad : {0, 1, 4}) {  // rows 16-byte aligned or not; one column contiguous or not
        Image in2(w, h, pad), out(w, h, pad + 2);
        for (std::int32_t r = 0; r < h; ++r) std::copy_n(&in.at(r, 0), w, &in2.at(r, 0));
        ASSERT_EQ(ippiFFTInv_CToC_32fc_C1R(in2.v.data(), in2.step(), out.v.data(), out.step(), s.record, nullptr),
                  StatusOk);
        for (std::int32_t r = 0; r < h; ++r)
          ASSERT_EQ(std::memcmp(&out.at(r, 0), &want.at(r, 0), 8 * std::size_t(w)), 0)
              << w << "x" << h << " flag " << flag << " pad " << pad << " row " << r;
        EXPECT_TRUE(out.PaddingUntouched());
      }
    }
}

// The record's buffer size, max(row work, column work + four columns) + 16,
// is all a transform touches of a caller's buffer wherever it starts, and
// with it the transform allocates nothing.
TEST_P(FftImageTest, WorkBytesBoundTheCallerBuffer) {
  for (auto [ox, oy] : {std::pair{0, 0}, {5, 0}, {0, 5}, {1, 6}, {4, 4}, {9, 3}, {3, 9}, {12, 2}, {2, 13}, {3, 13}}) {
    Spec2D s(ox, oy, 4);
    ASSERT_NE(s.record, nullptr);
    std::int32_t rowBytes = -1, columnBytes = -1;
    FftGetBufSize32fc(s.record->rowSpec, &rowBytes);
    const FftSpec32fc* columns = s.record->columnSpec != nullptr ? s.record->columnSpec : s.record->rowSpec;
    FftGetBufSize32fc(columns, &columnBytes);
    EXPECT_EQ(s.record->columnSpec == nullptr, ox == oy);
    EXPECT_EQ(columns->order, oy);
    EXPECT_EQ(s.record->reservedSpec[0], nullptr);
    EXPECT_EQ(s.record->reservedSpec[1], nullptr);
    const std::uint32_t want = std::max<std::uint32_t>(rowBytes, columnBytes + (64u << oy)) + 16;
    EXPECT_EQ(s.record->workBytes, want) << ox << " " << oy;
    const std::int32_t w = 1 << ox, h = 1 << oy;
    const Image in = RandomImage(w, h, 0, 3);
    Image reference(w, h, 0);
    ASSERT_EQ(ippiFFTInv_CToC_32fc_C1R(in.v.data(), in.step(), reference.v.data(), reference.step(), s.record,
                                       nullptr), StatusOk);
    for (std::size_t offset : {0, 1, 15}) {
      std::vector<std::uint8_t> block(s.record->workBytes + 64, 0xA5);
      // Start the buffer at `offset` past a 16-byte boundary inside the block.
      const std::size_t lead = (16 - reinterpret_cast<std::uintptr_t>(block.data()) % 16) % 16 + 16 + offset;
      Image out(w, h, 0);
      {
        ScopedHeap refuse(0);  // any allocation would fail the call
        ASSERT_EQ(ippiFFTInv_CToC_32fc_C1R(in.v.data(), in.step(), out.v.data(), out.step(), s.record,
                                           block.data() + lead), StatusOk);
        EXPECT_EQ(Log().requests.size(), 0u);
      }
      EXPECT_EQ(std::memcmp(out.v.data(), reference.v.data(), 8 * out.v.size()), 0) << ox << " " << oy;
      const auto untouched = [](std::uint8_t b) { return b == 0xA5; };
      EXPECT_TRUE(std::all_of(block.begin(), block.begin() + lead, untouched)) << ox << " " << oy;
      EXPECT_TRUE(std::all_of(block.begin() + lead + s.record->workBytes, block.end(), untouched))
          << ox << " " << oy << " offset " << offset;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, FftImageTest, ::testing::ValuesIn(zentra_test::kFftBuilds),
                         zentra_test::BuildName());

}  // namespace
