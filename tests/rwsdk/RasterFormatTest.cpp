// Raster formats chosen under several device profiles, size adjustment, locks of mip levels, image and
// raster conversion, and video-memory rasters across a device reset.
#include "DriverFixture.h"
#include "rwsdk/driver/d3d9/d3d9convrt.h"
#include "rwsdk/driver/d3d9/d3d9rasterlock.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/plcore/color.h"
#include "rwsdk/src/texture.h"

#include <array>
#include <cstring>

namespace {

RwInt32 PendingError() {
    RwError error{};
    RwErrorGet(&error);
    return error.errorCode;
}

struct Profile {
    const char* name;
    bool sixteenBitDisplay;
    DWORD textureCapsAdd;
    std::vector<D3DFORMAT> refused;
    std::vector<D3DFORMAT> accepted;
};

class RasterFormatTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        savedCaps = rwD3D9State.caps;
        savedDesktop = rwD3D9State.desktopMode;
        savedCurrent = rwD3D9State.currentMode;
    }
    void TearDown() override {
        rwD3D9State.caps = savedCaps;
        rwD3D9State.desktopMode = savedDesktop;
        rwD3D9State.currentMode = savedCurrent;
        D3D9::SetFormatProfile({});
        DriverTest::TearDown();
    }
    void Apply(const Profile& profile) {
        rwD3D9State.caps = savedCaps;
        rwD3D9State.desktopMode = savedDesktop;
        rwD3D9State.currentMode = savedCurrent;
        rwD3D9State.caps.TextureCaps |= profile.textureCapsAdd;
        if (profile.sixteenBitDisplay)
            rwD3D9State.desktopMode.format = rwD3D9State.currentMode.format = D3DFMT_R5G6B5;
        D3D9::SetFormatProfile({profile.refused, profile.accepted});
    }
    // The format and depth chosen for a request, or -1 when refused.
    std::pair<RwInt32, RwInt32> Choose(RwInt32 flags) {
        RwInt32 format = 0, depth = 0;
        if (!RwD3D9ChooseRasterFormat(flags, &format, &depth))
            return {-1, -1};
        return {format, depth};
    }

    D3DCAPS9 savedCaps{};
    RwD3D9DisplayMode savedDesktop{}, savedCurrent{};
};

const Profile full = {"full", false, D3DPTEXTURECAPS_ALPHAPALETTE, {}, {D3DFMT_P8}};
const Profile sixteenBit = {"16-bit display", true, 0, {}, {}};
const Profile noPalettes = {"no palettes", false, 0, {D3DFMT_P8}, {}};
const Profile sixteenBitNo4444 = {"16-bit display without 4444", true, 0, {D3DFMT_A4R4G4B4}, {}};
const Profile powerOfTwo = {"power of two", false, D3DPTEXTURECAPS_POW2, {}, {}};
const Profile squareOnly = {"square only", false, D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY, {}, {}};

struct ChoiceCase {
    const Profile* profile;
    RwInt32 request;
    RwInt32 format; // -1: refused
    RwInt32 depth;
};

