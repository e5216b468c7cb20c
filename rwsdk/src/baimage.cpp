// Images, the image search path, the registry of image file formats and the gamma tables.
#include "rwsdk/src/baimage.h"

#include "rwsdk/os/win/osfile.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/memory.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace {

constexpr RwUInt32 hintImage = 0x30018;
constexpr RwUInt32 hintImageList = 0x40018;
constexpr RwUInt32 hintFormat = 0x30406;
constexpr RwUInt32 hintFormatList = 0x40406;
constexpr RwUInt32 hintPixels = 0x30406;
constexpr RwUInt32 hintPath = 0x1040406;
constexpr RwUInt32 hintScratch = 0x1040018;
constexpr RwInt32 initialBufferSize = 256;
constexpr RwInt32 maxExtensionChars = 18;

RwPluginRegistry imageRegistry = {sizeof(RwImage), sizeof(RwImage), 0, nullptr, nullptr};

struct ImageModule {
    RwInt32 openCount = 0;
    RwFreeList* imageFreeList = nullptr;
    RwFreeList* formatFreeList = nullptr;
    RwChar* path = nullptr;
    RwInt32 pathSize = 0;
    RwImageFormat* formats = nullptr;
    RwChar* scratch = nullptr;
    RwInt32 scratchSize = 0;
    RwReal gamma = 1.0f;
    RwUInt8 forwardGamma[256] = {};
    RwUInt8 inverseGamma[256] = {};
};
ImageModule module;

bool FileExists(const RwChar* path) {
    return RwEngineGetFileInterface()->rwfexist(path);
}

// Palette lookups mask the index so that a 4-bit image holding larger bytes stays inside its 16 entries.
inline const RwUInt8* PaletteEntry(const RwImage* image, RwUInt8 index) {
    return image->palette + 4 * (index & ((1 << image->depth) - 1));
}

bool HasPalette(const RwImage* image) {
    return (image->depth == 4 || image->depth == 8) && image->palette;
}

// Bytes per row rounded up to 4; 0 when a row would not fit in 31 bits (sizes read from a file can be wild).
RwInt32 StrideFor(RwInt32 width, RwInt32 depth) {
    const int64_t stride = ((static_cast<int64_t>((depth + 7) / 8) * width) + 3) & ~static_cast<int64_t>(3);
    return stride > 0x7FFFFFFF ? 0 : static_cast<RwInt32>(stride);
}

bool GrowBuffer(RwChar*& buffer, RwInt32& size, size_t needed, RwUInt32 hint) {
    if (needed <= static_cast<size_t>(size)) {
        return true;
    }
    if (needed > 0x7FFFFFFF) {
        RwErrorSetCode(E_RW_NOMEM);
        return false;
    }
    auto* grown = static_cast<RwChar*>(RwRealloc(buffer, needed, hint));
    if (!grown) {
        RwErrorSetCode(E_RW_NOMEM);
        return false;
    }
    buffer = grown;
    size = static_cast<RwInt32>(needed);
    return true;
}

void FreeFormats() {
    while (module.formats) {
        RwImageFormat* next = module.formats->next;
        RwFreeListEntryFree(module.formatFreeList, module.formats);
        module.formats = next;
    }
}

// The format whose lower- or upper-case extension equals the given one byte for byte.
RwImageFormat* FormatOf(const RwChar* extension) {
    for (RwImageFormat* format = module.formats; format; format = format->next) {
        if (std::strcmp(format->lowerCaseExtension, extension) == 0 ||
            std::strcmp(format->upperCaseExtension, extension) == 0) {
            return format;
        }
    }
    return nullptr;
}

// The extension of a file name (with its dot), looking only at the last path component; null without one.
const RwChar* ExtensionOf(const RwChar* name) {
    const RwChar* file = name;
    for (const RwChar* separator : {":", "/", "\\"}) {
        if (const RwChar* found = std::strrchr(file, separator[0])) {
            file = found + 1;
        }
    }
    return std::strrchr(file, '.');
}

struct ReadSearch {
    RwImageFormat* format;
    RwImage* image;
};

