// The sample terrain made in memory by its generator, without its image files: the ground of the
// benchmarks that query or drive over it.
#pragma once

#include "objects/Terrain.h"
#include "tools/terrain/TerrainShape.h"

#include "base/Info.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace BenchSupport {

// The terrain with the description's parameters and the generator's height map, land and water masks.
inline void LoadSampleTerrain(Obj::Terrain& terrain, const Base::Info& description) {
    namespace T = Tools::Terrain;
    terrain.ReadParameters(description);
    const T::Grid grid = T::MakeGrid();
    const auto view = [](const std::vector<uint8_t>& bytes, int side) {
        return Obj::Terrain::ImageView{side, side, 1, side, bytes.data(), bytes.size()};
    };
    const std::vector<uint8_t> map = T::HeightMapImage(grid), land = T::LandMask(grid),
                               water = T::WaterMask(grid);
    Obj::Terrain::HeightMap heights;
    Obj::Terrain::BitMask landMask, waterMask;
    Obj::Terrain::ReadHeightMap(view(map, T::GridSide), heights);
    Obj::Terrain::ReadBitMask(view(land, T::Slices), landMask);
    Obj::Terrain::ReadBitMask(view(water, T::Slices), waterMask);
    terrain.LoadData(std::move(heights), std::move(landMask), std::move(waterMask));
}

} // namespace BenchSupport
