// Quantisation and inverse quantisation: every build side by side and their tables.
#include <zentra/engine_dispatch.h>
#include <zentra/video_blocks.h>

namespace zentra {

// ---- Tables.

ZENTRA_ENGINE_TABLE_EMPTY(QuantInvInterMpeg2);
ZENTRA_ENGINE_TABLE_EMPTY(QuantInvIntraMpeg1);
ZENTRA_ENGINE_TABLE_EMPTY(QuantInvIntraMpeg2);
ZENTRA_ENGINE_TABLE_EMPTY(QuantInvIntraAcMpeg2);
ZENTRA_ENGINE_TABLE_EMPTY(QuantInvInterMpeg1);
ZENTRA_ENGINE_TABLE_EMPTY(QuantInterAnyNonZero);
ZENTRA_ENGINE_TABLE_EMPTY(QuantInterCount255);
ZENTRA_ENGINE_TABLE_EMPTY(QuantInterCount2047);
ZENTRA_ENGINE_TABLE_EMPTY(QuantWeightedFloat);
ZENTRA_ENGINE_TABLE_EMPTY(QuantIntraAc2047);
ZENTRA_ENGINE_TABLE_EMPTY(QuantIntraAc255);
ZENTRA_ENGINE_TABLE_EMPTY(QuantIntra);

}  // namespace zentra
