// The single-precision 1-D engine: straight-line kernels of 1 to 8 points, the
// in-cache radix-4 pass, the scaling pass, the blocked and four-step
// transforms of the large orders, and the driver that picks among them.
//
// Build 1 forms every butterfly in double precision and rounds to single when
// it stores a value; builds 2 to 4 compute in single precision throughout
// (SSE), so every operation rounds. Both read the same tables.
#include <zentra/fft_spec32fc.h>

#include "fft_pass64f.h"

#include <xmmintrin.h>

#include <cstring>

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

// ---- Kernels of orders 0 to 3. Each reads its whole input before it writes,
// so the destination may be the source.

constexpr float kHalfRoot2 = 0.70710677f;  // 1/sqrt(2) rounded to single
constexpr float kMinusHalfRoot2 = -0.70710677f;

struct NoFactor {
  template <typename R>
  Cx<R> operator()(Cx<R> v) const { return v; }
};
struct Factor {
  float f;
  template <typename R>
  Cx<R> operator()(Cx<R> v) const { return {v.re * f, v.im * f}; }
};

void Kernel1Copy(const float* src, float* dst) { std::memmove(dst, src, 8); }

template <typename R>
void Kernel1Scaled(const float* src, float* dst, float factor) {
  Store<R>(dst, 0, Factor{factor}(Load<R>(src, 0)));
}

template <typename R, typename Scale>
void Kernel2(const float* src, float* dst, Scale scale) {
  const Cx<R> x0 = Load<R>(src, 0), x1 = Load<R>(src, 1);
  const Cx<R> a = scale(x0 + x1), b = scale(x0 - x1);
  Store<R>(dst, 0, a);
  Store<R>(dst, 1, b);
}

template <typename R, typename Scale>
void Kernel4(const float* src, float* dst, Scale scale) {
  Cx<R> x[4];
  for (int k = 0; k < 4; ++k) x[k] = Load<R>(src, k);
  const Cx<R> p0 = scale(x[0] + x[2]), q0 = scale(x[0] - x[2]);
  const Cx<R> p1 = scale(x[1] + x[3]), q1 = scale(x[1] - x[3]);
  Store<R>(dst, 0, p0 + p1);
  Store<R>(dst, 2, p0 - p1);
  Store<R>(dst, 1, q0 + q1.TimesI());
  Store<R>(dst, 3, q0 - q1.TimesI());
}

template <typename R, typename Scale>
void Kernel8(const float* src, float* dst, Scale scale) {
  Cx<R> p[4], q[4];
  {
    Cx<R> x[8];
    for (int k = 0; k < 8; ++k) x[k] = Load<R>(src, k);
    for (int k = 0; k < 4; ++k) p[k] = scale(x[k] + x[k + 4]), q[k] = scale(x[k] - x[k + 4]);
  }
  Cx<R> e0 = p[0] + p[2], o0 = p[1] + p[3];
  e0.im = Park(e0.im);
  o0.re = Park(o0.re);
  const Cx<R> e2 = Park(p[0] - p[2]), o2 = Park(p[1] - p[3]);
  const Cx<R> e1 = Park(q[0] + q[2].TimesI()), e3 = Park(q[0] - q[2].TimesI());
  const Cx<R> o1 = q[1] + q[3].TimesI(), o3 = Park(q[1] - q[3].TimesI());
  // o1 turned by e^(+i pi/4), o3 by e^(+3i pi/4): two products each.
  const Cx<R> t1 = {kHalfRoot2 * (o1.re - o1.im), kHalfRoot2 * (o1.im + o1.re)};
  const Cx<R> t3 = {kMinusHalfRoot2 * (o3.re + o3.im), kMinusHalfRoot2 * (o3.im - o3.re)};
  Store<R>(dst, 0, e0 + o0);
  Store<R>(dst, 4, e0 - o0);
  Store<R>(dst, 2, e2 + o2.TimesI());
  Store<R>(dst, 6, e2 - o2.TimesI());
  Store<R>(dst, 1, e1 + t1);
  Store<R>(dst, 5, e1 - t1);
  Store<R>(dst, 3, e3 + t3);
  Store<R>(dst, 7, e3 - t3);
}

