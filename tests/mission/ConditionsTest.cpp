// The condition kinds, each through the condition factory as a mission file names it.
#include "tests/mission/MissionFixture.h"

#include "gui/Announcer.h"
#include "input/Keyboard.h"
#include "objects/Vehicle.h"

#include <dinput.h>

#include <cmath>

using namespace MissionTest;

namespace {

Physics::AirplaneState Flying(RwV3d at, RwV3d velocity, float height) {
    Physics::AirplaneState s;
    Physics::AirplaneState::Init(s);
    s.position = {0, height, 0};
    s.at = at;
    s.velocity = velocity;
    return s;
}

RwV3d Heading(float degrees, float pitch = 0) {
    const double h = degrees * Base::Pi / 180.0, p = pitch * Base::Pi / 180.0;
    return {float(-std::sin(h) * std::cos(p)), float(std::sin(p)), float(std::cos(h) * std::cos(p))};
}

} // namespace

TEST_F(MissionWorld, AirplaneFlightConditions) {
    Mission::Mission& m = Load("");
    // Heading 5 degrees, pitched up 30 degrees, at 3000 m, at 250 m/s.
    m.AddObject(Airplane(Flying(Heading(5, 30), {0, 150, 200}, 3000)), "Jet");
    m.AddObject(Add(new Thing()), "Box");
    const struct {
        const char* text;
        bool expected;
    } cases[] = {
        {"AirplaneAlt\n{\nOp Greater\nObjectId Jet\nValue 2999\n}", true},
        {"AirplaneAlt\n{\nOp Greater\nObjectId Jet\nValue 3001\n}", false},
        {"AirplaneAlt\n{\nOp Greater\nObjectId Jet\nValue 3001\nNegation 1\n}", true},
        {"AirplaneSpeed\n{\nOp Equal\nObjectId Jet\nValue 250\n}", true},
        {"AirplanePitch\n{\nOp Greater\nObjectId Jet\nValue 29.9\n}", true},
        {"AirplanePitch\n{\nOp Less\nObjectId Jet\nValue 30.1\n}", true},
        {"AirplaneHdg\n{\nObjectId Jet\nValue 350\nTolerance 20\n}", true},
        {"AirplaneHdg\n{\nObjectId Jet\nValue 350\nTolerance 14\n}", false},
        {"AirplaneHdg\n{\nObjectId Jet\nValue 20\nTolerance 16\n}", true},
        {"AirplaneHdg\n{\nObjectId Jet\nValue 185\nTolerance 179\n}", false},
        // Absent or not an airplane: false whatever the negation.
        {"AirplaneAlt\n{\nOp Greater\nObjectId Nobody\nValue 0\nNegation 1\n}", false},
        {"AirplaneSpeed\n{\nOp Less\nObjectId Box\nValue 1\nNegation 1\n}", false},
    };
    for (const auto& c : cases) {
        auto condition = Condition(c.text);
        ASSERT_TRUE(condition) << c.text;
        EXPECT_EQ(condition->Evaluate(), c.expected) << c.text;
    }
}

TEST_F(MissionWorld, ConditionsThatDoNotLoad) {
    for (const char* text : {
             "AirplaneAlt\n{\nOp Above\nObjectId Jet\nValue 1\n}",
             "AirplaneAlt\n{\nOp Greater\nValue 1\n}",
             "AirplaneAlt\n{\nOp Greater\nObjectId Jet\nValue high\n}",
             "AirplaneHdg\n{\nObjectId Jet\nValue 10\n}",
             "Count\n{\nClassName class Obj::Car\nOp Equal\n}",
             "Count\n{\nClassName class Obj::Car\nOp Equal\nValue -1\n}",
             "CountEx\n{\nNameRegEx (\nOp Equal\nValue 1\n}",
             "Key\n{\nKey AB\n}",
             "Key\n{\nControlKeys 1\n}",
             "Range\n{\nOp Less\nObjectId Jet\nValue 1\nPos 0 0\nLine 0 0 1 1\n}",
             "Range\n{\nOp Less\nObjectId Jet\nValue 1\n}",
             "Range\n{\nOp Less\nObjectId Jet\nValue 1\nLine 0 0 1\n}",
             "TimeFromEvent\n{\nOp Less\nValue 1\n}",
             "Exist\n{\nObjectId Jet\n}",
             "Mission\n{\n}",
         })
        EXPECT_FALSE(Condition(text)) << text;
}

