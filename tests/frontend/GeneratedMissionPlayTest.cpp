// Generated missions played in the single-player game on the rig, with the sample data's shared events:
// lost when the player ejects and the airplane crashes (though the pilot lives), won when the enemy
// fighters are shot down; each ends on the end page by itself. The wingmen fly on the player's wing.
#include "tests/games/GameFixture.h"

#include "frontend/MissionGenerator.h"

#include "aircraft/Airplane.h"
#include "base/RandomTimeStamp.h"
#include "mission/Mission.h"
#include "pilots/PilotAi.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using GameTest::GameRig;

class GeneratedMission : public GameRig {
protected:
    void TearDown() override {
        Base::RandomTimeStamp = nullptr;
        GameRig::TearDown();
    }

    // Generates the mission into the scratch folder, requests it and starts the game on it.
    void Play(const Fe::GeneratorChoices& choices) {
        Base::RandomTimeStamp = [] { return 7u; };
        ASSERT_TRUE(Fe::WriteMission(choices, "Generated.msn"));
        const Mission::Header* header = Mission::Header::Load("Generated.msn");
        ASSERT_NE(header, nullptr);
        Fe::GameRequest request = frontend->gameRequest;
        request.header = *header;
        request.airplane = "Airplanes\\Su27";
        frontend->gameRequest.Assign(request);
        Start();
        ASSERT_NE(game->mission, nullptr);
        ASSERT_TRUE(game->mission->IsLoaded());
    }

    // Frames until the game asks for the end page (at most limit); the frames it took.
    int UntilTheEnd(int limit) {
        for (int f = 1; f <= limit; ++f)
            if (Frame() == 3)
                return f;
        return -1;
    }

    std::vector<Obj::Airplane*> Enemies() const { return GameTest::EnemyAirplanes(*game->mission); }
};

Fe::GeneratorChoices Sortie() {
    Fe::GeneratorChoices choices;
    choices.name = "Sortie";
    choices.start = {-3500, -3000};
    choices.timeOfDay = 1;
    choices.heading = "0";
    choices.altitude = "1000";
    choices.friendly = "2";
    choices.waves = "1";
    choices.enemies = "2";
    choices.tanks = "0";
    return choices;
}

TEST_F(GeneratedMission, WingmenFlyOnThePlayersWing) {
    ASSERT_NO_FATAL_FAILURE(Play(Sortie()));
    Frame();
    Obj::Airplane* player = game->PlayerAirplane();
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(Enemies().size(), 2u);
    for (const char* name : {"Friend1", "Friend2"}) {
        auto* wingman = dynamic_cast<Obj::Airplane*>(game->mission->FindObject(name));
        ASSERT_NE(wingman, nullptr) << name;
        auto* pilot = dynamic_cast<Obj::PilotAi*>(Obj::Pilot::Of(wingman));
        ASSERT_NE(pilot, nullptr) << name;
        EXPECT_EQ(pilot->leader.Get(), player) << name;
    }
}

// Ctrl+E at four times the pace: the airplane left alone goes down, and its loss fails the mission while
// its pilot hangs under his parachute.
TEST_F(GeneratedMission, LostWhenThePlayersAirplaneCrashesAfterTheEjection) {
    Script("1 keyboard press T\n"
           "2 keyboard press T\n"
           "4 keyboard down LCONTROL\n"
           "5 keyboard press E\n"
           "7 keyboard up LCONTROL\n");
    ASSERT_NO_FATAL_FAILURE(Play(Sortie()));
    bool pilotOutlivedTheAirplane = false;
    int frames = 0;
    uint32_t action = 0;
    while (action == 0 && frames < 2000) {
        action = Frame();
        ++frames;
        const bool failedNow = game->mission->state == Mission::Mission::Failed;
        if (failedNow && !pilotOutlivedTheAirplane)
            pilotOutlivedTheAirplane = game->mission->FindObject("Player") != nullptr;
    }
    ASSERT_EQ(action, 3u);
    EXPECT_EQ(game->PlayerAirplane(), nullptr);
    EXPECT_TRUE(pilotOutlivedTheAirplane);
    EXPECT_EQ(frontend->gameRequest.resultCode, Fe::GameRequest::Failed);
    // The shared events end the mission five seconds after its failure.
    const Mission::Event* failure = game->mission->FindEvent("Failure");
    ASSERT_NE(failure, nullptr);
    EXPECT_NEAR(frontend->gameRequest.elapsedTime, failure->fireWorldTime + 5.0f, 0.25f);
}

// The enemy fighters shot down as they come in: the wave of this seed starts 26 km east of the player, on
// the map, so that they fall onto the ground (beyond the map's edge there is none to crash into); the
// player flies high above, at four times the pace.
TEST_F(GeneratedMission, WonWhenEveryEnemyFighterIsShotDown) {
    Script("1 keyboard press T\n"
           "3 keyboard press T\n");
    Fe::GeneratorChoices choices = Sortie();
    choices.start = {-12000, 0};
    choices.altitude = "8000";
    ASSERT_NO_FATAL_FAILURE(Play(choices));
    Frame();
    const std::vector<Obj::Airplane*> enemies = Enemies();
    ASSERT_EQ(enemies.size(), 2u);
    ASSERT_NO_FATAL_FAILURE(GameTest::ShootDownOverTheMap(enemies));
    const int frames = UntilTheEnd(3000);
    ASSERT_GT(frames, 0);
    EXPECT_EQ(frontend->gameRequest.resultCode, Fe::GameRequest::Succeeded);
    EXPECT_EQ(game->mission->state, Mission::Mission::Succeeded);
    EXPECT_NE(game->PlayerAirplane(), nullptr);
    const Mission::Event* success = game->mission->FindEvent("Success");
    ASSERT_NE(success, nullptr);
    EXPECT_NEAR(frontend->gameRequest.elapsedTime, success->fireWorldTime + 5.0f, 0.25f);
}

} // namespace
