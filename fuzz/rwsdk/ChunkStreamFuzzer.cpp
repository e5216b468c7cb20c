// Arbitrary bytes read as a chunk stream: extension chunks with plugin sub-chunks, strings and chunk
// searches, on a started engine.
#include "fuzz/support/EngineFuzz.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/stream.h"

#include <cstring>

namespace {

struct Thing {
    RwInt32 fields[3];
};
RwPluginRegistry thingRegistry = {sizeof(Thing), sizeof(Thing), 0, nullptr, nullptr};

struct Name {
    RwChar text[16];
};
struct Numbers {
    RwInt32 count;
    RwInt32 values[8];
};

// A name held in a string chunk inside the sub-chunk: its reader may run past the sub-chunk.
RwStream* ReadName(RwStream* stream, RwInt32, void* object, RwInt32 offset, RwInt32) {
    return RwStringStreamRead(RWPLUGINOFFSET(Name, object, offset)->text, stream, sizeof(Name::text))
               ? stream
               : nullptr;
}

// A count and that many numbers, as far as they fit.
RwStream* ReadNumbers(RwStream* stream, RwInt32 length, void* object, RwInt32 offset, RwInt32) {
    auto* numbers = RWPLUGINOFFSET(Numbers, object, offset);
    if (!RwStreamReadInt32(stream, &numbers->count, 4)) {
        return nullptr;
    }
    RwInt32 fit = (length - 4) / 4;
    if (numbers->count < 0 || numbers->count > fit || numbers->count > 8) {
        numbers->count = 0;
        return nullptr;
    }
    return RwStreamReadInt32(stream, numbers->values, RwUInt32(numbers->count) * 4);
}

// Reads whatever the sub-chunk holds, in pieces, without trusting its length for memory.
RwStream* ReadBytes(RwStream* stream, RwInt32 length, void* object, RwInt32 offset, RwInt32) {
    RwUInt8 piece[64];
    RwUInt32 sum = 0;
    while (length > 0) {
        RwUInt32 n = RwUInt32(length < 64 ? length : 64);
        if (RwStreamRead(stream, piece, n) != n) {
            return nullptr;
        }
        for (RwUInt32 i = 0; i < n; ++i) {
            sum += piece[i];
        }
        length -= RwInt32(n);
    }
    *RWPLUGINOFFSET(RwUInt32, object, offset) = sum;
    return stream;
}

void* CheckNumbers(void* object, RwInt32 offset, RwInt32) {
    return RWPLUGINOFFSET(Numbers, object, offset)->count <= 8 ? object : nullptr;
}

bool Start() {
    return EngineFuzz::Start([] {
        RwPluginRegistryAddPlugin(&thingRegistry, sizeof(Name), 0x101, nullptr, nullptr, nullptr);
        RwPluginRegistryAddPlugin(&thingRegistry, sizeof(Numbers), 0x102, nullptr, nullptr, nullptr);
        RwPluginRegistryAddPlugin(&thingRegistry, sizeof(RwUInt32), 0x103, nullptr, nullptr, nullptr);
        RwPluginRegistryAddPlugin(&thingRegistry, 4, 0x104, nullptr, nullptr, nullptr); // no stream callbacks
        RwPluginRegistryAddPluginStream(&thingRegistry, 0x101, ReadName, nullptr, nullptr);
        RwPluginRegistryAddPluginStream(&thingRegistry, 0x102, ReadNumbers, nullptr, nullptr);
        RwPluginRegistryAddPluginStream(&thingRegistry, 0x103, ReadBytes, nullptr, nullptr);
        RwPluginRegistryAddPluginStreamAlwaysCB(&thingRegistry, 0x102, CheckNumbers);
        return true;
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = Start();
    if (!started) {
        return 0;
    }
    RwMemory memory;
    RwStream* stream = EngineFuzz::Open(memory, data, size);
    if (!stream) {
        return 0;
    }
    void* thing = RwMalloc(size_t(thingRegistry.sizeOfStruct), rwMEMHINTDUR_EVENT);
    std::memset(thing, 0, size_t(thingRegistry.sizeOfStruct));
    RwPluginRegistryInitObject(&thingRegistry, thing);

    RwError error;
    for (int step = 0; step < 256 && stream->Type.memory.position < memory.length; ++step) {
        switch (step % 5) {
        case 0:
            RwPluginRegistryReadDataChunks(&thingRegistry, stream, thing);
            break;
        case 1: {
            RwChar name[12];
            RwStringStreamRead(name, stream, sizeof(name));
            break;
        }
        case 2:
            if (RwChar* text = RwStringStreamRead(nullptr, stream, 0)) {
                RwFree(text);
            }
            break;
        case 3:
            RwPluginRegistrySkipDataChunks(stream);
            break;
        default: {
            RwUInt32 length = 0, version = 0;
            if (RwStreamFindChunk(stream, rwID_STRUCT, &length, &version)) {
                RwStreamSkip(stream, length);
            }
            break;
        }
        }
        RwErrorGet(&error);
    }

    RwPluginRegistryDeInitObject(&thingRegistry, thing);
    RwFree(thing);
    RwStreamClose(stream, nullptr);
    return 0;
}
