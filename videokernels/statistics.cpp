// Block and picture statistics: every build side by side and their tables.
#include <zentra/statistics_kernels.h>

#include <emmintrin.h>

#include <cstddef>
#include <cstring>

namespace zentra {

namespace {

using P = std::ptrdiff_t;
using U32 = std::uint32_t;

inline __m128i Load16(const U8* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

inline U32 Total32(__m128i acc) {
  acc = _mm_add_epi32(acc, _mm_unpackhi_epi64(acc, acc));
  acc = _mm_add_epi32(acc, _mm_srli_si128(acc, 4));
  return static_cast<U32>(_mm_cvtsi128_si32(acc));
}

// Σx and Σx² of 16-wide rows (the sums wrap as 32-bit registers do).
void SumsSimd(const U8* src, P step, I32 rows, U32& sum, U32& squares) {
  const __m128i zero = _mm_setzero_si128();
  __m128i s = zero, q = zero;
  for (I32 y = 0; y < rows; ++y) {
    const __m128i v = Load16(src + y * step);
    s = _mm_add_epi64(s, _mm_sad_epu8(v, zero));
    const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
    q = _mm_add_epi32(q, _mm_add_epi32(_mm_madd_epi16(lo, lo), _mm_madd_epi16(hi, hi)));
  }
  sum = static_cast<U32>(_mm_cvtsi128_si32(s) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(s, s)));
  squares = Total32(q);
}

void SumsPlain(const U8* src, P step, I32 rows, U32& sum, U32& squares) {
  sum = squares = 0;
  for (I32 y = 0; y < rows; ++y)
    for (int x = 0; x < 16; ++x) {
      const U32 v = src[y * step + x];
      sum += v;
      squares += v * v;
    }
}

}  // namespace

// ---- Variances.

// The square of the sum formed in 64 bits, the subtraction in 32.
I32 Variance16x16_MmxA(const U8* src, I32 step) {
  U32 s, q;
  SumsSimd(src, step, 16, s, q);
  return static_cast<I32>(q - static_cast<U32>((std::uint64_t{s} * s) >> 8));
}

// The square of the sum as a 32-bit unsigned product: the same for 8-bit samples.
I32 Variance16x16_MmxB(const U8* src, I32 step) {
  U32 s, q;
  SumsSimd(src, step, 16, s, q);
  return static_cast<I32>(q - ((s * s) >> 8));
}

I32 Variance16x16_C(const U8* src, I32 step) {
  U32 s, q;
  SumsPlain(src, step, 16, s, q);
  return static_cast<I32>(q - ((s * s) >> 8));
}

PrimitiveStatus BlockVariance16x16(const U8* src, I32 step, I32* var) {
  if (src == nullptr || var == nullptr) return StatusNullPointer;
  U32 s, q;
  SumsPlain(src, step, 16, s, q);
  *var = static_cast<I32>(q - (s * s) / 256);
  return StatusOk;
}

I32 Variance16x16_Ipp(const U8* src, I32 step) {
  I32 var = 0;
  BlockVariance16x16(src, step, &var);
  return var;
}

// Signed 64-bit square and signed division.
I32 Variance16xN_Mmx(const U8* src, I32 step, I32 rows) {
  U32 s, q;
  SumsSimd(src, step, rows, s, q);
  const std::int64_t square = std::int64_t{static_cast<I32>(s)} * static_cast<I32>(s);
  return static_cast<I32>(q - static_cast<U32>(square / (std::int64_t{16} * rows)));
}

// The square as a 32-bit product, which wraps beyond 16 rows, and unsigned division.
I32 Variance16xN_C(const U8* src, I32 step, I32 rows) {
  U32 s, q;
  SumsPlain(src, step, rows, s, q);
  return static_cast<I32>(q - (s * s) / (16u * static_cast<U32>(rows)));
}

// ---- Macroblock activity.

namespace {

// Samples read through memcpy: the lower windows sit at the caller's byte offset.
I32 Variance8x8Bytes(const U8* p, P rowBytes) {
  U32 s = 0, q = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      U32 v;
      std::memcpy(&v, p + y * rowBytes + 4 * x, 4);
      s += v;
      q += v * v;
    }
  const U32 m = s >> 6;
  return static_cast<I32>((q >> 6) - m * m);
}

}  // namespace

I32 Variance8x8Int32(const std::uint32_t* p, I32 step) {
  return Variance8x8Bytes(reinterpret_cast<const U8*>(p), P{step} * 4);
}

// The right-hand windows sit 8 bytes (two samples) right of the left-hand ones,
// as the code has always placed them, though a window is eight samples wide.
I32 MacroblockActivity_C(const std::uint32_t* p, I32 step, I32 lowerOffset) {
  const U8* upper = reinterpret_cast<const U8*>(p);
  const U8* lower = upper + lowerOffset;
  const P rowBytes = P{step} * 4;
  I32 least = Variance8x8Bytes(upper, rowBytes);
  for (const U8* w : {upper + 8, lower, lower + 8}) {
    const I32 v = Variance8x8Bytes(w, rowBytes);
    if (v < least) least = v;
  }
  return least;
}

