// "airplane-circuit": the sample Su27 as the game builds it (Obj::Airplane on the complex flight model,
// with its engine, gear animation, wheels and ground probe) stands at the start of the sample airbase's
// runway 09, taxis out along it, takes off, flies a circuit and lands again. A landing needs a closed loop
// that a fixed script cannot give the player pilot's raw stick (player-takeoff flies that), so a small
// driver here stands in for the pilot: it turns the scripted joystick into the airplane's control commands
// the way a pilot flies by attitude. The stick's x sets the bank (full deflection 60 degrees; let go, the
// wings level and the heading is held at the nearest quarter of the compass), its y the climb angle (pulled
// fully back, 20 degrees up), the throttle lever the throttle (fully forward with the afterburner), the
// rudder steers the nose wheel; button 0 is the gear lever, 1 the wheel brakes, 2 the engine switch and 3
// the approach: from then on the driver flies the runway's centre line down a 3-degree path to a point
// 300 m past its start, flares, sets the brakes and closes the throttle. The trace says when the airplane
// takes off, when its gear is up and down, when it touches down and when it stands still again (and if it
// crashes).
#include "tests/rig/WorldScenario.h"

#include "aircraft/Airplane.h"
#include "objects/Structure.h"
#include "scene/AnimationFile.h"
#include "scene/ClumpFile.h"
#include "scene/ObjectModel.h"
#include "scene/RoleGroups.h"
#include "scene/SignedAngleOnPlane.h"
#include "scene/World.h"

#include "base/AnimationCache.h"
#include "base/ClumpCache.h"
#include "base/InfoCache.h"
#include "base/Maths.h"
#include "input/Joystick.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

using Physics::AirplaneState;

constexpr float Degree = float(Base::Pi / 180.0);
constexpr float ApproachSpeed = 100.0f; // m/s, gear down
constexpr float RotationSpeed = 75.0f;  // the stick comes fully back from here
// A bank of this sign turns the heading the positive way (a bank to the left, as the bank is measured).
constexpr float BankToTurn = -1.0f;

float Speed(const AirplaneState& s) {
    return float(Base::VectorLength(s.velocity));
}

// Compass heading of a direction on the ground, radians: 0 along +z, a quarter turn along -x.
float HeadingOf(const RwV3d& v) {
    return std::atan2(-v.x, v.z);
}

float Wrapped(float angle) {
    return std::remainder(angle, float(2 * Base::Pi));
}

bool OnWheels(const AirplaneState& s) {
    return std::min({s.wheelCompression[0], s.wheelCompression[1], s.wheelCompression[2]}) < -0.01f;
}

class Driver : public Obj::Object, public Obj::Runnable {
public:
    Driver(Obj::Airplane* airplane, const RwV3d& threshold, float runwayHeading, const Rig::RunContext& run)
        : airplane(airplane), threshold(threshold), runwayHeading(runwayHeading), run(run) {
        heading = runwayHeading;
        groundHeight = airplane->GetState().position.y;
    }

    void SetWorld(Grp::World* joined) override {
        Obj::Object::SetWorld(joined);
        Obj::SetRunnableWorld(*this, joined);
    }

