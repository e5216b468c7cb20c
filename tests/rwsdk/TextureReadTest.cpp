// Texture reading by name: finding loaded textures, image files along the search path, masks and one file
// per mip level.
#include "DriverFixture.h"
#include "rwsdk/src/texread.h"
#include "rwsdk/tool/bmp/rtbmp.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

RwError TakeError() {
    RwError error{};
    RwErrorGet(&error);
    return error;
}

class TextureReadTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("corvane_texread_" + std::to_string(getpid()) + "_" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        gameDir = dir.string() + "/";
        std::replace(gameDir.begin(), gameDir.end(), '/', '\\');
        ASSERT_TRUE(RwImageRegisterImageFormat("bmp", RtBMPImageRead, RtBMPImageWrite));
        RwImageSetPath(gameDir.c_str());
        savedMip = RwTextureGetMipmapping();
        savedAuto = RwTextureGetAutoMipmapping();
        TakeError();
    }
    void TearDown() override {
        RwTextureSetMipmapping(savedMip);
        RwTextureSetAutoMipmapping(savedAuto);
        std::filesystem::remove_all(dir);
        DriverTest::TearDown();
    }

    // A 24-bit file of one colour.
    void WriteBmp(const std::string& name, RwInt32 width, RwInt32 height, RwUInt8 r, RwUInt8 g, RwUInt8 b) {
        RwImage* image = RwImageCreate(width, height, 32);
        RwImageAllocatePixels(image);
        for (RwInt32 y = 0; y < height; y++)
            for (RwInt32 x = 0; x < width; x++) {
                RwUInt8* p = image->pixels + y * image->stride + 4 * x;
                p[0] = r, p[1] = g, p[2] = b, p[3] = 255;
            }
        ASSERT_NE(RtBMPImageWrite(image, (gameDir + name).c_str()), nullptr);
        RwImageDestroy(image);
    }

    // The texel at (x, y) of a raster level as red, green, blue, alpha.
    static std::vector<RwUInt8> Texel(RwRaster* raster, RwInt32 level, RwInt32 x, RwInt32 y) {
        EXPECT_NE(RwRasterLock(raster, RwUInt8(level), rwRASTERLOCKREAD), nullptr);
        RwImage* image = RwImageCreate(raster->width, raster->height, 32);
        RwImageAllocatePixels(image);
        RwImageSetFromRaster(image, raster);
        RwRasterUnlock(raster);
        const RwUInt8* p = image->pixels + y * image->stride + 4 * x;
        std::vector<RwUInt8> texel(p, p + 4);
        RwImageDestroy(image);
        return texel;
    }

    std::filesystem::path dir;
    std::string gameDir;
    RwBool savedMip = FALSE, savedAuto = FALSE;
};

TEST_F(TextureReadTest, MipLevelNamesAppendAHexDigit) {
    struct Case {
        RwUInt8 level;
        const char* mask;
        const char* name;
        const char* maskOut;
    } cases[] = {
        {0, "", "rock", ""},    {1, "", "rockm1", ""},  {10, "rmask", "rockma", "rmaskma"},
        {15, "", "rockmf", ""}, {16, "k", "rock", "k"},
    };
    for (const Case& c : cases) {
        char name[256] = "rock", mask[256];
        std::strcpy(mask, c.mask);
        EXPECT_TRUE(RwTextureMipLevelName(name, mask, c.level, 0));
        EXPECT_STREQ(name, c.name) << int(c.level);
        EXPECT_STREQ(mask, c.maskOut) << int(c.level);
    }
}

