// Writes the sample game's textures into the data tree: make_textures <data directory>.
#include "tools/textures/FireSmoke.h"
#include "tools/textures/Instruments.h"
#include "tools/textures/Patterns.h"
#include "tools/textures/TextureFiles.h"
#include "tools/textures/TrailSpurt.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace {

std::vector<Tools::Picture> Chain(Tools::Picture top) {
    std::vector<Tools::Picture> levels{std::move(top)};
    while (levels.back().width > 1 || levels.back().height > 1)
        levels.push_back(Tools::Halve(levels.back()));
    return levels;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_textures <data directory>\n");
        return 2;
    }
    const std::filesystem::path root = std::filesystem::path(argv[1]) / "Data";
    const std::string textures = (root / "Textures").string() + "/";
    const std::string textures2 = (root / "Textures2").string() + "/";
    std::filesystem::create_directories(textures);
    std::filesystem::create_directories(textures2);

    bool ok = true;
    const auto check = [&](bool written, const std::string& name) {
        if (!written) {
            std::fprintf(stderr, "make_textures: cannot write %s\n", name.c_str());
            ok = false;
        }
    };
    const Tools::Picture ground = Tools::Ground(256);
    check(Tools::WriteDds(textures + "sky.dds", Chain(Tools::Sky(256)), true), "sky.dds");
    check(Tools::WriteDds(textures + "ground.dds", Chain(ground), true), "ground.dds");
    // The same name as a bitmap too: the DDS file is the one read.
    check(Tools::WriteBmp(textures + "ground.bmp", Tools::Halve(ground)), "ground.bmp");
    // Not "cloud": names are looked up ignoring case, and the cloud layer's "Cloud" is another picture.
    check(Tools::WriteDds(textures + "puff.dds", Chain(Tools::Cloud(64)), false), "puff.dds");
    check(Tools::WritePng(textures + "camo.png", Tools::Camouflage(128)), "camo.png");
    check(Tools::WriteBmp(textures + "runway.bmp", Tools::Runway(128)), "runway.bmp");
    check(Tools::WriteTiff(textures2 + "metal.tif", Tools::Metal(128)), "metal.tif");
    // The generated scenery's two textures, which the tree and house models' coordinates index.
    check(Tools::WritePng(textures + "Autogen.png", Tools::SceneryAtlas(256)), "Autogen.png");
    check(Tools::WritePng(textures + "AutogenShadow.png", Tools::SoftShadow(64)), "AutogenShadow.png");
    check(Tools::WritePng(textures + "WaterTrail.png", Tools::WaterTrail(128)), "WaterTrail.png");
    // The interface: the button sheet and the mouse pointer.
    check(Tools::WritePng(textures + "Sun.png", Tools::SkySun(64)), "Sun.png");
    check(Tools::WritePng(textures + "Cloud.png", Tools::CloudQuarters(128)), "Cloud.png");
    check(Tools::WritePng(textures + "GuiButtons.png", Tools::GuiButtons()), "GuiButtons.png");
    check(Tools::WritePng(textures + "Cursor.png", Tools::GuiCursor()), "Cursor.png");
    // The effects' particles: the explosion's fire and smoke, and the smoke columns of burning objects.
    check(Tools::WritePng(textures + "ExplosionFire.png", Tools::ExplosionFire(64)), "ExplosionFire.png");
    check(Tools::WritePng(textures + "ExplosionSmoke.png", Tools::ExplosionSmoke(64)), "ExplosionSmoke.png");
    check(Tools::WritePng(textures + "Smoke.png", Tools::SmokePuff(64)), "Smoke.png");
    // The sea of the terrain: "WaterMain", the animation frames "WaterAnim\\Water0001" onwards (as many as
    // the sample terrain's WaterAnimFramesCount), the bump map uncompressed (its bytes are converted to
    // signed slopes, which a DXT file would mangle) and the environment the shader path reflects.
    check(Tools::WriteDds(textures + "WaterMain.dds", Chain(Tools::WaterMain(256)), true), "WaterMain.dds");
    std::filesystem::create_directories(textures + "WaterAnim");
    constexpr int WaterFrames = 8;
    for (int k = 1; k <= WaterFrames; ++k) {
        char name[64];
        std::snprintf(name, sizeof name, "WaterAnim/Water%04d.dds", k);
        check(Tools::WriteDds(textures + name, Chain(Tools::WaterFrame(128, k - 1, WaterFrames)), true),
              name);
    }
    check(Tools::WritePng(textures + "WaterBump.png", Tools::WaterBump(128)), "WaterBump.png");
    check(Tools::WritePng(textures + "WaterEnv.png", Tools::WaterEnvironment(128)), "WaterEnv.png");
    // The terrain's grain, repeated five times across each slice (and a ship deck's second pass).
    check(Tools::WriteDds(textures + "Detail.dds", Chain(Tools::Detail(256)), true), "Detail.dds");
    // The lens flare's sprites.
    for (int k = 1; k <= 4; ++k) {
        const std::string name = "Lensflare" + std::to_string(k) + ".png";
        check(Tools::WritePng(textures + name, Tools::LensFlare(64, k)), name);
    }
    // The trails, spurts and exhaust.
    check(Tools::WritePng(textures + "SmokeTrail.png", Tools::SmokeTrail(64)), "SmokeTrail.png");
    check(Tools::WritePng(textures + "SpurtLand.png", Tools::SpurtLand(64)), "SpurtLand.png");
    check(Tools::WritePng(textures + "SpurtWater.png", Tools::SpurtWater(64)), "SpurtWater.png");
    check(Tools::WritePng(textures + "Exhaust.png", Tools::Exhaust(32)), "Exhaust.png");
    // The weapons' sprites: tracer streaks and the two decoys.
    check(Tools::WritePng(textures + "Bullet.png", Tools::Bullet(32)), "Bullet.png");
    // The cockpit's instruments, printed and lit.
    check(Tools::WritePng(textures + "IndElements.png", Tools::InstrumentAtlas(false)), "IndElements.png");
    check(Tools::WritePng(textures + "IndLight.png", Tools::InstrumentAtlas(true)), "IndLight.png");
    check(Tools::WritePng(textures + "Flare.png", Tools::Flare(32)), "Flare.png");
    check(Tools::WritePng(textures + "Chaff.png", Tools::Chaff(32)), "Chaff.png");
    return ok ? 0 : 1;
}
