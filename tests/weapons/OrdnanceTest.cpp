// Ordnance from the sample weapon descriptions: the keys they load, racks, rockets, pods, bombs and decoys.
#include "weapons/Bomb.h"
#include "weapons/Countermeasure.h"
#include "weapons/Launcher.h"
#include "weapons/Rocket.h"

#include "objects/Explosion.h"
#include "objects/Spurt.h"
#include "scene/WorldPasses.h"
#include "tests/weapons/WeaponsFixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using WeaponsTest::Describe;
using WeaponsTest::Level;
using Keys = std::vector<std::pair<std::string, std::string>>;

// A damageable carrier with a big sphere that any segment through it hits, and one rack frame below it.
class Carrier : public Obj::Model, public Obj::Dynamic {
public:
    const RwSphere* GetBoundingSphere() override {
        sphere.center = RwFrameGetWorldMatrix(frame)->pos;
        return &sphere;
    }
    bool IntersectSegment(const RwLine* s, RwV3d* out, RwV3d*) override {
        const RwV3d c = GetBoundingSphere()->center;
        if (Grp::DistancePointToSegment(c, *s) > sphere.radius)
            return false;
        *out = s->start;
        return true;
    }
    void SetWorld(Grp::World* w) override {
        Obj::Model::SetWorld(w);
        if (w) {
            Obj::Dynamic::group = w->dynamics.get();
            w->dynamics->UpdateDamageable(this);
        } else if (Obj::Dynamic::group) {
            Grp::Spatial<Obj::Dynamic>::Remove(this);
        }
    }
    RwSphere sphere = {{0, 0, 0}, 20};
};

class Ordnance : public WeaponsTest::SampleWorld {
protected:
    void TearDown() override {
        if (rackFrame) {
            RwFrameRemoveChild(rackFrame);
            RwFrameDestroy(rackFrame);
        }
        WeaponsTest::SampleWorld::TearDown();
    }
    // A carrier at the position with a rack 2 below it, in the world.
    Carrier* MakeCarrier(RwV3d at) {
        auto* carrier = new Carrier();
        const Base::Info info = Read("RocketPod");
        EXPECT_TRUE(carrier->Load(&info));
        carrier->hitPoints = carrier->maxHitPoints = 100;
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.pos = at;
        RwMatrixUpdate(&m);
        carrier->Transform(&m, rwCOMBINEREPLACE);
        rackFrame = RwFrameCreate();
        const RwV3d below = {0, -2, 0};
        RwMatrixTranslate(RwFrameGetMatrix(rackFrame), &below, rwCOMBINEREPLACE);
        RwFrameAddChild(carrier->frame, rackFrame);
        rack = std::make_unique<Weapons::Rack>(nullptr, carrier, rackFrame);
        world->AddObject(carrier);
        return carrier;
    }
    template <class T> T* Make(const char* name) {
        auto* made = new T();
        const Base::Info info = Read(name);
        EXPECT_TRUE(made->LoadParams(&info)) << made->loadError;
        return made;
    }
    static void Place(Rw::Frame* frame, RwV3d at) {
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.pos = at;
        RwMatrixUpdate(&m);
        frame->Transform(&m, rwCOMBINEREPLACE);
    }

    RwFrame* rackFrame = nullptr;
    std::unique_ptr<Weapons::Rack> rack;
};

const Keys Catalogue = {{"Dff", "Weapons\\Bomb.dff"},
                        {"OrdnanceParams.AirToGround", "1"},
                        {"OrdnanceParams.Type", "1"},
                        {"OrdnanceParams.Order", "4"},
                        {"OrdnanceParams.Name", "Bomb"}};

Keys Without(Keys keys, const std::string& key) {
    std::erase_if(keys, [&](const auto& k) { return k.first == key; });
    return keys;
}
Keys With(Keys keys, const std::string& key, const std::string& value) {
    keys = Without(keys, key);
    keys.emplace_back(key, value);
    return keys;
}

