// Models into engine clumps and clump streams, on the engine's own objects and writers. Needs a started
// engine with the world plugin and the user-data plugin attached.
#pragma once

#include "tools/models/Model.h"

#include <string>
#include <vector>

struct RpClump;

namespace Tools {

// The name array that the game reads a frame's (and its atomic's) name from.
constexpr const char* FrameNameArray = "1.blindName";

// The frames of the animation hierarchy in its node order: depth first, children in the model's order, so
// that every part's subtree is a run of nodes. A frame's node id is its index + 1.
std::vector<int> HierarchyOrder(const Model& model);
inline int NodeId(int frame) {
    return frame + 1;
}

// The model as an engine clump: one frame per model frame with its name as user data, one geometry per
// model geometry (one morph target with positions, normals and one texture set; triangle lists built
// into meshes), materials with their colours, surface properties and textures by name (wrapped, linear
// mip-mapped), one atomic per model atomic. Siblings keep their order and the atomics are visited in the
// model's order. Animated models carry node ids on every frame and a hierarchy on the root frame;
// models with collision trees one on every geometry. Null when the engine refuses an object.
RpClump* BuildClump(const Model& model);
// The clump chunk of the model, as the engine writes it; empty when building or writing fails.
std::vector<uint8_t> ClumpBytes(const Model& model);
// Starts the engine headless with the plugins the models and animations need, and stops it again.
bool StartModelEngine();
void StopModelEngine();

} // namespace Tools
