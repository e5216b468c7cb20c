// The mission's crew on the game's own pilots: the player's pilot with its figure, seated and given the
// player's control settings. Computer pilots are not built yet: an airplane spawned for one flies without a
// pilot (said once on stderr).
#include "mission/Host.h"

#include "aircraft/Airplane.h"
#include "pilots/Pilot.h"
#include "pilots/PilotPlayer.h"
#include "scene/World.h"

#include "base/Info.h"
#include "base/InfoCache.h"

#include <cstdio>

namespace Mission {

namespace {

class PilotCrew : public Crew {
public:
    Obj::Object* CreateComputerPilot(Obj::Airplane*, const Base::String&, Obj::Allegiance, float) override {
        static bool told = false;
        if (!told)
            std::fprintf(stderr, "Computer pilots are not built yet: spawned airplanes fly without one.\n");
        told = true;
        return nullptr;
    }
    Obj::Object* CreatePlayerPilot(Obj::Airplane* airplane, const Base::String& figure,
                                   const Base::Config* settings) override {
        Grp::World* world = airplane ? airplane->Obj::Object::world : nullptr;
        if (!world)
            return nullptr;
        auto pilot = std::make_unique<Obj::PilotPlayer>();
        if (!pilot->Load(&Base::InfoCache::Get(figure))) {
            std::fprintf(stderr, "The pilot's figure '%s' does not load: the player has no pilot.\n",
                         Base::Clip(figure).c_str());
            return nullptr;
        }
        Obj::PilotPlayer* seated = pilot.get();
        world->AddObject(pilot.release());
        seated->SetAirplane(airplane);
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
    bool IsComputerPilot(Obj::Object*) override { return false; }
    void Eject(Obj::Object* pilot) override {
        if (auto* figure = dynamic_cast<Obj::Pilot*>(pilot))
            figure->Eject();
    }
    void SetRoute(Obj::Object*, const std::vector<RwV3d>&) override {}
    void SetAttackTarget(Obj::Object*, Obj::Damageable*) override {}
    void SetDefended(Obj::Object*, Obj::Damageable*) override {}
    void SetWingLeader(Obj::Object*, Obj::Airplane*) override {}
};

PilotCrew pilots;

} // namespace

Crew* Crew::installed = &pilots;

} // namespace Mission
