#include "rwsdk/driver/d3d9/d3d9texdic.h"

#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/driver/d3d9/d3d9rasterlock.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/texture.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr RwUInt32 headerBytes = 100; // struct chunk header, native header, raster header
constexpr RwUInt8 flagAlpha = 1, flagCube = 2, flagAutoMips = 4, flagCompressed = 8;

bool IsCompressed(D3DFORMAT format) {
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

RwUInt32 PaletteBytes(RwInt32 formatWord) {
    if (formatWord & rwRASTERFORMATPAL8)
        return 1024;
    if (formatWord & rwRASTERFORMATPAL4)
        return 128;
    return 0;
}

void Put(std::vector<RwUInt8>& out, RwUInt32 v, int bytes) {
    for (int i = 0; i < bytes; i++)
        out.push_back(RwUInt8(v >> (8 * i)));
}

RwUInt32 Get(const RwUInt8* in, int bytes) {
    RwUInt32 v = 0;
    for (int i = 0; i < bytes; i++)
        v |= RwUInt32(in[i]) << (8 * i);
    return v;
}

// Bytes of a locked level: Pitch times its rows (block rows for DXT).
RwUInt32 LevelBytes(RwRaster* raster) {
    const RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    const RwUInt32 rows = IsCompressed(ext->d3dFormat) ? RwUInt32(std::max(1, (raster->height + 3) / 4))
                                                       : RwUInt32(raster->height);
    return RwUInt32(ext->lockedRect.Pitch) * rows;
}

RwInt32 StoredLevels(RwRaster* raster) {
    return (RwD3D9RasterExtension(raster)->autoMipMapping & 1) ? 1 : RwRasterGetNumLevels(raster);
}

// The raster types a record can hold: those whose pixels can be locked.
bool StorableType(RwInt32 type) {
    return type == rwRASTERTYPENORMAL || type == rwRASTERTYPETEXTURE || type == rwRASTERTYPECAMERATEXTURE;
}

// Points the raster's locks at a cube face (the cube field's high bits).
void SelectFace(RwRaster* raster, RwInt32 face) {
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    ext->cube = RwUInt8((face << 4) | (ext->cube & 0x0F));
}

// Visits every stored level of every face (six for a cube texture, in face order) locked for read; false
// when a lock fails or the visitor says stop. The face the raster had selected is kept.
template <class Visit> bool ForEachLevel(RwRaster* raster, Visit visit) {
    const RwInt32 levels = StoredLevels(raster);
    const RwUInt8 cubeField = RwD3D9RasterExtension(raster)->cube;
    const RwInt32 faces = (cubeField & 0x0F) ? 6 : 1;
    bool ok = true;
    for (RwInt32 face = 0; ok && face < faces; face++) {
        if (faces == 6)
            SelectFace(raster, face);
        for (RwInt32 level = 0; ok && level < levels; level++) {
            RwUInt8* pixels = RwRasterLock(raster, RwUInt8(level), rwRASTERLOCKREAD);
            if (!pixels) {
                ok = false;
                break;
            }
            ok = visit(pixels, LevelBytes(raster));
            RwRasterUnlock(raster);
        }
    }
    RwD3D9RasterExtension(raster)->cube = cubeField;
    return ok;
}

// The least a record's first level can hold: its blocks or pixels at the format's size; 0 for a format this
// driver does not know.
RwUInt64 MinimumLevelBytes(D3DFORMAT format, RwInt32 formatWord, RwInt32 width, RwInt32 height) {
    if (IsCompressed(format))
        return RwUInt64((width + 3) / 4) * RwUInt64((height + 3) / 4) * (format == D3DFMT_DXT1 ? 8 : 16);
    const RwD3D9FormatInfo* info = RwD3D9FindFormatInfo(format);
    RwInt32 depth = info ? info->depth : 0;
    if (depth == 0 && (formatWord & rwRASTERFORMATPIXELFORMATMASK))
        RwD3D9RasterFormatEntryOf(formatWord, nullptr, &depth, nullptr);
    return (RwUInt64(width) * RwUInt64(height) * RwUInt64(depth) + 7) / 8;
}

void CopyName(RwChar* field, const RwUInt8* stored) {
    std::memcpy(field, stored, rwTEXTUREBASENAMELENGTH);
    field[rwTEXTUREBASENAMELENGTH - 1] = '\0';
}

} // namespace

