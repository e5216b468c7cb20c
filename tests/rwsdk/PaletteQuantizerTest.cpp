#include "rwsdk/src/palquant.h"

#include "ImageTestSupport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

using namespace ImageTestSupport;

namespace {

struct Quantized {
    std::vector<RwUInt8> palette;
    std::vector<RwUInt8> indices;
    RwInt32 colours = 0;
};

Quantized Quantize(RwImage* image, RwInt32 maxColours) {
    RwPaletteQuantizer quantizer;
    EXPECT_TRUE(RwPaletteQuantizerInit(&quantizer));
    EXPECT_TRUE(RwPaletteQuantizerAddImage(&quantizer, image, 1.0f));
    Quantized q;
    q.palette.resize(4 * maxColours);
    q.colours = RwPaletteQuantizerMakePalette(&quantizer, q.palette.data(), maxColours);
    q.indices.resize(image->width * image->height);
    RwPaletteQuantizerMatchImage(&quantizer, q.indices.data(), image->width, image);
    RwPaletteQuantizerDeinit(&quantizer);
    return q;
}

// The order of the tree: the cell digits of each level in turn, a digit being red, green, blue and alpha bits
// of that level from the most significant down.
std::array<int, 6> TreeOrderKey(const RwUInt8* rgba) {
    std::array<int, 6> key{};
    for (int level = 0; level < 6; level++) {
        const int bit = 7 - level;
        key[level] = ((rgba[0] >> bit) & 1) * 8 + ((rgba[1] >> bit) & 1) * 4 + ((rgba[2] >> bit) & 1) * 2 +
                     ((rgba[3] >> bit) & 1);
    }
    return key;
}

double RmsError(const std::vector<RwUInt8>& a, const std::vector<RwUInt8>& b) {
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); i++) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    return std::sqrt(sum / a.size());
}

TEST(PaletteQuantizer, FewCellsGetOneEntryEachInTreeOrder) {
    Engine engine;
    // Colours on the 4-step grid of the tree's cells, so that each cell's colour is exact.
    const std::vector<std::array<RwUInt8, 4>> colours = {
        {252, 0, 0, 255},   {0, 252, 0, 255},   {0, 0, 252, 255},
        {128, 64, 32, 255}, {128, 64, 36, 255}, {4, 8, 12, 16},
    };
    std::vector<RwUInt8> rgba;
    for (int repeat = 0; repeat < 3; repeat++) {
        for (const auto& c : colours) {
            rgba.insert(rgba.end(), c.begin(), c.end());
        }
    }
    RwImage* image = MakeImage32(static_cast<RwInt32>(colours.size()), 3, rgba);
    const Quantized q = Quantize(image, 16);
    ASSERT_EQ(q.colours, static_cast<RwInt32>(colours.size()));

    auto sorted = colours;
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return TreeOrderKey(a.data()) < TreeOrderKey(b.data()); });
    for (size_t i = 0; i < sorted.size(); i++) {
        EXPECT_EQ(std::vector<RwUInt8>(q.palette.begin() + 4 * i, q.palette.begin() + 4 * i + 4),
                  std::vector<RwUInt8>(sorted[i].begin(), sorted[i].end()))
            << "entry " << i;
    }
    for (size_t i = colours.size(); i < 16; i++) {
        EXPECT_EQ(q.palette[4 * i] | q.palette[4 * i + 1] | q.palette[4 * i + 2] | q.palette[4 * i + 3], 0);
    }
    for (size_t p = 0; p < q.indices.size(); p++) {
        EXPECT_EQ(0, std::memcmp(&q.palette[4 * q.indices[p]], &rgba[4 * p], 4)) << "pixel " << p;
    }
    RwImageDestroy(image);
}

// With free lists off every node is an allocation of its own, and all of them go at the end (LeakSanitizer).
TEST(PaletteQuantizer, WorksWithFreeListsOff) {
    Engine engine(0, rwENGINEINITNOFREELISTS);
    RwImage* image = MakeImage32(3, 1, {0, 0, 0, 255, 100, 0, 0, 255, 200, 200, 200, 255});
    const Quantized q = Quantize(image, 2);
    EXPECT_EQ(q.colours, 2);
    EXPECT_NE(q.indices[0], q.indices[2]);
    RwImageDestroy(image);
}

