// The single-precision 1-D engine: straight-line kernels of 1 to 8 points, the
// in-cache radix-4 pass, the scaling pass, the blocked and four-step
// transforms of the large orders, and the driver that picks among them.
//
// Build 1 forms its kernels, joins and factor products on the x87 unit at
// extended precision (long double) and rounds to single when it stores a
// value (inside a radix-4 butterfly it holds single-precision values, as the
// other builds do); builds 2 to 4 compute in single precision throughout
// (SSE), so every operation rounds.
#include <zentra/fft_spec32fc.h>

#include "fft_pass64f.h"

#include <xmmintrin.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <type_traits>

namespace zentra {

namespace {

using fft64::Cx;  // the complex value of the butterflies, shared with the double-precision passes

template <typename R>
Cx<R> Load(const float* data, std::int64_t i) {
  return {data[2 * i], data[2 * i + 1]};
}
template <typename R>
void Store(float* data, std::int64_t i, const Cx<R>& v) {
  data[2 * i] = static_cast<float>(v.re);
  data[2 * i + 1] = static_cast<float>(v.im);
}

// A value times the conjugate of a stored forward twiddle (c, s) = (cos t, -sin t).
template <typename R>
Cx<R> MulConj(const Cx<R>& x, float c, float s) {
  return {x.re * c + x.im * s, x.im * c - x.re * s};
}

// Values that build 1 parks in memory between stages are rounded to single.
template <typename R>
R Park(R v) {
  return static_cast<R>(static_cast<float>(v));
}
template <typename R>
Cx<R> Park(Cx<R> v) {
  return {Park(v.re), Park(v.im)};
}

// ---- Kernels of orders 0 to 3, for every layout (interleaved complex, split
// real and imaginary arrays, real samples with a packed spectrum), sense and
// normalisation. Each reads its whole input before it writes, so the
// destination may be the source. Only the inverse interleaved rows are
// reached (by the driver); the others complete the table.

constexpr float kHalfRoot2 = 0.70710677f;  // 1/sqrt(2) rounded to single
constexpr float kMinusHalfRoot2 = -0.70710677f;
constexpr float kRoot2 = 1.4142135f;       // sqrt(2) rounded to single
constexpr float kMinusRoot2 = -1.4142135f;

struct NoFactor {
  template <typename R>
  R operator()(R v) const { return v; }
  template <typename R>
  Cx<R> operator()(Cx<R> v) const { return v; }
};
struct Factor {
  float f;
  template <typename R>
  R operator()(R v) const { return v * f; }
  template <typename R>
  Cx<R> operator()(Cx<R> v) const { return {v.re * f, v.im * f}; }
};

// Where a complex kernel reads and writes: interleaved pairs or split arrays.
template <typename R>
struct InterleavedIo {
  const float* src;
  float* dst;
  Cx<R> In(int k) const { return Load<R>(src, k); }
  void Out(int k, const Cx<R>& v) const { Store<R>(dst, k, v); }
};
template <typename R>
struct SplitIo {
  const float *srcRe, *srcIm;
  float *dstRe, *dstIm;
  Cx<R> In(int k) const { return {srcRe[k], srcIm[k]}; }
  void Out(int k, const Cx<R>& v) const { dstRe[k] = static_cast<float>(v.re), dstIm[k] = static_cast<float>(v.im); }
};

// i * v for the inverse sense, -i * v for the forward one.
template <bool Inverse, typename R>
Cx<R> Turn(const Cx<R>& v) {
  return Inverse ? Cx<R>{-v.im, v.re} : Cx<R>{v.im, -v.re};
}

template <typename R, typename Io>
void Kernel1(const Io& io, float factor) {
  io.Out(0, Factor{factor}(io.In(0)));
}

template <typename R, typename Io, typename Scale>
void Kernel2(const Io& io, Scale scale) {
  const Cx<R> x0 = io.In(0), x1 = io.In(1);
  const Cx<R> a = scale(x0 + x1), b = scale(x0 - x1);
  io.Out(0, a);
  io.Out(1, b);
}

template <bool Inverse, typename R, typename Io, typename Scale>
void Kernel4(const Io& io, Scale scale) {
  Cx<R> x[4];
  for (int k = 0; k < 4; ++k) x[k] = io.In(k);
  const Cx<R> p0 = scale(x[0] + x[2]), q0 = scale(x[0] - x[2]);
  const Cx<R> p1 = scale(x[1] + x[3]), q1 = scale(x[1] - x[3]);
  io.Out(0, p0 + p1);
  io.Out(2, p0 - p1);
  io.Out(1, q0 + Turn<Inverse>(q1));
  io.Out(3, q0 - Turn<Inverse>(q1));
}

// Build 1 parks E_0.im, O_0.re, E_1..E_3, O_2 and O_3 in memory (rounded to
// single) before the join.
template <bool Inverse, typename R, typename Io, typename Scale>
void Kernel8(const Io& io, Scale scale) {
  Cx<R> p[4], q[4];
  {
    Cx<R> x[8];
    for (int k = 0; k < 8; ++k) x[k] = io.In(k);
    for (int k = 0; k < 4; ++k) p[k] = scale(x[k] + x[k + 4]), q[k] = scale(x[k] - x[k + 4]);
  }
  Cx<R> e0 = p[0] + p[2], o0 = p[1] + p[3];
  e0.im = Park(e0.im);
  o0.re = Park(o0.re);
  const Cx<R> e2 = Park(p[0] - p[2]), o2 = Park(p[1] - p[3]);
  const Cx<R> e1 = Park(q[0] + Turn<Inverse>(q[2])), e3 = Park(q[0] - Turn<Inverse>(q[2]));
  const Cx<R> o1 = q[1] + Turn<Inverse>(q[3]), o3 = Park(q[1] - Turn<Inverse>(q[3]));
  // o1 turned by e^(+-i pi/4), o3 by e^(+-3i pi/4): two products each.
  const Cx<R> t1 = Inverse ? Cx<R>{kHalfRoot2 * (o1.re - o1.im), kHalfRoot2 * (o1.im + o1.re)}
                           : Cx<R>{kHalfRoot2 * (o1.re + o1.im), kHalfRoot2 * (o1.im - o1.re)};
  const Cx<R> t3 = Inverse ? Cx<R>{kMinusHalfRoot2 * (o3.re + o3.im), kMinusHalfRoot2 * (o3.im - o3.re)}
                           : Cx<R>{kMinusHalfRoot2 * (o3.re - o3.im), kMinusHalfRoot2 * (o3.im + o3.re)};
  io.Out(0, e0 + o0);
  io.Out(4, e0 - o0);
  io.Out(2, e2 + Turn<Inverse>(o2));
  io.Out(6, e2 - Turn<Inverse>(o2));
  io.Out(1, e1 + t1);
  io.Out(5, e1 - t1);
  io.Out(3, e3 + t3);
  io.Out(7, e3 - t3);
}

// Real samples to the packed spectrum (R_0, R_N/2, Re X_1, Im X_1, ...), and back.
template <typename R, typename Scale>
void RealForward4(const float* x, float* y, Scale s) {
  const R a = s(R(x[0]) + x[2]), b = s(R(x[3]) + x[1]), c = s(R(x[0]) - x[2]), d = s(R(x[3]) - x[1]);
  y[0] = static_cast<float>(a + b), y[1] = static_cast<float>(a - b);
  y[2] = static_cast<float>(c), y[3] = static_cast<float>(d);
}
template <typename R, typename Scale>
void RealInverse4(const float* x, float* y, Scale s) {
  const R u = s(R(x[0]) + x[1]), v = s(R(x[0]) - x[1]), a = s(R(x[2]) + x[2]), b = s(R(x[3]) + x[3]);
  y[0] = static_cast<float>(u + a), y[1] = static_cast<float>(v - b);
  y[2] = static_cast<float>(u - a), y[3] = static_cast<float>(v + b);
}
template <typename R, typename Scale>
void RealForward8(const float* x, float* y, Scale s) {
  R p[4], q[4];
  for (int k = 0; k < 4; ++k) p[k] = s(R(x[k]) + x[k + 4]), q[k] = s(R(x[k]) - x[k + 4]);
  const R e = p[0] + p[2], o = p[1] + p[3], m = kHalfRoot2 * (q[1] - q[3]), n = kMinusHalfRoot2 * (q[1] + q[3]);
  const R out[8] = {e + o, e - o, q[0] + m, n - q[2], p[0] - p[2], p[3] - p[1], q[0] - m, q[2] + n};
  for (int k = 0; k < 8; ++k) y[k] = static_cast<float>(out[k]);
}
template <typename R, typename Scale>
void RealInverse8(const float* x, float* y, Scale s) {
  const R u = s(R(x[0]) + x[1]), v = s(R(x[0]) - x[1]), A = s(R(x[4]) + x[4]), B = s(R(x[5]) + x[5]);
  const R P = s(R(x[2]) + x[6]), Q = s(R(x[2]) - x[6]), S = s(R(x[3]) + x[7]), T = s(R(x[3]) - x[7]);
  const R m = kRoot2 * (Q - S), n = kMinusRoot2 * (Q + S);
  const R out[8] = {(u + A) + (P + P), (v - B) + m, (u - A) - (T + T), (v + B) + n,
                    (u + A) - (P + P), (v - B) - m, (u - A) + (T + T), (v + B) - n};
  for (int k = 0; k < 8; ++k) y[k] = static_cast<float>(out[k]);
}

// The kernels of one arithmetic (R = long double: build 1's x87 registers,
// rounded on store; float: builds 2 to 4, every operation rounded).
template <typename R>
struct Kernels {
  template <int Order, bool Inverse>
  static void Plain(const float* s, float* d) {
    const InterleavedIo<R> io{s, d};
    if constexpr (Order == 0) std::memmove(d, s, 8);  // two words, no arithmetic
    else if constexpr (Order == 1) Kernel2<float>(InterleavedIo<float>{s, d}, NoFactor{});
    else if constexpr (Order == 2) Kernel4<Inverse, R>(io, NoFactor{});
    else Kernel8<Inverse, R>(io, NoFactor{});
  }
  template <int Order, bool Inverse>
  static void Scaled(const float* s, float* d, float f) {
    const InterleavedIo<R> io{s, d};
    if constexpr (Order == 0) Kernel1<R>(io, f);
    else if constexpr (Order == 1) Kernel2<R>(io, Factor{f});
    else if constexpr (Order == 2) Kernel4<Inverse, R>(io, Factor{f});
    else Kernel8<Inverse, R>(io, Factor{f});
  }
  template <int Order, bool Inverse>
  static void SplitPlain(const float* sr, const float* si, float* dr, float* di) {
    const SplitIo<R> io{sr, si, dr, di};
    if constexpr (Order == 0) std::memmove(dr, sr, 4), std::memmove(di, si, 4);
    else if constexpr (Order == 1) Kernel2<float>(SplitIo<float>{sr, si, dr, di}, NoFactor{});
    else if constexpr (Order == 2) Kernel4<Inverse, R>(io, NoFactor{});
    else Kernel8<Inverse, R>(io, NoFactor{});
  }
  template <int Order, bool Inverse>
  static void SplitScaled(const float* sr, const float* si, float* dr, float* di, float f) {
    const SplitIo<R> io{sr, si, dr, di};
    if constexpr (Order == 0) Kernel1<R>(io, f);
    else if constexpr (Order == 1) Kernel2<R>(io, Factor{f});
    else if constexpr (Order == 2) Kernel4<Inverse, R>(io, Factor{f});
    else Kernel8<Inverse, R>(io, Factor{f});
  }
  template <int Order, bool Inverse, typename Scale>
  static void Real(const float* s, float* d, Scale scale) {
    if constexpr (Order == 0) {
      d[0] = static_cast<float>(scale(R(s[0])));
    } else if constexpr (Order == 1) {
      const R a = scale(R(s[0]) + s[1]), b = scale(R(s[0]) - s[1]);
      d[0] = static_cast<float>(a), d[1] = static_cast<float>(b);
    } else if constexpr (Order == 2) {
      if constexpr (Inverse) RealInverse4<R>(s, d, scale);
      else RealForward4<R>(s, d, scale);
    } else if constexpr (Inverse) {
      RealInverse8<R>(s, d, scale);
    } else {
      RealForward8<R>(s, d, scale);
    }
  }
  template <int Order, bool Inverse>
  static void RealPlain(const float* s, float* d) {
    if constexpr (Order == 0) std::memmove(d, s, 4);
    else Real<Order, Inverse>(s, d, NoFactor{});
  }
  template <int Order, bool Inverse>
  static void RealScaled(const float* s, float* d, float f) { Real<Order, Inverse>(s, d, Factor{f}); }
};

template <typename R>
constexpr SmallKernelTable32f KernelTable() {
  using K = Kernels<R>;
  // One and two points: the forward and inverse transforms coincide, so both
  // senses share one kernel.
#define ZENTRA_ROW(fn, inv) {&K::template fn<0, true>, &K::template fn<1, true>, &K::template fn<2, inv>, &K::template fn<3, inv>}
  return {ZENTRA_ROW(Scaled, true),      ZENTRA_ROW(Plain, true),        kDataMarker,
          ZENTRA_ROW(Plain, false),      ZENTRA_ROW(Scaled, false),      ZENTRA_ROW(SplitPlain, false),
          ZENTRA_ROW(SplitScaled, false), ZENTRA_ROW(SplitPlain, true),  ZENTRA_ROW(SplitScaled, true),
          ZENTRA_ROW(RealPlain, false),  ZENTRA_ROW(RealScaled, false),  ZENTRA_ROW(RealPlain, true),
          ZENTRA_ROW(RealScaled, true)};
#undef ZENTRA_ROW
}

// The tables of builds 4, 3, 2 and 1 in one block of static data, with
// markers around them.
struct KernelTableBlock {
  DataMarker before;
  SmallKernelTable32f v4;
  SmallKernelTable32f v3;
  SmallKernelTable32f v2;
  SmallKernelTable32f v1;
  DataMarker after;
  DataMarker closing;
};
const KernelTableBlock kKernelTables = {kDataMarker,          KernelTable<float>(), KernelTable<float>(),
                                        KernelTable<float>(), KernelTable<long double>(), kDataMarker, kDataMarker};

// ---- Radix-4 pass.

// Butterfly over p, p + q, p + 2q, p + 3q: with bit-reversed input the quarters
// hold the sub-transforms of the residues 0, 2, 1, 3, so the second quarter
// takes the double angle and the third the single one.
template <typename R>
inline void Butterfly4(float* x, std::int64_t p, std::int64_t q, const float* w) {
  Cx<R> a0 = Load<R>(x, p), a1 = Load<R>(x, p + q), a2 = Load<R>(x, p + 2 * q), a3 = Load<R>(x, p + 3 * q);
  if (w != nullptr) {
    a1 = MulConj(a1, w[2], w[3]);
    a2 = MulConj(a2, w[0], w[1]);
    a3 = MulConj(a3, w[4], w[5]);
  }
  const Cx<R> s01 = a0 + a1, d01 = a0 - a1, s23 = a2 + a3, d23 = (a2 - a3).TimesI();
  Store<R>(x, p, s01 + s23);
  Store<R>(x, p + 2 * q, s01 - s23);
  Store<R>(x, p + q, d01 + d23);
  Store<R>(x, p + 3 * q, d01 - d23);
}

template <typename R>
void Radix4Stage(float* x, std::int64_t points, std::int64_t length, const float* table) {
  const std::int64_t q = length / 4, stride = points / length;
  for (std::int64_t base = 0; base < points; base += length) {
    Butterfly4<R>(x, base, q, nullptr);
    for (std::int64_t j = 1; j < q; ++j) Butterfly4<R>(x, base + j, q, table + 6 * j * stride);
  }
}

// Radix-2 stage of length 8; its factors are 1, e^(i pi/4), i, e^(3i pi/4),
// the odd ones from the table entry at t = pi/4.
template <typename R>
void Radix2Stage8(float* x, std::int64_t points, const float* table) {
  const float c = table[6 * (points / 8)], s = table[6 * (points / 8) + 1];
  for (std::int64_t base = 0; base < points; base += 8) {
    for (int j = 0; j < 4; ++j) {
      const Cx<R> u = Load<R>(x, base + j), b = Load<R>(x, base + j + 4);
      Cx<R> v = b;
      if (j == 1) v = {c * (b.re - b.im), c * (b.re + b.im)};
      else if (j == 2) v = b.TimesI();
      else if (j == 3) v = {s * (b.re + b.im), s * (b.im - b.re)};
      Store<R>(x, base + j, u + v);
      Store<R>(x, base + j + 4, u - v);
    }
  }
}

template <typename R>
void Radix4Pass(float* data, std::int32_t points, const float* twiddles) {
  if (points < 4) return;
  Radix4Stage<R>(data, points, 4, twiddles);
  std::int64_t length = 16;
  if ((__builtin_ctz(static_cast<unsigned>(points)) & 1) != 0) {
    if (points >= 8) Radix2Stage8<R>(data, points, twiddles);
    length = 32;
  }
  for (; length <= points; length *= 4) Radix4Stage<R>(data, points, length, twiddles);
}

// Four lanes of single precision, every operation rounded: the radix passes
// of all builds run four adjacent butterflies per step in the split-four
// arrangement (each group of four values as four real parts, then four
// imaginary parts).
struct F4 {
  __m128 v;
  static F4 Load(const float* p) { return {_mm_loadu_ps(p)}; }
  static F4 Of(__m128 f) { return {f}; }
  __m128 Float() const { return v; }
  void Store(float* p) const { _mm_storeu_ps(p, v); }
  F4 operator+(F4 o) const { return {_mm_add_ps(v, o.v)}; }
  F4 operator-(F4 o) const { return {_mm_sub_ps(v, o.v)}; }
  F4 operator*(F4 o) const { return {_mm_mul_ps(v, o.v)}; }
};

template <typename V>
struct Quad {
  V re, im;
  static Quad Load(const float* x, std::int64_t i) { return {V::Load(x + 2 * i), V::Load(x + 2 * i + 4)}; }
  void Store(float* x, std::int64_t i) const { re.Store(x + 2 * i), im.Store(x + 2 * i + 4); }
  Quad operator+(const Quad& o) const { return {re + o.re, im + o.im}; }
  Quad operator-(const Quad& o) const { return {re - o.re, im - o.im}; }
  Quad TimesI() const { return {V{} - im, re}; }
  // this + i*d and this - i*d, without forming i*d.
  Quad PlusI(const Quad& d) const { return {re - d.im, im + d.re}; }
  Quad MinusI(const Quad& d) const { return {re + d.im, im - d.re}; }
  // Times the conjugates of four stored twiddles (c, s).
  Quad MulConj(V c, V s) const { return {re * c + im * s, im * c - re * s}; }
};

void FromSplitFour(const float* x, std::int64_t points, float* out) {
  for (std::int64_t i = 0; i < points; i += 4) {
    const __m128 re = _mm_loadu_ps(x + 2 * i), im = _mm_loadu_ps(x + 2 * i + 4);
    _mm_storeu_ps(out + 2 * i, _mm_unpacklo_ps(re, im));
    _mm_storeu_ps(out + 2 * i + 4, _mm_unpackhi_ps(re, im));
  }
}
void FromSplitFour(float* x, std::int64_t points) { FromSplitFour(x, points, x); }

void ToSplitFour(float* x, std::int64_t points) {
  for (std::int64_t i = 0; i < points; i += 4) {
    const __m128 a = _mm_loadu_ps(x + 2 * i), b = _mm_loadu_ps(x + 2 * i + 4);
    _mm_storeu_ps(x + 2 * i, _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    _mm_storeu_ps(x + 2 * i + 4, _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
  }
}

// Twiddles of four adjacent butterflies: gathered from build 1's single table
// (entries `stride` apart), or one aligned load from a stage block.
// Six(j, w) fills the six factor vectors (cos t, -sin t, cos 2t, -sin 2t,
// cos 3t, -sin 3t) of butterflies j..j+3.
struct StridedTwiddles {
  const float* table;
  std::int64_t stride;
  void Six(std::int64_t j, __m128* w) const {
    const float* e = table + 6 * j * stride;
    const std::int64_t d = 6 * stride;
    w[0] = _mm_loadu_ps(e), w[1] = _mm_loadu_ps(e + d), w[2] = _mm_loadu_ps(e + 2 * d), w[3] = _mm_loadu_ps(e + 3 * d);
    _MM_TRANSPOSE4_PS(w[0], w[1], w[2], w[3]);
    const auto pair = [](const float* p) { return reinterpret_cast<const __m64*>(p); };
    const __m128 a = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), pair(e + 4)), pair(e + d + 4));
    const __m128 b = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), pair(e + 2 * d + 4)), pair(e + 3 * d + 4));
    w[4] = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    w[5] = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
  }
};
struct StageTwiddles {
  const float* block;
  void Six(std::int64_t j, __m128* w) const {
    for (int k = 0; k < 6; ++k) w[k] = _mm_load_ps(block + 6 * j + 4 * k);
  }
};

