#include "rwsdk/driver/d3d9/d3d9ddstex.h"

#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9dxttex.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/driver/d3d9/d3d9rasterlock.h"
#include "rwsdk/os/win/osfile.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/resample.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool IsDXT(RwUInt32 format) {
    return format == rwFOURCCDXT1 || format == rwFOURCCDXT2 || format == rwFOURCCDXT3 ||
           format == rwFOURCCDXT4 || format == rwFOURCCDXT5;
}

RwBool CheckFormat(RwUInt32 format) {
    return RwD3D9CheckTextureFormat(D3DFORMAT(format));
}

// The Direct3D format that a plain (not FourCC) file's pixels have; D3DFMT_UNKNOWN when none fits.
// "checked" tells whether the device must be asked before taking it.
D3DFORMAT PlainFormat(const RwDDSPixelFormat& pf, bool* checked) {
    *checked = true;
    const RwUInt32 kind = pf.flags & (rwDDPFRGB | rwDDPFALPHAPIXELS);
    if (kind == rwDDPFRGB) {
        if (pf.bitCount == 24)
            return D3DFMT_R8G8B8;
        if (pf.redMask == 0xFF0000)
            return D3DFMT_X8R8G8B8;
        if (pf.redMask == 0xF800) {
            *checked = false;
            return D3DFMT_R5G6B5;
        }
        if (pf.redMask == 0xE0)
            return D3DFMT_R3G3B2;
        return D3DFMT_UNKNOWN;
    }
    if (kind == (rwDDPFRGB | rwDDPFALPHAPIXELS)) {
        if (pf.redMask == 0xFF0000)
            return D3DFMT_A8R8G8B8;
        if (pf.redMask == 0x7C00) {
            *checked = false;
            return D3DFMT_A1R5G5B5;
        }
        if (pf.redMask == 0xF00)
            return D3DFMT_A4R4G4B4;
        if (pf.redMask == 0x3FF)
            return D3DFMT_A2R10G10B10;
        if (pf.blueMask == 0x3FF)
            return D3DFMT_A2B10G10R10;
        if (pf.redMask == 0xE0)
            return D3DFMT_A8R3G3B2;
        return D3DFMT_UNKNOWN;
    }
    if (pf.bitCount == 16) {
        if (pf.redMask == 0xFFFF)
            return D3DFMT_L16;
        if (pf.redMask == 0xFF && pf.alphaMask == 0xFF00)
            return D3DFMT_A8L8;
    } else if (pf.bitCount == 8) {
        if (pf.redMask == 0xFF)
            return D3DFMT_L8;
        if (pf.alphaMask == 0xFF)
            return D3DFMT_A8;
        if (pf.redMask == 0xF && pf.alphaMask == 0xF0)
            return D3DFMT_A4L4;
        if (!pf.redMask && !pf.greenMask && !pf.blueMask && !pf.alphaMask)
            return D3DFMT_P8;
    }
    return D3DFMT_UNKNOWN;
}

// The Direct3D format of a plain cube map's pixels; D3DFMT_UNKNOWN when none fits.
D3DFORMAT CubeFormat(const RwDDSPixelFormat& pf) {
    const RwUInt32 kind = pf.flags & (rwDDPFRGB | rwDDPFALPHAPIXELS);
    if (kind == rwDDPFRGB) {
        if (pf.bitCount == 24)
            return D3DFMT_R8G8B8;
        if (pf.redMask == 0xFF0000)
            return D3DFMT_X8R8G8B8;
        if (pf.redMask == 0xF800)
            return D3DFMT_R5G6B5;
    } else if (kind == (rwDDPFRGB | rwDDPFALPHAPIXELS)) {
        if (pf.redMask == 0xFF0000)
            return D3DFMT_A8R8G8B8;
        if (pf.redMask == 0x7C00)
            return D3DFMT_A1R5G5B5;
        if (pf.redMask == 0xF00)
            return D3DFMT_A4R4G4B4;
    }
    return D3DFMT_UNKNOWN;
}