TEST(PaletteQuantizer, PalettisedImagesAddThroughTheirPalette) {
    Engine engine;
    RwImage* image = RwImageCreate(4, 1, 4);
    RwImageAllocatePixels(image);
    std::memset(image->palette, 0, 64);
    const RwUInt8 red[4] = {200, 0, 0, 255}, blue[4] = {0, 0, 200, 255};
    std::memcpy(image->palette + 4 * 3, red, 4);
    std::memcpy(image->palette + 4 * 9, blue, 4);
    const RwUInt8 indices[4] = {3, 9, 9, 3};
    std::memcpy(image->pixels, indices, 4);
    const Quantized q = Quantize(image, 16);
    ASSERT_EQ(q.colours, 2);
    EXPECT_EQ(0, std::memcmp(&q.palette[4 * q.indices[0]], red, 4));
    EXPECT_EQ(0, std::memcmp(&q.palette[4 * q.indices[1]], blue, 4));
    EXPECT_EQ(q.indices[0], q.indices[3]);
    EXPECT_EQ(q.indices[1], q.indices[2]);
    RwImageDestroy(image);
}

// The reduction to 256 colours loses at most 1.2 times the RMS error of ImageMagick's own (no dithering) on
// the same image.
TEST(PaletteQuantizer, ErrorComparesWithImageMagick) {
    if (!HaveImageMagick()) {
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    Engine engine;
    const auto dir = TempDir();
    const RwInt32 width = 96, height = 64;
    std::mt19937 random(7);
    std::vector<RwUInt8> rgba(4 * width * height);
    for (RwInt32 y = 0; y < height; y++) {
        for (RwInt32 x = 0; x < width; x++) {
            RwUInt8* p = &rgba[4 * (y * width + x)];
            p[0] = static_cast<RwUInt8>(x * 255 / width);
            p[1] = static_cast<RwUInt8>(y * 255 / height);
            p[2] = static_cast<RwUInt8>((x + y) * 2 % 256 / 2 + random() % 16);
            p[3] = 255;
        }
    }
    RwImage* image = MakeImage32(width, height, rgba);
    const Quantized q = Quantize(image, 256);
    EXPECT_EQ(q.colours, 256);
    std::vector<RwUInt8> ours(rgba.size());
    for (size_t p = 0; p < q.indices.size(); p++) {
        std::memcpy(&ours[4 * p], &q.palette[4 * q.indices[p]], 4);
    }
    const auto reference = Convert(dir, width, height, rgba, "-dither None -colors 256");
    ASSERT_EQ(reference.size(), rgba.size());
    const double ourError = RmsError(ours, rgba);
    const double referenceError = RmsError(reference, rgba);
    RecordProperty("ours", std::to_string(ourError));
    RecordProperty("imagemagick", std::to_string(referenceError));
    EXPECT_LE(ourError, 1.2 * referenceError) << "ours " << ourError << ", ImageMagick " << referenceError;
    RwImageDestroy(image);
    std::filesystem::remove_all(dir);
}

TEST(PaletteQuantizer, ColoursNeverAddedStillMatchAnEntry) {
    Engine engine;
    RwImage* image = MakeImage32(2, 1, {10, 10, 10, 255, 240, 240, 240, 255});
    RwPaletteQuantizer quantizer;
    ASSERT_TRUE(RwPaletteQuantizerInit(&quantizer));
    RwPaletteQuantizerAddImage(&quantizer, image, 1.0f);
    RwUInt8 palette[4 * 4];
    EXPECT_EQ(RwPaletteQuantizerMakePalette(&quantizer, palette, 4), 2);
    RwImage* other = MakeImage32(1, 1, {12, 200, 90, 255});
    RwUInt8 index = 99;
    RwPaletteQuantizerMatchImage(&quantizer, &index, 1, other);
    EXPECT_LT(index, 2);
    RwPaletteQuantizerDeinit(&quantizer);
    RwImageDestroy(other);
    RwImageDestroy(image);
}

} // namespace