TEST_F(Ordnance, CatalogueKeys) {
    const struct {
        const char* what;
        Keys keys;
        bool loads, airToAir;
    } rows[] = {
        {"air to ground", Catalogue, true, false},
        {"both flags: air to air wins", With(Catalogue, "OrdnanceParams.AirToAir", "0"), true, true},
        {"neither flag", Without(Catalogue, "OrdnanceParams.AirToGround"), false, false},
        {"a flag that is no integer counts as missing", With(Catalogue, "OrdnanceParams.AirToGround", "yes"),
         false, false},
        {"no type", Without(Catalogue, "OrdnanceParams.Type"), false, false},
        {"no order", Without(Catalogue, "OrdnanceParams.Order"), false, false},
        {"no name", Without(Catalogue, "OrdnanceParams.Name"), false, false},
        {"no model", With(Catalogue, "Dff", "Weapons\\Missing.dff"), false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Base::Info info;
        ASSERT_EQ(info.LoadText(Describe(row.keys)), 0);
        Weapons::Bomb bomb;
        EXPECT_EQ(bomb.Ordnance::Load(&info), row.loads) << bomb.loadError;
        if (row.loads) {
            EXPECT_EQ(bomb.airToAir, row.airToAir);
            EXPECT_EQ(bomb.type, 1);
            EXPECT_EQ(bomb.order, 4);
            EXPECT_EQ(bomb.name, "Bomb");
        } else {
            EXPECT_FALSE(bomb.loadError.empty());
        }
    }
}

// Every numeric key refuses what no weapon can use (negative, huge, or no number at all: "nan" and "inf" do
// not parse), names itself in the error, and takes 0 where 0 makes sense; optional keys keep their
// defaults when they do not parse, colours are clamped to [0, 1].
TEST_F(Ordnance, AbsurdValuesAreRefused) {
    const Keys rocket = {{"RocketParams.TimeToLive", "6"},          {"RocketParams.Acc", "400"},
                         {"RocketParams.MaxSpeed", "700"},          {"RocketParams.ExplosionStr", "60"},
                         {"RocketParams.NozzleOffset", "0 0 -0.6"}, {"RocketParams.NozzleDiameter", "0.08"}};
    const char* const numeric[] = {"RocketParams.TimeToLive",     "RocketParams.Acc",
                                   "RocketParams.MaxSpeed",       "RocketParams.ExplosionStr",
                                   "RocketParams.NozzleDiameter", "RocketParams.TimeToEngineStart"};
    for (const char* key : numeric) {
        const bool optional = std::string(key) == "RocketParams.TimeToEngineStart";
        for (const auto& [value, loads] :
             {std::pair{"0", true}, std::pair{"-1", false}, std::pair{"nan", optional},
              std::pair{"inf", optional}, std::pair{"1e38", false}, std::pair{"fast", optional}}) {
            SCOPED_TRACE(std::string(key) + " " + value);
            Base::Info info;
            ASSERT_EQ(info.LoadText(Describe(With(rocket, key, value))), 0);
            Weapons::Rocket r;
            EXPECT_EQ(r.ReadRocketKeys(&info), loads);
            if (!loads) {
                EXPECT_EQ(r.loadError.rfind(key, 0), 0u) << r.loadError;
            }
        }
        if (!optional) {
            Base::Info info;
            ASSERT_EQ(info.LoadText(Describe(Without(rocket, key))), 0);
            Weapons::Rocket r;
            EXPECT_FALSE(r.ReadRocketKeys(&info)) << key << " is required";
        }
    }
    {
        Base::Info info;
        ASSERT_EQ(info.LoadText(Describe(With(With(rocket, "RocketParams.NozzleOffset", "0 1e30 0"),
                                              "RocketParams.SmokeTrailColor", "2 -1 0.5 0.5"))),
                  0);
        Weapons::Rocket r;
        EXPECT_FALSE(r.ReadRocketKeys(&info));
        Base::Info colour;
        ASSERT_EQ(colour.LoadText(Describe(With(rocket, "RocketParams.SmokeTrailColor", "2 -1 0.5 0.5"))), 0);
        Weapons::Rocket clamped;
        ASSERT_TRUE(clamped.ReadRocketKeys(&colour));
        EXPECT_EQ(clamped.timeToEngineStart, 0.5f) << "the default delay";
        const float expected[4] = {1, 0, 0.5f, 0.5f};
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(clamped.smokeColour[k], expected[k]) << k;
        }
    }
    for (const auto& [count, loads] : {std::pair{"19", true}, std::pair{"0", true}, std::pair{"-1", false},
                                       std::pair{"2000000000", false}, std::pair{"many", false}}) {
        Base::Info info;
        ASSERT_EQ(info.LoadText(Describe({{"LauncherParams.RocketsCount", count},
                                          {"LauncherParams.RocketModel", "Weapons\\Rocket.info"}})),
                  0);
        Weapons::Launcher pod;
        EXPECT_EQ(pod.ReadLauncherKeys(&info), loads) << count;
        EXPECT_GE(pod.rocketsLeft, 0);
    }
    for (const auto& [strength, loads] :
         {std::pair{"400", true}, std::pair{"0", true}, std::pair{"-5", false}, std::pair{"nan", false},
          std::pair{"1e38", false}}) {
        Base::Info info;
        ASSERT_EQ(info.LoadText(Describe({{"BombParams.ExplosionStr", strength}})), 0);
        Weapons::Bomb bomb;
        EXPECT_EQ(bomb.ReadBombKeys(&info), loads) << strength;
    }
}

