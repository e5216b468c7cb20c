#include "rwsdk/tool/bmp/rtbmp.h"

#include "rwsdk/src/baimage.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr RwUInt32 fileHeaderSize = 14;
constexpr RwUInt32 coreHeaderSize = 12;
constexpr RwUInt32 infoHeaderSize = 40;
constexpr RwUInt32 maxInfoHeaderSize = 4096;

inline RwUInt16 U16(const RwUInt8* p) {
    return RwUInt16(p[0] | p[1] << 8);
}
inline RwUInt32 U32(const RwUInt8* p) {
    return RwUInt32(p[0]) | RwUInt32(p[1]) << 8 | RwUInt32(p[2]) << 16 | RwUInt32(p[3]) << 24;
}
inline void Put16(RwUInt8* p, RwUInt32 v) {
    p[0] = RwUInt8(v);
    p[1] = RwUInt8(v >> 8);
}
inline void Put32(RwUInt8* p, RwUInt32 v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

struct Header {
    RwUInt32 dataOffset;
    RwUInt32 infoSize;
    RwInt32 width;
    RwInt32 height;
    RwUInt32 bitCount;
    RwUInt32 compression;
    RwUInt32 coloursUsed;
};

bool SupportedBitCount(RwUInt32 bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

// One file row (pixels most-significant bits first) into an image row.
void ConvertRow(const RwUInt8* row, RwUInt32 bits, RwImage* image, RwInt32 y) {
    RwUInt8* out = image->pixels + size_t(y) * size_t(image->stride);
    const RwInt32 width = image->width;
    auto index = [row, bits](RwInt32 x) -> RwUInt8 {
        switch (bits) {
        case 1:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4:
            return (x & 1) ? row[x >> 1] & 0xF : row[x >> 1] >> 4;
        default:
            return row[x];
        }
    };
    if (image->depth <= 8) {
        for (RwInt32 x = 0; x < width; ++x) {
            out[x] = index(x);
        }
        return;
    }
    for (RwInt32 x = 0; x < width; ++x, out += 4) {
        RwUInt32 v;
        switch (bits) {
        case 1:
        case 4:
        case 8:
            std::memcpy(out, image->palette + size_t(index(x)) * 4, 4);
            continue;
        case 15:
            v = U16(row + 2 * x);
            out[0] = RwUInt8((v >> 7) & 0xF8);
            out[1] = RwUInt8((v >> 2) & 0xF8);
            out[2] = RwUInt8(v << 3);
            break;
        case 16:
            v = U16(row + 2 * x);
            out[0] = RwUInt8((v >> 8) & 0xF8);
            out[1] = RwUInt8((v >> 3) & 0xFC);
            out[2] = RwUInt8(v << 3);
            break;
        default: // 24 and 32: blue, green, red (and a dropped fourth byte)
            const RwUInt8* p = row + size_t(x) * (bits / 8);
            out[0] = p[2];
            out[1] = p[1];
            out[2] = p[0];
            break;
        }
        out[3] = 255;
    }
}

// The compression field's codes that the reader takes.
enum Compression : RwUInt32 { CompressionNone = 0, CompressionRunLength8 = 1 };

// Escape codes after a zero count in run-length data.
enum RunLengthEscape : RwUInt8 { EndOfRow = 0, EndOfBitmap = 1, Delta = 2 };

// How a run-length row ended: refused (a position delta, a run past the row buffer, a short file), finished,
// or with the end of the bitmap.
enum RowResult { RowRefused, RowFinished, BitmapEnded };

// One row of 8-bit run-length data. Runs may cover the row's padding (writers encode it too), not more.
RowResult DecodeRunLengthRow(RwStream* stream, RwUInt8* row, RwInt32 width) {
    std::memset(row, 0, size_t(width));
    RwInt32 x = 0;
    for (;;) {
        RwUInt8 pair[2];
        if (RwStreamRead(stream, pair, 2) != 2) {
            return RowRefused;
        }
        if (pair[0] > 0) {
            if (pair[0] > width - x) {
                return RowRefused;
            }
            std::memset(row + x, pair[1], pair[0]);
            x += pair[0];
            continue;
        }
        switch (pair[1]) {
        case EndOfRow:
            return RowFinished;
        case EndOfBitmap:
            return BitmapEnded;
        case Delta:
            return RowRefused;
        default: {
            RwUInt32 count = pair[1];
            if (RwInt32(count) > width - x || RwStreamRead(stream, row + x, count) != count) {
                return RowRefused;
            }
            x += RwInt32(count);
            RwUInt8 pad;
            if ((count & 1) && RwStreamRead(stream, &pad, 1) != 1) {
                return RowRefused;
            }
            break;
        }
        }
    }
}

bool ReadHeader(RwStream* stream, Header* header) {
    RwUInt8 bytes[fileHeaderSize + infoHeaderSize];
    if (RwStreamRead(stream, bytes, 4) != 4 || bytes[0] != 'B' || bytes[1] != 'M' ||
        RwStreamRead(stream, bytes + 4, 14) != 14) {
        return false;
    }
    header->dataOffset = U32(bytes + 10);
    header->infoSize = U32(bytes + 14);
    const RwUInt8* info = bytes + fileHeaderSize;
    if (header->infoSize == coreHeaderSize) {
        if (RwStreamRead(stream, bytes + 18, 8) != 8) {
            return false;
        }
        header->width = RwInt16(U16(info + 4));
        header->height = RwInt16(U16(info + 6));
        header->bitCount = U16(info + 10);
        header->compression = CompressionNone;
        header->coloursUsed = 0;
        return true;
    }
    // Header versions run from 40 to 124 bytes; room is left for more, not for sizes that wrap offsets.
    if (header->infoSize < infoHeaderSize || header->infoSize > maxInfoHeaderSize) {
        RwErrorSetPlugin(rwID_BMPTOOLKIT, E_RW_INVIMAGEFORMAT);
        return false;
    }
    // Later header versions add fields after the first 40 bytes; the reader needs none of them.
    if (RwStreamRead(stream, bytes + 18, infoHeaderSize - 4) != infoHeaderSize - 4 ||
        (header->infoSize > infoHeaderSize && !RwStreamSkip(stream, header->infoSize - infoHeaderSize))) {
        return false;
    }
    header->width = RwInt32(U32(info + 4));
    header->height = RwInt32(U32(info + 8));
    header->bitCount = U16(info + 14);
    header->compression = U32(info + 16);
    header->coloursUsed = U32(info + 32);
    return true;
}

RwImage* Fail(RwImage* image, RwStream* stream, RwUInt8* row) {
    if (row) {
        RwFree(row);
    }
    if (image) {
        RwImageDestroy(image);
    }
    RwStreamClose(stream, nullptr);
    return nullptr;
}

} // namespace

RwImage* RtBMPImageRead(const RwChar* imageName) {
    if (!imageName) {
        RwErrorSetPlugin(rwID_BMPTOOLKIT, E_RW_NULLP);
        return nullptr;
    }
    RwStream* stream = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMREAD, imageName);
    if (!stream) {
        return nullptr;
    }
    Header header;
    if (!ReadHeader(stream, &header)) {
        return Fail(nullptr, stream, nullptr);
    }
    const RwUInt32 bits = header.bitCount;
    const bool runLength = header.compression == CompressionRunLength8 && bits != 24 && bits != 32;
    if ((header.compression != CompressionNone && bits != 24 && bits != 32 && !runLength) ||
        (runLength && bits != 8)) {
        RwErrorSetPlugin(rwID_BMPTOOLKIT, E_RW_INVIMAGEFORMAT); // 4-bit run-length, bit fields and others
        return Fail(nullptr, stream, nullptr);
    }
    if (!SupportedBitCount(bits)) {
        RwErrorSetPlugin(rwID_BMPTOOLKIT, E_RW_INVIMAGEDEPTH);
        return Fail(nullptr, stream, nullptr);
    }
    // Top-down files (negative heights) are not read.
    if (header.width <= 0 || header.height <= 0 || header.width > rtBMPMAXSIDE ||
        header.height > rtBMPMAXSIDE) {
        return Fail(nullptr, stream, nullptr);
    }
    RwUInt32 entries = bits <= 8 ? 1u << bits : 0;
    if (bits <= 8 && header.infoSize != coreHeaderSize && header.coloursUsed >= 1 &&
        header.coloursUsed <= entries) {
        entries = header.coloursUsed;
    }

    const RwInt32 depth = bits == 1 || bits == 4 ? 4 : bits == 8 ? 8 : 32;
    RwImage* image = RwImageCreate(header.width, header.height, depth);
    if (!image) {
        return Fail(nullptr, stream, nullptr);
    }
    if (!RwImageAllocatePixels(image)) {
        return Fail(image, stream, nullptr);
    }

    RwUInt32 consumed = fileHeaderSize + header.infoSize;
    if (bits <= 8) {
        if (header.infoSize != coreHeaderSize && header.infoSize != infoHeaderSize) {
            RwErrorSetPlugin(rwID_BMPTOOLKIT, E_RW_INVIMAGEFORMAT);
            return Fail(image, stream, nullptr);
        }
        const RwUInt32 entrySize = header.infoSize == coreHeaderSize ? 3 : 4;
        RwUInt8 colours[256 * 4];
        if (RwStreamRead(stream, colours, entries * entrySize) != entries * entrySize) {
            return Fail(image, stream, nullptr);
        }
        // Entries past those in the file stay black and opaque.
        const size_t paletteEntries = size_t(1) << depth;
        for (size_t i = 0; i < paletteEntries; ++i) {
            RwUInt8* entry = image->palette + i * 4;
            const RwUInt8* stored = colours + i * entrySize;
            entry[0] = i < entries ? stored[2] : 0;
            entry[1] = i < entries ? stored[1] : 0;
            entry[2] = i < entries ? stored[0] : 0;
            entry[3] = 255;
        }
        consumed += entries * entrySize;
    }
    if (header.dataOffset < consumed || !RwStreamSkip(stream, header.dataOffset - consumed)) {
        return Fail(image, stream, nullptr);
    }

    const size_t fileRow = ((size_t(bits) * size_t(header.width) + 7) / 8 + 3) & ~size_t(3);
    const size_t rowBytes = std::max(fileRow, size_t((header.width + 7) & ~7) * ((bits + 7) / 8));
    auto* row = static_cast<RwUInt8*>(RwMalloc(rowBytes, rwMEMHINTDUR_FUNCTION | rwID_BMPTOOLKIT));
    if (!row) {
        RwErrorSetPlugin(rwID_BMPTOOLKIT, E_RW_NOMEM);
        return Fail(image, stream, nullptr);
    }

    // Rows are stored bottom-up.
    if (runLength) {
        RwInt32 i = 0;
        for (RowResult result = RowFinished; i < header.height && result == RowFinished; ++i) {
            result = DecodeRunLengthRow(stream, row, RwInt32(rowBytes));
            if (result == RowRefused) {
                return Fail(image, stream, row);
            }
            ConvertRow(row, bits, image, header.height - 1 - i);
        }
        // Rows after an early end of the bitmap hold index 0.
        std::memset(image->pixels, 0, size_t(image->stride) * size_t(header.height - i));
    } else {
        for (RwInt32 i = 0; i < header.height; ++i) {
            if (RwStreamRead(stream, row, RwUInt32(fileRow)) != fileRow) {
                return Fail(image, stream, row);
            }
            ConvertRow(row, bits, image, header.height - 1 - i);
        }
    }
    RwFree(row);
    RwStreamClose(stream, nullptr);
    return image;
}

