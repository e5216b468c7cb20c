// The record behind an HWND. Private to the Win32 layer.
#pragma once

#include <windows.h>

#include <string>

struct SDL_Window;

struct HWND__ {
    SDL_Window* sdl = nullptr;
    bool owned = false; // made by CreateWindowExA, destroyed by DestroyWindow

    // Windows made by CreateWindowExA; attached SDL windows have no procedure and take no messages.
    WNDPROC proc = nullptr;
    std::string className;
    DWORD style = 0;
    DWORD exStyle = 0;
    bool visible = false;
    bool minimized = false; // kept here too: not every SDL video driver tracks it
    bool maximized = false;
    bool shownOnce = false;
    bool destroying = false;
    int reportedType = -1; // the WM_SIZE last sent: SIZE_* and the client size
    int reportedWidth = -1;
    int reportedHeight = -1;
    // While a full-screen device covers the window: the mode's size, which the window reports as its client
    // area (0 otherwise).
    int fullScreenWidth = 0;
    int fullScreenHeight = 0;
};
