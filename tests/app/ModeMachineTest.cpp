#include "Doubles.h"

#include "app/Application.h"
#include "app/ModeMachine.h"
#include "audio/MusicPlayer.h"
#include "audio/SoundGroup.h"
#include "frontend/Frontend.h"
#include "games/MPlrGame.h"
#include "games/SPlrGame.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using Doubles::state;

enum Life { None, Same, New }; // a game after the frame: none, the one before, or a new one

struct Row {
    int mode;
    bool splr, mplr; // games before the frame
    int action;      // from the front end in mode 0, from the foreground game otherwise
    int modeAfter;
    Life splrAfter, mplrAfter;
    bool quit;
    const char* page;
};

std::ostream& operator<<(std::ostream& out, const Row& r) {
    return out << "mode " << r.mode << (r.splr ? " +splr" : "") << (r.mplr ? " +mplr" : "") << " action "
               << r.action;
}

const Row kRows[] = {
    // Front end, no games.
    {0, false, false, 0, 0, None, None, false, ""},
    {0, false, false, 1, 0, None, None, true, ""},
    {0, false, false, 2, 1, New, None, false, ""},
    {0, false, false, 3, 0, None, None, false, ""}, // nothing to resume: stays in the front end
    {0, false, false, 4, 1, New, None, false, ""},
    {0, false, false, 5, 0, None, None, false, ""},
    {0, false, false, 6, 2, None, New, false, ""},
    {0, false, false, 7, 0, None, None, false, ""}, // nothing to resume: stays in the front end
    {0, false, false, 8, 0, None, None, false, ""},
    {0, false, false, 9, 0, None, None, false, ""},
    // Front end over two paused games.
    {0, true, true, 0, 0, Same, Same, false, ""},
    {0, true, true, 1, 0, Same, Same, true, ""},
    {0, true, true, 2, 1, New, Same, false, ""}, // the paused one is deleted, not lost
    {0, true, true, 3, 1, Same, Same, false, ""},
    {0, true, true, 4, 1, New, Same, false, ""},
    {0, true, true, 5, 0, None, Same, false, ""},
    {0, true, true, 6, 2, Same, New, false, ""},
    {0, true, true, 7, 2, Same, Same, false, ""},
    {0, true, true, 8, 0, Same, None, false, ""},
    {0, true, true, 9, 0, Same, Same, false, ""},
    // Single-player game.
    {1, true, false, 0, 1, Same, None, false, ""},
    {1, true, false, 1, 0, None, None, false, ""},
    {1, true, false, 2, 0, Same, None, false, "PageInSPlr"},
    {1, true, false, 3, 0, Same, None, false, "PageEndMission"},
    {1, true, false, 4, 1, Same, None, false, ""},
    // Single-player mode without its game: nothing runs.
    {1, false, true, 0, 1, None, Same, false, ""},
    {1, false, true, 1, 1, None, Same, false, ""},
    {1, false, true, 2, 1, None, Same, false, ""},
    {1, false, true, 3, 1, None, Same, false, ""},
    // Multiplayer game.
    {2, false, true, 0, 2, None, Same, false, ""},
    {2, false, true, 1, 0, None, None, false, ""},
    {2, false, true, 2, 0, None, Same, false, "PageInMPlr"},
    {2, false, true, 3, 2, None, Same, false, ""},
    // Multiplayer mode without its game: nothing runs.
    {2, true, false, 0, 2, Same, None, false, ""},
    {2, true, false, 1, 2, Same, None, false, ""},
    {2, true, false, 2, 2, Same, None, false, ""},
    {2, true, false, 3, 2, Same, None, false, ""},
};

bool QuitPosted() {
    MSG m;
    return PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

void Clear() {
    delete App::SplrGame;
    delete App::MplrGame;
    delete App::Frontend;
    App::SplrGame = nullptr;
    App::MplrGame = nullptr;
    App::Frontend = nullptr;
    App::Mode = App::FrontendMode;
    QuitPosted();
}

class ModeMachine : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override { Doubles::Reset(); }
    void TearDown() override { Clear(); }
};

Life LifeOf(void* before, void* after, int createdBefore, int createdAfter) {
    if (!after)
        return None;
    if (createdAfter > createdBefore)
        return New;
    return after == before ? Same : New;
}

