// IMpegEnc: VCD and SVCD MPEG files from YUV 4:2:0 pictures and their sound.
#include <memory>

#include <com/errorinfo.h>
#include <com/strings.h>

#include "encobjects.h"
#include "mpegsettings.h"

namespace outside {

namespace {

constexpr double kMegabyte = 1048576.0;

class MpegEnc : public qcom::ObjectRoot,
                public VtableOnlyDispatch<IMpegEnc>,
                public qcom::SupportErrorInfoImpl<IID_IMpegEnc> {
 public:
  static std::span<const qcom::InterfaceEntry> Interfaces() {
    static const qcom::InterfaceEntry map[] = {
        qcom::Entry<MpegEnc, IMpegEnc>(IID_IUnknown),
        qcom::Entry<MpegEnc, IMpegEnc>(IID_IMpegEnc),
        qcom::Entry<MpegEnc, IDispatch, IMpegEnc>(IID_IDispatch),
        qcom::Entry<MpegEnc, ISupportErrorInfo>(IID_ISupportErrorInfo)};
    return map;
  }

  HRESULT STDMETHODCALLTYPE Unused7() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused9() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused11() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused13() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused14() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused15() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused17() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused19() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused20() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused21() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused23() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused24() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused25() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused27() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused28() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused29() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused31() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused33() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused35() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused36() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused37() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused38() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused39() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused40() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused41() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused43() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused45() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused46() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unused47() override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE SetOutputFile(BSTR path) override {
    if (HRESULT hr = CheckIdle(); FAILED(hr)) return hr;
    settings_.path = qcom::BstrToUtf8(path);
    if (settings_.path.empty()) return Fail({E_INVALIDARG, "No output file has been given."});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetParameter10(INT v) override { return Set(&settings_.videoFormat, v); }
  HRESULT STDMETHODCALLTYPE SetParameter12(INT v) override { return Set(&settings_.muxFormat, v); }
  HRESULT STDMETHODCALLTYPE SetWidth(INT v) override { return Set(&settings_.width, v); }
  HRESULT STDMETHODCALLTYPE SetHeight(INT v) override { return Set(&settings_.height, v); }
  HRESULT STDMETHODCALLTYPE SetParameter22(INT v) override { return Set(&settings_.interlaced, v); }
  HRESULT STDMETHODCALLTYPE SetParameter26(INT v) override { return Set(&settings_.bufferUnits, v); }
  HRESULT STDMETHODCALLTYPE SetFrameRate(double v) override { return Set(&settings_.frameRate, v); }
  HRESULT STDMETHODCALLTYPE SetParameter32(INT v) override { return Set(&settings_.videoKbps, v); }
  HRESULT STDMETHODCALLTYPE SetParameter34(INT v) override { return Set(&settings_.maxVideoKbps, v); }
  HRESULT STDMETHODCALLTYPE SetParameter42(double v) override { return Set(&settings_.maxMuxMbps, v); }
  HRESULT STDMETHODCALLTYPE SetParameter44(INT v) override { return Set(&settings_.closedGop, v); }
  HRESULT STDMETHODCALLTYPE SetSampleRate(INT v) override { return Set(&settings_.sampleRate, v); }

  HRESULT STDMETHODCALLTYPE Start() override {
    if (HRESULT hr = CheckIdle(); FAILED(hr)) return hr;
    startFailure_ = {};
    SessionConfig config;
    Status s = BuildMpegConfig(settings_, &config);
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

  HRESULT STDMETHODCALLTYPE EncodeFrame(BYTE* y, BYTE* u, BYTE* v, INT width, INT height, INT_PTR value1,
                                        INT value2) override {
    if (HRESULT hr = CheckRunning(); FAILED(hr)) return hr;
    if (!y || !u || !v) return Fail({E_POINTER, "No picture was given to the MPEG encoder."});
    if (width != settings_.width || height != settings_.height)
      return Fail({E_INVALIDARG, "The picture is " + std::to_string(width) + "x" + std::to_string(height) +
                                     ", but the MPEG file was started for " + std::to_string(settings_.width) +
                                     "x" + std::to_string(settings_.height) + "."});
    if (value2 < 0) return Fail({E_INVALIDARG, "The sound byte count of the picture is negative."});
    const BYTE* planes[3] = {y, u, v};
    Status s = session_->Encode(planes, reinterpret_cast<const std::int16_t*>(value1),
                                static_cast<std::size_t>(value2));
    return s.ok() ? S_OK : Fail(s);
  }

  HRESULT STDMETHODCALLTYPE GetFileSize(double* size) override {
    if (!size) return Fail({E_POINTER, "No place was given for the file size."});
    *size = session_ ? session_->ProjectedBytes() / kMegabyte : 0.0;
    return S_OK;
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
  template <class T>
  HRESULT Set(T* field, T value) {
    if (HRESULT hr = CheckIdle(); FAILED(hr)) return hr;
    *field = value;
    return S_OK;
  }
  HRESULT CheckIdle() {
    if (session_) return Fail({E_UNEXPECTED, "The MPEG settings can not change while a file is being written."});
    return S_OK;
  }
  HRESULT CheckRunning() {
    if (session_ && session_->IsOpen()) return S_OK;
    if (session_) {
      // A failed write ended the run; every later call says why.
      Status s = session_->Finish();
      return Fail(s.ok() ? Status{E_UNEXPECTED, "The MPEG file has already been closed."} : s);
    }
    if (!startFailure_.ok())
      return Fail({startFailure_.hr, "The MPEG file could not be started: " + startFailure_.message});
    return Fail({E_UNEXPECTED, "The MPEG encoder has not been started."});
  }
  HRESULT Fail(const Status& s) { return qcom::ReportError(s.hr, CLSID_MpegEnc, s.message, IID_IMpegEnc); }

  MpegSettings settings_;
  std::unique_ptr<EncodeSession> session_;
  Status startFailure_;
};

}  // namespace

HRESULT CreateMpegEnc(IUnknown* outer, REFIID iid, void** ppv) {
  return qcom::CreateInstance<MpegEnc>(outer, iid, ppv);
}

const char kMpegEncRegistry[] = R"(
HKCR {
  Quillmere.MpegEnc.1 = s 'MpegEnc Class' { CLSID = s '{CB6A8BB1-AAA5-4ACD-81E4-68ED4CA6E100}' }
  Quillmere.MpegEnc = s 'MpegEnc Class' { CurVer = s 'Quillmere.MpegEnc.1' }
  NoRemove CLSID {
    ForceRemove {CB6A8BB1-AAA5-4ACD-81E4-68ED4CA6E100} = s 'MpegEnc Class' {
      ProgID = s 'Quillmere.MpegEnc.1'
      VersionIndependentProgID = s 'Quillmere.MpegEnc'
      InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Apartment' }
    }
  }
})";

}  // namespace outside
