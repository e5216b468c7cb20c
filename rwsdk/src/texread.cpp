#include "rwsdk/src/texread.h"

#include "rwsdk/src/palquant.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/rwstring.h"
#include "rwsdk/src/resample.h"

#include <cstring>
#include <vector>

namespace {

// Reported (plugin id 1) when neither routine gave a texture.
constexpr RwUInt32 errTextureNotRead = 22;

constexpr size_t nameBufferSize = 256;
constexpr RwInt32 lockWriteLevel = 5; // only its write bit counts

void CopyName(RwChar* buffer, const RwChar* name) {
    _rwStringCopyName(buffer, nameBufferSize, name);
}

// Appends the registered extension of the file found for the name, when one is found.
void AppendFoundExtension(RwChar* buffer) {
    const RwChar* extension = RwImageFindFileExtension(buffer);
    if (!extension)
        return;
    const size_t length = std::strlen(buffer);
    const size_t extra = std::strlen(extension);
    if (length + extra < nameBufferSize)
        std::memcpy(buffer + length, extension, extra + 1);
}

RwInt32 PaletteBits(RwInt32 rasterFormat) {
    if (rasterFormat & rwRASTERFORMATPAL8)
        return 8;
    if (rasterFormat & rwRASTERFORMATPAL4)
        return 4;
    return 0;
}

void DestroyImages(std::vector<RwImage*>& images, const RwImage* keep = nullptr) {
    for (RwImage*& image : images) {
        if (image && image != keep)
            RwImageDestroy(image);
        image = nullptr;
    }
}

// A new image of the given depth holding the 32-bit image matched to a fresh palette of its own size.
RwImage* Requantise(const RwImage* image, RwInt32 depth) {
    RwPaletteQuantizer quantizer;
    if (!RwPaletteQuantizerInit(&quantizer))
        return nullptr;
    RwImage* result = nullptr;
    if (RwPaletteQuantizerAddImage(&quantizer, image, 1.0f)) {
        result = RwImageCreate(image->width, image->height, depth);
        if (result && RwImageAllocatePixels(result)) {
            RwPaletteQuantizerMakePalette(&quantizer, result->palette, 1 << depth);
            RwPaletteQuantizerMatchImage(&quantizer, result->pixels, result->stride, image);
        } else if (result) {
            RwImageDestroy(result);
            result = nullptr;
        }
    }
    RwPaletteQuantizerDeinit(&quantizer);
    return result;
}

// Locks one level for a write and writes the image into it.
bool WriteLevel(RwRaster* raster, RwInt32 level, RwImage* image) {
    if (!RwRasterLock(raster, RwUInt8(level), lockWriteLevel))
        return false;
    const bool written = RwRasterSetFromImage(raster, image) != nullptr;
    RwRasterUnlock(raster);
    return written;
}

// The size of a level, learnt by locking it.
bool LevelSize(RwRaster* raster, RwInt32 level, RwInt32 lockMode, RwInt32* width, RwInt32* height) {
    if (!RwRasterLock(raster, RwUInt8(level), lockMode))
        return false;
    *width = raster->width;
    *height = raster->height;
    RwRasterUnlock(raster);
    return true;
}

struct FindSearch {
    const RwChar* name;
    RwTexture* found;
};

RwTextureDictionary* FindInDictionary(RwTextureDictionary* dict, void* data) {
    auto* search = static_cast<FindSearch*>(data);
    search->found = RwTexDictionaryFindNamedTexture(dict, search->name);
    return search->found ? nullptr : dict;
}

// Gamma corrects the images: only the first of a palettised set (they share its palette).
void GammaCorrect(std::vector<RwImage*>& images, bool palettised) {
    for (size_t i = 0; i < images.size() && (i == 0 || !palettised); i++)
        RwImageGammaCorrect(images[i]);
}

} // namespace

RwTexture* RwTextureRead(const RwChar* name, const RwChar* maskName) {
    if (RwTextureCallBackFind find = RwTextureGetFindCallBack()) {
        if (RwTexture* texture = find(name))
            return RwTextureAddRef(texture);
    }
    RwTextureCallBackRead read = RwTextureGetReadCallBack();
    RwTexture* texture = read ? read(name, maskName) : nullptr;
    if (!texture) {
        RwErrorSetCode(errTextureNotRead);
        return nullptr;
    }
    if (RwTextureDictionary* current = RwTexDictionaryGetCurrent()) {
        RwTexDictionaryRemoveTexture(texture);
        RwTexDictionaryAddTexture(current, texture);
    }
    return texture;
}

RwTexture* RwTextureDefaultFind(const RwChar* name) {
    if (RwTextureDictionary* current = RwTexDictionaryGetCurrent())
        return RwTexDictionaryFindNamedTexture(current, name);
    FindSearch search = {name, nullptr};
    RwTexDictionaryForAllTexDictionaries(FindInDictionary, &search);
    return search.found;
}

