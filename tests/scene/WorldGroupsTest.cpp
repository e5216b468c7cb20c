// The world's groups without an engine: filing in the sector grid, the segment walks against brute force,
// the world's clock and the three passes (stepping, run order, render order, culling, deaths mid-pass).
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// A static member with a settable sphere (null: none).
class Ball : public Obj::Static {
public:
    explicit Ball(RwSphere s, bool has = true) : sphere(s), hasSphere(has) {}
    const RwSphere* GetBoundingSphere() override { return hasSphere ? &sphere : nullptr; }
    bool IntersectSegment(const RwLine*, RwV3d*, RwV3d*) override { return false; }
    RwSphere sphere;
    bool hasSphere;
};

RwBBox WorldBox() {
    return {{400000, 30000, 400000}, {-400000, -30000, -400000}};
}

using Sector = Grp::Spatial<Obj::Static>::Sector;

TEST(SpatialGroup, FilingTable) {
    Grp::Spatial<Obj::Static> group(WorldBox(), 20, 1, 20);
    EXPECT_EQ(group.margin, 20000.0f);
    struct Case {
        RwSphere sphere;
        bool hasSphere;
        int i, j, k; // -1: the catch-all
    } cases[] = {
        {{{0, 0, 0}, 20000}, true, 10, 0, 10},   // radius equal to the margin: a cell
        {{{0, 0, 0}, 20000.5f}, true, -1, 0, 0}, // larger: the catch-all
        {{{400000, 0, 0}, 1}, true, -1, 0, 0},   // on the max face: cell 20, outside
        {{{-400000, 0, 0}, 1}, true, 0, 0, 10},  // on the min face: cell 0
        {{{0, 30000, 0}, 1}, true, -1, 0, 0},    // at the top
        {{{0, 0, -400001}, 1}, true, -1, 0, 0},  // beyond the edge
        {{{39999, -29999, 40001}, 5}, true, 10, 0, 11},
        {{{0, 0, 0}, 1}, false, -1, 0, 0},    // no sphere
        {{{1e30f, 0, 0}, 1}, true, -1, 0, 0}, // far beyond any int cell
        {{{0, 0, -1e30f}, 1}, true, -1, 0, 0},
        {{{std::nanf(""), 0, 0}, 1}, true, -1, 0, 0}, // not a place at all
    };
    for (const Case& c : cases) {
        Ball ball(c.sphere, c.hasSphere);
        ball.group = &group;
        group.UpdateDamageable(&ball);
        const Sector* expected = c.i < 0 ? group.catchAll.get() : group.GetSector(c.i, c.j, c.k);
        EXPECT_EQ(ball.sector, expected) << c.sphere.center.x << " " << c.sphere.radius;
        Grp::Spatial<Obj::Static>::Remove(&ball);
        EXPECT_EQ(ball.sector, nullptr);
        EXPECT_FALSE(ball.IsLinked());
    }
}

TEST(SpatialGroup, MovingWithinACellKeepsTheListPosition) {
    Grp::Spatial<Obj::Static> group(WorldBox(), 20, 1, 20);
    Ball a(RwSphere{{100, 0, 100}, 10}), b(RwSphere{{200, 0, 200}, 10});
    for (Ball* ball : {&a, &b}) {
        ball->group = &group;
        group.UpdateDamageable(ball);
    }
    Sector* sector = a.sector;
    ASSERT_EQ(sector, b.sector);
    ASSERT_EQ(sector->head.next, &b); // newest first
    a.sphere.center = {300, 0, 300};
    group.UpdateDamageable(&a);
    EXPECT_EQ(sector->head.next, &b);
    EXPECT_EQ(b.next, &a);
    a.sphere.center = {50000, 0, 300}; // the next cell: relinked
    group.UpdateDamageable(&a);
    EXPECT_NE(a.sector, sector);
    EXPECT_EQ(sector->head.next, &b);
    EXPECT_EQ(b.next, &sector->head);
    Grp::Spatial<Obj::Static>::Remove(&a);
    Grp::Spatial<Obj::Static>::Remove(&b);
}

