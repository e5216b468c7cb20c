// Obj::SmokeTrailGroup: ribbons of smoke or vapour behind moving sources (wingtip condensation, damage
// smoke, rocket smoke, tracers). Each trail is a queue of points whose head follows its source; at a fixed
// interval the head is frozen and a new one starts. Points widen and fade with age and are dropped at the
// group's end width. The group only renders: all ageing happens in its draw, and once its owner has stopped
// every trail it removes and deletes itself when the last one has faded.
#pragma once

#include "objects/Particles.h"
#include "scene/Attachable.h"
#include "scene/ObjectModel.h"

#include <cstdint>
#include <initializer_list>
#include <list>
#include <memory>
#include <vector>

struct RwTexture;

namespace Obj {

class SmokeTrailGroup : public Object, public Renderable, public Attachable {
public:
    static constexpr uint8_t RenderOrder = 224;

    struct Point {
        float time = 0; // when made or, for the head, last moved
        double position[3] = {0, 0, 0};
        uint8_t color[4] = {0, 0, 0, 0}; // red, green, blue, alpha
        float distance = 0;              // along the trail from its first point
    };

    // A double-ended queue of points on one ring that only grows: once a trail has reached its length,
    // freezing and dropping points allocates nothing.
    class PointQueue {
    public:
        PointQueue() = default;
        PointQueue(std::initializer_list<Point> points) {
            for (const Point& p : points)
                push_back(p);
        }
        size_t size() const { return count_; }
        bool empty() const { return count_ == 0; }
        Point& operator[](size_t i) { return ring_[(first_ + i) & (ring_.size() - 1)]; }
        const Point& operator[](size_t i) const { return ring_[(first_ + i) & (ring_.size() - 1)]; }
        Point& front() { return (*this)[0]; }
        const Point& front() const { return (*this)[0]; }
        Point& back() { return (*this)[count_ - 1]; }
        const Point& back() const { return (*this)[count_ - 1]; }
        void push_back(const Point& point);
        void pop_front() {
            first_ = (first_ + 1) & (ring_.size() - 1);
            --count_;
        }
        void clear() { first_ = count_ = 0; }

        template <class Q, class P> struct Iterator {
            Q* queue;
            size_t i;
            P& operator*() const { return (*queue)[i]; }
            Iterator& operator++() {
                ++i;
                return *this;
            }
            bool operator!=(const Iterator& other) const { return i != other.i; }
        };
        Iterator<PointQueue, Point> begin() { return {this, 0}; }
        Iterator<PointQueue, Point> end() { return {this, count_}; }
        Iterator<const PointQueue, const Point> begin() const { return {this, 0}; }
        Iterator<const PointQueue, const Point> end() const { return {this, count_}; }

    private:
        std::vector<Point> ring_; // a power of two long
        size_t first_ = 0, count_ = 0;
    };

    struct Trail {
        SmokeTrailGroup* owner = nullptr;
        PointQueue points;  // oldest first, head last
        bool ended = false; // the source is gone: the trail fades out and is then destroyed
    };

    // The widths and timing of the group's users.
    struct Widths {
        float start, end, rate, interval;
    };
    static constexpr Widths CondensationTrails{0.2f, 40, 5, 0.1f};
    static constexpr Widths DamageSmoke{2, 100, 5, 0.1f};
    static constexpr Widths Tracers{0, 0.5f, 2, 0.05f};
    static constexpr Widths RocketSmoke(float nozzleDiameter) {
        return {0.7f * nozzleDiameter, 50 * nozzleDiameter, 4, 0.05f};
    }

    SmokeTrailGroup();
    ~SmokeTrailGroup() override;

    // Takes the widths and timing and loads the texture "SmokeTrail" (wrapped, linear mip-linear); a texture
    // that does not load leaves the trails untextured.
    void Setup(const Widths& widths);

    // A new empty trail at the end of the list; valid until the ageing destroys it after it has ended.
    Trail* AddTrail();
    // Moves the trail's head to the source (colour components 0 to 1); once per frame per trail.
    void Update(Trail* trail, const double position[3], const float color[4]);
    // Ends every trail; the group deletes itself once they are gone.
    void StopAll();
    // Hangs the group below its owner, so that it dies with it (it has no frame of its own), or takes it
    // off again, before the owner stops the trails and leaves them to fade.
    void AttachTo(Attachable* owner) {
        Attachable::Unlink();
        LinkTo(owner);
    }
    void Detach() { Attachable::Unlink(); }

    // Drops expired points and freezes the head when its interval has run; false when the trail was ended
    // and has no point left (it has then been destroyed). Nothing happens while the world is paused.
    bool AgeTrail(Trail* trail);
    uint8_t PointAlpha(const Trail& trail, const Point& point) const;
    // The camera-facing strip of one trail relative to the camera position, two vertices per emitted point;
    // the number of vertices (0: nothing to draw).
    size_t BuildTrail(const Trail& trail, const double camera[3], VertexStore& store) const;
    // Seconds from a point's start width to its end width.
    float PointLifetime() const;

    void Render(unsigned order, Cameras::Basic* camera) override;
    // None: drawn wherever the camera is.
    const RwSphere* GetBoundingSphere() override { return nullptr; }
    void SetWorld(Grp::World* world) override;

    std::list<std::unique_ptr<Trail>> trails;
    bool stopped = false;
    RwTexture* texture = nullptr; // owned
    float startWidth = 0;
    float endWidth = 0;
    float widenRate = 1;
    float pointInterval = 0.1f;

    // Vertices emitted by the last render, over all trails.
    size_t lastVertexCount = 0;

private:
    float Now() const;
    float Step() const;
    void AddPoint(Trail* trail);

    VertexStore store_;
};

} // namespace Obj