RwInt32 ReadCandidate(const RwChar* path, void* data) {
    auto* search = static_cast<ReadSearch*>(data);
    if (!FileExists(path)) {
        return 1;
    }
    search->image = search->format->imageRead(path);
    return search->image ? 0 : 1;
}

struct ExtensionSearch {
    const RwChar* extension;
};

RwInt32 ExtensionCandidate(const RwChar* path, void* data) {
    auto* search = static_cast<ExtensionSearch*>(data);
    std::string candidate(path);
    const size_t length = candidate.size();
    for (RwImageFormat* format = module.formats; format; format = format->next) {
        for (const RwChar* extension : {format->lowerCaseExtension, format->upperCaseExtension}) {
            candidate.resize(length);
            candidate += extension;
            if (FileExists(candidate.c_str())) {
                search->extension = extension;
                return 0;
            }
        }
    }
    return 1;
}

// Replaces the pixels of a 4- or 8-bit image by 32-bit pixels from its palette.
bool ExpandTo32(RwImage* image) {
    const RwInt32 stride = StrideFor(image->width, 32);
    if (stride == 0 && image->width > 0) {
        RwErrorSetCode(E_RW_NOMEM);
        return false;
    }
    auto* pixels = static_cast<RwUInt8*>(RwMalloc(static_cast<size_t>(stride) * image->height, hintPixels));
    if (!pixels) {
        RwErrorSetCode(E_RW_NOMEM);
        return false;
    }
    for (RwInt32 y = 0; y < image->height; y++) {
        const RwUInt8* in = image->pixels + static_cast<size_t>(y) * image->stride;
        RwUInt8* out = pixels + static_cast<size_t>(y) * stride;
        for (RwInt32 x = 0; x < image->width; x++) {
            std::memcpy(out + 4 * x, PaletteEntry(image, in[x]), 4);
        }
    }
    if (image->flags & rwIMAGEALLOCATED) {
        RwFree(image->pixels);
    }
    image->pixels = pixels;
    image->palette = nullptr;
    image->depth = 32;
    image->stride = stride;
    image->flags |= rwIMAGEALLOCATED;
    return true;
}

void* ImageOpen(void* instance, RwInt32 /*offset*/, RwInt32 /*size*/) {
    module.imageFreeList = RwFreeListCreate(imageRegistry.sizeOfStruct, 16, 0, hintImageList);
    if (!module.imageFreeList) {
        return nullptr;
    }
    module.formatFreeList = RwFreeListCreate(sizeof(RwImageFormat), 16, 0, hintFormatList);
    if (module.formatFreeList) {
        module.path = static_cast<RwChar*>(RwMalloc(initialBufferSize, hintPath));
        if (module.path) {
            module.pathSize = initialBufferSize;
            module.path[0] = '\0';
            RwImageSetGamma(1.0f);
            module.formats = nullptr;
            module.scratch = static_cast<RwChar*>(RwMalloc(initialBufferSize, hintScratch));
            if (module.scratch) {
                module.scratchSize = initialBufferSize;
                module.scratch[0] = '\0';
                module.openCount++;
                return instance;
            }
            RwFree(module.path);
            module.path = nullptr;
            module.pathSize = 0;
        }
        RwFreeListDestroy(module.formatFreeList);
        module.formatFreeList = nullptr;
    }
    RwFreeListDestroy(module.imageFreeList);
    module.imageFreeList = nullptr;
    RwErrorSetCode(E_RW_NOMEM);
    return nullptr;
}

void* ImageClose(void* instance, RwInt32 /*offset*/, RwInt32 /*size*/) {
    RwFree(module.scratch);
    module.scratch = nullptr;
    module.scratchSize = 0;
    RwFree(module.path);
    module.path = nullptr;
    module.pathSize = 0;
    FreeFormats();
    if (module.formatFreeList) {
        RwFreeListDestroy(module.formatFreeList);
        module.formatFreeList = nullptr;
    }
    if (module.imageFreeList) {
        RwFreeListDestroy(module.imageFreeList);
        module.imageFreeList = nullptr;
    }
    module.openCount--;
    return instance;
}

} // namespace

