// Smoke trails on a controlled world clock: the first update, the ageing that never cuts a live trail below
// two points, the alpha table, the merging of straight runs and a stopped group that ends itself.
#include "tests/scene/SceneFixture.h"

#include "objects/Clouds.h"
#include "objects/SmokeTrail.h"
#include "scene/World.h"

#include "base/SmartPtr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

class SmokeTrails : public SceneWorld {
protected:
    void SetUp() override {
        SceneWorld::SetUp();
        group = new Obj::SmokeTrailGroup;
        // The damage-smoke parameters: lifetime (100 - 2) / 5 = 19.6 s.
        group->startWidth = 2;
        group->endWidth = 100;
        group->widenRate = 5;
        group->pointInterval = 0.1f;
        world->AddObject(group);
        Clock(10, 0.02f);
    }
    static Obj::SmokeTrailGroup::Point At(float time, double x, double y = 0, double z = 0,
                                          uint8_t alpha = 200) {
        Obj::SmokeTrailGroup::Point p;
        p.time = time;
        p.position[0] = x;
        p.position[1] = y;
        p.position[2] = z;
        p.color[0] = p.color[1] = p.color[2] = 128;
        p.color[3] = alpha;
        p.distance = float(x);
        return p;
    }

    Obj::SmokeTrailGroup* group = nullptr;
    Obj::VertexStore store;
    const double camera[3] = {0, 50, -100};
};

TEST_F(SmokeTrails, TheFirstUpdateGivesTwoCoincidentPointsAndNoDraw) {
    Obj::Clouds clouds;
    clouds.lightAmbient = {0.25f, 0.25f, 0.25f, 1};
    clouds.lightDiffuse = {0.25f, 0.5f, 1.0f, 1};
    world->clouds = &clouds;
    auto* trail = group->AddTrail();
    const double p[3] = {1, 2, 3};
    const float white[4] = {1, 1, 1, 0.75f};
    group->Update(trail, p, white);
    ASSERT_EQ(trail->points.size(), 2u);
    const auto& first = trail->points.front();
    const auto& head = trail->points.back();
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(first.position[k], head.position[k]);
    EXPECT_EQ(first.time, 10);
    EXPECT_EQ(head.time, 10);
    EXPECT_EQ(head.distance, 0);
    // The first point keeps the unlit colour, the head is lit by the clouds' light sum (clamped).
    EXPECT_EQ(first.color[0], 255);
    EXPECT_EQ(first.color[3], 191);
    EXPECT_EQ(head.color[0], 128); // 0.5 x 255 rounded
    EXPECT_EQ(head.color[1], 191); // 0.75
    EXPECT_EQ(head.color[2], 255); // 1.25 clamped
    EXPECT_EQ(head.color[3], 191);
    // Even old enough to be seen, two coincident points draw nothing.
    Clock(11, 0.02f);
    trail->points.front().time = trail->points.back().time = 10.5f;
    EXPECT_GT(group->PointAlpha(*trail, head), 15);
    EXPECT_EQ(group->BuildTrail(*trail, camera, store), 0u);
    world->clouds = nullptr;
}

TEST_F(SmokeTrails, AWorldWithoutCloudsLightsFully) {
    auto* trail = group->AddTrail();
    const double p[3] = {0, 0, 0};
    const float grey[4] = {0.25f, 0.25f, 0.25f, 0.75f};
    group->Update(trail, p, grey);
    EXPECT_EQ(trail->points.back().color[0], 64);
}

