// The pages around a single-player game, played on the test rig through the program's own main loop: the
// loading page starts the game, Escape brings up the pause menu, which resumes, shows the map, restarts the
// mission and ends or aborts the game.
#include "SPlrFixture.h"

#include "aircraft/Airplane.h"
#include "app/Application.h"
#include "app/ModeMachine.h"
#include "audio/MusicPlayer.h"
#include "audio/SoundGroup.h"
#include "frontend/InGamePages.h"
#include "gui/Button.h"
#include "gui/Cursor.h"
#include "gui/Lists.h"
#include "gui/WorldMap.h"
#include "mission/Header.h"
#include "mission/Mission.h"
#include "pilots/Pilot.h"

#include <fstream>
#include <string>

namespace {

using SPlrTest::SPlrPages;

TEST_F(SPlrPages, LoadingStartsTheGameWithTheMenusSilent) {
    frontend->SwitchPage("PageMain", 0.0f);
    Frame();
    Frame();
    ASSERT_TRUE(Showing("PageMain"));
    ASSERT_TRUE(frontend->desktop->cursor->visible);
    frontend->music->playsRemaining = -1;
    frontend->music->currentTrack = 2;
    frontend->SwitchPage("PageLoadingSPlr", 0.0f);
    Frame(); // the switch
    EXPECT_TRUE(Showing("PageLoadingSPlr"));
    EXPECT_EQ(App::SplrGame, nullptr);
    Frame(); // the page's first update
    EXPECT_TRUE(InGame());
    ASSERT_NE(App::SplrGame, nullptr);
    EXPECT_FALSE(frontend->desktop->cursor->visible);
    EXPECT_EQ(frontend->music->currentTrack, 0u);
    EXPECT_EQ(frontend->music->sound, nullptr);
    EXPECT_EQ(frontend->menuSounds->volume, 0.0f);
    EXPECT_EQ(App::SplrGame->mission->FindObject("PlayerAirplane") != nullptr, false); // not run yet
    Frame();
    EXPECT_NE(App::SplrGame->mission->FindObject("PlayerAirplane"), nullptr);
}

// A player's visit to the pause menu: resume, then once the mission is won the map, a restart that clears
// the result, and the end of the game.
TEST_F(SPlrPages, PauseMenuResumesShowsTheMapRestartsAndEnds) {
    ASSERT_NO_FATAL_FAILURE(StartGame());
    SPlr::Game* game = App::SplrGame;
    for (int i = 0; i < 5; ++i)
        Frame();
    ASSERT_NO_FATAL_FAILURE(Pause());
    EXPECT_EQ(App::SplrGame, game);
    EXPECT_TRUE(frontend->desktop->cursor->visible);
    // Undecided: the mission can be aborted, not ended.
    EXPECT_EQ(Button("PageInSPlr.BtnAbortMission")->state, Gui::Button::Normal);
    EXPECT_EQ(Button("PageInSPlr.BtnEndMission")->state, Gui::Button::Disabled);
    // The game waits.
    const float paused = GameTime();
    for (int i = 0; i < 5; ++i)
        Frame();
    EXPECT_EQ(GameTime(), paused);

    ui->Click("PageInSPlr.BtnResumeGame");
    Frame();
    EXPECT_TRUE(InGame());
    EXPECT_EQ(App::SplrGame, game);
    ASSERT_TRUE(FramesUntil([&] { return frontend->gameRequest.resultCode == Fe::GameRequest::Succeeded; }));
    EXPECT_TRUE(InGame()); // a result alone does not end the game
    EXPECT_GT(GameTime(), paused);

    ASSERT_NO_FATAL_FAILURE(Pause());
    EXPECT_EQ(Button("PageInSPlr.BtnAbortMission")->state, Gui::Button::Disabled);
    EXPECT_EQ(Button("PageInSPlr.BtnEndMission")->state, Gui::Button::Normal);

    // The map shows the player's airplane where the game left it, and leads back.
    ui->Click("PageInSPlr.BtnMap");
    ASSERT_TRUE(FramesUntil([&] { return Showing("PageGameMap"); }));
    auto* map = frontend->desktop->Find<Gui::WorldMap>("PageGameMap.GameMap", true);
    ASSERT_NE(map, nullptr);
    const Obj::Airplane* airplane = App::SplrGame->PlayerAirplane();
    ASSERT_NE(airplane, nullptr);
    const Gui::MapObjectRecord* player = nullptr;
    for (const Gui::MapObjectRecord& record : map->objects)
        if (record.canBeFocused) {
            EXPECT_EQ(player, nullptr) << "two players";
            player = &record;
        }
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->name, Base::GetText("Fe.Player"));
    EXPECT_EQ(player->colour, Fe::PgGameMap::FriendlyColour);
    EXPECT_EQ(player->textureName, airplane->mapIcon);
    EXPECT_FLOAT_EQ(map->zoom, Fe::PgGameMap::PlayerZoom);
    ui->Click("PageGameMap.BtnBack");
    ASSERT_TRUE(FramesUntil([&] { return Showing("PageInSPlr"); }));