    void Run() override {
        if (!airplane) {
            if (!crashReported)
                run.Trace("the airplane crashes");
            crashReported = true;
            return;
        }
        const float dt = world->time->step;
        AirplaneState s = airplane->GetState();
        const Input::Joystick* stick = run.joystick;
        const float x = stick ? stick->x : 0, y = stick ? stick->y : 0;
        switch (stick ? stick->pressedButton : -1) {
        case 0:
            s.gearDownCommand = s.gearDownCommand > 0 ? 0.0f : 1.0f;
            break;
        case 1:
            s.wheelBrakeCommand = s.wheelBrakeCommand > 0 ? 0.0f : 0.6f;
            break;
        case 2:
            s.engineRunning = !s.engineRunning;
            break;
        case 3:
            approach = true;
            run.Trace("approach");
            break;
        default:
            break;
        }
        if (stick) {
            s.throttle = std::clamp(stick->throttle, 0.0f, 1.0f);
            // The lever fully forward lights the afterburner.
            s.afterburnerCommand = s.throttle >= 0.99f ? 1.0f : 0.0f;
        }
        s.yawInput = stick ? stick->rudder : 0;

        const float speed = Speed(s);
        const float climbNow = speed > 1 ? std::asin(std::clamp(s.velocity.y / speed, -1.0f, 1.0f)) : 0;
        const float headingNow = HeadingOf(s.at);
        float bank = BankToTurn * x * 60 * Degree;
        float climb = -y * 20 * Degree;
        if (x != 0) {
            turning = true;
        } else if (turning) {
            // Out of the turn onto the nearest quarter of the compass.
            turning = false;
            heading = std::round(headingNow / (90 * Degree)) * 90 * Degree;
        }
        if (approach)
            Approach(s, climb);
        if (!turning)
            bank = BankToTurn * std::clamp(3.0f * Wrapped(heading - headingNow), -30 * Degree, 30 * Degree);
        const bool grounded = OnWheels(s);
        if (grounded) {
            // On the runway the nose wheel keeps the heading.
            s.yawInput = std::clamp(s.yawInput + 4.0f * Wrapped(heading - headingNow), -1.0f, 1.0f);
            bank = 0;
        }

        // Attitude: the bank through the ailerons, the climb angle through the elevator.
        const float bankNow = Obj::SignedAngleOnPlane(s.at, s.up, {0, 1, 0});
        const float rollRate = -Base::DotProduct(s.angularVelocity, s.at);
        s.rollInput = std::clamp(2.0f * (bankNow - bank) + 0.5f * rollRate, -1.0f, 1.0f);
        const float pitchRate = Base::DotProduct(s.angularVelocity, s.right);
        const float wanted = grounded ? 0.0f : climb;
        climbIntegral = std::clamp(climbIntegral + (wanted - climbNow) * dt, -0.5f, 0.5f);
        s.pitchInput = std::clamp(3.0f * (wanted - climbNow) + 1.0f * climbIntegral + 0.8f * pitchRate +
                                      0.3f * std::fabs(std::sin(bankNow)),
                                  -1.0f, 1.0f);
        // The take-off run: the stick fully back from rotation speed until the wheels leave the runway.
        if (grounded && !airborne && climb > 0 && speed > RotationSpeed)
            s.pitchInput = 1;
        airplane->SetState(s);
        Report(airplane->GetState());
    }

    Base::SmartPtr<Obj::Airplane> airplane;

private:
    // On the centre line down a 3-degree path to the aim point; flare, then brakes and idle on the ground.
    void Approach(AirplaneState& s, float& climb) {
        const RwV3d along = {-std::sin(runwayHeading), 0, std::cos(runwayHeading)};
        const RwV3d aim = {threshold.x + 300 * along.x, groundHeight, threshold.z + 300 * along.z};
        const RwV3d offset = {s.position.x - aim.x, 0, s.position.z - aim.z};
        const float before = -Base::DotProduct(offset, along); // distance to go
        const float aside = along.x * offset.z - along.z * offset.x;
        // Towards the centre line at 0.15 of the distance a second.
        const float toward = -0.15f * aside / std::max(Speed(s), 20.0f);
        heading = runwayHeading + std::asin(std::clamp(toward, -0.5f, 0.5f));
        const float height = s.position.y - groundHeight;
        const float path = std::max(0.0f, before) * std::tan(3 * Degree);
        if (OnWheels(s) && !airborne) {
            climb = 0;
            return;
        }
        if (height < 4 || OnWheels(s)) {
            climb = -1.5f / std::max(Speed(s), 1.0f); // flare: a gentle sink
            s.throttle = 0;
        } else {
            climb = std::clamp(-3 * Degree + 0.002f * (path - height), -6 * Degree, 3 * Degree);
            // Approach speed from the throttle.
            s.throttle = std::clamp(0.55f + 0.05f * (ApproachSpeed - Speed(s)), 0.0f, 1.0f);
        }
        if (OnWheels(s)) {
            s.throttle = 0;
            s.wheelBrakeCommand = 0.6f;
        }
    }

