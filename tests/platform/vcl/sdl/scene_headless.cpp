// Renders the scene with the headless backend and writes what it presented of each
// window: main.raw, shaped.raw and popup.raw in a folder.
#include <cstdio>
#include <string>

#include <vcl/headless.h>

#include "scene.h"

namespace {

class HeadlessInput : public SceneInput {
 public:
  void Click(TCustomForm* form, int x, int y) override { HeadlessClick(form, x, y); }
  void Type(TCustomForm* form, const std::string& text) override {
    for (char c : text) HeadlessChar(form, c);
  }
  void Settle() override {
    for (int i = 0; i < 5; ++i) Application->ProcessMessages();
  }
};

bool Save(HWND window, const std::string& path) {
  TSurface s;
  if (!HeadlessCapture(window, s)) return false;
  return WriteCapture(path, s.Width, s.Height, s.Pixels);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: scene_headless <folder>\n");
    return 2;
  }
  const std::string dir = argv[1];
  Application->Initialize();
  Scene scene;
  BuildScene(scene);
  HeadlessInput input;
  DriveScene(scene, input);
  TCustomForm* popup = ScenePopup(scene);
  if (!popup) {
    std::fprintf(stderr, "the combo box's list did not drop down\n");
    return 1;
  }
  if (!Save(scene.main->Handle(), dir + "/main.raw") || !Save(scene.shaped->Handle(), dir + "/shaped.raw") ||
      !Save(popup->Handle(), dir + "/popup.raw")) {
    std::fprintf(stderr, "cannot write the captures into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
