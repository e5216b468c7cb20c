// The records through which the front end, the games and the running mission talk about the current game.
// Nobody keeps a pointer into them: a writer copies the record, changes its own fields and assigns the copy
// back whole.
#pragma once

#include "mission/Header.h"

#include "base/Info.h"
#include "base/String.h"

#include <cstdint>

namespace Fe {

class GameRequest {
public:
    enum Result : int32_t { Undecided = 0, Succeeded = 1, Failed = 2 };

    GameRequest() = default;
    GameRequest(const GameRequest& other) = default;
    GameRequest& operator=(const GameRequest& other) { return Assign(other); }
    // The header, the airplane, the loadout (the old tree replaced whole) and the five words, in that order.
    GameRequest& Assign(const GameRequest& source);

    Mission::Header header;
    Base::String airplane; // a models path: "Airplanes\Su27"
    Base::Info loadout;    // "Rack<n>" -> "Weapons\<name>", one child per loaded rack
    int32_t resultCode = Undecided;
    float elapsedTime = 0; // world time when the end page was asked for
    int32_t airplaneKills = 0;
    int32_t vehicleKills = 0;
    int32_t shipKills = 0;
};

class MultiplayerRequest {
public:
    MultiplayerRequest() = default;
    MultiplayerRequest(const MultiplayerRequest& other) = default;
    MultiplayerRequest& operator=(const MultiplayerRequest& other) = default;

    uint8_t hosting = 0;
    uint32_t timeOfDay = 0;
    float startX = 0;
    float startY = 0;
    float altitude = 0; // metres
    float heading = 0;  // degrees
    Base::String airplane;
    Base::Info loadout;
    uint8_t gameType = 0; // 1 free for all, 2 teams
    uint32_t team = 0;
};

} // namespace Fe
