// The user-data plugin: arrays of each format on each object kind through the objects' extension chunks,
// the edge cases of its stream, and damaged data that must not cost the rest of the object.
#include "WorldFixture.h"

#include "rwsdk/src/camera.h"
#include "rwsdk/src/texture.h"

#include <string>

namespace {

// One object kind: how to make and destroy one, its registry and its user-data calls.
struct Kind {
    const char* name;
    std::function<void*()> create;
    std::function<void(void*)> destroy;
    std::function<const RwPluginRegistry*()> registry;
    std::function<RwInt32(void*, const char*, RpUserDataFormat, RwInt32)> add;
    std::function<RpUserDataArray*(void*, RwInt32)> get;
    std::function<RwInt32(void*)> count;
};

template <class T>
Kind MakeKind(const char* name, T* (*create)(), RwBool (*destroy)(T*), const RwPluginRegistry* (*registry)(),
              RwInt32 (*add)(T*, const RwChar*, RpUserDataFormat, RwInt32),
              RpUserDataArray* (*get)(T*, RwInt32), RwInt32 (*count)(const T*)) {
    return {name,
            [create] { return static_cast<void*>(create()); },
            [destroy](void* o) { destroy(static_cast<T*>(o)); },
            registry,
            [add](void* o, const char* n, RpUserDataFormat f, RwInt32 e) {
                return add(static_cast<T*>(o), n, f, e);
            },
            [get](void* o, RwInt32 i) { return get(static_cast<T*>(o), i); },
            [count](void* o) { return count(static_cast<const T*>(o)); }};
}

RpGeometry* NewGeometry() {
    return RpGeometryCreate(0, 0, 0);
}
RpLight* NewLight() {
    return RpLightCreate(rpLIGHTPOINT);
}
RwTexture* NewTexture() {
    return RwTextureCreate(nullptr);
}

std::vector<Kind> Kinds() {
    return {MakeKind<RpGeometry>("geometry", NewGeometry, RpGeometryDestroy, RpGeometryGetRegistry,
                                 RpUserDataGeometryAddArray, RpUserDataGeometryGetArray,
                                 RpUserDataGeometryGetArrayCount),
            MakeKind<RwFrame>("frame", RwFrameCreate, RwFrameDestroy, RwFrameGetRegistry,
                              RpUserDataFrameAddArray, RpUserDataFrameGetArray, RpUserDataFrameGetArrayCount),
            MakeKind<RwCamera>("camera", RwCameraCreate, RwCameraDestroy, RwCameraGetRegistry,
                               RpUserDataCameraAddArray, RpUserDataCameraGetArray,
                               RpUserDataCameraGetArrayCount),
            MakeKind<RpLight>("light", NewLight, RpLightDestroy, RpLightGetRegistry, RpUserDataLightAddArray,
                              RpUserDataLightGetArray, RpUserDataLightGetArrayCount),
            MakeKind<RpMaterial>("material", RpMaterialCreate, RpMaterialDestroy, RpMaterialGetRegistry,
                                 RpUserDataMaterialAddArray, RpUserDataMaterialGetArray,
                                 RpUserDataMaterialGetArrayCount),
            MakeKind<RwTexture>("texture", NewTexture, RwTextureDestroy, RwTextureGetRegistry,
                                RpUserDataTextureAddArray, RpUserDataTextureGetArray,
                                RpUserDataTextureGetArrayCount)};
}

Bytes WriteExtension(const Kind& kind, void* object) {
    return WriteBytes(
        [&](RwStream* s) { return RwPluginRegistryWriteDataChunks(kind.registry(), s, object) != nullptr; });
}

bool ReadExtension(const Kind& kind, const Bytes& bytes, void* object) {
    Bytes copy = bytes;
    RwMemory memory = {copy.data(), RwUInt32(copy.size())};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    const bool ok = RwPluginRegistryReadDataChunks(kind.registry(), stream, object) != nullptr;
    RwStreamClose(stream, nullptr);
    return ok;
}

// The user-data sub-chunk of an extension, or empty when there is none.
Bytes UserDataChunk(const Bytes& extension) {
    for (size_t at = 12; at + 12 <= extension.size();) {
        RwUInt32 id, length;
        std::memcpy(&id, &extension[at], 4);
        std::memcpy(&length, &extension[at + 4], 4);
        if (id == rwID_USERDATAPLUGIN)
            return Bytes(extension.begin() + long(at + 12), extension.begin() + long(at + 12 + length));
        at += 12 + length;
    }
    return {};
}

TEST_F(WorldTest, ArraysOfEachFormatSurviveTheStreamOfEachObjectKind) {
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        void* object = kind.create();
        RpUserDataArray* ints = kind.get(object, kind.add(object, "ints", rpINTUSERDATA, 2));
        RpUserDataArraySetInt(ints, 0, -5);
        RpUserDataArraySetInt(ints, 1, 1 << 30);
        RpUserDataArray* reals = kind.get(object, kind.add(object, "reals", rpREALUSERDATA, 1));
        RpUserDataArraySetReal(reals, 0, 2.5f);
        RpUserDataArray* strings = kind.get(object, kind.add(object, nullptr, rpSTRINGUSERDATA, 3));
        RpUserDataArraySetString(strings, 0, "3dsmax User Properties");
        RpUserDataArraySetString(strings, 2, "");

        void* copy = kind.create();
        ASSERT_TRUE(ReadExtension(kind, WriteExtension(kind, object), copy));
        ASSERT_EQ(kind.count(copy), 3);
        const RpUserDataArray* a = kind.get(copy, 0);
        EXPECT_STREQ(RpUserDataArrayGetName(a), "ints");
        EXPECT_EQ(RpUserDataArrayGetFormat(a), rpINTUSERDATA);
        EXPECT_EQ(RpUserDataArrayGetInt(a, 0), -5);
        EXPECT_EQ(RpUserDataArrayGetInt(a, 1), 1 << 30);
        EXPECT_EQ(RpUserDataArrayGetReal(kind.get(copy, 1), 0), 2.5f);
        const RpUserDataArray* s = kind.get(copy, 2);
        EXPECT_EQ(RpUserDataArrayGetName(s), nullptr);
        EXPECT_EQ(RpUserDataArrayGetElementCount(s), 3);
        EXPECT_STREQ(RpUserDataArrayGetString(s, 0), "3dsmax User Properties");
        EXPECT_EQ(RpUserDataArrayGetString(s, 1), nullptr); // a null string is stored as length 0
        EXPECT_STREQ(RpUserDataArrayGetString(s, 2), "");
        EXPECT_EQ(kind.get(copy, 3), nullptr);
        kind.destroy(copy);
        kind.destroy(object);
    }
}

