#include "ksini.h"

#include <win32/hexdigit.h>
#include <win32/module.h>
#include <win32/profile.h>

#include <cstdio>
#include <new>
#include <vector>

namespace {

constexpr const char* kSection = "INI";

alignas(KsIni) unsigned char g_staticStorage[sizeof(KsIni)];
bool g_staticConstructed = false;
bool g_staticInitialised = false;

KsIni* StaticInstance() { return std::launder(reinterpret_cast<KsIni*>(g_staticStorage)); }

// Destroys the process-wide object when the program ends.
struct StaticKsIniReaper {
  ~StaticKsIniReaper() { FreeStaticKsIni(); }
} g_reaper;

}  // namespace

void KsObject::Destroy(unsigned flags) {
  this->~KsObject();
  if (flags & 1) ::operator delete(this);
}

void KsObject::Release() { Destroy(3); }

bool KsObject::Init() { return true; }

void KsIni::Destroy(unsigned flags) {
  this->~KsIni();
  if (flags & 1) ::operator delete(this);
}

void KsIni::Release() {
  // The process-wide object is not the caller's to free; releasing it would free
  // storage that was never allocated.
  if (this == StaticInstance() && g_staticConstructed) return;
  Destroy(3);
}

bool KsIni::Init() {
  path_.clear();
  return true;
}

bool KsIni::Open(const char* name) {
  if (name == nullptr) return false;
  path_ = GetIniDirectory() + "/" + name;
  return true;
}

bool KsIni::ReadString(const char* key, const char* defaultValue, char* buffer, unsigned size) {
  GetPrivateProfileStringA(kSection, key, defaultValue, buffer, size, path_.c_str());
  return true;
}

std::string KsIni::ReadString(const char* key, const char* defaultValue) {
  std::vector<char> buffer(512);
  for (;;) {
    DWORD n = GetPrivateProfileStringA(kSection, key, defaultValue, buffer.data(),
                                       static_cast<DWORD>(buffer.size()), path_.c_str());
    if (n + 1 < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

bool KsIni::WriteString(const char* key, const char* value) {
  return WritePrivateProfileStringA(kSection, key, value, path_.c_str()) != FALSE;
}

std::int32_t KsIni::ReadInt(const char* key, std::int32_t defaultValue) {
  char buffer[20];
  ReadString(key, FormatHexInt(defaultValue), buffer, sizeof buffer);
  return ScanHexInt(buffer);
}

bool KsIni::WriteInt(const char* key, std::int32_t value) { return WriteString(key, FormatHexInt(value)); }

bool KsIni::SelfTest() {
  Open("IniFile.ini");
  std::int32_t first = ReadInt("name", 8);
  WriteInt("name", 23499);
  std::printf("I get %d\n", first);
  std::printf("I get %d\n", ReadInt("name", 8));
  std::fflush(stdout);
  return true;
}

KsIni* NEW_KSINI() {
  KsIni* ini = new KsIni;
  if (!ini->Init()) {
    ini->Release();
    return nullptr;
  }
  return ini;
}

KsIni* NEW_00_KSINI() {
  if (!g_staticConstructed) {
    new (g_staticStorage) KsIni;
    g_staticConstructed = true;
    g_staticInitialised = false;
  }
  if (!g_staticInitialised && StaticInstance()->Init()) g_staticInitialised = true;
  return g_staticInitialised ? StaticInstance() : nullptr;
}

void FreeStaticKsIni() {
  if (!g_staticConstructed) return;
  StaticInstance()->Destroy(0);
  g_staticConstructed = false;
  g_staticInitialised = false;
}

const std::string& GetIniDirectory() {
  static const std::string directory = [] {
    std::string exe = ModuleFileName();
    size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return std::string(".");
    return exe.substr(0, slash);
  }();
  return directory;
}

const char* FormatHexInt(std::int32_t value) {
  thread_local char text[20];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
  return text;
}

std::int32_t ScanHexInt(const char* text) {
  // As the C library's scan with "0x%x": the literal "0x", then blanks, a sign, an
  // optional second 0x and hexadecimal digits; digits beyond 32 bits wrap instead of
  // being undefined.
  if (text == nullptr || text[0] != '0' || text[1] != 'x') return 0;
  const char* p = text + 2;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigitValue(p[2]) >= 0) p += 2;
  std::uint32_t value = 0;
  for (int d; (d = HexDigitValue(*p)) >= 0; ++p) value = value * 16u + static_cast<std::uint32_t>(d);
  return static_cast<std::int32_t>(negative ? 0u - value : value);
}
