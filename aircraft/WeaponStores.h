// Obj::WeaponStores: what the airplane asks of its weapon stores (the racks, what hangs on them, the
// selection, the decoys and the jammer). The stores live in the weapons layer beside this one, which builds
// on the airplane; they implement this and the airplane holds it, so the airplane reaches them without
// including them. Pilots and missions reach the whole stores through the weapons layer.
#pragma once

namespace Base {
class Info;
}
namespace Grp {
class World;
}

namespace Obj {

class WeaponStores {
public:
    WeaponStores() = default;
    virtual ~WeaponStores() = default;
    WeaponStores(const WeaponStores&) = delete;
    WeaponStores& operator=(const WeaponStores&) = delete;

    // One frame of the stores, from the airplane's run.
    virtual void Update() = 0;
    // The trigger: the selected weapon fires. False when nothing left (the weapon door closed, nothing
    // selected, an empty rack).
    virtual bool FireSelected() = 0;
    // Hangs the ordnance that a set-up node ("Setups.<name>" of the airplane's description) names.
    virtual void ApplySetup(const Base::Info* setup) = 0;
    // The last set-up applied again, and full decoys.
    virtual void Rearm() = 0;
    // The airplane joined a world (or left it, null): what hangs on the racks goes with it.
    virtual void SetWorld(Grp::World* world) = 0;
};

} // namespace Obj