TEST_F(SmokeTrails, TheHeadFollowsAndFreezesAtTheInterval) {
    auto* trail = group->AddTrail();
    const float white[4] = {1, 1, 1, 1};
    const double a[3] = {0, 0, 0}, b[3] = {3, 4, 0}, c[3] = {3, 4, 12};
    group->Update(trail, a, white);
    Clock(10.05f, 0.05f);
    EXPECT_TRUE(group->AgeTrail(trail));
    EXPECT_EQ(trail->points.size(), 2u); // 10.05 is not past 10 + 0.1
    group->Update(trail, b, white);
    EXPECT_FLOAT_EQ(trail->points.back().distance, 5);
    Clock(10.15f, 0.1f);
    EXPECT_TRUE(group->AgeTrail(trail));
    ASSERT_EQ(trail->points.size(), 3u); // frozen where it was; a new head on it
    EXPECT_EQ(trail->points[1].time, 10.05f);
    EXPECT_EQ(trail->points[2].time, 10.15f);
    group->Update(trail, c, white);
    EXPECT_FLOAT_EQ(trail->points.back().distance, 17);
    EXPECT_EQ(trail->points[1].position[0], 3);

    // Paused: nothing frozen, nothing dropped, however much time the clock shows.
    Clock(100, 0);
    EXPECT_TRUE(group->AgeTrail(trail));
    EXPECT_EQ(trail->points.size(), 3u);
}

TEST_F(SmokeTrails, ALiveTrailKeepsTwoPointsAnEndedOneLosesAll) {
    auto* trail = group->AddTrail();
    trail->points = {At(0, 0), At(1, 10), At(2, 20), At(3, 30)};
    Clock(100, 0.02f); // every point far past 19.6 s
    EXPECT_TRUE(group->AgeTrail(trail));
    ASSERT_EQ(trail->points.size(), 3u); // the two last and the new head frozen at once
    EXPECT_EQ(trail->points[0].position[0], 20);
    EXPECT_EQ(trail->points[1].position[0], 30);
    EXPECT_TRUE(group->AgeTrail(trail));
    EXPECT_GE(trail->points.size(), 2u);

    // Exactly at the end width a point stays; past it, it goes.
    group->startWidth = 0;
    group->widenRate = 4;
    group->endWidth = 40;
    auto* edge = group->AddTrail();
    edge->points = {At(10, 0), At(15, 10), At(19.5f, 20)};
    Clock(20, 0.02f); // the first: 0 + 10 x 4 = 40
    group->AgeTrail(edge);
    EXPECT_EQ(edge->points.front().time, 10);
    Clock(20.25f, 0.02f);
    group->AgeTrail(edge);
    EXPECT_EQ(edge->points.front().time, 15);

    trail->ended = true;
    Clock(200, 0.02f);
    EXPECT_FALSE(group->AgeTrail(trail));
    ASSERT_EQ(group->trails.size(), 1u);
    EXPECT_EQ(group->trails.front().get(), edge);
}

// The point queue keeps its order across the ring's wrap and growth.
TEST_F(SmokeTrails, ThePointQueueKeepsItsOrder) {
    Obj::SmokeTrailGroup::PointQueue queue;
    int next = 0, first = 0;
    for (int round = 0; round < 5; ++round) {
        for (int k = 0; k < 13; ++k)
            queue.push_back(At(float(next++), 0));
        for (int k = 0; k < 7; ++k, ++first) {
            ASSERT_EQ(queue.front().time, float(first));
            queue.pop_front();
        }
        ASSERT_EQ(queue.size(), size_t(next - first));
        int expected = first;
        for (const auto& p : queue)
            EXPECT_EQ(p.time, float(expected++));
        EXPECT_EQ(queue.back().time, float(next - 1));
    }
}

TEST_F(SmokeTrails, TheUsersWidthsAndLifetimes) {
    struct Case {
        Obj::SmokeTrailGroup::Widths widths;
        float lifetime;
    } cases[] = {{Obj::SmokeTrailGroup::CondensationTrails, 7.96f},
                 {Obj::SmokeTrailGroup::DamageSmoke, 19.6f},
                 {Obj::SmokeTrailGroup::Tracers, 0.25f},
                 {Obj::SmokeTrailGroup::RocketSmoke(0.4f), (50 - 0.7f) * 0.4f / 4}};
    for (const Case& c : cases) {
        group->Setup(c.widths);
        EXPECT_FLOAT_EQ(group->PointLifetime(), c.lifetime);
        EXPECT_EQ(group->pointInterval, c.widths.interval);
    }
}

