// Engine render states, primitive types and the screen-space vertex that the device draws directly.
#pragma once

#include "rwsdk/src/plcore/types.h"

enum RwRenderState : RwInt32 {
    rwRENDERSTATENARENDERSTATE = 0,
    rwRENDERSTATETEXTURERASTER = 1,
    rwRENDERSTATETEXTUREADDRESS = 2,
    rwRENDERSTATETEXTUREADDRESSU = 3,
    rwRENDERSTATETEXTUREADDRESSV = 4,
    rwRENDERSTATETEXTUREPERSPECTIVE = 5,
    rwRENDERSTATEZTESTENABLE = 6,
    rwRENDERSTATESHADEMODE = 7,
    rwRENDERSTATEZWRITEENABLE = 8,
    rwRENDERSTATETEXTUREFILTER = 9,
    rwRENDERSTATESRCBLEND = 10,
    rwRENDERSTATEDESTBLEND = 11,
    rwRENDERSTATEVERTEXALPHAENABLE = 12,
    rwRENDERSTATEBORDERCOLOR = 13,
    rwRENDERSTATEFOGENABLE = 14,
    rwRENDERSTATEFOGCOLOR = 15,
    rwRENDERSTATEFOGTYPE = 16,
    rwRENDERSTATEFOGDENSITY = 17,
    rwRENDERSTATECULLMODE = 20,
    rwRENDERSTATESTENCILENABLE = 21,
    rwRENDERSTATESTENCILFAIL = 22,
    rwRENDERSTATESTENCILZFAIL = 23,
    rwRENDERSTATESTENCILPASS = 24,
    rwRENDERSTATESTENCILFUNCTION = 25,
    rwRENDERSTATESTENCILFUNCTIONREF = 26,
    rwRENDERSTATESTENCILFUNCTIONMASK = 27,
    rwRENDERSTATESTENCILFUNCTIONWRITEMASK = 28,
    rwRENDERSTATEALPHATESTFUNCTION = 29,
    rwRENDERSTATEALPHATESTFUNCTIONREF = 30,
};

enum RwPrimitiveType : RwInt32 {
    rwPRIMTYPENAPRIMTYPE = 0,
    rwPRIMTYPELINELIST = 1,
    rwPRIMTYPEPOLYLINE = 2,
    rwPRIMTYPETRILIST = 3,
    rwPRIMTYPETRISTRIP = 4,
    rwPRIMTYPETRIFAN = 5,
    rwPRIMTYPEPOINTLIST = 6,
};

enum RwTextureFilterMode : RwUInt32 {
    rwFILTERNAFILTERMODE = 0,
    rwFILTERNEAREST = 1,
    rwFILTERLINEAR = 2,
    rwFILTERMIPNEAREST = 3,
    rwFILTERMIPLINEAR = 4,
    rwFILTERLINEARMIPNEAREST = 5,
    rwFILTERLINEARMIPLINEAR = 6,
    rwFILTERANISOTROPIC = 7,
};

enum RwTextureAddressMode : RwUInt32 {
    rwTEXTUREADDRESSNATEXTUREADDRESS = 0,
    rwTEXTUREADDRESSWRAP = 1,
    rwTEXTUREADDRESSMIRROR = 2,
    rwTEXTUREADDRESSCLAMP = 3,
    rwTEXTUREADDRESSBORDER = 4,
};

enum RwFogType : RwUInt32 {
    rwFOGTYPENAFOGTYPE = 0,
    rwFOGTYPELINEAR = 1,
    rwFOGTYPEEXPONENTIAL = 2,
    rwFOGTYPEEXPONENTIAL2 = 3,
};

enum RwCullMode : RwUInt32 {
    rwCULLMODENACULLMODE = 0,
    rwCULLMODECULLNONE = 1,
    rwCULLMODECULLBACK = 2,
    rwCULLMODECULLFRONT = 3,
};

enum RwAlphaTestFunction : RwUInt32 {
    rwALPHATESTFUNCTIONNEVER = 1,
    rwALPHATESTFUNCTIONLESS = 2,
    rwALPHATESTFUNCTIONEQUAL = 3,
    rwALPHATESTFUNCTIONLESSEQUAL = 4,
    rwALPHATESTFUNCTIONGREATER = 5,
    rwALPHATESTFUNCTIONNOTEQUAL = 6,
    rwALPHATESTFUNCTIONGREATEREQUAL = 7,
    rwALPHATESTFUNCTIONALWAYS = 8,
};

// A screen-space vertex: also the layout of the 2D vertex stream (28 bytes).
struct RwIm2DVertex {
    RwReal x;
    RwReal y;
    RwReal z;               // 0..1
    RwReal rhw;             // reciprocal of the camera-space depth
    RwUInt32 emissiveColor; // ARGB
    RwReal u;
    RwReal v;
};
static_assert(sizeof(RwIm2DVertex) == 28);

typedef RwUInt16 RwImVertexIndex;

// Through the open device's routines; false while no engine is open.
RwBool RwRenderStateSet(RwRenderState state, void* value);
RwBool RwRenderStateGet(RwRenderState state, void* value);
RwBool RwIm2DRenderLine(RwIm2DVertex* vertices, RwInt32 numVertices, RwInt32 vert1, RwInt32 vert2);
RwBool RwIm2DRenderTriangle(RwIm2DVertex* vertices, RwInt32 numVertices, RwInt32 vert1, RwInt32 vert2,
                            RwInt32 vert3);
RwBool RwIm2DRenderPrimitive(RwPrimitiveType primType, RwIm2DVertex* vertices, RwInt32 numVertices);
RwBool RwIm2DRenderIndexedPrimitive(RwPrimitiveType primType, RwIm2DVertex* vertices, RwInt32 numVertices,
                                    RwImVertexIndex* indices, RwInt32 numIndices);
