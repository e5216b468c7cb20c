// A hidden window under the offscreen driver, a DirectInput object, and SDL events pushed as a desktop would
// send them.
#pragma once

#include <dinput.h>

#include "platform/win32/SdlWindow.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

class InputFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        sdl = SDL_CreateWindow("input", 0, 0, 64, 64, SDL_WINDOW_HIDDEN);
        ASSERT_NE(sdl, nullptr) << SDL_GetError();
        window = Win32::AttachSdlWindow(sdl);
        ASSERT_EQ(DirectInput8Create(nullptr, DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                     reinterpret_cast<void**>(&input), nullptr),
                  DI_OK);
    }
    void TearDown() override {
        for (IDirectInputDevice8* d : devices)
            d->Release();
        if (input)
            input->Release();
        Win32::DetachSdlWindow(window);
        SDL_DestroyWindow(sdl);
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    // Created, set up as the game sets it up (buffer of 8) and acquired.
    IDirectInputDevice8* Open(REFGUID guid, const DIDATAFORMAT& format, DWORD level, bool acquire = true) {
        IDirectInputDevice8* d = nullptr;
        EXPECT_EQ(input->CreateDevice(guid, &d, nullptr), DI_OK);
        if (!d)
            return nullptr;
        devices.push_back(d);
        EXPECT_EQ(d->SetCooperativeLevel(window, level), DI_OK);
        EXPECT_EQ(d->SetDataFormat(&format), DI_OK);
        DIPROPDWORD p{};
        p.diph.dwSize = sizeof(p);
        p.diph.dwHeaderSize = sizeof(p.diph);
        p.diph.dwHow = DIPH_DEVICE;
        p.dwData = 8;
        EXPECT_EQ(d->SetProperty(DIPROP_BUFFERSIZE, &p.diph), DI_OK);
        if (acquire) {
            EXPECT_EQ(d->Acquire(), DI_OK);
        }
        return d;
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

    // Every buffered record, one GetDeviceData call per record as the game reads them.
    static std::vector<DIDEVICEOBJECTDATA> Drain(IDirectInputDevice8* d) {
        std::vector<DIDEVICEOBJECTDATA> out;
        for (;;) {
            DIDEVICEOBJECTDATA r{};
            DWORD n = 1;
            HRESULT hr = d->GetDeviceData(sizeof(r), &r, &n, 0);
            EXPECT_TRUE(SUCCEEDED(hr));
            if (FAILED(hr) || n == 0)
                return out;
            out.push_back(r);
        }
    }

    SDL_Window* sdl = nullptr;
    HWND window = nullptr;
    IDirectInput8* input = nullptr;
    std::vector<IDirectInputDevice8*> devices;
};
