// Every twiddle of both record families, in every build and at every order up
// to 20, bit for bit against a construction from the formula: the quarter-wave
// sine table made by the x87 unit from the double nearest 2 pi, read by
// quadrant into each table's layout, and the plans written out per order.
#include <zentra/fft_bitreverse.h>
#include <zentra/fft_primitives.h>
#include <zentra/fft_spec32fc.h>
#include <zentra/fft_spec64f.h>

#include "fft_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace zentra;

// sin(j x) and cos(j x) on the x87 stack, x = 6.283185307179586 / M as a
// double, j x left in the register, the result rounded when stored.
double X87SinOfMultiple(std::int64_t j, double x, bool cosine) {
  double out;
  if (cosine) asm("fildll %1\n\tfmull %2\n\tfcos\n\tfstpl %0" : "=m"(out) : "m"(j), "m"(x));
  else asm("fildll %1\n\tfmull %2\n\tfsin\n\tfstpl %0" : "=m"(out) : "m"(j), "m"(x));
  return out;
}
float X87SinOfMultipleF(std::int64_t j, double x, bool cosine) {
  float out;
  if (cosine) asm("fildll %1\n\tfmull %2\n\tfcos\n\tfstps %0" : "=m"(out) : "m"(j), "m"(x));
  else asm("fildll %1\n\tfmull %2\n\tfsin\n\tfstps %0" : "=m"(out) : "m"(j), "m"(x));
  return out;
}

// The quarter-wave table of order m: entries 0..M/8 as sines, the rest as
// cosines of the complementary multiple.
template <typename T>
struct SineModel {
  std::int32_t m;
  std::vector<T> table;
  explicit SineModel(std::int32_t order) : m(order) {
    const std::int64_t quarter = (std::int64_t{1} << m) / 4;
    const double x = 6.283185307179586 / std::ldexp(1.0, m);
    for (std::int64_t j = 0; j <= quarter; ++j) {
      const bool cosine = j > (std::int64_t{1} << m) / 8;
      const std::int64_t multiple = cosine ? quarter - j : j;
      if constexpr (sizeof(T) == 8) table.push_back(X87SinOfMultiple(multiple, x, cosine));
      else table.push_back(X87SinOfMultipleF(multiple, x, cosine));
    }
  }
  // s(j) at sub-order k.
  T s(std::int32_t k, std::int64_t j) const { return table[j << (m - k)]; }
  // W(h) = (cos, -sin)(2 pi h / K) by quadrant.
  void W(std::int32_t k, std::int64_t h, T* out) const {
    const std::int64_t q = (std::int64_t{1} << k) / 4;
    if (h < q) out[0] = s(k, q - h), out[1] = -s(k, h);
    else if (h < 2 * q) out[0] = -s(k, h - q), out[1] = -s(k, 2 * q - h);
    else if (h < 3 * q) out[0] = -s(k, 3 * q - h), out[1] = s(k, h - 2 * q);
    else out[0] = s(k, h - 3 * q), out[1] = s(k, 4 * q - h);
  }
  // Radix-4 entry i of sub-order k: the pairs of t, 2t, 3t by their own rules.
  void Radix(std::int32_t k, std::int64_t i, T* out) const {
    const std::int64_t q = (std::int64_t{1} << k) / 4;
    out[0] = s(k, q - i), out[1] = -s(k, i);
    if (2 * i <= q) out[2] = s(k, q - 2 * i), out[3] = -s(k, 2 * i);
    else out[2] = -s(k, 2 * i - q), out[3] = -s(k, 2 * q - 2 * i);
    if (3 * i <= q) out[4] = s(k, q - 3 * i), out[5] = -s(k, 3 * i);
    else if (3 * i > 2 * q) out[4] = -s(k, 3 * q - 3 * i), out[5] = s(k, 3 * i - 2 * q);
    else out[4] = -s(k, 3 * i - q), out[5] = -s(k, 2 * q - 3 * i);
  }
};

// Compares a table with the expected values, bit for bit (so the sign of a
// zero counts), reporting the first difference.
template <typename T>
void ExpectBits(const T* got, const std::vector<T>& want, const std::string& what) {
  ASSERT_NE(got, nullptr) << what;
  for (std::size_t i = 0; i < want.size(); ++i)
    if (std::memcmp(&got[i], &want[i], sizeof(T)) != 0) {
      ADD_FAILURE() << what << ": entry " << i << " is " << got[i] << ", expected " << want[i];
      return;
    }
}

// Table layouts.
enum class Layout { Single, PairedStages, QuadStages };

