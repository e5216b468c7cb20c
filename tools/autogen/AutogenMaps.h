// The density maps of the sample scenery's generated objects, made from the sample terrain's shape: 2 bits a
// pixel (0 to 3) as the grey levels 0, 85, 170 and 255, whose two lowest bits are those values. Column 0 is
// the terrain's west edge (smallest x), row 0 its south edge (smallest z), as "Rect" maps them.
#pragma once

#include <cstdint>
#include <vector>

namespace Tools::Autogen {

constexpr int MapSide = 256; // 128 units a pixel over the 32 km square

enum class Kind { Conifers, Broadleaf, Houses };

// The density (0 to 3) of a kind at a world position.
uint8_t Density(Kind kind, float x, float z);

// MapSide x MapSide values 0..3, rows of constant z from the smallest z.
std::vector<uint8_t> Map(Kind kind);

// The grey byte that stores a density.
inline uint8_t Grey(uint8_t density) {
    return uint8_t(density * 85);
}

} // namespace Tools::Autogen
