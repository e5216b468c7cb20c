// The armed vehicles' automatic weapons: how they rate targets, the gun's lead, bursts and pauses, and the
// missile site's launches, warnings and its carrier's safety.
#include "tests/weapons/StoresFixture.h"

#include "weapons/AutoWeapons.h"
#include "weapons/Countermeasure.h"
#include "weapons/HomingRocket.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Weapons::AutoGun;
using Weapons::AutoLauncher;
using Weapons::TargetRating;

// An airplane that is only a sphere with a detectability, for the ratings.
class Dot : public Obj::Airplane {
public:
    Dot(RwV3d at, float detectability_) : sphere{at, 5}, detectability(detectability_) {}
    const RwSphere* GetBoundingSphere() override { return &sphere; }
    float GetDetectability() override { return detectability; }
    RwSphere sphere;
    float detectability;
};

// A non-airplane target.
class Post : public Obj::Object, public Obj::Target {
public:
    explicit Post(RwV3d at) : sphere{at, 5} {}
    const RwSphere* GetBoundingSphere() override { return &sphere; }
    bool IntersectSegment(const RwLine*, RwV3d*, RwV3d*) override { return false; }
    RwSphere sphere;
};

// The armed vehicle: a model on the ground that segments hit within its sphere, on the enemy side.
class Vehicle : public Obj::Model, public Obj::Dynamic {
public:
    const RwSphere* GetBoundingSphere() override {
        sphere.center = RwFrameGetWorldMatrix(frame)->pos;
        return &sphere;
    }
    bool IntersectSegment(const RwLine* s, RwV3d* out, RwV3d*) override {
        if (Grp::DistancePointToSegment(GetBoundingSphere()->center, *s) > sphere.radius)
            return false;
        *out = s->start;
        return true;
    }
    void OnSegmentMissileHit(Obj::SegmentMissile* m, const RwLine* s, const RwV3d* point) override {
        hits += point != nullptr;
        Obj::Damageable::OnSegmentMissileHit(m, s, point);
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
    int hits = 0;
};

class AutoWeapons : public StoresWorld {
protected:
    Vehicle* MakeVehicle() {
        auto* v = new Vehicle();
        Base::Info info;
        EXPECT_EQ(info.LoadFile(models + "/Weapons/RocketPod.info"), 0);
        EXPECT_TRUE(v->Load(&info));
        v->allegiance = Obj::Enemy;
        v->hitPoints = v->maxHitPoints = 1000;
        world->AddObject(v);
        return v;
    }
    template <class Weapon> Weapon* Mount(Weapon* weapon, Vehicle* carrier) {
        weapon->AttachTo(carrier, carrier->frame, false);
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.pos = {0, 3, 0};
        RwMatrixUpdate(&m);
        weapon->Transform(&m, rwCOMBINEREPLACE);
        world->AddObject(weapon);
        return weapon;
    }
    AutoGun* Gun(Vehicle* carrier, float aimError) {
        auto* gun = new AutoGun(carrier);
        gun->Setup(carrier, {0, 0xFFFFFFFFu, 1000.0f, 0.15f, 2.5f});
        gun->bulletGroup->damage = 3;
        gun->range = 2250;
        gun->aimError = aimError;
        return Mount(gun, carrier);
    }
    // A sample airplane in the world on the null flight model, that the test moves, hard to destroy.
    Obj::Airplane* Target(RwV3d at, RwV3d velocity) {
        std::unique_ptr<Obj::Airplane> made = Loaded(Sample("F16"), 0);
        if (!made)
            return nullptr;
        Obj::Airplane* a = made.release();
        a->cockpit = std::make_unique<WeaponsTest::CockpitStandIn>();
        a->hitPoints = a->maxHitPoints = 1e6f;
        world->AddObject(a);
        Move(*a, at, velocity);
        return a;
    }
    static void Move(Obj::Airplane& a, RwV3d at, RwV3d velocity) {
        Physics::AirplaneState s = a.GetState();
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        const RwV3d forward = Base::Normalize3d(RwV3d{velocity.x, 0, velocity.z});
        Base::SetMatrixAxes(&m, RwV3d{0, 1, 0}, forward, at);
        a.frameToState = false;
        a.Transform(&m, rwCOMBINEREPLACE);
        a.frameToState = true;
        s.position = at;
        s.precisePosition[0] = at.x;
        s.precisePosition[1] = at.y;
        s.precisePosition[2] = at.z;
        s.velocity = velocity;
        s.at = forward;
        s.up = {0, 1, 0};
        s.right = Base::CrossProduct(s.up, s.at);
        a.SetState(s);
    }
};

// Targets are enemy airplanes within range x 1.25; nearer and less detectable rate higher.
TEST_F(AutoWeapons, RatingTable) {
    Vehicle* carrier = MakeVehicle();
    const float range = 2250, max = range * 1.25f;
    const TargetRating rating{carrier, {0, 0, 0}, 0, max};
    Dot friendly({1000, 0, 0}, 1), near({1000, 0, 0}, 1), quiet({1000, 0, 0}, 0.4f), edge({max, 0, 0}, 1),
        beyond({max + 1, 0, 0}, 1);
    friendly.allegiance = Obj::Enemy;
    Post post({1000, 0, 0});
    Weapons::Flare flare;
    const struct {
        const char* what;
        Obj::Damageable* candidate;
        float rating;
    } rows[] = {
        {"same side", &friendly, 0},
        {"no airplane", &post, 0},
        {"a flare", &flare, 0},
        {"at range x 1.25", &edge, 0},
        {"beyond", &beyond, 0},
        {"near", &near, (max - 1000) / 1.1f},
        {"less detectable", &quiet, (max - 1000) / 0.5f},
    };
    for (const auto& row : rows) {
        EXPECT_FLOAT_EQ(AutoGun::RateTarget(rating, row.candidate), row.rating) << row.what;
        EXPECT_FLOAT_EQ(AutoLauncher::RateTarget(rating, row.candidate), row.rating) << row.what;
    }

    // The search: among equals at the same distance the less detectable one; nothing when none rates.
    AutoGun* gun = Gun(carrier, 0);
    for (Obj::Target* t : {static_cast<Obj::Target*>(&near), static_cast<Obj::Target*>(&quiet),
                           static_cast<Obj::Target*>(&friendly)})
        world->targets->Insert(t);
    Base::SmartPtr<Obj::Damageable> found;
    gun->FindTarget(found, world.get(), {0, 0, 0}, max, 0, rating);
    EXPECT_EQ(found.Get(), static_cast<Obj::Damageable*>(&quiet));
    Grp::Simple<Obj::Target>::Remove(&quiet);
    Grp::Simple<Obj::Target>::Remove(&near);
    gun->FindTarget(found, world.get(), {0, 0, 0}, max, 0, rating);
    EXPECT_EQ(found.Get(), nullptr);
    Grp::Simple<Obj::Target>::Remove(&friendly);

    // The missile site's rating tells every airplane it rates that it is seen.
    Obj::Airplane* seen = Target({0, 1000, 2000}, {0, 0, 0});
    ASSERT_NE(seen, nullptr);
    EXPECT_GT(AutoLauncher::RateTarget(rating, seen), 0);
    EXPECT_EQ(Cockpit(seen).Count(carrier, Obj::CockpitLink::ThreatSeen), 1);
    // At the maximum distance it rates 0 but is still seen; outside the distances, not.
    const RwV3d centre = seen->GetBoundingSphere()->center;
    EXPECT_EQ(AutoLauncher::RateTarget({carrier, centre, 0, 0}, seen), 0);
    EXPECT_EQ(Cockpit(seen).Count(carrier, Obj::CockpitLink::ThreatSeen), 2);
    EXPECT_EQ(AutoLauncher::RateTarget({carrier, centre, 1, 2}, seen), 0);
    EXPECT_EQ(Cockpit(seen).Count(carrier, Obj::CockpitLink::ThreatSeen), 2);
}

// Without aim error the gun's lead puts its bursts on an airplane crossing at constant speed at mid range;
// bursts last 0.5 to 1.5 s and pauses 0.5 to 3 s; the gun stays where it is mounted as it turns.
TEST_F(AutoWeapons, GunLeadsBurstsAndPauses) {
    Vehicle* carrier = MakeVehicle();
    AutoGun* gun = Gun(carrier, 0);
    const RwV3d start = {-800, 400, 900}, velocity = {150, 0, 0};
    Obj::Airplane* target = Target(start, velocity);
    ASSERT_NE(target, nullptr);
    const float dt = 1.0f / 60;
    std::vector<float> switches;
    bool firing = false;
    for (int i = 1; i <= 600; ++i) {
        const float t = i * dt;
        Move(*target, {start.x + velocity.x * t, start.y, start.z}, velocity);
        Frame(dt);
        if (gun->firing != firing) {
            firing = gun->firing;
            switches.push_back(world->time->time);
        }
        const RwV3d mounted = RwFrameGetWorldMatrix(gun->frame)->pos;
        ASSERT_NEAR(mounted.y, 3, 1e-3) << "at its mounting point";
        ASSERT_NEAR(mounted.x, 0, 1e-3);
    }
    ASSERT_EQ(gun->target.Get(), static_cast<Obj::Damageable*>(target));
    const uint32_t fired = 0xFFFFFFFFu - gun->params.rounds;
    const int hits = int(std::lround((1e6f - target->hitPoints) / 3));
    EXPECT_GT(fired, 10u);
    EXPECT_GE(hits * 10, int(fired - 8) * 9) << hits << " hits of " << fired << " shots";
    EXPECT_EQ(carrier->hits, 0) << "its own bullets never hit the vehicle";
    ASSERT_GE(switches.size(), 3u);
    for (size_t k = 1; k < switches.size(); ++k) {
        const float length = switches[k] - switches[k - 1];
        const bool burst = k % 2 == 1; // the first switch starts a burst
        SCOPED_TRACE(testing::Message() << (burst ? "burst " : "pause ") << length);
        EXPECT_GE(length, 0.5f - 1e-3f);
        EXPECT_LE(length, (burst ? 1.5f : 3.0f) + dt + 1e-3f);
    }
}

// The missile site warns the airplane it holds every frame, launches at most once every 30 to 60 s, not
// beyond its range, and its missiles never hit the vehicle they leave from.
TEST_F(AutoWeapons, MissileSite) {
    Vehicle* carrier = MakeVehicle();
    auto* site = Mount(new AutoLauncher(carrier, 10000), carrier);
    Obj::Airplane* target = Target({0, 2000, 6000}, {0, 0, 0});
    ASSERT_NE(target, nullptr);
    const float dt = 0.1f;
    std::vector<float> launches;
    int heldFrames = 0;
    bool checkedOwner = false;
    for (int i = 1; i <= 2000; ++i) {
        const uint32_t before = site->launches;
        if (i == 1500)
            Move(*target, {0, 2000, 11000}, {0, 0, 0}); // out of launch range, still held
        Frame(dt);
        heldFrames += site->target.Get() != nullptr;
        if (site->launches != before) {
            launches.push_back(world->time->time);
            if (!checkedOwner) {
                world->ForEach([&](Obj::Object* o) {
                    if (auto* missile = dynamic_cast<Weapons::HomingRocket*>(o)) {
                        EXPECT_EQ(missile->owner.Get(), static_cast<Obj::Attachable*>(carrier));
                        EXPECT_TRUE(missile->IsLocked());
                        EXPECT_EQ(missile->GetTarget(), target);
                    }
                });
                checkedOwner = true;
            }
        }
    }
    ASSERT_GE(launches.size(), 3u);
    EXPECT_LE(launches[0], 0.2f) << "the first launch follows the first search at once";
    for (size_t k = 1; k < launches.size(); ++k) {
        const float gap = launches[k] - launches[k - 1];
        EXPECT_GE(gap, 30.0f - 1e-3f);
        EXPECT_LE(gap, 60.0f + dt + 1e-3f);
        EXPECT_LT(launches[k], 150.0f + 1e-3f) << "none out of range";
    }
    EXPECT_EQ(Cockpit(target).Count(carrier, Obj::CockpitLink::ThreatTracked), heldFrames);
    EXPECT_GT(heldFrames, 1900);
    EXPECT_LT(target->hitPoints, 1e6f) << "the missiles reach it";
    EXPECT_EQ(carrier->hits, 0);
    EXPECT_EQ(carrier->hitPoints, 1000);
}

// The armed vehicles' makers give them these weapons with the vehicles' values.
TEST_F(AutoWeapons, VehicleMakers) {
    ASSERT_TRUE(Weapons::InstallVehicleWeapons());
    Vehicle* carrier = MakeVehicle();
    Obj::Frame* gunFrame = Obj::VehicleWeapons::CreateAutoGun(carrier, Obj::VehicleWeapons::Gun{});
    auto* gun = dynamic_cast<AutoGun*>(gunFrame);
    ASSERT_NE(gun, nullptr);
    EXPECT_EQ(gun->range, 2250.0f);
    EXPECT_FLOAT_EQ(gun->aimError, 3.14159265f / 360);
    EXPECT_EQ(gun->carrier, carrier);
    Obj::Frame* siteFrame = Obj::VehicleWeapons::CreateAutoLauncher(carrier, 10000);
    auto* site = dynamic_cast<AutoLauncher*>(siteFrame);
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(site->range, 10000.0f);
    delete gunFrame;
    delete siteFrame;
    Obj::VehicleWeapons::CreateAutoGun = nullptr;
    Obj::VehicleWeapons::CreateAutoLauncher = nullptr;
}

} // namespace
