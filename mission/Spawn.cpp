// The spawning action kinds: groups of computer-flown airplanes, cars, ships and buildings placed in a
// formation, and the player's airplane.
#include "mission/Spawn.h"

#include "mission/GameRequest.h"
#include "mission/Mission.h"

#include "aircraft/Airplane.h"
#include "objects/Ship.h"
#include "objects/Structure.h"
#include "objects/Terrain.h"
#include "objects/Vehicle.h"
#include "scene/MatrixHelpers.h"
#include "scene/World.h"

#include "base/ClumpCache.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/Random.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <strings.h>

namespace Mission {

namespace {

constexpr double DegreesToRadians = Base::Pi / 180.0;

// MT19937 filled the program generator's way (x = seed, each word x = x * 69069), kept apart from it.
class PlacementRandom {
public:
    explicit PlacementRandom(uint32_t seed) {
        uint32_t x = seed == 0 ? 1335u : seed;
        for (uint32_t& word : state) {
            x *= 69069u;
            word = x;
        }
    }
    uint32_t Next() {
        if (index >= state.size())
            Twist();
        uint32_t y = state[index++];
        y ^= y >> 11;
        y ^= (y << 7) & 0x9D2C5680u;
        y ^= (y << 15) & 0xEFC60000u;
        y ^= y >> 18;
        return y;
    }
    // From lo up to, but not including, hi, as the program's generator draws it.
    float FloatInRange(float lo, float hi) {
        float value = static_cast<float>(Next() * (1.0 / 4294967296.0) * (hi - lo) + lo);
        if (hi > lo && value >= hi)
            value = std::nextafter(hi, lo);
        return value;
    }

private:
    void Twist() {
        constexpr size_t n = 624, m = 397;
        for (size_t k = 0; k < n; ++k) {
            const uint32_t y = (state[k] & 0x80000000u) | (state[(k + 1) % n] & 0x7FFFFFFFu);
            state[k] = state[(k + m) % n] ^ (y >> 1) ^ ((y & 1) ? 0x9908B0DFu : 0);
        }
        index = 0;
    }

    std::array<uint32_t, 624> state{};
    size_t index = 624;
};

Base::Vector2 Turned(Base::Vector2 d, double degrees) {
    const float c = float(std::cos(degrees * DegreesToRadians)),
                s = float(std::sin(degrees * DegreesToRadians));
    return {c * d.x + s * d.y, c * d.y - s * d.x};
}

} // namespace

bool ParseFormation(const Base::Info& node, Formation& out) {
    static constexpr const char* words[] = {"LineAhead", "LineAbreast", "Wedge", "Random"};
    Base::String type;
    float span = 0;
    if (!node.TryGetFloat("ObjectsSpan", span) || !node.TryGetString("Type", type))
        return false;
    for (int i = 0; i < 4; ++i)
        if (strcasecmp(type.c_str(), words[i]) == 0) {
            out.type = i + 1;
            out.span = span;
            return true;
        }
    return false;
}

Base::Vector2 GroupDirection(float headingDegrees) {
    const double h = headingDegrees * DegreesToRadians;
    return {float(-std::sin(h)), float(std::cos(h))};
}

uint32_t FormationSeed(Base::Vector2 direction, uint32_t index) {
    const float degrees = Base::SignedAngle2d(direction, {1, 0}) * float(180.0 / Base::Pi);
    const uint32_t seed = uint32_t(int32_t(std::lround(degrees))) + index;
    return seed == 0 ? 1335u : seed;
}

Base::Vector2 PlaceInFormation(const Formation& formation, Base::Vector2& out, uint32_t index,
                               Base::Vector2 reference, Base::Vector2 direction) {
    PlacementRandom random(FormationSeed(direction, index));
    constexpr double toUnit = 1.0 / 4294967296.0;
    const float a = float(random.Next() * toUnit * 2.0 * Base::Pi);
    const float r = float(random.Next() * toUnit * formation.span * 0.05);
    const Base::Vector2 jitter{r * std::cos(a), -r * std::sin(a)};
    const Base::Vector2& p = reference;
    const Base::Vector2& d = direction;
    const float k = float((index + 1) / 2) * formation.span;
    switch (formation.type) {
    case Formation::LineAhead: {
        const float behind = float(index) * formation.span;
        out = {p.x - behind * d.x + jitter.x, p.y - behind * d.y + jitter.y};
        break;
    }
    case Formation::LineAbreast: {
        const Base::Vector2 right{d.y, -d.x};
        const float side = index % 2 ? -k : k;
        out = {p.x + side * right.x + jitter.x, p.y + side * right.y + jitter.y};
        break;
    }
    case Formation::Wedge: {
        const Base::Vector2 arm = Turned(d, index % 2 ? 130.0 : -130.0);
        out = {p.x + k * arm.x + jitter.x, p.y + k * arm.y + jitter.y};
        break;
    }
    case Formation::Random: {
        const float b = random.FloatInRange(0.0f, float(2.0 * Base::Pi));
        const float f = random.FloatInRange(0.1f, 1.0f);
        out = {p.x + f * formation.span * std::cos(b), p.y - f * formation.span * std::sin(b)};
        break;
    }
    default:
        out = p;
        break;
    }
    return out;
}

namespace {

void Report(const Mission& mission, const char* format, const Base::String& what) {
    std::fprintf(stderr, "The mission '%s': ", Base::Clip(mission.header.fileName).c_str());
    std::fprintf(stderr, format, Base::Clip(what).c_str());
    std::fputc('\n', stderr);
}

} // namespace

// The keys every group shares; the kinds read their own first, then call this.
class ActSpawnObjects : public Action {
public:
    // More would stall the game for a typo; no mission needs that many of one group.
    static constexpr int32_t MaxCount = 100;

