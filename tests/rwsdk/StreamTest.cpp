#include "EngineFixture.h"

#include "platform/win32/Files.h"
#include "rwsdk/src/plcore/stream.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class StreamTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        root = fs::temp_directory_path() / ("corvane-streams-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "Models");
        Win32::FlushPathCache();
    }
    void TearDown() override {
        fs::remove_all(root);
        EngineTest::TearDown();
    }
    std::string GamePath(const std::string& relative) { return root.string() + "\\" + relative; }
    fs::path root;
};

TEST_F(StreamTest, MemoryWriteStreamsGrowBy512OrByTheWrite) {
    RwStream* s = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    std::vector<RwUInt8> piece(100, 0xAB);
    std::vector<RwUInt32> capacities;
    for (int i = 0; i < 11; ++i) {
        ASSERT_TRUE(RwStreamWrite(s, piece.data(), 100));
        capacities.push_back(s->Type.memory.nSize);
    }
    EXPECT_EQ(capacities,
              (std::vector<RwUInt32>{512, 512, 512, 512, 512, 1024, 1024, 1024, 1024, 1024, 1536}));
    RwMemory m;
    ASSERT_TRUE(RwStreamClose(s, &m));
    EXPECT_EQ(m.length, 1100u);
    EXPECT_EQ(m.start[1099], 0xAB);
    RwFree(m.start);

    s = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    std::vector<RwUInt8> big(600, 1);
    ASSERT_TRUE(RwStreamWrite(s, big.data(), 600));
    EXPECT_EQ(s->Type.memory.nSize, 1112u);
    RwStreamClose(s, nullptr); // nobody takes the buffer: the stream frees it
}

TEST_F(StreamTest, AppendStreamsGrowTheCallersBuffer) {
    RwMemory m = {static_cast<RwUInt8*>(RwMalloc(10, 0x30000)), 10};
    std::memset(m.start, 'a', 10);
    RwStream* s = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMAPPEND, &m);
    ASSERT_TRUE(RwStreamWrite(s, "bcd", 3));
    EXPECT_EQ(s->Type.memory.nSize, 10u + 512u);
    ASSERT_TRUE(RwStreamClose(s, &m));
    ASSERT_EQ(m.length, 13u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(m.start), 13), "aaaaaaaaaabcd");
    RwFree(m.start);
}

TEST_F(StreamTest, ClosingAnUnwrittenStreamHandsBackNothing) {
    RwStream* s = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    RwMemory m = {reinterpret_cast<RwUInt8*>(1), 9};
    ASSERT_TRUE(RwStreamClose(s, &m));
    EXPECT_EQ(m.start, nullptr);
    EXPECT_EQ(m.length, 0u);
}

TEST_F(StreamTest, ShortReadsCopyTheRestAndReportTheEnd) {
    RwUInt8 data[20];
    for (int i = 0; i < 20; ++i) {
        data[i] = RwUInt8(i);
    }
    RwMemory m = {data, 20};
    RwStream* s = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &m);
    ASSERT_TRUE(RwStreamSkip(s, 15));
    RwUInt8 buffer[12] = {};
    EXPECT_EQ(RwStreamRead(s, buffer, 12), 5u);
    EXPECT_EQ(buffer[4], 19);
    EXPECT_EQ(TakeError(), 5);
    EXPECT_EQ(RwStreamRead(s, buffer, 1), 0u);
    RwStreamClose(s, nullptr);
}

TEST_F(StreamTest, SkipsPastTheEndStopAtTheEndAndFail) {
    RwUInt8 data[10] = {};
    RwMemory m = {data, 10};
    RwStream* s = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &m);
    EXPECT_TRUE(RwStreamSkip(s, 0));
    EXPECT_TRUE(RwStreamSkip(s, 4));
    EXPECT_EQ(RwStreamSkip(s, 7), nullptr);
    EXPECT_EQ(TakeError(), 5);
    EXPECT_EQ(s->Type.memory.position, 10u);
    EXPECT_EQ(RwStreamSkip(s, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(s->Type.memory.position, 10u);
    RwStreamClose(s, nullptr);
}

TEST_F(StreamTest, PartialArrayReadsFail) {
    RwInt32 values[2] = {11, 22};
    RwMemory m = {reinterpret_cast<RwUInt8*>(values), 6};
    RwStream* s = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &m);
    RwInt32 out[2] = {};
    EXPECT_EQ(RwStreamReadInt32(s, out, 8), nullptr);
    EXPECT_NE(TakeError(), RwInt32(E_RW_NOERROR));
    RwStreamClose(s, nullptr);

    const RwReal reals[100] = {1.5f};
    s = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    ASSERT_TRUE(RwStreamWriteReal(s, reals, sizeof(reals)));
    RwMemory written;
    RwStreamClose(s, &written);
    ASSERT_EQ(written.length, sizeof(reals));
    EXPECT_EQ(std::memcmp(written.start, reals, sizeof(reals)), 0);
    RwFree(written.start);
}