RwBool RwD3D9NativeTextureGetSize(void* sizeOut, void* textureIn, RwInt32) {
    auto* texture = static_cast<RwTexture*>(textureIn);
    RwRaster* raster = texture->raster;
    if (!raster || !StorableType(RwRasterGetType(raster)))
        return FALSE;
    RwUInt32 size = headerBytes + PaletteBytes(RwRasterGetFormat(raster));
    if (!ForEachLevel(raster, [&](RwUInt8*, RwUInt32 bytes) {
            size += 4 + bytes;
            return true;
        }))
        return FALSE;
    *static_cast<RwUInt32*>(sizeOut) = size;
    return TRUE;
}

RwBool RwD3D9NativeTextureWrite(void* streamIn, void* textureIn, RwInt32) {
    auto* stream = static_cast<RwStream*>(streamIn);
    auto* texture = static_cast<RwTexture*>(textureIn);
    RwUInt32 size = 0;
    if (!RwD3D9NativeTextureGetSize(&size, texture, 0))
        return FALSE;
    RwRaster* raster = texture->raster;
    const RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    std::vector<RwUInt8> header;
    Put(header, rwD3D9NATIVETEXTUREPLATFORM, 4);
    Put(header, texture->filterAddressing & 0xFFFF, 4);
    header.insert(header.end(), texture->name, texture->name + rwTEXTUREBASENAMELENGTH);
    header.insert(header.end(), texture->mask, texture->mask + rwTEXTUREBASENAMELENGTH);
    Put(header, RwUInt32(RwRasterGetFormat(raster)), 4);
    Put(header, RwUInt32(ext->d3dFormat), 4);
    Put(header, RwUInt32(raster->width), 2);
    Put(header, RwUInt32(raster->height), 2);
    Put(header, RwUInt32(raster->depth), 1);
    Put(header, RwUInt32(RwRasterGetNumLevels(raster)), 1);
    Put(header, RwUInt32(RwRasterGetType(raster)), 1);
    Put(header,
        (ext->alpha ? flagAlpha : 0) | ((ext->cube & 0x0F) ? flagCube : 0) |
            ((ext->autoMipMapping & 1) ? flagAutoMips : 0) |
            ((ext->autoMipMapping & 0x10) ? flagCompressed : 0),
        1);
    if (!RwStreamWriteEngineChunkHeader(stream, rwID_STRUCT, size - rwCHUNKHEADERSIZE) ||
        !RwStreamWrite(stream, header.data(), RwUInt32(header.size())))
        return FALSE;
    if (const RwUInt32 paletteBytes = PaletteBytes(RwRasterGetFormat(raster))) {
        RwUInt8* palette = RwRasterLockPalette(raster, rwRASTERLOCKREAD);
        if (!palette)
            return FALSE;
        const bool written = RwStreamWrite(stream, palette, paletteBytes) != nullptr;
        RwRasterUnlockPalette(raster);
        if (!written)
            return FALSE;
    }
    return ForEachLevel(raster, [&](RwUInt8* pixels, RwUInt32 bytes) {
        const RwInt32 count = RwInt32(bytes);
        return RwStreamWriteInt32(stream, &count, 4) && RwStreamWrite(stream, pixels, bytes);
    });
}

