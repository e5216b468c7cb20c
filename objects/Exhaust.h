// Obj::Exhaust: the glowing jet behind each engine nozzle of an airplane or a rocket, a row of camera-facing,
// additively blended quads per nozzle that fades towards its end and flickers. Its frame hangs below the
// owner's, so it moves with it; the owner may rewrite the nozzle records at any time. It only renders.
#pragma once

#include "objects/Particles.h"
#include "base/Info.h"
#include "base/Maths.h"
#include "scene/Attachable.h"
#include "scene/ObjectModel.h"

#include <cstdint>
#include <vector>

struct RwTexture;

namespace Obj {

class Exhaust : public Object, public Frame, public Renderable {
public:
    static constexpr uint8_t RenderOrder = 230;

    struct Nozzle {
        float position[3];  // the centre, in the exhaust frame's space
        float direction[3]; // the way the flame points; its length scales the flame
        float diameter;     // width of every quad
        float length;       // first to last quad, in direction vectors
        uint32_t segments;  // quads
        uint8_t color[4];   // red, green, blue, peak alpha
    };

    Exhaust();
    ~Exhaust() override;

    // n zeroed nozzle records and the texture "Exhaust".
    void LoadTexture(uint32_t count);
    // An airplane's nozzles from its description: "Nozzles.Offset%i" for i = 0, 1, ... up to 8, ending at
    // the first missing key, each with "Nozzles.Diameter%i" (missing or negative: 1.0; 0 stays 0), pointing
    // back (0, 0, -1), 3 diameters long in 12 quads, coloured 255, 224, 192 with alpha 192.
    void SetupAirplane(const Base::Info& description);
    // A rocket's one nozzle, pointing back, coloured 255, 230, 200 with alpha 255; the rocket sets its
    // length and quads while its engine burns.
    void SetupRocket(const Base::Vector3& offset, float diameter);

    // The flame's alpha at quad k of n at flicker value u in [0, 1): (1 - k / (n - 1)) (1 + u) peak / 2,
    // rounded; a nozzle of one quad has no ramp.
    static uint8_t QuadAlpha(uint32_t k, uint32_t segments, float u, uint8_t peak);
    // Whether a flame of that extent is worth drawing at that distance for a view window's x.
    static bool InRange(double distance, float windowX, float extent);

    // The quads of every nozzle relative to the view's position, the flicker reseeded from the world time;
    // the number of vertices (0 when culled or empty).
    size_t Build(const EffectView& view, VertexStore& store);

    void Render(unsigned order, Cameras::Basic* camera) override;
    // None: drawn wherever the camera is.
    const RwSphere* GetBoundingSphere() override { return nullptr; }
    void SetWorld(Grp::World* world) override;

    uint32_t nozzleCount = 0;
    std::vector<Nozzle> nozzles;
    RwTexture* texture = nullptr; // owned

    size_t lastVertexCount = 0;

private:
    VertexStore store_;
};

} // namespace Obj
