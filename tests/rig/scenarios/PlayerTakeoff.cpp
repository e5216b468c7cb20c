// "player-takeoff": the player pilot flies the sample fighter off the sample airbase's runway on the scripted
// keyboard, with the default key assignments: the engine started, full throttle and afterburner, the nose
// raised, the gear up, a climb and a turn. The trace tells when the wheels leave the runway, when the gear
// is up, each 500 of height gained and each 45 degrees of heading turned.
#include "tests/rig/WorldScenario.h"

#include "aircraft/Airplane.h"
#include "objects/Structure.h"
#include "pilots/PilotPlayer.h"
#include "scene/AnimationFile.h"
#include "scene/ClumpFile.h"
#include "scene/World.h"

#include "base/AnimationCache.h"
#include "base/ClumpCache.h"
#include "base/Config.h"
#include "base/InfoCache.h"
#include "base/Maths.h"

#include <cmath>
#include <string>

namespace {

class PlayerTakeoff : public Rig::WorldScenario {
public:
    void Frame(Rig::RunContext& run) override {
        WorldScenario::Frame(run);
        if (!airplane) {
            if (!lost) {
                lost = true;
                run.Trace("the fighter is lost");
            }
            return;
        }
        const Physics::AirplaneState s = airplane->GetState();
        // Rolling first, then in the air: touching again after that is told too.
        const bool touching =
            s.wheelCompression[0] < 0 || s.wheelCompression[1] < 0 || s.wheelCompression[2] < 0;
        if (touching && !rolled && Base::VectorLength(s.velocity) > 1.0f)
            rolled = true;
        if (rolled && touching != onWheels) {
            run.Trace(touching ? "wheels on the ground" : "wheels leave the runway");
            airborne = airborne || !touching;
        }
        onWheels = touching;
        if (airborne && !gearUp && s.gearExtension == 0) {
            gearUp = true;
            run.Trace("gear up");
        }
        const float gained = s.position.y - runwayHeight;
        while (airborne && gained >= float(heightMark + 500)) {
            heightMark += 500;
            run.Trace("climbing through " + std::to_string(heightMark));
        }
        // Heading in degrees from the runway's, turning either way (headings grow to the right).
        float heading = std::atan2(-s.at.x, s.at.z) * float(180 / Base::Pi) - startHeading;
        heading = std::remainder(heading, 360.0f);
        while (std::fabs(heading) >= float(turnMark + 45)) {
            turnMark += 45;
            run.Trace(std::string("turned ") + (heading > 0 ? "right " : "left ") + std::to_string(turnMark));
        }
    }

    // The world, then the caches' models, then the engine.
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

        auto* base = new Obj::Airbase;
        if (!base->Load(&Base::InfoCache::Get("Data/Models/Base.model"))) {
            delete base;
            error = "the sample airbase does not load";
            return false;
        }
        // Above the sea: a level surface at height 0 is water.
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.pos = {0, 100, 0};
        RwMatrixUpdate(&m);
        base->Transform(&m, rwCOMBINEREPLACE);
        world->AddObject(base);

        auto* fighter = new Obj::Airplane;
        fighter->seed = run.seed;
        if (!fighter->Load("Data/Models/Airplanes/Su27", Obj::Airplane::ComplexModel)) {
            delete fighter;
            error = "the sample fighter does not load";
            return false;
        }
        world->AddObject(fighter);
        if (!fighter->PlaceOnRunway(base, "09")) {
            error = "the sample airbase has no runway 09";
            return false;
        }
        airplane = fighter;

        auto* pilot = new Obj::PilotPlayer;
        if (!pilot->Load(&Base::InfoCache::Get("Data/Models/Airplanes/Pilot.model"))) {
            delete pilot;
            error = "the pilot figure does not load";
            return false;
        }
        pilot->SetAirplane(fighter);
        world->AddObject(pilot);
        settings.controlsType = 2; // the stick and the throttle lever; switches on the keys
        pilot->ApplySettings(&settings);

        const Physics::AirplaneState s = fighter->GetState();
        runwayHeight = s.position.y;
        startHeading = std::atan2(-s.at.x, s.at.z) * float(180 / Base::Pi);
        return true;
    }

private:
    Base::Config settings; // the default key assignments
    Base::SmartPtr<Obj::Airplane> airplane;
    float runwayHeight = 0, startHeading = 0;
    bool onWheels = true, rolled = false, airborne = false, gearUp = false, lost = false;
    int heightMark = 0, turnMark = 0;
};

const bool registered = Rig::RegisterScenario(
    "player-takeoff", [] { return std::unique_ptr<Rig::Scenario>(new PlayerTakeoff); },
    "the player pilot flies the sample fighter off the runway on the keyboard: take-off, climb, turn");

} // namespace