// Thrust waits for the ignition delay, ramps at 0.75 x Acc per second to Acc and stays there; the speed is
// clamped at MaxSpeed; nothing pulls the rocket down.
TEST_F(Ordnance, RocketKinematicsFollowTheClosedForm) {
    auto* rocket = Make<Weapons::Rocket>("Rocket");
    rocket->acceleration = 100;
    rocket->timeToEngineStart = 0.5f;
    rocket->maxSpeed = 10000;
    rocket->timeToLive = 100;
    const float dt = 0.02f;
    double closedSpeed = 0;
    for (int n = 1; n <= 150; ++n) {
        const double t = n * double(dt);
        rocket->Simulate(float(t), dt);
        const double thrust = t < 0.5 ? 0 : std::min(100.0, 75 * (t - 0.5));
        closedSpeed = t < 0.5             ? 0
                      : t < 0.5 + 4.0 / 3 ? 37.5 * (t - 0.5) * (t - 0.5)
                                          : 66.6667 + 100 * (t - 0.5 - 4.0 / 3);
        SCOPED_TRACE(t);
        if (t < 0.5 - 1e-6) {
            ASSERT_EQ(rocket->thrust, 0);
        }
        EXPECT_NEAR(rocket->thrust, thrust, 75 * dt * 1.01);
        EXPECT_NEAR(rocket->velocity.z, closedSpeed, 2 * 100 * dt);
        EXPECT_EQ(rocket->velocity.y, 0);
        EXPECT_EQ(rocket->Position().y, 0);
    }
    EXPECT_EQ(rocket->thrust, 100) << "full thrust after 0.5 + 4/3 s";
    // The engine lights in the step in which the delay runs out and each step moves with the speed after
    // its thrust, so the steps lead the closed form by up to two steps of full thrust: 2 dt x 100 a second.
    EXPECT_NEAR(rocket->Position().z,
                37.5 / 3 * std::pow(4.0 / 3, 3) + 66.6667 * (3 - 0.5 - 4.0 / 3) +
                    50 * std::pow(3 - 0.5 - 4.0 / 3, 2),
                2 * dt * 100 * (3 - 0.5));

    rocket->velocity = {0, 0, 300};
    rocket->maxSpeed = 250;
    rocket->Simulate(3.02f, dt);
    EXPECT_NEAR(rocket->velocity.z, 250, 1e-3) << "clamped in the first step";
    delete rocket;
}

// Out of life without a hit: it goes without a blast, its smoke left to fade.
TEST_F(Ordnance, RocketTimesOutSilently) {
    auto* rocket = Make<Weapons::Rocket>("Rocket");
    world->AddObject(rocket);
    Place(rocket, {0, 1000, 0});
    rocket->Launch({0, 0, 100});
    rocket->timeToLive = 0.5f;
    Base::SmartPtr<Weapons::Rocket> alive(rocket);
    float t = 0;
    for (int n = 0; n < 20 && alive; ++n)
        Frame(t += 0.1f, 0.1f);
    EXPECT_FALSE(alive);
    EXPECT_EQ(Count<Obj::Explosion>(), 0);
    EXPECT_EQ(Count<Obj::SpurtWater>(), 0);
    EXPECT_EQ(Count<Obj::SmokeTrailGroup>(), 1) << "the smoke fades by itself";
}

// A network copy takes its speed from the positions it is given; a paused frame (no step) keeps the last
// speed rather than dividing by zero.
TEST_F(Ordnance, RemoteRocketSpeedSurvivesAPausedFrame) {
    auto* rocket = Make<Weapons::Rocket>("Rocket");
    rocket->remoteCopy = true;
    world->AddObject(rocket);
    Place(rocket, {0, 100, 0});
    rocket->Launch({0, 0, 0});
    Frame(1, 0.1f);
    Place(rocket, {0, 100, 30});
    Frame(1.1f, 0.1f);
    EXPECT_NEAR(rocket->velocity.z, 300, 1e-2);
    Place(rocket, {0, 100, 60});
    Frame(1.1f, 0);
    EXPECT_NEAR(rocket->velocity.z, 300, 1e-2);
    EXPECT_TRUE(std::isfinite(rocket->velocity.x) && std::isfinite(rocket->velocity.y));
    Frame(1.2f, 0.1f);
    EXPECT_NEAR(rocket->velocity.z, 0, 1e-2) << "no motion since the last frame";
}

