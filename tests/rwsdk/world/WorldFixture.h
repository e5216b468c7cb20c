// A started engine with the world modules and the user-data plugin, and helpers that write objects to
// memory and read them back.
#pragma once

#include "../EngineFixture.h"

#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/world/rpworld.h"
#include "tests/support/Clumps.h"

#include <bit>
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
    ByteWriter& F32(RwReal v) { return U32(std::bit_cast<RwUInt32>(v)); }
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

// A chunk of the type around the payload.
inline Bytes Wrap(RwUInt32 type, const Bytes& payload, RwUInt32 version = rwLIBRARYCURRENTVERSION) {
    ByteWriter w;
    w.Chunk(type, RwUInt32(payload.size()), version).Append(payload);
    return w.bytes;
}

inline Bytes StructChunk(const ByteWriter& fields, RwUInt32 version = rwLIBRARYCURRENTVERSION) {
    return Wrap(rwID_STRUCT, fields.bytes, version);
}

inline Bytes EmptyExtension() {
    return Wrap(rwID_EXTENSION, {});
}

// A frame list of count frames, each the child of the one before it.
inline Bytes FrameListChunk(RwInt32 count) {
    ByteWriter s;
    s.I32(count);
    for (RwInt32 i = 0; i < count; ++i) {
        for (RwReal v : {1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, RwReal(i)})
            s.F32(v);
        s.I32(i - 1).U32(0);
    }
    ByteWriter list;
    list.Append(StructChunk(s));
    for (RwInt32 i = 0; i < count; ++i)
        list.Append(EmptyExtension());
    return Wrap(rwID_FRAMELIST, list.bytes);
}

// A geometry chunk of one triangle over three vertices, without materials.
inline Bytes TriangleGeometryChunk(RwReal radius = 1.0f) {
    ByteWriter s;
    s.U32(rpGEOMETRYPOSITIONS).I32(1).I32(3).I32(1);
    s.U16(1).U16(0).U16(0xFFFF).U16(2); // stored as vertex 1, vertex 0, material, vertex 2
    s.F32(0).F32(0).F32(0).F32(radius).I32(1).I32(0);
    for (RwReal v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f})
        s.F32(v);
    ByteWriter matList;
    matList.I32(0);
    ByteWriter g;
    g.Append(StructChunk(s)).Append(Wrap(rwID_MATLIST, StructChunk(matList))).Append(EmptyExtension());
    return Wrap(rwID_GEOMETRY, g.bytes);
}

inline Bytes AtomicChunk(RwInt32 frame, RwInt32 geometry, RwInt32 flags, const Bytes& inlineGeometry = {},
                         const Bytes& extension = EmptyExtension()) {
    ByteWriter s;
    s.I32(frame).I32(geometry).I32(flags).I32(0);
    ByteWriter a;
    a.Append(StructChunk(s)).Append(inlineGeometry).Append(extension);
    return Wrap(rwID_ATOMIC, a.bytes);
}

inline Bytes GeometryListChunk(const std::vector<Bytes>& geometries) {
    ByteWriter count;
    count.I32(RwInt32(geometries.size()));
    ByteWriter list;
    list.Append(StructChunk(count));
    for (const Bytes& g : geometries)
        list.Append(g);
    return Wrap(rwID_GEOMETRYLIST, list.bytes);
}

// A clump chunk from its parts; the counts of lights and cameras are those of the parts given.
inline Bytes ClumpChunk(const Bytes& frames, const Bytes& geometryList, const std::vector<Bytes>& atomics,
                        const std::vector<Bytes>& lights = {}, RwInt32 numCameras = 0,
                        const Bytes& tail = EmptyExtension()) {
    ByteWriter s;
    s.I32(RwInt32(atomics.size())).I32(RwInt32(lights.size())).I32(numCameras);
    ByteWriter c;
    c.Append(StructChunk(s)).Append(frames).Append(geometryList);
    for (const Bytes& a : atomics)
        c.Append(a);
    for (const Bytes& l : lights)
        c.Append(l);
    c.Append(tail);
    return Wrap(rwID_CLUMP, c.bytes);
}

using TestSupport::Atomics;
