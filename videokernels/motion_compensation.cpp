// Motion-compensated reconstruction: the rounded average of a forward and a
// backward half-sample prediction plus a residual, clipped to 0..255. Kernels per
// mode pair in plain, 8-sample and 16-sample SIMD forms, their tables, and the
// primitives ippiMC16x16B_8u_C1 and ippiMC8x8B_8u_C1.
#include "half_pel_rows.h"

#include <zentra/residual_kernels.h>
#include <zentra/video_blocks.h>

#include <emmintrin.h>

#include <array>
#include <cstdint>
#include <utility>

namespace zentra {

namespace {

template <typename T>
const T* AdvanceBytes(const T* p, std::int32_t stepBytes) {
  return reinterpret_cast<const T*>(reinterpret_cast<std::uintptr_t>(p) + static_cast<std::intptr_t>(stepBytes));
}

constexpr std::int32_t kModes[4] = {kHalfPelFull, kHalfPelVertical, kHalfPelHorizontal, kHalfPelBoth};

// ---- Plain kernels: exact predictions with the round control.

template <int size, int modeF, int modeB>
void BidirPlain(const std::uint8_t* refF, std::int32_t stepF, std::int32_t, const std::uint8_t* refB,
                std::int32_t stepB, std::int32_t, const std::int16_t* residual, std::int32_t resStep,
                std::uint8_t* dst, std::int32_t dstStep, std::int32_t rc) {
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const std::int32_t pF = HalfPelExact(refF + x, stepF, modeF, rc);
      const std::int32_t pB = HalfPelExact(refB + x, stepB, modeB, rc);
      dst[x] = SaturateU8((2 * residual[x] + pF + pB + 1) >> 1);
    }
    refF += stepF;
    refB += stepB;
    residual = AdvanceBytes(residual, resStep);
    dst += dstStep;
  }
}

template <int size, int mode>
void OneRefPlain(const std::uint8_t* ref, std::int32_t refStep, const std::int16_t* residual, std::int32_t resStep,
                 std::uint8_t* dst, std::int32_t dstStep, std::int32_t rc) {
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) dst[x] = SaturateU8(residual[x] + HalfPelExact(ref + x, refStep, mode, rc));
    ref += refStep;
    residual = AdvanceBytes(residual, resStep);
    dst += dstStep;
  }
}

// ---- SIMD kernels: byte-average predictions, then t = F + 2r + B with saturating
// 16-bit adds, max(t, 0), (t + 1) >> 1, packed with unsigned saturation.

inline __m128i CombineHalf(__m128i f, __m128i b, __m128i r) {
  const __m128i zero = _mm_setzero_si128();
  __m128i t = _mm_adds_epi16(_mm_adds_epi16(f, _mm_adds_epi16(r, r)), b);
  t = _mm_max_epi16(t, zero);
  return _mm_avg_epu16(t, zero);
}

// `width` samples per row (8: one 8-lane half; 16: two), `honourRc` false for the
// 16-sample kernels, which always use the round-control-0 forms. The aligned flags
// say which operands the variant reads or writes with aligned 16-byte accesses.
template <int size, int width, bool honourRc, int modeF, int modeB, bool alignF, bool alignB, bool alignRD>
void BidirSimd(const std::uint8_t* refF, std::int32_t stepF, std::int32_t, const std::uint8_t* refB,
               std::int32_t stepB, std::int32_t, const std::int16_t* residual, std::int32_t resStep,
               std::uint8_t* dst, std::int32_t dstStep, std::int32_t rc) {
  const std::int32_t r = honourRc ? rc : 0;
  const __m128i rcBytes = _mm_set1_epi8(static_cast<char>(r));
  const __m128i kBytes = _mm_set1_epi8(static_cast<char>(1 + r));
  const __m128i zero = _mm_setzero_si128();
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; x += width) {
      const __m128i f = rows::RoundedRow<width, modeF, alignF>(refF + x, stepF, rcBytes, kBytes);
      const __m128i b = rows::RoundedRow<width, modeB, alignB>(refB + x, stepB, rcBytes, kBytes);
      const __m128i lo = CombineHalf(_mm_unpacklo_epi8(f, zero), _mm_unpacklo_epi8(b, zero),
                                     rows::Load16s(residual + x, alignRD));
      if constexpr (width == 16) {
        const __m128i hi = CombineHalf(_mm_unpackhi_epi8(f, zero), _mm_unpackhi_epi8(b, zero),
                                       rows::Load16s(residual + x + 8, alignRD));
        rows::Store<16, alignRD>(dst + x, _mm_packus_epi16(lo, hi));
      } else {
        rows::Store<8>(dst + x, _mm_packus_epi16(lo, lo));
      }
    }
    refF += stepF;
    refB += stepB;
    residual = AdvanceBytes(residual, resStep);
    dst += dstStep;
  }
}

