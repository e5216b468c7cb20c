// Obj::Clump: a model on its own frame, drawn by render orders (per render pass, levels of detail by camera
// distance, each a short program of device states and atomic draws), with a cached bounding sphere and
// segment and sphere collision queries.
#pragma once

#include "scene/Attachable.h"

#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/src/plcore/vector.h"

#include <cstdint>
#include <vector>

namespace Obj {

// The records of a model description (filled by Obj::Dff::Load and the wrecks, run by Obj::Clump::Render).
struct DffCommand {
    enum Type : uint8_t {
        SetRenderState = 0,
        SetTextureStageState = 1,
        SetSamplerState = 2,
        RenderAtomics = 3,
        RenderPoint = 4,
        DepthBias = 5,
    };
    uint8_t type = 0;
    // States and values as u32; distances and the bias as the bits of an f32; type 3's atomic in atomic.
    uint32_t a = 0, b = 0, c = 0;
    RpAtomic* atomic = nullptr;
};
struct DffLod {
    float threshold = 0;
    std::vector<DffCommand> commands;
};
struct DffRenderOrder {
    uint8_t key = 0;
    std::vector<DffLod> lods;
};

// sqrt of the largest squared axis length of the matrix: how much it can grow a sphere.
float LargestAxisLength(const RwMatrix* matrix);

// A world-space triangle of a sphere query.
struct WorldTriangle {
    RwV3d v[3];
};

class Clump : public Frame, public Rw::Clump {
public:
    // Wraps the clump and its frame (owned or not): no render orders, zero spheres, never camera-relative.
    Clump(RpClump* clump, bool owns);
    // A new empty clump on a new frame, owned.
    Clump();
    ~Clump() override;

    void Render(uint8_t order);
    const RwSphere* GetWorldBoundingSphere();
    // False, and the local sphere unchanged, when no atomic is drawn or collision-tested.
    bool UpdateLocalBoundingSphere();
    // The nearest hit along the segment (its end counts); false and the outputs untouched on a miss.
    virtual bool IntersectSegment(const RwLine* segment, RwV3d* outPoint, RwV3d* outNormal);
    // The number of triangles the sphere touches, appended in world space when triangles is given.
    virtual int IntersectSphere(const RwSphere* sphere, std::vector<WorldTriangle>* triangles);
    Rw::Frame* Transform(const RwMatrix* matrix, int combine) override;

    // Draws one point in world space in black with that alpha (the 2D layer installs it).
    static void (*DrawPoint)(const RwV3d& position, uint8_t alpha);
    // RenderPoint's alpha at distance d, fading from opaque at start to nothing at end.
    static uint8_t PointAlpha(float distance, float start, float end);
    // The first level whose threshold the distance does not pass, or -1 (beyond the last: nothing drawn).
    static int SelectLevel(const DffRenderOrder& order, float distance);
    // The level-of-detail distance from the current camera, as Render computes it.
    float LodDistance();

    std::vector<DffRenderOrder> renderOrders;
    RwSphere localSphere = {{0, 0, 0}, 0};
    RwSphere worldSphere = {{0, 0, 0}, 0};
    uint8_t worldSphereValid = 0;
    float cameraRelDistance = 0;

protected:
    // Takes a new clump (the old one released) and binds the frame part to its frame.
    void SetClump(RpClump* clump, bool owns);
};

} // namespace Obj

namespace Rw {

// The world-space sphere of the clump's drawn or collision-tested atomics; false when there is none.
bool CalculateClumpBoundingSphere(RpClump* clump, RwSphere* out);
void TransformBoundingSphere(const RwMatrix* matrix, const RwSphere* in, RwSphere* out);

} // namespace Rw
