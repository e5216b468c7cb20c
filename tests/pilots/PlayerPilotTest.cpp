// The player pilot in the sample fighter on the rig: the default key assignments as Config.dat holds them,
// played on the scripted keyboard and joystick. Each frame the devices are polled and the pilot runs; the
// test reads the commands it left in the airplane's state.
#include "PilotFixture.h"

#include "weapons/AirplaneGun.h"
#include "weapons/Stores.h"

#include "base/Info.h"

#include <cstdio>
#include <filesystem>
#include <map>

namespace {

// Weapon stores as a table of racks, recording what the pilot asks of them.
class TableStores : public Obj::PilotStoresLink {
public:
    bool IsGunSelected() const override { return gunSelected; }
    void SelectGun() override {
        gunSelected = true;
        selected = NoRack;
        calls.push_back("gun");
    }
    uint8_t GetSelectedRack() const override { return selected; }
    std::size_t GetRackCount() const override { return racks.size(); }
    bool GetOrdnance(std::size_t rack, Ordnance& out) const override {
        if (rack >= racks.size() || racks[rack].name.empty())
            return false;
        out = racks[rack];
        return true;
    }
    uint8_t FindNextRack(const Base::String& name) override {
        for (std::size_t i = 0; i < racks.size(); ++i)
            if (racks[i].name == name)
                return uint8_t(i);
        return NoRack;
    }
    void SelectRack(uint8_t index) override {
        selected = index;
        gunSelected = false;
        calls.push_back("rack " + std::to_string(index));
    }
    void SetSelectedTarget(Obj::Target* target) override { calls.push_back(target ? "target" : "no target"); }
    void DropCountermeasure(int kind) override { calls.push_back("drop " + std::to_string(kind)); }

    bool gunSelected = true;
    uint8_t selected = NoRack;
    std::vector<Ordnance> racks;
    std::vector<std::string> calls;
};

TableStores* madeStores = nullptr;

class PlayerPilot : public PilotRig {
protected:
    void SetUp() override {
        PilotRig::SetUp();
        if (HasFatalFailure())
            return;
        airplane = Fighter();
        ASSERT_TRUE(airplane);
        auto cockpitLink = std::make_unique<RecordingCockpit>();
        cockpit = cockpitLink.get();
        airplane->cockpit = std::move(cockpitLink);
        pilot = Seat(airplane);
        pilot->ApplySettings(&config);
    }
    void TearDown() override {
        madeStores = nullptr;
        PilotRig::TearDown();
    }
    // Stores with these racks for the airplane.
    void Racks(std::vector<Obj::PilotStoresLink::Ordnance> racks) {
        pending = std::move(racks);
        Obj::PilotStoresLink::Make = [](Obj::Airplane*) -> std::unique_ptr<Obj::PilotStoresLink> {
            auto stores = std::make_unique<TableStores>();
            stores->racks = pending;
            madeStores = stores.get();
            return stores;
        };
    }
    // One frame: devices, then the pilot alone (the airplane's own run would take the fire request).
    Physics::AirplaneState Frame(float worldStep = 0) {
        Poll();
        world->time->step = worldStep;
        world->time->time += worldStep;
        Physics::AirplaneState s = airplane->GetState();
        s.fireRequest = 0;
        airplane->SetState(s);
        pilot->Run();
        return airplane->GetState();
    }
    void Frames(uint32_t until) {
        while (frame < until)
            Frame();
    }
    static inline std::vector<Obj::PilotStoresLink::Ordnance> pending;

