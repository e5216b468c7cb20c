#include "rwsdk/src/texture.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/rwstring.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/texread.h"

#include <cstddef>
#include <cstring>

namespace {

RwModuleInfo textureModule;
RwPluginRegistry textureTKList = {sizeof(RwTexture), sizeof(RwTexture), 0, nullptr, nullptr};
RwPluginRegistry texDictTKList = {sizeof(RwTextureDictionary), sizeof(RwTextureDictionary), 0, nullptr,
                                  nullptr};

constexpr RwUInt32 textureListHint = rwMEMHINTDUR_GLOBAL | 0x6;
constexpr RwUInt32 textureHint = rwMEMHINTDUR_EVENT | 0x6;
constexpr RwUInt32 texDictListHint = rwMEMHINTDUR_GLOBAL | rwID_TEXTUREMODULE;
constexpr RwUInt32 texDictHint = rwMEMHINTDUR_EVENT | 0x16;

RwTextureModuleData* TextureData() {
    return RWMODULEDATA(RwTextureModuleData, textureModule);
}

void CopyName(RwChar* field, const RwChar* name) {
    _rwStringCopyName(field, rwTEXTUREBASENAMELENGTH, name);
}

// Equal ignoring the case of the ASCII letters a-z only.
bool SameName(const RwChar* a, const RwChar* b) {
    const auto fold = [](RwChar c) { return c >= 'a' && c <= 'z' ? RwChar(c - 'a' + 'A') : c; };
    for (;; ++a, ++b) {
        if (fold(*a) != fold(*b))
            return false;
        if (!*a)
            return true;
    }
}

RwTexture* TextureOf(RwLLLink* link) {
    return rwLLLinkGetData(link, RwTexture, lInDictionary);
}

RwTextureDictionary* DictionaryOf(RwLLLink* link) {
    return rwLLLinkGetData(link, RwTextureDictionary, lInInstance);
}

bool InDictionaryList(const RwTextureDictionary* dict) {
    RwLinkList* list = &TextureData()->texDictList;
    for (RwLLLink* link = rwLinkListGetFirstLLLink(list); link != rwLinkListGetTerminator(list);
         link = link->next)
        if (DictionaryOf(link) == dict)
            return true;
    return false;
}

} // namespace

RwInt32 _rwTextureModuleAttach() {
    return RwEngineRegisterPlugin(sizeof(RwTextureModuleData), rwID_TEXTUREMODULE, RwTextureModuleOpen,
                                  RwTextureModuleClose);
}

void* RwTextureModuleOpen(void* instance, RwInt32 offset, RwInt32 /*size*/) {
    textureModule.globalsOffset = offset;
    auto* data = RWPLUGINOFFSET(RwTextureModuleData, instance, offset);
    std::memset(static_cast<void*>(data), 0, sizeof(RwTextureModuleData));
    data->textureFreeList = RwFreeListCreate(textureTKList.sizeOfStruct, 64, 16, textureListHint);
    if (!data->textureFreeList)
        return nullptr;
    data->texDictFreeList = RwFreeListCreate(texDictTKList.sizeOfStruct, 8, 16, texDictListHint);
    if (!data->texDictFreeList) {
        RwFreeListDestroy(data->textureFreeList);
        data->textureFreeList = nullptr;
        return nullptr;
    }
    rwLinkListInitialize(&data->texDictList);
    ++textureModule.numInstances;
    data->openDictionary = RwTexDictionaryCreate();
    if (!data->openDictionary) {
        --textureModule.numInstances;
        RwFreeListDestroy(data->texDictFreeList);
        RwFreeListDestroy(data->textureFreeList);
        data->texDictFreeList = data->textureFreeList = nullptr;
        return nullptr;
    }
    data->currentTexDict = data->openDictionary;
    data->textureReadFunc = RwTextureDefaultRead;
    data->textureFindFunc = RwTextureDefaultFind;
    data->mipmapGenerationFunc = RwTextureGenerateMipLevels;
    data->mipmapNameFunc = RwTextureMipLevelName;
    return instance;
}

void* RwTextureModuleClose(void* instance, RwInt32 offset, RwInt32 /*size*/) {
    auto* data = RWPLUGINOFFSET(RwTextureModuleData, instance, offset);
    if (data->scratchMem) {
        RwFree(data->scratchMem);
        data->scratchMem = nullptr;
        data->scratchMemSize = 0;
    }
    if (data->openDictionary && InDictionaryList(data->openDictionary))
        RwTexDictionaryDestroy(data->openDictionary);
    data->openDictionary = nullptr;
    if (data->texDictFreeList)
        RwFreeListDestroy(data->texDictFreeList);
    if (data->textureFreeList)
        RwFreeListDestroy(data->textureFreeList);
    data->texDictFreeList = data->textureFreeList = nullptr;
    --textureModule.numInstances;
    return instance;
}

