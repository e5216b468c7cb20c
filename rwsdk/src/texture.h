// Textures: named, reference-counted rasters with sampling settings; texture dictionaries: named sets of
// textures, one of which may be current.
#pragma once

#include "rwsdk/src/baimage.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/plugin.h"
#include "rwsdk/src/plcore/types.h"
#include "rwsdk/src/renderstate.h"

constexpr RwInt32 rwTEXTUREBASENAMELENGTH = 32;

struct RwTextureDictionary;

struct RwTexture {
    RwRaster* raster;
    RwTextureDictionary* dict;
    RwLLLink lInDictionary;
    RwChar name[rwTEXTUREBASENAMELENGTH];
    RwChar mask[rwTEXTUREBASENAMELENGTH];
    RwUInt32 filterAddressing; // bits 0..7 filter, 8..11 addressing in u, 12..15 in v
    RwInt32 refCount;
};

struct RwTextureDictionary {
    RwObject object;
    RwLinkList texturesInDict;
    RwLLLink lInInstance;
};

typedef RwTexture* (*RwTextureCallBackRead)(const RwChar* name, const RwChar* maskName);
typedef RwTexture* (*RwTextureCallBackFind)(const RwChar* name);
typedef RwTexture* (*RwTextureCallBack)(RwTexture* texture, void* data);
typedef RwTextureDictionary* (*RwTexDictionaryCallBack)(RwTextureDictionary* dict, void* data);
// Builds the lower mip levels of a raster, from the image when there is one.
typedef RwBool (*RwTextureCallBackMipmapGeneration)(RwRaster* raster, RwImage* image);
// Names the image file of a mip level.
typedef RwBool (*RwTextureCallBackMipmapName)(RwChar* name, RwChar* maskName, RwUInt8 mipLevel,
                                              RwInt32 format);

// The texture module's block in the engine instance.
struct RwTextureModuleData {
    RwLinkList texDictList;
    RwFreeList* textureFreeList;
    RwFreeList* texDictFreeList;
    RwTextureDictionary* currentTexDict;
    RwTextureCallBackRead textureReadFunc;
    RwTextureCallBackFind textureFindFunc;
    RwBool haveTexMipmaps;
    RwBool generateTexMipmaps;
    RwChar* scratchMem;
    RwUInt16 scratchMemSize;
    RwTextureCallBackMipmapGeneration mipmapGenerationFunc;
    RwTextureCallBackMipmapName mipmapNameFunc;
    RwTextureDictionary* openDictionary; // the one made at open
};

// Core module 0x408.
RwInt32 _rwTextureModuleAttach();
void* RwTextureModuleOpen(void* instance, RwInt32 offset, RwInt32 size);
void* RwTextureModuleClose(void* instance, RwInt32 offset, RwInt32 size);

RwTexture* RwTextureCreate(RwRaster* raster);
RwBool RwTextureDestroy(RwTexture* texture);
RwTexture* RwTextureAddRef(RwTexture* texture);
RwTexture* RwTextureSetName(RwTexture* texture, const RwChar* name);
RwTexture* RwTextureSetMaskName(RwTexture* texture, const RwChar* maskName);
RwTexture* RwTextureSetRaster(RwTexture* texture, RwRaster* raster);
RwInt32 RwTextureRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                                RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB);
RwInt32 RwTextureRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                      RwPluginDataChunkWriteCallBack writeCB,
                                      RwPluginDataChunkGetSizeCallBack getSizeCB);
RwInt32 RwTextureGetPluginOffset(RwUInt32 pluginID);
const RwPluginRegistry* RwTextureGetRegistry();
RwBool RwTextureRasterGenerateMipmaps(RwRaster* raster, RwImage* image);

RwTextureDictionary* RwTexDictionaryCreate();
RwBool RwTexDictionaryDestroy(RwTextureDictionary* dict);
RwTexture* RwTexDictionaryAddTexture(RwTextureDictionary* dict, RwTexture* texture);
RwTexture* RwTexDictionaryRemoveTexture(RwTexture* texture);
RwTexture* RwTexDictionaryFindNamedTexture(RwTextureDictionary* dict, const RwChar* name);
const RwTextureDictionary* RwTexDictionaryForAllTextures(const RwTextureDictionary* dict,
                                                         RwTextureCallBack callBack, void* data);
RwBool RwTexDictionaryForAllTexDictionaries(RwTexDictionaryCallBack callBack, void* data);
RwTextureDictionary* RwTexDictionaryGetCurrent();
RwTextureDictionary* RwTexDictionarySetCurrent(RwTextureDictionary* dict);
RwInt32 RwTexDictionaryRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                                      RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB);

