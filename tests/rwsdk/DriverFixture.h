// A started engine on the Direct3D 9 driver, drawing into a hidden window, with a camera on the frame buffer.
#pragma once

#include "platform/d3d9/Control.h"
#include "tests/support/GlDriver.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/nulldevice.h"
#include "rwsdk/src/plcore/error.h"

#include <SDL.h>
#include <dlfcn.h>
#include <d3d9.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

class DriverTest : public ::testing::Test {
protected:
    static constexpr int Width = 64, Height = 48;

    // Video mode to start in (0: the windowed desktop entry).
    virtual RwInt32 VideoMode() const { return 0; }
    // Engine start-up flags and memory functions (null: the engine's own).
    virtual RwUInt32 InitFlags() const { return 0; }
    virtual const RwMemoryFunctions* MemoryFunctions() const { return nullptr; }

    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window = SDL_CreateWindow("driver", 0, 0, Width, Height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        hwnd = Win32::AttachSdlWindow(window);
        ASSERT_TRUE(RwEngineSetDriver(RwD3D9DeviceRecordGet, RwD3D9RasterPluginAttach));
        ASSERT_TRUE(RwEngineInit(MemoryFunctions(), InitFlags(), 0));
        RwEngineOpenParams params = {hwnd};
        ASSERT_TRUE(RwEngineOpen(&params));
        ASSERT_TRUE(RwEngineSetVideoMode(VideoMode()));
        ASSERT_TRUE(RwEngineStart());
        ASSERT_NE(RwD3D9Device, nullptr);
        PinGlDriver();
        frame = RwFrameCreate();
        camera = RwCameraCreate();
        RwCameraSetFrame(camera, frame);
        colour = RwRasterCreate(Width, Height, 0, rwRASTERTYPECAMERA);
        depth = RwRasterCreate(Width, Height, 0, rwRASTERTYPEZBUFFER);
        ASSERT_NE(colour, nullptr);
        ASSERT_NE(depth, nullptr);
        RwCameraSetRaster(camera, colour);
        RwCameraSetZRaster(camera, depth);
    }

    // The GL driver's own leaks are suppressed by library name: keep its libraries loaded to the end so that
    // the names are still known when the leak check runs.
    static void PinGlDriver() { TestSupport::PinGlDriver(); }

    void TearDown() override {
        if (camera) {
            RwCameraSetRaster(camera, nullptr);
            RwCameraSetZRaster(camera, nullptr);
            RwCameraSetFrame(camera, nullptr);
            RwCameraDestroy(camera);
        }
        if (frame)
            RwFrameDestroy(frame);
        if (colour)
            RwRasterDestroy(colour);
        if (depth)
            RwRasterDestroy(depth);
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
        RwEngineSetDriver(RwNullDeviceRecordGet, RwNullDeviceAttach);
        if (hwnd)
            Win32::DetachSdlWindow(hwnd);
        if (window)
            SDL_DestroyWindow(window);
    }

    void StartLog() {
        D3D9::SetCallLogging(RwD3D9Device, true);
        D3D9::TakeCallLog(RwD3D9Device);
    }
    std::vector<std::string> Log() { return D3D9::TakeCallLog(RwD3D9Device); }
    static size_t Count(const std::vector<std::string>& log, const std::string& call) {
        return size_t(std::count(log.begin(), log.end(), call));
    }
    static long Find(const std::vector<std::string>& log, const std::string& call) {
        auto it = std::find(log.begin(), log.end(), call);
        return it == log.end() ? -1 : long(it - log.begin());
    }

    // The back buffer as A8R8G8B8 words, top row first.
    std::vector<uint32_t> ReadBackBuffer(unsigned& width, unsigned& height) {
        IDirect3DSurface9* source = nullptr;
        RwD3D9Device->GetRenderTarget(0, &source);
        D3DSURFACE_DESC desc{};
        source->GetDesc(&desc);
        IDirect3DSurface9* copy = nullptr;
        EXPECT_EQ(RwD3D9Device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                            D3DPOOL_SYSTEMMEM, &copy, nullptr),
                  D3D_OK);
        EXPECT_EQ(RwD3D9Device->GetRenderTargetData(source, copy), D3D_OK);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        std::vector<uint32_t> pixels;
        for (unsigned y = 0; y < desc.Height; ++y) {
            auto* row =
                reinterpret_cast<const uint32_t*>(static_cast<const char*>(locked.pBits) + y * locked.Pitch);
            pixels.insert(pixels.end(), row, row + desc.Width);
        }
        copy->UnlockRect();
        copy->Release();
        source->Release();
        width = desc.Width;
        height = desc.Height;
        return pixels;
    }

    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    RwFrame* frame = nullptr;
    RwCamera* camera = nullptr;
    RwRaster* colour = nullptr;
    RwRaster* depth = nullptr;
};
