// Quantisation and inverse quantisation: every build side by side and their tables.
// The builds of one operation compute different functions on purpose (matrix or
// not, rounding term or not, mismatch control or not); each keeps its own.
#include <zentra/engine_dispatch.h>
#include <zentra/quant_kernels.h>
#include <zentra/video_blocks.h>
#include <zentra/video_primitives.h>

#include <emmintrin.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <mutex>

namespace zentra {

const std::int16_t DefaultIntraMatrix[64] = {
    8,  16, 19, 22, 26, 27, 29, 34,  //
    16, 16, 22, 24, 27, 29, 34, 37,  //
    19, 22, 26, 27, 29, 34, 34, 38,  //
    22, 22, 26, 27, 29, 34, 37, 40,  //
    22, 26, 27, 29, 32, 35, 40, 48,  //
    26, 27, 29, 32, 35, 40, 48, 58,  //
    26, 27, 29, 34, 38, 46, 56, 69,  //
    27, 29, 35, 38, 46, 56, 69, 83,
};

const std::int16_t DefaultNonIntraMatrix[64] = {
    16, 17, 18, 19, 20, 21, 22, 23,  //
    17, 18, 19, 20, 21, 22, 23, 24,  //
    18, 19, 20, 21, 22, 23, 24, 25,  //
    19, 20, 21, 22, 23, 24, 25, 27,  //
    20, 21, 22, 23, 24, 25, 27, 28,  //
    21, 22, 23, 24, 25, 27, 28, 30,  //
    22, 23, 24, 25, 27, 28, 30, 31,  //
    23, 24, 25, 27, 28, 30, 31, 33,
};

namespace {

constexpr std::int64_t kCoefMin = -2048;
constexpr std::int64_t kCoefMax = 2047;

std::int16_t ClampCoef(std::int64_t v) { return static_cast<std::int16_t>(Clamp(v, kCoefMin, kCoefMax)); }

std::int32_t Sign(std::int32_t v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }

// Division truncating toward zero, in 64 bits so that large q and levels cannot wrap.
std::int64_t DivTrunc(std::int64_t a, std::int64_t b) { return a / b; }

// An even non-zero value one step toward zero (MPEG-1 oddification).
std::int64_t Oddify(std::int64_t f) {
  if (f != 0 && (f & 1) == 0) f -= f > 0 ? 1 : -1;
  return f;
}

// Inverts bit 0 of the last coefficient when the sum of the block is even.
void MismatchControl(std::int16_t* block, std::int64_t sum) {
  if ((sum & 1) == 0) block[63] = static_cast<std::int16_t>(block[63] ^ 1);
}

// ---- 16-bit lane arithmetic of the MMX-era builds, eight lanes at a time.

inline __m128i Load8(const std::int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store8(std::int16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Bits shift..shift+15 of the signed 32-bit products of two lanes.
template <int shift>
inline __m128i ProductBits(__m128i a, __m128i b) {
  const __m128i lo = _mm_mullo_epi16(a, b);
  const __m128i hi = _mm_mulhi_epi16(a, b);
  return _mm_or_si128(_mm_srli_epi16(lo, shift), _mm_slli_epi16(hi, 16 - shift));
}

// The same for unsigned lanes.
template <int shift>
inline __m128i ProductBitsUnsigned(__m128i a, __m128i b) {
  const __m128i lo = _mm_mullo_epi16(a, b);
  const __m128i hi = _mm_mulhi_epu16(a, b);
  return _mm_or_si128(_mm_srli_epi16(lo, shift), _mm_slli_epi16(hi, 16 - shift));
}

// Clamp to -2048..2047 with saturating unsigned arithmetic: bias by 32768, add
// 30720, take off 61440, take off 2048.
inline __m128i ClampCoefLanes(__m128i v) {
  v = _mm_xor_si128(v, _mm_set1_epi16(static_cast<short>(0x8000)));
  v = _mm_adds_epu16(v, _mm_set1_epi16(30720));
  v = _mm_subs_epu16(v, _mm_set1_epi16(static_cast<short>(61440)));
  return _mm_sub_epi16(v, _mm_set1_epi16(2048));
}

inline __m128i WithSign(__m128i magnitude, __m128i sign) {
  return _mm_sub_epi16(_mm_xor_si128(magnitude, sign), sign);
}

// sign(l) * ((|l| * W [* 2] * q) >> shift) per lane with 16-bit products, clamped.
template <int shift, bool doubled>
void InverseLanes(std::int16_t* block, const std::int16_t* weights, std::int32_t q, int first) {
  const __m128i vq = _mm_set1_epi16(static_cast<short>(q));
  for (int i = 0; i < 64; i += 8) {
    const __m128i l = Load8(block + i);
    const __m128i sign = _mm_srai_epi16(l, 15);
    __m128i a = _mm_sub_epi16(_mm_xor_si128(l, sign), sign);
    if (doubled) a = _mm_add_epi16(a, a);
    const __m128i p = _mm_mullo_epi16(a, Load8(weights + i));
    const __m128i f = ClampCoefLanes(WithSign(ProductBits<shift>(p, vq), sign));
    if (i == 0 && first > 0) {
      alignas(16) std::int16_t lanes[8];
      _mm_store_si128(reinterpret_cast<__m128i*>(lanes), f);
      for (int k = first; k < 8; ++k) block[k] = lanes[k];
    } else {
      Store8(block + i, f);
    }
  }
}

std::int64_t BlockSum(const std::int16_t* block) {
  std::int64_t s = 0;
  for (int i = 0; i < 64; ++i) s += block[i];
  return s;
}

// Counts the non-zero values of a block.
std::int32_t CountNonZero(const std::int16_t* block) {
  std::int32_t n = 0;
  for (int i = 0; i < 64; ++i) n += block[i] != 0;
  return n;
}

// ---- The q-keyed reciprocal tables of the forward reciprocal builds.

std::uint16_t Reciprocal(double w) {
  const double r = (0.5 * w + 16384.0) / w;
  if (!(r >= 0.0)) return 0;
  if (r >= 65535.0) return 65535;
  return static_cast<std::uint16_t>(r);
}

struct Reciprocals {
  std::uint16_t weight[64];
  std::uint16_t q;
  std::uint16_t rounding;
};

// Rebuilt only when q changes: a call with another matrix and the same q keeps
// the earlier matrix's reciprocals. The lock only makes the rebuild and the copy
// atomic; the observable results are those of one caller after another.
class ReciprocalCache {
 public:
  Reciprocals Get(std::int32_t q, const std::int16_t* matrix) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (q != cachedQ_) {
      for (int i = 0; i < 64; ++i) table_.weight[i] = Reciprocal(matrix[i]);
      table_.q = Reciprocal(q);
      table_.rounding = static_cast<std::uint16_t>((3 * std::int64_t{q} + 2) >> 2);
      cachedQ_ = q;
    }
    return table_;
  }

 private:
  std::mutex mutex_;
  std::int32_t cachedQ_ = 0;
  Reciprocals table_{};
};

ReciprocalCache& InterCount255Cache() {
  static ReciprocalCache cache;
  return cache;
}
ReciprocalCache& IntraCache() {
  static ReciprocalCache cache;
  return cache;
}

// The intra DC rule of the forward builds: divide by 8 >> dcPrecision with halves
// going away from zero.
std::int16_t QuantiseDc(std::int32_t dc, std::int32_t dcPrecision) {
  const std::int32_t d = 8 >> dcPrecision;
  const std::int32_t half = d >> 1;
  return static_cast<std::int16_t>(dc >= 0 ? (dc + half) / d : -((half - dc) / d));
}

// |x| saturated to 32767, then min(level, limit) with the sign of x: the
// reciprocal builds' 16-bit lane forms.
template <int shiftIn, int shiftR, bool withRounding>
std::int32_t ReciprocalLanes(std::int16_t* block, const Reciprocals& r) {
  const __m128i rq = _mm_set1_epi16(static_cast<short>(r.q));
  const __m128i k = _mm_set1_epi16(static_cast<short>(r.rounding));
  const __m128i limit = _mm_set1_epi16(255);
  std::int32_t count = 0;
  for (int i = 0; i < 64; i += 8) {
    const __m128i x = Load8(block + i);
    const __m128i sign = _mm_srai_epi16(x, 15);
    const __m128i a = _mm_slli_epi16(_mm_subs_epi16(_mm_xor_si128(x, sign), sign), shiftIn);
    __m128i t = ProductBitsUnsigned<shiftR>(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(r.weight + i)));
    if (withRounding) t = _mm_add_epi16(t, k);
    const __m128i u = ProductBitsUnsigned<15>(t, rq);
    const __m128i level = _mm_sub_epi16(u, _mm_subs_epu16(u, limit));
    const __m128i out = WithSign(level, sign);
    Store8(block + i, out);
    const int zeroMask = _mm_movemask_epi8(_mm_cmpeq_epi16(out, _mm_setzero_si128()));
    count += 8 - __builtin_popcount(static_cast<unsigned>(zeroMask)) / 2;
  }
  return count;
}

template <std::int32_t limit>
void QuantIntraAcClip_C(std::int16_t* block, std::int32_t q) {
  const std::int64_t rounding = (3 * std::int64_t{q} + 2) >> 2;
  const std::int64_t twoQ = 2 * std::int64_t{q};
  for (int i = 1; i < 64; ++i) {
    const std::int32_t x = block[i];
    const std::int64_t w = DefaultIntraMatrix[i] & 0xFF;
    const std::int64_t t = (((32 * std::int64_t{std::abs(x)} + (w >> 1)) / w) + rounding) / twoQ;
    const std::int64_t level = std::min<std::int64_t>(t, limit);
    block[i] = static_cast<std::int16_t>(x < 0 ? -level : level);
  }
}

template <float limit>
void QuantWeightedFloatClip(std::int16_t* block, std::int32_t q, const float* weights, std::int32_t* count) {
  const __m128 k = _mm_set1_ps(1.0f / static_cast<float>(q));
  const __m128 hi = _mm_set1_ps(limit);
  const __m128 lo = _mm_set1_ps(-limit);
  for (int i = 0; i < 64; i += 4) {
    const __m128i x = _mm_setr_epi32(block[i], block[i + 1], block[i + 2], block[i + 3]);
    const __m128 scaled = _mm_mul_ps(_mm_cvtepi32_ps(_mm_slli_epi32(x, 4)), k);
    __m128 t = _mm_mul_ps(scaled, _mm_loadu_ps(weights + i));
    // Clamped before the conversion so that any weight gives a defined level.
    t = _mm_min_ps(_mm_max_ps(t, lo), hi);
    alignas(16) std::int32_t levels[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(levels), _mm_cvttps_epi32(t));
    for (int j = 0; j < 4; ++j) block[i + j] = static_cast<std::int16_t>(levels[j]);
  }
  *count = CountNonZero(block);
}

// The MPEG-2 inverse quantisation of the named primitives, one algorithm that
// each processor build compiles on its own. Products are formed in 64 bits and
// saturated from their full value.
inline PrimitiveStatus QuantInvMpeg2(std::int16_t* block, std::int32_t q, const std::int16_t* matrix) {
  if (block == nullptr) return StatusNullPointer;
  std::int64_t sum = 0;
  for (int i = 0; i < 64; ++i) {
    const std::int32_t v = block[i];
    if (v == 0) continue;
    const std::int64_t twoVk = 2 * std::int64_t{v} + Sign(v);
    const std::int64_t f = matrix != nullptr ? DivTrunc(twoVk * matrix[i] * q, 32) : DivTrunc(twoVk * q, 2);
    block[i] = ClampCoef(f);
    sum += block[i];
  }
  if ((sum & 1) == 0) block[63] = static_cast<std::int16_t>(block[63] + ((block[63] & 1) ? -1 : 1));
  return StatusOk;
}

inline PrimitiveStatus QuantInvIntraMpeg2(std::int16_t* block, std::int32_t q, const std::int16_t* matrix) {
  if (block == nullptr || matrix == nullptr) return StatusNullPointer;
  std::int64_t sum = block[0];
  for (int i = 1; i < 64; ++i) {
    const std::int64_t v = block[i];
    block[i] = ClampCoef(DivTrunc(v * 2 * q * matrix[i], 32));
    sum += block[i];
  }
  if ((sum & 1) == 0) block[63] = static_cast<std::int16_t>(block[63] + ((block[63] & 1) ? -1 : 1));
  return StatusOk;
}

}  // namespace

// ---- Inverse quantisers.

void QuantInvInterMpeg2_Ipp(std::int16_t* block, std::int32_t q) {
  ippiQuantInv_MPEG2_16s_C1I(block, q, DefaultNonIntraMatrix);
}

void QuantInvInterMpeg2_Mmx(std::int16_t* block, std::int32_t q) {
  InverseLanes<5, true>(block, DefaultNonIntraMatrix, q, 0);
  MismatchControl(block, BlockSum(block));
}

void QuantInvInterMpeg2_C(std::int16_t* block, std::int32_t q) {
  for (int i = 0; i < 64; ++i) {
    const std::int32_t l = block[i];
    if (l == 0) continue;
    block[i] = ClampCoef(DivTrunc((2 * std::int64_t{l} + Sign(l)) * DefaultNonIntraMatrix[i] * q, 32));
  }
  MismatchControl(block, BlockSum(block));
}

void QuantInvIntraMpeg1_Mmx(std::int16_t* block, std::int32_t q) {
  InverseLanes<4, false>(block, DefaultIntraMatrix, q, 1);
}

void QuantInvIntraMpeg1_C(std::int16_t* block, std::int32_t q) {
  for (int i = 1; i < 64; ++i) {
    const std::int64_t f = DivTrunc(std::int64_t{DefaultIntraMatrix[i]} * block[i] * q, 16);
    block[i] = ClampCoef(Oddify(f));
  }
}

void QuantInvIntraMpeg2_Mmx(std::int16_t* block, std::int32_t dcPrecision, const std::int16_t* matrix,
                            std::int32_t q) {
  const std::int16_t dc = block[0];
  InverseLanes<4, false>(block, matrix, q, 0);
  block[0] = static_cast<std::int16_t>(static_cast<std::uint16_t>(dc) << (3 - dcPrecision));
}

void QuantInvIntraMpeg2_C(std::int16_t* block, std::int32_t dcPrecision, const std::int16_t* matrix,
                          std::int32_t q) {
  block[0] = static_cast<std::int16_t>(static_cast<std::uint16_t>(block[0]) << (3 - dcPrecision));
  std::int64_t sum = block[0];
  for (int i = 1; i < 64; ++i) {
    const std::int64_t l = block[i];
    if (l == 0) continue;
    block[i] = ClampCoef(DivTrunc(l * matrix[i] * q, 16));
    sum += block[i];
  }
  if (sum != 0) MismatchControl(block, sum);
}

PrimitiveStatus QuantInvIntraAcMpeg2_Ipp(std::int16_t* block, std::int32_t q) {
  return ippiQuantInvIntra_MPEG2_16s_C1I(block, q, DefaultIntraMatrix);
}

PrimitiveStatus QuantInvIntraAcMpeg2_C(std::int16_t* block, std::int32_t q) {
  if (block == nullptr) return StatusNullPointer;
  std::int64_t sum = block[0];
  for (int i = 1; i < 64; ++i) {
    block[i] = ClampCoef(DivTrunc(std::int64_t{DefaultIntraMatrix[i]} * block[i] * q, 16));
    sum += block[i];
  }
  MismatchControl(block, sum);
  return StatusOk;
}

void QuantInvInterMpeg1_Mmx(std::int16_t* block, std::int32_t q) {
  InverseLanes<5, true>(block, DefaultNonIntraMatrix, q, 0);
}

void QuantInvInterMpeg1_C(std::int16_t* block, std::int32_t q) {
  for (int i = 0; i < 64; ++i) {
    const std::int32_t l = block[i];
    if (l == 0) continue;
    const std::int64_t f = DivTrunc((2 * std::int64_t{l} + Sign(l)) * DefaultNonIntraMatrix[i] * q, 32);
    block[i] = ClampCoef(Oddify(f));
  }
}

// ---- Forward quantisers.

std::int32_t QuantInterAnyNonZero_CB(std::int16_t* block, std::int32_t q) {
  std::int32_t any = 0;
  const std::uint32_t uq = static_cast<std::uint32_t>(q);
  for (int i = 0; i < 64; ++i) {
    const std::int32_t x = block[i];
    const std::uint32_t t = ((32u * static_cast<std::uint32_t>(std::abs(x)) + 8u) >> 4) / uq;
    const std::int32_t level = x < 0 ? -static_cast<std::int32_t>(std::min(t, 2047u))
                                     : static_cast<std::int32_t>(std::min(t, 255u));
    block[i] = static_cast<std::int16_t>(level);
    any |= level != 0;
  }
  return any;
}

std::int32_t QuantInterAnyNonZero_C(std::int16_t* block, std::int32_t q) {
  std::int32_t any = 0;
  for (int i = 0; i < 64; ++i) {
    const std::int32_t x = block[i];
    const std::int64_t w = DefaultNonIntraMatrix[i];
    const std::int64_t t = std::min<std::int64_t>((32 * std::int64_t{std::abs(x)} + (w >> 1)) / (q * w), 2047);
    block[i] = static_cast<std::int16_t>(x < 0 ? -t : t);
    any |= t != 0;
  }
  return any;
}

void QuantInterCount255_MmxExt(std::int16_t* block, std::int32_t q, const std::int16_t* matrix,
                               std::int32_t* count) {
  const Reciprocals r = InterCount255Cache().Get(q, matrix);
  *count = ReciprocalLanes<4, 13, false>(block, r);
}

namespace {
template <std::int64_t limit>
std::int32_t QuantInterCount_C(std::int16_t* block, std::int32_t q, const std::int16_t* matrix) {
  std::int32_t count = 0;
  for (int i = 0; i < 64; ++i) {
    const std::int32_t x = block[i];
    if (x == 0) continue;
    const std::int64_t t = std::min<std::int64_t>((std::int64_t{std::abs(x)} * 16 / matrix[i]) / q, limit);
    block[i] = static_cast<std::int16_t>(x < 0 ? -t : t);
    count += t != 0;
  }
  return count;
}
}  // namespace

void QuantInterCount255_C(std::int16_t* block, std::int32_t q, const std::int16_t* matrix, std::int32_t* count) {
  *count = QuantInterCount_C<255>(block, q, matrix);
}

void QuantInterCount2047_C(std::int16_t* block, std::int32_t q, const std::int16_t* matrix, std::int32_t* count) {
  *count = QuantInterCount_C<2047>(block, q, matrix);
}

void QuantWeightedFloat_Sse2(std::int16_t* block, std::int32_t q, const float* weights, std::int32_t* count) {
  QuantWeightedFloatClip<255.0f>(block, q, weights, count);
}

void QuantWeightedFloat2047_Sse2(std::int16_t* block, std::int32_t q, const float* weights,
                                 std::int32_t* count) {
  QuantWeightedFloatClip<2047.0f>(block, q, weights, count);
}

void QuantIntraAc2047_C(std::int16_t* block, std::int32_t q) { QuantIntraAcClip_C<2047>(block, q); }
void QuantIntraAc255_C(std::int16_t* block, std::int32_t q) { QuantIntraAcClip_C<255>(block, q); }

void QuantIntra_Mmx(std::int16_t* block, std::int32_t dcPrecision, const std::int16_t* matrix, std::int32_t q) {
  const Reciprocals r = IntraCache().Get(q, matrix);
  const std::int16_t dc = block[0];
  ReciprocalLanes<5, 14, true>(block, r);
  block[0] = QuantiseDc(dc, dcPrecision);
}

void QuantIntra_C(std::int16_t* block, std::int32_t dcPrecision, const std::int16_t* matrix, std::int32_t q) {
  const std::int64_t rounding = (3 * std::int64_t{q} + 2) / 4;
  block[0] = QuantiseDc(block[0], dcPrecision);
  for (int i = 1; i < 64; ++i) {
    const std::int32_t x = block[i];
    if (x == 0) continue;
    const std::int64_t t = std::min<std::int64_t>(((rounding + std::int64_t{std::abs(x)} * 32 / matrix[i]) >> 1) / q, 255);
    block[i] = static_cast<std::int16_t>(x < 0 ? -t : t);
  }
}

// ---- The named primitives: four compilations of one algorithm.

#define ZENTRA_QUANT_INV_BUILD(k)                                                                       \
  PrimitiveStatus ippiQuantInv_MPEG2_16s_C1I_V##k(std::int16_t* block, std::int32_t q,                 \
                                                  const std::int16_t* matrix) {                        \
    return QuantInvMpeg2(block, q, matrix);                                                             \
  }                                                                                                     \
  PrimitiveStatus ippiQuantInvIntra_MPEG2_16s_C1I_V##k(std::int16_t* block, std::int32_t q,            \
                                                       const std::int16_t* matrix) {                   \
    return QuantInvIntraMpeg2(block, q, matrix);                                                        \
  }
