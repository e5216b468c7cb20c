// Material effects: the per-material effect data, its stream, and the flag on atomics and world sectors.
#include "rwsdk/plugin/matfx/rpmatfx.h"

#include "rwsdk/driver/d3d9/d3d9rasterlock.h"
#include "rwsdk/plugin/matfx/d3d9/effectpipesd3d9.h"
#include "rwsdk/src/babintex.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/resample.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/world/baclump.h"
#include "rwsdk/world/bamateri.h"
#include "rwsdk/world/bawrld.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr RwUInt32 dataListHint = rwMEMHINTDUR_GLOBAL | rwID_MATERIALEFFECTSPLUGIN;
constexpr RwUInt32 dataHint = rwMEMHINTDUR_EVENT | rwID_MATERIALEFFECTSPLUGIN;
// Engine blend functions: source alpha, inverse source alpha.
constexpr RwUInt32 blendSrcAlpha = 5, blendInvSrcAlpha = 6;
// The texture reader's code for a texture that could not be found or loaded.
constexpr RwInt32 textureNotRead = 0x16;

RwInt32 materialOffset = -1, atomicOffset = -1, sectorOffset = -1;
RwInt32 engineOpens = 0;
RwFreeList* dataList = nullptr;

// The slot types each kind sets up.
constexpr RwUInt32 slotTypes[rpMATFXNUMEFFECTS][2] = {
    {rpMATFXTYPENULL, rpMATFXTYPENULL},        {rpMATFXTYPEBUMPMAP, rpMATFXTYPENULL},
    {rpMATFXTYPEENVMAP, rpMATFXTYPENULL},      {rpMATFXTYPEBUMPMAP, rpMATFXTYPEENVMAP},
    {rpMATFXTYPEDUAL, rpMATFXTYPENULL},        {rpMATFXTYPEUVTRANSFORM, rpMATFXTYPENULL},
    {rpMATFXTYPEUVTRANSFORM, rpMATFXTYPEDUAL},
};

RpMatFXMaterialData*& DataOf(const RpMaterial* material) {
    return *RWPLUGINOFFSET(RpMatFXMaterialData*, const_cast<RpMaterial*>(material), materialOffset);
}

RwUInt32& FlagOf(const void* object, RwInt32 offset) {
    return *RWPLUGINOFFSET(RwUInt32, const_cast<void*>(object), offset);
}

void DropTexture(RwTexture*& texture) {
    if (texture)
        RwTextureDestroy(texture);
    texture = nullptr;
}

// Replaces a counted texture reference.
void StoreTexture(RwTexture*& slot, RwTexture* texture) {
    if (texture)
        RwTextureAddRef(texture);
    DropTexture(slot);
    slot = texture;
}

RpMatFXEffect* FindEffect(RpMatFXMaterialData* data, RwUInt32 type) {
    if (!data)
        return nullptr;
    for (RpMatFXEffect& e : data->effect)
        if (e.effectType == type)
            return &e;
    return nullptr;
}

void ReleaseData(RpMatFXMaterialData* data) {
    for (RpMatFXEffect& e : data->effect) {
        switch (e.effectType) {
        case rpMATFXTYPEBUMPMAP:
            DropTexture(e.data.bumpMap.bumpedTexture);
            DropTexture(e.data.bumpMap.bumpTexture);
            break;
        case rpMATFXTYPEENVMAP:
            DropTexture(e.data.envMap.texture);
            break;
        case rpMATFXTYPEDUAL:
            DropTexture(e.data.dual.texture);
            break;
        case rpMATFXTYPEUVTRANSFORM:
            e.data.uvTransform = {nullptr, nullptr};
            break;
        default:
            break;
        }
    }
    std::memset(static_cast<void*>(data), 0, sizeof *data);
}

