// Weapons::Ordnance: what hangs on an airplane's racks (rockets, homing missiles, rocket pods, bombs): a
// model with the catalogue keys that the weapon stores group, order and select by, and the launch every kind
// implements. Weapons::Rack is one hard point: a frame of the carrier's model holding at most one ordnance.
#pragma once

#include "objects/Model.h"

#include "base/SmartPtr.h"
#include "base/String.h"

#include <cstdint>
#include <string>

namespace Base {
class Info;
}

namespace Weapons {

class Rack;
class Stores;

class Ordnance : public Obj::Model {
public:
    enum Type : int32_t { HomingRocketType = 0, BombType = 1, UnguidedRocketType = 2, LauncherType = 3 };

    Ordnance() = default;

    // The model, then "OrdnanceParams.AirToAir" or else "OrdnanceParams.AirToGround" (one must be a valid
    // integer; its value does not matter), "OrdnanceParams.Type", "OrdnanceParams.Order" and
    // "OrdnanceParams.Name". False at the first missing or unusable key, with loadError saying which.
    bool Load(const Base::Info* info) override;
    // The catalogue keys alone, as Load reads them after the model.
    bool ReadCatalogue(const Base::Info* info);
    // Sets the ordnance off with that initial velocity (world units per second).
    virtual void Launch(const RwV3d& velocity) = 0;

    Rack* rack = nullptr;         // the rack it hangs on, or null
    RwFrame* rackFrame = nullptr; // that rack's frame
    bool airToAir = false;
    int32_t type = -1;
    int32_t order = 0;
    Base::String name;
    std::string loadError; // what made the last load fail

protected:
    // Helpers for the parameter loaders: false (with loadError set) for a missing key or a value outside
    // [min, max]; NaN and infinities are never inside.
    bool RequireFloat(const Base::Info* info, const char* key, float min, float max, float& out);
    bool OptionalFloat(const Base::Info* info, const char* key, float min, float max, float& out);
    bool Fail(const char* key, const char* why);
};

class Rack {
public:
    Rack(Stores* owner_, Obj::Model* carrier_, RwFrame* frame_)
        : owner(owner_), carrier(carrier_), frame(frame_) {}

    // Hangs the ordnance here: attached to the carrier, its frame below the rack frame with an identity local
    // matrix, in the carrier's world.
    void Load(Ordnance* ordnance);
    // Takes the ordnance off where it hangs, keeping its world placement; the rack is then empty.
    void Release();

    Stores* owner;
    Obj::Model* carrier;
    RwFrame* frame;
    Base::SmartPtr<Ordnance> ordnance;
};

} // namespace Weapons
