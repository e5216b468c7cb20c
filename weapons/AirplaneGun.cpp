#include "weapons/AirplaneGun.h"

#include "weapons/Gun.h"

#include "aircraft/Airplane.h"

namespace Weapons {

namespace {

Obj::Frame* MakeAirplaneGun(Obj::Airplane* owner, const Obj::Airplane::GunSetup& given) {
    auto* gun = new Gun();
    GunParams params;
    params.capacity = given.rounds;
    params.rounds = given.rounds;
    params.muzzleSpeed = given.muzzleSpeed;
    params.interval = given.interval;
    params.lifetime = given.lifetime;
    gun->Setup(owner, params);
    gun->bulletGroup->damage = given.damage;
    return gun;
}

void RefillAirplaneGun(Obj::Frame* frame) {
    if (auto* gun = dynamic_cast<Gun*>(frame))
        gun->params.rounds = gun->params.capacity;
}

} // namespace

bool InstallAirplaneGun() {
    Obj::Airplane::CreateGun = MakeAirplaneGun;
    Obj::Airplane::RefillGun = RefillAirplaneGun;
    return true;
}

} // namespace Weapons
