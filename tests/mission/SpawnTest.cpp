// Formations and the spawn actions on the sample models.
#include "tests/mission/MissionFixture.h"

#include "mission/Spawn.h"

#include "pilots/PilotAi.h"
#include "pilots/PilotPlayer.h"

#include "objects/Ship.h"
#include "objects/Structure.h"
#include "objects/Vehicle.h"

#include "base/Random.h"

#include <cmath>

using namespace MissionTest;

namespace {

// The jitter the placement of that seed makes, drawn from the program's generator after seeding it the
// same way (its state is put back afterwards).
Base::Vector2 ReferenceJitter(uint32_t seed, float span) {
    const auto state = Base::Random::State;
    const uint32_t index = Base::Random::Index;
    Base::Random::Seed(seed);
    const double a = Base::Random::NextUInt32() / 4294967296.0 * 2 * Base::Pi;
    const double r = Base::Random::NextUInt32() / 4294967296.0 * span * 0.05;
    Base::Random::State = state;
    Base::Random::Index = index;
    return {float(r * std::cos(a)), float(-r * std::sin(a))};
}

Base::Vector2 Place(const Mission::Formation& f, uint32_t i, Base::Vector2 p, float heading) {
    Base::Vector2 out;
    return Mission::PlaceInFormation(f, out, i, p, Mission::GroupDirection(heading));
}

} // namespace

TEST(MissionFormation, ParsesTheFourTypes) {
    const struct {
        const char* text;
        bool parses;
        int32_t type;
    } cases[] = {
        {"x\n{\nType LineAhead\nObjectsSpan 50\n}", true, Mission::Formation::LineAhead},
        {"x\n{\nType lineabreast\nObjectsSpan 50\n}", true, Mission::Formation::LineAbreast},
        {"x\n{\nType WEDGE\nObjectsSpan 50\n}", true, Mission::Formation::Wedge},
        {"x\n{\nType Random\nObjectsSpan 50\n}", true, Mission::Formation::Random},
        {"x\n{\nType Box\nObjectsSpan 50\n}", false, 0},
        {"x\n{\nType Wedge\n}", false, 0},
    };
    for (const auto& c : cases) {
        Mission::Formation f;
        EXPECT_EQ(Mission::ParseFormation(Node(c.text), f), c.parses) << c.text;
        if (c.parses) {
            EXPECT_EQ(f.type, c.type) << c.text;
            EXPECT_EQ(f.span, 50) << c.text;
        }
    }
}

