// The generated mission as a file: its exact text for a known seed, where its random draws put things
// (against std::mt19937 seeded as the program's generator is), the order its actions run in, its success and
// failure events, and the ids that link wingmen to the player and keep waves apart. The data folder is a
// fixture of its own (tests/frontend/fixtures/generator), so the file does not follow the sample data.
#include "frontend/MissionGenerator.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPaths.h"

#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/RandomTimeStamp.h"
#include "base/TextTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr uint32_t Seed = 20261210;

// A seed sequence that fills the state as Base::Random::Seed does (each word the last times 69069).
struct LcgFill {
    using result_type = uint32_t;
    uint32_t seed;
    template <class It> void generate(It begin, It end) const {
        uint32_t x = seed == 0 ? 1335 : seed;
        for (It it = begin; it != end; ++it) {
            x *= 69069u;
            *it = x;
        }
    }
};

// The reference draws: a float in [lo, hi) from one 32-bit word, as the game's generator makes it.
struct Reference {
    explicit Reference(uint32_t seed) : fill{seed}, engine(fill) {}
    float Float(float lo, float hi) {
        return float(double(engine()) * (1.0 / 4294967296.0) * (hi - lo) + lo);
    }
    uint32_t Word() { return uint32_t(engine()); }
    LcgFill fill;
    std::mt19937 engine;
};

std::string Text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string PointText(double x, double y) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f %.0f", x, y);
    return text;
}

class Generator : public ::testing::Test {
protected:
    void SetUp() override {
        data = std::string(CORVANE_SOURCE_DIR) + "/tests/frontend/fixtures/generator";
        ASSERT_EQ(Base::TextTable.LoadText("DataDir\t" + data + "\nMap\n{\n\tPlayer\tYou\n}\n"), 0);
        Base::RandomTimeStamp = [] { return Seed; };
    }
    void TearDown() override {
        Base::RandomTimeStamp = nullptr;
        Base::TextTable = Base::Info();
        Base::InfoCache::Clear();
    }

    // The mission written to the scratch folder and read back.
    Base::Info Generate(const Fe::GeneratorChoices& choices) {
        const std::string path = (scratch / "Generated.msn").string();
        EXPECT_TRUE(Fe::WriteMission(choices, path));
        Base::Info tree;
        EXPECT_EQ(tree.LoadFile(path), 0);
        return tree;
    }

    static std::vector<std::string> Names(const Base::Info& node) {
        std::vector<std::string> names;
        for (const auto& [name, child] : node.GetChildren())
            names.push_back(name);
        return names;
    }

    std::string data;
    TestSupport::TempDir scratch{"corvane-generator"};
};

Fe::GeneratorChoices InTheAir() {
    Fe::GeneratorChoices choices;
    choices.name = "Golden";
    choices.start = {-3500, -3000};
    choices.timeOfDay = 1;
    choices.heading = "90";
    choices.altitude = "2000";
    choices.friendly = "2";
    choices.waves = "2";
    choices.enemies = "3";
    choices.tanks = "4";
    return choices;
}

TEST_F(Generator, WritesTheGoldenFileForAKnownSeed) {
    const std::string path = (scratch / "Golden.msn").string();
    ASSERT_TRUE(Fe::WriteMission(InTheAir(), path));
    EXPECT_EQ(Text(path), Text(data + "/Golden.msn"));
}

