#include "weapons/Countermeasure.h"

#include "objects/Particles.h"
#include "scene/LoadTexture.h"
#include "scene/RoleGroups.h"
#include "scene/World.h"

#include "rwsdk/src/pipe/p2/im3d.h"
#include "rwsdk/src/texture.h"

#include <cmath>

namespace Weapons {

namespace {

constexpr uintptr_t BlendSrcAlpha = 5, BlendInvSrcAlpha = 6;

RwV3d Cross(const RwV3d& a, const RwV3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

RwV3d Unit(const RwV3d& v) {
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (!(length > 0))
        return {0, 0, 1};
    return {v.x / length, v.y / length, v.z / length};
}

} // namespace

Countermeasure::Countermeasure() {
    renderOrders.push_back(RenderOrder);
}

Countermeasure::~Countermeasure() {
    if (texture)
        RwTextureDestroy(texture);
}

RwV3d* Countermeasure::SetupWith(const char* textureName, const RwV3d& initialVelocity) {
    if (!texture)
        texture = Rw::LoadTexture(textureName, rwTEXTUREADDRESSCLAMP, rwFILTERLINEAR);
    velocity = initialVelocity;
    life = Life;
    return &velocity;
}

const RwSphere* Countermeasure::GetBoundingSphere() {
    sphere.center = RwFrameGetWorldMatrix(frame)->pos;
    sphere.radius = 1.0f;
    return &sphere;
}

void Countermeasure::Run() {
    if (remoteCopy || !world)
        return;
    const float dt = world->time->step;
    life -= dt;
    velocity.y -= Gravity * dt;
    const float drag = std::pow(DragPerSecond, dt);
    velocity = {velocity.x * drag, velocity.y * drag, velocity.z * drag};
    RwMatrix move;
    RwMatrixSetIdentity(&move);
    const RwV3d step = {velocity.x * dt, velocity.y * dt, velocity.z * dt};
    RwMatrixTranslate(&move, &step, rwCOMBINEREPLACE);
    Transform(&move, rwCOMBINEPOSTCONCAT);
    if (Obj::Renderable::group)
        Obj::Renderable::group->Update(this);
    if (life < 0 || RwFrameGetWorldMatrix(frame)->pos.y < 0) {
        world->RemoveObject(this);
        delete this;
    }
}

void Countermeasure::Render(unsigned, Cameras::Basic*) {
    RwCamera* camera = Obj::CurrentCamera();
    if (!camera)
        return;
    const RwMatrix* view = RwFrameGetWorldMatrix(RwCameraGetFrame(camera));
    const RwV3d a = view->at, up = {0, 1, 0};
    const RwV3d r = Cross(a, up), w = Cross(r, a);
    const RwV3d p = RwFrameGetWorldMatrix(frame)->pos;
    const RwV3d corner[4] = {Unit({-r.x - w.x, -r.y - w.y, -r.z - w.z}),
                             Unit({r.x - w.x, r.y - w.y, r.z - w.z}), Unit({r.x + w.x, r.y + w.y, r.z + w.z}),
                             Unit({-r.x + w.x, -r.y + w.y, -r.z + w.z})};
    RwV3d c[4];
    for (int k = 0; k < 4; ++k)
        c[k] = {p.x + 0.5f * corner[k].x, p.y + 0.5f * corner[k].y, p.z + 0.5f * corner[k].z};
    const uint32_t white = 0xFFFFFFFFu;
    RwIm3DVertex vertices[6] = {{c[0], {0, 0, 0}, white, 0, 0}, {c[1], {0, 0, 0}, white, 1, 0},
                                {c[2], {0, 0, 0}, white, 1, 1}, {c[2], {0, 0, 0}, white, 1, 1},
                                {c[3], {0, 0, 0}, white, 0, 1}, {c[0], {0, 0, 0}, white, 0, 0}};
    Obj::SetRenderState(rwRENDERSTATEVERTEXALPHAENABLE, 1);
    Obj::SetRenderState(rwRENDERSTATESRCBLEND, BlendSrcAlpha);
    Obj::SetRenderState(rwRENDERSTATEDESTBLEND, BlendInvSrcAlpha);
    Obj::SetRenderState(rwRENDERSTATEZWRITEENABLE, 0);
    Obj::SetRenderState(rwRENDERSTATECULLMODE, rwCULLMODECULLNONE);
    Obj::SetRenderState(rwRENDERSTATETEXTURERASTER,
                        uintptr_t(texture ? RwTextureGetRaster(texture) : nullptr));
    if (RwIm3DTransform(vertices, 6, nullptr, rwIM3D_VERTEXUV)) {
        RwIm3DRenderPrimitive(rwPRIMTYPETRILIST);
        RwIm3DEnd();
    }
    Obj::SetRenderState(rwRENDERSTATESRCBLEND, BlendSrcAlpha);
    Obj::SetRenderState(rwRENDERSTATEDESTBLEND, BlendInvSrcAlpha);
    Obj::SetRenderState(rwRENDERSTATEZWRITEENABLE, 1);
    Obj::SetRenderState(rwRENDERSTATECULLMODE, rwCULLMODECULLBACK);
}

void Countermeasure::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    Obj::SetRenderableWorld(*this, joined);
    Obj::SetRunnableWorld(*this, joined);
    if (joined)
        joined->targets->Insert(this);
    else if (Obj::Target::group)
        Grp::Simple<Obj::Target>::Remove(this);
}

} // namespace Weapons
