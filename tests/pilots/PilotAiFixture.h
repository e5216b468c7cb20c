// What the computer pilot's tests share: stand-ins for the weapon stores and the cockpit that record what
// the pilot asks of them, a plain ground target, and sample airplanes on the simple flight model, each with
// a computer pilot, in a world of their own.
#pragma once

#include "tests/aircraft/AirplaneFixture.h"

#include "pilots/PilotAi.h"

#include "scene/ObjectModel.h"

#include <vector>

namespace PilotAiTest {

constexpr float Degree = float(Base::Pi / 180.0);

class StandInStores : public Obj::AiStores {
public:
    std::size_t RackCount() const override { return racks.size(); }
    Rack GetRack(std::size_t i) const override { return i < racks.size() ? racks[i] : Rack{}; }
    uint8_t Selected() const override { return selected; }
    void Select(uint8_t i) override {
        selected = i;
        ++selections;
    }
    void SetGuidedTarget(Obj::Target* target) override { guidedTarget = target; }
    bool SelectedHasLock() const override { return lock; }
    bool FireSelected() override {
        if (!fireWorks || selected >= racks.size() || !racks[selected].loaded)
            return false;
        ++shots;
        if (emptiesOnFire)
            racks[selected].loaded = false;
        return true;
    }
    void DropCountermeasure(int kind) override { drops.push_back({kind, time}); }
    void SetJammer(bool on) override { jammer = on; }

    struct Drop {
        int kind;
        float time;
    };
    std::vector<Rack> racks;
    uint8_t selected = NoRack;
    int selections = 0;
    Obj::Target* guidedTarget = nullptr;
    bool lock = true;
    bool fireWorks = true;
    bool emptiesOnFire = true;
    int shots = 0;
    std::vector<Drop> drops;
    bool jammer = false;
    float time = 0; // stamped on the drops
};

class StandInCockpit : public Obj::CockpitLink {
public:
    void ReportThreat(Obj::Frame* source, int level) override {
        for (Threat& t : threats)
            if (t.source == source && t.level <= level) {
                t.level = level;
                return;
            }
        threats.push_back({level, source, 0});
    }
    std::size_t GetThreatCount() const override { return threats.size(); }
    bool GetThreat(std::size_t i, Threat& out) const override {
        if (i >= threats.size())
            return false;
        out = threats[i];
        return true;
    }
    Obj::Target* GetRadarTarget() const override { return nullptr; }
    void SetRadarTarget(int, Obj::Target*) override {}
    int SetRadarTargetKind(int kind) override { return kind; }
    void SelectRadarTarget(int, int) override {}
    void SetRadarRangeNext(int) override {}
    void SelectNextNavpoint() override {}
    RwV3d GetEyePosition() const override { return {0, 0, 0}; }

    std::vector<Threat> threats;
};

// A ground target that is only a sphere.
class Marker : public Obj::Object, public Obj::Target {
public:
    explicit Marker(RwV3d at) : sphere{at, 10} { hitPoints = maxHitPoints = 100; }
    const RwSphere* GetBoundingSphere() override { return &sphere; }
    bool IntersectSegment(const RwLine*, RwV3d*, RwV3d*) override { return false; }
    RwSphere sphere;
};

inline RwV3d Sub(const RwV3d& a, const RwV3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline float Length(const RwV3d& a) {
    return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}

} // namespace PilotAiTest

class ComputerPilots : public AirplaneWorld {
protected:
    void TearDown() override {
        world->Clear();
        AirplaneWorld::TearDown();
    }

    // A sample airplane on the simple flight model, in the air at (x, height, z) with that heading (degrees,
    // 0 along +z, 90 along -x) and speed, in the world.
    Obj::Airplane* Fly(const char* title, float x, float z, float height, float heading, float speed,
                       Obj::Allegiance side = Obj::Friendly) {
        auto airplane = Loaded(Sample(title), Obj::Airplane::SimpleModel);
        if (!airplane)
            return nullptr;
        airplane->allegiance = side;
        world->AddObject(airplane.get());
        airplane->Place(x, z, height, heading, speed);
        return airplane.release();
    }

    // The pilot's figure, as the spawn loads it before seating the pilot.
    void Dress(Obj::PilotAi& pilot) {
        EXPECT_TRUE(pilot.Load(&Base::InfoCache::Get(models + "/Airplanes/Pilot.model")));
    }

    // A computer pilot seated in the airplane and in the world.
    Obj::PilotAi* Seat(Obj::Airplane* airplane, uint32_t seed = 1) {
        auto* pilot = new Obj::PilotAi(seed);
        Dress(*pilot);
        pilot->SetAirplane(airplane);
        world->AddObject(pilot);
        return pilot;
    }

    // The pilot's view of its airplane this instant, as its run step takes it.
    static void Look(Obj::PilotAi& pilot, float now = 0) {
        pilot.airplane = pilot.GetAirplane();
        pilot.state = pilot.airplane->GetState();
        pilot.now = now;
        pilot.heightAboveGround = pilot.state.position.y - pilot.groundHeight;
    }
};