// The last stage writes interleaved pairs directly instead of a separate
// conversion sweep.
template <typename V>
void StoreInterleaved(const Quad<V>& v, float* x, std::int64_t i) {
  const __m128 re = v.re.Float(), im = v.im.Float();
  _mm_storeu_ps(x + 2 * i, _mm_unpacklo_ps(re, im));
  _mm_storeu_ps(x + 2 * i + 4, _mm_unpackhi_ps(re, im));
}

// One radix-4 butterfly on four quads: the last three times the conjugates of
// their factors (w as filled by Six), the results in position order.
template <typename V>
inline void Butterfly4Quads(const Quad<V>* a, const V* w, Quad<V>* y) {
  const Quad<V> a1 = a[1].MulConj(w[2], w[3]), a2 = a[2].MulConj(w[0], w[1]), a3 = a[3].MulConj(w[4], w[5]);
  const Quad<V> s01 = a[0] + a1, d01 = a[0] - a1, s23 = a2 + a3, e23 = a2 - a3;
  y[0] = s01 + s23, y[1] = d01.PlusI(e23), y[2] = s01 - s23, y[3] = d01.MinusI(e23);
}

// The last stage may write its interleaved result to another array `out`.
template <typename V, bool Last = false, typename Twiddles>
void Radix4StageQuads(float* x, std::int64_t points, std::int64_t length, const Twiddles& tw, float* out = nullptr) {
  const std::int64_t q = length / 4;
  // Butterflies j..j+3 of every block share their factors, which are fetched
  // once for all blocks (the blocks of one pass lie in cache).
  for (std::int64_t j = 0; j < q; j += 4) {
    __m128 f[6];
    tw.Six(j, f);
    const V w[6] = {V::Of(f[0]), V::Of(f[1]), V::Of(f[2]), V::Of(f[3]), V::Of(f[4]), V::Of(f[5])};
    for (std::int64_t base = 0; base < points; base += length) {
      const std::int64_t p = base + j;
      Quad<V> a[4], y[4];
      for (int k = 0; k < 4; ++k) a[k] = Quad<V>::Load(x, p + k * q);
      Butterfly4Quads(a, w, y);
      for (int k = 0; k < 4; ++k) {
        if constexpr (Last) StoreInterleaved(y[k], out, p + k * q);
        else y[k].Store(x, p + k * q);
      }
    }
  }
}