RwReal InverseWidth(const RwTexture* texture) {
    // A texture without a raster, or an empty one, gives no shift rather than a division by zero.
    const RwRaster* raster = texture ? texture->raster : nullptr;
    return raster && RwRasterGetWidth(raster) > 0 ? 1.0f / RwReal(RwRasterGetWidth(raster)) : 0.0f;
}

// Material plugin callbacks ------------------------------------------------------------------------------

void* MaterialConstruct(void* object, RwInt32 offset, RwInt32) {
    *RWPLUGINOFFSET(RpMatFXMaterialData*, object, offset) = nullptr;
    return object;
}

void* MaterialDestruct(void* object, RwInt32 offset, RwInt32) {
    RpMatFXMaterialData*& data = *RWPLUGINOFFSET(RpMatFXMaterialData*, object, offset);
    if (data) {
        ReleaseData(data);
        if (dataList)
            RwFreeListFree(dataList, data);
        data = nullptr;
    }
    return object;
}

void* MaterialCopy(void* dstObject, const void* srcObject, RwInt32, RwInt32) {
    auto* dst = static_cast<RpMaterial*>(dstObject);
    const RpMatFXMaterialData* src = DataOf(static_cast<const RpMaterial*>(srcObject));
    if (!src || !RpMatFXMaterialSetEffects(dst, src->flags))
        return dstObject;
    RpMatFXMaterialData* data = DataOf(dst);
    for (int i = 0; i < 2; ++i) {
        const RpMatFXEffect& from = src->effect[i];
        RpMatFXEffect& to = data->effect[i];
        switch (from.effectType) {
        case rpMATFXTYPEBUMPMAP:
            to.data.bumpMap.frame = from.data.bumpMap.frame;
            to.data.bumpMap.coefficient = from.data.bumpMap.coefficient;
            to.data.bumpMap.invBumpWidth = from.data.bumpMap.invBumpWidth;
            StoreTexture(to.data.bumpMap.bumpedTexture, from.data.bumpMap.bumpedTexture);
            StoreTexture(to.data.bumpMap.bumpTexture, from.data.bumpMap.bumpTexture);
            break;
        case rpMATFXTYPEENVMAP:
            to.data.envMap.frame = from.data.envMap.frame;
            to.data.envMap.coefficient = from.data.envMap.coefficient;
            to.data.envMap.useFrameBufferAlpha = from.data.envMap.useFrameBufferAlpha;
            StoreTexture(to.data.envMap.texture, from.data.envMap.texture);
            break;
        case rpMATFXTYPEDUAL:
            to.data.dual.srcBlendMode = from.data.dual.srcBlendMode;
            to.data.dual.dstBlendMode = from.data.dual.dstBlendMode;
            StoreTexture(to.data.dual.texture, from.data.dual.texture);
            break;
        case rpMATFXTYPEUVTRANSFORM:
            to.data.uvTransform = from.data.uvTransform;
            break;
        default:
            break;
        }
    }
    return dstObject;
}

// Reads within the sub-chunk's bytes only; a short read is a read error.
struct BoundedReader : _rwBoundedRead {
    BoundedReader(RwStream* stream, RwUInt32 length) : _rwBoundedRead{stream, length, E_RW_READ} {}

