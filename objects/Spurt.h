// Ground and water spurts: the puff of dust a bullet throws up where it hits the ground (Obj::SpurtLand) and
// the column of spray where a bullet, bomb, rocket or crashing airplane meets the sea (Obj::SpurtWater). Both
// are short bursts of camera-facing particles that rise, slow, fall, grow and fade; the object removes and
// deletes itself in the first draw that finds no live particle.
#pragma once

#include "objects/Particles.h"
#include "scene/ObjectModel.h"

#include <cstdint>
#include <vector>

struct RwTexture;

namespace Obj {

// What the two spurts share: the world roles, the bounding sphere and the draw that ends them.
class Spurt : public Object, public Renderable, public Runnable {
public:
    static constexpr uint8_t RenderOrder = 230;
    // The sea surface is y = 0; an impact at or below this height makes spray rather than dust.
    static constexpr float WaterImpactHeight = 0.5f;

    Spurt();
    ~Spurt() override;

    // Impact point and size s.
    virtual void Setup(const float point[3], float size) = 0;
    // Builds this frame's quads for the camera (null: none); whether any particle was live.
    virtual bool DrawParticles(RwCamera* camera) = 0;

    void Render(unsigned order, Cameras::Basic* camera) override;
    const RwSphere* GetBoundingSphere() override { return &sphere; }
    void SetWorld(Grp::World* world) override;

    // The world's last time step (0 outside a world).
    float Step() const;

    RwSphere sphere = {{0, 0, 0}, 0};
    float size = 0;
    RwTexture* texture = nullptr; // owned
    float maxLife = 0;            // L

    // Vertices of the last draw.
    size_t lastVertexCount = 0;

protected:
    void LoadTexture(const char* name);
    // The box of the particles still visible: centre and half diagonal into the sphere, offset by base.
    struct Box {
        float min[3] = {3.4028235e38f, 3.4028235e38f, 3.4028235e38f};
        float max[3] = {-3.4028235e38f, -3.4028235e38f, -3.4028235e38f};
        bool taken = false;
        void Grow(double x, double y, double z, float half);
    };
    void PlaceSphere(const Box& box, const float base[3]);

    VertexStore store_;
};

class SpurtLand : public Spurt {
public:
    static constexpr int ParticleCount = 50;

    struct Particle {
        float position[3]; // relative to the spurt's position
        float velocity[3];
        float size;  // half-diagonal of the quad
        float life;  // seconds left
        float angle; // about the view direction
        uint8_t color[4];
    };

    void Setup(const float point[3], float size) override;
    void Run() override;
    bool DrawParticles(RwCamera* camera) override;

    float position[3] = {0, 0, 0};
    std::vector<Particle> particles;
};

class SpurtWater : public Spurt {
public:
    static constexpr int ParticleCount = 60;

    void Setup(const float point[3], float size) override;
    void Run() override;
    bool DrawParticles(RwCamera* camera) override;
    // The quad axes for a view direction: A = view x up, B = view x A; looking straight up or down, where A
    // vanishes, the camera's right and up.
    static void QuadAxes(const EffectView& view, RwV3d& a, RwV3d& b);

    std::vector<Obj::Particle> particles;

private:
    std::vector<const Obj::Particle*> order_;
};

// The spurt an impact makes at a point: spray at or below WaterImpactHeight, dust above; set up, in the
// world, and owned by it.
Spurt* CreateImpactSpurt(Grp::World* world, const float point[3], float size);

} // namespace Obj
