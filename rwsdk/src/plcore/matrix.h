// The engine's affine 4x3 matrix with its classification flags, and the matrix operations.
#pragma once

#include "rwsdk/src/plcore/vector.h"

#include "rwsdk/src/plcore/types.h"

enum RwMatrixType : RwUInt32 {
    rwMATRIXTYPENORMAL = 0x00000001,
    rwMATRIXTYPEORTHOGONAL = 0x00000002,
    rwMATRIXTYPEORTHONORMAL = 0x00000003,
    rwMATRIXTYPEMASK = 0x00000003,
    rwMATRIXINTERNALIDENTITY = 0x00020000,
};

enum RwOpCombineType : RwInt32 {
    rwCOMBINEREPLACE = 0,
    rwCOMBINEPRECONCAT = 1,  // the new transform applies first: new x matrix
    rwCOMBINEPOSTCONCAT = 2, // the new transform applies last: matrix x new
};

// Rows right, up, at, position; points are row vectors (p' = p.x right + p.y up + p.z at + pos).
// Each row fills 16 bytes so that the vector routines can load rows whole.
struct RwMatrix {
    RwV3d right;
    RwUInt32 flags;
    RwV3d up;
    RwUInt32 pad1;
    RwV3d at;
    RwUInt32 pad2;
    RwV3d pos;
    RwUInt32 pad3;
};
static_assert(sizeof(RwMatrix) == 64);

struct RwMatrixTolerance {
    RwReal normal;
    RwReal orthogonal;
    RwReal identity;
};

using RwMatrixMultiplyFn = void (*)(RwMatrix* out, const RwMatrix* a, const RwMatrix* b);

struct RwFreeList;

// The matrices module's block in the engine instance.
struct RwMatrixModuleData {
    RwFreeList* freeList;
    RwUInt32 identityMask;
    RwMatrixMultiplyFn multiply;
    RwMatrixTolerance tolerance;
};

// Registers the module with the engine (plugin id 0x402); the offset, or -1.
RwInt32 _rwMatrixModuleAttach();
void* RwMatrixModuleOpen(void* instance, RwInt32 offset, RwInt32 size);
void* RwMatrixModuleClose(void* instance, RwInt32 offset, RwInt32 size);

RwMatrix* RwMatrixCreate();
RwBool RwMatrixDestroy(RwMatrix* matrix);
void RwMatrixSetIdentity(RwMatrix* matrix);
void RwMatrixUpdate(RwMatrix* matrix);
void RwMatrixCopy(RwMatrix* out, const RwMatrix* in);

RwMatrix* RwMatrixOptimize(RwMatrix* matrix, const RwMatrixTolerance* tolerance);
RwBool RwMatrixSetTolerances(const RwMatrixTolerance* tolerance);

RwMatrix* RwMatrixMultiply(RwMatrix* out, const RwMatrix* a, const RwMatrix* b);
RwBool RwMatrixSetMultiplyRoutine(RwMatrixMultiplyFn routine);
void RwMatrixDefaultMultiply(RwMatrix* out, const RwMatrix* a, const RwMatrix* b);

RwMatrix* RwMatrixOrthonormalize(RwMatrix* out, const RwMatrix* in);

RwMatrix* RwMatrixRotate(RwMatrix* matrix, const RwV3d* axis, RwReal angle, RwOpCombineType combine);
RwMatrix* RwMatrixRotateByCosineSine(RwMatrix* matrix, const RwV3d* unitAxis, RwReal oneMinusCosine,
                                     RwReal sine, RwOpCombineType combine);
RwMatrix* RwMatrixScale(RwMatrix* matrix, const RwV3d* scale, RwOpCombineType combine);
RwMatrix* RwMatrixTranslate(RwMatrix* matrix, const RwV3d* translation, RwOpCombineType combine);
RwMatrix* RwMatrixTransform(RwMatrix* matrix, const RwMatrix* transform, RwOpCombineType combine);

RwMatrix* RwMatrixInvert(RwMatrix* out, const RwMatrix* in);
RwMatrix* RwMatrixInvertGeneral(RwMatrix* out, const RwMatrix* in);

RwMatrix* RwMatrixQueryRotation(const RwMatrix* matrix, RwV3d* unitAxis, RwReal* angle, RwV3d* centre);

inline RwReal _rwMatrixRowDot(const RwV3d& a, const RwV3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
// Inline, so that a reader classifying many matrices computes the measures side by side.
inline RwReal RwMatrixDeterminant(const RwMatrix* m) {
    return m->right.x * (m->up.y * m->at.z - m->up.z * m->at.y) -
           m->right.y * (m->up.x * m->at.z - m->up.z * m->at.x) +
           m->right.z * (m->up.x * m->at.y - m->up.y * m->at.x);
}

// The measures that classification compares with the tolerances.
inline RwReal RwMatrixNormalError(const RwMatrix* m) {
    const RwReal r = _rwMatrixRowDot(m->right, m->right) - 1.0f;
    const RwReal u = _rwMatrixRowDot(m->up, m->up) - 1.0f;
    const RwReal a = _rwMatrixRowDot(m->at, m->at) - 1.0f;
    return r * r + u * u + a * a;
}
inline RwReal RwMatrixOrthogonalError(const RwMatrix* m) {
    const RwReal ru = _rwMatrixRowDot(m->right, m->up);
    const RwReal ra = _rwMatrixRowDot(m->right, m->at);
    const RwReal ua = _rwMatrixRowDot(m->up, m->at);
    return ru * ru + ra * ra + ua * ua;
}
RwReal RwMatrixIdentityError(const RwMatrix* matrix);

inline RwV3d* RwMatrixGetRight(RwMatrix* matrix) {
    return &matrix->right;
}
inline RwV3d* RwMatrixGetUp(RwMatrix* matrix) {
    return &matrix->up;
}
inline RwV3d* RwMatrixGetAt(RwMatrix* matrix) {
    return &matrix->at;
}
inline RwV3d* RwMatrixGetPos(RwMatrix* matrix) {
    return &matrix->pos;
}
