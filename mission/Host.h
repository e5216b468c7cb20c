// What a running mission asks of the game that plays it, and of the layers that make its pilots and
// missiles. The single-player game implements Host; Crew and Armoury are bindings to the pilots and the
// weapons. Without a binding, the actions that need it do nothing.
#pragma once

#include "scene/Damageable.h"

#include "rwsdk/src/plcore/matrix.h"

#include "base/String.h"

#include <vector>

namespace Base {
class Config;
class Info;
} // namespace Base
namespace Fe {
class GameRequest;
}
namespace Grp {
class World;
}
namespace Gui {
class Announcer;
}
namespace Obj {
class Airplane;
class Frame;
class Object;
class Target;
} // namespace Obj

namespace Mission {

class Host {
public:
    enum Camera { CockpitCamera = 0, OutsideCamera = 1, FlyByCamera = 2 };

    virtual ~Host() = default;
    virtual Grp::World* GetWorld() = 0;
    // The front end's current request: read it, or copy it, change the copy and Assign it back.
    virtual Fe::GameRequest& GetRequest() = 0;
    // The settings record; null when there is none.
    virtual const Base::Config* GetSettings() = 0;
    // The game overlay's "Announcer"; null when there is none.
    virtual Gui::Announcer* GetAnnouncer() = 0;
    // The game's pending action becomes "mission ended": its current tick returns to the end page.
    virtual void EndMission() = 0;
    // The cameras follow this object.
    virtual void SetCameraTarget(Obj::Frame* target) = 0;
    // The current camera is deactivated and the one of that kind made current and active.
    virtual void SetCurrentCamera(int camera) = 0;
    virtual void SetPlayer(Obj::Object* pilot, Obj::Airplane* airplane) = 0;
};

// The pilots: the spawn actions seat them, the steering actions set their links and routes. Installed from
// the start is the binding to the game's own pilots (PilotCrew.cpp); tests put stand-ins in its place.
class Crew {
public:
    static Crew* installed;

    virtual ~Crew() = default;
    // A computer pilot with the figure loaded from that model description, added to the airplane's world
    // and seated in it; null when it cannot be made.
    virtual Obj::Object* CreateComputerPilot(Obj::Airplane* airplane, const Base::String& figure,
                                             Obj::Allegiance allegiance, float level) = 0;
    // The player's pilot, likewise, with the player's control settings applied (settings may be null).
    virtual Obj::Object* CreatePlayerPilot(Obj::Airplane* airplane, const Base::String& figure,
                                           const Base::Config* settings) = 0;
    // Null when the object is no pilot or sits in no airplane.
    virtual Obj::Airplane* GetAirplane(Obj::Object* pilot) = 0;
    virtual Obj::Object* GetPilot(Obj::Airplane* airplane) = 0;
    virtual bool IsPlayerPilot(Obj::Object* pilot) = 0;
    virtual bool IsComputerPilot(Obj::Object* pilot) = 0;
    // The pilot leaves its airplane.
    virtual void Eject(Obj::Object* pilot) = 0;
    // Computer pilots only: a new route from its first point, and the three links (null clears one).
    virtual void SetRoute(Obj::Object* pilot, const std::vector<RwV3d>& points) = 0;
    virtual void SetAttackTarget(Obj::Object* pilot, Obj::Damageable* target) = 0;
    virtual void SetDefended(Obj::Object* pilot, Obj::Damageable* defended) = 0;
    virtual void SetWingLeader(Obj::Object* pilot, Obj::Airplane* leader) = 0;
};

// The weapons: the airplanes' stores and the homing missiles. Installed from the start is the binding to
// the game's own weapons (StoresArmoury.cpp), which hangs ordnance on the stores that the airplanes get once
// Weapons::InstallStores has run; tests put stand-ins in its place.
class Armoury {
public:
    static Armoury* installed;

    virtual ~Armoury() = default;
    // A named weapon set-up of the airplane's description; false when it has none of that name.
    virtual bool LoadSetup(Obj::Airplane* airplane, const Base::String& setup) = 0;
    // The racks filled from a loadout tree chosen in the front end.
    virtual void ApplyLoadout(Obj::Airplane* airplane, const Base::Info& loadout) = 0;
    // A homing missile of the type's description placed at the matrix, homing on the target with that
    // velocity, in the world; false, leaving nothing behind, when it cannot be made.
    virtual bool LaunchHomingRocket(Grp::World* world, const Base::String& description,
                                    const RwMatrix& placement, Obj::Target* target,
                                    const RwV3d& velocity) = 0;
};

} // namespace Mission
