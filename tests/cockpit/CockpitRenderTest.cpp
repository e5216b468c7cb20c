// The cockpit drawn on the Direct3D 9 driver through the game's engine host, from the pilot's eye: at rest
// in level flight with the radar showing the computer fighters ahead, then in a turn with the stick over.
// The frames are written beside the test for a look (CockpitAtRest.png, CockpitInTurn.png). The device's
// states are checked to be the same before and after the cockpit draws.
#include "tests/objects/RenderSupport.h"

#include "cockpit/Cockpit.h"
#include "cockpit/Instruments.h"

#include "aircraft/Airplane.h"
#include "gui/draw/Font.h"
#include "objects/AutoGen.h"
#include "pilots/Pilot.h"
#include "weapons/Stores.h"
#include "scene/Attachable.h"
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
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/tool/png/rtpng.h"
#include "rwsdk/world/baworobj.h"
#include "tests/support/ClumpCache.h"
#include "tests/support/GlDriver.h"
#include "tests/support/HiddenWindow.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr int Width = 640, Height = 480;

Obj::Airplane* shown = nullptr;

class CockpitRender : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow("cockpit", Width, Height, window, hwnd));
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
        ASSERT_EQ(Base::GetText("DataDir"), "Data");
        Cockpit::RegisterCockpit();
        Cockpit::Cockpit::ShownAirplane = [](Cameras::Basic*) { return shown; };
        Base::FrameClock::SetFixedStep(0.05, 100.0);

        camera = new Obj::Camera;
        RwCameraSetRaster(camera->camera, Rw::ColourRaster);
        RwCameraSetZRaster(camera->camera, Rw::DepthRaster);
        RwCameraSetNearClipPlane(camera->camera, 1.0f);
        RwCameraSetFarClipPlane(camera->camera, 20000.0f);
        const RwV2d view{0.9f, 0.675f};
        RwCameraSetViewWindow(camera->camera, &view);
        world = std::make_unique<Grp::World>();
        ambient = std::make_unique<Obj::Light>(rpLIGHTAMBIENT);
        sun = std::make_unique<Obj::Light>(rpLIGHTDIRECTIONAL);
        const RwRGBAReal grey{0.5f, 0.5f, 0.5f, 1}, white{0.8f, 0.8f, 0.75f, 1};
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
        RpWorldAddCamera(world->world, camera->camera);
    }
    void TearDown() override {
        RpWorldRemoveCamera(world->world, camera->camera);
        RpWorldRemoveLight(world->world, ambient->light);
        RpWorldRemoveLight(world->world, sun->light);
        ambient.reset();
        sun.reset();
        world.reset();
        shown = nullptr;
        delete camera;
        Cockpit::Cockpit::ShownAirplane = nullptr;
        Obj::Airplane::CreateCockpit = nullptr;
        Obj::Airplane::CreateStores = nullptr;
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

    // The own F16 at 3,000 with its cockpit, shown: null where either is missing.
    Cockpit::Cockpit* OwnCockpit(Obj::Airplane*& own) {
        own = Flying("F16", 0, 0, 3000, 0, Obj::Friendly);
        shown = own;
        return own ? dynamic_cast<Cockpit::Cockpit*>(own->cockpit.get()) : nullptr;
    }

    Obj::Airplane* Flying(const char* title, float x, float z, float height, float heading,
                          Obj::Allegiance side) {
        auto* airplane = new Obj::Airplane;
        if (!airplane->Load((std::string("Data/Models/Airplanes/") + title).c_str(),
                            Obj::Airplane::NullModel)) {
            delete airplane;
            ADD_FAILURE() << title;
            return nullptr;
        }
        airplane->allegiance = side;
        airplane->Place(x, z, height, heading, 200);
        world->AddObject(airplane);
        return airplane;
    }
    // The camera at the cockpit's eye, looking along the airplane's nose pitched down by `down` degrees.
    void LookFromCockpit(Obj::Airplane& airplane, Cockpit::Cockpit& cockpit, float down) {
        RwMatrix m = *RwFrameGetWorldMatrix(airplane.frame);
        const RwV3d axis = Base::Normalize3d(m.right);
        m.up = Base::RotateVectorAroundAxis(m.up, axis, down * 3.14159265f / 180);
        m.at = Base::RotateVectorAroundAxis(m.at, axis, down * 3.14159265f / 180);
        m.pos = cockpit.GetEyePosition();
        RwMatrixUpdate(&m);
        camera->Transform(&m, rwCOMBINEREPLACE);
    }
    void Run(float seconds) {
        for (float t = 0; t < seconds; t += 0.05f) {
            Base::FrameClock::Tick();
            world->time->step = 0.05f;
            world->time->time += 0.05f;
            Grp::RunGroup(*world->runnables);
        }
    }
    std::vector<uint32_t> Draw(RwRGBA sky = {120, 165, 220, 255}) {
        RwCameraBeginUpdate(camera->camera);
        RwCameraClear(camera->camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        Rw::ResetRenderStates();
        const Rw::CameraView* view = camera->GetViewParameters();
        const auto range = Grp::VisibleRange(*view, *world->renderables);
        Grp::RenderVisible(range.begin(), range.end(), nullptr);
        RwCameraEndUpdate(camera->camera);
        return RenderSupport::ReadBack();
    }
    void Save(const std::vector<uint32_t>& pixels, const char* name) const {
        RenderSupport::SavePng(pixels, Width, Height, previous / name);
    }
    // Where a point of the cockpit's frame lands on the screen.
    RwV3d OnScreen(Cockpit::Cockpit& cockpit, RwV3d local) const {
        RwV3d world, screen;
        RwVector3TransformPoint(&world, &local, RwFrameGetWorldMatrix(cockpit.frame));
        camera->ProjectPoint(&world, &screen);
        return screen;
    }
    // Pixels in a box around a screen point that pass the test.
    template <class Test>
    static int Count(const std::vector<uint32_t>& pixels, RwV3d centre, int half, Test test) {
        int n = 0;
        for (int y = int(centre.y) - half; y <= int(centre.y) + half; ++y)
            for (int x = int(centre.x) - half; x <= int(centre.x) + half; ++x)
                if (x >= 0 && y >= 0 && x < Width && y < Height &&
                    test(pixels[size_t(y) * Width + size_t(x)]))
                    ++n;
        return n;
    }
    static bool Green(uint32_t c) {
        const int r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
        return g > 110 && r < 90 && b < 90;
    }

    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    std::filesystem::path previous;
    Obj::Camera* camera = nullptr;
    std::unique_ptr<Grp::World> world;
    std::unique_ptr<Obj::Light> ambient, sun;
};

TEST_F(CockpitRender, AtRestAndInATurnWithTheRadarShowingTheFighters) {
    Obj::Airplane* own = nullptr;
    Cockpit::Cockpit* cockpit = OwnCockpit(own);
    ASSERT_NE(cockpit, nullptr);
    ASSERT_TRUE(cockpit->loaded);
    // Computer fighters ahead, one close enough to see through the windscreen; a wingman beside.
    ASSERT_TRUE(Flying("Mig29", 25, 160, 3012, 30, Obj::Enemy));
    ASSERT_TRUE(Flying("Su27", -6000, 14000, 3500, 200, Obj::Enemy));
    ASSERT_TRUE(Flying("Su27", 9000, 22000, 2500, 160, Obj::Enemy));
    ASSERT_TRUE(Flying("F16", 3000, -2000, 3000, 0, Obj::Friendly));
    cockpit->navpoints->Add(0, "Waypoint", -12000, 25000);
    Run(1.2f);
    EXPECT_EQ(cockpit->radar->contacts.size(), 4u);
    cockpit->SelectRadarTarget(1, 1);
    ASSERT_NE(cockpit->GetRadarTarget(), nullptr);
    Run(0.5f);

    LookFromCockpit(*own, *cockpit, 14);
    const std::vector<uint32_t> rest = Draw();
    Save(rest, "CockpitAtRest.png");
    // The radar's green on its monitor, the dials drawn, the sky above the glare shield.
    const RwV3d monitor = OnScreen(*cockpit, cockpit->radar->matrix.pos);
    EXPECT_GT(Count(rest, monitor, 40, Green), 60);
    const RwV3d adi = OnScreen(*cockpit, cockpit->adi->faceCentre);
    const int sky = Count(rest, adi, 12, [](uint32_t c) { return int(c & 255) > int((c >> 16) & 255) + 40; });
    EXPECT_GT(sky, 60);
    // Level: the ball's sky above its horizon, the ground below.
    auto blue = [](uint32_t c) { return int(c & 255) > int((c >> 16) & 255) + 40; };
    EXPECT_GT(Count(rest, {adi.x, adi.y - 10, 0}, 4, blue), 50);
    EXPECT_LT(Count(rest, {adi.x, adi.y + 10, 0}, 4, blue), 5);
    EXPECT_EQ(rest[10 * Width + Width / 2] & 0xFFFFFF, 0x78A5DCu);

    // Banked 45 degrees to the left, stick over and back: the ball rolls, the stick moves.
    Physics::AirplaneState s = own->GetState();
    const RwV3d bank = Base::RotateVectorAroundAxis(s.up, s.at, -45 * 3.14159265f / 180);
    RwMatrix m = *RwFrameGetWorldMatrix(own->frame);
    m.up = bank;
    m.right = Base::CrossProduct(m.up, m.at);
    RwMatrixUpdate(&m);
    own->Transform(&m, rwCOMBINEREPLACE);
    s = own->GetState();
    s.rollInput = 0.8f;
    s.pitchInput = 0.6f;
    s.throttle = 1.0f;
    own->SetState(s);
    Run(0.1f);
    LookFromCockpit(*own, *cockpit, 14);
    const std::vector<uint32_t> turn = Draw();
    Save(turn, "CockpitInTurn.png");
    const RwV3d adiTurn = OnScreen(*cockpit, cockpit->adi->faceCentre);
    int changed = 0;
    for (int dy = -10; dy <= 10; ++dy)
        for (int dx = -10; dx <= 10; ++dx)
            changed += rest[size_t(int(adi.y) + dy) * Width + size_t(int(adi.x) + dx)] !=
                       turn[size_t(int(adiTurn.y) + dy) * Width + size_t(int(adiTurn.x) + dx)];
    EXPECT_GT(changed, 60);
    // The ball's horizon rises to the left: beside the centre the sky is on the right, the ground on the
    // left.
    EXPECT_GT(Count(turn, {adiTurn.x + 12, adiTurn.y, 0}, 4, blue), 50);
    EXPECT_LT(Count(turn, {adiTurn.x - 12, adiTurn.y, 0}, 4, blue), 5);
    EXPECT_NE(cockpit->joystick->frame->modelling.up.x, cockpit->joystick->restMatrix.up.x);

    // A seated pilot past the blackout limit: the whole view goes black.
    auto* pilot = new Obj::Pilot;
    ASSERT_TRUE(pilot->Load(&Base::InfoCache::Get("Data/Models/Airplanes/Pilot.model")));
    world->AddObject(pilot);
    pilot->SetAirplane(own);
    pilot->blackout = 1;
    const std::vector<uint32_t> dark = Draw();
    for (size_t i : {size_t(0), size_t(Width * Height / 2 + Width / 2), size_t(Width * Height - 1)})
        EXPECT_EQ(dark[i] & 0xFFFFFF, 0u) << i;
}

// The cockpit's shape laid into the depth buffer before the world hides only what its own draw paints over:
// the frame is the same with and without it, a fighter seen past the canopy's frame included.
TEST_F(CockpitRender, TheDepthMaskLeavesTheFrameAsItWas) {
    Obj::Airplane* own = nullptr;
    Cockpit::Cockpit* cockpit = OwnCockpit(own);
    ASSERT_NE(cockpit, nullptr);
    ASSERT_TRUE(Flying("Mig29", 25, 160, 3012, 30, Obj::Enemy));
    ASSERT_TRUE(Flying("Su27", -40, 300, 2990, 0, Obj::Enemy));
    Run(1.0f);
    const int maskOrder = cockpit->maskOrder;
    ASSERT_GE(maskOrder, 0);
    for (const float down : {14.0f, -20.0f}) {
        LookFromCockpit(*own, *cockpit, down);
        Draw(); // the first draw shows how the model's pass is drawn
        ASSERT_NE(cockpit->maskCull, 0u);
        const std::vector<uint32_t> masked = Draw();
        cockpit->maskOrder = -1;
        const std::vector<uint32_t> plain = Draw();
        cockpit->maskOrder = maskOrder;
        size_t differing = 0;
        for (size_t i = 0; i < plain.size(); ++i)
            differing += masked[i] != plain[i];
        EXPECT_EQ(differing, 0u) << down;
    }
}

// The record of the pixels the cockpit's opaque shape paints holds only pixels that its draw paints: over a
// magenta clear with nothing else in view, none of them stays magenta, from three eye directions.
TEST_F(CockpitRender, TheCoverHoldsOnlyPixelsTheCockpitPaints) {
    Obj::Airplane* own = nullptr;
    Cockpit::Cockpit* cockpit = OwnCockpit(own);
    ASSERT_NE(cockpit, nullptr);
    Run(1.0f);
    ASSERT_GE(cockpit->maskOrder, 0);
    const RwRGBA magenta{255, 0, 255, 255};
    for (const float down : {30.0f, 14.0f, -20.0f}) {
        LookFromCockpit(*own, *cockpit, down);
        Draw(magenta);
        const std::vector<uint32_t> frame = Draw(magenta);
        EXPECT_EQ(Grp::screenCover, nullptr); // the frame's record is withdrawn once the cockpit is drawn
        const Grp::ScreenCover& cover = cockpit->cover;
        EXPECT_EQ(cover.camera, camera->camera);
        size_t covered = 0, magentaCovered = 0, painted = 0;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) {
                const bool isMagenta = (frame[size_t(y) * Width + size_t(x)] & 0xFFFFFF) == 0xFF00FF;
                painted += !isMagenta;
                if (cover.Covered(x, y)) {
                    ++covered;
                    magentaCovered += isMagenta;
                }
            }
        EXPECT_EQ(magentaCovered, 0u) << down;
        // Most of what the cockpit paints is in: not its outline's margin, the glass and what is drawn on it.
        EXPECT_GT(covered, painted * 2 / 3) << down;
        EXPECT_EQ(covered, cover.CoveredPixels()) << down;
    }
}