ZENTRA_QUANT_INV_BUILD(1)
ZENTRA_QUANT_INV_BUILD(2)
ZENTRA_QUANT_INV_BUILD(3)
ZENTRA_QUANT_INV_BUILD(4)
#undef ZENTRA_QUANT_INV_BUILD

// ---- Tables.

ZENTRA_ENGINE_TABLE(QuantInvInterMpeg2, &QuantInvInterMpeg2_Ipp, &QuantInvInterMpeg2_Mmx,
                    &QuantInvInterMpeg2_Mmx, &QuantInvInterMpeg2_Mmx, &QuantInvInterMpeg2_C);
ZENTRA_ENGINE_TABLE(QuantInvIntraMpeg1, &QuantInvIntraMpeg1_C, &QuantInvIntraMpeg1_Mmx,
                    &QuantInvIntraMpeg1_C, &QuantInvIntraMpeg1_C, &QuantInvIntraMpeg1_C);
ZENTRA_ENGINE_TABLE(QuantInvIntraMpeg2, &QuantInvIntraMpeg2_C, &QuantInvIntraMpeg2_Mmx,
                    &QuantInvIntraMpeg2_C, &QuantInvIntraMpeg2_Mmx, &QuantInvIntraMpeg2_C);
ZENTRA_ENGINE_TABLE(QuantInvIntraAcMpeg2, &QuantInvIntraAcMpeg2_Ipp, &QuantInvIntraAcMpeg2_Ipp,
                    &QuantInvIntraAcMpeg2_C, &QuantInvIntraAcMpeg2_C, &QuantInvIntraAcMpeg2_C);
