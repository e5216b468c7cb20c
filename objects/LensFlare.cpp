#include "LensFlare.h"

#include "objects/Clouds.h"
#include "objects/Terrain.h"
#include "scene/LoadTexture.h"
#include "scene/World.h"

#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/pipe/p2/im3d.h"
#include "rwsdk/src/texture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace Obj {

namespace {

Base::Vector3 Along(const Base::Vector3& p, const Base::Vector3& d, float k) {
    return {p.x + d.x * k, p.y + d.y * k, p.z + d.z * k};
}

// The engine's blend factors.
constexpr uintptr_t BlendOne = 2, BlendSrcAlpha = 5, BlendInvSrcAlpha = 6;

void SetState(RwRenderState state, uintptr_t value) {
    RwRenderStateSet(state, reinterpret_cast<void*>(value));
}

} // namespace

LensFlare::LensFlare(const Base::Vector3& direction) {
    const Base::Vector3 d = Base::Normalize3d(direction);
    position_ = {d.x * Distance, d.y * Distance, d.z * Distance};
}

LensFlare::LensFlare(LensFlare&& other) noexcept
    : position_(other.position_), screenOffset_(other.screenOffset_), alpha_(other.alpha_),
      occluded_(other.occluded_), nextOcclusionTest_(other.nextOcclusionTest_),
      vertexColor_(other.vertexColor_) {
    textures_ = std::exchange(other.textures_, {});
    texturesLoaded_ = other.texturesLoaded_;
    spritesDrawn_ = other.spritesDrawn_;
}

LensFlare& LensFlare::operator=(LensFlare&& other) noexcept {
    if (this != &other) {
        this->~LensFlare();
        new (this) LensFlare(std::move(other));
    }
    return *this;
}

LensFlare::~LensFlare() {
    for (RwTexture*& texture : textures_)
        if (texture) {
            RwTextureDestroy(texture);
            texture = nullptr;
        }
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
        occluded_ = occluded && occluded(camera.position, Base::Normalize3d(toFlare), camera.at);
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

bool LensFlare::IsBlockedInWorld(const Grp::World& world, const Base::Vector3& position,
                                 const Base::Vector3& direction, const Base::Vector3& at) {
    const Base::Vector3 end = Along(position, direction, 10000);
    const RwLine a{{position.x, position.y, position.z}, {end.x, end.y, end.z}};
    const auto any = [](auto*) { return true; };
    RwV3d point, normal;
    if (world.statics && world.statics->FindNearestHit(a, any, &point, &normal, nullptr))
        return true;
    if (world.dynamics && world.dynamics->FindNearestHit(a, any, &point, &normal, nullptr))
        return true;
    // The terrain of a world that does not (yet) keep it among its statics.
    if (world.terrain && world.terrain->IntersectSegment({position, end}, nullptr, nullptr))
        return true;
    return world.clouds &&
           world.clouds->IsSegmentInCloud({Along(position, at, 2000), Along(position, direction, 50000)});
}

LensFlare::Occlusion LensFlare::WorldOcclusion(const Grp::World& world) {
    return [&world](const Base::Vector3& p, const Base::Vector3& d, const Base::Vector3& at) {
        return IsBlockedInWorld(world, p, d, at);
    };
}

LensFlare::Occlusion LensFlare::WorldOcclusion(const Grp::World& world, Cameras::Basic* camera) {
    return [&world, camera](const Base::Vector3& p, const Base::Vector3& d, const Base::Vector3& at) {
        if (IsBlockedInWorld(world, p, d, at))
            return true;
        const Base::Vector3 end = Along(p, d, 10000);
        return camera && CameraBlocks && CameraBlocks(camera, RwLine{{p.x, p.y, p.z}, {end.x, end.y, end.z}});
    };
}

float LensFlare::SpriteScale(const Base::Vector2& viewWindow, float distance, float fovScale,
                             float distanceAttenuation) {
    const float fov = (2 * std::atan(viewWindow.x) + 2 * std::atan(viewWindow.y)) * 0.5f * fovScale;
    return fov / (1 + distanceAttenuation * distance);
}

bool LensFlare::PlaceSprite(const Camera& camera, Base::Vector2 direction, float positionFactor, float size,
                            SpritePlacement& out) {
    if (!(3 * size >= 0.02f))
        return false;
    // 49 units ahead is 4.9 times the slice of the screen offset: the sprite keeps its place on screen.
    Base::Vector3 c = Along(camera.position, camera.at, 49);
    c = Along(c, camera.right, 4.9f * positionFactor * direction.x);
    c = Along(c, camera.up, 4.9f * positionFactor * direction.y);
    out.centre = c;
    out.right = camera.right;
    out.up = camera.up;
    out.halfSize = 3 * 4.9f * size;
    return true;
}

void LensFlare::LoadTextures() {
    texturesLoaded_ = true;
    for (int k = 0; k < 4; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "Lensflare%d", k + 1);
        textures_[size_t(k)] = Rw::LoadTexture(name, rwTEXTUREADDRESSWRAP, rwFILTERLINEARMIPLINEAR);
    }
}

