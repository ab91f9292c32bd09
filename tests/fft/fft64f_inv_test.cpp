// The double-precision inverse transform in each build: accuracy against a
// long-double reference, normalisation, transform sense, in-place calls, the
// work buffer, argument checks and concurrent use of one record.
#include <zentra/fft_primitives.h>
#include <zentra/fft_spec64f.h>

#include "test_heap.h"
#include "fft_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

namespace {

using namespace zentra;
using namespace zentra_test;

struct SpecDeleter {
  void operator()(FftSpec64f* record) const { ippsFFTFree_C_64f(record); }
};
using RecordPtr = std::unique_ptr<FftSpec64f, SpecDeleter>;

RecordPtr MakeSpec(std::int32_t order, std::int32_t flag) {
  FftSpec64f* record = nullptr;
  EXPECT_EQ(ippsFFTInitAlloc_C_64f(&record, order, flag, 0), StatusOk) << order;
  return RecordPtr(record);
}

SplitSignal Inverse(const SplitSignal& x, const FftSpec64f* record, std::uint8_t* buffer = nullptr) {
  SplitSignal y(x.size());
  EXPECT_EQ(ippsFFTInv_CToC_64f(x.re.data(), x.im.data(), y.re.data(), y.im.data(), record, buffer), StatusOk);
  return y;
}

class FftInv64fTest : public FftBuildTest {
 protected:
  // Relative RMS bound per log2(N): build 1 rounds only on store.
  double Bound(int order) const { return (index() == 1 ? 4e-16 : 8e-16) * order; }
};

TEST_P(FftInv64fTest, EveryOrderTo20AgainstTheReference) {
  for (std::int32_t order = 0; order <= 20; ++order) {
    const SplitSignal x = RandomSignal(std::size_t{1} << order, 100 + order);
    const RecordPtr record = MakeSpec(order, 8);
    const SplitSignal y = Inverse(x, record.get());
    const double err = RelativeRmsError(y, ReferenceInverseDft(x));
    EXPECT_LE(err, Bound(order)) << "order " << order;
    if (order == 0) {
      EXPECT_EQ(y.re[0], x.re[0]);
    }
  }
}

// Order 21 runs two four-step levels in builds 1 and 2 (21 -> 13) and the
// widest single level with 2048-point leaves in builds 3 and 4; scaled once.
TEST_P(FftInv64fTest, TwoLevelPlanAgainstTheReference) {
  const std::int32_t order = 21;
  const SplitSignal x = RandomSignal(std::size_t{1} << order, 21);
  const RecordPtr record = MakeSpec(order, 4);
  const long double scale = 1.0L / std::sqrt(std::ldexp(1.0L, order));
  const double err = RelativeRmsError(Inverse(x, record.get()), ReferenceInverseDft(x), scale);
  EXPECT_LE(err, Bound(order));
}

// Flags 8 and 1 leave the inverse unscaled, 2 divides by N, 4 by sqrt(N).
TEST_P(FftInv64fTest, EveryNormalisationFlag) {
  for (std::int32_t order : {0, 1, 2, 3, 4, 7, 9, 10, 11, 12, 13, 14, 15, 19}) {
    const SplitSignal x = RandomSignal(std::size_t{1} << order, order);
    const auto ref = ReferenceInverseDft(x);
    const long double n = std::ldexp(1.0L, order);
    struct Case {
      std::int32_t flag;
      long double scale;
    };
    for (const Case& c : {Case{8, 1}, Case{1, 1}, Case{2, 1 / n}, Case{4, 1 / std::sqrt(n)}}) {
      const RecordPtr record = MakeSpec(order, c.flag);
      const double err = RelativeRmsError(Inverse(x, record.get()), ref, c.scale);
      EXPECT_LE(err, Bound(order) + 2.3e-16) << "order " << order << " flag " << c.flag;
    }
  }
}

// The exponent is positive: an impulse at 1 gives e^(+2 pi i k/N) at k, and a
// tone e^(-2 pi i j k0/N) gives N at k0 and nothing elsewhere.
TEST_P(FftInv64fTest, ImpulsesAndTonesLandWhereTheSenseSays) {
  for (std::int32_t order = 0; order <= 16; ++order) {
    const std::size_t n = std::size_t{1} << order;
    const RecordPtr record = MakeSpec(order, 8);
    SplitSignal impulse0(n), impulse1(n);
    impulse0.re[0] = 1;
    const SplitSignal y0 = Inverse(impulse0, record.get());
    for (std::size_t k = 0; k < n; ++k) {
      ASSERT_EQ(y0.re[k], 1.0) << order << " " << k;
      ASSERT_EQ(y0.im[k], 0.0) << order << " " << k;
    }
    if (n < 2) continue;
    impulse1.re[1] = 1;
    const SplitSignal y1 = Inverse(impulse1, record.get());
    for (std::size_t k = 0; k < n; ++k) {
      const long double a = 6.283185307179586476925L * k / n;
      ASSERT_NEAR(y1.re[k], std::cos(a), 4e-16 * order) << order << " " << k;
      ASSERT_NEAR(y1.im[k], std::sin(a), 4e-16 * order) << order << " " << k;
    }
    const std::size_t k0 = n / 3 + 1 < n ? n / 3 + 1 : 0;
    SplitSignal tone(n);
    for (std::size_t j = 0; j < n; ++j) {
      const long double a = -6.283185307179586476925L * ((j * k0) % n) / n;
      tone.re[j] = std::cos(a), tone.im[j] = std::sin(a);
    }
    const SplitSignal y = Inverse(tone, record.get());
    for (std::size_t k = 0; k < n; ++k) {
      ASSERT_NEAR(y.re[k], k == k0 ? double(n) : 0.0, 1e-14 * n) << order << " " << k;
      ASSERT_NEAR(y.im[k], 0.0, 1e-14 * n) << order << " " << k;
    }
  }
  if (index() <= 2) {
    // the 8-point kernel's rotations are exact: X1 = (c, c), X3 = (-c, c)
    const RecordPtr record = MakeSpec(3, 8);
    SplitSignal x(8);
    x.re[1] = 1;
    const SplitSignal y = Inverse(x, record.get());
    EXPECT_EQ(y.re[1], 0.7071067811865476);
    EXPECT_EQ(y.im[1], 0.7071067811865476);
    EXPECT_EQ(y.re[3], -0.7071067811865476);
    EXPECT_EQ(y.im[3], 0.7071067811865476);
  }
}

// Builds 3 and 4 turn by e^(i pi/4) in their stages of eight with constants:
// the radix pass with sqrt(2)/2 rounded to nearest, the column transform of
// the large orders with its own table, whose cos(pi/4) is the double one unit
// below. An impulse that only such a stage turns shows each constant exactly.
TEST(FftSse2Constants64f, StagesOfEightOfRadixPassAndColumns) {
  for (std::int32_t build : {3, 4}) {
    ForcedBuild forced(build);
    // Order 5: an impulse at 4 is turned only by the stage of eight: X1 = e^(i pi/4).
    const RecordPtr small = MakeSpec(5, 8);
    SplitSignal x(32);
    x.re[4] = 1;
    SplitSignal y = Inverse(x, small.get());
    EXPECT_EQ(y.re[1], 0.7071067811865476) << build;
    EXPECT_EQ(y.im[1], 0.7071067811865476) << build;
    // Order 15 is 8 rows of 4096: the impulse at 1 makes row 4 all ones, and
    // the eight-point transform of column 0 turns it into output 4096.
    const RecordPtr large = MakeSpec(15, 8);
    SplitSignal z(std::size_t{1} << 15);
    z.re[1] = 1;
    y = Inverse(z, large.get());
    EXPECT_EQ(y.re[4096], 0.7071067811865475) << build;
    EXPECT_EQ(y.im[4096], 0.7071067811865475) << build;
    EXPECT_EQ(y.re[3 * 4096], -0.7071067811865475) << build;
    EXPECT_EQ(y.im[3 * 4096], 0.7071067811865475) << build;
  }
}

// In place (both parts, or one of them) gives the out-of-place result bit for
// bit at every order, the 8-point kernel included.
TEST_P(FftInv64fTest, InPlaceEqualsOutOfPlace) {
  for (std::int32_t order = 0; order <= 17; ++order) {
    for (std::int32_t flag : {8, 4}) {
      const SplitSignal x = RandomSignal(std::size_t{1} << order, 7 * order + flag);
      const RecordPtr record = MakeSpec(order, flag);
      const SplitSignal expected = Inverse(x, record.get());
      SplitSignal both = x;
      ASSERT_EQ(ippsFFTInv_CToC_64f(both.re.data(), both.im.data(), both.re.data(), both.im.data(), record.get(),
                                    nullptr),
                StatusOk);
      EXPECT_EQ(both.re, expected.re) << "order " << order;
      EXPECT_EQ(both.im, expected.im) << "order " << order;
      SplitSignal realOnly = x;
      std::vector<double> im(x.size());
      ASSERT_EQ(ippsFFTInv_CToC_64f(realOnly.re.data(), x.im.data(), realOnly.re.data(), im.data(), record.get(),
                                    nullptr),
                StatusOk);
      EXPECT_EQ(realOnly.re, expected.re) << "order " << order;
      EXPECT_EQ(im, expected.im) << "order " << order;
    }
  }
}

// A caller buffer is used from its next 16-byte boundary and suffices at the
// record's workBytes even when it starts 1 past a boundary; no allocation then.
TEST_P(FftInv64fTest, CallerBufferIsUsedAndNothingIsAllocated) {
  for (std::int32_t order : {2, 3, 5, 9, 10, 12, 13, 14, 16, 19}) {
    const SplitSignal x = RandomSignal(std::size_t{1} << order, order);
    const RecordPtr record = MakeSpec(order, 2);
    const SplitSignal expected = Inverse(x, record.get());
    const std::size_t bytes = record->workBytes > 0 ? record->workBytes : 0;
    std::vector<std::uint8_t> storage(bytes + 64, 0xA5);
    // 1 past a 16-byte boundary: the transform starts 15 bytes later
    std::uint8_t* buffer = storage.data() + (16 - reinterpret_cast<std::uintptr_t>(storage.data()) % 16) + 1;
    ScopedHeap heap;
    SplitSignal y(x.size());
    ASSERT_EQ(ippsFFTInv_CToC_64f(x.re.data(), x.im.data(), y.re.data(), y.im.data(), record.get(), buffer),
              StatusOk);
    EXPECT_TRUE(Log().requests.empty()) << order;
    // nothing before the boundary or past workBytes from the pointer given is touched
    for (std::uint8_t* p = storage.data(); p < buffer + 15; ++p) ASSERT_EQ(*p, 0xA5) << order;
    for (std::uint8_t* p = buffer + bytes; p < storage.data() + storage.size(); ++p) ASSERT_EQ(*p, 0xA5) << order;
    EXPECT_EQ(y.re, expected.re) << order;
    EXPECT_EQ(y.im, expected.im) << order;
  }
}

TEST_P(FftInv64fTest, OwnWorkBufferIsFreedAndItsFailureWritesNothing) {
  for (std::int32_t order : {4, 9, 10, 15}) {
    const RecordPtr record = MakeSpec(order, 8);
    const SplitSignal x = RandomSignal(std::size_t{1} << order, order);
    const bool needsWork = record->workBytes > 0;
    EXPECT_EQ(needsWork, index() >= 3 || order >= 10) << order;
    {
      ScopedHeap heap;
      Inverse(x, record.get());
      EXPECT_EQ(Log().requests.size(), needsWork ? 1u : 0u);
      EXPECT_EQ(Log().released.size(), Log().blocks.size());
    }
    if (!needsWork) continue;
    ScopedHeap heap(0);
    SplitSignal y(x.size());
    std::fill(y.re.begin(), y.re.end(), 5.0);
    EXPECT_EQ(ippsFFTInv_CToC_64f(x.re.data(), x.im.data(), y.re.data(), y.im.data(), record.get(), nullptr),
              StatusNoMemory);
    EXPECT_EQ(y.re, std::vector<double>(x.size(), 5.0));
  }
}

TEST_P(FftInv64fTest, ArgumentChecksInTheirOrder) {
  const RecordPtr record = MakeSpec(5, 8);
  SplitSignal x = RandomSignal(32, 1), y(32);
  EXPECT_EQ(ippsFFTInv_CToC_64f(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), StatusNullPointer);
  std::int32_t otherKind[16] = {4};
  EXPECT_EQ(ippsFFTInv_CToC_64f(nullptr, x.im.data(), y.re.data(), y.im.data(),
                                reinterpret_cast<const FftSpec64f*>(otherKind), nullptr),
            StatusContextMismatch);
  otherKind[0] = 25;
  EXPECT_EQ(ippsFFTInv_CToC_64f(x.re.data(), x.im.data(), y.re.data(), y.im.data(),
                                reinterpret_cast<const FftSpec64f*>(otherKind), nullptr),
            StatusContextMismatch);
  const double* src[4] = {x.re.data(), x.im.data(), y.re.data(), y.im.data()};
  for (int missing = 0; missing < 4; ++missing) {
    const double* a[4] = {src[0], src[1], src[2], src[3]};
    a[missing] = nullptr;
    EXPECT_EQ(ippsFFTInv_CToC_64f(a[0], a[1], const_cast<double*>(a[2]), const_cast<double*>(a[3]), record.get(),
                                  nullptr),
              StatusNullPointer)
        << missing;
  }
  EXPECT_EQ(y.re, std::vector<double>(32, 0.0));
}

// Eight threads on one record give the result of one.
TEST_P(FftInv64fTest, ConcurrentTransformsOnOneRecord) {
  for (std::int32_t order : {3, 8, 12, 16}) {
    const RecordPtr record = MakeSpec(order, 4);
    const SplitSignal x = RandomSignal(std::size_t{1} << order, order);
    const SplitSignal expected = Inverse(x, record.get());
    std::vector<SplitSignal> results(8, SplitSignal(x.size()));
    std::vector<std::thread> threads;
    for (auto& r : results) {
      threads.emplace_back([&] {
        for (int repeat = 0; repeat < 4; ++repeat) {
          ippsFFTInv_CToC_64f(x.re.data(), x.im.data(), r.re.data(), r.im.data(), record.get(), nullptr);
        }
      });
    }
    for (auto& t : threads) t.join();
    for (const auto& r : results) {
      EXPECT_EQ(r.re, expected.re) << order;
      EXPECT_EQ(r.im, expected.im) << order;
    }
  }
}

// Builds 2 to 4 against build 1 on the same data: the same transform up to
// the last bits (a relative RMS difference of a few units of 1e-17 per stage).
class FftInv64fAgreementTest : public FftInv64fTest {};

TEST_P(FftInv64fAgreementTest, AgreesWithBuildOne) {
  for (std::int32_t order : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 17, 20}) {
    const SplitSignal x = RandomSignal(std::size_t{1} << order, 900 + order);
    SplitSignal reference;
    {
      ForcedBuild one(1);
      const RecordPtr record = MakeSpec(order, 2);
      reference = Inverse(x, record.get());
    }
    const RecordPtr record = MakeSpec(order, 2);
    const double diff = RelativeRmsDifference(Inverse(x, record.get()), reference);
    EXPECT_LE(diff, 6e-17 * (order + 1)) << "order " << order;
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, FftInv64fTest, ::testing::ValuesIn(kFftBuilds), BuildName());
INSTANTIATE_TEST_SUITE_P(Builds, FftInv64fAgreementTest, ::testing::ValuesIn(kFftBuilds + 1, std::end(kFftBuilds)),
                         BuildName());

// An index outside 1..4 would name an empty slot: the entries take build 1.
TEST(FftDispatch64f, IndexOutsideTheTableTakesBuildOne) {
  const SplitSignal x = RandomSignal(64, 3);
  SplitSignal expected;
  {
    const RecordPtr record = MakeSpec(6, 8);
    expected = Inverse(x, record.get());
  }
  for (std::int32_t index : {0, 5, -1, 1000}) {
    ForcedBuild odd(index);
    const RecordPtr record = MakeSpec(6, 8);
    ASSERT_NE(record, nullptr) << index;
    const SplitSignal y = Inverse(x, record.get());
    EXPECT_EQ(y.re, expected.re) << index;
    EXPECT_EQ(y.im, expected.im) << index;
  }
}

// Builds 1, 2 and builds 3, 4 lay out their tables differently: a record made
// under one family and handed to the other is refused, never read.
TEST(FftDispatch64f, RecordOfTheOtherFamilyIsRefused) {
  for (std::int32_t order : {3, 5, 10, 12, 14, 20}) {
    for (auto [made, used] : {std::pair{1, 3}, std::pair{3, 1}, std::pair{2, 4}, std::pair{4, 2}, std::pair{1, 2}}) {
      RecordPtr record;
      {
        ForcedBuild build(made);
        record = MakeSpec(order, 8);
      }
      ForcedBuild build(used);
      const SplitSignal x = RandomSignal(std::size_t{1} << order, 1);
      SplitSignal y(x.size());
      const bool sameFamily = (made >= 3) == (used >= 3);
      EXPECT_EQ(ippsFFTInv_CToC_64f(x.re.data(), x.im.data(), y.re.data(), y.im.data(), record.get(), nullptr),
                sameFamily || order <= 3 ? StatusOk : StatusContextMismatch)
          << order << " " << made << " " << used;
      if (!sameFamily && order > 3) {
        EXPECT_EQ(y.re, std::vector<double>(x.size(), 0.0));
      }
    }
  }
}

TEST(FftDispatch64f, BuildTablesAndRecords) {
  const auto& d = FftDoublePrimitives;
  EXPECT_EQ(d.invBuilds.slot[0], nullptr);
  EXPECT_EQ(d.invBuilds.slot[5], nullptr);
  EXPECT_EQ(d.invBuilds.slot[1], &ippsFFTInv_CToC_64f_V1);
  EXPECT_EQ(d.invBuilds.slot[4], &ippsFFTInv_CToC_64f_V4);
  EXPECT_EQ(d.initAllocBuilds.slot[3], &ippsFFTInitAlloc_C_64f_V3);
  EXPECT_EQ(d.freeBuilds.slot[2], &ippsFFTFree_C_64f_V2);
  EXPECT_STREQ(d.invRecord.name, "ippsFFTInv_CToC_64f");
  EXPECT_EQ(d.invRecord.buildTable, &d.invBuilds);
}

}  // namespace
