// What the weapons' tests share: a flat level (ground or sea) that segment tests hit, recording where, and
// a world with the sample models.
#pragma once

#include "tests/objects/EffectsFixture.h"
#include "tests/scene/SceneFixture.h"

#include "base/Info.h"
#include "base/String.h"
#include "scene/World.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace WeaponsTest {

// The sea or a flat ground at height h everywhere: a static target without a sphere.
class Level : public Obj::Object, public Obj::Static {
public:
    explicit Level(float h) : height(h) {}
    const RwSphere* GetBoundingSphere() override { return nullptr; }
    bool IntersectSegment(const RwLine* s, RwV3d* out, RwV3d* normal) override {
        const float a = s->start.y - height, b = s->end.y - height;
        if ((a > 0) == (b > 0) && a != 0 && b != 0)
            return false;
        const float t = a == b ? 0 : a / (a - b);
        *out = {s->start.x + t * (s->end.x - s->start.x), height, s->start.z + t * (s->end.z - s->start.z)};
        if (normal)
            *normal = {0, 1, 0};
        return true;
    }
    void OnSegmentMissileHit(Obj::SegmentMissile* missile, const RwLine* s, const RwV3d* point) override {
        if (point)
            hits.push_back(*point);
        Obj::Damageable::OnSegmentMissileHit(missile, s, point);
    }
    void SetWorld(Grp::World* w) override {
        Obj::Object::SetWorld(w);
        if (w) {
            Obj::Static::group = w->statics.get();
            w->statics->UpdateDamageable(this);
        } else if (Obj::Static::group) {
            Grp::Spatial<Obj::Static>::Remove(this);
        }
    }
    float height;
    std::vector<RwV3d> hits;
};

// A description from (dotted key, value) pairs, the keys under one block per first part.
inline std::string Describe(const std::vector<std::pair<std::string, std::string>>& keys) {
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> blocks;
    std::string text;
    for (const auto& [key, value] : keys) {
        const size_t dot = key.find('.');
        if (dot == std::string::npos)
            text += key + "\t" + value + "\n";
        else
            blocks[key.substr(0, dot)].emplace_back(key.substr(dot + 1), value);
    }
    for (const auto& [block, entries] : blocks) {
        text += block + "\n{\n";
        for (const auto& [key, value] : entries)
            text += "\t" + key + "\t" + value + "\n";
        text += "}\n";
    }
    return text;
}

// The sample models with a world whose clock the test sets.
class SampleWorld : public SampleModels {
protected:
    void SetUp() override {
        SampleModels::SetUp();
        world = std::make_unique<Grp::World>();
    }
    void TearDown() override {
        world.reset();
        SampleModels::TearDown();
    }
    void Clock(float now, float step) {
        world->time->time = now;
        world->time->step = step;
    }
    // One frame: the clock to now, the simulation up to it, then every runnable once.
    void Frame(float now, float step) {
        const float before = world->time->time;
        Clock(now, step);
        Grp::SimulateGroup(*world->simulateables, before, now);
        Grp::RunGroup(*world->runnables);
    }
    Base::Info Read(const char* name) {
        Base::Info info;
        EXPECT_EQ(info.LoadFile(Base::MakePath(models, std::string("Weapons\\") + name + ".info")), 0)
            << name;
        return info;
    }
    template <class T> int Count() {
        int count = 0;
        world->ForEach([&](Obj::Object* o) { count += dynamic_cast<T*>(o) != nullptr; });
        return count;
    }
    template <class T> T* Find() {
        T* found = nullptr;
        world->ForEach([&](Obj::Object* o) {
            if (!found)
                found = dynamic_cast<T*>(o);
        });
        return found;
    }

    std::unique_ptr<Grp::World> world;
};

} // namespace WeaponsTest
