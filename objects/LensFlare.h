// The lens flare of a bright sky element: its visibility test with the fade towards 128 on screen and 0
// off screen or blocked, the occlusion tests at most every 0.2 s of game time, and the layout of the seven
// sprites along the line through the screen centre.
//
// The object model's roles, the world's group queries and the immediate-mode drawing are not built yet:
// occlusion is asked through a callback that the world and the cockpit answer as they join.
#pragma once

#include "base/Maths.h"

#include <cstdint>
#include <functional>

namespace Obj {

class LensFlare {
public:
    struct Camera {
        Base::Vector3 position, right, up, at; // the camera frame's world matrix
        Base::Vector2 viewWindow{0.5f, 0.5f};
    };
    // True when the segment from P to P + 10000 d, or the cloud segment, is blocked.
    using Occlusion = std::function<bool(const Base::Vector3& position, const Base::Vector3& direction)>;

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

    // The visibility test and fade for this frame; true when the flare is to be drawn.
    bool IsVisible(const Camera& camera, float gameTime, float frameTime, const Occlusion& occluded);

    float Alpha() const { return alpha_; }
    bool Occluded() const { return occluded_; }
    Base::Vector2 ScreenOffset() const { return screenOffset_; }
    uint32_t VertexColor() const { return vertexColor_; }
    // The unit screen direction of the sprite chain; (1, 0) when the element is at the centre.
    Base::Vector2 ScreenDirection() const;
    const Base::Vector3& Position() const { return position_; }

private:
    Base::Vector3 position_;
    Base::Vector2 screenOffset_;
    float alpha_ = 0;
    bool occluded_ = false;
    float nextOcclusionTest_ = 0;
    uint32_t vertexColor_ = 0x00ffffff;
};

} // namespace Obj
