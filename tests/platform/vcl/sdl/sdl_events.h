// What the real-window tests share: the folder of the running test program,
// serving messages for a while, and mouse input pushed as SDL reports it.
#pragma once

#include <SDL.h>
#include <unistd.h>
#include <support/files.h>
#include <vcl/forms.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "sdl_backend.h"

namespace sdl_test {

inline std::string BinDir() { return quill_test::ProgramDir().string(); }

// Serves messages for `ms` milliseconds, so that pushed events and repaints land.
inline void Settle(int ms = 150) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Serves messages until `done` holds (true) or about `ms` milliseconds have passed.
inline bool ServeUntil(const std::function<bool()>& done, int ms = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    Application->ProcessMessages();
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

inline Uint32 WindowId(TCustomForm* form) { return SDL_GetWindowID(SdlWindowOf(form->Handle())); }

inline void PushMotion(TCustomForm* form, TPoint p) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = WindowId(form);
  e.motion.x = p.X;
  e.motion.y = p.Y;
  SDL_PushEvent(&e);
}

// A left button press or release (SDL_MOUSEBUTTONDOWN or SDL_MOUSEBUTTONUP).
inline void PushButton(TCustomForm* form, Uint32 type, TPoint p) {
  SDL_Event e{};
  e.type = type;
  e.button.windowID = WindowId(form);
  e.button.button = SDL_BUTTON_LEFT;
  e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
  e.button.clicks = 1;
  e.button.x = p.X;
  e.button.y = p.Y;
  SDL_PushEvent(&e);
}

// A left click as SDL reports it: the pointer moves there, presses and releases.
inline void PushClick(TCustomForm* form, TPoint p) {
  PushMotion(form, p);
  PushButton(form, SDL_MOUSEBUTTONDOWN, p);
  PushButton(form, SDL_MOUSEBUTTONUP, p);
}

}  // namespace sdl_test
