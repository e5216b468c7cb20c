// Stand-ins for the front end and the games, linked in place of theirs: each returns the actions a test
// gives it and records what the main loop did with it.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace Doubles {

struct State {
    std::deque<int> frontendActions; // results of the next front-end updates (0 once empty)
    std::deque<int> splrActions;     // results of the next foreground game updates
    std::deque<int> mplrActions;
    std::string calls; // F front end, S/s single-player foreground/background, M/m multiplayer
    int frontends = 0, splrGames = 0, mplrGames = 0; // alive
    int frontendsDeleted = 0, splrCreated = 0, mplrCreated = 0;
    int resizes = 0; // front-end OnResize
    std::string page;
    float pageTime = -1.0f;
    std::function<void()> onFrontendUpdate;
    std::function<void()> onFrontendDeleted;
    std::function<void()> onFrontendCreated;
};

extern State state;
void Reset();

} // namespace Doubles
