// The engine, the part animations and the wheel records of an airplane.
#include "aircraft/Airplane.h"

#include "scene/AtomicData.h"
#include "scene/MatrixHelpers.h"
#include "scene/World.h"

#include "audio/CreateSound.h"
#include "audio/Sound3d.h"
#include "base/AnimationCache.h"
#include "base/Maths.h"

#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/tool/anim/rtanim.h"

#include <algorithm>
#include <cmath>
#include <strings.h>

namespace Obj {

namespace {

constexpr float ToDegrees = 57.295776f;

// A part frame's own matrix replaced.
void SetModelling(RwFrame* frame, const RwMatrix& m) {
    RwMatrixTransform(&frame->modelling, &m, rwCOMBINEREPLACE);
    RwFrameUpdateObjects(frame);
}

// Asks the sound to play on (looping) unless it already does.
void Play(Audio::Sound3d* sound) {
    if (sound->state == Audio::BasicSound::Playing || sound->state == Audio::BasicSound::PlayRequested)
        return;
    sound->loop = 1;
    sound->autoDelete = 0;
    sound->state = Audio::BasicSound::PlayRequested;
}

void Stop(Audio::Sound3d* sound) {
    if (sound->state == Audio::BasicSound::Playing || sound->state == Audio::BasicSound::PlayRequested)
        sound->state = Audio::BasicSound::Idle;
}

void PlaceSound(Audio::Sound3d* sound, const RwV3d& position, const RwV3d& velocity) {
    sound->params.position = {position.x, position.y, position.z};
    sound->params.velocity = {velocity.x, velocity.y, velocity.z};
}

RwFrame* FindAnimationRoot(RwFrame* frame) {
    if (!frame)
        return nullptr;
    if (RpHAnimFrameGetHierarchy(frame))
        return frame;
    for (RwFrame* child = frame->child; child; child = child->next)
        if (RwFrame* found = FindAnimationRoot(child))
            return found;
    return nullptr;
}

} // namespace

RwFrame* Airplane::FindPart(RpClump* clump, const char* name) {
    struct Search {
        const char* name;
        RpAtomic* atomic = nullptr;
    } search{name};
    if (clump)
        RpClumpForAllAtomics(
            clump,
            [](RpAtomic* atomic, void* data) -> RpAtomic* {
                auto* s = static_cast<Search*>(data);
                if (strcasecmp(Rw::GetAtomicName(atomic), s->name) != 0)
                    return atomic;
                s->atomic = atomic;
                return nullptr;
            },
            &search);
    return search.atomic ? RpAtomicGetFrame(search.atomic) : nullptr;
}

// ---- engine

Airplane::Engine::Engine(Airplane* owner, const Base::String& engine, const Base::String& afterburner)
    : airplane(owner) {
    Grp::World* world = owner->Obj::Object::world;
    if (world && world->soundGroup) {
        engineSound = Audio::CreateSound3d(engine, world->soundGroup);
        afterburnerSound = Audio::CreateSound3d(afterburner, world->soundGroup);
    }
}

Airplane::Engine::~Engine() {
    delete engineSound;
    delete afterburnerSound;
}

void Airplane::Engine::Advance(Physics::AirplaneState& s, float dt) {
    if (s.engineDestroyed) {
        s.engineSpool = s.afterburnerLevel = s.thrustFactor = 0;
        return;
    }
    float spool = s.engineSpool;
    if (s.engineRunning && s.fuel > 0) {
        if (spool >= 0.6f)
            spool = dt * 8.0f * (std::clamp(s.throttleLevel, 0.0f, 1.0f) * 0.39999998f + 0.6f) +
                    (1 - dt * 8.0f) * spool;
        else
            spool = std::min(dt * 0.15f * 0.8f + (1 - dt * 0.15f) * spool, 0.6f);
    } else {
        spool = (1 - dt * 0.1f) * spool - dt * 0.1f * 0.1f;
        if (!(spool > 0))
            spool = 0;
    }
    float afterburner = s.afterburnerLevel;
    if (spool > 0.97f) {
        if (std::fabs(afterburner - s.afterburnerCommand) > 0.01f)
            afterburner =
                std::clamp(s.afterburnerCommand, 0.0f, 1.0f) * dt * 8.0f + (1 - dt * 8.0f) * afterburner;
        else
            afterburner = s.afterburnerCommand;
    } else {
        afterburner = (1 - dt * 4.0f) * afterburner - dt * 4.0f * 0.5f;
        if (afterburner < 0)
            afterburner = 0;
    }
    const float height = s.position.y;
    s.thrustFactor = std::exp(-0.00008f * height) *
                     std::max(0.0f, 1 - std::max(0.0f, height - 13000) * 0.0002f) *
                     (afterburner * 0.3f + std::max(0.0f, spool - 0.6f) * 1.7500001f);
    s.fuel = std::max(0.0f, s.fuel - (afterburner * 0.002f + spool * spool * 0.0004f) * dt);
    s.engineSpool = spool;
    s.afterburnerLevel = afterburner;
}

void Airplane::Engine::Step(float dt) {
    if (!airplane->flightModel)
        return;
    Physics::AirplaneState s = airplane->flightModel->state;
    if (!airplane->remoteCopy) {
        Advance(s, dt);
        airplane->flightModel->SetState(s);
        s = airplane->flightModel->state;
    }
    const RwV3d position = RwFrameGetWorldMatrix(airplane->frame)->pos;
    if (engineSound) {
        const float spool = s.engineSpool;
        if (spool <= 0.01f) {
            Stop(engineSound);
        } else {
            engineSound->params.volume = std::clamp(spool * 1.25f, 0.0f, 1.0f);
            engineSound->params.frequencyFactor = spool * 0.6f + 0.4f;
            engineSound->params.referenceDistance = spool * 50 + 25;
            PlaceSound(engineSound, position, s.velocity);
            Play(engineSound);
        }
    }
    if (afterburnerSound) {
        const float level = s.afterburnerLevel;
        if (level <= 0.01f) {
            Stop(afterburnerSound);
        } else {
            afterburnerSound->params.volume = std::clamp(level * 1.5f, 0.0f, 1.0f);
            afterburnerSound->params.frequencyFactor = level * 0.4f + 0.6f;
            afterburnerSound->params.referenceDistance = level * 25 + 75;
            PlaceSound(afterburnerSound, position, s.velocity);
            Play(afterburnerSound);
        }
    }
}

// ---- part animations

Airplane::PartAnimation::~PartAnimation() {
    Unload();
}

void Airplane::PartAnimation::Unload() {
    if (hierarchy)
        RpHAnimHierarchyDestroy(hierarchy);
    hierarchy = nullptr;
    animation = nullptr;
    delete sound;
    sound = nullptr;
    loaded = false;
}

void Airplane::PartAnimation::Load(Airplane* airplane, const char* name) {
    Unload();
    // Without the animation plugin no frame carries a hierarchy (nor the room to ask for one).
    if (!airplane->clump || RwFrameGetPluginOffset(rwID_HANIMPLUGIN) < 0)
        return;
    RwFrame* root = FindAnimationRoot(RpClumpGetFrame(airplane->clump));
    RpHAnimHierarchy* whole = root ? RpHAnimFrameGetHierarchy(root) : nullptr;
    if (!whole)
        return;
    RpHAnimHierarchyAttach(whole);
    RwFrame* part = FindPart(airplane->clump, name);
    if (!part)
        return;
    const Base::String stem = airplane->title + "_" + name;
    RtAnimAnimation* anim = Base::AnimationCache::Get(stem + ".anm");
    // An animation that lasts no time has no progress to give (it would divide by zero).
    if (!anim || !(anim->duration > 0) || !std::isfinite(anim->duration))
        return;
    const RwInt32 node = RpHAnimIdGetIndex(whole, RpHAnimFrameGetId(part));
    if (node < 0)
        return;
    hierarchy = RpHAnimHierarchyCreateSubHierarchy(whole, node, 0, -1);
    if (!hierarchy)
        return;
    if (!RtAnimInterpolatorSetCurrentAnimation(hierarchy->currentAnim, anim)) {
        RpHAnimHierarchyDestroy(hierarchy);
        hierarchy = nullptr;
        return;
    }
    hierarchy->flags = rpHANIMHIERARCHYUPDATEMODELLINGMATRICES;
    animation = anim;
    Grp::World* world = airplane->Obj::Object::world;
    if (world && world->soundGroup)
        sound = Audio::CreateSound3d(stem + ".wav", world->soundGroup);
    loaded = true;
    SetTime(0);
}

float Airplane::PartAnimation::Duration() const {
    return loaded ? animation->duration : 0.0f;
}

float Airplane::PartAnimation::CurrentTime() const {
    return loaded ? hierarchy->currentAnim->currentTime : 0.0f;
}

void Airplane::PartAnimation::SetTime(float time) {
    RtAnimInterpolatorSetCurrentTime(hierarchy->currentAnim, time);
    RpHAnimHierarchyUpdateMatrices(hierarchy);
}

void Airplane::PartAnimation::SetProgress(float t) {
    if (!loaded)
        return;
    const float time = std::clamp(t, 0.0f, 1.0f) * Duration();
    if (time != CurrentTime())
        SetTime(time);
}

void Airplane::PartAnimation::Update(const RwV3d& position, const RwV3d& velocity, float dt, float target) {
    if (!loaded)
        return;
    const float t = std::clamp(target, 0.0f, 1.0f) * Duration();
    const float c = CurrentTime();
    const float next = t > c ? std::min(c + dt, t) : t < c ? std::max(c - dt, t) : t;
    if (next != c)
        SetTime(next);
    if (sound) {
        const float gap = std::fabs(c - t);
        sound->params.volume = std::clamp(2 * (gap - 0.05f), 0.0f, 1.0f);
        sound->params.frequencyFactor = std::clamp(gap * 2.5f, 0.6f, 1.0f);
        sound->params.referenceDistance = 5.0f;
        PlaceSound(sound, position, velocity);
        if (sound->params.volume == 0)
            Stop(sound);
        else
            Play(sound);
    }
}

float Airplane::PartAnimation::GetProgress() const {
    if (!loaded)
        return 0;
    return std::clamp(CurrentTime() / Duration(), 0.0f, 1.0f);
}

// ---- wheels

bool Airplane::WheelRecord::Lookup(Airplane* airplane, const char* wheelName, const char* suspensionName) {
    found = false;
    suspension = FindPart(airplane->clump, suspensionName);
    wheel = FindPart(airplane->clump, wheelName);
    if (!suspension || !wheel) {
        suspension = wheel = nullptr;
        return false;
    }
    suspensionRest = suspension->modelling;
    wheelRest = wheel->modelling;
    found = true;
    return true;
}

void Airplane::WheelRecord::Update(float compression, float steering, float roll) {
    if (!found)
        return;
    RwMatrix s = suspensionRest;
    const RwV3d shift = {-compression * s.up.x, -compression * s.up.y, -compression * s.up.z};
    RwMatrixTranslate(&s, &shift, rwCOMBINEPOSTCONCAT);
    Base::RotateMatrixAboutPoint(&s, s.up, steering * ToDegrees, rwCOMBINEPOSTCONCAT, s.pos);
    SetModelling(suspension, s);
    RwMatrix w = wheelRest;
    Base::RotateMatrixAboutPoint(&w, w.right, roll * ToDegrees, rwCOMBINEPOSTCONCAT, w.pos);
    SetModelling(wheel, w);
}

float Airplane::WheelRecord::GetCompression() const {
    if (!found)
        return 0;
    const RwV3d& p = suspension->modelling.pos;
    const RwV3d& r = suspensionRest.pos;
    return std::sqrt((p.x - r.x) * (p.x - r.x) + (p.y - r.y) * (p.y - r.y) + (p.z - r.z) * (p.z - r.z));
}

} // namespace Obj