TEST_F(RasterFormatTest, ChoosesFormatsForEveryTypeUnderEachProfile) {
    constexpr RwInt32 T = rwRASTERTYPETEXTURE, N = rwRASTERTYPENORMAL, C = rwRASTERTYPECAMERA,
                      CT = rwRASTERTYPECAMERATEXTURE;
    const bool z32 = RwD3D9ZBufferDepth() == 32;
    const ChoiceCase cases[] = {
        {&full, T, rwRASTERFORMAT8888, 32},
        {&full, N | rwRASTERFORMAT888, rwRASTERFORMAT888, 32},
        {&full, T | rwRASTERFORMAT4444, rwRASTERFORMAT4444, 16},
        {&full, T | rwRASTERFORMAT565 | rwRASTERFORMATMIPMAP, rwRASTERFORMAT565 | rwRASTERFORMATMIPMAP, 16},
        {&full, T | rwRASTERFORMATPAL8 | rwRASTERFORMAT8888, rwRASTERFORMATPAL8 | rwRASTERFORMAT8888, 8},
        {&full, T | rwRASTERFORMATPAL4 | rwRASTERFORMAT888, rwRASTERFORMATPAL8 | rwRASTERFORMAT888, 8},
        {&full, C, rwRASTERFORMAT888, 32},
        {&full, C | rwRASTERFORMAT565, -1, -1},
        {&full, CT, rwRASTERFORMAT888, 32},
        {&full, CT | rwRASTERFORMATPAL8, -1, -1},
        {&full, RwInt32(rwRASTERTYPEZBUFFER) | rwRASTERFORMAT16, -1, -1},
        {&full, 3, -1, -1},
        {&sixteenBit, T, rwRASTERFORMAT4444, 16},
        {&sixteenBit, T | rwRASTERFORMAT888, rwRASTERFORMAT565, 16},
        {&sixteenBit, T | rwRASTERFORMAT8888, rwRASTERFORMAT4444, 16},
        {&sixteenBit, C, rwRASTERFORMAT565, 16},
        {&sixteenBit, CT, rwRASTERFORMAT565, 16},
        {&sixteenBitNo4444, T, rwRASTERFORMAT1555, 16},
        {&sixteenBitNo4444, T | rwRASTERFORMAT4444, rwRASTERFORMAT1555, 16},
        {&noPalettes, T | rwRASTERFORMATPAL8 | rwRASTERFORMAT888, rwRASTERFORMAT888, 32},
        {&noPalettes, T | rwRASTERFORMATPAL8 | rwRASTERFORMAT8888, rwRASTERFORMAT8888, 32},
        {&noPalettes, T | rwRASTERFORMATPAL4, rwRASTERFORMAT8888, 32},
        // Camera textures follow the z buffer's depth.
        {&full, CT | rwRASTERFORMAT4444, z32 ? rwRASTERFORMAT8888 : rwRASTERFORMAT4444, z32 ? 32 : 16},
        {&full, CT | rwRASTERFORMAT565, z32 ? rwRASTERFORMAT888 : rwRASTERFORMAT565, z32 ? 32 : 16},
    };
    for (const ChoiceCase& c : cases) {
        Apply(*c.profile);
        const auto [format, depth] = Choose(c.request);
        EXPECT_EQ(format, c.format) << c.profile->name << ", request 0x" << std::hex << c.request;
        EXPECT_EQ(depth, c.depth) << c.profile->name << ", request 0x" << std::hex << c.request;
        if (c.format < 0) {
            EXPECT_EQ(PendingError(), RwInt32(E_RW_INVRASTERFORMAT)) << std::hex << c.request;
        }
    }
    Apply(full);
    EXPECT_EQ(Choose(rwRASTERTYPEZBUFFER),
              std::make_pair(z32 ? rwRASTERFORMAT32 + 0 : rwRASTERFORMAT16 + 0, z32 ? 32 : 16));
}

TEST_F(RasterFormatTest, RasterCreateChoosesAndRefuses) {
    Apply(full);
    RwRaster* texture = RwRasterCreate(16, 16, 0, rwRASTERTYPETEXTURE);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(RwRasterGetFormat(texture), rwRASTERFORMAT8888);
    EXPECT_EQ(texture->depth, 32);
    RwRasterDestroy(texture);

    Apply(sixteenBit);
    texture = RwRasterCreate(16, 16, 0, rwRASTERTYPETEXTURE);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(RwRasterGetFormat(texture), rwRASTERFORMAT4444);
    EXPECT_EQ(texture->depth, 16);
    RwRasterDestroy(texture);

    // A palettised 565 texture is refused; without P8 a palettised request fails without an error.
    Apply(full);
    EXPECT_EQ(
        RwRasterCreate(16, 16, 0, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMATPAL8 | rwRASTERFORMAT565),
        nullptr);
    Apply(noPalettes);
    PendingError();
    EXPECT_EQ(
        RwRasterCreate(16, 16, 0, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMATPAL8 | rwRASTERFORMAT888),
        nullptr);
    EXPECT_EQ(PendingError(), RwInt32(E_RW_NOERROR));
}

// Pixel formats past the raster-format table are bad formats for every type, never another entry.
TEST_F(RasterFormatTest, PixelFormatsOutsideTheTableAreRefused) {
    Apply(full);
    for (RwInt32 type : {rwRASTERTYPENORMAL, rwRASTERTYPETEXTURE, rwRASTERTYPEZBUFFER, rwRASTERTYPECAMERA,
                         rwRASTERTYPECAMERATEXTURE}) {
        for (RwInt32 pixel = 0xB00; pixel <= 0xF00; pixel += 0x100) {
            PendingError();
            EXPECT_EQ(RwRasterCreate(16, 16, 0, type | pixel), nullptr) << type << " " << std::hex << pixel;
            EXPECT_EQ(PendingError(), RwInt32(E_RW_INVRASTERFORMAT)) << type << " " << std::hex << pixel;
        }
    }
    // The last entry of the table is still taken.
    RwRaster* last = RwRasterCreate(16, 16, 0, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT555);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(RwRasterGetFormat(last), rwRASTERFORMAT555);
    RwRasterDestroy(last);
}

