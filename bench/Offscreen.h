// What the benchmarks that draw share: a hidden window on SDL's offscreen driver (no display needed, unless
// SDL_VIDEODRIVER names another), and the percentiles of the frame times they measure.
#pragma once

#include "platform/win32/SdlWindow.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

namespace BenchSupport {

// The window, and the handle the engine is opened on.
inline std::pair<SDL_Window*, HWND> OpenHiddenWindow(const char* title, int width, int height) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    Win32::AskDeviceFrameBuffer();
    SDL_Window* window = SDL_CreateWindow(title, 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    return {window, Win32::AttachSdlWindow(window)};
}

// The time below which that percent of the times fall (the median for 50).
inline double Percentile(std::vector<double> times, int percent) {
    std::sort(times.begin(), times.end());
    return times[std::min(times.size() - 1, times.size() * size_t(percent) / 100)];
}

} // namespace BenchSupport
