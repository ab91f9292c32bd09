// The named Fourier-transform primitives: build tables, dispatch records and
// load-time registrars. Builds 1 to 4 of each primitive fill the tables.
#pragma once

#include <zentra/primitive_runtime.h>

#include <cstdint>

namespace zentra {

struct FftSpec64f;
struct FftSpec2D32fc;
struct Complex32fc;  // two 32-bit floats, real first

using ippsFFTInv_CToC_64f_Build = PrimitiveStatus (*)(const double* srcRe, const double* srcIm,
                                                      double* dstRe, double* dstIm,
                                                      const FftSpec64f* record, std::uint8_t* buffer);
using ippsFFTInitAlloc_C_64f_Build = PrimitiveStatus (*)(FftSpec64f** pSpec, std::int32_t order,
                                                         std::int32_t flag, std::int32_t hint);
using ippsFFTFree_C_64f_Build = PrimitiveStatus (*)(FftSpec64f* record);
using ippiFFTInv_CToC_32fc_C1R_Build = PrimitiveStatus (*)(const Complex32fc* src,
                                                           std::int32_t srcStep, Complex32fc* dst,
                                                           std::int32_t dstStep,
                                                           const FftSpec2D32fc* record,
                                                           std::uint8_t* buffer);
using ippiFFTInitAlloc_C_32fc_Build = PrimitiveStatus (*)(FftSpec2D32fc** pSpec,
                                                          std::int32_t orderX, std::int32_t orderY,
                                                          std::int32_t flag, std::int32_t hint);
using ippiFFTFree_C_32fc_Build = PrimitiveStatus (*)(FftSpec2D32fc* record);

// Double-precision group: no marker in front, it follows other data.
struct FftDoublePrimitiveData {
  PrimitiveBuildTable<ippsFFTInv_CToC_64f_Build> invBuilds;
  DispatchRecord invRecord;
  PrimitiveBuildTable<ippsFFTInitAlloc_C_64f_Build> initAllocBuilds;
  DispatchRecord initAllocRecord;
  PrimitiveBuildTable<ippsFFTFree_C_64f_Build> freeBuilds;
  DispatchRecord freeRecord;
};

struct FftImagePrimitiveData {
  DataMarker before;
  PrimitiveBuildTable<ippiFFTInv_CToC_32fc_C1R_Build> invBuilds;
  DispatchRecord invRecord;
  PrimitiveBuildTable<ippiFFTInitAlloc_C_32fc_Build> initAllocBuilds;
  DispatchRecord initAllocRecord;
  PrimitiveBuildTable<ippiFFTFree_C_32fc_Build> freeBuilds;
  DispatchRecord freeRecord;
};

extern FftDoublePrimitiveData FftDoublePrimitives;

// Dispatch entries: each continues in the build that CpuDispatchIndex names.
PrimitiveStatus ippsFFTInv_CToC_64f(const double* srcRe, const double* srcIm, double* dstRe,
                                    double* dstIm, const FftSpec64f* spec, std::uint8_t* buffer);
PrimitiveStatus ippsFFTInitAlloc_C_64f(FftSpec64f** pSpec, std::int32_t order, std::int32_t flag,
                                       std::int32_t hint);
PrimitiveStatus ippsFFTFree_C_64f(FftSpec64f* spec);
extern FftImagePrimitiveData FftImagePrimitives;

void Register_ippsFFTInv_CToC_64f();
void Register_ippsFFTInitAlloc_C_64f();
void Register_ippsFFTFree_C_64f();
void Register_ippiFFTInv_CToC_32fc_C1R();
void Register_ippiFFTInitAlloc_C_32fc();
void Register_ippiFFTFree_C_32fc();

}  // namespace zentra