    bool Load(Event* owner, const Base::Info& node) override {
        if (!node.TryGetInt("Count", count))
            count = 1;
        if (count < 0 || count > MaxCount)
            return false;
        if (count > 1) {
            const Base::Info* formationNode = node.GetChild("Formation");
            if (!formationNode || !ParseFormation(*formationNode, formation))
                return false;
        }
        Base::String side;
        const Base::Info* pos = node.GetChild("Pos");
        if (!node.TryGetString("ObjectId", objectId) || !node.TryGetString("Allegiance", side) ||
            !ParseAllegiance(side, allegiance) || !node.TryGetString("Model", model) || !pos ||
            !PointRef::Parse(owner->mission, position, *pos) || !node.TryGetFloat("Hdg", heading))
            return false;
        type = node.GetStringDefault("Type", "<undefined>");
        return Action::Load(owner, node);
    }

    // The name of object i: the group's own for a group of one, else numbered from 1.
    Base::String NameOf(int32_t i) const {
        return count > 1 ? Base::Formatted("%s%d", objectId.c_str(), i + 1) : objectId;
    }
    Base::Vector2 Point(int32_t i, const PointRef& reference) const {
        float x, z;
        PointRef::Resolve(reference, x, z);
        Base::Vector2 out;
        return PlaceInFormation(formation, out, uint32_t(i), {x, z}, GroupDirection(heading));
    }

    int32_t count = 1;
    Formation formation;
    Base::String objectId;
    Base::String type;
    Obj::Allegiance allegiance = Obj::Friendly;
    Base::String model;
    PointRef position;
    float heading = 0;
};

class ActSpawnAirplanes : public ActSpawnObjects {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        if (!node.TryGetFloat("Alt", altitude))
            return false;
        speed = node.GetFloatDefault("InitSpeed", 200.0f);
        ordnance = node.GetStringDefault("Ordnance", "");
        level = node.GetFloatDefault("Level", 0.5f);
        return ActSpawnObjects::Load(owner, node);
    }
    void Execute() override {
        Mission& mission = GetMission();
        Grp::World* world = mission.host.GetWorld();
        if (!world)
            return;
        const Base::String path = Base::MakePath(Base::ClumpCache::Directory, model);
        for (int32_t i = 0; i < count; ++i) {
            auto airplane = std::make_unique<Obj::Airplane>();
            if (!airplane->Load(path.c_str(), Obj::Airplane::SimpleModel)) {
                Report(mission, "the airplane '%s' does not load; its group is left out", model);
                return;
            }
            airplane->allegiance = allegiance;
            if (!ordnance.empty() && Armoury::installed)
                Armoury::installed->LoadSetup(airplane.get(), ordnance);
            Obj::Airplane* placed = airplane.get();
            world->AddObject(airplane.release());
            const Base::Vector2 at = Point(i, position);
            placed->Place(at.x, at.y, altitude, heading, speed);
            if (Crew::installed)
                Crew::installed->CreateComputerPilot(
                    placed, Base::MakePath(Base::ClumpCache::Directory, "Airplanes\\Pilot.model"), allegiance,
                    level);
            mission.AddObject(placed, NameOf(i));
        }
    }

