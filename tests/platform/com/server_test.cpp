// The test server library, registered with regsvr into a private registry and used
// the way the program uses its servers: by class identifier and vtable slot.
#include <com/comptr.h>
#include <com/errorinfo.h>
#include <com/guid.h>
#include <com/registry.h>
#include <com/strings.h>

#include <dlfcn.h>

#include <climits>
#include <latch>
#include <thread>

#include <support/vtable.h>

#include "test_server.h"
#include "test_support.h"

namespace {

using quill_test::CallSlot;

std::string ServerPath() {
  char full[PATH_MAX];
  return realpath(QCOM_TEST_SERVER, full) ? full : QCOM_TEST_SERVER;
}

bool ServerMapped() {
  std::ifstream maps("/proc/self/maps");
  std::string line, path = ServerPath();
  while (std::getline(maps, line))
    if (line.find(path) != std::string::npos) return true;
  return false;
}

// DllCanUnloadNow of the loaded server, asked directly.
HRESULT ServerCanUnloadNow() {
  void* h = dlopen(ServerPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!h) return E_UNEXPECTED;
  auto fn = reinterpret_cast<PFN_DllCanUnloadNow>(dlsym(h, "DllCanUnloadNow"));
  HRESULT hr = fn ? fn() : E_UNEXPECTED;
  dlclose(h);
  return hr;
}

class ComServer : public qcomtest::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    std::string err;
    ASSERT_EQ(RunRegsvr("'" + std::string(QCOM_TEST_SERVER) + "'", &err), 0) << err;
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    CoUninitialize();
    TempRegistry::TearDown();
  }
};

