// "sample-airplanes": the five sample airplanes on the complex flight model, flying through the world's
// simulation and run passes over flat ground at sea level. The F16 is the player's, flown with the scripted
// joystick (x rolls, y pitches, the rudder yaws, the throttle lever sets the thrust); the others fly
// themselves: the Su25 climbs, the Mig29 turns, the Su27 reverses its bank every 20 s and the Yak141 holds
// its height. A crash is traced.
#include "tests/rig/WorldScenario.h"

#include "base/Info.h"
#include "base/Maths.h"
#include "input/Joystick.h"
#include "physics/AirplanePhysicsComplex.h"
#include "scene/ObjectModel.h"
#include "scene/SignedAngleOnPlane.h"
#include "scene/World.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

using Physics::AirplaneState;

constexpr float Degree = float(Base::Pi / 180.0);

float Speed(const AirplaneState& s) {
    return float(Base::VectorLength(s.velocity));
}

// A pilot that holds a height, a speed and a bank, as one writes the commands before each flight step.
struct Autopilot {
    float height = 0, speed = 0, bank = 0;
    float integral = 0;
    void Command(AirplaneState& s, float dt) {
        const float e = height - s.position.y;
        integral = std::clamp(integral + e * dt, -400.0f, 400.0f);
        s.pitchInput = std::clamp(0.002f * e - 0.02f * s.velocity.y + 0.0005f * integral, -1.0f, 1.0f);
        const float rate = -Base::DotProduct(s.angularVelocity, s.at);
        const float bankNow = Obj::SignedAngleOnPlane(s.at, s.up, {0, 1, 0});
        s.rollInput = std::clamp(2.0f * (bankNow - bank) + 0.5f * rate, -1.0f, 1.0f);
        s.thrustFactor = std::clamp(s.thrustFactor + 0.0005f * (speed - Speed(s)) -
                                        0.002f * Base::DotProduct(s.acceleration, s.at),
                                    0.0f, 1.0f);
    }
};

class Airplane : public Obj::Object,
                 public Obj::Simulateable,
                 public Obj::Runnable,
                 public Obj::Target,
                 public Rig::Digestable {
public:
    enum Pilot { Player, Climb, Turn, Reversals, Level };

    Airplane(std::string title, const Physics::PhysicsParams& params, const AirplaneState& start, Pilot pilot,
             const Rig::RunContext& run)
        : title(std::move(title)), model(params, start), pilot(pilot), run(run) {
        stepInterval = 0.01f;
        hitPoints = maxHitPoints = 100;
        name = this->title;
        autopilot.height = start.position.y;
        autopilot.speed = std::max(Speed(start), 150.0f);
        if (pilot == Turn)
            autopilot.bank = 30 * Degree;
    }

    void SetWorld(Grp::World* joined) override {
        Obj::Object::SetWorld(joined);
        if (joined) {
            joined->simulateables->Insert(static_cast<Obj::Simulateable*>(this));
            joined->runnables->Insert(static_cast<Obj::Runnable*>(this));
            joined->targets->Insert(static_cast<Obj::Target*>(this));
        } else {
            if (Obj::Simulateable::group)
                Grp::Simple<Obj::Simulateable>::Remove(this);
            if (Obj::Runnable::group)
                Grp::Simple<Obj::Runnable>::Remove(this);
            if (Obj::Target::group)
                Grp::Simple<Obj::Target>::Remove(this);
        }
    }

    void Simulate(float time, float step) override {
        if (!(step > 0))
            return;
        AirplaneState s = model.state;
        // Flat ground at sea level.
        s.groundValid = 1;
        s.groundNormal = {0, 1, 0};
        s.groundDistance = 0;
        s.groundVelocity = {0, 0, 0};
        s.groundRoughness = 0.2f;
        s.groundHeight = 0;
        switch (pilot) {
        case Player:
            s.rollInput = stick.x;
            s.pitchInput = -stick.y;
            s.yawInput = stick.rudder;
            s.thrustFactor = stick.throttle;
            break;
        case Climb:
            autopilot.height = 2500;
            autopilot.Command(s, step);
            break;
        case Reversals:
            autopilot.bank = (int(time / 20.0f) % 2 ? -45.0f : 45.0f) * Degree;
            autopilot.Command(s, step);
            break;
        default:
            autopilot.Command(s, step);
            break;
        }
        model.SetState(s);
        model.Step(step);
    }

    void Run() override {
        if (pilot == Player && run.joystick) {
            stick.x = run.joystick->x;
            stick.y = run.joystick->y;
            stick.rudder = run.joystick->rudder;
            stick.throttle = run.joystick->throttle;
        }
        const AirplaneState& s = model.state;
        if (s.crashed && !crashReported) {
            crashReported = true;
            hitPoints = 0;
            run.Trace(title + " crashes");
        }
    }

    const RwSphere* GetBoundingSphere() override {
        sphere = {model.state.position, 10.0f};
        return &sphere;
    }

    // No model to strike: segments pass.
    bool IntersectSegment(const RwLine*, RwV3d*, RwV3d*) override { return false; }

    void DigestState(Rig::StateDigest& digest) const override {
        const AirplaneState& s = model.state;
        digest.Add(std::string_view(title));
        for (double p : s.precisePosition)
            digest.Add(p);
        for (const RwV3d& v : {s.position, s.up, s.at, s.right, s.velocity, s.angularVelocity}) {
            digest.Add(v.x);
            digest.Add(v.y);
            digest.Add(v.z);
        }
        digest.Add(s.thrustFactor);
        digest.Add(s.crashed);
        digest.Add(s.outOfControl);
    }

private:
    std::string title;
    Physics::AirplanePhysicsComplex model;
    Pilot pilot;
    const Rig::RunContext& run;
    Autopilot autopilot;
    struct {
        float x = 0, y = 0, rudder = 0, throttle = 0;
    } stick;
    bool crashReported = false;
    RwSphere sphere{};
};