RwInt32 _rwImageModuleAttach() {
    return RwEngineRegisterPlugin(0, rwID_IMAGEMODULE, ImageOpen, ImageClose);
}

RwInt32 RwImageRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructor,
                              RwPluginObjectDestructor destructor, RwPluginObjectCopy copy) {
    return RwPluginRegistryAddPlugin(&imageRegistry, size, pluginID, constructor, destructor, copy);
}

RwImage* RwImageCreate(RwInt32 width, RwInt32 height, RwInt32 depth) {
    auto* image = static_cast<RwImage*>(RwFreeListEntryAlloc(module.imageFreeList, hintImage));
    if (!image) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    image->flags = 0;
    image->width = width;
    image->height = height;
    image->depth = depth;
    image->stride = 0;
    image->pixels = nullptr;
    image->palette = nullptr;
    if (!RwPluginRegistryInitObject(&imageRegistry, image)) {
        RwFreeListEntryFree(module.imageFreeList, image);
        return nullptr;
    }
    return image;
}

RwBool RwImageDestroy(RwImage* image) {
    if (image->flags & rwIMAGEALLOCATED) {
        RwImageFreePixels(image);
    }
    RwPluginRegistryDeInitObject(&imageRegistry, image);
    RwFreeListEntryFree(module.imageFreeList, image);
    return TRUE;
}

RwImage* RwImageAllocatePixels(RwImage* image) {
    if (image->width < 0 || image->height < 0 || image->depth <= 0 || image->depth > 32) {
        RwErrorSetCode(E_RW_INVIMAGEFORMAT);
        return nullptr;
    }
    const RwInt32 stride = StrideFor(image->width, image->depth);
    if (stride == 0 && image->width > 0) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    const size_t pixelBytes = static_cast<size_t>(stride) * static_cast<size_t>(image->height);
    const size_t paletteBytes = image->depth <= 8 ? 4u << image->depth : 0;
    auto* block = static_cast<RwUInt8*>(RwMalloc(pixelBytes + paletteBytes, hintPixels));
    if (!block) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    if (image->flags & rwIMAGEALLOCATED) {
        RwFree(image->pixels);
    }
    image->stride = stride;
    image->pixels = block;
    image->palette = paletteBytes ? block + pixelBytes : nullptr;
    image->flags |= rwIMAGEALLOCATED;
    return image;
}

RwImage* RwImageFreePixels(RwImage* image) {
    if (image->flags & rwIMAGEALLOCATED) {
        RwFree(image->pixels);
    }
    image->pixels = nullptr;
    image->palette = nullptr;
    image->flags &= ~rwIMAGEALLOCATED;
    return image;
}

RwImage* RwImageMakeMask(RwImage* image) {
    RwUInt8* entries = nullptr;
    size_t count = 0;
    if (HasPalette(image)) {
        entries = image->palette;
        count = 1u << image->depth;
    } else if (image->depth == 32 && image->pixels) {
        for (RwInt32 y = 0; y < image->height; y++) {
            RwUInt8* p = image->pixels + static_cast<size_t>(y) * image->stride;
            for (RwInt32 x = 0; x < image->width; x++, p += 4) {
                p[3] = std::max(p[0], std::max(p[1], p[2]));
            }
        }
        return image;
    }
    for (size_t i = 0; i < count; i++, entries += 4) {
        entries[3] = std::max(entries[0], std::max(entries[1], entries[2]));
    }
    return image;
}

RwImage* RwImageApplyMask(RwImage* image, const RwImage* mask) {
    if (image->width != mask->width || image->height != mask->height) {
        RwErrorSetCode(E_RW_INVIMAGEMASK);
        return nullptr;
    }
    // Checked before the image is touched, so that a failure leaves it as it was.
    const bool imageOk = image->depth == 32 || HasPalette(image);
    const bool maskOk = mask->depth == 32 || HasPalette(mask);
    if (!imageOk || !maskOk || !image->pixels || !mask->pixels) {
        RwErrorSetCode(E_RW_INVIMAGEFORMAT);
        return nullptr;
    }
    if (image->depth != 32 && !ExpandTo32(image)) {
        return nullptr;
    }
    for (RwInt32 y = 0; y < image->height; y++) {
        RwUInt8* out = image->pixels + static_cast<size_t>(y) * image->stride;
        const RwUInt8* in = mask->pixels + static_cast<size_t>(y) * mask->stride;
        if (mask->depth == 32) {
            for (RwInt32 x = 0; x < image->width; x++) {
                out[4 * x + 3] = in[4 * x + 3];
            }
        } else {
            for (RwInt32 x = 0; x < image->width; x++) {
                out[4 * x + 3] = PaletteEntry(mask, in[x])[3];
            }
        }
    }
    return image;
}

