// Prediction and block transfer: every build side by side and their tables.
#include <zentra/engine_dispatch.h>
#include <zentra/video_blocks.h>

namespace zentra {

// ---- Tables.

ZENTRA_ENGINE_TABLE_EMPTY(ReconstructBlock8x8);
ZENTRA_ENGINE_TABLE_EMPTY(DiffBlock8x8);
ZENTRA_ENGINE_TABLE_EMPTY(GetBlock8x8);
ZENTRA_ENGINE_TABLE_EMPTY(PutBlock8x8);
ZENTRA_ENGINE_TABLE_EMPTY(Predict8x8);
ZENTRA_ENGINE_TABLE_EMPTY(Predict16x16);
ZENTRA_ENGINE_TABLE_EMPTY(PredictBidir8x8);
ZENTRA_ENGINE_TABLE_EMPTY(PredictBidir16x16);

}  // namespace zentra