// Where each draw lands: the wingmen 200 to 500 from the start (a base start draws their heading after
// them), each wave 20 to 40 km out plus 20 km a wave, heading for the start, the tanks 10 to 15 km out.
TEST_F(Generator, PlacesEveryGroupWithItsDrawsInOrder) {
    for (const bool air : {true, false}) {
        Fe::GeneratorChoices choices = InTheAir();
        choices.inTheAir = air;
        choices.baseId = "Test Field";
        const Base::Info tree = Generate(choices);
        const Base::Info& actions = *tree.GetChild("Events.0Init.Actions");
        const float x0 = choices.start.x, y0 = choices.start.y, pi = 3.1415927f;
        Reference draw(Seed);
        float a = draw.Float(0, 2 * pi), r = draw.Float(200, 500);
        EXPECT_EQ(actions.GetStringDefault("1Friendly.Pos", ""),
                  PointText(x0 + r * std::sin(a), y0 + r * std::cos(a)));
        if (!air) {
            EXPECT_EQ(actions.GetStringDefault("1Friendly.Hdg", ""), std::to_string(draw.Word() % 360));
        }
        for (int j = 0; j < 2; ++j) {
            a = draw.Float(0, 2 * pi);
            r = draw.Float(20000, 40000) + 20000.0f * float(j);
            const float px = x0 + r * std::sin(a), py = y0 + r * std::cos(a);
            const std::string wave = std::to_string(j + 2) + "Enemies.";
            EXPECT_EQ(actions.GetStringDefault(wave + "Pos", ""), PointText(px, py)) << air << j;
            // Heading 0 is +y and 90 is -x: the way from the wave to the start.
            const double heading =
                std::fmod(std::atan2(-(x0 - px), y0 - py) * 180 / 3.14159265358979 + 360, 360);
            EXPECT_NEAR(actions.GetFloatDefault(wave + "Hdg", -1), heading, 0.5001) << air << j;
        }
        a = draw.Float(-pi, pi);
        r = draw.Float(10000, 15000);
        const std::string tanks = PointText(x0 + r * std::sin(a), y0 + r * std::cos(a));
        EXPECT_EQ(actions.GetStringDefault("1Tanks.Pos", ""), tanks);
        EXPECT_EQ(actions.GetStringDefault("1Tanks.Dest", ""), tanks);
        EXPECT_NEAR(actions.GetFloatDefault("1Tanks.Hdg", -1), draw.Float(0, 2 * pi) * 180 / pi, 0.5001);
    }
}

TEST_F(Generator, EveryStartKindSpawnsThePlayerItsWay) {
    Fe::GeneratorChoices choices = InTheAir();
    Base::Info tree = Generate(choices);
    const Base::Info* player = tree.GetChild("Events.0Init.Actions.0Player");
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->Value(), "SpawnPlayer");
    EXPECT_EQ(Names(*player), (std::vector<std::string>{"Alt", "Hdg", "Pos", "SetupType", "Speed"}));
    EXPECT_EQ(player->GetStringDefault("SetupType", ""), "AirGround");
    EXPECT_EQ(player->GetStringDefault("Alt", ""), "2000.000000");
    EXPECT_EQ(player->GetStringDefault("Pos", ""), "-3500 -3000");
    EXPECT_EQ(tree.GetStringDefault("Map.0Player.Pos", ""), "-3500 -3000");
    EXPECT_FALSE(tree.GetChild("CarrierBased"));

    choices.inTheAir = false;
    choices.start = {1000, 2000};
    choices.baseId = "Test Field";
    tree = Generate(choices);
    player = tree.GetChild("Events.0Init.Actions.0Player");
    EXPECT_EQ(Names(*player), (std::vector<std::string>{"AirbaseId", "RunwayName", "SetupType"}));
    EXPECT_EQ(player->GetStringDefault("SetupType", ""), "Airbase");
    EXPECT_EQ(player->GetStringDefault("RunwayName", ""), "R0");
    EXPECT_EQ(player->GetStringDefault("AirbaseId", ""), "Test Field");
    EXPECT_EQ(tree.GetStringDefault("Map.0Player.Pos", ""), "1000 2000");
    EXPECT_FALSE(tree.GetChild("CarrierBased"));

    choices.airfield = false;
    choices.baseId = "Test Carrier";
    tree = Generate(choices);
    player = tree.GetChild("Events.0Init.Actions.0Player");
    EXPECT_EQ(Names(*player), (std::vector<std::string>{"CarrierId", "CatapultName", "SetupType"}));
    EXPECT_EQ(player->GetStringDefault("SetupType", ""), "Carrier");
    EXPECT_EQ(player->GetStringDefault("CatapultName", ""), "C1");
    EXPECT_EQ(player->GetStringDefault("CarrierId", ""), "Test Carrier");
    EXPECT_EQ(tree.GetStringDefault("CarrierBased", ""), "1");
}

