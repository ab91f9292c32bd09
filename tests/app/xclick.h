// Synthetic input on an X server, apart from the class library's headers (Xlib's names
// clash with them).
#pragma once

#include <string>

// A left click at a place of the screen, as the X server's test extension makes it:
// the program under it sees a real pointer move, press and release. False when the
// display cannot be reached or has no test extension.
bool ClickAt(const std::string& display, int x, int y);

// Windows come and go while the test looks at the screen: an X error about a window
// that has just gone is not the test's failure (Xlib's default would end the process).
void IgnoreVanishedWindows();