RwBool RwImageCopy(RwImage* destination, const RwImage* source) {
    if (destination->palette && source->palette && source->depth <= 8) {
        std::memcpy(destination->palette, source->palette, 4u << source->depth);
    }
    const RwInt32 width = std::min(destination->width, source->width);
    const RwInt32 height = std::min(destination->height, source->height);
    const size_t rowBytes = static_cast<size_t>((source->depth + 7) / 8) * width;
    if (destination->pixels && source->pixels) {
        for (RwInt32 y = 0; y < height; y++) {
            std::memcpy(destination->pixels + static_cast<size_t>(y) * destination->stride,
                        source->pixels + static_cast<size_t>(y) * source->stride, rowBytes);
        }
    }
    return TRUE;
}

RwBool RwImageConvert(RwImage* destination, const RwImage* source) {
    const RwInt32 from = source->depth, to = destination->depth;
    if (from == to && (from == 4 || from == 8 || from == 32)) {
        return TRUE;
    }
    const bool supported = (from == 4 && to == 8) || ((from == 4 || from == 8) && to == 32);
    if (!supported || !source->pixels || !destination->pixels || !source->palette) {
        RwErrorSetCode(E_RW_INVIMAGEFORMAT);
        return FALSE;
    }
    const RwInt32 width = std::min(destination->width, source->width);
    const RwInt32 height = std::min(destination->height, source->height);
    if (to == 8) {
        // The 16 colours come along, so that the indices keep their meaning.
        if (destination->palette) {
            std::memset(destination->palette, 0, 4 * 256);
            std::memcpy(destination->palette, source->palette, 4 * 16);
        }
        for (RwInt32 y = 0; y < height; y++) {
            const RwUInt8* in = source->pixels + static_cast<size_t>(y) * source->stride;
            RwUInt8* out = destination->pixels + static_cast<size_t>(y) * destination->stride;
            for (RwInt32 x = 0; x < width; x++) {
                out[x] = in[x] & 0x0F;
            }
        }
        return TRUE;
    }
    for (RwInt32 y = 0; y < height; y++) {
        const RwUInt8* in = source->pixels + static_cast<size_t>(y) * source->stride;
        RwUInt8* out = destination->pixels + static_cast<size_t>(y) * destination->stride;
        for (RwInt32 x = 0; x < width; x++) {
            std::memcpy(out + 4 * x, PaletteEntry(source, in[x]), 4);
        }
    }
    return TRUE;
}

void RwImageCopyConvert(RwImage* destination, const RwImage* source) {
    if (destination->depth == source->depth) {
        RwImageCopy(destination, source);
    } else {
        RwImageConvert(destination, source);
    }
    destination->flags =
        (destination->flags & ~rwIMAGEGAMMACORRECTED) | (source->flags & rwIMAGEGAMMACORRECTED);
}

RwImage* RwImageGammaCorrect(RwImage* image) {
    const bool paletted = image->depth == 4 || image->depth == 8;
    if (!image->pixels || (paletted && !image->palette)) {
        RwErrorSetCode(E_RW_NULLP);
        return nullptr;
    }
    const RwUInt8* table = module.forwardGamma;
    if (paletted) {
        RwUInt8* entry = image->palette;
        for (RwInt32 i = 0; i < (1 << image->depth); i++, entry += 4) {
            entry[0] = table[entry[0]];
            entry[1] = table[entry[1]];
            entry[2] = table[entry[2]];
        }
    } else if (image->depth == 32) {
        for (RwInt32 y = 0; y < image->height; y++) {
            RwUInt8* p = image->pixels + static_cast<size_t>(y) * image->stride;
            for (RwInt32 x = 0; x < image->width; x++, p += 4) {
                p[0] = table[p[0]];
                p[1] = table[p[1]];
                p[2] = table[p[2]];
            }
        }
    } else {
        RwErrorSetCode(E_RW_INVIMAGEDEPTH);
        return nullptr;
    }
    image->flags |= rwIMAGEGAMMACORRECTED;
    return image;
}

