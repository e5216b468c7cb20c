// The lens flare of a bright sky element: its visibility test with the fade towards 128 on screen and 0
// off screen or blocked, the occlusion tests at most every 0.2 s of game time, and the seven additive
// sprites drawn along the line through the screen centre.
//
// The sky owns its flares and draws them at their own render order, after everything else in the world: they
// enter and leave the world with the sky, die with it and are reached by nothing else, so they need no place
// of their own in the world's groups. Occlusion is asked through a callback, which WorldOcclusion answers
// from a world's static and dynamic groups, its terrain and its cloud layer; the cockpit's test joins it
// there.
#pragma once

#include "base/Maths.h"

#include <array>
#include <cstdint>
#include <functional>

struct RwCamera;
struct RwLine;
struct RwTexture;

namespace Cameras {
class Basic;
}

namespace Grp {
class World;
}

namespace Obj {

class LensFlare {
public:
    struct Camera {
        Base::Vector3 position, right, up, at; // the camera frame's world matrix
        Base::Vector2 viewWindow{0.5f, 0.5f};
    };
    // True when the line of sight from the camera at P (looking along at) in the unit direction d is
    // blocked: the segment from P to P + 10000 d, or the cloud segment from P + 2000 at to P + 50000 d.
    using Occlusion = std::function<bool(const Base::Vector3& position, const Base::Vector3& direction,
                                         const Base::Vector3& at)>;
    // The world's answer: any hit along the first segment among the statics (walking their sectors along
    // it), the dynamics and the terrain, then the clouds along the second.
    static bool IsBlockedInWorld(const Grp::World& world, const Base::Vector3& position,
                                 const Base::Vector3& direction, const Base::Vector3& at);
    static Occlusion WorldOcclusion(const Grp::World& world);
    // The same, then whatever the camera itself holds in front of the eye (the cockpit's frame), through
    // the hook that the cameras install.
    static Occlusion WorldOcclusion(const Grp::World& world, Cameras::Basic* camera);
    static inline bool (*CameraBlocks)(Cameras::Basic* camera, const RwLine& segment) = nullptr;

    struct Sprite {
        int texture = 0;      // 1 to 4: "Lensflare1" to "Lensflare4"
        float positionFactor; // times the element's screen offset
        float size;           // times q
    };
    static constexpr Sprite Sprites[7] = {{3, 1.5f, 0.1f},   {1, 1.0f, 0.8f},   {2, 0.4f, 0.08f},
                                          {4, 0.2f, 0.04f},  {2, -0.5f, 0.15f}, {3, -0.9f, 0.25f},
                                          {4, -1.25f, 0.06f}};
    static constexpr float OcclusionInterval = 0.2f;
    static constexpr float OnScreenAlpha = 128;
    static constexpr float Distance = 1.0e9f;

    // Placed that far away along the element's unit direction.
    explicit LensFlare(const Base::Vector3& direction);
    LensFlare(const LensFlare&) = delete;
    LensFlare& operator=(const LensFlare&) = delete;
    LensFlare(LensFlare&& other) noexcept;
    LensFlare& operator=(LensFlare&& other) noexcept;
    ~LensFlare();

    // The visibility test and fade for this frame; true when the flare is to be drawn.
    bool IsVisible(const Camera& camera, float gameTime, float frameTime, const Occlusion& occluded);

    float Alpha() const { return alpha_; }
    bool Occluded() const { return occluded_; }
    Base::Vector2 ScreenOffset() const { return screenOffset_; }
    uint32_t VertexColor() const { return vertexColor_; }
    // The unit screen direction of the sprite chain; (1, 0) when the element is at the centre.
    Base::Vector2 ScreenDirection() const;
    const Base::Vector3& Position() const { return position_; }

    // ---- drawing with the engine's immediate mode, inside the camera's update

    // The visibility test for the engine camera, then the seven sprites; false when nothing was drawn.
    // The textures "Lensflare1" to "Lensflare4" are read at the first call (a missing one draws its
    // sprites untextured).
    bool Render(RwCamera* camera, float gameTime, float frameTime, const Occlusion& occluded);
    // Sprite size q for a camera: the mean field of view, shrunk with distance (no attenuation: 0).
    static float SpriteScale(const Base::Vector2& viewWindow, float distance, float fovScale = 1,
                             float distanceAttenuation = 0);
    // Where one sprite is drawn: the camera frame moved 49 units ahead and 4.9 t along the screen
    // direction, scaled by 4.9 s across (false: too small to draw).
    struct SpritePlacement {
        Base::Vector3 centre, right, up;
        float halfSize = 0; // 3 x 4.9 x s
    };
    static bool PlaceSprite(const Camera& camera, Base::Vector2 direction, float positionFactor, float size,
                            SpritePlacement& out);
    RwTexture* Texture(int k) const { return textures_[size_t(k - 1)]; }
    uint32_t SpritesDrawn() const { return spritesDrawn_; }

private:
    void LoadTextures();

    Base::Vector3 position_;
    Base::Vector2 screenOffset_;
    float alpha_ = 0;
    bool occluded_ = false;
    float nextOcclusionTest_ = 0;
    uint32_t vertexColor_ = 0x00ffffff;
    std::array<RwTexture*, 4> textures_{};
    bool texturesLoaded_ = false;
    uint32_t spritesDrawn_ = 0;
};

} // namespace Obj
