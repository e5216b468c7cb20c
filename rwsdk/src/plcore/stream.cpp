#include "rwsdk/src/plcore/stream.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/error.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

namespace {

struct StreamGlobals {
    RwFreeList* streamFreeList;
};

RwModuleInfo streamModule;

constexpr RwInt32 streamsPerBlock = 16;
constexpr RwInt32 streamBlocksPreallocated = 1;
constexpr RwUInt32 streamHint = rwMEMHINTDUR_EVENT | rwID_STREAMMODULE;
constexpr RwUInt32 memoryGrowth = 512;

RwFreeList* StreamFreeList() {
    return RWMODULEDATA(StreamGlobals, streamModule)->streamFreeList;
}

void GiveBack(RwStream* stream) {
    if (stream->rwOwned) {
        RwFreeListEntryFree(StreamFreeList(), stream);
    }
}

RwFileFunctions& Files() {
    return RWSRCGLOBAL(fileFuncs);
}

void* StreamModuleOpen(void* instance, RwInt32 offset, RwInt32) {
    auto* globals = RWPLUGINOFFSET(StreamGlobals, instance, offset);
    globals->streamFreeList =
        RwFreeListCreateAndPreallocateSpace(sizeof(RwStream), streamsPerBlock, 0, streamBlocksPreallocated,
                                            nullptr, rwMEMHINTDUR_GLOBAL | rwID_STREAMMODULE);
    if (!globals->streamFreeList) {
        return nullptr;
    }
    streamModule.globalsOffset = offset;
    ++streamModule.numInstances;
    return instance;
}

void* StreamModuleClose(void* instance, RwInt32 offset, RwInt32) {
    auto* globals = RWPLUGINOFFSET(StreamGlobals, instance, offset);
    if (globals->streamFreeList) {
        RwFreeListDestroy(globals->streamFreeList);
        globals->streamFreeList = nullptr;
    }
    --streamModule.numInstances;
    return instance;
}

// Grows a memory stream opened for writing so that length more bytes fit at its position.
bool MemoryReserve(RwStreamMemory& memory, RwUInt32 length) {
    if (!memory.memBlock) {
        memory.memBlock = static_cast<RwUInt8*>(RwMalloc(memoryGrowth, streamHint));
        if (!memory.memBlock) {
            RwErrorSetCode(E_RW_NOMEM);
            return false;
        }
        memory.nSize = memoryGrowth;
    }
    if (length <= memory.nSize - memory.position) {
        return true;
    }
    RwUInt64 grown = RwUInt64(memory.nSize) + (length >= memoryGrowth ? length : memoryGrowth);
    if (grown > 0xFFFFFFFFu) {
        RwErrorSetCode(E_RW_NOMEM);
        return false;
    }
    auto* block =
        static_cast<RwUInt8*>(RwRealloc(memory.memBlock, grown, streamHint | rwMEMHINTFLAG_RESIZABLE));
    if (!block) {
        RwErrorSetCode(E_RW_NOMEM);
        return false;
    }
    memory.memBlock = block;
    memory.nSize = RwUInt32(grown);
    return true;
}

} // namespace

RwStream* RwStreamOpen(RwStreamType type, RwStreamAccessType accessType, const void* data) {
    if (streamModule.numInstances <= 0) {
        RwErrorSetCode(E_RW_BADENGINESTATE);
        return nullptr;
    }
    auto* stream = static_cast<RwStream*>(RwFreeListEntryAlloc(StreamFreeList(), streamHint));
    if (!stream) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(stream, 0, sizeof(*stream));
    stream->type = type;
    stream->accessType = accessType;
    stream->rwOwned = TRUE;

    auto fail = [stream](RwUInt32 code) -> RwStream* {
        if (code) {
            RwErrorSetCode(code);
        }
        GiveBack(stream);
        return nullptr;
    };

    switch (type) {
    case rwSTREAMFILE: {
        void* file = const_cast<void*>(data);
        if (!file || Files().rwftell(file) == -1) {
            return fail(file ? 0u : RwUInt32(E_RW_NULLP));
        }
        stream->Type.file.fpFile = file;
        return stream;
    }
    case rwSTREAMFILENAME: {
        const char* mode = accessType == rwSTREAMREAD     ? "rb"
                           : accessType == rwSTREAMWRITE  ? "wb"
                           : accessType == rwSTREAMAPPEND ? "ab"
                                                          : nullptr;
        if (!mode) {
            return fail(E_RW_BADSTREAMACCESS);
        }
        if (!data) {
            return fail(E_RW_NULLP);
        }
        void* file = Files().rwfopen(static_cast<const RwChar*>(data), mode);
        if (!file) {
            return fail(E_RW_BADOPEN);
        }
        stream->Type.file.fpFile = file;
        return stream;
    }
    case rwSTREAMMEMORY: {
        RwStreamMemory& memory = stream->Type.memory;
        const auto* given = static_cast<const RwMemory*>(data);
        switch (accessType) {
        case rwSTREAMREAD:
            if (!given || (!given->start && given->length)) {
                return fail(E_RW_NULLP);
            }
            memory.position = 0;
            memory.nSize = given->length;
            memory.memBlock = given->start;
            return stream;
        case rwSTREAMWRITE:
            memory.position = 0;
            memory.nSize = 0;
            memory.memBlock = nullptr;
            return stream;
        case rwSTREAMAPPEND:
            // The buffer is grown with RwRealloc: it must come from the engine's memory functions.
            if (!given || (!given->start && given->length)) {
                return fail(E_RW_NULLP);
            }
            memory.position = given->length;
            memory.nSize = given->length;
            memory.memBlock = given->start;
            return stream;
        default:
            return fail(E_RW_BADSTREAMACCESS);
        }
    }
    case rwSTREAMCUSTOM:
        if (!data) {
            return fail(E_RW_NULLP);
        }
        stream->Type.custom = *static_cast<const RwStreamCustom*>(data);
        return stream;
    default:
        return fail(E_RW_BADSTREAMTYPE);
    }
}

