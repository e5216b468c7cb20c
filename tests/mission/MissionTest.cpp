// The mission file, the mission's events and its name map, comparisons, position references and the game
// request.
#include "tests/mission/MissionFixture.h"

#include "objects/Structure.h"

#include "base/Info.h"

#include <cmath>
#include <limits>

using namespace MissionTest;

TEST(MissionComparison, WordsInAnyCaseAndNothingElse) {
    const struct {
        const char* word;
        bool parses;
        Mission::Comparison expected;
    } cases[] = {
        {"Equal", true, Mission::Equal},
        {"equal", true, Mission::Equal},
        {"EQUAL", true, Mission::Equal},
        {"greater", true, Mission::Greater},
        {"Less", true, Mission::Less},
        {"GreaterEqual", true, Mission::GreaterEqual},
        {"lessequal", true, Mission::LessEqual},
        {"NotEqual", true, Mission::NotEqual},
        {"Equals", false, Mission::Equal},
        {"=", false, Mission::Equal},
        {"Greater Equal", false, Mission::Equal},
    };
    for (const auto& c : cases) {
        Mission::Comparison out = Mission::Comparison(0);
        EXPECT_EQ(Mission::ParseComparison(out, Node(c.word)), c.parses) << c.word;
        if (c.parses) {
            EXPECT_EQ(out, c.expected) << c.word;
        }
    }
}

TEST(MissionComparison, ComparesFloatsAndNaNOnlyDiffers) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        Mission::Comparison op;
        bool lessThan, equal, greaterThan, withNaN;
    } cases[] = {
        {Mission::Equal, false, true, false, false},    {Mission::Greater, false, false, true, false},
        {Mission::Less, true, false, false, false},     {Mission::GreaterEqual, false, true, true, false},
        {Mission::LessEqual, true, true, false, false}, {Mission::NotEqual, true, false, true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Mission::Compare(c.op, 1, 2), c.lessThan) << c.op;
        EXPECT_EQ(Mission::Compare(c.op, 2, 2), c.equal) << c.op;
        EXPECT_EQ(Mission::Compare(c.op, 3, 2), c.greaterThan) << c.op;
        EXPECT_EQ(Mission::Compare(c.op, nan, 2), c.withNaN) << c.op;
        EXPECT_EQ(Mission::Compare(c.op, 2, nan), c.withNaN) << c.op;
    }
}

TEST_F(MissionWorld, PointReferencesParseAndResolve) {
    Mission::Mission& m = Load("");
    Thing* tower = Add(new Thing({100, 20, 200}));
    m.AddObject(tower, "Tower");
    auto* airplane = Airplane(Physics::AirplaneState{});
    auto cockpit = std::make_unique<TestCockpit>();
    cockpit->AddNavpoint(2, "Home", 1000, -500);
    airplane->cockpit = std::move(cockpit);
    m.AddObject(crew.Seat(airplane, "", true, Obj::Friendly, 0), "Player");

    const struct {
        const char* text;
        bool parses;
        float x, z;
    } cases[] = {
        {"10 20", true, 10, 20},
        {"10 20\n{\nObjectId Tower\n}", true, 110, 220},
        {"-5 5\n{\nNavpointIndex 2\n}", true, 995, -495},
        {"-5 5\n{\nNavpointIndex 1\n}", true, -5, 5}, // an empty slot: the point as given
        {"7 8\n{\nObjectId Nobody\n}", true, 7, 8},
        {"10 20\n{\nObjectId Tower\nNavpointIndex 2\n}", false, 0, 0},
        {"10", false, 0, 0},
        {"north", false, 0, 0},
    };
    for (const auto& c : cases) {
        Mission::PointRef ref;
        ASSERT_EQ(Mission::PointRef::Parse(&m, ref, Node(c.text)), c.parses) << c.text;
        if (!c.parses)
            continue;
        float x = 0, z = 0;
        Mission::PointRef::Resolve(ref, x, z);
        EXPECT_EQ(x, c.x) << c.text;
        EXPECT_EQ(z, c.z) << c.text;
    }
    // A destroyed object leaves its entry, which reads as absent: the point is absolute again.
    Mission::PointRef ref;
    ASSERT_TRUE(Mission::PointRef::Parse(&m, ref, Node("10 20\n{\nObjectId Tower\n}")));
    delete tower;
    float x = 0, z = 0;
    Mission::PointRef::Resolve(ref, x, z);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(z, 20);
}

