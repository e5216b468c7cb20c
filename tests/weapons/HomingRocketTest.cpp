// Homing missiles from the sample descriptions: the keys, the seeker's search and lock on the rack, losing
// the target in flight, the proximity fuse, the guidance against straight and turning airplanes, decoys and
// jamming.
#include "tests/weapons/StoresFixture.h"

#include "weapons/Countermeasure.h"
#include "weapons/HomingRocket.h"

#include "base/Random.h"
#include "objects/Explosion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

namespace {

using Weapons::HomingRocket;

constexpr float Pi = 3.14159265358979f;

// A target that is only a sphere, placed by the test.
class Beacon : public Obj::Object, public Obj::Target {
public:
    explicit Beacon(RwV3d at) : sphere{at, 5} {}
    const RwSphere* GetBoundingSphere() override { return &sphere; }
    bool IntersectSegment(const RwLine*, RwV3d*, RwV3d*) override { return false; }
    void SetWorld(Grp::World* w) override {
        Obj::Object::SetWorld(w);
        if (w)
            w->targets->Insert(this);
        else if (Obj::Target::group)
            Grp::Simple<Obj::Target>::Remove(this);
    }
    RwSphere sphere;
};

class Missiles : public StoresWorld {
protected:
    void SetUp() override {
        StoresWorld::SetUp();
        Base::Random::Seed(20261210);
    }
    Base::Info Description(const char* name) {
        Base::Info info;
        EXPECT_EQ(info.LoadFile(models + "/Weapons/" + name + ".info"), 0);
        return info;
    }
    // A missile from the sample description, facing +z at the point, in the world (not launched).
    HomingRocket* Missile(const char* name, RwV3d at) {
        auto* missile = new HomingRocket();
        const Base::Info info = Description(name);
        EXPECT_TRUE(missile->LoadParams(&info)) << missile->loadError;
        Place(missile, at);
        world->AddObject(missile);
        return missile;
    }
    static void Place(Rw::Frame* frame, RwV3d at) {
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.pos = at;
        RwMatrixUpdate(&m);
        frame->Transform(&m, rwCOMBINEREPLACE);
    }
    // A carrier to hang missiles on: a model at the point facing +z.
    Obj::Model* Carrier(RwV3d at) {
        auto* carrier = new Obj::Model();
        const Base::Info info = Description("RocketPod");
        EXPECT_TRUE(carrier->Load(&info));
        Place(carrier, at);
        world->AddObject(carrier);
        return carrier;
    }
    Beacon* AddBeacon(RwV3d at) {
        auto* beacon = new Beacon(at);
        world->AddObject(beacon);
        return beacon;
    }
    // An airplane on the null flight model, out of the world, flying level at the point with the velocity.
    std::unique_ptr<Obj::Airplane> Airliner(RwV3d at, RwV3d velocity) {
        std::unique_ptr<Obj::Airplane> a = Loaded(Sample("Mig29"), 0);
        if (a)
            Move(*a, at, velocity);
        return a;
    }
    static void Move(Obj::Airplane& a, RwV3d at, RwV3d velocity) {
        Physics::AirplaneState s = a.GetState();
        const RwV3d forward = Base::Normalize3d(RwV3d{velocity.x, 0, velocity.z});
        RwMatrix m;
        RwMatrixSetIdentity(&m);
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
        a.SetState(s);
    }
    // One frame of dt at the world's clock: the simulation up to it, then every runnable.
    void Step(float dt) { Frame(dt); }
    template <class T> T* Find() {
        T* found = nullptr;
        world->ForEach([&](Obj::Object* o) {
            if (!found)
                found = dynamic_cast<T*>(o);
        });
        return found;
    }
};

TEST_F(Missiles, Keys) {
    HomingRocket sample;
    const Base::Info info = Description("ShortAAM");
    ASSERT_TRUE(sample.LoadParams(&info)) << sample.loadError;
    EXPECT_EQ(sample.guidance, Weapons::GuidanceInfrared);
    EXPECT_EQ(sample.fuseDistance, 6.0f);
    EXPECT_EQ(sample.seeker->turnRate, 25.0f);
    EXPECT_EQ(sample.upAdjustFactor, 0.3f);
    EXPECT_EQ(sample.fileName, "Weapons\\ShortAAM.info");

    // The sample description with one key's line changed or left out (value null).
    const auto edited = [&](const char* key, const char* value) {
        std::ifstream in(models + "/Weapons/ShortAAM.info");
        std::string text, line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string first;
            words >> first;
            if (first == key) {
                if (!value)
                    continue;
                line = std::string("\t") + key + "\t" + value;
            }
            text += line + "\n";
        }
        return text;
    };
    const struct {
        const char* key;
        const char* value;
        bool loads;
        Weapons::GuidanceKind kind;
    } rows[] = {
        {"Guidance", "Radar", true, Weapons::GuidanceRadar},
        {"Guidance", "Other", true, Weapons::GuidanceOther},
        {"Guidance", "infrared", false, {}},
        {"Guidance", nullptr, false, {}},
        {"FuseDistance", nullptr, false, {}},
        {"TargetingSpeed", nullptr, false, {}},
        {"UpAdjustFactor", nullptr, true, Weapons::GuidanceInfrared},
        {"FileName", nullptr, false, {}},
        {"Acc", "0", false, {}}, // the guidance divides by it
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.key) + " " + (row.value ? row.value : "(missing)"));
        Base::Info info;
        ASSERT_EQ(info.LoadText(edited(row.key, row.value)), 0);
        HomingRocket missile;
        EXPECT_EQ(missile.LoadParams(&info), row.loads) << missile.loadError;
        EXPECT_EQ(missile.paramsLoaded, row.loads);
        if (row.loads) {
            EXPECT_EQ(missile.guidance, row.kind);
        }
        if (row.loads && !row.value) {
            EXPECT_EQ(missile.upAdjustFactor, 0.0f) << "the default";
        }
    }
}