// Stages `length` and 4 `length` in one sweep, every value of a 4-`length`
// block passing both while held: the same butterflies as two calls of
// Radix4StageQuads, with one load and store of each value instead of two.
template <typename Twiddles>
void Radix4TwoStagesQuads(float* x, std::int64_t points, std::int64_t length, const Twiddles& first,
                          const Twiddles& second) {
  using Q = Quad<F4>;
  const std::int64_t q = length / 4;
  for (std::int64_t j = 0; j < q; j += 4) {
    __m128 f[6];
    first.Six(j, f);
    const F4 w[6] = {F4::Of(f[0]), F4::Of(f[1]), F4::Of(f[2]), F4::Of(f[3]), F4::Of(f[4]), F4::Of(f[5])};
    for (std::int64_t base = 0; base < points; base += 4 * length) {
      // y[n][m]: output m of the first-stage butterfly of sub-block n.
      Q y[4][4];
      for (int n = 0; n < 4; ++n) {
        Q a[4];
        for (int k = 0; k < 4; ++k) a[k] = Q::Load(x, base + n * length + j + k * q);
        Butterfly4Quads(a, w, y[n]);
      }
      for (int m = 0; m < 4; ++m) {
        __m128 g[6];
        second.Six(j + m * q, g);
        const F4 v[6] = {F4::Of(g[0]), F4::Of(g[1]), F4::Of(g[2]), F4::Of(g[3]), F4::Of(g[4]), F4::Of(g[5])};
        const Q a[4] = {y[0][m], y[1][m], y[2][m], y[3][m]};
        Q z[4];
        Butterfly4Quads(a, v, z);
        for (int k = 0; k < 4; ++k) z[k].Store(x, base + j + m * q + k * length);
      }
    }
  }
}

// Builds 2 to 4 with the stage-layout table. Stage 8 takes its factors from
// constants (cos, -sin at j pi/4 for j = 0..3) by full complex products;
// stage 16 reads the first block.
constexpr float kStage8Root = 0.70710683f;  // one unit above the table's 1/sqrt(2)
alignas(16) constexpr float kStage8Cos[4] = {1.0f, kStage8Root, 0.0f, -kStage8Root};
alignas(16) constexpr float kStage8Sin[4] = {0.0f, -kStage8Root, -1.0f, -kStage8Root};