TEST_F(MissionWorld, EventsRunInNameOrderOnceEach) {
    // B's condition holds only once A has fired in the same tick; C never holds; D has none.
    Mission::Mission& m = Load("Events\n{\n"
                               "B\n{\nCondition Event\n{\nEventName A\n}\nActions\n{\n0 SetHitPoints\n{\n"
                               "ObjectId T\nValue 40\n}\n}\n}\n"
                               "A\n{\nCondition Exists\n{\nObjectId T\n}\nActions\n{\n"
                               "0 SetHitPoints\n{\nObjectId T\nValue 80\n}\n}\n}\n"
                               "C\n{\nCondition Exists\n{\nObjectId Nobody\n}\nActions\n{\n0 Fail\n}\n}\n"
                               "D\n{\nActions\n{\n0 SetMaxHitPoints\n{\nObjectId T\nValue 300\n}\n}\n}\n}\n");
    ASSERT_TRUE(m.IsLoaded());
    ASSERT_EQ(m.events.size(), 4u);
    Thing* t = Add(new Thing());
    m.AddObject(t, "T");
    Tick();
    // A (80) then B (40) then D (maximum 300, hit points to it).
    EXPECT_EQ(t->hitPoints, 300);
    EXPECT_TRUE(m.FindEvent("A")->fired);
    EXPECT_TRUE(m.FindEvent("B")->fired);
    EXPECT_FALSE(m.FindEvent("C")->fired);
    EXPECT_EQ(m.state, Mission::Mission::Running);
    t->SetHitPoints(10);
    Tick();
    EXPECT_EQ(t->hitPoints, 10); // nothing fires twice
    EXPECT_FLOAT_EQ(m.FindEvent("A")->fireWorldTime, 0.1f);
    EXPECT_FLOAT_EQ(m.FindEvent("A")->fireRealTime, float(Base::FrameClock::GameTime) - 0.1f);
}

TEST_F(MissionWorld, ResetEventRunsALaterEventInTheSameTickAndItsOwnInTheNext) {
    // "A" resets "B" (later) and itself; "B" counts down T's hit points each time it fires. "C" resets "Z",
    // which has not fired.
    Mission::Mission& m =
        Load("Events\n{\n"
             "A\n{\nCondition Event\n{\nEventName B\n}\nActions\n{\n"
             "0 ResetEvent\n{\nEventName B\n}\n1 ResetEvent\n{\nEventName A\nState 1\n}\n}\n}\n"
             "B\n{\nActions\n{\n0 SetHitPoints\n{\nObjectId T\nValue 50\n}\n}\n}\n"
             "C\n{\nActions\n{\n0 ResetEvent\n{\nEventName Z\n}\n}\n}\n"
             "Z\n{\nCondition Fail\n{\n}\nActions\n{\n0 Succeed\n}\n}\n}\n");
    ASSERT_EQ(m.events.size(), 4u);
    Thing* t = Add(new Thing());
    m.AddObject(t, "T");
    Tick(); // B fires (A waits for it: A sorts first)
    EXPECT_EQ(t->hitPoints, 50);
    EXPECT_FALSE(m.FindEvent("A")->fired);
    t->SetHitPoints(100);
    Tick(); // A fires, clears B (fires again now, later in the order) and itself (next tick)
    EXPECT_EQ(t->hitPoints, 50);
    EXPECT_FALSE(m.FindEvent("A")->fired);
    EXPECT_TRUE(m.FindEvent("B")->fired);
    t->SetHitPoints(100);
    Tick();
    EXPECT_EQ(t->hitPoints, 50);
    EXPECT_FALSE(m.FindEvent("Z")->fired);
    EXPECT_EQ(m.state, Mission::Mission::Running);
}

TEST_F(MissionWorld, SucceedAndFailSetTheStateAndTheResultCode) {
    const struct {
        const char* first;
        const char* second;
        int32_t state, result;
    } cases[] = {
        {"Succeed", nullptr, Mission::Mission::Succeeded, Fe::GameRequest::Succeeded},
        {"Fail", nullptr, Mission::Mission::Failed, Fe::GameRequest::Failed},
        {"Succeed", "Fail", Mission::Mission::Failed, Fe::GameRequest::Failed},
        {"Fail", "Succeed", Mission::Mission::Failed, Fe::GameRequest::Succeeded},
    };
    for (const auto& c : cases) {
        host.request.resultCode = 7; // cleared by the load
        std::string text = std::string("Events\n{\nE\n{\nActions\n{\n0 ") + c.first + "\n";
        if (c.second)
            text += std::string("1 ") + c.second + "\n";
        Mission::Mission& m = Load(text + "}\n}\n}\n");
        EXPECT_EQ(host.request.resultCode, 0);
        Tick();
        EXPECT_EQ(m.state, c.state) << c.first << (c.second ? c.second : "");
        EXPECT_EQ(host.request.resultCode, c.result) << c.first << (c.second ? c.second : "");
    }
}

