// The sample fighter drawn on the Direct3D 9 driver through the game's engine host: standing on the sample
// airbase's runway, then in the air with its gear raised and its controls deflected as a pilot's input left
// them. The frames are written beside the test for a look (AirplaneOnRunway.png, AirplaneGearUp.png).
#include "tests/objects/HostViewFixture.h"

#include "aircraft/Airplane.h"
#include "objects/Structure.h"
#include "scene/AnimationFile.h"

#include "base/AnimationCache.h"
#include "base/InfoCache.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint32_t Sky = 0x96B9E1;

class AirplaneRender : public HostView {
protected:
    AirplaneRender() : HostView("airplane", 0.5f, 5000, 0.45f) {}
    void SetUp() override {
        HostView::SetUp();
        Base::AnimationCache::Directory = "Data/Anims\\";
        Rw::InstallAnimationCache();
    }
    void TearDown() override {
        Base::AnimationCache::Clear();
        Base::InfoCache::Clear();
        HostView::TearDown();
    }
    // Pixels that are not sky in the rows [y0, y1).
    static int Covered(const std::vector<uint32_t>& pixels, int y0, int y1) {
        int count = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < Width; ++x)
                count += (pixels[size_t(y) * Width + size_t(x)] & 0xFFFFFF) != Sky;
        return count;
    }
    void Frame(float dt) {
        const float t0 = world->time->time;
        world->time->step = dt;
        world->time->time = t0 + dt;
        Grp::SimulateGroup(*world->simulateables, t0, t0 + dt);
        Grp::RunGroup(*world->runnables);
    }
};

TEST_F(AirplaneRender, OnTheRunwayThenGearUpWithControlsDeflected) {
    auto* base = new Obj::Airbase;
    ASSERT_TRUE(base->Load(&Base::InfoCache::Get("Data/Models/Base.model")));
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    m.pos = {0, 100, 0};
    RwMatrixUpdate(&m);
    base->Transform(&m, rwCOMBINEREPLACE);
    world->AddObject(base);
    auto* airplane = new Obj::Airplane;
    ASSERT_TRUE(airplane->Load("Data/Models/Airplanes/Su27", Obj::Airplane::ComplexModel));
    world->AddObject(airplane);
    ASSERT_TRUE(airplane->PlaceOnRunway(base, "09"));
    for (int i = 0; i < 20; ++i)
        Frame(0.02f);
    const Physics::AirplaneState s = airplane->GetState();
    const RwV3d p = s.position;
    // From ahead and to the side of the nose, a little above.
    Look({p.x + s.at.x * 14 - s.at.z * 9, p.y + 2.5f, p.z + s.at.z * 14 + s.at.x * 9},
         {p.x, p.y - 0.5f, p.z});
    const std::vector<uint32_t> standing = DrawOverSky();
    Save(standing, "AirplaneOnRunway.png");
    EXPECT_GT(Covered(standing, 0, Height), Width * Height / 10);

    // The airplane alone, then with the pilot's input applied by the run (no simulation: it stays where
    // it stood): gear up, stick over and back, rudder.
    world->RemoveObject(base);
    delete base;
    const std::vector<uint32_t> down = DrawOverSky();
    Physics::AirplaneState input = airplane->GetState();
    input.wheelCompression[0] = input.wheelCompression[1] = input.wheelCompression[2] = 0;
    input.gearDownCommand = 0;
    input.aileronAngle = 0.25f;
    input.elevatorAngle = -0.2f;
    input.rudderAngle = 0.15f;
    airplane->SetState(input);
    for (int i = 0; i < 200; ++i) {
        world->time->step = 0.05f;
        Grp::RunGroup(*world->runnables);
    }
    EXPECT_EQ(airplane->GetState().gearExtension, 0);
    const std::vector<uint32_t> raised = DrawOverSky();
    Save(raised, "AirplaneGearUp.png");
    // The lower part of the picture, where the legs stood, shows less airplane; the whole changed.
    EXPECT_LT(Covered(raised, Height / 2, Height), Covered(down, Height / 2, Height));
    EXPECT_NE(raised, down);

    // Seen from its own cockpit camera the airplane is not drawn; from another airplane's it is.
    static const Obj::Airplane* cockpitOf = nullptr;
    Obj::Airplane::IsCockpitCameraOf = [](Cameras::Basic*, const Obj::Airplane* a) { return a == cockpitOf; };
    cockpitOf = airplane;
    EXPECT_EQ(Covered(DrawOverSky(), 0, Height), 0);
    Obj::Airplane other;
    cockpitOf = &other;
    EXPECT_GT(Covered(DrawOverSky(), 0, Height), Covered(raised, 0, Height) / 2);
    Obj::Airplane::IsCockpitCameraOf = nullptr;
}

} // namespace
