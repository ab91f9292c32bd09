// Renders the DeepBlue scene of every themed control with the headless backend and
// writes what it presented as <folder>/themed.raw, then again after the clicks of
// ThemedSceneClicks as <folder>/themed-clicked.raw, for the real-window comparison.
#include <cstdio>

#include <vcl/headless.h>

#include "scene.h"
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
  auto capture = [&](const char* name) {
    TSurface s;
    if (HeadlessCapture(form->Handle(), s) &&
        WriteCapture(std::string(argv[1]) + "/" + name, s.Width, s.Height, s.Pixels))
      return true;
    std::fprintf(stderr, "cannot write the capture %s\n", name);
    return false;
  };
  if (!capture("themed.raw")) return 1;
  for (TPoint p : ThemedSceneClicks(scene)) {
    HeadlessClick(form, p.X, p.Y);
    for (int i = 0; i < 5; ++i) Application->ProcessMessages();
  }
  // The pointer rests on the form's bare face, as the real-window run leaves it.
  const TPoint rest = ThemedSceneRest();
  HeadlessMouseMove(form, rest.X, rest.Y);
  for (int i = 0; i < 5; ++i) Application->ProcessMessages();
  if (!capture("themed-clicked.raw")) return 1;
  FreeComponent(form);
  return 0;
}
