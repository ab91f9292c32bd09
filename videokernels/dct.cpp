// The 8x8 forward and inverse DCT: every build side by side and their tables.
#include <zentra/engine_dispatch.h>
#include <zentra/video_blocks.h>

namespace zentra {

// ---- Tables.

ZENTRA_ENGINE_TABLE_EMPTY(Fdct8x8);
ZENTRA_ENGINE_TABLE_EMPTY(Idct8x8);

}  // namespace zentra
