#include "tests/rig/scenarios/MissionAutopilot.h"

#include "tests/rig/ScriptedInput.h"

#include "mission/Mission.h"

#include "aircraft/Airplane.h"
#include "aircraft/CockpitLink.h"
#include "input/DirectInput.h"
#include "objects/Terrain.h"
#include "objects/Vehicle.h"
#include "scene/SignedAngleOnPlane.h"
#include "scene/World.h"
#include "weapons/HomingRocket.h"
#include "weapons/Stores.h"

#include "base/Maths.h"
#include "base/SmartPtr.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <limits>

namespace Rig {

namespace {

using Physics::AirplaneState;

constexpr float Degree = float(Base::Pi / 180.0);

RwV3d Sub(const RwV3d& a, const RwV3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
float Length(const RwV3d& v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}
float Speed(const AirplaneState& s) {
    return Length(s.velocity);
}
// Compass heading of a direction, radians: 0 along +z, a quarter turn along -x (the missions' Hdg).
float HeadingOf(const RwV3d& v) {
    return std::atan2(-v.x, v.z);
}
float Wrapped(float angle) {
    return std::remainder(angle, float(2 * Base::Pi));
}
float Elevation(const RwV3d& v) {
    const float length = Length(v);
    return length > 0 ? std::asin(std::clamp(v.y / length, -1.0f, 1.0f)) : 0.0f;
}
// With CORVANE_AUTOPILOT_LOG set, once a second of game time, what the autopilot sees goes to stderr.
bool Logging(const RunContext& run) {
    static const bool wanted = std::getenv("CORVANE_AUTOPILOT_LOG") != nullptr;
    return wanted && run.frame % 60 == 0;
}
// The height of the ground or sea below a point (sea level where nothing is loaded).
float GroundBelow(Grp::World& world, const RwV3d& at) {
    Base::Vector3 point, normal;
    if (world.terrain && world.terrain->IntersectGroundOrSea(
                             Obj::Terrain::Segment{{at.x, at.y, at.z}, {at.x, -100, at.z}}, &point, &normal))
        return point.y;
    return Obj::Terrain::SeaLevel;
}
bool OnWheels(const AirplaneState& s) {
    return std::min({s.wheelCompression[0], s.wheelCompression[1], s.wheelCompression[2]}) < -0.01f;
}

// What the player's hands do, as script events for the next frame: the stick, twist grip and lever move
// only when the wanted position differs from the last by a step, and presses of buttons and keys go one a
// frame, two frames apart (a press is released on the frame after it).
class Hands {
public:
    void Begin(const RunContext& run) {
        auto* input = dynamic_cast<ScriptedInput*>(Input::DirectInput);
        script = input ? &input->script : nullptr;
        frame = run.frame + 1;
        if (!pending.empty() && frame >= nextPress) {
            Add(pending.front().first, "press", {pending.front().second});
            pending.pop_front();
            nextPress = frame + 2;
        }
    }

    // The airplane's commands (roll, pitch and yaw in [-1, 1]) through the player pilot's shaping: the
    // stick's x and the twist squared, its y to the power 1.5.
    void Stick(float roll, float pitch, float yaw) {
        Axis("x", Root(roll, 2.0f), x);
        Axis("y", Root(pitch, 1.5f), y);
        Axis("rudder", Root(yaw, 2.0f), rudder);
    }
    void Lever(float value) {
        value = std::round(std::clamp(value, 0.0f, 1.0f) * 50) / 50;
        if (value == lever)
            return;
        lever = value;
        Add("joystick", "throttle", {Number(value)});
    }
    void Press(int button) { pending.emplace_back("joystick", std::to_string(button)); }
    void PressKey(const char* key) { pending.emplace_back("keyboard", key); }
    bool Pressing() const { return !pending.empty(); }
    void Hold(int button, bool down) {
        if (held[button] == down)
            return;
        held[button] = down;
        Add("joystick", down ? "down" : "up", {std::to_string(button)});
    }

private:
    static float Root(float v, float exponent) {
        v = std::clamp(v, -1.0f, 1.0f);
        return std::copysign(std::pow(std::fabs(v), 1.0f / exponent), v);
    }
    static std::string Number(float v) {
        char text[16];
        std::snprintf(text, sizeof text, "%.3f", double(v) == 0 ? 0.0 : double(v));
        return text;
    }
    void Axis(const char* name, float value, float& current) {
        value = std::round(value * 200) / 200;
        if (value == current)
            return;
        current = value;
        Add("joystick", "axis", {name, Number(value)});
    }
    void Add(const std::string& device, const std::string& event, std::vector<std::string> arguments) {
        if (!script)
            return;
        ScriptEvent e;
        e.frame = frame;
        e.device = device;
        e.event = event;
        e.arguments = std::move(arguments);
        script->Add(std::move(e));
    }

    Script* script = nullptr;
    uint32_t frame = 0, nextPress = 0;
    float x = 0, y = 0, rudder = 0, lever = -1;
    bool held[32] = {};
    std::deque<std::pair<std::string, std::string>> pending;
};

// Flying by attitude: the bank through the stick's x, the climb angle (or the nose's elevation) through
// its y.
class Flying : public MissionAutopilot {
protected:
    // The stick for that bank and climb angle (radians).
    void BankAndClimb(const AirplaneState& s, float bank, float climb, float dt, bool byNose = false) {
        const float bankNow = Obj::SignedAngleOnPlane(s.at, s.up, {0, 1, 0});
        const float rollRate = -Base::DotProduct(s.angularVelocity, s.at);
        roll = std::clamp(1.5f * (bankNow - bank) + 0.4f * rollRate, -1.0f, 1.0f);
        // The nose's attitude follows the stick at once, the flight path only after it: the stick holds the
        // attitude that gives the climb at the angle of attack flown of late.
        const float nose = Elevation(s.at);
        attack += (nose - Elevation(s.velocity) - attack) * std::min(1.0f, dt / 2);
        const float wanted = byNose ? climb : climb + attack;
        const float pitchRate = Base::DotProduct(s.angularVelocity, s.right);
        trim = std::clamp(trim + (wanted - nose) * dt, -2.0f, 2.0f);
        // More pull in a bank to hold the height.
        const float turn = 1.0f / std::max(0.3f, std::cos(bankNow)) - 1.0f;
        pitch = std::clamp(gain * (wanted - nose) + trim + 1.5f * pitchRate + 0.25f * turn, -1.0f, 1.0f);
    }
    // Towards a heading (radians) with at most that bank.
    void HeadingAndClimb(const AirplaneState& s, float heading, float climb, float dt, float maxBank,
                         bool byNose = false) {
        const float error = Wrapped(heading - HeadingOf(byNose ? s.at : s.velocity));
        // Aiming the nose at a turning target takes the bank of its turn: that comes from the error kept.
        headingTrim = byNose ? std::clamp(headingTrim + error * dt, -0.3f, 0.3f) : 0.0f;
        // A bank to the left (as the bank is measured) turns the heading the positive way.
        BankAndClimb(s, -std::clamp((byNose ? 4.0f : 2.5f) * error + 1.5f * headingTrim, -maxBank, maxBank),
                     climb, dt, byNose);
    }

    Hands hands;
    float roll = 0, pitch = 0, yaw = 0;
    float attack = 0, trim = 0, gain = 6.0f, headingTrim = 0;
};

// "Take-off and Landing": engine on, brakes off, full power down runway 09, up at rotation speed, gear up,
// out past the navpoint, round to the reciprocal heading and onto the centre line, gear down, down a
// 3-degree path onto runway 27, idle, brakes, to a stop.
class Circuit : public Flying {
public:
    void Fly(RunContext& run, Grp::World& world, Mission::Mission& mission, Obj::Airplane* player) override {
        hands.Begin(run);
        if (!player || !player->flightModel)
            return;
        const AirplaneState s = player->GetState();
        const float dt = world.time->step;
        const float speed = Speed(s);
        auto* base = mission.FindObject("Coast Field");
        const RwSphere* sphere = base ? base->GetBoundingSphere() : nullptr;
        if (!sphere)
            return;
        if (phase == Start) {
            ground = s.position.y;
            runwayHeading = HeadingOf(s.at);
            hands.PressKey("E");
            if (s.wheelBrakeCommand > 0)
                hands.PressKey("B");
            hands.Lever(1);
            phase = Roll;
        }
        const float height = s.position.y - ground;
        // The runway's centre line through the base's position, along the take-off heading.
        const RwV3d along = {-std::sin(runwayHeading), 0, std::cos(runwayHeading)};
        const RwV3d offset = Sub(s.position, {sphere->center.x, ground, sphere->center.z});
        const float ahead = Base::DotProduct(offset, along);
        const float aside = along.x * offset.z - along.z * offset.x;
        const float back = Wrapped(runwayHeading + float(Base::Pi));
        // Cruise: 600 m up at 140 m/s.
        const float level = std::clamp(0.0015f * (600 - height), -0.1f, 0.1f);
        const float cruise = std::clamp(0.6f + 0.03f * (140 - speed), 0.3f, 0.98f);
        yaw = 0;
        float lever = 1;
        switch (phase) {
        case Start:
        case Roll:
            // The nose wheel keeps the heading; the stick fully back from rotation speed.
            yaw = std::clamp(-3.0f * Wrapped(runwayHeading - HeadingOf(s.at)), -1.0f, 1.0f);
            roll = 0;
            pitch = speed > 75 ? 1.0f : 0.0f;
            if (!OnWheels(s) && height > 10)
                phase = Climb;
            break;
        case Climb:
            HeadingAndClimb(s, runwayHeading, 8 * Degree, dt, 20 * Degree);
            if (height > 60 && !gearUp) {
                hands.PressKey("G");
                gearUp = true;
            }
            if (height > 500)
                phase = Out;
            break;
        case Out:
            HeadingAndClimb(s, runwayHeading, level, dt, 20 * Degree);
            lever = cruise;
            if (ahead > 13000)
                phase = Turn;
            break;
        case Turn: {
            // Round to the left (a positive heading change) onto the reciprocal.
            const float error = Wrapped(back - HeadingOf(s.velocity));
            BankAndClimb(
                s, error > 0.3f || error < -2.5f ? -30 * Degree : -std::clamp(2.5f * error, -0.5f, 0.5f),
                level, dt);
            lever = cruise;
            if (std::fabs(error) < 5 * Degree)
                phase = Approach;
            break;
        }
        case Approach: {
            // Onto the centre line, then down 3 degrees to a point 400 m past runway 27's threshold (1500 m
            // behind the base's position as the take-off went).
            const float toGo = ahead - (1500 - 400);
            const float path = std::min(600.0f, std::max(0.0f, toGo) * std::tan(3 * Degree));
            const float heading = back + std::clamp(std::atan(aside / 1500), -0.7f, 0.7f);
            const float climb = std::clamp(-3 * Degree + 0.0015f * (path - height), -7 * Degree, 1 * Degree);
            HeadingAndClimb(s, heading, path < 600 ? climb : level, dt, 25 * Degree);
            lever = std::clamp(0.5f + 0.05f * ((path < 600 ? 95 : 120) - speed), 0.0f, 0.98f);
            if (toGo < 9000 && !gearDown) {
                hands.PressKey("G");
                gearDown = true;
            }
            if (height < 6)
                phase = Flare;
            break;
        }
        case Flare:
            HeadingAndClimb(s, back, -1.0f / std::max(speed, 1.0f), dt, 5 * Degree);
            lever = 0;
            if (OnWheels(s)) {
                phase = Stop;
                hands.PressKey("B");
            }
            break;
        case Stop:
            yaw = std::clamp(-3.0f * Wrapped(back - HeadingOf(s.at)), -1.0f, 1.0f);
            roll = 0;
            pitch = 0;
            lever = 0;
            break;
        }
        hands.Stick(roll, pitch, yaw);
        hands.Lever(lever);
        if (Logging(run)) {
            const float below = GroundBelow(world, s.position) - ground;
            std::fprintf(
                stderr,
                "%u phase %d, height %.0f (ground %.0f), speed %.1f, ahead %.0f, aside %.0f, heading %.1f\n",
                run.frame, int(phase), double(height), double(below), double(speed), double(ahead),
                double(aside), double(HeadingOf(s.velocity) / Degree));
        }
    }

private:
    enum Phase { Start, Roll, Climb, Out, Turn, Approach, Flare, Stop };
    Phase phase = Start;
    float ground = 0, runwayHeading = 0;
    bool gearUp = false, gearDown = false;
};

// The combat missions: the nearest enemy first. An airplane is met with the radar's missiles, the medium
// ones first, each fired once its seeker holds the target, then chased with the gun; a ground target is
// dived on with the gun. Flares and chaff go whenever the threat warning shows a missile.
class Fighter : public Flying {
public:
    explicit Fighter(bool ground) : groundTargets(ground) {}

    void Fly(RunContext& run, Grp::World& world, Mission::Mission&, Obj::Airplane* player) override {
        hands.Begin(run);
        if (!player || !player->flightModel)
            return;
        const AirplaneState s = player->GetState();
        const float dt = world.time->step;
        const float now = world.time->time;
        const float speed = Speed(s);
        Obj::CockpitLink* cockpit = player->cockpit.get();
        Weapons::Stores* stores = Weapons::Stores::Of(player);
        // The weapon door open for the missiles.
        if (!doorOpen) {
            hands.PressKey("D");
            doorOpen = true;
        }

        // The nearest enemy of the kind wanted, and where it goes.
        Obj::Damageable* target = nullptr;
        RwV3d at{}, velocity{};
        float distance = std::numeric_limits<float>::infinity();
        world.ForEach([&](Obj::Object* object) {
            auto* candidate = dynamic_cast<Obj::Damageable*>(object);
            if (!candidate || candidate->allegiance == player->allegiance || candidate->hitPoints <= 0)
                return;
            RwV3d position;
            if (auto* airplane = dynamic_cast<Obj::Airplane*>(object)) {
                if (groundTargets || !airplane->flightModel)
                    return;
                position = airplane->flightModel->state.position;
            } else if (dynamic_cast<Obj::Vehicle*>(object) && groundTargets &&
                       candidate->name.rfind("Truck", 0) == 0) {
                const RwSphere* sphere = candidate->GetBoundingSphere();
                if (!sphere)
                    return;
                position = sphere->center;
            } else {
                return;
            }
            const float d = Length(Sub(position, s.position));
            // The target in hand stays the target while it lives.
            if (candidate == lastTarget.Get()) {
                distance = -1;
                target = candidate;
                at = position;
            }
            if (d < distance) {
                distance = d;
                target = candidate;
                at = position;
            }
        });
        if (target)
            distance = Length(Sub(at, s.position));
        if (target != lastTarget.Get()) {
            lastTarget = target;
            lastPosition = at;
        }
        if (auto* airplane = dynamic_cast<Obj::Airplane*>(target))
            velocity = airplane->flightModel->state.velocity;
        else if (dt > 0)
            velocity = {(at.x - lastPosition.x) / dt, (at.y - lastPosition.y) / dt,
                        (at.z - lastPosition.z) / dt};
        lastPosition = at;

        // The nearest missile on the threat warning.
        Obj::CockpitLink::Threat threat;
        RwV3d missileAt{};
        float missileDistance = std::numeric_limits<float>::infinity();
        for (std::size_t i = 0; cockpit && cockpit->GetThreat(i, threat); ++i) {
            if (threat.level != Obj::CockpitLink::ThreatMissile || !threat.source)
                continue;
            double p[3];
            threat.source->GetWorldPositionDouble(p);
            const RwV3d position = {float(p[0]), float(p[1]), float(p[2])};
            const float d = Length(Sub(position, s.position));
            if (d < missileDistance) {
                missileDistance = d;
                missileAt = position;
            }
        }
        const bool evading = missileDistance < 30000;
        if (evading != jamming && !hands.Pressing()) {
            hands.Press(6);
            jamming = evading;
        }

        float lever = 1;
        bool fire = false;
        aimErrorSeen = -1;
        yaw = 0;
        if (evading) {
            // The missile square on one side, a little down; close in, a hard turn away from where it aims,
            // with chaff and flares: its seeker then finds them nearer than the airplane.
            const float bearing = HeadingOf(Sub(missileAt, s.position));
            const float heading = HeadingOf(s.velocity);
            const float side = Wrapped(heading - bearing) > 0 ? 1.0f : -1.0f;
            if (missileDistance < 2500) {
                // Pulling hard in the bank the beam turn left.
                const float bank = Obj::SignedAngleOnPlane(s.at, s.up, {0, 1, 0});
                BankAndClimb(s, (bank > 0 ? 1.0f : -1.0f) * 80 * Degree, 0, dt);
                pitch = 1;
            } else {
                HeadingAndClimb(s, bearing + side * float(Base::Pi / 2),
                                s.position.y > 800 ? -5 * Degree : 5 * Degree, dt, 80 * Degree);
            }
            if (missileDistance < 3000 && now > nextDecoy && !hands.Pressing()) {
                hands.Press(5);
                hands.Press(4);
                nextDecoy = now + 0.4f;
            }
        } else if (!target) {
            HeadingAndClimb(s, HeadingOf(s.velocity), 0, dt, 30 * Degree);
            lever = std::clamp(0.6f + 0.03f * (180 - speed), 0.3f, 0.98f);
        } else {
            // Lead for the gun's rounds: they leave at about 1036 m/s along the nose on top of the airplane's
            // own velocity, so what counts is how the target moves against the airplane, over the time the
            // rounds take.
            const RwV3d relative = Sub(velocity, s.velocity);
            RwV3d aim = at;
            if (distance < 2500)
                for (int i = 0; i < 3; ++i) {
                    const float t = Length(Sub(aim, s.position)) / 1036;
                    aim = {at.x + relative.x * t, at.y + relative.y * t, at.z + relative.z * t};
                }
            const RwV3d to = Sub(aim, s.position);
            const bool close = distance < 2500;
            float climb = std::clamp(Elevation(to), -45 * Degree, 45 * Degree);
            const float above = s.position.y - GroundBelow(world, s.position);
            float maxBank = above < 800 ? 35 * Degree : 75 * Degree;
            bool byNose = close;
            if (groundTargets) {
                // Strafing: in 1500 m over the target's ground, down at it from 5 km out with the gun, out
                // again straight ahead and up once through, and round for the next pass.
                const float horizontal = std::hypot(to.x, to.z);
                const float high = at.y + 1500;
                if (strafe == Dive && (distance < 600 || above < 250))
                    strafe = Recover;
                if (strafe == Recover && above > 1000 && horizontal > 3500)
                    strafe = RunIn;
                if (strafe == RunIn && horizontal < 5000 &&
                    std::fabs(Wrapped(HeadingOf(to) - HeadingOf(s.velocity))) < 10 * Degree)
                    strafe = Dive;
                if (strafe == RunIn) {
                    climb = std::clamp(0.002f * (high - s.position.y), -0.15f, 0.15f);
                    byNose = false;
                    maxBank = 45 * Degree;
                } else if (strafe == Recover) {
                    climb = 20 * Degree;
                    maxBank = 0;
                    byNose = false;
                }
                lever = std::clamp(0.6f + 0.03f * (170 - speed), 0.2f, 0.98f);
            } else if (above < 400) {
                // Clear of the ground in a chase.
                climb = std::max(climb, 12 * Degree);
            }
            if (strafe == Recover && groundTargets) {
                aiming = false;
                BankAndClimb(s, 0, climb, dt);
            } else if (groundTargets && strafe == Dive && distance < 2500) {
                Aim(s, to, dt);
            } else {
                aiming = false;
                HeadingAndClimb(s, HeadingOf(to), climb, dt, maxBank, byNose);
            }
            const float aimError =
                std::acos(std::clamp(Base::DotProduct(s.at, to) / std::max(Length(to), 1.0f), -1.0f, 1.0f));
            aimErrorSeen = aimError;
            if (groundTargets) {
                // The rounds' path as the sight shows it: fired when it passes the target close enough.
                const RwV3d rounds = {1036 * s.at.x + s.velocity.x - velocity.x,
                                      1036 * s.at.y + s.velocity.y - velocity.y,
                                      1036 * s.at.z + s.velocity.z - velocity.z};
                const RwV3d from = Sub(s.position, at);
                const float t =
                    -Base::DotProduct(from, rounds) / std::max(Base::DotProduct(rounds, rounds), 1.0f);
                const RwV3d miss = {from.x + rounds.x * t, from.y + rounds.y * t, from.z + rounds.z * t};
                fire = strafe == Dive && t > 0 && t < 1.4f && Length(miss) < 4;
            } else {
                // Closing to 400 m behind and holding there.
                if (distance < 2500)
                    lever = std::clamp(0.6f + 0.05f * (Length(velocity) + 0.05f * (distance - 400) - speed),
                                       0.0f, 1.0f);
                fire = distance < 800 && aimError < 1.0f * Degree;
                Missiles(&world, stores, cockpit, target, distance, now);
            }
        }
        const bool gun = stores && stores->IsGunSelected();
        hands.Hold(0, fire && gun);
        hands.Stick(roll, pitch, yaw);
        hands.Lever(lever);
        if (Logging(run))
            std::fprintf(
                stderr,
                "%u target %.0f m, off the nose %.1f, height %.0f, speed %.1f, gun %d, rack %d, locked %d\n",
                run.frame, double(distance), double(aimErrorSeen / Degree), double(s.position.y),
                double(speed), int(gun), stores ? int(stores->selectedRack) : -1, int(Locked(stores)));
    }

private:
    // The nose held on a point for the gun: its height by the stick's pitch, its side by the rudder and a
    // little bank, each with a term for the rate and one for the error kept; the bank also turns the
    // airplane as fast as the sight line turns.
    void Aim(const AirplaneState& s, const RwV3d& to, float dt) {
        const float nose = Elevation(s.at);
        const float up = Elevation(to) - nose;
        const float side = Wrapped(HeadingOf(to) - HeadingOf(s.at)) * std::cos(nose);
        const float sight = HeadingOf(to);
        if (!aiming) {
            aiming = true;
            upHold = pitch;
            sideHold = 0;
            upLast = up;
            sideLast = side;
            sightLast = sight;
            sightRate = 0;
        }
        const float upRate = dt > 0 ? (up - upLast) / dt : 0, sideRate = dt > 0 ? (side - sideLast) / dt : 0;
        if (dt > 0)
            sightRate += (Wrapped(sight - sightLast) / dt - sightRate) * std::min(1.0f, dt / 0.3f);
        upLast = up;
        sideLast = side;
        sightLast = sight;
        upHold = std::clamp(upHold + 8 * up * dt, -1.0f, 1.0f);
        pitch = std::clamp(upHold + 12 * up + 2 * upRate, -1.0f, 1.0f);
        sideHold = std::clamp(sideHold + 3 * side * dt, -1.0f, 1.0f);
        yaw = -std::clamp(sideHold + 10 * side + 2 * sideRate, -1.0f, 1.0f);
        const float follow = std::atan(sightRate * Length(s.velocity) / 9.81f);
        const float bank = -std::clamp(10 * side + follow, -0.5f, 0.5f);
        const float bankNow = Obj::SignedAngleOnPlane(s.at, s.up, {0, 1, 0});
        const float rollRate = -Base::DotProduct(s.angularVelocity, s.at);
        roll = std::clamp(1.5f * (bankNow - bank) + 0.4f * rollRate, -1.0f, 1.0f);
    }
    bool aiming = false;
    float upHold = 0, sideHold = 0, upLast = 0, sideLast = 0, sightLast = 0, sightRate = 0;

    // The radar on the target, a missile selected that reaches it, fired when its seeker holds the target;
    // the gun once none is left or the target is close.
    void Missiles(Grp::World* world, Weapons::Stores* stores, Obj::CockpitLink* cockpit,
                  Obj::Damageable* target, float distance, float now) {
        if (!stores || !cockpit || hands.Pressing() || now < nextCommand)
            return;
        nextCommand = now + 0.25f;
        auto* wanted = dynamic_cast<Obj::Target*>(target);
        bool missilesLeft = false;
        for (std::size_t i = 0; i < stores->racks.size(); ++i)
            if (auto* rocket = dynamic_cast<Weapons::HomingRocket*>(stores->GetOrdnance(i)))
                missilesLeft = missilesLeft || rocket->airToAir;
        const bool gunTime = distance < 1500 || !missilesLeft;
        auto* selected = dynamic_cast<Weapons::HomingRocket*>(stores->GetSelectedOrdnance());
        if (gunTime) {
            if (!stores->IsGunSelected())
                hands.Press(2);
            return;
        }
        if (cockpit->GetRadarTarget() != wanted) {
            hands.Press(1);
            return;
        }
        // The missile that just reaches the target, or else the farthest-reaching one.
        float fitting = std::numeric_limits<float>::infinity(), longest = 0;
        for (std::size_t i = 0; i < stores->racks.size(); ++i)
            if (auto* rocket = dynamic_cast<Weapons::HomingRocket*>(stores->GetOrdnance(i));
                rocket && rocket->airToAir) {
                longest = std::max(longest, Reach(*rocket));
                if (Reach(*rocket) >= distance)
                    fitting = std::min(fitting, Reach(*rocket));
            }
        const float wantedReach = std::isfinite(fitting) ? fitting : longest;
        if (!selected || !selected->airToAir || Reach(*selected) != wantedReach) {
            hands.Press(2);
            return;
        }
        if (selected->GetTarget() != wanted) {
            // Selected before the radar held the target: select it again.
            hands.Press(2);
            return;
        }
        // One missile at a time at a target: the next goes when the last has ended.
        bool inFlight = false;
        world->ForEach([&](Obj::Object* object) {
            auto* missile = dynamic_cast<Weapons::HomingRocket*>(object);
            inFlight = inFlight || (missile && !missile->rack && missile->GetTarget() == wanted);
        });
        if (selected->IsLocked() && !inFlight && now > nextLaunch && distance < Reach(*selected)) {
            hands.Press(0);
            nextLaunch = now + 1;
        }
    }

    static bool Locked(const Weapons::Stores* stores) {
        auto* missile =
            stores ? dynamic_cast<Weapons::HomingRocket*>(stores->GetSelectedOrdnance()) : nullptr;
        return missile && missile->IsLocked();
    }
    // How far a missile flies to a target coming on: most of its top speed for its time to live.
    static float Reach(const Weapons::HomingRocket& rocket) {
        return 0.7f * rocket.maxSpeed * rocket.timeToLive;
    }

    bool groundTargets;
    enum Strafe { RunIn, Dive, Recover };
    Strafe strafe = RunIn;
    bool jamming = false, doorOpen = false;
    float aimErrorSeen = -1;
    Base::SmartPtr<Obj::Damageable> lastTarget;
    RwV3d lastPosition{};
    float nextDecoy = 0, nextCommand = 0, nextLaunch = 0;
};

// Out of the fight: round to the reciprocal of the heading the mission starts the player on, and on at his
// starting height and speed.
class Cruise : public Flying {
public:
    void Fly(RunContext& run, Grp::World& world, Mission::Mission&, Obj::Airplane* player) override {
        hands.Begin(run);
        if (!player || !player->flightModel)
            return;
        const AirplaneState s = player->GetState();
        if (!started) {
            started = true;
            height = s.position.y;
            heading = Wrapped(HeadingOf(s.velocity) + float(Base::Pi));
            speed = Speed(s);
        }
        yaw = 0;
        HeadingAndClimb(s, heading, std::clamp(0.0015f * (height - s.position.y), -0.1f, 0.1f),
                        world.time->step, 20 * Degree);
        hands.Stick(roll, pitch, yaw);
        hands.Lever(std::clamp(0.6f + 0.03f * (speed - Speed(s)), 0.3f, 0.98f));
    }

private:
    bool started = false;
    float height = 0, heading = 0, speed = 0;
};

} // namespace

std::unique_ptr<MissionAutopilot> MakeCruiseAutopilot() {
    return std::make_unique<Cruise>();
}

std::unique_ptr<MissionAutopilot> MakeMissionAutopilot(const std::string& missionFile) {
    if (missionFile.find("TakeOffAndLanding") != std::string::npos)
        return std::make_unique<Circuit>();
    return std::make_unique<Fighter>(missionFile.find("Convoy") != std::string::npos);
}

} // namespace Rig
