#include "rwsdk/os/win/osfile.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/nulldevice.h"

#include "ImageTestSupport.h"

#include <algorithm>
#include <cmath>

using namespace ImageTestSupport;

namespace {

TEST(Image, StrideAndPaletteFollowWidthAndDepth) {
    Engine engine;
    struct Case {
        RwInt32 width, height, depth, stride;
    };
    for (const Case& c :
         {Case{3, 2, 8, 4}, Case{3, 2, 32, 12}, Case{3, 2, 4, 4}, Case{5, 1, 8, 8}, Case{1, 1, 32, 4}}) {
        RwImage* image = RwImageCreate(c.width, c.height, c.depth);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->flags, 0);
        EXPECT_EQ(image->pixels, nullptr);
        ASSERT_EQ(RwImageAllocatePixels(image), image);
        EXPECT_EQ(image->stride, c.stride) << c.width << "x" << c.depth;
        EXPECT_TRUE(image->flags & rwIMAGEALLOCATED);
        if (c.depth <= 8) {
            EXPECT_EQ(image->palette, image->pixels + c.stride * c.height);
        } else {
            EXPECT_EQ(image->palette, nullptr);
        }
        RwImageFreePixels(image);
        EXPECT_EQ(image->pixels, nullptr);
        EXPECT_FALSE(image->flags & rwIMAGEALLOCATED);
        EXPECT_TRUE(RwImageDestroy(image));
    }
    // Rows too long for the stride are refused before anything is allocated.
    RwImage* huge = RwImageCreate(0x7FFFFFF0, 1, 32);
    TakeError();
    EXPECT_EQ(RwImageAllocatePixels(huge), nullptr);
    EXPECT_EQ(TakeError(), 0x80000013u);
    EXPECT_EQ(huge->pixels, nullptr);
    RwImageDestroy(huge);
}

// The tables against the formula, computed here in double precision.
TEST(Image, GammaTablesFollowTheFormula) {
    Engine engine;
    for (RwReal gamma : {1.0f, 0.5f, 1.8f, 2.2f}) {
        ASSERT_TRUE(RwImageSetGamma(gamma));
        const RwUInt8* forward = RwImageGetGammaTable();
        const RwUInt8* inverse = RwImageGetInverseGammaTable();
        EXPECT_EQ(forward[0], 0);
        EXPECT_EQ(inverse[0], 0);
        for (int i = 1; i < 256; i++) {
            const double x = i / 255.0;
            EXPECT_NEAR(forward[i], std::min(255.0, std::floor(std::pow(x, 1.0 / gamma) * 255.0 + 0.5)), 0.0)
                << "gamma " << gamma << " entry " << i;
            EXPECT_NEAR(inverse[i], std::min(255.0, std::floor(std::pow(x, double(gamma)) * 255.0 + 0.5)),
                        0.0)
                << "gamma " << gamma << " entry " << i;
            if (gamma == 1.0f) {
                EXPECT_EQ(forward[i], i);
                EXPECT_EQ(inverse[i], i);
            }
        }
    }
    ASSERT_TRUE(RwImageSetGamma(2.2f));
    EXPECT_EQ(RwImageGetGammaTable()[128], 186);
    EXPECT_EQ(RwImageGetInverseGammaTable()[128], 56);
    TakeError();
    EXPECT_FALSE(RwImageSetGamma(0.0f));
    EXPECT_EQ(TakeError(), 0x80000003u);
    EXPECT_EQ(RwImageGetGammaTable()[128], 186);
}

// The null device with a gamma of 2.2 in the record it registers.
RwBool BrightSystem(RwInt32 request, void* pOut, void* pInOut, RwInt32 nIn) {
    const RwBool result = RwNullDeviceSystem(request, pOut, pInOut, nIn);
    if (request == rwDEVICESYSTEMREGISTER) {
        static_cast<RwDevice*>(pOut)->gammaCorrection = 2.2f;
    }
    return result;
}
RwDevice* BrightDevice() {
    static RwDevice device;
    device = *RwNullDeviceRecordGet();
    device.fpSystem = BrightSystem;
    return &device;
}

