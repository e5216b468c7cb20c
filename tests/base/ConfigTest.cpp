#include "base/Config.h"
#include "platform/win32/Files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Base::Config;
using Base::KeyAssignment;

namespace {

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("corvane-config-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        Win32::FlushPathCache();
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const char* name) const { return (dir / name).string(); }
    std::string Bytes(const char* name) const {
        std::ifstream in(dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void WriteBytes(const char* name, const std::string& bytes) const {
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }
    fs::path dir;
};

// The same values as config_writer.py's full record.
Config FullRecord() {
    Config c;
    c.displayWidth = 1920;
    c.displayHeight = 1080;
    c.refreshRate = 75;
    c.visibility = 0.25f;
    c.autogenDensity = 0.125f;
    c.cloudsDensity = 1.0f;
    c.sfxVolume = 0.375f;
    c.musicVolume = 0.0625f;
    c.controlsType = 2;
    c.joyDeadZone = 0.2f;
    c.joySensitivity = 0.875f;
    for (int i = 0; i < Config::KeyAssignmentCount; ++i)
        c.keyAssignments[i] = KeyAssignment{uint8_t(i + 1), uint8_t(i % 32), uint8_t(i % 8)};
    std::strcpy(c.gameName, ("Game of " + std::string(100, 'g')).c_str());
    std::strcpy(c.playerName, "Pilot");
    std::strcpy(c.hostAddress, "127.0.0.1");
    return c;
}

} // namespace

TEST_F(ConfigFile, BytesMatchAnIndependentWriter) {
    std::string script = std::string(CORVANE_SOURCE_DIR) + "/tests/base/config_writer.py";
    std::string command =
        "python3 '" + script + "' '" + Path("ref-defaults.dat") + "' '" + Path("ref-full.dat") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    ASSERT_TRUE(Config().Save(Path("defaults.dat")));
    ASSERT_TRUE(FullRecord().Save(Path("full.dat")));
    EXPECT_EQ(Bytes("defaults.dat").size(), Config::FileSize);
    EXPECT_EQ(Bytes("defaults.dat"), Bytes("ref-defaults.dat"));
    EXPECT_EQ(Bytes("full.dat"), Bytes("ref-full.dat"));

    Config loaded;
    ASSERT_TRUE(loaded.Load(Path("ref-full.dat")));
    EXPECT_TRUE(loaded == FullRecord());
    EXPECT_STREQ(loaded.playerName, "Pilot");
    EXPECT_EQ(loaded.keyAssignments[51], (KeyAssignment{52, 19, 3}));
}

TEST_F(ConfigFile, FieldOffsetsOfTheRecord) {
    ASSERT_TRUE(Config().Save(Path("Config.dat")));
    std::string b = Bytes("Config.dat");
    ASSERT_EQ(b.size(), 588u);
    EXPECT_EQ(b.substr(0, 4), std::string("\x01\x00\xBC\x0A", 4));
    EXPECT_EQ(b.substr(4, 4), std::string("\x00\x04\x00\x00", 4));           // 1024
    EXPECT_EQ(b.substr(4 + 12, 4), std::string("\x00\x00\x40\x3F", 4));      // 0.75f
    EXPECT_EQ(b.substr(4 + 44, 3), std::string("\x22\xFF\x00", 3));          // Gears: G
    EXPECT_EQ(b.substr(4 + 44 + 3 * 11, 3), std::string("\x0F\xFF\x01", 3)); // Target2: Shift+Tab
    EXPECT_EQ(b.substr(4 + 200), std::string(384, '\0'));
}

TEST_F(ConfigFile, SaveThenLoadKeepsEveryByte) {
    Config c = FullRecord();
    std::memset(c.hostAddress, 'z', 100);
    c.hostAddress[5] = 0; // bytes after the terminator are kept too
    ASSERT_TRUE(c.Save(Path("Config.dat")));
    Config back;
    ASSERT_TRUE(back.Load(Path("config.DAT")));
    EXPECT_TRUE(back == c);
}

TEST_F(ConfigFile, BadFilesGiveTheDefaults) {
    Config dflt;
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"wrong magic", std::string("\x02\x00\xBC\x0A", 4) + std::string(584, '\0')},
        {"three bytes", "abc"},
        {"empty", ""},
    };
    for (const auto& c : cases) {
        WriteBytes("Config.dat", c.bytes);
        Config loaded = FullRecord();
        EXPECT_FALSE(loaded.Load(Path("Config.dat"))) << c.what;
        EXPECT_TRUE(loaded == dflt) << c.what;
    }
    Config loaded = FullRecord();
    EXPECT_FALSE(loaded.Load(Path("Missing.dat")));
    EXPECT_TRUE(loaded == dflt);
}

