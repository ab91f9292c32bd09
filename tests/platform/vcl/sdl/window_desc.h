// A top-level window for the SDL2 backend's own operations, as the backend tests make
// them (apart from the class library's forms, so that X11's headers may follow).
#pragma once

#include <vcl/backend.h>

namespace sdl_test {

inline BackendWindowDesc WindowDesc(HWND handle, int x, int y, int width, int height, bool bordered = false,
                                    bool popup = false) {
  BackendWindowDesc d;
  d.handle = handle;
  d.x = x;
  d.y = y;
  d.width = width;
  d.height = height;
  d.bordered = bordered;
  d.popup = popup;
  d.title = "test";
  return d;
}

}  // namespace sdl_test
