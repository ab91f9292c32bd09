// The double-precision record: argument checks in their order, fields, plans,
// and that a failed creation leaves nothing allocated.
#include <zentra/fft_primitives.h>
#include <zentra/fft_spec64f.h>

#include "test_heap.h"
#include "fft_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

using namespace zentra;
using zentra_test::ForcedBuild;
using zentra_test::Log;
using zentra_test::ScopedHeap;

class FftSpec64fTest : public zentra_test::FftBuildTest {
 protected:
  bool paired() const { return index() >= 3; }
};

std::size_t Outstanding() { return Log().blocks.size() - Log().released.size(); }

// The outer order of the four-step plan by order, from the first order with a
// plan (10 in builds 1 and 2, 14 in builds 3 and 4); 0: joined from blocks.
constexpr std::int32_t kSplitX87[31] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 5, 6, 7,
                                        7, 8, 9, 9, 9, 8, 8, 9, 9, 9, 9, 9, 9, 9, 9};
constexpr std::int32_t kSplitSse2[31] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 3,
                                         3, 7, 8, 9, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10};

// A value no call writes: a refused creation must leave the caller's pointer as it was.
FftSpec64f* const kUnwritten = reinterpret_cast<FftSpec64f*>(0x5A5A5A5A);

TEST_P(FftSpec64fTest, ArgumentChecksInTheirOrder) {
  ScopedHeap heap;
  FftSpec64f* record = reinterpret_cast<FftSpec64f*>(0x1);
  EXPECT_EQ(ippsFFTInitAlloc_C_64f(nullptr, 99, 0, 0), StatusNullPointer);
  EXPECT_EQ(ippsFFTInitAlloc_C_64f(&record, -1, 2, 0), StatusFftOrderError);
  EXPECT_EQ(ippsFFTInitAlloc_C_64f(&record, 31, 0, 0), StatusFftOrderError);
  EXPECT_TRUE(Log().requests.empty());
  for (std::int32_t flag : {0, 3, 16, -1}) {
    EXPECT_EQ(ippsFFTInitAlloc_C_64f(&record, 5, flag, 0), StatusFftFlagError) << flag;
  }
  EXPECT_EQ(Log().requests.size(), 4u);  // the record each time, released again
  EXPECT_EQ(Outstanding(), 0u);
  EXPECT_EQ(record, reinterpret_cast<FftSpec64f*>(0x1));

  // An allocation failure wins over a bad flag.
  Log().failAfter = 0;
  EXPECT_EQ(ippsFFTInitAlloc_C_64f(&record, 5, 0, 0), StatusNoMemory);
  EXPECT_EQ(record, reinterpret_cast<FftSpec64f*>(0x1));
}

TEST_P(FftSpec64fTest, FieldsOfEveryFlag) {
  struct Case {
    std::int32_t flag, forward, inverse;
    double factor;
  };
  for (std::int32_t order : {0, 3, 7, 12}) {
    const double n = std::ldexp(1.0, order);
    for (const Case& c : {Case{8, 0, 0, 0.0}, Case{4, 1, 1, 1 / std::sqrt(n)}, Case{1, 1, 0, 1 / n},
                          Case{2, 0, 1, 1 / n}}) {
      FftSpec64f* record = nullptr;
      ASSERT_EQ(ippsFFTInitAlloc_C_64f(&record, order, c.flag, 77), StatusOk);
      EXPECT_EQ(record->contextId, 8);
      EXPECT_EQ(record->order, order);
      EXPECT_EQ(record->hint, 77);
      EXPECT_EQ(record->scaleForward, c.forward);
      EXPECT_EQ(record->scaleInverse, c.inverse);
      EXPECT_DOUBLE_EQ(record->scaleFactor, c.factor) << order << " " << c.flag;
      EXPECT_EQ(record->outerBlockTwiddles, nullptr);
      EXPECT_EQ(record->spareTable1, nullptr);
      EXPECT_EQ(record->spareTable2, nullptr);
      if (order <= 3) {
        EXPECT_EQ(record->workBytes, 0);
        EXPECT_EQ(record->bitReverseTable, nullptr);
        EXPECT_EQ(record->radixTwiddles, nullptr);
      }
      EXPECT_EQ(ippsFFTFree_C_64f(record), StatusOk);
    }
  }
}

// Orders 0 to 3 are a record without tables in every build: one allocation, of
// the record's own size.
TEST_P(FftSpec64fTest, SmallOrdersAllocateOnlyTheRecord) {
  for (std::int32_t order = 0; order <= 3; ++order) {
    ScopedHeap heap;
    FftSpec64f* record = nullptr;
    ASSERT_EQ(ippsFFTInitAlloc_C_64f(&record, order, 4, 0), StatusOk) << order;
    ASSERT_EQ(Log().requests.size(), 1u);
    EXPECT_GE(Log().requests[0], sizeof(FftSpec64f));
    EXPECT_EQ(ippsFFTFree_C_64f(record), StatusOk);
    EXPECT_EQ(Outstanding(), 0u);
  }
}