    // A flag, then when it is set a texture chunk. A chunk that yields no texture leaves *out null and is
    // accepted unless the reader left an error other than a missing one behind.
    bool Texture(RwTexture** out) {
        *out = nullptr;
        RwUInt32 present;
        if (!U32(&present))
            return false;
        if (!present)
            return true;
        RwUInt32 type = 0, length = 0, version = 0;
        if (left < rwCHUNKHEADERSIZE || !RwStreamReadChunkHeader(stream, &type, &length, &version, nullptr))
            return false;
        left -= rwCHUNKHEADERSIZE;
        if (type != rwID_TEXTURE || length > left) {
            RwErrorSetCode(E_RW_READ);
            return false;
        }
        if (!RwChunkVersionAccepted(version)) {
            RwErrorSetCode(E_RW_BADVERSION);
            return false;
        }
        RwError pending = {0, RwInt32(E_RW_NOERROR)};
        RwErrorGet(&pending);
        const RwUInt32 start = stream->position;
        *out = RwTextureStreamRead(stream);
        const RwUInt32 used = stream->position - start;
        // Stay in step with the chunk however far the texture reader got.
        if (used > length || (used < length && !RwStreamSkip(stream, length - used))) {
            DropTexture(*out);
            RwErrorSetCode(E_RW_READ);
            return false;
        }
        left -= length;
        if (*out)
            return true;
        RwError error = {0, RwInt32(E_RW_NOERROR)};
        RwErrorGet(&error);
        if (pending.errorCode != RwInt32(E_RW_NOERROR))
            RwErrorSet(&pending); // what was pending before this read still wins
        if (error.errorCode == RwInt32(E_RW_NOERROR) || error.errorCode == textureNotRead)
            return true;
        RwErrorSet(&error);
        return false;
    }
};

bool ReadSlotBody(BoundedReader& in, RpMaterial* material, RwUInt32 type) {
    RpMatFXMaterialData* data = DataOf(material);
    RpMatFXEffect* slot = FindEffect(data, type);
    switch (type) {
    case rpMATFXTYPEBUMPMAP: {
        RwReal coefficient;
        RwTexture *first = nullptr, *second = nullptr;
        if (!in.Real(&coefficient) || !in.Texture(&first) || !in.Texture(&second)) {
            DropTexture(first);
            return false;
        }
        bool ok = true;
        if (slot) {
            RpMatFXBumpMapData& bump = slot->data.bumpMap;
            if (first) {
                StoreTexture(bump.bumpedTexture, first);
                StoreTexture(bump.bumpTexture, second);
                bump.invBumpWidth = InverseWidth(first);
            } else if (second) {
                ok = RpMatFXMaterialSetBumpMapTexture(material, second) != nullptr;
            } else {
                DropTexture(bump.bumpedTexture);
                DropTexture(bump.bumpTexture);
                bump.invBumpWidth = 0.0f;
            }
            bump.coefficient = -coefficient;
        }
        DropTexture(first);
        DropTexture(second);
        return ok;
    }
    case rpMATFXTYPEENVMAP: {
        RwReal coefficient;
        RwUInt32 useAlpha;
        RwTexture* texture = nullptr;
        if (!in.Real(&coefficient) || !in.U32(&useAlpha) || !in.Texture(&texture))
            return false;
        if (slot) {
            if (texture)
                StoreTexture(slot->data.envMap.texture, texture);
            slot->data.envMap.coefficient = coefficient;
            slot->data.envMap.useFrameBufferAlpha = useAlpha;
        }
        DropTexture(texture);
        return true;
    }
    case rpMATFXTYPEDUAL: {
        RwUInt32 src, dst;
        RwTexture* texture = nullptr;
        if (!in.U32(&src) || !in.U32(&dst) || !in.Texture(&texture))
            return false;
        if (slot) {
            if (texture)
                StoreTexture(slot->data.dual.texture, texture);
            RpMatFXMaterialSetDualBlendModes(material, src, dst);
        }
        DropTexture(texture);
        return true;
    }
    default:
        return true;
    }
}

RwStream* MaterialRead(RwStream* stream, RwInt32 length, void* object, RwInt32, RwInt32) {
    auto* material = static_cast<RpMaterial*>(object);
    BoundedReader in(stream, std::min(RwUInt32(length), RwStreamBytesLeft(stream)));
    RwUInt32 kind;
    if (!in.U32(&kind))
        return nullptr;
    if (kind >= rpMATFXNUMEFFECTS) {
        RwErrorSetCode(E_RW_READ); // a kind no writer makes: the bytes are not effect data
        return nullptr;
    }
    if (!RpMatFXMaterialSetEffects(material, kind))
        return nullptr;
    for (int i = 0; i < 2; ++i) {
        RwUInt32 type;
        if (!in.U32(&type) || !ReadSlotBody(in, material, type))
            return nullptr;
    }
    return stream;
}

