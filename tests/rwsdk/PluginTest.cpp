#include "EngineFixture.h"

#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// An object type of 20 bytes for these tests.
struct Thing {
    RwInt32 fields[5];
};
RwPluginRegistry thingRegistry = {sizeof(Thing), sizeof(Thing), 0, nullptr, nullptr};

std::vector<std::string> calls;

template <int N> void* Construct(void* object, RwInt32 offset, RwInt32) {
    calls.push_back("c" + std::to_string(N));
    *RWPLUGINOFFSET(RwInt32, object, offset) = N * 100;
    return object;
}
template <int N> void* Destruct(void* object, RwInt32, RwInt32) {
    calls.push_back("d" + std::to_string(N));
    return object;
}
void* Fail(void*, RwInt32, RwInt32) {
    calls.push_back("fail");
    return nullptr;
}

// Each plugin writes its 4-byte value; the reader keeps what it read.
template <int N> RwStream* Write(RwStream* stream, RwInt32, const void* object, RwInt32 offset, RwInt32) {
    return RwStreamWrite(stream, RWPLUGINOFFSETCONST(RwInt32, object, offset), 4);
}
template <int N> RwStream* Read(RwStream* stream, RwInt32 length, void* object, RwInt32 offset, RwInt32) {
    calls.push_back("r" + std::to_string(N) + ":" + std::to_string(length));
    return RwStreamRead(stream, RWPLUGINOFFSET(RwInt32, object, offset), 4) == 4 ? stream : nullptr;
}
RwInt32 Size4(const void*, RwInt32, RwInt32) {
    return 4;
}
void* Always(void* object, RwInt32, RwInt32) {
    calls.push_back("always");
    return object;
}

class PluginTest : public EngineTest {
protected:
    void RegisterPlugins() override {
        calls.clear();
        offsets[0] = RwPluginRegistryAddPlugin(&thingRegistry, 1, 0xA1, Construct<1>, Destruct<1>, nullptr);
        offsets[1] = RwPluginRegistryAddPlugin(&thingRegistry, 4, 0xA2, Construct<2>, Destruct<2>, nullptr);
        offsets[2] = RwPluginRegistryAddPlugin(&thingRegistry, 5, 0xA3, Construct<3>, Destruct<3>, nullptr);
        RwPluginRegistryAddPluginStream(&thingRegistry, 0xA1, Read<1>, Write<1>, Size4);
        RwPluginRegistryAddPluginStream(&thingRegistry, 0xA3, Read<3>, Write<3>, Size4);
        RwPluginRegistryAddPluginStreamAlwaysCB(&thingRegistry, 0xA2, Always);
    }
    void* NewThing() {
        void* thing = RwMalloc(size_t(thingRegistry.sizeOfStruct), 0x30000);
        std::memset(thing, 0, size_t(thingRegistry.sizeOfStruct));
        return thing;
    }
    // A memory stream holding the given words.
    RwStream* Reader(const std::vector<RwUInt32>& words) {
        bytes.assign(reinterpret_cast<const RwUInt8*>(words.data()),
                     reinterpret_cast<const RwUInt8*>(words.data()) + words.size() * 4);
        memory = {bytes.data(), RwUInt32(bytes.size())};
        return RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    }
    RwInt32 offsets[3] = {};
    std::vector<RwUInt8> bytes;
    RwMemory memory = {};
    const RwUInt32 stamp = RwLibraryStampEncode(0x36003, 0xFFFF);
};

TEST_F(PluginTest, OffsetsFollowRegistrationOnPointerBoundaries) {
    // Base 20 rounds up to 24; sizes 1, 4 and 5 each take 8 bytes.
    EXPECT_EQ(offsets[0], 24);
    EXPECT_EQ(offsets[1], 32);
    EXPECT_EQ(offsets[2], 40);
    EXPECT_EQ(thingRegistry.sizeOfStruct, 48);
    EXPECT_EQ(RwPluginRegistryGetPluginOffset(&thingRegistry, 0xA2), 32);
    EXPECT_EQ(RwPluginRegistryGetPluginOffset(&thingRegistry, 0xAF), -1);
}

