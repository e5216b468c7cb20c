#include "weapons/Rocket.h"

#include "audio/CreateSound.h"
#include "audio/Sound3d.h"
#include "base/Info.h"
#include "base/Random.h"
#include "objects/Exhaust.h"
#include "objects/Explosion.h"
#include "objects/Spurt.h"
#include "scene/RoleGroups.h"
#include "scene/World.h"

#include <algorithm>
#include <cmath>

namespace Weapons {

namespace {

RwV3d Normalised(const RwV3d& v, const RwV3d& fallback) {
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (!(length > 1e-12f) || !std::isfinite(length))
        return fallback;
    return {v.x / length, v.y / length, v.z / length};
}

RwV3d Cross(const RwV3d& a, const RwV3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

} // namespace

float SplashSize(float strength) {
    const float s = Base::Random::FloatInRange(0.75f * strength, 1.25f * strength);
    return std::clamp(1.5f * std::sqrt(std::max(s, 0.0f)), 0.5f, 40.0f);
}

void Detonate(Grp::World* world, const RwV3d& point, float strength, Obj::Attachable* shooter,
              const Base::String& name) {
    if (!world)
        return;
    const float at[3] = {point.x, point.y, point.z};
    if (point.y <= Obj::Spurt::WaterImpactHeight) {
        auto* splash = new Obj::SpurtWater();
        splash->Setup(at, SplashSize(strength));
        world->AddObject(splash);
        return;
    }
    auto* explosion = new Obj::Explosion();
    explosion->shooter = dynamic_cast<Obj::Damageable*>(shooter);
    explosion->Setup(at, strength, name);
    world->AddObject(explosion);
}

Rocket::Rocket() {
    stepInterval = Step;
}

Rocket::~Rocket() {
    delete sound;
    sound = nullptr;
    owner = nullptr;
}

bool Rocket::ReadRocketKeys(const Base::Info* info) {
    using namespace Limits;
    if (!RequireFloat(info, "RocketParams.TimeToLive", 0, Time, timeToLive) ||
        !RequireFloat(info, "RocketParams.Acc", 0, Acceleration, acceleration) ||
        !RequireFloat(info, "RocketParams.MaxSpeed", 0, Speed, maxSpeed) ||
        !RequireFloat(info, "RocketParams.ExplosionStr", 0, Strength, explosionStrength))
        return false;
    Base::Vector3 offset;
    if (!info->TryGetVector3("RocketParams.NozzleOffset", offset))
        return Fail("RocketParams.NozzleOffset", "missing or not three numbers");
    if (!(std::abs(offset.x) <= Size && std::abs(offset.y) <= Size && std::abs(offset.z) <= Size))
        return Fail("RocketParams.NozzleOffset", "out of range");
    nozzleOffset = {offset.x, offset.y, offset.z};
    if (!RequireFloat(info, "RocketParams.NozzleDiameter", 0, Size, nozzleDiameter) ||
        !OptionalFloat(info, "RocketParams.TimeToEngineStart", 0, Time, timeToEngineStart))
        return false;
    Base::Color colour;
    if (info->TryGetColor("RocketParams.SmokeTrailColor", colour)) {
        const float given[4] = {colour.r, colour.g, colour.b, colour.a};
        for (int k = 0; k < 4; ++k)
            smokeColour[k] = std::isnan(given[k]) ? 1.0f : std::clamp(given[k], 0.0f, 1.0f);
    }
    return true;
}

bool Rocket::LoadParams(const Base::Info* info) {
    if (!Ordnance::Load(info) || !ReadRocketKeys(info))
        return false;
    paramsLoaded = true;
    return true;
}

bool UnguidedRocket::LoadParams(const Base::Info* info) {
    if (!Rocket::LoadParams(info))
        return false;
    if (!info->TryGetString("FileName", fileName)) {
        paramsLoaded = false;
        return Fail("FileName", "missing");
    }
    return true;
}

RwV3d Rocket::Forward() {
    return Normalised(RwFrameGetWorldMatrix(frame)->at, {0, 0, 1});
}

RwV3d Rocket::Position() {
    return RwFrameGetWorldMatrix(frame)->pos;
}

void Rocket::JoinPasses() {
    if (!world)
        return;
    if (!Obj::Runnable::group)
        Obj::SetRunnableWorld(*this, world);
    if (!Obj::Simulateable::group) {
        lastTime = -1;
        world->simulateables->Insert(this);
    }
}

void Rocket::Launch(const RwV3d& initialVelocity) {
    if (rack)
        rack->Release();
    velocity = initialVelocity;
    thrustDirection = Forward();
    lastPosition = Position();
    if (!world)
        return;
    JoinPasses();

    auto* trails = new Obj::SmokeTrailGroup();
    trails->Setup(Obj::SmokeTrailGroup::RocketSmoke(nozzleDiameter));
    world->AddObject(trails);
    trails->AttachTo(this);
    smoke = trails;
    trail = trails->AddTrail();

    auto* flame = new Obj::Exhaust();
    flame->SetupRocket({nozzleOffset.x, nozzleOffset.y, nozzleOffset.z}, nozzleDiameter);
    world->AddObject(flame);
    flame->AttachTo(this, frame, false);
    exhaust = flame;

    if (!sound && world->soundGroup)
        sound = Audio::CreateSound3d("Rocket.wav", world->soundGroup, false);
}

void Rocket::SetWorld(Grp::World* joined) {
    Obj::Model::SetWorld(joined);
    if (!joined) {
        Obj::SetRunnableWorld(*this, nullptr);
        if (Obj::Simulateable::group)
            Grp::Simple<Obj::Simulateable>::Remove(this);
    }
}

void Rocket::Advance(float dt) {
    timeToEngineStart = std::max(0.0f, timeToEngineStart - dt);
    if (timeToEngineStart == 0)
        thrust = std::min(acceleration, thrust + dt * acceleration * 0.75f);
    timeToLive = std::max(0.0f, timeToLive - dt);
    velocity.x += thrustDirection.x * thrust * dt;
    velocity.y += thrustDirection.y * thrust * dt;
    velocity.z += thrustDirection.z * thrust * dt;
    const float speed =
        std::sqrt(velocity.x * velocity.x + velocity.y * velocity.y + velocity.z * velocity.z);
    if (speed > maxSpeed && speed > 0) {
        const float scale = maxSpeed / speed;
        velocity = {velocity.x * scale, velocity.y * scale, velocity.z * scale};
    }
    double position[3];
    GetWorldPositionDouble(position);
    position[0] += double(velocity.x) * dt;
    position[1] += double(velocity.y) * dt;
    position[2] += double(velocity.z) * dt;
    RwMatrix m = *RwFrameGetMatrix(frame);
    m.pos = {float(position[0]), float(position[1]), float(position[2])};
    RwMatrixUpdate(&m);
    Transform(&m, rwCOMBINEREPLACE);
    std::copy(position, position + 3, localPosition);
}

void Rocket::Simulate(float, float dt) {
    if (remoteCopy || !(dt > 0))
        return;
    Advance(dt);
}

void Rocket::Orient(const RwV3d& forward) {
    const RwMatrix* current = RwFrameGetMatrix(frame);
    const RwV3d up = {0, 1, 0};
    RwV3d right = Cross(up, forward);
    right = Normalised(right, current->right);
    RwMatrix m;
    m.right = right;
    m.up = Cross(forward, right);
    m.at = forward;
    m.pos = current->pos;
    RwMatrixUpdate(&m);
    const double kept[3] = {localPosition[0], localPosition[1], localPosition[2]};
    Transform(&m, rwCOMBINEREPLACE);
    std::copy(kept, kept + 3, localPosition);
}

void Rocket::Run() {
    if (!world)
        return;
    const float dt = world->time->step;
    const RwV3d current = Position();
    if (lastPosition.x == FLT_MAX)
        lastPosition = current;
    RwV3d hitPoint = {0, 0, 0};
    bool hit = false;
    if (!remoteCopy) {
        const RwLine flight = {lastPosition, current};
        // A hit may destroy what fired the rocket, and with it the rocket.
        Base::SmartPtr<Rocket> self(this);
        hit = Alg::ShootSegment::Shoot(
            Alg::ShootSegment::Chain(Alg::ShootSegment::AlongSegment(*world->statics, flight),
                                     Alg::ShootSegment::NearSegment(*world->dynamics, flight)),
            this, flight, nullptr, &hitPoint);
        if (!self || !world)
            return;
        lastPosition = current;
    } else {
        // A paused world has no step: the speed stays as it was.
        if (dt > 0)
            velocity = {(current.x - lastPosition.x) / dt, (current.y - lastPosition.y) / dt,
                        (current.z - lastPosition.z) / dt};
        lastPosition = current;
    }
    hitSomething = hit;

    const RwV3d at = Forward();
    Orient(Normalised(Base::LerpVector3(at, velocity, 0.1f * dt), at));

    const bool burning = timeToEngineStart == 0;
    if (exhaust && !exhaust->nozzles.empty() && burning) {
        Obj::Exhaust::Nozzle& nozzle = exhaust->nozzles[0];
        flameLength = std::min(flameLength + 20 * dt, 5 * nozzleDiameter);
        nozzle.length = flameLength;
        nozzle.segments = 18;
    }

    const RwMatrix* m = RwFrameGetWorldMatrix(frame);
    if (smoke && trail) {
        double position[3];
        GetWorldPositionDouble(position);
        const float back = 0.75f * flameLength;
        const RwV3d o = nozzleOffset;
        const double source[3] = {position[0] + m->right.x * o.x + m->up.x * o.y + m->at.x * (o.z - back),
                                  position[1] + m->right.y * o.x + m->up.y * o.y + m->at.y * (o.z - back),
                                  position[2] + m->right.z * o.x + m->up.z * o.y + m->at.z * (o.z - back)};
        float f = 0;
        if (!hit && burning && maxSpeed > 0) {
            const float speed =
                std::sqrt(velocity.x * velocity.x + velocity.y * velocity.y + velocity.z * velocity.z);
            f = 2 * speed / maxSpeed;
            f = f <= 0 ? 0 : std::min(f, 0.75f);
        }
        const float colour[4] = {smokeColour[0], smokeColour[1], smokeColour[2], smokeColour[3] * f};
        smoke->Update(trail, source, colour);
    }

    if (sound && burning) {
        sound->params.volume = 1.0f;
        sound->params.frequencyFactor = 1.0f;
        sound->params.referenceDistance = 100.0f;
        sound->params.maximumDistance = -1.0f;
        sound->params.position = {m->pos.x, m->pos.y, m->pos.z};
        sound->params.velocity = {velocity.x, velocity.y, velocity.z};
        sound->loop = 1;
        sound->autoDelete = 0;
        if (sound->state != Audio::BasicSound::Playing)
            sound->state = Audio::BasicSound::PlayRequested;
    }

    if (remoteCopy)
        return;
    if (hit) {
        Explode(hitPoint);
        return;
    }
    if (timeToLive == 0)
        Expire();
}

void Rocket::Expire() {
    if (smoke) {
        smoke->Detach();
        smoke->StopAll();
    }
    world->RemoveObject(this);
    delete this;
}

void Rocket::Explode(const RwV3d& point) {
    Grp::World* in = world;
    if (smoke) {
        smoke->Detach();
        smoke->StopAll();
    }
    smoke = nullptr;
    trail = nullptr;
    Base::SmartPtr<Obj::Attachable> shooter = owner.Get();
    if (in)
        in->RemoveObject(this);
    Detonate(in, point, explosionStrength, shooter, name);
    delete this;
}

void UnguidedRocket::Run() {
    if (GetParent())
        return;
    Rocket::Run();
}

} // namespace Weapons
