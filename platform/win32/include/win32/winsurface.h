// Painting into a window from another thread, for libraries that must not link the GUI
// layer. The GUI layer installs the provider; without one every call fails cleanly.
#pragma once

#include <cstdint>
#include <memory>

#include <win32/export.h>
#include <win32/types.h>

// A window's pixels while it is locked: 0x00RRGGBB, stride counted in pixels.
struct WindowSurface {
  std::uint32_t* pixels;
  int width;
  int height;
  int stride;
};

class QWIN32_API WindowSurfaceProvider {
 public:
  virtual ~WindowSurfaceProvider();
  virtual bool Lock(HWND window, WindowSurface* surface) = 0;
  virtual void Unlock(HWND window, bool repaint) = 0;
  virtual bool IsWindow(HWND window) = 0;
};

extern "C" {
// False (surface zeroed) when the window is unknown or no provider is installed.
QWIN32_API bool LockWindowSurface(HWND window, WindowSurface* surface);
// repaint: have the window show what was painted.
QWIN32_API void UnlockWindowSurface(HWND window, bool repaint);
QWIN32_API BOOL IsWindow(HWND window);
}

// Installs the provider (null removes it); returns the previous one.
QWIN32_API std::shared_ptr<WindowSurfaceProvider> SetWindowSurfaceProvider(
    std::shared_ptr<WindowSurfaceProvider> provider);