    Obj::Airplane* airplane = nullptr;
    RecordingCockpit* cockpit = nullptr;
    Obj::PilotPlayer* pilot = nullptr;
};

TEST_F(PlayerPilot, SticksAndKeysReachTheAirplane) {
    Script("2 keyboard down RIGHT\n"
           "2 keyboard down DOWN\n"
           "2 keyboard down X\n"
           "2 keyboard down A\n");
    Frames(2);
    const float throttle = airplane->GetState().throttle;
    const Physics::AirplaneState s = Frame();
    EXPECT_FLOAT_EQ(s.rollInput, 36 * float(Step * Step));
    EXPECT_FLOAT_EQ(s.pitchInput, std::pow(6 * float(Step), 1.5f));
    EXPECT_FLOAT_EQ(s.yawInput, -36 * float(Step * Step));
    EXPECT_FLOAT_EQ(s.throttle, throttle + float(Step)); // from where the airplane had it
}

TEST_F(PlayerPilot, KeyCommandsToggleWithTheirModifiers) {
    // G gear, B brakes, D door, J jammer; E engine, Ctrl+E eject (left for the ejection tests).
    Script("2 keyboard press G\n"
           "4 keyboard press B\n"
           "6 keyboard press D\n"
           "8 keyboard press J\n"
           "10 keyboard press E\n"
           "12 keyboard down LSHIFT\n"
           "13 keyboard press G\n" // gear takes no modifier: Shift+G does nothing
           "15 keyboard up LSHIFT\n"
           "16 keyboard press G\n"
           "18 joystick press 6\n"); // the jammer's button
    Frames(2);
    const Physics::AirplaneState before = airplane->GetState();
    ASSERT_EQ(before.gearDownCommand, 0);
    ASSERT_EQ(before.wheelBrakeCommand, 0);
    ASSERT_EQ(before.engineRunning, 1);
    Frames(16);
    const Physics::AirplaneState s = airplane->GetState();
    EXPECT_EQ(s.gearDownCommand, 1.0f);
    EXPECT_EQ(s.wheelBrakeCommand, 0.6f);
    EXPECT_EQ(s.weaponDoorCommand, 1.0f);
    EXPECT_EQ(s.jammerOn, 1);
    EXPECT_EQ(s.engineRunning, 0);
    Frames(20);
    EXPECT_EQ(airplane->GetState().gearDownCommand, 0); // G alone raised it again
    EXPECT_EQ(airplane->GetState().jammerOn, 0);
    EXPECT_TRUE(pilot->GetAirplane());
}

TEST_F(PlayerPilot, EngineKeysAandZWithoutModifiers) {
    const struct {
        const char* what;
        uint8_t running;
        float spool;
        const char* script;
        uint8_t expected;
    } cases[] = {
        {"A starts a stopped engine", 0, 0, "keyboard press A", 1},
        {"Z stops it at idle", 1, 0.6f, "keyboard press Z", 0},
        {"Z at 0.601 still stops it", 1, 0.601f, "keyboard press Z", 0},
        {"Z above idle does not", 1, 0.65f, "keyboard press Z", 1},
        {"Shift+A does not start it", 0, 0, "keyboard press A", 0},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        const bool shift = std::string(k.what).find("Shift") != std::string::npos;
        input->script = {};
        Script(std::to_string(frame) + (shift ? " keyboard down LSHIFT\n" : " keyboard up LSHIFT\n") +
               std::to_string(frame + 2) + " " + k.script + "\n");
        Frame();
        Frame();
        Physics::AirplaneState s = airplane->GetState();
        s.engineRunning = k.running;
        s.engineSpool = k.spool;
        airplane->SetState(s);
        EXPECT_EQ(Frame().engineRunning, k.expected);
        Frame();
    }
}

TEST_F(PlayerPilot, AfterburnerOnlyAboveFullThrottle) {
    const struct {
        float throttle;
        int presses;
        float expected;
    } cases[] = {{0.98f, 1, 0}, {0.98f, 4, 0}, {0.99f, 1, 0.25f}, {1.0f, 3, 0.75f}, {1.0f, 6, 1.0f}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.throttle);
        SCOPED_TRACE(k.presses);
        Physics::AirplaneState s = airplane->GetState();
        s.throttle = k.throttle;
        s.afterburnerCommand = 0;
        airplane->SetState(s);
        input->script = {};
        std::string script;
        for (int i = 0; i < k.presses; ++i)
            script += std::to_string(frame + 2 * i) + " keyboard press BACK\n";
        Script(script);
        Frames(frame + 2 * k.presses + 1);
        EXPECT_EQ(airplane->GetState().afterburnerCommand, k.expected);
    }
    // Pulling the throttle back to 0.98 cuts it.
    Physics::AirplaneState s = airplane->GetState();
    s.throttle = 0.98f;
    airplane->SetState(s);
    EXPECT_EQ(Frame().afterburnerCommand, 0);
}