RwUInt32 TextureSize(const RwTexture* texture) {
    return texture ? rwCHUNKHEADERSIZE + RwTextureStreamGetSize(texture) + 4 : 4;
}

RwInt32 MaterialSize(const void* object, RwInt32, RwInt32) {
    const RpMatFXMaterialData* data = DataOf(static_cast<const RpMaterial*>(object));
    if (!data || data->flags == rpMATFXEFFECTNULL)
        return 0;
    RwUInt32 size = 4;
    for (const RpMatFXEffect& e : data->effect) {
        size += 4;
        switch (e.effectType) {
        case rpMATFXTYPEBUMPMAP:
            size += 4 + TextureSize(e.data.bumpMap.bumpedTexture) + TextureSize(e.data.bumpMap.bumpTexture);
            break;
        case rpMATFXTYPEENVMAP:
            size += 8 + TextureSize(e.data.envMap.texture);
            break;
        case rpMATFXTYPEDUAL:
            size += 8 + TextureSize(e.data.dual.texture);
            break;
        default:
            break;
        }
    }
    return RwInt32(size);
}

bool WriteU32(RwStream* stream, RwUInt32 value) {
    const RwUInt8 b[4] = {RwUInt8(value), RwUInt8(value >> 8), RwUInt8(value >> 16), RwUInt8(value >> 24)};
    return RwStreamWrite(stream, b, 4) != nullptr;
}

bool WriteReal(RwStream* stream, RwReal value) {
    return WriteU32(stream, std::bit_cast<RwUInt32>(value));
}

bool WriteTexture(RwStream* stream, const RwTexture* texture) {
    return WriteU32(stream, texture ? 1 : 0) && (!texture || RwTextureStreamWrite(texture, stream));
}

RwStream* MaterialWrite(RwStream* stream, RwInt32, const void* object, RwInt32, RwInt32) {
    const RpMatFXMaterialData* data = DataOf(static_cast<const RpMaterial*>(object));
    if (!data || data->flags == rpMATFXEFFECTNULL)
        return stream;
    if (!WriteU32(stream, data->flags))
        return nullptr;
    for (const RpMatFXEffect& e : data->effect) {
        if (!WriteU32(stream, e.effectType))
            return nullptr;
        bool ok = true;
        switch (e.effectType) {
        case rpMATFXTYPEBUMPMAP:
            ok = WriteReal(stream, -e.data.bumpMap.coefficient) &&
                 WriteTexture(stream, e.data.bumpMap.bumpedTexture) &&
                 WriteTexture(stream, e.data.bumpMap.bumpTexture);
            break;
        case rpMATFXTYPEENVMAP:
            ok = WriteReal(stream, e.data.envMap.coefficient) &&
                 WriteU32(stream, e.data.envMap.useFrameBufferAlpha) &&
                 WriteTexture(stream, e.data.envMap.texture);
            break;
        case rpMATFXTYPEDUAL:
            ok = WriteU32(stream, e.data.dual.srcBlendMode) && WriteU32(stream, e.data.dual.dstBlendMode) &&
                 WriteTexture(stream, e.data.dual.texture);
            break;
        default:
            break;
        }
        if (!ok)
            return nullptr;
    }
    return stream;
}

// Atomic and sector flag ------------------------------------------------------------------------------------

void* FlagConstruct(void* object, RwInt32 offset, RwInt32) {
    FlagOf(object, offset) = 0;
    return object;
}

void* FlagDestruct(void* object, RwInt32 offset, RwInt32) {
    FlagOf(object, offset) = 0;
    return object;
}

void* AtomicFlagCopy(void* dst, const void* src, RwInt32 offset, RwInt32) {
    if (FlagOf(src, offset))
        RpMatFXAtomicEnableEffects(static_cast<RpAtomic*>(dst));
    return dst;
}