TEST_P(ModeMachine, ActsOnTheActionOfTheFrame) {
    const Row& r = GetParam();
    App::Frontend = new Fe::Frontend(nullptr, nullptr, nullptr, nullptr);
    App::SplrGame = r.splr ? new SPlr::Game(App::Frontend, nullptr, nullptr, nullptr) : nullptr;
    App::MplrGame = r.mplr ? new MPlr::Game(App::Frontend, nullptr, nullptr, nullptr) : nullptr;
    App::Mode = r.mode;
    (r.mode == 0   ? state.frontendActions
     : r.mode == 1 ? state.splrActions
                   : state.mplrActions)
        .push_back(r.action);
    void* splr = App::SplrGame;
    void* mplr = App::MplrGame;
    int splrCreated = state.splrCreated, mplrCreated = state.mplrCreated;

    App::RunFrame();

    EXPECT_EQ(App::Mode, r.modeAfter);
    EXPECT_EQ(LifeOf(splr, App::SplrGame, splrCreated, state.splrCreated), r.splrAfter);
    EXPECT_EQ(LifeOf(mplr, App::MplrGame, mplrCreated, state.mplrCreated), r.mplrAfter);
    // At most one game of each kind is ever alive.
    EXPECT_EQ(state.splrGames, App::SplrGame ? 1 : 0);
    EXPECT_EQ(state.mplrGames, App::MplrGame ? 1 : 0);
    EXPECT_EQ(QuitPosted(), r.quit);
    EXPECT_EQ(state.page, r.page);
    if (*r.page) {
        EXPECT_EQ(state.pageTime, 0.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ModeMachine, ::testing::ValuesIn(kRows));

TEST(ModeMachineFrame, PausedGamesRunInTheBackgroundBeforeTheFrontEnd) {
    Doubles::Reset();
    App::Frontend = new Fe::Frontend(nullptr, nullptr, nullptr, nullptr);
    App::SplrGame = new SPlr::Game(App::Frontend, nullptr, nullptr, nullptr);
    App::MplrGame = new MPlr::Game(App::Frontend, nullptr, nullptr, nullptr);
    App::RunFrame();
    EXPECT_EQ(state.calls, "smF");
    // Resumed: only the foreground game runs, and its action takes effect for the next frame.
    state.frontendActions.push_back(App::FrontendResumeSplrGame);
    state.splrActions.push_back(App::GamePause);
    state.calls.clear();
    App::RunFrame();
    App::RunFrame();
    App::RunFrame();
    EXPECT_EQ(state.calls, "smFSsmF");
    Clear();
}

TEST(ModeMachineFrame, WithoutAFrontEndTheFrontEndModeDoesNothing) {
    Doubles::Reset();
    App::SplrGame = new SPlr::Game(nullptr, nullptr, nullptr, nullptr);
    App::RunFrame();
    EXPECT_EQ(state.calls, "");
    EXPECT_EQ(App::Mode, App::FrontendMode);
    Clear();
}

TEST(ModeMachineFrame, AMissionOverKeepsTheGameForTheFrontEndToEndRestartOrResume) {
    Doubles::Reset();
    App::Frontend = new Fe::Frontend(nullptr, nullptr, nullptr, nullptr);
    state.frontendActions = {App::FrontendStartSplrGame, App::FrontendResumeSplrGame,
                             App::FrontendRestartSplrGame, App::FrontendEndSplrGame};
    state.splrActions = {App::GameMissionOver, App::GameMissionOver, App::GameMissionOver};
    for (int i = 0; i < 7; ++i)
        App::RunFrame();
    EXPECT_EQ(state.calls, "FSsFSsFSsF");
    EXPECT_EQ(state.splrCreated, 2); // start and restart
    EXPECT_EQ(App::SplrGame, nullptr);
    EXPECT_EQ(state.page, "PageEndMission");
    Clear();
}

TEST(ModeMachineFrame, EndingAGameRestartsTheMenuMusicOnlyWhenItHasStopped) {
    struct Case {
        int mode;
        int action;
        int32_t playsBefore;
        int32_t playsAfter;
        uint32_t trackAfter;
    };
    const Case cases[] = {
        {0, App::FrontendEndSplrGame, 0, -1, 0},
        {0, App::FrontendEndMplrGame, 0, -1, 0},
        {1, App::GameEnd, 0, -1, 0},
        {2, App::GameEnd, 0, -1, 0},
        {0, App::FrontendEndSplrGame, 3, 3, 2},
        {0, App::FrontendEndMplrGame, -1, -1, 2},
        {1, App::GamePause, 0, 0, 2},
        {0, App::FrontendNothing, 0, 0, 2},
    };
    Audio::SoundGroup group(0.0f);
    for (const Case& c : cases) {
        Doubles::Reset();
        Audio::MusicPlayer music(&group, {});
        music.playsRemaining = c.playsBefore;
        music.currentTrack = 2;
        App::Frontend = new Fe::Frontend(nullptr, nullptr, nullptr, nullptr);
        App::Frontend->music = &music;
        App::SplrGame = new SPlr::Game(App::Frontend, nullptr, nullptr, nullptr);
        App::MplrGame = new MPlr::Game(App::Frontend, nullptr, nullptr, nullptr);
        App::Mode = c.mode;
        (c.mode == 0   ? state.frontendActions
         : c.mode == 1 ? state.splrActions
                       : state.mplrActions)
            .push_back(c.action);
        App::RunFrame();
        EXPECT_EQ(music.playsRemaining, c.playsAfter) << c.mode << " " << c.action << " " << c.playsBefore;
        EXPECT_EQ(music.currentTrack, c.trackAfter) << c.mode << " " << c.action << " " << c.playsBefore;
        App::Frontend->music = nullptr;
        Clear();
    }
}

} // namespace