// An empty texture raster holding a new Direct3D texture (or cube texture) of the file's own level count.
RwRaster* CreateDirect(const RwDDSHeader& header, D3DFORMAT format, RwInt32 mipFlag, RwUInt32 levels,
                       bool cube) {
    RwRaster* raster = RwRasterCreate(RwInt32(header.width), RwInt32(header.height), 0,
                                      rwRASTERTYPETEXTURE | rwRASTERDONTALLOCATE | mipFlag);
    if (!raster)
        return nullptr;
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    HRESULT result;
    if (cube) {
        const DWORD mipFilter = D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR;
        if (!(rwD3D9State.caps.CubeTextureFilterCaps & mipFilter))
            levels = 1;
        IDirect3DCubeTexture9* texture = nullptr;
        result = RwD3D9Device->CreateCubeTexture(header.width, levels, 0, format, D3DPOOL_MANAGED, &texture,
                                                 nullptr);
        ext->texture = texture;
        ext->cube = 1;
    } else {
        IDirect3DTexture9* texture = nullptr;
        result = RwD3D9Device->CreateTexture(header.width, header.height, levels, 0, format, D3DPOOL_MANAGED,
                                             &texture, nullptr);
        ext->texture = texture;
    }
    if (FAILED(result)) {
        ext->texture = nullptr;
        RwRasterDestroy(raster);
        return nullptr;
    }
    ext->d3dFormat = format;
    raster->cFlags &= RwUInt8(~rwRASTERDONTALLOCATE);
    raster->cFormat &= 0xF0;
    if (IsDXT(format))
        ext->autoMipMapping |= 0x10;
    return raster;
}

// Copies a level's packed rows from the stream into the locked level (whose rows may lie further apart).
bool LoadLevel(RwRaster* raster, RwInt32 level, const std::vector<RwUInt8>& bytes, RwUInt32 rows) {
    RwUInt8* pixels = RwRasterLock(raster, RwUInt8(level), rwRASTERLOCKWRITE);
    if (!pixels)
        return false;
    const RwUInt32 pitch = RwUInt32(RwD3D9RasterExtension(raster)->lockedRect.Pitch);
    const RwUInt32 rowBytes = rows ? RwUInt32(bytes.size()) / rows : 0;
    for (RwUInt32 row = 0; row < rows; row++)
        std::memcpy(pixels + size_t(row) * pitch, bytes.data() + size_t(row) * rowBytes,
                    std::min(rowBytes, pitch));
    RwRasterUnlock(raster);
    return true;
}

// Levels from the full size down to 1 x 1.
RwUInt32 FullChain(const RwDDSHeader& header) {
    RwUInt32 levels = 1;
    for (RwUInt32 side = std::max(header.width, header.height); side > 1; side >>= 1)
        levels++;
    return levels;
}

// Rows of stored data in a level: block rows for DXT, texel rows otherwise.
RwUInt32 StoredRows(RwUInt32 format, RwUInt32 height) {
    return IsDXT(format) ? (height + 3) / 4 : height;
}