TEST_F(MissionWorld, CountsExactClassesAndCountExWholeNames) {
    Mission::Mission& m = Load("");
    const struct {
        const char* name;
        bool armed;
        Obj::Allegiance side;
    } vehicles[] = {
        {"Truck", false, Obj::Enemy},   {"Bandit1", true, Obj::Enemy}, {"Bandit2", true, Obj::Friendly},
        {"XBandit1", true, Obj::Enemy}, {"Bandit", true, Obj::Enemy},
    };
    std::vector<Obj::Car*> made;
    for (const auto& v : vehicles) {
        Obj::Car* car = v.armed ? new Obj::WarCar() : new Obj::Car();
        car->allegiance = v.side;
        m.AddObject(Add(car), v.name);
        made.push_back(car);
    }
    const struct {
        const char* text;
        bool expected;
    } cases[] = {
        {"Count\n{\nClassName class Obj::Car\nOp Equal\nValue 1\n}", true},
        {"Count\n{\nClassName CLASS OBJ::WARCAR\nOp Equal\nValue 4\n}", true},
        {"Count\n{\nClassName class Obj::WarCar\nOp Equal\nValue 3\nAllegiance Enemy\n}", true},
        {"Count\n{\nClassName class Obj::WarCar\nOp Equal\nValue 1\nAllegiance Friendly\n}", true},
        // An allegiance that does not parse counts every side.
        {"Count\n{\nClassName class Obj::WarCar\nOp Equal\nValue 4\nAllegiance Neutral\n}", true},
        {"Count\n{\nClassName class Obj::Vehicle\nOp Equal\nValue 0\n}", true},
        {"Count\n{\nClassName class Obj::Car\nOp Greater\nValue 1\nNegation 1\n}", true},
        {"CountEx\n{\nNameRegEx Bandit.+\nOp Equal\nValue 2\n}", true},
        {"CountEx\n{\nNameRegEx Bandit.+\nAllegiance Enemy\nOp Equal\nValue 1\n}", true},
        {"CountEx\n{\nClassRegEx class Obj::.*Car\nOp Equal\nValue 5\n}", true},
        {"CountEx\n{\nClassRegEx Obj::Car\nOp Equal\nValue 0\n}", true},
        {"CountEx\n{\nOp GreaterEqual\nValue 5\n}", true},
    };
    for (const auto& c : cases) {
        auto condition = Condition(c.text);
        ASSERT_TRUE(condition) << c.text;
        EXPECT_EQ(condition->Evaluate(), c.expected) << c.text;
    }
    // Destroyed objects no longer count.
    auto gone = Condition("Count\n{\nClassName class Obj::WarCar\nOp Equal\nValue 0\n}");
    ASSERT_TRUE(gone);
    EXPECT_FALSE(gone->Evaluate());
    for (size_t i = 1; i < made.size(); ++i)
        delete made[i];
    EXPECT_TRUE(gone->Evaluate());
}

TEST_F(MissionWorld, TimeFromStartAndTimeFromEventOnWorldAndRealTime) {
    Mission::Mission& m = Load("Events\n{\nGo\n{\nCondition TimeFromStart\n{\nOp GreaterEqual\nValue 0.25\n"
                               "RealTime 1\n}\n}\n}\n");
    auto worldClock = Condition("TimeFromStart\n{\nOp GreaterEqual\nValue 0.2\n}");
    auto realClock = Condition("TimeFromStart\n{\nOp GreaterEqual\nValue 0.2\nRealTime 1\n}");
    auto afterGo = Condition("TimeFromEvent\n{\nEventName Go\nOp GreaterEqual\nValue 0.25\n}");
    auto afterGoReal =
        Condition("TimeFromEvent\n{\nEventName Go\nOp GreaterEqual\nValue 0.25\nRealTime 1\n}");
    auto notAfterGo = Condition("TimeFromEvent\n{\nEventName Go\nOp GreaterEqual\nValue 0.25\nNegation 1\n}");
    ASSERT_TRUE(worldClock && realClock && afterGo && afterGoReal && notAfterGo);
    // The world's time runs at a tenth of the frame clock's; the mission starts at its first tick.
    const auto tick = [&] {
        Base::FrameClock::Tick();
        world->time->time += 0.01f;
        m.Update();
    };
    tick();
    EXPECT_FALSE(worldClock->Evaluate());
    EXPECT_FALSE(realClock->Evaluate());
    tick();
    tick();
    EXPECT_FALSE(worldClock->Evaluate()); // 0.03 of world time
    EXPECT_TRUE(realClock->Evaluate());   // 0.2 real seconds since the first tick
    EXPECT_FALSE(m.FindEvent("Go")->fired);
    // An event that has not fired: false, also negated.
    EXPECT_FALSE(notAfterGo->Evaluate());
    EXPECT_FALSE(afterGo->Evaluate());
    tick(); // 0.3 real: "Go" fires at world time 0.04
    ASSERT_TRUE(m.FindEvent("Go")->fired);
    EXPECT_FALSE(afterGoReal->Evaluate());
    EXPECT_TRUE(notAfterGo->Evaluate());
    for (int i = 0; i < 3; ++i)
        tick();
    EXPECT_TRUE(afterGoReal->Evaluate()); // 0.3 real seconds after
    EXPECT_FALSE(afterGo->Evaluate());    // 0.03 of world time after
    world->time->time = 0.3f;
    EXPECT_TRUE(afterGo->Evaluate());
    EXPECT_TRUE(worldClock->Evaluate());
}

