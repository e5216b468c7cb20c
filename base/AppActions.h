// The codes that the front end and the games hand back to the main loop each frame. They live here, below
// the front end, the games and the application, because all three use them.
#pragma once

namespace App {

// What Fe::Frontend::Update asks of the main loop. Other values mean nothing.
enum FrontendAction : int {
    FrontendNothing = 0,
    FrontendQuit = 1,
    FrontendStartSplrGame = 2,
    FrontendResumeSplrGame = 3,
    FrontendRestartSplrGame = 4,
    FrontendEndSplrGame = 5,
    FrontendStartMplrGame = 6,
    FrontendResumeMplrGame = 7,
    FrontendEndMplrGame = 8,
};

// What a game's foreground update asks of the main loop. Other values mean nothing.
enum GameAction : int {
    GameGoOn = 0,
    GameEnd = 1,
    GamePause = 2,
    GameMissionOver = 3, // single player only
};

} // namespace App