RwBool RwStreamClose(RwStream* stream, void* data) {
    RwBool result = TRUE;
    switch (stream->type) {
    case rwSTREAMFILE:
        break;
    case rwSTREAMFILENAME:
        // A failed close can mean buffered bytes never reached the file.
        result = Files().rwfclose(stream->Type.file.fpFile) == 0;
        break;
    case rwSTREAMMEMORY:
        if (stream->accessType == rwSTREAMWRITE || stream->accessType == rwSTREAMAPPEND) {
            if (data) {
                auto* out = static_cast<RwMemory*>(data);
                out->start = stream->Type.memory.memBlock;
                out->length = stream->Type.memory.position;
            } else if (stream->Type.memory.memBlock) {
                RwFree(stream->Type.memory.memBlock); // nobody takes the buffer
            }
        }
        break;
    case rwSTREAMCUSTOM:
        if (stream->Type.custom.sfnclose) {
            stream->Type.custom.sfnclose(stream->Type.custom.data);
        }
        break;
    default:
        RwErrorSetCode(E_RW_BADSTREAMTYPE);
        return FALSE;
    }
    GiveBack(stream);
    return result;
}

bool _rwBoundedRead::Bytes(void* out, RwUInt32 size) {
    if (size > left || RwStreamRead(stream, out, size) != size) {
        if (shortReadError)
            RwErrorSetCode(shortReadError);
        return false;
    }
    left -= size;
    return true;
}

bool _rwBoundedRead::U32(RwUInt32* out) {
    RwUInt8 b[4];
    if (!Bytes(b, 4))
        return false;
    *out = RwUInt32(b[0]) | RwUInt32(b[1]) << 8 | RwUInt32(b[2]) << 16 | RwUInt32(b[3]) << 24;
    return true;
}

bool _rwBoundedRead::Real(RwReal* out) {
    RwUInt32 bits;
    if (!U32(&bits))
        return false;
    *out = std::bit_cast<RwReal>(bits);
    return true;
}

RwUInt32 _rwStreamReadAny(RwStream* stream, void* buffer, RwUInt32 length) {
    RwUInt32 got = 0;
    switch (stream->type) {
    case rwSTREAMFILE:
    case rwSTREAMFILENAME:
        got = RwUInt32(Files().rwfread(buffer, 1, length, stream->Type.file.fpFile));
        if (got < length) {
            RwErrorSetCode(Files().rwfeof(stream->Type.file.fpFile) ? E_RX_ENDOFSTREAM : E_RW_READ);
        }
        break;
    case rwSTREAMMEMORY: {
        RwStreamMemory& memory = stream->Type.memory;
        RwUInt32 left = memory.nSize > memory.position ? memory.nSize - memory.position : 0;
        got = std::min(length, left);
        if (got) {
            std::memcpy(buffer, memory.memBlock + memory.position, got);
        }
        memory.position += got;
        if (got < length) {
            RwErrorSetCode(E_RX_ENDOFSTREAM);
        }
        break;
    }
    case rwSTREAMCUSTOM:
        if (!stream->Type.custom.sfnread) {
            RwErrorSetCode(E_RW_READ);
            return 0;
        }
        got = stream->Type.custom.sfnread(stream->Type.custom.data, buffer, length);
        got = std::min(got, length);
        break;
    default:
        RwErrorSetCode(E_RW_BADSTREAMTYPE);
        return 0;
    }
    stream->position += got;
    return got;
}

