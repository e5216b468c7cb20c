// The lens flare's fade: on screen towards 128 and never above, off screen towards 0, frozen behind the
// camera, and blockers seen only at the occlusion tests, at most 0.2 s apart.
#include "objects/LensFlare.h"

#include <gtest/gtest.h>

namespace {

Obj::LensFlare::Camera LookingAlongZ() {
    return {{0, 100, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.5f, 0.4f}};
}

TEST(LensFlare, FadesInTowardsItsLimitNeverAbove) {
    Obj::LensFlare flare({0.1f, 0.1f, 1});
    const auto camera = LookingAlongZ();
    float previous = 0, time = 0;
    for (int frame = 0; frame < 400; ++frame, time += 0.05f) {
        flare.IsVisible(camera, time, 0.05f, nullptr);
        EXPECT_GE(flare.Alpha(), previous);
        EXPECT_LE(flare.Alpha(), 128);
        previous = flare.Alpha();
    }
    EXPECT_GT(flare.Alpha(), 127.9f);
    EXPECT_EQ(flare.VertexColor(), 128u << 24 | 0xffffffu);
    EXPECT_NEAR(flare.ScreenOffset().x, 1.0f, 1e-3);
    // A long frame jumps straight to the target, not past it.
    Obj::LensFlare slow({0, 0, 1});
    EXPECT_TRUE(slow.IsVisible(camera, 0, 5, nullptr));
    EXPECT_FLOAT_EQ(slow.Alpha(), 128);
}

TEST(LensFlare, BehindTheCameraKeepsItsFade) {
    Obj::LensFlare flare({0, 0.2f, 1});
    auto camera = LookingAlongZ();
    flare.IsVisible(camera, 0, 0.1f, nullptr);
    const float kept = flare.Alpha();
    ASSERT_GT(kept, 0);
    camera.at = {0, 0, -1};
    camera.right = {-1, 0, 0};
    for (int i = 0; i < 20; ++i)
        EXPECT_FALSE(flare.IsVisible(camera, 1 + i * 0.1f, 0.1f, nullptr));
    EXPECT_EQ(flare.Alpha(), kept);
    // In front but off screen: it fades out.
    camera = LookingAlongZ();
    camera.at = {0.8f, 0, 0.6f};
    camera.right = {0.6f, 0, -0.8f};
    flare.IsVisible(camera, 5, 0.1f, nullptr);
    EXPECT_LT(flare.Alpha(), kept);
}

TEST(LensFlare, BlockerTakesEffectAtTheNextTest) {
    Obj::LensFlare flare({0, 0, 1});
    const auto camera = LookingAlongZ();
    bool blocked = false;
    int asked = 0;
    auto occlusion = [&](const Base::Vector3&, const Base::Vector3& d, const Base::Vector3&) {
        ++asked;
        EXPECT_NEAR(d.z, 1, 1e-6);
        return blocked;
    };
    float time = 0;
    for (; time < 2; time += 0.05f)
        flare.IsVisible(camera, time, 0.05f, occlusion);
    const int before = asked;
    EXPECT_LE(before, 11); // at most once every 0.2 s
    const float visible = flare.Alpha();
    blocked = true; // a hill, a structure or a cloud comes between
    float noticed = -1;
    for (float t = time; t < time + 0.5f; t += 0.05f) {
        flare.IsVisible(camera, t, 0.05f, occlusion);
        if (flare.Occluded() && noticed < 0)
            noticed = t - time;
    }
    EXPECT_GE(noticed, 0);
    EXPECT_LE(noticed, 0.2f + 1e-4f);
    EXPECT_LT(flare.Alpha(), visible);
}

TEST(LensFlare, AtTheScreenCentreAllSpritesSitThere) {
    Obj::LensFlare flare({0, 0, 1});
    auto camera = LookingAlongZ();
    camera.position = {0, 0, 0};
    EXPECT_TRUE(flare.IsVisible(camera, 0, 1, nullptr));
    // A zero offset: every sprite's place (factor x length) is the centre, along a defined direction.
    EXPECT_EQ(flare.ScreenOffset(), (Base::Vector2{0, 0}));
    EXPECT_EQ(flare.ScreenDirection(), (Base::Vector2{1, 0}));
}

} // namespace