TEST(SpatialGroup, SegmentMissingTheBoxVisitsOnlyTheCatchAll) {
    Grp::Spatial<Obj::Static> group(WorldBox(), 20, 1, 20);
    const float nan = std::nanf(""), inf = INFINITY;
    const RwLine segments[] = {
        {{0, 50001, 0}, {1000, 60000, 0}}, // above the box and its margin
        {{nan, 0, 0}, {1000, 0, 0}},       // broken states are nowhere
        {{0, 0, 0}, {0, nan, 0}},
        {{0, 0, 0}, {inf, 0, 0}},
    };
    for (const RwLine& segment : segments) {
        std::vector<const Sector*> visited;
        group.ForEachSectorAlongSegment(segment, [&](Sector& s) { visited.push_back(&s); });
        ASSERT_EQ(visited.size(), 1u) << segment.start.x << " " << segment.end.x;
        EXPECT_EQ(visited[0], group.catchAll.get());
    }
}

using Balls = std::vector<std::unique_ptr<Ball>>;

// The walk's sectors hold every member whose sphere the segment touches, each sector once, and the
// near-segment query returns exactly those members, each once; returns how many sectors it visited.
size_t CheckWalkAgainstBruteForce(const Grp::Spatial<Obj::Static>& group, const Balls& balls,
                                  const RwLine& segment, int label) {
    std::set<const Obj::Static*> expected;
    for (auto& ball : balls)
        if (Grp::SegmentTouchesSphere(segment, ball->GetBoundingSphere()))
            expected.insert(ball.get());

    std::set<const Sector*> sectors;
    std::set<const Obj::Static*> candidates;
    group.ForEachSectorAlongSegment(segment, [&](Sector& sector) {
        EXPECT_TRUE(sectors.insert(&sector).second) << "a sector visited twice, segment " << label;
        for (Grp::Node* n = sector.head.next; n != &sector.head; n = n->next)
            candidates.insert(Grp::Spatial<Obj::Static>::Get(n));
    });
    for (const Obj::Static* member : expected)
        EXPECT_TRUE(candidates.count(member)) << "segment " << label;

    std::vector<const Obj::Static*> near;
    group.ForEachNearSegment(segment, [&](Obj::Static* member) { near.push_back(member); });
    EXPECT_EQ(std::set<const Obj::Static*>(near.begin(), near.end()), expected) << "segment " << label;
    EXPECT_EQ(near.size(), expected.size());
    return sectors.size();
}

// A sphere filed near the top face reaches above the box by up to the margin; a segment passing there, all
// of it outside the box, still touches it.
TEST(SpatialGroup, SegmentOutsideTheBoxFindsASphereReachingOut) {
    Grp::Spatial<Obj::Static> group(WorldBox(), 20, 1, 20);
    Balls balls;
    balls.push_back(std::make_unique<Ball>(RwSphere{{0, 29990, 0}, 100}));
    balls.push_back(std::make_unique<Ball>(RwSphere{{399990, 0, -399990}, 20000})); // a corner
    for (auto& ball : balls) {
        ball->group = &group;
        group.UpdateDamageable(ball.get());
        ASSERT_NE(ball->sector, group.catchAll.get());
    }
    const RwLine segments[] = {
        {{-1000, 30050, 0}, {1000, 30050, 0}},
        {{0, 30050, -5000}, {0, 30050, 5000}},
        {{0, 40000, 0}, {0, 30080, 0}},                      // coming down, ending just above it
        {{410000, 0, -410000}, {405000, 0, -405000}},        // beyond the corner
        {{-500000, 30050, 0}, {500000, 30050, 0}},           // across the whole world, above it
        {{410000, 10000, -410000}, {410000, 10000, 380000}}, // along an edge, in the band
    };
    for (const RwLine& segment : segments) {
        size_t found = 0;
        group.ForEachAlongSegment(segment, [&](Obj::Static*) { ++found; });
        EXPECT_EQ(found, 1u) << segment.start.x << " " << segment.start.y << " " << segment.start.z;
    }
    for (auto& ball : balls)
        Grp::Spatial<Obj::Static>::Remove(ball.get());
}

