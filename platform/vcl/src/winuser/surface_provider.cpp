// Painting into a window from another thread (the preview painter): the window's
// surface is locked, painted, and a repaint is posted to the GUI thread.
#include "window_manager.h"

#include <algorithm>
#include <map>

namespace {

class VclSurfaceProvider : public WindowSurfaceProvider {
 public:
  bool Lock(HWND window, WindowSurface* out) override {
    *out = WindowSurface{nullptr, 0, 0, 0};
    auto rec = WindowManager::Get().Find(window);
    if (!rec || !rec->control) return false;
    TCustomForm* f = TopLevelForm(rec->control);
    if (!f) return false;
    TSurface& s = f->Surface();
    s.Lock.lock();
    // The surface follows the form's client size once it has been painted.
    if (s.Width != f->ClientWidth() || s.Height != f->ClientHeight()) {
      try {
        s.Resize(f->ClientWidth(), f->ClientHeight(), 0);
      } catch (...) {
        s.Lock.unlock();  // no pixels to paint into: the caller sees no surface
        return false;
      }
    }
    TPoint off = OffsetInForm(rec->control);
    TRect cr = rec->control->ClientRect();
    int w = std::min(cr.Width(), s.Width - off.X);
    int h = std::min(cr.Height(), s.Height - off.Y);
    if (w <= 0 || h <= 0 || off.X < 0 || off.Y < 0) {
      s.Lock.unlock();
      return false;
    }
    *out = WindowSurface{s.Row(off.Y) + off.X, w, h, s.Width};
    std::lock_guard<std::mutex> lock(mu_);
    locked_[window] = &s;
    return true;
  }

  void Unlock(HWND window, bool repaint) override {
    TSurface* s = nullptr;
    {
      std::lock_guard<std::mutex> lock(mu_);
      auto it = locked_.find(window);
      if (it == locked_.end()) return;
      s = it->second;
      locked_.erase(it);
    }
    s->Lock.unlock();
    if (repaint) {
      WindowManager& wm = WindowManager::Get();
      {
        std::lock_guard<std::mutex> lock(wm.present_mu);
        wm.present_requests.push_back(window);
      }
      wm.Wake();
    }
  }

  bool IsWindow(HWND window) override { return WindowManager::Get().Find(window) != nullptr; }

 private:
  std::mutex mu_;
  std::map<HWND, TSurface*> locked_;
};

}  // namespace

void InstallWindowSurfaceProvider() { SetWindowSurfaceProvider(std::make_shared<VclSurfaceProvider>()); }
