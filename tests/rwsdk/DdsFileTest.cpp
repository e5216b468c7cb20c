#include "ImageFilesSupport.h"

#include "rwsdk/driver/d3d9/d3d9dxttex.h"
#include "rwsdk/src/plcore/stream.h"

#include <squish.h>

#include <random>

using namespace ImageFiles;
using ImageTestSupport::Engine;

namespace {

// Reads a DDS file held in memory: the header, then the software decode of level 0.
struct Decoded {
    ImagePtr image;
    RwInt32 rasterFormat = -1;
};

Decoded DecodeDds(const Bytes& bytes, RwDDSFormatCheck check = nullptr) {
    RwMemory memory = {const_cast<RwUInt8*>(bytes.data()), RwUInt32(bytes.size())};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    Decoded decoded;
    RwDDSHeader header;
    if (_rwDDSHeaderRead(stream, &header)) {
        decoded.image.reset(_rwDDSImageRead(stream, &header, &decoded.rasterFormat, check));
    }
    RwStreamClose(stream, nullptr);
    return decoded;
}

// A DDS file of the given pixel format around the given data.
Bytes DdsFile(RwUInt32 width, RwUInt32 height, RwUInt32 formatFlags, RwUInt32 fourCC, RwUInt32 bits,
              const RwUInt32 (&masks)[4], const Bytes& data, RwUInt32 pitch = 0) {
    Bytes bytes(128, 0);
    Put32(bytes, 0, rwDDSMAGIC);
    Put32(bytes, 4, 124);
    Put32(bytes, 8, 0x1007);
    Put32(bytes, 12, height);
    Put32(bytes, 16, width);
    Put32(bytes, 20, pitch);
    Put32(bytes, 76, 32);
    Put32(bytes, 80, formatFlags);
    Put32(bytes, 84, fourCC);
    Put32(bytes, 88, bits);
    for (int i = 0; i < 4; ++i) {
        Put32(bytes, 92 + 4 * size_t(i), masks[i]);
    }
    Put32(bytes, 108, 0x1000);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

struct DdsCase {
    const char* file;
    int tolerance; // ImageMagick widens 565 colours by repeating their top bits; the engine does not
    RwInt32 rasterFormat;
};

class DdsReadTest : public ::testing::TestWithParam<DdsCase> {};

TEST_P(DdsReadTest, MatchesImageMagick) {
    Engine engine;
    const DdsCase& c = GetParam();
    Decoded decoded = DecodeDds(ReadBytes(Fixture(c.file)));
    ASSERT_TRUE(decoded.image) << c.file;
    EXPECT_EQ(decoded.image->depth, 32);
    EXPECT_EQ(decoded.rasterFormat, c.rasterFormat);
    Match match;
    match.tolerance[0] = match.tolerance[1] = match.tolerance[2] = c.tolerance;
    ExpectPixels(ToRGBA(decoded.image.get()), Reference(c.file), decoded.image->width, match);
}

INSTANTIATE_TEST_SUITE_P(Files, DdsReadTest,
                         ::testing::Values(DdsCase{"dds_dxt1.dds", 8, rwDDSRASTERFORMAT565},
                                           DdsCase{"dds_dxt5.dds", 8, rwDDSRASTERFORMAT4444},
                                           DdsCase{"dds_rgba.dds", 0, rwDDSRASTERFORMATDEFAULT},
                                           DdsCase{"dds_rgb.dds", 0, rwDDSRASTERFORMATDEFAULT},
                                           DdsCase{"dds_mip.dds", 8, rwDDSRASTERFORMAT565}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             return name.substr(4, name.find('.') - 4);
                         });

// ImageMagick writes DXT1 without transparent texels, so this file's blocks come from libsquish, which
// uses the three-colour blocks for texels with alpha below 128; ImageMagick decodes the file.
TEST(DdsFile, TransparentDxt1AgainstImageMagick) {
    Engine engine;
    TempDir dir;
    const RwInt32 width = 37, height = 23;
    Bytes rgba = ReadBytes(Fixture("dds_rgba.rgba"));
    ASSERT_EQ(rgba.size(), size_t(width * height * 4));
    for (size_t i = 3; i < rgba.size(); i += 4) {
        rgba[i] = (i / 4) % 7 == 0 ? 0 : 255;
    }
    Bytes blocks(size_t(squish::GetStorageRequirements(width, height, squish::kDxt1)));
    squish::CompressImage(rgba.data(), width, height, blocks.data(), squish::kDxt1 | squish::kColourRangeFit);
    const RwUInt32 none[4] = {0, 0, 0, 0};
    const Bytes file = DdsFile(width, height, rwDDPFFOURCC, rwFOURCCDXT1, 0, none, blocks);
    WriteBytes(dir / "alpha.dds", file);
    Decoded decoded = DecodeDds(file);
    ASSERT_TRUE(decoded.image);
    EXPECT_EQ(decoded.rasterFormat, rwDDSRASTERFORMAT1555);
    Match match;
    match.tolerance[0] = match.tolerance[1] = match.tolerance[2] = 8;
    ExpectPixels(ToRGBA(decoded.image.get()), Decode(dir / "alpha.dds"), width, match);
}

TEST(DdsFile, Dxt5RasterFormatFollowsTheDevice) {
    Engine engine;
    const Bytes bytes = ReadBytes(Fixture("dds_dxt5.dds"));
    EXPECT_EQ(DecodeDds(bytes, [](RwUInt32) -> RwBool { return TRUE; }).rasterFormat, rwDDSRASTERFORMAT4444);
    EXPECT_EQ(DecodeDds(bytes, [](RwUInt32 format) -> RwBool { return format != 26; }).rasterFormat,
              rwDDSRASTERFORMAT1555);
}

TEST(DdsFile, MipChainLevelSizesCoverTheFile) {
    Engine engine;
    const Bytes bytes = ReadBytes(Fixture("dds_mip.dds"));
    RwMemory memory = {const_cast<RwUInt8*>(bytes.data()), RwUInt32(bytes.size())};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    RwDDSHeader header;
    ASSERT_TRUE(_rwDDSHeaderRead(stream, &header));
    RwStreamClose(stream, nullptr);
    ASSERT_TRUE(header.flags & rwDDSDMIPMAPCOUNT);
    EXPECT_EQ(header.mipMapCount, 7u);
    EXPECT_FALSE(_rwDDSIsCubeMap(&header));
    size_t total = 128;
    for (RwUInt32 level = 0; level < header.mipMapCount; ++level) {
        total += _rwDDSLevelSize(&header, std::max(1u, header.width >> level),
                                 std::max(1u, header.height >> level));
    }
    EXPECT_EQ(total, bytes.size());
}

TEST(DdsFile, HeaderChecks) {
    Engine engine;
    const Bytes good = ReadBytes(Fixture("dds_dxt1.dds"));
    Bytes magic = good;
    magic[3] = 'X';
    Bytes noFlags = good;
    Put32(noFlags, 8, 0x20000);
    for (const Bytes& bytes : {magic, noFlags, Bytes(good.begin(), good.begin() + 100)}) {
        RwMemory memory = {const_cast<RwUInt8*>(bytes.data()), RwUInt32(bytes.size())};
        RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
        RwDDSHeader header;
        EXPECT_FALSE(_rwDDSHeaderRead(stream, &header));
        RwStreamClose(stream, nullptr);
    }
}

// The size read comes from the image size and format, not from the pitch field; a file shorter than
// that yields null.
TEST(DdsFile, SizeComesFromTheFormat) {
    Engine engine;
    const Bytes bytes = ReadBytes(Fixture("dds_dxt1.dds"));
    Decoded whole = DecodeDds(bytes);
    ASSERT_TRUE(whole.image);
    Bytes smallPitch = bytes;
    Put32(smallPitch, 20, 8);
    Decoded patched = DecodeDds(smallPitch);
    ASSERT_TRUE(patched.image);
    EXPECT_EQ(ToRGBA(patched.image.get()), ToRGBA(whole.image.get()));
    for (size_t cut : {size_t(1), size_t(8), bytes.size() / 2 - 128}) {
        EXPECT_FALSE(DecodeDds(Bytes(bytes.begin(), bytes.end() - long(cut))).image) << cut;
    }
}

TEST(DdsFile, RefusedFormatsAndSizes) {
    Engine engine;
    const RwUInt32 none[4] = {0, 0, 0, 0};
    const Bytes data(1024, 0);
    EXPECT_FALSE(
        DecodeDds(DdsFile(4, 4, rwDDPFFOURCC, rwMAKEFOURCC('A', 'T', 'I', '2'), 0, none, data)).image);
    EXPECT_FALSE(DecodeDds(DdsFile(0, 4, rwDDPFFOURCC, rwFOURCCDXT1, 0, none, data)).image);
    EXPECT_FALSE(DecodeDds(DdsFile(100000, 4, rwDDPFFOURCC, rwFOURCCDXT1, 0, none, data)).image);
    const RwUInt32 odd[4] = {0x00F, 0x0F0, 0xF00, 0};
    EXPECT_FALSE(DecodeDds(DdsFile(4, 4, rwDDPFRGB, 0, 32, odd, data)).image);
    EXPECT_FALSE(DecodeDds(DdsFile(4, 4, rwDDPFRGB, 0, 12, odd, data)).image);
}

struct PixelCase {
    const char* name;
    RwUInt32 formatFlags;
    RwUInt32 fourCC;
    RwUInt32 bits;
    RwUInt32 masks[4];
    Bytes pixel;
    Bytes expected;
    RwInt32 rasterFormat;
};

class DdsPixelTest : public ::testing::TestWithParam<PixelCase> {};

TEST_P(DdsPixelTest, DecodesOnePixel) {
    Engine engine;
    const PixelCase& c = GetParam();
    Bytes data = c.pixel;
    if (c.bits == 8 && !c.masks[0] && !c.masks[1] && !c.masks[2] && !c.masks[3]) {
        Bytes palette(1024, 0);
        const Bytes entry = {1, 2, 3, 4};
        std::copy(entry.begin(), entry.end(), palette.begin() + 4 * c.pixel[0]);
        data.insert(data.begin(), palette.begin(), palette.end());
    }
    Decoded decoded = DecodeDds(DdsFile(1, 1, c.formatFlags, c.fourCC, c.bits, c.masks, data));
    ASSERT_TRUE(decoded.image);
    EXPECT_EQ(Bytes(decoded.image->pixels, decoded.image->pixels + 4), c.expected);
    EXPECT_EQ(decoded.rasterFormat, c.rasterFormat);
}

constexpr RwUInt32 rgb = rwDDPFRGB, rgba = rwDDPFRGB | rwDDPFALPHAPIXELS;
INSTANTIATE_TEST_SUITE_P(
    Formats, DdsPixelTest,
    ::testing::Values(
        PixelCase{
            "R5G6B5", rgb, 0, 16, {0xF800, 0x7E0, 0x1F, 0}, {0x10, 0x84}, {0x80, 0x80, 0x80, 255}, 0x200},
        PixelCase{
            "A1R5G5B5", rgba, 0, 16, {0x7C00, 0x3E0, 0x1F, 0x8000}, {0x00, 0x7C}, {0xF8, 0, 0, 0}, 0x100},
        PixelCase{
            "A4R4G4B4", rgba, 0, 16, {0xF00, 0xF0, 0xF, 0xF000}, {0x34, 0x12}, {0x20, 0x30, 0x40, 0x10}, 0},
        PixelCase{"L16", 0x20000, 0, 16, {0xFFFF, 0, 0, 0}, {0xCD, 0xAB}, {0xAB, 0xAB, 0xAB, 255}, 0x400},
        PixelCase{"A8L8", 0x20001, 0, 16, {0xFF, 0, 0, 0xFF00}, {0x40, 0x80}, {0x40, 0x40, 0x40, 0x80}, 0},
        PixelCase{"A8R3G3B2",
                  rgba,
                  0,
                  16,
                  {0xE0, 0x1C, 0x3, 0xFF00},
                  {0xFF, 0x7F},
                  {0xE0, 0xE0, 0xC0, 0x7F},
                  0x300},
        PixelCase{"R3G3B2", rgb, 0, 8, {0xE0, 0x1C, 0x3, 0}, {0x49}, {0x40, 0x40, 0x40, 255}, 0x200},
        PixelCase{"L8", 0x20000, 0, 8, {0xFF, 0, 0, 0}, {0x7F}, {0x7F, 0x7F, 0x7F, 255}, 0},
        PixelCase{"A8", 0x2, 0, 8, {0, 0, 0, 0xFF}, {0x33}, {255, 255, 255, 0x33}, 0},
        PixelCase{"A4L4", 0x20001, 0, 8, {0xF, 0, 0, 0xF0}, {0x5A}, {0xA0, 0xA0, 0xA0, 0x50}, 0},
        PixelCase{"P8", 0x20, 0, 8, {0, 0, 0, 0}, {5}, {1, 2, 3, 4}, 0},
        PixelCase{"R8G8B8", rgb, 0, 24, {0xFF0000, 0xFF00, 0xFF, 0}, {1, 2, 3}, {3, 2, 1, 255}, 0},
        PixelCase{"X8R8G8B8",
                  rgb,
                  0,
                  32,
                  {0xFF0000, 0xFF00, 0xFF, 0},
                  {0x33, 0x22, 0x11, 0x80},
                  {0x11, 0x22, 0x33, 255},
                  0},
        PixelCase{"A8R8G8B8",
                  rgba,
                  0,
                  32,
                  {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
                  {0x33, 0x22, 0x11, 0x80},
                  {0x11, 0x22, 0x33, 0x80},
                  0},
        // Red mask 0x3FF is taken with red in the high bits, as the direct path loads such files.
        PixelCase{"TenBitRedLow",
                  rgba,
                  0,
                  32,
                  {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
                  {0x54, 0x01, 0xF0, 0x7F},
                  {0xFF, 0x00, 0x55, 85},
                  0},
        PixelCase{"TenBitBlueLow",
                  rgba,
                  0,
                  32,
                  {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
                  {0x54, 0x01, 0xF0, 0x7F},
                  {0x55, 0x00, 0xFF, 85},
                  0},
        PixelCase{"A16B16G16R16",
                  rwDDPFFOURCC,
                  36,
                  0,
                  {0, 0, 0, 0},
                  {0, 0x11, 0, 0x22, 0, 0x33, 0, 0x44},
                  {0x11, 0x22, 0x33, 0x44},
                  0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DdsFile, PaddedRowsFollowThePitch) {
    Engine engine;
    const RwUInt32 masks[4] = {0xFF0000, 0xFF00, 0xFF, 0};
    // 2 x 2 pixels of 24 bits in rows of 8 bytes.
    const Bytes data = {1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12};
    Decoded decoded = DecodeDds(DdsFile(2, 2, rwDDPFRGB, 0, 24, masks, data, 8));
    ASSERT_TRUE(decoded.image);
    EXPECT_EQ(ToRGBA(decoded.image.get()),
              (Bytes{3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255, 12, 11, 10, 255}));
}

TEST(DxtBlocks, HandPickedBlocks) {
    // Colour 0 = pure red 565 (0xF800), colour 1 = pure blue (0x001F); indices 0, 1, 2, 3 in the first row.
    const RwUInt8 block[8] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0, 0, 0};
    RwUInt8 out[64];
    EXPECT_FALSE(RwDXT1Decompress(4, 4, out, block));
    const Bytes row(out, out + 16);
    EXPECT_EQ(row, (Bytes{0xF8, 0, 0, 255, 0, 0, 0xF8, 255, 0xA5, 0, 0x52, 255, 0x52, 0, 0xA5, 255}));
    // Colour 0 = colour 1 with index 3: transparent black, and the block is transparent.
    const RwUInt8 equal[8] = {0xE0, 0x07, 0xE0, 0x07, 0x03, 0, 0, 0};
    EXPECT_TRUE(RwDXT1Decompress(4, 4, out, equal));
    EXPECT_EQ(Bytes(out, out + 8), (Bytes{0, 0, 0, 0, 0, 0xFC, 0, 255}));
    // In a DXT3 block the same colours are four-colour: index 3 is the colour itself.
    RwUInt8 dxt3[16] = {0x21, 0x43, 0, 0, 0, 0, 0, 0};
    std::memcpy(dxt3 + 8, equal, 8);
    RwDXT3Decompress(4, 4, out, dxt3);
    EXPECT_EQ(Bytes(out, out + 8), (Bytes{0, 0xFC, 0, 0x11, 0, 0xFC, 0, 0x22}));
    EXPECT_EQ(out[4 * 2 + 3], 0x33);
}

TEST(DxtBlocks, Dxt5AlphaTables) {
    RwUInt8 table[8];
    RwDXT5AlphaTable(255, 0, table);
    EXPECT_EQ(Bytes(table, table + 8), (Bytes{255, 0, 218, 182, 145, 109, 72, 36}));
    RwDXT5AlphaTable(0, 255, table);
    EXPECT_EQ(Bytes(table, table + 8), (Bytes{0, 255, 51, 102, 153, 204, 0, 255}));
}

// libsquish widens 565 by repeating the top bits, the engine by shifting: on the same blocks each colour
// channel of the engine is at most 7 (red, blue) or 3 (green) below squish's and never above; alpha is the
// same.
void ExpectCloseToSquish(const Bytes& ours, const Bytes& squish) {
    ASSERT_EQ(ours.size(), squish.size());
    for (size_t i = 0; i < ours.size(); ++i) {
        const int limit = i % 4 == 3 ? 0 : i % 4 == 1 ? 3 : 7;
        const int difference = int(squish[i]) - int(ours[i]);
        ASSERT_TRUE(difference >= 0 && difference <= limit)
            << "byte " << i << ": " << int(ours[i]) << " against squish " << int(squish[i]);
    }
}

TEST(DxtBlocks, RandomBlocksAgainstSquish) {
    std::mt19937 random(7);
    const struct {
        int flags;
        size_t blockBytes;
    } kinds[] = {{squish::kDxt1, 8}, {squish::kDxt3, 16}, {squish::kDxt5, 16}};
    for (const auto& kind : kinds) {
        for (int n = 0; n < 2000; ++n) {
            RwUInt8 block[16];
            for (auto& b : block) {
                b = RwUInt8(random());
            }
            if (n % 4 == 0) { // equal end points: the three-colour case of DXT1
                std::memcpy(block + kind.blockBytes - 6, block + kind.blockBytes - 8, 2);
            }
            Bytes ours(64), theirs(64);
            if (kind.flags == squish::kDxt1) {
                RwDXT1Decompress(4, 4, ours.data(), block);
            } else if (kind.flags == squish::kDxt3) {
                RwDXT3Decompress(4, 4, ours.data(), block);
            } else {
                RwDXT5Decompress(4, 4, ours.data(), block);
            }
            squish::Decompress(theirs.data(), block, kind.flags);
            ExpectCloseToSquish(ours, theirs);
        }
    }
}

// The scan without decoding agrees with the decoder on which levels hold transparent texels, including
// blocks whose transparent texels lie outside a small level.
TEST(DxtBlocks, TransparencyScanAgreesWithTheDecoder) {
    std::mt19937 random(3);
    int transparent = 0, opaque = 0;
    for (int n = 0; n < 3000; ++n) {
        const RwInt32 width = RwInt32(random() % 9) + 1, height = RwInt32(random() % 9) + 1;
        Bytes blocks(size_t((width + 3) / 4) * size_t((height + 3) / 4) * 8);
        for (size_t i = 0; i < blocks.size(); ++i) {
            blocks[i] = RwUInt8(random());
            if (i % 8 == 1 && random() % 2) { // mostly four-colour blocks
                blocks[i] |= 0x80;
                blocks[i + 2] &= 0x7F;
            }
        }
        Bytes pixels(size_t(width * height) * 4);
        const bool decoded = RwDXT1Decompress(width, height, pixels.data(), blocks.data());
        EXPECT_EQ(bool(_rwDXT1HasTransparentTexels(width, height, blocks.data())), decoded)
            << width << "x" << height;
        (decoded ? transparent : opaque)++;
    }
    EXPECT_GT(transparent, 100);
    EXPECT_GT(opaque, 100);
}

// Sides that are not multiples of 4, down to 1 x 1: the edge blocks are decoded and clipped.
TEST(DxtBlocks, PartialBlocksAgainstSquish) {
    std::mt19937 random(11);
    for (auto [width, height] : {std::pair{1, 1}, {2, 2}, {3, 5}, {6, 7}, {9, 4}}) {
        Bytes rgba(size_t(width * height) * 4);
        for (auto& b : rgba) {
            b = RwUInt8(random());
        }
        for (int flags : {squish::kDxt1, squish::kDxt3, squish::kDxt5}) {
            Bytes blocks(size_t(squish::GetStorageRequirements(width, height, flags)));
            squish::CompressImage(rgba.data(), width, height, blocks.data(), flags | squish::kColourRangeFit);
            Bytes ours(rgba.size(), 0xCD), theirs(rgba.size());
            if (flags == squish::kDxt1) {
                RwDXT1Decompress(width, height, ours.data(), blocks.data());
            } else if (flags == squish::kDxt3) {
                RwDXT3Decompress(width, height, ours.data(), blocks.data());
            } else {
                RwDXT5Decompress(width, height, ours.data(), blocks.data());
            }
            squish::DecompressImage(theirs.data(), width, height, blocks.data(), flags);
            ExpectCloseToSquish(ours, theirs);
        }
    }
}

} // namespace
