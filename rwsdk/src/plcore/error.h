// The pending error: how a failing engine call tells its caller why.
#pragma once

#include "rwsdk/src/plcore/types.h"

struct RwError {
    RwInt32 pluginID;
    RwInt32 errorCode;
};

// Codes of the engine core are negative (0x800000NN, stored with plugin id 0); other codes are small
// non-negative numbers stored with the reporting plugin's id (1 for the engine's own modules).
enum RwErrorCode : RwUInt32 {
    E_RW_NOERROR = 0x80000000,
    E_RW_BADENGINESTATE = 0x80000001,
    E_RW_BADOPEN = 0x80000002,
    E_RW_BADPARAM = 0x80000003,
    E_RW_BADVERSION = 0x80000004,
    E_RW_INVIMAGEDEPTH = 0x80000008,
    E_RW_INVIMAGEFORMAT = 0x80000009,
    E_RW_INVIMAGEMASK = 0x8000000A,
    E_RW_INVRASTERDEPTH = 0x8000000C,
    E_RW_INVRASTERFORMAT = 0x8000000D,
    E_RW_INVRASTERLOCKREQ = 0x8000000E,
    E_RW_INVRASTERUNLOCKREQ = 0x80000011,
    E_RW_NOMEM = 0x80000013,
    E_RW_NULLP = 0x80000016,
    E_RW_PLUGININIT = 0x80000017,
    E_RW_DEFAULTPIPELINECREATION = 0x80000018,
    E_RW_READ = 0x8000001A,
    E_RW_WRITE = 0x8000001C,
    E_RW_STRING_TRUNCATION = 0x8000001E,
    E_RW_PLUGINERROR = 2,
    E_RX_ENDOFSTREAM = 5,
    E_RW_RESOURCEARENA = 12,
    E_RW_BADSTREAMACCESS = 13,
    E_RW_BADSTREAMTYPE = 14,
    E_RW_DEVICEREQUEST = 24,
    E_RW_ZEROLENGTH = 25,
};

// Keeps the error unless one is already pending: the first error since the last RwErrorGet wins.
RwError* RwErrorSet(const RwError* code);
// Copies the pending error out and clears it.
RwError* RwErrorGet(RwError* code);
// An engine module's report: plugin id 1, the code as it is.
void RwErrorSetCode(RwUInt32 code);
// A plugin's or toolkit's report: the code under its own id.
void RwErrorSetPlugin(RwInt32 pluginID, RwUInt32 code);
// The driver's "plugin error" (code E_RW_PLUGINERROR under the engine modules' id) with what failed. The
// text (static, or null) stays readable through RwErrorPluginMessage until RwErrorGet takes the error.
void RwErrorSetPluginMessage(const RwChar* message);
const RwChar* RwErrorPluginMessage();

// Engine module (plugin id 0x40F).
RwInt32 _rwErrorModuleAttach();
void* RwErrorModuleOpen(void* instance, RwInt32 offset, RwInt32 size);
void* RwErrorModuleClose(void* instance, RwInt32 offset, RwInt32 size);
