// The transform step of the psychoacoustic model.
#include <zentra/engine_dispatch.h>
#include <zentra/video_blocks.h>

namespace zentra {

// ---- Tables.

ZENTRA_ENGINE_TABLE_EMPTY(PsychoAcousticFft);

}  // namespace zentra
