// A scripted flight over the sample world seen through each camera in turn, switched with the game's camera
// keys, on the fixed clock; each view is drawn on the software rasteriser, checked for a sky and a ground in
// it, and kept as a PNG beside the test (camera_<kind>.png). The airplanes have their cockpits with the HUD
// and their weapon stores, as the game makes them; the cockpit view carries the HUD in each weapon mode of
// the stores (hud_<mode>.png).
#include "tests/cameras/CameraRig.h"
#include "tests/objects/RenderSupport.h"
#include "tests/rig/ScriptedInput.h"
#include "tests/support/DeviceCalls.h"
#include "tests/support/GlDriver.h"
#include "tests/support/HiddenWindow.h"

#include "cameras/CamerasManager.h"
#include "cameras/SceneLights.h"
#include "cockpit/Cockpit.h"
#include "frontend/Flyover.h"
#include "hud/Hud.h"
#include "weapons/AirplaneGun.h"
#include "weapons/Stores.h"

#include "aircraft/Airplane.h"
#include "base/AsyncLoader.h"
#include "base/ClumpCache.h"
#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/InfoCache.h"
#include "base/TextTable.h"
#include "gui/draw/Font.h"
#include "platform/d3d9/Control.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/camera.h"
#include "scene/ClumpFile.h"
#include "scene/EngineHost.h"
#include "scene/StreamedTexture.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

class Pilot : public Obj::Object, public Obj::Frame {};

class CameraViews : public ::testing::Test {
protected:
    static constexpr int Width = 480, Height = 360;
    static constexpr double Step = 0.0625;

    void SetUp() override {
        output = std::filesystem::current_path();
        const std::filesystem::path data = std::filesystem::path(CORVANE_BINARY_DIR) / "data";
        ASSERT_TRUE(std::filesystem::exists(data / "Data" / "Convoys1.info"))
            << "build the sample_data target";
        std::filesystem::current_path(data);
        ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow("camera views", Width, Height, window, hwnd));
        Base::Info strings;
        ASSERT_EQ(strings.LoadFile("Data/Strings.info"), 0);
        ASSERT_TRUE(Rw::StartEngine(8192, 0, hwnd, 0, 0));
        TestSupport::PinGlDriver();
        Base::TextTable = strings;
        Base::ClumpCache::Directory = Base::GetText("ModelsDir");
        RwImageSetPath(Base::GetText("TexturesDir").c_str());
        Rw::InstallClumpCache();
        Rw::InstallStreamedTextures();
        Base::AsyncLoader::Start();
        Rw::RegisterImageFormats();
        Lights::InstallSkyLights();
        Gui::Font::InstallCache();
        Base::FontCache::Directory = Base::GetText("FontsDir");
        Base::AnimationCache::Directory = Base::GetText("AnimationsDir");
        Rw::InstallAnimationCache();
        Cockpit::RegisterCockpit();
        Hud::RegisterHud();
        ASSERT_TRUE(Weapons::InstallStores());
        ASSERT_TRUE(Weapons::InstallAirplaneGun());
        Base::FrameClock::SetFixedStep(Step, 0);
    }
    void TearDown() override {
        Obj::Airplane::CreateCockpit = nullptr;
        Obj::Airplane::CreateStores = nullptr;
        Obj::Airplane::CreateGun = nullptr;
        Obj::Airplane::RefillGun = nullptr;
        Cockpit::Cockpit::CreateHud = nullptr;
        Base::FrameClock::SetFixedStep(0);
        Base::AsyncLoader::Stop();
        Base::FontCache::Clear();
        Base::AnimationCache::Clear();
        Base::ClumpCache::Clear();
        Base::InfoCache::Clear();
        Base::TextTable = Base::Info();
        Rw::StopEngine();
        std::filesystem::current_path(output);
        if (hwnd)
            Win32::DetachSdlWindow(hwnd);
        if (window)
            SDL_DestroyWindow(window);
    }

    // The frame as a game draws it through the current camera: the cockpit with its HUD on the cockpit
    // camera.
    void Draw(Cameras::Basic* camera) {
        RwRGBA black{0, 0, 0, 255};
        RwCameraClear(camera->camera, &black, rwCAMERACLEARIMAGE | rwCAMERACLEARZ | rwCAMERACLEARSTENCIL);
        ASSERT_TRUE(RwCameraBeginUpdate(camera->camera));
        Rw::ResetRenderStates();
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
        const Rw::CameraView* view = camera->GetViewParameters();
        const auto range = Grp::VisibleRange(*view, *world->renderables);
        Grp::RenderVisible(range.begin(), range.end(), camera);
        RwCameraEndUpdate(camera->camera);
    }
    // The last frame kept for a look; true when it shows sky above and something else below.
    void Keep(const std::string& name) {
        const std::vector<uint32_t> pixels = RenderSupport::ReadBack();
        RenderSupport::SavePng(pixels, Width, Height, output / (name + ".png"));
        uint32_t distinct = 0, previous = 0;
        for (uint32_t p : pixels)
            if ((p & 0xFFFFFF) != previous) {
                ++distinct;
                previous = p & 0xFFFFFF;
            }
        EXPECT_GT(distinct, 200u) << name << ": an empty frame";
    }

    // The airplane's cockpit and the HUD made for it.
    static Cockpit::Cockpit* CockpitOf(Obj::Airplane* airplane) {
        return dynamic_cast<Cockpit::Cockpit*>(airplane->cockpit.get());
    }
    static Hud::Hud* HudOf(Obj::Airplane* airplane) {
        Cockpit::Cockpit* cockpit = CockpitOf(airplane);
        return cockpit ? dynamic_cast<Hud::Hud*>(cockpit->hud) : nullptr;
    }

    std::filesystem::path output;
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    Grp::World* world = nullptr;
};

} // namespace

