// DDS files as textures: loaded straight into a Direct3D texture with their stored mip levels when the
// device takes the file's format and size, else decoded in software and converted.
#pragma once

#include "rwsdk/src/texture.h"

struct RwStream;

// Looks for name + ".dds" along the image path (or as given for an absolute name); the mask is not used.
RwTexture* RwD3D9DDSTextureRead(const RwChar* name, const RwChar* maskName);
// Reads a whole DDS file from the stream into a texture raster.
RwRaster* RwD3D9DDSRasterRead(RwStream* stream);
