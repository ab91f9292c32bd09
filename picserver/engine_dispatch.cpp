// Dispatch tables of the engine operations the picture server owns, one build in
// every common slot; each kernel family of videokernels/ defines its own tables
// beside its builds. A table still without builds holds null and nothing calls it.
#include <zentra/engine_dispatch.h>
#include <zentra/engine_picture.h>
#include <zentra/server_builds.h>

namespace zentra {

ZENTRA_ENGINE_TABLE_ONE_BUILD(Dib24ToYuvPicture, Dib24ToYuvPicture_C);
ZENTRA_ENGINE_TABLE_ONE_BUILD(Dib24ToYuvPictureFlipped, Dib24ToYuvPictureFlipped_C);
ZENTRA_ENGINE_TABLE_ONE_BUILD(Dib32ToYuvPicture, Dib32ToYuvPicture_C);
ZENTRA_ENGINE_TABLE_ONE_BUILD(DibToYuvPicture, DibToYuvPicture_C);
ZENTRA_ENGINE_TABLE_ONE_BUILD(Dib24RowsToRgb32, Dib24RowsToRgb32_C);
ZENTRA_ENGINE_TABLE_ONE_BUILD(Dib24RowsToRgb24, Dib24RowsToRgb24_C);
ZENTRA_ENGINE_TABLE_ONE_BUILD(ResizeYuvPicture, ResizeYuvPicture_C);
ZENTRA_ENGINE_TABLE_ONE_BUILD(ResizePlane, ResizePlane_C);
ZENTRA_ENGINE_TABLE_ONE_BUILD(MoveBytes, MoveBytes_C);
ZENTRA_ENGINE_TABLE_ONE_BUILD(ZeroBytes, ZeroBytes_C);

}  // namespace zentra
