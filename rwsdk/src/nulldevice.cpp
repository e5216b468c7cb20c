#include "rwsdk/src/nulldevice.h"

#include <cstring>

namespace {

RwBool Succeed(void*, void*, RwInt32) {
    return TRUE;
}

// Stores the in argument in the out word.
RwBool PassThrough(void* pOut, void* pInOut, RwInt32) {
    *static_cast<void**>(pOut) = pInOut;
    return TRUE;
}

RwBool RenderStateSet(RwRenderState, void*) {
    return TRUE;
}
RwBool RenderStateGet(RwRenderState, void*) {
    return FALSE;
}
RwBool Im2DLine(RwIm2DVertex*, RwInt32, RwInt32, RwInt32) {
    return TRUE;
}
RwBool Im2DTriangle(RwIm2DVertex*, RwInt32, RwInt32, RwInt32, RwInt32) {
    return TRUE;
}
RwBool Im2DPrimitive(RwPrimitiveType, RwIm2DVertex*, RwInt32) {
    return TRUE;
}
RwBool Im2DIndexedPrimitive(RwPrimitiveType, RwIm2DVertex*, RwInt32, RwImVertexIndex*, RwInt32) {
    return TRUE;
}

RwDevice nullDevice = {1.0f,
                       RwNullDeviceSystem,
                       0.0f,
                       1.0f,
                       RenderStateSet,
                       RenderStateGet,
                       Im2DLine,
                       Im2DTriangle,
                       Im2DPrimitive,
                       Im2DIndexedPrimitive,
                       {nullptr, nullptr, nullptr, nullptr}};

const RwVideoMode onlyMode = {640, 480, 32, 0, 0, 0x600};

} // namespace

RwDevice* RwNullDeviceRecordGet() {
    return &nullDevice;
}

RwBool RwNullDeviceAttach() {
    return TRUE;
}

RwBool RwNullDeviceSystem(RwInt32 request, void* pOut, void*, RwInt32 nIn) {
    switch (request) {
    case rwDEVICESYSTEMOPEN:
    case rwDEVICESYSTEMCLOSE:
    case rwDEVICESYSTEMSTART:
    case rwDEVICESYSTEMSTOP:
        return TRUE;
    case rwDEVICESYSTEMREGISTER:
        *static_cast<RwDevice*>(pOut) = nullDevice;
        return TRUE;
    case rwDEVICESYSTEMGETNUMMODES:
        *static_cast<RwInt32*>(pOut) = 1;
        return TRUE;
    case rwDEVICESYSTEMGETMODEINFO:
        if (nIn != 0) {
            return FALSE;
        }
        *static_cast<RwVideoMode*>(pOut) = onlyMode;
        return TRUE;
    case rwDEVICESYSTEMUSEMODE:
        return nIn == 0;
    case rwDEVICESYSTEMGETMODE:
        *static_cast<RwInt32*>(pOut) = 0;
        return TRUE;
    case rwDEVICESYSTEMSTANDARDS: {
        auto* table = static_cast<RwStandardFunc*>(pOut);
        for (RwInt32 i = 0; i < nIn; ++i) {
            table[i] = RwStubReturnZero;
        }
        const RwInt32 succeeding[] = {rwSTANDARDCAMERABEGINUPDATE, rwSTANDARDCAMERAENDUPDATE,
                                      rwSTANDARDRASTERSHOWRASTER,  rwSTANDARDCAMERACLEAR,
                                      rwSTANDARDRASTERCREATE,      rwSTANDARDRASTERDESTROY};
        for (RwInt32 slot : succeeding) {
            if (slot < nIn) {
                table[slot] = Succeed;
            }
        }
        if (rwSTANDARDTEXTURESETRASTER < nIn) {
            table[rwSTANDARDTEXTURESETRASTER] = PassThrough;
        }
        return TRUE;
    }
    default:
        // Sub systems, finishing start and beginning stop are left to the engine's own answers.
        return FALSE;
    }
}
