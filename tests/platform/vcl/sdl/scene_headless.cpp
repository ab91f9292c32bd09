// Renders the scene with the headless backend and writes what it presented at each
// snapshot as <name>.raw in a folder.
#include <cstdio>
#include <string>

#include <vcl/headless.h>

#include "scene.h"

namespace {

class HeadlessInput : public SceneInput {
 public:
  explicit HeadlessInput(std::string dir) : dir_(std::move(dir)) {}
  void Click(TCustomForm* form, int x, int y) override { HeadlessClick(form, x, y); }
  void Type(TCustomForm* form, const std::string& text) override {
    for (char c : text) HeadlessChar(form, c);
  }
  void Settle() override {
    for (int i = 0; i < 5; ++i) Application->ProcessMessages();
  }
  void Snapshot(const std::string& name, TCustomForm* form, const TRect&, bool) override {
    TSurface s;
    if (!HeadlessCapture(form->Handle(), s) || !WriteCapture(dir_ + "/" + name + ".raw", s.Width, s.Height, s.Pixels)) {
      std::fprintf(stderr, "cannot write the capture %s\n", name.c_str());
      failed = true;
    }
    ++count;
  }
  bool failed = false;
  int count = 0;

 private:
  std::string dir_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: scene_headless <folder>\n");
    return 2;
  }
  Application->Initialize();
  Scene scene;
  BuildScene(scene);
  HeadlessInput input(argv[1]);
  DriveScene(scene, input);
  if (input.count != 5) {
    std::fprintf(stderr, "%d snapshots taken instead of 5 (combo list or menu not shown)\n", input.count);
    return 1;
  }
  return input.failed ? 1 : 0;
}
