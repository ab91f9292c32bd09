// The program's entry: start-up sequence, exception guard and unit routines.
#pragma once

#include <functional>

#include <win32/types.h>

// The GUI entry: COM on this thread, the application object, the six forms in
// order, the message loop. Returns 0, also when start-up fails.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

// The six forms on the application object, in the program's order: the main window
// (the first made, so the main form), options, preview, about box, conversion window
// and countdown dialog.
void CreateForms();

// Runs the steps inside the program's exception guard: an exception that escapes is
// shown by the application object (anything that is not a library Exception as an
// Exception with an empty message) and the remaining steps are skipped. Returns 0.
int RunGuarded(const std::function<void()>& steps);

// A termination signal (on the GUI thread): message boxes answer by themselves from
// now on, a running conversion is told to stop and the application ends its message
// loop; freeing the forms then waits for the run to close its file and stores the
// settings, as when the main window is closed.
void EndOnSignal(int signal);

// Initialisation routines of the program's units, in order, and their finalisation
// in reverse order.
void InitializeUnits();
void FinalizeUnits();
