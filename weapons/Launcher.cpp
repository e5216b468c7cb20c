#include "weapons/Launcher.h"

#include "weapons/Rocket.h"

#include "base/ClumpCache.h"
#include "base/String.h"
#include "scene/World.h"

#include <cstdio>

namespace Weapons {

bool Launcher::ReadLauncherKeys(const Base::Info* info) {
    if (!info->TryGetInt("LauncherParams.RocketsCount", rocketsLeft))
        return Fail("LauncherParams.RocketsCount", "missing or not an integer");
    if (rocketsLeft < 0 || rocketsLeft > MaxRockets) {
        rocketsLeft = 0;
        return Fail("LauncherParams.RocketsCount", "out of range");
    }
    if (!info->TryGetString("LauncherParams.RocketModel", rocketModel) || rocketModel.empty())
        return Fail("LauncherParams.RocketModel", "missing");
    return true;
}

bool Launcher::LoadParams(const Base::Info* info) {
    if (!Ordnance::Load(info) || !ReadLauncherKeys(info))
        return false;
    paramsLoaded = true;
    return true;
}

void Launcher::Launch(const RwV3d& velocity) {
    if (rocketsLeft <= 0 || !world)
        return;
    if (!rocketInfoRead) {
        rocketInfoRead = true;
        auto info = std::make_unique<Base::Info>();
        if (info->LoadFile(Base::MakePath(Base::ClumpCache::Directory, rocketModel)) == 0)
            rocketInfo = std::move(info);
    }
    auto* rocket = new UnguidedRocket();
    if (!rocketInfo || !rocket->LoadParams(rocketInfo.get())) {
        if (!failureSaid)
            std::fprintf(stderr, "Rocket pod \"%s\": its rocket \"%s\" cannot be loaded%s%s\n", name.c_str(),
                         rocketModel.c_str(), rocket->loadError.empty() ? "" : ": ",
                         rocket->loadError.c_str());
        failureSaid = true;
        delete rocket;
        return;
    }
    rocket->owner = AttachmentRoot(static_cast<Obj::Attachable*>(this));
    world->AddObject(rocket);
    rocket->Transform(RwFrameGetWorldMatrix(frame), rwCOMBINEREPLACE);
    --rocketsLeft;
    rocket->Launch(velocity);
}

} // namespace Weapons
