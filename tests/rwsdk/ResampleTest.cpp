#include "rwsdk/src/resample.h"

#include "ImageTestSupport.h"

#include <random>

using namespace ImageTestSupport;

namespace {

// Smooth gradients with noise on top, so that both averaging and rounding matter.
std::vector<RwUInt8> TestPattern(RwInt32 width, RwInt32 height, unsigned seed, bool opaque = false) {
    std::mt19937 random(seed);
    std::vector<RwUInt8> rgba(4 * width * height);
    for (RwInt32 y = 0; y < height; y++) {
        for (RwInt32 x = 0; x < width; x++) {
            RwUInt8* p = &rgba[4 * (y * width + x)];
            p[0] = static_cast<RwUInt8>((x * 255 / width + random() % 32) % 256);
            p[1] = static_cast<RwUInt8>((y * 255 / height + random() % 32) % 256);
            p[2] = static_cast<RwUInt8>(random() % 256);
            p[3] = static_cast<RwUInt8>(opaque ? 255 : 255 - random() % 64);
        }
    }
    return rgba;
}

RwImage* Resampled(RwImage* source, RwInt32 width, RwInt32 height) {
    RwImage* result = RwImageCreate(width, height, 32);
    RwImageAllocatePixels(result);
    EXPECT_EQ(RwImageResample(result, source), result);
    return result;
}

int MaxDifference(const std::vector<RwUInt8>& a, const std::vector<RwUInt8>& b) {
    EXPECT_EQ(a.size(), b.size());
    int worst = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); i++) {
        worst = std::max(worst, std::abs(a[i] - b[i]));
    }
    return worst;
}

TEST(Resample, SameSizeCopiesEveryPixel) {
    Engine engine;
    const auto rgba = TestPattern(7, 5, 1);
    RwImage* source = MakeImage32(7, 5, rgba);
    RwImage* result = Resampled(source, 7, 5);
    EXPECT_EQ(Pixels32(result), rgba);
    RwImageDestroy(result);
    RwImageDestroy(source);
}

TEST(Resample, HalvingTwoByTwoGivesRoundedAverage) {
    Engine engine;
    struct Case {
        std::vector<RwUInt8> pixels;
        std::vector<RwUInt8> expected;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255, 255, 255, 255}, {128, 128, 128, 128}}, // 127.5 up
        {{1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 2, 3, 4, 5}, {1, 2, 3, 4}},                         // .25 down
        {{10, 20, 30, 40, 11, 21, 31, 41, 12, 22, 32, 42, 12, 22, 32, 42}, {11, 21, 31, 41}},     // .25 down
        {{0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, {1, 1, 1, 1}},                         // .75 up
    };
    for (const Case& c : cases) {
        RwImage* source = MakeImage32(2, 2, c.pixels);
        RwImage* result = Resampled(source, 1, 1);
        EXPECT_EQ(Pixels32(result), c.expected);
        RwImageDestroy(result);
        RwImageDestroy(source);
    }
}

TEST(Resample, CarriesTheGammaFlagAndRefusesOtherDepths) {
    Engine engine;
    RwImage* source = MakeImage32(4, 4, TestPattern(4, 4, 2));
    source->flags |= rwIMAGEGAMMACORRECTED;
    RwImage* result = Resampled(source, 2, 2);
    EXPECT_TRUE(result->flags & rwIMAGEGAMMACORRECTED);
    source->flags &= ~rwIMAGEGAMMACORRECTED;
    RwImageResample(result, source);
    EXPECT_FALSE(result->flags & rwIMAGEGAMMACORRECTED);

    RwImage* eight = RwImageCreate(2, 2, 8);
    RwImageAllocatePixels(eight);
    TakeError();
    EXPECT_EQ(RwImageResample(eight, source), nullptr);
    EXPECT_EQ(TakeError(), 0x80000009u);
    RwImageDestroy(eight);
    RwImageDestroy(result);
    RwImageDestroy(source);
}

// ImageMagick's box filter at a whole ratio and its area-averaging -scale at other ratios compute the same
// means; they may round the last bit differently. ImageMagick weights colours by alpha when it averages, and
// the engine does not, so the images are opaque.
TEST(Resample, AgreesWithImageMagick) {
    if (!HaveImageMagick()) {
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    Engine engine;
    const auto dir = TempDir();
    struct Case {
        RwInt32 sw, sh, dw, dh;
        const char* operation;
        int tolerance;
    };
    const Case cases[] = {
        {64, 48, 32, 24, "-filter box -resize 32x24!", 1},
        {60, 45, 25, 19, "-scale 25x19!", 1},
        {90, 30, 40, 7, "-scale 40x7!", 1},
        {12, 9, 30, 20, "-scale 30x20!", 1}, // enlarging
    };
    for (const Case& c : cases) {
        const auto rgba = TestPattern(c.sw, c.sh, 3, true);
        RwImage* source = MakeImage32(c.sw, c.sh, rgba);
        RwImage* result = Resampled(source, c.dw, c.dh);
        EXPECT_LE(MaxDifference(Pixels32(result), Convert(dir, c.sw, c.sh, rgba, c.operation)), c.tolerance)
            << c.operation;
        RwImageDestroy(result);
        RwImageDestroy(source);
    }
    std::filesystem::remove_all(dir);
}

TEST(Resample, CreateResampledExpandsPalettisedImages) {
    Engine engine;
    RwImage* paletted = RwImageCreate(4, 2, 8);
    RwImageAllocatePixels(paletted);
    for (int i = 0; i < 256; i++) {
        const RwUInt8 entry[4] = {static_cast<RwUInt8>(i), static_cast<RwUInt8>(255 - i), 7, 255};
        std::memcpy(paletted->palette + 4 * i, entry, 4);
    }
    const RwUInt8 indices[2][4] = {{0, 2, 100, 102}, {4, 6, 200, 202}};
    for (int y = 0; y < 2; y++) {
        std::memcpy(paletted->pixels + y * paletted->stride, indices[y], 4);
    }
    RwImage* result = RwImageCreateResampled(paletted, 2, 1);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->depth, 32);
    EXPECT_EQ(Pixels32(result), (std::vector<RwUInt8>{3, 252, 7, 255, 151, 104, 7, 255}));
    RwImageDestroy(result);
    RwImageDestroy(paletted);
}

} // namespace