// Generated scenery wholly behind the cockpit's opaque shape is not drawn: the frame is the same with and
// without leaving it out, from three eye directions, and some is left out.
TEST_F(CockpitRender, SceneryWhollyBehindTheCockpitIsLeftOut) {
    Base::Info sets;
    ASSERT_EQ(sets.LoadFile("Data/Autogen1.info"), 0);
    sets.SetFloat("GlobalDensityFactor", 1);
    auto* autogen = new Obj::AutoGen;
    ASSERT_TRUE(autogen->Load(sets));
    autogen->SetGroundProbe([](float, float) { return std::optional(Obj::AutoGen::Ground{0, {0, 1, 0}}); });
    world->AddObject(autogen);
    // Over the conifers of the eastern hills.
    Obj::Airplane* own = Flying("F16", 9000, -1500, 2500, 300, Obj::Friendly);
    ASSERT_NE(own, nullptr);
    auto* cockpit = dynamic_cast<Cockpit::Cockpit*>(own->cockpit.get());
    ASSERT_NE(cockpit, nullptr);
    shown = own;
    Run(0.5f);
    uint32_t leftOut = 0;
    for (const float down : {45.0f, 30.0f, 15.0f}) {
        LookFromCockpit(*own, *cockpit, down);
        Draw();
        cockpit->coverOn = true;
        const std::vector<uint32_t> skipping = Draw();
        const uint32_t covered = autogen->sectorsCovered, drawn = autogen->sectorsDrawn;
        cockpit->coverOn = false;
        const std::vector<uint32_t> plain = Draw();
        cockpit->coverOn = true;
        EXPECT_EQ(autogen->sectorsCovered, 0u);
        // Some are seen past the panel, below it and over it.
        EXPECT_GT(drawn, 0u) << down;
        EXPECT_EQ(autogen->sectorsDrawn, drawn + covered) << down;
        size_t differing = 0;
        for (size_t i = 0; i < plain.size(); ++i)
            differing += skipping[i] != plain[i];
        EXPECT_EQ(differing, 0u) << down;
        leftOut += covered;
    }
    EXPECT_GT(leftOut, 0u);
    // Seen from outside, the same camera gets no record: nothing is left out.
    shown = nullptr;
    Draw();
    EXPECT_EQ(autogen->sectorsCovered, 0u);
    EXPECT_GT(autogen->sectorsDrawn, 0u);
    // A record left over from another view does not fit this one.
    shown = own;
    LookFromCockpit(*own, *cockpit, 30);
    Draw();
    const float eye[3] = {cockpit->cover.eye[0], cockpit->cover.eye[1], cockpit->cover.eye[2]};
    const float look[3] = {cockpit->cover.look[0], cockpit->cover.look[1], cockpit->cover.look[2]};
    EXPECT_TRUE(cockpit->cover.Fits(camera->camera, eye, look));
    const float moved[3] = {eye[0], eye[1] + 0.02f, eye[2]};
    EXPECT_FALSE(cockpit->cover.Fits(camera->camera, moved, look));
    const float turned[3] = {look[0] + 0.001f, look[1], look[2]};
    EXPECT_FALSE(cockpit->cover.Fits(camera->camera, eye, turned));
    EXPECT_FALSE(cockpit->cover.Fits(nullptr, eye, look));
}

