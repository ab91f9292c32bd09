// The encoder and preview classes: creation functions and registration scripts
// for the library's object map.
#pragma once

#include <com/server.h>
#include <outside/encoders.h>

namespace outside {

// IDispatch of interfaces that are only ever bound through their virtual table:
// there is no type library, so late binding finds no members.
template <class I>
class VtableOnlyDispatch : public I {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

HRESULT CreateMpegEnc(IUnknown* outer, REFIID iid, void** ppv);
extern const char kMpegEncRegistry[];
HRESULT CreateAviEncode(IUnknown* outer, REFIID iid, void** ppv);
extern const char kAviEncodeRegistry[];
HRESULT CreatePicShowObj(IUnknown* outer, REFIID iid, void** ppv);
extern const char kPicShowObjRegistry[];

}  // namespace outside
