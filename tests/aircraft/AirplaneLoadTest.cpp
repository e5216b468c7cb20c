// Loading an airplane from its description: the sample's parts, flight model and offsets, and the table of
// damaged descriptions (nozzles, the pilot seat, the gun, the remote copy, the flight keys).
#include "AirplaneFixture.h"

#include "objects/Exhaust.h"
#include "physics/AirplanePhysicsComplex.h"
#include "physics/AirplanePhysicsNull.h"
#include "physics/AirplanePhysicsSimple.h"

#include <cmath>

namespace {

bool Starts(const std::string& line, const std::string& key) {
    const size_t first = line.find_first_not_of(" \t");
    return first != std::string::npos && line.compare(first, key.size(), key) == 0;
}

} // namespace

TEST_F(AirplaneWorld, TheSampleFighterLoadsWithItsPartsAndFlightModel) {
    for (const char* title : {"Su27", "Su25"}) {
        SCOPED_TRACE(title);
        auto airplane = Loaded(Sample(title), Obj::Airplane::ComplexModel);
        ASSERT_TRUE(airplane);
        for (const auto& wheel : airplane->wheels)
            EXPECT_TRUE(wheel.found);
        for (int i = 0; i < Obj::Airplane::SurfaceCount; ++i)
            EXPECT_TRUE(airplane->surfaces[i].found) << Obj::Airplane::SurfaceNames[i];
        ASSERT_NE(dynamic_cast<Physics::AirplanePhysicsComplex*>(airplane->flightModel.get()), nullptr);
        const Physics::ComplexPhysicsParams& c = airplane->flightModel->params.complex;
        EXPECT_GT(c.mass, 0);
        // The wheel positions come from the model's frames: the nose wheel ahead, the main wheels beside.
        EXPECT_GT(c.centerWheelPosition.z, c.sideWheelPosition.z);
        EXPECT_EQ(c.centerWheelPosition.x, 0);
        EXPECT_GT(std::fabs(c.sideWheelPosition.x), 0.5f);
        EXPECT_LT(c.centerWheelPosition.y, 0);
        EXPECT_GT(airplane->pilotSeat.z, 0);
        ASSERT_TRUE(airplane->exhaust);
        EXPECT_EQ(airplane->exhaust->nozzleCount, 2u);
        EXPECT_TRUE(airplane->hasGun);
        EXPECT_EQ(airplane->gunSetup.rounds, 250u);
        EXPECT_EQ(airplane->gunSetup.muzzleSpeed, 1036.0f);
        EXPECT_EQ(airplane->gunSetup.damage, 75.0f);
        EXPECT_EQ(airplane->maxHitPoints, 300);
        EXPECT_EQ(airplane->title, title);
        EXPECT_EQ(airplane->modelFile, Sample(title) + ".dff");
        EXPECT_EQ(airplane->crashCountdown, -1.0f);
    }
    auto simple = Loaded(Sample("Mig29"), Obj::Airplane::SimpleModel);
    ASSERT_TRUE(simple);
    EXPECT_NE(dynamic_cast<Physics::AirplanePhysicsSimple*>(simple->flightModel.get()), nullptr);
    EXPECT_FALSE(simple->shadow);
}

TEST_F(AirplaneWorld, DamagedDescriptionsLoadAsTheirKeysSay) {
    // No nozzles at all.
    auto none = Loaded(Edited("Su27", "NoNozzles", [](std::string& l) { return !Starts(l, "Offset0"); }), 2);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->exhaust->nozzleCount, 0u);

    // Four nozzles, the fourth of diameter -2: 1.0 wide and 3.0 long.
    auto four =
        Loaded(Edited("Su27", "FourNozzles",
                      [](std::string& l) {
                          if (Starts(l, "Diameter1"))
                              l +=
                                  "\n\tOffset2\t0 0 -8\n\tDiameter2\t0.5\n\tOffset3\t0 1 -8\n\tDiameter3\t-2";
                          return true;
                      }),
               2);
    ASSERT_TRUE(four);
    ASSERT_EQ(four->exhaust->nozzleCount, 4u);
    const Obj::Exhaust::Nozzle& n3 = four->exhaust->nozzles[3];
    EXPECT_EQ(n3.diameter, 1.0f);
    EXPECT_FLOAT_EQ(n3.length, 3.0f);

    // No pilot seat: the seat is at the origin, not a billion metres away.
    auto seatless =
        Loaded(Edited("Su27", "NoSeat", [](std::string& l) { return !Starts(l, "PilotSeat"); }), 2);
    ASSERT_TRUE(seatless);
    EXPECT_EQ(seatless->pilotSeat.x, 0);
    EXPECT_EQ(seatless->pilotSeat.y, 0);
    EXPECT_EQ(seatless->pilotSeat.z, 0);

    // An odd ammunition count is halved down.
    auto odd = Loaded(Edited("Su27", "Ammo301",
                             [](std::string& l) {
                                 if (Starts(l, "GunAmmo"))
                                     l = "GunAmmo\t301";
                                 return true;
                             }),
                      2);
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->gunSetup.rounds, 150u);

    // No gun without "Offsets.Gun", and never on a remote copy.
    auto gunless = Loaded(Edited("Su27", "NoGun", [](std::string& l) { return !Starts(l, "Gun\t"); }), 2);
    ASSERT_TRUE(gunless);
    EXPECT_FALSE(gunless->hasGun);
    auto remote = Loaded(Sample("Su27"), Obj::Airplane::NullModel, true);
    ASSERT_TRUE(remote);
    EXPECT_FALSE(remote->hasGun);
    EXPECT_NE(dynamic_cast<Physics::AirplanePhysicsNull*>(remote->flightModel.get()), nullptr);
}

TEST_F(AirplaneWorld, FlightKeysThatCannotFlyFailTheLoad) {
    const struct {
        const char* name;
        const char* key;  // the line left out, or
        const char* line; // the value written in its place
        int kind;
        bool loads;
    } cases[] = {
        {"NoMass", "Mass\t", nullptr, 2, false},
        {"NoInertia", "AMass", nullptr, 2, false},
        {"NoWing", "wingOffset", nullptr, 2, false},
        {"NegativeSurface", "WingSurface", "\tWingSurface\t-13", 2, false},
        {"ZeroMass", "Mass\t", "\tMass\t0", 2, false},
        {"NoMassSimple", "Mass\t", nullptr, 1, true},
        {"NoMaxSpeed", "MaxSpeed", nullptr, 1, false},
        {"NoAgility", "Agility", "\tAgility\t0", 1, false},
        {"NoMassRemote", "Mass\t", nullptr, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Edited("Su27", c.name, [&](std::string& l) {
            if (!Starts(l, c.key))
                return true;
            if (!c.line)
                return false;
            l = c.line;
            return true;
        });
        Obj::Airplane airplane;
        EXPECT_EQ(airplane.Load(path.c_str(), c.kind), c.loads);
        EXPECT_EQ(airplane.flightModel != nullptr, c.loads);
    }
    Obj::Airplane missing;
    EXPECT_FALSE(missing.Load((scratch / "Nothing").string().c_str(), 2));
    EXPECT_FALSE(missing.flightModel);
}
