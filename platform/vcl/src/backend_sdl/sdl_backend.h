// The SDL2 display backend: one SDL window per top-level form.
#pragma once

#include <SDL2/SDL.h>

#include <memory>

#include <vcl/backend.h>
#include <win32/clipboard.h>

// The operation table of the SDL2 backend (also reachable by name through Backend()).
QVCL_API const BackendOps& SdlBackendOps();

// The SDL window that shows a top-level form (null when there is none).
QVCL_API SDL_Window* SdlWindowOf(HWND window);

// Virtual key of an SDL key (0 when the key has none). `mod` decides what the keypad
// keys mean: digits with Num Lock on, navigation keys with it off.
QVCL_API unsigned SdlKeyToVirtualKey(SDL_Keycode key, Uint16 mod);

// The character a key produces besides its key-down message when SDL reports no text
// input for it (Backspace, Tab, Enter, Esc, Ctrl+letter); 0 for other keys.
QVCL_API unsigned SdlKeyControlChar(SDL_Keycode key, Uint16 mod);

// The desktop's clipboard. SDL's clipboard calls must stay on the GUI thread; a call
// from another thread is answered from the text last seen there and a new text is
// handed to the GUI thread through `post`, which wakes its loop.
std::shared_ptr<ClipboardProvider> MakeSdlClipboard(bool (*onGuiThread)(), void (*post)());
// Called on the GUI thread when `post` asked for it: hands pending text to SDL.
void FlushSdlClipboard(ClipboardProvider* provider);
