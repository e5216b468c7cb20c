// The game's engine host started on the Direct3D 9 driver behind a hidden window, working in the built sample
// data: a 320 x 240 camera in a world lit by a grey ambient and a sun from above and behind. The base of the
// tests that draw whole game objects through the host and read the frame back.
#pragma once

#include "RenderSupport.h"

#include "scene/Attachable.h"
#include "scene/ClumpFile.h"
#include "scene/EngineHost.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include "base/ClumpCache.h"
#include "base/Maths.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/tool/png/rtpng.h"
#include "rwsdk/world/baworobj.h"
#include "tests/support/ClumpCache.h"
#include "tests/support/GlDriver.h"
#include "tests/support/HiddenWindow.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class HostView : public ::testing::Test {
protected:
    static constexpr int Width = 320, Height = 240;

    // The window's title, the camera's clip planes and the ambient light's grey level differ from test to
    // test.
    HostView(const char* title, float nearPlane, float farPlane, float ambientGrey)
        : title(title), nearPlane(nearPlane), farPlane(farPlane), ambientGrey(ambientGrey) {}

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow(title, Width, Height, window, hwnd));
        previous = std::filesystem::current_path();
        std::filesystem::current_path(std::string(CORVANE_BINARY_DIR) + "/data");
        ASSERT_TRUE(Rw::StartEngine(4096, 0, hwnd, 0, 0));
        TestSupport::PinGlDriver();
        RwImageRegisterImageFormat("png", RtPNGImageRead, RtPNGImageWrite);
        RwImageSetPath("Data/Textures/");
        Base::ClumpCache::Directory = "Data/Models\\";
        Rw::InstallClumpCache();
        camera = new Obj::Camera;
        RwCameraSetRaster(camera->camera, Rw::ColourRaster);
        RwCameraSetZRaster(camera->camera, Rw::DepthRaster);
        RwCameraSetNearClipPlane(camera->camera, nearPlane);
        RwCameraSetFarClipPlane(camera->camera, farPlane);
        const RwV2d view{0.5f, 0.375f};
        RwCameraSetViewWindow(camera->camera, &view);
        world = std::make_unique<Grp::World>();
        ambient = std::make_unique<Obj::Light>(rpLIGHTAMBIENT);
        sun = std::make_unique<Obj::Light>(rpLIGHTDIRECTIONAL);
        const RwRGBAReal grey{ambientGrey, ambientGrey, ambientGrey, 1}, white{0.9f, 0.9f, 0.85f, 1};
        RpLightSetColor(ambient->light, &grey);
        RpLightSetColor(sun->light, &white);
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.at = Base::Normalize3d(RwV3d{0.3f, -0.8f, 0.5f});
        m.right = Base::Normalize3d(Base::CrossProduct(RwV3d{0, 1, 0}, m.at));
        m.up = Base::CrossProduct(m.at, m.right);
        RwMatrixUpdate(&m);
        sun->Transform(&m, rwCOMBINEREPLACE);
        RpWorldAddLight(world->world, ambient->light);
        RpWorldAddLight(world->world, sun->light);
        RpWorldAddCamera(world->world, camera->camera); // the lights are the camera's world's
    }
    void TearDown() override {
        if (world) {
            RpWorldRemoveCamera(world->world, camera->camera);
            RpWorldRemoveLight(world->world, ambient->light);
            RpWorldRemoveLight(world->world, sun->light);
        }
        ambient.reset();
        sun.reset();
        world.reset();
        delete camera;
        TestSupport::RemoveClumpCache();
        Rw::StopEngine();
        std::filesystem::current_path(previous);
        Win32::DetachSdlWindow(hwnd);
        SDL_DestroyWindow(window);
    }

    // The camera at position looking at target, with a level right vector.
    void Look(RwV3d position, RwV3d target) {
        RwV3d at{target.x - position.x, target.y - position.y, target.z - position.z};
        at = Base::Normalize3d(at);
        const RwV3d right = Base::Normalize3d(RwV3d{at.z, 0, -at.x});
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.right = right;
        m.up = Base::CrossProduct(at, right);
        m.at = at;
        m.pos = position;
        RwMatrixUpdate(&m);
        camera->Transform(&m, rwCOMBINEREPLACE);
    }
    // The world's renderables the camera sees, drawn (between the camera's begin and end of update).
    void RenderWorld() {
        const Rw::CameraView* view = camera->GetViewParameters();
        const auto range = Grp::VisibleRange(*view, *world->renderables);
        Grp::RenderVisible(range.begin(), range.end(), nullptr);
    }
    // One frame of the world over a clear sky (0x96B9E1), read back.
    std::vector<uint32_t> DrawOverSky() {
        RwCameraBeginUpdate(camera->camera);
        RwRGBA sky = {150, 185, 225, 255};
        RwCameraClear(camera->camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        Rw::ResetRenderStates();
        RenderWorld();
        RwCameraEndUpdate(camera->camera);
        return RenderSupport::ReadBack();
    }
    // A drawn frame as a PNG beside the test, for a look.
    void Save(const std::vector<uint32_t>& pixels, const char* name) const {
        RenderSupport::SavePng(pixels, Width, Height, previous / name);
    }

    const char* title;
    float nearPlane, farPlane, ambientGrey;
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    std::filesystem::path previous;
    Obj::Camera* camera = nullptr;
    std::unique_ptr<Grp::World> world;
    std::unique_ptr<Obj::Light> ambient, sun;
};
