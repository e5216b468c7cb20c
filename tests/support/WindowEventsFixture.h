// A hidden window under the offscreen driver, attached as the program's window, and SDL events pushed as a
// desktop sends them.
#pragma once

#include "platform/win32/SdlWindow.h"

#include <SDL.h>
#include <gtest/gtest.h>

class WindowEventsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        sdl = SDL_CreateWindow("input", 0, 0, 64, 64, SDL_WINDOW_HIDDEN);
        ASSERT_NE(sdl, nullptr) << SDL_GetError();
        window = Win32::AttachSdlWindow(sdl);
    }
    void TearDown() override {
        Win32::DetachSdlWindow(window);
        SDL_DestroyWindow(sdl);
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
    void Key(SDL_Scancode code, bool down, bool repeat = false) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = SDL_GetWindowID(sdl);
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.repeat = repeat;
        e.key.keysym.scancode = code;
        Push(e);
    }
    void Focus(bool gained) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = SDL_GetWindowID(sdl);
        e.window.event = gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
        Push(e);
    }

    SDL_Window* sdl = nullptr;
    HWND window = nullptr;
};