// On its rack the seeker slews towards a target inside its cone at its turning rate, wobbling, and locks
// once on it: the lock takes at least the slew from the nose to within the lock tolerance, and at most the
// slew at the rate's worst share (the wobble turns the slew's axis by up to 45 degrees).
TEST_F(Missiles, SeekerLockTimeGrowsWithTheAngle) {
    Obj::Model* carrier = Carrier({0, 1000, 0});
    HomingRocket* missile = Missile("ShortAAM", {0, 0, 0});
    Weapons::Rack rack(nullptr, carrier, carrier->frame);
    rack.Load(missile);
    const float dt = 1.0f / 60, rate = missile->seeker->turnRate;
    const float tolerance = Weapons::HomingRocket::LockTolerance * 180 / Pi; // degrees
    std::vector<double> means;
    for (float degrees : {2.0f, 5.0f, 10.0f}) {
        SCOPED_TRACE(degrees);
        const float a = degrees * Pi / 180;
        Beacon* beacon = AddBeacon({2000 * std::sin(a), 1000, 2000 * std::cos(a)});
        double sum = 0;
        const int searches = 40;
        const double fastest = (degrees - tolerance) / rate,
                     slowest = degrees / (rate * std::cos(Pi / 4)) + dt;
        for (int n = 0; n < searches; ++n) {
            missile->SetTarget(beacon, false);
            int frames = 0;
            while (!missile->IsLocked() && frames < 1000) {
                Clock(world->time->time + dt, dt);
                Grp::RunGroup(*world->runnables);
                ++frames;
            }
            ASSERT_TRUE(missile->IsLocked());
            EXPECT_GE(frames * dt, fastest - dt);
            EXPECT_LE(frames * dt, slowest);
            sum += frames * dt;
            // Held, the lock's range is told from the next search on.
            Clock(world->time->time + dt, dt);
            Grp::RunGroup(*world->runnables);
            EXPECT_TRUE(missile->seeker->inRange) << "2000 units: within 0.75 of its 8500";
        }
        means.push_back(sum / searches);
        world->RemoveObject(beacon);
        delete beacon;
    }
    EXPECT_LT(means[0], means[1]);
    EXPECT_LT(means[1], means[2]);
}