void* SectorFlagCopy(void* dst, const void* src, RwInt32 offset, RwInt32) {
    if (FlagOf(src, offset))
        RpMatFXWorldSectorEnableEffects(static_cast<RpWorldSector*>(dst));
    return dst;
}

RwInt32 FlagSize(const void* object, RwInt32 offset, RwInt32) {
    return FlagOf(object, offset) ? 4 : 0;
}

RwStream* FlagWrite(RwStream* stream, RwInt32, const void* object, RwInt32 offset, RwInt32) {
    return WriteU32(stream, FlagOf(object, offset)) ? stream : nullptr;
}

RwStream* AtomicFlagRead(RwStream* stream, RwInt32 length, void* object, RwInt32, RwInt32) {
    BoundedReader in(stream, RwUInt32(length));
    RwUInt32 flag;
    if (!in.U32(&flag))
        return nullptr;
    if (flag)
        RpMatFXAtomicEnableEffects(static_cast<RpAtomic*>(object));
    return stream;
}

RwStream* SectorFlagRead(RwStream* stream, RwInt32 length, void* object, RwInt32, RwInt32) {
    BoundedReader in(stream, RwUInt32(length));
    RwUInt32 flag;
    if (!in.U32(&flag))
        return nullptr;
    if (flag)
        RpMatFXWorldSectorEnableEffects(static_cast<RpWorldSector*>(object));
    return stream;
}

// Engine ----------------------------------------------------------------------------------------------------

void* EngineOpen(void* instance, RwInt32, RwInt32) {
    if (engineOpens == 0) {
        dataList = RwFreeListCreateAndPreallocateSpace(RwInt32(sizeof(RpMatFXMaterialData)), 128, 4, 1,
                                                       nullptr, dataListHint);
        if (!dataList)
            return nullptr;
        if (!RpMatFXPipelinesCreate()) {
            RwFreeListDestroy(dataList);
            dataList = nullptr;
            return nullptr;
        }
    }
    ++engineOpens;
    return instance;
}

void* EngineClose(void* instance, RwInt32, RwInt32) {
    if (engineOpens > 0 && --engineOpens == 0) {
        RpMatFXPipelinesDestroy();
        if (dataList)
            RwFreeListDestroy(dataList);
        dataList = nullptr;
    }
    return instance;
}

