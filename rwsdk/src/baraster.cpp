#include "rwsdk/src/baraster.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/resources.h"

#include <cstring>

namespace {

RwModuleInfo rasterModule;
RwPluginRegistry rasterTKList = {sizeof(RwRaster), sizeof(RwRaster), 0, nullptr, nullptr};

constexpr RwUInt32 rasterListHint = rwMEMHINTDUR_GLOBAL | rwID_RASTERMODULE;

RwRasterModuleData* RasterData() {
    return RWMODULEDATA(RwRasterModuleData, rasterModule);
}

RwBool Standard(RwInt32 slot, void* out, void* in, RwInt32 number) {
    return RWSRCGLOBAL(stdFunc)[slot](out, in, number);
}

} // namespace

RwInt32 _rwRasterModuleAttach() {
    return RwEngineRegisterPlugin(sizeof(RwRasterModuleData), rwID_RASTERMODULE, RwRasterModuleOpen,
                                  RwRasterModuleClose);
}

void* RwRasterModuleOpen(void* instance, RwInt32 offset, RwInt32 /*size*/) {
    rasterModule.globalsOffset = offset;
    auto* data = RWPLUGINOFFSET(RwRasterModuleData, instance, offset);
    std::memset(static_cast<void*>(data), 0, sizeof(RwRasterModuleData));
    data->dummyRaster.cFlags = rwRASTERDONTALLOCATE;
    data->dummyRaster.parentRaster = &data->dummyRaster;
    data->rasterSP = 0;
    data->rasterStack[0] = &data->dummyRaster;
    data->rasterFreeList = RwFreeListCreate(rasterTKList.sizeOfStruct, 32, 16, rasterListHint);
    if (!data->rasterFreeList)
        return nullptr;
    ++rasterModule.numInstances;
    return instance;
}

void* RwRasterModuleClose(void* instance, RwInt32 offset, RwInt32 /*size*/) {
    auto* data = RWPLUGINOFFSET(RwRasterModuleData, instance, offset);
    if (data->rasterFreeList)
        RwFreeListDestroy(data->rasterFreeList);
    data->rasterFreeList = nullptr;
    --rasterModule.numInstances;
    return instance;
}

RwRaster* RwRasterCreate(RwInt32 width, RwInt32 height, RwInt32 depth, RwInt32 flags) {
    auto* raster = static_cast<RwRaster*>(RwFreeListEntryAlloc(RasterData()->rasterFreeList, rasterListHint));
    if (!raster) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(static_cast<void*>(raster), 0, size_t(rasterTKList.sizeOfStruct));
    raster->parentRaster = raster;
    raster->width = width;
    raster->height = height;
    raster->depth = depth;
    if (!Standard(rwSTANDARDRASTERCREATE, nullptr, raster, flags)) {
        RwFreeListEntryFree(RasterData()->rasterFreeList, raster);
        return nullptr;
    }
    RwPluginRegistryInitObject(&rasterTKList, raster);
    return raster;
}

RwBool RwRasterDestroy(RwRaster* raster) {
    RwPluginRegistryDeInitObject(&rasterTKList, raster);
    Standard(rwSTANDARDRASTERDESTROY, nullptr, raster, 0);
    RwFreeListEntryFree(RasterData()->rasterFreeList, raster);
    return TRUE;
}

RwUInt8* RwRasterLock(RwRaster* raster, RwUInt8 level, RwInt32 lockMode) {
    RwUInt8* pixels = nullptr;
    if (!Standard(rwSTANDARDRASTERLOCK, &pixels, raster, (RwInt32(level) << 8) | lockMode))
        return nullptr;
    return pixels;
}

RwRaster* RwRasterUnlock(RwRaster* raster) {
    Standard(rwSTANDARDRASTERUNLOCK, nullptr, raster, 0);
    return raster;
}

RwUInt8* RwRasterLockPalette(RwRaster* raster, RwInt32 lockMode) {
    RwUInt8* palette = nullptr;
    if (!Standard(rwSTANDARDRASTERLOCKPALETTE, &palette, raster, lockMode))
        return nullptr;
    return palette;
}

RwRaster* RwRasterUnlockPalette(RwRaster* raster) {
    Standard(rwSTANDARDRASTERUNLOCKPALETTE, nullptr, raster, 0);
    raster->privateFlags &= RwUInt8(~(rwRASTERPALETTELOCKED | rwRASTERPALETTELOCKEDWRITE));
    return raster;
}

RwInt32 RwRasterGetNumLevels(RwRaster* raster) {
    if (!(RwRasterGetFormat(raster) & rwRASTERFORMATMIPMAP))
        return 1;
    RwInt32 count = 0;
    return Standard(rwSTANDARDRASTERGETMIPLEVELS, &count, raster, 0) ? count : -1;
}

RwRaster* RwRasterSubRaster(RwRaster* raster, RwRaster* parentRaster, const RwRect* rect) {
    if (!(raster->cFlags & rwRASTERDONTALLOCATE))
        return nullptr;
    raster->width = rect->w;
    raster->height = rect->h;
    raster->nOffsetX = RwInt16(parentRaster->nOffsetX + rect->x);
    raster->nOffsetY = RwInt16(parentRaster->nOffsetY + rect->y);
    if (!Standard(rwSTANDARDRASTERSUBRASTER, raster, parentRaster, 0))
        return nullptr;
    raster->parentRaster = parentRaster->parentRaster;
    return raster;
}

RwRaster* RwRasterShowRaster(RwRaster* raster, void* dev, RwUInt32 flags) {
    // A shown raster ends the frame: the arena's entries of this frame become the older ones.
    RwResourcesNextFrame();
    return Standard(rwSTANDARDRASTERSHOWRASTER, raster, dev, RwInt32(flags)) ? raster : nullptr;
}

RwRaster* RwRasterGetCurrentContext() {
    RwRasterModuleData* data = RasterData();
    return data->rasterStack[data->rasterSP];
}

RwInt32 RwRasterRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                               RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB) {
    return RwPluginRegistryAddPlugin(&rasterTKList, size, pluginID, constructCB, destructCB, copyCB);
}

RwInt32 RwRasterGetPluginOffset(RwUInt32 pluginID) {
    return RwPluginRegistryGetPluginOffset(&rasterTKList, pluginID);
}