// Stage-8 factors of builds 2 to 4 as twiddle lanes.
struct Stage8Constants {
  void Six(std::int64_t, __m128* w) const {
    w[0] = _mm_load_ps(kStage8Cos), w[1] = _mm_load_ps(kStage8Sin);
    for (int k = 2; k < 6; ++k) w[k] = _mm_setzero_ps();
  }
};

// Stage 4 inside each group of four, lane by group (re[k], im[k] lane g hold
// value k of group g); the results, rounded to single as every stored value
// is, are turned so that re[g], im[g] lane j hold output j of group g.
inline void Stage4Turned(__m128* re, __m128* im) {
  using Q = Quad<F4>;
  Q q[4];
  for (int g = 0; g < 4; ++g) q[g] = {F4::Of(re[g]), F4::Of(im[g])};
  const Q s01 = q[0] + q[1], d01 = q[0] - q[1], s23 = q[2] + q[3], e23 = q[2] - q[3];
  const Q y[4] = {s01 + s23, d01.PlusI(e23), s01 - s23, d01.MinusI(e23)};
  for (int g = 0; g < 4; ++g) re[g] = y[g].re.Float(), im[g] = y[g].im.Float();
  _MM_TRANSPOSE4_PS(re[0], re[1], re[2], re[3]);
  _MM_TRANSPOSE4_PS(im[0], im[1], im[2], im[3]);
}

// Four registers of two values each (re, im, re, im) to the lanes of both
// values: re[0], im[0] from the first values, re[1], im[1] from the second.
inline void PairLanes(const __m128* v, __m128* re, __m128* im) {
  const __m128 lo01 = _mm_unpacklo_ps(v[0], v[1]), lo23 = _mm_unpacklo_ps(v[2], v[3]);
  const __m128 hi01 = _mm_unpackhi_ps(v[0], v[1]), hi23 = _mm_unpackhi_ps(v[2], v[3]);
  re[0] = _mm_movelh_ps(lo01, lo23), im[0] = _mm_movehl_ps(lo23, lo01);
  re[1] = _mm_movelh_ps(hi01, hi23), im[1] = _mm_movehl_ps(hi23, hi01);
}

// The sixteen-value blocks of bit-reversed data after stage 4: ForEach hands
// every block to `block` with its first position, re[g], im[g] lane j holding
// output j of group g.
// From consecutive groups: the low and high halves of the groups' first and
// second pairs are unpacked into lanes.
struct ConsecutiveGroups {
  const float* data;
  template <typename Block>
  void ForEach(std::int64_t points, Block&& block) const {
    for (std::int64_t base = 0; base < points; base += 16) {
      __m128 a[4], b[4], re[4], im[4];
      for (int g = 0; g < 4; ++g) a[g] = _mm_loadu_ps(data + 2 * (base + 4 * g)), b[g] = _mm_loadu_ps(data + 2 * (base + 4 * g) + 4);
      PairLanes(a, re, im);
      PairLanes(b, re + 2, im + 2);
      Stage4Turned(re, im);
      block(re, im, base);
    }
  }
};

// ...or gathered from natural-order data through the index table: group g of
// the bit-reversed order is src[b], src[b + N/2], src[b + N/4], src[b + 3N/4]
// with 2b its table entry, so no separate permutation sweep is needed. For
// g < N/8, b is even and src[b + 1] is the same value of group g + N/8, so
// blocks B and B + N/32 are gathered together by 16-byte loads; stage 4 runs
// on those pairs as loaded (a pair's values never meet), so that one unpack
// into lanes gives the turned results of both groups.
struct ReversedGroups {
  const float* src;
  const std::int32_t* index;
  template <typename Block>
  void ForEach(std::int64_t points, Block&& block) const {
    const std::int64_t offset[4] = {0, points / 2, points / 4, 3 * (points / 4)};
    if (points < 32) {
      __m128 re[4], im[4];
      for (int k = 0; k < 4; ++k) {
        auto at = [&](int g) { return reinterpret_cast<const __m64*>(src + index[g] + 2 * offset[k]); };
        const __m128 a = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), at(0)), at(1));
        const __m128 b = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), at(2)), at(3));
        re[k] = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        im[k] = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
      }
      Stage4Turned(re, im);
      block(re, im, 0);
      return;
    }
    // d + i*e and d - i*e as d plus and minus (e turned, its new real part
    // negated): x + (-y) is x - y exactly, so the results are those of PlusI, MinusI.
    const __m128 realSign = _mm_setr_ps(-0.0f, 0.0f, -0.0f, 0.0f);
    const std::int64_t partner = points / 2;  // first position of block B + N/32
    for (std::int64_t base = 0; base < partner; base += 16) {
      const std::int32_t* entry = index + base / 4;
      __m128 re[4], im[4], re2[4], im2[4];
      for (int g = 0; g < 4; ++g) {
        const float* at = src + entry[g];
        const __m128 v0 = _mm_loadu_ps(at + 2 * offset[0]), v1 = _mm_loadu_ps(at + 2 * offset[1]);
        const __m128 v2 = _mm_loadu_ps(at + 2 * offset[2]), v3 = _mm_loadu_ps(at + 2 * offset[3]);
        const __m128 s01 = _mm_add_ps(v0, v1), d01 = _mm_sub_ps(v0, v1);
        const __m128 s23 = _mm_add_ps(v2, v3), e23 = _mm_sub_ps(v2, v3);
        const __m128 turned = _mm_xor_ps(_mm_shuffle_ps(e23, e23, _MM_SHUFFLE(2, 3, 0, 1)), realSign);
        const __m128 y[4] = {_mm_add_ps(s01, s23), _mm_add_ps(d01, turned), _mm_sub_ps(s01, s23),
                             _mm_sub_ps(d01, turned)};
        __m128 r[2], i[2];
        PairLanes(y, r, i);
        re[g] = r[0], im[g] = i[0], re2[g] = r[1], im2[g] = i[1];
      }
      block(re, im, base);
      block(re2, im2, base + partner);
    }
  }
};

// First sweep over sixteen values at a time: bit-reversed values in, split-four
// out (into `out`). Stage 4 works inside each group of four, lane by group;
// its results (rounded to single, as every stored value is) are transposed so
// that stage 16 (even orders) or the two stage-8 blocks (odd orders) work lane
// by lane with the factors of butterflies 0..3 from `tw`.
template <typename V, typename Loader, typename Twiddles>
void FirstSweepQuads(const Loader& in, float* out, std::int64_t points, bool odd, const Twiddles& tw) {
  using Q = Quad<V>;
  // Every block of sixteen uses the same factors.
  __m128 f[6];
  tw.Six(0, f);
  const V tws[6] = {V::Of(f[0]), V::Of(f[1]), V::Of(f[2]), V::Of(f[3]), V::Of(f[4]), V::Of(f[5])};
  auto w = [&](int k) { return tws[k]; };
  in.ForEach(points, [&](const __m128* re, const __m128* im, std::int64_t base) {
    Q v[4];
    for (int g = 0; g < 4; ++g) v[g] = {V::Of(re[g]), V::Of(im[g])};
    Q o[4];
    if (odd) {
      for (int h = 0; h < 4; h += 2) {
        const Q t = v[h + 1].MulConj(w(0), w(1));
        o[h] = v[h] + t;
        o[h + 1] = v[h] - t;
      }
    } else {
      Butterfly4Quads(v, tws, o);
    }
    for (int g = 0; g < 4; ++g) o[g].Store(out, base + 4 * g);
  });
}

// Stage-8 factors of build 1 (angles 0, pi/4, pi/2, 3pi/4) from its table,
// which only reaches pi/2: the last is (-cos, -sin) of pi/4 turned, that is
// both parts equal to the stored -sin pi/4.
struct Stage8FromTable {
  const float* table;
  std::int64_t points;
  void Six(std::int64_t, __m128* w) const {
    const float* e8 = table + 6 * (points / 8);
    const float* e4 = table + 6 * (points / 4);
    for (int k = 0; k < 2; ++k) w[k] = _mm_setr_ps(table[k], e8[k], e4[k], e8[1]);
    for (int k = 2; k < 6; ++k) w[k] = _mm_setzero_ps();
  }
};