RwTexture* RwTextureCreate(RwRaster* raster) {
    auto* texture =
        static_cast<RwTexture*>(RwFreeListEntryAlloc(TextureData()->textureFreeList, textureHint));
    if (!texture) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(static_cast<void*>(texture), 0, size_t(textureTKList.sizeOfStruct));
    texture->raster = raster;
    texture->dict = nullptr;
    rwLLLinkInitialize(&texture->lInDictionary);
    texture->refCount = 1;
    texture->filterAddressing = rwFILTERNEAREST | (rwTEXTUREADDRESSWRAP << 8) | (rwTEXTUREADDRESSWRAP << 12);
    if (!RwPluginRegistryInitObject(&textureTKList, texture)) {
        RwFreeListEntryFree(TextureData()->textureFreeList, texture);
        return nullptr;
    }
    return texture;
}

RwBool RwTextureDestroy(RwTexture* texture) {
    if (--texture->refCount > 0)
        return TRUE;
    RwPluginRegistryDeInitObject(&textureTKList, texture);
    RwTexDictionaryRemoveTexture(texture);
    if (texture->raster)
        RwRasterDestroy(texture->raster);
    RwFreeListEntryFree(TextureData()->textureFreeList, texture);
    return TRUE;
}

RwTexture* RwTextureAddRef(RwTexture* texture) {
    ++texture->refCount;
    return texture;
}

RwTexture* RwTextureSetName(RwTexture* texture, const RwChar* name) {
    CopyName(texture->name, name);
    return texture;
}

RwTexture* RwTextureSetMaskName(RwTexture* texture, const RwChar* maskName) {
    CopyName(texture->mask, maskName);
    return texture;
}

RwTexture* RwTextureSetRaster(RwTexture* texture, RwRaster* raster) {
    texture->raster = raster;
    return texture;
}

RwInt32 RwTextureRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                                RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB) {
    return RwPluginRegistryAddPlugin(&textureTKList, size, pluginID, constructCB, destructCB, copyCB);
}

RwInt32 RwTextureRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                      RwPluginDataChunkWriteCallBack writeCB,
                                      RwPluginDataChunkGetSizeCallBack getSizeCB) {
    return RwPluginRegistryAddPluginStream(&textureTKList, pluginID, readCB, writeCB, getSizeCB);
}

RwInt32 RwTextureGetPluginOffset(RwUInt32 pluginID) {
    return RwPluginRegistryGetPluginOffset(&textureTKList, pluginID);
}

const RwPluginRegistry* RwTextureGetRegistry() {
    return &textureTKList;
}

RwBool RwTextureRasterGenerateMipmaps(RwRaster* raster, RwImage* image) {
    RwTextureCallBackMipmapGeneration generate = TextureData()->mipmapGenerationFunc;
    return generate && generate(raster, image) ? TRUE : FALSE;
}

RwTextureDictionary* RwTexDictionaryCreate() {
    RwTextureModuleData* data = TextureData();
    auto* dict = static_cast<RwTextureDictionary*>(RwFreeListEntryAlloc(data->texDictFreeList, texDictHint));
    if (!dict) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(static_cast<void*>(dict), 0, size_t(texDictTKList.sizeOfStruct));
    dict->object.type = rwTEXDICTIONARY;
    rwLinkListInitialize(&dict->texturesInDict);
    rwLinkListAddLLLink(&data->texDictList, &dict->lInInstance);
    if (!RwPluginRegistryInitObject(&texDictTKList, dict)) {
        rwLLLinkRemove(&dict->lInInstance);
        RwFreeListEntryFree(data->texDictFreeList, dict);
        return nullptr;
    }
    return dict;
}

RwBool RwTexDictionaryDestroy(RwTextureDictionary* dict) {
    RwTextureModuleData* data = TextureData();
    if (data->currentTexDict == dict)
        data->currentTexDict = nullptr;
    RwLLLink* terminator = rwLinkListGetTerminator(&dict->texturesInDict);
    for (RwLLLink* link = rwLinkListGetFirstLLLink(&dict->texturesInDict); link != terminator;) {
        RwLLLink* next = link->next;
        RwTexture* texture = TextureOf(link);
        // The dictionary's reference goes; a texture that others still hold leaves the dictionary.
        RwTexDictionaryRemoveTexture(texture);
        RwTextureDestroy(texture);
        link = next;
    }
    RwPluginRegistryDeInitObject(&texDictTKList, dict);
    rwLLLinkRemove(&dict->lInInstance);
    if (data->openDictionary == dict)
        data->openDictionary = nullptr;
    RwFreeListEntryFree(data->texDictFreeList, dict);
    return TRUE;
}

