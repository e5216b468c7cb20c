#include "LensFlare.h"

#include <algorithm>
#include <cmath>

namespace Obj {

LensFlare::LensFlare(const Base::Vector3& direction) {
    const Base::Vector3 d = Base::Normalize3d(direction);
    position_ = {d.x * Distance, d.y * Distance, d.z * Distance};
}

Base::Vector2 LensFlare::ScreenDirection() const {
    const float l = std::sqrt(screenOffset_.x * screenOffset_.x + screenOffset_.y * screenOffset_.y);
    if (!(l > 0))
        return {1, 0};
    return {screenOffset_.x / l, screenOffset_.y / l};
}

bool LensFlare::IsVisible(const Camera& camera, float gameTime, float frameTime, const Occlusion& occluded) {
    const Base::Vector3 toFlare{position_.x - camera.position.x, position_.y - camera.position.y,
                                position_.z - camera.position.z};
    const Base::Vector3 v{Base::DotProduct(toFlare, camera.right), Base::DotProduct(toFlare, camera.up),
                          Base::DotProduct(toFlare, camera.at)};
    // Behind the camera: no draw, and the fade waits where it is.
    if (!(v.z > 0))
        return false;
    const bool onScreen =
        std::fabs(v.x) <= camera.viewWindow.x * v.z && std::fabs(v.y) <= camera.viewWindow.y * v.z;
    float target = onScreen ? OnScreenAlpha : 0;
    screenOffset_ = {10 * v.x / v.z, 10 * v.y / v.z};
    if (nextOcclusionTest_ <= gameTime) {
        occluded_ = occluded && occluded(camera.position, Base::Normalize3d(toFlare));
        nextOcclusionTest_ = gameTime + OcclusionInterval;
    }
    if (occluded_)
        target = 0;
    const float k = std::clamp(6 * frameTime, 0.0f, 1.0f);
    alpha_ = std::clamp(alpha_ + (target - alpha_) * k, 0.0f, 255.0f);
    if (!(alpha_ >= 1))
        return false;
    vertexColor_ = uint32_t(std::lround(alpha_)) << 24 | 0xffffffu;
    return true;
}

} // namespace Obj