RwBool RwImageSetGamma(RwReal gamma) {
    // A gamma of 0 or below has no curve; the tables would be filled from infinities.
    if (!(gamma > 0.0f)) {
        RwErrorSetCode(E_RW_BADPARAM);
        return FALSE;
    }
    module.gamma = gamma;
    module.forwardGamma[0] = 0;
    module.inverseGamma[0] = 0;
    const double oneOver255 = 0.003921569;
    for (int i = 1; i < 256; i++) {
        const double forward = std::pow(i * oneOver255, 1.0 / gamma) * 255.0 + 0.5;
        const double inverse = std::pow(i * oneOver255, static_cast<double>(gamma)) * 255.0 + 0.5;
        module.forwardGamma[i] = static_cast<RwUInt8>(std::min(forward, 255.0));
        module.inverseGamma[i] = static_cast<RwUInt8>(std::min(inverse, 255.0));
    }
    return TRUE;
}

RwReal RwImageGetGamma() {
    return module.gamma;
}
const RwUInt8* RwImageGetGammaTable() {
    return module.forwardGamma;
}
const RwUInt8* RwImageGetInverseGammaTable() {
    return module.inverseGamma;
}

const RwChar* RwImageSetPath(const RwChar* path) {
    if (!path) {
        path = "";
    }
    if (!GrowBuffer(module.path, module.pathSize, std::strlen(path) + 1, hintPath)) {
        return nullptr;
    }
    std::strcpy(module.path, path);
    return module.path;
}

const RwChar* RwImageGetPath() {
    return module.path;
}

const RwChar* RwImageSearchPath(const RwChar* name, RwInt32 extra, RwImageSearchPathCallBack callback,
                                void* data) {
    const size_t nameLength = std::strlen(name);
    const size_t room = nameLength + static_cast<size_t>(std::max(extra, 0)) + 1;
    if (RwOsPathIsAbsolute(name) || module.path[0] == '\0') {
        if (!GrowBuffer(module.scratch, module.scratchSize, room, hintScratch)) {
            return nullptr;
        }
        std::memcpy(module.scratch, name, nameLength + 1);
        callback(module.scratch, data);
        return name;
    }
    const RwChar* element = module.path;
    for (;;) {
        const RwChar* end = std::strchr(element, ';');
        const size_t elementLength = end ? static_cast<size_t>(end - element) : std::strlen(element);
        if (!GrowBuffer(module.scratch, module.scratchSize, elementLength + room, hintScratch)) {
            return nullptr;
        }
        // Path elements end with their own backslash; the name is glued on as it is.
        std::memcpy(module.scratch, element, elementLength);
        std::memcpy(module.scratch + elementLength, name, nameLength + 1);
        if (!callback(module.scratch, data) || !end) {
            break;
        }
        element = end + 1;
    }
    return name;
}

RwBool RwImageRegisterImageFormat(const RwChar* extension, RwImageCallBackRead reader,
                                  RwImageCallBackWrite writer) {
    if (!extension) {
        RwErrorSetCode(E_RW_NULLP);
        return FALSE;
    }
    RwChar lower[20];
    RwChar upper[20];
    lower[0] = upper[0] = '.';
    size_t length = 0;
    for (; length < maxExtensionChars && extension[length]; length++) {
        const RwChar c = extension[length];
        lower[length + 1] = (c >= 'A' && c <= 'Z') ? static_cast<RwChar>(c + ('a' - 'A')) : c;
        upper[length + 1] = (c >= 'a' && c <= 'z') ? static_cast<RwChar>(c - ('a' - 'A')) : c;
    }
    lower[length + 1] = upper[length + 1] = '\0';

    RwImageFormat* format = module.formats;
    while (format && std::strcmp(format->lowerCaseExtension, lower) != 0) {
        format = format->next;
    }
    if (!format) {
        format = static_cast<RwImageFormat*>(RwFreeListEntryAlloc(module.formatFreeList, hintFormat));
        if (!format) {
            RwErrorSetCode(E_RW_NOMEM);
            return FALSE;
        }
        std::memcpy(format->lowerCaseExtension, lower, sizeof(lower));
        std::memcpy(format->upperCaseExtension, upper, sizeof(upper));
        format->imageRead = nullptr;
        format->imageWrite = nullptr;
        format->next = module.formats;
        module.formats = format;
    }
    if (reader) {
        format->imageRead = reader;
    }
    if (writer) {
        format->imageWrite = writer;
    }
    return TRUE;
}