// The long names used across the engine.
inline RwTextureDictionary* RwTextureDictionaryCreate() {
    return RwTexDictionaryCreate();
}
inline RwBool RwTextureDictionaryDestroy(RwTextureDictionary* dict) {
    return RwTexDictionaryDestroy(dict);
}
inline void RwTextureDictionaryAddTexture(RwTextureDictionary* dict, RwTexture* texture) {
    RwTexDictionaryAddTexture(dict, texture);
}
inline RwTexture* RwTextureDictionaryFindNamedTexture(RwTextureDictionary* dict, const RwChar* name) {
    return RwTexDictionaryFindNamedTexture(dict, name);
}
inline const RwTextureDictionary* RwTextureDictionaryForAllTextures(const RwTextureDictionary* dict,
                                                                    RwTextureCallBack callBack, void* data) {
    return RwTexDictionaryForAllTextures(dict, callBack, data);
}
inline RwBool RwTextureDictionaryForAllDictionaries(RwTexDictionaryCallBack callBack, void* data) {
    return RwTexDictionaryForAllTexDictionaries(callBack, data);
}
inline RwTextureDictionary* RwTextureDictionaryGetCurrent() {
    return RwTexDictionaryGetCurrent();
}
inline RwTextureDictionary* RwTextureDictionarySetCurrent(RwTextureDictionary* dict) {
    return RwTexDictionarySetCurrent(dict);
}

RwBool RwTextureSetReadCallBack(RwTextureCallBackRead callBack);
RwTextureCallBackRead RwTextureGetReadCallBack();
RwBool RwTextureSetFindCallBack(RwTextureCallBackFind callBack);
RwTextureCallBackFind RwTextureGetFindCallBack();
RwBool RwTextureSetMipmapGenerationCallBack(RwTextureCallBackMipmapGeneration callBack);
RwTextureCallBackMipmapGeneration RwTextureGetMipmapGenerationCallBack();
RwBool RwTextureSetMipmapNameCallBack(RwTextureCallBackMipmapName callBack);
RwTextureCallBackMipmapName RwTextureGetMipmapNameCallBack();
inline RwBool RwTextureSetReadCallback(RwTextureCallBackRead callBack) {
    return RwTextureSetReadCallBack(callBack);
}
inline RwTextureCallBackRead RwTextureGetReadCallback() {
    return RwTextureGetReadCallBack();
}
RwBool RwTextureSetMipmapping(RwBool enable);
RwBool RwTextureGetMipmapping();
RwBool RwTextureSetAutoMipmapping(RwBool enable);
RwBool RwTextureGetAutoMipmapping();

inline RwRaster* RwTextureGetRaster(const RwTexture* texture) {
    return texture->raster;
}
inline const RwChar* RwTextureGetName(const RwTexture* texture) {
    return texture->name;
}
inline const RwChar* RwTextureGetMaskName(const RwTexture* texture) {
    return texture->mask;
}
inline RwTextureDictionary* RwTextureGetDictionary(const RwTexture* texture) {
    return texture->dict;
}
inline RwTexture* RwTextureSetFilterMode(RwTexture* texture, RwTextureFilterMode filter) {
    texture->filterAddressing = (texture->filterAddressing & ~0xFFu) | (RwUInt32(filter) & 0xFF);
    return texture;
}
inline RwTextureFilterMode RwTextureGetFilterMode(const RwTexture* texture) {
    return RwTextureFilterMode(texture->filterAddressing & 0xFF);
}
inline RwTexture* RwTextureSetAddressingU(RwTexture* texture, RwTextureAddressMode mode) {
    texture->filterAddressing = (texture->filterAddressing & ~0xF00u) | ((RwUInt32(mode) & 0xF) << 8);
    return texture;
}
inline RwTexture* RwTextureSetAddressingV(RwTexture* texture, RwTextureAddressMode mode) {
    texture->filterAddressing = (texture->filterAddressing & ~0xF000u) | ((RwUInt32(mode) & 0xF) << 12);
    return texture;
}
inline RwTexture* RwTextureSetAddressing(RwTexture* texture, RwTextureAddressMode mode) {
    return RwTextureSetAddressingV(RwTextureSetAddressingU(texture, mode), mode);
}
inline RwTextureAddressMode RwTextureGetAddressingU(const RwTexture* texture) {
    return RwTextureAddressMode((texture->filterAddressing >> 8) & 0xF);
}
inline RwTextureAddressMode RwTextureGetAddressingV(const RwTexture* texture) {
    return RwTextureAddressMode((texture->filterAddressing >> 12) & 0xF);
}
