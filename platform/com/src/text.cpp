// UTF-8/UTF-16 conversion and the text form of GUIDs.
#include <com/guid.h>
#include <com/strings.h>
#include <win32/hexdigit.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

}  // namespace

namespace {

// A byte that is not part of valid UTF-8 is either replaced by U+FFFD (text) or carried
// as the unpaired low surrogate U+DC80..U+DCFF (file names), which turns back into it.
enum class BadBytes { Replace, Carry };

std::u16string DecodeUtf8(std::string_view s, BadBytes bad) {
  std::u16string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    int len = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
    if (len == 0 || (b >= 0xF0 && len != 4)) {
      out += static_cast<char16_t>(bad == BadBytes::Carry ? 0xDC00 | b : kReplacement);
      ++i;
      continue;
    }
    char32_t c = b & (0xFF >> (len + 1));
    int got = 1;
    for (; got < len && i + got < s.size(); ++got) {
      auto t = static_cast<unsigned char>(s[i + got]);
      if ((t & 0xC0) != 0x80) break;
      c = (c << 6) | (t & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    bool invalid = got != len || (len == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
                   (len == 4 && (c < 0x10000 || c > 0x10FFFF));
    if (invalid && bad == BadBytes::Carry) {
      // Only the first byte is carried; the rest are looked at afresh.
      out += static_cast<char16_t>(0xDC00 | b);
      ++i;
      continue;
    }
    if (invalid) {
      out += static_cast<char16_t>(kReplacement);
      i += got == len ? len : std::max(got, 1);
      continue;
    }
    AppendUtf16(out, c);
    i += len;
  }
  return out;
}

std::string EncodeUtf8(std::u16string_view s, BadBytes bad) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (bad == BadBytes::Carry && c >= 0xDC80 && c <= 0xDCFF) {
      out += static_cast<char>(c & 0xFF);
      continue;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view s) { return DecodeUtf8(s, BadBytes::Replace); }

std::string Utf16ToUtf8(std::u16string_view s) { return EncodeUtf8(s, BadBytes::Replace); }

std::string BstrToUtf8(BSTR bstr) {
  if (!bstr) return {};
  return Utf16ToUtf8(std::u16string_view(bstr, SysStringLen(bstr)));
}

BSTR SysAllocStringUtf8(std::string_view utf8) {
  std::u16string w = Utf8ToUtf16(utf8);
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

std::string BstrToPath(BSTR bstr) {
  if (!bstr) return {};
  return EncodeUtf8(std::u16string_view(bstr, SysStringLen(bstr)), BadBytes::Carry);
}

BSTR SysAllocStringPath(std::string_view path) {
  std::u16string w = DecodeUtf8(path, BadBytes::Carry);
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

std::string GuidToString(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

bool ParseGuid(std::string_view t, GUID* out) {
  if (!out || t.size() != 38 || t.front() != '{' || t.back() != '}') return false;
  t = t.substr(1, 36);
  std::uint8_t bytes[16];
  std::size_t n = 0;
  for (std::size_t i = 0; i < t.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (t[i] != '-') return false;
      ++i;
      continue;
    }
    int hi = HexDigitValue(t[i]), lo = HexDigitValue(t[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes[n++] = static_cast<std::uint8_t>(hi << 4 | lo);
    i += 2;
  }
  GUID g;
  g.Data1 = std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
  g.Data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
  g.Data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
  for (int k = 0; k < 8; ++k) g.Data4[k] = bytes[8 + k];
  *out = g;
  return true;
}

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  std::string s = GuidToString(rguid);
  if (!lpsz || cchMax < static_cast<int>(s.size()) + 1) return 0;
  for (std::size_t i = 0; i < s.size(); ++i) lpsz[i] = static_cast<OLECHAR>(s[i]);
  lpsz[s.size()] = 0;
  return static_cast<int>(s.size()) + 1;
}

HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid) {
  if (!lpsz || !lpiid) return E_INVALIDARG;
  return ParseGuid(Utf16ToUtf8(lpsz), lpiid) ? S_OK : E_INVALIDARG;
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
  if (!pclsid) return E_INVALIDARG;
  if (!lpsz) {
    *pclsid = GUID_NULL;
    return S_OK;
  }
  if (lpsz[0] == u'{') return ParseGuid(Utf16ToUtf8(lpsz), pclsid) ? S_OK : CO_E_CLASSSTRING;
  // Anything else may be a ProgID.
  return CLSIDFromProgID(lpsz, pclsid);
}