// The actions run in the byte order of their names: waves 10 and up before "1Friendly", wingman 10 between
// wingmen 1 and 2.
TEST_F(Generator, TwoDigitNamesRunBeforeTheFriendlies) {
    Fe::GeneratorChoices choices = InTheAir();
    choices.friendly = "11";
    choices.waves = "10";
    const Base::Info tree = Generate(choices);
    std::vector<std::string> expected = {"0Player",  "10Enemies",    "11Enemies",    "1Friendly",    "1Tanks",
                                         "2Enemies", "2SetWingman0", "2SetWingman1", "2SetWingman10"};
    for (int i = 2; i <= 9; ++i)
        expected.push_back("2SetWingman" + std::to_string(i));
    for (int j = 3; j <= 9; ++j)
        expected.push_back(std::to_string(j) + "Enemies");
    EXPECT_EQ(Names(*tree.GetChild("Events.0Init.Actions")), expected);
}

// Success only when some wave has airplanes in it; the mission can always be lost; the tanks' entry always
// stands, with its count.
TEST_F(Generator, SuccessNeedsEnemiesAndTheTanksEntryAlwaysStands) {
    struct Case {
        const char *waves, *enemies, *tanks, *friendly;
        bool success;
    } cases[] = {
        {"0", "3", "0", "0", false},
        {"2", "0", "2", "1", false},
        {"1", "1", "0", "0", true},
        {"3", "2", "8", "3", true},
    };
    for (const Case& c : cases) {
        Fe::GeneratorChoices choices = InTheAir();
        choices.waves = c.waves;
        choices.enemies = c.enemies;
        choices.tanks = c.tanks;
        choices.friendly = c.friendly;
        const Base::Info tree = Generate(choices);
        const Base::Info& events = *tree.GetChild("Events");
        const std::string label = std::string(c.waves) + " waves of " + c.enemies;
        EXPECT_EQ(Names(events), c.success ? (std::vector<std::string>{"0Init", "Failure", "Success", "ZEnd"})
                                           : (std::vector<std::string>{"0Init", "Failure", "ZEnd"}))
            << label;
        EXPECT_EQ(events.GetStringDefault("Failure.Condition", ""), "And");
        EXPECT_EQ(events.GetStringDefault("Failure.Condition.C1", ""), "Exists");
        EXPECT_EQ(events.GetStringDefault("Failure.Condition.C1.ObjectId", ""), "PlayerAirplane");
        EXPECT_EQ(events.GetStringDefault("Failure.Condition.C1.Negation", ""), "1");
        EXPECT_EQ(events.GetStringDefault("Failure.Actions.A1", ""), "Fail");
        if (c.success) {
            EXPECT_EQ(events.GetStringDefault("Success.Condition.C1", ""), "Count");
            EXPECT_EQ(events.GetStringDefault("Success.Condition.C1.ClassName", ""), "class Obj::Airplane");
            EXPECT_EQ(events.GetStringDefault("Success.Condition.C1.Op", ""), "Equal");
            EXPECT_EQ(events.GetStringDefault("Success.Condition.C1.Value", ""), "0");
            EXPECT_EQ(events.GetStringDefault("Success.Condition.C1.Allegiance", ""), "Enemy");
            EXPECT_EQ(events.GetStringDefault("Success.Actions.A1", ""), "Succeed");
        }
        const Base::Info& actions = *events.GetChild("0Init.Actions");
        EXPECT_EQ(actions.GetStringDefault("1Tanks", ""), "SpawnCars") << label;
        EXPECT_EQ(actions.GetStringDefault("1Tanks.Count", ""), c.tanks) << label;
        EXPECT_EQ(actions.GetStringDefault("1Friendly.Count", ""), c.friendly) << label;
        size_t links = 0;
        for (const std::string& name : Names(actions))
            links += name.rfind("2SetWingman", 0) == 0;
        EXPECT_EQ(links, size_t(std::stoi(c.friendly))) << label;
    }
}

// Each wingman's link names the airplane the spawn made: "Friend" alone, else Friend1 to FriendN.
TEST_F(Generator, WingmenFollowThePlayerByTheirSpawnedNames) {
    for (const auto& [count, ids] : std::vector<std::pair<const char*, std::vector<std::string>>>{
             {"1", {"Friend"}}, {"3", {"Friend1", "Friend2", "Friend3"}}}) {
        Fe::GeneratorChoices choices = InTheAir();
        choices.friendly = count;
        const Base::Info tree = Generate(choices);
        const Base::Info& actions = *tree.GetChild("Events.0Init.Actions");
        for (size_t i = 0; i < ids.size(); ++i) {
            const std::string link = "2SetWingman" + std::to_string(i);
            EXPECT_EQ(actions.GetStringDefault(link, ""), "SetTarget");
            EXPECT_EQ(actions.GetStringDefault(link + ".ObjectId", ""), ids[i]);
            EXPECT_EQ(actions.GetStringDefault(link + ".WingLeader", ""), "PlayerAirplane");
        }
    }
}