    float altitude = 0, speed = 200.0f, level = 0.5f;
    Base::String ordnance;
};

class ActSpawnVehicles : public ActSpawnObjects {
public:
    bool LoadVehicle(Event* owner, const Base::Info& node) {
        Base::Vector2 point;
        if (const Base::Info* dest = node.GetChild("Dest"); dest && node.TryGetPoint("Dest", point)) {
            if (!PointRef::Parse(owner->mission, destination, *dest) || !node.TryGetFloat("InitSpeed", speed))
                return false;
            hasDestination = true;
        }
        return true;
    }
    // Sets the vehicle up, adds it to the world, sends it off and names it; false when it does not load.
    template <class Make> bool SpawnEach(const Base::Info& description, Make make) {
        Mission& mission = GetMission();
        Grp::World* world = mission.host.GetWorld();
        if (!world)
            return false;
        for (int32_t i = 0; i < count; ++i) {
            const Base::Vector2 at = Point(i, position);
            std::unique_ptr<Obj::Vehicle> vehicle = make(description, at, GroupDirection(heading));
            if (!vehicle) {
                Report(mission, "the vehicle '%s' does not load; its group is left out", model);
                return false;
            }
            vehicle->allegiance = allegiance;
            Obj::Vehicle* placed = vehicle.get();
            world->AddObject(vehicle.release());
            if (hasDestination)
                placed->MoveTo(Point(i, destination));
            mission.AddObject(placed, NameOf(i));
        }
        return true;
    }

    bool hasDestination = false;
    PointRef destination;
    float speed = 0; // without a destination the vehicles stand
    bool gun = false, launcher = false;
};

class ActSpawnCars : public ActSpawnVehicles {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        if (!LoadVehicle(owner, node))
            return false;
        gunValue = Fitted(node, "Gun");
        launcherValue = Fitted(node, "Launcher");
        return ActSpawnObjects::Load(owner, node);
    }
    void Execute() override {
        const Base::Info& description =
            Base::InfoCache::Get(Base::MakePath(Base::ClumpCache::Directory, model));
        const bool car = strcasecmp(type.c_str(), "Car") == 0;
        SpawnEach(description, [&](const Base::Info& info, Base::Vector2 at, Base::Vector2 d) {
            std::unique_ptr<Obj::Vehicle> made;
            if (car) {
                auto vehicle = std::make_unique<Obj::Car>();
                if (vehicle->Setup(&info, at, d, speed, 10.0f, 0.25f, 0.25f))
                    made = std::move(vehicle);
            } else {
                // Each weapon is fitted to about half of the cars when its value is above 0, and only
                // once the weapons can be made.
                const bool withGun =
                    (Base::Random::NextUInt32() & 1u) < gunValue && Obj::VehicleWeapons::CreateAutoGun;
                const bool withLauncher = (Base::Random::NextUInt32() & 1u) < launcherValue &&
                                          Obj::VehicleWeapons::CreateAutoLauncher;
                auto vehicle = std::make_unique<Obj::WarCar>();
                if (vehicle->Setup(&info, at, d, speed, 10.0f, 0.25f, 0.25f, withGun, withLauncher))
                    made = std::move(vehicle);
            }
            return made;
        });
    }
    // 0 when missing, unreadable or not above 0; at most 1.
    static float Fitted(const Base::Info& node, const char* key) {
        float value = 0;
        if (!node.TryGetFloat(key, value) || !(value > 0))
            return 0;
        return value > 1 ? 1.0f : value;
    }

    float gunValue = 0, launcherValue = 0;
};