// Build 1 with its single table, four lanes wide. Inside a butterfly it holds
// single-precision values, as the SSE builds do; every stored value is single.
void Radix4PassWide(float* data, std::int32_t points, const float* twiddles) {
  if (points < 16) {
    Radix4Pass<double>(data, points, twiddles);
    return;
  }
  const bool odd = (__builtin_ctz(static_cast<unsigned>(points)) & 1) != 0;
  const ConsecutiveGroups in{data};
  if (odd) FirstSweepQuads<F4>(in, data, points, true, Stage8FromTable{twiddles, points});
  else FirstSweepQuads<F4>(in, data, points, false, StridedTwiddles{twiddles, points / 16});
  std::int64_t length = odd ? 32 : 64;
  if (length > points) {
    FromSplitFour(data, points);
    return;
  }
  for (; length < points; length *= 4)
    Radix4StageQuads<F4>(data, points, length, StridedTwiddles{twiddles, points / length});
  Radix4StageQuads<F4, true>(data, points, length, StridedTwiddles{twiddles, 1}, data);
}

// Builds 2 to 4: the first sweep from `in` into `area`, the later stages in
// `area`; the result ends in `out` interleaved, or stays split-four in `area`
// (out null).
template <typename Loader>
void StagesQuads(const Loader& in, float* area, float* out, std::int64_t points, const float* stages) {
  const bool odd = (__builtin_ctz(static_cast<unsigned>(points)) & 1) != 0;
  if (odd) FirstSweepQuads<F4>(in, area, points, true, Stage8Constants{});
  else FirstSweepQuads<F4>(in, area, points, false, StageTwiddles{stages});
  std::int64_t length = odd ? 32 : 64;
  if (!odd) stages += 24;
  if (length > points) {
    if (out != nullptr) FromSplitFour(area, points, out);
    return;
  }
  for (; 16 * length <= points; length *= 16) {
    const float* next = stages + 6 * (length / 4);
    Radix4TwoStagesQuads(area, points, length, StageTwiddles{stages}, StageTwiddles{next});
    stages = next + 6 * length;
  }
  for (; length < points; length *= 4) {
    Radix4StageQuads<F4>(area, points, length, StageTwiddles{stages});
    stages += 6 * (length / 4);
  }
  if (out != nullptr) Radix4StageQuads<F4, true>(area, points, length, StageTwiddles{stages}, out);
  else Radix4StageQuads<F4>(area, points, length, StageTwiddles{stages});
}

// In place; the four lanes load and store unaligned data directly, so the
// work buffer is never needed.
void Radix4PassQuads(float* data, std::int32_t points, const float* stages, bool interleaved) {
  if (points < 4) return;
  if (points < 16) {  // 8-point columns of builds 3 and 4
    Radix4Stage<float>(data, points, 4, nullptr);
    if (points == 8)
      for (int j = 0; j < 4; ++j) {
        const Cx<float> u = Load<float>(data, j), v = MulConj(Load<float>(data, j + 4), kStage8Cos[j], kStage8Sin[j]);
        Store<float>(data, j, u + v);
        Store<float>(data, j + 4, u - v);
      }
    if (!interleaved) ToSplitFour(data, points);
    return;
  }
  StagesQuads(ConsecutiveGroups{data}, data, interleaved ? data : nullptr, points, stages);
}

template <typename R>
void LeafPass(float* data, std::int32_t points, const float* twiddles) {
  if constexpr (!std::is_same_v<R, float>) Radix4PassWide(data, points, twiddles);
  else Radix4PassQuads(data, points, twiddles, true);
}

// ---- Large orders.

void ColumnsOfBuild1(float* work, std::int64_t rows, const float* table);

template <typename R>
struct Large {
  static void Scale(const FftSpec32fc* record, float* data, std::int64_t points);

  // Radix-2 joins of total/length adjacent transformed blocks into one
  // transform; table is the first quadrant of the twiddles of `total`. Works
  // through each pair of blocks in chunks of 128 values.
  static void CombinePass(float* x, std::int64_t total, std::int64_t length, const float* table) {
    constexpr std::int64_t chunk = 128;
    for (std::int64_t blocks = total / length; blocks > 1; blocks /= 2, length *= 2) {
      const std::int64_t stride = blocks / 2, pairs = blocks / 2, half = length / 2;
      for (std::int64_t i = 0; i * chunk < half; ++i)
        for (std::int64_t p = 0; p < pairs; ++p) {
          const std::int64_t base = 2 * p * length;
          for (std::int64_t k = i * chunk; k < (i + 1) * chunk && k < half; ++k) {
            const float* w = table + 2 * k * stride;
            const std::int64_t lo = base + k, hi = base + k + half;
            const Cx<R> t0 = MulConj(Load<R>(x, lo + length), w[0], w[1]);
            const Cx<R> u0 = Load<R>(x, lo);
            Store<R>(x, lo, u0 + t0);
            Store<R>(x, lo + length, u0 - t0);
            const Cx<R> t1 = MulConj(Load<R>(x, hi + length), w[0], w[1]).TimesI();
            const Cx<R> u1 = Load<R>(x, hi);
            Store<R>(x, hi, u1 + t1);
            Store<R>(x, hi + length, u1 - t1);
          }
        }
    }
  }

  // 1024-point leaves from the last to the first, each scaled, then the joins.
  static void Blocked(const FftSpec32fc* record, float* row, std::int64_t points) {
    for (std::int64_t start = points - 1024; start >= 0; start -= 1024) {
      LeafPass<R>(row + 2 * start, 1024, record->radixTwiddles);
      Scale(record, row + 2 * start, 1024);
    }
    CombinePass(row, points, 1024, record->blockTwiddles);
  }

  // A level of 2^order values as 2^m rows of 2^n: rows first, then the columns
  // four at a time through work, each twiddled as it is gathered.
  static void FourStep(const FftSpec32fc* record, float* data, std::int32_t order, std::int32_t depth,
                       float* work) {
    const std::int32_t m = PlanSplitTable32fc_V12[order], n = order - m;
    const std::int64_t rows = std::int64_t{1} << m, columns = std::int64_t{1} << n;
    for (std::int64_t r = 0; r < rows; ++r) {
      float* row = data + 2 * r * columns;
      if (n <= 10) {
        LeafPass<R>(row, static_cast<std::int32_t>(columns), record->radixTwiddles);
        Scale(record, row, columns);
      } else if (PlanSplitTable32fc_V12[n] != 0 && depth + 1 < FftLevelSlots) {  // plans hold three levels at most
        FourStep(record, row, n, depth + 1, work);
      } else {
        Blocked(record, row, columns);
      }
    }
    const float* w = record->levelCombineTwiddles[depth];
    for (std::int64_t k0 = 0; k0 < columns; k0 += 4, w += 8 * rows) {
      GatherInterleaved(data + 2 * k0, rows, columns, w, work);
      ColumnsOfBuild1(work, rows, record->levelTwiddles[depth]);
      for (std::int64_t r = 0; r < rows; ++r) {
        const __m128 re = _mm_load_ps(work + 8 * r), im = _mm_load_ps(work + 8 * r + 4);
        float* x = data + 2 * (r * columns + k0);
        _mm_storeu_ps(x, _mm_unpacklo_ps(re, im));
        _mm_storeu_ps(x + 4, _mm_unpackhi_ps(re, im));
      }
    }
  }

  // Row r's four values of the group, each times the conjugate of its factor
  // (interleaved pairs) in R, into work as four-lane values (lane j = column
  // j), rounded to single once.
  static void GatherInterleaved(const float* x, std::int64_t rows, std::int64_t columns, const float* w,
                                float* work) {
    for (std::int64_t r = 0; r < rows; ++r, x += 2 * columns, w += 8, work += 8) {
      for (int j = 0; j < 4; ++j) {
        const Cx<R> v = MulConj(Load<R>(x, j), w[2 * j], w[2 * j + 1]);
        work[j] = static_cast<float>(v.re);
        work[4 + j] = static_cast<float>(v.im);
      }
    }
  }

  static void Run(const FftSpec32fc* record, float* data, std::int32_t order, void* work) {
    if (PlanSplitTable32fc_V12[order] != 0) FourStep(record, data, order, 0, static_cast<float*>(work));
    else Blocked(record, data, std::int64_t{1} << order);
  }
};

}  // namespace

void FftScale32fc_V1(float factor, float* data, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) data[i] *= factor;
}

// Four products per SSE step; the same single roundings as build 1.
void FftScale32fc_V2(float factor, float* data, std::int32_t count) {
  const __m128 f = _mm_set1_ps(factor);
  std::int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    _mm_storeu_ps(data + i, _mm_mul_ps(_mm_loadu_ps(data + i), f));
    _mm_storeu_ps(data + i + 4, _mm_mul_ps(_mm_loadu_ps(data + i + 4), f));
  }
  for (; i < count; ++i) data[i] *= factor;
}
void FftScale32fc_V3(float factor, float* data, std::int32_t count) { FftScale32fc_V2(factor, data, count); }
void FftScale32fc_V4(float factor, float* data, std::int32_t count) { FftScale32fc_V2(factor, data, count); }

