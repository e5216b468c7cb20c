// A black box model built in memory: the stand-in for an airplane where a test or a benchmark needs a caster
// of known size (the shadow's).
#pragma once

#include "rwsdk/world/rpworld.h"

namespace TestSupport {

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
    RwSphere sphere;
    RpMorphTargetCalculateBoundingSphere(t, &sphere);
    RpMorphTargetSetBoundingSphere(t, &sphere);
    RpGeometryUnlock(g);
    RpClump* clump = RpClumpCreate();
    RwFrame* f = RwFrameCreate();
    RpClumpSetFrame(clump, f);
    RpAtomic* atomic = RpAtomicCreate();
    RpAtomicSetFrame(atomic, f);
    RpAtomicSetGeometry(atomic, g, 0);
    RpGeometryDestroy(g);
    RpAtomicSetFlags(atomic, rpATOMICRENDER | rpATOMICCOLLISIONTEST);
    RpClumpAddAtomic(clump, atomic);
    return clump;
}

} // namespace TestSupport