struct SizeCase {
    const Profile* profile;
    RwInt32 flags;
    RwInt32 width, height;
    RwInt32 expectedWidth, expectedHeight;
};

TEST_F(RasterFormatTest, AdjustsSizesToTheDevice) {
    const SizeCase cases[] = {
        {&full, rwRASTERTYPETEXTURE, 300, 200, 300, 200},
        {&powerOfTwo, rwRASTERTYPETEXTURE, 300, 200, 256, 128},
        {&powerOfTwo, rwRASTERTYPENORMAL, 300, 200, 256, 128},
        {&squareOnly, rwRASTERTYPETEXTURE, 300, 200, 128, 128},
        {&full, rwRASTERTYPETEXTURE, 5000, 20, 4096, 20},
    };
    for (const SizeCase& c : cases) {
        Apply(*c.profile);
        RwInt32 width = c.width, height = c.height;
        RwD3D9RasterAdjustSize(&width, &height, c.flags);
        EXPECT_EQ(width, c.expectedWidth) << c.profile->name;
        EXPECT_EQ(height, c.expectedHeight) << c.profile->name;
    }
    // Non-power-of-two sizes are allowed where the device takes them conditionally, except for mip chains.
    Apply({"conditional", false, D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, {}, {}});
    RwInt32 width = 300, height = 200;
    RwD3D9RasterAdjustSize(&width, &height, rwRASTERTYPETEXTURE);
    EXPECT_EQ(width, 300);
    RwD3D9RasterAdjustSize(&width, &height, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMATMIPMAP);
    EXPECT_EQ(width, 256);
    EXPECT_EQ(height, 128);

    // The image format finder adjusts the size as well.
    Apply(squareOnly);
    RwImage* image = RwImageCreate(300, 200, 32);
    ASSERT_TRUE(RwImageAllocatePixels(image));
    std::memset(image->pixels, 0xFF, size_t(image->stride) * 200);
    RwRaster record{};
    ASSERT_TRUE(RwD3D9ImageFindRasterFormat(&record, image, rwRASTERTYPETEXTURE));
    EXPECT_EQ(record.width, 128);
    EXPECT_EQ(record.height, 128);
    EXPECT_EQ(RwRasterGetFormat(&record), rwRASTERFORMAT888);
    EXPECT_EQ(record.depth, 32);
    RwImageDestroy(image);
}

TEST_F(RasterFormatTest, LocksEveryMipLevelAtItsSize) {
    RwRaster* raster =
        RwRasterCreate(256, 64, 0, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT8888 | rwRASTERFORMATMIPMAP);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(RwRasterGetNumLevels(raster), 9);
    for (RwUInt8 level = 0; level < 9; ++level) {
        RwUInt8* pixels = RwRasterLock(raster, level, rwRASTERLOCKREAD);
        ASSERT_NE(pixels, nullptr) << int(level);
        const RwInt32 width = (256 >> level) ? 256 >> level : 1, height = (64 >> level) ? 64 >> level : 1;
        EXPECT_EQ(raster->width, width) << int(level);
        EXPECT_EQ(raster->height, height) << int(level);
        EXPECT_GE(raster->stride, width * 4) << int(level);
        EXPECT_EQ(RwRasterLock(raster, 0, rwRASTERLOCKREAD), nullptr) << "locks do not nest";
        EXPECT_EQ(PendingError(), RwInt32(E_RW_INVRASTERLOCKREQ));
        RwRasterUnlock(raster);
        EXPECT_EQ(raster->width, 256);
        EXPECT_EQ(raster->height, 64);
        EXPECT_EQ(raster->cpPixels, nullptr);
        EXPECT_EQ(raster->stride, 0);
        EXPECT_EQ(raster->privateFlags & rwRASTERPIXELLOCKED, 0);
    }
    EXPECT_EQ(RwRasterUnlock(raster), raster);
    EXPECT_EQ(PendingError(), RwInt32(E_RW_INVRASTERUNLOCKREQ));
    RwRasterDestroy(raster);
}