TEST_F(Ordnance, AtHalfAMetreARocketSplashesAboveItExplodes) {
    for (const auto& [height, splash] : {std::pair{0.5f, true}, std::pair{0.51f, false}}) {
        auto* rocket = Make<Weapons::Rocket>("Rocket");
        world->AddObject(rocket);
        const int spray = Count<Obj::SpurtWater>(), blasts = Count<Obj::Explosion>();
        rocket->Explode({10, height, 10});
        EXPECT_EQ(Count<Obj::SpurtWater>() - spray, splash ? 1 : 0) << height;
        EXPECT_EQ(Count<Obj::Explosion>() - blasts, splash ? 0 : 1) << height;
    }
}

// A 2,000 m drop at 60 frames a second lands where gravity and the 3 % a second drag put it.
TEST_F(Ordnance, BombFallsAsGravityAndDragSay) {
    auto* sea = new Level(0);
    world->AddObject(sea);
    auto* bomb = Make<Weapons::Bomb>("Bomb");
    world->AddObject(bomb);
    Place(bomb, {0, 2000, 0});
    bomb->Launch({100, 0, 0});
    Base::SmartPtr<Weapons::Bomb> alive(bomb);
    const float dt = 1.0f / 60;
    float t = 0;
    for (int n = 0; n < 60 * 60 && alive; ++n)
        Frame(t += dt, dt);
    ASSERT_FALSE(alive);
    ASSERT_EQ(sea->hits.size(), 1u);
    // dv/dt = g - c v with c = -ln 0.97.
    const double c = -std::log(0.97), g = 9.81;
    const auto x = [&](double s) { return 100 * (1 - std::exp(-c * s)) / c; };
    const auto y = [&](double s) { return 2000 - g / c * s + g / c * (1 - std::exp(-c * s)) / c; };
    double lo = 0, hi = 100;
    for (int k = 0; k < 100; ++k)
        (y((lo + hi) / 2) > 0 ? lo : hi) = (lo + hi) / 2;
    EXPECT_NEAR(sea->hits[0].x, x(lo), 1.0);
    EXPECT_NEAR(sea->hits[0].z, 0, 1e-3);
    EXPECT_EQ(Count<Obj::SpurtWater>(), 1) << "its step ended at sea level";
}

// Released, a bomb keeps the pose it had on the rack, falls through its own airplane and explodes on the
// ground below.
TEST_F(Ordnance, BombLeavesTheRackWhereItHungAndSkipsItsAirplane) {
    Carrier* carrier = MakeCarrier({50, 1000, 20});
    auto* bomb = Make<Weapons::Bomb>("Bomb");
    bomb->owner = carrier;
    rack->Load(bomb);
    EXPECT_EQ(bomb->world, world.get());
    EXPECT_EQ(bomb->rack, rack.get());
    EXPECT_EQ(rack->ordnance.Get(), bomb);
    const RwMatrix hung = *RwFrameGetWorldMatrix(bomb->frame);
    EXPECT_NEAR(hung.pos.y, 998, 1e-3);
    bomb->Launch({0, 0, 0});
    EXPECT_EQ(bomb->rack, nullptr);
    EXPECT_EQ(rack->ordnance.Get(), nullptr);
    EXPECT_EQ(bomb->GetParent(), nullptr);
    const RwMatrix released = *RwFrameGetWorldMatrix(bomb->frame);
    for (const auto& [a, b] : {std::pair{hung.pos, released.pos}, std::pair{hung.at, released.at},
                               std::pair{hung.up, released.up}}) {
        EXPECT_NEAR(a.x, b.x, 1e-4);
        EXPECT_NEAR(a.y, b.y, 1e-4);
        EXPECT_NEAR(a.z, b.z, 1e-4);
    }
    auto* ground = new Level(900);
    world->AddObject(ground);
    Base::SmartPtr<Weapons::Bomb> alive(bomb);
    float t = 0;
    for (int n = 0; n < 600 && alive; ++n)
        Frame(t += 0.05f, 0.05f);
    EXPECT_FALSE(alive);
    EXPECT_EQ(carrier->hitPoints, 100);
    ASSERT_EQ(ground->hits.size(), 1u);
    EXPECT_EQ(Count<Obj::Explosion>(), 1);
}

