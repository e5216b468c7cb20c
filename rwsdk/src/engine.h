// The engine instance and its lifecycle: Init, Open, Start, and back through Stop, Close, Term.
#pragma once

#include "rwsdk/os/win/osfile.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/plugin.h"
#include "rwsdk/src/plcore/rwstring.h"
#include "rwsdk/src/plcore/types.h"

struct RwCamera;
struct RwIm2DVertex;
enum RwRenderState : RwInt32;
enum RwPrimitiveType : RwInt32;
typedef RwUInt16 RwImVertexIndex;

enum RwDeviceRequest : RwInt32 {
    rwDEVICESYSTEMOPEN = 0,
    rwDEVICESYSTEMCLOSE = 1,
    rwDEVICESYSTEMSTART = 2,
    rwDEVICESYSTEMSTOP = 3,
    rwDEVICESYSTEMREGISTER = 4,
    rwDEVICESYSTEMGETNUMMODES = 5,
    rwDEVICESYSTEMGETMODEINFO = 6,
    rwDEVICESYSTEMUSEMODE = 7,
    rwDEVICESYSTEMFOCUS = 8,
    rwDEVICESYSTEMINITPIPELINE = 9,
    rwDEVICESYSTEMGETMODE = 10,
    rwDEVICESYSTEMSTANDARDS = 11,
    rwDEVICESYSTEMGETTEXMEMSIZE = 12,
    rwDEVICESYSTEMGETNUMSUBSYSTEMS = 13,
    rwDEVICESYSTEMGETSUBSYSTEMINFO = 14,
    rwDEVICESYSTEMGETCURRENTSUBSYSTEM = 15,
    rwDEVICESYSTEMSETSUBSYSTEM = 16,
    rwDEVICESYSTEMFINALIZESTART = 17,
    rwDEVICESYSTEMINITIATESTOP = 18,
    rwDEVICESYSTEMGETMAXTEXTURESIZE = 19,
};

enum RwEngineStatus : RwUInt32 {
    rwENGINESTATUSIDLE = 0,
    rwENGINESTATUSINITED = 1,
    rwENGINESTATUSOPENED = 2,
    rwENGINESTATUSSTARTED = 3,
};

enum RwEngineInitFlag : RwUInt32 {
    rwENGINEINITFREELISTS = 0,
    rwENGINEINITNOFREELISTS = 1,
};

enum RwVideoModeFlag : RwUInt32 {
    rwVIDEOMODEEXCLUSIVE = 0x1, // full screen
};

struct RwVideoMode {
    RwInt32 width;
    RwInt32 height;
    RwInt32 depth;
    RwUInt32 flags;
    RwInt32 refRate;
    RwInt32 format;
};

struct RwSubSystemInfo {
    RwChar name[80];
};

struct RwEngineOpenParams {
    void* displayID; // the window to render into
};
typedef RwEngineOpenParams RwOpenParams;

// A device routine: (out, in, number) -> nonzero on success.
typedef RwBool (*RwStandardFunc)(void* pOut, void* pInOut, RwInt32 nI);
typedef RwBool (*RwSystemFunc)(RwInt32 request, void* pOut, void* pInOut, RwInt32 nIn);
typedef RwBool (*RwRenderStateSetFunction)(RwRenderState state, void* value);
typedef RwBool (*RwRenderStateGetFunction)(RwRenderState state, void* value);
typedef RwBool (*RwIm2DRenderLineFunction)(RwIm2DVertex* vertices, RwInt32 numVertices, RwInt32 vert1,
                                           RwInt32 vert2);
typedef RwBool (*RwIm2DRenderTriangleFunction)(RwIm2DVertex* vertices, RwInt32 numVertices, RwInt32 vert1,
                                               RwInt32 vert2, RwInt32 vert3);
typedef RwBool (*RwIm2DRenderPrimitiveFunction)(RwPrimitiveType primType, RwIm2DVertex* vertices,
                                                RwInt32 numVertices);
typedef RwBool (*RwIm2DRenderIndexedPrimitiveFunction)(RwPrimitiveType primType, RwIm2DVertex* vertices,
                                                       RwInt32 numVertices, RwImVertexIndex* indices,
                                                       RwInt32 numIndices);
typedef void (*RwDeviceRoutine)();

// The device record that the driver hands to the engine.
struct RwDevice {
    RwReal gammaCorrection;
    RwSystemFunc fpSystem;
    RwReal zBufferNear;
    RwReal zBufferFar;
    RwRenderStateSetFunction fpRenderStateSet;
    RwRenderStateGetFunction fpRenderStateGet;
    RwIm2DRenderLineFunction fpIm2DRenderLine;
    RwIm2DRenderTriangleFunction fpIm2DRenderTriangle;
    RwIm2DRenderPrimitiveFunction fpIm2DRenderPrimitive;
    RwIm2DRenderIndexedPrimitiveFunction fpIm2DRenderIndexedPrimitive;
    RwDeviceRoutine reserved[4];
};