template <typename T>
std::vector<T> RadixTable(const SineModel<T>& sm, std::int32_t k, Layout layout) {
  std::vector<T> out;
  T e[6];
  if (layout == Layout::Single) {
    for (std::int64_t i = 0; i <= (std::int64_t{1} << k) / 4; ++i) sm.Radix(k, i, e), out.insert(out.end(), e, e + 6);
    return out;
  }
  const int group = layout == Layout::PairedStages ? 2 : 4;  // entries stored value by value
  for (std::int32_t s = k % 2 == 0 ? 4 : 5; s <= k; s += 2)
    for (std::int64_t i = 0; i < (std::int64_t{1} << s) / 4; i += group) {
      T v[4][6];
      for (int g = 0; g < group; ++g) sm.Radix(s, i + g, v[g]);
      for (int value = 0; value < 6; ++value)
        for (int g = 0; g < group; ++g) out.push_back(v[g][value]);
    }
  return out;
}

// First quadrant of sub-order k as (cos, -sin) pairs; grouped: four cosines,
// then four negated sines.
template <typename T>
std::vector<T> QuadrantTable(const SineModel<T>& sm, std::int32_t k, bool grouped) {
  std::vector<T> out;
  const std::int64_t q = (std::int64_t{1} << k) / 4;
  for (std::int64_t h = 0; h < q; h += grouped ? 4 : 1) {
    if (!grouped) {
      out.push_back(sm.s(k, q - h)), out.push_back(-sm.s(k, h));
      continue;
    }
    for (int g = 0; g < 4; ++g) out.push_back(sm.s(k, q - h - g));
    for (int g = 0; g < 4; ++g) out.push_back(-sm.s(k, h + g));
  }
  return out;
}

// Four-step twiddles of a level of order e with c outer bits: per group of
// four columns and bit-reversed row, W(rev(r) * column) of the four columns,
// as pairs, as (cos a, cos b, -sin a, -sin b) per two columns, or as four
// cosines and four negated sines.
enum class Combine { Pairs, TwoByTwo, Fours };
template <typename T>
std::vector<T> CombineTable(const SineModel<T>& sm, std::int32_t e, std::int32_t c, Combine form) {
  std::vector<T> out;
  const std::int64_t rows = std::int64_t{1} << c, groups = (std::int64_t{1} << (e - c)) / 4;
  for (std::int64_t g = 0; g < groups; ++g)
    for (std::int64_t r = 0; r < rows; ++r) {
      T w[4][2];
      for (int t = 0; t < 4; ++t) sm.W(e, std::int64_t{ReverseBits(static_cast<std::uint32_t>(r), c)} * (4 * g + t), w[t]);
      if (form == Combine::Pairs) {
        for (auto& p : w) out.push_back(p[0]), out.push_back(p[1]);
      } else if (form == Combine::TwoByTwo) {
        for (int h = 0; h < 4; h += 2)
          out.insert(out.end(), {w[h][0], w[h + 1][0], w[h][1], w[h + 1][1]});
      } else {
        for (auto& p : w) out.push_back(p[0]);
        for (auto& p : w) out.push_back(p[1]);
      }
    }
  return out;
}

// An order's plan: the level split (0: none), the innermost radix order and
// the block order (0: none), as the plan tables give them.
struct Plan {
  std::int32_t split, radix, block;
};

// Double precision, builds 1 and 2: orders 10 and 11 joined from blocks,
// 12..20 one level.
Plan Plan64fX87(std::int32_t n) {
  if (n <= 9) return {0, n, 0};
  if (n <= 11) return {0, 9, n};
  const std::int32_t c[] = {4, 5, 6, 7, 7, 8, 9, 9, 9};  // orders 12..20
  const std::int32_t inner = n - c[n - 12];
  return {c[n - 12], inner >= 10 ? 9 : inner, inner >= 10 ? inner : 0};
}
// Builds 3 and 4: one radix pass to order 13, then one level with leaves of
// at most 13.
Plan Plan64fSse2(std::int32_t n) {
  if (n <= 13) return {0, n, 0};
  const std::int32_t c[] = {4, 3, 3, 7, 8, 9, 10};  // orders 14..20
  return {c[n - 14], n - c[n - 14], 0};
}
// Single precision, builds 1 and 2: orders 11 and 12 joined from blocks.
Plan Plan32fcX87(std::int32_t n) {
  if (n <= 10) return {0, n, 0};
  if (n <= 12) return {0, 10, n};
  const std::int32_t c[] = {5, 6, 7, 8, 8, 8, 10, 10};  // orders 13..20
  return {c[n - 13], n - c[n - 13], 0};
}
Plan Plan32fcSse2(std::int32_t n) {
  if (n <= 14) return {0, n, 0};
  const std::int32_t c[] = {5, 4, 3, 4, 11, 12};  // orders 15..20
  return {c[n - 15], n - c[n - 15], 0};
}

