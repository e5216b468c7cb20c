#include "objects/Exhaust.h"

#include "base/Random.h"
#include "scene/LoadTexture.h"
#include "scene/World.h"
#include "scene/RoleGroups.h"

#include "rwsdk/src/frame.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/src/texture.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace Obj {

namespace {

// The engine's blend factors.
constexpr uintptr_t BlendOne = 2, BlendSrcAlpha = 5, BlendInvSrcAlpha = 6;

} // namespace

Exhaust::Exhaust() {
    renderOrders.push_back(RenderOrder);
}

Exhaust::~Exhaust() {
    nozzles.clear();
    if (texture)
        RwTextureDestroy(texture);
}

void Exhaust::LoadTexture(uint32_t count) {
    nozzleCount = count;
    nozzles.assign(count, Nozzle{});
    if (texture)
        RwTextureDestroy(texture);
    texture = Rw::LoadTexture("Exhaust", rwTEXTUREADDRESSWRAP, rwFILTERLINEARMIPLINEAR);
}

void Exhaust::SetupAirplane(const Base::Info& description) {
    constexpr uint32_t MostNozzles = 8;
    std::vector<Base::Vector3> offsets;
    for (uint32_t i = 0; i < MostNozzles; ++i) {
        Base::Vector3 offset;
        if (!description.TryGetVector3("Nozzles.Offset" + std::to_string(i), offset))
            break;
        offsets.push_back(offset);
    }
    LoadTexture(uint32_t(offsets.size()));
    for (size_t i = 0; i < offsets.size(); ++i) {
        float diameter = -1;
        description.TryGetFloat("Nozzles.Diameter" + std::to_string(i), diameter);
        if (diameter < 0)
            diameter = 1.0f;
        nozzles[i] = {{offsets[i].x, offsets[i].y, offsets[i].z},
                      {0, 0, -1},
                      diameter,
                      3 * diameter,
                      12,
                      {255, 224, 192, 192}};
    }
}

void Exhaust::SetupRocket(const Base::Vector3& offset, float diameter) {
    LoadTexture(1);
    nozzles[0] = {{offset.x, offset.y, offset.z}, {0, 0, -1}, diameter, 0, 0, {255, 230, 200, 255}};
}

uint8_t Exhaust::QuadAlpha(uint32_t k, uint32_t segments, float u, uint8_t peak) {
    // One quad alone has nothing to fade towards: it takes the full ramp.
    const double ramp = segments > 1 ? 1.0 - double(k) / double(segments - 1) : 1.0;
    const long alpha = std::lround(ramp * (1.0 + u) * peak * 0.5);
    return uint8_t(std::clamp(alpha, 0L, 255L));
}

bool Exhaust::InRange(double distance, float windowX, float extent) {
    return distance * windowX <= 200.0 * extent;
}

