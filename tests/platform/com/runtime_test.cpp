#include <com/comptr.h>
#include <com/errorinfo.h>
#include <com/guid.h>
#include <com/registry.h>
#include <com/strings.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "test_support.h"

namespace {

using qcomtest::TempRegistry;

constexpr CLSID kFakeClsid = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

// ---- BSTR and text.

TEST(ComBstr, KeepsByteLengthPrefixAndEmbeddedNuls) {
  const char16_t text[] = {u'a', 0, u'b'};
  BSTR b = SysAllocStringLen(text, 3);
  ASSERT_NE(b, nullptr);
  std::uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<char*>(b) - 4, 4);
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_EQ(SysStringByteLen(b), 6u);
  EXPECT_EQ(b[3], 0);  // terminated after the length
  EXPECT_EQ(BstrToUtf8(b), std::string("a\0b", 3));
  SysFreeString(b);

  BSTR blank = SysAllocStringLen(nullptr, 4);
  ASSERT_NE(blank, nullptr);
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(blank[i], 0);
  SysFreeString(blank);
}

TEST(ComBstr, NullAndOversizedRequests) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(BstrToUtf8(nullptr), "");
  SysFreeString(nullptr);
  // A length whose byte count cannot fit the 32-bit prefix.
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);
}

TEST(ComText, Utf8Utf16RoundTripAndMalformedInput) {
  std::string s = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xAC";  // A, e-acute, euro, clapper (astral)
  std::u16string w = Utf8ToUtf16(s);
  EXPECT_EQ(w, (std::u16string{u'A', 0xE9, 0x20AC, 0xD83C, 0xDFAC}));
  EXPECT_EQ(Utf16ToUtf8(w), s);
  // Stray continuation, overlong '/', truncated sequence, encoded surrogate.
  EXPECT_EQ(Utf8ToUtf16("\x80x"), (std::u16string{0xFFFD, u'x'}));
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), (std::u16string{0xFFFD, 0xFFFD}));
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), (std::u16string{0xFFFD}));
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), (std::u16string{0xFFFD}));
  // Lone surrogates.
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'a'}), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00}), "\xEF\xBF\xBD");
  Bstr b("h\xC3\xA9");
  EXPECT_EQ(SysStringLen(b.get()), 2u);
  EXPECT_EQ(b.Utf8(), "h\xC3\xA9");
}

TEST(ComText, FileNamesKeepEveryByteThroughABstr) {
  // Latin-1, a stray continuation, a cut-off and an overlong sequence, an encoded
  // surrogate (whose bytes look like the carried ones), NUL, and valid UTF-8 around them.
  const std::string names[] = {
      "caf\xE9.mpg", "\x80", "a\xE2\x82", "\xC0\xAF/x", "\xED\xB2\x80", std::string("n\0ul\xFF", 5),
      "\xF0\x9F\x8E\xAC\xE9\xC3\xA9", "\xF4\x90\x80\x80", ""};
  for (const std::string& name : names) {
    BSTR b = SysAllocStringPath(name);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(BstrToPath(b), name);
    SysFreeString(b);
    EXPECT_EQ(Bstr::FromPath(name).Path(), name);
  }
  // Valid UTF-8 gives the same text as any other string, so servers read it either way.
  const std::string utf8 = "Vid\xC3\xA9os/\xE2\x82\xAC.avi";
  Bstr path = Bstr::FromPath(utf8);
  EXPECT_EQ(path.Utf8(), utf8);
  EXPECT_EQ(Bstr(utf8).Path(), utf8);
  // A carried byte is one unpaired surrogate; shown as text it is a replacement character.
  Bstr latin = Bstr::FromPath("caf\xE9");
  ASSERT_EQ(SysStringLen(latin.get()), 4u);
  EXPECT_EQ(latin.get()[3], 0xDCE9);
  EXPECT_EQ(latin.Utf8(), "caf\xEF\xBF\xBD");
  // Surrogates that are no carried byte stay replacement characters.
  const char16_t odd[] = {0xD800, u'a', 0xDC41};
  BSTR b = SysAllocStringLen(odd, 3);
  EXPECT_EQ(BstrToPath(b), "\xEF\xBF\xBD" "a" "\xEF\xBF\xBD");
  SysFreeString(b);
  EXPECT_EQ(BstrToPath(nullptr), "");
}

