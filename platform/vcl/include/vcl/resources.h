// Named BITMAP resources embedded into the program by the build
// (quill_embed_bitmaps in platform/vcl/EmbedResources.cmake).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <vcl/export.h>
#include <vcl/sysutils.h>
#include <win32/types.h>

class TBitmap;

// The program's own module. Resource calls also take 0 for it.
extern QVCL_API HINSTANCE HInstance;

class QVCL_API EResNotFound : public Exception {
 public:
  using Exception::Exception;
};

// Called by the generated registration code; the data must stay valid for the
// life of the process (it is static data of the binary). A later registration of
// the same name replaces the earlier one.
QVCL_API void RegisterBitmapResource(const char* name, const std::uint8_t* data, std::size_t size);

// Looks a name up (without regard to case) in the given module; only the program's
// own module (0 or HInstance) holds resources. Answers false when it is missing.
QVCL_API bool FindBitmapResource(HINSTANCE instance, const std::string& name,
                        const std::uint8_t** data, std::size_t* size);
// The names registered so far, sorted.
QVCL_API std::vector<std::string> BitmapResourceNames();

// A new bitmap from the named resource of the program; EResNotFound when missing,
// EInvalidGraphic when the embedded data is not a valid BMP.
QVCL_API std::unique_ptr<TBitmap> LoadBitmapResource(const std::string& name);