TEST_F(PlayerPilot, GunFiresWhileHeldOnlyAfterARelease) {
    Racks({{"AIM9", 1, true, false}});
    // Space is held before the gun is seen: nothing until it is let go.
    Script("1 keyboard down SPACE\n"
           "6 keyboard up SPACE\n"
           "8 keyboard down SPACE\n"
           "12 keyboard up SPACE\n"
           "14 keyboard press LBRACKET\n" // the missile: each press fires once
           "16 keyboard down SPACE\n"
           "22 keyboard press LBRACKET\n" // back to the gun, with Space held
           "26 keyboard up SPACE\n"
           "27 keyboard down SPACE\n");
    Poll(); // the keyboard is read from its second frame: the pilot first sees Space already held
    std::map<uint32_t, int> fired;
    while (frame < 30) {
        const uint32_t f = frame;
        fired[f] = Frame().fireRequest;
    }
    for (uint32_t f = 1; f < 8; ++f)
        EXPECT_EQ(fired[f], 0) << f;
    for (uint32_t f = 8; f < 12; ++f)
        EXPECT_EQ(fired[f], 1) << f;
    EXPECT_EQ(fired[12], 0);
    EXPECT_EQ(fired[16], 1); // the press
    for (uint32_t f = 17; f < 27; ++f)
        EXPECT_EQ(fired[f], 0) << f; // held, then the gun again while still held
    EXPECT_TRUE(madeStores->gunSelected);
    EXPECT_EQ(fired[27], 1);
    EXPECT_EQ(fired[29], 1);
}

TEST_F(PlayerPilot, EachPilotHasItsOwnTriggerLatch) {
    // One pilot learns the release; a new pilot made while the key is held must see one of its own.
    ASSERT_TRUE(airplane->hasGun);
    Script("2 keyboard down SPACE\n"
           "4 keyboard up SPACE\n"
           "6 keyboard down SPACE\n");
    Frames(7);
    EXPECT_EQ(airplane->GetState().fireRequest, 1);
    pilot->SetAirplane(nullptr);
    world->RemoveObject(pilot);
    delete pilot;
    pilot = Seat(airplane);
    pilot->ApplySettings(&config);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Frame().fireRequest, 0) << i;
}

TEST_F(PlayerPilot, WeaponCyclingVisitsEachModesKindsInOrderThenTheGun) {
    Racks({
        {"AIM9", 1, true, false},
        {"R73", 1, true, false}, // the same order: the first rack's wins
        {"AIM120", 2, true, false},
        {"Mk82", 5, false, false},
        {"Pod", 3, false, true}, // a launcher with no rockets left
        {"AGM65", 4, false, false},
        {"Special", 127, true, false}, // never taken
        {},
        {"AIM120", 2, true, false},
    });
    cockpit->radarTarget = airplane; // any target will do
    Frames(2);
    const struct {
        const char* key;
        uint8_t rack; // 255: the gun
        const char* kind;
    } presses[] = {
        {"LBRACKET", 0, "kind 1"}, {"LBRACKET", 2, "kind 1"}, {"LBRACKET", 255, ""},
        {"LBRACKET", 0, "kind 1"}, {"RBRACKET", 5, "kind 2"}, {"RBRACKET", 3, "kind 2"},
        {"RBRACKET", 255, ""},     {"RBRACKET", 5, "kind 2"},
    };
    for (const auto& p : presses) {
        SCOPED_TRACE(std::string(p.key) + " " + std::to_string(p.rack));
        input->script = {};
        Script(std::to_string(frame) + " keyboard press " + p.key + "\n");
        cockpit->calls.clear();
        Frame();
        ASSERT_TRUE(madeStores);
        const std::vector<std::string> stores = madeStores->calls;
        madeStores->calls.clear();
        Frame();
        EXPECT_EQ(pilot->GetWeaponMode(), std::string(p.key) == "LBRACKET" ? 0u : 1u);
        EXPECT_EQ(cockpit->weaponMode, pilot->GetWeaponMode());
        if (p.rack == 255) {
            EXPECT_TRUE(madeStores->gunSelected);
            EXPECT_EQ(stores, std::vector<std::string>{"gun"});
            EXPECT_TRUE(cockpit->calls.empty());
        } else {
            EXPECT_EQ(madeStores->selected, p.rack);
            EXPECT_EQ(stores,
                      (std::vector<std::string>{"no target", "rack " + std::to_string(p.rack), "target"}));
            EXPECT_EQ(cockpit->calls, std::vector<std::string>{p.kind});
        }
    }
}

