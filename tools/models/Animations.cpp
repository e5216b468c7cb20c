#include "tools/models/Animations.h"

#include "tools/models/ModelWriter.h"

#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/tool/anim/rtanim.h"

#include <algorithm>
#include <tuple>

namespace Tools {
namespace {

constexpr float gearRetraction = 3.0f; // seconds
constexpr float doorOpening = 1.5f;

bool Below(const Model& model, int frame, int ancestor) {
    for (; frame >= 0; frame = model.frames[size_t(frame)].parent)
        if (frame == ancestor)
            return true;
    return false;
}

void SetKey(RpHAnimStdKeyFrame& key, RpHAnimStdKeyFrame* previous, float time, const glm::quat& q,
            glm::vec3 t) {
    key = {previous, time, {{q.x, q.y, q.z}, q.w}, {t.x, t.y, t.z}};
}

} // namespace

std::vector<uint8_t> PartAnimationBytes(const Model& model, const std::string& part, float duration,
                                        const std::function<glm::quat(const ModelFrame&)>& endTurn) {
    const int root = model.FindFrame(part);
    if (root < 0)
        return {};
    const std::vector<int> order = HierarchyOrder(model);
    std::vector<int> nodes;
    for (int f : order)
        if (Below(model, f, root))
            nodes.push_back(f);
    const RwInt32 n = RwInt32(nodes.size());
    RtAnimAnimation* animation = RtAnimAnimationCreate(rpHANIMSTDKEYFRAMETYPEID, 2 * n, 0, duration);
    if (!animation)
        return {};
    auto* keys = static_cast<RpHAnimStdKeyFrame*>(animation->pFrames);
    for (RwInt32 i = 0; i < n; ++i) {
        const ModelFrame& f = model.frames[size_t(nodes[size_t(i)])];
        // The frame's modelling matrix as the rotation whose columns are its axes.
        const glm::quat rest = glm::normalize(glm::quat_cast(glm::mat3(f.right, f.up, f.at)));
        SetKey(keys[i], nullptr, 0.0f, rest, f.position);
        SetKey(keys[n + i], &keys[i], duration, glm::normalize(rest * endTurn(f)), f.position);
    }
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    const bool written = stream && RtAnimAnimationStreamWrite(animation, stream);
    RwMemory memory = {nullptr, 0};
    if (stream)
        RwStreamClose(stream, &memory);
    RtAnimAnimationDestroy(animation);
    std::vector<uint8_t> bytes;
    if (written)
        bytes.assign(memory.start, memory.start + memory.length);
    RwFree(memory.start);
    return bytes;
}

std::vector<AnimationFile> AircraftAnimations(const Model& model, const std::string& title) {
    const float quarter = glm::radians(90.0f);
    // The attacker's main legs fold forwards into the engine nacelles above them; the fighter's fold
    // inwards into the fuselage, pivoted high enough that the wheels lie inside it.
    const bool nacelles = !model.frames.empty() && model.frames.front().name == "Attacker";
    auto gears = [quarter, nacelles](const ModelFrame& f) {
        // The nose leg swings back and up into the fuselage, pivoted high enough that the wheel goes
        // inside it (forwards it would come to rest under the thin nose, in sight).
        if (f.name == "GearC")
            return glm::angleAxis(quarter, glm::vec3(1, 0, 0));
        if (nacelles && (f.name == "GearL" || f.name == "GearR"))
            return glm::angleAxis(-quarter, glm::vec3(1, 0, 0));
        if (f.name == "GearL" || f.name == "GearR") // inwards: towards x = 0 from either side
            return glm::angleAxis(f.position.x > 0 ? -quarter : quarter, glm::vec3(0, 0, 1));
        return glm::quat(1, 0, 0, 0);
    };
    auto door = [quarter](const ModelFrame& f) {
        if (f.name == "WeaponDoor")
            return glm::quat(1, 0, 0, 0);
        // A panel lies along its frame's at axis on the side away from its hinge; it turns down about the
        // hinge line (the frame's right axis).
        return glm::angleAxis(f.position.x > 0 ? quarter : -quarter, glm::vec3(1, 0, 0));
    };
    std::vector<AnimationFile> files;
    for (const auto& [part, duration, turn] :
         {std::tuple<std::string, float, std::function<glm::quat(const ModelFrame&)>>{"Gears", gearRetraction,
                                                                                      gears},
          {"WeaponDoor", doorOpening, door}}) {
        std::vector<uint8_t> bytes = PartAnimationBytes(model, part, duration, turn);
        if (!bytes.empty())
            files.push_back({title + "_" + part + ".anm", std::move(bytes)});
    }
    return files;
}

} // namespace Tools
