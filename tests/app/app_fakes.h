// Stand-ins for the outside servers the options dialog talks to, registered in this
// process by class identifier, with the discs and codec lists a case needs and a log
// of the calls made.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include <com/comptr.h>
#include <com/strings.h>
#include <outside/dvd.h>
#include <outside/encoders.h>

namespace apptest {

struct FakeChapter {
  INT start;
  INT end;
  double seconds;
};

struct FakeChain {
  std::string name;
  std::vector<FakeChapter> chapters;
  std::vector<std::string> audio;
  std::vector<std::string> subtitles;
};

struct FakeTitle {
  std::string name;
  std::vector<FakeChain> chains;
};

struct FakeDisc {
  std::vector<FakeTitle> titles;
  INT width = 720;
  INT height = 576;
  bool openFails = false;
  bool chapterCallsFail = false;
};

// What the fakes saw; shared by every object a factory made.
struct CallLog {
  std::vector<std::string> calls;
  int created = 0;
  bool Has(const std::string& call) const {
    for (const std::string& c : calls)
      if (c == call) return true;
    return false;
  }
};

template <class Iface>
class FakeBase : public Iface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == Iid()) {
      *ppv = static_cast<Iface*>(this);
      this->AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  virtual ~FakeBase() = default;

 protected:
  virtual const IID& Iid() const = 0;

 private:
  std::atomic<ULONG> refs_{1};
};

#define APPTEST_UNUSED(n) \
  HRESULT STDMETHODCALLTYPE Unused##n() override { return E_NOTIMPL; }

