// The mission's armoury on the game's own weapons: set-ups and loadouts hang on the airplane's weapon stores,
// and the missile a mission launches is a homing missile of the weapons, locked on from the start.
#include "mission/Host.h"

#include "weapons/HomingRocket.h"
#include "weapons/Stores.h"

#include "scene/World.h"

#include "base/Info.h"
#include "base/InfoCache.h"

#include <cstdio>
#include <memory>

namespace Mission {

namespace {

class StoresArmoury : public Armoury {
public:
    bool LoadSetup(Obj::Airplane* airplane, const Base::String& setup) override {
        Weapons::Stores* stores = Weapons::Stores::Of(airplane);
        return stores && stores->LoadSetup(setup);
    }
    void ApplyLoadout(Obj::Airplane* airplane, const Base::Info& loadout) override {
        if (Weapons::Stores* stores = Weapons::Stores::Of(airplane))
            stores->ApplySetup(&loadout);
    }
    bool LaunchHomingRocket(Grp::World* world, const Base::String& description, const RwMatrix& placement,
                            Obj::Target* target, const RwV3d& velocity) override {
        if (!world || !target)
            return false;
        auto rocket = std::make_unique<Weapons::HomingRocket>();
        // A missile whose description does not load would fly on values never set: none is made.
        if (!rocket->LoadParams(&Base::InfoCache::Get(description + ".info"))) {
            std::fprintf(stderr, "The mission's missile '%s' cannot be loaded: %s\n",
                         Base::Clip(description).c_str(), Base::Clip(rocket->loadError).c_str());
            return false;
        }
        Weapons::HomingRocket* launched = rocket.get();
        world->AddObject(rocket.release());
        launched->Transform(&placement, rwCOMBINEREPLACE);
        launched->SetTarget(target, true);
        launched->Launch(velocity);
        return true;
    }
};

StoresArmoury weapons;

} // namespace

Armoury* Armoury::installed = &weapons;

} // namespace Mission