TEST_F(MissionWorld, EventExistsHitPointsSucceedAndFail) {
    Mission::Mission& m = Load("Events\n{\nLater\n{\nCondition Fail\n{\n}\n}\n}\n");
    Thing* pilot = Add(new Thing());
    m.AddObject(pilot, "Player");
    pilot->SetHitPoints(40);
    auto fired = Condition("Event\n{\nEventName Later\n}");
    auto missing = Condition("Event\n{\nEventName Never\nNegation 1\n}");
    auto exists = Condition("Exists\n{\nObjectId Player\n}");
    auto lost = Condition("Exists\n{\nObjectId Player\nNegation 1\n}");
    auto hurt = Condition("HitPoints\n{\nObjectId Player\nOp Less\nValue 50\n}");
    auto failed = Condition("Fail\n{\n}");
    auto succeeded = Condition("Succeed\n{\n}");
    ASSERT_TRUE(fired && missing && exists && lost && hurt && failed && succeeded);
    EXPECT_FALSE(fired->Evaluate());
    EXPECT_FALSE(missing->Evaluate()); // no such event: false outright
    EXPECT_TRUE(exists->Evaluate());
    EXPECT_FALSE(lost->Evaluate());
    EXPECT_TRUE(hurt->Evaluate());
    EXPECT_FALSE(failed->Evaluate());
    m.state = Mission::Mission::Failed;
    EXPECT_TRUE(failed->Evaluate());
    EXPECT_FALSE(succeeded->Evaluate());
    Tick();
    EXPECT_TRUE(fired->Evaluate());
    delete pilot;
    EXPECT_FALSE(exists->Evaluate());
    EXPECT_TRUE(lost->Evaluate());
    EXPECT_FALSE(hurt->Evaluate()); // absent: false outright
}

TEST_F(MissionWorld, RangeToAPointAndToALine) {
    Mission::Mission& m = Load("");
    m.AddObject(Add(new Thing({300, 50, 400})), "Jet");
    m.AddObject(Add(new Thing({0, 0, 100})), "Mark");
    const struct {
        const char* text;
        bool expected;
    } cases[] = {
        {"Range\n{\nOp Less\nObjectId Jet\nValue 500.1\nPos 0 0\n}", true},
        {"Range\n{\nOp Less\nObjectId Jet\nValue 499.9\nPos 0 0\n}", false},
        {"Range\n{\nOp Equal\nObjectId Jet\nValue 300\nPos 0 0\n{\nObjectId Mark\n}\n}", false},
        {"Range\n{\nOp Less\nObjectId Jet\nValue 425\nPos 0 0\n{\nObjectId Mark\n}\n}", true},
        {"Range\n{\nOp Equal\nObjectId Jet\nValue 300\nLine 0 -1000 0 1000\n}", true},
        {"Range\n{\nOp Equal\nObjectId Jet\nValue 500\nLine 0 0 -10 0\n}", true}, // beyond the end
        {"Range\n{\nOp Less\nObjectId Nobody\nValue 1e9\nPos 0 0\nNegation 1\n}", false},
    };
    for (const auto& c : cases) {
        auto condition = Condition(c.text);
        ASSERT_TRUE(condition) << c.text;
        EXPECT_EQ(condition->Evaluate(), c.expected) << c.text;
    }
}

