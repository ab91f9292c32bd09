// A library that claims to be a server but has no DllGetClassObject, and whose
// registration always fails.
#include <com/com.h>

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() { return E_ACCESSDENIED; }
