// Materials: how the triangles that use them are drawn (texture, colour, surface lighting, pipeline), and the
// material lists that geometries embed and their triangles index.
#pragma once

#include "rwsdk/src/plcore/color.h"
#include "rwsdk/src/plcore/plugin.h"
#include "rwsdk/src/plcore/types.h"

struct RwTexture;
struct RwPipeline;
struct RwStream;

constexpr RwUInt32 rwID_MATERIALMODULE = 0x501;
constexpr RwUInt32 rwID_RIGHTTORENDER = 0x1F;

struct RpMaterial {
    RwTexture* texture; // holds one texture reference
    RwRGBA color;
    RwPipeline* pipeline; // null: the default material pipeline
    RwSurfaceProperties surfaceProps;
    RwInt16 refCount;
    RwInt16 pad;
};

// Every entry holds one material reference.
struct RpMaterialList {
    RpMaterial** materials;
    RwInt32 numMaterials;
    RwInt32 space;
};

typedef RpMaterial* (*RpMaterialCallBack)(RpMaterial* material, void* data);

RpMaterial* RpMaterialCreate();
// Drops one reference; the last frees the material and its texture reference.
RwBool RpMaterialDestroy(RpMaterial* material);
RpMaterial* RpMaterialClone(RpMaterial* material);
inline RpMaterial* RpMaterialAddRef(RpMaterial* material) {
    ++material->refCount;
    return material;
}
// Takes a reference on the new texture (null for none) and drops the old one.
RpMaterial* RpMaterialSetTexture(RpMaterial* material, RwTexture* texture);
inline RwTexture* RpMaterialGetTexture(const RpMaterial* material) {
    return material->texture;
}
inline RpMaterial* RpMaterialSetColor(RpMaterial* material, const RwRGBA* color) {
    material->color = *color;
    return material;
}
inline const RwRGBA* RpMaterialGetColor(const RpMaterial* material) {
    return &material->color;
}
inline RpMaterial* RpMaterialSetSurfaceProperties(RpMaterial* material, const RwSurfaceProperties* props) {
    material->surfaceProps = *props;
    return material;
}
inline const RwSurfaceProperties* RpMaterialGetSurfaceProperties(const RpMaterial* material) {
    return &material->surfaceProps;
}
// Null resets them to 1, 1, 1.
void RpMaterialSetDefaultSurfaceProperties(const RwSurfaceProperties* props);
const RwSurfaceProperties* RpMaterialGetDefaultSurfaceProperties();

RwInt32 RpMaterialRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                                 RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB);
RwInt32 RpMaterialRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                       RwPluginDataChunkWriteCallBack writeCB,
                                       RwPluginDataChunkGetSizeCallBack getSizeCB);
RwInt32 RpMaterialSetStreamRightsCallBack(RwUInt32 pluginID, RwPluginDataChunkRightsCallBack rightsCB);
RwInt32 RpMaterialGetPluginOffset(RwUInt32 pluginID);
const RwPluginRegistry* RpMaterialGetRegistry();

RpMaterialList* RpMaterialListInitialize(RpMaterialList* list);
RpMaterialList* RpMaterialListDeinitialize(RpMaterialList* list);
inline RpMaterial* RpMaterialListGetMaterial(const RpMaterialList* list, RwInt32 index) {
    return list->materials[index];
}
inline RwInt32 RpMaterialListGetNumMaterials(const RpMaterialList* list) {
    return list->numMaterials;
}
RwInt32 RpMaterialListAppendMaterial(RpMaterialList* list, RpMaterial* material);
RwInt32 RpMaterialListFindMaterialIndex(const RpMaterialList* list, const RpMaterial* material);

// Readers: the stream stands after the chunk's header. Writers write the whole chunk, header first; the
// sizes are those of the payload (the size in the header).
RpMaterial* RpMaterialStreamRead(RwStream* stream);
RpMaterialList* RpMaterialListStreamRead(RwStream* stream, RpMaterialList* list);
// Bytes of room that holds the array of a list of count entries in another allocation.
size_t _rpMaterialListRoomSize(RwInt32 count);
// As RpMaterialListStreamRead, with the array placed in room (8-byte aligned) when it fits there; such an
// array goes with the room's allocation (a list that outgrows it moves to an allocation of its own).
RpMaterialList* _rpMaterialListStreamReadInto(RwStream* stream, RpMaterialList* list, void* room,
                                              size_t roomSize);
RwUInt32 RpMaterialStreamGetSize(const RpMaterial* material);
const RpMaterial* RpMaterialStreamWrite(const RpMaterial* material, RwStream* stream);
RwUInt32 RpMaterialListStreamGetSize(const RpMaterialList* list);
const RpMaterialList* RpMaterialListStreamWrite(const RpMaterialList* list, RwStream* stream);

// Engine module 0x501 (registered by the world plugin).
RwInt32 _rpMaterialModuleAttach();
