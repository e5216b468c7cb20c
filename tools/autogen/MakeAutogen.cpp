// Writes the generated scenery's density maps into the data tree: make_autogen <data directory>. They go
// beside the textures (the scenery reads them along the image path).
#include "tools/autogen/AutogenMaps.h"
#include "tools/textures/TextureFiles.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_autogen <data directory>\n");
        return 2;
    }
    namespace A = Tools::Autogen;
    const std::filesystem::path textures = std::filesystem::path(argv[1]) / "Data" / "Textures";
    std::filesystem::create_directories(textures);
    const struct {
        A::Kind kind;
        const char* name;
    } maps[] = {{A::Kind::Conifers, "AutogenConifers.png"},
                {A::Kind::Broadleaf, "AutogenBroadleaf.png"},
                {A::Kind::Houses, "AutogenHouses.png"}};
    bool ok = true;
    for (const auto& map : maps) {
        const std::vector<uint8_t> values = A::Map(map.kind);
        Tools::Picture picture;
        picture.width = picture.height = A::MapSide;
        picture.rgba.resize(values.size() * 4);
        for (size_t k = 0; k < values.size(); ++k) {
            uint8_t* p = &picture.rgba[k * 4];
            p[0] = p[1] = p[2] = A::Grey(values[k]);
            p[3] = 255;
        }
        if (!Tools::WritePng((textures / map.name).string(), picture)) {
            std::fprintf(stderr, "make_autogen: cannot write %s\n", (textures / map.name).c_str());
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
