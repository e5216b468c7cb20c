#include "scene/RoleGroups.h"

#include "scene/World.h"

namespace Obj {

void SetRenderableWorld(Renderable& member, Grp::World* joined) {
    if (joined) {
        member.Renderable::group = joined->renderables.get();
        member.Renderable::group->Update(&member);
        member.Renderable::OnGroupChanged(member.Renderable::group);
    } else if (member.Renderable::group) {
        Grp::Spatial<Renderable>::Remove(&member);
    }
}

void SetRunnableWorld(Runnable& member, Grp::World* joined) {
    if (joined)
        joined->runnables->Insert(&member);
    else if (member.Runnable::group)
        Grp::Simple<Runnable>::Remove(&member);
}

} // namespace Obj
