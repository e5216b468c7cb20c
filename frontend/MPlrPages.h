// The multiplayer pages. Hosting: the multiplayer menu -> the host page (names, game type, team) -> the
// start position -> airplane and weapons -> the host's connecting page, which opens the session -> loading ->
// the game. Joining: the join page (search, pick, connect) -> the team page in a team game -> airplane and
// weapons -> the joiner's connecting page -> loading. Around the game: the in-game menu.
#pragma once

#include "frontend/Page.h"

#include "base/Maths.h"
#include "base/String.h"
#include "mission/GameRequest.h"
#include "network/Session.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Gui {
struct MapObjectRecord;
class Edit;
} // namespace Gui

namespace Fe {

// Not empty and not made of white space alone (blank, tab, line feed, vertical tab, form feed, carriage
// return). A name is taken as it stands, never trimmed.
bool IsValidName(const Base::String& name);

// The player text that marks team t (1 to 4): the strings file's "Fe.TeamNames.<t>", cut so that it and its
// terminating zero fit the 20 bytes the player data keeps for it. Every peer cuts the same way, so a long
// name still matches.
Base::String TeamText(int32_t team);
constexpr size_t TeamTextBytes = 20;
constexpr int32_t TeamCount = 4;

// A name kept in the settings, as an edit field can take it: up to the first zero within the field, then
// cut to the edit's limit (a longer text would be refused whole).
Base::String FittedName(const char* field, size_t fieldSize, const Gui::Edit& edit);
// An edit gets the name kept in a settings field, else the system's (GetUserNameA, GetComputerNameA); with
// neither it keeps its text.
void FillNameEdit(Gui::Edit* edit, const char* field, size_t fieldSize, BOOL (*systemName)(LPSTR, LPDWORD));
// Writes text into a settings field, cut so that its terminating zero fits.
void StoreName(char* field, size_t fieldSize, const Base::String& text);

class PgMultiplayer : public Page {
public:
    void Update() override;
    // Shown: the game map of the in-game menu leads back to the multiplayer in-game menu.
    void SetVisible(bool on) override;
};

class PgHostGame : public Page {
public:
    static constexpr uint32_t MaxPlayers = 16;
    static constexpr uint32_t ReservedSize = 24;
    static constexpr uint8_t FreeForAll = 1, TeamGame = 2;

    void Update() override;
    // Shown: the names from the settings (else the user's and the computer's names); hidden: the names back
    // into the settings. Either way the game type and team lists start again at their first item.
    void SetVisible(bool on) override;

    // Opens the session with the names of the edits and the request's settings. Run by the host's connecting
    // page once it has been drawn, since it blocks.
    bool HostSession();

    // The 24 bytes every peer that searches receives: the request's five settings words, then its game type.
    static std::vector<uint8_t> ReservedData(const MultiplayerRequest& request);

    bool shown = false; // activated and not left since
};

class PgStartPosition : public Page {
public:
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Update() override;
    void SetVisible(bool on) override;

    // Where the game starts on the world map: the last point the host dragged the marker to. A
    // "StartPosition" key of the page's description moves the first one.
    Base::Vector2 startPosition{-518000.0f, -387000.0f};
    Gui::MapObjectRecord* startObject = nullptr; // the map's
};

// In a team game: the four teams with their players, live; the player picks one, which every peer then sees
// through the player's data.
class PgJoinGameTeams : public Page {
public:
    void Update() override;
    // Shown: the team names read, and the team already published is the chosen one.
    void SetVisible(bool on) override;

    int32_t chosenTeam = -1;                       // 1 to 4, -1 none
    std::array<Base::String, TeamCount> teamNames; // TeamText of 1 to 4, read as the page is shown
};

// Its first update (during the fade to it) silences the menus and asks for the multiplayer game.
class PgLoadingMPlr : public Page {
public:
    void Update() override;
};

// The menu over a running multiplayer game: resume, the map, disconnect.
class PgInMPlr : public Page {
public:
    void Update() override;
};

class PgJoinGame : public Page {
public:
    void Update() override;
    void SetVisible(bool on) override;

    // The games heard of lately, in the list; the selection follows its game, not its line.
    void RefreshHostList();
    void ClearHostList();
    // Joins the selected game with the typed player name; the request takes the host's settings.
    bool ConnectToSelected();

    std::vector<MPlr::HostEntry> hosts;
    Base::String address;
    bool connectPending = false;
    GUID selectedHost{};
};

// Shown while the game is set up: silences the menus, is drawn once, and on the next frame opens the session
// (host) or moves on (joiner, already connected).
class PgConnecting : public Page {
public:
    void Draw() override;
    void SetVisible(bool on) override;
    // The step taken once the page has been on screen for a frame.
    virtual void Proceed() = 0;

    uint8_t drawn = 0; // 1: on screen for a frame; 2: the step is taken
};

class PgConnectingHost : public PgConnecting {
public:
    void Proceed() override;
};

class PgConnectingJoin : public PgConnecting {
public:
    void Proceed() override;
};

} // namespace Fe
