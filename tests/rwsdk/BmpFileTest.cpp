#include "ImageFilesSupport.h"

#include "rwsdk/tool/bmp/rtbmp.h"

using namespace ImageFiles;
using ImageTestSupport::Engine;
using ImageTestSupport::TakeError;

namespace {

struct BmpCase {
    const char* file;
    RwInt32 depth;
};

class BmpReadTest : public ::testing::TestWithParam<BmpCase> {};

TEST_P(BmpReadTest, MatchesImageMagick) {
    Engine engine;
    const BmpCase& c = GetParam();
    ImagePtr image(RtBMPImageRead(Fixture(c.file).c_str()));
    ASSERT_TRUE(image) << c.file;
    EXPECT_EQ(image->depth, c.depth);
    EXPECT_EQ(image->width, 37);
    EXPECT_EQ(image->height, 23);
    Match match;
    match.opaque = true;
    ExpectPixels(ToRGBA(image.get()), Reference(c.file), image->width, match);
}

INSTANTIATE_TEST_SUITE_P(Files, BmpReadTest,
                         ::testing::Values(BmpCase{"bmp1.bmp", 4}, BmpCase{"bmp4.bmp", 4},
                                           BmpCase{"bmp8.bmp", 8}, BmpCase{"bmprle8.bmp", 8},
                                           BmpCase{"bmp24.bmp", 32}, BmpCase{"bmp32.bmp", 32},
                                           BmpCase{"bmpcore4.bmp", 4}, BmpCase{"bmpcore24.bmp", 32}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             return name.substr(0, name.find('.'));
                         });

TEST(BmpRead, OneBitFileHasTwoEntryPalette) {
    Engine engine;
    ImagePtr image(RtBMPImageRead(Fixture("bmp1.bmp").c_str()));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->depth, 4);
    for (RwInt32 i = 0; i < image->width * image->height; ++i) {
        EXPECT_LT(image->pixels[size_t(i / image->width) * size_t(image->stride) + size_t(i % image->width)],
                  2);
    }
}

// An uncompressed 16-bit file is 5-6-5: the bit-field file with its compression word cleared reads as
// ImageMagick reads the bit-field file (which widens the channels by repeating their top bits).
TEST(BmpRead, SixteenBitsAre565) {
    Engine engine;
    TempDir dir;
    Bytes bytes = ReadBytes(Fixture("bmp565.bmp"));
    ASSERT_EQ(bytes[28], 16);
    Put32(bytes, 30, 0);
    WriteBytes(dir / "plain565.bmp", bytes);
    ImagePtr image(RtBMPImageRead((dir / "plain565.bmp").c_str()));
    ASSERT_TRUE(image);
    Match match;
    match.mask[0] = match.mask[2] = 0xF8;
    match.mask[1] = 0xFC;
    match.opaque = true;
    ExpectPixels(ToRGBA(image.get()), Reference("bmp565.bmp"), image->width, match);
}

struct RefusedCase {
    const char* name;
    const char* file;
    size_t offset; // a 32-bit word to patch
    RwUInt32 value;
    RwUInt32 error; // 0: no error expected
};

class BmpRefusedTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(BmpRefusedTest, YieldsNull) {
    Engine engine;
    TempDir dir;
    const RefusedCase& c = GetParam();
    Bytes bytes = ReadBytes(Fixture(c.file));
    Put32(bytes, c.offset, c.value);
    WriteBytes(dir / "refused.bmp", bytes);
    TakeError();
    EXPECT_EQ(RtBMPImageRead((dir / "refused.bmp").c_str()), nullptr);
    if (c.error) {
        EXPECT_EQ(TakeError(), c.error);
    } else {
        ExpectNoReaderError();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, BmpRefusedTest,
    ::testing::Values(RefusedCase{"BitFields", "bmp565.bmp", 30, 3, E_RW_INVIMAGEFORMAT},
                      RefusedCase{"RunLength4", "bmp4.bmp", 30, 2, E_RW_INVIMAGEFORMAT},
                      RefusedCase{"Magic", "bmp24.bmp", 0, 0x4D41, 0},
                      RefusedCase{"TopDown", "bmp24.bmp", 22, RwUInt32(-23), 0},
                      RefusedCase{"ZeroWidth", "bmp24.bmp", 18, 0, 0},
                      RefusedCase{"HugeWidth", "bmp24.bmp", 18, 0x7FFFFFFF, 0},
                      RefusedCase{"DataOffsetInsideHeader", "bmp8.bmp", 10, 20, 0},
                      RefusedCase{"HeaderSize20", "bmp24.bmp", 14, 20, E_RW_INVIMAGEFORMAT},
                      RefusedCase{"HeaderSizeHuge", "bmp24.bmp", 14, 0xFFFFFFF0, E_RW_INVIMAGEFORMAT},
                      RefusedCase{"PaletteWithLongHeader", "bmp8.bmp", 14, 56, E_RW_INVIMAGEFORMAT},
                      RefusedCase{"BitCount2", "bmp24.bmp", 28, 2, E_RW_INVIMAGEDEPTH}),
    [](const auto& info) { return std::string(info.param.name); });

// A file cut short anywhere yields null without an error.
TEST(BmpRead, ShortFilesYieldNull) {
    Engine engine;
    TempDir dir;
    for (const char* file : {"bmp24.bmp", "bmp4.bmp", "bmprle8.bmp", "bmpcore4.bmp"}) {
        const Bytes bytes = ReadBytes(Fixture(file));
        for (size_t length :
             {size_t(1), size_t(10), size_t(30), size_t(60), bytes.size() / 2, bytes.size() - 4}) {
            WriteBytes(dir / "short.bmp", Bytes(bytes.begin(), bytes.begin() + long(length)));
            TakeError();
            EXPECT_EQ(RtBMPImageRead((dir / "short.bmp").c_str()), nullptr) << file << " cut at " << length;
            ExpectNoReaderError();
        }
    }
}

// A 4 x 3 8-bit run-length file: a header, a 4-entry palette, and the given runs.
Bytes RunLengthFile(const Bytes& runs) {
    Bytes bytes(54 + 16 + runs.size(), 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    Put32(bytes, 2, RwUInt32(bytes.size()));
    Put32(bytes, 10, 70);
    Put32(bytes, 14, 40);
    Put32(bytes, 18, 4);
    Put32(bytes, 22, 3);
    Put32(bytes, 26, 0x00080001);
    Put32(bytes, 30, 1);
    Put32(bytes, 46, 4);
    for (int i = 0; i < 4; ++i) {
        bytes[54 + 4 * size_t(i) + 2] = RwUInt8(i * 80); // red
    }
    std::copy(runs.begin(), runs.end(), bytes.begin() + 70);
    return bytes;
}

TEST(BmpRead, RunLengthRows) {
    Engine engine;
    TempDir dir;
    // Bottom row: two runs; middle row: a literal of 3 (odd: padded), ended early; then end of bitmap.
    WriteBytes(dir / "rle.bmp", RunLengthFile({3, 2, 1, 1, 0, 0, 0, 3, 3, 0, 0, 0, 0, 0, 0, 1}));
    ImagePtr image(RtBMPImageRead((dir / "rle.bmp").c_str()));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->depth, 8);
    const RwUInt8 expected[3][4] = {{0, 0, 0, 0}, {3, 0, 0, 0}, {2, 2, 2, 1}};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(image->pixels[y * image->stride + x], expected[y][x]) << x << ", " << y;
        }
    }
}