TEST(MissionFormation, LineAbreastAndWedgeAroundThePoint) {
    const Base::Vector2 p{1000, -2000};
    // Heading 0 faces +z: the direction (0, 1) is 90 degrees from (1, 0), so object i draws from seed 90 + i.
    EXPECT_EQ(Mission::FormationSeed(Mission::GroupDirection(0), 0), 90u);
    EXPECT_EQ(Mission::FormationSeed(Mission::GroupDirection(90), 2), 182u);
    EXPECT_EQ(Mission::FormationSeed(Mission::GroupDirection(270), 2), 2u);
    EXPECT_EQ(Mission::FormationSeed(Mission::GroupDirection(270), 0), 1335u);
    EXPECT_EQ(Mission::FormationSeed(Mission::GroupDirection(180), 1), uint32_t(-90 + 1));
    const Mission::Formation abreast{Mission::Formation::LineAbreast, 100};
    const Base::Vector2 expected[] = {{0, 0}, {-100, 0}, {100, 0}, {-200, 0}};
    for (uint32_t i = 0; i < 4; ++i) {
        const Base::Vector2 j = ReferenceJitter(90 + i, 100);
        EXPECT_LE(std::hypot(j.x, j.y), 5.0f);
        const Base::Vector2 at = Place(abreast, i, p, 0);
        EXPECT_NEAR(at.x, p.x + expected[i].x + j.x, 1e-3) << i;
        EXPECT_NEAR(at.y, p.y + expected[i].y + j.y, 1e-3) << i;
    }
    // A wedge's arms trail at 130 degrees either side of the heading (heading 90 faces -x).
    const Mission::Formation wedge{Mission::Formation::Wedge, 100};
    const double t = 130 * Base::Pi / 180;
    const Base::Vector2 arm1{float(100 * std::sin(t)), float(100 * std::cos(t))};
    const Base::Vector2 d = Mission::GroupDirection(90);
    EXPECT_NEAR(d.x, -1, 1e-6);
    const Base::Vector2 wedgePoints[] = {
        {0, 0}, {-arm1.y, arm1.x}, {-arm1.y, -arm1.x}, {-2 * arm1.y, 2 * arm1.x}};
    for (uint32_t i = 0; i < 4; ++i) {
        const Base::Vector2 j = ReferenceJitter(Mission::FormationSeed(d, i), 100);
        const Base::Vector2 at = Place(wedge, i, p, 90);
        EXPECT_NEAR(at.x, p.x + wedgePoints[i].x + j.x, 1e-3) << i;
        EXPECT_NEAR(at.y, p.y + wedgePoints[i].y + j.y, 1e-3) << i;
    }
    // A line ahead: a column behind the first.
    const Mission::Formation ahead{Mission::Formation::LineAhead, 30};
    const Base::Vector2 third = Place(ahead, 2, p, 0);
    const Base::Vector2 j = ReferenceJitter(92, 30);
    EXPECT_NEAR(third.x, p.x + j.x, 1e-3);
    EXPECT_NEAR(third.y, p.y - 60 + j.y, 1e-3);
}

TEST(MissionFormation, RandomPointsRepeatAndLeaveTheProgramsGeneratorAlone) {
    const Mission::Formation random{Mission::Formation::Random, 500};
    const Base::Vector2 p{0, 0};
    Base::Random::Seed(4357);
    const uint32_t next = [] {
        const auto state = Base::Random::State;
        const uint32_t index = Base::Random::Index;
        const uint32_t draw = Base::Random::NextUInt32();
        Base::Random::State = state;
        Base::Random::Index = index;
        return draw;
    }();
    for (uint32_t i = 0; i < 8; ++i) {
        const Base::Vector2 at = Place(random, i, p, 37);
        const float distance = std::hypot(at.x, at.y);
        EXPECT_GE(distance, 0.1f * 500 - 1e-3f) << i;
        EXPECT_LT(distance, 500.0f) << i;
        const Base::Vector2 again = Place(random, i, p, 37);
        EXPECT_EQ(at, again) << i;
        // The reference: after the two jitter draws, an angle and a fraction of the span.
        const auto state = Base::Random::State;
        const uint32_t index = Base::Random::Index;
        Base::Random::Seed(Mission::FormationSeed(Mission::GroupDirection(37), i));
        Base::Random::NextUInt32();
        Base::Random::NextUInt32();
        const float b = Base::Random::FloatInRange(0, float(2 * Base::Pi));
        const float f = Base::Random::FloatInRange(0.1f, 1.0f);
        Base::Random::State = state;
        Base::Random::Index = index;
        EXPECT_NEAR(at.x, f * 500 * std::cos(b), 1e-3) << i;
        EXPECT_NEAR(at.y, -f * 500 * std::sin(b), 1e-3) << i;
    }
    EXPECT_EQ(Base::Random::NextUInt32(), next);
    // A group of one stands on the point itself.
    EXPECT_EQ(Place(Mission::Formation{}, 0, {5, 6}, 10), (Base::Vector2{5, 6}));
}