RwImage* SolidImage(RwInt32 width, RwInt32 height, std::array<RwUInt8, 4> colour) {
    RwImage* image = RwImageCreate(width, height, 32);
    RwImageAllocatePixels(image);
    for (RwInt32 y = 0; y < height; ++y)
        for (RwInt32 x = 0; x < width; ++x)
            std::memcpy(image->pixels + y * image->stride + 4 * x, colour.data(), 4);
    return image;
}

TEST_F(RasterFormatTest, BestFormatFollowsAlphaAndDisplay) {
    struct Case {
        const Profile* profile;
        RwUInt8 alpha;
        RwInt32 format;
    };
    const Case cases[] = {
        {&full, 255, rwRASTERFORMAT888},
        {&sixteenBit, 255, rwRASTERFORMAT565},
        {&full, 0, rwRASTERFORMAT8888},
        {&sixteenBit, 0, rwRASTERFORMAT1555},
        {&full, 128, rwRASTERFORMAT8888},
        {&sixteenBit, 128, rwRASTERFORMAT4444},
        {&sixteenBitNo4444, 128, rwRASTERFORMAT1555},
    };
    for (const Case& c : cases) {
        Apply(*c.profile);
        RwImage* image = SolidImage(8, 8, {10, 20, 30, 255});
        image->pixels[5 * image->stride + 4 * 3 + 3] = c.alpha;
        EXPECT_EQ(RwImageFindBestRasterFormat(image), c.format)
            << c.profile->name << " alpha " << int(c.alpha);
        RwImageDestroy(image);
    }
    // Palettes: transparent entries count only when a pixel uses them.
    for (RwInt32 depth : {4, 8}) {
        RwImage* image = RwImageCreate(4, 4, depth);
        ASSERT_TRUE(RwImageAllocatePixels(image));
        for (RwInt32 i = 0; i < (1 << depth); ++i)
            image->palette[4 * i + 3] = i == 3 ? 0 : 255;
        for (RwInt32 y = 0; y < 4; ++y)
            std::memset(image->pixels + y * image->stride, 1, 4);
        const RwInt32 palette = depth == 4 ? rwRASTERFORMATPAL4 : rwRASTERFORMATPAL8;
        EXPECT_EQ(RwImageFindBestRasterFormat(image), palette | rwRASTERFORMAT888);
        image->pixels[image->stride + 2] = 3;
        EXPECT_EQ(RwImageFindBestRasterFormat(image), palette | rwRASTERFORMAT8888);
        RwImageDestroy(image);
    }
}

TEST_F(RasterFormatTest, ImagesGoIntoRastersAndBackInEveryPixelFormat) {
    const std::array<RwUInt8, 4> colours[] = {
        {0x9C, 0x5A, 0x3F, 0x80}, {0xFF, 0xFF, 0xFF, 0xFF}, {0, 0, 0, 0}};
    for (RwInt32 format : {rwRASTERFORMAT8888, rwRASTERFORMAT888, rwRASTERFORMAT565, rwRASTERFORMAT4444,
                           rwRASTERFORMAT1555, rwRASTERFORMAT555, rwRASTERFORMATLUM8}) {
        RwRaster* raster = RwRasterCreate(3, 2, 0, RwInt32(rwRASTERTYPETEXTURE) | format);
        ASSERT_NE(raster, nullptr) << std::hex << format;
        RwImage* image = SolidImage(3, 2, colours[0]);
        for (int i = 0; i < 3; ++i)
            std::memcpy(image->pixels + image->stride + 4 * i, colours[i].data(), 4);
        ASSERT_TRUE(RwD3D9RasterFromImage(raster, image, 0)) << std::hex << format;
        RwImage* back = RwImageCreate(3, 2, 32);
        RwImageAllocatePixels(back);
        ASSERT_TRUE(RwD3D9ImageFromRaster(back, raster, 0)) << std::hex << format;
        for (int i = 0; i < 3; ++i) {
            RwRGBA colour = {colours[i][0], colours[i][1], colours[i][2], colours[i][3]};
            RwUInt32 pixel = 0;
            RwRGBA expected{};
            RwRGBAToPixel(&pixel, &colour, format);
            RwRGBAFromPixel(&expected, &pixel, format);
            const RwUInt8* got = back->pixels + back->stride + 4 * i;
            EXPECT_EQ((std::array<RwUInt8, 4>{got[0], got[1], got[2], got[3]}),
                      (std::array<RwUInt8, 4>{expected.red, expected.green, expected.blue, expected.alpha}))
                << "format 0x" << std::hex << format << " colour " << i;
        }
        EXPECT_EQ(raster->cpPixels, nullptr) << "locks taken by the conversion are released";
        RwImageDestroy(back);
        RwImageDestroy(image);
        RwRasterDestroy(raster);
    }
}

