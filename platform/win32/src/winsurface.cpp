#include <win32/winsurface.h>

#include <mutex>

WindowSurfaceProvider::~WindowSurfaceProvider() = default;

namespace {

struct SurfaceState {
  std::mutex mutex;
  std::shared_ptr<WindowSurfaceProvider> provider;
};

SurfaceState& State() {
  static SurfaceState* state = new SurfaceState;  // outlives every painter at exit
  return *state;
}

std::shared_ptr<WindowSurfaceProvider> Current() {
  std::lock_guard lock(State().mutex);
  return State().provider;
}

}  // namespace

bool LockWindowSurface(HWND window, WindowSurface* surface) {
  if (surface == nullptr) return false;
  *surface = WindowSurface{nullptr, 0, 0, 0};
  std::shared_ptr<WindowSurfaceProvider> provider = Current();
  if (!provider || window == nullptr) return false;
  if (!provider->Lock(window, surface)) {
    *surface = WindowSurface{nullptr, 0, 0, 0};
    return false;
  }
  return true;
}

void UnlockWindowSurface(HWND window, bool repaint) {
  if (std::shared_ptr<WindowSurfaceProvider> provider = Current(); provider && window != nullptr)
    provider->Unlock(window, repaint);
}

BOOL IsWindow(HWND window) {
  std::shared_ptr<WindowSurfaceProvider> provider = Current();
  return provider && window != nullptr && provider->IsWindow(window) ? TRUE : FALSE;
}

std::shared_ptr<WindowSurfaceProvider> SetWindowSurfaceProvider(
    std::shared_ptr<WindowSurfaceProvider> provider) {
  std::lock_guard lock(State().mutex);
  std::shared_ptr<WindowSurfaceProvider> previous = std::move(State().provider);
  State().provider = std::move(provider);
  return previous;
}