TEST_F(ConfigFile, AShortRecordKeepsWhatItHoldsAndTheRestAsItWas) {
    Config saved = FullRecord();
    ASSERT_TRUE(saved.Save(Path("full.dat")));
    std::string full = Bytes("full.dat");
    const Config dflt;
    // Cut after the volumes, inside the key assignments (mid-entry), and inside the player name.
    for (size_t cut : {4u, 4u + 32u, 4u + 44u + 3u * 10u + 1u, 4u + 328u + 3u}) {
        WriteBytes("Config.dat", full.substr(0, cut));
        Config loaded;
        EXPECT_TRUE(loaded.Load(Path("Config.dat"))) << cut;
        uint8_t expected[Config::RecordSize], got[Config::RecordSize];
        dflt.ToBytes(expected);
        std::memcpy(expected, full.data() + 4, cut - 4);
        loaded.ToBytes(got);
        EXPECT_EQ(std::memcmp(got, expected, Config::RecordSize), 0) << cut;
    }
    // The display mode and the volumes survive a file cut off in the key assignments.
    WriteBytes("Config.dat", full.substr(0, 4 + 100));
    Config loaded;
    ASSERT_TRUE(loaded.Load(Path("Config.dat")));
    EXPECT_EQ(loaded.displayWidth, 1920u);
    EXPECT_EQ(loaded.sfxVolume, 0.375f);
    EXPECT_EQ(loaded.musicVolume, 0.0625f);
    EXPECT_EQ(loaded.keyAssignments[51], dflt.keyAssignments[51]);
    EXPECT_STREQ(loaded.playerName, "");
}

// The inverted pitch follows the record under its own tag, only when set: the record itself is unchanged,
// a file of the record alone reads as not inverted, and an unknown tag is not taken for it.
TEST_F(ConfigFile, InvertedPitchFollowsTheRecordOnlyWhenSet) {
    Config inverted = FullRecord();
    inverted.invertPitch = true;
    ASSERT_TRUE(inverted.Save(Path("inverted.dat")));
    ASSERT_TRUE(FullRecord().Save(Path("full.dat")));
    const std::string with = Bytes("inverted.dat"), without = Bytes("full.dat");
    ASSERT_EQ(without.size(), Config::FileSize);
    ASSERT_EQ(with.size(), Config::FileSize + 8);
    EXPECT_EQ(with.substr(0, Config::FileSize), without);
    EXPECT_EQ(with.substr(Config::FileSize), std::string("\x01\x01\xBC\x0A\x01\x00\x00\x00", 8));
    EXPECT_FALSE(inverted == FullRecord());

    const struct {
        const char* what;
        std::string bytes;
        bool before, loaded;
    } cases[] = {{"saved inverted", with, false, true},
                 {"the record alone", without, true, false},
                 {"another tag", without + std::string("\x02\x01\xBC\x0A\x01\x00\x00\x00", 8), true, false},
                 {"the tag cut short", with.substr(0, Config::FileSize + 6), true, false},
                 {"the record cut short", with.substr(0, 300), true, true}};
    for (const auto& c : cases) {
        WriteBytes("Config.dat", c.bytes);
        Config loaded;
        loaded.invertPitch = c.before;
        ASSERT_TRUE(loaded.Load(Path("Config.dat"))) << c.what;
        EXPECT_EQ(loaded.invertPitch, c.loaded) << c.what;
    }
    Config back;
    ASSERT_TRUE(back.Load(Path("inverted.dat")));
    EXPECT_TRUE(back == inverted);
    back.SetDefaults();
    EXPECT_FALSE(back.invertPitch);
}

TEST_F(ConfigFile, AZeroRecordIsTakenAsItIs) {
    WriteBytes("Config.dat", std::string("\x01\x00\xBC\x0A", 4) + std::string(584, '\0'));
    Config c;
    ASSERT_TRUE(c.Load(Path("Config.dat")));
    EXPECT_EQ(c.displayWidth, 0u);
    EXPECT_EQ(c.sfxVolume, 0.0f);
    EXPECT_EQ(c.musicVolume, 0.0f);
    for (const auto& k : c.keyAssignments)
        EXPECT_EQ(k, (KeyAssignment{0, 0, 0}));
}

