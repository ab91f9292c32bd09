// The AVI road's bitmap rows back to planes: plain code and an SSSE3 build that gives the
// same bytes, sixteen pixels of two rows at a time.
#include "bitmap_rows.h"

#include <immintrin.h>

#include <array>

namespace outside {

namespace {

// Coefficients in units of 2^-16; each row sums to 65536 (Y) or 0 (U, V).
constexpr std::int32_t kYr = 19595, kYg = 38470, kYb = 7471;
constexpr std::int32_t kUr = -11059, kUg = -21709, kUb = 32768;
constexpr std::int32_t kVr = 32768, kVg = -27439, kVb = -5329;
// Chroma from the sums of four pixels: 128 and the rounding, in units of 2^-18.
constexpr std::int32_t kChromaBias = (128 << 18) + (1 << 17);

inline std::uint8_t Luma(std::int32_t r, std::int32_t g, std::int32_t b) {
  return static_cast<std::uint8_t>((kYr * r + kYg * g + kYb * b + 32768) >> 16);
}

// 128 +- 127.5 at the extremes: only pure blue or red round up past 255.
inline std::uint8_t Chroma(std::int32_t sum) {
  const std::int32_t c = (sum + kChromaBias) >> 18;
  return static_cast<std::uint8_t>(c > 255 ? 255 : c);
}

// The two bitmap rows from `row` on and the plane rows they give.
struct RowPair {
  RowPair(const BitmapToPlanes& p, int row)
      : p0(p.top + p.stride * row), p1(p0 + p.stride), y0(p.y + p.yStride * row), y1(y0 + p.yStride),
        u(p.u + p.uStride * (row / 2)), v(p.v + p.vStride * (row / 2)) {}
  const std::uint8_t *p0, *p1;
  std::uint8_t *y0, *y1, *u, *v;
};

// Columns x0 to the width of the two rows from `row` on.
void PlainColumns(const BitmapToPlanes& p, int row, int x0) {
  const auto [p0, p1, y0, y1, u, v] = RowPair(p, row);
  for (int x = x0; x < p.width; x += 2) {
    const std::uint8_t* a = p0 + 3 * x;
    const std::uint8_t* b = p1 + 3 * x;
    y0[x] = Luma(a[2], a[1], a[0]);
    y0[x + 1] = Luma(a[5], a[4], a[3]);
    y1[x] = Luma(b[2], b[1], b[0]);
    y1[x + 1] = Luma(b[5], b[4], b[3]);
    const std::int32_t bs = a[0] + a[3] + b[0] + b[3], gs = a[1] + a[4] + b[1] + b[4], rs = a[2] + a[5] + b[2] + b[5];
    u[x / 2] = Chroma(kUr * rs + kUg * gs + kUb * bs);
    v[x / 2] = Chroma(kVr * rs + kVg * gs + kVb * bs);
  }
}

// pshufb masks that gather channel c (0 B, 1 G, 2 R) of 16 pixels from each of the three
// 16-byte parts of their 48 bytes; 0x80 leaves a byte zero.
constexpr std::array<std::array<std::uint8_t, 16>, 9> MakeGatherMasks() {
  std::array<std::array<std::uint8_t, 16>, 9> m{};
  for (int c = 0; c < 3; ++c)
    for (int part = 0; part < 3; ++part)
      for (int i = 0; i < 16; ++i) {
        const int byte = 3 * i + c;
        m[c * 3 + part][i] = byte / 16 == part ? static_cast<std::uint8_t>(byte % 16) : 0x80;
      }
  return m;
}
alignas(16) constexpr auto kGather = MakeGatherMasks();

struct Channels {
  __m128i b, g, r;
};

__attribute__((target("ssse3"))) inline __m128i Gather(const __m128i in[3], int c) {
  const auto* m = reinterpret_cast<const __m128i*>(kGather.data());
  return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(in[0], _mm_load_si128(m + 3 * c)),
                                   _mm_shuffle_epi8(in[1], _mm_load_si128(m + 3 * c + 1))),
                      _mm_shuffle_epi8(in[2], _mm_load_si128(m + 3 * c + 2)));
}

__attribute__((target("ssse3"))) inline Channels Load16(const std::uint8_t* p) {
  const __m128i in[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32))};
  return {Gather(in, 0), Gather(in, 1), Gather(in, 2)};
}

