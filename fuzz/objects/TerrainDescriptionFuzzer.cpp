// The terrain description with its height map and masks: any text and pixels either load a terrain whose
// queries stay inside the height map, or fail with a message.
#include "objects/Terrain.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// An image of the given size whose pixels repeat the input bytes.
struct Pixels {
    std::vector<uint8_t> bytes;
    Obj::Terrain::ImageView view;
    Pixels(int32_t width, int32_t height, int32_t bytesPerPixel, const uint8_t* data, size_t size) {
        bytes.resize(size_t(width) * size_t(height) * size_t(bytesPerPixel));
        for (size_t k = 0; k < bytes.size(); ++k)
            bytes[k] = size ? data[k % size] : uint8_t(k);
        view = {width, height, bytesPerPixel, width * bytesPerPixel, bytes.data(), bytes.size()};
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Head: sizes of the three images (0 gives an image that cannot be read); then the description text up
    // to a zero byte; the rest feeds the pixels.
    if (size < 6)
        return 0;
    const int32_t mapWidth = data[0] * 3, mapHeight = data[1] * 3, maskWidth = data[2] % 32,
                  maskHeight = data[3] % 32;
    const int32_t bytesPerPixel = 1 + data[4] % 4;
    const float probe = float(data[5]);
    data += 6;
    size -= 6;
    size_t textLength = 0;
    while (textLength < size && data[textLength] != 0)
        ++textLength;
    const std::string text(reinterpret_cast<const char*>(data), textLength);
    const uint8_t* rest = data + std::min(size, textLength + 1);
    const size_t restSize = size - std::min(size, textLength + 1);

    Base::Info info;
    if (info.LoadText(text) != 0)
        return 0;
    Obj::Terrain terrain;
    if (!terrain.ReadParameters(info)) {
        if (terrain.Error().empty())
            __builtin_trap(); // a failure says why
        return 0;
    }
    Obj::Terrain::HeightMap map;
    Obj::Terrain::BitMask land, water;
    Pixels mapPixels(mapWidth, mapHeight, bytesPerPixel, rest, restSize);
    Pixels landPixels(maskWidth, maskHeight, 1, rest, restSize);
    Pixels waterPixels(maskWidth, maskHeight, 4, rest, restSize);
    Obj::Terrain::ReadHeightMap(mapPixels.view, map);
    Obj::Terrain::ReadBitMask(landPixels.view, land);
    Obj::Terrain::ReadBitMask(waterPixels.view, water);
    if (!terrain.LoadData(std::move(map), std::move(land), std::move(water))) {
        if (terrain.Error().empty() || terrain.IsLoaded())
            __builtin_trap();
        return 0;
    }

    // Every height of the grid's outline and a diagonal, the slices around a corner and a few probes.
    const int32_t w = terrain.GridWidth(), h = terrain.GridDepth();
    float sum = 0;
    for (int32_t k = -1; k <= std::max(w, h); ++k)
        sum += terrain.GetHeight(k, 0) + terrain.GetHeight(0, k) + terrain.GetHeight(w - 1, k) +
               terrain.GetHeight(k, h - 1) + terrain.GetHeight(k, k);
    const Obj::Terrain::Description& d = terrain.GetDescription();
    const Base::Vector2 corner{d.origin.x + probe, d.origin.y + probe};
    terrain.LoadNearSlices(corner, d.sliceSize);
    terrain.UnloadFarSlices({corner.x + d.sliceSize * 3, corner.y}, d.sliceSize);
    Base::Vector3 point, normal;
    terrain.IntersectSegment({{corner.x, 3000, corner.y}, {corner.x + probe * 40, -50, corner.y + probe}},
                             &point, &normal);
    std::vector<Obj::Terrain::Triangle> triangles;
    terrain.CollectTriangles({{corner.x, 10, corner.y}, probe * 2}, triangles);
    if (sum < 0 && triangles.size() > (1u << 30))
        std::puts("unreachable");
    return 0;
}
