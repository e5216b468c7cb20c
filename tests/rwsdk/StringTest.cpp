#include "EngineFixture.h"

#include "rwsdk/os/win/osfile.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/rwstring.h"
#include "rwsdk/src/plcore/stream.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

class StringTest : public EngineTest {
protected:
    RwStream* Reader(const std::vector<RwUInt8>& b) {
        bytes = b;
        memory = {bytes.data(), RwUInt32(bytes.size())};
        return RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    }
    static void Word(std::vector<RwUInt8>& out, RwUInt32 w) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(RwUInt8(w >> (8 * i)));
        }
    }
    static std::vector<RwUInt8> Chunk(RwUInt32 type, const std::vector<RwUInt8>& payload,
                                      RwUInt32 version = 0x36003) {
        std::vector<RwUInt8> out;
        Word(out, type);
        Word(out, RwUInt32(payload.size()));
        Word(out, RwLibraryStampEncode(version, 0xFFFF));
        out.insert(out.end(), payload.begin(), payload.end());
        return out;
    }
    std::vector<RwUInt8> bytes;
    RwMemory memory = {};
};

TEST_F(StringTest, SizesPadToFourWithATerminator) {
    EXPECT_EQ(RwStringStreamGetSize("abc"), 4);
    EXPECT_EQ(RwStringStreamGetSize("abcd"), 8);
    EXPECT_EQ(RwStringStreamGetSize(""), 4);
    EXPECT_EQ(RwStringStreamGetSize(nullptr), 4);
}

TEST_F(StringTest, WrittenStringsReadBack) {
    RwStream* out = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    ASSERT_TRUE(RwStringStreamWrite("wing", out));
    ASSERT_TRUE(RwStringStreamWrite(nullptr, out));
    RwMemory m;
    RwStreamClose(out, &m);
    ASSERT_EQ(m.length, 12u + 8u + 12u + 4u);
    std::vector<RwUInt8> b(m.start, m.start + m.length);
    RwFree(m.start);
    EXPECT_EQ(std::vector<RwUInt8>(b.begin(), b.begin() + 20), Chunk(2, {'w', 'i', 'n', 'g', 0, 0, 0, 0}));

    RwStream* in = Reader(b);
    char name[32];
    ASSERT_EQ(RwStringStreamRead(name, in, sizeof(name)), name);
    EXPECT_STREQ(name, "wing");
    RwChar* empty = RwStringStreamRead(nullptr, in, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, "");
    RwFree(empty);
    RwStreamClose(in, nullptr);
}

TEST_F(StringTest, SixteenBitTextKeepsTheLowBytes) {
    std::vector<RwUInt8> b = Chunk(1, {9, 9, 9, 9}); // other chunks are skipped
    std::vector<RwUInt8> wide = Chunk(0x13, {'H', 0, 'e', 0, 'l', 1, 'l', 0, 'o', 0});
    b.insert(b.end(), wide.begin(), wide.end());
    RwStream* in = Reader(b);
    RwChar* text = RwStringStreamRead(nullptr, in, 0);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "Hello");
    RwFree(text);
    RwStreamClose(in, nullptr);
}

TEST_F(StringTest, LongTextsAreCutToTheBuffer) {
    std::string longName(100, 'x');
    std::vector<RwUInt8> payload(longName.begin(), longName.end());
    payload.resize(104, 0);
    std::vector<RwUInt8> b = Chunk(2, payload);
    std::vector<RwUInt8> next = Chunk(2, {'o', 'k', 0, 0});
    b.insert(b.end(), next.begin(), next.end());
    RwStream* in = Reader(b);
    char name[32];
    std::memset(name, 0x55, sizeof(name));
    ASSERT_EQ(RwStringStreamRead(name, in, 32), name);
    EXPECT_EQ(std::string(name), std::string(31, 'x'));
    EXPECT_EQ(TakeError(), RwInt32(E_RW_STRING_TRUNCATION));
    char small[4];
    ASSERT_EQ(RwStringStreamRead(small, in, sizeof(small)), small)
        << "the rest of the long chunk was skipped";
    EXPECT_STREQ(small, "ok");
    EXPECT_EQ(TakeError(), RwInt32(E_RW_NOERROR)) << "a text that fits exactly is not cut";
    RwStreamClose(in, nullptr);
}

