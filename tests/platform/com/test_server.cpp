// A server library used only by the tests: a dual-interface class with error
// information, an aggregatable class, and a class whose construction fails.
#include <com/errorinfo.h>
#include <com/server.h>
#include <com/strings.h>

#include <string>

#include "test_server.h"

namespace {

class Calc : public qcom::ObjectRoot,
             public qcom::DispatchImpl<ITestCalc, IID_ITestCalc, LIBID_TestServer>,
             public qcom::SupportErrorInfoImpl<IID_ITestCalc> {
 public:
  static std::span<const qcom::InterfaceEntry> Interfaces() {
    static const qcom::InterfaceEntry map[] = {
        qcom::Entry<Calc, ITestCalc>(IID_ITestCalc),
        qcom::Entry<Calc, IDispatch, ITestCalc>(IID_IDispatch),
        qcom::Entry<Calc, ISupportErrorInfo>(IID_ISupportErrorInfo)};
    return map;
  }
  HRESULT STDMETHODCALLTYPE Add(INT a, INT b, INT* sum) override {
    if (!sum) return E_POINTER;
    *sum = a + b;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Refuse(INT code) override {
    return qcom::ReportError(DISP_E_EXCEPTION, CLSID_TestCalc, "Calc refused " + std::to_string(code),
                             IID_ITestCalc);
  }
  HRESULT STDMETHODCALLTYPE Describe(BSTR* text) override {
    if (!text) return E_POINTER;
    *text = SysAllocStringUtf8("Calc \xE2\x9C\x93");
    return *text ? S_OK : E_OUTOFMEMORY;
  }
};

class Inner : public qcom::ObjectRoot, public ITestInner {
 public:
  static std::span<const qcom::InterfaceEntry> Interfaces() {
    static const qcom::InterfaceEntry map[] = {qcom::Entry<Inner, ITestInner>(IID_ITestInner)};
    return map;
  }
  HRESULT STDMETHODCALLTYPE Twice(INT a, INT* out) override {
    if (!out) return E_POINTER;
    *out = 2 * a;
    return S_OK;
  }
};

class Broken : public qcom::ObjectRoot, public ITestInner {
 public:
  static std::span<const qcom::InterfaceEntry> Interfaces() {
    static const qcom::InterfaceEntry map[] = {qcom::Entry<Broken, ITestInner>(IID_ITestInner)};
    return map;
  }
  HRESULT FinalConstruct() { return E_OUTOFMEMORY; }
  HRESULT STDMETHODCALLTYPE Twice(INT, INT*) override { return E_UNEXPECTED; }
};

const char kCalcScript[] = R"(
HKCR
{
  QuillTest.Calc.1 = s 'Test Calc Class'
  {
    CLSID = s '{5D1B7A40-0C1E-4F43-9B57-2E3A1C9D0001}'
  }
  NoRemove CLSID
  {
    ForceRemove {5D1B7A40-0C1E-4F43-9B57-2E3A1C9D0001} = s 'Test Calc Class'
    {
      ProgID = s 'QuillTest.Calc.1'
      ForceRemove 'Programmable'
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Apartment'
      }
    }
  }
})";

const char kInnerScript[] = R"(
HKCR
{
  NoRemove CLSID
  {
    ForceRemove {5D1B7A40-0C1E-4F43-9B57-2E3A1C9D0002} = s 'Test Inner Class'
    {
      InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Both' }
    }
    ForceRemove {5D1B7A40-0C1E-4F43-9B57-2E3A1C9D0003} = s 'Test Broken Class'
    {
      InprocServer32 = s '%MODULE%'
    }
  }
})";

const qcom::ObjectMapEntry kObjects[] = {
    {&CLSID_TestCalc, &qcom::CreateInstance<Calc>, kCalcScript},
    {&CLSID_TestInner, &qcom::CreateInstance<Inner>, kInnerScript},
    {&CLSID_TestBroken, &qcom::CreateInstance<Broken>, nullptr},
};

// All load-time set-up, in one place.
__attribute__((constructor)) void StartUp() { qcom::Module().Init(kObjects, 3, &LIBID_TestServer); }

}  // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))
EXPORT HRESULT DllGetClassObject(REFCLSID c, REFIID i, void** p) { return qcom::Module().GetClassObject(c, i, p); }
EXPORT HRESULT DllCanUnloadNow() { return qcom::Module().CanUnloadNow(); }
EXPORT HRESULT DllRegisterServer() { return qcom::Module().RegisterServer(); }
EXPORT HRESULT DllUnregisterServer() { return qcom::Module().UnregisterServer(); }
