#include "frontend/MPlrPages.h"

#include "frontend/Flow.h"
#include "frontend/Frontend.h"
#include "frontend/InGamePages.h"
#include "frontend/PgCreateMission.h"

#include "base/FrameClock.h"
#include "base/Info.h"
#include "base/TextTable.h"
#include "gui/Desktop.h"
#include "gui/Lists.h"
#include "gui/Text.h"
#include "gui/WorldMap.h"

#include <windows.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace Fe {

namespace {

// A selector item's text read as a number, as "%f" reads one; 0 for one that does not read.
float ItemNumber(const Gui::StringSelector* list) {
    if (!list)
        return 0.0f;
    const int32_t index = list->GetSelectedIndex();
    if (index < 0 || size_t(index) >= list->strings.size())
        return 0.0f;
    const float value = std::strtof(list->strings[size_t(index)].c_str(), nullptr);
    return std::isfinite(value) ? value : 0.0f;
}

constexpr float MetresPerFoot = 0.3048f;

} // namespace

bool IsValidName(const Base::String& name) {
    return name.find_first_not_of(" \t\n\v\f\r") != Base::String::npos;
}

Base::String TeamText(int32_t team) {
    Base::String text = Base::GetText(Base::Formatted("Fe.TeamNames.%i", team));
    text = text.substr(0, std::min(text.find('\0'), TeamTextBytes - 1));
    return text;
}

Base::String FittedName(const char* field, size_t fieldSize, const Gui::Edit& edit) {
    Base::String name(field, strnlen(field, fieldSize));
    if (name.size() > edit.charsLimit)
        name.resize(edit.charsLimit);
    return name;
}

void FillNameEdit(Gui::Edit* edit, const char* field, size_t fieldSize, BOOL (*systemName)(LPSTR, LPDWORD)) {
    if (!edit)
        return;
    Base::String name = FittedName(field, fieldSize, *edit);
    if (name.empty()) {
        char buffer[1024] = {};
        DWORD size = sizeof buffer;
        if (systemName(buffer, &size))
            name = FittedName(buffer, sizeof buffer, *edit);
    }
    if (!name.empty())
        SetEditText(edit, name);
}

void StoreName(char* field, size_t fieldSize, const Base::String& text) {
    if (fieldSize == 0)
        return;
    const size_t n = std::min(text.size(), fieldSize - 1);
    std::memset(field, 0, fieldSize);
    std::memcpy(field, text.data(), n);
}

// ---- the multiplayer menu

void PgMultiplayer::Update() {
    UpdateChildren(false);
    if (Pressed("BtnHostGame"))
        ShowPage("PageHostGame", MenuFade);
    if (Pressed("BtnJoinGame"))
        ShowPage("PageJoinGame", MenuFade);
    if (Pressed("BtnBack"))
        ShowPage("PageMain", MenuFade);
}

void PgMultiplayer::SetVisible(bool on) {
    Page::SetVisible(on);
    if (on && frontend)
        if (PageLinks* map = FindLinks(*frontend, "PageGameMap"))
            map->backPage = "PageInMPlr";
}

// ---- hosting

void PgHostGame::SetVisible(bool on) {
    // Only a page that was shown has names to keep: the root hides every page (the edits still empty) as it
    // starts.
    const bool leaving = shown && !on;
    shown = on;
    Page::SetVisible(on);
    auto* player = Find<Gui::Edit>("EditPlayerName", true);
    auto* game = Find<Gui::Edit>("EditGameName", true);
    if (frontend) {
        Base::Config& config = frontend->config;
        if (on) {
            FillNameEdit(player, config.playerName, sizeof config.playerName, GetUserNameA);
            FillNameEdit(game, config.gameName, sizeof config.gameName, GetComputerNameA);
        } else if (leaving) {
            if (player)
                StoreName(config.playerName, sizeof config.playerName, player->text);
            if (game)
                StoreName(config.gameName, sizeof config.gameName, game->text);
        }
    }

    if (auto* types = Find<Gui::StringSelector>("GameTypesList", true)) {
        types->SetStrings(2);
        types->strings = {Base::GetText("Fe.GameTypes.1"), Base::GetText("Fe.GameTypes.2")};
        types->SetScrollPos({0.0f, 0.0f});
    }
    if (auto* teams = Find<Gui::StringList>("TeamsList", true)) {
        teams->SetStrings(TeamCount);
        for (int32_t t = 1; t <= TeamCount; ++t)
            teams->strings[size_t(t - 1)] = Base::GetText(Base::Formatted("Fe.TeamNames.%i", t));
        teams->selected = 0;
    }
    Show(FindWidget("BackTeamsList", true), false);
    Show(FindWidget("TextTeamsList", true), false);
}