TEST_F(CockpitRender, DeviceStatesArePutBack) {
    Obj::Airplane* own = nullptr;
    Cockpit::Cockpit* cockpit = OwnCockpit(own);
    ASSERT_NE(cockpit, nullptr);
    Run(1.1f);
    LookFromCockpit(*own, *cockpit, 14);
    RwCameraBeginUpdate(camera->camera);
    Rw::ResetRenderStates();
    // Values unlike the ones the cockpit sets, so that a forgotten restore shows.
    RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    RwD3D9SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    RwD3D9SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    RwD3D9SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    RwD3D9SetRenderState(D3DRS_LIGHTING, FALSE);
    auto snapshot = [] {
        std::vector<uint32_t> values;
        for (uint32_t state = 0; state < 210; ++state) {
            uint32_t cached = 0;
            RwD3D9GetRenderState(state, &cached);
            values.push_back(cached);
        }
        for (uint32_t stage = 0; stage < 4; ++stage)
            for (uint32_t type = 1; type < 33; ++type) {
                uint32_t cached = 0;
                RwD3D9GetTextureStageState(stage, type, &cached);
                values.push_back(cached);
            }
        return values;
    };
    const std::vector<uint32_t> before = snapshot();
    const float nearClip = camera->camera->nearPlane, farClip = camera->camera->farPlane;
    for (uint8_t order : cockpit->Obj::Renderable::renderOrders)
        cockpit->Render(order, nullptr);
    const std::vector<uint32_t> after = snapshot();
    EXPECT_EQ(camera->camera->nearPlane, nearClip);
    EXPECT_EQ(camera->camera->farPlane, farClip);
    RwCameraEndUpdate(camera->camera);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i], before[i])
            << (i < 210 ? "render state " : "stage state ") << (i < 210 ? i : (i - 210) / 32)
            << (i < 210 ? "" : " type ") << (i < 210 ? std::string() : std::to_string((i - 210) % 32 + 1));
}

