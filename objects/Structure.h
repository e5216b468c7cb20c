// Obj::Structure: a fixed building that weapons can destroy: a model with the static role and the damage
// model. Obj::Airbase: a structure with named runways for the aircraft's take-off and landing.
#pragma once

#include "objects/Model.h"

#include "base/String.h"

#include <map>

namespace Obj {

class Structure : public Model, public Static {
public:
    Structure() = default;

    // The model, then its "Damages".
    bool Load(const Base::Info* info) override;
    const RwSphere* GetBoundingSphere() override { return Model::GetBoundingSphere(); }
    bool IntersectSegment(const RwLine* segment, RwV3d* outPoint, RwV3d* outNormal) override {
        return Clump::IntersectSegment(segment, outPoint, outNormal);
    }
    Rw::Frame* Transform(const RwMatrix* matrix, int combine) override;
    void SetWorld(Grp::World* world) override;
};

class Airbase : public Structure {
public:
    struct Runway {
        float x = 0, z = 0;
        float heading = 0; // as written; its consumer fixes the unit
    };

    Airbase();

    // The model, its "Damages", then "Runways": each child's "Position" (x z) and "Hdg". A runway missing
    // either fails the load, keeping those read before it; a repeated name keeps its first record.
    bool Load(const Base::Info* info) override;
    // The runway of exactly that name (case counts), or null.
    const Runway* FindRunway(const Base::String& name) const;

    std::map<Base::String, Runway> runways;
};

} // namespace Obj
