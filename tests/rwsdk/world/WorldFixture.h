// A started engine with the world modules and the user-data plugin, and helpers that write objects to
// memory and read them back.
#pragma once

#include "../EngineFixture.h"

#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/world/rpworld.h"

#include <cstring>
#include <functional>
#include <vector>

using Bytes = std::vector<RwUInt8>;

// Runs write on a memory stream and returns what it wrote.
inline Bytes WriteBytes(const std::function<bool(RwStream*)>& write) {
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    const bool ok = write(stream);
    RwMemory memory = {nullptr, 0};
    RwStreamClose(stream, &memory);
    Bytes bytes(memory.start, memory.start + memory.length);
    RwFree(memory.start);
    EXPECT_TRUE(ok);
    return bytes;
}

// Finds the chunk of the type in the bytes and runs read on the stream behind its header.
template <class T> T* ReadBytes(const Bytes& bytes, RwUInt32 type, T* (*read)(RwStream*)) {
    Bytes copy = bytes;
    RwMemory memory = {copy.data(), RwUInt32(copy.size())};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    T* object = RwStreamFindChunk(stream, type, nullptr, nullptr) ? read(stream) : nullptr;
    RwStreamClose(stream, nullptr);
    return object;
}

inline Bytes WriteClump(RpClump* clump) {
    return WriteBytes([clump](RwStream* s) { return RpClumpStreamWrite(clump, s) != nullptr; });
}

inline RpClump* ReadClump(const Bytes& bytes) {
    return ReadBytes<RpClump>(bytes, rwID_CLUMP, RpClumpStreamRead);
}

// Little-endian words and chunk headers for hand-built streams.
struct ByteWriter {
    Bytes bytes;
    ByteWriter& U32(RwUInt32 v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(RwUInt8(v >> (8 * i)));
        return *this;
    }
    ByteWriter& I32(RwInt32 v) { return U32(RwUInt32(v)); }
    ByteWriter& F32(RwReal v) {
        RwUInt32 bits;
        std::memcpy(&bits, &v, 4);
        return U32(bits);
    }
    ByteWriter& U16(RwUInt16 v) {
        bytes.push_back(RwUInt8(v));
        bytes.push_back(RwUInt8(v >> 8));
        return *this;
    }
    ByteWriter& Chunk(RwUInt32 type, RwUInt32 length, RwUInt32 version = rwLIBRARYCURRENTVERSION) {
        return U32(type).U32(length).U32(RwLibraryStampEncode(version, 0xFFFF));
    }
    ByteWriter& Append(const Bytes& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
};

class WorldTest : public EngineTest {
protected:
    void RegisterPlugins() override {
        ASSERT_TRUE(RpWorldPluginAttach());
        ASSERT_TRUE(RpUserDataPluginAttach());
    }
};