// A pod of 19 fires 19 rockets from where it hangs, none of which hits its airplane; then nothing. A pod
// whose rocket cannot be loaded fires nothing and keeps its count.
TEST_F(Ordnance, PodFiresItsRocketsAndThenNothing) {
    Carrier* carrier = MakeCarrier({0, 500, 0});
    auto* pod = Make<Weapons::Launcher>("RocketPod");
    EXPECT_EQ(pod->rocketsLeft, 19);
    rack->Load(pod);
    for (int n = 0; n < 20; ++n)
        pod->Launch({0, 0, 50});
    EXPECT_EQ(pod->rocketsLeft, 0);
    EXPECT_EQ(Count<Weapons::UnguidedRocket>(), 19);
    EXPECT_EQ(rack->ordnance.Get(), pod) << "the pod stays on its rack";
    auto* rocket = Find<Weapons::UnguidedRocket>();
    EXPECT_EQ(rocket->owner.Get(), carrier);
    EXPECT_NEAR(rocket->Position().y, 498, 1e-3);
    float t = 0;
    for (int n = 0; n < 10; ++n)
        Frame(t += 0.02f, 0.02f);
    EXPECT_EQ(carrier->hitPoints, 100);
    EXPECT_EQ(Count<Obj::Explosion>(), 0);

    auto* broken = Make<Weapons::Launcher>("RocketPod");
    world->AddObject(broken);
    broken->rocketModel = "Weapons\\Missing.info";
    broken->Launch({0, 0, 50});
    EXPECT_EQ(broken->rocketsLeft, 19);
    EXPECT_EQ(Count<Weapons::UnguidedRocket>(), 19);
}

// A decoy falls under gravity with its speed decaying by 10 % a second, and goes after 10 s or below 0.
TEST_F(Ordnance, DecoysFallAndGo) {
    auto* flare = new Weapons::Flare();
    flare->Setup({0, 0, 0});
    Place(flare, {0, 1000, 0});
    world->AddObject(flare);
    EXPECT_EQ(flare->Obj::Target::group, world->targets.get());
    Frame(0.1f, 0.1f);
    EXPECT_NEAR(flare->velocity.y, -0.981 * std::pow(0.9, 0.1), 1e-5);
    EXPECT_NEAR(RwFrameGetWorldMatrix(flare->frame)->pos.y, 1000 - 0.0970693, 1e-4);
    const RwLine through = {{0, 1010, 0}, {0, 900, 0}};
    RwV3d point;
    EXPECT_FALSE(flare->IntersectSegment(&through, &point, nullptr));

    auto* low = new Weapons::Chaff();
    low->Setup({0, 0, 0});
    Place(low, {0, 5, 0});
    world->AddObject(low);
    // Two decoys' spheres are two records.
    const RwSphere* a = flare->GetBoundingSphere();
    const RwSphere* b = low->GetBoundingSphere();
    EXPECT_NE(a, b);
    EXPECT_NEAR(a->center.y, 1000 - 0.0970693, 1e-4);
    EXPECT_EQ(b->center.y, 5);
    EXPECT_EQ(b->radius, 1);

    Base::SmartPtr<Weapons::Countermeasure> high(flare), sinking(low);
    float t = 0.1f;
    int frames = 0;
    while (sinking && frames < 200) {
        Frame(t += 0.1f, 0.1f);
        ++frames;
    }
    EXPECT_FALSE(sinking);
    EXPECT_LT(frames, 20) << "below height 0 long before its 10 s";
    while (high && t < 9.85f)
        Frame(t += 0.1f, 0.1f);
    EXPECT_TRUE(high);
    for (int n = 0; n < 5 && high; ++n)
        Frame(t += 0.1f, 0.1f);
    EXPECT_FALSE(high) << "gone once its 10 s are over";

    auto* copy = new Weapons::Flare();
    copy->Setup({0, 0, 0});
    copy->remoteCopy = 1;
    Place(copy, {0, 50, 0});
    world->AddObject(copy);
    Frame(t += 0.1f, 0.1f);
    EXPECT_EQ(copy->life, 10.0f);
    EXPECT_EQ(RwFrameGetWorldMatrix(copy->frame)->pos.y, 50);
}

} // namespace