TEST_F(MissionWorld, SpawnedAirplanesAreNamedPlacedAndCrewed) {
    Mission::Mission& m =
        Load("Events\n{\nE\n{\nActions\n{\n0 SpawnAirplanes\n{\nObjectId Bandit\nCount 3\n"
             "Formation\n{\nType LineAbreast\nObjectsSpan 200\n}\nPos 0 30000\nHdg 180\n"
             "Alt 3000\nModel Airplanes\\F16\nOrdnance AirToAir\nAllegiance Enemy\nLevel 0.3\n}\n"
             "1 SpawnAirplanes\n{\nObjectId Lone\nPos 100 100\nHdg 0\nAlt 500\n"
             "Model Airplanes\\Su25\nAllegiance Friendly\n}\n"
             "2 SpawnAirplanes\n{\nObjectId None\nCount 0\nPos 100 100\nHdg 0\nAlt 500\n"
             "Model Airplanes\\Su25\nAllegiance Friendly\n}\n}\n}\n}\n");
    ASSERT_EQ(m.events.size(), 1u);
    Tick();
    const Base::Vector2 d = Mission::GroupDirection(180);
    for (int i = 0; i < 3; ++i) {
        const std::string name = "Bandit" + std::to_string(i + 1);
        auto* airplane = dynamic_cast<Obj::Airplane*>(m.FindObject(name));
        ASSERT_TRUE(airplane) << name;
        EXPECT_EQ(airplane->allegiance, Obj::Enemy);
        const Physics::AirplaneState s = airplane->GetState();
        Base::Vector2 at;
        Mission::PlaceInFormation({Mission::Formation::LineAbreast, 200}, at, uint32_t(i), {0, 30000}, d);
        EXPECT_NEAR(s.position.x, at.x, 0.01) << name;
        EXPECT_NEAR(s.position.z, at.y, 0.01) << name;
        EXPECT_NEAR(s.position.y, 3000, 1) << name;
        EXPECT_NEAR(s.velocity.z, -200, 0.5) << name;
        ASSERT_TRUE(crew.GetPilot(airplane)) << name;
        auto* pilot = dynamic_cast<Pilot*>(crew.GetPilot(airplane));
        EXPECT_FALSE(pilot->player);
        EXPECT_EQ(pilot->side, Obj::Enemy);
        EXPECT_FLOAT_EQ(pilot->level, 0.3f);
    }
    EXPECT_FALSE(m.FindObject("Bandit"));
    EXPECT_FALSE(m.FindObject("Bandit4"));
    auto* lone = dynamic_cast<Obj::Airplane*>(m.FindObject("Lone"));
    ASSERT_TRUE(lone);
    EXPECT_FLOAT_EQ(dynamic_cast<Pilot*>(crew.GetPilot(lone))->level, 0.5f);
    EXPECT_FALSE(m.FindObject("Lone1"));
    EXPECT_FALSE(m.FindObject("None"));
    ASSERT_EQ(crew.pilots.size(), 4u);
    EXPECT_NE(crew.figures[0].find("Airplanes\\Pilot.model"), std::string::npos);
    ASSERT_EQ(armoury.setups.size(), 3u);
    EXPECT_EQ(armoury.setups[0].second, "AirToAir");
}

TEST_F(MissionWorld, GroupsThatDoNotLoad) {
    Load("");
    const std::string keys = "ObjectId G\nPos 0 0\nHdg 0\nModel Truck.info\nAllegiance Enemy\n";
    for (const std::string& text : std::vector<std::string>{
             "SpawnCars\n{\n" + keys + "Count 2\n}",  // no formation
             "SpawnCars\n{\n" + keys + "Count -1\n}", // no count
             "SpawnCars\n{\n" + keys + "Count 2\nFormation\n{\nType Column\nObjectsSpan 9\n}\n}",
             "SpawnCars\n{\nObjectId G\nPos 0 0\nHdg 0\nModel Truck.info\nAllegiance Neutral\n}",
             "SpawnCars\n{\nObjectId G\nHdg 0\nModel Truck.info\nAllegiance Enemy\n}",
             "SpawnCars\n{\n" + keys + "Dest 10 10\n}", // Dest without a speed
             "SpawnAirplanes\n{\n" + keys + "}",        // no altitude
             "SpawnPlayer\n{\nSetupType AirGround\nPos 0 0\nHdg 0\nAlt 100\n}",
             "SpawnPlayer\n{\nSetupType Airbase\nAirbaseId Coast Field\n}",
             "SpawnPlayer\n{\nSetupType Carrier\nCarrierId Nimitz\n}",
         })
        EXPECT_FALSE(Action(text)) << text;
    // Count unreadable is 1; a Dest that is no point is no destination.
    EXPECT_TRUE(Action("SpawnCars\n{\n" + keys + "Count many\nDest somewhere\n}"));
}