RwBool RwD3D9NativeTextureRead(void* streamIn, void* textureOut, RwInt32) {
    auto* stream = static_cast<RwStream*>(streamIn);
    RwUInt32 length = 0, version = 0;
    if (!RwStreamFindChunk(stream, rwID_STRUCT, &length, &version) || !RwChunkVersionAccepted(version))
        return FALSE;
    RwUInt8 header[88];
    if (RwStreamRead(stream, header, sizeof header) != sizeof header)
        return FALSE;
    if (Get(header, 4) != rwD3D9NATIVETEXTUREPLATFORM)
        return FALSE;
    const RwUInt32 sampling = Get(header + 4, 4);
    const RwInt32 formatWord = RwInt32(Get(header + 72, 4));
    const auto d3dFormat = D3DFORMAT(Get(header + 76, 4));
    const RwInt32 width = RwInt32(Get(header + 80, 2)), height = RwInt32(Get(header + 82, 2));
    const RwInt32 depth = header[84], mipCount = header[85], type = header[86] & rwRASTERTYPEMASK;
    const RwUInt8 flags = header[87];
    const bool cube = flags & flagCube;
    if (!StorableType(type) || width == 0 || height == 0 || (formatWord & ~rwRASTERFORMATMASK) != 0)
        return FALSE;
    // A cube's faces are square; render-target textures are flat and never compressed.
    if ((cube && (width != height || type == rwRASTERTYPECAMERATEXTURE)) ||
        (type == rwRASTERTYPECAMERATEXTURE && (flags & flagCompressed)))
        return FALSE;
    const RwInt32 levels = (formatWord & rwRASTERFORMATMIPMAP) ? std::max(1, mipCount) : 1;
    const RwInt32 mipBits = formatWord & (rwRASTERFORMATMIPMAP | rwRASTERFORMATAUTOMIPMAP);
    // The declared size is weighed before anything is allocated: within the device's limits, and no larger
    // than the bytes that follow in the chunk and in the stream can fill.
    const D3DCAPS9& caps = *RwD3D9GetCaps();
    if (RwUInt32(width) > caps.MaxTextureWidth || RwUInt32(height) > caps.MaxTextureHeight)
        return FALSE;
    const RwUInt64 firstLevel = MinimumLevelBytes(d3dFormat, formatWord, width, height);
    const RwUInt64 needed = sizeof header + PaletteBytes(formatWord) + 4 + firstLevel;
    if (firstLevel == 0 || needed > length || needed - sizeof header > RwStreamBytesLeft(stream))
        return FALSE;
    RwUInt32 left = length - RwUInt32(sizeof header) - PaletteBytes(formatWord);

    RwRaster* raster = nullptr;
    if (cube) {
        if ((flags & flagCompressed) && (!IsCompressed(d3dFormat) || !RwD3D9CheckTextureFormat(d3dFormat)))
            return FALSE;
        // More than one level needs a device that filters between the levels of a cube.
        if (levels > 1 &&
            !(caps.CubeTextureFilterCaps & (D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR)))
            return FALSE;
        raster = RwRasterCreate(width, height, depth, type | rwRASTERDONTALLOCATE | formatWord);
        if (!raster)
            return FALSE;
        RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
        ext->cube = 1;
        ext->autoMipMapping = (mipBits == (rwRASTERFORMATMIPMAP | rwRASTERFORMATAUTOMIPMAP) &&
                               RwD3D9CheckAutoMipmapGenCubeTextureFormat(d3dFormat))
                                  ? 1
                                  : 0;
        IDirect3DCubeTexture9* texture = nullptr;
        if (FAILED(RwD3D9Device->CreateCubeTexture(RwUInt32(width), RwUInt32(levels),
                                                   (ext->autoMipMapping & 1) ? D3DUSAGE_AUTOGENMIPMAP : 0,
                                                   d3dFormat, D3DPOOL_MANAGED, &texture, nullptr))) {
            RwRasterDestroy(raster);
            return FALSE;
        }
        ext->texture = texture;
        ext->d3dFormat = d3dFormat;
        ext->alpha = (flags & flagAlpha) ? 1 : 0;
        if (flags & flagCompressed)
            ext->autoMipMapping |= 0x10;
        raster->cFlags &= RwUInt8(~rwRASTERDONTALLOCATE);
        raster->cFormat = RwUInt8(formatWord >> 8);
        raster->depth = depth;
    } else if (flags & flagCompressed) {
        if (!IsCompressed(d3dFormat) || !RwD3D9CheckTextureFormat(d3dFormat))
            return FALSE;
        raster = RwRasterCreate(width, height, depth, type | rwRASTERDONTALLOCATE | formatWord);
        if (!raster)
            return FALSE;
        RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
        ext->autoMipMapping = (mipBits == (rwRASTERFORMATMIPMAP | rwRASTERFORMATAUTOMIPMAP) &&
                               RwD3D9CheckAutoMipmapGenTextureFormat(d3dFormat))
                                  ? 1
                                  : 0;
        IDirect3DTexture9* texture = nullptr;
        if (FAILED(RwD3D9Device->CreateTexture(RwUInt32(width), RwUInt32(height), RwUInt32(levels),
                                               (ext->autoMipMapping & 1) ? D3DUSAGE_AUTOGENMIPMAP : 0,
                                               d3dFormat, D3DPOOL_MANAGED, &texture, nullptr))) {
            RwRasterDestroy(raster);
            return FALSE;
        }
        ext->texture = texture;
        ext->d3dFormat = d3dFormat;
        ext->alpha = (flags & flagAlpha) ? 1 : 0;
        ext->autoMipMapping |= 0x10;
        raster->cFlags &= RwUInt8(~rwRASTERDONTALLOCATE);
        raster->cFormat = RwUInt8(formatWord >> 8);
        raster->depth = depth;
    } else if (formatWord & ~(rwRASTERFORMATMIPMAP | rwRASTERFORMATAUTOMIPMAP)) {
        raster = RwRasterCreate(width, height, depth, type | formatWord);
        if (raster)
            RwD3D9RasterExtension(raster)->autoMipMapping &= 0x0F;
    } else {
        raster = RwD3D9RasterCreate(RwUInt32(width), RwUInt32(height), RwUInt32(d3dFormat),
                                    RwUInt32(mipBits | type));
    }
    if (!raster)
        return FALSE;
    const auto fail = [&] {
        RwRasterDestroy(raster);
        return FALSE;
    };
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    if (((flags & flagAutoMips) && !(ext->autoMipMapping & 1)) || RwRasterGetFormat(raster) != formatWord ||
        ext->d3dFormat != d3dFormat || raster->width != width || raster->height != height)
        return fail();

    if (const RwUInt32 paletteBytes = PaletteBytes(formatWord)) {
        RwUInt8* palette = RwRasterLockPalette(raster, rwRASTERLOCKWRITE);
        const bool read = palette && RwStreamRead(stream, palette, paletteBytes) == paletteBytes;
        if (palette)
            RwRasterUnlockPalette(raster);
        if (!read)
            return fail();
    }

    // Writing level 0 must not generate the others while they are read.
    const RwUInt8 autoBit = rwRASTERFORMATAUTOMIPMAP >> 8;
    const RwUInt8 savedFormat = raster->cFormat;
    raster->cFormat &= RwUInt8(~autoBit);
    const RwInt32 toRead = (ext->autoMipMapping & 1) ? 1 : mipCount;
    bool ok = toRead >= 1 && toRead <= RwRasterGetNumLevels(raster);
    const RwInt32 faces = cube ? 6 : 1;
    for (RwInt32 step = 0; ok && step < faces * toRead; step++) {
        const RwInt32 level = step % toRead;
        if (cube)
            SelectFace(raster, step / toRead);
        RwInt32 count = 0;
        ok = RwStreamReadInt32(stream, &count, 4) && count >= 0 && left >= 4 && RwUInt32(count) <= left - 4;
        if (!ok)
            break;
        left -= 4 + RwUInt32(count);
        RwUInt8* pixels = RwRasterLock(raster, RwUInt8(level), rwRASTERLOCKWRITE);
        if (!pixels) {
            ok = false;
            break;
        }
        ok = RwUInt32(count) <= LevelBytes(raster) &&
             RwStreamRead(stream, pixels, RwUInt32(count)) == RwUInt32(count);
        RwRasterUnlock(raster);
    }
    raster->cFormat = RwUInt8(raster->cFormat | (savedFormat & autoBit));
    if (cube)
        SelectFace(raster, 0);
    if (!ok)
        return fail();

    RwTexture* texture = RwTextureCreate(raster);
    if (!texture)
        return fail();
    texture->filterAddressing = sampling & 0xFFFF;
    CopyName(texture->name, header + 8);
    CopyName(texture->mask, header + 40);
    *static_cast<RwTexture**>(textureOut) = texture;
    return TRUE;
}
