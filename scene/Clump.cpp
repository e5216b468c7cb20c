#include "scene/Clump.h"

#include "scene/AtomicData.h"
#include "scene/CameraRelative.h"

#include "base/CacheLoaders.h"
#include "base/Maths.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/matrix.h"

#include <d3d9.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <bit>
#include <cstring>

namespace Obj {

float LargestAxisLength(const RwMatrix* m) {
    auto squared = [](const RwV3d& v) { return v.x * v.x + v.y * v.y + v.z * v.z; };
    return std::sqrt(std::max({squared(m->right), squared(m->up), squared(m->at)}));
}

void (*Clump::DrawPoint)(const RwV3d& position, uint8_t alpha) = nullptr;

namespace {
// Without it a model that fades to a point draws nothing there.
const Base::HookRegistration drawPointHook("Obj::Clump::DrawPoint",
                                           [] { return Clump::DrawPoint != nullptr; });
} // namespace

namespace {

// Puts the projection back when the draw ends, also when an exception leaves it.
struct KeptProjection {
    bool set = false;
    D3DMATRIX matrix{};
    ~KeptProjection() {
        if (set)
            RwD3D9SetTransform(D3DTS_PROJECTION, &matrix);
    }
};

} // namespace

Clump::Clump(RpClump* clump_, bool owns_)
    : Frame(clump_ ? RpClumpGetFrame(clump_) : nullptr, owns_), Rw::Clump(clump_, owns_) {}

Clump::Clump() : Rw::Clump(RpClumpCreate(), true) {
    if (clump && frame)
        RpClumpSetFrame(clump, frame);
}

Clump::~Clump() {
    LeaveTree();
    // The frame is the clump's: the clump destroys it, never the frame part.
    Rw::Frame::owns = 0;
    SetFrame(nullptr, false);
    ReleaseClump();
}

void Clump::SetClump(RpClump* newClump, bool newOwns) {
    Rw::Frame::owns = 0;
    SetFrame(nullptr, false);
    ReleaseClump();
    BindClump(newClump, newOwns);
    SetFrame(newClump ? RpClumpGetFrame(newClump) : nullptr, true);
    worldSphereValid = 0;
}

Rw::Frame* Clump::Transform(const RwMatrix* matrix, int combine) {
    worldSphereValid = 0;
    return Rw::Frame::Transform(matrix, combine);
}

bool Clump::UpdateLocalBoundingSphere() {
    RwSphere world;
    if (!clump || !frame || !Rw::CalculateClumpBoundingSphere(clump, &world))
        return false;
    RwMatrix inverse;
    RwMatrixInvertGeneral(&inverse, RwFrameGetWorldMatrix(frame));
    Rw::TransformBoundingSphere(&inverse, &world, &localSphere);
    worldSphereValid = 0;
    return true;
}

const RwSphere* Clump::GetWorldBoundingSphere() {
    if (!worldSphereValid && frame) {
        Rw::TransformBoundingSphere(RwFrameGetWorldMatrix(frame), &localSphere, &worldSphere);
        worldSphereValid = 1;
    }
    return &worldSphere;
}

float Clump::LodDistance() {
    RwCamera* camera = RWSRCGLOBAL(curCamera);
    const RwSphere* s = GetWorldBoundingSphere();
    RwFrame* cameraFrame = camera ? RwCameraGetFrame(camera) : nullptr;
    if (!cameraFrame)
        return 0;
    const RwV3d& c = RwFrameGetWorldMatrix(cameraFrame)->pos;
    const double dx = double(c.x) - s->center.x, dy = double(c.y) - s->center.y,
                 dz = double(c.z) - s->center.z;
    float d = float(std::sqrt(dx * dx + dy * dy + dz * dz)) - s->radius;
    if (!(d > 0))
        d = 0;
    return d * camera->viewWindow.x;
}

int Clump::SelectLevel(const DffRenderOrder& order, float distance) {
    for (size_t i = 0; i < order.lods.size(); ++i)
        if (distance <= order.lods[i].threshold)
            return int(i);
    return -1;
}

uint8_t Clump::PointAlpha(float distance, float start, float end) {
    // Equal distances would divide by zero: the point then vanishes in one step at the end.
    if (!(end > start))
        return distance < end ? 255 : 0;
    const float f = std::clamp((distance - start) / (end - start), 0.0f, 1.0f);
    return uint8_t(std::lround((1 - f) * 255));
}

void Clump::Render(uint8_t order) {
    RwCamera* camera = RWSRCGLOBAL(curCamera);
    if (!camera || !clump)
        return;
    const float d = LodDistance();
    const DffRenderOrder* found = nullptr;
    for (const DffRenderOrder& candidate : renderOrders) {
        if (candidate.key == order) {
            found = &candidate;
            break;
        }
    }
    if (!found)
        return;
    const int level = SelectLevel(*found, d);
    if (level < 0)
        return;
    const uint8_t index = uint8_t(level);

    Rw::Camera* cameraWrapper = Rw::Camera::FromEngine(camera);
    const bool relative = cameraRelDistance > 0 && d < cameraRelDistance && cameraWrapper;
    if (relative) {
        Rw::BeginCameraRelativeCamera(cameraWrapper);
        Rw::BeginCameraRelativeObject(this);
    }
    KeptProjection kept;
    for (const DffCommand& command : found->lods[level].commands) {
        switch (command.type) {
        case DffCommand::SetRenderState:
            RwD3D9SetRenderState(command.a, command.b);
            break;
        case DffCommand::SetTextureStageState:
            RwD3D9SetTextureStageState(command.a, command.b, command.c);
            break;
        case DffCommand::SetSamplerState:
            RwD3D9SetSamplerState(command.a, command.b, command.c);
            break;
        case DffCommand::RenderAtomics: {
            RpAtomic* atomic = command.atomic;
            if (!atomic || !(RpAtomicGetFlags(atomic) & rpATOMICRENDER))
                break;
            if (RwCameraFrustumTestSphere(camera, RpAtomicGetWorldBoundingSphere(atomic)) == rwSPHEREOUTSIDE)
                break;
            if (atomic->renderCallBack == Rw::AtomicLodData::RenderCallback)
                if (Rw::AtomicLodData* data = Rw::AtomicLodData::Get(atomic))
                    data->index = index;
            if (RpAtomicGetGeometry(atomic))
                RpAtomicRender(atomic);
            break;
        }
        case DffCommand::RenderPoint: {
            const uint8_t alpha =
                PointAlpha(d, std::bit_cast<float>(command.a), std::bit_cast<float>(command.b));
            if (alpha && DrawPoint)
                DrawPoint(GetWorldBoundingSphere()->center, alpha);
            break;
        }
        case DffCommand::DepthBias: {
            D3DMATRIX projection;
            RwD3D9GetTransform(D3DTS_PROJECTION, &projection);
            if (!kept.set) {
                kept.matrix = projection;
                kept.set = true;
            }
            projection._33 *= 1 + std::bit_cast<float>(command.a) * 0.001f;
            RwD3D9SetTransform(D3DTS_PROJECTION, &projection);
            break;
        }
        default:
            break;
        }
    }
    if (relative) {
        Rw::EndCameraRelativeCamera(cameraWrapper);
        Rw::EndCameraRelativeObject();
    }
}

// The query, running minimum and output target are single static instances: the tests are not re-entrant.
namespace {

struct SegmentQuery {
    RpIntersection intersection;
    RwReal nearest;
    RwV3d normal;
    RwFrame* hitFrame;
} segmentQuery;

struct SphereQuery {
    RpIntersection intersection;
    std::vector<WorldTriangle>* triangles;
    int count;
} sphereQuery;

RpCollisionTriangle* SegmentHit(RpIntersection*, RpCollisionTriangle* triangle, RwReal t, void* data) {
    if (t < segmentQuery.nearest && t >= 0 && t <= 1) {
        segmentQuery.nearest = t;
        segmentQuery.normal = triangle->normal;
        segmentQuery.hitFrame = static_cast<RwFrame*>(data);
    }
    return triangle;
}

RpAtomic* SegmentAtomic(RpAtomic* atomic, void*) {
    RwFrame* atomicFrame = RpAtomicGetFrame(atomic);
    if (!(RpAtomicGetFlags(atomic) & rpATOMICCOLLISIONTEST) || !atomicFrame)
        return atomic;
    const RwSphere* sphere = RpAtomicGetWorldBoundingSphere(atomic);
    if (Base::DistancePointToSegment(segmentQuery.intersection.t.line, sphere->center) > sphere->radius)
        return atomic;
    RpCollisionAtomicForAllIntersections(atomic, &segmentQuery.intersection, SegmentHit, atomicFrame);
    return atomic;
}

RpCollisionTriangle* SphereHit(RpIntersection*, RpCollisionTriangle* triangle, RwReal, void* data) {
    ++sphereQuery.count;
    if (sphereQuery.triangles) {
        WorldTriangle out;
        for (int i = 0; i < 3; ++i)
            RwVector3TransformPoints(&out.v[i], triangle->vertices[i], 1, static_cast<const RwMatrix*>(data));
        sphereQuery.triangles->push_back(out);
    }
    return triangle;
}

RpAtomic* SphereAtomic(RpAtomic* atomic, void*) {
    RwFrame* atomicFrame = RpAtomicGetFrame(atomic);
    if (!(RpAtomicGetFlags(atomic) & rpATOMICCOLLISIONTEST) || !atomicFrame)
        return atomic;
    const RwSphere* bound = RpAtomicGetWorldBoundingSphere(atomic);
    const RwSphere& query = sphereQuery.intersection.t.sphere;
    const double dx = double(query.center.x) - bound->center.x, dy = double(query.center.y) - bound->center.y,
                 dz = double(query.center.z) - bound->center.z;
    if (std::sqrt(dx * dx + dy * dy + dz * dz) > double(query.radius) + bound->radius)
        return atomic;
    RpCollisionAtomicForAllIntersections(atomic, &sphereQuery.intersection, SphereHit,
                                         RwFrameGetWorldMatrix(atomicFrame));
    return atomic;
}

} // namespace

bool Clump::IntersectSegment(const RwLine* segment, RwV3d* outPoint, RwV3d* outNormal) {
    if (!clump)
        return false;
    segmentQuery.intersection.type = rpINTERSECTLINE;
    segmentQuery.intersection.t.line = *segment;
    segmentQuery.nearest = 2.0f;
    segmentQuery.hitFrame = nullptr;
    RpClumpForAllAtomics(clump, SegmentAtomic, nullptr);
    if (!segmentQuery.hitFrame)
        return false;
    if (outPoint)
        Base::LerpVector3(outPoint, segment->start, segment->end, segmentQuery.nearest);
    if (outNormal) {
        RwV3d turned;
        RwVector3TransformVector(&turned, &segmentQuery.normal, RwFrameGetWorldMatrix(segmentQuery.hitFrame));
        Base::Normalize3d(turned, *outNormal);
    }
    return true;
}

int Clump::IntersectSphere(const RwSphere* sphere, std::vector<WorldTriangle>* triangles) {
    if (!clump)
        return 0;
    sphereQuery.intersection.type = rpINTERSECTSPHERE;
    sphereQuery.intersection.t.sphere = *sphere;
    sphereQuery.triangles = triangles;
    sphereQuery.count = 0;
    RpClumpForAllAtomics(clump, SphereAtomic, nullptr);
    return sphereQuery.count;
}

} // namespace Obj