TEST_F(ConfigFile, LoadedRecordsAreMadeSafe) {
    std::string bytes = std::string("\x01\x00\xBC\x0A", 4) + std::string(584, '\x41'); // names without NUL
    auto put = [&](size_t offset, const std::string& b) { bytes.replace(4 + offset, b.size(), b); };
    put(12, std::string("\x00\x00\xC0\x7F", 4)); // visibility NaN
    put(24, std::string("\x00\x00\x80\x7F", 4)); // sfx volume +inf
    put(44, std::string("\x01\x20\x08", 3));     // button 32, modifier bit 3
    put(47, std::string("\x02\xFF\xFF", 3));     // no button, any modifiers
    put(50, std::string("\x03\x1F\x07", 3));
    WriteBytes("Config.dat", bytes);
    Config c;
    ASSERT_TRUE(c.Load(Path("Config.dat")));
    EXPECT_EQ(std::strlen(c.gameName), 127u);
    EXPECT_EQ(std::strlen(c.playerName), 127u);
    EXPECT_EQ(std::strlen(c.hostAddress), 127u);
    EXPECT_EQ(c.visibility, 0.75f);
    EXPECT_EQ(c.sfxVolume, 1.0f);
    EXPECT_EQ(c.keyAssignments[0], (KeyAssignment{1, 0xFF, 0}));
    EXPECT_EQ(c.keyAssignments[1], (KeyAssignment{2, 0xFF, 0xFF}));
    EXPECT_EQ(c.keyAssignments[2], (KeyAssignment{3, 31, 7}));
}

// Fractions outside 0..1 and a control type beyond its list are clamped to their ranges.
TEST_F(ConfigFile, LoadedValuesAreClampedToTheirRanges) {
    const struct {
        size_t offset;
        float stored;
        float Config::*field;
        float loaded;
    } cases[] = {{12, 2.5f, &Config::visibility, 1.0f},       {16, -0.5f, &Config::autogenDensity, 0.0f},
                 {20, 1.0001f, &Config::cloudsDensity, 1.0f}, {24, 7.0f, &Config::sfxVolume, 1.0f},
                 {28, -1e30f, &Config::musicVolume, 0.0f},    {36, 1e30f, &Config::joyDeadZone, 1.0f},
                 {40, -2.0f, &Config::joySensitivity, 0.0f},  {40, 0.25f, &Config::joySensitivity, 0.25f}};
    for (const auto& c : cases) {
        std::string bytes = std::string("\x01\x00\xBC\x0A", 4) + std::string(584, '\0');
        std::memcpy(&bytes[4 + c.offset], &c.stored, 4);
        bytes[4 + 32] = 99; // control type
        WriteBytes("Config.dat", bytes);
        Config loaded;
        ASSERT_TRUE(loaded.Load(Path("Config.dat")));
        EXPECT_EQ(loaded.*c.field, c.loaded) << c.offset;
        EXPECT_EQ(loaded.controlsType, Config::MaxControlsType);
    }
}

TEST_F(ConfigFile, FailedSaveLeavesTheOldFileAndIsToldOnce) {
    ASSERT_TRUE(FullRecord().Save(Path("Config.dat")));
    fs::create_directories(dir / "Taken" / "Config.dat");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Config().Save(Path("NoDir/Config.dat")));
    EXPECT_FALSE(Config().Save(Path("Taken/Config.dat"))); // a directory in the way
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("Cannot save the settings to '" + Path("NoDir/Config.dat") + "'"), std::string::npos)
        << told;
    EXPECT_EQ(told.find("Cannot save", 1), std::string::npos) << told;
    EXPECT_TRUE(fs::is_directory(dir / "Taken" / "Config.dat"));
    Config back;
    ASSERT_TRUE(back.Load(Path("Config.dat")));
    EXPECT_TRUE(back == FullRecord());
    EXPECT_FALSE(fs::exists(dir / "Config.dat.new"));
}

// A file that is there but unusable is about to be replaced by the defaults: the player hears of it once.
// The first start, without a file, says nothing.
TEST_F(ConfigFile, AnUnusableFileIsToldOnceAndAMissingOneIsNot) {
    testing::internal::CaptureStderr();
    Config loaded;
    EXPECT_FALSE(loaded.Load(Path("Config.dat")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    WriteBytes("Config.dat", std::string("\x02\x00\xBC\x0A", 4) + std::string(584, '\0'));
    WriteBytes("Empty.dat", "");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loaded.Load(Path("Config.dat")));
    EXPECT_FALSE(loaded.Load(Path("Empty.dat")));
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("The settings file '" + Path("Config.dat") +
                        "' is damaged or cannot be read: the default settings are used."),
              std::string::npos)
        << told;
    EXPECT_EQ(told.find("settings file", told.find("settings file") + 1), std::string::npos) << told;
    EXPECT_TRUE(loaded == Config());
}

