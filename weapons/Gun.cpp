#include "weapons/Gun.h"

#include "audio/CreateSound.h"
#include "audio/Sound3d.h"
#include "scene/RoleGroups.h"
#include "scene/World.h"

namespace Weapons {

Gun::~Gun() {
    delete sound;
    sound = nullptr;
    // The bullet group goes with the attachment tree.
}

void Gun::Setup(Obj::Attachable* owner, const GunParams& given) {
    if (!bulletGroup) {
        bulletGroup = new BulletGroup();
        bulletGroup->AttachTo(this);
        if (world)
            world->AddObject(bulletGroup);
    }
    bulletGroup->owner = owner;
    params = given;
}

RwV3d Gun::Position() {
    return RwFrameGetWorldMatrix(frame)->pos;
}

RwV3d Gun::Forward() {
    return RwFrameGetWorldMatrix(frame)->at;
}

void Gun::Fire(const RwV3d& shooterVelocity) {
    if (!bulletGroup || !world)
        return;
    const float now = world->time->time;
    if (params.rounds != 0 && lastShotTime + params.interval <= now) {
        const RwV3d at = Forward();
        const RwV3d velocity = {shooterVelocity.x + params.muzzleSpeed * at.x,
                                shooterVelocity.y + params.muzzleSpeed * at.y,
                                shooterVelocity.z + params.muzzleSpeed * at.z};
        bulletGroup->AddBullet(Position(), velocity, params.lifetime, TracerColour, false);
        if (params.rounds > 0)
            --params.rounds;
        lastShotTime = now;
    }
    if (sound) {
        const RwV3d p = Position();
        sound->params.volume = 1.0f;
        sound->params.frequencyFactor = 1.0f;
        sound->params.referenceDistance = 30.0f;
        sound->params.maximumDistance = -1.0f;
        sound->params.position = {p.x, p.y, p.z};
        sound->params.velocity = {shooterVelocity.x, shooterVelocity.y, shooterVelocity.z};
        if (sound->state != Audio::BasicSound::Playing) {
            sound->state = Audio::BasicSound::PlayRequested;
            sound->loop = 1;
            sound->autoDelete = 0;
        }
    }
}

void Gun::Run() {
    if (!sound || !world)
        return;
    if (lastShotTime + params.interval <= world->time->time && sound->state != Audio::BasicSound::Idle) {
        sound->state = Audio::BasicSound::Finished;
        if (sound->autoDelete) {
            delete sound;
            sound = nullptr;
        }
    }
}

void Gun::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    if (joined) {
        Obj::SetRunnableWorld(*this, joined);
        if (bulletGroup && !bulletGroup->world)
            joined->AddObject(bulletGroup);
        // Made with auto-delete on, as sounds are; the gun turns it off at its first shot.
        if (!sound && joined->soundGroup)
            sound = Audio::CreateSound3d("Gun.wav", joined->soundGroup, true);
    } else {
        Obj::SetRunnableWorld(*this, nullptr);
        if (bulletGroup && bulletGroup->world)
            bulletGroup->world->RemoveObject(bulletGroup);
        delete sound;
        sound = nullptr;
    }
}

} // namespace Weapons
