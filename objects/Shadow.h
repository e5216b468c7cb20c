// The soft shadow of an airplane on the terrain below it: each frame the airplane's model is drawn into a
// 512 x 512 texture by a parallel camera looking along the sun's light, the image inverted and softened, and
// the terrain triangles under the airplane drawn once more with it projected onto them, darkening what is
// already in the frame. The terrain triangles are cached while the shadow's hit point stays inside a sphere
// a little larger than the airplane.
#pragma once

#include "base/Maths.h"
#include "objects/Terrain.h"
#include "scene/ObjectModel.h"

#include "rwsdk/src/pipe/p2/im3d.h"

#include <cstdint>
#include <vector>

struct RpClump;
struct RwCamera;
struct RwRaster;

namespace Obj {
class Clump;
}

namespace Rw {

// The render-to-texture camera of one shadow.
class ShadowCamera {
public:
    static constexpr int ImageSize = 512;

    // Null when the camera or its rasters cannot be made.
    static ShadowCamera* Create(RpClump* caster, float reach, uint8_t darkness, int size = ImageSize);
    void Destroy();

    // Draws the caster seen along the direction into imageA, inverted (the caster bright on black) and
    // softened once; the image drawn last stays when nothing it shows has changed (the caster's parts
    // relative to its bounding sphere, the direction, the level of detail, a device reset in between).
    // False when the off-screen camera could not draw.
    bool RenderCaster(const RwV3d& direction, int lod);
    // Times the image was drawn rather than kept.
    uint32_t CasterDraws() const { return casterDraws_; }
    // Draws the triangles (camera-relative to offset, which is subtracted in double precision) darkened by
    // imageA projected along the direction. The number of triangles drawn.
    size_t DrawReceivers(const std::vector<Base::Triangle>& triangles, const double offset[3]);
    void SetViewSize(float radius);
    // The frame looks along direction with a right vector normalised from Y x at; a vertical light takes
    // X as its right vector instead, so the frame stays orthonormal.
    void Orient();
    void PlaceAt(const RwV3d& centre);
    void DrawQuad(float x0, float y0, float x1, float y1, float shift);
    void Invert();
    void Soften(int rounds);
    // Texture coordinates and grey level of a receiver corner (world space).
    RwIm3DVertex ReceiverVertex(const Base::Vector3& corner, const double offset[3]) const;
    // truncate(darkness x (1 - w^2)) inside the depth range |w| < 1, else 0.
    static uint8_t GreyLevel(uint8_t darkness, float w);

    RpClump* caster = nullptr;
    RwV3d direction{0, -1, 0};
    RwCamera* camera = nullptr;
    RwRaster* imageA = nullptr;
    RwRaster* imageB = nullptr;
    RwRaster* zRaster = nullptr;
    std::vector<RwIm3DVertex> vertices;
    float reach = 1000;
    uint8_t darkness = 112;
    int size = ImageSize;

private:
    bool UpdateSphere(RwSphere& sphere) const;
    // What the caster image would show, as raw words: equal words, equal image.
    void CasterKey(const RwV3d& light, int lod, const RwSphere& sphere, std::vector<uint32_t>& key) const;

    std::vector<uint32_t> drawnKey_, key_; // of the image in imageA (empty: none); the one being built
    uint32_t casterDraws_ = 0;
};

} // namespace Rw

namespace Obj {

class Shadow : public Object, public Renderable {
public:
    static constexpr float DefaultReach = 1000;
    static constexpr uint8_t Darkness = 112;

    Shadow(Clump* owner, float reach = DefaultReach);
    ~Shadow() override;
    Shadow(const Shadow&) = delete;
    Shadow& operator=(const Shadow&) = delete;

    void SetWorld(Grp::World* world) override;
    const RwSphere* GetBoundingSphere() override { return nullptr; }
    // The world's terrain and its sky's sun; nothing without either.
    void Render(unsigned order, Cameras::Basic* camera) override;
    // One frame for an engine camera (between its begin and end update) over a terrain, with the light's
    // travelling direction. False when nothing was drawn.
    bool RenderFor(RwCamera* camera, const Terrain* terrain, const RwV3d& light);
    // The receiver update of step 5: a terrain query only when the owner moved.
    void Update(const Terrain& terrain, const RwV3d& light);

    static bool SphereInside(const RwSphere& inner, const RwSphere& outer);

    uint8_t visible = 0;
    RwSphere hitSphere{{0, 0, 0}, 0};
    RwSphere receiverSphere{{0, 0, 0}, 0};
    RwV3d lastPosition{3.402823466e+38f, 0, 0};
    std::vector<Base::Triangle> receivers;
    Clump* owner = nullptr;
    float reach = DefaultReach;
    Rw::ShadowCamera* shadowCamera = nullptr;

    uint32_t TerrainQueries() const { return terrainQueries_; }
    size_t LastReceiversDrawn() const { return lastDrawn_; }

private:
    uint32_t terrainQueries_ = 0;
    size_t lastDrawn_ = 0;
};

} // namespace Obj
