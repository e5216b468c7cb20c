// Weapons::Launcher: a rocket pod. It stays on its rack; each launch makes one unguided rocket from the pod's
// rocket description at the pod's place and sets it off. The rockets never hit the airplane carrying the pod.
#pragma once

#include "weapons/Ordnance.h"

#include "base/Info.h"

#include <memory>

namespace Weapons {

class Launcher : public Ordnance {
public:
    static constexpr int32_t MaxRockets = 1000;

    // Ordnance::Load, then "LauncherParams.RocketsCount" and "LauncherParams.RocketModel".
    bool LoadParams(const Base::Info* info);
    bool ReadLauncherKeys(const Base::Info* info);

    // One rocket, while any is left and its description loads (a failed load keeps the count).
    void Launch(const RwV3d& velocity) override;

    bool paramsLoaded = false;
    int32_t rocketsLeft = 0;
    Base::String rocketModel;

private:
    // The rocket description, read at the first launch.
    std::unique_ptr<Base::Info> rocketInfo;
    bool rocketInfoRead = false;
    bool failureSaid = false;
};

} // namespace Weapons
