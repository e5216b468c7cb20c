// Vectors module: table square roots, normalisation, bounding boxes and the transform routine slots.
#include "rwsdk/src/plcore/vector.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/plcore/memory.h"

#include <bit>
#include <cmath>

namespace {

RwModuleInfo vectorModule;

RwVectorModuleData* VectorData() {
    return RWMODULEDATA(RwVectorModuleData, vectorModule);
}

constexpr RwUInt32 tableHint = 0x40401;

} // namespace

void RwVectorBuildTables(RwUInt32* sqrtTable, RwUInt32* invSqrtTable) {
    // x steps through [1, 4) at every 4096th bit pattern; the even half of the exponent range lands in
    // entries 2048.. and the odd half in entries 0.., which the lookup picks by the lowest exponent bit.
    for (int j = 0; j < rwSQRTTABLESIZE; ++j) {
        const double x = std::bit_cast<float>(0x3F800000u + 0x1000u * static_cast<RwUInt32>(j));
        const RwUInt32 root = std::bit_cast<RwUInt32>(static_cast<float>(std::sqrt(x)));
        const RwUInt32 inverse = std::bit_cast<RwUInt32>(static_cast<float>(1.0 / std::sqrt(x)));
        if (j < 2048) {
            sqrtTable[2048 + j] = root - 0x1FC00000u;
            invSqrtTable[2048 + j] = inverse - 0x20000000u;
        } else {
            sqrtTable[j - 2048] = root - 0x20000000u;
            invSqrtTable[j - 2048] = inverse - 0x1FC00000u;
        }
    }
}

float RwVectorTableSquareRoot(const RwUInt32* sqrtTable, float value) {
    const RwUInt32 bits = std::bit_cast<RwUInt32>(value);
    if (bits == 0)
        return 0.0f;
    const RwUInt32 c = bits + 2048u; // nearest table step
    return std::bit_cast<float>(sqrtTable[(c >> 12) & 0xFFFu] + ((c >> 1) & 0x3FC00000u));
}

float RwVectorTableInverseSquareRoot(const RwUInt32* invSqrtTable, float value) {
    const RwUInt32 bits = std::bit_cast<RwUInt32>(value);
    if (bits == 0)
        return 0.0f;
    const RwUInt32 c = bits + 2048u;
    return std::bit_cast<float>(invSqrtTable[(c >> 12) & 0xFFFu] + ((~c >> 1) & 0x3FC00000u));
}

RwInt32 _rwVectorModuleAttach() {
    return RwEngineRegisterPlugin(sizeof(RwVectorModuleData), rwID_VECTORMODULE, RwVectorModuleOpen,
                                  RwVectorModuleClose);
}