RwRaster* ReadDirect(RwStream* stream, const RwDDSHeader& header, D3DFORMAT format, RwInt32 mipFlag) {
    // A level count beyond the size's full chain means nothing; capped, every level's side is a shift
    // below 32.
    const RwUInt32 fileLevels = mipFlag ? std::clamp<RwUInt32>(header.mipMapCount, 1, FullChain(header)) : 1;
    const bool cube = _rwDDSIsCubeMap(&header);
    // The first level must be there before a texture of the declared size is made.
    const RwUInt64 firstLevel = _rwDDSLevelSize(&header, header.width, header.height);
    if (firstLevel == 0 || firstLevel + (format == D3DFMT_P8 ? 1024 : 0) > RwStreamBytesLeft(stream))
        return nullptr;
    RwRaster* raster;
    if (cube || (header.pixelFormat.flags & rwDDPFFOURCC)) {
        raster = CreateDirect(header, format, mipFlag, fileLevels, cube);
    } else {
        raster =
            RwD3D9RasterCreate(header.width, header.height, format, RwUInt32(mipFlag | rwRASTERTYPETEXTURE));
    }
    if (!raster)
        return nullptr;
    if (format == D3DFMT_P8) {
        RwUInt8* palette = RwRasterLockPalette(raster, rwRASTERLOCKWRITE);
        const bool read = palette && RwStreamRead(stream, palette, 1024) == 1024;
        if (palette)
            RwRasterUnlockPalette(raster);
        if (!read) {
            RwRasterDestroy(raster);
            return nullptr;
        }
    }

    const RwUInt32 rasterLevels = RwUInt32(RwRasterGetNumLevels(raster));
    bool transparent = false;
    std::vector<RwUInt8> bytes;
    for (RwUInt32 face = 0; face < (cube ? 6u : 1u); face++) {
        // +X always; the other faces when the file has them, in the order of their face numbers.
        if (face > 0 && !(header.caps2 & (rwDDSCAPS2CUBEMAP << (face + 1))))
            continue;
        if (cube)
            RwD3D9RasterExtension(raster)->cube = RwUInt8(face << 4 | 1);
        for (RwUInt32 level = 0; level < fileLevels; level++) {
            const RwUInt32 w = std::max<RwUInt32>(1, header.width >> level);
            const RwUInt32 h = std::max<RwUInt32>(1, header.height >> level);
            const RwUInt32 size = _rwDDSLevelSize(&header, w, h);
            bool ok = size != 0;
            if (ok && level >= rasterLevels) {
                ok = RwStreamSkip(stream, size) != nullptr;
            } else if (ok) {
                bytes.resize(size);
                ok = RwStreamRead(stream, bytes.data(), size) == size &&
                     LoadLevel(raster, RwInt32(level), bytes, StoredRows(format, h));
                if (ok && format == D3DFORMAT(rwFOURCCDXT1) && !transparent)
                    transparent = _rwDXT1HasTransparentTexels(RwInt32(w), RwInt32(h), bytes.data());
            }
            if (!ok) {
                RwRasterDestroy(raster);
                return nullptr;
            }
        }
    }
    if (cube)
        RwD3D9RasterExtension(raster)->cube = 1;

    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    if (!(header.pixelFormat.flags & rwDDPFFOURCC)) {
        ext->alpha = (header.pixelFormat.flags & rwDDPFALPHAPIXELS) || header.pixelFormat.alphaMask ? 1 : 0;
    } else if (format == D3DFORMAT(rwFOURCCDXT1)) {
        ext->alpha = transparent ? 1 : 0;
        raster->depth = 16;
        raster->cFormat =
            RwUInt8((raster->cFormat & 0xF0) | ((transparent ? rwRASTERFORMAT1555 : rwRASTERFORMAT565) >> 8));
    } else if (IsDXT(format)) {
        ext->alpha = 1;
        raster->depth = 16;
        raster->cFormat = RwUInt8((raster->cFormat & 0xF0) | (rwRASTERFORMAT4444 >> 8));
    } else if (const RwD3D9FormatInfo* known = RwD3D9FindFormatInfo(format)) {
        const RwD3D9FormatInfo& info = *known;
        ext->alpha = info.alpha;
        raster->depth = info.depth;
        raster->cFormat = RwUInt8((raster->cFormat & 0xF0) | (info.rwFormat >> 8));
    }
    return raster;
}

RwRaster* ReadSoftware(RwStream* stream, const RwDDSHeader& header, RwInt32 mipFlag) {
    RwInt32 rasterFormat = 0;
    RwImage* image = _rwDDSImageRead(stream, &header, &rasterFormat, CheckFormat);
    if (!image)
        return nullptr;
    RwInt32 flags = rwRASTERTYPETEXTURE | mipFlag;
    if (mipFlag)
        flags |= rwRASTERFORMATAUTOMIPMAP;
    if (!rasterFormat) {
        RwInt32 width = 0, height = 0, depth = 0, format = 0;
        if (RwImageFindRasterFormat(image, flags, &width, &height, &depth, &format))
            rasterFormat = format & rwRASTERFORMATPIXELFORMATMASK;
    }
    RwRaster* raster = RwRasterCreate(image->width, image->height, 0, flags | rasterFormat);
    if (!raster) {
        RwImageDestroy(image);
        return nullptr;
    }
    if (raster->width != image->width || raster->height != image->height) {
        RwImage* resampled = RwImageCreateResampled(image, raster->width, raster->height);
        RwImageDestroy(image);
        image = resampled;
    }
    const bool written = image && RwRasterSetFromImage(raster, image);
    if (image)
        RwImageDestroy(image);
    if (!written) {
        RwRasterDestroy(raster);
        return nullptr;
    }
    return raster;
}

} // namespace

