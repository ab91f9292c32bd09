// IAVIEncode: the list of video codecs, and AVI files with MP3 sound from
// bottom-up 24-bit pictures.
#include <com/strings.h>

#include <outside/encoders.h>

#include "avi_settings.h"
#include "encoder_run.h"
#include "server_object.h"
#include "title_shape.h"

namespace outside {

namespace {

class AviEncode : public ServerObject<AviEncode, IAVIEncode, IID_IAVIEncode, Binding::VtableOnly> {
 public:
  HRESULT STDMETHODCALLTYPE GetCodecCount(INT* count) override {
    if (!count) return run_.Fail({E_POINTER, "No place was given for the codec count."});
    *count = static_cast<INT>(AvailableAviCodecs().size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCodecName(INT index, BSTR* name) override {
    if (!name) return run_.Fail({E_POINTER, "No place was given for the codec name."});
    *name = nullptr;
    const AviCodec* c = CodecAt(index);
    if (!c) return BadIndex(index);
    *name = qcom::SysAllocStringUtf8(c->name);
    return *name ? S_OK : run_.Fail({E_OUTOFMEMORY, "Out of memory."});
  }
  HRESULT STDMETHODCALLTYPE GetCodecId(INT index, INT* id) override {
    if (!id) return run_.Fail({E_POINTER, "No place was given for the codec id."});
    const AviCodec* c = CodecAt(index);
    if (!c) return BadIndex(index);
    *id = c->id;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetCodec(INT id) override { return run_.Set(&settings_.codecId, id); }
  HRESULT STDMETHODCALLTYPE SetOutputFile(BSTR path) override { return run_.SetPath(&settings_.path, path); }
  HRESULT STDMETHODCALLTYPE SetWidth(INT v) override { return run_.Set(&settings_.width, v); }
  HRESULT STDMETHODCALLTYPE SetHeight(INT v) override { return run_.Set(&settings_.height, v); }
  HRESULT STDMETHODCALLTYPE SetFrameRate(double v) override { return run_.Set(&settings_.frameRate, v); }
  HRESULT STDMETHODCALLTYPE SetParameter21(INT v) override { return run_.Set(&settings_.keySeconds, v); }
  HRESULT STDMETHODCALLTYPE SetParameter23(INT v) override { return run_.Set(&settings_.interleave, v); }
  HRESULT STDMETHODCALLTYPE SetSampleRate(INT v) override { return run_.Set(&settings_.sampleRate, v); }
  HRESULT STDMETHODCALLTYPE SetLameBitrate(INT v) override { return run_.Set(&settings_.lameKbps, v); }
  HRESULT STDMETHODCALLTYPE SetLameQuality(BYTE v) override {
    return run_.Set(&settings_.lameQuality, static_cast<int>(v));
  }

  HRESULT STDMETHODCALLTYPE Start() override {
    // Without a title open on this thread nothing tells the shape: pixels stay square.
    settings_.displayAspect = OpenTitleShape();
    return run_.Start(BuildAviConfig, settings_);
  }
  HRESULT STDMETHODCALLTYPE GetFileSize(double* size) override { return run_.FileSize(size); }

  HRESULT STDMETHODCALLTYPE WriteFrame(BYTE* rows, INT_PTR value1, INT value2) override {
    if (HRESULT hr = run_.CheckRunning(); FAILED(hr)) return hr;
    if (!rows) return run_.Fail({E_POINTER, "No picture was given to the AVI encoder."});
    const BYTE* planes[3] = {rows, nullptr, nullptr};
    return run_.Encode(planes, value1, value2);
  }

  HRESULT STDMETHODCALLTYPE SizeLimitReached() override { return run_.SizeLimitReached(); }
  HRESULT STDMETHODCALLTYPE Finish() override { return run_.Finish(); }

 private:
  static const AviCodec* CodecAt(INT index) {
    const auto& list = AvailableAviCodecs();
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return nullptr;
    return &list[static_cast<std::size_t>(index)];
  }
  HRESULT BadIndex(INT index) {
    return run_.Fail({E_INVALIDARG, "There is no video codec number " + std::to_string(index) + "."});
  }

  AviSettings settings_;
  EncoderRun run_{"AVI", CLSID_AVIEncode, IID_IAVIEncode};
};

}  // namespace

HRESULT CreateAviEncode(IUnknown* outer, REFIID iid, void** ppv) {
  return qcom::CreateInstance<AviEncode>(outer, iid, ppv);
}

}  // namespace outside