// Random segments over random members.
TEST(SpatialGroup, SegmentWalkAgainstBruteForce) {
    const RwBBox box = {{1000, 400, 1000}, {-1000, -400, -1000}};
    Grp::Spatial<Obj::Static> group(box, 10, 4, 10); // cells 200 x 200 x 200, margin 100
    std::mt19937 random(12345);
    std::uniform_real_distribution<float> unit(0, 1);
    Balls balls;
    for (int n = 0; n < 2000; ++n) {
        // Most spheres lie inside the box; some are larger than the margin or have none.
        const float r = n % 50 == 0 ? 150 + 100 * unit(random) : 1 + 99 * unit(random);
        const RwV3d c = {-1000 + r + (2000 - 2 * r) * unit(random), -400 + r + (800 - 2 * r) * unit(random),
                         -1000 + r + (2000 - 2 * r) * unit(random)};
        balls.push_back(std::make_unique<Ball>(RwSphere{c, r}, n % 97 != 0));
        balls.back()->group = &group;
        group.UpdateDamageable(balls.back().get());
    }
    for (int s = 0; s < 500; ++s) {
        RwLine segment;
        auto point = [&]() {
            return RwV3d{-1300 + 2600 * unit(random), -600 + 1200 * unit(random),
                         -1300 + 2600 * unit(random)};
        };
        segment.start = point();
        segment.end = point();
        if (s % 5 == 0) { // short steps, as a bullet makes them
            segment.end = {segment.start.x + 40 * unit(random), segment.start.y,
                           segment.start.z - 30 * unit(random)};
        }
        const size_t sectors = CheckWalkAgainstBruteForce(group, balls, segment, s);
        EXPECT_LT(sectors, size_t(group.count) / 2 + 2); // the walk does not visit the whole grid
    }
    for (auto& ball : balls)
        Grp::Spatial<Obj::Static>::Remove(ball.get());
}

// Spheres filed near the faces reach out of the box by up to the margin; segments that leave the box, run
// beside it or stay outside it near a face must find them as brute force does.
TEST(SpatialGroup, SegmentWalkAgainstBruteForceOutsideTheBox) {
    const RwBBox box = {{1000, 400, 1000}, {-1000, -400, -1000}};
    Grp::Spatial<Obj::Static> group(box, 10, 4, 10); // cells 200 x 200 x 200, margin 100
    std::mt19937 random(2024);
    std::uniform_real_distribution<float> unit(0, 1);
    const float lo[3] = {-1000, -400, -1000}, hi[3] = {1000, 400, 1000};
    Balls balls;
    for (int n = 0; n < 2000; ++n) {
        // Centred inside the grid, within the margin of one or more faces.
        float c[3];
        for (int a = 0; a < 3; ++a)
            c[a] = lo[a] + (hi[a] - lo[a]) * unit(random);
        for (int a = 0; a < 3; ++a)
            if (a == n % 3 || unit(random) < 0.2f)
                c[a] = unit(random) < 0.5f ? lo[a] + 100 * unit(random) : hi[a] - 100 * unit(random);
        const float r = 1 + 99 * unit(random);
        balls.push_back(std::make_unique<Ball>(RwSphere{{c[0], c[1], c[2]}, r}));
        balls.back()->group = &group;
        group.UpdateDamageable(balls.back().get());
    }
    auto around = [&](int a) { return lo[a] - 300 + (hi[a] - lo[a] + 600) * unit(random); };
    for (int s = 0; s < 3000; ++s) {
        RwLine segment;
        segment.start = {around(0), around(1), around(2)};
        segment.end = {around(0), around(1), around(2)};
        if (s % 3 == 0) { // kept in the band outside one face, running beside the box
            const int a = s % 9 / 3;
            const float outside =
                unit(random) < 0.5f ? lo[a] - 100 * unit(random) : hi[a] + 100 * unit(random);
            (&segment.start.x)[a] = outside;
            (&segment.end.x)[a] = outside + 20 * (unit(random) - 0.5f);
        } else if (s % 3 == 1) { // short steps, as a bullet makes them
            segment.end = {segment.start.x + 60 * (unit(random) - 0.5f),
                           segment.start.y + 60 * (unit(random) - 0.5f),
                           segment.start.z + 60 * (unit(random) - 0.5f)};
        }
        CheckWalkAgainstBruteForce(group, balls, segment, s);
    }
    for (auto& ball : balls)
        Grp::Spatial<Obj::Static>::Remove(ball.get());
}

