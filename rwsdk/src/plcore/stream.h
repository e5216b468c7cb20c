// Streams over an open file, a named file, a memory block or a caller's callbacks.
#pragma once

#include "rwsdk/src/plcore/types.h"

#include <bit>
#include <cstddef>
#include <cstring>

enum RwStreamType : RwUInt32 {
    rwNASTREAM = 0,
    rwSTREAMFILE = 1,
    rwSTREAMFILENAME = 2,
    rwSTREAMMEMORY = 3,
    rwSTREAMCUSTOM = 4,
};

enum RwStreamAccessType : RwUInt32 {
    rwNASTREAMACCESS = 0,
    rwSTREAMREAD = 1,
    rwSTREAMWRITE = 2,
    rwSTREAMAPPEND = 3,
};

typedef RwBool (*rwCustomStreamFnClose)(void* data);
typedef RwUInt32 (*rwCustomStreamFnRead)(void* data, void* buffer, RwUInt32 length);
typedef RwInt32 (*rwCustomStreamFnWrite)(void* data, const void* buffer, RwUInt32 length); // above 0: success
typedef RwInt32 (*rwCustomStreamFnSkip)(void* data, RwUInt32 offset);                      // above 0: success

struct RwStreamMemory {
    RwUInt32 position;
    RwUInt32 nSize; // data length when reading, capacity when writing
    RwUInt8* memBlock;
};

struct RwStreamCustom {
    rwCustomStreamFnClose sfnclose;
    rwCustomStreamFnRead sfnread;
    rwCustomStreamFnWrite sfnwrite;
    rwCustomStreamFnSkip sfnskip;
    void* data;
};

struct RwStreamFile {
    void* fpFile; // a handle of the engine's file interface
};

union RwStreamUnion {
    RwStreamMemory memory;
    RwStreamFile file;
    RwStreamCustom custom;
};

struct RwStream {
    RwStreamType type;
    RwStreamAccessType accessType;
    RwUInt32 position; // bytes read, written or skipped since the stream was opened
    RwStreamUnion Type;
    RwBool rwOwned; // from the stream free list, given back at close
};

// Open data of a memory stream, and what closing a written memory stream hands back.
struct RwMemory {
    RwUInt8* start;
    RwUInt32 length;
};

// Open data: rwSTREAMFILE an open file handle; rwSTREAMFILENAME the path; rwSTREAMMEMORY an RwMemory;
// rwSTREAMCUSTOM an RwStreamCustom.
RwStream* RwStreamOpen(RwStreamType type, RwStreamAccessType accessType, const void* data);
// For a memory stream opened for write or append, data (an RwMemory, or null) receives the buffer, which
// then belongs to the caller (RwFree it).
RwBool RwStreamClose(RwStream* stream, void* data);
RwStream* RwStreamWrite(RwStream* stream, const void* buffer, RwUInt32 length);
RwStream* RwStreamSkip(RwStream* stream, RwUInt32 offset);
// Bytes a read stream still holds (memory and file streams), or 0xFFFFFFFF when the stream cannot say.
// Readers weigh the sizes a record declares against it before allocating.
RwUInt32 _rwStreamBytesLeftAny(RwStream* stream);
[[gnu::always_inline]] inline RwUInt32 RwStreamBytesLeft(RwStream* stream) {
    if (stream->type != rwSTREAMMEMORY)
        return _rwStreamBytesLeftAny(stream);
    const RwStreamMemory& memory = stream->Type.memory;
    return memory.nSize > memory.position ? memory.nSize - memory.position : 0;
}
// The next length bytes of a memory stream open for reading, in place, or null for other streams (and for
// a memory stream with fewer bytes left): readers convert from them without a copy, then skip them.
// Both checks are one comparison each: the kind and the access word together, and what is left in 64 bits
// (negative should the position ever lie past the end).
[[gnu::always_inline]] inline const RwUInt8* _rwStreamBytesInPlace(const RwStream* stream, RwUInt32 length) {
    static_assert(offsetof(RwStream, accessType) == offsetof(RwStream, type) + sizeof(RwUInt32) &&
                  std::endian::native == std::endian::little);
    RwUInt64 kind;
    std::memcpy(&kind, &stream->type, sizeof(kind));
    if (kind != (RwUInt64(rwSTREAMREAD) << 32 | rwSTREAMMEMORY))
        return nullptr;
    const RwStreamMemory& memory = stream->Type.memory;
    return RwInt64(memory.nSize) - RwInt64(memory.position) >= RwInt64(length)
               ? memory.memBlock + memory.position
               : nullptr;
}
// Steps a memory stream past length bytes that _rwStreamBytesInPlace has just handed over (unchecked).
[[gnu::always_inline]] inline void _rwStreamStepInPlace(RwStream* stream, RwUInt32 length) {
    stream->Type.memory.position += length;
    stream->position += length;
}
// As _rwStreamBytesInPlace, and the stream steps past them: no call per small record of a model.
[[gnu::always_inline]] inline const RwUInt8* _rwStreamTakeInPlace(RwStream* stream, RwUInt32 length) {
    const RwUInt8* bytes = _rwStreamBytesInPlace(stream, length);
    if (bytes)
        _rwStreamStepInPlace(stream, length);
    return bytes;
}

// Every kind of stream; RwStreamRead takes whole reads from memory itself.
RwUInt32 _rwStreamReadAny(RwStream* stream, void* buffer, RwUInt32 length);
// Bytes read: fewer than asked only at the end of the data or on failure.
[[gnu::always_inline]] inline RwUInt32 RwStreamRead(RwStream* stream, void* buffer, RwUInt32 length) {
    if (const RwUInt8* bytes = _rwStreamTakeInPlace(stream, length)) {
        std::memcpy(buffer, bytes, length);
        return length;
    }
    return _rwStreamReadAny(stream, buffer, length);
}

// Reads held within a count of bytes (a chunk's or an extension's data), so that no count read from the data
// can reach past it: false past the count or on a short read, and then shortReadError, when it is set, is
// raised. Words are stored little-endian.
struct _rwBoundedRead {
    RwStream* stream;
    RwUInt32 left;
    RwUInt32 shortReadError = 0;

    bool Bytes(void* out, RwUInt32 size);
    bool U32(RwUInt32* out);
    bool Real(RwReal* out);
};

// Arrays in their stored form (little-endian 32-bit words); lengths are in bytes. A short read fails.
RwStream* RwStreamWriteReal(RwStream* stream, const RwReal* reals, RwUInt32 length);
RwStream* RwStreamWriteInt32(RwStream* stream, const RwInt32* ints, RwUInt32 length);
// Any stream; the two readers below take whole arrays from memory themselves.
RwStream* _rwStreamReadWords(RwStream* stream, void* words, RwUInt32 length);
[[gnu::always_inline]] inline RwStream* RwStreamReadInt32(RwStream* stream, RwInt32* ints, RwUInt32 length) {
    if (const RwUInt8* bytes = _rwStreamTakeInPlace(stream, length)) {
        std::memcpy(ints, bytes, length);
        return stream;
    }
    return _rwStreamReadWords(stream, ints, length);
}
[[gnu::always_inline]] inline RwStream* RwStreamReadReal(RwStream* stream, RwReal* reals, RwUInt32 length) {
    if (const RwUInt8* bytes = _rwStreamTakeInPlace(stream, length)) {
        std::memcpy(reals, bytes, length);
        return stream;
    }
    return _rwStreamReadWords(stream, reals, length);
}

// Engine module (plugin id 0x404).
RwInt32 _rwStreamModuleAttach();
