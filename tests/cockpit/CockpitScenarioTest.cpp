// The cockpit on the game test rig: the player's F16 among computer fighters and two trucks,
// the radar keys played from a script (a stand-in for the player pilot's commands: T the next target, Y the
// nearest, G ground targets, N the next navpoint, PRIOR and NEXT the range). The trace names each target as
// the radar takes it; the digests hold every cockpit's radar, threats and navpoints and repeat bit for bit.
#include "tests/rig/ScenarioRunner.h"
#include "tests/rig/WorldScenario.h"

#include "cockpit/Cockpit.h"

#include "aircraft/Airplane.h"
#include "scene/ClumpFile.h"
#include "objects/Vehicle.h"
#include "scene/World.h"

#include "base/ClumpCache.h"
#include "base/InfoCache.h"
#include "base/TextTable.h"
#include "input/Keyboard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

bool DigestCockpit(Obj::Object* object, Rig::StateDigest& digest) {
    auto* airplane = dynamic_cast<Obj::Airplane*>(object);
    auto* cockpit = airplane ? dynamic_cast<Cockpit::Cockpit*>(airplane->cockpit.get()) : nullptr;
    if (!cockpit)
        return false;
    const Obj::Target* target = cockpit->GetRadarTarget();
    digest.Add(std::string_view(target ? target->name : std::string("-")));
    digest.Add(cockpit->radarTarget->kind);
    digest.Add(cockpit->radar->range);
    digest.Add(uint32_t(cockpit->radar->contacts.size()));
    digest.Add(uint32_t(cockpit->threats->entries.size()));
    digest.Add(cockpit->navpoints->current);
    digest.Add(cockpit->targetData.distance);
    digest.Add(cockpit->targetData.closingSpeed);
    return true;
}

class CockpitRadar : public Rig::WorldScenario {
protected:
    bool Populate(Rig::RunContext&, std::string& error) override {
        Base::ClumpCache::Directory = "Data/Models\\";
        Rw::InstallClumpCache();
        Base::TextTable = Base::Info();
        Base::TextTable.AddValue("DataDir", "Data");
        Cockpit::RegisterCockpit();
        const struct {
            const char* title;
            float x, z, height, heading;
            Obj::Allegiance side;
        } starts[] = {
            {"F16", 0, 0, 3000, 0, Obj::Friendly},         {"Mig29", 800, 6000, 3200, 180, Obj::Enemy},
            {"Su27", -3000, 15000, 4000, 150, Obj::Enemy}, {"Mig29", 2000, 30000, 3500, 200, Obj::Enemy},
            {"F16", 400, -300, 3000, 0, Obj::Friendly},
        };
        for (const auto& s : starts) {
            auto* airplane = new Obj::Airplane;
            airplane->seed = seed++;
            if (!airplane->Load((std::string("Data/Models/Airplanes/") + s.title).c_str(),
                                Obj::Airplane::SimpleModel)) {
                delete airplane;
                error = std::string(s.title) + " does not load";
                return false;
            }
            airplane->allegiance = s.side;
            airplane->Place(s.x, s.z, s.height, s.heading, 200);
            world->AddObject(airplane);
            if (!player)
                player = airplane;
        }
        // A convoy of two trucks standing on the road ahead: the ground targets.
        for (int i = 0; i < 2; ++i) {
            auto* truck = new Obj::Car;
            if (!truck->Setup(&Base::InfoCache::Get("Data/Models/Truck.info"),
                              {float(i) * 500 - 250, 9000.0f + 3000 * float(i)}, {0, 1}, 0, 10, 0.25f,
                              0.25f)) {
                delete truck;
                error = "the truck does not load";
                return false;
            }
            truck->allegiance = Obj::Enemy;
            world->AddObject(truck);
        }
        cockpit = dynamic_cast<Cockpit::Cockpit*>(player->cockpit.get());
        if (!cockpit) {
            error = "the player's airplane has no cockpit";
            return false;
        }
        cockpit->navpoints->Add(0, "Target area", 2000, 25000);
        cockpit->navpoints->Add(2, "Home", 0, -20000);
        return true;
    }