TEST_F(ComServer, RegsvrWritesTheScriptsKeys) {
  const std::string key = "CLSID\\" + GuidToString(CLSID_TestCalc);
  qcom::RegistryTree t;
  ASSERT_EQ(qcom::RegistryLoad(&t), S_OK);
  EXPECT_EQ(t.GetValue(key), "Test Calc Class");
  EXPECT_EQ(t.GetValue(key + "\\InprocServer32"), ServerPath());
  EXPECT_EQ(t.GetValue(key + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_TRUE(t.KeyExists(key + "\\Programmable"));
  EXPECT_EQ(t.GetValue("CLSID\\" + GuidToString(CLSID_TestInner) + "\\InprocServer32"), ServerPath());
  CLSID c{};
  ASSERT_EQ(CLSIDFromProgID(u"QuillTest.Calc.1", &c), S_OK);
  EXPECT_EQ(c, CLSID_TestCalc);
}

TEST_F(ComServer, CreatedFromTwoThreadsEachInItsOwnApartment) {
  struct Result {
    HRESULT init = E_FAIL, create = E_FAIL, add = E_FAIL, refuse = S_OK;
    INT sum = 0;
    std::string text, error;
    void* object = nullptr;
  } results[2];
  std::latch bothCreated(2);  // both objects live at once, in two apartments
  auto work = [&bothCreated](Result* r, INT base) {
    r->init = CoInitialize(nullptr);
    {
      ComPtr<ITestCalc> calc;
      r->create = CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_ALL, IID_ITestCalc, calc.put_void());
      bothCreated.arrive_and_wait();
      if (SUCCEEDED(r->create)) {
        r->object = calc.get();
        r->add = CallSlot(calc.get(), 7, base, INT{5}, &r->sum);
        Bstr text;
        CallSlot(calc.get(), 9, text.put());
        r->text = text.Utf8();
        r->refuse = CallSlot(calc.get(), 8, base);
        r->error = qcom::ErrorDescription(calc.get(), IID_ITestCalc);
      }
    }
    CoUninitialize();
  };
  std::thread a(work, &results[0], INT{100}), b(work, &results[1], INT{-7});
  a.join();
  b.join();
  for (const Result& r : results) {
    EXPECT_EQ(r.init, S_OK);
    ASSERT_EQ(r.create, S_OK);
    EXPECT_EQ(r.add, S_OK);
    EXPECT_EQ(r.text, "Calc \xE2\x9C\x93");
    EXPECT_EQ(r.refuse, DISP_E_EXCEPTION);
  }
  EXPECT_NE(results[0].object, results[1].object);
  EXPECT_EQ(results[0].sum, 105);
  EXPECT_EQ(results[1].sum, -2);
  // Each thread read its own error.
  EXPECT_EQ(results[0].error, "Calc refused 100");
  EXPECT_EQ(results[1].error, "Calc refused -7");
}

TEST_F(ComServer, InterfacesSlotsAndErrorInformation) {
  ComPtr<ITestCalc> calc;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_ALL, IID_ITestCalc, calc.put_void()), S_OK);
  void* p = nullptr;
  ASSERT_EQ(CallSlot(calc.get(), 0, &IID_IDispatch, &p), S_OK);  // QueryInterface
  EXPECT_EQ(p, calc.get());  // the dual interface is its own IDispatch
  EXPECT_EQ(CallSlot(calc.get(), 2), S_OK + 1);                   // Release: one reference left
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(calc->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
  EXPECT_EQ(calc->QueryInterface(IID_IClassFactory, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);

  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(calc.As(IID_ISupportErrorInfo, &support), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_ITestCalc), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);

  // IDispatch slots: one type information, which no loader can provide.
  UINT count = 0;
  EXPECT_EQ(CallSlot(calc.get(), 3, &count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(CallSlot(calc.get(), 4, UINT{0}, LCID{0}, static_cast<ITypeInfo**>(nullptr)), E_POINTER);
  ITypeInfo* info = nullptr;
  EXPECT_EQ(calc->GetTypeInfo(0, 0, &info), TYPE_E_LIBNOTREGISTERED);
  LPOLESTR name = const_cast<LPOLESTR>(u"Add");
  DISPID id = 0;
  EXPECT_EQ(calc->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(calc->Invoke(1, GUID_NULL, 0, 1, nullptr, nullptr, nullptr, nullptr), TYPE_E_LIBNOTREGISTERED);

  // The error object: description, source ProgID from the registry, interface GUID.
  ASSERT_EQ(calc->Refuse(42), DISP_E_EXCEPTION);
  ComPtr<IErrorInfo> error;
  ASSERT_EQ(GetErrorInfo(0, error.put()), S_OK);
  Bstr description, source;
  error->GetDescription(description.put());
  error->GetSource(source.put());
  GUID g{};
  error->GetGUID(&g);
  EXPECT_EQ(description.Utf8(), "Calc refused 42");
  EXPECT_EQ(source.Utf8(), "QuillTest.Calc.1");
  EXPECT_EQ(g, IID_ITestCalc);
}

TEST_F(ComServer, CanUnloadNowAndFreeUnusedLibraries) {
  ComPtr<ITestCalc> calc;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_ALL, IID_ITestCalc, calc.put_void()), S_OK);
  EXPECT_EQ(ServerCanUnloadNow(), S_FALSE);
  CoFreeUnusedLibraries();
  EXPECT_TRUE(ServerMapped());

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_TestCalc, CLSCTX_ALL, nullptr, IID_IClassFactory, factory.put_void()), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  calc.Reset();
  EXPECT_EQ(ServerCanUnloadNow(), S_FALSE);  // the server lock alone keeps it
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(ServerCanUnloadNow(), S_OK);
  // An unmatched unlock neither succeeds nor drives the count below zero.
  EXPECT_EQ(factory->LockServer(FALSE), E_UNEXPECTED);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_ITestCalc, calc.put_void()), S_OK);
  EXPECT_EQ(ServerCanUnloadNow(), S_FALSE);
  calc.Reset();
  factory.Reset();
  EXPECT_EQ(ServerCanUnloadNow(), S_OK);

  CoFreeUnusedLibraries();
  EXPECT_FALSE(ServerMapped());
  // Loaded again on demand.
  ASSERT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_ALL, IID_ITestCalc, calc.put_void()), S_OK);
  INT sum = 0;
  EXPECT_EQ(calc->Add(2, 3, &sum), S_OK);
  EXPECT_EQ(sum, 5);
}