// Beyond the seeker's cone (cosine 0.98, about 11.5 degrees) there is no lock, and a held lock is lost when
// the target leaves the cone; a target beyond 0.75 of the missile's reach is locked but not in range.
TEST_F(Missiles, SeekerConeAndRange) {
    Obj::Model* carrier = Carrier({0, 1000, 0});
    HomingRocket* missile = Missile("ShortAAM", {0, 0, 0});
    Weapons::Rack rack(nullptr, carrier, carrier->frame);
    rack.Load(missile);
    const float dt = 1.0f / 60;
    auto at = [](float degrees, float distance) {
        const float a = degrees * Pi / 180;
        return RwV3d{distance * std::sin(a), 1000, distance * std::cos(a)};
    };
    auto frames = [&](int n) {
        for (int i = 0; i < n; ++i) {
            Clock(world->time->time + dt, dt);
            Grp::RunGroup(*world->runnables);
        }
    };
    Beacon* beacon = AddBeacon(at(12, 2000));
    missile->SetTarget(beacon, false);
    frames(600);
    EXPECT_FALSE(missile->IsLocked());
    EXPECT_EQ(missile->seeker->axis.z, 1.0f);

    beacon->sphere.center = at(5, 7000);
    frames(121);
    ASSERT_TRUE(missile->IsLocked());
    EXPECT_FALSE(missile->seeker->inRange) << "7000 / 850 is beyond 0.75 x 10 s";
    beacon->sphere.center = at(15, 2000);
    frames(1);
    EXPECT_FALSE(missile->IsLocked());

    // Launched before its seeker has locked, it flies straight on.
    beacon->sphere.center = at(5, 2000);
    missile->SetTarget(beacon, false);
    missile->Launch({0, 0, 250});
    for (int i = 0; i < 50; ++i)
        Step(0.02f);
    EXPECT_EQ(missile->velocity.x, 0.0f);
    EXPECT_EQ(missile->velocity.y, 0.0f);
    EXPECT_GT(missile->velocity.z, 250.0f);
}

// In flight a locked missile keeps a target exactly abeam and drops one just behind.
TEST_F(Missiles, TargetBehindIsDropped) {
    HomingRocket* missile = Missile("ShortAAM", {0, 1000, 0});
    Beacon* beacon = AddBeacon({100, 1000, 0});
    missile->SetTarget(beacon, true);
    missile->Launch({0, 0, 300});
    Clock(0.001f, 0.001f);
    missile->Run();
    EXPECT_EQ(missile->GetTarget(), beacon) << "abeam";
    EXPECT_TRUE(missile->IsLocked());
    const float z = RwFrameGetWorldMatrix(missile->frame)->pos.z;
    beacon->sphere.center = {100, 1000, z - 0.01f};
    Clock(0.002f, 0.001f);
    missile->Run();
    EXPECT_EQ(missile->GetTarget(), nullptr) << "behind";
    EXPECT_FALSE(missile->IsLocked());
}

// The proximity fuse fires when the step's path passes the target's centre at the fuse distance or nearer,
// at the path's point nearest to it. No thrust here, so the path is straight.
TEST_F(Missiles, FuseAtExactlyTheFuseDistance) {
    for (float offset : {6.0f, 6.01f}) {
        SCOPED_TRACE(offset);
        HomingRocket* missile = Missile("ShortAAM", {0, 1000, 0});
        ASSERT_EQ(missile->fuseDistance, 6.0f);
        missile->timeToEngineStart = 100;
        Beacon* beacon = AddBeacon({offset, 1000, 500});
        Base::SmartPtr<HomingRocket> alive(missile);
        missile->SetTarget(beacon, true);
        missile->Launch({0, 0, 300});
        for (int i = 0; i < 150 && alive; ++i)
            Step(0.02f);
        Obj::Explosion* blast = Find<Obj::Explosion>();
        if (offset == 6.0f) {
            ASSERT_FALSE(alive);
            ASSERT_NE(blast, nullptr);
            EXPECT_EQ(blast->position[0], 0.0f);
            EXPECT_EQ(blast->position[1], 1000.0f);
            EXPECT_EQ(blast->position[2], 500.0f);
        } else {
            EXPECT_EQ(blast, nullptr);
            EXPECT_EQ(missile->GetTarget(), nullptr) << "passed by, then behind";
        }
        world->Clear();
    }
}

