// Image files of the sample textures in the formats the game reads: DDS (DXT1 or 32-bit, with mip chains),
// PNG, BMP (24-bit) and TIFF. Each writer returns false when the file cannot be written.
#pragma once

#include "tools/textures/Patterns.h"

#include <string>
#include <vector>

namespace Tools {

// Levels from level 0 down. DXT1 files are opaque (four-colour blocks).
bool WriteDds(const std::string& path, const std::vector<Picture>& levels, bool dxt1);
bool WritePng(const std::string& path, const Picture& picture);
bool WriteBmp(const std::string& path, const Picture& picture);
bool WriteTiff(const std::string& path, const Picture& picture);

// Eight bytes of one DXT1 block for 4 x 4 texels at (x, y) (clamped at the picture's edges); texels with
// alpha below 128 become transparent (the three-colour mode).
void EncodeDxt1Block(const Picture& picture, int x, int y, uint8_t* block);

} // namespace Tools