TEST_F(PlayerPilot, WeaponKeysWorkTheAirplanesOwnStores) {
    // A fighter made with its stores, the air-to-air set-up hung: two short-range missiles, two
    // medium-range ones and two fuel tanks, which are never selected.
    ASSERT_TRUE(Weapons::InstallStores());
    ASSERT_TRUE(Weapons::InstallAirplaneGun());
    Obj::Airplane* armed = Fighter();
    ASSERT_TRUE(armed);
    armed->cockpit = std::make_unique<RecordingCockpit>();
    Weapons::Stores* stores = Weapons::Stores::Of(armed);
    ASSERT_TRUE(stores);
    Base::Info setup;
    ASSERT_EQ(setup.LoadText("RACK0 Weapons\\ShortAAM\nRACK1 Weapons\\ShortAAM\nRACK2 Weapons\\MediumAAM\n"
                             "RACK3 Weapons\\MediumAAM\nRACK4 Weapons\\FuelTank\nRACK5 Weapons\\FuelTank\n"),
              0);
    stores->ApplySetup(&setup);
    Obj::Airplane::CreateStores = nullptr;
    Obj::Airplane::CreateGun = nullptr;
    Obj::Airplane::RefillGun = nullptr;
    pilot->SetAirplane(armed);
    pilot->ApplySettings(&config);
    ASSERT_TRUE(stores->IsGunSelected());
    Script("2 keyboard press LBRACKET\n"
           "4 keyboard press LBRACKET\n"
           "6 keyboard press LBRACKET\n"
           "8 keyboard press SEMICOLON\n"
           "10 keyboard press APOSTROPHE\n");
    airplane = armed;
    Frames(3);
    EXPECT_EQ(stores->selectedRack, 0);
    EXPECT_FALSE(stores->IsGunSelected());
    Frames(5);
    EXPECT_EQ(stores->selectedRack, 2);
    Frames(7);
    EXPECT_TRUE(stores->IsGunSelected());
    Frames(12);
    EXPECT_EQ(stores->decoys[0], Weapons::Stores::FullDecoys - 1);
    EXPECT_EQ(stores->decoys[1], Weapons::Stores::FullDecoys - 1);
}

TEST_F(PlayerPilot, RadarNavigationAndCountermeasureCommands) {
    Racks({{"AIM9", 1, true, false}, {"Mk82", 2, false, false}});
    // Tab and Shift+Tab select targets of the kind the weapon mode and the gun say; N, R, Shift+R; ; and '.
    Script("2 keyboard press TAB\n"
           "4 keyboard press LBRACKET\n"
           "6 keyboard press TAB\n"
           "8 keyboard press RBRACKET\n"
           "10 keyboard down LSHIFT\n"
           "11 keyboard press TAB\n"
           "13 keyboard press R\n"
           "15 keyboard up LSHIFT\n"
           "16 keyboard press R\n"
           "18 keyboard press N\n"
           "20 joystick press 1\n"
           "22 keyboard press SEMICOLON\n"
           "24 keyboard press APOSTROPHE\n");
    Frames(26);
    EXPECT_EQ(cockpit->calls,
              (std::vector<std::string>{"select 0 0", "kind 1", "select 0 1", "kind 2", "select 1 2",
                                        "range 1", "range -1", "navpoint", "select 0 2"}));
    ASSERT_TRUE(madeStores);
    const std::vector<std::string> drops(madeStores->calls.end() - 2, madeStores->calls.end());
    EXPECT_EQ(drops, (std::vector<std::string>{"drop 0", "drop 1"}));
}

