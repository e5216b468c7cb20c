// DDS files as textures: straight into Direct3D textures with their stored levels, or decoded in software;
// drawn and read back against the software decode of the same blocks.
#include "DriverFixture.h"
#include "rwsdk/driver/d3d9/d3d92drend.h"
#include "rwsdk/driver/d3d9/d3d9ddstex.h"
#include "rwsdk/driver/d3d9/d3d9dxttex.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/src/plcore/stream.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<RwUInt8>;

void Put32(Bytes& bytes, size_t at, RwUInt32 v) {
    for (int i = 0; i < 4; ++i)
        bytes[at + size_t(i)] = RwUInt8(v >> (8 * i));
}

// Magic and header of a file; fourCC 0 gives a plain 32-bit A8R8G8B8 file.
Bytes Header(RwUInt32 width, RwUInt32 height, RwUInt32 mipCount, RwUInt32 fourCC) {
    Bytes bytes(128, 0);
    Put32(bytes, 0, rwDDSMAGIC);
    Put32(bytes, 4, 124);
    Put32(bytes, 8, 0x1 | 0x2 | 0x4 | 0x1000 | (mipCount ? rwDDSDMIPMAPCOUNT : 0));
    Put32(bytes, 12, height);
    Put32(bytes, 16, width);
    Put32(bytes, 28, mipCount);
    Put32(bytes, 76, 32);
    if (fourCC) {
        Put32(bytes, 80, rwDDPFFOURCC);
        Put32(bytes, 84, fourCC);
    } else {
        Put32(bytes, 80, rwDDPFRGB | rwDDPFALPHAPIXELS);
        Put32(bytes, 88, 32);
        Put32(bytes, 92, 0xFF0000);
        Put32(bytes, 96, 0xFF00);
        Put32(bytes, 100, 0xFF);
        Put32(bytes, 104, 0xFF000000);
    }
    Put32(bytes, 108, 0x1000);
    return bytes;
}

// One DXT1 block: two 565 colours and one index for all texels.
void Block(Bytes& bytes, RwUInt16 c0, RwUInt16 c1, RwUInt8 index) {
    const RwUInt8 row = RwUInt8(index | index << 2 | index << 4 | index << 6);
    const RwUInt8 block[8] = {RwUInt8(c0), RwUInt8(c0 >> 8), RwUInt8(c1), RwUInt8(c1 >> 8), row, row, row,
                              row};
    bytes.insert(bytes.end(), block, block + 8);
}

// DXT1 blocks of a w x h level, each block one colour that changes with its place.
Bytes Level(RwUInt32 w, RwUInt32 h, RwUInt32 seed) {
    Bytes blocks;
    for (RwUInt32 by = 0; by < (h + 3) / 4; by++)
        for (RwUInt32 bx = 0; bx < (w + 3) / 4; bx++) {
            const RwUInt16 c0 = RwUInt16(((bx * 7 + seed) % 32) << 11 | ((by * 13 + seed) % 64) << 5 | 20);
            Block(blocks, RwUInt16(c0 | 0x8000), 0x0841, RwUInt8((bx + by) % 3));
        }
    return blocks;
}

class DdsTextureTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("corvane_ddstex_" + std::to_string(getpid()) + "_" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "b");
        gameDir = dir.string() + "/";
        std::replace(gameDir.begin(), gameDir.end(), '/', '\\');
        RwImageSetPath((gameDir + "a\\;" + gameDir + "b\\").c_str());
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        DriverTest::TearDown();
    }
    void Write(const std::string& relative, const Bytes& bytes) {
        std::ofstream(dir / relative, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    static Bytes LockedLevel(RwRaster* raster, RwInt32 level, size_t size) {
        const RwUInt8* pixels = RwRasterLock(raster, RwUInt8(level), rwRASTERLOCKREAD);
        EXPECT_NE(pixels, nullptr);
        Bytes out(pixels, pixels + size);
        RwRasterUnlock(raster);
        return out;
    }

    std::filesystem::path dir;
    std::string gameDir;
};

// A level count beyond what the size allows (0x1F0000 once shifted a side by 32) reads the size's full chain.
TEST_F(DdsTextureTest, ALevelCountBeyondTheSizeIsCapped) {
    Bytes file = Header(2, 2, 0x1F0000, 0);
    file.resize(file.size() + 4 * 4 + 4, 0x7F);
    Write("b/many.dds", file);
    RwTexture* texture = RwD3D9DDSTextureRead("many", nullptr);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(RwRasterGetNumLevels(RwTextureGetRaster(texture)), 2);
    RwTextureDestroy(texture);
    // The hostile file that found it.
    std::filesystem::copy_file(std::string(CORVANE_SOURCE_DIR) +
                                   "/fuzz/seeds/fuzz_dds_device/dds_device-ubsan-shift-min.dds",
                               dir / "b" / "shift.dds");
    if (RwTexture* shift = RwD3D9DDSTextureRead("shift", nullptr))
        RwTextureDestroy(shift);
}

TEST_F(DdsTextureTest, ADxt1FileKeepsItsStoredLevels) {
    Bytes file = Header(64, 64, 7, rwFOURCCDXT1);
    std::vector<Bytes> levels;
    for (RwUInt32 level = 0; level < 7; level++) {
        levels.push_back(Level(64 >> level, 64 >> level, level));
        file.insert(file.end(), levels.back().begin(), levels.back().end());
    }
    Write("b/Runway.dds", file);
    RwTexture* texture = RwD3D9DDSTextureRead("runway", nullptr);
    ASSERT_NE(texture, nullptr);
    EXPECT_STREQ(RwTextureGetName(texture), "runway");
    EXPECT_EQ(RwTextureGetFilterMode(texture), rwFILTERLINEARMIPLINEAR);
    RwRaster* raster = RwTextureGetRaster(texture);
    EXPECT_EQ(RwRasterGetNumLevels(raster), 7);
    EXPECT_EQ(RwRasterGetFormat(raster), rwRASTERFORMAT565 | rwRASTERFORMATMIPMAP);
    EXPECT_EQ(RwRasterGetDepth(raster), 16);
    EXPECT_EQ(RwD3D9RasterExtension(raster)->alpha, 0);
    EXPECT_EQ(RwD3D9RasterExtension(raster)->d3dFormat, D3DFORMAT(rwFOURCCDXT1));
    for (RwInt32 level : {0, 3, 6})
        EXPECT_EQ(LockedLevel(raster, level, levels[size_t(level)].size()), levels[size_t(level)]) << level;
    RwTextureDestroy(texture);
}

TEST_F(DdsTextureTest, ATransparentDxt1BlockMakesTheTexture1555) {
    Bytes file = Header(8, 4, 0, rwFOURCCDXT1);
    Block(file, 0x1234, 0x5678, 0); // colour 0 below colour 1, index 3 unused
    Block(file, 0x4000, 0x4000, 3); // equal colours, index 3: transparent
    Write("b/fence.dds", file);
    RwTexture* texture = RwD3D9DDSTextureRead("fence", nullptr);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(RwTextureGetFilterMode(texture), rwFILTERLINEAR);
    EXPECT_EQ(RwRasterGetFormat(RwTextureGetRaster(texture)), rwRASTERFORMAT1555);
    EXPECT_EQ(RwD3D9RasterExtension(RwTextureGetRaster(texture))->alpha, 1);
    RwTextureDestroy(texture);
}

TEST_F(DdsTextureTest, APlainFileIsLoadedAndAMissingOneIsNull) {
    Bytes file = Header(2, 2, 0, 0);
    const RwUInt32 texels[4] = {0xFF102030, 0x80405060, 0xFFA0B0C0, 0x00FFFFFF};
    for (RwUInt32 texel : texels)
        for (int i = 0; i < 4; i++)
            file.push_back(RwUInt8(texel >> (8 * i)));
    Write("b/glass.dds", file);
    EXPECT_EQ(RwD3D9DDSTextureRead("nothing", nullptr), nullptr);
    RwTexture* texture = RwD3D9DDSTextureRead("glass", nullptr);
    ASSERT_NE(texture, nullptr);
    RwRaster* raster = RwTextureGetRaster(texture);
    EXPECT_EQ(RwRasterGetFormat(raster), rwRASTERFORMAT8888);
    EXPECT_EQ(RwD3D9RasterExtension(raster)->alpha, 1);
    RwImage* image = RwImageCreate(2, 2, 32);
    RwImageAllocatePixels(image);
    RwImageSetFromRaster(image, raster);
    EXPECT_EQ((Bytes(image->pixels, image->pixels + 8)),
              (Bytes{0x10, 0x20, 0x30, 0xFF, 0x40, 0x50, 0x60, 0x80}));
    RwImageDestroy(image);
    RwTextureDestroy(texture);
}

TEST_F(DdsTextureTest, AFormatTheDeviceLacksIsDecodedInSoftware) {
    Bytes file = Header(2, 1, 0, rwFOURCCA16B16G16R16);
    const RwUInt16 channels[8] = {0x10FF, 0x2000, 0x3011, 0xFFFF, 0xC000, 0xB000, 0xA000, 0x8000};
    for (RwUInt16 c : channels)
        file.push_back(RwUInt8(c)), file.push_back(RwUInt8(c >> 8));
    Write("b/wide.dds", file);
    D3D9::SetFormatProfile({{D3DFORMAT(rwFOURCCA16B16G16R16)}, {}});
    RwTexture* texture = RwD3D9DDSTextureRead("wide", nullptr);
    D3D9::SetFormatProfile({});
    ASSERT_NE(texture, nullptr);
    RwRaster* raster = RwTextureGetRaster(texture);
    RwImage* image = RwImageCreate(raster->width, raster->height, 32);
    RwImageAllocatePixels(image);
    RwImageSetFromRaster(image, raster);
    EXPECT_EQ((Bytes(image->pixels, image->pixels + 4)), (Bytes{0x10, 0x20, 0x30, 0xFF}));
    RwImageDestroy(image);
    RwTextureDestroy(texture);
}

TEST_F(DdsTextureTest, WithoutDxtOnTheDeviceLevelZeroIsDecodedAndMipmapsGenerated) {
    Bytes file = Header(16, 16, 5, rwFOURCCDXT1);
    const Bytes blocks = Level(16, 16, 9);
    file.insert(file.end(), blocks.begin(), blocks.end());
    for (RwUInt32 level = 1; level < 5; level++) {
        const Bytes more = Level(16 >> level, 16 >> level, level);
        file.insert(file.end(), more.begin(), more.end());
    }
    Write("b/sky.dds", file);
    D3D9::SetFormatProfile({{D3DFMT_DXT1}, {}});
    RwTexture* texture = RwD3D9DDSTextureRead("sky", nullptr);
    D3D9::SetFormatProfile({});
    ASSERT_NE(texture, nullptr);
    RwRaster* raster = RwTextureGetRaster(texture);
    EXPECT_EQ(RwRasterGetFormat(raster), rwRASTERFORMAT565 | rwRASTERFORMATMIPMAP | rwRASTERFORMATAUTOMIPMAP);
    Bytes decoded(16 * 16 * 4);
    RwDXT1Decompress(16, 16, decoded.data(), blocks.data());
    RwImage* image = RwImageCreate(16, 16, 32);
    RwImageAllocatePixels(image);
    RwImageSetFromRaster(image, raster);
    for (size_t texel : {size_t(0), size_t(37), size_t(255)})
        for (size_t c = 0; c < 3; c++)
            EXPECT_EQ(image->pixels[texel * 4 + c] & 0xF8, decoded[texel * 4 + c] & 0xF8) << texel;
    RwImageDestroy(image);
    RwTextureDestroy(texture);
}

TEST_F(DdsTextureTest, ShortOrBrokenFilesFail) {
    Bytes file = Header(16, 16, 0, rwFOURCCDXT1);
    Bytes blocks = Level(16, 16, 1);
    file.insert(file.end(), blocks.begin(), blocks.end() - 1);
    Write("b/short.dds", file);
    EXPECT_EQ(RwD3D9DDSTextureRead("short", nullptr), nullptr);
    Bytes wrong = Header(4, 4, 0, rwFOURCCDXT1);
    wrong[0] = 'X';
    Block(wrong, 1, 2, 0);
    Write("b/wrong.dds", wrong);
    EXPECT_EQ(RwD3D9DDSTextureRead("wrong", nullptr), nullptr);
}

TEST_F(DdsTextureTest, DrawnTexelsMatchTheSoftwareDecode) {
    Bytes file = Header(16, 16, 0, rwFOURCCDXT1);
    const Bytes blocks = Level(16, 16, 5);
    file.insert(file.end(), blocks.begin(), blocks.end());
    Write("b/camo.dds", file);
    RwTexture* texture = RwD3D9DDSTextureRead("camo", nullptr);
    ASSERT_NE(texture, nullptr);
    Bytes decoded(16 * 16 * 4);
    RwDXT1Decompress(16, 16, decoded.data(), blocks.data());

    // Each texel covers 2 x 2 pixels of a 32 x 32 quad; the centre of each 8 x 8 square is one block's
    // colour.
    ASSERT_TRUE(RwCameraBeginUpdate(camera));
    RwRGBA black = {0, 0, 0, 255};
    RwCameraClear(camera, &black, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
    RwRenderStateSet(rwRENDERSTATEZTESTENABLE, nullptr);
    RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLNONE)));
    RwRenderStateSet(rwRENDERSTATETEXTURERASTER, RwTextureGetRaster(texture));
    RwRenderStateSet(rwRENDERSTATETEXTUREFILTER, reinterpret_cast<void*>(uintptr_t(rwFILTERNEAREST)));
    const RwUInt32 white = 0xFFFFFFFF;
    RwIm2DVertex quad[4] = {{0, 0, 0, 1, white, 0, 0},
                            {32, 0, 0, 1, white, 1, 0},
                            {0, 32, 0, 1, white, 0, 1},
                            {32, 32, 0, 1, white, 1, 1}};
    ASSERT_TRUE(RwIm2DRenderPrimitive(rwPRIMTYPETRISTRIP, quad, 4));
    RwRenderStateSet(rwRENDERSTATETEXTURERASTER, nullptr);
    RwCameraEndUpdate(camera);
    unsigned w = 0, h = 0;
    const auto pixels = ReadBackBuffer(w, h);
    for (int by = 0; by < 4; by++)
        for (int bx = 0; bx < 4; bx++) {
            const RwUInt8* texel = &decoded[size_t((by * 4 + 1) * 16 + bx * 4 + 1) * 4];
            const RwUInt32 drawn = pixels[size_t(by * 8 + 3) * w + size_t(bx * 8 + 3)];
            // The device widens 565 by repeating the high bits; the software decode shifts only.
            for (int c = 0; c < 3; c++) {
                const int got = int((drawn >> (16 - 8 * c)) & 0xFF);
                EXPECT_GE(got, int(texel[c])) << bx << "," << by << " channel " << c;
                EXPECT_LE(got, int(texel[c]) + 8) << bx << "," << by << " channel " << c;
            }
        }
    RwTextureDestroy(texture);
}

} // namespace

