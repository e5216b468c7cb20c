// The join page and the two connecting pages.
#include "frontend/MPlrPages.h"

#include "frontend/Flow.h"
#include "frontend/Frontend.h"
#include "frontend/InGamePages.h"

#include "base/FrameClock.h"
#include "base/TextTable.h"
#include "gui/Desktop.h"
#include "gui/Lists.h"
#include "gui/Text.h"

#include <windows.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>

namespace Fe {

namespace {

// The five settings words and the game type that a host's reserved data carries; false for a block too
// short to hold them, or one whose position, altitude or heading is not a finite number.
bool ReadReserved(const MPlr::HostEntry& host, MultiplayerRequest& request) {
    if (!host.reserved || host.reserved->size() < 21)
        return false;
    const uint8_t* bytes = host.reserved->data();
    auto word = [bytes](size_t w) {
        return uint32_t(bytes[w * 4]) | uint32_t(bytes[w * 4 + 1]) << 8 | uint32_t(bytes[w * 4 + 2]) << 16 |
               uint32_t(bytes[w * 4 + 3]) << 24;
    };
    const float place[4] = {std::bit_cast<float>(word(1)), std::bit_cast<float>(word(2)),
                            std::bit_cast<float>(word(3)), std::bit_cast<float>(word(4))};
    // A broken or hostile host's NaN or infinity would reach the spawn.
    if (!std::ranges::all_of(place, [](float v) { return std::isfinite(v); }))
        return false;
    request.timeOfDay = word(0);
    request.startX = place[0];
    request.startY = place[1];
    request.altitude = place[2];
    request.heading = place[3];
    request.gameType = bytes[20];
    return true;
}

uint8_t GameTypeOf(const MPlr::HostEntry& host) {
    return host.reserved && host.reserved->size() > 20 ? (*host.reserved)[20] : 0;
}

} // namespace

void PgJoinGame::SetVisible(bool on) {
    Page::SetVisible(on);
    if (!on || !frontend)
        return;
    Base::Config& config = frontend->config;
    FillNameEdit(Find<Gui::Edit>("EditPlayerName", true), config.playerName, sizeof config.playerName,
                 GetUserNameA);
    auto* edit = Find<Gui::Edit>("EditIPAddress", true);
    address = edit ? FittedName(config.hostAddress, sizeof config.hostAddress, *edit)
                   : Base::String(config.hostAddress, strnlen(config.hostAddress, sizeof config.hostAddress));
    SetEditText(edit, address);
    ClearHostList();
    if (PageLinks* weapons = FindLinks(*frontend, "PageSelectWeapons"))
        weapons->nextPage = "PageConnectingJoin";
    if (PageLinks* airplane = FindLinks(*frontend, "PageSelectAirplane"))
        airplane->backPage = "PageJoinGame";
}

void PgJoinGame::ClearHostList() {
    hosts.clear();
    if (auto* list = Find<Gui::StringList>("HostsList", true))
        list->SetStrings(0);
}

void PgJoinGame::RefreshHostList() {
    auto* list = Find<Gui::StringList>("HostsList", true);
    if (!frontend || !frontend->session || !list)
        return;
    frontend->session->GetRecentHosts(hosts);
    const bool hadSelection = list->selected >= 0;
    std::vector<Base::String> lines;
    lines.reserve(hosts.size());
    int32_t selection = -1;
    for (size_t i = 0; i < hosts.size(); ++i) {
        const MPlr::HostEntry& host = hosts[i];
        const Base::String type = Base::GetText(Base::Formatted("Fe.GameTypes.%i", int(GameTypeOf(host))));
        lines.push_back(Base::Formatted("%s (%s) (%u/%u %ums)", host.sessionName.c_str(), type.c_str(),
                                        host.currentPlayers, host.maxPlayers, host.latency));
        if (hadSelection && selection < 0 && host.instance == selectedHost)
            selection = int32_t(i);
    }
    const int32_t highlighted = list->highlighted;
    list->SetStrings(lines.size());
    list->strings = std::move(lines);
    list->highlighted = highlighted < int32_t(list->strings.size()) ? highlighted : -1;
    list->selected = selection;
}

bool PgJoinGame::ConnectToSelected() {
    auto* list = Find<Gui::StringList>("HostsList", true);
    if (!frontend || !frontend->session || !list || list->selected < 0 ||
        size_t(list->selected) >= hosts.size())
        return false;
    const MPlr::HostEntry host = hosts[size_t(list->selected)];
    MultiplayerRequest request = frontend->multiplayerRequest;
    // A host whose data cannot place the game is not joined.
    if (!ReadReserved(host, request))
        return false;
    GameRequest game = frontend->gameRequest;
    game.header.carrierBased = false;
    frontend->gameRequest.Assign(game);
    request.hosting = 0;
    frontend->multiplayerRequest = request;
    auto* player = Find<Gui::Edit>("EditPlayerName", true);
    return frontend->session->Connect(host, player ? player->text : Base::String(), "");
}

void PgJoinGame::Update() {
    UpdateChildren(false);
    if (!frontend)
        return;
    MPlr::Session* session = frontend->session;
    auto* fill = Find<Gui::Button>("BtnFill", true);
    auto* list = Find<Gui::StringList>("HostsList", true);

    if (connectPending) {
        connectPending = false;
        const bool connected = ConnectToSelected();
        // A joined peer searches no more.
        if (session)
            session->EnumerateHosts(false, "", true);
        if (auto* box = Find<MessageBox>("MessageBoxConnecting", true))
            box->Close();
        if (connected) {
            if (frontend->multiplayerRequest.gameType == PgHostGame::TeamGame) {
                ShowPage("PageJoinGameTeams", 0.0f);
                if (PageLinks* airplane = FindLinks(*frontend, "PageSelectAirplane"))
                    airplane->backPage = "PageJoinGameTeams";
            } else {
                ShowPage("PageSelectAirplane", 0.0f);
            }
        } else {
            ShowPage("PageJoinGame", 0.0f);
            if (auto* box = Find<MessageBox>("MessageBoxConnectionFailed", true))
                box->Show();
            ClearHostList();
        }
        return;
    }

    if (list && list->selected >= 0 && size_t(list->selected) < hosts.size())
        selectedHost = hosts[size_t(list->selected)].instance;

    auto* edit = Find<Gui::Edit>("EditIPAddress", true);
    if (edit && edit->text != address) {
        address = edit->text;
        if (session)
            session->EnumerateHosts(false, "", true);
        ClearHostList();
        StoreName(frontend->config.hostAddress, sizeof frontend->config.hostAddress, address);
    }

    auto* status = Find<Gui::Text>("Status", true);
    const bool searching = session && session->enumerationHandle != 0;
    if (!searching) {
        SetEnabled(fill, true);
        if (status) {
            status->SetTextColor(0xFFFFFFFF);
            if (const Base::String text = Base::GetText("Fe.JoinGame.5"); status->text != text)
                status->SetText(text);
        }
    } else {
        RefreshHostList();
        SetEnabled(fill, false);
        if (status) {
            const double wave = (std::sin(Base::FrameClock::GameTime * std::numbers::pi * 3.0) + 1.0) * 0.5;
            const uint32_t alpha = uint32_t(std::lround(wave * 255.0));
            status->SetTextColor(alpha << 24 | 0xFFFFFFu);
            if (const Base::String text = Base::GetText("Fe.JoinGame.6"); status->text != text)
                status->SetText(text);
        }
    }

    SetEnabled(Find<Gui::Button>("BtnJoin", true), list && list->selected >= 0);

    if (Pressed("BtnFill") && session)
        session->EnumerateHosts(true, edit ? edit->text : Base::String(), false);
    if (Pressed("BtnJoin")) {
        auto* player = Find<Gui::Edit>("EditPlayerName", true);
        if (!IsValidName(player ? player->text : Base::String())) {
            if (auto* box = Find<MessageBox>("MessageBoxInvalidPlayerName", true))
                box->Show();
        } else {
            SetEnabled(fill, false);
            if (auto* box = Find<MessageBox>("MessageBoxConnecting", true))
                box->Show();
            connectPending = true;
        }
    }
    if (Pressed("BtnBack"))
        ShowPage("PageMultiplayer", MenuFade);
}

// ---- connecting

void PgConnecting::SetVisible(bool on) {
    Page::SetVisible(on);
    drawn = 0;
}

void PgConnecting::Draw() {
    Gui::Image::Draw();
    QuietMenus(*this);
    // Once: a page that cannot be switched to must not host again every frame.
    if (drawn == 1) {
        drawn = 2;
        Proceed();
    } else if (drawn == 0) {
        drawn = 1;
    }
}

void PgConnectingHost::Proceed() {
    PgHostGame* host = frontend && frontend->desktop
                           ? static_cast<const Gui::WidgetsContainer&>(*frontend->desktop)
                                 .Find<PgHostGame>("PageHostGame", true)
                           : nullptr;
    ShowPage(host && host->HostSession() ? "PageLoadingMPlr" : "PageHostGame", 0.0f);
}

void PgConnectingJoin::Proceed() {
    ShowPage("PageLoadingMPlr", 0.0f);
}

} // namespace Fe
