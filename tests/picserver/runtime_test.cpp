#include <zentra/primitive_runtime.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>

#include "test_heap.h"

using namespace zentra;
using zentra_test::Log;
using zentra_test::ScopedHeap;

namespace {

void* StoredHeapPointer(void* p) {
  void* block;
  std::memcpy(&block, static_cast<char*>(p) - sizeof(void*), sizeof(void*));
  return block;
}

TEST(AlignedBlocks, AlignmentStoredPointerAndRelease) {
  ScopedHeap heap;
  for (std::int32_t size : {1, 3, 31, 32, 33, 1000}) {
    void* p = AllocAligned(size);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 32, 0u);
    void* block = Log().blocks.back();
    EXPECT_EQ(StoredHeapPointer(p), block);
    auto offset = static_cast<char*>(p) - static_cast<char*>(block);
    EXPECT_GE(offset, static_cast<std::ptrdiff_t>(sizeof(void*)));
    EXPECT_LE(offset + size, static_cast<std::ptrdiff_t>(Log().requests.back()));
    std::memset(p, 0xAB, static_cast<std::size_t>(size));  // the whole payload is usable
    FreeAligned(p);
    EXPECT_EQ(Log().released.back(), block);
  }
  std::size_t releases = Log().released.size();
  FreeAligned(nullptr);
  EXPECT_EQ(Log().released.size(), releases);
}

TEST(AlignedBlocks, RequestSizesAndNonPositiveCounts) {
  ScopedHeap heap;
  EXPECT_EQ(AllocAligned(0), nullptr);
  EXPECT_EQ(AllocAligned(-5), nullptr);
  EXPECT_EQ(AllocAlignedFloats(0), nullptr);
  EXPECT_EQ(AllocAlignedShorts(-1), nullptr);
  EXPECT_TRUE(Log().requests.empty()) << "non-positive counts must not touch the heap";

  FreeAligned(AllocAlignedFloats(3));
  FreeAligned(AllocAlignedShorts(3));
  ASSERT_EQ(Log().requests.size(), 2u);
  EXPECT_EQ(Log().requests[0], 12 + kAlignedBlockOverhead);
  EXPECT_EQ(Log().requests[1], 6 + kAlignedBlockOverhead);
}

TEST(AlignedBlocks, LargeCountsDoNotWrapIntoSmallRequests) {
  ScopedHeap heap(0);  // refuse everything: only the request size matters here
  const std::int32_t big = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(AllocAlignedFloats(big), nullptr);
  EXPECT_EQ(AllocAlignedShorts(big), nullptr);
  EXPECT_EQ(AllocAligned(big), nullptr);
  ASSERT_EQ(Log().requests.size(), 3u);
  EXPECT_EQ(Log().requests[0], std::size_t{4} * big + kAlignedBlockOverhead);
  EXPECT_EQ(Log().requests[1], std::size_t{2} * big + kAlignedBlockOverhead);
  EXPECT_EQ(Log().requests[2], std::size_t{big} + kAlignedBlockOverhead);
}

class CpuIndexGuard : public ::testing::Test {
 protected:
  void TearDown() override { CpuDispatchIndex = 1; }
};

TEST_F(CpuIndexGuard, SetCpuDispatchByTypeMapsTypesAndRefusesEmptySlots) {
  struct Case { std::int32_t type, index; };
  for (Case c : {Case{0, 1}, Case{4, 1}, Case{5, 2}, Case{6, 3}, Case{7, 3}, Case{9, 3}, Case{8, 4}}) {
    CpuDispatchIndex = 1;
    EXPECT_EQ(SetCpuDispatchByType(c.type), StatusOk) << c.type;
    EXPECT_EQ(CpuDispatchIndex, c.index) << c.type;
  }
  // -1 would select the empty slot 0; like every unknown type it changes nothing.
  for (std::int32_t type : {10, -2, -1, 1000}) {
    CpuDispatchIndex = 4;
    EXPECT_EQ(SetCpuDispatchByType(type), StatusCpuTypeError) << type;
    EXPECT_EQ(CpuDispatchIndex, 4) << type;
  }
}