// Arrays that came from a stream are edited like any others: strings replaced, arrays removed and added,
// the object cloned and destroyed (the sanitizer build checks what is freed).
TEST_F(WorldTest, ArraysReadFromAStreamCanBeEditedAndCloned) {
    const Kind kind = Kinds()[1];
    void* object = kind.create();
    RpUserDataArray* name = kind.get(object, kind.add(object, "Name", rpSTRINGUSERDATA, 2));
    RpUserDataArraySetString(name, 0, "wing_l");
    RpUserDataArraySetString(name, 1, "flap");
    RpUserDataArraySetInt(kind.get(object, kind.add(object, "ints", rpINTUSERDATA, 3)), 2, 7);
    void* read = kind.create();
    ASSERT_TRUE(ReadExtension(kind, WriteExtension(kind, object), read));
    RpUserDataArray* strings = kind.get(read, 0);
    RpUserDataArraySetString(strings, 0, "wing_r");
    RpUserDataArraySetString(strings, 0, "wing_c");
    RpUserDataArraySetString(strings, 1, nullptr);
    RpUserDataFrameRemoveArray(static_cast<RwFrame*>(read), 1);
    RpUserDataArraySetReal(kind.get(read, kind.add(read, "reals", rpREALUSERDATA, 1)), 0, 1.5f);
    ASSERT_EQ(kind.count(read), 2);
    EXPECT_STREQ(RpUserDataArrayGetName(kind.get(read, 0)), "Name");
    EXPECT_STREQ(RpUserDataArrayGetString(kind.get(read, 0), 0), "wing_c");
    EXPECT_EQ(RpUserDataArrayGetString(kind.get(read, 0), 1), nullptr);
    EXPECT_EQ(RpUserDataArrayGetReal(kind.get(read, 2), 0), 1.5f);
    RwFrame* clone = RwFrameCloneHierarchy(static_cast<RwFrame*>(read));
    ASSERT_NE(clone, nullptr);
    EXPECT_STREQ(RpUserDataArrayGetString(RpUserDataFrameGetArray(clone, 0), 0), "wing_c");
    EXPECT_EQ(RpUserDataArrayGetReal(RpUserDataFrameGetArray(clone, 2), 0), 1.5f);
    RwFrameDestroyHierarchy(clone);
    kind.destroy(read);
    kind.destroy(object);
}

