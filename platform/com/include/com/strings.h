// Text conversions between UTF-8 (the narrow code page here) and UTF-16 (BSTR, OLECHAR).
#pragma once

#include <com/com.h>

#include <string>
#include <string_view>
#include <utility>

// Malformed input (bad UTF-8 bytes, lone surrogates) becomes U+FFFD; nothing is dropped silently.
QCOM_API std::u16string Utf8ToUtf16(std::string_view utf8);
QCOM_API std::string Utf16ToUtf8(std::u16string_view utf16);
// The whole BSTR by its length prefix (embedded NULs kept); a null BSTR is "".
QCOM_API std::string BstrToUtf8(BSTR bstr);
// A new BSTR (free with SysFreeString); null only when memory runs out.
QCOM_API BSTR SysAllocStringUtf8(std::string_view utf8);
// File names are bytes and need not be UTF-8: these two keep every byte. A byte outside
// valid UTF-8 travels as the unpaired surrogate U+DC80..U+DCFF and comes back as itself;
// valid UTF-8 gives the same text as SysAllocStringUtf8.
QCOM_API BSTR SysAllocStringPath(std::string_view path);
QCOM_API std::string BstrToPath(BSTR bstr);

// Owns one BSTR and frees it on scope exit.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::string_view utf8) : b_(SysAllocStringUtf8(utf8)) {}
  // A file name, every byte kept.
  static Bstr FromPath(std::string_view path) {
    Bstr b;
    b.b_ = SysAllocStringPath(path);
    return b;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
  Bstr& operator=(Bstr&& o) noexcept {
    if (this != &o) {
      SysFreeString(b_);
      b_ = std::exchange(o.b_, nullptr);
    }
    return *this;
  }
  ~Bstr() { SysFreeString(b_); }

  BSTR get() const { return b_; }
  // For out parameters: frees what is held and hands out the slot.
  BSTR* put() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  BSTR Detach() { return std::exchange(b_, nullptr); }
  std::string Utf8() const { return BstrToUtf8(b_); }
  std::string Path() const { return BstrToPath(b_); }

 private:
  BSTR b_ = nullptr;
};

namespace qcom {
using ::Bstr;
using ::BstrToPath;
using ::BstrToUtf8;
using ::SysAllocStringPath;
using ::SysAllocStringUtf8;
using ::Utf16ToUtf8;
using ::Utf8ToUtf16;
}  // namespace qcom
