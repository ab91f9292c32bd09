// Renders the DeepBlue scene of every themed control with the headless backend and
// writes what it presented as <folder>/themed.raw, for the real-window comparison.
#include <cstdio>

#include <vcl/headless.h>

#include "../platform/vcl/sdl/scene.h"
#include "themed_scene.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: themed_window_headless <folder>\n");
    return 2;
  }
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->SetBounds(60, 60, kThemedSceneWidth, kThemedSceneHeight);
  ThemedScene scene;
  BuildThemedScene(form, TsuiUIStyle::DeepBlue, scene);
  form->Show();
  for (int i = 0; i < 5; ++i) Application->ProcessMessages();
  TSurface s;
  if (!HeadlessCapture(form->Handle(), s) ||
      !WriteCapture(std::string(argv[1]) + "/themed.raw", s.Width, s.Height, s.Pixels)) {
    std::fprintf(stderr, "cannot write the capture\n");
    return 1;
  }
  FreeComponent(form);
  return 0;
}
