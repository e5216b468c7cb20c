// Instancing of atomics and world sectors into Direct3D 9 buffers.
#pragma once

#include "rwsdk/src/plcore/types.h"

// Writes the strip's triangles as a list, without degenerate ones; odd triangles are reversed so that all
// keep the strip's winding. Each index has bias subtracted. Returns the number of indices written.
RwUInt32 RpD3D9ConvertTriStripToTriList(RwUInt16* out, const RwUInt16* strip, RwUInt32 count, RwUInt16 bias);
