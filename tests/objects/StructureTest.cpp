// Models, structures and airbases from the sample models: render orders and damage from the description,
// runways by exact name, spatial entries that follow the frame, and a model whose file did not load.
#include "tests/scene/SceneFixture.h"

#include "objects/Structure.h"
#include "scene/ClumpFile.h"
#include "scene/World.h"

#include "base/ClumpCache.h"
#include "base/Info.h"
#include "rwsdk/src/plcore/matrix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

class Structures : public SampleModels {
protected:
    static void MoveTo(Obj::Model& model, float x, float z) {
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.pos = {x, 0, z};
        RwMatrixUpdate(&m); // else its flags still say identity and child frames never move with it
        model.Transform(&m, rwCOMBINEREPLACE);
    }
};

TEST_F(Structures, AirbaseFromTheSampleModel) {
    const Base::Info info = Read("Base.model");
    auto* base = new Obj::Airbase;
    ASSERT_TRUE(base->Load(&info));
    EXPECT_FALSE(base->Obj::Model::RenderRole::renderOrders.empty());
    EXPECT_EQ(base->maxHitPoints, 5000);
    EXPECT_EQ(base->hitPoints, 5000);
    EXPECT_EQ(base->name, "Airbase");
    const Obj::Airbase::Runway* r09 = base->FindRunway("09");
    ASSERT_NE(r09, nullptr);
    EXPECT_EQ(r09->x, 1400);
    EXPECT_EQ(r09->z, 0);
    EXPECT_EQ(r09->heading, 90);
    ASSERT_NE(base->FindRunway("27"), nullptr);
    EXPECT_EQ(base->FindRunway("27")->heading, 270);
    EXPECT_NE(base->FindRunway("R0"), nullptr);
    EXPECT_EQ(base->FindRunway("r0"), nullptr); // case counts
    EXPECT_EQ(base->FindRunway("9"), nullptr);
    EXPECT_EQ(base->FindRunway("Runway"), nullptr);
    delete base;
}

TEST_F(Structures, ARunwayWithoutHeadingFailsTheLoad) {
    const Base::Info info =
        FromText("Dff\tBase.dff\nRunways\n{\n\tA\n\t{\n\t\tPosition\t1 2\n\t\tHdg\t5\n\t}\n"
                 "\tB\n\t{\n\t\tPosition\t3 4\n\t}\n}\n");
    Obj::Airbase base;
    EXPECT_FALSE(base.Load(&info));
    ASSERT_NE(base.FindRunway("A"), nullptr); // those read before it stay
    EXPECT_EQ(base.FindRunway("B"), nullptr);
    const Base::Info none = FromText("Dff\tBase.dff\n");
    Obj::Airbase bare;
    EXPECT_TRUE(bare.Load(&none));
    EXPECT_TRUE(bare.runways.empty());
    EXPECT_FALSE(bare.canAddHitSpot == false); // the damage keys' default sets it again
}

// A structure's renderable and static entries move together; a plain model has only the first.
TEST_F(Structures, MovingUpdatesTheSpatialEntries) {
    const Base::Info info = Read("Hangar.info");
    Grp::World world;
    auto* hangar = new Obj::Structure;
    auto* model = new Obj::Model;
    ASSERT_TRUE(hangar->Load(&info));
    ASSERT_TRUE(model->Load(&info));
    MoveTo(*hangar, 100, 100);
    world.AddObject(hangar);
    world.AddObject(model);
    EXPECT_EQ(RpWorldGetNumClumps(world.world), 2);
    const auto* cell = world.renderables->GetSector(10, 0, 10);
    EXPECT_EQ(hangar->Obj::Renderable::sector, cell);
    EXPECT_EQ(hangar->Obj::Static::sector, world.statics->GetSector(10, 0, 10));
    EXPECT_EQ(model->Obj::Renderable::sector, cell);

    MoveTo(*hangar, 100100, -50000);
    MoveTo(*model, 100100, -50000);
    EXPECT_EQ(hangar->Obj::Renderable::sector, world.renderables->GetSector(12, 0, 8));
    EXPECT_EQ(hangar->Obj::Static::sector, world.statics->GetSector(12, 0, 8));
    EXPECT_EQ(model->Obj::Renderable::sector, world.renderables->GetSector(12, 0, 8));
    const RwSphere* sphere = hangar->GetBoundingSphere();
    EXPECT_NEAR(sphere->center.x, 100100, 100);

    // Found by a segment through it, and gone from every group after leaving.
    const RwLine down = {{sphere->center.x, 5000, sphere->center.z},
                         {sphere->center.x, -10, sphere->center.z}};
    std::vector<Obj::Static*> near;
    world.statics->ForEachNearSegment(down, [&](Obj::Static* s) { near.push_back(s); });
    EXPECT_EQ(near, std::vector<Obj::Static*>{hangar});
    // The arched roof peaks 13 m up over the shed's middle, so the segment meets it there from above.
    RwV3d point, normal;
    Obj::Static* hit = nullptr;
    ASSERT_TRUE(Grp::FindNearestStaticHit(*world.statics, down, &point, &normal, &hit));
    EXPECT_EQ(hit, hangar);
    EXPECT_NEAR(point.x, sphere->center.x, 0.01);
    EXPECT_NEAR(point.z, sphere->center.z, 0.01);
    EXPECT_NEAR(point.y, 13, 0.1);
    EXPECT_GT(normal.y, 0.9f);
    world.RemoveObject(hangar);
    EXPECT_EQ(hangar->Obj::Static::sector, nullptr);
    EXPECT_EQ(hangar->Obj::Renderable::sector, nullptr);
    EXPECT_EQ(RpWorldGetNumClumps(world.world), 1);
    delete hangar;
}

// A model whose file did not load joins and leaves a world without an engine clump and has no sphere.
TEST_F(Structures, AModelThatDidNotLoadStaysHarmless) {
    const Base::Info info = FromText("Dff\tMissing.dff\n");
    Grp::World world;
    auto* structure = new Obj::Structure;
    EXPECT_FALSE(structure->Load(&info));
    EXPECT_EQ(structure->GetBoundingSphere(), nullptr);
    world.AddObject(structure);
    EXPECT_EQ(RpWorldGetNumClumps(world.world), 0);
    EXPECT_EQ(structure->Obj::Renderable::sector, world.renderables->catchAll.get());
    world.RemoveObject(structure);
    delete structure;
}

} // namespace
