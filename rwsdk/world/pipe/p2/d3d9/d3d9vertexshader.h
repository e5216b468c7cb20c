// The world pipelines' vertex-shader module: its cache of shaders and what a device of vertex shaders 1.x
// cannot take as vertex data.
#pragma once

#include "rwsdk/src/plcore/types.h"

// Empties the cache; on a device whose vertex shaders are 1.x, clears the normalised declaration types
// (UBYTE4N, SHORT2N, SHORT4N, USHORT2N, USHORT4N) from the driver's copy of the device caps, so that no
// vertex data is packed in a type those shaders cannot read.
RwBool RpD3D9VertexShadersOpen();
// Deletes every cached shader and empties the cache.
void RpD3D9VertexShadersClose();
