// The process entry: unit routines around WinMain, then the library's finalisation.
#include <cstdio>

#include <ksini.h>
#include <vcl/backend.h>
#include <vcl/forms.h>

#include "winmain.h"

int main() {
  // Without a display there is nothing to run on: say so instead of running unseen.
  try {
    Backend();
  } catch (const Exception& e) {
    std::fprintf(stderr, "Quillmere: %s\n", e.Message.c_str());
    return 1;
  }
  InitializeUnits();
  int result = WinMain(nullptr, nullptr, nullptr, 0);
  // The application frees the forms (the options dialog saves its path then).
  DoneApplication();
  FreeStaticKsIni();
  FinalizeUnits();
  return result;
}
