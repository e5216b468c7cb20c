// What the fuzzers that drive the engine share: an engine started without a device, with what its readers
// need attached, and the input bytes as a memory stream.
#pragma once

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/stream.h"

#include <cstddef>
#include <cstdint>

namespace EngineFuzz {

// Each attach is called, in order, between the engine's initialisation and its opening; false when one
// fails or the engine does not start.
template <class... Attach> bool Start(Attach... attach) {
    if (!RwEngineInit(nullptr, 0, 0) || !(bool(attach()) && ...))
        return false;
    RwEngineOpenParams params = {nullptr};
    return RwEngineOpen(&params) && RwEngineStart();
}

// The bytes as a memory stream over memory; null when there are too many for one.
inline RwStream* Open(RwMemory& memory, const uint8_t* data, size_t size) {
    if (size > 0xFFFFFFFFu)
        return nullptr;
    memory = {const_cast<RwUInt8*>(data), RwUInt32(size)};
    return RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
}

// Hands each of the first `steps` chunks of type id in the bytes to use(stream), the engine's error cleared
// before and after each, and closes the stream.
template <class Use> void ForEachChunk(const uint8_t* data, size_t size, RwUInt32 id, int steps, Use use) {
    RwMemory memory;
    RwStream* stream = Open(memory, data, size);
    if (!stream)
        return;
    RwError error;
    RwErrorGet(&error);
    for (int step = 0; step < steps && RwStreamFindChunk(stream, id, nullptr, nullptr); ++step) {
        RwErrorGet(&error);
        use(stream);
        RwErrorGet(&error);
    }
    RwStreamClose(stream, nullptr);
}

} // namespace EngineFuzz
