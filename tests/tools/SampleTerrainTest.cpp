// The generated sample terrain: the files in the build's data tree against the shape they come from, the
// slice textures decoded by libsquish, the height map by libpng.
#include "tools/terrain/TerrainShape.h"
#include "tools/textures/TextureFiles.h"

#include <gtest/gtest.h>
#include <png.h>
#include <squish.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace T = Tools::Terrain;

namespace {

std::string DataPath(const std::string& name) {
    return std::string(CORVANE_BINARY_DIR) + "/data/Data/" + name;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Red bytes of a PNG, through libpng's simplified reader.
std::vector<uint8_t> ReadPngRed(const std::string& path, uint32_t& width, uint32_t& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return {};
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr))
        return {};
    width = image.width;
    height = image.height;
    std::vector<uint8_t> red(rgba.size() / 4);
    for (size_t k = 0; k < red.size(); ++k)
        red[k] = rgba[k * 4];
    return red;
}

class SampleTerrain : public ::testing::Test {
protected:
    static void SetUpTestSuite() { grid = new T::Grid(T::MakeGrid()); }
    static void TearDownTestSuite() { delete grid; }
    static T::Grid* grid;
};
T::Grid* SampleTerrain::grid = nullptr;

TEST_F(SampleTerrain, HeightMapIsTheFlippedGrid) {
    uint32_t w = 0, h = 0;
    const std::vector<uint8_t> red = ReadPngRed(DataPath("Textures/Terrain1Height.png"), w, h);
    const int n = T::GridSide;
    ASSERT_EQ(w, uint32_t(n));
    ASSERT_EQ(h, uint32_t(n));
    for (int r = 0; r < n; r += 3)
        for (int c = 0; c < n; c += 3)
            ASSERT_EQ(red[size_t(r) * n + size_t(c)], grid->At(n - 1 - c, n - 1 - r)) << c << " " << r;
}

TEST_F(SampleTerrain, VariedLandWithSeaHillsAndFlatPlateaus) {
    size_t sea = 0, high = 0;
    for (uint8_t s : grid->samples) {
        sea += s == 0;
        high += s > 150;
    }
    const double total = double(grid->samples.size());
    EXPECT_GT(sea / total, 0.1);
    EXPECT_LT(sea / total, 0.5);
    EXPECT_GT(high, 100u);
    // Every plateau is flat well inside its radius: room for a runway.
    for (const T::Plateau& p : T::Plateaus)
        for (float dz = -1200; dz <= 1200; dz += 64)
            for (float dx = -1200; dx <= 1200; dx += 64) {
                const int gx = int(std::lround((p.x + dx - T::Origin) / T::Cell));
                const int gz = int(std::lround((p.z + dz - T::Origin) / T::Cell));
                ASSERT_EQ(grid->At(gx, gz), p.sample) << p.x << " " << dx << " " << dz;
            }
}

TEST_F(SampleTerrain, MasksFollowTheSlices) {
    uint32_t w = 0, h = 0;
    const std::vector<uint8_t> land = ReadPngRed(DataPath("Textures/Terrain1Land.png"), w, h);
    ASSERT_EQ(w, 8u);
    const std::vector<uint8_t> water = ReadPngRed(DataPath("Textures/Terrain1Water.png"), w, h);
    ASSERT_EQ(h, 8u);
    int coast = 0;
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) {
            bool anyLand = false, anyWater = false;
            const int cells = T::SliceVertices - 1;
            for (int v = 0; v <= cells; ++v)
                for (int u = 0; u <= cells; ++u) {
                    anyLand |= grid->At(i * cells + u, j * cells + v) > 0;
                    anyWater |= grid->At(i * cells + u, j * cells + v) == 0;
                }
            const size_t pixel = size_t(7 - j) * 8 + size_t(7 - i);
            EXPECT_EQ(land[pixel], anyLand ? 255 : 0) << i << " " << j;
            EXPECT_EQ(water[pixel], anyWater ? 255 : 0) << i << " " << j;
            coast += anyLand && anyWater;
        }
    EXPECT_GE(coast, 4);
}