TEST_F(SmokeTrails, TheAlphaTable) {
    auto* trail = group->AddTrail();
    trail->points = {At(0, 0), At(0, 10)};
    const float lifetime = group->PointLifetime();
    EXPECT_FLOAT_EQ(lifetime, 19.6f);
    struct Case {
        float age;
        int alpha;
    } cases[] = {
        {0, 0}, // the head of a live trail: no age, no alpha
        {0.05f, int(std::lround(200 * 0.5 * (1 - 0.05 / 19.6)))}, // fading in
        {0.1f, int(std::lround(200 * (1 - 0.1 / 19.6)))},         // in, and fading out
        {9.8f, 100},                                              // half way
        {19.6f, 0},                                               // at the end
        {30, 0},                                                  // beyond
    };
    for (const Case& c : cases) {
        Clock(c.age, 0.02f);
        EXPECT_NEAR(group->PointAlpha(*trail, trail->points.front()), c.alpha, 1) << c.age;
    }
    Clock(5, 0.02f);
    EXPECT_GT(group->PointAlpha(*trail, trail->points.back()), 0);
    trail->ended = true;
    EXPECT_EQ(group->PointAlpha(*trail, trail->points.back()), 0); // an ended trail's head
    EXPECT_GT(group->PointAlpha(*trail, trail->points.front()), 0);
}

// Five points along a line, old enough to be seen: the straight, even middle merges into its neighbours.
TEST_F(SmokeTrails, StraightEvenRunsMerge) {
    auto* trail = group->AddTrail();
    Clock(5, 0.02f);
    auto line = [&](double spacing) {
        trail->points.clear();
        for (int i = 0; i < 5; ++i)
            trail->points.push_back(At(2, spacing * i));
    };
    line(10);
    EXPECT_EQ(group->BuildTrail(*trail, camera, store), 6u); // points 0, 3 and 4

    line(200); // the gap test is strict: 200 is not below 200
    EXPECT_EQ(group->BuildTrail(*trail, camera, store), 10u);
    line(199);
    EXPECT_EQ(group->BuildTrail(*trail, camera, store), 8u); // 1 merges; 2 is 398 from 0

    line(10);
    trail->points[2].position[1] = 0.05; // a slight bend: 0.005 + 0.01 stays below 0.02
    EXPECT_EQ(group->BuildTrail(*trail, camera, store), 6u);

    line(10);
    trail->points[1].color[0] = trail->points[2].color[0] = 127; // another colour from 1 on
    EXPECT_EQ(group->BuildTrail(*trail, camera, store), 8u);

    line(10);
    trail->points[2].position[1] = 0.1; // a bend: 0.01 + 0.02 passes 0.02 at 2
    EXPECT_EQ(group->BuildTrail(*trail, camera, store), 8u);

    // The width ratio test is strict too: exactly 1.3 emits.
    group->startWidth = 0;
    group->widenRate = 1;
    group->endWidth = 40;
    Clock(2, 0.02f);
    line(10);
    trail->points[0].time = 2 - 1.3f; // width 1.3
    trail->points[1].time = 1;        // width 1: ratio 1.3
    trail->points[2].time = 1;
    EXPECT_EQ(group->BuildTrail(*trail, camera, store), 8u);
    trail->points[0].time = 0.75f; // width 1.25
    EXPECT_EQ(group->BuildTrail(*trail, camera, store), 6u);
}

