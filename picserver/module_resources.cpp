// The library's version and string resources as constant data.
#include <zentra/module_resources.h>

#include <cstring>

namespace zentra {

namespace {

struct NamedString {
  const char* name;
  const char* value;
};

constexpr NamedString kVersionStrings[] = {
    {"CompanyName", ""},
    {"FileDescription", "ZENTRA Module"},
    {"FileVersion", "1, 0, 0, 1"},
    {"InternalName", "ZENTRA"},
    {"LegalCopyright", "Copyright (C) 2026 Korvex Quillmere"},
    {"OriginalFilename", "ZENTRA.DLL"},
    {"ProductName", "ZENTRA Module"},
    {"ProductVersion", "1, 0, 0, 1"},
    {"OLESelfRegister", ""},
};

constexpr VersionResource kVersion = {{1, 0, 0, 1}, {1, 0, 0, 1}, 0x0409, 1200, 2052, true};

}  // namespace

const VersionResource& ModuleVersion() { return kVersion; }

const char* ModuleVersionString(const char* name) {
  if (name == nullptr) return nullptr;
  for (const NamedString& s : kVersionStrings)
    if (std::strcmp(s.name, name) == 0) return s.value;
  return nullptr;
}

const char* ModuleString(int id) {
  return id == kModuleNameStringId ? "ZENTRA" : nullptr;
}

}  // namespace zentra
