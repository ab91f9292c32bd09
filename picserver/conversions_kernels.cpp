// Row kernels of YuvPlanesToDib and RgbToYuvPlanes: the plain, SSE2 and AVX2
// builds side by side, bit-identical, and the one place that picks which runs.
#include <zentra/conversions.h>
#include <zentra/kernel_arithmetic.h>

#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zentra {

bool ConversionBuildRuns(int build) {
  switch (build) {
    case kConversionBuildC:
    case kConversionBuildSse2:
      return true;
    case kConversionBuildAvx2:
      // The query covers the operating system's saving of the 256-bit registers too.
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2") != 0;
    default:
      return false;
  }
}

// ---- YUV to B, G, R rows.
//
// Each colour is Y plus a scaled chroma term; since 8192*Y leaves the shift
// whole, (8192Y + 4096 + k*c) >> 13 = (32Y + 16 + floor(k*c*256 / 65536)) >> 5,
// which 16-bit lanes hold exactly: c*256 by mulhi for B and R, and for G the
// two products summed in 32 bits by madd and the high half kept.

namespace {

inline void ColourPixel(std::int32_t y, std::int32_t cb, std::int32_t cr, std::uint8_t* out) {
  cb -= 128;
  cr -= 128;
  out[0] = SaturateU8((8192 * y + 4096 + 14516 * cb) >> 13);
  out[1] = SaturateU8((8192 * y + 4096 - 2819 * cb - 5850 * cr) >> 13);
  out[2] = SaturateU8((8192 * y + 4096 + 11485 * cr) >> 13);
}

constexpr std::int32_t kGreenPair =
    static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<std::uint16_t>(-5850)) << 16) |
                              static_cast<std::uint16_t>(-2819));

}  // namespace

inline ChromaRow Offset(const ChromaRow& c, std::int32_t k) {
  return {c.cbEven + k, c.cbOdd + k, c.crEven + k, c.crOdd + k};
}

void YuvRowToBgr24_C(const std::uint8_t* y, const ChromaRow& chroma, const ChromaRow* below,
                     std::int32_t count, std::uint8_t* out) {
  for (std::int32_t x = 0; x < count; ++x) {
    const std::int32_t k = x >> 1;
    const bool odd = (x & 1) != 0;
    std::uint8_t cb = (odd ? chroma.cbOdd : chroma.cbEven)[k];
    std::uint8_t cr = (odd ? chroma.crOdd : chroma.crEven)[k];
    if (below != nullptr) {
      cb = AverageDown(cb, (odd ? below->cbOdd : below->cbEven)[k]);
      cr = AverageDown(cr, (odd ? below->crOdd : below->crEven)[k]);
    }
    ColourPixel(y[x], cb, cr, out + 3 * x);
  }
}

// Rows of at least one step finish with a step that ends at the last pixel (or
// the one before, to keep the step on an even pixel), overlapping pixels already
// written with the same bytes; a row shorter than a step goes to the narrower build.
template <class Step>
void RunSteps(std::int32_t count, std::int32_t width, const Step& step, const std::uint8_t* y,
              const ChromaRow& chroma, const ChromaRow* below, std::uint8_t* out) {
  std::int32_t x = 0;
  for (; x + width <= count; x += width) step(x);
  if (x == count) return;
  const std::int32_t last = (count - width) & ~1;
  step(last);
  if (last + width < count) {
    const std::int32_t rest = last + width;
    const ChromaRow c = Offset(chroma, rest / 2);
    const ChromaRow b = below != nullptr ? Offset(*below, rest / 2) : ChromaRow{};
    YuvRowToBgr24_C(y + rest, c, below != nullptr ? &b : nullptr, count - rest, out + 3 * rest);
  }
}

