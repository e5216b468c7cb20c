// The quick mission the generator page writes: the player's start, wingmen, waves of enemy fighters and a
// column of tanks, as a *.msn tree with the data folder's shared events and definitions merged in. The page
// gathers the player's choices; this file builds and writes the tree, so that it can be tested without one.
#pragma once

#include "base/Info.h"
#include "base/Maths.h"
#include "base/String.h"

#include <cstdint>
#include <string_view>

namespace Fe {

struct GeneratorChoices {
    Base::String name; // the mission's "Name"
    bool inTheAir = true;
    Base::Vector2 start;  // x0, y0: the start in the air, or the chosen base's map position
    bool airfield = true; // a base start: an airfield's runway, else a carrier's catapult
    Base::String baseId;  // the base's object id in the scenery
    int32_t timeOfDay = 0;
    // The lists' item texts as they stand: the start's heading and altitude in the air, the number of
    // wingmen, of enemy waves, of fighters in each wave and of tanks.
    Base::String heading = "0", altitude = "3000";
    Base::String friendly = "0", waves = "1", enemies = "1", tanks = "0";
};

// The object ids the generated actions use: the wingmen as the spawn names them (one alone keeps the bare
// id, several are numbered from 1), and the waves with a separator after the wave's number, so that the
// members of wave 1 ("Bandit1_1") never take the name of a one-airplane wave 11 ("Bandit11_").
Base::String WingmanId(int32_t index, int32_t count);
Base::String WaveId(int32_t wave);

// The whole mission tree for the choices, drawing its positions from the program's random generator, which
// it seeds from the time stamp first (Base::RandomTimeStamp repeats it in tests). Reads "Bases.info",
// "Scripts\Missions\CommonEvents" and "Scripts\Missions\CommonDefines" under the data folder; a file that
// cannot be read adds nothing.
Base::Info BuildMission(const GeneratorChoices& choices);

// Builds the mission and writes it to path, making the folder when it is missing; the info cache forgets
// the path, so that the next read sees the new file. False, said on stderr, when it cannot be written.
bool WriteMission(const GeneratorChoices& choices, const Base::String& path);

// A name the player may save a mission under: 1 to 63 letters, digits, blanks, '_' and '-'. Anything else
// could leave the user missions' folder or fail to make a file.
bool ValidMissionName(std::string_view name);

// The user missions' folder under the data folder, without a trailing separator.
Base::String UserMissionsFolder();

} // namespace Fe