TEST_F(MissionWorld, CarsAndShipsByType) {
    Mission::Mission& m = Load("");
    const struct {
        const char* text;
        const char* name;
        const char* className;
    } cases[] = {
        {"SpawnCars\n{\nObjectId Truck\nType car\nModel Truck.info\n", "Truck", "class Obj::Car"},
        {"SpawnCars\n{\nObjectId Armed\nModel ArmedCar.info\nGun 1\n", "Armed", "class Obj::WarCar"},
        {"SpawnCars\n{\nObjectId Tank\nType Warcar\nModel T-72.info\n", "Tank", "class Obj::WarCar"},
        {"SpawnShips\n{\nObjectId Boat\nType Ship\nModel PatrolShip.info\n", "Boat", "class Obj::Ship"},
        {"SpawnShips\n{\nObjectId Frigate\nType WarShip\nModel Frigate.info\n", "Frigate",
         "class Obj::WarShip"},
        {"SpawnShips\n{\nObjectId Deck\nType Carier\nModel Carrier\n", "Deck", "class Obj::Carrier"},
    };
    for (const auto& c : cases) {
        auto action = Action(std::string(c.text) + "Pos 500 500\nHdg 90\nAllegiance Enemy\n}");
        ASSERT_TRUE(action) << c.text;
        action->Execute();
        Obj::Damageable* object = m.FindObject(c.name);
        ASSERT_TRUE(object) << c.text;
        EXPECT_EQ(Mission::ClassName(*object), c.className);
        EXPECT_EQ(object->allegiance, Obj::Enemy);
        auto* vehicle = dynamic_cast<Obj::Vehicle*>(object);
        ASSERT_TRUE(vehicle);
        EXPECT_TRUE(vehicle->arrived) << c.text; // no destination: it stands
    }
}

TEST_F(MissionWorld, AConvoyKeepsItsFormationAtTheDestination) {
    Mission::Mission& m = Load("");
    auto action = Action("SpawnCars\n{\nObjectId Convoy\nType Car\nModel Truck.info\nCount 3\n"
                         "Formation\n{\nType LineAhead\nObjectsSpan 30\n}\nPos -7000 8200\nHdg 270\n"
                         "Dest 1000 8200\nInitSpeed 8\nAllegiance Enemy\n}");
    ASSERT_TRUE(action);
    action->Execute();
    const Base::Vector2 d = Mission::GroupDirection(270);
    for (uint32_t i = 0; i < 3; ++i) {
        auto* car = dynamic_cast<Obj::Car*>(m.FindObject("Convoy" + std::to_string(i + 1)));
        ASSERT_TRUE(car) << i;
        EXPECT_FALSE(car->arrived);
        Base::Vector2 at;
        Mission::PlaceInFormation({Mission::Formation::LineAhead, 30}, at, i, {1000, 8200}, d);
        EXPECT_EQ(car->destination, at) << i;
    }
}

TEST_F(MissionWorld, StructuresNeedGround) {
    Mission::Mission& m = Load("");
    auto action = Action("SpawnStructures\n{\nObjectId Bunker\nModel Bunker.info\nPos 0 0\nHdg 0\n"
                         "Allegiance Enemy\n}");
    ASSERT_TRUE(action);
    action->Execute(); // this world has no terrain
    EXPECT_FALSE(m.FindObject("Bunker"));
    int objects = 0;
    world->ForEach([&](Obj::Object*) { ++objects; });
    EXPECT_EQ(objects, 0);
}