// 32 pixels a step. The lanes hold pixels by their position modulo 4 (lane g of
// vector j is pixel 4g + j), which the parity-split chroma gives by a mask or a
// shift, and which packs into the output with whole-word unpacks: a group of
// four pixels is the three 32-bit words (B0 G0 R0 B1) (G1 R1 B2 G2) (R2 B3 G3 R3),
// each two byte pairs, and the groups then interleave by 32-bit shuffles.
namespace sse2 {

struct Constants {
  __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
  __m128i one = _mm_set1_epi8(1);
  __m128i highByte = _mm_set1_epi16(static_cast<short>(0xFF00));
  __m128i lowByte = _mm_set1_epi16(0x00FF);
  __m128i lumaMask = _mm_set1_epi16(0x1FE0);
  __m128i half = _mm_set1_epi16(16);
  __m128i blue = _mm_set1_epi16(14516);
  __m128i red = _mm_set1_epi16(11485);
  __m128i green = _mm_set1_epi32(kGreenPair);
};

inline __m128i Load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// Chroma bytes with the top bit flipped (c - 128 as a signed byte); with a row
// below, their truncated mean first (pavgb rounds up; the odd bit of a^b comes off).
template <bool kMean>
inline __m128i ChromaBytes(const Constants& k, const std::uint8_t* p, const std::uint8_t* q) {
  __m128i v = Load(p);
  if constexpr (kMean) {
    const __m128i w = Load(q);
    v = AverageDownEpu8(v, w);
  }
  return _mm_xor_si128(v, k.flip);
}

// 32Y + 16 of the low or high byte of each 16-bit lane.
inline __m128i Luma32(const Constants& k, __m128i bytes, bool high) {
  const __m128i s = high ? _mm_srli_epi16(bytes, 3) : _mm_slli_epi16(bytes, 5);
  return _mm_or_si128(_mm_and_si128(s, k.lumaMask), k.half);
}

// (c - 128) * 256 of the low or high byte of each lane.
inline __m128i Chroma256(const Constants& k, __m128i flipped, bool high) {
  return high ? _mm_and_si128(flipped, k.highByte) : _mm_slli_epi16(flipped, 8);
}

inline __m128i Single(__m128i luma, __m128i chroma, __m128i coefficient) {
  return _mm_srai_epi16(_mm_add_epi16(luma, _mm_mulhi_epi16(chroma, coefficient)), 5);
}

inline __m128i Green(const Constants& k, __m128i luma, __m128i cb, __m128i cr) {
  const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(cb, cr), k.green);
  const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(cb, cr), k.green);
  return _mm_srai_epi16(_mm_add_epi16(luma, _mm_packs_epi32(_mm_srai_epi32(lo, 16), _mm_srai_epi32(hi, 16))), 5);
}

// Three 16-byte stores from the 32-bit words D0, D1, D2 of four pixel groups.
inline void StoreGroups(__m128i d0i, __m128i d1i, __m128i d2i, std::uint8_t* out) {
  const __m128 d0 = _mm_castsi128_ps(d0i), d1 = _mm_castsi128_ps(d1i), d2 = _mm_castsi128_ps(d2i);
  const __m128 l01 = _mm_unpacklo_ps(d0, d1), h01 = _mm_unpackhi_ps(d0, d1);
  const __m128 l12 = _mm_unpacklo_ps(d1, d2), h12 = _mm_unpackhi_ps(d1, d2);
  const __m128 t = _mm_shuffle_ps(d2, d0, _MM_SHUFFLE(3, 1, 2, 0));  // D2_0 D2_2 D0_1 D0_3
  _mm_storeu_ps(reinterpret_cast<float*>(out), _mm_shuffle_ps(l01, t, _MM_SHUFFLE(2, 0, 1, 0)));
  _mm_storeu_ps(reinterpret_cast<float*>(out + 16), _mm_shuffle_ps(l12, h01, _MM_SHUFFLE(1, 0, 3, 2)));
  _mm_storeu_ps(reinterpret_cast<float*>(out + 32), _mm_shuffle_ps(t, h12, _MM_SHUFFLE(3, 2, 3, 1)));
}