// One record's tables against the model: the innermost radix table, the
// block table (`blocks`, empty when the plan has none), and the level's radix
// and four-step tables.
template <typename T, typename Record>
void ExpectRecordTables(const Record* record, std::int32_t order, const SineModel<T>& sm, const Plan& p,
                        Layout layout, Combine combine, const std::vector<T>& blocks) {
  const std::string at = "order " + std::to_string(order);
  ExpectBits(record->radixTwiddles, RadixTable(sm, p.radix, layout), at + " radix");
  if (!blocks.empty()) ExpectBits(record->blockTwiddles, blocks, at + " blocks");
  else EXPECT_EQ(record->blockTwiddles, nullptr) << at;
  if (p.split != 0) {
    ExpectBits(record->levelTwiddles[0], RadixTable(sm, p.split, layout), at + " level radix");
    ExpectBits(record->levelCombineTwiddles[0], CombineTable(sm, order, p.split, combine), at + " combine");
  } else {
    EXPECT_EQ(record->levelTwiddles[0], nullptr) << at;
  }
  EXPECT_EQ(record->levelTwiddles[1], nullptr) << at;
}

class FftTablesTest : public zentra_test::FftBuildTest {};

TEST_P(FftTablesTest, DoublePrecisionTablesOfOrders0To20) {
  const bool sse2 = index() >= 3;
  for (std::int32_t order = 0; order <= 20; ++order) {
    FftSpec64f* record = nullptr;
    ASSERT_EQ(ippsFFTInitAlloc_C_64f(&record, order, 2, 0), StatusOk) << order;
    if (order <= 3) {
      EXPECT_EQ(record->radixTwiddles, nullptr) << order;
    } else {
      const SineModel<double> sm(order);
      const Plan p = sse2 ? Plan64fSse2(order) : Plan64fX87(order);
      ExpectRecordTables(record, order, sm, p, sse2 ? Layout::PairedStages : Layout::Single,
                         sse2 ? Combine::TwoByTwo : Combine::Pairs,
                         p.block != 0 ? QuadrantTable(sm, p.block, false) : std::vector<double>{});
    }
    EXPECT_EQ(ippsFFTFree_C_64f(record), StatusOk);
  }
}

TEST_P(FftTablesTest, SinglePrecisionTablesOfOrders0To20) {
  using InitSpecFn = PrimitiveStatus (*)(FftSpec32fc**, std::int32_t, std::int32_t, std::int32_t);
  const InitSpecFn init[] = {nullptr, FftInitSpec32fc_V1, FftInitSpec32fc_V2, FftInitSpec32fc_V3,
                             FftInitSpec32fc_V4};
  const bool quads = index() >= 2;
  for (std::int32_t order = 0; order <= 20; ++order) {
    FftSpec32fc* record = nullptr;
    ASSERT_EQ(init[index()](&record, order, 2, 0), StatusOk) << order;
    if (order <= 3) {
      EXPECT_EQ(record->radixTwiddles, nullptr) << order;
    } else {
      const SineModel<float> sm(order);
      const Plan p = index() >= 3 ? Plan32fcSse2(order) : Plan32fcX87(order);
      // Build 2 joins by halving: the first quadrants of every length down to 2048.
      std::vector<float> blocks;
      for (std::int32_t l = p.block; p.block != 0 && l >= (index() == 2 ? 11 : p.block); --l) {
        const std::vector<float> level = QuadrantTable(sm, l, index() == 2);
        blocks.insert(blocks.end(), level.begin(), level.end());
      }
      ExpectRecordTables(record, order, sm, p, quads ? Layout::QuadStages : Layout::Single,
                         quads ? Combine::Fours : Combine::Pairs, blocks);
    }
    EXPECT_EQ(FftSpecFree32fc(record), StatusOk);
  }
}

// The step comes from the double nearest 2 pi: the extended constant puts
// about one entry in seven of the order-10 table a unit off, so the
// comparisons above tell the two steps apart.
TEST(FftSineTable, TheStepIsTheDoubleNearestTwoPi) {
  const SineModel<double> sm(10);
  int apart = 0;
  for (std::int64_t j = 0; j <= 256; ++j) {
    const bool cosine = j > 128;
    const long double x = (cosine ? 256 - j : j) * (6.283185307179586L / 1024);
    apart += static_cast<double>(cosine ? std::cos(x) : std::sin(x)) != sm.table[static_cast<std::size_t>(j)];
  }
  EXPECT_GT(apart, 20);
}

INSTANTIATE_TEST_SUITE_P(Builds, FftTablesTest, ::testing::ValuesIn(zentra_test::kFftBuilds),
                         zentra_test::BuildName());

}  // namespace