// A frame keeps a short name read from a stream in room of its own and a long one in an allocation: either
// is edited, read over again, cloned and destroyed alike (the sanitizer build checks what is freed).
TEST_F(WorldTest, FrameNamesOfAnyLengthReadOverEditAndClone) {
    for (const std::string& text : {std::string("gear"), std::string(200, 'n')}) {
        SCOPED_TRACE(text.size());
        RwFrame* object = RwFrameCreate();
        RpUserDataArraySetString(
            RpUserDataFrameGetArray(object, RpUserDataFrameAddArray(object, "Name", rpSTRINGUSERDATA, 1)), 0,
            text.c_str());
        const Kind kind = Kinds()[1];
        const Bytes bytes = WriteExtension(kind, object);
        RwFrame* read = RwFrameCreate();
        ASSERT_TRUE(ReadExtension(kind, bytes, read));
        ASSERT_TRUE(ReadExtension(kind, bytes, read)); // over the first
        ASSERT_EQ(RpUserDataFrameGetArrayCount(read), 1);
        EXPECT_STREQ(RpUserDataArrayGetString(RpUserDataFrameGetArray(read, 0), 0), text.c_str());
        RwFrame* clone = RwFrameCloneHierarchy(read);
        ASSERT_NE(clone, nullptr);
        RpUserDataArraySetString(RpUserDataFrameGetArray(read, 0), 0, "tail");
        RpUserDataArraySetInt(
            RpUserDataFrameGetArray(read, RpUserDataFrameAddArray(read, "n", rpINTUSERDATA, 1)), 0, 3);
        EXPECT_STREQ(RpUserDataArrayGetName(RpUserDataFrameGetArray(read, 0)), "Name");
        EXPECT_STREQ(RpUserDataArrayGetString(RpUserDataFrameGetArray(read, 0), 0), "tail");
        EXPECT_EQ(RpUserDataArrayGetInt(RpUserDataFrameGetArray(read, 1), 0), 3);
        EXPECT_STREQ(RpUserDataArrayGetString(RpUserDataFrameGetArray(clone, 0), 0), text.c_str());
        RwFrameDestroyHierarchy(clone);
        RwFrameDestroy(read);
        RwFrameDestroy(object);
    }
}

TEST_F(WorldTest, UnusedRecordsWriteACountOfZeroAndNoRecordsWriteNothing) {
    const Kind kind = Kinds()[1];
    void* frame = kind.create();
    EXPECT_TRUE(UserDataChunk(WriteExtension(kind, frame)).empty());
    kind.add(frame, "gone", rpINTUSERDATA, 1);
    RwFrame* f = static_cast<RwFrame*>(frame);
    RpUserDataFrameRemoveArray(f, 0);
    EXPECT_EQ(UserDataChunk(WriteExtension(kind, frame)), (Bytes{0, 0, 0, 0}));
    kind.destroy(frame);
}

TEST_F(WorldTest, CountersSkipRecordsWithoutElementsWhileGetIndexesThemAll) {
    RwFrame* frame = RwFrameCreate();
    RpUserDataFrameAddArray(frame, "empty", rpINTUSERDATA, 0);
    RpUserDataFrameAddArray(frame, "one", rpREALUSERDATA, 1);
    EXPECT_EQ(RpUserDataFrameGetArrayCount(frame), 1);
    ASSERT_NE(RpUserDataFrameGetArray(frame, 0), nullptr);
    EXPECT_STREQ(RpUserDataArrayGetName(RpUserDataFrameGetArray(frame, 0)), "empty");
    EXPECT_STREQ(RpUserDataArrayGetName(RpUserDataFrameGetArray(frame, 1)), "one");
    EXPECT_EQ(RpUserDataFrameGetArray(frame, 2), nullptr);
    RwFrameDestroy(frame);
}