#include "rwsdk/driver/d3d9/d3d9rasterlock.h"
#include "rwsdk/driver/d3d9/d3d9texdic.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/memory.h"

namespace {

Bytes WriteNative(RwTexture* texture) {
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    EXPECT_TRUE(RwD3D9NativeTextureWrite(stream, texture, 0));
    RwMemory memory{};
    RwStreamClose(stream, &memory);
    Bytes out(memory.start, memory.start + memory.length);
    RwFree(memory.start);
    return out;
}

RwTexture* ReadNative(Bytes bytes) {
    RwMemory memory = {bytes.data(), RwUInt32(bytes.size())};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    RwTexture* texture = nullptr;
    if (!RwD3D9NativeTextureRead(stream, &texture, 0))
        texture = nullptr;
    RwStreamClose(stream, nullptr);
    return texture;
}

TEST_F(DdsTextureTest, ANativeRecordHasItsFixedLayout) {
    RwRaster* raster = RwD3D9RasterCreate(2, 1, D3DFMT_A8R8G8B8, rwRASTERTYPETEXTURE);
    ASSERT_NE(raster, nullptr);
    RwUInt8* pixels = RwRasterLock(raster, 0, rwRASTERLOCKWRITE);
    const RwUInt8 texels[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::memcpy(pixels, texels, 8);
    RwRasterUnlock(raster);
    RwTexture* texture = RwTextureCreate(raster);
    RwTextureSetName(texture, "flag");
    RwTextureSetMaskName(texture, "flagmask");
    RwTextureSetFilterMode(texture, rwFILTERLINEAR);
    RwTextureSetAddressingV(texture, rwTEXTUREADDRESSCLAMP);

    Bytes expected(12 + 88, 0);
    Put32(expected, 0, 1);
    Put32(expected, 4, 100 + 4 + 8 - 12);
    Put32(expected, 8, RwLibraryStampEncode(0x36003, 0xFFFF));
    Put32(expected, 12, 9);
    Put32(expected, 16, 0x3102);
    std::memcpy(&expected[20], "flag", 4);
    std::memcpy(&expected[52], "flagmask", 8);
    Put32(expected, 84, rwRASTERFORMAT8888);
    Put32(expected, 88, D3DFMT_A8R8G8B8);
    expected[92] = 2, expected[94] = 1, expected[96] = 32, expected[97] = 1, expected[98] = 4,
    expected[99] = 1;
    const RwUInt32 pitch = 8;
    expected.resize(expected.size() + 4);
    Put32(expected, 100, pitch);
    expected.insert(expected.end(), texels, texels + 8);
    const Bytes written = WriteNative(texture);
    EXPECT_EQ(written, expected);
    RwUInt32 size = 0;
    EXPECT_TRUE(RwD3D9NativeTextureGetSize(&size, texture, 0));
    EXPECT_EQ(size, written.size());

    RwTexture* back = ReadNative(written);
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(RwTextureGetName(back), "flag");
    EXPECT_STREQ(RwTextureGetMaskName(back), "flagmask");
    EXPECT_EQ(back->filterAddressing, 0x3102u);
    EXPECT_EQ(WriteNative(back), written);
    RwTextureDestroy(back);
    RwTextureDestroy(texture);
}

TEST_F(DdsTextureTest, ADxt1NativeRecordRoundTripsEveryLevel) {
    Bytes file = Header(64, 64, 7, rwFOURCCDXT1);
    for (RwUInt32 level = 0; level < 7; level++) {
        const Bytes blocks = Level(64 >> level, 64 >> level, level + 3);
        file.insert(file.end(), blocks.begin(), blocks.end());
    }
    Write("b/jet.dds", file);
    RwTexture* texture = RwD3D9DDSTextureRead("jet", nullptr);
    ASSERT_NE(texture, nullptr);
    const Bytes written = WriteNative(texture);
    // Levels of 64 down to 1 texels: Pitch x 16 block rows down to Pitch x 1.
    size_t at = 12 + 88;
    for (RwUInt32 level = 0; level < 7; level++) {
        const RwUInt32 side = 64u >> level;
        const RwUInt32 expected = std::max(1u, side / 4) * 8 * std::max(1u, side / 4);
        ASSERT_LT(at + 4, written.size());
        EXPECT_EQ(RwUInt32(written[at] | written[at + 1] << 8 | written[at + 2] << 16), expected) << level;
        at += 4 + expected;
    }
    EXPECT_EQ(at, written.size());
    RwTexture* back = ReadNative(written);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(RwD3D9RasterExtension(RwTextureGetRaster(back))->d3dFormat, D3DFMT_DXT1);
    EXPECT_EQ(WriteNative(back), written);
    RwTextureDestroy(back);

    // Damaged records fail cleanly: a level count beyond its level, a short record, another platform.
    Bytes tooLong = written;
    tooLong[12 + 88] = 0xFF, tooLong[12 + 88 + 1] = 0xFF;
    EXPECT_EQ(ReadNative(tooLong), nullptr);
    EXPECT_EQ(ReadNative(Bytes(written.begin(), written.end() - 1)), nullptr);
    Bytes otherPlatform = written;
    otherPlatform[12] = 8;
    EXPECT_EQ(ReadNative(otherPlatform), nullptr);
    RwTextureDestroy(texture);
}

// A cube texture's record holds its six faces in face order, each with its levels, and reads back into a
// cube texture with the same faces.
TEST_F(DdsTextureTest, ACubeTextureNativeRecordHoldsItsSixFaces) {
    Bytes file = Header(4, 4, 0, 0);
    Put32(file, 108, 0x1008);
    Put32(file, 112, 0xFE00);
    for (int face = 0; face < 6; face++)
        for (int texel = 0; texel < 16; texel++)
            for (RwUInt8 b :
                 {RwUInt8(10 * face + texel), RwUInt8(40 + face), RwUInt8(200 - face), RwUInt8(255)})
                file.push_back(b);
    Write("b/env.dds", file);
    RwTexture* texture = RwD3D9DDSTextureRead("env", nullptr);
    ASSERT_NE(texture, nullptr);
    const Bytes written = WriteNative(texture);
    ASSERT_GE(written.size(), 100u);
    EXPECT_EQ(written[99] & 2, 2) << "the cube flag";
    const RwUInt32 pitch = 16;
    ASSERT_EQ(written.size(), 100u + 6 * (4 + pitch * 4));
    RwUInt32 size = 0;
    EXPECT_TRUE(RwD3D9NativeTextureGetSize(&size, texture, 0));
    EXPECT_EQ(size, written.size());
    for (int face = 0; face < 6; face++) {
        const size_t at = 100 + size_t(face) * (4 + pitch * 4) + 4;
        EXPECT_EQ(written[at], RwUInt8(10 * face)) << face;
        EXPECT_EQ(written[at + 1], RwUInt8(40 + face)) << face;
    }

    RwTexture* back = ReadNative(written);
    ASSERT_NE(back, nullptr);
    RwRaster* raster = RwTextureGetRaster(back);
    EXPECT_TRUE(RwD3D9RasterIsCubeTexture(raster));
    for (int face = 0; face < 6; face++) {
        RwD3D9RasterExtension(raster)->cube = RwUInt8(face << 4 | 1);
        EXPECT_EQ(LockedLevel(raster, 0, 4),
                  (Bytes{RwUInt8(10 * face), RwUInt8(40 + face), RwUInt8(200 - face), 255}))
            << face;
    }
    RwD3D9RasterExtension(raster)->cube = 1;
    EXPECT_EQ(WriteNative(back), written);
    RwTextureDestroy(back);

    // A cube whose faces are not square is refused.
    Bytes oblong = written;
    oblong[94] = 2;
    EXPECT_EQ(ReadNative(oblong), nullptr);
    RwTextureDestroy(texture);
}

// Every raster type whose pixels can be stored, in each plain pixel format, with mip levels where the type
// has them: written, read and written again to the same bytes.
TEST_F(DdsTextureTest, NativeRecordsOfEveryRasterTypeRoundTrip) {
    struct Case {
        RwInt32 type, format;
    };
    const Case cases[] = {
        {rwRASTERTYPETEXTURE, rwRASTERFORMAT8888 | rwRASTERFORMATMIPMAP},
        {rwRASTERTYPETEXTURE, rwRASTERFORMAT888},
        {rwRASTERTYPETEXTURE, rwRASTERFORMAT565 | rwRASTERFORMATMIPMAP},
        {rwRASTERTYPETEXTURE, rwRASTERFORMAT4444},
        {rwRASTERTYPETEXTURE, rwRASTERFORMAT1555},
        {rwRASTERTYPETEXTURE, rwRASTERFORMAT555},
        {rwRASTERTYPETEXTURE, rwRASTERFORMATLUM8},
        {rwRASTERTYPENORMAL, rwRASTERFORMAT8888},
        {rwRASTERTYPENORMAL, rwRASTERFORMAT565 | rwRASTERFORMATMIPMAP},
        {rwRASTERTYPECAMERATEXTURE, rwRASTERFORMAT888},
        {rwRASTERTYPECAMERATEXTURE, rwRASTERFORMAT565},
    };
    for (const Case& c : cases) {
        RwRaster* raster = RwRasterCreate(8, 4, 0, c.type | c.format);
        ASSERT_NE(raster, nullptr) << c.type << " " << std::hex << c.format;
        const RwInt32 levels = RwRasterGetNumLevels(raster);
        EXPECT_EQ(levels > 1, (c.format & rwRASTERFORMATMIPMAP) != 0);
        for (RwInt32 level = 0; level < levels; level++) {
            RwUInt8* pixels = RwRasterLock(raster, RwUInt8(level), rwRASTERLOCKWRITE);
            ASSERT_NE(pixels, nullptr);
            for (RwInt32 i = 0; i < raster->stride * raster->height; i++)
                pixels[i] = RwUInt8(i * 7 + level * 31 + c.format / 256);
            RwRasterUnlock(raster);
        }
        RwTexture* texture = RwTextureCreate(raster);
        const Bytes written = WriteNative(texture);
        ASSERT_GT(written.size(), 100u);
        EXPECT_EQ(written[98], RwUInt8(c.type)) << "the raster type";
        RwTexture* back = ReadNative(written);
        ASSERT_NE(back, nullptr) << c.type << " " << std::hex << c.format;
        EXPECT_EQ(RwRasterGetType(RwTextureGetRaster(back)), c.type);
        EXPECT_EQ(RwRasterGetFormat(RwTextureGetRaster(back)), RwRasterGetFormat(raster));
        EXPECT_EQ(WriteNative(back), written) << c.type << " " << std::hex << c.format;
        RwTextureDestroy(back);
        RwTextureDestroy(texture);
    }
    // Rasters without pixels of their own are not stored.
    RwRaster* z = RwRasterCreate(8, 4, 0, rwRASTERTYPEZBUFFER);
    RwTexture* zTexture = RwTextureCreate(z);
    RwUInt32 size = 0;
    EXPECT_FALSE(RwD3D9NativeTextureGetSize(&size, zTexture, 0));
    RwTextureDestroy(zTexture);
}

// Hostile records of about a hundred bytes declaring textures of 1 to 12 GB, beyond the device's largest
// texture and far beyond the bytes that follow: refused before anything is made.
TEST_F(DdsTextureTest, ANativeRecordIsWeighedBeforeItsTextureIsMade) {
    for (const char* name :
         {"texture_native-oom-1.1GB.bin", "texture_native-oom-12GB.bin", "native-65535.bin"}) {
        std::ifstream file(std::string(CORVANE_SOURCE_DIR) + "/fuzz/seeds/fuzz_texture_native/" + name,
                           std::ios::binary);
        ASSERT_TRUE(file) << name;
        EXPECT_EQ(ReadNative(Bytes(std::istreambuf_iterator<char>(file), {})), nullptr) << name;
    }
    // Within the device's limits but larger than the record: 64 x 64 ARGB from a 4-byte level.
    RwRaster* raster = RwD3D9RasterCreate(2, 1, D3DFMT_A8R8G8B8, rwRASTERTYPETEXTURE);
    RwTexture* texture = RwTextureCreate(raster);
    Bytes record = WriteNative(texture);
    RwTextureDestroy(texture);
    Bytes large = record;
    large[92] = 64, large[94] = 64;
    EXPECT_EQ(ReadNative(large), nullptr);
    // A chunk that claims more than the stream holds.
    Bytes claimed = record;
    claimed[4] = 0xFF, claimed[5] = 0xFF;
    claimed[92] = 64, claimed[94] = 64;
    EXPECT_EQ(ReadNative(claimed), nullptr);
}

} // namespace

namespace {

TEST_F(DdsTextureTest, ACubeMapLoadsTheFacesItHas) {
    for (RwUInt32 faces : {0xFE00u, 0x8200u}) { // all six; +X and -Z only
        Bytes file = Header(4, 4, 0, 0);
        Put32(file, 108, 0x1008);
        Put32(file, 112, faces);
        std::vector<int> stored;
        for (int face = 0; face < 6; face++) {
            if (face > 0 && !(faces & (0x400u << face)))
                continue;
            stored.push_back(face);
            for (int texel = 0; texel < 16; texel++)
                for (RwUInt8 b : {RwUInt8(10 * face), RwUInt8(40 + face), RwUInt8(200 - face), RwUInt8(255)})
                    file.push_back(b);
        }
        Write("b/env.dds", file);
        RwTexture* texture = RwD3D9DDSTextureRead("env", nullptr);
        ASSERT_NE(texture, nullptr) << std::hex << faces;
        RwRaster* raster = RwTextureGetRaster(texture);
        EXPECT_TRUE(RwD3D9RasterIsCubeTexture(raster));
        for (int face : stored) {
            RwD3D9RasterExtension(raster)->cube = RwUInt8(face << 4 | 1);
            const Bytes texel = LockedLevel(raster, 0, 4);
            EXPECT_EQ(texel, (Bytes{RwUInt8(10 * face), RwUInt8(40 + face), RwUInt8(200 - face), 255}))
                << face;
        }
        RwD3D9RasterExtension(raster)->cube = 1;
        RwTextureDestroy(texture);
    }
}

} // namespace