    // A restart builds the mission again from the request, undecided.
    ui->Click("PageInSPlr.BtnRestartGame");
    ASSERT_TRUE(FramesUntil([&] { return InGame(); }));
    EXPECT_TRUE(Shown() == Page("PageRestartingSPlr"));
    EXPECT_EQ(frontend->gameRequest.resultCode, Fe::GameRequest::Undecided);
    ASSERT_NE(App::SplrGame, nullptr);
    EXPECT_LT(GameTime(), 0.5f);
    ASSERT_NO_FATAL_FAILURE(Pause());
    EXPECT_EQ(Button("PageInSPlr.BtnEndMission")->state, Gui::Button::Disabled);
    ui->Click("PageInSPlr.BtnResumeGame");
    ASSERT_TRUE(FramesUntil([&] { return frontend->gameRequest.resultCode == Fe::GameRequest::Succeeded; }));

    ASSERT_NO_FATAL_FAILURE(Pause());
    ui->Click("PageInSPlr.BtnEndMission");
    Frame();
    EXPECT_EQ(App::SplrGame, nullptr);
    EXPECT_EQ(App::Mode, App::FrontendMode);
    Frame();
    EXPECT_TRUE(Showing("PageMain"));
}

TEST_F(SPlrPages, AbortLeavesAnUndecidedMissionForTheMainPage) {
    ASSERT_NO_FATAL_FAILURE(StartGame());
    Frame();
    ASSERT_NO_FATAL_FAILURE(Pause());
    // The end button is disabled: a click does nothing.
    ui->Click("PageInSPlr.BtnEndMission");
    Frame();
    EXPECT_NE(App::SplrGame, nullptr);
    EXPECT_TRUE(Showing("PageInSPlr"));
    ui->Click("PageInSPlr.BtnAbortMission");
    Frame();
    EXPECT_EQ(App::SplrGame, nullptr);
    Frame();
    EXPECT_TRUE(Showing("PageMain"));
    EXPECT_EQ(frontend->gameRequest.resultCode, Fe::GameRequest::Undecided);
}

// The map of a game's world: every damageable object whose icon loads, by side, the player's airplane by
// its own label, centred on the player's pilot.
TEST_F(SPlrPages, GameMapShowsTheWorldsObjectsByTheirIconsAndSides) {
    // The built-in flight: the player's fighter under two others, one of them made an enemy.
    Fe::GameRequest request = frontend->gameRequest;
    request.header = Mission::Header();
    frontend->gameRequest.Assign(request);
    ASSERT_NO_FATAL_FAILURE(StartGame());
    Frame();
    SPlr::Game* game = App::SplrGame;
    Obj::Airplane* own = game->PlayerAirplane();
    ASSERT_NE(own, nullptr);
    std::vector<Obj::Airplane*> others;
    static_cast<Grp::Simple<Obj::Object>&>(*game->world).ForEach([&](Obj::Object* object) {
        if (auto* airplane = dynamic_cast<Obj::Airplane*>(object); airplane && airplane != own)
            others.push_back(airplane);
    });
    ASSERT_EQ(others.size(), 2u);
    others[0]->allegiance = Obj::Enemy;
    others[1]->allegiance = Obj::Friendly;
    auto* page = Page("PageGameMap");
    auto* map = frontend->desktop->Find<Gui::WorldMap>("PageGameMap.GameMap", true);
    ASSERT_NE(map, nullptr);
    map->AddObject("stale", {0, 0}, "IconFighter", 0xFFFFFFFF, false, false);
    map->SetZoom(1.5f);
    Fe::PgGameMap::ShowWorld(page, game->world.get());

    size_t expected = 0;
    static_cast<Grp::Simple<Obj::Object>&>(*game->world).ForEach([&](Obj::Object* object) {
        auto* damageable = dynamic_cast<Obj::Damageable*>(object);
        if (!damageable)
            return;
        const RwSphere* sphere = damageable->GetBoundingSphere();
        if (!sphere) // the terrain: nowhere in particular
            return;
        const bool isPlayer = object == own;
        const Gui::MapObjectRecord* found = nullptr;
        for (const Gui::MapObjectRecord& record : map->objects)
            if (record.position.x == sphere->center.x && record.position.y == sphere->center.z &&
                record.textureName == damageable->mapIcon && record.canBeFocused == isPlayer)
                found = &record;
        ASSERT_NE(found, nullptr) << damageable->name;
        EXPECT_EQ(found->name, isPlayer ? Base::GetText("Fe.Player") : damageable->name);
        EXPECT_EQ(found->colour, damageable->allegiance == Obj::Friendly ? Fe::PgGameMap::FriendlyColour
                                                                         : Fe::PgGameMap::EnemyColour);
        ++expected;
    });
    EXPECT_EQ(map->objects.size(), expected); // the stale entry went
    EXPECT_FLOAT_EQ(map->zoom, Fe::PgGameMap::PlayerZoom);

    // An object whose icon is missing stays off the map; a world without the player's pilot leaves the view.
    own->mapIcon = "NoSuchIcon";
    map->SetZoom(1.5f);
    const Base::Vector2 scroll = map->scrollPos;
    SPlr::World empty;
    Fe::PgGameMap::ShowWorld(page, &empty);
    EXPECT_TRUE(map->objects.empty());
    EXPECT_FLOAT_EQ(map->zoom, 1.5f);
    EXPECT_EQ(map->scrollPos.x, scroll.x);
    EXPECT_EQ(map->scrollPos.y, scroll.y);
    Fe::PgGameMap::ShowWorld(page, game->world.get());
    EXPECT_EQ(map->objects.size(), expected - 1);
    for (const Gui::MapObjectRecord& record : map->objects)
        EXPECT_FALSE(record.canBeFocused);
}