TEST(PluginRegistry, DuplicatesAndLimitsAndClosedRegistries) {
    RwPluginRegistry reg = {16, 16, 40, nullptr, nullptr};
    EXPECT_EQ(RwPluginRegistryAddPlugin(&reg, 4, 0xB1, nullptr, nullptr, nullptr), -1)
        << "registries not open";
    ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
    TakeError();
    EXPECT_EQ(RwPluginRegistryAddPlugin(&reg, 4, 0xB1, nullptr, nullptr, nullptr), 16);
    EXPECT_EQ(RwPluginRegistryAddPlugin(&reg, 12, 0xB2, nullptr, nullptr, nullptr), 24);
    EXPECT_EQ(RwPluginRegistryAddPlugin(&reg, 8, 0xB1, nullptr, nullptr, nullptr), 16)
        << "first one's offset";
    EXPECT_EQ(TakeError(), RwInt32(E_RW_PLUGININIT));
    EXPECT_EQ(RwPluginRegistryAddPlugin(&reg, 4, 0xB3, nullptr, nullptr, nullptr), -1) << "maximum size 40";
    EXPECT_EQ(reg.sizeOfStruct, 40);
    EXPECT_EQ(RwPluginRegistryAddPluginStream(&reg, 0xB9, nullptr, nullptr, nullptr), -1);
    ASSERT_TRUE(RwEngineTerm());
    EXPECT_EQ(reg.sizeOfStruct, 16) << "closing resets every registry";
    EXPECT_EQ(reg.firstRegEntry, nullptr);
}

TEST_F(PluginTest, ConstructorsRunInOrderAndDestructorsInReverse) {
    void* thing = NewThing();
    ASSERT_EQ(RwPluginRegistryInitObject(&thingRegistry, thing), &thingRegistry);
    EXPECT_EQ(*RWPLUGINOFFSET(RwInt32, thing, offsets[2]), 300);
    RwPluginRegistryDeInitObject(&thingRegistry, thing);
    EXPECT_EQ(calls, (std::vector<std::string>{"c1", "c2", "c3", "d3", "d2", "d1"}));
    RwFree(thing);
}

TEST(PluginRegistry, AFailingConstructorUnwindsTheOnesBefore) {
    ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
    RwPluginRegistry reg = {8, 8, 0, nullptr, nullptr};
    RwPluginRegistryAddPlugin(&reg, 4, 1, Construct<1>, Destruct<1>, nullptr);
    RwPluginRegistryAddPlugin(&reg, 4, 2, Construct<2>, Destruct<2>, nullptr);
    RwPluginRegistryAddPlugin(&reg, 4, 3, Fail, Destruct<3>, nullptr);
    RwPluginRegistryAddPlugin(&reg, 4, 4, Construct<4>, Destruct<4>, nullptr);
    RwUInt8 object[64] = {};
    calls.clear();
    EXPECT_EQ(RwPluginRegistryInitObject(&reg, object), nullptr);
    EXPECT_EQ(calls, (std::vector<std::string>{"c1", "c2", "fail", "d2", "d1"}));
    ASSERT_TRUE(RwEngineTerm());
}

// A new object visits only the plugins whose constructors do something; those still run in order, and
// a failure unwinds every plugin before it, constructed or not.
TEST(PluginRegistry, PluginsWithoutConstructorsAreSkippedOnly) {
    ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
    RwPluginRegistry reg = {8, 8, 0, nullptr, nullptr};
    RwPluginRegistryAddPlugin(&reg, 4, 1, nullptr, Destruct<1>, nullptr);
    RwPluginRegistryAddPlugin(&reg, 4, 2, Construct<2>, Destruct<2>, nullptr);
    RwPluginRegistryAddPlugin(&reg, 4, 3, nullptr, Destruct<3>, nullptr);
    RwPluginRegistryAddPlugin(&reg, 4, 4, Construct<4>, Destruct<4>, nullptr);
    RwUInt8 object[64] = {};
    calls.clear();
    EXPECT_EQ(RwPluginRegistryInitObject(&reg, object), &reg);
    RwPluginRegistryDeInitObject(&reg, object);
    EXPECT_EQ(calls, (std::vector<std::string>{"c2", "c4", "d4", "d3", "d2", "d1"}));
    RwPluginRegistryAddPlugin(&reg, 4, 5, nullptr, Destruct<5>, nullptr);
    RwPluginRegistryAddPlugin(&reg, 4, 6, Fail, Destruct<6>, nullptr);
    calls.clear();
    EXPECT_EQ(RwPluginRegistryInitObject(&reg, object), nullptr);
    EXPECT_EQ(calls, (std::vector<std::string>{"c2", "c4", "fail", "d5", "d4", "d3", "d2", "d1"}));
    ASSERT_TRUE(RwEngineTerm());
}

