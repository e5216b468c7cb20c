// Writes the sample terrain into the data tree: make_terrain <data directory>. The height map and the two
// slice masks go beside the textures (the terrain reads them along the image path), the 64 slice textures
// into Data/Terrain1 as DXT1 DDS files with full mip chains.
#include "tools/terrain/TerrainShape.h"
#include "tools/textures/TextureFiles.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

Tools::Picture Grey(const std::vector<uint8_t>& bytes, int side) {
    Tools::Picture p;
    p.width = p.height = side;
    p.rgba.resize(bytes.size() * 4);
    for (size_t k = 0; k < bytes.size(); ++k) {
        p.rgba[k * 4] = p.rgba[k * 4 + 1] = p.rgba[k * 4 + 2] = bytes[k];
        p.rgba[k * 4 + 3] = 255;
    }
    return p;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_terrain <data directory>\n");
        return 2;
    }
    namespace T = Tools::Terrain;
    const std::filesystem::path root = std::filesystem::path(argv[1]) / "Data";
    const std::filesystem::path textures = root / "Textures", slices = root / "Terrain1";
    std::filesystem::create_directories(textures);
    std::filesystem::create_directories(slices);

    const T::Grid grid = T::MakeGrid();
    std::atomic<bool> ok = true;
    const auto check = [&](bool written, const std::filesystem::path& name) {
        if (!written) {
            std::fprintf(stderr, "make_terrain: cannot write %s\n", name.c_str());
            ok = false;
        }
    };
    check(Tools::WritePng((textures / "Terrain1Height.png").string(),
                          Grey(T::HeightMapImage(grid), T::GridSide)),
          textures / "Terrain1Height.png");
    check(Tools::WritePng((textures / "Terrain1Land.png").string(), Grey(T::LandMask(grid), T::Slices)),
          textures / "Terrain1Land.png");
    check(Tools::WritePng((textures / "Terrain1Water.png").string(), Grey(T::WaterMask(grid), T::Slices)),
          textures / "Terrain1Water.png");

    // Two workers share the slices: the machine builds other things beside us.
    std::atomic<int> next = 0;
    const auto work = [&] {
        for (int k; (k = next++) < T::Slices * T::Slices;) {
            const int i = k % T::Slices, j = k / T::Slices;
            std::vector<Tools::Picture> levels{T::SliceTexture(grid, i, j)};
            while (levels.back().width > 1)
                levels.push_back(Tools::Halve(levels.back()));
            // Named by the indices (nx - i - 1, nz - j - 1) as "MainTextureNameFormat" S_%02d_%02d.dds.
            char name[32];
            std::snprintf(name, sizeof name, "S_%02d_%02d.dds", T::Slices - i - 1, T::Slices - j - 1);
            check(Tools::WriteDds((slices / name).string(), levels, true), slices / name);
        }
    };
    std::thread helper(work);
    work();
    helper.join();
    return ok ? 0 : 1;
}
