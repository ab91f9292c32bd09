// The single-precision FFT on interleaved complex floats: the 1-D record and
// engine that the image transform runs over rows and columns, and the image
// record with the builds of its three primitives.
#pragma once

#include <zentra/fft_bitreverse.h>
#include <zentra/fft_spec64f.h>
#include <zentra/primitive_runtime.h>

#include <cstdint>

namespace zentra {

// Two 32-bit floats, real part first.
struct Complex32fc {
  float re;
  float im;
};

inline constexpr std::int32_t FftSpec32fcKind = 4;
inline constexpr std::int32_t FftReservedSpec32fcKind = 6;
inline constexpr std::int32_t FftSpec2D32fcKind = 25;

// The same nineteen fields as FftSpec64f; read-only from creation to release.
struct FftSpec32fc {
  std::int32_t contextId;
  std::int32_t order;
  std::int32_t scaleForward;
  std::int32_t scaleInverse;
  float scaleFactor;
  std::int32_t hint;
  std::int32_t workBytes;
  std::int32_t* bitReverseTable;
  float* radixTwiddles;
  float* blockTwiddles;
  void* outerBlockTwiddles;
  void* spareTable1;
  void* spareTable2;
  float* levelTwiddles[FftLevelSlots];
  float* levelCombineTwiddles[FftLevelSlots];
};

struct FftSpec2D32fc {
  std::int32_t contextId;
  std::int32_t orderX;
  std::int32_t orderY;
  std::int32_t hint;
  std::uint32_t workBytes;
  FftSpec32fc* rowSpec;
  FftSpec32fc* columnSpec;  // null when rowSpec serves the columns too
  FftSpec32fc* reservedSpec[2];
};

// ---- 1-D record (one InitSpec per build; release and query are shared).

PrimitiveStatus FftInitSpec32fc_V1(FftSpec32fc** pSpec, std::int32_t order, std::int32_t flag,
                                   std::int32_t hint);
PrimitiveStatus FftInitSpec32fc_V2(FftSpec32fc** pSpec, std::int32_t order, std::int32_t flag,
                                   std::int32_t hint);
PrimitiveStatus FftInitSpec32fc_V3(FftSpec32fc** pSpec, std::int32_t order, std::int32_t flag,
                                   std::int32_t hint);
PrimitiveStatus FftInitSpec32fc_V4(FftSpec32fc** pSpec, std::int32_t order, std::int32_t flag,
                                   std::int32_t hint);
PrimitiveStatus FftGetBufSize32fc(const FftSpec32fc* record, std::int32_t* pSize);
PrimitiveStatus FftSpecFree32fc(FftSpec32fc* record);
PrimitiveStatus FftReservedSpecFree32fc(FftSpec32fc* record);
void FftSpecDestroy32fc(FftSpec32fc* record);

// Whether the record's tables are laid out for `build`: the builds make
// different radix tables, plans and bit-reversal tables, told apart by the
// work size of the order and the form of the bit-reversal table.
bool FftSpec32fcMadeBy(std::int32_t build, const FftSpec32fc* record);

// Outer order of the four-step plan per order (0 = not split): builds 1 and 2,
// builds 3 and 4.
extern const std::int32_t PlanSplitTable32fc_V12[FftMaxOrder + 1];
extern const std::int32_t PlanSplitTable32fc_V34[FftMaxOrder + 1];

// What the record builder and the engine of one build agree on.
struct FftBuildPlan32fc {
  const std::int32_t* split;     // PlanSplitTable32fc of the build
  std::int32_t leafOrder;        // longest row that one radix-4 pass does
  std::int32_t largeFrom;        // first order of the large-order transform
  std::int32_t lastFusedOrder;   // bit reversal fused with the pass up to here (index table)
  bool stageLayout;              // four-lane tables and split-four data (builds 2 to 4)
  std::int32_t workExtra;        // added to the widest level's column vectors
};
const FftBuildPlan32fc& FftBuildPlanOf32fc(std::int32_t build);

// ---- 1-D engine: natural-order src to natural-order dst (may be src).

#define ZENTRA_FFT_INV_1D_32FC_BUILD(name) \
  PrimitiveStatus name(const float* src, float* dst, const FftSpec32fc* record, std::uint8_t* buffer)
ZENTRA_FFT_INV_1D_32FC_BUILD(FftInv1D32fc_V1);
ZENTRA_FFT_INV_1D_32FC_BUILD(FftInv1D32fc_V2);
ZENTRA_FFT_INV_1D_32FC_BUILD(FftInv1D32fc_V3);
ZENTRA_FFT_INV_1D_32FC_BUILD(FftInv1D32fc_V4);
#undef ZENTRA_FFT_INV_1D_32FC_BUILD

// ---- Kernels of orders 0 to 3 (1 to 8 points), natural order in and out;
// the destination may be the source.
using PlainKernel = void (*)(const float* src, float* dst);
using ScaledKernel = void (*)(const float* src, float* dst, float factor);
using SplitPlainKernel = void (*)(const float* srcRe, const float* srcIm, float* dstRe, float* dstIm);
using SplitScaledKernel = void (*)(const float* srcRe, const float* srcIm, float* dstRe, float* dstIm, float factor);

// FftSmallKernelTable32f of one build, in its stored order: the driver's two
// rows (inverse interleaved, scaled then plain), a marker, then the rest; each
// row indexed by the order. Real rows: samples to the packed spectrum (R_0,
// R_N/2, Re X_1, Im X_1, ..) and back.
struct SmallKernelTable32f {
  ScaledKernel invScaled[4];      // row 3: ScaledKernelRow32fc
  PlainKernel invPlain[4];        // row 2: PlainKernelRow32fc
  DataMarker marker;
  PlainKernel fwdPlain[4];        // row 0
  ScaledKernel fwdScaled[4];      // row 1
  SplitPlainKernel splitFwdPlain[4];
  SplitScaledKernel splitFwdScaled[4];
  SplitPlainKernel splitInvPlain[4];
  SplitScaledKernel splitInvScaled[4];
  PlainKernel realFwdPlain[4];
  ScaledKernel realFwdScaled[4];
  PlainKernel realInvPlain[4];
  ScaledKernel realInvScaled[4];
};
const SmallKernelTable32f& FftSmallKernelTable32f(std::int32_t build);

// ---- Passes (check nothing).

void FftScale32fc_V1(float factor, float* data, std::int32_t count);
void FftScale32fc_V2(float factor, float* data, std::int32_t count);
void FftScale32fc_V3(float factor, float* data, std::int32_t count);
void FftScale32fc_V4(float factor, float* data, std::int32_t count);
// Bit-reversed interleaved data of 4..1024 points to natural order, in place.
void Radix4Pass32fc_V1(float* data, std::int32_t points, const float* twiddles);
// Builds 2 to 4 (8..1024 points in build 2, up to 16384 in builds 3 and 4):
// the result is left interleaved (finalLayout 1) or split-four (0). The work
// buffer is scratch of 8 * points bytes; it may be null.
void Radix4Pass32fc_V2(float* data, std::int32_t points, const float* twiddles, float* work,
                       std::int32_t finalLayout);
void Radix4Pass32fc_V3(float* data, std::int32_t points, const float* twiddles, float* work,
                       std::int32_t finalLayout);
void Radix4Pass32fc_V4(float* data, std::int32_t points, const float* twiddles, float* work,
                       std::int32_t finalLayout);
// Natural-order src to natural-order, interleaved dst (may be src) through the
// index form of the bit-reversal table; work (8 * points bytes) is needed when
// dst is src.
void BitReverseRadix4Pass32fc_V2(const float* src, float* dst, std::int32_t points, const float* twiddles,
                                 const std::int32_t* indexTable, float* work);
void BitReverseRadix4Pass32fc_V3(const float* src, float* dst, std::int32_t points, const float* twiddles,
                                 const std::int32_t* indexTable, float* work);
void BitReverseRadix4Pass32fc_V4(const float* src, float* dst, std::int32_t points, const float* twiddles,
                                 const std::int32_t* indexTable, float* work);
// The bit-reversal permutations of builds 2 to 4 on complex floats (swap-pair table).
void BitReversePermute32fc_V2(const float* src, float* dst, std::int32_t points, const std::int32_t* pairs);
void BitReversePermute32fc_V3(const float* src, float* dst, std::int32_t points, const std::int32_t* pairs);
void BitReversePermute32fc_V4(const float* src, float* dst, std::int32_t points, const std::int32_t* pairs);
void BitReversePermuteInPlace32fc_V2(float* data, std::int32_t points, const std::int32_t* pairs);
void BitReversePermuteInPlace32fc_V3(float* data, std::int32_t points, const std::int32_t* pairs);
void BitReversePermuteInPlace32fc_V4(float* data, std::int32_t points, const std::int32_t* pairs);
// Bit-reversed data of 2^order points (from the build's largeFrom), scaling
// included; work holds the widest level's column vectors, 16-byte aligned.
void FftLargeOrder32fc_V1(const FftSpec32fc* record, float* data, std::int32_t order, void* work);
void FftLargeOrder32fc_V2(const FftSpec32fc* record, float* data, std::int32_t order, void* work);
void FftLargeOrder32fc_V3(const FftSpec32fc* record, float* data, std::int32_t order, void* work);
void FftLargeOrder32fc_V4(const FftSpec32fc* record, float* data, std::int32_t order, void* work);

// ---- Image primitives.

PrimitiveStatus ippiFFTInitAlloc_C_32fc_V1(FftSpec2D32fc** pSpec, std::int32_t orderX,
                                           std::int32_t orderY, std::int32_t flag, std::int32_t hint);
PrimitiveStatus ippiFFTInitAlloc_C_32fc_V2(FftSpec2D32fc** pSpec, std::int32_t orderX,
                                           std::int32_t orderY, std::int32_t flag, std::int32_t hint);
PrimitiveStatus ippiFFTInitAlloc_C_32fc_V3(FftSpec2D32fc** pSpec, std::int32_t orderX,
                                           std::int32_t orderY, std::int32_t flag, std::int32_t hint);
PrimitiveStatus ippiFFTInitAlloc_C_32fc_V4(FftSpec2D32fc** pSpec, std::int32_t orderX,
                                           std::int32_t orderY, std::int32_t flag, std::int32_t hint);
PrimitiveStatus ippiFFTFree_C_32fc_V1(FftSpec2D32fc* record);
PrimitiveStatus ippiFFTFree_C_32fc_V2(FftSpec2D32fc* record);
PrimitiveStatus ippiFFTFree_C_32fc_V3(FftSpec2D32fc* record);
PrimitiveStatus ippiFFTFree_C_32fc_V4(FftSpec2D32fc* record);

#define ZENTRA_FFT_INV_2D_32FC_BUILD(name)                                                    \
  PrimitiveStatus name(const Complex32fc* src, std::int32_t srcStep, Complex32fc* dst,    \
                       std::int32_t dstStep, const FftSpec2D32fc* record, std::uint8_t* buffer)
ZENTRA_FFT_INV_2D_32FC_BUILD(ippiFFTInv_CToC_32fc_C1R_V1);
ZENTRA_FFT_INV_2D_32FC_BUILD(ippiFFTInv_CToC_32fc_C1R_V2);
ZENTRA_FFT_INV_2D_32FC_BUILD(ippiFFTInv_CToC_32fc_C1R_V3);
ZENTRA_FFT_INV_2D_32FC_BUILD(ippiFFTInv_CToC_32fc_C1R_V4);
#undef ZENTRA_FFT_INV_2D_32FC_BUILD

// The dispatch entries.
PrimitiveStatus ippiFFTInitAlloc_C_32fc(FftSpec2D32fc** pSpec, std::int32_t orderX, std::int32_t orderY,
                                        std::int32_t flag, std::int32_t hint);
PrimitiveStatus ippiFFTInv_CToC_32fc_C1R(const Complex32fc* src, std::int32_t srcStep, Complex32fc* dst,
                                         std::int32_t dstStep, const FftSpec2D32fc* record,
                                         std::uint8_t* buffer);
PrimitiveStatus ippiFFTFree_C_32fc(FftSpec2D32fc* record);

}  // namespace zentra
