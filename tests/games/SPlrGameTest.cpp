// The single-player game played on the rig: its frame's time keys, the audio gate, the focus pause, the
// frames held back at the start, Escape, the background update, and what a player sees.
#include "GameFixture.h"

#include "tests/support/ReadBack.h"

#include "aircraft/Airplane.h"
#include "frontend/Pages.h"
#include "mission/Mission.h"
#include "pilots/Pilot.h"
#include "pilots/PilotAi.h"
#include "weapons/Stores.h"
#include "audio/MusicPlayer.h"
#include "audio/SoundGroup.h"
#include "gui/Desktop.h"
#include "platform/d3d9/Control.h"
#include "rwsdk/driver/d3d9/d3d9device.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

using GameTest::GameRig;

size_t Presents(const std::vector<std::string>& log) {
    return size_t(std::count(log.begin(), log.end(), std::string("Present")));
}

TEST_F(GameRig, BuiltInFlightPutsThePlayerOnTheRunwayUnderTwoFighters) {
    Start();
    ASSERT_NE(game->gui, nullptr);
    EXPECT_NE(game->gui->FindWidget("Announcer", true), nullptr);
    ASSERT_NE(game->PlayerAirplane(), nullptr);
    EXPECT_EQ(game->world->soundGroup, game->sounds);
    EXPECT_EQ(game->world->keyboard, keyboard.get());
    EXPECT_EQ(game->world->joystick, joystick.get());
    int airplanes = 0;
    game->world->ForEach([&](Obj::Object* o) { airplanes += dynamic_cast<Obj::Airplane*>(o) != nullptr; });
    EXPECT_EQ(airplanes, 3);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(Frame(), 0u);
    // On its wheels at the runway's start, engine off, standing still.
    const Physics::AirplaneState s = game->PlayerAirplane()->GetState();
    EXPECT_GT(s.gearExtension, 0.99f);
    EXPECT_LT(Base::VectorLength(s.velocity), 1.0f);
    // The world's time ran: ten frames of the fixed step.
    EXPECT_NEAR(game->world->time->time, 10 * GameTest::Step, 1e-4);
}

// The built-in flight's two fighters are flown by computer pilots: the first along its route round the
// airbase, the second as its wingman, which keeps to the slot beside it as the pair climbs to its route's
// height. Time runs four times as fast for a minute of flight.
TEST_F(GameRig, BuiltInFlightsFightersFlyAsAPairOfComputerPilots) {
    // Airplanes get their weapon stores as in the game (start-up installs them); computer pilots decide
    // only over stores.
    ASSERT_TRUE(Weapons::InstallStores());
    struct Uninstall {
        ~Uninstall() { Obj::Airplane::CreateStores = nullptr; }
    } uninstall;
    Script("2 keyboard press T\n"
           "4 keyboard press T\n");
    Start();
    Obj::PilotAi* lead = nullptr;
    Obj::PilotAi* wing = nullptr;
    game->world->ForEach([&](Obj::Object* o) {
        auto* airplane = dynamic_cast<Obj::Airplane*>(o);
        if (!airplane || airplane == game->PlayerAirplane())
            return;
        auto* pilot = dynamic_cast<Obj::PilotAi*>(Obj::Pilot::Of(airplane));
        ASSERT_NE(pilot, nullptr) << "a fighter without a computer pilot";
        (pilot->path ? lead : wing) = pilot;
    });
    ASSERT_TRUE(lead && wing);
    EXPECT_EQ(lead->path->points.size(), 4u);
    EXPECT_EQ(wing->leader.Get(), lead->GetAirplane());
    EXPECT_EQ(lead->allegiance, game->PlayerAirplane()->allegiance);
    Base::SmartPtr<Obj::Airplane> leader(lead->GetAirplane()), wingman(wing->GetAirplane());
    for (int f = 0; f < 450; ++f)
        Frame();
    EXPECT_EQ(Rate(), 4.0f);
    ASSERT_TRUE(leader && wingman) << "both still flying";
    EXPECT_EQ(lead->mode, Obj::PilotAi::FollowPath);
    EXPECT_EQ(wing->mode, Obj::PilotAi::KeepFormation);
    const Physics::AirplaneState ls = leader->GetState(), ws = wingman->GetState();
    const RwV3d apart{ws.position.x - ls.position.x, ws.position.y - ls.position.y,
                      ws.position.z - ls.position.z};
    EXPECT_LT(Base::VectorLength(apart), 600.0f) << "close by, climbing after its leader";
    EXPECT_GT(ls.position.y, 1000.0f);
    EXPECT_GT(ws.position.y, 1000.0f);
}

