// Obj::WaterTrail: the foam wake behind a ship, a flat textured strip on the sea laid through the points the
// ship leaves behind. Each point widens with its age and fades out; the strip's head rides with the ship,
// whose frame is the wake's parent. Let go by its ship, the wake fades and removes and deletes itself.
#pragma once

#include "scene/Attachable.h"
#include "scene/ObjectModel.h"

#include "base/Maths.h"

#include <vector>

struct RwTexture;

namespace Obj {

class WaterTrail : public Frame, public Object, public Renderable, public Runnable {
public:
    struct Point {
        float birthTime = 0;
        float u = 0; // texture coordinate along the strip
        float intensity = 0;
        float x = 0, z = 0;
        float dirX = 0, dirZ = 1;
    };

    WaterTrail();
    ~WaterTrail() override;

    // Before the wake enters the world, with its frame already at the ship: lays the strip the ship would
    // have left at that ground velocity (none when the ship stands still). False, laying nothing, for a point
    // interval or widening rate that is not positive, or a lifetime of more than MaxPoints intervals.
    static constexpr float MaxPoints = 100000;
    bool Setup(float startWidth, float endWidth, float widenRate, float pointInterval,
               Base::Vector2 velocity);
    // The ship lets the wake go: no new points, and the head fades at once.
    void Detach();

    void SetWorld(Grp::World* world) override;
    void Run() override;
    void Render(unsigned order, Cameras::Basic* camera) override;
    const RwSphere* GetBoundingSphere() override { return sphere.radius < 0 ? nullptr : &sphere; }

    // At world time t.
    float Width(const Point& point, float t) const { return (t - point.birthTime) * widenRate + startWidth; }
    float Fade(const Point& point, float t) const;
    float Lifetime() const { return (endWidth - startWidth) / widenRate; }

    RwTexture* texture = nullptr;
    RwSphere sphere = {{0, 0, 0}, -1};
    std::vector<Point> points; // oldest first
    float startWidth = 0, endWidth = 0, widenRate = 1, pointInterval = 1;
    bool detached = false;

private:
    Base::Vector2 HeadPosition() const;
    Base::Vector2 HeadDirection() const;
};

} // namespace Obj
