// Shared set-up of the fuzzers that need a started Direct3D 9 device: a hidden offscreen window, the engine
// on the Direct3D 9 driver, and a scratch directory of this process for readers that take file names.
#pragma once

#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/error.h"
#include "fuzz/support/Scratch.h"

#include <SDL.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace DeviceFuzz {

// attach registers extensions before the engine opens; resourcesSize is the resource arena's (0: none).
inline bool Start(RwBool (*attach)() = nullptr, RwUInt32 resourcesSize = 0) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    SDL_Window* window = SDL_CreateWindow("fuzz", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window)
        return false;
    HWND hwnd = Win32::AttachSdlWindow(window);
    if (!RwEngineSetDriver(RwD3D9DeviceRecordGet, RwD3D9RasterPluginAttach) ||
        !RwEngineInit(nullptr, 0, resourcesSize) || (attach && !attach()))
        return false;
    RwEngineOpenParams params = {hwnd};
    return RwEngineOpen(&params) && RwEngineSetVideoMode(0) && RwEngineStart();
}

// A directory of this process, made once, with a trailing '/'.
inline const std::string& ScratchDirectory() {
    return FuzzSupport::ScratchDirectory();
}

inline bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

inline void ClearError() {
    RwError error;
    RwErrorGet(&error);
}

} // namespace DeviceFuzz
