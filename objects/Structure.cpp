#include "objects/Structure.h"

#include "scene/World.h"

#include "base/Info.h"

namespace Obj {

bool Structure::Load(const Base::Info* info) {
    if (!Model::Load(info))
        return false;
    return LoadDamages(info);
}

Rw::Frame* Structure::Transform(const RwMatrix* matrix, int combine) {
    Rw::Frame* result = Model::Transform(matrix, combine);
    if (Static::group)
        Static::group->UpdateDamageable(this);
    return result;
}

void Structure::SetWorld(Grp::World* joined) {
    Model::SetWorld(joined);
    if (joined) {
        Static::group = joined->statics.get();
        Static::group->UpdateDamageable(this);
        Static::OnGroupChanged(Static::group);
    } else if (Static::group) {
        Grp::Spatial<Static>::Remove(this);
    }
}

Airbase::Airbase() {
    canAddHitSpot = false;
}

bool Airbase::Load(const Base::Info* info) {
    if (!Model::Load(info) || !LoadDamages(info))
        return false;
    const Base::Info* list = info->GetChild("Runways");
    if (!list)
        return true;
    for (const auto& [name, node] : list->GetChildren()) {
        Base::Vector2 position;
        float heading;
        if (!node->TryGetPoint("Position", position) || !node->TryGetFloat("Hdg", heading))
            return false;
        runways.emplace(name, Runway{position.x, position.y, heading});
    }
    return true;
}

const Airbase::Runway* Airbase::FindRunway(const Base::String& name) const {
    const auto found = runways.find(name);
    return found == runways.end() ? nullptr : &found->second;
}

} // namespace Obj