TEST_F(RasterFormatTest, LuminanceRasterReadsAsGreyRampImage) {
    RwRaster* raster = RwRasterCreate(4, 4, 0, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMATLUM8);
    ASSERT_NE(raster, nullptr);
    RwUInt8* pixels = RwRasterLock(raster, 0, rwRASTERLOCKWRITE);
    ASSERT_NE(pixels, nullptr);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            pixels[y * raster->stride + x] = RwUInt8(16 * y + x);
    RwRasterUnlock(raster);
    RwImage* image = RwImageCreate(4, 4, 8);
    RwImageAllocatePixels(image);
    ASSERT_TRUE(RwD3D9ImageFromRaster(image, raster, 0));
    EXPECT_EQ(image->pixels[2 * image->stride + 3], 35);
    for (int i : {0, 35, 255})
        EXPECT_EQ((std::array<RwUInt8, 4>{image->palette[4 * i], image->palette[4 * i + 1],
                                          image->palette[4 * i + 2], image->palette[4 * i + 3]}),
                  (std::array<RwUInt8, 4>{RwUInt8(i), RwUInt8(i), RwUInt8(i), 255}));
    // Non-8-bit rasters do not go into 8-bit images.
    RwRaster* deep = RwRasterCreate(4, 4, 0, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT8888);
    EXPECT_FALSE(RwD3D9ImageFromRaster(image, deep, 0));
    RwRasterDestroy(deep);
    RwImageDestroy(image);
    RwRasterDestroy(raster);
}

TEST_F(RasterFormatTest, ImagesOfAnotherSizeAreResampled) {
    RwRaster* raster = RwRasterCreate(4, 4, 0, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT8888);
    RwImage* image = SolidImage(8, 8, {200, 100, 50, 255});
    ASSERT_TRUE(RwD3D9RasterFromImage(raster, image, 0));
    RwImage* back = SolidImage(4, 4, {0, 0, 0, 0});
    ASSERT_TRUE(RwD3D9ImageFromRaster(back, raster, 0));
    EXPECT_EQ(back->pixels[3 * back->stride + 4 * 3], 200);
    EXPECT_EQ(back->pixels[3 * back->stride + 4 * 3 + 2], 50);
    RwImageDestroy(back);
    RwImageDestroy(image);
    RwRasterDestroy(raster);
}

TEST_F(RasterFormatTest, CameraTextureClearsAndReadsBack) {
    RwRaster* target = RwRasterCreate(32, 16, 0, RwInt32(rwRASTERTYPECAMERATEXTURE) | rwRASTERFORMAT888);
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(RWSRCGLOBAL(stdFunc)[rwSTANDARDSETRASTERCONTEXT](nullptr, target, 0));
    RwRGBA green = {0, 255, 0, 255};
    RwUInt32 pixel = 0;
    RwRGBAToPixel(&pixel, &green, rwRASTERFORMAT888);
    ASSERT_TRUE(RWSRCGLOBAL(stdFunc)[rwSTANDARDRASTERCLEAR](nullptr, nullptr, RwInt32(pixel)));
    RwRect rect = {4, 2, 8, 4};
    RwRGBA red = {255, 0, 0, 255};
    RwRGBAToPixel(&pixel, &red, rwRASTERFORMAT888);
    ASSERT_TRUE(RWSRCGLOBAL(stdFunc)[rwSTANDARDRASTERCLEARRECT](nullptr, &rect, RwInt32(pixel)));
    RwImage* image = SolidImage(32, 16, {0, 0, 0, 0});
    ASSERT_TRUE(RwD3D9ImageFromRaster(image, target, 0));
    const auto at = [&](int x, int y) {
        const RwUInt8* p = image->pixels + y * image->stride + 4 * x;
        return std::array<RwUInt8, 4>{p[0], p[1], p[2], p[3]};
    };
    EXPECT_EQ(at(0, 0), (std::array<RwUInt8, 4>{0, 255, 0, 255}));
    // Cleared rectangles are given in the raster's rows, top first.
    const int redY = at(5, 3) == std::array<RwUInt8, 4>{255, 0, 0, 255} ? 3 : 12;
    EXPECT_EQ(at(5, redY), (std::array<RwUInt8, 4>{255, 0, 0, 255}));
    EXPECT_EQ(at(20, 3), (std::array<RwUInt8, 4>{0, 255, 0, 255}));
    RwImageDestroy(image);
    RWSRCGLOBAL(stdFunc)[rwSTANDARDSETRASTERCONTEXT](nullptr, nullptr, 0);
    RwRasterDestroy(target);
}