TEST(Image, StartTakesTheDeviceGamma) {
    ASSERT_TRUE(RwEngineSetDriver(BrightDevice, RwNullDeviceAttach));
    {
        Engine engine;
        EXPECT_FLOAT_EQ(RwImageGetGamma(), 2.2f);
        EXPECT_EQ(RwImageGetGammaTable()[128], 186);
    }
    ASSERT_TRUE(RwEngineSetDriver(RwNullDeviceRecordGet, RwNullDeviceAttach));
    Engine engine;
    EXPECT_EQ(RwImageGetGammaTable()[128], 128);
}

TEST(Image, GammaCorrectionChangesColourNotAlpha) {
    Engine engine;
    RwImageSetGamma(2.2f);
    RwImage* image = MakeImage32(2, 1, {128, 0, 255, 128, 10, 20, 30, 40});
    ASSERT_EQ(RwImageGammaCorrect(image), image);
    const RwUInt8* t = RwImageGetGammaTable();
    EXPECT_EQ(Pixels32(image), (std::vector<RwUInt8>{186, 0, 255, 128, t[10], t[20], t[30], 40}));
    EXPECT_TRUE(image->flags & rwIMAGEGAMMACORRECTED);
    RwImageDestroy(image);

    RwImage* paletted = RwImageCreate(1, 1, 4);
    RwImageAllocatePixels(paletted);
    std::memset(paletted->palette, 128, 64);
    ASSERT_EQ(RwImageGammaCorrect(paletted), paletted);
    EXPECT_EQ(paletted->palette[4 * 15 + 2], 186);
    EXPECT_EQ(paletted->palette[4 * 15 + 3], 128);
    RwImageDestroy(paletted);

    struct Case {
        RwInt32 depth;
        bool pixels;
        RwUInt32 error;
    };
    for (const Case& c :
         {Case{32, false, 0x80000016}, Case{8, false, 0x80000016}, Case{16, true, 0x80000008}}) {
        RwImage* bad = RwImageCreate(2, 2, c.depth);
        if (c.pixels) {
            RwImageAllocatePixels(bad);
        }
        TakeError();
        EXPECT_EQ(RwImageGammaCorrect(bad), nullptr);
        EXPECT_EQ(TakeError(), c.error) << "depth " << c.depth;
        EXPECT_FALSE(bad->flags & rwIMAGEGAMMACORRECTED);
        RwImageDestroy(bad);
    }
}

RwImage* Paletted(RwInt32 depth, const std::vector<RwUInt8>& indices) {
    RwImage* image = RwImageCreate(static_cast<RwInt32>(indices.size()), 1, depth);
    RwImageAllocatePixels(image);
    for (int i = 0; i < (1 << depth); i++) {
        const RwUInt8 entry[4] = {static_cast<RwUInt8>(i), static_cast<RwUInt8>(i * 2), 9, 200};
        std::memcpy(image->palette + 4 * i, entry, 4);
    }
    std::memcpy(image->pixels, indices.data(), indices.size());
    return image;
}

TEST(Image, ConvertHandlesPaletteExpansionAndRefusesTheRest) {
    Engine engine;
    RwImage* four = Paletted(4, {1, 15, 0});
    RwImage* eight = RwImageCreate(3, 1, 8);
    RwImageAllocatePixels(eight);
    ASSERT_TRUE(RwImageConvert(eight, four));
    EXPECT_EQ(std::vector<RwUInt8>(eight->pixels, eight->pixels + 3), (std::vector<RwUInt8>{1, 15, 0}));
    EXPECT_EQ(0, std::memcmp(eight->palette, four->palette, 64));

    RwImage* full = RwImageCreate(3, 1, 32);
    RwImageAllocatePixels(full);
    ASSERT_TRUE(RwImageConvert(full, four));
    EXPECT_EQ(Pixels32(full), (std::vector<RwUInt8>{1, 2, 9, 200, 15, 30, 9, 200, 0, 0, 9, 200}));

    four->flags |= rwIMAGEGAMMACORRECTED;
    RwImageCopyConvert(full, four);
    EXPECT_TRUE(full->flags & rwIMAGEGAMMACORRECTED);

    EXPECT_TRUE(RwImageConvert(full, full)); // same depth: nothing to do
    TakeError();
    EXPECT_FALSE(RwImageConvert(eight, full)); // 32 to 8 needs the quantiser
    EXPECT_EQ(TakeError(), 0x80000009u);
    EXPECT_FALSE(RwImageConvert(four, eight));
    EXPECT_EQ(TakeError(), 0x80000009u);

    RwImageDestroy(full);
    RwImageDestroy(eight);
    RwImageDestroy(four);
}