using PlainKernel = void (*)(const float* src, float* dst);
using ScaledKernel = void (*)(const float* src, float* dst, float factor);

template <typename R, template <typename, typename> class K>
struct Bind {
  static void Plain(const float* src, float* dst) { K<R, NoFactor>::Run(src, dst, NoFactor{}); }
  static void Scaled(const float* src, float* dst, float f) { K<R, Factor>::Run(src, dst, Factor{f}); }
};
template <typename R, typename S>
struct K2 { static void Run(const float* s, float* d, S f) { Kernel2<R>(s, d, f); } };
template <typename R, typename S>
struct K4 { static void Run(const float* s, float* d, S f) { Kernel4<R>(s, d, f); } };
template <typename R, typename S>
struct K8 { static void Run(const float* s, float* d, S f) { Kernel8<R>(s, d, f); } };

// The inverse interleaved rows of one build: scaled row first, as the driver reads them.
struct InvKernelRows32fc {
  ScaledKernel scaled[4];
  PlainKernel plain[4];
};

template <typename R>
constexpr InvKernelRows32fc KernelRows() {
  return {{&Kernel1Scaled<R>, &Bind<R, K2>::Scaled, &Bind<R, K4>::Scaled, &Bind<R, K8>::Scaled},
          {&Kernel1Copy, &Bind<float, K2>::Plain, &Bind<R, K4>::Plain, &Bind<R, K8>::Plain}};
}

// The kernel rows of builds 4, 3, 2 and 1 in one block of static data, with
// markers around them.
struct KernelRowBlock {
  DataMarker before;
  InvKernelRows32fc v4;
  InvKernelRows32fc v3;
  InvKernelRows32fc v2;
  InvKernelRows32fc v1;
  DataMarker after;
};
const KernelRowBlock kKernelRows = {kDataMarker, KernelRows<float>(), KernelRows<float>(),
                                    KernelRows<float>(), KernelRows<double>(), kDataMarker};

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

// The stages of length 32 and more run four adjacent butterflies per step in
// the split-four arrangement (each group of four values as four real parts,
// then four imaginary parts), which the array is turned into in place after
// the short stages and back at the end. Build 1 holds the four lanes in
// double precision and rounds when it stores; builds 2 to 4 compute in single
// precision, every operation rounded.
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

struct D4 {
  __m128d lo, hi;
  static D4 Of(__m128 f) { return {_mm_cvtps_pd(f), _mm_cvtps_pd(_mm_movehl_ps(f, f))}; }
  static D4 Load(const float* p) { return Of(_mm_loadu_ps(p)); }
  __m128 Float() const { return _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi)); }
  void Store(float* p) const { _mm_storeu_ps(p, Float()); }
  D4 operator+(D4 o) const { return {_mm_add_pd(lo, o.lo), _mm_add_pd(hi, o.hi)}; }
  D4 operator-(D4 o) const { return {_mm_sub_pd(lo, o.lo), _mm_sub_pd(hi, o.hi)}; }
  D4 operator*(D4 o) const { return {_mm_mul_pd(lo, o.lo), _mm_mul_pd(hi, o.hi)}; }
};

template <typename V>
struct Quad {
  V re, im;
  static Quad Load(const float* x, std::int64_t i) { return {V::Load(x + 2 * i), V::Load(x + 2 * i + 4)}; }
  void Store(float* x, std::int64_t i) const { re.Store(x + 2 * i), im.Store(x + 2 * i + 4); }
  Quad operator+(const Quad& o) const { return {re + o.re, im + o.im}; }
  Quad operator-(const Quad& o) const { return {re - o.re, im - o.im}; }
  Quad TimesI() const { return {V{} - im, re}; }
  // Times the conjugates of four stored twiddles (c, s).
  Quad MulConj(V c, V s) const { return {re * c + im * s, im * c - re * s}; }
};