TEST(ComGuid, FormatsUppercaseAndParsesStrictly) {
  const GUID g = {0xA7220B29, 0x6598, 0x499A, {0x94, 0x8E, 0x70, 0xFF, 0x65, 0xFE, 0x66, 0x2E}};
  EXPECT_EQ(GuidToString(g), "{A7220B29-6598-499A-948E-70FF65FE662E}");
  GUID parsed{};
  ASSERT_TRUE(ParseGuid("{a7220b29-6598-499a-948e-70ff65fe662e}", &parsed));
  EXPECT_EQ(parsed, g);
  GUID untouched = GUID_NULL;
  for (const char* bad : {"A7220B29-6598-499A-948E-70FF65FE662E", "{A7220B29-6598-499A-948E-70FF65FE662E",
                          "{A7220B29-6598-499A-948E-70FF65FE662E} ", "{A7220B29-6598-499A948E-70FF65FE662E0}",
                          "{A7220B29-6598-499A-948E-70FF65FE662G}", "{A7220B2-96598-499A-948E-70FF65FE662E}", ""}) {
    EXPECT_FALSE(ParseGuid(bad, &untouched)) << bad;
  }
  EXPECT_EQ(untouched, GUID_NULL);

  OLECHAR buf[39];
  EXPECT_EQ(StringFromGUID2(g, buf, 38), 0);
  ASSERT_EQ(StringFromGUID2(g, buf, 39), 39);
  EXPECT_EQ(Utf16ToUtf8(buf), GuidToString(g));
  IID iid{};
  EXPECT_EQ(IIDFromString(buf, &iid), S_OK);
  EXPECT_EQ(iid, g);
  EXPECT_EQ(IIDFromString(u"{nonsense}", &iid), E_INVALIDARG);
  CLSID c = g;
  EXPECT_EQ(CLSIDFromString(nullptr, &c), S_OK);
  EXPECT_EQ(c, GUID_NULL);
}

// ---- Smart pointer.

struct Counted final : IUnknown {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    *ppv = IsEqualIID(iid, IID_IUnknown) ? this : nullptr;
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;  // the test's own reference
};

TEST(ComComPtr, OwnsExactlyOneReferencePerPointer) {
  Counted a, b;
  {
    ComPtr<IUnknown> p(&a);  // AddRefs
    EXPECT_EQ(a.refs, 2u);
    ComPtr<IUnknown> copy = p;
    EXPECT_EQ(a.refs, 3u);
    copy = copy;  // self-assignment keeps the reference
    EXPECT_EQ(a.refs, 3u);
    ComPtr<IUnknown> moved = std::move(copy);
    EXPECT_EQ(a.refs, 3u);
    EXPECT_EQ(copy.get(), nullptr);
    moved = ComPtr<IUnknown>(&b);  // releases a, holds b
    EXPECT_EQ(a.refs, 2u);
    EXPECT_EQ(b.refs, 2u);
    IUnknown** slot = moved.put();  // releases b before handing out the slot
    EXPECT_EQ(b.refs, 1u);
    EXPECT_EQ(*slot, nullptr);
    b.AddRef();
    *slot = &b;  // as an out parameter would fill it
    ComPtr<IUnknown> q;
    ASSERT_EQ(p.As(IID_IUnknown, &q), S_OK);
    EXPECT_EQ(a.refs, 3u);
    EXPECT_EQ(p.As(IID_IDispatch, &q), E_NOINTERFACE);
    EXPECT_EQ(a.refs, 2u);  // the old q was released
    IUnknown* raw = p.Detach();
    EXPECT_EQ(a.refs, 2u);
    q.Attach(raw);  // adopts without AddRef
    EXPECT_EQ(a.refs, 2u);
  }
  EXPECT_EQ(a.refs, 1u);
  EXPECT_EQ(b.refs, 1u);
}

// ---- Apartments.

TEST(ComApartment, CountedPerThreadWithModelChecks) {
  void* p = nullptr;
  EXPECT_EQ(CoCreateInstance(kFakeClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &p), CO_E_NOTINITIALIZED);
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  // Another thread has no apartment of its own yet.
  HRESULT other = S_OK;
  std::thread([&] {
    void* q = nullptr;
    other = CoGetClassObject(kFakeClsid, CLSCTX_ALL, nullptr, IID_IClassFactory, &q);
  }).join();
  EXPECT_EQ(other, CO_E_NOTINITIALIZED);
  CoUninitialize();
  EXPECT_NE(CoCreateInstance(kFakeClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &p), CO_E_NOTINITIALIZED);
  CoUninitialize();
  EXPECT_EQ(CoCreateInstance(kFakeClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &p), CO_E_NOTINITIALIZED);
  CoUninitialize();  // unbalanced: harmless
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  CoUninitialize();
}

