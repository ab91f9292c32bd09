// Dispatch tables of the engine operations the picture server owns, one build in
// every common slot; each kernel family of videokernels/ defines its own tables
// beside its builds. A table still without builds holds null and nothing calls it.
#include <zentra/engine_dispatch.h>
#include <zentra/server_builds.h>

namespace zentra {

ZENTRA_ENGINE_TABLE_EMPTY(Dib24ToYuvPicture);
ZENTRA_ENGINE_TABLE_EMPTY(Dib24ToYuvPictureFlipped);
ZENTRA_ENGINE_TABLE_EMPTY(Dib32ToYuvPicture);
ZENTRA_ENGINE_TABLE_EMPTY(DibToYuvPicture);
ZENTRA_ENGINE_TABLE_EMPTY(Dib24RowsToRgb32);
ZENTRA_ENGINE_TABLE_EMPTY(Dib24RowsToRgb24);
ZENTRA_ENGINE_TABLE_EMPTY(ResizeYuvPicture);
ZENTRA_ENGINE_TABLE_ONE_BUILD(ResizePlane, ResizePlane_C);
ZENTRA_ENGINE_TABLE_ONE_BUILD(MoveBytes, MoveBytes_C);
ZENTRA_ENGINE_TABLE_ONE_BUILD(ZeroBytes, ZeroBytes_C);

}  // namespace zentra
