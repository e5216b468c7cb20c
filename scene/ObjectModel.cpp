#include "scene/ObjectModel.h"

#include "scene/Attachable.h"
#include "scene/World.h"

#include <vector>

namespace Obj {

void Object::SetWorld(Grp::World* joined) {
    if (joined || !world)
        return;
    auto* attachable = dynamic_cast<Attachable*>(this);
    if (!attachable)
        return;
    // Collected first: each removal may change the children's links.
    std::vector<Base::SmartPtr<Object>> leaving;
    for (Attachable* child = attachable->FirstChild(); child; child = child->NextSibling())
        if (auto* object = dynamic_cast<Object*>(child); object && object->world)
            leaving.emplace_back(object);
    Grp::World* from = world;
    for (Object* child : leaving)
        if (child && child->world == from)
            from->RemoveObject(child);
}

} // namespace Obj
