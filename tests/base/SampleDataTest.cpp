#include "base/Info.h"

#include <gtest/gtest.h>

#include <sstream>

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