TEST_F(WorldTest, NameOfLengthZeroReadsAsNoName) {
    ByteWriter data;
    data.I32(1).I32(0).I32(rpINTUSERDATA).I32(1).I32(12);
    RwFrame* frame = RwFrameCreate();
    ASSERT_TRUE(
        ReadExtension(Kinds()[1], Wrap(rwID_EXTENSION, Wrap(rwID_USERDATAPLUGIN, data.bytes)), frame));
    ASSERT_EQ(RpUserDataFrameGetArrayCount(frame), 1);
    EXPECT_EQ(RpUserDataArrayGetName(RpUserDataFrameGetArray(frame, 0)), nullptr);
    EXPECT_EQ(RpUserDataArrayGetInt(RpUserDataFrameGetArray(frame, 0), 0), 12);
    RwFrameDestroy(frame);
}

TEST_F(WorldTest, CloningCopiesTheArrays) {
    RpMaterial* material = RpMaterialCreate();
    RpUserDataArray* s =
        RpUserDataMaterialGetArray(material, RpUserDataMaterialAddArray(material, "n", rpSTRINGUSERDATA, 2));
    RpUserDataArraySetString(s, 1, "glass");
    RpMaterial* clone = RpMaterialClone(material);
    RpMaterialDestroy(material);
    ASSERT_EQ(RpUserDataMaterialGetArrayCount(clone), 1);
    const RpUserDataArray* copied = RpUserDataMaterialGetArray(clone, 0);
    EXPECT_STREQ(RpUserDataArrayGetName(copied), "n");
    EXPECT_EQ(RpUserDataArrayGetString(copied, 0), nullptr);
    EXPECT_STREQ(RpUserDataArrayGetString(copied, 1), "glass");
    RpMaterialDestroy(clone);
}

// A frame plugin after the user data, to see that the stream stays in step past damaged user data.
class DamagedUserDataTest : public WorldTest {
protected:
    static inline RwInt32 seen = 0;
    void RegisterPlugins() override {
        WorldTest::RegisterPlugins();
        ASSERT_GE(RwFrameRegisterPlugin(4, 0x7004, nullptr, nullptr, nullptr), 0);
        ASSERT_GE(RwFrameRegisterPluginStream(
                      0x7004,
                      [](RwStream* stream, RwInt32, void*, RwInt32, RwInt32) {
                          return RwStreamReadInt32(stream, &seen, 4);
                      },
                      nullptr, nullptr),
                  0);
    }
};

TEST_F(DamagedUserDataTest, DamagedDataIsDroppedAndTheRestOfTheObjectStillReads) {
    struct Case {
        const char* name;
        ByteWriter data;
    };
    const Case cases[] = {
        {"more arrays than bytes", ByteWriter().I32(1000).I32(0).I32(1).I32(0)},
        {"string longer than the chunk",
         ByteWriter().I32(1).I32(0).I32(rpSTRINGUSERDATA).I32(1).I32(4000).U32(0x41414141)},
        {"unknown format", ByteWriter().I32(1).I32(0).I32(7).I32(1).I32(0)},
        {"second array cut short",
         ByteWriter().I32(2).I32(0).I32(rpINTUSERDATA).I32(1).I32(5).I32(0).I32(rpINTUSERDATA).I32(3).I32(1)},
        {"negative element count", ByteWriter().I32(1).I32(0).I32(rpINTUSERDATA).I32(-4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        seen = 0;
        const Bytes extension = Wrap(rwID_EXTENSION, ByteWriter()
                                                         .Append(Wrap(rwID_USERDATAPLUGIN, c.data.bytes))
                                                         .Append(Wrap(0x7004, ByteWriter().I32(1234).bytes))
                                                         .bytes);
        RwFrame* frame = RwFrameCreate();
        EXPECT_TRUE(ReadExtension(Kinds()[1], extension, frame));
        EXPECT_EQ(RpUserDataFrameGetArrayCount(frame), 0);
        EXPECT_EQ(RpUserDataFrameGetArray(frame, 0), nullptr);
        EXPECT_EQ(seen, 1234);
        RwFrameDestroy(frame);
    }
}

} // namespace
