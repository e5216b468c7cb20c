// The world with its engine world: joining and leaving in the fixed call order, the scenery pointers,
// attached children leaving with their parents, Clear in both insertion orders, and blast hit spots.
#include "SceneFixture.h"

#include "scene/Attachable.h"
#include "scene/World.h"

#include "rwsdk/src/plcore/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace Obj {
// A stand-in for the sky class of the objects library, recognised through its registered casts.
class Sky : public Object {};
} // namespace Obj

namespace {

std::vector<std::string> calls;
int destroyed = 0;

class Thing : public Obj::Object, public Obj::Frame {
public:
    explicit Thing(std::string n = "") : name(std::move(n)) {}
    ~Thing() override { ++destroyed; }
    void OnGroupChanged(Grp::Simple<Obj::Object>* group) override {
        calls.push_back(name + (group ? ".group" : ".nogroup") + (world ? "+world" : ""));
    }
    void SetWorld(Grp::World* w) override {
        calls.push_back(name + (w ? ".join" : ".leave") + (world ? "+world" : ""));
        Obj::Object::SetWorld(w);
    }
    std::string name;
};

class Worlds : public SceneEngine {
protected:
    void SetUp() override {
        SceneEngine::SetUp();
        calls.clear();
        destroyed = 0;
    }
};

TEST_F(Worlds, JoiningAndLeavingInOrder) {
    Grp::World world;
    EXPECT_EQ(world.time->rate, 1.0f);
    EXPECT_NE(world.world, nullptr);
    auto* a = new Thing("a");
    world.AddObject(a);
    EXPECT_EQ(a->world, &world);
    EXPECT_EQ(calls, (std::vector<std::string>{"a.group", "a.join+world"}));
    calls.clear();
    world.RemoveObject(a);
    EXPECT_EQ(calls, (std::vector<std::string>{"a.leave+world", "a.nogroup+world"}));
    EXPECT_EQ(a->world, nullptr);
    EXPECT_FALSE(a->IsLinked());
    delete a;
}

TEST_F(Worlds, SceneryPointersFollowTheirObjects) {
    static const bool registered = Grp::SceneryCast<Obj::Sky>::Register();
    EXPECT_TRUE(registered);
    Grp::World world;
    auto* sky = new Obj::Sky;
    auto* other = new Thing;
    world.AddObject(sky);
    world.AddObject(other);
    EXPECT_EQ(world.sky, sky);
    world.RemoveObject(other);
    EXPECT_EQ(world.sky, sky);
    world.RemoveObject(sky);
    EXPECT_EQ(world.sky, nullptr);
    delete other;
    delete sky;
    Obj::Object* plain = new Thing;
    EXPECT_EQ(dynamic_cast<Obj::Renderable*>(plain), nullptr); // a role it lacks
    delete plain;
}

TEST_F(Worlds, LeavingTakesTheAttachedChildrenInTheWorld) {
    Grp::World world;
    auto* parent = new Thing("p");
    auto* inWorld = new Thing("c1");
    auto* outside = new Thing("c2");
    inWorld->AttachTo(parent, parent->frame, false);
    outside->AttachTo(parent, parent->frame, false);
    world.AddObject(parent);
    world.AddObject(inWorld);
    world.RemoveObject(parent);
    EXPECT_EQ(inWorld->world, nullptr);
    EXPECT_EQ(inWorld->GetParent(), parent); // still attached, and destroyed with its parent
    EXPECT_TRUE(world.IsEmpty());
    delete parent;
    EXPECT_EQ(destroyed, 3);
}

// Clear with a parent and its attached child in both insertion orders: each is removed once and destroyed
// once (the child through its parent), and the walk never steps onto a node that left the list.
TEST_F(Worlds, ClearWithParentAndChildInBothOrders) {
    for (const bool childFirst : {false, true}) {
        destroyed = 0;
        {
            Grp::World world;
            auto* parent = new Thing("p");
            auto* child = new Thing("c");
            child->AttachTo(parent, parent->frame, false);
            auto* loose = new Thing("x");
            if (childFirst)
                world.AddObject(child);
            world.AddObject(parent);
            if (!childFirst)
                world.AddObject(child);
            world.AddObject(loose);
            world.Clear();
            EXPECT_TRUE(world.IsEmpty());
            EXPECT_EQ(destroyed, 3) << childFirst;
        }
        EXPECT_EQ(destroyed, 3) << childFirst;
    }
    // A child in the world whose parent is not: out of the world, left to its parent.
    destroyed = 0;
    auto* parent = new Thing("p");
    auto* child = new Thing("c");
    child->AttachTo(parent, parent->frame, false);
    {
        Grp::World world;
        world.AddObject(child);
    }
    EXPECT_EQ(child->world, nullptr);
    EXPECT_EQ(destroyed, 0);
    delete parent;
    EXPECT_EQ(destroyed, 2);
}

// ---- blast hit spots

class Spot : public Obj::Object, public Obj::Frame, public Obj::HitMark {
public:
    float GetStrength() const override { return strength; }
    void SetStrength(float s) override { strength = s; }
    float strength = 0;
};
int spotsMade = 0;

Obj::Frame* MakeSpot(float strength, const RwV3d& point) {
    ++spotsMade;
    auto* spot = new Spot;
    spot->strength = strength;
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    m.pos = point;
    RwMatrixUpdate(&m);
    spot->Transform(&m, rwCOMBINEREPLACE);
    return spot;
}

// The ground plane y = 0 as a target.
class Ground : public Obj::Object, public Obj::Frame, public Obj::Static {
public:
    const RwSphere* GetBoundingSphere() override { return &sphere; }
    bool IntersectSegment(const RwLine* s, RwV3d* point, RwV3d*) override {
        if ((s->start.y > 0) == (s->end.y > 0))
            return false;
        const float t = s->start.y / (s->start.y - s->end.y);
        *point = {s->start.x + t * (s->end.x - s->start.x), 0, s->start.z + t * (s->end.z - s->start.z)};
        return true;
    }
    RwSphere sphere{{0, 0, 0}, 1000};
};

class Blast : public Obj::SphereMissile {
public:
    explicit Blast(float d) { damage = d; }
    void OnHit(Obj::Damageable*, const RwSphere*) override {}
};

class Bare : public Obj::Static {
public:
    const RwSphere* GetBoundingSphere() override { return nullptr; }
    bool IntersectSegment(const RwLine* s, RwV3d* point, RwV3d*) override {
        *point = s->start;
        return true;
    }
};

TEST_F(Worlds, BlastsLeaveOneHitSpotAndStrengthenIt) {
    Obj::Damageable::CreateHitSpot = MakeSpot;
    spotsMade = 0;
    {
        Grp::World world;
        auto* ground = new Ground;
        ground->SetMaxHitPoints(1000);
        world.AddObject(ground);
        Blast blast(100);
        const RwSphere first = {{0, 1, 0}, 10}, second = {{3, 1, 0}, 10}, far = {{30, 1, 0}, 10};
        ground->OnSphereMissileHit(&blast, &first);
        ASSERT_EQ(spotsMade, 1);
        auto* spot = ground->FindChild<Spot>();
        ASSERT_NE(spot, nullptr);
        EXPECT_EQ(spot->world, &world);
        const float s1 = spot->strength;
        EXPECT_GE(s1, std::pow(100.0f, 0.25f) * 0.75f);
        EXPECT_LT(s1, std::pow(100.0f, 0.25f) * 1.25f);
        double at[3];
        spot->GetWorldPositionDouble(at);
        EXPECT_NEAR(at[1], 0, 1e-4);
        ground->OnSphereMissileHit(&blast, &second); // within 10 of the first: strengthened
        EXPECT_EQ(spotsMade, 1);
        EXPECT_GT(spot->strength, s1);
        spot->strength = 49;
        ground->OnSphereMissileHit(&blast, &second);
        EXPECT_EQ(spot->strength, 50.0f);
        ground->OnSphereMissileHit(&blast, &far);
        EXPECT_EQ(spotsMade, 2);
    }
    // A target that neither a world nor a parent frame would let own the hit spot gets none.
    Bare bare;
    bare.SetMaxHitPoints(100);
    Blast blast(16);
    const RwSphere sphere = {{0, 0, 0}, 10};
    bare.OnSphereMissileHit(&blast, &sphere);
    EXPECT_EQ(spotsMade, 2);
    EXPECT_EQ(bare.hitPoints, 84);
    Obj::Damageable::CreateHitSpot = nullptr;
}

} // namespace
