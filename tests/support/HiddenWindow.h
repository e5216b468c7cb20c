// A hidden GL window under the offscreen driver, attached as the program's window: what the tests that start
// the engine on a device draw into. Open asserts, so call it through ASSERT_NO_FATAL_FAILURE.
#pragma once

#include "platform/win32/SdlWindow.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace TestSupport {

inline void OpenHiddenWindow(const char* title, int width, int height, SDL_Window*& window, HWND& hwnd) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    Win32::AskDeviceFrameBuffer();
    window = SDL_CreateWindow(title, 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    ASSERT_NE(window, nullptr) << SDL_GetError();
    hwnd = Win32::AttachSdlWindow(window);
}

} // namespace TestSupport
