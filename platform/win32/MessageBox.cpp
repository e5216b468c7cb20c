// Message boxes: always on stderr, so that a failure is seen without a display; as a dialog where there is
// one.
#include <windows.h>

#include "platform/win32/SdlWindow.h"
#include "platform/win32/WindowLayer.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool HasDisplay() {
    const char* driver =
        SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : std::getenv("SDL_VIDEODRIVER");
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0))
        return false;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "Error", text ? text : "");
    std::fflush(stderr);
    if (!HasDisplay())
        return IDOK;
    Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
    UINT icon = type & 0xF0;
    if (icon == MB_ICONERROR)
        flags = SDL_MESSAGEBOX_ERROR;
    else if (icon == MB_ICONEXCLAMATION || icon == MB_ICONQUESTION)
        flags = SDL_MESSAGEBOX_WARNING;
    std::string title = Win32::ToUtf8(caption ? caption : "Error");
    std::string message = Win32::ToUtf8(text ? text : "");
    SDL_ShowSimpleMessageBox(flags, title.c_str(), message.c_str(), Win32::SdlWindow(owner));
    return IDOK;
}
