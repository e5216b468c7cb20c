#include "EngineFixture.h"

#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"

#include <vector>

namespace {

TEST(LibraryStamp, EncodesAndDecodes) {
    struct Case {
        RwUInt32 version, build, stamp;
    };
    for (Case c : {Case{0x36003, 0xFFFF, 0x1803FFFF}, Case{0x34000, 0xFFFF, 0x1000FFFF},
                   Case{0x35000, 0x0000, 0x14000000}, Case{0x3603F, 0x1234, 0x183F1234}}) {
        EXPECT_EQ(RwLibraryStampEncode(c.version, c.build), c.stamp) << std::hex << c.version;
        RwUInt32 version, build;
        RwLibraryStampDecode(c.stamp, &version, &build);
        EXPECT_EQ(version, c.version);
        EXPECT_EQ(build, c.build);
    }
    // Stamps below 0x10000 are old plain versions.
    RwUInt32 version, build = 9;
    RwLibraryStampDecode(0x310, &version, &build);
    EXPECT_EQ(version, 0x31000u);
    EXPECT_EQ(build, 0u);
    RwLibraryStampDecode(0x360, &version, nullptr);
    EXPECT_EQ(version, 0x36000u);
}

// Readers check a stamp without decoding it; the answer is the decoded version's for every stamp (the
// build half plays no part, so each top half is tried with one).
TEST(LibraryStamp, QuickCheckAgreesWithTheDecodedVersion) {
    for (RwUInt32 half = 0; half <= 0xFFFF; ++half) {
        for (RwUInt32 stamp : {half, half << 16 | 0xFFFF}) {
            if (stamp < 0x10000 && half != stamp)
                continue;
            ASSERT_EQ(_rwLibraryStampAccepted(stamp), RwChunkVersionAccepted(_rwLibraryStampVersion(stamp)))
                << std::hex << stamp;
        }
    }
}

class ChunkTest : public EngineTest {
protected:
    RwStream* Reader(const std::vector<RwUInt32>& w) {
        words = w;
        memory = {reinterpret_cast<RwUInt8*>(words.data()), RwUInt32(words.size() * 4)};
        return RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    }
    std::vector<RwUInt32> words;
    RwMemory memory = {};
};

TEST_F(ChunkTest, FindAcceptsOnlyTheVersionRange) {
    struct Case {
        RwUInt32 stamp;
        bool accepted;
    };
    for (Case c :
         {Case{RwLibraryStampEncode(0x34000, 0xFFFF), true}, Case{RwLibraryStampEncode(0x36003, 0), true},
          Case{RwLibraryStampEncode(0x33FFF, 0xFFFF), false},
          Case{RwLibraryStampEncode(0x36004, 0xFFFF), false}, Case{0x340, true}, Case{0x33F, false}}) {
        RwStream* in = Reader({0x10, 4, c.stamp, 99});
        RwUInt32 size = 0, version = 0;
        EXPECT_EQ(RwStreamFindChunk(in, 0x10, &size, &version), c.accepted) << std::hex << c.stamp;
        EXPECT_EQ(TakeError(), c.accepted ? RwInt32(E_RW_NOERROR) : RwInt32(E_RW_BADVERSION));
        if (c.accepted) {
            EXPECT_EQ(size, 4u);
            RwInt32 payload = 0;
            EXPECT_TRUE(RwStreamReadInt32(in, &payload, 4));
            EXPECT_EQ(payload, 99);
        }
        RwStreamClose(in, nullptr);
    }
}

TEST_F(ChunkTest, FindStepsOverOtherChunksWhole) {
    const RwUInt32 stamp = RwLibraryStampEncode(0x36003, 0xFFFF);
    // The skipped chunk holds what looks like the wanted header.
    RwStream* in = Reader({0xE, 12, stamp, 0x10, 0, stamp, 0x10, 4, stamp, 55});
    RwUInt32 version = 0;
    ASSERT_TRUE(RwStreamFindChunk(in, 0x10, nullptr, &version));
    EXPECT_EQ(version, 0x36003u);
    RwInt32 payload = 0;
    EXPECT_TRUE(RwStreamReadInt32(in, &payload, 4));
    EXPECT_EQ(payload, 55);
    EXPECT_FALSE(RwStreamFindChunk(in, 0x10, nullptr, nullptr)) << "end of data";
    RwStreamClose(in, nullptr);

    in = Reader({0xE, 100, stamp, 1});
    EXPECT_FALSE(RwStreamFindChunk(in, 0x10, nullptr, nullptr)) << "a skip past the end";
    EXPECT_EQ(TakeError(), 5);
    RwStreamClose(in, nullptr);
}

TEST_F(ChunkTest, HeadersWriteLittleEndianAndShortHeadersFail) {
    RwStream* out = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    ASSERT_TRUE(RwStreamWriteChunkHeader(out, 0x10, 0x01020304, 0x36003, 0xFFFF));
    RwMemory m;
    RwStreamClose(out, &m);
    const RwUInt8 expected[12] = {0x10, 0, 0, 0, 4, 3, 2, 1, 0xFF, 0xFF, 0x03, 0x18};
    ASSERT_EQ(m.length, 12u);
    EXPECT_EQ(std::vector<RwUInt8>(m.start, m.start + 12), std::vector<RwUInt8>(expected, expected + 12));
    RwFree(m.start);

    RwStream* in = Reader({1, 2});
    EXPECT_FALSE(RwStreamReadChunkHeader(in, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(TakeError(), 5) << "the end of the data is reported first";
    RwStreamClose(in, nullptr);
}

} // namespace
