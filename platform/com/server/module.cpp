// The server module, its class factories, interface tables and the IDispatch holder.
// Built into each server library with hidden visibility, so every library has its own module.
#include <com/server.h>

#include <dlfcn.h>

#include <climits>
#include <cstdlib>

namespace qcom {

ServerModule& Module() {
  static ServerModule module;
  return module;
}

ServerModule::ServerModule() = default;
ServerModule::~ServerModule() = default;

HRESULT ServerModule::Init(const ObjectMapEntry* map, std::size_t count, const GUID* typeLib) {
  if (!map && count) return E_INVALIDARG;
  Term();
  map_ = map;
  count_ = count;
  typeLib_ = typeLib;
  for (std::size_t i = 0; i < count; ++i) {
    if (!map[i].clsid || !map[i].create) {
      Term();
      return E_INVALIDARG;
    }
    factories_.push_back(std::make_unique<ClassFactory>(&map[i]));
  }
  return S_OK;
}

void ServerModule::Term() {
  factories_.clear();
  map_ = nullptr;
  count_ = 0;
  typeLib_ = nullptr;
}

bool ServerModule::IsInitialized() const { return map_ != nullptr; }

LONG ServerModule::Lock() { return locks_.fetch_add(1) + 1; }

LONG ServerModule::Unlock() {
  // Never below zero: a stray unlock must not make the module look busy (or free) forever.
  LONG n = locks_.load();
  while (n > 0 && !locks_.compare_exchange_weak(n, n - 1)) {
  }
  return n > 0 ? n - 1 : -1;
}

LONG ServerModule::GetLockCount() const { return locks_.load(); }

std::string ServerModule::ModulePath() const {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&Module), &info) || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

const GUID* ServerModule::TypeLibId() const { return typeLib_; }

HRESULT ServerModule::GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (std::size_t i = 0; i < factories_.size(); ++i)
    if (IsEqualCLSID(*map_[i].clsid, clsid)) return factories_[i]->QueryInterface(iid, ppv);
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ServerModule::CanUnloadNow() const { return GetLockCount() == 0 ? S_OK : S_FALSE; }

HRESULT ServerModule::RunScripts(bool registering) {
  if (!IsInitialized()) return E_UNEXPECTED;
  std::string path = ModulePath();
  if (path.empty()) return E_UNEXPECTED;
  std::map<std::string, std::string> vars{{"MODULE", path}};
  HRESULT first = S_OK;
  for (std::size_t i = 0; i < count_; ++i) {
    if (!map_[i].registryScript) continue;
    HRESULT hr = RunRegistrationScript(map_[i].registryScript, registering, vars);
    if (FAILED(hr)) {
      if (registering) return hr;
      if (SUCCEEDED(first)) first = hr;  // unregistering goes on with the other classes
    }
  }
  return first;
}

HRESULT ServerModule::RegisterServer() { return RunScripts(true); }
HRESULT ServerModule::UnregisterServer() { return RunScripts(false); }

// ---- Class factory.

HRESULT ClassFactory::QueryInterface(REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

// The module owns the factory; references only count.
ULONG ClassFactory::AddRef() { return refs_.fetch_add(1) + 1; }
ULONG ClassFactory::Release() {
  ULONG n = refs_.load();
  while (n > 0 && !refs_.compare_exchange_weak(n, n - 1)) {
  }
  return n > 0 ? n - 1 : 0;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  return entry_->create(outer, iid, ppv);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
  if (lock) {
    serverLocks_.fetch_add(1);
    Module().Lock();
    return S_OK;
  }
  // Only this factory's own locks can be undone through it.
  LONG n = serverLocks_.load();
  while (n > 0 && !serverLocks_.compare_exchange_weak(n, n - 1)) {
  }
  if (n <= 0) return E_UNEXPECTED;
  Module().Unlock();
  return S_OK;
}

// ---- Interface tables.

IUnknown* FindInterface(void* self, std::span<const InterfaceEntry> map, REFIID iid) {
  if (map.empty()) return nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) return map.front().cast(self);
  for (const InterfaceEntry& e : map)
    if (IsEqualIID(*e.iid, iid)) return e.cast(self);
  return nullptr;
}

// ---- IDispatch holder. LoadRegTypeInfo reports why no type information exists, and
// without type information there is nothing to bind names or invoke with.

HRESULT TypeInfoHolder::Load(LCID, ITypeInfo** out) { return LoadRegTypeInfo(*libid_, major_, minor_, *iid_, out); }

HRESULT TypeInfoHolder::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return Load(lcid, out);
}

HRESULT TypeInfoHolder::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID lcid, DISPID*) {
  ITypeInfo* info = nullptr;
  HRESULT hr = Load(lcid, &info);
  return FAILED(hr) ? hr : DISP_E_UNKNOWNNAME;
}

HRESULT TypeInfoHolder::Invoke(IDispatch*, DISPID, REFIID, LCID lcid, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                               UINT*) {
  ITypeInfo* info = nullptr;
  HRESULT hr = Load(lcid, &info);
  return FAILED(hr) ? hr : DISP_E_MEMBERNOTFOUND;
}

}  // namespace qcom
