// "cameras": a game's camera set over a scripted flight. The player's pilot sits in the sample fighter at
// 2000 units with a bandit ahead of it; the camera manager reads the camera keys once a frame before the
// world's passes, as the games do. The script presses them in turn (cockpit, outside, fly-by, the next
// airplane) and turns the views about; at frame 900 the bandit is lost, which brings the crash view;
// Shift+Ctrl+F2 takes the free camera out at that view; later the player ejects, which gives the fly-by view
// of the pilot, and the airplane's crash after it does not take the view away. The trace tells each change of
// the current camera and each loss; the digest holds, besides every object's frame, each camera's own state
// (a probe).
#include "tests/rig/WorldScenario.h"

#include "cameras/CamerasManager.h"

#include "aircraft/Airplane.h"
#include "pilots/PilotPlayer.h"
#include "scene/AnimationFile.h"
#include "scene/ClumpFile.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include "base/AnimationCache.h"
#include "base/ClumpCache.h"
#include "base/Config.h"
#include "base/InfoCache.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "rwsdk/src/camera.h"

#include <string>

namespace {

constexpr uint32_t BanditLostAt = 900;

void AddVector(Rig::StateDigest& digest, const RwV3d& v) {
    digest.Add(v.x);
    digest.Add(v.y);
    digest.Add(v.z);
}

// A camera's own state beside its frame: whether it runs, its zoom and field of view, and its kind's motion.
bool DigestCamera(Obj::Object* object, Rig::StateDigest& digest) {
    auto* camera = dynamic_cast<Cameras::Basic*>(object);
    if (!camera)
        return false;
    digest.Add(uint8_t(camera->IsActive()));
    digest.Add(camera->zoom);
    digest.Add(camera->camera->viewWindow.x);
    digest.Add(camera->camera->viewWindow.y);
    if (auto* cockpit = dynamic_cast<Cameras::Cockpit*>(camera)) {
        digest.Add(cockpit->pitchAngle);
        digest.Add(cockpit->yawAngle);
        digest.Add(cockpit->pitchRate);
        digest.Add(cockpit->yawRate);
    } else if (auto* outside = dynamic_cast<Cameras::Outside*>(camera)) {
        AddVector(digest, outside->offset);
        AddVector(digest, outside->heading);
        digest.Add(outside->distanceRate);
    } else if (auto* free = dynamic_cast<Cameras::Free*>(camera)) {
        AddVector(digest, free->velocity);
    } else if (auto* flyBy = dynamic_cast<Cameras::FlyBy*>(camera)) {
        digest.Add(flyBy->lastPlacement);
    } else if (auto* crash = dynamic_cast<Cameras::Crash*>(camera)) {
        AddVector(digest, crash->point);
    }
    return true;
}

const bool probed = Rig::RegisterDigestProbe(&DigestCamera);

class CamerasScenario : public Rig::WorldScenario {
public:
    // As a game's frame: the devices, the camera keys, then the world's passes.
    void Frame(Rig::RunContext& run) override {
        for (Input::Device* device :
             std::initializer_list<Input::Device*>{run.keyboard, run.mouse, run.joystick})
            if (device)
                device->PollAndAcquire();
        if (run.frame == BanditLostAt && bandit) {
            Obj::Airplane* lost = bandit.Get();
            world->RemoveObject(lost);
            delete lost;
            run.Trace("the bandit is lost");
        }
        if (playerAirplane.Get() == nullptr && !playerLost) {
            playerLost = true;
            run.Trace("the player's airplane is lost");
        }
        manager.HandleKeys(run.keyboard);
        if (manager.current != shown) {
            shown = manager.current;
            run.Trace(std::string("camera ") + Name(shown));
        }
        Grp::WorldTime& clock = *world->time;
        const float before = clock.time;
        clock.Advance();
        Grp::SimulateGroup(*world->simulateables, before, clock.time);
        Grp::RunGroup(*world->runnables);
    }

    void Stop() override {
        if (world) {
            world->Clear();
            world.reset();
        }
        Base::InfoCache::Clear();
        Base::AnimationCache::Clear();
        Base::AnimationCache::Read = nullptr;
        Base::AnimationCache::Destroy = nullptr;
        Base::ClumpCache::Clear();
        Base::ClumpCache::Read = nullptr;
        Base::ClumpCache::Clone = nullptr;
        Base::ClumpCache::Destroy = nullptr;
        WorldScenario::Stop();
    }

protected:
    bool Populate(Rig::RunContext& run, std::string& error) override {
        Base::ClumpCache::Directory = "Data/Models\\";
        Rw::InstallClumpCache();
        Base::AnimationCache::Directory = "Data/Anims\\";
        Rw::InstallAnimationCache();
        world->keyboard = run.keyboard;
        world->mouse = run.mouse;
        world->joystick = run.joystick;

        Obj::Airplane* fighter = Airplane("F16", run.seed, {0, 2000, 0}, 0, error);
        Obj::Airplane* other =
            fighter ? Airplane("Mig29", run.seed + 1, {40, 2030, 1500}, 10, error) : nullptr;
        if (!other)
            return false;
        playerAirplane = fighter;
        bandit = other;
        auto* pilot = new Obj::PilotPlayer;
        if (!pilot->Load(&Base::InfoCache::Get("Data/Models/Airplanes/Pilot.model"))) {
            delete pilot;
            error = "the pilot figure does not load";
            return false;
        }
        pilot->SetAirplane(fighter);
        world->AddObject(pilot);
        pilot->ApplySettings(&settings);

        manager.CreateCameras(world.get());
        manager.SetPlayer(pilot);
        manager.SetTarget(fighter);
        return true;
    }

private:
    Obj::Airplane* Airplane(const char* title, uint32_t seed, RwV3d at, float heading, std::string& error) {
        auto* airplane = new Obj::Airplane;
        airplane->seed = seed;
        if (!airplane->Load((std::string("Data/Models/Airplanes/") + title).c_str(),
                            Obj::Airplane::ComplexModel)) {
            delete airplane;
            error = std::string("the sample ") + title + " does not load";
            return nullptr;
        }
        airplane->Place(at.x, at.z, at.y, heading, 200);
        world->AddObject(airplane);
        return airplane;
    }
    const char* Name(const Cameras::Basic* camera) const {
        if (camera == manager.cockpit)
            return "cockpit";
        if (camera == manager.outside)
            return "outside";
        if (camera == manager.flyBy)
            return "fly-by";
        if (camera == manager.crash)
            return "crash";
        return camera == manager.free ? "free" : "none";
    }

    Base::Config settings; // the default key assignments: Ctrl+E ejects
    SPlr::CamerasManager manager;
    Base::SmartPtr<Obj::Airplane> playerAirplane, bandit;
    const Cameras::Basic* shown = nullptr;
    bool playerLost = false;
};

const bool registered = Rig::RegisterScenario(
    "cameras", [] { return std::unique_ptr<Rig::Scenario>(new CamerasScenario); },
    "the camera keys in turn over a flight: cockpit, outside, fly-by, the next airplane, its crash, the "
    "free camera, the player's ejection");

} // namespace