RwTexture* RwTexDictionaryAddTexture(RwTextureDictionary* dict, RwTexture* texture) {
    RwTexDictionaryRemoveTexture(texture);
    texture->dict = dict;
    rwLinkListAddLLLink(&dict->texturesInDict, &texture->lInDictionary);
    return texture;
}

RwTexture* RwTexDictionaryRemoveTexture(RwTexture* texture) {
    if (texture->dict) {
        rwLLLinkRemove(&texture->lInDictionary);
        rwLLLinkInitialize(&texture->lInDictionary);
        texture->dict = nullptr;
    }
    return texture;
}

RwTexture* RwTexDictionaryFindNamedTexture(RwTextureDictionary* dict, const RwChar* name) {
    RwLLLink* terminator = rwLinkListGetTerminator(&dict->texturesInDict);
    for (RwLLLink* link = rwLinkListGetFirstLLLink(&dict->texturesInDict); link != terminator;
         link = link->next) {
        RwTexture* texture = TextureOf(link);
        if (SameName(texture->name, name))
            return texture;
    }
    return nullptr;
}

const RwTextureDictionary* RwTexDictionaryForAllTextures(const RwTextureDictionary* dict,
                                                         RwTextureCallBack callBack, void* data) {
    auto* list = const_cast<RwLinkList*>(&dict->texturesInDict);
    RwLLLink* terminator = rwLinkListGetTerminator(list);
    for (RwLLLink* link = rwLinkListGetFirstLLLink(list); link != terminator;) {
        RwLLLink* next = link->next;
        if (!callBack(TextureOf(link), data))
            break;
        link = next;
    }
    return dict;
}

RwBool RwTexDictionaryForAllTexDictionaries(RwTexDictionaryCallBack callBack, void* data) {
    RwLinkList* list = &TextureData()->texDictList;
    RwLLLink* terminator = rwLinkListGetTerminator(list);
    for (RwLLLink* link = rwLinkListGetFirstLLLink(list); link != terminator;) {
        RwLLLink* next = link->next;
        if (!callBack(DictionaryOf(link), data))
            break;
        link = next;
    }
    return TRUE;
}

RwTextureDictionary* RwTexDictionaryGetCurrent() {
    return TextureData()->currentTexDict;
}

RwTextureDictionary* RwTexDictionarySetCurrent(RwTextureDictionary* dict) {
    TextureData()->currentTexDict = dict;
    return dict;
}

RwInt32 RwTexDictionaryRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                                      RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB) {
    return RwPluginRegistryAddPlugin(&texDictTKList, size, pluginID, constructCB, destructCB, copyCB);
}

RwBool RwTextureSetReadCallBack(RwTextureCallBackRead callBack) {
    TextureData()->textureReadFunc = callBack;
    return TRUE;
}

RwTextureCallBackRead RwTextureGetReadCallBack() {
    return TextureData()->textureReadFunc;
}

RwBool RwTextureSetFindCallBack(RwTextureCallBackFind callBack) {
    TextureData()->textureFindFunc = callBack;
    return TRUE;
}

RwTextureCallBackFind RwTextureGetFindCallBack() {
    return TextureData()->textureFindFunc;
}

RwBool RwTextureSetMipmapGenerationCallBack(RwTextureCallBackMipmapGeneration callBack) {
    TextureData()->mipmapGenerationFunc = callBack;
    return TRUE;
}

RwTextureCallBackMipmapGeneration RwTextureGetMipmapGenerationCallBack() {
    return TextureData()->mipmapGenerationFunc;
}

RwBool RwTextureSetMipmapNameCallBack(RwTextureCallBackMipmapName callBack) {
    TextureData()->mipmapNameFunc = callBack;
    return TRUE;
}

RwTextureCallBackMipmapName RwTextureGetMipmapNameCallBack() {
    return TextureData()->mipmapNameFunc;
}

RwBool RwTextureSetMipmapping(RwBool enable) {
    TextureData()->haveTexMipmaps = enable;
    return TRUE;
}

RwBool RwTextureGetMipmapping() {
    return TextureData()->haveTexMipmaps;
}

RwBool RwTextureSetAutoMipmapping(RwBool enable) {
    TextureData()->generateTexMipmaps = enable;
    return TRUE;
}

RwBool RwTextureGetAutoMipmapping() {
    return TextureData()->generateTexMipmaps;
}
