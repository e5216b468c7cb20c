// Any text as a model description, with the typed readers on every key: a load succeeds or fails with a clear
// result, never reads out of bounds, and the model leaves no engine object behind when it is deleted. Two
// small models exist to be named: Truck.dff (atomics Gun, Wheel, Body) and TruckLod.dff (Wheel).
#include "fuzz/support/ModelFile.h"
#include "fuzz/support/SceneFuzz.h"
#include "scene/Dff.h"
#include "scene/Wrappers.h"

#include "base/ClumpCache.h"
#include "base/Info.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view NoDirectory = "\\corvane-fuzz-no-such-directory";

bool Start() {
    if (!FuzzSupport::StartSceneEngine())
        return false;
    const std::string& dir = FuzzSupport::ScratchDirectory();
    FuzzSupport::WriteModel(dir + "Truck.dff", {{"Gun", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}},
                                                {"Wheel", {{0, 1, 0}, {1, 1, 0}, {0, 2, 0}}},
                                                {"Body", {{0, 2, 0}, {1, 2, 0}, {0, 3, 0}}}});
    FuzzSupport::WriteModel(dir + "TruckLod.dff", {{"wheel", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}});
    return true;
}

void ReadEveryKey(const Base::Info& node, int depth) {
    if (depth > 4)
        return;
    for (const auto& [name, child] : node.GetChildren()) {
        float f;
        uint32_t u;
        int32_t i, j;
        Base::Vector3 v;
        Base::Color c;
        (void)node.TryGetFloat(name, f);
        (void)node.TryGetUInt(name, u);
        (void)node.TryGetInt(name, i);
        (void)node.TryGetInt2(name, i, j);
        (void)node.TryGetVector3(name, v);
        (void)node.TryGetColor(name, c);
        uint32_t value;
        (void)Obj::Dff::ReadStateValue(&node, name.c_str(), &value);
        ReadEveryKey(*child, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = Start();
    if (!started)
        std::abort();
    Base::Info root;
    if (root.LoadText(std::string_view(reinterpret_cast<const char*>(data), size), NoDirectory) != 0)
        return 0;
    ReadEveryKey(root, 0);
    auto* model = new Obj::Dff;
    const bool loaded = model->Load(&root);
    if (loaded) {
        for (const Obj::DffRenderOrder& order : model->renderOrders)
            for (const Obj::DffLod& lod : order.lods)
                for (const Obj::DffCommand& command : lod.commands)
                    if ((command.type == Obj::DffCommand::SetRenderState && command.a >= 210) ||
                        ((command.type == 1 || command.type == 2) && command.a >= 8) || command.type > 5)
                        std::abort();
    }
    delete model;
    // The cache's masters are the only clumps that may outlive the model.
    Base::ClumpCache::Clear();
    if (Rw::Clump::LiveCount() != 0 || Rw::Atomic::LiveCount() != 0)
        std::abort();
    return 0;
}