TEST_F(MissionWorld, ThePlayerInTheAirAndOnARunway) {
    host.request.airplane = "Airplanes\\Su27";
    host.request.loadout.AddValue("Rack0", "Weapons\\R73");
    Mission::Mission& m = Load("");
    auto air = Action("SpawnPlayer\n{\nSetupType AirGround\nPos 100 200\nHdg 90\nAlt 3000\nSpeed 180\n}");
    ASSERT_TRUE(air);
    air->Execute();
    auto* airplane = dynamic_cast<Obj::Airplane*>(m.FindObject("PlayerAirplane"));
    ASSERT_TRUE(airplane);
    EXPECT_EQ(airplane->title, "Su27");
    const Physics::AirplaneState s = airplane->GetState();
    EXPECT_NEAR(s.position.x, 100, 0.01);
    EXPECT_NEAR(s.position.z, 200, 0.01);
    EXPECT_NEAR(s.velocity.x, -180, 0.5);
    auto* pilot = dynamic_cast<Pilot*>(m.FindObject("Player"));
    ASSERT_TRUE(pilot);
    EXPECT_TRUE(pilot->player);
    EXPECT_EQ(pilot->airplane, airplane);
    EXPECT_EQ(host.cameraTarget, static_cast<Obj::Frame*>(airplane));
    EXPECT_EQ(host.cameras, std::vector<int>{Mission::Host::CockpitCamera});
    EXPECT_EQ(host.playerPilot, pilot);
    EXPECT_EQ(host.playerAirplane, airplane);
    ASSERT_EQ(armoury.loadouts.size(), 1u);
    EXPECT_EQ(armoury.loadouts[0].second, "Weapons\\R73");
    EXPECT_TRUE(armoury.setups.empty());

    // On a runway of a named airbase, with the mission's own airplane and set-up.
    auto* field = new Obj::Airbase();
    ASSERT_TRUE(field->Load(&Base::InfoCache::Get(Base::ClumpCache::Directory + "Base.model")));
    field->name = "Coast Field";
    RwMatrix place;
    RwMatrixSetIdentity(&place);
    place.pos = {-900, 0, 0};
    field->Transform(&place, 0);
    Add(field);
    Load("");
    auto base = Action("SpawnPlayer\n{\nSetupType Airbase\nAirbaseId Coast Field\nRunwayName R0\n"
                       "Model Airplanes\\Su25\nOrdnance AirToGround\n}");
    ASSERT_TRUE(base);
    base->Execute();
    auto* attacker = dynamic_cast<Obj::Airplane*>(mission->FindObject("PlayerAirplane"));
    ASSERT_TRUE(attacker);
    EXPECT_EQ(attacker->title, "Su25");
    const Physics::AirplaneState t = attacker->GetState();
    EXPECT_NEAR(t.position.x, 500, 0.01);
    EXPECT_NEAR(t.position.z, 0, 0.01);
    EXPECT_NEAR(t.at.x, -1, 1e-4); // runway heading 90 faces -x
    ASSERT_EQ(armoury.setups.size(), 1u);
    EXPECT_EQ(armoury.setups[0].second, "AirToGround");
}

