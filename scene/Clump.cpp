#include "scene/Clump.h"

#include "scene/AtomicData.h"
#include "scene/CameraRelative.h"

#include "base/Maths.h"
#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/matrix.h"

#include <d3d9.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace Obj {

float LargestAxisLength(const RwMatrix* m) {
    auto squared = [](const RwV3d& v) { return v.x * v.x + v.y * v.y + v.z * v.z; };
    return std::sqrt(std::max({squared(m->right), squared(m->up), squared(m->at)}));
}

void (*Clump::DrawPoint)(const RwV3d& position, uint8_t alpha) = nullptr;

namespace {

float AsFloat(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The triangles of an atomic that a query touches, in its model space. The collision trees of the engine
// are not consulted: every triangle is tested, as for a model whose file carries no tree.
template <class Hit> void ForAllTriangles(RpAtomic* atomic, Hit hit) {
    const RpGeometry* geometry = RpAtomicGetGeometry(atomic);
    if (!geometry || geometry->numMorphTargets < 1 || !geometry->morphTarget[0].verts)
        return;
    const RwV3d* verts = geometry->morphTarget[0].verts;
    for (RwInt32 i = 0; i < geometry->numTriangles; ++i) {
        const RwUInt16* index = geometry->triangles[i].vertIndex;
        if (index[0] >= geometry->numVertices || index[1] >= geometry->numVertices ||
            index[2] >= geometry->numVertices)
            continue;
        hit(verts[index[0]], verts[index[1]], verts[index[2]]);
    }
}

// Segment parameter of the hit on the triangle (edges and corners included), or -1.
double SegmentTriangle(const RwV3d& s, const RwV3d& e, const RwV3d& a, const RwV3d& b, const RwV3d& c) {
    const double d[3] = {double(e.x) - s.x, double(e.y) - s.y, double(e.z) - s.z};
    const double e1[3] = {double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
    const double e2[3] = {double(c.x) - a.x, double(c.y) - a.y, double(c.z) - a.z};
    const double p[3] = {d[1] * e2[2] - d[2] * e2[1], d[2] * e2[0] - d[0] * e2[2],
                         d[0] * e2[1] - d[1] * e2[0]};
    const double det = e1[0] * p[0] + e1[1] * p[1] + e1[2] * p[2];
    if (std::fabs(det) < 1e-18)
        return -1;
    const double inv = 1.0 / det;
    const double o[3] = {double(s.x) - a.x, double(s.y) - a.y, double(s.z) - a.z};
    const double u = (o[0] * p[0] + o[1] * p[1] + o[2] * p[2]) * inv;
    if (u < 0 || u > 1)
        return -1;
    const double q[3] = {o[1] * e1[2] - o[2] * e1[1], o[2] * e1[0] - o[0] * e1[2],
                         o[0] * e1[1] - o[1] * e1[0]};
    const double v = (d[0] * q[0] + d[1] * q[1] + d[2] * q[2]) * inv;
    if (v < 0 || u + v > 1)
        return -1;
    return (e2[0] * q[0] + e2[1] * q[1] + e2[2] * q[2]) * inv;
}

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
            const uint8_t alpha = PointAlpha(d, AsFloat(command.a), AsFloat(command.b));
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
            projection._33 *= 1 + AsFloat(command.a) * 0.001f;
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

bool Clump::IntersectSegment(const RwLine* segment, RwV3d* outPoint, RwV3d* outNormal) {
    if (!clump)
        return false;
    struct Query {
        const RwLine* segment;
        double nearest = 2.0;
        RwV3d normal = {0, 0, 1};
        RwFrame* hitFrame = nullptr;
    } query{segment};
    RpClumpForAllAtomics(
        clump,
        [](RpAtomic* atomic, void* data) {
            auto* q = static_cast<Query*>(data);
            RwFrame* atomicFrame = RpAtomicGetFrame(atomic);
            if (!(RpAtomicGetFlags(atomic) & rpATOMICCOLLISIONTEST) || !atomicFrame)
                return atomic;
            const RwSphere* sphere = RpAtomicGetWorldBoundingSphere(atomic);
            if (Base::DistancePointToSegment(*q->segment, sphere->center) > sphere->radius)
                return atomic;
            RwMatrix inverse;
            RwMatrixInvertGeneral(&inverse, RwFrameGetWorldMatrix(atomicFrame));
            RwV3d start, end;
            RwVector3TransformPoint(&start, &q->segment->start, &inverse);
            RwVector3TransformPoint(&end, &q->segment->end, &inverse);
            ForAllTriangles(atomic, [&](const RwV3d& a, const RwV3d& b, const RwV3d& c) {
                const double t = SegmentTriangle(start, end, a, b, c);
                if (t < q->nearest && t >= 0 && t <= 1) {
                    q->nearest = t;
                    const RwV3d e1 = {b.x - a.x, b.y - a.y, b.z - a.z},
                                e2 = {c.x - a.x, c.y - a.y, c.z - a.z};
                    q->normal = Base::CrossProduct(e1, e2);
                    q->hitFrame = atomicFrame;
                }
            });
            return atomic;
        },
        &query);
    if (!query.hitFrame)
        return false;
    if (outPoint)
        Base::LerpVector3(outPoint, segment->start, segment->end, float(query.nearest));
    if (outNormal) {
        RwV3d turned;
        RwVector3TransformVector(&turned, &query.normal, RwFrameGetWorldMatrix(query.hitFrame));
        Base::Normalize3d(turned, *outNormal);
    }
    return true;
}

int Clump::IntersectSphere(const RwSphere* sphere, std::vector<WorldTriangle>* triangles) {
    if (!clump)
        return 0;
    struct Query {
        const RwSphere* sphere;
        std::vector<WorldTriangle>* triangles;
        int count = 0;
    } query{sphere, triangles};
    RpClumpForAllAtomics(
        clump,
        [](RpAtomic* atomic, void* data) {
            auto* q = static_cast<Query*>(data);
            RwFrame* atomicFrame = RpAtomicGetFrame(atomic);
            if (!(RpAtomicGetFlags(atomic) & rpATOMICCOLLISIONTEST) || !atomicFrame)
                return atomic;
            const RwSphere* bound = RpAtomicGetWorldBoundingSphere(atomic);
            const RwV3d& p = q->sphere->center;
            const double dx = double(p.x) - bound->center.x, dy = double(p.y) - bound->center.y,
                         dz = double(p.z) - bound->center.z;
            if (std::sqrt(dx * dx + dy * dy + dz * dz) > double(q->sphere->radius) + bound->radius)
                return atomic;
            const RwMatrix* world = RwFrameGetWorldMatrix(atomicFrame);
            RwMatrix inverse;
            RwMatrixInvertGeneral(&inverse, world);
            RwV3d centre;
            RwVector3TransformPoint(&centre, &p, &inverse);
            const float scale = LargestAxisLength(world);
            const float radius = scale > 0 ? q->sphere->radius / scale : q->sphere->radius;
            const Base::Vector3 c = {centre.x, centre.y, centre.z};
            ForAllTriangles(atomic, [&](const RwV3d& a, const RwV3d& b, const RwV3d& v) {
                const Base::Triangle t = {{{a.x, a.y, a.z}, {b.x, b.y, b.z}, {v.x, v.y, v.z}}};
                if (Base::DistancePointToTriangle(c, t) > radius)
                    return;
                ++q->count;
                if (q->triangles) {
                    WorldTriangle out;
                    const RwV3d in[3] = {a, b, v};
                    RwVector3TransformPoints(out.v, in, 3, world);
                    q->triangles->push_back(out);
                }
            });
            return atomic;
        },
        &query);
    return query.count;
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