// The interleaved name's bumped texture, made from the material's texture (white without one) with the
// bump texture's brightness as its alpha.
RwTexture* BuildBumpedTexture(const RwTexture* base, RwTexture* bump, const RwChar* name) {
    RwRaster* bumpRaster = bump->raster;
    RwRaster* baseRaster = base ? base->raster : nullptr;
    if (RwD3D9RasterIsCompressed(bumpRaster) || (baseRaster && RwD3D9RasterIsCompressed(baseRaster)))
        return nullptr;
    const RwRaster* sizeRaster = baseRaster ? baseRaster : bumpRaster;
    const RwInt32 width = RwRasterGetWidth(sizeRaster), height = RwRasterGetHeight(sizeRaster);
    RwImage* image = RwImageCreate(width, height, 32);
    if (!image || !RwImageAllocatePixels(image)) {
        if (image)
            RwImageDestroy(image);
        return nullptr;
    }
    bool ok = true;
    if (baseRaster)
        ok = RwImageSetFromRaster(image, baseRaster) != nullptr;
    else
        for (RwInt32 y = 0; y < height; ++y)
            std::memset(image->pixels + y * image->stride, 0xFF, size_t(width) * 4);
    RwImage* mask =
        ok ? RwImageCreate(RwRasterGetWidth(bumpRaster), RwRasterGetHeight(bumpRaster), 32) : nullptr;
    ok = mask && RwImageAllocatePixels(mask) && RwImageSetFromRaster(mask, bumpRaster);
    if (ok && (mask->width != width || mask->height != height)) {
        RwImage* resampled = RwImageCreateResampled(mask, width, height);
        RwImageDestroy(mask);
        mask = resampled;
        ok = mask != nullptr;
    }
    RwTexture* texture = nullptr;
    if (ok) {
        for (RwInt32 y = 0; y < height; ++y) {
            RwUInt8* to = image->pixels + y * image->stride;
            const RwUInt8* from = mask->pixels + y * mask->stride;
            for (RwInt32 x = 0; x < width; ++x)
                to[4 * x + 3] = std::max({from[4 * x], from[4 * x + 1], from[4 * x + 2]});
        }
        RwInt32 w, h, depth, format;
        if (RwImageFindRasterFormat(image, rwRASTERTYPETEXTURE, &w, &h, &depth, &format)) {
            const RwRaster* source = baseRaster ? baseRaster : bumpRaster;
            if (RwRasterGetFormat(source) & rwRASTERFORMATAUTOMIPMAP)
                format |= rwRASTERFORMATAUTOMIPMAP | rwRASTERFORMATMIPMAP;
            RwRaster* raster = RwRasterCreate(w, h, depth, format);
            if (raster && RwRasterSetFromImage(raster, image))
                texture = RwTextureCreate(raster);
            if (!texture && raster)
                RwRasterDestroy(raster);
        }
    }
    if (mask)
        RwImageDestroy(mask);
    RwImageDestroy(image);
    if (!texture)
        return nullptr;
    const RwTexture* sampling = base ? base : bump;
    RwTextureSetFilterMode(texture, RwTextureGetFilterMode(sampling));
    const RwTextureAddressMode u = RwTextureGetAddressingU(sampling), v = RwTextureGetAddressingV(sampling);
    RwTextureSetAddressing(texture, u == v ? u : RwTextureAddressMode(0));
    RwTextureSetName(texture, name);
    if (RwTextureDictionary* dict = RwTexDictionaryGetCurrent())
        RwTexDictionaryAddTexture(dict, texture);
    return texture;
}

RpMatFXEffect* EffectForSetter(RpMaterial* material, RwUInt32 type) {
    RpMatFXEffect* effect = FindEffect(DataOf(material), type);
    if (!effect)
        RwErrorSetCode(E_RW_BADPARAM);
    return effect;
}

} // namespace

void _rpMatFXBumpedTextureName(RwChar out[32], const RwChar* base, const RwChar* bump) {
    size_t n = 0, i = 0, j = 0;
    while (n < 30 && (base[i] || bump[j])) {
        if (base[i])
            out[n++] = base[i++];
        if (n < 30 && bump[j])
            out[n++] = bump[j++];
    }
    out[n] = '\0';
}

RwBool RpMatFXPluginAttach() {
    if (RwEngineRegisterPlugin(0, rwID_MATERIALEFFECTSPLUGIN, EngineOpen, EngineClose) < 0)
        return FALSE;
    materialOffset =
        RpMaterialRegisterPlugin(RwInt32(sizeof(RpMatFXMaterialData*)), rwID_MATERIALEFFECTSPLUGIN,
                                 MaterialConstruct, MaterialDestruct, MaterialCopy);
    if (materialOffset < 0 || RpMaterialRegisterPluginStream(rwID_MATERIALEFFECTSPLUGIN, MaterialRead,
                                                             MaterialWrite, MaterialSize) < 0)
        return FALSE;
    atomicOffset =
        RpAtomicRegisterPlugin(4, rwID_MATERIALEFFECTSPLUGIN, FlagConstruct, FlagDestruct, AtomicFlagCopy);
    if (atomicOffset < 0 ||
        RpAtomicRegisterPluginStream(rwID_MATERIALEFFECTSPLUGIN, AtomicFlagRead, FlagWrite, FlagSize) < 0)
        return FALSE;
    sectorOffset = RpWorldSectorRegisterPlugin(4, rwID_MATERIALEFFECTSPLUGIN, FlagConstruct, FlagDestruct,
                                               SectorFlagCopy);
    return sectorOffset >= 0 && RpWorldSectorRegisterPluginStream(rwID_MATERIALEFFECTSPLUGIN, SectorFlagRead,
                                                                  FlagWrite, FlagSize) >= 0;
}

