// The world's object descriptions as the scenery's groups and the missions give them: any text as the
// description of a structure, an airbase, a car, an armed car, a ship, a warship and a carrier (one small
// model, Truck.dff, exists to be named), each placed at the text's "Pos" heading "Hdg" at "InitSpeed", sent
// to its "Dest" and run for a few frames in a world. Places and speeds may be anything a file holds: the
// objects file into the world's sectors, move and leave without a fault.
#include "fuzz/support/SceneFuzz.h"
#include "fuzz/support/ModelFile.h"

#include "objects/Ship.h"
#include "objects/Structure.h"
#include "objects/Vehicle.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include "base/Info.h"
#include "base/Maths.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/world/rpworld.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view NoDirectory = "\\corvane-fuzz-no-such-directory";

bool Start() {
    if (!FuzzSupport::StartSceneEngine())
        return false;
    FuzzSupport::WriteModel(FuzzSupport::ScratchDirectory() + "Truck.dff",
                            {{"Body", {{-2, 0, -4}, {2, 0, -4}, {0, 3, 4}}}});
    return true;
}

struct Group {
    Base::Vector2 position, direction{0, 1}, destination;
    float speed = 0;
    bool moves = false;
};

// Keeps the vehicle in the world when its set-up succeeds, and sets it off.
void Add(Grp::World& world, std::unique_ptr<Obj::Vehicle> vehicle, bool ready, const Group& group) {
    if (!ready)
        return;
    Obj::Vehicle* placed = vehicle.get();
    world.AddObject(vehicle.release());
    if (group.moves)
        placed->MoveTo(group.destination);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = Start();
    if (!started)
        std::abort();
    Base::Info info;
    if (info.LoadText(std::string_view(reinterpret_cast<const char*>(data), size), NoDirectory) != 0)
        return 0;
    Group group;
    float heading = 0;
    info.TryGetPoint("Pos", group.position);
    group.moves = info.TryGetPoint("Dest", group.destination);
    info.TryGetFloat("InitSpeed", group.speed);
    if (info.TryGetFloat("Hdg", heading)) {
        const double h = heading * Base::Pi / 180.0;
        group.direction = {float(-std::sin(h)), float(std::cos(h))};
    }
    {
        Grp::World world;
        for (int kind = 0; kind < 2; ++kind) {
            auto structure = kind ? std::make_unique<Obj::Airbase>() : std::make_unique<Obj::Structure>();
            if (!structure->Load(&info))
                continue;
            RwMatrix place{};
            place.right = {1, 0, 0};
            place.up = {0, 1, 0};
            place.at = {0, 0, 1};
            place.pos = {group.position.x, 0, group.position.y};
            RwMatrixUpdate(&place);
            structure->Transform(&place, rwCOMBINEPOSTCONCAT);
            world.AddObject(structure.release());
        }
        const Group& g = group;
        auto car = std::make_unique<Obj::Car>();
        bool ready = car->Setup(&info, g.position, g.direction, g.speed, 10, 0.25f, 0.25f);
        Add(world, std::move(car), ready, g);
        auto warCar = std::make_unique<Obj::WarCar>();
        ready = warCar->Setup(&info, g.position, g.direction, g.speed, 10, 0.25f, 0.25f, false, false);
        Add(world, std::move(warCar), ready, g);
        auto ship = std::make_unique<Obj::Ship>();
        ready = ship->Setup(&info, g.position, g.direction, g.speed, 10, 0.02f, 0.02f);
        Add(world, std::move(ship), ready, g);
        auto warShip = std::make_unique<Obj::WarShip>();
        ready = warShip->Setup(&info, g.position, g.direction, g.speed, 10, 0.02f, 0.02f, false, false);
        Add(world, std::move(warShip), ready, g);
        auto carrier = std::make_unique<Obj::Carrier>();
        ready = carrier->Setup(&info, g.position, g.direction, g.speed, 10, 0.02f, 0.02f, false, false);
        Add(world, std::move(carrier), ready, g);
        for (int frame = 0; frame < 4; ++frame) {
            world.time->step = 0.5f;
            world.time->time += 0.5f;
            Grp::RunGroup(*world.runnables);
        }
    }
    return 0;
}
