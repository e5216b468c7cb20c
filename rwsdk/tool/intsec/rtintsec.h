// Intersection tests of lines and spheres with triangles.
#pragma once

#include "rwsdk/src/plcore/types.h"
#include "rwsdk/src/plcore/vector.h"

// A hit of the line from start to start + delta with the triangle's front face (counter-clockwise seen
// from the line's start), with a slack of 1e-5 at the edges and ends; distance is the fraction of the
// line (0 at the start, 1 at the end).
RwBool RtIntersectionLineTriangle(const RwV3d* lineStart, const RwV3d* lineDelta, const RwV3d* v0,
                                  const RwV3d* v1, const RwV3d* v2, RwReal* distance);
// A hit of the sphere with the triangle (either face); normal receives the triangle's normal (unit on a
// hit) and distance the centre's height above its plane.
RwBool RtIntersectionSphereTriangle(const RwSphere* sphere, const RwV3d* v0, const RwV3d* v1, const RwV3d* v2,
                                    RwV3d* normal, RwReal* distance);