TEST_F(TextureReadTest, ReadsAFileIntoATextureWithItsNames) {
    WriteBmp("Grass.bmp", 16, 8, 40, 120, 30);
    RwTextureSetMipmapping(FALSE);
    RwTexture* texture = RwTextureRead("grass", nullptr);
    ASSERT_NE(texture, nullptr);
    EXPECT_STREQ(RwTextureGetName(texture), "grass");
    EXPECT_STREQ(RwTextureGetMaskName(texture), "");
    EXPECT_EQ(texture->refCount, 1);
    EXPECT_EQ(RwTextureGetDictionary(texture), RwTexDictionaryGetCurrent());
    RwRaster* raster = RwTextureGetRaster(texture);
    EXPECT_EQ(RwRasterGetWidth(raster), 16);
    EXPECT_EQ(RwRasterGetHeight(raster), 8);
    EXPECT_EQ(Texel(raster, 0, 3, 5), (std::vector<RwUInt8>{40, 120, 30, 255}));
    RwTextureDestroy(texture);
}

RwInt32 readCalls = 0;
RwTexture* CountingRead(const RwChar* name, const RwChar* mask) {
    readCalls++;
    return RwTextureDefaultRead(name, mask);
}

TEST_F(TextureReadTest, ALoadedTextureIsFoundWithoutReadingAgain) {
    WriteBmp("sky.bmp", 8, 8, 90, 140, 220);
    RwTextureCallBackRead saved = RwTextureGetReadCallBack();
    RwTextureSetReadCallBack(CountingRead);
    readCalls = 0;
    RwTexture* first = RwTextureRead("sky", nullptr);
    ASSERT_NE(first, nullptr);
    // Found in the current dictionary, name case folded, whatever the mask.
    RwTexture* again = RwTextureRead("SKY", "other");
    EXPECT_EQ(again, first);
    EXPECT_EQ(first->refCount, 2);
    EXPECT_EQ(readCalls, 1);
    RwTextureDestroy(again);

    // Without a current dictionary every dictionary is searched.
    RwTextureDictionary* current = RwTexDictionaryGetCurrent();
    RwTextureDictionary* other = RwTexDictionaryCreate();
    RwTexDictionarySetCurrent(nullptr);
    EXPECT_EQ(RwTextureRead("sky", nullptr), first);
    RwTextureDestroy(first);
    // A texture read while another dictionary is current goes into that one.
    RwTexDictionarySetCurrent(other);
    RwTexture* second = RwTextureRead("sky", nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(RwTextureGetDictionary(second), other);
    EXPECT_EQ(readCalls, 2);
    RwTexDictionarySetCurrent(current);
    RwTexDictionaryDestroy(other);
    RwTextureDestroy(first);
    RwTextureSetReadCallBack(saved);
}

TEST_F(TextureReadTest, AMissingTextureReportsItsError) {
    EXPECT_EQ(RwTextureRead("nothing", nullptr), nullptr);
    const RwError error = TakeError();
    EXPECT_EQ(error.pluginID, 1);
    EXPECT_EQ(error.errorCode, 22);
}

TEST_F(TextureReadTest, AMaskGivesTheAlpha) {
    RwImage* mask = RwImageCreate(4, 4, 32);
    RwImageAllocatePixels(mask);
    for (RwInt32 y = 0; y < 4; y++)
        for (RwInt32 x = 0; x < 4; x++) {
            RwUInt8* p = mask->pixels + y * mask->stride + 4 * x;
            p[0] = p[1] = p[2] = x < 2 ? 0 : 255, p[3] = 255;
        }
    ASSERT_NE(RtBMPImageWrite(mask, (gameDir + "leafm.bmp").c_str()), nullptr);
    RwImageDestroy(mask);
    WriteBmp("leaf.bmp", 4, 4, 30, 160, 40);
    RwTextureSetMipmapping(FALSE);
    RwTexture* texture = RwTextureRead("leaf", "leafm");
    ASSERT_NE(texture, nullptr);
    EXPECT_STREQ(RwTextureGetMaskName(texture), "leafm");
    EXPECT_EQ(Texel(RwTextureGetRaster(texture), 0, 0, 1)[3], 0);
    EXPECT_EQ(Texel(RwTextureGetRaster(texture), 0, 3, 1), (std::vector<RwUInt8>{30, 160, 40, 255}));
    RwTextureDestroy(texture);
}

TEST_F(TextureReadTest, EachMipLevelComesFromItsOwnFile) {
    RwTextureSetMipmapping(TRUE);
    RwTextureSetAutoMipmapping(FALSE);
    const char* suffixes[] = {"", "m1", "m2", "m3", "m4", "m5", "m6"};
    for (int level = 0; level < 7; level++)
        WriteBmp(std::string("tree") + suffixes[level] + ".bmp", 64 >> level, 64 >> level,
                 RwUInt8(30 * level), RwUInt8(200 - 20 * level), 60);
    RwTexture* texture = RwTextureRead("tree", nullptr);
    ASSERT_NE(texture, nullptr);
    RwRaster* raster = RwTextureGetRaster(texture);
    ASSERT_EQ(RwRasterGetNumLevels(raster), 7);
    for (int level = 0; level < 7; level++)
        EXPECT_EQ(Texel(raster, level, 0, 0),
                  (std::vector<RwUInt8>{RwUInt8(30 * level), RwUInt8(200 - 20 * level), 60, 255}))
            << level;
    RwTextureDestroy(texture);

    std::filesystem::remove(dir / "treem3.bmp");
    EXPECT_EQ(RwTextureRead("tree", nullptr), nullptr);
    EXPECT_EQ(TakeError().errorCode, 22);
}

TEST_F(TextureReadTest, ALevelFileOfAnotherSizeIsResampled) {
    RwTextureSetMipmapping(TRUE);
    RwTextureSetAutoMipmapping(FALSE);
    WriteBmp("pad.bmp", 4, 4, 10, 20, 30);
    WriteBmp("padm1.bmp", 8, 8, 200, 100, 50); // twice the size the level needs
    WriteBmp("padm2.bmp", 1, 1, 7, 8, 9);
    RwTexture* texture = RwTextureRead("pad", nullptr);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(Texel(RwTextureGetRaster(texture), 1, 1, 1), (std::vector<RwUInt8>{200, 100, 50, 255}));
    RwTextureDestroy(texture);
}

TEST_F(TextureReadTest, AutomaticMipmapsWriteOnlyLevelZero) {
    RwTextureSetMipmapping(TRUE);
    RwTextureSetAutoMipmapping(TRUE);
    WriteBmp("metal.bmp", 32, 32, 120, 124, 130); // no metalm1: the levels are generated
    RwTexture* texture = RwTextureRead("metal", nullptr);
    ASSERT_NE(texture, nullptr);
    RwRaster* raster = RwTextureGetRaster(texture);
    EXPECT_EQ(RwRasterGetFormat(raster) & (rwRASTERFORMATMIPMAP | rwRASTERFORMATAUTOMIPMAP),
              rwRASTERFORMATMIPMAP | rwRASTERFORMATAUTOMIPMAP);
    EXPECT_EQ(Texel(raster, 0, 5, 5), (std::vector<RwUInt8>{120, 124, 130, 255}));
    RwTextureDestroy(texture);
}

TEST_F(TextureReadTest, GeneratedLevelsAreResampledFromLevelZero) {
    RwRaster* raster =
        RwRasterCreate(8, 8, 0, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT8888 | rwRASTERFORMATMIPMAP);
    ASSERT_NE(raster, nullptr);
    ASSERT_EQ(RwRasterGetNumLevels(raster), 4);
    RwImage* image = RwImageCreate(8, 8, 32);
    RwImageAllocatePixels(image);
    for (RwInt32 y = 0; y < 8; y++)
        for (RwInt32 x = 0; x < 8; x++) {
            RwUInt8* p = image->pixels + y * image->stride + 4 * x;
            p[0] = x < 4 ? 0 : 200, p[1] = 100, p[2] = 40, p[3] = 255;
        }
    ASSERT_TRUE(RwTextureGenerateMipLevels(raster, image));
    EXPECT_EQ(Texel(raster, 0, 7, 0), (std::vector<RwUInt8>{200, 100, 40, 255}));
    EXPECT_EQ(Texel(raster, 1, 0, 0), (std::vector<RwUInt8>{0, 100, 40, 255}));
    EXPECT_EQ(Texel(raster, 3, 0, 0), (std::vector<RwUInt8>{100, 100, 40, 255}));
    EXPECT_EQ(RwRasterGetFormat(raster) & rwRASTERFORMATAUTOMIPMAP, 0);
    RwImageDestroy(image);
    RwRasterDestroy(raster);
}

TEST_F(TextureReadTest, PalettiseSharesOnePaletteAcrossImages) {
    RwImage* images[2];
    for (int i = 0; i < 2; i++) {
        images[i] = RwImageCreate(4 >> i, 4 >> i, 32);
        RwImageAllocatePixels(images[i]);
        for (RwInt32 y = 0; y < images[i]->height; y++)
            for (RwInt32 x = 0; x < images[i]->width; x++) {
                RwUInt8* p = images[i]->pixels + y * images[i]->stride + 4 * x;
                p[0] = RwUInt8(x * 60), p[1] = RwUInt8(i * 200), p[2] = 10, p[3] = 255;
            }
    }
    RwImage* keep = images[1];
    RwUInt8 palette[64] = {};
    ASSERT_TRUE(RwImagesPalettise(palette, keep, images, 2, 4));
    for (RwImage* image : images) {
        EXPECT_EQ(image->depth, 4);
        EXPECT_EQ(image->palette, palette);
    }
    const RwUInt8* entry = palette + 4 * images[1]->pixels[images[1]->stride + 1];
    EXPECT_EQ((std::vector<RwUInt8>(entry, entry + 3)), (std::vector<RwUInt8>{60, 200, 10}));
    for (RwImage* image : images)
        RwImageDestroy(image);
    RwImageDestroy(keep);
}

} // namespace

