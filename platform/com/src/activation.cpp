// Apartments, class objects, in-process server libraries and ProgIDs.
#include <com/guid.h>
#include <com/registry.h>
#include <com/strings.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "internal.h"

namespace {

// ---- Apartments.

struct Apartment {
  int count = 0;
  DWORD model = 0;
};
thread_local Apartment t_apartment;

bool InApartment() { return t_apartment.count > 0; }

// ---- Class objects registered in this process.

struct RegisteredClass {
  DWORD cookie;
  CLSID clsid;
  IUnknown* object;
};

std::mutex g_classesMutex;
std::vector<RegisteredClass> g_classes;
DWORD g_nextCookie = 1;

// Takes a reference to the newest class object registered for clsid, or null.
IUnknown* FindRegisteredClass(REFCLSID clsid) {
  std::lock_guard lock(g_classesMutex);
  for (auto it = g_classes.rbegin(); it != g_classes.rend(); ++it)
    if (it->clsid == clsid) {
      it->object->AddRef();
      return it->object;
    }
  return nullptr;
}

// ---- Server libraries, each loaded once.

struct Library {
  std::string path;
  void* handle = nullptr;
  PFN_DllGetClassObject getClassObject = nullptr;
  PFN_DllCanUnloadNow canUnloadNow = nullptr;
  int busy = 0;  // calls into the library in progress; it is not unloaded meanwhile
};

std::recursive_mutex g_librariesMutex;
std::vector<std::unique_ptr<Library>> g_libraries;

// Loads (or finds) the library and marks it busy; release with Unpin.
HRESULT PinLibrary(const std::string& path, Library** out) {
  std::lock_guard lock(g_librariesMutex);
  for (auto& lib : g_libraries)
    if (lib->path == path) {
      ++lib->busy;
      *out = lib.get();
      return S_OK;
    }
  if (access(path.c_str(), F_OK) != 0) return CO_E_DLLNOTFOUND;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return CO_E_ERRORINDLL;
  // The same file under another name is the same library.
  for (auto& lib : g_libraries)
    if (lib->handle == handle) {
      dlclose(handle);
      ++lib->busy;
      *out = lib.get();
      return S_OK;
    }
  auto get = reinterpret_cast<PFN_DllGetClassObject>(dlsym(handle, "DllGetClassObject"));
  if (!get) {
    dlclose(handle);
    return CO_E_ERRORINDLL;
  }
  auto lib = std::make_unique<Library>();
  lib->path = path;
  lib->handle = handle;
  lib->getClassObject = get;
  lib->canUnloadNow = reinterpret_cast<PFN_DllCanUnloadNow>(dlsym(handle, "DllCanUnloadNow"));
  lib->busy = 1;
  *out = lib.get();
  g_libraries.push_back(std::move(lib));
  return S_OK;
}

void Unpin(Library* lib) {
  std::lock_guard lock(g_librariesMutex);
  --lib->busy;
}

// The in-process server of clsid, from the registry.
HRESULT FindServerPath(REFCLSID clsid, std::string* path) {
  qcom::RegistryTree tree;
  HRESULT loaded = qcom::RegistryLoad(&tree);
  auto value = tree.GetValue("CLSID\\" + GuidToString(clsid) + "\\InprocServer32");
  if (!value || value->empty()) return FAILED(loaded) ? loaded : REGDB_E_CLASSNOTREG;
  *path = *value;
  return S_OK;
}

// Finds the class object for clsid. When it comes from a library, *pinned is that
// library, kept busy until the caller unpins it.
HRESULT GetClassObjectPinned(REFCLSID clsid, DWORD context, REFIID iid, void** ppv, Library** pinned) {
  *pinned = nullptr;
  if (!InApartment()) return CO_E_NOTINITIALIZED;
  // Only in-process servers exist; a request that excludes them finds no server.
  if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  if (IUnknown* registered = FindRegisteredClass(clsid)) {
    HRESULT hr = registered->QueryInterface(iid, ppv);
    registered->Release();
    return hr;
  }
  std::string path;
  HRESULT hr = FindServerPath(clsid, &path);
  if (FAILED(hr)) return hr;
  Library* lib = nullptr;
  hr = PinLibrary(path, &lib);
  if (FAILED(hr)) return hr;
  hr = lib->getClassObject(clsid, iid, ppv);
  if (FAILED(hr)) {
    *ppv = nullptr;
    Unpin(lib);
    return hr;
  }
  *pinned = lib;
  return hr;
}

LPOLESTR CoTaskStrDup(const std::u16string& s) {
  auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(OLECHAR)));
  if (!p) return nullptr;
  std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(OLECHAR));
  return p;
}

}  // namespace

