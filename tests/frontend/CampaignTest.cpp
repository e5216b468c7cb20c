// Pilot profiles: "Pilots.dat" read and written as its 68-byte records, damaged files kept as far as they
// can be trusted, and the rules for a new pilot's name.
#include "tests/support/TempDir.h"

#include "frontend/Campaign.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

Fe::PilotRecord Pilot(const std::string& name, int32_t progress) {
    Fe::PilotRecord pilot;
    std::strncpy(pilot.name, name.c_str(), Fe::MaxPilotName);
    pilot.progress = progress;
    return pilot;
}

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += char(v >> (8 * i));
}

// A record as the file holds it: 64 name bytes as given (padded with NULs), then the progress.
std::string Record(const std::string& name, int32_t progress) {
    std::string out = name.substr(0, 64);
    out.resize(64, '\0');
    Put32(out, uint32_t(progress));
    return out;
}

class PilotsFile : public ::testing::Test {
protected:
    std::string Path() const { return (dir / "Pilots.dat").string(); }
    void Write(const std::string& bytes) const {
        std::ofstream(dir / "Pilots.dat", std::ios::binary) << bytes;
    }
    TestSupport::TempDir dir{"pilots"};
};

TEST_F(PilotsFile, RoundTripsItsRecordsInOrder) {
    const std::string longest(63, 'M');
    const std::vector<Fe::PilotRecord> pilots = {Pilot("Ace", 0), Pilot(longest, 2), Pilot("Viper", 3)};
    ASSERT_TRUE(Fe::SavePilotsFile(Path(), pilots));
    // The count, then the records byte for byte.
    std::string expected;
    Put32(expected, 3);
    expected += Record("Ace", 0) + Record(longest, 2) + Record("Viper", 3);
    EXPECT_EQ(Bytes(dir / "Pilots.dat"), expected);
    EXPECT_FALSE(fs::exists(dir / "Pilots.dat.new"));

    const std::vector<Fe::PilotRecord> read = Fe::LoadPilotsFile(Path());
    ASSERT_EQ(read.size(), 3u);
    for (size_t i = 0; i < read.size(); ++i) {
        EXPECT_STREQ(read[i].name, pilots[i].name);
        EXPECT_EQ(read[i].progress, pilots[i].progress);
    }

    // No pilots: the 4-byte count alone, which reads back as no pilots.
    ASSERT_TRUE(Fe::SavePilotsFile(Path(), {}));
    EXPECT_EQ(Bytes(dir / "Pilots.dat"), std::string(4, '\0'));
    EXPECT_TRUE(Fe::LoadPilotsFile(Path()).empty());
    EXPECT_TRUE(Fe::LoadPilotsFile((dir / "Missing.dat").string()).empty());
}

// A damaged file keeps what can be trusted and says what it left or changed.
TEST_F(PilotsFile, DamagedFilesKeepTheTrustworthyRecordsAndSaySo) {
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::pair<std::string, int32_t>> kept;
        const char* told; // part of the message; empty: nothing said
    };
    const auto counted = [](uint32_t count, const std::string& records) {
        std::string out;
        Put32(out, count);
        return out + records;
    };
    const std::string two = Record("Ace", 1) + Record("Viper", 2);
    const Case cases[] = {
        {"a count beyond the records",
         counted(1000, two),
         {{"Ace", 1}, {"Viper", 2}},
         "counts 1000 pilots but holds 2"},
        {"the largest count", counted(0xFFFFFFFFu, two + "tail"), {{"Ace", 1}, {"Viper", 2}}, "holds 2"},
        {"a count below the records", counted(1, two), {{"Ace", 1}}, ""},
        {"a negative progress",
         counted(2, Record("Ace", -5) + Record("Viper", 2)),
         {{"Ace", 0}, {"Viper", 2}},
         "'Ace' has a negative progress"},
        {"a name without its end",
         counted(1, Record(std::string(64, 'N'), 1)),
         {{std::string(63, 'N'), 1}},
         ""},
        {"a record without a name",
         counted(2, Record("", 1) + Record("Viper", 2)),
         {{"Viper", 2}},
         "no name"},
        {"too short for a count", "\x01\x00", {}, "too short"},
    };
    for (const Case& c : cases) {
        Write(c.bytes);
        ::testing::internal::CaptureStderr();
        const std::vector<Fe::PilotRecord> read = Fe::LoadPilotsFile(Path());
        const std::string said = ::testing::internal::GetCapturedStderr();
        ASSERT_EQ(read.size(), c.kept.size()) << c.what;
        for (size_t i = 0; i < read.size(); ++i) {
            EXPECT_EQ(read[i].name, c.kept[i].first) << c.what;
            EXPECT_EQ(read[i].progress, c.kept[i].second) << c.what;
        }
        if (*c.told)
            EXPECT_NE(said.find(c.told), std::string::npos) << c.what << ": " << said;
        else
            EXPECT_EQ(said, "") << c.what;
    }
}

// The page reads the pilots when it is made and writes them when it goes, in the working folder.
TEST_F(PilotsFile, NamesTakeOneTo63CharactersUnlikeAnyOtherWhateverTheCase) {
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path);
    ASSERT_TRUE(Fe::SavePilotsFile("Pilots.dat", {Pilot("Ace", 1)}));
    {
        Fe::PgCampaign page;
        ASSERT_EQ(page.pilots.size(), 1u);
        EXPECT_TRUE(page.IsValidPilotName(std::string(63, 'x')));
        EXPECT_FALSE(page.IsValidPilotName(std::string(64, 'x')));
        EXPECT_FALSE(page.IsValidPilotName(""));
        EXPECT_FALSE(page.IsValidPilotName("Ace"));
        EXPECT_FALSE(page.IsValidPilotName("ACE"));
        EXPECT_FALSE(page.IsValidPilotName("aCe"));
        EXPECT_TRUE(page.IsValidPilotName("Ace2"));
        EXPECT_TRUE(page.IsValidPilotName("Viper"));
        page.pilots.push_back(Pilot("Viper", 0));
    }
    const std::vector<Fe::PilotRecord> saved = Fe::LoadPilotsFile("Pilots.dat");
    fs::current_path(previous);
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_STREQ(saved[1].name, "Viper");
}

} // namespace
