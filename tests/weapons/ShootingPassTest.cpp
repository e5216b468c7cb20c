// The shooting pass over hand-made targets: which target stops the missile, who is told, and with what.
#include "weapons/SegmentMissile.h"

#include "tests/scene/SceneFixture.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Log {
    std::vector<std::string> examined;              // IntersectSegment calls, in order
    std::vector<std::pair<std::string, bool>> told; // OnSegmentMissileHit: name, with a point
};

// A target with an optional sphere and an optional hit at a distance along +z from the origin.
class Probe : public Obj::Frame, public virtual Obj::Damageable {
public:
    Probe(std::string n, Log& l, float sphereStart, float hitAt, bool withSphere = true)
        : name(std::move(n)), log(l), hit(hitAt) {
        sphere = {{0, 0, sphereStart + 5}, 5};
        hasSphere = withSphere;
        hitPoints = maxHitPoints = 100;
    }
    const RwSphere* GetBoundingSphere() override { return hasSphere ? &sphere : nullptr; }
    bool IntersectSegment(const RwLine* s, RwV3d* out, RwV3d*) override {
        log.examined.push_back(name);
        if (hit < 0 || hit > s->end.z)
            return false;
        *out = {0, 0, hit};
        return true;
    }
    void OnSegmentMissileHit(Obj::SegmentMissile* missile, const RwLine* s, const RwV3d* point) override {
        log.told.emplace_back(name, point != nullptr);
        lastSegmentEnd = s->end.z;
        Obj::Damageable::OnSegmentMissileHit(missile, s, point);
        if (onTold)
            onTold();
    }

    std::string name;
    Log& log;
    float hit;
    RwSphere sphere;
    bool hasSphere;
    float lastSegmentEnd = 0;
    std::function<void()> onTold;
};

class Missile : public Weapons::SegmentMissile {
public:
    uint32_t OnHit(Obj::Damageable* t, const RwLine* s, const RwV3d* p, RwV3d* out) override {
        ++calls;
        return Weapons::SegmentMissile::OnHit(t, s, p, out);
    }
    int calls = 0;
};

class ShootingPass : public SceneEngine {
protected:
    const RwLine segment = {{0, 0, 0}, {0, 0, 100}};
    Log log;

    bool Shoot(const std::vector<Probe*>& targets, Weapons::SegmentMissile* missile, RwV3d* out) {
        auto range = [&](auto&& visit) {
            for (Probe* t : targets)
                visit(static_cast<Obj::Damageable*>(t));
        };
        return Alg::ShootSegment::Shoot(range, missile, segment, nullptr, out);
    }
};

TEST_F(ShootingPass, EmptyRangeFliesThroughAndCallsNothing) {
    Missile missile;
    RwV3d out = {7, 7, 7};
    EXPECT_FALSE(Shoot({}, &missile, &out));
    EXPECT_EQ(missile.calls, 0);
    EXPECT_EQ(out.x, 7);
}