class SampleAirplanes : public Rig::WorldScenario {
protected:
    bool Populate(Rig::RunContext& run, std::string& error) override {
        struct Start {
            const char* title;
            Airplane::Pilot pilot;
            float height, speed, x;
        } const starts[] = {
            {"F16", Airplane::Player, 2000, 180, 0},      {"Su25", Airplane::Climb, 800, 170, 500},
            {"Mig29", Airplane::Turn, 3000, 200, -2000},  {"Su27", Airplane::Reversals, 4000, 220, 2000},
            {"Yak141", Airplane::Level, 1500, 160, 4000},
        };
        for (const Start& start : starts) {
            Base::Info info;
            const std::string path = std::string("Data/Models/Airplanes/") + start.title + ".info";
            if (info.LoadFile(path) != 0) {
                error = path + " cannot be read";
                return false;
            }
            Physics::PhysicsParams params;
            Physics::ReadPhysicsParams(info, params);
            // Where the model's "WheelC" and "WheelL" frames would put the wheels.
            params.complex.centerWheelPosition = {0, -1.3f, 4.0f};
            params.complex.sideWheelPosition = {1.4f, -1.2f, -0.6f};

            AirplaneState s;
            AirplaneState::Init(s);
            s.engineRunning = 1;
            s.throttle = s.throttleLevel = 0.5f;
            s.engineSpool = 0.75f;
            s.thrustFactor = 0.5f;
            s.position = {start.x, start.height, 0};
            s.velocity = {0, 0, start.speed};
            s.precisePosition[0] = s.position.x;
            s.precisePosition[1] = s.position.y;
            s.precisePosition[2] = s.position.z;
            auto* airplane = new Airplane(start.title, params, s, start.pilot, run);
            world->AddObject(airplane);
        }
        return true;
    }
};

const bool registered = Rig::RegisterScenario(
    "sample-airplanes", [] { return std::unique_ptr<Rig::Scenario>(new SampleAirplanes()); },
    "the five sample airplanes on the complex flight model through the world's passes");

} // namespace
