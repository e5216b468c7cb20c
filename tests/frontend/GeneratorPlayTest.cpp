// A generated mission played from the main page on the test rig, through the program's own main loop: the
// single-mission list, the generator's page with the player's choices, Fly, the airplane and weapon pages,
// the game to a scripted win or loss, the end page and back to the list. The user missions' folder is the
// test's own, and the generator draws from a fixed seed.
#include "LinkData.h"
#include "SPlrFixture.h"

#include "aircraft/Airplane.h"
#include "base/RandomTimeStamp.h"
#include "frontend/PgCreateMission.h"
#include "mission/Mission.h"
#include "weapons/Stores.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using SPlrTest::SPlrPages;

class GeneratorPlay : public SPlrPages {
protected:
    void SetUp() override {
        SPlrPages::SetUp();
        if (HasFatalFailure())
            return;
        Weapons::InstallStores();
        fs::remove(scratch / "Data");
        FrontendTest::LinkDataButUserMissions(fs::path(CORVANE_BINARY_DIR) / "data" / "Data",
                                              scratch / "Data");
        Base::RandomTimeStamp = [] { return 7u; };
        frontend->SwitchPage("PageMain", 0.0f);
        ASSERT_TRUE(FramesUntil([&] { return Showing("PageMain"); }));
    }
    void TearDown() override {
        Base::RandomTimeStamp = nullptr;
        SPlrPages::TearDown();
    }

    // The generator's page with a sortie against one wave of two fighters, the start dragged on the map
    // to where this seed's wave comes in over the land, high above it.
    void Generate() {
        ClickTo("PageMain.BtnSingleMission", "PageSingleMission");
        ClickTo("PageSingleMission.BtnCreateMission", "PageCreateMission");
        auto* page = frontend->desktop->Find<Fe::PgCreateMission>("PageCreateMission", true);
        ASSERT_NE(page, nullptr);
        ASSERT_NE(page->startObject, nullptr);
        page->startObject->position = {-12000, 0};
        ui->Pick("AltitudeList", std::string("8000"));
        ui->Pick("FriendlyList", std::string("2"));
        ui->Pick("EnemyWavesList", std::string("1"));
        ui->Pick("EnemiesList", std::string("2"));
        ui->Pick("TanksList", std::string("0"));
        Frame();
        Frame();
        ClickTo("PageCreateMission.BtnFly", "PageSelectAirplane");
        EXPECT_EQ(frontend->gameRequest.header.name, "UserMission");
        EXPECT_TRUE(fs::exists(scratch / "Data" / "Scripts" / "Missions" / "User" / "UserMission.info"));
    }

    // The Su27 with its air-to-air set-up, at four times the pace.
    void Fly() {
        ASSERT_NO_FATAL_FAILURE(SelectAndFly(2, "AirToAir"));
        EXPECT_EQ(App::SplrGame->PlayerAirplane()->name, "Su27");
        FasterTime(2);
    }

    // The end page leads back to the single-mission list, and the game is gone.
    void EndToTheList() {
        ClickTo("PageEndMission.BtnEndMission", "PageSingleMission");
        EXPECT_EQ(App::SplrGame, nullptr);
    }
};

TEST_F(GeneratorPlay, WonWhenTheEnemyFightersAreShotDown) {
    ASSERT_NO_FATAL_FAILURE(Generate());
    ASSERT_NO_FATAL_FAILURE(Fly());
    const std::vector<Obj::Airplane*> enemies = GameTest::EnemyAirplanes(*App::SplrGame->mission);
    ASSERT_EQ(enemies.size(), 2u);
    ASSERT_NO_FATAL_FAILURE(GameTest::ShootDownOverTheMap(enemies));
    ASSERT_NO_FATAL_FAILURE(UntilTheEndPage());
    EXPECT_TRUE(Shows("PageEndMission.MissionSuccess"));
    EXPECT_FALSE(Shows("PageEndMission.MissionFailure"));
    EXPECT_EQ(frontend->gameRequest.resultCode, Fe::GameRequest::Succeeded);
    ASSERT_NO_FATAL_FAILURE(EndToTheList());
}

TEST_F(GeneratorPlay, LostWhenThePlayersAirplaneGoesDown) {
    ASSERT_NO_FATAL_FAILURE(Generate());
    // Back from the airplane page is back to the generator.
    ClickTo("PageSelectAirplane.BtnBack", "PageCreateMission");
    ClickTo("PageCreateMission.BtnFly", "PageSelectAirplane");
    ASSERT_NO_FATAL_FAILURE(Fly());
    App::SplrGame->PlayerAirplane()->SetHitPoints(0);
    ASSERT_NO_FATAL_FAILURE(UntilTheEndPage());
    EXPECT_FALSE(Shows("PageEndMission.MissionSuccess"));
    EXPECT_TRUE(Shows("PageEndMission.MissionFailure"));
    EXPECT_EQ(frontend->gameRequest.resultCode, Fe::GameRequest::Failed);
    ASSERT_NO_FATAL_FAILURE(EndToTheList());
}

} // namespace
