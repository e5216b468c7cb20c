#include "rwsdk/tool/png/rtpng.h"

#include "rwsdk/src/baimage.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/tool/imagefail/rtimagefail.h"

#include <png.h>

#include <cstring>

// libpng leaves through longjmp: the functions that set the jump target hold no objects with destructors,
// and what the error path frees is kept in volatile locals.

namespace {

constexpr RwUInt32 hint = rwMEMHINTDUR_EVENT | rwID_PNGTOOLKIT;

png_voidp Allocate(png_structp, png_alloc_size_t size) {
    return RwMalloc(size, hint);
}
void Free(png_structp, png_voidp block) {
    RwFree(block);
}

// What libpng says is noted for RtImageReadFailure, not printed; an error leaves through the jump target.
void Error(png_structp png, png_const_charp text) {
    _rtImageReadFailureNote("libpng", text, TRUE);
    png_longjmp(png, 1);
}
void Warning(png_structp, png_const_charp text) {
    _rtImageReadFailureNote("libpng", text, FALSE);
}

// A short read is an error: libpng would otherwise decode whatever the buffer held.
void Read(png_structp png, png_bytep data, png_size_t length) {
    auto* stream = static_cast<RwStream*>(png_get_io_ptr(png));
    if (!stream) {
        png_error(png, "no stream");
    }
    if (RwStreamRead(stream, data, RwUInt32(length)) != length) {
        png_error(png, "file is cut short");
    }
}

void Write(png_structp png, png_bytep data, png_size_t length) {
    auto* stream = static_cast<RwStream*>(png_get_io_ptr(png));
    if (!stream) {
        png_error(png, "no stream");
    }
    if (!RwStreamWrite(stream, data, RwUInt32(length))) {
        png_error(png, "cannot write");
    }
}

void Flush(png_structp) {}

} // namespace

RwImage* RtPNGImageRead(const RwChar* imageName) {
    if (!imageName) {
        RwErrorSetPlugin(rwID_PNGTOOLKIT, E_RW_NULLP);
        return nullptr;
    }
    RwStream* stream = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMREAD, imageName);
    if (!stream) {
        return nullptr;
    }
    png_structp png =
        png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, Error, Warning, nullptr, Allocate, Free);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(png ? &png : nullptr, nullptr, nullptr);
        RwStreamClose(stream, nullptr);
        return nullptr;
    }
    RwImage* volatile image = nullptr;
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        if (rows) {
            RwFree(rows);
        }
        if (image) {
            RwImageDestroy(image);
        }
        png_destroy_read_struct(&png, &info, nullptr);
        RwStreamClose(stream, nullptr);
        return nullptr;
    }
    png_set_user_limits(png, rtPNGMAXSIDE, rtPNGMAXSIDE);
    // A chunk's declared length is allocated whole: ancillary chunks are capped, and the text chunks, which
    // nothing here reads, are skipped without being stored.
    png_set_chunk_malloc_max(png, rtPNGMAXCHUNK);
    png_set_chunk_cache_max(png, rtPNGMAXCHUNKS);
    static const png_byte textChunks[] = "tEXt\0zTXt\0iTXt";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, textChunks, 3);
    png_set_read_fn(png, stream, Read);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
    // Deflate gives at most 1032 bytes per byte it reads: a size the rest of the file cannot fill is refused
    // before the image is allocated.
    const RwUInt64 pixelBytes =
        RwUInt64(height) * ((RwUInt64(width) * bitDepth * png_get_channels(png, info) + 7) / 8);
    if (pixelBytes > RwUInt64(1032) * RwStreamBytesLeft(stream)) {
        png_error(png, "image larger than its data");
    }
    png_set_strip_16(png);

    RwInt32 depth = 0;
    RwUInt32 channels = 1;
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
        if (bitDepth < 8) {
            png_set_expand_gray_1_2_4_to_8(png);
        }
        depth = 8;
        break;
    case PNG_COLOR_TYPE_RGB:
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        depth = 32;
        channels = 4;
        break;
    case PNG_COLOR_TYPE_PALETTE:
        if (bitDepth < 8) {
            png_set_packing(png);
        }
        depth = bitDepth < 8 ? 4 : 8;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        png_set_gray_to_rgb(png);
        depth = 32;
        channels = 4;
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        depth = 32;
        channels = 4;
        break;
    default:
        png_error(png, "colour type not read");
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    // The transformations must give one byte per index or four per pixel, or the rows would not fit.
    if (png_get_rowbytes(png, info) != size_t(width) * channels) {
        png_error(png, "unexpected row layout");
    }

    image = RwImageCreate(RwInt32(width), RwInt32(height), depth);
    if (!image || !RwImageAllocatePixels(image)) {
        png_error(png, "no image");
    }
    rows = static_cast<png_bytep*>(RwMalloc(sizeof(png_bytep) * height, hint));
    if (!rows) {
        png_error(png, "no row pointers");
    }
    for (png_uint_32 y = 0; y < height; ++y) {
        rows[y] = image->pixels + size_t(y) * size_t(image->stride);
    }

    if (depth <= 8) {
        const int entries = 1 << depth;
        RwUInt8* palette = image->palette;
        for (int i = 0; i < entries; ++i) {
            palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = RwUInt8(i);
            palette[4 * i + 3] = 255;
        }
        png_colorp colours = nullptr;
        int numColours = 0;
        if (png_get_PLTE(png, info, &colours, &numColours) & PNG_INFO_PLTE) {
            for (int i = 0; i < numColours && i < entries; ++i) {
                palette[4 * i] = colours[i].red;
                palette[4 * i + 1] = colours[i].green;
                palette[4 * i + 2] = colours[i].blue;
            }
        }
        png_bytep alphas = nullptr;
        int numAlphas = 0;
        png_color_16p transparent = nullptr;
        if (png_get_tRNS(png, info, &alphas, &numAlphas, &transparent) & PNG_INFO_tRNS) {
            if (colourType == PNG_COLOR_TYPE_PALETTE && alphas) {
                for (int i = 0; i < numAlphas && i < entries; ++i) {
                    palette[4 * i + 3] = alphas[i];
                }
            } else if (colourType == PNG_COLOR_TYPE_GRAY && transparent) {
                // A grey file names one transparent grey level, in its own bit depth.
                RwUInt32 grey = transparent->gray;
                RwUInt32 level = bitDepth == 16 ? grey >> 8
                                 : bitDepth < 8
                                     ? (grey & ((1u << bitDepth) - 1)) * 255 / ((1u << bitDepth) - 1)
                                     : grey & 0xFF;
                palette[4 * level + 3] = 0;
            }
        }
    }

    png_read_image(png, rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    RwFree(rows);
    RwStreamClose(stream, nullptr);
    return image;
}