template <int size, int mode>
void OneRefSimd(const std::uint8_t* ref, std::int32_t refStep, const std::int16_t* residual, std::int32_t resStep,
                std::uint8_t* dst, std::int32_t dstStep, std::int32_t rc) {
  const __m128i rcBytes = _mm_set1_epi8(static_cast<char>(rc));
  const __m128i kBytes = _mm_set1_epi8(static_cast<char>(1 + rc));
  const __m128i zero = _mm_setzero_si128();
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; x += 8) {
      const __m128i p = _mm_unpacklo_epi8(rows::RoundedRow<8, mode>(ref + x, refStep, rcBytes, kBytes), zero);
      const __m128i v = _mm_adds_epi16(p, rows::Load16s(residual + x));
      rows::Store<8>(dst + x, _mm_packus_epi16(v, v));
    }
    ref += refStep;
    residual = AdvanceBytes(residual, resStep);
    dst += dstStep;
  }
}


// ---- Tables, laid out by mode pair: fwd index + 4 * bwd index.

template <int size, int f, int b>
constexpr McBidirKernel kPlain = &BidirPlain<size, f, b>;
template <int size, int width, bool honourRc, int f, int b, bool aF = false, bool aB = false, bool aRD = false>
constexpr McBidirKernel kSimd = &BidirSimd<size, width, honourRc, f, b, aF, aB, aRD>;

// The sixteen mode pairs of a block size, fwd index + 4 * bwd index.
template <typename Make, std::size_t... i>
constexpr std::array<McBidirKernel, 16> Pairs(Make make, std::index_sequence<i...>) {
  return {make.template operator()<kModes[i % 4], kModes[i / 4]>()...};
}

template <typename Make>
constexpr std::array<McBidirKernel, 16> Pairs(Make make) {
  return Pairs(make, std::make_index_sequence<16>{});
}

template <int size, typename OneRef>
constexpr McKernelTable16x16 Table16(const std::array<std::array<McBidirKernel, 16>, 4>& variants, OneRef oneRef) {
  McKernelTable16x16 t{};
  for (int m = 0; m < 4; ++m) t.oneRef[2 * m] = t.oneRef[2 * m + 1] = oneRef[m];
  for (int pair = 0; pair < 16; ++pair)
    for (int v = 0; v < 4; ++v) t.twoRef[4 * pair + v] = variants[v][pair];
  return t;
}

template <typename OneRef>
constexpr McKernelTable8x8 Table8(const std::array<McBidirKernel, 16>& pairs, OneRef oneRef) {
  McKernelTable8x8 t{};
  for (int m = 0; m < 4; ++m)
    for (int k = 0; k < 4; ++k) t.oneRef[4 * m + k] = oneRef[m];
  for (int pair = 0; pair < 16; ++pair) t.twoRef[pair] = pairs[pair];
  return t;
}

template <int size>
constexpr std::array<McKernel, 4> kOneRefPlain = {&OneRefPlain<size, 0>, &OneRefPlain<size, 4>,
                                                  &OneRefPlain<size, 8>, &OneRefPlain<size, 12>};
template <int size>
constexpr std::array<McKernel, 4> kOneRefSimd = {&OneRefSimd<size, 0>, &OneRefSimd<size, 4>, &OneRefSimd<size, 8>,
                                                 &OneRefSimd<size, 12>};

constexpr auto kPlain16 = Pairs([]<int f, int b>() { return kPlain<16, f, b>; });
constexpr auto kPlain8 = Pairs([]<int f, int b>() { return kPlain<8, f, b>; });
constexpr auto kSimd16x8 = Pairs([]<int f, int b>() { return kSimd<16, 8, true, f, b>; });
constexpr auto kSimd8 = Pairs([]<int f, int b>() { return kSimd<8, 8, true, f, b>; });
// 16 samples a row, round control ignored; variant 1 aligned on the backward
// reference, residual and destination, 2 on the forward reference, residual and
// destination, 3 on both references, residual and destination.
constexpr auto kSse2V0 = Pairs([]<int f, int b>() { return kSimd<16, 16, false, f, b, false, false, false>; });
constexpr auto kSse2V1 = Pairs([]<int f, int b>() { return kSimd<16, 16, false, f, b, false, true, true>; });
constexpr auto kSse2V2 = Pairs([]<int f, int b>() { return kSimd<16, 16, false, f, b, true, false, true>; });
constexpr auto kSse2V3 = Pairs([]<int f, int b>() { return kSimd<16, 16, false, f, b, true, true, true>; });

bool Aligned16(const void* p, std::int32_t step) {
  return (reinterpret_cast<std::uintptr_t>(p) % 16) == 0 && (step % 16) == 0;
}

// Variant 0 makes no alignment assumption; the others are chosen only when every
// operand they access aligned, and its step, are multiples of 16 bytes.
std::int32_t AlignmentVariant(const std::uint8_t* refF, std::int32_t stepF, const std::uint8_t* refB,
                              std::int32_t stepB, const std::int16_t* residual, std::int32_t resStep,
                              const std::uint8_t* dst, std::int32_t dstStep) {
  if (!Aligned16(residual, resStep) || !Aligned16(dst, dstStep)) return 0;
  const bool f = Aligned16(refF, stepF);
  const bool b = Aligned16(refB, stepB);
  return f && b ? 3 : (f ? 2 : (b ? 1 : 0));
}

}  // namespace