TEST_F(RasterFormatTest, VideoMemoryRastersSurviveADeviceReset) {
    RwRaster* target = RwRasterCreate(32, 32, 0, RwInt32(rwRASTERTYPECAMERATEXTURE) | rwRASTERFORMAT888);
    RwRaster* zbuffer = RwRasterCreate(32, 32, 0, rwRASTERTYPEZBUFFER);
    RwRaster* texture = RwRasterCreate(8, 8, 0, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT8888);
    RwRaster* depthTexture = RwRasterCreate(16, 16, 0, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT16);
    ASSERT_NE(depthTexture, nullptr);
    ASSERT_NE(target, nullptr);
    ASSERT_NE(zbuffer, nullptr);
    ASSERT_NE(texture, nullptr);
    RwImage* image = SolidImage(8, 8, {1, 2, 3, 4});
    ASSERT_TRUE(RwD3D9RasterFromImage(texture, image, 0));

    ASSERT_TRUE(RwCameraBeginUpdate(camera));
    RwCameraEndUpdate(camera);
    D3D9::LoseDevice(RwD3D9Device);
    ASSERT_TRUE(RwCameraBeginUpdate(camera)) << "the reset needs every default-pool object released";
    RwCameraEndUpdate(camera);

    EXPECT_NE(RwD3D9RasterExtension(target)->texture, nullptr);
    EXPECT_NE(RwD3D9RasterExtension(zbuffer)->texture, nullptr);
    EXPECT_NE(RwD3D9RasterExtension(depthTexture)->texture, nullptr);
    // The new render target takes writes and reads.
    ASSERT_TRUE(RWSRCGLOBAL(stdFunc)[rwSTANDARDSETRASTERCONTEXT](nullptr, target, 0));
    RwRGBA blue = {0, 0, 255, 255};
    RwUInt32 pixel = 0;
    RwRGBAToPixel(&pixel, &blue, rwRASTERFORMAT888);
    ASSERT_TRUE(RWSRCGLOBAL(stdFunc)[rwSTANDARDRASTERCLEAR](nullptr, nullptr, RwInt32(pixel)));
    RwImage* back = SolidImage(32, 32, {0, 0, 0, 0});
    ASSERT_TRUE(RwD3D9ImageFromRaster(back, target, 0));
    EXPECT_EQ(back->pixels[10 * back->stride + 4 * 10 + 2], 255);
    // The managed texture kept its pixels.
    RwImage* kept = SolidImage(8, 8, {0, 0, 0, 0});
    ASSERT_TRUE(RwD3D9ImageFromRaster(kept, texture, 0));
    EXPECT_EQ((std::array<RwUInt8, 4>{kept->pixels[0], kept->pixels[1], kept->pixels[2], kept->pixels[3]}),
              (std::array<RwUInt8, 4>{1, 2, 3, 4}));
    RWSRCGLOBAL(stdFunc)[rwSTANDARDSETRASTERCONTEXT](nullptr, nullptr, 0);
    RwImageDestroy(kept);
    RwImageDestroy(back);
    RwImageDestroy(image);
    RwRasterDestroy(depthTexture);
    RwRasterDestroy(texture);
    RwRasterDestroy(zbuffer);
    RwRasterDestroy(target);
}

TEST_F(RasterFormatTest, CompressedRastersRefuseConversion) {
    RwRaster* raster = RwD3D9RasterCreate(8, 8, D3DFMT_DXT1, rwRASTERTYPETEXTURE);
    ASSERT_NE(raster, nullptr);
    EXPECT_TRUE(RwD3D9RasterIsCompressed(raster));
    EXPECT_EQ(RwRasterGetFormat(raster) & rwRASTERFORMATPIXELFORMATMASK, rwRASTERFORMAT565);
    EXPECT_EQ(raster->depth, 16);
    RwImage* image = SolidImage(8, 8, {0, 0, 0, 255});
    EXPECT_FALSE(RwD3D9ImageFromRaster(image, raster, 0));
    EXPECT_FALSE(RwD3D9RasterFromImage(raster, image, 0));
    RwError error{};
    RwErrorGet(&error);
    EXPECT_EQ(error.pluginID, 1);
    EXPECT_EQ(error.errorCode, 2);
    RwImageDestroy(image);
    RwRasterDestroy(raster);
}

} // namespace

