#include "network/Stats.h"

#include "gui/Lists.h"
#include "gui/Widget.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace MPlr {

namespace {

uint32_t Saturate(uint64_t v) {
    return uint32_t(std::min<uint64_t>(v, std::numeric_limits<uint32_t>::max()));
}

uint32_t Word(const PlayerEntry& player, size_t at) {
    if (player.dataSize < at + 4)
        return 0;
    return uint32_t(player.data[at]) | uint32_t(player.data[at + 1]) << 8 |
           uint32_t(player.data[at + 2]) << 16 | uint32_t(player.data[at + 3]) << 24;
}

template <class Row> bool Before(const Row& a, const Row& b) {
    if (a.score != b.score)
        return a.score > b.score;
    return a.name < b.name; // byte order
}

Base::String Number(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", v);
    return text;
}

Base::String Place(size_t i) {
    char text[24];
    std::snprintf(text, sizeof text, "%zu.", i + 1);
    return text;
}

struct Columns {
    Gui::StringList* places;
    Gui::StringList* names;
    Gui::StringList* kills;
    Gui::StringList* deaths;
    Gui::StringList* scores;

    explicit Columns(Gui::Widget* table)
        : places(table->Find<Gui::StringList>("PlacesList", false)),
          names(table->Find<Gui::StringList>("NamesList", false)),
          kills(table->Find<Gui::StringList>("AirplaneKillsList", false)),
          deaths(table->Find<Gui::StringList>("DeathsList", false)),
          scores(table->Find<Gui::StringList>("ScoreList", false)) {}

    void Resize(size_t n) {
        for (Gui::StringList* list : {places, names, kills, deaths, scores})
            if (list)
                list->SetStrings(n);
    }
    static void Set(Gui::StringList* list, size_t i, Base::String text) {
        if (list)
            list->strings[i] = std::move(text);
    }
    void Row(size_t i, Base::String name, uint32_t k, uint32_t d, uint32_t s) {
        Set(places, i, Place(i));
        Set(names, i, std::move(name));
        Set(kills, i, Number(k));
        Set(deaths, i, Number(d));
        Set(scores, i, Number(s));
    }
};

} // namespace

uint32_t Score(uint32_t kills, uint32_t deaths) {
    return Saturate(uint64_t(kills) * 100 / (uint64_t(deaths) + 4));
}

uint32_t PlayerDeaths(const PlayerEntry& player) {
    return Word(player, 0);
}
uint32_t PlayerKills(const PlayerEntry& player) {
    return Word(player, 4);
}

std::vector<StatsRow> MakeRows(const std::vector<PlayerEntry>& players, bool teams) {
    std::vector<StatsRow> rows;
    rows.reserve(players.size());
    for (const PlayerEntry& player : players) {
        StatsRow row;
        if (teams) {
            row.team = player.Text();
            if (row.team.empty())
                continue;
        }
        row.name = player.name;
        row.kills = PlayerKills(player);
        row.deaths = PlayerDeaths(player);
        row.score = Score(row.kills, row.deaths);
        rows.push_back(std::move(row));
    }
    return rows;
}

void SortRows(std::vector<StatsRow>& rows) {
    std::sort(rows.begin(), rows.end(), Before<StatsRow>);
}

std::vector<TeamStatsRow> MakeTeamRows(const std::vector<StatsRow>& sortedRows) {
    std::vector<TeamStatsRow> teams;
    for (const StatsRow& row : sortedRows) {
        auto team = std::find_if(teams.begin(), teams.end(),
                                 [&](const TeamStatsRow& t) { return t.name == row.team; });
        if (team == teams.end()) {
            teams.push_back({row.team, row.deaths, row.kills, row.score});
            continue;
        }
        team->deaths = Saturate(uint64_t(team->deaths) + row.deaths);
        team->kills = Saturate(uint64_t(team->kills) + row.kills);
        team->score = Saturate(uint64_t(team->score) + row.score);
    }
    std::sort(teams.begin(), teams.end(), Before<TeamStatsRow>);
    return teams;
}

void FillTable(Gui::Widget* table, const std::vector<StatsRow>& rows, bool showTeam) {
    if (!table)
        return;
    Columns columns(table);
    columns.Resize(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const StatsRow& row = rows[i];
        columns.Row(i, showTeam ? row.name + " [" + row.team + "]" : row.name, row.kills, row.deaths,
                    row.score);
    }
}

void FillTable(Gui::Widget* table, const std::vector<TeamStatsRow>& rows) {
    if (!table)
        return;
    Columns columns(table);
    columns.Resize(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        columns.Row(i, rows[i].name, rows[i].kills, rows[i].deaths, rows[i].score);
}

bool ScoreKeeper::Update(bool alive, uint32_t spawned, bool hasAirplane, uint32_t airplaneKills) {
    const uint32_t oldDeaths = deaths, oldKills = kills;
    deaths = alive ? (spawned > 0 ? spawned - 1 : 0) : spawned;
    if (hasAirplane) {
        if (airplaneKills >= lastKills)
            kills = Saturate(uint64_t(kills) + (airplaneKills - lastKills));
        lastKills = airplaneKills;
    }
    return deaths != oldDeaths || kills != oldKills;
}

std::array<uint8_t, PlayerDataSize>
ScoreKeeper::Publish(const std::array<uint8_t, PlayerDataSize>& data) const {
    std::array<uint8_t, PlayerDataSize> out = data;
    for (int i = 0; i < 4; ++i) {
        out[i] = uint8_t(deaths >> (8 * i));
        out[4 + i] = uint8_t(kills >> (8 * i));
    }
    return out;
}

} // namespace MPlr
