#include "scene/Wrappers.h"

#include "base/Maths.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/vector.h"

#include <cmath>

namespace Rw {

namespace {

// One type's pair of plugins: the engine slot counts the live objects, the object slot holds the wrapper.
// The offsets hold only while an engine that registered them is open.
template <class Wrapper, class Object, Object* Wrapper::*Held> struct BackPointer {
    static inline RwInt32 engineOffset = -1;
    static inline RwInt32 objectOffset = -1;
    static inline bool open = false;

    static Wrapper*& Slot(const Object* object) {
        return *RWPLUGINOFFSET(Wrapper*, const_cast<Object*>(object), objectOffset);
    }
    static RwInt32& Count() { return *RWPLUGINOFFSET(RwInt32, RwEngineInstance, engineOffset); }

    static void* ConstructEngine(void* instance, RwInt32 offset, RwInt32) {
        *RWPLUGINOFFSET(RwInt32, instance, offset) = 0;
        open = true;
        return instance;
    }
    static void* DestructEngine(void* instance, RwInt32, RwInt32) {
        open = false;
        return instance;
    }
    static void* Construct(void* object, RwInt32 offset, RwInt32) {
        ++Count();
        *RWPLUGINOFFSET(Wrapper*, object, offset) = nullptr;
        return object;
    }
    // Someone else destroys the engine object: its wrapper goes with it, without destroying it again.
    static void* Destruct(void* object, RwInt32 offset, RwInt32) {
        --Count();
        Wrapper*& slot = *RWPLUGINOFFSET(Wrapper*, object, offset);
        if (Wrapper* wrapper = slot) {
            slot = nullptr;
            wrapper->*Held = nullptr;
            delete wrapper;
        }
        return object;
    }
    // A copy of an engine object never inherits the wrapper.
    static void* Copy(void* dst, const void*, RwInt32, RwInt32) { return dst; }

    template <class Register> static bool Attach(RwUInt32 id, Register registerObject) {
        engineOffset = RwEngineRegisterPlugin(sizeof(RwInt32), id, ConstructEngine, DestructEngine);
        if (engineOffset < 0)
            return false;
        objectOffset = registerObject(sizeof(Wrapper*), id, Construct, Destruct, Copy);
        return objectOffset >= 0;
    }
    static Wrapper* Get(const Object* object) { return object && open ? Slot(object) : nullptr; }
    static int32_t Live() { return open ? Count() : 0; }
    static void Bind(const Object* object, Wrapper* wrapper) {
        if (object && open)
            Slot(object) = wrapper;
    }
    // Clears the back pointer when it is this wrapper's.
    static void Unbind(const Object* object, const Wrapper* wrapper) {
        if (object && open && Slot(object) == wrapper)
            Slot(object) = nullptr;
    }
};

using AtomicPlugin = BackPointer<Atomic, RpAtomic, &Atomic::atomic>;
using ClumpPlugin = BackPointer<Clump, RpClump, &Clump::clump>;
using LightPlugin = BackPointer<Light, RpLight, &Light::light>;
using CameraPlugin = BackPointer<Camera, RwCamera, &Camera::camera>;
using WorldPlugin = BackPointer<World, RpWorld, &World::world>;

CameraView cameraView{};

Plane* PlaneThrough(Plane* out, const RwV3d& normal, const RwV3d& point) {
    RwV3d n;
    Base::Normalize3d(normal, n);
    *out = {n.x, n.y, n.z, n.x * point.x + n.y * point.y + n.z * point.z};
    return out;
}

RwV3d Add(const RwV3d& a, const RwV3d& b, float scale) {
    return {a.x + b.x * scale, a.y + b.y * scale, a.z + b.z * scale};
}

} // namespace

bool RegisterWrapperPlugins() {
    bool ok = AtomicPlugin::Attach(Atomic::PluginId, RpAtomicRegisterPlugin);
    ok = ClumpPlugin::Attach(Clump::PluginId, RpClumpRegisterPlugin) && ok;
    ok = LightPlugin::Attach(Light::PluginId, RpLightRegisterPlugin) && ok;
    ok = CameraPlugin::Attach(Camera::PluginId, RwCameraRegisterPlugin) && ok;
    ok = WorldPlugin::Attach(World::PluginId, RpWorldRegisterPlugin) && ok;
    return ok;
}

// Frustum planes: the side planes contain the camera position and the view window's edges at distance 1.
Plane* CameraView::GetMinusRightPlane(Plane* out) const {
    return PlaneThrough(out, Add(Base::CrossProduct(up, at), at, windowX), position);
}
Plane* CameraView::GetPlusRightPlane(Plane* out) const {
    return PlaneThrough(out, Add(Base::CrossProduct(at, up), at, windowX), position);
}
Plane* CameraView::GetBottomPlane(Plane* out) const {
    return PlaneThrough(out, Add(up, at, windowY), position);
}
Plane* CameraView::GetTopPlane(Plane* out) const {
    return PlaneThrough(out, Add({-up.x, -up.y, -up.z}, at, windowY), position);
}
Plane* CameraView::GetNearPlane(Plane* out) const {
    return PlaneThrough(out, at, Add(position, at, nearClip));
}
Plane* CameraView::GetFarPlane(Plane* out) const {
    return PlaneThrough(out, {-at.x, -at.y, -at.z}, Add(position, at, farClip));
}

Atomic* Atomic::FromEngine(const RpAtomic* atomic) {
    return AtomicPlugin::Get(atomic);
}
int32_t Atomic::LiveCount() {
    return AtomicPlugin::Live();
}
Atomic::Atomic(RpAtomic* atomic_, bool owns_) : owns(owns_), atomic(atomic_) {
    AtomicPlugin::Bind(atomic, this);
}
Atomic::~Atomic() {
    if (!atomic)
        return;
    AtomicPlugin::Unbind(atomic, this);
    if (owns)
        RpAtomicDestroy(atomic);
    atomic = nullptr;
}

Clump* Clump::FromEngine(const RpClump* clump) {
    return ClumpPlugin::Get(clump);
}
int32_t Clump::LiveCount() {
    return ClumpPlugin::Live();
}
Clump::Clump(RpClump* clump_, bool owns_) {
    BindClump(clump_, owns_);
}
Clump::~Clump() {
    ReleaseClump();
}
void Clump::BindClump(RpClump* newClump, bool newOwns) {
    clump = newClump;
    owns = newOwns;
    ClumpPlugin::Bind(clump, this);
}
void Clump::ReleaseClump() {
    RpClump* held = clump;
    if (!held)
        return;
    clump = nullptr;
    ClumpPlugin::Unbind(held, this);
    if (owns)
        RpClumpDestroy(held);
}

Light* Light::FromEngine(const RpLight* light) {
    return LightPlugin::Get(light);
}
int32_t Light::LiveCount() {
    return LightPlugin::Live();
}
Light::Light(int type) : owns(1), light(RpLightCreate(type)) {
    if (!light)
        return;
    const RwRGBAReal black = {0, 0, 0, 0};
    RpLightSetColor(light, &black);
    RpLightSetRadius(light, 0);
    LightPlugin::Bind(light, this);
}
Light::~Light() {
    ReleaseLight();
}
void Light::ReleaseLight() {
    RpLight* held = light;
    if (!held)
        return;
    light = nullptr;
    LightPlugin::Unbind(held, this);
    if (owns)
        RpLightDestroy(held);
}

Camera* Camera::FromEngine(const RwCamera* camera) {
    return CameraPlugin::Get(camera);
}
int32_t Camera::LiveCount() {
    return CameraPlugin::Live();
}
Camera::Camera() : camera(RwCameraCreate()) {
    CameraPlugin::Bind(camera, this);
}
Camera::~Camera() {
    ReleaseCamera();
}
void Camera::ReleaseCamera() {
    RwCamera* held = camera;
    if (!held)
        return;
    camera = nullptr;
    CameraPlugin::Unbind(held, this);
    RwCameraDestroy(held);
}

void Camera::SetFieldOfView(float fov) {
    if (!camera)
        return;
    const float x = std::tan(fov / 2);
    const RwRaster* raster = camera->frameBuffer;
    const float shape = raster && raster->width > 0 ? float(raster->height) / float(raster->width) : 1.0f;
    const RwV2d window = {x, x * shape};
    RwCameraSetViewWindow(camera, &window);
}

void Camera::SetAspectRatio(float factor) {
    if (!camera)
        return;
    const float x = camera->viewWindow.x;
    const RwRaster* raster = camera->frameBuffer;
    const float shape = raster && raster->width > 0 ? float(raster->height) / float(raster->width) : 1.0f;
    const RwV2d window = {x, x * shape / factor};
    RwCameraSetViewWindow(camera, &window);
}

const CameraView* Camera::GetViewParameters() const {
    if (!camera)
        return &cameraView;
    if (RwFrame* frame = RwCameraGetFrame(camera)) {
        const RwMatrix* m = RwFrameGetWorldMatrix(frame);
        cameraView.position = m->pos;
        cameraView.at = m->at;
        cameraView.up = m->up;
    }
    cameraView.windowX = camera->viewWindow.x;
    cameraView.windowY = camera->viewWindow.y;
    cameraView.nearClip = camera->nearPlane;
    cameraView.farClip = camera->farPlane;
    return &cameraView;
}

void Camera::ProjectPoint(const RwV3d* world, RwV3d* out) const {
    if (!camera)
        return;
    RwV3d v;
    RwVector3TransformPoint(&v, world, &camera->viewMatrix);
    const RwRaster* raster = camera->frameBuffer;
    const float width = raster ? float(raster->width) : 1.0f;
    const float height = raster ? float(raster->height) : 1.0f;
    out->x = v.x / v.z * width;
    out->y = v.y / v.z * height;
    out->z = (v.z - camera->nearPlane) / (camera->farPlane - camera->nearPlane);
}

World* World::FromEngine(const RpWorld* world) {
    return WorldPlugin::Get(world);
}
int32_t World::LiveCount() {
    return WorldPlugin::Live();
}
World::World(const RwBBox* box) {
    RwBBox copy = *box;
    world = RpWorldCreate(&copy);
    WorldPlugin::Bind(world, this);
}
World::~World() {
    RpWorld* held = world;
    if (!held)
        return;
    world = nullptr;
    WorldPlugin::Unbind(held, this);
    RpWorldDestroy(held);
}

} // namespace Rw