TEST_F(StreamTest, FileStreamsFindNamesWhateverTheirCase) {
    RwStream* s = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMWRITE, GamePath("Models\\Plane.dff").c_str());
    ASSERT_NE(s, nullptr);
    const char text[] = "chunks and more chunks";
    ASSERT_TRUE(RwStreamWrite(s, text, sizeof(text)));
    ASSERT_TRUE(RwStreamClose(s, nullptr));
    s = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMAPPEND, GamePath("MODELS\\plane.DFF").c_str());
    ASSERT_TRUE(RwStreamWrite(s, "!", 1));
    ASSERT_TRUE(RwStreamClose(s, nullptr));

    s = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMREAD, GamePath("models\\PLANE.dff").c_str());
    ASSERT_NE(s, nullptr);
    char buffer[64] = {};
    ASSERT_TRUE(RwStreamSkip(s, 7));
    EXPECT_EQ(RwStreamRead(s, buffer, 64), sizeof(text) + 1 - 7);
    EXPECT_STREQ(buffer, "and more chunks");
    EXPECT_EQ(buffer[sizeof(text) - 7], '!');
    EXPECT_EQ(TakeError(), 5);
    EXPECT_EQ(RwStreamSkip(s, 1), nullptr) << "at the end";
    EXPECT_EQ(TakeError(), 5);
    ASSERT_TRUE(RwStreamClose(s, nullptr));
    EXPECT_TRUE(RwEngineGetFileInterface()->rwfexist(GamePath("MODELS\\PLANE.DFF").c_str()));
    EXPECT_FALSE(RwEngineGetFileInterface()->rwfexist(GamePath("MODELS").c_str())) << "a directory";
    EXPECT_FALSE(RwEngineGetFileInterface()->rwfexist(GamePath("MODELS\\Other.dff").c_str()));

    FILE* f = std::fopen((root / "Models" / "Plane.dff").c_str(), "rb");
    s = RwStreamOpen(rwSTREAMFILE, rwSTREAMREAD, f);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(RwStreamRead(s, buffer, 6), 6u);
    ASSERT_TRUE(RwStreamClose(s, nullptr));
    std::fclose(f); // an open file stays the caller's
}

TEST_F(StreamTest, BadOpensGiveTheRecordBack) {
    EXPECT_EQ(RwStreamOpen(rwSTREAMFILENAME, rwSTREAMREAD, GamePath("Models\\Missing.dff").c_str()), nullptr);
    EXPECT_EQ(TakeError(), RwInt32(E_RW_BADOPEN));
    EXPECT_EQ(RwStreamOpen(rwSTREAMFILENAME, RwStreamAccessType(7), GamePath("x").c_str()), nullptr);
    EXPECT_EQ(TakeError(), 13);
    EXPECT_EQ(RwStreamOpen(RwStreamType(9), rwSTREAMREAD, nullptr), nullptr);
    EXPECT_EQ(TakeError(), 14);
    RwMemory m = {nullptr, 0};
    EXPECT_EQ(RwStreamOpen(rwSTREAMMEMORY, RwStreamAccessType(0), &m), nullptr);
    EXPECT_EQ(TakeError(), 13);
    EXPECT_EQ(RwStreamOpen(rwSTREAMFILE, rwSTREAMREAD, nullptr), nullptr);
    // Every record went back: the preallocated block is whole again.
    for (int i = 0; i < 16; ++i) {
        EXPECT_NE(RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr), nullptr);
    }
}

TEST_F(StreamTest, CustomStreamsCallTheirCallbacks) {
    struct Sink {
        std::string bytes;
        size_t at = 0;
        bool closed = false;
    } sink;
    RwStreamCustom custom = {[](void* d) -> RwBool {
                                 static_cast<Sink*>(d)->closed = true;
                                 return TRUE;
                             },
                             [](void* d, void* buffer, RwUInt32 length) -> RwUInt32 {
                                 auto* s = static_cast<Sink*>(d);
                                 RwUInt32 n = RwUInt32(std::min<size_t>(length, s->bytes.size() - s->at));
                                 std::memcpy(buffer, s->bytes.data() + s->at, n);
                                 s->at += n;
                                 return n;
                             },
                             [](void* d, const void* buffer, RwUInt32 length) -> RwInt32 {
                                 static_cast<Sink*>(d)->bytes.append(static_cast<const char*>(buffer),
                                                                     length);
                                 return 1;
                             },
                             [](void* d, RwUInt32 offset) -> RwInt32 {
                                 static_cast<Sink*>(d)->at += offset;
                                 return 1;
                             },
                             &sink};
    RwStream* s = RwStreamOpen(rwSTREAMCUSTOM, rwSTREAMREAD, &custom);
    ASSERT_TRUE(RwStreamWrite(s, "abcdef", 6));
    ASSERT_TRUE(RwStreamSkip(s, 2));
    char buffer[4] = {};
    EXPECT_EQ(RwStreamRead(s, buffer, 3), 3u);
    EXPECT_STREQ(buffer, "cde");
    EXPECT_EQ(s->position, 11u);
    RwStreamClose(s, nullptr);
    EXPECT_TRUE(sink.closed);
}

} // namespace