TEST_F(PlayerPilot, BlackoutAboveOneTakesTheControlsUntilBothLevelsFallBelowSevenTenths) {
    Script("1 keyboard down RIGHT\n"
           "3 keyboard press G\n");
    Frames(2);
    const struct {
        float blackout, redout;
        bool out;
    } cases[] = {{1.01f, 0, true}, {1.0f, 0, false}, {0, 1.01f, true}, {0, 1.0f, false}, {0.9f, 0.9f, false}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.blackout);
        SCOPED_TRACE(k.redout);
        pilot->unconscious = 0;
        pilot->blackout = k.blackout;
        pilot->redout = k.redout;
        const float gear = airplane->GetState().gearDownCommand;
        const bool pressesGear = frame == 3;
        const Physics::AirplaneState s = Frame(); // no world time: the levels stay
        EXPECT_EQ(pilot->unconscious, k.out);
        EXPECT_EQ(s.rollInput == 0, k.out);
        if (pressesGear) {
            EXPECT_EQ(s.gearDownCommand != gear, !k.out);
        }
    }
    // From 1.01 the level falls at 0.08 per second with no g-load; the controls come back below 0.7 only.
    pilot->blackout = 1.01f;
    pilot->redout = 0;
    Frame();
    ASSERT_EQ(pilot->unconscious, 1);
    int frames = 0;
    while (pilot->unconscious && frames < 1000) {
        EXPECT_GE(pilot->blackout, 0.7f - 0.0081f);
        const Physics::AirplaneState s = Frame(0.1f);
        EXPECT_EQ(s.rollInput == 0, pilot->unconscious == 1);
        ++frames;
    }
    EXPECT_LT(pilot->blackout, 0.7f);
    EXPECT_EQ(frames, 39); // (1.01 - 0.7) / 0.008 = 38.75 frames of 0.1 s
}

TEST_F(PlayerPilot, InputSuspendedWhileTypingKeepsTheAirplaneAsItIs) {
    Script("1 keyboard down RIGHT\n"
           "3 keyboard press G\n");
    pilot->inputSuspended = 1;
    Frames(5);
    const Physics::AirplaneState s = airplane->GetState();
    EXPECT_EQ(s.rollInput, 0);
    EXPECT_EQ(s.gearDownCommand, 0);
}

TEST_F(PlayerPilot, SettingsFromConfigDatReachThePilot) {
    // Gear on Shift+K or joystick button 9, eject on button 12, the stick on the joystick.
    Base::Config written;
    written.controlsType = 1;
    written.joySensitivity = 0.25f;
    written.joyDeadZone = 0.3f;
    written.keyAssignments[Obj::PilotPlayer::GearBinding] = {0x25, 9, Base::KeyAssignment::Shift};
    written.keyAssignments[Obj::PilotPlayer::EjectBinding] = {0, 12, 0};
    const std::string file = (scratch / "Config.dat").string();
    ASSERT_TRUE(written.Save(file));
    ASSERT_TRUE(config.Load(file));
    pilot->ApplySettings(&config);
    EXPECT_FLOAT_EQ(joystick->deadZone, 0.3f * 0.33f);

    Script("2 keyboard press K\n" // no Shift: nothing
           "4 keyboard down LSHIFT\n"
           "5 keyboard press K\n" // down
           "7 keyboard up LSHIFT\n"
           "8 joystick press 9\n"      // up again
           "10 joystick axis x -0.5\n" // stick: 0.25 x 0.75
           "10 keyboard down LEFT\n"   // the keys no longer roll
           "12 joystick press 12\n");
    Frames(4);
    EXPECT_EQ(airplane->GetState().gearDownCommand, 0);
    Frames(7);
    EXPECT_EQ(airplane->GetState().gearDownCommand, 1.0f);
    Frames(10);
    EXPECT_EQ(airplane->GetState().gearDownCommand, 0);
    Frame();
    EXPECT_NEAR(airplane->GetState().rollInput, -0.25f * 0.75f, 1e-4f);
    Frames(13);
    EXPECT_FALSE(pilot->GetAirplane()); // ejected on the joystick's button
}

