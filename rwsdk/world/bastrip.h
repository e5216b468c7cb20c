// The strip generator and the joining rule of the default strip builder, open to tests.
#pragma once

#include "rwsdk/world/bamesh.h"

#include <vector>

using RpStrip = std::vector<RxVertexIndex>;

// Strips of one material group's triangles, newest strip first (as the builder keeps them).
std::vector<RpStrip> _rpStripGenerate(const RpBuildMeshTriangle* const* triangles, RwUInt32 count);
// Joins the strips in list order into one strip that keeps every triangle's winding.
RpStrip _rpStripJoin(const std::vector<RpStrip>& strips);
