// The HUD as the cockpit makes it: an airplane loaded with the cockpit's and the display's makers installed
// gets a display on its cockpit's glass, and a frame drawn through its cockpit camera on the Direct3D 9
// driver shows the symbology on the glass and nothing of it outside the glass's stencil mask. The frame is
// written beside the test for a look (HudOnTheGlass.png).
#include "tests/objects/RenderSupport.h"

#include "cameras/Cameras.h"
#include "cockpit/Cockpit.h"
#include "hud/Hud.h"

#include "aircraft/Airplane.h"
#include "gui/draw/Font.h"
#include "scene/ClumpFile.h"
#include "scene/EngineHost.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include "base/ClumpCache.h"
#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/InfoCache.h"
#include "base/Maths.h"
#include "base/TextTable.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/world/baworobj.h"
#include "tests/support/ClumpCache.h"
#include "tests/support/GlDriver.h"
#include "tests/support/HiddenWindow.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

constexpr int Width = 640, Height = 480;

class HudOnCockpit : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow("hud", Width, Height, window, hwnd));
        previous = std::filesystem::current_path();
        std::filesystem::current_path(std::string(CORVANE_BINARY_DIR) + "/data");
        ASSERT_TRUE(Rw::StartEngine(4096, 0, hwnd, 0, 0));
        TestSupport::PinGlDriver();
        Rw::RegisterImageFormats();
        RwImageSetPath("Data/Textures/");
        Base::ClumpCache::Directory = "Data/Models\\";
        Rw::InstallClumpCache();
        Base::FontCache::Directory = "Data\\Fonts";
        Gui::Font::InstallCache();
        Base::TextTable = Base::InfoCache::Get("Data/Strings.info");
        Cockpit::RegisterCockpit();
        Hud::RegisterHud();
        Cameras::InstallHooks();
        Base::FrameClock::SetFixedStep(0.05, 100.0);

        world = std::make_unique<Grp::World>();
        ambient = std::make_unique<Obj::Light>(rpLIGHTAMBIENT);
        const RwRGBAReal grey{0.7f, 0.7f, 0.7f, 1};
        RpLightSetColor(ambient->light, &grey);
        RpWorldAddLight(world->world, ambient->light);
    }
    void TearDown() override {
        if (world) {
            world->Clear();
            RpWorldRemoveLight(world->world, ambient->light);
        }
        ambient.reset();
        world.reset();
        Cockpit::Cockpit::CreateHud = nullptr;
        Cockpit::Cockpit::ShownAirplane = nullptr;
        Obj::Airplane::CreateCockpit = nullptr;
        Base::FrameClock::SetFixedStep(0);
        Base::TextTable = Base::Info();
        Base::FontCache::Clear();
        Base::InfoCache::Clear();
        TestSupport::RemoveClumpCache();
        Rw::StopEngine();
        std::filesystem::current_path(previous);
        Win32::DetachSdlWindow(hwnd);
        SDL_DestroyWindow(window);
    }

    Obj::Airplane* Flying(const char* title, float height, float speed) {
        auto* airplane = new Obj::Airplane;
        if (!airplane->Load((std::string("Data/Models/Airplanes/") + title).c_str(),
                            Obj::Airplane::NullModel)) {
            delete airplane;
            ADD_FAILURE() << title;
            return nullptr;
        }
        airplane->Place(0, 0, height, 0, speed);
        world->AddObject(airplane);
        return airplane;
    }
    // The pilot's eye in the airplane, as the game sets it up.
    Cameras::Cockpit* EyeIn(Obj::Airplane* airplane) {
        auto* camera = new Cameras::Cockpit;
        RwCameraSetRaster(camera->camera, Rw::ColourRaster);
        RwCameraSetZRaster(camera->camera, Rw::DepthRaster);
        RwCameraSetNearClipPlane(camera->camera, 1.0f);
        RwCameraSetFarClipPlane(camera->camera, 20000.0f);
        const RwV2d view{camera->camera->viewWindow.x, camera->camera->viewWindow.x * Height / Width};
        RwCameraSetViewWindow(camera->camera, &view);
        world->AddObject(camera);
        camera->target = airplane;
        camera->SetActive(true);
        return camera;
    }
    void Run(int frames) {
        for (int i = 0; i < frames; ++i) {
            Base::FrameClock::Tick();
            world->time->step = 0.05f;
            world->time->time += 0.05f;
            Grp::RunGroup(*world->runnables);
        }
    }
    std::vector<uint32_t> Draw(Cameras::Basic* camera) {
        RwCameraBeginUpdate(camera->camera);
        RwRGBA sky = {120, 165, 220, 255};
        RwCameraClear(camera->camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ | rwCAMERACLEARSTENCIL);
        Rw::ResetRenderStates();
        const Rw::CameraView* view = camera->GetViewParameters();
        const auto range = Grp::VisibleRange(*view, *world->renderables);
        Grp::RenderVisible(range.begin(), range.end(), camera);
        RwCameraEndUpdate(camera->camera);
        return RenderSupport::ReadBack();
    }

    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    std::filesystem::path previous;
    std::unique_ptr<Grp::World> world;
    std::unique_ptr<Obj::Light> ambient;
};