// Slots of the standard device routines.
enum RwStandardFunctionIndex : RwInt32 {
    rwSTANDARDNASTANDARD = 0,
    rwSTANDARDCAMERABEGINUPDATE = 1,
    rwSTANDARDRGBTOPIXEL = 2,
    rwSTANDARDPIXELTORGB = 3,
    rwSTANDARDRASTERCREATE = 4,
    rwSTANDARDRASTERDESTROY = 5,
    rwSTANDARDIMAGEGETRASTER = 6,
    rwSTANDARDRASTERSETIMAGE = 7,
    rwSTANDARDTEXTURESETRASTER = 8,
    rwSTANDARDIMAGEFINDRASTERFORMAT = 9,
    rwSTANDARDCAMERAENDUPDATE = 10,
    rwSTANDARDSETRASTERCONTEXT = 11,
    rwSTANDARDRASTERSUBRASTER = 12,
    rwSTANDARDRASTERCLEARRECT = 13,
    rwSTANDARDRASTERCLEAR = 14,
    rwSTANDARDRASTERLOCK = 15,
    rwSTANDARDRASTERUNLOCK = 16,
    rwSTANDARDRASTERRENDER = 17,
    rwSTANDARDRASTERRENDERSCALED = 18,
    rwSTANDARDRASTERRENDERFAST = 19,
    rwSTANDARDRASTERSHOWRASTER = 20,
    rwSTANDARDCAMERACLEAR = 21,
    rwSTANDARDHINTRENDERF2B = 22,
    rwSTANDARDRASTERLOCKPALETTE = 23,
    rwSTANDARDRASTERUNLOCKPALETTE = 24,
    rwSTANDARDNATIVETEXTUREGETSIZE = 25,
    rwSTANDARDNATIVETEXTUREREAD = 26,
    rwSTANDARDNATIVETEXTUREWRITE = 27,
    rwSTANDARDRASTERGETMIPLEVELS = 28,
    rwSTANDARDNUMOFSTANDARD = 29,
};

// The engine instance's base part; module and plugin data follow it at their registry offsets while the
// engine is open.
struct RwGlobals {
    RwCamera* curCamera; // between a camera's begin and end update
    void* curWorld;
    RwDevice dOpenDevice;
    RwStandardFunc stdFunc[rwSTANDARDNUMOFSTANDARD];
    RwFileFunctions fileFuncs;
    RwStringFunctions stringFuncs;
    RwMemoryFunctions memoryFuncs;
    void* (*memoryAlloc)(RwFreeList* freeList, RwUInt32 hint);
    RwFreeList* (*memoryFree)(RwFreeList* freeList, void* entry);
    RwEngineStatus engineStatus;
    RwUInt32 resArenaInitSize;
};

// A static template of the base part before Open and after Close; the open heap record in between.
extern RwGlobals* RwEngineInstance;
#define RWSRCGLOBAL(variable) (RwEngineInstance->variable)

// A core module's bookkeeping: the offset of its data in the instance and how often it is open.
struct RwModuleInfo {
    RwInt32 globalsOffset;
    RwInt32 numInstances;
};
#define RWMODULEDATA(type, module) RWPLUGINOFFSET(type, RwEngineInstance, (module).globalsOffset)

RwBool RwEngineInit(const RwMemoryFunctions* memFuncs, RwUInt32 initFlags, RwUInt32 resArenaSize);
RwBool RwEngineOpen(RwEngineOpenParams* initParams);
RwBool RwEngineStart();
RwBool RwEngineStop();
RwBool RwEngineClose();
RwBool RwEngineTerm();

RwInt32 RwEngineGetVersion();
RwInt32 RwEngineGetOpenCount();
RwEngineStatus RwEngineGetStatus();

RwInt32 RwEngineRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor initCB,
                               RwPluginObjectDestructor termCB);
RwInt32 RwEngineGetPluginOffset(RwUInt32 pluginID);

RwSubSystemInfo* RwEngineGetSubSystemInfo(RwSubSystemInfo* subSystemInfo, RwInt32 subSystemIndex);
RwInt32 RwEngineGetNumSubSystems();
RwInt32 RwEngineGetCurrentSubSystem();
RwBool RwEngineSetSubSystem(RwInt32 subSystemIndex);
RwInt32 RwEngineGetNumVideoModes();
RwVideoMode* RwEngineGetVideoModeInfo(RwVideoMode* modeinfo, RwInt32 modeIndex);
RwInt32 RwEngineGetCurrentVideoMode();
RwBool RwEngineSetVideoMode(RwInt32 modeIndex);

RwBool RwEngineDeviceRequest(RwDevice* device, RwInt32 request, void* pOut, void* pInOut, RwInt32 nIn);

// The device driver: its device record and the attach step run by RwEngineInit. The null device is the
// default; a real driver is chosen before RwEngineInit.
typedef RwDevice* (*RwDeviceRecordGetFunction)();
typedef RwBool (*RwDriverAttachFunction)();
RwBool RwEngineSetDriver(RwDeviceRecordGetFunction deviceRecordGet, RwDriverAttachFunction attach);

// The routine that every standard slot holds until a driver fills it.
RwBool RwStubReturnZero(void* pOut, void* pInOut, RwInt32 nI);
