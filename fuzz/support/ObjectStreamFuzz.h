// Shared set-up of the fuzzers that read engine objects from chunks: a started engine whose objects carry a
// word of plugin data with a stream reader, so that plugin sub-chunks are read as well.
#pragma once

#include "fuzz/support/EngineFuzz.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/stream.h"

#include <cstddef>
#include <cstdint>

namespace ObjectStreamFuzz {

inline RwStream* ReadWord(RwStream* stream, RwInt32 length, void* object, RwInt32 offset, RwInt32) {
    if (length != 4)
        return nullptr;
    return RwStreamReadInt32(stream, RWPLUGINOFFSET(RwInt32, object, offset), 4);
}

// Registers the word plugin with the object's two registration calls before the engine opens.
template <auto RegisterPlugin, auto RegisterPluginStream> bool Start() {
    return EngineFuzz::Start([] {
        RegisterPlugin(sizeof(RwInt32), 0x101, nullptr, nullptr, nullptr);
        RegisterPluginStream(0x101, ReadWord, nullptr, nullptr);
        return true;
    });
}

using EngineFuzz::Open;

} // namespace ObjectStreamFuzz
