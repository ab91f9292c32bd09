// regsvr: registers an in-process server library in the class registry, or with -u
// unregisters it, by calling the library's own DllRegisterServer/DllUnregisterServer.
#include <com/com.h>
#include <com/registry.h>

#include <dlfcn.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Usage() {
  std::fprintf(stderr, "usage: regsvr [-u] library.so\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false;
  const char* library = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-u") == 0 && !unregister)
      unregister = true;
    else if (!library && argv[i][0] != '-')
      library = argv[i];
    else
      return Usage();
  }
  if (!library) return Usage();

  // Load by full path: a bare name would make dlopen search the library path instead,
  // and the server records the path it was loaded from.
  char full[PATH_MAX];
  if (!realpath(library, full)) {
    std::fprintf(stderr, "regsvr: %s: %s\n", library, std::strerror(errno));
    return 3;
  }
  void* handle = dlopen(full, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::fprintf(stderr, "regsvr: cannot load %s: %s\n", full, dlerror());
    return 3;
  }
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  auto fn = reinterpret_cast<PFN_DllRegisterServer>(dlsym(handle, entry));
  if (!fn) {
    std::fprintf(stderr, "regsvr: %s has no entry point %s; it is not a self-registering server\n", full, entry);
    dlclose(handle);
    return 4;
  }
  CoInitialize(nullptr);
  HRESULT hr = fn();
  CoUninitialize();
  dlclose(handle);
  if (FAILED(hr)) {
    std::fprintf(stderr, "regsvr: %s in %s failed with 0x%08X (registry %s)\n", entry, full,
                 static_cast<unsigned>(hr), qcom::RegistryFilePath().c_str());
    return 5;
  }
  std::printf("regsvr: %s %s in %s\n", unregister ? "unregistered" : "registered", full,
              qcom::RegistryFilePath().c_str());
  return 0;
}
