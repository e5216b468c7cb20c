// The computer pilot's run step and its decisions: orders, target search, weapon choice, fire control and
// the threat check.
#include "pilots/PilotAi.h"

#include "aircraft/Airplane.h"
#include "objects/Vehicle.h"

#include "base/Maths.h"
#include "scene/SignedAngleOnPlane.h"
#include "scene/World.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Obj {

namespace {

constexpr RwV3d WorldUp = {0, 1, 0};
constexpr float Degree = float(Base::Pi / 180.0);
constexpr float Pi = float(Base::Pi);

RwV3d Sub(const RwV3d& a, const RwV3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
float Length(const RwV3d& a) {
    return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}
float HorizontalLength(const RwV3d& a) {
    return std::sqrt(a.x * a.x + a.z * a.z);
}
float HorizontalAngle(const RwV3d& a, const RwV3d& b) {
    return SignedAngleOnPlane(WorldUp, a, b);
}
float Bearing(const RwV3d& v) {
    return Base::HeadingDegrees2d(Base::Vector2{v.x, v.z});
}
float HeadingDifference(float a, float b) {
    float d = std::fmod(std::fabs(a - b), 360.0f);
    return d > 180.0f ? 360.0f - d : d;
}
bool Destroyed(const Damageable* target) {
    return target->hitPoints <= 0 && target->maxHitPoints > 0;
}

} // namespace

PilotAi::PilotAi(uint32_t seed_) : seed(seed_), random(seed_) {
    Physics::AirplaneState::Init(state);
    skillFactor = Uniform(0.8f, 1.2f);
    willEject = random() % 6 != 0;
    mode = Cruise;
}

PilotAi::~PilotAi() = default;

float PilotAi::Uniform(float lo, float hi) {
    const float r = lo + (hi - lo) * float(double(random()) * (1.0 / 4294967296.0));
    return r < hi ? r : std::nextafter(hi, lo);
}

int32_t PilotAi::IntInRange(int32_t lo, int32_t hi) {
    return lo + int32_t(random() % uint32_t(hi - lo + 1));
}

RwV3d PilotAi::PositionOf(Damageable* target) {
    if (!target)
        return {0, 0, 0};
    if (auto* plane = dynamic_cast<Airplane*>(target); plane && plane->flightModel)
        return plane->flightModel->state.position;
    const RwSphere* sphere = target->GetBoundingSphere();
    return sphere ? sphere->center : RwV3d{0, 0, 0};
}

void PilotAi::Run() {
    airplane = GetAirplane();
    if (!airplane || !airplane->flightModel || !airplane->world) {
        Pilot::Run();
        return;
    }
    now = airplane->world->time->time;
    state = airplane->flightModel->state;
    debugText[0] = 0;

    const RwV3d position = Position();
    if (nextGroundProbe < now) {
        RwV3d hit;
        groundHeight = TerrainHit(position, {position.x, 0, position.z}, &hit) ? hit.y : 0.0f;
        nextGroundProbe = now + 0.2f;
    }
    heightAboveGround = float(state.precisePosition[1]) - groundHeight;
    if (nextGroundCheck < now) {
        if (heightAboveGround > 600) {
            nextGroundCheck = now + 0.5f;
        } else {
            nextGroundCheck = now + heightAboveGround * 0.01f;
            const RwV3d ahead = {position.x + state.velocity.x, position.y + state.velocity.y,
                                 position.z + state.velocity.z};
            if (TerrainHit(position, ahead, nullptr))
                mode = PullUp;
        }
    }

    Behave();
    ScaleCommands();
    airplane->SetState(state);

    if (!stores) {
        ownStores = StoresOf ? StoresOf(airplane) : WeaponStoresOf(airplane);
        stores = ownStores.get();
        if (stores)
            ScanWeapons();
    }
    if (stores)
        Decide();
    Pilot::Run();
}

void PilotAi::ScaleCommands() {
    // The formation, the bomb run and the pull-up fly their commands as they are: a skill factor on the
    // formation's throttle would hold the wingman up to 60 m off its slot.
    float s = std::min(1.0f, level + 0.5f) * skillFactor;
    if (mode == RejoinLeader || mode == JoinFormation || mode == KeepFormation || mode == BreakFromLeader ||
        mode == BombRun || mode == PullUp)
        s = 1.0f;
    const float throttle = s * state.throttle;
    state.throttle = throttle > 0 ? std::min(throttle, 1.0f) : 0.0f;
    state.pitchInput = std::clamp(s * state.pitchInput, -1.0f, 1.0f);
    state.rollInput = std::clamp(s * state.rollInput, -1.0f, 1.0f);
}

void PilotAi::Decide() {
    if (state.outOfControl && willEject) {
        if (heightAboveGround < 5000)
            Eject();
        return;
    }
    FireControl();
    CheckThreats();
    if (!GetAirplane())
        return;
    if (mode == EvadeMissile) {
        random.seed(seed);
        if (threatIsRadar && random() % 3 == 0)
            stores->SetJammer(true);
        return;
    }
    state = airplane->GetState();
    if (state.jammerOn) {
        stores->SetJammer(false);
        state = airplane->GetState();
    }
    // The weapon door opens for a guided weapon's target and for a run with bombs or rockets on the racks.
    state.weaponDoorCommand = missileTarget || mode == BombRun || mode == RocketRun ? 1.0f : 0.0f;
    airplane->SetState(state);

    if (missionTarget) {
        MissionTargetStep();
        return;
    }
    if (now < targetHoldUntil && SelectAttack())
        return;
    if (level > 0 && hasAirWeapons)
        SetSearchTarget(true, Search(true, 0, 50000, 0, 180));
    if (!airTarget && level > 0 && hasGroundWeapons)
        SetSearchTarget(false, Search(false, 0, 50000, 0, 180));
    if (SelectAttack())
        return;
    if (leader)
        ChooseFormation();
    else if (path && !path->points.empty())
        mode = FollowPath;
    else
        mode = defendObject ? Defend : Cruise;
}

void PilotAi::SetSearchTarget(bool air, Damageable* target) {
    if (air)
        airTarget = dynamic_cast<Airplane*>(target);
    else
        groundTarget = target;
    if (target)
        targetHoldUntil = now + 120 + Uniform(0, 120);
}

bool PilotAi::SelectAttack() {
    if (!hasAirWeapons)
        airTarget = nullptr;
    if (!hasGroundWeapons)
        groundTarget = nullptr;
    if (airTarget) {
        if (airTarget->hitPoints > 0 || airTarget->maxHitPoints <= 0) {
            ChooseAirAttack();
            return true;
        }
        airTarget = nullptr;
        return false;
    }
    if (groundTarget) {
        if (Destroyed(groundTarget)) {
            groundTarget = nullptr;
            return false;
        }
        ChooseGroundAttack();
        return true;
    }
    return false;
}

void PilotAi::ChooseAirAttack() {
    const RwV3d to = Sub(PositionOf(airTarget.Get()), Position());
    const float d = Length(to);
    if (missileTarget.Get() != static_cast<Damageable*>(airTarget.Get()) &&
        !ChooseWeapon(true, d, airTarget.Get()))
        ScanWeapons();
    if (d > 50000)
        mode = ApproachAir;
    else
        mode = d > 0 && Base::DotProduct(state.at, to) / d > 0.8f ? AttackAir : TurnToAir;
}

void PilotAi::ChooseGroundAttack() {
    const RwV3d to = Sub(PositionOf(groundTarget), Position());
    const float d = HorizontalLength(to);
    const float a = std::fabs(HorizontalAngle(state.at, to));
    if (d > 10000) {
        mode = ApproachGround;
        return;
    }
    if (a > 60 * Degree || (d < 2000 && a > 30 * Degree)) {
        mode = Reposition;
        return;
    }
    if (mode == BombRun || mode == RocketRun)
        return;
    if (ChooseWeapon(false, -1.0f, groundTarget)) {
        mode = RocketRun;
    } else if (ChooseUnguidedWeapon()) {
        mode = BombRun;
        bestMiss = 1000000.0f;
        aimPoint = PositionOf(groundTarget);
    }
}

void PilotAi::ChooseFormation() {
    const Physics::AirplaneState& ls = leader->flightModel->state;
    const float d = HorizontalLength(Sub(ls.position, Position()));
    const float a = std::fabs(HorizontalAngle(state.at, ls.at));
    if (d > 3000)
        mode = RejoinLeader;
    else if (d < 60)
        mode = BreakFromLeader;
    else if (a < 30 * Degree && d < 600)
        mode = KeepFormation;
    else
        mode = JoinFormation;
}

void PilotAi::MissionTargetStep() {
    Damageable* target = missionTarget.Get();
    if (Destroyed(target)) {
        missionTarget = nullptr;
        return;
    }
    const RwV3d position = Position();
    const RwV3d toMission = Sub(PositionOf(target), position);
    const float d = Length(toMission);
    auto* plane = dynamic_cast<Airplane*>(target);
    if (d < 30000) {
        if (plane) {
            airTarget = plane;
            if (!hasAirWeapons) {
                missionTarget = nullptr;
                airTarget = nullptr;
            }
            groundTarget = nullptr;
        } else {
            if (!hasGroundWeapons)
                missionTarget = nullptr;
            groundTarget = target;
        }
        SelectAttack();
        return;
    }

    const float t = d <= 50000 ? 25.0f : 45.0f;
    if (static_cast<Damageable*>(airTarget.Get()) == target)
        airTarget = nullptr;
    if (groundTarget.Get() == target)
        groundTarget = nullptr;
    const auto offBearing = [&](Damageable* other) {
        return std::fabs(HorizontalAngle(Sub(PositionOf(other), position), toMission)) > 2 * t * Degree;
    };
    if (airTarget && offBearing(airTarget.Get()))
        airTarget = nullptr;
    if (groundTarget &&
        (offBearing(groundTarget) || mode == Reposition || (mode == RocketRun && !missileTarget)))
        groundTarget = nullptr;
    if (!airTarget && !groundTarget) {
        const float centre = Bearing(toMission);
        if (level > 0 && hasAirWeapons)
            SetSearchTarget(true, Search(true, 1000, d - 30000, centre, t));
        if (!airTarget) {
            if (leader) {
                ChooseFormation();
                return;
            }
            if (plane && level > 0 && hasGroundWeapons)
                SetSearchTarget(false, Search(false, 1000, d - 30000, centre, t));
            if (!groundTarget) {
                if (plane)
                    airTarget = plane;
                else
                    groundTarget = target;
            }
        }
    }
    SelectAttack();
}

Damageable* PilotAi::Search(bool air, float minimum, float maximum, float sectorCentre,
                            float sectorHalfWidth) {
    searchResult = nullptr;
    Grp::World* w = airplane ? airplane->world : nullptr;
    if (!w || !w->targets)
        return nullptr;
    float best = 0;
    Damageable* found = nullptr;
    w->targets->ForEach([&](Target* member) {
        Damageable* candidate = member;
        const float score = Score(candidate, air, minimum, maximum, sectorCentre, sectorHalfWidth);
        if (score <= 0)
            return;
        const float value = score + Uniform(0, 1) * Base::PiOver6;
        if (value > best) {
            best = value;
            found = candidate;
        }
    });
    searchResult = found;
    return found;
}

float PilotAi::Score(Damageable* candidate, bool air, float minimum, float maximum, float sectorCentre,
                     float sectorHalfWidth) {
    if (!airplane || candidate == static_cast<Damageable*>(airplane))
        return -1;
    Airplane* plane = air ? dynamic_cast<Airplane*>(candidate) : nullptr;
    if (air ? !plane : !dynamic_cast<Vehicle*>(candidate))
        return -1;
    if (candidate->allegiance == airplane->allegiance)
        return -1;
    const RwV3d to = Sub(PositionOf(candidate), Position());
    const float d = Length(to);
    const float c = d > 0 ? std::clamp(Base::DotProduct(state.at, to) / d, -1.0f, 1.0f) : 1.0f;
    const float a = std::acos(c);
    float w = d < 8000 ? d / 8000 : (d <= 25000 ? 1.0f : (50000 - d) / 25000);
    if (d < minimum || d > maximum)
        w = 0;
    if (sectorHalfWidth < 180 && HeadingDifference(Bearing(to), sectorCentre) > sectorHalfWidth)
        w = 0;
    if (!air)
        return (Pi - a) * w;
    const float e = (c + 1) / 2;
    const float g = std::clamp(d / 150000, 0.0f, 1.0f);
    const float f = std::clamp(std::pow(std::max(0.0f, heightAboveGround) / 12000, 0.3f), 0.0f, 1.0f);
    const float s = std::clamp(((1 - e) * 0.75f + e) * (1 - g) * ((1 - f) * 0.66f + f), 0.0f, 1.0f);
    const float score = (s + candidate->GetDetectability() - 1) * (Pi - a) * w;
    if (score > 0 && plane->cockpit)
        plane->cockpit->ReportThreat(airplane, CockpitLink::ThreatSeen);
    return score;
}

void PilotAi::ScanWeapons() {
    hasAirWeapons = hasGroundWeapons = false;
    if (!stores)
        return;
    for (std::size_t i = 0, n = stores->RackCount(); i < n; ++i) {
        const AiStores::Rack rack = stores->GetRack(i);
        if (rack.loaded)
            (rack.airToAir ? hasAirWeapons : hasGroundWeapons) = true;
    }
}

bool PilotAi::ChooseWeapon(bool airToAir, float minimumRange, Damageable* target) {
    const std::size_t n = std::min<std::size_t>(stores->RackCount(), AiStores::NoRack);
    std::size_t chosen = AiStores::NoRack;
    float shortest = std::numeric_limits<float>::infinity();
    for (std::size_t i = 0; i < n; ++i) {
        stores->Select(uint8_t(i));
        const AiStores::Rack rack = stores->GetRack(i);
        if (rack.loaded && rack.type == 0 && rack.airToAir == airToAir && rack.range > minimumRange &&
            rack.range < shortest) {
            shortest = rack.range;
            chosen = i;
        }
    }
    if (chosen == AiStores::NoRack) {
        missileTarget = nullptr;
        return false;
    }
    stores->Select(uint8_t(chosen));
    stores->SetGuidedTarget(dynamic_cast<Target*>(target));
    if (airToAir)
        if (auto* plane = dynamic_cast<Airplane*>(target); plane && plane->cockpit)
            plane->cockpit->ReportThreat(airplane, CockpitLink::ThreatTracked);
    missileTarget = target;
    lockStarted = false;
    return true;
}

bool PilotAi::ChooseUnguidedWeapon() {
    const std::size_t n = std::min<std::size_t>(stores->RackCount(), AiStores::NoRack);
    std::size_t first = AiStores::NoRack;
    for (std::size_t i = 0; i < n; ++i) {
        const AiStores::Rack rack = stores->GetRack(i);
        if (!rack.loaded || rack.type == 0)
            continue;
        if (first == AiStores::NoRack)
            first = i;
        if (rack.type == 2) {
            first = i;
            break;
        }
    }
    if (first == AiStores::NoRack)
        return false;
    stores->Select(uint8_t(first));
    return true;
}

void PilotAi::FireControl() {
    if (!missileTarget)
        return;
    // A wreck still falling is no target: no missile goes after it.
    if (Destroyed(missileTarget)) {
        missileTarget = nullptr;
        stores->SetGuidedTarget(nullptr);
        return;
    }
    const uint8_t selected = stores->Selected();
    if (selected == AiStores::NoRack || selected >= stores->RackCount())
        return;
    const AiStores::Rack rack = stores->GetRack(selected);
    if (!rack.loaded || rack.type != 0 || !stores->SelectedHasLock())
        return;
    if (!lockStarted) {
        lockStarted = true;
        fireTime = now + Uniform(0, 8);
    }
    if (!(fireTime < now))
        return;
    Damageable* target = missileTarget.Get();
    std::size_t inFlight = 0;
    if (auto* plane = dynamic_cast<Airplane*>(target); plane && plane->cockpit) {
        CockpitLink::Threat threat;
        for (std::size_t i = 0; plane->cockpit->GetThreat(i, threat); ++i)
            inFlight += threat.level == CockpitLink::ThreatMissile;
    }
    if (inFlight >= 2)
        return;
    if (inFlight == 1 && IntInRange(0, 5) != 0) {
        fireTime = now + Uniform(2, 4);
        return;
    }
    if (Length(Sub(PositionOf(target), Position())) >= (level + 1) * 10000)
        return;
    // A refused shot (the door not open yet) is no shot: the pilot tries again on the next step.
    if (!stores->FireSelected())
        return;
    ScanWeapons();
    fireTime = IntInRange(0, 5) == 0 ? now + Uniform(1, 2) : now + Uniform(30, 60) + (1 - level) * 20;
    if (groundTarget.Get() == target && !hasGroundWeapons)
        groundTarget = nullptr;
    if (static_cast<Damageable*>(airTarget.Get()) == target && !hasAirWeapons)
        airTarget = nullptr;
    missileTarget = nullptr;
}

void PilotAi::CheckThreats() {
    CockpitLink* cockpit = airplane->cockpit.get();
    CockpitLink::Threat threat;
    bool found = false;
    if (cockpit)
        for (std::size_t i = 0; cockpit->GetThreat(i, threat); ++i)
            if (threat.level == CockpitLink::ThreatMissile) {
                found = true;
                break;
            }
    if (!found) {
        if (mode == EvadeMissile)
            mode = Cruise;
        return;
    }
    if (mode != EvadeMissile) {
        nextDecoyTime = now + 0.2f;
        decoysInSalvo = uint8_t(2 + (random() & 3));
    }
    mode = EvadeMissile;
    const int guidance = threat.source ? (ThreatGuidance ? ThreatGuidance : GuidanceOf)(threat.source) : 0;
    if (guidance == 0)
        return;
    threatIsInfrared = guidance == 1;
    threatIsRadar = guidance == 2;
    double p[3];
    threat.source->GetWorldPositionDouble(p);
    threatPosition = {float(p[0]), float(p[1]), float(p[2])};
    if (Length(Sub(threatPosition, Position())) < 150 && willEject && hitPoints > 0 && random() % 11 == 0)
        Eject();
}

} // namespace Obj