template <bool kMean>
inline void Step(const Constants& k, const std::uint8_t* y, const ChromaRow& a, const ChromaRow& b,
                 std::int32_t x, std::uint8_t* out) {
  const __m128i ya = Load(y + x), yb = Load(y + x + 16);
  // Luma by parity: byte i of ye is pixel 2i, of yo pixel 2i+1, as in the chroma.
  const __m128i ye = _mm_packus_epi16(_mm_and_si128(ya, k.lowByte), _mm_and_si128(yb, k.lowByte));
  const __m128i yo = _mm_packus_epi16(_mm_srli_epi16(ya, 8), _mm_srli_epi16(yb, 8));
  const std::int32_t c = x >> 1;
  const __m128i be = ChromaBytes<kMean>(k, a.cbEven + c, b.cbEven + c);
  const __m128i bo = ChromaBytes<kMean>(k, a.cbOdd + c, b.cbOdd + c);
  const __m128i re = ChromaBytes<kMean>(k, a.crEven + c, b.crEven + c);
  const __m128i ro = ChromaBytes<kMean>(k, a.crOdd + c, b.crOdd + c);

  // Residues in the order that lets each pack start early: 0, 1, 3, 2.
  const __m128i y0 = Luma32(k, ye, false), b0 = Chroma256(k, be, false), r0 = Chroma256(k, re, false);
  const __m128i p0 = _mm_packus_epi16(Single(y0, b0, k.blue), Single(y0, r0, k.red));  // B0 | R0
  const __m128i g0 = Green(k, y0, b0, r0);
  const __m128i y1 = Luma32(k, yo, false), b1 = Chroma256(k, bo, false), r1 = Chroma256(k, ro, false);
  const __m128i p1 = _mm_packus_epi16(g0, Single(y1, b1, k.blue));  // G0 | B1
  const __m128i red1 = Single(y1, r1, k.red), green1 = Green(k, y1, b1, r1);
  const __m128i y3 = Luma32(k, yo, true), b3 = Chroma256(k, bo, true), r3 = Chroma256(k, ro, true);
  const __m128i blue3 = Single(y3, b3, k.blue);
  const __m128i p3 = _mm_packus_epi16(red1, Single(y3, r3, k.red));  // R1 | R3
  const __m128i p2 = _mm_packus_epi16(green1, Green(k, y3, b3, r3));  // G1 | G3
  const __m128i y2 = Luma32(k, ye, true), b2 = Chroma256(k, be, true), r2 = Chroma256(k, re, true);
  const __m128i p4 = _mm_packus_epi16(Single(y2, b2, k.blue), Single(y2, r2, k.red));  // B2 | R2
  const __m128i p5 = _mm_packus_epi16(Green(k, y2, b2, r2), blue3);                   // G2 | B3

  const __m128i b0g0 = _mm_unpacklo_epi8(p0, p1), r0b1 = _mm_unpackhi_epi8(p0, p1);
  const __m128i g1r1 = _mm_unpacklo_epi8(p2, p3), g3r3 = _mm_unpackhi_epi8(p2, p3);
  const __m128i b2g2 = _mm_unpacklo_epi8(p4, p5), r2b3 = _mm_unpackhi_epi8(p4, p5);
  std::uint8_t* o = out + 3 * x;
  StoreGroups(_mm_unpacklo_epi16(b0g0, r0b1), _mm_unpacklo_epi16(g1r1, b2g2), _mm_unpacklo_epi16(r2b3, g3r3), o);
  StoreGroups(_mm_unpackhi_epi16(b0g0, r0b1), _mm_unpackhi_epi16(g1r1, b2g2), _mm_unpackhi_epi16(r2b3, g3r3),
              o + 48);
}

}  // namespace sse2

void YuvRowToBgr24_Sse2(const std::uint8_t* y, const ChromaRow& chroma, const ChromaRow* below,
                        std::int32_t count, std::uint8_t* out) {
  if (count < 32) return YuvRowToBgr24_C(y, chroma, below, count, out);
  const sse2::Constants k;
  if (below != nullptr)
    RunSteps(count, 32, [&](std::int32_t x) { sse2::Step<true>(k, y, chroma, *below, x, out); }, y, chroma,
             below, out);
  else
    RunSteps(count, 32, [&](std::int32_t x) { sse2::Step<false>(k, y, chroma, chroma, x, out); }, y, chroma,
             below, out);
}

// The SSE2 step in 256-bit registers: each 128-bit half does it on its own 32
// pixels (the unpacks and packs work within halves), 64 pixels a step.
#define ZENTRA_AVX2 __attribute__((target("avx2")))

