// Slerp toolkit: the relative rotation of two matrices is found once; interpolating turns the start by a
// fraction of its angle and moves the position linearly.
#include "rwsdk/tool/slerp/rtslerp.h"

#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/vector.h"

namespace {

constexpr RwReal linearBelowDegrees = 2.0f;

RwV3d Lerp(const RwV3d& a, const RwV3d& b, RwReal t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}

void CopyUnlessSame(RwMatrix* out, const RwMatrix* in) {
    if (out != in)
        RwMatrixCopy(out, in);
}

} // namespace

RtSlerp* RtSlerpCreate(RwUInt32 flags) {
    auto* slerp = static_cast<RtSlerp*>(RwMalloc(sizeof(RtSlerp), rwMEMHINTDUR_EVENT | rwID_SLERPPLUGIN));
    if (!slerp) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    *slerp = {flags, nullptr, nullptr, {0.0f, 0.0f, 0.0f}, 0.0f, 0};
    if ((!(flags & rtSLERPREFSTARTMAT) && !(slerp->startMat = RwMatrixCreate())) ||
        (!(flags & rtSLERPREFENDMAT) && !(slerp->endMat = RwMatrixCreate()))) {
        RtSlerpDestroy(slerp);
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    return slerp;
}

RtSlerp* RtSlerpInitialize(RtSlerp* slerp, RwMatrix* startMat, RwMatrix* endMat) {
    if (slerp->matRefs & rtSLERPREFSTARTMAT)
        slerp->startMat = startMat;
    else
        RwMatrixCopy(slerp->startMat, startMat);
    if (slerp->matRefs & rtSLERPREFENDMAT)
        slerp->endMat = endMat;
    else
        RwMatrixCopy(slerp->endMat, endMat);

    RwMatrix relative;
    RwMatrixInvert(&relative, slerp->startMat);
    RwMatrixTransform(&relative, slerp->endMat, rwCOMBINEPOSTCONCAT);
    RwV3d centre;
    RwMatrixQueryRotation(&relative, &slerp->axis, &slerp->angle, &centre);
    slerp->useLerp = slerp->angle < linearBelowDegrees ? 1 : 0;
    return slerp;
}

RwMatrix* RtSlerpInterpolate(RtSlerp* slerp, RwMatrix* out, RwReal t) {
    const RwMatrix* start = slerp->startMat;
    const RwMatrix* end = slerp->endMat;
    if (t <= 0.0f) {
        CopyUnlessSame(out, start);
        return out;
    }
    if (t >= 1.0f) {
        CopyUnlessSame(out, end);
        return out;
    }
    if (slerp->useLerp) {
        out->right = Lerp(start->right, end->right, t);
        out->up = Lerp(start->up, end->up, t);
        out->at = Lerp(start->at, end->at, t);
        out->pos = Lerp(start->pos, end->pos, t);
        RwVector3Normalize(&out->right, &out->right);
        RwVector3Normalize(&out->up, &out->up);
        RwVector3Normalize(&out->at, &out->at);
        return out;
    }
    const RwV3d pos = Lerp(start->pos, end->pos, t);
    CopyUnlessSame(out, start);
    out->pos = {0.0f, 0.0f, 0.0f};
    RwMatrixRotate(out, &slerp->axis, slerp->angle * t, rwCOMBINEPOSTCONCAT);
    out->pos = pos;
    return out;
}

void RtSlerpDestroy(RtSlerp* slerp) {
    if (!slerp)
        return;
    if (!(slerp->matRefs & rtSLERPREFSTARTMAT) && slerp->startMat)
        RwMatrixDestroy(slerp->startMat);
    if (!(slerp->matRefs & rtSLERPREFENDMAT) && slerp->endMat)
        RwMatrixDestroy(slerp->endMat);
    RwFree(slerp);
}
