// A light as the terrain and autogen descriptions give it, in the Direct3D 9 light layout; the members a
// description does not set stay zero.
#pragma once

#include "base/Maths.h"

#include <cstdint>

namespace Obj {

struct LightRecord {
    uint32_t type = 3; // directional
    Base::Color diffuse{0, 0, 0, 0}, specular{0, 0, 0, 0}, ambient{0, 0, 0, 0};
    Base::Vector3 position, direction;
    float range = 0, falloff = 0, attenuation0 = 0, attenuation1 = 0, attenuation2 = 0, theta = 0, phi = 0;
};

} // namespace Obj