namespace avx2 {

struct Constants {
  __m256i flip, one, highByte, lowByte, lumaMask, half, blue, red, green;
};

ZENTRA_AVX2 inline Constants MakeConstants() {
  return {_mm256_set1_epi8(static_cast<char>(0x80)), _mm256_set1_epi8(1),
          _mm256_set1_epi16(static_cast<short>(0xFF00)), _mm256_set1_epi16(0x00FF),
          _mm256_set1_epi16(0x1FE0), _mm256_set1_epi16(16),
          _mm256_set1_epi16(14516), _mm256_set1_epi16(11485),
          _mm256_set1_epi32(kGreenPair)};
}

ZENTRA_AVX2 inline __m256i Load(const std::uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

template <bool kMean>
ZENTRA_AVX2 inline __m256i ChromaBytes(const Constants& k, const std::uint8_t* p, const std::uint8_t* q) {
  __m256i v = Load(p);
  if constexpr (kMean) {
    const __m256i w = Load(q);
    v = _mm256_sub_epi8(_mm256_avg_epu8(v, w), _mm256_and_si256(_mm256_xor_si256(v, w), k.one));
  }
  return _mm256_xor_si256(v, k.flip);
}

ZENTRA_AVX2 inline __m256i Luma32(const Constants& k, __m256i bytes, bool high) {
  const __m256i s = high ? _mm256_srli_epi16(bytes, 3) : _mm256_slli_epi16(bytes, 5);
  return _mm256_or_si256(_mm256_and_si256(s, k.lumaMask), k.half);
}

ZENTRA_AVX2 inline __m256i Chroma256(const Constants& k, __m256i flipped, bool high) {
  return high ? _mm256_and_si256(flipped, k.highByte) : _mm256_slli_epi16(flipped, 8);
}

ZENTRA_AVX2 inline __m256i Single(__m256i luma, __m256i chroma, __m256i coefficient) {
  return _mm256_srai_epi16(_mm256_add_epi16(luma, _mm256_mulhi_epi16(chroma, coefficient)), 5);
}

ZENTRA_AVX2 inline __m256i Green(const Constants& k, __m256i luma, __m256i cb, __m256i cr) {
  const __m256i lo = _mm256_madd_epi16(_mm256_unpacklo_epi16(cb, cr), k.green);
  const __m256i hi = _mm256_madd_epi16(_mm256_unpackhi_epi16(cb, cr), k.green);
  return _mm256_srai_epi16(
      _mm256_add_epi16(luma, _mm256_packs_epi32(_mm256_srai_epi32(lo, 16), _mm256_srai_epi32(hi, 16))), 5);
}

// The three output words of four groups in each half, as in the SSE2 build.
struct Groups {
  __m256i o0, o1, o2;
};

ZENTRA_AVX2 inline Groups InterleaveGroups(__m256i d0i, __m256i d1i, __m256i d2i) {
  const __m256 d0 = _mm256_castsi256_ps(d0i), d1 = _mm256_castsi256_ps(d1i), d2 = _mm256_castsi256_ps(d2i);
  const __m256 l01 = _mm256_unpacklo_ps(d0, d1), h01 = _mm256_unpackhi_ps(d0, d1);
  const __m256 l12 = _mm256_unpacklo_ps(d1, d2), h12 = _mm256_unpackhi_ps(d1, d2);
  const __m256 t = _mm256_shuffle_ps(d2, d0, _MM_SHUFFLE(3, 1, 2, 0));
  return {_mm256_castps_si256(_mm256_shuffle_ps(l01, t, _MM_SHUFFLE(2, 0, 1, 0))),
          _mm256_castps_si256(_mm256_shuffle_ps(l12, h01, _MM_SHUFFLE(1, 0, 3, 2))),
          _mm256_castps_si256(_mm256_shuffle_ps(t, h12, _MM_SHUFFLE(3, 2, 3, 1)))};
}

template <bool kMean>
ZENTRA_AVX2 inline void Step(const Constants& k, const std::uint8_t* y, const ChromaRow& a, const ChromaRow& b,
                             std::int32_t x, std::uint8_t* out) {
  // Low halves take pixels 0..31 of the step, high halves 32..63.
  const __m256i v0 = Load(y + x), v1 = Load(y + x + 32);
  const __m256i ya = _mm256_permute2x128_si256(v0, v1, 0x20), yb = _mm256_permute2x128_si256(v0, v1, 0x31);
  const __m256i ye = _mm256_packus_epi16(_mm256_and_si256(ya, k.lowByte), _mm256_and_si256(yb, k.lowByte));
  const __m256i yo = _mm256_packus_epi16(_mm256_srli_epi16(ya, 8), _mm256_srli_epi16(yb, 8));
  const std::int32_t c = x >> 1;
  const __m256i be = ChromaBytes<kMean>(k, a.cbEven + c, b.cbEven + c);
  const __m256i bo = ChromaBytes<kMean>(k, a.cbOdd + c, b.cbOdd + c);
  const __m256i re = ChromaBytes<kMean>(k, a.crEven + c, b.crEven + c);
  const __m256i ro = ChromaBytes<kMean>(k, a.crOdd + c, b.crOdd + c);

  const __m256i y0 = Luma32(k, ye, false), b0 = Chroma256(k, be, false), r0 = Chroma256(k, re, false);
  const __m256i p0 = _mm256_packus_epi16(Single(y0, b0, k.blue), Single(y0, r0, k.red));
  const __m256i g0 = Green(k, y0, b0, r0);
  const __m256i y1 = Luma32(k, yo, false), b1 = Chroma256(k, bo, false), r1 = Chroma256(k, ro, false);
  const __m256i p1 = _mm256_packus_epi16(g0, Single(y1, b1, k.blue));
  const __m256i red1 = Single(y1, r1, k.red), green1 = Green(k, y1, b1, r1);
  const __m256i y3 = Luma32(k, yo, true), b3 = Chroma256(k, bo, true), r3 = Chroma256(k, ro, true);
  const __m256i blue3 = Single(y3, b3, k.blue);
  const __m256i p3 = _mm256_packus_epi16(red1, Single(y3, r3, k.red));
  const __m256i p2 = _mm256_packus_epi16(green1, Green(k, y3, b3, r3));
  const __m256i y2 = Luma32(k, ye, true), b2 = Chroma256(k, be, true), r2 = Chroma256(k, re, true);
  const __m256i p4 = _mm256_packus_epi16(Single(y2, b2, k.blue), Single(y2, r2, k.red));
  const __m256i p5 = _mm256_packus_epi16(Green(k, y2, b2, r2), blue3);

  const __m256i b0g0 = _mm256_unpacklo_epi8(p0, p1), r0b1 = _mm256_unpackhi_epi8(p0, p1);
  const __m256i g1r1 = _mm256_unpacklo_epi8(p2, p3), g3r3 = _mm256_unpackhi_epi8(p2, p3);
  const __m256i b2g2 = _mm256_unpacklo_epi8(p4, p5), r2b3 = _mm256_unpackhi_epi8(p4, p5);
  const Groups lo = InterleaveGroups(_mm256_unpacklo_epi16(b0g0, r0b1), _mm256_unpacklo_epi16(g1r1, b2g2),
                                     _mm256_unpacklo_epi16(r2b3, g3r3));
  const Groups hi = InterleaveGroups(_mm256_unpackhi_epi16(b0g0, r0b1), _mm256_unpackhi_epi16(g1r1, b2g2),
                                     _mm256_unpackhi_epi16(r2b3, g3r3));
  // Low halves hold bytes 0..95 of the step, high halves bytes 96..191.
  auto* o = reinterpret_cast<__m256i*>(out + 3 * x);
  _mm256_storeu_si256(o, _mm256_permute2x128_si256(lo.o0, lo.o1, 0x20));
  _mm256_storeu_si256(o + 1, _mm256_permute2x128_si256(lo.o2, hi.o0, 0x20));
  _mm256_storeu_si256(o + 2, _mm256_permute2x128_si256(hi.o1, hi.o2, 0x20));
  _mm256_storeu_si256(o + 3, _mm256_permute2x128_si256(lo.o0, lo.o1, 0x31));
  _mm256_storeu_si256(o + 4, _mm256_permute2x128_si256(lo.o2, hi.o0, 0x31));
  _mm256_storeu_si256(o + 5, _mm256_permute2x128_si256(hi.o1, hi.o2, 0x31));
}

template <bool kMean>
ZENTRA_AVX2 void Row(const std::uint8_t* y, const ChromaRow& chroma, const ChromaRow& below, std::int32_t count,
                     std::uint8_t* out) {
  const Constants k = MakeConstants();
  std::int32_t x = 0;
  for (; x + 64 <= count; x += 64) Step<kMean>(k, y, chroma, below, x, out);
  if (x < count) Step<kMean>(k, y, chroma, below, (count - 64) & ~1, out);
}

}  // namespace avx2

ZENTRA_AVX2 void YuvRowToBgr24_Avx2(const std::uint8_t* y, const ChromaRow& chroma, const ChromaRow* below,
                                    std::int32_t count, std::uint8_t* out) {
  if (count < 64) return YuvRowToBgr24_Sse2(y, chroma, below, count, out);
  if (below != nullptr)
    avx2::Row<true>(y, chroma, *below, count, out);
  else
    avx2::Row<false>(y, chroma, chroma, count, out);
  _mm256_zeroupper();
  // An odd count leaves its last pixel after the even-aligned final step.
  if ((count & 1) != 0 && ((count - 64) & ~1) + 64 < count) {
    const std::int32_t rest = count - 1;
    const ChromaRow c = Offset(chroma, rest / 2);
    const ChromaRow b = below != nullptr ? Offset(*below, rest / 2) : ChromaRow{};
    YuvRowToBgr24_C(y + rest, c, below != nullptr ? &b : nullptr, 1, out + 3 * rest);
  }
}

const YuvToDibKernels YuvToDibBuilds[3] = {
    {"C", kConversionBuildC, &YuvRowToBgr24_C},
    {"Sse2", kConversionBuildSse2, &YuvRowToBgr24_Sse2},
    {"Avx2", kConversionBuildAvx2, &YuvRowToBgr24_Avx2},
};

// ---- RGB to YUV 4:2:0 rows.
//
// Each table entry is 256*i*c truncated, c a single-precision coefficient whose
// 256-fold has at most 11 fractional bits: entry i = i*whole + floor(i*frac/2048)
// exactly, with frac < 65536. The vector build forms i*whole with madd and the
// floor term with an unsigned mulhi of i*32, so it sums the same integers as the
// tables. The green input enters as 2g so that whole stays within 16 bits.

namespace {

struct SplitTerm {
  std::int16_t whole;
  std::uint16_t frac;
};

SplitTerm Split(float coefficient, int inputScale) {
  const double v = 256.0 * static_cast<double>(coefficient);  // exact
  const double whole = std::floor(v / inputScale);
  return {static_cast<std::int16_t>(whole), static_cast<std::uint16_t>((v - whole * inputScale) * 2048.0)};
}

struct RgbSplit {
  SplitTerm yR, yG, yB, cbR, cbG, cbB, crR, crG, crB;
};

const RgbSplit& SplitTerms() {
  static const RgbSplit split = {Split(65.481f, 1), Split(128.553f, 2), Split(24.966f, 1),
                                 Split(37.797f, 1), Split(74.203f, 2),  Split(112.0f, 1),
                                 Split(112.0f, 1),  Split(93.786f, 2),  Split(18.214f, 1)};
  return split;
}

struct PixelYuv {
  std::int32_t y, cb, cr;
};

inline PixelYuv RgbPixel(const RgbToYuvTables& t, const std::uint8_t* p) {
  const int red = p[0], green = p[1], blue = p[2];
  return {(1048576 + t.y65481[red] + t.y128553[green] + t.y24966[blue]) >> 16,
          (8388608 - t.cb37797[red] - t.cb74203[green] + t.c112[blue]) >> 16,
          (8388608 + t.c112[red] - t.cr93786[green] - t.cr18214[blue]) >> 16};
}

// Pixels from..width-1 of the pair (from even), in plain arithmetic.
void RgbRowPairTail(const std::uint8_t* top, const std::uint8_t* bottom, std::int32_t from,
                    std::int32_t width, std::uint8_t* yTop, std::uint8_t* yBottom, std::uint8_t* u,
                    std::uint8_t* v) {
  const RgbToYuvTables& t = BuildConversionTables();
  for (std::int32_t x = from; x < width; x += 2) {
    const PixelYuv a = RgbPixel(t, top + 3 * x), c = RgbPixel(t, bottom + 3 * x);
    yTop[x] = static_cast<std::uint8_t>(a.y);
    yBottom[x] = static_cast<std::uint8_t>(c.y);
    if (x + 1 == width) break;  // an odd last column has no chroma sample
    const PixelYuv b = RgbPixel(t, top + 3 * x + 3), d = RgbPixel(t, bottom + 3 * x + 3);
    yTop[x + 1] = static_cast<std::uint8_t>(b.y);
    yBottom[x + 1] = static_cast<std::uint8_t>(d.y);
    u[x / 2] = static_cast<std::uint8_t>((a.cb + b.cb + c.cb + d.cb) >> 2);
    v[x / 2] = static_cast<std::uint8_t>((a.cr + b.cr + c.cr + d.cr) >> 2);
  }
}

}  // namespace

void RgbRowPairToYuv420_C(const std::uint8_t* top, const std::uint8_t* bottom, std::int32_t width,
                          std::uint8_t* yTop, std::uint8_t* yBottom, std::uint8_t* u,
                          std::uint8_t* v) {
  RgbRowPairTail(top, bottom, 0, width, yTop, yBottom, u, v);
}

namespace sse2 {

struct RgbConstants {
  __m128i yRG, yB1, cbRG, cbB1, crRG, crB1;    // madd pairs (whole of r, of 2g), (whole of b, 1)
  __m128i yR, yG, yB, cbR, cbG, cbB, crR, crG, crB;  // fractions for the unsigned mulhi
};

inline __m128i Pair(std::int32_t a, std::int32_t b) {
  return _mm_set1_epi32(static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<std::uint16_t>(b)) << 16) |
                                                  static_cast<std::uint16_t>(a)));
}

