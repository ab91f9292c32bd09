// Entries, records and registrars of the named Fourier-transform primitives.
// Slots stay null until their builds exist; no code calls a primitive whose
// slot is empty.
#include <zentra/fft_primitives.h>
#include <zentra/fft_spec64f.h>

namespace zentra {

#define ZENTRA_EMPTY_BUILDS {{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}}
#define ZENTRA_RECORD(group, field, builds, text)                                     \
  {&group.field.kind, group.field.name, &group.builds, nullptr, DispatchRecordKind, text}

#define ZENTRA_BUILDS(name) {{nullptr, &name##_V1, &name##_V2, &name##_V3, &name##_V4, nullptr}}

FftDoublePrimitiveData FftDoublePrimitives = {
    ZENTRA_BUILDS(ippsFFTInv_CToC_64f),
    ZENTRA_RECORD(FftDoublePrimitives, invRecord, invBuilds, "ippsFFTInv_CToC_64f"),
    ZENTRA_BUILDS(ippsFFTInitAlloc_C_64f),
    ZENTRA_RECORD(FftDoublePrimitives, initAllocRecord, initAllocBuilds, "ippsFFTInitAlloc_C_64f"),
    ZENTRA_BUILDS(ippsFFTFree_C_64f),
    ZENTRA_RECORD(FftDoublePrimitives, freeRecord, freeBuilds, "ippsFFTFree_C_64f"),
};

FftImagePrimitiveData FftImagePrimitives = {
    kDataMarker,
    ZENTRA_EMPTY_BUILDS,
    ZENTRA_RECORD(FftImagePrimitives, invRecord, invBuilds, "ippiFFTInv_CToC_32fc_C1R"),
    ZENTRA_EMPTY_BUILDS,
    ZENTRA_RECORD(FftImagePrimitives, initAllocRecord, initAllocBuilds, "ippiFFTInitAlloc_C_32fc"),
    ZENTRA_EMPTY_BUILDS,
    ZENTRA_RECORD(FftImagePrimitives, freeRecord, freeBuilds, "ippiFFTFree_C_32fc"),
};

#undef ZENTRA_BUILDS
#undef ZENTRA_EMPTY_BUILDS
#undef ZENTRA_RECORD

namespace {

void Register(DispatchRecord& record) { record.next = PushDispatchRecord(&record); }

// Continues in the build that CpuDispatchIndex selects. An index outside 1..4
// would name an empty slot; build 1 runs on every processor, so it is taken.
template <typename Build, typename... Args>
PrimitiveStatus Dispatch(const PrimitiveBuildTable<Build>& table, Args... args) {
  const std::int32_t index = CpuDispatchIndex;
  return table.slot[index >= 1 && index <= 4 ? index : 1](args...);
}

}  // namespace

PrimitiveStatus ippsFFTInv_CToC_64f(const double* srcRe, const double* srcIm, double* dstRe,
                                    double* dstIm, const FftSpec64f* spec, std::uint8_t* buffer) {
  return Dispatch(FftDoublePrimitives.invBuilds, srcRe, srcIm, dstRe, dstIm, spec, buffer);
}

PrimitiveStatus ippsFFTInitAlloc_C_64f(FftSpec64f** pSpec, std::int32_t order, std::int32_t flag,
                                       std::int32_t hint) {
  return Dispatch(FftDoublePrimitives.initAllocBuilds, pSpec, order, flag, hint);
}

PrimitiveStatus ippsFFTFree_C_64f(FftSpec64f* spec) { return Dispatch(FftDoublePrimitives.freeBuilds, spec); }

void Register_ippsFFTInv_CToC_64f() { Register(FftDoublePrimitives.invRecord); }
void Register_ippsFFTInitAlloc_C_64f() { Register(FftDoublePrimitives.initAllocRecord); }
void Register_ippsFFTFree_C_64f() { Register(FftDoublePrimitives.freeRecord); }
void Register_ippiFFTInv_CToC_32fc_C1R() { Register(FftImagePrimitives.invRecord); }
void Register_ippiFFTInitAlloc_C_32fc() { Register(FftImagePrimitives.initAllocRecord); }
void Register_ippiFFTFree_C_32fc() { Register(FftImagePrimitives.freeRecord); }

}  // namespace zentra