TEST_F(PluginTest, ExtensionChunksRoundTrip) {
    void* thing = NewThing();
    RwPluginRegistryInitObject(&thingRegistry, thing);
    EXPECT_EQ(RwPluginRegistryGetPluginStreamSize(&thingRegistry, thing), 2 * (12 + 4));

    RwStream* out = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    ASSERT_EQ(RwPluginRegistryWriteDataChunks(&thingRegistry, out, thing), &thingRegistry);
    RwMemory written;
    RwStreamClose(out, &written);
    ASSERT_EQ(written.length, 12u + 32u);
    std::vector<RwUInt32> words(written.length / 4);
    std::memcpy(words.data(), written.start, written.length);
    RwFree(written.start);
    EXPECT_EQ(words, (std::vector<RwUInt32>{3, 32, stamp, 0xA1, 4, stamp, 100, 0xA3, 4, stamp, 300}));

    void* copy = NewThing();
    calls.clear();
    RwStream* in = Reader(words);
    ASSERT_EQ(RwPluginRegistryReadDataChunks(&thingRegistry, in, copy), &thingRegistry);
    EXPECT_EQ(*RWPLUGINOFFSET(RwInt32, copy, offsets[0]), 100);
    EXPECT_EQ(*RWPLUGINOFFSET(RwInt32, copy, offsets[2]), 300);
    EXPECT_EQ(calls, (std::vector<std::string>{"r1:4", "r3:4", "always"}));
    RwStreamClose(in, nullptr);
    RwPluginRegistryDeInitObject(&thingRegistry, thing);
    RwFree(thing);
    RwFree(copy);
}

TEST_F(PluginTest, AnEmptyExtensionIsAHeaderOfSizeZero) {
    RwPluginRegistry bare = {8, 8, 0, nullptr, nullptr};
    RwUInt8 object[8] = {};
    RwStream* out = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    ASSERT_TRUE(RwPluginRegistryWriteDataChunks(&bare, out, object));
    RwMemory written;
    RwStreamClose(out, &written);
    ASSERT_EQ(written.length, 12u);
    EXPECT_EQ(reinterpret_cast<RwUInt32*>(written.start)[1], 0u);
    RwFree(written.start);
}

TEST_F(PluginTest, UnknownIdsAndPluginsWithoutReadersAreSkipped) {
    void* thing = NewThing();
    // 0xEE is nobody's; 0xA2 has no read callback; then 0xA3 and a trailing struct that must stay unread.
    RwStream* in =
        Reader({3, 52, stamp, 0xEE, 8, stamp, 1, 2, 0xA2, 4, stamp, 9, 0xA3, 4, stamp, 77, 1, 0, stamp});
    ASSERT_EQ(RwPluginRegistryReadDataChunks(&thingRegistry, in, thing), &thingRegistry);
    EXPECT_EQ(*RWPLUGINOFFSET(RwInt32, thing, offsets[2]), 77);
    EXPECT_EQ(*RWPLUGINOFFSET(RwInt32, thing, offsets[1]), 0);
    RwUInt32 type;
    EXPECT_TRUE(RwStreamReadChunkHeader(in, &type, nullptr, nullptr, nullptr));
    EXPECT_EQ(type, 1u);
    RwStreamClose(in, nullptr);
    RwFree(thing);
}

TEST_F(PluginTest, SubChunksOutOfOrderOrRepeatedFindTheirReaders) {
    void* thing = NewThing();
    calls.clear();
    RwStream* in =
        Reader({3, 60, stamp, 0xA3, 4, stamp, 30, 0xEE, 0, stamp, 0xA1, 4, stamp, 10, 0xA3, 4, stamp, 31});
    ASSERT_EQ(RwPluginRegistryReadDataChunks(&thingRegistry, in, thing), &thingRegistry);
    EXPECT_EQ(*RWPLUGINOFFSET(RwInt32, thing, offsets[0]), 10);
    EXPECT_EQ(*RWPLUGINOFFSET(RwInt32, thing, offsets[2]), 31);
    EXPECT_EQ(calls, (std::vector<std::string>{"r3:4", "r1:4", "r3:4", "always"}));
    RwStreamClose(in, nullptr);
    RwFree(thing);
}

