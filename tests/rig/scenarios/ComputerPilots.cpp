// Computer pilots on the sample airplanes (simple flight model) over flat ground made in memory.
// "ai-dogfight": two against two with air-to-air missiles (below).
// "ai-formation": a leader with no orders cruises in a gentle circle at 9000; its wingman starts 1.5 km
// behind and to the side and takes the formation slot beside it. Traced: when the wingman first
// comes within 50 m of its slot, and every 10 s the worst distance from the slot since then.
// "ai-bomb-run": an Su25 with four bombs finds an enemy truck on the ground 14 km ahead, runs in and bombs
// it (below).
#include "tests/rig/WorldScenario.h"

#include "aircraft/Airplane.h"
#include "objects/Explosion.h"
#include "objects/Terrain.h"
#include "objects/Vehicle.h"
#include "pilots/PilotAi.h"
#include "weapons/Bomb.h"
#include "weapons/HomingRocket.h"
#include "weapons/Stores.h"

#include "base/AnimationCache.h"
#include "base/ClumpCache.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "scene/AnimationFile.h"
#include "scene/ClumpFile.h"
#include "scene/World.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Flat land at height 10 x level over 64 km square around the origin.
bool BuildFlatTerrain(Obj::Terrain& terrain, std::string& error, uint8_t level = 0) {
    Base::Info description;
    const std::string text =
        "VisibilityRange 20000\nSliceSize 16384\nSliceVerticesSpan 17\nSlicesSpan 4 4\n"
        "BottomRightPos -32768 -32768\nHeightMapFilename Height.png\nHeightMapScale 10\nHeightMapOffset 0 0\n"
        "HeightMapSize 65 65\nMainTextureDir Data\\Terrain1\nMainTextureNameFormat S_%02d_%02d.dds\n"
        "MainTextureRes 512\nMainTextureOffset 0 0\nLightAmbientColor 0.3 0.3 0.3\n"
        "LightDiffuseColor 1 1 0.9 1\nLightSpecularColor 0 0 0\nLightDirection 0.709 -0.574 0.410\n"
        "WaterSpecularPower 20\nWaterColorNoPS 0.2 0.3 0.4 1\nWaterColorPS11 0.2 0.3 0.4 1\n"
        "WaterEnvTexFilename Env\nWaterAnimFramesCount 8\nSlicesLandFilename Land.png\n"
        "SlicesWaterFilename Water.png\n";
    if (description.LoadText(text) != 0 || !terrain.ReadParameters(description)) {
        error = "the flat terrain's description is refused";
        return false;
    }
    const std::vector<uint8_t> heights(65 * 65, level), land(65 * 65, 1), water(65 * 65, 0);
    const auto view = [](const std::vector<uint8_t>& pixels) {
        return Obj::Terrain::ImageView{65, 65, 1, 65, pixels.data(), pixels.size()};
    };
    Obj::Terrain::HeightMap map;
    Obj::Terrain::BitMask landMask, waterMask;
    Obj::Terrain::ReadHeightMap(view(heights), map);
    Obj::Terrain::ReadBitMask(view(land), landMask);
    Obj::Terrain::ReadBitMask(view(water), waterMask);
    if (!terrain.LoadData(std::move(map), std::move(landMask), std::move(waterMask))) {
        error = "the flat terrain cannot be built";
        return false;
    }
    return true;
}