TEST_F(HudOnCockpit, EveryCockpitGetsItsDisplayOnTheGlass) {
    Obj::Airplane* own = Flying("F16", 3000, 200);
    ASSERT_NE(own, nullptr);
    auto* cockpit = dynamic_cast<Cockpit::Cockpit*>(own->cockpit.get());
    ASSERT_NE(cockpit, nullptr);
    ASSERT_TRUE(cockpit->loaded);
    auto* hud = dynamic_cast<Hud::Hud*>(cockpit->hud);
    ASSERT_NE(hud, nullptr);
    EXPECT_TRUE(hud->glass);
    EXPECT_EQ(hud->airplane, own);
    EXPECT_EQ(hud->GetParent(), cockpit);
    EXPECT_EQ(hud->world, world.get()) << "enters the world with its cockpit";
    // The glass only places the display: it has left the model.
    EXPECT_EQ(cockpit->FindAtomic("HUD"), nullptr);
    // The sample glass: 0.26 wide and 0.24 high, leaning back by 0.3 rad, its centre at (0, 1.09, 4.9) of
    // the cockpit; HUD coordinates (+/-1, +/-1) are its corners.
    const RwMatrix& placed = hud->frame->modelling;
    EXPECT_NEAR(placed.right.x, 0.13f, 1e-5f);
    EXPECT_NEAR(placed.up.y, 0.12f * std::cos(0.3f), 1e-5f);
    EXPECT_NEAR(placed.pos.x, 0, 1e-5f);
    EXPECT_NEAR(placed.pos.y, 1.09f, 1e-5f);
    EXPECT_NEAR(placed.pos.z, 4.9f, 1e-5f);
    // Computer-flown airplanes have theirs too; without the maker a cockpit has none.
    Obj::Airplane* other = Flying("Mig29", 3000, 200);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(dynamic_cast<Hud::Hud*>(dynamic_cast<Cockpit::Cockpit*>(other->cockpit.get())->hud), nullptr);
    Cockpit::Cockpit::CreateHud = nullptr;
    Obj::Airplane* bare = Flying("Su27", 3000, 200);
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(dynamic_cast<Cockpit::Cockpit*>(bare->cockpit.get())->hud, nullptr);
}

TEST_F(HudOnCockpit, DrawnOnTheGlassAndClippedToIt) {
    Obj::Airplane* own = Flying("F16", 3000, 200);
    ASSERT_NE(own, nullptr);
    auto* cockpit = dynamic_cast<Cockpit::Cockpit*>(own->cockpit.get());
    ASSERT_NE(cockpit, nullptr);
    auto* hud = dynamic_cast<Hud::Hud*>(cockpit->hud);
    ASSERT_NE(hud, nullptr);
    Cameras::Cockpit* camera = EyeIn(own);
    Run(5);

    cockpit->hud = nullptr;
    const std::vector<uint32_t> without = Draw(camera);
    cockpit->hud = hud;
    const std::vector<uint32_t> with = Draw(camera);
    RenderSupport::SavePng(with, Width, Height, previous / "HudOnTheGlass.png");
    EXPECT_TRUE(hud->common.ladder.LineCount() > 0 && !hud->texts.empty()) << "the symbology was built";

    // The stencil mask's corners on the screen: the quad (-0.95, -1)-(0.95, 0.95) of the HUD's frame.
    float left = Width, right = 0, top = Height, bottom = 0;
    for (const RwV3d corner :
         {RwV3d{-0.95f, -1, 0}, RwV3d{0.95f, -1, 0}, RwV3d{0.95f, 0.95f, 0}, RwV3d{-0.95f, 0.95f, 0}}) {
        RwV3d at, screen;
        RwVector3TransformPoint(&at, &corner, RwFrameGetWorldMatrix(hud->frame));
        camera->ProjectPoint(&at, &screen);
        left = std::min(left, screen.x), right = std::max(right, screen.x);
        top = std::min(top, screen.y), bottom = std::max(bottom, screen.y);
    }
    ASSERT_GT(right - left, 20) << "the glass is on the screen";
    ASSERT_GT(bottom - top, 20);
    int inside = 0, outside = 0, green = 0;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const size_t i = size_t(y) * Width + size_t(x);
            if ((with[i] & 0xFFFFFF) == (without[i] & 0xFFFFFF))
                continue;
            const bool in = x >= left - 1 && x <= right + 1 && y >= top - 1 && y <= bottom + 1;
            (in ? inside : outside)++;
            green += in && (with[i] & 0xFFFFFF) == 0x00FF00u;
        }
    EXPECT_GT(inside, 300) << "symbology on the glass";
    EXPECT_EQ(outside, 0) << "nothing outside the mask";
    // The lines in the HUD's own opaque green (the texts' edges are blended).
    EXPECT_GT(green, inside / 3) << "in the HUD's green";
}

} // namespace
