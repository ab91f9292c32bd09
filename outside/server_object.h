// What the five classes of the library are built from: one base with the interface
// map for all of them, and the IDispatch of the classes that are bound only through
// their virtual table.
#pragma once

#include <com/server.h>

#include <span>
#include <type_traits>

#include "server_classes.h"

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

// How late binding reaches a class: through the library's type library, or not at all.
enum class Binding { TypeLibrary, VtableOnly };

// The base of every class of the library: object T exposes one interface I (IID Iid)
// with its IDispatch part and error information. Its interface map: I (also for
// IID_IUnknown, the map's first row), IDispatch through I, ISupportErrorInfo.
template <class T, class I, const IID& Iid, Binding B>
class ServerObject : public qcom::ObjectRoot,
                     public std::conditional_t<B == Binding::TypeLibrary,
                                               qcom::DispatchImpl<I, Iid, LIBID_QuillOutside>, VtableOnlyDispatch<I>>,
                     public qcom::SupportErrorInfoImpl<Iid> {
 public:
  static std::span<const qcom::InterfaceEntry> Interfaces() {
    static const qcom::InterfaceEntry map[] = {qcom::Entry<T, I>(Iid), qcom::Entry<T, IDispatch, I>(IID_IDispatch),
                                               qcom::Entry<T, ISupportErrorInfo>(IID_ISupportErrorInfo)};
    return map;
  }
};

}  // namespace outside
