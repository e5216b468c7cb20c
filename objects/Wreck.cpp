#include "objects/Wreck.h"

#include "objects/Terrain.h"
#include "base/Maths.h"
#include "base/Random.h"
#include "scene/World.h"
#include "scene/RoleGroups.h"

#include "rwsdk/rwd3d9.h"
#include "rwsdk/plugin/matfx/rpmatfx.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/world/baclump.h"
#include "rwsdk/world/bageomet.h"
#include "rwsdk/world/baworobj.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

namespace Obj {

namespace {

constexpr float Gravity = 9.81f;

struct Bounds {
    RwV3d min{FLT_MAX, FLT_MAX, FLT_MAX}, max{-FLT_MAX, -FLT_MAX, -FLT_MAX};
    void Add(const RwV3d& v) {
        min = {std::min(min.x, v.x), std::min(min.y, v.y), std::min(min.z, v.z)};
        max = {std::max(max.x, v.x), std::max(max.y, v.y), std::max(max.z, v.z)};
    }
    RwV3d Centre() const { return {(min.x + max.x) * 0.5f, (min.y + max.y) * 0.5f, (min.z + max.z) * 0.5f}; }
    float Diagonal() const {
        return float(Base::VectorLength(RwV3d{max.x - min.x, max.y - min.y, max.z - min.z}));
    }
};

Bounds BoxOf(const RwV3d* v, RwInt32 count) {
    Bounds box;
    for (RwInt32 i = 0; i < count; ++i)
        box.Add(v[i]);
    return box;
}

float Signed() {
    return Base::Random::FloatInRange(-1.0f, 1.0f);
}

// A geometry of the given triangles of source, three vertices of its own per triangle, with copies of
// the source's materials (one per source material, shared through copies); null when it cannot be made.
RpGeometry* CopyTriangles(RpGeometry* source, const std::vector<RwInt32>& triangles) {
    const RwInt32 sets = std::min(RpGeometryGetNumTexCoordSets(source), rwMAXTEXTURECOORDS);
    const RwUInt32 format = (RpGeometryGetFlags(source) & ~RwUInt32(rpGEOMETRYTRISTRIP | rpGEOMETRYNATIVE)) |
                            rpGEOMETRYMODULATEMATERIALCOLOR | rpGEOMETRYTEXCOORDSETS(RwUInt32(sets));
    const RwInt32 vertices = RwInt32(triangles.size()) * 3;
    RpGeometry* out = RpGeometryCreate(vertices, RwInt32(triangles.size()), format);
    if (!out)
        return nullptr;
    RpMorphTarget* from = RpGeometryGetMorphTarget(source, 0);
    RpMorphTarget* to = RpGeometryGetMorphTarget(out, 0);
    const RwV3d* fromVerts = RpMorphTargetGetVertices(from);
    const RwV3d* fromNormals = RpMorphTargetGetVertexNormals(from);
    RwV3d* toVerts = RpMorphTargetGetVertices(to);
    RwV3d* toNormals = RpMorphTargetGetVertexNormals(to);
    const RwRGBA* fromLit = RpGeometryGetPreLightColors(source);
    RwRGBA* toLit = RpGeometryGetPreLightColors(out);
    const RpTriangle* fromTriangles = RpGeometryGetTriangles(source);
    RpTriangle* toTriangles = RpGeometryGetTriangles(out);
    // The coordinate sets (the engine counts them from 1), and one copy per source material, made when first
    // used and then kept by index.
    const RwTexCoords* fromSets[rwMAXTEXTURECOORDS] = {};
    RwTexCoords* toSets[rwMAXTEXTURECOORDS] = {};
    for (RwInt32 set = 0; set < sets; ++set) {
        fromSets[set] = RpGeometryGetVertexTexCoords(source, set + 1);
        toSets[set] = RpGeometryGetVertexTexCoords(out, set + 1);
    }
    std::vector<RpMaterial*> copies(size_t(RpGeometryGetNumMaterials(source)), nullptr);
    RwUInt16 next = 0;
    for (size_t t = 0; t < triangles.size(); ++t) {
        const RpTriangle& triangle = fromTriangles[triangles[t]];
        for (int k = 0; k < 3; ++k) {
            const RwUInt16 s = triangle.vertIndex[k];
            const RwUInt16 d = RwUInt16(next + k);
            if (toVerts && fromVerts)
                toVerts[d] = fromVerts[s];
            if (toNormals && fromNormals)
                toNormals[d] = fromNormals[s];
            if (toLit && fromLit)
                toLit[d] = fromLit[s];
            for (RwInt32 set = 0; set < sets; ++set)
                if (fromSets[set] && toSets[set])
                    toSets[set][d] = fromSets[set][s];
        }
        RpTriangle& made = toTriangles[t];
        RpGeometryTriangleSetVertexIndices(out, &made, next, RwUInt16(next + 1), RwUInt16(next + 2));
        next = RwUInt16(next + 3);
        RpMaterial* material = nullptr;
        if (triangle.matIndex < copies.size()) {
            RpMaterial*& copy = copies[triangle.matIndex];
            if (!copy)
                copy = RpMaterialClone(RpGeometryGetMaterial(source, triangle.matIndex));
            material = copy;
        }
        RpGeometryTriangleSetMaterial(out, &made, material);
    }
    // The geometry holds its own references now.
    for (RpMaterial* material : copies)
        if (material)
            RpMaterialDestroy(material);
    return out;
}

RpMaterial* SetMaterialAlpha(RpMaterial* material, void* data) {
    RwRGBA color = *RpMaterialGetColor(material);
    color.alpha = *static_cast<const RwUInt8*>(data);
    RpMaterialSetColor(material, &color);
    return material;
}

} // namespace

// ---- splitting

namespace {

struct Split {
    RpGeometry* source;
    const RwV3d* vertices;
    const RpTriangle* triangles;
    const RwMatrix* matrix;
    float maxPieceSize;
    std::vector<Wreck::Piece>* out;