ZENTRA_ENGINE_TABLE(QuantInvInterMpeg1, &QuantInvInterMpeg1_C, &QuantInvInterMpeg1_Mmx,
                    &QuantInvInterMpeg1_Mmx, &QuantInvInterMpeg1_Mmx, &QuantInvInterMpeg1_Mmx);
ZENTRA_ENGINE_TABLE(QuantInterAnyNonZero, &QuantInterAnyNonZero_C, &QuantInterAnyNonZero_CB,
                    &QuantInterAnyNonZero_CB, &QuantInterAnyNonZero_CB, &QuantInterAnyNonZero_CB);
ZENTRA_ENGINE_TABLE(QuantInterCount255, &QuantInterCount255_C, &QuantInterCount255_MmxExt,
                    &QuantInterCount255_C, &QuantInterCount255_MmxExt, &QuantInterCount255_MmxExt);
ZENTRA_ENGINE_TABLE_ONE_BUILD(QuantInterCount2047, QuantInterCount2047_C);
ZENTRA_ENGINE_TABLE_ONE_BUILD(QuantWeightedFloat, QuantWeightedFloat_Sse2);
ZENTRA_ENGINE_TABLE_ONE_BUILD(QuantIntraAc2047, QuantIntraAc2047_C);
ZENTRA_ENGINE_TABLE_ONE_BUILD(QuantIntraAc255, QuantIntraAc255_C);
ZENTRA_ENGINE_TABLE(QuantIntra, &QuantIntra_C, &QuantIntra_Mmx, &QuantIntra_C, &QuantIntra_C,
                    &QuantIntra_C);

}  // namespace zentra
