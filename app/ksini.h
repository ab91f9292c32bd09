// The settings object: reads and writes keys of section "INI" of a file beside the
// program through the private-profile calls. Created by NEW_KSINI, used for one read or
// write and released at once; nothing is cached between uses.
#pragma once

#include <cstdint>
#include <string>

#define KSINI_EXPORT __attribute__((visibility("default")))

// Root of the factory-made objects. Objects are destroyed only through Destroy/Release.
class KsObject {
 public:
  KsObject(const KsObject&) = delete;
  KsObject& operator=(const KsObject&) = delete;

  // Runs the destructor; bit 0 of flags also frees the object's memory.
  virtual void Destroy(unsigned flags);
  virtual void Release();
  virtual bool Init();

 protected:
  KsObject() = default;
  ~KsObject() = default;
};

class KsIniBase : public KsObject {
 public:
  virtual bool SelfTest() = 0;
  virtual bool Open(const char* name) = 0;
  virtual bool ReadString(const char* key, const char* defaultValue, char* buffer, unsigned size) = 0;
  virtual bool WriteString(const char* key, const char* value) = 0;
  virtual std::int32_t ReadInt(const char* key, std::int32_t defaultValue) = 0;
  virtual bool WriteInt(const char* key, std::int32_t value) = 0;

 protected:
  ~KsIniBase() = default;
};

class KsIni final : public KsIniBase {
 public:
  KsIni() = default;

  void Destroy(unsigned flags) override;
  void Release() override;
  bool Init() override;
  bool SelfTest() override;
  // The file is name in the program's folder; any length.
  bool Open(const char* name) override;
  // Always true: a missing file or key leaves the default in the buffer.
  bool ReadString(const char* key, const char* defaultValue, char* buffer, unsigned size) override;
  // The whole value, however long.
  std::string ReadString(const char* key, const char* defaultValue);
  bool WriteString(const char* key, const char* value) override;
  // Integers are kept as "0x%x" text.
  std::int32_t ReadInt(const char* key, std::int32_t defaultValue) override;
  bool WriteInt(const char* key, std::int32_t value) override;

  const std::string& Path() const { return path_; }

 private:
  ~KsIni() = default;
  std::string path_;
};

extern "C" {
// A new object (the caller releases it), or null when Init fails.
KSINI_EXPORT KsIni* NEW_KSINI();
// The one process-wide object; never released by callers.
KSINI_EXPORT KsIni* NEW_00_KSINI();
// Destroys the process-wide object (without freeing its storage); run at exit.
KSINI_EXPORT void FreeStaticKsIni();
}

// The program's folder without a trailing "/", looked up once.
const std::string& GetIniDirectory();
// "0x%x" of the value in a per-thread buffer that the next call overwrites.
const char* FormatHexInt(std::int32_t value);
// The value of text that begins with "0x" and hexadecimal digits, else 0.
std::int32_t ScanHexInt(const char* text);
