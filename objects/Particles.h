// What the effects share for drawing camera-facing particles and ribbons: the particle record of explosions
// and water spurts, the camera of the draw with its double-precision position, camera-relative drawing that
// works on any engine camera, the quad and colour helpers, and a vertex store kept between frames so that a
// warm effect draws without allocating.
#pragma once

#include "rwsdk/src/camera.h"
#include "rwsdk/src/pipe/p2/im3d.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Obj {

// One particle of an explosion or a water spurt: a plain 56-byte record.
struct Particle {
    double position[3]; // world coordinates
    float velocity[3];  // units per second
    float size;         // half the diagonal of the drawn square
    float life;         // seconds left; updated and drawn only while above 0
    float angle;        // rotation of the square about the view direction, radians
    float spin;         // change of angle per second
    uint8_t color[4];   // red, green, blue, alpha
};
static_assert(sizeof(Particle) == 56);

// The camera an effect draws for: the axes of its frame's world matrix, its world position in double
// precision (from its frame's wrapper when it has one) and its view window's x.
struct EffectView {
    RwV3d right{1, 0, 0}, up{0, 1, 0}, at{0, 0, 1};
    double position[3] = {0, 0, 0};
    float windowX = 1;

    // From an engine camera with a frame; false (the view unchanged) without one.
    static bool FromCamera(const RwCamera* camera, EffectView& out);
};

// The camera between its begin and end update, or null.
RwCamera* CurrentCamera();

// Moves the camera to the origin for the draws of its lifetime, and back after: the vertices are written
// relative to the view's position. A camera whose frame has a wrapper goes through the engine wrappers'
// camera-relative calls; any other is moved the same way here. Null does nothing.
class CameraRelativeScope {
public:
    CameraRelativeScope(RwCamera* camera, const EffectView& view);
    ~CameraRelativeScope();
    CameraRelativeScope(const CameraRelativeScope&) = delete;
    CameraRelativeScope& operator=(const CameraRelativeScope&) = delete;

private:
    RwCamera* camera_ = nullptr;
    bool wrapped_ = false;
    RwV3d saved_{0, 0, 0};
};

// Alpha, red, green and blue from the high byte down.
constexpr uint32_t PackArgb(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

// 255 x clamp(x, 0, 1) rounded to the nearest integer (x <= 0 and NaN give 0).
uint8_t UnitToByte(float x);

// The quad corner directions normalise(-X - Y), normalise(X - Y), normalise(X + Y), normalise(-X + Y); a
// zero vector normalises to (0, 0, 1).
void CornerDirections(const RwV3d& x, const RwV3d& y, RwV3d out[4]);

// Six vertices of the triangles (c0, c1, c2) and (c2, c3, c0): centre + ck x size, texture coordinates
// (0, 0), (1, 0), (1, 1), (1, 1), (0, 1), (0, 0), all in one colour.
void WriteQuad(RwIm3DVertex* out, const RwV3d& centre, const RwV3d corners[4], float size, uint32_t argb);

// Vertices of one draw, kept between frames: the store only grows.
class VertexStore {
public:
    // Room for n vertices; the pointer holds until the next call.
    RwIm3DVertex* Reserve(size_t n) {
        if (vertices_.size() < n)
            vertices_.resize(n);
        return vertices_.data();
    }
    size_t Capacity() const { return vertices_.size(); }

private:
    std::vector<RwIm3DVertex> vertices_;
};

// The vertices of a particle vector relative to the view's position: six per live particle (life > 0), the
// quad spanned by the axes x and y, each particle's quad turned about the view direction by its angle when
// rotate is set, far particles first when sortFarToNear is set. order is scratch space. The number of
// vertices written.
size_t BuildParticleQuads(const std::vector<Particle>& particles, const EffectView& view, const RwV3d& x,
                          const RwV3d& y, bool rotate, bool sortFarToNear,
                          std::vector<const Particle*>& order, VertexStore& store);

// Sends textured vertices (already in world or camera-relative space) to the engine as one primitive;
// false when there are none or the engine refuses them.
bool DrawIm3D(RwIm3DVertex* vertices, size_t count, RwPrimitiveType type);

// Sets the engine render state; values are plain numbers.
void SetRenderState(RwRenderState state, uintptr_t value);

} // namespace Obj
