// The binary chunk format: 12-byte headers with a library stamp, and the chunk types.
#pragma once

#include "rwsdk/src/plcore/types.h"

struct RwStream;

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
inline bool RwChunkVersionAccepted(RwUInt32 version) {
    return version >= rwLIBRARYBASEVERSION && version <= rwLIBRARYCURRENTVERSION;
}

// Out arguments may be null.
RwBool RwStreamReadChunkHeader(RwStream* stream, RwUInt32* type, RwUInt32* length, RwUInt32* version,
                               RwUInt32* build);
RwStream* RwStreamWriteChunkHeader(RwStream* stream, RwUInt32 type, RwUInt32 length, RwUInt32 version,
                                   RwUInt32 build);
// The engine's own header: current version, build 0xFFFF.
inline RwStream* RwStreamWriteEngineChunkHeader(RwStream* stream, RwUInt32 type, RwUInt32 length) {
    return RwStreamWriteChunkHeader(stream, type, length, rwLIBRARYCURRENTVERSION, rwLIBRARYBUILD);
}
// Steps over chunks of other types whole; leaves the stream at the payload of the chunk found.
RwBool RwStreamFindChunk(RwStream* stream, RwUInt32 type, RwUInt32* lengthOut, RwUInt32* versionOut);