// What a guided flight came to: whether it fused, how near, and the largest sideways acceleration.
struct Flight {
    bool fused = false;
    float miss = 1e9f;
    float largestTurn = 0;
};

class Guidance : public Missiles {
protected:
    // A missile at (0, 1000, 0) facing +z, launched at 250 locked on an airplane that moves as motion
    // says (position and velocity at a time); flown for up to 20 s in 0.02 s frames.
    template <class Motion> Flight Fly(Motion motion) {
        Flight flight;
        RwV3d p, v;
        motion(0.0f, p, v);
        std::unique_ptr<Obj::Airplane> target = Airliner(p, v);
        if (!target)
            return flight;
        HomingRocket* missile = Missile("ShortAAM", {0, 1000, 0});
        Base::SmartPtr<HomingRocket> alive(missile);
        missile->SetTarget(target.get(), true);
        missile->Launch({0, 0, 250});
        const float dt = 0.02f;
        for (int i = 1; i <= 1000 && alive; ++i) {
            motion(i * dt, p, v);
            Move(*target, p, v);
            const RwV3d before = missile->velocity;
            Step(dt);
            if (!alive)
                break;
            const RwV3d after = missile->velocity;
            const RwV3d u = Base::Normalize3d(before);
            const RwV3d change = {after.x - before.x, after.y - before.y, after.z - before.z};
            const float along = change.x * u.x + change.y * u.y + change.z * u.z;
            const RwV3d side = {change.x - along * u.x, change.y - along * u.y, change.z - along * u.z};
            flight.largestTurn = std::max(
                flight.largestTurn, std::sqrt(side.x * side.x + side.y * side.y + side.z * side.z) / dt);
        }
        if (Obj::Explosion* blast = Find<Obj::Explosion>()) {
            flight.fused = true;
            const RwV3d c = target->GetBoundingSphere()->center;
            const float dx = blast->position[0] - c.x, dy = blast->position[1] - c.y,
                        dz = blast->position[2] - c.z;
            flight.miss = std::sqrt(dx * dx + dy * dy + dz * dz);
        }
        const bool flying = bool(alive);
        world->Clear();
        if (flying)
            ADD_FAILURE() << "still flying";
        return flight;
    }
};