TEST(WorldTime, AdvanceTable) {
    struct Case {
        float rate, fixedStep;
        double frameTime;
        float step;
    } cases[] = {
        {1.0f, -1.0f, 0.02, 0.02f}, {1.0f, -1.0f, 0.5, 0.1f},  {2.0f, -1.0f, 0.04, 0.08f},
        {0.0f, -1.0f, 0.02, 0.0f},  {1.0f, -1.0f, -0.1, 0.0f}, {1.0f, 0.0f, 0.5, 0.0f},
        {1.0f, 0.25f, 0.01, 0.25f}, {5.0f, -1.0f, 0.05, 0.1f},
    };
    for (const Case& c : cases) {
        Grp::WorldTime time;
        EXPECT_EQ(time.time, 0.0f);
        EXPECT_EQ(time.rate, 1.0f);
        EXPECT_EQ(time.fixedStep, -1.0f);
        time.time = 10;
        time.rate = c.rate;
        time.fixedStep = c.fixedStep;
        time.Advance(c.frameTime);
        EXPECT_FLOAT_EQ(time.step, c.step) << c.frameTime << " " << c.rate << " " << c.fixedStep;
        EXPECT_FLOAT_EQ(time.time, 10 + c.step);
    }
}

// ---- passes

std::vector<std::string> journal;

class Stepper : public Obj::Simulateable {
public:
    Stepper(std::string n, float interval) : name(std::move(n)) { stepInterval = interval; }
    void Simulate(float time, float step) override {
        calls.push_back({time, step});
        journal.push_back(name + "@" + std::to_string(int(time * 100 + 0.5f)));
        if (onStep)
            onStep(this);
    }
    std::string name;
    std::vector<std::pair<float, float>> calls;
    std::function<void(Stepper*)> onStep;
};

TEST(Passes, SimulateSteppingTable) {
    journal.clear();
    Grp::Simple<Obj::Simulateable> group;
    Stepper a("a", 0.3f), b("b", 0.45f);
    group.Insert(&a);
    group.Insert(&b);
    Grp::SimulateGroup(group, 1.0f, 2.0f);
    // First calls at t0 with step 0; then steps of at most the interval; the last at exactly t1.
    ASSERT_EQ(a.calls.size(), 5u);
    EXPECT_EQ(a.calls[0], std::make_pair(1.0f, 0.0f));
    EXPECT_FLOAT_EQ(a.calls[1].first, 1.3f);
    EXPECT_FLOAT_EQ(a.calls[1].second, 0.3f);
    EXPECT_FLOAT_EQ(a.calls[3].first, 1.9f);
    EXPECT_EQ(a.calls[4].first, 2.0f);
    EXPECT_NEAR(a.calls[4].second, 0.1f, 1e-6);
    ASSERT_EQ(b.calls.size(), 4u);
    EXPECT_FLOAT_EQ(b.calls[1].first, 1.45f);
    EXPECT_EQ(b.calls[3].first, 2.0f);
    EXPECT_EQ(a.lastTime, 2.0f);
    // All members' steps in ascending time.
    std::vector<int> times;
    for (const std::string& entry : journal)
        times.push_back(std::stoi(entry.substr(2)));
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end())) << ::testing::PrintToString(journal);

    // The next frame starts from lastTime + interval raised to t0; paused time steps no one.
    a.calls.clear();
    Grp::SimulateGroup(group, 2.0f, 2.0f);
    EXPECT_TRUE(a.calls.empty());
    Grp::SimulateGroup(group, 2.0f, 2.1f);
    ASSERT_EQ(a.calls.size(), 1u);
    EXPECT_FLOAT_EQ(a.calls[0].first, 2.1f);
    EXPECT_NEAR(a.calls[0].second, 0.1f, 1e-6);
    Grp::Simple<Obj::Simulateable>::Remove(&a);
    Grp::Simple<Obj::Simulateable>::Remove(&b);
}

