// The front end and the single-player game on the test rig, run by the program's own main loop: the engine
// on a hidden window over the sample data, the fixed clock, scripted input and the UI driver on the menus.
// The request holds a quick mission that spawns the player on the Coast Field and is won after a second.
#pragma once

#include "tests/games/GameFixture.h"
#include "tests/rig/UiDriver.h"

#include "app/Application.h"
#include "app/ModeMachine.h"
#include "frontend/InGamePages.h"
#include "gui/Button.h"
#include "mission/Header.h"

#include <fstream>
#include <memory>
#include <string>

namespace SPlrTest {

// Spawns the player on the Coast Field and wins (without ending the game) after a second.
const char* const QuickMission =
    "Name\tQuick\nObjectives\t\"Wait.\"\nBriefing\t\"Wait a second.\"\nTimeOfDay\t1\n"
    "Events\n{\n"
    "\t0Init\n\t{\n\t\tActions\n\t\t{\n\t\t\t0Player\tSpawnPlayer\n\t\t\t{\n"
    "\t\t\t\tSetupType\tAirbase\n\t\t\t\tAirbaseId\tCoast Field\n"
    "\t\t\t\tRunwayName\t09\n\t\t\t}\n\t\t}\n\t}\n"
    "\t1Won\n\t{\n\t\tCondition\tTimeFromStart\n\t\t{\n\t\t\tOp\tGreaterEqual\n"
    "\t\t\tValue\t1\n\t\t}\n\t\tActions\n\t\t{\n\t\t\t0\tSucceed\n\t\t}\n\t}\n}\n";

class SPlrPages : public GameTest::GameRig {
protected:
    void SetUp() override {
        GameRig::SetUp();
        if (HasFatalFailure())
            return;
        App::Frontend = frontend.get();
        App::Keyboard = keyboard.get();
        App::Mouse = mouse.get();
        App::Joystick = joystick.get();
        App::SplrGame = nullptr;
        App::Mode = App::FrontendMode;
        ui = std::make_unique<Rig::UiDriver>(*frontend->desktop, input.get());

        std::ofstream("Quick.msn") << QuickMission;
        const Mission::Header* header = Mission::Header::Load("Quick.msn");
        ASSERT_NE(header, nullptr);
        Fe::GameRequest request = frontend->gameRequest;
        request.header = *header;
        request.airplane = "Airplanes\\Su27";
        frontend->gameRequest.Assign(request);
        if (auto* map = frontend->desktop->Find<Fe::PgGameMap>("PageGameMap", true))
            map->backPage = "PageInSPlr";
    }

    void TearDown() override {
        delete App::SplrGame;
        App::SplrGame = nullptr;
        App::Frontend = nullptr;
        App::Keyboard = nullptr;
        App::Mouse = nullptr;
        App::Joystick = nullptr;
        App::Mode = App::FrontendMode;
        ui.reset();
        GameRig::TearDown();
    }

    // One frame of the program: the script's events, then the main loop's frame.
    void Frame() {
        ui->BeginFrame(input->script, frame);
        input->BeginFrame(frame++);
        App::RunFrame();
    }
    // Frames until the condition holds; false after ten seconds of them.
    template <class F> bool FramesUntil(F done) {
        for (int i = 0; i < 300; ++i) {
            if (done())
                return true;
            Frame();
        }
        return done();
    }
    Gui::Button* Button(const char* path) const { return frontend->desktop->Find<Gui::Button>(path, true); }
    bool InGame() const { return App::Mode == App::SplrGameMode; }
    // The page is shown and no switch is pending.
    bool Showing(const char* page) const {
        return App::Mode == App::FrontendMode && !frontend->targetPage && Shown() == Page(page);
    }
    float GameTime() const { return App::SplrGame->world->time->time; }

    // From the main page through the loading page into the game.
    void StartGame() {
        frontend->SwitchPage("PageMain", 0.0f);
        Frame();
        ASSERT_TRUE(Showing("PageMain"));
        frontend->SwitchPage("PageLoadingSPlr", 0.0f);
        ASSERT_TRUE(FramesUntil([&] { return InGame(); }));
        ASSERT_NE(App::SplrGame, nullptr);
    }

    // Clicks the button and waits for the page, then lets it run its first update.
    void ClickTo(const char* button, const char* page) {
        ui->Click(button);
        ASSERT_TRUE(FramesUntil([&] { return Showing(page); })) << button << " did not lead to " << page;
        Frame();
    }
    bool Shows(const char* widget) const { return frontend->desktop->FindWidget(widget, true)->visible; }

    // The airplane page on: the airplane, the weapons' preset, Fly, then frames until the player's airplane
    // is in the game (the mission's first events run in its first frames).
    void SelectAndFly(int32_t airplane, const char* preset) {
        ui->Pick("AirplanesList", airplane);
        Frame();
        ClickTo("PageSelectAirplane.BtnFly", "PageSelectWeapons");
        ui->Click((std::string("PageSelectWeapons.Btn") + preset).c_str());
        Frame();
        Frame();
        ui->Click("PageSelectWeapons.BtnFly");
        ASSERT_TRUE(FramesUntil([&] { return InGame(); }));
        ASSERT_NE(App::SplrGame, nullptr);
        ASSERT_TRUE(FramesUntil([&] { return App::SplrGame->PlayerAirplane() != nullptr; }));
    }
    // T pressed that many times, on separate frames: time twice as fast for each.
    void FasterTime(int steps) {
        for (int i = 0; i < steps; ++i) {
            Key("T");
            Frame();
            Frame();
        }
    }

    // The game runs until its mission ends, which shows the end page over the game that it keeps.
    void UntilTheEndPage() {
        bool shown = false;
        for (int i = 0; i < 3000 && !shown; ++i) {
            Frame();
            shown = Showing("PageEndMission");
        }
        ASSERT_TRUE(shown) << "the mission did not end";
        ASSERT_NE(App::SplrGame, nullptr) << "the end page keeps the game until the player leaves it";
        Frame();
    }

    // Escape in the game: the pause menu at once, and its first update.
    void Pause() {
        Key("ESCAPE");
        ASSERT_TRUE(FramesUntil([&] { return Showing("PageInSPlr"); }));
        Frame();
    }

    std::unique_ptr<Rig::UiDriver> ui;
};

} // namespace SPlrTest
