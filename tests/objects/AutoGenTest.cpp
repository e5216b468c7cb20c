// Generated scenery: the sector grid, the fade with distance and the shadow pass's depth scale.
#include "objects/AutoGen.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(AutoGen, DrawnInItsOwnPassWithoutSphere) {
    Obj::AutoGen autogen;
    ASSERT_EQ(autogen.renderOrders.size(), 1u);
    EXPECT_EQ(autogen.renderOrders[0], 192);
    EXPECT_EQ(autogen.GetBoundingSphere(), nullptr);
}

TEST(AutoGen, CellOfFloorsFromTheCorner) {
    Obj::AutoGen autogen;
    autogen.sectorSize = 1000;
    autogen.cornerX = -5000;
    autogen.cornerZ = 2000;
    EXPECT_EQ(autogen.CellOf(-5000, 2000), std::make_pair(0, 0));
    EXPECT_EQ(autogen.CellOf(-4000.5f, 2999), std::make_pair(0, 0));
    EXPECT_EQ(autogen.CellOf(-4000, 3000), std::make_pair(1, 1));
    EXPECT_EQ(autogen.CellOf(-5001, 1999), std::make_pair(-1, -1));
    const Base::Vector3 centre = autogen.SectorCentre(2, 3);
    EXPECT_FLOAT_EQ(centre.x, -2500);
    EXPECT_FLOAT_EQ(centre.z, 5500);
}

TEST(AutoGen, FadeAndAlphaReference) {
    struct Case {
        float distance;
        uint32_t alpha, reference;
    };
    const float range = 6000;
    const Case cases[] = {
        {6000, 0, 0},    // at the range: gone
        {7000, 0, 0},    // beyond it: clamped
        {5990, 1, 0},    // just inside: (10 / 6000) x 1.2 x 255 = 0.51, rounds to 1
        {5000, 51, 50},  // 1/6 x 1.2 = 0.2
        {3000, 153, 64}, // the reference stops at 64
        {1000, 255, 64}, // nearer than R / 6: opaque
        {0, 255, 64},
    };
    for (const Case& c : cases) {
        const Obj::AutoGen::Fade fade = Obj::AutoGen::FadeAt(c.distance, range);
        EXPECT_EQ(fade.alpha, c.alpha) << c.distance;
        EXPECT_EQ(fade.alphaReference, c.reference) << c.distance;
        EXPECT_EQ(fade.textureFactor, (c.alpha << 24) | 0xFFFFFFu) << c.distance;
    }
}

TEST(AutoGen, ShadowDepthFactorStaysBelowOneAtAndUnderTheGround) {
    EXPECT_FLOAT_EQ(Obj::AutoGen::ShadowDepthFactor(1000), 1 - 0.001f / 1000);
    for (float height : {1.0f, 0.5f, 0.0f, -20.0f}) {
        const float factor = Obj::AutoGen::ShadowDepthFactor(height);
        EXPECT_TRUE(std::isfinite(factor)) << height;
        EXPECT_FLOAT_EQ(factor, 0.999f) << height;
    }
}

} // namespace
