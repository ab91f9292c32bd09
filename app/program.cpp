// The process entry: unit routines around WinMain, then the library's finalisation.
#include <cstdio>

#include <ksini.h>
#include <vcl/backend.h>
#include <vcl/forms.h>

#include "signals.h"
#include "winmain.h"

int main() {
  // Before the display: a signal during start-up already ends the program in order.
  InstallSignalHandling(EndOnSignal);
  // Without a display there is nothing to run on: say so instead of running unseen.
  try {
    Backend();
  } catch (const Exception& e) {
    std::fprintf(stderr, "Quillmere: %s\n", e.Message.c_str());
    RemoveSignalHandling();
    return 1;
  }
  InitializeUnits();
  int result = WinMain(nullptr, nullptr, nullptr, 0);
  // The application frees the forms: a running conversion is stopped and its file
  // closed, and the options dialog saves its path.
  DoneApplication();
  FreeStaticKsIni();
  FinalizeUnits();
  RemoveSignalHandling();
  // Ended by a signal: say so in the exit status, as a shell does.
  if (const int sig = TerminationSignal()) return 128 + sig;
  return result;
}
