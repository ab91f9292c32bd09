// The in-process server framework: object map, class factory, module lock count,
// object base with an interface table and aggregation, registration scripts, and an
// IDispatch holder. Link the static library `qcom_server` into each server library;
// its module state is private to that library (build it with hidden visibility, as
// quill_com_server() does).
//
// Usage:
//
//   class Widget : public qcom::ObjectRoot,
//                  public qcom::DispatchImpl<IWidget, IID_IWidget, LIBID_Widget>,
//                  public qcom::SupportErrorInfoImpl<IID_IWidget> {
//    public:
//     static std::span<const qcom::InterfaceEntry> Interfaces() {
//       static const qcom::InterfaceEntry map[] = {
//           qcom::Entry<Widget, IWidget>(IID_IWidget),
//           qcom::Entry<Widget, IDispatch, IWidget>(IID_IDispatch),
//           qcom::Entry<Widget, ISupportErrorInfo>(IID_ISupportErrorInfo)};
//       return map;
//     }
//     HRESULT FinalConstruct() { return S_OK; }   // optional construction hook
//     HRESULT STDMETHODCALLTYPE Frob(INT x) override {
//       if (x < 0) return qcom::ReportError(E_INVALIDARG, CLSID_Widget, "x is negative");
//       return S_OK;
//     }
//   };
//
//   const qcom::ObjectMapEntry kObjects[] = {
//       {&CLSID_Widget, &qcom::CreateInstance<Widget>, R"(
//         HKCR {
//           NoRemove CLSID {
//             ForceRemove {...} = s 'Widget Class' {
//               InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Apartment' }
//             }
//           }
//         })"}};
//
//   static void StartUp() { qcom::Module().Init(kObjects, 1, &LIBID_Widget); }  // ordered load-time set-up
//   #define EXPORT extern "C" __attribute__((visibility("default")))
//   EXPORT HRESULT DllGetClassObject(REFCLSID c, REFIID i, void** p) { return qcom::Module().GetClassObject(c, i, p); }
//   EXPORT HRESULT DllCanUnloadNow() { return qcom::Module().CanUnloadNow(); }
//   EXPORT HRESULT DllRegisterServer() { return qcom::Module().RegisterServer(); }
//   EXPORT HRESULT DllUnregisterServer() { return qcom::Module().UnregisterServer(); }
#pragma once

#include <com/com.h>

#include <atomic>
#include <cstddef>
#include <map>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qcom {

// ---- Registration scripts (implemented in qcom).
//
//   HKCR {                                   optional root: HKCR or HKEY_CLASSES_ROOT
//     Name.1 = s 'Text' { CLSID = s '{...}' }
//     NoRemove CLSID {                       kept when unregistering
//       ForceRemove {...} = s 'Text' {       replaced whole when registering, removed whole after
//         'Programmable'
//         InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Apartment' }
//       }
//     }
//   }
//
// Names are bare words or 'quoted' ('' is a quote inside quotes); keywords are
// case-insensitive; %NAME% is replaced from vars inside names and values (%% is %).
// Unregistering removes the values the script sets and each key it names that is
// left without subkeys; ForceRemove keys go with their whole subtree; NoRemove keys stay.
// The script is parsed whole before the registry is touched, and runs as one edit.
// Returns S_OK, E_INVALIDARG for a malformed script (with *error saying where), or the
// registry's error.
QCOM_API HRESULT RunRegistrationScript(std::string_view script, bool registering,
                                       const std::map<std::string, std::string>& vars,
                                       std::string* error = nullptr);

// Loads type information from a registered type library. There is no type-library
// loader on this platform: TYPE_E_LIBNOTREGISTERED when TypeLib\{libid}\major.minor is
// absent, else TYPE_E_CANTLOADLIBRARY. Clients bind through the virtual table.
QCOM_API HRESULT LoadRegTypeInfo(REFGUID libid, WORD major, WORD minor, REFIID iid, ITypeInfo** out);

// ---- Object map and module.

using CreateFn = HRESULT (*)(IUnknown* outer, REFIID iid, void** ppv);

struct ObjectMapEntry {
  const CLSID* clsid;
  CreateFn create;
  const char* registryScript;  // may be null: nothing to register
};

class ClassFactory;

class ServerModule {
 public:
  ServerModule();
  ~ServerModule();
  ServerModule(const ServerModule&) = delete;
  ServerModule& operator=(const ServerModule&) = delete;

  // The map must outlive the module (normally a static array).
  HRESULT Init(const ObjectMapEntry* map, std::size_t count, const GUID* typeLib);
  void Term();
  bool IsInitialized() const;

  LONG Lock();
  LONG Unlock();  // the new count; -1 (and no change) when it is already 0
  LONG GetLockCount() const;

  // The full path of the library this module is linked into ("" if unknown).
  std::string ModulePath() const;
  const GUID* TypeLibId() const;

  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv);
  HRESULT CanUnloadNow() const;
  HRESULT RegisterServer();    // every script, %MODULE% = ModulePath()
  HRESULT UnregisterServer();

 private:
  HRESULT RunScripts(bool registering);

  std::atomic<LONG> locks_{0};
  const ObjectMapEntry* map_ = nullptr;
  std::size_t count_ = 0;
  const GUID* typeLib_ = nullptr;
  std::vector<std::unique_ptr<ClassFactory>> factories_;
};

// The module of the library the caller is linked into.
ServerModule& Module();

