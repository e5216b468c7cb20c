#include "tests/rig/WorldScenario.h"

#include "input/Joystick.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/world/rpworld.h"
#include "scene/AtomicData.h"
#include "scene/Frame.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"
#include "scene/Wrappers.h"

#include <vector>

namespace Rig {
namespace {

std::vector<DigestProbe>& Probes() {
    static std::vector<DigestProbe> probes;
    return probes;
}

void AddVector(StateDigest& digest, const RwV3d& v) {
    digest.Add(v.x);
    digest.Add(v.y);
    digest.Add(v.z);
}

} // namespace

bool RegisterDigestProbe(DigestProbe probe) {
    Probes().push_back(probe);
    return true;
}

WorldScenario::WorldScenario() = default;

WorldScenario::~WorldScenario() {
    WorldScenario::Stop();
}

bool WorldScenario::Start(RunContext& run, std::string& error) {
    // The engine as the game starts it, less the device; with the plugins the world and its objects use.
    if (!RwEngineInit(nullptr, 0, 0) || !RpWorldPluginAttach() || !RpUserDataPluginAttach() ||
        !RpCollisionPluginAttach() || !Rw::Frame::RegisterPlugins() || !Rw::RegisterWrapperPlugins() ||
        !Rw::AtomicLodData::RegisterPlugin() || !RpHAnimPluginAttach()) {
        error = "the engine's plugins cannot be attached";
        RwEngineTerm();
        return false;
    }
    RwEngineOpenParams params = {nullptr};
    if (!RwEngineOpen(&params) || !RwEngineStart()) {
        error = "the engine cannot be started";
        RwEngineClose();
        RwEngineTerm();
        return false;
    }
    engineStarted = true;
    world = std::make_unique<Grp::World>();
    return Populate(run, error);
}

void WorldScenario::Frame(RunContext& run) {
    for (Input::Device* device : std::initializer_list<Input::Device*>{run.keyboard, run.mouse, run.joystick})
        if (device)
            device->PollAndAcquire();
    Grp::WorldTime& clock = *world->time;
    const float before = clock.time;
    clock.Advance();
    Grp::SimulateGroup(*world->simulateables, before, clock.time);
    Grp::RunGroup(*world->runnables);
}

void WorldScenario::Digest(StateDigest& digest) {
    DigestWorld(*world, digest);
}

void DigestWorld(Grp::World& world, StateDigest& digest) {
    digest.Add(world.time->time);
    world.ForEach([&](Obj::Object* object) {
        digest.Add(uint32_t(0x0B1EC7)); // each object's record starts apart from the last one's
        if (auto* frame = dynamic_cast<Rw::Frame*>(object); frame && frame->frame) {
            double position[3];
            frame->GetWorldPositionDouble(position);
            for (double p : position)
                digest.Add(p);
            const RwMatrix* m = RwFrameGetWorldMatrix(frame->frame);
            AddVector(digest, m->right);
            AddVector(digest, m->up);
            AddVector(digest, m->at);
        }
        if (auto* damageable = dynamic_cast<Obj::Damageable*>(object)) {
            digest.Add(damageable->hitPoints);
            digest.Add(damageable->maxHitPoints);
        }
        if (auto* own = dynamic_cast<Digestable*>(object))
            own->DigestState(digest);
        for (DigestProbe probe : Probes())
            probe(object, digest);
    });
}

void WorldScenario::Stop() {
    if (world) {
        world->Clear();
        world.reset();
    }
    if (engineStarted) {
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
        engineStarted = false;
    }
}

} // namespace Rig