TEST(Image, MaskAlphaIsTheBrightestChannel) {
    Engine engine;
    RwImage* image = Paletted(8, {3, 4});
    RwImage* mask = MakeImage32(2, 1, {10, 70, 20, 0, 0, 0, 250, 0});
    RwImageMakeMask(mask);
    EXPECT_EQ(Pixels32(mask), (std::vector<RwUInt8>{10, 70, 20, 70, 0, 0, 250, 250}));
    ASSERT_EQ(RwImageApplyMask(image, mask), image);
    EXPECT_EQ(image->depth, 32);
    EXPECT_EQ(image->stride, 8);
    EXPECT_EQ(Pixels32(image), (std::vector<RwUInt8>{3, 6, 9, 70, 4, 8, 9, 250}));

    RwImage* small = MakeImage32(1, 1, {0, 0, 0, 0});
    TakeError();
    EXPECT_EQ(RwImageApplyMask(image, small), nullptr);
    EXPECT_EQ(TakeError(), 0x8000000Au);

    RwImage* palettedMask = Paletted(4, {2, 15});
    RwImageMakeMask(palettedMask);
    ASSERT_EQ(RwImageApplyMask(image, palettedMask), image);
    EXPECT_EQ(image->pixels[3], 9);
    EXPECT_EQ(image->pixels[7], 30);
    RwImageDestroy(palettedMask);
    RwImageDestroy(small);
    RwImageDestroy(mask);
    RwImageDestroy(image);
}

// Stand-ins for the device's conversion routines.
RwBool deviceAnswer = TRUE;
RwBool ConvertStandIn(void*, void*, RwInt32) {
    return deviceAnswer;
}
RwBool FindFormatStandIn(void* out, void* in, RwInt32 type) {
    auto* raster = static_cast<RwRaster*>(out);
    const auto* image = static_cast<const RwImage*>(in);
    raster->width = image->width;
    raster->height = image->height;
    raster->depth = 32;
    raster->cType = static_cast<RwUInt8>(type);
    raster->cFormat = rwRASTERFORMAT8888 >> 8;
    return TRUE;
}

TEST(Image, RasterConversionsCarryTheGammaMark) {
    Engine engine;
    RWSRCGLOBAL(stdFunc[rwSTANDARDIMAGEGETRASTER]) = ConvertStandIn;
    RWSRCGLOBAL(stdFunc[rwSTANDARDRASTERSETIMAGE]) = ConvertStandIn;
    RWSRCGLOBAL(stdFunc[rwSTANDARDIMAGEFINDRASTERFORMAT]) = FindFormatStandIn;
    RwImage* image = MakeImage32(3, 2, std::vector<RwUInt8>(24, 0));
    RwRaster raster = {};

    deviceAnswer = TRUE;
    EXPECT_EQ(RwRasterSetFromImage(&raster, image), &raster);
    EXPECT_FALSE(raster.privateFlags & rwRASTERGAMMACORRECTED);
    image->flags |= rwIMAGEGAMMACORRECTED;
    EXPECT_EQ(RwRasterSetFromImage(&raster, image), &raster);
    EXPECT_TRUE(raster.privateFlags & rwRASTERGAMMACORRECTED);

    image->flags &= ~rwIMAGEGAMMACORRECTED;
    EXPECT_EQ(RwImageSetFromRaster(image, &raster), image);
    EXPECT_TRUE(image->flags & rwIMAGEGAMMACORRECTED);

    deviceAnswer = FALSE;
    EXPECT_EQ(RwImageSetFromRaster(image, &raster), nullptr);
    EXPECT_EQ(RwRasterSetFromImage(&raster, image), nullptr);

    RwInt32 width = 0, height = 0, depth = 0, format = 0;
    EXPECT_EQ(RwImageFindRasterFormat(image, rwRASTERTYPETEXTURE, &width, &height, &depth, &format), image);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    EXPECT_EQ(depth, 32);
    EXPECT_EQ(format, static_cast<RwInt32>(rwRASTERFORMAT8888) | rwRASTERTYPETEXTURE);
    RwImageDestroy(image);
}

std::vector<std::string> candidates;
RwInt32 Collect(const RwChar* path, void* data) {
    candidates.push_back(path);
    return data ? 0 : 1;
}