size_t Exhaust::Build(const EffectView& view, VertexStore& store) {
    const size_t count = std::min<size_t>(nozzleCount, nozzles.size());
    uint64_t quads = 0;
    float extent = 0;
    for (size_t n = 0; n < count; ++n) {
        quads += nozzles[n].segments;
        extent = std::max(extent, nozzles[n].diameter * nozzles[n].length);
    }
    if (quads == 0 || quads * 6 > rwIm3DMaxVertices)
        return 0;
    double origin[3];
    GetWorldPositionDouble(origin);
    const double* c = view.position;
    const double dx = origin[0] - c[0], dy = origin[1] - c[1], dz = origin[2] - c[2];
    if (!InRange(std::sqrt(dx * dx + dy * dy + dz * dz), view.windowX, extent))
        return 0;

    // The flicker follows the world time and repeats every 10 s; a paused world holds it still. It draws
    // from the program's generator seeded for it, which then goes back as it was: what is drawn must not
    // change the numbers the game's pilots and weapons draw next.
    const Base::Random::Saved saved;
    const float now = world && world->time ? world->time->time : 0.0f;
    Base::Random::Seed(uint32_t(std::lround(std::fmod(double(now), 10.0) * 1000.0)));

    const RwMatrix* m = RwFrameGetWorldMatrix(frame);
    auto turn = [m](const float v[3]) {
        return RwV3d{m->right.x * v[0] + m->up.x * v[1] + m->at.x * v[2],
                     m->right.y * v[0] + m->up.y * v[1] + m->at.y * v[2],
                     m->right.z * v[0] + m->up.z * v[1] + m->at.z * v[2]};
    };
    RwIm3DVertex* out = store.Reserve(size_t(quads) * 6);
    size_t written = 0;
    for (size_t n = 0; n < count; ++n) {
        const Nozzle& nozzle = nozzles[n];
        if (nozzle.segments == 0)
            continue;
        const RwV3d p = turn(nozzle.position);
        const double base[3] = {p.x + origin[0], p.y + origin[1], p.z + origin[2]};
        const RwV3d d = turn(nozzle.direction);
        const float half = nozzle.diameter / 2;
        const RwV3d h{view.right.x * half, view.right.y * half, view.right.z * half};
        const RwV3d w{view.up.x * half, view.up.y * half, view.up.z * half};
        const RwV3d corners[4] = {{-h.x - w.x, -h.y - w.y, -h.z - w.z},
                                  {h.x - w.x, h.y - w.y, h.z - w.z},
                                  {h.x + w.x, h.y + w.y, h.z + w.z},
                                  {-h.x + w.x, -h.y + w.y, -h.z + w.z}};
        const double stepLength = nozzle.segments > 1 ? double(nozzle.length) / (nozzle.segments - 1) : 0.0;
        for (uint32_t k = 0; k < nozzle.segments; ++k) {
            const RwV3d centre{float(base[0] + k * stepLength * d.x - c[0]),
                               float(base[1] + k * stepLength * d.y - c[1]),
                               float(base[2] + k * stepLength * d.z - c[2])};
            const float u = float(double(Base::Random::NextUInt32()) * (1.0 / 4294967296.0));
            const uint8_t alpha = QuadAlpha(k, nozzle.segments, u, nozzle.color[3]);
            WriteQuad(out + written, centre, corners, 1.0f,
                      PackArgb(nozzle.color[0], nozzle.color[1], nozzle.color[2], alpha));
            written += 6;
        }
    }
    return written;
}

void Exhaust::Render(unsigned, Cameras::Basic*) {
    lastVertexCount = 0;
    RwCamera* camera = CurrentCamera();
    EffectView view;
    if (!EffectView::FromCamera(camera, view))
        return;
    const size_t count = Build(view, store_);
    if (count == 0)
        return;
    SetRenderState(rwRENDERSTATETEXTURERASTER, uintptr_t(texture ? RwTextureGetRaster(texture) : nullptr));
    SetRenderState(rwRENDERSTATECULLMODE, rwCULLMODECULLNONE);
    SetRenderState(rwRENDERSTATEZWRITEENABLE, 0);
    SetRenderState(rwRENDERSTATEVERTEXALPHAENABLE, 1);
    SetRenderState(rwRENDERSTATESRCBLEND, BlendSrcAlpha);
    SetRenderState(rwRENDERSTATEDESTBLEND, BlendOne);
    {
        CameraRelativeScope relative(camera, view);
        DrawIm3D(store_.Reserve(count), count, rwPRIMTYPETRILIST);
    }
    SetRenderState(rwRENDERSTATESRCBLEND, BlendSrcAlpha);
    SetRenderState(rwRENDERSTATEDESTBLEND, BlendInvSrcAlpha);
    SetRenderState(rwRENDERSTATEZWRITEENABLE, 1);
    SetRenderState(rwRENDERSTATECULLMODE, rwCULLMODECULLBACK);
    lastVertexCount = count;
}

void Exhaust::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    SetRenderableWorld(*this, joined);
}

} // namespace Obj