TEST_F(ComServer, FailedConstructionLeavesNoLock) {
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_TestBroken, nullptr, CLSCTX_ALL, IID_ITestInner, &p), E_OUTOFMEMORY);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(ServerCanUnloadNow(), S_OK);
  // A class the library does not serve.
  EXPECT_EQ(CoCreateInstance(CLSID_TestInner, nullptr, CLSCTX_ALL, IID_ITestCalc, &p), E_NOINTERFACE);
  EXPECT_EQ(ServerCanUnloadNow(), S_OK);
}

// An outer object that aggregates the server's Inner class.
class Outer final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(iid, ppv) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
  ComPtr<IUnknown> inner;
};

TEST_F(ComServer, AggregationDelegatesToTheOuterObject) {
  Outer outer;
  void* p = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_TestInner, &outer, CLSCTX_ALL, IID_ITestInner, &p), CLASS_E_NOAGGREGATION);
  ASSERT_EQ(CoCreateInstance(CLSID_TestInner, &outer, CLSCTX_ALL, IID_IUnknown, outer.inner.put_void()), S_OK);
  EXPECT_EQ(outer.refs, 1u);  // the inner object holds no reference on its outer

  ComPtr<ITestInner> twice;
  ASSERT_EQ(outer.QueryInterface(IID_ITestInner, twice.put_void()), S_OK);
  EXPECT_EQ(outer.refs, 2u);  // the interface's reference counts on the outer object
  INT out = 0;
  EXPECT_EQ(CallSlot(twice.get(), 3, INT{21}, &out), S_OK);
  EXPECT_EQ(out, 42);
  ComPtr<IUnknown> identity;
  ASSERT_EQ(twice->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
  EXPECT_EQ(identity.get(), static_cast<IUnknown*>(&outer));
  identity.Reset();
  twice.Reset();
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(ServerCanUnloadNow(), S_FALSE);
  outer.inner.Reset();
  EXPECT_EQ(ServerCanUnloadNow(), S_OK);
}

TEST_F(ComServer, UnregistrationRemovesOnlyTheScriptsKeys) {
  ASSERT_EQ(qcom::RegistryEdit([](qcom::RegistryTree& t) {
              t.SetValue("CLSID\\{0BADF00D-0000-0000-0000-000000000000}\\InprocServer32", "", "/other.so");
              return S_OK;
            }),
            S_OK);
  std::string err;
  ASSERT_EQ(RunRegsvr("-u '" + std::string(QCOM_TEST_SERVER) + "'", &err), 0) << err;
  qcom::RegistryTree t;
  ASSERT_EQ(qcom::RegistryLoad(&t), S_OK);
  EXPECT_EQ(t.SubKeys("CLSID"), (std::vector<std::string>{"{0BADF00D-0000-0000-0000-000000000000}"}));
  EXPECT_EQ(t.SubKeys(""), (std::vector<std::string>{"CLSID"}));
  void* p = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_ALL, IID_ITestCalc, &p), REGDB_E_CLASSNOTREG);
}

TEST_F(ComServer, RegsvrFailsClearly) {
  std::string err;
  EXPECT_NE(RunRegsvr("'" + (dir_ / "missing.so").string() + "'", &err), 0);
  EXPECT_NE(err.find("missing.so"), std::string::npos) << err;
  EXPECT_NE(RunRegsvr("'" + registry_.string() + "'", &err), 0);  // not a library
  EXPECT_NE(err.find("cannot load"), std::string::npos) << err;
  EXPECT_NE(RunRegsvr("-u '" QCOM_TEST_NOENTRY "'", &err), 0);
  EXPECT_NE(err.find("DllUnregisterServer"), std::string::npos) << err;
  EXPECT_NE(RunRegsvr("'" QCOM_TEST_NOENTRY "'", &err), 0);
  EXPECT_NE(err.find("0x80070005"), std::string::npos) << err;
  EXPECT_NE(RunRegsvr("", &err), 0);
  EXPECT_NE(err.find("usage"), std::string::npos) << err;
}

}  // namespace
