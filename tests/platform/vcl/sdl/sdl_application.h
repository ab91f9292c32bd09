// The class library on a private X server with the SDL backend, as the real-window tests use it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <vcl/backend.h>
#include <vcl/forms.h>

#include "xvfb.h"

inline ::testing::AssertionResult StartSdlApplication(XvfbServer& xvfb) {
  std::string why;
  if (!xvfb.Start(&why)) return ::testing::AssertionFailure() << why;
  setenv("QUILLMERE_BACKEND", "sdl", 1);
  Application->Initialize();
  if (std::string(Backend().name) != "sdl") return ::testing::AssertionFailure() << "backend: " << Backend().name;
  return ::testing::AssertionSuccess();
}