// Luma of 8 pixels given as 16-bit lanes: (R, 2G) . (kYr, kYg / 2) + (B, 2) . (kYb, 16384).
__attribute__((target("ssse3"))) inline __m128i Luma8(__m128i r, __m128i g, __m128i b) {
  const __m128i rgCoefficients = _mm_set1_epi32((kYg / 2) << 16 | kYr);
  const __m128i bCoefficients = _mm_set1_epi32(16384 << 16 | kYb);
  const __m128i two = _mm_set1_epi16(2);
  const __m128i g2 = _mm_add_epi16(g, g);
  const __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(r, g2), rgCoefficients),
                                   _mm_madd_epi16(_mm_unpacklo_epi16(b, two), bCoefficients));
  const __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(r, g2), rgCoefficients),
                                   _mm_madd_epi16(_mm_unpackhi_epi16(b, two), bCoefficients));
  return _mm_packs_epi32(_mm_srli_epi32(lo, 16), _mm_srli_epi32(hi, 16));
}

__attribute__((target("ssse3"))) inline void StoreLuma16(const Channels& c, std::uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = Luma8(_mm_unpacklo_epi8(c.r, zero), _mm_unpacklo_epi8(c.g, zero), _mm_unpacklo_epi8(c.b, zero));
  const __m128i hi = Luma8(_mm_unpackhi_epi8(c.r, zero), _mm_unpackhi_epi8(c.g, zero), _mm_unpackhi_epi8(c.b, zero));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(lo, hi));
}

// Four chroma samples from 32-bit lanes: pairs (x, y) . (cx, cy) plus z << 15, biased and
// shifted; the 16-bit lanes hold sums of four pixels, at most 1020.
__attribute__((target("ssse3"))) inline __m128i Chroma4(__m128i xy, __m128i coefficients, __m128i z) {
  const __m128i sum = _mm_add_epi32(_mm_madd_epi16(xy, coefficients), _mm_slli_epi32(z, 15));
  return _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(kChromaBias)), 18);
}

__attribute__((target("ssse3"))) void Ssse3Rows(const BitmapToPlanes& p, int firstRow, int rows) {
  const __m128i ones = _mm_set1_epi8(1);
  const __m128i zero = _mm_setzero_si128();
  const __m128i uCoefficients = _mm_set1_epi32(static_cast<std::int32_t>(static_cast<std::uint32_t>(kUg) << 16) |
                                               (kUr & 0xFFFF));
  const __m128i vCoefficients = _mm_set1_epi32(static_cast<std::int32_t>(static_cast<std::uint32_t>(kVb) << 16) |
                                               (kVg & 0xFFFF));
  const int whole = p.width & ~15;
  for (int row = firstRow; row < firstRow + rows; row += 2) {
    const auto [p0, p1, y0, y1, u, v] = RowPair(p, row);
    for (int x = 0; x < whole; x += 16) {
      const Channels a = Load16(p0 + 3 * x), b = Load16(p1 + 3 * x);
      StoreLuma16(a, y0 + x);
      StoreLuma16(b, y1 + x);
      // Sums of each 2x2 block: adjacent bytes added by multiplying with ones.
      const __m128i bs = _mm_add_epi16(_mm_maddubs_epi16(a.b, ones), _mm_maddubs_epi16(b.b, ones));
      const __m128i gs = _mm_add_epi16(_mm_maddubs_epi16(a.g, ones), _mm_maddubs_epi16(b.g, ones));
      const __m128i rs = _mm_add_epi16(_mm_maddubs_epi16(a.r, ones), _mm_maddubs_epi16(b.r, ones));
      // U: (R, G) . (kUr, kUg) + B << 15; V: (G, B) . (kVg, kVb) + R << 15.
      const __m128i uLo = Chroma4(_mm_unpacklo_epi16(rs, gs), uCoefficients, _mm_unpacklo_epi16(bs, zero));
      const __m128i uHi = Chroma4(_mm_unpackhi_epi16(rs, gs), uCoefficients, _mm_unpackhi_epi16(bs, zero));
      const __m128i vLo = Chroma4(_mm_unpacklo_epi16(gs, bs), vCoefficients, _mm_unpacklo_epi16(rs, zero));
      const __m128i vHi = Chroma4(_mm_unpackhi_epi16(gs, bs), vCoefficients, _mm_unpackhi_epi16(rs, zero));
      // Packing with unsigned saturation clamps the rare 256 to 255.
      const __m128i uv = _mm_packus_epi16(_mm_packs_epi32(uLo, uHi), _mm_packs_epi32(vLo, vHi));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(u + x / 2), uv);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(v + x / 2), _mm_srli_si128(uv, 8));
    }
    if (whole < p.width) PlainColumns(p, row, whole);
  }
}

bool HasSsse3() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
  }();
  return has;
}

}  // namespace

void Bgr24RowsToYuv420Plain(const BitmapToPlanes& p, int firstRow, int rows) {
  for (int row = firstRow; row < firstRow + rows; row += 2) PlainColumns(p, row, 0);
}

void Bgr24RowsToYuv420(const BitmapToPlanes& p, int firstRow, int rows) {
  if (HasSsse3())
    Ssse3Rows(p, firstRow, rows);
  else
    Bgr24RowsToYuv420Plain(p, firstRow, rows);
}

}  // namespace outside
