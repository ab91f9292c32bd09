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

// Build 2 copies through the x87 unit, and build 3 its self swaps: every double
// keeps its bits (negative zero, subnormals, infinities, NaN payloads) except a
// signalling NaN, which is stored quieted. Build 3's pair swaps are plain
// 128-bit moves and keep it signalling.
TEST(BitReversePermutation, X87CopiesQuietSignallingNaNs) {
  const std::uint64_t patterns[] = {0x7FF0000000000001ull, 0xFFF4000000000000ull, 0x7FF8000000000123ull,
                                    0x8000000000000000ull, 0x0000000000000001ull, 0x7FF0000000000000ull,
                                    0x3FF0000000000001ull};
  auto quiet = [](std::uint64_t v) {
    const bool signalling = (v & 0x7FF0000000000000ull) == 0x7FF0000000000000ull &&
                            (v & 0x000FFFFFFFFFFFFFull) != 0 && (v & 0x0008000000000000ull) == 0;
    return signalling ? v | 0x0008000000000000ull : v;
  };
  const int n = 4, count = 16;
  Table pairs(BuildBitReverseTable(n));
  std::vector<std::uint64_t> src(count);
  for (int x = 0; x < count; ++x) src[x] = patterns[x % 7];
  auto bits = [](const std::vector<double>& v, int i) {
    std::uint64_t b;
    std::memcpy(&b, &v[i], 8);
    return b;
  };
  std::vector<double> in(count), out(count), same(count), paired(count);
  std::memcpy(in.data(), src.data(), count * 8);
  BitReversePermute_V2(in.data(), out.data(), count, pairs.get());
  same = in;
  BitReversePermuteInPlace_V2(same.data(), count, pairs.get());
  for (int x = 0; x < count; ++x) {
    const int r = static_cast<int>(ReverseBits(x, n));
    EXPECT_EQ(bits(out, r), quiet(src[x])) << "out of place, element " << x;
    EXPECT_EQ(bits(same, r), r == x ? src[x] : quiet(src[x])) << "in place, element " << x;
  }
  // Order 4: the self swap of k = 0 exchanges 1 and 8 through the x87 unit;
  // the pair (4, 8) moves elements 2, 3, 10, 11 with 4, 5, 12, 13 as they are.
  paired = in;
  BitReversePermuteInPlace_V3(paired.data(), count, pairs.get());
  EXPECT_EQ(bits(paired, 8), quiet(src[1]));
  EXPECT_EQ(bits(paired, 1), quiet(src[8]));
  for (int x : {2, 3, 10, 11, 4, 5, 12, 13}) EXPECT_EQ(bits(paired, static_cast<int>(ReverseBits(x, n))), src[x]) << x;
  EXPECT_NE(src[1], quiet(src[1]));  // the source does hold a signalling NaN there
}

}  // namespace