// The controls panel's "Pitch" selector: picked on the options page, in force at once, undone by the panel's
// defaults, and flown by the game that starts next: the Up key then raises the nose instead of lowering it.
TEST_F(SPlrPages, PitchSelectorOnTheOptionsPageInvertsTheStickInTheGame) {
    for (bool inverted : {false, true}) {
        SCOPED_TRACE(inverted);
        frontend->SwitchPage("PageMain", 0.0f);
        ASSERT_TRUE(FramesUntil([&] { return Showing("PageMain"); }));
        ui->Click("PageMain.BtnOptions");
        ASSERT_TRUE(FramesUntil([&] { return Showing("PageOptions"); }));
        ui->Click("PageOptions.BtnControls");
        Frame();
        const auto* pitch = frontend->desktop->Find<Gui::StringSelector>("PageOptions.PitchType", true);
        ASSERT_NE(pitch, nullptr);
        EXPECT_TRUE(pitch->visible);
        EXPECT_EQ(pitch->GetSelectedIndex(), frontend->config.invertPitch ? 1 : 0);
        auto* defaults = Button("PageOptions.OptionsControls.BtnSetDefaults");
        ASSERT_NE(defaults, nullptr);

        ui->Click("PageOptions.PitchNext");
        Frame();
        EXPECT_TRUE(frontend->config.invertPitch);
        EXPECT_EQ(pitch->strings[size_t(pitch->GetSelectedIndex())], "Inverted");
        Frame(); // the panel offers its defaults from the next frame on
        EXPECT_NE(defaults->state, Gui::Button::Disabled);
        // The defaults put the pitch back to normal and leave nothing more to restore.
        ui->Click("PageOptions.OptionsControls.BtnSetDefaults");
        for (int i = 0; i < 3; ++i)
            Frame();
        EXPECT_FALSE(frontend->config.invertPitch);
        EXPECT_EQ(pitch->GetSelectedIndex(), 0);
        EXPECT_EQ(defaults->state, Gui::Button::Disabled);
        if (inverted) {
            ui->Click("PageOptions.PitchNext");
            Frame();
        }
        ASSERT_EQ(frontend->config.invertPitch, inverted);
        ui->Click("PageOptions.BtnBack");
        ASSERT_TRUE(FramesUntil([&] { return Showing("PageMain"); }));

        ASSERT_NO_FATAL_FAILURE(StartGame());
        ASSERT_TRUE(FramesUntil([&] { return App::SplrGame->PlayerAirplane() != nullptr; }));
        Script(std::to_string(frame + 1) + " keyboard down UP\n");
        for (int i = 0; i < 30; ++i)
            Frame();
        const Obj::Airplane* airplane = App::SplrGame->PlayerAirplane();
        ASSERT_NE(airplane, nullptr);
        const float command = airplane->GetState().pitchInput;
        if (inverted)
            EXPECT_GT(command, 0.1f) << "Up raises the nose";
        else
            EXPECT_LT(command, -0.1f) << "Up lowers the nose";
        Script(std::to_string(frame + 1) + " keyboard up UP\n");
        ASSERT_NO_FATAL_FAILURE(Pause());
        const bool won = frontend->gameRequest.resultCode == Fe::GameRequest::Succeeded;
        ui->Click(won ? "PageInSPlr.BtnEndMission" : "PageInSPlr.BtnAbortMission");
        ASSERT_TRUE(FramesUntil([&] { return App::SplrGame == nullptr; }));
    }
}

} // namespace
