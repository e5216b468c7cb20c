// An engine started on a hidden window with a 320 x 240 camera, working in the built sample data: the base
// of the tests that draw the world's objects and read the frame back.
#pragma once

#include "RenderSupport.h"

#include "tests/support/CameraRasters.h"
#include "tests/support/GlDriver.h"
#include "tests/support/HiddenWindow.h"

#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/nulldevice.h"
#include "rwsdk/tool/png/rtpng.h"

#include <SDL.h>
#include <d3d9.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class OffscreenCamera : public ::testing::Test {
protected:
    static constexpr int Width = 320, Height = 240;

    void StartCamera(const char* title, RwV2d viewWindow) {
        ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow(title, Width, Height, window, hwnd));
        ASSERT_TRUE(RwEngineSetDriver(RwD3D9DeviceRecordGet, RwD3D9RasterPluginAttach));
        ASSERT_TRUE(RwEngineInit(nullptr, 0, resourceArena));
        AttachPlugins();
        RwEngineOpenParams params = {hwnd};
        ASSERT_TRUE(RwEngineOpen(&params));
        ASSERT_TRUE(RwEngineSetVideoMode(0));
        ASSERT_TRUE(RwEngineStart());
        TestSupport::PinGlDriver();
        camera = TestSupport::CreateCamera(Width, Height, frame, colour, depth);
        RwCameraSetNearClipPlane(camera, 5);
        RwCameraSetFarClipPlane(camera, 30000);
        RwCameraSetViewWindow(camera, &viewWindow);

        previous = std::filesystem::current_path();
        std::filesystem::current_path(std::string(CORVANE_BINARY_DIR) + "/data");
        RwImageRegisterImageFormat("png", RtPNGImageRead, RtPNGImageWrite);
        RwImageSetPath("Data/Textures/");
    }

    // Between the engine's initialisation and its opening: the plugins a test needs (none by default).
    virtual void AttachPlugins() {}
    // Bytes of the engine's resource arena: room for instanced models when a test draws them.
    RwUInt32 resourceArena = 0;

    void StopCamera() {
        std::filesystem::current_path(previous);
        TestSupport::DestroyCamera(camera, frame, colour, depth);
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
        RwEngineSetDriver(RwNullDeviceRecordGet, RwNullDeviceAttach);
        Win32::DetachSdlWindow(hwnd);
        SDL_DestroyWindow(window);
    }

    // The camera at position, looking along at (made unit), with a level right vector.
    void Look(RwV3d position, RwV3d at) {
        const float l = std::sqrt(at.x * at.x + at.y * at.y + at.z * at.z);
        at = {at.x / l, at.y / l, at.z / l};
        RwV3d right{at.z, 0, -at.x}; // up x at with up = (0, 1, 0)
        const float r = std::sqrt(right.x * right.x + right.z * right.z);
        right = {right.x / r, 0, right.z / r};
        const RwV3d up{at.y * right.z - at.z * right.y, at.z * right.x - at.x * right.z,
                       at.x * right.y - at.y * right.x};
        RwMatrix* m = RwFrameGetMatrix(frame);
        m->right = right;
        m->up = up;
        m->at = at;
        m->pos = position;
        RwMatrixUpdate(m);
        RwFrameUpdateObjects(frame);
    }

    // The frame last drawn, as 0xAARRGGBB rows from the top.
    static std::vector<uint32_t> ReadBack() { return RenderSupport::ReadBack(); }
    // A drawn frame as a PNG beside the test, for a look.
    void SavePng(const std::vector<uint32_t>& pixels, const char* name) const {
        RenderSupport::SavePng(pixels, Width, Height, previous / name);
    }

    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    RwFrame* frame = nullptr;
    RwCamera* camera = nullptr;
    RwRaster *colour = nullptr, *depth = nullptr;
    std::filesystem::path previous;
};