// Straight targets head-on, chased from behind and crossing at right angles: each is fused on within the
// fuse distance, and the missile never turns harder than its engine's acceleration allows.
TEST_F(Guidance, StraightTargets) {
    const struct {
        const char* what;
        RwV3d start, velocity;
    } rows[] = {
        {"head-on", {150, 1000, 5000}, {0, 0, -250}},
        {"tail chase", {100, 1100, 2500}, {0, 0, 250}},
        {"crossing", {3000, 1000, 3000}, {-250, 0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Flight flight = Fly([&](float t, RwV3d& p, RwV3d& v) {
            v = row.velocity;
            p = {row.start.x + v.x * t, row.start.y + v.y * t, row.start.z + v.z * t};
        });
        EXPECT_TRUE(flight.fused);
        EXPECT_LE(flight.miss, 6.0f + 1e-3f);
        EXPECT_LE(flight.largestTurn, 300.0f * 1.0001f);
        EXPECT_GT(flight.largestTurn, 0.0f);
    }
}

// An airplane turning at 5 g, met from random directions and distances (fixed seeds): most are hit.
TEST_F(Guidance, TurningTargetIsHitMostOfTheTime) {
    const float speed = 250, radius = speed * speed / (5 * 9.81f);
    std::mt19937 draws(4242);
    std::uniform_real_distribution<float> unit(0, 1);
    int hits = 0;
    const int tries = 16;
    for (int n = 0; n < tries; ++n) {
        const float bearing = (unit(draws) - 0.5f) * Pi / 3, distance = 2500 + 1500 * unit(draws);
        const float phase = unit(draws) * 2 * Pi;
        const RwV3d centre = {distance * std::sin(bearing), 1000, distance * std::cos(bearing)};
        const Flight flight = Fly([&](float t, RwV3d& p, RwV3d& v) {
            const float a = phase + speed / radius * t;
            p = {centre.x + radius * std::cos(a), centre.y, centre.z + radius * std::sin(a)};
            v = {-speed * std::sin(a), 0, speed * std::cos(a)};
        });
        EXPECT_LE(flight.largestTurn, 300.0f * 1.0001f);
        if (flight.fused && flight.miss <= 6.0f + 1e-3f)
            ++hits;
    }
    RecordProperty("hits", hits);
    EXPECT_GE(hits, tries * 3 / 4) << hits << " of " << tries;
}

// Decoys: from the third check on (two samples give a prediction) a decoy nearer to where the target was
// expected than the target itself seduces the seeker with the chance exp(-0.0002 d) (at most 0.9): flares
// only infrared seekers, chaff only radar ones, and "Other" seekers neither.
TEST_F(Missiles, DecoysSeduceTheirKindOfSeeker) {
    HomingRocket* missile = Missile("ShortAAM", {0, 1000, 0});
    const RwV3d expected = {0, 1000, 1000};
    Beacon* beacon = AddBeacon(expected);
    for (Weapons::Countermeasure* decoy : {static_cast<Weapons::Countermeasure*>(new Weapons::Flare()),
                                           static_cast<Weapons::Countermeasure*>(new Weapons::Chaff())}) {
        decoy->Setup({0, 0, 0});
        Place(decoy, {1, 1000, 1000});
        world->AddObject(decoy);
    }
    const double chance = std::exp(-0.0002 * 1000);
    const struct {
        Weapons::GuidanceKind kind;
        const char* decoy; // the kind expected to seduce, or null
    } rows[] = {{Weapons::GuidanceInfrared, "flare"},
                {Weapons::GuidanceRadar, "chaff"},
                {Weapons::GuidanceOther, nullptr}};
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.kind));
        int switched = 0, early = 0;
        const int trials = 400;
        for (int n = 0; n < trials; ++n) {
            beacon->sphere.center = expected;
            missile->SetTarget(beacon, true);
            missile->CheckDecoys(row.kind);
            missile->CheckDecoys(row.kind);
            early += missile->GetTarget() != beacon;
            // The target breaks away from where it was expected; the decoys stay there.
            beacon->sphere.center = {50, 1000, 1000};
            missile->CheckDecoys(row.kind);
            if (Obj::Target* now = missile->GetTarget(); now != beacon) {
                ++switched;
                EXPECT_TRUE(missile->IsLocked()) << "the lock passes to the decoy";
                if (row.decoy && std::string(row.decoy) == "flare") {
                    EXPECT_NE(dynamic_cast<Weapons::Flare*>(now), nullptr);
                } else {
                    EXPECT_NE(dynamic_cast<Weapons::Chaff*>(now), nullptr);
                }
            }
        }
        EXPECT_EQ(early, 0) << "no decoy test before the third check";
        if (row.decoy) {
            EXPECT_NEAR(double(switched) / trials, chance, 0.06);
        } else {
            EXPECT_EQ(switched, 0);
        }
    }
}

// A jamming airplane breaks a radar seeker's lock at each check with the chance 0.000002 d; infrared
// seekers do not mind.
TEST_F(Missiles, JammingBreaksRadarLocks) {
    HomingRocket* missile = Missile("MediumAAM", {0, 1000, 0});
    std::unique_ptr<Obj::Airplane> target = Airliner({0, 1000, 50000}, {0, 0, 200});
    ASSERT_NE(target, nullptr);
    Physics::AirplaneState s = target->GetState();
    s.jammerOn = 1;
    target->SetState(s);
    const float d = 50000; // as near as the sphere's centre is to it
    const struct {
        Weapons::GuidanceKind kind;
        bool jamming;
        double rate;
    } rows[] = {{Weapons::GuidanceRadar, true, 0.000002 * d},
                {Weapons::GuidanceInfrared, true, 0},
                {Weapons::GuidanceOther, true, 0},
                {Weapons::GuidanceRadar, false, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.kind));
        s.jammerOn = row.jamming;
        target->SetState(s);
        int dropped = 0;
        const int trials = 2000;
        for (int n = 0; n < trials; ++n) {
            missile->SetTarget(target.get(), true);
            missile->CheckDecoys(row.kind);
            dropped += missile->GetTarget() == nullptr;
        }
        EXPECT_NEAR(double(dropped) / trials, row.rate, 0.02);
    }
}

} // namespace
