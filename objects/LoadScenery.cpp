#include "objects/LoadScenery.h"

#include "objects/AutoGen.h"
#include "objects/Clouds.h"
#include "objects/Sky.h"
#include "objects/Structure.h"
#include "objects/Terrain.h"

#include "base/ClumpCache.h"
#include "platform/win32/Files.h"
#include "base/String.h"
#include "base/TextTable.h"
#include "rwsdk/src/plcore/matrix.h"
#include "scene/World.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace Obj {

namespace {

// Something other than a file or a folder at the path (a fifo, a device): the file layer has refused it
// with a message of its own.
bool ToldByTheFileLayer(const Base::String& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(Win32::NativePath(path), error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
           !std::filesystem::is_directory(status);
}

// A file that cannot be read or does not parse leaves the tree empty: the scenery is built without what it
// holds, so the player is told which file, and where it broke; a list that may be left out (optional) is
// only told when it is damaged. read: whether the file was read whole (what follows from a file that was
// not is not told again).
Base::Info ReadTree(const Base::String& path, bool optional = false, bool* read = nullptr) {
    Base::Info tree;
    const int result = tree.LoadFile(path);
    if (read)
        *read = result == 0;
    if (result < 0 && !optional && !ToldByTheFileLayer(path))
        std::fprintf(stderr, "Cannot read the scenery file '%s'.\n", Base::Clip(path).c_str());
    else if (result > 0)
        std::fprintf(stderr, "Error in the scenery file '%s' at line %d.\n", Base::Clip(path).c_str(),
                     result);
    return tree;
}

// A file that was read but describes no usable object: the object's reason (which key) goes with its name.
// An unread file has been told already.
void ReportUnusable(const Base::String& path, bool read, const Base::String& why) {
    if (read)
        std::fprintf(stderr, "The scenery file '%s' is not usable: %s.\n", Base::Clip(path).c_str(),
                     Base::Clip(why).c_str());
}

// One airbase from its "Bases.info" child, or null when it cannot stand on the terrain. A base whose model
// does not load is not tried: the caller says that once for all of them.
std::unique_ptr<Airbase> CreateAirbase(const Base::String& key, const Base::Info& node, Terrain* terrain,
                                       const Base::Info& model, bool& modelFails) {
    Base::Vector2 position;
    if (!node.TryGetPoint("Pos", position)) {
        std::fprintf(stderr, "Bases.info: base \"%s\" has no Pos and is left out\n", Base::Clip(key).c_str());
        return nullptr;
    }
    const Terrain::Segment probe{{position.x, 10000, position.y}, {position.x, -10000, position.y}};
    Base::Vector3 ground;
    if (!terrain->IntersectSegment(probe, &ground, nullptr)) {
        std::fprintf(stderr, "Bases.info: no ground under base \"%s\"; it is left out\n",
                     Base::Clip(key).c_str());
        return nullptr;
    }
    auto airbase = std::make_unique<Airbase>();
    if (!airbase->Load(&model)) {
        modelFails = true;
        return nullptr;
    }
    RwMatrix place{};
    place.right = {1, 0, 0};
    place.up = {0, 1, 0};
    place.at = {0, 0, 1};
    place.pos = {ground.x, ground.y, ground.z};
    RwMatrixUpdate(&place);
    airbase->Transform(&place, rwCOMBINEPOSTCONCAT);
    airbase->name = node.GetStringDefault("Name", "");
    return airbase;
}

// The settings' value written over the description's, in the descriptions' own style of number.
void WriteValue(Base::Info& tree, const char* key, float value) {
    if (Base::Info* node = tree.GetChildForWrite(key))
        node->SetValue(SceneryValueText(value));
    else
        tree.AddValue(key, SceneryValueText(value));
}

} // namespace

Base::String SceneryValueText(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(value));
    return text;
}

float SceneryViewRange(float visibility) {
    return visibility * 70000.0f + 30000.0f;
}

float ClampSceneryDensity(float density) {
    if (density <= 0)
        return 0;
    if (density >= 1)
        return 1;
    return density;
}

void LoadScenery(const Base::Config& settings, Grp::World& world, int number) {
    const float viewRange = SceneryViewRange(settings.visibility);
    const Base::String directory = Base::GetText("DataDir");
    const std::string n = std::to_string(number);
    const auto path = [&](const char* name) { return Base::MakePath(directory, name + n, "info"); };

    bool read = false;
    Base::Info skyTree = ReadTree(path("Sky"), false, &read);
    WriteValue(skyTree, "VisibilityRange", viewRange);
    auto sky = std::make_unique<Sky>();
    if (!sky->Load(skyTree))
        ReportUnusable(path("Sky"), read, sky->Error());
    world.AddObject(sky.release());

    Base::Info cloudsTree = ReadTree(path("Clouds"), false, &read);
    WriteValue(cloudsTree, "VisibilityRange", viewRange);
    WriteValue(cloudsTree, "Density", settings.cloudsDensity);
    auto clouds = std::make_unique<Clouds>();
    if (!clouds->Load(cloudsTree))
        ReportUnusable(path("Clouds"), read, clouds->Error());
    world.AddObject(clouds.release());

    Base::Info terrainTree = ReadTree(path("Terrain"), false, &read);
    WriteValue(terrainTree, "VisibilityRange", viewRange);
    auto terrain = std::make_unique<Terrain>();
    if (!terrain->Load(terrainTree))
        ReportUnusable(path("Terrain"), read, terrain->Error());
    Terrain* ground = terrain.get();
    world.AddObject(terrain.release());

    Base::Info autogenTree = ReadTree(path("Autogen"), false, &read);
    WriteValue(autogenTree, "GlobalDensityFactor", ClampSceneryDensity(settings.autogenDensity));
    auto autogen = std::make_unique<AutoGen>();
    if (!autogen->Load(autogenTree))
        ReportUnusable(path("Autogen"), read, autogen->Error());
    else if (read)
        for (const Base::String& fault : autogen->SetFaults())
            std::fprintf(stderr, "The scenery file '%s': %s; it is left out.\n",
                         Base::Clip(path("Autogen")).c_str(), Base::Clip(fault).c_str());
    world.AddObject(autogen.release());

    const Base::Info bases =
        ReadTree(Base::MakePath(directory, "Bases.info"), true); // a scenery may have none
    // Without ground there is nothing to stand on: the terrain's own fault has been told.
    if (bases.GetChildren().empty() || !ground->IsLoaded())
        return;
    // One model for every base, read once: a fault in it is told once, not once per base.
    const Base::String modelPath = Base::MakePath(Base::ClumpCache::Directory, "Base.model");
    Base::Info model;
    const int modelResult = model.LoadFile(modelPath);
    if (modelResult > 0)
        std::fprintf(stderr, "Error in the model description '%s' at line %d.\n",
                     Base::Clip(modelPath).c_str(), modelResult);
    bool modelFails = false;
    for (const auto& [key, node] : bases.GetChildren()) {
        if (std::unique_ptr<Airbase> airbase = CreateAirbase(key, *node, ground, model, modelFails)) {
            world.AddObject(airbase.release());
        } else if (modelFails) {
            // What the damaged part of the file left out has been told with its line.
            if (modelResult <= 0)
                std::fprintf(stderr, "The model description '%s' does not load: the airbases are left out.\n",
                             Base::Clip(modelPath).c_str());
            break;
        }
    }
}

} // namespace Obj