// One class factory per map entry, owned by the module. Holding a reference does not
// lock the module; LockServer does.
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(const ObjectMapEntry* entry) : entry_(entry) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  const ObjectMapEntry* entry_;
  std::atomic<ULONG> refs_{0};
  std::atomic<LONG> serverLocks_{0};
};

// ---- Objects.

// One row of a class's interface table: the interface's identifier and how to find
// that interface part in the object.
struct InterfaceEntry {
  const IID* iid;
  IUnknown* (*cast)(void* self);
};

// Via names the path for an interface reached through a derived one (IDispatch through
// a dual interface).
template <class T, class I, class Via = I>
constexpr InterfaceEntry Entry(const IID& iid) {
  return {&iid, [](void* self) -> IUnknown* {
            return static_cast<I*>(static_cast<Via*>(static_cast<T*>(self)));
          }};
}

// The interface part for iid, not yet AddRef'd; IID_IUnknown is the first row.
IUnknown* FindInterface(void* self, std::span<const InterfaceEntry> map, REFIID iid);

// Base of every object class: default construction and release hooks, which a class
// replaces by declaring its own (they are found by name, not by virtual call).
class ObjectRoot {
 public:
  HRESULT FinalConstruct() { return S_OK; }
  void FinalRelease() {}
};

// A non-aggregated object: owns its reference count, locks the module while it lives.
template <class T>
class ComObject final : public T {
 public:
  ComObject() { Module().Lock(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    if (!ppv) return E_POINTER;
    IUnknown* p = FindInterface(static_cast<T*>(this), T::Interfaces(), iid);
    *ppv = p;
    if (!p) return E_NOINTERFACE;
    p->AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = refs_.fetch_sub(1) - 1;
    if (n == 0) {
      this->FinalRelease();
      delete this;
      Module().Unlock();
    }
    return n;
  }

  // Runs the construction hook with a guard reference, then hands out iid; on any
  // failure the object is destroyed.
  HRESULT Construct(REFIID iid, void** ppv) {
    refs_ = 1;
    HRESULT hr = this->FinalConstruct();
    if (SUCCEEDED(hr)) hr = QueryInterface(iid, ppv);
    Release();
    return hr;
  }

 private:
  std::atomic<ULONG> refs_{0};
};

// The aggregated form's interface parts: every IUnknown call goes to the outer object.
template <class T>
class ComContainedObject final : public T {
 public:
  explicit ComContainedObject(IUnknown* outer) : outer_(outer) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    return outer_->QueryInterface(iid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return outer_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return outer_->Release(); }

 private:
  IUnknown* outer_;  // not owned: the outer object owns us
};

// The aggregated object's own (non-delegating) IUnknown, which only the outer object holds.
template <class T>
class ComAggObject final : public IUnknown {
 public:
  explicit ComAggObject(IUnknown* outer) : contained_(outer) { Module().Lock(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown)) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    IUnknown* p = FindInterface(static_cast<T*>(&contained_), T::Interfaces(), iid);
    *ppv = p;
    if (!p) return E_NOINTERFACE;
    p->AddRef();  // through the outer object, as the client expects
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = refs_.fetch_sub(1) - 1;
    if (n == 0) {
      contained_.FinalRelease();
      delete this;
      Module().Unlock();
    }
    return n;
  }

  HRESULT Construct(REFIID iid, void** ppv) {
    refs_ = 1;
    HRESULT hr = contained_.FinalConstruct();
    if (SUCCEEDED(hr)) hr = QueryInterface(iid, ppv);
    Release();
    return hr;
  }

 private:
  std::atomic<ULONG> refs_{0};
  ComContainedObject<T> contained_;
};

// The creation function of an object map row. An outer object may only ask for IUnknown.
template <class T>
HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) {
    if (!IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    auto* p = new (std::nothrow) ComAggObject<T>(outer);
    if (!p) return E_OUTOFMEMORY;
    return p->Construct(iid, ppv);
  }
  auto* p = new (std::nothrow) ComObject<T>();
  if (!p) return E_OUTOFMEMORY;
  return p->Construct(iid, ppv);
}

// ---- Error information support.

template <const IID&... Iids>
class SupportErrorInfoImpl : public ISupportErrorInfo {
 public:
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
    return (IsEqualIID(iid, Iids) || ...) ? S_OK : S_FALSE;
  }
};

// ---- IDispatch through a type library loaded on first use.

class TypeInfoHolder {
 public:
  TypeInfoHolder(const GUID* libid, const IID* iid, WORD major, WORD minor)
      : libid_(libid), iid_(iid), major_(major), minor_(minor) {}
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out);
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids);
  HRESULT Invoke(IDispatch* self, DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                 VARIANT* result, EXCEPINFO* excep, UINT* argErr);

 private:
  // Until a load succeeds every call tries again, so a library registered later is found.
  HRESULT Load(LCID lcid, ITypeInfo** out);

  const GUID* libid_;
  const IID* iid_;
  WORD major_, minor_;
};

template <class I, const IID& Iid, const GUID& LibId, WORD Major = 1, WORD Minor = 0>
class DispatchImpl : public I {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override {
    return Holder().GetTypeInfo(index, lcid, out);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override {
    return Holder().GetIDsOfNames(riid, names, count, lcid, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* argErr) override {
    return Holder().Invoke(this, id, riid, lcid, flags, params, result, excep, argErr);
  }

  static TypeInfoHolder& Holder() {
    static TypeInfoHolder holder(&LibId, &Iid, Major, Minor);
    return holder;
  }
};

}  // namespace qcom