TEST_F(MissionWorld, EndPageTakesTheWorldTime) {
    Load("Events\n{\nEnd\n{\nCondition TimeFromStart\n{\nOp GreaterEqual\nValue 0.25\n}\n"
         "Actions\n{\n0 ShowEndMsnPg\n}\n}\n}\n");
    for (int i = 0; i < 2; ++i)
        Tick();
    EXPECT_EQ(host.ended, 0);
    EXPECT_EQ(host.request.elapsedTime, 0);
    Tick();
    EXPECT_EQ(host.ended, 1);
    EXPECT_FLOAT_EQ(host.request.elapsedTime, 0.3f);
    EXPECT_EQ(host.request.elapsedTime, world->time->time);
}

TEST_F(MissionWorld, AnEventThatDoesNotLoadIsLeftOut) {
    // A condition of an unknown kind, a condition missing its keys and an action of an unknown kind: each
    // event is dropped whole rather than fired at once without its condition.
    Mission::Mission& m = Load("Events\n{\n"
                               "A\n{\nCondition Exist\n{\nObjectId T\n}\nActions\n{\n0 Succeed\n}\n}\n"
                               "B\n{\nCondition Exists\n{\n}\nActions\n{\n0 Fail\n}\n}\n"
                               "C\n{\nActions\n{\n0 Succeed\n1 Explode\n}\n}\n"
                               "D\n{\nCondition Or\n{\nNegation 1\n}\nActions\n{\n0 SetObjectName\n{\n"
                               "ObjectId T\nName Kept\n}\n}\n}\n}\n");
    ASSERT_TRUE(m.IsLoaded());
    ASSERT_EQ(m.events.size(), 1u);
    Thing* t = Add(new Thing());
    m.AddObject(t, "T");
    Tick();
    EXPECT_EQ(m.state, Mission::Mission::Running);
    // An empty Or is false; its "Negation" negates the group.
    EXPECT_EQ(t->name, "Kept");
}

TEST_F(MissionWorld, HeaderKeysDefaultsAndTheSharedRecord) {
    const std::filesystem::path a = scratch / "a.msn", b = scratch / "b.msn", bad = scratch / "bad.msn";
    std::ofstream(a)
        << "Name\tFirst\nObjectives\tO\nBriefing\tB\nTimeOfDay\t2\nMap\n{\nX\n{\nName\tBase\n}\n}\n";
    std::ofstream(b) << "Name\tSecond\nObjectives\tO2\nBriefing\tB2\nTimeOfDay\t1\nSelectEquipment\t0\n"
                        "CarrierBased\t1\nBeforeBriefingMovie\tIntro\n";
    std::ofstream(bad) << "Name\tNo time\nObjectives\tO\nBriefing\tB\nTimeOfDay\tdawn\n";
    Mission::Header* first = Mission::Header::Load(a.string());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->fileName, a.string());
    EXPECT_EQ(first->name, "First");
    EXPECT_EQ(first->timeOfDay, 2u);
    EXPECT_TRUE(first->selectEquipment);
    EXPECT_FALSE(first->carrierBased);
    EXPECT_EQ(first->beforeBriefingMovie, "");
    ASSERT_TRUE(first->map);
    EXPECT_EQ(first->map->GetStringDefault("X.Name", ""), "Base");
    const Mission::Header copy = *first;
    Mission::Header* second = Mission::Header::Load(b.string());
    EXPECT_EQ(second, first);
    EXPECT_EQ(first->name, "Second");
    EXPECT_FALSE(first->selectEquipment);
    EXPECT_TRUE(first->carrierBased);
    EXPECT_EQ(first->beforeBriefingMovie, "Intro");
    ASSERT_TRUE(first->map);
    EXPECT_TRUE(first->map->GetChildren().empty());
    EXPECT_EQ(copy.name, "First");
    EXPECT_FALSE(Mission::Header::Load(bad.string()));
    EXPECT_FALSE(Mission::Header::Load((scratch / "none.msn").string()));
    // A mission of such a file is refused.
    Mission::Mission refused(host, bad.string());
    EXPECT_FALSE(refused.IsLoaded());
}