void PgHostGame::Update() {
    UpdateChildren(false);
    auto* types = Find<Gui::StringSelector>("GameTypesList", true);
    const int32_t type = types ? types->GetSelectedIndex() : 0;

    if (Pressed("BtnCreate")) {
        auto* player = Find<Gui::Edit>("EditPlayerName", true);
        auto* game = Find<Gui::Edit>("EditGameName", true);
        if (!IsValidName(game ? game->text : Base::String())) {
            if (auto* box = Find<MessageBox>("MessageBoxInvalidGameName", true))
                box->Show();
        } else if (!IsValidName(player ? player->text : Base::String())) {
            if (auto* box = Find<MessageBox>("MessageBoxInvalidPlayerName", true))
                box->Show();
        } else if (frontend) {
            GameRequest request = frontend->gameRequest;
            request.header.carrierBased = false;
            frontend->gameRequest.Assign(request);

            MultiplayerRequest multiplayer = frontend->multiplayerRequest;
            multiplayer.hosting = 1;
            multiplayer.gameType = type == 0 ? FreeForAll : TeamGame;
            const auto* teams = Find<Gui::StringList>("TeamsList", true);
            multiplayer.team = teams && teams->selected > 0 ? uint32_t(teams->selected) : 0;
            multiplayer.airplane.clear();
            multiplayer.loadout = Base::Info();
            frontend->multiplayerRequest = multiplayer;
            if (PageLinks* weapons = FindLinks(*frontend, "PageSelectWeapons"))
                weapons->nextPage = "PageConnectingHost";
            ShowPage("PageStartPosition", 0.0f);
        }
    }
    if (Pressed("BtnBack"))
        ShowPage("PageMultiplayer", MenuFade);

    Show(FindWidget("BackTeamsList", true), type == 1);
    Show(FindWidget("TextTeamsList", true), type == 1);
}

std::vector<uint8_t> PgHostGame::ReservedData(const MultiplayerRequest& request) {
    std::vector<uint8_t> data(ReservedSize, 0);
    const uint32_t words[5] = {
        request.timeOfDay, std::bit_cast<uint32_t>(request.startX), std::bit_cast<uint32_t>(request.startY),
        std::bit_cast<uint32_t>(request.altitude), std::bit_cast<uint32_t>(request.heading)};
    for (size_t w = 0; w < 5; ++w)
        for (size_t b = 0; b < 4; ++b)
            data[w * 4 + b] = uint8_t(words[w] >> (8 * b));
    data[20] = request.gameType;
    return data;
}

bool PgHostGame::HostSession() {
    if (!frontend || !frontend->session)
        return false;
    auto* player = Find<Gui::Edit>("EditPlayerName", true);
    auto* game = Find<Gui::Edit>("EditGameName", true);
    const MultiplayerRequest& request = frontend->multiplayerRequest;
    const std::vector<uint8_t> reserved = ReservedData(request);
    return frontend->session->Host(game ? game->text : Base::String(), player ? player->text : Base::String(),
                                   MaxPlayers, ReservedSize, reserved.data(),
                                   TeamText(int32_t(request.team) + 1));
}

// ---- the start position

bool PgStartPosition::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Page::Load(widgetName, node))
        return false;
    startObject = LoadStartMap(Find<Gui::WorldMap>("WorldMap", true), node, startPosition);
    return true;
}

void PgStartPosition::SetVisible(bool on) {
    Page::SetVisible(on);
    if (auto* map = Find<Gui::WorldMap>("WorldMap", true))
        DragStartMarker(*map, startObject, startPosition, on);
}