TEST(Passes, SimulateJoinersWaitAndTheDeadAreSkipped) {
    Grp::Simple<Obj::Simulateable> group;
    auto* a = new Stepper("a", 0.25f);
    Stepper joiner("j", 1.0f), other("o", 0.25f);
    group.Insert(&other);
    group.Insert(a);
    a->onStep = [&](Stepper* self) {
        if (joiner.group == nullptr)
            group.Insert(&joiner);
        if (self->calls.size() == 2) {
            Grp::Simple<Obj::Simulateable>::Remove(self);
            delete self;
        }
    };
    Grp::SimulateGroup(group, 0.0f, 1.0f);
    EXPECT_TRUE(joiner.calls.empty()); // joined during the pass: steps next frame
    EXPECT_EQ(other.calls.size(), 5u);
    Grp::SimulateGroup(group, 1.0f, 1.5f);
    ASSERT_EQ(joiner.calls.size(), 2u); // 0 at t0, then to t1
    EXPECT_EQ(joiner.calls[0], std::make_pair(1.0f, 0.0f));
    EXPECT_EQ(joiner.calls[1].first, 1.5f);
    Grp::Simple<Obj::Simulateable>::Remove(&joiner);
    Grp::Simple<Obj::Simulateable>::Remove(&other);
}

// An interval that is not positive would step forever at one time: such a member steps once, to t1.
TEST(Passes, SimulateWithoutAPositiveIntervalEnds) {
    Grp::Simple<Obj::Simulateable> group;
    Stepper zero("z", 0.0f), negative("n", -1.0f);
    group.Insert(&zero);
    group.Insert(&negative);
    Grp::SimulateGroup(group, 0.0f, 0.1f);
    EXPECT_EQ(zero.calls.size(), 2u); // the first step at t0, then t1
    Grp::SimulateGroup(group, 0.1f, 0.2f);
    ASSERT_EQ(zero.calls.size(), 3u);
    EXPECT_EQ(zero.calls[2].first, 0.2f);
    EXPECT_EQ(negative.calls.size(), 3u);
    Grp::Simple<Obj::Simulateable>::Remove(&zero);
    Grp::Simple<Obj::Simulateable>::Remove(&negative);
}

class Runner : public Obj::Runnable {
public:
    Runner(std::string n, uint8_t order) : name(std::move(n)) { runOrder = order; }
    void Run() override {
        journal.push_back(name);
        if (onRun)
            onRun(this);
    }
    std::string name;
    std::function<void(Runner*)> onRun;
};

TEST(Passes, RunOrderAndDeathsDuringTheRun) {
    journal.clear();
    Grp::Simple<Obj::Runnable> group;
    Runner wake("wake", 129), ship("ship", 128), early("early", 10);
    auto* victim = new Runner("victim", 200);
    Runner killer("killer", 150), late("late", 255);
    for (Runner* r : {&wake, &ship, &early, victim, &killer, &late})
        group.Insert(r);
    Runner joiner("joiner", 0);
    killer.onRun = [&](Runner*) {
        Grp::Simple<Obj::Runnable>::Remove(victim);
        delete victim;
        if (!joiner.group)
            group.Insert(&joiner);
    };
    Grp::RunGroup(group);
    EXPECT_EQ(journal, (std::vector<std::string>{"early", "ship", "wake", "killer", "late"}));
    journal.clear();
    killer.onRun = nullptr;
    Grp::RunGroup(group);
    EXPECT_EQ(journal.front(), "joiner");
    for (Runner* r : {&wake, &ship, &early, &killer, &late, &joiner})
        Grp::Simple<Obj::Runnable>::Remove(r);
}

class Drawn : public Obj::Renderable {
public:
    Drawn(std::string n, std::vector<uint8_t> orders, const RwSphere* s = nullptr) : name(std::move(n)) {
        renderOrders = std::move(orders);
        if (s) {
            sphere = *s;
            hasSphere = true;
        }
    }
    const RwSphere* GetBoundingSphere() override { return hasSphere ? &sphere : nullptr; }
    void Render(unsigned order, Cameras::Basic*) override {
        journal.push_back(name + std::to_string(order));
        if (onRender)
            onRender(this);
    }
    std::string name;
    RwSphere sphere{};
    bool hasSphere = false;
    std::function<void(Drawn*)> onRender;
};

