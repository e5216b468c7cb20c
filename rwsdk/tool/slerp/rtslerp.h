// The slerp toolkit: blends two matrices, turning about the relative rotation's axis and moving linearly.
#pragma once

#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/plcore/types.h"

constexpr RwUInt32 rwID_SLERPPLUGIN = 0x183;

enum RtSlerpType : RwUInt32 {
    rtSLERPREFNONE = 0x0,
    rtSLERPREFSTARTMAT = 0x1, // the start matrix is the caller's, referenced
    rtSLERPREFENDMAT = 0x2,   // the end matrix is the caller's, referenced
    rtSLERPREFALL = 0x3,
};

struct RtSlerp {
    RwUInt32 matRefs;
    RwMatrix* startMat;
    RwMatrix* endMat;
    RwV3d axis;
    RwReal angle; // degrees
    RwInt32 useLerp;
};

RtSlerp* RtSlerpCreate(RwUInt32 flags);
RtSlerp* RtSlerpInitialize(RtSlerp* slerp, RwMatrix* startMat, RwMatrix* endMat);
RwMatrix* RtSlerpInterpolate(RtSlerp* slerp, RwMatrix* out, RwReal t);
void RtSlerpDestroy(RtSlerp* slerp);
