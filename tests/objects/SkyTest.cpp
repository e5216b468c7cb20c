// The sky's description, dome geometry, colours, stars, fog and sun light.
#include "objects/Sky.h"

#include "base/Random.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numbers>
#include <string>
#include <string_view>
#include <utility>

namespace {

constexpr float Pi = std::numbers::pi_v<float>;

// The keys of a small valid sky; override replaces one value, a null value leaves the key out.
Base::Info Description(bool withSun = false, const char* overrideKey = nullptr,
                       const char* overrideValue = nullptr, const char* sunPosition = "30 90") {
    const std::pair<const char*, const char*> keys[] = {
        {"VisibilityRange", "10000"},
        {"DomeLongTessel", "8"},
        {"DomeLatTessel", "6"},
        {"TopHiAltColor", "0 0 0.2"},
        {"TopLoAltColor", "0.2 0.4 0.8"},
        {"HorizonColor", "0.8 0.8 0.9"},
        {"HiAltLevel", "5000"},
        {"StarsCount", "40"},
        {"StarsFade", "1000 2000"},
        {"LightAmbientColor", "0.3 0.3 0.3"},
        {"LightDiffuseColor", "1 1 1"},
        {"LightDirection", "0 -1 1"},
        {"Elements.Sun.Texture", "Sun"},
        {"Elements.Sun.Size", "0.05"},
        {"Elements.Sun.Color", "1 0.5 0"},
        {"Elements.Sun.Position", sunPosition},
        {"Elements.Sun.GlowColor", "1 1 0"},
        {"Elements.Sun.GlowSize", "0.2"},
        {"Elements.Sun.Lensflare", "1"},
    };
    Base::Info node;
    for (auto [key, value] : keys) {
        if (!withSun && std::string_view(key).starts_with("Elements."))
            continue;
        if (overrideKey && std::string_view(key) == overrideKey)
            value = overrideValue;
        if (value)
            node.AddValue(key, value);
    }
    return node;
}

uint32_t Channel(uint32_t color, int shift) {
    return (color >> shift) & 0xff;
}

TEST(Sky, LoadsTheDescription) {
    Obj::Sky sky;
    ASSERT_TRUE(sky.Load(Description(true))) << sky.Error();
    EXPECT_FLOAT_EQ(sky.Radius(), 9900);
    EXPECT_EQ(sky.VertexCount(), 5u * 8 + 2);
    EXPECT_EQ(sky.Indices().size(), 9u * 6 * 2);
    EXPECT_EQ(sky.Stars().size(), 40u);
    ASSERT_EQ(sky.Elements().size(), 1u);
    const Obj::Sky::Element& sun = sky.Elements()[0];
    EXPECT_EQ(sun.color[1], 128); // 0.5 x 255 rounded
    EXPECT_TRUE(sun.lensFlare);
    EXPECT_FLOAT_EQ(sun.elevation, 30 * Pi / 180);
    EXPECT_EQ(sky.LastAltitudeRatio(), -FLT_MAX);
}

TEST(Sky, DomeIsUnitVectorsInOneStrip) {
    Obj::Sky sky;
    ASSERT_TRUE(sky.Load(Description()));
    const auto& v = sky.Vertices();
    EXPECT_EQ(v.front().y, 1);
    EXPECT_EQ(v.back().y, -1);
    for (const auto& p : v)
        EXPECT_NEAR(p.x * p.x + p.y * p.y + p.z * p.z, 1, 1e-5);
    // Ring 1, j = 0: (0, 1, 0) turned about Z by pi / 6 lies towards -X; j = 2 a quarter turn on about Y.
    EXPECT_NEAR(v[1].x, -std::sin(Pi / 6), 1e-6);
    EXPECT_NEAR(v[1].y, std::cos(Pi / 6), 1e-6);
    EXPECT_NEAR(v[3].z, std::sin(Pi / 6), 1e-6);
    // The first band fans from the top pole; each band closes on its first column again.
    const auto& idx = sky.Indices();
    EXPECT_EQ(idx[0], 0);
    EXPECT_EQ(idx[1], 1);
    EXPECT_EQ(idx[16], 0);
    EXPECT_EQ(idx[17], 1);
    EXPECT_EQ(idx.back(), sky.VertexCount() - 1);
    for (uint16_t i : idx)
        EXPECT_LT(i, sky.VertexCount());
}

TEST(Sky, VisibleBandTable) {
    struct Case {
        float ratio;
        uint32_t lat, bands;
    } cases[] = {
        {-1, 6, 3}, {0, 6, 3}, {0, 7, 4}, {0.4f, 6, 4}, {0.9f, 6, 6}, {1, 6, 6}, {2, 6, 6}, {0, 2, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Obj::Sky::VisibleBands(c.ratio, c.lat), c.bands) << c.ratio << " " << c.lat;
    Obj::Sky sky;
    ASSERT_TRUE(sky.Load(Description()));
    EXPECT_EQ(sky.AltitudeRatio(-50), 0);
    EXPECT_EQ(sky.AltitudeRatio(99000), 1);
    EXPECT_EQ(sky.StripPrimitives(6), sky.Indices().size() - 2);
}

TEST(Sky, ColoursComputedOnFirstDrawThenOnlyPastTheStep) {
    Obj::Sky sky;
    ASSERT_TRUE(sky.Load(Description()));
    EXPECT_EQ(sky.Vertices()[0].color, 0u);
    EXPECT_TRUE(sky.UpdateColors(0)); // the first draw, even at ratio 0
    EXPECT_NE(sky.Vertices()[0].color, 0u);
    EXPECT_EQ(sky.LastAltitudeRatio(), 0);
    EXPECT_FALSE(sky.UpdateColors(0.002f * 9900 * 0.9f));
    EXPECT_TRUE(sky.UpdateColors(0.003f * 9900));
    for (const auto& v : sky.Vertices())
        EXPECT_EQ(v.color, sky.GetSkyColor({v.x, v.y, v.z}, 0.003f * 9900));
}

TEST(Sky, ColourGradientFromHorizonToZenith) {
    Obj::Sky sky;
    ASSERT_TRUE(sky.Load(Description()));
    // At the ground t = 0.5 (d.y - 0.05) / 0.95: the horizon colour below 0.05, the low-altitude zenith
    // colour straight up.
    const uint32_t horizon = sky.GetSkyColor({1, 0, 0}, 0);
    EXPECT_EQ(horizon, 0xffu << 24 | uint32_t(0.8f * 255) << 16 | uint32_t(0.8f * 255) << 8 | 229u);
    const uint32_t zenith = sky.GetSkyColor({0, 1, 0}, 0);
    EXPECT_EQ(Channel(zenith, 16), uint32_t(0.2f * 255));
    EXPECT_EQ(Channel(zenith, 0), uint32_t(0.8f * 255));
    // Higher up the zenith darkens towards the high-altitude colour.
    EXPECT_LT(Channel(sky.GetSkyColor({0, 1, 0}, 5000), 0), Channel(zenith, 0));
}

TEST(Sky, ElementDirections) {
    Obj::Sky::Element e;
    e.elevation = Pi / 2;
    for (float azimuth : {0.0f, 1.0f, 2.5f, -3.0f}) {
        e.azimuth = azimuth;
        const Base::Vector3 d = e.GetDirection();
        EXPECT_NEAR(d.x, 0, 1e-6);
        EXPECT_NEAR(d.y, 1, 1e-6);
        EXPECT_NEAR(d.z, 0, 1e-6);
    }
    e.elevation = 0;
    e.azimuth = 0;
    EXPECT_NEAR(e.GetDirection().z, 1, 1e-6);
    e.azimuth = Pi / 2; // positive azimuth turns towards -X
    EXPECT_NEAR(e.GetDirection().x, -1, 1e-6);
    // The sprite's corners sit around the direction, all at the same distance from it.
    e.elevation = 0.4f;
    e.azimuth = 0.7f;
    e.size = 0.1f;
    Base::Vector3 c[4];
    e.Corners(c);
    const Base::Vector3 d = e.GetDirection();
    for (const auto& p : c) {
        EXPECT_NEAR(Base::DotProduct(p, d), 1, 1e-5);
        EXPECT_NEAR(Base::VectorLength(p), std::sqrt(1 + 2 * 0.01f), 1e-5);
    }
}

TEST(Sky, GlowTurnsTheSkyTowardsTheElement) {
    Obj::Sky sky;
    ASSERT_TRUE(sky.Load(Description(true)));
    const Base::Vector3 sun = sky.Elements()[0].GetDirection();
    const uint32_t at = sky.GetSkyColor(sun, 0);
    EXPECT_EQ(Channel(at, 16), 255u); // the glow colour itself (1, 1, 0)
    EXPECT_EQ(Channel(at, 0), 0u);
    const Base::Vector3 away{-sun.x, sun.y, -sun.z};
    EXPECT_GT(Channel(sky.GetSkyColor(away, 0), 0), 100u);
    // Far above twice HiAltLevel the glow keeps a small spread instead of painting the whole sky.
    EXPECT_GT(Channel(sky.GetSkyColor(away, 20000), 0), 0u);
}

TEST(Sky, StarsOnlyPastTheirFadeThreshold) {
    Base::Random::Seed(7);
    Obj::Sky sky;
    ASSERT_TRUE(sky.Load(Description()));
    for (const auto& s : sky.Stars()) {
        EXPECT_GE(s.y, 0);
        EXPECT_NEAR(s.x * s.x + s.y * s.y + s.z * s.z, 1, 1e-5);
        const uint32_t alpha = s.color >> 24;
        EXPECT_GE(alpha, uint32_t(std::lround(0.04f * 255)));
        EXPECT_EQ(s.color & 0xffffffu, 0xffffffu);
    }
    // Fade from 1000 over 2000: 50 / 255 of 2000 is about 392.
    struct Case {
        float height;
        uint32_t alpha;
    } cases[] = {{0, 0},
                 {1000, 0},
                 {1000 + 2000 * 49.4f / 255, 0},
                 {1000 + 2000 * 50.0f / 255, 50},
                 {2000, 128},
                 {3000, 255},
                 {90000, 255}};
    for (const Case& c : cases)
        EXPECT_EQ(sky.StarAlpha(c.height), c.alpha) << c.height;
}

TEST(Sky, StarsFollowTheProgramsRandomSequence) {
    Base::Random::Seed(11);
    Obj::Sky a;
    ASSERT_TRUE(a.Load(Description()));
    Base::Random::Seed(11);
    const float x = Base::Random::FloatInRange(-0.9f, 0.9f), y = Base::Random::FloatInRange(0, 1),
                z = Base::Random::FloatInRange(-0.9f, 0.9f), b = Base::Random::FloatInRange(0.2f, 1);
    const Base::Vector3 p = Base::Normalize3d(Base::Vector3{x, y, z});
    EXPECT_FLOAT_EQ(a.Stars()[0].x, p.x);
    EXPECT_FLOAT_EQ(a.Stars()[0].z, p.z);
    EXPECT_EQ(a.Stars()[0].color >> 24, uint32_t(std::lround(b * b * 255)));
}

TEST(Sky, FogDensityAndColour) {
    Obj::Sky sky;
    ASSERT_TRUE(sky.Load(Description()));
    EXPECT_FLOAT_EQ(sky.FogDensity(), 0.00004f / 10000 * 50000);
    // At the ground the fog is the horizon colour.
    EXPECT_EQ(sky.FogColor({0, 0, 1}, 0), sky.GetSkyColor({0, 0, 1}, 0));
    // Above the visibility range the direction stays finite: straight down.
    EXPECT_EQ(sky.FogColor({0, 0, 1}, 50000), sky.GetSkyColor({0, -1, 0}, 50000));
}

TEST(Sky, SceneLightFollowsTheSun) {
    Obj::Sky sky;
    ASSERT_TRUE(sky.Load(Description()));
    const auto& light = sky.SunLight();
    EXPECT_NEAR(light.at.y, -std::sqrt(0.5f), 1e-6);
    EXPECT_NEAR(light.at.z, std::sqrt(0.5f), 1e-6);
    EXPECT_NEAR(Base::DotProduct(light.right, light.at), 0, 1e-6);
    EXPECT_NEAR(Base::DotProduct(light.up, light.at), 0, 1e-6);
    EXPECT_NEAR(light.right.x, 1, 1e-6); // Y x at
    // Straight down: the right vector's zero normalises to +Z and the light still shines down.
    const auto vertical = Obj::Sky::OrientLight({0, -3, 0});
    EXPECT_EQ(vertical.at, (Base::Vector3{0, -1, 0}));
    EXPECT_EQ(vertical.right, (Base::Vector3{0, 0, 1}));
}

TEST(Sky, SampleSkyLightShinesFromItsSun) {
    Base::Info info;
    ASSERT_EQ(info.LoadFile(std::string(CORVANE_SOURCE_DIR) + "/data/Data/Sky1.info"), 0);
    Obj::Sky sky;
    ASSERT_TRUE(sky.Load(info)) << sky.Error();
    ASSERT_EQ(sky.Elements().size(), 1u);
    const Base::Vector3 sun = sky.Elements()[0].GetDirection();
    EXPECT_NEAR(Base::DotProduct(sky.SunLight().at, sun), -1, 1e-3);
    EXPECT_TRUE(sky.Elements()[0].lensFlare);
    ASSERT_EQ(sky.Flares().size(), 1u);
    const Base::Vector3 flare = sky.Flares()[0].Position();
    EXPECT_NEAR(flare.x, sun.x * 1e9f, 1e3);
    EXPECT_NEAR(flare.y, sun.y * 1e9f, 1e3);
}

TEST(Sky, HostileDescriptionsLoadInert) {
    struct Case {
        const char* key;
        const char* value; // null: removed
    } cases[] = {
        {"VisibilityRange", nullptr},
        {"VisibilityRange", "-5"},
        {"DomeLatTessel", "0"},
        {"DomeLatTessel", "1"},
        {"DomeLatTessel", nullptr},
        {"DomeLongTessel", "2"},
        {"DomeLatTessel", "9000"},
        {"DomeLongTessel", "banana"},
        {"DomeLongTessel", "2147483648"},
        {"DomeLongTessel", "65535"},
        {"DomeLongTessel", "1e38"},
        {"HiAltLevel", "0"},
        {"StarsFade", "100 0"},
        {"StarsFade", "nan 5"},
        {"StarsCount", "4000000000"},
        {"HorizonColor", nullptr},
        {"LightDirection", "0 0 0"},
        {"Elements.Sun.GlowSize", "0"},
        {"Elements.Sun.Position", nullptr},
        {"TopHiAltColor", "inf 0 0"},
    };
    for (const Case& c : cases) {
        Obj::Sky sky;
        EXPECT_FALSE(sky.Load(Description(true, c.key, c.value)))
            << c.key << " " << (c.value ? c.value : "(missing)");
        EXPECT_FALSE(sky.IsLoaded());
        EXPECT_NE(sky.Error().find(std::string(c.key).substr(std::string(c.key).rfind('.') + 1)),
                  std::string::npos)
            << sky.Error();
        EXPECT_TRUE(sky.Vertices().empty());
        EXPECT_FALSE(sky.UpdateColors(100));
        EXPECT_EQ(sky.StarAlpha(1e9f), 0u);
    }
    // No elements: no glow and no flares.
    Obj::Sky plain;
    ASSERT_TRUE(plain.Load(Description()));
    EXPECT_TRUE(plain.Elements().empty());
}

} // namespace
