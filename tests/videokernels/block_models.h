// Plain models of the block kernels' formulas, sample by sample, and random
// blocks for comparing every build against them.
#pragma once

#include <support/kernel_test.h>

#include <cstdint>
#include <cstdlib>
#include <random>

namespace zentra_test {

using U8 = std::uint8_t;
using I32 = std::int32_t;
using P = std::ptrdiff_t;

// How a reference sample at a half position is predicted.
enum class Pred {
  Full,
  HalfX,          // (a + right + 1) >> 1
  HalfY,          // (a + below + 1) >> 1
  DiagExact,      // (a + right + below + below-right + 2) >> 2
  DiagUpVertical,    // avg(avg(a, below), avg(right, below-right)), avg rounding up
  DiagUpHorizontal,  // avg(avg(a, right), avg(below, below-right))
};

inline int Up(int a, int b) { return (a + b + 1) >> 1; }

inline int Predict(const U8* r, P step, Pred pred) {
  switch (pred) {
    case Pred::Full: return r[0];
    case Pred::HalfX: return (r[0] + r[1] + 1) >> 1;
    case Pred::HalfY: return (r[0] + r[step] + 1) >> 1;
    case Pred::DiagExact: return (r[0] + r[1] + r[step] + r[step + 1] + 2) >> 2;
    case Pred::DiagUpVertical: return Up(Up(r[0], r[step]), Up(r[1], r[step + 1]));
    case Pred::DiagUpHorizontal: return Up(Up(r[0], r[1]), Up(r[step], r[step + 1]));
  }
  return 0;
}

// Extra reference column and row a prediction reads.
inline int ExtraColumns(Pred p) { return p == Pred::Full || p == Pred::HalfY ? 0 : 1; }
inline int ExtraRows(Pred p) { return p == Pred::Full || p == Pred::HalfX ? 0 : 1; }

// The prediction of the mode-based primitives: bits 2-3 only, exact averages.
inline Pred PredOfModeBits(int mode) {
  switch (mode & 12) {
    case 0: return Pred::Full;
    case 4: return Pred::HalfY;
    case 8: return Pred::HalfX;
    default: return Pred::DiagExact;
  }
}

inline I32 ModelSad(const U8* ref, const U8* cur, P step, int rows, int width, Pred pred) {
  I32 sum = 0;
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < width; ++x) sum += std::abs(Predict(ref + y * step + x, step, pred) - cur[y * step + x]);
  return sum;
}

// Squared error against one prediction, and against the rounded mean of two.
inline I32 ModelSsd(const U8* ref, const U8* cur, P step, int rows, Pred pred) {
  I32 sum = 0;
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < 16; ++x) {
      const int d = Predict(ref + y * step + x, step, pred) - cur[y * step + x];
      sum += d * d;
    }
  return sum;
}

inline I32 ModelBidir(const U8* f, P fStep, Pred pf, const U8* b, P bStep, Pred pb, const U8* cur, P curStep, int rows) {
  I32 sum = 0;
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < 16; ++x) {
      const int p = (Predict(f + y * fStep + x, fStep, pf) + Predict(b + y * bStep + x, bStep, pb) + 1) >> 1;
      const int d = p - cur[y * curStep + x];
      sum += d * d;
    }
  return sum;
}

// Samples of one of three kinds: anything, tiny values where rounding shows, or
// values near the top.
inline Bytes RandomPlane(std::mt19937& rng, std::size_t n) {
  switch (rng() % 3) {
    case 0: return RandomBytes(rng, n);
    case 1: {
      Bytes b(n);
      for (auto& x : b) x = static_cast<U8>(rng() % 4);
      return b;
    }
    default: {
      Bytes b(n);
      for (auto& x : b) x = static_cast<U8>(250 + rng() % 6);
      return b;
    }
  }
}

}  // namespace zentra_test