bool LensFlare::Render(RwCamera* camera, float gameTime, float frameTime, const Occlusion& occluded) {
    spritesDrawn_ = 0;
    RwFrame* frame = camera ? RwCameraGetFrame(camera) : nullptr;
    if (!frame)
        return false;
    const RwMatrix* m = RwFrameGetWorldMatrix(frame);
    const RwV2d* window = &camera->viewWindow;
    const Camera view{{m->pos.x, m->pos.y, m->pos.z},
                      {m->right.x, m->right.y, m->right.z},
                      {m->up.x, m->up.y, m->up.z},
                      {m->at.x, m->at.y, m->at.z},
                      {window->x, window->y}};
    if (!IsVisible(view, gameTime, frameTime, occluded))
        return false;
    if (!texturesLoaded_)
        LoadTextures();

    const float length = std::hypot(screenOffset_.x, screenOffset_.y);
    const Base::Vector2 u = ScreenDirection();
    SetState(rwRENDERSTATEZWRITEENABLE, FALSE);
    SetState(rwRENDERSTATEZTESTENABLE, FALSE);
    SetState(rwRENDERSTATEVERTEXALPHAENABLE, TRUE);
    SetState(rwRENDERSTATESRCBLEND, BlendSrcAlpha);
    SetState(rwRENDERSTATEDESTBLEND, BlendOne);
    SetState(rwRENDERSTATETEXTUREFILTER, rwFILTERLINEARMIPLINEAR);
    const float distance =
        std::sqrt(Base::DotProduct(Base::Vector3{position_.x - view.position.x, position_.y - view.position.y,
                                                 position_.z - view.position.z},
                                   Base::Vector3{position_.x - view.position.x, position_.y - view.position.y,
                                                 position_.z - view.position.z}));
    const float q = SpriteScale(view.viewWindow, distance);
    static const float corners[4][4] = {{3, 3, 0, 0}, {3, -3, 0, 1}, {-3, -3, 1, 1}, {-3, 3, 1, 0}};
    RwImVertexIndex indices[4] = {0, 1, 2, 3};
    for (const Sprite& sprite : Sprites) {
        SpritePlacement place;
        if (!PlaceSprite(view, u, sprite.positionFactor * length, sprite.size * q, place))
            continue;
        RwIm3DVertex vertices[4];
        const float scale = place.halfSize / 3;
        for (int k = 0; k < 4; ++k) {
            const Base::Vector3 p = Along(Along(place.centre, place.right, corners[k][0] * scale), place.up,
                                          corners[k][1] * scale);
            vertices[k] = {{p.x, p.y, p.z}, {0, 0, 0}, vertexColor_, corners[k][2], corners[k][3]};
        }
        RwTexture* texture = textures_[size_t(sprite.texture - 1)];
        RwRenderStateSet(rwRENDERSTATETEXTURERASTER, texture ? RwTextureGetRaster(texture) : nullptr);
        if (RwIm3DTransform(vertices, 4, nullptr, rwIM3D_VERTEXUV)) {
            spritesDrawn_ += RwIm3DRenderIndexedPrimitive(rwPRIMTYPETRIFAN, indices, 4) ? 1 : 0;
            RwIm3DEnd();
        }
    }
    SetState(rwRENDERSTATEZWRITEENABLE, TRUE);
    SetState(rwRENDERSTATEZTESTENABLE, TRUE);
    SetState(rwRENDERSTATESRCBLEND, BlendSrcAlpha);
    SetState(rwRENDERSTATEDESTBLEND, BlendInvSrcAlpha);
    return spritesDrawn_ > 0;
}

} // namespace Obj
