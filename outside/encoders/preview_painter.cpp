// IPicShowObj: paints YUV 4:2:0 pictures, converted to RGB and scaled to the
// window, into the preview window's surface. Runs on the conversion thread;
// the surface lock keeps the GUI thread out while the pixels change.
#include <cstring>
#include <vector>

#include <com/errorinfo.h>
#include <win32/winsurface.h>

#include <outside/encoders.h>

#include "server_object.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace outside {

namespace {

class PicShowObj : public ServerObject<PicShowObj, IPicShowObj, IID_IPicShowObj, Binding::VtableOnly> {
 public:
  void FinalRelease() { sws_freeContext(sws_); }

  HRESULT STDMETHODCALLTYPE Open(HWND window, INT width, INT height) override {
    if (!window || !IsWindow(window))
      return Fail(E_HANDLE, "The preview window does not exist, so no pictures can be shown.");
    if (!ValidSize(width, height)) return BadSize(width, height);
    window_ = window;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE ShowFrame(INT width, INT height, BYTE* y, BYTE* u, BYTE* v, HWND window) override {
    if (!y || !u || !v) return Fail(E_POINTER, "No picture was given to the preview.");
    if (!ValidSize(width, height)) return BadSize(width, height);
    if (!window) window = window_;
    WindowSurface surface{};
    if (!window || !LockWindowSurface(window, &surface))
      return Fail(E_HANDLE, "The preview window can not be painted: it no longer exists.");
    HRESULT hr = S_OK;
    if (surface.pixels && surface.width > 0 && surface.height > 0 && surface.stride >= surface.width) {
      sws_ = sws_getCachedContext(sws_, width, height, AV_PIX_FMT_YUV420P, surface.width, surface.height,
                                  AV_PIX_FMT_BGR0, SWS_BILINEAR, nullptr, nullptr, nullptr);
      // The scaler writes whole SIMD blocks, past the end of a row; the window's
      // pixels beyond its width (or after its last row) are not ours to touch.
      const int rowPixels = (surface.width + 15) & ~15;
      if (sws_) scratch_.resize(static_cast<std::size_t>(rowPixels) * surface.height + 16);
      if (sws_) {
        const std::uint8_t* src[4] = {y, u, v, nullptr};
        const int srcStride[4] = {width, width / 2, width / 2, 0};
        // 0x00RRGGBB in memory is B, G, R, 0.
        std::uint8_t* dst[4] = {reinterpret_cast<std::uint8_t*>(scratch_.data()), nullptr, nullptr, nullptr};
        const int dstStride[4] = {rowPixels * 4, 0, 0, 0};
        sws_scale(sws_, src, srcStride, 0, height, dst, dstStride);
        for (int r = 0; r < surface.height; ++r)
          std::memcpy(surface.pixels + static_cast<std::ptrdiff_t>(r) * surface.stride,
                      scratch_.data() + static_cast<std::ptrdiff_t>(r) * rowPixels,
                      static_cast<std::size_t>(surface.width) * 4);
      } else {
        hr = E_OUTOFMEMORY;
      }
    }
    UnlockWindowSurface(window, SUCCEEDED(hr));
    if (FAILED(hr)) return Fail(hr, "The preview picture could not be converted.");
    return S_OK;
  }

 private:
  static bool ValidSize(INT w, INT h) { return w > 0 && h > 0 && w % 2 == 0 && h % 2 == 0 && w <= 8192 && h <= 8192; }
  HRESULT BadSize(INT w, INT h) {
    return Fail(E_INVALIDARG, "The preview can not show pictures of " + std::to_string(w) + "x" +
                                  std::to_string(h) + ": width and height must be even numbers from 2 to 8192.");
  }
  HRESULT Fail(HRESULT hr, const std::string& text) {
    return qcom::ReportError(hr, CLSID_PicShowObj, text, IID_IPicShowObj);
  }

  HWND window_ = nullptr;
  SwsContext* sws_ = nullptr;
  std::vector<std::uint32_t> scratch_;
};

}  // namespace

HRESULT CreatePicShowObj(IUnknown* outer, REFIID iid, void** ppv) {
  return qcom::CreateInstance<PicShowObj>(outer, iid, ppv);
}

}  // namespace outside