TEST_F(GameRig, ThePlayerStartsTheEngineAndRollsDownTheRunway) {
    // E starts the engine, A held opens the throttle; the engine takes its time to spool up, so time runs
    // four times as fast (a world step of 0.1 s a frame).
    Script("2 keyboard press E\n"
           "3 keyboard press T\n"
           "5 keyboard press T\n"
           "6 keyboard down A\n"
           "70 keyboard up A\n");
    Start();
    const Physics::AirplaneState start = game->PlayerAirplane()->GetState();
    for (int f = 0; f < 160; ++f)
        Frame();
    EXPECT_EQ(Rate(), 4.0f);
    const Physics::AirplaneState s = game->PlayerAirplane()->GetState();
    EXPECT_EQ(s.engineRunning, 1);
    EXPECT_GT(s.throttle, 0.9f);
    // Along the runway's heading, on the ground still.
    const RwV3d moved{s.position.x - start.position.x, 0, s.position.z - start.position.z};
    EXPECT_GT(Base::DotProduct(moved, start.at), 5.0f);
    EXPECT_GT(Base::VectorLength(s.velocity), 5.0f);
    EXPECT_NEAR(s.position.y, start.position.y, 1.0f);
}

TEST_F(GameRig, TheFirstThreeFramesAreNotPresented) {
    Start();
    D3D9::SetCallLogging(RwD3D9Device, true);
    D3D9::TakeCallLog(RwD3D9Device);
    std::vector<size_t> shown;
    for (int i = 0; i < 6; ++i) {
        Frame();
        shown.push_back(Presents(D3D9::TakeCallLog(RwD3D9Device)));
    }
    D3D9::SetCallLogging(RwD3D9Device, false);
    EXPECT_EQ(shown, (std::vector<size_t>{0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(game->framesPresented, 3u);
}

TEST_F(GameRig, TimeKeysChangeTheRateAndOnlyRateOneIsHeard) {
    // T is TimeCmp, Shift+] TimeCmpPlus, Shift+[ TimeCmpMinus, P Pause (the default assignments).
    Script("2 keyboard press T\n"
           "4 keyboard press T\n"
           "6 keyboard press T\n"
           "8 keyboard press T\n"
           "10 keyboard down LSHIFT\n"
           "11 keyboard press RBRACKET\n"
           "13 keyboard press LBRACKET\n"
           "15 keyboard up LSHIFT\n"
           "16 keyboard press P\n"
           "18 keyboard press P\n");
    frontend->config.musicVolume = 0.8f;
    frontend->config.sfxVolume = 0.6f;
    Start();
    std::vector<float> rates, musicVolumes, soundVolumes;
    for (int f = 0; f < 20; ++f) {
        Frame();
        rates.push_back(Rate());
        musicVolumes.push_back(game->music->volume);
        soundVolumes.push_back(game->sounds->volume);
    }
    EXPECT_EQ(rates, (std::vector<float>{1, 1, 2, 2, 4, 4, 8, 8, 1, 1, 1, 2, 2, 1, 1, 1, 0, 0, 1, 1}));
    // A frame's volumes follow the rate it started with, the one the frame before left.
    for (size_t f = 1; f < rates.size(); ++f) {
        const bool heard = rates[f - 1] == 1.0f;
        EXPECT_FLOAT_EQ(musicVolumes[f], heard ? 0.8f : 0.0f) << f;
        EXPECT_FLOAT_EQ(soundVolumes[f], heard ? 0.6f : 0.0f) << f;
    }
}

TEST_F(GameRig, LostFocusPausesUntilThePauseKey) {
    Script("12 keyboard press P\n");
    Start();
    for (int i = 0; i < 3; ++i)
        Frame();
    const float before = game->world->time->time;
    GameRig::focused = false;
    for (int i = 0; i < 3; ++i) {
        Frame();
        EXPECT_EQ(Rate(), 0.0f);
    }
    // Back in focus, the game stays paused and its time stands still.
    GameRig::focused = true;
    for (int i = 0; i < 5; ++i) {
        Frame();
        EXPECT_EQ(Rate(), 0.0f);
    }
    EXPECT_NEAR(game->world->time->time, before + GameTest::Step, 1e-5); // the frame focus went in
    ASSERT_EQ(frame, 11u);
    Frame(); // 11
    Frame(); // 12: Pause, on a frame whose step was 0
    EXPECT_EQ(Rate(), 1.0f);
}

TEST_F(GameRig, EscapePausesOnlyWithoutModifiers) {
    Script("3 keyboard down LSHIFT\n"
           "4 keyboard press ESCAPE\n"
           "6 keyboard up LSHIFT\n"
           "7 keyboard down LCONTROL\n"
           "8 keyboard press ESCAPE\n"
           "10 keyboard up LCONTROL\n"
           "11 keyboard down LMENU\n"
           "12 keyboard press ESCAPE\n"
           "14 keyboard up LMENU\n"
           "16 keyboard press ESCAPE\n");
    Start();
    std::vector<int> pauses;
    for (int f = 0; f < 20; ++f)
        if (Frame() == 2) {
            pauses.push_back(f);
            // Leaving for the front end silences the game's sounds at once.
            EXPECT_EQ(game->sounds->volume, 0.0f);
        }
    EXPECT_EQ(pauses, std::vector<int>{16});
}

TEST_F(GameRig, BackgroundUpdateKeepsOnlyTheMusic) {
    Script("2 keyboard press T\n");
    Start();
    Frame();
    Frame();
    const float time = game->world->time->time;
    const uint32_t counter = Base::FrameClock::FrameCounter;
    const Physics::AirplaneState before = game->PlayerAirplane()->GetState();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Frame(true), 0u);
    EXPECT_EQ(game->world->time->time, time);
    EXPECT_EQ(Base::FrameClock::FrameCounter, counter);
    EXPECT_EQ(Rate(), 1.0f); // frame 2's key was never read
    const Physics::AirplaneState after = game->PlayerAirplane()->GetState();
    EXPECT_EQ(after.position.x, before.position.x);
    EXPECT_EQ(after.position.y, before.position.y);
    EXPECT_EQ(after.position.z, before.position.z);
    EXPECT_EQ(game->music->volume, frontend->config.musicVolume);
}

} // namespace

namespace {

using GameTest::GameRig;

// The request names the mission; the game is made from it.
void RequestMission(Fe::Frontend& frontend, const std::string& file) {
    const Mission::Header* header = Mission::Header::Load(file);
    ASSERT_NE(header, nullptr) << file;
    Fe::GameRequest request = frontend.gameRequest;
    request.header = *header;
    request.airplane = "Airplanes\\Su27";
    frontend.gameRequest.Assign(request);
}

TEST_F(GameRig, AMissionWonEndsTheGameWithItsResultTimeAndKills) {
    std::ofstream("Quick.msn")
        << "Name\tQuick\nObjectives\t\"Wait.\"\nBriefing\t\"Wait a second.\"\nTimeOfDay\t1\n"
           "Events\n{\n"
           "\t0Init\n\t{\n\t\tActions\n\t\t{\n\t\t\t0Player\tSpawnPlayer\n\t\t\t{\n"
           "\t\t\t\tSetupType\tAirbase\n\t\t\t\tAirbaseId\tCoast Field\n"
           "\t\t\t\tRunwayName\t09\n\t\t\t}\n\t\t}\n\t}\n"
           "\t1Won\n\t{\n\t\tCondition\tTimeFromStart\n\t\t{\n\t\t\tOp\tGreaterEqual\n"
           "\t\t\tValue\t1\n\t\t}\n\t\tActions\n\t\t{\n\t\t\t0\tSucceed\n"
           "\t\t\t1\tShowEndMsnPg\n\t\t}\n\t}\n}\n";
    ASSERT_NO_FATAL_FAILURE(RequestMission(*frontend, "Quick.msn"));
    Start();
    ASSERT_NE(game->mission, nullptr);
    ASSERT_TRUE(game->mission->IsLoaded());
    Frame();
    // The mission's player: its airplane, its pilot, and the view on it.
    Obj::Airplane* airplane = game->PlayerAirplane();
    ASSERT_NE(airplane, nullptr);
    EXPECT_EQ(game->mission->FindObject("PlayerAirplane"), airplane);
    EXPECT_NE(Obj::Pilot::Of(airplane), nullptr);
    airplane->airplaneKills = 2;
    airplane->groundKills = 3;
    airplane->shipKills = 1;
    uint32_t action = 0;
    int frames = 1;
    while (action == 0 && frames < 60) {
        action = Frame();
        ++frames;
    }
    EXPECT_EQ(action, 3u);
    EXPECT_NEAR(frames * GameTest::Step, 1.0, 2 * GameTest::Step);
    const Fe::GameRequest& request = frontend->gameRequest;
    EXPECT_EQ(request.resultCode, Fe::GameRequest::Succeeded);
    EXPECT_NEAR(request.elapsedTime, game->world->time->time, 1e-4);
    EXPECT_GE(request.elapsedTime, 1.0f);
    EXPECT_EQ(request.airplaneKills, 2);
    EXPECT_EQ(request.vehicleKills, 3);
    EXPECT_EQ(request.shipKills, 1);
}

TEST_F(GameRig, TheFirstTrainingMissionLostByEjecting) {
    // Time at x4, then Ctrl+E: the airplane left alone crashes, the mission fails and ends 5 s later.
    Script("1 keyboard press T\n"
           "2 keyboard press T\n"
           "4 keyboard down LCONTROL\n"
           "5 keyboard press E\n"
           "7 keyboard up LCONTROL\n");
    ASSERT_TRUE(Fe::RequestFirstMission(*frontend, "Training"));
    EXPECT_EQ(frontend->gameRequest.header.name, "Take-off and Landing");
    Start();
    ASSERT_NE(game->mission, nullptr);
    uint32_t action = 0;
    Frame();
    // The mission's player is seen from his cockpit until he ejects; then the fly-by camera follows him.
    EXPECT_EQ(game->current, game->cockpit);
    EXPECT_EQ(game->cockpit->target.Get(), game->PlayerAirplane());
    for (int f = 1; f < 8; ++f)
        action = Frame();
    auto* pilot = dynamic_cast<Obj::Object*>(game->mission->FindObject("Player"));
    ASSERT_NE(pilot, nullptr);
    EXPECT_EQ(game->current, game->flyBy);
    EXPECT_EQ(dynamic_cast<Obj::Object*>(game->flyBy->target.Get()), pilot);
    for (int f = 8; f < 250 && action == 0; ++f)
        action = Frame();
    EXPECT_EQ(action, 3u);
    EXPECT_EQ(game->PlayerAirplane(), nullptr);
    // The airplane's crash did not take the view from the pilot.
    EXPECT_EQ(game->current, game->flyBy);
    EXPECT_EQ(frontend->gameRequest.resultCode, Fe::GameRequest::Failed);
    // The airplane crashes 7 s after the ejection; the end comes 5 s after the failure.
    EXPECT_GT(frontend->gameRequest.elapsedTime, 12.0f);
}

} // namespace
