// Writes the world map's icons and water texture into the data tree: make_map_icons <data directory>.
#include "tools/mapicons/MapIcons.h"
#include "tools/textures/TextureFiles.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_map_icons <data directory>\n");
        return 2;
    }
    const std::filesystem::path textures = std::filesystem::path(argv[1]) / "Data" / "Textures";
    std::filesystem::create_directories(textures);
    bool ok = true;
    const auto write = [&](const std::string& name, const Tools::Picture& picture) {
        const std::string path = (textures / (name + ".png")).string();
        if (!Tools::WritePng(path, picture)) {
            std::fprintf(stderr, "make_map_icons: cannot write %s\n", path.c_str());
            ok = false;
        }
    };
    for (const std::string& name : Tools::MapIconNames())
        write(name, Tools::MapIcon(name));
    // The names the mission generator gives its bases, its start marker and the player in its missions.
    std::filesystem::create_directories(textures / "Map");
    const char* const aliases[][2] = {{"Airfield", "IconAirbase"},
                                      {"Carrier", "IconCarrier"},
                                      {"Plane", "IconFighter"},
                                      {"Map/Plane", "IconFighter"}};
    for (const auto& alias : aliases)
        write(alias[0], Tools::MapIcon(alias[1]));
    write("Water", Tools::MapWater());
    return ok ? 0 : 1;
}
