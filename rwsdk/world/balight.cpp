// Light module: lights, their setters and the light chunk.
#include "rwsdk/world/balight.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct LightModuleData {
    RwFreeList* freeList;
};

RwModuleInfo lightModule;
RwPluginRegistry lightTKList = {sizeof(RpLight), sizeof(RpLight), 0, nullptr, nullptr};
RwUInt16 lightUpdateCounter = 0;

constexpr RwUInt32 lightHint = rwMEMHINTDUR_EVENT | rwID_LIGHT;
constexpr RwUInt32 lightStructSize = 24;

LightModuleData* LightData() {
    return RWMODULEDATA(LightModuleData, lightModule);
}

RwObjectHasFrame* LightSync(RwObjectHasFrame* object) {
    return object;
}

void DestroyLightEntry(void* entry, void*) {
    auto* light = static_cast<RpLight*>(entry);
    RwPluginRegistryDeInitObject(&lightTKList, light);
    RwObjectReleaseFrame(&light->object);
    RwFreeListEntryFree(LightData()->freeList, light);
}

void* LightOpen(void* instance, RwInt32 offset, RwInt32) {
    lightModule.globalsOffset = offset;
    auto* data = RWPLUGINOFFSET(LightModuleData, instance, offset);
    data->freeList = RwFreeListCreate(lightTKList.sizeOfStruct, 16, 4, rwMEMHINTDUR_GLOBAL | rwID_LIGHT);
    if (!data->freeList)
        return nullptr;
    ++lightModule.numInstances;
    return instance;
}

void* LightClose(void* instance, RwInt32 offset, RwInt32) {
    auto* data = RWPLUGINOFFSET(LightModuleData, instance, offset);
    if (data->freeList) {
        RwFreeListForAllUsed(data->freeList, DestroyLightEntry, nullptr);
        RwFreeListDestroy(data->freeList);
    }
    data->freeList = nullptr;
    --lightModule.numInstances;
    return instance;
}

RwReal LoadReal(const RwUInt8* p) {
    RwReal value;
    std::memcpy(&value, p, sizeof(value));
    return value;
}

} // namespace

RwInt32 _rpLightModuleAttach() {
    return RwEngineRegisterPlugin(sizeof(LightModuleData), rwID_LIGHTMODULE, LightOpen, LightClose);
}

RwUInt16* _rpLightUpdateCounter() {
    return &lightUpdateCounter;
}

RpLight* RpLightCreate(RwInt32 type) {
    auto* light = static_cast<RpLight*>(RwFreeListEntryAlloc(LightData()->freeList, lightHint));
    if (!light) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(static_cast<void*>(light), 0, size_t(lightTKList.sizeOfStruct));
    light->object.object.type = rwLIGHT;
    light->object.object.subType = RwUInt8(type);
    light->object.object.flags = rpLIGHTLIGHTATOMICS | rpLIGHTLIGHTWORLD;
    light->object.object.privateFlags = 1; // white: red = green = blue
    light->object.sync = LightSync;
    light->radius = 0;
    light->color = {1.0f, 1.0f, 1.0f, 1.0f};
    light->minusCosAngle = 0;
    rwLinkListInitialize(&light->WorldSectorsInLight);
    light->lightFrame = RwUInt16(lightUpdateCounter - 1);
    if (!RwPluginRegistryInitObject(&lightTKList, light)) {
        RwFreeListEntryFree(LightData()->freeList, light);
        return nullptr;
    }
    return light;
}

RwBool RpLightDestroy(RpLight* light) {
    DestroyLightEntry(light, nullptr);
    return TRUE;
}

RpLight* RpLightSetRadius(RpLight* light, RwReal radius) {
    light->radius = radius;
    if (RwFrame* frame = RpLightGetFrame(light))
        RwFrameUpdateObjects(frame);
    return light;
}

RpLight* RpLightSetColor(RpLight* light, const RwRGBAReal* color) {
    light->color = *color;
    light->object.object.privateFlags = color->red == color->green && color->green == color->blue ? 1 : 0;
    return light;
}

