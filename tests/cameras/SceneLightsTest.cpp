// The scene lights set from the sky: colours, the sun light's frame along the sky's light direction, and
// joining and leaving the engine world's global-light list.
#include "cameras/SceneLights.h"
#include "objects/Sky.h"
#include "tests/scene/SceneFixture.h"

#include "rwsdk/src/frame.h"
#include "rwsdk/world/balight.h"
#include "rwsdk/world/baworobj.h"

#include <cmath>
#include <string>

namespace {

using SceneLights = SceneEngine;

int CountLinks(RwLinkList* list) {
    int n = 0;
    for (RwLLLink* l = rwLinkListGetFirstLLLink(list); l != rwLinkListGetTerminator(list); l = l->next)
        ++n;
    return n;
}

TEST_F(SceneLights, DirectionalLightFollowsTheSkysSun) {
    Base::Info info;
    ASSERT_EQ(info.LoadFile(std::string(CORVANE_SOURCE_DIR) + "/data/Data/Sky1.info"), 0);
    Obj::Sky sky;
    ASSERT_TRUE(sky.Load(info)) << sky.Error();
    {
        Lights::SkyLights lights = Lights::CreateSkyLights(sky);
        ASSERT_NE(lights.ambient->light, nullptr);
        ASSERT_NE(lights.directional->light, nullptr);
        EXPECT_EQ(RpLightGetType(lights.ambient->light), rpLIGHTAMBIENT);
        EXPECT_EQ(RpLightGetType(lights.directional->light), rpLIGHTDIRECTIONAL);
        EXPECT_FLOAT_EQ(RpLightGetColor(lights.ambient->light)->blue, 0.4f);
        EXPECT_FLOAT_EQ(RpLightGetColor(lights.directional->light)->green, 0.96f);
        // The light shines along its frame's at axis: away from the sun element.
        const RwMatrix* m = RwFrameGetWorldMatrix(RpLightGetFrame(lights.directional->light));
        const Base::Vector3 sun = sky.Elements()[0].GetDirection();
        EXPECT_NEAR(m->at.x * sun.x + m->at.y * sun.y + m->at.z * sun.z, -1, 1e-3);
        EXPECT_NEAR(m->right.x * m->at.x + m->right.y * m->at.y + m->right.z * m->at.z, 0, 1e-5);
        EXPECT_NEAR(m->right.y, 0, 1e-6); // level: right = up x at

        RwBBox box{{100, 100, 100}, {-100, -100, -100}};
        RpWorld* world = RpWorldCreate(&box);
        lights.SetWorld(world);
        EXPECT_EQ(lights.directional->GetWorld(), world);
        EXPECT_EQ(CountLinks(&world->directionalLightList), 2);
        lights.SetWorld(nullptr);
        EXPECT_EQ(lights.ambient->GetWorld(), nullptr);
        EXPECT_EQ(CountLinks(&world->directionalLightList), 0);
        lights.SetWorld(world);
        lights.ambient.reset();
        lights.directional->SetWorld(nullptr);
        RpWorldDestroy(world);
    }
}

} // namespace
