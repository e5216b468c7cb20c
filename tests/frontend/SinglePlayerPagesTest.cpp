// The single-player pages on the sample menus: the campaign with its pilots, the mission lists, the briefing
// and the end of mission, clicked through as a player does. The game itself is not run: a mission's end is
// what the game leaves in the request, and the switch it asks of the front end.
#include "MenuFixture.h"

#include "frontend/Briefing.h"
#include "frontend/Campaign.h"
#include "frontend/MissionLists.h"

#include "gui/Button.h"
#include "gui/Lists.h"
#include "gui/Text.h"
#include "gui/WorldMap.h"

#include <algorithm>
#include <fstream>

namespace {

using namespace MenuTest;

class SinglePlayer : public Menu {
protected:
    // A mission that has ended as the game leaves it: result, time and kills in the request, then the end
    // page.
    void EndMission(int32_t result, float seconds = 100.0f, int32_t airplanes = 0, int32_t vehicles = 0,
                    int32_t ships = 0) {
        Fe::GameRequest request = frontend->gameRequest;
        request.resultCode = result;
        request.elapsedTime = seconds;
        request.airplaneKills = airplanes;
        request.vehicleKills = vehicles;
        request.shipKills = ships;
        frontend->gameRequest.Assign(request);
        // The flow has left the end page before a game ends again: the page is shown anew.
        if (Visible("PageEndMission")) {
            frontend->SwitchPage("PageBriefing", 0.0f);
            Frame();
        }
        frontend->SwitchPage("PageEndMission", 0.0f);
        Frame();
        ASSERT_EQ(Shown(), Get("PageEndMission"));
    }

    void Open(const char* button, const char* page) {
        Click(button);
        Settle();
        ASSERT_EQ(Shown(), Get(page));
        // The page's first update.
        Frame();
    }

    void Pick(const char* list, int32_t row) {
        auto* widget = Get<Gui::StringList>(list);
        ASSERT_NE(widget, nullptr);
        widget->selected = row;
    }

    // Shift for the first letter, then the letters (scan codes of a US keyboard).
    void TypeName(const std::vector<uint8_t>& keys) {
        for (size_t i = 0; i < keys.size(); ++i) {
            keyboard.modifiers = i == 0 ? 1 : 0;
            Press(keys[i]);
        }
        keyboard.modifiers = 0;
    }

