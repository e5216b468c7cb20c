// The mission's crew on the game's own pilots: the player's pilot and the computer pilots, each with its
// figure, seated in its airplane; the player's is given the player's control settings, a computer pilot
// its side, its skill, and the mission's route and links.
#include "mission/Host.h"

#include "aircraft/Airplane.h"
#include "pilots/Pilot.h"
#include "pilots/PilotAi.h"
#include "pilots/PilotPlayer.h"
#include "scene/World.h"

#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/Random.h"

#include <cstdio>

namespace Mission {

namespace {

class PilotCrew : public Crew {
public:
    Obj::Object* CreateComputerPilot(Obj::Airplane* airplane, const Base::String& figure,
                                     Obj::Allegiance allegiance, float level) override {
        // Each pilot's own generator, seeded from the program's: a run repeats with its seed.
        auto pilot = std::make_unique<Obj::PilotAi>(Base::Random::NextUInt32());
        pilot->allegiance = allegiance;
        pilot->level = level;
        return Seat(std::move(pilot), airplane, figure);
    }
    Obj::Object* CreatePlayerPilot(Obj::Airplane* airplane, const Base::String& figure,
                                   const Base::Config* settings) override {
        auto* seated =
            static_cast<Obj::PilotPlayer*>(Seat(std::make_unique<Obj::PilotPlayer>(), airplane, figure));
        if (seated)
            seated->ApplySettings(settings);
        return seated;
    }
    Obj::Airplane* GetAirplane(Obj::Object* pilot) override {
        auto* figure = dynamic_cast<Obj::Pilot*>(pilot);
        return figure ? figure->GetAirplane() : nullptr;
    }
    Obj::Object* GetPilot(Obj::Airplane* airplane) override { return Obj::Pilot::Of(airplane); }
    bool IsPlayerPilot(Obj::Object* pilot) override {
        return dynamic_cast<Obj::PilotPlayer*>(pilot) != nullptr;
    }
    bool IsComputerPilot(Obj::Object* pilot) override {
        return dynamic_cast<Obj::PilotAi*>(pilot) != nullptr;
    }
    void Eject(Obj::Object* pilot) override {
        if (auto* figure = dynamic_cast<Obj::Pilot*>(pilot))
            figure->Eject();
    }
    void SetRoute(Obj::Object* pilot, const std::vector<RwV3d>& points) override {
        if (auto* ai = dynamic_cast<Obj::PilotAi*>(pilot)) {
            auto route = std::make_shared<Obj::PilotAi::NavPath>();
            route->points = points;
            ai->path = route;
        }
    }
    void SetAttackTarget(Obj::Object* pilot, Obj::Damageable* target) override {
        if (auto* ai = dynamic_cast<Obj::PilotAi*>(pilot))
            ai->missionTarget = target;
    }
    void SetDefended(Obj::Object* pilot, Obj::Damageable* defended) override {
        if (auto* ai = dynamic_cast<Obj::PilotAi*>(pilot))
            ai->defendObject = defended;
    }
    void SetWingLeader(Obj::Object* pilot, Obj::Airplane* leader) override {
        if (auto* ai = dynamic_cast<Obj::PilotAi*>(pilot))
            ai->leader = leader;
    }

private:
    // The figure loaded, in the airplane's world and seated; null (and said) when the figure does not load.
    static Obj::Pilot* Seat(std::unique_ptr<Obj::Pilot> pilot, Obj::Airplane* airplane,
                            const Base::String& figure) {
        Grp::World* world = airplane ? airplane->Obj::Object::world : nullptr;
        if (!world)
            return nullptr;
        if (!pilot->Load(&Base::InfoCache::Get(figure))) {
            std::fprintf(stderr, "The pilot's figure '%s' does not load: the airplane has no pilot.\n",
                         Base::Clip(figure).c_str());
            return nullptr;
        }
        Obj::Pilot* seated = pilot.get();
        world->AddObject(pilot.release());
        seated->SetAirplane(airplane);
        return seated;
    }
};

PilotCrew pilots;

} // namespace

Crew* Crew::installed = &pilots;

} // namespace Mission