RwImageFormat* RwImageFindFormat(const RwChar* extension) {
    return extension ? FormatOf(extension) : nullptr;
}

const RwChar* RwImageFindFileExtension(const RwChar* name) {
    ExtensionSearch search = {nullptr};
    if (!RwImageSearchPath(name, 20, ExtensionCandidate, &search)) {
        return nullptr;
    }
    return search.extension;
}

RwImage* RwImageRead(const RwChar* imageName) {
    if (!imageName) {
        RwErrorSetCode(E_RW_NULLP);
        return nullptr;
    }
    const RwChar* extension = ExtensionOf(imageName);
    if (!extension) {
        return nullptr;
    }
    RwImageFormat* format = FormatOf(extension);
    if (!format || !format->imageRead) {
        return nullptr;
    }
    ReadSearch search = {format, nullptr};
    RwImageSearchPath(imageName, 5, ReadCandidate, &search);
    return search.image;
}

RwImage* RwImageReadMaskedImage(const RwChar* imageName, const RwChar* maskName) {
    RwImage* image = RwImageRead(imageName);
    if (image && maskName && maskName[0]) {
        if (RwImage* mask = RwImageRead(maskName)) {
            RwImageMakeMask(mask);
            RwImageApplyMask(image, mask);
            RwImageDestroy(mask);
        }
    }
    return image;
}

RwImage* RwImageWrite(RwImage* image, const RwChar* imageName) {
    if (!image || !imageName) {
        RwErrorSetCode(E_RW_NULLP);
        return nullptr;
    }
    const RwChar* extension = ExtensionOf(imageName);
    RwImageFormat* format = extension ? FormatOf(extension) : nullptr;
    if (!format || !format->imageWrite) {
        return nullptr;
    }
    return format->imageWrite(image, imageName);
}

// Image and raster meet through the device's standard routines; the gamma-corrected mark travels with the
// pixels.
RwImage* RwImageSetFromRaster(RwImage* image, RwRaster* raster) {
    if (!RWSRCGLOBAL(stdFunc[rwSTANDARDIMAGEGETRASTER])(image, raster, 0)) {
        return nullptr;
    }
    if (raster->privateFlags & rwRASTERGAMMACORRECTED) {
        image->flags |= rwIMAGEGAMMACORRECTED;
    }
    return image;
}

RwRaster* RwRasterSetFromImage(RwRaster* raster, RwImage* image) {
    if (!RWSRCGLOBAL(stdFunc[rwSTANDARDRASTERSETIMAGE])(raster, image, 0)) {
        return nullptr;
    }
    if (image->flags & rwIMAGEGAMMACORRECTED) {
        raster->privateFlags |= rwRASTERGAMMACORRECTED;
    }
    return raster;
}

RwImage* RwImageFindRasterFormat(RwImage* image, RwInt32 rasterType, RwInt32* width, RwInt32* height,
                                 RwInt32* depth, RwInt32* format) {
    RwRaster raster = {};
    if (!RWSRCGLOBAL(stdFunc[rwSTANDARDIMAGEFINDRASTERFORMAT])(&raster, image, rasterType)) {
        return nullptr;
    }
    *width = raster.width;
    *height = raster.height;
    *depth = raster.depth;
    *format = (static_cast<RwInt32>(raster.cFormat) << 8) | raster.cType;
    return image;
}