inline RgbConstants MakeRgbConstants(const RgbSplit& s) {
  auto frac = [](SplitTerm t) { return _mm_set1_epi16(static_cast<short>(t.frac)); };
  return {Pair(s.yR.whole, s.yG.whole),    Pair(s.yB.whole, 1),
          Pair(-s.cbR.whole, -s.cbG.whole), Pair(s.cbB.whole, 1),
          Pair(s.crR.whole, -s.crG.whole),  Pair(-s.crB.whole, 1),
          frac(s.yR),  frac(s.yG),  frac(s.yB),  frac(s.cbR), frac(s.cbG),
          frac(s.cbB), frac(s.crR), frac(s.crG), frac(s.crB)};
}

struct Yuv8 {
  __m128i y, cb, cr;  // eight pixels, 16-bit
};

// (sum of the two madds) >> 16 for eight pixels in two halves, packed to 16 bits.
inline __m128i HighSums(__m128i rgLo, __m128i rgHi, __m128i b, __m128i f, __m128i rgPair, __m128i b1Pair) {
  const __m128i lo = _mm_add_epi32(_mm_madd_epi16(rgLo, rgPair), _mm_madd_epi16(_mm_unpacklo_epi16(b, f), b1Pair));
  const __m128i hi = _mm_add_epi32(_mm_madd_epi16(rgHi, rgPair), _mm_madd_epi16(_mm_unpackhi_epi16(b, f), b1Pair));
  return _mm_packs_epi32(_mm_srai_epi32(lo, 16), _mm_srai_epi32(hi, 16));
}

