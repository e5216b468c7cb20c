// Vehicles and ships on the sample models in a world of their own, with the doubles that stand in for the
// classes above the objects: an airplane that keeps score, missiles that know their shooter, effects makers.
#pragma once

#include "tests/scene/SceneFixture.h"

#include "objects/Vehicle.h"
#include "scene/ClumpFile.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include "base/ClumpCache.h"
#include "base/Info.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

class VehicleWorld : public SampleModels {
protected:
    void SetUp() override {
        SampleModels::SetUp();
        world = std::make_unique<Grp::World>();
    }
    void TearDown() override {
        world.reset();
        SampleModels::TearDown();
    }
    // One frame of the world's run pass with that step.
    void Step(float dt) {
        world->time->step = dt;
        world->time->time += dt;
        Grp::RunGroup(*world->runnables);
    }

    std::unique_ptr<Grp::World> world;
};

// An airplane as the damage hooks see it: a side and a count of destroyed targets.
struct ScoringAirplane : Obj::Damageable, Obj::TargetCounter {
    const RwSphere* GetBoundingSphere() override { return nullptr; }
    bool IntersectSegment(const RwLine*, RwV3d*, RwV3d*) override { return false; }
    void CountDestroyedTarget() override { ++destroyed; }
    unsigned destroyed = 0;
};

struct ShotSegment : Obj::SegmentMissile, Obj::Fired {
    uint32_t OnHit(Obj::Damageable*, const RwLine*, const RwV3d*, RwV3d*) override { return 1; }
    Obj::Damageable* GetShooter() const override { return shooter; }
    Obj::Damageable* shooter = nullptr;
};

struct ShotBlast : Obj::SphereMissile, Obj::Fired {
    void OnHit(Obj::Damageable*, const RwSphere*) override {}
    Obj::Damageable* GetShooter() const override { return shooter; }
    Obj::Damageable* shooter = nullptr;
};