// ---- Error information.

std::string DescriptionOf(IErrorInfo* info) {
  Bstr d;
  EXPECT_EQ(info->GetDescription(d.put()), S_OK);
  return d.get() ? d.Utf8() : "<null>";
}

TEST(ComErrorInfo, SlotIsPerThreadAndTakenOnRead) {
  ComPtr<ICreateErrorInfo> create;
  ASSERT_EQ(CreateErrorInfo(create.put()), S_OK);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(create.As(IID_IErrorInfo, &info), S_OK);
  EXPECT_EQ(DescriptionOf(info.get()), "<null>");  // never set: null, not ""
  std::u16string text = u"disk full";
  create->SetDescription(text.data());
  ASSERT_EQ(SetErrorInfo(0, info.get()), S_OK);

  IErrorInfo* seen = reinterpret_cast<IErrorInfo*>(1);
  std::thread([&] { EXPECT_EQ(GetErrorInfo(0, &seen), S_FALSE); }).join();
  EXPECT_EQ(seen, nullptr);

  ComPtr<IErrorInfo> got;
  ASSERT_EQ(GetErrorInfo(0, got.put()), S_OK);
  EXPECT_EQ(got.get(), info.get());
  EXPECT_EQ(DescriptionOf(got.get()), "disk full");
  EXPECT_EQ(GetErrorInfo(0, got.put()), S_FALSE);  // taken
  EXPECT_EQ(got.get(), nullptr);

  // The last CoUninitialize of a thread drops its error.
  CoInitialize(nullptr);
  SetErrorInfo(0, info.get());
  CoUninitialize();
  EXPECT_EQ(GetErrorInfo(0, got.put()), S_FALSE);
}

// A fake object and class factory, registered in-process.
class FakeObject final : public ISupportErrorInfo {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    if (IsEqualIID(iid, IID_IUnknown) || (supportsErrors && IsEqualIID(iid, IID_ISupportErrorInfo))) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
    return IsEqualIID(iid, IID_IUnknown) ? S_OK : IsEqualIID(iid, IID_IDispatch) ? S_FALSE : E_FAIL;
  }
  std::atomic<ULONG> refs{0};
  bool supportsErrors = true;
};

class FakeFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** ppv) override {
    ++created;
    return object.QueryInterface(iid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
  std::atomic<ULONG> refs{0};
  int created = 0;
  FakeObject object;
};

class ComRuntime : public TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
  }
  void TearDown() override {
    CoUninitialize();
    TempRegistry::TearDown();
  }
};