inline Yuv8 ConvertEight(const RgbConstants& k, __m128i r, __m128i g, __m128i b) {
  const __m128i r32 = _mm_slli_epi16(r, 5), g32 = _mm_slli_epi16(g, 5), b32 = _mm_slli_epi16(b, 5);
  const __m128i g2 = _mm_add_epi16(g, g);
  const __m128i rgLo = _mm_unpacklo_epi16(r, g2), rgHi = _mm_unpackhi_epi16(r, g2);
  // The floor terms: fY = fR + fG + fB, for chroma the signs of the formulas.
  const __m128i fy = _mm_add_epi16(_mm_add_epi16(_mm_mulhi_epu16(r32, k.yR), _mm_mulhi_epu16(g32, k.yG)),
                                   _mm_mulhi_epu16(b32, k.yB));
  const __m128i fcb = _mm_sub_epi16(_mm_mulhi_epu16(b32, k.cbB),
                                    _mm_add_epi16(_mm_mulhi_epu16(r32, k.cbR), _mm_mulhi_epu16(g32, k.cbG)));
  const __m128i fcr = _mm_sub_epi16(_mm_mulhi_epu16(r32, k.crR),
                                    _mm_add_epi16(_mm_mulhi_epu16(g32, k.crG), _mm_mulhi_epu16(b32, k.crB)));
  return {_mm_add_epi16(HighSums(rgLo, rgHi, b, fy, k.yRG, k.yB1), _mm_set1_epi16(16)),
          _mm_add_epi16(HighSums(rgLo, rgHi, b, fcb, k.cbRG, k.cbB1), _mm_set1_epi16(128)),
          _mm_add_epi16(HighSums(rgLo, rgHi, b, fcr, k.crRG, k.crB1), _mm_set1_epi16(128))};
}

