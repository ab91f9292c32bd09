// Signals that end the program: a logout (SIGTERM, SIGHUP), a closed terminal (SIGHUP)
// or Ctrl+C (SIGINT) close it the way its close button does, so that a running
// conversion still finishes its file and the settings are stored.
#pragma once

#include <functional>

// Catches SIGTERM, SIGHUP and SIGINT (one ignored when the program starts, as under
// nohup, stays ignored) and ignores SIGXFSZ, so that a write beyond the process's
// file-size limit fails like a full disk instead of killing the program. The handler
// only writes the signal's number into a pipe; a watcher thread queues `onSignal`
// for the GUI thread, for the first signal only: later ones are noted and change
// nothing, so a second Ctrl+C cannot cut the closing of the file short.
void InstallSignalHandling(std::function<void(int)> onSignal);
// The first of those signals received, or 0.
int TerminationSignal();
// Puts the handlers that were there before back (or, once a termination signal has
// come, ignores the signals for the last moments of the process); the watcher ends by
// itself.
void RemoveSignalHandling();
