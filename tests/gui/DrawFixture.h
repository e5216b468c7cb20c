// The drawing tests' fixture: the engine started on a hidden window over the sample data tree, a camera to
// draw into, and the frame read back as a picture. Set GUI_TEST_IMAGES to a directory to keep the pictures
// as PPM files.
#pragma once

#include "base/FontCache.h"
#include "tests/support/CameraRasters.h"
#include "tests/support/GlDriver.h"
#include "tests/support/ReadBack.h"
#include "tests/support/HiddenWindow.h"
#include "base/InfoCache.h"
#include "gui/draw/Font.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/texture.h"
#include "scene/EngineHost.h"

#include <SDL.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace GuiTest {

namespace fs = std::filesystem;

constexpr int Width = 256, Height = 192;

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> argb;
    uint32_t At(int x, int y) const { return argb[size_t(y) * size_t(width) + size_t(x)] & 0xFFFFFF; }
    int Brightness(int x, int y) const {
        uint32_t c = At(x, y);
        return int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF);
    }
};

struct InkBox {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    bool Empty() const { return right < 0; }
};

class Draw : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(
            TestSupport::OpenHiddenWindow("gui", windowWidth, windowHeight, window, hwnd));
        ASSERT_TRUE(Rw::StartEngine(4096, 0, hwnd, 0, 0));
        Rw::RegisterImageFormats();
        previous = fs::current_path();
        fs::current_path(fs::path(CORVANE_BINARY_DIR) / "data");
        RwImageSetPath("Data\\Textures\\");
        Base::FontCache::Directory = "Data\\Fonts";
        Gui::Font::InstallCache();
        frame = RwFrameCreate();
        camera = RwCameraCreate();
        RwCameraSetFrame(camera, frame);
        RwCameraSetRaster(camera, Rw::ColourRaster);
        RwCameraSetZRaster(camera, Rw::DepthRaster);
        const RwV2d viewWindow = {0.5f, 0.375f};
        RwCameraSetViewWindow(camera, &viewWindow);
        RwCameraSetNearClipPlane(camera, 0.1f);
        RwCameraSetFarClipPlane(camera, 100.0f);
    }

    void TearDown() override {
        Base::FontCache::Clear();
        Base::InfoCache::Clear();                  // the font descriptions
        TestSupport::DestroyCamera(camera, frame); // the rasters are the engine host's
        RwTextureSetReadCallback(Rw::DefaultTextureRead);
        Rw::ImageFormatsRegistered = false;
        Rw::StopEngine();
        TestSupport::PinGlDriver();
        Win32::DetachSdlWindow(hwnd);
        SDL_DestroyWindow(window);
        if (!previous.empty())
            fs::current_path(previous);
    }

    // Clears the frame and opens the camera for drawing.
    void Begin(RwRGBA background = {16, 24, 40, 255}) {
        ASSERT_NE(RwCameraBeginUpdate(camera), nullptr);
        RwCameraClear(camera, &background, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        Rw::ResetRenderStates();
    }

    Picture End(const char* name) {
        RwCameraEndUpdate(camera);
        Picture picture;
        unsigned width = 0, height = 0;
        picture.argb = TestSupport::ReadRenderTarget(width, height);
        picture.width = int(width);
        picture.height = int(height);
        if (const char* dir = std::getenv("GUI_TEST_IMAGES")) {
            std::ofstream file(std::string(dir) + "/" + name + ".ppm", std::ios::binary);
            file << "P6\n" << picture.width << ' ' << picture.height << "\n255\n";
            for (uint32_t c : picture.argb) {
                const char rgb[3] = {char((c >> 16) & 0xFF), char((c >> 8) & 0xFF), char(c & 0xFF)};
                file.write(rgb, 3);
            }
        }
        return picture;
    }

    // The box of pixels brighter than the threshold (sum of channels) inside a region.
    static InkBox Ink(const Picture& p, int x0, int y0, int x1, int y1, int threshold) {
        InkBox box;
        for (int y = std::max(0, y0); y < std::min(p.height, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(p.width, x1); ++x)
                if (p.Brightness(x, y) > threshold) {
                    box.left = std::min(box.left, x);
                    box.top = std::min(box.top, y);
                    box.right = std::max(box.right, x);
                    box.bottom = std::max(box.bottom, y);
                }
        return box;
    }

    // A fixture that needs a larger picture sets these before SetUp.
    int windowWidth = Width, windowHeight = Height;
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    RwFrame* frame = nullptr;
    RwCamera* camera = nullptr;
    fs::path previous;
};

} // namespace GuiTest
