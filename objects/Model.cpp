#include "objects/Model.h"

#include "scene/World.h"
#include "scene/RoleGroups.h"

#include "rwsdk/world/baworobj.h"

namespace Obj {

bool Model::Load(const Base::Info* info) {
    if (!Dff::Load(info))
        return false;
    for (const DffRenderOrder& order : Clump::renderOrders)
        RenderRole::renderOrders.push_back(order.key);
    return true;
}

void Model::Render(unsigned order, Cameras::Basic*) {
    Clump::Render(uint8_t(order));
}

const RwSphere* Model::GetBoundingSphere() {
    if (!clump)
        return nullptr;
    return GetWorldBoundingSphere();
}

Rw::Frame* Model::Transform(const RwMatrix* matrix, int combine) {
    Rw::Frame* result = Clump::Transform(matrix, combine);
    if (Renderable::group)
        Renderable::group->Update(this);
    return result;
}

void Model::SetWorld(Grp::World* joined) {
    Grp::World* leaving = Obj::Object::world;
    Obj::Object::SetWorld(joined);
    SetRenderableWorld(*this, joined);
    if (joined) {
        // A model whose file did not load has no clump to show.
        if (clump && joined->world)
            RpWorldAddClump(joined->world, clump);
    } else if (clump && leaving && leaving->world) {
        RpWorldRemoveClump(leaving->world, clump);
    }
}

} // namespace Obj