TEST_F(MissionWorld, KeysWithTheirModifiers) {
    Load("");
    Input::Keyboard keyboard;
    world->keyboard = &keyboard;
    auto a = Condition("Key\n{\nKey A\n}");
    auto lowerA = Condition("Key\n{\nKey a\n}");
    auto anyA = Condition("Key\n{\nKey a\nControlKeys 255\n}");
    auto bang = Condition("Key\n{\nAscii 33\n}"); // '!' is Shift and 1
    auto f1 = Condition("Key\n{\nDik 59\nControlKeys 2\n}");
    ASSERT_TRUE(a && lowerA && anyA && bang && f1);
    EXPECT_FALSE(a->Evaluate());
    keyboard.keys[DIK_A] = 1;
    EXPECT_TRUE(a->Evaluate());
    EXPECT_TRUE(lowerA->Evaluate());
    EXPECT_TRUE(anyA->Evaluate());
    keyboard.modifiers = Input::Keyboard::Control;
    EXPECT_FALSE(a->Evaluate());
    EXPECT_TRUE(anyA->Evaluate());
    keyboard.modifiers = Input::Keyboard::Shift;
    keyboard.keys[DIK_1] = 1;
    EXPECT_TRUE(bang->Evaluate());
    keyboard.modifiers = 0;
    EXPECT_FALSE(bang->Evaluate());
    keyboard.keys[DIK_F1] = 1;
    EXPECT_FALSE(f1->Evaluate());
    keyboard.modifiers = Input::Keyboard::Control;
    EXPECT_TRUE(f1->Evaluate());
    world->keyboard = nullptr;
    EXPECT_FALSE(anyA->Evaluate());
}

TEST_F(MissionWorld, RadarTargetThreatsIdentifiedAndTheAnnouncer) {
    Mission::Mission& m = Load("");
    Obj::Airplane* jet = Airplane(Flying(Heading(0), {0, 0, 100}, 1000));
    auto owned = std::make_unique<TestCockpit>();
    TestCockpit* cockpit = owned.get();
    jet->cockpit = std::move(owned);
    Thing* bandit = Add(new Thing({0, 1000, 5000}));
    Thing* other = Add(new Thing({0, 1000, 6000}));
    m.AddObject(jet, "Jet");
    m.AddObject(bandit, "Bandit");
    m.AddObject(other, "Other");
    auto anyTarget = Condition("AirplaneTarget\n{\nObjectId Jet\n}");
    auto banditTarget = Condition("AirplaneTarget\n{\nObjectId Jet\nTargetId Bandit\n}");
    auto threatened = Condition("Threats\n{\nObjectId Jet\n}");
    auto safeNobody = Condition("Threats\n{\nObjectId Nobody\nNegation 1\n}");
    auto identified = Condition("Identified\n{\nObjectId Bandit\nNegation 1\n}");
    auto quiet = Condition("AnnouncerEmpty\n{\n}");
    ASSERT_TRUE(anyTarget && banditTarget && threatened && safeNobody && identified && quiet);
    EXPECT_FALSE(anyTarget->Evaluate());
    cockpit->radarTarget = other;
    EXPECT_TRUE(anyTarget->Evaluate());
    EXPECT_FALSE(banditTarget->Evaluate());
    cockpit->radarTarget = bandit;
    EXPECT_TRUE(banditTarget->Evaluate());
    cockpit->ReportThreat(other, Obj::CockpitLink::ThreatTracked);
    EXPECT_FALSE(threatened->Evaluate());
    cockpit->ReportThreat(bandit, Obj::CockpitLink::ThreatMissile);
    EXPECT_TRUE(threatened->Evaluate());
    EXPECT_TRUE(safeNobody->Evaluate()); // an absent airplane has no threats; the negation applies
    EXPECT_FALSE(identified->Evaluate());
    EXPECT_TRUE(quiet->Evaluate());
    Gui::Announcer announcer;
    host.announcer = &announcer;
    EXPECT_TRUE(quiet->Evaluate());
    announcer.queue.push_back(new Gui::Announcement{"SenderSystem", "Hello", 1.0f, nullptr});
    EXPECT_FALSE(quiet->Evaluate());
    host.announcer = nullptr;
}