// The weapons display counts what hangs on the racks each time it draws (a rocket pod its rockets, anything
// else one), keeps a store once seen with 0 when it is used up, and shows the decoys left.
TEST_F(CockpitRender, TheWeaponsDisplayCountsTheStores) {
    ASSERT_TRUE(Weapons::InstallStores());
    Obj::Airplane* own = Flying("F16", 0, 0, 3000, 0, Obj::Friendly);
    ASSERT_NE(own, nullptr);
    auto* cockpit = dynamic_cast<Cockpit::Cockpit*>(own->cockpit.get());
    ASSERT_NE(cockpit, nullptr);
    Weapons::Stores* stores = Weapons::Stores::Of(own);
    ASSERT_NE(stores, nullptr);
    ASSERT_TRUE(stores->LoadSetup("AirToGround"));
    shown = own;
    Run(0.1f);
    LookFromCockpit(*own, *cockpit, 14);
    Draw();
    using Counts = std::map<Base::String, int>;
    EXPECT_EQ(cockpit->mfd->stores, (Counts{{"Bomb", 2}, {"RocketPod", 38}, {"ShortAAM", 2}}));
    EXPECT_EQ(cockpit->mfd->flares, Weapons::Stores::FullDecoys);
    EXPECT_EQ(cockpit->mfd->chaff, Weapons::Stores::FullDecoys);

    // Both bombs gone, a flare and two chaff out.
    Physics::AirplaneState s = own->GetState();
    s.weaponDoorCommand = 1;
    s.weaponDoorOpening = 1;
    own->SetState(s);
    own->weaponDoor.SetProgress(1);
    stores->SelectRack(2);
    ASSERT_TRUE(stores->FireSelected());
    ASSERT_TRUE(stores->FireSelected());
    ASSERT_TRUE(stores->DropCountermeasure(Weapons::Stores::FlareKind));
    ASSERT_TRUE(stores->DropCountermeasure(Weapons::Stores::ChaffKind));
    ASSERT_TRUE(stores->DropCountermeasure(Weapons::Stores::ChaffKind));
    Draw();
    EXPECT_EQ(cockpit->mfd->stores, (Counts{{"Bomb", 0}, {"RocketPod", 38}, {"ShortAAM", 2}}));
    EXPECT_EQ(cockpit->mfd->flares, Weapons::Stores::FullDecoys - 1);
    EXPECT_EQ(cockpit->mfd->chaff, Weapons::Stores::FullDecoys - 2);
}

} // namespace
