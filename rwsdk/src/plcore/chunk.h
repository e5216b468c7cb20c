// The binary chunk format: 12-byte headers with a library stamp, and the chunk types.
#pragma once

#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/plcore/types.h"

constexpr RwUInt32 rwLIBRARYBASEVERSION = 0x34000; // oldest version read
constexpr RwUInt32 rwLIBRARYCURRENTVERSION = 0x36003;
constexpr RwUInt32 rwLIBRARYBUILD = 0xFFFF;
constexpr RwUInt32 rwCHUNKHEADERSIZE = 12;

constexpr RwUInt32 rwID_STRUCT = 0x1;
constexpr RwUInt32 rwID_STRING = 0x2;
constexpr RwUInt32 rwID_EXTENSION = 0x3;
constexpr RwUInt32 rwID_CAMERA = 0x5;
constexpr RwUInt32 rwID_TEXTURE = 0x6;
constexpr RwUInt32 rwID_MATERIAL = 0x7;
constexpr RwUInt32 rwID_MATLIST = 0x8;
constexpr RwUInt32 rwID_WORLD = 0xB;
constexpr RwUInt32 rwID_FRAMELIST = 0xE;
constexpr RwUInt32 rwID_GEOMETRY = 0xF;
constexpr RwUInt32 rwID_CLUMP = 0x10;
constexpr RwUInt32 rwID_LIGHT = 0x12;
constexpr RwUInt32 rwID_UNICODESTRING = 0x13;
constexpr RwUInt32 rwID_ATOMIC = 0x14;
constexpr RwUInt32 rwID_TEXDICTIONARY = 0x16;
constexpr RwUInt32 rwID_IMAGE = 0x18;
constexpr RwUInt32 rwID_GEOMETRYLIST = 0x1A;

struct RwChunkHeaderInfo {
    RwUInt32 type;
    RwUInt32 length;
    RwUInt32 version;
    RwUInt32 buildNum;
};

RwUInt32 RwLibraryStampEncode(RwUInt32 version, RwUInt32 build);
void RwLibraryStampDecode(RwUInt32 stamp, RwUInt32* version, RwUInt32* build);
// The version alone of a library stamp (below 0x10000: an old plain version number).
inline RwUInt32 _rwLibraryStampVersion(RwUInt32 stamp) {
    return stamp < 0x10000u ? stamp << 8 : ((stamp >> 14) & 0x3FF00u) + 0x30000u + ((stamp >> 16) & 0x3Fu);
}
inline bool RwChunkVersionAccepted(RwUInt32 version) {
    return version >= rwLIBRARYBASEVERSION && version <= rwLIBRARYCURRENTVERSION;
}
// RwChunkVersionAccepted of a stamp's version without decoding it: the version rises with the stamp's top
// half (and with a plain number), so the accepted versions are one range of each.
[[gnu::always_inline]] inline bool _rwLibraryStampAccepted(RwUInt32 stamp) {
    constexpr RwUInt32 oldest = 0x1000, newest = 0x1803; // top halves of 0x34000 and 0x36003
    static_assert(((oldest & 0xFFC0u) << 2) + (oldest & 0x3Fu) + 0x30000u == rwLIBRARYBASEVERSION);
    static_assert(((newest & 0xFFC0u) << 2) + (newest & 0x3Fu) + 0x30000u == rwLIBRARYCURRENTVERSION);
    return stamp >= 0x10000u ? (stamp >> 16) - oldest <= newest - oldest
                             : stamp - (rwLIBRARYBASEVERSION >> 8) <=
                                   (rwLIBRARYCURRENTVERSION >> 8) - (rwLIBRARYBASEVERSION >> 8);
}

// The header words in place, little-endian.
[[gnu::always_inline]] inline RwUInt32 _rwChunkWord(const RwUInt8* header, int index) {
    const RwUInt8* p = header + 4 * index;
    return RwUInt32(p[0]) | RwUInt32(p[1]) << 8 | RwUInt32(p[2]) << 16 | RwUInt32(p[3]) << 24;
}
// Any stream.
RwBool _rwStreamReadChunkHeaderAny(RwStream* stream, RwUInt32* type, RwUInt32* length, RwUInt32* version,
                                   RwUInt32* build);
// Out arguments may be null. Memory streams hand the header over in place, without a call.
[[gnu::always_inline]] inline RwBool RwStreamReadChunkHeader(RwStream* stream, RwUInt32* type,
                                                             RwUInt32* length, RwUInt32* version,
                                                             RwUInt32* build) {
    const RwUInt8* header = _rwStreamTakeInPlace(stream, rwCHUNKHEADERSIZE);
    if (!header)
        return _rwStreamReadChunkHeaderAny(stream, type, length, version, build);
    const RwUInt32 stamp = _rwChunkWord(header, 2);
    if (type)
        *type = _rwChunkWord(header, 0);
    if (length)
        *length = _rwChunkWord(header, 1);
    if (version)
        *version = _rwLibraryStampVersion(stamp);
    if (build)
        *build = stamp < 0x10000u ? 0 : stamp & 0xFFFFu;
    return TRUE;
}
RwStream* RwStreamWriteChunkHeader(RwStream* stream, RwUInt32 type, RwUInt32 length, RwUInt32 version,
                                   RwUInt32 build);
// The engine's own header: current version, build 0xFFFF.
inline RwStream* RwStreamWriteEngineChunkHeader(RwStream* stream, RwUInt32 type, RwUInt32 length) {
    return RwStreamWriteChunkHeader(stream, type, length, rwLIBRARYCURRENTVERSION, rwLIBRARYBUILD);
}
// Any stream, chunk by chunk.
RwBool _rwStreamFindChunkAny(RwStream* stream, RwUInt32 type, RwUInt32* lengthOut, RwUInt32* versionOut);
// Steps over chunks of other types whole; leaves the stream at the payload of the chunk found. The common
// case, the wanted chunk next in a memory stream, costs no call: a model has several hundred chunks.
[[gnu::always_inline]] inline RwBool RwStreamFindChunk(RwStream* stream, RwUInt32 type, RwUInt32* lengthOut,
                                                       RwUInt32* versionOut) {
    if (const RwUInt8* header = _rwStreamBytesInPlace(stream, rwCHUNKHEADERSIZE)) {
        const RwUInt32 stamp = _rwChunkWord(header, 2);
        if (_rwChunkWord(header, 0) == type && _rwLibraryStampAccepted(stamp)) {
            if (lengthOut)
                *lengthOut = _rwChunkWord(header, 1);
            if (versionOut)
                *versionOut = _rwLibraryStampVersion(stamp);
            _rwStreamStepInPlace(stream, rwCHUNKHEADERSIZE);
            return TRUE;
        }
    }
    return _rwStreamFindChunkAny(stream, type, lengthOut, versionOut);
}
