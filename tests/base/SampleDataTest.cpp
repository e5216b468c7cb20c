#include "base/Info.h"
#include "base/TextTable.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

// The hand-written start-up files of the sample data parse and hold what start-up reads.
TEST(SampleData, StartupNamesAStringsFileWithEveryDirectory) {
    const std::string data = std::string(CORVANE_SOURCE_DIR) + "/data/";
    Base::Info startup;
    ASSERT_EQ(startup.LoadFile(data + "Startup.info"), 0);
    Base::String name;
    ASSERT_TRUE(startup.TryGetString("StringsInfoName", name));
    Base::Info strings;
    ASSERT_EQ(strings.LoadFile(data + name), 0) << name;
    EXPECT_EQ(strings.GetStringDefault("AppTitle", ""), "Corvane");
    for (const char* key : {"DataDir", "FontsDir", "ModelsDir", "AnimationsDir", "SoundsDir"})
        EXPECT_FALSE(strings.GetStringDefault(key, "").empty()) << key;
    // Texture directories are glued to names: each element ends with a backslash.
    Base::String textures = strings.GetStringDefault("TexturesDir", "");
    ASSERT_FALSE(textures.empty());
    std::stringstream parts(textures);
    for (std::string part; std::getline(parts, part, ';');) {
        ASSERT_FALSE(part.empty()) << textures;
        EXPECT_EQ(part.back(), '\\') << textures;
    }
    EXPECT_EQ(strings.GetStringDefault("KeyNames.34", ""), "G");
    EXPECT_EQ(strings.GetStringDefault("KeyNames.39", ""), ";");
    EXPECT_EQ(strings.GetStringDefault("KeyNames.210", ""), "Insert");
    EXPECT_FALSE(strings.GetStringDefault("Fe.Assignments.Unassigned", "").empty());
}

// Every key the flight and the games read from the strings file is there (the menus' own keys come with their
// pages), and each text used as a printf format asks for
// exactly the arguments the game passes with it ('i' a whole number, 'f' a double, 's' a string): a text
// asking for others would read arguments that were never passed.
TEST(SampleData, StringsFileHoldsEveryKeyWithTheArgumentsItIsFormattedWith) {
    Base::Info strings;
    ASSERT_EQ(strings.LoadFile(std::string(CORVANE_SOURCE_DIR) + "/data/Data/Strings.info"), 0);
    std::vector<std::pair<std::string, std::string>> keys = {
        {"DataDir", ""},
        {"Hud.Eject", ""},
        {"Hud.Gun", "i"},
        {"Hud.WheelBrakes", ""},
        {"Hud.Gears", ""},
        {"Hud.MSL", ""},
        {"Hud.AGL", ""},
        {"Hud.IncomingMissile", ""},
        {"Hud.Shoot", ""},
        {"Cockpit.RadarJammed", ""},
        {"Units.Kg", ""},
        {"Units.Km", ""},
        {"Units.Kmh", ""},
        {"Splr.TimeFlow1", ""},
        {"Splr.TimeFlow2", "f"},
        {"Splr.TimeFlow3", "f"},
        {"MPlr.JoinGame", "s"},
        {"MPlr.LeaveGame", "s"},
        {"MPlr.ConnectionLost", ""},
        {"MPlr.Positioning", ""},
        {"MPlr.PlayerSpawn", "s"},
        {"MPlr.PlayerSpawnT", "ss"},
        {"MPlr.ShotDownQ", "ss"},
        {"MPlr.ShotDownQT", "ssss"},
        {"Map.Player", ""},
        {"Map.StartingPosition", ""},
    };
    for (int n = 1; n <= 4; ++n) {
        const std::string i = std::to_string(n);
        keys.push_back({"MPlr.LocalShotDown" + i, "ss"});
        keys.push_back({"MPlr.LocalShotDown" + i + "T", "sss"});
        keys.push_back({"MPlr.ShotDown" + i, "sss"});
        keys.push_back({"MPlr.ShotDown" + i + "T", "sssss"});
        if (n <= 2) {
            keys.push_back({"MPlr.PlayerCrashes" + i, "s"});
            keys.push_back({"MPlr.PlayerCrashes" + i + "T", "ss"});
        }
    }
    for (const char* row : {"Unassigned", "Shift", "Control", "Alt", "JoyButton"})
        keys.push_back({std::string("Fe.Assignments.") + row, ""});
    for (const auto& [key, arguments] : keys) {
        const Base::String text = strings.GetStringDefault(key, "");
        EXPECT_FALSE(text.empty()) << key;
        EXPECT_EQ(Base::FormatArguments(text), arguments) << key << ": " << text;
    }
}