TEST_F(SmokeTrails, CulledByAlphaAndDistance) {
    auto* trail = group->AddTrail();
    Clock(5, 0.02f);
    trail->points = {At(2, 0, 0, 0, 16), At(2, 10, 0, 0, 16)};
    EXPECT_EQ(group->BuildTrail(*trail, camera, store), 0u); // alpha 15 or less at best
    trail->points = {At(2, 0), At(2, 10)};
    EXPECT_EQ(group->BuildTrail(*trail, camera, store), 4u);
    const double far[3] = {0, 0, 30001};
    EXPECT_EQ(group->BuildTrail(*trail, far, store), 0u); // 300 x end width away
    // A ribbon: the two vertices of a point lie across the trail, w apart, u from the distance.
    const RwIm3DVertex* v = store.Reserve(4);
    group->BuildTrail(*trail, camera, store);
    const float w = 2 + 3 * 5;
    EXPECT_NEAR(std::hypot(v[0].objVertex.y - v[1].objVertex.y, v[0].objVertex.z - v[1].objVertex.z), w,
                1e-3);
    EXPECT_FLOAT_EQ(v[2].u, 0.1f);
    EXPECT_EQ(v[0].v, 0);
    EXPECT_EQ(v[1].v, 1);
}

// Kept as designed: a tracer's points carry alpha 0 while its bullet flies, and its ended head is forced
// to 0, so its trail never shows.
TEST_F(SmokeTrails, ATracerTrailIsNeverDrawn) {
    group->startWidth = 0;
    group->endWidth = 0.5f;
    group->widenRate = 2;
    group->pointInterval = 0.05f;
    auto* trail = group->AddTrail();
    const float flying[4] = {1, 1, 1, 0}, ended[4] = {1, 1, 1, 1};
    float now = 10;
    for (int f = 0; f < 9; ++f) {
        Clock(now += 0.02f, 0.02f);
        const double p[3] = {f * 10.0, 0, 0};
        group->Update(trail, p, flying);
        group->AgeTrail(trail);
        EXPECT_EQ(group->BuildTrail(*trail, camera, store), 0u) << f;
    }
    // The bullet's last frame: alpha 1 at its end, then the trail is ended before the next draw.
    const double last[3] = {90, 0, 0};
    group->Update(trail, last, ended);
    trail->ended = true;
    for (int f = 0; f < 3; ++f) {
        Clock(now += 0.02f, 0.02f);
        group->AgeTrail(trail);
        EXPECT_EQ(group->BuildTrail(*trail, camera, store), 0u);
    }
}

// Attached to its owner, the group goes with it; detached, it outlives it and fades on its own.
TEST_F(SmokeTrails, AnAttachedGroupDiesWithItsOwner) {
    Base::SmartPtr<Obj::SmokeTrailGroup> watched(group);
    auto* owner = new Obj::Frame;
    group->AttachTo(owner);
    EXPECT_EQ(group->GetParent(), owner);
    world->RemoveObject(group);
    delete owner;
    EXPECT_FALSE(watched);

    auto* second = new Obj::SmokeTrailGroup;
    watched = second;
    owner = new Obj::Frame;
    second->AttachTo(owner);
    second->Detach();
    delete owner;
    ASSERT_TRUE(watched);
    delete second;
}

TEST_F(SmokeTrails, AStoppedGroupEndsItselfWhenItsLastTrailHasFaded) {
    Base::SmartPtr<Obj::SmokeTrailGroup> watched(group);
    auto* trail = group->AddTrail();
    const double p[3] = {0, 0, 0};
    const float white[4] = {1, 1, 1, 1};
    group->Update(trail, p, white);
    group->StopAll();
    Clock(20, 0.02f);
    group->Render(Obj::SmokeTrailGroup::RenderOrder, nullptr);
    ASSERT_TRUE(watched); // 10 s old: not yet
    Clock(29.7f, 0.02f);
    group->Render(Obj::SmokeTrailGroup::RenderOrder, nullptr);
    EXPECT_FALSE(watched);
    EXPECT_TRUE(world->IsEmpty());
}

} // namespace
