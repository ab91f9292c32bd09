// The path of the running program or of a loaded library.
#pragma once

#include <string>

#include <win32/export.h>
#include <win32/types.h>

extern "C" {
// module: null for the executable, else a handle returned by dlopen. Copies the path
// with its NUL. When the buffer is too small the path is cut to size-1 characters,
// still NUL-terminated, the result is size and the last error ERROR_INSUFFICIENT_BUFFER.
// On failure the result is 0.
QWIN32_API DWORD GetModuleFileNameA(HMODULE module, char* filename, DWORD size);
}

// The executable's full path without any length limit ("" when it cannot be read).
QWIN32_API std::string ModuleFileName();