RpMaterial* RpMatFXMaterialSetEffects(RpMaterial* material, RwUInt32 kind) {
    if (kind >= rpMATFXNUMEFFECTS) {
        RwErrorSetCode(E_RW_BADPARAM);
        return nullptr;
    }
    RpMatFXMaterialData*& data = DataOf(material);
    if (!data) {
        if (!dataList) {
            RwErrorSetCode(E_RW_BADENGINESTATE);
            return nullptr;
        }
        data = static_cast<RpMatFXMaterialData*>(RwFreeListAlloc(dataList, dataHint));
        if (!data) {
            RwErrorSetCode(E_RW_NOMEM);
            return nullptr;
        }
        std::memset(static_cast<void*>(data), 0, sizeof *data);
    }
    const RwUInt32 old = data->flags;
    if (kind == rpMATFXEFFECTNULL || (old != rpMATFXEFFECTNULL && kind != old))
        ReleaseData(data);
    const bool fresh = data->flags == rpMATFXEFFECTNULL;
    data->flags = kind;
    for (int i = 0; i < 2; ++i) {
        RpMatFXEffect& e = data->effect[i];
        e.effectType = slotTypes[kind][i];
        if (fresh && e.effectType == rpMATFXTYPEDUAL) {
            e.data.dual.srcBlendMode = blendSrcAlpha;
            e.data.dual.dstBlendMode = blendInvSrcAlpha;
        }
    }
    return material;
}

RwUInt32 RpMatFXMaterialGetEffects(const RpMaterial* material) {
    const RpMatFXMaterialData* data = materialOffset < 0 ? nullptr : DataOf(material);
    return data ? data->flags : rpMATFXEFFECTNULL;
}

RpMatFXMaterialData* RpMatFXMaterialGetData(const RpMaterial* material) {
    return materialOffset < 0 ? nullptr : DataOf(material);
}

RpMatFXEffect* RpMatFXMaterialFindEffect(const RpMaterial* material, RwUInt32 type) {
    return FindEffect(RpMatFXMaterialGetData(material), type);
}

RpMaterial* RpMatFXMaterialSetBumpMapTexture(RpMaterial* material, RwTexture* bumpTexture) {
    RpMatFXEffect* effect = EffectForSetter(material, rpMATFXTYPEBUMPMAP);
    if (!effect)
        return nullptr;
    RpMatFXBumpMapData& bump = effect->data.bumpMap;
    DropTexture(bump.bumpTexture);
    DropTexture(bump.bumpedTexture);
    bump.invBumpWidth = 0.0f;
    const RwTexture* base = material->texture;
    if (!bumpTexture) {
        bump.invBumpWidth = InverseWidth(base);
        return material;
    }
    StoreTexture(bump.bumpTexture, bumpTexture);
    const RwRaster* bumpRaster = bumpTexture->raster;
    const RwRaster* baseRaster = base ? base->raster : nullptr;
    // Without pixels there is nothing to build from (a material texture without a raster counts as one of
    // width 0).
    if (!bumpRaster || RwRasterGetWidth(bumpRaster) == 0 ||
        (base && (!baseRaster || RwRasterGetWidth(baseRaster) == 0)))
        return material;
    RwChar name[32];
    _rpMatFXBumpedTextureName(name, base ? base->name : bumpTexture->name, bumpTexture->name);
    RwTexture* found = nullptr;
    if (RwTextureDictionary* dict = RwTexDictionaryGetCurrent())
        found = RwTexDictionaryFindNamedTexture(dict, name);
    if (found) {
        bump.bumpedTexture = RwTextureAddRef(found);
    } else {
        bump.bumpedTexture = BuildBumpedTexture(base, bumpTexture, name);
        if (!bump.bumpedTexture)
            return nullptr;
    }
    bump.invBumpWidth = InverseWidth(bump.bumpedTexture);
    return material;
}

