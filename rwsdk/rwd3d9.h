// The engine's public calls on Direct3D 9: the device, the state caches, render, sampler and stage states,
// rasters and their locks, DDS textures and the blend helpers. Code above the engine includes this, never
// the driver's own headers, so that the driver can change inside without reaching the game.
#pragma once

#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9camera.h"
#include "rwsdk/driver/d3d9/d3d9ddstex.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/driver/d3d9/d3d9rasterlock.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