// Looking along +z from the origin, 90 degrees wide, near 1, far 1000.
Rw::CameraView View() {
    Rw::CameraView view;
    view.position = {0, 0, 0};
    view.at = {0, 0, 1};
    view.up = {0, 1, 0};
    view.windowX = view.windowY = 1;
    view.nearClip = 1;
    view.farClip = 1000;
    return view;
}

struct RenderGroup {
    Grp::Spatial<Obj::Renderable> group{RwBBox{{10000, 1000, 10000}, {-10000, -1000, -10000}}, 20, 1, 20};
    void Add(Drawn* d) {
        d->group = &group;
        group.Update(d);
    }
    ~RenderGroup() = default;
};

TEST(Passes, RenderOrderIsPassByPassAndStable) {
    journal.clear();
    RenderGroup g;
    Drawn sky("sky", {10}), model("model", {230, 10}), smoke("smoke", {230}), none("none", {});
    Drawn terrain("terrain", {120});
    for (Drawn* d : {&sky, &model, &smoke, &none, &terrain})
        g.Add(d);
    const auto range = Grp::VisibleRange(View(), g.group);
    // Visiting order: the catch-all's list, newest first.
    Grp::RenderVisible(range.begin(), range.end(), nullptr);
    EXPECT_EQ(journal, (std::vector<std::string>{"model10", "sky10", "terrain120", "smoke230", "model230"}))
        << ::testing::PrintToString(journal);
}

TEST(Passes, CullingKeepsWhatTouchesTheView) {
    journal.clear();
    RenderGroup g;
    const RwSphere ahead = {{0, 0, 500}, 10}, behind = {{0, 0, -500}, 10}, touching = {{0, 0, 1010}, 10},
                   beyond = {{0, 0, 1011}, 10}, side = {{-600, 0, 500}, 10}, far = {{5000, 0, 500}, 10};
    Drawn a("ahead", {128}, &ahead), b("behind", {128}, &behind), t("touching", {128}, &touching),
        x("beyond", {128}, &beyond), s("side", {128}, &side), f("far", {128}, &far), c("catchall", {128});
    for (Drawn* d : {&a, &b, &t, &x, &s, &f, &c})
        g.Add(d);
    const auto range = Grp::VisibleRange(View(), g.group);
    std::set<std::string> seen;
    for (Obj::Renderable* member : range)
        seen.insert(static_cast<Drawn*>(member)->name);
    EXPECT_EQ(seen, (std::set<std::string>{"ahead", "touching", "catchall"}));
    // The catch-all sector's members come first.
    EXPECT_EQ(static_cast<Drawn*>(*range.begin())->name, "catchall");

    // A view whose box lies outside the grid sees only the catch-all.
    Rw::CameraView away = View();
    away.position = {0, 50000, 0};
    std::vector<std::string> outside;
    for (Obj::Renderable* member : Grp::VisibleRange(away, g.group))
        outside.push_back(static_cast<Drawn*>(member)->name);
    EXPECT_EQ(outside, std::vector<std::string>{"catchall"});
}

TEST(Passes, ARenderableDestroyedByAnEarlierDrawIsSkipped) {
    journal.clear();
    RenderGroup g;
    auto* victim = new Drawn("victim", {20, 200});
    Drawn killer("killer", {15});
    g.Add(victim);
    g.Add(&killer);
    killer.onRender = [&](Drawn*) {
        Grp::Spatial<Obj::Renderable>::Remove(victim);
        delete victim;
    };
    const auto range = Grp::VisibleRange(View(), g.group);
    Grp::RenderVisible(range.begin(), range.end(), nullptr);
    EXPECT_EQ(journal, std::vector<std::string>{"killer15"});
}

// ---- damage

