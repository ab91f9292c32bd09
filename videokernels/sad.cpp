// Sums of absolute differences: every build side by side and their tables.
#include <zentra/engine_dispatch.h>
#include <zentra/video_blocks.h>

namespace zentra {

// ---- Tables.

ZENTRA_ENGINE_TABLE_EMPTY(Sad16x16);
ZENTRA_ENGINE_TABLE_EMPTY(Sad16x16Limit);
ZENTRA_ENGINE_TABLE_EMPTY(Sad16x16HalfXY);
ZENTRA_ENGINE_TABLE_EMPTY(Sad16xNHalfXY);
ZENTRA_ENGINE_TABLE_EMPTY(Sad16xNLimit);
ZENTRA_ENGINE_TABLE_EMPTY(Sad16xN);
ZENTRA_ENGINE_TABLE_EMPTY(Sad16xNHalfX);
ZENTRA_ENGINE_TABLE_EMPTY(Sad16xNHalfY);
ZENTRA_ENGINE_TABLE_EMPTY(Sad16xNHalfPel);
ZENTRA_ENGINE_TABLE_EMPTY(Sad4x4);
ZENTRA_ENGINE_TABLE_EMPTY(Sad4x4Limit);

}  // namespace zentra