void PgStartPosition::Update() {
    UpdateChildren(false);
    if (startObject)
        startPosition = startObject->position;
    if (Pressed("BtnBack"))
        ShowPage("PageHostGame", MenuFade);
    if (Pressed("BtnFly") && frontend) {
        MultiplayerRequest request = frontend->multiplayerRequest;
        if (const auto* times = Find<Gui::StringSelector>("TimeOfDayList", true))
            request.timeOfDay = uint32_t(std::max(times->GetSelectedIndex(), 0));
        request.startX = startPosition.x;
        request.startY = startPosition.y;
        request.altitude = ItemNumber(Find<Gui::StringSelector>("AltitudeList", true)) * MetresPerFoot;
        request.heading = ItemNumber(Find<Gui::StringSelector>("HeadingList", true));
        frontend->multiplayerRequest = request;
        if (PageLinks* airplane = FindLinks(*frontend, "PageSelectAirplane"))
            airplane->backPage = "PageStartPosition";
        ShowPage("PageSelectAirplane", MenuFade);
    }
}

// ---- teams

void PgJoinGameTeams::SetVisible(bool on) {
    Page::SetVisible(on);
    if (!on)
        return;
    Base::String name, text;
    if (frontend && frontend->session)
        frontend->session->GetLocalPlayerName(name, text);
    chosenTeam = -1;
    for (int32_t t = 1; t <= TeamCount; ++t) {
        teamNames[size_t(t - 1)] = TeamText(t);
        if (!text.empty() && teamNames[size_t(t - 1)] == text)
            chosenTeam = t;
    }
}

void PgJoinGameTeams::Update() {
    UpdateChildren(false);
    MPlr::Session* session = frontend ? frontend->session : nullptr;
    std::vector<MPlr::PlayerEntry> players;
    if (session) {
        std::lock_guard<std::mutex> hold(session->playersLock);
        players = session->players;
    }

    for (int32_t t = 1; t <= TeamCount; ++t) {
        Gui::Widget* frame = FindWidget(Base::Formatted("Team%i", t), true);
        if (!frame)
            continue;
        const Base::String& teamName = teamNames[size_t(t - 1)];
        if (Fe::Pressed(frame->Find<Gui::Button>("TeamName", true))) {
            chosenTeam = t;
            if (session)
                if (std::optional<MPlr::PlayerEntry> local = session->FindLocalPlayer()) {
                    std::array<uint8_t, MPlr::PlayerDataSize> data = local->data;
                    std::memset(data.data() + MPlr::PlayerTextOffset, 0, TeamTextBytes);
                    std::memcpy(data.data() + MPlr::PlayerTextOffset, teamName.data(),
                                std::min(teamName.size(), TeamTextBytes - 1));
                    session->SetLocalPlayerData(data.data(), MPlr::PlayerDataSize);
                }
        }
        if (auto* image = dynamic_cast<Gui::Image*>(frame)) {
            if (t == chosenTeam) {
                const uint8_t v =
                    uint8_t(std::lround(std::sin(Base::FrameClock::GameTime * 8.0) * 56.0 + 128.0));
                image->color = {255, v, v, 255};
            } else {
                image->color = {255, 255, 255, 255};
            }
        }
        if (auto* list = frame->Find<Gui::StringList>("PlrsList", true)) {
            std::vector<Base::String> names;
            for (const MPlr::PlayerEntry& player : players)
                if (player.Text() == teamName && !teamName.empty())
                    names.push_back(player.name);
            list->SetStrings(0);
            list->SetStrings(names.size());
            list->strings = std::move(names);
        }
    }

    SetEnabled(Find<Gui::Button>("BtnSelectAirplane", true), chosenTeam != -1);
    if (chosenTeam != -1 && Pressed("BtnSelectAirplane"))
        ShowPage("PageSelectAirplane", MenuFade);
    if (Pressed("BtnBack")) {
        if (session)
            session->Reinitialize();
        ShowPage("PageJoinGame", MenuFade);
    }
}

// ---- around the game

void PgLoadingMPlr::Update() {
    UpdateChildren(false);
    QuietMenus(*this);
    SetAction(App::FrontendStartMplrGame);
}

void PgInMPlr::Update() {
    ShowCursor(owner, true);
    UpdateChildren(false);
    if (Pressed("BtnResumeGame"))
        SetAction(App::FrontendResumeMplrGame);
    if (Pressed("BtnMap"))
        ShowPage("PageGameMap", MenuFade);
    if (Pressed("BtnDisconnect")) {
        SetAction(App::FrontendEndMplrGame);
        ShowPage("PageMain", 0.0f);
    }
}

} // namespace Fe