namespace {

template <typename R>
void Large<R>::Scale(const FftSpec32fc* record, float* data, std::int64_t points) {
  if (record->scaleInverse == 0) return;
  FftScale32fc_V1(record->scaleFactor, data, static_cast<std::int32_t>(2 * points));
}

void ScaleQuads(const FftSpec32fc* record, float* data, std::int64_t points) {
  if (record->scaleInverse != 0) FftScale32fc_V2(record->scaleFactor, data, static_cast<std::int32_t>(2 * points));
}

// ---- Large orders of builds 2 to 4, in the split-four arrangement: rows are
// left split-four by their passes, a column pass gathers one group of four
// columns per row as one four-lane value (lane j = column j) and transforms
// the four columns together, each lane doing exactly the operations of the
// radix-4 pass on one column.
using Q4 = Quad<F4>;

inline Q4 LoadQuad(const float* p) { return {F4::Load(p), F4::Load(p + 4)}; }
inline void StoreQuad(const Q4& v, float* p) { v.re.Store(p), v.im.Store(p + 4); }
inline F4 Lane(const float* p) { return F4::Of(_mm_set1_ps(*p)); }

// Butterfly over quads p, p + q, p + 2q, p + 3q (quad i at w + 8i) with the
// six factors of one table entry.
inline void QuadButterfly(float* w, std::int64_t p, std::int64_t q, const F4* f) {
  const Q4 a0 = LoadQuad(w + 8 * p);
  const Q4 a1 = LoadQuad(w + 8 * (p + q)).MulConj(f[2], f[3]);
  const Q4 a2 = LoadQuad(w + 8 * (p + 2 * q)).MulConj(f[0], f[1]);
  const Q4 a3 = LoadQuad(w + 8 * (p + 3 * q)).MulConj(f[4], f[5]);
  const Q4 s01 = a0 + a1, d01 = a0 - a1, s23 = a2 + a3, e23 = a2 - a3;
  StoreQuad(s01 + s23, w + 8 * p);
  StoreQuad(s01 - s23, w + 8 * (p + 2 * q));
  StoreQuad(d01.PlusI(e23), w + 8 * (p + q));
  StoreQuad(d01.MinusI(e23), w + 8 * (p + 3 * q));
}

// Four bit-reversed columns of `rows` points (rows >= 4) to natural order.
// The factors come from a stage-layout table, or (build 1, Strided) from one
// table whose stage of length L reads every rows/L-th entry.
// `spread`, when given, holds the factors of every butterfly of the stages from
// 16 or 32 on already as four equal lanes (24 floats per butterfly, in the
// order the stages use them), which spares short columns the broadcasts.
template <bool Strided>
void QuadColumns(float* w, std::int64_t rows, const float* table, const float* spread = nullptr) {
  for (std::int64_t b = 0; b < rows; b += 4) {
    const Q4 q0 = LoadQuad(w + 8 * b), q1 = LoadQuad(w + 8 * (b + 1));
    const Q4 q2 = LoadQuad(w + 8 * (b + 2)), q3 = LoadQuad(w + 8 * (b + 3));
    const Q4 s01 = q0 + q1, d01 = q0 - q1, s23 = q2 + q3, e23 = q2 - q3;
    StoreQuad(s01 + s23, w + 8 * b);
    StoreQuad(d01.PlusI(e23), w + 8 * (b + 1));
    StoreQuad(s01 - s23, w + 8 * (b + 2));
    StoreQuad(d01.MinusI(e23), w + 8 * (b + 3));
  }
  const bool odd = (__builtin_ctz(static_cast<unsigned>(rows)) & 1) != 0;
  std::int64_t length = 16;
  if (odd) {
    float cosines[4], sines[4];
    if constexpr (Strided) {
      const float* e8 = table + 6 * (rows / 8);
      const float* e4 = table + 6 * (rows / 4);
      const float c[4] = {table[0], e8[0], e4[0], e8[1]}, sn[4] = {table[1], e8[1], e4[1], e8[1]};
      std::memcpy(cosines, c, sizeof c), std::memcpy(sines, sn, sizeof sn);
    } else {
      std::memcpy(cosines, kStage8Cos, sizeof cosines), std::memcpy(sines, kStage8Sin, sizeof sines);
    }
    for (int j = 0; j < 4 && rows >= 8; ++j) {
      const F4 c = Lane(cosines + j), sn = Lane(sines + j);
      for (std::int64_t b = 0; b < rows; b += 8) {
        const Q4 u = LoadQuad(w + 8 * (b + j)), t = LoadQuad(w + 8 * (b + j + 4)).MulConj(c, sn);
        StoreQuad(u + t, w + 8 * (b + j));
        StoreQuad(u - t, w + 8 * (b + j + 4));
      }
    }
    length = 32;
  }
  const float* stages = table;
  for (; length <= rows; length *= 4) {
    const std::int64_t q = length / 4;
    for (std::int64_t j = 0; j < q; ++j) {
      F4 f[6];
      if (spread != nullptr) {
        for (int k = 0; k < 6; ++k) f[k] = F4::Of(_mm_load_ps(spread + 4 * k));
        spread += 24;
      } else {
        const float* e = Strided ? table + 6 * j * (rows / length) : stages + 24 * (j / 4) + j % 4;
        constexpr int k = Strided ? 1 : 4;
        for (int c = 0; c < 6; ++c) f[c] = Lane(e + c * k);
      }
      for (std::int64_t b = 0; b < rows; b += length) QuadButterfly(w, b + j, q, f);
    }
    stages += 6 * q;
  }
}

// Rows of the level's group of four columns, each times the conjugates of its
// four factors (four cosines, four negated sines), into the work quads.
void GatherColumns(const float* data, std::int64_t rows, std::int64_t columns, std::int64_t group,
                   const float* twiddles, float* work) {
  const float* x = data + 8 * group;
  for (std::int64_t r = 0; r < rows; ++r, x += 2 * columns, twiddles += 8, work += 8) {
    if (r + 4 < rows) _mm_prefetch(reinterpret_cast<const char*>(x + 8 * columns), _MM_HINT_NTA);
    StoreQuad(LoadQuad(x).MulConj(F4::Load(twiddles), F4::Load(twiddles + 4)), work);
  }
}

// The transformed quads back into their rows: interleaved pairs at the top
// level (the final result), split-four below it (what the parent gathers).
void ScatterColumns(const float* work, std::int64_t rows, std::int64_t columns, std::int64_t group, bool top,
                    float* data) {
  float* x = data + 8 * group;
  for (std::int64_t r = 0; r < rows; ++r, x += 2 * columns, work += 8) {
    const __m128 re = _mm_load_ps(work), im = _mm_load_ps(work + 4);
    if (top) {
      _mm_storeu_ps(x, _mm_unpacklo_ps(re, im));
      _mm_storeu_ps(x + 4, _mm_unpackhi_ps(re, im));
    } else {
      _mm_storeu_ps(x, re);
      _mm_storeu_ps(x + 4, im);
    }
  }
}

// Build 2's blocked transform of a row of `points` values: two halves (1024
// points each by the radix pass, longer ones by this routine with the next
// quarter-wave table), then one radix-2 join with this length's factors.
void HalvingBlock(const FftSpec32fc* record, float* row, std::int64_t points, const float* twiddles, bool top) {
  const std::int64_t half = points / 2;
  for (float* h : {row, row + 2 * half}) {
    if (half <= 1024) {
      Radix4PassQuads(h, static_cast<std::int32_t>(half), record->radixTwiddles, false);
      ScaleQuads(record, h, half);
    } else {
      HalvingBlock(record, h, half, twiddles + 2 * (points / 4), false);
    }
  }
  auto store = [top](const Q4& v, float* p) {
    if (top) {
      StoreInterleaved(v, p, 0);
    } else {
      StoreQuad(v, p);
    }
  };
  for (std::int64_t k = 0; k < half; k += 4) {
    if (k + 64 < half / 2) _mm_prefetch(reinterpret_cast<const char*>(twiddles + 2 * (k + 64)), _MM_HINT_NTA);
    const float* w = twiddles + 2 * (k < half / 2 ? k : k - half / 2);
    const F4 c = F4::Load(w), sn = F4::Load(w + 4);
    const Q4 x = LoadQuad(row + 2 * k), y = LoadQuad(row + 2 * (k + half));
    // The second half of the span turns by i: i * (y * conj(w)).
    const Q4 t = k < half / 2 ? y.MulConj(c, sn) : Q4{y.re * sn - y.im * c, y.re * c + y.im * sn};
    store(x + t, row + 2 * k);
    store(x - t, row + 2 * (k + half));
  }
}

// A level of 2^order values as 2^m rows of 2^n: rows first, then the columns
// four at a time through the work quads.
void FourStepQuads(const FftBuildPlan32fc& plan, const FftSpec32fc* record, float* data, std::int32_t order,
                   std::int32_t depth, float* work) {
  const std::int32_t m = plan.split[order], n = order - m;
  const std::int64_t rows = std::int64_t{1} << m, columns = std::int64_t{1} << n;
  for (std::int64_t r = 0; r < rows; ++r) {
    float* row = data + 2 * r * columns;
    if (n <= plan.leafOrder) {
      Radix4PassQuads(row, static_cast<std::int32_t>(columns), record->radixTwiddles, false);
      ScaleQuads(record, row, columns);
    } else if (plan.split[n] != 0 && depth + 1 < FftLevelSlots) {  // plans hold three levels at most
      FourStepQuads(plan, record, row, n, depth + 1, work);
    } else {
      HalvingBlock(record, row, columns, record->blockTwiddles, false);
    }
  }
  // Columns of up to 64 points: their factors spread into lanes once per level.
  constexpr std::int64_t kSpreadRows = 64;
  alignas(16) float spread[24 * (kSpreadRows / 4 + kSpreadRows / 16)];
  const float* columnTable = record->levelTwiddles[depth];
  const float* spreadFactors = nullptr;
  if (rows >= 16 && rows <= kSpreadRows) {
    float* out = spread;
    const float* stage = columnTable;
    for (std::int64_t length = (m % 2 == 0 ? 16 : 32); length <= rows; length *= 4, stage += 6 * (length / 16))
      for (std::int64_t j = 0; j < length / 4; ++j)
        for (int k = 0; k < 6; ++k, out += 4) std::fill(out, out + 4, stage[24 * (j / 4) + 4 * k + j % 4]);
    spreadFactors = spread;
  }
  const float* twiddles = record->levelCombineTwiddles[depth];
  for (std::int64_t g = 0; g < columns / 4; ++g, twiddles += 8 * rows) {
    GatherColumns(data, rows, columns, g, twiddles, work);
    QuadColumns<false>(work, rows, columnTable, spreadFactors);
    ScatterColumns(work, rows, columns, g, depth == 0, data);
  }
}

void ColumnsOfBuild1(float* work, std::int64_t rows, const float* table) { QuadColumns<true>(work, rows, table); }

void LargeQuads(const FftBuildPlan32fc& plan, const FftSpec32fc* record, float* data, std::int32_t order,
                void* work) {
  if (plan.split[order] != 0) FourStepQuads(plan, record, data, order, 0, static_cast<float*>(work));
  else HalvingBlock(record, data, std::int64_t{1} << order, record->blockTwiddles, true);
}

// ---- Bit-reversal permutations of builds 2 to 4: each swap-pair entry names
// the groups {2k, 2k+1, h+2k, h+2k+1}; two adjacent complex values move as one
// 128-bit load and store (bit moves only, no arithmetic).
inline __m128d Pair(const float* x, std::int64_t i) { return _mm_loadu_pd(reinterpret_cast<const double*>(x + 2 * i)); }
inline void PutPair(float* x, std::int64_t i, __m128d v) { _mm_storeu_pd(reinterpret_cast<double*>(x + 2 * i), v); }

// Large arrays are reordered in tiles of 8 x 8 values instead: with the index
// split as (a, b, c), a and c of three bits each, value (a, b, c) goes to
// (rev c, rev b, rev a), so one tile reads eight whole cache lines and writes
// eight whole cache lines of the tile (rev b) instead of touching a line per
// value. The result is the same permutation.
constexpr std::uint8_t kReverse3[8] = {0, 4, 2, 6, 1, 5, 3, 7};
constexpr std::int32_t kTiledFrom = 1 << 12;

struct Tile {
  std::uint64_t v[64];
  void Read(const float* x, std::int32_t order, std::uint32_t b) {
    for (std::uint32_t a = 0; a < 8; ++a)
      std::memcpy(v + 8 * a, x + 2 * ((std::int64_t{a} << (order - 3)) | (b << 3)), 64);
  }
  // Value (a, c) of the tile read from b, to its place in tile rb = rev(b).
  void WriteReversed(float* x, std::int32_t order, std::uint32_t rb) const {
    for (std::uint32_t c = 0; c < 8; ++c) {
      float* row = x + 2 * ((std::int64_t{kReverse3[c]} << (order - 3)) | (rb << 3));
      for (std::uint32_t a = 0; a < 8; ++a) std::memcpy(row + 2 * kReverse3[a], v + 8 * a + c, 8);
    }
  }
};

void TiledPermute(const float* src, float* dst, std::int32_t count) {
  const std::int32_t order = __builtin_ctz(static_cast<unsigned>(count)), middle = order - 6;
  Tile tile;
  for (std::uint32_t b = 0; b < (1u << middle); ++b) {
    tile.Read(src, order, b);
    tile.WriteReversed(dst, order, ReverseBits(b, middle));
  }
}

void TiledPermuteInPlace(float* data, std::int32_t count) {
  const std::int32_t order = __builtin_ctz(static_cast<unsigned>(count)), middle = order - 6;
  Tile one, other;
  for (std::uint32_t b = 0; b < (1u << middle); ++b) {
    const std::uint32_t rb = ReverseBits(b, middle);
    if (rb < b) continue;
    one.Read(data, order, b);
    if (rb != b) other.Read(data, order, rb);
    one.WriteReversed(data, order, rb);
    if (rb != b) other.WriteReversed(data, order, b);
  }
}

// Below the tiles: 8-byte moves in the table's order, as build 1 moves them.
void PermuteOutOfPlace32fc(const float* src, float* dst, std::int32_t count, const std::int32_t* pairs) {
  if (count >= kTiledFrom) {
    TiledPermute(src, dst, count);
    return;
  }
  BitReversePermute_V1(reinterpret_cast<const std::uint64_t*>(src), reinterpret_cast<std::uint64_t*>(dst), count,
                       pairs);
}

void PermuteInPlace32fc(float* data, std::int32_t count, const std::int32_t* pairs) {
  if (count >= kTiledFrom) {
    TiledPermuteInPlace(data, count);
    return;
  }
  if (count < 8) {
    BitReversePermuteInPlace_V1(reinterpret_cast<std::uint64_t*>(data), count, pairs);
    return;
  }
  const std::int64_t h = count / 2;
  auto swap = [&](std::int64_t a, std::int64_t b) {
    std::uint64_t t;
    std::memcpy(&t, data + 2 * a, 8);
    std::memcpy(data + 2 * a, data + 2 * b, 8);
    std::memcpy(data + 2 * b, &t, 8);
  };
  const std::int32_t* p = pairs;
  for (; p[0] > 0; p += 2) {
    const std::int64_t k = p[0] / 2, d = p[1] / 2;
    const __m128d ak = Pair(data, k), bk = Pair(data, h + k), ad = Pair(data, d), bd = Pair(data, h + d);
    PutPair(data, d, _mm_unpacklo_pd(ak, bk));
    PutPair(data, h + d, _mm_unpackhi_pd(ak, bk));
    PutPair(data, k, _mm_unpacklo_pd(ad, bd));
    PutPair(data, h + k, _mm_unpackhi_pd(ad, bd));
  }
  swap(1, h);
  for (++p; *p > 0; ++p) swap(*p / 2 + 1, h + *p / 2);
}

// Bit reversal and the radix-4 pass in one: the first sweep gathers from src,
// so the stages run in dst when it is another array and in work otherwise.
void FusedPassQuads(const float* src, float* dst, std::int32_t points, const float* stages,
                    const std::int32_t* index, float* work) {
  float* area = dst != src ? dst : work;
  StagesQuads(ReversedGroups{src, index}, area, dst, points, stages);
}

}  // namespace

