// Ships, their wakes and the carrier's catapults: the beam and its fallback, the wake's interval, a
// stationary ship's wake, a wake let go that fades and deletes itself, a paused world, and the catapult's
// states with an airplane double.
#include "VehicleFixture.h"

#include "objects/Ship.h"
#include "objects/WaterTrail.h"
#include "scene/WorldPasses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <vector>

namespace {

using Base::Vector2;

class Ships : public VehicleWorld {
protected:
    template <class S = Obj::Ship>
    S* Spawn(const char* file, Vector2 position, Vector2 direction, float speed, float turnRate = 0.02f) {
        const Base::Info info = Read(file);
        auto* ship = new S;
        if constexpr (std::is_base_of_v<Obj::WarShip, S>)
            EXPECT_TRUE(ship->Setup(&info, position, direction, speed, 10, turnRate, 0.02f, false, false));
        else
            EXPECT_TRUE(ship->Setup(&info, position, direction, speed, 10, turnRate, 0.02f));
        world->AddObject(ship);
        return ship;
    }
    static bool Finite(const Obj::WaterTrail& wake) {
        for (const auto& p : wake.points)
            if (!std::isfinite(p.x) || !std::isfinite(p.z) || !std::isfinite(p.dirX) ||
                !std::isfinite(p.dirZ) || !std::isfinite(p.u) || !std::isfinite(p.intensity) ||
                !std::isfinite(p.birthTime))
                return false;
        return true;
    }
};

// A ship whose model the segment across it at y = 0.1 misses.
struct HighShip : Obj::Ship {
    explicit HighShip(float halfWidth, float bottom) : halfWidth(halfWidth), bottom(bottom) {}
    bool Load(const Base::Info*) override {
        // Two sides facing outwards (the segment test sees front faces only).
        SetClump(
            SceneEngine::MakeClump(
                {{"Left", {-halfWidth, bottom, -5}, {-halfWidth, bottom, 5}, {-halfWidth, bottom + 10, 0}},
                 {"Right", {halfWidth, bottom, -5}, {halfWidth, bottom + 10, 0}, {halfWidth, bottom, 5}}}),
            true);
        return true;
    }
    float halfWidth, bottom;
};

TEST_F(Ships, BeamIsMeasuredOrFallsBackToOne) {
    struct Case {
        float halfWidth, bottom, beam;
    } cases[] = {{5, -1, 2 * std::hypot(5.0f, 0.1f)}, {5, 0.5f, 1}, {50, -1, 2 * std::hypot(50.0f, 0.1f)}};
    // The segment runs 0.1 above the origin: the beam is twice the distance from the origin to the hit.
    for (const Case& c : cases) {
        auto* ship = new HighShip(c.halfWidth, c.bottom);
        ASSERT_TRUE(ship->Setup(nullptr, {100, 200}, {0, 1}, 0, 10, 0.02f, 0.02f));
        EXPECT_NEAR(ship->beam, c.beam, 1e-3) << c.halfWidth << " " << c.bottom;
        world->AddObject(ship);
        ASSERT_TRUE(ship->wake);
        EXPECT_NEAR(ship->wake->startWidth, c.beam, 1e-3);
        EXPECT_NEAR(ship->wake->endWidth, 20 * c.beam, 1e-2);
        EXPECT_EQ(ship->wake->widenRate, 2.0f);
        world->RemoveObject(ship);
        delete ship;
    }
    // The sample patrol ship: its hull is some 7 wide at the waterline.
    auto* ship = Spawn("PatrolShip.info", {0, 0}, {0, 1}, 0);
    EXPECT_GT(ship->beam, 4);
    EXPECT_LT(ship->beam, 8);
    world->RemoveObject(ship);
    delete ship;
}

TEST_F(Ships, WakeIntervalFollowsTheTurnRate) {
    struct Case {
        float turnRate, interval;
    } cases[] = {{0.02f, 0.1f / 0.021f}, {0.25f, 0.1f / 0.251f}, {0, 10}, {-0.0005f, 10}, {-0.002f, 0}};
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(Obj::Ship::WakeInterval(c.turnRate), c.interval) << c.turnRate;

    auto* ship = Spawn("PatrolShip.info", {0, 0}, {0, 1}, 5);
    EXPECT_FLOAT_EQ(ship->wakeInterval, 0.1f / 0.021f);
    ASSERT_TRUE(ship->wake);
    EXPECT_FLOAT_EQ(ship->wake->pointInterval, ship->wakeInterval);
    EXPECT_EQ(ship->wake->runOrder, 129);
    EXPECT_EQ(ship->wake->renderOrders, std::vector<uint8_t>{201});
    world->RemoveObject(ship);
    delete ship;

    // An interval of 0 could never lay the strip: such a ship sails without a wake.
    auto* spinning = Spawn("PatrolShip.info", {0, 0}, {0, 1}, 5, -0.002f);
    EXPECT_EQ(spinning->wakeInterval, 0);
    EXPECT_FALSE(spinning->wake);
    world->RemoveObject(spinning);
    delete spinning;
}

// The strip that a moving ship would already have left: one point per interval over the wake's lifetime,
// behind the ship, with foam from its speed; the newest born now, older ones an interval apart.
TEST_F(Ships, SetupLaysTheStripBehindAMovingShip) {
    struct Case {
        Vector2 velocity;
        float intensity;
    } cases[] = {{{0, 5}, 0.8f}, {{3, -4}, 0.8f}, {{0, 0.5f}, 0.0f}};
    world->time->time = 100;
    for (const Case& c : cases) {
        auto* wake = new Obj::WaterTrail;
        ASSERT_TRUE(wake->Setup(1, 20, 2, 1, c.velocity)); // lifetime 9.5
        ASSERT_EQ(wake->points.size(), 9u);
        const float v = std::hypot(c.velocity.x, c.velocity.y);
        for (size_t i = 0; i < 9; ++i) {
            const auto& p = wake->points[i];
            const float t = -9.0f + float(i);
            EXPECT_NEAR(p.x, c.velocity.x * t, 1e-4);
            EXPECT_NEAR(p.z, c.velocity.y * t, 1e-4);
            EXPECT_NEAR(p.dirX, c.velocity.x / v, 1e-6);
            // The first point is half an interval from where the strip starts.
            const float first = std::clamp((0.5f * v - 1) * 0.2f, 0.0f, 1.0f);
            EXPECT_NEAR(p.intensity, i == 0 ? first : c.intensity, 1e-5);
            EXPECT_NEAR(p.u, 0.01f * v * (float(i) + 0.5f), 1e-4);
        }
        world->AddObject(wake);
        EXPECT_EQ(wake->points.back().birthTime, 100);
        EXPECT_EQ(wake->points.front().birthTime, 92);
        world->RemoveObject(wake);
        delete wake;
    }
    Obj::WaterTrail bad;
    EXPECT_FALSE(bad.Setup(1, 20, 2, 0, {0, 5}));
    EXPECT_FALSE(bad.Setup(1, 20, 0, 1, {0, 5}));
    EXPECT_FALSE(bad.Setup(1, 20, 2, 1e-30f, {0, 5})) << "a turn rate of 1e29 a second";
    EXPECT_FALSE(bad.Setup(1, 20, 2, 9.5f / 100001, {0, 5})) << "one point past the bound";
    EXPECT_TRUE(bad.Setup(1, 20, 2, 9.5f / 99999, {0, 5}));
    bad.points.clear();
    EXPECT_TRUE(bad.points.empty());
}

// A ship at rest lays nothing before it runs and then keeps one head point at the ship: every value finite.
TEST_F(Ships, AStationaryShipsWakeStaysFinite) {
    auto* ship = Spawn<Obj::Carrier>("Carrier.model", {300, -400}, {0.6f, 0.8f}, 0);
    Obj::WaterTrail* wake = ship->wake;
    ASSERT_NE(wake, nullptr);
    EXPECT_TRUE(wake->points.empty());
    size_t most = 0;
    for (int i = 0; i < 1000; ++i) { // longer than the wake's lifetime
        Step(0.5f);
        ASSERT_TRUE(Finite(*wake)) << i;
        most = std::max(most, wake->points.size());
        for (const auto& p : wake->points) {
            EXPECT_NEAR(p.x, 300, 1e-3);
            EXPECT_NEAR(p.z, -400, 1e-3);
            EXPECT_EQ(p.intensity, 0);
        }
    }
    EXPECT_LE(most, 2u);
    world->RemoveObject(ship);
    delete ship;
}

// A paused world (step 0) leaves the wake as it is.
TEST_F(Ships, APausedWorldFreezesTheWake) {
    auto* ship = Spawn("PatrolShip.info", {0, 0}, {0, 1}, 8);
    ship->MoveTo({0, 100000});
    for (int i = 0; i < 200; ++i)
        Step(0.1f);
    Obj::WaterTrail* wake = ship->wake;
    const auto before = wake->points;
    ASSERT_GE(before.size(), 3u);
    const RwV3d position = RwFrameGetWorldMatrix(ship->frame)->pos;
    for (int i = 0; i < 50; ++i)
        Step(0);
    ASSERT_EQ(wake->points.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(wake->points[i].x, before[i].x);
        EXPECT_EQ(wake->points[i].z, before[i].z);
        EXPECT_EQ(wake->points[i].birthTime, before[i].birthTime);
        EXPECT_EQ(wake->points[i].intensity, before[i].intensity);
    }
    EXPECT_EQ(RwFrameGetWorldMatrix(ship->frame)->pos.z, position.z);
    world->RemoveObject(ship);
    delete ship;
}

// A sailing ship drops a point about every interval once it has moved more than the wake's start width; the
// head rides with the ship and its foam follows the speed.
TEST_F(Ships, TheWakeFollowsASailingShip) {
    auto* ship = Spawn("PatrolShip.info", {0, 0}, {0, 1}, 10);
    ship->MoveTo({0, 100000});
    Obj::WaterTrail* wake = ship->wake;
    const size_t start = wake->points.size();
    for (int i = 0; i < 100; ++i) // 10 s: about two intervals of 4.76 s
        Step(0.1f);
    EXPECT_GE(wake->points.size(), start + 1);
    const auto& head = wake->points.back();
    double p[3];
    ship->GetWorldPositionDouble(p);
    EXPECT_NEAR(head.x, p[0], 1e-3);
    EXPECT_NEAR(head.z, p[2], 1e-3);
    EXPECT_NEAR(head.intensity, std::min((ship->speed - 1) * 0.2f, 1.0f), 0.05f);
    EXPECT_EQ(RwFrameGetWorldMatrix(ship->frame)->pos.y, 0) << "held at sea level";
    EXPECT_EQ(p[1], 0);
    EXPECT_TRUE(Finite(*wake));
    world->RemoveObject(ship);
    delete ship;
}

// Let go by its ship, the wake stays in the world where it was, gains no points, fades and deletes itself.
TEST_F(Ships, ADetachedWakeFadesAndDeletesItself) {
    auto* ship = Spawn("PatrolShip.info", {0, 0}, {0, 1}, 10);
    ship->MoveTo({0, 100000});
    for (int i = 0; i < 100; ++i)
        Step(0.1f);
    Base::SmartPtr<Obj::WaterTrail> wake = ship->wake.Get();
    const RwV3d before = RwFrameGetWorldMatrix(wake->frame)->pos;
    world->RemoveObject(ship);
    delete ship;
    ASSERT_TRUE(wake);
    EXPECT_TRUE(wake->detached);
    EXPECT_EQ(wake->Obj::Object::world, world.get());
    EXPECT_EQ(wake->points.back().intensity, 0) << "the head fades at once";
    const RwV3d after = RwFrameGetWorldMatrix(wake->frame)->pos;
    EXPECT_NEAR(after.z, before.z, 1e-3) << "keeps its world placement";
    size_t count = wake->points.size();
    const float lifetime = wake->Lifetime();
    int steps = 0;
    while (wake && steps < 10000) {
        EXPECT_LE(wake->points.size(), count);
        count = wake->points.size();
        Step(0.1f);
        ++steps;
    }
    EXPECT_FALSE(wake);
    EXPECT_LE(steps * 0.1f, lifetime + 1);
    EXPECT_TRUE(world->IsEmpty());
}

// A world cleared with a ship in it takes the wake that the ship lets go, too.
TEST_F(Ships, ClearingTheWorldTakesTheWake) {
    auto* ship = Spawn("PatrolShip.info", {0, 0}, {0, 1}, 10);
    Base::SmartPtr<Obj::WaterTrail> wake = ship->wake.Get();
    world->Clear();
    EXPECT_FALSE(wake);
    EXPECT_TRUE(world->IsEmpty());
}

// ---- carriers

// An airplane as the carrier sees it; like the real one, it puts its frame where its state says while held.
struct AirplaneDouble : Obj::Frame, Obj::CatapultAirplane {
    Obj::Frame* GetCatapultFrame() override { return this; }
    State GetCatapultState() override { return state; }
    void SetCatapultState(const State& s, bool fresh) override {
        if (fresh) {
            ++placements;
            RwMatrix m;
            RwMatrixSetIdentity(&m);
            m.pos = s.position;
            RwMatrixUpdate(&m);
            Transform(&m, rwCOMBINEREPLACE);
        }
        state = s;
        ++writes;
    }
    WheelGeometry GetWheelGeometry() override { return {2.0f, 0.5f, 0.4f}; }
    State state;
    int writes = 0, placements = 0;
};

class Carriers : public Ships {
protected:
    Obj::Carrier* Carrier(Vector2 at = {1000, 2000}, Vector2 direction = {0, 1}, float speed = 0) {
        return Spawn<Obj::Carrier>("Carrier.model", at, direction, speed);
    }
};

TEST_F(Carriers, CatapultsFromTheModel) {
    auto* carrier = Carrier();
    ASSERT_EQ(carrier->catapults.size(), 2u);
    const auto& c1 = carrier->catapults.at("C1");
    EXPECT_NEAR(c1.position.x, 9, 1e-4);
    EXPECT_NEAR(c1.position.z, 58, 1e-4);
    EXPECT_NEAR(c1.position.y, 18.03f, 0.05f) << "on the deck, found from above";
    EXPECT_EQ(c1.length, 62);
    EXPECT_EQ(c1.heading, 0);
    world->RemoveObject(carrier);
    delete carrier;
}

TEST_F(Carriers, ACarrierWithoutLengthFailsToLoad) {
    const Base::Info noLength = FromText(
        "Dff\tCarrier.dff\nCatapults\n{\n\tC1\n\t{\n\t\tPosition\t9 58\n\t\tHdg\t0\n\t\tLength\t62\n\t}\n"
        "\tC2\n\t{\n\t\tPosition\t-9 58\n\t\tHdg\t0\n\t}\n}\n");
    Obj::Carrier carrier;
    EXPECT_FALSE(carrier.Load(&noLength));
    Obj::Carrier other;
    EXPECT_FALSE(other.Setup(&noLength, {0, 0}, {0, 1}, 0, 10, 0.02f, 0.02f, false, false));
    for (const char* missing : {"Position\t9 58", "Hdg\t0"}) {
        std::string text = "Dff\tCarrier.dff\nCatapults\n{\n\tC\n\t{\n\t\tPosition\t9 "
                           "58\n\t\tHdg\t0\n\t\tLength\t6\n\t}\n}\n";
        text.erase(text.find(missing), std::string(missing).size());
        const Base::Info info = FromText(text);
        Obj::Carrier c;
        EXPECT_FALSE(c.Load(&info)) << missing;
    }
    // Without "Catapults" at all: a carrier with none, on which nothing can be placed.
    const Base::Info bare = FromText("Dff\tCarrier.dff\n");
    Obj::Carrier none;
    ASSERT_TRUE(none.Load(&bare));
    EXPECT_TRUE(none.catapults.empty());
    AirplaneDouble airplane;
    EXPECT_FALSE(none.PlaceOnCatapult(&airplane, "C1"));
}

TEST_F(Carriers, PlacingFailsWhenAttachedUnknownOrOccupied) {
    auto* carrier = Carrier();
    AirplaneDouble first, second, hanging;
    Obj::Frame holder;
    hanging.AttachTo(&holder, holder.frame, false);
    EXPECT_FALSE(carrier->PlaceOnCatapult(&hanging, "C1"));
    EXPECT_EQ(hanging.writes, 0);
    EXPECT_FALSE(carrier->PlaceOnCatapult(&first, "C3"));
    EXPECT_FALSE(carrier->PlaceOnCatapult(&first, "c1")) << "names are exact";
    EXPECT_EQ(first.writes, 0);

    ASSERT_TRUE(carrier->PlaceOnCatapult(&first, "C1"));
    EXPECT_EQ(first.GetParent(), carrier);
    EXPECT_EQ(first.attachedToFrame, carrier->frame);
    EXPECT_EQ(first.placements, 1);
    EXPECT_TRUE(first.state.onCatapult);
    const auto& c1 = carrier->catapults.at("C1");
    EXPECT_NEAR(first.state.position.y, c1.position.y - (2.0f - 0.5f + 0.2f), 1e-5);
    EXPECT_EQ(first.state.position.x, c1.position.x);
    EXPECT_FALSE(carrier->PlaceOnCatapult(&second, "C1")) << "occupied";
    EXPECT_EQ(second.GetParent(), nullptr);
    EXPECT_FALSE(carrier->PlaceOnCatapult(&first, "C2")) << "already attached";
    ASSERT_TRUE(carrier->PlaceOnCatapult(&second, "C2"));

    EXPECT_TRUE(carrier->StartCatapultLaunch(&first));
    EXPECT_FALSE(carrier->StartCatapultLaunch(&first)) << "a launch already runs";
    EXPECT_FALSE(carrier->StartCatapultLaunch(&hanging));
    EXPECT_FALSE(carrier->ReleaseFromCatapult(&hanging));

    ASSERT_TRUE(carrier->ReleaseFromCatapult(&second));
    EXPECT_FALSE(second.state.onCatapult);
    EXPECT_EQ(second.GetParent(), nullptr);
    EXPECT_FALSE(carrier->catapults.at("C2").airplane);
    EXPECT_FALSE(carrier->ReleaseFromCatapult(&second));
    hanging.Detach(false);
    world->RemoveObject(carrier);
    first.Detach(true);
    delete carrier;
}

// The release keeps the airplane where it is in the world, however the carrier stands.
TEST_F(Carriers, TheReleaseKeepsTheWorldTransform) {
    auto* carrier = Carrier({-5000, 7000}, Base::Normalize2d(0.3f, -0.9f));
    AirplaneDouble airplane;
    ASSERT_TRUE(carrier->PlaceOnCatapult(&airplane, "C2"));
    const RwMatrix before = *RwFrameGetWorldMatrix(airplane.frame);
    ASSERT_TRUE(carrier->ReleaseFromCatapult(&airplane));
    const RwMatrix after = *RwFrameGetWorldMatrix(airplane.frame);
    EXPECT_EQ(airplane.attachedToFrame, nullptr);
    for (auto [a, b] : {std::pair{before.pos, after.pos}, {before.at, after.at}, {before.up, after.up}}) {
        EXPECT_NEAR(a.x, b.x, 1e-2);
        EXPECT_NEAR(a.y, b.y, 1e-2);
        EXPECT_NEAR(a.z, b.z, 1e-2);
    }
    world->RemoveObject(carrier);
    delete carrier;
}

// A moving carrier carries a waiting airplane along, with its own velocity in the airplane's state.
TEST_F(Carriers, AMovingCarrierCarriesAWaitingAirplane) {
    auto* carrier = Carrier({0, 0}, {1, 0}, 10);
    carrier->MoveTo({100000, 0});
    AirplaneDouble airplane;
    ASSERT_TRUE(carrier->PlaceOnCatapult(&airplane, "C1"));
    const RwV3d start = RwFrameGetWorldMatrix(airplane.frame)->pos;
    const RwV3d carrierStart = RwFrameGetWorldMatrix(carrier->frame)->pos;
    for (int i = 0; i < 50; ++i)
        Step(0.1f);
    const RwV3d moved = RwFrameGetWorldMatrix(airplane.frame)->pos;
    const RwV3d carrierMoved = RwFrameGetWorldMatrix(carrier->frame)->pos;
    EXPECT_GT(carrierMoved.x - carrierStart.x, 40);
    EXPECT_NEAR(moved.x - start.x, carrierMoved.x - carrierStart.x, 1e-2);
    EXPECT_NEAR(moved.z - start.z, carrierMoved.z - carrierStart.z, 1e-2);
    EXPECT_NEAR(airplane.state.velocity.x, carrier->speed, 1e-4);
    EXPECT_NEAR(airplane.state.velocity.z, 0, 1e-4);
    EXPECT_EQ(airplane.state.acceleration.x, 0);
    EXPECT_EQ(airplane.state.wheelTurn[0], 0);
    EXPECT_TRUE(airplane.state.onCatapult);
    world->RemoveObject(carrier);
    airplane.Detach(true);
    delete carrier;
}

// The launch: speed grows by 20 per second along the deck, the wheels turn, and after the catapult's length
// the airplane is let go.
TEST_F(Carriers, TheLaunchRunsTheCatapultsLength) {
    auto* carrier = Carrier();
    AirplaneDouble airplane;
    ASSERT_TRUE(carrier->PlaceOnCatapult(&airplane, "C1"));
    ASSERT_TRUE(carrier->StartCatapultLaunch(&airplane));
    const auto& c1 = carrier->catapults.at("C1");
    float previousZ = RwFrameGetMatrix(airplane.frame)->pos.z;
    int steps = 0;
    while (airplane.attachedToFrame && steps < 1000) {
        const float launch = c1.launchSpeed;
        Step(0.05f);
        ++steps;
        if (airplane.attachedToFrame) {
            EXPECT_NEAR(c1.launchSpeed, launch + 1.0f, 1e-4);
            const float z = RwFrameGetMatrix(airplane.frame)->pos.z;
            EXPECT_NEAR(z - previousZ, c1.launchSpeed * 0.05f, 1e-3);
            previousZ = z;
            EXPECT_EQ(airplane.state.acceleration.z, 20.0f);
        }
    }
    ASSERT_FALSE(airplane.attachedToFrame);
    EXPECT_FALSE(c1.airplane);
    EXPECT_FALSE(airplane.state.onCatapult);
    // sqrt(2 x 20 x 62) is about 50: released at about that speed, after about 2.5 s.
    EXPECT_NEAR(airplane.state.velocity.z, 50, 2);
    EXPECT_NEAR(steps * 0.05f, 2.5f, 0.15f);
    EXPECT_GT(airplane.state.wheelTurn[0], 0);
    EXPECT_NEAR(airplane.state.wheelTurn[1] * 0.5f, airplane.state.wheelTurn[0] * 0.4f, 1e-3);
    world->RemoveObject(carrier);
    delete carrier;
}

// An airplane that dies on its catapult leaves it empty.
TEST_F(Carriers, ADeadAirplaneLeavesItsCatapult) {
    auto* carrier = Carrier();
    auto* airplane = new AirplaneDouble;
    ASSERT_TRUE(carrier->PlaceOnCatapult(airplane, "C1"));
    delete airplane;
    EXPECT_FALSE(carrier->catapults.at("C1").airplane);
    Step(0.1f);
    AirplaneDouble next;
    EXPECT_TRUE(carrier->PlaceOnCatapult(&next, "C1"));
    world->RemoveObject(carrier);
    next.Detach(true);
    delete carrier;
}

} // namespace
