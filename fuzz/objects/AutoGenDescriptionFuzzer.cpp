// The generated scenery's description with a density map: any text and pixels either give sectors whose
// vertices fit 16-bit indices and whose indices stay inside their vertices, or nothing at all.
#include "objects/AutoGen.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Head: the map's size, the camera's place; then the description text up to a zero byte; the rest
    // feeds the map's pixels.
    if (size < 5)
        return 0;
    const uint32_t mapWidth = 1 + data[0] % 16, mapHeight = 1 + data[1] % 16;
    const float cx = (float(data[2]) - 128) * 100, cz = (float(data[3]) - 128) * 100,
                cy = float(data[4]) * 10;
    data += 5;
    size -= 5;
    size_t textLength = 0;
    while (textLength < size && data[textLength] != 0)
        ++textLength;
    Base::Info parsed;
    if (parsed.LoadText(std::string(reinterpret_cast<const char*>(data), textLength)) != 0)
        return 0;
    // Textures, models and maps are files of the engine, which does not run here: the set comes below.
    Base::Info info;
    for (const auto& [name, node] : parsed.GetChildren())
        if (name != "TextureFilename" && name != "TextureFilenameShadow" && name != "ObjectSets")
            info.AddChild(name, *node);

    Obj::AutoGen autogen;
    autogen.Load(info);
    std::vector<uint8_t> values(size_t(mapWidth) * mapHeight);
    const uint8_t* pixels = data + textLength;
    const size_t available = size - textLength;
    for (size_t k = 0; k < values.size(); ++k)
        values[k] = available ? pixels[k % available] : uint8_t(k);
    Obj::AutoGen::ObjectSet set;
    set.mapIndex =
        autogen.AddDensityMap(std::make_unique<Obj::AutoGen::DensityMap>(mapWidth, mapHeight, values));
    set.left = autogen.cornerX;
    set.top = autogen.cornerZ;
    set.right = autogen.cornerX + float(autogen.sectorsX) * autogen.sectorSize;
    set.bottom = autogen.cornerZ + float(autogen.sectorsZ) * autogen.sectorSize;
    set.density = values[0] / 64.0f;
    set.displacement = values[values.size() - 1] / 128.0f;
    set.lodForShadow = values[0] & 1;
    auto object = std::make_unique<Obj::AutoGen::Mesh>();
    object->vertices.resize(3 + values[0] % 200);
    for (uint16_t k = 0; k + 2 < object->vertices.size(); ++k)
        object->indices.insert(object->indices.end(), {k, uint16_t(k + 1), uint16_t(k + 2)});
    auto shadow = std::make_unique<Obj::AutoGen::Mesh>(*object);
    set.variants.emplace_back(std::move(object), std::move(shadow));
    autogen.AddObjectSet(std::move(set));
    autogen.SetGroundProbe([](float x, float z) -> std::optional<Obj::AutoGen::Ground> {
        if (std::fabs(x) > 1e6f)
            return std::nullopt;
        return Obj::AutoGen::Ground{0.01f * x - 0.02f * z, {-0.01f, 1, 0.02f}};
    });

    // Keep the run short: a hostile file may ask for many sectors of many candidates in one frame.
    const double work =
        double(autogen.windowSize) * autogen.windowSize * autogen.objectsSpan * autogen.objectsSpan;
    if (work < 2e6)
        autogen.UpdateSectors({cx, cy, cz}, 0);
    else
        autogen.sectors.push_back(autogen.BuildSector(0, 0));
    for (const auto& sector : autogen.sectors) {
        if (sector->totalVertices > Obj::AutoGen::MaxSectorVertices)
            __builtin_trap();
        if (sector->objectEnd.size() != sector->shadowEnd.size())
            __builtin_trap();
        const Obj::AutoGen::LodCounts lod = autogen.LodAt(*sector, std::fabs(cx));
        if (lod.objectIndices > sector->objectIndices ||
            lod.shadowIndices > sector->totalIndices - sector->objectIndices)
            __builtin_trap();
    }
    for (uint16_t index : autogen.LastIndices())
        if (index >= autogen.LastVertices().size())
            __builtin_trap();
    return 0;
}