void Radix4Pass32fc_V1(float* data, std::int32_t points, const float* twiddles) {
  Radix4PassWide(data, points, twiddles);
}
void Radix4Pass32fc_V2(float* data, std::int32_t points, const float* twiddles, float*, std::int32_t finalLayout) {
  Radix4PassQuads(data, points, twiddles, finalLayout != 0);
}
void Radix4Pass32fc_V3(float* data, std::int32_t points, const float* twiddles, float*, std::int32_t finalLayout) {
  Radix4PassQuads(data, points, twiddles, finalLayout != 0);
}
void Radix4Pass32fc_V4(float* data, std::int32_t points, const float* twiddles, float* work, std::int32_t finalLayout) {
  Radix4Pass32fc_V3(data, points, twiddles, work, finalLayout);
}
void BitReverseRadix4Pass32fc_V2(const float* src, float* dst, std::int32_t points, const float* twiddles,
                                 const std::int32_t* indexTable, float* work) {
  FusedPassQuads(src, dst, points, twiddles, indexTable, work);
}
void BitReverseRadix4Pass32fc_V3(const float* src, float* dst, std::int32_t points, const float* twiddles,
                                 const std::int32_t* indexTable, float* work) {
  FusedPassQuads(src, dst, points, twiddles, indexTable, work);
}
void BitReverseRadix4Pass32fc_V4(const float* src, float* dst, std::int32_t points, const float* twiddles,
                                 const std::int32_t* indexTable, float* work) {
  BitReverseRadix4Pass32fc_V3(src, dst, points, twiddles, indexTable, work);
}
void BitReversePermute32fc_V2(const float* src, float* dst, std::int32_t points, const std::int32_t* pairs) {
  PermuteOutOfPlace32fc(src, dst, points, pairs);
}
void BitReversePermute32fc_V3(const float* src, float* dst, std::int32_t points, const std::int32_t* pairs) {
  PermuteOutOfPlace32fc(src, dst, points, pairs);
}
void BitReversePermute32fc_V4(const float* src, float* dst, std::int32_t points, const std::int32_t* pairs) {
  PermuteOutOfPlace32fc(src, dst, points, pairs);
}
void BitReversePermuteInPlace32fc_V2(float* data, std::int32_t points, const std::int32_t* pairs) {
  PermuteInPlace32fc(data, points, pairs);
}
void BitReversePermuteInPlace32fc_V3(float* data, std::int32_t points, const std::int32_t* pairs) {
  PermuteInPlace32fc(data, points, pairs);
}
void BitReversePermuteInPlace32fc_V4(float* data, std::int32_t points, const std::int32_t* pairs) {
  PermuteInPlace32fc(data, points, pairs);
}
void FftLargeOrder32fc_V1(const FftSpec32fc* record, float* data, std::int32_t order, void* work) {
  Large<long double>::Run(record, data, order, work);
}
void FftLargeOrder32fc_V2(const FftSpec32fc* record, float* data, std::int32_t order, void* work) {
  LargeQuads(FftBuildPlanOf32fc(2), record, data, order, work);
}
void FftLargeOrder32fc_V3(const FftSpec32fc* record, float* data, std::int32_t order, void* work) {
  LargeQuads(FftBuildPlanOf32fc(3), record, data, order, work);
}
void FftLargeOrder32fc_V4(const FftSpec32fc* record, float* data, std::int32_t order, void* work) {
  FftLargeOrder32fc_V3(record, data, order, work);
}

