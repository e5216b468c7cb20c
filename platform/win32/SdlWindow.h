// How the other platform layers reach the SDL window behind an HWND.
#pragma once

#include <windows.h>

struct SDL_Window;

namespace Win32 {

// The SDL window of a window handle, or null for a handle that is not (or no longer) a window.
SDL_Window* SdlWindow(HWND window);

// A window handle for an SDL window made elsewhere (tests of the graphics and input layers); the window must
// have been created with SDL_WINDOW_OPENGL to carry a device. Released with DetachSdlWindow.
HWND AttachSdlWindow(SDL_Window* window);
void DetachSdlWindow(HWND window);

// A full-screen device covers the display with the window without changing the display's mode, and scales
// its back buffer into it. While it does, the window reports the mode's size as its client area, as a window
// on a display switched to that mode would, so that the client area and the back buffer agree. 0 x 0 ends it.
void SetFullScreenClientSize(HWND window, int width, int height);

// What GL windows made from now on ask of their frame buffer (after the video subsystem starts): 8 bits a
// channel with alpha, 24 bits of depth with 8 of stencil, no multisampling. That is what the d3d9 device's
// usual back buffer and depth surface hold, so it can draw a frame straight into the window.
void AskDeviceFrameBuffer();

// The window handle of an SDL window id (events name windows by id), or null.
HWND WindowFromSdlId(unsigned int windowId);

} // namespace Win32
