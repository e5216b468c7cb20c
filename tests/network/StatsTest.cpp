#include "network/Stats.h"

#include "gui/Lists.h"
#include "gui/Widget.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

MPlr::PlayerEntry Player(const char* name, uint32_t deaths, uint32_t kills, const char* team = "") {
    MPlr::PlayerEntry p;
    p.name = name;
    p.dataSize = MPlr::PlayerDataSize;
    for (int i = 0; i < 4; ++i) {
        p.data[i] = uint8_t(deaths >> (8 * i));
        p.data[4 + i] = uint8_t(kills >> (8 * i));
    }
    std::strncpy(reinterpret_cast<char*>(&p.data[MPlr::PlayerTextOffset]), team, MPlr::MaxPlayerText);
    return p;
}

TEST(StatsTest, ScoreTable) {
    const struct {
        uint32_t kills, deaths, score;
    } cases[] = {{0, 0, 0}, {1, 0, 25}, {2, 0, 50}, {3, 1, 60}, {1, 2, 16}, {0xFFFFFFFFu, 0, 0xFFFFFFFFu}};
    for (const auto& c : cases)
        EXPECT_EQ(MPlr::Score(c.kills, c.deaths), c.score) << c.kills << " kills, " << c.deaths << " deaths";
}

TEST(StatsTest, RowsByScoreThenByteOrderOfNames) {
    std::vector<MPlr::PlayerEntry> players = {Player("bob", 0, 1), Player("Zed", 0, 1), Player("ace", 1, 3),
                                              Player("Carl", 0, 0)};
    std::vector<MPlr::StatsRow> rows = MPlr::MakeRows(players, false);
    MPlr::SortRows(rows);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].name, "ace"); // 60
    EXPECT_EQ(rows[1].name, "Zed"); // 25: upper case sorts before lower case
    EXPECT_EQ(rows[2].name, "bob");
    EXPECT_EQ(rows[3].name, "Carl");
    EXPECT_TRUE(rows[0].team.empty());

    // A short player data block counts as zero.
    MPlr::PlayerEntry shortData = Player("x", 5, 5);
    shortData.dataSize = 6;
    EXPECT_EQ(MPlr::PlayerDeaths(shortData), 5u);
    EXPECT_EQ(MPlr::PlayerKills(shortData), 0u);
}

TEST(StatsTest, TeamsSumTheirPlayersScores) {
    std::vector<MPlr::PlayerEntry> players = {Player("a", 0, 1, "Red"), Player("b", 1, 3, "Blue"),
                                              Player("c", 0, 1, "Red"), Player("loner", 0, 9),
                                              Player("d", 0xFFFFFFFFu, 0xFFFFFFFFu, "Blue")};
    std::vector<MPlr::StatsRow> rows = MPlr::MakeRows(players, true);
    MPlr::SortRows(rows);
    ASSERT_EQ(rows.size(), 4u); // the player without a team is in neither table
    for (const MPlr::StatsRow& row : rows)
        EXPECT_NE(row.name, "loner");

    const std::vector<MPlr::TeamStatsRow> teams = MPlr::MakeTeamRows(rows);
    ASSERT_EQ(teams.size(), 2u);
    // Blue's counters saturate instead of wrapping.
    EXPECT_EQ(teams[0].name, "Blue");
    EXPECT_EQ(teams[0].kills, 0xFFFFFFFFu);
    EXPECT_EQ(teams[1].name, "Red");
    // 25 + 25, not the score of 2 kills and 0 deaths recomputed (50 either way here), and not 2 x 100 / 4:
    EXPECT_EQ(teams[1].score, 50u);
    EXPECT_EQ(teams[1].kills, 2u);

    // Summed scores differ from a score recomputed from summed counts: 3 kills 1 death (60) + 0 kills 3
    // deaths (0) = 60, where 3 kills 4 deaths would give 37.
    std::vector<MPlr::StatsRow> mixed =
        MPlr::MakeRows({Player("p", 1, 3, "T"), Player("q", 3, 0, "T")}, true);
    MPlr::SortRows(mixed);
    EXPECT_EQ(MPlr::MakeTeamRows(mixed)[0].score, 60u);
}

TEST(StatsTest, KillsSurviveRespawnsAndDeathsFollowSpawns) {
    MPlr::ScoreKeeper keeper;
    EXPECT_FALSE(keeper.Update(true, 1, true, 0));
    EXPECT_TRUE(keeper.Update(true, 1, true, 2));
    EXPECT_EQ(keeper.kills, 2u);
    // Shot down: the airplane is gone, its kills stay counted.
    EXPECT_TRUE(keeper.Update(false, 1, false, 0));
    EXPECT_EQ(keeper.deaths, 1u);
    // A new airplane starts its own count at 0.
    keeper.Update(true, 2, true, 0);
    EXPECT_EQ(keeper.kills, 2u);
    EXPECT_EQ(keeper.deaths, 1u);
    keeper.Update(true, 2, true, 1);
    EXPECT_EQ(keeper.kills, 3u);
    // Never below zero before the first spawn.
    MPlr::ScoreKeeper fresh;
    fresh.Update(true, 0, false, 0);
    EXPECT_EQ(fresh.deaths, 0u);

    std::array<uint8_t, MPlr::PlayerDataSize> data{};
    data[8] = 'R';
    const auto published = keeper.Publish(data);
    MPlr::PlayerEntry p;
    p.dataSize = MPlr::PlayerDataSize;
    p.data = published;
    EXPECT_EQ(MPlr::PlayerDeaths(p), 1u);
    EXPECT_EQ(MPlr::PlayerKills(p), 3u);
    EXPECT_EQ(published[8], 'R');
}

TEST(StatsTest, TableColumnsShowPlacesAndTeams) {
    Gui::Widget table;
    Gui::StringList columns[5];
    const char* names[5] = {"PlacesList", "NamesList", "AirplaneKillsList", "DeathsList", "ScoreList"};
    for (int i = 0; i < 5; ++i) {
        columns[i].name = names[i];
        ASSERT_TRUE(table.AddChild(&columns[i]));
    }
    std::vector<MPlr::StatsRow> rows =
        MPlr::MakeRows({Player("a", 1, 3, "Red"), Player("b", 0, 0, "Red")}, true);
    MPlr::SortRows(rows);
    columns[0].selected = 5;
    MPlr::FillTable(&table, rows, true);
    ASSERT_EQ(columns[0].strings.size(), 2u);
    EXPECT_EQ(columns[0].strings[0], "1.");
    EXPECT_EQ(columns[0].strings[1], "2."); // places are never shared
    EXPECT_EQ(columns[1].strings[0], "a [Red]");
    EXPECT_EQ(columns[2].strings[0], "3");
    EXPECT_EQ(columns[3].strings[0], "1");
    EXPECT_EQ(columns[4].strings[0], "60");
    EXPECT_EQ(columns[0].selected, 1); // clamped to the new last row
    for (auto& c : columns)
        table.RemoveChild(&c);
}

} // namespace
