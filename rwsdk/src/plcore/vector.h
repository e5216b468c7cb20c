// Vectors, bounding boxes, table square roots and the replaceable point and vector transforms.
#pragma once

#include "rwsdk/src/plcore/types.h"

struct RwMatrix;

struct RwV2d {
    RwReal x, y;
};

struct RwV3d {
    RwReal x, y, z;
};

struct RwSphere {
    RwV3d center;
    RwReal radius;
};

// Points p with normal . p - distance > 0 lie on the outer side.
struct RwPlane {
    RwV3d normal;
    RwReal distance;
};

// Maximum corner first, then minimum corner.
struct RwBBox {
    RwV3d sup;
    RwV3d inf;
};

using RwVector3TransformPointCallBack = RwV3d* (*)(RwV3d* out, const RwV3d* in, const RwMatrix* matrix);
using RwVector3TransformPointsCallBack = RwV3d* (*)(RwV3d* out, const RwV3d* in, RwInt32 count,
                                                    const RwMatrix* matrix);
using RwVector3TransformVectorCallBack = RwVector3TransformPointCallBack;
using RwVector3TransformVectorsCallBack = RwVector3TransformPointsCallBack;

// The vectors module's block in the engine instance.
struct RwVectorModuleData {
    RwUInt32* sqrtTable;
    RwUInt32* invSqrtTable;
    RwVector3TransformPointCallBack transformPoint;
    RwVector3TransformPointsCallBack transformPoints;
    RwVector3TransformVectorCallBack transformVector;
    RwVector3TransformVectorsCallBack transformVectors;
};

constexpr int rwSQRTTABLESIZE = 4096;

// Registers the module with the engine (plugin id 0x401); the offset, or -1.
RwInt32 _rwVectorModuleAttach();
void* RwVectorModuleOpen(void* instance, RwInt32 offset, RwInt32 size);
void* RwVectorModuleClose(void* instance, RwInt32 offset, RwInt32 size);

// Fills both 4096-entry tables; the module's open calls it.
void RwVectorBuildTables(RwUInt32* sqrtTable, RwUInt32* invSqrtTable);
// Table lookups on given tables (the engine-wide forms below use the module's tables).
RwReal RwVectorTableSquareRoot(const RwUInt32* sqrtTable, RwReal value);
RwReal RwVectorTableInverseSquareRoot(const RwUInt32* invSqrtTable, RwReal value);

// Relative error of both table roots, for positive normal inputs.
constexpr double rwSQRTTABLEERROR = 1.0 / 8192.0 + 1.0 / 8388608.0;

RwReal RwSquareRoot(RwReal value);
RwReal RwInverseSquareRoot(RwReal value);
RwReal RwV3dLength(const RwV3d* vector);
RwReal RwVector3Normalize(RwV3d* out, const RwV3d* in);

RwV3d* RwVector3TransformPoint(RwV3d* out, const RwV3d* in, const RwMatrix* matrix);
RwV3d* RwVector3TransformPoints(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* matrix);
RwV3d* RwVector3TransformVector(RwV3d* out, const RwV3d* in, const RwMatrix* matrix);
RwV3d* RwVector3TransformVectors(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* matrix);
RwBool RwVector3SetTransformRoutines(RwVector3TransformPointCallBack point,
                                     RwVector3TransformPointsCallBack points,
                                     RwVector3TransformVectorCallBack vector,
                                     RwVector3TransformVectorsCallBack vectors);

// The portable routines, installed at open and for a null argument.
RwV3d* RwVector3DefaultTransformPoint(RwV3d* out, const RwV3d* in, const RwMatrix* matrix);
RwV3d* RwVector3DefaultTransformPoints(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* matrix);
RwV3d* RwVector3DefaultTransformVector(RwV3d* out, const RwV3d* in, const RwMatrix* matrix);
RwV3d* RwVector3DefaultTransformVectors(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* matrix);

// Null when count is below 1.
RwBBox* RwBoundingBoxCalculate(RwBBox* box, const RwV3d* points, RwInt32 count);

// The x87 precision routines (see x87.cpp in the driver).
void RwProcessorSaveAndSetSinglePrecision();
void RwProcessorRestorePrecision();
void RwProcessorSetSinglePrecision();