TEST_P(FftSpec64fTest, WorkBytesAndPlanTables) {
  // order -> workBytes, from the plans of the two families of builds
  const std::int32_t x87[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 16, 1040, 2064, 4112, 8208, 8208,
                              16400, 32784, 32784, 32784, 16400, 16400, 32784};
  for (std::int32_t order = 4; order <= 21; ++order) {
    FftSpec64f* record = nullptr;
    ASSERT_EQ(ippsFFTInitAlloc_C_64f(&record, order, 8, 0), StatusOk) << order;
    if (paired()) {
      const std::int32_t expected =
          order < 14 ? (16 << order) + 16 : (64 << kSplitSse2[order]) + 131088;
      EXPECT_EQ(record->workBytes, expected) << order;
      EXPECT_EQ(record->levelTwiddles[0] != nullptr, order >= 14);
    } else {
      EXPECT_EQ(record->workBytes, x87[order]) << order;
      EXPECT_EQ(record->blockTwiddles != nullptr, order == 10 || order == 11 || order == 19 || order == 20);
      EXPECT_EQ(record->levelTwiddles[0] != nullptr, order >= 12);
      EXPECT_EQ(record->levelTwiddles[1] != nullptr, order >= 21);
      // every radix-4 table begins (1, -0, 1, -0, 1, -0)
      for (int v = 0; v < 6; ++v) {
        EXPECT_EQ(record->radixTwiddles[v], v % 2 ? 0.0 : 1.0);
        if (v % 2) {
          EXPECT_TRUE(std::signbit(record->radixTwiddles[v]));
        }
      }
    }
    EXPECT_NE(record->bitReverseTable, nullptr);
    EXPECT_EQ(ippsFFTFree_C_64f(record), StatusOk);
  }
}

// The four-step twiddles are laid out in the order the column pass reads them:
// group, bit-reversed row, column.
TEST_P(FftSpec64fTest, CombineTwiddlesInReadingOrder) {
  const std::int32_t order = 16;
  FftSpec64f* record = nullptr;
  ASSERT_EQ(ippsFFTInitAlloc_C_64f(&record, order, 8, 0), StatusOk);
  const std::int32_t c = paired() ? kSplitSse2[order] : kSplitX87[order];
  const std::int64_t rows = 1 << c, n = 1 << order;
  const double* t = record->levelCombineTwiddles[0];
  for (std::int64_t g : {std::int64_t{0}, std::int64_t{5}, (n / rows) / 4 - 1}) {
    for (std::int64_t r = 0; r < rows; r += 3) {
      for (int col = 0; col < 4; ++col) {
        const long double angle = 6.283185307179586476925L * ReverseBits(r, c) * (4 * g + col) / n;
        const double* row = t + (g * rows + r) * 8;
        const double cs = paired() ? row[(col / 2) * 4 + col % 2] : row[2 * col];
        const double sn = paired() ? row[(col / 2) * 4 + 2 + col % 2] : row[2 * col + 1];
        EXPECT_NEAR(cs, std::cos(angle), 1e-15);
        EXPECT_NEAR(sn, -std::sin(angle), 1e-15);
      }
    }
  }
  EXPECT_EQ(ippsFFTFree_C_64f(record), StatusOk);
}

// Orders whose tables exceed the 32-bit size arithmetic are refused before any
// table is made; nothing stays allocated.
TEST_P(FftSpec64fTest, OrdersFrom27AreRefusedWithoutTouchingMemory) {
  for (std::int32_t order = 27; order <= 30; ++order) {
    ScopedHeap heap;
    FftSpec64f* record = kUnwritten;
    EXPECT_EQ(ippsFFTInitAlloc_C_64f(&record, order, 2, 0), StatusNoMemory) << order;
    EXPECT_EQ(record, kUnwritten);
    EXPECT_EQ(Outstanding(), 0u);
    for (std::size_t bytes : Log().requests) EXPECT_LT(bytes, 4096u) << order;
  }
}

// Whichever allocation fails, the status is -9 and everything made before is released.
TEST_P(FftSpec64fTest, FailedTableAllocationsLeaveNothing) {
  for (std::int32_t order : {4, 10, 12, 16, 21}) {
    std::size_t total;
    {
      ScopedHeap heap;
      FftSpec64f* record = nullptr;
      ASSERT_EQ(ippsFFTInitAlloc_C_64f(&record, order, 2, 0), StatusOk);
      total = Log().requests.size();
      ippsFFTFree_C_64f(record);
    }
    for (std::size_t fail = 0; fail < total; ++fail) {
      ScopedHeap heap(static_cast<int>(fail));
      FftSpec64f* record = kUnwritten;
      EXPECT_EQ(ippsFFTInitAlloc_C_64f(&record, order, 2, 0), StatusNoMemory) << order << " " << fail;
      EXPECT_EQ(record, kUnwritten);
      EXPECT_EQ(Outstanding(), 0u) << order << " " << fail;
    }
  }
}

TEST_P(FftSpec64fTest, FreeChecksItsRecord) {
  ScopedHeap heap;
  EXPECT_EQ(ippsFFTFree_C_64f(nullptr), StatusNullPointer);
  FftSpec64f* record = nullptr;
  ASSERT_EQ(ippsFFTInitAlloc_C_64f(&record, 6, 2, 0), StatusOk);
  const std::size_t released = Log().released.size();  // the temporary tables
  record->contextId = 4;  // a single-precision record's kind
  EXPECT_EQ(ippsFFTFree_C_64f(record), StatusContextMismatch);
  EXPECT_EQ(Log().released.size(), released);
  record->contextId = 8;
  EXPECT_EQ(ippsFFTFree_C_64f(record), StatusOk);
  EXPECT_EQ(Outstanding(), 0u);
}

// The record builders and the large-order transforms read the same split
// tables, which hold the plans' outer orders.
TEST(FftSpec64fPlans, SplitTablesHoldThePlansOuterOrders) {
  for (std::int32_t order = 10; order <= FftMaxOrder; ++order)
    EXPECT_EQ(PlanSplitTable64f_V12[order], kSplitX87[order]) << order;
  for (std::int32_t order = 14; order <= FftMaxOrder; ++order)
    EXPECT_EQ(PlanSplitTable64f_V34[order], kSplitSse2[order]) << order;
}

INSTANTIATE_TEST_SUITE_P(Builds, FftSpec64fTest, ::testing::ValuesIn(zentra_test::kFftBuilds),
                         zentra_test::BuildName());

}  // namespace
