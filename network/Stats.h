// The multiplayer score tables: each peer publishes its own player's deaths and kills as the first two words
// of its player data, and every peer ranks all players (and, in a team game, the teams) from them.
// Counters come from peers, so sums and scores are computed wide and saturate instead of wrapping.
#pragma once

#include "network/Session.h"

#include "base/String.h"

#include <cstdint>
#include <vector>

namespace Gui {
class Widget;
}

namespace MPlr {

struct StatsRow {
    Base::String name;
    Base::String team; // empty in the free-for-all table
    uint32_t kills = 0;
    uint32_t deaths = 0;
    uint32_t score = 0;
};

struct TeamStatsRow {
    Base::String name;
    uint32_t deaths = 0;
    uint32_t kills = 0;
    uint32_t score = 0;
};

// kills x 100 / (deaths + 4), in whole points.
uint32_t Score(uint32_t kills, uint32_t deaths);

// Deaths and kills of a player's data (zero for a short block).
uint32_t PlayerDeaths(const PlayerEntry& player);
uint32_t PlayerKills(const PlayerEntry& player);

// One row a player; with teams, only players that have a team name, each carrying it.
std::vector<StatsRow> MakeRows(const std::vector<PlayerEntry>& players, bool teams);
// Higher score first, then by name in byte order (upper case before lower case).
void SortRows(std::vector<StatsRow>& rows);
// Teams in the order of their first row in the sorted player rows, then sorted by the same order; a team's
// score is the sum of its players' scores.
std::vector<TeamStatsRow> MakeTeamRows(const std::vector<StatsRow>& sortedRows);

// Fills a table widget's five columns ("PlacesList", "NamesList", "AirplaneKillsList", "DeathsList",
// "ScoreList") with the rows; showTeam writes "name [team]" in the names column.
void FillTable(Gui::Widget* table, const std::vector<StatsRow>& rows, bool showTeam);
void FillTable(Gui::Widget* table, const std::vector<TeamStatsRow>& rows);

// The local player's counts, kept across respawns.
struct ScoreKeeper {
    // alive: the local pilot flies an airplane with hit points left; spawned: the airplanes this peer has
    // spawned; kills: the current airplane's own count of airplanes shot down (0 without an airplane).
    // Returns true when deaths or kills changed.
    bool Update(bool alive, uint32_t spawned, bool hasAirplane, uint32_t airplaneKills);
    // The player data with the two counts written into its first 8 bytes; the rest unchanged.
    std::array<uint8_t, PlayerDataSize> Publish(const std::array<uint8_t, PlayerDataSize>& data) const;

    uint32_t deaths = 0;
    uint32_t kills = 0;
    uint32_t lastKills = 0;
};

} // namespace MPlr
