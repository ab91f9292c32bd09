// The library's object map, the registration script every class is registered with,
// and the four exported entry points.
#include <com/guid.h>
#include <com/server.h>

#include <outside/dvd.h>
#include <outside/encoders.h>

#include "server_classes.h"

#include <iterator>
#include <mutex>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

namespace {

struct ServerClass {
  const CLSID* clsid;
  qcom::CreateFn create;
  const char* progId;       // version-independent; the registered ProgID adds ".1"
  const char* description;  // the class's name in the registry
};

const ServerClass kClasses[] = {
    {&CLSID_DVDInfObj, &outside::CreateDvdInfObj, "Quillmere.DVDInfObj", "DVD information object"},
    {&CLSID_DVDDataObj, &outside::CreateDvdDataObj, "Quillmere.DVDDataObj", "DVD data object"},
    {&CLSID_MpegEnc, &outside::CreateMpegEnc, "Quillmere.MpegEnc", "MpegEnc Class"},
    {&CLSID_AVIEncode, &outside::CreateAviEncode, "Quillmere.AVIEncode", "AVIEncode Class"},
    {&CLSID_PicShowObj, &outside::CreatePicShowObj, "Quillmere.PicShowObj", "PicShowObj Class"},
};

// An apartment-threaded in-process class with a versioned and a version-independent
// ProgID, both leading to its CLSID.
std::string RegistrationScript(const ServerClass& c) {
  const std::string clsid = qcom::GuidToString(*c.clsid);
  const std::string progId = c.progId;
  const std::string text = std::string("s '") + c.description + "'";
  return "HKCR {\n"
         "  " + progId + ".1 = " + text + " { CLSID = s '" + clsid + "' }\n"
         "  " + progId + " = " + text + " {\n"
         "    CLSID = s '" + clsid + "'\n"
         "    CurVer = s '" + progId + ".1'\n"
         "  }\n"
         "  NoRemove CLSID {\n"
         "    ForceRemove " + clsid + " = " + text + " {\n"
         "      ProgID = s '" + progId + ".1'\n"
         "      VersionIndependentProgID = s '" + progId + "'\n"
         "      InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Apartment' }\n"
         "    }\n"
         "  }\n"
         "}\n";
}

// The module's map with each class's script; it must outlive the module's use of it.
struct ObjectMap {
  std::string scripts[std::size(kClasses)];
  qcom::ObjectMapEntry entries[std::size(kClasses)];

  ObjectMap() {
    for (std::size_t i = 0; i < std::size(kClasses); ++i) {
      scripts[i] = RegistrationScript(kClasses[i]);
      entries[i] = {kClasses[i].clsid, kClasses[i].create, scripts[i].c_str()};
    }
  }
};

// The module is set up on the first call into the library rather than by a static
// initialiser, so nothing depends on the order in which files are initialised.
qcom::ServerModule& StartedModule() {
  static std::once_flag once;
  std::call_once(once, [] {
    // FFmpeg's libraries would print their warnings and statistics on the terminal; the
    // servers say what went wrong in their own error texts, which the program shows.
    av_log_set_level(AV_LOG_QUIET);
    static const ObjectMap map;
    qcom::Module().Init(map.entries, std::size(map.entries), &LIBID_QuillOutside);
  });
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