TEST(ImageSearchPath, TriesEachElementThenStops) {
    Engine engine;
    struct Case {
        const char* path;
        const char* name;
        bool stopAtFirst;
        std::vector<std::string> expected;
    };
    int stop = 1;
    const Case cases[] = {
        {"a\\;b\\", "x.bmp", false, {"a\\x.bmp", "b\\x.bmp"}},
        {"a\\;b\\", "x.bmp", true, {"a\\x.bmp"}},
        {"a\\;;c\\", "x.bmp", false, {"a\\x.bmp", "x.bmp", "c\\x.bmp"}},
        {"a\\;b\\", "C:x.bmp", false, {"C:x.bmp"}},
        {"a\\;b\\", "\\root\\x.bmp", false, {"\\root\\x.bmp"}},
        {"", "x.bmp", false, {"x.bmp"}},
    };
    for (const Case& c : cases) {
        ASSERT_NE(RwImageSetPath(c.path), nullptr);
        EXPECT_STREQ(RwImageGetPath(), c.path);
        candidates.clear();
        EXPECT_EQ(RwImageSearchPath(c.name, 5, Collect, c.stopAtFirst ? &stop : nullptr), c.name);
        EXPECT_EQ(candidates, c.expected) << c.path << " + " << c.name;
    }
    // A path list longer than the first buffer.
    const std::string longPath(1000, 'p');
    ASSERT_NE(RwImageSetPath((longPath + "\\").c_str()), nullptr);
    candidates.clear();
    RwImageSearchPath("x.bmp", 5, Collect, nullptr);
    EXPECT_EQ(candidates, std::vector<std::string>{longPath + "\\x.bmp"});
}

RwImage* ReaderA(const RwChar*) {
    return nullptr;
}
RwImage* ReaderB(const RwChar*) {
    return nullptr;
}
RwImage* WriterA(RwImage* image, const RwChar*) {
    return image;
}

TEST(ImageFormats, RegisterKeepsBothCasesAndEarlierCallbacks) {
    Engine engine;
    ASSERT_TRUE(RwImageRegisterImageFormat("bmp", ReaderA, WriterA));
    ASSERT_TRUE(RwImageRegisterImageFormat("Tif", ReaderA, nullptr));
    ASSERT_TRUE(RwImageRegisterImageFormat("BMP", ReaderB, nullptr));
    RwImageFormat* bmp = RwImageFindFormat(".bmp");
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(RwImageFindFormat(".BMP"), bmp);
    EXPECT_EQ(RwImageFindFormat(".Bmp"), nullptr);
    EXPECT_STREQ(bmp->lowerCaseExtension, ".bmp");
    EXPECT_STREQ(bmp->upperCaseExtension, ".BMP");
    EXPECT_EQ(bmp->imageRead, ReaderB);
    EXPECT_EQ(bmp->imageWrite, WriterA);
    RwImageFormat* tif = RwImageFindFormat(".TIF");
    ASSERT_NE(tif, nullptr);
    EXPECT_STREQ(tif->lowerCaseExtension, ".tif");
    EXPECT_EQ(tif->next, bmp); // newest first

    ASSERT_TRUE(RwImageRegisterImageFormat("abcdefghijklmnopqrstuvwxyz", ReaderA, nullptr));
    EXPECT_NE(RwImageFindFormat(".abcdefghijklmnopqr"), nullptr);
    EXPECT_NE(RwImageFindFormat(".ABCDEFGHIJKLMNOPQR"), nullptr);
}

// The candidates go to the file interface in order: each path element, each format newest first, lower case
// then upper case. The file layer itself matches names in any case, so a stand-in answers here.
std::vector<std::string> asked;
std::string present;
RwBool ExistsExactly(const RwChar* name) {
    asked.push_back(name);
    return present == name;
}

