// Obj::PilotAi: the computer's pilot. Each frame it copies its airplane's state record, flies the current
// mode's behaviour into it (stick and throttle only), scales the commands by its skill and hands the record
// back; then it decides what to do next: follow a wing leader, fly a path, stay with an object it defends,
// search for and attack air or ground targets, evade missiles with decoys, pull up from the ground or eject.
// All its random draws come from its own generator, seeded by whoever creates it, so that a mission flown
// twice is flown the same way.
#pragma once

#include "pilots/AiStores.h"
#include "pilots/Pilot.h"

#include "physics/AirplaneState.h"

#include "base/SmartPtr.h"

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace Obj {

class Airplane;
class Damageable;

class PilotAi : public Pilot {
public:
    enum Mode : uint32_t {
        Cruise = 0,
        RejoinLeader = 1,
        JoinFormation = 2,
        KeepFormation = 3,
        BreakFromLeader = 4,
        AttackAir = 5,
        Idle = 6,
        TurnToAir = 7,
        ApproachAir = 8,
        ApproachGround = 9,
        BombRun = 10,
        RocketRun = 11,
        Reposition = 12,
        PullUp = 13,
        FollowPath = 14,
        EvadeMissile = 15,
        Defend = 16,
        ModeCount = 17
    };

    // The mission's path: the pilot flies to the current point and steps on (wrapping) within 3000 of it.
    struct NavPath {
        std::vector<RwV3d> points;
        std::size_t current = 0;
    };

    // The generator's seed; its first draws set skillFactor and willEject.
    explicit PilotAi(uint32_t seed = 0);
    ~PilotAi() override;

    void Run() override;

    // The stores of an airplane as the pilot sees them: by default the airplane's weapon stores; a test may
    // put a stand-in in their place. Without stores the pilot makes no decisions.
    static inline std::unique_ptr<AiStores> (*StoresOf)(Airplane* airplane) = nullptr;
    static std::unique_ptr<AiStores> WeaponStoresOf(Airplane* airplane);
    // The guidance of a radar-warning entry's source: 1 infrared, 2 radar, 0 anything else (no homing
    // missile); by default the homing missile's own, replaceable by a test.
    static inline int (*ThreatGuidance)(Frame* source) = nullptr;
    static int GuidanceOf(Frame* source);

    // Steering: each reads the airplane's axes and position from `state` and writes commands into it.
    void TurnTowards(const RwV3d& point);
    void FlyTowards(const RwV3d& point);
    void ClimbTo(float altitude, float distance);
    void PointAt(float verticalError, float headingError);
    void MatchSpeed(float speed);
    void FollowTerrain(float clearance);
    // The five-point terrain profile ahead: built afresh or advanced by one step.
    void BuildProfile(bool fresh);

    // The decision step (after the commands are handed back), and its parts.
    void Decide();
    void ChooseFormation();
    bool SelectAttack();
    void ChooseAirAttack();
    void ChooseGroundAttack();
    void MissionTargetStep();
    void FireControl();
    void CheckThreats();
    void ScanWeapons();
    bool ChooseWeapon(bool airToAir, float minimumRange, Damageable* target);
    bool ChooseUnguidedWeapon();
    // The best candidate of the world's targets within [minimum, maximum] of the airplane, inside the sector
    // of that half-width (degrees; 180 or more: none) about the centre bearing (degrees); null for none.
    Damageable* Search(bool air, float minimum, float maximum, float sectorCentre, float sectorHalfWidth);
    float Score(Damageable* candidate, bool air, float minimum, float maximum, float sectorCentre,
                float sectorHalfWidth);
    void SetSearchTarget(bool air, Damageable* target);

    // The mode's behaviour; then the skill's scaling of the commands.
    void Behave();
    void ScaleCommands();
    void BombRelease();
    void EvadeMissileStep();

    // Pitch attitude (up against world up about the right axis) and bank (about the forward axis).
    float PitchAttitude() const;
    float BankAngle() const;
    RwV3d Right() const;
    RwV3d Position() const;
    float SpeedScale() const;
    // The throttle that holds this speed in level flight on the own airplane's flight model.
    float LevelThrottleFor(float speed) const;
    // A segment against the world's terrain, or the open sea past its edge; the hit point when it hits.
    bool TerrainHit(const RwV3d& from, const RwV3d& to, RwV3d* hit) const;
    // The world position of a target (its bounding sphere's centre; an airplane's flight position).
    static RwV3d PositionOf(Damageable* target);

    // Uniform in [lo, hi); integer in [lo, hi], both from the pilot's generator.
    float Uniform(float lo, float hi);
    int32_t IntInRange(int32_t lo, int32_t hi);

    bool willEject = false;
    float level = 0.5f;
    Physics::AirplaneState state;
    AiStores* stores = nullptr;
    Base::SmartPtr<Damageable> searchResult;
    float now = 0;
    Base::SmartPtr<Airplane> leader;
    Base::SmartPtr<Airplane> airTarget;
    Base::SmartPtr<Damageable> groundTarget;
    Base::SmartPtr<Damageable> missionTarget;
    Base::SmartPtr<Damageable> defendObject;
    Base::SmartPtr<Damageable> missileTarget;
    bool lockStarted = false;
    std::shared_ptr<NavPath> path;
    float fireTime = 0;
    bool threatIsInfrared = false;
    bool threatIsRadar = false;
    float nextDecoyTime = 0;
    uint8_t decoysInSalvo = 0;
    RwV3d threatPosition = {0, 0, 0};
    float skillFactor = 1.0f;
    RwV3d terrainProfile[5] = {};
    float profileHeading = 0;
    float nextGroundCheck = 0;
    float nextGroundProbe = 0;
    float heightAboveGround = 0;
    float groundHeight = 0;
    bool hasGroundWeapons = false;
    bool hasAirWeapons = false;
    float targetHoldUntil = 0;
    Mode mode = Cruise;
    RwV3d aimPoint = {0, 0, 0};
    float bestMiss = 1000000.0f;
    char debugText[300] = {};

    // The stores that StoresOf made, owned.
    std::unique_ptr<AiStores> ownStores;
    // The airplane flown this frame (null when ejected or never seated).
    Airplane* airplane = nullptr;
    // The seed, which also reseeds the generator on every evasion step: its draws there repeat.
    uint32_t seed = 0;
    std::mt19937 random;
};

// The predicted impact point of a bomb let go at that position with that velocity over ground at that
// height below it: it falls under 9.81 and keeps 0.97 of its velocity each second.
RwV3d PredictBombImpact(const RwV3d& position, const RwV3d& velocity, float heightAboveGround);

} // namespace Obj
