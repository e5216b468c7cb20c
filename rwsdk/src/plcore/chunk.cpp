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

void RwLibraryStampDecode(RwUInt32 stamp, RwUInt32* version, RwUInt32* build) {
    RwUInt32 v, b;
    if (stamp < 0x10000u) {
        // An old plain version number.
        v = stamp << 8;
        b = 0;
    } else {
        v = ((stamp >> 14) & 0x3FF00u) + 0x30000u + ((stamp >> 16) & 0x3Fu);
        b = stamp & 0xFFFFu;
    }
    if (version) {
        *version = v;
    }
    if (build) {
        *build = b;
    }
}

namespace {

// Inlined into the chunk finder too: a model is several hundred chunks.
inline bool ReadHeader(RwStream* stream, RwUInt32* type, RwUInt32* length, RwUInt32* version,
                       RwUInt32* build) {
    // Memory streams are read in place: models are walked header by header.
    RwUInt8 copy[rwCHUNKHEADERSIZE];
    const RwUInt8* bytes = _rwStreamTakeInPlace(stream, rwCHUNKHEADERSIZE);
    if (!bytes) {
        if (RwStreamRead(stream, copy, sizeof(copy)) != sizeof(copy)) {
            RwErrorSetCode(E_RW_READ);
            return false;
        }
        bytes = copy;
    }
    if (type) {
        *type = LoadLE32(bytes);
    }
    if (length) {
        *length = LoadLE32(bytes + 4);
    }
    RwLibraryStampDecode(LoadLE32(bytes + 8), version, build);
    return true;
}

} // namespace

RwBool RwStreamReadChunkHeader(RwStream* stream, RwUInt32* type, RwUInt32* length, RwUInt32* version,
                               RwUInt32* build) {
    return ReadHeader(stream, type, length, version, build) ? TRUE : FALSE;
}

RwStream* RwStreamWriteChunkHeader(RwStream* stream, RwUInt32 type, RwUInt32 length, RwUInt32 version,
                                   RwUInt32 build) {
    RwUInt8 bytes[rwCHUNKHEADERSIZE];
    StoreLE32(bytes, type);
    StoreLE32(bytes + 4, length);
    StoreLE32(bytes + 8, RwLibraryStampEncode(version, build));
    return RwStreamWrite(stream, bytes, sizeof(bytes));
}

RwBool RwStreamFindChunk(RwStream* stream, RwUInt32 type, RwUInt32* lengthOut, RwUInt32* versionOut) {
    RwUInt32 readType, length, version;
    while (ReadHeader(stream, &readType, &length, &version, nullptr)) {
        if (readType == type) {
            if (!RwChunkVersionAccepted(version)) {
                RwErrorSetCode(E_RW_BADVERSION);
                return FALSE;
            }
            if (lengthOut) {
                *lengthOut = length;
            }
            if (versionOut) {
                *versionOut = version;
            }
            return TRUE;
        }
        if (!RwStreamSkip(stream, length)) {
            return FALSE;
        }
    }
    return FALSE;
}