RwImage* RwTextureReadImageForRaster(const RwChar* name, const RwChar* maskName, RwInt32 rasterFlags,
                                     RwInt32* width, RwInt32* height, RwInt32* depth, RwInt32* format) {
    RwChar nameBuffer[nameBufferSize];
    RwChar maskBuffer[nameBufferSize];
    CopyName(nameBuffer, name);
    AppendFoundExtension(nameBuffer);
    CopyName(maskBuffer, maskName);
    if (maskBuffer[0])
        AppendFoundExtension(maskBuffer);

    RwImage* image = RwImageReadMaskedImage(nameBuffer, maskBuffer[0] ? maskBuffer : nullptr);
    if (!image)
        return nullptr;
    if (*width == 0 || *height == 0) {
        if (!RwImageFindRasterFormat(image, rasterFlags, width, height, depth, format)) {
            RwImageDestroy(image);
            RwErrorSetCode(E_RW_INVIMAGEFORMAT);
            return nullptr;
        }
    }
    if (image->width == *width && image->height == *height)
        return image;

    // Resampled in 32 bits; palettised images are quantised back to their own palette size.
    RwImage* resampled = RwImageCreateResampled(image, *width, *height);
    const RwInt32 sourceDepth = image->depth;
    RwImageDestroy(image);
    if (!resampled || (sourceDepth != 4 && sourceDepth != 8))
        return resampled;
    RwImage* quantised = Requantise(resampled, sourceDepth);
    RwImageDestroy(resampled);
    return quantised;
}

RwBool RwTextureMipLevelName(RwChar* name, RwChar* maskName, RwUInt8 mipLevel, RwInt32 /*format*/) {
    if (mipLevel == 0 || mipLevel > 15)
        return TRUE;
    const RwChar suffix[3] = {'m', "0123456789abcdef"[mipLevel], '\0'};
    if (std::strlen(name) + 2 < nameBufferSize)
        std::strcat(name, suffix);
    if (maskName && maskName[0] && std::strlen(maskName) + 2 < nameBufferSize)
        std::strcat(maskName, suffix);
    return TRUE;
}

RwBool RwImagesPalettise(RwUInt8* palette, RwImage* keep, RwImage** images, RwInt32 count, RwInt32 bits) {
    const RwInt32 entries = 1 << bits;
    bool shared = count > 0 && images[0]->palette && images[0]->depth == bits;
    for (RwInt32 i = 1; shared && i < count; i++)
        shared = images[i]->palette && images[i]->depth == bits &&
                 std::memcmp(images[i]->palette, images[0]->palette, size_t(entries) * 4) == 0;
    if (shared) {
        std::memcpy(palette, images[0]->palette, size_t(entries) * 4);
        return TRUE;
    }

    RwPaletteQuantizer quantizer;
    if (!RwPaletteQuantizerInit(&quantizer))
        return FALSE;
    bool ok = true;
    for (RwInt32 i = 0; ok && i < count; i++)
        ok = RwPaletteQuantizerAddImage(&quantizer, images[i], 1.0f);
    if (ok) {
        std::memset(palette, 0, size_t(entries) * 4);
        RwPaletteQuantizerMakePalette(&quantizer, palette, entries);
    }
    for (RwInt32 i = 0; ok && i < count; i++) {
        RwImage* matched = RwImageCreate(images[i]->width, images[i]->height, bits);
        if (!matched || !RwImageAllocatePixels(matched)) {
            if (matched)
                RwImageDestroy(matched);
            ok = false;
            break;
        }
        RwPaletteQuantizerMatchImage(&quantizer, matched->pixels, matched->stride, images[i]);
        matched->palette = palette; // shared: one gamma correction serves every level
        if (images[i] != keep)
            RwImageDestroy(images[i]);
        images[i] = matched;
    }
    RwPaletteQuantizerDeinit(&quantizer);
    return ok ? TRUE : FALSE;
}

