// The record behind an HWND. Private to the Win32 layer.
#pragma once

#include <windows.h>

struct SDL_Window;

struct HWND__ {
    SDL_Window* sdl = nullptr;
    bool owned = false; // made by CreateWindowExA, destroyed by DestroyWindow
};
