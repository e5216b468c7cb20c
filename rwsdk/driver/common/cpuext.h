// Processor feature tests, the choice of vector transform routines and the SSE flush-to-zero mode.
#pragma once

#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/plcore/vector.h"

RwBool RwCpuHasMMX();
RwBool RwCpuHasSSE();
RwBool RwCpuHasSSE2();
RwBool RwCpuHas3DNow();

struct RwCpuFeatures {
    RwBool mmx;
    RwBool sse;
    RwBool sse2;
    RwBool threeDNow;
};

// The four tests, run once (the device keeps the answers).
RwCpuFeatures RwCpuGetFeatures();

// One set of the four vector transform routines.
struct RwCpuTransformRoutines {
    RwVector3TransformPointCallBack point;
    RwVector3TransformPointsCallBack points;
    RwVector3TransformVectorCallBack vector;
    RwVector3TransformVectorsCallBack vectors;
};

extern const RwCpuTransformRoutines rwCpuX87Routines;
extern const RwCpuTransformRoutines rwCpuSSERoutines;
extern const RwCpuTransformRoutines rwCpuSSEComponentRoutines;

// x87 without SSE; SSE with component stores when SSE2 is present and 3DNow absent; plain SSE otherwise.
const RwCpuTransformRoutines* RwCpuChooseTransformRoutines(const RwCpuFeatures* features);

// The processor side of the device's finalise-start request: single precision saved and set, flush-to-zero
// with SSE, the x87 matrix product and the chosen transform set installed. The stop request undoes the
// floating-point modes; the routines stay.
void _rwCpuDeviceFinalizeStart(const RwCpuFeatures* features);
void _rwCpuDeviceInitiateStop(const RwCpuFeatures* features);

// Sets or clears flush-to-zero (MXCSR bit 15); returns whether it was set before.
RwBool RwCpuSetFlushToZero(RwBool on);
RwBool RwCpuGetFlushToZero();

// The routine sets, callable directly.
RwV3d* RwX87TransformPoint(RwV3d* out, const RwV3d* in, const RwMatrix* matrix);
RwV3d* RwX87TransformPoints(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* matrix);
RwV3d* RwX87TransformVector(RwV3d* out, const RwV3d* in, const RwMatrix* matrix);
RwV3d* RwX87TransformVectors(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* matrix);
void RwX87MatrixMultiply(RwMatrix* out, const RwMatrix* a, const RwMatrix* b);

RwV3d* RwSSETransformPoint(RwV3d* out, const RwV3d* in, const RwMatrix* matrix);
RwV3d* RwSSETransformPoints(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* matrix);
RwV3d* RwSSETransformVector(RwV3d* out, const RwV3d* in, const RwMatrix* matrix);
RwV3d* RwSSETransformVectors(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* matrix);
RwV3d* RwSSEComponentTransformPoint(RwV3d* out, const RwV3d* in, const RwMatrix* matrix);
RwV3d* RwSSEComponentTransformPoints(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* matrix);
RwV3d* RwSSEComponentTransformVector(RwV3d* out, const RwV3d* in, const RwMatrix* matrix);
RwV3d* RwSSEComponentTransformVectors(RwV3d* out, const RwV3d* in, RwInt32 count, const RwMatrix* matrix);
