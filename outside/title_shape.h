// The display shape (4:3 or 16:9) of the title being read, from the DVD data object to the
// encoders that write its pictures. The program hands an encoder pictures and sound, never
// the disc's video attributes, so they travel inside this library: a data object announces
// its title's shape on the thread that opens it, and an encoder started on that thread (the
// conversion thread, its own apartment) takes the shape of the title opened there last.
#pragma once

extern "C" {
#include <libavutil/rational.h>
}

namespace outside {

// reader identifies the announcing object; a new announcement of it replaces the old one.
void AnnounceTitleShape(const void* reader, AVRational displayAspect);
// When the reader closes: its title no longer shapes what is started afterwards.
void WithdrawTitleShape(const void* reader);
// The shape of the title opened last on this thread and still open; {0, 1} when none is.
AVRational OpenTitleShape();

}  // namespace outside
