// Butterfly arithmetic shared by the double-precision passes. The x87 builds
// (1, 2) instantiate it with long double: a butterfly is formed at extended
// precision and rounded to double when stored. Builds 3 and 4 run the paired
// SSE2 engine below, where every operation rounds.
#pragma once

#include <zentra/fft_spec64f.h>

#include <emmintrin.h>

#include <cstdint>

namespace zentra::fft64 {

template <typename R>
struct Cx {
  R re, im;
  Cx operator+(const Cx& o) const { return {re + o.re, im + o.im}; }
  Cx operator-(const Cx& o) const { return {re - o.re, im - o.im}; }
  Cx TimesI() const { return {-im, re}; }
};

// A value times the conjugate of a stored forward twiddle (c, s) = (cos t, -sin t).
template <typename R>
Cx<R> MulConj(const Cx<R>& x, double c, double s) {
  return {x.re * c + x.im * s, x.im * c - x.re * s};
}

// Split real and imaginary arrays.
template <typename R>
struct SplitData {
  double* re;
  double* im;
  Cx<R> Load(std::int64_t i) const { return {re[i], im[i]}; }
  void Store(std::int64_t i, const Cx<R>& v) const {
    re[i] = static_cast<double>(v.re);
    im[i] = static_cast<double>(v.im);
  }
};

// Interleaved complex doubles (the column vectors of builds 1 and 2).
template <typename R>
struct InterleavedData {
  Complex64fc* v;
  Cx<R> Load(std::int64_t i) const { return {v[i].re, v[i].im}; }
  void Store(std::int64_t i, const Cx<R>& x) const {
    v[i] = {static_cast<double>(x.re), static_cast<double>(x.im)};
  }
};

// Radix-4 butterfly over p, p + q, p + 2q, p + 3q: with bit-reversed input the
// quarters hold the sub-transforms of the residues 0, 2, 1, 3, so the second
// quarter takes the double angle and the third the single one.
template <typename R, typename Data>
inline void Butterfly4(const Data& x, std::int64_t p, std::int64_t q, const double* w) {
  Cx<R> a0 = x.Load(p), a1 = x.Load(p + q), a2 = x.Load(p + 2 * q), a3 = x.Load(p + 3 * q);
  if (w != nullptr) {
    a1 = MulConj(a1, w[2], w[3]);
    a2 = MulConj(a2, w[0], w[1]);
    a3 = MulConj(a3, w[4], w[5]);
  }
  const Cx<R> s01 = a0 + a1, d01 = a0 - a1, s23 = a2 + a3, d23 = (a2 - a3).TimesI();
  x.Store(p, s01 + s23);
  x.Store(p + 2 * q, s01 - s23);
  x.Store(p + q, d01 + d23);
  x.Store(p + 3 * q, d01 - d23);
}

template <typename R, typename Data>
void Radix4Stage(const Data& x, std::int64_t points, std::int64_t length, const double* table) {
  const std::int64_t q = length / 4, stride = points / length;
  for (std::int64_t base = 0; base < points; base += length) {
    Butterfly4<R>(x, base, q, nullptr);
    for (std::int64_t j = 1; j < q; ++j) Butterfly4<R>(x, base + j, q, table + 6 * j * stride);
  }
}

// Radix-2 stage: the table covers angles below pi/2, the upper half of a
// block is rotated by i instead.
template <typename R, typename Data>
void Radix2Stage(const Data& x, std::int64_t points, std::int64_t length, const double* table) {
  const std::int64_t h = length / 2, stride = points / length;
  for (std::int64_t base = 0; base < points; base += length) {
    for (std::int64_t j = 0; j < h; ++j) {
      Cx<R> t = x.Load(base + j + h);
      if (j < h / 2) {
        if (j > 0) t = MulConj(t, table[6 * j * stride], table[6 * j * stride + 1]);
      } else {
        const std::int64_t e = (j - h / 2) * stride;
        if (j > h / 2) t = MulConj(t, table[6 * e], table[6 * e + 1]);
        t = t.TimesI();
      }
      const Cx<R> a = x.Load(base + j);
      x.Store(base + j, a + t);
      x.Store(base + j + h, a - t);
    }
  }
}

// Build 1's order of stages: radix-4 from 4 up to 1024, then radix-2 to the end.
template <typename R, typename Data>
void StagesRadix2Last(const Data& x, std::int64_t points, const double* table) {
  if (points < 4) return;
  Radix4Stage<R>(x, points, 4, table);
  std::int64_t length = 16;
  for (; length <= points && length <= 1024; length *= 4) Radix4Stage<R>(x, points, length, table);
  for (length = length / 2; length <= points; length *= 2) Radix2Stage<R>(x, points, length, table);
}

// Build 2's order (and the column transforms'): the one radix-2 stage of an odd
// order comes second, every later stage is radix-4.
template <typename R, typename Data>
void StagesRadix2Second(const Data& x, std::int64_t points, const double* table) {
  if (points < 4) return;
  Radix4Stage<R>(x, points, 4, table);
  std::int64_t length = 16;
  if (points & 0xAAAAAAAA) {
    if (points >= 8) Radix2Stage<R>(x, points, 8, table);
    length = 32;
  }
  for (; length <= points; length *= 4) Radix4Stage<R>(x, points, length, table);
}

// ---- The paired engine of builds 3 and 4. Values travel two at a time: pair q
// of a vector is re[2q], re[2q+1], im[2q], im[2q+1] (32 bytes).

// The stages after the first on a paired vector of `count` values in
// bit-reversed order; the first stage has been stored already. `Consts` holds
// the build's own copy of the radix-2 factors of the stage of eight.
template <typename Consts>
void PairedStages(double* w, std::int64_t count, const double* table) {
  std::int64_t length = 16;
  if (count & 0xAAAAAAAA) {
    if (count >= 8) {
      const __m128d c01 = _mm_load_pd(Consts::kEight + 0), s01 = _mm_load_pd(Consts::kEight + 2);
      const __m128d c23 = _mm_load_pd(Consts::kEight + 4), s23 = _mm_load_pd(Consts::kEight + 6);
      for (std::int64_t b = 0; b < count; b += 8) {
        double* p = w + 2 * b;
        auto half = [](double* lo, double* hi, __m128d c, __m128d s) {
          const __m128d xr = _mm_load_pd(hi), xi = _mm_load_pd(hi + 2);
          const __m128d tr = _mm_add_pd(_mm_mul_pd(xr, c), _mm_mul_pd(xi, s));
          const __m128d ti = _mm_sub_pd(_mm_mul_pd(xi, c), _mm_mul_pd(xr, s));
          const __m128d ar = _mm_load_pd(lo), ai = _mm_load_pd(lo + 2);
          _mm_store_pd(lo, _mm_add_pd(ar, tr));
          _mm_store_pd(lo + 2, _mm_add_pd(ai, ti));
          _mm_store_pd(hi, _mm_sub_pd(ar, tr));
          _mm_store_pd(hi + 2, _mm_sub_pd(ai, ti));
        };
        half(p, p + 8, c01, s01);
        half(p + 4, p + 12, c23, s23);
      }
    }
    length = 32;
  }
  for (; length <= count; length *= 4) {
    const std::int64_t q = length / 4;  // values per quarter, even
    for (std::int64_t base = 0; base < count; base += length) {
      const double* tw = table;
      for (std::int64_t j = 0; j < q; j += 2, tw += 12) {
        double* p0 = w + 2 * (base + j);
        double* p1 = p0 + 2 * q;
        double* p2 = p1 + 2 * q;
        double* p3 = p2 + 2 * q;
        auto mulConj = [](double* p, const double* c, __m128d& re, __m128d& im) {
          const __m128d xr = _mm_load_pd(p), xi = _mm_load_pd(p + 2);
          const __m128d cc = _mm_load_pd(c), ss = _mm_load_pd(c + 2);
          re = _mm_add_pd(_mm_mul_pd(xr, cc), _mm_mul_pd(xi, ss));
          im = _mm_sub_pd(_mm_mul_pd(xi, cc), _mm_mul_pd(xr, ss));
        };
        const __m128d a0r = _mm_load_pd(p0), a0i = _mm_load_pd(p0 + 2);
        __m128d a1r, a1i, a2r, a2i, a3r, a3i;
        mulConj(p1, tw + 4, a1r, a1i);
        mulConj(p2, tw + 0, a2r, a2i);
        mulConj(p3, tw + 8, a3r, a3i);
        const __m128d s01r = _mm_add_pd(a0r, a1r), s01i = _mm_add_pd(a0i, a1i);
        const __m128d d01r = _mm_sub_pd(a0r, a1r), d01i = _mm_sub_pd(a0i, a1i);
        const __m128d s23r = _mm_add_pd(a2r, a3r), s23i = _mm_add_pd(a2i, a3i);
        const __m128d d23r = _mm_sub_pd(a2r, a3r), d23i = _mm_sub_pd(a2i, a3i);
        _mm_store_pd(p0, _mm_add_pd(s01r, s23r));
        _mm_store_pd(p0 + 2, _mm_add_pd(s01i, s23i));
        _mm_store_pd(p2, _mm_sub_pd(s01r, s23r));
        _mm_store_pd(p2 + 2, _mm_sub_pd(s01i, s23i));
        // i * d23 = (-d23.im, d23.re)
        _mm_store_pd(p1, _mm_sub_pd(d01r, d23i));
        _mm_store_pd(p1 + 2, _mm_add_pd(d01i, d23r));
        _mm_store_pd(p3, _mm_add_pd(d01r, d23i));
        _mm_store_pd(p3 + 2, _mm_sub_pd(d01i, d23r));
      }
    }
    table += 3 * length / 2;  // L/4 records of six doubles
  }
}

// The first stage on four consecutive bit-reversed values, their real parts
// in r01 = (re0, re1), r23 and their imaginary parts in i01, i23: the
// butterfly without twiddles, written as two pairs.
inline void PairedStage4(double* pair2, __m128d r01, __m128d r23, __m128d i01, __m128d i23) {
  // (s01, s23) and (d01, d23) of each part
  const __m128d sr = _mm_add_pd(_mm_unpacklo_pd(r01, r23), _mm_unpackhi_pd(r01, r23));
  const __m128d dr = _mm_sub_pd(_mm_unpacklo_pd(r01, r23), _mm_unpackhi_pd(r01, r23));
  const __m128d si = _mm_add_pd(_mm_unpacklo_pd(i01, i23), _mm_unpackhi_pd(i01, i23));
  const __m128d di = _mm_sub_pd(_mm_unpacklo_pd(i01, i23), _mm_unpackhi_pd(i01, i23));
  // re: (s01, d01) +- (s23, d23.im) = (y0, y3), (y2, y1); im: (s01, d01) +- (s23, d23.re) = (y0, y1), (y2, y3)
  const __m128d ar = _mm_unpacklo_pd(sr, dr), br = _mm_unpackhi_pd(sr, di);
  const __m128d ai = _mm_unpacklo_pd(si, di), bi = _mm_unpackhi_pd(si, dr);
  const __m128d rPlus = _mm_add_pd(ar, br), rMinus = _mm_sub_pd(ar, br);
  _mm_store_pd(pair2, _mm_move_sd(rMinus, rPlus));
  _mm_store_pd(pair2 + 2, _mm_add_pd(ai, bi));
  _mm_store_pd(pair2 + 4, _mm_move_sd(rPlus, rMinus));
  _mm_store_pd(pair2 + 6, _mm_sub_pd(ai, bi));
}

// The first stage in place on a paired vector already in bit-reversed order.
inline void PairedStage4InPlace(double* w, std::int64_t count) {
  for (std::int64_t g = 0; g < count; g += 4) {
    double* p = w + 2 * g;
    PairedStage4(p, _mm_load_pd(p), _mm_load_pd(p + 4), _mm_load_pd(p + 2), _mm_load_pd(p + 6));
  }
}

// Paired work vector back to split arrays, two values per store.
inline void StorePaired(const double* w, double* re, double* im, std::int64_t count) {
  for (std::int64_t q = 0; q < count; q += 2) {
    _mm_storeu_pd(re + q, _mm_load_pd(w + 2 * q));
    _mm_storeu_pd(im + q, _mm_load_pd(w + 2 * q + 2));
  }
}

// The radix-2 factors of the stage of eight as (cos, cos), (-sin, -sin) pairs of
// butterflies 0, 1 and 2, 3; each build keeps its own copy. The radix pass
// takes sqrt(2)/2 rounded to nearest; the column transform of the large orders
// has its own table, whose cos(pi/4) is the double one unit below it.
template <int Build>
struct PairedConsts {
  alignas(16) static constexpr double kEight[8] = {1.0, 0.7071067811865476, 0.0, -0.7071067811865476,
                                                   0.0, -0.7071067811865476, -1.0, -0.7071067811865476};
};
template <int Build>
struct ColumnConsts {
  alignas(16) static constexpr double kEight[8] = {1.0, 0.7071067811865475, 0.0, -0.7071067811865475,
                                                   0.0, -0.7071067811865475, -1.0, -0.7071067811865475};
};

}  // namespace zentra::fft64