class FakeDvdInfo : public FakeBase<IDVDInfObj> {
 public:
  FakeDvdInfo(const FakeDisc* disc, CallLog* log) : disc_(disc), log_(log) {}
  APPTEST_UNUSED(7)
  APPTEST_UNUSED(13)
  APPTEST_UNUSED(14)
  APPTEST_UNUSED(16)
  APPTEST_UNUSED(24)
  APPTEST_UNUSED(26)
  APPTEST_UNUSED(27)
  APPTEST_UNUSED(30)
  HRESULT STDMETHODCALLTYPE OpenDvd(BSTR folder) override {
    log_->calls.push_back("OpenDvd " + BstrToUtf8(folder));
    return disc_->openFails ? E_FAIL : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTitleCount(INT* n) override {
    *n = INT(disc_->titles.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTitleName(INT t, BSTR* name) override {
    *name = SysAllocStringUtf8(disc_->titles.at(size_t(t)).name);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetProgramChainCount(INT t, INT* n) override {
    *n = INT(disc_->titles.at(size_t(t)).chains.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryTitle(INT t, INT* v) override {
    log_->calls.push_back("QueryTitle " + std::to_string(t));
    *v = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SelectTitle(INT t) override {
    log_->calls.push_back("SelectTitle " + std::to_string(t));
    title_ = t;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SelectProgramChain(INT p) override {
    log_->calls.push_back("SelectProgramChain " + std::to_string(p));
    chain_ = p;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetChapterCount(INT* n) override {
    *n = Chain() ? INT(Chain()->chapters.size()) : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetChapterStart(INT c, INT* p) override {
    if (disc_->chapterCallsFail) return E_FAIL;
    *p = Chain()->chapters.at(size_t(c)).start;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetChapterEnd(INT c, INT* p) override {
    if (disc_->chapterCallsFail) return E_FAIL;
    *p = Chain()->chapters.at(size_t(c)).end;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetChapterSeconds(INT c, double* s) override {
    if (disc_->chapterCallsFail) return E_FAIL;
    *s = Chain()->chapters.at(size_t(c)).seconds;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAudioCount(INT* n) override {
    *n = Chain() ? INT(Chain()->audio.size()) : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAudioName(INT i, BSTR* name) override {
    *name = SysAllocStringUtf8(Chain()->audio.at(size_t(i)));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSubtitleCount(INT* n) override {
    *n = Chain() ? INT(Chain()->subtitles.size()) : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSubtitleName(INT i, BSTR* name) override {
    *name = SysAllocStringUtf8(Chain()->subtitles.at(size_t(i)));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPictureWidth(INT* w) override {
    *w = disc_->width;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPictureHeight(INT* h) override {
    *h = disc_->height;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetProgramChainName(INT i, BSTR* name) override {
    const FakeTitle& t = disc_->titles.at(size_t(title_));
    *name = SysAllocStringUtf8(t.chains.at(size_t(i)).name);
    return S_OK;
  }

 protected:
  const IID& Iid() const override { return IID_IDVDInfObj; }

 private:
  const FakeChain* Chain() const {
    if (title_ < 0 || size_t(title_) >= disc_->titles.size()) return nullptr;
    const FakeTitle& t = disc_->titles[size_t(title_)];
    if (chain_ < 0 || size_t(chain_) >= t.chains.size()) return nullptr;
    return &t.chains[size_t(chain_)];
  }
  const FakeDisc* disc_;
  CallLog* log_;
  INT title_ = -1;
  INT chain_ = -1;
};

// Only the codec list is used by the dialog; the encoding slots answer E_NOTIMPL.
class FakeAviEncode : public FakeBase<IAVIEncode> {
 public:
  explicit FakeAviEncode(const std::vector<std::pair<std::string, INT>>* codecs) : codecs_(codecs) {}
  HRESULT STDMETHODCALLTYPE GetCodecCount(INT* n) override {
    *n = INT(codecs_->size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCodecName(INT i, BSTR* name) override {
    *name = SysAllocStringUtf8(codecs_->at(size_t(i)).first);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCodecId(INT i, INT* id) override {
    *id = codecs_->at(size_t(i)).second;
    return S_OK;
  }
  APPTEST_UNUSED(10)
  APPTEST_UNUSED(12)
  APPTEST_UNUSED(14)
  APPTEST_UNUSED(16)
  APPTEST_UNUSED(18)
  APPTEST_UNUSED(20)
  APPTEST_UNUSED(22)
  APPTEST_UNUSED(24)
  APPTEST_UNUSED(26)
  APPTEST_UNUSED(28)
  APPTEST_UNUSED(29)
  APPTEST_UNUSED(30)
  APPTEST_UNUSED(32)
  APPTEST_UNUSED(33)
  APPTEST_UNUSED(34)
  APPTEST_UNUSED(35)
  APPTEST_UNUSED(36)
  HRESULT STDMETHODCALLTYPE SetCodec(INT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetOutputFile(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetWidth(INT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetHeight(INT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetFrameRate(double) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetParameter21(INT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetParameter23(INT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSampleRate(INT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetLameBitrate(INT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetLameQuality(BYTE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Start() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFileSize(double*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE WriteFrame(BYTE*, INT_PTR, INT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SizeLimitReached() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Finish() override { return E_NOTIMPL; }

 protected:
  const IID& Iid() const override { return IID_IAVIEncode; }

 private:
  const std::vector<std::pair<std::string, INT>>* codecs_;
};

#undef APPTEST_UNUSED

// A class factory registered for a class identifier while it lives; `make` answers a
// new object, or null to make creation fail.
template <class Make>
class FakeFactory : public IClassFactory {
 public:
  FakeFactory(const CLSID& clsid, Make make, int* created) : make_(std::move(make)), created_(created) {
    CoRegisterClassObject(clsid, this, CLSCTX_INPROC_SERVER, 1 /* multiple use */, &cookie_);
  }
  ~FakeFactory() { CoRevokeClassObject(cookie_); }
  FakeFactory(const FakeFactory&) = delete;
  FakeFactory& operator=(const FakeFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // The factory lives on the stack of its case.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** ppv) override {
    *ppv = nullptr;
    IUnknown* object = make_();
    if (!object) return E_OUTOFMEMORY;
    if (created_) ++*created_;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  Make make_;
  int* created_;
  DWORD cookie_ = 0;
};

template <class Make>
FakeFactory(const CLSID&, Make, int*) -> FakeFactory<Make>;

}  // namespace apptest
