// Native texture records: a texture with its Direct3D 9 pixels, levels and palette, for texture-dictionary
// streams. Offered as the device's standard routines for native texture size, read and write.
#pragma once

#include "rwsdk/src/plcore/types.h"

constexpr RwUInt32 rwD3D9NATIVETEXTUREPLATFORM = 9;

// (size out: RwUInt32*, texture) -> the whole record's size.
RwBool RwD3D9NativeTextureGetSize(void* sizeOut, void* texture, RwInt32 unused);
// (stream, texture out: RwTexture**).
RwBool RwD3D9NativeTextureRead(void* stream, void* textureOut, RwInt32 unused);
// (stream, texture).
RwBool RwD3D9NativeTextureWrite(void* stream, void* texture, RwInt32 unused);
