// The computer pilot's steering, its terrain profile and the behaviour of each mode.
#include "pilots/PilotAi.h"

#include "aircraft/Airplane.h"
#include "objects/Terrain.h"
#include "weapons/Stores.h"

#include "base/Maths.h"
#include "scene/SignedAngleOnPlane.h"
#include "scene/World.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Obj {

namespace {

constexpr RwV3d WorldUp = {0, 1, 0};
constexpr float Degree = float(Base::Pi / 180.0);
constexpr float Pi = float(Base::Pi);

RwV3d Sub(const RwV3d& a, const RwV3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
RwV3d Add(const RwV3d& a, const RwV3d& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
RwV3d Scale(const RwV3d& a, float k) {
    return {a.x * k, a.y * k, a.z * k};
}
float Length(const RwV3d& a) {
    return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}
float HorizontalLength(const RwV3d& a) {
    return std::sqrt(a.x * a.x + a.z * a.z);
}
// Signed angle from a to b seen from above; positive towards the right axis.
float HorizontalAngle(const RwV3d& a, const RwV3d& b) {
    return SignedAngleOnPlane(WorldUp, a, b);
}
// 2 / (1 + e^(k x)) - 1, that is -tanh(k x / 2), clamped to [-1, 1].
float Sigmoid(float k, float x) {
    return std::clamp(2.0f / (1.0f + std::exp(k * x)) - 1.0f, -1.0f, 1.0f);
}
// Degrees in [0, 180] between two headings.
float HeadingDifference(float a, float b) {
    float d = std::fmod(std::fabs(a - b), 360.0f);
    return d > 180.0f ? 360.0f - d : d;
}

} // namespace

RwV3d PilotAi::Right() const {
    return Base::CrossProduct(state.up, state.at);
}

RwV3d PilotAi::Position() const {
    return state.position;
}

float PilotAi::PitchAttitude() const {
    return SignedAngleOnPlane(Right(), state.up, WorldUp);
}

float PilotAi::BankAngle() const {
    return SignedAngleOnPlane(state.at, state.up, WorldUp);
}

float PilotAi::SpeedScale() const {
    return airplane && airplane->flightModel ? airplane->flightModel->params.simple.maxSpeed : 0.0f;
}

bool PilotAi::TerrainHit(const RwV3d& from, const RwV3d& to, RwV3d* hit) const {
    const Grp::World* w = airplane ? airplane->world : world;
    const Terrain* terrain = w ? w->terrain : nullptr;
    if (!terrain || !terrain->IsLoaded())
        return false;
    Base::Vector3 point, normal;
    if (!terrain->IntersectGroundOrSea(Terrain::Segment{{from.x, from.y, from.z}, {to.x, to.y, to.z}}, &point,
                                       &normal))
        return false;
    if (hit)
        *hit = {point.x, point.y, point.z};
    return true;
}

void PilotAi::TurnTowards(const RwV3d& point) {
    const float h = HorizontalAngle(state.at, Sub(point, Position()));
    state.rollInput = Sigmoid(10.0f, h);
}

void PilotAi::FlyTowards(const RwV3d& point) {
    TurnTowards(point);
    const float h = std::fabs(HorizontalAngle(state.at, Sub(point, Position())));
    state.throttle = h < 40 * Degree ? 1.0f : (h < 130 * Degree ? 0.3f : 0.0f);
}

void PilotAi::ClimbTo(float altitude, float distance) {
    const float e = altitude - float(state.precisePosition[1]);
    const float s = e > 0 ? 0.4f : -0.4f;
    const float k = distance > 0 ? std::clamp((24000.0f - 1.3f * distance) * 0.00005f, 0.2f, 1.0f) : 1.0f;
    const float m = std::min({1.0f, std::pow(std::fabs(e) / 200.0f, 1.4f), k});
    const float p = s * m;
    state.pitchInput = -Sigmoid(20.0f, p - PitchAttitude());
    if (heightAboveGround > 1000)
        state.pitchInput = std::clamp(state.pitchInput, -0.6f, 0.6f);
}

void PilotAi::PointAt(float verticalError, float headingError) {
    const float beta = BankAngle(), theta = PitchAttitude();
    const float into = 5.0f * std::min(1.0f, 33.333336f * std::fabs(headingError)) * headingError;
    state.rollInput = std::clamp(2.0f * (beta - into), -1.0f, 1.0f);
    const float lift = 0.7f * theta;
    state.pitchInput = std::clamp(Base::Sign(theta) * lift * lift - 5.0f * verticalError, -1.0f, 1.0f);
}

float PilotAi::LevelThrottleFor(float speed) const {
    // The simple flight model's speed law, speed = p ms + (1 - p) 150 with throttle p^2, turned round; ms
    // is 40 % of the top speed at sea level and all of it from 10000 up (low down it can be under 150,
    // where opening the throttle slows the airplane).
    const float h = std::clamp(state.position.y * 0.0001f, 0.0f, 1.0f);
    const float span = (0.4f + 0.6f * h) * SpeedScale() - 150.0f;
    if (std::fabs(span) < 0.01f)
        return 0.0f;
    const float p = (speed - 150.0f) / span;
    return p > 0 ? p * p : 0.0f;
}

void PilotAi::MatchSpeed(float speed) {
    const float k = std::clamp(state.position.y * 0.0001f, 0.0f, 1.0f);
    const float vmax = (k + 1) / 2 * SpeedScale();
    // A description whose top speed is no faster than the formula's 80 must not make a throttle of NaN, which
    // the flight model would refuse along with the whole record.
    const float span = std::max(vmax - 80.0f, 1.0f);
    const float ratio = (speed - 80.0f) / span;
    state.throttle = std::clamp(ratio * ratio - (Length(state.velocity) - speed) * 0.1f, 0.0f, 1.0f);
}

void PilotAi::BuildProfile(bool fresh) {
    const RwV3d position = Position();
    RwV3d d = {state.velocity.x, 0, state.velocity.z};
    const float speed = HorizontalLength(d);
    d = speed > 1e-6f ? Scale(d, 1.0f / speed) : RwV3d{state.at.x, 0, state.at.z};
    const float dLength = HorizontalLength(d);
    if (dLength > 1e-6f)
        d = Scale(d, 1.0f / dLength);

    // Q.y becomes the lowest height (to a quarter of the first clear step) seen clear of the terrain from R.
    const auto lift = [this](RwV3d& q, const RwV3d& r) {
        RwV3d hit;
        if (!TerrainHit({q.x, 30000, q.z}, {q.x, -100, q.z}, &hit))
            return;
        const float y0 = hit.y;
        float y = y0 + 1600;
        for (int i = 0; i < 64 && TerrainHit(r, {q.x, y, q.z}, nullptr); ++i)
            y += 1600;
        float low = y0, high = y;
        for (int i = 0; i < 2; ++i) {
            const float middle = (low + high) / 2;
            if (TerrainHit(r, {q.x, middle, q.z}, nullptr))
                low = middle;
            else
                high = middle;
        }
        q.y = high;
    };
    // The profile never drops more than 100 per step.
    const auto smooth = [this](int i) {
        RwV3d* p = terrainProfile;
        p[i].y = std::max(p[i].y, (p[i - 1].y + p[i + 1].y) / 2);
        if (p[i + 1].y - p[i].y < -100)
            p[i + 1].y = p[i].y - 100;
    };

    if (fresh) {
        terrainProfile[0] = position;
        for (int k = 1; k < 5; ++k) {
            terrainProfile[k] = Add(position, Scale(d, 1000.0f * float(k)));
            lift(terrainProfile[k], terrainProfile[k - 1]);
        }
        for (int i = 1; i <= 3; ++i)
            smooth(i);
        profileHeading = Base::HeadingDegrees2d(Base::Vector2{state.velocity.x, state.velocity.z});
    } else {
        for (int k = 0; k < 4; ++k)
            terrainProfile[k] = terrainProfile[k + 1];
        terrainProfile[4] = Add(position, Scale(d, 4000.0f));
        lift(terrainProfile[4], terrainProfile[3]);
        smooth(3);
    }
}

void PilotAi::FollowTerrain(float clearance) {
    const float heading = Base::HeadingDegrees2d(Base::Vector2{state.velocity.x, state.velocity.z});
    if (HeadingDifference(heading, profileHeading) <= 7) {
        const RwV3d offset = Sub(terrainProfile[1], Position());
        const float r = HorizontalLength(offset);
        if (r > 1500)
            BuildProfile(true);
        else if (r < 400)
            BuildProfile(false);
    } else {
        BuildProfile(true);
    }
    const float safe = clearance + terrainProfile[1].y;
    const float target = clearance >= 500 ? std::floor(safe / 100) * 100 : safe;
    if (safe < state.position.y)
        ClimbTo(target, 10000);
    else
        ClimbTo(target, clearance < 1000 ? 2000.0f : 10000.0f);
}

RwV3d PredictBombImpact(const RwV3d& position, const RwV3d& velocity, float heightAboveGround) {
    // The bomb keeps 0.97 of its whole velocity each second, the vertical part too: the fall takes longer
    // than it would in a vacuum, and the bomb goes further. The vacuum's fall time starts Newton's method on
    // h + (vy + g/c)(1 - e^(-ct))/c - g t/c = 0, whose slope is the vertical speed at t.
    constexpr double g = 9.81, c = 0.030459207484708574; // -ln 0.97
    const double vy = velocity.y, h = std::max(0.0f, heightAboveGround);
    double t = (vy + std::sqrt(vy * vy + 2 * g * h)) / g;
    for (int i = 0; i < 6; ++i) {
        const double e = std::exp(-c * t);
        const double f = h + (vy + g / c) * (1 - e) / c - g / c * t;
        const double slope = (vy + g / c) * e - g / c;
        if (!(slope < 0))
            break;
        t -= f / slope;
    }
    const float travel = float((1 - std::exp(-c * t)) / c);
    return {position.x + velocity.x * travel, position.y - float(h), position.z + velocity.z * travel};
}

void PilotAi::BombRelease() {
    if (!groundTarget)
        return;
    const RwV3d position = Position();
    RwV3d hit;
    const float h =
        TerrainHit(position, {position.x, -100, position.z}, &hit) ? position.y - hit.y : position.y;
    // The bomb leaves its rack as the stores let it go: with the airplane's velocity, pushed down along the
    // airplane's up axis.
    const RwV3d up = state.up;
    const RwV3d velocity = Sub(state.velocity, Scale(up, Weapons::Stores::DropSpeed));
    const RwV3d impact = PredictBombImpact(position, velocity, h);
    // The window is about where the bomb would fall, not about the airplane: a bomb run flown at its
    // height over the ground (700 over flat land) lets go 2 km and more short of the target at speed.
    if (Length(Sub(PositionOf(groundTarget), impact)) >= 2000)
        return;
    const float miss = Length(Sub(impact, aimPoint));
    if (miss >= 50)
        return;
    if (bestMiss < miss && stores && stores->FireSelected()) {
        ScanWeapons();
        mode = Reposition;
        if (!hasGroundWeapons) {
            groundTarget = nullptr;
            return;
        }
    }
    bestMiss = miss;
}

void PilotAi::EvadeMissileStep() {
    if (threatPosition.x == 0 && threatPosition.y == 0 && threatPosition.z == 0)
        return;
    const RwV3d toMissile = Sub(threatPosition, Position());
    if (decoysInSalvo > 0 && nextDecoyTime < now && Length(toMissile) < 3000) {
        if (stores && threatIsInfrared)
            stores->DropCountermeasure(AiStores::Flare);
        if (stores && threatIsRadar)
            stores->DropCountermeasure(AiStores::Chaff);
        nextDecoyTime = now + Uniform(0.6f, 1.5f);
        if (--decoysInSalvo == 0) {
            nextDecoyTime = now + Uniform(6, 15);
            decoysInSalvo = uint8_t(IntInRange(2, 4));
        }
    }

    // Put the missile square on the side where it already is.
    const float a = HorizontalAngle(state.at, toMissile);
    const RwV3d right = Right();
    const RwV3d reference = a > 0 ? right : Scale(right, -1);
    const float g = HorizontalAngle(reference, toMissile);
    state.rollInput = Sigmoid(14.285714f, g);
    state.throttle = 1.0f;

    random.seed(seed);
    const float h = heightAboveGround;
    if (h > 16000)
        state.pitchInput = Uniform(-0.5f, -0.2f);
    else if (h > 8000)
        state.pitchInput = Uniform(-0.5f, 0.2f);
    else if (h > 4000)
        state.pitchInput = Uniform(-0.5f, 0.6f);
    else if (h > 2000)
        state.pitchInput = Uniform(-0.2f, 0.6f);
    else if (h > 500)
        state.pitchInput = Uniform(0.0f, 0.6f);
    else
        state.pitchInput = Uniform(0.3f, 1.0f);
}

void PilotAi::Behave() {
    const RwV3d position = Position();
    Mode behaviour = mode;
    // An order whose object has gone meanwhile: circle until the next decision.
    const auto flies = [](const Airplane* a) { return a && a->flightModel; };
    if (((mode == RejoinLeader || mode == JoinFormation || mode == KeepFormation) && !flies(leader)) ||
        ((mode == AttackAir || mode == TurnToAir || mode == ApproachAir) && !flies(airTarget)) ||
        ((mode == ApproachGround || mode == RocketRun) && !groundTarget) ||
        (mode == Defend && !defendObject) || (mode == FollowPath && (!path || path->points.empty())))
        behaviour = Cruise;
    if (behaviour == JoinFormation || behaviour == KeepFormation) {
        const Physics::AirplaneState& ls = leader->flightModel->state;
        const RwV3d fromLeader = Sub(position, ls.position);
        const float w = std::fabs(HorizontalAngle(ls.at, fromLeader));
        const float q = HorizontalAngle(state.at, ls.at);
        const float d = HorizontalLength(fromLeader);
        if (behaviour == JoinFormation)
            std::snprintf(debugText, sizeof debugText, "aOff: %5.3f rAng: %5.3f fD: %5f WLAngle: %5.3f", q,
                          HorizontalAngle(state.at, Sub(ls.position, position)), d, w);
        if (heightAboveGround > 250)
            ClimbTo(float(ls.precisePosition[1]), -1);
        else
            FollowTerrain(250);
        if (behaviour == JoinFormation &&
            !((w < 22.5f * Degree && std::fabs(q) < 22.5f * Degree && d < 1000) || w >= 135 * Degree)) {
            const float s = Base::Sign(q);
            const RwV3d lr = Base::CrossProduct(ls.up, ls.at);
            if (w < 45 * Degree)
                TurnTowards(Sub(ls.position, Scale(lr, s * 500)));
            else if (w < 90 * Degree)
                TurnTowards(Sub(Sub(ls.position, Scale(lr, s * 400)), Scale(ls.at, 50)));
            else
                TurnTowards(ls.position);
            state.throttle = 0;
            return;
        }
        // In the slot window or behind the leader: keep the slot.
        const RwV3d lr = Base::CrossProduct(ls.up, ls.at);
        const RwV3d side = HorizontalAngle(ls.at, fromLeader) > 0 ? lr : Scale(lr, -1);
        const RwV3d slot = Add(Sub(ls.position, Scale(ls.at, 20)), Scale(side, 120));
        const float leaderSpeed = Length(ls.velocity);
        const RwV3d ahead = leaderSpeed > 1e-6f ? Scale(ls.velocity, 1.0f / leaderSpeed) : ls.at;
        const RwV3d steer = Add(slot, Scale(ahead, 700));
        const float b = LevelThrottleFor(leaderSpeed);
        const float a = Base::DotProduct(Sub(slot, position), state.at);
        state.throttle = (a - (Length(state.velocity) - leaderSpeed) * 10) * 0.002f + b;
        TurnTowards(steer);
        std::snprintf(debugText, sizeof debugText, "bt: %3f; atd %3f", b, a);
        return;
    }

    switch (behaviour) {
    case Cruise:
        state.rollInput = 0.1f;
        state.throttle = 0.4f;
        ClimbTo(9000, 10000);
        break;
    case RejoinLeader: {
        const Physics::AirplaneState& ls = leader->flightModel->state;
        const RwV3d to = Sub(ls.position, position);
        const float d = Length(to);
        const float a = std::fabs(HorizontalAngle(state.at, to));
        const float r = std::fabs(HorizontalAngle(ls.at, state.at));
        std::snprintf(debugText, sizeof debugText, "distance: %6.0f aOff: %5.2f rAngle: %5.2f", d, r, a);
        FlyTowards(ls.position);
        if (heightAboveGround > 1000)
            ClimbTo(ls.position.y, d);
        else
            FollowTerrain(1000);
        if (d > 20000 || (a < 0.4f && r < 0.4f))
            state.throttle = 1.0f;
        else if (a >= 0.4f)
            state.throttle = a < Pi / 2 ? 0.5f : 0.0f;
        else
            state.throttle = r < Pi / 2 + 0.3f ? 0.5f : 0.0f;
        break;
    }
    case BreakFromLeader:
        state.rollInput = -1.0f;
        state.pitchInput = 0.6f;
        break;
    case AttackAir: {
        const RwV3d to = Sub(PositionOf(airTarget.Get()), position);
        const float d = Length(to);
        const RwV3d direction = d > 0 ? Scale(to, 1.0f / d) : state.at;
        const float v = state.at.y - direction.y;
        const float h = HorizontalAngle(state.at, to);
        std::snprintf(debugText, sizeof debugText, "hangle: %4.2f;vangle: %4.2f; distance: %6.0f", h, v, d);
        PointAt(v, h);
        if (d > 20000)
            state.throttle = 1.0f;
        else if (std::fabs(h) >= Pi / 2 + 0.3f)
            state.throttle = 0.3f;
        else
            MatchSpeed(Length(airTarget->flightModel->state.velocity) + (d - 10000) * 0.002f);
        if (to.y < -2000)
            state.pitchInput = -1.0f;
        else if (to.y > 2000)
            state.pitchInput = 1.0f;
        break;
    }
    case Idle:
        break;
    case TurnToAir: {
        const RwV3d target = PositionOf(airTarget.Get());
        FlyTowards(target);
        FollowTerrain(500);
        if (target.y > terrainProfile[1].y + 500)
            ClimbTo(target.y, Length(Sub(target, position)));
        break;
    }
    case ApproachAir: {
        const RwV3d target = PositionOf(airTarget.Get());
        std::snprintf(debugText, sizeof debugText, "distance: %6.0f", Length(Sub(target, position)));
        FlyTowards(target);
        FollowTerrain(500);
        break;
    }
    case ApproachGround:
        FlyTowards(PositionOf(groundTarget));
        FollowTerrain(500);
        break;
    case BombRun:
        BombRelease();
        FollowTerrain(300);
        FlyTowards(aimPoint);
        break;
    case RocketRun: {
        const RwV3d target = PositionOf(groundTarget);
        const RwV3d to = Sub(target, position);
        const float d = Length(to) - 1000;
        FollowTerrain(600);
        FlyTowards(target);
        if (d > 3000 && d < 7000 && heightAboveGround > 400) {
            const RwV3d direction = Scale(to, 1.0f / Length(to));
            PointAt(state.at.y - direction.y, HorizontalAngle(state.at, to));
        }
        break;
    }
    case Reposition: {
        Damageable* target = groundTarget ? groundTarget.Get() : static_cast<Damageable*>(airTarget.Get());
        if (!target || Length(Sub(PositionOf(target), position)) < 13000) {
            state.rollInput = 0;
            state.throttle = 1.0f;
        } else {
            FlyTowards(PositionOf(target));
            state.throttle = 0.5f;
        }
        FollowTerrain(600);
        break;
    }
    case PullUp:
        state.pitchInput = 1.0f;
        break;
    case FollowPath: {
        NavPath& p = *path;
        p.current %= p.points.size();
        float d = Length(Sub(p.points[p.current], position));
        if (d < 3000) {
            p.current = (p.current + 1) % p.points.size();
            d = Length(Sub(p.points[p.current], position));
        }
        const RwV3d point = p.points[p.current];
        std::snprintf(debugText, sizeof debugText, "Next navPoint: %-7.0f, %-7.0f; distance: %07f", point.x,
                      point.z, d);
        FlyTowards(point);
        FollowTerrain(1000);
        state.throttle = 1.0f;
        break;
    }
    case EvadeMissile:
        EvadeMissileStep();
        break;
    case Defend:
        FlyTowards(PositionOf(defendObject));
        FollowTerrain(2000);
        break;
    default:
        break;
    }
}

} // namespace Obj