RwImage* RtBMPImageWrite(RwImage* image, const RwChar* imageName) {
    if (!image || !imageName || !image->pixels) {
        RwErrorSetPlugin(rwID_BMPTOOLKIT, E_RW_NULLP);
        return nullptr;
    }
    const bool palettised = image->palette && (image->depth == 4 || image->depth == 8);
    if (!palettised && image->depth != 32) {
        RwErrorSetPlugin(rwID_BMPTOOLKIT, E_RW_INVIMAGEDEPTH);
        return nullptr;
    }
    RwStream* stream = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMWRITE, imageName);
    if (!stream) {
        return nullptr;
    }
    const RwUInt32 depth = palettised ? RwUInt32(image->depth) : 24;
    const RwUInt32 entries = palettised ? 1u << depth : 0;
    const RwUInt32 paletteBytes = 4 * entries;
    const RwUInt32 width = RwUInt32(image->width), height = RwUInt32(image->height);
    const RwUInt32 rowBytes = ((width * depth + 31) / 8) & ~3u;

    RwUInt8 header[fileHeaderSize + infoHeaderSize] = {};
    header[0] = 'B';
    header[1] = 'M';
    Put32(header + 2, rowBytes * height + paletteBytes + 54);
    Put32(header + 10, paletteBytes + 54);
    RwUInt8* info = header + fileHeaderSize;
    Put32(info, infoHeaderSize);
    Put32(info + 4, width);
    Put32(info + 8, height);
    Put16(info + 12, 1);
    Put16(info + 14, depth);
    Put32(info + 32, entries);
    Put32(info + 36, entries);
    bool written = RwStreamWrite(stream, header, sizeof(header)) != nullptr;
    for (RwUInt32 i = 0; written && i < entries; ++i) {
        const RwUInt8* entry = image->palette + size_t(i) * 4;
        const RwUInt8 stored[4] = {entry[2], entry[1], entry[0], 255};
        written = RwStreamWrite(stream, stored, 4) != nullptr;
    }

    auto* row = static_cast<RwUInt8*>(
        RwMalloc(std::max<size_t>(rowBytes, 1), rwMEMHINTDUR_FUNCTION | rwID_BMPTOOLKIT));
    if (!row) {
        RwErrorSetPlugin(rwID_BMPTOOLKIT, E_RW_NOMEM);
        RwStreamClose(stream, nullptr);
        return nullptr;
    }
    for (RwInt32 y = image->height - 1; written && y >= 0; --y) {
        std::memset(row, 0, rowBytes);
        const RwUInt8* in = image->pixels + size_t(y) * size_t(image->stride);
        if (depth == 4) {
            for (RwUInt32 x = 0; x < width; ++x) {
                row[x / 2] |= RwUInt8((in[x] & 0xF) << ((x & 1) ? 0 : 4));
            }
        } else if (depth == 8) {
            std::memcpy(row, in, width);
        } else {
            for (RwUInt32 x = 0; x < width; ++x, in += 4) {
                row[3 * x] = in[2];
                row[3 * x + 1] = in[1];
                row[3 * x + 2] = in[0];
            }
        }
        written = RwStreamWrite(stream, row, rowBytes) != nullptr;
    }
    RwFree(row);
    // A file that could not be written whole is reported as a failure.
    if (!RwStreamClose(stream, nullptr) || !written) {
        RwErrorSetPlugin(rwID_BMPTOOLKIT, E_RW_WRITE);
        return nullptr;
    }
    return image;
}
