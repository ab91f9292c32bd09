// The library's object map and its four exported entry points.
#include <com/server.h>

#include <outside/dvd.h>

#include "encobjects.h"
#include "outside_module.h"

#include <iterator>
#include <mutex>

namespace {

const qcom::ObjectMapEntry kObjects[] = {
    {&CLSID_DVDInfObj, &outside::CreateDvdInfObj, outside::kDvdInfObjRegistry},
    {&CLSID_DVDDataObj, &outside::CreateDvdDataObj, outside::kDvdDataObjRegistry},
    {&CLSID_MpegEnc, &outside::CreateMpegEnc, outside::kMpegEncRegistry},
    {&CLSID_AVIEncode, &outside::CreateAviEncode, outside::kAviEncodeRegistry},
    {&CLSID_PicShowObj, &outside::CreatePicShowObj, outside::kPicShowObjRegistry},
};

// The module is set up on the first call into the library rather than by a static
// initialiser, so nothing depends on the order in which files are initialised.
qcom::ServerModule& StartedModule() {
  static std::once_flag once;
  std::call_once(once, [] { qcom::Module().Init(kObjects, std::size(kObjects), &LIBID_QuillOutside); });
  return qcom::Module();
}

}  // namespace

#define OUTSIDE_EXPORT extern "C" __attribute__((visibility("default")))

OUTSIDE_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
  return StartedModule().GetClassObject(clsid, iid, ppv);
}
OUTSIDE_EXPORT HRESULT DllCanUnloadNow() { return StartedModule().CanUnloadNow(); }
OUTSIDE_EXPORT HRESULT DllRegisterServer() { return StartedModule().RegisterServer(); }
OUTSIDE_EXPORT HRESULT DllUnregisterServer() { return StartedModule().UnregisterServer(); }
