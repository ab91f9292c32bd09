// IAVIEncode: the list of video codecs, and AVI files with MP3 sound from
// bottom-up 24-bit pictures.
#include <memory>

#include <com/errorinfo.h>
#include <com/strings.h>

#include "encobjects.h"
#include "mpegsettings.h"

namespace outside {

namespace {

constexpr double kMegabyte = 1048576.0;

class AviEncode : public qcom::ObjectRoot,
                  public VtableOnlyDispatch<IAVIEncode>,
                  public qcom::SupportErrorInfoImpl<IID_IAVIEncode> {
 public:
  static std::span<const qcom::InterfaceEntry> Interfaces() {
    static const qcom::InterfaceEntry map[] = {
        qcom::Entry<AviEncode, IAVIEncode>(IID_IUnknown),
        qcom::Entry<AviEncode, IAVIEncode>(IID_IAVIEncode),
        qcom::Entry<AviEncode, IDispatch, IAVIEncode>(IID_IDispatch),
        qcom::Entry<AviEncode, ISupportErrorInfo>(IID_ISupportErrorInfo)};
    return map;
  }

  HRESULT STDMETHODCALLTYPE GetCodecCount(INT* count) override {
    if (!count) return Fail({E_POINTER, "No place was given for the codec count."});
    *count = static_cast<INT>(AvailableAviCodecs().size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCodecName(INT index, BSTR* name) override {
    if (!name) return Fail({E_POINTER, "No place was given for the codec name."});
    *name = nullptr;
    const AviCodec* c = CodecAt(index);
    if (!c) return BadIndex(index);
    *name = qcom::SysAllocStringUtf8(c->name);
    return *name ? S_OK : Fail({E_OUTOFMEMORY, "Out of memory."});
  }
  HRESULT STDMETHODCALLTYPE GetCodecId(INT index, INT* id) override {
    if (!id) return Fail({E_POINTER, "No place was given for the codec id."});
    const AviCodec* c = CodecAt(index);
    if (!c) return BadIndex(index);
    *id = c->id;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Unused10() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused12() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused14() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused16() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused18() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused20() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused22() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused24() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused26() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused28() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused29() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused30() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused32() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused33() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused34() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused35() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused36() override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE SetCodec(INT id) override { return Set(&settings_.codecId, id); }
  HRESULT STDMETHODCALLTYPE SetOutputFile(BSTR path) override {
    if (HRESULT hr = CheckIdle(); FAILED(hr)) return hr;
    settings_.path = qcom::BstrToUtf8(path);
    if (settings_.path.empty()) return Fail({E_INVALIDARG, "No output file has been given."});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetWidth(INT v) override { return Set(&settings_.width, v); }
  HRESULT STDMETHODCALLTYPE SetHeight(INT v) override { return Set(&settings_.height, v); }
  HRESULT STDMETHODCALLTYPE SetFrameRate(double v) override { return Set(&settings_.frameRate, v); }
  HRESULT STDMETHODCALLTYPE SetParameter21(INT v) override { return Set(&settings_.keySeconds, v); }
  HRESULT STDMETHODCALLTYPE SetParameter23(INT v) override { return Set(&settings_.interleave, v); }
  HRESULT STDMETHODCALLTYPE SetSampleRate(INT v) override { return Set(&settings_.sampleRate, v); }
  HRESULT STDMETHODCALLTYPE SetLameBitrate(INT v) override { return Set(&settings_.lameKbps, v); }
  HRESULT STDMETHODCALLTYPE SetLameQuality(BYTE v) override { return Set(&settings_.lameQuality, static_cast<int>(v)); }

  HRESULT STDMETHODCALLTYPE Start() override {
    if (HRESULT hr = CheckIdle(); FAILED(hr)) return hr;
    startFailure_ = {};
    SessionConfig config;
    Status s = BuildAviConfig(settings_, &config);
    if (s.ok()) {
      session_ = std::make_unique<EncodeSession>();
      s = session_->Open(config);
    }
    if (!s.ok()) {
      session_.reset();
      startFailure_ = s;
      return Fail(s);
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetFileSize(double* size) override {
    if (!size) return Fail({E_POINTER, "No place was given for the file size."});
    *size = session_ ? session_->ProjectedBytes() / kMegabyte : 0.0;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE WriteFrame(BYTE* rows, INT_PTR value1, INT value2) override {
    if (HRESULT hr = CheckRunning(); FAILED(hr)) return hr;
    if (!rows) return Fail({E_POINTER, "No picture was given to the AVI encoder."});
    if (value2 < 0) return Fail({E_INVALIDARG, "The sound byte count of the picture is negative."});
    const BYTE* planes[3] = {rows, nullptr, nullptr};
    Status s = session_->Encode(planes, reinterpret_cast<const std::int16_t*>(value1),
                                static_cast<std::size_t>(value2));
    return s.ok() ? S_OK : Fail(s);
  }

  HRESULT STDMETHODCALLTYPE SizeLimitReached() override {
    if (HRESULT hr = CheckRunning(); FAILED(hr)) return hr;
    Status s = session_->Split();
    return s.ok() ? s.hr : Fail(s);
  }

  HRESULT STDMETHODCALLTYPE Finish() override {
    if (!session_) return S_OK;
    Status s = session_->Finish();
    session_.reset();
    return s.ok() ? S_OK : Fail(s);
  }

 private:
  static const AviCodec* CodecAt(INT index) {
    const auto& list = AvailableAviCodecs();
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return nullptr;
    return &list[static_cast<std::size_t>(index)];
  }
  HRESULT BadIndex(INT index) {
    return Fail({E_INVALIDARG, "There is no video codec number " + std::to_string(index) + "."});
  }
  template <class T>
  HRESULT Set(T* field, T value) {
    if (HRESULT hr = CheckIdle(); FAILED(hr)) return hr;
    *field = value;
    return S_OK;
  }
  HRESULT CheckIdle() {
    if (session_) return Fail({E_UNEXPECTED, "The AVI settings can not change while a file is being written."});
    return S_OK;
  }
  HRESULT CheckRunning() {
    if (session_ && session_->IsOpen()) return S_OK;
    if (session_) {
      Status s = session_->Finish();
      return Fail(s.ok() ? Status{E_UNEXPECTED, "The AVI file has already been closed."} : s);
    }
    if (!startFailure_.ok())
      return Fail({startFailure_.hr, "The AVI file could not be started: " + startFailure_.message});
    return Fail({E_UNEXPECTED, "The AVI encoder has not been started."});
  }
  HRESULT Fail(const Status& s) { return qcom::ReportError(s.hr, CLSID_AVIEncode, s.message, IID_IAVIEncode); }

  AviSettings settings_;
  std::unique_ptr<EncodeSession> session_;
  Status startFailure_;
};

}  // namespace

HRESULT CreateAviEncode(IUnknown* outer, REFIID iid, void** ppv) {
  return qcom::CreateInstance<AviEncode>(outer, iid, ppv);
}

const char kAviEncodeRegistry[] = R"(
HKCR {
  Quillmere.AVIEncode.1 = s 'AVIEncode Class' { CLSID = s '{316B9560-4B4A-45B0-9B8A-4356C171AE95}' }
  Quillmere.AVIEncode = s 'AVIEncode Class' { CurVer = s 'Quillmere.AVIEncode.1' }
  NoRemove CLSID {
    ForceRemove {316B9560-4B4A-45B0-9B8A-4356C171AE95} = s 'AVIEncode Class' {
      ProgID = s 'Quillmere.AVIEncode.1'
      VersionIndependentProgID = s 'Quillmere.AVIEncode'
      InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Apartment' }
    }
  }
})";

}  // namespace outside
