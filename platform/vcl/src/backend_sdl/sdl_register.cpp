// Makes the SDL2 backend the default one of the class library.
#include "sdl_backend.h"

namespace {

const bool g_registered = (RegisterBackend(&SdlBackendOps(), true), true);

}  // namespace
