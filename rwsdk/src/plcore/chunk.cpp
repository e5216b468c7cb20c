#include "rwsdk/src/plcore/chunk.h"

#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/stream.h"

namespace {

inline RwUInt32 LoadLE32(const RwUInt8* p) {
    return RwUInt32(p[0]) | RwUInt32(p[1]) << 8 | RwUInt32(p[2]) << 16 | RwUInt32(p[3]) << 24;
}

inline void StoreLE32(RwUInt8* p, RwUInt32 v) {
    p[0] = RwUInt8(v);
    p[1] = RwUInt8(v >> 8);
    p[2] = RwUInt8(v >> 16);
    p[3] = RwUInt8(v >> 24);
}

} // namespace

RwUInt32 RwLibraryStampEncode(RwUInt32 version, RwUInt32 build) {
    return (((version + 0x10000u) >> 8) << 22) | ((version & 0x3Fu) << 16) | (build & 0xFFFFu);
}

namespace {

struct HeaderWords {
    RwUInt32 type, length, stamp;
};

// Inlined into the chunk finder too: a model is several hundred chunks, whose headers memory streams hand
// over in place.
[[gnu::always_inline]] inline bool ReadHeader(RwStream* stream, HeaderWords* header) {
    RwUInt8 copy[rwCHUNKHEADERSIZE];
    const RwUInt8* bytes = _rwStreamTakeInPlace(stream, rwCHUNKHEADERSIZE);
    if (!bytes) {
        if (RwStreamRead(stream, copy, sizeof(copy)) != sizeof(copy)) {
            RwErrorSetCode(E_RW_READ);
            return false;
        }
        bytes = copy;
    }
    *header = {LoadLE32(bytes), LoadLE32(bytes + 4), LoadLE32(bytes + 8)};
    return true;
}

} // namespace

void RwLibraryStampDecode(RwUInt32 stamp, RwUInt32* version, RwUInt32* build) {
    if (version) {
        *version = _rwLibraryStampVersion(stamp);
    }
    if (build) {
        *build = stamp < 0x10000u ? 0 : stamp & 0xFFFFu;
    }
}

RwBool _rwStreamReadChunkHeaderAny(RwStream* stream, RwUInt32* type, RwUInt32* length, RwUInt32* version,
                                   RwUInt32* build) {
    HeaderWords header;
    if (!ReadHeader(stream, &header)) {
        return FALSE;
    }
    if (type) {
        *type = header.type;
    }
    if (length) {
        *length = header.length;
    }
    RwLibraryStampDecode(header.stamp, version, build);
    return TRUE;
}

RwStream* RwStreamWriteChunkHeader(RwStream* stream, RwUInt32 type, RwUInt32 length, RwUInt32 version,
                                   RwUInt32 build) {
    RwUInt8 bytes[rwCHUNKHEADERSIZE];
    StoreLE32(bytes, type);
    StoreLE32(bytes + 4, length);
    StoreLE32(bytes + 8, RwLibraryStampEncode(version, build));
    return RwStreamWrite(stream, bytes, sizeof(bytes));
}

RwBool _rwStreamFindChunkAny(RwStream* stream, RwUInt32 type, RwUInt32* lengthOut, RwUInt32* versionOut) {
    HeaderWords header;
    while (ReadHeader(stream, &header)) {
        if (header.type == type) {
            const RwUInt32 version = _rwLibraryStampVersion(header.stamp);
            if (!RwChunkVersionAccepted(version)) {
                RwErrorSetCode(E_RW_BADVERSION);
                return FALSE;
            }
            if (lengthOut) {
                *lengthOut = header.length;
            }
            if (versionOut) {
                *versionOut = version;
            }
            return TRUE;
        }
        if (!RwStreamSkip(stream, header.length)) {
            return FALSE;
        }
    }
    return FALSE;
}
