// The sky and cloud descriptions: any text either loads a sky and a cloud layer whose colours, stars,
// activation, frames and segment tests stay finite, or fails with a message naming the key.
#include "objects/Clouds.h"
#include "objects/Sky.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const float probe = float(data[0]) * 100;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    Base::Info info;
    if (info.LoadText(text) != 0)
        return 0;

    Obj::Sky sky;
    if (sky.Load(info)) {
        if (!sky.UpdateColors(probe) || sky.Vertices().empty())
            __builtin_trap(); // the first colouring always runs
        for (uint16_t i : sky.Indices())
            if (i >= sky.VertexCount())
                __builtin_trap();
        sky.FogColor({0, 0, 1}, probe * 1000);
        sky.StarAlpha(probe);
    } else if (sky.Error().empty()) {
        __builtin_trap(); // a failure says why
    }

    Obj::Clouds clouds;
    if (clouds.Load(info, 1)) {
        const Obj::Clouds::View view{{probe, probe, -probe}, {1, 0, 0}, {0, -1, 0}};
        clouds.UpdateActive(view.position);
        const size_t n = clouds.PrepareFrame(view).size();
        std::vector<Obj::Clouds::Vertex> vertices(n * 6);
        clouds.FillVertices(view, vertices.data());
        for (const auto& v : vertices)
            if (!std::isfinite(v.x) || !std::isfinite(v.nx))
                __builtin_trap();
        clouds.IsSegmentInCloud({{0, 0, 0}, {probe, probe, probe}});
    } else if (clouds.Error().empty()) {
        __builtin_trap();
    }
    return 0;
}
