// Fixed-width Win32 base types and the result codes shared by every layer.
// The sizes are those of the 32-bit Windows ABI the program was designed for;
// pointers and pointer-sized integers keep their real 64-bit size.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using BOOL = std::int32_t;
using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using LCID = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using DWORD_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using SIZE_T = std::size_t;
using CHAR = char;
using WCHAR = char16_t;
using OLECHAR = char16_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using LPVOID = void*;
using LPCVOID = const void*;
using HANDLE = void*;
using HINSTANCE = void*;
using HMODULE = void*;
using HGLOBAL = void*;
// Handles of windows and GDI objects: distinct pointer-sized types.
#define QUILL_DECLARE_HANDLE(name) struct name##__; using name = name##__*
QUILL_DECLARE_HANDLE(HWND);
QUILL_DECLARE_HANDLE(HDC);
QUILL_DECLARE_HANDLE(HRGN);
QUILL_DECLARE_HANDLE(HBITMAP);
QUILL_DECLARE_HANDLE(HBRUSH);
QUILL_DECLARE_HANDLE(HPEN);
QUILL_DECLARE_HANDLE(HFONT);
QUILL_DECLARE_HANDLE(HICON);
QUILL_DECLARE_HANDLE(HMENU);
QUILL_DECLARE_HANDLE(HKEY);
using HCURSOR = HICON;
using HGDIOBJ = void*;
using COLORREF = DWORD;

struct POINT { LONG x; LONG y; };
struct SIZE { LONG cx; LONG cy; };
struct RECT { LONG left; LONG top; LONG right; LONG bottom; };

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef MAX_PATH
#define MAX_PATH 260
#endif

// Calling conventions are those of the platform's C++ ABI on x86-64.
#define STDMETHODCALLTYPE
#define WINAPI
#define CALLBACK

constexpr HRESULT MAKE_HRESULT_U(std::uint32_t v) { return static_cast<HRESULT>(v); }
inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MAKE_HRESULT_U(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = MAKE_HRESULT_U(0x80004002u);
inline constexpr HRESULT E_POINTER = MAKE_HRESULT_U(0x80004003u);
inline constexpr HRESULT E_ABORT = MAKE_HRESULT_U(0x80004004u);
inline constexpr HRESULT E_FAIL = MAKE_HRESULT_U(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = MAKE_HRESULT_U(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = MAKE_HRESULT_U(0x80070005u);
inline constexpr HRESULT E_HANDLE = MAKE_HRESULT_U(0x80070006u);
inline constexpr HRESULT E_OUTOFMEMORY = MAKE_HRESULT_U(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = MAKE_HRESULT_U(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MAKE_HRESULT_U(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MAKE_HRESULT_U(0x80040111u);
inline constexpr HRESULT REGDB_E_READREGDB = MAKE_HRESULT_U(0x80040150u);
inline constexpr HRESULT REGDB_E_WRITEREGDB = MAKE_HRESULT_U(0x80040151u);
inline constexpr HRESULT REGDB_E_KEYMISSING = MAKE_HRESULT_U(0x80040152u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MAKE_HRESULT_U(0x80040154u);
inline constexpr HRESULT REGDB_E_IIDNOTREG = MAKE_HRESULT_U(0x80040155u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = MAKE_HRESULT_U(0x800401F0u);
inline constexpr HRESULT CO_E_DLLNOTFOUND = MAKE_HRESULT_U(0x800401F8u);
inline constexpr HRESULT CO_E_ERRORINDLL = MAKE_HRESULT_U(0x800401F9u);
inline constexpr HRESULT CO_E_CLASSSTRING = MAKE_HRESULT_U(0x800401F3u);
inline constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = MAKE_HRESULT_U(0x80080005u);
inline constexpr HRESULT RPC_E_CHANGED_MODE = MAKE_HRESULT_U(0x80010106u);
inline constexpr HRESULT DISP_E_EXCEPTION = MAKE_HRESULT_U(0x80020009u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MAKE_HRESULT_U(0x80020003u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = MAKE_HRESULT_U(0x80020006u);
inline constexpr HRESULT TYPE_E_LIBNOTREGISTERED = MAKE_HRESULT_U(0x8002801Du);
inline constexpr HRESULT TYPE_E_CANTLOADLIBRARY = MAKE_HRESULT_U(0x80029C4Au);
inline constexpr HRESULT SELFREG_E_CLASS = MAKE_HRESULT_U(0x80040201u);
inline constexpr HRESULT HRESULT_DISK_FULL = MAKE_HRESULT_U(0x80070070u);  // ERROR_DISK_FULL as HRESULT

// A Win32 error code as an HRESULT (FACILITY_WIN32).
inline constexpr HRESULT HRESULT_FROM_WIN32(DWORD e) {
  return e == 0 ? S_OK : MAKE_HRESULT_U((e & 0xFFFFu) | 0x80070000u);
}

// GUID in the Windows memory layout.
struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool operator==(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::equal(a.Data4, a.Data4 + 8, b.Data4);
}
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }
inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
