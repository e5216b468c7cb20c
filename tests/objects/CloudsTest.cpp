// The cloud layer: generation over the sector grid, activation around the camera, particles, the
// per-frame fading and vertices, and the segment test.
#include "objects/Clouds.h"
#include "CloudsFixture.h"

#include "base/Random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>

namespace {

using CloudsFixture::Description;

TEST(Clouds, DensityOneFillsEveryGridPointDensityZeroAlmostNone) {
    Obj::Clouds all;
    ASSERT_TRUE(all.Load(Description(), 5)) << all.Error();
    // x and z from 0 to 4000 by 700: 6 points a side (0 .. 3500).
    EXPECT_EQ(all.CloudCount(), 36u);
    EXPECT_EQ(all.lightDirection, (Base::Vector3{0, -1, 0}));
    for (const auto& sector : all.Sectors())
        for (const auto& cloud : sector) {
            EXPECT_GE(cloud.size, 200);
            EXPECT_LT(cloud.size, 400);
            EXPECT_GE(cloud.centre.y, 800);
            EXPECT_LT(cloud.centre.y, 2300);
            EXPECT_FALSE(cloud.active);
        }
    Obj::Clouds none;
    ASSERT_TRUE(none.Load(Description("Density", "0"), 5));
    EXPECT_EQ(none.CloudCount(), 0u); // only an exact 0 draw would give one
}

TEST(Clouds, FarEdgeGridPointsGoToTheLastSector) {
    // 500 divides 4000: points at x or z = 4000 lie on the far edges.
    Obj::Clouds clouds;
    ASSERT_TRUE(clouds.Load(Description("CloudsSpan", "500"), 9));
    EXPECT_EQ(clouds.CloudCount(), 81u);
    EXPECT_EQ(clouds.Sectors().size(), 16u);
    EXPECT_EQ(clouds.Sectors()[15].size(), 9u); // 2 x 2 inside plus 5 on its two far edges
}

TEST(Clouds, ActivationHysteresis) {
    // One sector, one grid point: one cloud near the origin, in every camera's sector range.
    Base::Info node = Description("CloudsSpan", "2000");
    node.GetChildForWrite("SectorsSpan")->SetValue("1 1");
    Obj::Clouds clouds;
    ASSERT_TRUE(clouds.Load(node, 3));
    ASSERT_EQ(clouds.CloudCount(), 1u);
    const Obj::Clouds::Cloud& cloud = clouds.Sectors()[0][0];
    const float edge = cloud.centre.x + cloud.size + 3000; // horizontal distance minus size = range
    clouds.UpdateActive({edge + 1, 0, cloud.centre.z});
    EXPECT_TRUE(clouds.ActiveClouds().empty());
    clouds.UpdateActive({edge - 1, 0, cloud.centre.z});
    EXPECT_EQ(clouds.ActiveClouds().size(), 1u);
    clouds.UpdateActive({edge + 99, 0, cloud.centre.z}); // within the extra 100: kept
    EXPECT_EQ(clouds.ActiveClouds().size(), 1u);
    clouds.UpdateActive({edge + 101, 0, cloud.centre.z});
    EXPECT_TRUE(clouds.ActiveClouds().empty());
    EXPECT_FALSE(cloud.active);
}

TEST(Clouds, ReactivatedCloudGetsIdenticalParticlesAndLeavesTheStreamAlone) {
    Obj::Clouds clouds;
    ASSERT_TRUE(clouds.Load(Description(), 3));
    clouds.UpdateActive({2000, 0, 2000});
    ASSERT_FALSE(clouds.ActiveClouds().empty());
    const auto first = clouds.ActiveClouds().front();
    EXPECT_EQ(first.particles.size(), size_t(std::lround(first.cloud->size / 400 * 20)));
    clouds.UpdateActive({90000, 0, 90000});
    EXPECT_TRUE(clouds.ActiveClouds().empty());
    Base::Random::Seed(77); // whatever ran in between
    const uint32_t next = Base::Random::NextUInt32();
    Base::Random::Seed(77);
    clouds.UpdateActive({2000, 0, 2000});
    // Building the particles leaves the program's stream as it was.
    EXPECT_EQ(Base::Random::NextUInt32(), next);
    bool found = false;
    for (const auto& again : clouds.ActiveClouds())
        if (again.cloud == first.cloud) {
            found = true;
            ASSERT_EQ(again.particles.size(), first.particles.size());
            for (size_t i = 0; i < first.particles.size(); ++i) {
                EXPECT_EQ(again.particles[i].centre, first.particles[i].centre);
                EXPECT_EQ(again.particles[i].size, first.particles[i].size);
                EXPECT_EQ(again.particles[i].quarter, first.particles[i].quarter);
            }
        }
    EXPECT_TRUE(found);
}

TEST(Clouds, FrameFadesSortsAndSkipsParticlesBehind) {
    Obj::Clouds clouds;
    ASSERT_TRUE(clouds.Load(Description(), 3));
    const Obj::Clouds::View view{{2000, 1500, -2500}, {1, 0, 0}, {0, 0, 1}};
    clouds.UpdateActive(view.position);
    const auto& list = clouds.PrepareFrame(view);
    ASSERT_FALSE(list.empty());
    for (size_t i = 1; i < list.size(); ++i) {
        EXPECT_GE(list[i - 1]->distance, list[i]->distance);
        // Equal distances keep the order the particles were gathered in.
        if (list[i - 1]->distance == list[i]->distance) {
            EXPECT_LT(list[i - 1]->order, list[i]->order);
        }
    }
    for (const auto* p : list) {
        EXPECT_GT(p->centre.z - view.position.z, 20); // in front by more than 20
        EXPECT_GT(p->color[3], 0);
    }
    // Looking away: nothing in front, an empty frame (no buffer would be made).
    const Obj::Clouds::View back{{2000, 1500, -2500}, {-1, 0, 0}, {0, 0, -1}};
    EXPECT_TRUE(clouds.PrepareFrame(back).empty());
}

// A view bounded on one side: what lies wholly at x >= edge is out of it.
struct HalfSpace {
    float edge;
    static bool Test(const Base::Vector3& centre, float radius, void* context) {
        return centre.x - radius < static_cast<const HalfSpace*>(context)->edge;
    }
};

TEST(Clouds, ParticlesOutOfViewMakeNoVertices) {
    Obj::Clouds clouds;
    ASSERT_TRUE(clouds.Load(Description(), 3));
    const Obj::Clouds::View view{{2000, 1500, -2500}, {1, 0, 0}, {0, 0, 1}};
    clouds.UpdateActive(view.position);
    const std::vector<const Obj::Clouds::Particle*> all = clouds.PrepareFrame(view);
    // An edge through the cloud with the most particles drawn, between the two of its particles that reach
    // farthest along x: the cloud stays in view, its particle wholly beyond the edge goes.
    const auto of = [](const Obj::Clouds::ActiveCloud& cloud, const Obj::Clouds::Particle* p) {
        return &cloud.particles.front() <= p && p <= &cloud.particles.back();
    };
    const Obj::Clouds::ActiveCloud* cut = nullptr;
    std::vector<float> reach;
    for (const auto& active : clouds.ActiveClouds()) {
        std::vector<float> near;
        for (const auto* p : all)
            if (of(active, p))
                near.push_back(p->centre.x - p->size);
        if (near.size() > reach.size())
            cut = &active, reach = near;
    }
    ASSERT_GE(reach.size(), 2u);
    std::sort(reach.begin(), reach.end());
    HalfSpace edge{(reach[reach.size() - 1] + reach[reach.size() - 2]) / 2};
    ASSERT_TRUE(HalfSpace::Test(cut->cloud->centre, cut->cloud->size, &edge));
    const auto inView = [&](const Obj::Clouds::Particle* p) {
        for (const auto& active : clouds.ActiveClouds())
            if (of(active, p))
                return HalfSpace::Test(active.cloud->centre, active.cloud->size, &edge);
        return false;
    };
    size_t ofCloudsInView = 0, inside = 0;
    for (const auto* p : all) {
        ofCloudsInView += inView(p);
        inside += inView(p) && HalfSpace::Test(p->centre, p->size, &edge);
    }
    size_t cutBeyond = 0;
    for (const auto* p : all)
        cutBeyond += of(*cut, p) && !HalfSpace::Test(p->centre, p->size, &edge);
    ASSERT_GT(cutBeyond, 0u);
    const auto& kept = clouds.PrepareFrame(view, HalfSpace::Test, &edge);
    EXPECT_EQ(kept.size(), inside);
    for (const auto* p : kept)
        EXPECT_TRUE(HalfSpace::Test(p->centre, p->size, &edge));
    // Off, as the reference: every particle of a cloud in view.
    clouds.SetParticleCullingEnabled(false);
    EXPECT_EQ(clouds.PrepareFrame(view, HalfSpace::Test, &edge).size(), ofCloudsInView);
    EXPECT_GE(ofCloudsInView, inside + cutBeyond);
}

TEST(Clouds, StraightDownViewGivesFiniteVertices) {
    Obj::Clouds clouds;
    ASSERT_TRUE(clouds.Load(Description(), 3));
    const auto& cloud = clouds.Sectors()[5][0];
    // Right above a cloud, looking straight down, close enough that particles face along the view axis.
    const Obj::Clouds::View view{
        {cloud.centre.x, cloud.centre.y + 300, cloud.centre.z}, {1, 0, 0}, {0, -1, 0}};
    clouds.UpdateActive(view.position);
    const auto& list = clouds.PrepareFrame(view);
    ASSERT_FALSE(list.empty());
    std::vector<Obj::Clouds::Vertex> vertices(list.size() * 6);
    clouds.FillVertices(view, vertices.data());
    for (const auto& v : vertices) {
        ASSERT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
        ASSERT_TRUE(std::isfinite(v.nx) && std::isfinite(v.ny) && std::isfinite(v.nz));
    }
    // The first particle's square: corner 0 and corner 2 lie opposite around its centre.
    const auto* p = list[0];
    EXPECT_NEAR((vertices[0].x + vertices[2].x) / 2, p->centre.x, 1e-2);
    EXPECT_NEAR((vertices[0].z + vertices[2].z) / 2, p->centre.z, 1e-2);
}

TEST(Clouds, SegmentInCloud) {
    Obj::Clouds clouds;
    ASSERT_TRUE(clouds.Load(Description(), 3));
    EXPECT_FALSE(clouds.IsSegmentInCloud({{0, 0, 0}, {4000, 3000, 4000}})); // nothing active yet
    clouds.UpdateActive({2000, 0, 2000});
    const auto& active = clouds.ActiveClouds().front();
    const auto& particle = active.particles.front();
    const Base::Vector3 c = particle.centre;
    EXPECT_TRUE(clouds.IsSegmentInCloud({{c.x - 10, c.y - 5000, c.z}, {c.x + 10, c.y + 5000, c.z}}));
    // Far above every cloud.
    EXPECT_FALSE(clouds.IsSegmentInCloud({{-1000, 20000, -1000}, {5000, 20000, 5000}}));
}

TEST(Clouds, HostileDescriptionsLoadInert) {
    const std::pair<const char*, const char*> cases[] = {
        {"CloudsSpan", "0"},
        {"CloudsSpan", "-5"},
        {"CloudsSpan", "0.001"},
        {"CloudsSpan", "2"}, // within the grid's bound, but millions of particles in view
        {"CloudsSpan", nullptr},
        {"SectorsSpan", "0 4"},
        {"SectorsSpan", "100000 100000"},
        {"SectorSize", "nan"},
        {"Density", "1.5"},
        {"Density", nullptr},
        {"CloudMaxSize", "0"},
        {"MaxParticlesPerCloud", "99999999"},
        {"VisibilityRange", "0"},
        {"LightDirection", "1 2"},
        {"BottomRightPos", "x y"},
        {"BottomRightPos", "-16384 -1.6e33"}, // a step of CloudsSpan no longer moves an f32 coordinate
    };
    for (auto [key, value] : cases) {
        Obj::Clouds clouds;
        EXPECT_FALSE(clouds.Load(Description(key, value), 1)) << key << " " << (value ? value : "(missing)");
        EXPECT_NE(clouds.Error().find(key), std::string::npos) << clouds.Error();
        EXPECT_EQ(clouds.CloudCount(), 0u);
        clouds.UpdateActive({0, 0, 0});
        EXPECT_TRUE(clouds.ActiveClouds().empty());
        EXPECT_FALSE(clouds.IsSegmentInCloud({{0, 0, 0}, {1, 1, 1}}));
    }
}

// Near 2e7 an f32 step of 2.9 rounds down to 2: the grid counted as 2000 x 2000 points (within the bound)
// would walk 2900 x 2900. The walk is held to the bound; the same grid nearer the origin loads.
TEST(Clouds, AWalkWhoseStepsRoundDownIsHeldToTheGridBound) {
    const auto layer = [](const char* origin) {
        return Description({{"VisibilityRange", "3"},
                            {"SectorSize", "1450"},
                            {"CloudsSpan", "2.9"},
                            {"Density", "0"},
                            {"BottomRightPos", origin}});
    };
    Obj::Clouds near, far;
    EXPECT_TRUE(near.Load(layer("0 0"), 1)) << near.Error();
    EXPECT_FALSE(far.Load(layer("2e7 2e7"), 1));
    EXPECT_NE(far.Error().find("CloudsSpan"), std::string::npos) << far.Error();
    EXPECT_EQ(far.CloudCount(), 0u);
}

} // namespace

namespace {

TEST(Clouds, SampleLayerLoads) {
    Base::Info info;
    ASSERT_EQ(info.LoadFile(std::string(CORVANE_SOURCE_DIR) + "/data/Data/Clouds1.info"), 0);
    Obj::Clouds clouds;
    ASSERT_TRUE(clouds.Load(info, 1)) << clouds.Error();
    EXPECT_GT(clouds.CloudCount(), 50u);
    EXPECT_EQ(clouds.Sectors().size(), 64u);
}

} // namespace