class ActSpawnShips : public ActSpawnVehicles {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        if (!LoadVehicle(owner, node))
            return false;
        int32_t value = 0;
        gun = node.TryGetInt("Gun", value) && value != 0;
        value = 0;
        launcher = node.TryGetInt("Launcher", value) && value != 0;
        return ActSpawnObjects::Load(owner, node);
    }
    void Execute() override {
        const bool ship = strcasecmp(type.c_str(), "Ship") == 0;
        const bool warShip = strcasecmp(type.c_str(), "WarShip") == 0;
        const bool carrier = !ship && !warShip;
        const Base::Info& description =
            Base::InfoCache::Get(carrier ? Base::MakePath(Base::ClumpCache::Directory, model, "model")
                                         : Base::MakePath(Base::ClumpCache::Directory, model));
        SpawnEach(description, [&](const Base::Info& info, Base::Vector2 at, Base::Vector2 d) {
            std::unique_ptr<Obj::Vehicle> made;
            if (ship) {
                auto vehicle = std::make_unique<Obj::Ship>();
                if (vehicle->Setup(&info, at, d, speed, 10.0f, 0.02f, 0.02f))
                    made = std::move(vehicle);
            } else {
                std::unique_ptr<Obj::WarShip> vehicle =
                    carrier ? std::make_unique<Obj::Carrier>() : std::make_unique<Obj::WarShip>();
                if (vehicle->Setup(&info, at, d, speed, 10.0f, 0.02f, 0.02f,
                                   gun && Obj::VehicleWeapons::CreateAutoGun,
                                   launcher && Obj::VehicleWeapons::CreateAutoLauncher))
                    made = std::move(vehicle);
            }
            return made;
        });
    }
};

class ActSpawnStructures : public ActSpawnObjects {
public:
    bool Load(Event* owner, const Base::Info& node) override {
        alignToGround = node.GetBoolDefault("AlignToGround", false);
        return ActSpawnObjects::Load(owner, node);
    }
    void Execute() override {
        Mission& mission = GetMission();
        Grp::World* world = mission.host.GetWorld();
        if (!world)
            return;
        const Base::Info& description =
            Base::InfoCache::Get(Base::MakePath(Base::ClumpCache::Directory, model));
        const Base::Vector2 d = GroupDirection(heading);
        for (int32_t i = 0; i < count; ++i) {
            auto structure = std::make_unique<Obj::Structure>();
            if (!structure->Load(&description)) {
                Report(mission, "the structure '%s' does not load; its group is left out", model);
                return;
            }
            const Base::Vector2 at = Point(i, position);
            RwLine probe{{at.x, 20000.0f, at.y}, {at.x, -10000.0f, at.y}};
            RwV3d hit, normal;
            if (!world->terrain || !world->terrain->IntersectSegment(&probe, &hit, &normal))
                continue; // no ground to stand on
            const RwV3d up = alignToGround ? normal : RwV3d{0, 1, 0};
            // The group's direction made square to the up axis.
            const RwV3d along{d.x, 0, d.y};
            const RwV3d right = Normalized(Cross(up, along));
            const RwV3d forward = Normalized(Cross(right, up));
            RwMatrix matrix;
            Base::SetMatrixAxes(&matrix, up, forward, hit);
            structure->Transform(&matrix, 0);
            structure->allegiance = allegiance;
            Obj::Structure* placed = structure.get();
            world->AddObject(structure.release());
            mission.AddObject(placed, NameOf(i));
        }
    }
    static RwV3d Normalized(const RwV3d& v) {
        const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        return length > 0 ? RwV3d{v.x / length, v.y / length, v.z / length} : RwV3d{0, 0, 1};
    }
    static RwV3d Cross(const RwV3d& a, const RwV3d& b) {
        return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    }

    bool alignToGround = false;
};

class ActSpawnPlayer : public Action {
public:
    enum Setup { AirGround = 0, AirbaseStart = 1, CarrierStart = 2 };