void FromSplitFour(float* x, std::int64_t points) {
  for (std::int64_t i = 0; i < points; i += 4) {
    const __m128 re = _mm_loadu_ps(x + 2 * i), im = _mm_loadu_ps(x + 2 * i + 4);
    _mm_storeu_ps(x + 2 * i, _mm_unpacklo_ps(re, im));
    _mm_storeu_ps(x + 2 * i + 4, _mm_unpackhi_ps(re, im));
  }
}

// Twiddles of four adjacent butterflies: gathered from build 1's single table
// (entries `stride` apart), or one aligned load from a stage block.
struct StridedTwiddles {
  const float* table;
  std::int64_t stride;
  __m128 Get(std::int64_t j, int k) const {
    const float* e = table + 6 * j * stride + k;
    const std::int64_t d = 6 * stride;
    return _mm_setr_ps(e[0], e[d], e[2 * d], e[3 * d]);
  }
};
struct StageTwiddles {
  const float* block;
  __m128 Get(std::int64_t j, int k) const { return _mm_load_ps(block + 6 * j + 4 * k); }
};

// The last stage writes interleaved pairs directly instead of a separate
// conversion sweep.
template <typename V>
void StoreInterleaved(const Quad<V>& v, float* x, std::int64_t i) {
  const __m128 re = v.re.Float(), im = v.im.Float();
  _mm_storeu_ps(x + 2 * i, _mm_unpacklo_ps(re, im));
  _mm_storeu_ps(x + 2 * i + 4, _mm_unpackhi_ps(re, im));
}

