#include <zentra/fft_bitreverse.h>
#include <zentra/primitive_runtime.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

namespace {

using namespace zentra;

struct TableDeleter {
  void operator()(std::int32_t* p) const { FreeAligned(p); }
};
using Table = std::unique_ptr<std::int32_t, TableDeleter>;

std::vector<std::int32_t> Entries(const Table& t, std::int32_t n) {
  return {t.get(), t.get() + (1 << (n - 2)) + 1};
}

TEST(BitReverseTables, SwapPairTablesOfSmallOrders) {
  using V = std::vector<std::int32_t>;
  EXPECT_EQ(Entries(Table(BuildBitReverseTable(2)), 2), (V{0, 0}));
  EXPECT_EQ(Entries(Table(BuildBitReverseTable(3)), 3), (V{0, 4, 0}));
  EXPECT_EQ(Entries(Table(BuildBitReverseTable(4)), 4), (V{4, 8, 0, 12, 0}));
  EXPECT_EQ(Entries(Table(BuildBitReverseTable(6)), 6),
            (V{4, 32, 8, 16, 12, 48, 20, 40, 28, 56, 44, 52, 0, 60, 36, 24, 0}));
}

TEST(BitReverseTables, IndexTableHoldsDoubledReversals) {
  EXPECT_EQ(Entries(Table(BuildBitReverseIndexTable(5)), 5),
            (std::vector<std::int32_t>{0, 8, 4, 12, 2, 10, 6, 14, 0}));
  const int n = 12;
  Table t(BuildBitReverseIndexTable(n));
  for (std::uint32_t k = 1; k < (1u << (n - 2)); ++k) EXPECT_EQ(t.get()[k], 2 * ReverseBits(k, n - 2)) << k;
}

// Every routine against the definition dst[rev(x)] = src[x], orders 0 to 16.
TEST(BitReversePermutation, AllRoutinesMatchTheDefinition) {
  for (int n = 0; n <= 16; ++n) {
    const std::int32_t count = 1 << n;
    Table pairs(BuildBitReverseTable(n < 2 ? 2 : n));
    std::vector<std::uint64_t> src(count), expected(count);
    for (std::int32_t x = 0; x < count; ++x) src[x] = 0x1234000000000000ull + x;
    for (std::int32_t x = 0; x < count; ++x) expected[ReverseBits(x, n)] = src[x];

    std::vector<std::uint64_t> out(count, 0);
    BitReversePermute_V1(src.data(), out.data(), count, pairs.get());
    EXPECT_EQ(out, expected) << "out of place V1, order " << n;

    std::vector<double> srcD(count), outD(count);
    std::memcpy(srcD.data(), src.data(), count * 8);
    BitReversePermute_V2(srcD.data(), outD.data(), count, pairs.get());
    EXPECT_EQ(std::memcmp(outD.data(), expected.data(), count * 8), 0) << "out of place V2, order " << n;

    std::vector<std::uint64_t> inPlace = src;
    BitReversePermuteInPlace_V1(inPlace.data(), count, pairs.get());
    EXPECT_EQ(inPlace, expected) << "in place V1, order " << n;

    for (auto* routine : {&BitReversePermuteInPlace_V2, &BitReversePermuteInPlace_V3}) {
      // odd offset: the 128-bit moves must not need an aligned array
      std::vector<double> data(count + 1);
      std::memcpy(data.data() + 1, src.data(), count * 8);
      routine(data.data() + 1, count, pairs.get());
      EXPECT_EQ(std::memcmp(data.data() + 1, expected.data(), count * 8), 0) << "in place, order " << n;
    }

    std::vector<Complex64fc> c(count);
    for (std::int32_t x = 0; x < count; ++x) c[x] = {double(x), -double(x)};
    BitReversePermuteInPlace64fc(c.data(), count, pairs.get());
    for (std::int32_t x = 0; x < count; ++x) {
      EXPECT_EQ(c[ReverseBits(x, n)].re, double(x));
      EXPECT_EQ(c[ReverseBits(x, n)].im, -double(x));
    }
  }
}

TEST(BitReversePermutation, EightPointsAndTwiceIsIdentity) {
  Table pairs(BuildBitReverseTable(3));
  std::vector<std::uint64_t> src{0, 1, 2, 3, 4, 5, 6, 7}, out(8);
  BitReversePermute_V1(src.data(), out.data(), 8, pairs.get());
  EXPECT_EQ(out, (std::vector<std::uint64_t>{0, 4, 2, 6, 1, 5, 3, 7}));

  Table six(BuildBitReverseTable(6));
  std::vector<std::uint64_t> data(64);
  std::iota(data.begin(), data.end(), 100);
  const auto original = data;
  BitReversePermuteInPlace_V1(data.data(), 64, six.get());
  EXPECT_NE(data, original);
  BitReversePermuteInPlace_V1(data.data(), 64, six.get());
  EXPECT_EQ(data, original);
}

// Integer copies move any bit pattern, a signalling NaN included.
TEST(BitReversePermutation, BuildOneMovesEveryBitPattern) {
  Table pairs(BuildBitReverseTable(3));
  std::vector<std::uint64_t> src(8, 0), out(8);
  src[1] = 0x7FF0000000000001ull;  // signalling NaN
  BitReversePermute_V1(src.data(), out.data(), 8, pairs.get());
  EXPECT_EQ(out[4], 0x7FF0000000000001ull);
}

}  // namespace
