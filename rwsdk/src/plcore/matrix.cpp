// Matrices module: products, inverses, rotations and classification of the engine's 4x3 matrices.
#include "rwsdk/src/plcore/matrix.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/freelist.h"

#include <bit>
#include <cmath>
#include <initializer_list>

namespace {

RwModuleInfo matrixModule;

constexpr RwUInt32 identityAndType = rwMATRIXINTERNALIDENTITY | rwMATRIXTYPEORTHONORMAL;
constexpr float degreesToRadians = 0.017453292f;
constexpr float radiansToDegrees = 57.29578f;

RwMatrixModuleData* MatrixData() {
    return RWMODULEDATA(RwMatrixModuleData, matrixModule);
}

bool IsIdentity(const RwMatrix* m) {
    return (m->flags & MatrixData()->identityMask) != 0;
}

float Dot(const RwV3d& a, const RwV3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

RwV3d Cross(const RwV3d& a, const RwV3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

RwV3d Scaled(const RwV3d& v, float s) {
    return {v.x * s, v.y * s, v.z * s};
}

// Unit vector by the table reciprocal root; a zero vector stays zero and reports nothing.
RwV3d TableNormal(const RwV3d& v) {
    return Scaled(v, RwInverseSquareRoot(Dot(v, v)));
}

bool ValidCombine(RwOpCombineType combine) {
    if (combine == rwCOMBINEREPLACE || combine == rwCOMBINEPRECONCAT || combine == rwCOMBINEPOSTCONCAT)
        return true;
    RwErrorSetCode(E_RW_BADPARAM);
    return false;
}

// Replaces the 3x3 part and position of out, keeping its flags.
void SetElements(RwMatrix* out, const RwV3d& right, const RwV3d& up, const RwV3d& at, const RwV3d& pos) {
    out->right = right;
    out->up = up;
    out->at = at;
    out->pos = pos;
}

} // namespace

RwInt32 _rwMatrixModuleAttach() {
    return RwEngineRegisterPlugin(sizeof(RwMatrixModuleData), rwID_MATRIXMODULE, RwMatrixModuleOpen,
                                  RwMatrixModuleClose);
}

void* RwMatrixModuleOpen(void* instance, RwInt32 offset, RwInt32 /*size*/) {
    matrixModule.globalsOffset = offset;
    auto* data = reinterpret_cast<RwMatrixModuleData*>(static_cast<RwUInt8*>(instance) + offset);
    data->freeList = RwFreeListCreate(sizeof(RwMatrix), 256, 16, 0x4000D);
    if (!data->freeList)
        return nullptr;
    data->identityMask = rwMATRIXINTERNALIDENTITY;
    data->multiply = RwMatrixDefaultMultiply;
    data->tolerance = {0.01f, 0.01f, 0.01f};
    ++matrixModule.numInstances;
    return instance;
}

void* RwMatrixModuleClose(void* instance, RwInt32 offset, RwInt32 /*size*/) {
    auto* data = reinterpret_cast<RwMatrixModuleData*>(static_cast<RwUInt8*>(instance) + offset);
    if (data->freeList)
        RwFreeListDestroy(data->freeList);
    data->freeList = nullptr;
    --matrixModule.numInstances;
    return instance;
}

RwMatrix* RwMatrixCreate() {
    auto* matrix = static_cast<RwMatrix*>(RwFreeListEntryAlloc(MatrixData()->freeList, 0x3000D));
    if (!matrix)
        return nullptr;
    RwMatrixSetIdentity(matrix);
    return matrix;
}

RwBool RwMatrixDestroy(RwMatrix* matrix) {
    RwFreeListEntryFree(MatrixData()->freeList, matrix);
    return 1;
}

void RwMatrixSetIdentity(RwMatrix* matrix) {
    *matrix = RwMatrix{};
    matrix->right.x = matrix->up.y = matrix->at.z = 1.0f;
    matrix->flags = identityAndType;
}

void RwMatrixUpdate(RwMatrix* matrix) {
    matrix->flags &= ~identityAndType;
}

void RwMatrixCopy(RwMatrix* out, const RwMatrix* in) {
    *out = *in;
}

float RwMatrixIdentityError(const RwMatrix* m) {
    const float e[12] = {m->right.x - 1.0f, m->right.y, m->right.z,     m->up.x,  m->up.y - 1.0f, m->up.z,
                         m->at.x,           m->at.y,    m->at.z - 1.0f, m->pos.x, m->pos.y,       m->pos.z};
    float sum = 0.0f;
    for (float v : e)
        sum += v * v;
    return sum;
}

RwMatrix* RwMatrixOptimize(RwMatrix* matrix, const RwMatrixTolerance* tolerance) {
    const RwMatrixTolerance& t = tolerance ? *tolerance : MatrixData()->tolerance;
    RwUInt32 flags = matrix->flags & ~identityAndType;
    const bool normal = RwMatrixNormalError(matrix) <= t.normal;
    const bool orthogonal = RwMatrixOrthogonalError(matrix) <= t.orthogonal;
    if (normal)
        flags |= rwMATRIXTYPENORMAL;
    if (orthogonal)
        flags |= rwMATRIXTYPEORTHOGONAL;
    if (normal && orthogonal && RwMatrixIdentityError(matrix) <= t.identity)
        flags |= rwMATRIXINTERNALIDENTITY;
    matrix->flags = flags;
    return matrix;
}

RwBool RwMatrixSetTolerances(const RwMatrixTolerance* tolerance) {
    MatrixData()->tolerance = *tolerance;
    return 1;
}

void RwMatrixDefaultMultiply(RwMatrix* out, const RwMatrix* a, const RwMatrix* b) {
    auto row = [b](const RwV3d& v) {
        return RwV3d{v.x * b->right.x + v.y * b->up.x + v.z * b->at.x,
                     v.x * b->right.y + v.y * b->up.y + v.z * b->at.y,
                     v.x * b->right.z + v.y * b->up.z + v.z * b->at.z};
    };
    RwV3d pos = row(a->pos);
    pos.x += b->pos.x;
    pos.y += b->pos.y;
    pos.z += b->pos.z;
    SetElements(out, row(a->right), row(a->up), row(a->at), pos);
    out->flags = a->flags & b->flags;
}

RwMatrix* RwMatrixMultiply(RwMatrix* out, const RwMatrix* a, const RwMatrix* b) {
    if (IsIdentity(a)) {
        *out = *b;
    } else if (IsIdentity(b)) {
        *out = *a;
    } else if (out == a || out == b) {
        // The routines write rows while they still read them.
        RwMatrix product;
        MatrixData()->multiply(&product, a, b);
        *out = product;
    } else {
        MatrixData()->multiply(out, a, b);
    }
    return out;
}

RwBool RwMatrixSetMultiplyRoutine(RwMatrixMultiplyFn routine) {
    MatrixData()->multiply = routine ? routine : RwMatrixDefaultMultiply;
    return 1;
}

RwMatrix* RwMatrixOrthonormalize(RwMatrix* out, const RwMatrix* in) {
    RwV3d right = TableNormal(in->right);
    RwV3d up = TableNormal(in->up);
    RwV3d at = TableNormal(in->at);
    const bool rightZero = Dot(in->right, in->right) == 0.0f;
    const bool upZero = Dot(in->up, in->up) == 0.0f;
    const bool atZero = Dot(in->at, in->at) == 0.0f;

    enum { KeepUp, KeepAt, KeepRight } keep;
    if (rightZero) {
        keep = KeepUp;
    } else if (upZero) {
        keep = KeepAt;
    } else if (atZero) {
        keep = KeepRight;
    } else {
        const float d1 = std::fabs(Dot(at, up));
        const float d2 = std::fabs(Dot(at, right));
        const float d3 = std::fabs(Dot(up, right));
        if (d1 < d2 && d1 < d3)
            keep = KeepUp;
        else if (d2 <= d1 && d2 < d3)
            keep = KeepAt;
        else
            keep = KeepRight;
    }
    switch (keep) {
    case KeepUp:
        right = TableNormal(Cross(up, at));
        at = TableNormal(Cross(right, up));
        break;
    case KeepAt:
        up = TableNormal(Cross(at, right));
        right = TableNormal(Cross(up, at));
        break;
    case KeepRight:
        at = TableNormal(Cross(right, up));
        up = TableNormal(Cross(at, right));
        break;
    }
    const RwUInt32 flags = (in->flags & ~rwMATRIXINTERNALIDENTITY) | rwMATRIXTYPEORTHONORMAL;
    SetElements(out, right, up, at, in->pos);
    out->flags = flags;
    return out;
}

RwMatrix* RwMatrixRotateByCosineSine(RwMatrix* matrix, const RwV3d* unitAxis, float k, float s,
                                     RwOpCombineType combine) {
    if (!ValidCombine(combine))
        return nullptr;
    const float x = unitAxis->x, y = unitAxis->y, z = unitAxis->z;
    RwMatrix rotation;
    SetElements(&rotation, {1.0f - (1.0f - x * x) * k, x * y * k + z * s, z * x * k - y * s},
                {x * y * k - z * s, 1.0f - (1.0f - y * y) * k, y * z * k + x * s},
                {z * x * k + y * s, y * z * k - x * s, 1.0f - (1.0f - z * z) * k}, {0.0f, 0.0f, 0.0f});
    rotation.pad1 = rotation.pad2 = rotation.pad3 = 0;
    const RwUInt32 kept = matrix->flags & ~identityAndType;
    rotation.flags = rwMATRIXTYPEORTHONORMAL;
    if (combine == rwCOMBINEREPLACE || IsIdentity(matrix)) {
        SetElements(matrix, rotation.right, rotation.up, rotation.at, rotation.pos);
        matrix->flags = kept | rwMATRIXTYPEORTHONORMAL;
        return matrix;
    }
    const RwUInt32 type = matrix->flags & rwMATRIXTYPEMASK;
    RwMatrix product;
    if (combine == rwCOMBINEPRECONCAT)
        MatrixData()->multiply(&product, &rotation, matrix);
    else
        MatrixData()->multiply(&product, matrix, &rotation);
    SetElements(matrix, product.right, product.up, product.at, product.pos);
    matrix->flags = kept | type;
    return matrix;
}

RwMatrix* RwMatrixRotate(RwMatrix* matrix, const RwV3d* axis, float angle, RwOpCombineType combine) {
    if (!ValidCombine(combine))
        return nullptr;
    RwV3d unit;
    RwVector3Normalize(&unit, axis);
    const float radians = angle * degreesToRadians;
    return RwMatrixRotateByCosineSine(matrix, &unit, 1.0f - std::cos(radians), std::sin(radians), combine);
}

RwMatrix* RwMatrixScale(RwMatrix* matrix, const RwV3d* scale, RwOpCombineType combine) {
    if (!ValidCombine(combine))
        return nullptr;
    const RwV3d s = *scale;
    switch (combine) {
    case rwCOMBINEREPLACE:
        SetElements(matrix, {s.x, 0.0f, 0.0f}, {0.0f, s.y, 0.0f}, {0.0f, 0.0f, s.z}, {0.0f, 0.0f, 0.0f});
        break;
    case rwCOMBINEPRECONCAT:
        matrix->right = Scaled(matrix->right, s.x);
        matrix->up = Scaled(matrix->up, s.y);
        matrix->at = Scaled(matrix->at, s.z);
        break;
    case rwCOMBINEPOSTCONCAT:
        for (RwV3d* row : {&matrix->right, &matrix->up, &matrix->at, &matrix->pos}) {
            row->x *= s.x;
            row->y *= s.y;
            row->z *= s.z;
        }
        break;
    }
    matrix->flags &= ~identityAndType;
    return matrix;
}

RwMatrix* RwMatrixTranslate(RwMatrix* matrix, const RwV3d* translation, RwOpCombineType combine) {
    if (!ValidCombine(combine))
        return nullptr;
    const RwV3d t = *translation;
    switch (combine) {
    case rwCOMBINEREPLACE:
        SetElements(matrix, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, t);
        matrix->flags = (matrix->flags | rwMATRIXTYPEORTHONORMAL) & ~rwMATRIXINTERNALIDENTITY;
        return matrix;
    case rwCOMBINEPRECONCAT:
        matrix->pos.x += t.x * matrix->right.x + t.y * matrix->up.x + t.z * matrix->at.x;
        matrix->pos.y += t.x * matrix->right.y + t.y * matrix->up.y + t.z * matrix->at.y;
        matrix->pos.z += t.x * matrix->right.z + t.y * matrix->up.z + t.z * matrix->at.z;
        break;
    case rwCOMBINEPOSTCONCAT:
        matrix->pos.x += t.x;
        matrix->pos.y += t.y;
        matrix->pos.z += t.z;
        break;
    }
    matrix->flags &= ~rwMATRIXINTERNALIDENTITY;
    return matrix;
}

RwMatrix* RwMatrixTransform(RwMatrix* matrix, const RwMatrix* transform, RwOpCombineType combine) {
    if (!ValidCombine(combine))
        return nullptr;
    if (combine == rwCOMBINEREPLACE)
        *matrix = *transform;
    else if (combine == rwCOMBINEPRECONCAT)
        RwMatrixMultiply(matrix, transform, matrix);
    else
        RwMatrixMultiply(matrix, matrix, transform);
    return matrix;
}

RwMatrix* RwMatrixInvertGeneral(RwMatrix* out, const RwMatrix* in) {
    const RwV3d r = in->right, u = in->up, a = in->at, p = in->pos;
    float det = RwMatrixDeterminant(in);
    if (std::bit_cast<RwUInt32>(det) == 0)
        det = 1.0f; // a singular matrix is taken as it stands
    const float inv = 1.0f / det;
    // Rows of the inverse are the cofactor columns over the determinant.
    const RwV3d ir{(u.y * a.z - u.z * a.y) * inv, (r.z * a.y - r.y * a.z) * inv,
                   (r.y * u.z - r.z * u.y) * inv};
    const RwV3d iu{(u.z * a.x - u.x * a.z) * inv, (r.x * a.z - r.z * a.x) * inv,
                   (r.z * u.x - r.x * u.z) * inv};
    const RwV3d ia{(u.x * a.y - u.y * a.x) * inv, (r.y * a.x - r.x * a.y) * inv,
                   (r.x * u.y - r.y * u.x) * inv};
    const RwV3d ip{-(p.x * ir.x + p.y * iu.x + p.z * ia.x), -(p.x * ir.y + p.y * iu.y + p.z * ia.y),
                   -(p.x * ir.z + p.y * iu.z + p.z * ia.z)};
    const RwUInt32 flags = in->flags & ~identityAndType;
    SetElements(out, ir, iu, ia, ip);
    out->flags = flags;
    return out;
}

RwMatrix* RwMatrixInvert(RwMatrix* out, const RwMatrix* in) {
    if (IsIdentity(in)) {
        *out = *in;
        return out;
    }
    if ((in->flags & rwMATRIXTYPEORTHONORMAL) != rwMATRIXTYPEORTHONORMAL)
        return RwMatrixInvertGeneral(out, in);
    const RwV3d r = in->right, u = in->up, a = in->at, p = in->pos;
    const RwUInt32 flags = (in->flags & ~identityAndType) | rwMATRIXTYPEORTHONORMAL;
    SetElements(out, {r.x, u.x, a.x}, {r.y, u.y, a.y}, {r.z, u.z, a.z}, {-Dot(p, r), -Dot(p, u), -Dot(p, a)});
    out->flags = flags;
    return out;
}

RwMatrix* RwMatrixQueryRotation(const RwMatrix* matrix, RwV3d* unitAxis, float* angle, RwV3d* centre) {
    const RwV3d& r = matrix->right;
    const RwV3d& u = matrix->up;
    const RwV3d& a = matrix->at;
    const RwV3d v{u.z - a.y, a.x - r.z, r.y - u.x};
    const float length = RwSquareRoot(Dot(v, v));
    const float cosineTerm = r.x + u.y + a.z - 1.0f;
    *unitAxis = length > 0.0f ? Scaled(v, 1.0f / length) : RwV3d{0.0f, 0.0f, 0.0f};
    *angle = std::atan2(length, cosineTerm) * radiansToDegrees;
    if (length <= 0.01f && cosineTerm <= 0.0f) {
        // A half turn: the symmetric part gives the axis.
        RwV3d axis;
        if (r.x >= u.y && r.x >= a.z)
            axis = {2.0f * (r.x + 1.0f), r.y + u.x, r.z + a.x};
        else if (u.y >= a.z)
            axis = {r.y + u.x, 2.0f * (u.y + 1.0f), u.z + a.y};
        else
            axis = {r.z + a.x, u.z + a.y, 2.0f * (a.z + 1.0f)};
        RwVector3Normalize(unitAxis, &axis);
    }
    RwMatrix fixedPart;
    SetElements(&fixedPart, {1.0f - r.x, -r.y, -r.z}, {-u.x, 1.0f - u.y, -u.z}, {-a.x, -a.y, 1.0f - a.z},
                {0.0f, 0.0f, 0.0f});
    fixedPart.flags = 0;
    RwMatrix inverse;
    RwMatrixInvertGeneral(&inverse, &fixedPart);
    RwVector3DefaultTransformVector(centre, &matrix->pos, &inverse);
    return const_cast<RwMatrix*>(matrix);
}