RwImage* RtPNGImageWrite(RwImage* image, const RwChar* imageName) {
    if (!image || !imageName || !image->pixels) {
        RwErrorSetPlugin(rwID_PNGTOOLKIT, E_RW_NULLP);
        return nullptr;
    }
    int bitDepth, colourType;
    switch (image->depth) {
    case 4:
        bitDepth = 4;
        colourType = PNG_COLOR_TYPE_PALETTE;
        break;
    case 8:
        bitDepth = 8;
        colourType = PNG_COLOR_TYPE_PALETTE;
        break;
    case 32:
        bitDepth = 8;
        colourType = PNG_COLOR_TYPE_RGB_ALPHA;
        break;
    default:
        return nullptr;
    }
    if (colourType == PNG_COLOR_TYPE_PALETTE && !image->palette) {
        return nullptr;
    }
    RwStream* stream = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMWRITE, imageName);
    if (!stream) {
        return nullptr;
    }
    png_structp png =
        png_create_write_struct_2(PNG_LIBPNG_VER_STRING, nullptr, Error, Warning, nullptr, Allocate, Free);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(png ? &png : nullptr, nullptr);
        RwStreamClose(stream, nullptr);
        return nullptr;
    }
    png_colorp volatile colours = nullptr;
    png_bytep volatile alphas = nullptr;
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        RwFree(colours);
        RwFree(alphas);
        RwFree(rows);
        png_destroy_write_struct(&png, &info);
        RwStreamClose(stream, nullptr);
        return nullptr;
    }
    png_set_write_fn(png, stream, Write, Flush);
    png_set_IHDR(png, info, png_uint_32(image->width), png_uint_32(image->height), bitDepth, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        const int entries = 1 << image->depth;
        colours = static_cast<png_colorp>(RwMalloc(sizeof(png_color) * size_t(entries), hint));
        alphas = static_cast<png_bytep>(RwMalloc(size_t(entries), hint));
        if (!colours || !alphas) {
            png_error(png, "no palette");
        }
        for (int i = 0; i < entries; ++i) {
            const RwUInt8* entry = image->palette + 4 * i;
            colours[i].red = entry[0];
            colours[i].green = entry[1];
            colours[i].blue = entry[2];
            alphas[i] = entry[3];
        }
        png_set_PLTE(png, info, colours, entries);
        png_set_tRNS(png, info, alphas, entries, nullptr);
    }
    png_write_info(png, info);
    png_set_packing(png);
    rows = static_cast<png_bytep*>(RwMalloc(sizeof(png_bytep) * size_t(image->height), hint));
    if (!rows && image->height > 0) {
        png_error(png, "no row pointers");
    }
    for (RwInt32 y = 0; y < image->height; ++y) {
        rows[y] = image->pixels + size_t(y) * size_t(image->stride);
    }
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    RwFree(colours);
    RwFree(alphas);
    RwFree(rows);
    png_destroy_write_struct(&png, &info);
    if (!RwStreamClose(stream, nullptr)) {
        return nullptr;
    }
    return image;
}
