#include "frontend/MissionGenerator.h"

#include "base/InfoCache.h"
#include "base/Random.h"
#include "base/TextTable.h"
#include "platform/win32/Files.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

namespace Fe {

namespace {

constexpr float Pi = 3.1415927f;

// The number a list item's text starts with (after blanks, with a sign); 0 when it starts with none, and
// never below 0: every count here is a number of things.
int32_t Count(const Base::String& text) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || value < 0)
        return 0;
    return value > INT32_MAX ? INT32_MAX : int32_t(value);
}

Base::String Point(float x, float y) {
    return Base::Formatted("%.0f %.0f", x, y);
}

Base::Vector2 Around(Base::Vector2 centre, float angle, float distance) {
    return {centre.x + distance * std::sin(angle), centre.y + distance * std::cos(angle)};
}

Base::Info& Add(Base::Info& parent, const char* name, Base::String value) {
    Base::Info* node = parent.AddValue(name, std::move(value));
    if (!node) // a name given twice: the second one's keys land on the first
        node = parent.GetChildForWrite(name);
    return *node;
}

void AddFormation(Base::Info& spawn, const char* span) {
    Base::Info& formation = Add(spawn, "Formation", "");
    Add(formation, "Type", "LineAbreast");
    Add(formation, "ObjectsSpan", span);
}

// The top-level nodes of a data file, taken from its tree so that they belong to the node they join.
void MergeFile(const Base::String& path, Base::Info& into) {
    Base::Info tree;
    if (tree.LoadFile(path) != 0)
        return;
    for (auto& [name, node] : tree.ClearChildren(false))
        into.AddChild(name, node);
}

} // namespace

Base::String WingmanId(int32_t index, int32_t count) {
    return count == 1 ? Base::String("Friend") : Base::Formatted("Friend%i", index + 1);
}

Base::String WaveId(int32_t wave) {
    return Base::Formatted("Bandit%d_", wave);
}