// Every slice file is a whole DXT1 chain from 512 down to 1; decoded by libsquish, level 0 of a few
// slices is close to the picture it was made from.
TEST_F(SampleTerrain, SliceTexturesAreDxt1ChainsThatDecodeToTheGround) {
    size_t expectedSize = 128;
    for (int side = 512; side >= 1; side /= 2)
        expectedSize += size_t(std::max(1, side / 4)) * size_t(std::max(1, side / 4)) * 8;
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) {
            char name[40];
            std::snprintf(name, sizeof name, "Terrain1/S_%02d_%02d.dds", 7 - i, 7 - j);
            const std::vector<uint8_t> file = ReadFile(DataPath(name));
            ASSERT_EQ(file.size(), expectedSize) << name;
            ASSERT_EQ(std::memcmp(file.data(), "DDS ", 4), 0);
            ASSERT_EQ(std::memcmp(file.data() + 84, "DXT1", 4), 0);
            EXPECT_EQ(file[28], 10); // mip count
            if ((i + 3 * j) % 9 != 0)
                continue;
            const Tools::Picture picture = T::SliceTexture(*grid, i, j);
            std::vector<uint8_t> decoded(512 * 512 * 4);
            squish::DecompressImage(decoded.data(), 512, 512, file.data() + 128, squish::kDxt1);
            // Transparent over the sea (the water shows through), opaque ground elsewhere.
            double error = 0;
            size_t opaque = 0, alphaWrong = 0;
            for (size_t k = 0; k < decoded.size(); k += 4) {
                alphaWrong += decoded[k + 3] != picture.rgba[k + 3];
                if (picture.rgba[k + 3] == 0)
                    continue;
                ++opaque;
                for (int c = 0; c < 3; ++c)
                    error += std::abs(int(decoded[k + size_t(c)]) - int(picture.rgba[k + size_t(c)]));
            }
            EXPECT_EQ(alphaWrong, 0u) << name;
            if (opaque > 0) {
                EXPECT_LT(error / (double(opaque) * 3), 6) << name;
            }
        }
}

// Transparent texels: the block takes the three-colour mode, transparent exactly where the picture's alpha
// is below 128, and the opaque texels keep their colours.
TEST(Dxt1Encoder, TransparentTexelsKeepTheirBit) {
    Tools::Picture picture = Tools::Ground(8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            picture.At(x, y)[3] = x + 2 * y < 6 ? 0 : x + y == 7 ? 127 : 255;
    for (int y = 0; y < 8; y += 4)
        for (int x = 0; x < 8; x += 4) {
            uint8_t block[8], rgba[64];
            Tools::EncodeDxt1Block(picture, x, y, block);
            squish::Decompress(rgba, block, squish::kDxt1);
            for (int k = 0; k < 16; ++k) {
                const uint8_t* t = picture.At(x + k % 4, y + k / 4);
                EXPECT_EQ(rgba[k * 4 + 3], t[3] < 128 ? 0 : 255) << x << " " << y << " " << k;
                if (t[3] < 128)
                    continue;
                for (int c = 0; c < 3; ++c)
                    EXPECT_NEAR(rgba[k * 4 + c], t[c], 48);
            }
        }
    // A block with no opaque texel at all.
    Tools::Picture clear = Tools::Ground(4);
    for (int k = 0; k < 16; ++k)
        clear.At(k % 4, k / 4)[3] = 0;
    uint8_t block[8], rgba[64];
    Tools::EncodeDxt1Block(clear, 0, 0, block);
    squish::Decompress(rgba, block, squish::kDxt1);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(rgba[k * 4 + 3], 0);
}

// Our encoder against libsquish's decode: each block's texels within DXT1's quantisation of the original.
TEST(Dxt1Encoder, BlocksDecodeCloseToTheirTexels) {
    const Tools::Picture picture = Tools::Ground(64);
    double total = 0;
    int worst = 0;
    for (int y = 0; y < 64; y += 4)
        for (int x = 0; x < 64; x += 4) {
            uint8_t block[8], rgba[64];
            Tools::EncodeDxt1Block(picture, x, y, block);
            squish::Decompress(rgba, block, squish::kDxt1);
            for (int k = 0; k < 16; ++k)
                for (int c = 0; c < 3; ++c) {
                    const int d = std::abs(int(rgba[k * 4 + c]) - int(picture.At(x + k % 4, y + k / 4)[c]));
                    total += d;
                    worst = std::max(worst, d);
                }
        }
    EXPECT_LT(total / (64.0 * 64 * 3), 5);
    EXPECT_LT(worst, 48);
}

} // namespace
