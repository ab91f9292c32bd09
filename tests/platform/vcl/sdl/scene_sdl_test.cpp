// The scene on real windows: SDL events drive the controls, and what the X server
// shows of each window must equal the headless backend's rendering after the same
// input (made by the scene_headless program).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include <support/scratch_dir.h>
#include <vcl/backend.h>
#include <win32/region.h>

#include "scene.h"
#include "sdl_backend.h"
#include "sdl_events.h"
#include "sdl_application.h"
#include "xvfb.h"

namespace {

// Compares the screen under a form's client area with a capture; `visible` tells
// which pixels of the client area the window shows (the others show the black root),
// `covered` which ones another window lies over.
void ExpectOnScreen(const std::string& display, TCustomForm* form, const std::string& file, const TRect& covered,
                    bool process, const std::function<bool(int, int)>& visible) {
  int width = 0, height = 0;
  std::vector<std::uint32_t> want;
  ASSERT_TRUE(ReadCapture(file, &width, &height, &want)) << file;
  ASSERT_EQ(width, form->ClientWidth()) << file;
  ASSERT_EQ(height, form->ClientHeight()) << file;
  const TPoint origin = form->ClientOrigin();
  int wrong = 0, fx = -1, fy = -1;
  std::uint32_t got = 0, expected = 0;
  for (int attempt = 0; attempt < 60; ++attempt) {
    if (process) Application->ProcessMessages();
    const auto screen = ReadScreen(display, origin.X, origin.Y, width, height);
    ASSERT_EQ(screen.size(), want.size());
    wrong = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        if (x >= covered.Left && x < covered.Right && y >= covered.Top && y < covered.Bottom) continue;
        const std::size_t i = static_cast<std::size_t>(y) * width + x;
        const std::uint32_t w = !visible || visible(x, y) ? want[i] : 0u;
        if (screen[i] != w && wrong++ == 0) {
          fx = x;
          fy = y;
          got = screen[i];
          expected = w;
        }
      }
    if (wrong == 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ADD_FAILURE() << file << ": " << wrong << " pixels differ; first at (" << fx << ", " << fy << "): screen "
                << std::hex << got << ", headless " << expected;
}

class SdlInput : public SceneInput {
 public:
  SdlInput(std::string display, std::string dir) : display_(std::move(display)), dir_(std::move(dir)) {}
  void Click(TCustomForm* form, int x, int y) override { sdl_test::PushClick(form, TPoint(x, y)); }
  void Type(TCustomForm* form, const std::string& text) override {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    e.text.windowID = SDL_GetWindowID(SdlWindowOf(form->Handle()));
    text.copy(e.text.text, sizeof e.text.text - 1);
    SDL_PushEvent(&e);
  }
  void Settle() override { sdl_test::Settle(); }
  void Snapshot(const std::string& name, TCustomForm* form, const TRect& covered, bool inLoop) override {
    names.push_back(name);
    std::function<bool(int, int)> visible;
    HRGN shape = name == "shaped" ? SceneShape() : nullptr;
    if (shape) visible = [shape](int x, int y) { return PtInRegion(shape, x, y) != 0; };
    ExpectOnScreen(display_, form, dir_ + "/" + name + ".raw", covered, !inLoop, visible);
    if (shape) DeleteObject(shape);
  }
  std::vector<std::string> names;

 private:
  std::string display_, dir_;
};


TEST(SdlScene, RealWindowsDrivenBySdlEventsMatchTheHeadlessRendering) {
  const quill_test::ScratchDir scratch("quill-scene");
  const std::string dir = scratch.str();
  std::string errors;
  ASSERT_EQ(RunProgram({sdl_test::BinDir() + "/scene_headless", dir}, {"QUILLMERE_BACKEND=headless"}, {}, &errors),
            0)
      << errors;

  XvfbServer xvfb;
  ASSERT_TRUE(StartSdlApplication(xvfb));

  Scene scene;
  BuildScene(scene);
  SdlInput input(xvfb.Display(), dir);
  DriveScene(scene, input);

  // The SDL events reached the controls and the menu; every moment was compared.
  EXPECT_EQ(scene.clicks, 2);
  EXPECT_EQ(scene.label->Caption(), "Clicked 2");
  EXPECT_TRUE(scene.check->Checked());
  EXPECT_EQ(scene.edit->Text(), "Hi, SDL!");
  EXPECT_EQ(scene.list->ItemIndex(), 2);
  EXPECT_EQ(scene.chosen, "Open");
  EXPECT_EQ(ScenePopup(scene), nullptr);
  EXPECT_EQ(SceneMenuWindow(scene), nullptr);
  const std::vector<std::string> moments = {"combo", "main-under-combo", "menu", "main", "shaped"};
  EXPECT_EQ(input.names, moments);
}

}  // namespace