    void Frame(Rig::RunContext& run) override {
        Rig::WorldScenario::Frame(run);
        if (!run.keyboard || !cockpit)
            return;
        const Obj::Target* before = cockpit->GetRadarTarget();
        const float range = cockpit->radar->range;
        switch (run.keyboard->pressedKey) {
        case DIK_T:
            player->cockpit->SelectRadarTarget(0, kind);
            break;
        case DIK_Y:
            player->cockpit->SelectRadarTarget(1, kind);
            break;
        case DIK_G:
            kind = kind == 1 ? 2 : 1;
            player->cockpit->SetRadarTargetKind(kind);
            break;
        case DIK_N:
            player->cockpit->SelectNextNavpoint();
            run.Trace("navpoint " + std::to_string(cockpit->navpoints->current));
            break;
        case DIK_PRIOR:
            player->cockpit->SetRadarRangeNext(1);
            break;
        case DIK_NEXT:
            player->cockpit->SetRadarRangeNext(-1);
            break;
        default:
            break;
        }
        const Obj::Target* after = cockpit->GetRadarTarget();
        if (after != before) {
            char text[96];
            std::snprintf(text, sizeof text, "target %s %d", after ? after->name.c_str() : "none",
                          cockpit->radarTarget->kind);
            run.Trace(text);
        }
        if (cockpit->radar->range != range)
            run.Trace("range " + std::to_string(int(cockpit->radar->range)));
    }

    // The world, then the caches' models, then the engine.
    void Stop() override {
        if (world) {
            world->Clear();
            world.reset();
        }
        Obj::Airplane::CreateCockpit = nullptr;
        Base::TextTable = Base::Info();
        Base::InfoCache::Clear();
        Base::ClumpCache::Clear();
        Base::ClumpCache::Read = nullptr;
        Base::ClumpCache::Clone = nullptr;
        Base::ClumpCache::Destroy = nullptr;
        Rig::WorldScenario::Stop();
    }

    Obj::Airplane* player = nullptr;
    Cockpit::Cockpit* cockpit = nullptr;
    int kind = 1;
    uint32_t seed = 7;
};

const bool registered = Rig::RegisterDigestProbe(DigestCockpit);

// Keys a second apart, after the radar's first scan.
const char* const Script =
    R"(# The radar keys: the nearest fighter, then each next one (wrapping), ground targets and back, the
# navpoints, the range up and down.
60   keyboard press Y
90   keyboard press T
120  keyboard press T
150  keyboard press T
180  keyboard press G
200  keyboard press Y
220  keyboard press T
240  keyboard press G
260  keyboard press N
270  keyboard press N
280  keyboard press N
300  keyboard press PRIOR
310  keyboard press PRIOR
320  keyboard press NEXT
)";

Rig::RunResult Play() {
    CockpitRadar scenario;
    Rig::RunSettings settings;
    settings.frames = 600;
    settings.step = 1.0 / 30.0;
    settings.script = Script;
    settings.digestFrames = {100, 300};
    return Rig::ScenarioRunner::Run(scenario, settings);
}

TEST(CockpitScenario, RadarKeysStepThroughTheTargetsTheSameEveryRun) {
    const Rig::RunResult first = Play();
    ASSERT_TRUE(first.ok) << first.error;
    const Rig::RunResult second = Play();
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_EQ(first.digests, second.digests);
    EXPECT_EQ(first.trace, second.trace);
    ASSERT_EQ(first.digests.size(), 3u);
    EXPECT_NE(first.digests[0].second, first.digests[1].second);

    // The radar's own events, in order.
    std::vector<std::string> events;
    for (const std::string& line : first.trace) {
        const std::string event = line.substr(line.find(' ') + 1);
        if (event.rfind("target", 0) == 0 || event.rfind("navpoint", 0) == 0 || event.rfind("range", 0) == 0)
            events.push_back(event);
    }
    const std::vector<std::string> expected = {
        "target Mig29 1", "target Su27 1",  "target Mig29 1", "target Mig29 1", // nearest, next, next, wrap
        "target none 0",                                                        // ground: the fighter drops
        "target Truck 2", "target Truck 2",                                     // nearest, next
        "target none 0",                                                        // air again
        "navpoint 0",     "navpoint 1",     "navpoint 2", // wrapping, over the empty slot
        "range 60000",    "range 2000",     "range 60000",
    };
    EXPECT_EQ(events, expected) << first.Text();
}

} // namespace