TEST_F(PluginTest, AnEmptyExtensionStillRunsTheAlwaysCallbacks) {
    void* thing = NewThing();
    calls.clear();
    RwStream* in = Reader({3, 0, stamp, 1, 0, stamp});
    ASSERT_EQ(RwPluginRegistryReadDataChunks(&thingRegistry, in, thing), &thingRegistry);
    EXPECT_EQ(calls, (std::vector<std::string>{"always"}));
    RwStreamClose(in, nullptr);
    RwFree(thing);

    // Without plugins the header alone is taken, and the stream stands at the next chunk.
    RwPluginRegistry bare = {8, 8, 0, nullptr, nullptr};
    RwUInt8 object[8] = {};
    in = Reader({3, 0, stamp, 1, 0, stamp});
    ASSERT_EQ(RwPluginRegistryReadDataChunks(&bare, in, object), &bare);
    RwUInt32 type;
    EXPECT_TRUE(RwStreamReadChunkHeader(in, &type, nullptr, nullptr, nullptr));
    EXPECT_EQ(type, 1u);
    RwStreamClose(in, nullptr);
}

TEST_F(PluginTest, ReadersAreHeldToTheirSubChunk) {
    void* thing = NewThing();
    // 0xA1's sub-chunk is 8 bytes but its reader takes 4: the rest is skipped and 0xA3 still reads right.
    RwStream* in = Reader({3, 36, stamp, 0xA1, 8, stamp, 5, 6, 0xA3, 4, stamp, 7});
    ASSERT_EQ(RwPluginRegistryReadDataChunks(&thingRegistry, in, thing), &thingRegistry);
    EXPECT_EQ(*RWPLUGINOFFSET(RwInt32, thing, offsets[0]), 5);
    EXPECT_EQ(*RWPLUGINOFFSET(RwInt32, thing, offsets[2]), 7);
    RwStreamClose(in, nullptr);

    // A reader that takes more than its sub-chunk holds fails the read.
    in = Reader({3, 28, stamp, 0xA1, 0, stamp, 0xA3, 4, stamp, 7});
    EXPECT_EQ(RwPluginRegistryReadDataChunks(&thingRegistry, in, thing), nullptr);
    EXPECT_EQ(TakeError(), RwInt32(E_RW_READ));
    RwStreamClose(in, nullptr);
    RwFree(thing);
}

TEST_F(PluginTest, SubChunksTooLongForTheirChunkFail) {
    void* thing = NewThing();
    struct Case {
        std::vector<RwUInt32> words;
    };
    for (const Case& c : {Case{{3, 16, stamp, 0xEE, 8, stamp, 1, 2, 3, 4}},     // 12 + 8 > 16
                          Case{{3, 8, stamp, 0xEE, 0, stamp}},                  // header past the end
                          Case{{3, 16, stamp, 0xA3, 0xFFFFFFF0u, stamp, 1}}}) { // huge length
        RwStream* in = Reader(c.words);
        EXPECT_EQ(RwPluginRegistryReadDataChunks(&thingRegistry, in, thing), nullptr);
        EXPECT_EQ(TakeError(), RwInt32(E_RW_READ));
        RwStreamClose(in, nullptr);
    }
    RwStream* in = Reader({3, 0, RwLibraryStampEncode(0x36004, 0)});
    EXPECT_EQ(RwPluginRegistryReadDataChunks(&thingRegistry, in, thing), nullptr);
    EXPECT_EQ(TakeError(), RwInt32(E_RW_BADVERSION));
    RwStreamClose(in, nullptr);
    RwFree(thing);
}

TEST_F(PluginTest, SkipDataChunksStepsOverTheWholeExtension) {
    RwStream* in = Reader({3, 20, stamp, 0xEE, 8, stamp, 1, 2, 1, 4, stamp, 42});
    ASSERT_EQ(RwPluginRegistrySkipDataChunks(in), in);
    RwUInt32 type;
    EXPECT_TRUE(RwStreamReadChunkHeader(in, &type, nullptr, nullptr, nullptr));
    EXPECT_EQ(type, 1u);
    RwStreamClose(in, nullptr);
}

RwInt32 Rights(void*, RwInt32, RwInt32, RwUInt32 extra) {
    return RwInt32(extra);
}

TEST_F(PluginTest, RightsNeedACallbackThatAgrees) {
    RwUInt8 object[64] = {};
    EXPECT_EQ(RwPluginRegistryInvokeRights(&thingRegistry, 0xA1, object, 1), nullptr);
    RwPluginRegistryAddPluginStreamRightsCB(&thingRegistry, 0xA1, Rights);
    EXPECT_EQ(RwPluginRegistryInvokeRights(&thingRegistry, 0xA1, object, 1), &thingRegistry);
    EXPECT_EQ(RwPluginRegistryInvokeRights(&thingRegistry, 0xA1, object, 0), nullptr);
    EXPECT_EQ(RwPluginRegistryInvokeRights(&thingRegistry, 0xEE, object, 1), nullptr);
}

} // namespace