    // The triangles of one piece-to-be, as indices into the source: a cut only sorts them, and only a
    // finished piece copies them out, so the parts in between cost no geometry of their own.
    void Cut(const std::vector<RwInt32>& part, int depth, bool whole) {
        if (depth <= 0) {
            Take(part, whole);
            return;
        }
        Bounds box;
        if (whole) {
            box = BoxOf(vertices, RpGeometryGetNumVertices(source));
        } else {
            for (RwInt32 t : part)
                for (RwUInt16 v : triangles[t].vertIndex)
                    box.Add(vertices[v]);
        }
        if (box.Diagonal() <= maxPieceSize) {
            Take(part, whole);
            return;
        }
        RwV3d normal{Signed(), Signed(), Signed()};
        normal = Base::Normalize3d(normal);
        const RwV3d centre = box.Centre();
        std::vector<RwInt32> front, back;
        front.reserve(part.size());
        back.reserve(part.size());
        const float third = 1.0f / 3.0f;
        for (RwInt32 t : part) {
            const RwV3d& a = vertices[triangles[t].vertIndex[0]];
            const RwV3d& b = vertices[triangles[t].vertIndex[1]];
            const RwV3d& c = vertices[triangles[t].vertIndex[2]];
            const RwV3d centroid{(a.x + b.x + c.x) * third, (a.y + b.y + c.y) * third,
                                 (a.z + b.z + c.z) * third};
            const float side = (centroid.x - centre.x) * normal.x + (centroid.y - centre.y) * normal.y +
                               (centroid.z - centre.z) * normal.z;
            (side > 0 ? front : back).push_back(t);
        }
        if (!front.empty())
            Cut(front, depth - 1, false);
        if (!back.empty())
            Cut(back, depth - 1, false);
    }