class Target : public Obj::Target, public Obj::Dynamic {
public:
    Target() = default;
    const RwSphere* GetBoundingSphere() override { return hasSphere ? &sphere : nullptr; }
    bool IntersectSegment(const RwLine*, RwV3d*, RwV3d*) override { return false; }
    void OnHitPointsChanged() override { ++changes; }
    RwSphere sphere{{0, 0, 0}, 5};
    bool hasSphere = true;
    int changes = 0;
};

class Blast : public Obj::SphereMissile {
public:
    explicit Blast(float d) { damage = d; }
    void OnHit(Obj::Damageable*, const RwSphere*) override {}
};

class Bullet : public Obj::SegmentMissile {
public:
    explicit Bullet(float d) { damage = d; }
    uint32_t OnHit(Obj::Damageable*, const RwLine*, const RwV3d*, RwV3d*) override { return 0; }
};

TEST(Damage, HitPointsAndMaximum) {
    Target t;
    t.SetMaxHitPoints(100);
    EXPECT_EQ(t.maxHitPoints, 100);
    EXPECT_EQ(t.hitPoints, 100);
    EXPECT_EQ(t.changes, 1);
    t.SetHitPoints(150);
    EXPECT_EQ(t.hitPoints, 100);
    EXPECT_EQ(t.changes, 1); // unchanged: not told
    t.SetHitPoints(40);
    t.SetMaxHitPoints(100); // the same maximum: stays damaged
    EXPECT_EQ(t.hitPoints, 40);
    t.SetMaxHitPoints(80); // another: repaired fully
    EXPECT_EQ(t.hitPoints, 80);
    t.SetHitPoints(-5);
    EXPECT_EQ(t.hitPoints, 0);
    t.SetMaxHitPoints(-3);
    EXPECT_EQ(t.maxHitPoints, 0);
    EXPECT_EQ(t.GetDetectability(), 1.0f);

    // One damage model through both roles.
    t.SetMaxHitPoints(50);
    Bullet bullet(10);
    const RwV3d point = {0, 0, 0};
    static_cast<Obj::Target&>(t).OnSegmentMissileHit(&bullet, nullptr, &point);
    static_cast<Obj::Dynamic&>(t).OnSegmentMissileHit(&bullet, nullptr, &point);
    EXPECT_EQ(t.hitPoints, 30);
    t.OnSegmentMissileHit(&bullet, nullptr, nullptr); // no hit point: nothing
    EXPECT_EQ(t.hitPoints, 30);
}

TEST(Damage, BlastTable) {
    struct Case {
        float distance, taken;
        bool hasSphere;
    } cases[] = {{0, 100, true}, {5, 100, true}, {8, 40, true},   {9, 20, true},
                 {10, 0, true},  {25, 0, true},  {50, 100, false}};
    for (const Case& c : cases) {
        Target t;
        t.canAddHitSpot = false;
        t.hasSphere = c.hasSphere;
        t.SetMaxHitPoints(1000);
        Blast blast(100);
        const RwSphere sphere = {{c.distance, 0, 0}, 30};
        t.OnSphereMissileHit(&blast, &sphere);
        EXPECT_NEAR(1000 - t.hitPoints, c.taken, 1e-3) << c.distance;
    }
}

TEST(Damage, DetectabilityOfAnAirplane) {
    struct Case {
        Obj::AirplaneExposure e;
        float expected;
    } cases[] = {
        {{0, 0, false, false, 0, 0, false}, 0.33f},
        {{3000, 0, false, false, 0, 0, false}, 0.772f},
        {{13000, 1000, false, false, 0, 0, false}, 1.0f},
        {{20000, 0, false, false, 0, 0, false}, 1.0f},
        {{3000, 0, false, false, 0, 0, true}, 1.772f},
        {{50, 400, false, false, 0, 0, false}, 0.33f}, // below the ground it knows: height 0
        {{12000, 0, true, true, 0, 0, false}, 0.5f},
        {{12000, 0, true, true, 1, 1, false}, 1.0f},
        {{12000, 0, true, false, 1, 1, false}, 0.75f}, // gear counts only with a "Gears" part
        {{0, 0, true, true, 0, 0, true}, 1.165f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(Obj::AirplaneDetectability(c.e), c.expected, 1e-3) << c.e.height;
}

} // namespace