TEST_F(MissionWorld, NamesKeepTheirFirstLiveObjectAndFindTheScenerysAirbases) {
    auto* airbase = new Obj::Airbase();
    airbase->name = "Coast Field";
    Add(airbase);
    Mission::Mission& m = Load("");
    EXPECT_EQ(m.FindObject("Coast Field"), airbase);
    Thing* first = Add(new Thing());
    Thing* second = Add(new Thing());
    m.AddObject(first, "Bandit");
    m.AddObject(second, "Bandit");
    EXPECT_EQ(m.FindObject("Bandit"), first);
    EXPECT_EQ(m.FindObject("bandit"), nullptr);
    // Once its object is destroyed, a name reads as absent and can be taken again.
    delete first;
    EXPECT_EQ(m.FindObject("Bandit"), nullptr);
    m.AddObject(second, "Bandit");
    EXPECT_EQ(m.FindObject("Bandit"), second);
    // NextObject walks the live objects in name order.
    Thing* third = Add(new Thing());
    m.AddObject(third, "Alpha");
    Base::String name;
    EXPECT_EQ(m.NextObject(nullptr, &name), third);
    EXPECT_EQ(name, "Alpha");
    EXPECT_EQ(m.NextObject(third, &name), second);
    EXPECT_EQ(name, "Bandit");
    EXPECT_EQ(m.NextObject(second, &name), airbase);
    EXPECT_EQ(m.NextObject(airbase, &name), nullptr);
}

TEST(GameRequest, CopyAndAssignmentKeepEveryField) {
    Base::Info map;
    Fe::GameRequest request;
    EXPECT_EQ(request.resultCode, 0);
    EXPECT_TRUE(request.loadout.GetChildren().empty());
    EXPECT_EQ(request.header.map, nullptr);
    request.header = {"a.msn", "Name", "Objectives", "Briefing", "Movie", 3, &map, true, true};
    request.airplane = "Airplanes\\Su27";
    request.loadout.AddValue("Rack0", "Weapons\\R73");
    request.loadout.AddValue("Rack2", "Weapons\\Bomb");
    request.resultCode = 2;
    request.elapsedTime = 12.5f;
    request.airplaneKills = 3;
    request.vehicleKills = 4;
    request.shipKills = 5;
    const auto same = [&](const Fe::GameRequest& r) {
        EXPECT_EQ(r.header.fileName, "a.msn");
        EXPECT_EQ(r.header.name, "Name");
        EXPECT_EQ(r.header.objectives, "Objectives");
        EXPECT_EQ(r.header.briefing, "Briefing");
        EXPECT_EQ(r.header.beforeBriefingMovie, "Movie");
        EXPECT_EQ(r.header.timeOfDay, 3u);
        EXPECT_EQ(r.header.map, &map);
        EXPECT_TRUE(r.header.selectEquipment);
        EXPECT_TRUE(r.header.carrierBased);
        EXPECT_EQ(r.airplane, "Airplanes\\Su27");
        EXPECT_EQ(r.loadout.GetChildren().size(), 2u);
        EXPECT_EQ(r.loadout.GetStringDefault("Rack2", ""), "Weapons\\Bomb");
        EXPECT_EQ(r.resultCode, 2);
        EXPECT_EQ(r.elapsedTime, 12.5f);
        EXPECT_EQ(r.airplaneKills, 3);
        EXPECT_EQ(r.vehicleKills, 4);
        EXPECT_EQ(r.shipKills, 5);
    };
    Fe::GameRequest copy(request);
    same(copy);
    // The copy owns its tree: changing it leaves the original alone.
    copy.loadout.AddValue("Rack1", "Weapons\\Pod");
    EXPECT_EQ(request.loadout.GetChildren().size(), 2u);
    Fe::GameRequest assigned;
    assigned.loadout.AddValue("Rack5", "Weapons\\Old");
    assigned.Assign(request);
    same(assigned);
    EXPECT_FALSE(assigned.loadout.GetChild("Rack5"));
    // An empty loadout clears every rack of the old one.
    assigned.Assign(Fe::GameRequest());
    EXPECT_TRUE(assigned.loadout.GetChildren().empty());
    EXPECT_EQ(assigned.resultCode, 0);
}

TEST_F(MissionWorld, EverySampleMissionLoadsWhole) {
    const std::filesystem::path folder = data / "Scripts" / "Missions";
    int missions = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.path().extension() != ".msn")
            continue;
        ++missions;
        const std::string path = entry.path().string();
        ASSERT_TRUE(Mission::Header::Load(path)) << path;
        Base::Info tree;
        ASSERT_EQ(tree.LoadFile(path), 0) << path;
        mission = std::make_unique<Mission::Mission>(host, path);
        ASSERT_TRUE(mission->IsLoaded()) << path;
        EXPECT_EQ(mission->events.size(), tree.GetChild("Events")->GetChildren().size()) << path;
        EXPECT_EQ(mission->header.timeOfDay, 1u) << path;
    }
    EXPECT_EQ(missions, 6);
    // The shared events of generated missions load as events too.
    Base::Info common;
    ASSERT_EQ(common.LoadFile((folder / "CommonEvents").string()), 0);
    ASSERT_FALSE(common.GetChildren().empty());
    for (const auto& [name, node] : common.GetChildren()) {
        Mission::Event event(mission.get(), name);
        EXPECT_TRUE(event.Load(*node)) << name;
    }
}