    void Report(const AirplaneState& s) {
        const bool grounded = OnWheels(s);
        if (!airborne && !grounded && s.position.y - groundHeight > 5) {
            airborne = true;
            run.Trace("the airplane takes off");
        }
        if (airborne && !landed && grounded) {
            landed = true;
            run.Trace("the airplane touches down");
        }
        if (s.gearExtension == 0 && gearDown) {
            gearDown = false;
            run.Trace("the gear is up");
        }
        if (s.gearExtension == 1 && !gearDown) {
            gearDown = true;
            run.Trace("the gear is down");
        }
        if (landed && !stopped && Speed(s) < 0.5f) {
            stopped = true;
            run.Trace("the airplane stands");
        }
    }

    RwV3d threshold;
    float runwayHeading;
    const Rig::RunContext& run;
    float heading = 0, groundHeight = 0, climbIntegral = 0;
    bool turning = false, approach = false;
    bool airborne = false, landed = false, stopped = false, gearDown = true, crashReported = false;
};

// The airplane's flight state beyond its frame: speed, controls, engine and gear.
bool DigestAirplane(Obj::Object* object, Rig::StateDigest& digest) {
    auto* airplane = dynamic_cast<Obj::Airplane*>(object);
    if (!airplane)
        return false;
    const AirplaneState s = airplane->GetState();
    for (const RwV3d& v : {s.velocity, s.angularVelocity}) {
        digest.Add(v.x);
        digest.Add(v.y);
        digest.Add(v.z);
    }
    for (float f : {s.engineSpool, s.fuel, s.gearExtension, s.aileronAngle, s.elevatorAngle, s.rudderAngle,
                    s.wheelCompression[0], s.wheelCompression[1], s.wheelCompression[2]})
        digest.Add(f);
    digest.Add(s.crashed);
    return true;
}

class AirplaneCircuit : public Rig::WorldScenario {
protected:
    bool Populate(Rig::RunContext& run, std::string& error) override {
        Base::ClumpCache::Directory = "Data/Models\\";
        Rw::InstallClumpCache();
        Base::AnimationCache::Directory = "Data/Anims\\";
        Rw::InstallAnimationCache();

        auto* base = new Obj::Airbase;
        if (!base->Load(&Base::InfoCache::Get("Data/Models/Base.model"))) {
            delete base;
            error = "the sample airbase does not load";
            return false;
        }
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.pos = {0, 100, 0}; // clear of the sea's level
        RwMatrixUpdate(&m);
        base->Transform(&m, rwCOMBINEREPLACE);
        world->AddObject(base);
        const Obj::Airbase::Runway* runway = base->FindRunway("09");
        if (!runway) {
            error = "the sample airbase has no runway 09";
            return false;
        }

        auto* airplane = new Obj::Airplane;
        airplane->seed = run.seed;
        if (!airplane->Load("Data/Models/Airplanes/Su27", Obj::Airplane::ComplexModel)) {
            delete airplane;
            error = "the sample Su27 does not load";
            return false;
        }
        world->AddObject(airplane);
        airplane->PlaceOnRunway(base, "09");
        const AirplaneState s = airplane->GetState();
        world->AddObject(new Driver(airplane, s.position, HeadingOf(s.at), run));
        return true;
    }

    // The world, then the caches' models, then the engine.
    void Stop() override {
        if (world) {
            world->Clear();
            world.reset();
        }
        Base::InfoCache::Clear();
        Base::AnimationCache::Clear();
        Base::AnimationCache::Read = nullptr;
        Base::AnimationCache::Destroy = nullptr;
        Base::ClumpCache::Clear();
        Base::ClumpCache::Read = nullptr;
        Base::ClumpCache::Clone = nullptr;
        Base::ClumpCache::Destroy = nullptr;
        Rig::WorldScenario::Stop();
    }
};

const bool registered = Rig::RegisterScenario(
    "airplane-circuit", [] { return std::unique_ptr<Rig::Scenario>(new AirplaneCircuit()); },
    "the sample Su27 takes off from the sample airbase, flies a circuit with its gear up and lands again");
const bool probed = Rig::RegisterDigestProbe(DigestAirplane);

} // namespace
