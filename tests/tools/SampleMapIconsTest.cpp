// The world map's generated pictures: each icon read back from the data tree by libpng as the generator
// drew it, white on clear inside a dark rim, and the water texture opaque and tiling.
#include "tools/mapicons/MapIcons.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> ReadRgba(const std::string& name, int& width, int& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    const std::string path = std::string(CORVANE_BINARY_DIR) + "/data/Data/Textures/" + name + ".png";
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return {};
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        return {};
    width = int(image.width);
    height = int(image.height);
    return pixels;
}

TEST(SampleMapIcons, EveryIconIsWhiteOnClearInADarkRim) {
    for (const std::string& name : Tools::MapIconNames()) {
        int w = 0, h = 0;
        const std::vector<uint8_t> file = ReadRgba(name, w, h);
        ASSERT_EQ(w, Tools::MapIconSide) << name;
        ASSERT_EQ(h, Tools::MapIconSide) << name;
        EXPECT_EQ(file, Tools::MapIcon(name).rgba) << name;
        int white = 0, rim = 0;
        for (size_t i = 0; i < file.size(); i += 4) {
            white += file[i] == 255 && file[i + 3] == 255;
            rim += file[i] < 64 && file[i + 3] > 128;
        }
        EXPECT_GT(white, 40) << name;
        EXPECT_GT(rim, 20) << name;
        EXPECT_EQ(file[3], 0) << name << ": a clear corner";
    }
    EXPECT_NE(Tools::MapIcon("IconFighter").rgba, Tools::MapIcon("IconShip").rgba);
    EXPECT_EQ(Tools::MapIcon("NoSuchIcon").rgba, Tools::MapIcon("IconUndefined").rgba);
}

TEST(SampleMapIcons, TheWaterIsOpaqueBlueAndTiles) {
    int w = 0, h = 0;
    const std::vector<uint8_t> file = ReadRgba("Water", w, h);
    ASSERT_EQ(w, 64);
    ASSERT_EQ(h, 64);
    const auto at = [&](int x, int y) { return &file[(size_t(y) * size_t(w) + size_t(x)) * 4]; };
    int seam = 0;
    for (int k = 0; k < 64; ++k) {
        EXPECT_EQ(at(k, k)[3], 255);
        EXPECT_GT(at(k, k)[2], at(k, k)[0] + 40);
        // Across the wrap the neighbours differ no more than neighbours inside do.
        seam = std::max({seam, std::abs(int(at(63, k)[2]) - int(at(0, k)[2])),
                         std::abs(int(at(k, 63)[2]) - int(at(k, 0)[2]))});
    }
    EXPECT_LT(seam, 40);
}

} // namespace