// Start-up and the front end both read the settings: a settings path that is no regular file is told once,
// and the defaults are used.
TEST_F(ConfigFile, ASettingsPathThatIsNoFileIsToldOnce) {
    ASSERT_EQ(mkfifo(Path("Config.dat").c_str(), 0600), 0);
    testing::internal::CaptureStderr();
    Config first, second;
    EXPECT_FALSE(first.Load(Path("Config.dat")));
    EXPECT_FALSE(second.Load(Path("Config.dat")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cannot read '" + Path("Config.dat") + "': it is not a regular file.\n");
    EXPECT_TRUE(first == Config());
    EXPECT_TRUE(second == Config());
}

// A settings file kept elsewhere through a symbolic link stays a link: the save goes to the file it names,
// through a chain of links, relative or absolute, also where the link's own folder cannot be written.
TEST_F(ConfigFile, ASymbolicLinkIsWrittenThroughToItsTarget) {
    fs::create_directories(dir / "Kept");
    fs::create_symlink("Kept/Settings.dat", dir / "Middle.dat");
    fs::create_symlink(dir / "Middle.dat", dir / "Config.dat");
    ASSERT_TRUE(FullRecord().Save(Path("Config.dat")));
    EXPECT_TRUE(fs::is_symlink(dir / "Config.dat"));
    EXPECT_TRUE(fs::is_symlink(dir / "Middle.dat"));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "Kept" / "Settings.dat")));
    EXPECT_FALSE(fs::exists(dir / "Config.dat.new"));
    EXPECT_FALSE(fs::exists(dir / "Kept" / "Settings.dat.new"));
    Config back;
    ASSERT_TRUE(back.Load(Path("Config.dat")));
    EXPECT_TRUE(back == FullRecord());
    // Saved again over the target that now exists.
    ASSERT_TRUE(Config().Save(Path("Config.dat")));
    EXPECT_TRUE(fs::is_symlink(dir / "Config.dat"));
    ASSERT_TRUE(back.Load(Path("Kept/Settings.dat")));
    EXPECT_TRUE(back == Config());

    // The link's folder read-only, its target's writable (permissions do not bind the superuser).
    if (geteuid() != 0) {
        fs::create_directories(dir / "Locked");
        fs::create_symlink(dir / "Kept" / "Settings.dat", dir / "Locked" / "Config.dat");
        fs::permissions(dir / "Locked", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_TRUE(FullRecord().Save(Path("Locked/Config.dat")));
        fs::permissions(dir / "Locked", fs::perms::owner_all);
        ASSERT_TRUE(back.Load(Path("Kept/Settings.dat")));
        EXPECT_TRUE(back == FullRecord());
    }
}

// A link that loops is told, once, when read and when saved, not taken for a first start.
TEST_F(ConfigFile, ALinkLoopIsTold) {
    fs::create_symlink("Other.dat", dir / "Config.dat");
    fs::create_symlink("Config.dat", dir / "Other.dat");
    testing::internal::CaptureStderr();
    Config loaded;
    EXPECT_FALSE(loaded.Load(Path("Config.dat")));
    EXPECT_FALSE(FullRecord().Save(Path("Config.dat")));
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("The settings file '" + Path("Config.dat") +
                        "' is a symbolic link that cannot be followed (" + std::strerror(ELOOP) + ")"),
              std::string::npos)
        << told;
    EXPECT_NE(told.find("Cannot save the settings to '" + Path("Config.dat") + "': " + std::strerror(ELOOP)),
              std::string::npos)
        << told;
    EXPECT_TRUE(fs::is_symlink(dir / "Config.dat"));
    EXPECT_TRUE(loaded == Config());
    // A link to nothing yet is a first start: nothing said, and the save makes its target.
    fs::create_symlink("Later.dat", dir / "Dangling.dat");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(loaded.Load(Path("Dangling.dat")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(FullRecord().Save(Path("Dangling.dat")));
    EXPECT_TRUE(fs::is_regular_file(dir / "Later.dat"));
}

TEST(Config, DefaultsAndDefaultKeys) {
    Config c;
    EXPECT_EQ(c.displayWidth, 1024u);
    EXPECT_EQ(c.displayHeight, 768u);
    EXPECT_EQ(c.joyDeadZone, 0.1f);
    // Tab and Shift+Tab, R and Shift+R share a key and differ in the modifiers.
    EXPECT_EQ(c.keyAssignments[10], (KeyAssignment{0x0F, 1, 0}));
    EXPECT_EQ(c.keyAssignments[11], (KeyAssignment{0x0F, 0xFF, KeyAssignment::Shift}));
    EXPECT_EQ(c.keyAssignments[14], (KeyAssignment{0x13, 0xFF, KeyAssignment::Shift}));
    EXPECT_EQ(c.keyAssignments[51], (KeyAssignment{0xD2, 0xFF, 0}));
    c.keyAssignments[3] = KeyAssignment{};
    c.SetDefaultKeyAssignments();
    EXPECT_TRUE(c == Config());
}