TEST_F(CameraViews, AScriptedFlightThroughEachCamera) {
    Fe::Flyover flyover;
    ASSERT_TRUE(flyover.Start(Base::Config{}, 1));
    world = flyover.World();
    RwV3d start, at;
    Fe::Flyover::PathPoint(20, start, at);

    Rig::ScriptedInput input(false);
    auto keyboard = std::make_unique<Input::Keyboard>();
    world->keyboard = keyboard.get();

    auto* airplane = new Obj::Airplane;
    ASSERT_TRUE(airplane->Load("Data/Models/Airplanes/F16", 2));
    airplane->Place(start.x, start.z, start.y + 150, Base::HeadingDegrees2d({at.x, at.z}), 180);
    ASSERT_NE(HudOf(airplane), nullptr);
    world->AddObject(airplane);
    auto* pilot = new Pilot;
    world->AddObject(pilot);
    pilot->AttachTo(airplane, airplane->frame, false);

    SPlr::CamerasManager manager;
    manager.CreateCameras(world);
    manager.SetPlayer(pilot);

    // What the player does, and when each view is kept.
    ASSERT_TRUE(input.script.Parse("2 keyboard press F1\n"      // the cockpit
                                   "40 keyboard press F2\n"     // the outside camera...
                                   "44 keyboard down NUMPAD4\n" // ...swung round to the side
                                   "56 keyboard up NUMPAD4\n"
                                   "80 keyboard press F3\n"     // the fly-by camera
                                   "120 keyboard down LSHIFT\n" // the free camera at that view
                                   "120 keyboard down LCONTROL\n"
                                   "121 keyboard press F2\n"
                                   "123 keyboard up LSHIFT\n"
                                   "123 keyboard up LCONTROL\n"
                                   "124 keyboard down LEFT\n" // turning
                                   "130 keyboard up LEFT\n"));
    const struct {
        uint32_t frame;
        const char* name;
        Cameras::Basic* camera;
    } keeps[] = {{38, "camera_cockpit", manager.cockpit},
                 {78, "camera_outside", manager.outside},
                 {118, "camera_flyby", manager.flyBy},
                 {158, "camera_free", manager.free},
                 {200, "camera_crash", manager.crash}};
    uint32_t frame = 0;
    for (const auto& keep : keeps) {
        for (; frame <= keep.frame; ++frame) {
            input.BeginFrame(frame);
            const float before = world->time->time;
            Base::FrameClock::Tick();
            world->time->Advance(Base::FrameClock::FrameTime);
            keyboard->PollAndAcquire();
            manager.HandleKeys(keyboard.get());
            if (frame == 160) {
                // The airplane is lost: the crash camera circles where it was.
                world->RemoveObject(airplane);
                delete airplane;
                airplane = nullptr;
            }
            Grp::SimulateGroup(*world->simulateables, before, world->time->time);
            Grp::RunGroup(*world->runnables);
            Draw(manager.current);
        }
        EXPECT_EQ(manager.current, keep.camera) << keep.name;
        Keep(keep.name);
    }
    world->keyboard = nullptr;
    flyover.Stop();
    keyboard.reset();
}