    // The atomic's own geometry is never a piece: a part small enough already leaves nothing.
    void Take(const std::vector<RwInt32>& part, bool whole) {
        if (whole || part.empty())
            return;
        if (RpGeometry* piece = CopyTriangles(source, part))
            out->push_back({piece, *matrix});
    }
};

} // namespace

void Wreck::SplitGeometry(RpGeometry* geometry, const RwMatrix& matrix, int depth, float maxPieceSize,
                          std::vector<Piece>& out) {
    if (!geometry || depth <= 0 || RpGeometryGetNumVertices(geometry) == 0)
        return;
    const RwV3d* vertices = RpMorphTargetGetVertices(RpGeometryGetMorphTarget(geometry, 0));
    if (!vertices)
        return;
    std::vector<RwInt32> all(size_t(RpGeometryGetNumTriangles(geometry)));
    for (size_t t = 0; t < all.size(); ++t)
        all[t] = RwInt32(t);
    Split{geometry, vertices, RpGeometryGetTriangles(geometry), &matrix, maxPieceSize, &out}.Cut(all, depth,
                                                                                                 true);
}

// ---- fragments

Wreck::Fragment::Fragment(Wreck* owner) : Rw::Frame(), Rw::Atomic(RpAtomicCreate(), true), wreck(owner) {
    if (atomic && frame)
        RpAtomicSetFrame(atomic, frame);
}

bool Wreck::Fragment::Step(float dt) {
    if (!atomic || !(RpAtomicGetFlags(atomic) & rpATOMICRENDER))
        return false;
    if (dt == 0)
        return true;
    if (Base::VectorLength(velocity) > 0) {
        const float k = std::pow(0.98f, 10.0f * dt);
        velocity = {velocity.x * k, velocity.y * k, velocity.z * k};
        spin = {spin.x * k, spin.y * k, spin.z * k};
        velocity.x += dt / (size + 1);
        velocity.y -= Gravity * dt;

        // Turn about its own position, then move; after what the frame already holds.
        const RwV3d position = RwFrameGetMatrix(frame)->pos;
        const RwV3d back{-position.x, -position.y, -position.z};
        const RwV3d axis = Base::Normalize3d(spin);
        const float degrees = float(Base::VectorLength(spin)) * dt * float(180.0 / Base::Pi);
        const RwV3d move{position.x + velocity.x * dt, position.y + velocity.y * dt,
                         position.z + velocity.z * dt};
        RwMatrix m;
        RwMatrixTranslate(&m, &back, rwCOMBINEREPLACE);
        RwMatrixRotate(&m, &axis, degrees, rwCOMBINEPOSTCONCAT);
        RwMatrixTranslate(&m, &move, rwCOMBINEPOSTCONCAT);
        Transform(&m, rwCOMBINEPOSTCONCAT);

        // The ground below: a bounce keeps a third of the reflected speed; a slow piece rests for good.
        Grp::World* world = wreck ? wreck->Obj::Object::world : nullptr;
        const Terrain* terrain = world ? world->terrain : nullptr;
        if (terrain && terrain->IsLoaded()) {
            const RwV3d p = RwFrameGetMatrix(frame)->pos;
            const Terrain::Segment down{{p.x, p.y + 100, p.z}, {p.x, p.y - 100, p.z}};
            Base::Vector3 hit, n;
            if (terrain->IntersectGroundOrSea(down, &hit, &n) && hit.y >= p.y) {
                if (Base::VectorLength(velocity) <= 1.0) {
                    velocity = {0, 0, 0};
                } else {
                    RwMatrix placed = *RwFrameGetMatrix(frame);
                    placed.pos.y = hit.y;
                    RwMatrixUpdate(&placed);
                    Transform(&placed, rwCOMBINEREPLACE);
                    const float dot = velocity.x * n.x + velocity.y * n.y + velocity.z * n.z;
                    velocity = {(velocity.x - 2 * dot * n.x) * 0.33f, (velocity.y - 2 * dot * n.y) * 0.33f,
                                (velocity.z - 2 * dot * n.z) * 0.33f};
                    spin = {spin.x * -0.33f, spin.y * -0.33f, spin.z * -0.33f};
                }
            }
        }
    }
    life -= dt;
    if (life <= 0) {
        life = 0;
        RpAtomicSetFlags(atomic, RwUInt8(RpAtomicGetFlags(atomic) & ~rpATOMICRENDER));
    }
    RwUInt8 alpha = RwUInt8(std::clamp(life / FadeSeconds, 0.0f, 1.0f) * 255.0f);
    if (RpGeometry* geometry = RpAtomicGetGeometry(atomic))
        RpGeometryForAllMaterials(geometry, SetMaterialAlpha, &alpha);
    return RpAtomicGetFlags(atomic) & rpATOMICRENDER;
}

// ---- the wreck

Wreck::Wreck() {
    Alg::Render::Object<Cameras::Basic>::renderOrders.clear();
}

Wreck::~Wreck() {
    for (Fragment* fragment : fragments_) {
        if (clump && fragment->atomic)
            RpClumpRemoveAtomic(clump, fragment->atomic);
        if (fragment->frame && RwFrameGetParent(fragment->frame))
            RwFrameRemoveChild(fragment->frame);
        delete fragment;
    }
    fragments_.clear();
}

void Wreck::CreateFromModel(Clump* model, const RwV3d& velocity, int depth, float maxPieceSize,
                            float lifeFactor, float blast) {
    if (Clump::renderOrders.empty()) {
        DffRenderOrder order;
        order.key = RenderOrder;
        order.lods.push_back(DffLod{LevelThreshold, {}});
        Clump::renderOrders.push_back(order);
        Alg::Render::Object<Cameras::Basic>::renderOrders.push_back(RenderOrder);
    }
    if (!model || !model->clump || !model->frame)
        return;
    // The source geometries are only read: there is always at least one cut.
    depth = std::max(depth, 1);
    double origin[3];
    model->GetWorldPositionDouble(origin);
    const RwV3d blastCentre{float(origin[0]), float(origin[1]), float(origin[2])};

    std::vector<Piece> pieces;
    struct Visit {
        std::vector<Piece>* pieces;
        int depth;
        float maxPieceSize;
    } visit{&pieces, depth, maxPieceSize};
    RpClumpForAllAtomics(
        model->clump,
        [](RpAtomic* atomic, void* data) -> RpAtomic* {
            auto* v = static_cast<Visit*>(data);
            RpGeometry* geometry = RpAtomicGetGeometry(atomic);
            RwFrame* frame = RpAtomicGetFrame(atomic);
            if ((RpAtomicGetFlags(atomic) & rpATOMICRENDER) && geometry && frame)
                SplitGeometry(geometry, *RwFrameGetWorldMatrix(frame), v->depth, v->maxPieceSize, *v->pieces);
            return atomic;
        },
        &visit);

    DffLod& level = Clump::renderOrders.front().lods.front();
    for (Piece& piece : pieces) {
        auto* fragment = new Fragment(this);
        RpGeometry* geometry = piece.geometry;
        RpMorphTarget* target = RpGeometryGetMorphTarget(geometry, 0);
        RwV3d* vertices = RpMorphTargetGetVertices(target);
        const RwInt32 count = RpGeometryGetNumVertices(geometry);
        RwVector3TransformPoints(vertices, vertices, count, &piece.matrix);
        if (RwV3d* normals = RpMorphTargetGetVertexNormals(target))
            RwVector3TransformVectors(normals, normals, count, &piece.matrix);
        const RwV3d centre = BoxOf(vertices, count).Centre();
        for (RwInt32 i = 0; i < count; ++i)
            vertices[i] = {vertices[i].x - centre.x, vertices[i].y - centre.y, vertices[i].z - centre.z};
        RwMatrix place;
        RwMatrixSetIdentity(&place);
        place.pos = centre;
        RwMatrixUpdate(&place);
        fragment->Transform(&place, rwCOMBINEREPLACE);
        RpGeometryBuildMeshes(geometry);
        RwSphere bounds;
        RpMorphTargetCalculateBoundingSphere(target, &bounds);
        RpMorphTargetSetBoundingSphere(target, &bounds);

        // Set-up: render only, life, and a push away from the blast with a tumble.
        RpAtomicSetGeometry(fragment->atomic, geometry, 0);
        // The pieces keep their materials' effects (when the engine has them).
        if (RpAtomicGetPluginOffset(rwID_MATERIALEFFECTSPLUGIN) >= 0)
            RpMatFXAtomicEnableEffects(fragment->atomic);
        RpAtomicSetFlags(fragment->atomic, rpATOMICRENDER);
        fragment->size = 2 * bounds.radius;
        fragment->life = lifeFactor * LifeSeconds;
        const RwV3d away = Base::Normalize3d(
            RwV3d{centre.x - blastCentre.x, centre.y - blastCentre.y, centre.z - blastCentre.z});
        const float r1 = Signed(), r2 = Signed(), r3 = Signed();
        const RwV3d d =
            Base::Normalize3d(RwV3d{away.x + 0.25f * r1, away.y + 0.25f * r2, away.z + 0.25f * r3});
        const float size2 = fragment->size * fragment->size;
        const float m = std::clamp(size2, 8.0f, 100.0f);
        const float s = Base::Random::FloatInRange(0.5f, 1.0f);
        const float push = 300.0f * blast * s / m;
        fragment->velocity = {velocity.x + d.x * push, velocity.y + d.y * push, velocity.z + d.z * push};
        const float a1 = Signed(), a2 = Signed(), a3 = Signed();
        const RwV3d axis = Base::Normalize3d(RwV3d{a1, a2, a3});
        const float m2 = std::clamp(size2, 3.0f, 100.0f);
        const float rate = Base::Random::FloatInRange(1.0f, 2.0f) * 25.0f / m2;
        fragment->spin = {axis.x * rate, axis.y * rate, axis.z * rate};
        RpGeometryDestroy(geometry); // the atomic holds its own reference

        RwFrameAddChild(frame, fragment->frame);
        RpClumpAddAtomic(clump, fragment->atomic);
        DffCommand command;
        command.type = DffCommand::RenderAtomics;
        command.atomic = fragment->atomic;
        level.commands.push_back(command);
        fragments_.push_back(fragment);
    }
    sphereValid = false;
}

void Wreck::UpdateSphere() {
    RwSphere computed{{0, 0, 0}, 0};
    if (clump && Rw::CalculateClumpBoundingSphere(clump, &computed))
        sphere = computed;
    // The wreck's frame stays at the origin: its local sphere is the world one.
    localSphere = worldSphere = sphere;
    worldSphereValid = 1;
    sphereValid = true;
}

void Wreck::Run() {
    const float dt = Obj::Object::world && Obj::Object::world->time ? Obj::Object::world->time->step : 0.0f;
    bool visible = false;
    for (Fragment* fragment : fragments_)
        visible = fragment->Step(dt) || visible;
    UpdateSphere();
    if (Renderable::group)
        Renderable::group->Update(this);
    if (!visible) {
        if (Obj::Object::world)
            Obj::Object::world->RemoveObject(this);
        delete this;
    }
}

void Wreck::Render(unsigned order, Cameras::Basic*) {
    // The cut pieces are open shells: both faces show.
    RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLNONE)));
    Clump::Render(uint8_t(order));
    RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLBACK)));
}

const RwSphere* Wreck::GetBoundingSphere() {
    if (!sphereValid)
        UpdateSphere();
    return &sphere;
}

Rw::Frame* Wreck::Transform(const RwMatrix* matrix, int combine) {
    sphereValid = false;
    Rw::Frame* result = Clump::Transform(matrix, combine);
    if (Renderable::group)
        Renderable::group->Update(this);
    return result;
}

void Wreck::SetWorld(Grp::World* joined) {
    Grp::World* leaving = Obj::Object::world;
    Obj::Object::SetWorld(joined);
    SetRenderableWorld(*this, joined);
    SetRunnableWorld(*this, joined);
    if (joined) {
        if (clump && joined->world)
            RpWorldAddClump(joined->world, clump);
    } else {
        // Out of the engine world too, or it would keep a clump that is about to go.
        if (clump && leaving && leaving->world)
            RpWorldRemoveClump(leaving->world, clump);
    }
}

} // namespace Obj
