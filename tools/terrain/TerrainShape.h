// The sample terrain: a 32 km square with a sea to the west, a wavy coast, hills, a river valley and two
// flat plateaus for the airbases. Everything is a pure function of position, so the files come out the
// same on every build.
#pragma once

#include "tools/textures/Patterns.h"

#include <cstdint>
#include <vector>

namespace Tools::Terrain {

// The layout that data/Data/Terrain1.info describes.
constexpr int Slices = 8;                                  // SlicesSpan 8 8
constexpr int SliceVertices = 33;                          // SliceVerticesSpan
constexpr float SliceSize = 4096;                          // cell 128
constexpr float Origin = -16384;                           // BottomRightPos, both axes
constexpr float HeightScale = 6;                           // HeightMapScale
constexpr int GridSide = Slices * (SliceVertices - 1) + 1; // 257
constexpr float Cell = SliceSize / float(SliceVertices - 1);
constexpr int TextureSide = 512;

struct Plateau {
    float x, z, radius;
    uint8_t sample; // its flat height in height-map steps
};
// The airbases' ground: flat inside the radius.
constexpr Plateau Plateaus[2] = {{-3500, 5200, 1700, 40}, {7800, -6400, 1900, 75}};

// Height of the continuous shape at a world position, in height-map steps (0 is the sea).
float ShapeSample(float x, float z);

// The height grid: sample of grid vertex (gx, gz), row gz, column gx (not flipped).
struct Grid {
    std::vector<uint8_t> samples; // GridSide x GridSide
    uint8_t At(int gx, int gz) const { return samples[size_t(gz) * GridSide + size_t(gx)]; }
    // Bilinear height in world units between the grid vertices, as the drawn mesh roughly has it.
    float HeightAt(float x, float z) const;
};
Grid MakeGrid();

// The height-map image: pixel (c, r) holds grid vertex (GridSide - 1 - c, GridSide - 1 - r): the terrain
// reads its image through a flip of both axes. One grey byte per pixel.
std::vector<uint8_t> HeightMapImage(const Grid& grid);

// Masks, Slices x Slices grey pixels, 255 set: pixel (Slices - 1 - i, Slices - 1 - j) for slice (i, j).
// Land: some vertex of the slice is above the sea; water: some vertex is at sea level.
std::vector<uint8_t> LandMask(const Grid& grid);
std::vector<uint8_t> WaterMask(const Grid& grid);

// Level 0 of the slice texture for slice (i, j), the slice's square seen mirrored in both axes as the
// terrain's texture coordinates read it; coloured by height, slope and noise.
Picture SliceTexture(const Grid& grid, int i, int j);

} // namespace Tools::Terrain