namespace {

TEST_F(TextureReadTest, APalettisedImageIsResampledAndQuantisedBack) {
    RwImage* image = RwImageCreate(8, 8, 8);
    RwImageAllocatePixels(image);
    std::memset(image->palette, 0, 256 * 4);
    const RwUInt8 colours[2][4] = {{200, 40, 40, 255}, {40, 40, 200, 255}};
    std::memcpy(image->palette, colours, sizeof colours);
    for (RwInt32 y = 0; y < 8; y++)
        for (RwInt32 x = 0; x < 8; x++)
            image->pixels[y * image->stride + x] = x < 4 ? 0 : 1;
    ASSERT_NE(RtBMPImageWrite(image, (gameDir + "flag.bmp").c_str()), nullptr);
    RwImageDestroy(image);

    RwInt32 width = 4, height = 2, depth = 0, format = 0;
    RwImage* read =
        RwTextureReadImageForRaster("flag", nullptr, rwRASTERTYPETEXTURE, &width, &height, &depth, &format);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->depth, 8);
    EXPECT_EQ(read->width, 4);
    EXPECT_EQ(read->height, 2);
    const RwUInt8* left = read->palette + 4 * read->pixels[0];
    const RwUInt8* right = read->palette + 4 * read->pixels[3];
    EXPECT_EQ((std::vector<RwUInt8>(left, left + 4)), (std::vector<RwUInt8>{200, 40, 40, 255}));
    EXPECT_EQ((std::vector<RwUInt8>(right, right + 4)), (std::vector<RwUInt8>{40, 40, 200, 255}));
    RwImageDestroy(read);
}

} // namespace

