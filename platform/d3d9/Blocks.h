// Block-compressed pixels (DXT1 to DXT5) decoded to R, G, B, A bytes: the software rasteriser decodes a
// compressed texel again at every fetch, several times per pixel, so on it the layer stores these textures
// decoded.
#pragma once

#include <d3d9.h>

#include <cstddef>

namespace D3D9 {

// Decodes a level of `width` x `height` pixels stored as 4 x 4 blocks of `format` (DXT1 to DXT5) into
// rgba, width x height x 4 bytes, rows in order. DXT2 and DXT4 decode as DXT3 and DXT5 do (their colours
// stay premultiplied, as a sampler returns them). False for any other format.
bool DecodeBlocks(D3DFORMAT format, const unsigned char* blocks, unsigned width, unsigned height,
                  unsigned char* rgba);

} // namespace D3D9
