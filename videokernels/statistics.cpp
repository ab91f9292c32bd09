// Block and picture statistics: variances, macroblock activity, decimation.
#include <zentra/engine_dispatch.h>
#include <zentra/video_blocks.h>

namespace zentra {

// ---- Tables.

ZENTRA_ENGINE_TABLE_EMPTY(Variance16x16);
ZENTRA_ENGINE_TABLE_EMPTY(Variance16xN);
ZENTRA_ENGINE_TABLE_EMPTY(MacroblockActivity);
ZENTRA_ENGINE_TABLE_EMPTY(Decimate4x4);
ZENTRA_ENGINE_TABLE_EMPTY(DecimatedDeviation);

}  // namespace zentra