template <typename V, bool Last = false, typename Twiddles>
void Radix4StageQuads(float* x, std::int64_t points, std::int64_t length, const Twiddles& tw) {
  const std::int64_t q = length / 4;
  // Butterflies j..j+3 of every block share their factors, which are fetched
  // once for all blocks (the blocks of one pass lie in cache).
  for (std::int64_t j = 0; j < q; j += 4) {
    const V w[6] = {V::Of(tw.Get(j, 0)), V::Of(tw.Get(j, 1)), V::Of(tw.Get(j, 2)),
                    V::Of(tw.Get(j, 3)), V::Of(tw.Get(j, 4)), V::Of(tw.Get(j, 5))};
    for (std::int64_t base = 0; base < points; base += length) {
      const std::int64_t p = base + j;
      const Quad<V> a0 = Quad<V>::Load(x, p);
      const Quad<V> a1 = Quad<V>::Load(x, p + q).MulConj(w[2], w[3]);
      const Quad<V> a2 = Quad<V>::Load(x, p + 2 * q).MulConj(w[0], w[1]);
      const Quad<V> a3 = Quad<V>::Load(x, p + 3 * q).MulConj(w[4], w[5]);
      const Quad<V> s01 = a0 + a1, d01 = a0 - a1, s23 = a2 + a3, d23 = (a2 - a3).TimesI();
      if constexpr (Last) {
        StoreInterleaved(s01 + s23, x, p);
        StoreInterleaved(s01 - s23, x, p + 2 * q);
        StoreInterleaved(d01 + d23, x, p + q);
        StoreInterleaved(d01 - d23, x, p + 3 * q);
      } else {
        (s01 + s23).Store(x, p);
        (s01 - s23).Store(x, p + 2 * q);
        (d01 + d23).Store(x, p + q);
        (d01 - d23).Store(x, p + 3 * q);
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
  __m128 Get(std::int64_t, int k) const { return _mm_load_ps(k == 0 ? kStage8Cos : kStage8Sin); }
};

// First sweep over sixteen values at a time: interleaved in, split-four out.
// Stage 4 works inside each group of four, so the groups are transposed around
// it (its results rounded to single, as every stored value is); stage 16 (even
// orders) or the two stage-8 blocks (odd orders) then work lane by lane with
// the factors of butterflies 0..3 from `tw`.
template <typename V, typename Twiddles>
void FirstSweepQuads(float* data, std::int64_t points, bool odd, const Twiddles& tw) {
  using Q = Quad<V>;
  // Every block of sixteen uses the same factors.
  const V tws[6] = {V::Of(tw.Get(0, 0)), V::Of(tw.Get(0, 1)), V::Of(tw.Get(0, 2)),
                    V::Of(tw.Get(0, 3)), V::Of(tw.Get(0, 4)), V::Of(tw.Get(0, 5))};
  auto w = [&](int k) { return tws[k]; };
  for (std::int64_t base = 0; base < points; base += 16) {
    __m128 re[4], im[4];
    for (int g = 0; g < 4; ++g) {
      const __m128 a = _mm_loadu_ps(data + 2 * (base + 4 * g)), b = _mm_loadu_ps(data + 2 * (base + 4 * g) + 4);
      re[g] = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
      im[g] = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    }
    _MM_TRANSPOSE4_PS(re[0], re[1], re[2], re[3]);
    _MM_TRANSPOSE4_PS(im[0], im[1], im[2], im[3]);
    Q q[4];
    for (int g = 0; g < 4; ++g) q[g] = {V::Of(re[g]), V::Of(im[g])};
    const Q s01 = q[0] + q[1], d01 = q[0] - q[1], s23 = q[2] + q[3], d23 = (q[2] - q[3]).TimesI();
    const Q y[4] = {s01 + s23, d01 + d23, s01 - s23, d01 - d23};
    for (int g = 0; g < 4; ++g) re[g] = y[g].re.Float(), im[g] = y[g].im.Float();
    _MM_TRANSPOSE4_PS(re[0], re[1], re[2], re[3]);
    _MM_TRANSPOSE4_PS(im[0], im[1], im[2], im[3]);
    Q v[4];
    for (int g = 0; g < 4; ++g) v[g] = {V::Of(re[g]), V::Of(im[g])};
    Q out[4];
    if (odd) {
      for (int h = 0; h < 4; h += 2) {
        const Q t = v[h + 1].MulConj(w(0), w(1));
        out[h] = v[h] + t;
        out[h + 1] = v[h] - t;
      }
    } else {
      const Q a1 = v[1].MulConj(w(2), w(3)), a2 = v[2].MulConj(w(0), w(1)), a3 = v[3].MulConj(w(4), w(5));
      const Q t01 = v[0] + a1, u01 = v[0] - a1, t23 = a2 + a3, u23 = (a2 - a3).TimesI();
      out[0] = t01 + t23, out[2] = t01 - t23, out[1] = u01 + u23, out[3] = u01 - u23;
    }
    for (int g = 0; g < 4; ++g) out[g].Store(data, base + 4 * g);
  }
}

// Stage-8 factors of build 1 (angles 0, pi/4, pi/2, 3pi/4) from its table,
// which only reaches pi/2: the last is (-cos, -sin) of pi/4 turned, that is
// both parts equal to the stored -sin pi/4.
struct Stage8FromTable {
  const float* table;
  std::int64_t points;
  __m128 Get(std::int64_t, int k) const {
    const float* e8 = table + 6 * (points / 8);
    const float* e4 = table + 6 * (points / 4);
    return _mm_setr_ps(table[k], e8[k], e4[k], e8[1]);
  }
};

// Build 1 with its single table, four lanes wide in double precision.
void Radix4PassWide(float* data, std::int32_t points, const float* twiddles) {
  if (points < 16) {
    Radix4Pass<double>(data, points, twiddles);
    return;
  }
  const bool odd = (__builtin_ctz(static_cast<unsigned>(points)) & 1) != 0;
  if (odd) FirstSweepQuads<D4>(data, points, true, Stage8FromTable{twiddles, points});
  else FirstSweepQuads<D4>(data, points, false, StridedTwiddles{twiddles, points / 16});
  std::int64_t length = odd ? 32 : 64;
  if (length > points) {
    FromSplitFour(data, points);
    return;
  }
  for (; length < points; length *= 4)
    Radix4StageQuads<D4>(data, points, length, StridedTwiddles{twiddles, points / length});
  Radix4StageQuads<D4, true>(data, points, length, StridedTwiddles{twiddles, 1});
}

void Radix4PassQuads(float* data, std::int32_t points, const float* stages) {
  if (points < 4) return;
  if (points < 16) {  // no caller passes these; kept exact for completeness
    Radix4Stage<float>(data, points, 4, nullptr);
    if (points == 8)
      for (int j = 0; j < 4; ++j) {
        const Cx<float> u = Load<float>(data, j), v = MulConj(Load<float>(data, j + 4), kStage8Cos[j], kStage8Sin[j]);
        Store<float>(data, j, u + v);
        Store<float>(data, j + 4, u - v);
      }
    return;
  }
  const bool odd = (__builtin_ctz(static_cast<unsigned>(points)) & 1) != 0;
  if (odd) FirstSweepQuads<F4>(data, points, true, Stage8Constants{});
  else FirstSweepQuads<F4>(data, points, false, StageTwiddles{stages});
  std::int64_t length = odd ? 32 : 64;
  if (!odd) stages += 24;
  if (length > points) {
    FromSplitFour(data, points);
    return;
  }
  for (; length < points; length *= 4) {
    Radix4StageQuads<F4>(data, points, length, StageTwiddles{stages});
    stages += 6 * (length / 4);
  }
  Radix4StageQuads<F4, true>(data, points, length, StageTwiddles{stages});
}

template <typename R>
void LeafPass(float* data, std::int32_t points, const float* twiddles) {
  if constexpr (sizeof(R) == sizeof(double)) Radix4PassWide(data, points, twiddles);
  else Radix4PassQuads(data, points, twiddles);
}

// ---- Large orders.

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
    const std::int32_t m = PlanSplitTable32fc[order], n = order - m;
    const std::int64_t rows = std::int64_t{1} << m, columns = std::int64_t{1} << n;
    for (std::int64_t r = 0; r < rows; ++r) {
      float* row = data + 2 * r * columns;
      if (n <= 10) {
        LeafPass<R>(row, static_cast<std::int32_t>(columns), record->radixTwiddles);
        Scale(record, row, columns);
      } else if (PlanSplitTable32fc[n] != 0 && depth + 1 < FftLevelSlots) {  // plans hold three levels at most
        FourStep(record, row, n, depth + 1, work);
      } else {
        Blocked(record, row, columns);
      }
    }
    const float* w = record->levelCombineTwiddles[depth];
    const float* columnTable = record->levelTwiddles[depth];
    for (std::int64_t k0 = 0; k0 < columns; k0 += 4) {
      for (std::int64_t r = 0; r < rows; ++r, w += 8)
        for (int j = 0; j < 4; ++j)
          Store<R>(work + 2 * j * rows, r, MulConj(Load<R>(data, r * columns + k0 + j), w[2 * j], w[2 * j + 1]));
      for (int j = 0; j < 4; ++j) LeafPass<R>(work + 2 * j * rows, static_cast<std::int32_t>(rows), columnTable);
      for (std::int64_t r = 0; r < rows; ++r)
        for (int j = 0; j < 4; ++j) std::memcpy(data + 2 * (r * columns + k0 + j), work + 2 * (j * rows + r), 8);
    }
  }

  static void Run(const FftSpec32fc* record, float* data, std::int32_t order, void* work) {
    if (PlanSplitTable32fc[order] != 0) FourStep(record, data, order, 0, static_cast<float*>(work));
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
  for (; i + 4 <= count; i += 4) _mm_storeu_ps(data + i, _mm_mul_ps(_mm_loadu_ps(data + i), f));
  for (; i < count; ++i) data[i] *= factor;
}

namespace {

template <typename R>
void Large<R>::Scale(const FftSpec32fc* record, float* data, std::int64_t points) {
  if (record->scaleInverse == 0) return;
  if constexpr (sizeof(R) == sizeof(double)) FftScale32fc_V1(record->scaleFactor, data, static_cast<std::int32_t>(2 * points));
  else FftScale32fc_V2(record->scaleFactor, data, static_cast<std::int32_t>(2 * points));
}

}  // namespace

void Radix4Pass32fc_V1(float* data, std::int32_t points, const float* twiddles) {
  Radix4PassWide(data, points, twiddles);
}
void Radix4Pass32fc_V2(float* data, std::int32_t points, const float* twiddles) {
  Radix4PassQuads(data, points, twiddles);
}
void FftLargeOrder32fc_V1(const FftSpec32fc* record, float* data, std::int32_t order, void* work) {
  Large<double>::Run(record, data, order, work);
}
void FftLargeOrder32fc_V2(const FftSpec32fc* record, float* data, std::int32_t order, void* work) {
  Large<float>::Run(record, data, order, work);
}

namespace {

struct DriverBuild {
  std::int32_t build;
  const InvKernelRows32fc* kernels;
  void (*radixPass)(float* data, std::int32_t points, const float* twiddles);
  void (*scale)(float factor, float* data, std::int32_t count);
  void (*large)(const FftSpec32fc* record, float* data, std::int32_t order, void* work);
};

const DriverBuild kDriver1 = {1, &kKernelRows.v1, &Radix4Pass32fc_V1, &FftScale32fc_V1, &FftLargeOrder32fc_V1};
const DriverBuild kDriver2 = {2, &kKernelRows.v2, &Radix4Pass32fc_V2, &FftScale32fc_V2, &FftLargeOrder32fc_V2};
const DriverBuild kDriver3 = {3, &kKernelRows.v3, &Radix4Pass32fc_V2, &FftScale32fc_V2, &FftLargeOrder32fc_V2};
const DriverBuild kDriver4 = {4, &kKernelRows.v4, &Radix4Pass32fc_V2, &FftScale32fc_V2, &FftLargeOrder32fc_V2};

constexpr std::int32_t kLargeFrom = 11;

PrimitiveStatus Inverse(const DriverBuild& build, const float* src, float* dst, const FftSpec32fc* record,
                        std::uint8_t* buffer) {
  if (record == nullptr) return StatusNullPointer;
  // A record made by the other family of builds has radix tables this build
  // cannot read; it is refused like a record of another kind.
  if (record->contextId != FftSpec32fcKind || !FftSpec32fcMadeBy(build.build, record)) return StatusContextMismatch;
  if (src == nullptr || dst == nullptr) return StatusNullPointer;
  const std::int32_t n = record->order;
  if (n <= 3) {
    if (record->scaleInverse != 0) build.kernels->scaled[n](src, dst, record->scaleFactor);
    else build.kernels->plain[n](src, dst);
    return StatusOk;
  }
  // Only the four-step levels read the work buffer; the blocked transform of
  // the orders without a level needs none, so nothing is allocated for them.
  void* work = nullptr;
  void* allocated = nullptr;
  if (record->workBytes > 0 && record->levelCombineTwiddles[0] != nullptr) {
    if (buffer != nullptr) {
      work = buffer + ((-reinterpret_cast<std::uintptr_t>(buffer)) & 15u);
    } else {
      work = allocated = AllocAligned(record->workBytes);
      if (work == nullptr) return StatusNoMemory;
    }
  }
  const std::int32_t points = std::int32_t{1} << n;
  if (src == dst) {
    BitReversePermuteInPlace_V1(reinterpret_cast<std::uint64_t*>(dst), points, record->bitReverseTable);
  } else {
    BitReversePermute_V1(reinterpret_cast<const std::uint64_t*>(src), reinterpret_cast<std::uint64_t*>(dst),
                         points, record->bitReverseTable);
  }
  if (n < kLargeFrom) {
    build.radixPass(dst, points, record->radixTwiddles);
    if (record->scaleInverse != 0) build.scale(record->scaleFactor, dst, 2 * points);
  } else {
    build.large(record, dst, n, work);
  }
  FreeAligned(allocated);
  return StatusOk;
}

}  // namespace

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