RwStream* RwStreamWrite(RwStream* stream, const void* buffer, RwUInt32 length) {
    switch (stream->type) {
    case rwSTREAMFILE:
    case rwSTREAMFILENAME:
        if (Files().rwfwrite(buffer, 1, length, stream->Type.file.fpFile) != length) {
            RwErrorSetCode(E_RW_WRITE);
            return nullptr;
        }
        break;
    case rwSTREAMMEMORY: {
        if (stream->accessType == rwSTREAMREAD) {
            RwErrorSetCode(E_RW_BADSTREAMACCESS);
            return nullptr;
        }
        RwStreamMemory& memory = stream->Type.memory;
        if (!MemoryReserve(memory, length)) {
            return nullptr;
        }
        if (length) {
            std::memcpy(memory.memBlock + memory.position, buffer, length);
        }
        memory.position += length;
        break;
    }
    case rwSTREAMCUSTOM:
        if (!stream->Type.custom.sfnwrite ||
            stream->Type.custom.sfnwrite(stream->Type.custom.data, buffer, length) <= 0) {
            RwErrorSetCode(E_RW_WRITE);
            return nullptr;
        }
        break;
    default:
        RwErrorSetCode(E_RW_BADSTREAMTYPE);
        return nullptr;
    }
    stream->position += length;
    return stream;
}

RwUInt32 _rwStreamBytesLeftAny(RwStream* stream) {
    constexpr RwUInt32 unknown = 0xFFFFFFFF;
    switch (stream->type) {
    case rwSTREAMFILE:
    case rwSTREAMFILENAME: {
        void* file = stream->Type.file.fpFile;
        const long here = Files().rwftell(file);
        if (here < 0 || Files().rwfseek(file, 0, SEEK_END) != 0)
            return unknown;
        const long end = Files().rwftell(file);
        if (Files().rwfseek(file, here, SEEK_SET) != 0 || end < here)
            return unknown;
        return RwUInt32(std::min<RwInt64>(RwInt64(end) - here, unknown - 1));
    }
    case rwSTREAMMEMORY:
        return stream->Type.memory.nSize > stream->Type.memory.position
                   ? stream->Type.memory.nSize - stream->Type.memory.position
                   : 0;
    default:
        return unknown;
    }
}

RwStream* RwStreamSkip(RwStream* stream, RwUInt32 offset) {
    if (offset == 0) {
        return stream;
    }
    switch (stream->type) {
    case rwSTREAMFILE:
    case rwSTREAMFILENAME: {
        void* file = stream->Type.file.fpFile;
        // Seeking past the end succeeds on a file; a skip there is the end of the data, as in memory.
        long here = Files().rwftell(file);
        if (here < 0 || Files().rwfseek(file, 0, SEEK_END) != 0) {
            RwErrorSetCode(E_RW_READ);
            return nullptr;
        }
        long end = Files().rwftell(file);
        if (RwInt64(here) + offset > RwInt64(end) && stream->accessType == rwSTREAMREAD) {
            RwErrorSetCode(E_RX_ENDOFSTREAM);
            return nullptr;
        }
        if (Files().rwfseek(file, long(RwInt64(here) + offset), SEEK_SET) != 0) {
            RwErrorSetCode(E_RW_READ);
            return nullptr;
        }
        break;
    }
    case rwSTREAMMEMORY: {
        RwStreamMemory& memory = stream->Type.memory;
        if (RwUInt64(memory.position) + offset > memory.nSize) {
            memory.position = std::max(memory.position, memory.nSize);
            RwErrorSetCode(E_RX_ENDOFSTREAM);
            return nullptr;
        }
        memory.position += offset;
        break;
    }
    case rwSTREAMCUSTOM:
        if (!stream->Type.custom.sfnskip ||
            stream->Type.custom.sfnskip(stream->Type.custom.data, offset) <= 0) {
            return nullptr;
        }
        break;
    default:
        RwErrorSetCode(E_RW_BADSTREAMTYPE);
        return nullptr;
    }
    stream->position += offset;
    return stream;
}

RwStream* RwStreamWriteReal(RwStream* stream, const RwReal* reals, RwUInt32 length) {
    // Stored as little-endian IEEE single precision, which is what this machine holds.
    RwUInt8 piece[256];
    const auto* bytes = reinterpret_cast<const RwUInt8*>(reals);
    while (length > 0) {
        RwUInt32 n = std::min<RwUInt32>(length, sizeof(piece));
        std::memcpy(piece, bytes, n);
        if (!RwStreamWrite(stream, piece, n)) {
            return nullptr;
        }
        bytes += n;
        length -= n;
    }
    return stream;
}

RwStream* RwStreamWriteInt32(RwStream* stream, const RwInt32* ints, RwUInt32 length) {
    return RwStreamWrite(stream, ints, length);
}

RwStream* _rwStreamReadWords(RwStream* stream, void* words, RwUInt32 length) {
    // A partial read is a failure: the tail of the array would be left unwritten.
    if (RwStreamRead(stream, words, length) != length) {
        RwErrorSetCode(E_RW_READ);
        return nullptr;
    }
    return stream;
}

RwInt32 _rwStreamModuleAttach() {
    return RwEngineRegisterPlugin(sizeof(StreamGlobals), rwID_STREAMMODULE, StreamModuleOpen,
                                  StreamModuleClose);
}
