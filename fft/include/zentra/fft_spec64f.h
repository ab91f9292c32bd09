// The double-precision inverse FFT on split real/imaginary arrays: its
// specification record, the builds of its three primitives and the internal
// routines that the record builder, the driver and the passes share.
#pragma once

#include <zentra/fft_bitreverse.h>
#include <zentra/primitive_runtime.h>

#include <cstdint>

namespace zentra {

inline constexpr std::int32_t FftSpec64fKind = 8;
inline constexpr std::int32_t FftMaxOrder = 30;

// Normalisation flags of the InitAlloc functions.
inline constexpr std::int32_t FftDivForwardByN = 1;
inline constexpr std::int32_t FftDivInverseByN = 2;
inline constexpr std::int32_t FftDivBySqrtN = 4;
inline constexpr std::int32_t FftNoScaling = 8;

inline constexpr int FftLevelSlots = 3;

// Read-only from creation to release, so transforms on one record may run at once.
struct FftSpec64f {
  std::int32_t contextId;
  std::int32_t order;
  std::int32_t scaleForward;
  std::int32_t scaleInverse;
  double scaleFactor;
  std::int32_t hint;
  std::int32_t workBytes;
  std::int32_t* bitReverseTable;
  double* radixTwiddles;
  double* blockTwiddles;
  double* outerBlockTwiddles;
  void* spareTable1;
  void* spareTable2;
  double* levelTwiddles[FftLevelSlots];
  double* levelCombineTwiddles[FftLevelSlots];
};

// ---- Builds of the primitives (the dispatch entries are in fft_primitives.h).

PrimitiveStatus ippsFFTInitAlloc_C_64f_V1(FftSpec64f** pSpec, std::int32_t order, std::int32_t flag,
                                          std::int32_t hint);
PrimitiveStatus ippsFFTInitAlloc_C_64f_V2(FftSpec64f** pSpec, std::int32_t order, std::int32_t flag,
                                          std::int32_t hint);
PrimitiveStatus ippsFFTInitAlloc_C_64f_V3(FftSpec64f** pSpec, std::int32_t order, std::int32_t flag,
                                          std::int32_t hint);
PrimitiveStatus ippsFFTInitAlloc_C_64f_V4(FftSpec64f** pSpec, std::int32_t order, std::int32_t flag,
                                          std::int32_t hint);
PrimitiveStatus ippsFFTFree_C_64f_V1(FftSpec64f* spec);
PrimitiveStatus ippsFFTFree_C_64f_V2(FftSpec64f* spec);
PrimitiveStatus ippsFFTFree_C_64f_V3(FftSpec64f* spec);
PrimitiveStatus ippsFFTFree_C_64f_V4(FftSpec64f* spec);

#define ZENTRA_FFT_INV_64F_BUILD(name)                                                            \
  PrimitiveStatus name(const double* srcRe, const double* srcIm, double* dstRe, double* dstIm, \
                       const FftSpec64f* spec, std::uint8_t* buffer)
ZENTRA_FFT_INV_64F_BUILD(ippsFFTInv_CToC_64f_V1);
ZENTRA_FFT_INV_64F_BUILD(ippsFFTInv_CToC_64f_V2);
ZENTRA_FFT_INV_64F_BUILD(ippsFFTInv_CToC_64f_V3);
ZENTRA_FFT_INV_64F_BUILD(ippsFFTInv_CToC_64f_V4);
#undef ZENTRA_FFT_INV_64F_BUILD

// ---- Record.

void ReleaseFftSpec64f(FftSpec64f* spec);

// Whether the record's tables are laid out for `build`: builds 1, 2 and builds
// 3, 4 make different tables, told apart by the work size of the order.
bool FftSpec64fMadeBy(std::int32_t build, const FftSpec64f* spec);

// Outer order of the four-step plan per order (0 = no recursion); builds 1 and 2
// share one set of values, builds 3 and 4 another.
extern const std::int32_t PlanSplitTable64f_V12[FftMaxOrder + 1];
extern const std::int32_t PlanSplitTable64f_V34[FftMaxOrder + 1];

// ---- Passes (in place unless said otherwise; they check nothing).

// Multiplies count doubles by factor: groups of four, then the rest.
void Scale64f_V1(double factor, double* values, std::int32_t count);
void Scale64f_V3(double factor, double* values, std::int32_t count);
void Scale64f_V4(double factor, double* values, std::int32_t count);

// Bit-reversed split arrays of `points` values to their inverse transform in natural order.
void Radix4Pass64f_V1(double* re, double* im, std::int32_t points, const double* radixTwiddles);
void Radix4Pass64f_V2(double* re, double* im, std::int32_t points, const double* radixTwiddles);
// Natural-order source to natural-order destination (which may be the source),
// through the paired layout in work (16 * points bytes, 16-byte aligned).
void Radix4Pass64f_V3(const double* srcRe, const double* srcIm, double* dstRe, double* dstIm,
                      std::int32_t points, const double* radixTwiddles,
                      const std::int32_t* indexTable, double* work);
void Radix4Pass64f_V4(const double* srcRe, const double* srcIm, double* dstRe, double* dstIm,
                      std::int32_t points, const double* radixTwiddles,
                      const std::int32_t* indexTable, double* work);
// Bit-reversed split row to natural order, in place, through work.
void Radix4BlockPass64f_V3(double* re, double* im, std::int32_t points, const double* radixTwiddles,
                           double* work);
void Radix4BlockPass64f_V4(double* re, double* im, std::int32_t points, const double* radixTwiddles,
                           double* work);

// Bit-reversed split arrays of 2^order values (order >= 10 in builds 1, 2; >= 14
// in builds 3, 4) to the scaled inverse transform in natural order.
void FftLargeOrder64f_V1(const FftSpec64f* spec, double* re, double* im, std::int32_t order, void* work);
void FftLargeOrder64f_V2(const FftSpec64f* spec, double* re, double* im, std::int32_t order, void* work);
void FftLargeOrder64f_V3(const FftSpec64f* spec, double* re, double* im, std::int32_t order, void* work);
void FftLargeOrder64f_V4(const FftSpec64f* spec, double* re, double* im, std::int32_t order, void* work);

}  // namespace zentra
