// Texture reading: a texture name becomes a texture, either one already loaded or one built from image files
// found along the image search path, with all its mip levels.
#pragma once

#include "rwsdk/src/texture.h"

// The find routine first, then the read routine; a texture read while a dictionary is current goes into it.
RwTexture* RwTextureRead(const RwChar* name, const RwChar* maskName);
// The current dictionary, or without one every dictionary in order; names compared with ASCII case folded.
RwTexture* RwTextureDefaultFind(const RwChar* name);
// Builds a texture from image files: level 0, and with mipmapping but no automatic mipmapping one file per
// level named by the mip-level name routine.
RwTexture* RwTextureDefaultRead(const RwChar* name, const RwChar* maskName);
// Reads the named image (with its mask) for a raster of the given flags. A width or height of 0 asks for the
// raster's size, depth and format; otherwise the image is resampled to the given size.
RwImage* RwTextureReadImageForRaster(const RwChar* name, const RwChar* maskName, RwInt32 rasterFlags,
                                     RwInt32* width, RwInt32* height, RwInt32* depth, RwInt32* format);
// Appends "m" and the level as a hexadecimal digit for levels 1 to 15.
RwBool RwTextureMipLevelName(RwChar* name, RwChar* maskName, RwUInt8 mipLevel, RwInt32 format);
// Fills the lower mip levels of a raster by resampling level 0 (from the image, or read from the raster).
RwBool RwTextureGenerateMipLevels(RwRaster* raster, RwImage* image);
// Gives the images one shared palette of 2^bits entries (bits 4 or 8). Images that get new pixels are
// replaced in the array; the replaced ones are destroyed unless one is the image to keep.
RwBool RwImagesPalettise(RwUInt8* palette, RwImage* keep, RwImage** images, RwInt32 count, RwInt32 bits);