TEST_F(ComRuntime, RegisteredClassObjectServesActivationUntilRevoked) {
  FakeFactory factory;
  DWORD cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(kFakeClsid, &factory, CLSCTX_INPROC_SERVER, 0, &cookie), S_OK);
  EXPECT_EQ(factory.refs, 1u);
  {
    ComPtr<IUnknown> obj;
    ASSERT_EQ(CoCreateInstance(kFakeClsid, nullptr, CLSCTX_ALL, IID_IUnknown, obj.put_void()), S_OK);
    EXPECT_EQ(obj.get(), static_cast<IUnknown*>(&factory.object));
    EXPECT_EQ(factory.created, 1);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kFakeClsid, nullptr, CLSCTX_ALL, IID_IDispatch, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
  }
  EXPECT_EQ(factory.refs, 1u);  // activation released the factory
  EXPECT_EQ(factory.object.refs, 0u);
  // Only in-process servers exist.
  void* p = nullptr;
  EXPECT_EQ(CoCreateInstance(kFakeClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(kFakeClsid, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER);

  ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
  EXPECT_EQ(factory.refs, 0u);
  EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG);
  EXPECT_EQ(CoCreateInstance(kFakeClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
}

TEST_F(ComRuntime, ReportErrorAndErrorDescription) {
  FakeObject object;
  // Source is the class's ProgID when the registry has one.
  WriteRegistry("[CLSID\\" + GuidToString(kFakeClsid) + "\\ProgID]\n@=\"Fake.Object.1\"\n");
  EXPECT_EQ(qcom::ReportError(E_ABORT, kFakeClsid, "stopped \xC3\xA0 mi-chemin", IID_IDispatch), E_ABORT);
  {
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
    Bstr source;
    info->GetSource(source.put());
    EXPECT_EQ(source.Utf8(), "Fake.Object.1");
    GUID g{};
    info->GetGUID(&g);
    EXPECT_EQ(g, IID_IDispatch);
  }

  qcom::ReportError(E_FAIL, kFakeClsid, "first");
  EXPECT_EQ(qcom::ErrorDescription(&object, IID_IUnknown), "first");
  EXPECT_EQ(qcom::ErrorDescription(&object, IID_IUnknown), "");  // taken by the first read
  qcom::ReportError(E_FAIL, kFakeClsid, "second");
  EXPECT_EQ(qcom::ErrorDescription(&object, IID_IDispatch), "second");  // S_FALSE still reads on
  qcom::ReportError(E_FAIL, kFakeClsid, "third");
  EXPECT_EQ(qcom::ErrorDescription(&object, IID_IClassFactory), "");  // negative answer: no text
  object.supportsErrors = false;
  EXPECT_EQ(qcom::ErrorDescription(&object, IID_IUnknown), "");
  EXPECT_EQ(qcom::ErrorDescription(nullptr, IID_IUnknown), "");

  // Without a ProgID the source stays unset.
  WriteRegistry("");
  qcom::ReportError(E_FAIL, kFakeClsid, "x");
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  Bstr source;
  info->GetSource(source.put());
  EXPECT_EQ(source.get(), nullptr);
}

TEST_F(ComRuntime, ProgIdLookups) {
  WriteRegistry("[Fake.Object.1\\CLSID]\n@=\"" + GuidToString(kFakeClsid) + "\"\n[CLSID\\" +
                GuidToString(kFakeClsid) + "\\ProgID]\n@=\"Fake.Object.1\"\n[Bad.Object\\CLSID]\n@=\"{oops}\"\n");
  LPOLESTR progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(kFakeClsid, &progId), S_OK);
  EXPECT_EQ(Utf16ToUtf8(progId), "Fake.Object.1");
  CoTaskMemFree(progId);
  EXPECT_EQ(ProgIDFromCLSID(IID_IDispatch, &progId), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(progId, nullptr);

  CLSID c{};
  ASSERT_EQ(CLSIDFromProgID(u"fake.object.1", &c), S_OK);  // names compare case-insensitively
  EXPECT_EQ(c, kFakeClsid);
  EXPECT_EQ(CLSIDFromString(u"Fake.Object.1", &c), S_OK);
  EXPECT_EQ(CLSIDFromProgID(u"Missing.Object", &c), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromProgID(u"Bad.Object", &c), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromProgID(u"CLSID\\" u"{11111111-2222-3333-4444-555555555555}", &c), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromProgID(u"", &c), CO_E_CLASSSTRING);
}

TEST_F(ComRuntime, BadServersGetClearErrors) {
  const std::string key = "[CLSID\\" + GuidToString(kFakeClsid);
  void* p = reinterpret_cast<void*>(1);
  // Unknown class.
  EXPECT_EQ(CoCreateInstance(kFakeClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(p, nullptr);
  // Registered without a server.
  WriteRegistry(key + "]\n@=\"Fake\"\n" + key + "\\InprocServer32]\n");
  EXPECT_EQ(CoCreateInstance(kFakeClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
  // Missing library.
  WriteRegistry(key + "\\InprocServer32]\n@=\"" + (dir_ / "gone.so").string() + "\"\n");
  EXPECT_EQ(CoCreateInstance(kFakeClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &p), CO_E_DLLNOTFOUND);
  // A file that is no library.
  WriteRegistry(key + "\\InprocServer32]\n@=\"" + registry_.string() + "\"\n");
  EXPECT_EQ(CoCreateInstance(kFakeClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &p), CO_E_ERRORINDLL);
  // A library without DllGetClassObject.
  WriteRegistry(key + "\\InprocServer32]\n@=\"" QCOM_TEST_NOENTRY "\"\n");
  EXPECT_EQ(CoCreateInstance(kFakeClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &p), CO_E_ERRORINDLL);
  EXPECT_EQ(CoGetClassObject(kFakeClsid, CLSCTX_ALL, nullptr, IID_IClassFactory, &p), CO_E_ERRORINDLL);
  EXPECT_EQ(p, nullptr);
}

}  // namespace