// Memory streams are read in place, other streams piece by piece: both give the same texts and errors.
TEST_F(StringTest, MemoryAndOtherStreamsReadTextsAlike) {
    struct Source {
        std::vector<RwUInt8> bytes;
        size_t at = 0;
        static RwUInt32 Read(void* data, void* buffer, RwUInt32 length) {
            auto* s = static_cast<Source*>(data);
            const RwUInt32 n = RwUInt32(std::min<size_t>(length, s->bytes.size() - s->at));
            std::memcpy(buffer, s->bytes.data() + s->at, n);
            s->at += n;
            return n;
        }
        static RwInt32 Skip(void* data, RwUInt32 offset) {
            auto* s = static_cast<Source*>(data);
            s->at = std::min(s->bytes.size(), s->at + offset);
            return 1;
        }
    };
    struct Case {
        std::vector<RwUInt8> payload;
        RwInt32 error;
    };
    const RwInt32 none = E_RW_NOERROR, cut = E_RW_STRING_TRUNCATION;
    const Case cases[] = {
        {{'w', 'i', 'n', 'g', 0, 0, 0, 0}, none},
        {{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}, cut},
        {{'a', 'b', 'c', 'd', 'e', 'f', 'g', 0}, none},              // fits exactly
        {{'a', 'b', 0, 'x', 'y', 'z', 'q', 'r'}, none},              // kept past its zero
        {{'a', 'b', 'c', 'd', 'e', 'f', 'g', 0, 0, 'x', 0, 0}, cut}, // no zero within the buffer
    };
    for (const auto& [payload, error] : cases) {
        SCOPED_TRACE(std::string(payload.begin(), payload.end()));
        std::vector<RwUInt8> b = Chunk(2, payload);
        const std::vector<RwUInt8> next = Chunk(2, {'o', 'k', 0, 0});
        b.insert(b.end(), next.begin(), next.end());
        char fromMemory[8], fromCustom[8], after[8];
        std::memset(fromMemory, 0x55, sizeof(fromMemory));
        std::memset(fromCustom, 0x55, sizeof(fromCustom));
        RwStream* in = Reader(b);
        ASSERT_EQ(RwStringStreamRead(fromMemory, in, sizeof(fromMemory)), fromMemory);
        EXPECT_EQ(TakeError(), error);
        ASSERT_EQ(RwStringStreamRead(after, in, sizeof(after)), after);
        EXPECT_STREQ(after, "ok");
        RwStreamClose(in, nullptr);

        Source source{b};
        RwStreamCustom custom = {nullptr, Source::Read, nullptr, Source::Skip, &source};
        in = RwStreamOpen(rwSTREAMCUSTOM, rwSTREAMREAD, &custom);
        ASSERT_EQ(RwStringStreamRead(fromCustom, in, sizeof(fromCustom)), fromCustom);
        EXPECT_EQ(TakeError(), error);
        ASSERT_EQ(RwStringStreamRead(after, in, sizeof(after)), after);
        EXPECT_STREQ(after, "ok");
        RwStreamClose(in, nullptr);
        EXPECT_EQ(std::memcmp(fromMemory, fromCustom, sizeof(fromMemory)), 0);
    }
}

TEST_F(StringTest, DamagedChunksFail) {
    RwStream* in = Reader(Chunk(2, {'a', 'b', 0, 0}, 0x33000));
    char name[8];
    EXPECT_EQ(RwStringStreamRead(name, in, sizeof(name)), nullptr);
    EXPECT_EQ(TakeError(), RwInt32(E_RW_BADVERSION));
    RwStreamClose(in, nullptr);

    std::vector<RwUInt8> b = Chunk(2, {'a', 'b', 'c', 'd'});
    b[4] = 200; // claims more than there is
    in = Reader(b);
    EXPECT_EQ(RwStringStreamRead(nullptr, in, 0), nullptr);
    RwStreamClose(in, nullptr);
    b[7] = 0x7F; // claims two gigabytes
    in = Reader(b);
    EXPECT_EQ(RwStringStreamRead(nullptr, in, 0), nullptr);
    RwStreamClose(in, nullptr);
}

TEST_F(StringTest, EngineStringFunctions) {
    const RwStringFunctions& f = RWSRCGLOBAL(stringFuncs);
    EXPECT_EQ(f.vecStricmp("Wing", "wING"), 0);
    EXPECT_LT(f.vecStricmp("abc", "ABD"), 0);
    EXPECT_GT(f.vecStricmp("abcd", "ABC"), 0);
    EXPECT_EQ(f.vecStricmp(nullptr, "x"), 0);
    char text[] = "MiG-29 Fulcrum";
    EXPECT_STREQ(f.vecStrUpr(text), "MIG-29 FULCRUM");
    EXPECT_STREQ(f.vecStrLwr(text), "mig-29 fulcrum");
    EXPECT_EQ(f.vecStrUpr(nullptr), nullptr);
    EXPECT_EQ(f.vecStrchr(text, 0), text + std::strlen(text));
    EXPECT_EQ(f.vecStrrchr(text, 'Q'), nullptr);
    char buffer[32];
    f.vecSprintf(buffer, "%s-%d", "F", 16);
    EXPECT_STREQ(buffer, "F-16");
}

TEST(OsPath, AbsolutePaths) {
    struct Case {
        const char* path;
        bool absolute;
    };
    for (Case c : {Case{"\\Models\\a.dff", true}, Case{"C:\\x", true}, Case{"z:y", true},
                   Case{"Models\\a", false}, Case{"1:\\x", false}, Case{"", false}, Case{"/tmp", false}}) {
        EXPECT_EQ(RwOsPathIsAbsolute(c.path), c.absolute) << c.path;
    }
}

} // namespace
