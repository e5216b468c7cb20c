#include "frontend/Briefing.h"

#include "frontend/Campaign.h"
#include "frontend/Frontend.h"
#include "frontend/InGamePages.h"

#include "base/String.h"
#include "gui/Desktop.h"
#include "gui/Text.h"
#include "gui/WorldMap.h"

#include <cmath>

namespace Fe {

namespace {

void SetText(const Page& page, const char* name, const Base::String& text) {
    if (Gui::Text* widget = page.Find<Gui::Text>(name, true)) {
        widget->SetText(text);
        widget->SetScrollPos({0.0f, 0.0f});
    }
}

void SetShown(const Page& page, const char* name, bool on) {
    if (Gui::Widget* widget = page.FindWidget(name, true))
        widget->SetVisible(on);
}

} // namespace

// ---- briefing

void PgBriefing::SetVisible(bool on) {
    Page::SetVisible(on);
    Gui::WorldMap* map = Find<Gui::WorldMap>("WorldMap", true);
    if (!on) {
        if (map)
            map->ClearObjects();
        return;
    }
    if (!frontend)
        return;
    const Mission::Header& header = frontend->gameRequest.header;
    SetText(*this, "ObjectivesText", header.objectives);
    SetText(*this, "BriefingText", header.briefing);
    if (map && header.map) {
        map->LoadObjects(*header.map);
        // A mission without map objects leaves the map where it was.
        if (!map->objects.empty()) {
            map->SetZoom(0.2f);
            map->ScrollTo(map->objects.front().position, false);
        }
    }
    SetShown(*this, "BtnFly", !header.selectEquipment);
    SetShown(*this, "BtnSelectAirplane", header.selectEquipment);
    if (PageLinks* airplane = FindLinks(*frontend, "PageSelectAirplane"))
        airplane->backPage = "PageBriefing";
}

void PgBriefing::Update() {
    UpdateChildren(false);
    if (Pressed("BtnBack"))
        ShowPage(backPage, MenuFade);
    if (Pressed("BtnSelectAirplane"))
        ShowPage("PageSelectAirplane", MenuFade);
    if (Pressed("BtnFly") && frontend) {
        // Straight on to where the weapon page would lead: the request keeps its airplane and loadout.
        const PageLinks* weapons = FindLinks(*frontend, "PageSelectWeapons");
        const Base::String next =
            weapons && !weapons->nextPage.empty() ? weapons->nextPage : "PageLoadingSPlr";
        const Gui::WidgetsContainer& top = *frontend->desktop;
        if (top.Find<Page>(next, true)) {
            ShowPage(next, 0.0f);
        } else {
            // A menu tree without a loading page starts the game from here.
            if (frontend->gameRequest.airplane.empty()) {
                GameRequest request = frontend->gameRequest;
                request.airplane = "Airplanes\\Su27";
                frontend->gameRequest.Assign(request);
            }
            SetAction(App::FrontendStartSplrGame);
        }
    }
}

// ---- end of mission

Base::String FormatElapsedTime(float seconds) {
    const double t = double(seconds);
    return Base::Formatted("%02.0f:%02.0f:%02.0f", std::floor(t / 3600.0),
                           std::floor(std::fmod(t, 3600.0) / 60.0), std::fmod(t, 60.0));
}

void PgEndMission::SetVisible(bool on) {
    Page::SetVisible(on);
    if (!on || !frontend)
        return;
    const GameRequest request = frontend->gameRequest;
    SetShown(*this, "MissionSuccess", request.resultCode == GameRequest::Succeeded);
    SetShown(*this, "MissionFailure", request.resultCode == GameRequest::Failed);
    const Gui::WidgetsContainer& top = *frontend->desktop;
    PgCampaign* campaign = top.Find<PgCampaign>("PageCampaign", true);
    // Each showing decides afresh: a completed campaign does not send every later mission to the
    // congratulations.
    campaignComplete = false;
    if (request.resultCode == GameRequest::Succeeded && campaign)
        campaignComplete = campaign->AdvanceCampaign();
    if (Gui::Text* time = Find<Gui::Text>("ElapsedTimeValue", true))
        time->SetText(FormatElapsedTime(request.elapsedTime));
    if (Gui::Text* kills = Find<Gui::Text>("AirplaneKillsValue", true))
        kills->SetText(Base::Formatted("%d", request.airplaneKills));
    if (Gui::Text* kills = Find<Gui::Text>("VehicleKillsValue", true))
        kills->SetText(Base::Formatted("%d", request.vehicleKills));
    if (Gui::Text* kills = Find<Gui::Text>("ShipKillsValue", true))
        kills->SetText(Base::Formatted("%d", request.shipKills));
    SetEnabled(Find<Gui::Button>("BtnAbortMission", true), false);
    if (campaign)
        campaign->SavePilots();
}

void PgEndMission::Update() {
    ShowCursor(owner, true);
    UpdateChildren(false);
    if (Pressed("BtnResumeGame"))
        SetAction(App::FrontendResumeSplrGame);
    if (Pressed("BtnRestartGame"))
        ShowPage("PageRestartingSPlr", 0.0f);
    if (Pressed("BtnAbortMission")) {
        SetAction(App::FrontendEndSplrGame);
        ShowPage("PageMain", 0.0f);
    }
    if (Pressed("BtnEndMission")) {
        SetAction(App::FrontendEndSplrGame);
        ShowPage(campaignComplete   ? Base::String("PageCongratulations")
                 : nextPage.empty() ? Base::String("PageMain")
                                    : nextPage,
                 0.0f);
    }
}

} // namespace Fe
