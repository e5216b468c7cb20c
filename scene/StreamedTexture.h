// The engine side of the streamed-texture cache: DXT1 textures made from a mip chain read from a DDS file.
#pragma once

#include <cstddef>
#include <cstdint>

struct RwTexture;

namespace Rw {

// A side x side DXT1 texture with all its mip levels, filled from data: the levels one after the other,
// largest first, in whole 4 x 4 blocks. Null when the data is short or the device refuses the texture.
// The raster of a texture given back while the engine runs may be kept and filled again for the next
// texture of its side: the kept rasters of all sides together hold at most the bytes of StreamedSpareChains
// chains of the largest side (512 x 512) and number at most StreamedSpareRasters.
constexpr size_t StreamedSpareChains = 16;
constexpr size_t StreamedSpareRasters = 64;
RwTexture* CreateStreamedTexture(uint32_t side, const uint8_t* data, uint32_t size);
void DestroyStreamedTexture(RwTexture* texture);
// Destroys the kept rasters (the engine's stop does).
void DestroyStreamedTextureSpares();

// Points the streamed-texture cache at the two routines above.
void InstallStreamedTextures();

} // namespace Rw