Base::Info BuildMission(const GeneratorChoices& choices) {
    Base::Random::SeedFromTimeStamp();
    const Base::String dataDir = Base::GetText("DataDir");
    const float x0 = choices.start.x, y0 = choices.start.y;

    Base::Info root;
    Add(root, "Name", choices.name);
    Add(root, "Briefing", "");
    Add(root, "Objectives", "");
    Base::Info& map = Add(root, "Map", "");
    {
        Base::Info bases;
        if (bases.LoadFile(Base::MakePath(dataDir, "Bases.info")) == 0)
            map.AddChildren(bases.GetChildren(), true);
    }
    Base::Info& playerIcon = Add(map, "0Player", "");
    Add(playerIcon, "Name", Base::GetText("Map.Player"));
    Add(playerIcon, "Texture", "Map\\Plane.dds");
    Add(playerIcon, "DrawLine", "0");
    Add(playerIcon, "CanBeFocused", "1");
    Add(playerIcon, "Pos", Point(x0, y0));
    Add(root, "TimeOfDay", Base::Formatted("%i", choices.timeOfDay));
    if (!choices.inTheAir && !choices.airfield)
        Add(root, "CarrierBased", "1");

    Base::Info& events = Add(root, "Events", "");
    Base::Info& actions = Add(Add(events, "0Init", ""), "Actions", "");

    Base::Info& player = Add(actions, "0Player", "SpawnPlayer");
    if (choices.inTheAir) {
        Add(player, "SetupType", "AirGround");
        Add(player, "Pos", Point(x0, y0));
        Add(player, "Hdg", choices.heading);
        float altitude = 0;
        std::sscanf(choices.altitude.c_str(), "%f", &altitude);
        Add(player, "Alt", Base::Formatted("%f", altitude));
        Add(player, "Speed", "200");
    } else if (choices.airfield) {
        Add(player, "SetupType", "Airbase");
        Add(player, "RunwayName", "R0");
        Add(player, "AirbaseId", choices.baseId);
    } else {
        Add(player, "SetupType", "Carrier");
        Add(player, "CatapultName", "C1");
        Add(player, "CarrierId", choices.baseId);
    }

    // The draws come in a fixed order: the wingmen's place (and heading on a base), each wave's, the tanks'.
    {
        const float a = Base::Random::FloatInRange(0, 2 * Pi);
        const float r = Base::Random::FloatInRange(200, 500);
        const Base::Vector2 p = Around(choices.start, a, r);
        Base::Info& friends = Add(actions, "1Friendly", "SpawnAirplanes");
        Add(friends, "ObjectId", "Friend");
        Add(friends, "Count", choices.friendly);
        AddFormation(friends, "200");
        Add(friends, "Pos", Point(p.x, p.y));
        if (choices.inTheAir) {
            Add(friends, "Hdg", choices.heading);
            Add(friends, "Alt", choices.altitude);
        } else {
            Add(friends, "Hdg", Base::Formatted("%d", int(Base::Random::NextUInt32() % 360)));
            Add(friends, "Alt", "3000");
        }
        Add(friends, "Model", "Airplanes\\F16");
        Add(friends, "Ordnance", "AirToAir");
        Add(friends, "Allegiance", "Friendly");
        const int32_t wingmen = Count(choices.friendly);
        for (int32_t i = 0; i < wingmen; ++i) {
            Base::Info& link = Add(actions, Base::Formatted("2SetWingman%i", i).c_str(), "SetTarget");
            Add(link, "ObjectId", WingmanId(i, wingmen));
            Add(link, "WingLeader", "PlayerAirplane");
        }
    }

    const int32_t waves = Count(choices.waves);
    const bool enemies = waves > 0 && Count(choices.enemies) != 0;
    for (int32_t j = 0; j < waves; ++j) {
        const float a = Base::Random::FloatInRange(0, 2 * Pi);
        const float r = Base::Random::FloatInRange(20000, 40000) + 20000.0f * float(j);
        const Base::Vector2 p = Around(choices.start, a, r);
        const float heading = Base::HeadingDegrees2d({x0 - p.x, y0 - p.y});
        Base::Info& wave = Add(actions, Base::Formatted("%dEnemies", j + 2).c_str(), "SpawnAirplanes");
        Add(wave, "ObjectId", WaveId(j));
        Add(wave, "Count", choices.enemies);
        AddFormation(wave, "200");
        Add(wave, "Pos", Point(p.x, p.y));
        Add(wave, "Hdg", Base::Formatted("%.0f", heading));
        Add(wave, "Model", "Airplanes\\F16");
        Add(wave, "Ordnance", "AirToAir");
        Add(wave, "Alt", "3000");
        Add(wave, "Allegiance", "Enemy");
    }

    {
        const int32_t count = Count(choices.tanks);
        const float a = Base::Random::FloatInRange(-Pi, Pi);
        const float r = Base::Random::FloatInRange(10000, 15000);
        const Base::Vector2 p = Around(choices.start, a, r);
        const float heading = Base::Random::FloatInRange(0, 2 * Pi) * 180.0f / Pi;
        Base::Info& tanks = Add(actions, Base::Formatted("%dTanks", 1).c_str(), "SpawnCars");
        Add(tanks, "ObjectId", "Tank");
        Add(tanks, "Type", "Warcar");
        Add(tanks, "Count", Base::Formatted("%i", count));
        AddFormation(tanks, "100");
        Add(tanks, "Pos", Point(p.x, p.y));
        Add(tanks, "Dest", Point(p.x, p.y));
        Add(tanks, "Hdg", Base::Formatted("%.0f", heading));
        Add(tanks, "Model", "T-72.info");
        Add(tanks, "Allegiance", "Enemy");
        Add(tanks, "InitSpeed", "0");
        Add(tanks, "Gun", "1");
        Add(tanks, "Launcher", "0.2");
    }

    MergeFile(Base::MakePath(dataDir, "Scripts\\Missions\\CommonEvents"), events);
    MergeFile(Base::MakePath(dataDir, "Scripts\\Missions\\CommonDefines"), root);

    // Lost once the player's airplane is gone, whether its pilot went down with it or ejected.
    Base::Info& failure = Add(events, "Failure", "");
    Base::Info& exists = Add(Add(failure, "Condition", "And"), "C1", "Exists");
    Add(exists, "Negation", "1");
    Add(exists, "ObjectId", "PlayerAirplane");
    Add(Add(failure, "Actions", ""), "A1", "Fail");
    if (enemies) {
        Base::Info& success = Add(events, "Success", "");
        Base::Info& count = Add(Add(success, "Condition", "And"), "C1", "Count");
        Add(count, "ClassName", "class Obj::Airplane");
        Add(count, "Op", "Equal");
        Add(count, "Value", "0");
        Add(count, "Allegiance", "Enemy");
        Add(Add(success, "Actions", ""), "A1", "Succeed");
    }

    // The player's colour as a parse of "#Colors.Player" here would find it: the merged definitions, else
    // the strings file. Written as the colour itself, since the writer keeps a '#' value as plain text.
    Base::String colour;
    if (const Base::Info* defined = root.GetChild("Colors.Player"))
        colour = defined->GetValue();
    if (colour.empty())
        colour = Base::GetText("Colors.Player");
    Add(playerIcon, "Color", colour.empty() ? Base::String("1 1 1 1") : colour);
    return root;
}

bool WriteMission(const GeneratorChoices& choices, const Base::String& path) {
    const Base::Info mission = BuildMission(choices);
    std::error_code failed;
    std::filesystem::create_directories(Win32::NativePath(Base::GetDirectory(path)), failed);
    Win32::FlushPathCache();
    const bool written = mission.SaveFile(path);
    Base::InfoCache::Remove(path);
    if (!written)
        std::fprintf(stderr, "The mission '%s' cannot be written.\n", Base::Clip(path).c_str());
    return written;
}

bool ValidMissionName(std::string_view name) {
    if (name.empty() || name.size() > 63)
        return false;
    for (const char c : name) {
        const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                             c == ' ' || c == '_' || c == '-';
        if (!allowed)
            return false;
    }
    return true;
}

Base::String UserMissionsFolder() {
    return Base::GetText("DataDir") + "\\Scripts\\Missions\\User";
}

} // namespace Fe