#include "rwsdk/src/babintex.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"

namespace {

// A texture chunk as written, built by hand: sampling word, name and mask, empty extension.
std::vector<RwUInt8> TextureChunk(RwUInt32 sampling, const char* name, RwUInt32 version = 0x36003) {
    std::vector<RwUInt8> out;
    const auto put = [&](RwUInt32 v) {
        for (int i = 0; i < 4; i++)
            out.push_back(RwUInt8(v >> (8 * i)));
    };
    const RwUInt32 stamp = RwLibraryStampEncode(version, 0xFFFF);
    const size_t nameSize = (std::strlen(name) + 4) & ~size_t(3);
    put(6), put(RwUInt32(12 + 4 + 12 + nameSize + 12 + 4 + 12)), put(stamp);
    put(1), put(4), put(stamp), put(sampling);
    put(2), put(RwUInt32(nameSize)), put(stamp);
    out.resize(out.size() + nameSize, 0);
    std::memcpy(&out[out.size() - nameSize], name, std::strlen(name));
    put(2), put(4), put(stamp), put(0);
    put(3), put(0), put(stamp);
    return out;
}

RwTexture* ReadChunk(std::vector<RwUInt8> bytes) {
    RwMemory memory = {bytes.data(), RwUInt32(bytes.size())};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    RwTexture* texture = nullptr;
    if (RwStreamFindChunk(stream, rwID_TEXTURE, nullptr, nullptr))
        texture = RwTextureStreamRead(stream);
    RwStreamClose(stream, nullptr);
    return texture;
}

TEST_F(TextureReadTest, ATextureChunkIsWrittenAndReadBack) {
    WriteBmp("camo.bmp", 8, 8, 96, 104, 62);
    RwTextureSetMipmapping(FALSE);
    RwTexture* texture = RwTextureRead("camo", nullptr);
    ASSERT_NE(texture, nullptr);
    RwTextureSetFilterMode(texture, rwFILTERLINEAR);
    RwTextureSetAddressingU(texture, rwTEXTUREADDRESSCLAMP);
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    ASSERT_NE(RwTextureStreamWrite(texture, stream), nullptr);
    RwMemory memory{};
    RwStreamClose(stream, &memory);
    const std::vector<RwUInt8> written(memory.start, memory.start + memory.length);
    RwFree(memory.start);
    EXPECT_EQ(written.size(), 12 + RwTextureStreamGetSize(texture));
    // No mip levels at all: the level-by-level bit is set.
    EXPECT_EQ(written, TextureChunk(0x11302, "camo"));
    RwTextureDestroy(texture);
}

TEST_F(TextureReadTest, TextureChunksFillInTheirSettingsOnce) {
    WriteBmp("sky.bmp", 8, 8, 90, 140, 220);
    RwTextureSetMipmapping(FALSE);
    RwTextureSetAutoMipmapping(FALSE);
    RwTexture* first = ReadChunk(TextureChunk(0x0102, "sky"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->filterAddressing, 0x1102u) << "v addressing takes u's when it is 0";
    RwTexture* second = ReadChunk(TextureChunk(0x2201, "sky"));
    EXPECT_EQ(second, first);
    EXPECT_EQ(first->refCount, 2);
    EXPECT_EQ(first->filterAddressing, 0x1102u);
    RwTextureDestroy(second);
    RwTextureDestroy(first);

    // Filter 6 without the level-by-level bit reads with mipmapping and automatic mipmapping on, then
    // leaves the module's switches as they were.
    RwTexture* mipped = ReadChunk(TextureChunk(0x1106, "sky"));
    ASSERT_NE(mipped, nullptr);
    EXPECT_EQ(RwRasterGetFormat(RwTextureGetRaster(mipped)) & rwRASTERFORMATMIPMAP, rwRASTERFORMATMIPMAP);
    EXPECT_FALSE(RwTextureGetMipmapping());
    EXPECT_FALSE(RwTextureGetAutoMipmapping());
    RwTextureDestroy(mipped);

    EXPECT_EQ(ReadChunk(TextureChunk(0x1102, "sky", 0x37000)), nullptr);
    EXPECT_EQ(TakeError().errorCode, RwInt32(E_RW_BADVERSION));
    EXPECT_EQ(ReadChunk(TextureChunk(0x1102, "missing")), nullptr);
}

} // namespace