HRESULT CoInitializeEx(void* reserved, DWORD coInit) {
  if (reserved) return E_INVALIDARG;
  DWORD model = coInit & COINIT_APARTMENTTHREADED;
  Apartment& a = t_apartment;
  if (a.count == 0) {
    a.model = model;
    a.count = 1;
    return S_OK;
  }
  if (a.model != model) return RPC_E_CHANGED_MODE;
  ++a.count;
  return S_FALSE;
}

HRESULT CoInitialize(void* reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  Apartment& a = t_apartment;
  if (a.count == 0) return;
  if (--a.count == 0) qcom::ClearThreadErrorInfo();
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void*, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  Library* lib = nullptr;
  HRESULT hr = GetClassObjectPinned(rclsid, dwClsContext, riid, ppv, &lib);
  if (lib) Unpin(lib);
  return hr;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  Library* lib = nullptr;
  HRESULT hr = GetClassObjectPinned(rclsid, dwClsContext, IID_IClassFactory,
                                    reinterpret_cast<void**>(&factory), &lib);
  if (SUCCEEDED(hr)) {
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    if (FAILED(hr)) *ppv = nullptr;
    factory->Release();
  }
  if (lib) Unpin(lib);
  return hr;
}

void CoFreeUnusedLibraries() {
  std::vector<void*> unload;
  {
    std::lock_guard lock(g_librariesMutex);
    for (auto it = g_libraries.begin(); it != g_libraries.end();) {
      Library& lib = **it;
      if (lib.busy == 0 && lib.canUnloadNow && lib.canUnloadNow() == S_OK) {
        unload.push_back(lib.handle);
        it = g_libraries.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (void* h : unload) dlclose(h);
}

HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD, DWORD, DWORD* lpdwRegister) {
  if (!pUnk || !lpdwRegister) return E_INVALIDARG;
  if (!InApartment()) return CO_E_NOTINITIALIZED;
  pUnk->AddRef();
  std::lock_guard lock(g_classesMutex);
  DWORD cookie = g_nextCookie++;
  g_classes.push_back({cookie, rclsid, pUnk});
  *lpdwRegister = cookie;
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD dwRegister) {
  IUnknown* object = nullptr;
  {
    std::lock_guard lock(g_classesMutex);
    for (auto it = g_classes.begin(); it != g_classes.end(); ++it)
      if (it->cookie == dwRegister) {
        object = it->object;
        g_classes.erase(it);
        break;
      }
  }
  if (!object) return E_INVALIDARG;
  object->Release();
  return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
  if (!lplpszProgID) return E_INVALIDARG;
  *lplpszProgID = nullptr;
  std::string progId;
  HRESULT hr = qcom::RegistryGetValue("CLSID\\" + GuidToString(clsid) + "\\ProgID", "", &progId);
  if (hr == REGDB_E_KEYMISSING || (SUCCEEDED(hr) && progId.empty())) return REGDB_E_CLASSNOTREG;
  if (FAILED(hr)) return hr;
  *lplpszProgID = CoTaskStrDup(Utf8ToUtf16(progId));
  return *lplpszProgID ? S_OK : E_OUTOFMEMORY;
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
  if (!lpszProgID || !lpclsid) return E_INVALIDARG;
  std::string progId = Utf16ToUtf8(lpszProgID);
  // A ProgID is one key name; a path would reach some other key.
  if (progId.empty() || progId.find('\\') != std::string::npos) return CO_E_CLASSSTRING;
  std::string text;
  HRESULT hr = qcom::RegistryGetValue(progId + "\\CLSID", "", &text);
  if (hr == REGDB_E_KEYMISSING) return CO_E_CLASSSTRING;
  if (FAILED(hr)) return hr;
  return ParseGuid(text, lpclsid) ? S_OK : CO_E_CLASSSTRING;
}
