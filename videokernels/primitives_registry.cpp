// Records and registrars of the named video-coding primitives. Each build table
// lies just before its record and is laid out by ZENTRA_PRIMITIVE_BUILDS from the
// builds its family file defines.
#include <zentra/quant_kernels.h>
#include <zentra/residual_kernels.h>
#include <zentra/sad_kernels.h>
#include <zentra/squared_difference_kernels.h>
#include <zentra/video_primitives.h>

namespace zentra {

#define ZENTRA_RECORD(field, builds, text)                                               \
  {&VideoPrimitives.field.kind, VideoPrimitives.field.name, &VideoPrimitives.builds, nullptr, \
   DispatchRecordKind, text}

VideoPrimitiveData VideoPrimitives = {
    kDataMarker,
    ZENTRA_PRIMITIVE_BUILDS(ippiSAD16x16_8u32s), ZENTRA_RECORD(sad16x16Record, sad16x16Builds, "ippiSAD16x16_8u32s"),
    ZENTRA_PRIMITIVE_BUILDS(ippiGetDiff8x8_8u16s_C1), ZENTRA_RECORD(getDiff8x8Record, getDiff8x8Builds, "ippiGetDiff8x8_8u16s_C1"),
    ZENTRA_PRIMITIVE_BUILDS(ippiSqrDiff16x16B_8u32s), ZENTRA_RECORD(sqrDiff16x16BRecord, sqrDiff16x16BBuilds, "ippiSqrDiff16x16B_8u32s"),
    ZENTRA_PRIMITIVE_BUILDS(ippiQuantInv_MPEG2_16s_C1I), ZENTRA_RECORD(quantInvRecord, quantInvBuilds, "ippiQuantInv_MPEG2_16s_C1I"),
    ZENTRA_PRIMITIVE_BUILDS(ippiQuantInvIntra_MPEG2_16s_C1I), ZENTRA_RECORD(quantInvIntraRecord, quantInvIntraBuilds, "ippiQuantInvIntra_MPEG2_16s_C1I"),
    ZENTRA_PRIMITIVE_BUILDS(ippiMC16x16B_8u_C1), ZENTRA_RECORD(mc16x16BRecord, mc16x16BBuilds, "ippiMC16x16B_8u_C1"),
    ZENTRA_PRIMITIVE_BUILDS(ippiMC8x8B_8u_C1), ZENTRA_RECORD(mc8x8BRecord, mc8x8BBuilds, "ippiMC8x8B_8u_C1"),
    kDataMarker,
};

#undef ZENTRA_RECORD

namespace {

// The registrar's whole work: the record becomes the list head and keeps the
// previous head as its next link.
void Register(DispatchRecord& record) { record.next = PushDispatchRecord(&record); }

}  // namespace

void Register_ippiSAD16x16_8u32s() {
  Register(VideoPrimitives.sad16x16Record);
}
void Register_ippiGetDiff8x8_8u16s_C1() {
  Register(VideoPrimitives.getDiff8x8Record);
}
void Register_ippiSqrDiff16x16B_8u32s() {
  Register(VideoPrimitives.sqrDiff16x16BRecord);
}
void Register_ippiQuantInv_MPEG2_16s_C1I() {
  Register(VideoPrimitives.quantInvRecord);
}
void Register_ippiQuantInvIntra_MPEG2_16s_C1I() {
  Register(VideoPrimitives.quantInvIntraRecord);
}
void Register_ippiMC16x16B_8u_C1() {
  Register(VideoPrimitives.mc16x16BRecord);
}
void Register_ippiMC8x8B_8u_C1() {
  Register(VideoPrimitives.mc8x8BRecord);
}

}  // namespace zentra