// Every airplane of every wave gets a name of its own, whatever the waves' sizes, so none escapes the count
// of enemies left.
TEST_F(Generator, WaveMembersNeverShareANameAcrossWaves) {
    Fe::GeneratorChoices choices = InTheAir();
    choices.waves = "12";
    const Base::Info tree = Generate(choices);
    const Base::Info& actions = *tree.GetChild("Events.0Init.Actions");
    std::vector<std::string> ids;
    for (int j = 0; j < 12; ++j) {
        ids.push_back(actions.GetStringDefault(std::to_string(j + 2) + "Enemies.ObjectId", ""));
        EXPECT_EQ(ids.back(), Fe::WaveId(j));
    }
    // The spawn names one airplane by the id, several by the id and 1 to N.
    for (int size = 1; size <= 12; ++size) {
        std::set<std::string> names;
        size_t made = 0;
        for (int j = 0; j < 12; ++j) {
            const int wave = j % 2 ? 1 : size; // waves of one beside waves of many
            for (int k = 1; k <= wave; ++k, ++made)
                names.insert(wave == 1 ? ids[size_t(j)] : ids[size_t(j)] + std::to_string(k));
        }
        EXPECT_EQ(names.size(), made) << size;
    }
}

// The player's map colour is the one the shared definitions give (else the strings file's), as a colour.
TEST_F(Generator, ThePlayersColourReadsBackAsTheDefinedColour) {
    Base::Info tree = Generate(InTheAir());
    EXPECT_EQ(tree.GetStringDefault("Map.0Player.Color", ""), "0.25 0.5 0.75 1");
    Base::Color colour;
    bool found = false;
    tree.GetColorDefault("Map.0Player.Color", {0, 0, 0, 0}, colour, &found);
    EXPECT_TRUE(found);
    EXPECT_FLOAT_EQ(colour.b, 0.75f);
    // The shared definitions' nodes stand at the root, the map's copies of the bases beside the player.
    EXPECT_EQ(tree.GetStringDefault("Colors.Player", ""), "0.25 0.5 0.75 1");
    EXPECT_EQ(tree.GetStringDefault("Map.Base1.Name", ""), "Test Field");
    EXPECT_EQ(tree.GetStringDefault("Map.0Player.Name", ""), "You");
    EXPECT_EQ(tree.GetStringDefault("Map.0Player.Texture", ""), "Map\\Plane.dds");

    // Without the definitions file, the strings file's colour.
    Base::TextTable.AddValue("Colors.Player", "1 0.5 0 1");
    Base::TextTable.GetChildForWrite("DataDir")->SetValue((scratch / "empty").string());
    tree = Generate(InTheAir());
    EXPECT_EQ(tree.GetStringDefault("Map.0Player.Color", ""), "1 0.5 0 1");
    EXPECT_FALSE(tree.GetChild("Colors"));
    EXPECT_EQ(Names(*tree.GetChild("Events")), (std::vector<std::string>{"0Init", "Failure", "Success"}));
}

TEST(MissionName, OnlyPlainNamesOfUpTo63Characters) {
    const std::string longest(63, 'a');
    struct Case {
        std::string name;
        bool valid;
    } cases[] = {
        {"Dogfight", true},    {"Dawn patrol 2_b-c", true},
        {longest, true},       {"a", true},
        {"", false},           {longest + "a", false},
        {"..\\Evil", false},   {"../Evil", false},
        {"Sub\\Dir", false},   {"Sub/Dir", false},
        {"C:Evil", false},     {"a.msn", false},
        {"Tab\there", false},  {"caf\xc3\xa9", false},
        {"semi;colon", false}, {std::string("nul\0l", 5), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Fe::ValidMissionName(c.name), c.valid) << c.name;
}

} // namespace