namespace Rw {

void TransformBoundingSphere(const RwMatrix* matrix, const RwSphere* in, RwSphere* out) {
    RwV3d centre;
    RwVector3TransformPoints(&centre, &in->center, 1, matrix);
    const float radius = in->radius * Obj::LargestAxisLength(matrix);
    out->center = centre;
    out->radius = radius;
}

bool CalculateClumpBoundingSphere(RpClump* clump, RwSphere* out) {
    struct Box {
        RwV3d upper = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
        RwV3d lower = {FLT_MAX, FLT_MAX, FLT_MAX};
        bool any = false;
    } box;
    RpClumpForAllAtomics(
        clump,
        [](RpAtomic* atomic, void* data) {
            auto* b = static_cast<Box*>(data);
            RwFrame* atomicFrame = RpAtomicGetFrame(atomic);
            if (!(RpAtomicGetFlags(atomic) & (rpATOMICRENDER | rpATOMICCOLLISIONTEST)) || !atomicFrame)
                return atomic;
            const RwSphere s = *RpAtomicGetWorldBoundingSphere(atomic);
            const float r = s.radius * Obj::LargestAxisLength(RwFrameGetWorldMatrix(atomicFrame));
            b->upper = {std::max(b->upper.x, s.center.x + r), std::max(b->upper.y, s.center.y + r),
                        std::max(b->upper.z, s.center.z + r)};
            b->lower = {std::min(b->lower.x, s.center.x - r), std::min(b->lower.y, s.center.y - r),
                        std::min(b->lower.z, s.center.z - r)};
            b->any = true;
            return atomic;
        },
        &box);
    if (!box.any)
        return false;
    out->center = {(box.upper.x + box.lower.x) / 2, (box.upper.y + box.lower.y) / 2,
                   (box.upper.z + box.lower.z) / 2};
    const double dx = double(box.upper.x) - box.lower.x, dy = double(box.upper.y) - box.lower.y,
                 dz = double(box.upper.z) - box.lower.z;
    out->radius = float(std::sqrt(dx * dx + dy * dy + dz * dz) / 2);
    return true;
}

} // namespace Rw