void* RwVectorModuleOpen(void* instance, RwInt32 offset, RwInt32 /*size*/) {
    vectorModule.globalsOffset = offset;
    auto* data = reinterpret_cast<RwVectorModuleData*>(static_cast<RwUInt8*>(instance) + offset);
    data->sqrtTable = static_cast<RwUInt32*>(RwMalloc(rwSQRTTABLESIZE * sizeof(RwUInt32), tableHint));
    if (!data->sqrtTable) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    data->invSqrtTable = static_cast<RwUInt32*>(RwMalloc(rwSQRTTABLESIZE * sizeof(RwUInt32), tableHint));
    if (!data->invSqrtTable) {
        RwFree(data->sqrtTable);
        data->sqrtTable = nullptr;
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    RwVectorBuildTables(data->sqrtTable, data->invSqrtTable);
    data->transformPoint = RwVector3DefaultTransformPoint;
    data->transformPoints = RwVector3DefaultTransformPoints;
    data->transformVector = RwVector3DefaultTransformVector;
    data->transformVectors = RwVector3DefaultTransformVectors;
    ++vectorModule.numInstances;
    return instance;
}

void* RwVectorModuleClose(void* instance, RwInt32 offset, RwInt32 /*size*/) {
    auto* data = reinterpret_cast<RwVectorModuleData*>(static_cast<RwUInt8*>(instance) + offset);
    RwFree(data->invSqrtTable);
    RwFree(data->sqrtTable);
    data->invSqrtTable = nullptr;
    data->sqrtTable = nullptr;
    --vectorModule.numInstances;
    return instance;
}

float RwSquareRoot(float value) {
    return RwVectorTableSquareRoot(VectorData()->sqrtTable, value);
}

float RwInverseSquareRoot(float value) {
    return RwVectorTableInverseSquareRoot(VectorData()->invSqrtTable, value);
}

float RwV3dLength(const RwV3d* vector) {
    return RwSquareRoot(vector->x * vector->x + vector->y * vector->y + vector->z * vector->z);
}

float RwVector3Normalize(RwV3d* out, const RwV3d* in) {
    const float s = in->x * in->x + in->y * in->y + in->z * in->z;
    const float length = RwSquareRoot(s);
    const float scale = RwInverseSquareRoot(s); // 0 for a zero vector
    out->x = in->x * scale;
    out->y = in->y * scale;
    out->z = in->z * scale;
    if (!(length > 0.0f))
        RwErrorSetCode(E_RW_ZEROLENGTH);
    return length;
}

RwV3d* RwVector3DefaultTransformPoint(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    const RwV3d v = *in;
    out->x = v.x * m->right.x + v.y * m->up.x + v.z * m->at.x + m->pos.x;
    out->y = v.x * m->right.y + v.y * m->up.y + v.z * m->at.y + m->pos.y;
    out->z = v.x * m->right.z + v.y * m->up.z + v.z * m->at.z + m->pos.z;
    return out;
}

RwV3d* RwVector3DefaultTransformPoints(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* m) {
    for (RwInt32 i = 0; i < count; ++i)
        RwVector3DefaultTransformPoint(out + i, in + i, m);
    return out;
}

RwV3d* RwVector3DefaultTransformVector(RwV3d* out, const RwV3d* in, const RwMatrix* m) {
    const RwV3d v = *in;
    out->x = v.x * m->right.x + v.y * m->up.x + v.z * m->at.x;
    out->y = v.x * m->right.y + v.y * m->up.y + v.z * m->at.y;
    out->z = v.x * m->right.z + v.y * m->up.z + v.z * m->at.z;
    return out;
}

RwV3d* RwVector3DefaultTransformVectors(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* m) {
    for (RwInt32 i = 0; i < count; ++i)
        RwVector3DefaultTransformVector(out + i, in + i, m);
    return out;
}

RwV3d* RwVector3TransformPoint(RwV3d* out, const RwV3d* in, const RwMatrix* matrix) {
    return VectorData()->transformPoint(out, in, matrix);
}

RwV3d* RwVector3TransformPoints(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* matrix) {
    return VectorData()->transformPoints(out, in, count, matrix);
}

RwV3d* RwVector3TransformVector(RwV3d* out, const RwV3d* in, const RwMatrix* matrix) {
    return VectorData()->transformVector(out, in, matrix);
}

RwV3d* RwVector3TransformVectors(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* matrix) {
    return VectorData()->transformVectors(out, in, count, matrix);
}

RwBool RwVector3SetTransformRoutines(RwVector3TransformPointCallBack point,
                                     RwVector3TransformPointsCallBack points,
                                     RwVector3TransformVectorCallBack vector,
                                     RwVector3TransformVectorsCallBack vectors) {
    RwVectorModuleData* data = VectorData();
    data->transformPoint = point ? point : RwVector3DefaultTransformPoint;
    data->transformPoints = points ? points : RwVector3DefaultTransformPoints;
    data->transformVector = vector ? vector : RwVector3DefaultTransformVector;
    data->transformVectors = vectors ? vectors : RwVector3DefaultTransformVectors;
    return 1;
}

RwBBox* RwBoundingBoxCalculate(RwBBox* box, const RwV3d* points, RwInt32 count) {
    if (count < 1)
        return nullptr; // no first point to start from
    box->sup = points[0];
    box->inf = points[0];
    for (RwInt32 i = 1; i < count; ++i) {
        const RwV3d& p = points[i];
        box->sup.x = p.x > box->sup.x ? p.x : box->sup.x;
        box->sup.y = p.y > box->sup.y ? p.y : box->sup.y;
        box->sup.z = p.z > box->sup.z ? p.z : box->sup.z;
        box->inf.x = p.x < box->inf.x ? p.x : box->inf.x;
        box->inf.y = p.y < box->inf.y ? p.y : box->inf.y;
        box->inf.z = p.z < box->inf.z ? p.z : box->inf.z;
    }
    return box;
}
