// A sample truck broken into a wreck and drawn on the Direct3D 9 driver through the game's engine host: the
// pieces spread from where the truck stood, both faces of the cut shells show, culling is back on after the
// draw, and the frame is written for a look (WreckView.png).
#include "objects/Model.h"
#include "objects/Wreck.h"
#include "RenderSupport.h"
#include "scene/Attachable.h"
#include "scene/ClumpFile.h"
#include "scene/EngineHost.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include "base/ClumpCache.h"
#include "base/Info.h"
#include "base/Random.h"
#include "base/SmartPtr.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/world/baworobj.h"
#include "rwsdk/tool/png/rtpng.h"
#include "tests/support/GlDriver.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Width = 320, Height = 240;

class WreckRender : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window = SDL_CreateWindow("wreck", 0, 0, Width, Height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        ASSERT_NE(window, nullptr);
        hwnd = Win32::AttachSdlWindow(window);
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
        RwCameraSetNearClipPlane(camera->camera, 0.5f);
        RwCameraSetFarClipPlane(camera->camera, 2000);
        const RwV2d window{0.5f, 0.375f};
        RwCameraSetViewWindow(camera->camera, &window);
        world = std::make_unique<Grp::World>();
        // Daylight: a grey ambient and a sun from above and behind the camera.
        ambient = std::make_unique<Obj::Light>(rpLIGHTAMBIENT);
        sun = std::make_unique<Obj::Light>(rpLIGHTDIRECTIONAL);
        const RwRGBAReal grey{0.4f, 0.4f, 0.4f, 1}, white{0.9f, 0.9f, 0.85f, 1};
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
        Base::ClumpCache::Clear();
        Base::ClumpCache::Read = nullptr;
        Base::ClumpCache::Clone = nullptr;
        Base::ClumpCache::Destroy = nullptr;
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
    std::vector<uint32_t> Draw() {
        RwCameraBeginUpdate(camera->camera);
        RwRGBA sky = {150, 185, 225, 255};
        RwCameraClear(camera->camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        Rw::ResetRenderStates();
        const Rw::CameraView* view = camera->GetViewParameters();
        const auto range = Grp::VisibleRange(*view, *world->renderables);
        Grp::RenderVisible(range.begin(), range.end(), nullptr);
        RwUInt32 cull = 0;
        RwRenderStateGet(rwRENDERSTATECULLMODE, &cull);
        EXPECT_EQ(cull, uint32_t(rwCULLMODECULLBACK));
        RwCameraEndUpdate(camera->camera);
        return RenderSupport::ReadBack();
    }
    void Save(const std::vector<uint32_t>& pixels, const char* name) const {
        RenderSupport::SavePng(pixels, Width, Height, previous / name);
    }
    static int Covered(const std::vector<uint32_t>& pixels, int x0, int x1) {
        int count = 0;
        for (int y = 0; y < Height; ++y)
            for (int x = x0; x < x1; ++x)
                count += (pixels[size_t(y) * Width + size_t(x)] & 0xFFFFFF) != 0x96B9E1;
        return count;
    }

    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    std::filesystem::path previous;
    Obj::Camera* camera = nullptr;
    std::unique_ptr<Grp::World> world;
    std::unique_ptr<Obj::Light> ambient, sun;
};

TEST_F(WreckRender, ATruckBreaksAndItsPiecesShow) {
    Base::Info info;
    ASSERT_EQ(info.LoadFile("Data/Models/Truck.info"), 0);
    auto model = std::make_unique<Obj::Model>();
    ASSERT_TRUE(model->Load(&info));
    world->AddObject(model.get());
    Look({0, 6, -16}, {0, 1, 0});
    const std::vector<uint32_t> whole = Draw();
    const int truck = Covered(whole, 0, Width);
    EXPECT_GT(truck, Width * Height / 50);

    // Broken as a destroyed car breaks it (depth 1, pieces up to 1.0, 200 s), a little harder so that the
    // pieces spread in a few frames, then the truck taken away.
    Base::Random::Seed(26);
    auto* wreck = new Obj::Wreck;
    wreck->CreateFromModel(model.get(), {0, 0, 0}, 1, 1.0f, 10, 1.0f);
    ASSERT_GE(wreck->Fragments().size(), 2u);
    world->RemoveObject(model.get());
    model.reset();
    Base::SmartPtr<Obj::Wreck> watched(wreck);
    world->AddObject(wreck);
    for (int f = 0; f < 10; ++f) {
        world->time->time += 1 / 30.0f;
        world->time->step = 1 / 30.0f;
        Grp::RunGroup(*world->runnables);
    }
    ASSERT_TRUE(watched);
    const std::vector<uint32_t> pieces = Draw();

    Save(pieces, "WreckView.png");
    Save(whole, "WreckWhole.png");

    // The pieces show, spread wider than the truck stood.
    const int covered = Covered(pieces, 0, Width);
    EXPECT_GT(covered, truck / 4);
    auto spread = [](const std::vector<uint32_t>& p) {
        int left = Width, right = -1;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                if ((p[size_t(y) * Width + size_t(x)] & 0xFFFFFF) != 0x96B9E1) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        return right - left;
    };
    EXPECT_GT(spread(pieces), spread(whole));
}

} // namespace
