// The system version, the display modes of the first display, and the little of GDI that the game uses.
#include <windows.h>

#include "platform/win32/WindowLayer.h"
#include "platform/win32/Text.h"

#include <SDL.h>

#include <cstring>

namespace {

void Fill(DEVMODEA* mode, const SDL_DisplayMode& sdl) {
    WORD size = mode->dmSize;
    std::memset(mode, 0, sizeof *mode);
    Win32::CopyName(mode->dmDeviceName, sizeof mode->dmDeviceName, "DISPLAY1");
    mode->dmSize = size ? size : WORD(sizeof *mode);
    mode->dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
    mode->dmBitsPerPel = SDL_BITSPERPIXEL(sdl.format) > 24 ? 32 : SDL_BITSPERPIXEL(sdl.format);
    if (mode->dmBitsPerPel == 24)
        mode->dmBitsPerPel = 32; // 24-bit colour comes in 32-bit pixels
    mode->dmPelsWidth = DWORD(sdl.w);
    mode->dmPelsHeight = DWORD(sdl.h);
    mode->dmDisplayFrequency = DWORD(sdl.refresh_rate);
}

} // namespace

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A current system: callers' rules for old ones stay off.
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 0;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->szCSDVersion[0] = 0;
    return TRUE;
}

BOOL EnumDisplaySettingsA(LPCSTR, DWORD modeNum, DEVMODEA* mode) {
    if (!mode || !Win32::StartVideo())
        return FALSE;
    SDL_DisplayMode sdl;
    if (modeNum == ENUM_CURRENT_SETTINGS || modeNum == ENUM_REGISTRY_SETTINGS) {
        if (SDL_GetDesktopDisplayMode(0, &sdl) != 0)
            return FALSE;
    } else if (int(modeNum) >= SDL_GetNumDisplayModes(0) || SDL_GetDisplayMode(0, int(modeNum), &sdl) != 0) {
        return FALSE;
    }
    Fill(mode, sdl);
    return TRUE;
}

LONG ChangeDisplaySettingsA(DEVMODEA* mode, DWORD) {
    if (!mode)
        return DISP_CHANGE_SUCCESSFUL; // the desktop's mode is never changed, so it needs no restoring
    DEVMODEA desktop{};
    if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &desktop))
        return DISP_CHANGE_FAILED;
    bool same = (!(mode->dmFields & DM_PELSWIDTH) || mode->dmPelsWidth == desktop.dmPelsWidth) &&
                (!(mode->dmFields & DM_PELSHEIGHT) || mode->dmPelsHeight == desktop.dmPelsHeight) &&
                (!(mode->dmFields & DM_BITSPERPEL) || mode->dmBitsPerPel == desktop.dmBitsPerPel);
    return same ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_BADMODE;
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush) {
    if (!brush)
        return nullptr;
    static char token;
    return reinterpret_cast<HBRUSH>(&token); // nothing is ever painted with it
}

BOOL DeleteObject(HGDIOBJ object) {
    return object ? TRUE : FALSE;
}