TEST(ImageFormats, FindFileExtensionTriesEachFormatInBothCases) {
    Engine engine;
    RwBool (*realExists)(const RwChar*) = RwEngineGetFileInterface()->rwfexist;
    RwEngineGetFileInterface()->rwfexist = ExistsExactly;
    ASSERT_TRUE(RwImageRegisterImageFormat("bmp", ReaderA, nullptr));
    ASSERT_TRUE(RwImageRegisterImageFormat("png", ReaderA, nullptr));
    RwImageSetPath("a\\;b\\");
    present = "b\\tex.PNG";
    asked.clear();
    EXPECT_STREQ(RwImageFindFileExtension("tex"), ".PNG");
    EXPECT_EQ(asked, (std::vector<std::string>{"a\\tex.png", "a\\tex.PNG", "a\\tex.bmp", "a\\tex.BMP",
                                               "b\\tex.png", "b\\tex.PNG"}));
    present = "a\\tex.bmp";
    EXPECT_STREQ(RwImageFindFileExtension("tex"), ".bmp");
    present.clear();
    EXPECT_EQ(RwImageFindFileExtension("tex"), nullptr);
    RwEngineGetFileInterface()->rwfexist = realExists;
}

// Files on disk, found through the search path in its game form ('\' separators).
class ImageFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = TempDir();
        std::filesystem::create_directories(dir / "one");
        std::filesystem::create_directories(dir / "two");
        gameDir = dir.string();
        std::replace(gameDir.begin(), gameDir.end(), '/', '\\');
        reads.clear();
        existsCalls = 0;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void Touch(const std::string& relative) { std::ofstream(dir / relative) << "x"; }
    std::string Element(const char* sub) const { return gameDir + "\\" + sub + "\\"; }

    static RwImage* Read(const RwChar* name) {
        reads.push_back(name);
        // A 2 x 1 image whose colour tells which file it came from.
        const RwUInt8 shade = std::string(name).find("mask") != std::string::npos ? 90 : 30;
        return MakeImage32(2, 1, {shade, 0, 0, 255, 0, shade, 200, 255});
    }
    static RwBool CountingExists(const RwChar* name) {
        existsCalls++;
        return realExists(name);
    }

    std::filesystem::path dir;
    std::string gameDir;
    static inline std::vector<std::string> reads;
    static inline int existsCalls = 0;
    static inline RwBool (*realExists)(const RwChar*) = nullptr;
};

TEST_F(ImageFiles, ReadFindsRegisteredExtensionsInEitherCase) {
    Engine engine;
    realExists = RwEngineGetFileInterface()->rwfexist;
    RwEngineGetFileInterface()->rwfexist = CountingExists;
    Touch("two/pic.bmp");
    Touch("one/UP.BMP");
    Touch("one/mixed.Bmp");
    Touch("one/other.tga");
    ASSERT_TRUE(RwImageRegisterImageFormat("bmp", Read, nullptr));
    RwImageSetPath((Element("one") + ";" + Element("two")).c_str());

    RwImage* image = RwImageRead("pic.bmp");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(reads, std::vector<std::string>{Element("two") + "pic.bmp"});
    RwImageDestroy(image);

    reads.clear();
    image = RwImageRead("UP.BMP");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(reads, std::vector<std::string>{Element("one") + "UP.BMP"});
    RwImageDestroy(image);

    reads.clear();
    existsCalls = 0;
    EXPECT_EQ(RwImageRead("mixed.Bmp"), nullptr);
    EXPECT_EQ(RwImageRead("other.tga"), nullptr);
    EXPECT_EQ(RwImageRead("dir.bmp\\noextension"), nullptr);
    EXPECT_TRUE(reads.empty());
    EXPECT_EQ(existsCalls, 0); // refused before the disk is asked

    EXPECT_EQ(RwImageRead("missing.bmp"), nullptr);
    EXPECT_TRUE(reads.empty());
    EXPECT_EQ(existsCalls, 2);
    RwEngineGetFileInterface()->rwfexist = realExists;
}

TEST_F(ImageFiles, MaskedImageTakesItsAlphaFromTheMask) {
    Engine engine;
    Touch("one/img.bmp");
    Touch("one/mask.bmp");
    ASSERT_TRUE(RwImageRegisterImageFormat("bmp", Read, nullptr));
    RwImageSetPath(Element("one").c_str());
    RwImage* image = RwImageReadMaskedImage("img.bmp", "mask.bmp");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Pixels32(image), (std::vector<RwUInt8>{30, 0, 0, 90, 0, 30, 200, 200}));
    RwImageDestroy(image);

    image = RwImageReadMaskedImage("img.bmp", "nomask.bmp"); // a missing mask leaves the image as it is
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixels[3], 255);
    RwImageDestroy(image);
}

} // namespace