namespace {

int generated = 0;
RwBool CountGeneration(RwRaster*, RwImage*) {
    ++generated;
    return TRUE;
}

TEST_F(RasterFormatTest, WriteLockOfLevelZeroRegeneratesMipLevelsInSoftware) {
    rwD3D9State.caps.Caps2 &= ~DWORD(D3DCAPS2_CANAUTOGENMIPMAP);
    RwTextureCallBackMipmapGeneration saved = RwTextureGetMipmapGenerationCallBack();
    RwTextureSetMipmapGenerationCallBack(CountGeneration);
    generated = 0;
    RwRaster* raster = RwRasterCreate(16, 16, 0,
                                      RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT8888 |
                                          rwRASTERFORMATMIPMAP | rwRASTERFORMATAUTOMIPMAP);
    ASSERT_NE(raster, nullptr);
    ASSERT_NE(RwRasterLock(raster, 0, rwRASTERLOCKWRITE), nullptr);
    RwRasterUnlock(raster);
    EXPECT_EQ(generated, 1);
    ASSERT_NE(RwRasterLock(raster, 1, rwRASTERLOCKWRITE), nullptr);
    RwRasterUnlock(raster);
    ASSERT_NE(RwRasterLock(raster, 0, rwRASTERLOCKREAD), nullptr);
    RwRasterUnlock(raster);
    EXPECT_EQ(generated, 1) << "only a write of level 0 regenerates";
    RwRasterDestroy(raster);

    // With the device generating the levels nothing runs in software.
    rwD3D9State.caps.Caps2 |= D3DCAPS2_CANAUTOGENMIPMAP;
    raster = RwRasterCreate(16, 16, 0,
                            RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT8888 | rwRASTERFORMATMIPMAP |
                                rwRASTERFORMATAUTOMIPMAP);
    ASSERT_NE(RwRasterLock(raster, 0, rwRASTERLOCKWRITE), nullptr);
    RwRasterUnlock(raster);
    EXPECT_EQ(generated, 1);
    RwRasterDestroy(raster);
    RwTextureSetMipmapGenerationCallBack(saved);
}

TEST_F(RasterFormatTest, SubRastersLockTheirRectangle) {
    RwRaster* raster = RwRasterCreate(16, 8, 0, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT8888);
    RwUInt8* pixels = RwRasterLock(raster, 0, rwRASTERLOCKWRITE);
    ASSERT_NE(pixels, nullptr);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const RwUInt32 v = RwUInt32(y * 16 + x);
            std::memcpy(pixels + y * raster->stride + 4 * x, &v, 4);
        }
    RwRasterUnlock(raster);
    RwRaster* sub = RwRasterCreate(0, 0, 0, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERDONTALLOCATE);
    ASSERT_NE(sub, nullptr);
    RwRect rect = {5, 3, 4, 2};
    ASSERT_EQ(RwRasterSubRaster(sub, raster, &rect), sub);
    RwUInt8* part = RwRasterLock(sub, 0, rwRASTERLOCKREAD);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(sub->width, 4);
    EXPECT_EQ(sub->height, 2);
    RwUInt32 v = 0;
    std::memcpy(&v, part, 4);
    EXPECT_EQ(v, 3u * 16 + 5);
    std::memcpy(&v, part + sub->stride + 4 * 3, 4);
    EXPECT_EQ(v, 4u * 16 + 8);
    RwRasterUnlock(sub);
    RwRasterDestroy(sub);
    RwRasterDestroy(raster);
}

TEST_F(RasterFormatTest, PalettesLockOnlyWhereThereIsOne) {
    RwRaster* raster = RwRasterCreate(4, 4, 0, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT8888);
    RwError error{};
    RwErrorGet(&error);
    EXPECT_EQ(RwRasterLockPalette(raster, rwRASTERLOCKWRITE), nullptr);
    EXPECT_EQ(PendingError(), RwInt32(E_RW_INVRASTERLOCKREQ));
    RwRasterDestroy(raster);
    RwRaster* zbuffer = RwRasterCreate(4, 4, 0, rwRASTERTYPEZBUFFER);
    EXPECT_EQ(RwRasterLockPalette(zbuffer, rwRASTERLOCKREAD), nullptr);
    EXPECT_EQ(PendingError(), RwInt32(E_RW_INVRASTERLOCKREQ));
    RwRasterDestroy(zbuffer);
}

