// Internal hooks of the headless backend shared with the rest of the library (its
// public calls are in <vcl/headless.h>).
#pragma once

#include <string>

// Appends a line to the file named by QUILLMERE_HEADLESS_LOG (nothing when unset).
void HeadlessLog(const std::string& line);
