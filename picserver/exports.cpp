// The library's only exported functions.
#include <com/server.h>

#define ZENTRA_EXPORT extern "C" __attribute__((visibility("default")))

ZENTRA_EXPORT HRESULT DllCanUnloadNow() { return qcom::Module().CanUnloadNow(); }

ZENTRA_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
  return qcom::Module().GetClassObject(clsid, iid, ppv);
}

ZENTRA_EXPORT HRESULT DllRegisterServer() { return qcom::Module().RegisterServer(); }

ZENTRA_EXPORT HRESULT DllUnregisterServer() { return qcom::Module().UnregisterServer(); }