RwReal _rpLightArcCos(RwReal x) {
    // acos(x) = pi/2 - asin(x); asin from a rational approximation in x^2 near 0, and through the half-angle
    // identity acos(|x|) = 2 asin(sqrt((1 - |x|) / 2)) beyond 0.5.
    const RwReal pio2Hi = 1.5707962513e+00f, pio2Lo = 7.5497894159e-08f;
    auto ratio = [](RwReal z) {
        const RwReal p =
            z * (0.16666667f +
                 z * (-0.32556581f +
                      z * (0.20121253f + z * (-4.0055536e-2f + z * (7.91535e-4f + z * 3.479331e-5f)))));
        const RwReal q = 1.0f + z * (-2.403395f + z * (2.0209458f + z * (-0.688284f + z * 7.7038154e-2f)));
        return p / q;
    };
    if (x >= 1.0f)
        return 0.0f;
    if (x <= -1.0f)
        return 2.0f * pio2Hi + 2.0f * pio2Lo;
    const RwReal ax = std::fabs(x);
    if (ax < 0.5f) {
        const RwReal z = x * x;
        return pio2Hi - (x - (pio2Lo - x * ratio(z)));
    }
    const RwReal z = (1.0f - ax) * 0.5f;
    const RwReal s = std::sqrt(z);
    const RwReal w = ratio(z) * s + s;
    return x < 0 ? 2.0f * pio2Hi - 2.0f * w + 2.0f * pio2Lo : 2.0f * w;
}

RwReal RpLightGetConeAngle(const RpLight* light) {
    const RwReal c = -light->minusCosAngle;
    if (light->minusCosAngle >= 1.0f)
        return 3.1415927f;
    if (light->minusCosAngle <= -1.0f)
        return 0.0f;
    return _rpLightArcCos(c);
}

RpLight* RpLightSetConeAngle(RpLight* light, RwReal angle) {
    light->minusCosAngle = -std::cos(angle);
    return light;
}

RwInt32 RpLightRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                              RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB) {
    return RwPluginRegistryAddPlugin(&lightTKList, size, pluginID, constructCB, destructCB, copyCB);
}

RwInt32 RpLightRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                    RwPluginDataChunkWriteCallBack writeCB,
                                    RwPluginDataChunkGetSizeCallBack getSizeCB) {
    return RwPluginRegistryAddPluginStream(&lightTKList, pluginID, readCB, writeCB, getSizeCB);
}

RwInt32 RpLightGetPluginOffset(RwUInt32 pluginID) {
    return RwPluginRegistryGetPluginOffset(&lightTKList, pluginID);
}

const RwPluginRegistry* RpLightGetRegistry() {
    return &lightTKList;
}

RpLight* RpLightStreamRead(RwStream* stream) {
    RwUInt32 length = 0;
    if (!RwStreamFindChunk(stream, rwID_STRUCT, &length, nullptr))
        return nullptr;
    // A shorter struct leaves the missing fields 0; a longer one's excess is not ours.
    RwUInt8 record[lightStructSize] = {};
    const RwUInt32 kept = std::min(length, lightStructSize);
    if (RwStreamRead(stream, record, kept) != kept ||
        (length > kept && !RwStreamSkip(stream, length - kept))) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    const RwUInt16 flags = RwUInt16(record[20] | record[21] << 8);
    const RwUInt16 type = RwUInt16(record[22] | record[23] << 8);
    RpLight* light = RpLightCreate(type);
    if (!light)
        return nullptr;
    light->radius = LoadReal(record);
    const RwRGBAReal color = {LoadReal(record + 4), LoadReal(record + 8), LoadReal(record + 12), 1.0f};
    RpLightSetColor(light, &color);
    light->minusCosAngle = LoadReal(record + 16);
    light->object.object.flags = RwUInt8(flags);
    if (!RwPluginRegistryReadDataChunks(&lightTKList, stream, light)) {
        RpLightDestroy(light);
        return nullptr;
    }
    return light;
}

RwUInt32 RpLightStreamGetSize(const RpLight* light) {
    return rwCHUNKHEADERSIZE + lightStructSize + rwCHUNKHEADERSIZE +
           RwPluginRegistryGetPluginStreamSize(&lightTKList, light);
}

const RpLight* RpLightStreamWrite(const RpLight* light, RwStream* stream) {
    const RwReal reals[5] = {light->radius, light->color.red, light->color.green, light->color.blue,
                             light->minusCosAngle};
    const RwInt32 flagsAndType =
        RwInt32(RwUInt32(light->object.object.flags) | RwUInt32(light->object.object.subType) << 16);
    if (!RwStreamWriteEngineChunkHeader(stream, rwID_LIGHT, RpLightStreamGetSize(light)) ||
        !RwStreamWriteEngineChunkHeader(stream, rwID_STRUCT, lightStructSize) ||
        !RwStreamWriteReal(stream, reals, sizeof(reals)) || !RwStreamWriteInt32(stream, &flagsAndType, 4) ||
        !RwPluginRegistryWriteDataChunks(&lightTKList, stream, light))
        return nullptr;
    return light;
}
