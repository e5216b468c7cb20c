// The pilot figure drawn on the Direct3D 9 driver through the game's engine host: seated in the sample
// fighter (and not drawn from that airplane's inside view), thrown out by the seat, and hanging under its
// parachute. The frames are written beside the test for a look (PilotInCockpit.png, PilotEjected.png,
// PilotUnderParachute.png).
#include "tests/objects/HostViewFixture.h"

#include "aircraft/Airplane.h"
#include "pilots/Pilot.h"
#include "scene/AnimationFile.h"

#include "base/AnimationCache.h"
#include "base/InfoCache.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint32_t Sky = 0x96B9E1;

Cameras::Basic* const InsideView = reinterpret_cast<Cameras::Basic*>(uintptr_t(0x1000));
const Obj::Airplane* seenFromInside = nullptr;

class PilotRender : public HostView {
protected:
    PilotRender() : HostView("pilot", 0.2f, 5000, 0.45f) {}
    void SetUp() override {
        HostView::SetUp();
        Base::AnimationCache::Directory = "Data/Anims\\";
        Rw::InstallAnimationCache();
    }
    void TearDown() override {
        Obj::Pilot::IsInsideViewOf = nullptr;
        seenFromInside = nullptr;
        Base::AnimationCache::Clear();
        Base::InfoCache::Clear();
        HostView::TearDown();
    }
    std::vector<uint32_t> Draw(Cameras::Basic* view = nullptr) {
        RwCameraBeginUpdate(camera->camera);
        RwRGBA sky = {150, 185, 225, 255};
        RwCameraClear(camera->camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        Rw::ResetRenderStates();
        const Rw::CameraView* parameters = camera->GetViewParameters();
        const auto range = Grp::VisibleRange(*parameters, *world->renderables);
        Grp::RenderVisible(range.begin(), range.end(), view);
        RwCameraEndUpdate(camera->camera);
        return RenderSupport::ReadBack();
    }
    void Frame(float dt) {
        const float t0 = world->time->time;
        world->time->step = dt;
        world->time->time = t0 + dt;
        Grp::SimulateGroup(*world->simulateables, t0, t0 + dt);
        Grp::RunGroup(*world->runnables);
    }
    // Pixels that are not sky in the rows [y0, y1), and those of them that are the canopy's orange.
    static int Covered(const std::vector<uint32_t>& pixels, int y0, int y1, bool orange = false) {
        int count = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < Width; ++x) {
                const uint32_t p = pixels[size_t(y) * Width + size_t(x)] & 0xFFFFFF;
                const int r = int(p >> 16), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
                count += orange ? (r > g + 40 && r > b + 80) : p != Sky;
            }
        return count;
    }
};

TEST_F(PilotRender, SeatedThenEjectedThenUnderTheParachute) {
    auto* airplane = new Obj::Airplane;
    ASSERT_TRUE(airplane->Load("Data/Models/Airplanes/Su27", Obj::Airplane::ComplexModel));
    world->AddObject(airplane);
    airplane->Place(0, 0, 1500, 0, 120);
    auto* pilot = new Obj::Pilot;
    ASSERT_TRUE(pilot->Load(&Base::InfoCache::Get("Data/Models/Airplanes/Pilot.model")));
    pilot->SetAirplane(airplane);
    world->AddObject(pilot);
    Base::SmartPtr<Obj::Pilot> figure(pilot);
    Frame(0);

    // Over the cockpit from behind and above: the pilot shows, except from the airplane's own inside view.
    Obj::Pilot::IsInsideViewOf = [](Cameras::Basic* view, const Obj::Airplane* a) {
        return view == InsideView && a == seenFromInside;
    };
    seenFromInside = airplane;
    const RwV3d seat = RwFrameGetWorldMatrix(pilot->frame)->pos;
    Look({seat.x + 2.5f, seat.y + 2.0f, seat.z - 4.0f}, seat);
    const std::vector<uint32_t> seated = Draw();
    Save(seated, "PilotInCockpit.png");
    const std::vector<uint32_t> inside = Draw(InsideView);
    EXPECT_NE(seated, inside);
    EXPECT_GT(Covered(seated, 0, Height), Covered(inside, 0, Height));

    // A second after the ejection: the figure above and behind the airplane, the canopy gone.
    pilot->Eject();
    for (int i = 0; i < 32; ++i)
        Frame(1.0f / 32);
    const RwV3d thrown = RwFrameGetWorldMatrix(pilot->frame)->pos;
    const RwV3d below = RwFrameGetWorldMatrix(airplane->frame)->pos;
    Look({thrown.x + 25, thrown.y + 4, thrown.z - 15},
         {(thrown.x + below.x) / 2, (thrown.y + below.y) / 2, (thrown.z + below.z) / 2});
    const std::vector<uint32_t> ejected = Draw(InsideView); // no longer the airplane's: drawn
    Save(ejected, "PilotEjected.png");
    EXPECT_GT(Covered(ejected, 0, Height), Width * Height / 400);

    // Under the parachute: the canopy above, the figure hanging below it.
    while (figure && figure->figureState != Obj::Pilot::UnderParachute)
        Frame(1.0f / 32);
    ASSERT_TRUE(figure);
    for (int i = 0; i < 32 * 5; ++i)
        Frame(1.0f / 32);
    ASSERT_TRUE(figure);
    const RwV3d hanging = RwFrameGetWorldMatrix(pilot->frame)->pos;
    Look({hanging.x + 14, hanging.y + 3.5f, hanging.z + 5}, {hanging.x, hanging.y + 3.5f, hanging.z});
    const std::vector<uint32_t> parachute = Draw();
    Save(parachute, "PilotUnderParachute.png");
    EXPECT_GT(Covered(parachute, 0, Height / 2, true), Width * Height / 50); // the canopy, up
    EXPECT_LT(Covered(parachute, Height / 2, Height, true), Covered(parachute, 0, Height / 2, true) / 10);
    EXPECT_GT(Covered(parachute, Height / 2, Height), Width * Height / 400); // the figure, down
}

} // namespace
