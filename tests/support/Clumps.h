// Clumps for tests and benchmarks: their atomics listed, a clump of one atomic built on a geometry, and a
// black box, the stand-in for an airplane where a caster of known size is needed (the shadow's).
#pragma once

#include "rwsdk/world/rpworld.h"

#include <vector>

namespace TestSupport {

// The clump's atomics, in the order the clump lists them.
inline std::vector<RpAtomic*> Atomics(RpClump* clump) {
    std::vector<RpAtomic*> atomics;
    RpClumpForAllAtomics(
        clump,
        [](RpAtomic* a, void* data) {
            static_cast<std::vector<RpAtomic*>*>(data)->push_back(a);
            return a;
        },
        &atomics);
    return atomics;
}

// An atomic of the geometry on the frame, added to the clump; the atomic takes over the caller's reference to
// the geometry.
inline RpAtomic* AddAtomic(RpClump* clump, RwFrame* frame, RpGeometry* geometry) {
    RpAtomic* atomic = RpAtomicCreate();
    RpAtomicSetFrame(atomic, frame);
    RpAtomicSetGeometry(atomic, geometry, 0);
    RpGeometryDestroy(geometry);
    RpClumpAddAtomic(clump, atomic);
    return atomic;
}

// The same on a new frame, a child of parent.
inline RpAtomic* AddAtomicUnder(RpClump* clump, RwFrame* parent, RpGeometry* geometry) {
    RwFrame* frame = RwFrameCreate();
    RwFrameAddChild(parent, frame);
    return AddAtomic(clump, frame, geometry);
}

// A clump whose own frame holds one atomic of the geometry: the geometry's bounding sphere is computed from
// its first morph target, it is unlocked, and the atomic takes its reference.
inline RpClump* SingleAtomicClump(RpGeometry* g) {
    RpMorphTarget* t = RpGeometryGetMorphTarget(g, 0);
    RwSphere sphere;
    RpMorphTargetCalculateBoundingSphere(t, &sphere);
    RpMorphTargetSetBoundingSphere(t, &sphere);
    RpGeometryUnlock(g);
    RpClump* clump = RpClumpCreate();
    RwFrame* f = RwFrameCreate();
    RpClumpSetFrame(clump, f);
    AddAtomic(clump, f, g);
    return clump;
}

// The clump's one atomic.
inline RpAtomic* OnlyAtomic(RpClump* clump) {
    RpAtomic* atomic = nullptr;
    RpClumpForAllAtomics(
        clump,
        [](RpAtomic* a, void* out) {
            *static_cast<RpAtomic**>(out) = a;
            return a;
        },
        &atomic);
    return atomic;
}

// A black box (unlit, prelit black) of half size h around its frame's origin.
inline RpClump* MakeBox(float h) {
    const RwV3d c[8] = {{-h, -h, -h}, {h, -h, -h}, {h, h, -h}, {-h, h, -h},
                        {-h, -h, h},  {h, -h, h},  {h, h, h},  {-h, h, h}};
    const int faces[12][3] = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                              {3, 6, 2}, {3, 7, 6}, {0, 4, 7}, {0, 7, 3}, {1, 2, 6}, {1, 6, 5}};
    RpGeometry* g =
        RpGeometryCreate(8, 12, rpGEOMETRYPOSITIONS | rpGEOMETRYPRELIT | rpGEOMETRYMODULATEMATERIALCOLOR);
    RpMorphTarget* t = RpGeometryGetMorphTarget(g, 0);
    for (int i = 0; i < 8; ++i) {
        t->verts[i] = c[i];
        g->preLitLum[i] = {0, 0, 0, 255};
    }
    RpMaterial* m = RpMaterialCreate();
    const RwRGBA black{0, 0, 0, 255};
    RpMaterialSetColor(m, &black);
    RpTriangle* tri = RpGeometryGetTriangles(g);
    for (int k = 0; k < 12; ++k) {
        RpGeometryTriangleSetVertexIndices(g, &tri[k], RwUInt16(faces[k][0]), RwUInt16(faces[k][1]),
                                           RwUInt16(faces[k][2]));
        RpGeometryTriangleSetMaterial(g, &tri[k], m);
    }
    RpMaterialDestroy(m);
    RpClump* clump = SingleAtomicClump(g);
    RpAtomicSetFlags(OnlyAtomic(clump), rpATOMICRENDER | rpATOMICCOLLISIONTEST);
    return clump;
}

} // namespace TestSupport
