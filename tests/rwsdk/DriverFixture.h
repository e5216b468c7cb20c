// A started engine on the Direct3D 9 driver, drawing into a hidden window, with a camera on the frame buffer.
#pragma once

#include "platform/d3d9/Control.h"
#include "tests/support/CameraRasters.h"
#include "tests/support/GlDriver.h"
#include "tests/support/ReadBack.h"
#include "tests/support/HiddenWindow.h"
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
    // Bytes of the engine's resource arena (room for instance data; none by default).
    virtual RwUInt32 ResourceArena() const { return 0; }
    // Between the engine's initialisation and its opening: the plugins a test needs (none by default).
    virtual void AttachPlugins() {}

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow("driver", Width, Height, window, hwnd));
        ASSERT_TRUE(RwEngineSetDriver(RwD3D9DeviceRecordGet, RwD3D9RasterPluginAttach));
        ASSERT_TRUE(RwEngineInit(MemoryFunctions(), InitFlags(), ResourceArena()));
        AttachPlugins();
        if (HasFatalFailure())
            return;
        RwEngineOpenParams params = {hwnd};
        ASSERT_TRUE(RwEngineOpen(&params));
        ASSERT_TRUE(RwEngineSetVideoMode(VideoMode()));
        ASSERT_TRUE(RwEngineStart());
        ASSERT_NE(RwD3D9Device, nullptr);
        PinGlDriver();
        camera = TestSupport::CreateCamera(Width, Height, frame, colour, depth);
        ASSERT_NE(colour, nullptr);
        ASSERT_NE(depth, nullptr);
    }

    // The GL driver's own leaks are suppressed by library name: keep its libraries loaded to the end so that
    // the names are still known when the leak check runs.
    static void PinGlDriver() { TestSupport::PinGlDriver(); }

    void TearDown() override {
        TestSupport::DestroyCamera(camera, frame, colour, depth);
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
        return TestSupport::ReadRenderTarget(width, height);
    }

    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    RwFrame* frame = nullptr;
    RwCamera* camera = nullptr;
    RwRaster* colour = nullptr;
    RwRaster* depth = nullptr;
};
