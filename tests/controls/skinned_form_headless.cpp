// Renders the skinned form with the headless backend and writes what it presented
// as <folder>/skinned.raw, for the real-window comparison.
#include <cstdio>

#include <vcl/headless.h>

#include "scene.h"
#include "skinned_form_scene.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: skinned_form_headless <folder>\n");
    return 2;
  }
  Application->Initialize();
  auto* form = new TForm(nullptr);
  BuildSkinnedForm(form);
  form->Show();
  // The pointer rests away from the title buttons, as in the real-window run.
  HeadlessMouseMove(form, 160, 150);
  for (int i = 0; i < 5; ++i) Application->ProcessMessages();
  TSurface s;
  if (!HeadlessCapture(form->Handle(), s) ||
      !WriteCapture(std::string(argv[1]) + "/skinned.raw", s.Width, s.Height, s.Pixels)) {
    std::fprintf(stderr, "cannot write the capture\n");
    return 1;
  }
  FreeComponent(form);
  return 0;
}