namespace {

// What one build's driver calls; build 1 has no fused pass and no work buffer
// below its plans.
struct DriverBuild {
  std::int32_t build;
  const SmallKernelTable32f* kernels;
  void (*fused)(const float* src, float* dst, std::int32_t points, const float* twiddles,
                const std::int32_t* indexTable, float* work);
  void (*permute)(const float* src, float* dst, std::int32_t points, const std::int32_t* pairs);
  void (*permuteInPlace)(float* data, std::int32_t points, const std::int32_t* pairs);
  void (*radixPass)(float* data, std::int32_t points, const float* twiddles, float* work, std::int32_t finalLayout);
  void (*scale)(float factor, float* data, std::int32_t count);
  void (*large)(const FftSpec32fc* record, float* data, std::int32_t order, void* work);
};

void Permute_V1(const float* src, float* dst, std::int32_t points, const std::int32_t* pairs) {
  BitReversePermute_V1(reinterpret_cast<const std::uint64_t*>(src), reinterpret_cast<std::uint64_t*>(dst), points,
                       pairs);
}
void PermuteInPlace_V1(float* data, std::int32_t points, const std::int32_t* pairs) {
  BitReversePermuteInPlace_V1(reinterpret_cast<std::uint64_t*>(data), points, pairs);
}
void RadixPass_V1(float* data, std::int32_t points, const float* twiddles, float*, std::int32_t) {
  Radix4Pass32fc_V1(data, points, twiddles);
}

const DriverBuild kDriver1 = {1, &kKernelTables.v1, nullptr, &Permute_V1, &PermuteInPlace_V1, &RadixPass_V1,
                              &FftScale32fc_V1, &FftLargeOrder32fc_V1};
const DriverBuild kDriver2 = {2, &kKernelTables.v2, &BitReverseRadix4Pass32fc_V2, &BitReversePermute32fc_V2,
                              &BitReversePermuteInPlace32fc_V2, &Radix4Pass32fc_V2, &FftScale32fc_V2,
                              &FftLargeOrder32fc_V2};
const DriverBuild kDriver3 = {3, &kKernelTables.v3, &BitReverseRadix4Pass32fc_V3, &BitReversePermute32fc_V3,
                              &BitReversePermuteInPlace32fc_V3, &Radix4Pass32fc_V3, &FftScale32fc_V3,
                              &FftLargeOrder32fc_V3};
const DriverBuild kDriver4 = {4, &kKernelTables.v4, &BitReverseRadix4Pass32fc_V4, &BitReversePermute32fc_V4,
                              &BitReversePermuteInPlace32fc_V4, &Radix4Pass32fc_V4, &FftScale32fc_V4,
                              &FftLargeOrder32fc_V4};

PrimitiveStatus Inverse(const DriverBuild& build, const float* src, float* dst, const FftSpec32fc* record,
                        std::uint8_t* buffer) {
  if (record == nullptr) return StatusNullPointer;
  // A record made by another family of builds has tables this build cannot
  // read; it is refused like a record of another kind.
  if (record->contextId != FftSpec32fcKind || !FftSpec32fcMadeBy(build.build, record)) return StatusContextMismatch;
  if (src == nullptr || dst == nullptr) return StatusNullPointer;
  const std::int32_t n = record->order;
  if (n <= 3) {
    if (record->scaleInverse != 0) build.kernels->invScaled[n](src, dst, record->scaleFactor);
    else build.kernels->invPlain[n](src, dst);
    return StatusOk;
  }
  float* work = nullptr;
  void* allocated = nullptr;
  if (record->workBytes > 0) {
    if (buffer != nullptr) {
      work = reinterpret_cast<float*>(buffer + ((-reinterpret_cast<std::uintptr_t>(buffer)) & 15u));
    } else {
      allocated = AllocAligned(record->workBytes);
      if (allocated == nullptr) return StatusNoMemory;
      work = static_cast<float*>(allocated);
    }
  }
  const FftBuildPlan32fc& plan = FftBuildPlanOf32fc(build.build);
  const std::int32_t points = std::int32_t{1} << n;
  if (n <= plan.lastFusedOrder) {
    build.fused(src, dst, points, record->radixTwiddles, record->bitReverseTable, work);
  } else {
    if (src == dst) build.permuteInPlace(dst, points, record->bitReverseTable);
    else build.permute(src, dst, points, record->bitReverseTable);
    if (n >= plan.largeFrom) build.large(record, dst, n, work);
    else build.radixPass(dst, points, record->radixTwiddles, work, 1);
  }
  if (n < plan.largeFrom && record->scaleInverse != 0) build.scale(record->scaleFactor, dst, 2 * points);
  FreeAligned(allocated);
  return StatusOk;
}

}  // namespace

const SmallKernelTable32f& FftSmallKernelTable32f(std::int32_t build) {
  return build <= 1 ? kKernelTables.v1 : build == 2 ? kKernelTables.v2 : build == 3 ? kKernelTables.v3 : kKernelTables.v4;
}

PrimitiveStatus FftInv1D32fc_V1(const float* src, float* dst, const FftSpec32fc* record, std::uint8_t* buffer) {
  return Inverse(kDriver1, src, dst, record, buffer);
}
PrimitiveStatus FftInv1D32fc_V2(const float* src, float* dst, const FftSpec32fc* record, std::uint8_t* buffer) {
  return Inverse(kDriver2, src, dst, record, buffer);
}
PrimitiveStatus FftInv1D32fc_V3(const float* src, float* dst, const FftSpec32fc* record, std::uint8_t* buffer) {
  return Inverse(kDriver3, src, dst, record, buffer);
}
PrimitiveStatus FftInv1D32fc_V4(const float* src, float* dst, const FftSpec32fc* record, std::uint8_t* buffer) {
  return Inverse(kDriver4, src, dst, record, buffer);
}

}  // namespace zentra
