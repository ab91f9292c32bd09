#include <win32/errors.h>
#include <win32/module.h>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstring>
#include <vector>

std::string ModuleFileName() {
  // readlink does not say how long the target is; grow until it fits.
  std::vector<char> buf(512);
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    buf.resize(buf.size() * 2);
  }
}

namespace {
std::string LibraryPath(HMODULE module) {
  link_map* map = nullptr;
  if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return {};
  // The main program's entry has an empty name.
  if (map->l_name == nullptr || map->l_name[0] == '\0') return ModuleFileName();
  return map->l_name;
}
}  // namespace

DWORD GetModuleFileNameA(HMODULE module, char* filename, DWORD size) {
  std::string path = module == nullptr ? ModuleFileName() : LibraryPath(module);
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (filename == nullptr || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() < size) {
    std::memcpy(filename, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
  }
  std::memcpy(filename, path.data(), size - 1);
  filename[size - 1] = '\0';
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}
