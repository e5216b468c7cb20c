// The cockpit on the sample airplanes and the sample cockpit model: loading (the named and the default
// model, a model without instruments, none at all), the instrument mesh and its needles, the stick and the
// throttle, the radar's detection, contacts and target selection, and the cockpit in its airplane's world.
#include "tests/aircraft/AirplaneFixture.h"

#include "cockpit/Blackout.h"
#include "cockpit/Cockpit.h"
#include "cockpit/Instruments.h"

#include "weapons/Countermeasure.h"

#include "base/ClumpCache.h"
#include "base/Maths.h"
#include "base/TextTable.h"

#include <cmath>
#include <fstream>

namespace {

constexpr float Pi = 3.14159265f;

// A target of the world's target list with a sphere of its own and a chosen detectability.
class Dummy : public Obj::Frame, public Obj::Object, public Obj::Target {
public:
    explicit Dummy(RwV3d position, Obj::Allegiance side = Obj::Enemy, float detect = 1.0f) {
        allegiance = side;
        detectability = detect;
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.pos = position;
        Transform(&m, rwCOMBINEREPLACE);
    }
    const RwSphere* GetBoundingSphere() override {
        sphere.center = RwFrameGetWorldMatrix(frame)->pos;
        return &sphere;
    }
    bool IntersectSegment(const RwLine*, RwV3d*, RwV3d*) override { return false; }
    float GetDetectability() override { return detectability; }
    void SetWorld(Grp::World* joined) override {
        Obj::Object::SetWorld(joined);
        if (joined)
            joined->targets->Insert(this);
        else if (Obj::Target::group)
            Grp::Simple<Obj::Target>::Remove(this);
    }
    RwSphere sphere{{0, 0, 0}, 5};
    float detectability;
};

class CockpitWorld : public AirplaneWorld {
protected:
    void SetUp() override {
        AirplaneWorld::SetUp();
        Base::TextTable = Base::Info();
        Base::TextTable.AddValue("DataDir", "Data");
        Cockpit::RegisterCockpit();
    }
    void TearDown() override {
        Obj::Airplane::CreateCockpit = nullptr;
        Base::TextTable = Base::Info();
        AirplaneWorld::TearDown();
    }

    static Cockpit::Cockpit* CockpitOf(Obj::Airplane& airplane) {
        return dynamic_cast<Cockpit::Cockpit*>(airplane.cockpit.get());
    }

