// Without a display the program must say so and stop, not run unseen.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <support/scratch_dir.h>

#include "xvfb.h"

namespace {

std::string QuillmerePath() {
  const char* bin = std::getenv("QUILLMERE_BUILD_BIN");
  std::string path = std::string(bin ? bin : ".") + "/Quillmere";
  return access(path.c_str(), X_OK) == 0 ? path : std::string();
}

TEST(QuillmereWithoutDisplay, SaysSoOnStandardErrorAndFails) {
  const std::string program = QuillmerePath();
  if (program.empty()) GTEST_SKIP() << "Quillmere is not built";
  const quill_test::ScratchDir dir("quill-nodisplay");
  const std::string registry = "QUILLMERE_REGISTRY=" + (dir / "registry.txt").string();
  std::string errors;

  // No display and no backend chosen: the desktop backend is the default.
  int code = RunProgram({program}, {registry}, {"DISPLAY", "WAYLAND_DISPLAY", "QUILLMERE_BACKEND"}, &errors);
  EXPECT_NE(code, 0);
  EXPECT_NE(code, -1) << "Quillmere crashed";
  EXPECT_NE(errors.find("cannot open a display"), std::string::npos) << errors;
  EXPECT_NE(errors.find("DISPLAY is not set"), std::string::npos) << errors;

  // The SDL2 backend asked for by name, with a display that is not there.
  code = RunProgram({program}, {registry, "QUILLMERE_BACKEND=sdl", "DISPLAY=:4999"}, {"WAYLAND_DISPLAY"}, &errors);
  EXPECT_NE(code, 0);
  EXPECT_NE(code, -1) << "Quillmere crashed";
  EXPECT_NE(errors.find(":4999 cannot be reached"), std::string::npos) << errors;

  // A backend name that does not exist is refused the same way.
  code = RunProgram({program}, {registry, "QUILLMERE_BACKEND=framebuffer"}, {"DISPLAY", "WAYLAND_DISPLAY"}, &errors);
  EXPECT_NE(code, 0);
  EXPECT_NE(code, -1) << "Quillmere crashed";
  EXPECT_NE(errors.find("framebuffer"), std::string::npos) << errors;
}

}  // namespace
