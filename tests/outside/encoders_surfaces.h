// A window-surface provider over one memory surface, as the headless GUI
// layer's: lets the preview painter run without a display.
#pragma once

#include <cstdint>
#include <vector>

#include <win32/winsurface.h>

namespace enctest {

class MemorySurfaces : public WindowSurfaceProvider {
 public:
  MemorySurfaces(HWND window, int w, int h, int stride)
      : window_(window), w_(w), h_(h), stride_(stride), pixels_(static_cast<std::size_t>(stride) * h, 0xDEADBEEF) {}
  bool Lock(HWND window, WindowSurface* s) override {
    if (window != window_) return false;
    ++locks;
    *s = {pixels_.data(), w_, h_, stride_};
    return true;
  }
  void Unlock(HWND window, bool repaint) override {
    if (window == window_) {
      ++unlocks;
      repainted = repainted || repaint;
    }
  }
  bool IsWindow(HWND window) override { return window == window_; }
  std::uint32_t At(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * stride_ + x]; }
  int locks = 0, unlocks = 0;
  bool repainted = false;

 private:
  HWND window_;
  int w_, h_, stride_;
  std::vector<std::uint32_t> pixels_;
};

}  // namespace enctest