    // An airplane in the world, flying level at the point along heading (degrees).
    Obj::Airplane* Flying(const char* title, float x, float z, float height, float heading,
                          Obj::Allegiance side = Obj::Friendly) {
        auto made = Loaded(Sample(title), Obj::Airplane::NullModel);
        if (!made)
            return nullptr;
        Obj::Airplane* airplane = made.release();
        airplane->allegiance = side;
        airplane->Place(x, z, height, heading, 200);
        world->AddObject(airplane);
        return airplane;
    }
    Dummy* Ground(RwV3d position, Obj::Allegiance side = Obj::Enemy, float detect = 1.0f) {
        auto* dummy = new Dummy(position, side, detect);
        world->AddObject(dummy);
        return dummy;
    }
};

TEST_F(CockpitWorld, SampleCockpitsLoadWithTheirInstruments) {
    // The fighters name their cockpit; the attacker falls back on the default one.
    const struct {
        const char* title;
        const char* description;
    } cases[] = {{"Su27", "Su27_Cockpit.info"}, {"Su25", "DefaultCockpit.info"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        auto airplane = Loaded(Sample(c.title), Obj::Airplane::ComplexModel);
        ASSERT_TRUE(airplane);
        Cockpit::Cockpit* cockpit = CockpitOf(*airplane);
        ASSERT_NE(cockpit, nullptr);
        EXPECT_TRUE(cockpit->loaded);
        EXPECT_NE(cockpit->path.find(c.description), std::string::npos) << cockpit->path;
        EXPECT_EQ(cockpit->faceCount, 5);
        EXPECT_EQ(cockpit->needleCount, 3);
        EXPECT_TRUE(cockpit->altimeter->present && cockpit->airspeed->present && cockpit->adi->present);
        EXPECT_TRUE(cockpit->radar->present && cockpit->mfd->present);
        EXPECT_TRUE(cockpit->joystick->present && cockpit->throttle->present);
        // The faces left the model for the mesh.
        for (const char* face : {"ADI", "Airspeed", "Altimeter", "Monitor1", "Monitor2"})
            EXPECT_EQ(cockpit->FindAtomic(face), nullptr) << face;
        EXPECT_NE(cockpit->FindAtomic("Joystick"), nullptr);
        EXPECT_EQ(cockpit->eyePosition.y, 1.02f);
        EXPECT_EQ(cockpit->eyePosition.z, 4.2f);
        // Its frame rides on the airplane's, and the eye goes with it.
        airplane->Place(1000, -500, 2000, 90, 200);
        const RwV3d eye = cockpit->GetEyePosition();
        EXPECT_NEAR(eye.x, 1000 - 4.2f, 1e-2f);
        EXPECT_NEAR(eye.z, -500, 1e-2f);
        EXPECT_NEAR(eye.y, 2000 + 1.02f, 1e-2f);
        // The face texture windows come from the description: the airspeed dial's is the atlas's first cell.
        const Cockpit::MeshVertex* airspeed = cockpit->faceVertices + 4 * 1;
        EXPECT_EQ(airspeed[0].u, 0);
        EXPECT_EQ(airspeed[2].u, 0.25f);
        EXPECT_EQ(airspeed[2].v, 0.25f);
        EXPECT_EQ(airspeed[1].v, 0);
    }
}

TEST_F(CockpitWorld, MissingAtomicsAndMissingModels) {
    // A description of a model without any instrument, and without an eye position.
    std::filesystem::create_directories(scratch / "Bare");
    std::ofstream(scratch / "Bare" / "Plain_Cockpit.info") << "Dff\tAirplanes\\Pilot.dff\n";
    Base::TextTable = Base::Info();
    Base::TextTable.AddValue("DataDir", scratch.string());
    {
        Cockpit::Cockpit cockpit;
        EXPECT_TRUE(cockpit.Load("Bare\\Plain_Cockpit.dff", nullptr));
        EXPECT_EQ(cockpit.faceCount, 0);
        EXPECT_EQ(cockpit.needleCount, 0);
        EXPECT_FALSE(cockpit.altimeter->present || cockpit.airspeed->present || cockpit.adi->present);
        EXPECT_FALSE(cockpit.radar->present || cockpit.mfd->present);
        EXPECT_FALSE(cockpit.joystick->present || cockpit.throttle->present);
        EXPECT_EQ(cockpit.eyePosition.x, 0);
        EXPECT_EQ(cockpit.eyePosition.y, 0);
        EXPECT_EQ(cockpit.eyePosition.z, 0);
        // Inert instruments do nothing when updated.
        cockpit.Run();
        cockpit.joystick->Update(1, 1);
    }
    {
        // Neither the model nor the default cockpit: only the records work.
        Cockpit::Cockpit cockpit;
        EXPECT_FALSE(cockpit.Load("Bare\\Nothing_Cockpit.dff", nullptr));
        EXPECT_FALSE(cockpit.loaded);
        auto source = std::make_unique<Obj::Frame>();
        cockpit.ReportThreat(source.get(), 2);
        EXPECT_EQ(cockpit.GetThreatCount(), 1u);
        cockpit.navpoints->Add(0, "Home", 0, 0);
        cockpit.SelectNextNavpoint();
        EXPECT_EQ(cockpit.navpoints->current, 0);
        cockpit.SelectRadarTarget(1, 1);
        cockpit.SetRadarRangeNext(1);
        EXPECT_EQ(cockpit.GetRadarTarget(), nullptr);
        cockpit.Run();
    }
}

TEST_F(CockpitWorld, FacesNeedFourVertices) {
    // A model whose instrument atomics are single triangles: none of them can be a face.
    RpClump* clump = SceneEngine::MakeClump({{"ADI", {0, 1, 5}, {-1, 1, 5}, {0, 0, 5}},
                                             {"Monitor2", {1, 1, 5}, {0, 1, 5}, {1, 0, 5}},
                                             {"Airspeed", {2, 1, 5}, {1, 1, 5}, {2, 0, 5}}});
    const std::string file = (scratch / "Thin.dff").string();
    RwStream* stream = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMWRITE, file.c_str());
    ASSERT_NE(stream, nullptr);
    EXPECT_NE(RpClumpStreamWrite(clump, stream), nullptr);
    RwStreamClose(stream, nullptr);
    RpClumpDestroy(clump);
    std::filesystem::create_directories(scratch / "Thin");
    std::ofstream(scratch / "Thin" / "Thin_Cockpit.info") << "Dff\tThin.dff\n";
    Base::TextTable = Base::Info();
    Base::TextTable.AddValue("DataDir", scratch.string());
    const std::string models = Base::ClumpCache::Directory;
    Base::ClumpCache::Directory = scratch.string() + "/";
    {
        Cockpit::Cockpit cockpit;
        EXPECT_TRUE(cockpit.Load("Thin\\Thin_Cockpit.dff", nullptr));
        EXPECT_EQ(cockpit.faceCount, 0);
        EXPECT_EQ(cockpit.needleCount, 0);
        EXPECT_FALSE(cockpit.adi->present || cockpit.mfd->present || cockpit.airspeed->present);
        // The triangles stay in the model.
        EXPECT_NE(cockpit.FindAtomic("ADI"), nullptr);
        cockpit.Run();
    }
    Base::ClumpCache::Clear();
    Base::ClumpCache::Directory = models;
}

TEST_F(CockpitWorld, NeedlesTurnInTheMesh) {
    auto airplane = Loaded(Sample("Su27"), Obj::Airplane::NullModel);
    ASSERT_TRUE(airplane);
    Cockpit::Cockpit* cockpit = CockpitOf(*airplane);
    ASSERT_NE(cockpit, nullptr);
    Cockpit::Altimeter& altimeter = *cockpit->altimeter;
    Cockpit::AirspeedInd& airspeed = *cockpit->airspeed;
    ASSERT_TRUE(altimeter.present && airspeed.present);
    ASSERT_EQ(altimeter.needle1, 0);
    ASSERT_EQ(altimeter.needle2, 1);
    ASSERT_EQ(airspeed.needle, 2);

    // A needle's vertex at an angle: its rest offset from the pivot turned about the face normal.
    auto expectAt = [&](int needle, float angle, const RwV3d& pivot, const RwV3d& axis) {
        for (int k = 0; k < 4; ++k) {
            const RwV3d rest = cockpit->needleCorners[needle][k];
            const RwV3d turned = Base::RotateVectorAroundAxis(rest, axis, angle);
            const Cockpit::MeshVertex& v = cockpit->needleVertices[4 * needle + k];
            EXPECT_NEAR(v.x, pivot.x + turned.x, 1e-5f) << needle << " " << k;
            EXPECT_NEAR(v.y, pivot.y + turned.y, 1e-5f) << needle << " " << k;
            EXPECT_NEAR(v.z, pivot.z + turned.z, 1e-5f) << needle << " " << k;
        }
    };
    // At rest every needle points up the face (the face normal crossed with x).
    const RwV3d n = airspeed.faceNormal;
    const RwV3d up = Base::CrossProduct(n, RwV3d{1, 0, 0});
    const RwV3d tip = cockpit->needleCorners[2][0];
    EXPECT_GT(Base::DotProduct(tip, up), 0.03f);

    // 500 knots: half a turn; 3048 m: the long hand back at 0, the short one a tenth of a turn on.
    airplane->Place(0, 0, 3048, 0, 500 / 1.9440124f);
    cockpit->Run();
    expectAt(2, Pi, airspeed.faceCentre, airspeed.faceNormal);
    float a1, a2;
    Cockpit::Altimeter::NeedleAngles(3048, a1, a2);
    expectAt(0, a1, altimeter.faceCentre, altimeter.faceNormal);
    expectAt(1, 0.2f * Pi, altimeter.faceCentre, altimeter.faceNormal);
    EXPECT_NEAR(std::remainder(a1, 2 * Pi), 0, 1e-3f);
}

TEST_F(CockpitWorld, StickAndThrottleFollowTheInputs) {
    auto airplane = Loaded(Sample("Su27"), Obj::Airplane::NullModel);
    ASSERT_TRUE(airplane);
    Cockpit::Cockpit* cockpit = CockpitOf(*airplane);
    ASSERT_NE(cockpit, nullptr);
    Cockpit::Joystick& stick = *cockpit->joystick;
    Cockpit::Throttle& lever = *cockpit->throttle;
    ASSERT_TRUE(stick.present && lever.present);
    const RwMatrix rest = stick.restMatrix;
    // Pitch 1: the stick's up axis turned by -25 degrees about its right axis (it leans back towards the
    // pilot); roll -1: by -25 degrees about its at axis. The foot stays put.
    const struct {
        float pitch, roll;
        RwV3d axis;
        float degrees;
    } cases[] = {
        {1, 0, rest.right, -25}, {-1, 0, rest.right, 25}, {0, -1, rest.at, -25}, {0, 1, rest.at, 25}};
    for (const auto& c : cases) {
        // From rest: the turns are about the part's axes as they stand.
        stick.Update(0, 0);
        stick.Update(c.pitch, c.roll);
        const RwMatrix& m = stick.frame->modelling;
        const RwV3d expected = Base::RotateVectorAroundAxis(rest.up, c.axis, c.degrees * Pi / 180);
        EXPECT_NEAR(m.up.x, expected.x, 1e-5f) << c.pitch << " " << c.roll;
        EXPECT_NEAR(m.up.y, expected.y, 1e-5f) << c.pitch << " " << c.roll;
        EXPECT_NEAR(m.up.z, expected.z, 1e-5f) << c.pitch << " " << c.roll;
        EXPECT_NEAR(m.pos.y, rest.pos.y, 1e-5f);
        EXPECT_NEAR(m.pos.z, rest.pos.z, 1e-5f);
    }
    // The throttle: 30 degrees about its right axis at full power, back at rest at none.
    lever.Update(1);
    const RwV3d full =
        Base::RotateVectorAroundAxis(lever.restMatrix.up, lever.restMatrix.right, 30 * Pi / 180);
    EXPECT_NEAR(lever.frame->modelling.up.z, full.z, 1e-5f);
    EXPECT_NEAR(lever.frame->modelling.up.y, full.y, 1e-5f);
    lever.Update(0);
    EXPECT_NEAR(lever.frame->modelling.up.z, lever.restMatrix.up.z, 1e-6f);
}

TEST_F(CockpitWorld, RadarSignal) {
    // The observer flies north (+z) at a height above flat ground at 0.
    const struct {
        float height;
        RwV3d offset; // from the observer
        float detect;
        float expected;
    } cases[] = {
        {12000, {0, 0, 75000}, 0.5f, 0.0f},                 // ahead, half range: s = 0.5
        {12000, {0, 0, -75000}, 0.5f, -0.125f},             // behind: three quarters of that
        {12000, {75000, 0, 0}, 0.5f, 0.5f * 0.875f - 0.5f}, // abeam: half way between
        {12000, {0, 0, 150000}, 0.99f, -0.01f},             // at 150 km nothing is left of s
        {12000, {0, 0, 400000}, 1.0f, 0.0f},                // detectability 1: seen anywhere
        {250, {0, 0, 30000}, 0.5f, 0.8f * (std::pow(250 / 12000.0f, 0.3f) * 0.34f + 0.66f) - 0.5f},
        {12000, {0, 0, 15000}, 2.0f, 1.9f}, // s is at most 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        Obj::Airplane* own = Flying("Su27", 0, 0, c.height, 0);
        ASSERT_NE(own, nullptr);
        Cockpit::Cockpit* cockpit = CockpitOf(*own);
        const RwV3d p = RwFrameGetWorldMatrix(own->frame)->pos;
        Dummy target({p.x + c.offset.x, p.y + c.offset.y, p.z + c.offset.z}, Obj::Enemy, c.detect);
        target.sphere.radius = 5;
        EXPECT_NEAR(cockpit->radar->GetSignal(*cockpit->radarTarget, &target), c.expected, 2e-3f);
        world->RemoveObject(own);
        delete own;
    }
}

TEST_F(CockpitWorld, RadarSelection) {
    Obj::Airplane* own = Flying("Su27", 0, 0, 12000, 0);
    ASSERT_NE(own, nullptr);
    Cockpit::Cockpit* cockpit = CockpitOf(*own);
    Cockpit::Radar& radar = *cockpit->radar;
    Cockpit::RadarTarget& rt = *cockpit->radarTarget;
    Obj::Airplane* far = Flying("Mig29", 0, 20000, 12000, 180, Obj::Enemy);
    Obj::Airplane* near = Flying("Mig29", 0, 5000, 12000, 180, Obj::Enemy);
    Obj::Airplane* middle = Flying("Su27", 3000, 10000, 12000, 180, Obj::Enemy);
    Obj::Airplane* friendly = Flying("F16", 0, 2000, 12000, 0, Obj::Friendly);
    ASSERT_TRUE(far && near && middle && friendly);
    Dummy* ship = Ground({1000, 0, 3000});
    Dummy* tank = Ground({-1000, 0, 8000});
    auto* flare = new Weapons::Flare;
    flare->allegiance = Obj::Enemy;
    flare->life = 100;
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    m.pos = {0, 12000, 1000};
    flare->Transform(&m, rwCOMBINEREPLACE);
    world->AddObject(flare);

    // Air: the nearest, then each next one farther, wrapping to the nearest; flares and friends never.
    radar.SelectTarget(rt, true, 1);
    EXPECT_EQ(rt.target.Get(), near);
    EXPECT_EQ(rt.kind, 1);
    EXPECT_EQ(cockpit->targetData.target.Get(), static_cast<Obj::Frame*>(near));
    for (Obj::Airplane* expected : {middle, far, near, middle}) {
        radar.SelectTarget(rt, false, 1);
        EXPECT_EQ(rt.target.Get(), expected);
    }
    // Switching the kind drops the airplane; ground selection ignores the airplanes.
    EXPECT_EQ(radar.SetTargetKind(rt, 2), 2);
    EXPECT_EQ(rt.target.Get(), nullptr);
    radar.SelectTarget(rt, true, 2);
    EXPECT_EQ(rt.target.Get(), ship);
    radar.SelectTarget(rt, false, 2);
    EXPECT_EQ(rt.target.Get(), tank);
    radar.SelectTarget(rt, false, 2);
    EXPECT_EQ(rt.target.Get(), ship);

    // The jammer on: no selection at all, the target stays.
    Physics::AirplaneState s = own->GetState();
    s.jammerOn = 1;
    own->SetState(s);
    radar.SelectTarget(rt, false, 1);
    EXPECT_EQ(rt.target.Get(), ship);
    s.jammerOn = 0;
    own->SetState(s);

    // Setting: a friendly object or one of the other kind is refused; null clears.
    radar.SetTarget(rt, 1, friendly);
    EXPECT_EQ(rt.target.Get(), ship);
    radar.SetTarget(rt, 1, tank);
    EXPECT_EQ(rt.target.Get(), ship);
    radar.SetTarget(rt, 1, far);
    EXPECT_EQ(rt.target.Get(), far);
    radar.SetTarget(rt, 0, nullptr);
    EXPECT_EQ(rt.target.Get(), nullptr);
    EXPECT_EQ(rt.kind, 0);
    EXPECT_EQ(cockpit->targetData.target.Get(), nullptr);

    // A single eligible object stays selected when cycling.
    for (Obj::Object* gone : std::initializer_list<Obj::Object*>{far, middle, ship, tank}) {
        world->RemoveObject(gone);
        delete gone;
    }
    radar.SelectTarget(rt, true, 1);
    EXPECT_EQ(rt.target.Get(), near);
    radar.SelectTarget(rt, false, 1);
    EXPECT_EQ(rt.target.Get(), near);
    // Destroyed: the next run drops it.
    near->SetHitPoints(0);
    cockpit->Run();
    EXPECT_EQ(rt.target.Get(), nullptr);
}

TEST_F(CockpitWorld, ContactsAreRefreshedEverySecond) {
    Obj::Airplane* own = Flying("Su27", 0, 0, 12000, 0);
    ASSERT_NE(own, nullptr);
    Cockpit::Cockpit* cockpit = CockpitOf(*own);
    Ground({0, 0, 5000});
    Ground({0, 0, 140000}, Obj::Enemy, 0.5f); // too far for its detectability
    Frame(0.1f);
    EXPECT_EQ(cockpit->radar->contacts.size(), 1u);
    const float first = cockpit->radar->lastScan;
    Ground({0, 0, 9000}, Obj::Friendly);
    for (int i = 0; i < 9; ++i)
        Frame(0.1f);
    EXPECT_EQ(cockpit->radar->contacts.size(), 1u); // 0.9 s later: not yet
    EXPECT_EQ(cockpit->radar->lastScan, first);
    Frame(0.1f);
    Frame(0.1f);
    EXPECT_EQ(cockpit->radar->contacts.size(), 2u);
    EXPECT_GT(cockpit->radar->lastScan, first);
}

TEST_F(CockpitWorld, WhatTheGameAsksThroughTheAirplane) {
    Obj::Airplane* own = Flying("Su27", 0, 0, 3000, 0);
    ASSERT_NE(own, nullptr);
    Obj::CockpitLink& link = *own->cockpit;

    // The mission's navpoints: slots, the current one, past the end none.
    link.AddNavpoint(3, "Bridge", 100, 200);
    EXPECT_EQ(link.GetNavpointCount(), 4u);
    float x = 0, z = 0;
    EXPECT_FALSE(link.GetNavpoint(1, x, z));
    ASSERT_TRUE(link.GetNavpoint(3, x, z));
    EXPECT_EQ(x, 100);
    EXPECT_EQ(z, 200);
    Base::String name;
    RwV3d at{};
    ASSERT_TRUE(link.GetCurrentNavpoint(&name, &at));
    EXPECT_EQ(name, "Bridge");
    EXPECT_EQ(at.z, 200);
    link.SetCurrentNavpoint(1);
    EXPECT_FALSE(link.GetCurrentNavpoint(&name, &at)); // an empty slot
    link.SetCurrentNavpoint(4);
    EXPECT_EQ(CockpitOf(*own)->navpoints->current, -1);
    link.RemoveNavpoint(3);
    EXPECT_FALSE(link.GetNavpoint(3, x, z));
    EXPECT_EQ(link.GetNavpointCount(), 4u);

    // The eye in the airplane's axes, wherever the airplane flies.
    const RwV3d eye = link.GetEyeOffset();
    EXPECT_NEAR(eye.y, 1.02f, 1e-5f);
    EXPECT_NEAR(eye.z, 4.2f, 1e-5f);

    // The model's segment test: from the eye ahead and down through the panel it hits, straight up it
    // misses.
    const RwV3d from = link.GetEyePosition();
    const RwLine down{from, {from.x, from.y - 0.6f, from.z + 1.5f}};
    const RwLine up{from, {from.x, from.y + 50, from.z}};
    EXPECT_TRUE(link.IntersectSegment(&down));
    EXPECT_FALSE(link.IntersectSegment(&up));

    // The target's range and range rate: none without a target.
    float range = -1, rate = -1;
    EXPECT_FALSE(link.GetTargetRange(&range, &rate));
    Obj::Airplane* bandit = Flying("Mig29", 0, 8000, 3000, 180, Obj::Enemy);
    ASSERT_NE(bandit, nullptr);
    link.SelectRadarTarget(1, 1);
    ASSERT_EQ(link.GetRadarTarget(), static_cast<Obj::Target*>(bandit));
    Frame(0.1f);
    ASSERT_TRUE(link.GetTargetRange(&range, &rate));
    EXPECT_NEAR(range, 8000 - 4.2f, 5.0f);
}

TEST_F(CockpitWorld, EntersAndLeavesTheWorldWithItsAirplane) {
    Obj::Airplane* own = Flying("Su27", 0, 0, 3000, 0);
    ASSERT_NE(own, nullptr);
    Cockpit::Cockpit* cockpit = CockpitOf(*own);
    EXPECT_EQ(cockpit->Obj::Object::world, world.get());
    EXPECT_NE(cockpit->Obj::Runnable::group, nullptr);
    EXPECT_NE(cockpit->Obj::Renderable::group, nullptr);
    ASSERT_NE(cockpit->blackout, nullptr);
    EXPECT_EQ(cockpit->blackout->Obj::Object::world, world.get());
    // Threats reported through the airplane's interface expire with the world's clock.
    auto source = std::make_unique<Obj::Frame>();
    own->cockpit->ReportThreat(source.get(), Obj::CockpitLink::ThreatMissile);
    Obj::CockpitLink::Threat threat;
    ASSERT_TRUE(own->cockpit->GetThreat(0, threat));
    EXPECT_EQ(threat.level, 2);
    EXPECT_EQ(threat.source, source.get());
    EXPECT_FALSE(own->cockpit->GetThreat(1, threat));
    for (int i = 0; i < 3; ++i)
        Frame(0.1f);
    EXPECT_EQ(own->cockpit->GetThreatCount(), 0u);

    world->RemoveObject(own);
    EXPECT_EQ(cockpit->Obj::Object::world, nullptr);
    EXPECT_EQ(cockpit->Obj::Runnable::group, nullptr);
    EXPECT_EQ(cockpit->Obj::Renderable::group, nullptr);
    EXPECT_EQ(cockpit->blackout->Obj::Object::world, nullptr);
    delete own;
}

} // namespace