// A saved inversion turns the pitch round in flight, on the keys and on the stick: held forward (Up arrow,
// stick pushed) the nose goes down as set by default and up when inverted; the roll stays as it was.
TEST_F(PlayerPilot, SavedInversionFlipsThePitchInFlight) {
    const struct {
        uint32_t controlsType;
        const char* hold; // the stick or the keys forward and to the right, from the frame given
        const char* release;
    } controls[] = {
        {0, "%u keyboard down UP\n%u keyboard down RIGHT\n", "%u keyboard up UP\n%u keyboard up RIGHT\n"},
        {1, "%u joystick axis y -0.6\n%u joystick axis x 0.5\n",
         "%u joystick axis y 0\n%u joystick axis x 0\n"}};
    const auto at = [](const char* format, uint32_t f) {
        char text[160];
        std::snprintf(text, sizeof text, format, f, f);
        return std::string(text);
    };
    for (const auto& c : controls)
        for (bool inverted : {false, true}) {
            SCOPED_TRACE(c.controlsType);
            SCOPED_TRACE(inverted);
            Base::Config written;
            written.controlsType = c.controlsType;
            written.invertPitch = inverted;
            const std::string file = (scratch / "Config.dat").string();
            ASSERT_TRUE(written.Save(file));
            ASSERT_TRUE(config.Load(file));
            ASSERT_EQ(config.invertPitch, inverted);
            pilot->ApplySettings(&config);
            airplane->Place(0, 0, 3000, 0, 200);
            Script(at(c.hold, frame + 1) + at(c.release, frame + 49));
            const float noseBefore = airplane->GetState().at.y;
            float pitch = 0, roll = 0;
            for (int i = 0; i < 48; ++i) {
                Poll();
                AirplaneWorld::Frame(float(Step));
                pitch = airplane->GetState().pitchInput;
                roll = airplane->GetState().rollInput;
            }
            const float nose = airplane->GetState().at.y - noseBefore;
            EXPECT_LT(inverted ? -pitch : pitch, -0.1f);
            EXPECT_GT(roll, 0.1f);
            if (inverted)
                EXPECT_GT(nose, 0.02f) << "the nose comes up";
            else
                EXPECT_LT(nose, -0.02f) << "the nose goes down";
            for (int i = 0; i < 32; ++i) // released, back to the centre
                Frame();
        }
}

TEST_F(PlayerPilot, CtrlEEjectsAndTheFigureComesDownUnderItsParachute) {
    FlatGround();
    airplane->Place(0, 0, 0, 0, 150); // 250 above the ground
    Base::SmartPtr<Obj::Airplane> plane(airplane);
    Base::SmartPtr<Obj::PilotPlayer> figure(pilot);
    Script("2 keyboard down LCONTROL\n"
           "3 keyboard press E\n"
           "5 keyboard up LCONTROL\n");
    for (int i = 0; i < 4; ++i) {
        Poll();
        AirplaneWorld::Frame(float(Step));
    }
    ASSERT_TRUE(figure);
    EXPECT_EQ(figure->GetAirplane(), nullptr);
    EXPECT_EQ(figure->figureState, Obj::Pilot::Ejected);
    ASSERT_TRUE(plane);
    EXPECT_EQ(plane->GetState().outOfControl, 1); // not handed back by the pilot's own state
    EXPECT_TRUE(plane->GetState().engineRunning); // Ctrl+E is not the engine's E
    int frames = 0;
    while (figure && frames < 64 * 120) {
        Poll();
        AirplaneWorld::Frame(float(Step));
        ++frames;
    }
    EXPECT_FALSE(figure); // landed and gone
    EXPECT_FALSE(plane);  // crashed 7 s after the ejection
    airplane = nullptr;
    pilot = nullptr;
}

TEST_F(PlayerPilot, UnknownControlTypeInTheSettingsPlaysOnTheKeys) {
    config.controlsType = 42; // an edited file; the record's own reader would have cut it
    pilot->ApplySettings(&config);
    Script("2 keyboard down LEFT\n");
    Frames(3);
    EXPECT_FLOAT_EQ(airplane->GetState().rollInput, -36 * float(Step * Step));
}

} // namespace