RpMaterial* RpMatFXMaterialSetBumpMapCoefficient(RpMaterial* material, RwReal coefficient) {
    RpMatFXEffect* effect = EffectForSetter(material, rpMATFXTYPEBUMPMAP);
    if (!effect)
        return nullptr;
    effect->data.bumpMap.coefficient = -coefficient;
    return material;
}

RpMaterial* RpMatFXMaterialSetEnvMapTexture(RpMaterial* material, RwTexture* texture) {
    RpMatFXEffect* effect = EffectForSetter(material, rpMATFXTYPEENVMAP);
    if (!effect)
        return nullptr;
    StoreTexture(effect->data.envMap.texture, texture);
    return material;
}

RpMaterial* RpMatFXMaterialSetEnvMapCoefficient(RpMaterial* material, RwReal coefficient) {
    RpMatFXEffect* effect = EffectForSetter(material, rpMATFXTYPEENVMAP);
    if (!effect)
        return nullptr;
    effect->data.envMap.coefficient = coefficient;
    return material;
}

RpMaterial* RpMatFXMaterialSetEnvMapFrameBufferAlpha(RpMaterial* material, RwBool useFrameBufferAlpha) {
    RpMatFXEffect* effect = EffectForSetter(material, rpMATFXTYPEENVMAP);
    if (!effect)
        return nullptr;
    effect->data.envMap.useFrameBufferAlpha = useFrameBufferAlpha ? 1 : 0;
    return material;
}

RpMaterial* RpMatFXMaterialSetDualTexture(RpMaterial* material, RwTexture* texture) {
    RpMatFXEffect* effect = EffectForSetter(material, rpMATFXTYPEDUAL);
    if (!effect)
        return nullptr;
    StoreTexture(effect->data.dual.texture, texture);
    return material;
}

RpMaterial* RpMatFXMaterialSetDualBlendModes(RpMaterial* material, RwUInt32 srcBlend, RwUInt32 dstBlend) {
    RpMatFXEffect* effect = EffectForSetter(material, rpMATFXTYPEDUAL);
    if (!effect)
        return nullptr;
    effect->data.dual.srcBlendMode = srcBlend;
    effect->data.dual.dstBlendMode = dstBlend;
    return material;
}

RpMaterial* RpMatFXMaterialSetUVTransformMatrices(RpMaterial* material, RwMatrix* base, RwMatrix* dual) {
    RpMatFXEffect* effect = EffectForSetter(material, rpMATFXTYPEUVTRANSFORM);
    if (!effect)
        return nullptr;
    effect->data.uvTransform = {base, dual};
    return material;
}

RpAtomic* RpMatFXAtomicEnableEffects(RpAtomic* atomic) {
    RwUInt32& flag = FlagOf(atomic, atomicOffset);
    if (!flag) {
        atomic->pipeline = RpMatFXGetAtomicPipeline();
        flag = 1;
    }
    return atomic;
}

RwBool RpMatFXAtomicQueryEffects(const RpAtomic* atomic) {
    return atomicOffset >= 0 && FlagOf(atomic, atomicOffset) ? TRUE : FALSE;
}

RpWorldSector* RpMatFXWorldSectorEnableEffects(RpWorldSector* sector) {
    RwUInt32& flag = FlagOf(sector, sectorOffset);
    if (!flag) {
        sector->pipeline = RpMatFXGetWorldSectorPipeline();
        flag = 1;
    }
    return sector;
}

RwBool RpMatFXWorldSectorQueryEffects(const RpWorldSector* sector) {
    return sectorOffset >= 0 && FlagOf(sector, sectorOffset) ? TRUE : FALSE;
}