const McKernelTable16x16 Mc16x16Kernels_V1 = Table16<16>({kPlain16, kPlain16, kPlain16, kPlain16}, kOneRefPlain<16>);
const McKernelTable16x16 Mc16x16Kernels_V2 =
    Table16<16>({kSimd16x8, kSimd16x8, kSimd16x8, kSimd16x8}, kOneRefSimd<16>);
const McKernelTable16x16 Mc16x16Kernels_V3 = Table16<16>({kSse2V0, kSse2V1, kSse2V2, kSse2V3}, kOneRefSimd<16>);
const McKernelTable16x16 Mc16x16Kernels_V4 = Table16<16>({kSse2V0, kSse2V1, kSse2V2, kSse2V3}, kOneRefSimd<16>);

const McKernelTable8x8 Mc8x8Kernels_V1 = Table8(kPlain8, kOneRefPlain<8>);
// The plain one-reference kernels of this table are the ones PredictAddResidual8x8 uses.
const McKernelTable8x8 Mc8x8Kernels_V2 = Table8(kSimd8, kOneRefPlain<8>);
const McKernelTable8x8 Mc8x8Kernels_V3 = Table8(kSimd8, kOneRefSimd<8>);
const McKernelTable8x8 Mc8x8Kernels_V4 = Table8(kSimd8, kOneRefSimd<8>);

namespace {

// Only the half-sample bits of each mode index the tables, so no mode value can
// reach past them.
std::int32_t PairIndex(std::int32_t modeF, std::int32_t modeB) {
  return HalfPelIndex(modeF) + 4 * HalfPelIndex(modeB);
}

bool AnyNull(const void* a, const void* b, const void* c, const void* d) {
  return a == nullptr || b == nullptr || c == nullptr || d == nullptr;
}

template <bool chooseVariant>
PrimitiveStatus Mc16(const McKernelTable16x16& table, const std::uint8_t* refF, std::int32_t stepF,
                     std::int32_t modeF, const std::uint8_t* refB, std::int32_t stepB, std::int32_t modeB,
                     const std::int16_t* residual, std::int32_t resStep, std::uint8_t* dst, std::int32_t dstStep,
                     std::int32_t rc) {
  if (AnyNull(refF, refB, residual, dst)) return StatusNullPointer;
  const std::int32_t variant =
      chooseVariant ? AlignmentVariant(refF, stepF, refB, stepB, residual, resStep, dst, dstStep) : 0;
  table.twoRef[4 * PairIndex(modeF, modeB) + variant](refF, stepF, modeF, refB, stepB, modeB, residual, resStep, dst,
                                                     dstStep, rc);
  return StatusOk;
}

PrimitiveStatus Mc8(const McKernelTable8x8& table, const std::uint8_t* refF, std::int32_t stepF, std::int32_t modeF,
                    const std::uint8_t* refB, std::int32_t stepB, std::int32_t modeB, const std::int16_t* residual,
                    std::int32_t resStep, std::uint8_t* dst, std::int32_t dstStep, std::int32_t rc) {
  if (AnyNull(refF, refB, residual, dst)) return StatusNullPointer;
  table.twoRef[PairIndex(modeF, modeB)](refF, stepF, modeF, refB, stepB, modeB, residual, resStep, dst, dstStep, rc);
  return StatusOk;
}

}  // namespace

#define ZENTRA_MC_BUILD(k, chooseVariant)                                                                           \
  PrimitiveStatus ippiMC16x16B_8u_C1_V##k(const std::uint8_t* refF, std::int32_t stepF, std::int32_t modeF,        \
                                          const std::uint8_t* refB, std::int32_t stepB, std::int32_t modeB,        \
                                          const std::int16_t* residual, std::int32_t resStep, std::uint8_t* dst,   \
                                          std::int32_t dstStep, std::int32_t roundControl) {                       \
    return Mc16<chooseVariant>(Mc16x16Kernels_V##k, refF, stepF, modeF, refB, stepB, modeB, residual, resStep, dst, \
                               dstStep, roundControl);                                                             \
  }                                                                                                                \
  PrimitiveStatus ippiMC8x8B_8u_C1_V##k(const std::uint8_t* refF, std::int32_t stepF, std::int32_t modeF,          \
                                        const std::uint8_t* refB, std::int32_t stepB, std::int32_t modeB,          \
                                        const std::int16_t* residual, std::int32_t resStep, std::uint8_t* dst,     \
                                        std::int32_t dstStep, std::int32_t roundControl) {                         \
    return Mc8(Mc8x8Kernels_V##k, refF, stepF, modeF, refB, stepB, modeB, residual, resStep, dst, dstStep,          \
               roundControl);                                                                                      \
  }
ZENTRA_MC_BUILD(1, false)
ZENTRA_MC_BUILD(2, false)
ZENTRA_MC_BUILD(3, true)
ZENTRA_MC_BUILD(4, true)
#undef ZENTRA_MC_BUILD

}  // namespace zentra
