// Obj::Smoke: a smoke column. Its frame (hung below a hit spot) emits a puff every interval; each puff keeps
// its world position, rises, drifts, grows, turns and fades, and is drawn as a camera-facing quad, farthest
// first. The hit spot sets its strength while it burns and finally stops it; a stopped smoke lets its puffs
// die out, then removes and deletes itself.
#pragma once

#include "scene/Attachable.h"
#include "scene/ObjectModel.h"

#include <cstdint>
#include <vector>

struct RwCamera;
struct RwTexture;

namespace Obj {

class Smoke : public Frame, public Object, public Renderable, public Runnable {
public:
    static constexpr uint8_t RenderOrder = 230;

    // 64 bytes.
    struct Particle {
        double position[3];
        float velocity[3];
        float size;
        float growth; // size per second; also the sideways drift
        float life;
        float angle;
        float spin;
        float opacity; // 0 to 1, fixed at emission
        uint8_t color[4];
    };

    Smoke();
    ~Smoke() override;

    // Strength S: puff interval and life are drawn here and stay; the start of emission waits for the first
    // run.
    void Setup(float strength);

    void SetWorld(Grp::World* world) override;
    // None before the first run.
    const RwSphere* GetBoundingSphere() override;
    void Run() override;
    void Render(unsigned order, Cameras::Basic* camera) override;
    // The live puffs, farthest first; true when one was drawn.
    bool DrawParticles(RwCamera* camera);

    float strength = 0;
    float root = 0;              // the square root of the strength
    std::vector<Particle> puffs; // oldest first
    RwTexture* texture = nullptr;
    float puffLife = 0;
    float interval = 0;
    float lastEmission = 0;
    float startTime = -1;
    RwSphere bounds{{0, 0, 0}, -1};
    bool stopped = false;

private:
    void Emit(const double source[3], float now);
};

static_assert(sizeof(Smoke::Particle) == 64);

} // namespace Obj
