// The rig's autopilot for the sample missions: a player who flies by looking at the world, turned into
// what that player does with the joystick, throttle lever and keys. Each frame, after the world's passes,
// it decides the next frame's input and adds it to the running script (the runner prints every event it
// plays as a trace line), so a flight it makes can be kept as a script and played again without it, to the
// same end bit for bit. It reads positions, the cockpit's radar and threat warnings and the weapon stores,
// as a pilot reads the instruments; it never touches the airplane's state.
#pragma once

#include "tests/rig/ScenarioRunner.h"

#include <memory>
#include <string>

namespace Grp {
class World;
}
namespace Mission {
class Mission;
}
namespace Obj {
class Airplane;
}

namespace Rig {

class MissionAutopilot {
public:
    virtual ~MissionAutopilot() = default;
    // After the frame's passes: the player's input for the next frame, added to the script.
    virtual void Fly(RunContext& run, Grp::World& world, Mission::Mission& mission,
                     Obj::Airplane* player) = 0;
};

// The autopilot for a sample mission file (its path under the data folder); null for none.
std::unique_ptr<MissionAutopilot> MakeMissionAutopilot(const std::string& missionFile);
// The player turning back and flying on at the height and speed he starts with, out of the fight.
std::unique_ptr<MissionAutopilot> MakeCruiseAutopilot();

} // namespace Rig
