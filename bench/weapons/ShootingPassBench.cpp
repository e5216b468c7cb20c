// The bullets' shooting pass: 200 bullet groups of ten bullets each flying through a world of 2,000
// damageable objects (1,000 static, 1,000 moving), each frame's run of the groups timed with its heap
// allocations once warm. The reference, in the same run, tests the same bullet steps against every object
// by brute force (sphere distance, then the object's own segment test). The targets' geometry never
// reports a hit, so every step does the whole pass (spheres touched, candidates ordered, the missile asked)
// without the impact effects, whose new objects are allocations of their own.
#include "bench/AllocationCounter.h"

#include "weapons/BulletGroup.h"

#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/world/rpworld.h"
#include "scene/Frame.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"
#include "scene/Wrappers.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int Groups = 200, Objects = 2000;
constexpr float Step = 1 / 60.0f, Interval = 0.2f, Lifetime = 2.0f, Speed = 1000.0f;

template <class Role> class Target : public Obj::Object, public Role {
public:
    explicit Target(RwSphere s) : sphere(s) {}
    const RwSphere* GetBoundingSphere() override { return &sphere; }
    // A near miss: the sphere is touched, the shape is not.
    bool IntersectSegment(const RwLine* segment, RwV3d*, RwV3d*) override {
        ++tests;
        return segment->start.x > 1e30f;
    }
    void SetWorld(Grp::World* w) override {
        Obj::Object::SetWorld(w);
        auto& group = Group(w ? w : world);
        if (w) {
            Role::group = &group;
            group.UpdateDamageable(this);
        } else if (Role::group) {
            std::remove_reference_t<decltype(group)>::Remove(this);
        }
    }
    auto& Group(Grp::World* w) {
        if constexpr (std::is_same_v<Role, Obj::Static>)
            return *w->statics;
        else
            return *w->dynamics;
    }
    RwSphere sphere;
    static inline uint64_t tests = 0;
};

struct Engine {
    Engine() {
        ok = RwEngineInit(nullptr, 0, 0) && RpWorldPluginAttach() && RpCollisionPluginAttach() &&
             Rw::Frame::RegisterPlugins() && Rw::RegisterWrapperPlugins();
        RwEngineOpenParams params = {nullptr};
        ok = ok && RwEngineOpen(&params) && RwEngineStart();
    }
    ~Engine() {
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
    }
    bool ok = false;
};

struct Gunner {
    Weapons::BulletGroup* group;
    RwV3d position, direction;
    float nextShot;
};

// The reference: every bullet's step of this frame against every object.
size_t BruteForce(const std::vector<Gunner>& gunners, const std::vector<Obj::Damageable*>& targets) {
    size_t touched = 0;
    for (const Gunner& gunner : gunners)
        for (const Weapons::Bullet& b : gunner.group->bullets) {
            const RwV3d p = {float(b.position[0]), float(b.position[1]), float(b.position[2])};
            const RwLine step = {
                p, {p.x + b.velocity.x * Step, p.y + b.velocity.y * Step, p.z + b.velocity.z * Step}};
            for (Obj::Damageable* t : targets) {
                const RwSphere* s = t->GetBoundingSphere();
                if (Grp::DistancePointToSegment(s->center, step) > s->radius)
                    continue;
                RwV3d hit;
                ++touched;
                benchmark::DoNotOptimize(t->IntersectSegment(&step, &hit, nullptr));
            }
        }
    return touched;
}

void ShootingPass(benchmark::State& state) {
    Engine engine;
    if (!engine.ok) {
        state.SkipWithError("engine did not start");
        return;
    }
    // A battle area 12 km across in cells of 300 m.
    const RwBBox box = {{6000, 2500, 6000}, {-6000, -500, -6000}};
    auto world = std::make_unique<Grp::World>(box, 40, 1, 40);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> across(-5000, 5000), height(0, 2000), size(20, 60);
    std::vector<Obj::Damageable*> targets;
    for (int i = 0; i < Objects; ++i) {
        const RwSphere s = {{across(random), height(random), across(random)}, size(random)};
        Obj::Object* object = nullptr;
        if (i % 2) {
            auto* t = new Target<Obj::Static>(s);
            targets.push_back(t);
            object = t;
        } else {
            auto* t = new Target<Obj::Dynamic>(s);
            targets.push_back(t);
            object = t;
        }
        world->AddObject(object);
    }
    std::vector<Gunner> gunners;
    for (int i = 0; i < Groups; ++i) {
        auto* group = new Weapons::BulletGroup();
        world->AddObject(group);
        const RwV3d from = {across(random), height(random), across(random)};
        RwV3d to = {across(random) - from.x, height(random) - from.y, across(random) - from.z};
        const float l = std::sqrt(to.x * to.x + to.y * to.y + to.z * to.z);
        gunners.push_back({group, from, {to.x / l, to.y / l, to.z / l}, float(i) * Interval / Groups});
    }
    const auto fire = [&]() {
        for (Gunner& g : gunners)
            if (g.nextShot <= world->time->time) {
                g.group->AddBullet(g.position,
                                   {g.direction.x * Speed, g.direction.y * Speed, g.direction.z * Speed},
                                   Lifetime, {255, 255, 160, 255}, false);
                g.nextShot += Interval;
            }
    };
    const auto frame = [&]() {
        world->time->step = Step;
        world->time->time += Step;
        Grp::RunGroup(*world->runnables);
    };
    // Warm: every group at its full count, the pass's records grown.
    for (int f = 0; f < 240; ++f) {
        fire();
        frame();
    }

    double passSeconds = 0, referenceSeconds = 0;
    uint64_t allocations = 0, frames = 0, bullets = 0;
    for (auto _ : state) {
        const AllocationCounter::Counts before = AllocationCounter::Now();
        const auto t0 = std::chrono::steady_clock::now();
        fire();
        frame();
        const auto t1 = std::chrono::steady_clock::now();
        allocations += AllocationCounter::Since(before).all;
        for (const Gunner& g : gunners)
            bullets += g.group->bullets.size();
        benchmark::DoNotOptimize(BruteForce(gunners, targets));
        const auto t2 = std::chrono::steady_clock::now();
        passSeconds += std::chrono::duration<double>(t1 - t0).count();
        referenceSeconds += std::chrono::duration<double>(t2 - t1).count();
        ++frames;
    }
    const double perFrame = passSeconds / double(frames), reference = referenceSeconds / double(frames);
    state.counters["pass_us"] = perFrame * 1e6;
    state.counters["brute_force_us"] = reference * 1e6;
    state.counters["ratio"] = reference > 0 ? perFrame / reference : 0;
    state.counters["allocs_per_frame"] = double(allocations) / double(frames);
    state.counters["bullets"] = double(bullets) / double(frames);
    world.reset();
}
BENCHMARK(ShootingPass)->Unit(benchmark::kMicrosecond);

} // namespace
