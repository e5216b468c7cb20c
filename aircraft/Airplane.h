// Obj::Airplane: the flying aircraft of the world. A model with moving parts (wheels and suspension legs,
// control surfaces, the gear and the weapon-bay door), a flight model that owns the airplane's state
// record, an engine, exhaust, condensation and damage trails, a shadow, hit points and a crash. The loader
// builds it from the airplane's description; the world runs it each frame and simulates it at a fixed step.
#pragma once

#include "objects/Model.h"
#include "objects/Ship.h"
#include "objects/SmokeTrail.h"
#include "objects/Vehicle.h"
#include "aircraft/CockpitLink.h"
#include "aircraft/WeaponStores.h"
#include "physics/AirplanePhysics.h"

#include "base/SmartPtr.h"
#include "base/String.h"

#include <cstdint>
#include <memory>
#include <string>

struct RpHAnimHierarchy;
struct RtAnimAnimation;

namespace Audio {
class Sound3d;
}

namespace Obj {

class Airbase;
class Exhaust;
class Shadow;

class Airplane : public Model,
                 public Runnable,
                 public Simulateable,
                 public Target,
                 public Dynamic,
                 public TargetCounter,
                 public CatapultAirplane {
public:
    // The engine: turns the throttle and afterburner commands into spool, afterburner level and thrust
    // factor, burns fuel and drives the engine sounds. Exists while the airplane is in a world.
    class Engine {
    public:
        // The sounds are made in the world's sound group, when there is one.
        Engine(Airplane* airplane, const Base::String& engineSound, const Base::String& afterburnerSound);
        ~Engine();
        Engine(const Engine&) = delete;
        Engine& operator=(const Engine&) = delete;

        // One step on the airplane's state, after the flight model's.
        void Step(float dt);
        // The engine's part of a step on a state record: spool, afterburner, thrust factor and fuel.
        static void Advance(Physics::AirplaneState& state, float dt);

        Airplane* airplane;
        Audio::Sound3d* engineSound = nullptr;      // owned
        Audio::Sound3d* afterburnerSound = nullptr; // owned
    };

    // A keyframed animation of one part of the model (the gear, the weapon-bay door), played towards a
    // target position at one second of animation per second, with a sound that follows the movement.
    class PartAnimation {
    public:
        PartAnimation() = default;
        ~PartAnimation();
        PartAnimation(const PartAnimation&) = delete;
        PartAnimation& operator=(const PartAnimation&) = delete;

        // "<title>_<name>.anm" on the model's part of that name; not loaded when the model has no animation
        // hierarchy, no such part, or the animation is missing or lasts no time.
        void Load(Airplane* airplane, const char* name);
        // Releases what Load made.
        void Unload();
        void SetProgress(float t);
        void Update(const RwV3d& position, const RwV3d& velocity, float dt, float target);
        float GetProgress() const;
        float Duration() const;
        float CurrentTime() const;

        bool loaded = false;
        RpHAnimHierarchy* hierarchy = nullptr; // the part's sub-hierarchy, owned
        RtAnimAnimation* animation = nullptr;  // the animation cache's
        Audio::Sound3d* sound = nullptr;       // owned

    private:
        void SetTime(float time);
    };

    // A wheel and its suspension leg, placed from the flight state.
    class WheelRecord {
    public:
        bool Lookup(Airplane* airplane, const char* wheel, const char* suspension);
        void Update(float compression, float steering, float roll);
        float GetCompression() const;

        bool found = false;
        RwMatrix suspensionRest;
        RwFrame* suspension = nullptr;
        RwMatrix wheelRest;
        RwFrame* wheel = nullptr;
    };

    struct ControlSurface {
        bool found = false;
        RwMatrix rest;
        RwFrame* frame = nullptr;
    };
    enum Surface { AileronL, AileronR, FlapL, FlapR, ElevatorL, ElevatorR, RudderL, RudderR, SurfaceCount };
    static constexpr const char* SurfaceNames[SurfaceCount] = {
        "AileronL", "AileronR", "FlapL", "FlapR", "ElevatorL", "ElevatorR", "RudderL", "RudderR"};
    enum FlightModelKind { NullModel = 0, SimpleModel = 1, ComplexModel = 2 };

    // The gun the loader asks for; made by the weapons layer's maker, when one is installed.
    struct GunSetup {
        uint32_t rounds = 0; // half of "GunAmmo"
        float muzzleSpeed = 1036.0f;
        float interval = 0.1f;
        float lifetime = 1.5f;
        float damage = 75.0f;
        RwV3d offset{0, 0, 0};
    };
    static inline Frame* (*CreateGun)(Airplane* owner, const GunSetup& gun) = nullptr;
    // Puts a gun that CreateGun made back to its full load of rounds; installed with it.
    static inline void (*RefillGun)(Frame* gun) = nullptr;
    // The 3D cockpit, loaded from its model for this airplane; made by the cockpit layer's maker, when one
    // is installed (null otherwise, or when the cockpit cannot be loaded).
    static inline CockpitLink* (*CreateCockpit)(Airplane* owner, const Base::String& modelPath) = nullptr;
    // The cameras live a layer above: the camera layer tells whether a camera is the cockpit camera of an
    // airplane, which does not draw that airplane. Without it the airplane is always drawn.
    static inline bool (*IsCockpitCameraOf)(Cameras::Basic* camera, const Airplane* airplane) = nullptr;
    // The weapon stores with a rack for each "Rack<N>" frame of the model; made by the weapons layer's
    // maker, when one is installed (null otherwise).
    static inline WeaponStores* (*CreateStores)(Airplane* owner) = nullptr;

    Airplane();
    ~Airplane() override;

    // Builds the airplane from "<path>.info" (through the info cache, the path as given) with a flight
    // model of that kind (0 null, 1 simple, anything else complex). False, with one line on stderr naming
    // the file and the reason, when the model, the damage keys or the flight model's keys cannot be used;
    // such an airplane must not enter a world.
    bool Load(const char* path, int kind);
    using Model::Load;

    void SetWorld(Grp::World* world) override;
    void Simulate(float time, float step) override;
    void Run() override;
    void Render(unsigned order, Cameras::Basic* camera) override;
    Rw::Frame* Transform(const RwMatrix* matrix, int combine) override;
    const RwSphere* GetBoundingSphere() override { return Model::GetBoundingSphere(); }
    bool IntersectSegment(const RwLine* segment, RwV3d* outPoint, RwV3d* outNormal) override {
        return Clump::IntersectSegment(segment, outPoint, outNormal);
    }
    float GetDetectability() override;

    // On a carrier's catapult: the frame hangs below the carrier's, and while held the state's position and
    // axes are the frame's own, in the carrier's coordinates (its velocity and acceleration stay in the
    // world's). A fresh placement stands ready to launch: engine running at full power, gear down and
    // locked, brakes on; the run starts the launch when the pilot releases the brakes.
    Frame* GetCatapultFrame() override { return this; }
    State GetCatapultState() override;
    void SetCatapultState(const State& state, bool fresh) override;
    WheelGeometry GetWheelGeometry() override;

    // Damage and crash.
    void OnSegmentMissileHit(SegmentMissile* missile, const RwLine* segment, const RwV3d* hitPoint) override;
    void OnSphereMissileHit(SphereMissile* missile, const RwSphere* blast) override;
    void OnHitPointsChanged() override;
    void CountDestroyedTarget() override { ++groundKills; }
    void SetLastAttacker(const Base::String& name) { lastAttacker = name; }
    // Out of the world with an explosion and a wreck on land or a water spurt at sea; then deleted.
    void Crash(bool onWater);

    // In the air (height 0 or more: at least 250 above the ground, engine running, gear up) or standing on
    // its wheels (negative height: engine off, gear down); heading in degrees, 0 along +z, 90 along -x.
    void Place(float x, float z, float height, float heading, float speed);
    // Standing at the start of the airbase's runway, facing along it. False when the airbase has no such
    // runway.
    bool PlaceOnRunway(const Airbase* airbase, const Base::String& runway);
    // Fuel full, the gun's rounds back to a full load, the stores' last set-up hung again with full decoys.
    void Rearm();

    // The frame of the model's first atomic of that name, without regard to case; null when there is none.
    static RwFrame* FindPart(RpClump* clump, const char* name);

    // The allowed flying area's margin inside the terrain's extent: 30 km, at most a quarter of the extent.
    static float AreaMargin(float extent);

    Physics::AirplaneState GetState() const;
    void SetState(const Physics::AirplaneState& state);

    bool remoteCopy = false;  // a display copy of another peer's airplane: set before Load
    uint32_t seed = 0;        // the flight model's own random draws; set before Load
    bool frameToState = true; // an outside transform of the frame moves the flight state
    uint32_t airplaneKills = 0;
    uint32_t groundKills = 0;
    uint32_t shipKills = 0;
    RwV3d pilotSeat{0, 0, 0};
    std::unique_ptr<Physics::AirplanePhysics> flightModel;
    PartAnimation gears;
    PartAnimation weaponDoor;
    WheelRecord wheels[3]; // centre, left, right
    Base::SmartPtr<Shadow> shadow;
    std::unique_ptr<CockpitLink> cockpit; // null until the cockpit layer's maker makes one
    std::unique_ptr<WeaponStores> stores; // null until the weapons layer's maker makes them
    Base::SmartPtr<Frame> gun;
    GunSetup gunSetup;
    bool hasGun = false;
    Base::SmartPtr<Exhaust> exhaust;
    std::unique_ptr<Engine> engine;
    float crashCountdown = -1.0f;
    Audio::Sound3d* wheelsSound = nullptr; // owned
    RwV3d condensationOffset{0, 0, 0};
    Base::SmartPtr<SmokeTrailGroup> condensation;
    SmokeTrailGroup::Trail* condensationTrails[2] = {nullptr, nullptr};
    RwV3d damageOffset{0, 0, 0};
    Base::SmartPtr<SmokeTrailGroup> damageSmoke;
    SmokeTrailGroup::Trail* damageTrail = nullptr;
    Base::String lastAttacker;
    Base::String modelFile; // "<path>.dff"
    Base::String title;     // the model file's name without folder and extension
    ControlSurface surfaces[SurfaceCount];
    bool crashing = false;

private:
    void ProbeGround(Physics::AirplaneState& state);
    void PlaceFrameFromState(const Physics::AirplaneState& state);
    void UpdateTrails(const Physics::AirplaneState& state);
    bool CheckCrash(const Physics::AirplaneState& state, float dt);
    void KeepInsideArea(Physics::AirplaneState& state);
    void ReleaseWorldParts();
};

} // namespace Obj
