// The library's version and string resources. An ELF library has no resource
// section, so they are read-only data of the library, read through these
// accessors.
#pragma once

#include <cstdint>

namespace zentra {

// The string table: 100 holds the module name.
inline constexpr int kModuleNameStringId = 100;

struct VersionResource {
  std::uint16_t fileVersion[4];     // 1, 0, 0, 1
  std::uint16_t productVersion[4];  // 1, 0, 0, 1
  std::uint16_t translationLanguage;  // 0x0409
  std::uint16_t translationCodePage;  // 1200
  std::uint16_t resourceLanguage;     // 2052, the language the resources carry
  bool selfRegistering;               // the "OLESelfRegister" entry
};

const VersionResource& ModuleVersion();
// The value of a string of the version resource ("FileDescription",
// "FileVersion", "InternalName", ...), or null when it has none by that name.
const char* ModuleVersionString(const char* name);
// A string of the string table, or null for an id it does not hold.
const char* ModuleString(int id);

}  // namespace zentra