    bool Visible(const char* path) {
        Gui::Widget* widget = Get(path);
        return widget && widget->visible;
    }
    bool Enabled(const char* path) {
        auto* button = Get<Gui::Button>(path);
        return button && button->state != Gui::Button::Disabled;
    }
    std::string TextOf(const char* path) {
        auto* text = Get<Gui::Text>(path);
        return text ? text->text : "";
    }
    Fe::PgCampaign* Campaign() { return Get<Fe::PgCampaign>("PageCampaign"); }
    int32_t SavedProgress() {
        const std::vector<Fe::PilotRecord> saved = Fe::LoadPilotsFile("Pilots.dat");
        return saved.empty() ? -1 : saved[0].progress;
    }
};

// A new pilot flies the campaign: his first mission briefed, a win advances him and is saved, a loss and a
// mission without a result keep him where he is, and the last win ends on the congratulations.
TEST_F(SinglePlayer, ANewPilotFliesTheCampaignToItsEnd) {
    ToMainPage();
    Open("BtnCampaign", "PageCampaign");
    Fe::PgCampaign* campaign = Campaign();
    ASSERT_GE(campaign->missions.size(), 2u);
    EXPECT_FALSE(Enabled("PageCampaign.BtnSelectPilot"));
    EXPECT_FALSE(Enabled("PageCampaign.BtnDeletePilot"));

    Click("PageCampaign.BtnCreatePilot");
    EXPECT_TRUE(Visible("PageCampaign.AddPilot"));
    EXPECT_FALSE(Visible("PageCampaign.ViewPilots"));
    TypeName({0x1E, 0x2E, 0x12}); // A c e
    EXPECT_EQ(TextOf("PilotNameEdt"), "Ace");
    Click("PageCampaign.BtnAddPilot");
    Settle();
    ASSERT_EQ(Shown(), Get("PageBriefing"));
    ASSERT_EQ(campaign->pilots.size(), 1u);
    EXPECT_STREQ(campaign->pilots[0].name, "Ace");
    EXPECT_EQ(campaign->selectedPilot, 0);

    // The briefing of campaign mission 0: its texts, its map, and the way on to the airplanes.
    const Mission::Header& first = campaign->missions[0];
    EXPECT_EQ(frontend->gameRequest.header.fileName, first.fileName);
    EXPECT_EQ(TextOf("PageBriefing.ObjectivesText"), first.objectives);
    EXPECT_EQ(TextOf("PageBriefing.BriefingText"), first.briefing);
    auto* map = Get<Gui::WorldMap>("PageBriefing.WorldMap");
    ASSERT_FALSE(map->objects.empty());
    EXPECT_FLOAT_EQ(map->zoom, 0.2f);
    EXPECT_EQ(Visible("PageBriefing.BtnSelectAirplane"), first.selectEquipment);
    EXPECT_EQ(Visible("PageBriefing.BtnFly"), !first.selectEquipment);

    // Won: the end page shows it, the pilot goes on to mission 1 and the file says so.
    EndMission(Fe::GameRequest::Succeeded, 3725.2f, 2, 3, 1);
    EXPECT_TRUE(Visible("MissionSuccess"));
    EXPECT_FALSE(Visible("MissionFailure"));
    EXPECT_EQ(TextOf("ElapsedTimeValue"), "01:02:05");
    EXPECT_EQ(TextOf("AirplaneKillsValue"), "2");
    EXPECT_EQ(TextOf("VehicleKillsValue"), "3");
    EXPECT_EQ(TextOf("ShipKillsValue"), "1");
    EXPECT_FALSE(Enabled("PageEndMission.BtnAbortMission"));
    EXPECT_EQ(campaign->pilots[0].progress, 1);
    EXPECT_EQ(SavedProgress(), 1);
    EXPECT_EQ(frontend->gameRequest.header.fileName, campaign->missions[1].fileName);
    // "Continue" ends the game and briefs the next mission.
    EXPECT_EQ(Click("PageEndMission.BtnEndMission"), uint32_t(App::FrontendEndSplrGame));
    Settle();
    ASSERT_EQ(Shown(), Get("PageBriefing"));
    EXPECT_EQ(TextOf("PageBriefing.ObjectivesText"), campaign->missions[1].objectives);

    // Lost, or ended without a result: the same mission again.
    EndMission(Fe::GameRequest::Failed);
    EXPECT_FALSE(Visible("MissionSuccess"));
    EXPECT_TRUE(Visible("MissionFailure"));
    EndMission(Fe::GameRequest::Undecided);
    EXPECT_FALSE(Visible("MissionSuccess"));
    EXPECT_FALSE(Visible("MissionFailure"));
    EXPECT_EQ(campaign->pilots[0].progress, 1);
    EXPECT_EQ(SavedProgress(), 1);
    EXPECT_EQ(frontend->gameRequest.header.fileName, campaign->missions[1].fileName);

    // The rest won: the last one completes the campaign.
    const int32_t count = int32_t(campaign->missions.size());
    for (int32_t won = 2; won <= count; ++won) {
        EndMission(Fe::GameRequest::Succeeded);
        EXPECT_EQ(SavedProgress(), won);
    }
    EXPECT_EQ(Click("PageEndMission.BtnEndMission"), uint32_t(App::FrontendEndSplrGame));
    Settle();
    ASSERT_EQ(Shown(), Get("PageCongratulations"));
    Open("PageCongratulations.BtnMainMenu", "PageMain");

    // A pilot who has won every mission goes straight to the congratulations.
    Open("BtnCampaign", "PageCampaign");
    EXPECT_EQ(campaign->selectedPilot, -1);
    Pick("PilotsList", 0);
    Open("PageCampaign.BtnSelectPilot", "PageCongratulations");
}

// Only a mission the campaign started moves its pilot on; a later mission from a list does not, and a
// completed campaign does not send other missions' ends to the congratulations.
TEST_F(SinglePlayer, OnlyTheCampaignsOwnMissionAdvancesItsPilot) {
    ASSERT_TRUE(Fe::SavePilotsFile("Pilots.dat", {Fe::PilotRecord{"Ace", 0}}));
    ToMainPage();
    Open("BtnCampaign", "PageCampaign");
    Fe::PgCampaign* campaign = Campaign();
    ASSERT_EQ(campaign->pilots.size(), 1u);
    Pick("PilotsList", 0);
    Open("PageCampaign.BtnSelectPilot", "PageBriefing");
    ASSERT_EQ(campaign->selectedPilot, 0);
    Open("PageBriefing.BtnBack", "PageCampaign");
    Open("PageCampaign.BtnBack", "PageMain");

    // The campaign's own first mission, chosen from the single missions, won with the pilot still selected.
    Open("BtnSingleMission", "PageSingleMission");
    auto* page = Get<Fe::PgSingleMission>("PageSingleMission");
    const auto first =
        std::find_if(page->missions.begin(), page->missions.end(),
                     [&](const Mission::Header& h) { return h.fileName == campaign->missions[0].fileName; });
    ASSERT_NE(first, page->missions.end());
    Pick("PageSingleMission.MissionsList", int32_t(first - page->missions.begin()));
    Open("PageSingleMission.BtnFly", "PageBriefing");
    EndMission(Fe::GameRequest::Succeeded, 59.6f);
    EXPECT_EQ(TextOf("ElapsedTimeValue"), "00:00:60");
    EXPECT_EQ(campaign->pilots[0].progress, 0);
    // The end leads back to the list the mission came from.
    EXPECT_EQ(Click("PageEndMission.BtnEndMission"), uint32_t(App::FrontendEndSplrGame));
    Settle();
    EXPECT_EQ(Shown(), Get("PageSingleMission"));
}

TEST_F(SinglePlayer, DeletingAPilotAsksFirstAndNamesMustBeValid) {
    ASSERT_TRUE(Fe::SavePilotsFile("Pilots.dat", {Fe::PilotRecord{"Ace", 1}, Fe::PilotRecord{"Viper", 2}}));
    ToMainPage();
    Open("BtnCampaign", "PageCampaign");
    Fe::PgCampaign* campaign = Campaign();
    auto* list = Get<Gui::StringList>("PilotsList");
    EXPECT_EQ(list->strings, (std::vector<Base::String>{"Ace", "Viper"}));

    Pick("PilotsList", 0);
    Frame();
    ASSERT_TRUE(Enabled("PageCampaign.BtnDeletePilot"));
    Click("PageCampaign.BtnDeletePilot");
    ASSERT_TRUE(Visible("PageCampaign.MessageBoxAreYouSure"));
    Click("PageCampaign.MessageBoxAreYouSure.No");
    EXPECT_EQ(campaign->pilots.size(), 2u);
    Click("PageCampaign.BtnDeletePilot");
    Click("PageCampaign.MessageBoxAreYouSure.Yes");
    ASSERT_EQ(campaign->pilots.size(), 1u);
    EXPECT_STREQ(campaign->pilots[0].name, "Viper");
    EXPECT_EQ(list->strings, (std::vector<Base::String>{"Viper"}));

    // Empty, and a name taken in another letter case: refused with the box, nobody added.
    Click("PageCampaign.BtnCreatePilot");
    Click("PageCampaign.BtnAddPilot");
    EXPECT_TRUE(Visible("PageCampaign.MessageBoxInvalidPilotName"));
    Click("PageCampaign.MessageBoxInvalidPilotName.Ok");
    EXPECT_FALSE(Visible("PageCampaign.MessageBoxInvalidPilotName"));
    Get<Gui::Edit>("PilotNameEdt")->SetText("VIPER");
    Click("PageCampaign.BtnAddPilot");
    EXPECT_TRUE(Visible("PageCampaign.MessageBoxInvalidPilotName"));
    Click("PageCampaign.MessageBoxInvalidPilotName.Ok");
    EXPECT_EQ(campaign->pilots.size(), 1u);
    // Back leaves the new-pilot view, then the page.
    Click("PageCampaign.BtnBack");
    EXPECT_TRUE(Visible("PageCampaign.ViewPilots"));
    EXPECT_EQ(Shown(), Get("PageCampaign"));
    Open("PageCampaign.BtnBack", "PageMain");
    // Deleted pilots stay deleted in the file written at exit.
    frontend.reset();
    ASSERT_EQ(Fe::LoadPilotsFile("Pilots.dat").size(), 1u);
}

// A quick tap on "New pilot", its press and release seen in one poll (as on a slow frame): the name field
// still takes the keys that follow.
TEST_F(SinglePlayer, ATapOnNewPilotLeavesTheKeysToTheNameField) {
    ToMainPage();
    Open("BtnCampaign", "PageCampaign");
    ASSERT_TRUE(PointAt(Get("PageCampaign.BtnCreatePilot")));
    mouse.nextClick = 0;
    mouse.buttons[0] = 0;
    Frame();
    ASSERT_TRUE(Visible("PageCampaign.AddPilot"));
    TypeName({0x1E, 0x2E, 0x12}); // A c e
    EXPECT_EQ(TextOf("PilotNameEdt"), "Ace");
}

// The lists on the sample missions: single missions by name without training, training by file name; the
// briefing's back button returns to the list, and a mission without equipment selection flies at once.
TEST_F(SinglePlayer, ListsLeadToTheBriefingAndBack) {
    ToMainPage();
    Open("BtnSingleMission", "PageSingleMission");
    auto* single = Get<Fe::PgSingleMission>("PageSingleMission");
    auto* list = Get<Gui::StringList>("PageSingleMission.MissionsList");
    ASSERT_EQ(list->strings.size(), single->missions.size());
    EXPECT_TRUE(std::is_sorted(list->strings.begin(), list->strings.end(), Fe::LessNoCase));
    for (const char* name : {"Intercept", "Two Bandits"})
        EXPECT_NE(std::find(list->strings.begin(), list->strings.end(), name), list->strings.end()) << name;
    for (const Mission::Header& header : single->missions)
        EXPECT_EQ(Base::String(header.fileName).find("\\Training\\"), Base::String::npos) << header.fileName;
    EXPECT_FALSE(Enabled("PageSingleMission.BtnFly"));
    const int32_t bandits =
        int32_t(std::find(list->strings.begin(), list->strings.end(), "Two Bandits") - list->strings.begin());
    Pick("PageSingleMission.MissionsList", bandits);
    Frame();
    EXPECT_TRUE(Enabled("PageSingleMission.BtnFly"));
    EXPECT_FALSE(Enabled("PageSingleMission.BtnDeleteMission"));
    Open("PageSingleMission.BtnFly", "PageBriefing");
    EXPECT_EQ(frontend->gameRequest.header.name, "Two Bandits");
    Open("PageBriefing.BtnBack", "PageSingleMission");
    Open("PageSingleMission.BtnBack", "PageMain");

    Open("BtnTraining", "PageTraining");
    auto* training = Get<Fe::PgTraining>("PageTraining");
    ASSERT_GE(training->missions.size(), 2u);
    EXPECT_TRUE(std::is_sorted(training->missions.begin(), training->missions.end(),
                               [](const Mission::Header& a, const Mission::Header& b) {
                                   return Fe::LessNoCase(a.fileName, b.fileName);
                               }));
    EXPECT_EQ(Get<Gui::StringList>("PageTraining.MissionsList")->strings[0], training->missions[0].name);
    Pick("PageTraining.MissionsList", 0);
    Open("PageTraining.BtnFly", "PageBriefing");
    ASSERT_FALSE(frontend->gameRequest.header.selectEquipment);
    EXPECT_TRUE(Visible("PageBriefing.BtnFly"));
    EXPECT_FALSE(Visible("PageBriefing.BtnSelectAirplane"));
    const Fe::Page* loading = frontend->desktop->Find<Fe::Page>("PageLoadingSPlr", true);
    const uint32_t action = Click("PageBriefing.BtnFly");
    if (loading) {
        EXPECT_EQ(frontend->targetPage, loading);
    } else {
        EXPECT_EQ(action, uint32_t(App::FrontendStartSplrGame));
    }
}

// Only a generated mission, in the user folder, can be deleted; the list then loses it.
TEST_F(SinglePlayer, OnlyUserMissionsCanBeDeleted) {
    ToMainPage();
    const auto mission = [](const fs::path& file, const char* name) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "Name\t\"" << name << "\"\nObjectives\t\"o\"\nBriefing\t\"b\"\nTimeOfDay\t1\n";
    };
    mission(scratch / "Own" / "Scripts" / "Missions" / "User" / "Mine.msn", "Mine");
    mission(scratch / "Own" / "Scripts" / "Missions" / "Single" / "Theirs.msn", "Theirs");
    Base::TextTable.GetChildForWrite("DataDir")->SetValue("Own");
    Open("BtnSingleMission", "PageSingleMission");
    auto* list = Get<Gui::StringList>("PageSingleMission.MissionsList");
    ASSERT_EQ(list->strings, (std::vector<Base::String>{"Mine", "Theirs"}));
    Pick("PageSingleMission.MissionsList", 1);
    Frame();
    EXPECT_FALSE(Enabled("PageSingleMission.BtnDeleteMission"));
    Pick("PageSingleMission.MissionsList", 0);
    Frame();
    ASSERT_TRUE(Enabled("PageSingleMission.BtnDeleteMission"));
    Click("PageSingleMission.BtnDeleteMission");
    EXPECT_FALSE(fs::exists(scratch / "Own" / "Scripts" / "Missions" / "User" / "Mine.msn"));
    EXPECT_TRUE(fs::exists(scratch / "Own" / "Scripts" / "Missions" / "Single" / "Theirs.msn"));
    EXPECT_EQ(list->strings, (std::vector<Base::String>{"Theirs"}));
}

} // namespace