// 32 pixels of R, G, B bytes to the channels split by parity: after four rounds
// of byte interleaving of vectors i and i+3 the 96 bytes stand as R, G, B of the
// even pixels, then R, G, B of the odd pixels.
inline void SplitRgb(const std::uint8_t* p, __m128i planes[6]) {
  __m128i a[6];
  for (int i = 0; i < 6; ++i) a[i] = Load(p + 16 * i);
  for (int round = 0; round < 4; ++round) {
    __m128i b[6];
    for (int i = 0; i < 3; ++i) {
      b[2 * i] = _mm_unpacklo_epi8(a[i], a[i + 3]);
      b[2 * i + 1] = _mm_unpackhi_epi8(a[i], a[i + 3]);
    }
    std::memcpy(a, b, sizeof a);
  }
  std::memcpy(planes, a, sizeof a);
}

}  // namespace sse2

void RgbRowPairToYuv420_Sse2(const std::uint8_t* top, const std::uint8_t* bottom,
                             std::int32_t width, std::uint8_t* yTop, std::uint8_t* yBottom,
                             std::uint8_t* u, std::uint8_t* v) {
  using namespace sse2;
  const RgbConstants k = MakeRgbConstants(SplitTerms());
  const __m128i zero = _mm_setzero_si128();
  std::int32_t x = 0;
  for (; x + 32 <= width; x += 32) {
    __m128i cbSum[2] = {zero, zero}, crSum[2] = {zero, zero};  // chroma samples 0..7, 8..15
    for (int row = 0; row < 2; ++row) {
      __m128i planes[6];
      SplitRgb((row == 0 ? top : bottom) + 3 * x, planes);
      __m128i luma[2];  // even pixels, odd pixels
      for (int parity = 0; parity < 2; ++parity) {
        const __m128i* c = planes + 3 * parity;
        const Yuv8 lo = ConvertEight(k, _mm_unpacklo_epi8(c[0], zero), _mm_unpacklo_epi8(c[1], zero),
                                     _mm_unpacklo_epi8(c[2], zero));
        const Yuv8 hi = ConvertEight(k, _mm_unpackhi_epi8(c[0], zero), _mm_unpackhi_epi8(c[1], zero),
                                     _mm_unpackhi_epi8(c[2], zero));
        luma[parity] = _mm_packus_epi16(lo.y, hi.y);
        cbSum[0] = _mm_add_epi16(cbSum[0], lo.cb);
        cbSum[1] = _mm_add_epi16(cbSum[1], hi.cb);
        crSum[0] = _mm_add_epi16(crSum[0], lo.cr);
        crSum[1] = _mm_add_epi16(crSum[1], hi.cr);
      }
      std::uint8_t* yRow = (row == 0 ? yTop : yBottom) + x;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(yRow), _mm_unpacklo_epi8(luma[0], luma[1]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(yRow + 16), _mm_unpackhi_epi8(luma[0], luma[1]));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(u + x / 2),
                     _mm_packus_epi16(_mm_srli_epi16(cbSum[0], 2), _mm_srli_epi16(cbSum[1], 2)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(v + x / 2),
                     _mm_packus_epi16(_mm_srli_epi16(crSum[0], 2), _mm_srli_epi16(crSum[1], 2)));
  }
  if (x < width) RgbRowPairTail(top, bottom, x, width, yTop, yBottom, u, v);
}

const RgbToYuvKernels RgbToYuvBuilds[2] = {
    {"C", kConversionBuildC, &RgbRowPairToYuv420_C},
    {"Sse2", kConversionBuildSse2, &RgbRowPairToYuv420_Sse2},
};

// ---- The running builds: the widest each family has that the processor runs.

const YuvToDibKernels& RunningYuvToDibBuild() {
  static const YuvToDibKernels& running =
      ConversionBuildRuns(kConversionBuildAvx2) ? YuvToDibBuilds[kConversionBuildAvx2]
                                                : YuvToDibBuilds[kConversionBuildSse2];
  return running;
}

const RgbToYuvKernels& RunningRgbToYuvBuild() { return RgbToYuvBuilds[kConversionBuildSse2]; }

}  // namespace zentra