TEST_F(MissionWorld, ThePlayerGetsTheGamesOwnPilot) {
    Mission::Crew::installed = previousCrew; // the binding to the game's pilots
    Mission::Mission& m = Load("Events\n{\nE\n{\nActions\n{\n0 SpawnPlayer\n{\nSetupType AirGround\n"
                               "Model Airplanes\\F16\nPos 0 0\nHdg 0\nAlt 2000\nSpeed 200\n}\n}\n}\n"
                               "F\n{\nCondition TimeFromStart\n{\nOp Greater\nValue 0.25\n}\nActions\n{\n"
                               "0 Eject\n{\nObjectId PlayerAirplane\n}\n}\n}\n}\n");
    Tick();
    auto* pilot = dynamic_cast<Obj::PilotPlayer*>(m.FindObject("Player"));
    auto* airplane = dynamic_cast<Obj::Airplane*>(m.FindObject("PlayerAirplane"));
    ASSERT_TRUE(pilot);
    ASSERT_TRUE(airplane);
    EXPECT_EQ(pilot->GetAirplane(), airplane);
    EXPECT_EQ(Obj::Pilot::Of(airplane), pilot);
    EXPECT_EQ(host.playerPilot, pilot);
    Tick();
    EXPECT_EQ(pilot->GetAirplane(), airplane);
    Tick(); // the eject event fires
    EXPECT_EQ(pilot->GetAirplane(), nullptr);
    EXPECT_NE(pilot->figureState, Obj::Pilot::Seated);
}

TEST_F(MissionWorld, ComputerPilotsTakeTheirSkillRouteAndLinks) {
    Mission::Crew::installed = previousCrew; // the binding to the game's pilots
    Mission::Mission& m =
        Load("Events\n{\nE\n{\nActions\n{\n0 SpawnAirplanes\n{\nObjectId Bandit\n"
             "Pos 0 5000\nHdg 180\nAlt 3000\nModel Airplanes\\Mig29\nAllegiance Enemy\n"
             "Level 0.8\n}\n1 SpawnCars\n{\nObjectId Tank\nModel T-72.info\nPos 0 0\nHdg 0\n"
             "Allegiance Friendly\n}\n2 SetTarget\n{\nObjectId Bandit\nTarget Tank\n}\n"
             "3 SetPath\n{\nObjectId Bandit\nP0 0 0\nP1 100 0\nP2 100 100\n}\n}\n}\n}\n");
    Tick();
    auto* airplane = dynamic_cast<Obj::Airplane*>(m.FindObject("Bandit"));
    ASSERT_TRUE(airplane);
    auto* pilot = dynamic_cast<Obj::PilotAi*>(Obj::Pilot::Of(airplane));
    ASSERT_TRUE(pilot);
    EXPECT_EQ(pilot->allegiance, Obj::Enemy);
    EXPECT_FLOAT_EQ(pilot->level, 0.8f);
    EXPECT_EQ(pilot->missionTarget.Get(), m.FindObject("Tank"));
    ASSERT_TRUE(pilot->path);
    ASSERT_EQ(pilot->path->points.size(), 3u);
    EXPECT_EQ(pilot->path->points[2].z, 100);
}

TEST_F(MissionWorld, ThePlayerOnACarriersCatapult) {
    Mission::Mission& m = Load("");
    auto ship = Action("SpawnShips\n{\nObjectId Nimitz\nType Carrier\nModel Carrier\nPos 0 0\nHdg 0\n"
                       "Allegiance Friendly\n}");
    ASSERT_TRUE(ship);
    ship->Execute();
    auto* carrier = dynamic_cast<Obj::Carrier*>(m.FindObject("Nimitz"));
    ASSERT_TRUE(carrier);
    auto start = Action("SpawnPlayer\n{\nSetupType Carrier\nModel Airplanes\\Yak141\nCarrierId Nimitz\n"
                        "CatapultName C1\n}");
    ASSERT_TRUE(start);
    start->Execute();
    auto* airplane = dynamic_cast<Obj::Airplane*>(m.FindObject("PlayerAirplane"));
    ASSERT_TRUE(airplane);
    const Obj::Carrier::Catapult* c1 = carrier->FindCatapult(airplane);
    ASSERT_TRUE(c1);
    EXPECT_EQ(c1, &carrier->catapults.at("C1"));
    EXPECT_TRUE(m.FindObject("Player"));
}