TEST_F(RasterFormatTest, CameraTexturesRenderIntoTheFrameBuffer) {
    RwRaster* source = RwRasterCreate(8, 8, 0, RwInt32(rwRASTERTYPECAMERATEXTURE) | rwRASTERFORMAT888);
    ASSERT_NE(source, nullptr);
    ASSERT_TRUE(RWSRCGLOBAL(stdFunc)[rwSTANDARDSETRASTERCONTEXT](nullptr, source, 0));
    RwRGBA red = {255, 0, 0, 255};
    RwUInt32 pixel = 0;
    RwRGBAToPixel(&pixel, &red, rwRASTERFORMAT888);
    ASSERT_TRUE(RWSRCGLOBAL(stdFunc)[rwSTANDARDRASTERCLEAR](nullptr, nullptr, RwInt32(pixel)));
    ASSERT_TRUE(RWSRCGLOBAL(stdFunc)[rwSTANDARDSETRASTERCONTEXT](nullptr, colour, 0));
    RwRGBA black = {0, 0, 0, 255};
    RwRGBAToPixel(&pixel, &black, rwRASTERFORMAT888);
    ASSERT_TRUE(RWSRCGLOBAL(stdFunc)[rwSTANDARDRASTERCLEAR](nullptr, nullptr, RwInt32(pixel)));
    RwRect at = {10, 20, 0, 0};
    ASSERT_TRUE(RWSRCGLOBAL(stdFunc)[rwSTANDARDRASTERRENDER](source, &at, 0));
    RWSRCGLOBAL(stdFunc)[rwSTANDARDSETRASTERCONTEXT](nullptr, nullptr, 0);
    unsigned width = 0, height = 0;
    const std::vector<uint32_t> frame = ReadBackBuffer(width, height);
    ASSERT_EQ(width, unsigned(Width));
    size_t reds = 0;
    for (uint32_t v : frame)
        reds += (v & 0xFFFFFF) == 0xFF0000;
    EXPECT_EQ(reds, 64u) << "one 8 x 8 copy";
    const bool topDown = (frame[20 * width + 10] & 0xFFFFFF) == 0xFF0000;
    const bool bottomUp = (frame[(height - 21) * width + 10] & 0xFFFFFF) == 0xFF0000;
    EXPECT_TRUE(topDown || bottomUp);
    // The camera raster reads back the same through a lock.
    RwImage* image = SolidImage(Width, Height, {0, 0, 0, 0});
    ASSERT_TRUE(RwD3D9ImageFromRaster(image, colour, 0));
    size_t lockedReds = 0;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const RwUInt8* p = image->pixels + y * image->stride + 4 * x;
            lockedReds += p[0] == 255 && p[1] == 0 && p[2] == 0;
        }
    EXPECT_EQ(lockedReds, 64u);
    EXPECT_EQ(colour->cpPixels, nullptr);
    RwImageDestroy(image);
    RwRasterDestroy(source);
}

TEST_F(RasterFormatTest, ConvertsToTheDeviceFormatKeepingPixels) {
    RwRaster* raster = RwRasterCreate(4, 4, 0, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT565);
    RwImage* image = SolidImage(4, 4, {0xF8, 0x80, 0x08, 0xFF});
    ASSERT_TRUE(RwD3D9RasterFromImage(raster, image, 0));
    RwD3D9RasterConvertToDeviceFormat(raster);
    EXPECT_EQ(RwRasterGetFormat(raster) & rwRASTERFORMATPIXELFORMATMASK, rwRASTERFORMAT888);
    EXPECT_EQ(raster->depth, 32);
    RwImage* back = SolidImage(4, 4, {0, 0, 0, 0});
    ASSERT_TRUE(RwD3D9ImageFromRaster(back, raster, 0));
    EXPECT_EQ((std::array<RwUInt8, 4>{back->pixels[0], back->pixels[1], back->pixels[2], back->pixels[3]}),
              (std::array<RwUInt8, 4>{0xF8, 0x80, 0x08, 0xFF}));
    RwImageDestroy(back);
    RwImageDestroy(image);
    RwRasterDestroy(raster);
}

} // namespace
