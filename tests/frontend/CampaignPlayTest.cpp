// The campaign played from the main page on the test rig, through the program's own main loop: a new
// pilot, each campaign mission briefed, its airplane and weapons chosen, flown to a scripted result and
// closed on the end page, until the congratulations. Every step is a click or a key on the real pages and
// the real game; the scripted part is the combat: the mission's enemies are destroyed outright, or the
// player's airplane is.
#include "SPlrFixture.h"

#include "aircraft/Airplane.h"
#include "cockpit/Cockpit.h"
#include "frontend/Briefing.h"
#include "frontend/Campaign.h"
#include "gui/Text.h"
#include "gui/WorldMap.h"
#include "hud/Hud.h"
#include "mission/Mission.h"
#include "weapons/AirplaneGun.h"
#include "weapons/AutoWeapons.h"
#include "weapons/Stores.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using SPlrTest::SPlrPages;

class CampaignPlay : public SPlrPages {
protected:
    void SetUp() override {
        SPlrPages::SetUp();
        if (HasFatalFailure())
            return;
        // What the program installs at start-up: the game's weapons, stores and HUD.
        Weapons::InstallVehicleWeapons();
        Weapons::InstallAirplaneGun();
        Hud::RegisterHud();
        Weapons::InstallStores();
        campaign = frontend->desktop->Find<Fe::PgCampaign>("PageCampaign", true);
        ASSERT_NE(campaign, nullptr);
        ASSERT_TRUE(campaign->pilots.empty()) << "the scratch folder holds no pilots";
        frontend->SwitchPage("PageMain", 0.0f);
        ASSERT_TRUE(FramesUntil([&] { return Showing("PageMain"); }));
    }

    // The briefing shows the mission the pilot stands at.
    void ExpectBriefing(const char* fileTitle, const char* objectives) {
        ASSERT_TRUE(Showing("PageBriefing"));
        const Mission::Header& header = frontend->gameRequest.header;
        EXPECT_NE(header.fileName.find(fileTitle), std::string::npos) << header.fileName;
        auto* text = frontend->desktop->Find<Gui::Text>("PageBriefing.ObjectivesText", true);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->text, objectives);
        EXPECT_EQ(frontend->desktop->Find<Gui::Text>("PageBriefing.BriefingText", true)->text,
                  header.briefing);
        // The campaign's missions offer the selection.
        EXPECT_FALSE(Button("PageBriefing.BtnFly")->visible);
        EXPECT_TRUE(Button("PageBriefing.BtnSelectAirplane")->visible);
    }

    // Briefing -> airplane -> weapons (a preset) -> loading -> the game, eight times faster.
    void Fly(int32_t airplane, const char* preset) {
        ClickTo("PageBriefing.BtnSelectAirplane", "PageSelectAirplane");
        ASSERT_NO_FATAL_FAILURE(SelectAndFly(airplane, preset));
        FasterTime(3);
    }

    // The scripted win: every enemy the mission holds by name is destroyed.
    void DestroyEnemies() {
        std::vector<Obj::Damageable*> enemies;
        for (const auto& [name, object] : App::SplrGame->mission->objects)
            if (object && object->allegiance == Obj::Enemy && object->hitPoints > 0)
                enemies.push_back(object.Get());
        ASSERT_FALSE(enemies.empty());
        for (Obj::Damageable* enemy : enemies)
            enemy->SetHitPoints(0);
    }

    const Fe::PilotRecord* Saved(const char* name) {
        saved = Fe::LoadPilotsFile("Pilots.dat");
        for (const Fe::PilotRecord& pilot : saved)
            if (std::strcmp(pilot.name, name) == 0)
                return &pilot;
        return nullptr;
    }

    Fe::PgCampaign* campaign = nullptr;
    std::vector<Fe::PilotRecord> saved;
};

