#include "rwsdk/src/babintex.h"

#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/rwstring.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/texread.h"

namespace {

// Set when the raster's levels are stored or read level by level rather than generated.
constexpr RwUInt32 samplingLevelFiles = 0x10000;

RwUInt32 SamplingWord(const RwTexture* texture) {
    RwUInt32 word = texture->filterAddressing & 0xFFFF;
    if (texture->raster && !(RwRasterGetFormat(texture->raster) & rwRASTERFORMATAUTOMIPMAP))
        word |= samplingLevelFiles;
    return word;
}

RwUInt32 StringChunkSize(const RwChar* string) {
    return rwCHUNKHEADERSIZE + RwUInt32(RwStringStreamGetSize(string));
}

} // namespace

RwUInt32 RwTextureStreamGetSize(const RwTexture* texture) {
    return rwCHUNKHEADERSIZE + 4 + StringChunkSize(texture->name) + StringChunkSize(texture->mask) +
           rwCHUNKHEADERSIZE + RwUInt32(RwPluginRegistryGetPluginStreamSize(RwTextureGetRegistry(), texture));
}

RwTexture* RwTextureStreamWrite(const RwTexture* texture, RwStream* stream) {
    const RwUInt32 sampling = SamplingWord(texture);
    const RwInt32 stored = RwInt32(sampling);
    if (!RwStreamWriteEngineChunkHeader(stream, rwID_TEXTURE, RwTextureStreamGetSize(texture)) ||
        !RwStreamWriteEngineChunkHeader(stream, rwID_STRUCT, 4) || !RwStreamWriteInt32(stream, &stored, 4) ||
        !RwStringStreamWrite(texture->name, stream) || !RwStringStreamWrite(texture->mask, stream) ||
        !RwPluginRegistryWriteDataChunks(RwTextureGetRegistry(), stream, texture))
        return nullptr;
    return const_cast<RwTexture*>(texture);
}

RwTexture* RwTextureStreamRead(RwStream* stream) {
    RwUInt32 length = 0, version = 0;
    if (!RwStreamFindChunk(stream, rwID_STRUCT, &length, &version))
        return nullptr;
    if (!RwChunkVersionAccepted(version)) {
        RwErrorSetCode(E_RW_BADVERSION);
        return nullptr;
    }
    // The first 4 bytes are the sampling word; anything longer is stepped over.
    RwUInt8 bytes[4];
    if (length < 4 || RwStreamRead(stream, bytes, 4) != 4 ||
        (length > 4 && !RwStreamSkip(stream, length - 4)))
        return nullptr;
    RwUInt32 sampling =
        RwUInt32(bytes[0]) | RwUInt32(bytes[1]) << 8 | RwUInt32(bytes[2]) << 16 | RwUInt32(bytes[3]) << 24;
    if (((sampling >> 12) & 0xF) == 0)
        sampling |= ((sampling >> 8) & 0xF) << 12;

    const RwBool savedMip = RwTextureGetMipmapping();
    const RwBool savedAuto = RwTextureGetAutoMipmapping();
    const RwUInt32 filter = sampling & 0xFF;
    if (filter >= rwFILTERMIPNEAREST && filter <= rwFILTERLINEARMIPLINEAR) {
        RwTextureSetMipmapping(TRUE);
        RwTextureSetAutoMipmapping((sampling & samplingLevelFiles) ? FALSE : TRUE);
    } else {
        RwTextureSetMipmapping(FALSE);
        RwTextureSetAutoMipmapping(FALSE);
    }
    const auto restore = [&] {
        RwTextureSetMipmapping(savedMip);
        RwTextureSetAutoMipmapping(savedAuto);
    };

    RwChar name[rwTEXTUREBASENAMELENGTH];
    RwChar mask[rwTEXTUREBASENAMELENGTH];
    if (!RwStringStreamRead(name, stream, sizeof name) || !RwStringStreamRead(mask, stream, sizeof mask)) {
        restore();
        return nullptr;
    }
    RwTexture* texture = RwTextureRead(name, mask);
    if (!texture) {
        RwPluginRegistrySkipDataChunks(stream);
        restore();
        return nullptr;
    }
    if (texture->refCount == 1)
        texture->filterAddressing = sampling & 0xFFFF;
    restore();
    if (!RwPluginRegistryReadDataChunks(RwTextureGetRegistry(), stream, texture)) {
        RwTextureDestroy(texture);
        return nullptr;
    }
    return texture;
}