// Keys order the examination; the real hit distance picks the target that stops the missile. Each row:
// the targets (sphere start, hit distance or -1, with sphere), then the expected examination order, what each
// target is told and the stop distance (-1: flies through).
TEST_F(ShootingPass, TargetsAreTakenInOrderOfTheirRealHits) {
    struct Row {
        const char* what;
        std::vector<std::tuple<std::string, float, float, bool>> targets;
        std::vector<std::string> examined;
        std::vector<std::pair<std::string, bool>> told;
        float stop;
    };
    const Row rows[] = {
        {"a target without a sphere is examined first",
         {{"far", 50, -1, true}, {"nosphere", 0, -1, false}},
         {"nosphere", "far"},
         {{"nosphere", false}, {"far", false}},
         -1},
        {"the nearest real hit stops; an earlier sphere is told without a point",
         {{"big", 10, 30, true}, {"small", 20, 25, true}},
         {"big", "small"},
         {{"big", false}, {"small", true}},
         25},
        {"a sphere beyond the stop point is not told",
         {{"near", 10, 12, true}, {"behind", 40, 45, true}},
         {"near"},
         {{"near", true}},
         12},
        {"equal hit distances: the first popped stops, the other is told without a point",
         {{"first", 10, 20, true}, {"second", 12, 20, true}},
         {"first", "second"},
         {{"first", true}, {"second", false}},
         20},
        {"a miss beyond everything flies through", {{"miss", 30, -1, true}}, {"miss"}, {{"miss", false}}, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        log = {};
        std::vector<std::unique_ptr<Probe>> owned;
        std::vector<Probe*> targets;
        for (const auto& [name, start, hit, withSphere] : row.targets) {
            owned.push_back(std::make_unique<Probe>(name, log, start, hit, withSphere));
            targets.push_back(owned.back().get());
        }
        Missile missile;
        missile.damage = 10;
        RwV3d out = {0, 0, 0};
        const bool stopped = Shoot(targets, &missile, &out);
        EXPECT_EQ(stopped, row.stop >= 0);
        if (stopped) {
            EXPECT_EQ(out.z, row.stop);
        }
        EXPECT_EQ(log.examined, row.examined);
        EXPECT_EQ(log.told, row.told);
        for (auto& t : owned) {
            const bool hitWithPoint =
                std::find(row.told.begin(), row.told.end(), std::pair<std::string, bool>{t->name, true}) !=
                row.told.end();
            EXPECT_EQ(t->hitPoints, hitWithPoint ? 90 : 100) << t->name;
            if (stopped && !log.told.empty()) {
                EXPECT_LE(t->lastSegmentEnd, row.stop) << "the told segment ends at the stop point";
            }
        }
    }
}

// The shooter's own parts are never hit, however near; once the owner is gone they can be.
TEST_F(ShootingPass, OwnRootIsSkippedUntilTheOwnerDies) {
    auto owner = std::make_unique<Probe>("owner", log, 0, 5);
    auto* part = new Probe("part", log, 0, 5); // hung below the owner, which deletes it
    part->AttachTo(owner.get(), owner->frame, false);
    Probe other("other", log, 30, 35);
    Missile missile;
    missile.owner = owner.get();
    RwV3d out;
    ASSERT_TRUE(Shoot({part, &other}, &missile, &out));
    EXPECT_EQ(out.z, 35);
    EXPECT_EQ(log.told, (std::vector<std::pair<std::string, bool>>{{"other", true}}));

    log = {};
    Base::SmartPtr<Probe> partAlive(part);
    missile.owner = nullptr; // as when the owner has been destroyed
    ASSERT_TRUE(Shoot({part, &other}, &missile, &out));
    EXPECT_EQ(out.z, 5);
    EXPECT_TRUE(partAlive);
}

// A target that a callback destroys is skipped from then on; a missile destroyed by the consequences of a hit
// tells nobody else.
TEST_F(ShootingPass, DestroyedTargetsAndMissilesAreSkipped) {
    auto* a = new Probe("a", log, 10, 20);
    auto* b = new Probe("b", log, 11, -1);
    auto* c = new Probe("c", log, 12, -1);
    b->onTold = [&] {
        delete c;
        c = nullptr;
    };
    Missile missile;
    RwV3d out;
    ASSERT_TRUE(Shoot({a, b, c}, &missile, &out));
    EXPECT_EQ(log.told, (std::vector<std::pair<std::string, bool>>{{"a", true}, {"b", false}}));
    EXPECT_EQ(c, nullptr);

    log = {};
    auto* doomed = new Missile();
    a->onTold = [&] { delete doomed; };
    auto* d = new Probe("d", log, 12, -1);
    EXPECT_TRUE(Shoot({a, b, d}, doomed, &out));
    EXPECT_EQ(out.z, 20);
    EXPECT_EQ(log.told, (std::vector<std::pair<std::string, bool>>{{"a", true}}));
    delete a;
    delete b;
    delete d;
}

TEST(ClosestPointOnSegment, ClampsToTheEnds) {
    const RwLine s = {{0, 0, 0}, {10, 0, 0}};
    const struct {
        RwV3d p, expected;
    } rows[] = {
        {{-5, 3, 0}, {0, 0, 0}}, {{4, 3, 1}, {4, 0, 0}}, {{15, -2, 0}, {10, 0, 0}}, {{10, 0, 0}, {10, 0, 0}}};
    for (const auto& row : rows) {
        const RwV3d r = Weapons::ClosestPointOnSegment(s, row.p);
        EXPECT_FLOAT_EQ(r.x, row.expected.x);
        EXPECT_FLOAT_EQ(r.y, row.expected.y);
        EXPECT_FLOAT_EQ(r.z, row.expected.z);
    }
    // A segment of no length points along +z.
    const RwLine point = {{1, 1, 1}, {1, 1, 1}};
    const RwV3d r = Weapons::ClosestPointOnSegment(point, {1, 1, 5});
    EXPECT_FLOAT_EQ(r.z, 1);
    EXPECT_FLOAT_EQ(Weapons::SegmentDirection(point).z, 1);
}

} // namespace
