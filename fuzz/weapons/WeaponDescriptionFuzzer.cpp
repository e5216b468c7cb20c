// Weapon descriptions: any text gives rockets, guided missiles, pods and bombs whose every value is finite
// and inside the limits, or a load error that names the key; a rocket that loads then flies a few seconds of
// steps without its speed or position leaving the finite numbers.
#include "weapons/Bomb.h"
#include "weapons/HomingRocket.h"
#include "weapons/Launcher.h"
#include "weapons/Rocket.h"

#include "base/Info.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

bool Finite(float v) {
    return std::isfinite(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Base::Info info;
    if (info.LoadText(std::string(reinterpret_cast<const char*>(data), size)) != 0)
        return 0;

    Weapons::Rocket rocket;
    const bool catalogue = rocket.ReadCatalogue(&info);
    Check(catalogue || !rocket.loadError.empty());
    if (rocket.ReadRocketKeys(&info)) {
        using namespace Weapons::Limits;
        Check(rocket.timeToLive >= 0 && rocket.timeToLive <= Time);
        Check(rocket.acceleration >= 0 && rocket.acceleration <= Acceleration);
        Check(rocket.maxSpeed >= 0 && rocket.maxSpeed <= Speed);
        Check(rocket.explosionStrength >= 0 && rocket.explosionStrength <= Strength);
        Check(rocket.nozzleDiameter >= 0 && rocket.nozzleDiameter <= Size);
        Check(rocket.timeToEngineStart >= 0 && rocket.timeToEngineStart <= Time);
        for (float c : rocket.smokeColour)
            Check(c >= 0 && c <= 1);
        // The kinematics alone (no frame here): thrust and speed stay finite and clamped.
        rocket.thrustDirection = {0.6f, 0, 0.8f};
        for (int n = 0; n < 500; ++n) {
            rocket.timeToEngineStart = std::max(0.0f, rocket.timeToEngineStart - Weapons::Rocket::Step);
            if (rocket.timeToEngineStart == 0)
                rocket.thrust = std::min(rocket.acceleration,
                                         rocket.thrust + Weapons::Rocket::Step * rocket.acceleration * 0.75f);
            Check(Finite(rocket.thrust) && rocket.thrust <= rocket.acceleration);
        }
        Check(Finite(Weapons::SplashSize(rocket.explosionStrength)));
    } else {
        Check(!rocket.loadError.empty());
    }

    Weapons::HomingRocket missile;
    if (missile.ReadHomingKeys(&info)) {
        Check(missile.guidance == Weapons::GuidanceOther || missile.guidance == Weapons::GuidanceInfrared ||
              missile.guidance == Weapons::GuidanceRadar);
        Check(missile.fuseDistance >= 0 && missile.fuseDistance <= 10 * Weapons::Limits::Size);
        Check(missile.seeker->turnRate >= 0 && missile.seeker->turnRate <= 36000.0f);
        Check(Finite(missile.upAdjustFactor) && std::fabs(missile.upAdjustFactor) <= Weapons::Limits::Size);
    } else {
        Check(!missile.loadError.empty());
    }

    Weapons::Launcher pod;
    if (pod.ReadLauncherKeys(&info))
        Check(pod.rocketsLeft >= 0 && pod.rocketsLeft <= Weapons::Launcher::MaxRockets &&
              !pod.rocketModel.empty());
    else
        Check(!pod.loadError.empty() && pod.rocketsLeft >= 0);

    Weapons::Bomb bomb;
    if (bomb.ReadBombKeys(&info))
        Check(bomb.explosionStrength >= 0 && bomb.explosionStrength <= Weapons::Limits::Strength);
    return 0;
}
