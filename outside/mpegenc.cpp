// IMpegEnc: VCD and SVCD MPEG files from YUV 4:2:0 pictures and their sound.
#include "encobjects.h"
#include "encoderrun.h"
#include "mpegsettings.h"

namespace outside {

namespace {

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

  HRESULT STDMETHODCALLTYPE SetOutputFile(BSTR path) override { return run_.SetPath(&settings_.path, path); }
  HRESULT STDMETHODCALLTYPE SetParameter10(INT v) override { return run_.Set(&settings_.videoFormat, v); }
  HRESULT STDMETHODCALLTYPE SetParameter12(INT v) override { return run_.Set(&settings_.muxFormat, v); }
  HRESULT STDMETHODCALLTYPE SetWidth(INT v) override { return run_.Set(&settings_.width, v); }
  HRESULT STDMETHODCALLTYPE SetHeight(INT v) override { return run_.Set(&settings_.height, v); }
  HRESULT STDMETHODCALLTYPE SetParameter22(INT v) override { return run_.Set(&settings_.interlaced, v); }
  HRESULT STDMETHODCALLTYPE SetParameter26(INT v) override { return run_.Set(&settings_.bufferUnits, v); }
  HRESULT STDMETHODCALLTYPE SetFrameRate(double v) override { return run_.Set(&settings_.frameRate, v); }
  HRESULT STDMETHODCALLTYPE SetParameter32(INT v) override { return run_.Set(&settings_.videoKbps, v); }
  HRESULT STDMETHODCALLTYPE SetParameter34(INT v) override { return run_.Set(&settings_.maxVideoKbps, v); }
  HRESULT STDMETHODCALLTYPE SetParameter42(double v) override { return run_.Set(&settings_.maxMuxMbps, v); }
  HRESULT STDMETHODCALLTYPE SetParameter44(INT v) override { return run_.Set(&settings_.closedGop, v); }
  HRESULT STDMETHODCALLTYPE SetSampleRate(INT v) override { return run_.Set(&settings_.sampleRate, v); }

  HRESULT STDMETHODCALLTYPE Start() override { return run_.Start(BuildMpegConfig, settings_); }

  HRESULT STDMETHODCALLTYPE EncodeFrame(BYTE* y, BYTE* u, BYTE* v, INT width, INT height, INT_PTR value1,
                                        INT value2) override {
    if (HRESULT hr = run_.CheckRunning(); FAILED(hr)) return hr;
    if (!y || !u || !v) return run_.Fail({E_POINTER, "No picture was given to the MPEG encoder."});
    if (width != settings_.width || height != settings_.height)
      return run_.Fail({E_INVALIDARG, "The picture is " + std::to_string(width) + "x" + std::to_string(height) +
                                          ", but the MPEG file was started for " + std::to_string(settings_.width) +
                                          "x" + std::to_string(settings_.height) + "."});
    const BYTE* planes[3] = {y, u, v};
    return run_.Encode(planes, value1, value2);
  }

  HRESULT STDMETHODCALLTYPE GetFileSize(double* size) override { return run_.FileSize(size); }
  HRESULT STDMETHODCALLTYPE SizeLimitReached() override { return run_.SizeLimitReached(); }
  HRESULT STDMETHODCALLTYPE Finish() override { return run_.Finish(); }

 private:
  MpegSettings settings_;
  EncoderRun run_{"MPEG", CLSID_MpegEnc, IID_IMpegEnc};
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
