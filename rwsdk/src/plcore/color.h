// The colour module: it keeps no data of its own, only its open count.
#pragma once

#include "rwsdk/src/plcore/types.h"

// A colour of 8-bit channels.
struct RwRGBA {
    RwUInt8 red;
    RwUInt8 green;
    RwUInt8 blue;
    RwUInt8 alpha;
};

// A colour of real channels, 0 to 1.
struct RwRGBAReal {
    RwReal red;
    RwReal green;
    RwReal blue;
    RwReal alpha;
};

// Lighting coefficients of a material (the world's materials and the driver's lighting share it).
struct RwSurfaceProperties {
    RwReal ambient;
    RwReal specular;
    RwReal diffuse;
};

RwInt32 _rwColorModuleAttach();