RwTexture* RwTextureDefaultRead(const RwChar* name, const RwChar* maskName) {
    RwChar nameBuffer[nameBufferSize];
    RwChar maskBuffer[nameBufferSize];
    CopyName(nameBuffer, name);
    CopyName(maskBuffer, maskName);

    RwInt32 flags = rwRASTERTYPETEXTURE;
    if (RwTextureGetMipmapping()) {
        flags |= rwRASTERFORMATMIPMAP;
        if (RwTextureGetAutoMipmapping())
            flags |= rwRASTERFORMATAUTOMIPMAP;
    }
    RwTextureCallBackMipmapName levelName = RwTextureGetMipmapNameCallBack();
    if (levelName)
        levelName(nameBuffer, maskBuffer, 0, flags);

    RwInt32 width = 0, height = 0, depth = 0, format = 0;
    RwImage* image =
        RwTextureReadImageForRaster(nameBuffer, maskBuffer, flags, &width, &height, &depth, &format);
    if (!image)
        return nullptr;
    RwRaster* raster = RwRasterCreate(width, height, depth, format);
    if (!raster) {
        RwImageDestroy(image);
        return nullptr;
    }

    const RwInt32 rasterFormat = RwRasterGetFormat(raster);
    const RwInt32 paletteBits = PaletteBits(rasterFormat);
    RwUInt8 palette[256 * 4];
    std::vector<RwImage*> images{image};
    bool ok = true;
    if (!(rasterFormat & rwRASTERFORMATMIPMAP)) {
        if (!(flags & rwRASTERFORMATMIPMAP) && paletteBits)
            ok = RwImagesPalettise(palette, nullptr, images.data(), 1, paletteBits);
        if (ok) {
            RwImageGammaCorrect(images[0]);
            ok = RwRasterSetFromImage(raster, images[0]) != nullptr;
        }
    } else if (rasterFormat & rwRASTERFORMATAUTOMIPMAP) {
        ok = RwRasterSetFromImage(raster, images[0]) != nullptr;
    } else {
        const RwInt32 levels = RwRasterGetNumLevels(raster);
        for (RwInt32 level = 1; ok && level < levels; level++) {
            CopyName(nameBuffer, name);
            CopyName(maskBuffer, maskName);
            if (levelName)
                levelName(nameBuffer, maskBuffer, RwUInt8(level), flags);
            RwInt32 levelWidth = 0, levelHeight = 0, levelDepth = 0, levelFormat = 0;
            RwImage* levelImage = nullptr;
            if (LevelSize(raster, level, lockWriteLevel, &levelWidth, &levelHeight))
                levelImage = RwTextureReadImageForRaster(nameBuffer, maskBuffer, flags, &levelWidth,
                                                         &levelHeight, &levelDepth, &levelFormat);
            images.push_back(levelImage);
            ok = levelImage != nullptr;
        }
        if (ok && paletteBits)
            ok = RwImagesPalettise(palette, nullptr, images.data(), RwInt32(images.size()), paletteBits);
        if (ok) {
            GammaCorrect(images, paletteBits != 0);
            for (size_t level = 0; ok && level < images.size(); level++)
                ok = WriteLevel(raster, RwInt32(level), images[level]);
        }
    }
    DestroyImages(images);
    if (!ok) {
        RwRasterDestroy(raster);
        return nullptr;
    }

    RwTexture* texture = RwTextureCreate(raster);
    if (!texture) {
        RwRasterDestroy(raster);
        return nullptr;
    }
    RwTextureSetName(texture, name);
    RwTextureSetMaskName(texture, maskName ? maskName : "");
    return texture;
}

RwBool RwTextureGenerateMipLevels(RwRaster* raster, RwImage* image) {
    std::vector<RwImage*> images;
    RwImage* base = image;
    if (!image) {
        base = RwImageCreate(raster->width, raster->height, 32);
        if (base && (!RwImageAllocatePixels(base) || !RwImageSetFromRaster(base, raster))) {
            RwImageDestroy(base);
            base = nullptr;
        }
    } else if (image->depth != 32) {
        base = RwImageCreate(image->width, image->height, 32);
        if (base && RwImageAllocatePixels(base)) {
            RwImageCopyConvert(base, image);
        } else if (base) {
            RwImageDestroy(base);
            base = nullptr;
        }
    }
    if (!base)
        return FALSE;
    images.push_back(base);

    // Our own unlocks must not come back here.
    const RwUInt8 autoBit = rwRASTERFORMATAUTOMIPMAP >> 8;
    const RwUInt8 savedFormat = raster->cFormat;
    raster->cFormat &= RwUInt8(~autoBit);

    bool ok = true;
    const RwInt32 levels = RwRasterGetNumLevels(raster);
    for (RwInt32 level = 1; ok && level < levels; level++) {
        RwInt32 width = 0, height = 0;
        RwImage* next = nullptr;
        if (LevelSize(raster, level, rwRASTERLOCKREAD, &width, &height))
            next = RwImageCreateResampled(images.back(), width, height);
        ok = next != nullptr;
        if (next)
            images.push_back(next);
    }
    const RwInt32 paletteBits = PaletteBits(RwInt32(savedFormat) << 8);
    RwUInt8 palette[256 * 4];
    if (ok && paletteBits)
        ok = RwImagesPalettise(palette, image, images.data(), RwInt32(images.size()), paletteBits);
    if (ok) {
        GammaCorrect(images, paletteBits != 0);
        for (size_t level = 0; ok && level < images.size(); level++)
            ok = WriteLevel(raster, RwInt32(level), images[level]);
    }
    DestroyImages(images, image);
    raster->cFormat = RwUInt8(raster->cFormat | (savedFormat & autoBit));
    return ok ? TRUE : FALSE;
}