TEST_F(CampaignPlay, ANewPilotFliesTheCampaignToTheCongratulations) {
    // A new pilot, "Ace": the campaign's first mission is briefed at once.
    ClickTo("PageMain.BtnCampaign", "PageCampaign");
    ui->Click("PageCampaign.BtnCreatePilot");
    Frame();
    ui->Type("PilotNameEdt", "Ace", frame);
    for (int i = 0; i < 8; ++i)
        Frame();
    ASSERT_EQ(frontend->desktop->Find<Gui::Edit>("PilotNameEdt", true)->text, "Ace");
    ClickTo("PageCampaign.BtnAddPilot", "PageBriefing");
    ASSERT_EQ(campaign->pilots.size(), 1u);
    EXPECT_STREQ(campaign->pilots[0].name, "Ace");
    EXPECT_EQ(campaign->pilots[0].progress, 0);
    ASSERT_NO_FATAL_FAILURE(ExpectBriefing("1Intercept", "Intercept and destroy the three enemy fighters."));
    // The map holds the mission's own entries, centred on the first; the raid's route is drawn.
    auto* map = frontend->desktop->Find<Gui::WorldMap>("PageBriefing.WorldMap", true);
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(map->objects.size(), 2u);
    EXPECT_EQ(map->objects.front().name, "Raid");
    EXPECT_TRUE(map->objects.front().drawLine);
    EXPECT_EQ(map->objects.back().name, "Coast Field");
    EXPECT_FLOAT_EQ(map->zoom, 0.2f);

    // The Su25 with its air-to-air set-up.
    ASSERT_NO_FATAL_FAILURE(Fly(1, "AirToAir"));
    const Obj::Airplane* airplane = App::SplrGame->PlayerAirplane();
    EXPECT_EQ(airplane->name, "Su25");
    const Weapons::Stores* stores = Weapons::Stores::Of(airplane);
    ASSERT_NE(stores, nullptr);
    EXPECT_FALSE(stores->lastSetup.empty());
    // The mission's navigation point leads the player to the raid.
    const auto* cockpit = dynamic_cast<const Cockpit::Cockpit*>(airplane->cockpit.get());
    ASSERT_NE(cockpit, nullptr);
    const Cockpit::Navpoint* raid = cockpit->navpoints->Get(0);
    ASSERT_NE(raid, nullptr);
    EXPECT_EQ(raid->name, "Raid");

    // Won: the end page says so, the pilot stands at the next mission and the file says it too.
    ASSERT_NO_FATAL_FAILURE(DestroyEnemies());
    ASSERT_NO_FATAL_FAILURE(UntilTheEndPage());
    EXPECT_TRUE(Shows("PageEndMission.MissionSuccess"));
    EXPECT_FALSE(Shows("PageEndMission.MissionFailure"));
    EXPECT_EQ(campaign->pilots[0].progress, 1);
    const Fe::PilotRecord* ace = Saved("Ace");
    ASSERT_NE(ace, nullptr);
    EXPECT_EQ(ace->progress, 1);
    EXPECT_EQ(Button("PageEndMission.BtnAbortMission")->state, Gui::Button::Disabled);
    const Base::String elapsed = frontend->desktop->Find<Gui::Text>("ElapsedTimeValue", true)->text;
    EXPECT_EQ(elapsed, Fe::FormatElapsedTime(frontend->gameRequest.elapsedTime));
    EXPECT_NE(elapsed, "00:00:00");

    // On to the next mission's briefing; the game is gone.
    ClickTo("PageEndMission.BtnEndMission", "PageBriefing");
    EXPECT_EQ(App::SplrGame, nullptr);
    ASSERT_NO_FATAL_FAILURE(ExpectBriefing("2Convoy",
                                           "Destroy the four supply trucks before the convoy reaches "
                                           "Coast Field."));

    // Lost: the player's airplane goes down. The progress stays; a restart clears the result; the mission
    // is aborted from the pause menu back to the main page.
    ASSERT_NO_FATAL_FAILURE(Fly(0, "AirToGround"));
    EXPECT_EQ(App::SplrGame->PlayerAirplane()->name, "Mig29");
    App::SplrGame->PlayerAirplane()->SetHitPoints(0);
    ASSERT_NO_FATAL_FAILURE(UntilTheEndPage());
    EXPECT_FALSE(Shows("PageEndMission.MissionSuccess"));
    EXPECT_TRUE(Shows("PageEndMission.MissionFailure"));
    EXPECT_EQ(campaign->pilots[0].progress, 1);
    ASSERT_NE(Saved("Ace"), nullptr);
    EXPECT_EQ(Saved("Ace")->progress, 1);
    ui->Click("PageEndMission.BtnRestartGame");
    ASSERT_TRUE(FramesUntil([&] { return InGame(); }));
    EXPECT_EQ(frontend->gameRequest.resultCode, Fe::GameRequest::Undecided);
    ASSERT_TRUE(FramesUntil([&] { return App::SplrGame->PlayerAirplane() != nullptr; }));
    ASSERT_NO_FATAL_FAILURE(Pause());
    EXPECT_EQ(Button("PageInSPlr.BtnAbortMission")->state, Gui::Button::Normal);
    ClickTo("PageInSPlr.BtnAbortMission", "PageMain");
    EXPECT_EQ(App::SplrGame, nullptr);

    // Back with the same pilot: the second mission, won this time.
    ClickTo("PageMain.BtnCampaign", "PageCampaign");
    ui->Pick("PilotsList", "Ace");
    Frame();
    ClickTo("PageCampaign.BtnSelectPilot", "PageBriefing");
    ASSERT_NO_FATAL_FAILURE(ExpectBriefing("2Convoy",
                                           "Destroy the four supply trucks before the convoy reaches "
                                           "Coast Field."));
    ASSERT_NO_FATAL_FAILURE(Fly(1, "AirToGround"));
    ASSERT_NO_FATAL_FAILURE(DestroyEnemies());
    ASSERT_NO_FATAL_FAILURE(UntilTheEndPage());
    EXPECT_TRUE(Shows("PageEndMission.MissionSuccess"));
    EXPECT_EQ(campaign->pilots[0].progress, 2);
    ClickTo("PageEndMission.BtnEndMission", "PageBriefing");

    // The last one: the carrier's defence.
    EXPECT_NE(frontend->gameRequest.header.fileName.find("3CarrierDefence"), std::string::npos);
    ASSERT_NO_FATAL_FAILURE(Fly(3, "AirToAir"));
    ASSERT_NO_FATAL_FAILURE(DestroyEnemies());
    ASSERT_NO_FATAL_FAILURE(UntilTheEndPage());
    EXPECT_TRUE(Shows("PageEndMission.MissionSuccess"));
    EXPECT_EQ(campaign->pilots[0].progress, 3);
    EXPECT_EQ(Saved("Ace")->progress, 3);

    // The campaign is complete; later the pilot goes straight to the congratulations.
    ClickTo("PageEndMission.BtnEndMission", "PageCongratulations");
    EXPECT_EQ(App::SplrGame, nullptr);
    ClickTo("PageCongratulations.BtnMainMenu", "PageMain");
    ClickTo("PageMain.BtnCampaign", "PageCampaign");
    ui->Pick("PilotsList", "Ace");
    Frame();
    ClickTo("PageCampaign.BtnSelectPilot", "PageCongratulations");
}

} // namespace
