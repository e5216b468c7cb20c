// Small terrains built from a description text and images made in memory.
#pragma once

#include "objects/Terrain.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace TerrainFixture {

struct Image {
    int32_t width = 0, height = 0, bytesPerPixel = 1;
    std::vector<uint8_t> pixels;
    Obj::Terrain::ImageView View() const {
        return {width, height, bytesPerPixel, width * bytesPerPixel, pixels.data(), pixels.size()};
    }
    uint8_t& At(int32_t column, int32_t row) {
        return pixels[(size_t(row) * size_t(width) + size_t(column)) * size_t(bytesPerPixel)];
    }
};

inline Image RandomImage(int32_t width, int32_t height, uint32_t seed, int32_t bytesPerPixel = 1) {
    Image image{width, height, bytesPerPixel, std::vector<uint8_t>(size_t(width * height * bytesPerPixel))};
    std::mt19937 random(seed);
    for (uint8_t& p : image.pixels)
        p = uint8_t(random() & 0xFF);
    return image;
}

struct Keys {
    std::string visibility = "20000", sliceSize = "1024", vertices = "17", slices = "4 4",
                origin = "-2048 -1024";
    std::string scale = "6", offset = "0 0", size = "65 65", format = "S_%02d_%02d.dds", res = "512";
    std::string Text() const {
        return "VisibilityRange " + visibility + "\nSliceSize " + sliceSize + "\nSliceVerticesSpan " +
               vertices + "\nSlicesSpan " + slices + "\nBottomRightPos " + origin +
               "\nHeightMapFilename Height.png\nHeightMapScale " + scale + "\nHeightMapOffset " + offset +
               "\nHeightMapSize " + size + "\nMainTextureDir Data\\Terrain1\nMainTextureNameFormat " +
               format + "\nMainTextureRes " + res +
               "\nMainTextureOffset 0 0\nLightAmbientColor 0.3 0.3 0.3\nLightDiffuseColor 1 1 0.9 1\n"
               "LightSpecularColor 0 0 0\nLightDirection 0.709 -0.574 0.410\nWaterSpecularPower 20\n"
               "WaterColorNoPS 0.2 0.3 0.4 1\nWaterColorPS11 0.2 0.3 0.4 1\nWaterEnvTexFilename Env\n"
               "WaterAnimFramesCount 8\nSlicesLandFilename Land.png\nSlicesWaterFilename Water.png\n";
    }
};

inline Base::Info Parse(const std::string& text) {
    Base::Info info;
    EXPECT_EQ(info.LoadText(text), 0);
    return info;
}

// A loaded terrain: the description's keys, a height map and two masks.
inline bool Build(Obj::Terrain& terrain, const Keys& keys, const Image& height, const Image& land,
                  const Image& water) {
    if (!terrain.ReadParameters(Parse(keys.Text())))
        return false;
    Obj::Terrain::HeightMap map;
    Obj::Terrain::BitMask landMask, waterMask;
    Obj::Terrain::ReadHeightMap(height.View(), map);
    Obj::Terrain::ReadBitMask(land.View(), landMask);
    Obj::Terrain::ReadBitMask(water.View(), waterMask);
    return terrain.LoadData(std::move(map), std::move(landMask), std::move(waterMask));
}

inline Image Mask(int32_t nx, int32_t nz, uint8_t value) {
    return Image{nx, nz, 1, std::vector<uint8_t>(size_t(nx * nz), value)};
}

} // namespace TerrainFixture