RwRaster* RwD3D9DDSRasterRead(RwStream* stream) {
    RwDDSHeader header;
    if (!stream || !RwD3D9Device || !_rwDDSHeaderRead(stream, &header))
        return nullptr;
    if (header.width == 0 || header.height == 0 || header.width > rwDDSMAXSIDE ||
        header.height > rwDDSMAXSIDE)
        return nullptr;
    const RwInt32 mipFlag = (header.flags & rwDDSDMIPMAPCOUNT) ? rwRASTERFORMATMIPMAP : 0;
    const RwDDSPixelFormat& pf = header.pixelFormat;
    if (_rwDDSIsCubeMap(&header)) {
        // Cube maps load only straight into a cube texture of their own size.
        const D3DFORMAT format = (pf.flags & rwDDPFFOURCC) ? D3DFORMAT(pf.fourCC) : CubeFormat(pf);
        RwInt32 width = RwInt32(header.width), height = RwInt32(header.height);
        RwD3D9RasterAdjustSize(&width, &height, rwRASTERTYPETEXTURE | mipFlag);
        if (format == D3DFMT_UNKNOWN || header.width != header.height ||
            !RwD3D9CheckCubeTextureFormat(format) || width != RwInt32(header.width) ||
            height != RwInt32(header.height))
            return nullptr;
        return ReadDirect(stream, header, format, mipFlag);
    }
    if (pf.flags & rwDDPFFOURCC) {
        if (CheckFormat(pf.fourCC) && (IsDXT(pf.fourCC) || RwD3D9FindFormatInfo(D3DFORMAT(pf.fourCC))))
            return ReadDirect(stream, header, D3DFORMAT(pf.fourCC), mipFlag);
        return ReadSoftware(stream, header, mipFlag);
    }
    bool checked = true;
    const D3DFORMAT format = PlainFormat(pf, &checked);
    if (format == D3DFMT_UNKNOWN)
        return nullptr;
    RwInt32 width = RwInt32(header.width), height = RwInt32(header.height);
    RwD3D9RasterAdjustSize(&width, &height, rwRASTERTYPETEXTURE | mipFlag);
    const bool sized = width == RwInt32(header.width) && height == RwInt32(header.height);
    if ((checked && !CheckFormat(format)) || !sized)
        return ReadSoftware(stream, header, mipFlag);
    return ReadDirect(stream, header, format, mipFlag);
}

RwTexture* RwD3D9DDSTextureRead(const RwChar* name, const RwChar* /*maskName*/) {
    if (!name)
        return nullptr;
    std::vector<std::string> candidates;
    const RwChar* path = RwImageGetPath();
    if (RwOsPathIsAbsolute(name) || !path || !path[0]) {
        candidates.push_back(std::string(name) + ".dds");
    } else {
        const std::string elements(path);
        for (size_t start = 0; start <= elements.size();) {
            size_t end = elements.find(';', start);
            if (end == std::string::npos)
                end = elements.size();
            candidates.push_back(elements.substr(start, end - start) + name + ".dds");
            start = end + 1;
        }
    }
    RwFileFunctions* files = RwEngineGetFileInterface();
    for (const std::string& candidate : candidates) {
        if (!files->rwfexist(candidate.c_str()))
            continue;
        RwStream* stream = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMREAD, candidate.c_str());
        if (!stream)
            return nullptr;
        RwRaster* raster = RwD3D9DDSRasterRead(stream);
        RwStreamClose(stream, nullptr);
        if (!raster)
            return nullptr;
        RwTexture* texture = RwTextureCreate(raster);
        if (!texture) {
            RwRasterDestroy(raster);
            return nullptr;
        }
        RwTextureSetFilterMode(texture, (RwRasterGetFormat(raster) & rwRASTERFORMATMIPMAP)
                                            ? rwFILTERLINEARMIPLINEAR
                                            : rwFILTERLINEAR);
        const RwChar* base = name;
        if (RwOsPathIsAbsolute(name)) {
            if (const RwChar* slash = std::strrchr(name, '\\'))
                base = slash + 1;
        }
        RwTextureSetName(texture, base);
        return texture;
    }
    return nullptr;
}
