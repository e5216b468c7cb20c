// Block-compressed pixels (DXT1 to DXT5) decoded to R, G, B, A bytes: the software rasteriser decodes a
// compressed texel again at every fetch, several times per pixel, so on it the layer stores these textures
// decoded. The engine's image reader decodes DDS files with the same code.
#pragma once

#include <d3d9.h>

#include <cstddef>

namespace D3D9 {

// How the 5- and 6-bit channels of a 565 end colour widen to bytes: the sampler repeats the high bits in the
// low ones (31 becomes 255); the image reader only shifts them (31 becomes 248).
enum class Widen565 { Replicate, Shift };

// Decodes a level of `width` x `height` pixels stored as 4 x 4 blocks of `format` (DXT1 to DXT5) into
// rgba, width x height x 4 bytes, rows in order. DXT2 and DXT4 decode as DXT3 and DXT5 do (their colours
// stay premultiplied, as a sampler returns them). False for any other format.
bool DecodeBlocks(D3DFORMAT format, const unsigned char* blocks, unsigned width, unsigned height,
                  unsigned char* rgba, Widen565 widen = Widen565::Replicate);

// The eight alphas of a DXT4/DXT5 alpha block with end alphas `alpha0` and `alpha1`.
void InterpolatedAlphas(unsigned char alpha0, unsigned char alpha1, unsigned char table[8]);

} // namespace D3D9
