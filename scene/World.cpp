#include "scene/World.h"

#include "scene/Attachable.h"

#include "base/FrameClock.h"

#include <vector>

namespace Grp {

namespace {

RwBBox DefaultBox() {
    RwBBox box;
    box.sup = {400000, 30000, 400000};
    box.inf = {-400000, -30000, -400000};
    return box;
}

} // namespace

void WorldTime::Advance() {
    Advance(Base::FrameClock::FrameTime);
}

void WorldTime::Advance(double frameTime) {
    if (fixedStep >= 0) {
        step = fixedStep;
    } else {
        const double x = frameTime * rate;
        step = x > 0 ? float(std::min(x, 0.1)) : 0.0f;
    }
    time += step;
}

World::World() : World(DefaultBox()) {}

World::World(const RwBBox& box, int nx, int ny, int nz)
    : Rw::World(&box), time(std::make_unique<WorldTime>()),
      renderables(std::make_unique<Spatial<Obj::Renderable>>(box, nx, ny, nz)),
      runnables(std::make_unique<Simple<Obj::Runnable>>()),
      simulateables(std::make_unique<Simple<Obj::Simulateable>>()),
      statics(std::make_unique<Spatial<Obj::Static>>(box, nx, ny, nz)),
      dynamics(std::make_unique<Spatial<Obj::Dynamic>>(box, nx, ny, nz)),
      targets(std::make_unique<Simple<Obj::Target>>()) {}

World::~World() {
    Clear();
}

void World::AddObject(Obj::Object* object) {
    if (auto* kind = SceneryCast<Obj::Sky>::Cast(object))
        sky = kind;
    if (auto* kind = SceneryCast<Obj::Clouds>::Cast(object))
        clouds = kind;
    if (auto* kind = SceneryCast<Obj::Terrain>::Cast(object))
        terrain = kind;
    object->group = this;
    object->LinkAfter(head);
    object->OnGroupChanged(this);
    object->world = this;
    object->SetWorld(this);
}

void World::RemoveObject(Obj::Object* object) {
    object->SetWorld(nullptr);
    object->OnGroupChanged(nullptr);
    object->group = nullptr;
    object->Unlink();
    object->world = nullptr;
    if (SceneryCast<Obj::Sky>::Cast(object))
        sky = nullptr;
    if (SceneryCast<Obj::Clouds>::Cast(object))
        clouds = nullptr;
    if (SceneryCast<Obj::Terrain>::Cast(object))
        terrain = nullptr;
}

// A walk that keeps the next node breaks when a parent's removal unlinks its child from under it, so the
// objects are taken first as tracked pointers (newest first): a child destroyed by its parent reads null.
void World::Clear() {
    std::vector<Base::SmartPtr<Obj::Object>> objects;
    for (Node* node = head.next; node != &head; node = node->next)
        objects.emplace_back(Get(node));
    for (Obj::Object* object : objects) {
        if (!object || object->world != this)
            continue;
        if (auto* attachable = dynamic_cast<Obj::Attachable*>(object); attachable && attachable->GetParent())
            continue;
        RemoveObject(object);
        delete object;
    }
    // Attached children whose parent was not in this world: out of it, and left to their parent. What a
    // leaving parent let go of (a ship's wake) has no parent any more and is destroyed.
    while (head.IsLinked()) {
        Obj::Object* object = Get(head.next);
        RemoveObject(object);
        auto* attachable = dynamic_cast<Obj::Attachable*>(object);
        if (!attachable || !attachable->GetParent())
            delete object;
    }
}

bool FindNearestTerrainHit(const Spatial<Obj::Static>& statics, const RwLine& segment, RwV3d* outPoint,
                           RwV3d* outNormal, Obj::Static** outObject) {
    return statics.FindNearestHit(
        segment, [](Obj::Static* s) { return SceneryCast<Obj::Terrain>::Cast(s) != nullptr; }, outPoint,
        outNormal, outObject);
}

bool FindNearestStaticHit(const Spatial<Obj::Static>& statics, const RwLine& segment, RwV3d* outPoint,
                          RwV3d* outNormal, Obj::Static** outObject) {
    return statics.FindNearestHit(
        segment, [](Obj::Static* s) { return SceneryCast<Obj::Terrain>::Cast(s) == nullptr; }, outPoint,
        outNormal, outObject);
}

} // namespace Grp
