#include "interface.h"

#include <win32/module.h>

std::string StatusText;

namespace {

std::string g_module_path;
int g_unit_counter = 0;

}  // namespace

const char* GetModulePath() {
  if (g_module_path.empty()) {
    // No fixed-size buffer: the directory may be longer than 260 characters.
    std::string exe = ModuleFileName();
    size_t slash = exe.find_last_of('/');
    g_module_path = slash == std::string::npos ? exe : exe.substr(0, slash);
    // Keep the buffer's storage for good: callers hold on to the pointer.
    g_module_path.reserve(g_module_path.size() + 1);
  }
  return g_module_path.c_str();
}

void Interface_Initialization() {
  if (g_unit_counter-- == 0) StatusText.clear();
}

void Interface_Finalization() {
  if (++g_unit_counter == 0) std::string().swap(StatusText);
}
