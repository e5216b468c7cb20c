// How the sky, the cloud layer and the terrain take their places in a world: each is drawn from the
// catch-all sector of the renderables, and the terrain is also a static that weapons and the world's ground
// query reach.
#include "objects/Clouds.h"
#include "objects/Sky.h"
#include "objects/Terrain.h"

#include "base/CacheLoaders.h"
#include "base/FrameClock.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/world/baclump.h"
#include "scene/EngineHost.h"
#include "scene/RoleGroups.h"
#include "scene/World.h"

namespace Obj {

namespace {

// The world knows these classes only through the casts they register.
const bool registered = Grp::SceneryCast<Sky>::Register() && Grp::SceneryCast<Clouds>::Register() &&
                        Grp::SceneryCast<Terrain>::Register();

} // namespace

Sky::Sky() {
    (void)registered;
    RenderRole::renderOrders.push_back(RenderOrder);
    RenderRole::renderOrders.push_back(FlareRenderOrder);
}

void (*Sky::CreateLights)(Sky& sky) = nullptr;

namespace {
const Base::HookRegistration skyLightsHook("Obj::Sky::CreateLights",
                                           [] { return Sky::CreateLights != nullptr; });
} // namespace

void Sky::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    SetRenderableWorld(*this, joined);
    if (joined)
        AddChildrenToWorld();
}

void Sky::AddChildrenToWorld() {
    if (!world)
        return;
    for (Attachable* child = FirstChild(); child; child = child->NextSibling())
        if (auto* object = dynamic_cast<Obj::Object*>(child); object && !object->world)
            world->AddObject(object);
}

void Sky::RebuildLights() {
    // A reload replaces the lights of the last load; a sky that does not load lights nothing.
    while (Obj::Light* old = FindChild<Obj::Light>()) {
        if (auto* object = dynamic_cast<Obj::Object*>(old); object && object->world)
            object->world->RemoveObject(object);
        delete old;
    }
    if (!loaded_ || !CreateLights)
        return;
    CreateLights(*this);
    AddChildrenToWorld();
}

void Sky::Render(unsigned order, Cameras::Basic* viewer) {
    RwCamera* camera = RWSRCGLOBAL(curCamera);
    if (order != FlareRenderOrder) {
        Render(camera);
        return;
    }
    if (!world || flares_.empty())
        return;
    // Occlusion is tested on the world's clock; the fade follows the frame clock, as a lens would.
    const LensFlare::Occlusion occluded = LensFlare::WorldOcclusion(*world, viewer);
    const float gameTime = world->time ? float(world->time->time) : float(Base::FrameClock::GameTime);
    for (LensFlare& flare : flares_)
        flare.Render(camera, gameTime, float(Base::FrameClock::FrameTime), occluded);
}

Clouds::Clouds() {
    RenderRole::renderOrders.push_back(RenderOrder);
}

void Clouds::SetWorld(Grp::World* world) {
    Obj::Object::SetWorld(world);
    SetRenderableWorld(*this, world);
}

void Clouds::Render(unsigned, Cameras::Basic*) {
    if (Render(RWSRCGLOBAL(curCamera)) > 0 && Rw::DummyAtomic)
        RpAtomicRender(Rw::DummyAtomic);
}

void Terrain::SetWorld(Grp::World* world) {
    Obj::Object::SetWorld(world);
    SetRenderableWorld(*this, world);
    if (world) {
        Static::group = world->statics.get();
        world->statics->UpdateDamageable(this);
        Static::OnGroupChanged(Static::group);
    } else if (Static::group) {
        Grp::Spatial<Static>::Remove(this);
    }
}

bool Terrain::IntersectSegment(const RwLine* segment, RwV3d* outPoint, RwV3d* outNormal) {
    if (!segment)
        return false;
    Base::Vector3 point, normal;
    const Segment s{{segment->start.x, segment->start.y, segment->start.z},
                    {segment->end.x, segment->end.y, segment->end.z}};
    if (!IntersectGroundOrSea(s, &point, &normal))
        return false;
    if (outPoint)
        *outPoint = {point.x, point.y, point.z};
    if (outNormal)
        *outNormal = {normal.x, normal.y, normal.z};
    return true;
}

} // namespace Obj
