// The sample aircraft's part animations (*.anm), played on sub-hierarchies rooted at the part's frame.
#pragma once

#include "tools/models/Model.h"

#include <glm/gtc/quaternion.hpp>

#include <functional>
#include <string>
#include <vector>

namespace Tools {

struct AnimationFile {
    std::string name; // "<Title>_<Part>.anm", under the animations directory
    std::vector<uint8_t> bytes;
};

// An animation over the nodes of the part's subtree in hierarchy order, with two keyframes each: the
// frame's own pose at time 0 and, at the duration, that pose turned by endTurn (a rotation in the frame's
// own axes). Empty when the model has no such part or the engine refuses it.
std::vector<uint8_t> PartAnimationBytes(const Model& model, const std::string& part, float duration,
                                        const std::function<glm::quat(const ModelFrame&)>& endTurn);
// "Gears" (time 0 gear down, the end gear up: the nose leg folds forward, the main legs inwards) and
// "WeaponDoor" (time 0 closed, the end open: the panels swing down about their hinges).
std::vector<AnimationFile> AircraftAnimations(const Model& model, const std::string& title);

} // namespace Tools
