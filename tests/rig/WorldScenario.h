// A scenario that is a world run through its passes, as a game runs it: the engine started without a
// device, a Grp::World, and each frame the devices' polls, the world clock's advance on the frame clock,
// the simulation pass over that span and the run pass. Derived scenarios fill the world in Populate.
//
// The digest covers every object in the world's object list, in its order: its world position (double) and
// orientation when it has a frame, its hit points when it can be damaged, and what its own DigestState adds
// (a Rig::Digestable) or what a registered probe adds for a game class.
#pragma once

#include "tests/rig/ScenarioRunner.h"

#include <memory>

namespace Grp {
class World;
}
namespace Obj {
class Object;
}

namespace Rig {

// Test objects that add their own state to the digest.
class Digestable {
public:
    virtual ~Digestable() = default;
    virtual void DigestState(StateDigest& digest) const = 0;
};

// Game classes that cannot derive from a test class: a probe adds the state of the objects it knows
// (returning true) and passes over the others.
using DigestProbe = bool (*)(Obj::Object* object, StateDigest& digest);
bool RegisterDigestProbe(DigestProbe probe);

// The world's time and every object in its list, as WorldScenario digests its world; for scenarios that run
// a world of their own (a game's).
void DigestWorld(Grp::World& world, StateDigest& digest);

class WorldScenario : public Scenario {
public:
    WorldScenario();
    ~WorldScenario() override;

    bool Start(RunContext& run, std::string& error) override;
    void Frame(RunContext& run) override;
    void Digest(StateDigest& digest) override;
    void Stop() override;

protected:
    // Fills the world; false with a message when it cannot.
    virtual bool Populate(RunContext& run, std::string& error) = 0;

    std::unique_ptr<Grp::World> world;

private:
    bool engineStarted = false;
};

} // namespace Rig
