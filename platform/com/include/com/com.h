// The COM runtime: interfaces in the Windows virtual-table layout, BSTR strings,
// apartments, the class registry, in-process activation and error information.
// Interfaces are structs of pure virtual functions with no virtual destructor,
// IUnknown first, so that a method's vtable slot is its position in the interface.
#pragma once

#include <com/export.h>
#include <win32/types.h>

using BSTR = OLECHAR*;
using DISPID = LONG;
using VARTYPE = USHORT;
using VARIANT_BOOL = SHORT;

inline constexpr HRESULT DISP_E_BADINDEX = MAKE_HRESULT_U(0x8002000Bu);

// Well-known interface identifiers.
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ISupportErrorInfo = {0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ICreateErrorInfo = {0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Class contexts; only in-process servers exist here.
inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_ALL = 0x17;  // 23, the context the program asks for

inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD COINIT_MULTITHREADED = 0x0;

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

// Late-binding types: only as much as the IDispatch slots need.
struct ITypeInfo;
struct DISPPARAMS {
  void* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};
struct VARIANT {
  VARTYPE vt;
  WORD reserved1, reserved2, reserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    double dblVal;
    BSTR bstrVal;
    IUnknown* punkVal;
    void* byref;
  };
};
struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

struct IDispatch : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                                  LCID lcid, DISPID* rgDispId) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                           DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                           EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
};

struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

struct ISupportErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

struct IErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) = 0;
};

struct ICreateErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) = 0;
};

// Entry points every in-process server library exports.
extern "C" {
using PFN_DllGetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
using PFN_DllCanUnloadNow = HRESULT (*)();
using PFN_DllRegisterServer = HRESULT (*)();
using PFN_DllUnregisterServer = HRESULT (*)();
}

// ---- BSTR: UTF-16 text with a 32-bit byte-length prefix and a terminating NUL.
QCOM_API BSTR SysAllocString(const OLECHAR* psz);
QCOM_API BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch);
QCOM_API void SysFreeString(BSTR bstr);
QCOM_API UINT SysStringLen(BSTR bstr);
QCOM_API UINT SysStringByteLen(BSTR bstr);

// ---- Task memory.
QCOM_API void* CoTaskMemAlloc(SIZE_T cb);
QCOM_API void CoTaskMemFree(void* pv);

// ---- Apartments (counted per thread).
QCOM_API HRESULT CoInitialize(void* reserved);
QCOM_API HRESULT CoInitializeEx(void* reserved, DWORD coInit);
QCOM_API void CoUninitialize();

// ---- Activation.
QCOM_API HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext,
                                  REFIID riid, void** ppv);
QCOM_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* pvReserved,
                                  REFIID riid, void** ppv);
QCOM_API void CoFreeUnusedLibraries();
// Registers a class object in this process (for fakes in tests); *lpdwRegister
// receives a cookie for CoRevokeClassObject.
QCOM_API HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext,
                                       DWORD flags, DWORD* lpdwRegister);
QCOM_API HRESULT CoRevokeClassObject(DWORD dwRegister);

// ---- Identifiers.
QCOM_API HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);  // CoTaskMemFree the result
QCOM_API HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid);
QCOM_API HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid);  // "{XXXXXXXX-XXXX-...}"
QCOM_API HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid);
QCOM_API int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);  // chars written incl. NUL, 0 if too small

// ---- Error information (one slot per thread).
QCOM_API HRESULT SetErrorInfo(DWORD dwReserved, IErrorInfo* perrinfo);
QCOM_API HRESULT GetErrorInfo(DWORD dwReserved, IErrorInfo** pperrinfo);  // takes and clears; S_FALSE if none
QCOM_API HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);
