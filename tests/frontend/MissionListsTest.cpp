// The mission searches behind the lists: *.msn files whose header loads, in any letter case, training left
// out of the single missions at any depth, and the two orders (names for single missions, file names for
// training and the campaign).
#include "tests/support/TempDir.h"

#include "frontend/MissionLists.h"

#include "base/InfoCache.h"
#include "platform/win32/Files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class MissionSearch : public ::testing::Test {
protected:
    void TearDown() override { Base::InfoCache::Clear(); }

    // A mission file with that name; its header loads.
    void Mission(const fs::path& relative, const std::string& name) const {
        fs::create_directories((root / relative).parent_path());
        std::ofstream(root / relative)
            << "Name\t\"" << name << "\"\nObjectives\t\"Win.\"\nBriefing\t\"Fly.\"\nTimeOfDay\t1\n";
    }
    // The folder as a game path.
    std::string Folder(const std::string& relative = "") const {
        std::string path = root.string();
        if (!relative.empty())
            path += "\\" + relative;
        return path;
    }
    static std::vector<std::string> Names(const std::vector<Mission::Header>& missions) {
        std::vector<std::string> names;
        for (const Mission::Header& header : missions)
            names.push_back(header.name);
        return names;
    }

    TestSupport::TempDir dir{"missions"};
    fs::path root = dir.path / "Missions";
};

TEST_F(MissionSearch, SingleMissionsAreEveryMissionButTrainingSortedByName) {
    Mission("zulu.msn", "alpha");
    Mission("Echo.MSN", "Bravo");
    Mission("Campaign/1First.msn", "charlie");
    Mission("User/Mine.Msn", "Delta");
    Mission("Training/Basics.msn", "training at the top");
    Mission("User/TRAINING/Deep.msn", "training in the user folder");
    Mission("User/Nested/training/Deeper.msn", "training further down");
    Mission("Notes.txt", "not a mission");
    std::ofstream(root / "Broken.msn") << "Name\t\"no header\"\n";
    // A link back up the tree is not followed.
    fs::create_directory_symlink(root, root / "User" / "Loop");
    Win32::FlushPathCache();

    std::vector<Mission::Header> missions;
    Fe::SearchMissionFiles(Folder(), Fe::SubFolders::AllButTraining, missions);
    Fe::SortByName(missions);
    EXPECT_EQ(Names(missions), (std::vector<std::string>{"alpha", "Bravo", "charlie", "Delta"}));
    EXPECT_EQ(missions[3].fileName, Folder() + "\\User\\Mine.Msn");
    EXPECT_TRUE(Fe::PgSingleMission::IsUserMission(missions[3]));
    EXPECT_FALSE(Fe::PgSingleMission::IsUserMission(missions[2]));
}

TEST_F(MissionSearch, TrainingAndTheCampaignGoByFileName) {
    Mission("Training/b.msn", "Alpha");
    Mission("Training/A.msn", "Zulu");
    Mission("Training/More/c.MSN", "Bravo");
    Mission("Campaign/2Second.msn", "Aardvark");
    Mission("Campaign/1first.msn", "Zebra");
    Mission("Campaign/Extra/0Sub.msn", "in a sub-folder");

    std::vector<Mission::Header> training;
    Fe::SearchMissionFiles(Folder("Training"), Fe::SubFolders::All, training);
    Fe::SortByFileName(training);
    EXPECT_EQ(Names(training), (std::vector<std::string>{"Zulu", "Alpha", "Bravo"}));

    std::vector<Mission::Header> campaign;
    Fe::SearchMissionFiles(Folder("campaign"), Fe::SubFolders::None, campaign);
    Fe::SortByFileName(campaign);
    EXPECT_EQ(Names(campaign), (std::vector<std::string>{"Zebra", "Aardvark"}));

    std::vector<Mission::Header> none;
    Fe::SearchMissionFiles(Folder("Nowhere"), Fe::SubFolders::All, none);
    EXPECT_TRUE(none.empty());
}

TEST(NoCase, LettersAreFoldedThenBytesCompared) {
    EXPECT_TRUE(Fe::LessNoCase("alpha", "Bravo"));
    EXPECT_FALSE(Fe::LessNoCase("Bravo", "alpha"));
    EXPECT_TRUE(Fe::LessNoCase("Ab", "abc"));
    // '_' (0x5F) lies between the upper and lower letters: folded, it sorts before them.
    EXPECT_TRUE(Fe::LessNoCase("a_", "aB"));
    EXPECT_TRUE(Fe::EqualNoCase("TRAINING", "Training"));
    EXPECT_FALSE(Fe::EqualNoCase("Training", "Trainings"));
}

} // namespace