// The HUD in each weapon mode of the airplane's stores over the sample world, with a radar target ahead, a
// navigation point and a threat; the glass is masked in the stencil buffer first and every state the HUD
// changes is put back.
TEST_F(CameraViews, TheHudInEachWeaponMode) {
    Fe::Flyover flyover;
    ASSERT_TRUE(flyover.Start(Base::Config{}, 1));
    world = flyover.World();
    RwV3d start, at;
    Fe::Flyover::PathPoint(20, start, at);
    const float heading = Base::HeadingDegrees2d({at.x, at.z});

    auto* airplane = new Obj::Airplane;
    ASSERT_TRUE(airplane->Load("Data/Models/Airplanes/F16", 2));
    airplane->Place(start.x, start.z, start.y + 150, heading, 180);
    Cockpit::Cockpit* cockpit = CockpitOf(airplane);
    Hud::Hud* hud = HudOf(airplane);
    ASSERT_NE(hud, nullptr);
    world->AddObject(airplane);
    Weapons::Stores* stores = Weapons::Stores::Of(airplane);
    ASSERT_NE(stores, nullptr);
    ASSERT_TRUE(stores->LoadSetup("AirToGround"));
    auto* enemy = new Obj::Airplane;
    ASSERT_TRUE(enemy->Load("Data/Models/Airplanes/Mig29", 1));
    enemy->Place(start.x + 600 * at.x, start.z + 600 * at.z, start.y + 175, heading + 20, 150);
    enemy->name = "Mig-29";
    enemy->allegiance = Obj::Enemy;
    world->AddObject(enemy);
    cockpit->SetRadarTarget(1, enemy);
    cockpit->AddNavpoint(0, "Base", start.x + 9000 * at.x + 4000 * at.z, start.z + 9000 * at.z - 4000 * at.x);
    cockpit->SetCurrentNavpoint(0);
    auto* missileSite = new Marker;
    missileSite->MoveTo({start.x - 3000 * at.z, 0, start.z + 3000 * at.x});
    world->AddObject(missileSite);

    SPlr::CamerasManager manager;
    manager.CreateCameras(world);
    manager.SetTarget(airplane);
    manager.SetCurrentCamera(manager.cockpit);

    const struct {
        const char* name;
        int rack; // -1 the gun
        Hud::Mode mode;
    } modes[] = {{"hud_gun", -1, Hud::Mode::GunSight},
                 {"hud_air_to_air", 0, Hud::Mode::AirToAir},
                 {"hud_rockets", 4, Hud::Mode::AirToGround},
                 {"hud_bomb", 2, Hud::Mode::Bomb}};
    for (const auto& m : modes) {
        if (m.rack < 0)
            stores->SelectGun();
        else
            stores->SelectRack(uint8_t(m.rack));
        for (int i = 0; i < 8; ++i) {
            Base::FrameClock::Tick();
            const float before = world->time->time;
            world->time->Advance(Base::FrameClock::FrameTime);
            manager.HandleKeys(nullptr);
            cockpit->ReportThreat(missileSite, 1);
            Grp::SimulateGroup(*world->simulateables, before, world->time->time);
            Grp::RunGroup(*world->runnables);
            Draw(manager.current);
        }
        EXPECT_EQ(hud->modes.mode, m.mode) << m.name;
        EXPECT_EQ(cockpit->GetRadarTarget(), enemy);
        Keep(m.name);
    }

    // The draw, recorded: the glass quad written to the stencil buffer with colour and depth writes off, then
    // the symbology where the stencil holds 1; afterwards every state as it was.
    const uint32_t states[] = {D3DRS_ZENABLE,          D3DRS_ZWRITEENABLE, D3DRS_COLORWRITEENABLE,
                               D3DRS_STENCILENABLE,    D3DRS_STENCILFUNC,  D3DRS_STENCILPASS,
                               D3DRS_STENCILREF,       D3DRS_STENCILMASK,  D3DRS_STENCILWRITEMASK,
                               D3DRS_ALPHABLENDENABLE, D3DRS_LIGHTING,     D3DRS_CULLMODE};
    ASSERT_TRUE(RwCameraBeginUpdate(manager.cockpit->camera));
    uint32_t before[std::size(states)];
    for (size_t i = 0; i < std::size(states); ++i)
        before[i] = Rw::RenderStateInForce(states[i]);
    D3D9::SetCallLogging(RwD3D9Device, true);
    D3D9::TakeCallLog(RwD3D9Device);
    hud->Render(manager.cockpit);
    const std::vector<std::string> log = D3D9::TakeCallLog(RwD3D9Device);
    D3D9::SetCallLogging(RwD3D9Device, false);
    if (std::getenv("HUD_LOG"))
        for (const std::string& line : log)
            std::fprintf(stderr, "%s\n", line.c_str());
    for (size_t i = 0; i < std::size(states); ++i)
        EXPECT_EQ(Rw::RenderStateInForce(states[i]), before[i]) << states[i];
    RwCameraEndUpdate(manager.cockpit->camera);
    const auto find = [&log](const std::string& line, size_t from = 0) {
        for (size_t i = from; i < log.size(); ++i)
            if (log[i] == line)
                return i;
        return log.size();
    };
    using DeviceCalls::RenderState;
    const size_t mask = find(RenderState(D3DRS_COLORWRITEENABLE, 0));
    ASSERT_LT(mask, log.size());
    // The engine's state cache sends only changes: a state already in force does not show in the log.
    for (const std::string& line :
         {RenderState(D3DRS_STENCILENABLE, TRUE), RenderState(D3DRS_STENCILPASS, D3DSTENCILOP_REPLACE),
          RenderState(D3DRS_STENCILREF, 1), RenderState(D3DRS_ZWRITEENABLE, FALSE)})
        EXPECT_LT(find(line), mask + 8) << line;
    EXPECT_TRUE(find(RenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS)) < log.size() ||
                before[4] == D3DCMP_ALWAYS);
    const size_t quad = find(DeviceCalls::DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, 24), mask);
    const size_t open = find(RenderState(D3DRS_COLORWRITEENABLE, 15), quad);
    const size_t equal = find(RenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL), quad);
    const size_t keep = find(RenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP), quad);
    size_t lines = quad;
    const std::string lineDraw = DeviceCalls::DrawOf("DrawPrimitiveUP", D3DPT_LINELIST);
    while (lines < log.size() && log[lines].rfind(lineDraw, 0) != 0)
        ++lines;
    EXPECT_LT(quad, open);
    EXPECT_LT(open, log.size());
    EXPECT_LT(equal, lines);
    EXPECT_LT(keep, lines);
    ASSERT_LT(lines, log.size());
    flyover.Stop();
}
