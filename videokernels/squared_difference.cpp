// Sums of squared differences: every build side by side and their tables.
#include <zentra/engine_dispatch.h>
#include <zentra/video_blocks.h>

namespace zentra {

// ---- Tables.

ZENTRA_ENGINE_TABLE_EMPTY(Ssd16x16);
ZENTRA_ENGINE_TABLE_EMPTY(Ssd16xN);
ZENTRA_ENGINE_TABLE_EMPTY(SsdBidir16x16);
ZENTRA_ENGINE_TABLE_EMPTY(SsdBidir16xN);

}  // namespace zentra
