// Pilots on the test rig: the sample fighter in a world of its own (tests/aircraft/AirplaneFixture.h), the
// fixed clock and the scripted keyboard, mouse and joystick that the game's own input classes read. A frame
// plays the script's events, ticks the clock and polls the devices; the test then runs what it looks at.
#pragma once

#include "tests/aircraft/AirplaneFixture.h"
#include "tests/objects/TerrainFixture.h"
#include "tests/rig/ScriptedInput.h"

#include "aircraft/CockpitLink.h"
#include "pilots/PilotPlayer.h"

#include "base/Config.h"
#include "base/FrameClock.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A cockpit that records what the pilot asks of it.
class RecordingCockpit : public Obj::CockpitLink {
public:
    void ReportThreat(Obj::Frame*, int) override {}
    std::size_t GetThreatCount() const override { return 0; }
    bool GetThreat(std::size_t, Threat&) const override { return false; }
    Obj::Target* GetRadarTarget() const override { return radarTarget; }
    void SetRadarTarget(int, Obj::Target* target) override { radarTarget = target; }
    int SetRadarTargetKind(int kind) override {
        calls.push_back("kind " + std::to_string(kind));
        return kind;
    }
    void SelectRadarTarget(int form, int kind) override {
        calls.push_back("select " + std::to_string(form) + " " + std::to_string(kind));
    }
    void SetRadarRangeNext(int direction) override { calls.push_back("range " + std::to_string(direction)); }
    void SelectNextNavpoint() override { calls.push_back("navpoint"); }
    RwV3d GetEyePosition() const override { return {0, 0, 0}; }

    Obj::Target* radarTarget = nullptr;
    std::vector<std::string> calls;
};

class PilotRig : public AirplaneWorld {
public:
    static constexpr double Step = 1.0 / 64.0; // a step that float time keeps exactly

protected:
    void SetUp() override {
        AirplaneWorld::SetUp();
        if (HasFatalFailure())
            return;
        Base::FrameClock::SetFixedStep(Step);
        input = std::make_unique<Rig::ScriptedInput>();
        keyboard = std::make_unique<Input::Keyboard>();
        mouse = std::make_unique<Input::Mouse>();
        joystick = std::make_unique<Input::Joystick>();
        world->keyboard = keyboard.get();
        world->mouse = mouse.get();
        world->joystick = joystick.get();
    }
    void TearDown() override {
        world->terrain = nullptr;
        world->Clear();
        keyboard.reset();
        mouse.reset();
        joystick.reset();
        input.reset();
        Base::FrameClock::SetFixedStep(0);
        Obj::PilotStoresLink::Make = &Obj::MakeWeaponStoresLink;
        Obj::Airplane::CreateStores = nullptr;
        Obj::Airplane::CreateGun = nullptr;
        Obj::Airplane::RefillGun = nullptr;
        AirplaneWorld::TearDown();
    }

    void Script(const std::string& text) { ASSERT_TRUE(input->script.Parse(text)) << input->script.error; }

    // The script's events of the next frame, the clock's tick and the devices' polls.
    void Poll() {
        input->BeginFrame(frame++);
        Base::FrameClock::Tick();
        keyboard->PollAndAcquire();
        mouse->PollAndAcquire();
        joystick->PollAndAcquire();
    }

    // The sample fighter in the air over the origin (at least 250 above the ground), in this world.
    Obj::Airplane* Fighter(float speed = 200, float height = 3000) {
        auto* airplane = new Obj::Airplane;
        if (!airplane->Load(Sample("Su27").c_str(), Obj::Airplane::ComplexModel)) {
            delete airplane;
            ADD_FAILURE() << "the sample fighter does not load";
            return nullptr;
        }
        world->AddObject(airplane);
        airplane->Place(0, 0, height, 0, speed);
        return airplane;
    }

    // A pilot of that kind with the sample figure, seated in the airplane, in this world.
    template <class Kind = Obj::PilotPlayer> Kind* Seat(Obj::Airplane* airplane) {
        auto* pilot = new Kind;
        EXPECT_TRUE(pilot->Load(&Base::InfoCache::Get(models + "/Airplanes/Pilot.model")));
        pilot->SetAirplane(airplane);
        world->AddObject(pilot);
        return pilot;
    }

    // A flat terrain under the world; its height.
    float FlatGround() {
        TerrainFixture::Keys keys;
        TerrainFixture::Image map = TerrainFixture::Mask(65, 65, 40);
        EXPECT_TRUE(TerrainFixture::Build(terrain, keys, map, TerrainFixture::Mask(4, 4, 255),
                                          TerrainFixture::Mask(4, 4, 0)))
            << terrain.Error();
        world->terrain = &terrain;
        Base::Vector3 hit, normal;
        EXPECT_TRUE(terrain.IntersectSegment({{0, 10000, 0}, {0, -10000, 0}}, &hit, &normal));
        return hit.y;
    }

    Obj::Terrain terrain;
    std::unique_ptr<Rig::ScriptedInput> input;
    std::unique_ptr<Input::Keyboard> keyboard;
    std::unique_ptr<Input::Mouse> mouse;
    std::unique_ptr<Input::Joystick> joystick;
    uint32_t frame = 0;
    Base::Config config;
};