TEST_F(CpuIndexGuard, ProcessorClassesAndTheirIndexes) {
  auto cpu = [](int family, bool mmx, bool sse, bool sse2, bool ht, bool sse3) {
    CpuFeatures f{};
    f.family = family;
    f.hasMmx = mmx, f.hasSse = sse, f.hasSse2 = sse2, f.hasHyperThreading = ht, f.hasSse3 = sse3;
    return f;
  };
  EXPECT_EQ(CpuTypeOf(true, true, cpu(5, true, false, false, false, false)), 2);
  EXPECT_EQ(CpuTypeOf(true, true, cpu(5, false, false, false, false, false)), 1);
  EXPECT_EQ(CpuTypeOf(true, true, cpu(6, true, true, true, false, false)), 9);
  EXPECT_EQ(CpuTypeOf(true, true, cpu(6, true, true, false, false, false)), 5);
  EXPECT_EQ(CpuTypeOf(true, true, cpu(6, true, false, false, false, false)), 4);
  EXPECT_EQ(CpuTypeOf(true, true, cpu(6, false, false, false, false, false)), 3);
  EXPECT_EQ(CpuTypeOf(true, true, cpu(7, true, true, true, true, true)), 16);
  EXPECT_EQ(CpuTypeOf(true, true, cpu(15, true, true, true, true, true)), 8);
  EXPECT_EQ(CpuTypeOf(true, true, cpu(15, true, true, true, true, false)), 7);
  EXPECT_EQ(CpuTypeOf(true, true, cpu(15, true, true, true, false, false)), 6);
  EXPECT_EQ(CpuTypeOf(true, true, cpu(15, true, true, false, true, true)), 17);
  EXPECT_EQ(CpuTypeOf(true, true, cpu(4, false, false, false, false, false)), 0);
  EXPECT_EQ(CpuTypeOf(true, false, cpu(6, true, true, true, false, false)), 0);
  EXPECT_EQ(CpuTypeOf(false, true, cpu(6, true, true, true, false, false)), 0);

  const std::int32_t expected[] = {1, 1, 1, 1, 1, 2, 3, 3, 4, 3};
  for (std::int32_t cls = 0; cls <= 9; ++cls) EXPECT_EQ(CpuDispatchIndexForClass(cls), expected[cls]) << cls;
  EXPECT_EQ(CpuDispatchIndexForClass(16), 1);
  EXPECT_EQ(CpuDispatchIndexForClass(17), 1);
}

TEST_F(CpuIndexGuard, InitCpuDispatchFollowsTheProcessor) {
  CpuFeatures f{};
  ReadCpuFeatures(&f);
  EXPECT_EQ(f.hasSse2, 1) << "x86-64 processors always have SSE2";
  PrimitiveStatus status = InitCpuDispatch();
  if (IsGenuineIntel()) {
    EXPECT_EQ(status, StatusOk);
    EXPECT_EQ(CpuDispatchIndex, CpuDispatchIndexForClass(GetCpuType()));
  } else {
    EXPECT_EQ(status, StatusNotGenuineCpu);
    EXPECT_EQ(CpuDispatchIndex, 1);
  }
}

TEST(DispatchRecords, PushReturnsThePreviousHead) {
  DispatchRecord* saved = DispatchRecordList;
  DispatchRecordList = nullptr;
  DispatchRecord a{}, b{};
  EXPECT_EQ(PushDispatchRecord(&a), nullptr);
  EXPECT_EQ(PushDispatchRecord(&b), &a);
  EXPECT_EQ(DispatchRecordList, &b);
  EXPECT_EQ(a.next, nullptr) << "the push leaves the record alone";
  DispatchRecordList = saved;
}

}  // namespace
