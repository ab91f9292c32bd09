// Start-up and shut-down of the library's COM module (internal).
#pragma once

namespace zentra {

// Initialises the module with its one-class object map.
void InitPictureServerModule();
void TermPictureServerModule();

// Everything the library does at load, in its fixed order.
void RunLibraryLoad();

}  // namespace zentra
