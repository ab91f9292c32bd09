// Entries, records and registrars of the named Fourier-transform primitives.
// Slots stay null until their builds exist; no code calls a primitive whose
// slot is empty.
#include <zentra/fft_primitives.h>
#include <zentra/fft_spec64f.h>

namespace zentra {

#define ZENTRA_RECORD(group, field, builds, text)                                     \
  {&group.field.kind, group.field.name, &group.builds, nullptr, DispatchRecordKind, text}

FftDoublePrimitiveData FftDoublePrimitives = {
    ZENTRA_PRIMITIVE_BUILDS(ippsFFTInv_CToC_64f),
    ZENTRA_RECORD(FftDoublePrimitives, invRecord, invBuilds, "ippsFFTInv_CToC_64f"),
    ZENTRA_PRIMITIVE_BUILDS(ippsFFTInitAlloc_C_64f),
    ZENTRA_RECORD(FftDoublePrimitives, initAllocRecord, initAllocBuilds, "ippsFFTInitAlloc_C_64f"),
    ZENTRA_PRIMITIVE_BUILDS(ippsFFTFree_C_64f),
    ZENTRA_RECORD(FftDoublePrimitives, freeRecord, freeBuilds, "ippsFFTFree_C_64f"),
};

FftImagePrimitiveData FftImagePrimitives = {
    kDataMarker,
    ZENTRA_NO_PRIMITIVE_BUILDS,
    ZENTRA_RECORD(FftImagePrimitives, invRecord, invBuilds, "ippiFFTInv_CToC_32fc_C1R"),
    ZENTRA_NO_PRIMITIVE_BUILDS,
    ZENTRA_RECORD(FftImagePrimitives, initAllocRecord, initAllocBuilds, "ippiFFTInitAlloc_C_32fc"),
    ZENTRA_NO_PRIMITIVE_BUILDS,
    ZENTRA_RECORD(FftImagePrimitives, freeRecord, freeBuilds, "ippiFFTFree_C_32fc"),
};

#undef ZENTRA_RECORD

namespace {

void Register(DispatchRecord& record) { record.next = PushDispatchRecord(&record); }

}  // namespace

PrimitiveStatus ippsFFTInv_CToC_64f(const double* srcRe, const double* srcIm, double* dstRe,
                                    double* dstIm, const FftSpec64f* spec, std::uint8_t* buffer) {
  return CallSelectedBuild(FftDoublePrimitives.invBuilds, srcRe, srcIm, dstRe, dstIm, spec, buffer);
}

PrimitiveStatus ippsFFTInitAlloc_C_64f(FftSpec64f** pSpec, std::int32_t order, std::int32_t flag,
                                       std::int32_t hint) {
  return CallSelectedBuild(FftDoublePrimitives.initAllocBuilds, pSpec, order, flag, hint);
}

PrimitiveStatus ippsFFTFree_C_64f(FftSpec64f* spec) { return CallSelectedBuild(FftDoublePrimitives.freeBuilds, spec); }

void Register_ippsFFTInv_CToC_64f() { Register(FftDoublePrimitives.invRecord); }
void Register_ippsFFTInitAlloc_C_64f() { Register(FftDoublePrimitives.initAllocRecord); }
void Register_ippsFFTFree_C_64f() { Register(FftDoublePrimitives.freeRecord); }
void Register_ippiFFTInv_CToC_32fc_C1R() { Register(FftImagePrimitives.invRecord); }
void Register_ippiFFTInitAlloc_C_32fc() { Register(FftImagePrimitives.initAllocRecord); }
void Register_ippiFFTFree_C_32fc() { Register(FftImagePrimitives.freeRecord); }

}  // namespace zentra
