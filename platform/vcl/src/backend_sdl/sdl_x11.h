// What the SDL2 backend does on SDL's own X connection: waiting on its socket, and
// keeping Xlib from ending the program over errors that are only races with windows
// that are gone (a window manager's frames, our own destroyed windows).
#pragma once

#include <SDL2/SDL.h>

namespace sdl_x11 {

// Finds SDL's X connection through one of its windows and installs the error handler;
// false (and nothing done) when SDL does not run on X11.
bool Connect(SDL_Window* window);
// Puts back the error handler that was there before; called before SDL_Quit.
void Disconnect();
// The X connection's socket; -1 when not connected.
int Socket();
// Sends what Xlib holds back and tells whether events already wait in Xlib's own queue,
// where a poll of the socket would not see them.
bool EventsWaiting();

// Where the window's client area is on the screen, as the X server says; false without
// X11. SDL resolves a configure event through the window's parent of the moment, which
// under a window manager may be a frame that came after the event: its own figure can
// be off by the frame's place.
bool ClientOrigin(SDL_Window* window, int* x, int* y);

// For SDL's copy of an X button press or release (SDL_SYSWMEVENT): the modifier keys the
// X server held at that click, as SDL's KMOD bits; -1 for any other event. The X event says
// it whichever window has the keyboard, and before SDL's keyboard state moves on.
int ButtonEventMods(const SDL_Event& e);

// The windows whose errors are real faults while they live.
void WindowCreated(SDL_Window* window);
void WindowDestroyed(SDL_Window* window);

}  // namespace sdl_x11
