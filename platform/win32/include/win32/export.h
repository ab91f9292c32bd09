// Symbol visibility of the Win32 stand-in library. The library is shared so that its
// process-wide state (clipboard, region handles, providers) exists once per process,
// also for server libraries that are built with hidden visibility.
#pragma once

#define QWIN32_API __attribute__((visibility("default")))
