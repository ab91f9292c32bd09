// The forward builds of slots 4 to 6 and the floating-point inverse, each against
// a model of its own formula bit for bit, with blocks built to land on the exact
// ties of every rounding step, so that a changed rounder or constant shows.
#include "dct_models.h"

#include <support/kernel_test.h>
#include <zentra/dct_kernels.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <unordered_map>
#include <vector>

using namespace zentra;
using namespace zentra_test;

namespace {

using InPlace = PrimitiveStatus (*)(std::int16_t*);

Block Apply(InPlace fn, const Block& in) {
  Block out = in;
  fn(out.data());
  return out;
}

// Blocks every build meets: nothing, flat and alternating extremes, lone values.
std::vector<Block> EdgeBlocks(int lo, int hi) {
  std::vector<Block> blocks(1);
  for (int v : {lo, hi, -1, 1}) {
    Block flat;
    flat.fill(static_cast<std::int16_t>(v));
    blocks.push_back(flat);
  }
  Block checker, stripes;
  for (int i = 0; i < 64; ++i) {
    checker[i] = static_cast<std::int16_t>((i / 8 + i % 8) % 2 ? lo : hi);
    stripes[i] = static_cast<std::int16_t>(i / 8 % 2 ? lo : hi);
  }
  blocks.push_back(checker);
  blocks.push_back(stripes);
  for (int i = 0; i < 64; ++i)
    for (int v : {lo, hi}) {
      Block impulse{};
      impulse[i] = static_cast<std::int16_t>(v);
      blocks.push_back(impulse);
    }
  return blocks;
}

// ---- Forward builds against their models.

struct ForwardFormula {
  Block (*model)(const Block&);
  int lo, hi;  // the widest inputs the formula is defined for
};
using ForwardBuild = Build<InPlace, ForwardFormula>;
class OtherForwardBuildTest : public BuildTest<ForwardBuild> {};

TEST_P(OtherForwardBuildTest, RandomAndEdgeBlocksMatchTheFormulaBitForBit) {
  const ForwardFormula& f = build().formula;
  for (const Block& in : EdgeBlocks(f.lo, f.hi)) ASSERT_EQ(Apply(build().fn, in), f.model(in));
  std::mt19937 rng(4101);
  for (int n = 0; n < 20000; ++n) {
    // Pixels, residuals, and the whole range the formula holds.
    const Block in = n % 3 == 0 ? RandomBlock(rng, -256, 255) : n % 3 == 1 ? RandomBlock(rng, -2048, 2047)
                                                                            : RandomBlock(rng, f.lo, f.hi);
    ASSERT_EQ(Apply(build().fn, in), f.model(in)) << "block " << n;
  }
}

TEST_P(OtherForwardBuildTest, WithinOneOfTheDoublePrecisionTransform) {
  std::mt19937 rng(17);
  for (int n = 0; n < 3000; ++n) {
    const Block in = RandomBlock(rng, -256, 255);
    const Block out = Apply(build().fn, in);
    const auto ref = ReferenceForward(in);
    for (int i = 0; i < 64; ++i) ASSERT_LE(std::abs(out[i] - ref[i]), 1.0) << "block " << n << " coefficient " << i;
  }
  Block flat;
  flat.fill(-100);
  EXPECT_EQ(Apply(build().fn, flat)[0], -800);
}

Block ModelCA(const Block& in) { return ModelLlmForward(in, kRecipeCA); }
Block ModelCB(const Block& in) { return ModelLlmForward(in, kRecipeCB); }
Block ModelFpu(const Block& in) { return ModelForwardFpu(in); }

// The integer builds keep 13-bit inputs within 16-bit outputs; the floating-point
// one keeps the low 16 bits of any output.
INSTANTIATE_TEST_SUITE_P(Builds, OtherForwardBuildTest,
                         ::testing::Values(ForwardBuild{"Fdct8x8_CA", &Fdct8x8_CA, Isa::Plain, {&ModelCA, -4096, 4095}},
                                           ForwardBuild{"Fdct8x8_CB", &Fdct8x8_CB, Isa::Plain, {&ModelCB, -4096, 4095}},
                                           ForwardBuild{"Fdct8x8_Fpu", &Fdct8x8_Fpu, Isa::Plain,
                                                        {&ModelFpu, -32768, 32767}}),
                         BuildName());

// The folded flowgraph is the DCT's basis to the precision of its constants: a
// slip in the model's own algebra would show here, not only against the builds.
TEST(LlmModel, TheFoldedFlowgraphIsTheDctBasis) {
  for (const auto& [recipe, bits] : {std::pair{kRecipeCA, 16}, std::pair{kRecipeCB, 13}}) {
    const Matrix8 m = LlmMatrix(recipe.c);
    for (int k = 0; k < 8; ++k)
      for (int n = 0; n < 8; ++n) {
        const double basis = Coefficient(0, k, n) / 16384.0;
        if (k % 4 == 0)
          EXPECT_EQ(m[k][n], std::lround(basis)) << k << "," << n;
        else
          EXPECT_NEAR(m[k][n] / std::ldexp(1.0, bits), basis, 4 / std::ldexp(1.0, bits)) << bits << ": " << k << "," << n;
      }
  }
}

// ---- Ties of the integer builds' rounding steps.

// The values of both inputs a and b in [lo, hi] whose contributions make
// fa(a) + fb(b) ≡ need (mod 2^bits), when there are any.
std::optional<std::pair<int, int>> SolvePair(const std::function<std::int64_t(int)>& fa,
                                             const std::function<std::int64_t(int)>& fb, std::int64_t need,
                                             int bits, int lo, int hi) {
  const std::int64_t mask = (std::int64_t{1} << bits) - 1;
  std::unordered_map<std::int64_t, int> byResidue;
  for (int b = lo; b <= hi; ++b) byResidue.emplace(fb(b) & mask, b);
  for (int a = lo; a <= hi; ++a)
    if (auto it = byResidue.find((need - fa(a)) & mask); it != byResidue.end()) return std::pair{a, it->second};
  return std::nullopt;
}

// The first residue of a sum mod 2^bits at which two roundings differ.
std::int64_t FirstDifference(const std::function<std::int64_t(std::int64_t)>& f,
                             const std::function<std::int64_t(std::int64_t)>& g, int bits) {
  for (std::int64_t t = 0; t < (std::int64_t{1} << bits); ++t)
    if (f(t) != g(t)) return t;
  ADD_FAILURE() << "the roundings never differ";
  return 0;
}

enum class Step { Row, Even, Odd, Final };

struct Mutation {
  Step step;
  int delta;  // added to the step's rounder
};

LlmRecipe Mutate(LlmRecipe r, Mutation m) {
  switch (m.step) {
    case Step::Row: r.rowRound += m.delta; break;
    case Step::Even: r.evenRound += m.delta; break;
    case Step::Odd: r.oddRound += m.delta; break;
    case Step::Final: r.finalRound += m.delta; break;
  }
  return r;
}

// A block on which the rounder of one step, changed by one, changes the result:
// the sum that step rounds sits exactly on the value where the two roundings part.
// Rows 0..5 are random pixels; two free inputs are solved for the tie.
std::optional<Block> TieBlock(const LlmRecipe& recipe, Mutation mutation, std::mt19937& rng) {
  const LlmRecipe changed = Mutate(recipe, mutation);
  const Matrix8 m = LlmMatrix(recipe.c);
  constexpr int kLo = -4096, kHi = 4095;
  for (int attempt = 0; attempt < 50; ++attempt) {
    Block block = RandomBlock(rng, -256, 255);
    if (mutation.step == Step::Row) {
      // Row v's rotated output k: the sum of its inputs, with inputs 6 and 7 free.
      const int v = static_cast<int>(rng() % 8), k = std::array{1, 2, 3, 5, 6, 7}[rng() % 6];
      const std::int64_t target = FirstDifference([&](std::int64_t s) { return LlmRowOutput(s, k, recipe); },
                                                  [&](std::int64_t s) { return LlmRowOutput(s, k, changed); },
                                                  recipe.rowShift);
      std::int64_t base = 0;
      for (int n = 0; n < 6; ++n) base += m[k][n] * block[8 * v + n];
      const auto ab = SolvePair([&](int a) { return m[k][6] * a; }, [&](int b) { return m[k][7] * b; },
                                target - base, recipe.rowShift, kLo, kHi);
      if (!ab) continue;
      block[8 * v + 6] = static_cast<std::int16_t>(ab->first);
      block[8 * v + 7] = static_cast<std::int16_t>(ab->second);
    } else {
      // Column c's output k: the sum over the rows' outputs at c, with rows 6 and
      // 7 free, each one input at the place whose weight in output c is smallest.
      const auto ks = mutation.step == Step::Even ? std::vector{0, 4}
                      : mutation.step == Step::Odd ? std::vector{1, 2, 3, 5, 6, 7}
                                                   : std::vector{0, 1, 2, 3, 4, 5, 6, 7};
      const int k = ks[rng() % ks.size()], c = static_cast<int>(rng() % 8);
      const int bits = (k % 4 == 0 ? recipe.evenShift : recipe.oddShift) + recipe.finalShift;
      const std::int64_t target = FirstDifference([&](std::int64_t s) { return LlmColumnOutput(s, k, recipe); },
                                                  [&](std::int64_t s) { return LlmColumnOutput(s, k, changed); },
                                                  bits);
      int n0 = 0;
      for (int n = 1; n < 8; ++n)
        if (std::abs(m[c][n]) < std::abs(m[c][n0])) n0 = n;
      for (int i = 48; i < 64; ++i) block[i] = 0;
      const auto rows = LlmRows(block, recipe);
      std::int64_t base = 0;
      for (int v = 0; v < 6; ++v) base += m[k][v] * rows[8 * v + c];
      auto rowOut = [&](int p) { return LlmRowOutput(m[c][n0] * p, c, recipe); };
      const auto ab = SolvePair([&](int a) { return m[k][6] * rowOut(a); }, [&](int b) { return m[k][7] * rowOut(b); },
                                target - base, bits, kLo, kHi);
      if (!ab) continue;
      block[48 + n0] = static_cast<std::int16_t>(ab->first);
      block[56 + n0] = static_cast<std::int16_t>(ab->second);
    }
    // A tie in the row pass must also carry through the columns' rounding.
    if (ModelLlmForward(block, recipe) != ModelLlmForward(block, changed)) return block;
  }
  return std::nullopt;
}

struct IntegerBuild {
  const char* name;
  InPlace fn;
  LlmRecipe recipe;
};

class IntegerForwardRounderTest : public ::testing::TestWithParam<IntegerBuild> {};

TEST_P(IntegerForwardRounderTest, EveryRounderIsPinnedByExactTies) {
  const IntegerBuild& b = GetParam();
  std::vector<Step> steps = {Step::Row, Step::Even, Step::Odd};
  if (b.recipe.finalShift) steps.push_back(Step::Final);
  std::mt19937 rng(1998);
  for (Step step : steps)
    for (int delta : {-1, 1}) {
      SCOPED_TRACE(::testing::Message() << "step " << static_cast<int>(step) << ", rounder " << delta);
      // Several ties for each, at random rows, columns and outputs.
      for (int n = 0; n < 8; ++n) {
        const auto block = TieBlock(b.recipe, {step, delta}, rng);
        ASSERT_TRUE(block) << "no tie found";
        ASSERT_EQ(Apply(b.fn, *block), ModelLlmForward(*block, b.recipe));
      }
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, IntegerForwardRounderTest,
                         ::testing::Values(IntegerBuild{"Fdct8x8_CA", &Fdct8x8_CA, kRecipeCA},
                                           IntegerBuild{"Fdct8x8_CB", &Fdct8x8_CB, kRecipeCB}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Rounding of the floating-point forward build.

// Outputs 0 and 4 of both passes are exact: with the sum of the inputs ≡ 4 (mod 8)
// the DC sits on a half, which floor(· + 0.499999) takes down, at both signs; and
// likewise the coefficients (0, 4), (4, 0) and (4, 4) of the alternating sums.
TEST(ForwardFpu, ExactHalvesRoundDown) {
  std::mt19937 rng(5);
  const int signs[8] = {1, -1, -1, 1, 1, -1, -1, 1};
  for (int n = 0; n < 400; ++n) {
    const int at = std::array{0, 4, 32, 36}[n % 4];
    const int hi = n % 8 < 4 ? 255 : 4095;
    Block in = RandomBlock(rng, -hi, hi);
    // The output at (i, j) sums the inputs with these signs: shift input 0 to make it ≡ 4 (mod 8).
    auto weight = [&](int p) { return (at / 8 ? signs[p / 8] : 1) * (at % 8 ? signs[p % 8] : 1); };
    int sum = 0;
    for (int p = 0; p < 64; ++p) sum += weight(p) * in[p];
    in[0] = static_cast<std::int16_t>(in[0] + (((4 - sum) % 8) + 8) % 8);
    const Block out = Apply(&Fdct8x8_Fpu, in);
    ASSERT_EQ(out, ModelForwardFpu(in));
    ASSERT_EQ(ForwardFpuScaled(in)[at] - std::floor(ForwardFpuScaled(in)[at]), 0.5);
    ASSERT_NE(ModelForwardFpu(in, 0.5)[at], out[at]);
  }
}

// Outputs whose fraction lies within 1e-6 of 0.500001 on either side, where the
// bias 0.499999 decides the direction, from a seeded search.
TEST(ForwardFpu, FractionsBesideTheBiasRoundByIt) {
  std::mt19937 rng(6);
  int below = 0, above = 0;
  for (int n = 0; n < 200000 && (below < 3 || above < 3); ++n) {
    const Block in = RandomBlock(rng, -32768, 32767);
    const auto scaled = ForwardFpuScaled(in);
    bool near = false;
    for (double v : scaled) {
      const double fraction = v - std::floor(v);
      if (std::abs(fraction - 0.500001) < 1e-6) {
        near = true;
        (fraction < 0.500001 ? below : above) += 1;
      }
    }
    if (near) {
      ASSERT_EQ(Apply(&Fdct8x8_Fpu, in), ModelForwardFpu(in)) << "block " << n;
    }
  }
  EXPECT_GE(below, 3);
  EXPECT_GE(above, 3);
}

// ---- The floating-point inverse.

TEST(InverseFpu, RandomAndEdgeBlocksMatchTheFormulaBitForBit) {
  for (const Block& in : EdgeBlocks(-32768, 32767)) ASSERT_EQ(Apply(&Idct8x8_Fpu, in), ModelInverseFpu(in));
  for (const Block& in : EdgeBlocks(-2048, 2047)) ASSERT_EQ(Apply(&Idct8x8_Fpu, in), ModelInverseFpu(in));
  std::mt19937 rng(1123);
  for (int n = 0; n < 20000; ++n) {
    const Block in = n % 3 == 0 ? RandomBlock(rng, -64, 64) : n % 3 == 1 ? RandomBlock(rng, -2048, 2047)
                                                                          : RandomBlock(rng, -32768, 32767);
    ASSERT_EQ(Apply(&Idct8x8_Fpu, in), ModelInverseFpu(in)) << "block " << n;
  }
}

// The flowgraph is the inverse transform: every output is the exact value rounded
// and clamped, except where the exact value lies so near a half that the double
// arithmetic may take either side.
TEST(InverseFpu, IsTheExactInverseRoundedAndClamped) {
  std::mt19937 rng(6);
  for (int n = 0; n < 5000; ++n) {
    const Block in = RandomBlock(rng, -400, 400);
    const Block out = Apply(&Idct8x8_Fpu, in);
    const auto ref = ReferenceInverse(in);
    for (int i = 0; i < 64; ++i) {
      const double expected = std::clamp(RoundHalfEven(ref[i]), -256.0, 255.0);
      const double fraction = ref[i] - std::floor(ref[i]);
      ASSERT_LE(std::abs(out[i] - expected), std::abs(fraction - 0.5) < 1e-9 ? 1.0 : 0.0) << "block " << n << " at " << i;
    }
  }
}

// A DC of 4 (mod 8) alone puts every output exactly on a half: it goes to the
// even neighbour, 0.5 to 0, 1.5 to 2, -0.5 to 0, -2.5 to -2.
TEST(InverseFpu, HalvesRoundToEven) {
  for (const auto& [dc, value] : {std::pair{4, 0}, std::pair{12, 2}, std::pair{-4, 0}, std::pair{-20, -2},
                                  std::pair{36, 4}, std::pair{-36, -4}}) {
    Block in{};
    in[0] = static_cast<std::int16_t>(dc);
    Block expected;
    expected.fill(static_cast<std::int16_t>(value));
    EXPECT_EQ(Apply(&Idct8x8_Fpu, in), expected) << dc;
  }
  // And amid others: with coefficients (0, 0), (0, 4) and (4, 0) alone each output
  // is (c00 ± c04 ± c40) / 8 exactly, here always a half.
  const int signs[8] = {1, -1, -1, 1, 1, -1, -1, 1};
  std::mt19937 rng(7);
  for (int n = 0; n < 200; ++n) {
    Block in{};
    in[0] = static_cast<std::int16_t>(8 * static_cast<int>(rng() % 200) - 796);
    in[4] = static_cast<std::int16_t>(8 * static_cast<int>(rng() % 100) - 400);
    in[32] = static_cast<std::int16_t>(8 * static_cast<int>(rng() % 100) - 400);
    const Block out = Apply(&Idct8x8_Fpu, in);
    for (int v = 0; v < 8; ++v)
      for (int x = 0; x < 8; ++x) {
        const double exact = (in[0] + signs[x] * in[4] + signs[v] * in[32]) / 8.0;
        ASSERT_EQ(exact - std::floor(exact), 0.5);
        ASSERT_EQ(out[8 * v + x], std::clamp(RoundHalfEven(exact), -256.0, 255.0)) << n << " at " << v << "," << x;
      }
  }
}

// The clamp table has 2048 entries; coefficients that drive an output far
// beyond them clamp instead of indexing outside it.
TEST(InverseFpu, ExtremeCoefficientsClampToThePixelRange) {
  Block high{};
  high[0] = 32767;
  high = Apply(&Idct8x8_Fpu, high);
  for (auto v : high) ASSERT_EQ(v, 255);
  Block low{};
  low[0] = -32768;
  low[9] = -32768;
  low = Apply(&Idct8x8_Fpu, low);
  for (auto v : low) ASSERT_GE(v, -256);
  EXPECT_EQ(low[0], -256);
}

// Only a last coefficient of 0 or 1 with all others 0 clears the block at once.
TEST(InverseFpu, OnlyTheLastCoefficientAtOneClearsTheBlock) {
  Block b{};
  b[63] = 1;
  EXPECT_EQ(Apply(&Idct8x8_Fpu, b), Block{});
  b[63] = 200;
  const Block out = Apply(&Idct8x8_Fpu, b);
  EXPECT_NE(out, Block{});
  EXPECT_EQ(out, ModelInverseFpu(b));
}

}  // namespace