TEST(BmpRead, RunLengthFaultsYieldNull) {
    Engine engine;
    TempDir dir;
    const Bytes cases[] = {
        {0, 2, 1, 1, 0, 1},                   // a position delta
        {9, 1, 0, 1},                         // a run past the padded row
        {2, 1, 0, 5, 1, 2, 3, 4, 5, 0, 0, 0}, // a literal past the padded row
        {2, 1},                               // the file ends inside a row
    };
    for (const Bytes& runs : cases) {
        WriteBytes(dir / "rle.bmp", RunLengthFile(runs));
        EXPECT_EQ(RtBMPImageRead((dir / "rle.bmp").c_str()), nullptr);
    }
}

TEST(BmpWrite, RoundTripsAndImageMagickAgrees) {
    Engine engine;
    TempDir dir;
    for (const char* file : {"bmp4.bmp", "bmp8.bmp", "bmp24.bmp"}) {
        ImagePtr image(RtBMPImageRead(Fixture(file).c_str()));
        ASSERT_TRUE(image);
        const std::string written = dir / "written.bmp";
        ASSERT_EQ(RtBMPImageWrite(image.get(), written.c_str()), image.get());
        ImagePtr back(RtBMPImageRead(written.c_str()));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->depth, image->depth) << file;
        EXPECT_EQ(ToRGBA(back.get()), ToRGBA(image.get())) << file;
        Match match;
        match.opaque = true;
        ExpectPixels(Decode(written), Reference(file), image->width, match);
    }
}

TEST(BmpWrite, LayoutOfFourBitAndThirtyTwoBitImages) {
    Engine engine;
    TempDir dir;
    // Width 3, depth 4: two pixels in the first byte, the last in the high nibble of the second.
    ImagePtr small(RwImageCreate(3, 1, 4));
    RwImageAllocatePixels(small.get());
    std::memset(small->palette, 0, 64);
    small->pixels[0] = 1;
    small->pixels[1] = 2;
    small->pixels[2] = 3;
    ASSERT_TRUE(RtBMPImageWrite(small.get(), (dir / "small.bmp").c_str()));
    Bytes bytes = ReadBytes(dir / "small.bmp");
    ASSERT_EQ(bytes.size(), 54u + 64u + 4u);
    EXPECT_EQ(bytes[28], 4);
    EXPECT_EQ(bytes[46], 16); // colours used
    EXPECT_EQ(bytes[118], 0x12);
    EXPECT_EQ(bytes[119], 0x30);

    // A 32-bit image becomes a 24-bit file; its alpha is dropped.
    ImagePtr wide(RwImageCreate(2, 1, 32));
    RwImageAllocatePixels(wide.get());
    const RwUInt8 pixels[8] = {10, 20, 30, 0, 40, 50, 60, 128};
    std::memcpy(wide->pixels, pixels, 8);
    ASSERT_TRUE(RtBMPImageWrite(wide.get(), (dir / "wide.bmp").c_str()));
    bytes = ReadBytes(dir / "wide.bmp");
    ASSERT_EQ(bytes.size(), 54u + 8u);
    EXPECT_EQ(bytes[28], 24);
    EXPECT_EQ(Bytes(bytes.begin() + 54, bytes.end()), (Bytes{30, 20, 10, 60, 50, 40, 0, 0}));
}

TEST(BmpWrite, UnwritablePathYieldsNull) {
    Engine engine;
    ImagePtr image(RwImageCreate(2, 2, 32));
    RwImageAllocatePixels(image.get());
    EXPECT_EQ(RtBMPImageWrite(image.get(), "/nonexistent-dir/x.bmp"), nullptr);
    EXPECT_EQ(RtBMPImageWrite(image.get(), nullptr), nullptr);
}

} // namespace