float Distance(const RwV3d& a, const RwV3d& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

std::string Format(const char* format, double a, double b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

class ComputerPilotScenario : public Rig::WorldScenario {
public:
    ~ComputerPilotScenario() override { ComputerPilotScenario::Stop(); }

    // The world and the caches go before the engine stops.
    void Stop() override {
        if (world) {
            world->terrain = nullptr;
            world->Clear();
        }
        terrain.reset();
        Base::InfoCache::Clear();
        Base::AnimationCache::Clear();
        Base::ClumpCache::Clear();
        Rig::WorldScenario::Stop();
    }

protected:
    // The ground (at 10 x level) answers the pilots' terrain probes; as one of the world's objects (inWorld)
    // it is also hit by what falls, as the game's terrain is.
    bool Prepare(std::string& error, bool inWorld = false, uint8_t level = 0) {
        Base::ClumpCache::Directory = "Data\\Models\\";
        Rw::InstallClumpCache();
        Base::AnimationCache::Directory = "Data\\Anims\\";
        Rw::InstallAnimationCache();
        terrain = std::make_unique<Obj::Terrain>();
        if (!BuildFlatTerrain(*terrain, error, level))
            return false;
        world->terrain = terrain.get();
        if (inWorld)
            world->AddObject(terrain.release());
        return true;
    }

    // A sample airplane on the simple flight model in the air, with a computer pilot of that seed.
    Obj::PilotAi* Spawn(const char* title, float x, float z, float height, float heading,
                        Obj::Allegiance side, uint32_t seed, std::string& error) {
        auto* airplane = new Obj::Airplane();
        airplane->seed = seed;
        if (!airplane->Load((std::string("Data/Models/Airplanes/") + title).c_str(),
                            Obj::Airplane::SimpleModel)) {
            delete airplane;
            error = std::string(title) + " does not load";
            return nullptr;
        }
        airplane->allegiance = side;
        airplane->name = title;
        world->AddObject(airplane);
        airplane->Place(x, z, height, heading, 200);
        auto* pilot = new Obj::PilotAi(seed);
        if (!pilot->Load(&Base::InfoCache::Get("Data/Models/Airplanes/Pilot.model"))) {
            delete pilot;
            error = "the pilot's figure does not load";
            return nullptr;
        }
        pilot->SetAirplane(airplane);
        world->AddObject(pilot);
        return pilot;
    }

    std::unique_ptr<Obj::Terrain> terrain;
};

// The formation: the wingman's slot as the pilot computes it, 20 behind the leader and 120 to its side.
class Formation : public ComputerPilotScenario {
protected:
    bool Populate(Rig::RunContext& run, std::string& error) override {
        if (!Prepare(error))
            return false;
        leader = Spawn("Su27", 0, 0, 9000, 0, Obj::Friendly, run.seed, error);
        if (!leader)
            return false;
        wingman = Spawn("Mig29", -800, -1500, 9000, 0, Obj::Friendly, run.seed + 1, error);
        if (!wingman)
            return false;
        wingman->leader = leader->GetAirplane();
        // Nothing on the racks: the pilots decide with empty stores.
        Obj::PilotAi::StoresOf = [](Obj::Airplane*) {
            return std::unique_ptr<Obj::AiStores>(new NoStores());
        };
        return true;
    }

    void Frame(Rig::RunContext& run) override {
        Rig::WorldScenario::Frame(run);
        Obj::Airplane* lead = leader ? leader->GetAirplane() : nullptr;
        Obj::Airplane* wing = wingman ? wingman->GetAirplane() : nullptr;
        if (!lead || !wing)
            return;
        const Physics::AirplaneState& ls = lead->flightModel->state;
        const Physics::AirplaneState& ws = wing->flightModel->state;
        const RwV3d right = {ls.up.y * ls.at.z - ls.up.z * ls.at.y, ls.up.z * ls.at.x - ls.up.x * ls.at.z,
                             ls.up.x * ls.at.y - ls.up.y * ls.at.x};
        const RwV3d off = {ws.position.x - ls.position.x, ws.position.y - ls.position.y,
                           ws.position.z - ls.position.z};
        const float side = off.x * right.x + off.y * right.y + off.z * right.z > 0 ? 1.0f : -1.0f;
        const RwV3d slot = {ls.position.x - 20 * ls.at.x + 120 * side * right.x,
                            ls.position.y - 20 * ls.at.y + 120 * side * right.y,
                            ls.position.z - 20 * ls.at.z + 120 * side * right.z};
        const float miss = Distance(ws.position, slot);
        const double t = world->time->time;
        if (!inSlot && miss < 50) {
            inSlot = true;
            run.Trace(Format("wingman in its slot at %.2f s", t));
        }
        if (inSlot)
            worst = std::max(worst, miss);
        if (run.frame % 600 == 599)
            run.Trace(Format("at %.0f s %.1f m from the slot", t + 0.01, miss) +
                      Format(", at worst %.1f m since joining", inSlot ? worst : -1));
    }

    void Stop() override {
        Obj::PilotAi::StoresOf = nullptr;
        ComputerPilotScenario::Stop();
    }

private:
    class NoStores : public Obj::AiStores {
    public:
        std::size_t RackCount() const override { return 0; }
        Rack GetRack(std::size_t) const override { return {}; }
        uint8_t Selected() const override { return NoRack; }
        void Select(uint8_t) override {}
        void SetGuidedTarget(Obj::Target*) override {}
        bool SelectedHasLock() const override { return false; }
        bool FireSelected() override { return false; }
        void DropCountermeasure(int) override {}
        void SetJammer(bool) override {}
    };

    Base::SmartPtr<Obj::PilotAi> leader;
    Base::SmartPtr<Obj::PilotAi> wingman;
    bool inSlot = false;
    float worst = 0;
};

// The radar-warning list the way the cockpit keeps it: an entry per source, outliving its last report by a
// quarter of a second for a missile and by two seconds otherwise; sources that die drop out.
class RigCockpit : public Obj::CockpitLink {
public:
    explicit RigCockpit(Obj::Airplane* owner_) : owner(owner_) {}
    void ReportThreat(Obj::Frame* source, int level) override {
        Expire();
        for (Entry& e : entries)
            if (e.source.Get() == source && e.level <= level) {
                e.level = level;
                e.time = Now();
                return;
            }
        entries.push_back({level, source, Now()});
    }
    std::size_t GetThreatCount() const override {
        Expire();
        return entries.size();
    }
    bool GetThreat(std::size_t i, Threat& out) const override {
        Expire();
        if (i >= entries.size())
            return false;
        out = {entries[i].level, entries[i].source.Get(), entries[i].time};
        return true;
    }
    Obj::Target* GetRadarTarget() const override { return nullptr; }
    void SetRadarTarget(int, Obj::Target*) override {}
    int SetRadarTargetKind(int kind) override { return kind; }
    void SelectRadarTarget(int, int) override {}
    void SetRadarRangeNext(int) override {}
    void SelectNextNavpoint() override {}
    RwV3d GetEyePosition() const override { return {0, 0, 0}; }

private:
    struct Entry {
        int level;
        Base::SmartPtr<Obj::Frame> source;
        float time;
    };
    float Now() const { return owner->world ? owner->world->time->time : 0.0f; }
    void Expire() const {
        const float now = Now();
        std::erase_if(entries, [now](const Entry& e) {
            return !e.source || now - e.time > (e.level == ThreatMissile ? 0.25f : 2.0f);
        });
    }
    Obj::Airplane* owner;
    mutable std::vector<Entry> entries;
};

// "ai-dogfight": two Su27s against two Mig29s, all computer-flown with the air-to-air set-up, meeting head
// on at 6000 over flat ground. Traced: each missile's launch and end (a hit when its target lost hit points
// meanwhile; else evaded, or lost when the target died meanwhile), each airplane hit, destroyed or gone
// (with whether it was hit before), any state that is not finite, and every 30 s the tallies.
class Dogfight : public ComputerPilotScenario {
protected:
    bool Populate(Rig::RunContext& run, std::string& error) override {
        if (!Prepare(error))
            return false;
        Weapons::InstallStores();
        const struct {
            const char* title;
            float x, z, heading;
            Obj::Allegiance side;
        } starts[] = {{"Su27", -400, -15000, 0, Obj::Friendly},
                      {"Su27", 400, -15200, 0, Obj::Friendly},
                      {"Mig29", -400, 15000, 180, Obj::Enemy},
                      {"Mig29", 400, 15200, 180, Obj::Enemy}};
        uint32_t n = 0;
        for (const auto& s : starts) {
            Obj::PilotAi* pilot = Spawn(s.title, s.x, s.z, 6000, s.heading, s.side, run.seed + n, error);
            if (!pilot)
                return false;
            Obj::Airplane* airplane = pilot->GetAirplane();
            airplane->name = std::string(s.title) + (n % 2 ? " 2" : " 1");
            airplane->cockpit = std::make_unique<RigCockpit>(airplane);
            Weapons::Stores* stores = Weapons::Stores::Of(airplane);
            if (!stores || !stores->LoadSetup("AirToAir")) {
                error = airplane->name + " has no air-to-air set-up";
                return false;
            }
            pilot->level = 0.5f + 0.25f * float(n % 2);
            fighters.push_back({airplane, airplane->name, airplane->hitPoints});
            ++n;
        }
        return true;
    }

    void Frame(Rig::RunContext& run) override {
        Rig::WorldScenario::Frame(run);
        // Missiles in flight, newly seen.
        world->ForEach([&](Obj::Object* object) {
            auto* missile = dynamic_cast<Weapons::HomingRocket*>(object);
            if (!missile || missile->rack)
                return;
            for (const Missile& m : missiles)
                if (m.missile.Get() == missile)
                    return;
            Missile m{missile, nullptr, "nothing", 0};
            if (auto* target = dynamic_cast<Obj::Airplane*>(missile->GetTarget())) {
                m.target = target;
                m.targetName = target->name;
                m.hitPoints = target->hitPoints;
            }
            run.Trace("missile launched at " + m.targetName);
            ++launched;
            missiles.push_back(m);
        });
        for (auto it = missiles.begin(); it != missiles.end();) {
            if (it->missile) {
                ++it;
                continue;
            }
            const bool hit = !it->target || it->target->hitPoints < it->hitPoints;
            if (hit)
                run.Trace("missile hit " + it->targetName);
            else if (it->target->hitPoints > 0)
                run.Trace("missile evaded by " + it->targetName);
            else
                run.Trace("missile lost its target " + it->targetName + ", destroyed meanwhile");
            (hit ? hits : misses) += 1;
            it = missiles.erase(it);
        }
        for (Fighter& f : fighters) {
            if (f.gone)
                continue;
            if (!f.airplane) {
                f.gone = true;
                run.Trace(f.name + " gone, " + (f.wasHit ? "hit before" : "never hit"));
                if (!f.wasHit)
                    ++unhitImpacts;
                continue;
            }
            const Physics::AirplaneState& s = f.airplane->flightModel->state;
            if (!Physics::IsFinite(s) && !f.notFinite) {
                f.notFinite = true;
                run.Trace(f.name + " state not finite");
            }
            if (f.airplane->hitPoints < f.hitPoints) {
                f.wasHit = true;
                run.Trace(f.name + Format(" hit, %.0f hit points left", f.airplane->hitPoints));
                if (f.airplane->hitPoints <= 0 && f.hitPoints > 0) {
                    ++kills;
                    run.Trace(f.name + " destroyed");
                }
                f.hitPoints = f.airplane->hitPoints;
            }
        }
        if (run.frame % 1800 == 1799)
            run.Trace(Format("tally: %.0f launched", launched) +
                      Format(", %.0f hit, %.0f missed", hits, misses) +
                      Format(", %.0f destroyed, %.0f struck the ground unhit", kills, unhitImpacts));
    }

    void Stop() override {
        Obj::Airplane::CreateStores = nullptr;
        missiles.clear();
        fighters.clear();
        ComputerPilotScenario::Stop();
    }

private:
    struct Missile {
        Base::SmartPtr<Weapons::HomingRocket> missile;
        Base::SmartPtr<Obj::Airplane> target;
        std::string targetName;
        float hitPoints;
    };
    struct Fighter {
        Base::SmartPtr<Obj::Airplane> airplane;
        std::string name;
        float hitPoints;
        bool wasHit = false;
        bool gone = false;
        bool notFinite = false;
    };
    std::vector<Missile> missiles;
    std::vector<Fighter> fighters;
    int launched = 0, hits = 0, misses = 0, kills = 0, unhitImpacts = 0;
};

// "ai-bomb-run": an Su25 with a bomb on each of four racks cruises at 800 over flat land towards an enemy
// truck 14 km ahead; its pilot finds the truck, approaches, runs in and lets the bombs go when their
// predicted impact is nearest the aim point. Traced: each release (height and speed), each bomb's blast
// with its horizontal distance from the truck's place, the truck destroyed, and the pilot's mode changes.
class BombRun : public ComputerPilotScenario {
protected:
    bool Populate(Rig::RunContext& run, std::string& error) override {
        // Land above the sea: what falls on it explodes (a hit at sea level splashes).
        if (!Prepare(error, true, GroundLevel))
            return false;
        Weapons::InstallStores();
        auto* truck = new Obj::Car();
        Base::Info description;
        if (description.LoadFile("Data/Models/Truck.info") != 0 ||
            !truck->Setup(&description, {target.x, target.z}, {0, 1}, 0, 10, 1, 2)) {
            delete truck;
            error = "the truck cannot be set up";
            return false;
        }
        truck->allegiance = Obj::Enemy;
        world->AddObject(truck);
        this->truck = truck;
        target = Obj::PilotAi::PositionOf(truck);

        pilot = Spawn("Su25", 0, -14000, 800, 0, Obj::Friendly, run.seed, error);
        if (!pilot)
            return false;
        Obj::Airplane* airplane = pilot->GetAirplane();
        Weapons::Stores* stores = Weapons::Stores::Of(airplane);
        Base::Info setup;
        if (!stores || setup.LoadText("RACK4\tWeapons\\Bomb\nRACK5\tWeapons\\Bomb\nRACK6\tWeapons\\Bomb\n"
                                      "RACK7\tWeapons\\Bomb\n") != 0) {
            error = "the Su25 has no stores";
            return false;
        }
        stores->ApplySetup(&setup);
        for (size_t i = 4; i < 8; ++i)
            if (!stores->GetOrdnance(i)) {
                error = "a bomb cannot be hung";
                return false;
            }
        return true;
    }

    void Frame(Rig::RunContext& run) override {
        Rig::WorldScenario::Frame(run);
        if (pilot && pilot->mode != lastMode) {
            lastMode = pilot->mode;
            run.Trace(Format("pilot in mode %.0f", double(lastMode)) +
                      Format(" at %.2f s, %.0f m from the truck", world->time->time,
                             Horizontal(Obj::PilotAi::PositionOf(pilot->GetAirplane()))));
        }
        world->ForEach([&](Obj::Object* object) {
            if (auto* bomb = dynamic_cast<Weapons::Bomb*>(object); bomb && !bomb->rack) {
                for (const Base::SmartPtr<Weapons::Bomb>& b : bombs)
                    if (b.Get() == bomb)
                        return;
                bombs.emplace_back(bomb);
                double at[3];
                bomb->GetWorldPositionDouble(at);
                const RwV3d& v = bomb->velocity;
                run.Trace(Format("bomb released at %.2f s", world->time->time) +
                          Format(", %.0f m above the ground at %.0f m/s", at[1] - GroundHeight,
                                 std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z)));
            }
            auto* blast = dynamic_cast<Obj::Explosion*>(object);
            if (!blast || blast->sourceName != "Bomb")
                return;
            for (const Base::SmartPtr<Obj::Explosion>& b : blasts)
                if (b.Get() == blast)
                    return;
            blasts.emplace_back(blast);
            const RwSphere* sphere = blast->GetBoundingSphere();
            run.Trace(Format("bomb impact %.1f m from the truck", Horizontal(sphere->center)));
        });
        if (!truckDestroyed && (!truck || truck->hitPoints <= 0)) {
            truckDestroyed = true;
            run.Trace(Format("truck destroyed at %.2f s", world->time->time));
        }
    }

    void Stop() override {
        Obj::Airplane::CreateStores = nullptr;
        bombs.clear();
        blasts.clear();
        ComputerPilotScenario::Stop();
    }

private:
    static constexpr uint8_t GroundLevel = 10;
    static constexpr double GroundHeight = 10.0 * GroundLevel;

    float Horizontal(const RwV3d& p) const {
        return std::sqrt((p.x - target.x) * (p.x - target.x) + (p.z - target.z) * (p.z - target.z));
    }

    Base::SmartPtr<Obj::PilotAi> pilot;
    Base::SmartPtr<Obj::Car> truck;
    RwV3d target = {0, 0, 0};
    bool truckDestroyed = false;
    uint32_t lastMode = Obj::PilotAi::ModeCount;
    std::vector<Base::SmartPtr<Weapons::Bomb>> bombs;
    std::vector<Base::SmartPtr<Obj::Explosion>> blasts;
};

// The pilots' own state in the digest: mode and commands.
bool DigestPilot(Obj::Object* object, Rig::StateDigest& digest) {
    auto* pilot = dynamic_cast<Obj::PilotAi*>(object);
    if (!pilot)
        return false;
    digest.Add(uint32_t(pilot->mode));
    digest.Add(pilot->state.rollInput);
    digest.Add(pilot->state.pitchInput);
    digest.Add(pilot->state.throttle);
    return true;
}

const bool probed = Rig::RegisterDigestProbe(DigestPilot);

const bool dogfight = Rig::RegisterScenario(
    "ai-dogfight", [] { return std::unique_ptr<Rig::Scenario>(new Dogfight()); },
    "two computer-flown Su27s against two Mig29s with air-to-air missiles");

const bool bombRun = Rig::RegisterScenario(
    "ai-bomb-run", [] { return std::unique_ptr<Rig::Scenario>(new BombRun()); },
    "a computer-flown Su25 finds an enemy truck and bombs it");

const bool registered = Rig::RegisterScenario(
    "ai-formation", [] { return std::unique_ptr<Rig::Scenario>(new Formation()); },
    "a computer leader flying a path and its computer wingman taking and keeping the formation slot");

} // namespace
