// The texture chunk: a texture stored by name, mask name and sampling settings; reading it loads the
// pixels by name through the texture read.
#pragma once

#include "rwsdk/src/texture.h"

struct RwStream;

// Bytes of the chunk's payload (the size in its header).
RwUInt32 RwTextureStreamGetSize(const RwTexture* texture);
RwTexture* RwTextureStreamWrite(const RwTexture* texture, RwStream* stream);
// The stream stands after the texture chunk's header.
RwTexture* RwTextureStreamRead(RwStream* stream);
