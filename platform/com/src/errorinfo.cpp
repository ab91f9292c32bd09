// Error objects and the per-thread error slot.
#include <com/errorinfo.h>

#include <com/comptr.h>
#include <com/strings.h>

#include "internal.h"

#include <atomic>
#include <new>
#include <optional>
#include <string>

namespace {

class ErrorObject final : public IErrorInfo, public ICreateErrorInfo {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IErrorInfo))
      *ppv = static_cast<IErrorInfo*>(this);
    else if (IsEqualIID(iid, IID_ICreateErrorInfo))
      *ppv = static_cast<ICreateErrorInfo*>(this);
    else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = refs_.fetch_sub(1) - 1;
    if (n == 0) delete this;
    return n;
  }

  HRESULT STDMETHODCALLTYPE GetGUID(GUID* g) override {
    if (!g) return E_INVALIDARG;
    *g = guid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* b) override { return Get(source_, b); }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* b) override { return Get(description_, b); }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* b) override { return Get(helpFile_, b); }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* c) override {
    if (!c) return E_INVALIDARG;
    *c = helpContext_;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID g) override {
    guid_ = g;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR s) override { return Set(source_, s); }
  HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR s) override { return Set(description_, s); }
  HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR s) override { return Set(helpFile_, s); }
  HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD c) override {
    helpContext_ = c;
    return S_OK;
  }

 private:
  // A text never set reads as a null BSTR, which callers tell from an empty one.
  static HRESULT Get(const std::optional<std::u16string>& text, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!text) return S_OK;
    *out = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  static HRESULT Set(std::optional<std::u16string>& text, LPOLESTR s) {
    if (s)
      text = std::u16string(s);
    else
      text.reset();
    return S_OK;
  }

  std::atomic<ULONG> refs_{1};
  GUID guid_ = GUID_NULL;
  std::optional<std::u16string> source_, description_, helpFile_;
  DWORD helpContext_ = 0;
};

struct ErrorSlot {
  IErrorInfo* info = nullptr;
  ~ErrorSlot() {
    if (info) info->Release();
  }
};
thread_local ErrorSlot t_slot;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  auto* obj = new (std::nothrow) ErrorObject();
  *pperrinfo = obj;
  return obj ? S_OK : E_OUTOFMEMORY;
}

HRESULT SetErrorInfo(DWORD, IErrorInfo* perrinfo) {
  if (perrinfo) perrinfo->AddRef();
  IErrorInfo* old = t_slot.info;
  t_slot.info = perrinfo;
  if (old) old->Release();
  return S_OK;
}

HRESULT GetErrorInfo(DWORD, IErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  *pperrinfo = t_slot.info;
  t_slot.info = nullptr;
  return *pperrinfo ? S_OK : S_FALSE;
}

namespace qcom {

// Called when the thread's last apartment closes.
void ClearThreadErrorInfo() { SetErrorInfo(0, nullptr); }

HRESULT ReportError(HRESULT hr, REFCLSID clsid, std::string_view description, REFIID iid) {
  ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.put()))) return hr;
  create->SetGUID(iid);
  LPOLESTR progId = nullptr;
  if (SUCCEEDED(ProgIDFromCLSID(clsid, &progId))) {
    create->SetSource(progId);
    CoTaskMemFree(progId);
  }
  std::u16string text = Utf8ToUtf16(description);
  create->SetDescription(text.data());
  ComPtr<IErrorInfo> info;
  if (SUCCEEDED(create.As(IID_IErrorInfo, &info))) SetErrorInfo(0, info.get());
  return hr;
}

std::string ErrorDescription(IUnknown* object, REFIID iid) {
  if (!object) return {};
  ComPtr<ISupportErrorInfo> support;
  if (FAILED(object->QueryInterface(IID_ISupportErrorInfo, support.put_void())) || !support) return {};
  if (FAILED(support->InterfaceSupportsErrorInfo(iid))) return {};
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK || !info) return {};
  Bstr description;
  if (FAILED(info->GetDescription(description.put()))) return {};
  return description.Utf8();
}

}  // namespace qcom
