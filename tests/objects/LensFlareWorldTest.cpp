// The lens flare's occlusion asked of a world: a structure among the statics, a hill of the terrain and a
// cloud of the cloud layer each hide the flare at the next occlusion test, at most 0.2 s after they come
// between, and the flare then fades out.
#include "tests/scene/SceneFixture.h"

#include "CloudsFixture.h"
#include "TerrainFixture.h"
#include "objects/Clouds.h"
#include "objects/LensFlare.h"
#include "scene/World.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {

// A static sphere: what a structure is to the segment queries.
class Rock : public Obj::Object, public Obj::Static {
public:
    explicit Rock(RwSphere s) : sphere(s) {}
    void SetWorld(Grp::World* joined) override {
        Obj::Object::SetWorld(joined);
        if (joined) {
            Static::group = joined->statics.get();
            Static::group->UpdateDamageable(this);
        } else if (Static::group) {
            Grp::Spatial<Static>::Remove(this);
        }
    }
    const RwSphere* GetBoundingSphere() override { return &sphere; }
    bool IntersectSegment(const RwLine* line, RwV3d* point, RwV3d*) override {
        const RwV3d d{line->end.x - line->start.x, line->end.y - line->start.y, line->end.z - line->start.z};
        const RwV3d m{line->start.x - sphere.center.x, line->start.y - sphere.center.y,
                      line->start.z - sphere.center.z};
        const float a = d.x * d.x + d.y * d.y + d.z * d.z, b = m.x * d.x + m.y * d.y + m.z * d.z,
                    c = m.x * m.x + m.y * m.y + m.z * m.z - sphere.radius * sphere.radius;
        const float disc = b * b - a * c;
        if (disc < 0)
            return false;
        const float t = (-b - std::sqrt(disc)) / a;
        if (t < 0 || t > 1)
            return false;
        if (point)
            *point = {line->start.x + t * d.x, line->start.y + t * d.y, line->start.z + t * d.z};
        return true;
    }
    RwSphere sphere;
};

class FlareWorld : public SceneEngine {
protected:
    void SetUp() override {
        SceneEngine::SetUp();
        worldStore = std::make_unique<Grp::World>();
        world = worldStore.get();
    }
    void TearDown() override {
        worldStore.reset();
        SceneEngine::TearDown();
    }

    // Frames of 0.05 s with the flare in view: until occluded after block() ran (bounded), the time it
    // took. The flare is seen unblocked first.
    float TimeToHide(Obj::LensFlare& flare, const Obj::LensFlare::Camera& camera,
                     const std::function<void()>& block) {
        const auto occlusion = Obj::LensFlare::WorldOcclusion(*world);
        float t = 0;
        for (; t < 1.03f; t += 0.05f)
            flare.IsVisible(camera, t, 0.05f, occlusion);
        EXPECT_FALSE(flare.Occluded());
        const float visible = flare.Alpha();
        EXPECT_GT(visible, 100);
        block();
        const float from = t;
        for (; t < from + 1; t += 0.05f) {
            flare.IsVisible(camera, t, 0.05f, occlusion);
            if (flare.Occluded())
                break;
        }
        const float took = t - from;
        for (int k = 0; k < 10; ++k, t += 0.05f)
            flare.IsVisible(camera, t, 0.05f, occlusion);
        EXPECT_LT(flare.Alpha(), visible / 2);
        return took;
    }

    // Made once the engine runs.
    std::unique_ptr<Grp::World> worldStore;
    Grp::World* world = nullptr;
};

Obj::LensFlare::Camera Looking(Base::Vector3 position, Base::Vector3 at) {
    at = Base::Normalize3d(at);
    const Base::Vector3 right = Base::Normalize3d(Base::Vector3{at.z, 0, -at.x});
    const Base::Vector3 up{at.y * right.z - at.z * right.y, at.z * right.x - at.x * right.z,
                           at.x * right.y - at.y * right.x};
    return {position, right, up, at, {0.5f, 0.4f}};
}

TEST_F(FlareWorld, AStructureHidesItWithinTheTestInterval) {
    Obj::LensFlare flare({0, 0.1f, 1});
    const auto camera = Looking({0, 100, 0}, {0, 0.1f, 1});
    const float took = TimeToHide(flare, camera, [&] { world->AddObject(new Rock({{0, 400, 3000}, 150})); });
    EXPECT_LE(took, Obj::LensFlare::OcclusionInterval + 1e-3f);
    world->Clear();
}

TEST_F(FlareWorld, AHillOfTheTerrainHidesIt) {
    // 4 x 4 slices of 1024 units from (-2048, -1024): flat at 0 but for a ridge 1530 high across
    // z = 1536 to 2048 (grid rows 40 to 48; the image is read flipped in both axes).
    Obj::Terrain terrain;
    TerrainFixture::Image height = TerrainFixture::Mask(65, 65, 0);
    for (int32_t gz = 40; gz <= 48; ++gz)
        for (int32_t c = 0; c < 65; ++c)
            height.At(c, 64 - gz) = 255;
    ASSERT_TRUE(TerrainFixture::Build(terrain, TerrainFixture::Keys{}, height,
                                      TerrainFixture::Mask(4, 4, 255), TerrainFixture::Mask(4, 4, 0)));
    Obj::LensFlare flare({0, 0.05f, 1});
    const auto camera = Looking({0, 100, -500}, {0, 0.05f, 1});
    const float took = TimeToHide(flare, camera, [&] { world->terrain = &terrain; });
    EXPECT_LE(took, Obj::LensFlare::OcclusionInterval + 1e-3f);
    world->terrain = nullptr;
}

TEST_F(FlareWorld, ACloudHidesIt) {
    Obj::Clouds clouds;
    ASSERT_TRUE(clouds.Load(CloudsFixture::Description(), 3)) << clouds.Error();
    clouds.UpdateActive({2000, 800, 2000});
    ASSERT_FALSE(clouds.ActiveClouds().empty());
    const Base::Vector3 c = clouds.ActiveClouds().front().particles.front().centre;
    // Looking at the flare through the particle's centre, 3000 units away.
    const Base::Vector3 d = Base::Normalize3d(Base::Vector3{0.2f, 0.3f, 1});
    const auto camera = Looking({c.x - 3000 * d.x, c.y - 3000 * d.y, c.z - 3000 * d.z}, d);
    Obj::LensFlare flare(d);
    const float took = TimeToHide(flare, camera, [&] { world->clouds = &clouds; });
    EXPECT_LE(took, Obj::LensFlare::OcclusionInterval + 1e-3f);
    world->clouds = nullptr;
}

TEST_F(FlareWorld, NothingInTheWayLeavesItVisible) {
    world->AddObject(new Rock({{3000, 400, 3000}, 150})); // off the line of sight
    Obj::LensFlare flare({0, 0.1f, 1});
    const auto camera = Looking({0, 100, 0}, {0, 0.1f, 1});
    const auto occlusion = Obj::LensFlare::WorldOcclusion(*world);
    for (float t = 0; t < 2; t += 0.05f)
        flare.IsVisible(camera, t, 0.05f, occlusion);
    EXPECT_FALSE(flare.Occluded());
    EXPECT_GT(flare.Alpha(), 127);
    world->Clear();
}

} // namespace
