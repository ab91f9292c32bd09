// IMpegEnc: VCD and SVCD MPEG files from YUV 4:2:0 pictures and their sound.
#include <outside/encoders.h>

#include "encoder_run.h"
#include "mpeg_settings.h"
#include "server_object.h"
#include "title_shape.h"

namespace outside {

namespace {

class MpegEnc : public ServerObject<MpegEnc, IMpegEnc, IID_IMpegEnc, Binding::VtableOnly> {
 public:
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

  HRESULT STDMETHODCALLTYPE Start() override {
    // Without a title open on this thread the pictures are taken as 4:3, as most discs are.
    const AVRational shape = OpenTitleShape();
    settings_.displayAspect = shape.num > 0 ? shape : AVRational{4, 3};
    return run_.Start(BuildMpegConfig, settings_);
  }

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

}  // namespace outside