    bool Load(Event* owner, const Base::Info& node) override {
        Base::String kind;
        if (!node.TryGetString("SetupType", kind))
            return false;
        setup = kind == "AirGround" ? AirGround : kind == "Airbase" ? AirbaseStart : CarrierStart;
        model = node.GetStringDefault("Model", "");
        ordnance = node.GetStringDefault("Ordnance", "");
        bool ok = true;
        switch (setup) {
        case AirGround: {
            const Base::Info* pos = node.GetChild("Pos");
            ok = pos && PointRef::Parse(owner->mission, position, *pos) && node.TryGetFloat("Hdg", heading) &&
                 node.TryGetFloat("Alt", altitude) && node.TryGetFloat("Speed", speed);
            break;
        }
        case AirbaseStart:
            ok = node.TryGetString("AirbaseId", baseId) && node.TryGetString("RunwayName", placeName);
            break;
        default:
            ok = node.TryGetString("CarrierId", baseId) && node.TryGetString("CatapultName", placeName);
            break;
        }
        return ok && Action::Load(owner, node);
    }
    void Execute() override {
        Mission& mission = GetMission();
        Host& host = mission.host;
        Grp::World* world = host.GetWorld();
        if (!world)
            return;
        const Fe::GameRequest& request = host.GetRequest();
        const Base::String chosen = model.empty() ? request.airplane : model;
        const Base::String path = Base::MakePath(Base::ClumpCache::Directory, chosen);
        auto airplane = std::make_unique<Obj::Airplane>();
        if (!airplane->Load(path.c_str(), Obj::Airplane::ComplexModel)) {
            Report(mission, "the player's airplane '%s' does not load", chosen);
            return;
        }
        airplane->allegiance = Obj::Friendly;
        if (Armoury::installed) {
            if (!ordnance.empty())
                Armoury::installed->LoadSetup(airplane.get(), ordnance);
            else
                Armoury::installed->ApplyLoadout(airplane.get(), request.loadout);
        }
        Obj::Airplane* placed = airplane.get();
        world->AddObject(airplane.release());
        Place(mission, *placed);

        Obj::Object* pilot = nullptr;
        if (Crew::installed)
            pilot = Crew::installed->CreatePlayerPilot(
                placed, Base::MakePath(Base::ClumpCache::Directory, "Airplanes\\Pilot.model"),
                host.GetSettings());
        if (auto* damageable = dynamic_cast<Obj::Damageable*>(pilot))
            mission.AddObject(damageable, "Player");
        mission.AddObject(placed, "PlayerAirplane");

        host.SetCameraTarget(placed);
        host.SetCurrentCamera(Host::CockpitCamera);
        host.SetPlayer(pilot, placed);
    }

    void Place(Mission& mission, Obj::Airplane& airplane) {
        if (setup == AirGround) {
            float x, z;
            PointRef::Resolve(position, x, z);
            airplane.Place(x, z, altitude, heading, speed);
            return;
        }
        Obj::Damageable* base = mission.FindObject(baseId);
        if (setup == AirbaseStart) {
            auto* airbase = dynamic_cast<Obj::Airbase*>(base);
            if (!airbase || !airplane.PlaceOnRunway(airbase, placeName))
                Report(mission, "the player's runway at '%s' is not there", baseId);
            return;
        }
        auto* carrier = dynamic_cast<Obj::Carrier*>(base);
        auto* held = dynamic_cast<Obj::CatapultAirplane*>(&airplane);
        if (!carrier || !held) {
            Report(mission, "the player's carrier '%s' is not there", baseId);
            return;
        }
        for (auto& [name, catapult] : carrier->catapults)
            if (catapult.airplane.Get() == held)
                carrier->ReleaseFromCatapult(held);
        if (!carrier->PlaceOnCatapult(held, placeName))
            Report(mission, "the player's catapult on '%s' is not there", baseId);
    }

    Setup setup = AirGround;
    Base::String model, ordnance;
    PointRef position;
    float heading = 0, altitude = 0, speed = 0;
    Base::String baseId, placeName;
};

namespace {

template <class T> using Reg = Base::ClassRegistration<T>;
const Reg<ActSpawnAirplanes> r1("class Mission::ActSpawnAirplanes");
const Reg<ActSpawnCars> r2("class Mission::ActSpawnCars");
const Reg<ActSpawnShips> r3("class Mission::ActSpawnShips");
const Reg<ActSpawnStructures> r4("class Mission::ActSpawnStructures");
const Reg<ActSpawnPlayer> r5("class Mission::ActSpawnPlayer");

} // namespace

} // namespace Mission