// ---- 4x4 decimation.

I32 Decimate4x4_MmxExt(const U8* src, U8* dst, I32 w, I32 h) {
  const __m128i zero = _mm_setzero_si128();
  I32 total = 0;
  for (I32 y = 0; y < h; y += 4) {
    const U8* r = src + P{y} * w;
    I32 x = 0;
    do {
      auto row = [&](int k) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(r + P{k} * w + x)); };
      const __m128i v = AverageUpTwiceEpu8(row(0), row(1), row(2), row(3));
      // Columns 0-3 in the low half, 4-7 in the high half: one psadbw sums each.
      const __m128i c = _mm_sad_epu8(_mm_unpacklo_epi32(v, zero), zero);
      const I32 c0 = _mm_cvtsi128_si32(c), c1 = _mm_cvtsi128_si32(_mm_unpackhi_epi64(c, c));
      *dst++ = static_cast<U8>((c0 + 2) >> 2);
      *dst++ = static_cast<U8>((c1 + 2) >> 2);
      total += c0 + c1;
      x += 8;
    } while (x < w);
  }
  return ((total / 4) / (w >> 2)) / (h >> 2);
}

namespace {

// (Σ of the 16 samples + 8) >> 4 over the whole 4x4 blocks of the picture.
I32 DecimateWholeBlocks(const U8* src, U8* dst, I32 w, I32 h) {
  const I32 bandCount = h >> 2, blockCount = w >> 2;
  I32 total = 0;
  for (I32 b = 0; b < bandCount; ++b)
    for (I32 k = 0; k < blockCount; ++k) {
      I32 sum = 0;
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) sum += src[(P{4} * b + y) * w + 4 * k + x];
      const I32 out = (sum + 8) >> 4;
      *dst++ = static_cast<U8>(out);
      total += out;
    }
  return total / (blockCount * bandCount);
}

}  // namespace

// Whole blocks only: counting partial bands and blocks by ceilings wrote past
// the (w/4)*(h/4) bytes the caller supplies and read past the picture.
I32 Decimate4x4_C(const U8* src, U8* dst, I32 w, I32 h) { return DecimateWholeBlocks(src, dst, w, h); }

I32 Decimate4x4_CB(const U8* src, U8* dst, I32 w, I32 h) { return DecimateWholeBlocks(src, dst, w, h); }

// The deviation in 16-bit lanes (the mean taken as its low 16 bits), squares
// summed in 32 bits, eight values at a time.
I32 DecimatedDeviation_Mmx(const U8* src, U8* buf, I32 w, I32 h) {
  const I32 mean = Decimate4x4(src, buf, w, h);
  const I32 n = (w >> 2) * (h >> 2);
  const std::int16_t m16 = static_cast<std::int16_t>(mean);
  const __m128i m = _mm_set1_epi16(m16);
  __m128i acc = _mm_setzero_si128();
  I32 i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i d = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(buf + i)),
                                                      _mm_setzero_si128()), m);
    acc = _mm_add_epi32(acc, _mm_madd_epi16(d, d));
  }
  U32 sum = Total32(acc);
  for (; i < n; ++i) {
    const std::int16_t d = static_cast<std::int16_t>(buf[i] - m16);
    sum += static_cast<U32>(d * d);
  }
  return static_cast<I32>(sum);
}

I32 DecimatedDeviation_C(const U8* src, U8* buf, I32 w, I32 h) {
  const I32 mean = Decimate4x4(src, buf, w, h);
  const I32 n = (w >> 2) * (h >> 2);
  std::int64_t sum = 0;
  for (I32 i = 0; i < n; ++i) sum += std::int64_t{buf[i] - mean} * (buf[i] - mean);
  return static_cast<I32>(sum);
}

// ---- Tables.

ZENTRA_ENGINE_TABLE(Variance16x16, &Variance16x16_Ipp, &Variance16x16_MmxA, &Variance16x16_C, &Variance16x16_MmxB,
                    &Variance16x16_MmxA);
ZENTRA_ENGINE_TABLE(Variance16xN, &Variance16xN_Mmx, &Variance16xN_Mmx, &Variance16xN_C, &Variance16xN_C,
                    &Variance16xN_C);
ZENTRA_ENGINE_TABLE_ONE_BUILD(MacroblockActivity, MacroblockActivity_C);
ZENTRA_ENGINE_TABLE(Decimate4x4, &Decimate4x4_C, &Decimate4x4_MmxExt, &Decimate4x4_C, &Decimate4x4_C, &Decimate4x4_CB);
ZENTRA_ENGINE_TABLE(DecimatedDeviation, &DecimatedDeviation_C, &DecimatedDeviation_Mmx, &DecimatedDeviation_C,
                    &DecimatedDeviation_C, &DecimatedDeviation_C);

}  // namespace zentra
