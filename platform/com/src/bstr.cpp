// BSTR: [uint32 byte length][UTF-16 text][NUL], the pointer handed out points at the text.
#include <com/com.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kPrefix = sizeof(std::uint32_t);

std::uint32_t* Header(BSTR b) { return reinterpret_cast<std::uint32_t*>(b) - 1; }

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
  // The byte length must fit the 32-bit prefix.
  if (cch > (0xFFFFFFFFu - kPrefix - sizeof(OLECHAR)) / sizeof(OLECHAR) / 2) return nullptr;
  std::size_t bytes = std::size_t{cch} * sizeof(OLECHAR);
  auto* block = static_cast<std::uint32_t*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  *block = static_cast<std::uint32_t>(bytes);
  auto* text = reinterpret_cast<OLECHAR*>(block + 1);
  if (pch)
    std::memcpy(text, pch, bytes);
  else
    std::memset(text, 0, bytes);
  text[cch] = 0;
  return text;
}

BSTR SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  UINT n = 0;
  while (psz[n]) ++n;
  return SysAllocStringLen(psz, n);
}

void SysFreeString(BSTR bstr) {
  if (bstr) std::free(Header(bstr));
}

UINT SysStringLen(BSTR bstr) { return bstr ? *Header(bstr) / sizeof(OLECHAR) : 0; }

UINT SysStringByteLen(BSTR bstr) { return bstr ? *Header(bstr) : 0; }

void* CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb ? cb : 1); }

void CoTaskMemFree(void* pv) { std::free(pv); }
