#include "tools/models/ModelWriter.h"

#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/plugin/matfx/rpmatfx.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/tool/anim/rtanim.h"
#include "rwsdk/world/rpworld.h"

#include <algorithm>

namespace Tools {
namespace {

RwV3d V3d(glm::vec3 v) {
    return {v.x, v.y, v.z};
}

// Blend factors of the second pass: the frame's colour times the texture's (the Direct3D 9 values).
constexpr RwUInt32 BlendZero = 1, BlendDestColour = 9;

// Only the name, filtering and addressing go into the stream; the game loads the pixels by name.
RwTexture* NamedTexture(const std::string& name) {
    RwTexture* texture = RwTextureCreate(nullptr);
    if (!texture)
        return nullptr;
    RwTextureSetName(texture, name.c_str());
    RwTextureSetFilterMode(texture, rwFILTERLINEARMIPLINEAR);
    RwTextureSetAddressing(texture, rwTEXTUREADDRESSWRAP);
    return texture;
}

bool AddEffect(RpMaterial* material, const ModelEffect& e) {
    if (e.kind == ModelEffect::Kind::None)
        return true;
    RwTexture* texture = NamedTexture(e.texture);
    if (!texture)
        return false;
    bool ok;
    if (e.kind == ModelEffect::Kind::Reflection)
        ok = RpMatFXMaterialSetEffects(material, rpMATFXEFFECTENVMAP) &&
             RpMatFXMaterialSetEnvMapTexture(material, texture) &&
             RpMatFXMaterialSetEnvMapCoefficient(material, e.coefficient);
    else
        ok = RpMatFXMaterialSetEffects(material, rpMATFXEFFECTDUAL) &&
             RpMatFXMaterialSetDualTexture(material, texture) &&
             RpMatFXMaterialSetDualBlendModes(material, BlendDestColour, BlendZero);
    RwTextureDestroy(texture);
    return ok;
}

RpMaterial* BuildMaterial(const ModelMaterial& m) {
    RpMaterial* material = RpMaterialCreate();
    if (!material)
        return nullptr;
    const RwRGBA colour = {m.colour[0], m.colour[1], m.colour[2], m.colour[3]};
    RpMaterialSetColor(material, &colour);
    const RwSurfaceProperties surface = {m.ambient, m.specular, m.diffuse};
    RpMaterialSetSurfaceProperties(material, &surface);
    if (!m.texture.empty()) {
        RwTexture* texture = NamedTexture(m.texture);
        if (!texture) {
            RpMaterialDestroy(material);
            return nullptr;
        }
        RpMaterialSetTexture(material, texture);
        RwTextureDestroy(texture);
    }
    if (!AddEffect(material, m.effect)) {
        RpMaterialDestroy(material);
        return nullptr;
    }
    return material;
}

bool HasEffects(const ModelGeometry& g) {
    for (const ModelMaterial& m : g.materials)
        if (m.effect.kind != ModelEffect::Kind::None)
            return true;
    return false;
}

RpLight* BuildLight(const ModelLight& l, RwFrame* frame) {
    RpLight* light = RpLightCreate(l.spot ? rpLIGHTSPOTSOFT : rpLIGHTPOINT);
    if (!light)
        return nullptr;
    const RwRGBAReal colour = {l.colour.r, l.colour.g, l.colour.b, 1.0f};
    RpLightSetColor(light, &colour);
    RpLightSetRadius(light, l.radius);
    if (l.spot)
        RpLightSetConeAngle(light, l.coneDegrees * 3.14159265f / 180.0f);
    RpLightSetFrame(light, frame);
    return light;
}

RpGeometry* BuildGeometry(const ModelGeometry& g) {
    const RwUInt32 flags = rpGEOMETRYTEXTURED | rpGEOMETRYNORMALS | rpGEOMETRYLIGHT |
                           rpGEOMETRYMODULATEMATERIALCOLOR | (g.strips ? rpGEOMETRYTRISTRIP : 0u);
    RpGeometry* geometry = RpGeometryCreate(RwInt32(g.positions.size()), RwInt32(g.triangles.size()), flags);
    if (!geometry)
        return nullptr;
    RpMorphTarget* target = RpGeometryGetMorphTarget(geometry, 0);
    RwV3d* positions = RpMorphTargetGetVertices(target);
    RwV3d* normals = RpMorphTargetGetVertexNormals(target);
    RwTexCoords* uvs = RpGeometryGetVertexTexCoords(geometry, 1);
    for (size_t i = 0; i < g.positions.size(); i++) {
        positions[i] = V3d(g.positions[i]);
        normals[i] = V3d(g.normals[i]);
        uvs[i] = {g.uvs[i].x, g.uvs[i].y};
    }
    std::vector<RpMaterial*> materials;
    bool ok = true;
    for (const ModelMaterial& m : g.materials) {
        materials.push_back(BuildMaterial(m));
        ok = ok && materials.back();
    }
    RpTriangle* triangles = RpGeometryGetTriangles(geometry);
    for (size_t i = 0; ok && i < g.triangles.size(); i++) {
        const ModelTriangle& t = g.triangles[i];
        RpGeometryTriangleSetVertexIndices(geometry, &triangles[i], t.vertices[0], t.vertices[1],
                                           t.vertices[2]);
        ok = RpGeometryTriangleSetMaterial(geometry, &triangles[i], materials[t.material]) != nullptr;
    }
    // The geometry holds its own references now.
    for (RpMaterial* m : materials) {
        if (m)
            RpMaterialDestroy(m);
    }
    for (const auto& [name, text] : g.userData) {
        const RwInt32 index = RpUserDataGeometryAddArray(geometry, name.c_str(), rpSTRINGUSERDATA, 1);
        ok = ok && index >= 0 &&
             RpUserDataArraySetString(RpUserDataGeometryGetArray(geometry, index), 0, text.c_str());
    }
    RwSphere sphere;
    RpMorphTargetCalculateBoundingSphere(target, &sphere);
    RpMorphTargetSetBoundingSphere(target, &sphere);
    if (!ok || !RpGeometryUnlock(geometry)) {
        RpGeometryDestroy(geometry);
        return nullptr;
    }
    return geometry;
}

RwFrame* BuildFrame(const ModelFrame& f) {
    RwFrame* frame = RwFrameCreate();
    if (!frame)
        return nullptr;
    RwMatrix* m = RwFrameGetMatrix(frame);
    m->right = V3d(f.right);
    m->up = V3d(f.up);
    m->at = V3d(f.at);
    m->pos = V3d(f.position);
    RwMatrixUpdate(m);
    const RwInt32 index = RpUserDataFrameAddArray(frame, FrameNameArray, rpSTRINGUSERDATA, 1);
    if (index < 0 || !RpUserDataArraySetString(RpUserDataFrameGetArray(frame, index), 0, f.name.c_str())) {
        RwFrameDestroy(frame);
        return nullptr;
    }
    return frame;
}

// The hierarchy over every frame: a node pushes when a sibling follows it and pops when it has no children.
bool AddHierarchy(const Model& model, const std::vector<RwFrame*>& frames) {
    const std::vector<int> order = HierarchyOrder(model);
    std::vector<RwUInt32> flags;
    std::vector<RwInt32> ids;
    for (int f : order) {
        bool hasChild = false, hasNextSibling = false;
        for (size_t k = 0; k < model.frames.size(); ++k) {
            hasChild = hasChild || model.frames[k].parent == f;
            hasNextSibling = hasNextSibling || (model.frames[k].parent == model.frames[size_t(f)].parent &&
                                                int(k) > f && model.frames[size_t(f)].parent >= 0);
        }
        flags.push_back((hasNextSibling ? rpHANIMPUSHPARENTMATRIX : 0u) |
                        (hasChild ? 0u : rpHANIMPOPPARENTMATRIX));
        ids.push_back(NodeId(f));
        RpHAnimFrameSetId(frames[size_t(f)], NodeId(f));
    }
    RpHAnimHierarchy* hierarchy = RpHAnimHierarchyCreate(RwInt32(order.size()), flags.data(), ids.data(), 0,
                                                         rpHANIMSTDKEYFRAMESTREAMSIZE);
    return hierarchy && RpHAnimFrameSetHierarchy(frames[0], hierarchy);
}

} // namespace

std::vector<int> HierarchyOrder(const Model& model) {
    std::vector<int> order;
    std::vector<int> pending = {0};
    while (!pending.empty()) {
        const int f = pending.back();
        pending.pop_back();
        order.push_back(f);
        for (size_t k = model.frames.size(); k-- > 0;)
            if (model.frames[k].parent == f)
                pending.push_back(int(k));
    }
    return order;
}

RpClump* BuildClump(const Model& model) {
    RpClump* clump = RpClumpCreate();
    if (!clump || model.frames.empty())
        return clump ? (RpClumpDestroy(clump), nullptr) : nullptr;
    std::vector<RwFrame*> frames;
    for (const ModelFrame& f : model.frames) {
        frames.push_back(BuildFrame(f));
        if (!frames.back()) {
            // Frames built so far are not linked yet: each goes on its own.
            frames.pop_back();
            for (RwFrame* built : frames)
                RwFrameDestroy(built);
            RpClumpDestroy(clump);
            return nullptr;
        }
    }
    // Children go to the head of their parent's list: add them last first so that siblings keep the model's
    // order.
    for (size_t i = frames.size(); i-- > 1;)
        RwFrameAddChild(frames[size_t(model.frames[i].parent)], frames[i]);
    RpClumpSetFrame(clump, frames[0]);
    bool ok = !model.animated || AddHierarchy(model, frames);

    std::vector<RpGeometry*> geometries;
    for (const ModelGeometry& g : model.geometries) {
        geometries.push_back(BuildGeometry(g));
        ok = ok && geometries.back() &&
             (!model.collisionTrees || RpCollisionGeometryBuildData(geometries.back()));
    }
    // Atomics go to the head of the clump's list too.
    for (size_t i = model.atomics.size(); ok && i-- > 0;) {
        const ModelAtomic& a = model.atomics[i];
        RpAtomic* atomic = RpAtomicCreate();
        if (!atomic) {
            ok = false;
            break;
        }
        RpAtomicSetFrame(atomic, frames[size_t(a.frame)]);
        RpAtomicSetGeometry(atomic, geometries[size_t(a.geometry)], 0);
        RpAtomicSetFlags(atomic, a.flags);
        // Effects are drawn only by atomics switched to them.
        if (HasEffects(model.geometries[size_t(a.geometry)]))
            ok = RpMatFXAtomicEnableEffects(atomic) != nullptr;
        RpClumpAddAtomic(clump, atomic);
    }
    // Lights go to the head of the clump's list as atomics do.
    for (size_t i = model.lights.size(); ok && i-- > 0;) {
        RpLight* light = BuildLight(model.lights[i], frames[size_t(model.lights[i].frame)]);
        ok = light != nullptr;
        if (light)
            RpClumpAddLight(clump, light);
    }
    for (RpGeometry* g : geometries) {
        if (g)
            RpGeometryDestroy(g);
    }
    if (!ok) {
        RpClumpDestroy(clump);
        return nullptr;
    }
    return clump;
}

std::vector<uint8_t> ClumpBytes(const Model& model) {
    RpClump* clump = BuildClump(model);
    if (!clump)
        return {};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    const bool written = stream && RpClumpStreamWrite(clump, stream);
    RwMemory memory = {nullptr, 0};
    if (stream)
        RwStreamClose(stream, &memory);
    std::vector<uint8_t> bytes;
    if (written)
        bytes.assign(memory.start, memory.start + memory.length);
    RwFree(memory.start);
    RpClumpDestroy(clump);
    return bytes;
}

bool StartModelEngine() {
    if (!RwEngineInit(nullptr, 0, 0))
        return false;
    if (!RpWorldPluginAttach() || !RpUserDataPluginAttach() || !RpCollisionPluginAttach() ||
        !RpHAnimPluginAttach() || !RpMatFXPluginAttach() || !RtAnimToolkitAttach()) {
        RwEngineTerm();
        return false;
    }
    RwEngineOpenParams params = {nullptr};
    if (!RwEngineOpen(&params)) {
        RwEngineTerm();
        return false;
    }
    if (!RwEngineStart()) {
        RwEngineClose();
        RwEngineTerm();
        return false;
    }
    return true;
}

void StopModelEngine() {
    RwEngineStop();
    RwEngineClose();
    RwEngineTerm();
}

} // namespace Tools
